// Server files read and written by handle: the requests on the wire, short and long replies, failures.
#include "tests/repo/test_server_client.h"

#include "core/error_state.h"
#include "repo/packets_login.h"
#include "repo/packets_worklists.h"
#include "repo/remote_file.h"
#include "tests/support/recording_ui_callback.h"

#include <cstring>
#include <string>

namespace {

class counting_handler_t : public network_failure_handler_t
{
public:
  void give_up() override { ++give_ups; }
  int give_ups = 0;
};

frame_bytes_t blob_frame(uint8_t type, const std::string &bytes)
{
  blob_packet_t p(type);
  p.data.resize(bytes.size());
  std::copy(bytes.begin(), bytes.end(), p.data.begin());
  return packet_frame(p);
}

class remote_file_test_t : public test_server_fixture_t
{
protected:
  // An opened server file of //depot/a.txt ("alpha"), or null with a test failure.
  remote_file_t *open_alpha(rpc_arkive_connection_t &c)
  {
    remote_file_t *file = nullptr;
    EXPECT_EQ(c.open_submitted_file(&file, "//depot/a.txt", -1), 0) << error_detail();
    EXPECT_NE(file, nullptr);
    server.clear_received();
    return file;
  }
  void reply_with(std::vector<frame_bytes_t> frames, uint8_t on_type)
  {
    server_fault_t fault;
    fault.action = server_fault_t::raw_reply;
    fault.on_type = on_type;
    fault.frames = std::move(frames);
    server.add_fault(std::move(fault));
  }

  recording_ui_callback_t ui;
};

TEST_F(remote_file_test_t, reads_a_revision_in_pieces_and_closes_it)
{
  auto c = connect_alice(transport_t::tls);
  ASSERT_NE(c, nullptr);
  remote_file_t *file = nullptr;
  ASSERT_EQ(c->open_submitted_file(&file, "//depot/a.txt", -1), 0) << error_detail();
  ASSERT_NE(file, nullptr);
  const int32_t handle = file->handle();
  {
    const std::vector<recorded_frame_t> frames = server.received();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].type, OPEN_SUBMITTED_FILE);
    EXPECT_EQ(frames[0].body, wire({"//depot/a.txt", 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1}));
  }
  server.clear_received();

  const struct
  {
    uint64_t asked;
    std::string bytes; // what the read stores, its count the new n
  } reads[] = {{3, "alp"}, {10, "ha"}, {10, ""}};
  for ( const auto &row : reads )
  {
    char buffer[16] = {};
    uint64_t n = row.asked;
    EXPECT_EQ(file->read(&n, buffer), 0);
    EXPECT_EQ(n, row.bytes.size());
    EXPECT_EQ(std::string(buffer, size_t(n)), row.bytes);
  }
  EXPECT_EQ(file->close(true), 0);

  const std::vector<recorded_frame_t> frames = server.received();
  ASSERT_EQ(frames.size(), 4u);
  for ( size_t i = 0; i < 3; ++i )
  {
    EXPECT_EQ(frames[i].type, READ_FILE);
    EXPECT_EQ(frames[i].body, wire({handle, int(reads[i].asked)}));
  }
  EXPECT_EQ(frames[3].type, CLOSE_FILE);
  EXPECT_EQ(frames[3].body, wire({handle, 1}));
  EXPECT_EQ(c->outstanding_type(), RPC_OK);
  EXPECT_FALSE(c->is_broken());
}

TEST_F(remote_file_test_t, a_file_the_server_cannot_open_gives_its_code_and_no_object)
{
  auto c = connect_alice();
  ASSERT_NE(c, nullptr);
  remote_file_t *file = nullptr;
  EXPECT_EQ(c->open_submitted_file(&file, "//depot/none.txt", -1), 3);
  EXPECT_EQ(error_detail(), "//depot/none.txt");
  EXPECT_EQ(file, nullptr);
}

