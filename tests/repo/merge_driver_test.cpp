// The diff and merge driver against the test server and the disassembler's stand-in: revisions fetched
// into private copies, diffs, merges by every method, their completion and clean-up.
#include "repo/merge_driver.h"

#include "core/error_state.h"
#include "core/md5.h"
#include "core/ui_callback.h"
#include "repo/arkive_connection.h"
#include "repo/disassembler_commands.h"
#include "repo/local_site.h"
#include "repo/packets_sites.h"
#include "repo/packets_users.h"
#include "repo/packets_worklists.h"
#include "repo/plain_fs.h"
#include "repo/revision_copies.h"
#include "tests/repo/disassembler_standin.h"
#include "tests/repo/test_server_client.h"
#include "tests/repo/work_dir_helpers.h"
#include "tests/support/recording_ui_callback.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using strings_t = std::vector<std::string>;

// A post-merge handler that records its calls: the result, the detail text and the calling thread.
class recording_handler_t : public post_merge_handler_t
{
public:
  struct call_t
  {
    int result;
    std::string detail;
    std::thread::id thread;
  };

  void on_merge_finished(int result) override
  {
    std::lock_guard lock(mutex_);
    calls_.push_back({result, error_detail(), std::this_thread::get_id()});
    done_.notify_all();
  }
  // The calls once there is at least one (a test failure after 30 seconds without).
  std::vector<call_t> wait()
  {
    std::unique_lock lock(mutex_);
    EXPECT_TRUE(done_.wait_for(lock, std::chrono::seconds(30), [this] { return !calls_.empty(); }))
      << "the merge did not finish";
    return calls_;
  }
  std::vector<call_t> calls()
  {
    std::lock_guard lock(mutex_);
    return calls_;
  }

private:
  std::mutex mutex_;
  std::condition_variable done_;
  std::vector<call_t> calls_;
};

// Makes every thread started from now on fail to start (its stack cannot be had), until it ends.
class thread_starts_fail_t
{
public:
  thread_starts_fail_t()
  {
    pthread_getattr_default_np(&saved_);
    pthread_attr_t huge;
    pthread_attr_init(&huge);
    pthread_attr_setstacksize(&huge, size_t(1) << 50);
    pthread_setattr_default_np(&huge);
    pthread_attr_destroy(&huge);
  }
  ~thread_starts_fail_t()
  {
    pthread_setattr_default_np(&saved_);
    pthread_attr_destroy(&saved_);
  }
  thread_starts_fail_t(const thread_starts_fail_t &) = delete;
  thread_starts_fail_t &operator=(const thread_starts_fail_t &) = delete;

private:
  pthread_attr_t saved_;
};

template<class Packet>
Packet body_as(const recorded_frame_t &frame, uint8_t type)
{
  Packet packet(type);
  const uint8_t *cursor = frame.body.data();
  size_t remaining = frame.body.size();
  EXPECT_TRUE(packet.deserialize(cursor, remaining, 5));
  return packet;
}

// The requests the server received, one line each: the type's name and the fields that matter here.
strings_t describe_requests(const std::vector<recorded_frame_t> &frames)
{
  strings_t lines;
  for ( const recorded_frame_t &frame : frames )
  {
    switch ( frame.type )
    {
      case SYNC_ONE_FILE:
      {
        const auto p = body_as<sync_one_file_packet_t>(frame, frame.type);
        lines.push_back("SYNC_ONE_FILE " + std::string(p.path.view()) + " " + std::to_string(p.revision) + " "
                        + std::string(p.target.view()));
        break;
      }
      case RESOLVE_FILE:
        lines.push_back("RESOLVE_FILE " + std::string(body_as<name_packet_t>(frame, frame.type).name.view()));
        break;
      case GET_ARKIVE_FILES:
      {
        const auto p = body_as<path_query_packet_t>(frame, frame.type);
        lines.push_back("GET_ARKIVE_FILES " + std::string(p.patterns.empty() ? "" : p.patterns[0].view()) + " "
                        + std::to_string(p.revision) + " " + std::to_string(p.options));
        break;
      }
      default:
        lines.push_back("type " + std::to_string(frame.type));
        break;
    }
  }
  return lines;
}

qvector<qstring> paths(std::initializer_list<const char *> list)
{
  qvector<qstring> result;
  for ( const char *p : list )
    result.push_back(qstring(p));
  return result;
}

