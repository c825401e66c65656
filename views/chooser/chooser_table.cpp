// The flat form of a chooser: the table view and its item model.
#include "views/chooser/chooser_table.h"

#include "ui/font_domains.h"
#include "views/chooser/chooser_dirtree.h"
#include "views/chooser/chooser_flat_bucket.h"
#include "views/chooser/chooser_widget.h"
#include "views/filter/bucket_sorting.h"
#include "views/filter/view_rows_copy.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>

#include <algorithm>
#include <set>

// ---- The model -------------------------------------------------------------------------------------------------

chooser_table_widget_model_t::chooser_table_widget_model_t(chooser_table_widget_t *view, chooser_widget_t *owner)
  : filtered_item_view_model_t(owner, view), owner_(owner)
{
}

QModelIndex chooser_table_widget_model_t::parent(const QModelIndex & /*index*/) const
{
  return {};
}

int chooser_table_widget_model_t::columnCount(const QModelIndex &parent) const
{
  return parent.isValid() ? 0 : owner_->source()->columns;
}

QVariant chooser_table_widget_model_t::headerData(int section, Qt::Orientation orientation, int role) const
{
  if ( orientation != Qt::Horizontal || section < 0 || section >= owner_->source()->columns )
    return {};
  const std::vector<qstring> *texts = nullptr;
  if ( role == Qt::DisplayRole || role == Qt::EditRole )
    texts = &owner_->column_title_texts();
  else if ( role == Qt::ToolTipRole )
    texts = &owner_->column_tooltips();
  if ( texts == nullptr || size_t(section) >= texts->size() )
    return {};
  const qstring &text = (*texts)[size_t(section)];
  return QString::fromUtf8(text.c_str(), int(text.size()));
}

void chooser_table_widget_model_t::sort(int column, Qt::SortOrder order)
{
  owner_->set_sorting(new_bucket_column_sorting(column, int(order), owner_->column_flags(column)));
}

Qt::ItemFlags chooser_table_widget_model_t::flags(const QModelIndex &index) const
{
  Qt::ItemFlags result = filtered_item_view_model_t::flags(index);
  if ( index.isValid() && owner_->tree_mode() == chooser_widget_t::folders_only )
    result |= Qt::ItemIsDragEnabled;
  return result;
}

QStringList chooser_table_widget_model_t::mimeTypes() const
{
  return {QString::fromLatin1(dirtree_inodes_mime_type)};
}

QMimeData *chooser_table_widget_model_t::mimeData(const QModelIndexList &indexes) const
{
  chooser_dirtree_widget_t *view = owner_->folder_view();
  if ( view == nullptr || view->tree_model() == nullptr )
    return nullptr;
  directory_tree_t *tree = view->tree_model()->current_tree();
  inode_drag_writer_t payload;
  std::set<quintptr> written;
  for ( const QModelIndex &index : indexes )
  {
    if ( !index.isValid() || index.internalId() == ~quintptr(0) || !written.insert(index.internalId()).second )
      continue;
    const uint64_t inode = owner_->inode_of_row(uint64_t(index.internalId()), false);
    dirtree_cursor_t cursor;
    if ( inode == no_inode || tree->cursor_of_entry(&cursor, {inode, false}) != dirtree_ok )
      continue;
    if ( const QString item = encode_inode_drag_item(tree, cursor, QModelIndex(), nullptr); !item.isEmpty() )
      payload.add(item);
  }
  auto *data = new QMimeData;
  data->setData(QString::fromLatin1(dirtree_inodes_mime_type), payload.bytes());
  return data;
}

uint64_t chooser_table_widget_model_t::bucket_key_of_index(const QModelIndex &parent) const
{
  return parent.isValid() ? no_key : flat_root_key;
}

QModelIndex chooser_table_widget_model_t::index_in_bucket(filtered_bucket_t &bucket, uint64_t /*bucket_key*/, int row,
                                                          int column) const
{
  const quintptr id = size_t(row) < bucket.shown_count() ? quintptr(bucket.row_key(size_t(row))) : ~quintptr(0);
  return createIndex(row, column, id);
}

QVariant chooser_table_widget_model_t::bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index,
                                                        int role) const
{
  if ( index.row() >= bucket_row_count(bucket) )
    return {};
  return row_data(bucket.row_key(size_t(index.row())), index, role);
}

QVariant chooser_table_widget_model_t::row_data(uint64_t key, const QModelIndex &index, int role) const
{
  switch ( role )
  {
    case Qt::DisplayRole:
    case Qt::EditRole:
    {
      const item_info_t &row = owner_->row_texts(key);
      if ( index.column() < 0 || size_t(index.column()) >= row.texts.size() )
        return QString();
      const row_text_t text = row.texts[size_t(index.column())];
      return QString::fromUtf8(text.c_str(), int(text.size()));
    }
    case Qt::DecorationRole:
    case Qt::FontRole:
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
      return styled_data(role, key, index);
    default:
      return {};
  }
}

