// ordered_rwlock_t: a reader/writer lock checked against a lock order, and its scope guard.
#pragma once

#include <atomic>
#include <cstdint>
#include <shared_mutex>

// The lock-order checks are on for the whole run.
constexpr bool lock_order_checks = true;

// A reader/writer lock with a name and a level in the lock order. Many threads may hold it shared at
// once; one may hold it exclusively. A thread may take a lock only while every lock it holds has a lower
// level: taking one again (or one of the same level) would deadlock, and is internal error 2388
// (exclusive) or 2386 (shared) instead. Releasing a lock the thread does not hold is internal error 2390.
class ordered_rwlock_t
{
public:
  ordered_rwlock_t(const char *name, int32_t level) : name_(name), level_(level) {}
  ordered_rwlock_t(const ordered_rwlock_t &) = delete;
  ordered_rwlock_t &operator=(const ordered_rwlock_t &) = delete;

  void lock_exclusive();
  void lock_shared();
  void unlock();
  // Whether the calling thread holds the lock (in any mode / exclusively).
  bool held_by_current_thread() const;
  bool held_exclusively_by_current_thread() const;

  const char *name() const { return name_; }
  int32_t level() const { return level_; }

private:
  void check_order(int32_t error) const;
  void note_held(bool exclusive);

  std::shared_mutex mutex_;
  const char *name_;
  int32_t level_;
  std::atomic<bool> exclusive_ {false};
  std::atomic<int32_t> holders_ {0};
};

enum class rwlock_mode
{
  shared,
  exclusive,
};

// Holds a lock for a scope, taken at a named site; leaving the scope releases it if still held.
class rwlock_guard_t
{
public:
  rwlock_guard_t(ordered_rwlock_t &lock, const char *site, rwlock_mode mode);
  ~rwlock_guard_t() { release(); }
  rwlock_guard_t(const rwlock_guard_t &) = delete;
  rwlock_guard_t &operator=(const rwlock_guard_t &) = delete;

  void release();
  const char *site() const { return site_; }

private:
  ordered_rwlock_t *lock_;
  const char *site_;
};
