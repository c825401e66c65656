// The application's handling of docks around desktops: saving the widgets' states, docks closed on request and
// by Escape, and full screen.
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/screenshots.h"
#include "tests/ui/desktop_test_support.h"
#include "ui/docks/dock_drag_title.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest/QTest>

namespace {

using DesktopDocks = DesktopFixture;

const char three_docks[] = R"({"layout":{"main":{"type":"hsplit","children":["Log","Commits","Worklists"]}}})";

TEST_F(DesktopDocks, SavingStatesClosesAllButPersistentAndKeptDocksLastFirst)
{
  ASSERT_TRUE(apply_text(three_docks));
  DockWidget *floating_dock = area->show_as_dock(new desktop_test_view_t("Users"), nullptr);
  ASSERT_TRUE(enclosing_dock_area(floating_dock)->is_floating());
  QPointer<desktop_test_view_t> log(view_of("Log"));
  QPointer<desktop_test_view_t> commits(view_of("Commits"));
  QPointer<desktop_test_view_t> worklists(view_of("Worklists"));
  QPointer<desktop_test_view_t> users(view_of("Users"));
  set_widget_close_flags(commits, close_flag_kept);
  set_widget_close_flags(worklists, close_flag_persistent);
  std::vector<QString> journal;
  desktop_test_view_t::journal = &journal;

  test_app().save_widget_states(false);
  EXPECT_EQ(journal, (std::vector<QString> {"save Log", "save Commits", "save Worklists", "save Users", "close Users",
                                            "close Log"}));
  EXPECT_TRUE(log.isNull());
  EXPECT_TRUE(users.isNull());
  EXPECT_EQ(shape(), "H[Commits,Worklists]");

  journal.clear();
  test_app().save_widget_states(true);
  EXPECT_EQ(journal, (std::vector<QString> {"save Commits", "save Worklists", "close Commits"}));
  EXPECT_TRUE(commits.isNull());
  ASSERT_FALSE(worklists.isNull());
  EXPECT_EQ(worklists->saves, 2);
  EXPECT_EQ(shape(), "H[Worklists]");
}

TEST_F(DesktopDocks, ClosedDocksAreDeletedAndPersistentOnesHidden)
{
  ASSERT_TRUE(apply_text(three_docks));
  QPointer<desktop_test_view_t> log(view_of("Log"));
  QPointer<desktop_test_view_t> worklists(view_of("Worklists"));
  set_widget_close_flags(worklists, close_flag_persistent);
  settle_events();

  QTest::mouseClick(title_button(dock_of("Log"), "Close"), Qt::LeftButton);
  EXPECT_EQ(log->saves, 1);
  EXPECT_EQ(log->closings, 1);
  EXPECT_EQ(shape(), "H[Commits,Worklists]"); // taken out at once, deleted later
  settle_events();
  EXPECT_TRUE(log.isNull());

  QTest::mouseClick(title_button(dock_of("Worklists"), "Close"), Qt::LeftButton);
  settle_events();
  ASSERT_FALSE(worklists.isNull());
  EXPECT_EQ(worklists->saves, 1);
  EXPECT_EQ(worklists->closings, 0);
  EXPECT_EQ(shape(), "H[Commits,Worklists*]");
}

// A floating window's close asks for the deletion of its docks twice; the second request finds them closed.
TEST_F(DesktopDocks, ClosingAFloatingWindowClosesEachDockOnce)
{
  ASSERT_TRUE(apply_text(R"({"layout":{"floating":[{"type":"tabs","children":["Log","Commits"]}]}})"));
  QPointer<desktop_test_view_t> log(view_of("Log"));
  QPointer<desktop_test_view_t> commits(view_of("Commits"));
  ASSERT_FALSE(log.isNull());
  set_widget_close_flags(commits, close_flag_persistent);
  QPointer<DockArea> floating(enclosing_dock_area(log));
  ASSERT_TRUE(floating->is_floating());
  QSignalSpy requests(area, &TopLevelDockArea::user_request_docks_deletion);

  EXPECT_TRUE(floating->close());
  EXPECT_EQ(requests.count(), 2);
  EXPECT_EQ(commits->saves, 1);
  EXPECT_EQ(commits->closings, 0);
  EXPECT_EQ(log->saves, 1);
  EXPECT_EQ(log->closings, 1);
  settle_events();
  EXPECT_TRUE(log.isNull());
  ASSERT_FALSE(commits.isNull());

  // Shown again later, the persistent dock can be closed again.
  area->raise_dock(enclosing_dock_widget(commits), 0);
  settle_events();
  ASSERT_FALSE(enclosing_dock_widget(commits)->hidden);
  test_app().close_hosted_widget(commits, 0);
  EXPECT_EQ(commits->saves, 2);
  EXPECT_TRUE(enclosing_dock_widget(commits)->hidden);
}

// Escape as a user presses it: the close flags of the widget (or its holder) decide, then the application's
// default.
TEST_F(DesktopDocks, EscapeClosesDocksAsTheirCloseFlagsSay)
{
  struct
  {
    const char *name;
    uint32_t flags;
    bool by_default;
    bool closes;
  } const cases[] = {
    {"0x80", close_flag_by_esc, false, true},
    {"0x80 and the default", close_flag_by_esc, true, true},
    {"0x100 against the default", close_flag_never_by_esc, true, false},
    {"the default", 0, true, true},
    {"no flags, no default", 0, false, false},
  };
  for ( const auto &c : cases )
  {
    ASSERT_TRUE(apply_text(three_docks));
    test_app().close_by_esc_default = c.by_default;
    QPointer<desktop_test_view_t> commits(view_of("Commits"));
    set_widget_close_flags(commits, c.flags);
    commits->setFocus();
    QTest::keyClick(commits, Qt::Key_Escape);
    settle_events();
    EXPECT_EQ(commits.isNull(), c.closes) << c.name;
    EXPECT_EQ(shape(), c.closes ? "H[Log,Worklists]" : "H[Log,Commits,Worklists]") << c.name;
    EXPECT_NE(view_of("Log"), nullptr) << c.name;
  }

  // The flags of a holder above the widget count; a key the widget takes does not close.
  ASSERT_TRUE(apply_text(three_docks));
  test_app().close_by_esc_default = false;
  QPointer<desktop_test_view_t> log(view_of("Log"));
  auto *editor = new QLineEdit(log);
  set_widget_close_flags(log, close_flag_by_esc);
  QTest::keyClick(editor, Qt::Key_A);
  EXPECT_FALSE(log.isNull());
  QTest::keyClick(editor, Qt::Key_Escape);
  settle_events();
  EXPECT_TRUE(log.isNull());

  // A dock receiving Escape itself consumes it; a widget in no dock is never the application's to close.
  test_app().close_by_esc_default = true;
  DockWidget *worklists = dock_of("Worklists");
  QTest::keyClick(worklists, Qt::Key_Escape);
  settle_events();
  EXPECT_EQ(shape(), "H[Commits,Worklists]");
  QPointer<QLineEdit> loose(new QLineEdit);
  set_widget_close_flags(loose, close_flag_by_esc);
  QTest::keyClick(loose, Qt::Key_Escape);
  settle_events();
  ASSERT_FALSE(loose.isNull());
  delete loose.data();
}

// ---- Full screen ---------------------------------------------------------------------------------------------------

TEST_F(DesktopDocks, FullScreenShowsOneDockAndLeavingRestoresTheDesktop)
{
  apply_default();
  const std::string before = saved_desktop_text();
  QPointer<desktop_test_view_t> commits(view_of("Commits"));
  QApplication::focusWidget()->clearFocus();
  EXPECT_FALSE(test_app().enter_full_screen(nullptr)); // no focused dock
  EXPECT_FALSE(test_app().is_full_screen());
  commits->setFocus();
  ASSERT_TRUE(test_app().enter_full_screen(nullptr));
  EXPECT_TRUE(test_app().is_full_screen());
  QPointer<DockArea> full(enclosing_dock_area(commits));
  ASSERT_NE(full, nullptr);
  EXPECT_TRUE(full->is_floating());
  EXPECT_TRUE(full->isFullScreen());
  EXPECT_EQ(full->countDockWidgets(false), 1);
  EXPECT_EQ(shape(), "V[H[T[Arkive files,Local files],Worklists],Log]");
  save_screenshot(*full, "full-screen");

  // A second entry restores the desktop first.
  QPointer<desktop_test_view_t> log(view_of("Log"));
  ASSERT_TRUE(test_app().enter_full_screen(dock_of("Log")));
  settle_events();
  EXPECT_TRUE(full.isNull());
  EXPECT_EQ(shape(), "H[T[Arkive files,Local files],T[Worklists,Commits]]");
  EXPECT_EQ(view_of("Commits"), commits.data()); // the same widgets came back
  EXPECT_TRUE(enclosing_dock_area(log)->isFullScreen());

  log->setFocus();
  ASSERT_TRUE(test_app().leave_full_screen());
  settle_events();
  EXPECT_FALSE(test_app().is_full_screen());
  EXPECT_FALSE(test_app().leave_full_screen());
  EXPECT_EQ(area->floating_areas().size(), 0);
  EXPECT_EQ(shape(), "V[H[T[Arkive files,Local files],T[Worklists,Commits]],Log]");
  EXPECT_EQ(QApplication::focusWidget(), log.data());
  EXPECT_EQ(view_of("Log"), log.data());
  view_of("Arkive files")->setFocus();
  EXPECT_EQ(saved_desktop_text(), before);
}

TEST_F(DesktopDocks, TheDocksButtonsEnterAndLeaveFullScreen)
{
  apply_default();
  settle_events();
  QPointer<desktop_test_view_t> log(view_of("Log"));
  QTest::mouseClick(title_button(dock_of("Log"), "Fullscreen"), Qt::LeftButton);
  ASSERT_TRUE(test_app().is_full_screen());
  DockArea *full = enclosing_dock_area(log);
  ASSERT_TRUE(full->isFullScreen());
  QTest::mouseClick(full->drag_title()->exit_button, Qt::LeftButton);
  settle_events();
  EXPECT_FALSE(test_app().is_full_screen());
  EXPECT_EQ(shape(), "V[H[T[Arkive files,Local files],T[Worklists,Commits]],Log]");

  // Closing the full-screen dock leaves full screen and raises the dock instead.
  QTest::mouseClick(title_button(dock_of("Log"), "Fullscreen"), Qt::LeftButton);
  ASSERT_TRUE(test_app().is_full_screen());
  test_app().close_hosted_widget(log, 0);
  settle_events();
  EXPECT_FALSE(test_app().is_full_screen());
  ASSERT_FALSE(log.isNull());
  EXPECT_EQ(log->closings, 0);
  EXPECT_FALSE(dock_of("Log")->hidden);
  EXPECT_EQ(shape(), "V[H[T[Arkive files,Local files],T[Worklists,Commits]],Log]");
  EXPECT_EQ(area->floating_areas().size(), 0);
}

TEST_F(DesktopDocks, SavingLeavesFullScreenFirst)
{
  apply_default();
  const desktop_config_t before = desktop_of(saved_desktop_text());
  ASSERT_TRUE(test_app().enter_full_screen(dock_of("Worklists")));
  // The user works in the full-screen window.
  QApplication::setActiveWindow(enclosing_dock_area(dock_of("Worklists")));
  view_of("Worklists")->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), view_of("Worklists"));
  const desktop_config_t saved = desktop_of(saved_desktop_text());
  EXPECT_FALSE(test_app().is_full_screen());
  EXPECT_EQ(text_of(*member_of(saved.value, "layout")), text_of(*member_of(before.value, "layout")));
}

} // namespace
