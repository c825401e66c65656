// One waitable handle type for the operating-system objects the core waits on: semaphores and threads.
#pragma once

#include <cstdint>

// A waitable object owned through a pointer. Promises: wait() never blocks longer than asked, and
// destroying the handle never kills the work behind it (a running thread keeps running, detached).
// Other kinds of waitable objects (for example a launched process) derive from it.
struct os_handle_t
{
  virtual ~os_handle_t() = default;
  // True when the object was signalled within timeout_ms milliseconds (-1 waits without limit).
  // A semaphore consumes one count when it signals; a thread stays signalled once it has ended.
  virtual bool wait(int64_t timeout_ms) = 0;
};

// Largest count a semaphore can hold.
constexpr uint32_t SEMAPHORE_MAX_COUNT = 0x7FFFFFFF;

// A counting semaphore with the given initial count (at most SEMAPHORE_MAX_COUNT); null on failure.
os_handle_t *platform_semaphore_create(uint32_t initial_count);

// Adds one count; false when the handle is not a semaphore or the count is already at its maximum.
bool platform_semaphore_release(os_handle_t *handle);

// Starts a thread running func(arg) at once with the default stack size. The handle signals when the
// function has returned. Stores the thread's kernel id in *thread_id. Null (with errno set) on failure.
os_handle_t *platform_thread_start(int (*func)(void *), void *arg, uint32_t *thread_id);

// Kernel id of the calling thread.
uint32_t platform_current_thread_id();
