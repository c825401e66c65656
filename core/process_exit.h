// The core's process exit: exit handlers, the exit entry, and the GUI-thread request interface.
#pragma once

#include <atomic>
#include <cstdint>

struct os_handle_t;
struct exec_request_t;

// Told by every exec_request_t's destructor, before it resets the fields, so that the GUI-thread
// request queue (above the core) can forget a request destroyed while it is queued or running.
// Null when no queue exists; the queue installs and removes it.
using exec_request_destroyed_fn = void (*)(exec_request_t *request);
extern std::atomic<exec_request_destroyed_fn> exec_request_destroyed_hook;

// A unit of work to run on the GUI thread (UI callback request 86). The runner calls run() once;
// for a waiting caller it leaves the result in `stamp` and releases `semaphore`.
// Promises: the destructor closes the semaphore (if any) and resets both fields.
struct exec_request_t
{
  virtual int32_t run() = 0;
  virtual ~exec_request_t();

  uint64_t stamp = 0;                // the runner's word while queued; the result afterwards
  os_handle_t *semaphore = nullptr;  // owned; created by the runner, null until then
};

// The request that runs the exit handlers, optionally ending the process afterwards.
struct exit_request_t : exec_request_t
{
  exit_request_t(int32_t code, bool afterwards) : exit_code(code), exit_afterwards(afterwards) {}
  int32_t run() override;

  int32_t exit_code;
  bool exit_afterwards;
};

// A function run before the process ends through exit_process.
using exit_handler_t = void (*)();

// Registers a handler once (a handler already registered is not added again). Thread-safe.
// Failing to create the exit lock is internal error 547.
void add_exit_handler(exit_handler_t handler);

// Runs every registered handler once, last registered first (including handlers registered while
// they run); an exception escaping a handler is ignored and the others still run. Handlers run
// outside the exit lock. Then ends the process with the request's code when it says so, else 0.
int32_t run_exit_handlers(exit_request_t *request);

// The core's exit entry: runs the exit handlers (on the main thread directly, from another thread
// through the GUI thread) and ends the process with `code`. Never returns.
[[noreturn]] void exit_process(int32_t code);