// ---- The view --------------------------------------------------------------------------------------------------

chooser_table_widget_t::chooser_table_widget_t(chooser_widget_t *owner, QWidget *parent)
  : QTableView(parent), owner_(owner)
{
  setShowGrid(false);
  verticalHeader()->hide();
  verticalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setHighlightSections(false);
  connect(horizontalHeader(), &QHeaderView::sectionClicked, owner, &chooser_widget_t::on_header_section_clicked);
  connect(horizontalHeader(), &QHeaderView::sectionResized, owner, &chooser_widget_t::on_header_section_resized);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setFocusPolicy(Qt::StrongFocus);
  setWordWrap(false);
  (void)apply_domain_font(this);
}

QString chooser_table_widget_t::get_font_domain_name() const
{
  return QStringLiteral("Tabular views");
}

void chooser_table_widget_t::set_font(const QFont &font)
{
  setFont(font);
  setProperty("_q_styleSheetWidgetFont", font);
  const int height = QFontMetrics(font).height() + 2;
  verticalHeader()->setMinimumSectionSize(height);
  verticalHeader()->setDefaultSectionSize(height);
}

void chooser_table_widget_t::copy_all_rows()
{
  QModelIndexList rows;
  for ( int row = 0, count = model()->rowCount(); row < count; ++row )
    rows.append(model()->index(row, 0));
  copy_view_rows(this, horizontalHeader(), rows, true);
}

void chooser_table_widget_t::copy_selected_rows()
{
  QModelIndexList rows = selectionModel()->selectedRows();
  sort_indexes_in_view_order(this, &rows);
  copy_view_rows(this, horizontalHeader(), rows, false);
}

bool chooser_table_widget_t::select_row(int row)
{
  if ( row < 0 )
  {
    if ( selectionModel() != nullptr )
      selectionModel()->clearSelection();
    return true;
  }
  if ( model() != nullptr && row < model()->rowCount() )
    setCurrentIndex(model()->index(row, 0));
  return true;
}

int64_t chooser_table_widget_t::first_selected_row(bool as_row) const
{
  if ( selectionModel() == nullptr )
    return -1;
  const QModelIndexList rows = selectionModel()->selectedRows();
  if ( rows.isEmpty() )
    return -1;
  const QModelIndex first = *std::min_element(rows.begin(), rows.end(),
                                              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
  return as_row ? int64_t(first.row()) : int64_t(first.internalId());
}

int64_t chooser_table_widget_t::row_of_index(uint64_t chooser_index) const
{
  if ( owner_->filter_or_sort_active() )
  {
    auto *bucket = static_cast<chooser_flat_bucket_t *>(owner_->filtered_bucket(flat_root_key));
    return bucket != nullptr ? bucket->position_of(chooser_index) : -1;
  }
  return chooser_index < owner_->root_row_count() ? int64_t(chooser_index) : -1;
}

void chooser_table_widget_t::keyPressEvent(QKeyEvent *event)
{
  if ( owner_->handle_search_key(this, event) )
    return;
  const int key = event->key();
  if ( key != Qt::Key_Home && key != Qt::Key_End )
  {
    QTableView::keyPressEvent(event);
    return;
  }
  const QModelIndex old_current = currentIndex();
  const QModelIndex moved = moveCursor(key == Qt::Key_Home ? MoveHome : MoveEnd, event->modifiers() | Qt::ControlModifier);
  if ( moved.isValid() )
  {
    const int column = std::clamp(owner_->source()->default_column, 0, std::max(model()->columnCount() - 1, 0));
    const QModelIndex target = model()->index(moved.row(), column);
    const bool extend = (event->modifiers() & Qt::ShiftModifier) != 0
                        && (owner_->source()->flags & chooser_multi_select) != 0 && old_current.isValid();
    if ( extend )
    {
      selectionModel()->select(QItemSelection(old_current, target),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
      scrollTo(target);
    }
    else
      setCurrentIndex(target);
  }
  event->accept();
  owner_->typed_len = 0;
  owner_->typed[0] = '\0';
  owner_->row_number = 0;
}

void chooser_table_widget_t::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
  owner_->on_table_current_changed();
  QTableView::currentChanged(current, previous);
}

void chooser_table_widget_t::updateGeometries()
{
  QTableView::updateGeometries();
  if ( isVisible() )
    owner_->update_status_line();
}
