// The standalone tree widget: what it is made with, its host, its stored columns, sorting from the header,
// its menus, the looks of the shared actions, keys and clicks that open the selection, type-ahead, the
// quick filter, lazy folders and the selection operations with their updates.
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/popup_dispatch.h"
#include "tests/ui/app/screenshots.h"
#include "tests/views/standalone_test_widget.h"
#include "tests/views/view_actions.h"
#include "ui/header_visibility.h"
#include "views/chooser/quick_filter_input.h"
#include "views/dirtree/dirtree_entry_moves.h"
#include "views/filter/filtered_item_view_style.h"
#include "views/filter/quick_filter_widget.h"
#include "views/filter/standalone_dirtree_operations.h"
#include "views/filter/standalone_dirtree_widget_host.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{

using names_t = std::vector<std::string>;

// The sample tree (/a/ with /a/b/ and x, /c/ with z, and y) in a shown standalone widget.
struct shown_t
{
  explicit shown_t(uint32_t allowed = standalone_dirtree_insert | standalone_dirtree_delete | standalone_dirtree_open,
                   uint32_t model_options = 0)
    : widget("Files", allowed)
  {
    fill_sample_tree(t, {"a/b", "c"}, {"a/x", "c/z", "y"});
    t->add_event_handler(&refresher);
    model = widget.show_tree(t.tree.get(), model_options);
    widget.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
  }
  QModelIndex row(const std::string &name) const { return widget.row(name); }
  void click(const std::string &name, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { widget.click(name, modifiers); }
  [[nodiscard]] std::string current() const { return widget.currentIndex().data().toString().toStdString(); }

  test_tree_t t;
  tree_refresh_handler_t refresher {t.tree.get()};
  recording_dirtree_widget_t widget;
  test_tree_model_t *model;
};

// A lazily loading model in a shown widget over a source whose root holds p and q, p holding x and q y;
// reading a folder again finds what it found before.
struct lazy_t
{
  lazy_t() : widget("Lazy")
  {
    add_sample_items(t);
    t->add_event_handler(&refresher);
    model = widget.show_tree(t.tree.get(), dirtree_model_lazy, [this](const std::string &path) {
      const auto folder = [this](const char *p) { return t->create_folder(p) == 0 || t->entry_of_path(p).is_folder; };
      const auto item = [this](const char *p) {
        return t->link_or_unlink_path(p, true) == 0 || !t->entry_of_path(p).is_none();
      };
      if ( path == "/" )
        return folder("/p") && folder("/q");
      return path == "/p" ? item("/p/x") : path == "/q" && item("/q/y");
    });
    widget.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
  }
  test_tree_t t;
  tree_refresh_handler_t refresher {t.tree.get()};
  recording_dirtree_widget_t widget;
  test_tree_model_t *model;
};

// Keeps the column widths and visibility a test gives it, and what the widget stores.
struct column_store_t
{
  std::vector<int32_t> widths;
  bool has_widths = false;
  byte_buffer_t visible;
  bool has_visible = false;
  std::vector<int32_t> stored_widths;
  byte_buffer_t stored_visible;
};

class column_helper_t final : public dirtree_widget_persistence_helper_t
{
public:
  explicit column_helper_t(column_store_t *store) : store_(store) {}
  bool load_column_widths(std::vector<int32_t> *out) override
  {
    *out = store_->widths;
    return store_->has_widths;
  }
  bool load_columns_visible(byte_buffer_t *out) override
  {
    *out = store_->visible;
    return store_->has_visible;
  }
  bool store_column_widths(const std::vector<int32_t> &widths) override
  {
    store_->stored_widths = widths;
    return true;
  }
  bool store_columns_visible(const byte_buffer_t &bytes) override
  {
    store_->stored_visible = bytes;
    return true;
  }

private:
  column_store_t *store_;
};

// Widgets made while it lives keep their columns in the store.
struct scoped_column_store_t
{
  explicit scoped_column_store_t(column_store_t *store)
  {
    test_app().widget_factory().dirtree_persistence = [store](QWidget *) { return new column_helper_t(store); };
  }
  ~scoped_column_store_t() { test_app().widget_factory().dirtree_persistence = nullptr; }
};

// The texts of a menu's entries, "-" for a separator.
names_t entry_texts(const QMenu *menu)
{
  names_t texts;
  for ( const QAction *action : menu->actions() )
    texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
  return texts;
}

// Sends a context-menu event to the widget at the point (the mouse pointer put there first), lets
// `inspect` look at the menu shown, then closes it. False when no menu was shown.
bool with_context_menu(QWidget *target, const QPoint &at, const std::function<void(QMenu *)> &inspect)
{
  bool seen = false;
  QTimer::singleShot(0, target, [&] {
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    seen = menu != nullptr;
    if ( menu == nullptr )
      return;
    inspect(menu);
    if ( auto *still = qobject_cast<QMenu *>(QApplication::activePopupWidget()) )
      still->close();
  });
  QCursor::setPos(target->mapToGlobal(at));
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
  QApplication::sendEvent(target, &event);
  return seen;
}

int state_of(const char *name)
{
  refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
  return find_ui_action(name)->state();
}

// Pins the widget as the one actions apply to, for the life of the object.
struct pinned_t
{
  explicit pinned_t(QWidget *widget) { test_app().action_provider().pinned_widget = widget; }
  ~pinned_t() { test_app().action_provider().pinned_widget = nullptr; }
};

} // namespace

