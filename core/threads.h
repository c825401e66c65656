// Threads, recursive locks, semaphores and waits, and the identity of the main thread.
#pragma once

#include "platform/os_handle.h"

#include <cstdint>
#include <mutex>

// A critical section: a lock that its owning thread may enter again (recursive). Heap-allocated and
// used through a pointer; every operation accepts null and then does nothing and answers false.
struct critical_section_t
{
  std::recursive_mutex mutex;
};

// A new lock (allocation failure throws std::bad_alloc).
critical_section_t *lock_create();
bool lock_destroy(critical_section_t *lock);
bool lock_enter(critical_section_t *lock);
bool lock_leave(critical_section_t *lock);

// Holds a lock for a scope: enters it when made, leaves it when it ends (or at release()).
class critical_section_guard_t
{
public:
  explicit critical_section_guard_t(critical_section_t *lock) : lock_(lock) { lock_enter(lock_); }
  ~critical_section_guard_t() { release(); }
  critical_section_guard_t(const critical_section_guard_t &) = delete;
  critical_section_guard_t &operator=(const critical_section_guard_t &) = delete;
  // Leaves the lock now; later calls and the destructor do nothing.
  void release()
  {
    lock_leave(lock_);
    lock_ = nullptr;
  }

private:
  critical_section_t *lock_;
};
void critical_section_guard_release(critical_section_guard_t *guard);

// A counting semaphore (maximum count 0x7FFFFFFF). The name is accepted for the callers' sake; the
// semaphore is private to this process. Null on failure (error code 1).
os_handle_t *semaphore_create(const char *name, uint32_t initial_count);
// Adds one count; true on success.
[[nodiscard]] bool semaphore_release(os_handle_t *handle);
// True when the handle was signalled within timeout_ms milliseconds (-1 = no limit); false on
// time-out, for null and for the pseudo handle of a thread record.
[[nodiscard]] bool wait_for_handle(os_handle_t *handle, int64_t timeout_ms);
// Closes (frees) a handle; false for null and for the pseudo handle.
bool close_os_handle(os_handle_t *handle);

// A thread: its handle (or the pseudo handle, when the record owns none) and its kernel id.
struct thread_record_t
{
  os_handle_t *handle;
  uint32_t id;
};

// The handle value of a record that owns no handle (it stands for "the calling thread").
os_handle_t *pseudo_thread_handle();

// Starts a thread running func(arg) at once; its handle signals when func has returned. Null (error
// code 1) when the thread cannot be created. Free the record with thread_record_free; closing the
// handle never stops the thread.
thread_record_t *thread_start(int (*func)(void *), void *arg);
// Closes the record's handle unless it is the pseudo handle, and frees the record.
void thread_record_free(thread_record_t *record);
// A new record {pseudo handle, id of the calling thread}.
thread_record_t *current_thread_record();
// True on the main thread: the thread that started the program (recorded by a start-up initialiser,
// or by the first of on_main_thread, thread_start and core_process_lock to run). In a child made by
// fork from the main thread, the child's thread is the main thread.
bool on_main_thread();
// The process-wide lock of the environment and directory caches, made with the main-thread record.
critical_section_t *core_process_lock();
