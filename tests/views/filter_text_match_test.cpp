// Matching one text against a filter condition in every mode and test, and compiling its pattern.
#include "views/filter/code_points.h"
#include "views/filter/filter_condition.h"
#include "views/filter/letter_set.h"
#include "views/filter/text_fold.h"

#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/views/make_condition.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

struct text_case_t
{
  const char *name;
  uint32_t flags;
  const char *query;
  const char *text;
  bool pass;
  std::vector<uint16_t> positions; // empty: not checked
};

constexpr uint16_t none = no_match_position;
constexpr uint32_t WW = filter_mode_whole_words;
constexpr uint32_t RX = filter_mode_regex;
constexpr uint32_t MC = filter_match_case;

TEST(FilterTextMatch, EveryTestInEveryModeWithAndWithoutMatchCase)
{
  const text_case_t cases[] = {
    {"contains folds ascii", filter_test_contains, "BAR", "foobar", true, {3, 6}},
    {"contains under match case", filter_test_contains | MC, "BAR", "foobar", false, {}},
    {"contains exact case", filter_test_contains | MC, "bar", "foobar", true, {3, 6}},
    {"contains counts code points", filter_test_contains, "x", "\xC3\xA9\xC3\xA9x", true, {2, 3}},
    {"contains rejected by letters", filter_test_contains, "zz", "foobar", false, {}},
    {"doesn't contain zz", filter_test_not_contains, "zz", "foobar", true, {none, none}},
    {"doesn't contain fails", filter_test_not_contains, "OB", "foobar", false, {}},
    {"doesn't contain case", filter_test_not_contains | MC, "OB", "foobar", true, {none, none}},
    {"is whole text", filter_test_is, "FOOBAR", "foobar", true, {0, 6}},
    {"is not a part", filter_test_is, "foo", "foobar", false, {}},
    {"is under match case", filter_test_is | MC, "FOOBAR", "foobar", false, {}},
    {"is not", filter_test_is_not, "foo", "foobar", true, {0, 3}},
    {"is not equal folded", filter_test_is_not, "FOOBAR", "foobar", false, {}},
    {"is not under match case", filter_test_is_not | MC, "FOOBAR", "foobar", true, {0, 6}},
    {"begins with", filter_test_begins, "FOO", "foobar", true, {0, 3}},
    {"begins with exact", filter_test_begins | MC, "FOO", "foobar", false, {}},
    {"begins with longer query", filter_test_begins, "foobarbaz", "foobar", false, {}},
    {"ends with", filter_test_ends, "BAR", "\xC3\xA9oobar", true, {3, 6}},
    {"ends with exact", filter_test_ends | MC, "BAR", "foobar", false, {}},
    {"ends with longer query", filter_test_ends, "xfoobar", "foobar", false, {}},
    {"less than folds to lower", filter_test_less, "B", "a", true, {0, 1}},
    {"less than underscore after letters", filter_test_less, "_", "A", false, {}},
    {"less than exact underscore", filter_test_less | MC, "_", "A", true, {0, 1}},
    {"more than", filter_test_more, "a", "b", true, {0, 1}},
    {"more than equal", filter_test_more, "B", "b", false, {}},
    {"whole words open", WW, "open", "file_open", true, {5, 9}},
    {"whole words open file", WW, "open", "open file", true, {0, 4}},
    {"whole words reopen", WW, "open", "reopen", false, {}},
    {"whole words alternation stays inside words", WW, "a|b", "cab", false, {}},
    {"whole words alternation", WW, "a|b", "x b", true, {2, 3}},
    {"whole words folds", WW, "OPEN", "file_open", true, {5, 9}},
    {"whole words match case", WW | MC, "OPEN", "file_open", false, {}},
    {"whole words in code points", WW, "open", "\xC3\xA9\xC3\xA9 open", true, {3, 7}},
    {"regex contains", RX, "o+b", "foobar", true, {1, 4}},
    {"regex in code points", RX, "b.r", "\xC3\xA9\xC3\xA9" "bar", true, {2, 5}},
    {"regex folds", RX, "O+B", "foobar", true, {1, 4}},
    {"regex match case", RX | MC, "O+B", "foobar", false, {}},
    {"regex is spans the text", RX | filter_test_is, "ab", "abc", false, {}},
    {"regex is whole", RX | filter_test_is, "ab.", "abc", true, {0, 3}},
    {"regex is not a part", RX | filter_test_is_not, "ab", "abc", true, {none, none}},
    {"regex doesn't contain", RX | filter_test_not_contains, "z", "abc", true, {none, none}},
    {"regex doesn't contain fails", RX | filter_test_not_contains, "b", "abc", false, {}},
    // The ordering and edge tests have no meaning of their own for expressions: like "doesn't contain",
    // they pass exactly when the expression is not found.
    {"regex begins with passes without a match", RX | filter_test_begins, "foo", "barbaz", true, {none, none}},
    {"regex begins with fails on a match", RX | filter_test_begins, "foo", "foobar", false, {}},
    {"regex ends with fails on a match anywhere", RX | filter_test_ends, "foo", "foobar", false, {}},
    {"regex less than passes without a match", RX | filter_test_less, "b", "a", true, {none, none}},
    {"whole words more than fails on a match", WW | filter_test_more, "a", "x a", false, {}},
    {"whole words more than passes without a match", WW | filter_test_more, "a", "xa", true, {none, none}},
  };
  for ( const text_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    const filter_condition_t cond = make_condition(c.flags, c.query);
    filter_match_t match;
    const std::string text = c.text;
    EXPECT_EQ(filter_text_match(cond, &match, text, letter_set(text)), c.pass);
    EXPECT_EQ(filter_text_match(cond, nullptr, text, letter_set(text)), c.pass);
    if ( c.pass && !c.positions.empty() )
    {
      EXPECT_EQ(match.match_positions, c.positions);
      EXPECT_EQ(match.flags, match_recorded);
    }
  }
}

