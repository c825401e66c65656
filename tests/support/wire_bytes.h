// Hand-written wire bytes for tests: a body or frame spelled out piece by piece.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using bytes_t = std::vector<uint8_t>;

// One piece of hand-written bytes: an int is one byte, a text is its bytes (no NUL added; write the 0 after
// it), bytes are taken as they are.
struct wire_piece_t
{
  wire_piece_t(int byte) : bytes{uint8_t(byte)} {}                                           // NOLINT: implicit
  wire_piece_t(const char *text) : bytes(text, text + std::char_traits<char>::length(text)) {} // NOLINT
  wire_piece_t(const std::string &text) : bytes(text.begin(), text.end()) {}                 // NOLINT
  wire_piece_t(const bytes_t &raw) : bytes(raw) {}                                            // NOLINT
  bytes_t bytes;
};

// Joins pieces: wire({"ann", 0, 0x05}) is the bytes 'a' 'n' 'n' 00 05.
inline bytes_t wire(std::initializer_list<wire_piece_t> pieces)
{
  bytes_t out;
  for ( const wire_piece_t &piece : pieces )
    out.insert(out.end(), piece.bytes.begin(), piece.bytes.end());
  return out;
}