// The server holds //depot/m.zdb and //depot/n.z64 at revision 1 on site ws and revision 2 made from
// another site; //depot/m.zdb is opened for edit on ws (so it needs a resolve), //depot/n.z64 is not;
// //depot/o.zdb exists only from the other site. The local site ws has its root in a scratch folder,
// with working files m.zdb, n.z64 and a.txt.
class MergeDriver : public test_server_fixture_t
{
protected:
  void SetUp() override
  {
    saved_tmpdir_ = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
    setenv("TMPDIR", temp.path().c_str(), 1);
    test_server_fixture_t::SetUp();
    server_repository_t &repo = server.repository();
    repo.add_site("other", "bob", "/work/bob", "bob-pc");
    repo.commit_files("alice", "ws", "databases", {{"//depot/m.zdb", "v1"}, {"//depot/n.z64", "w1"}});
    // The other site made the same edits as the working files hold, so that merging the revisions that the
    // server writes into the copies leaves no conflict.
    repo.commit_files("bob", "other", "changes",
                      {{"//depot/m.zdb", "v1 edited"}, {"//depot/n.z64", "w1 edited"}, {"//depot/o.zdb", "o1"}});
    connection = connect_alice();
    ASSERT_NE(connection, nullptr);
    ASSERT_EQ(connection->edit_files(nullptr, paths({"//depot/m.zdb"}), 1), 0) << error_detail();
    server.clear_received();

    work.write("depot/m.zdb", "v1 edited");
    work.write("depot/n.z64", "w1 edited");
    work.write("depot/a.txt", "alpha edited");
    ASSERT_TRUE(private_temp_directory(&copies));
    site.root = work.path().c_str();
  }

  std::string local(const char *name) const { return work.at(std::string("depot/") + name); }
  std::string copy(const std::string &name) const { return std::string(copies.view()) + "/" + name; }
  // The names left in the private folder of revision copies.
  strings_t leftover_copies() const
  {
    strings_t names;
    for ( const fs::directory_entry &entry : fs::directory_iterator(copies.c_str()) )
      names.push_back(entry.path().filename().string());
    return names;
  }
  strings_t received() const { return describe_requests(server.received()); }
  void TearDown() override { setenv("TMPDIR", saved_tmpdir_.c_str(), 1); }

  scratch_dir_t temp; // the temporary directory of this test alone
  disassembler_standin_t standin;
  scratch_dir_t work;
  process_fs_t files;
  local_site_t site{"ws", "", &files};
  std::unique_ptr<rpc_arkive_connection_t> connection;
  std::unique_ptr<recording_ui_callback_t> ui = std::make_unique<recording_ui_callback_t>();
  recording_handler_t handler;
  qstring copies;

private:
  std::string saved_tmpdir_;
};

//--------------------------------------------------------------------------
// Revisions and digests.

TEST_F(MergeDriver, ResolveRevisionAsksOnlyForLastAndCurrent)
{
  const struct
  {
    const char *path;
    int32_t revision;
    int32_t expected;
    strings_t requests;
  } cases[] = {
    {"//depot/m.zdb", -1, 2, {"GET_ARKIVE_FILES //depot/m.zdb -1 3"}},
    {"//depot/m.zdb", -3, 1, {"GET_ARKIVE_FILES //depot/m.zdb -3 1"}},
    {"//depot/m.zdb", 7, 7, {}},
    {"//depot/m.zdb", -4, -4, {}},
    {"//depot/missing.zdb", -1, -1, {"GET_ARKIVE_FILES //depot/missing.zdb -1 3"}},
    {"//depot/...", -1, -1, {"GET_ARKIVE_FILES //depot/... -1 3"}}, // more than one file
  };
  for ( const auto &c : cases )
  {
    server.clear_received();
    EXPECT_EQ(connection->resolve_revision(c.path, c.revision), c.expected) << c.path << " " << c.revision;
    EXPECT_EQ(received(), c.requests) << c.path << " " << c.revision;
  }
}

TEST_F(MergeDriver, RevisionDigestFromTheServerOrTheWorkingFile)
{
  const auto md5_of = [](const std::string &text) {
    md5_context_t md5;
    md5_init(&md5);
    md5_update(&md5, text.data(), text.size());
    std::vector<uint8_t> digest(16);
    md5_final(digest.data(), &md5);
    return digest;
  };
  const struct
  {
    const char *path;
    int32_t revision;
    int code;
    std::vector<uint8_t> expected;
  } cases[] = {
    {"//depot/m.zdb", -1, 0, md5_of("v1 edited")},
    {"//depot/m.zdb", 1, 0, md5_of("v1")},
    {"//depot/m.zdb", -4, 0, md5_of("v1 edited")},
    {"//depot/missing.zdb", -1, 33, {}},
    {"//depot/m.zdb", 9, 33, {}},
  };
  for ( const auto &c : cases )
  {
    std::vector<uint8_t> digest(16, 0xEE);
    const std::string working = local("m.zdb");
    EXPECT_EQ(revision_digest(digest.data(), connection.get(), site, c.path, working.c_str(), c.revision), c.code)
      << c.path << " " << c.revision;
    if ( c.code == 0 )
    {
      EXPECT_EQ(digest, c.expected) << c.path << " " << c.revision;
    }
  }
}

