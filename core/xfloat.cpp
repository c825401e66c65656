// Arithmetic of the 16-byte software float in 64-bit and 128-bit integers: the working form, rounding, the four
// operations, and the conversions to and from 64-bit integers and the processor's floating-point formats.
#include "core/xfloat.h"

#include "core/xfloat_work.h"

#include <bit>
#include <cstring>
#include <utility>

namespace {

using u128 = xfloat_u128;

constexpr int SIGNIFICAND_BITS = 112;
constexpr int MAX_FINITE_EXPONENT = XFLOAT_MAX_EXPONENT - 1;
// Beyond this exponent difference the smaller operand of an addition cannot move the rounded result.
constexpr int ADD_REACH = SIGNIFICAND_BITS + 1;
constexpr int DIVIDE_STEPS = SIGNIFICAND_BITS + 2;
// The significand's 144 bits: the overflow word above the 128-bit body.
constexpr int ALL_BITS = 144;
constexpr int BODY_BITS = 128;
constexpr u128 TOP_BIT = u128(1) << 127;

// For a non-zero v.
int leading_zeros(u128 v)
{
  const uint64_t high = uint64_t(v >> 64);
  return high != 0 ? std::countl_zero(high) : 64 + std::countl_zero(uint64_t(v));
}

bool is_zero(const xfloat_bits_t &s)
{
  return s.overflow == 0 && s.body == 0;
}

int compare_bits(const xfloat_bits_t &a, const xfloat_bits_t &b)
{
  if ( a.overflow != b.overflow )
    return a.overflow < b.overflow ? -1 : 1;
  if ( a.body != b.body )
    return a.body < b.body ? -1 : 1;
  return 0;
}

// b += a and b -= a over the 144 bits; answer the carry or the borrow out of them.
bool add_bits(const xfloat_bits_t &a, xfloat_bits_t *b)
{
  const u128 body = b->body + a.body;
  const unsigned top = unsigned(b->overflow) + a.overflow + (body < a.body ? 1 : 0);
  b->body = body;
  b->overflow = uint16_t(top);
  return top > 0xFFFF;
}

bool subtract_bits(const xfloat_bits_t &a, xfloat_bits_t *b)
{
  const unsigned borrow = b->body < a.body ? 1 : 0;
  const int top = int(b->overflow) - int(a.overflow) - int(borrow);
  b->body -= a.body;
  b->overflow = uint16_t(top);
  return top < 0;
}

// Shifts by n bits (0 <= n < 144); a right shift answers whether non-zero bits fell out at the bottom.
void shift_left(xfloat_bits_t *s, int n)
{
  if ( n == 0 )
    return;
  if ( n >= BODY_BITS )
  {
    s->overflow = uint16_t(s->body << (n - BODY_BITS));
    s->body = 0;
    return;
  }
  s->overflow = uint16_t((u128(s->overflow) << n) | (s->body >> (BODY_BITS - n)));
  s->body <<= n;
}

bool shift_right(xfloat_bits_t *s, int n)
{
  if ( n == 0 )
    return false;
  if ( n >= BODY_BITS )
  {
    const int m = n - BODY_BITS;
    const bool lost = s->body != 0 || (s->overflow & ((1u << m) - 1)) != 0;
    s->body = s->overflow >> m;
    s->overflow = 0;
    return lost;
  }
  const bool lost = (s->body << (BODY_BITS - n)) != 0;
  s->body = (s->body >> n) | (u128(s->overflow) << (BODY_BITS - n));
  s->overflow = uint16_t(n >= 16 ? 0 : s->overflow >> n);
  return lost;
}

// v * w as a 144-bit number, what lies beyond dropped.
xfloat_bits_t times_word(u128 v, uint16_t w)
{
  const u128 low = u128(uint64_t(v)) * w;
  const u128 high = u128(uint64_t(v >> 64)) * w + (low >> 64);
  return {uint16_t(high >> 64), (high << 64) | uint64_t(low)};
}

[[gnu::always_inline]] inline int normalize(xfloat_bits_t *s, bool *lost)
{
  if ( s->overflow != 0 )
  {
    const int n = std::bit_width(s->overflow);
    if ( shift_right(s, n) && lost != nullptr )
      *lost = true;
    return -n;
  }
  if ( s->body == 0 )
    return XFLOAT_ZERO_SHIFT;
  const int n = leading_zeros(s->body);
  s->body <<= n;
  return n;
}

// The 144-bit quotient of significand_divide: (r << 113) / d with 114 quotient bits, shifted up to the top of
// the body, and whether a remainder was left. The long division is done 64 bits at a time when the quotient of
// the shift-and-subtract steps is a true quotient (r < 2d, always so for normalised operands); the steps
// themselves run only for the malformed divisors that break that.
bool divide_bits(const xfloat_bits_t &d, xfloat_bits_t *r)
{
  constexpr int quotient_shift = BODY_BITS - DIVIDE_STEPS;   // the first quotient bit goes to the top of the body
  if ( r->overflow == 0 && d.overflow == 0 && d.body != 0 && ((d.body & TOP_BIT) != 0 || r->body < (d.body << 1)) )
  {
    u128 rest = r->body;
    u128 quotient = 0;
    if ( rest >= d.body )
    {
      rest -= d.body;
      quotient = u128(1) << (DIVIDE_STEPS - 1);
    }
    // rest < d: with both moved up to d's top bit, two 64-bit digits give rest * 2^128 / d, of which the
    // division wants rest * 2^113 / d.
    const int n = leading_zeros(d.body);
    const u128 divisor = d.body << n;
    rest <<= n;
    const uint64_t q1 = xfloat_divide_step(&rest, 0, divisor);
    const uint64_t q0 = xfloat_divide_step(&rest, 0, divisor);
    constexpr int extra = 2 * 64 - (DIVIDE_STEPS - 1);
    quotient |= ((u128(q1) << 64) | q0) >> extra;
    const bool remainder = rest != 0 || (q0 & ((uint64_t(1) << extra) - 1)) != 0;
    r->overflow = 0;
    r->body = quotient << quotient_shift;
    return remainder;
  }

  xfloat_bits_t rest = *r;
  u128 quotient = 0;
  for ( int step = 0; step < DIVIDE_STEPS; ++step )
  {
    quotient <<= 1;
    if ( compare_bits(rest, d) >= 0 )
    {
      subtract_bits(d, &rest);
      quotient |= 1;
    }
    shift_left(&rest, 1);
  }
  r->overflow = 0;
  r->body = quotient << quotient_shift;
  return !is_zero(rest);
}

} // namespace

