// Encoding and decoding a file-list reply of 10,000 records: records per second and bytes per second.
#include "repo/packet_type_table.h"
#include "repo/packets_sites.h"

#include "bench/bench_runner.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int record_count = 10000;

// A reply as a folder listing sends it: paths of a few dozen bytes, real digests, sizes and packed times.
file_query_result_packet_t make_reply()
{
  file_query_result_packet_t reply(GET_ARKIVE_FILES_RESULT);
  reply.messages.push_back({0, "//src/"});
  reply.files.resize(record_count);
  for ( int i = 0; i < record_count; ++i )
  {
    arkive_file_info_t &f = reply.files[i];
    char path[64];
    std::snprintf(path, sizeof(path), "//src/module_%03d/file_%05d.cpp", i / 100, i);
    f.path = path;
    for ( int k = 0; k < 16; ++k )
      f.md5[k] = uint8_t(i * 31 + k * 7);
    f.size = uint64_t(i) * 977 + 12;
    f.commit_time = (uint64_t(0x65000000 + i) << 32) | uint64_t(i * 13 % 1000000);
    f.number = i;
    f.site_revision = i % 7;
    f.last_revision = i % 7 + (i % 3 == 0);
    f.commit = 1000 + i;
    f.action = uint8_t(1 + i % 7);
  }
  return reply;
}

void BM_EncodeFileList(benchmark::State &state)
{
  const file_query_result_packet_t reply = make_reply();
  byte_buffer_t out;
  for ( auto _ : state )
  {
    out.clear();
    reply.serialize(out, ARKIVE_PROTOCOL_VERSION);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * record_count);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
}
BENCHMARK(BM_EncodeFileList)->Unit(benchmark::kMillisecond);

void BM_DecodeFileList(benchmark::State &state)
{
  byte_buffer_t body;
  make_reply().serialize(body, ARKIVE_PROTOCOL_VERSION);
  const packet_type_row_t &row = *std::find_if(packet_type_table.begin(), packet_type_table.end(),
                                               [](const packet_type_row_t &r) {
                                                 return r.type == GET_ARKIVE_FILES_RESULT;
                                               });
  for ( auto _ : state )
  {
    auto packet = row.factory(body.data(), body.size(), ARKIVE_PROTOCOL_VERSION);
    if ( packet == nullptr )
    {
      state.SkipWithError("the reply did not decode");
      break;
    }
    benchmark::DoNotOptimize(packet.get());
  }
  state.SetItemsProcessed(state.iterations() * record_count);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
}
BENCHMARK(BM_DecodeFileList)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
  return bench_runner_t(argc, argv).run();
}
