// Rates of the 16-byte software float beside the compiler's __float128 (libquadmath) on the same values: each
// operation in both, then the ratios (ours / theirs).
#include "core/xfloat.h"
#include "core/xfloat_text.h"

#include "bench/pseudo_random.h"
#include "bench/bench_runner.h"

#include <benchmark/benchmark.h>

#include <quadmath.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using u128 = unsigned __int128;

constexpr size_t value_count = 1024;

// The operands of every benchmark, in both formats: full 112-bit significands, every sign, magnitudes from
// about 1e-300 to 1e300; integers below 2^62 for the integer conversions; and the texts of the values.
struct operands_t
{
  std::vector<xfloat_t> ours;
  std::vector<__float128> theirs;
  std::vector<xfloat_t> integral_ours;
  std::vector<__float128> integral_theirs;
  std::vector<int64_t> integers;
  std::vector<std::string> texts;
};

// The same value as a __float128: one more significand bit, kept implicit.
__float128 to_float128(const xfloat_t &x)
{
  u128 bits = 0;
  for ( int i = 6; i >= 0; --i )
    bits = (bits << 16) | x.words[i];
  bits = ((bits << 1) & ((u128(1) << 112) - 1)) | (u128(x.words[7]) << 112);
  __float128 q;
  std::memcpy(&q, &bits, sizeof(q));
  return q;
}

xfloat_t random_value(pseudo_random_t &random, int exponent_reach)
{
  const uint64_t r = random.next();
  xfloat_t x;
  for ( int i = 0; i < 4; ++i )
    x.words[i] = uint16_t(r >> (16 * i));
  const uint64_t s = random.next();
  for ( int i = 4; i < 7; ++i )
    x.words[i] = uint16_t(s >> (16 * (i - 4)));
  x.words[6] |= 0x8000;
  const int exponent = XFLOAT_BIAS + int((s >> 48) % uint64_t(2 * exponent_reach + 1)) - exponent_reach;
  x.words[7] = uint16_t(((s >> 47) & 1) != 0 ? XFLOAT_SIGN_BIT | exponent : exponent);
  return x;
}

const operands_t &operands()
{
  static const operands_t made = [] {
    operands_t o;
    pseudo_random_t random;
    char buffer[64];
    for ( size_t i = 0; i < value_count; ++i )
    {
      o.ours.push_back(random_value(random, 1000));
      o.theirs.push_back(to_float128(o.ours.back()));
      o.integral_ours.push_back(random_value(random, 62));
      o.integral_theirs.push_back(to_float128(o.integral_ours.back()));
      o.integers.push_back(int64_t(random.next()) >> (random.next() % 63));
      o.texts.emplace_back(float_to_text(buffer, sizeof(buffer), o.ours.back(), 50));
    }
    return o;
  }();
  return made;
}

