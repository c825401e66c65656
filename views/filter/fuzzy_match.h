// Fuzzy matching of a query as a subsequence of a text, its score, and the ranking of two scored matches.
#pragma once

#include "views/filter/filter_match.h"

#include <cstdint>
#include <string_view>

// Internal errors of fuzzy matching.
inline constexpr int32_t interr_fuzzy_empty_text = 40528;
inline constexpr int32_t interr_fuzzy_unscored = 40530;

// Finds the query's code points in the text in order (leftmost greedy), folding both sides with fold_upper
// unless match_case; a byte that starts no valid UTF-8 sequence counts as a code point of its own value.
// Fails at once when the text's letter set lacks a bit of the query's. On success *match_out (when given)
// receives the hit positions and the score (flags match_recorded and match_fuzzy_score). Both texts must be
// followed by a 0 byte. An empty query or text is internal error 40528.
bool fuzzy_search(filter_match_t *match_out, std::string_view query, uint64_t query_letter_set,
                  std::string_view text, uint64_t text_letter_set, bool match_case);

// True when match A (of text A) ranks before match B (of text B): first-character match, a complete
// boundary match, the query as a prefix, the boundary ratio and use, the hits' index sum, the text length,
// then the text bytes taken as signed chars. A strict weak order over scored matches. A record without a
// fuzzy score is internal error 40530.
bool fuzzy_rank_compare(const filter_match_t &a, std::string_view text_a, const filter_match_t &b,
                        std::string_view text_b);
