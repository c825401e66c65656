// The core's 16-byte software floating-point value and its arithmetic, computed in 64-bit and 128-bit integers.
#pragma once

#include <bit>
#include <cstdint>

// xfloat_t: one value, read as a little-endian 128-bit number: bit 127 the sign, bits 112..126 the exponent
// (bias 16383), bits 0..111 the significand with an explicit leading bit at bit 111.
// Exponent 0 is zero whatever the significand holds; exponent 32767 holds infinities (only the leading bit set)
// and NaNs (any other significand bit set). Arithmetic gives that exponent no special meaning.
// words[0] holds bits 0..15, words[7] the sign and the exponent; the byte layout is the machine's.
struct xfloat_t
{
  uint16_t words[8];

  // Same bytes (so +0 and -0 differ; use xfloat_compare for the order of values).
  friend bool operator==(const xfloat_t &, const xfloat_t &) = default;
};
static_assert(std::endian::native == std::endian::little, "xfloat_t is laid out for a little-endian machine");
static_assert(sizeof(xfloat_t) == 16);

inline constexpr uint16_t XFLOAT_SIGN_BIT = 0x8000;
inline constexpr int XFLOAT_BIAS = 16383;
inline constexpr int XFLOAT_MAX_EXPONENT = 32767;   // infinities and NaNs

inline constexpr xfloat_t xfloat_zero = {{0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr xfloat_t xfloat_one = {{0, 0, 0, 0, 0, 0, 0x8000, 16383}};
inline constexpr xfloat_t xfloat_half = {{0, 0, 0, 0, 0, 0, 0x8000, 16382}};

// Status codes of the operations.
inline constexpr int XFLOAT_OK = 1;
inline constexpr int XFLOAT_RANGE = 2;          // result exponent would leave 1..32766; the output is zero
inline constexpr int XFLOAT_NOT_NUMBER = 3;     // text conversion only
inline constexpr int XFLOAT_DIV_BY_ZERO = 4;    // the output is zero
inline constexpr int XFLOAT_INT_RANGE = 5;      // the value does not fit the integer

// out = a + b, or a - b when subtract is set; status XFLOAT_OK or XFLOAT_RANGE. x + (-x) is +0.
// out may be the same object as an operand (so may every other output below).
int xfloat_add(const xfloat_t &a, const xfloat_t &b, xfloat_t *out, bool subtract = false);

// out = a * b; status XFLOAT_OK or XFLOAT_RANGE. A zero operand gives +0.
int xfloat_multiply(const xfloat_t &a, const xfloat_t &b, xfloat_t *out);

// out = dividend / divisor; status XFLOAT_OK, XFLOAT_RANGE or XFLOAT_DIV_BY_ZERO (out is zero then).
int xfloat_divide(const xfloat_t &dividend, const xfloat_t &divisor, xfloat_t *out);

// -1 when a < b, 0 when equal, 1 when a > b; -0 is below +0.
int xfloat_compare(const xfloat_t &a, const xfloat_t &b);

// Converts to a signed 64-bit integer, truncating toward zero, or rounding half away from zero when round is set.
// Status XFLOAT_OK, or XFLOAT_INT_RANGE for magnitudes of 2^63 and above (-2^63 included) and for infinities
// and NaNs; *out is written only on success.
int xfloat_to_int64(int64_t *out, const xfloat_t &x, bool round);

// Exact conversion of any 64-bit integer.
void int64_to_xfloat(int64_t value, xfloat_t *out);

// Processor formats for xfloat_convert_processor: the low three bits of the code; add XFLOAT_TO_PROCESSOR to
// convert *x into the bytes, otherwise the bytes are converted into *x. The bytes are little-endian.
inline constexpr int XFLOAT_PROC_SINGLE = 1;     // IEEE single, 4 bytes
inline constexpr int XFLOAT_PROC_DOUBLE = 3;     // IEEE double, 8 bytes
inline constexpr int XFLOAT_PROC_EXTENDED = 4;   // 80-bit extended with explicit integer bit, 10 bytes
inline constexpr int XFLOAT_TO_PROCESSOR = 8;

// Results of xfloat_convert_processor besides 1 (done); nothing is written on failure.
inline constexpr int XFLOAT_PROC_BAD_FORMAT = -1;   // the code names no format
inline constexpr int XFLOAT_PROC_RANGE = -2;        // outside the target format's normal range
inline constexpr int XFLOAT_PROC_DENORMAL = -3;     // the bytes hold a denormal or an unnormal

// Converts between *x and a processor format. Towards the processor the value is rounded to nearest (ties to
// even) at the format's precision; infinities and NaNs keep their kind. From the processor every normal value,
// zero, infinity and NaN converts exactly.
int xfloat_convert_processor(void *bytes, xfloat_t *x, int code);