TEST_F(MergeDriver, FetchRevisionGivesTheWorkingFileOrAPrivateCopy)
{
  qstring path, title;
  bool temporary = true;
  ASSERT_EQ(connection->fetch_revision(&path, &temporary, &title, site, "//depot/m.zdb", -4), 0);
  EXPECT_EQ(path, local("m.zdb"));
  EXPECT_FALSE(temporary);
  EXPECT_EQ(title, local("m.zdb"));
  EXPECT_TRUE(received().empty());

  const struct
  {
    int32_t revision;
    const char *name;
    const char *title;
  } cases[] = {
    {-1, "m.#last.zdb", "//depot/m.zdb#last"},
    {-3, "m.#current.zdb", "//depot/m.zdb#current"},
    {2, "m.#2.zdb", "//depot/m.zdb#2"},
  };
  for ( const auto &c : cases )
  {
    server.clear_received();
    ASSERT_EQ(connection->fetch_revision(&path, &temporary, &title, site, "//depot/m.zdb", c.revision), 0)
      << error_detail();
    EXPECT_EQ(path, copy(c.name));
    EXPECT_TRUE(temporary);
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(received(), strings_t{"SYNC_ONE_FILE //depot/m.zdb " + std::to_string(c.revision) + " " + copy(c.name)});
  }
}

TEST_F(MergeDriver, FailedFetchLeavesNoCopyAndTheOutputsAlone)
{
  const struct
  {
    const char *path;
    int32_t revision;
    int code;
    const char *detail;
    size_t requests;
  } cases[] = {
    {"//depot/m.zdb", 9, 32, "9", 1},
    {"//depot/o.zdb", -3, 29, "//depot/o.zdb", 1},
    {"//depot/../m.zdb", -1, 42, "//depot/../m.zdb", 0},
    {"/depot/m.zdb", -4, 42, "/depot/m.zdb", 0},
  };
  for ( const auto &c : cases )
  {
    server.clear_received();
    qstring path("untouched"), title("untouched");
    bool temporary = false;
    EXPECT_EQ(connection->fetch_revision(&path, &temporary, &title, site, c.path, c.revision), c.code) << c.path;
    EXPECT_EQ(error_detail(), c.detail) << c.path;
    EXPECT_EQ(path, "untouched");
    EXPECT_EQ(title, "untouched");
    EXPECT_FALSE(temporary);
    EXPECT_EQ(received().size(), c.requests) << c.path;
  }
  EXPECT_EQ(leftover_copies(), strings_t{});
}

//--------------------------------------------------------------------------
// Diffs.

TEST_F(MergeDriver, DiffRefusesToCompareAFileWithItself)
{
  const struct
  {
    const char *path2;
    int32_t revision1;
    int32_t revision2;
    strings_t requests;
  } cases[] = {
    {nullptr, -1, -1, {"GET_ARKIVE_FILES //depot/m.zdb -1 3", "GET_ARKIVE_FILES //depot/m.zdb -1 3"}},
    {"//depot/m.zdb", -1, 2, {"GET_ARKIVE_FILES //depot/m.zdb -1 3"}},
    {nullptr, -3, 1, {"GET_ARKIVE_FILES //depot/m.zdb -3 1"}},
    {nullptr, -4, -4, {}},
  };
  for ( const auto &c : cases )
  {
    server.clear_received();
    testing::internal::CaptureStdout();
    EXPECT_EQ(connection->diff_revisions(site, "//depot/m.zdb", c.revision1, c.path2, c.revision2, nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "cowardly refusing to compare a file against itself\n");
    EXPECT_EQ(received(), c.requests) << c.revision1 << " " << c.revision2;
  }
  EXPECT_TRUE(standin.runs().empty());
  EXPECT_EQ(leftover_copies(), strings_t{});
}

TEST_F(MergeDriver, DiffOfTheSitesRevisionAgainstTheWorkingFile)
{
  ASSERT_EQ(connection->diff_revisions(site, "//depot/m.zdb", -3, nullptr, -4, nullptr), 0) << error_detail();
  const std::string current = copy("m.#current.zdb");
  EXPECT_EQ(received(), (strings_t{"GET_ARKIVE_FILES //depot/m.zdb -3 1", "SYNC_ONE_FILE //depot/m.zdb -3 " + current,
                                   "GET_ARKIVE_FILES //depot/m.zdb -3 3"}));
  const std::vector<standin_run_t> runs = standin.wait_for_runs(1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].program, "zuk");
  EXPECT_EQ(runs[0].args, (strings_t{"-Omerge:policy=diff:delete_local=on:delete_remote=off:batch=off",
                                     "-MTL//depot/m.zdb#current", "-MTR" + local("m.zdb"), "-MR" + local("m.zdb"),
                                     current}));
  // The disassembler removes the copy it was told is temporary; the working file stays.
  for ( int i = 0; i < 6000 && !leftover_copies().empty(); ++i )
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(leftover_copies(), strings_t{});
  EXPECT_EQ(work.read("depot/m.zdb"), "v1 edited");
}

