// Dock nodes: tabs of visible children, titles and icons reaching title bars and tabs, emptied containers
// deleting themselves, persistent contents, the "active" title property and the layout notification.
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/screenshots.h"
#include "tests/ui/dock_test_support.h"

#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QtTest/QTest>

namespace {

using DockNodes = DockFixture;

QIcon square_icon(const QColor &colour)
{
  QPixmap pixmap(16, 16);
  pixmap.fill(colour);
  return QIcon(pixmap);
}

TEST_F(DockNodes, OnlyVisibleChildrenHaveTabs)
{
  auto *group = new DockTab(-1);
  DockWidget *a = make_dock("A");
  a->hidden = true;
  group->insert_child(0, a);
  group->insert_child(1, make_dock("B"));
  group->insert_child(2, make_dock("C"));
  group->sync_tabs();
  ASSERT_EQ(group->tab_bar()->count(), 2);
  EXPECT_EQ(group->tab_bar()->tabText(0), "B");
  EXPECT_EQ(group->tab_bar()->tabText(1), "C");
  struct
  {
    int tab, child;
  } const tabs[] = {{0, 1}, {1, 2}, {2, -1}, {-1, -1}};
  for ( const auto &t : tabs )
    EXPECT_EQ(group->tab_to_child(t.tab), t.child) << t.tab;
  struct
  {
    int child, tab;
  } const children[] = {{0, -1}, {1, 0}, {2, 1}, {3, -1}, {-1, -1}};
  for ( const auto &c : children )
    EXPECT_EQ(group->child_to_tab(c.child), c.tab) << c.child;
  EXPECT_EQ(group->title(), "B, C");
  delete group;
}

TEST_F(DockNodes, ASplitterTitleJoinsItsVisibleChildren)
{
  auto *splitter = new DockSplitter(Qt::Horizontal);
  DockWidget *b = make_dock("B");
  splitter->insert_child(0, make_dock("A"));
  splitter->insert_child(1, b);
  splitter->insert_child(2, make_dock("C"));
  b->hidden = true;
  EXPECT_EQ(splitter->title(), "A, C");
  EXPECT_EQ(splitter->visible_child_count(), 2);
  delete splitter;
}

// The title bar shows the content's title and icon at once; the tab follows after the deferred update.
TEST_F(DockNodes, TitleAndIconReachTheTitleBarAndTheTab)
{
  QWidget *content = nullptr;
  DockWidget *a = make_dock("A", &content);
  DockWidget *x = make_dock("X");
  area->dock_at_edge(x, dock_edge_right);
  area->split_dock(a, x, dock_edge_right);
  auto *group = static_cast<DockTab *>(area->tabify_dock(make_dock("B"), a, false, -1));
  settle_events();

  content->setWindowTitle("Renamed");
  content->setWindowIcon(square_icon(Qt::red));
  EXPECT_EQ(a->title(), "Renamed");
  EXPECT_EQ(a->windowTitle(), "Renamed");
  EXPECT_EQ(dock_title_bar(a)->text_label->text(), "Renamed");
  EXPECT_EQ(dock_title_bar(a)->toolTip(), "Renamed");
  EXPECT_FALSE(dock_title_bar(a)->icon_label->isHidden());
  EXPECT_EQ(a->icon().cacheKey(), a->windowIcon().cacheKey());
  EXPECT_EQ(group->tab_bar()->tabText(0), "A");
  settle_events();
  EXPECT_EQ(group->tab_bar()->tabText(0), "Renamed");
  EXPECT_EQ(group->tab_bar()->tabToolTip(0), "Renamed");
  EXPECT_FALSE(group->tab_bar()->tabIcon(0).isNull());
  save_screenshot(*window, "renamed-tab");
}

// A tab's close button closes its page's content; when the contents leave, the leaves and then the emptied
// group delete themselves.
TEST_F(DockNodes, ClosedTabsLeaveAndTheEmptiedGroupDeletesItself)
{
  DockWidget *x = make_dock("X");
  QWidget *content_a = nullptr;
  QWidget *content_b = nullptr;
  DockWidget *a = make_dock("A", &content_a);
  DockWidget *b = make_dock("B", &content_b);
  area->dock_at_edge(x, dock_edge_right);
  area->split_dock(a, x, dock_edge_right);
  auto *group = static_cast<DockTab *>(area->tabify_dock(b, a, false, -1));
  settle_events();
  EXPECT_EQ(shape(), "H[X,T[A,B]]");

  QWidget *close_button = group->tab_bar()->tabButton(0, QTabBar::RightSide);
  ASSERT_NE(close_button, nullptr);
  QTest::mouseClick(close_button, Qt::LeftButton);
  settle_events();
  EXPECT_TRUE(a->hidden);
  EXPECT_FALSE(content_a->isVisible());
  EXPECT_EQ(group->tab_bar()->count(), 1);
  EXPECT_EQ(shape(), "H[X,T[A*,B]]");

  QPointer<DockWidget> leaf(a);
  QPointer<DockTab> watched(group);
  delete content_a;
  delete content_b;
  settle_events();
  EXPECT_TRUE(leaf.isNull());
  EXPECT_TRUE(watched.isNull());
  EXPECT_EQ(shape(), "H[X]");

  // Outside any area too, a group deletes itself once its last child left.
  auto *alone = new DockTab(-1);
  QWidget *content_c = nullptr;
  alone->insert_child(0, make_dock("C", &content_c));
  QPointer<DockTab> alone_watch(alone);
  delete content_c;
  settle_events();
  EXPECT_TRUE(alone_watch.isNull());
}

// A leaf whose content is destroyed leaves the registry at once.
TEST_F(DockNodes, TheRegistryListsExactlyTheLiveNodes)
{
  const size_t before = all_dock_nodes().size();
  QWidget *content = nullptr;
  DockWidget *a = make_dock("A", &content);
  EXPECT_EQ(all_dock_nodes().size(), before + 1);
  EXPECT_TRUE(is_live_dock_node(a));
  EXPECT_TRUE(leaf_dock_widgets().contains(a));
  delete content;
  EXPECT_FALSE(is_live_dock_node(a));
  settle_events();
  EXPECT_EQ(all_dock_nodes().size(), before);
}

TEST_F(DockNodes, APersistentContentSurvivesItsDock)
{
  QWidget *kept = nullptr;
  DockWidget *a = make_dock("A", &kept);
  kept->setProperty("close_flags", int(close_flag_persistent));
  QWidget *lost = nullptr;
  DockWidget *b = make_dock("B", &lost);
  QPointer<QWidget> kept_watch(kept);
  QPointer<QWidget> lost_watch(lost);
  delete a;
  delete b;
  ASSERT_FALSE(kept_watch.isNull());
  EXPECT_EQ(kept->parentWidget(), nullptr);
  EXPECT_TRUE(lost_watch.isNull());
  delete kept;
}

TEST_F(DockNodes, AbsorbingASplitterSharesItsSpaceByItsChildrensSizes)
{
  auto *outer = new DockSplitter(Qt::Horizontal);
  auto *inner = new DockSplitter(Qt::Horizontal);
  inner->insert_child(0, make_dock("A"));
  inner->insert_child(1, make_dock("B"));
  outer->insert_child(0, inner);
  outer->insert_child(1, make_dock("C"));
  area->set_root(outer);
  outer->show();
  QApplication::processEvents();
  outer->splitter()->setSizes({400, 400});
  inner->splitter()->setSizes({100, 300});
  const QList<int> inner_sizes = inner->splitter()->sizes();
  const int length = inner->splitter()->width();
  const int s = outer->splitter()->sizes()[0];
  outer->absorb_child(inner);
  EXPECT_EQ(shape(), "H[A,B,C]");
  const QList<int> sizes = outer->splitter()->sizes();
  ASSERT_EQ(sizes.size(), 3);
  // The splitter lays the list out again, so allow a pixel or two per handle.
  EXPECT_NEAR(sizes[0], s * inner_sizes[0] / length, 3);
  EXPECT_NEAR(sizes[1], s * inner_sizes[1] / length, 3);
}

TEST_F(DockNodes, TheActivePropertyFollowsTheFocusBetweenDocks)
{
  auto *first = new QLineEdit;
  first->setWindowTitle("First");
  auto *second_holder = new QWidget;
  second_holder->setWindowTitle("Second");
  auto *second_a = new QLineEdit(second_holder);
  auto *second_b = new QLineEdit(second_holder);
  DockWidget *a = test_app().get_widget_factory()->new_dock_widget(first, 0);
  DockWidget *b = test_app().get_widget_factory()->new_dock_widget(second_holder, 0);
  area->dock_at_edge(a, dock_edge_right);
  area->split_dock(b, a, dock_edge_right);
  settle_events();

  first->setFocus();
  QApplication::processEvents();
  EXPECT_TRUE(dock_title_bar(a)->property("active").toBool());
  EXPECT_FALSE(dock_title_bar(b)->property("active").toBool());
  second_a->setFocus();
  QApplication::processEvents();
  EXPECT_FALSE(dock_title_bar(a)->property("active").toBool());
  EXPECT_TRUE(dock_title_bar(b)->property("active").toBool());
  // Inside the same dock nothing changes, so the bar is not polished again.
  int polishes = 0;
  struct polish_counter_t : QObject
  {
    int *count;
    bool eventFilter(QObject *, QEvent *e) override
    {
      if ( e->type() == QEvent::Polish || e->type() == QEvent::StyleChange )
        ++*count;
      return false;
    }
  } counter;
  counter.count = &polishes;
  dock_title_bar(b)->installEventFilter(&counter);
  second_b->setFocus();
  QApplication::processEvents();
  EXPECT_TRUE(dock_title_bar(b)->property("active").toBool());
  EXPECT_EQ(polishes, 0);
  dock_title_bar(b)->removeEventFilter(&counter);
  save_screenshot(*window, "active-title");
}

// Widgets with an "on_layout_performed()" slot hear of every completed change of the tree.
class layout_listener_t : public QLabel
{
  Q_OBJECT

public:
  using QLabel::QLabel;
  int calls = 0;

public slots:
  void on_layout_performed() { ++calls; }
};

TEST_F(DockNodes, CompletedChangesNotifyTheWidgetsOfTheMainWindow)
{
  auto *listener = new layout_listener_t("L");
  listener->setWindowTitle("L");
  DockWidget *l = test_app().get_widget_factory()->new_dock_widget(listener, 0);
  area->dock_at_edge(l, dock_edge_right);
  const int before = listener->calls;
  DockWidget *x = make_dock("X");
  area->split_dock(x, l, dock_edge_right);
  EXPECT_EQ(listener->calls, before);
  {
    notify_bracket_t outer;
    DockArea::detach_docked(x);
    EXPECT_EQ(listener->calls, before);
  }
  EXPECT_EQ(listener->calls, before + 1);
  notify_layout_performed(listener);
  EXPECT_EQ(listener->calls, before + 2);
}

TEST_F(DockNodes, TheTitleBarHasItsButtonsAndFloatCloseWork)
{
  DockWidget *x = make_dock("X");
  DockWidget *a = make_dock("A");
  area->dock_at_edge(x, dock_edge_right);
  area->split_dock(a, x, dock_edge_right);
  settle_events();
  const QList<QPushButton *> buttons = dock_title_bar(a)->findChildren<QPushButton *>();
  ASSERT_EQ(buttons.size(), 3);
  EXPECT_EQ(buttons[0]->toolTip(), "Fullscreen");
  EXPECT_EQ(buttons[1]->toolTip(), "Float");
  EXPECT_EQ(buttons[2]->toolTip(), "Close");
  EXPECT_EQ(buttons[2]->size(), QSize(16, 16));
  EXPECT_EQ(buttons[2]->focusPolicy(), Qt::NoFocus);

  QTest::mouseClick(buttons[1], Qt::LeftButton);
  settle_events();
  DockArea *floating = enclosing_dock_area(a);
  ASSERT_NE(floating, nullptr);
  EXPECT_TRUE(floating->is_floating());
  EXPECT_EQ(shape(), "H[X]");
  save_screenshot(*floating, "floating");

  QTest::mouseClick(dock_title_bar(x)->findChildren<QPushButton *>()[2], Qt::LeftButton);
  EXPECT_TRUE(x->hidden);
}

// Selecting a tab gives its page's content the focus; the page being selected is known only meanwhile.
TEST_F(DockNodes, SelectingATabFocusesItsPage)
{
  auto *first = new QLineEdit;
  first->setWindowTitle("First");
  auto *second = new QLineEdit;
  second->setWindowTitle("Second");
  DockWidget *a = test_app().get_widget_factory()->new_dock_widget(first, 0);
  DockWidget *b = test_app().get_widget_factory()->new_dock_widget(second, 0);
  area->dock_at_edge(a, dock_edge_right);
  area->dock_at_edge(make_dock("X"), dock_edge_right);
  auto *group = static_cast<DockTab *>(area->tabify_dock(b, a, false, -1));
  area->activate_dock(a, 1);
  settle_events();
  ASSERT_EQ(QApplication::focusWidget(), first);
  QTest::mouseClick(group->tab_bar(), Qt::LeftButton, Qt::NoModifier, group->tab_bar()->tabRect(1).center());
  EXPECT_EQ(QApplication::focusWidget(), second);
  EXPECT_EQ(group->stack()->currentWidget(), b);
  EXPECT_EQ(group->focus_target, nullptr);
  EXPECT_TRUE(dock_title_bar(b)->property("active").toBool());
  EXPECT_FALSE(dock_title_bar(a)->property("active").toBool());
}

// A place holder stands in a leaf until the real widget is swapped in with its configuration.
TEST_F(DockNodes, APlaceHolderIsReplacedByTheWidgetItStandsFor)
{
  recording_ui_callback_t callback;
  auto *real = new QLabel("real");
  real->setWindowTitle("Real");
  auto *holder = new PlaceHolderWidget(real);
  EXPECT_TRUE(is_place_holder(holder));
  EXPECT_FALSE(is_place_holder(real));
  DockWidget *dock = test_app().get_widget_factory()->new_dock_widget(holder, 0);
  EXPECT_EQ(dock->title(), "Real");
  EXPECT_EQ(dock_content(dock), holder);
  EXPECT_EQ(dock_content(dock, true), real);
  area->dock_at_edge(dock, dock_edge_right);
  QPointer<PlaceHolderWidget> watched(holder);

  json_object_t config;
  dock->replace_place_holder(config);
  EXPECT_TRUE(watched.isNull());
  EXPECT_EQ(dock_content(dock), real);
  EXPECT_EQ(callback.requests_of(ui_code_set_widget_config).size(), 1u);
  real->setWindowTitle("Renamed");
  EXPECT_EQ(dock->title(), "Renamed");
  EXPECT_TRUE(is_live_dock_node(dock));
  // A dock without a place holder is left alone.
  dock->replace_place_holder(config);
  EXPECT_EQ(dock_content(dock), real);
}

} // namespace

#include "dock_node_test.moc"
