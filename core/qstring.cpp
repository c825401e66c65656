// qstring storage and operations; every growth goes through vector_grow.
#include "core/qstring.h"

#include "core/printf_format.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

qstring::qstring(const char *text)
{
  if ( text != nullptr && *text != '\0' )
    assign(text, std::strlen(text));
}

qstring::qstring(const char *bytes, size_t count)
{
  grow_to(count + 1);
  assign(bytes, count);
}

qstring::qstring(std::string_view text) : qstring(text.data(), text.size()) {}

qstring::qstring(const qstring &other)
{
  if ( other.hdr_.count == 0 )
    return;
  grow_to(other.hdr_.count);
  std::memcpy(hdr_.data, other.hdr_.data, size_t(other.hdr_.count));
  hdr_.count = other.hdr_.count;
}

qstring::qstring(qstring &&other) noexcept : hdr_(std::exchange(other.hdr_, vector_header_t{})) {}

qstring &qstring::operator=(const qstring &other)
{
  if ( this == &other )
    return *this;
  if ( other.hdr_.count < 2 )
    hdr_.count = 0;
  else
    assign(other.data(), size_t(other.hdr_.count - 1));
  return *this;
}

qstring &qstring::operator=(qstring &&other) noexcept
{
  if ( this != &other )
  {
    std::free(hdr_.data);
    hdr_ = std::exchange(other.hdr_, vector_header_t{});
  }
  return *this;
}

qstring &qstring::operator=(const char *text)
{
  if ( text == nullptr || *text == '\0' )
    hdr_.count = 0;
  else
    assign(text, std::strlen(text));
  return *this;
}

qstring::~qstring()
{
  std::free(hdr_.data);
}

void qstring::grow_to(uint64_t bytes)
{
  if ( bytes > hdr_.capacity )
    hdr_.data = vector_grow(&hdr_, hdr_.data, bytes, 1);
}

void qstring::reserve(size_t bytes)
{
  grow_to(bytes);
}

qstring &qstring::assign(const char *bytes, size_t count)
{
  // The source may lie inside our own buffer: remember its offset across a reallocation.
  const char *old = data();
  const bool inside = old != nullptr && bytes >= old && bytes < old + hdr_.capacity;
  const size_t offset = inside ? size_t(bytes - old) : 0;
  grow_to(uint64_t(count) + 1);
  if ( inside )
    bytes = data() + offset;
  if ( count != 0 )
    std::memmove(data(), bytes, count);
  data()[count] = '\0';
  hdr_.count = count + 1;
  return *this;
}

qstring &qstring::append(const char *bytes, size_t count)
{
  const uint64_t base = hdr_.count != 0 ? hdr_.count : 1;
  const char *old = data();
  const bool inside = old != nullptr && bytes >= old && bytes < old + hdr_.capacity;
  const size_t offset = inside ? size_t(bytes - old) : 0;
  grow_to(base + count);
  if ( inside )
    bytes = data() + offset;
  if ( count != 0 )
    std::memmove(data() + base - 1, bytes, count);
  data()[base - 1 + count] = '\0';
  hdr_.count = base + count;
  return *this;
}

qstring &qstring::append(const qstring &text)
{
  if ( text.hdr_.count > 1 )
    append(text.data(), size_t(text.hdr_.count - 1));
  return *this;
}

qstring &qstring::push_back(char c)
{
  const uint64_t base = hdr_.count != 0 ? hdr_.count - 1 : 0;
  grow_to(base + 2);
  data()[base] = c;
  data()[base + 1] = '\0';
  hdr_.count = base + 2;
  return *this;
}

void qstring::set_length(size_t n)
{
  data()[n] = '\0';
  hdr_.count = n + 1;
}

void qstring::release()
{
  std::free(hdr_.data);
  hdr_ = vector_header_t{};
}

char *qstring::detach()
{
  return static_cast<char *>(std::exchange(hdr_, vector_header_t{}).data);
}

