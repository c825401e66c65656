// Child processes of the platform layer: exit codes, waits, standard channels, isolation and tracing.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A pipe whose ends close with the object.
struct test_pipe_t
{
  test_pipe_t() { EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0); }
  ~test_pipe_t()
  {
    close_read();
    close_write();
  }
  void close_read()
  {
    if ( fds[0] >= 0 )
      close(fds[0]);
    fds[0] = -1;
  }
  void close_write()
  {
    if ( fds[1] >= 0 )
      close(fds[1]);
    fds[1] = -1;
  }
  // Everything until every writer has closed its end.
  std::string read_all()
  {
    close_write();
    std::string text;
    char buf[256];
    ssize_t n;
    while ( (n = read(fds[0], buf, sizeof(buf))) > 0 || (n < 0 && errno == EINTR) )
      if ( n > 0 )
        text.append(buf, size_t(n));
    return text;
  }
  int fds[2] = {-1, -1};
};

// Runs /bin/sh -c script with the given standard channels and returns the handle (null on failure).
os_handle_t *spawn_shell(const char *script, int in = -1, int out = -1, int err = -1, uint32_t *pid = nullptr)
{
  const char *argv[] = {"sh", "-c", script, nullptr};
  process_spawn_request_t request;
  request.path = "/bin/sh";
  request.argv = argv;
  request.std_fds[0] = in;
  request.std_fds[1] = out;
  request.std_fds[2] = err;
  return platform_process_spawn(request, pid);
}

// Waits without limit and returns the exit code (-1000 when it cannot be read).
int32_t finish(os_handle_t *handle)
{
  int32_t code = -1000;
  EXPECT_TRUE(handle->wait(-1));
  EXPECT_TRUE(platform_process_exit_code(handle, &code));
  delete handle;
  return code;
}

TEST(PlatformProcessTest, ExitCodes)
{
  struct row_t
  {
    const char *script;
    int32_t code;
  } rows[] = {
    {"exit 0", 0},
    {"exit 1", 1},
    {"exit 42", 42},
    {"exit 255", 255},
    {"kill -TERM $$", 128 + SIGTERM},
    {"kill -KILL $$", 128 + SIGKILL},
  };
  for ( const row_t &row : rows )
  {
    os_handle_t *handle = spawn_shell(row.script);
    ASSERT_NE(handle, nullptr) << row.script;
    EXPECT_EQ(finish(handle), row.code) << row.script;
  }
}

TEST(PlatformProcessTest, WaitTimesOutWhileRunningAndStaysSignalledAfterwards)
{
  test_pipe_t input;
  os_handle_t *handle = spawn_shell("read line; exit 7", input.fds[0]);
  ASSERT_NE(handle, nullptr);
  EXPECT_FALSE(handle->wait(0));
  EXPECT_FALSE(handle->wait(1)) << "a 1 ms time-out must come back";
  EXPECT_FALSE(handle->wait(20));
  int32_t code = 0;
  errno = 0;
  EXPECT_FALSE(platform_process_exit_code(handle, &code));
  EXPECT_EQ(errno, EAGAIN) << "no exit code while it runs";

  ASSERT_EQ(write(input.fds[1], "go\n", 3), 3);
  EXPECT_TRUE(handle->wait(-1));
  EXPECT_TRUE(handle->wait(0)) << "an ended child stays signalled";
  EXPECT_TRUE(platform_process_exit_code(handle, &code));
  EXPECT_EQ(code, 7);
  EXPECT_TRUE(platform_process_exit_code(handle, &code)) << "the code can be read again";
  EXPECT_EQ(code, 7);
  delete handle;
}