//--------------------------------------------------------------------------------------------------------------
// Wide integers

int xfloat_shift_bits(xfloat_bits_t *s, int n)
{
  if ( n >= ALL_BITS )
  {
    *s = {};
    return 1;
  }
  if ( n >= 0 )
  {
    shift_left(s, n);
    return 1;
  }
  if ( n <= -ALL_BITS )
  {
    const bool lost = !is_zero(*s);
    *s = {};
    return lost ? 2 : 1;
  }
  return shift_right(s, -n) ? 2 : 1;
}

int xfloat_normalize_bits(xfloat_bits_t *s, bool *lost)
{
  return normalize(s, lost);
}

bool xfloat_times_ten_bits(xfloat_bits_t *r, unsigned digit)
{
  const u128 t0 = u128(uint64_t(r->body)) * 10 + (u128(digit) << XW_ROUND_BITS);
  const u128 t1 = u128(uint64_t(r->body >> 64)) * 10 + (t0 >> 64);
  const uint64_t t2 = uint64_t(r->overflow) * 10 + uint64_t(t1 >> 64);
  if ( t2 > 0xFFFF )
    return false;
  *r = {uint16_t(t2), (t1 << 64) | uint64_t(t0)};
  return true;
}

int xfloat_remainder_bits(const xfloat_bits_t &t, xfloat_bits_t *r)
{
  int digit = 0;
  for ( int bit = 3; bit >= 0; --bit )
  {
    xfloat_bits_t multiple = t;
    shift_left(&multiple, bit);
    if ( compare_bits(*r, multiple) >= 0 )
    {
      subtract_bits(multiple, r);
      digit += 1 << bit;
    }
  }
  return digit;
}


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

xfloat_bits_t xfloat_bits_of(const xfloat_work_t &v)
{
  xfloat_bits_t s = {v.words[XW_OVERFLOW], 0};
  for ( int i = XW_TOP; i <= XW_ROUND; ++i )
    s.body = (s.body << 16) | v.words[i];
  return s;
}