TEST_F(MergeDriver, DiffOfTwoServerRevisionsWithATemplate)
{
  ASSERT_EQ(connection->diff_revisions(site, "//depot/n.z64", 1, "//depot/n.z64", -1, "%[ %] %< %> %l %r"), 0)
    << error_detail();
  const std::vector<standin_run_t> runs = standin.wait_for_runs(1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].program, "zuk64");
  EXPECT_EQ(runs[0].args, (strings_t{"//depot/n.z64#1", "//depot/n.z64#2", "on", "on", copy("n.#1.z64"),
                                     copy("n.#2.z64")}));
}

TEST_F(MergeDriver, IdenticalRevisionsAreLoggedAndNothingIsLaunched)
{
  work.write("depot/m.zdb", "v1 edited");
  ASSERT_EQ(connection->diff_revisions(site, "//depot/m.zdb", -1, nullptr, -4, nullptr), 0) << error_detail();
  const std::vector<ui_request_record_t> logged = ui->requests_of(ui_code_log);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].text, "files //depot/m.zdb#2 and " + local("m.zdb") + " are identical\n");
  EXPECT_TRUE(standin.runs().empty());
  EXPECT_EQ(leftover_copies(), strings_t{}); // no disassembler will remove the copy
}

TEST_F(MergeDriver, DiffRunsEvenWhenADigestCannotBeHad)
{
  ASSERT_EQ(connection->diff_revisions(site, "//depot/m.zdb", -1, "//depot/gone.zdb", -4, nullptr), 0)
    << error_detail();
  const std::vector<ui_request_record_t> logged = ui->requests_of(ui_code_log);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].text, "cannot get md5 for file " + local("gone.zdb") + "\n");
  EXPECT_EQ(standin.wait_for_runs(1).size(), 1u);
}

TEST_F(MergeDriver, FailedDiffsLeaveNoCopies)
{
  const struct
  {
    const char *name;
    const char *path1;
    int32_t revision1;
    const char *path2;
    int32_t revision2;
    int code;
    std::string detail;
  } cases[] = {
    {"second side invalid", "//depot/m.zdb", -1, "//depot//m.zdb", -4, 42, "//depot//m.zdb"},
    {"second side missing", "//depot/m.zdb", -1, "//depot/gone.zdb", 1, 3, "//depot/gone.zdb"},
    {"first side missing", "//depot/gone.zdb", 1, "//depot/m.zdb", -1, 3, "//depot/gone.zdb"},
    {"not databases", "//depot/a.txt", -1, "//depot/a.txt", -4, 33, "Currently only ZUK databases can be merged"},
  };
  for ( const auto &c : cases )
  {
    EXPECT_EQ(connection->diff_revisions(site, c.path1, c.revision1, c.path2, c.revision2, nullptr), c.code)
      << c.name;
    EXPECT_EQ(error_detail(), c.detail) << c.name;
    EXPECT_EQ(leftover_copies(), strings_t{}) << c.name;
  }
  EXPECT_TRUE(standin.runs().empty());
}

//--------------------------------------------------------------------------
// Merges that never launch the disassembler.

