// A chooser's saved selection.
#include "views/chooser/chooser_selection.h"

#include "core/byte_cursor.h"
#include "core/compact_codec.h"

void encode_saved_selection(const chooser_selection_t &selection, byte_buffer_t *out)
{
  out->clear();
  const auto put = [out](uint64_t value) {
    uint8_t bytes[compact_u64_max_size];
    const uint8_t *end = pack_u64_compact(bytes, bytes + sizeof(bytes), value);
    bytevec_append(out, bytes, size_t(end - bytes));
  };
  put(selection.rows.size());
  for ( const uint64_t row : selection.rows )
    put(row);
  if ( selection.current != -1 )
    put(uint64_t(selection.current));
}

bool decode_saved_selection(const uint8_t *bytes, size_t size, uint64_t row_count, chooser_selection_t *out)
{
  *out = chooser_selection_t();
  const uint8_t *cursor = bytes;
  const uint8_t *end = bytes + size;
  // Each 64-bit number takes at least two bytes (its two halves).
  constexpr size_t smallest_number = 2;
  uint64_t count = 0;
  if ( size == 0 || !unpack_u64_compact_checked(&cursor, end, &count) || count > size_t(end - cursor) / smallest_number )
    return false;
  chooser_selection_t read;
  read.rows.reserve(size_t(count));
  for ( uint64_t i = 0; i < count; ++i )
  {
    uint64_t row = 0;
    if ( !unpack_u64_compact_checked(&cursor, end, &row) )
      return false;
    if ( row < row_count )
      read.rows.push_back(row);
  }
  if ( cursor != end )
  {
    uint64_t current = 0;
    if ( !unpack_u64_compact_checked(&cursor, end, &current) || cursor != end )
      return false;
    if ( current < row_count )
      read.current = int64_t(current);
  }
  *out = std::move(read);
  return true;
}
