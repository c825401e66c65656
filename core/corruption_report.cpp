// Corrupted-structure reports through the log.
#include "core/corruption_report.h"

#include "core/ui_callback.h"

#include <cstdarg>
#include <string>

void report_corruption(const char *format, ...)
{
  // The prefix holds no conversion, so joining it to the caller's format keeps the arguments in step.
  const std::string full = std::string("**DATABASE IS CORRUPTED: ") + (format != nullptr ? format : "");
  va_list va;
  va_start(va, format);
  log_vprintf(full.c_str(), va);
  va_end(va);
}
