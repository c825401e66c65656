// The frame engine: reply time-outs, type registration, frame limits, decoding and stream failures.
#include "tests/repo/test_server_client.h"

#include "core/internal_error.h"
#include "repo/packets_users.h"
#include "tests/support/env_guard.h"
#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

bool any_text_contains(const std::vector<ui_request_record_t> &requests, const std::string &part)
{
  for ( const ui_request_record_t &r : requests )
    if ( r.text.find(part) != std::string::npos )
      return true;
  return false;
}

//--------------------------------------------------------------------------
TEST(reply_timeout_test, environment_rewrites_every_entry_or_nothing)
{
  const struct
  {
    const char *value; // null: unset
    int32_t timeout_ms;
  } cases[] = {
    {"30", 30000},   {"1", 1000},       {"-1", -1000},        {"2147483", 2147483000},
    {nullptr, 60000}, {"0", 60000},     {"-5", 60000},        {"abc", 60000},
    {"30s", 60000},  {"", 60000},       {" 30", 60000},       {"2147484", 60000},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
    reply_timeout_t table[2] = {{LOGIN, 60000}, {GET_USERS, 60000}};
    env_guard_t env("ARKIVE_RECV_TIMEOUT_SECS", c.value);
    apply_recv_timeout_setting(table);
    EXPECT_EQ(table[0].timeout_ms.load(), c.timeout_ms);
    EXPECT_EQ(table[1].timeout_ms.load(), c.timeout_ms);
  }
}

TEST(reply_timeout_test, login_waits_sixty_seconds_by_default)
{
  ASSERT_EQ(std::size(reply_timeout_table), 1u);
  EXPECT_EQ(reply_timeout_table[0].type, LOGIN);
  EXPECT_EQ(reply_timeout_table[0].timeout_ms.load(), 60000);
}

//--------------------------------------------------------------------------
std::unique_ptr<rpc_packet_t> no_packet(const uint8_t *, size_t, uint32_t)
{
  return nullptr;
}

TEST(rpc_engine_registration_test, bad_rows_are_internal_errors)
{
  rpc_session_t session(nullptr);
  const packet_type_row_t duplicate[] = {{10, "RPC_OK", no_packet}, {266, "RPC_OK again", no_packet}};
  EXPECT_EQ(interr_number([&] { session.register_packet_types(duplicate); }), 1620);
  const packet_type_row_t unnamed[] = {{10, nullptr, no_packet}};
  EXPECT_EQ(interr_number([&] { session.register_packet_types(unnamed); }), 1619);
  // The same type in two separate calls is accepted: the first row wins when decoding.
  const packet_type_row_t first[] = {{10, "RPC_OK", no_packet}};
  session.register_packet_types(first);
  session.register_packet_types(first);
}

void send_peer_message(rpc_engine_t &engine, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  engine.peer_message(2, format, va);
}

TEST(rpc_engine_registration_test, a_client_sends_no_peer_messages)
{
  rpc_session_t session(nullptr);
  EXPECT_EQ(interr_number([&] { send_peer_message(session, "%s", "hello"); }), 1621);
}

TEST(rpc_engine_registration_test, without_a_stream_nothing_moves)
{
  rpc_session_t session(nullptr);
  byte_buffer_t frame = make_frame_buffer(GET_USERS);
  EXPECT_EQ(session.send_frame(frame), -1);
  EXPECT_EQ(session.receive_frame(GET_USERS), nullptr);
  EXPECT_FALSE(session.broken());
}

//--------------------------------------------------------------------------
class rpc_frame_test_t : public test_server_fixture_t
{
protected:
  // A reply of the given frames, once, to the next request.
  void reply_with(std::vector<frame_bytes_t> frames)
  {
    server_fault_t fault;
    fault.action = server_fault_t::raw_reply;
    fault.frames = std::move(frames);
    server.add_fault(std::move(fault));
  }

  recording_ui_callback_t ui;
};