void xfloat_set_bits(xfloat_work_t *v, const xfloat_bits_t &bits)
{
  v->words[XW_OVERFLOW] = bits.overflow;
  for ( int i = XW_ROUND; i >= XW_TOP; --i )
    v->words[i] = uint16_t(bits.body >> (16 * (XW_ROUND - i)));
}

xfloat_split_t xfloat_split(const xfloat_t &x)
{
  uint64_t low;
  uint64_t high;
  std::memcpy(&low, &x.words[0], 8);
  std::memcpy(&high, &x.words[4], 8);
  xfloat_split_t v;
  v.negative = (high >> 63) != 0;
  v.exponent = int(high >> 48) & XFLOAT_MAX_EXPONENT;
  v.bits.overflow = 0;
  const u128 significand = (u128(high & 0xFFFFFFFFFFFFu) << 64) | low;
  v.bits.body = v.exponent == 0 ? 0 : significand << XW_ROUND_BITS;
  return v;
}

xfloat_t xfloat_join(bool negative, int exponent, const xfloat_bits_t &bits)
{
  const u128 significand = bits.body >> XW_ROUND_BITS;
  const uint64_t low = uint64_t(significand);
  const uint64_t high = uint64_t(significand >> 64) | (uint64_t(exponent & XFLOAT_MAX_EXPONENT) << 48)
                      | (negative ? uint64_t(1) << 63 : 0);
  xfloat_t x;
  std::memcpy(&x.words[0], &low, 8);
  std::memcpy(&x.words[4], &high, 8);
  return x;
}

void xfloat_shift_left_1(xfloat_work_t *v)
{
  xfloat_bits_t s = xfloat_bits_of(*v);
  shift_left(&s, 1);
  xfloat_set_bits(v, s);
}

void xfloat_shift_left_8(xfloat_work_t *v)
{
  xfloat_bits_t s = xfloat_bits_of(*v);
  shift_left(&s, 8);
  xfloat_set_bits(v, s);
}

bool xfloat_shift_right_1(xfloat_work_t *v)
{
  xfloat_bits_t s = xfloat_bits_of(*v);
  const bool lost = shift_right(&s, 1);
  xfloat_set_bits(v, s);
  return lost;
}

bool xfloat_shift_right_8(xfloat_work_t *v)
{
  xfloat_bits_t s = xfloat_bits_of(*v);
  const bool lost = shift_right(&s, 8);
  xfloat_set_bits(v, s);
  return lost;
}

int xfloat_shift(xfloat_work_t *v, int n)
{
  xfloat_bits_t s = xfloat_bits_of(*v);
  const int status = xfloat_shift_bits(&s, n);
  xfloat_set_bits(v, s);
  return status;
}

int xfloat_normalize(xfloat_work_t *v, bool *lost)
{
  xfloat_bits_t s = xfloat_bits_of(*v);
  const int shift = xfloat_normalize_bits(&s, lost);
  xfloat_set_bits(v, s);
  return shift;
}

bool significand_add(const xfloat_work_t &a, xfloat_work_t *b)
{
  xfloat_bits_t s = xfloat_bits_of(*b);
  const bool carry = add_bits(xfloat_bits_of(a), &s);
  xfloat_set_bits(b, s);
  return carry;
}

bool significand_subtract(const xfloat_work_t &a, xfloat_work_t *b)
{
  xfloat_bits_t s = xfloat_bits_of(*b);
  const bool borrow = subtract_bits(xfloat_bits_of(a), &s);
  xfloat_set_bits(b, s);
  return borrow;
}

int significand_compare(const xfloat_work_t &a, const xfloat_work_t &b)
{
  return compare_bits(xfloat_bits_of(a), xfloat_bits_of(b));
}

bool significand_is_zero(const xfloat_work_t &v)
{
  return is_zero(xfloat_bits_of(v));
}

