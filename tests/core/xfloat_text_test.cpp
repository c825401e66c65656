// Tests of the decimal text conversions of the 16-byte software float.
#include "core/xfloat_text.h"

#include "tests/support/interr_capture.h"
#include "xfloat_values.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

struct reading_t
{
  int status;
  xfloat_t value;
  ptrdiff_t consumed;
};

reading_t read_text(const char *text)
{
  reading_t r;
  const char *position = text;
  r.value = from_double(99);
  r.status = text_to_float(&position, &r.value);
  r.consumed = position - text;
  return r;
}

std::string write_text(const xfloat_t &x, uint32_t format = 50)
{
  char buffer[128];
  EXPECT_EQ(float_to_text(buffer, sizeof(buffer), x, format), buffer);
  return buffer;
}

xfloat_t parse(const char *text)
{
  const reading_t r = read_text(text);
  EXPECT_EQ(r.status, XFLOAT_OK) << text;
  return r.value;
}

// Distance in units of the last place between two values of the same sign and nearby magnitude.
long ulp_distance(const xfloat_t &a, const xfloat_t &b)
{
  u128 sa = significand_of(a);
  u128 sb = significand_of(b);
  const int ea = exponent_of(a);
  const int eb = exponent_of(b);
  if ( ea == eb + 1 )
    sa <<= 1;
  else if ( eb == ea + 1 )
    sb <<= 1;
  else if ( ea != eb )
    return 1L << 40;
  return long(sa > sb ? sa - sb : sb - sa);
}

// What the C library reads from a text, at its 64-bit precision.
long double c_library_value(const std::string &text)
{
  return std::strtold(text.c_str(), nullptr);
}

//--------------------------------------------------------------------------------------------------------------
// Reading

TEST(XfloatText, ReadsLiterals)
{
  const xfloat_t minus_zero = make_x(true, 0, {});
  struct case_t
  {
    const char *text;
    int status;
    xfloat_t value;
    ptrdiff_t consumed;
  };
  const case_t cases[] = {
    {"1.5", XFLOAT_OK, make_x(false, 16383, {0xC000, 0, 0, 0, 0, 0, 0}), 3},
    {"  -0.0", XFLOAT_OK, minus_zero, 6},
    {"+", XFLOAT_OK, xfloat_zero, 1},
    {"-", XFLOAT_OK, minus_zero, 1},
    {".", XFLOAT_OK, xfloat_zero, 1},
    {"+.", XFLOAT_OK, xfloat_zero, 2},
    {"1e-0", XFLOAT_NOT_NUMBER, xfloat_zero, 4},
    {"1e-00", XFLOAT_NOT_NUMBER, xfloat_zero, 5},
    {"1e", XFLOAT_NOT_NUMBER, xfloat_zero, 2},
    {"1e+", XFLOAT_NOT_NUMBER, xfloat_zero, 3},
    {"1ex", XFLOAT_NOT_NUMBER, xfloat_zero, 2},
    {"e5", XFLOAT_NOT_NUMBER, xfloat_zero, 0},
    {"+e5", XFLOAT_NOT_NUMBER, xfloat_zero, 1},
    {".e5", XFLOAT_NOT_NUMBER, xfloat_zero, 1},
    {"1e+0", XFLOAT_OK, xfloat_one, 4},
    {"1e0005", XFLOAT_OK, from_double(1e5), 6},
    {"1.2.3", XFLOAT_OK, parse("1.2"), 3},
    {"1+2", XFLOAT_OK, xfloat_one, 1},
    {"12x", XFLOAT_OK, from_double(12), 2},
    {"12z", XFLOAT_NOT_NUMBER, xfloat_zero, 2},
    {"z", XFLOAT_NOT_NUMBER, xfloat_zero, 0},
    {"1.5z", XFLOAT_OK, make_x(false, 16383, {0xC000, 0, 0, 0, 0, 0, 0}), 3},
    {"5.z", XFLOAT_OK, from_double(5), 2},
    {"5.e3", XFLOAT_OK, from_double(5000), 4},
    {"0.e5", XFLOAT_OK, xfloat_zero, 4},
    {"+.5", XFLOAT_OK, xfloat_half, 3},
    {"1..2", XFLOAT_OK, xfloat_one, 2},
    {"1e5e3", XFLOAT_OK, from_double(1e5), 3},
    {"1e5.3", XFLOAT_OK, from_double(1e5), 3},
    {"1.50e2", XFLOAT_OK, from_double(150), 6},
    {"-1.25E-2", XFLOAT_OK, parse("-125e-4"), 8},
    {"007", XFLOAT_OK, from_double(7), 3},
    {"0.000", XFLOAT_OK, xfloat_zero, 5},
    {"\t\n 42 ", XFLOAT_OK, from_double(42), 5},
    {"+x", XFLOAT_NOT_NUMBER, xfloat_zero, 1},
    {"--1", XFLOAT_NOT_NUMBER, xfloat_zero, 1},
    {"- 1", XFLOAT_NOT_NUMBER, xfloat_zero, 1},
    {"x1", XFLOAT_NOT_NUMBER, xfloat_zero, 0},
    {"", XFLOAT_NOT_NUMBER, xfloat_zero, 0},
    {"   ", XFLOAT_NOT_NUMBER, xfloat_zero, 0},
    {"1e32767", XFLOAT_RANGE, xfloat_zero, 7},
    {"1e32768", XFLOAT_NOT_NUMBER, xfloat_zero, 7},
    {"1e999999999999999999999", XFLOAT_NOT_NUMBER, xfloat_zero, 23},
    {"1e5000", XFLOAT_RANGE, xfloat_zero, 6},
    {"1e-5000", XFLOAT_RANGE, xfloat_zero, 7},
    {"0e99999", XFLOAT_NOT_NUMBER, xfloat_zero, 7},
    {"0e-9999", XFLOAT_OK, xfloat_zero, 7},
    {"1.19e4932", XFLOAT_RANGE, xfloat_zero, 9},
    {"3.3e-4932", XFLOAT_RANGE, xfloat_zero, 9},
    {"0.1", XFLOAT_OK, make_x(false, 0x3FFB, {0xCCCC, 0xCCCC, 0xCCCC, 0xCCCC, 0xCCCC, 0xCCCC, 0xCCCD}), 3},
    // 2^112 - 1 is the largest integer of the format; 2^112 + 1 ties to the even 2^112.
    {"5192296858534827628530496329220095", XFLOAT_OK, make_x(false, 16383 + 111, ALL_ONES), 34},
    {"5192296858534827628530496329220097", XFLOAT_OK, make_x(false, 16383 + 112, LEAD), 34},
  };
  for ( const case_t &c : cases )
  {
    const reading_t r = read_text(c.text);
    EXPECT_EQ(r.status, c.status) << '"' << c.text << '"';
    EXPECT_EQ(r.value, c.value) << '"' << c.text << "\": " << describe(r.value);
    EXPECT_EQ(r.consumed, c.consumed) << '"' << c.text << '"';
  }
}

