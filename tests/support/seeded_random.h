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

// How many runs a seeded loop makes: the full count, or a tenth of it (at least one) under the sanitizers.
constexpr int seeded_runs(int full)
{
#if defined(AKUI_SANITIZE) || defined(__SANITIZE_ADDRESS__)
  return full / 10 > 0 ? full / 10 : 1;
#else
  return full;
#endif
}
