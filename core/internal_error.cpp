// Internal errors by number and the fatal-error path.
#include "core/internal_error.h"

#include "core/error_state.h"
#include "core/printf_format.h"
#include "core/process_exit.h"
#include "core/ui_callback.h"

#include "platform/debugger_check.h"

#include <csignal>
#include <cstdio>

bool debugger_present = platform_debugger_attached();
std::atomic<bool> process_exiting {false};
std::atomic<uint32_t> fatal_error_count {0};

void interr(int32_t number)
{
  // An attached debugger stops here, next to the place that detected the fault.
  if ( debugger_present )
    std::raise(SIGTRAP);
  if ( current_error_state().interr_throws == 0 )
    fatal_printf("Oops! internal error %d occurred.", number);
  throw interr_exc_t(number);
}

uint8_t set_interr_throws(uint8_t flag)
{
  uint8_t &slot = current_error_state().interr_throws;
  const uint8_t previous = slot;
  slot = flag;
  return previous;
}

uint8_t interr_throws()
{
  return current_error_state().interr_throws;
}

void fatal_error(const char *format, va_list va)
{
  if ( format != nullptr )
  {
    va_list_copy_t copy(va);
    if ( ui_callback != nullptr )
    {
      ui_callback(ui_code_message, int32_t(msg_kind_fatal), format, &copy.list);
    }
    else
    {
      stderr_vprintf(format, copy.list);
      std::fputc('\n', stderr);
      std::fflush(stderr);
    }
  }
  ++fatal_error_count;
  exit_process(1);
}

void fatal_printf(const char *format, ...)
{
  va_list va;
  va_start(va, format);
  fatal_error(format, va);
}
