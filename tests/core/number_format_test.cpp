// Tests of byte-size texts and their parser, radix digit strings and C-literal number texts.
#include "core/number_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/interr_capture.h"

namespace
{

std::string c_number(uint64_t low, int nbytes, uint32_t flags, uint64_t high = 0)
{
  char buf[64];
  const int len = print_c_number(buf, sizeof(buf), { low, high }, nbytes, flags);
  EXPECT_EQ(size_t(len), strlen(buf));
  return buf;
}

} // namespace

//--------------------------------------------------------------------------
TEST(ByteSize, FormatTable)
{
  const struct { uint64_t value; const char *text; } cases[] =
  {
    { 0, "0" },
    { 9999, "9999" },
    { 10000, "9.8k" },
    { 102347, "99.9k" },
    { 102348, "99k" },
    { 1023999, "999k" },
    { 1024000, "0.98M" },
    { 1048575, "1.00M" },
    { 10480516, "9.99M" },
    { 10480517, "10.0M" },
    { 104805170, "99.9M" },
    { 104805171, "99M" },
    { 1048575999, "999M" },
    { 1048576000, "0.98G" },
    { 10732049529, "9.99G" },
    { 10732049530, "10.0G" },
    { 107320495308, "99G" },
    { 1073741824000, "0.98T" },
    { 10989618719621, "10.0T" },
    { 109896187196211, "99T" },
    { 1099511627775999, "999T" },
    { 1099511627776000, "infty" },
    { uint64_t(1) << 60, "infty" },
    { UINT64_MAX, "infty" },
  };
  for ( const auto &c : cases )
  {
    char buf[16];
    EXPECT_EQ(format_byte_size(buf, sizeof(buf), c.value), int(strlen(c.text))) << c.value;
    EXPECT_STREQ(buf, c.text) << c.value;
  }
}

TEST(ByteSize, FormatIsBounded)
{
  char buf[8] = "#######";
  EXPECT_EQ(format_byte_size(buf, 4, 10000), 3);
  EXPECT_STREQ(buf, "9.8");
  EXPECT_EQ(format_byte_size(buf, 3, UINT64_MAX), 2);
  EXPECT_STREQ(buf, "in");
  EXPECT_EQ(format_byte_size(buf, 0, 5), 0);
  EXPECT_STREQ(buf, "in") << "size 0 leaves the buffer alone";
}

TEST(ByteSize, ParseTable)
{
  const struct { const char *text; bool ok; uint64_t value; } cases[] =
  {
    { "1.5k", true, 1536 },
    { "2M", true, 2097152 },
    { "1G", true, uint64_t(1) << 30 },
    { "3T", true, uint64_t(3) << 40 },
    { "123", true, 123 },
    { "0", true, 0 },
    { "0.5k", true, 512 },
    { "1.5", true, 1 },
    { "1.", true, 1 },
    { " 12", true, 12 },
    { "+7k", true, 7168 },
    { "infty", true, UINT64_MAX },
    { "18446744073709551615", true, UINT64_MAX },
    { "16777215T", true, uint64_t(16777215) << 40 },
    { "1,5k", false, 0 },
    { "k", false, 0 },
    { "", false, 0 },
    { "abc", false, 0 },
    { "12a", false, 0 },
    { "1.5kk", false, 0 },
    { "1.5m", false, 0 },
    { "1K", false, 0 },
    { "-5", false, 0 },
    { "-1.5k", false, 0 },
    { "18446744073709551616", false, 0 },
    { "16777216T", false, 0 },
    { "20000000000000000000.0", false, 0 },
    { "nan.", false, 0 },
    { "infty ", false, 0 },
  };
  for ( const auto &c : cases )
  {
    uint64_t value = 99;
    EXPECT_EQ(parse_byte_size(&value, c.text), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.ok ? c.value : 99) << '"' << c.text << '"';
  }
  EXPECT_FALSE(parse_byte_size(nullptr, nullptr));
  EXPECT_TRUE(parse_byte_size(nullptr, "4k"));
}

TEST(ByteSize, FormattedSizesParseBackToTheirRoundedValue)
{
  const struct { uint64_t value; uint64_t parsed; } cases[] =
  {
    { 9999, 9999 },
    { 102348, 99 << 10 },
    { uint64_t(5) << 20, uint64_t(5) << 20 },       // "5.00M"
    { 1536, 1536 },                                 // "1536"
    { 15 << 10, 15 << 10 },                         // "15.0k"
    { uint64_t(999) << 40, uint64_t(999) << 40 },   // "999T"
    { UINT64_MAX, UINT64_MAX },                     // "infty"
  };
  for ( const auto &c : cases )
  {
    char buf[16];
    format_byte_size(buf, sizeof(buf), c.value);
    uint64_t back = 0;
    EXPECT_TRUE(parse_byte_size(&back, buf)) << buf;
    EXPECT_EQ(back, c.parsed) << buf;
  }
}

