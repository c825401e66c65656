// Tests of the user's credential file: round trips of awkward texts and secrets, replacement and deletion,
// private modes, atomic replacement, unreadable files left alone, and writers in parallel threads and processes.
#include "platform/generic_credentials.h"

#include "tests/support/file_contents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> bytes(std::string_view text)
{
  return {text.begin(), text.end()};
}

mode_t mode_of(const fs::path &p)
{
  struct stat st;
  EXPECT_EQ(stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 0777;
}

class GenericCredentials : public testing::Test
{
protected:
  void SetUp() override
  {
    std::string base = (fs::temp_directory_path() / "creds-XXXXXX").string();
    ASSERT_NE(mkdtemp(base.data()), nullptr);
    root_ = base;
    dir_ = root_ / "config" / "Quorvin";
  }
  void TearDown() override { fs::remove_all(root_); }

  generic_credential_file_t file() const { return generic_credential_file_t(dir_.string()); }

  fs::path root_;
  fs::path dir_;
};

TEST_F(GenericCredentials, RoundTripsAwkwardTextsAndSecrets)
{
  struct row
  {
    const char *label;
    std::string target;
    std::string user;
    std::vector<std::uint8_t> secret;
  };
  const std::vector<row> rows = {
    {"plain password", "alice@arkive.example:65433/arkstore", "alice", bytes("s3cret")},
    {"empty secret", "bob@host:1/arkstore", "bob", {}},
    {"zero bytes and high bytes", "carol@host:2/arkstore_proxy", "carol", {0, 1, 0xFF, 0x80, 0, 0x7F}},
    {"line breaks, tabs and percent signs", "d%0a\tx@h\n:3/s", "d%0a\tx\r\n", bytes("a\tb\nc%d")},
    {"UTF-8 names", "\xC3\xA9lodie@h\xC3\xB4te:4/arkstore", "\xC3\xA9lodie", bytes("\xE2\x82\xAC")},
    {"empty user", "@host:5/arkstore", "", bytes("x")},
  };
  for ( const row &r : rows )
    ASSERT_EQ(file().write({r.target, r.user, r.secret}), 0) << r.label;
  // Every credential comes back from a fresh view, whatever was written after it.
  for ( const row &r : rows )
  {
    generic_credential_t got;
    ASSERT_EQ(file().read(r.target, &got), 0) << r.label;
    EXPECT_EQ(got.target, r.target) << r.label;
    EXPECT_EQ(got.user, r.user) << r.label;
    EXPECT_EQ(got.secret, r.secret) << r.label;
  }
  // One line per credential: no byte of a text or secret breaks the line format.
  const std::string text = read_file(dir_ / "credentials");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(rows.size() + 1));
}

TEST_F(GenericCredentials, MissingCredentialsAreReportedAsMissingKeys)
{
  generic_credential_t got;
  got.user = "untouched";
  EXPECT_EQ(file().read("nobody@nowhere:1/arkstore", &got), ENOKEY) << "no file yet";
  EXPECT_EQ(file().remove("nobody@nowhere:1/arkstore"), ENOKEY) << "no file yet";
  ASSERT_EQ(file().write({"u@h:1/arkstore", "u", bytes("pw")}), 0);
  EXPECT_EQ(file().read("u@h:1/arkstore_proxy", &got), ENOKEY) << "other service";
  EXPECT_EQ(file().read("U@h:1/arkstore", &got), ENOKEY) << "names are compared byte for byte";
  EXPECT_EQ(got.user, "untouched");
  EXPECT_EQ(file().remove("u@h:1/arkstore"), 0);
  EXPECT_EQ(file().read("u@h:1/arkstore", &got), ENOKEY) << "deleted";
  EXPECT_EQ(file().remove("u@h:1/arkstore"), ENOKEY) << "deleted twice";
}

