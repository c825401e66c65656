// Text positions between UTF-8 bytes and the UTF-16 units that Qt's text layouts count.
#include "ui/utf8_units.h"

#include "core/unicode.h"

namespace {

constexpr char16_t REPLACEMENT_CHARACTER = 0xFFFD;

// Walks the text one code point at a time: visit(code point, byte length) for each; a byte that starts no
// valid sequence is U+FFFD of length 1. Stops when visit answers false.
template <typename Visit>
void walk_code_points(std::string_view text, Visit &&visit)
{
  const char *p = text.data();
  const char *const end = p + text.size();
  while ( p < end )
  {
    const char *next = p;
    uint32_t cp = utf8_next_char(&next);
    if ( cp == bad_code_point || next == p || next > end )
    {
      cp = REPLACEMENT_CHARACTER; // an embedded NUL also takes this way: one unit, one byte
      if ( *p == '\0' )
        cp = 0;
      next = p + 1;
    }
    if ( !visit(cp, size_t(next - p)) )
      return;
    p = next;
  }
}

size_t units_of(uint32_t cp)
{
  return cp > 0xFFFF ? 2 : 1;
}

} // namespace

QString utf8_to_qstring(std::string_view text)
{
  QString out;
  out.reserve(int(text.size()));
  walk_code_points(text, [&](uint32_t cp, size_t) {
    if ( cp > 0xFFFF )
    {
      out.append(QChar(QChar::highSurrogate(cp)));
      out.append(QChar(QChar::lowSurrogate(cp)));
    }
    else
    {
      out.append(QChar(char16_t(cp)));
    }
    return true;
  });
  return out;
}

size_t utf16_unit_count(std::string_view text)
{
  size_t units = 0;
  walk_code_points(text, [&](uint32_t cp, size_t) {
    units += units_of(cp);
    return true;
  });
  return units;
}

size_t utf8_offset_of_units(std::string_view text, size_t units)
{
  size_t offset = 0;
  size_t seen = 0;
  walk_code_points(text, [&](uint32_t cp, size_t length) {
    if ( seen >= units )
      return false;
    seen += units_of(cp);
    offset += length;
    return true;
  });
  return offset;
}

size_t units_before_utf8_offset(std::string_view text, size_t offset)
{
  size_t units = 0;
  size_t at = 0;
  walk_code_points(text, [&](uint32_t cp, size_t length) {
    if ( at >= offset )
      return false;
    units += units_of(cp);
    at += length;
    return true;
  });
  return units;
}