// ---- What it is made with ---------------------------------------------------------------------------------

TEST(StandaloneDirtreeWidget, PaintsThroughTheFilteredStyleWithAHiddenBarAndAStatusBarOnlyWhenAsked)
{
  for ( const uint32_t allowed : {0u, standalone_dirtree_status_bar} )
  {
    recording_dirtree_widget_t widget("Made", allowed);
    EXPECT_EQ(widget.style(), shared_filtered_item_view_style()) << allowed;
    ASSERT_NE(widget.quick_filter(), nullptr) << allowed;
    EXPECT_TRUE(widget.quick_filter()->isHidden()) << allowed;
    EXPECT_EQ(widget.quick_filter()->target_engine(), &widget) << allowed;
    EXPECT_EQ(widget.status_bar() != nullptr, allowed == standalone_dirtree_status_bar) << allowed;
    if ( QStatusBar *bar = widget.status_bar() )
    {
      EXPECT_FALSE(bar->isSizeGripEnabled());
      EXPECT_FALSE(bar->isHidden());
    }
    EXPECT_FALSE(widget.isSortingEnabled()) << allowed;
    EXPECT_TRUE(widget.header()->stretchLastSection());
    EXPECT_TRUE(widget.header()->sectionsClickable());
    EXPECT_EQ(find_filtered_widget_mixin(&widget), &widget);
    EXPECT_EQ(as_dirtree_view(&widget)->tree_filter_engine(), &widget);
    EXPECT_TRUE(as_dirtree_view(&widget)->is_standalone_dirtree());
    // The theme's colours, stored as 0xAABBGGRR.
    const std::vector<QColor> defaults = {QColor(255, 255, 0), QColor(0, 192, 192), Qt::black, Qt::black};
    for ( uint32_t property = 0; property < defaults.size(); ++property )
      EXPECT_EQ(widget.color_property(property, true), defaults[property]) << property;
    EXPECT_EQ(widget.property("highlight_bg_selected").value<QColor>(), QColor(0, 192, 192));
  }
}

TEST(StandaloneDirtreeWidget, TheHostLaysOutTheTreeItsBarAndItsStatusBarAndPassesTheFocusOn)
{
  for ( const uint32_t allowed : {0u, standalone_dirtree_status_bar} )
  {
    auto *widget = new recording_dirtree_widget_t("Hosted", allowed);
    widget->setWindowIcon(QIcon(QPixmap(16, 16)));
    standalone_dirtree_widget_host_t host(widget);
    EXPECT_EQ(host.windowTitle(), "Hosted");
    EXPECT_FALSE(host.windowIcon().isNull());
    EXPECT_EQ(host.layout()->contentsMargins(), QMargins(0, 0, 0, 0));
    EXPECT_EQ(host.layout()->spacing(), 0);
    std::vector<QWidget *> laid_out;
    for ( int i = 0; i < host.layout()->count(); ++i )
      laid_out.push_back(host.layout()->itemAt(i)->widget());
    std::vector<QWidget *> expected = {widget, widget->quick_filter()};
    if ( allowed == standalone_dirtree_status_bar )
      expected.push_back(widget->status_bar());
    EXPECT_EQ(laid_out, expected) << allowed;
    EXPECT_EQ(as_dirtree_host(&host)->hosted_tree(), as_dirtree_view(widget));

    host.show();
    QApplication::setActiveWindow(&host);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    host.setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(QApplication::focusWidget(), widget) << allowed;
    (void)save_screenshot(host, allowed != 0 ? "with_status_bar" : "without_status_bar");
    delete widget;
    EXPECT_EQ(host.hosted_tree(), nullptr);
    host.clearFocus();
    host.setFocus(Qt::OtherFocusReason); // nothing to pass it to
  }
}

