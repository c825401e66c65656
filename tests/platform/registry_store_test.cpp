// Tests of the per-user registry store file: its folder, atomic writes, sharing between views and processes,
// recovery from an unreadable file, and writers killed in the middle of a change.
#include "platform/registry_store.h"

#include "tests/support/file_contents.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char *app_key = "Software\\Quorvin\\akui";

class RegistryStore : public testing::Test
{
protected:
  void SetUp() override
  {
    std::string base = (fs::temp_directory_path() / "store-XXXXXX").string();
    ASSERT_NE(mkdtemp(base.data()), nullptr);
    root_ = base;
    dir_ = root_ / "config" / "Quorvin";
  }
  void TearDown() override { fs::remove_all(root_); }

  // Writes one integer value in its own operation.
  static void put(registry_store_t &store, const std::string &name, int value)
  {
    ASSERT_EQ(store.begin(true), 0);
    bool created;
    ASSERT_EQ(store.create_key(app_key, created), 0);
    ASSERT_EQ(store.set_value(app_key, name, registry_value_t::integer(value)), 0);
    ASSERT_EQ(store.end(), 0);
  }

  // Reads one integer value in its own operation; -1 when it is missing.
  static int get(registry_store_t &store, const std::string &name)
  {
    EXPECT_EQ(store.begin(false), 0);
    const registry_value_t *v = store.find_value(app_key, name);
    const int result = v == nullptr ? -1 : v->as_integer();
    EXPECT_EQ(store.end(), 0);
    return result;
  }

  fs::path root_;
  fs::path dir_;
};

TEST(RegistryStoreDir, FollowsTheConfigurationFolderRules)
{
  struct row
  {
    const char *label;
    const char *xdg;
    const char *home;
    const char *dir;
  };
  const std::vector<row> rows = {
    {"config variable wins", "/x/conf", "/home/u", "/x/conf/Quorvin"},
    {"trailing slashes dropped", "/x/conf//", "/home/u", "/x/conf/Quorvin"},
    {"home when unset", "", "/home/u", "/home/u/.config/Quorvin"},
    {"relative config variable ignored", "conf", "/home/u/", "/home/u/.config/Quorvin"},
    {"root as config folder", "/", "/home/u", "/Quorvin"},
    {"root as home", "", "/", "/.config/Quorvin"},
  };
  for ( const row &r : rows )
    EXPECT_EQ(registry_store_t::default_dir(r.xdg, r.home), r.dir) << r.label;
  // Without HOME the password database gives an absolute home folder.
  const std::string fallback = registry_store_t::default_dir("", "relative");
  ASSERT_FALSE(fallback.empty());
  EXPECT_EQ(fallback.front(), '/');
  EXPECT_TRUE(fallback.ends_with("/.config/Quorvin")) << fallback;
}

TEST_F(RegistryStore, WritesATextFileThatANewViewReadsBack)
{
  {
    registry_store_t store(dir_.string());
    ASSERT_EQ(store.begin(true), 0);
    bool created;
    ASSERT_EQ(store.create_key(std::string(app_key) + "\\Sub", created), 0);
    EXPECT_TRUE(created);
    ASSERT_EQ(store.set_value(app_key, "Name", registry_value_t::text("value one")), 0);
    ASSERT_EQ(store.set_value(app_key, "Blob", registry_value_t::binary("\x01\x02")), 0);
    ASSERT_EQ(store.end(), 0);
  }
  EXPECT_EQ(read_file(dir_ / "registry"), "akui registry 1\n\nkey Software\n\nkey Software\\Quorvin\n"
                                          "\nkey Software\\Quorvin\\akui\nbytes Blob 0102\ntext Name value one\n"
                                          "\nkey Software\\Quorvin\\akui\\Sub\n");
  EXPECT_EQ(fs::status(dir_ / "registry").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_FALSE(fs::exists(dir_ / "registry.new"));

  registry_store_t other(dir_.string());
  ASSERT_EQ(other.begin(false), 0);
  ASSERT_NE(other.find_value(app_key, "name"), nullptr);
  EXPECT_EQ(*other.find_value(app_key, "name"), registry_value_t::text("value one"));
  std::vector<std::string> names;
  EXPECT_EQ(other.list_names(app_key, false, names), 0);
  EXPECT_EQ(other.list_names(app_key, true, names), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"Blob", "Name", "Sub"}));
  EXPECT_EQ(other.list_names("Software\\Missing", true, names), ENOENT);
  EXPECT_EQ(other.end(), 0);
}

