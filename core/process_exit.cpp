// Exit handlers and the core's exit entry.
#include "core/process_exit.h"

#include "core/internal_error.h"
#include "core/qvector.h"
#include "core/threads.h"
#include "core/ui_callback.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace {

// The exit lock and the handler list are made by the first registration. The list is read and
// changed only under the lock; handlers are called outside it.
std::once_flag exit_lock_once;
std::atomic<critical_section_t *> exit_lock {nullptr};
qvector<exit_handler_t> *exit_handlers = nullptr; // guarded by exit_lock
std::atomic<bool> exit_reentered {false};

} // namespace

std::atomic<exec_request_destroyed_fn> exec_request_destroyed_hook {nullptr};

exec_request_t::~exec_request_t()
{
  if ( exec_request_destroyed_fn told = exec_request_destroyed_hook.load() )
    told(this);
  close_os_handle(semaphore);
  semaphore = nullptr;
  stamp = 0;
}

int32_t exit_request_t::run()
{
  return run_exit_handlers(this);
}

void add_exit_handler(exit_handler_t handler)
{
  std::call_once(exit_lock_once, [] {
    critical_section_t *lock = nullptr;
    try
    {
      lock = lock_create();
    }
    catch ( const std::bad_alloc & )
    {
    }
    if ( lock == nullptr )
      interr(547);
    exit_lock.store(lock);
  });
  critical_section_guard_t guard(exit_lock.load());
  if ( exit_handlers == nullptr )
    exit_handlers = new qvector<exit_handler_t>;
  for ( exit_handler_t known : *exit_handlers )
    if ( known == handler )
      return;
  exit_handlers->push_back(handler);
}

int32_t run_exit_handlers(exit_request_t *request)
{
  critical_section_t *lock = exit_lock.load();
  for ( ;; )
  {
    exit_handler_t handler = nullptr;
    {
      critical_section_guard_t guard(lock);
      if ( exit_handlers == nullptr || exit_handlers->empty() )
        break;
      handler = exit_handlers->back();
      for ( size_t i = 0; i < exit_handlers->size(); ++i )
      {
        if ( (*exit_handlers)[i] == handler )
        {
          exit_handlers->erase(i);
          break;
        }
      }
    }
    try
    {
      handler();
    }
    catch ( ... )
    {
      // One failing handler must not keep the others from running.
    }
  }
  {
    critical_section_guard_t guard(lock);
    delete exit_handlers;
    exit_handlers = nullptr;
  }
  if ( request != nullptr && request->exit_afterwards )
    std::exit(request->exit_code);
  return 0;
}

void exit_process(int32_t code)
{
  process_exiting.store(true);
  critical_section_t *lock = exit_lock.load();
  if ( lock == nullptr )
    std::exit(code);
  bool have_handlers = false;
  {
    critical_section_guard_t guard(lock);
    have_handlers = exit_handlers != nullptr;
  }
  // Nothing left to run (the handlers already ran): end the process with the code asked for.
  if ( !have_handlers )
    std::exit(code);
  {
    exit_request_t request(code, true);
    if ( on_main_thread() )
      request.run();
    else if ( ui_callback != nullptr )
      ui_callback(ui_code_exec_request, static_cast<exec_request_t *>(&request), int32_t(exec_flag_marked));
  }
  // Reached only when the GUI thread did not run the request.
  if ( !exit_reentered.exchange(true) )
    interr(546);
  std::exit(code);
}