TEST(FilterTextMatch, EmptyQueryAndDisabledConditionMatchEveryTextInEveryMode)
{
  for ( uint32_t mode = 0; mode < 4; ++mode )
  {
    filter_condition_t empty = make_condition(mode, "");
    filter_condition_t disabled = make_condition(mode | filter_disabled, "zzz");
    for ( const std::string text : {"", "abc"} )
    {
      filter_match_t match;
      EXPECT_TRUE(filter_text_match(empty, &match, text, letter_set(text))) << mode;
      EXPECT_TRUE(filter_text_match(disabled, &match, text, letter_set(text))) << mode;
      EXPECT_EQ(match.flags, 0u);
    }
  }
}

TEST(FilterTextMatch, PositionsPastTheLimitAreNotRecorded)
{
  const std::string text = std::string(70000, 'a') + " needle";
  for ( const uint32_t flags : {filter_test_contains, RX, WW} )
  {
    const filter_condition_t cond = make_condition(flags, "needle");
    filter_match_t match;
    ASSERT_TRUE(filter_text_match(cond, &match, text, letter_set(text)));
    EXPECT_EQ(match.match_positions, (std::vector<uint16_t>{none, none})) << flags;
  }
  const std::string edge = std::string(65528, 'a') + "needle";
  filter_match_t match;
  ASSERT_TRUE(filter_text_match(make_condition(0, "needle"), &match, edge, letter_set(edge)));
  EXPECT_EQ(match.match_positions, (std::vector<uint16_t>{65528, 65534}));
  const std::string past = std::string(65529, 'a') + "needle";
  ASSERT_TRUE(filter_text_match(make_condition(0, "needle"), &match, past, letter_set(past)));
  EXPECT_EQ(match.match_positions, (std::vector<uint16_t>{65529, none}));
}

