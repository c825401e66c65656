// GUI-thread requests: immediate runs, queued runs from workers, ids, stamps, cancellation, stale and
// destroyed entries, deferral, faults, nested passes, and a stress run with many workers.
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/test_app.h"
#include "ui/request_queue.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Delivers what is posted now (the queued exec_requests() calls among it).
void pump()
{
  for ( int i = 0; i < 3; ++i )
    QCoreApplication::processEvents();
}

// A request that answers a fixed value and counts its runs.
struct value_request_t : exec_request_t
{
  explicit value_request_t(int32_t v) : value(v) {}
  int32_t run() override
  {
    ++runs;
    if ( work )
      work();
    return value;
  }
  int32_t value;
  std::atomic<int> runs {0};
  std::function<void()> work;
};

// A no-wait request: deletes itself at the end of its run, as the logger's request does.
struct self_deleting_request_t : exec_request_t
{
  self_deleting_request_t(std::atomic<int> &ran, std::atomic<int> &deleted) : ran_(ran), deleted_(deleted) {}
  ~self_deleting_request_t() override { ++deleted_; }
  int32_t run() override
  {
    ++ran_;
    delete this;
    return 0;
  }
  std::atomic<int> &ran_;
  std::atomic<int> &deleted_;
};

// A request whose run throws.
struct throwing_request_t : exec_request_t
{
  int32_t run() override { throw std::runtime_error("run failed"); }
};

class RequestQueue : public testing::Test
{
protected:
  void TearDown() override
  {
    pump();
    test_app().reset_test_state();
    EXPECT_EQ(test_app().queued_entries(), 0u);
  }
};

// Runs `work` on a worker thread while the GUI thread pumps until it ends; the worker's answer.
int64_t from_worker(const std::function<int64_t()> &work)
{
  std::atomic<bool> finished {false};
  int64_t answer = 0;
  std::thread worker([&] {
    answer = work();
    finished = true;
  });
  const bool ended = pump_until([&] { return finished.load(); });
  worker.join();
  EXPECT_TRUE(ended) << "the worker never got its answer";
  return answer;
}

TEST_F(RequestQueue, OnTheGuiThreadAWaitedRequestRunsAtOnceAndANoWaitOneOnTheNextPass)
{
  for ( const int32_t flags : {0, 1, 2, 3} )
  {
    value_request_t request(40 + flags);
    EXPECT_EQ(execute_request(&request, flags), 40 + flags) << flags;
    EXPECT_EQ(request.runs, 1);
    EXPECT_EQ(request.stamp, 0u) << "nothing is stamped for an immediate run";
    EXPECT_EQ(request.semaphore, nullptr);
  }

  value_request_t later(7);
  const int64_t id = execute_request(&later, exec_flag_no_wait);
  EXPECT_GT(id, 0);
  EXPECT_EQ(later.runs, 0) << "a no-wait request waits for the event loop, also on the GUI thread";
  pump();
  EXPECT_EQ(later.runs, 1);
}

TEST_F(RequestQueue, IdsCountUpAndSkipZeroWhenTheCounterWraps)
{
  value_request_t first(0), second(0), third(0);
  test_app().set_last_request_id(-2); // 0xFFFFFFFE
  EXPECT_EQ(execute_request(&first, exec_flag_no_wait), -1);  // 0xFFFFFFFF, sign-extended
  EXPECT_EQ(execute_request(&second, exec_flag_no_wait), 1);  // never 0
  EXPECT_EQ(execute_request(&third, exec_flag_no_wait), 2);
  pump();
  EXPECT_EQ(first.runs + second.runs + third.runs, 3);
}

