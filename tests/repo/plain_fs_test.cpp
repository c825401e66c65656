// The process file system: open flags, temporary-and-rename writes checked on disk, removal, generated
// content, status and the working directory.
#include "repo/plain_fs.h"

#include "core/error_state.h"
#include "core/file_ops.h"
#include "core/md5.h"
#include "repo/fs_file.h"
#include "repo/md5_cache.h"

#include "tests/repo/work_dir_helpers.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> temporaries(const scratch_dir_t &dir, const std::string &relative = "")
{
  std::vector<std::string> result;
  for ( const std::string &name : dir.names(relative) )
    if ( name.starts_with("arkive") && name.ends_with(".tmp") )
      result.push_back(name);
  return result;
}

std::string md5_hex(const std::string &bytes)
{
  md5_context_t ctx;
  md5_init(&ctx);
  md5_update(&ctx, bytes.data(), bytes.size());
  uint8_t digest[16];
  md5_final(digest, &ctx);
  char hex[33];
  return digest_to_hex(digest, hex, sizeof(hex));
}

class ProcessFs : public testing::Test
{
protected:
  void SetUp() override
  {
    fs::current_path(dir_.path());
    attach_md5_cache(&fs_);
    progress_ = new recording_progressor_t;
    fs_.set_reporters(nullptr, progress_);
  }

  fs_file_t *open(const std::string &path, uint32_t flags)
  {
    fs_file_t *file = nullptr;
    const int code = fs_.open(&file, path.c_str(), flags);
    EXPECT_EQ(code, 0) << path << ": " << (get_error_arg_text(0) ? get_error_arg_text(0) : "");
    return code == 0 ? file : nullptr;
  }

  static int write(fs_file_t *file, const std::string &bytes)
  {
    uint64_t n = bytes.size();
    return file->write(&n, bytes.data());
  }

  static std::string read_all(fs_file_t *file)
  {
    std::string result;
    char buf[7];
    while ( true )
    {
      uint64_t n = sizeof(buf);
      EXPECT_EQ(file->read(&n, buf), 0);
      if ( n == 0 )
        return result;
      result.append(buf, n);
    }
  }

  // The digest the cache holds for a file at its current status, or "" on a miss.
  std::string cached_digest(const std::string &path)
  {
    fs_.flush_cache();
    md5_cache_t fresh(&fs_);
    file_info_t status;
    uint8_t digest[16];
    if ( fs_.stat(&status, path.c_str()) != 0 || !fresh.lookup(path.c_str(), status, digest) )
      return "";
    char hex[33];
    return digest_to_hex(digest, hex, sizeof(hex));
  }

  scratch_dir_t dir_;
  process_fs_t fs_;
  recording_progressor_t *progress_ = nullptr; // owned by fs_
};

TEST_F(ProcessFs, ReadOpenReportsTitleAndEveryReadToTheProgressSink)
{
  dir_.write("r.txt", "0123456789");
  fs_file_t *file = open("r.txt", FS_OPEN_READ);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(read_all(file), "0123456789");
  EXPECT_EQ(file->close(true), 0);
  EXPECT_EQ(progress_->titles, std::vector<std::string>{"r.txt"});
  // Reads of 7 and 3 bytes; the read at the end reports nothing.
  const std::vector<std::pair<uint8_t, uint64_t>> expected = {{1, 7}, {1, 3}};
  EXPECT_EQ(progress_->events, expected);
}

TEST_F(ProcessFs, NoProgressFlagSilencesTheSink)
{
  dir_.write("r.txt", "abc");
  fs_file_t *file = open("r.txt", FS_OPEN_READ | FS_OPEN_NO_PROGRESS);
  EXPECT_EQ(read_all(file), "abc");
  EXPECT_EQ(file->close(true), 0);
  EXPECT_TRUE(progress_->titles.empty());
  EXPECT_TRUE(progress_->events.empty());
}

TEST_F(ProcessFs, ACancellingSinkStopsReadsAndWritesAndTheClose)
{
  dir_.write("r.txt", "abc");
  progress_->answers = {1};
  fs_file_t *file = open("r.txt", FS_OPEN_READ);
  char buf[8];
  uint64_t n = sizeof(buf);
  EXPECT_EQ(file->read(&n, buf), 1);
  EXPECT_EQ(file->close(true), 1);

  progress_->answers = {1};
  file = open("r.txt", FS_OPEN_WRITE);
  EXPECT_EQ(write(file, "new"), 1);
  EXPECT_EQ(file->close(false), 1);
  EXPECT_EQ(dir_.read("r.txt"), "abc");
  EXPECT_TRUE(temporaries(dir_).empty());
}

