// Compact integers: the big-endian variable-length encoding of every packet body and stored blob.
//
// A 32-bit value takes 1, 2, 4 or 5 bytes and its first byte tells the length:
//   0x00-0x7F  1 byte   the value (0 to 0x7F)
//   0x80-0xBF  2 bytes  0x80 | value >> 8, value & 0xFF                 (0x80 to 0x3FFF)
//   0xC0-0xDF  4 bytes  0xC0 | value >> 24, then bits 16-23, 8-15, 0-7  (0x4000 to 0x1FFFFFFF)
//   0xFF       5 bytes  0xFF, then the value most significant byte first (0x20000000 and up)
// The writer never produces first bytes 0xE0-0xFE; readers take them like 0xFF. A 64-bit value is its low
// 32 bits as a compact integer, then its high 32 bits as another.
//
// Writers are bounded: each byte is written only while the position is before the end, so a value that does
// not fit is cut short and the returned position tells how much was written. An end before the position is
// internal error 1225.
//
// Readers walk a cursor (a position that never moves past the end). The plain readers are forgiving: missing
// bytes count as zero and nothing fails. The checked readers refuse a value whose bytes are not all present;
// decoders of data from outside use them.
#pragma once

#include <cstdint>

// Longest encodings, for the local arrays that codecs encode into before appending.
constexpr int compact_u32_max_size = 5;
constexpr int compact_u64_max_size = 10;

// Writes value as two bytes, high first, each only while room remains. Returns the new position.
uint8_t *pack_u16_be(uint8_t *pos, const uint8_t *end, uint16_t value);

// Writes the compact encoding of value. Returns the new position.
uint8_t *pack_u32_compact(uint8_t *pos, const uint8_t *end, uint32_t value);

// Writes the low half, then the high half, each as a compact 32-bit integer. Returns the new position.
uint8_t *pack_u64_compact(uint8_t *pos, const uint8_t *end, uint64_t value);

// Reads one compact 32-bit integer and advances *cursor past the bytes read. At the end the result is 0 and
// the cursor stays. Short input never fails:
//   - a 2-byte form without its second byte gives the first byte itself;
//   - a 4-byte form without its second byte gives 0;
//   - otherwise the bytes present keep their positions and the missing ones count as 0.
uint32_t unpack_u32_compact(const uint8_t **cursor, const uint8_t *end);

// Reads the low half, then the high half; the result is (high << 32) | low.
uint64_t unpack_u64_compact(const uint8_t **cursor, const uint8_t *end);

// Checked reads: when every byte of the value lies before the end, store it in *value, advance the cursor and
// return true. Otherwise return false and leave *cursor and *value alone.
[[nodiscard]] bool unpack_u32_compact_checked(const uint8_t **cursor, const uint8_t *end, uint32_t *value);
[[nodiscard]] bool unpack_u64_compact_checked(const uint8_t **cursor, const uint8_t *end, uint64_t *value);