TEST_F(RequestQueue, StampsCarryTheCallersFlagsAndInterceptedRequestsAreNotQueued)
{
  struct
  {
    int32_t flags;
    uint64_t stamp;
  } const cases[] = {
    {0, 0x12345678}, {1, 0x12345679}, {2, 0x1234567B}, {3, 0x1234567B}, {4, 0x1234567C}, {6, 0x1234567F},
  };
  for ( const auto &c : cases )
  {
    uint64_t seen = 0;
    test_app().intercept = [&](exec_request_t *r) {
      seen = r->stamp;
      return true;
    };
    value_request_t request(5);
    const bool no_wait = (c.flags & exec_flag_no_wait) != 0;
    // A waited-for request is queued only off the GUI thread.
    const int64_t answer = no_wait ? execute_request(&request, c.flags)
                                   : from_worker([&] { return execute_request(&request, c.flags); });
    EXPECT_EQ(seen, c.stamp) << "flags " << c.flags;
    EXPECT_TRUE(is_request_stamp(seen));
    EXPECT_EQ(answer, no_wait ? -1 : int64_t(c.stamp)) << "flags " << c.flags;
    EXPECT_EQ(test_app().queued_entries(), 0u);
    EXPECT_EQ(request.runs, 0);
  }
  EXPECT_FALSE(is_request_stamp(0));
  EXPECT_FALSE(is_request_stamp(0x12345670));
  EXPECT_FALSE(is_request_stamp(0x112345678));
}

TEST_F(RequestQueue, WorkersWaitForTheirOwnResultsAndNoWaitRequestsRunOnceAndDeleteThemselves)
{
  std::atomic<int> ran {0}, deleted {0};
  const int64_t sum = from_worker([&] {
    int64_t total = 0;
    for ( int32_t i = 1; i <= 20; ++i )
    {
      value_request_t request(i * 3);
      total += execute_request(&request, i % 2 == 0 ? exec_flag_marked : 0);
      EXPECT_EQ(request.runs, 1);
      EXPECT_GT(execute_request(new self_deleting_request_t(ran, deleted), exec_flag_no_wait), 0);
    }
    return total;
  });
  EXPECT_EQ(sum, 3 * 20 * 21 / 2);
  EXPECT_TRUE(pump_until([&] { return deleted == 20; }));
  EXPECT_EQ(ran, 20);
  EXPECT_EQ(deleted, 20);
}

TEST_F(RequestQueue, CancelledRequestsDeleteOrWakeTheirCallersWithMinusOne)
{
  test_app().may_run = [](exec_request_t *, bool) { return false; };
  std::atomic<int> ran {0}, deleted {0};
  (void)execute_request(new self_deleting_request_t(ran, deleted), exec_flag_no_wait);

  value_request_t waited(9);
  std::atomic<int64_t> answer {0};
  std::thread worker([&] { answer = execute_request(&waited, 0); });
  ASSERT_TRUE(pump_until([] { return test_app().queued_entries() == 2; }));

  EXPECT_EQ(test_app().cancel_queued([](exec_request_t *) { return true; }), 2u);
  worker.join();
  EXPECT_EQ(answer, -1);
  EXPECT_EQ(waited.runs, 0);
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(deleted, 1);
}

TEST_F(RequestQueue, AStaleOrDestroyedEntryIsDroppedWithoutTouchingItsRequest)
{
  value_request_t reset(1);
  (void)execute_request(&reset, exec_flag_no_wait);
  reset.stamp = 0; // as its destructor would, while it stays alive

  auto *destroyed = new value_request_t(2);
  (void)execute_request(destroyed, exec_flag_no_wait);
  delete destroyed; // takes its entry out of service under the lock

  value_request_t after(3);
  (void)execute_request(&after, exec_flag_no_wait);
  EXPECT_EQ(test_app().queued_entries(), 3u);
  pump();
  EXPECT_EQ(reset.runs, 0);
  EXPECT_EQ(reset.stamp, 0u) << "a stale request is neither run nor answered";
  EXPECT_EQ(reset.semaphore, nullptr);
  EXPECT_EQ(after.runs, 1);
}

