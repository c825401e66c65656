// Sorting strategies of the buckets of a filtered view: by one column (texts, sizes or hexadecimal numbers)
// and by fuzzy rank.
#pragma once

#include "views/filter/item_info.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// How a sorting strategy reaches the rows of the bucket it sorts: the cached row at a position of the
// bucket's row list, or null when that row is not cached. The engine's buckets answer it from the row cache.
class bucket_rows_t
{
public:
  virtual ~bucket_rows_t() = default;
  virtual item_info_t *cached_row(uint64_t position) = 0;
};

// Column flag values (the column's flag word AND column_flags_kind_mask) that choose the comparison.
inline constexpr uint32_t column_flags_kind_mask = 0x70000;
inline constexpr uint32_t column_flags_hex = 0x20000;
inline constexpr uint32_t column_flags_decimal = 0x30000;

// A sorting strategy. Promises: sort is stable, only permutes positions[first ..] (the bucket's leading
// rows stay), and orders by a strict weak order in which rows that are not cached, or lack what the order
// needs, come after all the others.
class bucket_sorting_strategy_t
{
public:
  enum kind_t : int32_t
  {
    column_sorting = 0,
    fuzzy_sorting = 1,
  };

  explicit bucket_sorting_strategy_t(kind_t kind) : kind(kind) {}
  virtual ~bucket_sorting_strategy_t() = default;

  // Sorts positions[first ..] in place; a first beyond the end sorts nothing. Sort keys a row already
  // holds are used; the others are parsed for the sort alone.
  virtual void sort(bucket_rows_t &rows, std::span<uint64_t> positions, size_t first) const = 0;

  const kind_t kind;
};

// Sorting by one column, ascending or descending. Rows whose text count does not reach the column come last.
class bucket_column_sorting_t final : public bucket_sorting_strategy_t
{
public:
  bucket_column_sorting_t(int32_t column, uint32_t column_flags, bool descending)
    : bucket_sorting_strategy_t(column_sorting), column(column), column_flags(column_flags), descending(descending)
  {
  }
  void sort(bucket_rows_t &rows, std::span<uint64_t> positions, size_t first) const override;

  const int32_t column;
  const uint32_t column_flags; // the column's flag word when the strategy was made
  const bool descending;
};

// Sorting by fuzzy rank of each row's recorded match (with its column's text). Rows without a fuzzy score
// (let through by another condition) come after the scored ones.
class bucket_fuzzy_sorting_t final : public bucket_sorting_strategy_t
{
public:
  bucket_fuzzy_sorting_t() : bucket_sorting_strategy_t(fuzzy_sorting) {}
  void sort(bucket_rows_t &rows, std::span<uint64_t> positions, size_t first) const override;
};

// Qt's descending sort order, as new_bucket_column_sorting takes it.
inline constexpr int sort_order_descending = 1;

// A column strategy for the column with its flag word (the engine passes its column_flags of the column);
// order sort_order_descending sorts descending. Null for a negative column.
std::unique_ptr<bucket_sorting_strategy_t> new_bucket_column_sorting(int32_t column, int order, uint32_t column_flags);

// Parses the row's text of the column as a sort key of `kind` (sort_key_decimal: a number or size;
// sort_key_hex, only for hexadecimal columns: an optional "0x" then hexadecimal digits up to 64 bits) and
// leaves the value in the row's sort key. A key parsed once keeps its kind: a text that is no number stays
// 0 without being parsed again. False for a column outside the row, kind 0, a key parsed as the other kind,
// or a text that is no number of the kind.
bool column_sort_key(item_info_t *row, int32_t column, int32_t kind, uint32_t column_flags);