TEST_F(MergeDriver, KeepLocalAndTakeRemoteCallTheHandlerAtOnce)
{
  const struct
  {
    int method;
    const char *path;
    int code;
    std::string detail;
    strings_t requests;
  } cases[] = {
    {merge_keep_local, "//depot/m.zdb", 0, "", {"RESOLVE_FILE //depot/m.zdb"}},
    {merge_keep_local, "//depot/a.txt", 34, "//depot/a.txt", {"RESOLVE_FILE //depot/a.txt"}},
    {merge_take_remote, "//depot/a.txt", 34, "//depot/a.txt",
     {"SYNC_ONE_FILE //depot/a.txt -1 ", "RESOLVE_FILE //depot/a.txt"}},
    {merge_take_remote, "//depot/gone.txt", 3, "//depot/gone.txt", {"SYNC_ONE_FILE //depot/gone.txt -1 "}},
  };
  for ( const auto &c : cases )
  {
    server.clear_received();
    recording_handler_t calls;
    error_arg_text(0, nullptr);
    EXPECT_EQ(connection->merge_file(site, c.path, c.method, &calls, "unused"), c.code) << c.path;
    const std::vector<recording_handler_t::call_t> seen = calls.calls();
    ASSERT_EQ(seen.size(), 1u) << c.path;
    EXPECT_EQ(seen[0].result, c.code) << c.path;
    EXPECT_EQ(seen[0].thread, std::this_thread::get_id());
    if ( c.code != 0 )
    {
      EXPECT_EQ(seen[0].detail, c.detail) << c.path;
    }
    EXPECT_EQ(received(), c.requests) << c.path;
  }
  EXPECT_EQ(server.repository().site_revision("ws", "//depot/m.zdb"), 2);
  EXPECT_TRUE(standin.runs().empty());
  EXPECT_TRUE(ui->requests_of(ui_code_exec_request).empty());
}

TEST_F(MergeDriver, TakeRemoteWithoutAHandler)
{
  EXPECT_EQ(connection->merge_file(site, "//depot/m.zdb", merge_take_remote, nullptr, nullptr), 0) << error_detail();
  EXPECT_EQ(received(), (strings_t{"SYNC_ONE_FILE //depot/m.zdb -1 ", "RESOLVE_FILE //depot/m.zdb"}));
}

TEST_F(MergeDriver, InvalidPathsAreRefusedBeforeAnything)
{
  for ( int method = 1; method <= 6; ++method )
  {
    EXPECT_EQ(connection->merge_file(site, "//depot/./m.zdb", method, &handler, nullptr), 42);
    EXPECT_EQ(error_detail(), "//depot/./m.zdb");
  }
  EXPECT_TRUE(handler.calls().empty());
  EXPECT_TRUE(received().empty());
}

TEST_F(MergeDriver, FailedFetchOfACopyReturnsItsCodeWithoutTheHandler)
{
  EXPECT_EQ(connection->merge_file(site, "//depot/o.zdb", merge_auto_safe, &handler, nullptr), 29);
  EXPECT_EQ(error_detail(), "//depot/o.zdb");
  EXPECT_EQ(received(), strings_t{"SYNC_ONE_FILE //depot/o.zdb -3 " + copy("o.base.zdb")});
  EXPECT_TRUE(handler.calls().empty());
  EXPECT_EQ(leftover_copies(), strings_t{});
  EXPECT_TRUE(standin.runs().empty());
}

TEST_F(MergeDriver, AFailedLaunchCompletesTheMergeOnceWith33)
{
  EXPECT_EQ(connection->merge_file(site, "//depot/a.txt", merge_auto_safe, &handler, nullptr), 33);
  const std::vector<recording_handler_t::call_t> calls = handler.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].result, 33);
  EXPECT_EQ(calls[0].detail, "Currently only ZUK databases can be merged");
  EXPECT_EQ(error_detail(), "Currently only ZUK databases can be merged");
  EXPECT_EQ(received(), (strings_t{"SYNC_ONE_FILE //depot/a.txt -3 " + copy("a.base.txt"),
                                   "SYNC_ONE_FILE //depot/a.txt -1 " + copy("a.remote.txt")}));
  EXPECT_EQ(leftover_copies(), strings_t{});
  EXPECT_TRUE(standin.runs().empty());
}

//--------------------------------------------------------------------------
// Merges by the disassembler.

