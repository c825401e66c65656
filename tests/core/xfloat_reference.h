// A frozen copy of the 16-byte float's first implementation (16-bit words), kept only to hold the current one
// to the same results bit for bit.
#pragma once

#include "core/xfloat.h"

#include <cstddef>
#include <cstdint>

// Every name here does what the name without the namespace (and with the prefix "xfloat_" for the operations
// on xfloat_t) does in core/, as it did when the copy was taken.
namespace xfloat_reference {

// xfloat_work_t: one unpacked value in eleven 16-bit words. The significand operations span words 2..10,
// one 144-bit number with word 2 most significant; a normalised value has word 2 zero and the leading bit at the
// top of word 3, so its value is significand * 2^(exponent - 16383 - 127).
struct xfloat_work_t
{
  uint16_t words[11];
};

inline constexpr int XW_SIGN = 0;       // 0 or 0xFFFF
inline constexpr int XW_EXPONENT = 1;   // biased, 0..32767
inline constexpr int XW_OVERFLOW = 2;   // above the significand
inline constexpr int XW_TOP = 3;        // the leading bit is the top bit of this word
inline constexpr int XW_LAST = 9;       // lowest word of the 112-bit significand
inline constexpr int XW_ROUND = 10;     // below the significand

// What xfloat_normalize answers for a zero significand (above any real shift of a 112-bit significand).
inline constexpr int XFLOAT_ZERO_SHIFT = 144;

// Unpacking clears the overflow and rounding words, and the significand of a value whose exponent is 0.
void xfloat_unpack(const xfloat_t &x, xfloat_work_t *out);
// Packing drops the overflow and rounding words.
void xfloat_pack(const xfloat_work_t &v, xfloat_t *out);

// Shifts the significand until its leading bit is the top bit of word 3 and answers the shift made (positive
// left, negative right); a zero significand answers XFLOAT_ZERO_SHIFT. A right shift that drops non-zero bits
// below the rounding word sets *lost when lost is given.
int xfloat_normalize(xfloat_work_t *v, bool *lost = nullptr);

// Shifts the significand by n bits, left for positive n; answers 2 when a right shift dropped non-zero bits
// below the rounding word, else 1.
int xfloat_shift(xfloat_work_t *v, int n);
void xfloat_shift_left_1(xfloat_work_t *v);
void xfloat_shift_left_8(xfloat_work_t *v);
// Right shifts answer whether non-zero bits fell out of the rounding word.
bool xfloat_shift_right_1(xfloat_work_t *v);
bool xfloat_shift_right_8(xfloat_work_t *v);

// b += a and b -= a over words 2..10; answer the carry or borrow out of word 2.
bool significand_add(const xfloat_work_t &a, xfloat_work_t *b);
bool significand_subtract(const xfloat_work_t &a, xfloat_work_t *b);
// -1, 0 or 1 as a's significand is below, equal to or above b's.
int significand_compare(const xfloat_work_t &a, const xfloat_work_t &b);
bool significand_is_zero(const xfloat_work_t &v);

// b = (a * b) >> 128 for normalised significands (word 2 zero), the product of two values at exponent
// ea + eb - 16382; answers whether non-zero bits were dropped below the rounding word.
bool significand_multiply(const xfloat_work_t &a, xfloat_work_t *b);

// b = b / a with 114 quotient bits for normalised significands, the quotient at exponent eb - ea + 16383;
// answers whether a non-zero remainder was left.
bool significand_divide(const xfloat_work_t &a, xfloat_work_t *b);

// Long-division digit: for significands at the same scale answers q = floor(r / t) and leaves r - q * t in r.
// Callers keep r below 16 * t.
int significand_remainder(const xfloat_work_t &t, xfloat_work_t *r);

// r = r * 10 + digit over words 2..10; answers false (r unchanged) when the result would not fit the 144 bits.
bool significand_times_ten(xfloat_work_t *r, unsigned digit);

// Normalises v and rounds its significand to precision bits (112 for arithmetic, 64, 53 or 24 for the processor
// formats) at exponent e less the normalisation shift. Ties go to even unless bits were lost below the rounding
// word; then a tie rounds up, except after a subtraction, whose true result lies just below the tie.
// Answers true with the exponent set when the result exponent is 1..32766; otherwise v becomes zero.
bool xfloat_round(xfloat_work_t *v, bool lost, bool subtract, int e, int precision);

int add(const xfloat_t &a, const xfloat_t &b, xfloat_t *out, bool subtract = false);
int multiply(const xfloat_t &a, const xfloat_t &b, xfloat_t *out);
int divide(const xfloat_t &dividend, const xfloat_t &divisor, xfloat_t *out);
int compare(const xfloat_t &a, const xfloat_t &b);
int to_int64(int64_t *out, const xfloat_t &x, bool round);
void from_int64(int64_t value, xfloat_t *out);
int convert_processor(void *bytes, xfloat_t *x, int code);
int text_to_float(const char **position, xfloat_t *out);
char *float_to_text(char *buffer, size_t size, const xfloat_t &x, uint32_t format);

} // namespace xfloat_reference
