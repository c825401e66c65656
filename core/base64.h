// base64 with the standard alphabet and '=' padding, without line breaks.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstdint>

// Appends the encoding of count bytes to *out: every 3 bytes become 4 characters, a final 1 or 2 bytes
// become 2 or 3 characters padded with '=' to a multiple of 4. False (and nothing appended) for a null
// output, null data or a negative count.
bool encode_base64(qstring *out, const void *data, int64_t count);

// Appends the bytes encoded by the text, read up to `length` characters or the first '=', whichever comes
// first; bits that do not complete a byte at the end are dropped. False for a null output or text, a
// negative length, or a character outside the alphabet (blanks and line breaks included): the bytes
// decoded before that character stay appended, so callers discard the output on false.
[[nodiscard]] bool decode_base64(byte_buffer_t *out, const char *text, int64_t length);
