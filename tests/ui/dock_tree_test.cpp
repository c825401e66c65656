// The dock tree engine: edge docking, splitting, tabbing, the clean-up pass, searches and counts.
#include "tests/ui/app/screenshots.h"
#include "tests/ui/dock_test_support.h"

#include <QLineEdit>

namespace {

using DockTree = DockFixture;

// Repeated edge docking nests splitters; the clean-up pass flattens those of one orientation.
TEST_F(DockTree, EdgeDockingNestsAndTheCleanUpPassFlattens)
{
  DockWidget *x = make_dock("X");
  DockWidget *y = make_dock("Y");
  area->dock_at_edge(x, dock_edge_right);
  area->split_dock(y, x, dock_edge_right);
  EXPECT_EQ(shape(), "H[X,Y]");
  area->dock_at_edge(make_dock("A"), dock_edge_bottom);
  EXPECT_EQ(shape(), "V[H[X,Y],A]");
  area->dock_at_edge(make_dock("D"), dock_edge_left);
  EXPECT_EQ(shape(), "H[D,V[H[X,Y],A]]");
  area->dock_at_edge(make_dock("E"), dock_edge_left);
  EXPECT_EQ(shape(), "H[E,D,V[H[X,Y],A]]");
  settle_events();
  save_screenshot(*window, "flattened");
}

TEST_F(DockTree, SplittingBesideALoneRootLeafMakesASplitterRoot)
{
  DockWidget *x = make_dock("X");
  area->set_root(x);
  area->set_root(x); // the same root again stays
  x->show();
  EXPECT_EQ(shape(), "X");
  const BaseDockWidget *holder = area->split_dock(make_dock("Y"), x, dock_edge_bottom);
  EXPECT_EQ(shape(), "V[X,Y]");
  EXPECT_EQ(holder, area->root());
  // A node beside itself changes nothing.
  EXPECT_EQ(area->split_dock(x, x, dock_edge_left), nullptr);
  EXPECT_EQ(shape(), "V[X,Y]");
}

TEST_F(DockTree, SplittingAcrossTheOrientationNestsANewSplitter)
{
  DockWidget *x = make_dock("X");
  DockWidget *y = make_dock("Y");
  area->dock_at_edge(x, dock_edge_right);
  area->split_dock(y, x, dock_edge_right);
  area->split_dock(make_dock("B"), y, dock_edge_bottom);
  area->split_dock(make_dock("L"), x, dock_edge_left);
  EXPECT_EQ(shape(), "H[L,X,V[Y,B]]");
}

// A tab group appears around the target and dissolves again once it holds one dock.
TEST_F(DockTree, TabbingMakesAGroupThatDissolvesWhenOneDockIsLeft)
{
  DockWidget *x = make_dock("X");
  DockWidget *b = make_dock("B");
  DockWidget *a = make_dock("A");
  area->dock_at_edge(x, dock_edge_right);
  area->split_dock(b, x, dock_edge_right);
  auto *group = qobject_cast<DockTab *>(area->tabify_dock(a, b, false, -1));
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(shape(), "H[X,T[B,A]]");
  EXPECT_EQ(group->stack()->currentWidget(), a);
  settle_events();
  EXPECT_EQ(group->tab_bar()->count(), 2);
  save_screenshot(*window, "tab-group");

  // Tabbing into the group without a new group adds a page, and with one nests a group.
  DockWidget *c = make_dock("C");
  area->tabify_dock(c, a, false, -1);
  EXPECT_EQ(shape(), "H[X,T[B,A,C]]");
  QPointer<DockTab> watched(group);
  DockArea::detach_docked(a);
  EXPECT_EQ(shape(), "H[X,T[B,C]]");
  DockArea::detach_docked(c);
  EXPECT_EQ(shape(), "H[X,B]");
  settle_events();
  EXPECT_TRUE(watched.isNull());
  delete a;
}

TEST_F(DockTree, TabbingNeedsATargetInAContainer)
{
  DockWidget *x = make_dock("X");
  area->set_root(x);
  EXPECT_EQ(area->tabify_dock(make_dock("A"), nullptr, false, -1), nullptr);
  EXPECT_EQ(area->tabify_dock(make_dock("B"), x, false, -1), nullptr);
  EXPECT_EQ(shape(), "X");
}

TEST_F(DockTree, ARootTabGroupShowingOneDockBecomesASplitter)
{
  auto *group = new DockTab(-1);
  DockWidget *a = make_dock("A");
  DockWidget *b = make_dock("B");
  group->insert_child(0, a);
  group->insert_child(1, b);
  area->set_root(group);
  group->show();
  EXPECT_EQ(shape(), "T[A,B]");
  area->hide_dock(b);
  EXPECT_EQ(shape(), "H[A,B*]");
  EXPECT_TRUE(a->isVisible());
  EXPECT_FALSE(b->isVisible());
}

// The pass simplifies bottom-up until nothing changes: nested single-child splitters and a lone splitter of
// the other orientation leave one splitter.
TEST_F(DockTree, TheCleanUpPassReachesAFixedPoint)
{
  auto *outer = new DockSplitter(Qt::Horizontal);
  auto *middle = new DockSplitter(Qt::Horizontal);
  auto *inner = new DockSplitter(Qt::Vertical);
  auto *lone = new DockTab(-1);
  lone->insert_child(0, make_dock("C"));
  inner->insert_child(0, make_dock("A"));
  inner->insert_child(1, make_dock("B"));
  inner->insert_child(2, lone);
  middle->insert_child(0, inner);
  outer->insert_child(0, middle);
  area->set_root(outer);
  EXPECT_EQ(shape(), "H[H[V[A,B,T[C]]]]");
  area->tidy();
  EXPECT_EQ(shape(), "V[A,B,C]");
  area->tidy();
  EXPECT_EQ(shape(), "V[A,B,C]");
}

// The focus widget keeps the focus when the pass moves its dock.
TEST_F(DockTree, TheFocusSurvivesTheCleanUpPass)
{
  auto *editor = new QLineEdit;
  editor->setWindowTitle("Editor");
  DockWidget *e = test_app().get_widget_factory()->new_dock_widget(editor, 0);
  DockWidget *x = make_dock("X");
  area->dock_at_edge(x, dock_edge_right);
  area->split_dock(e, x, dock_edge_bottom);
  DockWidget *t = make_dock("T");
  area->tabify_dock(t, e, false, -1);
  area->activate_dock(e, 1);
  ASSERT_EQ(QApplication::focusWidget(), editor);
  DockArea::detach_docked(t);
  EXPECT_EQ(shape(), "V[X,Editor]");
  EXPECT_EQ(QApplication::focusWidget(), editor);
}

TEST_F(DockTree, FindDockViewMatchesLeavesThenJoinedGroupTitles)
{
  DockWidget *x = make_dock("X");
  DockWidget *a = make_dock("A");
  area->dock_at_edge(x, dock_edge_right);
  area->split_dock(a, x, dock_edge_right);
  BaseDockWidget *group = area->tabify_dock(make_dock("B"), a, false, -1);
  DockWidget *floating = make_dock("F");
  area->float_dock(floating, nullptr, false);

  struct
  {
    const char *title;
    const BaseDockWidget *found;
  } const cases[] = {
    {"A", a}, {"A, B", group}, {"X, A, B", area->root()}, {"F", floating}, {"", nullptr}, {"Q", nullptr},
    {"B, A", nullptr},
  };
  for ( const auto &c : cases )
    EXPECT_EQ(area->findDockView(c.title), c.found) << c.title;
  EXPECT_EQ(area->find_dock_widget("A, B"), nullptr);
  EXPECT_EQ(area->find_dock_widget("A"), a);
}

TEST_F(DockTree, CountsSkipHiddenDocksWhenAsked)
{
  EXPECT_EQ(area->countDockWidgets(false), 0);
  DockWidget *x = make_dock("X");
  DockWidget *a = make_dock("A");
  area->dock_at_edge(x, dock_edge_right);
  area->split_dock(a, x, dock_edge_right);
  BaseDockWidget *group = area->tabify_dock(make_dock("B"), a, false, -1);
  area->hide_dock(a);
  EXPECT_EQ(area->countDockWidgets(false), 3);
  EXPECT_EQ(area->countDockWidgets(true), 2);
  EXPECT_EQ(area->countDockWidgets(false, group), 2);
  EXPECT_EQ(area->countDockWidgets(true, group), 1);
}

// Hiding the last visible dock of a group hides the group; showing the path brings both back.
TEST_F(DockTree, HidingAndShowingFollowThePath)
{
  DockWidget *x = make_dock("X");
  DockWidget *a = make_dock("A");
  area->dock_at_edge(x, dock_edge_right);
  area->split_dock(a, x, dock_edge_right);
  BaseDockWidget *group = area->tabify_dock(make_dock("B"), a, false, -1);
  auto *b = static_cast<DockTab *>(group)->child_at(1);
  area->hide_dock(a);
  area->hide_dock(b);
  EXPECT_TRUE(group->hidden);
  EXPECT_FALSE(group->isVisible());
  area->show_dock_path(a, true);
  EXPECT_FALSE(group->hidden);
  EXPECT_TRUE(a->isVisible());
  EXPECT_EQ(static_cast<DockTab *>(group)->stack()->currentWidget(), a);
}

// The batch and notify depths come back down when an exception passes, and no pass runs then.
TEST_F(DockTree, CountersComeBackDownWhenAnExceptionPasses)
{
  const int batch = layout_batch_depth;
  const int notify = notify_depth;
  try
  {
    layout_batch_t outer_batch;
    notify_bracket_t bracket;
    throw std::runtime_error("in a batch");
  }
  catch ( const std::runtime_error & )
  {
  }
  EXPECT_EQ(layout_batch_depth, batch);
  EXPECT_EQ(notify_depth, notify);
}

TEST_F(DockTree, RaisingADockOutsideAnAreaDocksItAtTheRightEdge)
{
  DockWidget *x = make_dock("X");
  area->dock_at_edge(x, dock_edge_right);
  DockWidget *r = make_dock("R");
  area->raise_dock(r, 0);
  EXPECT_EQ(shape(), "H[X,R]");
  drag_state = drag_running;
  DockArea::hide_docked_widget(dock_content(r));
  EXPECT_FALSE(r->hidden);
  drag_state = drag_idle;
}

} // namespace
