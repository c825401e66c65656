// The connection's exchange: the standard reply rules, the failure handler, and the server's own requests.
#include "tests/repo/test_server_client.h"

#include "core/error_state.h"
#include "repo/packets_login.h"
#include "repo/packets_users.h"
#include "tests/support/recording_ui_callback.h"

#include <string>
#include <vector>

namespace {

frame_bytes_t notice_frame(int32_t kind, const char *text)
{
  code_text_packet_t notice(RPC_NOTIFY);
  notice.code = kind;
  notice.text = text;
  return packet_frame(notice);
}

// Remembers every line printed and the request under way at that moment.
class recording_messenger_t : public arkive_messenger_t
{
public:
  recording_messenger_t(const rpc_arkive_connection_t *connection, std::vector<std::string> *lines,
                        std::vector<int> *outstanding)
    : connection_(connection), lines_(lines), outstanding_(outstanding)
  {
  }
  void print(const char *format, va_list va) override
  {
    qstring line;
    vformat_to_string(&line, format, va);
    lines_->emplace_back(line.view());
    outstanding_->push_back(connection_->outstanding_type());
  }

private:
  const rpc_arkive_connection_t *connection_;
  std::vector<std::string> *lines_;
  std::vector<int> *outstanding_;
};

class counting_handler_t : public network_failure_handler_t
{
public:
  void give_up() override { ++give_ups; }
  int give_ups = 0;
};

class connection_exchange_test_t : public test_server_fixture_t
{
protected:
  void reply_with(std::vector<frame_bytes_t> frames, uint8_t on_type = 0)
  {
    server_fault_t fault;
    fault.action = server_fault_t::raw_reply;
    fault.on_type = on_type;
    fault.frames = std::move(frames);
    server.add_fault(std::move(fault));
  }
  void interpose(std::vector<frame_bytes_t> frames)
  {
    server_fault_t fault;
    fault.action = server_fault_t::interpose;
    fault.frames = std::move(frames);
    server.add_fault(std::move(fault));
  }

  recording_ui_callback_t ui;
};

TEST_F(connection_exchange_test_t, reply_rules_and_untouched_out_parameters)
{
  const struct
  {
    const char *name;
    std::vector<frame_bytes_t> reply;
    int code;
    const char *detail;
  } cases[] = {
    {"RPC_FAIL with code 0 is success", {fail_frame(0, "fine")}, 0, "fine"},
    {"RPC_FAIL passes the server's code and text", {fail_frame(5, "site x")}, 5, "site x"},
    {"RPC_FAIL without text", {fail_frame(22, "")}, 22, ""},
    {"RPC_OK instead of the result", {make_frame(RPC_OK, {})}, 47, "10"},
    {"another result of the same class", {packet_frame(user_list_packet_t(GET_SESSIONS_RESULT))}, 47, "24"},
    {"RPC_FAIL whose body cannot be read", {make_frame(RPC_FAIL, {5})}, 53, ""},
  };
  auto c = connect_alice();
  ASSERT_NE(c, nullptr);
  for ( const auto &row : cases )
  {
    SCOPED_TRACE(row.name);
    qvector<user_info_t> users;
    users.push_back(user_info_t{});
    users[0].login = "sentinel";
    reply_with(row.reply);
    error_arg_text(0, "stale");
    EXPECT_EQ(c->get_users(&users), row.code);
    EXPECT_EQ(error_detail(), row.detail);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].login, "sentinel");
    EXPECT_EQ(c->outstanding_type(), RPC_OK);
    EXPECT_FALSE(c->is_broken());
  }
  // An operation that expects RPC_OK takes RPC_FAIL 0 as success too.
  reply_with({fail_frame(0, "")});
  EXPECT_EQ(c->set_verifying_site(1), 0);
}

