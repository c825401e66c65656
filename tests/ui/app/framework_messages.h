// The client's answer to the core's message request, reduced to what the framework does, for tests.
#pragma once

#include "core/ui_callback.h"
#include "ui/message_box.h"
#include "ui/wait_box.h"

#include <cstdarg>

// Installs, for its lifetime, a UI callback that answers request 24 through the framework as the client's
// dispatcher does (a box for kinds 0 to 3, without ending the process after an error; the wait box for kinds
// 9 to 11) and every other request with 0. The previous callback comes back afterwards.
class framework_message_dispatcher_t
{
public:
  framework_message_dispatcher_t() : previous_(ui_callback) { ui_callback = &dispatch; }
  ~framework_message_dispatcher_t() { ui_callback = previous_; }
  framework_message_dispatcher_t(const framework_message_dispatcher_t &) = delete;
  framework_message_dispatcher_t &operator=(const framework_message_dispatcher_t &) = delete;

private:
  static int64_t dispatch(int32_t code, ...)
  {
    if ( code != ui_code_message )
      return 0;
    va_list va;
    va_start(va, code);
    const int32_t kind = va_arg(va, int32_t);
    const char *format = va_arg(va, const char *);
    va_list *args = va_arg(va, va_list *);
    va_end(va);
    if ( !dispatch_message_box_message(kind, format, *args) )
      (void)dispatch_wait_box_message(kind, format, *args);
    return 0;
  }

  ui_callback_t previous_;
};
