// Fuzzy matching, its scores, the letter-set pre-test under folding, and the fuzzy ranking.
#include "views/filter/fuzzy_match.h"
#include "views/filter/letter_set.h"
#include "views/filter/text_fold.h"

#include "tests/support/interr_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

bool fuzzy(filter_match_t *m, const std::string &q, const std::string &t, bool match_case = false)
{
  return fuzzy_search(m, q, letter_set(q), t, letter_set(t), match_case);
}

struct score_case_t
{
  const char *query;
  const char *text;
  bool match_case;
  bool pass;
  std::vector<uint16_t> positions;
  int64_t sum;
  double ratio;
  double use;
  uint32_t flags; // beyond match_recorded | match_fuzzy_score
};

TEST(FuzzySearch, HitsAndScores)
{
  constexpr uint32_t F = match_first_char;
  constexpr uint32_t P = match_query_is_prefix;
  const score_case_t cases[] = {
    {"fb", "FooBar", false, true, {0, 3}, 3, 1.0, 1.0, F},
    {"fb", "foo_bar", false, true, {0, 4}, 4, 1.0, 1.0, F},
    {"ab", "xaxb", false, true, {1, 3}, 4, 0.0, 0.0, 0},
    {"abz", "xaxb", false, false, {}, 0, 0, 0, 0},
    {"abc", "ab", false, false, {}, 0, 0, 0, 0},
    {"ba", "ab", false, false, {}, 0, 0, 0, 0},
    {"FB", "FooBar", true, true, {0, 3}, 3, 0.0, 0.0, F},
    {"fo", "fo_bar", false, true, {0, 1}, 1, 0.5, 0.5, F | P},
    {"fo", "foo", false, true, {0, 1}, 1, 0.5, 1.0, F | P},
    {"FO", "foo", true, false, {}, 0, 0, 0, 0},
    {"\xC3\xA9x", "a\xC3\x89zx", false, true, {1, 3}, 4, 0.0, 0.0, 0},   // folded beyond ASCII
    {"\xC3\xA9x", "a\xC3\x89zx", true, false, {}, 0, 0, 0, 0},
    {"\xD0\xB4", "\xD0\x94\xD0\xB0", false, true, {0}, 0, 0.5, 1.0, F}, // Cyrillic
    {"\xFFy", "x\xFFy", true, true, {1, 2}, 3, 0.0, 0.0, 0},               // invalid UTF-8 bytes
  };
  for ( const score_case_t &c : cases )
  {
    SCOPED_TRACE(std::string(c.query) + " / " + c.text);
    filter_match_t m;
    ASSERT_EQ(fuzzy(&m, c.query, c.text, c.match_case), c.pass);
    if ( !c.pass )
      continue;
    EXPECT_EQ(m.match_positions, c.positions);
    EXPECT_EQ(m.char_match_index_sum_, c.sum);
    EXPECT_DOUBLE_EQ(m.boundary_chars_ratio, c.ratio);
    EXPECT_DOUBLE_EQ(m.boundary_chars_use, c.use);
    EXPECT_EQ(m.flags, match_recorded | match_fuzzy_score | c.flags);
  }
}

TEST(FuzzySearch, LetterSetNeverRejectsWhatFoldingAccepts)
{
  // Every pair of code points that the fold makes equal must pass the letter-set test both ways.
  for ( uint32_t cp = 1; cp < 0x10000; ++cp )
  {
    if ( cp >= 0xD800 && cp <= 0xDFFF )
      continue;
    const uint32_t up = fold_upper(cp);
    if ( up == cp )
      continue;
    EXPECT_EQ(cp < 0x80, up < 0x80) << std::hex << cp;
    char a[5] = {};
    char b[5] = {};
    const auto encode = [](uint32_t v, char *out) {
      if ( v < 0x80 ) out[0] = char(v);
      else if ( v < 0x800 ) { out[0] = char(0xC0 | (v >> 6)); out[1] = char(0x80 | (v & 0x3F)); }
      else { out[0] = char(0xE0 | (v >> 12)); out[1] = char(0x80 | ((v >> 6) & 0x3F)); out[2] = char(0x80 | (v & 0x3F)); }
    };
    encode(cp, a);
    encode(up, b);
    EXPECT_TRUE(fuzzy(nullptr, a, b)) << std::hex << cp;
    EXPECT_TRUE(fuzzy(nullptr, b, a)) << std::hex << cp;
  }
}

TEST(FuzzySearch, PositionsPastTheLimitAndEmptyInputs)
{
  filter_match_t m;
  ASSERT_TRUE(fuzzy(&m, "ab", "a" + std::string(70000, '.') + "b"));
  EXPECT_EQ(m.match_positions, (std::vector<uint16_t>{0, 0xFFFF}));
  EXPECT_EQ(m.char_match_index_sum_, 70001);
  EXPECT_EQ(interr_number([] { (void)fuzzy_search(nullptr, "", 0, "abc", letter_set("abc"), false); }), 40528);
  EXPECT_EQ(interr_number([] { (void)fuzzy_search(nullptr, "a", 0, "", ~uint64_t(0), false); }), 40528);
}

TEST(FuzzyRank, OrderOfRules)
{
  struct rank_case_t
  {
    const char *query;
    const char *first;  // ranks before
    const char *second;
  };
  const rank_case_t cases[] = {
    {"fo", "file_open", "info"},      // first-character match
    {"fo", "foo", "fo_bar"},          // equal up to the boundary use
    {"fb", "foo_bar", "fooxbar"},     // complete boundary match before the prefix rule
    {"ab", "abxx", "a_xb"},           // prefix
    {"ab", "axb", "axxb"},            // index sum
    {"ab", "ab", "abc"},              // shorter text
    {"ab", "ab\xC3", "abc"},          // signed bytes: non-ASCII first
  };
  for ( const rank_case_t &c : cases )
  {
    SCOPED_TRACE(std::string(c.first) + " before " + c.second);
    filter_match_t a;
    filter_match_t b;
    ASSERT_TRUE(fuzzy(&a, c.query, c.first));
    ASSERT_TRUE(fuzzy(&b, c.query, c.second));
    EXPECT_TRUE(fuzzy_rank_compare(a, c.first, b, c.second));
    EXPECT_FALSE(fuzzy_rank_compare(b, c.second, a, c.first));
    EXPECT_FALSE(fuzzy_rank_compare(a, c.first, a, c.first));
  }
  filter_match_t scored;
  ASSERT_TRUE(fuzzy(&scored, "a", "a"));
  filter_match_t plain;
  plain.record_range(0, 1);
  EXPECT_EQ(interr_number([&] { (void)fuzzy_rank_compare(scored, "a", plain, "a"); }), 40530);
}

} // namespace
