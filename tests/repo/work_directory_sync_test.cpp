// Sync and commit end to end over TLS: the test server drives the work directory through its own requests.
#include "tests/repo/work_directory_session.h"

#include "core/error_state.h"
#include "core/md5.h"
#include "repo/remote_file.h"

#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

qvector<qstring> paths(std::initializer_list<const char *> items)
{
  qvector<qstring> out;
  for ( const char *item : items )
    out.push_back(item);
  return out;
}

using messages_t = std::vector<std::pair<int, std::string>>;

messages_t messages_of(const qvector<server_message_t> &list)
{
  messages_t out;
  for ( const server_message_t &m : list )
    out.emplace_back(m.code, std::string(m.text.view()));
  return out;
}

std::string md5_hex(const std::string &content)
{
  md5_context_t md5;
  md5_init(&md5);
  md5_update(&md5, content.data(), content.size());
  uint8_t digest[16];
  md5_final(digest, &md5);
  char hex[33];
  return digest_to_hex(digest, hex, sizeof(hex));
}

// The files of a folder (name -> content), without the checksum cache.
std::map<std::string, std::string> files_in(const std::string &folder)
{
  std::map<std::string, std::string> out;
  if ( !fs::exists(folder) )
    return out;
  for ( const auto &entry : fs::directory_iterator(folder) )
    if ( entry.is_regular_file() && entry.path().filename() != ".arkive_cache" )
      out[entry.path().filename().string()] = read_file_text(entry.path().string());
  return out;
}

// The checksum-cache entries of a folder: name -> "size digest"; a cached file must exist.
std::map<std::string, std::string> cache_entries(const std::string &folder)
{
  std::map<std::string, std::string> out;
  std::ifstream in(folder + "/.arkive_cache");
  std::string line;
  while ( std::getline(in, line) )
  {
    std::istringstream words(line);
    std::string time, size, digest, name;
    words >> time >> size >> digest;
    std::getline(words >> std::ws, name);
    out[name] = size + " " + digest;
    const fs::path file = fs::path(folder) / name;
    EXPECT_TRUE(fs::exists(file)) << name << " is cached but not on disk";
  }
  return out;
}

// What the cache must hold for files of these contents.
std::map<std::string, std::string> expected_entries(const std::map<std::string, std::string> &files)
{
  std::map<std::string, std::string> out;
  for ( const auto &[name, content] : files )
    out[name] = std::to_string(content.size()) + " " + md5_hex(content);
  return out;
}

class counting_handler_t : public network_failure_handler_t
{
public:
  bool begin_reconnect(arkive_credentials_t *credentials, qstring *client, const char *reason) override
  {
    ++begins;
    return network_failure_handler_t::begin_reconnect(credentials, client, reason);
  }
  void give_up() override { ++give_ups; }
  int begins = 0;
  int give_ups = 0;
};

class work_directory_sync_test_t : public work_directory_test_t
{
protected:
  void SetUp() override
  {
    work_directory_test_t::SetUp();
    // Commit 2, made from another site: a new revision of a.txt and a new c.txt that ws does not hold yet.
    server.repository().commit_files("bob", "elsewhere", "more", {{"//depot/a.txt", "alpha 2"}, {"//depot/c.txt", "gamma"}});
  }
  std::string depot() const { return local("depot"); }
};

TEST_F(work_directory_sync_test_t, sync_brings_revisions_and_deletions_with_their_checksums)
{
  auto c = connect_site(transport_t::tls);
  ASSERT_NE(c, nullptr);
  const struct
  {
    const char *name;
    qvector<qstring> patterns;
    int32_t revision;
    int32_t options;
    messages_t messages;
    std::map<std::string, std::string> files;
    int32_t held_a; // the revision of a.txt the server records for the site
  } steps[] = {
    {"everything at the latest revision, forced", paths({"//depot/..."}), -1, 4,
     {{0, "//depot/a.txt"}, {0, "//depot/b.txt"}, {0, "//depot/c.txt"}},
     {{"a.txt", "alpha 2"}, {"b.txt", "beta"}, {"c.txt", "gamma"}}, 2},
    {"back to commit 1: c.txt did not exist", paths({"//depot/..."}), 1, 0,
     {{0, "//depot/a.txt"}, {0, "//depot/c.txt"}}, {{"a.txt", "alpha"}, {"b.txt", "beta"}}, 1},
    {"revision 2 of one file", paths({"//depot/a.txt"}), 2, 1, {{0, "//depot/a.txt"}},
     {{"a.txt", "alpha 2"}, {"b.txt", "beta"}}, 2},
    {"the latest revision again", paths({"//depot/...", "//other/..."}), -1, 0,
     {{0, "//depot/c.txt"}, {43, "//other/..."}}, {{"a.txt", "alpha 2"}, {"b.txt", "beta"}, {"c.txt", "gamma"}}, 2},
    {"nothing left to do", paths({"//depot/..."}), -1, 0, {}, {{"a.txt", "alpha 2"}, {"b.txt", "beta"}, {"c.txt", "gamma"}},
     2},
  };
  for ( const auto &step : steps )
  {
    SCOPED_TRACE(step.name);
    qvector<server_message_t> messages;
    EXPECT_EQ(c->sync_files(&messages, step.patterns, step.revision, step.options), 0) << error_detail();
    EXPECT_EQ(messages_of(messages), step.messages);
    EXPECT_EQ(files_in(depot()), step.files);
    EXPECT_EQ(cache_entries(depot()), expected_entries(step.files));
    EXPECT_EQ(server.repository().site_revision("ws", "//depot/a.txt"), step.held_a);
  }
  EXPECT_EQ(c->outstanding_type(), RPC_OK);
  EXPECT_FALSE(c->is_broken());
}

