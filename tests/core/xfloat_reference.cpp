// A frozen copy of the 16-byte float's first implementation, in 16-bit words, that the differential tests
// hold the current one to: every result must match it bit for bit.
#include "xfloat_reference.h"

#include "core/internal_error.h"
#include "core/printf_format.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <utility>

namespace xfloat_reference {

//==============================================================================================================
// Arithmetic

namespace {

constexpr int SIGNIFICAND_WORDS = XW_ROUND - XW_OVERFLOW + 1;   // words 2..10
constexpr int SIGNIFICAND_BITS = 112;
constexpr int MAX_FINITE_EXPONENT = XFLOAT_MAX_EXPONENT - 1;
// Beyond this exponent difference the smaller operand of an addition cannot move the rounded result.
constexpr int ADD_REACH = SIGNIFICAND_BITS + 1;
constexpr int DIVIDE_STEPS = SIGNIFICAND_BITS + 2;

bool is_negative(const xfloat_work_t &v)
{
  return v.words[XW_SIGN] != 0;
}

int exponent_of(const xfloat_work_t &v)
{
  return v.words[XW_EXPONENT];
}

void clear_significand(xfloat_work_t *v)
{
  for ( int i = XW_OVERFLOW; i <= XW_ROUND; ++i )
    v->words[i] = 0;
}

// Zero with the sign kept.
void make_zero(xfloat_work_t *v)
{
  clear_significand(v);
  v->words[XW_EXPONENT] = 0;
}

// The top 64 significand bits (words 3..6), leading bit at bit 63.
uint64_t top_64_bits(const xfloat_work_t &v)
{
  return (uint64_t(v.words[XW_TOP]) << 48) | (uint64_t(v.words[XW_TOP + 1]) << 32)
       | (uint64_t(v.words[XW_TOP + 2]) << 16) | uint64_t(v.words[XW_TOP + 3]);
}

void set_top_64_bits(xfloat_work_t *v, uint64_t bits)
{
  v->words[XW_TOP] = uint16_t(bits >> 48);
  v->words[XW_TOP + 1] = uint16_t(bits >> 32);
  v->words[XW_TOP + 2] = uint16_t(bits >> 16);
  v->words[XW_TOP + 3] = uint16_t(bits);
}

} // namespace

//--------------------------------------------------------------------------------------------------------------
// Working form

void xfloat_unpack(const xfloat_t &x, xfloat_work_t *out)
{
  const uint16_t head = x.words[7];
  const uint16_t exponent = head & 0x7FFF;
  out->words[XW_SIGN] = (head & XFLOAT_SIGN_BIT) != 0 ? 0xFFFF : 0;
  out->words[XW_EXPONENT] = exponent;
  out->words[XW_OVERFLOW] = 0;
  for ( int i = 0; i < 7; ++i )
    out->words[XW_TOP + i] = exponent == 0 ? 0 : x.words[6 - i];
  out->words[XW_ROUND] = 0;
}

void xfloat_pack(const xfloat_work_t &v, xfloat_t *out)
{
  out->words[7] = uint16_t((v.words[XW_SIGN] & XFLOAT_SIGN_BIT) | (v.words[XW_EXPONENT] & 0x7FFF));
  for ( int i = 0; i < 7; ++i )
    out->words[6 - i] = v.words[XW_TOP + i];
}

void xfloat_shift_left_1(xfloat_work_t *v)
{
  uint16_t *w = v->words;
  for ( int i = XW_OVERFLOW; i < XW_ROUND; ++i )
    w[i] = uint16_t((w[i] << 1) | (w[i + 1] >> 15));
  w[XW_ROUND] = uint16_t(w[XW_ROUND] << 1);
}

void xfloat_shift_left_8(xfloat_work_t *v)
{
  uint16_t *w = v->words;
  for ( int i = XW_OVERFLOW; i < XW_ROUND; ++i )
    w[i] = uint16_t((w[i] << 8) | (w[i + 1] >> 8));
  w[XW_ROUND] = uint16_t(w[XW_ROUND] << 8);
}

bool xfloat_shift_right_1(xfloat_work_t *v)
{
  uint16_t *w = v->words;
  const bool lost = (w[XW_ROUND] & 1) != 0;
  for ( int i = XW_ROUND; i > XW_OVERFLOW; --i )
    w[i] = uint16_t((w[i] >> 1) | (w[i - 1] << 15));
  w[XW_OVERFLOW] = uint16_t(w[XW_OVERFLOW] >> 1);
  return lost;
}

bool xfloat_shift_right_8(xfloat_work_t *v)
{
  uint16_t *w = v->words;
  const bool lost = (w[XW_ROUND] & 0xFF) != 0;
  for ( int i = XW_ROUND; i > XW_OVERFLOW; --i )
    w[i] = uint16_t((w[i] >> 8) | (w[i - 1] << 8));
  w[XW_OVERFLOW] = uint16_t(w[XW_OVERFLOW] >> 8);
  return lost;
}

int xfloat_shift(xfloat_work_t *v, int n)
{
  uint16_t *w = v->words;
  constexpr int all_bits = SIGNIFICAND_WORDS * 16;
  if ( n >= 0 )
  {
    if ( n >= all_bits )
    {
      clear_significand(v);
      return 1;
    }
    const int whole = n / 16;
    if ( whole > 0 )
      for ( int i = XW_OVERFLOW; i <= XW_ROUND; ++i )
        w[i] = i + whole <= XW_ROUND ? w[i + whole] : 0;
    int rest = n % 16;
    for ( ; rest >= 8; rest -= 8 )
      xfloat_shift_left_8(v);
    for ( ; rest > 0; --rest )
      xfloat_shift_left_1(v);
    return 1;
  }

  bool lost = false;
  if ( n <= -all_bits )
  {
    lost = !significand_is_zero(*v);
    clear_significand(v);
    return lost ? 2 : 1;
  }
  const int bits = -n;
  const int whole = bits / 16;
  if ( whole > 0 )
  {
    for ( int i = XW_ROUND; i > XW_ROUND - whole; --i )
      lost |= w[i] != 0;
    for ( int i = XW_ROUND; i >= XW_OVERFLOW; --i )
      w[i] = i - whole >= XW_OVERFLOW ? w[i - whole] : 0;
  }
  int rest = bits % 16;
  for ( ; rest >= 8; rest -= 8 )
    lost |= xfloat_shift_right_8(v);
  for ( ; rest > 0; --rest )
    lost |= xfloat_shift_right_1(v);
  return lost ? 2 : 1;
}

int xfloat_normalize(xfloat_work_t *v, bool *lost)
{
  const uint16_t *w = v->words;
  if ( w[XW_OVERFLOW] != 0 )
  {
    const int n = std::bit_width(w[XW_OVERFLOW]);
    if ( xfloat_shift(v, -n) == 2 && lost != nullptr )
      *lost = true;
    return -n;
  }
  for ( int i = XW_TOP; i <= XW_ROUND; ++i )
  {
    if ( w[i] != 0 )
    {
      const int n = (i - XW_TOP) * 16 + std::countl_zero(w[i]);
      xfloat_shift(v, n);
      return n;
    }
  }
  return XFLOAT_ZERO_SHIFT;
}

bool significand_add(const xfloat_work_t &a, xfloat_work_t *b)
{
  uint32_t carry = 0;
  for ( int i = XW_ROUND; i >= XW_OVERFLOW; --i )
  {
    const uint32_t sum = uint32_t(a.words[i]) + b->words[i] + carry;
    b->words[i] = uint16_t(sum);
    carry = sum >> 16;
  }
  return carry != 0;
}

bool significand_subtract(const xfloat_work_t &a, xfloat_work_t *b)
{
  uint32_t borrow = 0;
  for ( int i = XW_ROUND; i >= XW_OVERFLOW; --i )
  {
    const uint32_t difference = uint32_t(b->words[i]) - a.words[i] - borrow;
    b->words[i] = uint16_t(difference);
    borrow = (difference >> 16) != 0 ? 1 : 0;
  }
  return borrow != 0;
}

int significand_compare(const xfloat_work_t &a, const xfloat_work_t &b)
{
  for ( int i = XW_OVERFLOW; i <= XW_ROUND; ++i )
    if ( a.words[i] != b.words[i] )
      return a.words[i] < b.words[i] ? -1 : 1;
  return 0;
}

bool significand_is_zero(const xfloat_work_t &v)
{
  for ( int i = XW_OVERFLOW; i <= XW_ROUND; ++i )
    if ( v.words[i] != 0 )
      return false;
  return true;
}

bool significand_multiply(const xfloat_work_t &a, xfloat_work_t *b)
{
  // Schoolbook product of 16-bit words, least significant first; the exact 288-bit product shifted right by
  // 128 bits is what shift-and-add over the bits of a would leave.
  uint16_t x[SIGNIFICAND_WORDS];
  uint16_t y[SIGNIFICAND_WORDS];
  for ( int j = 0; j < SIGNIFICAND_WORDS; ++j )
  {
    x[j] = a.words[XW_ROUND - j];
    y[j] = b->words[XW_ROUND - j];
  }
  uint16_t product[2 * SIGNIFICAND_WORDS] = {};
  for ( int i = 0; i < SIGNIFICAND_WORDS; ++i )
  {
    if ( x[i] == 0 )
      continue;
    uint32_t carry = 0;
    for ( int j = 0; j < SIGNIFICAND_WORDS; ++j )
    {
      const uint32_t t = uint32_t(x[i]) * y[j] + product[i + j] + carry;
      product[i + j] = uint16_t(t);
      carry = t >> 16;
    }
    product[i + SIGNIFICAND_WORDS] = uint16_t(carry);
  }
  constexpr int dropped = 8;
  bool lost = false;
  for ( int k = 0; k < dropped; ++k )
    lost |= product[k] != 0;
  for ( int k = 0; k < SIGNIFICAND_WORDS; ++k )
    b->words[XW_ROUND - k] = product[dropped + k];
  return lost;
}

bool significand_divide(const xfloat_work_t &a, xfloat_work_t *b)
{
  xfloat_work_t remainder = *b;
  xfloat_work_t quotient = {};
  for ( int step = 0; step < DIVIDE_STEPS; ++step )
  {
    xfloat_shift_left_1(&quotient);
    if ( significand_compare(remainder, a) >= 0 )
    {
      significand_subtract(a, &remainder);
      quotient.words[XW_ROUND] |= 1;
    }
    xfloat_shift_left_1(&remainder);
  }
  // The first quotient bit (the units of a quotient in (0.5, 2)) goes to the top of word 3.
  xfloat_shift(&quotient, 127 - (DIVIDE_STEPS - 1));
  for ( int i = XW_OVERFLOW; i <= XW_ROUND; ++i )
    b->words[i] = quotient.words[i];
  return !significand_is_zero(remainder);
}

int significand_remainder(const xfloat_work_t &t, xfloat_work_t *r)
{
  int digit = 0;
  for ( int bit = 3; bit >= 0; --bit )
  {
    xfloat_work_t multiple = t;
    xfloat_shift(&multiple, bit);
    if ( significand_compare(*r, multiple) >= 0 )
    {
      significand_subtract(multiple, r);
      digit += 1 << bit;
    }
  }
  return digit;
}

bool significand_times_ten(xfloat_work_t *r, unsigned digit)
{
  uint16_t result[XW_ROUND + 1];
  uint32_t carry = 0;
  for ( int i = XW_ROUND; i >= XW_OVERFLOW; --i )
  {
    const uint32_t t = uint32_t(r->words[i]) * 10 + carry + (i == XW_LAST ? digit : 0);
    result[i] = uint16_t(t);
    carry = t >> 16;
  }
  if ( carry != 0 )
    return false;
  for ( int i = XW_OVERFLOW; i <= XW_ROUND; ++i )
    r->words[i] = result[i];
  return true;
}

//--------------------------------------------------------------------------------------------------------------
// Rounding

bool xfloat_round(xfloat_work_t *v, bool lost, bool subtract, int e, int precision)
{
  uint16_t *w = v->words;
  // A right shift out of the overflow word can drop a bit of the rounding word: it counts as lost, or a value
  // just above a tie would be taken for the tie itself.
  const int shift = xfloat_normalize(v, &lost);
  if ( shift == XFLOAT_ZERO_SHIFT )
  {
    w[XW_EXPONENT] = 0;
    return true;
  }
  e -= shift;
  if ( e >= XFLOAT_MAX_EXPONENT )
  {
    make_zero(v);
    return false;
  }
  if ( e < 0 )
  {
    if ( e < -SIGNIFICAND_BITS )
    {
      make_zero(v);
      return false;
    }
    if ( xfloat_shift(v, e) == 2 )
      lost = true;
  }
  // The narrow formats round a value just below their normal range where its denormal would end, so that one
  // that rounds up to the smallest normal still converts.
  const bool denormal_step = precision < 64 && e <= 0;
  if ( denormal_step && xfloat_shift_right_1(v) )
    lost = true;

  // The part below the kept bits: word and mask of it; unit is the last kept bit's weight there.
  int part_word = XW_ROUND;
  uint32_t mask = 0xFFFF;
  switch ( precision )
  {
    case 24: part_word = XW_TOP + 1; mask = 0xFF; break;
    case 53: part_word = XW_TOP + 3; mask = 0x7FF; break;
    case 64: part_word = XW_TOP + 4; break;
    default: break;
  }
  const uint32_t unit = mask + 1;
  const uint32_t half = unit / 2;
  const uint32_t part = w[part_word] & mask;
  bool sticky = false;
  for ( int i = part_word + 1; i <= XW_ROUND; ++i )
  {
    sticky |= w[i] != 0;
    w[i] = 0;
  }
  w[part_word] = uint16_t(w[part_word] & ~mask);
  const bool last_kept_odd = unit > 0xFFFF ? (w[part_word - 1] & 1) != 0 : (w[part_word] & unit) != 0;

  bool up = false;
  if ( part > half || (part == half && sticky) )
    up = true;
  else if ( part == half )
    up = lost ? !subtract : last_kept_odd;
  if ( up )
  {
    uint32_t carry = unit;
    for ( int i = part_word; i >= XW_OVERFLOW && carry != 0; --i )
    {
      const uint32_t sum = w[i] + carry;
      w[i] = uint16_t(sum);
      carry = sum >> 16;
    }
  }

  if ( denormal_step )
    xfloat_shift_left_1(v);
  if ( w[XW_OVERFLOW] != 0 )
  {
    xfloat_shift_right_1(v);
    ++e;
  }
  w[XW_ROUND] = 0;
  if ( e < 1 || e > MAX_FINITE_EXPONENT )
  {
    make_zero(v);
    return false;
  }
  w[XW_EXPONENT] = uint16_t(e);
  return true;
}

//--------------------------------------------------------------------------------------------------------------
// Arithmetic

namespace {

// The end of every operation: the exact result in v rounded to 112 bits at exponent e and packed into out.
// XFLOAT_RANGE, with +0 in out, when it lies outside the format.
int round_result(xfloat_work_t *v, bool lost, bool subtract, int e, xfloat_t *out)
{
  if ( !xfloat_round(v, lost, subtract, e, SIGNIFICAND_BITS) )
  {
    *out = xfloat_zero;
    return XFLOAT_RANGE;
  }
  xfloat_pack(*v, out);
  return XFLOAT_OK;
}

} // namespace

int add(const xfloat_t &a, const xfloat_t &b, xfloat_t *out, bool subtract)
{
  xfloat_work_t x;
  xfloat_work_t y;
  xfloat_unpack(a, &x);
  xfloat_unpack(b, &y);
  if ( subtract )
    y.words[XW_SIGN] = uint16_t(~y.words[XW_SIGN]);

  xfloat_work_t *big = &x;
  xfloat_work_t *small = &y;
  bool lost = false;
  if ( exponent_of(x) != exponent_of(y) )
  {
    if ( exponent_of(y) > exponent_of(x) )
      std::swap(big, small);
    const int difference = exponent_of(*big) - exponent_of(*small);
    if ( difference > ADD_REACH )
    {
      xfloat_pack(*big, out);
      return XFLOAT_OK;
    }
    lost = xfloat_shift(small, -difference) == 2;
  }
  else
  {
    const int order = significand_compare(x, y);
    if ( order == 0 )
    {
      if ( is_negative(x) != is_negative(y) || exponent_of(x) == 0 )
      {
        *out = xfloat_zero;
        return XFLOAT_OK;
      }
      if ( exponent_of(x) >= MAX_FINITE_EXPONENT )
      {
        *out = xfloat_zero;
        return XFLOAT_RANGE;
      }
      x.words[XW_EXPONENT] = uint16_t(exponent_of(x) + 1);
      xfloat_pack(x, out);
      return XFLOAT_OK;
    }
    if ( order < 0 )
      std::swap(big, small);
  }

  const bool subtraction = is_negative(*big) != is_negative(*small);
  if ( subtraction )
    significand_subtract(*small, big);
  else
    significand_add(*small, big);
  return round_result(big, lost, subtraction, exponent_of(*big), out);
}

int multiply(const xfloat_t &a, const xfloat_t &b, xfloat_t *out)
{
  xfloat_work_t x;
  xfloat_work_t y;
  xfloat_unpack(a, &x);
  xfloat_unpack(b, &y);
  if ( exponent_of(x) == 0 || exponent_of(y) == 0 )
  {
    *out = xfloat_zero;
    return XFLOAT_OK;
  }
  const bool lost = significand_multiply(x, &y);
  y.words[XW_SIGN] = uint16_t(x.words[XW_SIGN] ^ y.words[XW_SIGN]);
  return round_result(&y, lost, false, exponent_of(x) + exponent_of(y) - (XFLOAT_BIAS - 1), out);
}

int divide(const xfloat_t &dividend, const xfloat_t &divisor, xfloat_t *out)
{
  xfloat_work_t x;
  xfloat_work_t y;
  xfloat_unpack(dividend, &x);
  xfloat_unpack(divisor, &y);
  *out = xfloat_zero;
  if ( exponent_of(y) == 0 )
    return XFLOAT_DIV_BY_ZERO;
  if ( exponent_of(x) == 0 )
    return XFLOAT_OK;
  const bool lost = significand_divide(y, &x);
  x.words[XW_SIGN] = uint16_t(x.words[XW_SIGN] ^ y.words[XW_SIGN]);
  return round_result(&x, lost, false, exponent_of(x) - exponent_of(y) + XFLOAT_BIAS, out);
}

int compare(const xfloat_t &a, const xfloat_t &b)
{
  xfloat_work_t x;
  xfloat_work_t y;
  xfloat_unpack(a, &x);
  xfloat_unpack(b, &y);
  const bool negative = is_negative(x);
  if ( negative != is_negative(y) )
    return negative ? -1 : 1;
  for ( int i = XW_EXPONENT; i <= XW_LAST; ++i )
  {
    if ( x.words[i] != y.words[i] )
    {
      const int order = x.words[i] < y.words[i] ? -1 : 1;
      return negative ? -order : order;
    }
  }
  return 0;
}

//--------------------------------------------------------------------------------------------------------------
// Integers

int to_int64(int64_t *out, const xfloat_t &x, bool round)
{
  xfloat_work_t v;
  xfloat_unpack(x, &v);
  // Number of bits before the binary point; 0 for 0.5 <= |x| < 1.
  const int integer_bits = exponent_of(v) - (XFLOAT_BIAS - 1);
  if ( integer_bits < 0 )
  {
    *out = 0;
    return XFLOAT_OK;
  }
  if ( integer_bits > 63 )
    return XFLOAT_INT_RANGE;
  const uint64_t top = top_64_bits(v);
  uint64_t magnitude = integer_bits == 0 ? 0 : top >> (64 - integer_bits);
  // Half away from zero from the first bit below the point itself: adding 0.5 to the value first would round
  // the sum and lift the largest value below 0.5 to 1.
  if ( round && ((top >> (63 - integer_bits)) & 1) != 0 )
    ++magnitude;
  if ( magnitude > uint64_t(INT64_MAX) )
    return XFLOAT_INT_RANGE;
  *out = is_negative(v) ? -int64_t(magnitude) : int64_t(magnitude);
  return XFLOAT_OK;
}

void from_int64(int64_t value, xfloat_t *out)
{
  if ( value == 0 )
  {
    *out = xfloat_zero;
    return;
  }
  const uint64_t magnitude = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
  xfloat_work_t v = {};
  v.words[XW_SIGN] = value < 0 ? 0xFFFF : 0;
  v.words[XW_OVERFLOW] = uint16_t(magnitude >> 48);
  v.words[XW_OVERFLOW + 1] = uint16_t(magnitude >> 32);
  v.words[XW_OVERFLOW + 2] = uint16_t(magnitude >> 16);
  v.words[XW_OVERFLOW + 3] = uint16_t(magnitude);
  // Words 2..5 put the units 80 bits above the bottom: 16383 + 127 - 80.
  const int shift = xfloat_normalize(&v);
  v.words[XW_EXPONENT] = uint16_t(XFLOAT_BIAS + 47 - shift);
  xfloat_pack(v, out);
}

//--------------------------------------------------------------------------------------------------------------
// Processor formats

namespace {

struct processor_format_t
{
  int precision;      // significant bits, the leading one included
  int bias;
  int all_ones;       // exponent of infinities and NaNs
  bool explicit_lead; // the leading bit is stored
};

constexpr processor_format_t single_format = {24, 127, 255, false};
constexpr processor_format_t double_format = {53, 1023, 2047, false};
constexpr processor_format_t extended_format = {64, XFLOAT_BIAS, XFLOAT_MAX_EXPONENT, true};

const processor_format_t *format_of(int code)
{
  switch ( code & 7 )
  {
    case XFLOAT_PROC_SINGLE: return &single_format;
    case XFLOAT_PROC_DOUBLE: return &double_format;
    case XFLOAT_PROC_EXTENDED: return &extended_format;
    default: return nullptr;
  }
}

// A processor value split into its fields; significand holds the leading bit at bit 63.
struct processor_fields_t
{
  bool negative;
  int exponent;
  uint64_t significand;
};

void store_fields(const processor_format_t &format, const processor_fields_t &fields, void *bytes)
{
  if ( format.explicit_lead )
  {
    const uint16_t head = uint16_t((fields.negative ? 0x8000 : 0) | fields.exponent);
    std::memcpy(bytes, &fields.significand, 8);
    std::memcpy(static_cast<char *>(bytes) + 8, &head, 2);
    return;
  }
  const int fraction_bits = format.precision - 1;
  const uint64_t fraction = (fields.significand >> (64 - format.precision)) & ((uint64_t(1) << fraction_bits) - 1);
  if ( &format == &single_format )
  {
    const uint32_t bits = (fields.negative ? 0x80000000u : 0) | (uint32_t(fields.exponent) << fraction_bits)
                        | uint32_t(fraction);
    std::memcpy(bytes, &bits, 4);
    return;
  }
  const uint64_t bits = (fields.negative ? uint64_t(1) << 63 : 0) | (uint64_t(fields.exponent) << fraction_bits)
                      | fraction;
  std::memcpy(bytes, &bits, 8);
}

processor_fields_t load_fields(const processor_format_t &format, const void *bytes)
{
  processor_fields_t fields;
  if ( format.explicit_lead )
  {
    uint16_t head;
    std::memcpy(&fields.significand, bytes, 8);
    std::memcpy(&head, static_cast<const char *>(bytes) + 8, 2);
    fields.negative = (head & 0x8000) != 0;
    fields.exponent = head & 0x7FFF;
    return fields;
  }
  const int fraction_bits = format.precision - 1;
  uint64_t bits;
  if ( &format == &single_format )
  {
    uint32_t word;
    std::memcpy(&word, bytes, 4);
    bits = word;
    fields.negative = (word & 0x80000000u) != 0;
  }
  else
  {
    std::memcpy(&bits, bytes, 8);
    fields.negative = (bits >> 63) != 0;
  }
  fields.exponent = int((bits >> fraction_bits) & uint64_t(format.all_ones));
  // Only the fraction here, below bit 63; the caller adds the leading bit for values that have one.
  fields.significand = (bits & ((uint64_t(1) << fraction_bits) - 1)) << (64 - format.precision);
  return fields;
}

int to_processor(const processor_format_t &format, const xfloat_t &x, void *bytes)
{
  xfloat_work_t v;
  xfloat_unpack(x, &v);
  processor_fields_t fields = {is_negative(v), 0, 0};
  if ( exponent_of(v) == XFLOAT_MAX_EXPONENT )
  {
    // Cut without rounding, so that an infinity stays an infinity; a NaN whose payload lies entirely below
    // the cut keeps a payload bit (the top fraction bit), or it would come out as an infinity.
    fields.exponent = format.all_ones;
    const uint64_t kept_mask = ~uint64_t(0) << (64 - format.precision);
    fields.significand = top_64_bits(v) & kept_mask;
    xfloat_work_t payload = v;
    payload.words[XW_TOP] &= 0x7FFF;
    const bool is_nan = !significand_is_zero(payload);
    const uint64_t fraction_mask = kept_mask & ~(uint64_t(1) << 63);
    if ( is_nan && (fields.significand & fraction_mask) == 0 )
      fields.significand |= uint64_t(1) << 62;
  }
  else if ( exponent_of(v) != 0 )
  {
    const int e = exponent_of(v) - XFLOAT_BIAS + format.bias;
    if ( !xfloat_round(&v, false, false, e, format.precision) || exponent_of(v) >= format.all_ones )
      return XFLOAT_PROC_RANGE;
    fields.exponent = exponent_of(v);
    fields.significand = top_64_bits(v);
  }
  store_fields(format, fields, bytes);
  return 1;
}

int from_processor(const processor_format_t &format, const void *bytes, xfloat_t *x)
{
  processor_fields_t fields = load_fields(format, bytes);
  if ( fields.exponent == 0 )
  {
    if ( fields.significand != 0 )
      return XFLOAT_PROC_DENORMAL;
  }
  else if ( format.explicit_lead )
  {
    if ( (fields.significand >> 63) == 0 )
      return XFLOAT_PROC_DENORMAL;
  }
  else
  {
    fields.significand |= uint64_t(1) << 63;
  }
  xfloat_work_t v = {};
  v.words[XW_SIGN] = fields.negative ? 0xFFFF : 0;
  if ( fields.exponent == format.all_ones )
    v.words[XW_EXPONENT] = XFLOAT_MAX_EXPONENT;
  else if ( fields.exponent != 0 )
    v.words[XW_EXPONENT] = uint16_t(fields.exponent - format.bias + XFLOAT_BIAS);
  set_top_64_bits(&v, fields.exponent == 0 ? 0 : fields.significand);
  xfloat_pack(v, x);
  return 1;
}

} // namespace

int convert_processor(void *bytes, xfloat_t *x, int code)
{
  const processor_format_t *format = format_of(code);
  if ( format == nullptr )
    return XFLOAT_PROC_BAD_FORMAT;
  if ( code > 7 )
    return to_processor(*format, *x, bytes);
  return from_processor(*format, bytes, x);
}

//==============================================================================================================
// Text

namespace {

// 10^(2^k) for k from 12 down to 0, rounded to nearest at 112 bits; 10^4096 is one unit of the last place
// above that, so that scaling by it never leaves a value just below a power of ten.
constexpr int POWER_STEPS = 13;
constexpr xfloat_t powers_of_ten[POWER_STEPS] = {
  {{0x804B, 0x153F, 0xC94C, 0x979A, 0x8A20, 0x5202, 0xC460, 0x7525}},   // 1e4096
  {{0x329B, 0x28CE, 0xA74D, 0x5DE4, 0xC53D, 0x3B5D, 0x9E8B, 0x5A92}},   // 1e2048
  {{0xF18B, 0x3D28, 0x650D, 0x0C17, 0x8175, 0x7586, 0xC976, 0x4D48}},   // 1e1024
  {{0xBC50, 0x5C54, 0xCC65, 0x91C6, 0xA60E, 0xA0AE, 0xE319, 0x46A3}},   // 1e512
  {{0x98FF, 0x901B, 0xDDBB, 0xDE8D, 0x9DF9, 0xEBFB, 0xAA7E, 0x4351}},   // 1e256
  {{0x36B1, 0x336C, 0xC66F, 0x8CDF, 0x80E9, 0x47C9, 0x93BA, 0x41A8}},   // 1e128
  {{0xC76B, 0x6B71, 0x3CBF, 0xA6D5, 0xFFCF, 0x1F49, 0xC278, 0x40D3}},   // 1e64
  {{0x0000, 0x0000, 0xF020, 0xB59D, 0x2B70, 0xADA8, 0x9DC5, 0x4069}},   // 1e32
  {{0x0000, 0x0000, 0x0000, 0x0000, 0x0400, 0xC9BF, 0x8E1B, 0x4034}},   // 1e16
  {{0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x2000, 0xBEBC, 0x4019}},   // 1e8
  {{0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x9C40, 0x400C}},   // 1e4
  {{0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0xC800, 0x4005}},   // 1e2
  {{0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0xA000, 0x4002}},   // 1e1
};

// 10^-(2^k) in the same order, rounded to nearest; only compared against, never multiplied with.
constexpr xfloat_t reciprocal_powers_of_ten[POWER_STEPS] = {
  {{0xA1C4, 0x8123, 0x2DE3, 0x9FDE, 0xD2CE, 0x04C8, 0xA6DD, 0x0AD8}},   // 1e-4096
  {{0xF2EB, 0x12D4, 0x4925, 0x2DE4, 0x3436, 0x534F, 0xCEAE, 0x256B}},   // 1e-2048
  {{0x6BD4, 0x0158, 0x87A6, 0xC0BD, 0xDA57, 0x82A5, 0xA2A6, 0x32B5}},   // 1e-1024
  {{0xE3F2, 0xD332, 0x7132, 0xD21C, 0xDB23, 0xEE32, 0x9049, 0x395A}},   // 1e-512
  {{0xFEFB, 0x1155, 0xFA91, 0x1939, 0x637A, 0x4325, 0xC031, 0x3CAC}},   // 1e-256
  {{0xD05E, 0xB3F6, 0xAC7C, 0xE4A0, 0x64BC, 0x467C, 0xDDD0, 0x3E55}},   // 1e-128
  {{0x47B3, 0x98D7, 0x3F23, 0xE9A5, 0xA539, 0xEA27, 0xA87F, 0x3F2A}},   // 1e-64
  {{0xA581, 0x18ED, 0x67DE, 0x94BA, 0x4539, 0x1EAD, 0xCFB1, 0x3F94}},   // 1e-32
  {{0x798A, 0xBE68, 0x4C2E, 0xE15B, 0xC44D, 0x94BE, 0xE695, 0x3FC9}},   // 1e-16
  {{0x36BA, 0x0D2B, 0xFDC2, 0xCEFC, 0x8461, 0x7711, 0xABCC, 0x3FE4}},   // 1e-8
  {{0x404F, 0x6113, 0xD3C3, 0x652B, 0xE219, 0x1758, 0xD1B7, 0x3FF1}},   // 1e-4
  {{0x0A3D, 0xA3D7, 0x3D70, 0xD70A, 0x70A3, 0x0A3D, 0xA3D7, 0x3FF8}},   // 1e-2
  {{0xCCCD, 0xCCCC, 0xCCCC, 0xCCCC, 0xCCCC, 0xCCCC, 0xCCCC, 0x3FFB}},   // 1e-1
};

constexpr int LARGEST_POWER = 4096;
constexpr int TEN = POWER_STEPS - 1;   // index of 10^1
// The exponent at which a 112-bit significand reads as an integer (units at the lowest bit of word 9).
constexpr int INTEGER_EXPONENT = XFLOAT_BIAS + SIGNIFICAND_BITS - 1;
constexpr int EXPONENT_LIMIT = 32768;
constexpr int MAX_DIGITS_AFTER_POINT = 33;
// Decimal exponents whose power of ten lies beyond the format whatever the significand.
constexpr int64_t UNREACHABLE_POWER = 2 * LARGEST_POWER;

int exponent_of(const xfloat_t &x)
{
  return x.words[7] & 0x7FFF;
}

bool is_negative(const xfloat_t &x)
{
  return (x.words[7] & XFLOAT_SIGN_BIT) != 0;
}

bool is_blank(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c)
{
  return c >= '0' && c <= '9';
}

bool is_exponent_letter(char c)
{
  return c == 'e' || c == 'E';
}

//--------------------------------------------------------------------------------------------------------------
// Reading

// The significant digits of a literal as an integer in words 3..9; once the integer reaches 2^112 further
// digits only mark lost precision and, before the point, scale the value.
struct digit_accumulator_t
{
  xfloat_work_t value = {};
  int64_t fraction_digits = 0;           // kept digits after the point
  int64_t dropped_integer_digits = 0;    // digits before the point that did not fit
  bool lost = false;                     // a dropped digit was not 0