TEST_F(ProcessFs, ReadOpenOfAMissingFileCreatesNothing)
{
  fs_file_t *file = nullptr;
  EXPECT_EQ(fs_.open(&file, "no/such/dir/f.txt", FS_OPEN_READ), 33);
  EXPECT_EQ(std::string(get_error_arg_text(0)), std::string("no/such/dir/f.txt: ") + system_error_text(ENOENT));
  EXPECT_FALSE(dir_.exists("no"));
}

TEST_F(ProcessFs, WritingANewFileInMissingDirectoriesCreatesThemAndUsesNoTemporary)
{
  fs_file_t *file = open("x/y/new.txt", FS_OPEN_WRITE);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(write(file, "hello"), 0);
  EXPECT_TRUE(temporaries(dir_, "x/y").empty());
  EXPECT_EQ(file->close(true), 0);
  EXPECT_EQ(dir_.read("x/y/new.txt"), "hello");
  EXPECT_EQ(dir_.names("x/y"), std::vector<std::string>{"new.txt"});
}

TEST_F(ProcessFs, ANewFileClosedWithoutCommitIsRemoved)
{
  fs_file_t *file = open("new.txt", FS_OPEN_WRITE);
  EXPECT_EQ(write(file, "partial"), 0);
  EXPECT_EQ(file->close(false), 0);
  EXPECT_FALSE(dir_.exists("new.txt"));
}

TEST_F(ProcessFs, WritingAnExistingFileKeepsTheOldContentUntilACommittedClose)
{
  dir_.write("d/t.txt", "old content");
  fs_file_t *file = open("d/t.txt", FS_OPEN_WRITE);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(write(file, "new"), 0);
  EXPECT_EQ(dir_.read("d/t.txt"), "old content");
  const std::vector<std::string> temps = temporaries(dir_, "d");
  ASSERT_EQ(temps.size(), 1u);
  EXPECT_EQ(file->close(true), 0);
  EXPECT_EQ(dir_.read("d/t.txt"), "new");
  EXPECT_EQ(dir_.names("d"), std::vector<std::string>{"t.txt"});
}

TEST_F(ProcessFs, AnExistingFileClosedWithoutCommitKeepsItsContentAndLosesTheTemporary)
{
  dir_.write("t.txt", "old");
  fs_file_t *file = open("t.txt", FS_OPEN_WRITE);
  EXPECT_EQ(write(file, "replacement"), 0);
  EXPECT_EQ(file->close(false), 0);
  EXPECT_EQ(dir_.read("t.txt"), "old");
  EXPECT_TRUE(temporaries(dir_).empty());
}

TEST_F(ProcessFs, TheTemporaryNameCarriesTheTimeInThousands)
{
  dir_.write("t.txt", "old");
  const uint64_t before = uint64_t(std::time(nullptr)) * 1000;
  fs_file_t *file = open("t.txt", FS_OPEN_WRITE);
  const uint64_t after = uint64_t(std::time(nullptr)) * 1000 + 999;
  const std::vector<std::string> temps = temporaries(dir_);
  ASSERT_EQ(temps.size(), 1u);
  const uint32_t number = uint32_t(std::stoul(temps[0].substr(6, temps[0].size() - 10)));
  EXPECT_GE(number, uint32_t(before));
  EXPECT_LE(number, uint32_t(after));
  file->close(false);
}

TEST_F(ProcessFs, TemporaryNameCollisionsTakeAFreshNameAndNeverTouchTheOtherFile)
{
  dir_.write("t.txt", "old");
  // Occupy half of the names of this second and the next two.
  const uint32_t base = uint32_t(std::time(nullptr)) * 1000u;
  for ( uint32_t second = 0; second < 3; ++second )
    for ( uint32_t i = 0; i < 1000; i += 2 )
      dir_.write("arkive" + std::to_string(base + second * 1000u + i) + ".tmp", "occupied");
  const size_t occupied = temporaries(dir_).size();

  fs_file_t *file = open("t.txt", FS_OPEN_WRITE);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(temporaries(dir_).size(), occupied + 1);
  EXPECT_EQ(write(file, "new"), 0);
  EXPECT_EQ(file->close(true), 0);
  EXPECT_EQ(dir_.read("t.txt"), "new");
  for ( const std::string &name : temporaries(dir_) )
    EXPECT_EQ(dir_.read(name), "occupied") << name;
  EXPECT_EQ(temporaries(dir_).size(), occupied);
}