TEST_F(work_directory_sync_test_t, sync_reports_progress_and_its_notice)
{
  auto c = connect_site(transport_t::tls);
  ASSERT_NE(c, nullptr);
  std::vector<std::string> lines;
  c->set_messenger(new recording_lines_t(&lines));
  qvector<server_message_t> messages;
  EXPECT_EQ(c->sync_files(&messages, paths({"//depot/..."}), -1, 0), 0);
  // a.txt and c.txt change: an item count of 2, one step per file, the end.
  std::vector<std::pair<uint8_t, uint64_t>> items;
  for ( const auto &event : progress->events )
    if ( event.first != 1 || event.second == 1 )
      items.push_back(event);
  EXPECT_EQ(items.front(), (std::pair<uint8_t, uint64_t>{5, 2}));
  EXPECT_EQ(items.back(), (std::pair<uint8_t, uint64_t>{0, 0}));
  EXPECT_EQ(std::count(items.begin(), items.end(), std::pair<uint8_t, uint64_t>{1, 1}), 2);
  EXPECT_EQ(progress->titles, (std::vector<std::string>{depot() + "/a.txt", depot() + "/c.txt"}));
  EXPECT_EQ(lines, std::vector<std::string>{"2 file(s) updated\n"});
}

TEST_F(work_directory_sync_test_t, one_revision_goes_to_the_local_path_the_client_names)
{
  auto c = connect_site(transport_t::tls);
  ASSERT_NE(c, nullptr);
  const std::string base = local("compare/a.base");
  EXPECT_EQ(c->sync_one_file("//depot/a.txt", 1, base.c_str()), 0) << error_detail();
  EXPECT_EQ(read_file_text(base), "alpha");
  EXPECT_EQ(c->sync_one_file("//depot/a.txt", -1, base.c_str()), 0);
  EXPECT_EQ(read_file_text(base), "alpha 2");
  // Without a target the revision takes the file's place in the work directory.
  EXPECT_EQ(c->sync_one_file("//depot/a.txt", 1, nullptr), 0);
  EXPECT_EQ(read_file_text(depot() + "/a.txt"), "alpha");
  EXPECT_EQ(server.repository().site_revision("ws", "//depot/a.txt"), 1);
}

TEST_F(work_directory_sync_test_t, one_connection_used_from_two_threads_runs_each_operation_whole)
{
  auto c = connect_site();
  ASSERT_NE(c, nullptr);
  // Revision copies outside the work directory: each is opened only while its own sync is the one under way.
  const std::string copies = fs::path(site_root).parent_path().string() + "/threads-" + fs::path(site_root).filename().string();
  constexpr int rounds = 12;
  qvector<arkive_file_info_t> all_files;
  ASSERT_EQ(c->get_arkive_files(nullptr, &all_files, paths({"//depot/..."}), -1, 3), 0);
  struct outcome_t
  {
    std::vector<int> sync_codes;
    std::vector<int> list_codes;
    std::vector<size_t> listed;
  } outcomes[2];
  const auto work = [&](int id) {
    outcome_t &out = outcomes[id];
    for ( int i = 0; i < rounds; ++i )
    {
      // One thread syncs on even rounds and lists on odd ones, the other the other way round.
      if ( (i + id) % 2 == 0 )
      {
        const std::string copy = copies + "/t" + std::to_string(id) + "-" + std::to_string(i);
        out.sync_codes.push_back(c->sync_one_file("//depot/a.txt", 1, copy.c_str()));
      }
      else
      {
        qvector<arkive_file_info_t> files;
        out.list_codes.push_back(c->get_arkive_files(nullptr, &files, paths({"//depot/..."}), -1, 3));
        out.listed.push_back(files.size());
      }
    }
  };
  std::thread other(work, 1);
  work(0);
  other.join();
  for ( int id = 0; id < 2; ++id )
  {
    SCOPED_TRACE("thread " + std::to_string(id));
    EXPECT_EQ(outcomes[id].sync_codes, std::vector<int>(rounds / 2, 0));
    EXPECT_EQ(outcomes[id].list_codes, std::vector<int>(rounds / 2, 0));
    EXPECT_EQ(outcomes[id].listed, std::vector<size_t>(rounds / 2, all_files.size()));
    for ( int i = id % 2; i < rounds; i += 2 )
      EXPECT_EQ(read_file_text(copies + "/t" + std::to_string(id) + "-" + std::to_string(i)), "alpha") << i;
  }
  EXPECT_EQ(c->outstanding_type(), RPC_OK);
  EXPECT_FALSE(c->is_broken());
}

