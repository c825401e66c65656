// Benchmarks of the core's text paths: UTF-8/UTF-16 conversion of mixed text and formatting a log line.
#include "bench/bench_runner.h"

#include <benchmark/benchmark.h>

#include <string>

#include "core/printf_format.h"
#include "core/qstring.h"
#include "core/qvector.h"
#include "core/unicode.h"

namespace
{

// About 1 MiB of mixed text: mostly ASCII lines with Latin, Greek, CJK and emoji characters in between.
const std::string &mixed_text()
{
  static const std::string text = []
  {
    const std::string line = "2024-05-01 12:00:00.123 Checked out //depot/src/m\xC3\xB6" "dule/\xCE\xB1\xCE\xB2.cpp "
                             "(\xE6\x96\x87\xE4\xBB\xB6 \xF0\x9F\x93\x81) for edit, rev 42\n";
    std::string s;
    while ( s.size() < (1u << 20) )
      s += line;
    return s;
  }();
  return text;
}

void BM_Utf8ToUtf16(benchmark::State &state)
{
  const std::string &text = mixed_text();
  wide_string_t wide;
  for ( auto _ : state )
  {
    bool ok = utf8_to_utf16(&wide, text.c_str(), ptrdiff_t(text.size()));
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(wide.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_Utf8ToUtf16);

void BM_Utf16ToUtf8(benchmark::State &state)
{
  const std::string &text = mixed_text();
  wide_string_t wide;
  benchmark::DoNotOptimize(utf8_to_utf16(&wide, text.c_str(), ptrdiff_t(text.size())));
  qstring back;
  for ( auto _ : state )
  {
    bool ok = utf16_to_utf8(&back, wide.data(), ptrdiff_t(wide.size() - 1));
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(back.data());
  }
  // Counted in UTF-8 bytes produced, so both directions read on the same scale.
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_Utf16ToUtf8);

void BM_Utf8CountChars(benchmark::State &state)
{
  const std::string &text = mixed_text();
  for ( auto _ : state )
    benchmark::DoNotOptimize(utf8_count_chars(text.c_str()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_Utf8CountChars);

void BM_BufPrintfLogLine(benchmark::State &state)
{
  char buf[512];
  for ( auto _ : state )
  {
    int n = buf_printf(buf, sizeof(buf), "%s: %d file(s) checked out in %s, worklist %a, %u ms\n",
                       "edit", 17, "//depot/src/module/file.cpp", uint64_t(0x1234ABCD5678), 250u);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(buf);
  }
}
BENCHMARK(BM_BufPrintfLogLine);

} // namespace

int main(int argc, char **argv)
{
  return bench_runner_t(argc, argv).run();
}
