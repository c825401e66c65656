// Tests of the Connect form: the form request and its fields, the proxy fields that follow the use-proxy box,
// cancelling, a validator that refuses and a retry, and saving or forgetting the accepted login.
#include "repo/connect_form.h"

#include "core/registry.h"
#include "repo/credential_store.h"
#include "repo/login_credentials.h"
#include "tests/support/recording_ui_callback.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string str(const qstring &s)
{
  return std::string(s.view());
}

// The values of the form's fields, as the user sees and edits them.
struct connect_fields_t
{
  std::string server;
  std::string user;
  std::string password;
  uint16_t boxes = 0; // bit 0 use proxy, bit 1 save
  std::string proxy;
  std::string proxy_user;
  std::string proxy_password;
};

// The form engine's side of the open form: the use-proxy box and which fields are shown.
class fake_form_t : public form_actions_t
{
public:
  bool read_field_value(int field_id, void *out) override
  {
    if ( field_id != 10 || !readable )
      return false;
    *static_cast<uint16_t *>(out) = uint16_t(boxes & 1);
    return true;
  }
  bool show_field(int field_id, bool show) override
  {
    visible[field_id] = show;
    return true;
  }
  // The Connect form uses nothing else.
  bool write_field_value(int, const void *) override { return false; }
  bool enable_field(int, bool) override { return false; }
  int null_query() override { return 0; }
  int focused_field_id() override { return -1; }
  bool focus_field(int) override { return false; }
  void reload_field(int) override {}
  void close_form(bool) override {}
  void *caller_data() override { return nullptr; }
  bool read_field_value_typed(int, void *, size_t) override { return false; }
  bool switch_dialog_button(int, bool) override { return false; }
  bool dialog_button_enabled(int) override { return false; }
  QWidget *field_widget(int, qvector<qstring> *) override { return nullptr; }
  bool set_field_label(int, const qstring &) override { return false; }
  bool set_tab_state(int, int, int, const bool *) override { return false; }
  bool tab_state(bool *, int, int, int) override { return false; }

  uint16_t boxes = 0;
  bool readable = true;
  std::map<int, bool> visible;
};

// What one showing of the form looked like.
struct form_showing_t
{
  std::string description;
  connect_fields_t shown;
  std::map<int, bool> visible_at_start;
  std::map<int, bool> visible_at_end;
};

// Plays the user of one Connect form: records what it shows, lets edit change the fields (calling the
// form's callback when the use-proxy box changes, as the engine does) and answers result.
recording_ui_callback_t::form_player_t play_connect_form(std::vector<form_showing_t> *showings, int64_t result,
                                                         std::function<void(connect_fields_t &)> edit = {})
{
  return [=](const char *form, va_list args) -> int64_t {
    const auto callback = va_arg(args, form_callback_t);
    va_arg(args, void *); // caller data
    qstring *server = va_arg(args, qstring *);
    qstring *user = va_arg(args, qstring *);
    qstring *password = va_arg(args, qstring *);
    uint16_t *boxes = va_arg(args, uint16_t *);
    qstring *proxy = va_arg(args, qstring *);
    qstring *proxy_user = va_arg(args, qstring *);
    qstring *proxy_password = va_arg(args, qstring *);

    form_showing_t showing;
    showing.description = form;
    connect_fields_t &f = showing.shown;
    f = {str(*server), str(*user), str(*password), *boxes, str(*proxy), str(*proxy_user), str(*proxy_password)};
    fake_form_t engine;
    engine.boxes = *boxes;
    EXPECT_EQ(callback(form_code_ready, engine), 1);
    showing.visible_at_start = engine.visible;

    connect_fields_t edited = f;
    if ( edit )
      edit(edited);
    if ( (edited.boxes & 1) != (f.boxes & 1) )
    {
      engine.boxes = edited.boxes;
      EXPECT_EQ(callback(10, engine), 1);
    }
    showing.visible_at_end = engine.visible;
    *server = edited.server.c_str();
    *user = edited.user.c_str();
    *password = edited.password.c_str();
    *boxes = edited.boxes;
    *proxy = edited.proxy.c_str();
    *proxy_user = edited.proxy_user.c_str();
    *proxy_password = edited.proxy_password.c_str();
    showings->push_back(std::move(showing));
    return result;
  };
}

