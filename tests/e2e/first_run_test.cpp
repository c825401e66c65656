// A new user's first runs of akui: the Connect dialog, the login over TLS with the saved credentials, the site
// the server proposes for this computer, logging off and on, quitting and starting again without a dialog; and
// the failures a user meets at the door: the server down, a wrong password.
#include "repo/rpc_packet.h"
#include "tests/e2e/akui_run.h"

namespace {

using namespace std::chrono_literals;

const QString connect_title = QStringLiteral("Connect to server");

class FirstRun : public akui_run_t
{
protected:
  // Fills the Connect dialog as a user does and presses Enter.
  void log_in(const std::string &endpoint, const std::string &user, const std::string &password, bool save)
  {
    const std::unique_ptr<shown_window_t> dialog = wait_window(connect_title);
    ASSERT_NE(dialog, nullptr);
    const std::vector<const shown_widget_t *> combos = dialog->all("QComboBox");
    ASSERT_GE(combos.size(), 2u) << screen().visible_texts();
    const shown_widget_t *password_field = nullptr;
    for ( const shown_widget_t *edit : dialog->all("QLineEdit") )
      if ( !combos[0]->rect.contains(edit->rect) && !combos[1]->rect.contains(edit->rect) )
      {
        password_field = edit;
        break;
      }
    ASSERT_NE(password_field, nullptr);
    type_into(*combos[0], endpoint);
    type_into(*combos[1], user);
    type_into(*password_field, password);
    const shown_widget_t *save_box = dialog->find("QCheckBox", "Save the credentials");
    ASSERT_NE(save_box, nullptr);
    if ( save_box->checked != save )
      click(*save_box);
    step("connect-dialog-filled");
    press({"Return"});
  }
};

TEST_F(FirstRun, LogsInSavesTheLoginLogsOffAndOnAndStartsAgainWithoutADialog)
{
  start_akui();
  ASSERT_NO_FATAL_FAILURE(log_in(server_endpoint(), "alice", "secret", true));
  ASSERT_TRUE(wait_received(USE_SITE, "the switch to the proposed site"));
  ASSERT_TRUE(wait_for("the main window", [](const shown_screen_t &shown) {
    return shown.window_of_class(main_window_class) != nullptr && shown.window(connect_title) == nullptr;
  }));
  ASSERT_TRUE(status_shows("Local site: " + site_name));
  step("logged-in");

  // Log off: the status says so; log on: the Connect dialog comes filled with the saved login.
  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Disconnect"));
  ASSERT_TRUE(status_shows("Disconnected"));
  step("logged-off");
  server.clear_received();
  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Connect"));
  const std::unique_ptr<shown_window_t> dialog = wait_window(connect_title);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->all("QComboBox")[1]->text, "alice");
  step("reconnect-dialog");
  press({"Return"});
  ASSERT_TRUE(wait_received(USE_SITE, "the switch back to the site"));
  ASSERT_TRUE(status_shows("Local site: " + site_name));

  // Quit from the File menu; the next start logs in without a dialog and shows the same desktop.
  const auto docks = [](const shown_screen_t &shown) {
    std::vector<std::string> titles;
    if ( const shown_window_t *main = shown.window_of_class(main_window_class) )
      for ( const shown_widget_t &widget : main->widgets )
        if ( widget.kind == "QDockWidget" )
          titles.push_back(widget.text.toStdString());
    return titles;
  };
  const std::vector<std::string> before = docks(screen());
  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Exit"));
  ASSERT_EQ(wait_akui_exit(), 0) << akui->output();

  server.clear_received();
  start_akui();
  ASSERT_TRUE(wait_received(USE_SITE, "the login with the saved credentials"));
  ASSERT_TRUE(wait_for("the restored desktop", [&](const shown_screen_t &shown) {
    return shown.window(connect_title) == nullptr && docks(shown) == before;
  }));
  EXPECT_TRUE(received(LOGIN));
  step("started-again");
  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Exit"));
  EXPECT_EQ(wait_akui_exit(), 0) << akui->output();
}

TEST_F(FirstRun, AWrongPasswordWarnsAndAsksAgain)
{
  start_akui();
  ASSERT_NO_FATAL_FAILURE(log_in(server_endpoint(), "alice", "wrong", false));
  // The warning box comes over the dialog; the user reads it and presses Enter.
  ASSERT_TRUE(wait_for("the login warning", [](const shown_screen_t &shown) {
    for ( const shown_window_t &window : shown.windows )
      for ( const shown_widget_t *label : window.all("QLabel") )
        if ( label->text.contains("failed") )
          return window.active;
    return false;
  }));
  step("login-failed");
  press({"Return"});
  ASSERT_NO_FATAL_FAILURE(log_in(server_endpoint(), "alice", "secret", false));
  ASSERT_TRUE(wait_received(USE_SITE, "the switch to the site after the right password"));
  step("logged-in");
  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Exit"));
  EXPECT_EQ(wait_akui_exit(), 0) << akui->output();
}

TEST_F(FirstRun, TheServerDownAtStartWarnsAndTheLoginSucceedsOnceItIsUp)
{
  const uint16_t tcp = server.tcp_port();
  const uint16_t tls = server.tls_port();
  server.stop();
  start_akui();
  ASSERT_NO_FATAL_FAILURE(log_in("127.0.0.1:" + std::to_string(tls), "alice", "secret", false));
  ASSERT_TRUE(wait_for("the login warning", [](const shown_screen_t &shown) {
    for ( const shown_window_t &window : shown.windows )
      for ( const shown_widget_t *label : window.all("QLabel") )
        if ( label->text.contains("failed") )
          return window.active;
    return false;
  }));
  step("server-down");
  press({"Return"});
  std::string error;
  ASSERT_TRUE(server.start(&error, tcp, tls)) << error;
  ASSERT_NO_FATAL_FAILURE(log_in("127.0.0.1:" + std::to_string(tls), "alice", "secret", false));
  ASSERT_TRUE(wait_received(USE_SITE, "the switch to the site once the server is up"));
  step("logged-in");
  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Exit"));
  EXPECT_EQ(wait_akui_exit(), 0) << akui->output();
}

} // namespace
