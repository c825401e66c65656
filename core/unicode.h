// Unicode properties, strict UTF-8 decoding and walking, and UTF-8/UTF-16 conversions of the core.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/qstring.h"
#include "core/qvector.h"

// Code points are 32-bit values; this value (all bits set) stands for a malformed sequence.
inline constexpr uint32_t bad_code_point = UINT32_MAX;

// Property word of a code point: bits 0-15 the Unicode 15.0 block (blocks numbered from 1 in ascending byte
// order of their names, 0 = none), bits 16-23 the general category (below; 0 = unassigned).
inline constexpr uint32_t unicode_block_mask = 0xFFFF;
inline constexpr int unicode_category_shift = 16;

// Block numbers the core tests for.
enum unicode_block_t : uint32_t
{
  UBLOCK_ADLAM = 1,
  UBLOCK_BASIC_LATIN = 24,
  UBLOCK_SPECIALS = 270,
  UBLOCK_TAGS = 290,
};

// General categories, numbered in ascending order of their two-letter names (3 and 6 never occur).
enum unicode_category_t : uint32_t
{
  UCAT_UNASSIGNED = 0,
  UCAT_CC = 1, UCAT_CF = 2, UCAT_CO = 4, UCAT_CS = 5,
  UCAT_LL = 7, UCAT_LM = 8, UCAT_LO = 9, UCAT_LT = 10, UCAT_LU = 11,
  UCAT_MC = 12, UCAT_ME = 13, UCAT_MN = 14,
  UCAT_ND = 15, UCAT_NL = 16, UCAT_NO = 17,
  UCAT_PC = 18, UCAT_PD = 19, UCAT_PE = 20, UCAT_PF = 21, UCAT_PI = 22, UCAT_PO = 23, UCAT_PS = 24,
  UCAT_SC = 25, UCAT_SK = 26, UCAT_SM = 27, UCAT_SO = 28,
  UCAT_ZL = 29, UCAT_ZP = 30, UCAT_ZS = 31,
};

inline uint32_t unicode_block(uint32_t props) { return props & unicode_block_mask; }
inline uint32_t unicode_category(uint32_t props) { return (props >> unicode_category_shift) & 0xFF; }

// The property word of a code point; 0 for code points of 0x110000 and above.
uint32_t unicode_properties(uint32_t cp);

// False for unassigned code points, controls, surrogates, the line and paragraph separators, the Specials and
// Tags blocks and the bidirectional marks and embeddings (U+061C, U+200E, U+200F, U+202A-U+202E); true for every
// other code point, format characters, private use and spaces included.
bool is_printable_char(uint32_t cp);

// Decoding is strict: no overlong forms, nothing above 0x10FFFF; encoded surrogates (ED A0 80 ...) are accepted.

// Decodes the code point at *cursor and advances past it. At the terminator returns 0 without moving; a
// malformed sequence returns bad_code_point without moving.
uint32_t utf8_next_char(const char **cursor);

// Steps *cursor back over one code point, never before `start`. *out (when given) receives the code point, or
// bad_code_point when none was found. False, with the cursor unmoved, when the cursor is at `start` or the bytes
// before it do not end a valid sequence.
[[nodiscard]] bool utf8_prev_char(uint32_t *out, const char **cursor, const char *start);

// Number of code points up to the terminator; each byte of a malformed sequence counts as one.
size_t utf8_count_chars(const char *text);

// Advances *cursor by up to n code points (a malformed byte counts as one and is skipped alone), stopping at
// the terminator. Returns how many of the n were left.
size_t utf8_skip_chars(const char **cursor, size_t n);

// Copies text with its terminator into buf of `size` bytes; true when it fit. Otherwise buf holds size - 1
// bytes and the terminator, without a UTF-8 sequence cut at its end, and the result is false.
// A negative size is internal error 1225, size 0 internal error 1538.
bool copy_utf8_bounded(char *buf, const char *text, ptrdiff_t size);

// Number of 16-bit units before the 0 unit.
size_t wide_length(const char16_t *text);

// Empties *out and converts `count` UTF-16 units (a negative count: up to the 0 unit) into it. False for a
// null output or input, and on a lone low surrogate, a high surrogate not followed by a low one or a high
// surrogate at the end of the counted input (the output then holds what was converted before it).
[[nodiscard]] bool utf16_to_utf8(qstring *out, const char16_t *in, ptrdiff_t count);

// Replaces the content of *out by the UTF-16 form of `count` bytes of UTF-8 text (a negative count: up to the
// terminator); *out always ends with a 0 unit. Code points above 0xFFFF become surrogate pairs; in counted
// mode a NUL byte becomes a 0 unit and the conversion goes on. False for a null output or input and on a
// malformed sequence (a sequence cut by the count included).
[[nodiscard]] bool utf8_to_utf16(wide_string_t *out, const char *in, ptrdiff_t count);
