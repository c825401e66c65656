// The filtered-view engine's pieces over 1,000,000 seeded path-like rows with the row cache loaded:
// a fuzzy filter with its ranking beside `fzf --filter` on the same lines from a page-cached file;
// sorting a bucket by a text column and by a size column beside QSortFilterProxyModel::sort over a
// QStringListModel of the same texts; and the heap bytes per row of the row cache and a filtered bucket,
// besides the texts themselves. Prints the ratios.
#include "bench/bench_runner.h"
#include "bench/path_rows.h"
#include "bench/run_tool.h"
#include "bench/pseudo_random.h"
#include "tests/support/heap_in_use.h"
#include "views/filter/bucket_sorting.h"
#include "views/filter/filtered_bucket.h"
#include "views/filter/row_filter.h"

#include <QCoreApplication>
#include <QSortFilterProxyModel>
#include <QStringListModel>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

constexpr size_t row_count = 1000000;
const char *const fuzzy_query = "vcp";

// Sizes of files: plain byte counts from 0 to about 4 GB, spread over every magnitude.
std::vector<std::string> size_texts(size_t count)
{
  pseudo_random_t rng(0x9E3779B97F4A7C15ull);
  std::vector<std::string> sizes;
  sizes.reserve(count);
  for ( size_t i = 0; i < count; ++i )
    sizes.push_back(std::to_string(rng.next() % (uint64_t(1) << (rng.next() % 32))));
  return sizes;
}

// The row cache and the one bucket of a flat list over it, as the engine keeps them.
struct engine_rows_t
{
  engine_rows_t(const std::vector<std::string> &names, const std::vector<std::string> &sizes)
  {
    std::vector<uint64_t> keys;
    keys.reserve(names.size());
    for ( size_t i = 0; i < names.size(); ++i )
    {
      item_info_t &row = cache.emplace(i, item_info_t(2)).first->second;
      row.set_text(0, names[i]);
      row.set_text(1, sizes[i]);
      keys.push_back(i);
    }
    cache.shrink_to_fit(); // as the engine does after loading its rows
    all_keys = keys;
    bucket = keyed_bucket_t(std::move(keys), 0);
  }

  // Filters every cached row and keeps the passing ones in the bucket, as a filtering pass and the
  // bucket's first use do; then sorts them with the strategy when one is given.
  size_t filter_and_sort(const std::vector<filter_condition_t> &conditions, const bucket_sorting_strategy_t *strategy)
  {
    bucket = keyed_bucket_t(all_keys, 0);
    std::vector<uint32_t> kept;
    uint32_t shown = 0;
    for ( auto &[key, row] : cache )
    {
      if ( filter_cached_row(conditions, &row) && (row.match.flags & match_recorded) != 0 )
        kept.push_back(shown);
      ++shown;
    }
    bucket.set_shown_rows(kept);
    if ( strategy != nullptr )
      sort(*strategy);
    return bucket.shown_count();
  }

  void sort(const bucket_sorting_strategy_t &strategy)
  {
    std::vector<uint64_t> positions(bucket.shown_count());
    std::iota(positions.begin(), positions.end(), uint64_t(0));
    bucket.sort_rows(cache, strategy, positions, 0);
    const std::vector<uint32_t> order(positions.begin(), positions.end());
    bucket.set_shown_rows(order);
  }

  row_cache_t cache;
  std::vector<uint64_t> all_keys;
  keyed_bucket_t bucket;
};

struct fixture_t
{
  fixture_t() : names(path_rows(row_count)), sizes(size_texts(row_count))
  {
    const fs::path dir = fs::temp_directory_path();
    lines = (dir / ("filter-rank-" + std::to_string(getpid()) + ".txt")).string();
    ranked = lines + ".out";
    std::ofstream out(lines, std::ios::binary);
    for ( const std::string &t : names )
      out << t << '\n';
    out.close();
    std::ifstream warm(lines, std::ios::binary); // read once: the file is in the page cache for fzf
    std::string all((std::istreambuf_iterator<char>(warm)), std::istreambuf_iterator<char>());
    benchmark::DoNotOptimize(all.data());
  }
  ~fixture_t()
  {
    fs::remove(lines);
    fs::remove(ranked);
  }

  std::vector<std::string> names;
  std::vector<std::string> sizes;
  std::string lines;
  std::string ranked;
};

fixture_t *fixture = nullptr;
engine_rows_t *engine = nullptr;

