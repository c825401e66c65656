// Backslash escaping and unescaping, bounded copies and small text operations.
#include "core/text_utils.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/file_ops.h"
#include "core/internal_error.h"
#include "core/unicode.h"
#include "platform/hex_digits.h"

namespace
{

// The escape letter of a character of the table, or 0 when it has none.
inline char escape_letter(uint32_t c)
{
  switch ( c )
  {
    case 7:    return 'a';
    case 8:    return 'b';
    case 9:    return 't';
    case 10:   return 'n';
    case 11:   return 'v';
    case 12:   return 'f';
    case 13:   return 'r';
    case '"':  return '"';
    case '\\': return '\\';
    default:   return 0;
  }
}

// Length of the valid UTF-8 sequence at p within `avail` bytes, with its code point; 0 when there is none.
size_t sequence_at(const char *p, size_t avail, uint32_t *cp)
{
  // utf8_next_char reads only up to the first byte that cannot continue a sequence; copy a sequence cut by
  // `avail` into a terminated scratch so that it never looks past the counted input.
  char scratch[5] = {};
  const char *src = p;
  if ( avail < 4 )
  {
    memcpy(scratch, p, avail);
    src = scratch;
  }
  const char *q = src;
  *cp = utf8_next_char(&q);
  if ( *cp == bad_code_point )
    return 0;
  return q == src ? 1 : size_t(q - src);     // a NUL byte inside counted text is a code point of one byte
}

} // namespace

//--------------------------------------------------------------------------
void append_escaped(qstring *out, const char *text, ptrdiff_t len, ptrdiff_t limit)
{
  const size_t n = len < 0 ? strlen(text) : size_t(len);
  out->reserve(out->stored_length() + std::max<size_t>(n, limit > 0 ? size_t(limit) : 0) + 16);
  size_t out_len = out->size();
  const char *p = text;
  const char *const end = text + n;
  while ( p < end )
  {
    char piece[16];            // a whole escape, or the bytes of one printable character
    size_t piece_len = 0;
    uint32_t cp = 0;
    size_t seq = sequence_at(p, end - p, &cp);
    const char letter = seq != 0 ? escape_letter(cp) : 0;
    if ( letter != 0 )
    {
      piece[piece_len++] = '\\';
      piece[piece_len++] = letter;
    }
    else if ( seq != 0 && is_printable_char(cp) )
    {
      memcpy(piece, p, seq);
      piece_len = seq;
    }
    else
    {
      if ( seq == 0 )
        seq = 1;
      for ( size_t i = 0; i < seq; ++i )
      {
        const unsigned char b = static_cast<unsigned char>(p[i]);
        piece[piece_len++] = '\\';
        piece[piece_len++] = 'x';
        piece[piece_len++] = upper_hex_digits[b >> 4];
        piece[piece_len++] = upper_hex_digits[b & 15];
      }
    }
    if ( limit > 0 && out_len + piece_len >= size_t(limit) )
      break;
    out->append(piece, piece_len);
    out_len += piece_len;
    p += seq;
  }
}

//--------------------------------------------------------------------------
void escape_text(qstring *out, const char *text, ptrdiff_t len)
{
  out->clear();
  append_escaped(out, text, len, -1);
}

//--------------------------------------------------------------------------
void escape_to_buffer(char *buf, const char *text, ptrdiff_t size)
{
  if ( size < 0 )
    interr(1225);
  if ( size == 0 )
    return;
  qstring tmp;
  append_escaped(&tmp, text, -1, size);
  copy_bounded(buf, tmp.c_str(), size);
}

