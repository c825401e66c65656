// Sorted range set: unsigned 64-bit positions held as sorted, disjoint half-open ranges, merged on insertion.
#pragma once

#include <cstdint>

#include "core/qvector.h"

// The half-open range start <= x < end.
struct pos_range_t
{
  uint64_t start;
  uint64_t end;

  friend bool operator==(const pos_range_t &a, const pos_range_t &b)
  {
    return a.start == b.start && a.end == b.end;
  }
};

// Promises: every range has start < end; ranges are sorted by start; two ranges neither overlap nor touch
// (the end of one lies strictly below the start of the next).
struct range_list_t
{
  qvector<pos_range_t> ranges;
  uint64_t cursor = 0;  // a position cache of the set's users, reset to 0 whenever the set changes
  int32_t id = -1;      // identifier of the set; -1 = none
};

// Adds [range.start, range.end) to the set, merging it with the ranges it overlaps or touches. True when the
// set changed, false when the range was already covered.
bool range_list_add(range_list_t *set, pos_range_t range);

// As range_list_add; false for a null set or an empty range (start >= end).
bool range_list_insert(range_list_t *set, pos_range_t range);
