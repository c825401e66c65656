// qstring: the core's growable byte string (UTF-8 by convention), and its operations.
#pragma once

#include "core/memory.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string_view>

// A byte string that owns its buffer. Promises: the stored length counts the terminating NUL
// (0 = empty, no text); c_str() never returns null; growth doubles the capacity through vector_grow
// (std::bad_alloc on failure, contents kept); nothing ever shrinks the buffer except the operations
// that say they release it. The text may contain NUL bytes when built from a (pointer, length) pair.
// A moved-from string is empty without a buffer. Safe to relocate bytewise (inside a qvector).
class qstring
{
public:
  qstring() = default;
  qstring(const char *text);               // NOLINT: implicit, like a text literal
  qstring(const char *bytes, size_t count); // exactly these bytes
  explicit qstring(std::string_view text);
  qstring(const qstring &other);            // exact capacity; an empty source allocates nothing
  qstring(qstring &&other) noexcept;
  qstring &operator=(const qstring &other); // qstring_copy_assign
  qstring &operator=(qstring &&other) noexcept;
  qstring &operator=(const char *text);     // qstring_assign_cstr
  ~qstring();

  const char *c_str() const { return hdr_.count != 0 ? static_cast<const char *>(hdr_.data) : ""; }
  // The buffer itself: null when none was ever allocated.
  char *data() { return static_cast<char *>(hdr_.data); }
  const char *data() const { return static_cast<const char *>(hdr_.data); }
  // Text bytes, without the terminator.
  size_t size() const { return hdr_.count != 0 ? size_t(hdr_.count - 1) : 0; }
  // The stored length: text bytes plus the terminator, 0 when empty.
  size_t stored_length() const { return size_t(hdr_.count); }
  size_t capacity() const { return size_t(hdr_.capacity); }
  bool empty() const { return hdr_.count <= 1; }
  std::string_view view() const { return {c_str(), size()}; }
  char operator[](size_t i) const { return c_str()[i]; }
  char &operator[](size_t i) { return data()[i]; }
  const char *begin() const { return c_str(); }
  const char *end() const { return c_str() + size(); }

  // Replaces the text by count bytes (which may lie inside this string).
  qstring &assign(const char *bytes, size_t count);
  // Appends count bytes (which may lie inside this string).
  qstring &append(const char *bytes, size_t count);
  qstring &append(std::string_view text) { return append(text.data(), text.size()); }
  qstring &append(const qstring &text);
  qstring &push_back(char c);
  qstring &operator+=(std::string_view text) { return append(text); }
  qstring &operator+=(const qstring &text) { return append(text); }
  qstring &operator+=(const char *text) { return append(std::string_view(text)); }
  qstring &operator+=(char c) { return push_back(c); }
  // Ensures room for at least bytes bytes (terminator included).
  void reserve(size_t bytes);
  // Declares the first n bytes of the buffer (written through data()) as the text and terminates it.
  // The capacity must exceed n (reserve first).
  void set_length(size_t n);
  // Empties the text and keeps the buffer.
  void clear() { hdr_.count = 0; }
  // Frees the buffer; the string is empty without a buffer.
  void release();
  // Gives up the buffer to the caller (free() it); the string is left empty.
  char *detach();

  friend bool operator==(const qstring &a, const qstring &b) { return a.view() == b.view(); }
  friend bool operator==(const qstring &a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const qstring &a, const char *b) { return a.view() == std::string_view(b); }
  friend bool operator<(const qstring &a, const qstring &b) { return a.view() < b.view(); }

private:
  friend void qstring_resize(qstring *s, size_t n);
  friend void qstring_remove_last_chars(qstring *s, size_t n);
  void grow_to(uint64_t bytes);

  vector_header_t hdr_; // data, length with terminator, capacity
};

// Design-named operations. "Length" in the design is the stored length (terminator included).
void qstring_init_empty(qstring *s);
void qstring_free(qstring *s);
void qstring_clear_free(qstring *s);
void qstring_move_assign(qstring *dst, qstring *src);
void qstring_copy_assign(qstring *dst, const qstring &src);
void qstring_assign(qstring *s, const char *bytes, size_t count);
// Null or "" empties the text and keeps the buffer.
void qstring_assign_cstr(qstring *s, const char *text);
const char *qstring_assign_cstr_text(qstring *s, const char *text);
// Replaces the string by exactly these bytes (a negative count gives none), releasing the old
// buffer. Always true.
bool qstring_set_from_buf(qstring *s, const char *bytes, int count);
const char *qstring_c_str(const qstring &s);
void qstring_append(qstring *s, const qstring &tail);
void qstring_append_buf(qstring *s, const char *bytes, size_t count);
void qstring_append_char(qstring *s, char c);
// n = 0 releases the buffer; otherwise n text bytes, new bytes zero-filled.
void qstring_resize(qstring *s, size_t n);
// Removes n trailing text bytes; removing the whole text (or more) releases the buffer.
void qstring_remove_last_chars(qstring *s, size_t n);
// Last text byte, 0 when empty.
char qstring_last_char(const qstring &s);
// Strict byte-wise order (unsigned bytes): the comparator of maps keyed by strings.
bool qstring_less(const qstring &a, const qstring &b);

// Formats into s (the core's printf extensions apply). The buffer is released first; an output of
// no characters leaves s empty without a buffer. Returns s.
qstring &format_to_string(qstring *s, const char *format, ...);
qstring &vformat_to_string(qstring *s, const char *format, va_list va);
// Appends formatted text to s; an output of no characters changes nothing. Returns s.
qstring &append_format_to_string(qstring *s, const char *format, ...);
qstring &vappend_format_to_string(qstring *s, const char *format, va_list va);

// Replaces every occurrence of pattern (non-empty) by replacement (null deletes), scanning left to
// right without overlaps and never searching replaced text. False and s untouched when nothing
// matched (or the pattern is empty).
bool qstring_replace_all(qstring *s, const char *pattern, const char *replacement);
