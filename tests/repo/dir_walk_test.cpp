// glob and list_dir on both file systems: recursion and wildcards, ignore rules and whole ignored
// directories, stop checks, link loops, listing lines and how much of a file a listing reads.
#include "repo/dir_walk.h"

#include "core/file_ops.h"
#include "repo/fs_file.h"
#include "repo/ignore_rules.h"
#include "repo/locked_fs.h"
#include "repo/plain_fs.h"

#include "tests/repo/work_dir_helpers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> sorted(const qvector<qstring> &paths)
{
  std::vector<std::string> result;
  for ( const qstring &p : paths )
    result.emplace_back(p.c_str());
  std::sort(result.begin(), result.end());
  return result;
}

// A process file system that records the byte count each read of an open file asks for.
class read_recording_fs_t : public process_fs_t
{
public:
  int open(fs_file_t **out, const char *path, uint32_t flags) override
  {
    fs_file_t *inner = nullptr;
    const int code = process_fs_t::open(&inner, path, flags);
    if ( code == 0 )
      *out = new recording_file_t(this, inner);
    return code;
  }

  std::vector<uint64_t> requested;

private:
  class recording_file_t : public fs_file_t
  {
  public:
    recording_file_t(read_recording_fs_t *fs, fs_file_t *inner) : fs_(fs), inner_(inner) {}
    int read(uint64_t *n, void *buf) override
    {
      fs_->requested.push_back(*n);
      return inner_->read(n, buf);
    }
    int write(uint64_t *n, const void *bytes) override { return inner_->write(n, bytes); }
    int64_t seek(uint64_t offset) override { return inner_->seek(offset); }
    uint64_t tell() override { return inner_->tell(); }
    int close(bool commit) override
    {
      const int code = inner_->close(commit);
      delete this;
      return code;
    }

  private:
    ~recording_file_t() override = default;
    read_recording_fs_t *fs_;
    fs_file_t *inner_;
  };
};

class ProcessGlob : public testing::Test
{
protected:
  void SetUp() override
  {
    dir_.write("a.c", "a");
    dir_.write("b.h", "b");
    dir_.write("..data", "dots");
    dir_.write(".hidden", "h");
    dir_.write(".arkive_cache", "");
    dir_.write("sub/c.c", "c");
    dir_.write("sub/deep/d.c", "d");
    dir_.write("sub/.arkive_cache", "");
  }

  std::string at(const std::string &relative) const { return dir_.at(relative); }

  // glob with the scratch directory as root; the sorted result, or {"<false>"} when glob answered false.
  std::vector<std::string> glob(const std::string &pattern, uint32_t flags, glob_stop_check_t stop = nullptr)
  {
    qvector<qstring> out;
    if ( !fs_.glob(&out, pattern.c_str(), nullptr, dir_.path().c_str(), std::move(stop), flags) )
      return {"<false>"};
    return sorted(out);
  }

  scratch_dir_t dir_;
  process_fs_t fs_;
};

TEST_F(ProcessGlob, DirectoryIsWalkedRecursively)
{
  const std::vector<std::string> expected = {at("..data"), at(".hidden"), at("a.c"), at("b.h"), at("sub/c.c"),
                                             at("sub/deep/d.c")};
  EXPECT_EQ(glob(dir_.path(), FS_GLOB_FILES), expected);
  EXPECT_EQ(glob(dir_.path() + "/", FS_GLOB_FILES), expected);
  EXPECT_EQ(glob(dir_.path() + "\\", FS_GLOB_FILES), expected);
}

