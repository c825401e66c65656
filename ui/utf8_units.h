// Text positions between UTF-8 bytes and the UTF-16 units that Qt's text layouts count.
#pragma once

#include <QString>

#include <cstddef>
#include <string_view>

// All four decode the same way: a code point above 0xFFFF is two units, every other code point one unit, and
// each byte that starts no valid sequence one unit (U+FFFD in the QString). The text must be followed by a NUL
// byte (a qstring's or a C string's view), which ends no sequence early.

// The UTF-16 form of the UTF-8 text.
[[nodiscard]] QString utf8_to_qstring(std::string_view text);
// The number of units of the text's UTF-16 form.
[[nodiscard]] size_t utf16_unit_count(std::string_view text);
// The byte offset where the first `units` units end; a position inside a surrogate pair goes past the pair;
// the text's length when it has fewer units.
[[nodiscard]] size_t utf8_offset_of_units(std::string_view text, size_t units);
// The number of units before the byte offset (clamped to the text); a byte offset inside a sequence counts
// that sequence.
[[nodiscard]] size_t units_before_utf8_offset(std::string_view text, size_t offset);
