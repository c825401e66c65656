// Locks, semaphores, waits and threads over the platform layer, and the main-thread record.
#include "core/threads.h"

#include "core/error_state.h"

#include <atomic>
#include <mutex>

#include <pthread.h>

namespace {

std::once_flag main_thread_once;
std::atomic<uint32_t> main_thread_id {0};
critical_section_t *process_lock = nullptr; // written once under main_thread_once, never freed

// Set by the forking thread just before fork; its child inherits the value on that same thread.
thread_local bool forking_from_main = false;
// The calling thread's id, read once: asking the system costs a call into the kernel each time. A fork child
// inherits the forking thread's value and replaces it (in_fork_child).
thread_local uint32_t own_thread_id = 0;

uint32_t own_id()
{
  if ( own_thread_id == 0 )
    own_thread_id = platform_current_thread_id();
  return own_thread_id;
}

void before_fork()
{
  forking_from_main = platform_current_thread_id() == main_thread_id.load();
}

void in_fork_child()
{
  own_thread_id = platform_current_thread_id();
  // The child's only thread is the one that forked: it takes over the main thread's role.
  if ( forking_from_main )
    main_thread_id.store(platform_current_thread_id());
}

void record_main_thread()
{
  std::call_once(main_thread_once, [] {
    main_thread_id.store(platform_current_thread_id());
    process_lock = new critical_section_t;
    pthread_atfork(before_fork, nullptr, in_fork_child);
  });
}

// Records the main thread during start-up, on the thread that runs main.
[[maybe_unused]] const bool main_thread_recorded = (record_main_thread(), true);

} // namespace

critical_section_t *lock_create()
{
  return new critical_section_t;
}

bool lock_destroy(critical_section_t *lock)
{
  if ( lock == nullptr )
    return false;
  delete lock;
  return true;
}

bool lock_enter(critical_section_t *lock)
{
  if ( lock == nullptr )
    return false;
  lock->mutex.lock();
  return true;
}

bool lock_leave(critical_section_t *lock)
{
  if ( lock == nullptr )
    return false;
  lock->mutex.unlock();
  return true;
}

void critical_section_guard_release(critical_section_guard_t *guard)
{
  guard->release();
}

os_handle_t *semaphore_create(const char * /*name*/, uint32_t initial_count)
{
  os_handle_t *handle = platform_semaphore_create(initial_count);
  if ( handle == nullptr )
    qerrno_set(1);
  return handle;
}

bool semaphore_release(os_handle_t *handle)
{
  return handle != nullptr && handle != pseudo_thread_handle() && platform_semaphore_release(handle);
}

bool wait_for_handle(os_handle_t *handle, int64_t timeout_ms)
{
  if ( handle == nullptr || handle == pseudo_thread_handle() )
    return false;
  return handle->wait(timeout_ms);
}

bool close_os_handle(os_handle_t *handle)
{
  if ( handle == nullptr || handle == pseudo_thread_handle() )
    return false;
  delete handle;
  return true;
}

os_handle_t *pseudo_thread_handle()
{
  return reinterpret_cast<os_handle_t *>(~uintptr_t(0));
}

thread_record_t *thread_start(int (*func)(void *), void *arg)
{
  record_main_thread();
  auto *record = new thread_record_t {nullptr, 0};
  record->handle = platform_thread_start(func, arg, &record->id);
  if ( record->handle == nullptr )
  {
    delete record;
    qerrno_set(1);
    return nullptr;
  }
  return record;
}

void thread_record_free(thread_record_t *record)
{
  if ( record == nullptr )
    return;
  if ( record->handle != pseudo_thread_handle() )
    close_os_handle(record->handle);
  delete record;
}

thread_record_t *current_thread_record()
{
  return new thread_record_t {pseudo_thread_handle(), platform_current_thread_id()};
}

bool on_main_thread()
{
  record_main_thread();
  return own_id() == main_thread_id.load();
}

critical_section_t *core_process_lock()
{
  record_main_thread();
  return process_lock;
}
