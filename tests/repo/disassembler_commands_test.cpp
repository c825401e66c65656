// Disassembler command templates: defaults, expansion, quoting, the launch and the site's diff.
#include "repo/disassembler_commands.h"

#include "core/command_line.h"
#include "core/directories.h"
#include "core/error_state.h"
#include "core/process_launch.h"
#include "repo/local_site.h"
#include "repo/plain_fs.h"
#include "tests/repo/disassembler_standin.h"
#include "tests/repo/work_dir_helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

using strings_t = std::vector<std::string>;

std::string detail()
{
  const char *text = get_error_arg_text(0);
  return text != nullptr ? text : "";
}

std::string expand(const char *templ, const merge_side_t &local, const merge_side_t *remote = nullptr,
                   const char *base = nullptr, const char *item = "")
{
  return std::string(expand_merge_template(templ, item, local, remote, base).view());
}

strings_t split(const std::string &text, size_t *redirections = nullptr)
{
  qvector<qstring> args;
  qvector<redirection_t> found;
  split_command_line(&args, &found, text.c_str(), 0);
  if ( redirections != nullptr )
    *redirections = found.size();
  strings_t result;
  for ( const qstring &arg : args )
    result.emplace_back(arg.view());
  return result;
}

std::string install_dir()
{
  qstring dir;
  install_dir_string(&dir);
  return std::string(dir.view());
}

TEST(DisassemblerTemplates, DefaultsByOperationAndMethod)
{
  EXPECT_EQ(default_diff_arguments(),
            "-Omerge:policy=diff:delete_local=%<:delete_remote=%>:batch=off -MTL%[ -MTR%] -MR%r %l");
  const struct
  {
    int method;
    const char *expected;
  } cases[] = {
    {merge_auto_safe, "-A -Omerge:save:policy=postpone:batch=on -MB%b -MR%r %l"},
    {merge_auto_local, "-A -Omerge:save:policy=local:batch=on -MB%b -MR%r %l"},
    {merge_auto_remote, "-A -Omerge:save:policy=remote:batch=on -MB%b -MR%r %l"},
    {merge_interactive, "-Omerge:save:policy=postpone:batch=off -MB%b -MR%r %l"},
    {merge_keep_local, " -MB%b -MR%r %l"},
    {merge_take_remote, " -MB%b -MR%r %l"},
    {0, " -MB%b -MR%r %l"},
    {-1, " -MB%b -MR%r %l"},
  };
  for ( const auto &c : cases )
    EXPECT_EQ(default_merge_arguments(c.method), c.expected) << "method " << c.method;
}

TEST(DisassemblerTemplates, EveryPlaceholder)
{
  const merge_side_t local{"/w/a.zdb", "local title", true};
  const merge_side_t remote{"/t/a.remote.zdb", "//a.zdb#last", false};
  const struct
  {
    const char *name;
    const char *templ;
    const merge_side_t *remote;
    const char *base;
    const char *item;
    std::string expected;
  } cases[] = {
    {"local path", "%l", &remote, nullptr, "", "/w/a.zdb"},
    {"remote path", "%r", &remote, nullptr, "", "/t/a.remote.zdb"},
    {"no remote side", "[%r]", nullptr, nullptr, "", "[\"\"]"},
    {"base", "-MB%b", &remote, "/t/a.base.zdb", "", "-MB/t/a.base.zdb"},
    {"no base", "-MB%b", &remote, nullptr, "", "-MB\"\""},
    {"empty item", "%i", &remote, nullptr, "", "\"\""},
    {"item", "%i", &remote, nullptr, "it", "it"},
    {"temporary local", "%<", &remote, nullptr, "", "on"},
    {"working remote", "%>", &remote, nullptr, "", "off"},
    {"no remote is not temporary", "%>", nullptr, nullptr, "", "off"},
    {"local title with a blank", "%[", &remote, nullptr, "", "\"local title\""},
    {"remote title with '#'", "%]", &remote, nullptr, "", "\"//a.zdb#last\""},
    {"no remote title", "%]", nullptr, nullptr, "", "\"\""},
    {"installation directory", "%I/zuk", &remote, nullptr, "", install_dir() + "/zuk"},
    {"percent at the end", "x%", &remote, nullptr, "", "x"},
    {"doubled percent", "%%l", &remote, nullptr, "", "%l"},
    {"unknown placeholder", "%q", &remote, nullptr, "", "q"},
    {"empty template", "", &remote, nullptr, "", ""},
    {"plain text", "-A -B", &remote, nullptr, "", "-A -B"},
  };
  for ( const auto &c : cases )
    EXPECT_EQ(expand(c.templ, local, c.remote, c.base, c.item), c.expected) << c.name;
}

