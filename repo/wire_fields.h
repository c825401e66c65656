// Field encodings of packet bodies and wire records, and the visitors that write and check-read them.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

// A body or record lists its fields once, in wire order, as a static template
//   template<class Self, class V> static bool wire_fields(Self &self, V &v)
//   { return v(self.name) && v(self.number) && v(wire_plus_one(self.size)); }
// and the visitors below turn that list into the writer, the checked reader and the smallest encoded size.
// The C++ type of a field chooses its encoding:
//   qstring          string: the text up to its first NUL, then one NUL
//   int32_t/uint32_t compact 32-bit (signed values as their two's complement)
//   uint64_t         compact 64-bit: low half, then high half, each compact 32-bit
//   wire_plus_one()  compact 64-bit of the value plus one (all ones travels as 0)
//   uint8_t          one raw byte
//   bool             flag: compact 32-bit 0 or 1; any non-zero value reads as true
//   uint8_t[16]      MD5 digest: 16 raw bytes
//   wire_blob()      blob: compact 32-bit count, then the bytes
//   qvector<X>       list: compact 32-bit count, then each element
//   a record type    its own wire_fields, inline

template<class T>
struct wire_plus_one_ref_t
{
  T &value;
};
template<class T>
struct wire_blob_ref_t
{
  T &value;
};
template<class T>
wire_plus_one_ref_t<T> wire_plus_one(T &value)
{
  return {value};
}
template<class T>
wire_blob_ref_t<T> wire_blob(T &value)
{
  return {value};
}

//--------------------------------------------------------------------------
// Low-level field writers: each appends one encoded field to the buffer.
void wire_put_u32(byte_buffer_t &out, uint32_t value);
void wire_put_u64(byte_buffer_t &out, uint64_t value);
void wire_put_byte(byte_buffer_t &out, uint8_t value);
void wire_put_bytes(byte_buffer_t &out, const void *data, size_t size);
// Writes the text up to its first NUL byte, then one NUL.
void wire_put_string(byte_buffer_t &out, const qstring &text);
// A blob of more than 0xFFFFFFFF bytes cannot be written: internal error 5.
void wire_put_blob(byte_buffer_t &out, const byte_buffer_t &blob);

//--------------------------------------------------------------------------
// Writes every field it visits; always answers true.
class wire_writer_t
{
public:
  wire_writer_t(byte_buffer_t &out, uint32_t version) : out_(out), version_(version) {}

  bool operator()(const qstring &text) { wire_put_string(out_, text); return true; }
  bool operator()(int32_t value) { wire_put_u32(out_, uint32_t(value)); return true; }
  bool operator()(uint32_t value) { wire_put_u32(out_, value); return true; }
  bool operator()(uint64_t value) { wire_put_u64(out_, value); return true; }
  bool operator()(uint8_t value) { wire_put_byte(out_, value); return true; }
  bool operator()(bool value) { wire_put_u32(out_, value ? 1 : 0); return true; }
  bool operator()(const uint8_t (&md5)[16]) { wire_put_bytes(out_, md5, 16); return true; }
  template<class T>
  bool operator()(wire_plus_one_ref_t<T> field) { wire_put_u64(out_, uint64_t(field.value) + 1); return true; }
  template<class T>
  bool operator()(wire_blob_ref_t<T> field) { wire_put_blob(out_, field.value); return true; }
  template<class T>
  bool operator()(const qvector<T> &list)
  {
    wire_put_u32(out_, uint32_t(list.size()));
    for ( const T &element : list )
      (*this)(element);
    return true;
  }
  template<class R>
  bool operator()(const R &record) requires requires(wire_writer_t &w) { R::wire_fields(record, w); }
  {
    return R::wire_fields(record, *this);
  }

  uint32_t version() const { return version_; }

private:
  byte_buffer_t &out_;
  uint32_t version_;  // passed to every codec; no layout depends on it
};

//--------------------------------------------------------------------------
// Reads the fields it visits from a cursor and a remaining count, both advanced past what was read.
// Every read is checked: a value, string, digest or list that is not complete within the remaining bytes
// fails, and a list count that its elements could not fit in the remaining bytes fails before anything
// is allocated for it. Fields read before a failure keep their values.
class wire_reader_t
{
public:
  wire_reader_t(const uint8_t *&cursor, size_t &remaining, uint32_t version)
    : pos_(cursor), left_(remaining), version_(version) {}