TEST(StandaloneDirtreeWidget, StoredColumnsApplyOnlyWhenTheirCountsMatch)
{
  byte_buffer_t second_hidden;
  {
    QHeaderView model_header(Qt::Horizontal);
    test_tree_t t;
    test_dirtree_view_t probe("Probe", 0);
    probe.show_tree(t.tree.get());
    probe.header()->setSectionHidden(1, true);
    save_header_sections_visibility(probe.header(), &second_hidden);
  }
  byte_buffer_t three_sections;
  three_sections.push_back(header_visibility_version);
  three_sections.push_back(3);
  three_sections.push_back(0x3);
  struct case_t
  {
    const char *why;
    std::vector<int32_t> widths;
    bool has_widths;
    byte_buffer_t visible;
    bool has_visible;
    int first_width;  // -1: the model's default; -2: the header's own default
    bool second_hidden; // then the first column is the last shown and fills the header
  };
  const std::vector<case_t> cases = {
    {"nothing stored", {}, false, {}, false, -1, false},
    {"a width per column", {55, 70}, true, {}, false, 55, false},
    {"a visibility of each column", {55, 70}, true, second_hidden, true, 55, true},
    {"too few widths", {55}, true, {}, false, -1, false},
    {"too many widths", {55, 70, 90}, true, {}, false, -1, false},
    {"a negative width is skipped", {-1, 70}, true, {}, false, -2, false},
    {"a visibility of another count", {}, false, three_sections, true, -1, false},
  };
  for ( const case_t &c : cases )
  {
    column_store_t store {c.widths, c.has_widths, c.visible, c.has_visible, {}, {}};
    const scoped_column_store_t scope(&store);
    test_tree_t t;
    recording_dirtree_widget_t widget("Columns");
    const int header_default = widget.header()->defaultSectionSize();
    test_tree_model_t *model = widget.show_tree(t.tree.get());
    const int expected = c.first_width == -1 ? model->column_width(0, &widget)
                         : c.first_width == -2 ? header_default
                                               : c.first_width;
    EXPECT_EQ(widget.header()->isSectionHidden(1), c.second_hidden) << c.why;
    if ( !c.second_hidden )
    {
      EXPECT_EQ(widget.header()->sectionSize(0), expected) << c.why;
    }

    // The save-state event stores what the header shows now.
    widget.header()->resizeSection(0, 123);
    QEvent save(save_state_event_type);
    QApplication::sendEvent(&widget, &save);
    ASSERT_EQ(store.stored_widths.size(), 2u) << c.why;
    EXPECT_EQ(store.stored_widths[0], widget.header()->sectionSize(0)) << c.why;
    QHeaderView fresh(Qt::Horizontal);
    fresh.setModel(model);
    EXPECT_EQ(restore_header_sections_visibility(&fresh, store.stored_visible), 2u) << c.why;
    EXPECT_EQ(fresh.isSectionHidden(1), c.second_hidden) << c.why;
  }
}

// ---- Sorting and the menus ----------------------------------------------------------------------------------

TEST(StandaloneDirtreeWidget, TheFirstClickOnAHeaderSectionSwitchesSortingOn)
{
  register_tree_actions();
  test_tree_t t;
  fill_sample_tree(t, {"f"}, {"z", "x", "y"});
  recording_dirtree_widget_t widget("Sorted");
  widget.show_tree(t.tree.get());
  widget.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
  const pinned_t pinned(&widget);
  EXPECT_EQ(widget.shown_rows(), names_t({"f", "z", "x", "y"}));
  EXPECT_EQ(state_of("DirTreeUnsort"), ACTION_STATE_MISSING_CONTEXT);

  QHeaderView *header = widget.header();
  const QPoint name_section(header->sectionViewportPosition(0) + 10, header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, name_section);
  EXPECT_TRUE(widget.isSortingEnabled());
  ASSERT_NE(widget.sorting(), nullptr);
  const bool descending = header->sortIndicatorOrder() == Qt::DescendingOrder;
  EXPECT_EQ(widget.shown_rows(), descending ? names_t({"f", "z", "y", "x"}) : names_t({"f", "x", "y", "z"}));
  EXPECT_EQ(find_ui_action("DirTreeUnsort")->state(), ACTION_STATE_INITIAL) << "refreshed by the click";

  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, name_section);
  EXPECT_EQ(widget.shown_rows(), descending ? names_t({"f", "x", "y", "z"}) : names_t({"f", "z", "y", "x"}));
  trigger("DirTreeUnsort");
  EXPECT_EQ(widget.sorting(), nullptr);
  EXPECT_EQ(widget.shown_rows(), names_t({"f", "z", "x", "y"}));
}

