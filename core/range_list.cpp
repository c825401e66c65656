// Sorted range set with merging insertion.
#include "core/range_list.h"

#include <algorithm>

//--------------------------------------------------------------------------
bool range_list_add(range_list_t *set, pos_range_t range)
{
  qvector<pos_range_t> &v = set->ranges;
  const uint64_t s = range.start;
  const uint64_t e = range.end;
  if ( v.empty() || v.back().end < s )
  {
    v.push_back(range);
  }
  else if ( v.back().end == s )
  {
    v.back().end = e;
  }
  else
  {
    // The first range that ends at or after s; the last one does, so there is one.
    const size_t i = std::lower_bound(v.begin(), v.end(), s,
                                      [](const pos_range_t &r, uint64_t pos) { return r.end < pos; }) - v.begin();
    pos_range_t &r = v[i];
    if ( r.start > e )
    {
      v.insert(i, range);
    }
    else
    {
      if ( s >= r.start && e <= r.end )
        return false;
      r.start = std::min(r.start, s);
      r.end = std::max(r.end, e);
      // Absorb the following ranges that the merged one now reaches.
      size_t j = i + 1;
      while ( j < v.size() && v[j].start <= r.end )
      {
        r.end = std::max(r.end, v[j].end);
        ++j;
      }
      v.erase(i + 1, j - i - 1);
    }
  }
  set->cursor = 0;
  return true;
}

//--------------------------------------------------------------------------
bool range_list_insert(range_list_t *set, pos_range_t range)
{
  if ( set == nullptr || range.start >= range.end )
    return false;
  return range_list_add(set, range);
}
