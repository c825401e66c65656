// Crash reports: text files naming a fault and its backtrace, written safely even from a signal handler.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

// The outcome of one attempt to write a report.
enum class crash_report_result_t
{
  written,     // the file was created and holds the whole report
  failed,      // the file was created but writing it failed; it was removed again
  not_created, // neither directory took a new file of that name (or a report was already under way)
};

// The local time of a report, broken down without the C library's time zone machinery.
struct crash_time_t
{
  int year;
  int month;  // 1..12
  int day;    // 1..31
  int hour;   // 0..23
  int minute; // 0..59
  int second; // 0..59
};

// Makes the file name (no directory) of a signal report into buf (size bytes). Must be async-signal-safe:
// no allocation, no stdio; format_crash_name is.
using crash_name_fn_t = void (*)(char *buf, size_t size, const crash_time_t &time, long pid, int signo);

// Claims the process-wide report-in-progress flag: true when no report was under way. A fault on any thread
// while the flag is held is not reported again. Async-signal-safe.
[[nodiscard]] bool begin_crash_report() noexcept;
// Releases the flag taken by begin_crash_report.
void end_crash_report() noexcept;

// Creates `name` exclusively (an existing file is never touched) in the working directory, else in
// `temp_dir`, writes `text` and then the caller's backtrace into it, and removes it when writing fails.
// `path` (path_size bytes) receives the path of the created file ("" when none was). Async-signal-safe;
// a file-size limit shows as a failed write, not as SIGXFSZ.
[[nodiscard]] crash_report_result_t write_crash_report(char *path, size_t path_size, const char *name,
                                                       const char *temp_dir, const char *text) noexcept;

// "<prefix>-YYYYMMDD-HHMMSS-<pid>.dmp" into buf, cut to size bytes. Async-signal-safe.
void format_crash_name(char *buf, size_t size, const char *prefix, const crash_time_t &time, long pid) noexcept;

// The current local time, using the offset from UTC that install_crash_signals took. Async-signal-safe.
[[nodiscard]] crash_time_t crash_local_time() noexcept;

// Sends SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT of the process to a handler running on an alternate stack
// of the calling thread: it writes a report (signal, fault address, backtrace) named by name_fn into the
// working directory or else `temp_dir` (copied), then restores the default action and raises the signal
// again, so the process ends as it would have. Answers false when the handler could not be installed.
[[nodiscard]] bool install_crash_signals(crash_name_fn_t name_fn, const char *temp_dir) noexcept;