TEST(PlatformProcessTest, StartFailuresAreReportedNotRun)
{
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "spawn-failures";
  std::filesystem::create_directories(dir);
  const std::string plain = (dir / "plain.txt").string();
  std::ofstream(plain) << "not a program\n";
  std::filesystem::permissions(plain, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  struct row_t
  {
    const char *name;
    std::string path;
    std::string directory;
    int error;
  } rows[] = {
    {"missing program", (dir / "nothing").string(), "", ENOENT},
    {"file without execute permission", plain, "", EACCES},
    {"a directory", dir.string(), "", EACCES},
    {"missing working directory", "/bin/true", (dir / "no-such-dir").string(), ENOENT},
    {"empty path", "", "", ENOENT},
  };
  for ( const row_t &row : rows )
  {
    process_spawn_request_t request;
    request.path = row.path.c_str();
    request.directory = row.directory.c_str();
    errno = 0;
    uint32_t pid = 0;
    EXPECT_EQ(platform_process_spawn(request, &pid), nullptr) << row.name;
    EXPECT_EQ(errno, row.error) << row.name;
    EXPECT_EQ(pid, 0u) << row.name;
  }
}

TEST(PlatformProcessTest, ArgumentsEnvironmentAndDirectory)
{
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "spawn-dir";
  std::filesystem::create_directories(dir);
  test_pipe_t out;
  const char *argv[] = {"name-of-zero", "-c",
                        "printf '%s|%s|%s|%s|' \"$0\" \"$1\" \"$GREETING\" \"$(pwd)\"; head -z -n 1 /proc/$$/cmdline",
                        "dollar-zero", "first arg", nullptr};
  const char *envp[] = {"GREETING=hello there", nullptr};
  process_spawn_request_t request;
  request.path = "/bin/sh";
  request.argv = argv;
  request.envp = envp;
  request.directory = dir.c_str();
  request.std_fds[1] = out.fds[1];
  os_handle_t *handle = platform_process_spawn(request, nullptr);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(out.read_all(), "dollar-zero|first arg|hello there|" + dir.string() + "|name-of-zero" + std::string(1, '\0'));
  EXPECT_EQ(finish(handle), 0);
}

TEST(PlatformProcessTest, MissingArgvRunsThePathAsArgumentZero)
{
  test_pipe_t out;
  process_spawn_request_t request;
  request.path = "/bin/sh";
  const char *empty[] = {nullptr};
  request.argv = empty;
  test_pipe_t in;
  ASSERT_EQ(write(in.fds[1], "echo \"$0\"\n", 10), 10);
  in.close_write();
  request.std_fds[0] = in.fds[0];
  request.std_fds[1] = out.fds[1];
  os_handle_t *handle = platform_process_spawn(request, nullptr);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(out.read_all(), "/bin/sh\n");
  EXPECT_EQ(finish(handle), 0);
}

TEST(PlatformProcessTest, StandardChannelsGoWhereAsked)
{
  test_pipe_t in, out, err;
  ASSERT_EQ(write(in.fds[1], "from stdin\n", 11), 11);
  in.close_write();
  os_handle_t *handle = spawn_shell("read line; echo \"out:$line\"; echo \"err:$line\" >&2", in.fds[0],
                                    out.fds[1], err.fds[1]);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(out.read_all(), "out:from stdin\n");
  EXPECT_EQ(err.read_all(), "err:from stdin\n");
  EXPECT_EQ(finish(handle), 0);
}

// Our own channels 1 and 2 are pointed at pipes for the duration, so that a child told to take its
// output from our 2 and its errors from our 1 can be observed.
TEST(PlatformProcessTest, SwappedStandardChannelsAreNotOverwrittenWhileSetUp)
{
  test_pipe_t to_one, to_two;
  fflush(stdout);
  fflush(stderr);
  const int saved_out = dup(1), saved_err = dup(2);
  dup2(to_one.fds[1], 1);
  dup2(to_two.fds[1], 2);
  os_handle_t *handle = spawn_shell("echo out; echo err >&2", -1, 2, 1);
  dup2(saved_out, 1);
  dup2(saved_err, 2);
  close(saved_out);
  close(saved_err);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(finish(handle), 0);
  EXPECT_EQ(to_two.read_all(), "out\n");
  EXPECT_EQ(to_one.read_all(), "err\n");
}

// A standard channel that we lack ourselves reaches the child closed, wherever it is asked for.
TEST(PlatformProcessTest, ChannelsWeLackArePassedOnClosed)
{
  test_pipe_t out;
  const int saved_in = dup(0);
  close(0);
  os_handle_t *handle = spawn_shell("for fd in 0 2; do if [ -e /proc/self/fd/$fd ]; then echo open; else echo closed; fi; done",
                                    0, out.fds[1], 0);
  dup2(saved_in, 0);
  close(saved_in);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(out.read_all(), "closed\nclosed\n");
  EXPECT_EQ(finish(handle), 0);
}

TEST(PlatformProcessTest, ChildGetsNoOtherDescriptor)
{
  int leaky[2];
  ASSERT_EQ(pipe(leaky), 0) << "inheritable on purpose";
  test_pipe_t out;
  const std::string script = "if [ -e /proc/self/fd/" + std::to_string(leaky[1]) + " ]; then echo leaked; else echo closed; fi";
  os_handle_t *handle = spawn_shell(script.c_str(), -1, out.fds[1]);
  close(leaky[0]);
  close(leaky[1]);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(out.read_all(), "closed\n");
  EXPECT_EQ(finish(handle), 0);
}

TEST(PlatformProcessTest, ChildStartsWithDefaultSignals)
{
  struct sigaction ignore {}, old_action {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGUSR1, &ignore, &old_action);
  sigset_t blocked, old_mask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &blocked, &old_mask);

  os_handle_t *ignored_here = spawn_shell("kill -USR1 $$; exit 0");
  os_handle_t *blocked_here = spawn_shell("kill -USR2 $$; exit 0");

  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  sigaction(SIGUSR1, &old_action, nullptr);
  ASSERT_NE(ignored_here, nullptr);
  ASSERT_NE(blocked_here, nullptr);
  EXPECT_EQ(finish(ignored_here), 128 + SIGUSR1) << "an ignored signal is not ignored in the child";
  EXPECT_EQ(finish(blocked_here), 128 + SIGUSR2) << "a blocked signal is not blocked in the child";
}

