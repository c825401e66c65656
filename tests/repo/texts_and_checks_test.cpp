// Revision and action texts, the default filter text, user input checks and database recognition.
#include "repo/database_files.h"
#include "repo/input_checks.h"
#include "repo/revision_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RevisionTexts, FormatEachSelector)
{
  const std::pair<revision_spec, const char *> cases[] = {
    {revision_working, ""}, {revision_current, "#current"}, {revision_last, "#last"},
    {12, "#12"},            {0, "#0"},                      {-2, "#-2"},
    {-5, "#-5"},
  };
  for ( const auto &[revision, text] : cases )
    EXPECT_EQ(format_revision(revision), text) << revision;
}

TEST(RevisionTexts, PairShowsOneNumberWhenEqual)
{
  EXPECT_EQ(format_revision_pair(5, 5), "#5");
  EXPECT_EQ(format_revision_pair(3, 5), "#3/5");
  EXPECT_EQ(format_revision_pair(0, -1), "#0/-1");
}

TEST(FileActionNames, CoverEveryCode)
{
  const char *expected[] = {"", "add", "del", "edit", "move", "medt", "copy", "cedt"};
  for ( int code = 0; code < 8; ++code )
    EXPECT_STREQ(file_action_name(uint8_t(code)), expected[code]) << code;
  EXPECT_STREQ(file_action_name(8), "?");
  EXPECT_STREQ(file_action_name(255), "?");
}

TEST(DefaultSiteFilters, HasFourteenCommentLinesAndAnEmptyLine)
{
  const std::string text = default_site_filters_text();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 15);
  EXPECT_TRUE(text.starts_with("# By default all arkive files are visible.\n"));
  EXPECT_TRUE(text.ends_with("# Example: !*.mov will hide all *.mov files.\n\n"));
  EXPECT_NE(text.find("\n#\n# The below table"), std::string::npos);
}

struct check_case_t
{
  const char *what;
  const char *text;
  bool valid;
};

void PrintTo(const check_case_t &c, std::ostream *os)
{
  *os << c.what;
}

const std::string local64 = std::string(64, 'a') + "@x.org";
const std::string local65 = std::string(65, 'a') + "@x.org";
const std::string long_domain = "a@" + std::string(253, 'b');  // 255 characters
const std::string too_long_domain = "a@" + std::string(254, 'b'); // 256 characters

class EmailCheck : public testing::TestWithParam<check_case_t>
{
};

TEST_P(EmailCheck, FollowsTheAddressRules)
{
  EXPECT_EQ(is_valid_email(GetParam().text), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
  Table, EmailCheck,
  testing::Values(check_case_t{"plain", "joe@example.com", true},
                  check_case_t{"specials_in_local_part", "a!#$%&'*+-/=?^_`{|}~.b@x.org", true},
                  check_case_t{"domain_without_dot", "joe@localhost", true},
                  check_case_t{"local_part_of_64", local64.c_str(), true},
                  check_case_t{"local_part_of_65", local65.c_str(), false},
                  check_case_t{"length_255", long_domain.c_str(), true},
                  check_case_t{"length_256", too_long_domain.c_str(), false},
                  check_case_t{"null", nullptr, false}, check_case_t{"empty", "", false},
                  check_case_t{"no_at", "joe.example.com", false},
                  check_case_t{"at_first", "@example.com", false},
                  check_case_t{"local_begins_with_dot", ".joe@x.org", false},
                  check_case_t{"domain_begins_with_dot", "joe@.x.org", false},
                  check_case_t{"domain_begins_with_dash", "joe@-x.org", false},
                  check_case_t{"empty_domain", "joe@", false},
                  check_case_t{"two_dots_in_local", "jo..e@x.org", false},
                  check_case_t{"two_dots_in_domain", "joe@x..org", false},
                  check_case_t{"second_at", "joe@x@y.org", false},
                  check_case_t{"blank_in_local", "jo e@x.org", false},
                  check_case_t{"underscore_in_domain", "joe@x_y.org", false},
                  check_case_t{"non_ascii", "j\xc3\xb6@x.org", false}),
  [](const testing::TestParamInfo<check_case_t> &info) { return std::string(info.param.what); });

class UserNameCheck : public testing::TestWithParam<check_case_t>
{
};

TEST_P(UserNameCheck, FollowsTheNameRulesWithMaximum16)
{
  EXPECT_EQ(is_valid_user_name(GetParam().text, 16), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
  Table, UserNameCheck,
  testing::Values(check_case_t{"underscore_dash_digit", "_a-1", true}, check_case_t{"letters", "joe", true},
                  check_case_t{"sixteen", "abcdefghijklmnop", true},
                  check_case_t{"seventeen", "abcdefghijklmnopq", false},
                  check_case_t{"digit_first", "1a", false}, check_case_t{"dash_first", "-a", false},
                  check_case_t{"dot", "a.b", false}, check_case_t{"blank", "a b", false},
                  check_case_t{"empty", "", false}, check_case_t{"null", nullptr, false}),
  [](const testing::TestParamInfo<check_case_t> &info) { return std::string(info.param.what); });

TEST(TextChecks, WildcardsAndEmptiness)
{
  EXPECT_TRUE(has_wildcards("*.c"));
  EXPECT_TRUE(has_wildcards("a?b"));
  EXPECT_FALSE(has_wildcards("a/b.c"));
  EXPECT_FALSE(has_wildcards(nullptr));
  EXPECT_TRUE(is_empty_text(nullptr));
  EXPECT_TRUE(is_empty_text(""));
  EXPECT_FALSE(is_empty_text(" "));
}

TEST(DatabaseFiles, RecognisedByExactExtension)
{
  const std::pair<const char *, bool> cases[] = {
    {"x.zdb", true},   {"x.z64", true},        {"dir/x.zdb", true}, {"x.ZDB", false},
    {"x.zdbx", false}, {"zdb", false},         {"x.zdb.bak", false}, {"d.zdb/x", false},
    {"x.", false},     {"C:x.z64", true},      {"a\\b.z64", true},
  };
  for ( const auto &[path, expected] : cases )
    EXPECT_EQ(is_database_path(path), expected) << path;
}

TEST(DatabaseFiles, ExecutableTemplateByKind)
{
  EXPECT_EQ(zuk_executable_path(false), "%I/zuk");
  EXPECT_EQ(zuk_executable_path(true), "%I/zuk64");

  qstring exe("untouched");
  EXPECT_FALSE(database_executable("x.txt", &exe));
  EXPECT_EQ(exe, "untouched");
  EXPECT_TRUE(database_executable("a/x.z64", &exe));
  EXPECT_EQ(exe, "%I/zuk64");
  EXPECT_TRUE(database_executable("x.zdb", &exe));
  EXPECT_EQ(exe, "%I/zuk");
}

} // namespace