TEST(DisassemblerTemplates, SidesWithoutTitlesOrTemporaryFlags)
{
  const merge_side_t local{"/w/a.zdb", nullptr, false};
  const merge_side_t remote{"/t/b.zdb", nullptr, true};
  EXPECT_EQ(expand("%<%>%[%]", local, &remote), "offon\"\"\"\"");
}

TEST(DisassemblerTemplates, DefaultDiffOfACopyAgainstTheWorkingFile)
{
  const merge_side_t copy{"/tmp/a.#12.zdb", "//a.zdb#12", true};
  const merge_side_t working{"/w/a.zdb", "/w/a.zdb", false};
  EXPECT_EQ(expand(default_diff_arguments().c_str(), copy, &working),
            "-Omerge:policy=diff:delete_local=on:delete_remote=off:batch=off -MTL\"//a.zdb#12\" -MTR/w/a.zdb "
            "-MR/w/a.zdb \"/tmp/a.#12.zdb\"");

  const merge_side_t untitled{"/w/a.zdb", nullptr, false};
  EXPECT_EQ(expand(default_diff_arguments().c_str(), untitled),
            "-Omerge:policy=diff:delete_local=off:delete_remote=off:batch=off -MTL\"\" -MTR\"\" -MR\"\" /w/a.zdb");
}

TEST(DisassemblerTemplates, AppendQuotedArgument)
{
  const struct
  {
    const char *value;
    const char *expected;
  } cases[] = {
    {nullptr, "x \"\""},
    {"", "x \"\""},
    {"abc", "x abc"},
    {"a b", "x \"a b\""},
    {"a\"b", "x \"a\\\"b\""},
    {"C:\\dir\\", "x C:\\dir\\"},
  };
  for ( const auto &c : cases )
  {
    qstring command("x ");
    append_quoted_argument(&command, c.value);
    EXPECT_EQ(command, c.expected) << (c.value != nullptr ? c.value : "(null)");
  }
}

// Whatever a path or title holds, the command line splits back into the same texts, one argument each,
// and nothing in them is taken for a redirection.
TEST(DisassemblerTemplates, ExpandedTextsSplitBackUnchanged)
{
  const char *const texts[] = {
    "plain",
    "with blank",
    "ends in a backslash\\",
    "ends\\",
    "C:\\dir with blank\\",
    "two backslashes\\\\",
    "inner \"quote\"",
    "backslash before quote\\\"x",
    "quote at end\"",
    "tab\there",
    "new\nline",
    "",
    "?",
    "*",
    "[x]",
    "(x)",
    "<in",
    ">out",
    "2>err",
    "a;b",
    "a&b",
    "$HOME",
    "a|b",
    "a^b",
    "//a.zdb#12",
    "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC",
  };
  for ( const char *text : texts )
  {
    const merge_side_t local{text, text, true};
    const merge_side_t remote{text, text, false};
    size_t redirections = 0;
    const strings_t args = split(expand("-MTL%[ -MTR%] -MB%b -MR%r %l", local, &remote, text), &redirections);
    const std::string t(text);
    EXPECT_EQ(args, (strings_t{"-MTL" + t, "-MTR" + t, "-MB" + t, "-MR" + t, t})) << text;
    EXPECT_EQ(redirections, 0u) << text;
  }
}

