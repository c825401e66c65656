// Server path validity, joins onto site roots, root paths and trailing slashes.
#include "repo/server_paths.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct validity_case_t
{
  const char *what;
  const char *path;
  bool valid;
};

void PrintTo(const validity_case_t &c, std::ostream *os)
{
  *os << c.what;
}

class ServerPathValidity : public testing::TestWithParam<validity_case_t>
{
};

TEST_P(ServerPathValidity, AcceptsOnlyCleanServerPaths)
{
  const validity_case_t &c = GetParam();
  EXPECT_EQ(is_valid_server_path(c.path), c.valid) << (c.path ? c.path : "(null)");
}

INSTANTIATE_TEST_SUITE_P(
  Table, ServerPathValidity,
  testing::Values(validity_case_t{"file", "//a/b", true}, validity_case_t{"trailing_slash", "//a/", true},
                  validity_case_t{"root", "//", true}, validity_case_t{"three_dots", "//a/...b", true},
                  validity_case_t{"dots_at_end_of_name", "//a/b..", true},
                  validity_case_t{"dot_file", "//a/.hidden", true},
                  validity_case_t{"null", nullptr, false}, validity_case_t{"empty", "", false},
                  validity_case_t{"one_slash", "/a", false}, validity_case_t{"local", "a/b", false},
                  validity_case_t{"three_slashes", "///a", false},
                  validity_case_t{"double_slash_inside", "//a//b", false},
                  validity_case_t{"dot_segment", "//a/./b", false},
                  validity_case_t{"dot_at_end", "//a/.", false},
                  validity_case_t{"dotdot_segment", "//a/../b", false},
                  validity_case_t{"dotdot_at_end", "//a/..", false},
                  validity_case_t{"dotdot_first", "//../etc", false},
                  validity_case_t{"hash", "//a/b#1", false}, validity_case_t{"newline", "//a/b\nc", false},
                  validity_case_t{"cache_file", "//a/.arkive_cache", false},
                  validity_case_t{"cache_file_at_root", "//.arkive_cache", false},
                  validity_case_t{"cache_file_after_backslash", "//a\\.arkive_cache", false},
                  validity_case_t{"backslash_dotdot", "//a\\..\\b", false},
                  validity_case_t{"backslash_dotdot_at_end", "//a\\..", false},
                  validity_case_t{"slash_then_backslash", "//\\a", false},
                  validity_case_t{"backslash_dot", "//a\\.\\b", false},
                  validity_case_t{"backslash_in_name", "//a\\b", true}),
  [](const testing::TestParamInfo<validity_case_t> &info) { return std::string(info.param.what); });

struct join_case_t
{
  const char *root;
  const char *server_path;
  const char *expected;
};

TEST(JoinSitePath, PutsOneSeparatorBetweenRootAndServerPath)
{
  const join_case_t cases[] = {
    {"C:/w", "//a/b", "C:/w/a/b"}, {"C:/w/", "//a/b", "C:/w/a/b"}, {"/home/u/w", "//x", "/home/u/w/x"},
    {"/", "//x", "/x"},            {"", "//a/b", "/a/b"},         {"/w", "//", "/w/"},
    {"/w", "//a/", "/w/a/"},
  };
  for ( const join_case_t &c : cases )
    EXPECT_EQ(join_site_path(c.root, c.server_path), c.expected) << c.root << " + " << c.server_path;
}

TEST(JoinSitePathDeathTest, RefusesAPathWithoutTheServerPrefix)
{
  EXPECT_EXIT(join_site_path("/w", "/a"), testing::ExitedWithCode(1), "internal error 2249");
  EXPECT_EXIT(join_site_path("/w", "a"), testing::ExitedWithCode(1), "internal error 2249");
}

TEST(RootPath, IsExactlySlashOrADriveRoot)
{
  EXPECT_TRUE(is_root_path("/"));
  EXPECT_TRUE(is_root_path("C:/"));
  EXPECT_TRUE(is_root_path("z:/"));
  EXPECT_FALSE(is_root_path(nullptr));
  EXPECT_FALSE(is_root_path(""));
  EXPECT_FALSE(is_root_path("//"));
  EXPECT_FALSE(is_root_path("C:"));
  EXPECT_FALSE(is_root_path("C:/x"));
  EXPECT_FALSE(is_root_path("1:/"));
  EXPECT_FALSE(is_root_path("C:\\"));
}

TEST(StripTrailingSlash, RemovesOneSlashButKeepsRoots)
{
  const std::pair<const char *, const char *> cases[] = {
    {"/w/", "/w"}, {"/w//", "/w/"}, {"/w", "/w"}, {"/", "/"}, {"C:/", "C:/"}, {"C:/x/", "C:/x"}, {"", ""},
  };
  for ( const auto &[input, expected] : cases )
  {
    qstring path(input);
    strip_trailing_slash(&path);
    EXPECT_EQ(path, expected) << input;
  }
}

} // namespace
