// The application's handler of faults that the framework's guards catch, and the crash reports it writes.
#pragma once

#include "core/qstring.h"
#include "platform/crash_report.h"

#include <cstdint>
#include <ctime>
#include <exception>
#include <string>

// The code of a fault that is an internal error (interr_exc_t); such faults are always reported.
constexpr uint32_t internal_error_exception_code = 0xE0424242;
// The code of every other caught exception.
constexpr uint32_t foreign_exception_code = 0xE0464F52;

// The code of a caught fault: internal_error_exception_code or foreign_exception_code.
[[nodiscard]] uint32_t fault_exception_code(const std::exception_ptr &fault);
// A line on the fault: "internal error N", the exception's what() text, or "unknown exception".
[[nodiscard]] std::string fault_exception_text(const std::exception_ptr &fault);

// Told about each fault caught by a guard of the framework (a GUI-thread request's run, an action's
// activation, a filtering step); the guarded work then goes on behind its guard. The application
// supplies it through _base_app_mixin_t::get_exception_handler, with the report's file name and messages.
// Promises: at most one report is written at a time in the process (a fault during a report, on any thread
// and signal reports included, writes none).
class win32_exception_handler_t
{
public:
  virtual ~win32_exception_handler_t() = default;

  // Handles one fault: writes a report when dump_all_exceptions is set or the fault is an internal error
  // and answers 1 when one was written; otherwise answers what no_dump_message answers. The guard ignores it.
  virtual int32_t handle(const std::exception_ptr &fault);
  // Writes a text report (code, exception text, backtrace) under the name dump_file_name gives, created
  // exclusively in the working directory, else in the temporary directory, and removed when writing fails.
  // after_dump_message is told about every file that could be created. True when a report was written.
  virtual bool write_minidump(const std::exception_ptr &fault);
  // The report's file name (no directory) for a fault at local_time in process pid.
  virtual void dump_file_name(qstring *out, const std::exception_ptr &fault, const tm &local_time, long pid,
                              bool internal_error) = 0;
  // Told after each created report file: its path and whether the report was written (else it is gone).
  virtual void after_dump_message(const std::exception_ptr &fault, const char *path, bool internal_error,
                                  bool written) = 0;
  // Told when no report was written; its answer is handle's.
  virtual int32_t no_dump_message(const std::exception_ptr &fault) = 0;

  // False: only internal errors are reported.
  bool dump_all_exceptions = false;
};

// Sends the process's fault signals to a handler that writes a report named by name_fn (which must be
// async-signal-safe, as format_crash_name is) into the working directory or else the temporary directory,
// then ends the process by the signal. Call on the GUI thread at start-up; false when it could not be done.
[[nodiscard]] bool install_fault_signal_reports(crash_name_fn_t name_fn);
