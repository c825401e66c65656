// The rows of one bucket of a filtered view (a flat list, or one folder of a tree), the row map that
// filtering and sorting give it, and the snapshot of a view taken before a model change.
#pragma once

#include "views/filter/bucket_sorting.h"
#include "views/filter/item_info.h"

#include <QItemSelection>
#include <QModelIndex>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

class QAbstractItemView;

// The engine's row cache: every row's texts by row key.
using row_cache_t = std::map<uint64_t, item_info_t>;

// Keys of buckets and rows; all ones names none.
inline constexpr uint64_t no_key = ~uint64_t(0);

// One bucket as the engine drives it. Shown rows are positions into the bucket's source rows; before a
// row map is set every source row is shown, in source order. Promises: the leading rows (leading_rows)
// are never moved or dropped by set_shown_rows calls the engine makes.
class filtered_bucket_t
{
public:
  virtual ~filtered_bucket_t() = default;

  // The number of rows shown now.
  [[nodiscard]] virtual size_t shown_count() const = 0;
  // The row key of a shown row.
  [[nodiscard]] virtual uint64_t row_key(size_t shown) const = 0;
  // The cached row of a shown row, null when the row cache does not hold it.
  [[nodiscard]] item_info_t *cached_row(row_cache_t &cache, size_t shown) const;
  // The cached row of every shown row (null where the cache does not hold it), in shown order; many rows are
  // met in one walk of the cache in key order instead of one search each.
  [[nodiscard]] std::vector<item_info_t *> cached_rows(row_cache_t &cache) const;
  // Keeps only the shown rows at these positions (of the rows shown now), in this order.
  virtual void set_shown_rows(std::span<const uint32_t> positions) = 0;
  // The number of rows to show in a view (a collapsed folder may show none); the shown count by default.
  [[nodiscard]] virtual size_t rows_in_view(QAbstractItemView *view) const;
  // The selection and current index of the rows recorded in `selected` and `current` (buckets of the
  // same kind, usually snapshot records), as indexes of `view` under `parent`; adds them to *selection
  // and sets *current_index when the current row is shown here.
  virtual void select_in_view(QAbstractItemView *view, const QModelIndex &parent, const filtered_bucket_t *selected,
                              const filtered_bucket_t *current, QItemSelection *selection,
                              QModelIndex *current_index) const;
  // The number of leading rows that filtering and sorting leave in place; 0 for a flat list.
  [[nodiscard]] virtual size_t leading_rows() const { return 0; }
  // Sorts positions[first ..] (positions of shown rows) with the strategy over the cached rows.
  virtual void sort_rows(row_cache_t &cache, const bucket_sorting_strategy_t &strategy, std::span<uint64_t> positions,
                         size_t first) const;
  // An emptied bucket of the same kind, for snapshot records, and the adding of one shown row of
  // another bucket to it.
  [[nodiscard]] virtual std::unique_ptr<filtered_bucket_t> empty_clone() const = 0;
  virtual void add_row_of(const filtered_bucket_t &from, size_t shown) = 0;
  // The shown position of the row with that key, or -1 when it is not shown.
  [[nodiscard]] ptrdiff_t shown_position_of(uint64_t key) const;
};

// A bucket over a list of row keys in source order, with a compact row map (32-bit positions).
class keyed_bucket_t : public filtered_bucket_t
{
public:
  keyed_bucket_t() = default;
  keyed_bucket_t(std::vector<uint64_t> keys, size_t leading) : keys_(std::move(keys)), leading_(leading) {}

  [[nodiscard]] size_t shown_count() const override { return mapped_ ? map_.size() : keys_.size(); }
  [[nodiscard]] uint64_t row_key(size_t shown) const override { return keys_[source_row(shown)]; }
  void set_shown_rows(std::span<const uint32_t> positions) override;
  [[nodiscard]] size_t leading_rows() const override { return leading_; }
  [[nodiscard]] std::unique_ptr<filtered_bucket_t> empty_clone() const override;
  void add_row_of(const filtered_bucket_t &from, size_t shown) override;

  // The source row (index into the keys) of a shown row.
  [[nodiscard]] size_t source_row(size_t shown) const { return mapped_ ? map_[shown] : shown; }
  // The source row keys, in source order.
  [[nodiscard]] const std::vector<uint64_t> &keys() const { return keys_; }

private:
  std::vector<uint64_t> keys_;
  std::vector<uint32_t> map_; // shown row -> source row, when mapped_
  size_t leading_ = 0;
  bool mapped_ = false;
};

// What one view selected and made current, to be set after a change.
struct view_selection_record_t
{
  QAbstractItemView *view = nullptr; // not owned
  QItemSelection selection;
  QModelIndex current;
};
using view_selection_records_t = std::vector<view_selection_record_t>;
// Adds rows to select (Select and Rows) and a current index to the view's record, made when missing; a
// current index already recorded stays. Nothing when both are empty.
void add_view_selection(view_selection_records_t *records, QAbstractItemView *view, const QItemSelection &selection,
                        const QModelIndex &current);

// One bucket that a view showed when the snapshot was taken.
struct view_bucket_record_t
{
  uint64_t key = no_key;
  size_t shown = 0;     // the rows the view showed for it
  bool expanded = false;
  std::unique_ptr<filtered_bucket_t> selected; // an emptied clone holding the selected rows; null when none
};

// The state of one view before a model change. Destroying it deletes its records.
struct view_snapshot_t
{
  std::vector<view_bucket_record_t> buckets;
  std::unique_ptr<filtered_bucket_t> current; // an emptied clone holding the current row; null when none
  int64_t words[2] = {0, 0};                  // the taking view's own

  // The record of a bucket key, null when the view did not show it.
  [[nodiscard]] const view_bucket_record_t *record_of(uint64_t key) const;
  void swap(view_snapshot_t &other) noexcept;
};
