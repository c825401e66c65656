// The client's default desktop on a real display: applied, a dock floated, a dock full screen and back.
#include "tests/ui/app/screenshots.h"
#include "tests/ui/desktop_test_support.h"
#include "ui/docks/dock_drag_title.h"

#include <QPushButton>
#include <QtTest/QTest>

namespace {

class DesktopOnDisplay : public DesktopFixture
{
};

TEST_F(DesktopOnDisplay, TheDefaultDesktopFloatsADockAndShowsOneFullScreen)
{
  apply_default();
  QWidget *main = test_app().main_window();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
  QTest::qWait(200);
  EXPECT_EQ(shape(), "V[H[T[Arkive files,Local files],T[Worklists,Commits]],Log]");
  EXPECT_EQ(QApplication::focusWidget(), view_of("Arkive files"));
  EXPECT_FALSE(save_screen_screenshot("1-default").isEmpty());

  // The Float button of "Log" takes it into a window of its own.
  QPointer<desktop_test_view_t> log(view_of("Log"));
  QTest::mouseClick(title_button(dock_of("Log"), "Float"), Qt::LeftButton);
  DockArea *floating = enclosing_dock_area(log);
  ASSERT_NE(floating, nullptr);
  ASSERT_TRUE(floating->is_floating());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(floating));
  QTest::qWait(200);
  EXPECT_EQ(shape(), "H[T[Arkive files,Local files],T[Worklists,Commits]]");
  EXPECT_FALSE(save_screen_screenshot("2-floated").isEmpty());
  save_screenshot(*floating, "2-floating-window");

  // "Commits" alone, full screen.
  QPointer<desktop_test_view_t> commits(view_of("Commits"));
  ASSERT_TRUE(test_app().enter_full_screen(dock_of("Commits")));
  QPointer<DockArea> full(enclosing_dock_area(commits));
  ASSERT_NE(full, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(full));
  QTest::qWait(300);
  // The display has no window manager to spread the window over the screen: its state says full screen.
  EXPECT_TRUE(full->windowState().testFlag(Qt::WindowFullScreen));
  EXPECT_EQ(full->countDockWidgets(false), 1);
  EXPECT_FALSE(full->drag_title()->exit_button->isHidden());
  EXPECT_FALSE(save_screen_screenshot("3-full-screen").isEmpty());
  save_screenshot(*full, "3-full-screen-window");

  // Its exit button brings the desktop back as it was, "Log" floating included.
  QTest::mouseClick(full->drag_title()->exit_button, Qt::LeftButton);
  settle_events();
  QTest::qWait(300);
  EXPECT_FALSE(test_app().is_full_screen());
  EXPECT_TRUE(full.isNull());
  EXPECT_EQ(shape(), "H[T[Arkive files,Local files],T[Worklists,Commits]]");
  ASSERT_FALSE(log.isNull());
  EXPECT_TRUE(enclosing_dock_area(log)->is_floating());
  EXPECT_EQ(view_of("Commits"), commits.data());
  EXPECT_FALSE(save_screen_screenshot("4-back").isEmpty());
}

} // namespace