TEST_F(MergeDriver, EveryDisassemblerMethodWithItsDefaultArguments)
{
  const struct
  {
    int method;
    strings_t options;
  } cases[] = {
    {merge_auto_safe, {"-A", "-Omerge:save:policy=postpone:batch=on"}},
    {merge_auto_local, {"-A", "-Omerge:save:policy=local:batch=on"}},
    {merge_auto_remote, {"-A", "-Omerge:save:policy=remote:batch=on"}},
    {merge_interactive, {"-Omerge:save:policy=postpone:batch=off"}},
  };
  standin.unpack();
  size_t runs = 0;
  for ( const auto &c : cases )
  {
    SCOPED_TRACE("method " + std::to_string(c.method));
    ASSERT_EQ(connection->edit_files(nullptr, paths({"//depot/m.zdb"}), 1), 0);
    server.repository().commit_files("bob", "other", "again", {{"//depot/m.zdb", "v" + std::to_string(c.method)}});
    server.clear_received();
    ui->clear();
    recording_handler_t calls;

    ASSERT_EQ(connection->merge_file(site, "//depot/m.zdb", c.method, &calls, nullptr), 0) << error_detail();
    const std::vector<recording_handler_t::call_t> seen = calls.wait();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].result, 0) << seen[0].detail;
    EXPECT_NE(seen[0].thread, std::this_thread::get_id()); // the watcher completed it

    const std::vector<standin_run_t> recorded = standin.runs();
    ASSERT_EQ(recorded.size(), ++runs);
    strings_t expected = c.options;
    expected.insert(expected.end(), {"-MB" + copy("m.base.zdb"), "-MR" + copy("m.remote.zdb"), local("m.zdb")});
    EXPECT_EQ(recorded.back().program, "zuk");
    EXPECT_EQ(recorded.back().args, expected);

    EXPECT_EQ(received(), (strings_t{"SYNC_ONE_FILE //depot/m.zdb -3 " + copy("m.base.zdb"),
                                     "SYNC_ONE_FILE //depot/m.zdb -1 " + copy("m.remote.zdb"),
                                     "RESOLVE_FILE //depot/m.zdb"}));
    const std::vector<ui_request_record_t> completions = ui->requests_of(ui_code_exec_request);
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_EQ(completions[0].kind, 0); // the watcher waits for the GUI thread
    EXPECT_FALSE(work.exists("depot/m.zdb_ok"));
    EXPECT_EQ(leftover_copies(), strings_t{}); // both copies and every component file
  }
  EXPECT_EQ(server.repository().site_revision("ws", "//depot/m.zdb"), 6);
}

TEST_F(MergeDriver, SixtyFourBitDatabaseWhoseResolveFails)
{
  // //depot/n.z64 is not opened on the site: the server refuses the resolve after a complete merge.
  ASSERT_EQ(connection->merge_file(site, "//depot/n.z64", merge_auto_local, &handler, "-O%i -MB%b -MR%r %l"), 0);
  const std::vector<recording_handler_t::call_t> calls = handler.wait();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].result, 34);
  EXPECT_EQ(calls[0].detail, "//depot/n.z64");
  const std::vector<standin_run_t> runs = standin.runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].program, "zuk64");
  EXPECT_EQ(runs[0].args, (strings_t{"-O", "-MB" + copy("n.base.z64"), "-MR" + copy("n.remote.z64"), local("n.z64")}));
  EXPECT_EQ(received().back(), "RESOLVE_FILE //depot/n.z64");
  EXPECT_EQ(leftover_copies(), strings_t{});
}

TEST_F(MergeDriver, OutcomesJudgedByExitCodeAndMarker)
{
  const std::string m = local("m.zdb");
  const struct
  {
    const char *name;
    int method;
    const char *variable;
    const char *value; // the variable's value; null: the default arguments
    int exit_code;     // -1: the stand-in does its work
    std::string detail;
  } cases[] = {
    {"exit code", merge_auto_safe, nullptr, nullptr, 3, m + ": merge was not finished, exit code 3"},
    {"exit code of an interactive merge", merge_interactive, nullptr, nullptr, 1,
     m + ": merge was not finished, exit code 1"},
    {"empty automatic template", merge_auto_safe, "ARKIVE_AUTO_MERGE", "", -1,
     m + ": some conflicts remain, please resolve manually"},
    {"automatic merge without a marker", merge_auto_remote, "ARKIVE_RMERGE", "-Omerge:policy=remote", -1,
     m + ": some conflicts remain, please resolve manually"},
    {"interactive merge without a marker", merge_interactive, "ARKIVE_MANUAL_MERGE", "-Omerge:policy=postpone", -1,
     m + ": merge has not been completed yet"},
  };
  size_t runs = 0;
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    if ( c.variable != nullptr )
      setenv(c.variable, c.value, 1);
    if ( c.exit_code >= 0 )
      standin.exit_with(c.exit_code);
    work.write("depot/m.zdb_ok", ""); // a marker left by an earlier run must not count
    if ( c.exit_code < 0 )
      fs::remove(work.at("depot/m.zdb_ok"));
    server.clear_received();
    recording_handler_t calls;

    ASSERT_EQ(connection->merge_file(site, "//depot/m.zdb", c.method, &calls, nullptr), 0) << error_detail();
    const std::vector<recording_handler_t::call_t> seen = calls.wait();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].result, 33);
    EXPECT_EQ(seen[0].detail, c.detail);
    EXPECT_EQ(standin.runs().size(), ++runs);
    EXPECT_EQ(received().size(), 2u); // the two fetches and no resolve
    EXPECT_FALSE(work.exists("depot/m.zdb_ok"));
    EXPECT_EQ(leftover_copies(), strings_t{});
    if ( c.variable != nullptr )
      unsetenv(c.variable);
    unsetenv("ZUK_STANDIN_EXIT");
  }
  EXPECT_EQ(server.repository().site_revision("ws", "//depot/m.zdb"), 1);
}

