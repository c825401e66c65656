// Backslash escaping and unescaping, bounded copies into fixed buffers, and small in-place text operations.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/qstring.h"

//--------------------------------------------------------------------------
// Escaping. Bell, backspace, tab, line feed, vertical tab, form feed and carriage return become "\a" "\b" "\t"
// "\n" "\v" "\f" "\r"; a double quote "\"", a backslash "\\". Any other character that is not printable
// (is_printable_char) is written as "\xNN" per byte of its UTF-8 sequence, as is every byte that starts no
// valid sequence. Printable characters, non-ASCII ones and the single quote included, are copied unchanged.

// Appends the escaped form of `len` bytes of text (-1: up to the terminator) to *out. With limit > 0 the
// output's text never reaches `limit` bytes: escaping stops before the first piece that would make it so,
// and no escape is ever cut.
void append_escaped(qstring *out, const char *text, ptrdiff_t len, ptrdiff_t limit);

// Empties *out, then appends the escaped text without limit.
void escape_text(qstring *out, const char *text, ptrdiff_t len);

// Escapes the text into buf of `size` bytes, cut whole escapes at a time and always terminated. Size 0 leaves
// buf alone; a negative size is internal error 1225.
void escape_to_buffer(char *buf, const char *text, ptrdiff_t size);

// Reads one escape, *cursor standing just after the backslash, advances past it and returns the character it
// stands for: octal (up to three digits), "\a" "\b" "\f" "\n" "\r" "\t" "\v", "\x" with one or two hexadecimal
// digits ("\x" alone gives 'x'); any other code point up to 255 stands for itself, one above 255 gives a
// backslash. At the terminator returns 0 without moving; a byte that starts no valid sequence gives 0 and is
// skipped alone.
uint32_t unescape_char(const char **cursor);

//--------------------------------------------------------------------------
// Bounded copies. They never write beyond `size` bytes and always terminate. A negative size is internal
// error 1225; size 0 is internal error 520.

// Copies at most size - 1 bytes of src; returns dst.
char *copy_bounded(char *dst, const char *src, ptrdiff_t size);

// As copy_bounded; returns a pointer to the terminator it wrote.
char *copy_bounded_end(char *dst, const char *src, ptrdiff_t size);

// Appends src to the text in dst within a total of `size` bytes; returns dst. A dst whose text already
// fills all `size` bytes (no terminator within them) is internal error 520.
char *append_bounded(char *dst, const char *src, ptrdiff_t size);

//--------------------------------------------------------------------------
// Small text operations.

// Replaces every byte `from` by `to` in place; nothing when they are equal or text is null. Returns text.
char *substitute_char(char *text, char from, char to);

// The part after the last '.' of the file name (path_file_name), or null when the name has no '.' or path
// is null.
const char *path_extension(const char *path);
char *path_extension(char *path);

// Re-entrant field splitter: a null text continues from *saved. Skips leading delimiters; returns null at the
// end; otherwise terminates the field at the next delimiter, saves the position after it and returns the field.
char *next_field(char *text, const char *delimiters, char **saved);

// Upper-cases every byte with toupper in place; null is accepted. Returns text.
char *upper_case_in_place(char *text);

// Reads digits 0-9 and letters (a = 10 ... z = 35, either case) while each value is below radix and returns
// the accumulated value, without an overflow check. *end (when given) receives the first byte not read.
uint64_t parse_radix_number(const char *text, int radix, const char **end);

// Reverses the order of `count` bytes in place.
void reverse_bytes(void *buf, size_t count);