  void add(char c, bool after_point)
  {
    const unsigned digit = unsigned(c - '0');
    if ( value.words[XW_OVERFLOW] == 0 )
    {
      significand_times_ten(&value, digit);
      if ( after_point )
        ++fraction_digits;
      return;
    }
    if ( digit != 0 )
      lost = true;
    if ( !after_point )
      ++dropped_integer_digits;
  }
};

// What the scan of a literal found.
struct literal_t
{
  digit_accumulator_t digits;
  bool negative = false;
  int64_t exponent = 0;
  const char *end = nullptr;
};

int scan_literal(const char *p, literal_t *literal)
{
  literal->end = p;
  if ( *p == '+' || *p == '-' )
  {
    literal->negative = *p == '-';
    ++p;
    literal->end = p;
    if ( *p == '\0' )
      return XFLOAT_OK;
  }
  bool digit_seen = false;
  for ( ; is_digit(*p); ++p )
  {
    literal->digits.add(*p, false);
    digit_seen = true;
  }
  literal->end = p;

  if ( *p == '.' )
  {
    ++p;
    literal->end = p;
    const char *fraction_end = p;
    while ( is_digit(*fraction_end) )
      ++fraction_end;
    const bool exponent_follows = is_exponent_letter(*fraction_end);
    if ( exponent_follows && !digit_seen && fraction_end == p )
      return XFLOAT_NOT_NUMBER;
    // Trailing zeros of the fraction change nothing; skipping them keeps the accumulator for digits that count.
    const char *significant_end = fraction_end;
    while ( significant_end > p && significant_end[-1] == '0' )
      --significant_end;
    for ( ; p < significant_end; ++p )
      literal->digits.add(*p, true);
    p = fraction_end;
    literal->end = p;
    if ( !exponent_follows )
      return XFLOAT_OK;
    digit_seen = true;
  }

  if ( is_exponent_letter(*p) )
  {
    if ( !digit_seen )
      return XFLOAT_NOT_NUMBER;
    ++p;
    bool minus = false;
    if ( *p == '+' || *p == '-' )
    {
      minus = *p == '-';
      ++p;
    }
    literal->end = p;
    if ( !is_digit(*p) )
      return XFLOAT_NOT_NUMBER;
    int64_t value = 0;
    for ( ; is_digit(*p); ++p )
      value = std::min<int64_t>(value * 10 + (*p - '0'), EXPONENT_LIMIT);
    literal->end = p;
    if ( value >= EXPONENT_LIMIT || (minus && value == 0) )
      return XFLOAT_NOT_NUMBER;
    literal->exponent = minus ? -value : value;
    return XFLOAT_OK;
  }

  // Any other character ends the number after its digits; a "z" there is refused, and without digits there
  // is no number at all.
  if ( *p == 'z' || !digit_seen )
    return XFLOAT_NOT_NUMBER;
  return XFLOAT_OK;
}

// value *= 10^e with the rounding of the arithmetic; XFLOAT_RANGE when the result or the power leaves the format.
int scale_by_power_of_ten(xfloat_t *value, int64_t e)
{
  if ( e < -LARGEST_POWER )
  {
    if ( divide(*value, powers_of_ten[0], value) != XFLOAT_OK )
      return XFLOAT_RANGE;
    e += LARGEST_POWER;
  }
  const int64_t magnitude = e < 0 ? -e : e;
  if ( magnitude >= UNREACHABLE_POWER )
    return XFLOAT_RANGE;
  xfloat_t power = xfloat_one;
  for ( int bit = 0; bit < POWER_STEPS; ++bit )
    if ( (magnitude & (int64_t(1) << bit)) != 0 && multiply(power, powers_of_ten[TEN - bit], &power) != XFLOAT_OK )
      return XFLOAT_RANGE;
  const int status = e < 0 ? divide(*value, power, value) : multiply(*value, power, value);
  return status == XFLOAT_OK ? XFLOAT_OK : XFLOAT_RANGE;
}

//--------------------------------------------------------------------------------------------------------------
// Writing

// True when x (non-zero) holds an integer: no significand bit below the binary point.
bool is_integer(const xfloat_t &x)
{
  const int integer_bits = exponent_of(x) - (XFLOAT_BIAS - 1);
  if ( integer_bits <= 0 )
    return false;
  int fraction_bits = SIGNIFICAND_BITS - integer_bits;
  for ( int i = 0; fraction_bits > 0; ++i, fraction_bits -= 16 )
  {
    const unsigned mask = fraction_bits >= 16 ? 0xFFFFu : (1u << fraction_bits) - 1;
    if ( (x.words[i] & mask) != 0 )
      return false;
  }
  return true;
}

xfloat_t with_exponent(xfloat_t x, int exponent)
{
  x.words[7] = uint16_t((x.words[7] & XFLOAT_SIGN_BIT) | exponent);
  return x;
}

// y > 1: divides out the powers of ten that leave the significand, read as an integer, an integer; exact.
void strip_decimal_zeros(xfloat_t *y, int *decimal_exponent)
{
  // 10^16, 10^8, 10^4, 10^2, 10^1: the last five powers.
  xfloat_t integer = with_exponent(*y, INTEGER_EXPONENT);
  for ( int k = TEN - 4; k <= TEN; ++k )
  {
    xfloat_t quotient;
    if ( divide(integer, powers_of_ten[k], &quotient) == XFLOAT_OK && is_integer(quotient) )
    {
      integer = quotient;
      *decimal_exponent += LARGEST_POWER >> k;
    }
  }
  *y = with_exponent(integer, exponent_of(integer) + exponent_of(*y) - INTEGER_EXPONENT);
}

// y < 1: multiplies by ten while that stays exact and below 1.
void scale_up_exactly(xfloat_t *y, int *decimal_exponent)
{
  for ( int i = 0; i <= MAX_DIGITS_AFTER_POINT; ++i )
  {
    xfloat_work_t v;
    xfloat_unpack(*y, &v);
    significand_times_ten(&v, 0);
    bool lost = false;
    const int e = exponent_of(*y) - xfloat_normalize(&v, &lost);
    if ( lost || v.words[XW_ROUND] != 0 || e >= XFLOAT_BIAS )
      return;
    v.words[XW_EXPONENT] = uint16_t(e);
    xfloat_pack(v, y);
    --*decimal_exponent;
  }
}

// Finds t = 10^D (as rounded by the arithmetic) such that y / t lies near [1, 10).
xfloat_t decimal_scale(xfloat_t *y, int *decimal_exponent)
{
  xfloat_t t = xfloat_one;
  const int order = compare(*y, xfloat_one);
  if ( order > 0 )
  {
    strip_decimal_zeros(y, decimal_exponent);
    xfloat_t rest = *y;
    while ( compare(rest, powers_of_ten[TEN]) >= 0 )
    {
      for ( int k = 0; k < POWER_STEPS; ++k )
      {
        if ( compare(powers_of_ten[k], rest) <= 0 )
        {
          divide(rest, powers_of_ten[k], &rest);
          multiply(t, powers_of_ten[k], &t);
          *decimal_exponent += LARGEST_POWER >> k;
        }
      }
    }
  }
  else if ( order < 0 )
  {
    scale_up_exactly(y, decimal_exponent);
    // One pass suffices: it leaves the scaled copy in (0.1, 1], and a first digit of 0 is fixed by the caller.
    xfloat_t scaled = *y;
    for ( int k = 0; k < POWER_STEPS; ++k )
    {
      if ( compare(reciprocal_powers_of_ten[k], scaled) >= 0 )
      {
        multiply(scaled, powers_of_ten[k], &scaled);
        multiply(t, powers_of_ten[k], &t);
        *decimal_exponent -= LARGEST_POWER >> k;
      }
    }
    divide(xfloat_one, t, &t);
  }
  return t;
}

} // namespace

int text_to_float(const char **position, xfloat_t *out)
{
  *out = xfloat_zero;
  const char *p = *position;
  while ( is_blank(*p) )
    ++p;
  if ( *p == '\0' )
    return XFLOAT_NOT_NUMBER;

  literal_t literal;
  const int status = scan_literal(p, &literal);
  *position = literal.end;
  if ( status != XFLOAT_OK )
    return status;

  digit_accumulator_t &digits = literal.digits;
  if ( significand_is_zero(digits.value) )
  {
    out->words[7] = literal.negative ? XFLOAT_SIGN_BIT : 0;
    return XFLOAT_OK;
  }
  int64_t e = literal.exponent - digits.fraction_digits + digits.dropped_integer_digits;
  // Powers of ten that fit the integer are applied exactly.
  while ( e > 0 )
  {
    xfloat_work_t times_ten = digits.value;
    if ( !significand_times_ten(&times_ten, 0) || times_ten.words[XW_OVERFLOW] != 0 )
      break;
    digits.value = times_ten;
    --e;
  }
  xfloat_t value;
  if ( !xfloat_round(&digits.value, digits.lost, false, INTEGER_EXPONENT, SIGNIFICAND_BITS) )
    return XFLOAT_RANGE;
  xfloat_pack(digits.value, &value);
  if ( e != 0 && scale_by_power_of_ten(&value, e) != XFLOAT_OK )
    return XFLOAT_RANGE;
  if ( literal.negative )
    value.words[7] |= XFLOAT_SIGN_BIT;
  *out = value;
  return XFLOAT_OK;
}

char *float_to_text(char *buffer, size_t size, const xfloat_t &x, uint32_t format)
{
  if ( ptrdiff_t(size) < 0 )
    interr(1225);
  const ptrdiff_t room = ptrdiff_t(size);
  const char *sign = is_negative(x) ? "-" : "";
  const int exponent = exponent_of(x);
  if ( exponent == XFLOAT_MAX_EXPONENT )
  {
    const bool nan = (x.words[6] & 0x7FFF) != 0
                  || std::any_of(x.words, x.words + 6, [](uint16_t w) { return w != 0; });
    buf_printf(buffer, room, "%s", nan ? "NaN" : is_negative(x) ? "-Inf" : "+Inf");
    return buffer;
  }
  if ( exponent == 0 )
  {
    buf_printf(buffer, room, "%s0.0", sign);
    return buffer;
  }

  const int after_point = std::min<int>(int(format & 0xFF), MAX_DIGITS_AFTER_POINT);
  xfloat_t y = x;
  y.words[7] &= 0x7FFF;
  int decimal_exponent = 0;
  const xfloat_t t = decimal_scale(&y, &decimal_exponent);

  // Long division of y by t, exact at t's scale: both fit words 2..10 with room for the factor ten.
  xfloat_work_t divisor;
  xfloat_work_t rest;
  xfloat_unpack(t, &divisor);
  xfloat_unpack(y, &rest);
  xfloat_shift(&rest, exponent_of(y) - exponent_of(t));
  int first = significand_remainder(divisor, &rest);
  while ( first == 0 && !significand_is_zero(rest) )
  {
    significand_times_ten(&rest, 0);
    first = significand_remainder(divisor, &rest);
    --decimal_exponent;
  }
  if ( first == 10 )
  {
    first = 1;
    ++decimal_exponent;
  }

  // First digit, point, the digits asked for and one rounding digit.
  char digits[2 + MAX_DIGITS_AFTER_POINT + 2];
  int n = 0;
  digits[n++] = char('0' + first);
  digits[n++] = '.';
  for ( int i = 0; i <= after_point; ++i )
  {
    significand_times_ten(&rest, 0);
    digits[n++] = char('0' + significand_remainder(divisor, &rest));
  }

  const int rounding = digits[--n] - '0';
  const int before = digits[n - 1] == '.' ? digits[n - 2] - '0' : digits[n - 1] - '0';
  const bool tie_to_even = rounding == 5 && significand_is_zero(rest) && before % 2 == 0;
  if ( rounding > 4 && !tie_to_even )
  {
    for ( int i = n - 1; i >= 0; --i )
    {
      if ( digits[i] == '.' )
        continue;
      if ( digits[i] != '9' )
      {
        ++digits[i];
        break;
      }
      digits[i] = '0';
      if ( i == 0 )
      {
        digits[0] = '1';
        ++decimal_exponent;
      }
    }
  }
  while ( n > 3 && digits[n - 1] == '0' )
    --n;
  if ( n == 2 )
    digits[n++] = '0';
  digits[n] = '\0';

  if ( decimal_exponent != 0 )
    buf_printf(buffer, room, "%s%se%d", sign, digits, decimal_exponent);
  else
    buf_printf(buffer, room, "%s%s", sign, digits);
  return buffer;
}

} // namespace xfloat_reference
