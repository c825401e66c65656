// Sorting the rows of a bucket by column (texts, sizes, hexadecimal numbers) and by fuzzy rank.
#include "views/filter/bucket_sorting.h"
#include "views/filter/filter_condition.h"
#include "views/filter/row_filter.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace
{

// A bucket over a map of rows; a position without a row is not cached.
class test_rows_t : public bucket_rows_t
{
public:
  item_info_t *cached_row(uint64_t position) override
  {
    const auto it = rows.find(position);
    return it == rows.end() ? nullptr : &it->second;
  }
  void add(uint64_t position, std::vector<std::string> texts)
  {
    item_info_t row(texts.size());
    for ( size_t i = 0; i < texts.size(); ++i )
      row.set_text(i, texts[i]);
    rows.emplace(position, std::move(row));
  }
  std::map<uint64_t, item_info_t> rows;
};

std::vector<uint64_t> sorted(test_rows_t &rows, const bucket_sorting_strategy_t &s, size_t count, size_t first = 0)
{
  std::vector<uint64_t> positions(count);
  for ( size_t i = 0; i < count; ++i )
    positions[i] = i;
  s.sort(rows, positions, first);
  return positions;
}

TEST(ColumnSorting, KeysAndDirections)
{
  struct sort_case_t
  {
    const char *name;
    uint32_t flags;
    bool descending;
    std::vector<const char *> texts;
    std::vector<uint64_t> order;
  };
  const sort_case_t cases[] = {
    {"hexadecimal", column_flags_hex, false, {"0x10", "ff", "zz"}, {2, 0, 1}},
    {"hexadecimal descending", column_flags_hex, true, {"0x10", "ff", "zz"}, {1, 0, 2}},
    {"hexadecimal above 2^63 is large", column_flags_hex, false, {"FFFFFFFFFFFFFFFF", "1", "0x00000000000000000002"}, {1, 2, 0}},
    {"hexadecimal too long is no number", column_flags_hex, false, {"1", "10000000000000000"}, {1, 0}},
    {"decimal and sizes", column_flags_decimal, false, {"2k", "1500", "abc", "infty", "7"}, {2, 4, 1, 0, 3}},
    {"texts as unsigned bytes", 0, false, {"b", "\xC3\xA9", "B", "a", ""}, {4, 2, 3, 0, 1}},
    {"descending keeps equal texts in order", 0, true, {"x", "y", "x", "y"}, {1, 3, 0, 2}},
    {"ascending keeps equal texts in order", 0, false, {"y", "x", "y", "x"}, {1, 3, 0, 2}},
  };
  for ( const sort_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    test_rows_t rows;
    for ( size_t i = 0; i < c.texts.size(); ++i )
      rows.add(i, {"name", c.texts[i]});
    const auto strategy = new_bucket_column_sorting(1, c.descending ? sort_order_descending : 0, c.flags);
    ASSERT_NE(strategy, nullptr);
    EXPECT_EQ(strategy->kind, bucket_sorting_strategy_t::column_sorting);
    EXPECT_EQ(sorted(rows, *strategy, c.texts.size()), c.order);
    // Sorting again with the cached keys gives the same order.
    EXPECT_EQ(sorted(rows, *strategy, c.texts.size()), c.order);
  }
  EXPECT_EQ(new_bucket_column_sorting(-1, 0, 0), nullptr);
}

TEST(ColumnSorting, LeadingRowsStayAndUncachedOrShortRowsGoLast)
{
  test_rows_t rows;
  rows.add(0, {"z"});
  rows.add(1, {"y"});
  rows.add(2, {"c", "3"});
  rows.add(4, {"a", "1"});
  rows.add(5, {"b"});       // lacks column 1
  rows.add(6, {"b", "2"});
  for ( const bool descending : {false, true} )
  {
    bucket_column_sorting_t by_second(1, column_flags_decimal, descending);
    std::vector<uint64_t> positions{0, 1, 2, 3, 4, 5, 6};
    by_second.sort(rows, positions, 2);
    // Rows lacking the column come after the others, rows not cached after all.
    EXPECT_EQ(positions, descending ? (std::vector<uint64_t>{0, 1, 2, 6, 4, 5, 3})
                                    : (std::vector<uint64_t>{0, 1, 4, 6, 2, 5, 3}));
  }
  bucket_column_sorting_t by_first(0, 0, false);
  std::vector<uint64_t> positions{0, 1, 2, 3, 4, 5, 6};
  by_first.sort(rows, positions, 9); // beyond the end: nothing moves
  EXPECT_EQ(positions, (std::vector<uint64_t>{0, 1, 2, 3, 4, 5, 6}));
}

TEST(ColumnSortKey, ParsesOncePerKind)
{
  item_info_t row(2);
  row.set_text(0, "ff");
  row.set_text(1, "12");
  EXPECT_TRUE(column_sort_key(&row, 0, sort_key_hex, column_flags_hex));
  EXPECT_EQ(row.sort_keys[0].value, 255);
  EXPECT_FALSE(column_sort_key(&row, 0, sort_key_decimal, column_flags_hex)); // parsed as the other kind
  EXPECT_FALSE(column_sort_key(&row, 1, sort_key_hex, 0));                    // not a hexadecimal column
  EXPECT_FALSE(column_sort_key(&row, 1, sort_key_decimal, 0));                // the kind stuck on the failure
  EXPECT_EQ(row.sort_keys[1].value, 0);
  EXPECT_FALSE(column_sort_key(&row, 2, sort_key_decimal, 0));
  EXPECT_FALSE(column_sort_key(&row, 0, sort_key_unparsed, 0));
  row.set_text(1, "12");
  EXPECT_TRUE(column_sort_key(&row, 1, sort_key_decimal, 0));
  EXPECT_EQ(row.sort_keys[1].value, 12);
}

TEST(FuzzySorting, RanksScoredRowsAndPutsUnscoredOnesLast)
{
  filter_condition_t fuzzy;
  fuzzy.flags = filter_mode_fuzzy;
  fuzzy.set_text("fo");
  filter_condition_t other;
  other.set_text("zz");
  other.flags = filter_test_contains;
  const std::vector<filter_condition_t> conditions{fuzzy, other};
  test_rows_t rows;
  const std::vector<std::string> texts{"info", "zz let through", "foo", "fo_bar", "file_open"};
  for ( size_t i = 0; i < texts.size(); ++i )
  {
    rows.add(i, {"#", texts[i]});
    ASSERT_TRUE(filter_cached_row(conditions, &rows.rows[i])) << texts[i];
  }
  EXPECT_EQ(rows.rows[1].match.flags & match_fuzzy_score, 0u);
  EXPECT_EQ(rows.rows[2].match.column, 1);
  bucket_fuzzy_sorting_t by_rank;
  EXPECT_EQ(by_rank.kind, bucket_sorting_strategy_t::fuzzy_sorting);
  EXPECT_EQ(sorted(rows, by_rank, 6), (std::vector<uint64_t>{4, 2, 3, 0, 1, 5}));
}

} // namespace
