// A fixed pseudo-random sequence for seeded test loops, so that every run sees the same inputs.
#pragma once

#include <cstdint>

// The next value of a 32-bit xorshift sequence; the state must not start at 0.
inline uint32_t next_random(uint32_t *state)
{
  *state ^= *state << 13;
  *state ^= *state >> 17;
  *state ^= *state << 5;
  return *state;
}
