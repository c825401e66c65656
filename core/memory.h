// Allocation wrappers and the one growth routine behind every core container.
#pragma once

#include <cstdint>

// Header shared by every growable core container: element pointer, elements in use, elements
// allocated. qstring counts its terminating NUL in `count`.
struct vector_header_t
{
  void *data = nullptr;
  uint64_t count = 0;
  uint64_t capacity = 0;
};

// A new block of size bytes. Size 0, a negative size (errno ENOMEM) or exhausted memory throw
// std::bad_alloc; the latter two also set the thread's error code to 1.
void *alloc_or_throw(int64_t size);

// A new block of size bytes, or null. Size 0 gives null and leaves the error state alone; a negative
// size or exhausted memory give null with errno ENOMEM and error code 1.
void *alloc_or_null(int64_t size);

// A zero-filled block of count * size bytes, or null. A product of 0 gives null without error; an
// overflowing or negative product and exhausted memory give null with errno ENOMEM and error code 1.
void *alloc_zeroed(int64_t count, int64_t size);

// Resizes block to size bytes. Size 0 frees the block and gives null. A negative size or exhausted
// memory give null with error code 1 (errno ENOMEM) and leave the old block valid.
void *realloc_or_null(void *block, int64_t size);

// An allocated copy of a NUL-terminated text (free with free()); null for null. Failure gives null
// with errno ENOMEM and error code 1.
char *duplicate_text(const char *text);

// Grows the buffer of a container to hold at least `requested` elements of elem_size bytes and returns
// the new element pointer (the caller stores it in the header); header->capacity is updated.
// The new capacity is the larger of twice the old one and the request. Impossible sizes and exhausted
// memory throw std::bad_alloc and leave the old buffer as it was (a failed reallocation also sets
// error code 1). A null header is internal error 2676. Blocks come from malloc/realloc.
void *vector_grow(vector_header_t *header, void *data, uint64_t requested, uint64_t elem_size);
