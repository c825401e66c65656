// The change scan: the bit vector's layout, every mode's marking rules, cache reuse and re-hashing, the
// cache files it writes, progress events, problem reports and cancellation.
#include "repo/change_scan.h"

#include "core/file_ops.h"
#include "core/md5.h"
#include "repo/abstract_fs.h"
#include "repo/arkive_errors.h"
#include "repo/arkive_messenger.h"
#include "repo/locked_fs.h"
#include "repo/md5_cache.h"
#include "repo/plain_fs.h"
#include "repo/wire_records.h"

#include "tests/repo/work_dir_helpers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct digest_t
{
  uint8_t bytes[16];
};

digest_t md5_of(const std::string &text)
{
  md5_context_t ctx;
  md5_init(&ctx);
  md5_update(&ctx, text.data(), text.size());
  digest_t d;
  md5_final(d.bytes, &ctx);
  return d;
}

std::string hex(const digest_t &d)
{
  char buf[33];
  return digest_to_hex(d.bytes, buf, sizeof(buf));
}

change_status_item_t item(const std::string &path, int64_t size, const digest_t &digest)
{
  change_status_item_t i;
  i.path = path.c_str();
  i.size = uint64_t(size);
  std::memcpy(i.md5, digest.bytes, 16);
  return i;
}

std::vector<bool> bits_of(const byte_buffer_t &bits, size_t count)
{
  std::vector<bool> result;
  for ( size_t j = 0; j < count; ++j )
    result.push_back(change_bit(bits, j));
  return result;
}

class recording_messenger_t : public arkive_messenger_t
{
public:
  explicit recording_messenger_t(std::vector<std::string> *lines) : lines_(lines) {}
  void print(const char *format, va_list va) override
  {
    qstring line;
    vformat_to_string(&line, format, va);
    lines_->emplace_back(line.c_str());
  }

private:
  std::vector<std::string> *lines_;
};

using events_t = std::vector<std::pair<uint8_t, uint64_t>>;

bool has_event(const events_t &events, uint8_t kind)
{
  for ( const auto &[k, amount] : events )
    if ( k == kind )
      return true;
  return false;
}

class ChangeScan : public testing::Test
{
protected:
  void SetUp() override
  {
    attach_md5_cache(&fs_);
    progress_ = new recording_progressor_t;
    fs_.set_reporters(new recording_messenger_t(&lines_), progress_);
  }

  std::string at(const std::string &relative) const { return dir_.at(relative); }

  // Moves a file's modification time by seconds, its content unchanged.
  void touch(const std::string &relative, int seconds)
  {
    const fs::path path(at(relative));
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(seconds));
  }

  file_info_t status_of(const std::string &relative)
  {
    file_info_t status;
    EXPECT_EQ(file_stat(at(relative).c_str(), &status), 0);
    return status;
  }

  // Puts an entry into the cache files as an earlier scan would have, then starts a fresh cache.
  void remember(const std::string &relative, const digest_t &digest, const std::optional<file_info_t> &status = {})
  {
    fs_.checksum_cache()->record(at(relative).c_str(), status ? *status : status_of(relative), digest.bytes);
    fs_.flush_cache();
    attach_md5_cache(&fs_);
  }

  int scan(const std::vector<change_status_item_t> &items, uint32_t mode)
  {
    qvector<change_status_item_t> list;
    for ( const change_status_item_t &i : items )
      list.push_back(i);
    progress_->events.clear();
    lines_.clear();
    return fs_.scan_changes(&bits_, list, mode);
  }

  scratch_dir_t dir_;
  process_fs_t fs_;
  recording_progressor_t *progress_ = nullptr; // owned by fs_
  std::vector<std::string> lines_;
  byte_buffer_t bits_;
};

TEST_F(ChangeScan, OneBitPerItemLowBitFirst)
{
  std::vector<change_status_item_t> items;
  for ( int j = 0; j < 9; ++j )
  {
    const std::string name = "f" + std::to_string(j);
    dir_.write(name, "same");
    const bool differs = j == 0 || j == 3 || j == 8;
    items.push_back(item(at(name), 4, md5_of(differs ? "diff" : "same")));
  }
  EXPECT_EQ(scan(items, 0), 0);
  ASSERT_EQ(bits_.size(), 2u);
  EXPECT_EQ(bits_[0], 0x09);
  EXPECT_EQ(bits_[1], 0x01);

  EXPECT_EQ(scan({}, 0), 0);
  EXPECT_TRUE(bits_.empty());
}

struct mark_case_t
{
  const char *name;
  uint32_t mode;
  std::optional<std::string> local; // nullopt: missing; "<dir>": a directory
  int64_t expected_size;
  std::string expected_content; // whose digest the server expects
  bool marked;
};