TEST(XfloatText, ReadsTheRangeLimits)
{
  // The largest value, (2 - 2^-111) * 2^16383, is 1.1897314953572317650857593266280069016e4932; the smallest,
  // 2^-16382, is 3.3621031431120935062626778173217526e-4932.
  struct case_t
  {
    const char *text;
    int status;
  };
  const case_t cases[] = {
    {"1.189731495357231765085759326628e4932", XFLOAT_OK},
    {"1.18973149535723176508575932663e4932", XFLOAT_RANGE},
    {"1.18e4932", XFLOAT_OK},
    {"-1.18e4932", XFLOAT_OK},
    {"3.36210314311209350626267781733e-4932", XFLOAT_OK},
    {"3.36210314311209350626267781732e-4932", XFLOAT_RANGE},
    {"3.4e-4932", XFLOAT_OK},
    {"-3.4e-4932", XFLOAT_OK},
  };
  for ( const case_t &c : cases )
  {
    const reading_t r = read_text(c.text);
    EXPECT_EQ(r.status, c.status) << c.text;
    if ( r.status == XFLOAT_OK )
    {
      EXPECT_EQ(c_library_value(write_text(r.value)), c_library_value(c.text)) << c.text;
    }
  }
  EXPECT_EQ(write_text(make_x(false, 32766, ALL_ONES)), "1.189731495357231765085759326628007e4932");
  EXPECT_EQ(write_text(parse("1.18e4932")), "1.18e4932");
}

