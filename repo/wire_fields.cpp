// Writers and checked readers of the packet field encodings.
#include "repo/wire_fields.h"

#include "core/byte_cursor.h"
#include "core/compact_codec.h"
#include "core/internal_error.h"

#include <cstring>

void wire_put_bytes(byte_buffer_t &out, const void *data, size_t size)
{
  bytevec_append(&out, data, size);
}

void wire_put_u32(byte_buffer_t &out, uint32_t value)
{
  uint8_t bytes[compact_u32_max_size];
  const uint8_t *end = pack_u32_compact(bytes, bytes + sizeof(bytes), value);
  wire_put_bytes(out, bytes, size_t(end - bytes));
}

void wire_put_u64(byte_buffer_t &out, uint64_t value)
{
  uint8_t bytes[compact_u64_max_size];
  const uint8_t *end = pack_u64_compact(bytes, bytes + sizeof(bytes), value);
  wire_put_bytes(out, bytes, size_t(end - bytes));
}

void wire_put_byte(byte_buffer_t &out, uint8_t value)
{
  out.push_back(value);
}

void wire_put_string(byte_buffer_t &out, const qstring &text)
{
  // Only the bytes before the first NUL travel: the NUL ends the field on the wire.
  const char *s = text.c_str();
  wire_put_bytes(out, s, std::strlen(s) + 1);
}

void wire_put_blob(byte_buffer_t &out, const byte_buffer_t &blob)
{
  if ( blob.size() > 0xFFFFFFFFu )
    interr(5);
  wire_put_u32(out, uint32_t(blob.size()));
  wire_put_bytes(out, blob.data(), blob.size());
}

bool wire_reader_t::read_u32_long(uint32_t &value)
{
  const uint8_t *p = pos_;
  if ( !unpack_u32_compact_checked(&p, pos_ + left_, &value) )
    return false;
  advance(size_t(p - pos_));
  return true;
}

bool wire_reader_t::operator()(qstring &text)
{
  if ( left_ == 0 )
    return false;
  const void *nul = std::memchr(pos_, 0, left_);
  if ( nul == nullptr )
    return false;
  const size_t n = size_t(static_cast<const uint8_t *>(nul) - pos_);
  text.assign(reinterpret_cast<const char *>(pos_), n);
  advance(n + 1);
  return true;
}

bool wire_reader_t::operator()(uint8_t (&md5)[16])
{
  if ( left_ < 16 )
    return false;
  std::memcpy(md5, pos_, 16);
  advance(16);
  return true;
}

bool wire_reader_t::operator()(wire_blob_ref_t<byte_buffer_t> field)
{
  if ( left_ == 0 )
    return true;  // the count itself is missing: an empty blob
  uint32_t count;
  if ( !read_u32(count) || count > left_ )
    return false;
  wire_put_bytes(field.value, pos_, count);
  advance(count);
  return true;
}
