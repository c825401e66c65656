// The core's one callback into the user interface: request codes and the printf-style front functions.
#pragma once

#include "core/internal_error.h"
#include "core/qstring.h"

#include <cstdarg>
#include <cstdint>

// Request codes and the arguments that follow the code in a ui_callback call. Where a request carries
// a va_list it travels as a `va_list *` pointing at the sender's list (an array type cannot portably
// pass through "..."); the answering side copies it with va_copy for each use.
enum ui_dispatcher_code : int32_t
{
  ui_code_log = 23,            // format, va_list -> the logger's result
  ui_code_message = 24,        // int32 kind (ui_message_kind), format, va_list -> 0; kinds 0 and 3 never return
  ui_code_question = 28,       // first, second, third label (null = Yes/No/Cancel), int32 default, format,
                          // va_list -> 1 first button, 0 second, -1 cancel
  ui_code_ask_file = 29,       // int for-saving (non-zero = save), default name or pattern, format, va_list
                          // -> const char* path owned by the answering side, null when cancelled
  ui_code_form_dialog = 30,    // form description, va_list -> positive = confirmed
  ui_code_input_value = 32,    // qstring* value in/out, int32 kind (0 = text), format, va_list -> non-zero = confirmed
  ui_code_exec_request = 86,   // exec_request_t*, int32 flags -> the request's result (flag 4: a ticket, no wait)
  ui_code_form_widget = 116,   // form description, int32 flags, va_list -> widget pointer or null
  ui_code_cfg_directive = 117, // directive text -> 0 accepted, 1 not recognised, else a cfg directive result
};

// Kinds of request 24.
enum ui_message_kind : int32_t
{
  msg_kind_error = 0,      // box, then the process ends with exit code 1
  msg_kind_info = 1,       // box; returns when closed
  msg_kind_warning = 2,    // box; returns when closed
  msg_kind_fatal = 3,      // box, then the process ends with exit code 1
  msg_kind_text_first = 4, // 4 to 8: text only, no box
  msg_kind_text_last = 8,
  msg_kind_wait_show = 9,  // show the wait box with the text
  msg_kind_wait_hide = 10, // hide the wait box
  msg_kind_wait_text = 11, // replace the wait box's text
};

// Flags of request 86.
enum exec_request_flags : int32_t
{
  exec_flag_marked = 2,  // passed through to the runner
  exec_flag_no_wait = 4, // queue and answer a ticket at once
};

// The callback: request code, then that code's arguments; the answer's meaning depends on the code.
// A code the answering side does not handle answers 0.
using ui_callback_t = int64_t (*)(int32_t code, ...);

// The installed callback, read without a lock. The application installs its dispatcher before any
// other code runs; null means no user interface: the fatal path then writes to standard error, and
// the front functions below write messages to standard error and answer "cancelled"/default.
extern ui_callback_t ui_callback;

// Request 23. The callback's answer (0 without a callback).
int64_t log_printf(const char *format, ...);
int64_t log_vprintf(const char *format, va_list va);
// Request 24 kind 1 / kind 2.
void info_printf(const char *format, ...);
void warning_printf(const char *format, ...);
// Request 28 with the default labels; answers 1, 0 or -1 (the default answer without a callback).
[[nodiscard]] int question_printf(int default_answer, const char *format, ...);
// Request 28 with button labels (null = the default label).
[[nodiscard]]
int question_buttons_printf(const char *first, const char *second, const char *third, int default_answer,
                            const char *format, ...);
// Request 29: the chosen path (owned by the answering side, valid until its next file request), or null.
const char *prompt_file_name(bool for_saving, const char *default_name, const char *format, ...);
// Request 30: the form's result, positive when confirmed (0 without a callback).
[[nodiscard]] int form_dialog_printf(const char *form, ...);
// Request 32: true when confirmed; the answer is then in *value.
[[nodiscard]] bool input_value_printf(qstring *value, int kind, const char *format, ...);
// Request 116: the widget, or null.
void *form_widget_printf(const char *form, int flags, ...);
