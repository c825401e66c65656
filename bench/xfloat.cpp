// Rates of the 16-byte software float: the four operations, and text read and written, over mixed values.
#include "core/xfloat.h"
#include "core/xfloat_text.h"

#include "bench/pseudo_random.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr size_t value_count = 1024;

// Doubles of every sign and a wide spread of magnitudes, in a fixed pseudo-random order.
std::vector<xfloat_t> mixed_values()
{
  std::vector<xfloat_t> values(value_count);
  pseudo_random_t random;
  for ( xfloat_t &v : values )
  {
    const uint64_t x = random.next();
    // A normal double: exponent 1023 +- 200, any fraction, any sign.
    uint64_t bits = (x & 0x800FFFFFFFFFFFFFull) | (uint64_t(823 + (x >> 52) % 400) << 52);
    xfloat_convert_processor(&bits, &v, XFLOAT_PROC_DOUBLE);
  }
  return values;
}

template <int (*op)(const xfloat_t &, const xfloat_t &, xfloat_t *)>
void bench_binary(benchmark::State &state)
{
  const std::vector<xfloat_t> values = mixed_values();
  size_t i = 0;
  for ( auto _ : state )
  {
    xfloat_t out;
    benchmark::DoNotOptimize(op(values[i % value_count], values[(i + 1) % value_count], &out));
    benchmark::DoNotOptimize(out);
    ++i;
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

int add(const xfloat_t &a, const xfloat_t &b, xfloat_t *out)
{
  return xfloat_add(a, b, out);
}

void bench_write(benchmark::State &state)
{
  const std::vector<xfloat_t> values = mixed_values();
  char buffer[64];
  size_t i = 0;
  for ( auto _ : state )
    benchmark::DoNotOptimize(float_to_text(buffer, sizeof(buffer), values[i++ % value_count], 50));
  state.SetItemsProcessed(int64_t(state.iterations()));
}

void bench_read(benchmark::State &state)
{
  std::vector<std::string> texts;
  char buffer[64];
  for ( const xfloat_t &v : mixed_values() )
    texts.emplace_back(float_to_text(buffer, sizeof(buffer), v, 50));
  size_t i = 0;
  for ( auto _ : state )
  {
    const char *position = texts[i++ % value_count].c_str();
    xfloat_t out;
    benchmark::DoNotOptimize(text_to_float(&position, &out));
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

} // namespace

BENCHMARK(bench_binary<add>)->Name("xfloat_add");
BENCHMARK(bench_binary<xfloat_multiply>)->Name("xfloat_multiply");
BENCHMARK(bench_binary<xfloat_divide>)->Name("xfloat_divide");
BENCHMARK(bench_write)->Name("float_to_text");
BENCHMARK(bench_read)->Name("text_to_float");

BENCHMARK_MAIN();
