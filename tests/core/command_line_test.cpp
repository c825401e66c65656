// Splitting command lines into arguments and redirections, and quoting arguments so that they split back.
#include "core/command_line.h"

#include "tests/support/string_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct expected_redirection_t
{
  int channel;
  std::string target;
  uint32_t kind;
  size_t offset;
  size_t length;
};

void expect_redirections(const qvector<redirection_t> &got, const std::vector<expected_redirection_t> &want,
                         const std::string &row)
{
  ASSERT_EQ(got.size(), want.size()) << row;
  for ( size_t i = 0; i < want.size(); ++i )
  {
    EXPECT_EQ(got[i].channel, want[i].channel) << row << " #" << i;
    EXPECT_EQ(std::string(got[i].target.view()), want[i].target) << row << " #" << i;
    EXPECT_EQ(got[i].kind, want[i].kind) << row << " #" << i;
    EXPECT_EQ(got[i].offset, want[i].offset) << row << " #" << i;
    EXPECT_EQ(got[i].length, want[i].length) << row << " #" << i;
  }
}

TEST(SplitCommandLineTest, ArgumentsQuotesAndBackslashes)
{
  struct row_t
  {
    const char *text;
    int flags;
    std::vector<std::string> args;
  } rows[] = {
    {"", 0, {}},
    {" \t\r\n ", 0, {}},
    {"a b  c", 0, {"a", "b", "c"}},
    {"  lead and trail  ", 0, {"lead", "and", "trail"}},
    {"a\nb\tc\vd", 0, {"a", "b", "c", "d"}},
    {"\xc3\xa9\xa0x", 0, {"\xc3\xa9\xa0x"}},
    {"\"a b\" c", 0, {"a b", "c"}},
    {"x\"a b\"y", 0, {"xa by"}},
    {"\"\"", 0, {""}},
    {"\"\" \"\"", 0, {"", ""}},
    {"a \"\"", 0, {"a", ""}},
    {"a\"\"b", 0, {"ab"}},
    {"\"a\"\"b\"", 0, {"ab"}},
    {"\"abc", 0, {"abc"}},
    {"\"", 0, {}},
    {"a\\\"b", 0, {"a\"b"}},
    {"a\\\\\"b c\"", 0, {"a\\b c"}},
    {"a\\\\\\\"b", 0, {"a\\\"b"}},
    {"a\\\\b", 0, {"a\\\\b"}},
    {"a\\", 0, {"a\\"}},
    {"\"a\\\\\"", 0, {"a\\"}},
    {"\"a\\\\\" b", 0, {"a\\", "b"}},
    {"\"a\\\\\"\"b\"", 0, {"a\\\"b"}},
    {"\"a\\\"b\"", 0, {"a\"b"}},
    {"\"C:\\dir\\x\\\" a\\\"b", SPLIT_RAW_FIRST, {"C:\\dir\\x\\", "a\"b"}},
    {"C:\\a\\\\\"b c\" d\\\\\"e f\"", SPLIT_RAW_FIRST, {"C:\\a\\\\b c", "d\\e f"}},
    {"\"\" a", SPLIT_RAW_FIRST, {"", "a"}},
  };
  for ( const row_t &row : rows )
  {
    qvector<qstring> args;
    qvector<redirection_t> redirections;
    EXPECT_EQ(split_command_line(&args, &redirections, row.text, row.flags), int(row.args.size())) << row.text;
    EXPECT_EQ(to_strings(args), row.args) << row.text;
    EXPECT_TRUE(redirections.empty()) << row.text;
  }
}

TEST(SplitCommandLineTest, Redirections)
{
  const uint32_t out = REDIRECT_OUTPUT, in = REDIRECT_INPUT, app = REDIRECT_OUTPUT | REDIRECT_APPEND;
  struct row_t
  {
    const char *text;
    int flags;
    std::vector<std::string> args;
    std::vector<expected_redirection_t> redirections;
  } rows[] = {
    {"a >out.txt b", 0, {"a", "b"}, {{1, "out.txt", out, 2, 9}}},
    {"a >out.txt 2>&1", 0, {"a"}, {{1, "out.txt", out, 2, 9}, {2, "&1", out, 11, 4}}},
    {"a > out.txt", 0, {"a"}, {{1, "out.txt", out, 2, 9}}},
    {"a >>log", 0, {"a"}, {{1, "log", app, 2, 5}}},
    {"a 2>>log", 0, {"a"}, {{2, "log", app, 2, 6}}},
    {"a <in b", 0, {"a", "b"}, {{0, "in", in, 2, 4}}},
    {"a >\"my file\" b", 0, {"a", "b"}, {{1, "my file", out | REDIRECT_QUOTED, 2, 11}}},
    {"a >\"x\\\"y\\\\z\"", 0, {"a"}, {{1, "x\"y\\z", out | REDIRECT_QUOTED, 2, 10}}},
    {"a >\"x\"y", 0, {"a", "y"}, {{1, "x", out | REDIRECT_QUOTED, 2, 4}}},
    {"a >x<y", 0, {"a"}, {{1, "x", out, 2, 2}, {0, "y", in, 4, 2}}},
    {"3>x", 0, {}, {{3, "x", out, 0, 3}}},
    {">x prog", 0, {"prog"}, {{1, "x", out, 0, 3}}},
    {"1>&5", 0, {}, {{1, "&5", out, 0, 4}}},
    {"prog >x arg", SPLIT_RAW_FIRST, {"prog", "arg"}, {{1, "x", out, 5, 3}}},
    // Ordinary text: quoted, longer, not a digit, nothing before "<", no target.
    {"a \">\" b", 0, {"a", ">", "b"}, {}},
    {"a \"2\">x", 0, {"a", "2>x"}, {}},
    {"a x>y", 0, {"a", "x>y"}, {}},
    {"a 12>y", 0, {"a", "12>y"}, {}},
    {"a b<c", 0, {"a", "b<c"}, {}},
    {"a <<y", 0, {"a", "<<y"}, {}},
    {"a >", 0, {"a", ">"}, {}},
    {"a >  ", 0, {"a", ">"}, {}},
    {"a >>", 0, {"a", ">>"}, {}},
    {"a 2>", 0, {"a", "2>"}, {}},
    {"a >\"\"", 0, {"a", ">"}, {}},
    {"a >\"unclosed", 0, {"a", ">unclosed"}, {}},
    {"a >\"x\\", 0, {"a", ">x\\"}, {}},
    {">x prog", SPLIT_RAW_FIRST, {">x", "prog"}, {}},
  };
  for ( const row_t &row : rows )
  {
    qvector<qstring> args;
    qvector<redirection_t> redirections;
    EXPECT_EQ(split_command_line(&args, &redirections, row.text, row.flags), int(row.args.size())) << row.text;
    EXPECT_EQ(to_strings(args), row.args) << row.text;
    expect_redirections(redirections, row.redirections, row.text);
  }
}

