// Differential tests of the 16-byte software float: every operation against the frozen first implementation,
// bit for bit, on seeded operands of every kind.
#include "core/xfloat.h"
#include "core/xfloat_text.h"
#include "core/xfloat_work.h"

#include "xfloat_reference.h"
#include "xfloat_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>

namespace {

// The sanitizers slow both implementations several times over: they check a smaller sample of the same sequences.
#if defined(__SANITIZE_ADDRESS__)
constexpr int SAMPLE_DIVISOR = 20;
#else
constexpr int SAMPLE_DIVISOR = 1;
#endif

int sample(int count)
{
  return count / SAMPLE_DIVISOR;
}

// Operands of every kind, weighted towards the cases where implementations part: rounding boundaries, the ends of
// the exponent range, cancellation, and the malformed values that only raw bytes can hold.
class operand_source_t
{
public:
  explicit operand_source_t(uint64_t seed) : rng_(seed) {}

  uint64_t bits() { return rng_(); }
  int below(int n) { return int(rng_() % uint64_t(n)); }

  // A significand with its leading bit set, in one of several shapes.
  u128 significand()
  {
    const u128 lead = u128(1) << 111;
    const u128 all = (u128(1) << 112) - 1;
    const u128 random = ((u128(bits()) << 64) | bits()) & all;
    switch ( below(8) )
    {
      case 0: return lead;
      case 1: return all;
      case 2: return lead | (random & 0xF);                              // just above a power of two
      case 3: return all ^ (random & 0xF);                               // just below the next one
      case 4: return lead | (random & ~((u128(1) << below(112)) - 1));   // few significant bits: exact results
      case 5: return lead | (random >> below(112));                      // runs of zeros below the lead
      case 6: return (random | lead) | ((u128(1) << below(112)) - 1);    // runs of ones at the bottom
      default: return random | lead;
    }
  }

  int exponent()
  {
    switch ( below(8) )
    {
      case 0: return 1 + below(200);                               // the bottom of the range
      case 1: return XFLOAT_MAX_EXPONENT - 1 - below(200);         // the top
      case 2: return XFLOAT_BIAS - 130 + below(260);               // near one, integers and fractions
      default: return 1 + below(XFLOAT_MAX_EXPONENT - 1);
    }
  }

  xfloat_t value()
  {
    const bool negative = (bits() & 1) != 0;
    u128 s = significand();
    int e = exponent();
    switch ( below(16) )
    {
      case 0: e = 0; s = below(2) == 0 ? 0 : s; break;                    // zeros, with or without a stray significand
      case 1: e = XFLOAT_MAX_EXPONENT; s = below(2) == 0 ? u128(1) << 111 : s; break;   // infinities and NaNs
      case 2: s >>= 1 + below(112); break;                                 // unnormal: no leading bit
      default: break;
    }
    return make(negative, e, s);
  }

  // A second operand near the first: same or nearby exponent, significand equal or a few units away.
  xfloat_t near(const xfloat_t &a)
  {
    const bool negative = (bits() & 1) != 0;
    int e = std::clamp(exponent_of(a) + below(9) - 4, 0, XFLOAT_MAX_EXPONENT);
    if ( below(4) == 0 )
      e = std::clamp(exponent_of(a) + below(240) - 120, 0, XFLOAT_MAX_EXPONENT);
    u128 s = significand_of(a);
    switch ( below(4) )
    {
      case 0: break;
      case 1: s += bits() & 0xFF; break;
      case 2: s -= bits() & 0xFF; break;
      default: s = significand(); break;
    }
    return make(negative, e, s & ((u128(1) << 112) - 1));
  }

  xfloat_t pair_operand(const xfloat_t &a) { return below(2) == 0 ? near(a) : value(); }

