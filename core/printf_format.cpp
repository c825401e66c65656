// The printf family over the C library, after rewriting the core's format extensions.
#include "core/printf_format.h"

#include "core/error_state.h"
#include "core/internal_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace {

// Characters that may stand between "%" and the conversion character of a rewritten spec.
constexpr const char SPEC_RUN_CHARS[] = "+-0123456789*#.";
constexpr const char SPEC_LEADING_CHARS[] = "+-0*#.";

// Writes into a bounded scratch buffer; running out is internal error `overflow_error`.
class scratch_writer_t
{
public:
  scratch_writer_t(char *scratch, size_t size) : out_(scratch), size_(size) {}
  void put(char c, int overflow_error)
  {
    if ( pos_ + 1 >= size_ )
      interr(overflow_error);
    out_[pos_++] = c;
  }
  void put(const char *text, size_t n, int overflow_error)
  {
    for ( size_t i = 0; i < n; ++i )
      put(text[i], overflow_error);
  }
  void finish() { out_[pos_] = '\0'; }

private:
  char *out_;
  size_t size_;
  size_t pos_ = 0;
};

// Scratch size that always holds an expansion: a rewrite at most doubles a conversion spec.
size_t scratch_size_for(const char *format)
{
  return 2 * std::strlen(format) + 100;
}

} // namespace

const char *expand_format_extensions(const char *format, char *scratch, size_t size)
{
  if ( std::strchr(format, '%') == nullptr )
    return format;
  if ( size == 0 )
    interr(518);
  scratch_writer_t out(scratch, size);
  const char *p = format;
  while ( *p != '\0' )
  {
    const char c = *p++;
    out.put(c, 518);
    if ( c != '%' )
      continue;
    if ( *p == '%' )
    {
      out.put(*p++, 518);
      continue;
    }
    const char *run = p;
    const size_t run_len = std::strspn(p, SPEC_RUN_CHARS);
    p += run_len;
    if ( *p == 'a' )
    {
      // "%a": a 64-bit value in upper-case hex; a width chosen for 32-bit values is doubled.
      const size_t leading = std::min(std::strspn(run, SPEC_LEADING_CHARS), run_len);
      out.put(run, leading, 520);
      const char *digits = run + leading;
      unsigned long width = 0;
      const char *after = digits;
      while ( after < run + run_len && *after >= '0' && *after <= '9' )
        width = width * 10 + unsigned(*after++ - '0');
      if ( width != 0 )
      {
        const std::string doubled = std::to_string(2 * width);
        out.put(doubled.data(), doubled.size(), 520);
      }
      out.put(after, size_t(run + run_len - after), 520);
      out.put("llX", 3, 520);
      ++p;
      continue;
    }
    out.put(run, run_len, 518);
    if ( std::strncmp(p, "I64", 3) == 0 )
    {
      out.put("ll", 2, 520);
      p += 3;
    }
    else if ( std::strncmp(p, "I32", 3) == 0 )
    {
      p += 3;
    }
  }
  out.finish();
  return scratch;
}

int buf_vprintf(char *buffer, ptrdiff_t size, const char *format, va_list va)
{
  if ( format == nullptr )
    interr(539);
  if ( size < 0 )
    interr(1225);
  if ( buffer != nullptr )
  {
    if ( size == 0 )
      return 0;
    buffer[0] = '\0';
    if ( size == 1 )
      return 0;
  }
  else if ( size != 0 )
  {
    return 0;
  }
  std::string scratch(scratch_size_for(format), '\0');
  const char *expanded = expand_format_extensions(format, scratch.data(), scratch.size());
  const int written = std::vsnprintf(buffer, size_t(size), expanded, va);
  if ( written < 0 )
  {
    // A failed formatting must not pass partial output off as a result.
    if ( buffer != nullptr )
      buffer[0] = '\0';
    return 0;
  }
  if ( buffer == nullptr || written < size )
    return written;
  buffer[size - 1] = '\0';
  return int(size - 1);
}

int buf_printf(char *buffer, ptrdiff_t size, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const int written = buf_vprintf(buffer, size, format, va);
  va_end(va);
  return written;
}

int buf_vscanf(const char *input, const char *format, va_list va)
{
  std::string scratch(scratch_size_for(format), '\0');
  return std::vsscanf(input, expand_format_extensions(format, scratch.data(), scratch.size()), va);
}

int buf_scanf(const char *input, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const int fields = buf_vscanf(input, format, va);
  va_end(va);
  return fields;
}

int file_vprintf(FILE *stream, const char *format, va_list va)
{
  if ( stream == nullptr )
  {
    qerrno_set(1);
    errno = EBADF;
    return -1;
  }
  std::string scratch(scratch_size_for(format), '\0');
  return std::vfprintf(stream, expand_format_extensions(format, scratch.data(), scratch.size()), va);
}

int stdout_vprintf(const char *format, va_list va)
{
  return file_vprintf(stdout, format, va);
}

int stderr_vprintf(const char *format, va_list va)
{
  return file_vprintf(stderr, format, va);
}

int console_printf(const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const int r = stdout_vprintf(format, va);
  va_end(va);
  std::fflush(stdout);
  return r;
}
