// One filter condition of a filtered view (quick filter or column filter) and the test of one text against it.
#pragma once

#include "core/qstring.h"
#include "views/filter/filter_match.h"
#include "views/filter/refcnted_regex.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

// Match modes (bits 0-1 of the flags).
inline constexpr uint32_t filter_mode_mask = 0x3;
inline constexpr uint32_t filter_mode_substring = 0;
inline constexpr uint32_t filter_mode_whole_words = 1;
inline constexpr uint32_t filter_mode_regex = 2;
inline constexpr uint32_t filter_mode_fuzzy = 3;
// Other flag bits.
inline constexpr uint32_t filter_match_case = 0x20;
inline constexpr uint32_t filter_disabled = 0x40;
inline constexpr uint32_t filter_action_mask = 0xC00;
inline constexpr uint32_t filter_action_include = 0x000;
inline constexpr uint32_t filter_action_exclude = 0x400;
inline constexpr uint32_t filter_action_highlight = 0x800;
inline constexpr uint32_t filter_test_mask = 0x7000;
inline constexpr uint32_t filter_test_contains = 0x0000;
inline constexpr uint32_t filter_test_not_contains = 0x1000;
inline constexpr uint32_t filter_test_is = 0x2000;
inline constexpr uint32_t filter_test_is_not = 0x3000;
inline constexpr uint32_t filter_test_begins = 0x4000;
inline constexpr uint32_t filter_test_ends = 0x5000;
inline constexpr uint32_t filter_test_less = 0x6000;
inline constexpr uint32_t filter_test_more = 0x7000;
inline constexpr uint32_t filter_quick_filter = 0x80000000; // the quick filter's condition (stored words too)

// Internal errors of filter matching.
inline constexpr int32_t interr_filter_query_length = 40527;

// One condition. Promises: letter_mask is the letter set of query whenever the query is set through
// set_filter_query; copies share the compiled pattern; in modes 1 and 2 a condition without a usable
// pattern (none compiled, or one that went over its match budget) matches no text.
struct filter_condition_t
{
  uint32_t flags = 0;
  int32_t column = -1;   // tested column; outside 0 .. column count - 1: every column
  uint32_t color = 0;    // highlight colour 0x00BBGGRR
  qstring query;         // UTF-8
  uint64_t letter_mask = 0;
  std::shared_ptr<refcnted_regex_t> regex; // modes 1 and 2 only; may be null

  uint32_t mode() const { return flags & filter_mode_mask; }
  uint32_t test() const { return flags & filter_test_mask; }
  uint32_t action() const { return flags & filter_action_mask; }
  bool is_enabled() const { return (flags & filter_disabled) == 0; }
  bool match_case() const { return (flags & filter_match_case) != 0; }
  bool needs_pattern() const { return mode() == filter_mode_whole_words || mode() == filter_mode_regex; }
  // A mode that needs a pattern, without one that can still be used: the condition is dropped or skipped.
  bool lacks_pattern() const { return needs_pattern() && (regex == nullptr || regex->over_budget()); }

  // Builds and compiles the pattern (whole words: the query grouped and bounded by word edges or
  // underscores; otherwise the query itself), replacing the previous one. On failure logs
  // "invalid regex: %s\n" with the error text and keeps no pattern. True when a pattern is now held.
  bool compile_regex();

  // Spellings of the chooser's column filters.
  bool compile() { return compile_regex(); }
  void set_text(std::string_view text);
};

// The chooser's name for the same record.
using column_filter_t = filter_condition_t;

// Stores the text as the query and recomputes its letter set. A length of all ones is internal error 40527.
void set_filter_query(filter_condition_t *condition, const char *text, size_t length);

// True only when neither condition holds a compiled pattern and flags, column, colour and query are equal.
bool filter_conditions_equal(const filter_condition_t &a, const filter_condition_t &b);

// Tests one text (followed by a 0 byte, as qstring texts are) with its letter set. On a pass the match
// (when match_out is given) receives what was found; in fuzzy mode also the score. A disabled condition
// and an empty query match, recording nothing. A pattern that goes over its match budget fails the text
// and is marked so (lacks_pattern); the first such text logs "regex over budget, dropped: %s\n".
bool filter_text_match(const filter_condition_t &condition, filter_match_t *match_out, std::string_view text,
                       uint64_t text_letter_set);

// Whether filter_text_match fails every text whose letter set lacks a letter of the query: an enabled
// condition with a query, in fuzzy mode or testing "contains", "is", "begins with" or "ends with" by
// substring. A row test then skips such a text at the cost of one comparison of letter sets.
bool filter_needs_query_letters(const filter_condition_t &condition);
