// The flat root bucket of a chooser's table.
#include "views/chooser/chooser_flat_bucket.h"

#include <QAbstractItemView>

#include <algorithm>

chooser_flat_bucket_t::chooser_flat_bucket_t(std::vector<uint64_t> rows, int column)
  : rows_(std::move(rows)), listed_(true), column_(column)
{
}

void chooser_flat_bucket_t::set_shown_rows(std::span<const uint32_t> positions)
{
  std::vector<uint64_t> rows;
  rows.reserve(positions.size());
  for ( const uint32_t shown : positions )
    rows.push_back(row_key(shown));
  rows_ = std::move(rows);
  listed_ = true;
}

int64_t chooser_flat_bucket_t::position_of(uint64_t row) const
{
  if ( !listed_ )
    return row < count_ ? int64_t(row) : -1;
  const auto found = std::find(rows_.begin(), rows_.end(), row);
  return found != rows_.end() ? int64_t(found - rows_.begin()) : -1;
}

void chooser_flat_bucket_t::select_in_view(QAbstractItemView *view, const QModelIndex &parent,
                                           const filtered_bucket_t *selected, const filtered_bucket_t *current,
                                           QItemSelection *selection, QModelIndex *current_index) const
{
  const QAbstractItemModel *model = view->model();
  const int last_column = model->columnCount(parent) - 1;
  const int column = std::clamp(column_, 0, std::max(last_column, 0));
  std::vector<uint64_t> wanted = rows_of_bucket(selected);
  if ( !wanted.empty() )
  {
    std::sort(wanted.begin(), wanted.end());
    // The selected positions in display order: directly while the rows are in order, else by walking them.
    std::vector<size_t> positions;
    if ( !listed_ )
    {
      for ( const uint64_t row : wanted )
        if ( row < count_ && (positions.empty() || positions.back() != row) )
          positions.push_back(size_t(row));
    }
    else
    {
      for ( size_t i = 0; i < rows_.size(); ++i )
        if ( std::binary_search(wanted.begin(), wanted.end(), rows_[i]) )
          positions.push_back(i);
    }
    for ( size_t i = 0; i < positions.size(); )
    {
      size_t end = i + 1;
      while ( end < positions.size() && positions[end] == positions[end - 1] + 1 )
        ++end;
      selection->append(QItemSelectionRange(model->index(int(positions[i]), column, parent),
                                            model->index(int(positions[end - 1]), column, parent)));
      i = end;
    }
  }
  if ( current != nullptr && current->shown_count() > 0 )
    if ( const int64_t at = position_of(current->row_key(0)); at >= 0 )
      *current_index = model->index(int(at), column, parent);
}

std::unique_ptr<filtered_bucket_t> chooser_flat_bucket_t::empty_clone() const
{
  return std::make_unique<chooser_flat_bucket_t>(std::vector<uint64_t>(), column_);
}

void chooser_flat_bucket_t::add_row_of(const filtered_bucket_t &from, size_t shown)
{
  if ( !listed_ )
  {
    rows_.clear();
    for ( uint64_t row = 0; row < count_; ++row )
      rows_.push_back(row);
    listed_ = true;
  }
  rows_.push_back(from.row_key(shown));
}

std::vector<uint64_t> rows_of_bucket(const filtered_bucket_t *bucket)
{
  std::vector<uint64_t> rows;
  if ( bucket == nullptr )
    return rows;
  rows.reserve(bucket->shown_count());
  for ( size_t i = 0, n = bucket->shown_count(); i < n; ++i )
    rows.push_back(bucket->row_key(i));
  return rows;
}
