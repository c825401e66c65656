// Sorting strategies of the buckets of a filtered view.
#include "views/filter/bucket_sorting.h"

#include "core/number_format.h"
#include "core/text_utils.h"
#include "views/filter/fuzzy_match.h"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>
#include <utility>
#include <vector>
#include <cstring>
#include <numeric>

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

// The value of a text as a sort key of `kind`; 0 and false when it is no number of the kind.
bool parse_sort_key(row_text_t text, int32_t kind, uint32_t column_flags, uint64_t *value)
{
  *value = 0;
  const bool parsed = kind == sort_key_decimal
                    ? parse_byte_size(value, text.c_str()) && strlen(text.c_str()) == text.size()
                    : (column_flags & column_flags_kind_mask) == column_flags_hex
                        && parse_hex(text.c_str(), text.size(), value);
  if ( !parsed )
    *value = 0;
  return parsed;
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
  uint64_t value;
  const bool parsed = parse_sort_key(row->texts[size_t(column)], kind, column_flags, &value);
  key.value = int64_t(value);
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
  if ( !text.empty() ) // an empty view may have no data at all
    memcpy(bytes, text.data(), std::min(text.size(), sizeof bytes));
  for ( size_t i = 0; i < 3; ++i )
  {
    uint64_t word;
    memcpy(&word, bytes + 8 * i, sizeof word);
    prefix[i] = __builtin_bswap64(word);
  }
}

// A row's sort value and its place among the sorted positions (a bucket's row map holds 32-bit positions).
struct value_record_t
{
  uint64_t value;
  uint32_t index;
};

// Sorts the records by value with a least-significant-digit radix sort, a byte per pass: stable, so equal
// values keep their order. The counts of every byte come from one reading pass, and a pass whose byte is
// the same in every record is skipped (sizes rarely use their high bytes).
void radix_sort_values(std::vector<value_record_t> &records)
{
  if ( records.size() < 2 )
    return;
  std::vector<std::array<size_t, 256>> counts(8, std::array<size_t, 256> {});
  for ( const value_record_t &r : records )
    for ( unsigned b = 0; b < 8; ++b )
      ++counts[b][(r.value >> (8 * b)) & 0xFF];
  std::vector<value_record_t> moved;
  for ( unsigned b = 0; b < 8; ++b )
  {
    std::array<size_t, 256> &at = counts[b];
    if ( at[(records.front().value >> (8 * b)) & 0xFF] == records.size() )
      continue;
    size_t start = 0;
    for ( size_t &c : at )
      start += std::exchange(c, start);
    moved.resize(records.size());
    for ( const value_record_t &r : records )
      moved[at[(r.value >> (8 * b)) & 0xFF]++] = r;
    records.swap(moved);
  }
}

// A row's text key: its first 24 bytes as three big-endian numbers (see text_prefix) and its place among the
// sorted positions; the text itself is reached through the place only when two prefixes tie.
struct text_record_t
{
  uint64_t prefix[3];
  uint32_t index;
};

// Sorts text records whose texts agree in their first `offset` bytes (padded with zero bytes), with each
// record's prefix holding the 24 bytes from `offset` on: by those, then each run of equal ones by the next 24
// bytes of its texts, and so on; texts equal but for their zero padding go by length (a shorter text first,
// as unsigned bytes compare); equal texts by index. All but the index order reverse when descending. Most
// comparisons touch only the records; a text is read once per 24 bytes its run has in common.
template <typename TextOf>
void sort_text_records(std::span<text_record_t> all, bool descending, TextOf text_of)
{
  const auto same_key = [](const text_record_t &a, const text_record_t &b) {
    return a.prefix[0] == b.prefix[0] && a.prefix[1] == b.prefix[1] && a.prefix[2] == b.prefix[2];
  };
  const auto before = [descending](const text_record_t &a, const text_record_t &b) {
    for ( size_t i = 0; i < 3; ++i )
      if ( a.prefix[i] != b.prefix[i] )
        return (a.prefix[i] < b.prefix[i]) != descending;
    return a.index < b.index;
  };
  struct pending_t
  {
    std::span<text_record_t> records;
    size_t offset;
  };
  // An explicit stack: long texts that agree over many bytes (megabyte rows) must not nest calls.
  std::vector<pending_t> pending {{all, 0}};
  while ( !pending.empty() )
  {
    const auto [records, offset] = pending.back();
    pending.pop_back();
    std::sort(records.begin(), records.end(), before);
    const size_t next = offset + sizeof records[0].prefix;
    for ( size_t run = 0, end; run < records.size(); run = end )
    {
      for ( end = run + 1; end < records.size() && same_key(records[end], records[run]); )
        ++end;
      if ( end - run < 2 )
        continue;
      const std::span<text_record_t> same = records.subspan(run, end - run);
      bool longer = false;
      for ( text_record_t &r : same )
      {
        const std::string_view text = text_of(r.index);
        longer = longer || text.size() > next;
        text_prefix(text.size() > next ? text.substr(next) : std::string_view(), r.prefix);
      }
      if ( longer )
        pending.push_back({same, next});
      else
      {
        for ( text_record_t &r : same )
          r.prefix[0] = text_of(r.index).size();
        std::sort(same.begin(), same.end(), before);
      }
    }
  }
}

