// GUI-thread requests: queueing from any thread, the runner on the GUI thread, and the entry point.
#include "ui/request_queue.h"

#include "core/internal_error.h"
#include "core/threads.h"
#include "ui/app_base.h"
#include "ui/fault_guard.h"
#include "ui/main_window.h"

#include <cstdlib>

int64_t execute_request(exec_request_t *request, int32_t flags, int32_t id)
{
  app_t *app = current_app();
  if ( app == nullptr )
    return -1;
  return app->queue_request(request, flags, id);
}

// ---- Queueing ----------------------------------------------------------------------------------------

int64_t _base_app_mixin_t::queue_request(exec_request_t *request, int32_t flags, int32_t id)
{
  const bool no_wait = (flags & exec_flag_no_wait) != 0;
  // On the GUI thread a waited-for request runs nested, at once: nothing is stamped or queued.
  if ( !no_wait && on_main_thread() )
    return request->run();

  {
    critical_section_guard_t guard(request_queue_lock);
    request->stamp = request_stamp_for(flags);
    if ( intercept_request(request) )
      return no_wait ? -1 : int64_t(request->stamp);
    if ( !no_wait && request->semaphore == nullptr )
    {
      request->semaphore = semaphore_create(nullptr, 0);
      if ( request->semaphore == nullptr )
        std::abort();
    }
    if ( id == 0 )
    {
      // Ids are never 0: after 0xFFFFFFFF comes 1.
      id = int32_t(uint32_t(last_request_id) + 1);
      if ( id == 0 )
        id = 1;
      last_request_id = id;
    }
    append_entry(request, id);
  }
  wake_gui_thread();

  if ( no_wait )
    return id;
  if ( !wait_for_handle(request->semaphore, -1) )
  {
    close_os_handle(request->semaphore);
    request->semaphore = nullptr;
    std::abort();
  }
  return int64_t(request->stamp);
}

void _base_app_mixin_t::wake_gui_thread()
{
  // One posted call serves every request queued before its pass begins (the pass clears the mark
  // first), so a flood of requests does not flood the event queue.
  if ( pass_posted_.exchange(true) )
    return;
  ui_main_window_t *window = app_->main_window();
  if ( window == nullptr || !window->post_exec_requests() )
    pass_posted_.store(false);
}

void _base_app_mixin_t::append_entry(exec_request_t *request, int32_t id)
{
  request_queue.push_back({request, id});
  ++queued_counts_[request];
}

void _base_app_mixin_t::erase_entry(size_t index)
{
  const exec_request_t *request = request_queue[index].request;
  request_queue.erase(request_queue.begin() + std::ptrdiff_t(index));
  if ( request == nullptr )
    return;
  auto found = queued_counts_.find(request);
  if ( found != queued_counts_.end() && --found->second == 0 )
    queued_counts_.erase(found);
}

void _base_app_mixin_t::forget_destroyed_request(exec_request_t *request)
{
  app_t *app = current_app();
  if ( app == nullptr )
    return;
  _base_app_mixin_t &self = *app;
  critical_section_guard_t guard(self.request_queue_lock);
  for ( running_request_t &running : self.running_ )
    if ( running.request == request )
      running.destroyed = true;
  auto found = self.queued_counts_.find(request);
  if ( found == self.queued_counts_.end() )
    return;
  // Emptied in place, not erased: a running pass keeps its index.
  for ( request_queue_entry_t &entry : self.request_queue )
    if ( entry.request == request )
      entry.request = nullptr;
  self.queued_counts_.erase(found);
}

// ---- Hooks -------------------------------------------------------------------------------------------

void _base_app_mixin_t::before_request_batch(bool /*flag*/)
{
}

bool _base_app_mixin_t::intercept_request(exec_request_t * /*request*/)
{
  return false;
}

bool _base_app_mixin_t::may_run_request(exec_request_t * /*request*/, bool /*nested*/)
{
  return true;
}

void _base_app_mixin_t::remove_queued_request(size_t index, bool cancel)
{
  if ( index >= request_queue.size() )
    return;
  exec_request_t *request = request_queue[index].request;
  erase_entry(index);
  if ( !cancel || request == nullptr || !is_request_stamp(request->stamp) )
    return;
  if ( (request->stamp & REQUEST_STAMP_NO_WAIT) != 0 )
  {
    delete request;
    return;
  }
  request->stamp = uint64_t(-1);
  if ( !semaphore_release(request->semaphore) )
    interr(40002);
}

// ---- The runner --------------------------------------------------------------------------------------

void _base_app_mixin_t::answer_waiting(exec_request_t *request, int32_t result)
{
  // A request whose stamp went invalid is its caller's object: it is neither answered nor deleted.
  if ( !is_request_stamp(request->stamp) || request->semaphore == nullptr )
    return;
  request->stamp = uint64_t(int64_t(result));
  // Released outside the queue lock, which the runner holds once: the woken caller destroys its request
  // at once, and the destructor's visit to the queue then finds the lock free.
  os_handle_t *semaphore = request->semaphore;
  lock_leave(request_queue_lock);
  const bool released = semaphore_release(semaphore);
  lock_enter(request_queue_lock);
  if ( !released )
    interr(40002);
}

void _base_app_mixin_t::remove_guarded(size_t index, const exec_request_t *request, bool cancel)
{
  if ( run_guarded([&] { remove_queued_request(index, cancel); }) )
    return;
  // The override faulted: take the entry out ourselves when it is still there.
  if ( index < request_queue.size() && request_queue[index].request == request )
    erase_entry(index);
}

void _base_app_mixin_t::run_queued_requests(bool nested)
{
  pass_posted_.store(false);
  if ( !nested )
    (void)run_guarded([&] { before_request_batch(false); });

  enum class verdict_t { stale, later, run };
  critical_section_guard_t guard(request_queue_lock);
  size_t i = 0;
  while ( i < request_queue.size() ) // the count is read again at every step
  {
    exec_request_t *request = request_queue[i].request;
    verdict_t verdict = verdict_t::stale;
    const bool examined = run_guarded([&] {
      if ( request == nullptr || !is_request_stamp(request->stamp)
           || (request->semaphore == nullptr && (request->stamp & REQUEST_STAMP_NO_WAIT) == 0) )
        verdict = verdict_t::stale;
      else
        verdict = may_run_request(request, nested) ? verdict_t::run : verdict_t::later;
    });
    if ( !examined || verdict == verdict_t::stale )
    {
      // An entry whose examination faulted is cancelled, so that a waiting caller does not wait for
      // ever and a no-wait request is not lost undeleted; a stale one is only dropped.
      remove_guarded(i, request, !examined);
      continue;
    }
    if ( verdict == verdict_t::later )
    {
      ++i;
      continue;
    }

    remove_guarded(i, request, false);
    const bool waiting = (request->stamp & REQUEST_STAMP_NO_WAIT) == 0;
    running_.push_back({request, false});
    lock_leave(request_queue_lock);
    int32_t result = -1;
    const bool ran = run_guarded([&] { result = request->run(); });
    lock_enter(request_queue_lock);
    const bool destroyed = running_.back().destroyed;
    running_.pop_back();
    // A no-wait request deleted itself at the end of its run; a faulted run answers its caller -1.
    if ( waiting && !destroyed )
      answer_waiting(request, ran ? result : -1);
  }
}
