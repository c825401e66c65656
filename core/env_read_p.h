// Environment reads of the file and directory code, under the core's process lock.
#pragma once

#include "core/qstring.h"
#include "core/threads.h"

#include <cstdlib>

// True and the value of the variable (an empty value counts); a missing variable leaves out alone.
inline bool read_env_text(const char *name, qstring *out)
{
  critical_section_guard_t guard(core_process_lock());
  const char *value = std::getenv(name);
  if ( value == nullptr )
    return false;
  *out = value;
  return true;
}