TEST_F(remote_file_test_t, replies_other_than_the_expected_one)
{
  const struct
  {
    const char *name;
    std::vector<frame_bytes_t> reply;
    int code;
    const char *detail;
  } cases[] = {
    {"RPC_FAIL passes the server's code and text", {[] {
       code_text_packet_t fail(RPC_FAIL);
       fail.code = 21;
       fail.text = "no such handle";
       return packet_frame(fail);
     }()}, 21, "no such handle"},
    {"another reply type", {make_frame(RPC_OK, {})}, 47, "10"},
    // A read cannot do without the bytes: a "success" that carries no block is a wrong reply.
    {"RPC_FAIL with code 0 carries no block", {fail_frame(0, "fine")}, 47, "11"},
  };
  for ( const auto &row : cases )
  {
    SCOPED_TRACE(row.name);
    auto c = connect_alice();
    ASSERT_NE(c, nullptr);
    remote_file_t *file = open_alpha(*c);
    ASSERT_NE(file, nullptr);
    reply_with(row.reply, READ_FILE);
    char buffer[8] = {};
    uint64_t n = sizeof(buffer);
    EXPECT_EQ(file->read(&n, buffer), row.code);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(error_detail(), row.detail);
    EXPECT_EQ(file->close(false), 0);
    EXPECT_FALSE(c->is_broken());
  }
}

TEST_F(remote_file_test_t, bytes_beyond_the_count_asked_for_are_dropped_with_a_warning)
{
  auto c = connect_alice();
  ASSERT_NE(c, nullptr);
  remote_file_t *file = open_alpha(*c);
  ASSERT_NE(file, nullptr);
  reply_with({blob_frame(READ_FILE_RESULT, "0123456789")}, READ_FILE);
  char buffer[8];
  std::memset(buffer, '#', sizeof(buffer));
  uint64_t n = 4;
  EXPECT_EQ(file->read(&n, buffer), 0);
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(std::string(buffer, sizeof(buffer)), "0123####");
  const std::vector<ui_request_record_t> logs = ui.requests_of(ui_code_log);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].text, "warning: READ_FILE: client sent more bytes (10) than was requested (4)\n");
  EXPECT_EQ(file->close(true), 0);
}

TEST_F(remote_file_test_t, a_refused_write_stores_nothing_and_counts_nothing)
{
  auto c = connect_alice();
  ASSERT_NE(c, nullptr);
  remote_file_t *file = open_alpha(*c);
  ASSERT_NE(file, nullptr);
  uint64_t n = 5;
  EXPECT_EQ(file->write(&n, "bytes"), 33);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(error_detail(), "a committed revision cannot be written");
  const std::vector<recorded_frame_t> frames = server.received();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].type, WRITE_FILE);
  EXPECT_EQ(frames[0].body, wire({file->handle(), 5, 'b', 'y', 't', 'e', 's'}));
  EXPECT_EQ(file->close(false), 0);
}

TEST_F(remote_file_test_t, a_lost_stream_gives_53_gives_up_and_never_reconnects)
{
  auto c = connect_alice();
  ASSERT_NE(c, nullptr);
  counting_handler_t handler;
  c->set_network_failure_handler(&handler);
  remote_file_t *file = open_alpha(*c);
  ASSERT_NE(file, nullptr);
  server_fault_t drop;
  drop.action = server_fault_t::drop_before_reply;
  drop.on_type = READ_FILE;
  server.add_fault(drop);
  char buffer[8];
  uint64_t n = sizeof(buffer);
  EXPECT_EQ(file->read(&n, buffer), 53);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(handler.give_ups, 1);
  EXPECT_TRUE(c->is_broken());
  // The close cannot reach the server either; the object is gone all the same.
  EXPECT_EQ(file->close(true), 53);
  EXPECT_EQ(handler.give_ups, 2);
  EXPECT_EQ(server.connections(), 1);
}

TEST_F(remote_file_test_t, seek_and_tell_are_internal_errors)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto c = connect_alice();
  ASSERT_NE(c, nullptr);
  remote_file_t *file = open_alpha(*c);
  ASSERT_NE(file, nullptr);
  EXPECT_EXIT(file->seek(0), testing::ExitedWithCode(1), "internal error 2362");
  EXPECT_EXIT(file->tell(), testing::ExitedWithCode(1), "internal error 2363");
  EXPECT_EQ(file->close(false), 0);
}

}  // namespace