//--------------------------------------------------------------------------
TEST(Digits, Table32)
{
  const struct { uint32_t value; int radix; bool pad; const char *text; } cases[] =
  {
    { 0x1F, 16, false, "1F" },
    { 0x1F, 16, true, "0000001F" },
    { 0xABCDEF01, 16, false, "ABCDEF01" },
    { 5, 2, false, "101" },
    { 5, 2, true, "00000000000000000000000000000101" },
    { 0, 2, true, "00000000000000000000000000000000" },
    { 0, 10, false, "0" },
    { 0, 0, true, "0000000000" },
    { 0, 7, true, "00000000" },
    { 0, 7, false, "0" },
    { 5, 7, false, "" },
    { 5, 0, true, "" },
    { 8, 8, false, "10" },
    { 8, 8, true, "00000000010" },
    { UINT32_MAX, 8, false, "37777777777" },
    { UINT32_MAX, 10, false, "4294967295" },
    { 42, 10, true, "0000000042" },
  };
  for ( const auto &c : cases )
  {
    char buf[72];
    char *end = digits_u32(buf, c.value, c.radix, c.pad);
    EXPECT_STREQ(buf, c.text) << c.value << " radix " << c.radix << (c.pad ? " padded" : "");
    EXPECT_EQ(end, buf + strlen(buf));
  }
}

TEST(Digits, Table64)
{
  const struct { uint64_t value; int radix; bool pad; const char *text; } cases[] =
  {
    { UINT64_MAX, 10, false, "18446744073709551615" },
    { UINT64_MAX, 16, false, "FFFFFFFFFFFFFFFF" },
    { UINT64_MAX, 8, false, "1777777777777777777777" },
    { 1, 8, true, "0000000000000000000001" },
    { 0xABC, 16, true, "0000000000000ABC" },
    { 7, 10, true, "00000000000000000007" },
    { 0, 2, true, "0000000000000000000000000000000000000000000000000000000000000000" },
    { uint64_t(1) << 63, 2, false, "1000000000000000000000000000000000000000000000000000000000000000" },
    { 0, 16, false, "0" },
    { 9, 3, true, "" },
  };
  for ( const auto &c : cases )
  {
    char buf[72];
    char *end = digits_u64(buf, c.value, c.radix, c.pad);
    EXPECT_STREQ(buf, c.text) << c.value << " radix " << c.radix << (c.pad ? " padded" : "");
    EXPECT_EQ(end, buf + strlen(buf));
  }
}