TEST_F(rpc_frame_test_t, body_size_limit_holds_until_login)
{
  const struct
  {
    const char *name;
    bool logged_in;
    size_t body;
    bool accepted;
  } cases[] = {
    {"empty body", false, 0, true},
    {"8192 bytes before LOGIN", false, 8192, true},
    {"8193 bytes before LOGIN", false, 8193, false},
    {"8192 bytes after LOGIN", true, 8192, true},
    {"8193 bytes after LOGIN", true, 8193, true},
    {"a megabyte after LOGIN", true, 1 << 20, true},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    auto connection = connect();
    ASSERT_NE(connection, nullptr);
    if ( c.logged_in )
    {
      ASSERT_TRUE(connection->login(nullptr, "bob", "builder", "bob-pc"));
    }
    EXPECT_EQ(connection->large_packets(), c.logged_in);
    ui.clear();
    // RPC_OK reads any body.
    reply_with({make_frame(RPC_OK, frame_bytes_t(c.body, 0x41))});
    EXPECT_EQ(connection->set_verifying_site(0), c.accepted ? 0 : 53);
    EXPECT_EQ(connection->is_broken(), !c.accepted);
    EXPECT_EQ(any_text_contains(ui.requests_of(ui_code_message), "rpc: bad packet length"), !c.accepted);
    // In step after an accepted frame: the next request gets its own reply.
    EXPECT_EQ(connection->get_user(nullptr, "bob"), c.accepted ? (c.logged_in ? 0 : 22) : 53);
  }
}

TEST_F(rpc_frame_test_t, a_length_with_bit_31_is_refused_in_every_state)
{
  for ( const bool logged_in : {false, true} )
  {
    SCOPED_TRACE(logged_in);
    auto connection = connect();
    ASSERT_NE(connection, nullptr);
    if ( logged_in )
    {
      ASSERT_TRUE(connection->login(nullptr, "bob", "builder", "bob-pc"));
    }
    ui.clear();
    reply_with({{0x80, 0x00, 0x00, 0x00, RPC_OK}});
    EXPECT_EQ(connection->set_verifying_site(0), 53);
    EXPECT_TRUE(connection->is_broken());
    const std::vector<ui_request_record_t> warnings = ui.requests_of(ui_code_message);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].kind, msg_kind_warning);
    // "YYYY-MM-DD HH:MM:SS rpc: bad packet length"
    EXPECT_EQ(warnings[0].text.size(), 19 + std::string(" rpc: bad packet length").size()) << warnings[0].text;
    EXPECT_TRUE(warnings[0].text.ends_with(" rpc: bad packet length"));

    // Broken: later requests fail at once and never reach the server.
    server.clear_received();
    EXPECT_EQ(connection->get_user(nullptr, "bob"), 53);
    EXPECT_TRUE(server.received().empty());
  }
}

TEST_F(rpc_frame_test_t, frames_that_decode_to_nothing_keep_the_stream_in_step)
{
  const struct
  {
    const char *name;
    frame_bytes_t frame;
    const char *log;
  } cases[] = {
    {"unknown type", make_frame(200, {1, 2, 3}), "Unknown packet type: 200\n"},
    {"unknown type, empty body", make_frame(0, {}), "Unknown packet type: 0\n"},
    {"list count beyond the body", make_frame(GET_USERS_RESULT, {5}), "Couldn't deserialize packet\n"},
    {"empty body of a list reply", make_frame(GET_USERS_RESULT, {}), "Couldn't deserialize packet\n"},
  };
  auto connection = connect();
  ASSERT_NE(connection, nullptr);
  ASSERT_TRUE(connection->login(nullptr, "bob", "builder", "bob-pc"));
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    ui.clear();
    reply_with({c.frame});
    qvector<user_info_t> users;
    EXPECT_EQ(connection->get_users(&users), 53);
    EXPECT_TRUE(users.empty());
    const std::vector<ui_request_record_t> logs = ui.requests_of(ui_code_log);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].text, c.log);
    EXPECT_FALSE(connection->is_broken());
    EXPECT_EQ(connection->get_users(&users), 0);
    EXPECT_EQ(users.size(), 2u);
  }
}

TEST_F(rpc_frame_test_t, a_lost_connection_breaks_the_engine_for_good)
{
  auto connection = connect();
  ASSERT_NE(connection, nullptr);
  ASSERT_TRUE(connection->login(nullptr, "bob", "builder", "bob-pc"));
  server_fault_t drop;
  drop.action = server_fault_t::drop_before_reply;
  server.add_fault(drop);
  EXPECT_EQ(connection->get_users(nullptr), 53);
  EXPECT_TRUE(connection->is_broken());
  EXPECT_FALSE(connection->last_error().empty());
  EXPECT_EQ(error_detail(), connection->last_error().c_str());

  byte_buffer_t frame = make_frame_buffer(GET_USERS);
  EXPECT_EQ(connection->send_frame(frame), -1);
  EXPECT_EQ(connection->receive_frame(GET_USERS), nullptr);
}

