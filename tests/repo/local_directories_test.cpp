// Creating directories with their parents.
#include "repo/local_directories.h"

#include "core/error_state.h"

#include "tests/repo/work_dir_helpers.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>

namespace {

TEST(MakeDirectories, CreatesEveryMissingLevel)
{
  scratch_dir_t dir;
  EXPECT_TRUE(make_directories(dir.at("a/b/c").c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(dir.at("a/b/c")));
}

TEST(MakeDirectories, AnExistingDirectoryIsSuccess)
{
  scratch_dir_t dir;
  EXPECT_TRUE(make_directories(dir.path().c_str()));
  EXPECT_TRUE(make_directories((dir.path() + "/").c_str()));
}

TEST(MakeDirectories, BackslashesSeparateToo)
{
  scratch_dir_t dir;
  EXPECT_TRUE(make_directories((dir.path() + "\\x\\y").c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(dir.at("x/y")));
}

TEST(MakeDirectories, AFileInTheWayFails)
{
  scratch_dir_t dir;
  dir.write("f", "file");
  EXPECT_FALSE(make_directories(dir.at("f/sub").c_str()));
  EXPECT_FALSE(make_directories(dir.at("f").c_str()));
  EXPECT_EQ(dir.read("f"), "file");
}

TEST(MakeDirectories, AnOverlongPathFailsWithoutCreatingAnything)
{
  scratch_dir_t dir;
  std::string path = dir.at("long");
  while ( path.size() < PATH_MAX + 10 )
    path += "/segment";
  errno = 0;
  EXPECT_FALSE(make_directories(path.c_str()));
  EXPECT_EQ(errno, ENAMETOOLONG);
  EXPECT_FALSE(dir.exists("long"));
}

TEST(MkdirParents, RestoresThePathItWasGiven)
{
  scratch_dir_t dir;
  std::string path = dir.at("p/q/r");
  std::string buffer = path;
  EXPECT_EQ(mkdir_parents(buffer.data()), 0);
  EXPECT_EQ(buffer, path);
  EXPECT_EQ(mkdir_parents(buffer.data()), 0); // exists now
}

} // namespace