// The places of the rows in nearly the order of their addresses: a counting sort by 64 KB block (a pass each
// way, no comparisons), so that rows met in a random shown order (as after a sort) are read mostly in memory
// order instead of one cache miss each. Places without a row come first.
std::vector<uint32_t> memory_order(const std::vector<item_info_t *> &found)
{
  uintptr_t low = UINTPTR_MAX;
  uintptr_t high = 0;
  for ( const item_info_t *row : found )
    if ( row != nullptr )
    {
      low = std::min(low, uintptr_t(row));
      high = std::max(high, uintptr_t(row));
    }
  std::vector<uint32_t> order(found.size());
  if ( low > high )
  {
    std::iota(order.begin(), order.end(), 0u);
    return order;
  }
  // Rows spread over much memory get coarser blocks: the counts stay within a few per row.
  unsigned shift = 16;
  while ( ((high - low) >> shift) > 4 * found.size() + 1024 )
    ++shift;
  const auto block = [&](const item_info_t *row) {
    return row == nullptr ? size_t(0) : size_t(1 + ((uintptr_t(row) - low) >> shift));
  };
  std::vector<uint32_t> starts(((high - low) >> shift) + 3, 0);
  for ( const item_info_t *row : found )
    ++starts[block(row) + 1];
  std::partial_sum(starts.begin(), starts.end(), starts.begin());
  for ( size_t i = 0; i < found.size(); ++i )
    order[starts[block(found[i])]++] = uint32_t(i);
  return order;
}

// Drops the records of places whose state is not `has_key`, keeping the others in order; the positions of the
// dropped ones go to *lacking or *uncached, in order.
enum row_state_t : uint8_t
{
  has_key,
  lacks_column,
  not_cached,
};
template <typename Record>
void keep_keyed(std::vector<Record> &records, const std::vector<row_state_t> &state,
                const std::vector<uint64_t> &sorted, std::vector<uint64_t> *lacking, std::vector<uint64_t> *uncached)
{
  size_t kept = 0;
  for ( size_t i = 0; i < records.size(); ++i )
    if ( state[i] == has_key )
      records[kept++] = records[i];
    else
      (state[i] == lacks_column ? lacking : uncached)->push_back(sorted[i]);
  records.resize(kept);
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
  const std::vector<uint64_t> sorted(positions.begin() + std::ptrdiff_t(first), positions.end());
  std::vector<item_info_t *> found(sorted.size());
  for ( size_t i = 0; i < sorted.size(); ++i )
    found[i] = rows.cached_row(sorted[i]);
  // Each key goes to the record of its place; the rows are read in memory order.
  std::vector<row_state_t> state(sorted.size()); // has_key
  std::vector<value_record_t> values(kind != 0 ? sorted.size() : 0);
  std::vector<text_record_t> texts(kind != 0 ? 0 : sorted.size());
  // Descending values sort by their complement, which keeps equal values in their order.
  const uint64_t flip = descending ? ~uint64_t(0) : 0;
  for ( const uint32_t i : memory_order(found) )
  {
    item_info_t *row = found[i];
    if ( row == nullptr || col >= row->texts.size() )
      state[i] = row == nullptr ? not_cached : lacks_column;
    else if ( kind != 0 )
    {
      // A row parsed before keeps its keys; the others are parsed here, without a block of keys each.
      uint64_t value;
      if ( row->sort_keys.empty() )
        (void)parse_sort_key(row->texts[col], kind, column_flags, &value);
      else
      {
        column_sort_key(row, column, kind, column_flags);
        value = uint64_t(row->sort_keys[col].value);
      }
      values[i] = {value ^ flip, i};
    }
    else
    {
      texts[i].index = i;
      text_prefix(row->texts[col].view(), texts[i].prefix);
    }
  }
  // After the others, in their order: rows without the column, then rows not cached.
  std::vector<uint64_t> lacking;
  std::vector<uint64_t> uncached;
  if ( kind != 0 )
    keep_keyed(values, state, sorted, &lacking, &uncached);
  else
    keep_keyed(texts, state, sorted, &lacking, &uncached);
  size_t at = first;
  if ( kind != 0 )
  {
    radix_sort_values(values);
    for ( const value_record_t &v : values )
      positions[at++] = sorted[v.index];
  }
  else
  {
    sort_text_records(texts, descending, [&](uint32_t index) { return found[index]->texts[col].view(); });
    for ( const text_record_t &t : texts )
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
