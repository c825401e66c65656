// Child processes: starting a program with its own standard channels, and the waitable handle of a child.
#pragma once

#include "platform/os_handle.h"

#include <cstdint>

// What to start. Every path is an operating-system path (already converted, shorter than PATH_MAX).
struct process_spawn_request_t
{
  const char *path = nullptr;              // the executable file, used as given (no search)
  const char *const *argv = nullptr;       // null-terminated; null or empty gives the path as argv[0]
  const char *const *envp = nullptr;       // null-terminated "NAME=value" entries; null: this process's
  const char *directory = nullptr;         // the child's working directory; null or empty: ours
  int std_fds[3] = {-1, -1, -1};           // descriptors that become the child's 0, 1, 2; -1 keeps ours
  bool new_session = false;                // the child leads a new session, detached from our terminal
  bool traced = false;                     // the child asks to be traced by the calling thread and stops
                                           // at its first instruction (SIGTRAP) until the tracer lets it go
};

// Starts a child process as the request says. Promises: the child gets no descriptor of ours except its
// three standard channels; its signal mask is empty and no signal is ignored in it; a failure anywhere
// before the program runs (directory, tracing, exec) is reported here as a failure, never as a child
// that exits. The handle signals when the child has ended (it then stays signalled); closing it never
// kills the child, and a child still running then is reaped in the background once it ends.
// Null with errno set on failure; *process_id (when given) receives the child's id.
os_handle_t *platform_process_spawn(const process_spawn_request_t &request, uint32_t *process_id);

// The exit code of an ended child: the code it passed to exit(), or 128 + the signal number when a
// signal ended it (the shell's convention). False with errno EBADF when the handle is not a process
// handle, EAGAIN while the child still runs.
bool platform_process_exit_code(os_handle_t *handle, int32_t *code);

// A second handle that signals when the same child has ended, without reaping it or reading its exit
// code (those stay with the process handle). Either may be closed first. Null with errno set on
// failure (EBADF when the handle is not a process handle).
os_handle_t *platform_process_watch(os_handle_t *handle);

// True when path names a regular file that the calling process may execute.
bool platform_is_executable_file(const char *path);