// The launches run the stand-in built beside the test executables under the names "zuk" and "zuk64".
class DisassemblerLaunch : public testing::Test
{
protected:
  // Launches and waits: the exit code, or -1000 when nothing was launched.
  int launch_and_wait(const char *variable, const char *templ, const merge_side_t &local,
                      const merge_side_t *remote, const char *base)
  {
    os_handle_t *process = launch_merge_tool(variable, templ, local, remote, base);
    if ( process == nullptr )
      return -1000;
    int32_t code = -1;
    EXPECT_EQ(wait_process(process, &code, -1), 0);
    return code;
  }

  disassembler_standin_t standin;
  scratch_dir_t dir;
};

TEST_F(DisassemblerLaunch, ExecutableChosenByTheDatabaseExtension)
{
  standin.exit_with(0); // only the command line matters here
  const struct
  {
    const char *file;
    const char *program;
  } cases[] = {
    {"a.zdb", "zuk"},
    {"a.z64", "zuk64"},
    {"dir.z64/a.zdb", "zuk"},
  };
  size_t runs = 0;
  for ( const auto &c : cases )
  {
    const std::string path = dir.at(c.file);
    const merge_side_t local{path.c_str(), nullptr, false};
    ASSERT_EQ(launch_and_wait("ARKIVE_MANUAL_MERGE", "-X %l", local, nullptr, nullptr), 0) << c.file;
    const std::vector<standin_run_t> recorded = standin.runs();
    ASSERT_EQ(recorded.size(), ++runs);
    EXPECT_EQ(recorded.back().program, c.program) << c.file;
    EXPECT_EQ(recorded.back().args, (strings_t{"-X", path})) << c.file;
  }
}

TEST_F(DisassemblerLaunch, FilesThatAreNotDatabasesAreRefused)
{
  const char *const files[] = {"a.ZDB", "a.Z64", "a.txt", "a", "a.zdb.bak", "a.zdbx", "zdb", ".zdb/a"};
  for ( const char *file : files )
  {
    error_arg_text(0, nullptr);
    const std::string path = dir.at(file);
    const merge_side_t local{path.c_str(), nullptr, false};
    EXPECT_EQ(launch_and_wait("ARKIVE_DIFF", "%l", local, nullptr, nullptr), -1000) << file;
    EXPECT_EQ(detail(), "Currently only ZUK databases can be merged") << file;
  }
  const merge_side_t no_path{};
  EXPECT_EQ(launch_and_wait("ARKIVE_DIFF", "%l", no_path, nullptr, nullptr), -1000);
  EXPECT_TRUE(standin.runs().empty());
}

TEST_F(DisassemblerLaunch, EnvironmentReplacesTheTemplate)
{
  standin.exit_with(0); // only the command line matters here
  const std::string db = dir.at("a.zdb");
  const std::string base = dir.at("a.base.zdb");
  const merge_side_t local{db.c_str(), nullptr, false};
  const merge_side_t remote{"/r/a b.zdb", nullptr, true};
  const struct
  {
    const char *variable;
    const char *value; // null: unset
    strings_t expected;
  } cases[] = {
    {"ARKIVE_AUTO_MERGE", nullptr, {"-MB" + base, "-MR/r/a b.zdb", db}},
    {"ARKIVE_AUTO_MERGE", "-Y %r %>", {"-Y", "/r/a b.zdb", "on"}},
    {"ARKIVE_AUTO_MERGE", "", {}},
    {"ARKIVE_LMERGE", "%b", {base}},
    {"ARKIVE_RMERGE", "x%", {"x"}},
    {"ARKIVE_MANUAL_MERGE", "%%I", {"%I"}},
    {"ARKIVE_DIFF", "-D %l", {"-D", db}},
  };
  size_t runs = 0;
  for ( const auto &c : cases )
  {
    if ( c.value != nullptr )
      setenv(c.variable, c.value, 1);
    ASSERT_EQ(launch_and_wait(c.variable, "-MB%b -MR%r %l", local, &remote, base.c_str()), 0) << c.variable;
    unsetenv(c.variable);
    const std::vector<standin_run_t> recorded = standin.runs();
    ASSERT_EQ(recorded.size(), ++runs);
    EXPECT_EQ(recorded.back().args, c.expected) << c.variable << "=" << (c.value != nullptr ? c.value : "(unset)");
  }
}

