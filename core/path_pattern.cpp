// Ignore-rule and star pattern matching over UTF-8 bytes.
#include "core/path_pattern.h"

#include <cstring>

namespace
{

bool is_segment_end(char c)
{
  return c == '\0' || c == '/';
}

enum class set_result
{
  in,
  out,
  unclosed,
};

// Tests one path byte against the set that starts at 'set' (on its '['); on success 'after' points behind
// the closing ']'. Range bounds compare as signed bytes, single members by equality.
set_result match_char_set(const char *set, char c, const char **after)
{
  const char *s = set + 1;
  bool negated = false;
  if ( *s == '!' )
  {
    negated = true;
    ++s;
  }
  bool found = false;
  bool first = true;
  for ( ;; )
  {
    if ( *s == '\0' )
      return set_result::unclosed;
    if ( *s == ']' && !first )
      break;
    first = false;
    if ( s[1] == '-' && s[2] != ']' && s[2] != '\0' )
    {
      const auto lo = static_cast<signed char>(s[0]);
      const auto hi = static_cast<signed char>(s[2]);
      const auto v = static_cast<signed char>(c);
      if ( lo <= v && v <= hi )
        found = true;
      s += 3;
    }
    else
    {
      if ( *s == c )
        found = true;
      ++s;
    }
  }
  *after = s + 1;
  return found != negated ? set_result::in : set_result::out;
}

// One path segment against one pattern segment. A '*' takes any run of bytes within the segment; the
// search resumes from the most recent '*' only, which finds a match whenever one exists because every
// other pattern element takes exactly one byte. That keeps long names and many stars linear per attempt.
bool match_segment(const char *p, const char *q)
{
  const char *star_q = nullptr; // the last '*' seen
  const char *star_p = nullptr; // path position that '*' has taken up to
  for ( ;; )
  {
    bool mismatch = false;
    if ( !is_segment_end(*p) && !is_segment_end(*q) )
    {
      if ( *q == '*' )
      {
        star_q = q++;
        star_p = p;
        continue;
      }
      if ( *q == '[' )
      {
        const char *after = nullptr;
        const set_result r = match_char_set(q, *p, &after);
        if ( r == set_result::unclosed )
          return false; // no alternative can get past an unclosed set
        if ( r == set_result::in )
        {
          q = after;
          ++p;
          continue;
        }
        mismatch = true;
      }
      else if ( *q == '?' || *q == *p )
      {
        ++q;
        ++p;
        continue;
      }
      else
      {
        mismatch = true;
      }
    }
    if ( !mismatch )
    {
      // Stopped at the end of a segment: trailing stars match the empty run.
      if ( is_segment_end(*p) || is_segment_end(*q) )
      {
        while ( *q == '*' )
          ++q;
        if ( is_segment_end(*p) && *p == *q )
          return true;
      }
    }
    if ( star_q == nullptr || is_segment_end(*star_p) )
      return false;
    p = ++star_p;
    q = star_q + 1;
  }
}

const char *segment_end(const char *s)
{
  while ( !is_segment_end(*s) )
    ++s;
  return s;
}

bool match_any_depth(const char *path, const char *rest, const char *pattern_start);

// Both positions stand at a segment start; 'pattern_start' is the start of the whole pattern text, so
// that "the end right after a '/'" can be recognised. '*depth_failed' (when given) is set when the answer
// is false because a "**/" of the pattern found no match at any depth.
bool match_path_segments(const char *p, const char *q, const char *pattern_start, bool *depth_failed = nullptr)
{
  for ( ;; )
  {
    if ( (*q == '/' && q[1] == '\0') || (*q == '\0' && q > pattern_start && q[-1] == '/') )
      return true;
    if ( q[0] == '*' && q[1] == '*' )
    {
      if ( q[2] == '\0' )
        return true;
      if ( q[2] == '/' )
      {
        const bool found = match_any_depth(p, q + 3, pattern_start);
        if ( !found && depth_failed != nullptr )
          *depth_failed = true;
        return found;
      }
    }
    if ( !match_segment(p, q) )
      return false;
    const char *pe = segment_end(p);
    const char *qe = segment_end(q);
    if ( *pe == '\0' )
      return *qe == '\0';
    if ( *qe == '\0' )
      return false;
    p = pe + 1;
    q = qe + 1;
  }
}

// Tries the rest of the pattern at every segment start of the path, the first one included.
bool match_any_depth(const char *path, const char *rest, const char *pattern_start)
{
  const char *p = path;
  if ( *p == '/' )
    ++p;
  for ( ;; )
  {
    bool depth_failed = false;
    if ( match_path_segments(p, rest, pattern_start, &depth_failed) )
      return true;
    // A later "**/" of the rest tried every segment start from where it stood and found nothing. Starting
    // this one further on only brings it to a later start, so stop: several "**/" in one pattern would
    // otherwise cost a power of the path's depth.
    if ( depth_failed )
      return false;
    const char *pe = segment_end(p);
    if ( *pe == '\0' )
      return false;
    p = pe + 1;
  }
}

} // namespace

bool path_pattern_match(const char *path, const char *pattern, int /*options*/)
{
  if ( std::strcmp(pattern, "/") == 0 || std::strcmp(pattern, "*") == 0 )
    return true;
  const char *slash = std::strchr(pattern, '/');
  if ( slash == nullptr )
  {
    const char *last = std::strrchr(path, '/');
    return match_segment(last != nullptr ? last + 1 : path, pattern);
  }
  if ( slash[1] == '\0' )
    return match_any_depth(path, pattern, pattern);
  if ( *path == '/' )
    ++path;
  const char *q = *pattern == '/' ? pattern + 1 : pattern;
  return match_path_segments(path, q, pattern);
}

bool star_pattern_match(const char *text, const char *pattern)
{
  if ( std::strcmp(pattern, "*") == 0 )
    return true;
  const char *t = text;
  const char *q = pattern;
  const char *star_q = nullptr;
  const char *star_t = nullptr;
  for ( ;; )
  {
    if ( *t != '\0' && *q != '\0' )
    {
      if ( *q == '*' )
      {
        star_q = q++;
        star_t = t;
        continue;
      }
      if ( *q == '?' || *q == *t )
      {
        ++q;
        ++t;
        continue;
      }
    }
    else
    {
      while ( *q == '*' )
        ++q;
      if ( *t == '\0' && *q == '\0' )
        return true;
    }
    if ( star_q == nullptr || *star_t == '\0' )
      return false;
    t = ++star_t;
    q = star_q + 1;
  }
}