  static xfloat_t make(bool negative, int e, u128 s)
  {
    xfloat_t x;
    for ( int i = 0; i < 7; ++i )
      x.words[i] = uint16_t(s >> (16 * i));
    x.words[7] = uint16_t((negative ? XFLOAT_SIGN_BIT : 0) | e);
    return x;
  }

private:
  std::mt19937_64 rng_;
};

// x with another biased exponent, kept within 1..32767.
xfloat_t with_exponent(xfloat_t x, int exponent)
{
  x.words[7] = uint16_t((x.words[7] & XFLOAT_SIGN_BIT) | std::clamp(exponent, 1, XFLOAT_MAX_EXPONENT));
  return x;
}

// A result exponent near the bottom or the top of the range.
int result_target(operand_source_t &source, int i)
{
  return (i % 8 < 4 ? 1 : XFLOAT_MAX_EXPONENT - 1) + source.below(9) - 4;
}

// Runs a binary operation on both implementations and requires the same status and the same bytes.
template <typename Ours, typename Theirs>
void expect_same_binary(const char *name, const xfloat_t &a, const xfloat_t &b, Ours ours, Theirs theirs)
{
  xfloat_t mine = from_double(99);
  xfloat_t reference = mine;
  const int status = ours(a, b, &mine);
  const int expected = theirs(a, b, &reference);
  ASSERT_EQ(status, expected) << name << ' ' << describe(a) << ", " << describe(b);
  ASSERT_EQ(mine, reference) << name << ' ' << describe(a) << ", " << describe(b) << ": " << describe(mine)
                             << " instead of " << describe(reference);
}

TEST(XfloatDifferential, AddAndSubtract)
{
  operand_source_t source(51001);
  for ( int i = 0; i < sample(1500000); ++i )
  {
    const xfloat_t a = source.value();
    const xfloat_t b = source.pair_operand(a);
    const bool subtract = (i & 1) != 0;
    ASSERT_NO_FATAL_FAILURE(expect_same_binary(
      subtract ? "subtract" : "add", a, b,
      [&](const xfloat_t &x, const xfloat_t &y, xfloat_t *out) { return xfloat_add(x, y, out, subtract); },
      [&](const xfloat_t &x, const xfloat_t &y, xfloat_t *out) { return xfloat_reference::add(x, y, out, subtract); }));
  }
}

TEST(XfloatDifferential, Multiply)
{
  operand_source_t source(51002);
  for ( int i = 0; i < sample(1500000); ++i )
  {
    const xfloat_t a = source.value();
    xfloat_t b = source.value();
    // Exponents whose sum lands near either end of the range.
    if ( i % 4 == 0 )
      b = with_exponent(b, result_target(source, i) - exponent_of(a) + XFLOAT_BIAS - 1);
    ASSERT_NO_FATAL_FAILURE(expect_same_binary("multiply", a, b, xfloat_multiply, xfloat_reference::multiply));
  }
}

TEST(XfloatDifferential, Divide)
{
  operand_source_t source(51003);
  for ( int i = 0; i < sample(600000); ++i )
  {
    const xfloat_t a = source.value();
    xfloat_t b = i % 3 == 0 ? source.near(a) : source.value();
    if ( i % 4 == 1 )
      b = with_exponent(b, exponent_of(a) + XFLOAT_BIAS - result_target(source, i));
    ASSERT_NO_FATAL_FAILURE(expect_same_binary("divide", a, b, xfloat_divide, xfloat_reference::divide));
  }
}

TEST(XfloatDifferential, CompareAndIntegers)
{
  operand_source_t source(51004);
  for ( int i = 0; i < sample(1500000); ++i )
  {
    const xfloat_t a = source.value();
    const xfloat_t b = source.pair_operand(a);
    ASSERT_EQ(xfloat_compare(a, b), xfloat_reference::compare(a, b)) << describe(a) << ", " << describe(b);

    // Values with 0 to 66 integer bits, and halves among them.
    xfloat_t x = a;
    if ( i % 2 == 0 )
      x.words[7] = uint16_t((x.words[7] & XFLOAT_SIGN_BIT) | (XFLOAT_BIAS - 2 + source.below(68)));
    for ( bool round : {false, true} )
    {
      int64_t mine = 77;
      int64_t reference = 77;
      ASSERT_EQ(xfloat_to_int64(&mine, x, round), xfloat_reference::to_int64(&reference, x, round)) << describe(x);
      ASSERT_EQ(mine, reference) << describe(x);
    }

    const uint64_t r = source.bits();
    int64_t n = int64_t(r) >> source.below(64);
    if ( i % 64 == 0 )
      n = std::array<int64_t, 5>{INT64_MIN, INT64_MAX, 0, -1, INT64_MIN + 1}[size_t(i / 64 % 5)];
    xfloat_t mine;
    xfloat_t reference;
    int64_to_xfloat(n, &mine);
    xfloat_reference::from_int64(n, &reference);
    ASSERT_EQ(mine, reference) << n;
  }
}

TEST(XfloatDifferential, ProcessorFormats)
{
  operand_source_t source(51005);
  const int codes[] = {XFLOAT_PROC_SINGLE, XFLOAT_PROC_DOUBLE, XFLOAT_PROC_EXTENDED, 0, 2, 5, 6, 7};
  const int biases[] = {127, 1023, XFLOAT_BIAS};
  for ( int i = 0; i < sample(1000000); ++i )
  {
    const int code = codes[source.below(i % 16 == 0 ? 8 : 3)];
    // Towards the processor: values around the target's range.
    xfloat_t x = source.value();
    if ( i % 2 == 0 && code != 0 && code <= XFLOAT_PROC_EXTENDED && exponent_of(x) != 0 )
    {
      const int bias = biases[code == XFLOAT_PROC_SINGLE ? 0 : code == XFLOAT_PROC_DOUBLE ? 1 : 2];
      const int e = XFLOAT_BIAS + (source.below(2) == 0 ? bias : -bias) + source.below(9) - 4;
      x.words[7] = uint16_t((x.words[7] & XFLOAT_SIGN_BIT) | std::clamp(e, 1, XFLOAT_MAX_EXPONENT));
    }
    std::array<unsigned char, 16> mine;
    std::array<unsigned char, 16> reference;
    mine.fill(0x5A);
    reference.fill(0x5A);
    xfloat_t in = x;
    xfloat_t in_reference = x;
    ASSERT_EQ(xfloat_convert_processor(mine.data(), &in, code | XFLOAT_TO_PROCESSOR),
              xfloat_reference::convert_processor(reference.data(), &in_reference, code | XFLOAT_TO_PROCESSOR))
      << code << ' ' << describe(x);
    ASSERT_EQ(mine, reference) << code << ' ' << describe(x);

    // From the processor: raw bytes, with the exponent field often at its ends.
    for ( int k = 0; k < 16; k += 8 )
    {
      const uint64_t r = source.bits();
      std::memcpy(mine.data() + k, &r, 8);
    }
    if ( source.below(2) == 0 )
    {
      // Clear or fill the exponent field of the format.
      const unsigned char fill = source.below(2) == 0 ? 0x00 : 0xFF;
      if ( code == XFLOAT_PROC_SINGLE )
      {
        mine[3] = uint8_t((mine[3] & 0x80) | (fill & 0x7F));
        mine[2] = uint8_t((mine[2] & 0x7F) | (fill & 0x80));
      }
      else if ( code == XFLOAT_PROC_DOUBLE )
      {
        mine[7] = uint8_t((mine[7] & 0x80) | (fill & 0x7F));
        mine[6] = uint8_t((mine[6] & 0x0F) | (fill & 0xF0));
      }
      else
      {
        mine[9] = uint8_t((mine[9] & 0x80) | (fill & 0x7F));
        mine[8] = fill;
      }
      if ( source.below(2) == 0 )
        std::memset(mine.data(), 0, code == XFLOAT_PROC_SINGLE ? 2 : 6);
    }
    reference = mine;
    xfloat_t out = from_double(7);
    xfloat_t out_reference = out;
    ASSERT_EQ(xfloat_convert_processor(mine.data(), &out, code),
              xfloat_reference::convert_processor(reference.data(), &out_reference, code))
      << code;
    ASSERT_EQ(out, out_reference) << code << ": " << describe(out);
  }
}

//--------------------------------------------------------------------------------------------------------------
// Working form

// The same random working value in both implementations' types.
struct work_pair_t
{
  xfloat_work_t mine;
  xfloat_reference::xfloat_work_t reference;
};

work_pair_t random_work(operand_source_t &source, bool normalised)
{
  work_pair_t w;
  for ( int i = 0; i < 11; ++i )
    w.mine.words[i] = uint16_t(source.bits());
  w.mine.words[XW_SIGN] = source.below(2) == 0 ? 0 : 0xFFFF;
  w.mine.words[XW_EXPONENT] = uint16_t(source.below(XFLOAT_MAX_EXPONENT + 1));
  if ( normalised )
  {
    w.mine.words[XW_OVERFLOW] = 0;
    w.mine.words[XW_TOP] |= 0x8000;
  }
  else
  {
    // Clear a random number of the top words, so that every shift distance comes up.
    const int clear = source.below(10);
    for ( int i = XW_OVERFLOW; i < XW_OVERFLOW + clear; ++i )
      w.mine.words[i] = 0;
    if ( source.below(2) == 0 )
      w.mine.words[XW_OVERFLOW] &= 0x000F;
  }
  if ( source.below(4) == 0 )
    w.mine.words[XW_ROUND] = source.below(2) == 0 ? 0x8000 : 0;   // ties and exact values
  std::memcpy(&w.reference, &w.mine, sizeof(w.mine));
  return w;
}

void expect_same_work(const work_pair_t &w, const char *name, int step)
{
  ASSERT_EQ(std::memcmp(&w.mine, &w.reference, sizeof(w.mine)), 0) << name << " at " << step;
}

TEST(XfloatDifferential, WorkingForm)
{
  operand_source_t source(51006);
  const int precisions[] = {112, 64, 53, 24};
  for ( int i = 0; i < sample(200000); ++i )
  {
    work_pair_t w = random_work(source, false);
    const bool lost = source.below(2) == 0;
    const bool subtract = source.below(2) == 0;
    int e = source.below(4) == 0 ? source.below(400) - 200 : source.below(XFLOAT_MAX_EXPONENT + 200);
    if ( source.below(4) == 0 )
      e = XFLOAT_MAX_EXPONENT - source.below(20);
    const int precision = precisions[source.below(4)];
    ASSERT_EQ(xfloat_round(&w.mine, lost, subtract, e, precision),
              xfloat_reference::xfloat_round(&w.reference, lost, subtract, e, precision));
    ASSERT_NO_FATAL_FAILURE(expect_same_work(w, "round", i));

    w = random_work(source, false);
    const int n = source.below(320) - 160;
    ASSERT_EQ(xfloat_shift(&w.mine, n), xfloat_reference::xfloat_shift(&w.reference, n)) << n;
    ASSERT_NO_FATAL_FAILURE(expect_same_work(w, "shift", i));

    w = random_work(source, false);
    bool lost_mine = false;
    bool lost_reference = false;
    ASSERT_EQ(xfloat_normalize(&w.mine, &lost_mine), xfloat_reference::xfloat_normalize(&w.reference, &lost_reference));
    ASSERT_EQ(lost_mine, lost_reference);
    ASSERT_NO_FATAL_FAILURE(expect_same_work(w, "normalize", i));

    // Significand operations on normalised operands, as their callers give them.
    const work_pair_t a = random_work(source, true);
    w = random_work(source, true);
    w.mine.words[XW_ROUND] = 0;
    w.reference.words[XW_ROUND] = 0;
    const work_pair_t b = w;
    ASSERT_EQ(significand_multiply(a.mine, &w.mine), xfloat_reference::significand_multiply(a.reference, &w.reference));
    ASSERT_NO_FATAL_FAILURE(expect_same_work(w, "multiply", i));
    w = b;
    ASSERT_EQ(significand_divide(a.mine, &w.mine), xfloat_reference::significand_divide(a.reference, &w.reference));
    ASSERT_NO_FATAL_FAILURE(expect_same_work(w, "divide", i));
    w = b;
    ASSERT_EQ(significand_add(a.mine, &w.mine), xfloat_reference::significand_add(a.reference, &w.reference));
    ASSERT_NO_FATAL_FAILURE(expect_same_work(w, "add", i));
    w = b;
    ASSERT_EQ(significand_subtract(a.mine, &w.mine), xfloat_reference::significand_subtract(a.reference, &w.reference));
    ASSERT_NO_FATAL_FAILURE(expect_same_work(w, "subtract", i));
    ASSERT_EQ(significand_compare(a.mine, b.mine), xfloat_reference::significand_compare(a.reference, b.reference));

    // Digits: a remainder below 16 times the divisor, the divisor with room above it.
    work_pair_t t = random_work(source, true);
    xfloat_shift(&t.mine, -4);
    xfloat_reference::xfloat_shift(&t.reference, -4);
    w = random_work(source, true);
    xfloat_shift(&w.mine, -source.below(8));
    std::memcpy(&w.reference, &w.mine, sizeof(w.mine));
    ASSERT_EQ(significand_remainder(t.mine, &w.mine), xfloat_reference::significand_remainder(t.reference, &w.reference));
    ASSERT_NO_FATAL_FAILURE(expect_same_work(w, "remainder", i));
    // Products of any two 144-bit significands keep bits 128..271.
    const work_pair_t any = random_work(source, false);
    w = random_work(source, false);
    ASSERT_EQ(significand_multiply(any.mine, &w.mine), xfloat_reference::significand_multiply(any.reference, &w.reference));
    ASSERT_NO_FATAL_FAILURE(expect_same_work(w, "multiply any", i));
    w = random_work(source, false);
    ASSERT_EQ(significand_divide(any.mine, &w.mine), xfloat_reference::significand_divide(any.reference, &w.reference));
    ASSERT_NO_FATAL_FAILURE(expect_same_work(w, "divide any", i));

    const unsigned digit = unsigned(source.below(10));
    w = random_work(source, false);
    ASSERT_EQ(significand_times_ten(&w.mine, digit), xfloat_reference::significand_times_ten(&w.reference, digit));
    ASSERT_NO_FATAL_FAILURE(expect_same_work(w, "times ten", i));
  }
}

//--------------------------------------------------------------------------------------------------------------
// Text

// A literal of one of many shapes: signs, blanks, leading and trailing zeros, long digit runs, points, exponents
// of every size, and what may follow.
std::string random_literal(operand_source_t &source)
{
  static const char *const followers[] = {"", "", "", "x", "z", ".", "e", "E", "+", "-", ";", " ", "e+", "e-", "5"};
  std::string text;
  for ( int blanks = source.below(3); blanks > 0; --blanks )
    text += " \t\n"[source.below(3)];
  const int sign = source.below(4);
  if ( sign == 1 )
    text += '-';
  else if ( sign == 2 )
    text += '+';
  auto digits = [&](int count) {
    std::string d;
    const int style = source.below(4);
    for ( int i = 0; i < count; ++i )
      d += style == 0 ? '9' : style == 1 && i > 0 ? '0' : char('0' + source.below(10));
    return d;
  };
  auto digit_count = [&] { return source.below(4) == 0 ? source.below(80) : source.below(20); };
  if ( source.below(8) == 0 )
    text += std::string(size_t(source.below(30)), '0');
  text += digits(digit_count());
  if ( source.below(2) == 0 )
  {
    text += '.';
    if ( source.below(6) == 0 )
      text += std::string(size_t(source.below(60)), '0');
    text += digits(digit_count());
    if ( source.below(4) == 0 )
      text += std::string(size_t(source.below(10)), '0');
  }
  if ( source.below(2) == 0 )
  {
    text += source.below(2) == 0 ? 'e' : 'E';
    const int exponent_sign = source.below(3);
    if ( exponent_sign == 1 )
      text += '-';
    else if ( exponent_sign == 2 )
      text += '+';
    static const int reaches[] = {10, 100, 5000, 40000};
    int magnitude = source.below(reaches[source.below(4)]);
    if ( source.below(8) == 0 )
      magnitude = 4900 + source.below(60);   // the ends of the range
    text += (source.below(10) == 0 ? "0" : "") + std::to_string(magnitude);
  }
  text += followers[source.below(int(std::size(followers)))];
  return text;
}

TEST(XfloatDifferential, TextToFloat)
{
  operand_source_t source(51007);
  char buffer[128];
  for ( int i = 0; i < sample(300000); ++i )
  {
    std::string text;
    if ( i % 4 == 0 )
    {
      // Texts as the writer makes them, with every digit count, and a last digit moved by one.
      text = xfloat_reference::float_to_text(buffer, sizeof(buffer), source.value(), uint32_t(source.below(40)));
      if ( source.below(2) == 0 && text.size() > 3 )
      {
        const size_t at = text.find('e') == std::string::npos ? text.size() - 1 : text.find('e') - 1;
        if ( text[at] >= '1' && text[at] <= '8' )
          text[at] = char(text[at] + (source.below(2) == 0 ? 1 : -1));
      }
    }
    else
    {
      text = random_literal(source);
    }
    const char *mine_position = text.c_str();
    const char *reference_position = text.c_str();
    xfloat_t mine = from_double(99);
    xfloat_t reference = mine;
    ASSERT_EQ(text_to_float(&mine_position, &mine), xfloat_reference::text_to_float(&reference_position, &reference))
      << '"' << text << '"';
    ASSERT_EQ(mine, reference) << '"' << text << "\": " << describe(mine) << " instead of " << describe(reference);
    ASSERT_EQ(mine_position - text.c_str(), reference_position - text.c_str()) << '"' << text << '"';
  }
}

TEST(XfloatDifferential, FloatToText)
{
  operand_source_t source(51008);
  for ( int i = 0; i < sample(100000); ++i )
  {
    xfloat_t x = source.value();
    if ( i % 4 == 0 )
    {
      // Integers with decimal zeros, and values whose digits end in a tie.
      int64_to_xfloat(int64_t(source.bits() % 100000) * std::array<int64_t, 4>{1, 1000, 1000000, 10000000000}[size_t(source.below(4))], &x);
      if ( source.below(2) == 0 )
        xfloat_divide(x, from_double(std::array<double, 4>{2, 8, 1024, 1e16}[size_t(source.below(4))]), &x);
    }
    const uint32_t format = source.below(4) == 0 ? 50 : source.below(8) == 0 ? 0x100 | uint32_t(source.below(256)) : uint32_t(source.below(34));
    const size_t size = source.below(8) == 0 ? size_t(source.below(20)) : 64;
    char mine[64];
    char reference[64];
    std::memset(mine, 'x', sizeof(mine));
    std::memset(reference, 'x', sizeof(reference));
    float_to_text(mine, size, x, format);
    xfloat_reference::float_to_text(reference, size, x, format);
    ASSERT_EQ(std::memcmp(mine, reference, sizeof(mine)), 0)
      << describe(x) << " format " << format << " size " << size << ": \"" << std::string(mine, strnlen(mine, 64))
      << "\" instead of \"" << std::string(reference, strnlen(reference, 64)) << '"';
  }
}

} // namespace
