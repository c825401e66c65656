// Hostile queries and texts: expressions that do not compile or explode, invalid UTF-8, megabyte rows.
// Nothing may crash or hang; an expression over its budget is dropped like one that does not compile.
#include "views/filter/bucket_sorting.h"
#include "views/filter/row_filter.h"

#include "tests/support/recording_ui_callback.h"
#include "tests/views/make_condition.h"
#include "tests/views/sanitizer_scale.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace
{

TEST(HostileQueries, Table)
{
  recording_ui_callback_t ui;
  const std::string long_a = std::string(size_t(scaled(100000)), 'a') + "!";
  const std::string megabyte = std::string(1 << 20, 'x') + "needle";
  std::string humps;
  while ( humps.size() < size_t(scaled(1 << 20)) )
    humps += "aB_c.";
  const std::string long_query(2000, 'b');
  struct hostile_case_t
  {
    const char *name;
    uint32_t flags;
    std::string query;
    std::string text;
    bool pass;    // the row is shown by the first pass
    bool dropped; // the condition ends without a usable pattern
  };
  const hostile_case_t cases[] = {
    {"unbalanced group", filter_mode_regex, "(a", "(a", true, true},
    {"dangling escape", filter_mode_regex, "a\\", "a\\", true, true},
    {"bad repetition", filter_mode_regex, "*a", "*a", true, true},
    {"group escape in whole words", filter_mode_whole_words, "a)(b", "a)(b", true, true},
    {"catastrophic backtracking", filter_mode_regex, "(a+)+$", long_a, false, true},
    {"catastrophic under whole words", filter_mode_whole_words, "(a|aa)+$", long_a, false, true},
    {"catastrophic with a raised limit", filter_mode_regex, "(*LIMIT_MATCH=10000000)(a+)+$", long_a, false, true},
    {"invalid UTF-8 query in substring mode", 0, "\xFF\xC3", "x\xFF\xC3y", true, false},
    {"invalid UTF-8 text in regex mode", filter_mode_regex, "y", "\xC3\x28\xFFy", true, false},
    {"invalid UTF-8 in fuzzy mode", filter_mode_fuzzy, "\xE2\x82y", "\xE2\x82\xE2y", true, false},
    {"megabyte row, substring", filter_test_ends, "NEEDLE", megabyte, true, false},
    {"megabyte row, regex", filter_mode_regex, "ne+dle$", megabyte, true, false},
    {"megabyte row, whole words", filter_mode_whole_words, "needle", megabyte, false, false},
    {"megabyte row, fuzzy", filter_mode_fuzzy, "xneedle", megabyte, true, false},
    {"long fuzzy query over word humps", filter_mode_fuzzy, long_query, humps, true, false},
  };
  for ( const hostile_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    filter_condition_t cond = make_condition(c.flags, c.query);
    item_info_t row(1);
    row.set_text(0, c.text);
    EXPECT_EQ(filter_cached_row({cond}, &row), c.pass);
    EXPECT_EQ(cond.lacks_pattern(), c.dropped);
    if ( c.dropped ) // a dropped condition filters nothing in the next pass
    {
      EXPECT_TRUE(filter_cached_row({cond}, &row));
    }
  }
  bool over_budget_logged = false;
  for ( const ui_request_record_t &r : ui.requests_of(23) )
    over_budget_logged |= r.text.rfind("regex over budget, dropped: ", 0) == 0;
  EXPECT_TRUE(over_budget_logged);
}

TEST(HostileQueries, SeededLoopOfQueriesAndModes)
{
  recording_ui_callback_t ui;
  std::mt19937_64 rng(4242);
  const char *const atoms[] = {"a", "(", ")", "+", "*", "?", "|", "\\", "[", "]", "{2,}", ".", "$", "^", "\xFF",
                               "\xC3", "\xA9", "_", "b", "(?:", "\\b", "(*", "(a+)+", "\\1", "\xE2\x82\xAC"};
  const char *const text_atoms[] = {"a", "b", "_", " ", "\xC3\xA9", "\xFF", "aaaaaaaaaaaaaaaaaaaaaaaa", "(", "+"};
  for ( int round = 0; round < scaled(400); ++round )
  {
    std::string query;
    for ( size_t i = rng() % 8; i > 0; --i )
      query += atoms[rng() % std::size(atoms)];
    const uint32_t flags = uint32_t(rng() % 4) | uint32_t(rng() % 8) << 12 | (rng() % 2 ? filter_match_case : 0);
    const std::vector<filter_condition_t> conditions{make_condition(flags, query)};
    std::vector<item_info_t> rows;
    for ( int r = 0; r < 8; ++r )
    {
      std::string text;
      for ( size_t i = rng() % 40; i > 0; --i )
        text += text_atoms[rng() % std::size(text_atoms)];
      item_info_t row(2);
      row.set_text(0, text);
      row.set_text(1, text.substr(0, text.size() / 2));
      (void)filter_cached_row(conditions, &row);
      (void)row_highlight_color(conditions, row, 0);
      rows.push_back(std::move(row));
    }
    class all_rows_t : public bucket_rows_t
    {
    public:
      explicit all_rows_t(std::vector<item_info_t> &r) : r_(r) {}
      item_info_t *cached_row(uint64_t p) override { return p < r_.size() ? &r_[p] : nullptr; }
      std::vector<item_info_t> &r_;
    } bucket(rows);
    std::vector<uint64_t> positions{0, 1, 2, 3, 4, 5, 6, 7, 8};
    bucket_fuzzy_sorting_t().sort(bucket, positions, 0);
    bucket_column_sorting_t(0, column_flags_hex, false).sort(bucket, positions, 1);
  }
}

} // namespace