TEST_F(RequestQueue, ARefusedRequestKeepsItsPlaceForALaterPass)
{
  std::vector<int32_t> order;
  value_request_t a(1), b(2), c(3), d(4);
  for ( value_request_t *r : {&a, &b, &c, &d} )
    r->work = [&order, r] { order.push_back(r->value); };
  bool hold_b = true;
  test_app().may_run = [&](exec_request_t *r, bool nested) {
    EXPECT_FALSE(nested);
    return !(hold_b && r == &b);
  };
  for ( value_request_t *r : {&a, &b, &c} )
    (void)execute_request(r, exec_flag_no_wait);
  pump();
  EXPECT_EQ(order, (std::vector<int32_t> {1, 3}));
  EXPECT_EQ(test_app().queued_entries(), 1u);

  hold_b = false;
  (void)execute_request(&d, exec_flag_no_wait);
  pump();
  EXPECT_EQ(order, (std::vector<int32_t> {1, 3, 2, 4})) << "the held request runs first, in its place";
}

TEST_F(RequestQueue, AFaultingRunAnswersItsCallerMinusOneAndThePassGoesOn)
{
  throwing_request_t failing;
  value_request_t next(6);
  const int64_t answer = from_worker([&] {
    const int64_t failed = execute_request(&failing, 0);
    EXPECT_EQ(execute_request(&next, 0), 6);
    return failed;
  });
  EXPECT_EQ(answer, -1);
  EXPECT_EQ(test_app().fault_record().faults(), (std::vector<std::string> {"run failed"}));

  // A hook that faults while an entry is examined cancels that entry: its waiting caller gets -1 too ...
  test_app().fault_record().clear();
  value_request_t examined(8);
  test_app().may_run = [](exec_request_t *, bool) -> bool { throw std::runtime_error("hook failed"); };
  EXPECT_EQ(from_worker([&] { return execute_request(&examined, 0); }), -1);
  EXPECT_EQ(examined.runs, 0);
  // ... and a no-wait one is deleted rather than lost.
  std::atomic<int> ran {0}, deleted {0};
  (void)execute_request(new self_deleting_request_t(ran, deleted), exec_flag_no_wait);
  pump();
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(test_app().fault_record().faults(), (std::vector<std::string> {"hook failed", "hook failed"}));
}

TEST_F(RequestQueue, ARunThatProcessesEventsRunsLaterRequestsInANestedPass)
{
  std::vector<int32_t> order;
  value_request_t inner(2), last(3);
  inner.work = [&] { order.push_back(2); };
  last.work = [&] { order.push_back(3); };
  value_request_t outer(1);
  outer.work = [&] {
    order.push_back(1);
    (void)execute_request(&inner, exec_flag_no_wait);
    // A modal box would do this: the queued exec_requests() call fires inside the run.
    EXPECT_TRUE(pump_until([&] { return inner.runs == 1; }));
    order.push_back(-1);
  };
  int batches = 0;
  test_app().before_batch = [&] { ++batches; };
  (void)execute_request(&outer, exec_flag_no_wait);
  (void)execute_request(&last, exec_flag_no_wait);
  pump();
  EXPECT_EQ(order, (std::vector<int32_t> {1, 3, 2, -1})) << "the nested pass takes every queued entry";
  EXPECT_EQ(outer.runs + inner.runs + last.runs, 3);
  EXPECT_GE(batches, 2);
}

// ---- Stress ------------------------------------------------------------------------------------------

// A request of the stress run: answers its own value, may defer itself once, may be marked for cancel,
// may process events during its run; a no-wait one deletes itself.
struct stress_request_t : exec_request_t
{
  struct counters_t
  {
    std::vector<std::atomic<int>> runs;
    std::vector<std::atomic<int>> deletes;
    explicit counters_t(size_t n) : runs(n), deletes(n) {}
  };

  stress_request_t(counters_t &c, size_t slot, bool self_deleting) : counters(c), index(slot), owns_itself(self_deleting) {}
  ~stress_request_t() override { ++counters.deletes[index]; }
  int32_t run() override
  {
    ++counters.runs[index];
    if ( nests )
      QCoreApplication::processEvents();
    const auto answer = int32_t(index * 7 + 1);
    if ( owns_itself )
      delete this;
    return answer;
  }

