// MD5 throughput of the core's digest beside the system crypto library's, over 1 MiB and 64 MiB buffers.
#include "core/md5.h"

#include "bench/bench_runner.h"
#include "bench/pseudo_random.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<uint8_t> make_buffer(size_t size)
{
  std::vector<uint8_t> data(size);
  pseudo_random_t random;
  for ( uint8_t &b : data )
    b = uint8_t(random.next());
  return data;
}

void core_md5(benchmark::State &state)
{
  const std::vector<uint8_t> data = make_buffer(size_t(state.range(0)));
  uint8_t digest[16];
  for ( auto _ : state )
  {
    md5_context_t ctx;
    md5_init(&ctx);
    md5_update(&ctx, data.data(), data.size());
    md5_final(digest, &ctx);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void evp_md5(benchmark::State &state)
{
  const std::vector<uint8_t> data = make_buffer(size_t(state.range(0)));
  EVP_MD_CTX *ctx = EVP_MD_CTX_new();
  const EVP_MD *md = EVP_md5();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  for ( auto _ : state )
  {
    EVP_DigestInit_ex(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, data.data(), data.size());
    EVP_DigestFinal_ex(ctx, digest, &len);
    benchmark::DoNotOptimize(digest);
  }
  EVP_MD_CTX_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

BENCHMARK(core_md5)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(evp_md5)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
  return bench_runner_t(argc, argv).run({{"core_md5", "evp_md5"}});
}
