// Resolving paths inside a site root: as the operating system sees them (links included) and as text.
#include "repo/site_confinement.h"

#include "core/error_state.h"

#include "tests/repo/work_dir_helpers.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A site with links in every direction, and a secret beside it:
//   site/a/f.txt, site/link_in -> a, site/abs_link_in -> <site>/a, site/link_out -> ../outside,
//   site/file_link_out -> <outside>/secret.txt, site/loop -> loop, site/up -> .., outside/secret.txt,
//   site_sibling/x, root_link -> site
class RealConfinement : public testing::Test
{
protected:
  void SetUp() override
  {
    dir_.write("site/a/f.txt", "inside");
    dir_.write("outside/secret.txt", "secret");
    dir_.write("site_sibling/x", "sibling");
    fs::create_directory_symlink("a", dir_.at("site/link_in"));
    fs::create_directory_symlink(dir_.at("site/a"), dir_.at("site/abs_link_in"));
    fs::create_directory_symlink("../outside", dir_.at("site/link_out"));
    fs::create_symlink(dir_.at("outside/secret.txt"), dir_.at("site/file_link_out"));
    fs::create_symlink("loop", dir_.at("site/loop"));
    fs::create_directory_symlink("..", dir_.at("site/up"));
    fs::create_directory_symlink("site", dir_.at("root_link"));
    fs::current_path(dir_.at("site"));
    root_ = dir_.at("site");
  }

  // Confines the path with the root resolved for the call. The root resolved once must answer the same, for
  // the path as given and written beneath the root's text (the form that skips the root's components).
  int confine(const std::string &path, bool follow_last = true)
  {
    real_site_root_t once;
    EXPECT_EQ(once.resolve(root_.c_str()), 0);
    std::vector<std::string> forms {path};
    if ( !path.empty() && path[0] != '/' )
      forms.push_back(root_ + "/" + path);
    for ( const std::string &form : forms )
    {
      qstring full("<untouched>");
      qstring fast("<untouched>");
      const int code = confine_real_path(&full, root_.c_str(), form.c_str(), follow_last);
      EXPECT_EQ(once.confine(&fast, form.c_str(), follow_last), code) << form;
      EXPECT_EQ(fast.view(), full.view()) << form;
    }
    resolved_ = qstring("<untouched>");
    return confine_real_path(&resolved_, root_.c_str(), path.c_str(), follow_last);
  }

  scratch_dir_t dir_;
  std::string root_;
  qstring resolved_;
};

struct inside_case_t
{
  std::string path;
  std::string expected; // relative to the site root ("" is the root itself)
};

TEST_F(RealConfinement, PathsThatStayInsideResolveToTheirRealPlace)
{
  const inside_case_t cases[] = {
    {"a/f.txt", "a/f.txt"},
    {"a/../a/f.txt", "a/f.txt"},
    {"./a//f.txt", "a/f.txt"},
    {"a\\f.txt", "a/f.txt"},
    {"link_in/f.txt", "a/f.txt"},
    {"abs_link_in/f.txt", "a/f.txt"},
    {"new/dir/file", "new/dir/file"},
    {"new/../a/f.txt", "a/f.txt"},
    {".", ""},
    {"a/..", ""},
    {dir_.at("site/a/f.txt"), "a/f.txt"},
    {dir_.at("root_link/a/f.txt"), "a/f.txt"},
    {dir_.at("site/link_out/../site/a/f.txt"), "a/f.txt"},
  };
  for ( const inside_case_t &c : cases )
  {
    ASSERT_EQ(confine(c.path), 0) << c.path << ": " << get_error_arg_text(0);
    EXPECT_EQ(std::string(resolved_.view()), c.expected.empty() ? root_ : root_ + "/" + c.expected) << c.path;
  }
}

TEST_F(RealConfinement, PathsThatLeaveAreRefusedWithTheirText)
{
  const std::string cases[] = {
    "..",
    "../..",
    "../outside/secret.txt",
    "..\\outside\\secret.txt",
    "a\\..\\..\\outside\\secret.txt",
    "a/../../outside/secret.txt",
    "missing/../../outside/new.txt",
    "link_out/secret.txt",
    "link_out/new.txt",
    "file_link_out",
    "link_in/../../outside/secret.txt",
    "up/outside/secret.txt",
    "up",
    dir_.at("outside/secret.txt"),
    dir_.at("site_sibling/x"),
    dir_.at("site/../outside/secret.txt"),
    dir_.at(""),
    "",
  };
  for ( const std::string &path : cases )
  {
    EXPECT_EQ(confine(path), 42) << path;
    const char *detail = get_error_arg_text(0);
    EXPECT_EQ(std::string(detail != nullptr ? detail : ""), path);
    EXPECT_EQ(resolved_, "<untouched>") << path;
  }
}

