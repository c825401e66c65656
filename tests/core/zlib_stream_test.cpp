// Tests of the deflate and inflate stream loops and of in-memory compression.
#include "core/zlib_stream.h"

#include "core/byte_cursor.h"
#include "tests/support/test_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<uint8_t>;

// A reader over a byte vector that hands out at most `piece` bytes per call and can be told to fail after
// a number of calls; a writer that records every block it is handed and takes at most `take` of them.
struct stream_fixture
{
  bytes input;
  size_t position = 0;
  size_t piece = SIZE_MAX;
  int fail_read_at_call = -1;  // the call that answers -1
  int reads = 0;

  bytes output;
  std::vector<size_t> blocks;
  size_t take = SIZE_MAX;      // bytes the writer takes of each block

  static ssize_t read(void *ctx, void *buffer, size_t capacity)
  {
    auto *f = static_cast<stream_fixture *>(ctx);
    if ( f->reads++ == f->fail_read_at_call )
      return -1;
    const size_t n = std::min({ capacity, f->piece, f->input.size() - f->position });
    if ( n != 0 )
      std::memcpy(buffer, f->input.data() + f->position, n);
    f->position += n;
    return ssize_t(n);
  }

  static size_t write(void *ctx, const void *data, size_t count)
  {
    auto *f = static_cast<stream_fixture *>(ctx);
    f->blocks.push_back(count);
    const size_t n = std::min(count, f->take);
    const auto *p = static_cast<const uint8_t *>(data);
    f->output.insert(f->output.end(), p, p + n);
    return n;
  }
};

int deflate_all(const bytes &input, bytes &compressed)
{
  stream_fixture f;
  f.input = input;
  const int rc = deflate_stream(&f, stream_fixture::read, stream_fixture::write);
  compressed = f.output;
  return rc;
}

int inflate_all(const bytes &compressed, bytes &plain, size_t piece = SIZE_MAX)
{
  stream_fixture f;
  f.input = compressed;
  f.piece = piece;
  const int rc = inflate_stream(&f, stream_fixture::read, stream_fixture::write);
  plain = f.output;
  return rc;
}

// Half text-like and compressible, half noise, so that both the compressed and the plain stream span many
// 32 KiB blocks.
bytes sample_data(size_t size)
{
  bytes data(size);
  uint32_t x = 0x9E3779B9u;
  for ( size_t i = 0; i < size; ++i )
  {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    data[i] = (i / 65536) % 2 == 0 ? uint8_t("the quick brown fox "[i % 20]) : uint8_t(x);
  }
  return data;
}

bytes compressed_sample()
{
  bytes compressed;
  EXPECT_EQ(deflate_all(sample_data(100000), compressed), 0);
  return compressed;
}

TEST(ZlibStream, RoundTripsEmptySmallAndLargeData)
{
  const struct
  {
    const char *name;
    bytes data;
  } cases[] = {
    { "empty", {} },
    { "one_byte", { 0x42 } },
    { "small_text", bytes { 'h', 'e', 'l', 'l', 'o', ' ', 'h', 'e', 'l', 'l', 'o' } },
    { "one_block", sample_data(32768) },
    { "just_over_a_block", sample_data(32769) },
    // Many blocks: six mebibytes, less under the sanitizers.
    { "many_blocks", sample_data(scaled_for_sanitizers(6 << 20)) },
    { "zeros", bytes(scaled_for_sanitizers(3 << 20), 0) },
  };
  for ( const auto &c : cases )
  {
    bytes compressed;
    ASSERT_EQ(deflate_all(c.data, compressed), 0) << c.name;
    EXPECT_GE(compressed.size(), 8u) << c.name << ": a zlib stream has a header and a trailer";
    EXPECT_EQ(compressed[0] & 0x0F, 8) << c.name << ": deflate method in the header";
    bytes plain;
    ASSERT_EQ(inflate_all(compressed, plain), 0) << c.name;
    EXPECT_TRUE(plain == c.data) << c.name;
    // Input that arrives in small pieces inflates the same.
    ASSERT_EQ(inflate_all(compressed, plain, 1000), 0) << c.name;
    EXPECT_TRUE(plain == c.data) << c.name;
  }
}

TEST(ZlibStream, WriterGetsWholeBlocksExceptTheLast)
{
  stream_fixture f;
  f.input = sample_data(1 << 20);
  ASSERT_EQ(deflate_stream(&f, stream_fixture::read, stream_fixture::write), 0);
  ASSERT_GE(f.blocks.size(), 2u);
  for ( size_t i = 0; i + 1 < f.blocks.size(); ++i )
    EXPECT_EQ(f.blocks[i], 32768u) << "block " << i;
  EXPECT_LE(f.blocks.back(), 32768u);

  stream_fixture g;
  g.input = f.output;
  ASSERT_EQ(inflate_stream(&g, stream_fixture::read, stream_fixture::write), 0);
  ASSERT_EQ(g.blocks.size(), 32u);  // exactly 1 MiB
  for ( size_t block : g.blocks )
    EXPECT_EQ(block, 32768u);
}

