// The application object's share of the docks: the top-level area, closing, hiding and raising hosted widgets.
#include "tests/support/interr_capture.h"
#include "tests/ui/dock_test_support.h"

#include <QLineEdit>

namespace {

using DockApp = DockFixture;

TEST_F(DockApp, TheTopLevelAreaIsInstalledOnce)
{
  EXPECT_EQ(interr_number([] { test_app().set_top_level_dock_area(nullptr); }), 2566);
  TopLevelDockArea second;
  EXPECT_EQ(interr_number([&] { test_app().set_top_level_dock_area(&second); }), 2566);
  EXPECT_EQ(test_app().top_level_dock_area(), area);
}

// A widget closing outside the trees hears event 2002, leaves its area and is deleted (later with flag 8).
class closing_listener_t : public QLabel
{
public:
  explicit closing_listener_t(int *heard) : heard_(heard) {}

protected:
  bool event(QEvent *event) override
  {
    if ( event->type() == QEvent::Type(2002) )
      ++*heard_;
    return QLabel::event(event);
  }

private:
  int *heard_;
};

TEST_F(DockApp, PlainWidgetsHearTheyCloseAndAreDeleted)
{
  int heard = 0;
  QPointer<QWidget> now(new closing_listener_t(&heard));
  test_app().close_plain_widget(now, 0);
  EXPECT_TRUE(now.isNull());
  EXPECT_EQ(heard, 1);

  auto *content = new closing_listener_t(&heard);
  content->setWindowTitle("Later");
  QPointer<DockWidget> dock(test_app().get_widget_factory()->new_dock_widget(content, 0));
  area->dock_at_edge(dock, dock_edge_right);
  test_app().close_plain_widget(dock, 8);
  EXPECT_EQ(heard, 2);
  EXPECT_EQ(area->root(), nullptr);
  ASSERT_FALSE(dock.isNull());
  settle_events();
  EXPECT_TRUE(dock.isNull());
}

TEST_F(DockApp, HostedWidgetsCloseHideAndRaiseThroughTheirDocks)
{
  QWidget *content_a = nullptr;
  DockWidget *a = make_dock("A", &content_a);
  DockWidget *b = make_dock("B");
  area->dock_at_edge(a, dock_edge_right);
  area->split_dock(b, a, dock_edge_right);

  test_app().hide_hosted_widget(content_a);
  EXPECT_TRUE(a->hidden);
  EXPECT_TRUE(test_app().raise_widget_dock(content_a, true));
  EXPECT_FALSE(a->hidden);
  EXPECT_EQ(QApplication::focusWidget(), content_a);
  QLabel loose;
  EXPECT_FALSE(test_app().raise_widget_dock(&loose, false));

  test_app().close_hosted_widget(content_a, 0);
  EXPECT_TRUE(a->hidden);
  EXPECT_EQ(area->countDockWidgets(true), 1);

  // A dock in no area and no container goes the plain way.
  QPointer<DockWidget> loose_dock(make_dock("Loose"));
  test_app().close_hosted_widget(loose_dock, 0);
  EXPECT_TRUE(loose_dock.isNull());
}

TEST_F(DockApp, UpdatesAreSwitchedForTheTopLevelAreaAndItsFloatingWindows)
{
  DockArea *floating = area->float_dock(make_dock("F"), nullptr, false);
  floating->set_updates_enabled_all(false);
  EXPECT_FALSE(area->updatesEnabled());
  EXPECT_FALSE(floating->updatesEnabled());
  area->set_updates_enabled_all(true);
  EXPECT_TRUE(area->updatesEnabled());
  EXPECT_TRUE(floating->updatesEnabled());
}

} // namespace
