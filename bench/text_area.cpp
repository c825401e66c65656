// A text area (with its line numbers) holding a 100,000-line script source, coloured again by QtSyntaxHighlighter,
// beside the same text area with a QSyntaxHighlighter of equivalent regular-expression rules; and the engine
// alone on the lines. Goal: the text area's pass at least twice as fast as the regular expressions'.
#include "bench/bench_runner.h"
#include "bench/script_source.h"
#include "forms/text/text_area.h"
#include "tests/ui/app/test_app.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

using namespace bench_script;

namespace {

// One text area with the source, shown, with the highlighter that `make` gives; each iteration colours the
// whole document again.
template <typename Make>
void text_area_pass(benchmark::State &state, Make make)
{
  text_area_t area(nullptr, true);
  area.resize(800, 600);
  area.setPlainText(script_text());
  area.show();
  area.set_highlighter(make());
  for ( auto _ : state )
    area.highlighter()->rehighlight();
  state.counters["lines/s"] = benchmark::Counter(double(state.iterations()) * source_lines,
                                                 benchmark::Counter::kIsRate);
}

} // namespace

int main(int argc, char **argv)
{
  bench_runner_t runner(argc, argv);
  if ( std::getenv("QT_QPA_PLATFORM") == nullptr )
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  test_app_t app(argc, argv);
  auto zxl = build_zxl_highlighter();
  language_record_t record;
  record.highlighter = static_cast<syntax_highlighter_t *>(zxl.get());
  benchmark::RegisterBenchmark("engine_lines", engine_lines)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("text_area_qt_highlighter", [&record](benchmark::State &state) {
    text_area_pass(state, [&record] { return std::make_unique<QtSyntaxHighlighter>(nullptr, &record); });
  })->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("text_area_regex_highlighter", [](benchmark::State &state) {
    text_area_pass(state, [] { return std::make_unique<regex_highlighter_t>(nullptr); });
  })->Unit(benchmark::kMillisecond)->UseRealTime();
  return runner.run({{"text_area_qt_highlighter", "text_area_regex_highlighter"}});
}
