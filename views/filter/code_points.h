// Walking filter texts by code points, and the 16-bit positions that matches record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// A recorded position that is not there: no stretch, or a position too far into the text to be recorded.
inline constexpr uint16_t no_match_position = 0xFFFF;
// The last code-point position a match can record; later positions are recorded as no_match_position.
inline constexpr size_t max_match_position = 0xFFFE;

// Reads the code point at *cursor and advances past it, never beyond `end`. A byte that does not start a
// valid UTF-8 sequence counts as a code point of its own value; a NUL byte is code point 0. Always advances.
// The bytes from *cursor to end must be followed by a 0 byte (qstring texts are).
uint32_t step_code_point(const char **cursor, const char *end);

// Number of code points that start in the first `bytes` bytes of text (walked as step_code_point does).
size_t code_points_before(std::string_view text, size_t bytes);

// A code-point position as a match records it: itself up to max_match_position, else no_match_position.
inline uint16_t recorded_position(size_t position)
{
  return position <= max_match_position ? uint16_t(position) : no_match_position;
}
