// The chooser's actions: states, labels, icons and visibility by the source's flags and descriptors; the
// widget's menu and its context menu; hiding columns, the "Columns" form and copying rows.
#include "tests/ui/app/screenshots.h"
#include "tests/views/chooser_test_support.h"
#include "tests/views/form_request_player.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

namespace {

// A descriptor whose state the test sets.
class test_desc_t : public chooser_stdact_desc_t
{
public:
  test_desc_t(const char *label, const char *tooltip, int32_t icon, int32_t state)
    : chooser_stdact_desc_t(label, tooltip, icon), state(state)
  {
  }
  int32_t action_state(ui_action_update_ctx_t *) override { return state; }
  int32_t state;
};

struct shown_state_t
{
  int state;
  bool visible;
  friend bool operator==(const shown_state_t &, const shown_state_t &) = default;
};

// The state and visibility of an action after an update pass for the focused widget.
shown_state_t state_of(const char *name)
{
  const ui_action_t *action = find_ui_action(name);
  return {action->state(), action->qaction()->isVisible()};
}

void update_actions()
{
  QCoreApplication::processEvents();
  refresh_actions_for(UPDACT_CONNECTION, nullptr, nullptr);
}

std::string text_of(const char *name)
{
  return find_ui_action(name)->qaction()->text().toStdString();
}

class ChooserActions : public docked_chooser_fixture_t
{
};

TEST_F(ChooserActions, StandardActionsFollowTheFlagsAndTheSelection)
{
  constexpr shown_state_t hidden {ACTION_STATE_NOT_FOR_WIDGET, false};
  constexpr shown_state_t enabled {ACTION_STATE_ENABLED, true};
  constexpr shown_state_t on_selection {ACTION_STATE_INITIAL, true};
  constexpr shown_state_t disabled {ACTION_STATE_MISSING_CONTEXT, true};
  struct case_t
  {
    const char *name;
    uint32_t flags;
    bool select;
    shown_state_t insert, remove, edit, refresh;
  };
  const case_t cases[] = {
    {"insert and edit, nothing selected", 0x500, false, enabled, hidden, disabled, hidden},
    {"insert and edit, a row selected", 0x500, true, enabled, hidden, on_selection, hidden},
    {"all four, nothing selected", 0xF00, false, enabled, disabled, disabled, enabled},
    {"all four, a row selected", 0xF00, true, enabled, on_selection, on_selection, enabled},
    {"none", 0, true, hidden, hidden, hidden, hidden},
  };
  for ( const case_t &c : cases )
  {
    chooser_widget_t *widget = open_docked(new test_multi_list_t(numbered_rows(4), c.name, c.flags));
    ASSERT_NE(widget, nullptr) << c.name;
    if ( c.select )
      click_row(widget, 1);
    update_actions();
    EXPECT_EQ(state_of(chooser_insert_action), c.insert) << c.name;
    EXPECT_EQ(state_of(chooser_delete_action), c.remove) << c.name;
    EXPECT_EQ(state_of(chooser_edit_action), c.edit) << c.name;
    EXPECT_EQ(state_of(chooser_refresh_action), c.refresh) << c.name;
    EXPECT_EQ(state_of(chooser_copy_action), on_selection) << c.name;
    EXPECT_EQ(state_of(chooser_toggle_tree_action), (shown_state_t {ACTION_STATE_MISSING_CONTEXT, false}))
      << c.name << ": Show folders is not offered for a list without folders";
    close_docked(widget);
  }

  // Outside a chooser widget none of them is for the widget, and the source's actions are not shown.
  QLineEdit elsewhere;
  test_app().action_provider().pinned_widget = &elsewhere;
  update_actions();
  EXPECT_EQ(state_of(chooser_insert_action), hidden);
  EXPECT_EQ(state_of(chooser_refresh_action), hidden);
  EXPECT_EQ(state_of(chooser_copy_action).state, ACTION_STATE_NOT_FOR_WIDGET);
  EXPECT_EQ(state_of(chooser_hide_column_action).state, ACTION_STATE_NOT_FOR_WIDGET);
}

TEST_F(ChooserActions, DescriptorsGiveLabelsTooltipsIconsAndStates)
{
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::darkGreen);
  const int32_t icon = test_app().register_icon(QIcon(pixmap), "site-add.png");
  auto *list = new test_multi_list_t(numbered_rows(3), "Sites", 0xF00);
  list->action_descs.push_back(std::make_unique<test_desc_t>("Add new ~s~ite...", "Adds a site", icon, 7));
  list->action_descs.push_back(std::make_unique<test_desc_t>("Delete site", nullptr, -1, 2));
  list->action_descs.push_back(nullptr);
  list->action_descs.push_back(std::make_unique<test_desc_t>(nullptr, nullptr, -1, 3));
  chooser_widget_t *widget = open_docked(list);
  ASSERT_NE(widget, nullptr);
  click_row(widget, 0);
  update_actions();

