// The item model of a filtered view over the engine's filtered buckets.
#include "views/filter/filtered_item_view_model.h"

#include "ui/app_base.h"
#include "ui/layout_helpers.h"
#include "views/filter/bgr_color.h"
#include "views/filter/filtered_widget_mixin.h"

#include <QAbstractItemView>
#include <QBrush>
#include <QColor>
#include <QFont>
#include <QWidget>

#include <algorithm>


QModelIndex filtered_item_view_model_t::index(int row, int column, const QModelIndex &parent) const
{
  const uint64_t key = bucket_key_of_index(parent);
  filtered_bucket_t *bucket = key != no_key ? engine_->filtered_bucket(key) : nullptr;
  // Bounded by rowCount, which inside sync_bucket_rows still answers the count the views know.
  if ( bucket == nullptr || row < 0 || column < 0 || column >= columnCount(parent) || row >= rowCount(parent) )
    return {};
  return index_in_bucket(*bucket, key, row, column);
}

void filtered_item_view_model_t::append_row_indexes(std::vector<QModelIndex> *out, const QModelIndex &parent,
                                                     int first, int last) const
{
  const uint64_t key = bucket_key_of_index(parent);
  filtered_bucket_t *bucket = key != no_key ? engine_->filtered_bucket(key) : nullptr;
  if ( bucket == nullptr || columnCount(parent) <= 0 )
    return;
  const int end = std::min(last + 1, rowCount(parent));
  first = std::max(first, 0);
  if ( end <= first )
    return;
  out->reserve(out->size() + size_t(end - first));
  for ( int row = first; row < end; ++row )
    if ( QModelIndex index = index_in_bucket(*bucket, key, row, 0); index.isValid() )
      out->push_back(index);
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

QVariant filtered_item_view_model_t::styled_data(int role, uint64_t key, const QModelIndex &index) const
{
  const item_info_t &row = engine_->row_texts(key);
  switch ( role )
  {
    case Qt::DecorationRole:
    {
      app_t *app = current_app();
      if ( index.column() != 0 || row.icon < 0 || app == nullptr )
        return {};
      return app->icon_by_id(row.icon);
    }
    case Qt::FontRole:
    {
      const bool all_italic = (engine_->engine_flags() & engine_rows_italic) != 0;
      if ( row.attributes == 0 && !all_italic )
        return {};
      const auto *owner = qobject_cast<const QWidget *>(QObject::parent());
      QFont font = owner != nullptr ? owner->font() : QFont();
      if ( (row.attributes & row_bold) != 0 )
        font.setWeight(QFont::Bold);
      if ( (row.attributes & row_italic) != 0 || all_italic )
        font.setItalic(true);
      if ( (row.attributes & row_underline) != 0 )
        font.setUnderline(true);
      if ( (row.attributes & row_strike_out) != 0 )
        font.setStrikeOut(true);
      return font;
    }
    case Qt::ForegroundRole:
    case Qt::BackgroundRole:
    {
      if ( role == Qt::ForegroundRole && (row.attributes & row_grey) != 0 )
        return QColor(Qt::darkGray);
      const uint32_t background = engine_->row_filter_result_cached(key, uint32_t(row.background));
      if ( background == no_bgr_color )
        return {};
      const QColor colour = color_of_bgr(background);
      if ( role == Qt::ForegroundRole )
        return contrasting_text_color(colour);
      return QBrush(colour);
    }
    default:
      return {};
  }
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
  add_view_selection(records, view, selection, current_index);
}
