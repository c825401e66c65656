// The per-thread error state (error code and its four arguments) and the texts of error codes.
#pragma once

#include "core/qstring.h"

#include <cstdint>

// Number of error arguments that complete an error code's message.
constexpr int ERROR_ARG_COUNT = 4;

// One per thread, zero-filled when the thread starts. Promises: nothing in it is ever seen by another
// thread; every text function returns a pointer into its own buffer here, valid until the same
// function runs again on the same thread.
struct thread_error_state_t
{
  int32_t qerrno = 0;                      // current error code; 0 = no error
  uint8_t interr_throws = 0;               // internal errors throw instead of ending the program
  uint64_t arg_values[ERROR_ARG_COUNT] {}; // numbers, or the address of the slot's text copy
  qstring arg_texts[ERROR_ARG_COUNT];      // owned copies of text arguments
  qstring error_code_buf;                  // result of error_code_text
  qstring win_error_buf;                   // result of win_error_text
  qstring system_error_buf;                // result of system_error_text
  qstring prefixed_buf;                    // result of prefixed_error_text
  qstring path_buf;                        // result buffer of the directory functions
};

// The calling thread's state.
thread_error_state_t &current_error_state();

// Sets the code and returns it; -1 sets nothing and returns the current code.
int32_t qerrno_set(int32_t code);
int32_t qerrno_get();

// Stores a number in argument slot index (0 to 3; above is internal error 480).
void set_error_arg_number(int index, uint64_t value);
// The value of slot index (4 or more is internal error 482).
uint64_t get_error_arg_number(int index);
// Stores a copy of text in slot index (above 3 is internal error 481) and returns the copy; the
// slot's value becomes the copy's address. Null releases the slot's text and returns null; an empty
// text stores an (allocated) empty text.
const char *error_arg_text(int index, const char *text);
// The text stored in slot index, null when none (4 or more is internal error 483).
const char *get_error_arg_text(int index);

// The text of an error code (-1 = the current one): "No error" for 0, the system text of errno for 1,
// otherwise the catalogue's message of that id filled with the four arguments, or
// "Unknown error code %d". A catalogue text whose conversions do not fit the arguments (a "%s" over a
// slot that holds no text, "%n", more conversions than slots) is given unformatted.
const char *error_code_text(int32_t code);
// Renders a message format from outside the program (a catalogue text) over the calling thread's
// four argument slots into *out. Each conversion takes the next slot and is checked against it: "%s"
// only from a slot holding a text (a null slot gives "(null)"), integers as 32-bit unless the size
// prefix says 64 ("ll", "I64", "j", "z", "t"), "%a" as a 64-bit upper-case hex value; "%n", floating
// conversions, more than four slots or widths above 1024 make the format unfit: false.
[[nodiscard]] bool render_error_format(qstring *out, const char *format);
// prefix, ": ", then error_code_text(code) (-1 = the current code).
const char *prefixed_error_text(const char *prefix, int32_t code);
// The system text of an errno value (-1 = the current errno), or "unknown error code %d".
const char *system_error_text(int code);
// The system's one-line message for an operating-system error code (line breaks become spaces,
// trailing blanks removed), or "Unknown error, code: 0x%08X".
const char *win_error_text(uint32_t code);