TEST_F(ProcessFs, WhenNoTemporaryCanBeMadeTheTargetIsLeftAlone)
{
  // A directory so deep that the target's name fits but the temporary's longer one does not.
  std::string deep = dir_.path();
  while ( deep.size() + 201 < PATH_MAX - 8 )
    deep += "/" + std::string(200, 'd');
  deep += "/" + std::string(PATH_MAX - 8 - deep.size() - 1, 'e');
  fs::create_directories(deep);
  const std::string target = deep + "/t";
  fs_file_t *file = open(target, FS_OPEN_WRITE);
  write(file, "old");
  ASSERT_EQ(file->close(true), 0);

  EXPECT_EQ(fs_.open(&file, target.c_str(), FS_OPEN_WRITE), 33);
  EXPECT_NE(std::string(get_error_arg_text(0)).find(system_error_text(ENAMETOOLONG)), std::string::npos);
  EXPECT_EQ(read_file_text(target), "old");
  EXPECT_EQ(fs::directory_iterator(deep)->path().filename(), "t"); // no temporary was left behind
}

TEST_F(ProcessFs, AKilledWriterLeavesTheOldFileAndAtMostATemporary)
{
  dir_.write("t.txt", "old content");
  EXPECT_EXIT(
    {
      fs_file_t *file = nullptr;
      fs_.open(&file, "t.txt", FS_OPEN_WRITE);
      uint64_t n = 5;
      file->write(&n, "torn!");
      std::raise(SIGKILL);
    },
    testing::KilledBySignal(SIGKILL), "");
  EXPECT_EQ(dir_.read("t.txt"), "old content");
  EXPECT_LE(temporaries(dir_).size(), 1u);
  EXPECT_EQ(dir_.names().size(), 1u + temporaries(dir_).size());
}

TEST_F(ProcessFs, AFailedRenameKeepsTheTargetAndRecordsNoDigest)
{
  dir_.write("t.txt", "old");
  fs_file_t *file = open("t.txt", FS_OPEN_WRITE | FS_OPEN_DIGEST);
  EXPECT_EQ(write(file, "new"), 0);
  // The target becomes a non-empty directory: nothing can be renamed over it.
  fs::remove(dir_.at("t.txt"));
  dir_.write("t.txt/inner", "x");
  EXPECT_EQ(file->close(true), 33);
  EXPECT_EQ(dir_.read("t.txt/inner"), "x");
  EXPECT_EQ(temporaries(dir_).size(), 1u); // the new bytes stay under the temporary name
  fs_.flush_cache();
  EXPECT_FALSE(dir_.exists(".arkive_cache"));
}

TEST_F(ProcessFs, DigestFlagRecordsOnCommittedCloseOnly)
{
  dir_.write("a.txt", "alpha");
  fs_file_t *file = open("a.txt", FS_OPEN_READ | FS_OPEN_DIGEST);
  read_all(file);
  file->close(false);
  EXPECT_EQ(cached_digest("a.txt"), "");

  file = open("a.txt", FS_OPEN_READ | FS_OPEN_DIGEST);
  read_all(file);
  file->close(true);
  EXPECT_EQ(cached_digest("a.txt"), md5_hex("alpha"));

  // A written file records the digest of the bytes written, against the renamed file's status.
  file = open("a.txt", FS_OPEN_WRITE | FS_OPEN_DIGEST);
  write(file, "beta");
  file->close(true);
  EXPECT_EQ(cached_digest("a.txt"), md5_hex("beta"));

  // Without the flag nothing is recorded, and the old entry no longer matches the new status.
  file = open("a.txt", FS_OPEN_WRITE);
  write(file, "gamma!");
  file->close(true);
  EXPECT_EQ(cached_digest("a.txt"), "");
}

TEST_F(ProcessFs, SeekAndTellMoveInTheFile)
{
  dir_.write("s.txt", "0123456789");
  fs_file_t *file = open("s.txt", FS_OPEN_READ);
  EXPECT_EQ(file->seek(6), 0);
  EXPECT_EQ(file->tell(), 6u);
  EXPECT_EQ(read_all(file), "6789");
  EXPECT_EQ(file->tell(), 10u);
  file->close(false);
}

