// The flat root bucket of a chooser's table: its rows in display order, and the selection records of flat rows.
#pragma once

#include "views/filter/filtered_bucket.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// The bucket key of the table's rows.
inline constexpr uint64_t flat_root_key = ~uint64_t(1);

// Rows of a chooser by their chooser index, which is also their key. A bucket of all rows in order keeps no
// list until filtering or sorting maps it. Promises: row_key(i) is the chooser index shown at position i; the
// selection it gives a view covers each run of consecutive selected positions with one range, whole rows from
// the bucket's column on.
class chooser_flat_bucket_t final : public filtered_bucket_t
{
public:
  // Rows 0 .. count - 1 in order; `column` is where selections and the current index are placed.
  chooser_flat_bucket_t(uint64_t count, int column) : count_(count), column_(column) {}
  // These rows, in this order.
  chooser_flat_bucket_t(std::vector<uint64_t> rows, int column);

  [[nodiscard]] size_t shown_count() const override { return listed_ ? rows_.size() : size_t(count_); }
  [[nodiscard]] uint64_t row_key(size_t shown) const override { return listed_ ? rows_[shown] : uint64_t(shown); }
  void set_shown_rows(std::span<const uint32_t> positions) override;
  void select_in_view(QAbstractItemView *view, const QModelIndex &parent, const filtered_bucket_t *selected,
                      const filtered_bucket_t *current, QItemSelection *selection,
                      QModelIndex *current_index) const override;
  [[nodiscard]] std::unique_ptr<filtered_bucket_t> empty_clone() const override;
  void add_row_of(const filtered_bucket_t &from, size_t shown) override;

  // The shown position of a chooser index, -1 when it is not shown.
  [[nodiscard]] int64_t position_of(uint64_t row) const;

private:
  uint64_t count_ = 0;         // the rows while not listed
  std::vector<uint64_t> rows_; // the rows once listed
  bool listed_ = false;
  int column_ = 0;
};

// The rows a record bucket holds (a selection or current record), in its order; empty for null.
[[nodiscard]] std::vector<uint64_t> rows_of_bucket(const filtered_bucket_t *bucket);
