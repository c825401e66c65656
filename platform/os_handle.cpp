// Semaphores and threads behind os_handle_t, built on the standard thread library.
#include "platform/os_handle.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include <unistd.h>

namespace {

// Waits on cv until ready() holds or the time-out passes; -1 waits without limit.
template <typename Ready>
bool wait_until_ready(std::condition_variable &cv, std::unique_lock<std::mutex> &guard, int64_t timeout_ms,
                      Ready ready)
{
  if ( timeout_ms < 0 )
  {
    cv.wait(guard, ready);
    return true;
  }
  return cv.wait_for(guard, std::chrono::milliseconds(timeout_ms), ready);
}

class semaphore_handle_t final : public os_handle_t
{
public:
  explicit semaphore_handle_t(uint32_t initial) : count_(initial) {}

  bool wait(int64_t timeout_ms) override
  {
    std::unique_lock guard(mutex_);
    if ( !wait_until_ready(cv_, guard, timeout_ms, [this] { return count_ > 0; }) )
      return false;
    --count_;
    return true;
  }

  // Notifies under the lock: a woken waiter may close the handle as soon as it gets the lock.
  bool release()
  {
    std::lock_guard guard(mutex_);
    if ( count_ >= SEMAPHORE_MAX_COUNT )
      return false;
    ++count_;
    cv_.notify_one();
    return true;
  }

private:
  std::mutex mutex_;
  std::condition_variable cv_;
  uint32_t count_; // guarded by mutex_
};

// State shared by the running thread and its handle, so that either may go first.
struct thread_state_t
{
  std::mutex mutex;
  std::condition_variable cv;
  uint32_t thread_id = 0; // guarded by mutex; set by the thread as it starts
  bool finished = false;  // guarded by mutex
};

class thread_handle_t final : public os_handle_t
{
public:
  thread_handle_t() : state_(std::make_shared<thread_state_t>()) {}

  // Closing a handle never stops the thread: a finished thread is joined, a running one detached.
  ~thread_handle_t() override
  {
    if ( !thread_.joinable() )
      return;
    if ( wait(0) )
      thread_.join();
    else
      thread_.detach();
  }

  // Starts the thread and returns its kernel id, once the thread has published it.
  uint32_t start(int (*func)(void *), void *arg)
  {
    thread_ = std::thread([func, arg, state = state_] {
      {
        std::lock_guard guard(state->mutex);
        state->thread_id = platform_current_thread_id();
      }
      state->cv.notify_all();
      func(arg);
      {
        std::lock_guard guard(state->mutex);
        state->finished = true;
      }
      state->cv.notify_all();
    });
    std::unique_lock guard(state_->mutex);
    state_->cv.wait(guard, [this] { return state_->thread_id != 0; });
    return state_->thread_id;
  }

  bool wait(int64_t timeout_ms) override
  {
    std::unique_lock guard(state_->mutex);
    return wait_until_ready(state_->cv, guard, timeout_ms, [this] { return state_->finished; });
  }

private:
  std::thread thread_;
  std::shared_ptr<thread_state_t> state_;
};

} // namespace

os_handle_t *platform_semaphore_create(uint32_t initial_count)
{
  if ( initial_count > SEMAPHORE_MAX_COUNT )
  {
    errno = EINVAL;
    return nullptr;
  }
  return new (std::nothrow) semaphore_handle_t(initial_count);
}

bool platform_semaphore_release(os_handle_t *handle)
{
  auto *sem = dynamic_cast<semaphore_handle_t *>(handle);
  return sem != nullptr && sem->release();
}

os_handle_t *platform_thread_start(int (*func)(void *), void *arg, uint32_t *thread_id)
{
  try
  {
    auto handle = std::make_unique<thread_handle_t>();
    const uint32_t tid = handle->start(func, arg);
    if ( thread_id != nullptr )
      *thread_id = tid;
    return handle.release();
  }
  catch ( const std::system_error &e )
  {
    errno = e.code().value() != 0 ? e.code().value() : EAGAIN;
    return nullptr;
  }
  catch ( const std::bad_alloc & )
  {
    errno = ENOMEM;
    return nullptr;
  }
}

uint32_t platform_current_thread_id()
{
  return static_cast<uint32_t>(gettid());
}
