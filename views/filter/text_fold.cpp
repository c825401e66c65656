// Locale-free case folding for filter matching.
#include "views/filter/text_fold.h"

#include <cstring>

int ascii_case_compare(std::string_view a, std::string_view b)
{
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for ( size_t i = 0; i < n; ++i )
  {
    const int x = ascii_lower(static_cast<unsigned char>(a[i]));
    const int y = ascii_lower(static_cast<unsigned char>(b[i]));
    if ( x != y )
      return x - y;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool ascii_case_equal(const char *a, const char *b, size_t count)
{
  for ( size_t i = 0; i < count; ++i )
    if ( ascii_upper(static_cast<unsigned char>(a[i])) != ascii_upper(static_cast<unsigned char>(b[i])) )
      return false;
  return true;
}

size_t ascii_case_find(std::string_view hay, std::string_view needle)
{
  if ( needle.size() > hay.size() )
    return std::string_view::npos;
  // Look for either case of the first byte with memchr, then compare the rest.
  const unsigned char first = static_cast<unsigned char>(needle[0]);
  const unsigned char lo = ascii_lower(first);
  const unsigned char up = ascii_upper(first);
  const char *p = hay.data();
  const char *last = hay.data() + (hay.size() - needle.size());
  while ( p <= last )
  {
    const size_t span = size_t(last - p) + 1;
    const char *a = static_cast<const char *>(memchr(p, lo, span));
    const char *b = lo == up ? nullptr : static_cast<const char *>(memchr(p, up, a != nullptr ? size_t(a - p) : span));
    const char *hit = b != nullptr ? b : a;
    if ( hit == nullptr )
      break;
    if ( ascii_case_equal(hit + 1, needle.data() + 1, needle.size() - 1) )
      return size_t(hit - hay.data());
    p = hit + 1;
  }
  return std::string_view::npos;
}

uint32_t fold_upper(uint32_t cp)
{
  if ( cp < 0x80 )
    return ascii_upper(static_cast<unsigned char>(cp));
  if ( cp < 0x100 )
  {
    if ( cp >= 0xE0 && cp != 0xF7 && cp != 0xFF )
      return cp - 0x20;
    return cp == 0xFF ? 0x178 : cp;
  }
  if ( cp < 0x180 )
  {
    if ( cp == 0x131 || cp == 0x17F || cp == 0x138 || cp == 0x149 )
      return cp;  // dotless i and long s would fold into ASCII; kra and the apostrophe n have no upper case
    // Pairs start on an even code point up to U+0137 and from U+014A, on an odd one between them and from U+0179.
    const bool odd_pairs = (cp >= 0x139 && cp <= 0x148) || cp >= 0x179;
    const bool is_lower = odd_pairs ? (cp % 2 == 0) : (cp % 2 == 1);
    return is_lower ? cp - 1 : cp;
  }
  if ( cp >= 0x3B1 && cp <= 0x3C9 )
    return cp == 0x3C2 ? 0x3A3 : cp - 0x20;  // final sigma folds with sigma
  if ( cp >= 0x430 && cp <= 0x44F )
    return cp - 0x20;
  if ( cp >= 0x450 && cp <= 0x45F )
    return cp - 0x50;
  if ( cp >= 0xFF41 && cp <= 0xFF5A )
    return cp - 0x20;
  return cp;
}
