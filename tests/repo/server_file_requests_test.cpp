// The server's own requests on the work directory: one reply each, handles, refusals, capped reads, progress,
// notices, and the requests that end the program.
#include "tests/repo/work_directory_session.h"

#include "core/error_state.h"
#include "repo/abstract_fs.h"
#include "repo/packets_login.h"
#include "tests/server/client_work_directory.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

qvector<qstring> paths(std::initializer_list<const char *> items)
{
  qvector<qstring> out;
  for ( const char *item : items )
    out.push_back(item);
  return out;
}

// The sibling of the work directory that "../outside.txt" names.
std::string fs_outside(const std::string &root)
{
  return std::filesystem::path(root).parent_path().string() + "/outside.txt";
}

// A SYNC_FILES that changes nothing on its own: the server's requests are the interposed ones.
int idle_sync(rpc_arkive_connection_t &c)
{
  qvector<server_message_t> messages;
  return c.sync_files(&messages, paths({"//nothing/..."}), -1, 0);
}

struct expected_answer_t
{
  uint8_t type;
  int32_t code = 0;
  std::string text = "";
};

void expect_answers(const std::vector<recorded_frame_t> &frames, const std::vector<expected_answer_t> &expected)
{
  ASSERT_EQ(frames.size(), expected.size());
  for ( size_t i = 0; i < frames.size(); ++i )
  {
    SCOPED_TRACE("answer " + std::to_string(i));
    const answer_t got = decode_answer(frames[i]);
    EXPECT_EQ(int(got.type), int(expected[i].type));
    EXPECT_EQ(got.code, expected[i].code);
    EXPECT_EQ(got.text, expected[i].text);
  }
}

using server_file_requests_test_t = work_directory_test_t;

TEST_F(server_file_requests_test_t, every_request_gets_exactly_one_reply_and_acts_on_the_work_directory)
{
  auto c = connect_site();
  ASSERT_NE(c, nullptr);
  const uint32_t write = FS_OPEN_WRITE | FS_OPEN_DIGEST;
  interpose({
    open_frame(local("new.txt"), write),
    write_frame(0, "hello "),
    write_frame(0, "world"),
    close_frame(0, true),
    open_frame(local("new.txt"), FS_OPEN_READ),
    read_frame(0, 65536),
    read_frame(0, 65536),
    close_frame(0, true),
    open_frame(local("discarded.txt"), write),
    write_frame(0, "never kept"),
    close_frame(0, false),
    progress_frame(5, 10),
    progress_frame(1, 3),
    make_frame(FLUSH_PENDING_MD5S, {}),
    notice_frame(1, "server says hello"),
    notice_frame(2, "disk almost full"),
    notice_frame(7, ""),
    delete_frame(local("new.txt"), FS_REMOVE_FORGET),
    progress_frame(0, 0),
  });
  EXPECT_EQ(idle_sync(*c), 0) << error_detail();

  expect_answers(answers(), {
    {OPEN_FILE_RESULT, 0, "0"}, {RPC_OK}, {RPC_OK}, {RPC_OK},
    {OPEN_FILE_RESULT, 0, "0"}, {READ_FILE_RESULT, 0, "hello world"}, {READ_FILE_RESULT}, {RPC_OK},
    {OPEN_FILE_RESULT, 0, "0"}, {RPC_OK}, {RPC_OK},
    {RPC_OK}, {RPC_OK}, {RPC_OK}, {RPC_OK}, {RPC_OK}, {RPC_OK}, {RPC_OK}, {RPC_OK},
  });
  EXPECT_FALSE(std::filesystem::exists(local("new.txt")));
  EXPECT_FALSE(std::filesystem::exists(local("discarded.txt")));
  EXPECT_EQ(std::filesystem::directory_iterator(site_root), std::filesystem::directory_iterator())
    << "nothing else may be left in the work directory";

  // Progress reaches the application's sink through the site's file system, titles with the opened paths.
  const std::vector<std::pair<uint8_t, uint64_t>> events = progress->events;
  EXPECT_NE(std::find(events.begin(), events.end(), std::pair<uint8_t, uint64_t>{5, 10}), events.end());
  EXPECT_NE(std::find(events.begin(), events.end(), std::pair<uint8_t, uint64_t>{1, 3}), events.end());
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), (std::pair<uint8_t, uint64_t>{0, 0}));
  ASSERT_FALSE(progress->titles.empty());
  EXPECT_EQ(progress->titles.front(), local("new.txt"));

  // Notices: kind 1 is a log line of the connection's sink (none installed here), another kind a warning,
  // an empty one nothing.
  std::vector<std::string> warnings;
  for ( const ui_request_record_t &r : ui.requests_of(ui_code_message) )
    warnings.push_back(r.text);
  EXPECT_EQ(warnings, std::vector<std::string>{"disk almost full"});
  EXPECT_EQ(c->outstanding_type(), RPC_OK);
  EXPECT_FALSE(c->is_broken());
}