TEST(SplitCommandLineTest, RedirectionsAreTextWhenNotWanted)
{
  qvector<qstring> args;
  EXPECT_EQ(split_command_line(&args, nullptr, "a >x 2>&1 <in", 0), 4);
  EXPECT_EQ(to_strings(args), (std::vector<std::string> {"a", ">x", "2>&1", "<in"}));
}

TEST(SplitCommandLineTest, OutputsAreReplacedAndNullTextGivesNothing)
{
  qvector<qstring> args {qstring("old")};
  qvector<redirection_t> redirections;
  redirections.push_back(redirection_t {});
  EXPECT_EQ(split_command_line(&args, &redirections, nullptr, 0), 0);
  EXPECT_TRUE(args.empty());
  EXPECT_TRUE(redirections.empty());
  EXPECT_EQ(split_command_line(&args, &redirections, "new", 0), 1);
  EXPECT_EQ(to_strings(args), std::vector<std::string> {"new"});
}

TEST(QuoteShellArgumentTest, QuotesOnlyWhatNeedsIt)
{
  struct row_t
  {
    const char *text;
    bool quoted;
    const char *result;
  } rows[] = {
    {"abc", false, "abc"},
    {"-c", false, "-c"},
    {"a\\b", false, "a\\b"},
    {"\xc3\xa9t\xc3\xa9", false, "\xc3\xa9t\xc3\xa9"},
    {"", true, "\"\""},
    {"a b", true, "\"a b\""},
    {"a\"b", true, "\"a\\\"b\""},
    {"a\\\"b", true, "\"a\\\\\\\"b\""},
    {"C:\\dir\\", false, "C:\\dir\\"},
    {"dir with blank\\", true, "\"dir with blank\\\\\""},
    {"a\\b c", true, "\"a\\b c\""},
    {"x*y", true, "\"x*y\""},
    {"a\nb", true, "\"a\nb\""},
    {"a\rb", true, "\"a\rb\""},
    {">out", true, "\">out\""},
    {"$HOME", true, "\"$HOME\""},
  };
  for ( const row_t &row : rows )
  {
    qstring arg(row.text);
    EXPECT_EQ(quote_shell_argument(&arg), row.quoted) << row.text;
    EXPECT_EQ(std::string(arg.view()), row.result) << row.text;
  }
}

// Every hard text comes back unchanged, alone and inside a line of other quoted arguments.
TEST(QuoteShellArgumentTest, QuotedArgumentsSplitBack)
{
  const std::vector<std::string> hard = {
    "",          " ",          "a b",        "\"",           "\\",           "\\\\",         "a\\",
    "a\\\\",     "\\\"",       "\\\\\"",     "\"\"",         "a\"\"b",       "\"quoted\"",   "back\\slash",
    "end\\\\\\", "mix \\\" and \\\\\" here", "tab\t",        "a\nb",         ">x",           "2>&1",
    "<in",       ">",          "a >out",     "&",            "|",            "x;y",          "$HOME",
    "%PATH%",    "'single'",   "\xc3\xa9 \xc3\xbc",          "trailing \\",  "\\\\server\\share\\",
  };
  qstring line;
  for ( const std::string &text : hard )
  {
    qstring arg(text);
    quote_shell_argument(&arg);
    qvector<qstring> args;
    qvector<redirection_t> redirections;
    EXPECT_EQ(split_command_line(&args, &redirections, arg.c_str(), 0), 1) << text;
    EXPECT_EQ(to_strings(args), std::vector<std::string> {text}) << "[" << text << "] quoted as [" << arg.c_str() << "]";
    EXPECT_TRUE(redirections.empty()) << text;
    if ( !line.empty() )
      line += ' ';
    line += arg;
  }
  qvector<qstring> args;
  split_command_line(&args, nullptr, line.c_str(), 0);
  EXPECT_EQ(to_strings(args), hard) << line.c_str();
}

} // namespace