void fuzzy_rank(benchmark::State &state)
{
  filter_condition_t c;
  c.flags = filter_mode_fuzzy;
  c.column = 0;
  c.set_text(fuzzy_query);
  const std::vector<filter_condition_t> conditions = {c};
  const bucket_fuzzy_sorting_t ranking;
  size_t shown = 0;
  for ( auto _ : state )
    shown = engine->filter_and_sort(conditions, &ranking);
  state.counters["shown"] = double(shown);
}

void fzf_filter(benchmark::State &state)
{
  const std::string arguments = std::string("--filter ") + fuzzy_query + " <" + fixture->lines + " >" + fixture->ranked;
  for ( auto _ : state )
    if ( !run_tool(state, "fzf", arguments) )
      return;
  std::ifstream in(fixture->ranked);
  size_t count = 0;
  for ( std::string line; std::getline(in, line); )
    ++count;
  state.counters["shown"] = double(count);
}

// Sorting all rows by a column, ascending and descending in turn (a re-sort of a sorted list is cheap in
// both, so each iteration sorts the other way).
void column_sort(benchmark::State &state)
{
  const int column = int(state.range(0));
  const uint32_t flags = column == 1 ? column_flags_decimal : 0;
  engine->filter_and_sort({}, nullptr);
  int order = 0;
  for ( auto _ : state )
  {
    const std::unique_ptr<bucket_sorting_strategy_t> strategy = new_bucket_column_sorting(column, order, flags);
    engine->sort(*strategy);
    order = order == 0 ? sort_order_descending : 0;
  }
}

void proxy_sort(benchmark::State &state)
{
  const std::vector<std::string> &texts = state.range(0) == 1 ? fixture->sizes : fixture->names;
  QStringList list;
  list.reserve(int(texts.size()));
  for ( const std::string &t : texts )
    list.append(QString::fromStdString(t));
  QStringListModel model(list);
  QSortFilterProxyModel proxy;
  proxy.setSourceModel(&model);
  Qt::SortOrder order = Qt::AscendingOrder;
  for ( auto _ : state )
  {
    proxy.sort(0, order);
    order = order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
  }
}

// Heap bytes per row of the row cache (two columns) and a filtered bucket, less the heap bytes of the
// texts themselves (measured by building the same texts alone).
void memory_per_row(benchmark::State &state)
{
  for ( auto _ : state )
  {
    const size_t before_texts = heap_in_use();
    std::vector<qstring> texts(row_count * 2);
    const size_t vector_bytes = heap_in_use() - before_texts;
    for ( size_t i = 0; i < row_count; ++i )
    {
      texts[2 * i] = fixture->names[i].c_str();
      texts[2 * i + 1] = fixture->sizes[i].c_str();
    }
    const size_t text_bytes = heap_in_use() - before_texts - vector_bytes;
    texts = {};

    const size_t before = heap_in_use();
    auto rows = std::make_unique<engine_rows_t>(fixture->names, fixture->sizes);
    filter_condition_t c;
    c.set_text("Lib");
    rows->filter_and_sort({c}, nullptr);
    rows->all_keys = {}; // the benchmark's own copy, not the engine's
    const size_t used = heap_in_use() - before;
    state.counters["bytes_per_row"] = double(used - text_bytes) / double(row_count);
    state.counters["text_bytes_per_row"] = double(text_bytes) / double(row_count);
    state.counters["shown"] = double(rows->bucket.shown_count());
  }
}

} // namespace

int main(int argc, char **argv)
{
  QCoreApplication app(argc, argv);
  bench_runner_t runner(argc, argv);
  if ( !runner.ok() )
    return 1;
  fixture_t built;
  fixture = &built;
  engine_rows_t rows(built.names, built.sizes);
  engine = &rows;
  benchmark::RegisterBenchmark("fuzzy/rank", fuzzy_rank)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
  benchmark::RegisterBenchmark("fzf_filter", fzf_filter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
  benchmark::RegisterBenchmark("sort/column", column_sort)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(4);
  benchmark::RegisterBenchmark("proxy_sort", proxy_sort)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(4);
  benchmark::RegisterBenchmark("memory/row_cache_and_bucket", memory_per_row)->Unit(benchmark::kMillisecond)
    ->Iterations(1);
  return runner.run({{"fuzzy/rank", "fzf_filter"}, {"sort/column", "proxy_sort"}});
}
