// Revision copies: unique private names created exclusively, the private folder, and database removal.
#include "repo/revision_copies.h"

#include "core/error_state.h"
#include "repo/plain_fs.h"
#include "tests/repo/work_dir_helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string detail()
{
  const char *text = get_error_arg_text(0);
  return text != nullptr ? text : "";
}

// Points TMPDIR at a scratch folder for the test, and restores it afterwards.
class RevisionCopies : public testing::Test
{
protected:
  RevisionCopies() : saved_tmpdir_(std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "")
  {
    setenv("TMPDIR", scratch.path().c_str(), 1);
  }
  ~RevisionCopies() override { setenv("TMPDIR", saved_tmpdir_.c_str(), 1); }

  std::string private_dir() const { return "akui-" + std::to_string(geteuid()); }
  std::string private_path(const std::string &name) const { return scratch.at(private_dir() + "/" + name); }
  static unsigned mode_of(const std::string &path)
  {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
  }

  scratch_dir_t scratch;

private:
  std::string saved_tmpdir_;
};

TEST_F(RevisionCopies, NamesCarryTheTagAndTakeTheNextFreeNumber)
{
  const struct
  {
    const char *local;
    const char *tag;
    std::vector<std::string> expected; // names of successive calls
  } cases[] = {
    {"d/a.zdb", "base", {"a.base.zdb", "a.base.1.zdb", "a.base.2.zdb"}},
    {"d/a.zdb", "remote", {"a.remote.zdb", "a.remote.1.zdb"}},
    {"C:\\w\\b.z64", "#last", {"b.#last.z64", "b.#last.1.z64"}},
    {"d/mk", "#3", {"mk.#3", "mk.#3.1"}},
    {"d/x.y.zdb", "#current", {"x.y.#current.zdb"}},
  };
  for ( const auto &c : cases )
    for ( const std::string &name : c.expected )
    {
      const qstring made = unique_temp_name(c.local, c.tag);
      EXPECT_EQ(made, private_path(name)) << c.local << " " << c.tag;
      EXPECT_EQ(read_file_text(made.c_str()), "") << name;
      EXPECT_EQ(mode_of(made.c_str()), 0600u) << name;
    }
  EXPECT_EQ(mode_of(scratch.at(private_dir())), 0700u);
}

TEST_F(RevisionCopies, NamesTakenByAnythingAreSkippedUntouched)
{
  scratch.write("outside", "keep");
  fs::create_directories(scratch.at(private_dir()));
  scratch.write(private_dir() + "/a.base.zdb", "older copy");
  fs::create_symlink(scratch.at("outside"), private_path("a.base.1.zdb"));
  fs::create_symlink(scratch.at("nowhere"), private_path("a.base.2.zdb"));
  fs::create_directories(private_path("a.base.3.zdb"));

  EXPECT_EQ(unique_temp_name("/w/a.zdb", "base"), private_path("a.base.4.zdb"));
  EXPECT_EQ(scratch.read("outside"), "keep");
  EXPECT_FALSE(scratch.exists("nowhere"));
  EXPECT_EQ(scratch.read(private_dir() + "/a.base.zdb"), "older copy");
}

TEST_F(RevisionCopies, PrivateFolderIsClosedAgainWhenOthersCouldEnterIt)
{
  fs::create_directories(scratch.at(private_dir()));
  chmod(scratch.at(private_dir()).c_str(), 0777);
  qstring dir;
  ASSERT_TRUE(private_temp_directory(&dir));
  EXPECT_EQ(dir, scratch.at(private_dir()));
  EXPECT_EQ(mode_of(dir.c_str()), 0700u);
}