void PrintTo(const mark_case_t &c, std::ostream *os)
{
  *os << c.name;
}

const mark_case_t mark_cases[] = {
  {"SameContent", 0, "abc", 3, "abc", false},
  {"SameSizeOtherContent", 0, "abc", 3, "xyz", true},
  {"OtherSize", 0, "abcd", 3, "abc", true},
  {"EmptyAsExpected", 0, "", 0, "", false},
  {"EmptyWithOtherDigest", 0, "", 0, "x", true},
  {"MissingWhereNothingIsExpected", 0, std::nullopt, 0, "", false},
  {"MissingWhereFiveBytesAreExpected", 0, std::nullopt, 5, "12345", true},
  {"LocalFileWhereNothingIsExpected", 0, "abc", 0, "", true},
  {"UnknownExpectedSize", 0, "abc", -1, "abc", true},
  {"UnknownExpectedSizeMissing", 0, std::nullopt, -1, "", true},
  {"DirectoryIsMarked", 0, "<dir>", 0, "", true},
  {"Mode1MissingIsNotMarked", 1, std::nullopt, 5, "12345", false},
  {"Mode1EmptyLocalIsNotMarked", 1, "", 5, "12345", false},
  {"Mode1ShorterLocalIsMarked", 1, "ab", 5, "12345", true},
  {"Mode1SameSizeOtherContentIsMarked", 1, "abc", 3, "xyz", true},
  {"Mode1SameContent", 1, "abc", 3, "abc", false},
  {"Mode1DirectoryIsMarked", 1, "<dir>", 0, "", true},
  {"Mode2MissingFollowsTheGeneralRules", 2, std::nullopt, 5, "12345", true},
  {"Mode2EmptyLocalFollowsTheGeneralRules", 2, "", 5, "12345", true},
  {"Mode3SameContent", 3, "abc", 3, "abc", false},
  {"Mode3MissingWhereNothingIsExpected", 3, std::nullopt, 0, "", false},
  {"Mode3DirectoryIsMarked", 3, "<dir>", 0, "", true},
};

class ChangeScanMarks : public ChangeScan, public testing::WithParamInterface<mark_case_t>
{
};

TEST_P(ChangeScanMarks, MarksTheItemAsTheRulesSay)
{
  const mark_case_t &c = GetParam();
  if ( c.local == "<dir>" )
    fs::create_directory(at("item"));
  else if ( c.local )
    dir_.write("item", *c.local);
  // The first item is a plain unchanged file: each case must leave its neighbour's bit alone.
  dir_.write("neighbour", "n");
  scan({item(at("neighbour"), 1, md5_of("n")), item(at("item"), c.expected_size, md5_of(c.expected_content))}, c.mode);
  EXPECT_EQ(bits_of(bits_, 2), (std::vector<bool>{false, c.marked}));
}

INSTANTIATE_TEST_SUITE_P(EveryMode, ChangeScanMarks, testing::ValuesIn(mark_cases),
                         [](const testing::TestParamInfo<mark_case_t> &info) { return std::string(info.param.name); });

TEST_F(ChangeScan, CachedDigestIsUsedWithoutReadingTheFile)
{
  dir_.write("f", "real content");
  // The cache claims another digest for the file's exact status: only the cache can explain the answers.
  remember("f", md5_of("cached"));
  EXPECT_EQ(scan({item(at("f"), 12, md5_of("cached")), item(at("f"), 12, md5_of("real content"))}, 0), 0);
  EXPECT_EQ(bits_of(bits_, 2), (std::vector<bool>{false, true}));
  EXPECT_FALSE(has_event(progress_->events, 4));
  EXPECT_TRUE(progress_->titles.empty()); // nothing was opened
}

TEST_F(ChangeScan, CacheEntryOfAnotherStatusIsStale)
{
  dir_.write("f", "real content");
  file_info_t older = status_of("f");
  older.modification_time -= 1ull << 32;
  remember("f", md5_of("cached"), older);
  EXPECT_EQ(scan({item(at("f"), 12, md5_of("cached"))}, 0), 0);
  EXPECT_EQ(bits_of(bits_, 1), std::vector<bool>{true});
  EXPECT_TRUE(has_event(progress_->events, 4));
}

