// One coloured range as a test sees it: start, length and style, comparable and printable.
#pragma once

#include <ostream>

struct highlight_range_t
{
  int start;
  int length;
  int style;
  bool operator==(const highlight_range_t &o) const = default;
};

inline std::ostream &operator<<(std::ostream &os, const highlight_range_t &r)
{
  return os << "(" << r.start << "," << r.length << "," << r.style << ")";
}
