// The stored visibility of a header view's sections: a small versioned bitmap.
#pragma once

#include "core/qvector.h"

#include <cstdint>

class QHeaderView;

// Buffer: version byte 1, the section count as a compact integer, then ceil(count / 8) bytes of bits, bit i
// (least significant first within each byte) set when section i is visible.
constexpr uint8_t header_visibility_version = 1;

// Replaces *out with the buffer of the header's sections (in logical order). Null header: an empty buffer.
void save_header_sections_visibility(const QHeaderView *header, byte_buffer_t *out);

// Reads a buffer and answers the section count it holds; when that count equals the header's section count,
// shows and hides the sections as it says. A buffer that is short, of another version, or whose bitmap has
// another length than its count needs answers 0 and changes nothing; so does a null header.
[[nodiscard]] uint32_t restore_header_sections_visibility(QHeaderView *header, const byte_buffer_t &buffer);
