// The chooser's folder tree: its buckets, model, lazy loading and view.
#include "views/chooser/chooser_dirtree.h"

#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"
#include "views/filter/bucket_sorting.h"

#include <QKeyEvent>
#include <QMimeData>

// ---- chooser_folder_data_t ---------------------------------------------------------------------------------

uint64_t chooser_folder_data_t::row_key(size_t shown) const
{
  const dirtree_entry_t &entry = entries[shown];
  if ( entry.is_folder )
    return no_key;
  const int64_t row = owner_->row_of_inode(entry.id);
  return row < 0 ? no_key : uint64_t(row);
}

std::unique_ptr<filtered_bucket_t> chooser_folder_data_t::empty_clone() const
{
  auto clone = std::make_unique<chooser_folder_data_t>(owner_);
  copy_folder_fields(clone.get());
  return clone;
}

// ---- chooser_dirtree_item_model_t ----------------------------------------------------------------------------

chooser_dirtree_item_model_t::chooser_dirtree_item_model_t(chooser_widget_t *owner, directory_tree_t *tree,
                                                           dirtree_columns_t columns, int name_column)
  : dirtree_item_model_base_t(tree, std::move(columns), owner), loader_(this), owner_(owner),
    name_column_(name_column)
{
}

bool chooser_dirtree_item_model_t::lazy() const
{
  const chooser_base_t *source = owner_->source();
  return source->version >= 3 && (source->flags2 & chooser_lazy_folders) != 0;
}

int chooser_dirtree_item_model_t::columnCount(const QModelIndex & /*parent*/) const
{
  return owner_->table_model()->columnCount();
}

bool chooser_dirtree_item_model_t::hasChildren(const QModelIndex &parent) const
{
  if ( lazy() && loader_.is_pending(bucket_key_of_index(parent)) )
    return true;
  return dirtree_item_model_base_t::hasChildren(parent);
}

QVariant chooser_dirtree_item_model_t::headerData(int section, Qt::Orientation orientation, int role) const
{
  if ( owner_->tree_mode() == chooser_widget_t::full_tree )
    return owner_->table_model()->headerData(section, orientation, role);
  // The description may hold fewer titles than the table has columns.
  if ( section < 0 || size_t(section) >= columns().titles.size() )
    return {};
  return dirtree_item_model_base_t::headerData(section, orientation, role);
}

QVariant chooser_dirtree_item_model_t::bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index,
                                                        int role) const
{
  if ( folders_only() )
    return dirtree_item_model_base_t::bucket_item_data(bucket, index, role);
  const auto &folder = static_cast<const folder_data_t &>(bucket);
  if ( size_t(index.row()) >= folder.entries.size() )
    return {};
  if ( folder.entries[size_t(index.row())].is_folder )
  {
    if ( index.column() != 0 && role != Qt::ForegroundRole )
      return {};
    return dirtree_item_model_base_t::bucket_item_data(bucket, index, role);
  }
  // An item shows what its table row shows.
  const uint64_t key = bucket.row_key(size_t(index.row()));
  if ( key == no_key )
    return dirtree_item_model_base_t::bucket_item_data(bucket, index, role);
  return owner_->table_model()->row_data(key, index, role);
}

bool chooser_dirtree_item_model_t::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                                                const QModelIndex &parent)
{
  if ( action == Qt::IgnoreAction )
    return true;
  switch ( owner_->tree_mode() )
  {
    case chooser_widget_t::full_tree:
      return dirtree_item_model_base_t::dropMimeData(data, action, row, column, parent);
    case chooser_widget_t::folders_only:
      return action == Qt::CopyAction && column <= 0 && drop_rows_into_folder(data, parent);
    default:
      return false;
  }
}

Qt::DropActions chooser_dirtree_item_model_t::supportedDropActions() const
{
  Qt::DropActions actions = dirtree_item_model_base_t::supportedDropActions();
  if ( owner_->tree_mode() == chooser_widget_t::folders_only )
    actions |= Qt::CopyAction;
  return actions;
}

Qt::ItemFlags chooser_dirtree_item_model_t::flags(const QModelIndex &index) const
{
  Qt::ItemFlags result = dirtree_item_model_base_t::flags(index);
  const uint32_t editable = chooser_can_edit | chooser_tree_editable;
  if ( (owner_->source()->flags & editable) == editable && (result & dirtree_folder_row_flag) == 0
       && supports(dirtree_feature_rename_folders, index) )
    result |= Qt::ItemIsEditable;
  return result;
}

void chooser_dirtree_item_model_t::sort(int column, Qt::SortOrder order)
{
  owner_->set_sorting(new_bucket_column_sorting(column, int(order), owner_->column_flags(column)));
}

