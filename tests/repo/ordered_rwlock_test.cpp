// Ordered reader/writer locks: concurrent readers, exclusive writers, and the order checks per thread.
#include "repo/ordered_rwlock.h"

#include "tests/support/test_scale.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <latch>
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

// Readers and writers start together and take the lock over and over. Inside, a writer must find no reader
// and no other writer, and a reader no writer; the writers' plain counter loses no increment only when they
// exclude each other.
TEST(OrderedRwlock, AWriterWaitsForReadersAndExcludesThem)
{
  ordered_rwlock_t lock("test", 7);
  constexpr int writers = 2;
  constexpr int readers = 3;
  const int rounds = int(scaled_for_sanitizers(3000));
  std::latch start(writers + readers);
  std::atomic<int> readers_inside {0};
  std::atomic<int> writers_inside {0};
  std::atomic<int> intrusions {0};
  int64_t written = 0; // changed only under the exclusive lock
  std::vector<std::thread> threads;
  for ( int i = 0; i < writers; ++i )
    threads.emplace_back([&] {
      start.arrive_and_wait();
      for ( int round = 0; round < rounds; ++round )
      {
        rwlock_guard_t guard(lock, "write", rwlock_mode::exclusive);
        intrusions += ++writers_inside != 1;
        intrusions += readers_inside.load() != 0;
        ++written;
        --writers_inside;
      }
    });
  for ( int i = 0; i < readers; ++i )
    threads.emplace_back([&] {
      start.arrive_and_wait();
      for ( int round = 0; round < rounds; ++round )
      {
        rwlock_guard_t guard(lock, "read", rwlock_mode::shared);
        ++readers_inside;
        intrusions += writers_inside.load() != 0;
        --readers_inside;
      }
    });
  for ( std::thread &t : threads )
    t.join();
  EXPECT_EQ(intrusions, 0);
  EXPECT_EQ(written, int64_t(writers) * rounds);
  EXPECT_FALSE(lock.held_by_current_thread());
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
