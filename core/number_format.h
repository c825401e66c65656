// Number texts: human-readable byte sizes and their parser, digit strings in radix 2/8/10/16, and integers
// written as source-code literals.
#pragma once

#include <cstddef>
#include <cstdint>

// A value of up to 16 bytes, as print_c_number takes it.
struct uint128_pair_t
{
  uint64_t low;
  uint64_t high;
};

// Writes `value` bytes as a size text ("9999", "9.8k", "1.00M", "999T", "infty", ...) into buf of `size`
// bytes, cut and terminated like buf_printf. Returns the number of characters written.
int format_byte_size(char *buf, size_t size, uint64_t value);

// Reads a size text: a decimal count, optionally with a fraction ("." or ","), followed by an optional factor
// letter k, M, G or T (powers of 1024), or "infty" (all 64 bits set). False, with *out untouched, for null,
// empty or malformed text, negative values and values that do not fit in 64 bits. *out may be null.
[[nodiscard]] bool parse_byte_size(uint64_t *out, const char *text);

// Writes the digits of value in radix 2, 8, 10 or 16 (upper-case letters), minimal or, with pad, zero-padded to
// the full width of the type (32-bit: 32, 11, 10, 8 digits; 64-bit: 64, 22, 20, 16), and terminates them.
// Zero gives "0", or with pad the full width of zeros (radix 0 counts as 10, another unsupported radix as 16).
// A non-zero value with an unsupported radix gives an empty text. Returns a pointer to the terminator.
// buf needs room for the full width and the terminator.
char *digits_u32(char *buf, uint32_t value, int radix, bool pad);
char *digits_u64(char *buf, uint64_t value, int radix, bool pad);

// Flags of print_c_number.
enum c_number_flags_t : uint32_t
{
  CNUM_FORM_MASK = 0x07,    // 0 decimal, 1 hexadecimal, 2 octal, 3 character constant, 4 binary; 5-7 hexadecimal
  CNUM_DEC = 0,
  CNUM_HEX = 1,
  CNUM_OCT = 2,
  CNUM_CHAR = 3,
  CNUM_BIN = 4,
  CNUM_UNSIGNED = 0x08,     // decimal prints unsigned; suffix "u"
  CNUM_ZERO_PAD = 0x10,     // pad hexadecimal, octal and binary to the full width of the byte count
  CNUM_SIGN = 0x20,         // a value with the top bit of its width set prints as "-" and its magnitude
  CNUM_SIGNED_DEC = 0x40,   // signed decimal: the top bit of the width is sign-extended
  CNUM_ALWAYS_RADIX = 0x80, // no decimal for small hexadecimal (< 10) and octal (< 8) values
  CNUM_UTF8_CHAR = 0x100,   // a character constant may hold a multi-byte UTF-8 character
};

// Writes `value`, `nbytes` wide (1 to 16; other counts are taken as the nearest of these), as a C literal into
// buf of `size` bytes: decimal, "0x" hexadecimal, "0" octal, "0b" binary or a quoted character constant, with
// the suffix "u" for unsigned and "LL" for 8 bytes and more. Returns the length written. An output that does
// not fit the buffer is internal error 519; a negative size internal error 1225.
int print_c_number(char *buf, ptrdiff_t size, uint128_pair_t value, int nbytes, uint32_t flags);