  counters_t &counters;
  size_t index;
  bool owns_itself;
  bool nests = false;
  bool cancel_me = false;
  std::atomic<int> defers_left {0};
};

TEST_F(RequestQueue, EightWorkersWithMixedRequestsEachGetTheirOwnResults)
{
#ifdef AKUI_SANITIZE
  constexpr size_t per_worker = 150;
#else
  constexpr size_t per_worker = 1500;
#endif
  constexpr size_t workers = 8;
  stress_request_t::counters_t counters(workers * per_worker);
  std::vector<char> is_no_wait(workers * per_worker, 0), is_cancellable(workers * per_worker, 0);
  std::atomic<size_t> wrong_answers {0}, finished {0};

  test_app().may_run = [](exec_request_t *r, bool) {
    auto *request = static_cast<stress_request_t *>(r);
    return request->defers_left.fetch_sub(1) <= 0;
  };
  test_app().before_batch = [] {
    (void)test_app().cancel_queued([](exec_request_t *r) { return static_cast<stress_request_t *>(r)->cancel_me; });
  };

  std::vector<std::thread> threads;
  for ( size_t w = 0; w < workers; ++w )
  {
    threads.emplace_back([&, w] {
      std::mt19937 random(uint32_t(1234 + w));
      for ( size_t k = 0; k < per_worker; ++k )
      {
        const size_t slot = w * per_worker + k;
        const unsigned roll = random() % 100;
        const bool no_wait = roll < 40;
        is_no_wait[slot] = no_wait;
        is_cancellable[slot] = roll % 10 == 3;
        auto configure = [&](stress_request_t &r) {
          r.cancel_me = is_cancellable[slot] != 0;
          r.defers_left = roll % 7 == 0 ? 1 : 0;
          r.nests = roll % 11 == 0;
        };
        if ( no_wait )
        {
          auto *request = new stress_request_t(counters, slot, true);
          configure(*request);
          if ( execute_request(request, exec_flag_no_wait) <= 0 )
            ++wrong_answers;
          continue;
        }
        stress_request_t request(counters, slot, false);
        configure(request);
        const int64_t answer = execute_request(&request, roll % 2 == 0 ? exec_flag_marked : 0);
        const bool ran = counters.runs[slot] == 1;
        if ( ran ? answer != int64_t(slot * 7 + 1) : !(request.cancel_me && answer == -1) )
          ++wrong_answers;
      }
      ++finished;
    });
  }

  // Deferred entries wait for a later pass: post one now and then, as the client does when things change.
  const bool done = pump_until(
    [&] {
      test_app().main_window()->post_exec_requests();
      return finished == workers;
    },
    120s);
  if ( !done )
  {
    // Wake every stuck caller so that the threads can be joined and the failure reported.
    test_app().reset_test_state();
    (void)test_app().cancel_queued([](exec_request_t *) { return true; });
    pump_until([&] { return finished == workers; }, 5s);
  }
  for ( std::thread &t : threads )
    t.join();
  ASSERT_TRUE(done) << "deadlock: the workers did not finish";
  test_app().reset_test_state();
  ASSERT_TRUE(pump_until([&] { return test_app().queued_entries() == 0; }));

  EXPECT_EQ(wrong_answers, 0u);
  for ( size_t slot = 0; slot < counters.runs.size(); ++slot )
  {
    ASSERT_LE(counters.runs[slot], 1) << slot;
    ASSERT_EQ(counters.deletes[slot], 1) << slot; // waited-for ones by their callers, no-wait ones once
    if ( is_no_wait[slot] != 0 && is_cancellable[slot] == 0 )
    {
      ASSERT_EQ(counters.runs[slot], 1) << slot;
    }
  }
}

} // namespace
