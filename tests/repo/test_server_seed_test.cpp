// The seed format of the test server: entries it understands, and the line it stops at.
#include "tests/server/seed_file.h"

#include "test_paths.h"

#include "repo/packets_sites.h"
#include "repo/packets_users.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// The root folder the repository gives for a site.
std::string site_root(server_repository_t &repository, const std::string &site)
{
  server_session_t session;
  session.user = "alice";
  name_flag_packet_t request(GET_SITE);
  request.name = site.c_str();
  const auto reply = repository.handle(session, request);
  if ( reply->type != GET_SITE_RESULT )
    return "";
  return static_cast<const site_packet_t &>(*reply).site.root_dir.c_str();
}

// A fresh folder of this test process.
fs::path scratch_folder(const std::string &name)
{
  const char *tmp = std::getenv("TMPDIR");
  const fs::path folder = fs::path(tmp != nullptr ? tmp : "/tmp") / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

TEST(test_server_seed_test, entries_fill_the_repository)
{
  server_repository_t repository;
  std::string error;
  ASSERT_TRUE(load_seed_text(repository,
                             "# a comment line\n"
                             "\n"
                             "user alice \"two words\" admin\n"
                             "user bob pw\n"
                             "group devs alice bob\n"
                             "site ws alice /work \"alice pc\"\n"
                             "commit alice ws \"first \\\"one\\\"\" //d/a=1 //d/b=\n"
                             "commit alice ws second //d/a=2\n"
                             "worklist bob ws docs\n"
                             "permission * //d/... 3\n"
                             "permission devs //d/a -1\n"
                             "filter ws \"# a comment\" \"!//d/build/...\"\n",
                             &error))
    << error;
  EXPECT_EQ(repository.site_revision("ws", "//d/a"), 2);
  EXPECT_EQ(repository.site_revision("ws", "//d/b"), 1);
  EXPECT_EQ(repository.site_revision("ws", "//d/c"), 0);
  EXPECT_TRUE(repository.has_group("devs"));
  EXPECT_EQ(site_root(repository, "ws"), "/work");
}

TEST(test_server_seed_test, the_first_bad_line_is_reported)
{
  const std::string people = "user alice pw\nuser bob pw\nsite ws alice /work pc\n"; // lines 1 to 3
  const struct
  {
    std::string text;
    const char *error;
  } cases[] = {
    // Words that do not make an entry.
    {"user alice\n", "1: user expects LOGIN PASSWORD [admin] [name=TEXT] [email=TEXT], found 1 word"},
    {"user alice pw\nuser bob pw root\n", "2: unknown user option root"},
    {"site ws alice /work\n", "1: site expects NAME USER ROOT HOST, found 3 words"},
    {"group\n", "1: group expects NAME [MEMBER...], found 0 words"},
    {people + "worklist alice ws a b\n", "4: worklist expects USER SITE DESCRIPTION, found 4 words"},
    {people + "commit alice ws msg\n", "4: commit expects USER SITE DESCRIPTION PATH=CONTENT..., found 3 words"},
    {"permission * //d/...\n", "1: permission expects WHO PATTERN NUMBER, found 2 words"},
    {"filter\n", "1: filter expects SITE LINE..., found 0 words"},
    {people + "commit alice ws msg //d/a\n", "4: a committed file is PATH=CONTENT"},
    {"permission * //d/... three\n", "1: a permission number is decimal"},
    {"permission * //d/... \"\"\n", "1: a permission number is decimal"},
    {"user \"alice pw\n", "1: unterminated quote"},
    {"frobnicate\n", "1: unknown entry frobnicate (user, group, site, commit, worklist, permission or filter)"},
    // Names of nothing.
    {"user alice pw\ngroup devs alice carol\n", "2: group devs: no user carol"},
    {"site ws carol /work pc\n", "1: no user carol"},
    {people + "commit carol ws msg //d/a=1\n", "4: no user carol"},
    {people + "commit alice other msg //d/a=1\n", "4: no site other"},
    {people + "worklist alice other docs\n", "4: no site other"},
    {people + "worklist carol other docs\n", "4: no user carol"},
    {people + "filter other \"!//d/x\"\n", "4: no site other"},
    {people + "permission carol //d/... 3\n", "4: no user or group carol"},
    // Duplicates, which would silently replace the first.
    {"user alice pw\nuser bob pw\nuser alice other\n", "3: duplicate user alice"},
    {people + "site ws bob /elsewhere pc\n", "4: duplicate site ws"},
    {people + "group devs alice\ngroup devs bob\n", "5: duplicate group devs"},
    // Server paths.
    {people + "commit alice ws msg //d/a=1 d/b=2\n", "4: path d/b does not start with //"},
    {people + "commit alice ws msg /d/a=1\n", "4: path /d/a does not start with //"},
    {"permission * depot/... 3\n", "1: path depot/... does not start with //"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.text);
    server_repository_t repository;
    std::string error;
    EXPECT_FALSE(load_seed_text(repository, c.text, &error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(test_server_seed_test, a_refused_seed_file_is_named_in_the_reason)
{
  const fs::path folder = scratch_folder("seed-files");
  const fs::path seed = folder / "seed.txt";
  std::ofstream(seed) << "user alice pw\n# the same again\nuser alice pw\n";
  const struct
  {
    std::string path;
    std::string error;
  } cases[] = {
    {"/nonexistent/seed.txt", "/nonexistent/seed.txt: cannot read: No such file or directory"},
    {folder.string(), folder.string() + ": a folder, not a seed file"},
    {seed.string(), seed.string() + ":3: duplicate user alice"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.path);
    server_repository_t repository;
    std::string error;
    EXPECT_FALSE(load_seed_file(repository, c.path, &error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(test_server_seed_test, relative_site_roots_are_placed_under_the_base_and_made)
{
  const fs::path base = scratch_folder("site-root-base");
  server_repository_t repository;
  std::string error;
  ASSERT_TRUE(load_seed_text(repository,
                             "user alice pw\n"
                             "site ws alice ws pc\n"
                             "site deep alice team/deep/ pc\n"
                             "site fixed alice /srv/fixed pc\n",
                             &error, (base / "sub" / "..").string()))
    << error;
  EXPECT_EQ(site_root(repository, "ws"), (base / "ws").string());
  EXPECT_EQ(site_root(repository, "deep"), (base / "team" / "deep").string());
  EXPECT_EQ(site_root(repository, "fixed"), "/srv/fixed");
  EXPECT_TRUE(fs::is_directory(base / "ws"));
  EXPECT_TRUE(fs::is_directory(base / "team" / "deep"));

  // Without a base, the current folder; a base that cannot hold folders is refused.
  const fs::path was = fs::current_path();
  fs::current_path(base);
  server_repository_t here;
  EXPECT_TRUE(load_seed_text(here, "user alice pw\nsite ws alice here pc\n", &error)) << error;
  fs::current_path(was);
  EXPECT_EQ(site_root(here, "ws"), (base / "here").string());

  std::ofstream(base / "plain") << "a file";
  server_repository_t blocked;
  EXPECT_FALSE(load_seed_text(blocked, "user alice pw\nsite ws alice ws pc\n", &error, (base / "plain").string()));
  EXPECT_TRUE(error.starts_with("2: cannot make the site root ws under " + (base / "plain").string() + ": "))
    << error;
}

TEST(test_server_seed_test, the_demo_seed_loads_on_a_new_machine)
{
  const fs::path base = scratch_folder("demo-sites");
  server_repository_t repository;
  std::string error;
  ASSERT_TRUE(load_seed_file(repository, AKUI_DEMO_SEED, &error, base.string()))
    << error;
  EXPECT_EQ(site_root(repository, "alice-ws"), (base / "alice-ws").string());
  EXPECT_EQ(site_root(repository, "bob-ws"), (base / "bob-ws").string());
  EXPECT_EQ(repository.site_revision("bob-ws", "//depot/readme.txt"), 2);
}

}  // namespace