void qstring_init_empty(qstring *s)
{
  // The string's storage is raw here (it was never constructed): build it in place.
  new (s) qstring();
}

void qstring_free(qstring *s)
{
  s->release();
}

void qstring_clear_free(qstring *s)
{
  s->release();
}

void qstring_move_assign(qstring *dst, qstring *src)
{
  *dst = std::move(*src);
}

void qstring_copy_assign(qstring *dst, const qstring &src)
{
  *dst = src;
}

void qstring_assign(qstring *s, const char *bytes, size_t count)
{
  s->assign(bytes, count);
}

void qstring_assign_cstr(qstring *s, const char *text)
{
  *s = text;
}

const char *qstring_assign_cstr_text(qstring *s, const char *text)
{
  *s = text;
  return s->c_str();
}

bool qstring_set_from_buf(qstring *s, const char *bytes, int count)
{
  *s = qstring(bytes, count > 0 ? size_t(count) : 0);
  return true;
}

const char *qstring_c_str(const qstring &s)
{
  return s.c_str();
}

void qstring_append(qstring *s, const qstring &tail)
{
  s->append(tail);
}

void qstring_append_buf(qstring *s, const char *bytes, size_t count)
{
  s->append(bytes, count);
}

void qstring_append_char(qstring *s, char c)
{
  s->push_back(c);
}

void qstring_resize(qstring *s, size_t n)
{
  if ( n == 0 )
  {
    s->release();
    return;
  }
  const size_t old_text = s->size();
  s->grow_to(uint64_t(n) + 1);
  if ( n > old_text )
    std::memset(s->data() + old_text, 0, n - old_text);
  s->data()[n] = '\0';
  s->hdr_.count = n + 1;
}

void qstring_remove_last_chars(qstring *s, size_t n)
{
  if ( s->hdr_.count > n && s->hdr_.count - n > 1 )
  {
    s->hdr_.count -= n;
    s->data()[s->hdr_.count - 1] = '\0';
  }
  else
  {
    s->release();
  }
}

char qstring_last_char(const qstring &s)
{
  return s.empty() ? '\0' : s.c_str()[s.size() - 1];
}

bool qstring_less(const qstring &a, const qstring &b)
{
  return a < b;
}

qstring &vformat_to_string(qstring *s, const char *format, va_list va)
{
  s->release();
  return vappend_format_to_string(s, format, va);
}

qstring &format_to_string(qstring *s, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  vformat_to_string(s, format, va);
  va_end(va);
  return *s;
}

qstring &vappend_format_to_string(qstring *s, const char *format, va_list va)
{
  va_list measure;
  va_copy(measure, va);
  const int count = buf_vprintf(nullptr, 0, format, measure);
  va_end(measure);
  if ( count <= 0 )
    return *s;
  const size_t base = s->size();
  s->reserve(base + size_t(count) + 1);
  buf_vprintf(s->data() + base, count + 1, format, va);
  s->set_length(base + size_t(count));
  return *s;
}

qstring &append_format_to_string(qstring *s, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  vappend_format_to_string(s, format, va);
  va_end(va);
  return *s;
}

bool qstring_replace_all(qstring *s, const char *pattern, const char *replacement)
{
  if ( pattern == nullptr || *pattern == '\0' )
    return false;
  const std::string_view text = s->view();
  const std::string_view needle(pattern);
  size_t hit = text.find(needle);
  if ( hit == std::string_view::npos )
    return false;
  const std::string_view with = replacement != nullptr ? std::string_view(replacement) : std::string_view();
  qstring result;
  size_t from = 0;
  while ( hit != std::string_view::npos )
  {
    result.append(text.substr(from, hit - from));
    result.append(with);
    from = hit + needle.size();
    hit = text.find(needle, from);
  }
  result.append(text.substr(from));
  *s = std::move(result);
  return true;
}
