// Launching real programs: finding them, arguments, redirections, environments, waits and failure texts.
#include "core/process_launch.h"

#include "core/debug_flags.h"
#include "core/directories.h"
#include "core/threads.h"
#include "tests/support/env_guard.h"
#include "tests/support/recording_ui_callback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A fresh directory of its own for each test.
fs::path test_dir()
{
  const auto *info = testing::UnitTest::GetInstance()->current_test_info();
  fs::path dir = fs::temp_directory_path() / (std::string(info->test_suite_name()) + "." + info->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string read_file(const fs::path &path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const fs::path &path, const std::string &text, fs::perms perms = fs::perms::owner_read | fs::perms::owner_write)
{
  std::ofstream(path, std::ios::binary) << text;
  fs::permissions(path, perms);
}

// Changes the working directory for the scope of the object.
class scoped_cwd_t
{
public:
  explicit scoped_cwd_t(const fs::path &dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~scoped_cwd_t() { fs::current_path(old_); }

private:
  fs::path old_;
};

struct launch_result_t
{
  bool started = false;
  std::string error;  // the error text of a failed launch
  std::string output; // what the child wrote on its standard output
  int32_t exit_code = -1000;
};

// Launches with the child's standard output on a pipe, reads it to the end and waits for the child.
launch_result_t run(process_launch_params_t params)
{
  launch_result_t result;
  int out[2];
  EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
  if ( params.std_output < 0 )
    params.std_output = out[1];
  qstring error;
  os_handle_t *handle = spawn_process(&params, &error);
  close(out[1]);
  result.error = error.c_str();
  result.started = handle != nullptr;
  char buf[512];
  ssize_t n;
  while ( (n = read(out[0], buf, sizeof(buf))) > 0 )
    result.output.append(buf, size_t(n));
  close(out[0]);
  if ( handle != nullptr )
  {
    EXPECT_EQ(wait_process(handle, &result.exit_code, -1), 0);
  }
  return result;
}

launch_result_t run(const char *program, const char *arguments, uint32_t flags = 0)
{
  process_launch_params_t params;
  params.program = program;
  params.arguments = arguments;
  params.flags = flags;
  return run(params);
}

TEST(ProcessLaunchTest, ExitCodesOfFoundPrograms)
{
  struct row_t
  {
    const char *program;
    const char *arguments;
    int32_t exit_code;
  } rows[] = {
    {"true", "", 0},
    {"false", nullptr, 1},
    {"/bin/sh", "-c \"exit 3\"", 3},
    {"sh", "-c \"kill -TERM $$\"", 128 + 15},
    {"/bin\\sh", "-c \"exit 4\"", 4},
  };
  for ( const row_t &row : rows )
  {
    const launch_result_t result = run(row.program, row.arguments);
    EXPECT_TRUE(result.started) << row.program << ": " << result.error;
    EXPECT_EQ(result.exit_code, row.exit_code) << row.program;
  }
}

TEST(ProcessLaunchTest, MissingProgramIsReportedInTheCallersText)
{
  const fs::path dir = test_dir();
  const std::string missing = (dir / "nothing-here").string();
  write_file(dir / "plain.txt", "text\n");
  struct row_t
  {
    std::string program;
    uint32_t flags;
    std::string error;
  } rows[] = {
    {"akui-no-such-program", 0, "Unable to launch process akui-no-such-program,file does not exist"},
    {missing, 0, "Unable to launch process " + missing + ",file does not exist"},
    {"", 0, "Unable to launch process ,file does not exist"},
    {"plain.txt", 0, "Unable to launch process plain.txt,file does not exist"},
    {(dir / "plain.txt").string(), 0,
     (dir / "plain.txt").string() + ": CreateProcess failed: Permission denied"},
    {std::string(PATH_MAX, 'x'), 0, "Unable to launch process " + std::string(PATH_MAX, 'x') + ",file does not exist"},
  };
  for ( const row_t &row : rows )
  {
    const launch_result_t result = run(row.program.c_str(), "");
    EXPECT_FALSE(result.started) << row.program;
    EXPECT_EQ(result.error, row.error);
  }
  process_launch_params_t params;
  params.program = "akui-no-such-program";
  EXPECT_EQ(spawn_process(&params, nullptr), nullptr) << "no error output is fine";
}

TEST(ProcessLaunchTest, ArgumentsReachTheChildSplit)
{
  struct row_t
  {
    const char *arguments;
    const char *output;
  } rows[] = {
    {"\"[%s]\\n\" a \"b c\" \"\" \"x\\\"y\"", "[a]\n[b c]\n[]\n[x\"y]\n"},
    {"\"[%s]\\n\" C:\\dir\\ \"trailing\\\\\"", "[C:\\dir\\]\n[trailing\\]\n"},
    {"\"[%s]\\n\" \">\" \"<in\" \"2>&1\"", "[>]\n[<in]\n[2>&1]\n"},
    {"\"[%s]\\n\" x>y a<b", "[x>y]\n[a<b]\n"},
  };
  for ( const row_t &row : rows )
  {
    const launch_result_t result = run("printf", row.arguments);
    EXPECT_EQ(result.output, row.output) << row.arguments;
    EXPECT_EQ(result.exit_code, 0) << row.arguments;
  }
}

TEST(ProcessLaunchTest, QuotedArgumentsArriveUnchanged)
{
  const std::vector<std::string> texts = {"", "a b", "\"", "x\\", "dir with blank\\", "a\\\"b", ">out", "$HOME",
                                          "tab\there", "line\nbreak", "\xc3\xa9t\xc3\xa9"};
  std::string arguments = "\"<%s>\"";
  std::string expected;
  for ( const std::string &text : texts )
  {
    qstring arg(text);
    quote_shell_argument(&arg);
    arguments += " ";
    arguments += arg.c_str();
    expected += "<" + text + ">";
  }
  const launch_result_t result = run("printf", arguments.c_str());
  EXPECT_EQ(result.output, expected) << arguments;
}

TEST(ProcessLaunchTest, RedirectionsToFiles)
{
  const fs::path dir = test_dir();
  const std::string out = (dir / "out.txt").string(), in = (dir / "in.txt").string();
  write_file(in, "first line\nsecond line\n");
  struct row_t
  {
    const char *name;
    std::string program;
    std::string arguments;
    std::string old_content; // of out.txt before the launch; "-" for none
    std::string file;        // out.txt afterwards
    std::string output;      // on the pipe of the record's standard output
  } rows[] = {
    {"output, arguments around it", "printf", "\"%s\\n\" a >" + out + " b", "-", "a\nb\n", ""},
    {"errors to the same file", "sh", "-c \"echo out; echo err >&2\" >" + out + " 2>&1", "-", "out\nerr\n", ""},
    {"errors where output was before", "sh", "-c \"echo out; echo err >&2\" 2>&1 >" + out, "-", "out\n", ""},
    {"a longer old file is truncated", "printf", "new >" + out, "old and much longer content\n", "new", ""},
    {"append", "printf", "more >>" + out, "old\n", "old\nmore", ""},
    {"input and output", "cat", "<" + in + " >" + out, "-", "first line\nsecond line\n", ""},
    {"quoted target with blank", "printf", "x >\"" + (dir / "with blank.txt").string() + "\"", "-", "", ""},
    {"quoted operator stays an argument", "printf", "\"[%s]\" \">\"", "-", "", "[>]"},
  };
  for ( const row_t &row : rows )
  {
    fs::remove(out);
    if ( row.old_content != "-" )
      write_file(out, row.old_content);
    const launch_result_t result = run(row.program.c_str(), row.arguments.c_str());
    EXPECT_TRUE(result.started) << row.name << ": " << result.error;
    EXPECT_EQ(result.exit_code, 0) << row.name;
    EXPECT_EQ(fs::exists(out) ? read_file(out) : "", row.file) << row.name;
    EXPECT_EQ(result.output, row.output) << row.name;
  }
  EXPECT_EQ(read_file(dir / "with blank.txt"), "x");
}

TEST(ProcessLaunchTest, RedirectionFailuresLaunchNothing)
{
  const fs::path dir = test_dir();
  const std::string marker = (dir / "ran").string();
  const std::string missing = (dir / "missing.txt").string(), no_dir = (dir / "no-dir" / "out.txt").string();
  // Names the file layer refuses: a malformed byte, an encoded surrogate, one byte too long for a path.
  const std::string malformed = (dir / "bad\xFF.txt").string(), surrogate = (dir / "bad\xED\xA0\x80.txt").string();
  const std::string too_long = dir.string() + "/" + std::string(PATH_MAX - dir.string().size() - 1, 'x');
  struct row_t
  {
    std::string redirection;
    std::string error;
  } rows[] = {
    {"3>x", "cannot redirect channel 3 on windows"},
    {"9>>x", "cannot redirect channel 9 on windows"},
    {"1>&5", "cannot redirect to channel 5 on windows"},
    {"<" + missing, "failed to redirect 0 to " + missing + ": No such file or directory"},
    {">" + no_dir, "failed to redirect 1 to " + no_dir + ": No such file or directory"},
    {"2>>" + dir.string(), "failed to redirect 2 to " + dir.string() + ": Is a directory"},
    {">" + malformed, "failed to redirect 1 to " + malformed + ": Invalid or incomplete multibyte or wide character"},
    {">" + surrogate, "failed to redirect 1 to " + surrogate + ": Invalid or incomplete multibyte or wide character"},
    {">" + too_long, "failed to redirect 1 to " + too_long + ": File name too long"},
  };
  for ( const row_t &row : rows )
  {
    const std::string arguments = "-c \"touch " + marker + "\" " + row.redirection;
    const launch_result_t result = run("sh", arguments.c_str());
    EXPECT_FALSE(result.started) << row.redirection;
    EXPECT_EQ(result.error, row.error);
    EXPECT_FALSE(fs::exists(marker)) << row.redirection;
  }
}

size_t open_descriptor_count()
{
  size_t n = 0;
  for ( const auto &entry : fs::directory_iterator("/proc/self/fd") )
  {
    (void)entry;
    ++n;
  }
  return n;
}

TEST(ProcessLaunchTest, ApplyRedirectionsFollowsTheirOrder)
{
  const fs::path dir = test_dir();
  const std::string a = (dir / "a").string(), b = (dir / "b").string();
  qvector<qstring> args;
  qvector<redirection_t> redirections;

  {
    split_command_line(&args, &redirections, ("x >" + a + " 2>&1 <&2").c_str(), 0);
    process_startup_t startup;
    EXPECT_EQ(apply_redirections(redirections, nullptr, &startup), 7);
    EXPECT_TRUE(startup.use_std_handles);
    ASSERT_EQ(startup.opened.size(), 1u);
    EXPECT_EQ(startup.std_fds[1], startup.opened[0]);
    EXPECT_EQ(startup.std_fds[2], startup.opened[0]) << "2>&1 after the file: the file";
    EXPECT_EQ(startup.std_fds[0], startup.opened[0]);
  }
  {
    split_command_line(&args, &redirections, ("x 2>&1 >" + a).c_str(), 0);
    process_startup_t startup;
    startup.std_fds[1] = 42; // handles given before do not count once there are redirections
    EXPECT_EQ(apply_redirections(redirections, nullptr, &startup), 6);
    EXPECT_EQ(startup.std_fds[0], 0);
    EXPECT_EQ(startup.std_fds[2], 1) << "2>&1 before the file: our own output";
    EXPECT_EQ(startup.std_fds[1], startup.opened[0]);
  }
  {
    split_command_line(&args, &redirections, "x \"&1\" >\"&1\"", 0);
    scoped_cwd_t cwd(dir);
    process_startup_t startup;
    EXPECT_EQ(apply_redirections(redirections, nullptr, &startup), 2);
    EXPECT_TRUE(fs::exists(dir / "&1")) << "a quoted &1 is a file name";
  }

  {
    // Without a standard input of our own, a file opened for a redirection must not take its number.
    split_command_line(&args, &redirections, ("x >" + a).c_str(), 0);
    const int saved_in = dup(0);
    close(0);
    process_startup_t startup;
    EXPECT_EQ(apply_redirections(redirections, nullptr, &startup), 2);
    dup2(saved_in, 0);
    close(saved_in);
    ASSERT_EQ(startup.opened.size(), 1u);
    EXPECT_GT(startup.opened[0], 2);
    EXPECT_EQ(startup.std_fds[0], 0);
    EXPECT_EQ(startup.std_fds[1], startup.opened[0]);
  }

  const size_t descriptors = open_descriptor_count();
  {
    split_command_line(&args, &redirections, ("x >" + a + " 2>" + b + " <" + (dir / "missing").string()).c_str(), 0);
    process_startup_t startup;
    startup.std_fds[1] = 7;
    qstring error;
    EXPECT_EQ(apply_redirections(redirections, &error, &startup), -1);
    EXPECT_EQ(std::string(error.c_str()), "failed to redirect 0 to " + (dir / "missing").string() + ": No such file or directory");
    EXPECT_TRUE(startup.opened.empty());
    EXPECT_EQ(startup.std_fds[0], -1) << "a failed call leaves the start-up as it was";
    EXPECT_EQ(startup.std_fds[1], 7);
    EXPECT_FALSE(startup.use_std_handles);
    EXPECT_EQ(open_descriptor_count(), descriptors) << "the files opened before the failure are closed";
  }
  {
    split_command_line(&args, &redirections, ("x >" + a + " 2>" + b).c_str(), 0);
    process_startup_t startup;
    EXPECT_EQ(apply_redirections(redirections, nullptr, &startup), 6);
    EXPECT_EQ(open_descriptor_count(), descriptors + 2);
  }
  EXPECT_EQ(open_descriptor_count(), descriptors) << "the start-up closes what it opened";
}

TEST(ProcessLaunchTest, RecordHandlesAndTheirReplacementByRedirections)
{
  const fs::path dir = test_dir();
  int in[2], err[2];
  ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
  ASSERT_EQ(write(in[1], "piped\n", 6), 6);
  close(in[1]);
  process_launch_params_t params;
  params.program = "sh";
  params.arguments = "-c \"read line; echo \\\"$line\\\"; echo oops >&2\"";
  params.std_input = in[0];
  params.std_error = err[1];
  launch_result_t result = run(params);
  close(in[0]);
  close(err[1]);
  char buf[64];
  const ssize_t n = read(err[0], buf, sizeof(buf));
  close(err[0]);
  EXPECT_EQ(result.output, "piped\n");
  EXPECT_EQ(std::string(buf, size_t(n > 0 ? n : 0)), "oops\n");

  // With a redirection in the command line the record's descriptors are not used.
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  const std::string arguments = "-c \"echo to-err >&2\" 2>" + (dir / "err.txt").string();
  params = {};
  params.program = "sh";
  params.arguments = arguments.c_str();
  params.std_output = out[1];
  result = run(params);
  close(out[1]);
  EXPECT_EQ(read(out[0], buf, sizeof(buf)), 0);
  close(out[0]);
  EXPECT_EQ(read_file(dir / "err.txt"), "to-err\n");
}

TEST(ProcessLaunchTest, EnvironmentBlocks)
{
  const env_guard_t path_var("PATH", "/usr/bin:/bin");
  const env_guard_t other("AKUI_INHERITED", "yes");
  const env_guard_t gone("AKUI_ABSENT", nullptr);
  struct row_t
  {
    const char *name;
    const char *additions; // a list ended by an empty text
    bool inherit;
    std::vector<std::string> has, lacks;
  } rows[] = {
    {"inherited", "\0", true, {"PATH=/usr/bin:/bin", "AKUI_INHERITED=yes"}, {}},
    {"empty value removes", "PATH=\0", true, {"AKUI_INHERITED=yes"}, {"PATH="}},
    {"names are case-sensitive", "path=x\0", true, {"path=x", "PATH=/usr/bin:/bin"}, {}},
    {"replace and add", "AKUI_INHERITED=no\0AKUI_NEW=a=b\0", true, {"AKUI_INHERITED=no", "AKUI_NEW=a=b"},
     {"AKUI_INHERITED=yes"}},
    {"later additions win", "AKUI_NEW=1\0AKUI_NEW=2\0", true, {"AKUI_NEW=2"}, {"AKUI_NEW=1"}},
    {"malformed additions are skipped", "novalue\0=nameless\0AKUI_OK=1\0", true, {"AKUI_OK=1"},
     {"novalue", "=nameless"}},
    {"only the additions", "AKUI_ONLY=1\0PATH=\0", false, {"AKUI_ONLY=1"}, {"PATH=/usr/bin:/bin", "AKUI_INHERITED=yes"}},
  };
  for ( const row_t &row : rows )
  {
    const qvector<qstring> block = build_environment_block(row.additions, row.inherit);
    std::vector<std::string> entries;
    for ( const qstring &entry : block )
      entries.emplace_back(entry.view());
    EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end())) << row.name;
    for ( const std::string &entry : row.has )
      EXPECT_NE(std::find(entries.begin(), entries.end(), entry), entries.end()) << row.name << ": " << entry;
    for ( const std::string &prefix : row.lacks )
      for ( const std::string &entry : entries )
        EXPECT_NE(entry.rfind(prefix, 0), 0u) << row.name << ": " << entry;
    if ( !row.inherit )
    {
      EXPECT_EQ(entries, std::vector<std::string> {"AKUI_ONLY=1"}) << row.name;
    }
  }
  EXPECT_TRUE(build_environment_block(nullptr, false).empty());
}

TEST(ProcessLaunchTest, ChildEnvironment)
{
  const env_guard_t inherited("AKUI_INHERITED", "yes");
  struct row_t
  {
    const char *additions;
    uint32_t flags;
    const char *output;
  } rows[] = {
    {nullptr, 0, "yes|\n"},
    {"AKUI_ADDED=1\0", 0, "yes|1\n"},
    {"AKUI_ADDED=1\0", LAUNCH_NO_INHERIT_ENV, "|1\n"},
    {"AKUI_INHERITED=\0", 0, "|\n"},
    {nullptr, LAUNCH_NO_INHERIT_ENV, "yes|\n"},
  };
  for ( const row_t &row : rows )
  {
    process_launch_params_t params;
    params.program = "/bin/sh";
    params.arguments = "-c \"echo \\\"$AKUI_INHERITED|$AKUI_ADDED\\\"\"";
    params.flags = row.flags;
    params.environment = row.additions;
    const launch_result_t result = run(params);
    EXPECT_EQ(result.output, row.output) << (row.additions ? row.additions : "(none)") << " flags " << row.flags;
  }
}

TEST(ProcessLaunchTest, ProgramSearch)
{
  const fs::path dir = test_dir();
  const fs::path first = dir / "first", second = dir / "second";
  fs::create_directories(first);
  fs::create_directories(second);
  write_file(first / "akui-tool", "#!/bin/sh\necho not executable\n");
  write_file(second / "akui-tool", "#!/bin/sh\necho second \"$@\"\n", fs::perms::owner_all);
  write_file(dir / "akui-local", "#!/bin/sh\necho local\n", fs::perms::owner_all);
  qstring user_dir;
  ASSERT_TRUE(user_directory(&user_dir));
  write_file(fs::path(user_dir.c_str()) / "akui-user-tool", "#!/bin/sh\necho user\n", fs::perms::owner_all);

  const std::string path_list = "/usr/bin:/bin::" + first.string() + ";" + second.string();
  const env_guard_t path_var("PATH", path_list.c_str());
  scoped_cwd_t cwd(dir);
  struct row_t
  {
    const char *program;
    const char *output;
  } rows[] = {
    {"akui-tool", "second x\n"},
    {"akui-user-tool", "user\n"},
    {"./akui-local", "local\n"},
    {"first/../second/akui-tool", "second x\n"},
  };
  for ( const row_t &row : rows )
  {
    const launch_result_t result = run(row.program, "x");
    EXPECT_TRUE(result.started) << row.program << ": " << result.error;
    EXPECT_EQ(result.output, row.output) << row.program;
  }
  EXPECT_FALSE(run("akui-local", "").started) << "the working directory is not searched for a bare name";
}

TEST(ProcessLaunchTest, StartDirectoryAndRelativeProgram)
{
  const fs::path dir = test_dir();
  fs::create_directories(dir / "elsewhere");
  write_file(dir / "where.sh", "#!/bin/sh\npwd\n", fs::perms::owner_all);
  scoped_cwd_t cwd(dir);
  process_launch_params_t params;
  params.program = "./where.sh";
  params.start_directory = "elsewhere";
  const launch_result_t result = run(params);
  EXPECT_TRUE(result.started) << result.error;
  EXPECT_EQ(result.output, (dir / "elsewhere").string() + "\n");

  params.start_directory = "no-such-directory";
  const launch_result_t failed = run(params);
  EXPECT_FALSE(failed.started);
  EXPECT_EQ(failed.error, "./where.sh: CreateProcess failed: No such file or directory");
}

TEST(ProcessLaunchTest, WholeCommandLineAndShell)
{
  const fs::path dir = test_dir();
  struct row_t
  {
    const char *name;
    const char *program;
    const char *arguments;
    uint32_t flags;
    const char *output;
  } rows[] = {
    {"whole command line", "/bin/sh", "my-name -c \"echo $0\"", LAUNCH_WHOLE_COMMAND_LINE, "my-name\n"},
    {"raw first argument", "/bin/sh", "\"C:\\x\\\" -c \"echo $0\"", LAUNCH_WHOLE_COMMAND_LINE, "C:\\x\\\n"},
    {"empty whole command line", "/bin/echo", "", LAUNCH_WHOLE_COMMAND_LINE, "\n"},
    {"shell", "ignored", "echo a; echo b | tr a-z A-Z", LAUNCH_SHELL, "a\nB\n"},
    {"shell ignores the whole-line flag", nullptr, "echo $0", LAUNCH_SHELL | LAUNCH_WHOLE_COMMAND_LINE, "/bin/sh\n"},
    {"shell quoting is the shell's", nullptr, "printf '[%s]' 'a > b' \"c\"", LAUNCH_SHELL, "[a > b][c]"},
  };
  for ( const row_t &row : rows )
  {
    const launch_result_t result = run(row.program, row.arguments, row.flags);
    EXPECT_TRUE(result.started) << row.name << ": " << result.error;
    EXPECT_EQ(result.output, row.output) << row.name;
  }

  const std::string to_file = "echo hi > '" + (dir / "shell out.txt").string() + "'";
  EXPECT_EQ(run(nullptr, to_file.c_str(), LAUNCH_SHELL).exit_code, 0);
  EXPECT_EQ(read_file(dir / "shell out.txt"), "hi\n") << "the shell did the redirection";

  // Without arguments the shell reads its commands from its input.
  int in[2];
  ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
  ASSERT_EQ(write(in[1], "echo from input\n", 16), 16);
  close(in[1]);
  process_launch_params_t params;
  params.flags = LAUNCH_SHELL;
  params.std_input = in[0];
  const launch_result_t result = run(params);
  close(in[0]);
  EXPECT_EQ(result.output, "from input\n");
}

TEST(ProcessLaunchTest, WaitProcessTimeOutsAndFailures)
{
  int in[2];
  ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
  process_launch_params_t params;
  params.program = "sh";
  params.arguments = "-c \"read line; exit 6\"";
  params.std_input = in[0];
  os_handle_t *handle = spawn_process(&params, nullptr);
  close(in[0]);
  ASSERT_NE(handle, nullptr);
  int32_t code = 12345;
  EXPECT_EQ(wait_process(handle, &code, 0), 1);
  EXPECT_EQ(wait_process(handle, &code, 1), 1) << "a 1 ms time-out is not a wait without limit";
  EXPECT_EQ(wait_process(handle, nullptr, 10), 1);
  EXPECT_EQ(code, 12345) << "nothing stored on a time-out";
  ASSERT_EQ(write(in[1], "\n", 1), 1);
  close(in[1]);
  EXPECT_EQ(wait_process(handle, &code, -1), 0);
  EXPECT_EQ(code, 6);

  code = 0;
  EXPECT_EQ(wait_process(nullptr, &code, 0), -1);
  EXPECT_EQ(code, EBADF);

  os_handle_t *semaphore = semaphore_create(nullptr, 1);
  EXPECT_EQ(wait_process(semaphore, &code, 0), 0);
  EXPECT_EQ(code, -9) << "not a process";
  EXPECT_TRUE(semaphore_release(semaphore)) << "the handle stays open";
  EXPECT_TRUE(close_os_handle(semaphore));
}

TEST(ProcessLaunchTest, ProcessInformationAndShortRecords)
{
  process_information_t info;
  process_launch_params_t params;
  params.program = "sh";
  params.arguments = "-c \"exit 2\"";
  params.process_info = &info;
  os_handle_t *handle = spawn_process(&params, nullptr);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(info.process_handle, handle);
  ASSERT_NE(info.thread_handle, nullptr);
  EXPECT_NE(info.process_id, 0u);
  EXPECT_EQ(info.thread_id, info.process_id);
  EXPECT_TRUE(wait_for_handle(info.thread_handle, -1));
  EXPECT_TRUE(close_os_handle(info.thread_handle));
  int32_t code = 0;
  EXPECT_EQ(wait_process(handle, &code, -1), 0);
  EXPECT_EQ(code, 2);

  // A record that ends before the environment additions: they, the directory and the output are unread.
  process_information_t untouched;
  params = {};
  params.size = offsetof(process_launch_params_t, environment);
  params.program = "sh";
  params.arguments = "-c \"echo \\\"$AKUI_ADDED\\\"; pwd\"";
  params.environment = "AKUI_ADDED=1\0";
  params.start_directory = "/no/such/dir";
  params.process_info = &untouched;
  const std::string cwd = fs::current_path().string();
  const launch_result_t result = run(params);
  EXPECT_TRUE(result.started) << result.error;
  EXPECT_EQ(result.output, "\n" + cwd + "\n");
  EXPECT_EQ(untouched.process_handle, nullptr);
}

TEST(ProcessLaunchTest, DebugLaunchStopsForTheCallerWithAnAbsolutePath)
{
  const fs::path dir = test_dir();
  write_file(dir / "show-name.sh", "#!/bin/sh\necho \"$0\"\n", fs::perms::owner_all);
  auto cwd = std::make_unique<scoped_cwd_t>(dir);
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  process_information_t info;
  process_launch_params_t params;
  params.program = "show-name.sh";
  params.flags = LAUNCH_DEBUG;
  params.std_output = out[1];
  params.process_info = &info;
  os_handle_t *handle = spawn_process(&params, nullptr);
  close(out[1]);
  cwd.reset();
  ASSERT_NE(handle, nullptr);
  int status = 0;
  ASSERT_EQ(waitpid(pid_t(info.process_id), &status, 0), pid_t(info.process_id));
  EXPECT_TRUE(WIFSTOPPED(status) && WSTOPSIG(status) == SIGTRAP);
  ASSERT_EQ(ptrace(PTRACE_DETACH, pid_t(info.process_id), nullptr, nullptr), 0);
  char buf[PATH_MAX];
  const ssize_t n = read(out[0], buf, sizeof(buf));
  close(out[0]);
  EXPECT_EQ(std::string(buf, size_t(n > 0 ? n : 0)), (dir / "show-name.sh").string() + "\n");
  EXPECT_EQ(wait_process(handle, nullptr, -1), 0);
  close_os_handle(info.thread_handle);
}

TEST(ProcessLaunchTest, LaunchDebugBitLogs)
{
  recording_ui_callback_t ui;
  const uint32_t saved = debug_flags;
  debug_flags |= DEBUG_FLAG_LAUNCH;
  run("true", "a b");
  run("akui-no-such-program", nullptr);
  process_launch_params_t params;
  params.program = "true";
  params.arguments = "3>x";
  EXPECT_EQ(spawn_process(&params, nullptr), nullptr);
  qstring error;
  EXPECT_EQ(spawn_process(&params, &error), nullptr);
  debug_flags = saved;
  run("true", "unlogged");

  const std::vector<std::string> expected = {
    "Launching process true, with args a b\n",
    "Launching process akui-no-such-program, with args \n",
    "Unable to launch process akui-no-such-program,file does not exist\n",
    "Launching process true, with args 3>x\n",
    "Unable to launch process, redirection error Unknown redirection error.\n",
    "Launching process true, with args 3>x\n",
    "Unable to launch process, redirection error cannot redirect channel 3 on windows",
  };
  std::vector<std::string> logged;
  for ( const ui_request_record_t &request : ui.requests_of(ui_code_log) )
    logged.push_back(request.text);
  EXPECT_EQ(logged, expected);
}

} // namespace
