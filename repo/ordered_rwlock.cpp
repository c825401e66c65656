// Ordered reader/writer locks: the per-thread record of held locks and the order checks.
#include "repo/ordered_rwlock.h"

#include "core/internal_error.h"

#include <algorithm>
#include <vector>

namespace {

struct held_lock_t
{
  const ordered_rwlock_t *lock;
  bool exclusive;
};

// The locks the calling thread holds, in the order it took them. Per thread: other threads' readers do
// not count against this thread's order.
thread_local std::vector<held_lock_t> held_locks;

int32_t current_lock_level()
{
  int32_t level = 0;
  for ( const held_lock_t &held : held_locks )
    level = std::max(level, held.lock->level());
  return level;
}

} // namespace

void ordered_rwlock_t::check_order(int32_t error) const
{
  if ( lock_order_checks && !held_locks.empty() && current_lock_level() >= level_ )
    interr(error);
}

void ordered_rwlock_t::lock_exclusive()
{
  check_order(2388);
  mutex_.lock();
  if ( holders_.load() != 0 )
    interr(2389);
  exclusive_ = true;
  note_held(true);
}

void ordered_rwlock_t::lock_shared()
{
  check_order(2386);
  mutex_.lock_shared();
  if ( exclusive_.load() )
    interr(2387);
  note_held(false);
}

void ordered_rwlock_t::note_held(bool exclusive)
{
  ++holders_;
  held_locks.push_back({this, exclusive});
}

void ordered_rwlock_t::unlock()
{
  const auto it = std::find_if(held_locks.begin(), held_locks.end(),
                               [this](const held_lock_t &held) { return held.lock == this; });
  if ( it == held_locks.end() || holders_.load() <= 0 )
    interr(2390);
  const bool exclusive = it->exclusive;
  held_locks.erase(it);
  --holders_;
  if ( exclusive )
  {
    exclusive_ = false;
    mutex_.unlock();
  }
  else
  {
    mutex_.unlock_shared();
  }
}

bool ordered_rwlock_t::held_by_current_thread() const
{
  return std::any_of(held_locks.begin(), held_locks.end(),
                     [this](const held_lock_t &held) { return held.lock == this; });
}

bool ordered_rwlock_t::held_exclusively_by_current_thread() const
{
  return std::any_of(held_locks.begin(), held_locks.end(),
                     [this](const held_lock_t &held) { return held.lock == this && held.exclusive; });
}

rwlock_guard_t::rwlock_guard_t(ordered_rwlock_t &lock, const char *site, rwlock_mode mode)
  : lock_(&lock), site_(site)
{
  if ( mode == rwlock_mode::exclusive )
    lock_->lock_exclusive();
  else
    lock_->lock_shared();
}

void rwlock_guard_t::release()
{
  if ( lock_ != nullptr )
  {
    lock_->unlock();
    lock_ = nullptr;
  }
}
