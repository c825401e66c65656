// The locked in-memory file system: entry rules, open files, current directory, lock discipline and
// concurrent readers.
#include "repo/locked_fs.h"

#include "core/error_state.h"
#include "core/file_ops.h"
#include "repo/fs_file.h"
#include "repo/md5_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string detail()
{
  const char *text = get_error_arg_text(0);
  return text != nullptr ? text : "";
}

class LockedFs : public testing::Test
{
protected:
  void SetUp() override { attach_md5_cache(&fs_); }

  fs_file_t *open(const char *path, uint32_t flags)
  {
    fs_file_t *file = nullptr;
    EXPECT_EQ(fs_.open(&file, path, flags), 0) << path << ": " << detail();
    return file;
  }

  std::string content(const char *path)
  {
    byte_buffer_t bytes;
    if ( fs_.read_whole_file(&bytes, path) != 0 )
      return "<missing>";
    return std::string(reinterpret_cast<const char *>(bytes.data()), bytes.size());
  }

  void put(const char *path, const std::string &bytes)
  {
    fs_file_t *file = open(path, FS_OPEN_WRITE);
    uint64_t n = bytes.size();
    EXPECT_EQ(file->write(&n, bytes.data()), 0);
    EXPECT_EQ(file->close(true), 0);
  }

  locked_fs_t fs_;
};

struct entry_case_t
{
  const char *what;
  std::vector<const char *> existing;
  const char *added;
  int expected_errno; // 0: added
};

TEST_F(LockedFs, AFileAndADirectoryOfTheSameNameCannotCoexist)
{
  const entry_case_t cases[] = {
    {"file_under_new_name", {"a/b"}, "a", EISDIR},
    {"file_under_new_name_past_a_dotted_neighbour", {"a/b", "a.txt"}, "a", EISDIR},
    {"file_under_new_name_past_a_dashed_neighbour", {"a/b", "a-x", "a.y", "a!"}, "a", EISDIR},
    {"deep_file_under_new_name", {"a/b/c/d"}, "a/b", EISDIR},
    {"new_name_under_file", {"a"}, "a/b", EEXIST},
    {"new_name_under_file_past_a_dotted_neighbour", {"a", "a.txt"}, "a/b/c", EEXIST},
    {"new_name_under_grandparent_file", {"a", "a/"}, "a/b/c", EEXIST},
    {"sibling_is_fine", {"a/b"}, "a/c", 0},
    {"prefix_name_is_fine", {"ab/c"}, "a", 0},
    {"longer_name_is_fine", {"a"}, "ab/c", 0},
    {"dotted_name_is_fine", {"a/b"}, "a.b", 0},
  };
  for ( const entry_case_t &c : cases )
  {
    locked_fs_t fs;
    for ( const char *path : c.existing )
    {
      fs_file_t *file = nullptr;
      if ( fs.open(&file, path, FS_OPEN_WRITE) == 0 )
        file->close(true);
    }
    fs_file_t *file = nullptr;
    const int code = fs.open(&file, c.added, FS_OPEN_WRITE);
    if ( c.expected_errno == 0 )
    {
      EXPECT_EQ(code, 0) << c.what;
      if ( code == 0 )
        file->close(true);
    }
    else
    {
      EXPECT_EQ(code, 33) << c.what;
      EXPECT_EQ(detail(), std::string(c.added) + ": " + system_error_text(c.expected_errno)) << c.what;
    }
  }
}

TEST_F(LockedFs, IsDirpathLooksAtTheWholeRangeBelowThePath)
{
  put("a/b", "");
  put("a.txt", "");
  put("a-b", "");
  EXPECT_TRUE(fs_.is_dirpath("a"));
  EXPECT_TRUE(fs_.is_dirpath("a/"));
  EXPECT_TRUE(fs_.is_dirpath("x/")); // a trailing '/' says directory by itself
  EXPECT_FALSE(fs_.is_dirpath("a/b"));
  EXPECT_FALSE(fs_.is_dirpath("a.txt"));
  EXPECT_FALSE(fs_.is_dirpath("b"));
  EXPECT_FALSE(fs_.is_dirpath(""));
}