TEST_F(DisassemblerLaunch, AVariableOfAnotherOperationChangesNothing)
{
  standin.exit_with(0); // only the command line matters here
  const std::string db = dir.at("a.zdb");
  const merge_side_t local{db.c_str(), nullptr, false};
  setenv("ARKIVE_LMERGE", "-wrong", 1);
  ASSERT_EQ(launch_and_wait("ARKIVE_RMERGE", "-right %l", local, nullptr, nullptr), 0);
  const std::vector<standin_run_t> recorded = standin.runs();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].args, (strings_t{"-right", db}));
}

TEST_F(DisassemblerLaunch, AFailedStartNamesTheProgramAndTheCause)
{
  const std::string db = dir.at("a.zdb");
  const merge_side_t local{db.c_str(), nullptr, false};
  const std::string program = install_dir() + "/zuk";
  const struct
  {
    const char *templ;
    std::string expected;
  } cases[] = {
    {"3>x %l", program + ": cannot redirect channel 3 on windows"},
    {"%l <" "missing-input", program + ": failed to redirect 0 to missing-input: "},
  };
  for ( const auto &c : cases )
  {
    error_arg_text(0, nullptr);
    EXPECT_EQ(launch_and_wait("ARKIVE_DIFF", c.templ, local, nullptr, nullptr), -1000) << c.templ;
    EXPECT_EQ(detail().substr(0, c.expected.size()), c.expected) << c.templ;
  }
  EXPECT_TRUE(standin.runs().empty());
}

class SiteDiff : public DisassemblerLaunch
{
protected:
  process_fs_t fs;
  local_site_t site{"ws", "/w", &fs};
};

TEST_F(SiteDiff, LaunchesWithoutWaitingAndTheToolDeletesTheCopies)
{
  dir.write("a.#3.zdb", "three");
  dir.write("a.zdb", "working");
  const std::string copy = dir.at("a.#3.zdb");
  const std::string working = dir.at("a.zdb");
  const merge_side_t left{copy.c_str(), "//a.zdb#3", true};
  const merge_side_t right{working.c_str(), working.c_str(), false};

  standin.hold();
  ASSERT_EQ(site.diff(left, right, default_diff_arguments().c_str()), 0);
  EXPECT_TRUE(dir.exists("a.#3.zdb")); // the stand-in still waits: diff did not wait for it
  standin.release();

  const std::vector<standin_run_t> recorded = standin.wait_for_runs(1);
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].program, "zuk");
  EXPECT_EQ(recorded[0].args,
            (strings_t{"-Omerge:policy=diff:delete_local=on:delete_remote=off:batch=off", "-MTL//a.zdb#3",
                       "-MTR" + working, "-MR" + working, copy}));
  for ( int i = 0; i < 6000 && dir.exists("a.#3.zdb"); ++i )
    usleep(5000);
  EXPECT_FALSE(dir.exists("a.#3.zdb"));
  EXPECT_EQ(dir.read("a.zdb"), "working");
}

TEST_F(SiteDiff, FailuresAreCode33WithTheirDetail)
{
  const merge_side_t text{"/w/a.txt", nullptr, false};
  const merge_side_t db{"/w/a.zdb", nullptr, false};
  EXPECT_EQ(site.diff(text, db, "%l"), 33);
  EXPECT_EQ(detail(), "Currently only ZUK databases can be merged");

  setenv("ARKIVE_DIFF", "3>x", 1);
  EXPECT_EQ(site.diff(db, text, default_diff_arguments().c_str()), 33);
  EXPECT_EQ(detail(), install_dir() + "/zuk: cannot redirect channel 3 on windows");
  EXPECT_TRUE(standin.runs().empty());
}

} // namespace
