// The row search of filtered views.
#include "views/filter/row_search.h"

#include "ui/app_base.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include <utility>

namespace
{

constexpr int cancel_poll_interval = 100;

// A folder the walk goes into: one that has rows now. A folder that only promises rows (a lazily loaded
// one not loaded yet) is passed over like a row without children.
bool has_rows(const QAbstractItemModel *model, const QModelIndex &index)
{
  return model->rowCount(index) > 0;
}

} // namespace

qmodel_rows_scanner_t::qmodel_rows_scanner_t(const QModelIndex &root, const QAbstractItemModel *model, int flags,
                                             QString text, const QModelIndex &start)
  : root_(root), model_(model), flags_(flags), text_(std::move(text)), start_(start)
{
}

int qmodel_rows_scanner_t::test(const QModelIndex &index)
{
  if ( visits_++ % cancel_poll_interval == 0 && _base_app_mixin_t::is_long_op_cancelled() )
    return -1;
  if ( index == start_ )
  {
    if ( skip_ == skip_start )
      return 0;
    if ( skip_ == stop_at_start )
      return -1;
  }
  const bool backwards = (flags_ & jump_backwards) != 0;
  int first = 0;
  int last = model_->columnCount(index.parent()) - 1;
  if ( (flags_ & jump_one_column) != 0 )
    first = last = (flags_ >> 24) & 0xFF;
  for ( int i = first; i <= last; ++i )
  {
    const int column = backwards ? last - (i - first) : i;
    const QString cell = model_->index(index.row(), column, index.parent()).data(Qt::DisplayRole).toString();
    const bool hit = (flags_ & jump_prefix) != 0 ? cell.startsWith(text_, Qt::CaseInsensitive)
                                                 : cell.contains(text_, Qt::CaseInsensitive);
    if ( hit )
    {
      found_ = index;
      return 1;
    }
  }
  return 0;
}

QModelIndex qmodel_rows_scanner_t::next(const QModelIndex &index) const
{
  if ( has_rows(model_, index) )
    return model_->index(0, 0, index);
  for ( QModelIndex at = index; at.isValid() && at != root_; at = at.parent() )
  {
    const QModelIndex parent = at.parent();
    if ( at.row() + 1 < model_->rowCount(parent) )
      return model_->index(at.row() + 1, 0, parent);
  }
  return {};
}

QModelIndex qmodel_rows_scanner_t::previous(const QModelIndex &index) const
{
  const QModelIndex parent = index.parent();
  if ( index.row() == 0 )
    return parent == root_ ? QModelIndex() : parent;
  QModelIndex at = model_->index(index.row() - 1, 0, parent);
  while ( has_rows(model_, at) )
    at = model_->index(model_->rowCount(at) - 1, 0, at);
  return at;
}

bool qmodel_rows_scanner_t::walk(const QModelIndex &from, skip_state_t skip)
{
  skip_ = skip;
  const bool backwards = (flags_ & jump_backwards) != 0;
  for ( QModelIndex at = from; at.isValid(); at = backwards ? previous(at) : next(at) )
  {
    const int answer = test(at);
    if ( answer != 0 )
      return answer > 0;
  }
  return false;
}

QModelIndex first_or_last_index(const QAbstractItemView *view, int flags)
{
  const QAbstractItemModel *model = view->model();
  const QModelIndex root = view->rootIndex();
  if ( model == nullptr || model->rowCount(root) == 0 )
    return {};
  if ( (flags & jump_backwards) == 0 )
    return model->index(0, 0, root);
  QModelIndex at = model->index(model->rowCount(root) - 1, 0, root);
  while ( has_rows(model, at) )
    at = model->index(model->rowCount(at) - 1, 0, at);
  return at;
}

bool jump_match(QAbstractItemView *view, const QString &text, int flags)
{
  QItemSelectionModel *selection = view->selectionModel();
  const QAbstractItemModel *model = view->model();
  if ( selection == nullptr || model == nullptr )
    return false;
  QModelIndex start = selection->currentIndex();
  bool fresh = false;
  if ( !start.isValid() )
  {
    const QModelIndexList selected = selection->selectedRows();
    if ( !selected.isEmpty() )
      start = selected.first();
    else
    {
      start = first_or_last_index(view, flags);
      fresh = true;
    }
  }
  if ( start.isValid() && start.column() != 0 )
    start = start.sibling(start.row(), 0);
  _base_app_mixin_t::clear_long_op_cancellation();
  if ( !start.isValid() )
    return false;
  qmodel_rows_scanner_t scanner(view->rootIndex(), model, flags, text, start);
  bool found = scanner.walk(start, (flags & jump_after_current) != 0 ? qmodel_rows_scanner_t::skip_start
                                                                       : qmodel_rows_scanner_t::test_start);
  if ( !found && !fresh && (flags & jump_wrap) != 0 )
    found = scanner.walk(first_or_last_index(view, flags), qmodel_rows_scanner_t::stop_at_start);
  if ( found )
    selection->setCurrentIndex(scanner.found(),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                                 | QItemSelectionModel::Current);
  return found;
}
