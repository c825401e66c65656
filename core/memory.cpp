// Allocation wrappers reporting through std::bad_alloc or a null result with the thread's error code.
#include "core/memory.h"

#include "core/error_state.h"
#include "core/internal_error.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

// Blocks of this many bytes or more are never requested from the allocator.
constexpr uint64_t MAX_BLOCK_BYTES = uint64_t(std::numeric_limits<int64_t>::max());

void *fail_with_enomem()
{
  errno = ENOMEM;
  qerrno_set(1);
  return nullptr;
}

} // namespace

void *alloc_or_throw(int64_t size)
{
  if ( size == 0 )
    throw std::bad_alloc();
  void *block = size < 0 ? fail_with_enomem() : std::malloc(size_t(size));
  if ( block == nullptr )
  {
    qerrno_set(1);
    throw std::bad_alloc();
  }
  return block;
}

void *alloc_or_null(int64_t size)
{
  if ( size == 0 )
    return nullptr;
  if ( size < 0 )
    return fail_with_enomem();
  void *block = std::malloc(size_t(size));
  return block != nullptr ? block : fail_with_enomem();
}

void *alloc_zeroed(int64_t count, int64_t size)
{
  int64_t bytes = 0;
  if ( __builtin_mul_overflow(count, size, &bytes) || bytes < 0 )
    return fail_with_enomem();
  if ( bytes == 0 )
    return nullptr;
  void *block = std::calloc(size_t(count), size_t(size));
  return block != nullptr ? block : fail_with_enomem();
}

void *realloc_or_null(void *block, int64_t size)
{
  if ( size == 0 )
  {
    std::free(block);
    return nullptr;
  }
  if ( size < 0 )
    return fail_with_enomem();
  void *grown = std::realloc(block, size_t(size));
  return grown != nullptr ? grown : fail_with_enomem();
}

char *duplicate_text(const char *text)
{
  if ( text == nullptr )
    return nullptr;
  const size_t bytes = std::strlen(text) + 1;
  auto *copy = static_cast<char *>(std::malloc(bytes));
  if ( copy == nullptr )
    return static_cast<char *>(fail_with_enomem());
  std::memcpy(copy, text, bytes);
  return copy;
}

void *vector_grow(vector_header_t *header, void *data, uint64_t requested, uint64_t elem_size)
{
  if ( header == nullptr )
    interr(2676);
  const uint64_t doubled = 2 * header->capacity;
  uint64_t capacity = doubled > requested ? doubled : requested;
  uint64_t bytes = 0;
  if ( elem_size != 0 && capacity != 0 && __builtin_mul_overflow(capacity, elem_size, &bytes) )
  {
    // Doubling overflowed: settle for exactly the request when that fits.
    if ( requested >= doubled || __builtin_mul_overflow(requested, elem_size, &bytes) )
      throw std::bad_alloc();
    capacity = requested;
  }
  bytes = capacity * elem_size;
  if ( bytes >= MAX_BLOCK_BYTES )
    throw std::bad_alloc();
  // realloc of 0 bytes would free the block: a request that comes to nothing is a failure.
  void *grown = bytes == 0 ? nullptr : std::realloc(data, size_t(bytes));
  if ( grown == nullptr )
  {
    qerrno_set(1);
    throw std::bad_alloc();
  }
  header->capacity = capacity;
  return grown;
}
