// Tests of the compact integer writers and the forgiving and checked readers.
#include "core/compact_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using bytes = std::vector<uint8_t>;

bytes encode_u32(uint32_t value)
{
  uint8_t buf[compact_u32_max_size];
  uint8_t *end = pack_u32_compact(buf, buf + sizeof buf, value);
  return bytes(buf, end);
}

bytes encode_u64(uint64_t value)
{
  uint8_t buf[compact_u64_max_size];
  uint8_t *end = pack_u64_compact(buf, buf + sizeof buf, value);
  return bytes(buf, end);
}

struct u32_case
{
  uint32_t value;
  bytes encoding;
};

// Both ends of every length class.
const u32_case u32_cases[] = {
  { 0, { 0x00 } },
  { 0x7F, { 0x7F } },
  { 0x80, { 0x80, 0x80 } },
  { 0x3FFF, { 0xBF, 0xFF } },
  { 0x4000, { 0xC0, 0x00, 0x40, 0x00 } },
  { 0x12345678, { 0xD2, 0x34, 0x56, 0x78 } },
  { 0x1FFFFFFF, { 0xDF, 0xFF, 0xFF, 0xFF } },
  { 0x20000000, { 0xFF, 0x20, 0x00, 0x00, 0x00 } },
  { 0xFFFFFFFF, { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF } },
};

TEST(CompactU32, EncodesEveryLengthClassExactly)
{
  for ( const u32_case &c : u32_cases )
    EXPECT_EQ(encode_u32(c.value), c.encoding) << std::hex << c.value;
}

TEST(CompactU32, DecodesWhatItEncodesAndStopsAfterIt)
{
  for ( const u32_case &c : u32_cases )
  {
    bytes buf = c.encoding;
    buf.push_back(0x55);  // the next field must stay unread
    const uint8_t *cur = buf.data();
    EXPECT_EQ(unpack_u32_compact(&cur, buf.data() + buf.size()), c.value) << std::hex << c.value;
    EXPECT_EQ(cur, buf.data() + c.encoding.size()) << std::hex << c.value;

    cur = buf.data();
    uint32_t checked = 0xDEADBEEF;
    EXPECT_TRUE(unpack_u32_compact_checked(&cur, buf.data() + buf.size(), &checked));
    EXPECT_EQ(checked, c.value);
    EXPECT_EQ(cur, buf.data() + c.encoding.size());
  }
}

TEST(CompactU32, RoundTripsAroundEveryBoundary)
{
  for ( uint32_t edge : { 0x80u, 0x4000u, 0x20000000u } )
  {
    for ( uint32_t value = edge - 3; value != edge + 3; ++value )
    {
      const bytes enc = encode_u32(value);
      const uint8_t *cur = enc.data();
      EXPECT_EQ(unpack_u32_compact(&cur, enc.data() + enc.size()), value);
      EXPECT_EQ(cur, enc.data() + enc.size());
    }
  }
}

struct short_read_case
{
  const char *name;
  bytes input;
  uint32_t value;   // what the forgiving reader gives
  size_t consumed;  // how far it moves the cursor
};

TEST(CompactU32, ForgivingReaderOnShortAndOddInput)
{
  const short_read_case cases[] = {
    { "empty", {}, 0, 0 },
    { "two_byte_form_alone", { 0x81 }, 0x81, 1 },
    { "two_byte_form_top_alone", { 0xBF }, 0xBF, 1 },
    { "four_byte_form_alone", { 0xC1 }, 0, 1 },
    { "four_byte_form_two_bytes", { 0xC1, 0x22 }, 0x01220000, 2 },
    { "four_byte_form_three_bytes", { 0xC1, 0x22, 0x33 }, 0x01223300, 3 },
    { "five_byte_form_alone", { 0xFF }, 0, 1 },
    { "five_byte_form_two_of_four", { 0xFF, 0x12, 0x34 }, 0x12340000, 3 },
    { "five_byte_form_three_of_four", { 0xFF, 0x12, 0x34, 0x56 }, 0x12345600, 4 },
    { "first_byte_E0_like_FF", { 0xE0, 0x00, 0x00, 0x01, 0x00 }, 0x100, 5 },
    { "first_byte_E5_like_FF", { 0xE5, 0x00, 0x00, 0x01, 0x00 }, 0x100, 5 },
    { "first_byte_FE_like_FF", { 0xFE, 0x89, 0xAB, 0xCD, 0xEF }, 0x89ABCDEF, 5 },
  };
  for ( const short_read_case &c : cases )
  {
    const uint8_t *cur = c.input.data();
    EXPECT_EQ(unpack_u32_compact(&cur, c.input.data() + c.input.size()), c.value) << c.name;
    EXPECT_EQ(size_t(cur - c.input.data()), c.consumed) << c.name;
  }
}