TEST_F(GenericCredentials, WritingAgainReplacesOnlyThatCredential)
{
  ASSERT_EQ(file().write({"a@h:1/arkstore", "a", bytes("first")}), 0);
  ASSERT_EQ(file().write({"b@h:1/arkstore", "b", bytes("other")}), 0);
  ASSERT_EQ(file().write({"a@h:1/arkstore", "a2", bytes("second")}), 0);
  generic_credential_t got;
  ASSERT_EQ(file().read("a@h:1/arkstore", &got), 0);
  EXPECT_EQ(got.secret, bytes("second"));
  EXPECT_EQ(got.user, "a2");
  ASSERT_EQ(file().read("b@h:1/arkstore", &got), 0);
  EXPECT_EQ(got.secret, bytes("other"));
  const std::string text = read_file(dir_ / "credentials");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << "header and two credentials";
}

TEST_F(GenericCredentials, EmptyTargetIsRefused)
{
  EXPECT_EQ(file().write({"", "u", bytes("pw")}), EINVAL);
  EXPECT_FALSE(fs::exists(dir_ / "credentials"));
}

TEST_F(GenericCredentials, FilesArePrivateAndReplacedWhole)
{
  ASSERT_EQ(file().write({"u@h:1/arkstore", "u", bytes("pw")}), 0);
  EXPECT_EQ(mode_of(dir_), 0700u);
  EXPECT_EQ(mode_of(dir_ / "credentials"), 0600u);
  EXPECT_EQ(mode_of(dir_ / "credentials.lock"), 0600u);
  EXPECT_FALSE(fs::exists(dir_ / "credentials.tmp"));

  // A file someone opened up is private again after the next change, which replaces it.
  struct stat before;
  ASSERT_EQ(stat((dir_ / "credentials").c_str(), &before), 0);
  ASSERT_EQ(chmod((dir_ / "credentials").c_str(), 0644), 0);
  ASSERT_EQ(file().write({"v@h:1/arkstore", "v", bytes("pw2")}), 0);
  struct stat after;
  ASSERT_EQ(stat((dir_ / "credentials").c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 0777, 0600u);
  EXPECT_NE(before.st_ino, after.st_ino) << "a new file was renamed over the old one";
}

TEST_F(GenericCredentials, TemporaryFileLeftByAKilledWriterIsIgnoredAndReplaced)
{
  fs::create_directories(dir_);
  write_file(dir_ / "credentials.tmp", "garbage from a writer that died");
  ASSERT_EQ(file().write({"u@h:1/arkstore", "u", bytes("pw")}), 0);
  EXPECT_FALSE(fs::exists(dir_ / "credentials.tmp"));
  generic_credential_t got;
  EXPECT_EQ(file().read("u@h:1/arkstore", &got), 0);
}

TEST_F(GenericCredentials, UnreadableFilesAreNeverWrittenOver)
{
  const std::string header = "Quorvin credentials 1\n";
  struct row
  {
    const char *label;
    std::string text;
  };
  const std::vector<row> rows = {
    {"unknown header", "Quorvin credentials 2\n"},
    {"no header", "u@h:1/arkstore\tu\t7077\n"},
    {"missing field", header + "u@h:1/arkstore\t7077\n"},
    {"extra field", header + "u@h:1/arkstore\tu\t7077\tx\n"},
    {"odd hex digits", header + "u@h:1/arkstore\tu\t707\n"},
    {"upper-case hex", header + "u@h:1/arkstore\tu\t70AA\n"},
    {"bad escape", header + "u%zz@h:1/arkstore\tu\t7077\n"},
    {"cut escape", header + "u@h:1/arkstore%4\tu\t7077\n"},
    {"raw control byte", header + "u\r@h:1/arkstore\tu\t7077\n"},
    {"empty target", header + "\tu\t7077\n"},
    {"same target twice", header + "u@h:1/arkstore\tu\t7077\nu@h:1/arkstore\tu\t7078\n"},
    {"blank line", header + "\n"},
    {"last line cut", header + "u@h:1/arkstore\tu\t7077"},
  };
  for ( const row &r : rows )
  {
    fs::create_directories(dir_);
    write_file(dir_ / "credentials", r.text);
    generic_credential_t got;
    EXPECT_EQ(file().read("u@h:1/arkstore", &got), EBADMSG) << r.label;
    EXPECT_EQ(file().write({"v@h:1/arkstore", "v", bytes("pw")}), EBADMSG) << r.label;
    EXPECT_EQ(file().remove("u@h:1/arkstore"), EBADMSG) << r.label;
    EXPECT_EQ(read_file(dir_ / "credentials"), r.text) << r.label;
  }
}

TEST_F(GenericCredentials, EmptyFileHoldsNoCredentials)
{
  fs::create_directories(dir_);
  write_file(dir_ / "credentials", "");
  generic_credential_t got;
  EXPECT_EQ(file().read("u@h:1/arkstore", &got), ENOKEY);
  EXPECT_EQ(file().write({"u@h:1/arkstore", "u", bytes("pw")}), 0);
  EXPECT_EQ(file().read("u@h:1/arkstore", &got), 0);
}

TEST_F(GenericCredentials, SymbolicLinkInPlaceOfTheFileIsNotFollowed)
{
  fs::create_directories(dir_);
  const fs::path elsewhere = root_ / "elsewhere";
  write_file(elsewhere, "Quorvin credentials 1\nu@h:1/arkstore\tu\t7077\n");
  fs::create_symlink(elsewhere, dir_ / "credentials");
  generic_credential_t got;
  EXPECT_EQ(file().read("u@h:1/arkstore", &got), ELOOP);
}

TEST_F(GenericCredentials, FolderThatCannotBeCreatedIsAnError)
{
  fs::create_directories(root_);
  write_file(root_ / "config", "a file where the folder should be");
  generic_credential_t got;
  EXPECT_EQ(file().read("u@h:1/arkstore", &got), ENOTDIR);
  EXPECT_EQ(file().write({"u@h:1/arkstore", "u", bytes("pw")}), ENOTDIR);
}

TEST_F(GenericCredentials, ParallelWritersInThreadsAndProcessesLoseNothing)
{
  constexpr int writers = 4;
  constexpr int per_writer = 10;
  auto write_many = [this](const std::string &who) {
    for ( int i = 0; i < per_writer; ++i )
    {
      const std::string target = who + "@h:" + std::to_string(i) + "/arkstore";
      if ( file().write({target, who, bytes(target)}) != 0 )
        return false;
    }
    return true;
  };
  std::vector<pid_t> children;
  for ( int p = 0; p < writers; ++p )
  {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if ( pid == 0 )
      _exit(write_many("process" + std::to_string(p)) ? 0 : 1);
    children.push_back(pid);
  }
  std::vector<std::thread> threads;
  std::vector<char> ok(writers, 0);
  for ( int t = 0; t < writers; ++t )
    threads.emplace_back([&, t] { ok[t] = write_many("thread" + std::to_string(t)); });
  for ( std::thread &t : threads )
    t.join();
  for ( pid_t pid : children )
  {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for ( int t = 0; t < writers; ++t )
    EXPECT_TRUE(ok[t]) << "thread " << t;
  for ( const char *kind : {"process", "thread"} )
    for ( int w = 0; w < writers; ++w )
      for ( int i = 0; i < per_writer; ++i )
      {
        const std::string who = kind + std::to_string(w);
        const std::string target = who + "@h:" + std::to_string(i) + "/arkstore";
        generic_credential_t got;
        ASSERT_EQ(file().read(target, &got), 0) << target;
        EXPECT_EQ(got.secret, bytes(target));
      }
}

TEST(GenericCredentialsDir, IsTheFolderOfTheSettingsStore)
{
  EXPECT_EQ(generic_credential_file_t::default_dir("/x/config", "/home/u"), "/x/config/Quorvin");
  EXPECT_EQ(generic_credential_file_t::default_dir("", "/home/u"), "/home/u/.config/Quorvin");
  EXPECT_EQ(generic_credential_file_t::default_dir("relative", "/home/u"), "/home/u/.config/Quorvin");
}

} // namespace
