// Repository error details.
#include "repo/error_detail.h"

#include "core/error_state.h"
#include "core/qstring.h"
#include "repo/arkive_errors.h"

#include <cerrno>
#include <cstdarg>

int arkive_errno_error(int errno_value, const char *path)
{
  const int value = errno_value == -1 ? errno : errno_value;
  qstring detail;
  if ( path != nullptr )
    format_to_string(&detail, "%s: %s", path, system_error_text(value));
  else
    detail = system_error_text(value);
  error_arg_text(0, detail.c_str());
  return ARKIVE_MESSAGE;
}

int arkive_format_error(int code, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  qstring detail;
  vformat_to_string(&detail, format, va);
  va_end(va);
  error_arg_text(0, detail.empty() ? nullptr : detail.c_str());
  return code;
}
