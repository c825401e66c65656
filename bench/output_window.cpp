// Appending 100,000 log lines to the Output window and painting its last page, beside a read-only, word-wrapping
// QPlainTextEdit that appends the same lines with appendPlainText and paints. Goal: at most half its time. Both
// report the heap memory each line takes (bytes_per_line).
#include "bench/bench_runner.h"
#include "bench/gui_bench_app.h"
#include "tests/support/heap_in_use.h"
#include "tests/ui/app/test_app.h"
#include "tests/ui/app/test_logger.h"
#include "ui/log_widget.h"

#include <QCoreApplication>
#include <QPlainTextEdit>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int line_count = 100000;
const char prefix[] = "2026-12-10 10:11:12.013 ";

std::vector<std::string> make_lines()
{
  std::vector<std::string> lines;
  lines.reserve(line_count);
  for ( int i = 0; i < line_count; ++i )
    lines.push_back("Checked out //depot/project/src/module_" + std::to_string(i % 977) + "/file_" +
                    std::to_string(i) + ".cpp for edit");
  return lines;
}

const std::vector<std::string> &lines()
{
  static const std::vector<std::string> all = make_lines();
  return all;
}

// Each iteration makes a shown widget, appends every line, lets the posted events run and paints the last page;
// the widget's heap per line is reported.
template <typename Widget, typename Make, typename Append>
void append_and_paint(benchmark::State &state, Make make, Append append)
{
  double bytes = 0;
  for ( auto _ : state )
  {
    const size_t heap_before = heap_in_use();
    std::unique_ptr<Widget> widget = make();
    widget->resize(900, 600);
    widget->show();
    QCoreApplication::processEvents();
    for ( const std::string &line : lines() )
      append(*widget, line);
    QCoreApplication::processEvents();
    widget->viewport()->repaint();
    bytes = double(heap_in_use() - heap_before) / line_count;
    state.PauseTiming();
    widget.reset();
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
  state.counters["bytes_per_line"] = bytes;
}

void output_window(benchmark::State &state)
{
  msg_data_t msg;
  msg.prefix = prefix;
  append_and_paint<log_widget_t>(
    state, [] { return std::make_unique<log_widget_t>(); },
    [&msg](log_widget_t &window, const std::string &line) {
      msg.text.assign(line.data(), line.size());
      msg.text.push_back('\n');
      window.append_message(msg, 0);
    });
}

void plain_text_edit(benchmark::State &state)
{
  append_and_paint<QPlainTextEdit>(
    state,
    [] {
      auto edit = std::make_unique<QPlainTextEdit>();
      edit->setReadOnly(true);
      edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
      return edit;
    },
    [](QPlainTextEdit &edit, const std::string &line) {
      edit.appendPlainText(QString::fromUtf8(line.data(), int(line.size())));
    });
}

} // namespace

int main(int argc, char **argv)
{
  bench_runner_t runner(argc, argv);
  if ( !runner.ok() )
    return 1;
  default_to_offscreen_platform();
  test_app_t app(argc, argv);
  test_logger_t logger; // timestamps hidden: the window shows the same lines the text edit gets
  (void)lines();
  benchmark::RegisterBenchmark("output_window_append_paint", output_window)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("plain_text_edit_append_paint", plain_text_edit)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
  const int status = runner.run({{"output_window_append_paint", "plain_text_edit_append_paint"}});
  std::printf("goal: output_window_append_paint / plain_text_edit_append_paint at most 0.5\n");
  return status;
}
