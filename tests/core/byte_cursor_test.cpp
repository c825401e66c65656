// Tests of byte-buffer appends and resizes and of NUL-terminated string reads from a cursor.
#include "core/byte_cursor.h"

#include "core/compact_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string bytes_of(const byte_buffer_t &buf)
{
  return std::string(reinterpret_cast<const char *>(buf.begin()), buf.size());
}

TEST(BytevecAppend, AppendsAndGrowsByDoubling)
{
  byte_buffer_t buf;
  bytevec_append(&buf, "abc", 3);
  EXPECT_EQ(bytes_of(buf), "abc");
  EXPECT_EQ(buf.capacity(), 3u);
  bytevec_append(&buf, "d", 1);
  EXPECT_EQ(buf.capacity(), 6u);
  bytevec_append(&buf, "efghijkl", 8);
  EXPECT_EQ(buf.capacity(), 12u);
  EXPECT_EQ(bytes_of(buf), "abcdefghijkl");

  const uint8_t *before = buf.data();
  bytevec_append(&buf, nullptr, 0);
  EXPECT_EQ(buf.data(), before);
  EXPECT_EQ(buf.size(), 12u);
}

TEST(BytevecAppend, BytesFromTheBufferItself)
{
  byte_buffer_t buf;
  bytevec_append(&buf, "xyz", 3);
  bytevec_append(&buf, buf.data(), buf.size());  // growing moves the source bytes
  EXPECT_EQ(bytes_of(buf), "xyzxyz");
  bytevec_append(&buf, buf.data() + 4, 2);
  EXPECT_EQ(bytes_of(buf), "xyzxyzyz");
}

TEST(BytevecResize, ShrinksOrZeroFills)
{
  byte_buffer_t buf;
  bytevec_append(&buf, "abcdef", 6);
  bytevec_resize(&buf, 2);
  EXPECT_EQ(bytes_of(buf), "ab");
  EXPECT_EQ(buf.capacity(), 6u) << "shrinking keeps the buffer";
  bytevec_resize(&buf, 5);
  EXPECT_EQ(bytes_of(buf), std::string("ab\0\0\0", 5)) << "old bytes past the size must not come back";
  bytevec_resize(&buf, 0);
  EXPECT_TRUE(buf.empty());
}

TEST(UnpackZstring, ReadsUpToTheNul)
{
  const struct
  {
    const char *name;
    std::string input;
    bool found;
    std::string text;
    size_t consumed;
  } cases[] = {
    { "plain", std::string("abc\0rest", 8), true, "abc", 4 },
    { "empty_string", std::string("\0x", 2), true, "", 1 },
    { "nul_is_last_byte", std::string("ab\0", 3), true, "ab", 3 },
    { "no_terminator", "abc", false, "", 0 },
    { "nothing_left", "", false, "", 0 },
    { "high_bytes", std::string("\xC3\xA9\xFF\0", 4), true, "\xC3\xA9\xFF", 4 },
  };
  for ( const auto &c : cases )
  {
    const auto *start = reinterpret_cast<const uint8_t *>(c.input.data());
    const uint8_t *cur = start;
    qstring out;
    EXPECT_EQ(unpack_zstring(&out, &cur, start + c.input.size()), c.found) << c.name;
    EXPECT_EQ(std::string(out.view()), c.text) << c.name;
    EXPECT_EQ(size_t(cur - start), c.consumed) << c.name;
  }
}

TEST(UnpackZstring, AppendsAndNeverLooksPastTheEnd)
{
  const std::string input("one\0two\0", 8);
  const auto *start = reinterpret_cast<const uint8_t *>(input.data());
  const uint8_t *cur = start;
  qstring out = ">";
  ASSERT_TRUE(unpack_zstring(&out, &cur, start + input.size()));
  ASSERT_TRUE(unpack_zstring(&out, &cur, start + input.size()));
  EXPECT_EQ(out, ">onetwo");
  EXPECT_FALSE(unpack_zstring(&out, &cur, start + input.size()));

  // The terminator lies just past the end: not found, and nothing changes.
  cur = start;
  EXPECT_FALSE(unpack_zstring(&out, &cur, start + 3));
  EXPECT_EQ(cur, start);
  EXPECT_EQ(out, ">onetwo");
}

TEST(ByteCursor, CodecRoundTripOfARecord)
{
  // The way every packet codec works: compact integers encoded into a small array, then appended; strings
  // with their NUL; decoded back with a cursor.
  byte_buffer_t body;
  uint8_t tmp[compact_u64_max_size];
  bytevec_append(&body, tmp, size_t(pack_u32_compact(tmp, tmp + sizeof tmp, 0x3FFF) - tmp));
  bytevec_append(&body, "name", 5);
  bytevec_append(&body, tmp, size_t(pack_u64_compact(tmp, tmp + sizeof tmp, 0x123456789ull) - tmp));
  EXPECT_EQ(bytes_of(body), std::string("\xBF\xFF" "name\0" "\xFF\x23\x45\x67\x89\x01", 13));

  const uint8_t *cur = body.data();
  const uint8_t *end = body.data() + body.size();
  uint32_t a = 0;
  uint64_t c = 0;
  qstring name;
  ASSERT_TRUE(unpack_u32_compact_checked(&cur, end, &a));
  ASSERT_TRUE(unpack_zstring(&name, &cur, end));
  ASSERT_TRUE(unpack_u64_compact_checked(&cur, end, &c));
  EXPECT_EQ(a, 0x3FFFu);
  EXPECT_EQ(name, "name");
  EXPECT_EQ(c, 0x123456789ull);
  EXPECT_EQ(cur, end);
}

} // namespace
