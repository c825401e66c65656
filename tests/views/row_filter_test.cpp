// Conditions over whole rows: the column rules, the recorded match, visibility in list order, highlights.
#include "views/filter/row_filter.h"

#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/views/make_condition.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

item_info_t make_row(const std::vector<std::string> &texts)
{
  item_info_t row(texts.size());
  for ( size_t i = 0; i < texts.size(); ++i )
    row.set_text(i, texts[i]);
  return row;
}

filter_condition_t on_column(filter_condition_t c, int32_t column)
{
  c.column = column;
  return c;
}

TEST(RowCondition, ColumnRulesAndTheRecordedColumn)
{
  const item_info_t row = make_row({"alpha", "beta", "alphabet"});
  struct row_case_t
  {
    const char *name;
    filter_condition_t condition;
    bool pass;
    int32_t column; // of the recorded match; -1 none
  };
  const row_case_t cases[] = {
    {"contains: first passing column", make_condition(0, "alpha"), true, 0},
    {"contains: a later column", make_condition(0, "bet"), true, 1},
    {"contains: the chosen column only", on_column(make_condition(0, "alpha"), 1), false, -1},
    {"a column outside the row tests all", on_column(make_condition(0, "beta"), 7), true, 1},
    {"doesn't contain needs every column", make_condition(filter_test_not_contains, "beta"), false, -1},
    {"doesn't contain everywhere", make_condition(filter_test_not_contains, "zeta"), true, 0},
    {"is needs every column", make_condition(filter_test_is, "alpha"), false, -1},
    {"is not needs every column", make_condition(filter_test_is_not, "beta"), false, -1},
    {"is not everywhere", make_condition(filter_test_is_not, "gamma"), true, 0},
    {"is on one column", on_column(make_condition(filter_test_is, "BETA"), 1), true, 1},
    {"begins with in some column", make_condition(filter_test_begins, "alphab"), true, 2},
    {"fuzzy: the first passing column", make_condition(filter_mode_fuzzy, "ab"), true, 2},
    // Texts lacking a letter of the query: only the tests that need every letter fail on that alone.
    {"contains a letter no column holds", make_condition(0, "bxq"), false, -1},
    {"fuzzy with a letter no column holds", make_condition(filter_mode_fuzzy, "aq"), false, -1},
    {"less than a query of other letters", make_condition(filter_test_less, "zzz"), true, 0},
    {"a pattern with letters beyond the match", make_condition(filter_mode_regex, "zq|bet"), true, 1},
    {"whole words with letters beyond the match", make_condition(filter_mode_whole_words, "beta|zq"), true, 1},
    {"a disabled condition passes", make_condition(filter_disabled, "zq"), true, -1},
  };
  for ( const row_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    filter_match_t best;
    EXPECT_EQ(match_row_condition(&best, row.texts, c.condition), c.pass);
    if ( c.pass )
    {
      EXPECT_EQ(best.column, c.column);
    }
  }
  // Where every column is tested, a later fuzzy match that ranks first replaces the recorded one.
  const item_info_t two = make_row({"beta", "alpha"});
  filter_match_t best;
  EXPECT_TRUE(match_row_condition(&best, two.texts, make_condition(filter_mode_fuzzy | filter_test_is, "a")));
  EXPECT_EQ(best.column, 1);
  EXPECT_EQ(interr_number([&] { (void)match_row_condition(nullptr, row.texts, make_condition(filter_mode_fuzzy, "a")); }),
            40525);
}

TEST(RowCondition, ANonFuzzyMatchNeverReplacesARecordedOne)
{
  const item_info_t row = make_row({"xx", "needle"});
  filter_match_t best;
  best.record_range(7, 9);
  best.column = 0;
  ASSERT_TRUE(match_row_condition(&best, row.texts, make_condition(0, "needle")));
  EXPECT_EQ(best.column, 0);
  EXPECT_EQ(best.match_positions, (std::vector<uint16_t>{7, 9}));
}

TEST(RowVisibility, ConditionsDecideInListOrder)
{
  recording_ui_callback_t ui; // the broken expression's log line
  const filter_condition_t inc_a = make_condition(filter_action_include, "a");
  const filter_condition_t inc_b = make_condition(filter_action_include, "b");
  const filter_condition_t exc_a = make_condition(filter_action_exclude, "a");
  const filter_condition_t exc_b = make_condition(filter_action_exclude, "b");
  const filter_condition_t highlight_c = make_condition(filter_action_highlight, "c");
  const filter_condition_t disabled_inc = make_condition(filter_action_include | filter_disabled, "zzz");
  const filter_condition_t broken_inc = make_condition(filter_mode_regex, "(");
  struct visibility_case_t
  {
    const char *name;
    std::vector<filter_condition_t> conditions;
    const char *text;
    bool shown;
    uint32_t match_flags;
  };
  const visibility_case_t cases[] = {
    {"no conditions", {}, "x", true, match_recorded | match_passed_unrecorded},
    {"only skipped conditions", {disabled_inc, highlight_c, broken_inc}, "x", true, match_recorded | match_passed_unrecorded},
    {"include matches", {inc_a}, "a", true, match_recorded},
    {"include tried, none matched", {inc_a}, "x", false, 0},
    {"exclude matches", {exc_a}, "a", false, 0},
    {"exclude only, no match", {exc_a}, "x", true, match_recorded | match_passed_unrecorded},
    {"include before exclude", {inc_a, exc_a}, "a", true, match_recorded},
    {"exclude before include", {exc_a, inc_a}, "a", false, 0},
    {"a later include decides", {exc_b, inc_a}, "a", true, match_recorded},
    {"an include tried hides", {inc_b, exc_b}, "a", false, 0},
  };
  for ( const visibility_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    item_info_t row = make_row({c.text});
    EXPECT_EQ(filter_cached_row(c.conditions, &row), c.shown);
    EXPECT_EQ(row.match.flags, c.match_flags);
  }
}

TEST(RowHighlight, FirstMatchingHighlightGivesTheColour)
{
  filter_condition_t red = make_condition(filter_action_highlight, "err");
  red.color = 0x0000FF;
  filter_condition_t green = make_condition(filter_action_highlight, "e");
  green.color = 0x00FF00;
  filter_condition_t off = make_condition(filter_action_highlight | filter_disabled, "e");
  off.color = 0xFF0000;
  const std::vector<filter_condition_t> conditions{off, make_condition(filter_action_include, "e"), red, green};
  EXPECT_EQ(row_highlight_color(conditions, make_row({"an error"}), 7), 0x0000FFu);
  EXPECT_EQ(row_highlight_color(conditions, make_row({"ok", "yes"}), 7), 0x00FF00u);
  EXPECT_EQ(row_highlight_color(conditions, make_row({"ok"}), 7), 7u);
}

} // namespace