  EXPECT_EQ(state_of(chooser_insert_action), (shown_state_t {7, true})) << "the descriptor decides";
  EXPECT_EQ(text_of(chooser_insert_action), "Add new &site...");
  QAction *insert = find_ui_action(chooser_insert_action)->qaction();
  EXPECT_EQ(insert->toolTip(), "Adds a site");
  EXPECT_EQ(test_app().icon_id_of(insert->icon()), icon);
  EXPECT_EQ(state_of(chooser_delete_action), (shown_state_t {3, true})) << "below 4 becomes 3 for delete";
  EXPECT_EQ(text_of(chooser_delete_action), "Delete site");
  EXPECT_EQ(state_of(chooser_edit_action), (shown_state_t {3, true})) << "without a descriptor";
  EXPECT_EQ(state_of(chooser_refresh_action), (shown_state_t {3, true})) << "refresh takes the value as it is";
  EXPECT_EQ(text_of(chooser_refresh_action), "Refresh") << "a descriptor without a label keeps it";
  save_screenshot(*test_app().main_window(), "docked-sites");
}

TEST_F(ChooserActions, PopupNamesLabelTheActionsWhenTheWidgetBecomesActive)
{
  auto *list = new test_multi_list_t(numbered_rows(3), "Users", 0xF00);
  list->popup_names[0] = "Add ~u~ser...";
  list->popup_names[3] = "Reload users";
  chooser_widget_t *widget = open_docked(list);
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(text_of(chooser_insert_action), "Add &user...");
  EXPECT_EQ(text_of(chooser_delete_action), "Delete");
  EXPECT_EQ(text_of(chooser_edit_action), "Edit...");
  EXPECT_EQ(text_of(chooser_refresh_action), "Reload users");
  EXPECT_EQ(std::string(list->popup_names[1].c_str()), "Delete") << "empty names get the default labels";
}

TEST_F(ChooserActions, MenuAndContextMenuOfferWhatTheSourceAllows)
{
  // The widget's copy of "Chooser:Edit" loses the actions the source does not offer.
  chooser_widget_t *widget = open_docked(new test_multi_list_t(numbered_rows(4), "Offers", 0x500));
  ASSERT_NE(widget, nullptr);
  std::vector<std::string> menu;
  for ( const QAction *action : widget->popup_menu()->actions() )
    menu.push_back(action->isSeparator() ? "-" : action->text().toStdString());
  EXPECT_EQ(menu, (std::vector<std::string> {"Insert...", "Edit...", "-", "Copy", "Copy all", "-", "Unsort",
                                             "Quick filter", "Modify filters...", "Reset filters", "-", "Search...",
                                             "Search again"}));

  // The context menu: the enabled entries of that menu, then the column entries; the application's extras last.
  ASSERT_TRUE(register_plain_action("TestChooserExtra", "Extra entry", new idle_action_handler_t, nullptr)
              || find_ui_action("TestChooserExtra") != nullptr);
  static const chooser_popup_entry_t extras[] = {{"TestChooserExtra", nullptr, 0}};
  widget->extra_popup_entries = extras;
  widget->extra_popup_count = 1;
  click_row(widget, 1);
  EXPECT_EQ(context_menu(widget->table()->viewport(), row_point(widget, 1)),
            (std::vector<std::string> {"Insert...", "Edit...", "-", "Copy", "Copy all", "-", "Quick filter",
                                       "Modify filters...", "-", "Search...", "Search again", "-", "Columns...", "-",
                                       "Extra entry"}));
  close_docked(widget);

  // Without the quick filter, its three entries go; Unsort comes once the list is sorted.
  chooser_widget_t *plain = open_docked(new test_multi_list_t(numbered_rows(4), "Plain", chooser_no_quick_filter));
  ASSERT_NE(plain, nullptr);
  QTest::mouseClick(plain->shown_header()->viewport(), Qt::LeftButton, {}, section_point(plain, 0));
  click_row(plain, 0);
  EXPECT_EQ(context_menu(plain->table()->viewport(), row_point(plain, 0)),
            (std::vector<std::string> {"Copy", "Copy all", "-", "Unsort", "-", "Search...", "Search again", "-",
                                       "Columns...", "-"}));
}

