// Copying the selected rows of an item view as tab-separated text.
#include "views/filter/view_rows_copy.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>

#include <algorithm>
#include <vector>

namespace
{

// The columns the header shows, in column order (all of the model's when there is no header).
std::vector<int> shown_columns(const QAbstractItemModel *model, const QHeaderView *header)
{
  std::vector<int> columns;
  for ( int column = 0, n = model->columnCount(); column < n; ++column )
    if ( header == nullptr || !header->isSectionHidden(column) )
      columns.push_back(column);
  return columns;
}

// The rows from the top of the model down to the index, as the view nests them.
std::vector<int> row_path(QModelIndex index)
{
  std::vector<int> path;
  for ( ; index.isValid(); index = index.parent() )
    path.push_back(index.row());
  std::reverse(path.begin(), path.end());
  return path;
}

} // namespace

void header_texts_line(QStringList *lines, QAbstractItemView *view, QHeaderView *header)
{
  const QAbstractItemModel *model = view->model();
  QStringList texts;
  for ( const int column : shown_columns(model, header) )
    texts.append(model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
  lines->append(texts.join('\t'));
}

void copy_view_rows(QAbstractItemView *view, QHeaderView *header, const QModelIndexList &indexes, bool with_header)
{
  const QAbstractItemModel *model = view->model();
  if ( indexes.isEmpty() || model == nullptr )
    return;
  const std::vector<int> columns = shown_columns(model, header);
  QStringList lines;
  if ( with_header )
    header_texts_line(&lines, view, header);
  for ( const QModelIndex &index : indexes )
  {
    QStringList texts;
    for ( const int column : columns )
      texts.append(model->index(index.row(), column, index.parent()).data(Qt::DisplayRole).toString());
    lines.append(texts.join('\t'));
  }
  QGuiApplication::clipboard()->setText(lines.join('\n'), QClipboard::Clipboard);
}

void sort_indexes_in_view_order(QAbstractItemView *view, QModelIndexList *indexes)
{
  const QAbstractItemModel *model = view->model();
  struct keyed_t
  {
    std::vector<int> path;
    bool foreign;
    QModelIndex index;
  };
  std::vector<keyed_t> keyed;
  keyed.reserve(size_t(indexes->size()));
  for ( const QModelIndex &index : *indexes )
    keyed.push_back({row_path(index), index.model() != model, index});
  std::stable_sort(keyed.begin(), keyed.end(), [](const keyed_t &a, const keyed_t &b) {
    if ( a.foreign || b.foreign )
      return !a.foreign && b.foreign;
    if ( a.path != b.path )
      return a.path < b.path;
    return a.index.column() < b.index.column();
  });
  indexes->clear();
  for ( const keyed_t &entry : keyed )
    indexes->append(entry.index);
}
