// Tests of the base64 encoder and decoder.
#include "core/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string bytes_of(const byte_buffer_t &buf)
{
  return std::string(reinterpret_cast<const char *>(buf.begin()), buf.size());
}

std::string encoded(const std::string &data)
{
  qstring out;
  EXPECT_TRUE(encode_base64(&out, data.data(), int64_t(data.size())));
  return std::string(out.view());
}

TEST(Base64Encode, PadsTheLastGroup)
{
  const struct
  {
    std::string data;
    const char *text;
  } cases[] = {
    { "", "" },
    { "a", "YQ==" },
    { "ab", "YWI=" },
    { "abc", "YWJj" },
    { "abcd", "YWJjZA==" },
    { "fooba", "Zm9vYmE=" },
    { "foobar", "Zm9vYmFy" },
    { std::string("\xFF\xFE\xFD", 3), "//79" },
    { std::string("\0\0\0", 3), "AAAA" },
    { std::string("\xFB\xEF", 2), "++8=" },
  };
  for ( const auto &c : cases )
    EXPECT_EQ(encoded(c.data), c.text) << c.text;
}

TEST(Base64Encode, AppendsToWhatIsThere)
{
  qstring out = "Basic ";
  ASSERT_TRUE(encode_base64(&out, "user:pass", 9));
  EXPECT_EQ(out, "Basic dXNlcjpwYXNz");
}

TEST(Base64Encode, RefusesBadArguments)
{
  qstring out = "kept";
  EXPECT_FALSE(encode_base64(nullptr, "a", 1));
  EXPECT_FALSE(encode_base64(&out, nullptr, 1));
  EXPECT_FALSE(encode_base64(&out, nullptr, 0));
  EXPECT_FALSE(encode_base64(&out, "a", -1));
  EXPECT_EQ(out, "kept");
}

struct decode_case
{
  const char *name;
  std::string text;
  int64_t length;  // -2: the whole text
  bool ok;
  std::string bytes;
};

TEST(Base64Decode, ReadsUpToLengthOrPadding)
{
  const decode_case cases[] = {
    { "empty", "", -2, true, "" },
    { "full_groups", "Zm9vYmFy", -2, true, "foobar" },
    { "one_pad", "YWI=", -2, true, "ab" },
    { "two_pads", "YQ==", -2, true, "a" },
    { "no_padding", "YQ", -2, true, "a" },
    { "no_padding_two_bytes", "YWI", -2, true, "ab" },
    { "lone_char_drops_its_bits", "Y", -2, true, "" },
    { "high_bytes", "//79", -2, true, "\xFF\xFE\xFD" },
    { "zero_bytes", "AAAA", -2, true, std::string("\0\0\0", 3) },
    { "stops_at_first_pad", "YQ==Zm9v", -2, true, "a" },
    { "length_cuts_text", "YWJjZGVm", 4, true, "abc" },
    { "zero_length", "YWJj", 0, true, "" },
    { "blank_after_bytes", "YW ", -2, false, "a" },
    { "line_break", "YWJj\nZA==", -2, false, "abc" },
    { "foreign_char", "Y-Q=", -2, false, "" },
    { "url_alphabet", "_-8=", -2, false, "" },
    { "nul_inside_length", std::string("YQ\0A", 4), -2, false, "a" },
  };
  for ( const decode_case &c : cases )
  {
    byte_buffer_t out;
    const int64_t length = c.length == -2 ? int64_t(c.text.size()) : c.length;
    EXPECT_EQ(decode_base64(&out, c.text.data(), length), c.ok) << c.name;
    EXPECT_EQ(bytes_of(out), c.bytes) << c.name;
  }
}

TEST(Base64Decode, AppendsAndRefusesBadArguments)
{
  byte_buffer_t out;
  out.push_back(uint8_t('>'));
  ASSERT_TRUE(decode_base64(&out, "YWJj", 4));
  EXPECT_EQ(bytes_of(out), ">abc");

  EXPECT_FALSE(decode_base64(nullptr, "YWJj", 4));
  EXPECT_FALSE(decode_base64(&out, nullptr, 0));
  EXPECT_FALSE(decode_base64(&out, "YWJj", -1));
  EXPECT_EQ(bytes_of(out), ">abc");
}

TEST(Base64, EveryByteValueRoundTrips)
{
  for ( size_t len = 0; len <= 260; ++len )
  {
    std::string data;
    for ( size_t i = 0; i < len; ++i )
      data.push_back(char((i * 7 + len) & 0xFF));
    const std::string text = encoded(data);
    EXPECT_EQ(text.size() % 4, 0u);
    byte_buffer_t out;
    ASSERT_TRUE(decode_base64(&out, text.data(), int64_t(text.size()))) << len;
    EXPECT_EQ(bytes_of(out), data) << len;
  }
}

} // namespace
