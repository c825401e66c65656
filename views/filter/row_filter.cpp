// Filter conditions over whole rows.
#include "views/filter/row_filter.h"

#include "core/internal_error.h"
#include "views/filter/fuzzy_match.h"
#include "views/filter/letter_set.h"

namespace
{

// Keeps `found` (matched in `column`) as the row's match when none is recorded, or when it is a fuzzy
// match ranking before the recorded one.
void keep_match(filter_match_t *best, filter_match_t &found, int column, const row_texts_t &texts)
{
  if ( best == nullptr || (found.flags & match_recorded) == 0 )
    return;
  bool take = (best->flags & match_recorded) == 0;
  if ( !take && (found.flags & match_fuzzy_score) != 0 && (best->flags & match_fuzzy_score) != 0
       && best->column >= 0 && size_t(best->column) < texts.size() )
    take = fuzzy_rank_compare(found, texts[column].view(), *best, texts[best->column].view());
  if ( take )
  {
    *best = std::move(found);
    best->column = column;
  }
}

} // namespace

bool match_row_condition(filter_match_t *best_match, const row_texts_t &texts, const filter_condition_t &condition)
{
  if ( condition.mode() == filter_mode_fuzzy && best_match == nullptr )
    interr(interr_fuzzy_without_record);
  // Most texts of a long list lack a letter of the query: they fail here, before any match is set up.
  const uint64_t needed_letters = filter_needs_query_letters(condition) ? condition.letter_mask : 0;
  filter_match_t found;
  const auto test_column = [&](size_t column) {
    if ( !letter_set_covers(texts.letter_set(column), needed_letters) )
      return false;
    found.reset();
    if ( !filter_text_match(condition, best_match != nullptr ? &found : nullptr, texts[column].view(),
                            texts.letter_set(column)) )
      return false;
    keep_match(best_match, found, int(column), texts);
    return true;
  };
  const size_t columns = texts.size();
  if ( condition.column >= 0 && size_t(condition.column) < columns )
    return test_column(size_t(condition.column));
  const uint32_t test = condition.test();
  const bool every_column = test == filter_test_not_contains || test == filter_test_is || test == filter_test_is_not;
  for ( size_t column = 0; column < columns; ++column )
  {
    const bool pass = test_column(column);
    if ( every_column && !pass )
      return false;
    if ( !every_column && pass )
      return true;
  }
  return every_column;
}

bool condition_skipped_for_visibility(const filter_condition_t &condition)
{
  return !condition.is_enabled() || condition.action() == filter_action_highlight || condition.lacks_pattern();
}

bool row_passes_filters(const std::vector<filter_condition_t> &conditions, const row_texts_t &texts,
                        filter_match_t *best_match)
{
  bool include_tried = false;
  for ( const filter_condition_t &condition : conditions )
  {
    if ( condition_skipped_for_visibility(condition) )
      continue;
    const bool include = condition.action() == filter_action_include;
    include_tried = include_tried || include;
    filter_match_t found;
    if ( match_row_condition(&found, texts, condition) )
    {
      if ( best_match != nullptr )
        *best_match = std::move(found);
      return include;
    }
  }
  return !include_tried;
}

bool filter_cached_row(const std::vector<filter_condition_t> &conditions, item_info_t *row)
{
  row->match.reset();
  filter_match_t found;
  if ( !row_passes_filters(conditions, row->texts, &found) )
    return false;
  if ( (found.flags & match_recorded) != 0 )
    row->match = std::move(found);
  else
    row->match.flags = match_recorded | match_passed_unrecorded;
  return true;
}

uint32_t row_highlight_color(const std::vector<filter_condition_t> &conditions, const item_info_t &row,
                             uint32_t default_color)
{
  for ( const filter_condition_t &condition : conditions )
  {
    if ( !condition.is_enabled() || condition.action() != filter_action_highlight || condition.lacks_pattern() )
      continue;
    filter_match_t found;
    if ( match_row_condition(&found, row.texts, condition) )
      return condition.color;
  }
  return default_color;
}