TEST_F(ProcessFs, RemoveDeletesAndForgets)
{
  dir_.write("f.txt", "x");
  const uint8_t digest[16] = {7};
  file_info_t status;
  ASSERT_EQ(fs_.stat(&status, "f.txt"), 0);
  fs_.checksum_cache()->record("f.txt", status, digest);
  fs_.flush_cache();
  ASSERT_TRUE(dir_.exists(".arkive_cache"));

  EXPECT_EQ(fs_.remove("f.txt", FS_REMOVE_FORGET), 0);
  EXPECT_FALSE(dir_.exists("f.txt"));
  fs_.flush_cache();
  EXPECT_FALSE(dir_.exists(".arkive_cache")); // its last entry is gone
}

TEST_F(ProcessFs, RemovingAMissingFileIsNotFoundAndLeavesTheCacheAlone)
{
  const uint8_t digest[16] = {7};
  file_info_t status;
  status.size = 1;
  fs_.checksum_cache()->record("gone.txt", status, digest);
  fs_.flush_cache();
  const std::string before = dir_.read(".arkive_cache");
  EXPECT_EQ(fs_.remove("gone.txt", FS_REMOVE_FORGET), 3);
  EXPECT_EQ(std::string(get_error_arg_text(0)), "gone.txt");
  fs_.flush_cache();
  EXPECT_EQ(dir_.read(".arkive_cache"), before);
}

TEST_F(ProcessFs, RemoveTakesALinkNotItsTarget)
{
  dir_.write("target.txt", "keep");
  fs::create_symlink("target.txt", dir_.at("link"));
  EXPECT_EQ(fs_.remove("link", 0), 0);
  EXPECT_FALSE(dir_.exists("link"));
  EXPECT_EQ(dir_.read("target.txt"), "keep");
}

TEST_F(ProcessFs, AddAndEditWriteGeneratedNumbers)
{
  std::thread([this] {
    EXPECT_EQ(fs_.add("n/one.txt"), 0);
    EXPECT_EQ(dir_.read("n/one.txt"), "231794730");
    dir_.write("two.txt", "size 42 bytes");
    EXPECT_EQ(fs_.edit("two.txt"), 0);
    EXPECT_EQ(dir_.read("two.txt"), "size " + std::to_string(1126946332u ^ 42u) + " bytes");
    EXPECT_EQ(fs_.edit("three.txt"), 0); // a missing file is added
    EXPECT_FALSE(dir_.read("three.txt").empty());
  }).join();
  EXPECT_EQ(cached_digest("n/one.txt"), md5_hex("231794730"));
  EXPECT_TRUE(temporaries(dir_).empty());
}

TEST_F(ProcessFs, StatAndDirectoryTests)
{
  dir_.write("d/f.txt", "12345");
  file_info_t info;
  EXPECT_EQ(fs_.stat(&info, "d/f.txt"), 0);
  EXPECT_EQ(info.size, 5);
  EXPECT_EQ(info.mode & 0xF000, 0x8000u);
  EXPECT_NE(info.modification_time, 0u);
  EXPECT_EQ(fs_.stat(nullptr, "d/missing"), 33);
  EXPECT_TRUE(fs_.is_dirpath("d"));
  EXPECT_TRUE(fs_.is_dirpath("d/"));
  EXPECT_FALSE(fs_.is_dirpath("d/f.txt"));
  EXPECT_FALSE(fs_.is_dirpath("nothing"));
  EXPECT_FALSE(fs_.has_entry_table());
}

TEST_F(ProcessFs, ChdirAndGetcwdFollowTheProcess)
{
  dir_.write("sub/f", "");
  EXPECT_EQ(fs_.chdir("sub"), 0);
  qstring cwd;
  fs_.getcwd(&cwd);
  EXPECT_EQ(std::string(cwd.view()), dir_.at("sub"));
  EXPECT_EQ(fs::current_path().string(), dir_.at("sub"));
  EXPECT_EQ(fs_.chdir("missing"), 33);
  fs_.getcwd(&cwd);
  EXPECT_EQ(std::string(cwd.view()), dir_.at("sub"));
}

