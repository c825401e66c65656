// The line highlighter's engine, checked range by range through a recording callback.
#include "forms/text/syntax_highlighter.h"
#include "forms/text/zxl_highlighter.h"
#include "tests/support/seeded_random.h"

#include "tests/forms/highlight_range.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

recording_cbs_t run_line(syntax_highlighter_t &hl, const std::string &line, int previous)
{
  recording_cbs_t cbs(previous);
  qstring text(line.data(), line.size());
  hl.highlight(&cbs, &text);
  return cbs;
}

struct line_case_t
{
  const char *name;
  std::string line;
  int previous;
  std::vector<highlight_range_t> ranges;
  int state;
};

TEST(SyntaxHighlighter, ZxlLinesColourRangeByRange)
{
  auto hl = build_zxl_highlighter();
  const line_case_t cases[] = {
    {"block comment opens", "/* a", 0, {{0, 4, 5}}, 1},
    {"block comment closes", "b */ c", 1, {{0, 4, 5}, {4, 2, 0}}, 0},
    {"block comment spans a line", "inside", 1, {{0, 6, 5}}, 1},
    {"comment then keyword", "/* x */ if", 0, {{0, 7, 5}, {7, 1, 0}, {8, 2, 1}}, 0},
    {"directive continues", "#define X \\", 0, {{0, 11, 6}}, 16},
    {"continued directive line", "more \\", 16, {{0, 6, 6}}, 16},
    {"last directive line", "last", 16, {{0, 4, 6}}, 0},
    {"directive after unreported text", "abc #x", 0, {{0, 4, 0}, {4, 2, 6}}, 0},
    {"directive after blank", "1 #x", 0, {{0, 1, 7}, {1, 1, 0}, {2, 2, 6}}, 0},
    {"no directive after text", "1 abc #x", 0, {{0, 1, 7}, {1, 7, 0}}, 0},
    {"escaped quote inside a string", "s = \"a\\\"b\";", 0, {{0, 4, 0}, {4, 6, 4}, {10, 1, 0}}, 0},
    {"unterminated string", "x = \"abc", 0, {{0, 4, 0}, {4, 4, 0}}, 0},
    {"escape at the line end", "'a\\", 0, {{0, 3, 0}}, 0},
    {"sign after a letter", "x-1", 0, {{0, 2, 0}, {2, 1, 7}}, 0},
    {"sign after a blank", "x = -1", 0, {{0, 4, 0}, {4, 2, 7}}, 0},
    {"three keyword groups, case-sensitive", "else void BADADDR Else", 0,
     {{0, 4, 1}, {4, 1, 0}, {5, 4, 2}, {9, 1, 0}, {10, 7, 3}, {17, 5, 0}}, 0},
    {"line comment", "a // c", 0, {{0, 2, 0}, {2, 4, 5}}, 0},
    {"non-BMP character counts once", "\"\xF0\x9F\x98\x80\" x1 1", 0, {{0, 3, 4}, {3, 4, 0}, {7, 1, 7}}, 0},
    {"exponent with sign", "1e+5", 0, {{0, 4, 7}}, 0},
    {"negative fraction", "-2.5", 0, {{0, 4, 7}}, 0},
    {"hexadecimal", "0x1F", 0, {{0, 4, 7}}, 0},
    {"long suffix", "10L", 0, {{0, 3, 7}}, 0},
    {"leading dot", ".5", 0, {{0, 2, 7}}, 0},
    {"exponent word", "e5", 0, {{0, 2, 7}}, 0},
    {"lone dot", ". ", 0, {{0, 1, 7}, {1, 1, 0}}, 0},
    {"hex prefix without digits", "0x", 0, {{0, 2, 0}}, 0},
    {"bad hex digit", "0xg", 0, {{0, 3, 0}}, 0},
    {"two dots", "1.2.3", 0, {{0, 5, 0}}, 0},
    {"suffix followed by a letter", "10Lx", 0, {{0, 4, 0}}, 0},
    {"unknown pair state counts as 0", "a */ b", 5, {{0, 6, 0}}, 0},
    {"first line", "a */ b", -1, {{0, 6, 0}}, 0},
  };
  for ( const line_case_t &c : cases )
  {
    recording_cbs_t cbs = run_line(*hl, c.line, c.previous);
    EXPECT_EQ(cbs.ranges, c.ranges) << c.name;
    EXPECT_EQ(cbs.state, c.state) << c.name;
  }
}

TEST(SyntaxHighlighter, LineWithoutBufferReportsNothing)
{
  auto hl = build_zxl_highlighter();
  recording_cbs_t cbs(0);
  qstring empty;
  hl->highlight(&cbs, &empty);
  EXPECT_TRUE(cbs.ranges.empty());
  EXPECT_EQ(cbs.state, -99);
}

std::vector<std::string> group_words(const keyword_group_t &g)
{
  std::vector<std::string> out;
  for ( const char *w : g.words )
    out.emplace_back(w);
  return out;
}

