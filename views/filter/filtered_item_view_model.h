// The item model of a filtered view: answers Qt through the engine's filtered buckets and tells the views
// which rows came and went after a filtering pass.
#pragma once

#include "views/filter/filtered_bucket.h"

#include <QAbstractItemModel>

#include <cstdint>
#include <vector>

class QAbstractItemView;
class filtered_widget_mixin_t;

// Promises: rowCount of a parent is the shown row count of its filtered bucket, except inside
// sync_bucket_rows, where it answers the count the views knew until the insertion or removal is told,
// so that every change goes through begin/end as Qt's rules want (a row being removed then has an index
// but no data).
class filtered_item_view_model_t : public QAbstractItemModel
{
  Q_OBJECT
public:
  explicit filtered_item_view_model_t(filtered_widget_mixin_t *engine, QObject *parent = nullptr)
    : QAbstractItemModel(parent), engine_(engine)
  {
  }

  // The bucket whose rows are the children of a parent index; no_key when it has none.
  [[nodiscard]] virtual uint64_t bucket_key_of_index(const QModelIndex &parent) const = 0;
  // The index of a shown row of the bucket.
  [[nodiscard]] virtual QModelIndex index_in_bucket(filtered_bucket_t &bucket, uint64_t bucket_key, int row,
                                                    int column) const = 0;
  // The rows of the bucket as the model shows them.
  [[nodiscard]] virtual int bucket_row_count(const filtered_bucket_t &bucket) const
  {
    return int(bucket.shown_count());
  }
  // The data of an index of the bucket.
  [[nodiscard]] virtual QVariant bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index,
                                                  int role) const = 0;
  // The answer for every role but the display text, from the row of the key (made the engine's current
  // row): the row's icon in column 0, its font attributes (and the engine's italics for all rows) on the
  // font of the model's parent widget, its background (the highlight of a matching highlight condition
  // first) and the contrasting text colour, dark grey text for grey rows. No value where none applies.
  [[nodiscard]] QVariant styled_data(int role, uint64_t key, const QModelIndex &index) const;

  QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
  // Appends the column-0 indexes of rows first..last of the parent, as index() answers them, for the rows
  // that exist; the parent's bucket is looked up once for all of them.
  void append_row_indexes(std::vector<QModelIndex> *out, const QModelIndex &parent, int first, int last) const;
  int rowCount(const QModelIndex &parent = QModelIndex()) const override;
  QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

  // Tells the views how the bucket under `parent` changed from the record's count to its filtered count,
  // then adds the rows of the record's selection and the snapshot's current row to the view's record.
  virtual void sync_bucket_rows(view_selection_records_t *records, const QModelIndex &parent,
                                const view_bucket_record_t &record, const filtered_bucket_t *current,
                                QAbstractItemView *view);

  [[nodiscard]] filtered_widget_mixin_t *engine() const { return engine_; }

private:
  filtered_widget_mixin_t *engine_; // not owned: the engine of the widget that owns the model
  // While sync_bucket_rows tells a change: the bucket and the count the views still know.
  uint64_t told_key_ = no_key;
  int told_count_ = 0;
};
