// The item model of a filtered view over the engine's filtered buckets.
#include "views/filter/filtered_item_view_model.h"

#include "views/filter/filtered_widget_mixin.h"

#include <QAbstractItemView>

QModelIndex filtered_item_view_model_t::index(int row, int column, const QModelIndex &parent) const
{
  const uint64_t key = bucket_key_of_index(parent);
  filtered_bucket_t *bucket = key != no_key ? engine_->filtered_bucket(key) : nullptr;
  // Bounded by rowCount, which inside sync_bucket_rows still answers the count the views know.
  if ( bucket == nullptr || row < 0 || column < 0 || column >= columnCount(parent) || row >= rowCount(parent) )
    return {};
  return index_in_bucket(*bucket, key, row, column);
}

int filtered_item_view_model_t::rowCount(const QModelIndex &parent) const
{
  if ( parent.column() > 0 )
    return 0;
  const uint64_t key = bucket_key_of_index(parent);
  if ( key == no_key )
    return 0;
  if ( key == told_key_ )
    return told_count_;
  const filtered_bucket_t *bucket = engine_->filtered_bucket(key);
  return bucket != nullptr ? bucket_row_count(*bucket) : 0;
}

QVariant filtered_item_view_model_t::data(const QModelIndex &index, int role) const
{
  if ( !index.isValid() )
    return {};
  const uint64_t key = bucket_key_of_index(index.parent());
  filtered_bucket_t *bucket = key != no_key ? engine_->filtered_bucket(key) : nullptr;
  // A row the views still know while its removal is being told has no data any more.
  if ( bucket == nullptr || index.row() >= bucket_row_count(*bucket) )
    return {};
  return bucket_item_data(*bucket, index, role);
}

void filtered_item_view_model_t::sync_bucket_rows(view_selection_records_t *records, const QModelIndex &parent,
                                                  const view_bucket_record_t &record,
                                                  const filtered_bucket_t *current, QAbstractItemView *view)
{
  const filtered_bucket_t *bucket = engine_->filtered_bucket(record.key);
  if ( bucket == nullptr )
    return;
  const int old_count = int(record.shown);
  const int new_count = int(bucket->rows_in_view(view));
  // Until the change is told, the views still see the old count.
  told_key_ = record.key;
  told_count_ = old_count;
  if ( new_count > old_count )
  {
    beginInsertRows(parent, old_count, new_count - 1);
    told_key_ = no_key;
    endInsertRows();
  }
  else if ( new_count < old_count )
  {
    beginRemoveRows(parent, new_count, old_count - 1);
    told_key_ = no_key;
    endRemoveRows();
  }
  told_key_ = no_key;

  QItemSelection selection;
  QModelIndex current_index;
  bucket->select_in_view(view, parent, record.selected.get(), current, &selection, &current_index);
  if ( selection.isEmpty() && !current_index.isValid() )
    return;
  view_selection_record_t *mine = nullptr;
  for ( view_selection_record_t &r : *records )
    if ( r.view == view )
      mine = &r;
  if ( mine == nullptr )
    mine = &records->emplace_back(view_selection_record_t {view, {}, {}});
  mine->selection.merge(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  if ( current_index.isValid() && !mine->current.isValid() )
    mine->current = current_index;
}