template <typename T, typename Operation>
void run_binary(benchmark::State &state, const std::vector<T> &values, Operation operation)
{
  size_t i = 0;
  for ( auto _ : state )
  {
    benchmark::DoNotOptimize(operation(values[i % value_count], values[(i + 1) % value_count]));
    ++i;
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

// Each pair: ours, then theirs on the same operands.
void ours_add(benchmark::State &state)
{
  run_binary(state, operands().ours, [](const xfloat_t &a, const xfloat_t &b) {
    xfloat_t out;
    xfloat_add(a, b, &out);
    return out;
  });
}

void theirs_add(benchmark::State &state)
{
  run_binary(state, operands().theirs, [](__float128 a, __float128 b) { return a + b; });
}

void ours_subtract(benchmark::State &state)
{
  run_binary(state, operands().ours, [](const xfloat_t &a, const xfloat_t &b) {
    xfloat_t out;
    xfloat_add(a, b, &out, true);
    return out;
  });
}

void theirs_subtract(benchmark::State &state)
{
  run_binary(state, operands().theirs, [](__float128 a, __float128 b) { return a - b; });
}

void ours_multiply(benchmark::State &state)
{
  run_binary(state, operands().ours, [](const xfloat_t &a, const xfloat_t &b) {
    xfloat_t out;
    xfloat_multiply(a, b, &out);
    return out;
  });
}

void theirs_multiply(benchmark::State &state)
{
  run_binary(state, operands().theirs, [](__float128 a, __float128 b) { return a * b; });
}

void ours_divide(benchmark::State &state)
{
  run_binary(state, operands().ours, [](const xfloat_t &a, const xfloat_t &b) {
    xfloat_t out;
    xfloat_divide(a, b, &out);
    return out;
  });
}

void theirs_divide(benchmark::State &state)
{
  run_binary(state, operands().theirs, [](__float128 a, __float128 b) { return a / b; });
}

void ours_compare(benchmark::State &state)
{
  run_binary(state, operands().ours, [](const xfloat_t &a, const xfloat_t &b) { return xfloat_compare(a, b); });
}

void theirs_compare(benchmark::State &state)
{
  run_binary(state, operands().theirs, [](__float128 a, __float128 b) { return int(a > b) - int(a < b); });
}

void ours_to_int64(benchmark::State &state)
{
  const std::vector<xfloat_t> &values = operands().integral_ours;
  size_t i = 0;
  for ( auto _ : state )
  {
    int64_t out = 0;
    benchmark::DoNotOptimize(xfloat_to_int64(&out, values[i++ % value_count], false));
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

void theirs_to_int64(benchmark::State &state)
{
  const std::vector<__float128> &values = operands().integral_theirs;
  size_t i = 0;
  for ( auto _ : state )
    benchmark::DoNotOptimize(int64_t(values[i++ % value_count]));
  state.SetItemsProcessed(int64_t(state.iterations()));
}

void ours_from_int64(benchmark::State &state)
{
  const std::vector<int64_t> &values = operands().integers;
  size_t i = 0;
  for ( auto _ : state )
  {
    xfloat_t out;
    int64_to_xfloat(values[i++ % value_count], &out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

void theirs_from_int64(benchmark::State &state)
{
  const std::vector<int64_t> &values = operands().integers;
  size_t i = 0;
  for ( auto _ : state )
    benchmark::DoNotOptimize(__float128(values[i++ % value_count]));
  state.SetItemsProcessed(int64_t(state.iterations()));
}

// Texts with one digit before the point and 33 after it, as both write them.
void ours_to_text(benchmark::State &state)
{
  const std::vector<xfloat_t> &values = operands().ours;
  char buffer[64];
  size_t i = 0;
  for ( auto _ : state )
    benchmark::DoNotOptimize(float_to_text(buffer, sizeof(buffer), values[i++ % value_count], 50));
  state.SetItemsProcessed(int64_t(state.iterations()));
}

void theirs_to_text(benchmark::State &state)
{
  const std::vector<__float128> &values = operands().theirs;
  char buffer[64];
  size_t i = 0;
  for ( auto _ : state )
  {
    benchmark::DoNotOptimize(quadmath_snprintf(buffer, sizeof(buffer), "%.33Qe", values[i++ % value_count]));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

void ours_from_text(benchmark::State &state)
{
  const std::vector<std::string> &texts = operands().texts;
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

void theirs_from_text(benchmark::State &state)
{
  const std::vector<std::string> &texts = operands().texts;
  size_t i = 0;
  for ( auto _ : state )
    benchmark::DoNotOptimize(strtoflt128(texts[i++ % value_count].c_str(), nullptr));
  state.SetItemsProcessed(int64_t(state.iterations()));
}

struct pair_t
{
  const char *operation;
  void (*ours)(benchmark::State &);
  void (*theirs)(benchmark::State &);
};

const pair_t pairs[] = {
  {"add", ours_add, theirs_add},
  {"subtract", ours_subtract, theirs_subtract},
  {"multiply", ours_multiply, theirs_multiply},
  {"divide", ours_divide, theirs_divide},
  {"compare", ours_compare, theirs_compare},
  {"to_int64", ours_to_int64, theirs_to_int64},
  {"from_int64", ours_from_int64, theirs_from_int64},
  {"to_text", ours_to_text, theirs_to_text},
  {"from_text", ours_from_text, theirs_from_text},
};

} // namespace

int main(int argc, char **argv)
{
  bench_runner_t runner(argc, argv);
  if ( !runner.ok() )
    return 1;
  operands();
  for ( const pair_t &pair : pairs )
  {
    benchmark::RegisterBenchmark((std::string("xfloat/") + pair.operation).c_str(), pair.ours);
    benchmark::RegisterBenchmark((std::string("float128/") + pair.operation).c_str(), pair.theirs);
  }
  // "xfloat/add" is paired with "float128/add", and so on for every operation.
  return runner.run({{"xfloat", "float128"}});
}
