// Tests of the 16-byte software float: working form, rounding, arithmetic, integer and processor conversions.
#include "core/xfloat.h"

#include "core/xfloat_work.h"

#include "xfloat_values.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <span>
#include <string>

namespace {

int bit_length(u128 v)
{
  const uint64_t high = uint64_t(v >> 64);
  return high != 0 ? 64 + std::bit_width(high) : std::bit_width(uint64_t(v));
}

// An integer of at most 112 bits, exactly.
xfloat_t from_u128(u128 v)
{
  if ( v == 0 )
    return xfloat_zero;
  const int n = bit_length(v);
  v <<= 112 - n;
  xfloat_t x;
  for ( int i = 0; i < 7; ++i )
    x.words[i] = uint16_t(v >> (16 * i));
  x.words[7] = uint16_t(XFLOAT_BIAS + n - 1);
  return x;
}

// A non-negative integer value below 2^128 back as an integer.
u128 to_u128(const xfloat_t &x)
{
  if ( exponent_of(x) == 0 )
    return 0;
  const int integer_bits = exponent_of(x) - XFLOAT_BIAS + 1;
  const u128 s = significand_of(x);
  return integer_bits >= 112 ? s << (integer_bits - 112) : s >> (112 - integer_bits);
}

// Reference: v rounded to 112 significant bits, ties to even.
u128 round_to_112(u128 v)
{
  const int n = bit_length(v);
  if ( n <= 112 )
    return v;
  const int drop = n - 112;
  const u128 rest = v & ((u128(1) << drop) - 1);
  const u128 half = u128(1) << (drop - 1);
  u128 kept = v >> drop;
  if ( rest > half || (rest == half && (kept & 1) != 0) )
    ++kept;
  return kept << drop;
}

u128 random_bits(std::mt19937_64 &rng, int bits)
{
  u128 v = (u128(rng()) << 64) | rng();
  v >>= 128 - bits;
  return v | (u128(1) << (bits - 1));
}

xfloat_work_t work_of(const xfloat_t &x)
{
  xfloat_work_t v;
  xfloat_unpack(x, &v);
  return v;
}

xfloat_work_t work_words(std::array<uint16_t, 9> significand)
{
  xfloat_work_t v = {};
  for ( int i = 0; i < 9; ++i )
    v.words[XW_OVERFLOW + i] = significand[i];
  return v;
}

std::array<uint16_t, 9> significand_words(const xfloat_work_t &v)
{
  std::array<uint16_t, 9> s;
  for ( int i = 0; i < 9; ++i )
    s[i] = v.words[XW_OVERFLOW + i];
  return s;
}

// A row of a table of operations on two values: the status and the result expected.
struct operation_case_t
{
  const char *name;
  xfloat_t a;
  xfloat_t b;
  int status;
  xfloat_t expected;
};

// Runs every row through operation. The output starts as 99, so that every row is seen to write it (a
// failure writes zero).
void check_operation(int (*operation)(const xfloat_t &, const xfloat_t &, xfloat_t *),
                     std::span<const operation_case_t> cases)
{
  for ( const operation_case_t &c : cases )
  {
    xfloat_t out = from_double(99);
    EXPECT_EQ(operation(c.a, c.b, &out), c.status) << c.name;
    EXPECT_EQ(out, c.expected) << c.name << ": " << describe(out);
  }
}

//--------------------------------------------------------------------------------------------------------------
// Format and working form

TEST(XfloatFormat, ConstantsAndLayout)
{
  EXPECT_EQ(xfloat_one, make_x(false, 16383, LEAD));
  EXPECT_EQ(xfloat_half, make_x(false, 16382, LEAD));
  EXPECT_EQ(xfloat_zero, make_x(false, 0, {}));
  EXPECT_EQ(from_double(1.0), xfloat_one);
  EXPECT_EQ(from_double(0.5), xfloat_half);
  EXPECT_EQ(from_double(-1.5), make_x(true, 16383, {0xC000, 0, 0, 0, 0, 0, 0}));

  // Little-endian bytes: the sign and the exponent sit in the last two bytes.
  unsigned char bytes[16];
  std::memcpy(bytes, &xfloat_one, 16);
  EXPECT_EQ(bytes[15], 0x3F);
  EXPECT_EQ(bytes[14], 0xFF);
  EXPECT_EQ(bytes[13], 0x80);
  for ( int i = 0; i < 13; ++i )
    EXPECT_EQ(bytes[i], 0) << i;
}

TEST(XfloatFormat, UnpackAndPack)
{
  const xfloat_t x = make_x(true, 0x4001, {0x9234, 1, 2, 3, 4, 5, 6});
  const xfloat_work_t v = work_of(x);
  EXPECT_EQ(v.words[XW_SIGN], 0xFFFF);
  EXPECT_EQ(v.words[XW_EXPONENT], 0x4001);
  EXPECT_EQ(significand_words(v), (std::array<uint16_t, 9>{0, 0x9234, 1, 2, 3, 4, 5, 6, 0}));
  xfloat_t back;
  xfloat_pack(v, &back);
  EXPECT_EQ(back, x);

  // Exponent 0 is zero whatever the significand holds.
  const xfloat_work_t z = work_of(make_x(false, 0, {0x8000, 0, 0, 0, 0, 0, 7}));
  EXPECT_TRUE(significand_is_zero(z));
  EXPECT_EQ(z.words[XW_EXPONENT], 0);

  // Packing drops the overflow and rounding words.
  xfloat_work_t extra = v;
  extra.words[XW_OVERFLOW] = 0x1234;
  extra.words[XW_ROUND] = 0x5678;
  xfloat_pack(extra, &back);
  EXPECT_EQ(back, x);
}

TEST(XfloatWork, Shift)
{
  struct case_t
  {
    const char *name;
    std::array<uint16_t, 9> in;
    int n;
    std::array<uint16_t, 9> out;
    int status;
  };
  const case_t cases[] = {
    {"left by a bit", {0, 0x8001, 0, 0, 0, 0, 0, 0, 0x8000}, 1, {1, 0x0002, 0, 0, 0, 0, 0, 1, 0}, 1},
    {"left by words, bytes and bits", {0, 0, 0, 0, 0, 0, 0, 0x0001, 0x2300}, 16 * 6 + 8 + 3,
     {0, 0x0918, 0, 0, 0, 0, 0, 0, 0}, 1},
    {"left beyond the words", {1, 2, 3, 4, 5, 6, 7, 8, 9}, 144, {}, 1},
    {"right keeping bits", {0, 0x8000, 0, 0, 0, 0, 0, 0, 0x0002}, -1, {0, 0x4000, 0, 0, 0, 0, 0, 0, 0x0001}, 1},
    {"right dropping a bit", {0, 0x8000, 0, 0, 0, 0, 0, 0, 0x0001}, -1, {0, 0x4000, 0, 0, 0, 0, 0, 0, 0}, 2},
    {"right by a word dropping the rounding word", {0, 0x8000, 0, 0, 0, 0, 0, 0, 0x0100}, -16,
     {0, 0, 0x8000, 0, 0, 0, 0, 0, 0}, 2},
    {"right by words, bytes and bits", {0x0123, 0x4567, 0, 0, 0, 0, 0, 0, 0}, -(16 * 2 + 12),
     {0, 0, 0, 0x1234, 0x5670, 0, 0, 0, 0}, 1},
    {"right dropping a byte", {0, 0, 0, 0, 0, 0, 0, 0x0001, 0x0080}, -8, {0, 0, 0, 0, 0, 0, 0, 0, 0x0100}, 2},
    {"right beyond the words", {0, 0x8000, 0, 0, 0, 0, 0, 0, 0}, -200, {}, 2},
    {"right beyond the words of zero", {}, -200, {}, 1},
  };
  for ( const case_t &c : cases )
  {
    xfloat_work_t v = work_words(c.in);
    EXPECT_EQ(xfloat_shift(&v, c.n), c.status) << c.name;
    EXPECT_EQ(significand_words(v), c.out) << c.name;
  }
}

TEST(XfloatWork, Normalize)
{
  struct case_t
  {
    const char *name;
    std::array<uint16_t, 9> in;
    int shift;
    bool lost;
  };
  const case_t cases[] = {
    {"already normal", {0, 0x8000, 0, 0, 0, 0, 0, 0, 0}, 0, false},
    {"left across words", {0, 0, 0, 0, 0x0010, 0, 0, 0, 0}, 3 * 16 + 11, false},
    {"from the rounding word", {0, 0, 0, 0, 0, 0, 0, 0, 0x0001}, 7 * 16 + 15, false},
    {"right from the overflow word", {0x0003, 0, 0, 0, 0, 0, 0, 0, 0x0004}, -2, false},
    {"right dropping a bit", {0x0001, 0, 0, 0, 0, 0, 0, 0, 0x0001}, -1, true},
    {"zero", {}, XFLOAT_ZERO_SHIFT, false},
  };
  for ( const case_t &c : cases )
  {
    xfloat_work_t v = work_words(c.in);
    bool lost = false;
    EXPECT_EQ(xfloat_normalize(&v, &lost), c.shift) << c.name;
    EXPECT_EQ(lost, c.lost) << c.name;
    if ( c.shift != XFLOAT_ZERO_SHIFT )
    {
      EXPECT_EQ(v.words[XW_OVERFLOW], 0) << c.name;
      EXPECT_EQ(v.words[XW_TOP] & 0x8000, 0x8000) << c.name;
    }
  }
}

TEST(XfloatWork, SignificandArithmetic)
{
  // Add and subtract carry and borrow from the rounding word up.
  xfloat_work_t a = work_words({0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF});
  const xfloat_work_t one = work_words({0, 0, 0, 0, 0, 0, 0, 0, 1});
  EXPECT_FALSE(significand_add(one, &a));
  EXPECT_EQ(significand_words(a), (std::array<uint16_t, 9>{1, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(significand_subtract(one, &a));
  EXPECT_EQ(significand_words(a)[8], 0xFFFF);
  EXPECT_EQ(significand_words(a)[0], 0);
  xfloat_work_t zero = {};
  EXPECT_TRUE(significand_subtract(one, &zero));
  EXPECT_EQ(significand_compare(one, a), -1);
  EXPECT_EQ(significand_compare(a, one), 1);
  EXPECT_EQ(significand_compare(one, one), 0);

  // Long division digits: 7.5 / 2.5 gives 3 with nothing left; 7 / 2 gives 3 and leaves 1.
  xfloat_work_t r = work_words({0, 0x7800, 0, 0, 0, 0, 0, 0, 0});
  const xfloat_work_t t = work_words({0, 0x2800, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(significand_remainder(t, &r), 3);
  EXPECT_TRUE(significand_is_zero(r));
  r = work_words({0, 0, 0, 0, 0, 0, 0, 7, 0});
  EXPECT_EQ(significand_remainder(work_words({0, 0, 0, 0, 0, 0, 0, 2, 0}), &r), 3);
  EXPECT_EQ(significand_words(r), (std::array<uint16_t, 9>{0, 0, 0, 0, 0, 0, 0, 1, 0}));

  // Times ten adds the digit at the units of a 112-bit integer (word 9) and refuses to overflow.
  xfloat_work_t n = work_words({0, 0, 0, 0, 0, 0, 0, 12, 0});
  EXPECT_TRUE(significand_times_ten(&n, 3));
  EXPECT_EQ(significand_words(n)[7], 123);
  xfloat_work_t full = work_words({0x2000, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_FALSE(significand_times_ten(&full, 0));
  EXPECT_EQ(significand_words(full)[0], 0x2000);
}

//--------------------------------------------------------------------------------------------------------------
// Rounding

TEST(XfloatRound, Precision112)
{
  struct case_t
  {
    const char *name;
    uint16_t last;      // word 9 before rounding
    uint16_t below;     // rounding word
    bool lost;
    bool subtract;
    uint16_t expected;  // word 9 after rounding
  };
  const case_t cases[] = {
    {"below half", 0x0002, 0x7FFF, true, false, 0x0002},
    {"above half", 0x0002, 0x8001, false, false, 0x0003},
    {"tie to even stays", 0x0002, 0x8000, false, false, 0x0002},
    {"tie to even rounds up", 0x0003, 0x8000, false, false, 0x0004},
    {"tie with lost bits rounds up", 0x0002, 0x8000, true, false, 0x0003},
    {"tie with lost bits after a subtraction stays", 0x0003, 0x8000, true, true, 0x0003},
    {"subtraction without lost bits ties to even", 0x0003, 0x8000, false, true, 0x0004},
  };
  for ( const case_t &c : cases )
  {
    xfloat_work_t v = work_words({0, 0x8000, 0, 0, 0, 0, 0, c.last, c.below});
    ASSERT_TRUE(xfloat_round(&v, c.lost, c.subtract, 100, 112)) << c.name;
    EXPECT_EQ(v.words[XW_LAST], c.expected) << c.name;
    EXPECT_EQ(v.words[XW_ROUND], 0) << c.name;
    EXPECT_EQ(v.words[XW_EXPONENT], 100) << c.name;
  }

  // A carry out of the significand moves the exponent up.
  xfloat_work_t v = work_words({0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0x8000});
  ASSERT_TRUE(xfloat_round(&v, false, false, 100, 112));
  EXPECT_EQ(significand_words(v), (std::array<uint16_t, 9>{0, 0x8000, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(v.words[XW_EXPONENT], 101);

  // Normalising moves the exponent by the shift.
  v = work_words({0, 0, 0x0001, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(xfloat_round(&v, false, false, 100, 112));
  EXPECT_EQ(v.words[XW_EXPONENT], 100 - 31);
  v = work_words({0x0002, 0, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(xfloat_round(&v, false, false, 100, 112));
  EXPECT_EQ(v.words[XW_EXPONENT], 102);
}

TEST(XfloatRound, ExponentRange)
{
  struct case_t
  {
    const char *name;
    std::array<uint16_t, 9> in;
    int e;
    bool ok;
    int exponent;
  };
  const case_t cases[] = {
    {"largest exponent", {0, 0x8000, 0, 0, 0, 0, 0, 0, 0}, 32766, true, 32766},
    {"all ones exponent", {0, 0x8000, 0, 0, 0, 0, 0, 0, 0}, 32767, false, 0},
    {"carry past the largest exponent", {0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0x8000}, 32766,
     false, 0},
    {"smallest exponent", {0, 0x8000, 0, 0, 0, 0, 0, 0, 0}, 1, true, 1},
    {"exponent 0", {0, 0x8000, 0, 0, 0, 0, 0, 0, 0}, 0, false, 0},
    {"exponent 0 rounding up to the smallest", {0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0x8000},
     0, true, 1},
    {"negative exponent", {0, 0x8000, 0, 0, 0, 0, 0, 0, 0}, -5, false, 0},
    {"far below", {0, 0x8000, 0, 0, 0, 0, 0, 0, 0}, -500, false, 0},
  };
  for ( const case_t &c : cases )
  {
    xfloat_work_t v = work_words(c.in);
    EXPECT_EQ(xfloat_round(&v, false, false, c.e, 112), c.ok) << c.name;
    EXPECT_EQ(v.words[XW_EXPONENT], c.exponent) << c.name;
    EXPECT_EQ(significand_is_zero(v), !c.ok) << c.name;
  }

  // A zero significand is zero, not a failure.
  xfloat_work_t zero = {};
  EXPECT_TRUE(xfloat_round(&zero, true, false, 100, 112));
  EXPECT_EQ(zero.words[XW_EXPONENT], 0);
}

TEST(XfloatRound, NarrowPrecisions)
{
  struct case_t
  {
    const char *name;
    int precision;
    std::array<uint16_t, 9> in;
    std::array<uint16_t, 9> out;
  };
  const case_t cases[] = {
    {"64: below half", 64, {0, 0x8000, 0, 0, 0x0002, 0x7FFF, 0xFFFF, 0, 0}, {0, 0x8000, 0, 0, 0x0002, 0, 0, 0, 0}},
    {"64: tie to even", 64, {0, 0x8000, 0, 0, 0x0002, 0x8000, 0, 0, 0}, {0, 0x8000, 0, 0, 0x0002, 0, 0, 0, 0}},
    {"64: tie with sticky rounds up", 64, {0, 0x8000, 0, 0, 0x0002, 0x8000, 0, 0, 1},
     {0, 0x8000, 0, 0, 0x0003, 0, 0, 0, 0}},
    {"53: below half", 53, {0, 0x8000, 0, 0, 0x03FF, 0xFFFF, 0, 0, 0}, {0, 0x8000, 0, 0, 0, 0, 0, 0, 0}},
    {"53: tie to even up", 53, {0, 0x8000, 0, 0, 0x0C00, 0, 0, 0, 0}, {0, 0x8000, 0, 0, 0x1000, 0, 0, 0, 0}},
    {"53: tie to even stays", 53, {0, 0x8000, 0, 0, 0x1400, 0, 0, 0, 0}, {0, 0x8000, 0, 0, 0x1000, 0, 0, 0, 0}},
    {"53: tie with sticky", 53, {0, 0x8000, 0, 0, 0x1400, 0, 0x0001, 0, 0}, {0, 0x8000, 0, 0, 0x1800, 0, 0, 0, 0}},
    {"24: above half", 24, {0, 0x8000, 0x0081, 0, 0, 0, 0, 0, 0}, {0, 0x8000, 0x0100, 0, 0, 0, 0, 0, 0}},
    {"24: tie to even", 24, {0, 0x8000, 0x0180, 0, 0, 0, 0, 0, 0}, {0, 0x8000, 0x0200, 0, 0, 0, 0, 0, 0}},
    {"24: carry out", 24, {0, 0xFFFF, 0xFF80, 0, 0, 0, 0, 0, 0}, {0, 0x8000, 0, 0, 0, 0, 0, 0, 0}},
  };
  for ( const case_t &c : cases )
  {
    xfloat_work_t v = work_words(c.in);
    ASSERT_TRUE(xfloat_round(&v, false, false, 100, c.precision)) << c.name;
    EXPECT_EQ(significand_words(v), c.out) << c.name;
  }
}

TEST(XfloatRound, NarrowPrecisionBelowTheNormalRange)
{
  // At exponent 0 a 53-bit value rounds where its denormal would end (one bit higher); only a value that rounds
  // up to the smallest normal succeeds.
  xfloat_work_t v = work_words({0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFC00, 0, 0, 0, 0});
  ASSERT_TRUE(xfloat_round(&v, false, false, 0, 53));
  EXPECT_EQ(v.words[XW_EXPONENT], 1);
  EXPECT_EQ(significand_words(v), (std::array<uint16_t, 9>{0, 0x8000, 0, 0, 0, 0, 0, 0, 0}));

  v = work_words({0, 0xFFFF, 0xFFFF, 0xFFFF, 0xF000, 0, 0, 0, 0});
  EXPECT_FALSE(xfloat_round(&v, false, false, 0, 53));

  // The same value at precision 64 has no denormal step and stays below the range.
  v = work_words({0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFC00, 0, 0, 0, 0});
  EXPECT_FALSE(xfloat_round(&v, false, false, 0, 64));
}

//--------------------------------------------------------------------------------------------------------------
// Addition and subtraction

TEST(XfloatAdd, EdgeCases)
{
  const xfloat_t x = from_double(3.25);
  const xfloat_t minus_x = from_double(-3.25);
  const xfloat_t big = from_double(1e40);
  const xfloat_t minus_zero = make_x(true, 0, {});
  const xfloat_t largest = make_x(false, 32766, ALL_ONES);
  struct case_t
  {
    const char *name;
    xfloat_t a;
    xfloat_t b;
    bool subtract;
    int status;
    xfloat_t expected;
  };
  const case_t cases[] = {
    {"x + -x is +0", x, minus_x, false, XFLOAT_OK, xfloat_zero},
    {"-x + x is +0", minus_x, x, false, XFLOAT_OK, xfloat_zero},
    {"x - x is +0", x, x, true, XFLOAT_OK, xfloat_zero},
    {"x + x doubles", x, x, false, XFLOAT_OK, from_double(6.5)},
    {"-x - x doubles", minus_x, x, true, XFLOAT_OK, from_double(-6.5)},
    {"1 + 1e40 is 1e40", xfloat_one, big, false, XFLOAT_OK, big},
    {"1e40 - 1 is 1e40", big, xfloat_one, true, XFLOAT_OK, big},
    {"0 - x is -x", xfloat_zero, x, true, XFLOAT_OK, minus_x},
    {"x + 0 is x", x, xfloat_zero, false, XFLOAT_OK, x},
    {"-0 + -0 is +0", minus_zero, minus_zero, false, XFLOAT_OK, xfloat_zero},
    {"zero with a stray significand is zero", make_x(false, 0, {0x8000, 0, 0, 0, 0, 0, 1}), x, false, XFLOAT_OK, x},
    {"unequal signs", from_double(5), from_double(-3), false, XFLOAT_OK, from_double(2)},
    {"cancellation", from_double(1.0000000000000002), xfloat_one, true, XFLOAT_OK, from_double(0x1p-52)},
    {"largest doubled is out of range", largest, largest, false, XFLOAT_RANGE, xfloat_zero},
    {"largest plus its last unit is out of range", largest, make_x(false, 32766 - 111, LEAD), false, XFLOAT_RANGE,
     xfloat_zero},
    {"smallest minus its neighbour underflows", make_x(false, 1, {0x8000, 0, 0, 0, 0, 0, 1}), make_x(false, 1, LEAD),
     true, XFLOAT_RANGE, xfloat_zero},
  };
  for ( const case_t &c : cases )
  {
    xfloat_t out = from_double(99);
    EXPECT_EQ(xfloat_add(c.a, c.b, &out, c.subtract), c.status) << c.name;
    EXPECT_EQ(out, c.expected) << c.name << ": " << describe(out);
  }
}

TEST(XfloatAdd, RoundingOfLostBits)
{
  // 1 + 2^-112 is a tie: stays 1 (even). With anything below it the tie is broken upward.
  const xfloat_t half_unit = make_x(false, 16383 - 112, LEAD);
  const xfloat_t above_half_unit = make_x(false, 16383 - 112, {0x8000, 0, 0, 0, 0, 0, 1});
  const xfloat_t one_and_unit = make_x(false, 16383, {0x8000, 0, 0, 0, 0, 0, 1});
  xfloat_t out;
  ASSERT_EQ(xfloat_add(xfloat_one, half_unit, &out), XFLOAT_OK);
  EXPECT_EQ(out, xfloat_one);
  ASSERT_EQ(xfloat_add(xfloat_one, above_half_unit, &out), XFLOAT_OK);
  EXPECT_EQ(out, one_and_unit) << describe(out);

  // (1 + 2^-110) - (2^-112 + tiny) lies just below the tie between 1 + 2^-111 and 1 + 2^-110: it goes down,
  // although the even neighbour is above.
  const xfloat_t one_and_two_units = make_x(false, 16383, {0x8000, 0, 0, 0, 0, 0, 2});
  ASSERT_EQ(xfloat_add(one_and_two_units, above_half_unit, &out, true), XFLOAT_OK);
  EXPECT_EQ(out, one_and_unit) << describe(out);
  ASSERT_EQ(xfloat_add(one_and_two_units, half_unit, &out, true), XFLOAT_OK);
  EXPECT_EQ(out, one_and_two_units) << describe(out);

  // A carry into a new binary place drops the lowest bit of the rounding word; that bit still breaks the tie.
  // (2 - 2^-111) + (2^-16 + 2^-109 + 2^-127) = 2 + 2^-16 + 2^-111 + 2^-127 + ..., just above a tie.
  const xfloat_t below_two = make_x(false, 16383, ALL_ONES);
  const xfloat_t addend = make_x(false, 16383 - 16, {0x8000, 0, 0, 0, 0, 0x0002, 0x0001});
  ASSERT_EQ(xfloat_add(below_two, addend, &out), XFLOAT_OK);
  EXPECT_EQ(out, make_x(false, 16384, {0x8000, 0x4000, 0, 0, 0, 0, 0x0001})) << describe(out);
}

TEST(XfloatAdd, MatchesExactIntegerSums)
{
  std::mt19937_64 rng(125);
  for ( int i = 0; i < 3000; ++i )
  {
    const u128 a = random_bits(rng, 1 + int(rng() % 112));
    const u128 b = random_bits(rng, 1 + int(rng() % 112));
    xfloat_t sum;
    ASSERT_EQ(xfloat_add(from_u128(a), from_u128(b), &sum), XFLOAT_OK);
    ASSERT_EQ(to_u128(sum), round_to_112(a + b)) << i;
    xfloat_t difference;
    ASSERT_EQ(xfloat_add(from_u128(a), from_u128(b), &difference, true), XFLOAT_OK);
    const u128 magnitude = a > b ? a - b : b - a;
    ASSERT_EQ(to_u128(difference), magnitude) << i;
    ASSERT_EQ(magnitude == 0 || (difference.words[7] & 0x8000) != 0, a <= b) << i;
  }
}

//--------------------------------------------------------------------------------------------------------------
// Multiplication and division

TEST(XfloatMultiply, EdgeCases)
{
  const xfloat_t huge = make_x(false, 16383 + 13288, LEAD);    // about 1e4000
  const xfloat_t tiny = make_x(false, 16383 - 9966, LEAD);     // about 1e-3000
  const xfloat_t largest = make_x(false, 32766, ALL_ONES);
  const xfloat_t smallest = make_x(false, 1, LEAD);
  const operation_case_t cases[] = {
    {"1e4000 squared overflows", huge, huge, XFLOAT_RANGE, xfloat_zero},
    {"1e-3000 squared underflows", tiny, tiny, XFLOAT_RANGE, xfloat_zero},
    {"largest times one", largest, xfloat_one, XFLOAT_OK, largest},
    {"largest times two overflows", largest, from_double(2), XFLOAT_RANGE, xfloat_zero},
    {"smallest times one", smallest, xfloat_one, XFLOAT_OK, smallest},
    {"smallest halved underflows", smallest, xfloat_half, XFLOAT_RANGE, xfloat_zero},
    {"zero times x is +0", make_x(true, 0, {}), from_double(-5), XFLOAT_OK, xfloat_zero},
    {"signs", from_double(-1.5), from_double(2.5), XFLOAT_OK, from_double(-3.75)},
    {"negative squared", from_double(-3), from_double(-3), XFLOAT_OK, from_double(9)},
  };
  check_operation(xfloat_multiply, cases);
}

TEST(XfloatMultiply, MatchesExactIntegerProducts)
{
  std::mt19937_64 rng(126);
  for ( int i = 0; i < 3000; ++i )
  {
    // Up to 120 bits of product: rounded at up to 8 bits, so ties come up often.
    const u128 a = random_bits(rng, 1 + int(rng() % 60));
    const u128 b = random_bits(rng, 1 + int(rng() % 60));
    xfloat_t product;
    ASSERT_EQ(xfloat_multiply(from_u128(a), from_u128(b), &product), XFLOAT_OK);
    ASSERT_EQ(to_u128(product), round_to_112(a * b)) << i;
  }
}

TEST(XfloatDivide, EdgeCases)
{
  const xfloat_t largest = make_x(false, 32766, ALL_ONES);
  const xfloat_t smallest = make_x(false, 1, LEAD);
  const operation_case_t cases[] = {
    {"by zero", xfloat_one, xfloat_zero, XFLOAT_DIV_BY_ZERO, xfloat_zero},
    {"by minus zero", xfloat_one, make_x(true, 0, {}), XFLOAT_DIV_BY_ZERO, xfloat_zero},
    {"zero by zero", xfloat_zero, xfloat_zero, XFLOAT_DIV_BY_ZERO, xfloat_zero},
    {"zero by x is +0", make_x(true, 0, {}), from_double(3), XFLOAT_OK, xfloat_zero},
    {"exact", from_double(7.5), from_double(-2.5), XFLOAT_OK, from_double(-3)},
    {"by itself", largest, largest, XFLOAT_OK, xfloat_one},
    {"largest by a half overflows", largest, xfloat_half, XFLOAT_RANGE, xfloat_zero},
    {"smallest by two underflows", smallest, from_double(2), XFLOAT_RANGE, xfloat_zero},
    {"one third", xfloat_one, from_double(3), XFLOAT_OK,
     make_x(false, 16381, {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAB})},
    {"two thirds", from_double(2), from_double(3), XFLOAT_OK,
     make_x(false, 16382, {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAB})},
  };
  check_operation(xfloat_divide, cases);
}

TEST(XfloatDivide, MatchesExactIntegerQuotients)
{
  std::mt19937_64 rng(127);
  for ( int i = 0; i < 3000; ++i )
  {
    const u128 a = random_bits(rng, 1 + int(rng() % 112));
    const u128 b = random_bits(rng, 1 + int(rng() % 13));
    // q = a / b scaled by 2^k so that the reference quotient has at least 114 bits: a * 2^k / b.
    const int k = 127 - bit_length(a);
    const u128 scaled = a << k;
    const u128 q = scaled / b;
    const bool remainder = scaled % b != 0;
    // Reference rounding of q (more than 112 bits) with the remainder as a sticky bit.
    int drop = bit_length(q) - 112;
    ASSERT_GT(drop, 1);
    const u128 rest = q & ((u128(1) << drop) - 1);
    const u128 half = u128(1) << (drop - 1);
    u128 kept = q >> drop;
    if ( rest > half || (rest == half && (remainder || (kept & 1) != 0)) )
      ++kept;
    if ( bit_length(kept) > 112 )
    {
      kept >>= 1;
      ++drop;
    }
    xfloat_t quotient;
    ASSERT_EQ(xfloat_divide(from_u128(a), from_u128(b), &quotient), XFLOAT_OK);
    // Undo the scale: the exponent of the quotient is that of kept << drop, less k.
    xfloat_t expected = from_u128(kept);
    expected.words[7] = uint16_t(expected.words[7] + drop - k);
    ASSERT_EQ(quotient, expected) << i;
  }
}

TEST(XfloatArithmetic, MatchesDoubleArithmetic)
{
  // Sums and products of doubles are exact in 112 bits, and quotients cannot sit on a double tie, so one
  // rounding to a double must give what the processor computes.
  std::mt19937_64 rng(1125);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-300, 300);
  for ( int i = 0; i < 5000; ++i )
  {
    const double a = std::ldexp(mantissa(rng), exponent(rng));
    const double b = std::ldexp(mantissa(rng), i % 2 == 0 ? exponent(rng) : std::ilogb(a) + int(rng() % 120) - 60);
    const xfloat_t xa = from_double(a);
    const xfloat_t xb = from_double(b);
    xfloat_t out;
    ASSERT_EQ(xfloat_add(xa, xb, &out), XFLOAT_OK);
    ASSERT_EQ(to_double(out), a + b) << a << " + " << b;
    ASSERT_EQ(xfloat_add(xa, xb, &out, true), XFLOAT_OK);
    ASSERT_EQ(to_double(out), a - b) << a << " - " << b;
    ASSERT_EQ(xfloat_multiply(xa, xb, &out), XFLOAT_OK);
    ASSERT_EQ(to_double(out), a * b) << a << " * " << b;
    ASSERT_EQ(xfloat_divide(xa, xb, &out), XFLOAT_OK);
    ASSERT_EQ(to_double(out), a / b) << a << " / " << b;
    ASSERT_EQ(xfloat_compare(xa, xb), a < b ? -1 : a > b ? 1 : 0) << a << " <> " << b;
  }
}

TEST(XfloatArithmetic, OutputMayBeAnOperand)
{
  xfloat_t x = from_double(1.5);
  ASSERT_EQ(xfloat_add(x, x, &x), XFLOAT_OK);
  EXPECT_EQ(x, from_double(3));
  ASSERT_EQ(xfloat_multiply(x, x, &x), XFLOAT_OK);
  EXPECT_EQ(x, from_double(9));
  xfloat_t y = from_double(4);
  ASSERT_EQ(xfloat_divide(x, y, &y), XFLOAT_OK);
  EXPECT_EQ(y, from_double(2.25));
  ASSERT_EQ(xfloat_divide(y, xfloat_zero, &y), XFLOAT_DIV_BY_ZERO);
  EXPECT_EQ(y, xfloat_zero);
}

TEST(XfloatCompare, Order)
{
  const xfloat_t minus_zero = make_x(true, 0, {});
  struct case_t
  {
    const char *name;
    xfloat_t a;
    xfloat_t b;
    int expected;
  };
  const case_t cases[] = {
    {"-0 below +0", minus_zero, xfloat_zero, -1},
    {"+0 above -0", xfloat_zero, minus_zero, 1},
    {"equal", from_double(2.5), from_double(2.5), 0},
    {"by exponent", from_double(2), from_double(1.5), 1},
    {"by the last word", make_x(false, 16383, {0x8000, 0, 0, 0, 0, 0, 2}), make_x(false, 16383, {0x8000, 0, 0, 0, 0, 0, 1}), 1},
    {"negatives reversed", from_double(-2), from_double(-1.5), -1},
    {"negative below positive", from_double(-1e300), from_double(1e-300), -1},
    {"zero with a stray significand equals zero", make_x(false, 0, {0x8000, 0, 0, 0, 0, 0, 0}), xfloat_zero, 0},
    {"infinity above the largest", make_x(false, 32767, LEAD), make_x(false, 32766, ALL_ONES), 1},
  };
  for ( const case_t &c : cases )
    EXPECT_EQ(xfloat_compare(c.a, c.b), c.expected) << c.name;
}

//--------------------------------------------------------------------------------------------------------------
// Integers

TEST(XfloatInteger, ToInt64)
{
  const xfloat_t two_63 = make_x(false, 16383 + 63, LEAD);
  const xfloat_t below_half = make_x(false, 16381, ALL_ONES);   // 0.5 - 2^-113
  struct case_t
  {
    const char *name;
    xfloat_t x;
    bool round;
    int status;
    int64_t expected;
  };
  const case_t cases[] = {
    {"2.9 truncates", from_double(2.9), false, XFLOAT_OK, 2},
    {"-2.9 truncates", from_double(-2.9), false, XFLOAT_OK, -2},
    {"2.9 rounds", from_double(2.9), true, XFLOAT_OK, 3},
    {"-2.9 rounds", from_double(-2.9), true, XFLOAT_OK, -3},
    {"2.5 rounds away from zero", from_double(2.5), true, XFLOAT_OK, 3},
    {"-2.5 rounds away from zero", from_double(-2.5), true, XFLOAT_OK, -3},
    {"2.4999 rounds down", from_double(2.4999), true, XFLOAT_OK, 2},
    {"0.5 rounds to 1", xfloat_half, true, XFLOAT_OK, 1},
    {"0.5 truncates to 0", xfloat_half, false, XFLOAT_OK, 0},
    {"largest below 0.5 rounds to 0", below_half, true, XFLOAT_OK, 0},
    {"-0.3 rounds to 0", from_double(-0.3), true, XFLOAT_OK, 0},
    {"zero", xfloat_zero, true, XFLOAT_OK, 0},
    {"2^63 is out of range", two_63, false, XFLOAT_INT_RANGE, 77},
    {"-2^63 is out of range", make_x(true, 16383 + 63, LEAD), false, XFLOAT_INT_RANGE, 77},
    {"2^63 - 0.5 rounds out of range", make_x(false, 16383 + 62, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0}), true,
     XFLOAT_INT_RANGE, 77},
    {"2^63 - 0.5 truncates", make_x(false, 16383 + 62, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0}), false, XFLOAT_OK,
     INT64_MAX},
    {"infinity is out of range", make_x(false, 32767, LEAD), false, XFLOAT_INT_RANGE, 77},
    {"1e300 is out of range", from_double(1e300), true, XFLOAT_INT_RANGE, 77},
    {"large", from_double(-0x1.23456789abcdp62), false, XFLOAT_OK, -(int64_t(0x123456789abcd) << 14)},
  };
  for ( const case_t &c : cases )
  {
    int64_t out = 77;
    EXPECT_EQ(xfloat_to_int64(&out, c.x, c.round), c.status) << c.name;
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

TEST(XfloatInteger, FromInt64)
{
  struct case_t
  {
    int64_t value;
    xfloat_t expected;
  };
  const case_t cases[] = {
    {0, xfloat_zero},
    {1, xfloat_one},
    {-1, make_x(true, 16383, LEAD)},
    {10, make_x(false, 16386, {0xA000, 0, 0, 0, 0, 0, 0})},
    {INT64_MAX, make_x(false, 16383 + 62, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFE, 0, 0, 0})},
    {INT64_MIN, make_x(true, 16383 + 63, LEAD)},
    {int64_t(1) << 48, make_x(false, 16383 + 48, LEAD)},
  };
  for ( const case_t &c : cases )
  {
    xfloat_t out;
    int64_to_xfloat(c.value, &out);
    EXPECT_EQ(out, c.expected) << c.value << ": " << describe(out);
  }

  std::mt19937_64 rng(64);
  for ( int i = 0; i < 3000; ++i )
  {
    const int64_t value = int64_t(rng()) >> (rng() % 63);
    if ( value == INT64_MIN )
      continue;
    xfloat_t x;
    int64_to_xfloat(value, &x);
    int64_t back = 0;
    ASSERT_EQ(xfloat_to_int64(&back, x, true), XFLOAT_OK) << value;
    ASSERT_EQ(back, value);
    ASSERT_EQ(to_double(x), double(value));
  }
}

//--------------------------------------------------------------------------------------------------------------
// Processor formats

TEST(XfloatProcessor, Codes)
{
  xfloat_t x = xfloat_one;
  unsigned char bytes[16] = {};
  for ( int code : {0, 2, 5, 6, 7, 8, 10, 13, 14, 15} )
    EXPECT_EQ(xfloat_convert_processor(bytes, &x, code), XFLOAT_PROC_BAD_FORMAT) << code;
  EXPECT_EQ(x, xfloat_one);
}

TEST(XfloatProcessor, ToDouble)
{
  const double inf = std::numeric_limits<double>::infinity();
  struct case_t
  {
    const char *name;
    xfloat_t x;
    int status;
    uint64_t bits;
  };
  const case_t cases[] = {
    {"one", xfloat_one, 1, 0x3FF0000000000000},
    {"+0", xfloat_zero, 1, 0},
    {"-0", make_x(true, 0, {}), 1, 0x8000000000000000},
    {"infinity", make_x(false, 32767, LEAD), 1, std::bit_cast<uint64_t>(inf)},
    {"-infinity", make_x(true, 32767, LEAD), 1, std::bit_cast<uint64_t>(-inf)},
    {"NaN keeps its top payload", make_x(false, 32767, {0xC000, 0, 0, 0, 0, 0, 0}), 1, 0x7FF8000000000000},
    {"NaN with a payload below the cut stays a NaN", make_x(false, 32767, {0x8000, 0, 0, 0, 0, 0, 1}), 1,
     0x7FF8000000000000},
    {"largest double", make_x(false, 16383 + 1023, {0xFFFF, 0xFFFF, 0xFFFF, 0xF800, 0, 0, 0}), 1,
     0x7FEFFFFFFFFFFFFF},
    {"rounding up past the largest double", make_x(false, 16383 + 1023, {0xFFFF, 0xFFFF, 0xFFFF, 0xFC00, 0, 0, 0}),
     XFLOAT_PROC_RANGE, 0x1234},
    {"2^1024", make_x(false, 16383 + 1024, LEAD), XFLOAT_PROC_RANGE, 0x1234},
    {"smallest normal", make_x(false, 16383 - 1022, LEAD), 1, 0x0010000000000000},
    {"half the smallest normal", make_x(false, 16383 - 1023, LEAD), XFLOAT_PROC_RANGE, 0x1234},
    {"rounding up to the smallest normal", make_x(false, 16383 - 1023, ALL_ONES), 1, 0x0010000000000000},
    {"1e-4000", make_x(false, 100, LEAD), XFLOAT_PROC_RANGE, 0x1234},
    {"tie to even", make_x(false, 16383, {0x8000, 0, 0, 0x0C00, 0, 0, 0}), 1, 0x3FF0000000000002},
    {"just above a tie", make_x(false, 16383, {0x8000, 0, 0, 0x0400, 0, 0, 1}), 1, 0x3FF0000000000001},
  };
  for ( const case_t &c : cases )
  {
    uint64_t bits = 0x1234;
    xfloat_t x = c.x;
    EXPECT_EQ(xfloat_convert_processor(&bits, &x, XFLOAT_TO_PROCESSOR | XFLOAT_PROC_DOUBLE), c.status) << c.name;
    EXPECT_EQ(bits, c.bits) << c.name;
  }
}

TEST(XfloatProcessor, ToSingleAndExtended)
{
  struct case_t
  {
    const char *name;
    xfloat_t x;
    int status;
    uint32_t bits;
  };
  const case_t singles[] = {
    {"-1.5", make_x(true, 16383, {0xC000, 0, 0, 0, 0, 0, 0}), 1, 0xBFC00000},
    {"tie to even stays", make_x(false, 16383, {0x8000, 0x0080, 0, 0, 0, 0, 0}), 1, 0x3F800000},
    {"tie to even rounds up", make_x(false, 16383, {0x8000, 0x0180, 0, 0, 0, 0, 0}), 1, 0x3F800002},
    {"sticky below a tie", make_x(false, 16383, {0x8000, 0x0080, 0, 0, 0, 0, 1}), 1, 0x3F800001},
    {"largest single", make_x(false, 16383 + 127, {0xFFFF, 0xFF00, 0, 0, 0, 0, 0}), 1, 0x7F7FFFFF},
    {"too large", make_x(false, 16383 + 128, LEAD), XFLOAT_PROC_RANGE, 0x99},
    {"too small", make_x(false, 16383 - 127, LEAD), XFLOAT_PROC_RANGE, 0x99},
    {"infinity", make_x(true, 32767, LEAD), 1, 0xFF800000},
    {"NaN", make_x(false, 32767, {0x8000, 0x0001, 0, 0, 0, 0, 0}), 1, 0x7FC00000},
  };
  for ( const case_t &c : singles )
  {
    uint32_t bits = 0x99;
    xfloat_t x = c.x;
    EXPECT_EQ(xfloat_convert_processor(&bits, &x, XFLOAT_TO_PROCESSOR | XFLOAT_PROC_SINGLE), c.status) << c.name;
    EXPECT_EQ(bits, c.bits) << c.name;
  }

  // The extended format keeps the leading bit and the exponent as they are.
  unsigned char bytes[10];
  xfloat_t x = make_x(true, 0x4001, {0x8000, 0, 0, 0x0001, 0x8000, 0, 0});
  ASSERT_EQ(xfloat_convert_processor(bytes, &x, XFLOAT_TO_PROCESSOR | XFLOAT_PROC_EXTENDED), 1);
  const unsigned char expected[10] = {0x02, 0, 0, 0, 0, 0, 0, 0x80, 0x01, 0xC0};
  EXPECT_EQ(std::memcmp(bytes, expected, 10), 0);
  x = make_x(false, 32766, ALL_ONES);
  EXPECT_EQ(xfloat_convert_processor(bytes, &x, XFLOAT_TO_PROCESSOR | XFLOAT_PROC_EXTENDED), XFLOAT_PROC_RANGE);
}

TEST(XfloatProcessor, FromProcessor)
{
  struct case_t
  {
    const char *name;
    int code;
    std::array<unsigned char, 10> bytes;
    int status;
    xfloat_t expected;
  };
  const case_t cases[] = {
    {"double 1.5", XFLOAT_PROC_DOUBLE, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}, 1, make_x(false, 16383, {0xC000, 0, 0, 0, 0, 0, 0})},
    {"double -0", XFLOAT_PROC_DOUBLE, {0, 0, 0, 0, 0, 0, 0, 0x80}, 1, make_x(true, 0, {})},
    {"double infinity", XFLOAT_PROC_DOUBLE, {0, 0, 0, 0, 0, 0, 0xF0, 0x7F}, 1, make_x(false, 32767, LEAD)},
    {"double NaN", XFLOAT_PROC_DOUBLE, {1, 0, 0, 0, 0, 0, 0xF0, 0x7F}, 1,
     make_x(false, 32767, {0x8000, 0, 0, 0x0800, 0, 0, 0})},
    {"double denormal", XFLOAT_PROC_DOUBLE, {1, 0, 0, 0, 0, 0, 0, 0}, XFLOAT_PROC_DENORMAL, from_double(7)},
    {"double smallest normal", XFLOAT_PROC_DOUBLE, {0, 0, 0, 0, 0, 0, 0x10, 0}, 1, make_x(false, 16383 - 1022, LEAD)},
    {"single -2", XFLOAT_PROC_SINGLE, {0, 0, 0, 0xC0}, 1, make_x(true, 16384, LEAD)},
    {"single fraction", XFLOAT_PROC_SINGLE, {1, 0, 0x80, 0x3F}, 1, make_x(false, 16383, {0x8000, 0x0100, 0, 0, 0, 0, 0})},
    {"single denormal", XFLOAT_PROC_SINGLE, {0, 0, 0x40, 0}, XFLOAT_PROC_DENORMAL, from_double(7)},
    {"single -infinity", XFLOAT_PROC_SINGLE, {0, 0, 0x80, 0xFF}, 1, make_x(true, 32767, LEAD)},
    {"extended", XFLOAT_PROC_EXTENDED, {0x02, 0, 0, 0, 0, 0, 0, 0x80, 0x01, 0xC0}, 1,
     make_x(true, 0x4001, {0x8000, 0, 0, 0x0002, 0, 0, 0})},
    {"extended unnormal", XFLOAT_PROC_EXTENDED, {0, 0, 0, 0, 0, 0, 0, 0x40, 0x01, 0x40}, XFLOAT_PROC_DENORMAL,
     from_double(7)},
    {"extended pseudo-denormal", XFLOAT_PROC_EXTENDED, {0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0}, XFLOAT_PROC_DENORMAL,
     from_double(7)},
    {"extended zero", XFLOAT_PROC_EXTENDED, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}, 1, make_x(true, 0, {})},
  };
  for ( const case_t &c : cases )
  {
    xfloat_t x = from_double(7);
    std::array<unsigned char, 10> bytes = c.bytes;
    EXPECT_EQ(xfloat_convert_processor(bytes.data(), &x, c.code), c.status) << c.name;
    EXPECT_EQ(x, c.expected) << c.name << ": " << describe(x);
  }
}

TEST(XfloatProcessor, DoublesAndSinglesRoundTrip)
{
  std::mt19937_64 rng(1126);
  for ( int i = 0; i < 5000; ++i )
  {
    // Every normal exponent, every fraction.
    uint64_t bits = rng();
    const uint64_t exponent = 1 + (bits >> 52 & 0x7FF) % 2046;
    bits = (bits & 0x800FFFFFFFFFFFFF) | (exponent << 52);
    const double d = std::bit_cast<double>(bits);
    xfloat_t x = from_double(d);
    ASSERT_EQ(std::bit_cast<uint64_t>(to_double(x)), bits) << d;

    const float f = float(d);
    if ( std::fpclassify(f) != FP_NORMAL )
      continue;
    xfloat_t y;
    float in = f;
    float back = 0;
    ASSERT_EQ(xfloat_convert_processor(&in, &y, XFLOAT_PROC_SINGLE), 1);
    ASSERT_EQ(xfloat_convert_processor(&back, &y, XFLOAT_TO_PROCESSOR | XFLOAT_PROC_SINGLE), 1);
    ASSERT_EQ(back, f);
    // A double narrowed by this code rounds as the processor narrows it.
    ASSERT_EQ(xfloat_convert_processor(&back, &x, XFLOAT_TO_PROCESSOR | XFLOAT_PROC_SINGLE), 1) << d;
    ASSERT_EQ(back, f) << d;
  }
}

} // namespace