TEST_F(RevisionCopies, PrivateFolderNameTakenByAnythingElseIsRefused)
{
  const struct
  {
    const char *name;
    void (*take)(const std::string &path, const scratch_dir_t &scratch);
  } cases[] = {
    {"a file", [](const std::string &path, const scratch_dir_t &) { std::ofstream(path) << "x"; }},
    {"a link to a folder",
     [](const std::string &path, const scratch_dir_t &scratch) {
       fs::create_directories(scratch.at("elsewhere"));
       fs::create_symlink(scratch.at("elsewhere"), path);
     }},
  };
  for ( const auto &c : cases )
  {
    const std::string path = scratch.at(private_dir());
    std::error_code ignored;
    fs::remove_all(path, ignored);
    c.take(path, scratch);
    error_arg_text(0, nullptr);
    qstring dir;
    EXPECT_FALSE(private_temp_directory(&dir)) << c.name;
    EXPECT_EQ(unique_temp_name("/w/a.zdb", "base"), "") << c.name;
    EXPECT_EQ(detail().rfind(path + ": ", 0), 0u) << c.name << ": " << detail();
    EXPECT_FALSE(scratch.exists("elsewhere/a.base.zdb")) << c.name;
  }
}

TEST_F(RevisionCopies, WorkingFolderStandsInForAMissingTemporaryDirectory)
{
  setenv("TMPDIR", scratch.at("missing").c_str(), 1);
  fs::create_directories(scratch.at("cwd"));
  fs::current_path(scratch.at("cwd"));
  EXPECT_EQ(unique_temp_name("/w/a.zdb", "base"), "./" + private_dir() + "/a.base.zdb");
  EXPECT_TRUE(scratch.exists("cwd/" + private_dir() + "/a.base.zdb"));
}

TEST_F(RevisionCopies, NamesThatDoNotFitAreErrorsNeverCut)
{
  const std::string long_name = "/w/" + std::string(PATH_MAX, 'n') + ".zdb";
  error_arg_text(0, nullptr);
  EXPECT_EQ(unique_temp_name(long_name.c_str(), "base"), "");
  EXPECT_NE(detail().find(strerror(ENAMETOOLONG)), std::string::npos) << detail();
}

// The process file system with a record of every removal it was asked for.
class recording_fs_t : public process_fs_t
{
public:
  int remove(const char *path, uint32_t flags) override
  {
    removed.emplace_back(path);
    EXPECT_EQ(flags, 0u);
    return process_fs_t::remove(path, flags);
  }
  std::vector<std::string> removed;
};

TEST_F(RevisionCopies, DatabaseRemovalTakesTheComponentFilesInOrder)
{
  const char *const components[] = {"zd0", "$$$", "zd1", "nam", "seg", "til", "zd2"};
  const struct
  {
    const char *file;
    bool database;
  } cases[] = {
    {"c.zdb", true},
    {"c.z64", true},
    {"c.ZDB", false},
    {"c.txt", false},
  };
  for ( const auto &c : cases )
  {
    const std::string stem = std::string(c.file).substr(0, 2);
    scratch.write(c.file, "db");
    for ( const char *ext : components )
      scratch.write(stem + ext, "component");
    scratch.write(stem + "keep", "other");

    recording_fs_t fs;
    delete_database_files(&fs, scratch.at(c.file).c_str());

    std::vector<std::string> expected = {scratch.at(c.file)};
    if ( c.database )
      for ( const char *ext : components )
        expected.push_back(scratch.at(stem + ext));
    EXPECT_EQ(fs.removed, expected) << c.file;
    EXPECT_FALSE(scratch.exists(c.file)) << c.file;
    for ( const char *ext : components )
      EXPECT_EQ(scratch.exists(stem + ext), !c.database) << c.file << " " << ext;
    EXPECT_EQ(scratch.read(stem + "keep"), "other");
    for ( const char *ext : components )
      std::remove(scratch.at(stem + ext).c_str());
  }
}

TEST_F(RevisionCopies, DatabaseRemovalIgnoresMissingFiles)
{
  scratch.write("m.nam", "component");
  recording_fs_t fs;
  delete_database_files(&fs, scratch.at("m.zdb").c_str());
  EXPECT_EQ(fs.removed.size(), 8u);
  EXPECT_FALSE(scratch.exists("m.nam"));
}

} // namespace