TEST_F(RegistryStore, ViewsSeeEachOthersChangesAtTheNextOperation)
{
  registry_store_t a(dir_.string());
  registry_store_t b(dir_.string());
  EXPECT_EQ(get(b, "n"), -1);
  for ( int i = 1; i <= 5; ++i )
  {
    put(i % 2 ? a : b, "n", i);
    EXPECT_EQ(get(a, "n"), i);
    EXPECT_EQ(get(b, "n"), i);
  }
  ASSERT_EQ(a.begin(true), 0);
  EXPECT_EQ(a.remove_key(app_key, true), 0);
  EXPECT_EQ(a.end(), 0);
  EXPECT_EQ(get(b, "n"), -1);
}

TEST_F(RegistryStore, ReadsNeverWriteAndUnchangedValuesWriteNothing)
{
  registry_store_t store(dir_.string());
  put(store, "n", 1);
  const auto stamp = fs::last_write_time(dir_ / "registry");
  const auto ino = [&] {
    struct stat st;
    stat((dir_ / "registry").c_str(), &st);
    return st.st_ino;
  };
  const auto before = ino();
  EXPECT_EQ(get(store, "n"), 1);
  put(store, "n", 1);
  ASSERT_EQ(store.begin(true), 0);
  EXPECT_EQ(store.remove_value(app_key, "missing"), ENOENT);
  EXPECT_EQ(store.remove_key("Software\\missing", false), ENOENT);
  EXPECT_EQ(store.end(), 0);
  EXPECT_EQ(ino(), before);
  EXPECT_EQ(fs::last_write_time(dir_ / "registry"), stamp);
}

TEST_F(RegistryStore, OperationRulesAndErrors)
{
  registry_store_t store(dir_.string());
  ASSERT_EQ(store.begin(false), 0);
  EXPECT_EQ(store.begin(false), EINVAL);  // one operation at a time
  bool created;
  EXPECT_EQ(store.create_key("\\", created), EINVAL);
  EXPECT_EQ(store.set_value("Software\\None", "v", registry_value_t::integer(1)), ENOENT);
  ASSERT_EQ(store.create_key(app_key, created), 0);  // a reader may make a change too
  EXPECT_TRUE(created);
  EXPECT_EQ(store.set_value(app_key, "", registry_value_t::integer(1)), EINVAL);
  EXPECT_EQ(store.end(), 0);
  EXPECT_EQ(store.set_value(app_key, "v", registry_value_t::integer(1)), EINVAL);  // outside an operation

  registry_store_t other(dir_.string());
  ASSERT_EQ(other.begin(false), 0);
  EXPECT_TRUE(other.key_exists(app_key));
  EXPECT_EQ(other.end(), 0);

  registry_store_t nowhere("");
  EXPECT_EQ(nowhere.begin(false), ENOENT);
  registry_store_t too_long(std::string(PATH_MAX, 'x').insert(0, "/"));
  EXPECT_EQ(too_long.begin(true), ENAMETOOLONG);
}

TEST_F(RegistryStore, AnUnreadableStoreIsMovedAsideAndReportedOnce)
{
  fs::create_directories(dir_);
  const std::string garbage = "akui registry 1\nkey a\nint x twelve\n";
  write_file(dir_ / "registry", garbage);

  registry_store_t store(dir_.string());
  registry_store_t other(dir_.string());
  ASSERT_EQ(store.begin(false), 0);
  EXPECT_FALSE(store.key_exists("a"));
  EXPECT_EQ(store.end(), 0);
  const std::string report = store.take_recovery_report();
  EXPECT_NE(report.find("line 3: bad integer"), std::string::npos) << report;
  EXPECT_NE(report.find((dir_ / "registry.bad").string()), std::string::npos) << report;
  EXPECT_EQ(store.take_recovery_report(), "");
  EXPECT_EQ(read_file(dir_ / "registry.bad"), garbage);
  EXPECT_FALSE(fs::exists(dir_ / "registry"));

  // The other view finds the fresh store and has nothing to report.
  put(other, "n", 3);
  EXPECT_EQ(other.take_recovery_report(), "");
  EXPECT_EQ(get(store, "n"), 3);
}

TEST_F(RegistryStore, AChangeMadeByHandIsSeenByTheNextWriter)
{
  registry_store_t store(dir_.string());
  put(store, "n", 1);
  write_file(dir_ / "registry", "akui registry 1\nkey Software\\Quorvin\\akui\nint n 5\nint m 6\n");
  put(store, "n", 7);
  EXPECT_EQ(get(store, "m"), 6);
  EXPECT_EQ(get(store, "n"), 7);
}

