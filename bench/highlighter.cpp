// The line highlighter colouring a 100,000-line script source: the engine alone on the lines, and through
// QtSyntaxHighlighter on a document beside a QSyntaxHighlighter with equivalent regular-expression rules.
// Goal: the document pass at least twice as fast as the regular expressions'.
#include "bench/bench_runner.h"
#include "forms/text/qt_syntax_highlighter.h"
#include "forms/text/zxl_highlighter.h"
#include "tests/ui/app/test_app.h"

#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int source_lines = 100000;

// A script source with keywords of all three groups, line and block comments across lines, strings with
// escapes, numbers and directives.
std::vector<std::string> script_lines()
{
  static const char *const pattern[] = {
    "#include <idc.idc> // directive",
    "#define LIMIT 0x1F \\",
    "  + 10L",
    "static main(void)",
    "{",
    "  auto ea = BADADDR, n = -2.5e+3, s = \"a \\\"quoted\\\" text\\n\";",
    "  /* a block comment",
    "     that spans lines */ if ( n > .5 ) return 'x';",
    "  while ( ea != MAXADDR ) { ea = ea + 1; } // step",
    "  long v = 12345; string t = \"\\x41\\\\\"; float f = 1.0;",
    "}",
  };
  std::vector<std::string> lines;
  lines.reserve(source_lines);
  for ( int i = 0; i < source_lines; ++i )
    lines.emplace_back(pattern[i % std::size(pattern)]);
  return lines;
}

QString script_text()
{
  std::string text;
  for ( const std::string &line : script_lines() )
    text.append(line).push_back('\n');
  return QString::fromStdString(text);
}

// The same colours by regular expressions, in the usual QSyntaxHighlighter manner.
class regex_highlighter_t : public QSyntaxHighlighter
{
public:
  explicit regex_highlighter_t(QTextDocument *document) : QSyntaxHighlighter(document)
  {
    auto add = [this](const char *pattern, QColor colour) {
      QTextCharFormat format;
      format.setForeground(colour);
      rules_.push_back({QRegularExpression(pattern), format});
    };
    add("\\b(?:auto|static|extern|for|if|else|while|do|break|continue|return|try|catch|throw)\\b", Qt::blue);
    add("\\b(?:long|string|__int64|success|char|float|void)\\b", Qt::darkBlue);
    add("\\b(?:BADADDR|BADSEL|MAXADDR)\\b", Qt::darkCyan);
    add("(?<![\\w.])[-+]?(?:0[xX][0-9A-Fa-f]+|\\d*\\.?\\d+(?:[eE][-+]?\\d+)?)L?\\b", Qt::darkRed);
    add("\"(?:\\\\.|[^\"\\\\])*\"|'(?:\\\\.|[^'\\\\])*'", Qt::darkGreen);
    add("^\\s*#.*$", Qt::darkMagenta);
    add("//.*$", Qt::gray);
    comment_.setForeground(Qt::gray);
  }

protected:
  void highlightBlock(const QString &text) override
  {
    for ( const rule_t &rule : rules_ )
    {
      QRegularExpressionMatchIterator it = rule.pattern.globalMatch(text);
      while ( it.hasNext() )
      {
        QRegularExpressionMatch m = it.next();
        setFormat(int(m.capturedStart()), int(m.capturedLength()), rule.format);
      }
    }
    setCurrentBlockState(0);
    int start = previousBlockState() == 1 ? 0 : int(text.indexOf(open_));
    while ( start >= 0 )
    {
      QRegularExpressionMatch end = close_.match(text, start);
      int length;
      if ( end.hasMatch() )
      {
        length = int(end.capturedEnd()) - start;
      }
      else
      {
        setCurrentBlockState(1);
        length = int(text.size()) - start;
      }
      setFormat(start, length, comment_);
      start = int(text.indexOf(open_, start + length));
    }
  }

private:
  struct rule_t
  {
    QRegularExpression pattern;
    QTextCharFormat format;
  };
  std::vector<rule_t> rules_;
  QRegularExpression open_ {"/\\*"};
  QRegularExpression close_ {"\\*/"};
  QTextCharFormat comment_;
};

void engine_lines(benchmark::State &state)
{
  auto hl = build_zxl_highlighter();
  std::vector<qstring> lines;
  for ( const std::string &line : script_lines() )
    lines.emplace_back(line.data(), line.size());
  highlighter_cbs_t cbs;
  for ( auto _ : state )
    for ( const qstring &line : lines )
      hl->highlight(&cbs, &line);
  state.counters["lines/s"] = benchmark::Counter(double(state.iterations()) * source_lines,
                                                 benchmark::Counter::kIsRate);
}

template <typename Make>
void document_pass(benchmark::State &state, Make make)
{
  QTextDocument document;
  document.setPlainText(script_text());
  auto highlighter = make(&document);
  for ( auto _ : state )
    highlighter->rehighlight();
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
  benchmark::RegisterBenchmark("qt_highlighter", [&record](benchmark::State &state) {
    document_pass(state, [&record](QTextDocument *d) {
      auto highlighter = std::make_unique<QtSyntaxHighlighter>(d, &record);
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
  return runner.run({{"qt_highlighter", "regex_highlighter"}});
}