TEST_F(ChooserActions, HideColumnActsOnTheColumnUnderThePointer)
{
  struct case_t
  {
    const char *name;
    uint32_t flags;
    int section;
    bool offered;
  };
  const case_t cases[] = {
    {"second column", 0, 1, true},
    {"first column", 0, 0, true},
    {"first column of a list with folders", chooser_has_folders, 0, false},
    {"second column of a list with folders", chooser_has_folders, 1, true},
  };
  for ( const case_t &c : cases )
  {
    auto *list = new test_multi_list_t({{"a", "b", "c"}, {"d", "e", "f"}}, c.name, c.flags);
    list->set_header({"One", "Two", "Three"});
    chooser_widget_t *widget = open_docked(list);
    ASSERT_NE(widget, nullptr) << c.name;
    std::vector<int> changes;
    QObject::connect(widget, &chooser_widget_t::header_status_changed,
                     [&](const chooser_header_status_t &, int flags) { changes.push_back(flags); });
    const std::vector<std::string> items =
      context_menu(widget->shown_header(), section_point(widget, c.section), "Hide column");
    EXPECT_EQ(std::find(items.begin(), items.end(), "Hide column") != items.end(), c.offered) << c.name;
    EXPECT_EQ(widget->shown_header()->isSectionHidden(c.section), c.offered) << c.name;
    EXPECT_EQ(std::count(changes.begin(), changes.end(), header_visibility_changed), c.offered ? 1 : 0) << c.name;
    close_docked(widget);
  }
}

TEST_F(ChooserActions, ColumnsFormShowsAndHidesColumns)
{
  for ( const bool folders : {false, true} )
  {
    auto *list =
      new test_multi_list_t({{"a", "b", "c"}}, folders ? "Columns of folders" : "Columns", folders ? chooser_has_folders : 0);
    list->set_header({"Name", "#The size in bytes#Size", "Kind"});
    list->set_widths({20, 10, column_hidden | 10});
    chooser_widget_t *widget = open_docked(list);
    ASSERT_NE(widget, nullptr);
    ui.clear();
    ui.script_form(form_dialog_player([](hosted_form_t &form) {
      click_box(form.control<QCheckBox>('C', 0));
      click_box(form.control<QCheckBox>('C', 1));
      save_screenshot(*form.dialog, "columns-form");
      QTest::mouseClick(form.dialog_button(QDialogButtonBox::Yes), Qt::LeftButton);
    }));
    context_menu(widget->table()->viewport(), row_point(widget, 0), "Columns...");
    const auto forms = ui.requests_of(ui_code_form_dialog);
    ASSERT_EQ(forms.size(), 1u) << folders;
    QHeaderView *header = widget->shown_header();
    if ( folders )
    {
      EXPECT_EQ(forms[0].text, "Columns\n<Size:C>\n<Kind:C>>") << "the first column always stays";
      EXPECT_FALSE(header->isSectionHidden(0));
      EXPECT_TRUE(header->isSectionHidden(1));
      EXPECT_FALSE(header->isSectionHidden(2));
    }
    else
    {
      EXPECT_EQ(forms[0].text, "Columns\n<Name:C>\n<Size:C>\n<Kind:C>>");
      EXPECT_TRUE(header->isSectionHidden(0));
      EXPECT_TRUE(header->isSectionHidden(1));
      EXPECT_TRUE(header->isSectionHidden(2));
    }
    close_docked(widget);
  }
}

TEST_F(ChooserActions, CopyTakesTheSelectedRowsAndCopyAllEveryRowWithTheHeader)
{
  auto *list = new test_multi_list_t({{"alpha", "1", "x"}, {"beta", "2", "y"}, {"gamma", "3", "z"}}, "Copy",
                                     chooser_multi_select);
  list->set_header({"Name", "Size", "Hidden"});
  list->set_widths({20, column_flags_decimal | 10, column_hidden | 5});
  chooser_widget_t *widget = open_docked(list);
  ASSERT_NE(widget, nullptr);
  // Sorted descending by size: the copy follows the order shown.
  QTest::mouseClick(widget->shown_header()->viewport(), Qt::LeftButton, {}, section_point(widget, 1));
  if ( shown(widget).front() != "gamma" )
    QTest::mouseClick(widget->shown_header()->viewport(), Qt::LeftButton, {}, section_point(widget, 1));
  ASSERT_EQ(shown(widget), (std::vector<std::string> {"gamma", "beta", "alpha"}));
  click_row(widget, 2);
  click_row(widget, 0, Qt::ControlModifier);
  context_menu(widget->table()->viewport(), row_point(widget, 0), "Copy");
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "gamma\t3\nalpha\t1");
  context_menu(widget->table()->viewport(), row_point(widget, 0), "Copy all");
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "Name\tSize\ngamma\t3\nbeta\t2\nalpha\t1");
}

} // namespace
