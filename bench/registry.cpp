// Registry settings: reads of an unchanged store, and one-value writes of a 1,000-value store beside the floor
// of any safe update: writing a file of the same size, flushing it and renaming it over the old one.
#include "core/registry.h"
#include "platform/registry_store.h"

#include "bench/bench_runner.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int store_values = 1000;
constexpr const char *subkey = "Bench";

fs::path bench_root;

fs::path store_file() { return bench_root / "Quorvin" / "registry"; }

// Fills the store with 1,000 values, half integers and half texts, in one operation.
void fill_store()
{
  registry_int("Width", true, 1);
  registry_store_t store((bench_root / "Quorvin").string());
  if ( store.begin(true) != 0 )
    std::abort();
  bool created;
  const std::string key = "Software\\Quorvin\\ZUK\\" + std::string(subkey);
  store.create_key(key, created);
  for ( int i = 0; i < store_values; ++i )
  {
    const std::string name = "value" + std::to_string(i);
    store.set_value(key, name, i % 2 ? registry_value_t::integer(i)
                                     : registry_value_t::text("/home/user/projects/file-" + std::to_string(i)));
  }
  if ( store.end() != 0 )
    std::abort();
}

void registry_read_unchanged(benchmark::State &state)
{
  int32_t sum = 0;
  for ( auto _ : state )
    sum += registry_int("value501", false, 0, subkey);
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(int64_t(state.iterations()));
}

void registry_write_one_value(benchmark::State &state)
{
  int32_t n = 0;
  for ( auto _ : state )
    registry_int("value501", true, ++n, subkey);
  state.SetItemsProcessed(int64_t(state.iterations()));
  state.counters["file_bytes"] = double(fs::file_size(store_file()));
}

void file_write_fsync_rename(benchmark::State &state)
{
  const std::string bytes(fs::file_size(store_file()), 'x');
  const fs::path target = bench_root / "floor";
  const fs::path temp = bench_root / "floor.new";
  for ( auto _ : state )
  {
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if ( fd < 0 || write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()) || fsync(fd) != 0 )
      state.SkipWithError("write failed");
    close(fd);
    if ( rename(temp.c_str(), target.c_str()) != 0 )
      state.SkipWithError("rename failed");
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
  state.counters["file_bytes"] = double(bytes.size());
}

BENCHMARK(registry_read_unchanged);
BENCHMARK(registry_write_one_value)->Unit(benchmark::kMicrosecond);
BENCHMARK(file_write_fsync_rename)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv)
{
  bench_runner_t runner(argc, argv);
  if ( !runner.ok() )
    return 1;
  // A private settings folder on the file system of the temporary folder.
  std::string base = (fs::temp_directory_path() / "akui-registry-bench-XXXXXX").string();
  if ( mkdtemp(base.data()) == nullptr )
    return 2;
  bench_root = base;
  setenv("XDG_CONFIG_HOME", base.c_str(), 1);
  unsetenv("ZUKREG_SPEC");
  fill_store();

  const int result = runner.run({{"registry_write_one_value", "file_write_fsync_rename"}});
  registry_shutdown();
  fs::remove_all(bench_root);
  return result;
}
