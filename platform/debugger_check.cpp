// Debugger detection through the TracerPid line of /proc/self/status.
#include "platform/debugger_check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool platform_debugger_attached()
{
  FILE *status = std::fopen("/proc/self/status", "re");
  if ( status == nullptr )
    return false;
  char line[256];
  bool traced = false;
  static const char key[] = "TracerPid:";
  while ( std::fgets(line, sizeof(line), status) != nullptr )
  {
    if ( std::strncmp(line, key, sizeof(key) - 1) == 0 )
    {
      traced = std::strtol(line + sizeof(key) - 1, nullptr, 10) != 0;
      break;
    }
  }
  std::fclose(status);
  return traced;
}
