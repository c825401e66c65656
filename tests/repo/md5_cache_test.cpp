// The checksum cache: its file format byte for byte, strict and lenient reads, lookups, records,
// forgets and flushes.
#include "repo/md5_cache.h"

#include "core/file_ops.h"
#include "repo/abstract_fs.h"
#include "repo/locked_fs.h"
#include "repo/plain_fs.h"

#include "tests/repo/work_dir_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

file_info_t status_of(uint64_t mtime, int64_t size)
{
  file_info_t status;
  status.modification_time = mtime;
  status.size = size;
  return status;
}

struct digest_t
{
  uint8_t bytes[16];
};

digest_t digest_of(uint8_t first)
{
  digest_t d {};
  for ( int i = 0; i < 16; ++i )
    d.bytes[i] = uint8_t(first + i * 0x11);
  return d;
}

const char *const hex_01 = "0112233445566778899AABBCCDDEEF00";
const char *const hex_a0 = "A0B1C2D3E4F5061728394A5B6C7D8E9F";

class Md5Cache : public testing::Test
{
protected:
  void SetUp() override
  {
    fs::current_path(dir_.path());
    attach_md5_cache(&fs_);
  }

  md5_cache_t &cache() { return *fs_.checksum_cache(); }

  void record(const std::string &path, uint64_t mtime, int64_t size, uint8_t first)
  {
    const digest_t d = digest_of(first);
    cache().record(path.c_str(), status_of(mtime, size), d.bytes);
  }

  // Looks up through a fresh cache, which must read the cache file.
  bool fresh_lookup(const std::string &path, uint64_t mtime, int64_t size, uint8_t *first = nullptr)
  {
    md5_cache_t fresh(&fs_);
    uint8_t digest[16];
    if ( !fresh.lookup(path.c_str(), status_of(mtime, size), digest) )
      return false;
    if ( first != nullptr )
      *first = digest[0];
    return true;
  }

  scratch_dir_t dir_;
  process_fs_t fs_;
};

TEST_F(Md5Cache, WritesOneLinePerFileInNameOrder)
{
  record("d/b", 0x0000000500000007ull, 12, 0x01);
  record("d/a b", 42, 0, 0xA0);
  record("d/Z", 18446744073709551615ull, 1234567890123, 0x01);
  cache().flush();
  EXPECT_EQ(dir_.read("d/.arkive_cache"), std::string("18446744073709551615 1234567890123 ") + hex_01 + " Z\n"
                                            + "42 0 " + hex_a0 + " a b\n" + "21474836487 12 " + hex_01
                                            + " b\n");
}

TEST_F(Md5Cache, NamesWithBlanksAndSpecialBytesSurviveAWriteAndARead)
{
  const std::string names[] = {"a b", " lead", "trail ", "tab\tx", "cr\r", "percent %s %d", "\xc3\xa9t\xc3\xa9"};
  uint8_t n = 0;
  for ( const std::string &name : names )
    record("d/" + name, 100 + n, n, uint8_t(n * 3)), ++n;
  cache().flush();
  n = 0;
  for ( const std::string &name : names )
  {
    uint8_t first = 0xFF;
    EXPECT_TRUE(fresh_lookup("d/" + name, 100 + n, n, &first)) << name;
    EXPECT_EQ(first, uint8_t(n * 3)) << name;
    ++n;
  }
}

TEST_F(Md5Cache, AHitNeedsTheSameTimeAndSize)
{
  record("f", 10, 5, 0x01);
  cache().flush();
  EXPECT_TRUE(fresh_lookup("f", 10, 5));
  EXPECT_FALSE(fresh_lookup("f", 11, 5));
  EXPECT_FALSE(fresh_lookup("f", 10, 6));
  EXPECT_FALSE(fresh_lookup("g", 10, 5));
}

TEST_F(Md5Cache, TheFirstLineOfANameWins)
{
  dir_.write(".arkive_cache", std::string("1 1 ") + hex_01 + " x\n" + "2 2 " + hex_a0 + " x\n");
  uint8_t first = 0;
  EXPECT_TRUE(fresh_lookup("x", 1, 1, &first));
  EXPECT_EQ(first, 0x01);
  EXPECT_FALSE(fresh_lookup("x", 2, 2));
}

TEST_F(Md5Cache, ALastLineWithoutLineFeedIsNotUsed)
{
  dir_.write(".arkive_cache", std::string("1 1 ") + hex_01 + " x\n" + "2 2 " + hex_a0 + " y");
  EXPECT_TRUE(fresh_lookup("x", 1, 1));
  EXPECT_FALSE(fresh_lookup("y", 2, 2));
}

struct bad_line_case_t
{
  const char *what;
  std::string line;
};