  bool operator()(qstring &text);
  bool operator()(int32_t &value)
  {
    uint32_t v;
    if ( !read_u32(v) )
      return false;
    value = int32_t(v);
    return true;
  }
  bool operator()(uint32_t &value) { return read_u32(value); }
  bool operator()(uint64_t &value) { return read_u64(value); }
  bool operator()(uint8_t &value)
  {
    if ( left_ == 0 )
      return false;
    value = *pos_;
    advance(1);
    return true;
  }
  bool operator()(bool &value)
  {
    uint32_t v;
    if ( !read_u32(v) )
      return false;
    value = v != 0;
    return true;
  }
  bool operator()(uint8_t (&md5)[16]);
  template<class T>
  bool operator()(wire_plus_one_ref_t<T> field)
  {
    uint64_t v;
    if ( !read_u64(v) )
      return false;
    field.value = v - 1;
    return true;
  }
  // A blob whose count is missing at the very end of the body is empty; its bytes are appended.
  bool operator()(wire_blob_ref_t<byte_buffer_t> field);
  template<class T>
  bool operator()(qvector<T> &list);
  template<class R>
  bool operator()(R &record) requires requires(wire_reader_t &r) { R::wire_fields(record, r); }
  {
    return R::wire_fields(record, *this);
  }

  uint32_t version() const { return version_; }
  size_t remaining() const { return left_; }

private:
  void advance(size_t n)
  {
    pos_ += n;
    left_ -= n;
  }
  bool read_u32(uint32_t &value)
  {
    // One-byte values are by far the most common: counts, codes, small numbers.
    if ( left_ != 0 && *pos_ < 0x80 )
    {
      value = *pos_;
      advance(1);
      return true;
    }
    return read_u32_long(value);
  }
  bool read_u32_long(uint32_t &value);
  bool read_u64(uint64_t &value)
  {
    uint32_t low;
    uint32_t high;
    if ( !read_u32(low) || !read_u32(high) )
      return false;
    value = (uint64_t(high) << 32) | low;
    return true;
  }

  const uint8_t *&pos_;
  size_t &left_;
  uint32_t version_;
};

//--------------------------------------------------------------------------
// Sums the smallest encoded size of the fields it visits (an empty list, an empty string, one-byte values).
class wire_min_size_t
{
public:
  bool operator()(const qstring &) { size_ += 1; return true; }
  bool operator()(int32_t) { size_ += 1; return true; }
  bool operator()(uint32_t) { size_ += 1; return true; }
  bool operator()(uint64_t) { size_ += 2; return true; }
  bool operator()(uint8_t) { size_ += 1; return true; }
  bool operator()(bool) { size_ += 1; return true; }
  bool operator()(const uint8_t (&)[16]) { size_ += 16; return true; }
  template<class T>
  bool operator()(wire_plus_one_ref_t<T>) { size_ += 2; return true; }
  template<class T>
  bool operator()(wire_blob_ref_t<T>) { return true; }  // a missing count at the end reads as empty
  template<class T>
  bool operator()(const qvector<T> &) { size_ += 1; return true; }
  template<class R>
  bool operator()(const R &record) requires requires(wire_min_size_t &m) { R::wire_fields(record, m); }
  {
    return R::wire_fields(record, *this);
  }

  size_t size() const { return size_; }

private:
  size_t size_ = 0;
};

// Smallest number of bytes that one element of type T takes on the wire; never 0 for a list element.
template<class T>
size_t wire_min_size()
{
  static const size_t size = [] {
    wire_min_size_t m;
    const T sample{};
    m(sample);
    return size_t(m.size());
  }();
  return size;
}

template<class T>
bool wire_reader_t::operator()(qvector<T> &list)
{
  uint32_t count;
  if ( !read_u32(count) )
    return false;
  // Every element takes at least its smallest encoding, so a count beyond that is refused before sizing.
  if ( count > left_ / wire_min_size<T>() )
    return false;
  // An element may take far more memory than bytes on the wire: the list grows as elements are read, and
  // what is set aside beforehand never exceeds the bytes left.
  list.clear();
  list.reserve(std::min<size_t>(count, left_ / sizeof(T)));
  for ( uint32_t i = 0; i < count; ++i )
    if ( !(*this)(list.emplace_back()) )
      return false;
  return true;
}

//--------------------------------------------------------------------------
// Public writer and reader of one record (or any field type) with the protocol version.
template<class T>
void write_wire(const T &value, byte_buffer_t &out, uint32_t version)
{
  wire_writer_t w(out, version);
  w(value);
}

template<class T>
bool read_wire(T &value, const uint8_t *&cursor, size_t &remaining, uint32_t version)
{
  wire_reader_t r(cursor, remaining, version);
  return r(value);
}
