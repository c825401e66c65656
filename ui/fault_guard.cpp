// The guard around framework steps that must not take the program down when they fault.
#include "ui/fault_guard.h"

#include "ui/app_base.h"
#include "ui/exception_handler.h"

void report_guarded_fault(const std::exception_ptr &fault) noexcept
{
  try
  {
    app_t *app = current_app();
    win32_exception_handler_t *handler = app != nullptr ? app->get_exception_handler() : nullptr;
    if ( handler != nullptr )
      (void)handler->handle(fault);
  }
  catch ( ... )
  {
    // A handler that faults itself must not turn one caught fault into an uncaught one.
  }
}