TEST_F(Md5Cache, ADamagedLineMakesStrictLookupsMissInTheWholeDirectory)
{
  const bad_line_case_t cases[] = {
    {"one_number", "5 " + std::string(hex_01) + " z"},
    {"no_numbers", "x y " + std::string(hex_01) + " z"},
    {"short_digest", "1 1 0112233445566778 z"},
    {"bad_hex_digit", "1 1 0G122334455667788899AABBCCDDEEFF z"},
    {"signed_hex_pair", "1 1 -1122334455667788899AABBCCDDEEFF z"},
    {"blank_in_digest", "1 1  1122334455667788899AABBCCDDEEFF z"},
    {"nothing_after_digest", "1 1 " + std::string(hex_01)},
    {"zero_byte", std::string("1 1 ") + hex_01 + std::string(" z\0z", 4)},
    {"empty_line", ""},
  };
  for ( const bad_line_case_t &c : cases )
  {
    dir_.write(".arkive_cache", std::string("1 1 ") + hex_01 + " x\n" + c.line + "\n");
    EXPECT_FALSE(fresh_lookup("x", 1, 1)) << c.what;
    md5_cache_t lenient(&fs_);
    const md5_cache_t::directory_map_t *map = lenient.load_directory(".", false);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->size(), 1u) << c.what;
  }
}

TEST_F(Md5Cache, ADamagedThirdLineIsDroppedByTheNextFlushOfItsDirectory)
{
  dir_.write(".arkive_cache", std::string("1 1 ") + hex_01 + " a\n" + "2 2 " + hex_a0 + " b\n" + "garbage\n" + "4 4 "
                                + hex_01 + " d\n");
  uint8_t digest[16];
  EXPECT_FALSE(cache().lookup("a", status_of(1, 1), digest));
  record("c", 3, 3, 0xA0);
  cache().flush();
  EXPECT_EQ(dir_.read(".arkive_cache"), std::string("1 1 ") + hex_01 + " a\n" + "2 2 " + hex_a0 + " b\n" + "3 3 "
                                          + hex_a0 + " c\n");
  EXPECT_TRUE(cache().lookup("a", status_of(1, 1), digest));
  EXPECT_TRUE(cache().lookup("c", status_of(3, 3), digest));
  EXPECT_FALSE(cache().lookup("d", status_of(4, 4), digest));
}

TEST_F(Md5Cache, StrictLoadsStoreNothingAndLenientLoadsStoreAnEmptyMap)
{
  EXPECT_EQ(cache().load_directory("none", true), nullptr);
  dir_.write("none/.arkive_cache", std::string("1 1 ") + hex_01 + " x\n");
  // Nothing was kept, so the file that appeared since is read now.
  const md5_cache_t::directory_map_t *map = cache().load_directory("none", true);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->size(), 1u);

  dir_.write("empty/.arkive_cache", "");
  EXPECT_EQ(cache().load_directory("empty", true), nullptr);
  map = cache().load_directory("empty", false);
  ASSERT_NE(map, nullptr);
  EXPECT_TRUE(map->empty());
  // Kept once loaded: a later file is not read again.
  dir_.write("empty/.arkive_cache", std::string("1 1 ") + hex_01 + " x\n");
  EXPECT_TRUE(cache().load_directory("empty", true)->empty());
}

TEST_F(Md5Cache, RecordingInAnotherDirectoryWritesThePreviousOneFirst)
{
  record("a/f", 1, 1, 0x01);
  EXPECT_FALSE(dir_.exists("a/.arkive_cache"));
  record("b/g", 2, 2, 0x01);
  EXPECT_TRUE(dir_.exists("a/.arkive_cache"));
  EXPECT_FALSE(dir_.exists("b/.arkive_cache"));
  cache().flush();
  EXPECT_TRUE(dir_.exists("b/.arkive_cache"));
}

TEST_F(Md5Cache, ALaterRecordOfThePathReplacesTheEarlierOne)
{
  record("f", 1, 1, 0x01);
  record("f", 2, 2, 0xA0);
  cache().flush();
  EXPECT_EQ(dir_.read(".arkive_cache"), std::string("2 2 ") + hex_a0 + " f\n");
}

TEST_F(Md5Cache, ForgettingTheLastEntryRemovesTheCacheFile)
{
  record("d/f", 1, 1, 0x01);
  record("d/g", 1, 1, 0x01);
  cache().flush();
  cache().forget("d/f");
  cache().flush();
  EXPECT_EQ(dir_.read("d/.arkive_cache"), std::string("1 1 ") + hex_01 + " g\n");
  cache().forget("d/g");
  cache().flush();
  EXPECT_FALSE(dir_.exists("d/.arkive_cache"));
  EXPECT_TRUE(fs::is_directory(dir_.at("d")));
}

