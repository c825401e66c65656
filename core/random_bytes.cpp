// Cryptographic random bytes from the platform's source.
#include "core/random_bytes.h"

#include "platform/random_source.h"

bool random_bytes(void *buffer, size_t count)
{
  return platform_random_fill(buffer, count);
}