TEST_F(server_file_requests_test_t, change_status_marks_the_files_that_differ_from_what_the_server_expects)
{
  auto c = connect_site();
  ASSERT_NE(c, nullptr);
  write_local(local("same.txt"), "same");
  write_local(local("edited.txt"), "edited locally");
  write_local(local("resized.txt"), "longer than expected");
  const struct
  {
    std::string path;
    std::string expected; // the content the server expects
    bool marked;
  } items[] = {
    {local("same.txt"), "same", false},
    {local("edited.txt"), "edited remotely", true},
    {local("resized.txt"), "short", true},
    {local("missing.txt"), "gone", true},
    {local("same.txt"), "same", false},
    {local("edited.txt"), "edited locally", false},
    {local("../outside.txt"), "not there", true},
    {local("same.txt"), "other", true},
    {local("same.txt"), "same", false},
  };
  change_status_query_packet_t query(CALC_CHANGE_STATUS);
  for ( const auto &item : items )
    query.entries.push_back(expected_status(item.path, item.expected));
  interpose({packet_frame(query)});
  EXPECT_EQ(c->get_users(nullptr), 0);
  const std::vector<recorded_frame_t> frames = answers();
  ASSERT_EQ(frames.size(), 1u);
  const answer_t answer = decode_answer(frames[0]);
  ASSERT_EQ(int(answer.type), int(CALC_CHANGE_STATUS_RESULT));
  ASSERT_EQ(answer.text.size(), 2u);
  for ( size_t j = 0; j < std::size(items); ++j )
    EXPECT_EQ((uint8_t(answer.text[j / 8]) >> (j % 8) & 1) != 0, items[j].marked) << items[j].path << " " << j;
  EXPECT_FALSE(std::filesystem::exists(fs_outside(site_root)));
}

TEST_F(server_file_requests_test_t, kind_one_notices_go_to_the_connections_message_sink)
{
  auto c = connect_site();
  ASSERT_NE(c, nullptr);
  std::vector<std::string> lines;
  c->set_messenger(new recording_lines_t(&lines));
  interpose({notice_frame(1, "50% done"), notice_frame(1, ""), notice_frame(1, "100% done")});
  EXPECT_EQ(c->get_users(nullptr), 0);
  EXPECT_EQ(lines, (std::vector<std::string>{"50% done\n", "100% done\n"}));
  EXPECT_TRUE(ui.requests_of(ui_code_message).empty());
}

