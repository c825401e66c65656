// Appending to the core's containers: amortised constant time through capacity doubling.
#include "core/printf_format.h"
#include "core/qstring.h"
#include "core/qvector.h"

#include "bench/bench_runner.h"

#include <benchmark/benchmark.h>

namespace {

void push_back_u64(benchmark::State &state)
{
  for ( auto _ : state )
  {
    qvector<uint64_t> v;
    for ( int64_t i = 0; i < state.range(0); ++i )
      v.push_back(uint64_t(i));
    benchmark::DoNotOptimize(v.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(push_back_u64)->Range(1 << 8, 1 << 20);

void push_back_strings(benchmark::State &state)
{
  const qstring item("a moderately long string element");
  for ( auto _ : state )
  {
    qvector<qstring> v;
    for ( int64_t i = 0; i < state.range(0); ++i )
      v.push_back(item);
    benchmark::DoNotOptimize(v.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(push_back_strings)->Range(1 << 8, 1 << 16);

void append_chars(benchmark::State &state)
{
  for ( auto _ : state )
  {
    qstring s;
    for ( int64_t i = 0; i < state.range(0); ++i )
      s.push_back('x');
    benchmark::DoNotOptimize(s.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(append_chars)->Range(1 << 8, 1 << 20);

void format_with_extension(benchmark::State &state)
{
  char buffer[128];
  for ( auto _ : state )
    benchmark::DoNotOptimize(buf_printf(buffer, sizeof(buffer), "%s %08a %I64u", "item", uint64_t(0xABCDEF), uint64_t(42)));
}
BENCHMARK(format_with_extension);

} // namespace

int main(int argc, char **argv)
{
  return bench_runner_t(argc, argv).run();
}