TEST_F(ChangeScan, StaleEntryIsRehashedAndItsDirectoryCacheFileRewritten)
{
  dir_.write("d/one", "first");
  dir_.write("d/two", "second");
  dir_.write("d/three", "third, changed");
  remember("d/one", md5_of("first"));
  remember("d/two", md5_of("second"));
  file_info_t stale = status_of("d/three");
  stale.modification_time -= 5ull << 32;
  remember("d/three", md5_of("third"), stale);

  EXPECT_EQ(scan({item(at("d/one"), 5, md5_of("first")), item(at("d/two"), 6, md5_of("second")),
                  item(at("d/three"), 14, md5_of("third"))},
                 0),
            0);
  EXPECT_EQ(bits_of(bits_, 3), (std::vector<bool>{false, false, true}));

  const file_info_t now = status_of("d/three");
  const std::string line = std::to_string(now.modification_time) + " 14 " + hex(md5_of("third, changed")) + " three\n";
  EXPECT_NE(dir_.read("d/.arkive_cache").find(line), std::string::npos) << dir_.read("d/.arkive_cache");

  // The next scan finds the new digest in the cache and reads nothing.
  attach_md5_cache(&fs_);
  EXPECT_EQ(scan({item(at("d/three"), 14, md5_of("third, changed"))}, 0), 0);
  EXPECT_EQ(bits_of(bits_, 1), std::vector<bool>{false});
  EXPECT_FALSE(has_event(progress_->events, 4));
}

TEST_F(ChangeScan, TouchedFilesAreRehashedOnceAndStayUnmarked)
{
  dir_.write("a", "alpha");
  dir_.write("b", "beta");
  const std::vector<change_status_item_t> items = {item(at("a"), 5, md5_of("alpha")), item(at("b"), 4, md5_of("beta"))};
  EXPECT_EQ(scan(items, 0), 0);
  EXPECT_EQ(bits_of(bits_, 2), (std::vector<bool>{false, false}));
  EXPECT_EQ(progress_->events, (events_t {{5, 2}, {1, 1}, {1, 1}, {0, 0}, {4, 9}, {1, 5}, {1, 4}, {0, 0}}));

  EXPECT_EQ(scan(items, 0), 0);
  EXPECT_EQ(progress_->events, (events_t {{5, 2}, {1, 1}, {1, 1}, {0, 0}, {0, 0}}));

  touch("b", 10);
  EXPECT_EQ(scan(items, 0), 0);
  EXPECT_EQ(bits_of(bits_, 2), (std::vector<bool>{false, false}));
  EXPECT_EQ(progress_->events, (events_t {{5, 2}, {1, 1}, {1, 1}, {0, 0}, {4, 4}, {1, 4}, {0, 0}}));
}

TEST_F(ChangeScan, ReportedProblemsAreCountedAndPrinted)
{
  dir_.write("ok", "fine");
  fs::create_directory(at("dir"));
  std::vector<change_status_item_t> items = {item(at("ok"), 4, md5_of("fine")), item(at("dir"), 0, md5_of(""))};
  EXPECT_EQ(scan(items, SCAN_MODE_REPORT_PROBLEMS), ARKIVE_MESSAGE);
  EXPECT_EQ(arkive_error_text(ARKIVE_MESSAGE), "there is 1 problematic file");
  EXPECT_EQ(lines_, std::vector<std::string>{at("dir") + " : not a regular file\n"});
  EXPECT_EQ(bits_of(bits_, 2), (std::vector<bool>{false, true}));
  EXPECT_FALSE(has_event(progress_->events, 3));

  items.push_back(item(at("missing"), 3, md5_of("abc")));
  EXPECT_EQ(scan(items, SCAN_MODE_REPORT_PROBLEMS), ARKIVE_MESSAGE);
  EXPECT_EQ(arkive_error_text(ARKIVE_MESSAGE), "there are 2 problematic files");
  EXPECT_EQ(lines_, (std::vector<std::string>{at("dir") + " : not a regular file\n",
                                              at("missing") + ": No such file or directory\n"}));
  EXPECT_EQ(bits_of(bits_, 3), (std::vector<bool>{false, true, true}));

  // Other modes neither print nor count.
  EXPECT_EQ(scan(items, 0), 0);
  EXPECT_TRUE(lines_.empty());
}

TEST_F(ChangeScan, WithoutProblemsTheByteTotalIsReported)
{
  dir_.write("a", "12345");
  dir_.write("b", "123");
  EXPECT_EQ(scan({item(at("a"), 5, md5_of("12345")), item(at("b"), 9, md5_of("other"))}, SCAN_MODE_REPORT_PROBLEMS), 0);
  EXPECT_EQ(bits_of(bits_, 2), (std::vector<bool>{false, true}));
  ASSERT_FALSE(progress_->events.empty());
  EXPECT_EQ(progress_->events.back(), (std::pair<uint8_t, uint64_t> {3, 8}));
  EXPECT_TRUE(lines_.empty());
}

TEST_F(ChangeScan, PipesAreNeverOpened)
{
  ASSERT_EQ(mkfifo(at("pipe").c_str(), 0600), 0);
  for ( const uint32_t mode : {0u, 1u, 3u} )
  {
    scan({item(at("pipe"), 0, md5_of(""))}, mode);
    EXPECT_EQ(bits_of(bits_, 1), std::vector<bool>{true}) << mode;
    EXPECT_TRUE(progress_->titles.empty());
  }
}

