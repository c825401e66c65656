// Tests of the connection factory against the test server: settings from the environment, connecting and
// logging in over TLS, plain TCP and a proxy, refused logins, testing a user and password, and the
// reconnection of a connection whose stream was lost in the middle of a request.
#include "repo/connection_factory.h"

#include "core/base64.h"
#include "core/debug_flags.h"
#include "core/error_state.h"
#include "core/registry.h"
#include "repo/abstract_fs.h"
#include "repo/arkive_errors.h"
#include "repo/credential_store.h"
#include "repo/packets_login.h"
#include "tests/repo/test_proxy.h"
#include "tests/repo/test_server_client.h"
#include "tests/support/env_guard.h"
#include "tests/support/recording_ui_callback.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::string str(const qstring &s)
{
  return std::string(s.view());
}

// The connection settings of the environment, unset for a test and put back after it.
class connection_environment_t : public env_guard_t
{
public:
  connection_environment_t() : env_guard_t({"ARKIVE_HOST", "ARKIVE_PORT", "ARKIVE_PROXY_CONN"}) { clear(); }
  static void clear()
  {
    for ( const char *name : {"ARKIVE_HOST", "ARKIVE_PORT", "ARKIVE_PROXY_CONN"} )
      unsetenv(name);
  }
};

frame_bytes_t notice_frame(const char *text)
{
  code_text_packet_t notice(RPC_NOTIFY);
  notice.code = 1;
  notice.text = text;
  return packet_frame(notice);
}

server_fault_t fault(server_fault_t::action_t action, uint8_t on_type, std::vector<frame_bytes_t> frames = {})
{
  server_fault_t f;
  f.action = action;
  f.on_type = on_type;
  f.frames = std::move(frames);
  return f;
}

// Stores a password the way a saved login does: its bytes and a zero byte.
void store_password(const char *user, const char *target, const char *service, const std::string &password)
{
  byte_buffer_t secret;
  for ( const char c : password )
    secret.push_back(uint8_t(c));
  secret.push_back(0);
  ASSERT_TRUE(credential_store_instance()->write_secret(user, target, service, secret, nullptr));
}

// The application's side of a lost stream: logs in again with the credentials it was given, and records
// every call.
class recording_handler_t : public network_failure_handler_t
{
public:
  struct ending_t
  {
    bool success;
    std::string error;
  };

  bool begin_reconnect(arkive_credentials_t *credentials, qstring *client, const char *reason) override
  {
    reasons.emplace_back(reason != nullptr ? reason : "(null)");
    if ( refuse || !network_failure_handler_t::begin_reconnect(credentials, client, reason) )
      return false;
    ++accepted;
    *credentials = login;
    *client = "alice-pc";
    return true;
  }
  void end_reconnect(bool success, const char *error) override
  {
    endings.push_back({success, error != nullptr ? error : "(null)"});
    network_failure_handler_t::end_reconnect(success, error);
  }
  void give_up() override { ++give_ups; }

  arkive_credentials_t login;
  bool refuse = false;
  std::vector<std::string> reasons; // of every call, refused ones included
  int accepted = 0;
  std::vector<ending_t> endings;
  int give_ups = 0;
};

// Remembers the request under way whenever the connection prints a notice.
class outstanding_messenger_t : public arkive_messenger_t
{
public:
  outstanding_messenger_t(const rpc_arkive_connection_t *connection, std::vector<int> *seen)
    : connection_(connection), seen_(seen)
  {
  }
  void print(const char *, va_list) override { seen_->push_back(connection_->outstanding_type()); }

private:
  const rpc_arkive_connection_t *connection_;
  std::vector<int> *seen_;
};

//--------------------------------------------------------------------------
// Settings.

class FactorySettings : public testing::Test
{
protected:
  connection_environment_t environment_;
};

