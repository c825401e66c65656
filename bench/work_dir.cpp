// Work directory: what the checksum cache saves (a lookup against hashing the file), what confinement costs
// per path, and a committed small write (temporary, flush, rename) beside a plain file write.
#include "core/file_ops.h"
#include "repo/local_file_digest.h"
#include "repo/md5_cache.h"
#include "repo/plain_fs.h"
#include "repo/site_confinement.h"

#include "bench/bench_runner.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// A scratch work directory for one benchmark, removed afterwards.
struct bench_dir_t
{
  bench_dir_t()
  {
    std::string pattern = (fs::temp_directory_path() / "akui-bench-XXXXXX").string();
    if ( mkdtemp(pattern.data()) == nullptr )
      std::abort();
    path = fs::canonical(pattern).string();
  }
  ~bench_dir_t() { fs::remove_all(path); }
  std::string path;
};

void write_file(const std::string &path, size_t size)
{
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

// Lookups in a directory of state.range(0) cached files (the map is loaded by the first lookup).
void cache_lookup(benchmark::State &state)
{
  bench_dir_t dir;
  process_fs_t fsys;
  attach_md5_cache(&fsys);
  const int files = int(state.range(0));
  file_info_t status;
  status.modification_time = 1;
  status.size = 1;
  const uint8_t digest[16] = {};
  for ( int i = 0; i < files; ++i )
    fsys.checksum_cache()->record((dir.path + "/d/file" + std::to_string(i)).c_str(), status, digest);
  fsys.flush_cache();
  const std::string probe = dir.path + "/d/file" + std::to_string(files / 2);
  uint8_t out[16];
  for ( auto _ : state )
    benchmark::DoNotOptimize(fsys.checksum_cache()->lookup(probe.c_str(), status, out));
}
BENCHMARK(cache_lookup)->Arg(100)->Arg(10000);

// What a lookup spares: hashing a file of state.range(0) bytes.
void hash_file(benchmark::State &state)
{
  bench_dir_t dir;
  process_fs_t fsys;
  const std::string path = dir.path + "/f";
  write_file(path, size_t(state.range(0)));
  uint8_t digest[16];
  for ( auto _ : state )
    benchmark::DoNotOptimize(hash_local_file(&fsys, path.c_str(), digest));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(hash_file)->Arg(64 << 10)->Arg(16 << 20);

// Resolving a path five levels below the root, with a link on the way.
void confine_path(benchmark::State &state)
{
  bench_dir_t dir;
  write_file(dir.path + "/site/a/b/c/d/e", 1);
  fs::create_directory_symlink("a/b", dir.path + "/site/link");
  const std::string root = dir.path + "/site";
  const std::string path = root + "/link/c/d/e";
  qstring resolved;
  for ( auto _ : state )
    benchmark::DoNotOptimize(confine_real_path(&resolved, root.c_str(), path.c_str(), true));
}
BENCHMARK(confine_path);

// A committed rewrite of a small existing file: temporary, flush to disk, rename.
void committed_rewrite(benchmark::State &state)
{
  bench_dir_t dir;
  process_fs_t fsys;
  const std::string path = dir.path + "/f";
  write_file(path, 4096);
  byte_buffer_t bytes;
  bytes.resize(4096, 'y');
  for ( auto _ : state )
    benchmark::DoNotOptimize(fsys.write_whole_file(path.c_str(), bytes));
}
BENCHMARK(committed_rewrite);

// The floor without the safety: overwriting the file in place, no flush.
void plain_overwrite(benchmark::State &state)
{
  bench_dir_t dir;
  const std::string path = dir.path + "/f";
  write_file(path, 4096);
  const std::string bytes(4096, 'y');
  for ( auto _ : state )
  {
    FILE *fp = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), fp);
    std::fclose(fp);
  }
}
BENCHMARK(plain_overwrite);

} // namespace

int main(int argc, char **argv)
{
  return bench_runner_t(argc, argv).run({{"cache_lookup/100", "hash_file/65536"},
                                        {"cache_lookup/10000", "hash_file/65536"},
                                        {"committed_rewrite", "plain_overwrite"}});
}
