// One filter condition and the test of one text against it.
#include "views/filter/filter_condition.h"

#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "views/filter/code_points.h"
#include "views/filter/fuzzy_match.h"
#include "views/filter/letter_set.h"
#include "views/filter/text_fold.h"

#include <cstring>

bool filter_condition_t::compile_regex()
{
  // Whole words: the query grouped, so that "a|b" stays inside the word edges (or underscores).
  const bool words = mode() == filter_mode_whole_words;
  qstring error;
  regex = query.empty() ? nullptr
        : refcnted_regex_t::compile(query.view(), words ? "(\\b|(?<=_))(?:" : "", words ? ")(\\b|(?=_))" : "",
                                    match_case(), &error);
  if ( regex == nullptr && !query.empty() )
    log_printf("invalid regex: %s\n", error.c_str());
  return regex != nullptr;
}

void filter_condition_t::set_text(std::string_view text)
{
  set_filter_query(this, text.data(), text.size());
}

void set_filter_query(filter_condition_t *condition, const char *text, size_t length)
{
  if ( length == SIZE_MAX )
    interr(interr_filter_query_length);
  condition->query.assign(text, length);
  condition->letter_mask = letter_set(condition->query.view());
}

bool filter_conditions_equal(const filter_condition_t &a, const filter_condition_t &b)
{
  return a.regex == nullptr && b.regex == nullptr && a.flags == b.flags && a.column == b.column
      && a.color == b.color && a.query == b.query;
}

namespace
{

void record(filter_match_t *out, size_t start, size_t end)
{
  if ( out != nullptr )
    out->record_range(recorded_position(start), recorded_position(end));
}

void record_nothing(filter_match_t *out)
{
  if ( out != nullptr )
    out->record_range(no_match_position, no_match_position);
}

// Substring mode: the tests compare bytes, folding ASCII case unless match case.
bool substring_match(const filter_condition_t &c, filter_match_t *out, std::string_view text, uint64_t text_set)
{
  if ( !letter_set_covers(text_set, c.letter_mask) && filter_needs_query_letters(c) )
    return false;
  const std::string_view q = c.query.view();
  const uint32_t test = c.test();
  const bool exact = c.match_case();
  const auto find = [&] { return exact ? text.find(q) : ascii_case_find(text, q); };
  const auto equal_at = [&](size_t at) {
    return exact ? memcmp(text.data() + at, q.data(), q.size()) == 0 : ascii_case_equal(text.data() + at, q.data(), q.size());
  };
  const size_t q_points = code_points_before(q, q.size());
  switch ( test )
  {
    case filter_test_contains:
    {
      const size_t at = find();
      if ( at == std::string_view::npos )
        return false;
      const size_t start = code_points_before(text, at);
      record(out, start, start + q_points);
      return true;
    }
    case filter_test_not_contains:
      if ( find() != std::string_view::npos )
        return false;
      record_nothing(out);
      return true;
    case filter_test_begins:
      if ( text.size() < q.size() || !equal_at(0) )
        return false;
      record(out, 0, q_points);
      return true;
    case filter_test_ends:
    {
      if ( text.size() < q.size() )
        return false;
      const size_t at = text.size() - q.size();
      if ( !equal_at(at) )
        return false;
      const size_t start = code_points_before(text, at);
      record(out, start, start + q_points);
      return true;
    }
    default: // the whole-text comparisons
    {
      const int order = exact ? text.compare(q) : ascii_case_compare(text, q);
      const bool pass = test == filter_test_is ? order == 0
                      : test == filter_test_is_not ? order != 0
                      : test == filter_test_less ? order < 0
                      : order > 0;
      if ( pass )
        record(out, 0, q_points);
      return pass;
    }
  }
}

// Whole-words and regular-expression modes.
bool pattern_match(const filter_condition_t &c, filter_match_t *out, std::string_view text)
{
  if ( c.lacks_pattern() )
    return false;
  size_t start = 0;
  size_t end = 0;
  const regex_result_t result = c.regex->search(text.data(), &start, &end);
  if ( result == regex_result_t::over_budget )
  {
    log_printf("regex over budget, dropped: %s\n", c.query.c_str());
    return false;
  }
  const uint32_t test = c.test();
  bool matched = result == regex_result_t::match;
  if ( matched && (test == filter_test_is || test == filter_test_is_not) )
    matched = start == 0 && end == strnlen(text.data(), text.size());
  if ( (test == filter_test_contains || test == filter_test_is) != matched )
    return false;
  if ( matched )
  {
    const size_t first = code_points_before(text, start);
    record(out, first, first + code_points_before(text.substr(start), end - start));
  }
  else
    record_nothing(out);
  return true;
}

} // namespace

bool filter_needs_query_letters(const filter_condition_t &condition)
{
  if ( !condition.is_enabled() || condition.query.empty() )
    return false;
  const uint32_t test = condition.test();
  switch ( condition.mode() )
  {
    case filter_mode_fuzzy:
      return true;
    case filter_mode_substring:
      return test == filter_test_contains || test == filter_test_is || test == filter_test_begins
          || test == filter_test_ends;
    default:
      return false;
  }
}

bool filter_text_match(const filter_condition_t &condition, filter_match_t *match_out, std::string_view text,
                       uint64_t text_letter_set)
{
  if ( !condition.is_enabled() || condition.query.empty() )
    return true;
  switch ( condition.mode() )
  {
    case filter_mode_fuzzy: // an empty text holds no query (a query of non-ASCII letters passes its letter set)
      return !text.empty() && fuzzy_search(match_out, condition.query.view(), condition.letter_mask, text, text_letter_set,
                          condition.match_case());
    case filter_mode_substring:
      return substring_match(condition, match_out, text, text_letter_set);
    default:
      return pattern_match(condition, match_out, text);
  }
}
