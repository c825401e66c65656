// Every operation of a confined file system refuses paths that lead outside its site root, and leaves
// everything outside the root untouched.
#include "repo/abstract_fs.h"
#include "repo/fs_file.h"
#include "repo/local_file_digest.h"
#include "repo/locked_fs.h"
#include "repo/md5_cache.h"
#include "repo/plain_fs.h"

#include "core/error_state.h"
#include "core/file_ops.h"

#include "tests/repo/work_dir_helpers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Everything below a directory: relative path -> content ("<dir>" for directories, "-> target" for links).
std::map<std::string, std::string> snapshot(const std::string &dir)
{
  std::map<std::string, std::string> result;
  for ( auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it )
  {
    const std::string rel = fs::relative(it->path(), dir).string();
    if ( it->is_symlink() )
      result[rel] = "-> " + fs::read_symlink(it->path()).string();
    else if ( it->is_directory() )
      result[rel] = "<dir>";
    else
      result[rel] = read_file_text(it->path().string());
  }
  return result;
}

// One operation that takes a path; answers its code (bool operations answer 42 for false). `inside` is
// a path inside the site that the operation serves with 0.
struct path_operation_t
{
  const char *name;
  const char *inside;
  std::function<int(abstract_fs_t &, const char *)> run;
};

int open_and_close(abstract_fs_t &fs, const char *path, uint32_t flags, const char *bytes)
{
  fs_file_t *file = nullptr;
  const int code = fs.open(&file, path, flags);
  if ( code != 0 )
    return code;
  uint64_t n = std::strlen(bytes);
  if ( (flags & FS_OPEN_WRITE) != 0 )
    file->write(&n, bytes);
  return file->close(true);
}

const path_operation_t operations[] = {
  {"open_read", "a/f.txt", [](abstract_fs_t &fs, const char *p) { return open_and_close(fs, p, FS_OPEN_READ, ""); }},
  {"open_read_digest", "link_in/f.txt",
   [](abstract_fs_t &fs, const char *p) { return open_and_close(fs, p, FS_OPEN_READ | FS_OPEN_DIGEST, ""); }},
  {"open_write", "a/new/file.txt",
   [](abstract_fs_t &fs, const char *p) { return open_and_close(fs, p, FS_OPEN_WRITE, "pwned"); }},
  {"open_write_digest", "a/f.txt",
   [](abstract_fs_t &fs, const char *p) {
     return open_and_close(fs, p, FS_OPEN_WRITE | FS_OPEN_DIGEST, "pwned");
   }},
  // As the server's writes open: folders already walked in the batch are remembered.
  {"open_write_batch", "link_in/batch.txt",
   [](abstract_fs_t &fs, const char *p) {
     return open_and_close(fs, p, FS_OPEN_WRITE | FS_OPEN_DIGEST | FS_OPEN_SYNC_LATER, "pwned");
   }},
  {"remove", "a/f.txt", [](abstract_fs_t &fs, const char *p) { return fs.remove(p, 0); }},
  {"remove_forget", "a/../a/f.txt", [](abstract_fs_t &fs, const char *p) { return fs.remove(p, FS_REMOVE_FORGET); }},
  {"add", "b/added", [](abstract_fs_t &fs, const char *p) { return fs.add(p); }},
  {"edit", "a\\f.txt", [](abstract_fs_t &fs, const char *p) { return fs.edit(p); }},
  {"stat", "a/f.txt",
   [](abstract_fs_t &fs, const char *p) {
     file_info_t info;
     return fs.stat(&info, p);
   }},
  {"is_dirpath", "link_in", [](abstract_fs_t &fs, const char *p) { return fs.is_dirpath(p) ? 0 : 42; }},
  {"chdir", "link_in", [](abstract_fs_t &fs, const char *p) { return fs.chdir(p); }},
  {"read_whole_file", "link_in/f.txt",
   [](abstract_fs_t &fs, const char *p) {
     byte_buffer_t buf;
     return fs.read_whole_file(&buf, p);
   }},
  {"write_whole_file", "a/w",
   [](abstract_fs_t &fs, const char *p) {
     byte_buffer_t bytes;
     bytes.push_back('x');
     return fs.write_whole_file(p, bytes, true);
   }},
  {"hash_local_file", "a/f.txt",
   [](abstract_fs_t &fs, const char *p) {
     uint8_t digest[16];
     return hash_local_file(&fs, p, digest);
   }},
};

