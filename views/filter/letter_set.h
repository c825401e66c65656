// Letter sets: the 64-bit summary of a text's ASCII characters that rejects most non-matching texts at once.
#pragma once

#include <cstdint>
#include <string_view>

// For every ASCII byte b of the text, bit (upper case of b AND 63). Bytes of 0x80 and above add nothing: the
// folds of matching may pair different non-ASCII bytes, so only ASCII bytes are a safe requirement.
uint64_t letter_set(std::string_view text);

// A text can only contain the query when its set holds every bit of the query's set.
inline bool letter_set_covers(uint64_t text_set, uint64_t query_set) { return (text_set & query_set) == query_set; }