TEST(SyntaxHighlighter, KeywordGroupsMoveWordsBetweenKeys)
{
  zuk_syntax_highlighter_t hl;
  hl.add_keyword_group("a|b||c|", 1);
  hl.add_keyword_group("b|d", 2);
  hl.add_keyword_group("a", 1); // already in its group: stays in place
  ASSERT_EQ(hl.keyword_groups().size(), 2u);
  EXPECT_EQ(hl.keyword_groups()[0].key, 1);
  EXPECT_EQ(group_words(hl.keyword_groups()[0]), (std::vector<std::string> {"a", "c"}));
  EXPECT_EQ(hl.keyword_groups()[1].key, 2);
  EXPECT_EQ(group_words(hl.keyword_groups()[1]), (std::vector<std::string> {"b", "d"}));

  hl.add_keyword_group("c", 3); // a new key makes a new group at the end
  EXPECT_EQ(hl.group_with_key(3).key, 3);
  EXPECT_EQ(group_words(hl.keyword_groups()[2]), (std::vector<std::string> {"c"}));
  EXPECT_EQ(&hl.group_with_key(1), &hl.keyword_groups()[0]);
  EXPECT_EQ(group_words(hl.group_with_key(9)), std::vector<std::string> {});
  EXPECT_EQ(hl.keyword_groups().size(), 4u);

  recording_cbs_t cbs = run_line(hl, "a b c", 0);
  EXPECT_EQ(cbs.ranges, (std::vector<highlight_range_t> {{0, 1, 1}, {1, 1, 0}, {2, 1, 2}, {3, 1, 0}, {4, 1, 3}}));
}

TEST(SyntaxHighlighter, SixteenthBlockCommentPairIsRefused)
{
  zuk_syntax_highlighter_t hl;
  EXPECT_FALSE(hl.add_block_comment("", "x"));
  EXPECT_FALSE(hl.add_block_comment("x", ""));
  for ( int i = 0; i < 15; ++i )
  {
    std::string open = "<" + std::string(1, char('a' + i));
    std::string close = std::string(1, char('a' + i)) + ">";
    EXPECT_TRUE(hl.add_block_comment(open.c_str(), close.c_str())) << i;
  }
  EXPECT_FALSE(hl.add_block_comment("<z", "z>"));
  // The fifteenth pair keeps state 15 and is continued from it; state 16 stays the directive.
  recording_cbs_t open = run_line(hl, "x <o y", 0);
  EXPECT_EQ(open.state, 15);
  recording_cbs_t cont = run_line(hl, "y o> z", 15);
  EXPECT_EQ(cont.ranges, (std::vector<highlight_range_t> {{0, 4, 5}, {4, 2, 0}}));
  EXPECT_EQ(cont.state, 0);
}

// Every range starts where the previous one ended and stays inside the line.
void expect_ranges_inside(syntax_highlighter_t &hl, const std::string &line, int previous, const char *name)
{
  recording_cbs_t cbs = run_line(hl, line, previous);
  size_t nul = line.find('\0');
  int cps = int(count_code_points(std::string_view(line).substr(0, nul)));
  int next = 0;
  for ( const highlight_range_t &r : cbs.ranges )
  {
    ASSERT_EQ(r.start, next) << name;
    ASSERT_GT(r.length, 0) << name;
    next = r.start + r.length;
  }
  ASSERT_LE(next, cps) << name;
  ASSERT_GE(cbs.state, 0) << name;
  ASSERT_LE(cbs.state, 16) << name;
}

TEST(SyntaxHighlighter, HostileLinesStayInside)
{
  auto hl = build_zxl_highlighter();
  std::string openers;
  for ( int i = 0; i < 5000; ++i )
    openers += "/*";
  std::string closed;
  for ( int i = 0; i < 5000; ++i )
    closed += "/**/";
  const struct
  {
    const char *name;
    std::string line;
  } cases[] = {
    {"invalid UTF-8", "\xC3 \xE2\x82 \xF0\x9F\x98 \x80\x80 \xFF\xFE \"\xC3\""},
    {"truncated sequence at the end", "x = 1 \xF0\x9F"},
    {"NUL bytes", std::string("ab\0/* c", 7)},
    {"a 1 MB line", std::string(1 << 20, 'a') + " 1.5 \"s\" // x"},
    {"a 1 MB number-like run", std::string(1 << 20, '1')},
    {"thousands of comment openers", openers},
    {"thousands of closed comments", closed},
    {"unterminated string", "\"abc"},
    {"escape at the end", "\"abc\\"},
    {"lone hash", "#"},
    {"lone plus", "+"},
    {"lone dot", "."},
    {"hashes after text", "1 a" + std::string(10000, '#')},
  };
  for ( const auto &c : cases )
    for ( int previous : {-1, 0, 1, 15, 16, 17, 31, 1000} )
      expect_ranges_inside(*hl, c.line, previous, c.name);
}

TEST(SyntaxHighlighter, RandomLinesStayInside)
{
  auto hl = build_zxl_highlighter();
  static const char alphabet[] = "/*#\"'\\+-.eExXL0159aZ_ \t\n";
  uint32_t seed = 30126;
  for ( int round = 0; round < seeded_runs(20000); ++round )
  {
    std::string line(next_random(&seed) % 40, ' ');
    for ( char &ch : line )
      ch = next_random(&seed) % 8 == 0 ? char(next_random(&seed) & 0xFF)
                                        : alphabet[next_random(&seed) % (sizeof(alphabet) - 1)];
    int previous = int(next_random(&seed) % 40) - 4;
    expect_ranges_inside(*hl, line, previous, "random line");
    if ( HasFatalFailure() )
    {
      ADD_FAILURE() << "round " << round;
      return;
    }
  }
}

} // namespace