TEST_F(ProcessGlob, WildcardSelectsOneLevelOnly)
{
  dir_.write("x.c/inside.c", "directory named like a source");
  EXPECT_EQ(glob(at("*.c"), FS_GLOB_FILES), std::vector<std::string>{at("a.c")});
  EXPECT_EQ(glob(at("?.?"), FS_GLOB_FILES), (std::vector<std::string>{at("a.c"), at("b.h")}));
  EXPECT_EQ(glob(at("*.c"), FS_GLOB_FILES | FS_GLOB_DIRECTORIES), (std::vector<std::string>{at("a.c"), at("x.c")}));
  EXPECT_EQ(glob(at("sub/*"), FS_GLOB_DIRECTORIES), std::vector<std::string>{at("sub/deep")});
  EXPECT_EQ(glob(at("a.c"), FS_GLOB_FILES), std::vector<std::string>{at("a.c")});
  EXPECT_EQ(glob(at("nothing*"), FS_GLOB_FILES), std::vector<std::string>{});
  EXPECT_EQ(glob(at("missing/*"), FS_GLOB_FILES), std::vector<std::string>{});
}

TEST_F(ProcessGlob, NamesAreMatchedCaseSensitively)
{
  dir_.write("UPPER.C", "u");
  EXPECT_EQ(glob(at("*.c"), FS_GLOB_FILES), std::vector<std::string>{at("a.c")});
  EXPECT_EQ(glob(at("*.C"), FS_GLOB_FILES), std::vector<std::string>{at("UPPER.C")});
}

TEST_F(ProcessGlob, DirectoriesAreReportedOnlyWhenAsked)
{
  EXPECT_EQ(glob(dir_.path(), FS_GLOB_DIRECTORIES), (std::vector<std::string>{at("sub"), at("sub/deep")}));
  EXPECT_EQ(glob(dir_.path(), 0), std::vector<std::string>{});
}

TEST_F(ProcessGlob, WithoutRulesOrRootNothingHappensAndTheStopCheckIsDestroyed)
{
  auto token = std::make_shared<int>(0);
  qvector<qstring> out;
  EXPECT_FALSE(fs_.glob(&out, dir_.path().c_str(), nullptr, nullptr, [token] { return false; }, FS_GLOB_FILES));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(token.use_count(), 1);

  EXPECT_TRUE(fs_.glob(&out, dir_.path().c_str(), nullptr, "/", [token] { return false; }, FS_GLOB_FILES));
  EXPECT_EQ(out.size(), 6u);
  EXPECT_EQ(token.use_count(), 1);
}

TEST_F(ProcessGlob, RootRulesLeaveIgnoredDirectoriesOutAsAWhole)
{
  dir_.write(".akignore", "build/\n*.h\n");
  dir_.write("build/x.o", "o");
  // Were the walk to enter build/, this deeper rule would bring x.o back.
  dir_.write("build/.akignore", "!x.o\n");
  dir_.write("sub/.akignore", "!b2.h\n");
  dir_.write("sub/b2.h", "h");
  const std::vector<std::string> expected = {at("..data"), at(".akignore"), at(".hidden"), at("a.c"),
                                             at("sub/.akignore"), at("sub/b2.h"), at("sub/c.c"),
                                             at("sub/deep/d.c")};
  EXPECT_EQ(glob(dir_.path(), FS_GLOB_FILES), expected);
  EXPECT_EQ(glob(dir_.path(), FS_GLOB_DIRECTORIES), (std::vector<std::string>{at("sub"), at("sub/deep")}));

  // FS_GLOB_NO_RULES: a root alone then applies nothing.
  const std::vector<std::string> everything = glob(dir_.path(), FS_GLOB_FILES | FS_GLOB_NO_RULES);
  EXPECT_EQ(everything.size(), 11u);
  EXPECT_NE(std::find(everything.begin(), everything.end(), at("build/x.o")), everything.end());
}

TEST_F(ProcessGlob, GivenRulesAreUsedWithoutARoot)
{
  dir_.write(".akignore", "*.c\n");
  ignore_rules_t rules(&fs_, dir_.path().c_str());
  qvector<qstring> out;
  EXPECT_TRUE(fs_.glob(&out, dir_.path().c_str(), &rules, nullptr, nullptr, FS_GLOB_FILES));
  EXPECT_EQ(sorted(out), (std::vector<std::string>{at("..data"), at(".akignore"), at(".hidden"), at("b.h")}));
}