TEST_F(FactorySettings, ConfigureAppliesTheEnvironmentAndTheDefaults)
{
  struct row
  {
    const char *label;
    std::vector<std::pair<const char *, const char *>> environment;
    const char *host;
    uint16_t port;
    const char *expected_host;
    uint16_t expected_port;
  };
  const row rows[] = {
    {"nothing set", {}, "srv", 8080, "srv", 8080},
    {"ARKIVE_PORT number", {{"ARKIVE_PORT", "9090"}}, "srv", 8080, "srv", 9090},
    {"ARKIVE_PORT not a number", {{"ARKIVE_PORT", "abc"}}, "srv", 8080, "srv", 65433},
    {"ARKIVE_PORT above 16 bits", {{"ARKIVE_PORT", "65536"}}, "srv", 8080, "srv", 65433},
    {"ARKIVE_PORT empty", {{"ARKIVE_PORT", ""}}, "srv", 8080, "srv", 65433},
    {"ARKIVE_HOST", {{"ARKIVE_HOST", "other"}}, "srv", 8080, "other", 8080},
    {"ARKIVE_HOST empty", {{"ARKIVE_HOST", ""}}, "srv", 8080, default_arkive_host, 8080},
    {"no host and no port", {}, "", 0, default_arkive_host, 65433},
  };
  for ( const row &r : rows )
  {
    connection_environment_t::clear();
    for ( const auto &[name, value] : r.environment )
      setenv(name, value, 1);
    arkive_credentials_t c;
    c.host = r.host;
    c.port = r.port;
    c.user = "alice";
    c.site = "ws";
    c.flags = credentials_no_tls;
    arkive_connection_factory_t *factory = arkive_connection_factory_t::instance();
    qstring error = "untouched";
    EXPECT_TRUE(factory->configure(&error, c)) << r.label;
    EXPECT_EQ(str(error), "untouched") << r.label;
    EXPECT_EQ(str(factory->credentials().host), r.expected_host) << r.label;
    EXPECT_EQ(factory->credentials().port, r.expected_port) << r.label;
    EXPECT_EQ(str(factory->credentials().user), "alice") << r.label;
    EXPECT_EQ(str(factory->credentials().site), "ws") << r.label;
    EXPECT_EQ(factory->credentials().flags, credentials_no_tls) << r.label;
  }
}

TEST_F(FactorySettings, ProxyConnectionVariableReplacesTheProxy)
{
  setenv("ARKIVE_PROXY_CONN", "pu:pp@px:3128", 1);
  arkive_credentials_t c;
  c.proxy.host = "old";
  c.proxy.port = 1;
  arkive_connection_factory_t *factory = arkive_connection_factory_t::instance();
  factory->configure(nullptr, c);
  const endpoint_credentials_t &proxy = factory->credentials().proxy;
  EXPECT_EQ(str(proxy.host), "px");
  EXPECT_EQ(proxy.port, 3128);
  EXPECT_EQ(str(proxy.user), "pu");
  EXPECT_EQ(str(proxy.password), "pp");
}

TEST_F(FactorySettings, ResetLeavesNoHostAndOneFactoryServesEveryThread)
{
  arkive_credentials_t c;
  c.user = "alice";
  c.site = "ws";
  arkive_connection_factory_t *factory = arkive_connection_factory_t::instance();
  factory->configure(nullptr, c);
  EXPECT_TRUE(factory->reset(nullptr, c));
  EXPECT_TRUE(factory->credentials().host.empty());
  EXPECT_EQ(factory->credentials().port, 0);
  EXPECT_TRUE(factory->credentials().user.empty());
  EXPECT_TRUE(factory->credentials().site.empty());

  std::vector<arkive_connection_factory_t *> seen(4, nullptr);
  std::vector<std::thread> threads;
  for ( size_t i = 0; i < seen.size(); ++i )
    threads.emplace_back([&seen, i] { seen[i] = arkive_connection_factory_t::instance(); });
  for ( std::thread &t : threads )
    t.join();
  for ( arkive_connection_factory_t *f : seen )
    EXPECT_EQ(f, factory);
}