TEST(XfloatText, ReadsLongLiteralsWhole)
{
  // Digits past the working precision still count toward the magnitude.
  const std::string forty = "1234567890123456789012345678901234567890";
  reading_t r = read_text(forty.c_str());
  EXPECT_EQ(r.status, XFLOAT_OK);
  EXPECT_EQ(r.consumed, 40);
  EXPECT_EQ(to_double(r.value), 1234567890123456789012345678901234567890.0);

  // A literal far longer than any buffer: a hundred zeros after the point, then the digits, then an exponent.
  const std::string small = "0." + std::string(100, '0') + "15e3";
  r = read_text(small.c_str());
  EXPECT_EQ(r.status, XFLOAT_OK);
  EXPECT_EQ(r.consumed, ptrdiff_t(small.size()));
  EXPECT_EQ(r.value, parse("1.5e-98"));

  std::string digits;
  for ( int i = 0; i < 12; ++i )
    digits += "1234567890";
  const std::string scaled = digits + "e-110";
  r = read_text(scaled.c_str());
  EXPECT_EQ(r.status, XFLOAT_OK);
  EXPECT_EQ(r.consumed, ptrdiff_t(scaled.size()));
  EXPECT_EQ(write_text(r.value, 20), "1.23456789012345678901e9");
  EXPECT_EQ(to_double(r.value), 1234567890.1234567890);

  // A dropped non-zero digit breaks a tie upward: 2^112 + 1 ties, 2^112 + 1.000...1 does not.
  const std::string above_tie = "5192296858534827628530496329220097" + std::string(50, '0') + "1e-51";
  r = read_text(above_tie.c_str());
  EXPECT_EQ(r.status, XFLOAT_OK);
  EXPECT_EQ(r.value, make_x(false, 16383 + 112, {0x8000, 0, 0, 0, 0, 0, 1})) << describe(r.value);

  // The position lands after the whole literal, so a reader goes on after it.
  const std::string followed = std::string(200, '7') + ".5;";
  r = read_text(followed.c_str());
  EXPECT_EQ(r.status, XFLOAT_OK);
  EXPECT_EQ(followed[size_t(r.consumed)], ';');
}

TEST(XfloatText, LiteralsToDoubles)
{
  // The route of a JSON number: text, then the double nearest to the value read.
  struct case_t
  {
    const char *text;
    int status;
    double value;
  };
  const case_t cases[] = {
    {"0.1", 1, 0.1},
    {"-123.456e-7", 1, -123.456e-7},
    {"2.2250738585072014e-308", 1, 0x1p-1022},
    {"1.7976931348623157e308", 1, 0x1.fffffffffffffp1023},
    {"1.7976931348623159e308", XFLOAT_PROC_RANGE, 0},
    {"1e400", XFLOAT_PROC_RANGE, 0},
    {"1e-400", XFLOAT_PROC_RANGE, 0},
  };
  for ( const case_t &c : cases )
  {
    xfloat_t x = parse(c.text);
    double d = 0;
    EXPECT_EQ(xfloat_convert_processor(&d, &x, XFLOAT_TO_PROCESSOR | XFLOAT_PROC_DOUBLE), c.status) << c.text;
    EXPECT_EQ(d, c.value) << c.text;
  }
}

//--------------------------------------------------------------------------------------------------------------
// Writing

