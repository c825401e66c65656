// Escape in the docked Output window, as TOOL_CLOSED_BY_ESC says, and nothing presented while a desktop is applied.
#include "client/app/akui_app.h"
#include "client/app/akui_main_window.h"
#include "client/app/client_config.h"
#include "client/app/startup.h"
#include "tests/client/client_session.h"
#include "tests/ui/app/event_pump.h"
#include "ui/docks/dock_widget.h"
#include "ui/log_widget.h"
#include "ui/ui_action_registry.h"

#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class EscapeRules : public testing::Test
{
protected:
  void SetUp() override
  {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  }
  void TearDown() override
  {
    apply_escape_rules(app, log, client_config());
    if ( !log->isVisible() )
      (void)trigger_ui_action(find_ui_action("open_log_widget"));
  }

  // Docks the Output window and presses Escape in it; answers whether it is still shown.
  bool escape_leaves_log_shown()
  {
    EXPECT_TRUE(trigger_ui_action(find_ui_action("open_log_widget")));
    EXPECT_TRUE(pump_until([&] { return log->isVisible(); }, 5s));
    EXPECT_NE(enclosing_dock_widget(log), nullptr);
    QWidget *target = log->focusProxy() != nullptr ? log->focusProxy() : log;
    QTest::keyClick(target, Qt::Key_Escape);
    QTest::qWait(20);
    EXPECT_EQ(app.log_widget(), log) << "the Output window survives its dock";
    return log->isVisible();
  }

  akui_app_t &app = *client_session().app;
  akui_main_window_t *window = client_session().window;
  log_widget_t *log = client_session().log;
};

TEST_F(EscapeRules, TheOutputWindowClosesOnEscapeOnlyWhenTheConfigurationSays)
{
  akui_client_config_t config = client_config();
  for ( const uint8_t closed_by_esc : {uint8_t(0), uint8_t(1)} )
  {
    SCOPED_TRACE(int(closed_by_esc));
    config.tool_closed_by_esc = closed_by_esc;
    apply_escape_rules(app, log, config);
    EXPECT_EQ(escape_leaves_log_shown(), closed_by_esc == 0);
  }
  // The dock may close on Escape: the application's own rule for every other dock stays off.
  EXPECT_FALSE(app.close_by_esc_default);
}

TEST_F(EscapeRules, WhileADesktopIsAppliedNothingIsPresented)
{
  QPointer<QWidget> view = new QWidget;
  view->setWindowTitle(QStringLiteral("Not yet"));
  app.applying_desktop = true;
  EXPECT_EQ(app.present_widget(view, nullptr), nullptr);
  app.applying_desktop = false;
  EXPECT_EQ(enclosing_dock_widget(view), nullptr);
  EXPECT_FALSE(view->isVisible());
  // Once the desktop stands, the same widget is docked.
  ASSERT_NE(app.present_widget(view, nullptr), nullptr);
  EXPECT_NE(enclosing_dock_widget(view), nullptr);
  app.close_hosted_widget(view, 0);
  QTest::qWait(20);
  delete view.data();
}

} // namespace
