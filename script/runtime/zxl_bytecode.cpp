// ZXL bytecode: building finished bodies and reading their handler tables.
#include "script/runtime/zxl_bytecode.h"

#include "core/byte_cursor.h"
#include "core/compact_codec.h"
#include "core/internal_error.h"

namespace
{

void patch(byte_buffer_t *body, uint32_t position, uint32_t value, size_t width)
{
  if ( uint64_t(position) + width > body->size() )
    interr(277);
  for ( size_t i = 0; i < width; ++i )
    (*body)[position + i] = uint8_t(value >> (8 * i));
}

} // namespace

void zxl_code_append(byte_buffer_t *body, const void *bytes, size_t count)
{
  bytevec_append(body, bytes, count);
}

void zxl_code_patch8(byte_buffer_t *body, uint32_t position, uint8_t value)
{
  patch(body, position, value, 1);
}

void zxl_code_patch16(byte_buffer_t *body, uint32_t position, uint16_t value)
{
  patch(body, position, value, 2);
}

void zxl_code_patch32(byte_buffer_t *body, uint32_t position, uint32_t value)
{
  patch(body, position, value, 4);
}

bool zxl_code_finish(zxl_function_t *function, const std::vector<zxl_handler_t> &handlers)
{
  byte_buffer_t table;
  if ( !handlers.empty() )
  {
    uint8_t buf[compact_u32_max_size * 4];
    const uint8_t *end = buf + sizeof(buf);
    uint8_t *pos = pack_u32_compact(buf, end, uint32_t(handlers.size()));
    bytevec_append(&table, buf, size_t(pos - buf));
    uint32_t previous_start = 0;
    uint32_t previous_end = 0;
    for ( const zxl_handler_t &h : handlers )
    {
      // Inner handlers come before outer ones, so the deltas may be negative: they wrap as 32-bit values.
      pos = pack_u32_compact(buf, end, h.start - previous_start);
      pos = pack_u32_compact(pos, end, h.end - previous_end);
      pos = pack_u32_compact(pos, end, h.slot_kind);
      pos = pack_u32_compact(pos, end, h.slot_index);
      bytevec_append(&table, buf, size_t(pos - buf));
      previous_start = h.start;
      previous_end = h.end;
    }
    if ( table.size() > 0xFFFF )
      return false;
  }
  function->code_length = uint32_t(function->body.size());
  bytevec_append(&function->body, table.data(), table.size());
  const uint8_t size[2] = {uint8_t(table.size()), uint8_t(table.size() >> 8)};
  bytevec_append(&function->body, size, 2);
  return true;
}

uint32_t zxl_code_length(const byte_buffer_t &body)
{
  const size_t total = body.size();
  if ( total < 3 )
    interr(278);
  const size_t table_size = size_t(body[total - 2]) | size_t(body[total - 1]) << 8;
  if ( table_size >= total - 2 )
    interr(279);
  return uint32_t(total - 2 - table_size);
}

bool zxl_find_handler(const zxl_function_t &function, uint32_t offset, zxl_handler_t *handler)
{
  const byte_buffer_t &body = function.body;
  const size_t total = body.size();
  if ( total < 3 || function.code_length >= total - 2 )
    return false;
  const uint8_t *cursor = body.data() + function.code_length;
  const uint8_t *end = body.data() + total - 2;
  uint32_t count = 0;
  if ( !unpack_u32_compact_checked(&cursor, end, &count) )
    return false;
  uint32_t start = 0;
  uint32_t stop = 0;
  for ( uint32_t i = 0; i < count; ++i )
  {
    uint32_t start_delta = 0, end_delta = 0, kind = 0, index = 0;
    if ( !unpack_u32_compact_checked(&cursor, end, &start_delta) ||
         !unpack_u32_compact_checked(&cursor, end, &end_delta) ||
         !unpack_u32_compact_checked(&cursor, end, &kind) || !unpack_u32_compact_checked(&cursor, end, &index) )
      return false;
    start += start_delta;
    stop += end_delta;
    if ( offset >= start && offset < stop )
    {
      *handler = {start, stop, kind, index};
      return true;
    }
  }
  return false;
}
