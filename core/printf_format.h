// The core's printf and scanf family, with its format extension "%a" (a 64-bit value in upper-case hex).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

// Format texts of the core may use "%a" for a 64-bit value in upper-case hexadecimal (its field width
// doubled) and the "%I64" size prefix; both are rewritten before the C library sees the format. For
// this reason the front functions carry no compiler format check.

// Returns the format itself when it holds no "%", else its rewritten copy in scratch (size bytes).
// Running out of scratch is internal error 518 (520 while rewriting a conversion).
const char *expand_format_extensions(const char *format, char *scratch, size_t size);

// Bounded formatting into buffer (size bytes). Returns the number of characters stored, which is
// size - 1 when the output was cut; the buffer is always terminated when size > 0. With a null buffer
// and size 0 it measures: the length the output would have (0 when formatting fails). A null buffer
// with any other size returns 0. A failed formatting leaves an empty text and returns 0.
// A null format is internal error 539, a negative size internal error 1225.
int buf_printf(char *buffer, ptrdiff_t size, const char *format, ...);
int buf_vprintf(char *buffer, ptrdiff_t size, const char *format, va_list va);

// Reads input with the expanded format; returns the number of fields converted (EOF as sscanf does).
int buf_scanf(const char *input, const char *format, ...);
int buf_vscanf(const char *input, const char *format, va_list va);

// Writes the expanded format to stream; a null stream sets error code 1 and errno EBADF and returns -1.
int file_vprintf(FILE *stream, const char *format, va_list va);
int stdout_vprintf(const char *format, va_list va);
int stderr_vprintf(const char *format, va_list va);
// Writes the expanded format to standard output, the console, and flushes it; returns the printf result.
int console_printf(const char *format, ...);

// A private copy of a va_list for one use, ended when it goes out of scope.
// A va_list that is used more than once, or passed on as a pointer, goes through one of these.
struct va_list_copy_t
{
  explicit va_list_copy_t(va_list source) { va_copy(list, source); }
  ~va_list_copy_t() { va_end(list); }
  va_list_copy_t(const va_list_copy_t &) = delete;
  va_list_copy_t &operator=(const va_list_copy_t &) = delete;

  va_list list;
};
