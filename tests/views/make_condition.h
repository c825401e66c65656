// Builds a filter condition for the tests: flags, query with its letter set, and its pattern when it needs one.
#pragma once

#include "views/filter/filter_condition.h"

#include <string>

inline filter_condition_t make_condition(uint32_t flags, const std::string &query)
{
  filter_condition_t c;
  c.flags = flags;
  c.set_text(query);
  if ( c.needs_pattern() )
    (void)c.compile_regex();
  return c;
}