TEST_F(work_directory_sync_test_t, a_revision_copy_outside_the_work_directory_is_the_only_path_opened_there)
{
  auto c = connect_site(transport_t::tls);
  ASSERT_NE(c, nullptr);
  const std::string copies = fs::path(site_root).parent_path().string() + "/copies-" + fs::path(site_root).filename().string();
  const std::string copy = copies + "/a.base";
  const std::string other = copies + "/other.txt";
  // While the copy is written, the server also tries other paths beside it, and the copy under another name.
  interpose({open_frame(other, FS_OPEN_WRITE), open_frame(copies + "/../" + fs::path(copies).filename().string() + "/a.base", FS_OPEN_WRITE),
             delete_frame(copy)},
            SYNC_ONE_FILE);
  EXPECT_EQ(c->sync_one_file("//depot/a.txt", 1, copy.c_str()), 0) << error_detail();
  EXPECT_EQ(read_file_text(copy), "alpha");
  const std::vector<recorded_frame_t> frames = answers();
  ASSERT_EQ(frames.size(), 3u);
  for ( const recorded_frame_t &frame : frames )
  {
    EXPECT_EQ(decode_answer(frame).code, 42);
  }
  // Nothing but the copy: no other file, no checksum cache (a copy is no file of the work directory).
  std::vector<std::string> names;
  for ( const auto &entry : fs::directory_iterator(copies) )
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"a.base"});
  // Once the request is over, the copy's path is outside like any other.
  server.clear_received();
  interpose({open_frame(copy, FS_OPEN_WRITE)}, SYNC_FILES);
  qvector<server_message_t> messages;
  EXPECT_EQ(c->sync_files(&messages, paths({"//nothing/..."}), -1, 0), 0);
  ASSERT_EQ(answers().size(), 1u);
  EXPECT_EQ(decode_answer(answers()[0]).code, 42);
}

TEST_F(work_directory_sync_test_t, commit_sends_the_changed_files_and_keeps_the_unchanged_ones)
{
  auto c = connect_site(transport_t::tls);
  ASSERT_NE(c, nullptr);
  qvector<server_message_t> messages;
  ASSERT_EQ(c->sync_files(&messages, paths({"//depot/..."}), -1, 4), 0);
  // a.txt is changed, b.txt opened for edit but left alone, d.txt new.
  ASSERT_EQ(c->edit_files(&messages, paths({"//depot/a.txt", "//depot/b.txt"}), 1), 0);
  ASSERT_EQ(messages_of(messages), (messages_t{{0, "//depot/a.txt"}, {0, "//depot/b.txt"}}));
  qvector<int32_t> codes;
  ASSERT_EQ(c->add_files(&codes, paths({"//depot/d.txt"}), 1), 0);
  write_local(depot() + "/a.txt", "alpha 3, edited here");
  write_local(depot() + "/d.txt", std::string(40000, 'd'));
  progress->events.clear();

  int32_t commit = 0;
  EXPECT_EQ(c->commit_worklist(&messages, &commit, "local work", 1, 0), 0) << error_detail();
  EXPECT_EQ(commit, 3);
  EXPECT_EQ(messages_of(messages), (messages_t{{0, "//depot/a.txt"}, {0, "//depot/b.txt"}, {0, "//depot/d.txt"}}));

  // What the server committed, read back through server files.
  const struct
  {
    const char *path;
    std::string content;
  } committed[] = {{"//depot/a.txt", "alpha 3, edited here"}, {"//depot/b.txt", "beta"},
                   {"//depot/d.txt", std::string(40000, 'd')}};
  for ( const auto &row : committed )
  {
    SCOPED_TRACE(row.path);
    remote_file_t *file = nullptr;
    ASSERT_EQ(c->open_submitted_file(&file, row.path, -1), 0);
    std::string content(row.content.size() + 10, '\0');
    uint64_t n = content.size();
    EXPECT_EQ(file->read(&n, content.data()), 0);
    content.resize(size_t(n));
    EXPECT_EQ(content, row.content);
    EXPECT_EQ(file->close(true), 0);
  }

  // The files read for the commit have their checksums recorded and flushed.
  const std::map<std::string, std::string> entries = cache_entries(depot());
  EXPECT_EQ(entries.at("a.txt"), expected_entries({{"a.txt", "alpha 3, edited here"}}).at("a.txt"));
  EXPECT_EQ(entries.at("d.txt"), expected_entries({{"d.txt", std::string(40000, 'd')}}).at("d.txt"));
  // Two files read: an item count of 2, the end.
  ASSERT_FALSE(progress->events.empty());
  EXPECT_NE(std::find(progress->events.begin(), progress->events.end(), std::pair<uint8_t, uint64_t>{5, 2}),
            progress->events.end());
  EXPECT_EQ(progress->events.back(), (std::pair<uint8_t, uint64_t>{0, 0}));
}