TEST_F(RegistryStore, TheFolderIsMadeAgainWhenRemoved)
{
  registry_store_t store(dir_.string());
  put(store, "n", 1);
  fs::remove_all(dir_);
  put(store, "m", 2);
  EXPECT_EQ(get(store, "n"), -1);
  EXPECT_EQ(get(store, "m"), 2);
  registry_store_t other(dir_.string());
  EXPECT_EQ(get(other, "m"), 2);
}

TEST_F(RegistryStore, AFailedWriteDropsTheChangeAndReportsIt)
{
  registry_store_t store(dir_.string());
  put(store, "n", 1);
  ASSERT_EQ(store.begin(true), 0);
  ASSERT_EQ(store.set_value(app_key, "n", registry_value_t::integer(2)), 0);
  // A folder in the way of the rename makes the write fail.
  fs::remove(dir_ / "registry");
  fs::create_directories(dir_ / "registry" / "in-the-way");
  EXPECT_EQ(store.end(), EISDIR);
  EXPECT_FALSE(fs::exists(dir_ / "registry.new"));
  EXPECT_EQ(store.begin(false), EISDIR);
  fs::remove_all(dir_ / "registry");
  EXPECT_EQ(get(store, "n"), -1);
}

// A child process inherits its parent's view, lock file included; each must still exclude the other.
TEST_F(RegistryStore, AForkedChildAndItsParentShareOneViewWithoutLosingWrites)
{
  constexpr int count = 300;
  registry_store_t store(dir_.string());
  put(store, "start", 1);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  const bool in_child = child == 0;
  const std::string prefix = in_child ? "child" : "parent";
  bool ok = true;
  for ( int i = 0; i < count && ok; ++i )
  {
    bool created;
    ok = store.begin(true) == 0 && store.create_key(app_key, created) == 0
      && store.set_value(app_key, prefix + std::to_string(i), registry_value_t::integer(i)) == 0
      && store.end() == 0;
  }
  if ( in_child )
    _exit(ok ? 0 : 1);
  EXPECT_TRUE(ok);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  registry_store_t fresh(dir_.string());
  ASSERT_EQ(fresh.begin(false), 0);
  for ( int i = 0; i < count; ++i )
    for ( const char *who : {"child", "parent"} )
    {
      const registry_value_t *v = fresh.find_value(app_key, who + std::to_string(i));
      ASSERT_NE(v, nullptr) << who << i;
      EXPECT_EQ(v->as_integer(), i);
    }
  EXPECT_EQ(fresh.end(), 0);
}

// Every state a writer produces is derived from one number, so any file on disk can be checked whole.
std::string state_text(int n, int index)
{
  return "state " + std::to_string(n) + " entry " + std::to_string(index) + std::string(200, 'a' + index % 26);
}

TEST_F(RegistryStore, AWriterKilledMidChangeLeavesTheOldOrTheNewState)
{
  constexpr int entries = 400;  // about 100 KB of store
  std::mt19937 random(12345);
  int last_seen = 0;
  for ( int round = 0; round < 12; ++round )
  {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if ( child == 0 )
    {
      registry_store_t store(dir_.string());
      for ( int n = last_seen + 1;; ++n )
      {
        bool created;
        if ( store.begin(true) != 0 || store.create_key(app_key, created) != 0 )
          _exit(1);
        store.set_value(app_key, "n", registry_value_t::integer(n));
        for ( int i = 0; i < entries; ++i )
          store.set_value(app_key, "e" + std::to_string(i), registry_value_t::text(state_text(n, i)));
        if ( store.end() != 0 )
          _exit(1);
      }
    }
    // The first writer gets to finish one state however slow the disk, so that later rounds kill a writer
    // that replaces an existing store.
    for ( int wait = 0; wait < 1000 && !fs::exists(dir_ / "registry"); ++wait )
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::microseconds(3000 + random() % 20000));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer failed in round " << round;

    registry_store_t reader(dir_.string());
    ASSERT_EQ(reader.begin(false), 0);
    EXPECT_EQ(reader.take_recovery_report(), "") << "round " << round;
    const registry_value_t *n = reader.find_value(app_key, "n");
    ASSERT_NE(n, nullptr) << "round " << round;
    const int state = n->as_integer();
    EXPECT_GE(state, last_seen) << "round " << round;
    for ( int i = 0; i < entries; ++i )
    {
      const registry_value_t *v = reader.find_value(app_key, "e" + std::to_string(i));
      ASSERT_NE(v, nullptr) << "round " << round << " entry " << i;
      ASSERT_EQ(v->data, state_text(state, i)) << "round " << round << " entry " << i;
    }
    EXPECT_EQ(reader.end(), 0);
    last_seen = state;
  }
  EXPECT_FALSE(fs::exists(dir_ / "registry.bad"));
  EXPECT_GT(last_seen, 0);
}

}  // namespace