TEST_F(server_file_requests_test_t, handles_that_name_no_open_file_are_refused_and_the_exchange_goes_on)
{
  auto c = connect_site();
  ASSERT_NE(c, nullptr);
  write_local(local("a.txt"), "untouched");
  const int32_t bad_handles[] = {-1, 16, 0x7FFFFFFF, 0, 15};
  for ( int32_t handle : bad_handles )
  {
    SCOPED_TRACE("handle " + std::to_string(handle));
    server.clear_received();
    interpose({close_frame(handle, true), read_frame(handle, 10), write_frame(handle, "x")});
    // Read, write and close are served during any request.
    EXPECT_EQ(c->get_users(nullptr), 0);
    const expected_answer_t refused{RPC_FAIL, 33, "bad abstract file handle"};
    expect_answers(answers(), {refused, refused, refused});
  }
  // A handle whose file was closed is empty again.
  server.clear_received();
  interpose({open_frame(local("a.txt"), FS_OPEN_READ), close_frame(0, true), read_frame(0, 4)});
  EXPECT_EQ(idle_sync(*c), 0);
  expect_answers(answers(), {{OPEN_FILE_RESULT, 0, "0"}, {RPC_OK}, {RPC_FAIL, 33, "bad abstract file handle"}});
  EXPECT_EQ(read_file_text(local("a.txt")), "untouched");
}

TEST_F(server_file_requests_test_t, a_file_opened_during_one_request_is_read_and_closed_during_a_later_one)
{
  auto c = connect_site();
  ASSERT_NE(c, nullptr);
  write_local(local("kept.txt"), "kept open");
  interpose({open_frame(local("kept.txt"), FS_OPEN_READ)});
  EXPECT_EQ(idle_sync(*c), 0);
  expect_answers(answers(), {{OPEN_FILE_RESULT, 0, "0"}});

  // EDIT_FILES lets the server neither open nor delete, yet reads, progress and closes are served.
  server.clear_received();
  interpose({read_frame(0, 4), progress_frame(3, 7), read_frame(0, 100), close_frame(0, false), read_frame(0, 1)},
            EDIT_FILES);
  c->edit_files(nullptr, paths({"//depot/a.txt"}), 1);
  expect_answers(answers(), {{READ_FILE_RESULT, 0, "kept"}, {RPC_OK}, {READ_FILE_RESULT, 0, " open"}, {RPC_OK},
                             {RPC_FAIL, 33, "bad abstract file handle"}});
  const std::vector<std::pair<uint8_t, uint64_t>> events = progress->events;
  EXPECT_NE(std::find(events.begin(), events.end(), std::pair<uint8_t, uint64_t>{3, 7}), events.end());
  EXPECT_EQ(read_file_text(local("kept.txt")), "kept open");
  EXPECT_FALSE(c->is_broken());
}

TEST_F(server_file_requests_test_t, a_seventeenth_open_is_refused_and_leaves_nothing_behind)
{
  auto c = connect_site();
  ASSERT_NE(c, nullptr);
  write_local(local("existing.txt"), "old content");
  std::vector<frame_bytes_t> frames;
  for ( int i = 0; i < 16; ++i )
    frames.push_back(open_frame(local("f" + std::to_string(i) + ".txt"), FS_OPEN_WRITE));
  frames.push_back(open_frame(local("seventeenth.txt"), FS_OPEN_WRITE));
  frames.push_back(open_frame(local("existing.txt"), FS_OPEN_WRITE));
  // A freed handle is the lowest one again.
  frames.push_back(close_frame(5, true));
  frames.push_back(open_frame(local("existing.txt"), FS_OPEN_READ));
  frames.push_back(read_frame(5, 100));
  interpose(frames);
  EXPECT_EQ(idle_sync(*c), 0);

  std::vector<expected_answer_t> expected;
  for ( int i = 0; i < 16; ++i )
    expected.push_back({OPEN_FILE_RESULT, 0, std::to_string(i)});
  const expected_answer_t full{RPC_FAIL, 33, std::strerror(EMFILE)};
  expected.push_back(full);
  expected.push_back(full);
  expected.push_back({RPC_OK});
  expected.push_back({OPEN_FILE_RESULT, 0, "5"});
  expected.push_back({READ_FILE_RESULT, 0, "old content"});
  expect_answers(answers(), expected);
  EXPECT_FALSE(std::filesystem::exists(local("seventeenth.txt")));
  EXPECT_EQ(read_file_text(local("existing.txt")), "old content");
  for ( const auto &entry : std::filesystem::directory_iterator(site_root) )
    EXPECT_FALSE(entry.path().filename().string().starts_with("arkive")) << entry.path();
}