TEST_F(Md5Cache, ForgetsApplyBeforeRecordsOfTheSameFlush)
{
  record("f", 1, 1, 0x01);
  cache().forget("f");
  cache().flush();
  EXPECT_EQ(dir_.read(".arkive_cache"), std::string("1 1 ") + hex_01 + " f\n");
}

TEST_F(Md5Cache, BackslashAndSlashPathsShareOneDirectoryMap)
{
  record("p/q/f", 1, 1, 0x01);
  cache().flush();
  uint8_t digest[16];
  ASSERT_TRUE(cache().lookup("p\\q\\f", status_of(1, 1), digest)); // loads the map of "p/q"
  record("p\\q\\g", 2, 2, 0xA0);
  cache().flush();
  EXPECT_TRUE(cache().lookup("p/q/g", status_of(2, 2), digest));
  EXPECT_TRUE(cache().lookup("p\\q\\g", status_of(2, 2), digest));
  EXPECT_EQ(dir_.read("p/q/.arkive_cache"), std::string("1 1 ") + hex_01 + " f\n" + "2 2 " + hex_a0 + " g\n");
}

TEST_F(Md5Cache, NamesThatWouldBreakTheLineFormatAreNotCached)
{
  record("ok", 1, 1, 0x01);
  record("bad\nname", 2, 2, 0x01);
  record("dir/", 3, 3, 0x01);
  cache().flush();
  EXPECT_EQ(dir_.read(".arkive_cache"), std::string("1 1 ") + hex_01 + " ok\n");
  uint8_t digest[16];
  EXPECT_FALSE(cache().lookup("bad\nname", status_of(2, 2), digest));
}

TEST_F(Md5Cache, AnUnwritableCacheFileIsWrittenAtTheNextFlush)
{
  // A directory in place of the cache file: the write fails, the change stays in memory.
  dir_.write("d/.arkive_cache/blocker", "");
  record("d/f", 1, 1, 0x01);
  cache().flush();
  fs::remove_all(dir_.at("d/.arkive_cache"));
  record("d/g", 2, 2, 0x01);
  cache().flush();
  EXPECT_EQ(dir_.read("d/.arkive_cache"), std::string("1 1 ") + hex_01 + " f\n" + "2 2 " + hex_01 + " g\n");
}

TEST_F(Md5Cache, DestroyingTheCacheWritesNothing)
{
  {
    process_fs_t other;
    attach_md5_cache(&other);
    const digest_t d = digest_of(1);
    other.checksum_cache()->record("f", status_of(1, 1), d.bytes);
  }
  EXPECT_FALSE(dir_.exists(".arkive_cache"));
}

TEST_F(Md5Cache, ProgressEndFlushesTheCache)
{
  record("f", 1, 1, 0x01);
  EXPECT_EQ(fs_.report_progress(1, 10), 0);
  EXPECT_FALSE(dir_.exists(".arkive_cache"));
  EXPECT_EQ(fs_.report_progress(0, 0), 0);
  EXPECT_TRUE(dir_.exists(".arkive_cache"));
}

TEST_F(Md5Cache, ACacheOverAConfinedFileSystemNeverWritesOutsideIt)
{
  dir_.write("site/a/f", "");
  dir_.write("outside/keep", "");
  process_fs_t confined(dir_.at("site").c_str());
  attach_md5_cache(&confined);
  fs::current_path(dir_.at("site"));
  const digest_t d = digest_of(1);
  for ( const std::string &path : {std::string("../outside/x"), std::string("a/../../outside/y"), dir_.at("outside/z"),
                                   dir_.at("w"), std::string("a\\..\\..\\v")} )
  {
    confined.checksum_cache()->record(path.c_str(), status_of(1, 1), d.bytes);
    confined.checksum_cache()->forget((path + "2").c_str());
  }
  confined.checksum_cache()->record("a/f", status_of(1, 1), d.bytes);
  confined.flush_cache();
  EXPECT_EQ(dir_.names("outside"), std::vector<std::string>{"keep"});
  EXPECT_FALSE(dir_.exists(".arkive_cache"));
  EXPECT_TRUE(dir_.exists("site/a/.arkive_cache"));
}

TEST(Md5CacheLocked, UsesSerialNumbersAsTimesThroughTheLockedFileSystem)
{
  locked_fs_t fs;
  attach_md5_cache(&fs);
  ASSERT_EQ(fs.add("/w/f"), 0);
  file_info_t status;
  ASSERT_EQ(fs.stat(&status, "/w/f"), 0);
  const digest_t d = digest_of(1);
  fs.checksum_cache()->record("/w/f", status, d.bytes);
  fs.flush_cache();
  byte_buffer_t bytes;
  ASSERT_EQ(fs.read_whole_file(&bytes, "/w/.arkive_cache"), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes.data()), bytes.size()),
            std::to_string(status.modification_time) + " " + std::to_string(status.size) + " " + hex_01 + " f\n");
}

} // namespace
