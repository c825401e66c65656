// MD5 digest: the block function, the buffering of partial blocks and the final padding.
#include "core/md5.h"

#include "platform/hex_digits.h"

#include <bit>
#include <cstring>

namespace {

using u32 = uint32_t;

inline u32 load_le32(const uint8_t *p)
{
  u32 v;
  std::memcpy(&v, p, sizeof v);
  if constexpr ( std::endian::native == std::endian::big )
    v = __builtin_bswap32(v);
  return v;
}

inline void store_le32(uint8_t *p, u32 v)
{
  if constexpr ( std::endian::native == std::endian::big )
    v = __builtin_bswap32(v);
  std::memcpy(p, &v, sizeof v);
}

// The four step kinds. Each adds the message word and the constant first: that sum does not depend on the
// previous step, so it is computed off the critical path. The round functions are written so that as little
// as possible waits for b, the word computed by the previous step.
template <int S>
[[gnu::always_inline]] inline void step_f(u32 &a, u32 b, u32 c, u32 d, u32 xk)
{
  a += xk;
  a += d ^ (b & (c ^ d));
  a = b + std::rotl(a, S);
}

template <int S>
[[gnu::always_inline]] inline void step_g(u32 &a, u32 b, u32 c, u32 d, u32 xk)
{
  // (b & d) | (c & ~d): the two halves share no bit, so they may be added, and c & ~d is ready early.
  a += xk;
  a += c & ~d;
  a += b & d;
  a = b + std::rotl(a, S);
}

template <int S>
[[gnu::always_inline]] inline void step_h(u32 &a, u32 b, u32 c, u32 d, u32 xk)
{
  a += xk;
  a += b ^ (c ^ d);
  a = b + std::rotl(a, S);
}

template <int S>
[[gnu::always_inline]] inline void step_i(u32 &a, u32 b, u32 c, u32 d, u32 xk)
{
  a += xk;
  a += c ^ (b | ~d);
  a = b + std::rotl(a, S);
}

// Runs the compression function over n whole 64-byte blocks.
void process_blocks(u32 state[4], const uint8_t *p, size_t n)
{
  u32 a = state[0];
  u32 b = state[1];
  u32 c = state[2];
  u32 d = state[3];
  for ( ; n != 0; --n, p += 64 )
  {
    u32 x[16];
    for ( int i = 0; i < 16; ++i )
      x[i] = load_le32(p + 4 * i);
    const u32 aa = a;
    const u32 bb = b;
    const u32 cc = c;
    const u32 dd = d;

    step_f<7>(a, b, c, d, x[0] + 0xd76aa478);
    step_f<12>(d, a, b, c, x[1] + 0xe8c7b756);
    step_f<17>(c, d, a, b, x[2] + 0x242070db);
    step_f<22>(b, c, d, a, x[3] + 0xc1bdceee);
    step_f<7>(a, b, c, d, x[4] + 0xf57c0faf);
    step_f<12>(d, a, b, c, x[5] + 0x4787c62a);
    step_f<17>(c, d, a, b, x[6] + 0xa8304613);
    step_f<22>(b, c, d, a, x[7] + 0xfd469501);
    step_f<7>(a, b, c, d, x[8] + 0x698098d8);
    step_f<12>(d, a, b, c, x[9] + 0x8b44f7af);
    step_f<17>(c, d, a, b, x[10] + 0xffff5bb1);
    step_f<22>(b, c, d, a, x[11] + 0x895cd7be);
    step_f<7>(a, b, c, d, x[12] + 0x6b901122);
    step_f<12>(d, a, b, c, x[13] + 0xfd987193);
    step_f<17>(c, d, a, b, x[14] + 0xa679438e);
    step_f<22>(b, c, d, a, x[15] + 0x49b40821);

    step_g<5>(a, b, c, d, x[1] + 0xf61e2562);
    step_g<9>(d, a, b, c, x[6] + 0xc040b340);
    step_g<14>(c, d, a, b, x[11] + 0x265e5a51);
    step_g<20>(b, c, d, a, x[0] + 0xe9b6c7aa);
    step_g<5>(a, b, c, d, x[5] + 0xd62f105d);
    step_g<9>(d, a, b, c, x[10] + 0x02441453);
    step_g<14>(c, d, a, b, x[15] + 0xd8a1e681);
    step_g<20>(b, c, d, a, x[4] + 0xe7d3fbc8);
    step_g<5>(a, b, c, d, x[9] + 0x21e1cde6);
    step_g<9>(d, a, b, c, x[14] + 0xc33707d6);
    step_g<14>(c, d, a, b, x[3] + 0xf4d50d87);
    step_g<20>(b, c, d, a, x[8] + 0x455a14ed);
    step_g<5>(a, b, c, d, x[13] + 0xa9e3e905);
    step_g<9>(d, a, b, c, x[2] + 0xfcefa3f8);
    step_g<14>(c, d, a, b, x[7] + 0x676f02d9);
    step_g<20>(b, c, d, a, x[12] + 0x8d2a4c8a);

    step_h<4>(a, b, c, d, x[5] + 0xfffa3942);
    step_h<11>(d, a, b, c, x[8] + 0x8771f681);
    step_h<16>(c, d, a, b, x[11] + 0x6d9d6122);
    step_h<23>(b, c, d, a, x[14] + 0xfde5380c);
    step_h<4>(a, b, c, d, x[1] + 0xa4beea44);
    step_h<11>(d, a, b, c, x[4] + 0x4bdecfa9);
    step_h<16>(c, d, a, b, x[7] + 0xf6bb4b60);
    step_h<23>(b, c, d, a, x[10] + 0xbebfbc70);
    step_h<4>(a, b, c, d, x[13] + 0x289b7ec6);
    step_h<11>(d, a, b, c, x[0] + 0xeaa127fa);
    step_h<16>(c, d, a, b, x[3] + 0xd4ef3085);
    step_h<23>(b, c, d, a, x[6] + 0x04881d05);
    step_h<4>(a, b, c, d, x[9] + 0xd9d4d039);
    step_h<11>(d, a, b, c, x[12] + 0xe6db99e5);
    step_h<16>(c, d, a, b, x[15] + 0x1fa27cf8);
    step_h<23>(b, c, d, a, x[2] + 0xc4ac5665);

    step_i<6>(a, b, c, d, x[0] + 0xf4292244);
    step_i<10>(d, a, b, c, x[7] + 0x432aff97);
    step_i<15>(c, d, a, b, x[14] + 0xab9423a7);
    step_i<21>(b, c, d, a, x[5] + 0xfc93a039);
    step_i<6>(a, b, c, d, x[12] + 0x655b59c3);
    step_i<10>(d, a, b, c, x[3] + 0x8f0ccc92);
    step_i<15>(c, d, a, b, x[10] + 0xffeff47d);
    step_i<21>(b, c, d, a, x[1] + 0x85845dd1);
    step_i<6>(a, b, c, d, x[8] + 0x6fa87e4f);
    step_i<10>(d, a, b, c, x[15] + 0xfe2ce6e0);
    step_i<15>(c, d, a, b, x[6] + 0xa3014314);
    step_i<21>(b, c, d, a, x[13] + 0x4e0811a1);
    step_i<6>(a, b, c, d, x[4] + 0xf7537e82);
    step_i<10>(d, a, b, c, x[11] + 0xbd3af235);
    step_i<15>(c, d, a, b, x[2] + 0x2ad7d2bb);
    step_i<21>(b, c, d, a, x[9] + 0xeb86d391);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

} // namespace

void md5_init(md5_context_t *ctx)
{
  ctx->state[0] = 0x67452301;
  ctx->state[1] = 0xefcdab89;
  ctx->state[2] = 0x98badcfe;
  ctx->state[3] = 0x10325476;
  ctx->bits[0] = 0;
  ctx->bits[1] = 0;
  std::memset(ctx->block, 0, sizeof ctx->block);
}

void md5_update(md5_context_t *ctx, const void *data, size_t count)
{
  if ( count == 0 )
    return;
  const uint8_t *p = static_cast<const uint8_t *>(data);
  size_t used = (ctx->bits[0] >> 3) & 63;

  // The length is kept modulo 2^64 bits, as the final padding records it.
  uint64_t total = (uint64_t(ctx->bits[1]) << 32) | ctx->bits[0];
  total += uint64_t(count) << 3;
  ctx->bits[0] = u32(total);
  ctx->bits[1] = u32(total >> 32);

  if ( used != 0 )
  {
    const size_t room = 64 - used;
    if ( count < room )
    {
      std::memcpy(ctx->block + used, p, count);
      return;
    }
    std::memcpy(ctx->block + used, p, room);
    process_blocks(ctx->state, ctx->block, 1);
    p += room;
    count -= room;
  }
  if ( count >= 64 )
  {
    process_blocks(ctx->state, p, count / 64);
    p += count & ~size_t(63);
    count &= 63;
  }
  if ( count != 0 )
    std::memcpy(ctx->block, p, count);
}

void md5_final(uint8_t digest[16], md5_context_t *ctx)
{
  size_t used = (ctx->bits[0] >> 3) & 63;
  ctx->block[used++] = 0x80;
  if ( used > 56 )
  {
    std::memset(ctx->block + used, 0, 64 - used);
    process_blocks(ctx->state, ctx->block, 1);
    used = 0;
  }
  std::memset(ctx->block + used, 0, 56 - used);
  store_le32(ctx->block + 56, ctx->bits[0]);
  store_le32(ctx->block + 60, ctx->bits[1]);
  process_blocks(ctx->state, ctx->block, 1);
  for ( int i = 0; i < 4; ++i )
    store_le32(digest + 4 * i, ctx->state[i]);
  // The context held message bytes and chaining state: leave nothing behind.
  std::memset(ctx, 0, sizeof *ctx);
}

char *digest_to_hex(const uint8_t digest[16], char *buf, size_t size)
{
  if ( buf == nullptr || size == 0 )
    return buf;
  size_t pos = 0;
  for ( int i = 0; i < 16 && pos + 1 < size; ++i )
  {
    buf[pos++] = upper_hex_digits[digest[i] >> 4];
    if ( pos + 1 < size )
      buf[pos++] = upper_hex_digits[digest[i] & 15];
  }
  buf[pos] = '\0';
  return buf;
}