TEST(XfloatText, WritesValues)
{
  struct case_t
  {
    const char *name;
    xfloat_t x;
    uint32_t format;
    const char *text;
  };
  const case_t cases[] = {
    {"1.5", make_x(false, 16383, {0xC000, 0, 0, 0, 0, 0, 0}), 50, "1.5"},
    {"one", xfloat_one, 50, "1.0"},
    {"+0", xfloat_zero, 50, "0.0"},
    {"-0", make_x(true, 0, {}), 50, "-0.0"},
    {"+inf", make_x(false, 32767, LEAD), 50, "+Inf"},
    {"-inf", make_x(true, 32767, LEAD), 50, "-Inf"},
    {"NaN", make_x(true, 32767, {0x8000, 0, 0, 0, 0, 0, 1}), 50, "NaN"},
    {"1e-5", parse("1e-5"), 50, "1.0e-5"},
    {"12345", from_double(12345), 50, "1.2345e4"},
    {"0.1", parse("0.1"), 50, "1.0e-1"},
    {"2.5", from_double(2.5), 50, "2.5"},
    {"1500", from_double(1500), 50, "1.5e3"},
    {"-2.5e-7", parse("-2.5e-7"), 50, "-2.5e-7"},
    {"10^40", parse("1e40"), 50, "1.0e40"},
    {"2^-10", from_double(0x1p-10), 50, "9.765625e-4"},
    {"2^64", from_double(0x1p64), 50, "1.8446744073709551616e19"},
    {"2^-60", from_double(0x1p-60), 50, "8.673617379884035472059622406959534e-19"},
    {"largest integer", make_x(false, 16383 + 111, ALL_ONES), 50, "5.192296858534827628530496329220095e33"},
    {"0.1 as a double", from_double(0.1), 50, "1.000000000000000055511151231257827e-1"},
    {"five digits", from_double(1.0 / 3), 5, "3.33333e-1"},
    {"digits ask beyond 33", from_double(0.75), 200, "7.5e-1"},
    {"only the low byte counts", from_double(1.0 / 3), 0x105, "3.33333e-1"},
    {"no digits: tie stays even", from_double(8.5), 0, "8.0"},
    {"no digits: tie rounds up", from_double(9.5), 0, "1.0e1"},
    {"one digit: carry through the point", from_double(9.96), 1, "1.0e1"},
    {"one digit: rounds up", from_double(0.96875), 1, "9.7e-1"},
    {"two digits: tie to even", from_double(1.125), 2, "1.12"},
    {"two digits: tie rounds up", from_double(1.375), 2, "1.38"},
    {"negative", from_double(-1234.5), 50, "-1.2345e3"},
    // Large integers: their decimal zeros are divided out exactly before the power of ten is formed.
    {"integer ending in a zero", from_double(0x1.a888decec68a6p+178), 50, "6.35349079809289928508281712919271e53"},
    {"integer ending in 60", from_double(0x1.6fc9c5p+202), 50, "9.234574845590733800611134798017203e60"},
  };
  for ( const case_t &c : cases )
    EXPECT_EQ(write_text(c.x, c.format), c.text) << c.name;

  // 1/3 rounded up at 112 bits is 0.33333333333333333333333333333333335..., and so on.
  xfloat_t third;
  ASSERT_EQ(xfloat_divide(xfloat_one, from_double(3), &third), XFLOAT_OK);
  EXPECT_EQ(write_text(third), "3.333333333333333333333333333333334e-1");
  xfloat_t two_thirds;
  ASSERT_EQ(xfloat_divide(from_double(2), from_double(3), &two_thirds), XFLOAT_OK);
  EXPECT_EQ(write_text(two_thirds), "6.666666666666666666666666666666667e-1");
}

TEST(XfloatText, BufferSizes)
{
  char buffer[8];
  std::memset(buffer, 'x', sizeof(buffer));
  float_to_text(buffer, 4, from_double(1.25), 50);
  EXPECT_STREQ(buffer, "1.2");
  std::memset(buffer, 'x', sizeof(buffer));
  float_to_text(buffer, 0, from_double(1.25), 50);
  EXPECT_EQ(buffer[0], 'x');

  EXPECT_EQ(interr_number([&] { float_to_text(buffer, size_t(1) << 63, xfloat_one, 50); }), 1225);
}

//--------------------------------------------------------------------------------------------------------------
// Round trips

TEST(XfloatText, PowersOfTenRoundTrip)
{
  // Every power of ten in range writes back as a text of the same value; the 34th significant digit carries the
  // few units of the last place that reading and writing may each be off by, so only powers near 1 come back
  // as the very same text.
  for ( int k = -4931; k <= 4932; ++k )
  {
    const std::string text = "1e" + std::to_string(k);
    const xfloat_t x = parse(text.c_str());
    const std::string written = write_text(x);
    if ( k >= -50 && k <= 50 )
    {
      ASSERT_EQ(written, k == 0 ? "1.0" : "1.0e" + std::to_string(k)) << describe(x);
    }
    ASSERT_EQ(c_library_value(written), c_library_value(text)) << written;
    ASSERT_LE(ulp_distance(x, parse(written.c_str())), 16) << written;
  }
}

TEST(XfloatText, RandomDoublesRoundTrip)
{
  std::mt19937_64 rng(1126);
  for ( int i = 0; i < 4000; ++i )
  {
    uint64_t bits = rng();
    const uint64_t exponent = 1 + (bits >> 52 & 0x7FF) % 2046;
    bits = (bits & 0x800FFFFFFFFFFFFF) | (exponent << 52);
    const double d = std::bit_cast<double>(bits);
    const xfloat_t x = from_double(d);
    ASSERT_EQ(to_double(x), d);

    // Our text reads back to the same value, here and in the C library.
    const std::string text = write_text(x);
    const xfloat_t back = parse(text.c_str());
    ASSERT_EQ(to_double(back), d) << text;
    ASSERT_LE(ulp_distance(x, back), 8) << text << ": " << describe(x) << " / " << describe(back);
    ASSERT_EQ(std::strtod(text.c_str(), nullptr), d) << text;

    // The C library's shortest exact text reads to the same double.
    char shortest[64];
    std::snprintf(shortest, sizeof(shortest), "%.17g", d);
    ASSERT_EQ(to_double(parse(shortest)), d) << shortest;
  }
}

} // namespace
