// Decimal text conversions of the 16-byte software float: literal reading and digit generation.
#include "core/xfloat_text.h"

#include "core/internal_error.h"
#include "core/printf_format.h"
#include "core/xfloat_work.h"

#include <algorithm>
#include <bit>
#include <cstddef>

namespace {

using u128 = xfloat_u128;

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
constexpr int SIGNIFICAND_BITS = 112;
// The exponent at which a 112-bit significand reads as an integer (units at the lowest bit of word 9).
constexpr int INTEGER_EXPONENT = XFLOAT_BIAS + SIGNIFICAND_BITS - 1;
constexpr int EXPONENT_LIMIT = 32768;
constexpr int MAX_DIGITS_AFTER_POINT = 33;
// The significant digits read are kept while below this; the 144-bit working form would hold a few more.
constexpr u128 FULL_INTEGER = u128(1) << SIGNIFICAND_BITS;
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

// The significant digits of a literal as an integer; once it reaches 2^112 further digits only mark lost
// precision and, before the point, scale the value.
struct digit_accumulator_t
{
  u128 value = 0;
  int64_t fraction_digits = 0;           // kept digits after the point
  int64_t dropped_integer_digits = 0;    // digits before the point that did not fit
  bool lost = false;                     // a dropped digit was not 0

  void add(char c, bool after_point)
  {
    const unsigned digit = unsigned(c - '0');
    if ( value < FULL_INTEGER )
    {
      value = value * 10 + digit;
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
    if ( xfloat_divide(*value, powers_of_ten[0], value) != XFLOAT_OK )
      return XFLOAT_RANGE;
    e += LARGEST_POWER;
  }
  const int64_t magnitude = e < 0 ? -e : e;
  if ( magnitude >= UNREACHABLE_POWER )
    return XFLOAT_RANGE;
  // The product of the powers for the set bits, low bits first; 1.0 times the first is the first itself.
  xfloat_t power = xfloat_one;
  bool first = true;
  for ( int bit = 0; bit < POWER_STEPS; ++bit )
  {
    if ( (magnitude & (int64_t(1) << bit)) == 0 )
      continue;
    if ( first )
      power = powers_of_ten[TEN - bit];
    else if ( xfloat_multiply(power, powers_of_ten[TEN - bit], &power) != XFLOAT_OK )
      return XFLOAT_RANGE;
    first = false;
  }
  const int status = e < 0 ? xfloat_divide(*value, power, value) : xfloat_multiply(*value, power, value);
  return status == XFLOAT_OK ? XFLOAT_OK : XFLOAT_RANGE;
}

//--------------------------------------------------------------------------------------------------------------
// Writing

int bit_length(u128 v)
{
  const uint64_t high = uint64_t(v >> 64);
  return high != 0 ? 64 + std::bit_width(high) : std::bit_width(uint64_t(v));
}

// The inverse of an odd number modulo 2^128, by Newton's iteration (each step doubles the correct low bits).
constexpr u128 inverse_modulo_2_128(u128 odd)
{
  u128 x = odd;   // right in the low 3 bits
  for ( int i = 0; i < 6; ++i )
    x *= 2 - odd * x;
  return x;
}

// Dividing out 10^k: 5^k, its inverse, and the largest multiple's quotient, for k = 16, 8, 4, 2, 1.
struct decimal_divisor_t
{
  int k;
  u128 inverse;    // of 5^k modulo 2^128
  u128 limit;      // (2^128 - 1) / 5^k: n * inverse is at most this exactly when 5^k divides n
};

constexpr decimal_divisor_t make_decimal_divisor(int k)
{
  u128 five_k = 1;
  for ( int i = 0; i < k; ++i )
    five_k *= 5;
  return {k, inverse_modulo_2_128(five_k), ~u128(0) / five_k};
}

constexpr decimal_divisor_t decimal_divisors[] = {make_decimal_divisor(16), make_decimal_divisor(8),
                                                  make_decimal_divisor(4), make_decimal_divisor(2),
                                                  make_decimal_divisor(1)};

// y > 1: divides out the powers of ten 10^16, 10^8, 10^4, 10^2 and 10^1 that leave the significand, read as an
// integer, an integer, and puts the value's binary scale back. Dividing the rounded way gives an integer exactly
// when the power divides the integer, the quotient then being exact, so the test is made on the integer itself.
void strip_decimal_zeros(xfloat_t *y, int *decimal_exponent)
{
  const xfloat_split_t v = xfloat_split(*y);
  u128 integer = v.bits.body >> XW_ROUND_BITS;
  bool divided = false;
  for ( const decimal_divisor_t &divisor : decimal_divisors )
  {
    const u128 twos = (u128(1) << divisor.k) - 1;
    if ( integer == 0 || (integer & twos) != 0 )
      continue;
    const u128 quotient = (integer >> divisor.k) * divisor.inverse;
    if ( quotient > divisor.limit )
      continue;
    integer = quotient;
    *decimal_exponent += divisor.k;
    divided = true;
  }
  if ( !divided )
    return;
  const int bits = bit_length(integer);
  const int integer_exponent = XFLOAT_BIAS + bits - 1;
  *y = xfloat_join(v.negative, integer_exponent + v.exponent - INTEGER_EXPONENT,
                   {0, integer << (SIGNIFICAND_BITS - bits + XW_ROUND_BITS)});
}

// y < 1: multiplies by ten while that stays exact and below 1.
void scale_up_exactly(xfloat_t *y, int *decimal_exponent)
{
  for ( int i = 0; i <= MAX_DIGITS_AFTER_POINT; ++i )
  {
    xfloat_split_t v = xfloat_split(*y);
    xfloat_times_ten_bits(&v.bits, 0);
    bool lost = false;
    const int e = v.exponent - xfloat_normalize_bits(&v.bits, &lost);
    if ( lost || (v.bits.body & ((u128(1) << XW_ROUND_BITS) - 1)) != 0 || e >= XFLOAT_BIAS )
      return;
    *y = xfloat_join(v.negative, e, v.bits);
    --*decimal_exponent;
  }
}

// Finds t = 10^D (as rounded by the arithmetic) such that y / t lies near [1, 10).
xfloat_t decimal_scale(xfloat_t *y, int *decimal_exponent)
{
  xfloat_t t = xfloat_one;
  const int order = xfloat_compare(*y, xfloat_one);
  if ( order > 0 )
  {
    strip_decimal_zeros(y, decimal_exponent);
    xfloat_t rest = *y;
    while ( xfloat_compare(rest, powers_of_ten[TEN]) >= 0 )
    {
      for ( int k = 0; k < POWER_STEPS; ++k )
      {
        if ( xfloat_compare(powers_of_ten[k], rest) <= 0 )
        {
          xfloat_divide(rest, powers_of_ten[k], &rest);
          xfloat_multiply(t, powers_of_ten[k], &t);
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
      if ( xfloat_compare(reciprocal_powers_of_ten[k], scaled) >= 0 )
      {
        xfloat_multiply(scaled, powers_of_ten[k], &scaled);
        xfloat_multiply(t, powers_of_ten[k], &t);
        *decimal_exponent -= LARGEST_POWER >> k;
      }
    }
    xfloat_divide(xfloat_one, t, &t);
  }
  return t;
}

bool is_zero(const xfloat_bits_t &bits)
{
  return bits.overflow == 0 && bits.body == 0;
}

constexpr uint64_t powers_of_ten_64[] = {1,
                                         10,
                                         100,
                                         1000,
                                         10000,
                                         100000,
                                         1000000,
                                         10000000,
                                         100000000,
                                         1000000000,
                                         10000000000,
                                         100000000000,
                                         1000000000000,
                                         10000000000000,
                                         100000000000000,
                                         1000000000000000,
                                         10000000000000000,
                                         100000000000000000,
                                         1000000000000000000,
                                         10000000000000000000u};
constexpr int DIGITS_PER_STEP = 19;   // 10^19 is the largest power of ten below 2^64

// The next count digits of the long division rest / t, each the quotient of ten times what is left, and what is
// left after them. While rest < t (every value the writer scales) up to 19 digits at a time are the quotient of
// rest * 10^k, as one 64-bit digit of a division by t.
void write_digits(const xfloat_bits_t &t, xfloat_bits_t *rest, int count, char *out)
{
  constexpr u128 top_bit = u128(1) << 127;
  if ( t.overflow != 0 || (t.body & top_bit) == 0 || rest->overflow != 0 || rest->body >= t.body )
  {
    for ( int i = 0; i < count; ++i )
    {
      xfloat_times_ten_bits(rest, 0);
      out[i] = char('0' + xfloat_remainder_bits(t, rest));
    }
    return;
  }
  u128 left = rest->body;
  for ( int done = 0; done < count; )
  {
    const int k = std::min(DIGITS_PER_STEP, count - done);
    const u128 low = u128(uint64_t(left)) * powers_of_ten_64[k];
    u128 high = u128(uint64_t(left >> 64)) * powers_of_ten_64[k] + (low >> 64);
    uint64_t q = xfloat_divide_step(&high, uint64_t(low), t.body);
    left = high;
    for ( int j = k - 1; j >= 0; --j )
    {
      out[done + j] = char('0' + q % 10);
      q /= 10;
    }
    done += k;
  }
  rest->body = left;
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
  if ( digits.value == 0 )
  {
    out->words[7] = literal.negative ? XFLOAT_SIGN_BIT : 0;
    return XFLOAT_OK;
  }
  int64_t e = literal.exponent - digits.fraction_digits + digits.dropped_integer_digits;
  // Powers of ten that fit the integer are applied exactly.
  while ( e > 0 && digits.value * 10 < FULL_INTEGER )
  {
    digits.value *= 10;
    --e;
  }
  // The integer's units sit at the bottom of the significand, above the rounding word.
  xfloat_bits_t bits = {uint16_t(digits.value >> SIGNIFICAND_BITS), digits.value << XW_ROUND_BITS};
  int exponent = INTEGER_EXPONENT;
  if ( !xfloat_round_bits(&bits, digits.lost, false, &exponent, SIGNIFICAND_BITS) )
    return XFLOAT_RANGE;
  xfloat_t value = xfloat_join(false, exponent, bits);
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

  // Long division of y by t, exact at t's scale: both fit the 144 bits with room for the factor ten.
  const xfloat_split_t divisor = xfloat_split(t);
  const xfloat_split_t dividend = xfloat_split(y);
  xfloat_bits_t rest = dividend.bits;
  xfloat_shift_bits(&rest, dividend.exponent - divisor.exponent);
  int first = xfloat_remainder_bits(divisor.bits, &rest);
  while ( first == 0 && !is_zero(rest) )
  {
    xfloat_times_ten_bits(&rest, 0);
    first = xfloat_remainder_bits(divisor.bits, &rest);
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
  write_digits(divisor.bits, &rest, after_point + 1, digits + n);
  n += after_point + 1;

  const int rounding = digits[--n] - '0';
  const int before = digits[n - 1] == '.' ? digits[n - 2] - '0' : digits[n - 1] - '0';
  const bool tie_to_even = rounding == 5 && is_zero(rest) && before % 2 == 0;
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
