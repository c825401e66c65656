// Locale-free case folding for filter matching: ASCII byte folds and one fixed code-point fold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// ASCII case of one byte; every other byte is returned unchanged. Never consults the process locale.
constexpr unsigned char ascii_upper(unsigned char b) { return b >= 'a' && b <= 'z' ? b - 0x20 : b; }
constexpr unsigned char ascii_lower(unsigned char b) { return b >= 'A' && b <= 'Z' ? b + 0x20 : b; }

// Byte-wise comparison folding ASCII letters to lower case (bytes taken unsigned, a shorter prefix first):
// negative, 0 or positive.
int ascii_case_compare(std::string_view a, std::string_view b);

// The first `count` bytes of a and b are equal up to ASCII case; both must hold at least `count` bytes.
bool ascii_case_equal(const char *a, const char *b, size_t count);

// Offset of the first occurrence of needle (non-empty) in hay, up to ASCII case; npos when none.
size_t ascii_case_find(std::string_view hay, std::string_view needle);

// The upper case of a code point by the project's own fixed table: ASCII, Latin-1, Latin Extended-A, Greek,
// Cyrillic and the fullwidth Latin letters. It never maps between ASCII and non-ASCII (so the dotless i and
// the long s keep their own values), which keeps the ASCII letter sets a sound pre-test of folded matching.
// Any other code point is returned unchanged.
uint32_t fold_upper(uint32_t cp);
