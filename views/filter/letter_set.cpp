// Letter sets of filter texts.
#include "views/filter/letter_set.h"

#include "views/filter/text_fold.h"

#include <array>
#include <cstddef>

namespace
{

// The bit of every byte value (none for 0x80 and above): one load per byte instead of a fold and a shift.
constexpr std::array<uint64_t, 256> byte_bits = [] {
  std::array<uint64_t, 256> bits {};
  for ( unsigned b = 0; b < 0x80; ++b )
    bits[b] = uint64_t(1) << (ascii_upper(static_cast<unsigned char>(b)) & 63);
  return bits;
}();

} // namespace

uint64_t letter_set(std::string_view text)
{
  // Every row text of a cold row cache passes here: four sets side by side, so that the ORs do not wait on
  // each other.
  const auto *p = reinterpret_cast<const unsigned char *>(text.data());
  const size_t n = text.size();
  uint64_t a = 0, b = 0, c = 0, d = 0;
  size_t i = 0;
  for ( ; i + 4 <= n; i += 4 )
  {
    a |= byte_bits[p[i]];
    b |= byte_bits[p[i + 1]];
    c |= byte_bits[p[i + 2]];
    d |= byte_bits[p[i + 3]];
  }
  for ( ; i < n; ++i )
    a |= byte_bits[p[i]];
  return a | b | c | d;
}
