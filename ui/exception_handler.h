// The application's handler of faults that the framework's guards catch.
#pragma once

#include <cstdint>
#include <exception>

// Told about each fault caught by a guard of the framework (a GUI-thread request's run, an action's
// activation, a filtering step); the guarded work then goes on behind its guard. The application
// supplies it through _base_app_mixin_t::get_exception_handler.
class win32_exception_handler_t
{
public:
  virtual ~win32_exception_handler_t() = default;

  // Handles one fault: the exception the guard caught. The guard ignores the answer.
  virtual int32_t handle(const std::exception_ptr &fault) = 0;
};