TEST_F(work_directory_sync_test_t, a_commit_whose_file_cannot_be_read_commits_nothing)
{
  auto c = connect_site(transport_t::tls);
  ASSERT_NE(c, nullptr);
  qvector<int32_t> codes;
  ASSERT_EQ(c->add_files(&codes, paths({"//depot/missing.txt"}), 1), 0);
  qvector<server_message_t> messages;
  int32_t commit = 0;
  EXPECT_EQ(c->commit_worklist(&messages, &commit, "nothing there", 1, 0), 33);
  EXPECT_NE(error_detail().find(depot() + "/missing.txt"), std::string::npos) << error_detail();
  EXPECT_EQ(commit, 0);
  remote_file_t *file = nullptr;
  EXPECT_EQ(c->open_submitted_file(&file, "//depot/missing.txt", -1), 3);
}

TEST_F(work_directory_sync_test_t, file_operations_change_the_work_directory)
{
  auto c = connect_site(transport_t::tls);
  ASSERT_NE(c, nullptr);
  qvector<server_message_t> messages;
  ASSERT_EQ(c->sync_files(&messages, paths({"//depot/..."}), -1, 4), 0);
  const struct
  {
    const char *name;
    std::function<int(rpc_arkive_connection_t &)> run;
    std::map<std::string, std::string> files;
  } steps[] = {
    {"delete", [&](auto &k) { return k.delete_files(&messages, paths({"//depot/b.txt"}), 1); },
     {{"a.txt", "alpha 2"}, {"c.txt", "gamma"}}},
    {"revert brings the deleted file back", [&](auto &k) { return k.revert_files(&messages, paths({"//depot/b.txt"}), 0); },
     {{"a.txt", "alpha 2"}, {"b.txt", "beta"}, {"c.txt", "gamma"}}},
    {"copy", [&](auto &k) { return k.copy_files(&messages, "//depot/a.txt", "//depot/a copy.txt", 1, 1); },
     {{"a.txt", "alpha 2"}, {"a copy.txt", "alpha"}, {"b.txt", "beta"}, {"c.txt", "gamma"}}},
    {"move", [&](auto &k) { return k.move_files(&messages, "//depot/c.txt", "//depot/e.txt", 1); },
     {{"a.txt", "alpha 2"}, {"a copy.txt", "alpha"}, {"b.txt", "beta"}, {"e.txt", "gamma"}}},
  };
  for ( const auto &step : steps )
  {
    SCOPED_TRACE(step.name);
    EXPECT_EQ(step.run(*c), 0) << error_detail();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].code, 0) << messages[0].text.c_str();
    EXPECT_EQ(files_in(depot()), step.files);
    EXPECT_EQ(cache_entries(depot()), expected_entries(step.files));
  }
}

TEST_F(work_directory_sync_test_t, a_stream_lost_after_a_served_request_ends_with_53_and_no_reconnection)
{
  auto c = connect_site(transport_t::tls);
  ASSERT_NE(c, nullptr);
  counting_handler_t handler;
  c->set_network_failure_handler(&handler);
  // The server writes the files, then goes away before its reply.
  server_fault_t drop;
  drop.action = server_fault_t::drop_before_reply;
  drop.on_type = SYNC_FILES;
  server.add_fault(drop);
  qvector<server_message_t> messages;
  messages.push_back(server_message_t{7, "sentinel"});
  EXPECT_EQ(c->sync_files(&messages, paths({"//depot/..."}), -1, 0), 53);
  EXPECT_EQ(handler.begins, 0);
  EXPECT_EQ(handler.give_ups, 1);
  EXPECT_TRUE(c->is_broken());
  EXPECT_EQ(server.connections(), 1);
  EXPECT_EQ(messages_of(messages), (messages_t{{7, "sentinel"}}));
  // What was served stays served, whole.
  EXPECT_EQ(files_in(depot()), (std::map<std::string, std::string>{{"a.txt", "alpha 2"}, {"c.txt", "gamma"}}));
}

}  // namespace