TEST_F(connection_exchange_test_t, no_reply_gives_up_unless_a_reconnection_runs)
{
  const struct
  {
    const char *name;
    bool handler;
    bool reconnecting;
    int give_ups;
  } cases[] = {
    {"no handler", false, false, 0},
    {"handler", true, false, 1},
    {"handler while reconnecting", true, true, 0},
  };
  for ( const auto &row : cases )
  {
    SCOPED_TRACE(row.name);
    auto c = connect_alice();
    ASSERT_NE(c, nullptr);
    counting_handler_t handler;
    handler.reconnecting = row.reconnecting;
    if ( row.handler )
      c->set_network_failure_handler(&handler);
    server_fault_t drop;
    drop.action = server_fault_t::drop_before_reply;
    server.add_fault(drop);
    site_info_t site;
    site.name = "sentinel";
    EXPECT_EQ(c->get_site(&site, "ws"), 53);
    EXPECT_EQ(site.name, "sentinel");
    EXPECT_EQ(error_detail(), c->last_error().c_str());
    EXPECT_EQ(handler.give_ups, row.give_ups);
    EXPECT_TRUE(c->is_broken());
    EXPECT_EQ(c->outstanding_type(), RPC_OK);
    // Once broken, every operation answers 53 (and gives up again) without touching the stream.
    server.clear_received();
    EXPECT_EQ(c->get_users(nullptr), 53);
    EXPECT_TRUE(server.received().empty());
    EXPECT_EQ(handler.give_ups, row.handler && !row.reconnecting ? 2 : 0);
  }
}

TEST(network_failure_handler_test, one_reconnection_at_a_time)
{
  counting_handler_t handler;
  qstring client;
  EXPECT_TRUE(handler.begin_reconnect(nullptr, &client, "lost"));
  EXPECT_TRUE(handler.reconnecting);
  EXPECT_FALSE(handler.begin_reconnect(nullptr, &client, "lost again"));
  handler.end_reconnect(false, "failed");
  EXPECT_FALSE(handler.reconnecting);
  EXPECT_TRUE(handler.begin_reconnect(nullptr, &client, "lost"));
}

TEST_F(connection_exchange_test_t, login_results)
{
  const struct
  {
    const char *name;
    const char *user;
    const char *password;
    std::vector<frame_bytes_t> reply; // empty: the server's own answer
    bool ok;
    const char *error;
  } cases[] = {
    {"right password", "bob", "builder", {}, true, ""},
    {"wrong password", "bob", "wrong", {}, false, ""},
    {"RPC_FAIL with code 0", "bob", "wrong", {fail_frame(0, "")}, true, ""},
    {"server refuses with a text", "bob", "builder", {fail_frame(33, "server is full")}, false, "server is full"},
    // Before LOGIN the server sends no requests of its own: such a frame is the reply.
    {"a notice before LOGIN is the reply", "bob", "builder", {notice_frame(1, "hello")}, false, "12"},
  };
  for ( const auto &row : cases )
  {
    SCOPED_TRACE(row.name);
    auto c = connect();
    ASSERT_NE(c, nullptr);
    if ( !row.reply.empty() )
      reply_with(row.reply);
    server.clear_received();
    qstring error = "stale";
    EXPECT_EQ(c->login(&error, row.user, row.password, "bob-pc"), row.ok);
    EXPECT_EQ(c->large_packets(), row.ok);
    // Success leaves the error text alone.
    EXPECT_EQ(error, row.ok ? "stale" : row.error);
    const std::vector<recorded_frame_t> frames = server.received();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].type, LOGIN);
    EXPECT_EQ(frames[0].body, wire({row.user, 0, row.password, 0, 5, "bob-pc", 0, 0}));
    EXPECT_FALSE(c->is_broken());
  }
}

