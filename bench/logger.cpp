// Four threads log 25,000 lines each with a log file open, delivered to the GUI thread, whose display only counts
// them: the time until every line is in the file and delivered, beside the same threads writing the same lines
// (prefix included) to a file with fputs and fflush under one std::mutex. Goal: at most 2 times the anchor.
#include "bench/bench_runner.h"
#include "bench/gui_bench_app.h"
#include "tests/ui/app/test_app.h"
#include "tests/ui/app/test_logger.h"
#include "ui/logger.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int thread_count = 4;
constexpr int lines_per_thread = 25000;

std::filesystem::path log_path()
{
  const char *dir = std::getenv("TMPDIR");
  return std::filesystem::path(dir != nullptr ? dir : "/tmp") / "bench_logger.log";
}

std::string line_of(int thread, int i)
{
  return "worker " + std::to_string(thread) + " finished step " + std::to_string(i) + " of the benchmark run\n";
}

size_t total_bytes()
{
  size_t bytes = 0;
  for ( int t = 0; t < thread_count; ++t )
    for ( int i = 0; i < lines_per_thread; ++i )
      bytes += line_of(t, i).size();
  return bytes;
}

// One run through the logger: returns once every line is in the file and the GUI thread has counted all of it.
void logger_run()
{
  std::filesystem::remove(log_path());
  std::atomic<size_t> delivered {0};
  test_app().on_log_message = [&delivered](msg_data_t &msg, uint32_t) {
    delivered.fetch_add(msg.text.size(), std::memory_order_relaxed);
    return int(msg.text.size());
  };
  {
    test_logger_t logger(log_path().string());
    logger.set_show_timestamps(true);
    std::vector<std::thread> workers;
    for ( int t = 0; t < thread_count; ++t )
      workers.emplace_back([&logger, t] {
        for ( int i = 0; i < lines_per_thread; ++i )
        {
          msg_data_t msg;
          msg.text = qstring(line_of(t, i));
          (void)logger.log(msg);
        }
      });
    const size_t expected = total_bytes();
    // Every hand-over wakes the event loop, so it can sleep between them instead of spinning beside the workers.
    while ( delivered.load(std::memory_order_relaxed) < expected )
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    for ( std::thread &worker : workers )
      worker.join();
  }
  test_app().on_log_message = nullptr;
}

// The anchor: the same lines with their prefixes, fputs and fflush under one mutex.
void fputs_run()
{
  std::filesystem::remove(log_path());
  FILE *file = std::fopen(log_path().c_str(), "a");
  std::mutex mutex;
  std::vector<std::thread> workers;
  for ( int t = 0; t < thread_count; ++t )
    workers.emplace_back([&, t] {
      for ( int i = 0; i < lines_per_thread; ++i )
      {
        const std::string line = std::string(log_time_prefix(current_packed_time()).view()) + line_of(t, i);
        const std::lock_guard<std::mutex> guard(mutex);
        std::fputs(line.c_str(), file);
        std::fflush(file);
      }
    });
  for ( std::thread &worker : workers )
    worker.join();
  std::fclose(file);
}

void run_batches(benchmark::State &state, void (*run)())
{
  for ( auto _ : state )
    run();
  state.SetItemsProcessed(int64_t(state.iterations()) * thread_count * lines_per_thread);
}

} // namespace

int main(int argc, char **argv)
{
  bench_runner_t runner(argc, argv);
  if ( !runner.ok() )
    return 1;
  default_to_offscreen_platform();
  test_app_t app(argc, argv);
  benchmark::RegisterBenchmark("logger_to_file_and_gui", run_batches, logger_run)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
  benchmark::RegisterBenchmark("fputs_under_mutex", run_batches, fputs_run)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
  const int status = runner.run({{"logger_to_file_and_gui", "fputs_under_mutex"}});
  std::printf("goal: logger_to_file_and_gui / fputs_under_mutex at most 2\n");
  std::filesystem::remove(log_path());
  return status;
}