TEST_F(LockedFs, AddRefusesAnExistingEntry)
{
  EXPECT_EQ(fs_.add("a/b"), 0);
  EXPECT_EQ(fs_.add("a/b"), 33);
  EXPECT_EQ(detail(), std::string("a/b: ") + system_error_text(EEXIST));
  EXPECT_EQ(fs_.add("a"), 33);
  EXPECT_EQ(detail(), std::string("a: ") + system_error_text(EISDIR));
  EXPECT_TRUE(fs_.is_dirpath("a"));
}

TEST_F(LockedFs, AddAndEditWriteGeneratedNumbersAndTakeSerials)
{
  std::thread([this] {
    EXPECT_EQ(fs_.add("n"), 0);
    EXPECT_EQ(content("n"), "231794730");
    file_info_t first;
    ASSERT_EQ(fs_.stat(&first, "n"), 0);
    EXPECT_EQ(fs_.edit("n"), 0);
    EXPECT_EQ(content("n"), std::to_string(1126946332u ^ 231794730u));
    file_info_t second;
    ASSERT_EQ(fs_.stat(&second, "n"), 0);
    EXPECT_GT(second.modification_time, first.modification_time);
    EXPECT_EQ(fs_.edit("missing"), 0); // added instead
    EXPECT_NE(content("missing"), "<missing>");
  }).join();
}

TEST_F(LockedFs, StatGivesSizeSerialAndRegularFileMode)
{
  put("w/f", "12345");
  file_info_t info;
  info.inode = 99;
  ASSERT_EQ(fs_.stat(&info, "w/f"), 0);
  EXPECT_EQ(info.size, 5);
  EXPECT_EQ(info.mode, 0x8000u);
  EXPECT_EQ(info.inode, 0u);
  EXPECT_GT(info.modification_time, 0u);
  EXPECT_EQ(fs_.stat(&info, "w"), 3); // only a directory
  EXPECT_EQ(detail(), "w");
  EXPECT_EQ(fs_.stat(nullptr, "w/f"), 0);
}

TEST_F(LockedFs, SerialsStartAtOneAndEveryWriteOpenTakesTheNext)
{
  put("a", "x");
  file_info_t info;
  fs_.stat(&info, "a");
  EXPECT_EQ(info.modification_time, 1u);
  put("b", "y");
  put("a", "z");
  fs_.stat(&info, "a");
  EXPECT_EQ(info.modification_time, 3u);
}

TEST_F(LockedFs, RemoveDropsTheEntryButOpenFilesStayUsable)
{
  put("f", "data");
  fs_file_t *reader = open("f", FS_OPEN_READ);
  EXPECT_EQ(fs_.remove("f", 0), 0);
  EXPECT_EQ(fs_.stat(nullptr, "f"), 3);
  EXPECT_EQ(fs_.remove("f", 0), 3);
  EXPECT_EQ(detail(), "f");
  char buf[8];
  uint64_t n = sizeof(buf);
  EXPECT_EQ(reader->read(&n, buf), 0);
  EXPECT_EQ(n, 0u); // its content was emptied
  EXPECT_EQ(reader->close(false), 0);
}

TEST_F(LockedFs, OpenForReadingAMissingEntryFails)
{
  fs_file_t *file = nullptr;
  EXPECT_EQ(fs_.open(&file, "nope", FS_OPEN_READ), 33);
  EXPECT_EQ(detail(), std::string("nope: ") + system_error_text(ENOENT));
}

