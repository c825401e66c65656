// The bytes of heap memory the process holds right now, for tests that bound what an input may make it take.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's allocator statistics (its interface header ships with clang only).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

// Bytes handed out by the allocator and not yet freed (small blocks and mapped ones alike).
inline size_t heap_in_use()
{
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}