// Records the credentials it is asked to validate and answers from its script (true when it runs out).
class scripted_validator_t : public credential_validator_t
{
public:
  bool validate(arkive_credentials_t &credentials) override
  {
    seen.push_back(credentials);
    if ( answers.empty() )
      return true;
    const bool answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }

  std::vector<bool> answers;
  std::vector<arkive_credentials_t> seen;
};

std::optional<std::string> registry_text(const char *name, const char *subkey)
{
  qstring out;
  if ( !registry_read_text(&out, name, subkey) )
    return std::nullopt;
  return str(out);
}

std::optional<std::string> stored_password(const char *user, const char *target, const char *service)
{
  byte_buffer_t secret;
  if ( !credential_store_instance()->read_secret(&secret, user, target, service, nullptr) )
    return std::nullopt;
  return std::string(secret.begin(), secret.end());
}

class ConnectForm : public testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(registry_select_app("akui"));
    (void)registry_remove_tree("ArkiveCredentials"); // absent in a fresh test
    registry_remove_value("ArkiveStoreCredentials");
    std::filesystem::remove(std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "Quorvin" / "credentials");
    credentials_.user = "alice";
    credentials_.host = "srv";
    credentials_.port = 8080;
  }

  // The saved login's registry values and store entries are all absent.
  void expect_nothing_saved(const char *label)
  {
    EXPECT_EQ(registry_text("Default", "ArkiveCredentials"), std::nullopt) << label;
    EXPECT_EQ(registry_int("ArkiveStoreCredentials", false, -1), -1) << label;
    EXPECT_EQ(stored_password("alice", "srv:8080", "arkstore"), std::nullopt) << label;
  }

  recording_ui_callback_t ui_;
  arkive_credentials_t credentials_;
  scripted_validator_t validator_;
  std::vector<form_showing_t> showings_;
};

TEST_F(ConnectForm, ShowsTheLoginWithStoredPasswords)
{
  credentials_.flags = credentials_save;
  credentials_.proxy.host = "px";
  credentials_.proxy.port = 3128;
  credentials_.proxy.user = "pu";
  byte_buffer_t secret;
  for ( const char c : std::string("stored\0", 7) )
    secret.push_back(uint8_t(c));
  ASSERT_TRUE(credential_store_instance()->write_secret("alice", "srv:8080", "arkstore", secret, nullptr));
  credentials_.proxy.password = "typed-before";

  ui_.script_form(play_connect_form(&showings_, 0));
  EXPECT_EQ(credentials_.run_connect_dialog(&validator_, nullptr, 0), 0);
  ASSERT_EQ(showings_.size(), 1u);
  const form_showing_t &s = showings_[0];
  EXPECT_EQ(s.description, connect_form_text);
  EXPECT_EQ(s.description.rfind("Connect to server\n\n%/%*<#Arkive server, in 'host\\:port' form#~S~erver  :q:0:30::>", 0),
            0u);
  EXPECT_EQ(s.shown.server, "srv:8080");
  EXPECT_EQ(s.shown.user, "alice");
  EXPECT_EQ(s.shown.password, "stored");
  EXPECT_EQ(s.shown.boxes, 2) << "save ticked, proxy not";
  EXPECT_EQ(s.shown.proxy, "px:3128");
  EXPECT_EQ(s.shown.proxy_user, "pu");
  EXPECT_EQ(s.shown.proxy_password, "typed-before") << "a password in memory wins over the store";
}