TEST(StandaloneDirtreeWidget, TheContextMenuListsTheTreeFilterItemAndColumnActionsInOrder)
{
  register_tree_actions();
  recording_ui_callback_t ui;
  answer_popup_requests(ui);
  test_tree_t t;
  t.spec->flags = dirspec_orderable;
  t->clear_tree();
  fill_sample_tree(t, {"a/b", "c"}, {"a/x", "c/z", "y"});
  recording_dirtree_widget_t widget("Menu", standalone_dirtree_insert | standalone_dirtree_delete);
  test_tree_model_t *model = widget.show_tree(t.tree.get(), dirtree_model_cut_paste | dirtree_model_create_folders);
  widget.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
  const pinned_t pinned(&widget);
  // Every entry enabled: a sorted view with a condition, a cut entry, and two selected folders, one
  // collapsed and one out of natural order.
  QHeaderView *header = widget.header();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(header->sectionViewportPosition(1) + 10, header->height() / 2));
  filter_condition_t highlight;
  highlight.set_text("x");
  highlight.flags = filter_action_highlight;
  widget.set_conditions({highlight});
  ASSERT_EQ(t->shift_entry("/a/x", -1), 0);
  widget.settle();
  widget.collapse(widget.row_named("c"));
  dirtree_selection_t cut(1);
  ASSERT_TRUE(widget.cursor_of_index(&cut[0], widget.row_named("y")));
  ASSERT_EQ(cut_dirtree_selection(&widget, &cut), 1);
  widget.setCurrentIndex(widget.row_named("a"));
  widget.selectionModel()->select(widget.row_named("c"), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);

  names_t texts;
  ASSERT_TRUE(with_context_menu(widget.viewport(), widget.visualRect(widget.row_named("a")).center(),
                                [&](QMenu *menu) { texts = entry_texts(menu); }));
  EXPECT_EQ(texts, names_t({"Create folder with items...", "Reset natural order", "-", "Re&name", "-",
                            "Collapse selected folders", "Expand selected folders", "-", "Copy", "Copy all", "-",
                            "Cut", "Paste", "-", "Quick filter", "Modify filters...", "Reset filters", "Unsort",
                            "-", "Insert...", "Delete", "-", "Hide column", "Columns...", "-"}));
  (void)model;
}

TEST(StandaloneDirtreeWidget, TheHeadersContextMenuIsTheWidgetsAndHidesTheSectionUnderThePointer)
{
  register_tree_actions();
  recording_ui_callback_t ui;
  answer_popup_requests(ui);
  shown_t s;
  const pinned_t pinned(&s.widget);
  refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
  QHeaderView *header = s.widget.header();
  const QPoint size_section(header->sectionViewportPosition(1) + 10, header->height() / 2);
  names_t texts;
  ASSERT_TRUE(with_context_menu(header->viewport(), size_section, [&](QMenu *menu) {
    texts = entry_texts(menu);
    for ( QAction *action : menu->actions() )
      if ( action->text() == "Hide column" )
        action->trigger();
  }));
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Columns..."), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Quick filter"), texts.end());
  EXPECT_TRUE(header->isSectionHidden(1));
  EXPECT_FALSE(header->isSectionHidden(0));
}

