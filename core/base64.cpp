// base64 encoder and decoder.
#include "core/base64.h"

#include <array>

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of each byte in the alphabet, -1 for every other byte.
constexpr std::array<int8_t, 256> decode_table = [] {
  std::array<int8_t, 256> table {};
  table.fill(-1);
  for ( int i = 0; i < 64; ++i )
    table[uint8_t(alphabet[i])] = int8_t(i);
  return table;
}();

} // namespace

bool encode_base64(qstring *out, const void *data, int64_t count)
{
  if ( out == nullptr || data == nullptr || count < 0 )
    return false;
  const auto *p = static_cast<const uint8_t *>(data);
  const size_t n = size_t(count);
  out->reserve(out->stored_length() + (n + 2) / 3 * 4 + 1);
  size_t i = 0;
  for ( ; i + 3 <= n; i += 3 )
  {
    const uint32_t group = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2];
    const char quad[4] = { alphabet[group >> 18], alphabet[(group >> 12) & 63], alphabet[(group >> 6) & 63],
                           alphabet[group & 63] };
    out->append(quad, 4);
  }
  const size_t rest = n - i;
  if ( rest != 0 )
  {
    const uint32_t group = (uint32_t(p[i]) << 16) | (rest == 2 ? uint32_t(p[i + 1]) << 8 : 0);
    const char quad[4] = { alphabet[group >> 18], alphabet[(group >> 12) & 63],
                           rest == 2 ? alphabet[(group >> 6) & 63] : '=', '=' };
    out->append(quad, 4);
  }
  return true;
}

bool decode_base64(byte_buffer_t *out, const char *text, int64_t length)
{
  if ( out == nullptr || text == nullptr || length < 0 )
    return false;
  uint32_t bits = 0;
  int nbits = 0;
  for ( int64_t i = 0; i < length && text[i] != '='; ++i )
  {
    const int8_t v = decode_table[uint8_t(text[i])];
    if ( v < 0 )
      return false;
    bits = (bits << 6) | uint32_t(v);
    nbits += 6;
    if ( nbits >= 8 )
    {
      nbits -= 8;
      out->push_back(uint8_t(bits >> nbits));
      bits &= (1u << nbits) - 1;
    }
  }
  return true;
}