TEST(CompactU32, CheckedReaderRefusesEveryTruncation)
{
  for ( const u32_case &c : u32_cases )
  {
    for ( size_t len = 0; len < c.encoding.size(); ++len )
    {
      const uint8_t *start = c.encoding.data();
      const uint8_t *cur = start;
      uint32_t value = 0xDEADBEEF;
      EXPECT_FALSE(unpack_u32_compact_checked(&cur, start + len, &value)) << std::hex << c.value << " len " << len;
      EXPECT_EQ(cur, start);
      EXPECT_EQ(value, 0xDEADBEEFu);
    }
  }
  // A first byte the writer never produces still needs its four value bytes.
  const bytes odd = { 0xE7, 0x01, 0x02, 0x03 };
  const uint8_t *cur = odd.data();
  uint32_t value = 0;
  EXPECT_FALSE(unpack_u32_compact_checked(&cur, odd.data() + odd.size(), &value));
}

TEST(CompactU64, EncodesLowHalfThenHighHalf)
{
  const struct
  {
    uint64_t value;
    bytes encoding;
  } cases[] = {
    { 0, { 0x00, 0x00 } },
    { 0x100000000ull, { 0x00, 0x01 } },
    { 0x7F0000007Full, { 0x7F, 0x7F } },
    { 0x0000000100004000ull, { 0xC0, 0x00, 0x40, 0x00, 0x01 } },
    { 0xFFFFFFFFFFFFFFFFull, { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF } },
  };
  for ( const auto &c : cases )
  {
    EXPECT_EQ(encode_u64(c.value), c.encoding) << std::hex << c.value;
    const uint8_t *cur = c.encoding.data();
    const uint8_t *end = c.encoding.data() + c.encoding.size();
    EXPECT_EQ(unpack_u64_compact(&cur, end), c.value);
    EXPECT_EQ(cur, end);

    uint64_t checked = 0;
    cur = c.encoding.data();
    EXPECT_TRUE(unpack_u64_compact_checked(&cur, end, &checked));
    EXPECT_EQ(checked, c.value);
    EXPECT_EQ(cur, end);
    for ( size_t len = 0; len < c.encoding.size(); ++len )
    {
      cur = c.encoding.data();
      EXPECT_FALSE(unpack_u64_compact_checked(&cur, c.encoding.data() + len, &checked)) << len;
      EXPECT_EQ(cur, c.encoding.data());
    }
  }
}

TEST(CompactU64, ForgivingReaderWithMissingHighHalf)
{
  const bytes input = { 0xC0, 0x00, 0x40, 0x00 };
  const uint8_t *cur = input.data();
  EXPECT_EQ(unpack_u64_compact(&cur, input.data() + input.size()), 0x4000u);
  EXPECT_EQ(cur, input.data() + input.size());
}

TEST(CompactWriters, CutShortWhenRoomRunsOut)
{
  const struct
  {
    const char *name;
    size_t room;
    bytes written;
  } cases[] = {
    { "no_room", 0, {} },
    { "one_byte", 1, { 0xD2 } },
    { "two_bytes", 2, { 0xD2, 0x34 } },
    { "three_bytes", 3, { 0xD2, 0x34, 0x56 } },
    { "exact", 4, { 0xD2, 0x34, 0x56, 0x78 } },
  };
  for ( const auto &c : cases )
  {
    uint8_t buf[8] = { 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE };
    uint8_t *end = pack_u32_compact(buf, buf + c.room, 0x12345678);
    EXPECT_EQ(bytes(buf, end), c.written) << c.name;
    EXPECT_EQ(buf[c.room], 0xEE) << c.name << ": wrote past the end";
  }

  uint8_t buf[4] = { 0xEE, 0xEE, 0xEE, 0xEE };
  EXPECT_EQ(pack_u16_be(buf, buf + 1, 0xABCD), buf + 1);
  EXPECT_EQ(buf[0], 0xAB);
  EXPECT_EQ(buf[1], 0xEE);
  EXPECT_EQ(pack_u16_be(buf, buf + 4, 0x1234), buf + 2);
  EXPECT_EQ(bytes(buf, buf + 2), (bytes { 0x12, 0x34 }));

  uint8_t buf64[10];
  uint8_t *end64 = pack_u64_compact(buf64, buf64 + 7, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(end64, buf64 + 7);
}

TEST(CompactWritersDeathTest, EndBeforePositionIsInternalError1225)
{
  uint8_t buf[8];
  EXPECT_EXIT(pack_u32_compact(buf + 4, buf + 2, 1), testing::ExitedWithCode(1), "internal error 1225");
  EXPECT_EXIT(pack_u64_compact(buf + 4, buf + 2, 1), testing::ExitedWithCode(1), "internal error 1225");
  EXPECT_EXIT(pack_u16_be(buf + 4, buf + 2, 1), testing::ExitedWithCode(1), "internal error 1225");
}

} // namespace