// Paths relative to the site root (which is also the working directory), or absolute ones built from the
// scratch directory ("@/" stands for it).
const char *const hostile_paths[] = {
  "..",
  "../..",
  "../outside/secret.txt",
  "../outside/new.txt",
  "../outside/newdir/new.txt",
  "..\\outside\\secret.txt",
  "a\\..\\..\\outside\\secret.txt",
  "a/../../outside/secret.txt",
  "missing/../../outside/new.txt",
  "link_out/secret.txt",
  "link_out/new.txt",
  "link_out/newdir/new.txt",
  "file_link_out",
  "link_in/../../outside/secret.txt",
  "@/outside/secret.txt",
  "@/outside/.arkive_cache",
  "@/site_sibling/x",
  "@/site/../outside/secret.txt",
  "@/outside",
  "",
};

std::string expand(const std::string &path, const scratch_dir_t &dir)
{
  return path.starts_with("@/") ? dir.at(path.substr(2)) : path;
}

class HostilePaths : public testing::TestWithParam<path_operation_t>
{
protected:
  void SetUp() override
  {
    dir_.write("site/a/f.txt", "inside 1");
    dir_.write("outside/secret.txt", "secret 7");
    dir_.write("site_sibling/x", "sibling");
    fs::create_directory_symlink("a", dir_.at("site/link_in"));
    fs::create_directory_symlink("../outside", dir_.at("site/link_out"));
    fs::create_symlink(dir_.at("outside/secret.txt"), dir_.at("site/file_link_out"));
    fs::current_path(dir_.at("site"));
  }

  void expect_all_refused(abstract_fs_t &fs)
  {
    const auto outside_before = snapshot(dir_.at("outside"));
    const auto sibling_before = snapshot(dir_.at("site_sibling"));
    for ( const char *raw : hostile_paths )
    {
      const std::string path = expand(raw, dir_);
      EXPECT_EQ(GetParam().run(fs, path.c_str()), 42) << GetParam().name << " " << path;
      EXPECT_EQ(fs::current_path().string(), dir_.at("site")) << path;
    }
    fs.flush_cache();
    EXPECT_EQ(snapshot(dir_.at("outside")), outside_before);
    EXPECT_EQ(snapshot(dir_.at("site_sibling")), sibling_before);
    EXPECT_FALSE(dir_.exists("newdir"));
    EXPECT_FALSE(dir_.exists(".arkive_cache"));
  }

  scratch_dir_t dir_;
};

TEST_P(HostilePaths, ProcessFileSystemRefusesThemAll)
{
  process_fs_t fs(dir_.at("site").c_str());
  attach_md5_cache(&fs);
  expect_all_refused(fs);
}

TEST_P(HostilePaths, ProcessFileSystemWithARelativeRootRefusesThemAll)
{
  process_fs_t fs(".");
  attach_md5_cache(&fs);
  expect_all_refused(fs);
}

TEST_P(HostilePaths, LockedFileSystemRefusesThemAll)
{
  locked_fs_t fs(dir_.at("site").c_str());
  attach_md5_cache(&fs);
  fs.chdir(dir_.at("site").c_str());
  // The links do not exist here; only the textual escapes apply.
  for ( const char *raw : hostile_paths )
  {
    const std::string path = expand(raw, dir_);
    if ( path.find("link") != std::string::npos )
      continue;
    EXPECT_EQ(GetParam().run(fs, path.c_str()), 42) << GetParam().name << " " << path;
  }
  qstring cwd;
  fs.getcwd(&cwd);
  EXPECT_EQ(std::string(cwd.view()), dir_.at("site"));
}

TEST_P(HostilePaths, ConfinedFileSystemsStillServeThePathsInside)
{
  process_fs_t fs(dir_.at("site").c_str());
  attach_md5_cache(&fs);
  EXPECT_EQ(GetParam().run(fs, GetParam().inside), 0) << get_error_arg_text(0);
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, HostilePaths, testing::ValuesIn(operations),
                         [](const testing::TestParamInfo<path_operation_t> &info) {
                           return std::string(info.param.name);
                         });

} // namespace