TEST_F(server_file_requests_test_t, reads_give_what_the_file_has_never_more_than_asked)
{
  auto c = connect_site();
  ASSERT_NE(c, nullptr);
  const std::string hundred(100, 'h');
  write_local(local("h.txt"), hundred);
  const struct
  {
    uint32_t size;
    std::string first;
    std::string second;
  } cases[] = {
    {65536, hundred, ""},
    {0xFFFFFFFF, hundred, ""},
    {40, hundred.substr(0, 40), hundred.substr(0, 40)},
    {100, hundred, ""},
    {0, "", ""},
  };
  for ( const auto &row : cases )
  {
    SCOPED_TRACE("size " + std::to_string(row.size));
    server.clear_received();
    interpose({open_frame(local("h.txt"), FS_OPEN_READ), read_frame(0, row.size), read_frame(0, row.size),
               close_frame(0, false)});
    EXPECT_EQ(idle_sync(*c), 0);
    expect_answers(answers(), {{OPEN_FILE_RESULT, 0, "0"}, {READ_FILE_RESULT, 0, row.first},
                               {READ_FILE_RESULT, 0, row.second}, {RPC_OK}});
  }
}

TEST_F(server_file_requests_test_t, without_a_site_no_local_file_is_opened_deleted_or_examined)
{
  auto c = connect();
  ASSERT_NE(c, nullptr);
  qstring error;
  ASSERT_TRUE(c->login(&error, "alice", "secret", "alice-pc"));
  c->set_file_system(&login_fs);
  const std::string outside = local("outside.txt");
  write_local(outside, "keep me");
  server.clear_received();
  change_status_query_packet_t scan(CALC_CHANGE_STATUS);
  change_status_item_t item;
  item.path = qstring(std::string_view(outside));
  scan.entries.push_back(item);
  interpose({open_frame(outside, FS_OPEN_WRITE), delete_frame(outside, 0), packet_frame(scan),
             progress_frame(3, 7)});
  // The server answers SYNC_FILES without a site with a failure of its own; its requests came first.
  qvector<server_message_t> messages;
  EXPECT_EQ(c->sync_files(&messages, paths({"//depot/..."}), -1, 0), 5);
  const expected_answer_t outside_root{RPC_FAIL, 42, outside};
  expect_answers(answers(), {outside_root, outside_root, outside_root, {RPC_OK}});
  EXPECT_EQ(read_file_text(outside), "keep me");
  EXPECT_EQ(progress->events, (std::vector<std::pair<uint8_t, uint64_t>>{{3, 7}}));
}

TEST_F(server_file_requests_test_t, open_flags_the_server_cannot_hold_are_ignored)
{
  auto c = connect_site();
  ASSERT_NE(c, nullptr);
  // FS_OPEN_LOCK_HELD claims a lock of the local caller; from the server it means nothing.
  interpose({open_frame(local("l.txt"), FS_OPEN_WRITE | FS_OPEN_LOCK_HELD | 0x100), write_frame(0, "locked?"),
             close_frame(0, true)});
  EXPECT_EQ(idle_sync(*c), 0);
  expect_answers(answers(), {{OPEN_FILE_RESULT, 0, "0"}, {RPC_OK}, {RPC_OK}});
  EXPECT_EQ(read_file_text(local("l.txt")), "locked?");
}

