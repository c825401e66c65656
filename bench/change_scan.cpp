// A full change scan of a work tree of 100,000 files of 4 KiB in 1,000 folders with a warm checksum cache,
// beside `git status` on the same tree (committed, index warm), unchanged and after 1,000 files had their
// modification times moved. Builds the tree in a temporary folder, removed at the end; prints the ratios.
#include "core/md5.h"
#include "repo/abstract_fs.h"
#include "repo/change_scan.h"
#include "repo/md5_cache.h"
#include "repo/plain_fs.h"
#include "repo/wire_records.h"

#include "bench/ratio_reporter.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

extern char **environ;

namespace fs = std::filesystem;

namespace {

constexpr int folder_count = 1000;
constexpr int files_per_folder = 100;
constexpr size_t file_size = 4096;
constexpr int touched_count = 1000;

std::string file_path(const std::string &root, int folder, int file)
{
  char name[64];
  std::snprintf(name, sizeof(name), "/d%03d/f%02d.txt", folder, file);
  return root + name;
}

// Runs git with the arguments in the tree, output discarded; throws when it fails.
void run_git(const std::string &root, std::vector<std::string> args)
{
  // No automatic housekeeping: a background repack would run beside the timings and the removal of the tree.
  args.insert(args.begin(), {"git", "-C", root, "-c", "user.name=bench", "-c", "user.email=bench@localhost", "-c",
                             "gc.auto=0", "-c", "maintenance.auto=false"});
  std::vector<char *> argv;
  for ( std::string &a : args )
    argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int err = posix_spawnp(&pid, "git", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if ( err != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 )
    throw std::runtime_error("git " + args[11] + " failed");
}

// The tree, its scan items and a checksum cache filled by a first scan.
struct tree_t
{
  tree_t()
  {
    std::string pattern = (fs::temp_directory_path() / "scan-bench-XXXXXX").string();
    if ( mkdtemp(pattern.data()) == nullptr )
      throw std::runtime_error("mkdtemp failed");
    root = pattern;
    uint32_t x = 2463534242u;
    std::string content(file_size, ' ');
    for ( int d = 0; d < folder_count; ++d )
    {
      fs::create_directory(root + file_path("", d, 0).substr(0, 5));
      for ( int f = 0; f < files_per_folder; ++f )
      {
        // Text lines of pseudo-random letters: every file differs, as source files do.
        for ( size_t i = 0; i < file_size; ++i )
        {
          x ^= x << 13;
          x ^= x >> 17;
          x ^= x << 5;
          content[i] = i % 64 == 63 ? '\n' : char('a' + x % 26);
        }
        const std::string path = file_path(root, d, f);
        std::ofstream(path, std::ios::binary) << content;
        change_status_item_t item;
        item.path = path.c_str();
        item.size = file_size;
        md5_context_t ctx;
        md5_init(&ctx);
        md5_update(&ctx, content.data(), content.size());
        md5_final(item.md5, &ctx);
        items.push_back(item);
      }
    }
    run_git(root, {"init", "-q"});
    run_git(root, {"add", "-A"});
    run_git(root, {"commit", "-q", "-m", "tree"});
    run_git(root, {"status", "--porcelain"});
    attach_md5_cache(&fs_);
    if ( scan() != 0 )
      throw std::runtime_error("the first scan failed");
  }
  ~tree_t()
  {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  // A full scan; every item must come out unchanged.
  int scan()
  {
    const int code = fs_.scan_changes(&bits, items, 0);
    for ( const uint8_t byte : bits )
      if ( byte != 0 )
        throw std::runtime_error("the scan marked an unchanged file");
    return code;
  }

  // Moves the modification times of 1,000 files to a time not used before: one file in each folder
  // (spread), or every file of ten folders (grouped).
  void touch(bool spread)
  {
    ++touches;
    const auto when = fs::file_time_type::clock::now() + std::chrono::seconds(touches);
    for ( int i = 0; i < touched_count; ++i )
    {
      const std::string path = spread ? file_path(root, i, touches % files_per_folder)
                                       : file_path(root, i / files_per_folder, i % files_per_folder);
      fs::last_write_time(path, when);
    }
  }

  std::string root;
  qvector<change_status_item_t> items;
  byte_buffer_t bits;
  process_fs_t fs_;
  int touches = 0;
};

tree_t *tree = nullptr;

void scan_memory_cache(benchmark::State &state)
{
  for ( auto _ : state )
    benchmark::DoNotOptimize(tree->scan());
}

void scan_cache_files(benchmark::State &state)
{
  for ( auto _ : state )
  {
    attach_md5_cache(&tree->fs_); // a new cache reads every folder's cache file again
    benchmark::DoNotOptimize(tree->scan());
  }
}

void git_status(benchmark::State &state)
{
  for ( auto _ : state )
    run_git(tree->root, {"status", "--porcelain"});
}

void scan_after_touch(benchmark::State &state)
{
  for ( auto _ : state )
  {
    state.PauseTiming();
    tree->touch(state.range(0) != 0);
    state.ResumeTiming();
    benchmark::DoNotOptimize(tree->scan());
  }
}

void git_status_after_touch(benchmark::State &state)
{
  for ( auto _ : state )
  {
    state.PauseTiming();
    tree->touch(state.range(0) != 0);
    state.ResumeTiming();
    run_git(tree->root, {"status", "--porcelain"});
  }
}

} // namespace

int main(int argc, char **argv)
{
  benchmark::Initialize(&argc, argv);
  tree_t built;
  tree = &built;
  const auto settle = [](benchmark::internal::Benchmark *b) {
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
  };
  settle(benchmark::RegisterBenchmark("scan/memory_cache", scan_memory_cache));
  settle(benchmark::RegisterBenchmark("scan/cache_files", scan_cache_files));
  settle(benchmark::RegisterBenchmark("git_status", git_status));
  settle(benchmark::RegisterBenchmark("scan/touched", scan_after_touch)->ArgName("spread")->Arg(1)->Arg(0));
  settle(benchmark::RegisterBenchmark("git_status/touched", git_status_after_touch)->ArgName("spread")->Arg(1)->Arg(0));
  ratio_reporter_t reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_ratio("scan/memory_cache", "git_status");
  reporter.print_ratio("scan/cache_files", "git_status");
  reporter.print_ratio("scan/touched/spread:1", "git_status/touched/spread:1");
  reporter.print_ratio("scan/touched/spread:0", "git_status/touched/spread:0");
  benchmark::Shutdown();
  return 0;
}
