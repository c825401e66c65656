// The stored visibility of a header view's sections.
#include "ui/header_visibility.h"

#include "core/byte_cursor.h"
#include "core/compact_codec.h"

#include <QHeaderView>

void save_header_sections_visibility(const QHeaderView *header, byte_buffer_t *out)
{
  out->clear();
  if ( header == nullptr )
    return;
  const uint32_t count = uint32_t(header->count());
  uint8_t prefix[1 + compact_u32_max_size];
  prefix[0] = header_visibility_version;
  const uint8_t *end = pack_u32_compact(prefix + 1, prefix + sizeof(prefix), count);
  bytevec_append(out, prefix, size_t(end - prefix));
  const size_t bits_at = out->size();
  bytevec_resize(out, bits_at + (size_t(count) + 7) / 8);
  for ( uint32_t i = 0; i < count; ++i )
    if ( !header->isSectionHidden(int(i)) )
      (*out)[bits_at + i / 8] |= uint8_t(1u << (i % 8));
}

uint32_t restore_header_sections_visibility(QHeaderView *header, const byte_buffer_t &buffer)
{
  if ( header == nullptr || buffer.size() < 1 || buffer[0] != header_visibility_version )
    return 0;
  const uint8_t *cursor = buffer.data() + 1;
  const uint8_t *end = buffer.data() + buffer.size();
  uint32_t count = 0;
  // The count is checked against the bytes present before anything is read for it.
  if ( !unpack_u32_compact_checked(&cursor, end, &count) || size_t(end - cursor) != (size_t(count) + 7) / 8 )
    return 0;
  if ( count == uint32_t(header->count()) )
    for ( uint32_t i = 0; i < count; ++i )
      header->setSectionHidden(int(i), (cursor[i / 8] & (1u << (i % 8))) == 0);
  return count;
}