//--------------------------------------------------------------------------
uint32_t unescape_char(const char **cursor)
{
  const char *p = *cursor;
  const uint32_t c = utf8_next_char(&p);
  if ( c == bad_code_point )
  {
    ++*cursor;
    return 0;
  }
  *cursor = p;
  if ( c > 255 )
    return '\\';
  if ( c >= '0' && c <= '7' )
  {
    uint32_t v = c - '0';
    for ( int i = 0; i < 2 && **cursor >= '0' && **cursor <= '7'; ++i )
      v = v * 8 + (*(*cursor)++ - '0');
    return v;
  }
  switch ( c )
  {
    case 'a': return 7;
    case 'b': return 8;
    case 'f': return 12;
    case 'n': return 10;
    case 'r': return 13;
    case 't': return 9;
    case 'v': return 11;
    case 'x':
    {
      int d = hex_digit_value(static_cast<unsigned char>(**cursor));
      if ( d < 0 )
        return 'x';
      uint32_t v = uint32_t(d);
      ++*cursor;
      d = hex_digit_value(static_cast<unsigned char>(**cursor));
      if ( d >= 0 )
      {
        v = v * 16 + uint32_t(d);
        ++*cursor;
      }
      return v;
    }
    default:
      return c;
  }
}

//--------------------------------------------------------------------------
char *copy_bounded_end(char *dst, const char *src, ptrdiff_t size)
{
  if ( size < 0 )
    interr(1225);
  if ( size == 0 )
    interr(520);
  const size_t n = strnlen(src, size_t(size) - 1);
  memmove(dst, src, n);
  dst[n] = '\0';
  return dst + n;
}

//--------------------------------------------------------------------------
char *copy_bounded(char *dst, const char *src, ptrdiff_t size)
{
  copy_bounded_end(dst, src, size);
  return dst;
}

//--------------------------------------------------------------------------
char *append_bounded(char *dst, const char *src, ptrdiff_t size)
{
  if ( size < 0 )
    interr(1225);
  const size_t used = strnlen(dst, size_t(size));
  copy_bounded_end(dst + used, src, size - ptrdiff_t(used));
  return dst;
}

//--------------------------------------------------------------------------
char *substitute_char(char *text, char from, char to)
{
  if ( text != nullptr && from != to )
    std::replace(text, text + strlen(text), from, to);
  return text;
}

//--------------------------------------------------------------------------
const char *path_extension(const char *path)
{
  if ( path == nullptr )
    return nullptr;
  const char *dot = strrchr(path_file_name(path), '.');
  return dot != nullptr ? dot + 1 : nullptr;
}

char *path_extension(char *path)
{
  return const_cast<char *>(path_extension(static_cast<const char *>(path)));
}

//--------------------------------------------------------------------------
char *next_field(char *text, const char *delimiters, char **saved)
{
  char *p = text != nullptr ? text : *saved;
  if ( p == nullptr )
    return nullptr;
  p += strspn(p, delimiters);
  if ( *p == '\0' )
  {
    *saved = p;
    return nullptr;
  }
  char *field = p;
  p += strcspn(p, delimiters);
  if ( *p != '\0' )
    *p++ = '\0';
  *saved = p;
  return field;
}

//--------------------------------------------------------------------------
char *upper_case_in_place(char *text)
{
  if ( text != nullptr )
    for ( char *p = text; *p != '\0'; ++p )
      *p = char(toupper(static_cast<unsigned char>(*p)));
  return text;
}

//--------------------------------------------------------------------------
uint64_t parse_radix_number(const char *text, int radix, const char **end)
{
  uint64_t value = 0;
  const char *p = text;
  for ( ;; ++p )
  {
    const unsigned char c = static_cast<unsigned char>(*p);
    int d;
    if ( c >= '0' && c <= '9' )
      d = c - '0';
    else if ( c >= 'a' && c <= 'z' )
      d = c - 'a' + 10;
    else if ( c >= 'A' && c <= 'Z' )
      d = c - 'A' + 10;
    else
      break;
    if ( d >= radix )
      break;
    value = value * uint64_t(radix) + uint64_t(d);
  }
  if ( end != nullptr )
    *end = p;
  return value;
}

//--------------------------------------------------------------------------
void reverse_bytes(void *buf, size_t count)
{
  auto *p = static_cast<unsigned char *>(buf);
  std::reverse(p, p + count);
}