bool significand_multiply(const xfloat_work_t &a, xfloat_work_t *b)
{
  // Bits 128..271 of the 288-bit product: the high half of the bodies' product, plus each body times the other's
  // overflow word, plus the overflow words' product above them; what lies beyond 144 bits is dropped.
  const xfloat_bits_t x = xfloat_bits_of(a);
  const xfloat_bits_t y = xfloat_bits_of(*b);
  u128 high;
  u128 low;
  xfloat_multiply_128(x.body, y.body, &high, &low);
  xfloat_bits_t result = {uint16_t(x.overflow * y.overflow), high};
  add_bits(times_word(x.body, y.overflow), &result);
  add_bits(times_word(y.body, x.overflow), &result);
  xfloat_set_bits(b, result);
  return low != 0;
}

bool significand_divide(const xfloat_work_t &a, xfloat_work_t *b)
{
  xfloat_bits_t s = xfloat_bits_of(*b);
  const bool remainder = divide_bits(xfloat_bits_of(a), &s);
  xfloat_set_bits(b, s);
  return remainder;
}

int significand_remainder(const xfloat_work_t &t, xfloat_work_t *r)
{
  xfloat_bits_t rest = xfloat_bits_of(*r);
  const int digit = xfloat_remainder_bits(xfloat_bits_of(t), &rest);
  xfloat_set_bits(r, rest);
  return digit;
}

bool significand_times_ten(xfloat_work_t *r, unsigned digit)
{
  xfloat_bits_t s = xfloat_bits_of(*r);
  if ( !xfloat_times_ten_bits(&s, digit) )
    return false;
  xfloat_set_bits(r, s);
  return true;
}

//--------------------------------------------------------------------------------------------------------------
// Rounding

namespace {

// The rounding itself, made once for each precision so that the positions below are constants.
template <int precision>
[[gnu::always_inline]] inline bool round_at(xfloat_bits_t *s, bool lost, bool subtract, int *exponent)
{
  // A right shift out of the overflow word can drop a bit of the rounding word: it counts as lost, or a value
  // just above a tie would be taken for the tie itself.
  const int shift = normalize(s, &lost);
  if ( shift == XFLOAT_ZERO_SHIFT )
  {
    *exponent = 0;
    return true;
  }
  int e = *exponent - shift;
  // Below exponent 0 the significand would be shifted right and could no longer round up into the range.
  if ( e >= XFLOAT_MAX_EXPONENT || e < 0 )
  {
    *s = {};
    *exponent = 0;
    return false;
  }
  // The narrow formats round a value just below their normal range where its denormal would end, so that one
  // that rounds up to the smallest normal still converts.
  const bool denormal_step = precision < 64 && e == 0;
  if ( denormal_step && shift_right(s, 1) )
    lost = true;

  // unit: the weight of the last kept bit; the part below it is read down to the bottom of its word, and
  // anything lower only breaks ties.
  constexpr int unit_bit = precision == 24 ? 104 : precision == 53 ? 75 : precision == 64 ? 64 : XW_ROUND_BITS;
  constexpr int part_bottom = precision == 24 ? 96 : precision == 53 ? 64 : precision == 64 ? 48 : 0;
  const u128 below_unit = (u128(1) << unit_bit) - 1;
  const u128 part = (s->body & below_unit) >> part_bottom;
  const u128 half = u128(1) << (unit_bit - part_bottom - 1);
  const bool sticky = (s->body & ((u128(1) << part_bottom) - 1)) != 0;
  const bool last_kept_odd = ((s->body >> unit_bit) & 1) != 0;
  s->body &= ~below_unit;

  bool up = false;
  if ( part > half || (part == half && sticky) )
    up = true;
  else if ( part == half )
    up = lost ? !subtract : last_kept_odd;
  if ( up )
    add_bits({0, u128(1) << unit_bit}, s);

  if ( denormal_step )
    shift_left(s, 1);
  if ( s->overflow != 0 )
  {
    shift_right(s, 1);
    ++e;
  }
  s->body &= ~((u128(1) << XW_ROUND_BITS) - 1);
  if ( e < 1 || e > MAX_FINITE_EXPONENT )
  {
    *s = {};
    *exponent = 0;
    return false;
  }
  *exponent = e;
  return true;
}

} // namespace

bool xfloat_round_bits(xfloat_bits_t *s, bool lost, bool subtract, int *exponent, int precision)
{
  switch ( precision )
  {
    case 24: return round_at<24>(s, lost, subtract, exponent);
    case 53: return round_at<53>(s, lost, subtract, exponent);
    case 64: return round_at<64>(s, lost, subtract, exponent);
    default: return round_at<SIGNIFICAND_BITS>(s, lost, subtract, exponent);
  }
}