TEST_F(LockedFs, WritesGrowCutAndZeroFill)
{
  fs_file_t *file = open("z", FS_OPEN_WRITE);
  EXPECT_EQ(file->seek(10), 10);
  uint64_t n = 3;
  EXPECT_EQ(file->write(&n, "abc"), 0);
  EXPECT_EQ(file->tell(), 13u);
  file->close(true);
  EXPECT_EQ(content("z"), std::string(10, '\0') + "abc");

  put("e", "12345678");
  file = open("e", FS_OPEN_WRITE); // a write open empties the content at once
  EXPECT_EQ(content("e"), "");
  n = 8;
  file->write(&n, "abcdefgh");
  file->seek(3);
  n = 0;
  EXPECT_EQ(file->write(&n, ""), 0);
  file->close(true);
  EXPECT_EQ(content("e"), "abc");

  file = open("e", FS_OPEN_WRITE);
  file->seek(5);
  n = 0;
  file->write(&n, "");
  file->close(true);
  EXPECT_EQ(content("e"), std::string(5, '\0'));
}

TEST_F(LockedFs, AWriteBeyondAnyPossibleSizeFails)
{
  fs_file_t *file = open("big", FS_OPEN_WRITE);
  file->seek(UINT64_MAX - 1);
  uint64_t n = 4;
  EXPECT_EQ(file->write(&n, "abcd"), 33);
  EXPECT_EQ(n, 0u);
  file->close(false);
}

TEST_F(LockedFs, ReadsStopAtTheEnd)
{
  put("r", "0123456789");
  fs_file_t *file = open("r", FS_OPEN_READ);
  char buf[16];
  uint64_t n = 4;
  EXPECT_EQ(file->read(&n, buf), 0);
  EXPECT_EQ(std::string(buf, n), "0123");
  file->seek(8);
  n = 16;
  EXPECT_EQ(file->read(&n, buf), 0);
  EXPECT_EQ(std::string(buf, n), "89");
  n = 16;
  EXPECT_EQ(file->read(&n, buf), 0);
  EXPECT_EQ(n, 0u);
  file->seek(100);
  n = 16;
  EXPECT_EQ(file->read(&n, buf), 0);
  EXPECT_EQ(n, 0u);
  file->close(false);
}

TEST_F(LockedFs, DigestFlagRecordsOnCommitOnly)
{
  put("d/f", "alpha");
  fs_file_t *file = open("d/f", FS_OPEN_READ | FS_OPEN_DIGEST);
  char buf[8];
  uint64_t n = sizeof(buf);
  file->read(&n, buf);
  file->close(false);
  fs_.flush_cache();
  EXPECT_EQ(content("d/.arkive_cache"), "<missing>");

  file = open("d/f", FS_OPEN_READ | FS_OPEN_DIGEST);
  n = sizeof(buf);
  file->read(&n, buf);
  file->close(true);
  fs_.flush_cache();
  file_info_t status;
  fs_.stat(&status, "d/f");
  EXPECT_EQ(content("d/.arkive_cache"), std::to_string(status.modification_time)
                                          + " 5 2C1743A391305FBF367DF8E4F069F9F9 f\n"); // MD5 of "alpha"
}

struct chdir_case_t
{
  const char *from;
  const char *to;
  const char *expected;
};

TEST_F(LockedFs, ChdirJoinsAndNormalisesSeparators)
{
  const chdir_case_t cases[] = {
    {"/w", "x", "/w/x"},    {"", "C:\\y\\", "C:/y"}, {"/w", "/", "/"},
    {"/w", "C:/", "C:/"},   {"/w", "x/", "/w/x"},    {"", "rel", "/rel"},
    {"/w", "\\abs", "/abs"},
  };
  for ( const chdir_case_t &c : cases )
  {
    locked_fs_t fs;
    if ( *c.from != '\0' )
      fs.chdir(c.from);
    EXPECT_EQ(fs.chdir(c.to), 0);
    qstring cwd;
    fs.getcwd(&cwd);
    EXPECT_EQ(cwd, c.expected) << c.from << " + " << c.to;
  }
}