TEST(StandaloneDirtreeWidget, BecomingActiveGivesTheSharedItemActionsThisWidgetsLooks)
{
  register_tree_actions();
  QWidget top;
  auto *layout = new QHBoxLayout(&top);
  standalone_dirtree_widget_options_t worklists = allowing(standalone_dirtree_insert);
  worklists.insert_look = {"~A~dd worklist...", "Adds a worklist", -1};
  worklists.delete_look = {nullptr, "Deletes worklists", -1};
  standalone_dirtree_widget_options_t files = allowing(standalone_dirtree_insert);
  files.insert_look = {"Add ~f~ile...", nullptr, -1};
  auto *first = new recording_dirtree_widget_t("Worklists", 0, &worklists);
  auto *second = new recording_dirtree_widget_t("Files", 0, &files);
  layout->addWidget(first);
  layout->addWidget(second);
  test_tree_t t;
  fill_sample_tree(t, {"a"}, {"y"});
  first->show_tree(t.tree.get());
  second->show_tree(t.tree.get());
  top.show();
  QApplication::setActiveWindow(&top);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&top));
  QAction *insert = qaction_of("DirTreeInsert");
  QAction *remove = qaction_of("DirTreeDelete");
  const QString delete_label = remove->text();

  QTest::mouseClick(first->viewport(), Qt::LeftButton, Qt::NoModifier, first->visualRect(first->row_named("y")).center());
  EXPECT_EQ(insert->text(), "&Add worklist...");
  EXPECT_EQ(insert->toolTip(), "Adds a worklist");
  EXPECT_EQ(remove->text(), delete_label) << "no label given: kept";
  EXPECT_EQ(remove->toolTip(), "Deletes worklists");
  QTest::mouseClick(second->viewport(), Qt::LeftButton, Qt::NoModifier,
                    second->visualRect(second->row_named("y")).center());
  EXPECT_EQ(insert->text(), "Add &file...");
  EXPECT_EQ(insert->toolTip(), "Adds a worklist") << "no tooltip given: kept";
  test_app().main_window()->deactivate_core_widget();
}

// ---- Keys and clicks --------------------------------------------------------------------------------------

TEST(StandaloneDirtreeWidget, ReturnEnterAndADoubleClickOpenTheSelection)
{
  shown_t s;
  s.click("y");
  QTest::keyClick(&s.widget, Qt::Key_Return);
  s.click("x", Qt::ControlModifier);
  QTest::keyClick(&s.widget, Qt::Key_Enter, Qt::KeypadModifier);
  // A double click: the first click, then the second, which Qt delivers as a press and a double click.
  s.click("z");
  QTest::mouseDClick(s.widget.viewport(), Qt::LeftButton, Qt::NoModifier, s.widget.visualRect(s.row("z")).center());
  using op = recording_dirtree_widget_t::operation_t;
  std::vector<op> expected = {{standalone_dirtree_open, {"/y"}}, {standalone_dirtree_open, {"/a/x", "/y"}},
                              {standalone_dirtree_open, {"/c/z"}}};
  for ( op &o : s.widget.operations )
    std::sort(o.paths.begin(), o.paths.end());
  EXPECT_EQ(s.widget.operations, expected);
  for ( const QLineEdit *editor : s.widget.findChildren<QLineEdit *>() )
    EXPECT_FALSE(editor->isVisible()) << "a double click does not start editing";
  // Nothing opened changed the tree: no update is posted.
  EXPECT_NE(s.widget.engine_flags() & engine_idle, 0u);
}

TEST(StandaloneDirtreeWidget, TypedTextAndRowNumbersMoveTheCurrentRow)
{
  shown_t s;
  s.widget.setFocus();
  struct step_t
  {
    const char *keys;
    std::string current;
  };
  // Rows: a, b, x, c, z, y.
  const std::vector<step_t> steps = {{"z", "z"}, {"\x1b", "z"}, {"3", "x"}, {"\x1b", "x"}, {"c", "c"}, {"y", "c"}};
  for ( const step_t &step : steps )
  {
    if ( step.keys[0] == '\x1b' )
      QTest::keyClick(&s.widget, Qt::Key_Escape);
    else
      QTest::keyClicks(&s.widget, step.keys);
    EXPECT_EQ(s.current(), step.current) << step.keys;
  }
  EXPECT_EQ(selected_names(s.widget), names_t({"c"}));
  EXPECT_TRUE(s.widget.operations.empty());
}

