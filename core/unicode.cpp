// Unicode property lookup, strict UTF-8 decoding and the UTF-8/UTF-16 conversions.
#include "core/unicode.h"

#include <algorithm>
#include <cstring>

#include "core/internal_error.h"
#include "core/unicode_table_p.h"

namespace
{

inline bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Decodes the sequence at p, of which at most `avail` bytes may be read (a NUL byte ends a sequence early, so
// NUL-terminated text may pass SIZE_MAX). Returns its length and stores the code point, or returns 0 when the
// sequence is malformed.
inline size_t decode(const unsigned char *p, size_t avail, uint32_t *cp)
{
  const uint32_t b0 = p[0];
  if ( b0 < 0x80 )
  {
    *cp = b0;
    return 1;
  }
  if ( b0 < 0xC2 )              // a continuation byte, or a lead whose value would be below 0x80
    return 0;
  if ( b0 < 0xE0 )
  {
    if ( avail < 2 || !is_continuation(p[1]) )
      return 0;
    *cp = ((b0 & 0x1F) << 6) | (p[1] & 0x3F);
    return 2;
  }
  if ( b0 < 0xF0 )
  {
    if ( avail < 3 || !is_continuation(p[1]) || !is_continuation(p[2]) )
      return 0;
    const uint32_t v = ((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    if ( v < 0x800 )
      return 0;
    *cp = v;
    return 3;
  }
  if ( b0 < 0xF5 )              // F5..F7 would always lie above 0x10FFFF
  {
    if ( avail < 4 || !is_continuation(p[1]) || !is_continuation(p[2]) || !is_continuation(p[3]) )
      return 0;
    const uint32_t v = ((b0 & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
    if ( v < 0x10000 || v > 0x10FFFF )
      return 0;
    *cp = v;
    return 4;
  }
  return 0;
}

inline const unsigned char *ubytes(const char *p) { return reinterpret_cast<const unsigned char *>(p); }

// Eight bytes at p hold no byte of 0x80 or above.
inline bool ascii8(const unsigned char *p)
{
  uint64_t w;
  memcpy(&w, p, sizeof(w));
  return (w & 0x8080808080808080ULL) == 0;
}

} // namespace

//--------------------------------------------------------------------------
uint32_t unicode_properties(uint32_t cp)
{
  using namespace unicode_detail;
  if ( cp < 128 )
    return property_words[cp];
  if ( cp > 0x10FFFF )
    return 0;
  // The last record whose range starts at or below cp; the first record starts at 0, so there is one.
  const property_range_t *r = std::upper_bound(
          property_ranges, property_ranges + property_range_count, cp,
          [](uint32_t c, const property_range_t &rec) { return c < rec.first; }) - 1;
  const size_t idx = r->flag != 0 ? r->index : r->index + (cp - r->first);
  if ( idx >= property_word_count )
    interr(1519);
  return property_words[idx];
}

//--------------------------------------------------------------------------
bool is_printable_char(uint32_t cp)
{
  const uint32_t props = unicode_properties(cp);
  const uint32_t cat = unicode_category(props);
  if ( cat == UCAT_UNASSIGNED || cat == UCAT_CC || cat == UCAT_CS )
    return false;
  const uint32_t block = unicode_block(props);
  if ( block == UBLOCK_SPECIALS || block == UBLOCK_TAGS )
    return false;
  switch ( cp )
  {
    case 0x061C: case 0x200E: case 0x200F:
    case 0x202A: case 0x202B: case 0x202C: case 0x202D: case 0x202E:
    case 0x2028: case 0x2029:
      return false;
    default:
      return true;
  }
}

//--------------------------------------------------------------------------
uint32_t utf8_next_char(const char **cursor)
{
  uint32_t cp = 0;
  const size_t n = decode(ubytes(*cursor), SIZE_MAX, &cp);
  if ( n == 0 )
    return bad_code_point;
  if ( cp != 0 )
    *cursor += n;
  return cp;
}

//--------------------------------------------------------------------------
bool utf8_prev_char(uint32_t *out, const char **cursor, const char *start)
{
  if ( out != nullptr )
    *out = bad_code_point;
  const char *end = *cursor;
  if ( end <= start )
    return false;
  // Back over at most three continuation bytes to the lead byte.
  const char *lead = end - 1;
  while ( lead > start && end - lead < 4 && is_continuation(static_cast<unsigned char>(*lead)) )
    --lead;
  uint32_t cp = 0;
  if ( decode(ubytes(lead), end - lead, &cp) != size_t(end - lead) )
    return false;
  *cursor = lead;
  if ( out != nullptr )
    *out = cp;
  return true;
}

//--------------------------------------------------------------------------
size_t utf8_count_chars(const char *text)
{
  const unsigned char *p = ubytes(text);
  size_t count = 0;
  while ( *p != 0 )
  {
    uint32_t cp = 0;
    const size_t n = decode(p, SIZE_MAX, &cp);
    p += n == 0 ? 1 : n;
    ++count;
  }
  return count;
}

//--------------------------------------------------------------------------
size_t utf8_skip_chars(const char **cursor, size_t n)
{
  const unsigned char *p = ubytes(*cursor);
  for ( ; n > 0 && *p != 0; --n )
  {
    uint32_t cp = 0;
    const size_t len = decode(p, SIZE_MAX, &cp);
    p += len == 0 ? 1 : len;
  }
  *cursor = reinterpret_cast<const char *>(p);
  return n;
}

//--------------------------------------------------------------------------
bool copy_utf8_bounded(char *buf, const char *text, ptrdiff_t size)
{
  if ( size < 0 )
    interr(1225);
  if ( size == 0 )
    interr(1538);
  const size_t limit = size_t(size);
  const size_t len = strnlen(text, limit);
  if ( len < limit )
  {
    memcpy(buf, text, len + 1);
    return true;
  }
  const size_t end = limit - 1;         // where the terminator goes
  memcpy(buf, text, end);
  buf[end] = '\0';
  if ( end > 0 && static_cast<unsigned char>(buf[end - 1]) >= 0x80 )
  {
    size_t lead = end - 1;
    const size_t floor = end > 4 ? end - 4 : 0;
    while ( lead > floor && is_continuation(static_cast<unsigned char>(buf[lead])) )
      --lead;
    uint32_t cp = 0;
    if ( decode(ubytes(buf + lead), end - lead, &cp) == 0 )
      buf[lead] = '\0';
  }
  return false;
}

//--------------------------------------------------------------------------
size_t wide_length(const char16_t *text)
{
  return std::char_traits<char16_t>::length(text);
}

//--------------------------------------------------------------------------
bool utf16_to_utf8(qstring *out, const char16_t *in, ptrdiff_t count)
{
  if ( out == nullptr || in == nullptr )
    return false;
  const size_t n = count < 0 ? wide_length(in) : size_t(count);
  out->reserve(n > 0 ? n : 16);
  out->clear();
  char buf[256];
  size_t used = 0;
  bool ok = true;
  for ( size_t i = 0; i < n; ++i )
  {
    if ( used > sizeof(buf) - 4 )
    {
      out->append(buf, used);
      used = 0;
    }
    const uint32_t u = in[i];
    if ( u < 0x80 )
    {
      buf[used++] = char(u);
    }
    else if ( u < 0x800 )
    {
      buf[used++] = char(0xC0 | (u >> 6));
      buf[used++] = char(0x80 | (u & 0x3F));
    }
    else if ( u < 0xD800 || u > 0xDFFF )
    {
      buf[used++] = char(0xE0 | (u >> 12));
      buf[used++] = char(0x80 | ((u >> 6) & 0x3F));
      buf[used++] = char(0x80 | (u & 0x3F));
    }
    else if ( u <= 0xDBFF && i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF )
    {
      const uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (in[++i] - 0xDC00);
      buf[used++] = char(0xF0 | (cp >> 18));
      buf[used++] = char(0x80 | ((cp >> 12) & 0x3F));
      buf[used++] = char(0x80 | ((cp >> 6) & 0x3F));
      buf[used++] = char(0x80 | (cp & 0x3F));
    }
    else
    {
      ok = false;
      break;
    }
  }
  out->append(buf, used);
  return ok;
}

//--------------------------------------------------------------------------
bool utf8_to_utf16(wide_string_t *out, const char *in, ptrdiff_t count)
{
  if ( out == nullptr || in == nullptr )
    return false;
  const size_t n = count < 0 ? strlen(in) : size_t(count);
  // Never more units than bytes, plus the 0 unit; the surplus is cut off at the end.
  out->clear();
  out->resize(n + 1);
  char16_t *const base = out->data();
  char16_t *dst = base;
  const unsigned char *p = ubytes(in);
  const unsigned char *const end = p + n;
  bool ok = true;
  while ( p < end )
  {
    if ( end - p >= 8 && ascii8(p) )
    {
      for ( int k = 0; k < 8; ++k )
        dst[k] = p[k];
      dst += 8;
      p += 8;
      continue;
    }
    uint32_t cp = 0;
    const size_t len = decode(p, end - p, &cp);
    if ( len == 0 )
    {
      ok = false;
      break;
    }
    p += len;
    if ( cp < 0x10000 )
    {
      *dst++ = char16_t(cp);
    }
    else
    {
      cp -= 0x10000;
      *dst++ = char16_t(0xD800 + (cp >> 10));
      *dst++ = char16_t(0xDC00 + (cp & 0x3FF));
    }
  }
  *dst++ = 0;
  out->truncate(size_t(dst - base));
  return ok;
}
