// Recursive locks, semaphores with time-outs, waitable threads and the main-thread record.
#include "core/threads.h"

#include "core/error_state.h"
#include "tests/support/test_scale.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(LockTest, NullLockIsRefused)
{
  EXPECT_FALSE(lock_enter(nullptr));
  EXPECT_FALSE(lock_leave(nullptr));
  EXPECT_FALSE(lock_destroy(nullptr));
  critical_section_guard_t guard(nullptr);
  critical_section_guard_release(&guard);
}

// Threads start together and take the lock over and over, each time twice (recursively) and leaving one level
// in between: whoever gets in must find nobody inside, and stays the holder until its last level is left. The
// plain counter loses no increment only when the lock excludes.
TEST(LockTest, RecursiveForOwnerExclusiveForOthers)
{
  critical_section_t *lock = lock_create();
  constexpr int threads = 4;
  const int rounds = int(scaled_for_sanitizers(4000));
  std::latch start(threads);
  int holder = -1;  // written only under the lock
  int64_t total = 0; // likewise
  std::atomic<int> intrusions {0};
  std::vector<std::thread> workers;
  for ( int id = 0; id < threads; ++id )
    workers.emplace_back([&, id] {
      start.arrive_and_wait();
      for ( int i = 0; i < rounds; ++i )
      {
        lock_enter(lock);
        intrusions += holder != -1;
        holder = id;
        lock_enter(lock); // the holder enters again
        ++total;
        lock_leave(lock);
        intrusions += holder != id; // still held once
        {
          critical_section_guard_t guard(lock); // a second level again, left at the end of the scope
          ++total;
        }
        intrusions += holder != id;
        holder = -1;
        lock_leave(lock);
      }
    });
  for ( std::thread &t : workers )
    t.join();
  EXPECT_EQ(intrusions, 0);
  EXPECT_EQ(total, int64_t(2) * threads * rounds);
  EXPECT_TRUE(lock_destroy(lock));
}

TEST(LockTest, GuardReleaseLeavesOnce)
{
  critical_section_t *lock = lock_create();
  {
    critical_section_guard_t guard(lock);
    critical_section_guard_release(&guard);
    std::atomic<bool> entered {false};
    std::thread other([&] {
      lock_enter(lock);
      entered = true;
      lock_leave(lock);
    });
    other.join();
    EXPECT_TRUE(entered) << "released before the end of the scope";
  } // the destructor must not leave a second time
  EXPECT_TRUE(lock_destroy(lock));
}

TEST(SemaphoreTest, CountsAndTimesOut)
{
  os_handle_t *sem = semaphore_create("ignored name", 2);
  ASSERT_NE(sem, nullptr);
  EXPECT_TRUE(wait_for_handle(sem, 0));
  EXPECT_TRUE(wait_for_handle(sem, 0));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(wait_for_handle(sem, 30)) << "count used up";
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  EXPECT_TRUE(semaphore_release(sem));
  EXPECT_TRUE(wait_for_handle(sem, -1));
  EXPECT_TRUE(close_os_handle(sem));
}

TEST(SemaphoreTest, ReleaseWakesWaiterOnAnotherThread)
{
  os_handle_t *sem = semaphore_create(nullptr, 0);
  std::atomic<bool> woke {false};
  std::thread waiter([&] { woke = wait_for_handle(sem, 5000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(semaphore_release(sem));
  waiter.join();
  EXPECT_TRUE(woke);
  close_os_handle(sem);
}

TEST(SemaphoreTest, MaximumCountAndBadHandles)
{
  os_handle_t *full = semaphore_create(nullptr, SEMAPHORE_MAX_COUNT);
  ASSERT_NE(full, nullptr);
  EXPECT_FALSE(semaphore_release(full)) << "already at 0x7FFFFFFF";
  close_os_handle(full);
  qerrno_set(0);
  EXPECT_EQ(semaphore_create(nullptr, SEMAPHORE_MAX_COUNT + 1u), nullptr);
  EXPECT_EQ(qerrno_get(), 1);
  EXPECT_FALSE(semaphore_release(nullptr));
  EXPECT_FALSE(wait_for_handle(nullptr, 0));
  EXPECT_FALSE(close_os_handle(nullptr));
}

struct gate_t
{
  os_handle_t *go = semaphore_create(nullptr, 0);
  std::atomic<uint32_t> ran_on {0};
  std::atomic<bool> passed {false}; // set after the wait; the thread touches the gate no more
  ~gate_t() { close_os_handle(go); }
};

int wait_at_gate(void *arg)
{
  auto *gate = static_cast<gate_t *>(arg);
  gate->ran_on = uint32_t(gettid());
  gate->passed = wait_for_handle(gate->go, -1);
  return 0;
}

TEST(ThreadTest, ThreadHandleSignalsWhenFunctionReturns)
{
  gate_t gate;
  thread_record_t *record = thread_start(&wait_at_gate, &gate);
  ASSERT_NE(record, nullptr);
  EXPECT_NE(record->handle, pseudo_thread_handle());
  EXPECT_FALSE(wait_for_handle(record->handle, 30)) << "still running";
  ASSERT_TRUE(semaphore_release(gate.go));
  EXPECT_TRUE(wait_for_handle(record->handle, 5000));
  EXPECT_TRUE(wait_for_handle(record->handle, 0)) << "stays signalled";
  EXPECT_EQ(record->id, gate.ran_on.load()) << "the record carries the thread's id";
  thread_record_free(record);
}

TEST(ThreadTest, FreeingTheRecordOfARunningThreadLeavesItRunning)
{
  gate_t gate;
  thread_record_t *record = thread_start(&wait_at_gate, &gate);
  ASSERT_NE(record, nullptr);
  thread_record_free(record);
  ASSERT_TRUE(semaphore_release(gate.go));
  // The thread goes on without its handle and finishes on its own.
  for ( int i = 0; i < 1000 && !gate.passed; ++i )
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(gate.passed);
}

TEST(ThreadTest, MainThreadRecordAndPseudoHandles)
{
  EXPECT_TRUE(on_main_thread());
  bool worker_on_main = true;
  std::thread worker([&] { worker_on_main = on_main_thread(); });
  worker.join();
  EXPECT_FALSE(worker_on_main);

  thread_record_t *self = current_thread_record();
  EXPECT_EQ(self->handle, pseudo_thread_handle());
  EXPECT_EQ(self->id, uint32_t(gettid()));
  EXPECT_FALSE(wait_for_handle(self->handle, 0));
  EXPECT_FALSE(close_os_handle(self->handle));
  thread_record_free(self);

  EXPECT_NE(core_process_lock(), nullptr);
  EXPECT_EQ(core_process_lock(), core_process_lock());
}

TEST(ThreadDeathTest, ForkedChildOfTheMainThreadIsOnTheMainThread)
{
  // Asked in the parent first, so the child cannot pass on an answer remembered from before the fork.
  ASSERT_TRUE(on_main_thread());
  EXPECT_EXIT(std::exit(on_main_thread() ? 0 : 9), testing::ExitedWithCode(0), "");
}

TEST(ThreadTest, ForkedChildOfAWorkerIsNotOnTheMainThread)
{
  int status = -1;
  std::thread worker([&] {
    if ( on_main_thread() )
      return;
    const pid_t child = fork();
    if ( child == 0 )
      _exit(on_main_thread() ? 9 : 0);
    if ( child > 0 )
      waitpid(child, &status, 0);
  });
  worker.join();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
