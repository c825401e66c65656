// Tests of path text, file-system calls, streams, line readers and directory scans.
#include "core/file_ops.h"

#include "core/error_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{

// A fresh directory under the test process's private TMPDIR; the working directory is restored.
class FileOpsTest : public testing::Test
{
protected:
  void SetUp() override
  {
    std::string tmpl = fs::temp_directory_path() / "files-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    saved_cwd_ = fs::current_path();
    qerrno_set(0);
  }
  void TearDown() override
  {
    fs::current_path(saved_cwd_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string path(const std::string &name) const { return (dir_ / name).string(); }

  std::string write_file(const std::string &name, const std::string &content) const
  {
    std::ofstream(path(name), std::ios::binary) << content;
    return path(name);
  }

  static std::string read_file(const std::string &p)
  {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
  fs::path saved_cwd_;
};

// ---------------------------------------------------------------------------------------------------------
// Path text

struct text_case
{
  const char *input;
  const char *expected;
};

TEST(PathText, FileNameAfterLastSeparatorOrDrive)
{
  const text_case cases[] = {
      {"C:\\x", "x"}, {"C:x", "x"},  {"a/b\\c", "c"}, {"", ""},      {"/usr/lib/", ""},
      {"name", "name"}, {"/x", "x"}, {"a\\b/c", "c"},  {"1:y", "y"},  {"C:", ""},
  };
  for ( const text_case &c : cases )
    EXPECT_STREQ(path_file_name(c.input), c.expected) << c.input;
  EXPECT_EQ(path_file_name(static_cast<const char *>(nullptr)), nullptr);
}

TEST(PathText, DirectoryPartOfWindowsAndLinuxPaths)
{
  struct dir_case
  {
    const char *input;
    const char *expected;
    bool has_dir;
  };
  const dir_case cases[] = {
      {"C:\\x", "C:\\", true},   {"C:/x", "C:/", true},     {"C:x", "C:", true},
      {"\\x", "\\", true},       {"/x", "/", true},          {"a\\b\\c", "a\\b", true},
      {"a/b/c", "a/b", true},    {"c", ".", false},          {"/usr/lib/", "/usr/lib", true},
      {"//x", "/", true},        {"a/b\\c", "a/b", true},    {"", ".", false},
      {"C:\\a\\b", "C:\\a", true}, {"1:x", ".", false},
  };
  for ( const dir_case &c : cases )
  {
    char buf[64];
    EXPECT_EQ(path_directory(buf, sizeof(buf), c.input), c.has_dir) << c.input;
    EXPECT_STREQ(buf, c.expected) << c.input;
    EXPECT_EQ(path_directory(nullptr, 0, c.input), c.has_dir) << c.input;
  }
}

TEST(PathText, DirectoryPartInPlaceAndBounds)
{
  char buf[32] = "/home/user/file.txt";
  EXPECT_TRUE(path_directory(buf, sizeof(buf), buf));
  EXPECT_STREQ(buf, "/home/user");

  char small[5];
  EXPECT_FALSE(path_directory(small, sizeof(small), "/home/user/f"));
  EXPECT_STREQ(small, "");
  EXPECT_EQ(errno, ENAMETOOLONG);
  EXPECT_EQ(qerrno_get(), 1);

  char tiny[1];
  EXPECT_FALSE(path_directory(tiny, sizeof(tiny), "a/b"));
  EXPECT_FALSE(path_directory(buf, sizeof(buf), nullptr));
}

TEST(PathText, AbsolutePaths)
{
  struct abs_case
  {
    const char *input;
    bool absolute;
  };
  const abs_case cases[] = {
      {"C:\\x", true}, {"\\x", true},  {"//h/s", true}, {"/usr", true}, {"c:/x", true},
      {"C:x", false},  {"x", false},   {"", false},     {"1:/x", false}, {"./x", false},
  };
  for ( const abs_case &c : cases )
    EXPECT_EQ(is_absolute_path(c.input), c.absolute) << c.input;
}

TEST(PathText, JoinComponents)
{
  struct join_case
  {
    std::vector<const char *> parts;
    const char *expected;
  };
  const join_case cases[] = {
      {{"C:\\"}, "C:/"},
      {{"C:\\", "x"}, "C:/x"},
      {{"a/", "/b/", "c"}, "a/b/c"},
      {{"a\\", "\\b\\", "c"}, "a/b/c"},
      {{"/usr/", "lib"}, "/usr/lib"},
      {{"a", "", "b"}, "a/b"},
      {{"a", "/", "b"}, "a/b"},
      {{"/", "x"}, "/x"},
      {{"/"}, "/"},
      {{"//"}, "/"},
      {{"", "x"}, "x"},
      {{"a/b\\"}, "a/b"},
      {{"C:", ""}, "C:/"},
      {{"C:"}, "C:"},
      {{}, ""},
  };
  for ( const join_case &c : cases )
  {
    std::vector<const char *> rest(c.parts.size() > 1 ? c.parts.begin() + 1 : c.parts.end(), c.parts.end());
    rest.push_back(nullptr);
    char buf[64] = "garbage";
    const char *first = c.parts.empty() ? nullptr : c.parts[0];
    EXPECT_STREQ(join_path_list(buf, sizeof(buf), first, rest.data()), c.expected) << c.expected;
  }

  char buf[64];
  EXPECT_STREQ(join_path(buf, sizeof(buf), "a/", "/b/", "c", nullptr), "a/b/c");
  EXPECT_EQ(join_path(nullptr, 10, "a", nullptr), nullptr);
}

TEST(PathText, JoinExtendsInPlaceAndNeverCuts)
{
  char buf[16] = "/base/";
  EXPECT_EQ(join_path(buf, sizeof(buf), buf, "x", nullptr), buf);
  EXPECT_STREQ(buf, "/base/x");

  // "/base/x/12345678" needs 17 bytes: refused, not cut.
  errno = 0;
  EXPECT_EQ(join_path(buf, sizeof(buf), buf, "12345678", nullptr), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);
  EXPECT_EQ(qerrno_get(), 1);

  char exact[8];
  EXPECT_STREQ(join_path(exact, sizeof(exact), "abc", "def", nullptr), "abc/def");
  EXPECT_EQ(join_path(exact, sizeof(exact), "abcdefgh", nullptr), nullptr);
  EXPECT_EQ(join_path(exact, 0, nullptr), nullptr);
}

TEST(PathText, ExtensionReplacedOrAdded)
{
  struct ext_case
  {
    const char *path;
    const char *ext;
    const char *expected;
  };
  const ext_case cases[] = {
      {"a.b", "exe", "a.exe"},          {"a", "exe", "a.exe"},        {".cfg", "exe", ".cfg.exe"},
      {"dir\\", "exe", "dir\\.exe"},    {"dir/", ".exe", "dir/.exe"}, {"a.b", ".exe", "a.exe"},
      {"x.y/z", "exe", "x.y/z.exe"},    {"a.tar.gz", "zip", "a.tar.zip"}, {"C:x", "y", "C:x.y"},
      {"a.", "b", "a.b"},               {"a.b", "", "a."},
  };
  for ( const ext_case &c : cases )
  {
    char buf[64];
    EXPECT_STREQ(set_path_extension(buf, sizeof(buf), c.path, c.ext), c.expected) << c.path << " " << c.ext;
  }

  char in_place[16] = "dir/file.txt";
  EXPECT_STREQ(set_path_extension(in_place, sizeof(in_place), in_place, "md5"), "dir/file.md5");
  char small[8];
  EXPECT_EQ(set_path_extension(small, sizeof(small), "file.txt", "backup"), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST_F(FileOpsTest, FullPathResolvesAsText)
{
  fs::current_path(dir_);
  const std::string cwd = fs::current_path().string();
  const text_case cases[] = {
      {"/a/./b/../c", "/a/c"},
      {"\\a\\b\\", "/a/b/"},
      {"/..", "/"},
      {"/a//b", "/a/b"},
      {"C:\\a\\..\\b", "C:/b"},
      {"", ""},
  };
  for ( const text_case &c : cases )
  {
    char buf[PATH_MAX];
    EXPECT_STREQ(full_path(buf, sizeof(buf), c.input), c.expected) << c.input;
  }
  char buf[PATH_MAX];
  EXPECT_EQ(std::string(full_path(buf, sizeof(buf), "rel/x")), cwd + "/rel/x");
  EXPECT_EQ(std::string(full_path(buf, sizeof(buf), ".")), cwd);
  EXPECT_EQ(std::string(full_path(buf, sizeof(buf), "sub/../y")), cwd + "/y");

  // When the absolute form does not fit, the path is copied unchanged; when neither fits, it fails.
  char small[4];
  EXPECT_STREQ(full_path(small, sizeof(small), "x"), "x");
  EXPECT_EQ(full_path(small, sizeof(small), "longer"), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST_F(FileOpsTest, CurrentDirectory)
{
  fs::current_path(dir_);
  const std::string cwd = fs::current_path().string();
  char buf[PATH_MAX];
  EXPECT_EQ(std::string(current_directory(buf, sizeof(buf))), cwd);
  std::vector<char> exact(cwd.size() + 2);
  EXPECT_EQ(std::string(current_directory(exact.data(), ptrdiff_t(exact.size()))), cwd);
}

using FileOpsDeathTest = FileOpsTest;

TEST_F(FileOpsDeathTest, CurrentDirectoryThatDoesNotFitIsFatal)
{
  fs::current_path(dir_);
  const size_t len = fs::current_path().string().size();
  std::vector<char> buf(len + 1); // the text must fit in size - 1 bytes
  EXPECT_EXIT(current_directory(buf.data(), ptrdiff_t(buf.size())), testing::ExitedWithCode(1),
              "getcwd: Numerical result out of range");
}

TEST(PathTextDeathTest, NegativeSizesAreInternalErrors)
{
  char buf[8];
  EXPECT_EXIT(join_path(buf, -1, "a", nullptr), testing::ExitedWithCode(1), "internal error 1225");
  EXPECT_EXIT(set_path_extension(buf, -1, "a", "b"), testing::ExitedWithCode(1), "internal error 1225");
  EXPECT_EXIT(full_path(buf, -1, "a"), testing::ExitedWithCode(1), "internal error 1225");
}

// ---------------------------------------------------------------------------------------------------------
// File system

TEST_F(FileOpsTest, ExistenceTests)
{
  const std::string file = write_file("f.txt", "x");
  fs::create_directory(path("d"));
  fs::create_symlink(file, path("link"));
  fs::create_symlink(path("d"), path("dirlink"));
  fs::create_symlink(path("missing"), path("dangling"));
  struct exist_case
  {
    std::string path;
    bool exists;
    bool directory;
  };
  const exist_case cases[] = {
      {file, true, false},
      {path("d"), false, true},
      {path("d") + "/", false, true},
      {path("link"), true, false},
      {path("dirlink"), false, true},
      {path("dangling"), false, false},
      {path("missing"), false, false},
      {dir_.string() + "\\f.txt", true, false},
      {path("f\xC3("), false, false},
      {std::string(PATH_MAX + 10, 'a'), false, false},
  };
  for ( const exist_case &c : cases )
  {
    EXPECT_EQ(file_exists(c.path.c_str()), c.exists) << c.path;
    EXPECT_EQ(is_directory(c.path.c_str()), c.directory) << c.path;
  }
}

TEST_F(FileOpsTest, MakeDirectoryReportsErrors)
{
  struct mkdir_case
  {
    std::string path;
    int rc;
    int err;
  };
  const mkdir_case cases[] = {
      {path("new"), 0, 0},
      {path("new"), -1, EEXIST},
      {path("no/such/parent"), -1, ENOENT},
      {path("bad\xFF"), -1, EILSEQ},
      {dir_.string() + "\\new\\inner", 0, 0},
      {std::string(PATH_MAX + 1, 'd'), -1, ENAMETOOLONG},
  };
  for ( const mkdir_case &c : cases )
  {
    qerrno_set(0);
    errno = 0;
    EXPECT_EQ(make_directory(c.path.c_str(), 0755), c.rc) << c.path;
    if ( c.rc != 0 )
    {
      EXPECT_EQ(errno, c.err) << c.path;
      EXPECT_EQ(qerrno_get(), 1) << c.path;
    }
  }
  EXPECT_TRUE(fs::is_directory(path("new/inner")));
}

TEST_F(FileOpsTest, NamesMustBeStrictUtf8)
{
  struct name_case
  {
    const char *what;
    const char *name;
    bool valid;
  };
  const name_case cases[] = {
      {"ASCII", "plain", true},
      {"two bytes", "caf\xC3\xA9", true},
      {"three bytes", "\xE2\x82\xAC", true},
      {"four bytes", "\xF0\x9F\x98\x80", true},
      {"highest code point", "\xF4\x8F\xBF\xBF", true},
      {"stray continuation", "a\x80", false},
      {"overlong slash", "\xC0\xAF", false},
      {"overlong three bytes", "\xE0\x80\xAF", false},
      {"surrogate", "\xED\xA0\x80", false},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false},
      {"cut sequence", "\xE2\x82", false},
      {"lone lead at the end", "x\xC3", false},
      {"five-byte lead", "\xF8\x88\x80\x80\x80", false},
  };
  for ( const name_case &c : cases )
  {
    errno = 0;
    const int rc = make_directory(path(c.name).c_str(), 0755);
    EXPECT_EQ(rc == 0, c.valid) << c.what;
    if ( !c.valid )
    {
      EXPECT_EQ(errno, EILSEQ) << c.what;
    }
    EXPECT_EQ(is_directory(path(c.name).c_str()), c.valid) << c.what;
  }
}

TEST_F(FileOpsTest, DeleteFileReportsErrors)
{
  const std::string file = write_file("f", "x");
  fs::create_directory(path("d"));
  struct delete_case
  {
    std::string path;
    int rc;
    int err;
  };
  const delete_case cases[] = {
      {file, 0, 0},
      {file, -1, ENOENT},
      {path("d"), -1, EISDIR},
      {path("\xC3"), -1, EILSEQ},
  };
  for ( const delete_case &c : cases )
  {
    qerrno_set(0);
    errno = 0;
    EXPECT_EQ(delete_file(c.path.c_str()), c.rc) << c.path;
    if ( c.rc != 0 )
    {
      EXPECT_EQ(errno, c.err) << c.path;
      EXPECT_EQ(qerrno_get(), 1) << c.path;
    }
  }
  EXPECT_TRUE(fs::is_directory(path("d"))) << "a directory is never removed by delete_file";
}

TEST_F(FileOpsTest, RenameReplacesTargetAtomically)
{
  const std::string from = write_file("from", "new content");
  const std::string to = write_file("to", "old content");
  EXPECT_EQ(rename_file(from.c_str(), to.c_str()), 0);
  EXPECT_FALSE(fs::exists(from));
  EXPECT_EQ(read_file(to), "new content");
}

TEST_F(FileOpsTest, FailedRenameLeavesBothFiles)
{
  const std::string from = write_file("from", "source");
  fs::create_directory(path("target"));
  write_file("target/inside", "kept");
  struct rename_case
  {
    std::string from;
    std::string to;
    int err;
  };
  const rename_case cases[] = {
      {from, path("target"), EISDIR},
      {path("missing"), path("other"), ENOENT},
      {from, path("no/dir/x"), ENOENT},
      {from, path("bad\xC3"), EILSEQ},
      {path("bad\xC3"), path("x"), EILSEQ},
  };
  for ( const rename_case &c : cases )
  {
    qerrno_set(0);
    errno = 0;
    EXPECT_EQ(rename_file(c.from.c_str(), c.to.c_str()), -1) << c.to;
    EXPECT_EQ(errno, c.err) << c.to;
    EXPECT_EQ(qerrno_get(), 1) << c.to;
  }
  EXPECT_EQ(read_file(from), "source");
  EXPECT_EQ(read_file(path("target/inside")), "kept");
}

TEST_F(FileOpsTest, StatGivesSizeModeAndPackedTimes)
{
  const std::string file = write_file("f", "hello world");
  const struct timespec times[2] = {{1700000000, 123456789}, {1600000000, 987654000}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

  file_info_t info;
  qerrno_set(0);
  ASSERT_EQ(file_stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.size, 11);
  EXPECT_EQ(info.mode & 0xF000, 0x8000u);
  EXPECT_EQ(info.access_time, (uint64_t(1700000000) << 32) | 123456);
  EXPECT_EQ(info.modification_time, (uint64_t(1600000000) << 32) | 987654);
  EXPECT_EQ(info.reserved, 0u);
  EXPECT_EQ(info.link_count, 1);
  EXPECT_EQ(info.user_id, int32_t(geteuid()));
  EXPECT_GE(info.creation_time >> 32, uint64_t(1600000000));
  EXPECT_EQ(file_stat(file.c_str(), nullptr), 0);

  fs::create_directory(path("d"));
  ASSERT_EQ(file_stat(path("d").c_str(), &info), 0);
  EXPECT_EQ(info.mode & 0xF000, 0x4000u);
  EXPECT_LT(info.modification_time & 0xFFFFFFFF, 1000000u);
}

TEST_F(FileOpsTest, StatFailuresLeaveErrorCodeAlone)
{
  struct stat_case
  {
    std::string path;
    int err;
  };
  const stat_case cases[] = {{path("missing"), ENOENT}, {path("\xC3\x28"), EILSEQ}, {path("f/x"), ENOENT}};
  for ( const stat_case &c : cases )
  {
    qerrno_set(77);
    file_info_t info;
    EXPECT_EQ(file_stat(c.path.c_str(), &info), -1) << c.path;
    EXPECT_EQ(errno, c.err) << c.path;
    EXPECT_EQ(qerrno_get(), 77) << c.path;
  }
}

// ---------------------------------------------------------------------------------------------------------
// Directory scans

std::set<std::string> scan_names(const std::string &pattern, uint32_t filter)
{
  std::set<std::string> names;
  dir_scan_t scan;
  if ( dir_scan_first(pattern.c_str(), &scan, filter) != 0 )
    return names;
  do
  {
    names.insert(scan.name);
  } while ( dir_scan_next(&scan) == 0 );
  EXPECT_EQ(dir_scan_next(&scan), -1) << "the end stays the end";
  dir_scan_close(&scan);
  EXPECT_EQ(scan.handle, nullptr);
  return names;
}

TEST_F(FileOpsTest, ScanMatchesWildcardsAndFiltersDirectories)
{
  write_file("a.txt", "1");
  write_file("b.txt", "22");
  write_file("c.log", "333");
  fs::create_directory(path("sub"));
  fs::create_directory(path("s.txt"));
  struct scan_case
  {
    std::string pattern;
    uint32_t filter;
    std::set<std::string> names;
  };
  const std::string d = dir_.string();
  const scan_case cases[] = {
      {d + "/*.txt", 0, {"a.txt", "b.txt"}},
      {d + "/*.txt", DIR_ATTR_SUBDIR, {"a.txt", "b.txt", "s.txt"}},
      {d + "/*", 0, {"a.txt", "b.txt", "c.log"}},
      {d + "/*", DIR_ATTR_SUBDIR, {".", "..", "a.txt", "b.txt", "c.log", "sub", "s.txt"}},
      {d + "\\?.txt", 0, {"a.txt", "b.txt"}},
      {d + "/s*", 0, {}},
      {d + "/s*", DIR_ATTR_SUBDIR, {"sub", "s.txt"}},
      {d + "/c.log", 0, {"c.log"}},
      {d + "/C.LOG", 0, {}},
      {d + "/", DIR_ATTR_SUBDIR, {}},
      {d + "/missing/*", DIR_ATTR_SUBDIR, {}},
  };
  for ( const scan_case &c : cases )
    EXPECT_EQ(scan_names(c.pattern, c.filter), c.names) << c.pattern << " filter " << c.filter;
}

TEST_F(FileOpsTest, ScanReportsEntryDetails)
{
  write_file("data.bin", std::string(1234, 'x'));
  fs::create_directory(path("folder"));
  struct tm local {};
  local.tm_year = 2021 - 1900;
  local.tm_mon = 2;
  local.tm_mday = 4;
  local.tm_hour = 5;
  local.tm_min = 6;
  local.tm_sec = 9;
  local.tm_isdst = -1;
  const struct timespec times[2] = {{mktime(&local), 0}, {mktime(&local), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path("data.bin").c_str(), times, 0), 0);
  chmod(path("data.bin").c_str(), 0444);

  dir_scan_t scan;
  ASSERT_EQ(dir_scan_first(path("data.bin").c_str(), &scan, 0), 0);
  EXPECT_STREQ(scan.name, "data.bin");
  EXPECT_EQ(scan.size, 1234);
  EXPECT_EQ(scan.attributes, DIR_ATTR_READONLY);
  EXPECT_EQ(scan.dos_date, (2021 - 1980) * 512 + 3 * 32 + 4);
  EXPECT_EQ(scan.dos_time, 5 * 2048 + 6 * 32 + 9 / 2);

  ASSERT_EQ(dir_scan_first(path("folder").c_str(), &scan, DIR_ATTR_SUBDIR), 0) << "a new scan closes the old";
  EXPECT_STREQ(scan.name, "folder");
  EXPECT_EQ(scan.attributes & DIR_ATTR_SUBDIR, DIR_ATTR_SUBDIR);
}

TEST_F(FileOpsTest, ScanFailuresAreReported)
{
  fs::create_directory(path("only_dirs"));
  fs::create_directory(path("only_dirs/x"));
  struct fail_case
  {
    std::string pattern;
    int err;
  };
  const fail_case cases[] = {
      {path("only_dirs/*"), ENOENT}, // only directories match, filter 0
      {path("missing/*"), ENOENT},
      {path("\xC3(/*"), EILSEQ},
      {path("only_dirs/x/*") + std::string(PATH_MAX, 'z'), ENAMETOOLONG},
  };
  for ( const fail_case &c : cases )
  {
    dir_scan_t scan;
    qerrno_set(0);
    EXPECT_EQ(dir_scan_first(c.pattern.c_str(), &scan, 0), -1) << c.pattern;
    EXPECT_EQ(errno, c.err) << c.pattern;
    EXPECT_EQ(qerrno_get(), 1) << c.pattern;
    EXPECT_EQ(scan.handle, nullptr) << c.pattern;
  }
}

TEST_F(FileOpsTest, ScanLeavesOutNamesThatAreNotUtf8)
{
  write_file("good", "");
  write_file("bad\xFF", "");
  EXPECT_EQ(scan_names(path("*"), 0), std::set<std::string>({"good"}));
}

// ---------------------------------------------------------------------------------------------------------
// Streams

TEST_F(FileOpsTest, OpenFunctionsHonourTheirModes)
{
  write_file("existing", "abc");
  struct open_case
  {
    const char *what;
    FILE *(*open)(const char *);
    const char *name;
    bool opens;
    const char *after_write; // content after writing "XY" (null: do not write)
  };
  const open_case cases[] = {
      {"read", file_open_read, "existing", true, nullptr},
      {"read missing", file_open_read, "missing", false, nullptr},
      {"text", file_open_text, "existing", true, nullptr},
      {"update", file_open_update, "existing", true, "XYc"},
      {"update missing", file_open_update, "missing", false, nullptr},
      {"write", file_open_write, "existing", true, "XY"},
      {"write new", file_open_write, "created", true, "XY"},
      {"append", file_open_append, "existing", true, "abcXY"},
      {"read bad name", file_open_read, "bad\xC3", false, nullptr},
  };
  for ( const open_case &c : cases )
  {
    write_file("existing", "abc");
    qerrno_set(0);
    FILE *fp = c.open(path(c.name).c_str());
    ASSERT_EQ(fp != nullptr, c.opens) << c.what;
    if ( fp == nullptr )
    {
      EXPECT_EQ(qerrno_get(), 1) << c.what;
      continue;
    }
    EXPECT_NE(fcntl(fileno(fp), F_GETFD) & FD_CLOEXEC, 0) << c.what << ": launched programs must not inherit it";
    if ( c.after_write != nullptr )
    {
      EXPECT_EQ(file_write(fp, "XY", 2), 2) << c.what;
    }
    EXPECT_EQ(file_close(fp), 0) << c.what;
    if ( c.after_write != nullptr )
    {
      EXPECT_EQ(read_file(path(c.name)), c.after_write) << c.what;
    }
  }
}

TEST_F(FileOpsTest, OpenWithCallerMode)
{
  write_file("existing", "abc");
  FILE *fp = file_open_mode(path("existing").c_str(), "r+");
  ASSERT_NE(fp, nullptr);
  EXPECT_NE(fcntl(fileno(fp), F_GETFD) & FD_CLOEXEC, 0);
  file_close(fp);

  EXPECT_EQ(file_open_mode(path("existing").c_str(), "wx"), nullptr);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(file_open_mode(path("x").c_str(), "wbbbbbbbbbbbbbbbbbbb"), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(qerrno_get(), 1);
}

TEST_F(FileOpsTest, ExclusiveCreationNeverOpensAnExistingName)
{
  const std::string name = path("fresh");
  FILE *fp = file_create_exclusive(name.c_str());
  ASSERT_NE(fp, nullptr);
  EXPECT_EQ(file_write(fp, "1", 1), 1);
  file_close(fp);

  fs::create_symlink(path("target"), path("link"));
  const std::string taken[] = {name, path("link")};
  for ( const std::string &p : taken )
  {
    qerrno_set(0);
    EXPECT_EQ(file_create_exclusive(p.c_str()), nullptr) << p;
    EXPECT_EQ(errno, EEXIST) << p;
    EXPECT_EQ(qerrno_get(), 1) << p;
  }
  EXPECT_EQ(read_file(name), "1");
  EXPECT_FALSE(fs::exists(path("target"))) << "a link is never followed";
}

TEST_F(FileOpsTest, ReadWriteAndTheirErrorCodes)
{
  FILE *fp = file_open_write(path("f").c_str());
  ASSERT_NE(fp, nullptr);
  EXPECT_EQ(file_write(fp, "abcd", 4), 4);
  EXPECT_EQ(file_write(fp, "", 0), 0);
  char buf[16];
  qerrno_set(0);
  EXPECT_EQ(file_read(fp, buf, 4), 0) << "a write-only stream cannot be read";
  EXPECT_EQ(qerrno_get(), 1);
  file_close(fp);

  fp = file_open_read(path("f").c_str());
  ASSERT_NE(fp, nullptr);
  qerrno_set(0);
  EXPECT_EQ(file_read(fp, buf, 0), 0);
  EXPECT_EQ(qerrno_get(), 0);
  EXPECT_EQ(file_read(fp, buf, 10), 4);
  EXPECT_EQ(qerrno_get(), 3);
  EXPECT_EQ(std::string(buf, 4), "abcd");
  qerrno_set(0);
  EXPECT_EQ(file_write(fp, "x", 1), 0) << "a read-only stream cannot be written";
  EXPECT_EQ(qerrno_get(), 1);
  file_close(fp);
}

TEST_F(FileOpsTest, PartialWriteSetsCode2)
{
  // A file-size limit makes the system store only part of a large unbuffered write.
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto saved_handler = signal(SIGXFSZ, SIG_IGN);
  FILE *fp = file_open_write(path("limited").c_str());
  ASSERT_NE(fp, nullptr);
  setvbuf(fp, nullptr, _IONBF, 0);
  struct rlimit limit = saved;
  limit.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const std::string data(5000, 'x');
  qerrno_set(0);
  const ptrdiff_t written = file_write(fp, data.data(), ptrdiff_t(data.size()));
  const int code = qerrno_get();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, saved_handler);
  file_close(fp);
  EXPECT_EQ(written, 1000);
  EXPECT_EQ(code, 2);
}

TEST_F(FileOpsTest, SeekTellSizeAndCommit)
{
  FILE *fp = file_open_write(path("f").c_str());
  ASSERT_NE(fp, nullptr);
  ASSERT_EQ(file_write(fp, "0123456789", 10), 10);
  EXPECT_EQ(file_size(fp), 10) << "buffered bytes count";
  EXPECT_EQ(file_commit(fp), 0);
  EXPECT_EQ(read_file(path("f")), "0123456789") << "committed data is in the file";
  file_close(fp);

  fp = file_open_read(path("f").c_str());
  ASSERT_NE(fp, nullptr);
  EXPECT_EQ(file_seek(fp, 4, SEEK_SET), 0);
  EXPECT_EQ(file_size(fp), 10);
  EXPECT_EQ(file_tell(fp), 4) << "file_size keeps the position";
  EXPECT_EQ(file_seek(fp, -2, SEEK_END), 0);
  EXPECT_EQ(file_tell(fp), 8);
  EXPECT_EQ(file_seek(fp, 1, SEEK_CUR), 0);
  char c = 0;
  EXPECT_EQ(file_read(fp, &c, 1), 1);
  EXPECT_EQ(c, '9');
  qerrno_set(0);
  EXPECT_NE(file_seek(fp, -100, SEEK_SET), 0);
  EXPECT_EQ(qerrno_get(), 1);
  file_close(fp);
}

TEST(FileStreams, NullStreamIsBadDescriptor)
{
  char buf[4];
  qstring line;
  struct null_case
  {
    const char *what;
    int64_t result;
  };
  const null_case cases[] = {
      {"close", file_close(nullptr)},
      {"read", file_read(nullptr, buf, 4)},
      {"write", file_write(nullptr, buf, 4)},
      {"seek", file_seek(nullptr, 0, SEEK_SET)},
      {"tell", file_tell(nullptr)},
      {"putc", file_putc('a', nullptr)},
      {"puts", file_puts("a", nullptr)},
      {"read_line", file_read_line(&line, nullptr)},
  };
  for ( const null_case &c : cases )
    EXPECT_EQ(c.result, -1) << c.what;
  qerrno_set(0);
  errno = 0;
  EXPECT_NE(file_commit(nullptr), 0);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(qerrno_get(), 1);
}

TEST(FileStreamsDeathTest, ProgrammingErrorsAreInternalErrors)
{
  char buf[4];
  EXPECT_EXIT(file_size(nullptr), testing::ExitedWithCode(1), "internal error 552");
  EXPECT_EXIT((void)file_read(stdin, buf, -1), testing::ExitedWithCode(1), "internal error 1225");
}

TEST_F(FileOpsTest, PutcAndPuts)
{
  FILE *fp = file_open_write(path("f").c_str());
  ASSERT_NE(fp, nullptr);
  EXPECT_EQ(file_putc('A', fp), 'A');
  EXPECT_GE(file_puts("bc\n", fp), 0);
  file_close(fp);
  EXPECT_EQ(read_file(path("f")), "Abc\n");
}

// ---------------------------------------------------------------------------------------------------------
// Line readers

struct lines_case
{
  const char *what;
  std::string content;
  std::vector<std::string> lines;
};

TEST_F(FileOpsTest, StreamLines)
{
  const lines_case cases[] = {
      {"CR kept before LF", "a\r\nb", {"a\r", "b"}},
      {"empty lines", "\n\nx\n", {"", "", "x"}},
      {"empty file", "", {}},
      {"last line without LF", "abc", {"abc"}},
      {"long line", std::string(5000, 'q') + "\nz", {std::string(5000, 'q'), "z"}},
      {"NUL inside", std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
  };
  for ( const lines_case &c : cases )
  {
    write_file("lines", c.content);
    FILE *fp = file_open_text(path("lines").c_str());
    ASSERT_NE(fp, nullptr);
    qstring line("stale");
    std::vector<std::string> got;
    ptrdiff_t len;
    while ( (len = file_read_line(&line, fp)) >= 0 )
    {
      EXPECT_EQ(size_t(len), line.size()) << c.what;
      got.emplace_back(line.view());
    }
    EXPECT_EQ(len, -1) << c.what;
    EXPECT_TRUE(line.empty()) << c.what;
    EXPECT_EQ(got, c.lines) << c.what;
    file_close(fp);
  }
}

TEST_F(FileOpsTest, StreamLineReadErrorIsNotTheEndOfTheFile)
{
  // A directory opens as a stream but every read of it fails.
  FILE *fp = std::fopen(dir_.c_str(), "r");
  ASSERT_NE(fp, nullptr);
  qstring line("stale");
  EXPECT_EQ(file_read_line(&line, fp), -1);
  EXPECT_EQ(qerrno_get(), 1);
  EXPECT_EQ(errno, EISDIR);
  EXPECT_TRUE(line.empty());
  std::fclose(fp);
}

TEST(ByteBufferLines, SplitAtLfAndCrLf)
{
  const lines_case cases[] = {
      {"CR LF and lone CR", "a\r\nb\rc\n", {"a", "b\rc"}},
      {"empty buffer", "", {}},
      {"one empty line", "\n", {""}},
      {"CR at the end stays", "x\r", {"x\r"}},
      {"empty CR LF lines", "\r\n\r\n", {"", ""}},
      {"no terminator", "last", {"last"}},
  };
  for ( const lines_case &c : cases )
  {
    byte_buffer_t buf;
    for ( char ch : c.content )
      buf.push_back(uint8_t(ch));
    size_t pos = 0;
    qstring line;
    std::vector<std::string> got;
    while ( byte_buffer_next_line(buf, &line, &pos) )
      got.emplace_back(line.view());
    EXPECT_EQ(got, c.lines) << c.what;
    EXPECT_EQ(pos, c.content.size()) << c.what;
    EXPECT_FALSE(byte_buffer_next_line(buf, &line, &pos)) << c.what;
  }
  byte_buffer_t buf;
  buf.push_back('a');
  size_t past = 5;
  qstring line;
  EXPECT_FALSE(byte_buffer_next_line(buf, &line, &past));
}

} // namespace
