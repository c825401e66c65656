// Walking filter texts by code points.
#include "views/filter/code_points.h"

#include "core/unicode.h"

uint32_t step_code_point(const char **cursor, const char *end)
{
  const char *p = *cursor;
  const unsigned char b = static_cast<unsigned char>(*p);
  if ( b < 0x80 )
  {
    *cursor = p + 1;
    return b;
  }
  // The text is followed by a 0 byte, so a sequence never reads past it; one that would run past `end`
  // (a view cut inside the text) is taken byte by byte.
  const char *q = p;
  const uint32_t cp = utf8_next_char(&q);
  if ( cp == bad_code_point || q > end )
  {
    *cursor = p + 1;
    return b;
  }
  *cursor = q;
  return cp;
}

size_t code_points_before(std::string_view text, size_t bytes)
{
  const char *p = text.data();
  const char *end = text.data() + (bytes < text.size() ? bytes : text.size());
  size_t n = 0;
  while ( p < end )
  {
    step_code_point(&p, end);
    ++n;
  }
  return n;
}
