// Fuzzy matching and ranking.
#include "views/filter/fuzzy_match.h"

#include "core/internal_error.h"
#include "views/filter/code_points.h"
#include "views/filter/letter_set.h"
#include "views/filter/text_fold.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

namespace
{

bool is_ascii_punct(unsigned char b)
{
  return (b >= 0x21 && b <= 0x2F) || (b >= 0x3A && b <= 0x40) || (b >= 0x5B && b <= 0x60) || (b >= 0x7B && b <= 0x7E);
}
bool is_ascii_upper(unsigned char b) { return b >= 'A' && b <= 'Z'; }
bool is_ascii_letter(unsigned char b) { return is_ascii_upper(ascii_upper(b)); }

// The characters where words start: the first byte (unless punctuation), camel-case humps, and letters
// right after punctuation; each in lower case.
std::string word_boundary_chars(std::string_view text)
{
  std::string out;
  for ( size_t i = 0; i < text.size(); ++i )
  {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    bool boundary;
    if ( i == 0 )
      boundary = !is_ascii_punct(b);
    else
    {
      const unsigned char prev = static_cast<unsigned char>(text[i - 1]);
      boundary = b < 0x80
              && ((is_ascii_upper(b) && !is_ascii_upper(prev)) || (is_ascii_letter(b) && is_ascii_punct(prev)));
    }
    if ( boundary )
      out.push_back(static_cast<char>(ascii_lower(b)));
  }
  return out;
}

// Length of the longest common subsequence of a and b, bytes folded to ASCII upper case unless match_case.
size_t common_subsequence(std::string_view a, std::string_view b, bool match_case)
{
  if ( a.size() < b.size() )
    std::swap(a, b);
  const auto fold = [match_case](char c) {
    return match_case ? static_cast<unsigned char>(c) : ascii_upper(static_cast<unsigned char>(c));
  };
  std::vector<size_t> prev(b.size() + 1, 0);
  std::vector<size_t> cur(b.size() + 1, 0);
  for ( const char x : a )
  {
    for ( size_t j = 0; j < b.size(); ++j )
      cur[j + 1] = fold(x) == fold(b[j]) ? prev[j] + 1 : std::max(prev[j + 1], cur[j]);
    std::swap(prev, cur);
  }
  return prev[b.size()];
}

// Comparisons the boundary score may spend on one text.
constexpr size_t boundary_score_work = size_t(1) << 24;

// Two ratios are equal within the precision of a double.
bool ratios_equal(double x, double y) { return std::fabs(x - y) <= std::max(std::fabs(x), std::fabs(y)) * DBL_EPSILON; }
bool ratio_is_one(double x) { return ratios_equal(x, 1.0); }

} // namespace

bool fuzzy_search(filter_match_t *match_out, std::string_view query, uint64_t query_letter_set,
                  std::string_view text, uint64_t text_letter_set, bool match_case)
{
  if ( !letter_set_covers(text_letter_set, query_letter_set) )
    return false;
  if ( query.empty() || text.empty() )
    interr(interr_fuzzy_empty_text);
  const auto fold = [match_case](uint32_t cp) { return match_case ? cp : fold_upper(cp); };
  std::vector<uint16_t> positions;
  int64_t sum = 0;
  const char *q = query.data();
  const char *q_end = q + query.size();
  const char *t = text.data();
  const char *t_end = t + text.size();
  size_t index = 0; // code points of the text consumed so far
  while ( q < q_end )
  {
    const uint32_t want = fold(step_code_point(&q, q_end));
    for ( ;; )
    {
      if ( t >= t_end )
        return false;
      const uint32_t have = fold(step_code_point(&t, t_end));
      ++index;
      if ( have == want )
        break;
    }
    positions.push_back(recorded_position(index - 1));
    sum += int64_t(index - 1);
  }
  if ( match_out == nullptr )
    return true;

  const auto fold_byte = [match_case](char c) {
    return match_case ? static_cast<unsigned char>(c) : ascii_upper(static_cast<unsigned char>(c));
  };
  // The common subsequence costs |query| x |boundary characters|: on huge texts only the first boundary
  // characters within a fixed amount of work are scored.
  std::string boundary = word_boundary_chars(text);
  const size_t keep = std::max<size_t>(1, boundary_score_work / query.size());
  if ( boundary.size() > keep )
    boundary.resize(keep);
  const size_t wb_matches = common_subsequence(query, boundary, match_case);
  match_out->match_positions = std::move(positions);
  match_out->char_match_index_sum_ = sum;
  match_out->boundary_chars_ratio = wb_matches > 0 ? double(wb_matches) / double(query.size()) : 0;
  match_out->boundary_chars_use = wb_matches > 0 ? double(wb_matches) / double(boundary.size()) : 0;
  match_out->flags = match_recorded | match_fuzzy_score;
  if ( fold_byte(text[0]) == fold_byte(query[0]) )
    match_out->flags |= match_first_char;
  if ( text.size() >= query.size() && ascii_case_equal(text.data(), query.data(), query.size()) )
    match_out->flags |= match_query_is_prefix;
  return true;
}

bool fuzzy_rank_compare(const filter_match_t &a, std::string_view text_a, const filter_match_t &b,
                        std::string_view text_b)
{
  if ( (a.flags & match_fuzzy_score) == 0 || (b.flags & match_fuzzy_score) == 0 )
    interr(interr_fuzzy_unscored);
  const bool first_a = (a.flags & match_first_char) != 0;
  const bool first_b = (b.flags & match_first_char) != 0;
  if ( first_a != first_b )
    return first_a;
  if ( ratio_is_one(a.boundary_chars_ratio) || ratio_is_one(b.boundary_chars_ratio) )
  {
    if ( !ratios_equal(a.boundary_chars_ratio, b.boundary_chars_ratio) )
      return a.boundary_chars_ratio > b.boundary_chars_ratio;
    if ( !ratios_equal(a.boundary_chars_use, b.boundary_chars_use) )
      return a.boundary_chars_use > b.boundary_chars_use;
  }
  const bool prefix_a = (a.flags & match_query_is_prefix) != 0;
  const bool prefix_b = (b.flags & match_query_is_prefix) != 0;
  if ( prefix_a != prefix_b )
    return prefix_a;
  if ( !ratios_equal(a.boundary_chars_ratio, b.boundary_chars_ratio) )
    return a.boundary_chars_ratio > b.boundary_chars_ratio;
  if ( !ratios_equal(a.boundary_chars_use, b.boundary_chars_use) )
    return a.boundary_chars_use > b.boundary_chars_use;
  if ( a.char_match_index_sum_ != b.char_match_index_sum_ )
    return a.char_match_index_sum_ < b.char_match_index_sum_;
  if ( text_a.size() != text_b.size() )
    return text_a.size() < text_b.size();
  const size_t n = std::min(text_a.size(), text_b.size());
  for ( size_t i = 0; i < n; ++i )
    if ( text_a[i] != text_b[i] )
      return static_cast<signed char>(text_a[i]) < static_cast<signed char>(text_b[i]);
  return false;
}
