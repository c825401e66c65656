// The seed format of the test server: entries it understands, and the line it stops at.
#include "tests/server/seed_file.h"

#include <gtest/gtest.h>

namespace {

TEST(test_server_seed_test, entries_fill_the_repository)
{
  server_repository_t repository;
  std::string error;
  ASSERT_TRUE(load_seed_text(repository,
                             "# a comment line\n"
                             "\n"
                             "user alice \"two words\" admin\n"
                             "site ws alice /work \"alice pc\"\n"
                             "commit alice ws \"first \\\"one\\\"\" //d/a=1 //d/b=\n"
                             "commit alice ws second //d/a=2\n",
                             &error))
    << error;
  EXPECT_EQ(repository.site_revision("ws", "//d/a"), 2);
  EXPECT_EQ(repository.site_revision("ws", "//d/b"), 1);
  EXPECT_EQ(repository.site_revision("ws", "//d/c"), 0);
}

TEST(test_server_seed_test, the_first_bad_line_is_reported)
{
  const struct
  {
    const char *text;
    const char *error;
  } cases[] = {
    {"user alice\n", "1: not an entry: user"},
    {"user alice pw\nuser bob pw root\n", "2: unknown user option root"},
    {"site ws alice /work\n", "1: not an entry: site"},
    {"commit alice ws msg //d/a\n", "1: a committed file is PATH=CONTENT"},
    {"permission * //d/... three\n", "1: a permission number is decimal"},
    {"user \"alice pw\n", "1: unterminated quote"},
    {"frobnicate\n", "1: not an entry: frobnicate"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.text);
    server_repository_t repository;
    std::string error;
    EXPECT_FALSE(load_seed_text(repository, c.text, &error));
    EXPECT_EQ(error, c.error);
  }
  server_repository_t repository;
  std::string error;
  EXPECT_FALSE(load_seed_file(repository, "/nonexistent/seed.txt", &error));
  EXPECT_EQ(error, "cannot read /nonexistent/seed.txt");
}

}  // namespace
