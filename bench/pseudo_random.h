// A fixed pseudo-random sequence for benchmark inputs, so that every run measures the same data.
#pragma once

#include <cstdint>

// A 64-bit shift-and-xor generator: fast, full period, and the same sequence for the same seed.
class pseudo_random_t
{
public:
  explicit pseudo_random_t(uint64_t seed = 0x243F6A8885A308D3ull) : state_(seed) {}

  // The next value of the sequence (never 0 when the seed is not 0).
  uint64_t next()
  {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }

private:
  uint64_t state_;
};