TEST_F(server_file_requests_test_t, files_left_open_are_discarded_with_the_connection)
{
  write_local(local("existing.txt"), "old");
  {
    auto c = connect_site();
    ASSERT_NE(c, nullptr);
    interpose({open_frame(local("existing.txt"), FS_OPEN_WRITE), write_frame(0, "half written"),
               open_frame(local("fresh.txt"), FS_OPEN_WRITE), write_frame(1, "partial")});
    EXPECT_EQ(idle_sync(*c), 0);
  }
  EXPECT_EQ(read_file_text(local("existing.txt")), "old");
  EXPECT_FALSE(std::filesystem::exists(local("fresh.txt")));
  std::vector<std::string> names;
  for ( const auto &entry : std::filesystem::directory_iterator(site_root) )
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"existing.txt"});
}

// A connection whose policy refuses every path that holds "private" with code 25 and its own text.
class refusing_connection_t : public rpc_arkive_connection_t
{
public:
  using rpc_arkive_connection_t::rpc_arkive_connection_t;
  int file_request_allowed(const char *path) override
  {
    if ( std::strstr(path, "private") == nullptr )
      return rpc_arkive_connection_t::file_request_allowed(path);
    error_arg_text(0, "not for the server");
    return 25;
  }
};

TEST_F(server_file_requests_test_t, an_override_that_refuses_a_path_keeps_the_server_from_opening_or_deleting_it)
{
  refusing_connection_t c(open_stream(transport_t::tcp));
  qstring error;
  ASSERT_TRUE(c.login(&error, "alice", "secret", "alice-pc"));
  c.set_file_system(&login_fs);
  ASSERT_EQ(c.use_site(nullptr, "ws", "alice-pc"), 0) << error_detail();
  write_local(local("private.txt"), "mine");
  server.clear_received();
  interpose({open_frame(local("private.txt"), FS_OPEN_WRITE), delete_frame(local("private.txt")),
             open_frame(local("public.txt"), FS_OPEN_WRITE), close_frame(0, true)});
  EXPECT_EQ(idle_sync(c), 0);
  const expected_answer_t refused{RPC_FAIL, 25, "not for the server"};
  expect_answers(answers(), {refused, refused, {OPEN_FILE_RESULT, 0, "0"}, {RPC_OK}});
  EXPECT_EQ(read_file_text(local("private.txt")), "mine");
  EXPECT_TRUE(std::filesystem::exists(local("public.txt")));
}

using server_file_requests_death_test_t = work_directory_test_t;

TEST_F(server_file_requests_death_test_t, opening_or_deleting_outside_the_requests_that_allow_it_ends_the_program)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct
  {
    const char *name;
    bool open;
    uint8_t during;
    int (*run)(rpc_arkive_connection_t &);
  } cases[] = {
    {"DEL_FILE during GET_ARKIVE_FILES", false, GET_ARKIVE_FILES,
     [](rpc_arkive_connection_t &c) { return c.get_arkive_files(nullptr, nullptr, paths({"//depot/..."}), -1, 0); }},
    {"DEL_FILE during EDIT_FILES", false, EDIT_FILES,
     [](rpc_arkive_connection_t &c) { return c.edit_files(nullptr, paths({"//depot/a.txt"}), 1); }},
    {"OPEN_FILE during GET_USERS", true, GET_USERS, [](rpc_arkive_connection_t &c) { return c.get_users(nullptr); }},
  };
  for ( const auto &row : cases )
  {
    SCOPED_TRACE(row.name);
    const std::string message = "Wrong file request " + std::to_string(row.during) + " from the arkive server";
    EXPECT_EXIT(
      {
        auto c = connect_site();
        write_local(local("victim.txt"), "stays");
        interpose({row.open ? open_frame(local("victim.txt"), FS_OPEN_WRITE) : delete_frame(local("victim.txt"))},
                  row.during);
        row.run(*c);
      },
      testing::ExitedWithCode(1), message);
  }
}

TEST_F(server_file_requests_death_test_t, a_notice_of_kind_three_ends_the_program_with_its_text)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
    {
      auto c = connect_site();
      interpose({notice_frame(3, "the server is going down")});
      c->get_users(nullptr);
    },
    testing::ExitedWithCode(1), "the server is going down");
}

}  // namespace
