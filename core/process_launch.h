// Launching programs from a command-line text with redirections, waiting for them, child environments.
#pragma once

#include "core/command_line.h"
#include "core/qstring.h"
#include "core/qvector.h"
#include "platform/os_handle.h"

#include <cstdint>

// Flags of process_launch_params_t.
constexpr uint32_t LAUNCH_NEW_CONSOLE = 0x1;     // the child leads a new session, detached from our terminal
constexpr uint32_t LAUNCH_DEBUG = 0x2;           // the child stops at its start for the calling thread to
                                                 // trace it; a relative program path that names an
                                                 // existing file is made absolute
constexpr uint32_t LAUNCH_WHOLE_COMMAND_LINE = 0x4; // the arguments text is the whole command line, its
                                                    // first argument the child's argument zero
constexpr uint32_t LAUNCH_SHELL = 0x8;           // run the arguments text with "/bin/sh -c" (flag 0x4 is
                                                 // then ignored)
constexpr uint32_t LAUNCH_HIDDEN = 0x100;        // no window for the child: nothing to do here
constexpr uint32_t LAUNCH_NO_INHERIT_ENV = 0x800; // with environment additions, the child gets only those

// Bit of debug_flags that logs every launch and its failures.
constexpr uint32_t DEBUG_FLAG_LAUNCH = 0x4000000;

// What a launch hands back when the caller asks for it. Both handles belong to the caller.
struct process_information_t
{
  os_handle_t *process_handle = nullptr;
  os_handle_t *thread_handle = nullptr; // signals when the process has ended (a first thread has no handle
                                        // of its own here); null when it could not be made
  uint32_t process_id = 0;
  uint32_t thread_id = 0; // the first thread's id: the same number as the process's
};

// A launch, filled by the caller. size tells which fields the caller's record has: each field from
// environment on is read only when size covers it, so an older, shorter record simply lacks them.
struct process_launch_params_t
{
  uint64_t size = sizeof(process_launch_params_t);
  uint32_t flags = 0;                  // LAUNCH_* bits
  const char *program = nullptr;       // path or name of the program file; null counts as empty
  const char *arguments = nullptr;     // the rest of the command line; null counts as empty
  int std_input = -1;                  // descriptors for the child's standard channels; -1: our own
  int std_output = -1;
  int std_error = -1;
  const char *environment = nullptr;   // additions: "NAME=value" texts each ended by a 0 byte, the list
                                       // ended by an empty text; null for none
  const char *start_directory = nullptr; // null or empty: our working directory
  process_information_t *process_info = nullptr; // null: no output
};

// The standard channels a child will get. Promises: owns the descriptors in opened (the files the
// redirections opened) and closes them when it ends; std_fds may refer to them.
struct process_startup_t
{
  process_startup_t() = default;
  process_startup_t(const process_startup_t &) = delete;
  process_startup_t &operator=(const process_startup_t &) = delete;
  ~process_startup_t();

  int std_fds[3] = {-1, -1, -1}; // the child's channels 0, 1, 2; -1: ours
  bool use_std_handles = false;  // std_fds are to be used
  qvector<int> opened;           // descriptors opened for redirections (owned)
};

// Starts a program. The program file is found as follows (no extension is ever added):
// an absolute path naming an existing file; with LAUNCH_DEBUG a relative path naming an existing file,
// made absolute; a name without a separator searched in PATH (split at ':' and ';'; the first executable
// file wins); a relative path naming an existing file; otherwise the search directories (the user
// directories, then the install directory). Not found: "Unable to launch process %s,file does not exist".
// Arguments: the found path, then the arguments text split by split_command_line; with
// LAUNCH_WHOLE_COMMAND_LINE the arguments text alone; with LAUNCH_SHELL "/bin/sh", "-c" and the
// arguments text as one argument (just "/bin/sh" when it is empty), the shell doing its own redirections.
// Redirections found in the text are taken out of the arguments and applied (apply_redirections; the
// standard descriptors of the record are then not used). Environment: with additions,
// build_environment_block (inherited unless LAUNCH_NO_INHERIT_ENV), else ours.
// Returns the process handle (owned by the caller; wait_process or close_os_handle), or null with the
// error text in *errbuf when given: the texts above, the redirection errors, or
// "%s: CreateProcess failed: %s" with the found path and the system's error text. Under
// DEBUG_FLAG_LAUNCH every launch and failure is logged. Any thread may launch.
os_handle_t *spawn_process(const process_launch_params_t *params, qstring *errbuf);

// Waits for a launched process (a negative time-out waits without limit; any other waits that many
// milliseconds). 0: it ended, its exit code (128 + the signal number when a signal ended it) is stored
// in *exit_code when given and the handle is closed; when the handle is not a process, -9 is stored
// and the handle stays open. 1: the time-out passed. -1: failure, errno is stored in *exit_code when
// given, and the handle stays with the caller.
[[nodiscard]] int wait_process(os_handle_t *handle, int32_t *exit_code, int64_t timeout_ms);

// Applies redirections, in order, to *startup. Before the first, the child's channels become our own
// 0, 1, 2. A target "&N" (unquoted, one digit) gives the channel what channel N has at that moment;
// other targets are files: input read-only (existing files only), append created if missing and
// appended to, output created if missing and truncated. Returns the mask of redirected channels (bit n
// for channel n), or -1 on the first failure: "cannot redirect channel %d on windows" (channel above
// 2), "cannot redirect to channel %d on windows" (N above 2), "failed to redirect %d to %s: %s"
// (channel, target, system error text), written into *errbuf when given; the files this call opened
// are then closed and *startup is as it was.
[[nodiscard]]
int apply_redirections(const qvector<redirection_t> &redirections, qstring *errbuf, process_startup_t *startup);

// The child's environment as "NAME=value" entries in byte order of the names (names are
// case-sensitive). With inherit, our environment first; then each addition that has a non-empty name
// before its "=": a non-empty value sets or replaces the variable, an empty one removes it.
qvector<qstring> build_environment_block(const char *additions, bool inherit);