bool xfloat_round(xfloat_work_t *v, bool lost, bool subtract, int e, int precision)
{
  xfloat_bits_t s = xfloat_bits_of(*v);
  const bool ok = xfloat_round_bits(&s, lost, subtract, &e, precision);
  xfloat_set_bits(v, s);
  v->words[XW_EXPONENT] = uint16_t(e);
  return ok;
}

//--------------------------------------------------------------------------------------------------------------
// Arithmetic

namespace {

// The end of every operation: the exact result rounded to 112 bits at exponent e and joined into out;
// XFLOAT_RANGE, with +0 in out, when it lies outside the format.
int round_result(bool negative, xfloat_bits_t bits, bool lost, bool subtract, int e, xfloat_t *out)
{
  if ( !round_at<SIGNIFICAND_BITS>(&bits, lost, subtract, &e) )
  {
    *out = xfloat_zero;
    return XFLOAT_RANGE;
  }
  *out = xfloat_join(negative, e, bits);
  return XFLOAT_OK;
}

} // namespace

int xfloat_add(const xfloat_t &a, const xfloat_t &b, xfloat_t *out, bool subtract)
{
  xfloat_split_t x = xfloat_split(a);
  xfloat_split_t y = xfloat_split(b);
  if ( subtract )
    y.negative = !y.negative;

  xfloat_split_t *big = &x;
  xfloat_split_t *small = &y;
  bool lost = false;
  if ( x.exponent != y.exponent )
  {
    if ( y.exponent > x.exponent )
      std::swap(big, small);
    const int difference = big->exponent - small->exponent;
    if ( difference > ADD_REACH )
    {
      *out = xfloat_join(big->negative, big->exponent, big->bits);
      return XFLOAT_OK;
    }
    lost = shift_right(&small->bits, difference);
  }
  else
  {
    if ( x.bits.body == y.bits.body )
    {
      if ( x.negative != y.negative || x.exponent == 0 )
      {
        *out = xfloat_zero;
        return XFLOAT_OK;
      }
      if ( x.exponent >= MAX_FINITE_EXPONENT )
      {
        *out = xfloat_zero;
        return XFLOAT_RANGE;
      }
      *out = xfloat_join(x.negative, x.exponent + 1, x.bits);
      return XFLOAT_OK;
    }
    if ( x.bits.body < y.bits.body )
      std::swap(big, small);
  }

  const bool subtraction = big->negative != small->negative;
  if ( subtraction )
    subtract_bits(small->bits, &big->bits);
  else
    add_bits(small->bits, &big->bits);
  return round_result(big->negative, big->bits, lost, subtraction, big->exponent, out);
}

int xfloat_multiply(const xfloat_t &a, const xfloat_t &b, xfloat_t *out)
{
  const xfloat_split_t x = xfloat_split(a);
  const xfloat_split_t y = xfloat_split(b);
  if ( x.exponent == 0 || y.exponent == 0 )
  {
    *out = xfloat_zero;
    return XFLOAT_OK;
  }
  // Both significands sit above 16 clear bits: the product's high half is the 144-bit result, and its low half
  // what is lost.
  u128 high;
  u128 low;
  xfloat_multiply_128(x.bits.body, y.bits.body, &high, &low);
  return round_result(x.negative != y.negative, {0, high}, low != 0, false,
                             x.exponent + y.exponent - (XFLOAT_BIAS - 1), out);
}

int xfloat_divide(const xfloat_t &dividend, const xfloat_t &divisor, xfloat_t *out)
{
  xfloat_split_t x = xfloat_split(dividend);
  const xfloat_split_t y = xfloat_split(divisor);
  *out = xfloat_zero;
  if ( y.exponent == 0 )
    return XFLOAT_DIV_BY_ZERO;
  if ( x.exponent == 0 )
    return XFLOAT_OK;
  const bool lost = divide_bits(y.bits, &x.bits);
  return round_result(x.negative != y.negative, x.bits, lost, false, x.exponent - y.exponent + XFLOAT_BIAS,
                             out);
}