TEST_F(connection_exchange_test_t, server_requests_are_answered_while_the_reply_is_awaited)
{
  auto c = connect_alice();
  ASSERT_NE(c, nullptr);
  std::vector<std::string> lines;
  std::vector<int> outstanding;
  c->set_messenger(new recording_messenger_t(c.get(), &lines, &outstanding));

  qvector<qstring> paths;
  paths.push_back("//depot/a.txt");
  ASSERT_EQ(c->edit_files(nullptr, paths, 1), 0);
  server.clear_received();

  name_number_packet_t del_file(DEL_FILE);
  del_file.name = "//depot/a.txt";
  read_file_packet_t read_file(READ_FILE);
  read_file.handle = 0;
  read_file.size = 100;
  interpose({
    notice_frame(1, "server says hello"),
    notice_frame(2, "disk almost full"),
    notice_frame(1, ""),
    packet_frame(del_file),
    packet_frame(read_file),
    make_frame(FLUSH_PENDING_MD5S, {}),
  });
  write_local(site_root + "/depot/a.txt", "alpha 2");
  qvector<server_message_t> messages;
  int32_t commit = 0;
  EXPECT_EQ(c->commit_worklist(&messages, &commit, "edit a", 1, 0), 0);
  // The reply to the commit itself still comes through.
  EXPECT_EQ(commit, 2);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "//depot/a.txt");

  // Notices of kind 1 go to the message sink, other kinds are warnings, empty ones nothing.
  // (The server's own notice of the commit comes first.)
  EXPECT_EQ(lines, (std::vector<std::string>{"commit 2: 1 file(s)\n", "server says hello\n"}));
  EXPECT_EQ(outstanding, (std::vector<int>{COMMIT_WORKLIST, COMMIT_WORKLIST}));
  std::vector<std::string> warnings;
  for ( const ui_request_record_t &r : ui.requests_of(ui_code_message) )
    warnings.push_back(r.text);
  EXPECT_EQ(warnings, (std::vector<std::string>{"disk almost full"}));

  // The request went once; every server request got exactly one answer, in order: the server path is no
  // local path inside the work directory (42), handle 0 holds no open file (33), the flush is done.
  const std::vector<recorded_frame_t> frames = server.received();
  ASSERT_EQ(frames.size(), 7u);
  EXPECT_EQ(frames[0].type, COMMIT_WORKLIST);
  for ( size_t i : {1, 2, 3, 6} )
  {
    EXPECT_EQ(frames[i].type, RPC_OK);
    EXPECT_TRUE(frames[i].body.empty());
  }
  for ( const auto &[i, code] : {std::pair{4, 42}, std::pair{5, 33}} )
  {
    EXPECT_EQ(frames[i].type, RPC_FAIL);
    ASSERT_FALSE(frames[i].body.empty());
    EXPECT_EQ(frames[i].body[0], code);
  }
  EXPECT_EQ(c->outstanding_type(), RPC_OK);
  EXPECT_FALSE(c->is_broken());
}

TEST_F(connection_exchange_test_t, an_unreadable_server_request_ends_the_exchange_without_a_reply)
{
  auto c = connect_alice();
  ASSERT_NE(c, nullptr);
  // A READ_FILE body without its byte count.
  reply_with({make_frame(READ_FILE, {0})});
  EXPECT_EQ(c->get_users(nullptr), 53);
  const std::vector<ui_request_record_t> logs = ui.requests_of(ui_code_log);
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(logs[0].text, "Couldn't deserialize packet\n");
  EXPECT_EQ(logs[1].text, "Couldn't deserialize packet\n");
  EXPECT_EQ(server.received().size(), 1u);
}

TEST_F(connection_exchange_test_t, the_message_sink_is_replaced_and_deleted_with_the_connection)
{
  class counted_messenger_t : public arkive_messenger_t
  {
  public:
    explicit counted_messenger_t(int *deleted) : deleted_(deleted) {}
    ~counted_messenger_t() override { ++*deleted_; }

  private:
    int *deleted_;
  };
  int deleted = 0;
  std::unique_ptr<arkive_connection_t> c = connect();
  ASSERT_NE(c, nullptr);
  c->set_messenger(new counted_messenger_t(&deleted));
  c->set_messenger(new counted_messenger_t(&deleted));
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(c->messenger()->wait_seconds(), 60);
  c.reset();
  EXPECT_EQ(deleted, 2);
}

TEST_F(connection_exchange_test_t, the_default_sink_logs_notices)
{
  auto c = connect_alice();
  ASSERT_NE(c, nullptr);
  c->set_messenger(new arkive_messenger_t);
  // Each notice is a line of its own: the next log line does not run on after it.
  c->notify_message("100% done");
  c->notify_message("ended\n");
  const std::vector<ui_request_record_t> logs = ui.requests_of(ui_code_log);
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(logs[0].text, "100% done\n");
  EXPECT_EQ(logs[1].text, "ended\n");
}

}  // namespace