TEST_F(LockedFs, HasAnEntryTable)
{
  EXPECT_TRUE(fs_.has_entry_table());
}

TEST_F(LockedFs, ReadWholeFileWithTheLockHeld)
{
  put("f", "held");
  rwlock_guard_t guard(fs_.lock(), "test", rwlock_mode::shared);
  byte_buffer_t bytes;
  EXPECT_EQ(fs_.read_whole_file(&bytes, "f", true), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes.data()), bytes.size()), "held");
}

TEST_F(LockedFs, ReadersOfManyThreadsNeverSeeAHalfWrittenFile)
{
  put("shared", std::string(4096, 'a'));
  std::atomic<bool> stop {false};
  std::atomic<int> torn {0};
  std::atomic<int> reads {0};
  std::vector<std::thread> readers;
  for ( int t = 0; t < 4; ++t )
    readers.emplace_back([&] {
      std::vector<char> buf(8192);
      while ( !stop )
      {
        fs_file_t *file = nullptr;
        if ( fs_.open(&file, "shared", FS_OPEN_READ | FS_OPEN_NO_PROGRESS) != 0 )
          continue;
        uint64_t n = buf.size();
        file->read(&n, buf.data());
        file->close(false);
        const std::string got(buf.data(), n);
        if ( !got.empty() && (got.size() != 4096 || got.find_first_not_of(got[0]) != std::string::npos) )
          ++torn;
        fs_.is_dirpath("shared");
        fs_.stat(nullptr, "shared");
        ++reads;
      }
    });
  for ( int i = 0; i < 300; ++i )
    put("shared", std::string(4096, char('a' + i % 26)));
  while ( reads < 100 )
    std::this_thread::yield();
  stop = true;
  for ( std::thread &reader : readers )
    reader.join();
  EXPECT_EQ(torn, 0);
}

TEST(LockedFsDeathTest, MisuseOfOpenFilesAndTheLockIsAnInternalError)
{
  locked_fs_t fs;
  fs_file_t *writer = nullptr;
  ASSERT_EQ(fs.open(&writer, "f", FS_OPEN_WRITE), 0);
  char buf[4];
  uint64_t n = sizeof(buf);
  EXPECT_EXIT(writer->read(&n, buf), testing::ExitedWithCode(1), "internal error 2241");
  writer->close(true);

  fs_file_t *reader = nullptr;
  ASSERT_EQ(fs.open(&reader, "f", FS_OPEN_READ), 0);
  EXPECT_EXIT(reader->write(&n, "abcd"), testing::ExitedWithCode(1), "internal error 2242");
  reader->close(false);

  fs_file_t *file = nullptr;
  EXPECT_EXIT(fs.open(&file, "f", FS_OPEN_READ | FS_OPEN_LOCK_HELD), testing::ExitedWithCode(1),
              "internal error 2708");
  EXPECT_EXIT(
    {
      rwlock_guard_t guard(fs.lock(), "test", rwlock_mode::shared);
      fs.open(&file, "f", FS_OPEN_WRITE | FS_OPEN_LOCK_HELD);
    },
    testing::ExitedWithCode(1), "internal error 2708");
  EXPECT_EXIT(
    {
      rwlock_guard_t guard(fs.lock(), "test", rwlock_mode::shared);
      fs.add("g");
    },
    testing::ExitedWithCode(1), "internal error 2388");
  EXPECT_EXIT(
    {
      rwlock_guard_t guard(fs.lock(), "test", rwlock_mode::exclusive);
      fs.is_dirpath("g");
    },
    testing::ExitedWithCode(1), "internal error 2386");
}

TEST(LockedFsWithoutCache, AddAndEditNeedNoCacheHere)
{
  locked_fs_t fs;
  EXPECT_EQ(fs.add("f"), 0);
  EXPECT_EQ(fs.edit("f"), 0);
  EXPECT_EQ(fs.checksum_cache(), nullptr);
}

} // namespace