TEST_F(MergeDriver, EnvironmentArgumentsReplaceTheTemplate)
{
  setenv("ARKIVE_AUTO_MERGE", "-Omerge:policy=postpone -MB%b -MR%r %l", 1);
  ASSERT_EQ(connection->merge_file(site, "//depot/m.zdb", merge_auto_safe, &handler, "-ignored %l"), 0);
  EXPECT_EQ(handler.wait()[0].result, 0);
  const std::vector<standin_run_t> runs = standin.runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].args, (strings_t{"-Omerge:policy=postpone", "-MB" + copy("m.base.zdb"),
                                     "-MR" + copy("m.remote.zdb"), local("m.zdb")}));
}

TEST_F(MergeDriver, AnEmptyTemplateStaysEmpty)
{
  ASSERT_EQ(connection->merge_file(site, "//depot/m.zdb", merge_interactive, &handler, ""), 0);
  const std::vector<recording_handler_t::call_t> calls = handler.wait();
  EXPECT_EQ(calls[0].result, 33);
  EXPECT_EQ(calls[0].detail, local("m.zdb") + ": merge has not been completed yet");
  EXPECT_EQ(standin.runs().at(0).args, strings_t{});
}

TEST_F(MergeDriver, MergeReturnsWhileTheDisassemblerRuns)
{
  standin.hold();
  ASSERT_EQ(connection->merge_file(site, "//depot/m.zdb", merge_auto_safe, &handler, nullptr), 0);
  standin.wait_for_runs(1);
  EXPECT_TRUE(handler.calls().empty());
  EXPECT_EQ(leftover_copies().size(), 2u); // the copies stay while the disassembler works on them
  EXPECT_EQ(received().size(), 2u);

  standin.release();
  const std::vector<recording_handler_t::call_t> calls = handler.wait();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].result, 0);
  EXPECT_EQ(received().back(), "RESOLVE_FILE //depot/m.zdb");
  EXPECT_EQ(leftover_copies(), strings_t{});
}

TEST_F(MergeDriver, WithoutAHandlerTheMergeIsWaitedFor)
{
  EXPECT_EQ(connection->merge_file(site, "//depot/m.zdb", merge_auto_local, nullptr, nullptr), 0) << error_detail();
  EXPECT_EQ(standin.runs().size(), 1u);
  EXPECT_EQ(received().back(), "RESOLVE_FILE //depot/m.zdb");
  EXPECT_EQ(ui->requests_of(ui_code_exec_request).size(), 1u);
  EXPECT_EQ(leftover_copies(), strings_t{});

  standin.exit_with(4);
  EXPECT_EQ(connection->merge_file(site, "//depot/n.z64", merge_auto_local, nullptr, nullptr), 33);
  EXPECT_EQ(error_detail(), local("n.z64") + ": merge was not finished, exit code 4");
}

TEST_F(MergeDriver, NoWatcherThreadMeansTheMergeIsWaitedForHere)
{
  int code = -1;
  {
    thread_starts_fail_t no_threads;
    code = connection->merge_file(site, "//depot/m.zdb", merge_auto_safe, &handler, nullptr);
  }
  EXPECT_EQ(code, 0) << error_detail();
  const std::vector<recording_handler_t::call_t> calls = handler.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].result, 0);
  EXPECT_EQ(calls[0].thread, std::this_thread::get_id());
  EXPECT_EQ(received().back(), "RESOLVE_FILE //depot/m.zdb");
  EXPECT_EQ(leftover_copies(), strings_t{});
}

