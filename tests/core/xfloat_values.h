// Test helpers for the 16-byte software float: values built word by word, from and to doubles, and shown.
#pragma once

#include "core/xfloat.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

using u128 = unsigned __int128;

// A value from its sign, biased exponent and the seven significand words, most significant first.
inline xfloat_t make_x(bool negative, int exponent, std::array<uint16_t, 7> significand)
{
  xfloat_t x;
  for ( int i = 0; i < 7; ++i )
    x.words[6 - i] = significand[i];
  x.words[7] = uint16_t((negative ? 0x8000 : 0) | exponent);
  return x;
}

// Significands for make_x: only the leading bit, and every bit.
constexpr std::array<uint16_t, 7> LEAD = {0x8000, 0, 0, 0, 0, 0, 0};
constexpr std::array<uint16_t, 7> ALL_ONES = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};

// The biased exponent.
inline int exponent_of(const xfloat_t &x)
{
  return x.words[7] & 0x7FFF;
}

// The 112-bit significand as an integer.
inline u128 significand_of(const xfloat_t &x)
{
  u128 s = 0;
  for ( int i = 6; i >= 0; --i )
    s = (s << 16) | x.words[i];
  return s;
}

// A double converted exactly; a conversion that fails is a test failure.
inline xfloat_t from_double(double d)
{
  xfloat_t x;
  EXPECT_EQ(xfloat_convert_processor(&d, &x, XFLOAT_PROC_DOUBLE), 1) << d;
  return x;
}

// The value as the nearest double; a conversion that fails is a test failure.
inline double to_double(xfloat_t x)
{
  double d = 0;
  EXPECT_EQ(xfloat_convert_processor(&d, &x, XFLOAT_TO_PROCESSOR | XFLOAT_PROC_DOUBLE), 1);
  return d;
}

// The words in hexadecimal, sign and exponent first: "3FFF:8000 0000 ...".
inline std::string describe(const xfloat_t &x)
{
  char text[64];
  std::snprintf(text, sizeof(text), "%04X:%04X %04X %04X %04X %04X %04X %04X", x.words[7], x.words[6], x.words[5],
                x.words[4], x.words[3], x.words[2], x.words[1], x.words[0]);
  return text;
}
