// The entry-table pattern walk: which keys each kind of pattern selects, subdirectories reported once,
// the visitor's answer ending the walk.
#include "repo/entry_table_walk.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

using report_t = std::pair<std::string, int64_t>;

class recording_visitor_t : public entry_visitor_t
{
public:
  int visit(const char *path, int64_t slot) override
  {
    reports.emplace_back(path, slot);
    return path == stop_at ? stop_answer : 0;
  }

  std::vector<report_t> reports;
  std::string stop_at;
  int stop_answer = 0;
};

entry_table_t table_of(const std::vector<std::string> &keys)
{
  entry_table_t table;
  for ( const std::string &key : keys )
    table.emplace(key, int64_t(table.size()));
  return table;
}

// Slots follow the order the keys were given in, so that a report shows which key it came from.
const std::vector<std::string> sample_keys = {"/a/b", "/a/c", "/a/d/e", "/a/d/f", "/x"};

struct walk_case_t
{
  const char *name;
  std::vector<std::string> keys;
  const char *pattern; // null: no pattern
  std::vector<report_t> expected;
};

const walk_case_t walk_cases[] = {
  {"DirectoryNameSelectsEverythingBelow", sample_keys, "/a", {{"/a/b", 0}, {"/a/c", 1}, {"/a/d/e", 2}, {"/a/d/f", 3}}},
  {"TrailingSlashSelectsEverythingBelow", sample_keys, "/a/", {{"/a/b", 0}, {"/a/c", 1}, {"/a/d/e", 2}, {"/a/d/f", 3}}},
  {"StarReportsFilesAndEachSubdirectoryOnce", sample_keys, "/a/*", {{"/a/b", 0}, {"/a/c", 1}, {"/a/d", -1}}},
  {"PlainFileSelectsItselfOnly", sample_keys, "/a/c", {{"/a/c", 1}}},
  {"QuestionMarkDoesNotReachIntoSubdirectories", sample_keys, "/a/?", {{"/a/b", 0}, {"/a/c", 1}}},
  {"EmptyPatternSelectsEveryKey", sample_keys, "",
   {{"/a/b", 0}, {"/a/c", 1}, {"/a/d/e", 2}, {"/a/d/f", 3}, {"/x", 4}}},
  {"MissingPatternSelectsEveryKey", sample_keys, nullptr,
   {{"/a/b", 0}, {"/a/c", 1}, {"/a/d/e", 2}, {"/a/d/f", 3}, {"/x", 4}}},
  {"RootStarListsTopLevel", sample_keys, "/*", {{"/a", -1}, {"/x", 4}}},
  {"SubdirectoriesSharingAPrefixAreReportedApart", {"/a/b-c/x", "/a/b/y"}, "/a/*", {{"/a/b-c", -1}, {"/a/b", -1}}},
  {"SubdirectoryIsReportedOnlyWhenItsFirstKeyMatches", {"/a/d/e", "/a/d/x.c", "/a/k.c"}, "/a/*.c", {{"/a/k.c", 2}}},
  {"StarCrossesSlashesInTheTestedRest", {"/a/d/x.c", "/a/k.h"}, "/a/*.c", {{"/a/d", -1}}},
  {"DirectoryTestStepsOverKeysSortingBeforeTheSlash", {"/a.txt", "/a/b", "/a-z"}, "/a", {{"/a/b", 1}}},
  {"FileBesideSameNamedPrefixIsAFile", {"/a", "/ab/c"}, "/a", {{"/a", 0}}},
  {"SiblingWithLongerNameIsNotInside", {"/a/b", "/ab/c", "/a0/d"}, "/a/*", {{"/a/b", 0}}},
  {"NothingMatches", sample_keys, "/a/zz*", {}},
  {"MissingDirectory", sample_keys, "/q/", {}},
  {"RelativeKeysWithoutDirectoryPart", {"a", "b/c", "ba"}, "b*", {{"b", -1}, {"ba", 2}}},
  {"RelativeDirectoryName", {"a", "b/c", "b/d/e", "ba"}, "b", {{"b/c", 1}, {"b/d/e", 2}}},
  {"ServerStyleKeys", {"//s/a", "//s/b/c"}, "//s/*", {{"//s/a", 0}, {"//s/b", -1}}},
};

// Failure messages name the row.
void PrintTo(const walk_case_t &c, std::ostream *os)
{
  *os << c.name;
}

class EntryTableWalk : public testing::TestWithParam<walk_case_t>
{
};

TEST_P(EntryTableWalk, ReportsTheSelectedKeysInOrder)
{
  const walk_case_t &c = GetParam();
  const entry_table_t table = table_of(c.keys);
  recording_visitor_t visitor;
  EXPECT_EQ(walk_entry_table(&visitor, table, c.pattern), 0);
  EXPECT_EQ(visitor.reports, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Patterns, EntryTableWalk, testing::ValuesIn(walk_cases),
                         [](const testing::TestParamInfo<walk_case_t> &info) { return std::string(info.param.name); });

TEST(EntryTableWalkStops, NonZeroAnswerEndsTheWalkWithIt)
{
  const entry_table_t table = table_of(sample_keys);
  struct stop_case_t
  {
    const char *pattern;
    const char *stop_at;
    std::vector<report_t> expected;
  };
  const stop_case_t cases[] = {
    {"/a", "/a/c", {{"/a/b", 0}, {"/a/c", 1}}},
    {"/a/*", "/a/d", {{"/a/b", 0}, {"/a/c", 1}, {"/a/d", -1}}},
    {"/a/c", "/a/c", {{"/a/c", 1}}},
  };
  for ( const stop_case_t &c : cases )
  {
    recording_visitor_t visitor;
    visitor.stop_at = c.stop_at;
    visitor.stop_answer = 7;
    EXPECT_EQ(walk_entry_table(&visitor, table, c.pattern), 7) << c.pattern;
    EXPECT_EQ(visitor.reports, c.expected) << c.pattern;
  }
}

TEST(EntryTableWalkStops, EmptyTableReportsNothing)
{
  const entry_table_t table;
  for ( const char *pattern : {"", "/", "/a", "/a/*", "x"} )
  {
    recording_visitor_t visitor;
    EXPECT_EQ(walk_entry_table(&visitor, table, pattern), 0);
    EXPECT_TRUE(visitor.reports.empty()) << pattern;
  }
}

} // namespace