TEST(ConnectParams, ProxyOnlyWhenAskedWithItsStoredPassword)
{
  const char *config = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::remove(std::filesystem::path(config) / "Quorvin" / "credentials");
  arkive_credentials_t c;
  c.host = "srv";
  c.port = 1;
  c.user = "alice";
  c.password = "pw";
  c.proxy.host = "px";
  c.proxy.port = 3128;
  c.proxy.user = "pu";

  connect_params_t params = connect_params_of(c);
  EXPECT_EQ(str(params.server.host), "srv");
  EXPECT_EQ(str(params.server.password), "pw");
  EXPECT_TRUE(params.proxy.host.empty()) << "the proxy is used only with its flag";

  c.flags = credentials_use_proxy;
  params = connect_params_of(c);
  EXPECT_EQ(str(params.proxy.host), "px");
  EXPECT_TRUE(params.proxy.password.empty()) << "nothing stored";

  store_password("alice", "srv:1", "arkstore_proxy", "stored");
  params = connect_params_of(c);
  EXPECT_EQ(str(params.proxy.password), "stored");
  c.proxy.password = "held";
  params = connect_params_of(c);
  EXPECT_EQ(str(params.proxy.password), "held") << "a password in memory wins";
}

//--------------------------------------------------------------------------
// Against the test server.

class FactoryOnServer : public test_server_fixture_t
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(registry_select_app("akui"));
    const char *config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::remove(std::filesystem::path(config) / "Quorvin" / "credentials");
    test_server_fixture_t::SetUp();
  }
  void TearDown() override { debug_flags = 0; }

  connection_environment_t environment_;

  // Alice's login to the server over the transport, with site ws.
  arkive_credentials_t alice(transport_t transport)
  {
    arkive_credentials_t c;
    c.host = "127.0.0.1";
    c.port = transport == transport_t::tls ? server.tls_port() : server.tcp_port();
    c.flags = transport == transport_t::tls ? 0 : credentials_no_tls;
    c.user = "alice";
    c.password = "secret";
    c.site = "ws";
    return c;
  }

  arkive_connection_factory_t *factory(const arkive_credentials_t &c)
  {
    arkive_connection_factory_t *f = arkive_connection_factory_t::instance();
    EXPECT_TRUE(f->reset(nullptr, c));
    EXPECT_TRUE(f->configure(nullptr, c));
    return f;
  }

  // Alice logged in through the factory with site ws in use and the handler installed; the server's record
  // is cleared.
  std::unique_ptr<rpc_arkive_connection_t> alice_with_handler(transport_t transport, recording_handler_t *handler)
  {
    handler->login = alice(transport);
    qstring error;
    auto c = factory(handler->login)->connect_and_login(&error, "alice", "secret", nullptr, "alice-pc");
    EXPECT_NE(c, nullptr) << error.c_str();
    if ( c == nullptr )
      return nullptr;
    EXPECT_EQ(c->use_site(nullptr, "ws", "alice-pc"), 0) << error_detail();
    c->set_network_failure_handler(handler);
    server.clear_received();
    return c;
  }

  // The types of the frames the server received on one connection.
  std::vector<int> types_on(int connection)
  {
    std::vector<int> types;
    for ( const recorded_frame_t &f : server.received() )
      if ( f.connection == connection )
        types.push_back(f.type);
    return types;
  }
};

TEST_F(FactoryOnServer, ConnectsAndLogsInOverTlsAndTcp)
{
  for ( const transport_t transport : {transport_t::tls, transport_t::tcp} )
  {
    SCOPED_TRACE(transport == transport_t::tls ? "TLS" : "TCP");
    server.clear_received();
    abstract_fs_t *const fs = get_file_system("", nullptr, 0);
    qstring error;
    auto c = factory(alice(transport))->connect_and_login(&error, "alice", "secret", fs, "alice-pc", 0);
    ASSERT_NE(c, nullptr) << error.c_str();
    EXPECT_EQ(c->file_system(), fs);
    EXPECT_TRUE(c->large_packets());
    EXPECT_EQ(c->outstanding_type(), RPC_OK);
    const std::vector<recorded_frame_t> frames = server.received();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].type, LOGIN);
    EXPECT_EQ(frames[0].body, wire({"alice", 0, "secret", 0, 5, "alice-pc", 0, 0}));
    qvector<user_info_t> users;
    EXPECT_EQ(c->get_users(&users), 0) << error_detail();
    EXPECT_EQ(users.size(), 2u);
  }
}

