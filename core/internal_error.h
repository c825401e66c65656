// Internal errors (broken invariants, raised by number) and the fatal-error path.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <exception>

// The exception a thread gets for an internal error when it asked for them to be thrown.
// Promises: carries the internal error's number; what() is the base class's text.
struct interr_exc_t : std::exception
{
  explicit interr_exc_t(int32_t number) : code(number) {}
  int32_t code;
};

// Set before main when a debugger is attached; internal errors then break into it first.
extern bool debugger_present;
// Set by exit_process on entry and never cleared; lets other code relax checks while the process ends.
extern std::atomic<bool> process_exiting;
// Number of fatal_error calls; lets other code stay silent once a fatal error is under way.
extern std::atomic<uint32_t> fatal_error_count;

// Raises internal error `number`: "Oops! internal error %d occurred." through the fatal path, or a
// thrown interr_exc_t when the calling thread asked for it (set_interr_throws). Never returns.
[[noreturn]] void interr(int32_t number);

// Chooses for the calling thread whether internal errors throw (non-zero) or end the program (0).
// Returns the previous choice.
uint8_t set_interr_throws(uint8_t flag);
// The calling thread's current choice.
uint8_t interr_throws();

// Reports a fatal error (UI callback request 24, kind 3; without a callback the text and a newline
// go to standard error), then ends the process with exit code 1. A null format reports nothing.
[[noreturn]] void fatal_error(const char *format, va_list va);
[[noreturn]] void fatal_printf(const char *format, ...);