//--------------------------------------------------------------------------
TEST(CNumber, Table)
{
  const struct { const char *name; uint64_t low; uint64_t high; int n; uint32_t flags; const char *text; } cases[] =
  {
    { "hex byte", 255, 0, 1, CNUM_HEX, "0xFF" },
    { "small hex is decimal", 5, 0, 1, CNUM_HEX, "5" },
    { "small hex in radix form", 5, 0, 1, CNUM_HEX | CNUM_ALWAYS_RADIX, "0x5" },
    { "hex at ten", 10, 0, 1, CNUM_HEX, "0xA" },
    { "hex padded", 0x12, 0, 4, CNUM_HEX | CNUM_ZERO_PAD, "0x00000012" },
    { "forms 5 to 7 are hex", 255, 0, 1, 5, "0xFF" },
    { "form 7", 255, 0, 1, 7, "0xFF" },
    { "hex masked to the width", 0x1FF, 0, 1, CNUM_HEX, "0xFF" },
    { "explicit sign", 0xFF, 0, 1, CNUM_DEC | CNUM_SIGN, "-1" },
    { "explicit sign keeps the minimum", 0x80, 0, 1, CNUM_DEC | CNUM_SIGN, "128" },
    { "explicit sign, 2 bytes", 0xFFFE, 0, 2, CNUM_DEC | CNUM_SIGN, "-2" },
    { "signed decimal", 0xFF, 0, 1, CNUM_DEC | CNUM_SIGNED_DEC, "-1" },
    { "signed decimal keeps the minimum", 0x80, 0, 1, CNUM_DEC | CNUM_SIGNED_DEC, "128" },
    { "signed decimal ignored when unsigned", 0xFF, 0, 1, CNUM_DEC | CNUM_SIGNED_DEC | CNUM_UNSIGNED, "255u" },
    { "plain decimal byte", 0xFF, 0, 1, CNUM_DEC, "255" },
    { "unsigned 8 bytes", 10, 0, 8, CNUM_DEC | CNUM_UNSIGNED, "10uLL" },
    { "signed 8 bytes", UINT64_MAX, 0, 8, CNUM_DEC, "-1LL" },
    { "largest unsigned", UINT64_MAX, 0, 8, CNUM_DEC | CNUM_UNSIGNED, "18446744073709551615uLL" },
    { "smallest signed", uint64_t(1) << 63, 0, 8, CNUM_DEC, "-9223372036854775808LL" },
    { "small octal is decimal", 7, 0, 1, CNUM_OCT, "7" },
    { "octal", 8, 0, 1, CNUM_OCT, "010" },
    { "octal padded", 8, 0, 2, CNUM_OCT | CNUM_ZERO_PAD, "0000010" },
    { "octal radix form", 0, 0, 1, CNUM_OCT | CNUM_ALWAYS_RADIX, "00" },
    { "binary", 5, 0, 1, CNUM_BIN, "0b101" },
    { "binary padded", 5, 0, 1, CNUM_BIN | CNUM_ZERO_PAD, "0b00000101" },
    { "binary zero", 0, 0, 2, CNUM_BIN, "0b0" },
    { "binary masked", 0x105, 0, 1, CNUM_BIN, "0b101" },
    { "hex 8 bytes unsigned", 0xDEADBEEF, 0, 8, CNUM_HEX | CNUM_UNSIGNED, "0xDEADBEEFuLL" },
    { "16 bytes wide value", 1, 1, 16, CNUM_HEX, "0x10000000000000001LL" },
    { "16 bytes fitting 8", 5, 0, 16, CNUM_HEX, "5LL" },
    { "16 bytes negative low", UINT64_MAX, 0, 16, CNUM_DEC, "0x0FFFFFFFFFFFFFFFFLL" },
    { "16 bytes unsigned low", UINT64_MAX, 0, 16, CNUM_DEC | CNUM_UNSIGNED, "18446744073709551615uLL" },
    { "16 bytes unsigned wide", 2, 3, 16, CNUM_HEX | CNUM_UNSIGNED, "0x30000000000000002uLL" },
    { "character", 65, 0, 1, CNUM_CHAR, "'A'" },
    { "character by the low byte", 0x4142, 0, 2, CNUM_CHAR, "'B'" },
    { "NUL character", 0, 0, 1, CNUM_CHAR, "'\\0'" },
    { "quote character", '\'', 0, 1, CNUM_CHAR, "'\\''" },
    { "character gets no suffix", 65, 0, 8, CNUM_CHAR | CNUM_UNSIGNED, "'A'" },
    { "UTF-8 character", 0xC3A9, 0, 8, 0x103, "'\xC3\xA9'" },
    { "UTF-8 emoji", 0xF09F9880, 0, 8, 0x103, "'\xF0\x9F\x98\x80'" },
    { "UTF-8 multi-character", 0x4142, 0, 8, 0x103, "'AB'" },
    { "UTF-8 ASCII", 0x41, 0, 8, 0x103, "'A'" },
    { "invalid UTF-8 becomes hex", 0xE9, 0, 8, 0x103, "0xE9" },
    { "invalid UTF-8, small value", 0x85, 0, 8, 0x103, "0x85" },
  };
  for ( const auto &c : cases )
    EXPECT_EQ(c_number(c.low, c.n, c.flags, c.high), c.text) << c.name;
}

TEST(CNumber, BufferSizes)
{
  char buf[8];
  EXPECT_EQ(print_c_number(buf, 5, { 0xFF, 0 }, 1, CNUM_HEX), 4);
  EXPECT_STREQ(buf, "0xFF");
  EXPECT_EQ(interr_number([&] { print_c_number(buf, 4, { 0xFF, 0 }, 1, CNUM_HEX); }), 519);
  EXPECT_EQ(interr_number([&] { print_c_number(buf, 0, { 1, 0 }, 1, CNUM_DEC); }), 519);
  EXPECT_EQ(interr_number([&] { print_c_number(buf, -1, { 1, 0 }, 1, CNUM_DEC); }), 1225);
}
