// Login, site switch, connection information, the "logon"/"logoff" actions, the application's answer to the
// facade's events, and reconnection, in the started client against the test server over TLS.
#include "client/app/login.h"

#include "client/app/akui_app.h"
#include "client/app/akui_main_window.h"
#include "client/app/client_actions.h"
#include "client/app/client_config.h"
#include "core/registry.h"
#include "repo/arkive_errors.h"
#include "repo/connection_factory.h"
#include "repo/login_credentials.h"
#include "tests/client/client_session.h"
#include "tests/repo/test_server_client.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/event_pump.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QDialog>
#include <QLabel>

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

akui_app_t &app()
{
  return *client_session().app;
}

arkive_credentials_t &defaults()
{
  return client_config().default_credentials;
}

std::string str(const qstring &text)
{
  return std::string(text.view());
}

std::vector<std::string> status_texts()
{
  std::vector<std::string> texts;
  for ( int i = 0; i < akui_main_window_t::status_label_count; ++i )
    texts.push_back(client_session().window->status_label(i)->text().toStdString());
  return texts;
}

// What the user does with one Connect form: the fields typed (null: left as shown) and the answer.
struct connect_answer_t
{
  const char *server = nullptr;
  const char *user = nullptr;
  const char *password = nullptr;
  bool save = false;
  int64_t result = 1;
};

// Plays one Connect form: records the server and user it showed and types the answer's fields.
recording_ui_callback_t::form_player_t play_connect(connect_answer_t answer, std::vector<std::string> *shown)
{
  return [answer, shown](const char *, va_list args) -> int64_t {
    va_arg(args, void *); // the form's callback
    va_arg(args, void *); // caller data
    qstring *server = va_arg(args, qstring *);
    qstring *user = va_arg(args, qstring *);
    qstring *password = va_arg(args, qstring *);
    auto *boxes = va_arg(args, uint16_t *);
    if ( shown != nullptr )
      shown->push_back(str(*server) + " " + str(*user));
    if ( answer.server != nullptr )
      *server = answer.server;
    if ( answer.user != nullptr )
      *user = answer.user;
    if ( answer.password != nullptr )
      *password = answer.password;
    *boxes = uint16_t(answer.save ? 2 : 0);
    return answer.result;
  };
}

// Records the events the facade sends to the handlers linked after the application.
class event_log_t : public event_handler_t
{
public:
  void *handle(uint64_t code, va_list) override
  {
    codes.push_back(code);
    return nullptr;
  }
  std::vector<uint64_t> codes;
};

class login_test_t : public test_server_fixture_t
{
protected:
  void SetUp() override
  {
    test_server_fixture_t::SetUp();
    app().set_connection(nullptr);
    app().find_results.clear();
    defaults() = arkive_credentials_t();
    defaults().host = "127.0.0.1";
    defaults().port = server.tls_port();
    defaults().user = "alice";
    set_store_credentials_flag(false);
    ASSERT_TRUE(app().facade.add_handler(&later));
  }
  void TearDown() override
  {
    // Queued calls of this test (a lost connection) run while its callback still answers.
    pump_for(20ms);
    app().set_connection(nullptr);
    defaults() = arkive_credentials_t();
  }

  static void pump_for(std::chrono::milliseconds span)
  {
    (void)pump_until([] { return false; }, span);
  }

  std::string target() const { return "127.0.0.1:" + std::to_string(server.tls_port()); }

  // Saves alice's login with the password in the store and the site as her default site.
  void save_login(const char *password, const char *site)
  {
    arkive_credentials_t saved = defaults();
    saved.password = password;
    saved.site = site;
    qstring error;
    ASSERT_TRUE(saved.save(&error)) << error.c_str();
    set_store_credentials_flag(true);
  }

  std::optional<std::string> stored_default_site()
  {
    arkive_credentials_t stored = defaults();
    stored.site = "?";
    if ( !stored.load_default_site() )
      return std::nullopt;
    return str(stored.site);
  }

  // Logs alice in without a dialog, with site ws in use.
  void log_in()
  {
    save_login("secret", "ws");
    defaults() = arkive_credentials_t();
    load_saved_credentials(&defaults());
    ASSERT_TRUE(app().perform_login(true));
    ASSERT_TRUE(app().facade.is_usable());
    ui.clear();
  }