bool chooser_dirtree_item_model_t::supports(int kind, const QModelIndex &index) const
{
  if ( kind == dirtree_feature_rename_items )
    return (owner_->source()->flags & chooser_can_edit) != 0;
  return dirtree_item_model_base_t::supports(kind, index);
}

std::unique_ptr<folder_data_t> chooser_dirtree_item_model_t::create_bucket(uint64_t folder)
{
  if ( !current_tree()->impl()->is_folder(folder) )
    return nullptr;
  auto bucket = std::make_unique<chooser_folder_data_t>(owner_);
  bucket->folders_only = folders_only();
  fill_folder_bucket(bucket.get(), folder);
  return bucket;
}

bool chooser_dirtree_item_model_t::filtering_active() const
{
  // The folders beside the table are never filtered: the quick filter hides table rows only.
  return !folders_only() && dirtree_item_model_base_t::filtering_active();
}

int64_t chooser_dirtree_item_model_t::chooser_index_of_inode(uint64_t inode) const
{
  return inode == dirtree_none ? -1 : owner_->row_of_inode(inode);
}

QModelIndex chooser_dirtree_item_model_t::table_index_of(const QModelIndex &tree_index) const
{
  const dirtree_entry_t entry = current_tree()->entry_at_cursor(index_to_cursor(tree_index));
  if ( entry.is_none() || entry.is_folder )
    return {};
  const int64_t chooser_index = chooser_index_of_inode(entry.id);
  if ( chooser_index < 0 )
    return {};
  const int64_t row =
    owner_->filter_or_sort_active() ? owner_->table()->row_of_index(uint64_t(chooser_index)) : chooser_index;
  return row < 0 ? QModelIndex() : owner_->table_model()->index(int(row), tree_index.column());
}

bool chooser_dirtree_item_model_t::lazy_loader_t::load(const char *path, int /*flag*/)
{
  chooser_dirtree_widget_t *view = model_->owner_->folder_view();
  if ( view == nullptr )
    return false;
  const scoped_dirtree_chdir_t guard(view, path);
  return model_->owner_->source()->load_folder(model_->tree(), path);
}

// ---- chooser_dirtree_widget_t --------------------------------------------------------------------------------

chooser_dirtree_widget_t::chooser_dirtree_widget_t(chooser_widget_t *owner, const char *name, uint32_t options,
                                                   QWidget *parent)
  : base_dirtree_widget_t(name, options, parent), owner_(owner)
{
  setObjectName(QString::fromUtf8(name));
  connect(this, &QTreeView::expanded, this, &chooser_dirtree_widget_t::on_expanded);
}

chooser_dirtree_widget_t::~chooser_dirtree_widget_t()
{
  save_state_if_enabled();
}

filtered_widget_mixin_t *chooser_dirtree_widget_t::filtered_engine() const
{
  return owner_;
}

chooser_dirtree_item_model_t *chooser_dirtree_widget_t::chooser_model() const
{
  return static_cast<chooser_dirtree_item_model_t *>(tree_model());
}

void chooser_dirtree_widget_t::set_frozen(bool on)
{
  chooser_dirtree_item_model_t *model = chooser_model();
  if ( model == nullptr )
    return;
  model->drop_snapshot_tree();
  if ( on )
    model->set_snapshot_tree(model->tree()->clone());
}

void chooser_dirtree_widget_t::keyPressEvent(QKeyEvent *event)
{
  if ( owner_->handle_search_key(this, event) )
    return;
  base_dirtree_widget_t::keyPressEvent(event);
}

void chooser_dirtree_widget_t::updateGeometries()
{
  base_dirtree_widget_t::updateGeometries();
  if ( isVisible() )
    owner_->update_status_line();
}

bool chooser_dirtree_widget_t::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
  chooser_dirtree_item_model_t *model = chooser_model();
  if ( trigger == QAbstractItemView::DoubleClicked && index.isValid() && model != nullptr && owner_->tree_editable() )
  {
    // A folder is renamed in place; an item is edited by the source.
    if ( model->entry_kind_of_index(index) == 1 )
      return base_dirtree_widget_t::edit(index, QAbstractItemView::EditKeyPressed, event);
    owner_->edit_selection();
    return true;
  }
  return base_dirtree_widget_t::edit(index, trigger, event);
}

void chooser_dirtree_widget_t::on_expanded(const QModelIndex &index)
{
  chooser_dirtree_item_model_t *model = chooser_model();
  if ( model != nullptr && model->lazy() )
    model->lazy_loader()->on_folder_expanded(index);
}