TEST_F(ProcessGlob, StopCheckEndsTheGlob)
{
  int asked = 0;
  EXPECT_EQ(glob(dir_.path(), FS_GLOB_FILES, [&asked] { return ++asked == 3; }), std::vector<std::string>{"<false>"});
  EXPECT_EQ(asked, 3);

  // Directories ask too, but only when they are reported.
  qvector<qstring> out;
  asked = 0;
  EXPECT_FALSE(fs_.glob(&out, dir_.path().c_str(), nullptr, dir_.path().c_str(), [&asked] { return ++asked == 1; },
                        FS_GLOB_DIRECTORIES));
  EXPECT_TRUE(out.empty());
}

TEST_F(ProcessGlob, LinkLoopsAreNotEntered)
{
  fs::create_directory_symlink(".", at("sub/loop"));
  fs::create_directory_symlink("..", at("sub/deep/up"));
  EXPECT_EQ(glob(at("sub"), FS_GLOB_FILES), (std::vector<std::string>{at("sub/c.c"), at("sub/deep/d.c")}));
  EXPECT_EQ(glob(at("sub"), FS_GLOB_DIRECTORIES),
            (std::vector<std::string>{at("sub/deep"), at("sub/deep/up"), at("sub/loop")}));
}

TEST_F(ProcessGlob, LongPathsAreReportedWhole)
{
  std::string relative;
  for ( int i = 0; i < 12; ++i )
    relative += std::string(40, char('a' + i)) + "/";
  relative += "leaf.txt";
  dir_.write(relative, "x");
  const std::vector<std::string> found = glob(at(std::string(40, 'a')), FS_GLOB_FILES);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], at(relative));
  EXPECT_GT(found[0].size(), 500u);
}

TEST(LockedGlob, ReportsFilesAndTestsEachOneByItself)
{
  locked_fs_t fs;
  for ( const char *path : {"/w/a.c", "/w/b.h", "/w/build/x.o", "/w/build/y.o", "/w/sub/c.c", "/w/.arkive_cache",
                            "/v/outside.c"} )
    ASSERT_EQ(fs.add(path), 0) << path;
  byte_buffer_t rules;
  for ( const char c : std::string("build/\n*.h\n") )
    rules.push_back(uint8_t(c));
  ASSERT_EQ(fs.write_whole_file("/w/.akignore", rules), 0);
  rules.clear();
  for ( const char c : std::string("!x.o\n") )
    rules.push_back(uint8_t(c));
  ASSERT_EQ(fs.write_whole_file("/w/build/.akignore", rules), 0);

  qvector<qstring> out;
  // Directories are never reported, whatever the flags; an ignored directory is not skipped as a whole,
  // so its own rule file brings x.o back (the rule file itself stays ignored).
  EXPECT_TRUE(fs.glob(&out, "/w", nullptr, "/w", nullptr, FS_GLOB_FILES | FS_GLOB_DIRECTORIES | FS_GLOB_NO_RULES));
  EXPECT_EQ(sorted(out), (std::vector<std::string>{"/w/.akignore", "/w/a.c", "/w/build/x.o", "/w/sub/c.c"}));

  out.clear();
  EXPECT_TRUE(fs.glob(&out, "/w/*", nullptr, "/w", nullptr, FS_GLOB_FILES));
  EXPECT_EQ(sorted(out), (std::vector<std::string>{"/w/.akignore", "/w/a.c"}));

  out.clear();
  EXPECT_FALSE(fs.glob(&out, "/w", nullptr, nullptr, nullptr, FS_GLOB_FILES));
  EXPECT_TRUE(out.empty());

  out.clear();
  int asked = 0;
  EXPECT_FALSE(fs.glob(&out, "/w", nullptr, "/w", [&asked] { return ++asked == 2; }, FS_GLOB_FILES));
  EXPECT_EQ(out.size(), 1u);
}

