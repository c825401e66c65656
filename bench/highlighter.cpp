// The line highlighter colouring a 100,000-line script source: the engine alone on the lines, and through
// QtSyntaxHighlighter on a document beside a QSyntaxHighlighter with equivalent regular-expression rules.
// Goal: the document pass at least twice as fast as the regular expressions'.
#include "bench/script_source.h"
#include "forms/text/qt_syntax_highlighter.h"

#include <benchmark/benchmark.h>

#include <memory>

using namespace bench_script;

namespace {

template <typename Make>
void document_pass(benchmark::State &state, Make make)
{
  QTextDocument document;
  document.setPlainText(script_text());
  auto highlighter = make(&document);
  rehighlight_passes(state, *highlighter);
}

} // namespace

int main(int argc, char **argv)
{
  return run_highlighter_benchmarks(argc, argv, "qt_highlighter", "regex_highlighter", [](language_record_t *record) {
    benchmark::RegisterBenchmark("qt_highlighter", [record](benchmark::State &state) {
      document_pass(state, [record](QTextDocument *d) {
        auto highlighter = std::make_unique<QtSyntaxHighlighter>(d, record);
        // Plain text keeps the document's own colour, as the regular expressions leave it.
        highlight_categories_t categories;
        categories[HL_PLAIN].colour = QColor();
        for ( int style = HL_KEYWORD1; style <= HL_NUMBER; ++style )
          categories[size_t(style)].colour = QColor::fromRgb(QRgb(0x101010 * style));
        highlighter->set_categories(categories);
        return highlighter;
      });
    })->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("regex_highlighter", [](benchmark::State &state) {
      document_pass(state, [](QTextDocument *d) { return std::make_unique<regex_highlighter_t>(d); });
    })->Unit(benchmark::kMillisecond)->UseRealTime();
  });
}
