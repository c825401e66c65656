// Compact integer writers and readers.
#include "core/compact_codec.h"

#include "core/internal_error.h"

#include <functional>

namespace {

void check_room(const uint8_t *pos, const uint8_t *end)
{
  if ( std::less<const uint8_t *>()(end, pos) )
    interr(1225);
}

// Number of bytes of the value whose first byte is b0.
int compact_u32_size(uint8_t b0)
{
  if ( b0 < 0x80 )
    return 1;
  if ( b0 < 0xC0 )
    return 2;
  if ( b0 < 0xE0 )
    return 4;
  return 5;
}

} // namespace

uint8_t *pack_u16_be(uint8_t *pos, const uint8_t *end, uint16_t value)
{
  check_room(pos, end);
  if ( pos < end )
    *pos++ = uint8_t(value >> 8);
  if ( pos < end )
    *pos++ = uint8_t(value);
  return pos;
}

uint8_t *pack_u32_compact(uint8_t *pos, const uint8_t *end, uint32_t value)
{
  check_room(pos, end);
  if ( value < 0x80 )
  {
    if ( pos < end )
      *pos++ = uint8_t(value);
  }
  else if ( value < 0x4000 )
  {
    if ( pos < end )
      *pos++ = uint8_t(0x80 | (value >> 8));
    if ( pos < end )
      *pos++ = uint8_t(value);
  }
  else if ( value < 0x20000000 )
  {
    if ( pos < end )
      *pos++ = uint8_t(0xC0 | (value >> 24));
    if ( pos < end )
      *pos++ = uint8_t(value >> 16);
    pos = pack_u16_be(pos, end, uint16_t(value));
  }
  else
  {
    if ( pos < end )
      *pos++ = 0xFF;
    pos = pack_u16_be(pos, end, uint16_t(value >> 16));
    pos = pack_u16_be(pos, end, uint16_t(value));
  }
  return pos;
}

uint8_t *pack_u64_compact(uint8_t *pos, const uint8_t *end, uint64_t value)
{
  pos = pack_u32_compact(pos, end, uint32_t(value));
  return pack_u32_compact(pos, end, uint32_t(value >> 32));
}

uint32_t unpack_u32_compact(const uint8_t **cursor, const uint8_t *end)
{
  const uint8_t *p = *cursor;
  if ( p >= end )
    return 0;
  const uint8_t b0 = *p++;
  uint32_t value;
  if ( b0 < 0x80 )
  {
    value = b0;
  }
  else if ( b0 < 0xC0 )
  {
    if ( p < end )
      value = (uint32_t(b0 & 0x3F) << 8) | *p++;
    else
      value = b0;
  }
  else
  {
    // The 4-byte form keeps 6 value bits in its first byte; the 5-byte form carries the value in the
    // four bytes after it. Missing bytes count as 0 and the bytes present keep their positions.
    int shift;
    if ( b0 < 0xE0 )
    {
      if ( p >= end )
      {
        *cursor = p;
        return 0;
      }
      value = uint32_t(b0 & 0x3F) << 24;
      shift = 16;
    }
    else
    {
      value = 0;
      shift = 24;
    }
    for ( ; shift >= 0 && p < end; shift -= 8 )
      value |= uint32_t(*p++) << shift;
  }
  *cursor = p;
  return value;
}

uint64_t unpack_u64_compact(const uint8_t **cursor, const uint8_t *end)
{
  const uint64_t low = unpack_u32_compact(cursor, end);
  const uint64_t high = unpack_u32_compact(cursor, end);
  return (high << 32) | low;
}

bool unpack_u32_compact_checked(const uint8_t **cursor, const uint8_t *end, uint32_t *value)
{
  const uint8_t *p = *cursor;
  if ( p >= end || end - p < compact_u32_size(*p) )
    return false;
  *value = unpack_u32_compact(&p, end);
  *cursor = p;
  return true;
}

bool unpack_u64_compact_checked(const uint8_t **cursor, const uint8_t *end, uint64_t *value)
{
  const uint8_t *p = *cursor;
  uint32_t low;
  uint32_t high;
  if ( !unpack_u32_compact_checked(&p, end, &low) || !unpack_u32_compact_checked(&p, end, &high) )
    return false;
  *value = (uint64_t(high) << 32) | low;
  *cursor = p;
  return true;
}