class ProcessListing : public testing::Test
{
protected:
  std::vector<std::string> list(abstract_fs_t &fs, const std::string &path)
  {
    qvector<qstring> out;
    EXPECT_TRUE(fs.list_dir(&out, path.c_str()));
    return sorted(out);
  }

  scratch_dir_t dir_;
  process_fs_t fs_;
};

TEST_F(ProcessListing, OneLinePerEntryInTheListingFormat)
{
  dir_.write("long.txt", "hello world, this is long");
  dir_.write("short.txt", "ab");
  dir_.write("empty", "");
  dir_.write("zero", std::string("x\0y", 3));
  dir_.write(".arkive_cache", "1 2 3 x\n");
  dir_.write("sub/inner", "0123456789");
  const std::vector<std::string> expected = {
    "-            " + dir_.at("empty"),
    "- 0123456789 " + dir_.at("sub/inner"),
    "- <DIR>      " + dir_.at("sub"),
    "- ab         " + dir_.at("short.txt"),
    "- hello worl " + dir_.at("long.txt"),
    "- x          " + dir_.at("zero"),
  };
  EXPECT_EQ(list(fs_, dir_.path()), expected);
  EXPECT_EQ(list(fs_, dir_.at("*.txt")),
            (std::vector<std::string>{"- ab         " + dir_.at("short.txt"), "- hello worl " + dir_.at("long.txt")}));
}

TEST_F(ProcessListing, ReadsOnlyTheBytesItShows)
{
  dir_.write("big", std::string(1 << 20, 'z'));
  dir_.write("small", "abc");
  read_recording_fs_t recording;
  EXPECT_EQ(list(recording, dir_.at("big")), std::vector<std::string>{"- zzzzzzzzzz " + dir_.at("big")});
  EXPECT_EQ(list(recording, dir_.at("small")), std::vector<std::string>{"- abc        " + dir_.at("small")});
  EXPECT_EQ(recording.requested, (std::vector<uint64_t>{10, 3}));
}

TEST_F(ProcessListing, UnreadableEntriesShowAQuestionMark)
{
  ASSERT_EQ(mkfifo(dir_.at("pipe").c_str(), 0600), 0);
  dir_.write("outside/secret", "secret");
  dir_.write("site/plain", "plain");
  fs::create_symlink(dir_.at("outside/secret"), dir_.at("site/leak"));
  process_fs_t confined(dir_.at("site").c_str());
  EXPECT_EQ(list(confined, dir_.at("site")),
            (std::vector<std::string>{"- ?          " + dir_.at("site/leak"), "- plain      " + dir_.at("site/plain")}));
  // A pipe is never opened (that would wait for a writer).
  EXPECT_EQ(list(fs_, dir_.at("pipe")), std::vector<std::string>{"- ?          " + dir_.at("pipe")});
}

TEST(LockedListing, ShowsTheStartOfEachEntry)
{
  locked_fs_t fs;
  byte_buffer_t bytes;
  for ( const char c : std::string("first line of a long file") )
    bytes.push_back(uint8_t(c));
  ASSERT_EQ(fs.write_whole_file("/w/long", bytes), 0);
  ASSERT_EQ(fs.write_whole_file("/w/sub/x", byte_buffer_t {}), 0);
  ASSERT_EQ(fs.write_whole_file("/w/.arkive_cache", bytes), 0);
  qvector<qstring> out;
  EXPECT_TRUE(fs.list_dir(&out, "/w/*"));
  EXPECT_EQ(sorted(out), (std::vector<std::string>{"- <DIR>      /w/sub", "- first line /w/long"}));
  out.clear();
  EXPECT_TRUE(fs.list_dir(&out, "/w"));
  EXPECT_EQ(sorted(out), (std::vector<std::string>{"-            /w/sub/x", "- first line /w/long"}));
}

} // namespace