TEST(StandaloneDirtreeWidget, TheQuickFilterShowsMatchingItemsHighlightedInEveryFolder)
{
  register_tree_actions();
  test_tree_t t;
  fill_sample_tree(t, {"a/b", "c"}, {"a/x", "c/z", "y"});
  tree_refresh_handler_t refresher(t.tree.get());
  t->add_event_handler(&refresher);
  auto *widget = new recording_dirtree_widget_t("Filtered", standalone_dirtree_status_bar);
  widget->show_tree(t.tree.get());
  standalone_dirtree_widget_host_t host(widget);
  host.resize(320, 260);
  host.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  const pinned_t pinned(widget);
  widget->collapse(widget->row("c"));
  trigger("DirTreeQuickFilter");
  quick_filter_widget_t *bar = widget->quick_filter();
  ASSERT_FALSE(bar->isHidden());
  QTest::keyClicks(bar->input(), "z");
  ASSERT_TRUE(pump_until([&] { return widget->is_filtering(); }, std::chrono::seconds(5)));
  EXPECT_EQ(widget->shown_rows(), names_t({"c", "  z"})) << "folders without matches go, the others open";
  const filter_match_t *match = widget->row_for_index(widget->row("z"));
  ASSERT_NE(match, nullptr);
  EXPECT_EQ(match->column, 0);
  EXPECT_EQ(widget->row_for_index(widget->row("z").siblingAtColumn(1)), nullptr);
  EXPECT_EQ(widget->row_for_index(widget->row("c")), nullptr) << "folders are not highlighted";
  widget->status_bar()->showMessage("1 item");
  (void)save_screenshot(host, "filtered");
}

// ---- Lazy folders ----------------------------------------------------------------------------------------

TEST(StandaloneDirtreeWidget, FoldersExpandedWhileAnUpdateIsAppliedAreNotLoadedAgain)
{
  lazy_t l;
  EXPECT_EQ(l.model->loads, names_t({"/"})) << "the root is read when the model is installed";
  EXPECT_EQ(l.widget.shown_rows(), names_t({"p", "q"}));

  // An update being applied expands q: it is not read then.
  QObject::connect(l.model, &QAbstractItemModel::layoutChanged, &l.widget, [&] {
    if ( (l.widget.engine_flags() & engine_applying_update) != 0 )
      l.widget.expand(l.widget.row("q"));
  });
  l.widget.post_model_update(7, false);
  l.widget.settle();
  EXPECT_TRUE(l.widget.isExpanded(l.widget.row("q")));
  EXPECT_EQ(l.model->loads, names_t({"/"}));

  // The user expands p: read once, and the rows it brings come in without scrolling the view.
  const QModelIndex p = l.widget.row("p");
  QTest::keyClick(&l.widget, Qt::Key_Home);
  QTest::keyClick(&l.widget, Qt::Key_Right);
  EXPECT_TRUE(l.widget.isExpanded(p));
  EXPECT_EQ(l.model->loads, names_t({"/", "/p"}));
  EXPECT_EQ(l.model->load_flags.back(), 0);
  l.widget.reload_reasons.clear();
  l.widget.settle();
  ASSERT_EQ(l.widget.reload_reasons.size(), 1u);
  EXPECT_NE(l.widget.reload_reasons[0] & update_no_auto_scroll, 0u);
  EXPECT_EQ(l.widget.engine_flags() & engine_no_auto_scroll, 0u);
  l.widget.collapse(l.widget.row("p"));
  l.widget.expand(l.widget.row("p"));
  l.widget.settle();
  EXPECT_EQ(l.model->loads, names_t({"/", "/p"})) << "a folder read is not read again";
  EXPECT_EQ(l.widget.shown_rows(), names_t({"p", "  x", "q"}));
}

TEST(StandaloneDirtreeWidget, AnUpdateKeepingTheTreeStateReadsTheExpandedFoldersAgainOnce)
{
  lazy_t l;
  l.widget.expand(l.widget.row("p"));
  l.widget.settle();
  QTest::mouseClick(l.widget.viewport(), Qt::LeftButton, Qt::NoModifier,
                    l.widget.visualRect(l.widget.row("x")).center());
  ASSERT_EQ(l.model->loads, names_t({"/", "/p"}));

  l.widget.post_model_update(update_tree_state | 7, true);
  l.widget.settle();
  // Each folder shown expanded, the root among them, is read once more, as a preload.
  EXPECT_EQ(l.model->loads, names_t({"/", "/p", "/", "/p"}));
  EXPECT_EQ(l.model->load_flags, (std::vector<int> {0, 0, 1, 1}));
  EXPECT_EQ(l.widget.shown_rows(), names_t({"p", "  x", "q"}));
  EXPECT_EQ(selected_names(l.widget), names_t({"x"}));
}

// ---- Selection operations -----------------------------------------------------------------------------------

