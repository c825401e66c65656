// Byte buffer growth and NUL-terminated string reads.
#include "core/byte_cursor.h"

#include <cstring>

void bytevec_append(byte_buffer_t *buf, const void *data, size_t n)
{
  if ( n == 0 )
    return;
  const auto *src = static_cast<const uint8_t *>(data);
  const size_t old = buf->size();
  // The bytes may come from this very buffer, which growing can move.
  if ( old != 0 && src >= buf->begin() && src < buf->end() )
  {
    const size_t offset = size_t(src - buf->begin());
    buf->resize(old + n);
    std::memmove(buf->data() + old, buf->data() + offset, n);
    return;
  }
  buf->append_plain(src, n);
}

void bytevec_resize(byte_buffer_t *buf, size_t n)
{
  buf->resize(n);
}

bool unpack_zstring(qstring *out, const uint8_t **cursor, const uint8_t *end)
{
  const uint8_t *p = *cursor;
  if ( p >= end )
    return false;
  const auto *nul = static_cast<const uint8_t *>(std::memchr(p, 0, size_t(end - p)));
  if ( nul == nullptr )
    return false;
  out->append(reinterpret_cast<const char *>(p), size_t(nul - p));
  *cursor = nul + 1;
  return true;
}