  std::vector<std::string> texts_of(int32_t code) const
  {
    std::vector<std::string> texts;
    for ( const ui_request_record_t &request : ui.requests_of(code) )
      texts.push_back(request.text);
    return texts;
  }

  // No request to the user interface, no status label, shows a text containing the password.
  void expect_never_shown(const char *password) const
  {
    for ( const ui_request_record_t &request : ui.requests() )
      EXPECT_EQ(request.text.find(password), std::string::npos) << request.text;
    for ( const std::string &label : status_texts() )
      EXPECT_EQ(label.find(password), std::string::npos) << label;
  }

  recording_ui_callback_t ui;
  event_log_t later;
};

TEST_F(login_test_t, a_first_start_with_a_stored_password_logs_in_without_a_dialog)
{
  save_login("secret", "ws");
  // The start's login data: the saved login (with its default site) and the environment.
  defaults() = arkive_credentials_t();
  load_saved_credentials(&defaults());
  ASSERT_EQ(str(defaults().site), "ws");

  EXPECT_TRUE(app().perform_login(true));
  EXPECT_TRUE(ui.requests_of(ui_code_form_dialog).empty()) << "no Connect dialog";
  EXPECT_TRUE(ui.requests_of(ui_code_message).empty());
  EXPECT_EQ(texts_of(ui_code_log), (std::vector<std::string>{"Connected to " + target() + "\n", "Using local site ws\n"}));
  EXPECT_TRUE(app().facade.is_usable());
  EXPECT_EQ(str(app().server_text), target());
  EXPECT_EQ(status_texts(), (std::vector<std::string>{"Server: " + target(),
                                                      "Client: " + str(app().computer_name_text()), "User: alice",
                                                      "Local site: ws", "Root directory: " + site_root}));
  EXPECT_EQ(str(app().current_site_name()), "ws");
  EXPECT_EQ(later.codes, (std::vector<uint64_t>{arkive_event_connected, arkive_event_site_switched}));
  expect_never_shown("secret");
}

TEST_F(login_test_t, a_refused_login_warns_and_shows_the_dialog_again)
{
  struct row_t
  {
    const char *name;
    const char *user;
    const char *password;
    bool server_gone;
  };
  const row_t rows[] = {
    {"wrong password", "alice", "nope", false},
    {"unknown user", "carol", "secret", false},
    {"unreachable server", "alice", "secret", true},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.name);
    ui.clear();
    later.codes.clear();
    defaults().user = row.user;
    save_login(row.password, "");
    if ( row.server_gone )
      server.stop();
    std::vector<std::string> shown;
    ui.script_form(play_connect({nullptr, nullptr, row.password, true, 1}, &shown));
    ui.script_form(play_connect({nullptr, nullptr, nullptr, false, 0}, &shown));

    EXPECT_FALSE(app().perform_login(true));
    EXPECT_EQ(shown, (std::vector<std::string>(2, target() + " " + row.user))) << "shown again after the warning";
    const auto warnings = ui.requests_of(ui_code_message);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].kind, msg_kind_warning);
    const std::string head = "Login to " + target() + " failed:\n";
    EXPECT_EQ(warnings[0].text.substr(0, head.size()), head);
    // The reason is the server's text of its refusal (this server gives none), or the stream's.
    if ( row.server_gone )
    {
      EXPECT_GT(warnings[0].text.size(), head.size()) << "with the reason";
    }
    EXPECT_TRUE(texts_of(ui_code_log).empty()) << "the failed automatic attempt says nothing of its own";
    EXPECT_EQ(app().facade.connection(), nullptr);
    EXPECT_TRUE(later.codes.empty());
    expect_never_shown(row.password);
  }
}

TEST_F(login_test_t, cancelling_the_dialog_keeps_the_previous_connection)
{
  log_in();
  const arkive_connection_t *before = app().facade.connection();
  const std::vector<std::string> labels = status_texts();
  ui.script_form(play_connect({nullptr, "bob", "builder", false, 0}, nullptr));
  EXPECT_FALSE(app().perform_login(false));
  EXPECT_EQ(app().facade.connection(), before);
  EXPECT_TRUE(app().facade.is_usable());
  EXPECT_EQ(status_texts(), labels);
  EXPECT_EQ(str(defaults().user), "alice");
  EXPECT_EQ(str(defaults().site), "ws");
}