TEST(FilterCompile, InvalidExpressionsAreLoggedAndKeepNoPattern)
{
  recording_ui_callback_t ui;
  for ( const uint32_t mode : {RX, WW} )
  {
    filter_condition_t c = make_condition(mode, "ok");
    ASSERT_TRUE(c.regex != nullptr);
    c.set_text("(a");
    EXPECT_FALSE(c.compile_regex());
    EXPECT_TRUE(c.lacks_pattern());
    EXPECT_FALSE(filter_text_match(c, nullptr, "(a", letter_set("(a")));
  }
  // A query that would reach out of the whole-word group does not compile either.
  filter_condition_t c = make_condition(WW, "a)|(b");
  EXPECT_TRUE(c.lacks_pattern());
  const auto logged = ui.requests_of(23);
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_EQ(logged[0].text.rfind("invalid regex: ", 0), 0u) << logged[0].text;
  EXPECT_EQ(logged[0].text.back(), '\n');
  // An empty query holds no pattern and logs nothing.
  filter_condition_t empty = make_condition(RX, "");
  EXPECT_FALSE(empty.compile_regex());
  EXPECT_EQ(ui.requests_of(23).size(), 3u);
}

TEST(FilterCompile, CopiesShareThePatternAndEqualityNeedsNone)
{
  filter_condition_t a = make_condition(RX, "a.c");
  filter_condition_t b = a;
  EXPECT_EQ(a.regex.get(), b.regex.get());
  EXPECT_EQ(a.regex.use_count(), 2);
  EXPECT_FALSE(filter_conditions_equal(a, b));
  filter_condition_t x = make_condition(filter_test_is, "abc");
  filter_condition_t y = make_condition(filter_test_is, "abc");
  EXPECT_TRUE(filter_conditions_equal(x, y));
  y.color = 5;
  EXPECT_FALSE(filter_conditions_equal(x, y));
  y = make_condition(filter_test_is, "abd");
  EXPECT_FALSE(filter_conditions_equal(x, y));
}

TEST(FilterQuery, LetterSetsAndTheLengthCheck)
{
  filter_condition_t c;
  c.set_text("ab_");
  EXPECT_EQ(c.letter_mask, (uint64_t(1) << ('A' & 63)) | (uint64_t(1) << ('B' & 63)) | (uint64_t(1) << ('_' & 63)));
  EXPECT_EQ(letter_set("aB"), letter_set("Ab"));
  EXPECT_EQ(letter_set("\xC3\xA9"), 0u); // non-ASCII bytes require nothing
  EXPECT_TRUE(letter_set_covers(letter_set("xaxb"), letter_set("ab")));
  EXPECT_FALSE(letter_set_covers(letter_set("xaxb"), letter_set("abz")));
  EXPECT_EQ(interr_number([&] { set_filter_query(&c, "x", SIZE_MAX); }), 40527);
}

TEST(FilterQuery, LetterSetOfEveryByteAtEveryPlace)
{
  // Each byte value alone, and at every offset of texts of several lengths (the set is built several bytes at
  // a time), against the rule: bit (upper case of b AND 63) for bytes below 0x80, nothing for the others.
  const auto expected_bit = [](unsigned b) {
    return b < 0x80 ? uint64_t(1) << (ascii_upper(static_cast<unsigned char>(b)) & 63) : 0;
  };
  for ( unsigned b = 0; b < 256; ++b )
  {
    const char byte = static_cast<char>(b);
    EXPECT_EQ(letter_set(std::string_view(&byte, 1)), expected_bit(b)) << b;
    for ( const size_t length : {2, 3, 4, 5, 7, 8, 9, 17} )
      for ( size_t at = 0; at < length; ++at )
      {
        std::string text(length, '\x80');
        text[at] = byte;
        EXPECT_EQ(letter_set(text), expected_bit(b)) << b << " " << length << " " << at;
      }
  }
  EXPECT_EQ(letter_set(""), 0u);
  EXPECT_EQ(letter_set("/usr/Lib_x.cpp"), letter_set("/USR/LIB_X.CPP"));
}

} // namespace
