// Seeded random lists: filtering agrees with a plain reference filter, the fuzzy ranking is a strict weak
// order, and a sorted bucket is a permutation of the filtered one.
#include "views/filter/bucket_sorting.h"
#include "views/filter/fuzzy_match.h"
#include "views/filter/row_filter.h"
#include "views/filter/code_points.h"
#include "views/filter/text_fold.h"

#include "tests/views/sanitizer_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{

const char *const pieces[] = {"src", "Foo", "bar", "_", "/", ".", "-", "x", "Q", "\xC3\xA9", "\xC3\x89", "7", "fb", " "};

std::string random_text(std::mt19937_64 &rng, size_t max_pieces)
{
  std::string text;
  const size_t n = rng() % (max_pieces + 1);
  for ( size_t i = 0; i < n; ++i )
    text += pieces[rng() % std::size(pieces)];
  return text;
}

// The reference: plain loops over bytes with ASCII folding, no letter sets.
bool ref_equal_fold(char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b)); }
bool ref_text_match(const std::string &text, const std::string &q, uint32_t test, bool match_case)
{
  const auto eq = [&](size_t at) {
    for ( size_t i = 0; i < q.size(); ++i )
      if ( match_case ? text[at + i] != q[i] : !ref_equal_fold(text[at + i], q[i]) )
        return false;
    return true;
  };
  bool found = false;
  for ( size_t at = 0; !found && at + q.size() <= text.size(); ++at )
    found = eq(at);
  const auto lower = [](std::string s) {
    for ( char &c : s )
      c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  const std::string a = match_case ? text : lower(text);
  const std::string b = match_case ? q : lower(q);
  switch ( test )
  {
    case filter_test_contains: return found;
    case filter_test_not_contains: return !found;
    case filter_test_is: return a == b;
    case filter_test_is_not: return a != b;
    case filter_test_begins: return text.size() >= q.size() && eq(0);
    case filter_test_ends: return text.size() >= q.size() && eq(text.size() - q.size());
    case filter_test_less: return a < b;
    default: return a > b;
  }
}
// Fuzzy: the query's code points in order, each found by a forward scan, no letter sets.
bool ref_fuzzy(const std::string &text, const std::string &q, bool match_case)
{
  if ( text.empty() )
    return false;
  const auto points = [match_case](const std::string &s) {
    std::vector<uint32_t> out;
    for ( const char *p = s.data(); p < s.data() + s.size(); )
    {
      const uint32_t cp = step_code_point(&p, s.data() + s.size());
      out.push_back(match_case ? cp : fold_upper(cp));
    }
    return out;
  };
  const std::vector<uint32_t> t = points(text);
  size_t at = 0;
  for ( const uint32_t want : points(q) )
  {
    while ( at < t.size() && t[at] != want )
      ++at;
    if ( at++ == t.size() )
      return false;
  }
  return true;
}
bool ref_row_condition(const std::vector<std::string> &row, const filter_condition_t &c)
{
  const auto one = [&](size_t col) {
    return c.mode() == filter_mode_fuzzy ? ref_fuzzy(row[col], c.query.c_str(), c.match_case())
                                         : ref_text_match(row[col], c.query.c_str(), c.test(), c.match_case());
  };
  if ( c.column >= 0 && size_t(c.column) < row.size() )
    return one(size_t(c.column));
  const uint32_t t = c.test();
  const bool all = t == filter_test_not_contains || t == filter_test_is || t == filter_test_is_not;
  for ( size_t col = 0; col < row.size(); ++col )
    if ( one(col) != all )
      return !all;
  return all;
}
bool ref_row_passes(const std::vector<std::string> &row, const std::vector<filter_condition_t> &conditions)
{
  bool include_tried = false;
  for ( const filter_condition_t &c : conditions )
  {
    if ( !c.is_enabled() || c.action() == filter_action_highlight )
      continue;
    const bool include = c.action() == filter_action_include;
    include_tried |= include;
    if ( c.query.empty() || ref_row_condition(row, c) )
      return include;
  }
  return !include_tried;
}

class rows_of_t : public bucket_rows_t
{
public:
  explicit rows_of_t(std::vector<item_info_t> &rows) : rows_(rows) {}
  item_info_t *cached_row(uint64_t position) override { return position < rows_.size() ? &rows_[position] : nullptr; }

private:
  std::vector<item_info_t> &rows_;
};

TEST(SeededLists, SubstringAndFuzzyFilteringEqualAReferenceFilter)
{
  std::mt19937_64 rng(20261210);
  for ( int round = 0; round < scaled(300); ++round )
  {
    std::vector<filter_condition_t> conditions(1 + rng() % 3);
    for ( filter_condition_t &c : conditions )
    {
      c.flags = (rng() % 3 == 0 ? filter_mode_fuzzy : filter_mode_substring) | uint32_t(rng() % 8) << 12
              | (rng() % 2 ? filter_match_case : 0) | (rng() % 8 == 0 ? filter_disabled : 0)
              | (rng() % 3 == 0 ? filter_action_exclude : rng() % 5 == 0 ? filter_action_highlight : filter_action_include);
      c.column = int32_t(rng() % 4) - 1;
      c.set_text(random_text(rng, 2));
    }
    for ( int r = 0; r < 40; ++r )
    {
      item_info_t row(1 + rng() % 3);
      std::vector<std::string> texts;
      for ( size_t col = 0; col < row.texts.size(); ++col )
      {
        texts.push_back(random_text(rng, 4));
        row.set_text(col, texts.back());
      }
      const bool shown = filter_cached_row(conditions, &row);
      ASSERT_EQ(shown, ref_row_passes(texts, conditions)) << "round " << round << " row " << r;
      EXPECT_EQ(shown, (row.match.flags & match_recorded) != 0);
    }
  }
}

TEST(SeededLists, FuzzyRankingIsAStrictWeakOrderAndSortingPermutes)
{
  std::mt19937_64 rng(77);
  for ( int round = 0; round < scaled(60); ++round )
  {
    filter_condition_t fuzzy;
    fuzzy.flags = filter_mode_fuzzy | (rng() % 4 == 0 ? filter_match_case : 0);
    std::string query;
    while ( query.empty() )
      query = random_text(rng, 2);
    fuzzy.set_text(query);
    filter_condition_t also;
    also.set_text("7");
    const std::vector<filter_condition_t> conditions{fuzzy, also};
    std::vector<item_info_t> rows;
    std::vector<uint64_t> filtered;
    for ( uint64_t r = 0; r < 60; ++r )
    {
      item_info_t row(2);
      row.set_text(0, random_text(rng, 5));
      row.set_text(1, random_text(rng, 3));
      if ( filter_cached_row(conditions, &row) )
        filtered.push_back(r);
      rows.push_back(std::move(row));
    }
    // Irreflexive, asymmetric and transitive over the scored rows, with incomparability transitive too.
    std::vector<const item_info_t *> scored;
    for ( const uint64_t p : filtered )
      if ( (rows[p].match.flags & match_fuzzy_score) != 0 )
        scored.push_back(&rows[p]);
    const auto before = [](const item_info_t *a, const item_info_t *b) {
      return fuzzy_rank_compare(a->match, a->texts[size_t(a->match.column)].view(), b->match,
                                b->texts[size_t(b->match.column)].view());
    };
    for ( const item_info_t *a : scored )
      for ( const item_info_t *b : scored )
      {
        ASSERT_FALSE(before(a, b) && before(b, a));
        for ( const item_info_t *c : scored )
        {
          if ( before(a, b) && before(b, c) )
          {
            ASSERT_TRUE(before(a, c));
          }
          if ( !before(a, b) && !before(b, a) && !before(b, c) && !before(c, b) )
          {
            ASSERT_TRUE(!before(a, c) && !before(c, a));
          }
        }
      }
    // Sorting the filtered bucket (two leading rows fixed) only permutes it.
    rows_of_t bucket(rows);
    const std::vector<std::unique_ptr<bucket_sorting_strategy_t>> strategies = [] {
      std::vector<std::unique_ptr<bucket_sorting_strategy_t>> s;
      s.push_back(std::make_unique<bucket_fuzzy_sorting_t>());
      s.push_back(new_bucket_column_sorting(0, 0, 0));
      s.push_back(new_bucket_column_sorting(1, sort_order_descending, column_flags_decimal));
      return s;
    }();
    for ( const auto &strategy : strategies )
    {
      std::vector<uint64_t> positions = filtered;
      strategy->sort(bucket, positions, 2);
      for ( size_t i = 0; i < 2 && i < positions.size(); ++i )
        EXPECT_EQ(positions[i], filtered[i]);
      std::vector<uint64_t> a = positions;
      std::vector<uint64_t> b = filtered;
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
      ASSERT_EQ(a, b);
      if ( strategy->kind == bucket_sorting_strategy_t::fuzzy_sorting )
        for ( size_t i = 3; i < positions.size(); ++i )
        {
          const item_info_t &x = rows[positions[i - 1]];
          const item_info_t &y = rows[positions[i]];
          const bool xs = (x.match.flags & match_fuzzy_score) != 0;
          const bool ys = (y.match.flags & match_fuzzy_score) != 0;
          EXPECT_TRUE(xs || !ys) << "an unscored row before a scored one";
          if ( xs && ys )
          {
            EXPECT_FALSE(before(&y, &x));
          }
        }
    }
  }
}

} // namespace