TEST_F(ConnectForm, EmptyEndpointsShowEmptyTexts)
{
  credentials_.host.clear();
  credentials_.port = 0;
  ui_.script_form(play_connect_form(&showings_, 0));
  credentials_.run_connect_dialog(nullptr, nullptr, 0);
  ASSERT_EQ(showings_.size(), 1u);
  EXPECT_EQ(showings_[0].shown.server, "");
  EXPECT_EQ(showings_[0].shown.proxy, "");
  EXPECT_EQ(showings_[0].shown.password, "") << "nothing stored";
}

TEST_F(ConnectForm, ProxyFieldsFollowTheUseProxyBox)
{
  struct row
  {
    const char *label;
    uint32_t flags;
    uint16_t edited_boxes;
    bool visible_at_start;
    bool visible_at_end;
  };
  const row rows[] = {
    {"proxy off, left off", 0, 0, false, false},
    {"proxy off, ticked", 0, 1, false, true},
    {"proxy on, left on", credentials_use_proxy, 1, true, true},
    {"proxy on, cleared", credentials_use_proxy, 0, true, false},
  };
  for ( const row &r : rows )
  {
    showings_.clear();
    credentials_.flags = r.flags;
    ui_.script_form(play_connect_form(&showings_, 0, [&r](connect_fields_t &f) { f.boxes = r.edited_boxes; }));
    credentials_.run_connect_dialog(nullptr, nullptr, 0);
    ASSERT_EQ(showings_.size(), 1u) << r.label;
    for ( const int id : {11, 12, 13} )
    {
      EXPECT_EQ(showings_[0].visible_at_start.at(id), r.visible_at_start) << r.label << " field " << id;
      EXPECT_EQ(showings_[0].visible_at_end.at(id), r.visible_at_end) << r.label << " field " << id;
    }
    EXPECT_EQ(showings_[0].visible_at_start.size(), 3u) << r.label << ": only the proxy fields";
  }
}

TEST_F(ConnectForm, CallbackIgnoresOtherFieldsAndUnreadableBoxes)
{
  fake_form_t engine;
  engine.boxes = 1;
  for ( const int id : {0, 11, 12, 13, int(form_code_yes), int(form_code_cancel)} )
    EXPECT_EQ(connect_form_callback(id, engine), 1) << id;
  EXPECT_TRUE(engine.visible.empty());
  engine.readable = false;
  EXPECT_EQ(connect_form_callback(form_code_ready, engine), 1);
  EXPECT_TRUE(engine.visible.empty()) << "a box that cannot be read changes nothing";
}

TEST_F(ConnectForm, CancellingChangesNothing)
{
  for ( const int64_t result : {0, -1} )
  {
    showings_.clear();
    ui_.script_form(play_connect_form(&showings_, result, [](connect_fields_t &f) {
      f.server = "elsewhere:1";
      f.user = "mallory";
      f.boxes = 3;
    }));
    EXPECT_EQ(credentials_.run_connect_dialog(&validator_, nullptr, 0), 0) << result;
  }
  EXPECT_TRUE(validator_.seen.empty());
  EXPECT_EQ(str(credentials_.host), "srv");
  EXPECT_EQ(credentials_.port, 8080);
  EXPECT_EQ(credentials_.flags, 0u);
  expect_nothing_saved("cancelled");
  EXPECT_TRUE(ui_.requests_of(ui_code_message).empty());
}

