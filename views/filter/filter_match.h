// The record of one row's match: where the query was found and, for fuzzy matches, the score that ranks it.
#pragma once

#include <cstdint>
#include <vector>

// Bits of filter_match_t::flags.
inline constexpr uint32_t match_first_char = 0x2;        // first_char_match_
inline constexpr uint32_t match_query_is_prefix = 0x4;   // query_is_candidate_prefix_
inline constexpr uint32_t match_recorded = 0x10;         // a match is recorded
inline constexpr uint32_t match_fuzzy_score = 0x20;      // the fuzzy score fields are valid
inline constexpr uint32_t match_passed_unrecorded = 0x40; // the row passed without a recorded match

// What matching one row yields. Promises: in fuzzy mode one position per code point of the query (the
// index in code points of each hit in the text); in the other modes two, the start and end of the matched
// stretch; no_match_position marks a stretch that is not there or a position beyond max_match_position.
struct filter_match_t
{
  std::vector<uint16_t> match_positions;
  double boundary_chars_ratio = 0; // share of the query found among the word-boundary characters
  double boundary_chars_use = 0;   // share of the word-boundary characters used by the query
  int64_t char_match_index_sum_ = 0; // sum of the hits' code-point indexes (not capped at 16 bits)
  uint32_t flags = 0;
  int32_t column = -1;             // column in which the recorded match lies; -1 none

  // Forgets everything: no positions, no score, column -1.
  void reset() { *this = filter_match_t(); }
  // Records the stretch [start, end] (code points) as a non-fuzzy match: clears the score, sets match_recorded.
  void record_range(uint16_t start, uint16_t end)
  {
    match_positions.assign({start, end});
    boundary_chars_ratio = 0;
    boundary_chars_use = 0;
    char_match_index_sum_ = 0;
    flags = match_recorded;
  }
};