TEST_F(login_test_t, the_dialog_login_takes_the_entered_credentials_and_the_remembered_site)
{
  // No password anywhere: the first login asks, and says why it could not do without.
  defaults().save_default_site("ws");
  std::vector<std::string> shown;
  ui.script_form(play_connect({nullptr, nullptr, "secret", true, 1}, &shown));
  EXPECT_TRUE(app().perform_login(true));
  ASSERT_EQ(shown.size(), 1u);
  const std::vector<std::string> logs = texts_of(ui_code_log);
  ASSERT_EQ(logs.size(), 3u);
  EXPECT_EQ(logs[0].substr(0, 28), "Failed to retrieve password:");
  EXPECT_EQ(logs[1], "Connected to " + target() + "\n");
  EXPECT_EQ(logs[2], "Using local site ws\n");
  EXPECT_EQ(str(defaults().site), "ws");
  EXPECT_NE(defaults().flags & credentials_save, 0u);
  EXPECT_EQ(stored_default_site(), "ws") << "remembered while credentials are saved";
  EXPECT_TRUE(defaults().password.empty()) << "the typed password is not kept";
  expect_never_shown("secret");

  // Another user through "logon": no remembered site, and none of the guessed name on the server.
  ui.clear();
  ui.script_form(play_connect({nullptr, "bob", "builder", false, 1}, &shown));
  EXPECT_TRUE(app().perform_login(false));
  EXPECT_EQ(str(defaults().user), "bob");
  EXPECT_TRUE(defaults().site.empty());
  EXPECT_EQ(texts_of(ui_code_log), std::vector<std::string>{"Connected to " + target() + "\n"});
  EXPECT_TRUE(ui.requests_of(ui_code_message).empty()) << "the guessed site fails quietly";
  EXPECT_EQ(status_texts()[2], "User: bob");
  EXPECT_EQ(status_texts()[3], "Local site: ");
}

TEST_F(login_test_t, the_remembered_site_follows_each_switch)
{
  struct row_t
  {
    const char *name;
    const char *site;
    bool quiet;
    bool saving;
    std::function<void(arkive_test_server_t &)> prepare;
    bool switched;
    std::optional<std::string> remembered;
    const char *warning; // null: none
    const char *log;     // the beginning of the one log line; null: none
  };
  const auto fault_on_use_site = [](arkive_test_server_t &s) {
    server_fault_t wrong;
    wrong.action = server_fault_t::wrong_reply_type;
    wrong.on_type = USE_SITE;
    s.add_fault(wrong);
  };
  const row_t rows[] = {
    {"success while saving", "ws", false, true, {}, true, "ws", nullptr, "Using local site ws\n"},
    {"success without saving", "ws", false, false, {}, true, std::nullopt, nullptr, "Using local site ws\n"},
    {"unknown site, quiet", "nosuch", true, true, {}, false, std::nullopt, nullptr, nullptr},
    {"unknown site", "nosuch", false, true, {}, false, std::nullopt,
     "Failed to switch to local site\nsite 'nosuch' not found", nullptr},
    {"no connection (53)", "ws", false, true, [](arkive_test_server_t &) { app().set_connection(nullptr); }, false, "old",
     nullptr, "Disconnected from the server: "},
    {"unexpected reply (47)", "ws", false, true, fault_on_use_site, false, "old", "Failed to switch to local site\nbad packet 10",
     nullptr},
  };
  log_in();
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.name);
    if ( !app().facade.is_usable() )
      log_in();
    defaults().save_default_site("old");
    set_store_credentials_flag(row.saving);
    if ( row.prepare )
      row.prepare(server);
    ui.clear();
    EXPECT_EQ(app().use_local_site(row.site, row.quiet), row.switched);
    EXPECT_EQ(stored_default_site(), row.remembered);
    EXPECT_EQ(texts_of(ui_code_message),
              row.warning != nullptr ? std::vector<std::string>{row.warning} : std::vector<std::string>{});
    const std::vector<std::string> logs = texts_of(ui_code_log);
    if ( row.log == nullptr )
    {
      EXPECT_TRUE(logs.empty());
    }
    else
    {
      ASSERT_EQ(logs.size(), 1u);
      EXPECT_EQ(logs[0].substr(0, std::strlen(row.log)), row.log);
    }
    EXPECT_EQ(str(defaults().site), row.switched ? row.site : "ws");
  }
}

