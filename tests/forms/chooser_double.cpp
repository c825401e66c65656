// A test double of an embedded list.
#include "tests/forms/chooser_double.h"

double_list_widget_t::double_list_widget_t()
{
  connect(this, &QListWidget::itemSelectionChanged, this,
          [this] { emit selection_state_changed(!selectedItems().isEmpty()); });
}

QWidget *double_chooser_t::create_embedded_widget(const QString &form_title, int field_id)
{
  made_for = form_title;
  made_id = field_id;
  title_while_made = title_;
  auto *list = new double_list_widget_t;
  list->setSelectionMode(QAbstractItemView::MultiSelection);
  list->addItems({"one", "two", "three"});
  return list;
}

qvector<uint64_t> double_chooser_t::selection(QWidget *widget) const
{
  qvector<uint64_t> rows;
  auto *list = static_cast<QListWidget *>(widget);
  for ( int i = 0; i < list->count(); ++i )
    if ( list->item(i)->isSelected() )
      rows.push_back(uint64_t(i));
  return rows;
}

void double_chooser_t::set_selection(QWidget *widget, const qvector<uint64_t> &rows)
{
  auto *list = static_cast<QListWidget *>(widget);
  list->clearSelection();
  for ( const uint64_t row : rows )
    if ( row < uint64_t(list->count()) )
      list->item(int(row))->setSelected(true);
}