TEST_F(FactoryOnServer, StreamOfTheWrongKindOrNoServerGivesNoConnection)
{
  struct row
  {
    const char *label;
    uint32_t flags;
    uint16_t port;
  };
  // A port nobody listens on: the test server's TCP port after a server on it stopped.
  arkive_test_server_t gone;
  std::string start_error;
  ASSERT_TRUE(gone.start(&start_error, 0, 0, false)) << start_error;
  const uint16_t closed_port = gone.tcp_port();
  gone.stop();
  const row rows[] = {
    {"TLS to the plain port", 0, server.tcp_port()},
    {"nobody listening", credentials_no_tls, closed_port},
  };
  for ( const row &r : rows )
  {
    arkive_credentials_t c = alice(transport_t::tcp);
    c.flags = r.flags;
    c.port = r.port;
    qstring error;
    EXPECT_EQ(factory(c)->connect_and_login(&error, "alice", "secret", nullptr, "alice-pc"), nullptr) << r.label;
    EXPECT_FALSE(error.empty()) << r.label;
    if ( r.flags == credentials_no_tls )
    {
      user_info_t user;
      error.clear();
      EXPECT_EQ(factory(c)->check_credentials(&error, &user, "alice", "secret"), 33) << r.label;
      EXPECT_FALSE(error.empty()) << r.label;
    }
  }
}

TEST_F(FactoryOnServer, RefusedLoginsGiveNoConnectionWithTheServersText)
{
  struct row
  {
    const char *label;
    const char *user;
    const char *password;
    std::vector<frame_bytes_t> reply; // scripted answer to LOGIN; empty: the server's own
    const char *error;
  };
  const row rows[] = {
    {"wrong password", "alice", "wrong", {}, ""},
    {"unknown user", "mallory", "secret", {}, ""},
    {"server text passes through", "alice", "secret", {fail_frame(62, "Invalid user or password")},
     "Invalid user or password"},
    {"unexpected reply type", "alice", "secret", {make_frame(RPC_NOTIFY, {0, 0})}, "12"},
  };
  for ( const row &r : rows )
  {
    if ( !r.reply.empty() )
      server.add_fault(fault(server_fault_t::raw_reply, LOGIN, r.reply));
    qstring error = "stale";
    EXPECT_EQ(factory(alice(transport_t::tls))->connect_and_login(&error, r.user, r.password, nullptr, "pc"), nullptr)
      << r.label;
    EXPECT_EQ(str(error), r.error) << r.label;
  }
}

TEST_F(FactoryOnServer, ChecksCredentialsOnAConnectionOfItsOwn)
{
  struct row
  {
    const char *label;
    const char *user;
    const char *password;
    std::vector<frame_bytes_t> reply;
    int code;
    const char *login; // of the user record afterwards
    const char *error;
  };
  const row rows[] = {
    {"right password", "alice", "secret", {}, 0, "alice", "untouched"},
    {"wrong password", "alice", "nope", {}, 62, "sentinel", ""},
    {"unknown user", "mallory", "x", {}, 62, "sentinel", ""},
    {"RPC_FAIL with code 0 leaves the record", "alice", "secret", {fail_frame(0, "fine")}, 0, "sentinel", "untouched"},
    {"server's code and text", "bob", "builder", {fail_frame(7, "locked")}, 7, "sentinel", "locked"},
  };
  for ( const row &r : rows )
  {
    if ( !r.reply.empty() )
      server.add_fault(fault(server_fault_t::raw_reply, AUTHENTICATE, r.reply));
    server.clear_received();
    const int before = server.connections();
    user_info_t user;
    user.login = "sentinel";
    qstring error = "untouched";
    EXPECT_EQ(factory(alice(transport_t::tls))->check_credentials(&error, &user, r.user, r.password), r.code) << r.label;
    EXPECT_EQ(str(user.login), r.login) << r.label;
    EXPECT_EQ(str(error), r.error) << r.label;
    EXPECT_EQ(server.connections(), before + 1) << r.label;
    const std::vector<recorded_frame_t> frames = server.received();
    ASSERT_EQ(frames.size(), 1u) << r.label << ": no other packet, not even on closing";
    EXPECT_EQ(frames[0].type, AUTHENTICATE);
    EXPECT_EQ(frames[0].body, wire({r.user, 0, r.password, 0, 5, 0})) << r.label;
  }
}

