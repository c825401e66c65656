// Decimal text conversions of the 16-byte software float: reading literals and writing values back.
#pragma once

#include "core/xfloat.h"

#include <cstddef>
#include <cstdint>

// Reads a decimal floating-point literal at *position into *out: ASCII blanks, an optional sign, digits with at
// most one point, then an optional exponent ("e" or "E", an optional sign, at least one digit, below 32768, and
// never written as minus zero). A sign is allowed only first; a sign with nothing after it reads as zero.
// The number ends after the fraction digits unless an exponent follows, after the exponent digits, or at any other
// character after a digit or a point, except that a "z" right after the digits makes the text not a number.
// The literal is read whole; past about 34 significant digits the digits only round and scale the value.
// Returns XFLOAT_OK, XFLOAT_RANGE (too large or too small for the format) or XFLOAT_NOT_NUMBER; *out is zero
// unless XFLOAT_OK. *position advances over the characters read: those of the number, or up to the character
// where the text was found not to be a number; a text of blanks only (or none) leaves it where it was.
int text_to_float(const char **position, xfloat_t *out);

// Writes x into buffer: one digit before the point, one to 33 digits after it (the low byte of format asks for
// the count, at most 33; trailing zeros are dropped), then "e" and the decimal exponent when it is not 0:
// "1.0", "1.5e3", "-2.5e-7". Zeros are "0.0" and "-0.0"; exponent 32767 gives "+Inf", "-Inf" or "NaN".
// The text is cut to size bytes and terminated as buf_printf does; a size of 2^63 or more is internal error 1225.
// Returns buffer.
char *float_to_text(char *buffer, size_t size, const xfloat_t &x, uint32_t format);