TEST_F(ConnectForm, RefusedLoginKeepsTheTypedServerAndIsRetried)
{
  credentials_.password = "old";
  validator_.answers = {false};
  ui_.script_form(play_connect_form(&showings_, 1, [](connect_fields_t &f) {
    f.server = "typed@other:9000";
    f.user = "bob";
    f.password = "bobpw";
    f.boxes = 3;
    f.proxy = "px:3128";
    f.proxy_user = "pu";
    f.proxy_password = "ppw";
  }));
  EXPECT_EQ(credentials_.run_connect_dialog(&validator_, nullptr, 0), 2);
  ASSERT_EQ(validator_.seen.size(), 1u);
  EXPECT_EQ(str(validator_.seen[0].password), "bobpw") << "the validator gets the typed passwords";
  EXPECT_EQ(str(validator_.seen[0].proxy.password), "ppw");
  EXPECT_EQ(str(validator_.seen[0].user), "bob");
  EXPECT_EQ(str(credentials_.host), "other") << "typed host and port remain";
  EXPECT_EQ(credentials_.port, 9000);
  EXPECT_EQ(str(credentials_.user), "bob") << "a user typed into the server text is dropped";
  EXPECT_EQ(str(credentials_.proxy.host), "px");
  EXPECT_EQ(credentials_.flags & credentials_use_proxy, credentials_use_proxy);
  EXPECT_EQ(credentials_.flags & credentials_save, 0u) << "the save box counts only once accepted";
  EXPECT_EQ(str(credentials_.password), "old") << "the previous passwords are back";
  EXPECT_TRUE(credentials_.proxy.password.empty());
  expect_nothing_saved("refused");

  // The caller shows the form again; it starts where the refused one ended.
  ui_.script_form(play_connect_form(&showings_, 1, [](connect_fields_t &f) { f.password = "right"; }));
  EXPECT_EQ(credentials_.run_connect_dialog(&validator_, nullptr, 0), 1);
  ASSERT_EQ(showings_.size(), 2u);
  EXPECT_EQ(showings_[1].shown.server, "other:9000");
  EXPECT_EQ(showings_[1].shown.user, "bob");
  EXPECT_EQ(showings_[1].shown.password, "old");
  EXPECT_EQ(showings_[1].shown.boxes, 1) << "use proxy kept, save not yet set";
  ASSERT_EQ(validator_.seen.size(), 2u);
  EXPECT_EQ(str(validator_.seen[1].password), "right");
}

TEST_F(ConnectForm, AcceptedWithSaveStoresTheLoginAndKeepsThePasswordsInMemoryUnchanged)
{
  ui_.script_form(play_connect_form(&showings_, 1, [](connect_fields_t &f) {
    f.password = "newpw";
    f.boxes = 3;
    f.proxy = "px:3128";
    f.proxy_user = "pu";
    f.proxy_password = "ppw";
  }));
  EXPECT_EQ(credentials_.run_connect_dialog(&validator_, nullptr, 0), 1);
  EXPECT_EQ(registry_text("Default", "ArkiveCredentials"), "alice@srv:8080");
  EXPECT_EQ(registry_text("Proxy", "ArkiveCredentials\\alice@srv:8080"), "pu@px:3128");
  EXPECT_EQ(registry_int("UseProxy", false, -1, "ArkiveCredentials\\alice@srv:8080"), 1);
  EXPECT_EQ(registry_int("ArkiveStoreCredentials", false, -1), 1);
  EXPECT_EQ(stored_password("alice", "srv:8080", "arkstore"), std::string("newpw\0", 6));
  EXPECT_EQ(stored_password("alice", "srv:8080", "arkstore_proxy"), std::string("ppw\0", 4));
  EXPECT_EQ(credentials_.flags, credentials_save | credentials_use_proxy);
  EXPECT_TRUE(credentials_.password.empty()) << "the typed password reached only the validator and the store";
  EXPECT_TRUE(credentials_.proxy.password.empty());
  EXPECT_TRUE(ui_.requests_of(ui_code_message).empty());
}