TEST_F(FactoryOnServer, ConnectsThroughTheProxyWithItsStoredPassword)
{
  qstring expected_auth;
  encode_base64(&expected_auth, "pu:ppw", 6);
  proxy_behaviour_t behaviour;
  behaviour.required_credentials = str(expected_auth);

  struct row
  {
    const char *label;
    bool stored;
    bool connects;
  };
  const row rows[] = {{"no proxy password anywhere", false, false}, {"proxy password in the store", true, true}};
  for ( const row &r : rows )
  {
    test_proxy_t proxy(behaviour); // serves one client
    arkive_credentials_t c = alice(transport_t::tls);
    c.flags |= credentials_use_proxy;
    c.proxy.host = "127.0.0.1";
    c.proxy.port = proxy.port();
    c.proxy.user = "pu";
    const std::string target = "127.0.0.1:" + std::to_string(c.port);
    if ( r.stored )
      store_password("alice", target.c_str(), "arkstore_proxy", "ppw");
    qstring error;
    auto connection = factory(c)->connect_and_login(&error, "alice", "secret", nullptr, "alice-pc");
    EXPECT_EQ(connection != nullptr, r.connects) << r.label << ": " << error.c_str();
    EXPECT_NE(proxy.request().find("CONNECT " + target), std::string::npos) << r.label;
  }
}

TEST_F(FactoryOnServer, ConnectTraceNamesTheTargetAndNeverThePassword)
{
  recording_ui_callback_t ui;
  debug_flags = 0x100000;
  arkive_credentials_t c = alice(transport_t::tcp);
  qstring error;
  ASSERT_NE(factory(c)->connect_and_login(&error, "alice", "secret", nullptr, "alice-pc"), nullptr);
  bool traced = false;
  for ( const ui_request_record_t &r : ui.requests() )
  {
    traced = traced || r.text == "arkive: trying to connect to 127.0.0.1:" + std::to_string(c.port) + "\n";
    EXPECT_EQ(r.text.find("secret"), std::string::npos) << r.text;
  }
  EXPECT_TRUE(traced);
}

//--------------------------------------------------------------------------
// Reconnection.

TEST_F(FactoryOnServer, LostStreamReconnectsLogsInSwitchesSiteAndResends)
{
  for ( const transport_t transport : {transport_t::tls, transport_t::tcp} )
  {
    SCOPED_TRACE(transport == transport_t::tls ? "TLS" : "TCP");
    recording_handler_t handler;
    auto c = alice_with_handler(transport, &handler);
    ASSERT_NE(c, nullptr);
    std::vector<int> outstanding;
    c->set_messenger(new outstanding_messenger_t(c.get(), &outstanding));
    const int before = server.connections();
    server.add_fault(fault(server_fault_t::drop_before_reply, GET_WORKLISTS));
    // After the resend the server sends a notice while the reply is awaited.
    server.add_fault(fault(server_fault_t::interpose, GET_WORKLISTS, {notice_frame("hello again")}));

    qvector<worklist_info_t> lists;
    EXPECT_EQ(c->get_worklists(&lists, "", "", -1), 0) << error_detail();
    EXPECT_FALSE(lists.empty()) << "the site's worklists: the new session has site ws";
    EXPECT_EQ(server.connections(), before + 1);
    EXPECT_EQ(types_on(before + 1), (std::vector<int>{LOGIN, USE_SITE, GET_WORKLISTS, RPC_OK}));
    const std::vector<recorded_frame_t> frames = server.received();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[1].body, wire({"alice", 0, "secret", 0, 5, "alice-pc", 0, 0}));
    ASSERT_EQ(handler.reasons.size(), 1u);
    ASSERT_EQ(handler.endings.size(), 1u);
    EXPECT_TRUE(handler.endings[0].success);
    EXPECT_EQ(handler.endings[0].error, "");
    EXPECT_FALSE(handler.reconnecting);
    EXPECT_EQ(handler.give_ups, 0);
    EXPECT_EQ(outstanding, (std::vector<int>{GET_WORKLISTS})) << "the interrupted request is under way again";
    EXPECT_EQ(c->outstanding_type(), RPC_OK);
    EXPECT_FALSE(c->is_broken());
    EXPECT_TRUE(c->large_packets());
  }
}

