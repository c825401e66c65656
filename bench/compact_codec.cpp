// Compact integer encode and decode over a million values of mixed length classes; reports values per second.
#include "core/compact_codec.h"

#include "bench/bench_runner.h"
#include "bench/pseudo_random.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

constexpr size_t value_count = 1000000;

// Values spread over the 1-, 2-, 4- and 5-byte forms, in a fixed pseudo-random order.
std::vector<uint32_t> mixed_values()
{
  std::vector<uint32_t> values(value_count);
  pseudo_random_t random;
  for ( uint32_t &v : values )
  {
    const uint64_t x = random.next();
    const uint32_t r = uint32_t(x >> 32);
    switch ( x & 3 )
    {
      case 0: v = r & 0x7F; break;
      case 1: v = 0x80 + r % (0x4000 - 0x80); break;
      case 2: v = 0x4000 + r % (0x20000000 - 0x4000); break;
      default: v = r | 0x20000000; break;
    }
  }
  return values;
}

std::vector<uint8_t> encode_all(const std::vector<uint32_t> &values)
{
  std::vector<uint8_t> buf(values.size() * compact_u32_max_size);
  uint8_t *pos = buf.data();
  const uint8_t *end = buf.data() + buf.size();
  for ( uint32_t v : values )
    pos = pack_u32_compact(pos, end, v);
  buf.resize(size_t(pos - buf.data()));
  return buf;
}

void compact_encode(benchmark::State &state)
{
  const std::vector<uint32_t> values = mixed_values();
  std::vector<uint8_t> buf(values.size() * compact_u32_max_size);
  for ( auto _ : state )
  {
    uint8_t *pos = buf.data();
    const uint8_t *end = buf.data() + buf.size();
    for ( uint32_t v : values )
      pos = pack_u32_compact(pos, end, v);
    benchmark::DoNotOptimize(pos);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(values.size()));
}

void compact_decode(benchmark::State &state)
{
  const std::vector<uint8_t> buf = encode_all(mixed_values());
  for ( auto _ : state )
  {
    const uint8_t *cur = buf.data();
    const uint8_t *end = buf.data() + buf.size();
    uint32_t sum = 0;
    while ( cur < end )
      sum += unpack_u32_compact(&cur, end);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(value_count));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buf.size()));
}

void compact_decode_checked(benchmark::State &state)
{
  const std::vector<uint8_t> buf = encode_all(mixed_values());
  for ( auto _ : state )
  {
    const uint8_t *cur = buf.data();
    const uint8_t *end = buf.data() + buf.size();
    uint32_t sum = 0;
    uint32_t v;
    while ( unpack_u32_compact_checked(&cur, end, &v) )
      sum += v;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(value_count));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buf.size()));
}

BENCHMARK(compact_encode)->Unit(benchmark::kMillisecond);
BENCHMARK(compact_decode)->Unit(benchmark::kMillisecond);
BENCHMARK(compact_decode_checked)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
  return bench_runner_t(argc, argv).run();
}
