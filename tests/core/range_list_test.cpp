// Tests of the sorted range set: merging insertion, its result and the invariants it keeps.
#include "core/range_list.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace
{

std::vector<pos_range_t> ranges_of(const range_list_t &set)
{
  return std::vector<pos_range_t>(set.ranges.begin(), set.ranges.end());
}

} // namespace

// How failures show a range (found by argument-dependent lookup, so beside the type's namespace).
inline void PrintTo(const pos_range_t &r, std::ostream *os)
{
  *os << "[" << r.start << ", " << r.end << ")";
}

struct range_step_t
{
  pos_range_t add;
  bool changed;
};

TEST(RangeList, InsertTable)
{
  const struct
  {
    const char *name;
    std::vector<range_step_t> steps;
    std::vector<pos_range_t> result;
  } cases[] =
  {
    { "touching ranges merge", { { { 10, 20 }, true }, { { 20, 30 }, true } }, { { 10, 30 } } },
    { "touching at the front", { { { 10, 20 }, true }, { { 20, 30 }, true }, { { 5, 10 }, true } }, { { 5, 30 } } },
    { "bridge two ranges", { { { 10, 20 }, true }, { { 30, 40 }, true }, { { 15, 35 }, true } }, { { 10, 40 } } },
    { "covered range", { { { 10, 20 }, true }, { { 12, 18 }, false } }, { { 10, 20 } } },
    { "same range again", { { { 10, 20 }, true }, { { 10, 20 }, false } }, { { 10, 20 } } },
    { "empty range", { { { 5, 5 }, false } }, {} },
    { "reversed range", { { { 10, 20 }, true }, { { 9, 3 }, false } }, { { 10, 20 } } },
    { "gap stays", { { { 2, 3 }, true }, { { 0, 1 }, true } }, { { 0, 1 }, { 2, 3 } } },
    { "append after a gap", { { { 0, 1 }, true }, { { 5, 6 }, true } }, { { 0, 1 }, { 5, 6 } } },
    { "insert in the middle", { { { 0, 1 }, true }, { { 10, 11 }, true }, { { 5, 6 }, true } },
      { { 0, 1 }, { 5, 6 }, { 10, 11 } } },
    { "extend start only", { { { 10, 20 }, true }, { { 30, 40 }, true }, { { 8, 15 }, true } },
      { { 8, 20 }, { 30, 40 } } },
    { "extend end only, no absorb", { { { 10, 20 }, true }, { { 30, 40 }, true }, { { 15, 25 }, true } },
      { { 10, 25 }, { 30, 40 } } },
    { "touch the next range's start", { { { 10, 20 }, true }, { { 30, 40 }, true }, { { 15, 30 }, true } },
      { { 10, 40 } } },
    { "swallow several", { { { 1, 2 }, true }, { { 4, 5 }, true }, { { 7, 8 }, true }, { { 10, 12 }, true },
                           { { 0, 11 }, true } },
      { { 0, 12 } } },
    { "swallow all but the last", { { { 1, 2 }, true }, { { 4, 5 }, true }, { { 9, 10 }, true }, { { 0, 6 }, true } },
      { { 0, 6 }, { 9, 10 } } },
    { "top of the value range", { { { UINT64_MAX - 2, UINT64_MAX }, true }, { { 0, 1 }, true } },
      { { 0, 1 }, { UINT64_MAX - 2, UINT64_MAX } } },
  };
  for ( const auto &c : cases )
  {
    range_list_t set;
    for ( const range_step_t &step : c.steps )
      EXPECT_EQ(range_list_insert(&set, step.add), step.changed)
        << c.name << ": adding [" << step.add.start << ", " << step.add.end << ")";
    EXPECT_EQ(ranges_of(set), c.result) << c.name;
  }
}

TEST(RangeList, CursorResetOnlyWhenTheSetChanges)
{
  range_list_t set;
  EXPECT_EQ(set.id, -1);
  set.cursor = 7;
  EXPECT_TRUE(range_list_insert(&set, { 10, 20 }));
  EXPECT_EQ(set.cursor, 0u);
  set.cursor = 7;
  EXPECT_FALSE(range_list_insert(&set, { 11, 19 }));
  EXPECT_FALSE(range_list_insert(&set, { 4, 4 }));
  EXPECT_EQ(set.cursor, 7u);
  EXPECT_TRUE(range_list_add(&set, { 20, 21 }));
  EXPECT_EQ(set.cursor, 0u);
}

TEST(RangeList, NullSet)
{
  EXPECT_FALSE(range_list_insert(nullptr, { 1, 2 }));
}

// Random insertions against a plain set of positions: same coverage, same answer, invariants kept.
TEST(RangeList, MatchesAPositionSetModel)
{
  std::mt19937 rng(12345);
  std::uniform_int_distribution<uint64_t> pos(0, 300);
  std::uniform_int_distribution<uint64_t> len(0, 12);
  for ( int round = 0; round < 50; ++round )
  {
    range_list_t set;
    std::set<uint64_t> model;
    for ( int i = 0; i < 60; ++i )
    {
      const uint64_t s = pos(rng);
      const uint64_t e = s + len(rng);
      bool grows = false;
      for ( uint64_t x = s; x < e; ++x )
        grows |= model.insert(x).second;
      ASSERT_EQ(range_list_insert(&set, { s, e }), grows) << "round " << round << " adding [" << s << ", " << e << ")";
      // Invariants: non-empty, sorted, neither overlapping nor touching.
      for ( size_t k = 0; k < set.ranges.size(); ++k )
      {
        ASSERT_LT(set.ranges[k].start, set.ranges[k].end);
        if ( k > 0 )
        {
          ASSERT_LT(set.ranges[k - 1].end, set.ranges[k].start);
        }
      }
    }
    std::set<uint64_t> covered;
    for ( const pos_range_t &r : set.ranges )
      for ( uint64_t x = r.start; x < r.end; ++x )
        covered.insert(x);
    ASSERT_EQ(covered, model) << "round " << round;
  }
}
