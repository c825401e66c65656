// Hashing a work-directory file through its file system.
#include "repo/local_file_digest.h"

#include "core/md5.h"
#include "repo/fs_file.h"
#include "repo/locked_fs.h"
#include "repo/plain_fs.h"

#include "tests/repo/work_dir_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string hex(const uint8_t digest[16])
{
  char text[33];
  return digest_to_hex(digest, text, sizeof(text));
}

std::string md5_hex(const std::string &bytes)
{
  md5_context_t ctx;
  md5_init(&ctx);
  md5_update(&ctx, bytes.data(), bytes.size());
  uint8_t digest[16];
  md5_final(digest, &ctx);
  return hex(digest);
}

// A locked file system whose files count their reads and may fail the n-th one.
class counting_fs_t : public locked_fs_t
{
public:
  int open(fs_file_t **out, const char *path, uint32_t flags) override
  {
    flags_seen.push_back(flags);
    fs_file_t *inner = nullptr;
    const int code = locked_fs_t::open(&inner, path, flags);
    if ( code == 0 )
      *out = new counting_file_t(this, inner);
    return code;
  }

  std::vector<uint32_t> flags_seen;
  std::vector<uint64_t> read_sizes; // bytes each read returned
  int fail_read = -1;               // index of the read that fails with 33
  std::vector<bool> closes;         // commit flag of each close

private:
  class counting_file_t : public fs_file_t
  {
  public:
    counting_file_t(counting_fs_t *fs, fs_file_t *inner) : fs_(fs), inner_(inner) {}
    int read(uint64_t *n, void *buf) override
    {
      if ( int(fs_->read_sizes.size()) == fs_->fail_read )
      {
        fs_->read_sizes.push_back(0);
        *n = 0;
        return 33;
      }
      const int code = inner_->read(n, buf);
      fs_->read_sizes.push_back(*n);
      return code;
    }
    int write(uint64_t *n, const void *bytes) override { return inner_->write(n, bytes); }
    int64_t seek(uint64_t offset) override { return inner_->seek(offset); }
    uint64_t tell() override { return inner_->tell(); }
    int close(bool commit) override
    {
      fs_->closes.push_back(commit);
      const int code = inner_->close(commit);
      delete this;
      return code;
    }

  private:
    ~counting_file_t() override = default;
    counting_fs_t *fs_;
    fs_file_t *inner_;
  };
};

void put(abstract_fs_t &fs, const char *path, const std::string &bytes)
{
  byte_buffer_t buf;
  buf.resize(bytes.size());
  std::memcpy(buf.data(), bytes.data(), bytes.size());
  ASSERT_EQ(fs.write_whole_file(path, buf), 0);
}

void put(counting_fs_t &fs, const char *path, const std::string &bytes)
{
  put(static_cast<abstract_fs_t &>(fs), path, bytes);
  fs.closes.clear();
}

TEST(HashLocalFile, AFileOfExactlyFourMebibytesTakesTwoReads)
{
  counting_fs_t fs;
  const std::string content(4 * 1024 * 1024, 'q');
  put(fs, "big", content);
  uint8_t digest[16];
  EXPECT_EQ(hash_local_file(&fs, "big", digest), 0);
  EXPECT_EQ(hex(digest), md5_hex(content));
  EXPECT_EQ(fs.read_sizes, (std::vector<uint64_t>{4194304, 0}));
  EXPECT_EQ(fs.flags_seen.back(), FS_OPEN_READ); // no digest flag: nothing is recorded
  EXPECT_EQ(fs.closes, std::vector<bool>{true});
}

TEST(HashLocalFile, LargerFilesAreReadInPieces)
{
  counting_fs_t fs;
  const std::string content(4 * 1024 * 1024 + 10, 'r');
  put(fs, "big", content);
  uint8_t digest[16];
  EXPECT_EQ(hash_local_file(&fs, "big", digest), 0);
  EXPECT_EQ(hex(digest), md5_hex(content));
  EXPECT_EQ(fs.read_sizes, (std::vector<uint64_t>{4194304, 10, 0}));
}

TEST(HashLocalFile, AFailedReadClosesWithoutCommitAndKeepsTheDigestOfWhatWasRead)
{
  counting_fs_t fs;
  put(fs, "f", std::string(5 * 1024 * 1024, 's'));
  fs.fail_read = 1;
  uint8_t digest[16];
  EXPECT_EQ(hash_local_file(&fs, "f", digest), 33);
  EXPECT_EQ(hex(digest), md5_hex(std::string(4 * 1024 * 1024, 's')));
  EXPECT_EQ(fs.closes, std::vector<bool>{false});
}

TEST(HashLocalFile, AMissingFileLeavesTheDigestAlone)
{
  scratch_dir_t dir;
  process_fs_t fs;
  uint8_t digest[16];
  std::memset(digest, 0xAB, sizeof(digest));
  EXPECT_EQ(hash_local_file(&fs, dir.at("missing").c_str(), digest), 33);
  for ( uint8_t b : digest )
    EXPECT_EQ(b, 0xAB);
}

TEST(HashLocalFile, EmptyAndSmallFilesOnDisk)
{
  scratch_dir_t dir;
  process_fs_t fs;
  dir.write("empty", "");
  dir.write("small", "hello world");
  uint8_t digest[16];
  EXPECT_EQ(hash_local_file(&fs, dir.at("empty").c_str(), digest), 0);
  EXPECT_EQ(hex(digest), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(hash_local_file(&fs, dir.at("small").c_str(), digest), 0);
  EXPECT_EQ(hex(digest), md5_hex("hello world"));
}

} // namespace
