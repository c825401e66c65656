// Sorting strategies of the buckets of a filtered view.
#include "views/filter/bucket_sorting.h"

#include "core/number_format.h"
#include "core/text_utils.h"
#include "views/filter/fuzzy_match.h"

#include <algorithm>
#include <cstring>

namespace
{

// Orders the positions from `first` on with `before` over cached rows; uncached rows go last.
template <typename Before>
void stable_sort_rows(bucket_rows_t &rows, std::span<uint64_t> positions, size_t first, Before before)
{
  if ( first >= positions.size() )
    return;
  std::stable_sort(positions.begin() + std::ptrdiff_t(first), positions.end(), [&](uint64_t pa, uint64_t pb) {
    item_info_t *a = rows.cached_row(pa);
    item_info_t *b = rows.cached_row(pb);
    if ( a == nullptr || b == nullptr )
      return a != nullptr;
    return before(*a, *b);
  });
}

// Hexadecimal text: an optional "0x" and then only hexadecimal digits, at most 64 bits of them.
bool parse_hex(const char *text, size_t length, uint64_t *value)
{
  const char *p = text;
  const char *end = text + length;
  if ( end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') )
    p += 2;
  if ( p == end )
    return false;
  const char *digits_end = nullptr;
  const uint64_t v = parse_radix_number(p, 16, &digits_end);
  if ( digits_end != end )
    return false;
  while ( p < end - 1 && *p == '0' )
    ++p;
  if ( end - p > 16 )
    return false;
  *value = v;
  return true;
}

} // namespace

bool column_sort_key(item_info_t *row, int32_t column, int32_t kind, uint32_t column_flags)
{
  if ( column < 0 || size_t(column) >= row->texts.size() )
    return false;
  if ( kind != sort_key_decimal && kind != sort_key_hex )
    return false;
  if ( row->sort_keys.size() < row->texts.size() )
    row->sort_keys.resize(row->texts.size());
  sort_key_t &key = row->sort_keys[size_t(column)];
  if ( key.kind != sort_key_unparsed )
    return key.kind == kind;
  key.kind = kind;
  const qstring &text = row->texts[size_t(column)];
  uint64_t value = 0;
  bool parsed;
  if ( kind == sort_key_decimal )
    parsed = parse_byte_size(&value, text.c_str()) && strlen(text.c_str()) == text.size();
  else
    parsed = (column_flags & column_flags_kind_mask) == column_flags_hex && parse_hex(text.c_str(), text.size(), &value);
  key.value = parsed ? int64_t(value) : 0;
  return parsed;
}

std::unique_ptr<bucket_sorting_strategy_t> new_bucket_column_sorting(int32_t column, int order, uint32_t column_flags)
{
  if ( column < 0 )
    return nullptr;
  return std::make_unique<bucket_column_sorting_t>(column, column_flags, order == sort_order_descending);
}

namespace
{

// The first 24 bytes of a text as three big-endian numbers, padded with zero bytes: two texts whose
// prefixes differ compare as their prefixes do (unsigned bytes, a shorter text first).
void text_prefix(std::string_view text, uint64_t prefix[3])
{
  uint8_t bytes[24] = {};
  memcpy(bytes, text.data(), std::min(text.size(), sizeof bytes));
  for ( size_t i = 0; i < 3; ++i )
  {
    uint64_t word;
    memcpy(&word, bytes + 8 * i, sizeof word);
    prefix[i] = __builtin_bswap64(word);
  }
}

} // namespace

namespace
{

// Sorts the records by `order` (-1, 0 or 1; reversed when descending); equal keys keep their order through
// the records' index, which makes the unstable sort stable.
template <typename Record, typename Order>
void sort_records(std::vector<Record> &records, bool descending, Order order)
{
  const int sign = descending ? -1 : 1;
  std::sort(records.begin(), records.end(), [&](const Record &a, const Record &b) {
    const int c = order(a, b) * sign;
    return c != 0 ? c < 0 : a.index < b.index;
  });
}

} // namespace

void bucket_column_sorting_t::sort(bucket_rows_t &rows, std::span<uint64_t> positions, size_t first) const
{
  if ( first >= positions.size() )
    return;
  const size_t col = size_t(column);
  const uint32_t numeric = column_flags & column_flags_kind_mask;
  const int32_t kind = numeric == column_flags_hex ? sort_key_hex : numeric == column_flags_decimal ? sort_key_decimal : 0;
  // Each row's key is taken once into a small contiguous record, so that most comparisons touch no row:
  // values compare as unsigned 64-bit numbers ("infty" and hexadecimal values above 2^63 sort last),
  // texts by their first 24 bytes and, on a tie, as unsigned bytes.
  struct value_t
  {
    uint64_t value;
    uint32_t index; // into the sorted positions (a bucket's row map holds 32-bit positions)
  };
  struct text_t
  {
    uint64_t prefix[3];
    const qstring *text;
    uint32_t index;
  };
  std::vector<value_t> values;
  std::vector<text_t> texts;
  // After the others, in their order: rows without the column, then rows not cached.
  std::vector<uint64_t> lacking;
  std::vector<uint64_t> uncached;
  const std::vector<uint64_t> sorted(positions.begin() + std::ptrdiff_t(first), positions.end());
  if ( kind != 0 )
    values.reserve(sorted.size());
  else
    texts.reserve(sorted.size());
  for ( size_t i = 0; i < sorted.size(); ++i )
  {
    item_info_t *row = rows.cached_row(sorted[i]);
    if ( row == nullptr || col >= row->texts.size() )
      (row == nullptr ? uncached : lacking).push_back(sorted[i]);
    else if ( kind != 0 )
    {
      column_sort_key(row, column, kind, column_flags);
      values.push_back({uint64_t(row->sort_keys[col].value), uint32_t(i)});
    }
    else
    {
      text_t t {{0, 0, 0}, &row->texts[col], uint32_t(i)};
      text_prefix(t.text->view(), t.prefix);
      texts.push_back(t);
    }
  }
  size_t at = first;
  if ( kind != 0 )
  {
    sort_records(values, descending, [](const value_t &a, const value_t &b) {
      return a.value < b.value ? -1 : a.value > b.value ? 1 : 0;
    });
    for ( const value_t &v : values )
      positions[at++] = sorted[v.index];
  }
  else
  {
    sort_records(texts, descending, [](const text_t &a, const text_t &b) {
      for ( size_t i = 0; i < 3; ++i )
        if ( a.prefix[i] != b.prefix[i] )
          return a.prefix[i] < b.prefix[i] ? -1 : 1;
      const int c = a.text->view().compare(b.text->view());
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    });
    for ( const text_t &t : texts )
      positions[at++] = sorted[t.index];
  }
  for ( const uint64_t position : lacking )
    positions[at++] = position;
  for ( const uint64_t position : uncached )
    positions[at++] = position;
}

void bucket_fuzzy_sorting_t::sort(bucket_rows_t &rows, std::span<uint64_t> positions, size_t first) const
{
  const auto scored = [](const item_info_t &row) {
    return (row.match.flags & match_fuzzy_score) != 0 && row.match.column >= 0
        && size_t(row.match.column) < row.texts.size();
  };
  stable_sort_rows(rows, positions, first, [&](item_info_t &a, item_info_t &b) {
    const bool has_a = scored(a);
    const bool has_b = scored(b);
    if ( !has_a || !has_b )
      return has_a;
    return fuzzy_rank_compare(a.match, a.texts[size_t(a.match.column)].view(), b.match,
                              b.texts[size_t(b.match.column)].view());
  });
}
