// GUI-thread requests beside Qt's own cross-thread calls doing the same work: the round trip of a request
// a worker waits for beside a blocking queued call, and 100,000 no-wait requests beside as many queued
// calls. Prints the two ratios (round trip: at most 1.2; flood throughput: at least 0.8).
#include "bench/bench_runner.h"
#include "bench/gui_bench_app.h"
#include "tests/ui/app/test_app.h"
#include "ui/request_queue.h"

#include <QCoreApplication>
#include <QObject>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

namespace {

constexpr int round_trips = 200;
constexpr int flood_size = 100000;

std::atomic<int64_t> work_done {0};

// The work both sides do on the GUI thread.
int32_t do_work()
{
  return int32_t(work_done.fetch_add(1, std::memory_order_relaxed));
}

// Runs `work` on a worker thread while the GUI thread processes events until it ends.
void on_worker(const std::function<void()> &work)
{
  std::atomic<bool> done {false};
  std::thread worker([&] {
    work();
    done = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::QueuedConnection); // wake the loop
  });
  while ( !done )
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  worker.join();
  QCoreApplication::processEvents();
}

struct work_request_t : exec_request_t
{
  int32_t run() override { return do_work(); }
};

// A no-wait request owns itself: it deletes itself at the end of its run.
struct flood_request_t : exec_request_t
{
  int32_t run() override
  {
    const int32_t result = do_work();
    delete this;
    return result;
  }
};

void waiting_batch()
{
  on_worker([] {
    for ( int i = 0; i < round_trips; ++i )
    {
      work_request_t request;
      benchmark::DoNotOptimize(execute_request(&request, 0));
    }
  });
}

void blocking_batch()
{
  QObject *receiver = QCoreApplication::instance();
  on_worker([receiver] {
    for ( int i = 0; i < round_trips; ++i )
    {
      int32_t result = 0;
      QMetaObject::invokeMethod(receiver, [&result] { result = do_work(); }, Qt::BlockingQueuedConnection);
      benchmark::DoNotOptimize(result);
    }
  });
}

// The worker sends the whole flood and then waits until the GUI thread has run all of it.
void flood(const std::function<void()> &send_one)
{
  const int64_t target = work_done.load() + flood_size;
  on_worker([&] {
    for ( int i = 0; i < flood_size; ++i )
      send_one();
    while ( work_done.load() < target )
      std::this_thread::yield();
  });
}

void no_wait_flood()
{
  flood([] { benchmark::DoNotOptimize(execute_request(new flood_request_t, exec_flag_no_wait)); });
}

void queued_flood()
{
  QObject *receiver = QCoreApplication::instance();
  flood([receiver] { QMetaObject::invokeMethod(receiver, [] { do_work(); }, Qt::QueuedConnection); });
}

// One side alone: each iteration runs one batch of `items` requests or calls.
void run_batches(benchmark::State &state, void (*batch)(), int items)
{
  for ( auto _ : state )
    batch();
  state.SetItemsProcessed(int64_t(state.iterations()) * items);
}

// The two sides of a comparison, run alternately so that a load change of the machine strikes both alike.
struct paired_times_t
{
  double ours = 0;
  double theirs = 0;
};
paired_times_t round_trip_pair, flood_pair;

double seconds_of(void (*batch)())
{
  const auto start = std::chrono::steady_clock::now();
  batch();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void paired(benchmark::State &state, paired_times_t *times, void (*ours)(), void (*theirs)())
{
  bool ours_first = true;
  for ( auto _ : state )
  {
    // The order alternates too, so that neither side always runs on the other's warm-up.
    if ( ours_first )
      times->ours += seconds_of(ours);
    times->theirs += seconds_of(theirs);
    if ( !ours_first )
      times->ours += seconds_of(ours);
    ours_first = !ours_first;
  }
  state.counters["ratio"] = times->theirs > 0 ? times->ours / times->theirs : 0;
}

} // namespace

int main(int argc, char **argv)
{
  bench_runner_t runner(argc, argv);
  if ( !runner.ok() )
    return 1;
  default_to_offscreen_platform();
  test_app_t app(argc, argv);
  const auto settle = [](benchmark::internal::Benchmark *b) {
    return b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
  };
  settle(benchmark::RegisterBenchmark("waiting_request", run_batches, waiting_batch, round_trips));
  settle(benchmark::RegisterBenchmark("blocking_invoke", run_batches, blocking_batch, round_trips));
  settle(benchmark::RegisterBenchmark("no_wait_requests", run_batches, no_wait_flood, flood_size));
  settle(benchmark::RegisterBenchmark("queued_invoke", run_batches, queued_flood, flood_size));
  // Many short alternating rounds: a load change of the machine strikes both sides alike.
  settle(benchmark::RegisterBenchmark("round_trip_ratio", paired, &round_trip_pair, waiting_batch, blocking_batch))
    ->MinTime(5.0);
  settle(benchmark::RegisterBenchmark("flood_ratio", paired, &flood_pair, no_wait_flood, queued_flood))->MinTime(5.0);
  // Each side alone first, then the alternating rounds.
  const int status = runner.run({{"waiting_request", "blocking_invoke"}, {"no_wait_requests", "queued_invoke"}});
  // The goals, from the alternating runs: our round trip at most 1.2 times the blocking call's; our flood
  // throughput at least 0.8 times the queued calls' (their time over ours).
  if ( round_trip_pair.theirs > 0 )
    std::printf("round trip: waiting request / blocking invoke = %.2f (goal: at most 1.2)\n",
                round_trip_pair.ours / round_trip_pair.theirs);
  if ( flood_pair.ours > 0 )
    std::printf("throughput: no-wait requests / queued invoke = %.2f (goal: at least 0.8)\n",
                flood_pair.theirs / flood_pair.ours);
  return status;
}
