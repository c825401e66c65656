// Lists of the core's strings as standard strings, so that tests compare and print them directly.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <string>
#include <vector>

// The texts of list, in order (NUL bytes inside a text kept).
inline std::vector<std::string> to_strings(const qvector<qstring> &list)
{
  std::vector<std::string> out;
  for ( const qstring &s : list )
    out.emplace_back(s.view());
  return out;
}
