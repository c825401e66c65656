// A text area (with its line numbers) holding a 100,000-line script source, coloured again by QtSyntaxHighlighter,
// beside the same text area with a QSyntaxHighlighter of equivalent regular-expression rules; and the engine
// alone on the lines. Goal: the text area's pass at least twice as fast as the regular expressions'.
#include "bench/script_source.h"
#include "forms/text/text_area.h"

#include <benchmark/benchmark.h>

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
  rehighlight_passes(state, *area.highlighter());
}

} // namespace

int main(int argc, char **argv)
{
  return run_highlighter_benchmarks(argc, argv, "text_area_qt_highlighter", "text_area_regex_highlighter",
                                    [](language_record_t *record) {
    benchmark::RegisterBenchmark("text_area_qt_highlighter", [record](benchmark::State &state) {
      text_area_pass(state, [record] { return std::make_unique<QtSyntaxHighlighter>(nullptr, record); });
    })->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("text_area_regex_highlighter", [](benchmark::State &state) {
      text_area_pass(state, [] { return std::make_unique<regex_highlighter_t>(nullptr); });
    })->Unit(benchmark::kMillisecond)->UseRealTime();
  });
}
