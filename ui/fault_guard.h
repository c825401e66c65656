// The guard around framework steps that must not take the program down when they fault.
#pragma once

#include <exception>
#include <utility>

// Hands a caught fault to the application's exception handler (_base_app_mixin_t::get_exception_handler);
// nothing happens without an application object or handler. A handler that throws is ignored.
void report_guarded_fault(const std::exception_ptr &fault) noexcept;

// Runs `work`; an exception escaping it goes to report_guarded_fault and is swallowed.
// Answers true when the work ended normally, false when it faulted.
template <typename Work>
[[nodiscard]] bool run_guarded(Work &&work) noexcept
{
  try
  {
    std::forward<Work>(work)();
    return true;
  }
  catch ( ... )
  {
    report_guarded_fault(std::current_exception());
    return false;
  }
}