TEST_F(MergeDriver, AConnectionGoneBeforeTheMergeEndsIsNotUsed)
{
  standin.hold();
  ASSERT_EQ(connection->merge_file(site, "//depot/m.zdb", merge_auto_safe, &handler, nullptr), 0);
  standin.wait_for_runs(1);
  connection.reset();
  server.clear_received();
  standin.release();
  const std::vector<recording_handler_t::call_t> calls = handler.wait();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].result, 53);
  EXPECT_TRUE(received().empty());
  EXPECT_EQ(leftover_copies(), strings_t{});
  EXPECT_EQ(server.repository().site_revision("ws", "//depot/m.zdb"), 1);
}

TEST_F(MergeDriver, AConnectionDestroyedWhileTheWatcherResolvesWaitsForTheResolve)
{
  // The completion runs on the watcher, whose RESOLVE_FILE the server answers late; meanwhile the owner
  // destroys the connection.
  ui.reset();
  server_fault_t slow;
  slow.action = server_fault_t::delay_reply;
  slow.on_type = RESOLVE_FILE;
  slow.delay_ms = 300;
  server.add_fault(slow);
  ASSERT_EQ(connection->merge_file(site, "//depot/m.zdb", merge_auto_safe, &handler, nullptr), 0);
  for ( int i = 0; i < 3000 && (received().empty() || received().back() != "RESOLVE_FILE //depot/m.zdb"); ++i )
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(received().back(), "RESOLVE_FILE //depot/m.zdb");
  connection.reset();
  const std::vector<recording_handler_t::call_t> calls = handler.wait();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].result, 0) << calls[0].detail;
  EXPECT_EQ(leftover_copies(), strings_t{});
  EXPECT_EQ(server.repository().site_revision("ws", "//depot/m.zdb"), 2);
}

TEST_F(MergeDriver, WithoutAUserInterfaceTheCompletionRunsOnTheWatcher)
{
  ui.reset();
  ASSERT_EQ(ui_callback, nullptr);
  ASSERT_EQ(connection->merge_file(site, "//depot/m.zdb", merge_auto_safe, &handler, nullptr), 0);
  const std::vector<recording_handler_t::call_t> calls = handler.wait();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].result, 0);
  EXPECT_NE(calls[0].thread, std::this_thread::get_id());
  EXPECT_EQ(leftover_copies(), strings_t{});
}

// A user interface whose application object is gone: GUI-thread requests are answered -1 and never run.
int64_t no_application(int32_t code, ...)
{
  return code == ui_code_exec_request ? -1 : 0;
}

TEST_F(MergeDriver, ARequestTheUserInterfaceCannotRunIsRunByTheWatcher)
{
  ui.reset();
  ui_callback = &no_application;
  ASSERT_EQ(connection->merge_file(site, "//depot/m.zdb", merge_auto_safe, &handler, nullptr), 0);
  const std::vector<recording_handler_t::call_t> calls = handler.wait();
  ui_callback = nullptr;
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].result, 0);
  EXPECT_EQ(received().back(), "RESOLVE_FILE //depot/m.zdb");
  EXPECT_EQ(leftover_copies(), strings_t{});
}

// A site whose merge jobs are counted, to show that merge_file takes its job from the site.
class counting_site_t : public local_site_t
{
public:
  using local_site_t::local_site_t;
  std::unique_ptr<merge_job_t> new_merge_job() override
  {
    ++jobs;
    return local_site_t::new_merge_job();
  }
  int jobs = 0;
};

TEST_F(MergeDriver, TheJobComesFromTheSite)
{
  counting_site_t counting("ws", work.path().c_str(), &files);
  ASSERT_EQ(connection->merge_file(counting, "//depot/m.zdb", merge_auto_safe, nullptr, nullptr), 0);
  ASSERT_EQ(connection->merge_file(counting, "//depot/m.zdb", merge_keep_local, nullptr, nullptr), 35);
  EXPECT_EQ(counting.jobs, 1);
}

TEST(MergeJob, MethodsOtherThanTheDisassemblersAreAnInternalError)
{
  const int methods[] = {0, merge_keep_local, merge_take_remote, 7};
  for ( int method : methods )
    EXPECT_DEATH(
      {
        auto *job = new merge_job_t;
        job->method = method;
        job->local_path = "/w/a.zdb";
        job->start();
      },
      "internal error 2608")
      << method;
}

TEST(MergeJob, CompletionMarkerPath)
{
  EXPECT_EQ(merge_completion_marker("/w/a.zdb"), "/w/a.zdb_ok");
  EXPECT_EQ(merge_completion_marker("/w/b.z64"), "/w/b.zdb_ok");
  EXPECT_EQ(merge_completion_marker("/w.x/c"), "/w.x/c.zdb_ok");
}

} // namespace