TEST(ProcessFsDeathTest, DigestsWithoutACacheAreAnInternalError)
{
  scratch_dir_t dir;
  process_fs_t fs;
  const std::string path = dir.at("f");
  EXPECT_EXIT(fs.add(path.c_str()), testing::ExitedWithCode(1), "internal error 2598");
  dir.write("g", "x");
  const std::string other = dir.at("g");
  EXPECT_EXIT(fs.remove(other.c_str(), FS_REMOVE_FORGET), testing::ExitedWithCode(1), "internal error 2599");
}

} // namespace

TEST_F(ProcessFs, FilesWrittenForLaterSyncAreCommittedCachedAndSyncedTogether)
{
  dir_.write("d/old.txt", "old content");
  for ( const char *path : {"d/old.txt", "d/new.txt", "e/gone.txt"} )
  {
    fs_file_t *file = open(path, FS_OPEN_WRITE | FS_OPEN_DIGEST | FS_OPEN_SYNC_LATER);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(write(file, std::string("text of ") + path), 0);
    EXPECT_EQ(file->close(true), 0);
  }
  // Committed at the close, as without the flag; the status recorded with the digest is the file's own.
  EXPECT_EQ(dir_.read("d/old.txt"), "text of d/old.txt");
  EXPECT_TRUE(temporaries(dir_, "d").empty());
  EXPECT_EQ(cached_digest("d/new.txt"), md5_hex("text of d/new.txt"));
  EXPECT_EQ(cached_digest("d/old.txt"), md5_hex("text of d/old.txt"));
  // A file removed before the batch ends is skipped; a second call has nothing left to do.
  fs::remove(dir_.path() + "/e/gone.txt");
  EXPECT_EQ(fs_.sync_written_files(), 0);
  EXPECT_EQ(fs_.sync_written_files(), 0);
}

// A batch walks the folders of its files once; the next batch looks at them again, so a folder that became a
// link leading out in between is refused then. A link in the last place is followed as without a batch.
TEST_F(ProcessFs, BatchWritesWalkEachFolderOnceAndTheNextBatchLooksAgain)
{
  dir_.write("site/d/old.txt", "old");
  dir_.write("site/d/target.txt", "target");
  dir_.write("outside/keep.txt", "keep");
  fs::create_symlink("target.txt", dir_.at("site/d/link.txt"));
  fs::create_symlink("made.txt", dir_.at("site/d/dangling.txt"));
  process_fs_t site(dir_.at("site").c_str());
  attach_md5_cache(&site);
  const auto write_file = [&](const std::string &path, const std::string &text) {
    fs_file_t *file = nullptr;
    int code = site.open(&file, dir_.at(path).c_str(), FS_OPEN_WRITE | FS_OPEN_DIGEST | FS_OPEN_SYNC_LATER);
    if ( code != 0 )
      return code;
    code = write(file, text);
    const int closed = file->close(code == 0);
    return code != 0 ? code : closed;
  };

  struct
  {
    const char *path;
    const char *written; // where the bytes land
  } const rows[] = {
    {"site/d/new.txt", "site/d/new.txt"},
    {"site/d/old.txt", "site/d/old.txt"},
    {"site/d/link.txt", "site/d/target.txt"},
    {"site/d/dangling.txt", "site/d/made.txt"},
    {"site/e/f/new.txt", "site/e/f/new.txt"},
  };
  for ( const auto &row : rows )
  {
    EXPECT_EQ(write_file(row.path, std::string("by ") + row.path), 0) << row.path;
    EXPECT_EQ(dir_.read(row.written), std::string("by ") + row.path) << row.path;
  }
  EXPECT_TRUE(fs::is_symlink(dir_.at("site/d/link.txt")));
  EXPECT_TRUE(fs::is_symlink(dir_.at("site/d/dangling.txt")));
  EXPECT_TRUE(temporaries(dir_, "site/d").empty());
  EXPECT_EQ(site.sync_written_files(), 0);

  fs::rename(dir_.at("site/d"), dir_.at("site/d_moved"));
  fs::create_directory_symlink("../outside", dir_.at("site/d"));
  EXPECT_EQ(write_file("site/d/new.txt", "pwned"), 42);
  EXPECT_EQ(write_file("site/d/keep.txt", "pwned"), 42);
  EXPECT_FALSE(dir_.exists("outside/new.txt"));
  EXPECT_EQ(dir_.read("outside/keep.txt"), "keep");
}
