// The default message sink: the log.
#include "repo/arkive_messenger.h"

#include "core/ui_callback.h"

void arkive_messenger_t::print(const char *format, va_list va)
{
  log_vprintf(format, va);
}