TEST_F(FactoryOnServer, ReconnectionWithoutASiteSkipsTheSiteSwitch)
{
  recording_handler_t handler;
  auto c = alice_with_handler(transport_t::tcp, &handler);
  ASSERT_NE(c, nullptr);
  handler.login.site.clear();
  const int before = server.connections();
  server.add_fault(fault(server_fault_t::drop_before_reply, GET_USERS));
  EXPECT_EQ(c->get_users(nullptr), 0) << error_detail();
  EXPECT_EQ(types_on(before + 1), (std::vector<int>{LOGIN, GET_USERS}));
}

TEST_F(FactoryOnServer, ReconnectionTakesThePasswordFromTheStoreWhenNoneIsHeld)
{
  struct row
  {
    const char *label;
    bool stored;
    int code;
    const char *error;
  };
  const row rows[] = {
    {"stored password", true, 0, ""},
    {"no password anywhere", false, 53, "No connection password found"},
  };
  for ( const row &r : rows )
  {
    const char *config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::remove(std::filesystem::path(config) / "Quorvin" / "credentials");
    recording_handler_t handler;
    auto c = alice_with_handler(transport_t::tcp, &handler);
    ASSERT_NE(c, nullptr);
    handler.login.password.clear();
    if ( r.stored )
      store_password("alice", ("127.0.0.1:" + std::to_string(server.tcp_port())).c_str(), "arkstore", "secret");
    server.add_fault(fault(server_fault_t::drop_before_reply, GET_USERS));
    EXPECT_EQ(c->get_users(nullptr), r.code) << r.label;
    ASSERT_EQ(handler.endings.size(), 1u) << r.label;
    EXPECT_EQ(handler.endings[0].success, r.code == 0) << r.label;
    EXPECT_EQ(handler.endings[0].error, r.error) << r.label;
    EXPECT_EQ(handler.give_ups, r.code == 0 ? 0 : 1) << r.label;
  }
}

TEST_F(FactoryOnServer, FailedReconnectionEndsTheRequestWith53AndGivesUpOnce)
{
  struct row
  {
    const char *label;
    std::function<void(recording_handler_t &, arkive_test_server_t &)> prepare;
    size_t endings;   // end_reconnect calls
    const char *error; // of end_reconnect; null: any non-empty text
  };
  const row rows[] = {
    {"handler refuses", [](recording_handler_t &h, arkive_test_server_t &) { h.refuse = true; }, 0, nullptr},
    {"LOGIN refused", [](recording_handler_t &h, arkive_test_server_t &) { h.login.password = "wrong"; }, 1, ""},
    {"LOGIN refused with a text",
     [](recording_handler_t &, arkive_test_server_t &s) {
       s.add_fault(fault(server_fault_t::raw_reply, LOGIN, {fail_frame(62, "Invalid password")}));
     },
     1, "Invalid password"},
    {"LOGIN lost",
     [](recording_handler_t &, arkive_test_server_t &s) { s.add_fault(fault(server_fault_t::drop_before_reply, LOGIN)); },
     1, nullptr},
    {"site unknown", [](recording_handler_t &h, arkive_test_server_t &) { h.login.site = "nosuch"; }, 1, nullptr},
    {"site of another user",
     [](recording_handler_t &h, arkive_test_server_t &) {
       h.login.user = "bob";
       h.login.password = "builder";
     },
     1, nullptr},
    {"site switch lost",
     [](recording_handler_t &, arkive_test_server_t &s) {
       s.add_fault(fault(server_fault_t::drop_before_reply, USE_SITE));
     },
     1, nullptr},
    {"server gone", [](recording_handler_t &h, arkive_test_server_t &) { h.login.port = 1; }, 1, nullptr},
  };
  for ( const row &r : rows )
  {
    SCOPED_TRACE(r.label);
    recording_handler_t handler;
    auto c = alice_with_handler(transport_t::tcp, &handler);
    ASSERT_NE(c, nullptr);
    server.add_fault(fault(server_fault_t::drop_before_reply, GET_USERS));
    r.prepare(handler, server);
    qvector<user_info_t> users;
    EXPECT_EQ(c->get_users(&users), 53);
    EXPECT_TRUE(users.empty());
    EXPECT_EQ(handler.accepted, r.endings == 0 ? 0 : 1) << "one attempt; nested failures start none";
    ASSERT_EQ(handler.endings.size(), r.endings);
    if ( r.endings != 0 )
    {
      EXPECT_FALSE(handler.endings[0].success);
      if ( r.error != nullptr )
        EXPECT_EQ(handler.endings[0].error, r.error);
      else
        EXPECT_FALSE(handler.endings[0].error.empty());
    }
    EXPECT_EQ(handler.give_ups, 1);
    EXPECT_FALSE(handler.reconnecting);
    EXPECT_EQ(c->outstanding_type(), RPC_OK);
  }
}

