// The working form of xfloat_t values, in 16-bit words and in wide integers, and the operations on it that the
// arithmetic and the text conversions share.
#pragma once

#include "core/xfloat.h"

#include <cstdint>

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

//--------------------------------------------------------------------------------------------------------------
// The same significand in wide integers, as the operations compute with it

using xfloat_u128 = unsigned __int128;

// The rounding word's bits, at the bottom of the body below the significand.
inline constexpr int XW_ROUND_BITS = 16;

// xfloat_bits_t: words 2..10 of the working form as one 144-bit integer: word 2 in overflow, words 3..10 in body
// (word 3 at the top). A normalised significand has overflow 0 and the top bit of body set.
struct xfloat_bits_t
{
  uint16_t overflow;
  xfloat_u128 body;
};

// The significand words of v, and back.
xfloat_bits_t xfloat_bits_of(const xfloat_work_t &v);
void xfloat_set_bits(xfloat_work_t *v, const xfloat_bits_t &bits);

// An xfloat_t split as xfloat_unpack splits it: body is the significand shifted above the rounding word, or 0
// for exponent 0.
struct xfloat_split_t
{
  bool negative;
  int exponent;   // biased, 0..32767
  xfloat_bits_t bits;
};
xfloat_split_t xfloat_split(const xfloat_t &x);
// Joins as xfloat_pack does: the overflow word and the rounding word are dropped.
xfloat_t xfloat_join(bool negative, int exponent, const xfloat_bits_t &bits);

// xfloat_shift, xfloat_normalize, significand_times_ten and significand_remainder on the wide significand.
int xfloat_shift_bits(xfloat_bits_t *bits, int n);
int xfloat_normalize_bits(xfloat_bits_t *bits, bool *lost);
bool xfloat_times_ten_bits(xfloat_bits_t *bits, unsigned digit);
int xfloat_remainder_bits(const xfloat_bits_t &t, xfloat_bits_t *r);

// xfloat_round on the wide significand: *e is the exponent before (less the normalisation shift) and the
// exponent after, 0 for a zero significand and on failure.
bool xfloat_round_bits(xfloat_bits_t *bits, bool lost, bool subtract, int *e, int precision);

// The 256-bit product of two 128-bit integers.
inline void xfloat_multiply_128(xfloat_u128 a, xfloat_u128 b, xfloat_u128 *high, xfloat_u128 *low)
{
  const uint64_t a0 = uint64_t(a);
  const uint64_t a1 = uint64_t(a >> 64);
  const uint64_t b0 = uint64_t(b);
  const uint64_t b1 = uint64_t(b >> 64);
  const xfloat_u128 p00 = xfloat_u128(a0) * b0;
  const xfloat_u128 p01 = xfloat_u128(a0) * b1;
  const xfloat_u128 p10 = xfloat_u128(a1) * b0;
  const xfloat_u128 p11 = xfloat_u128(a1) * b1;
  const xfloat_u128 middle = (p00 >> 64) + uint64_t(p01) + uint64_t(p10);
  *low = (middle << 64) | uint64_t(p00);
  *high = p11 + (p01 >> 64) + (p10 >> 64) + (middle >> 64);
}

// One 64-bit digit of a long division: answers floor((*remainder * 2^64 + next) / divisor) and leaves what is
// left in *remainder. The divisor has its top bit set and *remainder is below it.
inline uint64_t xfloat_divide_step(xfloat_u128 *remainder, uint64_t next, xfloat_u128 divisor)
{
  const uint64_t d1 = uint64_t(divisor >> 64);
  const uint64_t d0 = uint64_t(divisor);
  const uint64_t r1 = uint64_t(*remainder >> 64);
  const uint64_t r0 = uint64_t(*remainder);
  // The estimate from the top divisor digit is at most two too large; the second digit decides exactly.
  uint64_t q;
  xfloat_u128 rhat;
  if ( r1 >= d1 )
  {
    q = ~uint64_t(0);
    rhat = xfloat_u128(r0) + d1;
  }
  else
  {
#if defined(__x86_64__)
    uint64_t r;
    __asm__("divq %4" : "=a"(q), "=d"(r) : "a"(r0), "d"(r1), "rm"(d1));
    rhat = r;
#else
    const xfloat_u128 n = (xfloat_u128(r1) << 64) | r0;
    q = uint64_t(n / d1);
    rhat = n % d1;
#endif
  }
  while ( (rhat >> 64) == 0 && xfloat_u128(q) * d0 > ((rhat << 64) | next) )
  {
    --q;
    rhat += d1;
  }
  *remainder = ((xfloat_u128(r0) << 64) | next) - xfloat_u128(q) * divisor;
  return q;
}
