// A case-insensitive 3-letter substring filter over 1,000,000 seeded path-like rows (about 46 bytes each)
// with the row cache loaded, beside `grep -F -i -c` on the same lines from a page-cached file (launched
// through the core's process launcher). Prints the ratio.
#include "bench/bench_runner.h"
#include "bench/path_rows.h"
#include "bench/run_tool.h"
#include "views/filter/row_filter.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

constexpr size_t row_count = 1000000;
const char *const query = "Lib";

struct fixture_t
{
  fixture_t()
  {
    const std::vector<std::string> texts = path_rows(row_count);
    rows.reserve(texts.size());
    size_t bytes = 0;
    for ( const std::string &t : texts )
    {
      item_info_t row(1);
      row.set_text(0, t);
      rows.push_back(std::move(row));
      bytes += t.size();
    }
    std::printf("%zu rows, %.1f bytes each\n", rows.size(), double(bytes) / double(rows.size()));
    const fs::path dir = fs::temp_directory_path();
    lines = (dir / ("filter-scan-" + std::to_string(getpid()) + ".txt")).string();
    counted = lines + ".count";
    std::ofstream out(lines, std::ios::binary);
    for ( const std::string &t : texts )
      out << t << '\n';
    out.close();
    std::ifstream warm(lines, std::ios::binary); // read once: the file is in the page cache for grep
    std::string all((std::istreambuf_iterator<char>(warm)), std::istreambuf_iterator<char>());
    benchmark::DoNotOptimize(all.data());
    filter_condition_t c;
    c.flags = filter_mode_substring | filter_test_contains;
    c.set_text(query);
    conditions.push_back(c);
  }
  ~fixture_t()
  {
    fs::remove(lines);
    fs::remove(counted);
  }

  std::vector<item_info_t> rows;
  std::vector<filter_condition_t> conditions;
  std::string lines;
  std::string counted;
};

fixture_t *fixture = nullptr;

void filter_pass(benchmark::State &state)
{
  size_t shown = 0;
  for ( auto _ : state )
  {
    shown = 0;
    for ( item_info_t &row : fixture->rows )
      shown += filter_cached_row(fixture->conditions, &row) ? 1 : 0;
    benchmark::DoNotOptimize(shown);
  }
  state.counters["shown"] = double(shown);
}

void grep_count(benchmark::State &state)
{
  const std::string arguments = std::string("-F -i -c ") + query + " " + fixture->lines + " >" + fixture->counted;
  for ( auto _ : state )
    if ( !run_tool(state, "grep", arguments) )
      return;
  std::ifstream in(fixture->counted);
  double count = 0;
  in >> count;
  state.counters["shown"] = count;
}

} // namespace

int main(int argc, char **argv)
{
  bench_runner_t runner(argc, argv);
  if ( !runner.ok() )
    return 1;
  fixture_t built;
  fixture = &built;
  benchmark::RegisterBenchmark("filter/substring_icase", filter_pass)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
  benchmark::RegisterBenchmark("grep_F_i_c", grep_count)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
  return runner.run({{"filter/substring_icase", "grep_F_i_c"}});
}