TEST_F(login_test_t, status_labels_show_the_connection_no_info_or_disconnected)
{
  log_in();
  EXPECT_EQ(status_texts()[0], "Server: " + target());

  server_fault_t wrong;
  wrong.action = server_fault_t::wrong_reply_type;
  wrong.on_type = GET_ARKIVE_INFO;
  server.add_fault(wrong);
  app().connection_info();
  EXPECT_EQ(status_texts(), (std::vector<std::string>{"No info", "", "", "", ""}));
  EXPECT_TRUE(app().current_site_name().empty()) << "no stale site once the server cannot say";

  app().set_connection(nullptr);
  app().connection_info();
  EXPECT_EQ(status_texts(), (std::vector<std::string>{"Disconnected", "", "", "", ""}));
}

TEST_F(login_test_t, logoff_and_logon_change_the_connection_and_their_own_states)
{
  ui_action_t *logon = find_ui_action("logon");
  ui_action_t *logoff = find_ui_action("logoff");
  ASSERT_NE(logon, nullptr);
  ASSERT_NE(logoff, nullptr);
  log_in();
  EXPECT_FALSE(logon->qaction()->isEnabled());
  EXPECT_TRUE(logoff->qaction()->isEnabled());

  arkive_file_info_t found;
  found.path = "//depot/a.txt";
  app().find_results.push_back(found);
  later.codes.clear();
  EXPECT_TRUE(trigger_ui_action(logoff));
  EXPECT_EQ(later.codes, std::vector<uint64_t>{arkive_event_disconnected}) << "a handler after the application";
  EXPECT_TRUE(app().find_results.empty());
  EXPECT_EQ(app().facade.connection(), nullptr);
  EXPECT_EQ(app().facade.get_users(nullptr), ARKIVE_DISCONNECTED);
  EXPECT_EQ(status_texts()[0], "Disconnected");
  EXPECT_TRUE(logon->qaction()->isEnabled());
  EXPECT_FALSE(logoff->qaction()->isEnabled());
  EXPECT_EQ(logoff->state(), ACTION_STATE_NO_CONNECTION);

  ui.script_form(play_connect({nullptr, nullptr, "secret", false, 1}, nullptr));
  EXPECT_TRUE(trigger_ui_action(logon));
  EXPECT_TRUE(app().facade.is_usable());
  EXPECT_EQ(status_texts()[3], "Local site: ws");
  EXPECT_FALSE(logon->qaction()->isEnabled());
  EXPECT_TRUE(logoff->qaction()->isEnabled());
}

