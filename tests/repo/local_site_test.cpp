// Local site path conversions: absolute local paths, server paths of local paths and back.
#include "repo/local_site.h"

#include "repo/locked_fs.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct convert_case_t
{
  const char *input;
  const char *expected;
};

// A site over an in-memory file system whose current directory the test chooses.
class LocalSite : public testing::Test
{
protected:
  local_site_t site_with(const char *root, const char *cwd)
  {
    fs_.chdir(cwd);
    return local_site_t("s", root, &fs_);
  }

  locked_fs_t fs_;
};

TEST_F(LocalSite, AbsoluteLocalPathResolvesRelativePathsAgainstTheCurrentDirectory)
{
  const local_site_t site = site_with("C:/w", "C:/w");
  const convert_case_t cases[] = {
    {"x/../y/./z", "C:/w/y/z"},
    {"x\\y", "C:/w/x/y"},
    {"a//b", "C:/w/a/b"},
    {"..", "C:/"},
    {"../../..", "C:/"},
    {"a/..", "C:/w/"},
    {".", "C:/w/"},
    {"C:/w/../x", "C:/w/../x"}, // absolute paths stay as written
    {"C:\\w\\x", "C:/w/x"},
    {"/abs/./p", "/abs/./p"},
    {"", ""},
  };
  for ( const convert_case_t &c : cases )
    EXPECT_EQ(site.absolute_local_path(c.input), c.expected) << c.input;
  EXPECT_EQ(site.absolute_local_path(nullptr), "");
}

TEST_F(LocalSite, AbsoluteLocalPathUnderAnEmptyCurrentDirectoryStartsAtSlash)
{
  const local_site_t site("s", "/w", &fs_);
  EXPECT_EQ(site.absolute_local_path("a/../b"), "/b");
}

TEST_F(LocalSite, ServerPathOfPathsInsideTheRoot)
{
  const local_site_t site = site_with("C:/work", "C:/work/sub");
  const convert_case_t cases[] = {
    {"C:/work/a/b", "//a/b"},
    {"c:/WORK/a", "//a"},
    {"C:/work", "//"},
    {"C:/work/", "//"},
    {"C:\\work\\a\\b", "//a/b"},
    {"f.txt", "//sub/f.txt"},
    {"../g.txt", "//g.txt"},
  };
  for ( const convert_case_t &c : cases )
    EXPECT_EQ(site.server_path_of(c.input), c.expected) << c.input;
}

TEST_F(LocalSite, ServerPathOfPathsOutsideTheRootStaysLocal)
{
  const local_site_t site = site_with("C:/work", "C:/work");
  const convert_case_t cases[] = {
    {"C:/workshop/x", "C:/workshop/x"},
    {"D:/x", "D:/x"},
    {"//a", "//a"},
    {"@12", "@12"},
    {"", ""},
    {"../other/x", "C:/other/x"},
    // An absolute path keeps its "..": its part below the root may climb out, so it is not a server path.
    {"C:/work/../etc/passwd", "C:/work/../etc/passwd"},
    {"C:/work/a/../../x", "C:/work/a/../../x"},
    {"C:\\work\\..\\x", "C:/work/../x"},
  };
  for ( const convert_case_t &c : cases )
    EXPECT_EQ(site.server_path_of(c.input), c.expected) << c.input;
  EXPECT_EQ(site.server_path_of(nullptr), "");
}

TEST_F(LocalSite, ServerPathOfUnderADriveRootOrSlashRoot)
{
  EXPECT_EQ(site_with("C:/", "C:/").server_path_of("C:/a"), "//a");
  EXPECT_EQ(site_with("/", "/").server_path_of("/a/b"), "//a/b");
  EXPECT_EQ(site_with("/", "/").server_path_of("/"), "//");
}

TEST_F(LocalSite, LocalPathOfJoinsTheServerPathToTheRoot)
{
  EXPECT_EQ(site_with("C:/w", "").local_path_of("//a/b"), "C:/w/a/b");
  EXPECT_EQ(site_with("C:/w/", "").local_path_of("//a/b"), "C:/w/a/b");
  EXPECT_EQ(site_with("/home/u/w", "").local_path_of("//"), "/home/u/w/");
}

TEST_F(LocalSite, ServerAndLocalPathsRoundTrip)
{
  const local_site_t site = site_with("/home/u/work", "/");
  for ( const char *server_path : {"//a", "//a/b/c.txt", "//d i r/f i l e"} )
    EXPECT_EQ(site.server_path_of(site.local_path_of(server_path).c_str()), server_path);
}

} // namespace