TEST_F(ChangeScan, CancellingTheStatusPassEndsTheScan)
{
  dir_.write("a", "a");
  dir_.write("b", "b");
  progress_->answers = {0, 0, 1};
  EXPECT_EQ(scan({item(at("a"), 1, md5_of("a")), item(at("b"), 1, md5_of("b"))}, SCAN_MODE_REPORT_PROBLEMS),
            ARKIVE_CANCELED);
  EXPECT_EQ(progress_->events, (events_t {{5, 2}, {1, 1}, {1, 1}, {0, 0}}));
}

TEST_F(ChangeScan, CancellingWhileHashingEndsTheScanAndKeepsWhatWasHashed)
{
  dir_.write("a", "a");
  dir_.write("b", "b");
  // Items, two status steps, the end of the pass, the hashing total, then a's block, then b's block.
  progress_->answers = {0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(scan({item(at("a"), 1, md5_of("a")), item(at("b"), 1, md5_of("b"))}, 0), ARKIVE_CANCELED);
  EXPECT_EQ(progress_->events.back(), (std::pair<uint8_t, uint64_t> {0, 0}));
  EXPECT_NE(dir_.read(".arkive_cache").find(" a\n"), std::string::npos);
  EXPECT_EQ(dir_.read(".arkive_cache").find(" b\n"), std::string::npos);
}

TEST_F(ChangeScan, LongListsGiveTheSameAnswersInItemOrder)
{
  // Long enough for statuses to be read ahead on several threads, over more than one chunk. Items come
  // back to the same 700 paths, so that few files need creating.
  constexpr int count = 5000;
  constexpr int paths = 700;
  std::vector<change_status_item_t> items;
  std::vector<bool> expected;
  std::vector<std::string> expected_lines;
  for ( int j = 0; j < count; ++j )
  {
    const int k = j % paths;
    const std::string name = "d" + std::to_string(k % 10) + "/f" + std::to_string(k);
    const std::string content = std::to_string(k);
    if ( k % 11 == 0 )
    {
      fs::create_directories(at(name));
      expected_lines.push_back(at(name) + " : not a regular file\n");
      expected.push_back(true);
    }
    else if ( k % 7 == 0 )
    {
      expected_lines.push_back(at(name) + ": No such file or directory\n");
      expected.push_back(true);
    }
    else
    {
      if ( j < paths )
        dir_.write(name, content);
      expected.push_back(j % 5 == 0);
    }
    items.push_back(item(at(name), int64_t(content.size()), md5_of(j % 5 == 0 ? "other" : content)));
  }
  EXPECT_EQ(scan(items, SCAN_MODE_REPORT_PROBLEMS), ARKIVE_MESSAGE);
  EXPECT_EQ(bits_of(bits_, count), expected);
  EXPECT_EQ(lines_, expected_lines);
  EXPECT_EQ(arkive_error_text(ARKIVE_MESSAGE), "there are " + std::to_string(expected_lines.size()) + " problematic files");

  // A second scan answers from the cache alone, and a cancellation in the second chunk stops it there.
  EXPECT_EQ(scan(items, 0), 0);
  EXPECT_EQ(bits_of(bits_, count), expected);
  EXPECT_FALSE(has_event(progress_->events, 4));
  progress_->answers.assign(4500, 0);
  progress_->answers.push_back(1);
  EXPECT_EQ(scan(items, 0), ARKIVE_CANCELED);
  EXPECT_EQ(progress_->events.size(), 4501u + 1u);
}

TEST(ChangeScanLocked, SerialNumbersStandInForTimes)
{
  locked_fs_t fs;
  attach_md5_cache(&fs);
  ASSERT_EQ(fs.add("/w/a"), 0);
  byte_buffer_t content;
  ASSERT_EQ(fs.read_whole_file(&content, "/w/a"), 0);
  const std::string text(content.begin(), content.end());
  qvector<change_status_item_t> items;
  items.push_back(item("/w/a", int64_t(text.size()), md5_of(text)));
  byte_buffer_t bits;
  EXPECT_EQ(fs.scan_changes(&bits, items, 0), 0);
  EXPECT_EQ(bits_of(bits, 1), std::vector<bool>{false});
  ASSERT_EQ(fs.edit("/w/a"), 0);
  EXPECT_EQ(fs.scan_changes(&bits, items, 0), 0);
  EXPECT_EQ(bits_of(bits, 1), std::vector<bool>{true});
}

TEST(ChangeScanWithoutCache, IsAnInternalError)
{
  process_fs_t fs;
  qvector<change_status_item_t> items;
  byte_buffer_t bits;
  EXPECT_EXIT((void)fs.scan_changes(&bits, items, 0), testing::ExitedWithCode(1), "internal error 2597");
}

} // namespace
