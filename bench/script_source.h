// A 100,000-line script source for the highlighter benchmarks, a regular-expression QSyntaxHighlighter with
// equivalent rules to measure against, the engine's own pass over the lines, and the benchmarks' main.
#pragma once

#include "bench/bench_runner.h"
#include "forms/text/zxl_highlighter.h"
#include "tests/forms/zxl_language.h"
#include "tests/ui/app/test_app.h"

#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace bench_script {

constexpr int source_lines = 100000;

// A script source with keywords of all three groups, line and block comments across lines, strings with
// escapes, numbers and directives.
inline std::vector<std::string> script_lines()
{
  static const char *const pattern[] = {
    "#include <lib.zxl> // directive",
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

inline QString script_text()
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
  // Made with a document, it is the document's child.
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

// Colours the whole document again per iteration, counting lines per second.
inline void rehighlight_passes(benchmark::State &state, QSyntaxHighlighter &highlighter)
{
  for ( auto _ : state )
    highlighter.rehighlight();
  state.counters["lines/s"] = benchmark::Counter(double(state.iterations()) * source_lines,
                                                 benchmark::Counter::kIsRate);
}

// The engine alone over the source's lines, without a document.
inline void engine_lines(benchmark::State &state)
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

// The main of a highlighter benchmark: the tests' application object (on the offscreen platform unless one is
// chosen), the engine's pass, then the passes that register_passes(language_record_t *) adds for a record
// carrying the script highlighter; `name` is measured against `anchor`.
template <typename Register>
int run_highlighter_benchmarks(int argc, char **argv, const char *name, const char *anchor, Register register_passes)
{
  bench_runner_t runner(argc, argv);
  if ( std::getenv("QT_QPA_PLATFORM") == nullptr )
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  test_app_t app(argc, argv);
  zxl_language_t zxl;
  benchmark::RegisterBenchmark("engine_lines", engine_lines)->Unit(benchmark::kMillisecond);
  register_passes(&zxl.record);
  return runner.run({{name, anchor}});
}

} // namespace bench_script
