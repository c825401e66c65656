// Child processes started with fork and exec, watched through process descriptors.
#include "platform/process.h"

#include <cerrno>
#include <chrono>
#include <memory>
#include <climits>
#include <csignal>
#include <mutex>
#include <new>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// A process descriptor (close-on-exec, as the kernel makes them) for the child pid.
int open_process_fd(pid_t pid)
{
  return int(syscall(SYS_pidfd_open, pid, 0));
}

// Moves fd to a number of at least 3 (close-on-exec), so that setting up the child's standard channels
// can never overwrite it. The old descriptor is closed. -1 on failure (fd closed as well).
int raise_fd(int fd)
{
  if ( fd > 2 )
    return fd;
  const int raised = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  const int saved = errno;
  close(fd);
  errno = saved;
  return raised;
}

// True when fd became readable within timeout_ms (negative: no limit). Interrupted waits resume with
// the time left, so a short time-out never turns into a longer or endless one.
bool poll_readable(int fd, int64_t timeout_ms)
{
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  for ( ;; )
  {
    int wait_ms = -1;
    if ( timeout_ms >= 0 )
    {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now()).count();
      wait_ms = int(left < 0 ? 0 : left > INT_MAX ? INT_MAX : left);
    }
    pollfd pfd {fd, POLLIN, 0};
    const int n = poll(&pfd, 1, wait_ms);
    if ( n > 0 )
      return true;
    if ( n == 0 && (timeout_ms >= 0 && clock::now() >= deadline) )
      return false;
    if ( n < 0 && errno != EINTR )
      return false;
  }
}

bool ended(const siginfo_t &info)
{
  return info.si_code == CLD_EXITED || info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED;
}

int32_t exit_code_of(const siginfo_t &info)
{
  return info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
}

// Blocks until the child behind pidfd has ended and reaps it (stops of a traced child are skipped).
void reap_blocking(int pidfd)
{
  for ( ;; )
  {
    siginfo_t info {};
    if ( waitid(P_PIDFD, id_t(pidfd), &info, WEXITED) != 0 )
    {
      if ( errno == EINTR )
        continue;
      return;
    }
    if ( ended(info) )
      return;
  }
}

class process_handle_t final : public os_handle_t
{
public:
  // Made before the child exists, so that no allocation can fail once it runs.
  process_handle_t() = default;
  void attach(int pidfd) { pidfd_ = pidfd; }

  // A child that still runs is reaped by a detached thread once it ends; it is never killed.
  ~process_handle_t() override
  {
    if ( pidfd_ < 0 )
      return;
    if ( !reap_if_ended() )
    {
      try
      {
        std::thread([fd = pidfd_] {
          reap_blocking(fd);
          close(fd);
        }).detach();
        return;
      }
      catch ( const std::exception & )
      {
        // No thread to spare: the child stays a zombie until this process ends.
      }
    }
    close(pidfd_);
  }

  bool wait(int64_t timeout_ms) override
  {
    if ( !poll_readable(pidfd_, timeout_ms) )
      return false;
    reap_if_ended();
    return true;
  }

  bool exit_code(int32_t *code)
  {
    if ( !reap_if_ended() )
    {
      errno = EAGAIN;
      return false;
    }
    std::lock_guard guard(mutex_);
    if ( reap_errno_ != 0 )
    {
      errno = reap_errno_;
      return false;
    }
    *code = exit_code_;
    return true;
  }

  int pidfd() const { return pidfd_; }

private:
  // True once the child has ended; reaps it the first time. The descriptor turns readable only when
  // the child has ended, so a non-blocking reap then always finds it (unless someone else reaped it).
  bool reap_if_ended()
  {
    std::lock_guard guard(mutex_);
    if ( reaped_ )
      return true;
    if ( !poll_readable(pidfd_, 0) )
      return false;
    for ( ;; )
    {
      siginfo_t info {};
      if ( waitid(P_PIDFD, id_t(pidfd_), &info, WEXITED | WNOHANG) != 0 )
      {
        if ( errno == EINTR )
          continue;
        reap_errno_ = errno; // ECHILD: reaped behind our back, the exit code is lost
        break;
      }
      if ( info.si_pid == 0 )
        return false;
      if ( ended(info) )
      {
        exit_code_ = exit_code_of(info);
        break;
      }
    }
    reaped_ = true;
    return true;
  }

  int pidfd_ = -1; // owned; set once by attach
  std::mutex mutex_;
  bool reaped_ = false;  // guarded by mutex_
  int32_t exit_code_ = 0; // guarded by mutex_; valid once reaped_ unless reap_errno_ is set
  int reap_errno_ = 0;   // guarded by mutex_
};

class process_watch_t final : public os_handle_t
{
public:
  explicit process_watch_t(int pidfd) : pidfd_(pidfd) {}
  ~process_watch_t() override { close(pidfd_); }
  bool wait(int64_t timeout_ms) override { return poll_readable(pidfd_, timeout_ms); }

private:
  const int pidfd_; // owned
};

// Everything the child needs, prepared before fork: after it the child may only make system calls.
struct child_plan_t
{
  const process_spawn_request_t *request;
  const char *const *argv;
  char *const *envp;
  int error_fd;
  int fd_limit;
};

