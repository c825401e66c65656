// The file-system base: the process-wide table, sinks, progress events and whole-file helpers.
#include "repo/abstract_fs.h"

#include "core/error_state.h"
#include "core/file_ops.h"
#include "repo/arkive_messenger.h"
#include "repo/fs_file.h"
#include "repo/locked_fs.h"
#include "repo/md5_cache.h"
#include "repo/plain_fs.h"

#include "tests/support/recording_ui_callback.h"
#include "tests/repo/work_dir_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(FileSystemTable, TheFirstRequestForANameFixesItsKind)
{
  int calls = 0;
  const fs_init_callback_t count = [&calls](abstract_fs_t *) { ++calls; };
  abstract_fs_t *plain = get_file_system("table-a", count, FS_CREATE_WITH_CACHE);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(plain->has_entry_table());
  EXPECT_NE(plain->checksum_cache(), nullptr);

  EXPECT_EQ(get_file_system("table-a", count, FS_CREATE_LOCKED), plain);
  EXPECT_EQ(get_file_system("table-a", nullptr, 0), plain);
  EXPECT_EQ(calls, 1);

  abstract_fs_t *locked = get_file_system("table-b", nullptr, FS_CREATE_LOCKED);
  EXPECT_TRUE(locked->has_entry_table());
  EXPECT_EQ(locked->checksum_cache(), nullptr);
}

TEST(FileSystemTable, NamesAreComparedExactly)
{
  abstract_fs_t *empty = get_file_system("", nullptr, 0);
  EXPECT_NE(get_file_system("/", nullptr, 0), empty);
  EXPECT_NE(get_file_system("/w", nullptr, 0), get_file_system("/w/", nullptr, 0));
  EXPECT_NE(get_file_system("/W", nullptr, 0), get_file_system("/w", nullptr, 0));
  EXPECT_EQ(get_file_system(nullptr, nullptr, 0), empty);
}

TEST(FileSystemTable, ANonEmptyNameIsTheSiteRoot)
{
  EXPECT_EQ(get_file_system("", nullptr, 0)->site_root(), "");
  EXPECT_EQ(get_file_system("/some/site", nullptr, 0)->site_root(), "/some/site");
  EXPECT_EQ(get_file_system("/locked/site", nullptr, FS_CREATE_LOCKED)->site_root(), "/locked/site");
}

TEST(FileSystemTable, TheCallbackSeesTheCacheAndMayAskForOtherRoots)
{
  abstract_fs_t *seen = nullptr;
  abstract_fs_t *made = get_file_system(
    "table-c",
    [&seen](abstract_fs_t *fs) {
      EXPECT_NE(fs->checksum_cache(), nullptr);
      seen = get_file_system("table-d", nullptr, 0);
      fs->set_reporters(new arkive_messenger_t, new arkive_progressor_t);
    },
    FS_CREATE_WITH_CACHE);
  EXPECT_EQ(seen, get_file_system("table-d", nullptr, 0));
  EXPECT_NE(made->messenger(), nullptr);
  EXPECT_NE(made->progressor(), nullptr);
}

// A sink that counts how many of its kind are alive.
struct counted_progressor_t : arkive_progressor_t
{
  explicit counted_progressor_t(int *alive) : alive_(alive) { ++*alive_; }
  ~counted_progressor_t() override { --*alive_; }
  int *alive_;
};

TEST(FileSystemSinks, ReplacedSinksAreDeletedAndTheSameOneIsKept)
{
  int alive = 0;
  {
    locked_fs_t fs;
    auto *first = new counted_progressor_t(&alive);
    fs.set_reporters(nullptr, first);
    fs.set_reporters(nullptr, first); // the same sink again: kept, not deleted
    EXPECT_EQ(fs.progressor(), first);
    EXPECT_EQ(alive, 1);
    fs.set_reporters(nullptr, nullptr); // nothing replaces it
    EXPECT_EQ(fs.progressor(), first);
    fs.set_reporters(nullptr, new counted_progressor_t(&alive));
    EXPECT_EQ(alive, 1);
  }
  EXPECT_EQ(alive, 0);
}