TEST(StandaloneDirtreeWidget, InsertingPostsOneUpdateThatSelectsWhatTheOperationAsks)
{
  register_tree_actions();
  shown_t s;
  const pinned_t pinned(&s.widget);
  s.t.spec->add_item("new", 30);
  std::vector<uint32_t> flags_seen;
  s.widget.effect = [&](uint32_t kind, filtered_widget_mixin_update_strategy_t *strategy) {
    EXPECT_EQ(kind, standalone_dirtree_insert);
    EXPECT_EQ(s.t->link_or_unlink_path("/c/new", true), 0);
    flags_seen.push_back(s.widget.engine_flags());
    dirtree_path_cursor_t made;
    EXPECT_TRUE(s.t->cursor_of_path("/c/new", &made));
    strategy->selection = {made.cursor};
    strategy->flags |= strategy_restore_own_selection;
    return true;
  };
  s.click("z");
  EXPECT_EQ(state_of("DirTreeInsert"), ACTION_STATE_INITIAL);
  trigger("DirTreeInsert");
  ASSERT_EQ(flags_seen.size(), 1u);
  EXPECT_NE(flags_seen[0] & engine_selecting, 0u) << "the tree's events post nothing meanwhile";
  EXPECT_EQ(s.widget.engine_flags() & engine_selecting, 0u);
  EXPECT_EQ(s.widget.operations,
            (std::vector<recording_dirtree_widget_t::operation_t> {{standalone_dirtree_insert, {"/c/z"}}}));
  s.widget.settle();
  EXPECT_EQ(s.widget.shown_rows(), names_t({"a", "  b", "  x", "c", "  z", "  new", "y"}));
  EXPECT_EQ(selected_names(s.widget), names_t({"new"}));
  EXPECT_EQ(s.current(), "new");
}

TEST(StandaloneDirtreeWidget, DeletingRemovesTheSelectedFoldersItLeftEmpty)
{
  register_tree_actions();
  shown_t s;
  const pinned_t pinned(&s.widget);
  s.widget.effect = [&](uint32_t, filtered_widget_mixin_update_strategy_t *strategy) {
    EXPECT_NE(strategy->flags & strategy_remove_empty_folders, 0u);
    return s.t->link_or_unlink_path("/c/z", false) == 0 && s.t->link_or_unlink_path("/a/x", false) == 0;
  };
  s.click("c");
  s.click("x", Qt::ControlModifier);
  s.click("a", Qt::ControlModifier);
  trigger("DirTreeDelete");
  s.widget.settle();
  // c was selected and is empty now; a still holds b.
  EXPECT_EQ(walk_paths(*s.t.tree), names_t({"/a/", "/a/b/", "/y"}));
  EXPECT_EQ(s.widget.shown_rows(), names_t({"a", "  b", "y"}));
}

TEST(StandaloneDirtreeWidget, OperationsThatChangeNothingPostNothingAndAPendingUpdateTakesTheChange)
{
  register_tree_actions();
  shown_t s;
  const pinned_t pinned(&s.widget);
  s.click("y");
  trigger("DirTreeInsert");
  EXPECT_NE(s.widget.engine_flags() & engine_idle, 0u) << "no change, no update";

  // An update is pending when the operation ends: the operation's strategy, with its selection, is released,
  // and the pending update shows the change.
  s.t.spec->add_item("late", 31);
  s.widget.effect = [&](uint32_t, filtered_widget_mixin_update_strategy_t *strategy) {
    s.widget.post_model_update(7, false);
    strategy->selection.assign(1000, dirtree_root_cursor);
    strategy->selection.push_back(strategy->selection.front());
    strategy->flags |= strategy_restore_own_selection;
    return s.t->link_or_unlink_path("/late", true) == 0;
  };
  trigger("DirTreeInsert");
  s.widget.settle();
  EXPECT_EQ(s.widget.shown_rows(), names_t({"a", "  b", "  x", "c", "  z", "y", "late"}));
  EXPECT_EQ(selected_names(s.widget), names_t({"y"}));

  // Without the options' leave, the actions are disabled; Delete needs a selection.
  recording_dirtree_widget_t other("Other", standalone_dirtree_delete);
  other.show_tree(s.t.tree.get());
  const pinned_t on_other(&other);
  EXPECT_EQ(state_of("DirTreeInsert"), ACTION_STATE_MISSING_CONTEXT);
  EXPECT_EQ(state_of("DirTreeDelete"), ACTION_STATE_MISSING_CONTEXT);
}
