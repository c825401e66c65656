// Writing JSON values as text: compact or indented, members in insertion or key order.
#pragma once

#include "core/json_value.h"
#include "core/qstring.h"

// Flags of json_to_text.
constexpr int JSON_TEXT_PRETTY = 1;      // a line break and four spaces per level inside every container
constexpr int JSON_TEXT_SORTED_KEYS = 2; // members of every object in ascending byte order of their keys

// Appends the text of the value to *out. Integers as "%lld", doubles as "%lf" (six decimals), strings and
// keys between double quotes with backslash escapes (escape_text), so that every string and key reads back
// (json_parse_text) byte for byte. Pretty output breaks the line after "{", "[" and every ",", indented one level deeper, and
// before "}" and "]", at the container's own level; nothing else is added (no blank after ':').
// False when a value in the tree has no text form (tag JSON_NONE, an unknown tag, a double that is not
// finite) or when the same object or array is met twice; *out then holds what was written up to there.
[[nodiscard]] bool json_to_text(qstring *out, const json_value_t *value, int flags);