TEST(FileSystemSinks, ReportProgressPassesEventsAndAnswers)
{
  locked_fs_t fs;
  EXPECT_EQ(fs.report_progress(1, 5), 0); // no sink, no cache: nothing happens
  EXPECT_EQ(fs.report_progress(0, 0), 0);
  auto *sink = new recording_progressor_t;
  sink->answers = {0, 1};
  fs.set_reporters(nullptr, sink);
  EXPECT_EQ(fs.report_progress(5, 1000), 0);
  EXPECT_EQ(fs.report_progress(1, 7), 1);
  EXPECT_EQ(fs.report_progress(0, 0), 0);
  const std::vector<std::pair<uint8_t, uint64_t>> expected = {{5, 1000}, {1, 7}, {0, 0}};
  EXPECT_EQ(sink->events, expected);
}

TEST(FileSystemSinks, TheMessengerWritesLogLines)
{
  recording_ui_callback_t ui;
  locked_fs_t fs;
  fs.set_reporters(new arkive_messenger_t, nullptr);
  struct call_t
  {
    static void print(arkive_messenger_t *m, const char *format, ...)
    {
      va_list va;
      va_start(va, format);
      m->print(format, va);
      va_end(va);
    }
  };
  call_t::print(fs.messenger(), "%s: %d\n", "problem", 7);
  const auto logs = ui.requests_of(ui_code_log);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].text, "problem: 7\n");
  EXPECT_EQ(fs.messenger()->wait_seconds(), 60);
}

class WholeFiles : public testing::Test
{
protected:
  void SetUp() override { std::filesystem::current_path(dir_.path()); }

  scratch_dir_t dir_;
};

TEST_F(WholeFiles, ReadWholeFileGivesEveryByte)
{
  dir_.write("f", std::string("a\0b\nc", 5));
  for ( abstract_fs_t *fs : {static_cast<abstract_fs_t *>(new process_fs_t), static_cast<abstract_fs_t *>(new locked_fs_t)} )
  {
    if ( fs->has_entry_table() )
    {
      byte_buffer_t bytes;
      for ( char c : std::string("a\0b\nc", 5) )
        bytes.push_back(uint8_t(c));
      ASSERT_EQ(fs->write_whole_file("f", bytes), 0);
    }
    byte_buffer_t buf;
    EXPECT_EQ(fs->read_whole_file(&buf, "f"), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(buf.data()), buf.size()), std::string("a\0b\nc", 5));
    delete fs;
  }
}

TEST_F(WholeFiles, ReadingAMissingFileLeavesTheBufferAlone)
{
  process_fs_t fs;
  byte_buffer_t buf;
  buf.push_back('k');
  EXPECT_EQ(fs.read_whole_file(&buf, "missing"), 33);
  ASSERT_EQ(buf.size(), 1u);
  EXPECT_EQ(buf[0], 'k');
  locked_fs_t locked;
  EXPECT_EQ(locked.read_whole_file(&buf, "missing"), 33);
  EXPECT_EQ(buf.size(), 1u);
}

TEST_F(WholeFiles, WriteWholeFileReplacesAndOptionallyRecordsTheDigest)
{
  process_fs_t fs;
  attach_md5_cache(&fs);
  dir_.write("w", "old");
  byte_buffer_t bytes;
  for ( char c : std::string("new") )
    bytes.push_back(uint8_t(c));
  auto *sink = new recording_progressor_t;
  fs.set_reporters(nullptr, sink);
  EXPECT_EQ(fs.write_whole_file("w", bytes, false), 0);
  EXPECT_EQ(dir_.read("w"), "new");
  fs.flush_cache();
  EXPECT_FALSE(dir_.exists(".arkive_cache"));
  EXPECT_EQ(fs.write_whole_file("w", bytes, true), 0);
  fs.flush_cache();
  EXPECT_TRUE(dir_.read(".arkive_cache").ends_with(" 22AF645D1859CB5CA6DA0C484F1F37EA w\n")); // MD5 of "new"
  EXPECT_TRUE(sink->titles.empty()); // whole-file helpers report no progress
  EXPECT_TRUE(sink->events.empty());
}

TEST_F(WholeFiles, WriteWholeFileIntoAnImpossiblePlaceFails)
{
  process_fs_t fs;
  dir_.write("file", "x");
  byte_buffer_t bytes;
  bytes.push_back('y');
  EXPECT_EQ(fs.write_whole_file("file/below", bytes), 33);
  EXPECT_EQ(dir_.read("file"), "x");
}

} // namespace
