// Tests of the ignore-rule matcher and the whole-text star matcher.
#include "core/path_pattern.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

struct pattern_case
{
  const char *pattern;
  const char *path;
  bool expected;
};

void PrintTo(const pattern_case &c, std::ostream *os)
{
  *os << "pattern '" << c.pattern << "' path '" << c.path << "'";
}

class PathPatternMatch : public testing::TestWithParam<pattern_case>
{
};

TEST_P(PathPatternMatch, MatchesAsRuleSays)
{
  const pattern_case &c = GetParam();
  EXPECT_EQ(path_pattern_match(c.path, c.pattern, 0), c.expected);
}

INSTANTIATE_TEST_SUITE_P(LastSegment, PathPatternMatch,
                         testing::Values(pattern_case{"*.txt", "a/b/c.txt", true},
                                         pattern_case{"*.txt", "c.txt", true},
                                         pattern_case{"*.txt", "a/b/c.txt/d", false},
                                         pattern_case{"*.txt", "c.txt.bak", false},
                                         pattern_case{"**", "a/b/c", true},
                                         pattern_case{"a**b", "x/axyb", true},
                                         pattern_case{"a**b", "axyc", false},
                                         pattern_case{"?x", "ax", true},
                                         pattern_case{"?x", "x", false},
                                         pattern_case{"C.TXT", "c.txt", false},
                                         pattern_case{"*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
                                         pattern_case{"*a*b", "xaxxbxb", true}));

INSTANTIATE_TEST_SUITE_P(CharacterSets, PathPatternMatch,
                         testing::Values(pattern_case{"[!a-c]x", "dx", true},
                                         pattern_case{"[!a-c]x", "bx", false},
                                         pattern_case{"[]]", "]", true},
                                         pattern_case{"[!]]", "]", false},
                                         pattern_case{"[!]]", "a", true},
                                         pattern_case{"[a-]", "a", true},
                                         pattern_case{"[a-]", "-", true},
                                         pattern_case{"[a-]", "b", false},
                                         pattern_case{"[ab", "a", false},
                                         pattern_case{"*[ab", "xa", false},
                                         pattern_case{"x[0-9][0-9]", "x42", true},
                                         pattern_case{"x[0-9][0-9]", "x4a", false},
                                         // bytes of UTF-8 sequences are negative in ranges: 0xC3 lies below 'a'
                                         pattern_case{"[\xC3-a]", "b", false},
                                         pattern_case{"[\xC3-a]", "\xC3", true},
                                         pattern_case{"[\xC3-a]", "A", true}));

INSTANTIATE_TEST_SUITE_P(Anchored, PathPatternMatch,
                         testing::Values(pattern_case{"a/*.txt", "a/c.txt", true},
                                         pattern_case{"a/*.txt", "a/b/c.txt", false},
                                         pattern_case{"a/*.txt", "x/a/c.txt", false},
                                         pattern_case{"/a", "a", true},
                                         pattern_case{"/a", "x/a", false},
                                         pattern_case{"a/b", "a/b", true},
                                         pattern_case{"a/b", "/a/b", true},
                                         pattern_case{"a/b", "a/b/c", false},
                                         pattern_case{"a/b", "a", false},
                                         pattern_case{"?/x", "ab/x", false},
                                         pattern_case{"?/x", "a/x", true},
                                         pattern_case{"/a/", "a/b", true},
                                         pattern_case{"/a/", "x/a/b", false}));

INSTANTIATE_TEST_SUITE_P(InsideDirectory, PathPatternMatch,
                         testing::Values(pattern_case{"a/", "a/b", true},
                                         pattern_case{"a/", "x/a/b", true},
                                         pattern_case{"a/", "a", false},
                                         pattern_case{"a/", "x/a", false},
                                         pattern_case{"b*/", "x/build/o", true}));

INSTANTIATE_TEST_SUITE_P(AnyDepth, PathPatternMatch,
                         testing::Values(pattern_case{"**/x", "x", true},
                                         pattern_case{"**/x", "a/x", true},
                                         pattern_case{"**/x", "a/b/x", true},
                                         pattern_case{"**/x", "a/b/y", false},
                                         pattern_case{"a/**/b", "a/b", true},
                                         pattern_case{"a/**/b", "a/x/y/b", true},
                                         pattern_case{"a/**/b", "a/x/y/c", false},
                                         pattern_case{"a/**/b", "x/a/b", false},
                                         pattern_case{"a/**", "a/b", true},
                                         pattern_case{"a/**", "a/b/c", true},
                                         pattern_case{"a/**", "a", false},
                                         pattern_case{"**/b/*.o", "x/y/b/m.o", true},
                                         pattern_case{"**/b/*.o", "x/y/b/c/m.o", false}));

INSTANTIATE_TEST_SUITE_P(SeveralAnyDepths, PathPatternMatch,
                         testing::Values(pattern_case{"**/a/**/b", "x/a/y/b", true},
                                         pattern_case{"**/a/**/b", "a/b", true},
                                         pattern_case{"**/a/**/b", "x/a/y", false},
                                         pattern_case{"**/a/**/b", "b/a", false},
                                         pattern_case{"**/a/**/b/c", "a/b/a/b/c", true},
                                         pattern_case{"**/a/**/b/c", "a/b/a/b/d", false},
                                         pattern_case{"**/a/b/**/c/", "a/a/b/c/d", true},
                                         pattern_case{"**/a/b/**/c/", "a/a/b/c", false},
                                         pattern_case{"x/**/a/**/b", "x/a/a/a/b", true},
                                         pattern_case{"x/**/a/**/b", "y/a/b", false},
                                         pattern_case{"**/a/**/a/**/a", "a/a/a", true},
                                         pattern_case{"**/a/**/a/**/a", "a/b/a", false}));

// An ignore file may hold a rule with many "**/" and the work tree may be deep: the answer must still
// come, whichever way it goes (trying every depth for every "**/" would take a power of the depth).
TEST(PathPatternDepth, ManyAnyDepthsOverADeepPath)
{
  std::string deep;
  for ( int i = 0; i < 300; ++i )
    deep += "a/";
  std::string rule;
  for ( int i = 0; i < 8; ++i )
    rule += "**/a/";
  EXPECT_FALSE(path_pattern_match((deep + "c").c_str(), (rule + "b").c_str(), 0));
  EXPECT_TRUE(path_pattern_match((deep + "b").c_str(), (rule + "b").c_str(), 0));
  EXPECT_TRUE(path_pattern_match((deep + "c").c_str(), (rule + "*").c_str(), 0));
}

INSTANTIATE_TEST_SUITE_P(MatchEverything, PathPatternMatch,
                         testing::Values(pattern_case{"*", "a/b/c", true},
                                         pattern_case{"*", "", true},
                                         pattern_case{"/", "a/b", true},
                                         pattern_case{"/", "", true}));

struct star_case
{
  const char *pattern;
  const char *text;
  bool expected;
};

void PrintTo(const star_case &c, std::ostream *os)
{
  *os << "pattern '" << c.pattern << "' text '" << c.text << "'";
}

class StarPatternMatch : public testing::TestWithParam<star_case>
{
};

TEST_P(StarPatternMatch, MatchesWholeText)
{
  const star_case &c = GetParam();
  EXPECT_EQ(star_pattern_match(c.text, c.pattern), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, StarPatternMatch,
                         testing::Values(star_case{"*", "", true},
                                         star_case{"*", "a/b", true},
                                         star_case{"a*c", "ac", true},
                                         star_case{"a*c", "abc", true},
                                         star_case{"a*c", "a/b/c", true},
                                         star_case{"a*c", "a/b/cd", false},
                                         star_case{"a?c", "abc", true},
                                         star_case{"a?c", "ac", false},
                                         star_case{"a?c", "a/c", true},
                                         star_case{"", "", true},
                                         star_case{"", "a", false},
                                         star_case{"a**", "a", true},
                                         star_case{"*b*b*b*b*b*b*b*c", "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", false},
                                         star_case{"[a]", "a", false},
                                         star_case{"[a]", "[a]", true}));

} // namespace