TEST_F(rpc_frame_test_t, a_reply_after_the_time_out_is_no_reply)
{
  const struct
  {
    const char *name;
    int32_t timeout_ms;
    int delay_ms;
    bool replied;
  } cases[] = {
    {"delay within the time-out", 3000, 50, true},
    {"delay beyond the time-out", 100, 1500, false},
    {"no limit", -1, 300, true},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    reply_timeout_t table[1] = {{GET_USERS, c.timeout_ms}};
    rpc_session_t session(socket_stream_ptr(open_stream(transport_t::tcp)), table);
    session.register_packet_types(packet_type_table);
    server_fault_t delay;
    delay.action = server_fault_t::delay_reply;
    delay.delay_ms = c.delay_ms;
    server.add_fault(delay);
    const std::unique_ptr<rpc_packet_t> reply = session.call(flag_packet_t(GET_USERS));
    EXPECT_EQ(reply != nullptr, c.replied);
    EXPECT_EQ(session.broken(), !c.replied);
    if ( !c.replied )
    {
      EXPECT_FALSE(session.last_error().empty());
    }
  }
}

TEST_F(rpc_frame_test_t, login_waits_as_long_as_the_environment_says)
{
  {
    env_guard_t env("ARKIVE_RECV_TIMEOUT_SECS", "1");
    apply_recv_timeout_setting();
  }
  EXPECT_EQ(reply_timeout_table[0].timeout_ms.load(), 1000);
  auto connection = connect();
  ASSERT_NE(connection, nullptr);
  server_fault_t delay;
  delay.action = server_fault_t::delay_reply;
  delay.on_type = LOGIN;
  delay.delay_ms = 2500;
  server.add_fault(delay);
  qstring error;
  EXPECT_FALSE(connection->login(&error, "bob", "builder", "bob-pc"));
  EXPECT_TRUE(connection->is_broken());
  EXPECT_FALSE(connection->large_packets());

  // The rewrite stays in force until the next one.
  env_guard_t env("ARKIVE_RECV_TIMEOUT_SECS", "60");
  apply_recv_timeout_setting();
  EXPECT_EQ(reply_timeout_table[0].timeout_ms.load(), 60000);
}

TEST_F(rpc_frame_test_t, login_waits_without_limit_when_the_environment_says_minus_one)
{
  {
    env_guard_t env("ARKIVE_RECV_TIMEOUT_SECS", "-1");
    apply_recv_timeout_setting();
  }
  auto connection = connect();
  ASSERT_NE(connection, nullptr);
  // Longer than a second: a wait of no time at all, or of one second, would fail this LOGIN.
  server_fault_t delay;
  delay.action = server_fault_t::delay_reply;
  delay.on_type = LOGIN;
  delay.delay_ms = 1500;
  server.add_fault(delay);
  qstring error;
  EXPECT_TRUE(connection->login(&error, "bob", "builder", "bob-pc")) << error.c_str();
  EXPECT_FALSE(connection->is_broken());
  EXPECT_TRUE(connection->large_packets());

  env_guard_t env("ARKIVE_RECV_TIMEOUT_SECS", "60");
  apply_recv_timeout_setting();
  EXPECT_EQ(reply_timeout_table[0].timeout_ms.load(), 60000);
}

TEST_F(rpc_frame_test_t, reopening_the_stream_starts_over)
{
  auto connection = connect();
  ASSERT_NE(connection, nullptr);
  ASSERT_TRUE(connection->login(nullptr, "bob", "builder", "bob-pc"));

  // A failed reopen changes nothing.
  qstring error;
  EXPECT_FALSE(connection->reopen_stream(&error, false, "127.0.0.1", 1));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(connection->large_packets());
  EXPECT_EQ(connection->get_user(nullptr, "bob"), 0);

  server_fault_t drop;
  drop.action = server_fault_t::drop_after_reply;
  server.add_fault(drop);
  EXPECT_EQ(connection->get_user(nullptr, "bob"), 0);
  EXPECT_EQ(connection->get_user(nullptr, "bob"), 53);
  ASSERT_TRUE(connection->is_broken());

  for ( const transport_t transport : {transport_t::tcp, transport_t::tls} )
  {
    const uint16_t port = transport == transport_t::tls ? server.tls_port() : server.tcp_port();
    ASSERT_TRUE(connection->reopen_stream(&error, transport == transport_t::tls, "127.0.0.1", port)) << error.c_str();
    EXPECT_FALSE(connection->is_broken());
    EXPECT_FALSE(connection->large_packets());
    // The small-frame limit holds again until the next LOGIN.
    reply_with({make_frame(RPC_OK, frame_bytes_t(8193, 0))});
    EXPECT_EQ(connection->set_verifying_site(0), 53);
    EXPECT_TRUE(connection->is_broken());
  }
}

}  // namespace
