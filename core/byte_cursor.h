// Byte buffers as codecs fill them, and NUL-terminated strings read from a cursor over received bytes.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstddef>
#include <cstdint>

// Appends n bytes (nothing for n = 0); the buffer grows like every core container.
void bytevec_append(byte_buffer_t *buf, const void *data, size_t n);

// Shrinks the buffer to n bytes, or grows it to n bytes with the new ones zero-filled.
void bytevec_resize(byte_buffer_t *buf, size_t n);

// Looks for a NUL byte between *cursor and end. When there is one, appends the bytes before it to *out,
// moves the cursor past the NUL and returns true; otherwise returns false and leaves cursor and string alone.
[[nodiscard]] bool unpack_zstring(qstring *out, const uint8_t **cursor, const uint8_t *end);
