// Filter conditions over whole rows: one condition over a row's columns, the visibility rule of a list of
// conditions, and the highlight colour of a row.
#pragma once

#include "views/filter/filter_condition.h"
#include "views/filter/filter_match.h"
#include "views/filter/item_info.h"

#include <cstdint>
#include <vector>

// Internal errors of row matching.
inline constexpr int32_t interr_fuzzy_without_record = 40525;

// Tests one condition over a row (texts and their letter sets, one per column). A condition whose column
// lies inside the row tests that column; otherwise every column is tested: "doesn't contain", "is" and
// "is not" must pass in every column, the other tests in one. A passing column's match becomes the row's
// recorded match (with its column) when none is recorded yet, or, for a fuzzy match, when it ranks before
// the recorded fuzzy match. A fuzzy condition without best_match is internal error 40525.
bool match_row_condition(filter_match_t *best_match, const row_texts_t &texts, const filter_condition_t &condition);

// A condition that takes no part in deciding visibility: disabled, highlighting, or lacking its pattern.
bool condition_skipped_for_visibility(const filter_condition_t &condition);

// The visibility rule: with no condition taking part the row passes; otherwise the first condition (in
// list order) that matches decides (include shows, exclude hides); when none matches, the row is hidden
// if an include condition was tried, else shown. The deciding condition's match goes to *best_match.
bool row_passes_filters(const std::vector<filter_condition_t> &conditions, const row_texts_t &texts,
                        filter_match_t *best_match);

// One filtering pass over a cached row: resets its match and runs the visibility rule. A row that passes
// keeps the deciding match, or, without one, an empty match flagged match_recorded | match_passed_unrecorded;
// a row that fails keeps the cleared match. Answers whether the row is shown.
bool filter_cached_row(const std::vector<filter_condition_t> &conditions, item_info_t *row);

// The colour of the first enabled highlight condition (with its pattern when it needs one) that matches
// the row, in list order; default_color when none does.
uint32_t row_highlight_color(const std::vector<filter_condition_t> &conditions, const item_info_t &row,
                             uint32_t default_color);