TEST_F(ConnectForm, AcceptedWithoutSaveForgetsTheLogin)
{
  credentials_.password = "pw";
  credentials_.proxy.host = "px";
  credentials_.proxy.port = 1;
  credentials_.proxy.password = "ppw";
  ASSERT_TRUE(credentials_.save(nullptr));
  set_store_credentials_flag(true);
  credentials_.flags = credentials_save;

  ui_.script_form(play_connect_form(&showings_, 1, [](connect_fields_t &f) { f.boxes = 0; }));
  EXPECT_EQ(credentials_.run_connect_dialog(&validator_, nullptr, 0), 1);
  EXPECT_EQ(registry_text("DefaultSite", "ArkiveCredentials\\alice@srv:8080"), std::nullopt);
  EXPECT_EQ(registry_text("Proxy", "ArkiveCredentials\\alice@srv:8080"), std::nullopt);
  EXPECT_EQ(credentials_.flags & credentials_save, 0u);
  expect_nothing_saved("forgotten");
  EXPECT_EQ(stored_password("alice", "srv:8080", "arkstore_proxy"), std::nullopt);
  EXPECT_EQ(str(credentials_.password), "pw") << "in-memory passwords are left alone";
}

TEST_F(ConnectForm, FailedSaveWarnsButTheLoginIsAccepted)
{
  struct row
  {
    const char *label;
    int flags;
    bool warned;
  };
  const row rows[] = {{"warning shown", 0, true}, {"warning suppressed", 1, false}};
  for ( const row &r : rows )
  {
    ui_.clear();
    credentials_.user = "alice";
    ui_.script_form(play_connect_form(&showings_, 1, [](connect_fields_t &f) {
      f.user = "";
      f.boxes = 2;
    }));
    qstring error;
    EXPECT_EQ(credentials_.run_connect_dialog(&validator_, &error, r.flags), 1) << r.label;
    EXPECT_EQ(str(error), "Invalid user name") << r.label;
    const std::vector<ui_request_record_t> boxes = ui_.requests_of(ui_code_message);
    ASSERT_EQ(boxes.size(), r.warned ? 1u : 0u) << r.label;
    if ( r.warned )
    {
      EXPECT_EQ(boxes[0].kind, msg_kind_warning);
      EXPECT_EQ(boxes[0].text, "Saving credentials failed: Invalid user name");
    }
  }
}

TEST_F(ConnectForm, ServerTypedWithoutAPortIsSavedWithTheDefaultPort)
{
  ui_.script_form(play_connect_form(&showings_, 1, [](connect_fields_t &f) {
    f.server = "other";
    f.boxes = 2;
  }));
  EXPECT_EQ(credentials_.run_connect_dialog(&validator_, nullptr, 0), 1);
  ASSERT_EQ(validator_.seen.size(), 1u);
  EXPECT_EQ(validator_.seen[0].port, 65433);
  EXPECT_EQ(registry_text("Default", "ArkiveCredentials"), "alice@other:65433");
  EXPECT_TRUE(ui_.requests_of(ui_code_message).empty()) << "saved without a warning";
}

TEST_F(ConnectForm, ServerTextsThatDoNotParseLeaveTheEndpoint)
{
  struct row
  {
    const char *label;
    const char *server;
    const char *host;
    uint16_t port;
  };
  const row rows[] = {
    {"bad port", "other:99999", "srv", 8080},
    {"empty", "", "srv", 8080},
    {"host only: the default port", "other", "other", 65433},
    {"IPv6 with a port", "[::1]:7000", "::1", 7000},
    {"password in the text is dropped", "eve:secret@other:1", "other", 1},
  };
  for ( const row &r : rows )
  {
    credentials_.host = "srv";
    credentials_.port = 8080;
    const std::string server = r.server;
    ui_.script_form(play_connect_form(&showings_, 1, [server](connect_fields_t &f) { f.server = server; }));
    EXPECT_EQ(credentials_.run_connect_dialog(nullptr, nullptr, 1), 1) << r.label;
    EXPECT_EQ(str(credentials_.host), r.host) << r.label;
    EXPECT_EQ(credentials_.port, r.port) << r.label;
    EXPECT_EQ(str(credentials_.user), "alice") << r.label;
    EXPECT_TRUE(credentials_.password.empty()) << r.label;
  }
}

} // namespace