int xfloat_compare(const xfloat_t &a, const xfloat_t &b)
{
  const xfloat_split_t x = xfloat_split(a);
  const xfloat_split_t y = xfloat_split(b);
  if ( x.negative != y.negative )
    return x.negative ? -1 : 1;
  // The exponent above the significand orders both at once.
  const u128 kx = (u128(x.exponent) << 112) | (x.bits.body >> XW_ROUND_BITS);
  const u128 ky = (u128(y.exponent) << 112) | (y.bits.body >> XW_ROUND_BITS);
  if ( kx == ky )
    return 0;
  const int order = kx < ky ? -1 : 1;
  return x.negative ? -order : order;
}

//--------------------------------------------------------------------------------------------------------------
// Integers

int xfloat_to_int64(int64_t *out, const xfloat_t &x, bool round)
{
  const xfloat_split_t v = xfloat_split(x);
  // Number of bits before the binary point; 0 for 0.5 <= |x| < 1.
  const int integer_bits = v.exponent - (XFLOAT_BIAS - 1);
  if ( integer_bits < 0 )
  {
    *out = 0;
    return XFLOAT_OK;
  }
  if ( integer_bits > 63 )
    return XFLOAT_INT_RANGE;
  const uint64_t top = uint64_t(v.bits.body >> 64);
  uint64_t magnitude = integer_bits == 0 ? 0 : top >> (64 - integer_bits);
  // Half away from zero from the first bit below the point itself: adding 0.5 to the value first would round
  // the sum and lift the largest value below 0.5 to 1.
  if ( round && ((top >> (63 - integer_bits)) & 1) != 0 )
    ++magnitude;
  if ( magnitude > uint64_t(INT64_MAX) )
    return XFLOAT_INT_RANGE;
  *out = v.negative ? -int64_t(magnitude) : int64_t(magnitude);
  return XFLOAT_OK;
}

void int64_to_xfloat(int64_t value, xfloat_t *out)
{
  if ( value == 0 )
  {
    *out = xfloat_zero;
    return;
  }
  const uint64_t magnitude = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
  const int shift = std::countl_zero(magnitude);
  *out = xfloat_join(value < 0, XFLOAT_BIAS + 63 - shift, {0, u128(magnitude << shift) << 64});
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
  xfloat_split_t v = xfloat_split(x);
  processor_fields_t fields = {v.negative, 0, 0};
  if ( v.exponent == XFLOAT_MAX_EXPONENT )
  {
    // Cut without rounding, so that an infinity stays an infinity; a NaN whose payload lies entirely below
    // the cut keeps a payload bit (the top fraction bit), or it would come out as an infinity.
    fields.exponent = format.all_ones;
    const uint64_t kept_mask = ~uint64_t(0) << (64 - format.precision);
    fields.significand = uint64_t(v.bits.body >> 64) & kept_mask;
    const bool is_nan = (v.bits.body & ~TOP_BIT) != 0;
    const uint64_t fraction_mask = kept_mask & ~(uint64_t(1) << 63);
    if ( is_nan && (fields.significand & fraction_mask) == 0 )
      fields.significand |= uint64_t(1) << 62;
  }
  else if ( v.exponent != 0 )
  {
    int e = v.exponent - XFLOAT_BIAS + format.bias;
    if ( !xfloat_round_bits(&v.bits, false, false, &e, format.precision) || e >= format.all_ones )
      return XFLOAT_PROC_RANGE;
    fields.exponent = e;
    fields.significand = uint64_t(v.bits.body >> 64);
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
  int exponent = 0;
  if ( fields.exponent == format.all_ones )
    exponent = XFLOAT_MAX_EXPONENT;
  else if ( fields.exponent != 0 )
    exponent = fields.exponent - format.bias + XFLOAT_BIAS;
  *x = xfloat_join(fields.negative, exponent, {0, u128(fields.exponent == 0 ? 0 : fields.significand) << 64});
  return 1;
}

} // namespace

int xfloat_convert_processor(void *bytes, xfloat_t *x, int code)
{
  const processor_format_t *format = format_of(code);
  if ( format == nullptr )
    return XFLOAT_PROC_BAD_FORMAT;
  if ( code > 7 )
    return to_processor(*format, *x, bytes);
  return from_processor(*format, bytes, x);
}