TEST(PlatformProcessTest, NewSessionDetachesTheChild)
{
  for ( bool new_session : {false, true} )
  {
    test_pipe_t in;
    const char *argv[] = {"cat", nullptr};
    process_spawn_request_t request;
    request.path = "/bin/cat";
    request.argv = argv;
    request.std_fds[0] = in.fds[0];
    request.new_session = new_session;
    uint32_t pid = 0;
    os_handle_t *handle = platform_process_spawn(request, &pid);
    ASSERT_NE(handle, nullptr);
    const pid_t session = getsid(pid_t(pid));
    in.close_write();
    EXPECT_EQ(finish(handle), 0);
    if ( new_session )
      EXPECT_EQ(session, pid_t(pid));
    else
      EXPECT_EQ(session, getsid(0));
  }
}

TEST(PlatformProcessTest, TracedChildStopsForTheCaller)
{
  const char *argv[] = {"sh", "-c", "exit 5", nullptr};
  process_spawn_request_t request;
  request.path = "/bin/sh";
  request.argv = argv;
  request.traced = true;
  uint32_t pid = 0;
  os_handle_t *handle = platform_process_spawn(request, &pid);
  ASSERT_NE(handle, nullptr);
  int status = 0;
  ASSERT_EQ(waitpid(pid_t(pid), &status, 0), pid_t(pid));
  ASSERT_TRUE(WIFSTOPPED(status));
  EXPECT_EQ(WSTOPSIG(status), SIGTRAP);
  EXPECT_FALSE(handle->wait(0)) << "stopped is not ended";
  ASSERT_EQ(ptrace(PTRACE_DETACH, pid_t(pid), nullptr, nullptr), 0);
  EXPECT_EQ(finish(handle), 5);
}

TEST(PlatformProcessTest, WatchHandleSignalsWithoutTakingTheExitCode)
{
  for ( bool watch_first : {true, false} )
  {
    test_pipe_t in;
    os_handle_t *handle = spawn_shell("read line; exit 3", in.fds[0]);
    ASSERT_NE(handle, nullptr);
    os_handle_t *watch = platform_process_watch(handle);
    ASSERT_NE(watch, nullptr);
    EXPECT_FALSE(watch->wait(0));
    in.close_write();
    if ( watch_first )
    {
      EXPECT_TRUE(watch->wait(-1));
      delete watch;
      EXPECT_EQ(finish(handle), 3);
    }
    else
    {
      EXPECT_EQ(finish(handle), 3);
      EXPECT_TRUE(watch->wait(-1)) << "still signalled after the process handle reaped the child";
      delete watch;
    }
  }
}

TEST(PlatformProcessTest, OtherHandlesAreNotProcesses)
{
  os_handle_t *semaphore = platform_semaphore_create(1);
  int32_t code = 0;
  errno = 0;
  EXPECT_FALSE(platform_process_exit_code(semaphore, &code));
  EXPECT_EQ(errno, EBADF);
  errno = 0;
  EXPECT_EQ(platform_process_watch(semaphore), nullptr);
  EXPECT_EQ(errno, EBADF);
  EXPECT_FALSE(platform_process_exit_code(nullptr, &code));
  delete semaphore;
}

// Closing the handle of a running child neither kills it nor leaves it a zombie once it ends.
TEST(PlatformProcessTest, ClosedHandleLeavesTheChildRunningAndReapsIt)
{
  const std::filesystem::path marker = std::filesystem::temp_directory_path() / "closed-handle-marker";
  std::filesystem::remove(marker);
  test_pipe_t in;
  const std::string script = "read line; echo done > '" + marker.string() + "'";
  uint32_t pid = 0;
  os_handle_t *handle = spawn_shell(script.c_str(), in.fds[0], -1, -1, &pid);
  ASSERT_NE(handle, nullptr);
  delete handle;
  ASSERT_EQ(write(in.fds[1], "go\n", 3), 3);
  in.close_write();
  const std::string proc_entry = "/proc/" + std::to_string(pid);
  bool gone = false;
  for ( int i = 0; i < 1000 && !gone; ++i )
  {
    gone = !std::filesystem::exists(proc_entry);
    if ( !gone )
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone) << "a zombie keeps its /proc entry until it is reaped";
  std::ifstream text(marker);
  std::string line;
  EXPECT_TRUE(std::getline(text, line));
  EXPECT_EQ(line, "done");
}

TEST(PlatformProcessTest, ExecutableFiles)
{
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "executables";
  std::filesystem::create_directories(dir);
  const std::string script = (dir / "script").string(), plain = (dir / "plain").string();
  std::ofstream(script) << "#!/bin/sh\n";
  std::ofstream(plain) << "text\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  std::filesystem::permissions(plain, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  struct row_t
  {
    std::string path;
    bool executable;
  } rows[] = {
    {"/bin/sh", true}, {script, true}, {plain, false}, {dir.string(), false}, {(dir / "missing").string(), false},
  };
  for ( const row_t &row : rows )
    EXPECT_EQ(platform_is_executable_file(row.path.c_str()), row.executable) << row.path;
  EXPECT_FALSE(platform_is_executable_file(nullptr));
}

} // namespace
