// The flat form of a chooser: the table view and its item model over the filter engine's root bucket.
#pragma once

#include "views/filter/filtered_item_view_model.h"

#include <QFont>
#include <QTableView>

#include <cstdint>

class chooser_widget_t;
class chooser_table_widget_t;

// The model of a chooser's table. An index's internal id is the chooser index of its row (all ones beyond the
// bucket). Promises: one flat level (every parent is the root); the columns are the source's.
class chooser_table_widget_model_t final : public filtered_item_view_model_t
{
  Q_OBJECT

public:
  // The model of the view (its Qt parent) over the owner's engine.
  chooser_table_widget_model_t(chooser_table_widget_t *view, chooser_widget_t *owner);

  QModelIndex parent(const QModelIndex &index) const override;
  int columnCount(const QModelIndex &parent = QModelIndex()) const override;
  // The owner's column title (display and edit roles) or tooltip (tooltip role) of a horizontal section below
  // the column count; anything else no value.
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  // Hands a new column sorting (null for a negative column: unsorted) to the owner.
  void sort(int column, Qt::SortOrder order) override;

  uint64_t bucket_key_of_index(const QModelIndex &parent) const override;
  QModelIndex index_in_bucket(filtered_bucket_t &bucket, uint64_t bucket_key, int row, int column) const override;
  // The text of the index's column from the engine's row cache (display and edit roles; empty for a column out
  // of range), the row's presentation for the other roles the rows carry.
  QVariant bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index, int role) const override;

private:
  chooser_widget_t *owner_; // not owned: the widget whose table this model serves
};

// The table view of a chooser widget. Promises: whole rows are selected; Home and End put the current cell in
// the source's default column; typing goes to the engine's type-ahead search, never Qt's own.
class chooser_table_widget_t : public QTableView
{
  Q_OBJECT

public:
  // The table of the owner; parent is its Qt parent (the owner parents it later when null).
  chooser_table_widget_t(chooser_widget_t *owner, QWidget *parent);

  [[nodiscard]] chooser_widget_t *owner() const { return owner_; }
  // Copies every shown row to the clipboard, after the header line (visible columns, tab-separated).
  void copy_all_rows();
  // Copies the selected rows, in the order they are shown, without the header line.
  void copy_selected_rows();
  // A negative row clears the selection; a shown row becomes the current index (column 0); true.
  bool select_row(int row);
  // -1 without a selection; else the first selected row's view row (as_row) or its chooser index.
  [[nodiscard]] int64_t first_selected_row(bool as_row) const;
  // The view row that shows a chooser index, -1 when it is not shown.
  [[nodiscard]] int64_t row_of_index(uint64_t chooser_index) const;
  void keyboardSearch(const QString &) override {}

public slots:
  // The font domain of tables.
  QString get_font_domain_name() const;
  // Sets the font (kept from style sheets) and makes the row height the font's height plus 2 pixels.
  void set_font(const QFont &font);

protected:
  void keyPressEvent(QKeyEvent *event) override;
  void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
  void updateGeometries() override;

private:
  chooser_widget_t *owner_; // not owned: the widget that owns the table
};
