// Tests of the MD5 digest and its hexadecimal text.
#include "core/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string hex_of(const uint8_t digest[16])
{
  char text[33];
  return digest_to_hex(digest, text, sizeof text);
}

// Digest of the message fed in pieces of at most `piece` bytes (0: all at once).
std::string md5_hex(const std::string &message, size_t piece = 0)
{
  md5_context_t ctx;
  md5_init(&ctx);
  if ( piece == 0 )
  {
    md5_update(&ctx, message.data(), message.size());
  }
  else
  {
    for ( size_t pos = 0; pos < message.size(); pos += piece )
      md5_update(&ctx, message.data() + pos, std::min(piece, message.size() - pos));
  }
  uint8_t digest[16];
  md5_final(digest, &ctx);
  return hex_of(digest);
}

struct digest_case
{
  const char *name;
  std::string message;
  const char *hex;
};

const std::vector<digest_case> &digest_cases()
{
  static const std::vector<digest_case> cases = {
    // The reference test suite of the algorithm.
    { "empty", "", "D41D8CD98F00B204E9800998ECF8427E" },
    { "a", "a", "0CC175B9C0F1B6A831C399E269772661" },
    { "abc", "abc", "900150983CD24FB0D6963F7D28E17F72" },
    { "message_digest", "message digest", "F96B697D7CB7938D525A2F31AAF161D0" },
    { "alphabet", "abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B" },
    { "alphanumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
      "D174AB98D277D9F5A5611C2C9F419D9F" },
    { "digits_80", "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
      "57EDF4A22BE3C955AC49DA2E2107B67A" },
    // Lengths around the padding boundaries: the length field fits in the last block or needs another.
    { "a_55", std::string(55, 'a'), "EF1772B6DFF9A122358552954AD0DF65" },
    { "a_56", std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218" },
    { "a_57", std::string(57, 'a'), "652B906D60AF96844EBD21B674F35E93" },
    { "a_63", std::string(63, 'a'), "B06521F39153D618550606BE297466D5" },
    { "a_64", std::string(64, 'a'), "014842D480B571495A4A0363793F7367" },
    { "a_65", std::string(65, 'a'), "C743A45E0D2E6A95CB859ADAE0248435" },
    { "a_119", std::string(119, 'a'), "8A7BD0732ED6A28CE75F6DABC90E1613" },
    { "a_120", std::string(120, 'a'), "5F61C0CCAD4CAC44C75FF505E1F1E537" },
    { "a_128", std::string(128, 'a'), "E510683B3F5FFE4093D021808BC6FF70" },
    { "a_million", std::string(1000000, 'a'), "7707D6AE4E027C70EEA2A935C2296F21" },
  };
  return cases;
}

class Md5Digest : public testing::TestWithParam<size_t>
{
};

// Every message gives the same digest however it is cut into pieces.
TEST_P(Md5Digest, KnownMessagesInPieces)
{
  for ( const digest_case &c : digest_cases() )
    EXPECT_EQ(md5_hex(c.message, GetParam()), c.hex) << c.name;
}

INSTANTIATE_TEST_SUITE_P(PieceSizes, Md5Digest, testing::Values(0, 1, 3, 55, 63, 64, 65, 4096),
                         [](const testing::TestParamInfo<size_t> &info) {
                           return info.param == 0 ? std::string("whole") : "piece_" + std::to_string(info.param);
                         });

TEST(Md5, AllByteValuesOverManyBlocks)
{
  std::string message;
  for ( int rep = 0; rep < 4096; ++rep )
    for ( int b = 0; b < 256; ++b )
      message.push_back(char(b));
  EXPECT_EQ(md5_hex(message), "C35CC7D8D91728A0CB052831BC4EF372");
  EXPECT_EQ(md5_hex(message, 1000), "C35CC7D8D91728A0CB052831BC4EF372");
}

TEST(Md5, EmptyUpdatesChangeNothing)
{
  md5_context_t ctx;
  md5_init(&ctx);
  md5_update(&ctx, "ab", 2);
  md5_update(&ctx, nullptr, 0);
  md5_update(&ctx, "c", 1);
  md5_update(&ctx, "", 0);
  uint8_t digest[16];
  md5_final(digest, &ctx);
  EXPECT_EQ(hex_of(digest), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(Md5, FinalClearsTheContext)
{
  md5_context_t ctx;
  md5_init(&ctx);
  md5_update(&ctx, "secret message", 14);
  uint8_t digest[16];
  md5_final(digest, &ctx);
  const auto *bytes = reinterpret_cast<const uint8_t *>(&ctx);
  EXPECT_TRUE(std::all_of(bytes, bytes + sizeof ctx, [](uint8_t b) { return b == 0; }));
}

TEST(DigestToHex, UpperCaseDigitsAndCutBuffers)
{
  const uint8_t digest[16] = { 0xAB, 0x01, 0x23, 0x45, 0x67, 0x89, 0xCD, 0xEF,
                               0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10 };
  const std::string full = "AB0123456789CDEFFEDCBA9876543210";
  struct
  {
    size_t size;
    std::string text;
  } const cases[] = {
    { 64, full }, { 33, full }, { 32, full.substr(0, 31) }, { 4, "AB0" }, { 3, "AB" }, { 2, "A" }, { 1, "" },
  };
  for ( const auto &c : cases )
  {
    std::string buf(80, '#');
    EXPECT_EQ(digest_to_hex(digest, buf.data(), c.size), buf.data());
    EXPECT_EQ(std::string(buf.c_str()), c.text) << "size " << c.size;
    EXPECT_EQ(buf[c.size], '#') << "wrote past size " << c.size;
  }
  char untouched = '#';
  digest_to_hex(digest, &untouched, 0);
  EXPECT_EQ(untouched, '#');
}

} // namespace
