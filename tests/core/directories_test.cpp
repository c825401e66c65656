// Tests of the install, per-user, search, configuration and temporary directories.
#include "core/directories.h"
#include "core/directories_p.h"

#include "core/error_state.h"
#include "core/file_ops.h"
#include "tests/support/env_guard.h"
#include "tests/support/string_lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{

std::string exe_dir()
{
  return fs::read_symlink("/proc/self/exe").parent_path().string();
}

// The directory caches fill at first use, so a test that needs them filled under its own environment runs
// its body in a fresh copy of the test program. The body answers an empty text, or what went wrong.
void expect_in_fresh_process(const std::function<std::string()> &body)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const std::string failure = body();
        std::fputs(failure.c_str(), stderr);
        std::fflush(stderr);
        std::_Exit(failure.empty() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// Formats an expectation failure for a fresh-process body.
template <typename T>
std::string differ(const char *what, const T &got, const T &want)
{
  if ( got == want )
    return {};
  std::string text = std::string(what) + ": got [";
  for ( const auto &s : got )
    text += std::string(s) + " ";
  text += "] want [";
  for ( const auto &s : want )
    text += std::string(s) + " ";
  return text + "]\n";
}

std::string differ(const char *what, const std::string &got, const std::string &want)
{
  return got == want ? std::string() : std::string(what) + ": got '" + got + "' want '" + want + "'\n";
}

// The program's own configuration folder when the build put one beside the executables, as the client's does:
// it comes before every per-user folder.
std::vector<std::string> installed_config(const std::string &tail = {})
{
  const std::string dir = exe_dir() + "/cfg";
  if ( !fs::is_directory(dir) || (!tail.empty() && !fs::exists(dir + "/" + tail)) )
    return {};
  return {tail.empty() ? dir : dir + "/" + tail};
}

// The lists joined in order.
std::vector<std::string> joined(std::vector<std::string> first, const std::vector<std::string> &then)
{
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

// True for "zuk" followed by five digits and ".tmp".
bool is_temp_file_name(const std::string &name)
{
  if ( name.size() != 12 || name.compare(0, 3, "zuk") != 0 || name.compare(8, 4, ".tmp") != 0 )
    return false;
  return std::all_of(name.begin() + 3, name.begin() + 8, [](char c) { return c >= '0' && c <= '9'; });
}

// A fresh folder under the test process's private TMPDIR.
std::string make_temp_folder(const char *stem)
{
  std::string tmpl = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
  if ( mkdtemp(tmpl.data()) == nullptr )
    return {};
  return tmpl;
}

TEST(InstallDirectory, IsTheExecutablesFolder)
{
  const char *dir = install_directory(nullptr);
  ASSERT_NE(dir, nullptr);
  EXPECT_EQ(std::string(dir), exe_dir());
  EXPECT_TRUE(is_directory(dir));

  qstring copy("stale");
  install_dir_string(&copy);
  EXPECT_EQ(copy, exe_dir());

  const char *joined = install_directory("zuk.hlp");
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(std::string(joined), exe_dir() + "/zuk.hlp");
  EXPECT_TRUE(file_exists(joined)) << "the build puts the catalogue beside the executables";

  EXPECT_EQ(install_directory(std::string(PATH_MAX, 'n').c_str()), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST(InstallDirectory, JoinedResultIsPerThread)
{
  const char *mine = install_directory("a");
  std::string other;
  std::thread([&] { other = install_directory("b"); }).join();
  EXPECT_EQ(std::string(mine), exe_dir() + "/a");
  EXPECT_EQ(other, exe_dir() + "/b");
}

TEST(ExecutablePath, FullPathOrTooLong)
{
  char buf[PATH_MAX];
  ASSERT_NE(executable_path(buf, sizeof(buf)), nullptr);
  EXPECT_EQ(std::string(buf), fs::read_symlink("/proc/self/exe").string());
  char small[4];
  qerrno_set(0);
  EXPECT_EQ(executable_path(small, sizeof(small)), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);
  EXPECT_EQ(qerrno_get(), 1);
}

TEST(KnownFolder, ApplicationDataFromXdgOrHome)
{
  const env_guard_t guard({"XDG_CONFIG_HOME", "HOME"});
  struct folder_case
  {
    const char *xdg; // null: unset
    const char *home;
    bool found;
    const char *expected;
  };
  const folder_case cases[] = {
      {"/x/config", "/h", true, "/x/config"},
      {nullptr, "/h", true, "/h/.config"},
      {"", "/h/", true, "/h/.config"},
      {nullptr, nullptr, false, ""},
  };
  for ( const folder_case &c : cases )
  {
    set_env("XDG_CONFIG_HOME", c.xdg);
    set_env("HOME", c.home);
    char buf[PATH_MAX] = "";
    EXPECT_EQ(known_folder_path(buf, sizeof(buf), KNOWN_FOLDER_APPDATA), c.found) << c.expected;
    if ( c.found )
    {
      EXPECT_STREQ(buf, c.expected);
    }
  }
  setenv("XDG_CONFIG_HOME", "/x", 1);
  char buf[PATH_MAX];
  EXPECT_FALSE(known_folder_path(buf, sizeof(buf), 5)) << "only the application-data folder is known";
  char small[2];
  EXPECT_FALSE(known_folder_path(small, sizeof(small), KNOWN_FOLDER_APPDATA));
}

TEST(UserDirectoryDeathTest, PerUserDirectoryIsCreatedUnderTheConfigFolder)
{
  expect_in_fresh_process([] {
    const std::string base = make_temp_folder("appdata") + "/missing-config";
    setenv("XDG_CONFIG_HOME", base.c_str(), 1);
    unsetenv("ZUKUSR");
    qstring dir;
    if ( !user_directory(&dir) )
      return std::string("no per-user directory\n");
    std::string failure = differ("per-user directory", std::string(dir.view()), base + "/Quorvin/Zukwerk");
    if ( !fs::is_directory(base + "/Quorvin/Zukwerk") )
      failure += "the per-user directory was not created\n";
    failure += differ("user directories", to_strings(user_directories()), {base + "/Quorvin/Zukwerk"});
    return failure;
  });
}

TEST(UserDirectoryDeathTest, FailedLookupIsTriedAgain)
{
  expect_in_fresh_process([] {
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    qstring dir;
    if ( user_directory(&dir) )
      return std::string("found a per-user directory without a home\n");
    const std::string home = make_temp_folder("home");
    setenv("HOME", home.c_str(), 1);
    if ( !user_directory(&dir) )
      return std::string("a failure was cached\n");
    return differ("per-user directory", std::string(dir.view()), home + "/.config/Quorvin/Zukwerk");
  });
}

TEST(UserDirectoryDeathTest, NoUserDirectoryAtAllIsInternalError)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("HOME");
        unsetenv("ZUKUSR");
        user_directories();
      },
      testing::ExitedWithCode(1), "internal error 1450");
}

TEST(SearchDirsDeathTest, UserDirectoriesFromZukusrInOrder)
{
  expect_in_fresh_process([] {
    const std::string config = make_temp_folder("config");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("ZUKUSR", "/d/a;;/e/b:/f/c/", 1);
    setenv("ZUKZXL", "/z/zxl/", 1);
    const std::string install = exe_dir();
    const std::string own = config + "/Quorvin/Zukwerk";
    std::string failure = differ("user directories", to_strings(user_directories()), {"/d/a", "/e/b", "/f/c/"});

    qvector<qstring> zxl;
    if ( collect_search_dirs(&zxl, "zxl", 0) != 5 )
      failure += "count of zxl directories\n";
    failure += differ("zxl, install last", to_strings(zxl),
                      {"/d/a/zxl", "/e/b/zxl", "/f/c/zxl", "/z/zxl", install + "/zxl"});

    qvector<qstring> first;
    first.emplace_back("kept");
    collect_search_dirs(&first, "zxl", SEARCH_INSTALL_FIRST);
    failure += differ("zxl, install first", to_strings(first),
                      {"kept", install + "/zxl", "/d/a/zxl", "/e/b/zxl", "/f/c/zxl", "/z/zxl"});

    qvector<qstring> bare;
    collect_search_dirs(&bare, nullptr, 0);
    failure += differ("no kind", to_strings(bare), {"/d/a", "/e/b", "/f/c", install});

    qvector<qstring> themes;
    collect_search_dirs(&themes, "akui_themes", 0);
    failure += differ("kind without variable", to_strings(themes),
                      {"/d/a/akui_themes", "/e/b/akui_themes", "/f/c/akui_themes", install + "/akui_themes"});

    // The kind variables are read at every call; the user directories stay cached.
    setenv("ZUKZXL", "/later", 1);
    setenv("ZUKUSR", "/ignored", 1);
    qvector<qstring> later;
    collect_search_dirs(&later, "zxl", 0);
    failure += differ("later call", to_strings(later), {"/d/a/zxl", "/e/b/zxl", "/f/c/zxl", "/later", install + "/zxl"});

    // The configuration directories end with the per-user directory, which computing them creates.
    qvector<qstring> cfg;
    if ( !config_directories(&cfg) )
      failure += "no configuration directory\n";
    failure += differ("configuration directories", to_strings(cfg), joined(installed_config(), {own}));
    return failure;
  });
}

TEST(SearchDirsDeathTest, ExistingOnlyAndFileSearch)
{
  expect_in_fresh_process([] {
    const std::string root = make_temp_folder("search");
    const std::string a = root + "/a";
    const std::string b = root + "/b";
    fs::create_directories(b + "/zxl");
    fs::create_directories(root + "/sig");
    std::ofstream(b + "/zxl/lib.zxl") << "x";
    std::ofstream(root + "/sig/s.sig") << "x";
    setenv("ZUKUSR", (a + ";" + b).c_str(), 1);
    setenv("ZUKSGN", (root + "/sig").c_str(), 1);

    qvector<qstring> existing;
    collect_search_dirs(&existing, "zxl", SEARCH_EXISTING_ONLY);
    std::string failure = differ("existing zxl", to_strings(existing), {b + "/zxl"});

    char buf[PATH_MAX];
    const char *found = find_in_search_dirs(buf, sizeof(buf), "lib.zxl", "zxl");
    failure += differ("found in zxl", std::string(found != nullptr ? found : "(null)"), b + "/zxl/lib.zxl");
    found = find_in_search_dirs(buf, sizeof(buf), "s.sig", "sig");
    failure += differ("found through ZUKSGN", std::string(found != nullptr ? found : "(null)"), root + "/sig/s.sig");
    if ( find_in_search_dirs(buf, sizeof(buf), "none.zxl", "zxl") != nullptr )
      failure += "found a missing file\n";
    return failure;
  });
}

TEST(SearchDirsDeathTest, ConfigFilesInOrder)
{
  expect_in_fresh_process([] {
    const std::string config = make_temp_folder("config");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    unsetenv("ZUKUSR");
    const std::string own = config + "/Quorvin/Zukwerk";
    fs::create_directories(own + "/cfg");
    std::ofstream(own + "/cfg/akui.cfg") << "A=1";
    std::ofstream(own + "/akui.cfg") << "A=2";

    qvector<qstring> dirs;
    config_directories(&dirs);
    std::string failure =
        differ("configuration directories", to_strings(dirs), joined(installed_config(), {own + "/cfg", own}));
    qvector<qstring> files;
    if ( !find_config_files(&files, "akui.cfg") )
      failure += "no akui.cfg found\n";
    failure += differ("akui.cfg files", to_strings(files),
                      joined(installed_config("akui.cfg"), {own + "/cfg/akui.cfg", own + "/akui.cfg"}));
    qvector<qstring> none;
    if ( find_config_files(&none, "other.cfg") )
      failure += "found a missing cfg file\n";
    return failure;
  });
}

TEST(TempDirectory, FromTmpdirOrTmp)
{
  const env_guard_t guard({"TMPDIR"});
  char buf[PATH_MAX];
  setenv("TMPDIR", "/some/where", 1);
  EXPECT_STREQ(temp_directory(buf, sizeof(buf)), "/some/where");
  unsetenv("TMPDIR");
  EXPECT_STREQ(temp_directory(buf, sizeof(buf)), "/tmp");
  setenv("TMPDIR", "", 1);
  EXPECT_STREQ(temp_directory(buf, sizeof(buf)), "/tmp");
  char small[4];
  EXPECT_EQ(temp_directory(small, sizeof(small)), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);
}

class TempNames : public testing::Test
{
protected:
  void SetUp() override
  {
    tmp_ = make_temp_folder("names");
    const char *saved = std::getenv("TMPDIR");
    saved_ = saved != nullptr ? saved : "";
    setenv("TMPDIR", tmp_.c_str(), 1);
  }
  void TearDown() override { setenv("TMPDIR", saved_.c_str(), 1); }

  std::string tmp_;
  std::string saved_;
};

TEST_F(TempNames, NameInTheTemporaryDirectory)
{
  char buf[PATH_MAX];
  for ( int i = 0; i < 50; ++i )
  {
    ASSERT_EQ(make_temp_file_name(buf, sizeof(buf)), buf);
    const fs::path p(buf);
    EXPECT_EQ(p.parent_path().string(), tmp_);
    EXPECT_TRUE(is_temp_file_name(p.filename().string())) << buf;
    EXPECT_FALSE(fs::exists(p)) << "the file is not created";
  }
  const char *shared = make_temp_file_name(nullptr, 0);
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(make_temp_file_name(nullptr, 0), shared) << "one process-wide buffer";

  char small[16];
  EXPECT_EQ(make_temp_file_name(small, sizeof(small)), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST_F(TempNames, MissingTemporaryDirectoryMeansCurrentDirectory)
{
  setenv("TMPDIR", (tmp_ + "/missing").c_str(), 1);
  char buf[PATH_MAX];
  ASSERT_NE(make_temp_file_name(buf, sizeof(buf)), nullptr);
  EXPECT_EQ(std::string(buf, 2), "./") << buf;
  EXPECT_TRUE(is_temp_file_name(buf + 2)) << buf;
}

TEST_F(TempNames, TemporaryFilesAreCreatedExclusively)
{
  std::set<std::string> names;
  for ( int i = 0; i < 20; ++i )
  {
    char buf[PATH_MAX];
    FILE *fp = create_temp_file(buf, sizeof(buf));
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(file_write(fp, "x", 1), 1);
    file_close(fp);
    EXPECT_TRUE(fs::is_regular_file(buf));
    EXPECT_TRUE(names.insert(buf).second) << "a name is never handed out twice while its file exists";
  }
  char small[8];
  EXPECT_EQ(create_temp_file(small, sizeof(small)), nullptr);
}

TEST(TempNameDigits, FoldedAndCutToFive)
{
  struct digits_case
  {
    uint32_t drawn;
    const char *digits;
  };
  const digits_case cases[] = {
      {42, "00042"},         {0, "00000"},          {99999, "99999"},
      {131071, "13107"},     // 0x1FFFF is not folded; "%05u" keeps its first five characters
      {0x20000, "00001"},    // folded: 0 ^ 1
      {0xFFFFFFFF, "98304"}, // folded: 0x1FFFF ^ 0x7FFF
  };
  for ( const digits_case &c : cases )
  {
    char digits[5];
    temp_name_digits(c.drawn, digits);
    EXPECT_EQ(std::string(digits, 5), c.digits) << c.drawn;
  }
}

TEST(TempNamesDeathTest, NegativeSizeIsInternalError)
{
  char buf[8];
  EXPECT_EXIT(make_temp_file_name(buf, -1), testing::ExitedWithCode(1), "internal error 1225");
}

} // namespace