// Runs in the child between fork and exec; never returns. Reports errno through error_fd on failure.
[[noreturn]] void run_child(const child_plan_t &plan)
{
  const process_spawn_request_t &request = *plan.request;
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for ( int sig = 1; sig < NSIG; ++sig )
    sigaction(sig, &dfl, nullptr); // fails harmlessly for SIGKILL, SIGSTOP and reserved signals
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);

  bool ok = !request.new_session || setsid() >= 0;
  constexpr int closed_channel = -2;
  int fds[3] = {request.std_fds[0], request.std_fds[1], request.std_fds[2]};
  // A source that is itself one of the standard channels is copied away first, so that a swap such as
  // "0 from 1, 1 from 0" does not read a channel already overwritten. A standard channel that we do not
  // have open is passed on as closed.
  for ( int i = 0; ok && i < 3; ++i )
  {
    if ( fds[i] < 0 || fds[i] > 2 || fds[i] == i )
      continue;
    const int copy = fcntl(fds[i], F_DUPFD_CLOEXEC, 3);
    ok = copy >= 0 || errno == EBADF;
    fds[i] = copy >= 0 ? copy : closed_channel;
  }
  for ( int i = 0; ok && i < 3; ++i )
  {
    if ( fds[i] == i )
      fcntl(i, F_SETFD, 0); // fails only when we lack the channel ourselves
    else if ( fds[i] == closed_channel )
      close(i);
    else if ( fds[i] >= 0 )
      ok = dup2(fds[i], i) == i;
  }
  if ( ok && syscall(SYS_close_range, 3u, ~0u, unsigned(CLOSE_RANGE_CLOEXEC)) != 0 )
    for ( int fd = 3; fd < plan.fd_limit; ++fd )
      fcntl(fd, F_SETFD, FD_CLOEXEC);
  if ( ok && request.directory != nullptr && request.directory[0] != '\0' )
    ok = chdir(request.directory) == 0;
  if ( ok && request.traced )
    ok = ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0;
  if ( ok )
    execve(request.path, const_cast<char *const *>(plan.argv), plan.envp);
  const int err = errno;
  while ( write(plan.error_fd, &err, sizeof(err)) < 0 && errno == EINTR )
    ;
  _exit(127);
}

} // namespace

os_handle_t *platform_process_spawn(const process_spawn_request_t &request, uint32_t *process_id)
{
  if ( request.path == nullptr || request.path[0] == '\0' )
  {
    errno = ENOENT;
    return nullptr;
  }
  const char *default_argv[] = {request.path, nullptr};
  const char *const *argv = request.argv != nullptr && request.argv[0] != nullptr ? request.argv : default_argv;
  std::unique_ptr<process_handle_t> handle(new (std::nothrow) process_handle_t());
  if ( handle == nullptr )
  {
    errno = ENOMEM;
    return nullptr;
  }

  int pipe_fds[2];
  if ( pipe2(pipe_fds, O_CLOEXEC) != 0 )
  {
    return nullptr;
  }
  pipe_fds[0] = raise_fd(pipe_fds[0]);
  pipe_fds[1] = raise_fd(pipe_fds[1]);
  if ( pipe_fds[0] < 0 || pipe_fds[1] < 0 )
  {
    const int saved = errno;
    for ( int fd : pipe_fds )
      if ( fd >= 0 )
        close(fd);
    errno = saved;
    return nullptr;
  }

  const long open_max = sysconf(_SC_OPEN_MAX);
  const child_plan_t plan {&request, argv, request.envp != nullptr ? const_cast<char *const *>(request.envp) : environ,
                           pipe_fds[1], open_max > 0 && open_max < INT_MAX ? int(open_max) : 1024};

  // No signal handler of ours may run in the child before it has reset them all.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  const pid_t pid = fork();
  if ( pid == 0 )
    run_child(plan);
  const int fork_errno = errno;
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  close(pipe_fds[1]);
  if ( pid < 0 )
  {
    close(pipe_fds[0]);
    errno = fork_errno;
    return nullptr;
  }

  int child_errno = 0;
  ssize_t n;
  while ( (n = read(pipe_fds[0], &child_errno, sizeof(child_errno))) < 0 && errno == EINTR )
    ;
  close(pipe_fds[0]);
  if ( n > 0 )
  {
    while ( waitpid(pid, nullptr, 0) < 0 && errno == EINTR )
      ;
    errno = child_errno;
    return nullptr;
  }

  const int opened = open_process_fd(pid);
  const int pidfd = opened >= 0 ? raise_fd(opened) : -1; // never one of the standard channel numbers
  if ( pidfd < 0 )
  {
    // Without a descriptor the child could never be waited for: it must not outlive this failure.
    const int saved = errno;
    kill(pid, SIGKILL);
    while ( waitpid(pid, nullptr, 0) < 0 && errno == EINTR )
      ;
    errno = saved;
    return nullptr;
  }
  if ( process_id != nullptr )
    *process_id = uint32_t(pid);
  handle->attach(pidfd);
  return handle.release();
}

bool platform_process_exit_code(os_handle_t *handle, int32_t *code)
{
  auto *process = dynamic_cast<process_handle_t *>(handle);
  if ( process == nullptr )
  {
    errno = EBADF;
    return false;
  }
  return process->exit_code(code);
}

os_handle_t *platform_process_watch(os_handle_t *handle)
{
  auto *process = dynamic_cast<process_handle_t *>(handle);
  if ( process == nullptr )
  {
    errno = EBADF;
    return nullptr;
  }
  const int fd = fcntl(process->pidfd(), F_DUPFD_CLOEXEC, 3);
  if ( fd < 0 )
    return nullptr;
  auto *watch = new (std::nothrow) process_watch_t(fd);
  if ( watch == nullptr )
  {
    close(fd);
    errno = ENOMEM;
  }
  return watch;
}

bool platform_is_executable_file(const char *path)
{
  struct stat st {};
  return path != nullptr && stat(path, &st) == 0 && S_ISREG(st.st_mode)
      && faccessat(AT_FDCWD, path, X_OK, AT_EACCESS) == 0;
}
