// Random bytes from getrandom(2), retried on interruption and short reads.
#include "platform/random_source.h"

#include <cerrno>
#include <sys/random.h>

bool platform_random_fill(void *buffer, size_t count)
{
  auto *out = static_cast<unsigned char *>(buffer);
  while ( count > 0 )
  {
    const ssize_t got = getrandom(out, count, 0);
    if ( got < 0 )
    {
      if ( errno == EINTR )
        continue;
      return false;
    }
    out += got;
    count -= static_cast<size_t>(got);
  }
  return true;
}