TEST_F(FactoryOnServer, FailedSiteSwitchReportsTheErrorTableText)
{
  recording_handler_t handler;
  auto c = alice_with_handler(transport_t::tcp, &handler);
  ASSERT_NE(c, nullptr);
  handler.login.site = "nosuch";
  server.add_fault(fault(server_fault_t::drop_before_reply, GET_USERS));
  EXPECT_EQ(c->get_users(nullptr), 53);
  ASSERT_EQ(handler.endings.size(), 1u);
  EXPECT_EQ(handler.endings[0].error, str(arkive_error_text(5, "nosuch")));
}

TEST_F(FactoryOnServer, OnlyOneReconnectionPerRequest)
{
  recording_handler_t handler;
  auto c = alice_with_handler(transport_t::tcp, &handler);
  ASSERT_NE(c, nullptr);
  const int before = server.connections();
  server.add_fault(fault(server_fault_t::drop_before_reply, GET_USERS));
  server.add_fault(fault(server_fault_t::drop_before_reply, GET_USERS));
  EXPECT_EQ(c->get_users(nullptr), 53);
  EXPECT_EQ(handler.reasons.size(), 1u);
  ASSERT_EQ(handler.endings.size(), 1u);
  EXPECT_TRUE(handler.endings[0].success);
  EXPECT_EQ(handler.give_ups, 1);
  EXPECT_EQ(server.connections(), before + 1);

  // The next request may reconnect again.
  EXPECT_EQ(c->get_users(nullptr), 0) << error_detail();
  EXPECT_EQ(handler.reasons.size(), 2u);
}

TEST_F(FactoryOnServer, NoReconnectionOnceTheServerTookTheRequest)
{
  recording_handler_t handler;
  auto c = alice_with_handler(transport_t::tcp, &handler);
  ASSERT_NE(c, nullptr);
  const int before = server.connections();
  server.add_fault(fault(server_fault_t::interpose_then_drop, GET_USERS, {notice_frame("working")}));
  EXPECT_EQ(c->get_users(nullptr), 53);
  EXPECT_TRUE(handler.reasons.empty());
  EXPECT_EQ(handler.give_ups, 1);
  EXPECT_EQ(server.connections(), before);
  EXPECT_TRUE(c->is_broken());
}

TEST_F(FactoryOnServer, ReconnectionKeepsTheConfiguredPortAndProxy)
{
  struct row
  {
    const char *label;
    bool through_proxy;
    bool port_from_environment;
  };
  const row rows[] = {{"through the proxy", true, false}, {"port from ARKIVE_PORT", false, true}};
  for ( const row &r : rows )
  {
    SCOPED_TRACE(r.label);
    connection_environment_t::clear();
    test_proxy_t proxy{proxy_behaviour_t{}}; // serves one client
    recording_handler_t handler;
    auto c = alice_with_handler(transport_t::tls, &handler);
    ASSERT_NE(c, nullptr);
    if ( r.through_proxy )
    {
      handler.login.flags |= credentials_use_proxy;
      handler.login.proxy.host = "127.0.0.1";
      handler.login.proxy.port = proxy.port();
    }
    if ( r.port_from_environment )
    {
      setenv("ARKIVE_PORT", std::to_string(handler.login.port).c_str(), 1);
      handler.login.port = 1;
    }
    server.add_fault(fault(server_fault_t::drop_before_reply, GET_USERS));
    EXPECT_EQ(c->get_users(nullptr), 0) << error_detail();
    ASSERT_EQ(handler.endings.size(), 1u);
    EXPECT_TRUE(handler.endings[0].success) << handler.endings[0].error;
    EXPECT_EQ(proxy.connections(), r.through_proxy ? 1 : 0);
  }
}

} // namespace
