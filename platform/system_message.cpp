// errno descriptions from the C library, without its "Unknown error" fallback text.
#include "platform/system_message.h"

#include <cstring>

const char *platform_error_description(int code)
{
  return strerrordesc_np(code);
}
