// Ordered reader/writer locks: concurrent readers, exclusive writers, and the order checks per thread.
#include "repo/ordered_rwlock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <thread>
#include <vector>

namespace {

TEST(OrderedRwlock, ManyThreadsHoldItSharedAtOnce)
{
  ordered_rwlock_t lock("test", 7);
  constexpr int readers = 4;
  std::barrier all_inside(readers);
  std::atomic<int> inside {0};
  std::atomic<int> most {0};
  std::vector<std::thread> threads;
  for ( int i = 0; i < readers; ++i )
    threads.emplace_back([&] {
      rwlock_guard_t guard(lock, "read", rwlock_mode::shared);
      EXPECT_TRUE(lock.held_by_current_thread());
      EXPECT_FALSE(lock.held_exclusively_by_current_thread());
      const int now = ++inside;
      int seen = most.load();
      while ( now > seen && !most.compare_exchange_weak(seen, now) )
      {
      }
      all_inside.arrive_and_wait(); // every reader holds the lock here at the same time
      --inside;
    });
  for ( std::thread &t : threads )
    t.join();
  EXPECT_EQ(most, readers);
  EXPECT_FALSE(lock.held_by_current_thread());
}

TEST(OrderedRwlock, AWriterWaitsForReadersAndExcludesThem)
{
  ordered_rwlock_t lock("test", 7);
  std::atomic<bool> writer_done {false};
  lock.lock_shared();
  std::thread writer([&] {
    rwlock_guard_t guard(lock, "write", rwlock_mode::exclusive);
    EXPECT_TRUE(lock.held_exclusively_by_current_thread());
    writer_done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(writer_done);
  lock.unlock();
  writer.join();
  EXPECT_TRUE(writer_done);
}

TEST(OrderedRwlock, GuardReleasesOnceEvenAfterAnEarlyRelease)
{
  ordered_rwlock_t lock("test", 7);
  {
    rwlock_guard_t guard(lock, "site", rwlock_mode::exclusive);
    EXPECT_STREQ(guard.site(), "site");
    guard.release();
    EXPECT_FALSE(lock.held_by_current_thread());
    rwlock_guard_t again(lock, "again", rwlock_mode::shared); // free again
  }
  EXPECT_FALSE(lock.held_by_current_thread());
}

TEST(OrderedRwlock, ALowerLevelLockMayBeHeldWhileTakingAHigherOne)
{
  ordered_rwlock_t outer("outer", 3);
  ordered_rwlock_t inner("inner", 7);
  rwlock_guard_t a(outer, "a", rwlock_mode::exclusive);
  rwlock_guard_t b(inner, "b", rwlock_mode::shared);
  EXPECT_TRUE(outer.held_exclusively_by_current_thread());
  EXPECT_TRUE(inner.held_by_current_thread());
}

TEST(OrderedRwlockDeathTest, TakingItAgainOnTheSameThreadIsAnInternalError)
{
  ordered_rwlock_t lock("fslock", 7);
  ordered_rwlock_t same_level("other", 7);
  ordered_rwlock_t lower("lower", 3);
  const struct
  {
    bool first_exclusive;
    ordered_rwlock_t *second;
    bool second_exclusive;
    const char *error;
  } cases[] = {
    {false, &lock, false, "internal error 2386"},   {false, &lock, true, "internal error 2388"},
    {true, &lock, false, "internal error 2386"},    {true, &lock, true, "internal error 2388"},
    {false, &same_level, false, "internal error 2386"}, {false, &lower, true, "internal error 2388"},
  };
  for ( const auto &c : cases )
  {
    EXPECT_EXIT(
      {
        rwlock_guard_t first(lock, "first", c.first_exclusive ? rwlock_mode::exclusive : rwlock_mode::shared);
        rwlock_guard_t second(*c.second, "second", c.second_exclusive ? rwlock_mode::exclusive : rwlock_mode::shared);
      },
      testing::ExitedWithCode(1), c.error);
  }
}

TEST(OrderedRwlockDeathTest, ReleasingALockNotHeldIsAnInternalError)
{
  ordered_rwlock_t lock("fslock", 7);
  EXPECT_EXIT(lock.unlock(), testing::ExitedWithCode(1), "internal error 2390");
}

} // namespace
