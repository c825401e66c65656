// Copying the selected rows of an item view as tab-separated text.
#include "views/filter/view_rows_copy.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>

#include <algorithm>
#include <map>
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

namespace
{

template<class List>
void sort_in_view_order(const QAbstractItemModel *model, List *indexes)
{
  // Selections hold many rows of few parents: each parent's row path is made once, and an index is keyed by
  // its parent's path and its own row.
  struct keyed_t
  {
    const std::vector<int> *parent_path;
    bool foreign;
    QModelIndex index;
  };
  std::map<QModelIndex, std::vector<int>> parent_paths;
  std::vector<keyed_t> keyed;
  keyed.reserve(size_t(indexes->size()));
  const std::vector<int> *last_path = nullptr;
  QModelIndex last_parent;
  for ( const QModelIndex &index : *indexes )
  {
    const QModelIndex parent = index.parent();
    if ( last_path == nullptr || parent != last_parent )
    {
      auto found = parent_paths.find(parent);
      if ( found == parent_paths.end() )
        found = parent_paths.emplace(parent, row_path(parent)).first;
      last_path = &found->second;
      last_parent = parent;
    }
    keyed.push_back({last_path, index.model() != model, index});
  }
  const auto before = [](const keyed_t &a, const keyed_t &b) {
    if ( a.foreign || b.foreign )
      return !a.foreign && b.foreign;
    if ( a.parent_path != b.parent_path )
    {
      // The row paths compared: the parents' paths, each followed by the index's own row.
      const std::vector<int> &pa = *a.parent_path;
      const std::vector<int> &pb = *b.parent_path;
      const size_t n = std::min(pa.size(), pb.size());
      for ( size_t i = 0; i < n; ++i )
        if ( pa[i] != pb[i] )
          return pa[i] < pb[i];
      if ( pa.size() != pb.size() )
        return pa.size() < pb.size() ? a.index.row() <= pb[n] : pa[n] < b.index.row();
    }
    if ( a.index.row() != b.index.row() )
      return a.index.row() < b.index.row();
    return a.index.column() < b.index.column();
  };
  // Most selections come in view order already.
  if ( std::is_sorted(keyed.begin(), keyed.end(), before) )
    return;
  std::stable_sort(keyed.begin(), keyed.end(), before);
  indexes->clear();
  for ( const keyed_t &entry : keyed )
    indexes->push_back(entry.index);
}

} // namespace

void sort_indexes_in_view_order(QAbstractItemView *view, QModelIndexList *indexes)
{
  sort_in_view_order(view->model(), indexes);
}

void sort_indexes_in_view_order(QAbstractItemView *view, std::vector<QModelIndex> *indexes)
{
  sort_in_view_order(view->model(), indexes);
}
