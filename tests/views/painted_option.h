// The style option an item view's delegate paints an index with, for tests that measure or click inside cells.
#pragma once

#include <QAbstractItemView>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>

inline QStyleOptionViewItem painted_option(QAbstractItemView *view, const QModelIndex &index)
{
  struct probe_delegate_t : QStyledItemDelegate
  {
    using QStyledItemDelegate::initStyleOption;
  };
  QStyleOptionViewItem option;
  option.initFrom(view);
  option.rect = view->visualRect(index);
  probe_delegate_t().initStyleOption(&option, index);
  return option;
}
