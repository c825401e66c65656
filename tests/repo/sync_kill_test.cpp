// A client process killed in the middle of a sync that overwrites files: every file keeps its old content or has
// its new one, never a mix, and what a write leaves behind is never taken for a file.
#include "tests/repo/work_directory_session.h"

#include "core/file_ops.h"
#include "core/md5.h"
#include "repo/md5_cache.h"
#include "tests/server/client_work_directory.h"

#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int file_count = 3;
// Two and a half of the server's write chunks: three WRITE_FILE requests per file.
const size_t file_size = client_work_directory_t::chunk_size * 5 / 2;
// Progress steps of one file as the client sees them: one per WRITE_FILE, then the server's step after CLOSE_FILE.
constexpr int steps_per_file = 4;

std::string old_content(int i)
{
  return std::string(file_size, char('a' + i));
}

std::string new_content(int i)
{
  return std::string(file_size, char('A' + i));
}

std::string file_name(int i)
{
  return "f" + std::to_string(i) + ".txt";
}

// "arkive<digits>.tmp": a temporary that a write leaves beside its target.
bool is_temporary_name(const std::string &name)
{
  const std::string prefix = "arkive";
  const std::string suffix = ".tmp";
  if ( name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix) )
    return false;
  const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  return digits.find_first_not_of("0123456789") == std::string::npos;
}

// The helper program beside the test executable (tests/repo/helpers/sync_kill_client.cpp).
std::string client_program()
{
  return (fs::read_symlink("/proc/self/exe").parent_path() / "sync_kill_client").string();
}

class sync_kill_test_t : public work_directory_test_t
{
protected:
  void SetUp() override
  {
    work_directory_test_t::SetUp();
    std::vector<std::pair<std::string, std::string>> files;
    for ( int i = 0; i < file_count; ++i )
      files.emplace_back("//depot/" + file_name(i), new_content(i));
    server.repository().commit_files("bob", "elsewhere", "new contents", files);
  }

  std::string depot() const { return local("depot"); }
  // The server paths of the files.
  static qvector<qstring> patterns()
  {
    qvector<qstring> out;
    for ( int i = 0; i < file_count; ++i )
      out.push_back(qstring(std::string_view("//depot/" + file_name(i))));
    return out;
  }

  // The work directory with every file at its old content and nothing else.
  void reset_work_directory()
  {
    fs::remove_all(depot());
    for ( int i = 0; i < file_count; ++i )
      write_local(depot() + "/" + file_name(i), old_content(i));
  }

  // Starts the client in a fresh process: it syncs every file to its new content and kills itself at the given
  // progress step. Answers how the process ended (a waitpid status), or -1 when it could not be started.
  int run_client(int kill_at)
  {
    std::vector<std::string> args = {client_program(), std::to_string(server.tls_port()), std::to_string(kill_at)};
    for ( int i = 0; i < file_count; ++i )
      args.push_back("//depot/" + file_name(i));
    std::vector<char *> argv;
    for ( std::string &arg : args )
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if ( ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0 )
      return -1;
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid ? status : -1;
  }

  // The work directory after a kill: each file old or new as expected, anything else a temporary that the
  // checksum cache does not know, and every cached digest the one of the file's present content.
  void check_work_directory(int new_files)
  {
    process_fs_t checker;
    md5_cache_t cache(&checker);
    const md5_cache_t::directory_map_t *entries = cache.load_directory(depot(), false);
    for ( const auto &entry : fs::directory_iterator(depot()) )
    {
      const std::string name = entry.path().filename().string();
      if ( name == ".arkive_cache" || name.starts_with("f") )
        continue;
      EXPECT_TRUE(is_temporary_name(name)) << name << " is neither a file of the site nor a temporary";
      EXPECT_TRUE(entries == nullptr || entries->count(name) == 0) << name << " is in the checksum cache";
    }
    for ( int i = 0; i < file_count; ++i )
    {
      SCOPED_TRACE(file_name(i));
      const std::string path = depot() + "/" + file_name(i);
      const std::string content = read_file_text(path);
      EXPECT_EQ(content, i < new_files ? new_content(i) : old_content(i)) << "a file holds a mix or is cut short";
      file_info_t status;
      ASSERT_EQ(checker.stat(&status, path.c_str()), 0);
      uint8_t digest[16];
      if ( cache.lookup(path.c_str(), status, digest) )
      {
        md5_context_t md5;
        md5_init(&md5);
        md5_update(&md5, content.data(), content.size());
        uint8_t actual[16];
        md5_final(actual, &md5);
        EXPECT_TRUE(std::equal(digest, digest + 16, actual)) << "the cache pairs the file with another digest";
      }
    }
  }
};

TEST_F(sync_kill_test_t, every_file_is_old_or_new_whenever_the_client_dies)
{
  // Each kill point: the step at which the client dies, and how many files are new by then.
  for ( int kill_at = 1; kill_at <= file_count * steps_per_file; ++kill_at )
  {
    const int file = (kill_at - 1) / steps_per_file;
    const bool after_close = (kill_at - 1) % steps_per_file == steps_per_file - 1;
    const int new_files = file + (after_close ? 1 : 0);
    SCOPED_TRACE("killed at step " + std::to_string(kill_at));
    reset_work_directory();
    const int status = run_client(kill_at);
    ASSERT_NE(status, -1) << "cannot run " << client_program();
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the client was not killed: " << status;
    check_work_directory(new_files);
  }

  // A client that comes afterwards syncs over what was left: every file new, its digest cached, no temporary cached.
  auto c = connect_site(transport_t::tls);
  ASSERT_NE(c, nullptr);
  qvector<server_message_t> messages;
  EXPECT_EQ(c->sync_files(&messages, patterns(), -1, 4), 0);
  check_work_directory(file_count);
  process_fs_t checker;
  md5_cache_t cache(&checker);
  for ( int i = 0; i < file_count; ++i )
  {
    const std::string path = depot() + "/" + file_name(i);
    file_info_t status;
    ASSERT_EQ(checker.stat(&status, path.c_str()), 0);
    uint8_t digest[16];
    EXPECT_TRUE(cache.lookup(path.c_str(), status, digest)) << path;
  }
}

}  // namespace