TEST_F(RealConfinement, TheLastLinkIsKeptWhenNotFollowed)
{
  EXPECT_EQ(confine("file_link_out", false), 0);
  EXPECT_EQ(std::string(resolved_.view()), root_ + "/file_link_out");
  EXPECT_EQ(confine("link_out", false), 0);
  // A trailing separator makes the system follow the link all the same.
  EXPECT_EQ(confine("link_out/", false), 42);
  EXPECT_EQ(confine("link_out/.", false), 42);
  EXPECT_EQ(confine("link_out/secret.txt", false), 42);
}

TEST_F(RealConfinement, LinkLoopsAndOverlongPathsFail)
{
  EXPECT_EQ(confine("loop"), 33);
  EXPECT_NE(std::string(get_error_arg_text(0)).find(system_error_text(ELOOP)), std::string::npos);
  EXPECT_EQ(confine("loop/x"), 33);

  std::string longest = "d";
  while ( longest.size() < PATH_MAX )
    longest += "/d";
  // Confined once, not in every form: each of its thousands of missing components costs a lookup of them all.
  resolved_ = qstring("<untouched>");
  EXPECT_EQ(confine_real_path(&resolved_, root_.c_str(), longest.c_str(), true), 33);
  EXPECT_NE(std::string(get_error_arg_text(0)).find(system_error_text(ENAMETOOLONG)), std::string::npos);
  EXPECT_EQ(resolved_, "<untouched>");
}

TEST_F(RealConfinement, ARootGivenThroughALinkOrRelativelyConfinesTheSame)
{
  root_ = dir_.at("root_link");
  EXPECT_EQ(confine("a/f.txt"), 0);
  EXPECT_EQ(std::string(resolved_.view()), dir_.at("site/a/f.txt"));
  EXPECT_EQ(confine("../outside/secret.txt"), 42);

  root_ = ".";
  EXPECT_EQ(confine("a/f.txt"), 0);
  EXPECT_EQ(confine(".."), 42);
}

struct text_case_t
{
  const char *root;
  const char *cwd;
  const char *path;
  const char *expected; // null: refused with 42
};

TEST(TextConfinement, ResolvesAsTextAgainstRootAndCurrentDirectory)
{
  const text_case_t cases[] = {
    {"/w", "/w", "a", "/w/a"},
    {"/w", "/w/sub", "../b", "/w/b"},
    {"/w", "", "/w/a/./b//c", "/w/a/b/c"},
    {"/w", "/w", "a\\b", "/w/a/b"},
    {"/w/", "/w", "a", "/w/a"},
    {"/w", "/w", ".", "/w"},
    {"/", "/", "../../x", "/x"},
    {"C:/w", "C:/w", "x", "C:/w/x"},
    {"C:/", "", "C:/x", "C:/x"},
    {"w", "", "w/a", "w/a"},
    {"/w", "/w", "..", nullptr},
    {"/w", "/w", "../x", nullptr},
    {"/w", "/w", "a/../../x", nullptr},
    {"/w", "/w", "a\\..\\..\\x", nullptr},
    {"/w", "/w", "/w/../x", nullptr},
    {"/w", "/w", "/w2/x", nullptr},
    {"/w", "/w", "/x", nullptr},
    {"C:/w", "C:/w", "c:/w/x", nullptr}, // case is compared exactly
    {"C:/w", "C:/w", "D:/w/x", nullptr},
    {"/w", "/w", "", nullptr},
    {"w", "", "x", nullptr},
    {"w", "", "../w/x", nullptr}, // climbs above a relative start
  };
  for ( const text_case_t &c : cases )
  {
    qstring resolved("<untouched>");
    const int code = confine_text_path(&resolved, c.root, c.cwd, c.path);
    if ( c.expected != nullptr )
    {
      EXPECT_EQ(code, 0) << c.root << " | " << c.cwd << " | " << c.path;
      EXPECT_EQ(resolved, c.expected) << c.path;
    }
    else
    {
      EXPECT_EQ(code, 42) << c.root << " | " << c.cwd << " | " << c.path;
      EXPECT_EQ(resolved, "<untouched>");
    }
  }
}

} // namespace
