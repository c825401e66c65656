// Ignore rules: global and per-directory rule files, negation and last-rule-wins, the component boundary
// of the root, rule-file syntax, reading each file once, and exported rules.
#include "repo/ignore_rules.h"

#include "core/directories.h"
#include "core/error_state.h"
#include "core/file_ops.h"
#include "repo/locked_fs.h"

#include <gtest/gtest.h>

#include <ostream>
#include <climits>
#include <string>
#include <vector>

namespace {

// The global rule file sits beside the running executable; the in-memory file system lets each test
// put one there without touching the disk.
std::string global_rule_path()
{
  char exe[PATH_MAX];
  char dir[PATH_MAX];
  if ( executable_path(exe, sizeof(exe)) == nullptr || !path_directory(dir, sizeof(dir), exe) )
    return "";
  return std::string(dir) + "/akignore";
}

void put(locked_fs_t *fs, const std::string &path, const std::string &text)
{
  byte_buffer_t bytes;
  bytes.insert(0, reinterpret_cast<const uint8_t *>(text.data()), reinterpret_cast<const uint8_t *>(text.data()) + text.size());
  ASSERT_EQ(fs->write_whole_file(path.c_str(), bytes), 0) << path;
}

struct rule_file_t
{
  std::string path; // "<global>" for the file beside the executable
  std::string text;
};

struct ignore_case_t
{
  const char *name;
  std::vector<rule_file_t> files;
  const char *root;
  std::vector<std::pair<const char *, bool>> paths; // path, ignored
};

const ignore_case_t ignore_cases[] = {
  {"NegationInTheRootOverridesTheGlobalRule",
   {{"<global>", "*.obj\n"}, {"/w/.akignore", "!keep.obj\n"}},
   "/w",
   {{"/w/x/keep.obj", false}, {"/w/x/a.obj", true}, {"/w/a.obj", true}, {"/w/keep.obj", false}}},
  {"LastMatchingRuleWins",
   {{"/w/.akignore", "*.c\n!*.c\n*.c\n!keep.c\n"}},
   "/w",
   {{"/w/a.c", true}, {"/w/keep.c", false}, {"/w/a.h", false}}},
  {"DeeperFileComesLater",
   {{"/w/.akignore", "!*.log\n"}, {"/w/a/.akignore", "*.log\n"}, {"/w/a/b/.akignore", "!x.log\n"}},
   "/w",
   {{"/w/y.log", false}, {"/w/a/y.log", true}, {"/w/a/b/y.log", true}, {"/w/a/b/x.log", false}}},
  {"DirectoryRuleLeavesOutTheDirectoryAndItsFiles",
   {{"/w/.akignore", "build/\n"}},
   "/w",
   {{"/w/build/", true}, {"/w/build/x.c", true}, {"/w/src/build/y", true}, {"/w/build", false}, {"/w/src/build.c", false}}},
  {"StarRuleIgnoresItsOwnDirectoryTestedWithSlash",
   {{"/w/d/.akignore", "*\n"}},
   "/w",
   {{"/w/d/", true}, {"/w/d/x", true}, {"/w/d/e/f", true}, {"/w/d", false}, {"/w/e/x", false}}},
  {"RulesMatchTheRestBehindTheirDirectory",
   {{"/w/a/.akignore", "/x\nsub/y\n"}},
   "/w",
   {{"/w/a/x", true}, {"/w/x", false}, {"/w/a/b/x", false}, {"/w/a/sub/y", true}, {"/w/sub/y", false}}},
  {"RootFileStopsAtTheComponentBoundary",
   {{"/w/.akignore", "*\n"}, {"/w2/.akignore", "!*\n"}},
   "/w",
   {{"/w/x", true}, {"/w2/x", false}, {"/w", false}, {"/", false}, {"w/x", false}, {"/wx", false}}},
  {"DirectoryFileStopsAtTheComponentBoundary",
   {{"/w/a/.akignore", "*.c\n"}},
   "/w",
   {{"/w/a/x.c", true}, {"/w/ab/x.c", false}, {"/w/a.c", false}}},
  {"GlobalRulesDoNotReachOutsideTheRoot",
   {{"<global>", "*\n"}},
   "/w",
   {{"/w/x", true}, {"/w2/x", false}, {"/v/x", false}}},
  {"RootWithTrailingSlash",
   {{"/w/.akignore", "*.o\n"}},
   "/w/",
   {{"/w/a.o", true}, {"/w/a.c", false}, {"/w2/a.o", false}}},
  {"FileSystemRootCoversEveryAbsolutePath",
   {{"/.akignore", "*.o\n"}, {"/w/.akignore", "!k.o\n"}},
   "/",
   {{"/a.o", true}, {"/w/a.o", true}, {"/w/k.o", false}, {"a.o", false}}},
  {"CommentsEmptyLinesAndCrlf",
   {{"/w/.akignore", "# *.c\r\n\r\n\n*.tmp\r\n#\n"}},
   "/w",
   {{"/w/a.tmp", true}, {"/w/a.c", false}, {"/w/# *.c", false}, {"/w/a.tmp\r", false}}},
  {"LinesAreNotTrimmed",
   {{"/w/.akignore", " *.c\n*.h \n"}},
   "/w",
   {{"/w/a.c", false}, {"/w/ a.c", true}, {"/w/a.h", false}, {"/w/a.h ", true}}},
  {"LastLineWithoutTerminator",
   {{"/w/.akignore", "*.a\n*.b"}},
   "/w",
   {{"/w/x.a", true}, {"/w/x.b", true}}},
  {"NoRuleFilesIgnoreNothing", {}, "/w", {{"/w/x", false}, {"/w/a/b/", false}}},
};

// Failure messages name the row.
void PrintTo(const ignore_case_t &c, std::ostream *os)
{
  *os << c.name;
}

class IgnoreRules : public testing::TestWithParam<ignore_case_t>
{
};

TEST_P(IgnoreRules, JudgesEachPath)
{
  const ignore_case_t &c = GetParam();
  locked_fs_t fs;
  for ( const rule_file_t &file : c.files )
    put(&fs, file.path == "<global>" ? global_rule_path() : file.path, file.text);
  ignore_rules_t rules(&fs, c.root);
  for ( const auto &[path, ignored] : c.paths )
    EXPECT_EQ(rules.is_ignored(path), ignored) << path;
}

INSTANTIATE_TEST_SUITE_P(RuleFiles, IgnoreRules, testing::ValuesIn(ignore_cases),
                         [](const testing::TestParamInfo<ignore_case_t> &info) { return std::string(info.param.name); });

TEST(IgnoreRuleNodes, ListsTheFilesWithRulesOutermostFirst)
{
  locked_fs_t fs;
  put(&fs, global_rule_path(), "g\n");
  put(&fs, "/w/.akignore", "r\n");
  put(&fs, "/w/a/b/.akignore", "b\n");
  ignore_rules_t rules(&fs, "/w");
  std::vector<const ignore_dir_node_t *> nodes;
  ASSERT_TRUE(rules.collect_nodes("/w/a/b/c/file", &nodes));
  std::vector<std::string> first_rules;
  std::vector<size_t> prefixes;
  for ( const ignore_dir_node_t *node : nodes )
  {
    first_rules.emplace_back(node->rules[0].c_str());
    prefixes.push_back(node->prefix_length);
  }
  EXPECT_EQ(first_rules, (std::vector<std::string> {"g", "r", "b"}));
  EXPECT_EQ(prefixes, (std::vector<size_t> {2, 2, 6}));

  EXPECT_FALSE(rules.collect_nodes("/w2/file", &nodes));
  EXPECT_TRUE(nodes.empty());
  EXPECT_FALSE(rules.collect_nodes("/w", &nodes));
}

TEST(IgnoreRuleNodes, EachRuleFileIsReadOnce)
{
  locked_fs_t fs;
  put(&fs, "/w/a/.akignore", "*.c\n");
  ignore_rules_t rules(&fs, "/w");
  EXPECT_TRUE(rules.is_ignored("/w/a/x.c"));
  EXPECT_FALSE(rules.is_ignored("/w/b/x.c"));
  // Changes after the first read are not seen by the same rule set; a new one sees them.
  put(&fs, "/w/a/.akignore", "!*.c\n");
  put(&fs, "/w/b/.akignore", "*.c\n");
  EXPECT_TRUE(rules.is_ignored("/w/a/y.c"));
  EXPECT_FALSE(rules.is_ignored("/w/b/y.c"));
  ignore_rules_t fresh(&fs, "/w");
  EXPECT_FALSE(fresh.is_ignored("/w/a/y.c"));
  EXPECT_TRUE(fresh.is_ignored("/w/b/y.c"));
}

TEST(IgnoreRuleNodes, MissingRuleFilesLeaveTheErrorTextAlone)
{
  locked_fs_t fs;
  error_arg_text(0, "earlier detail");
  ignore_rules_t rules(&fs, "/w");
  EXPECT_FALSE(rules.is_ignored("/w/a/b/c"));
  ASSERT_NE(get_error_arg_text(0), nullptr);
  EXPECT_STREQ(get_error_arg_text(0), "earlier detail");

  error_arg_text(0, nullptr);
  EXPECT_FALSE(rules.is_ignored("/w/d/e"));
  EXPECT_EQ(get_error_arg_text(0), nullptr);
}

TEST(IgnoreRuleExport, RulesBecomeRelativeToTheRoot)
{
  locked_fs_t fs;
  put(&fs, global_rule_path(), "*.obj\n!g/\n");
  put(&fs, "/w/.akignore", "!keep.obj\n/top\ndir/\n");
  put(&fs, "/w/a/.akignore", "/x\ny/\n!a/b\n");
  put(&fs, "/w/a/b/.akignore", "z/w\n");
  put(&fs, "/w/c/.akignore", "*\n");
  put(&fs, "/w/unread/.akignore", "never\n");
  ignore_rules_t rules(&fs, "/w");
  rules.is_ignored("/w/c/q");
  rules.is_ignored("/w/a/b/q");
  qvector<qstring> out;
  rules.export_rules(&out);
  std::vector<std::string> texts;
  for ( const qstring &t : out )
    texts.emplace_back(t.c_str());
  const std::vector<std::string> expected = {
    "*.obj", "!g/",                                     // global rules as written
    "!**/keep.obj", "/top", "**/dir/",                  // the root's
    "a//x", "a/**/y/", "!a/a/b",                        // a's
    "a/b/z/w",                                          // a/b's
    "c/**/*",                                           // c's
  };
  EXPECT_EQ(texts, expected);
}

TEST(IgnoreRuleExport, JoinRulePath)
{
  const std::pair<std::pair<const char *, const char *>, const char *> cases[] = {
    {{"", "x"}, "x"}, {{"a", "x"}, "a/x"}, {{"a/", "x"}, "a/x"}, {{"a", "/x"}, "a//x"}, {{"", "/x"}, "/x"},
  };
  for ( const auto &[args, expected] : cases )
    EXPECT_EQ(join_rule_path(args.first, args.second), expected) << args.first << " + " << args.second;
}

} // namespace
