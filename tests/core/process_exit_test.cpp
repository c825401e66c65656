// Exit handlers (once each, last first, surviving throws) and the exit entry on and off the main thread.
#include "core/process_exit.h"

#include "core/threads.h"
#include "tests/support/recording_ui_callback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <thread>

namespace {

template <char Mark>
void say()
{
  std::fputc(Mark, stderr);
  std::fflush(stderr);
}

void throws()
{
  throw std::runtime_error("handler failed");
}

void registers_another()
{
  say<'r'>();
  add_exit_handler(&say<'n'>);
}

TEST(ExitDeathTest, WithoutHandlersExitsAtOnceWithCode)
{
  EXPECT_EXIT(exit_process(7), testing::ExitedWithCode(7), "");
}

TEST(ExitDeathTest, HandlersRunOnceEachLastFirst)
{
  EXPECT_EXIT(
    {
      add_exit_handler(&say<'1'>);
      add_exit_handler(&say<'2'>);
      add_exit_handler(&say<'3'>);
      add_exit_handler(&say<'1'>);
      exit_process(3);
    },
    testing::ExitedWithCode(3), "^321$");
}

TEST(ExitDeathTest, ThrowingHandlerDoesNotStopTheOthers)
{
  EXPECT_EXIT(
    {
      add_exit_handler(&say<'a'>);
      add_exit_handler(&throws);
      add_exit_handler(&say<'c'>);
      exit_process(4);
    },
    testing::ExitedWithCode(4), "^ca$");
}

TEST(ExitDeathTest, HandlerRegisteredWhileRunningRunsToo)
{
  EXPECT_EXIT(
    {
      add_exit_handler(&say<'a'>);
      add_exit_handler(&registers_another);
      exit_process(5);
    },
    testing::ExitedWithCode(5), "^rna$");
}

TEST(ExitDeathTest, WorkerThreadHandsExitToTheGuiThread)
{
  EXPECT_EXIT(
    {
      recording_ui_callback_t ui;
      add_exit_handler(&say<'w'>);
      std::thread worker([] { exit_process(6); });
      worker.join();
    },
    testing::ExitedWithCode(6), "^w$");
}

TEST(ExitDeathTest, AfterHandlersRanTheExitKeepsItsCode)
{
  EXPECT_EXIT(
    {
      add_exit_handler(&say<'x'>);
      exit_request_t request(0, false);
      request.run();
      exit_process(8);
    },
    testing::ExitedWithCode(8), "^x$");
}

TEST(ExitDeathTest, WorkerWithoutGuiThreadEndsThroughInternalError546)
{
  EXPECT_EXIT(
    {
      add_exit_handler(&say<'h'>);
      std::thread worker([] { exit_process(6); });
      worker.join();
    },
    testing::ExitedWithCode(1), "Oops! internal error 546 occurred\\.");
}

TEST(ExitDeathTest, FatalErrorRunsHandlersAndExitsWithOne)
{
  EXPECT_EXIT(
    {
      add_exit_handler(&say<'h'>);
      fatal_printf("bad");
    },
    testing::ExitedWithCode(1), "^bad\nh$");
}

std::atomic<int> counted_runs {0};
template <int N>
void counted()
{
  ++counted_runs;
}

template <int... N>
void register_all(std::integer_sequence<int, N...>)
{
  (add_exit_handler(&counted<N>), ...);
}

TEST(ExitHandlersTest, ConcurrentRegistrationKeepsEachHandlerOnce)
{
  std::thread threads[4];
  for ( std::thread &t : threads )
    t = std::thread([] { register_all(std::make_integer_sequence<int, 64> {}); });
  for ( std::thread &t : threads )
    t.join();
  exit_request_t request(0, false);
  EXPECT_EQ(request.run(), 0) << "returns when not asked to exit";
  EXPECT_EQ(counted_runs.load(), 64);
  EXPECT_EQ(run_exit_handlers(&request), 0);
  EXPECT_EQ(counted_runs.load(), 64) << "the list was released after the run";
}

struct counting_request_t : exec_request_t
{
  int32_t run() override { return 41; }
};

TEST(ExecRequestTest, DestructorClosesItsSemaphore)
{
  auto *request = new counting_request_t;
  request->semaphore = semaphore_create(nullptr, 0);
  request->stamp = 0x12345678;
  ASSERT_NE(request->semaphore, nullptr);
  EXPECT_EQ(request->run(), 41);
  delete request; // the leak checker of the sanitizer run sees a semaphore left open
}

} // namespace