TEST(ZlibStream, ReaderAndWriterFailures)
{
  const struct
  {
    const char *name;
    bool inflating;
    size_t input_size;
    int fail_read_at_call;
    size_t take;
    int expected;
  } cases[] = {
    { "deflate_reader_fails_at_once", false, 1000, 0, SIZE_MAX, 777 },
    { "deflate_reader_fails_later", false, 200000, 2, SIZE_MAX, 777 },
    { "deflate_writer_takes_nothing_small", false, 1000, -1, 0, 778 },
    { "deflate_writer_takes_nothing_large", false, 1 << 20, -1, 0, 778 },
    { "deflate_writer_takes_part", false, 1 << 20, -1, 100, 778 },
    { "inflate_reader_fails_at_once", true, 0, 0, SIZE_MAX, 777 },
    { "inflate_reader_fails_later", true, 0, 1, SIZE_MAX, 777 },
    { "inflate_writer_takes_nothing", true, 0, -1, 0, 778 },
  };
  const bytes compressed = compressed_sample();
  for ( const auto &c : cases )
  {
    stream_fixture f;
    f.input = c.inflating ? compressed : sample_data(c.input_size);
    f.piece = 10000;
    f.fail_read_at_call = c.fail_read_at_call;
    f.take = c.take;
    const int rc = c.inflating ? inflate_stream(&f, stream_fixture::read, stream_fixture::write)
                               : deflate_stream(&f, stream_fixture::read, stream_fixture::write);
    EXPECT_EQ(rc, c.expected) << c.name;
    if ( c.take != SIZE_MAX )
    {
      EXPECT_EQ(f.blocks.size(), 1u) << c.name << ": a refused block is never handed again";
    }
  }
}

TEST(ZlibStream, ReaderAnsweringMoreThanAskedIsAFailure)
{
  struct liar
  {
    static ssize_t read(void *, void *, size_t capacity) { return ssize_t(capacity + 1); }
    static size_t write(void *, const void *, size_t count) { return count; }
  };
  EXPECT_EQ(deflate_stream(nullptr, liar::read, liar::write), 777);
  EXPECT_EQ(inflate_stream(nullptr, liar::read, liar::write), 777);
}

TEST(ZlibStream, TruncatedInputGives5)
{
  const bytes compressed = compressed_sample();
  for ( size_t len : { size_t(0), size_t(1), size_t(2), compressed.size() / 2, compressed.size() - 4,
                       compressed.size() - 1 } )
  {
    bytes plain;
    EXPECT_EQ(inflate_all(bytes(compressed.begin(), compressed.begin() + ptrdiff_t(len)), plain), 5)
      << "cut at " << len;
  }
}

TEST(ZlibStream, DamagedInputGives3)
{
  const bytes compressed = compressed_sample();
  const struct
  {
    const char *name;
    size_t offset;
    uint8_t mask;
  } cases[] = {
    { "header_method", 0, 0x01 },
    { "header_check", 1, 0x01 },
    { "trailer_checksum", SIZE_MAX, 0x80 },
  };
  for ( const auto &c : cases )
  {
    bytes damaged = compressed;
    damaged[c.offset == SIZE_MAX ? damaged.size() - 1 : c.offset] ^= c.mask;
    bytes plain;
    EXPECT_EQ(inflate_all(damaged, plain), 3) << c.name;
  }

  // A raw deflate stream without the zlib header is not accepted.
  bytes plain;
  EXPECT_EQ(inflate_all(bytes(compressed.begin() + 2, compressed.end()), plain), 3);

  // A stream that asks for a preset dictionary cannot be inflated.
  EXPECT_EQ(inflate_all({ 0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00 }, plain), 3);
}

TEST(ZlibStream, BytesAfterTheStreamAreIgnored)
{
  bytes compressed;
  const bytes data = sample_data(5000);
  ASSERT_EQ(deflate_all(data, compressed), 0);
  compressed.insert(compressed.end(), { 'j', 'u', 'n', 'k' });
  bytes plain;
  EXPECT_EQ(inflate_all(compressed, plain), 0);
  EXPECT_TRUE(plain == data);
}

TEST(CompressBytes, AppendsAStreamThatInflatesBack)
{
  for ( size_t size : { size_t(0), size_t(10), size_t(100000), size_t(3 << 20) } )
  {
    const bytes data = sample_data(size);
    byte_buffer_t input;
    bytevec_append(&input, data.data(), data.size());
    byte_buffer_t output;
    output.push_back(0xAA);
    ASSERT_TRUE(compress_bytes(input, output)) << size;
    ASSERT_GT(output.size(), 1u);
    EXPECT_EQ(output[0], 0xAA) << "old contents stay in front";

    bytes plain;
    ASSERT_EQ(inflate_all(bytes(output.begin() + 1, output.end()), plain), 0) << size;
    EXPECT_TRUE(plain == data) << size;
  }
}

} // namespace