TEST_F(login_test_t, the_application_answers_each_event_on_its_caches)
{
  struct row_t
  {
    uint64_t code;
    bool clears_find_results;
    bool opened_files_stale;
    bool refreshes_arkive_files;
  };
  const row_t rows[] = {
    {0, true, true, false},   {1, false, true, true},   {2, false, false, true},  {3, false, true, false},
    {4, false, true, false},  {5, false, true, false},  {6, false, true, false},  {7, false, true, false},
    {8, false, true, false},  {9, false, true, false},  {10, false, true, true},  {11, false, false, true},
    {12, false, false, false}, {13, true, true, false}, {14, false, false, false}, {99, false, false, false},
  };
  log_in();
  site_info_t site;
  site.name = "ws";
  const qvector<qstring> paths;
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.code);
    (void)app().opened_file("//depot/a.txt"); // the opened files are known now
    arkive_file_info_t found;
    app().find_results.push_back(found);
    app().refresh_widgets(all_widget_kinds, false);
    later.codes.clear();
    server.clear_received();

    switch ( row.code )
    {
      case arkive_event_site_switched:
        app().facade.notify(row.code, 0, static_cast<const site_info_t *>(&site));
        break;
      case arkive_event_merge_finished:
        app().facade.notify(row.code, 0, "//depot/a.txt");
        break;
      case arkive_event_connected:
        app().facade.notify(row.code, "example.org:1");
        break;
      case arkive_event_disconnected:
        app().facade.notify(row.code);
        break;
      default:
        app().facade.notify(row.code, 0, &paths, 1);
        break;
    }
    EXPECT_EQ(later.codes, std::vector<uint64_t>{row.code}) << "a handler linked after the application";
    EXPECT_EQ(app().find_results.empty(), row.clears_find_results);
    EXPECT_EQ((app().pending_refresh_mask() & 1) != 0, row.refreshes_arkive_files);
    server.clear_received();
    (void)app().opened_file("//depot/a.txt");
    bool fetched = false;
    for ( const recorded_frame_t &frame : server.received() )
      fetched = fetched || frame.type == GET_WORKLIST_FILES;
    EXPECT_EQ(fetched, row.opened_files_stale);
    app().find_results.clear();
  }
  EXPECT_EQ(str(app().server_text), "example.org:1");
  app().facade.notify(arkive_event_connected, static_cast<const char *>(nullptr));
  EXPECT_TRUE(app().server_text.empty());
  app().refresh_widgets(all_widget_kinds, false);
}

TEST_F(login_test_t, the_opened_files_are_looked_up_byte_for_byte)
{
  log_in();
  qvector<qstring> paths;
  paths.push_back("//depot/a.txt");
  ASSERT_EQ(app().facade.edit_files(paths, 1), 0);
  const worklist_file_t *opened = app().opened_file("//depot/a.txt");
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->action, 3);
  EXPECT_EQ(app().opened_file("//depot/A.txt"), nullptr);
  EXPECT_EQ(app().opened_file("//depot/b.txt"), nullptr);
}

//--------------------------------------------------------------------------
// Reconnection.

TEST_F(login_test_t, a_dropped_stream_reconnects_once_and_the_request_goes_through)
{
  log_in();
  const int before = server.connections();
  server_fault_t drop;
  drop.on_type = GET_USERS;
  server.add_fault(drop);
  qvector<user_info_t> users;
  EXPECT_EQ(app().facade.get_users(&users), 0);
  EXPECT_FALSE(users.empty());
  EXPECT_EQ(server.connections(), before + 1);
  const std::vector<std::string> logs = texts_of(ui_code_log);
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_NE(logs[0].find(". Reconnecting...\n"), std::string::npos) << logs[0];
  EXPECT_EQ(logs[1], "Reconnected to " + target() + "; using local site 'ws'\n");
  EXPECT_TRUE(app().facade.is_usable());
  pump_for(50ms);
  EXPECT_TRUE(ui.requests_of(ui_code_form_dialog).empty()) << "nothing given up";
}

TEST_F(login_test_t, a_server_that_stays_away_brings_the_connect_dialog_back)
{
  log_in();
  QDialog open_dialog(client_session().window);
  open_dialog.show();
  ASSERT_TRUE(open_dialog.isVisible());

  // Lost again after the one reconnection: the request gives up.
  server_fault_t drop;
  drop.on_type = GET_USERS;
  server.add_fault(drop);
  server.add_fault(drop);
  ui.script_form(play_connect({nullptr, nullptr, nullptr, false, 0}, nullptr));
  EXPECT_EQ(app().facade.get_users(nullptr), ARKIVE_DISCONNECTED);
  EXPECT_FALSE(open_dialog.isVisible());
  EXPECT_EQ(open_dialog.result(), -1);
  ASSERT_NE(app().facade.connection(), nullptr) << "not deleted inside its own request";
  EXPECT_FALSE(app().facade.is_usable());
  EXPECT_EQ(app().facade.edit_files({}, 1), ARKIVE_DISCONNECTED);
  EXPECT_TRUE(ui.requests_of(ui_code_form_dialog).empty()) << "the dialog waits for the queued call";
  const std::vector<std::string> logs = texts_of(ui_code_log);
  ASSERT_GE(logs.size(), 2u);
  EXPECT_EQ(logs[1], "Reconnected to " + target() + "; using local site 'ws'\n");

  app().refresh_widgets(all_widget_kinds, false);
  ASSERT_TRUE(pump_until([this] { return !ui.requests_of(ui_code_form_dialog).empty(); }, 5s));
  EXPECT_EQ(app().facade.connection(), nullptr);
  EXPECT_EQ(app().pending_refresh_mask(), all_widget_kinds) << "every view is dirty";
  app().refresh_widgets(all_widget_kinds, false);
}

