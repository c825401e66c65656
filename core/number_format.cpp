// Byte-size texts, radix digit strings and C-literal number texts.
#include "core/number_format.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/internal_error.h"
#include "core/text_utils.h"
#include "core/unicode.h"

namespace
{

// Writes text into buf the way the core's bounded printf does: cut at size - 1 bytes and terminated.
int put_bounded(char *buf, size_t size, const char *text, size_t len)
{
  if ( size == 0 )
    return 0;
  const size_t n = std::min(len, size - 1);
  memcpy(buf, text, n);
  buf[n] = '\0';
  return int(n);
}

// Full-width digit counts of an n-byte unsigned value (index n - 1).
constexpr uint8_t decimal_width[16] = { 3, 5, 8, 10, 13, 15, 17, 20, 22, 25, 27, 29, 32, 34, 37, 39 };
constexpr uint8_t octal_width[16] = { 3, 6, 8, 11, 14, 16, 19, 22, 24, 27, 30, 32, 35, 38, 40, 43 };

// Digit count of a full-width value of `bytes` (4 or 8) in a supported radix.
int full_width(int radix, int bytes)
{
  switch ( radix )
  {
    case 2:  return 8 * bytes;
    case 8:  return octal_width[bytes - 1];
    case 10: return decimal_width[bytes - 1];
    default: return 2 * bytes;
  }
}

char *digits(char *buf, uint64_t value, int radix, bool pad, int bytes)
{
  const bool supported = radix == 2 || radix == 8 || radix == 10 || radix == 16;
  if ( value == 0 )
  {
    const int width = pad ? full_width(radix == 0 ? 10 : radix, bytes) : 1;
    memset(buf, '0', width);
    buf[width] = '\0';
    return buf + width;
  }
  if ( !supported )
  {
    buf[0] = '\0';
    return buf;
  }
  char tmp[64];
  int n = 0;
  for ( ; value != 0; value /= unsigned(radix) )
    tmp[n++] = "0123456789ABCDEF"[value % unsigned(radix)];
  char *p = buf;
  if ( pad )
    for ( int i = full_width(radix, bytes) - n; i > 0; --i )
      *p++ = '0';
  while ( n > 0 )
    *p++ = tmp[--n];
  *p = '\0';
  return p;
}

// sscanf-like leading part: white space, then an optional '+' (a '-' is refused by the callers' parsers).
const char *skip_number_lead(const char *p, const char *end)
{
  while ( p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r')) )
    ++p;
  if ( p < end && *p == '+' && p + 1 < end && p[1] != '-' && p[1] != '+' )
    ++p;
  return p;
}

void append_u64(std::string &out, uint64_t v, int radix, int width)
{
  char tmp[72];
  char *end = digits(tmp, v, radix, false, 8);
  for ( int i = int(end - tmp); i < width; ++i )
    out += '0';
  out.append(tmp, end);
}

// Length of the valid UTF-8 sequence at the start of `len` bytes, 0 when there is none.
size_t leading_sequence(const char *bytes, size_t len)
{
  char scratch[17] = {};
  memcpy(scratch, bytes, std::min(len, sizeof(scratch) - 1));
  const char *p = scratch;
  const uint32_t cp = utf8_next_char(&p);
  return cp == bad_code_point || cp == 0 ? 0 : size_t(p - scratch);
}

// Appends the literal of an n-byte value (n = 1 to 8) without suffixes. False when a UTF-8 character constant
// does not start with a valid sequence: the caller then writes the value in hexadecimal instead.
bool c_literal(std::string &out, uint64_t v, int n, uint32_t flags)
{
  const uint64_t mask = n == 8 ? UINT64_MAX : (uint64_t(1) << (8 * n)) - 1;
  const uint64_t top = uint64_t(1) << (8 * n - 1);
  if ( (flags & CNUM_SIGN) != 0 && (v & top) != 0 && v != top )
  {
    out += '-';
    v = 0 - v;
  }
  const uint64_t unmasked = v;
  v &= mask;
  const uint32_t form = flags & CNUM_FORM_MASK;
  if ( form == CNUM_DEC && (flags & (CNUM_SIGNED_DEC | CNUM_UNSIGNED)) == CNUM_SIGNED_DEC
    && (v & top) != 0 && v != top )
  {
    v |= ~mask;
  }
  // Decimal is signed 64-bit unless the unsigned flag is set.
  const auto decimal = [&]()
  {
    if ( (flags & CNUM_UNSIGNED) == 0 && int64_t(v) < 0 )
    {
      out += '-';
      append_u64(out, 0 - v, 10, 0);
    }
    else
    {
      append_u64(out, v, 10, 0);
    }
  };
  const bool pad = (flags & CNUM_ZERO_PAD) != 0;
  const bool radix_form = (flags & CNUM_ALWAYS_RADIX) != 0;
  switch ( form )
  {
    case CNUM_DEC:
      decimal();
      return true;
    case CNUM_OCT:
      if ( unmasked >= 8 || radix_form )
      {
        out += '0';
        append_u64(out, v, 8, pad ? octal_width[n - 1] : 0);
      }
      else
      {
        decimal();
      }
      return true;
    case CNUM_BIN:
      out += "0b";
      append_u64(out, v, 2, pad ? 8 * n : 0);
      return true;
    case CNUM_CHAR:
    {
      const unsigned char c = static_cast<unsigned char>(v);
      if ( c == 0 )
      {
        out += "'\\0'";
      }
      else if ( c == '\'' )
      {
        out += "'\\''";
      }
      else if ( (flags & CNUM_UTF8_CHAR) == 0 )
      {
        out += '\'';
        out += char(c);
        out += '\'';
      }
      else
      {
        // The non-zero bytes, most significant first.
        char bytes[8];
        size_t count = 0;
        for ( int shift = 56; shift >= 0; shift -= 8 )
          if ( const auto b = static_cast<unsigned char>(v >> shift); b != 0 )
            bytes[count++] = char(b);
        if ( leading_sequence(bytes, count) == 0 )
          return false;
        out += '\'';
        out.append(bytes, count);
        out += '\'';
      }
      return true;
    }
    default:            // hexadecimal, forms 5 to 7 included
      if ( unmasked >= 10 || radix_form )
      {
        out += "0x";
        append_u64(out, v, 16, pad ? 2 * n : 0);
      }
      else
      {
        decimal();
      }
      return true;
  }
}

} // namespace

//--------------------------------------------------------------------------
int format_byte_size(char *buf, size_t size, uint64_t v)
{
  constexpr uint64_t K = uint64_t(1) << 10;
  constexpr uint64_t M = uint64_t(1) << 20;
  constexpr uint64_t G = uint64_t(1) << 30;
  constexpr uint64_t T = uint64_t(1) << 40;
  // Each row: below `limit`, print v / unit with `decimals` places, or v >> shift when decimals < 0.
  struct row_t { uint64_t limit; uint64_t unit; int decimals; char suffix; };
  static constexpr row_t rows[] =
  {
    { 10000ULL,             1, -1, 0   },
    { 102348ULL,            K, 1,  'k' },
    { 1024000ULL,           K, -1, 'k' },
    { 10480517ULL,          M, 2,  'M' },
    { 104805171ULL,         M, 1,  'M' },
    { 1048576000ULL,        M, -1, 'M' },
    { 10732049530ULL,       G, 2,  'G' },
    { 107320495308ULL,      G, 1,  'G' },
    { 1073741824000ULL,     G, -1, 'G' },
    { 10989618719621ULL,    T, 2,  'T' },
    { 109896187196211ULL,   T, 1,  'T' },
    { 1099511627776000ULL,  T, -1, 'T' },
  };
  char text[48];
  int len = 0;
  for ( const row_t &r : rows )
  {
    if ( v >= r.limit )
      continue;
    if ( r.decimals < 0 )
      len = snprintf(text, sizeof(text), "%" PRIu64, v / r.unit);
    else
      len = snprintf(text, sizeof(text), "%0.*f", r.decimals, double(v) / double(r.unit));
    if ( r.suffix != 0 )
      text[len++] = r.suffix;
    return put_bounded(buf, size, text, size_t(len));
  }
  return put_bounded(buf, size, "infty", 5);
}

//--------------------------------------------------------------------------
bool parse_byte_size(uint64_t *out, const char *text)
{
  if ( text == nullptr )
    return false;
  uint64_t value;
  if ( strcmp(text, "infty") == 0 )
  {
    value = UINT64_MAX;
  }
  else
  {
    size_t len = strlen(text);
    if ( len == 0 )
      return false;
    int shift = 0;
    switch ( text[len - 1] )
    {
      case 'k': shift = 10; break;
      case 'M': shift = 20; break;
      case 'G': shift = 30; break;
      case 'T': shift = 40; break;
      default: break;
    }
    if ( shift != 0 )
      --len;
    const char *end = text + len;
    const char *p = skip_number_lead(text, end);
    if ( std::find_if(text, end, [](char c) { return c == '.' || c == ','; }) != end )
    {
      // A fraction is read as a single-precision number, as the size texts were always read.
      float f;
      const auto [stop, ec] = std::from_chars(p, end, f);
      if ( ec != std::errc() || stop != end || p == end )
        return false;
      const double d = double(f) * double(uint64_t(1) << shift);
      // Truncation must land in the 64-bit range; NaN fails both tests.
      if ( !(d > -1.0) || !(d < 18446744073709551616.0) )
        return false;
      value = uint64_t(d);
    }
    else
    {
      const auto [stop, ec] = std::from_chars(p, end, value);
      if ( ec != std::errc() || stop != end || p == end )
        return false;
      if ( shift != 0 && value > (UINT64_MAX >> shift) )
        return false;
      value <<= shift;
    }
  }
  if ( out != nullptr )
    *out = value;
  return true;
}

//--------------------------------------------------------------------------
char *digits_u32(char *buf, uint32_t value, int radix, bool pad)
{
  return digits(buf, value, radix, pad, 4);
}

char *digits_u64(char *buf, uint64_t value, int radix, bool pad)
{
  return digits(buf, value, radix, pad, 8);
}

//--------------------------------------------------------------------------
int print_c_number(char *buf, ptrdiff_t size, uint128_pair_t value, int nbytes, uint32_t flags)
{
  if ( size < 0 )
    interr(1225);
  int n = std::clamp(nbytes, 1, 16);
  std::string out;
  bool char_constant = false;
  if ( n > 8 && (value.high != 0 || ((flags & CNUM_UNSIGNED) == 0 && int64_t(value.low) < 0)) )
  {
    out = "0x";
    append_u64(out, value.high, 16, 0);
    append_u64(out, value.low, 16, 16);
  }
  else
  {
    n = std::min(n, 8);
    if ( !c_literal(out, value.low, n, flags) )
      return print_c_number(buf, size, { value.low, 0 }, 4, CNUM_HEX | CNUM_ALWAYS_RADIX);
    char_constant = (flags & CNUM_FORM_MASK) == CNUM_CHAR;
  }
  if ( !char_constant )
  {
    if ( (flags & CNUM_UNSIGNED) != 0 )
      out += 'u';
    if ( n >= 8 )
      out += "LL";
  }
  if ( out.size() >= size_t(size) )
    interr(519);
  memcpy(buf, out.c_str(), out.size() + 1);
  return int(out.size());
}