//--------------------------------------------------------------------------
// Connections from credentials, and the default site name.

// A factory that refuses its settings; logging in through it never reaches a server.
class refusing_factory_t : public arkive_connection_factory_t
{
public:
  explicit refusing_factory_t(bool refuse_reset) : refuse_reset_(refuse_reset) {}
  bool configure(qstring *error, const arkive_credentials_t &) override
  {
    *error = "port 99999 out of range";
    return false;
  }
  bool reset(qstring *error, const arkive_credentials_t &) override
  {
    if ( refuse_reset_ )
      *error = "no settings";
    return !refuse_reset_;
  }
  std::unique_ptr<rpc_arkive_connection_t> connect_and_login(qstring *, const char *, const char *, abstract_fs_t *,
                                                             const char *, int) override
  {
    ADD_FAILURE() << "connected with refused settings";
    return nullptr;
  }
  int check_credentials(qstring *, user_info_t *, const char *, const char *) override { return 33; }
  std::unique_ptr<rpc_arkive_connection_t> open_connection(qstring *) override { return nullptr; }
  const arkive_credentials_t &credentials() const override { return settings_; }

private:
  bool refuse_reset_;
  arkive_credentials_t settings_;
};

TEST_F(login_test_t, refused_connection_settings_are_a_failed_login_not_the_end)
{
  const std::pair<bool, std::string> rows[] = {
    {true, "Error during reset of arkive connection parameters: no settings"},
    {false, "Couldn't parse server connection string: port 99999 out of range"},
  };
  for ( const auto &[refuse_reset, message] : rows )
  {
    SCOPED_TRACE(message);
    refusing_factory_t factory(refuse_reset);
    qstring error;
    bool refused = false;
    EXPECT_EQ(connect_to_server(&error, factory, defaults(), &refused), nullptr);
    EXPECT_EQ(str(error), message);
    EXPECT_TRUE(refused);

    // As the Connect dialog's validator: the warning, and the dialog asks again.
    ui.clear();
    std::unique_ptr<rpc_arkive_connection_t> made;
    validator_t validator(factory, &made);
    ui.script_form(play_connect({nullptr, nullptr, "secret", false, 1}, nullptr));
    arkive_credentials_t entered = defaults();
    EXPECT_EQ(entered.run_connect_dialog(&validator, nullptr, 0), 2);
    EXPECT_EQ(texts_of(ui_code_message), std::vector<std::string>{"Login to " + target() + " failed:\n" + message});
    EXPECT_EQ(made, nullptr);
  }
}

TEST(propose_site_name, names_the_first_site_after_user_and_host)
{
  struct row_t
  {
    const char *user;
    const char *host;
    const char *name; // null: no proposal
  };
  const std::string long_user(70, 'u');
  const std::string cut = std::string(64, 'u');
  const row_t rows[] = {
    {"ann", "build7.example.org", "ann_build7"},
    {"ann", "build7", "ann_build7"},
    {"ann", "localhost", nullptr},
    {"ann", "LocalHost7.lan", nullptr},
    {"ann", ".example.org", nullptr},
    {"ann", "", nullptr},
    {"j.doe", "my host", "j_doe_my_host"},
    {"7up", "b-1", "_up_b-1"},
    {"-x", "h", "_x_h"},
    {"\xc3\xa9lise", "caf\xc3\xa9", "_lise_caf_"},
    {"ann", "\xff\xfe", "ann___"},
    {long_user.c_str(), "host", cut.c_str()},
  };
  for ( const row_t &row : rows )
  {
    qstring name = "untouched";
    EXPECT_EQ(propose_site_name(&name, row.user, row.host), row.name != nullptr) << row.user << "@" << row.host;
    EXPECT_EQ(str(name), row.name != nullptr ? row.name : "untouched") << row.user << "@" << row.host;
  }
}

} // namespace
