// The item model of a directory tree and the bucket of one folder's rows.
#include "views/dirtree/dirtree_item_model.h"

#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "ui/app_base.h"
#include "ui/layout_helpers.h"
#include "ui/widget_factory.h"
#include "views/dirtree/dirtree_paths.h"

#include <QAbstractItemView>
#include <QFileIconProvider>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace
{

constexpr quintptr no_folder_half = 0xFFFFFFFF;

// Entries ordered by kind, then id, for the binary searches of select_in_view.
bool entry_less(const dirtree_entry_t &a, const dirtree_entry_t &b)
{
  return a.is_folder != b.is_folder ? a.is_folder < b.is_folder : a.id < b.id;
}

} // namespace

quintptr dirtree_index_id(const dirtree_cursor_t &cursor)
{
  const quintptr folder = cursor.folder < 0 ? no_folder_half : quintptr(uint32_t(cursor.folder));
  return (folder << 32) | quintptr(uint32_t(cursor.position));
}

dirtree_cursor_t dirtree_cursor_of_id(quintptr id)
{
  const quintptr folder = id >> 32;
  return {folder == no_folder_half ? -1 : int64_t(folder), int64_t(id & 0xFFFFFFFF)};
}

// ---- The bucket of one folder ---------------------------------------------------------------------------

uint64_t folder_data_t::row_key(size_t shown) const
{
  const dirtree_entry_t &entry = entries[shown];
  return entry.is_folder ? no_key : entry.id;
}

void folder_data_t::set_shown_rows(std::span<const uint32_t> positions)
{
  std::vector<dirtree_entry_t> shown_entries;
  std::vector<int64_t> shown_map;
  shown_entries.reserve(positions.size());
  shown_map.reserve(positions.size());
  for ( const uint32_t position : positions )
  {
    shown_entries.push_back(entries[position]);
    shown_map.push_back(row_map[position]);
  }
  entries = std::move(shown_entries);
  row_map = std::move(shown_map);
}

size_t folder_data_t::rows_in_view(QAbstractItemView * /*view*/) const
{
  return folders_only ? folder_count : entries.size();
}

void folder_data_t::select_in_view(QAbstractItemView *view, const QModelIndex &parent,
                                   const filtered_bucket_t *selected, const filtered_bucket_t *current,
                                   QItemSelection *selection, QModelIndex *current_index) const
{
  std::vector<dirtree_entry_t> wanted;
  if ( const auto *records = dynamic_cast<const folder_data_t *>(selected) )
    wanted = records->entries;
  std::sort(wanted.begin(), wanted.end(), entry_less);
  const auto *current_record = dynamic_cast<const folder_data_t *>(current);
  const bool want_current = current_record != nullptr && !current_record->entries.empty();
  const dirtree_entry_t current_entry = want_current ? current_record->entries.front() : dirtree_none_item;
  const QAbstractItemModel *model = view->model();
  size_t found = 0;
  bool current_found = !want_current;
  int range_start = -1;
  const int rows = int(rows_in_view(view));
  for ( int row = 0; row <= rows; ++row )
  {
    const bool matched = row < rows && found < wanted.size() &&
                         std::binary_search(wanted.begin(), wanted.end(), entries[size_t(row)], entry_less);
    if ( matched )
    {
      ++found;
      if ( range_start < 0 )
        range_start = row;
    }
    else if ( range_start >= 0 )
    {
      selection->select(model->index(range_start, 0, parent), model->index(row - 1, 0, parent));
      range_start = -1;
    }
    if ( row < rows && !current_found && entries[size_t(row)] == current_entry )
    {
      *current_index = model->index(row, 0, parent);
      current_found = true;
    }
    if ( found == wanted.size() && current_found && range_start < 0 )
      break;
  }
}

void folder_data_t::sort_rows(row_cache_t &cache, const bucket_sorting_strategy_t &strategy,
                              std::span<uint64_t> positions, size_t first) const
{
  filtered_bucket_t::sort_rows(cache, strategy, positions, first);
  const auto *by_column = dynamic_cast<const bucket_column_sorting_t *>(&strategy);
  if ( by_column == nullptr || by_column->column != 0 || tree == nullptr )
    return;
  const std::vector<dirtree_folder_t> &folders = tree->impl()->folders();
  const auto name_of = [&](uint64_t position) -> const char * {
    const uint64_t id = entries[position].id;
    return id < folders.size() ? folders[id].name.c_str() : "";
  };
  const size_t leading = std::min(folder_count, positions.size());
  std::stable_sort(positions.begin(), positions.begin() + ptrdiff_t(leading), [&](uint64_t a, uint64_t b) {
    const int order = std::strcmp(name_of(a), name_of(b));
    return by_column->descending ? order > 0 : order < 0;
  });
}

std::unique_ptr<filtered_bucket_t> folder_data_t::empty_clone() const
{
  auto clone = std::make_unique<folder_data_t>();
  clone->folder = folder;
  clone->valid = valid;
  clone->parent_folder = parent_folder;
  clone->has_parent = has_parent;
  clone->tree = tree;
  clone->folders_only = folders_only;
  return clone;
}

void folder_data_t::add_row_of(const filtered_bucket_t &from, size_t shown)
{
  const auto &source = static_cast<const folder_data_t &>(from);
  entries.push_back(source.entries[shown]);
  row_map.push_back(source.row_map[shown]);
  if ( source.entries[shown].is_folder )
    ++folder_count;
}

// ---- The model ------------------------------------------------------------------------------------------

dirtree_item_model_base_t::dirtree_item_model_base_t(directory_tree_t *tree, dirtree_columns_t columns,
                                                     filtered_widget_mixin_t *engine, QObject *parent)
  : filtered_item_view_model_t(engine, parent), columns_(std::move(columns)), tree_(tree)
{
  if ( tree == nullptr )
    interr(interr_dirtree_model_without_tree);
  folder_icon_ = QFileIconProvider().icon(QFileIconProvider::Folder);
}

dirtree_item_model_base_t::~dirtree_item_model_base_t()
{
  if ( (columns_.options & dirtree_model_owns_tree) != 0 )
    delete tree_;
}

uint64_t dirtree_item_model_base_t::bucket_key_of_index(const QModelIndex &parent) const
{
  if ( !parent.isValid() )
    return no_key;
  const dirtree_cursor_t cursor = index_to_cursor(parent);
  if ( is_empty_cursor(cursor) )
    return 0;
  const dirtree_entry_t entry = current_tree()->entry_at_cursor(cursor);
  return entry.is_folder && !entry.is_none() ? entry.id : no_key;
}

QModelIndex dirtree_item_model_base_t::index_in_bucket(filtered_bucket_t &bucket, uint64_t /*bucket_key*/, int row,
                                                       int column) const
{
  const auto &folder = static_cast<const folder_data_t &>(bucket);
  if ( row < 0 || size_t(row) >= folder.entries.size() )
    return {};
  const dirtree_cursor_t cursor =
    folder.folder >= 0 ? dirtree_cursor_t {folder.folder, folder.row_map[size_t(row)]} : dirtree_cursor_t {-1, row};
  return createIndex(row, column, dirtree_index_id(cursor));
}

int dirtree_item_model_base_t::bucket_row_count(const filtered_bucket_t &bucket) const
{
  return int(static_cast<const folder_data_t &>(bucket).rows_in_view(nullptr));
}

QVariant dirtree_item_model_base_t::bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index,
                                                     int role) const
{
  const dirtree_entry_t entry = static_cast<const folder_data_t &>(bucket).entries[size_t(index.row())];
  if ( entry.is_folder )
  {
    if ( index.column() != 0 )
      return {};
    if ( role == Qt::DisplayRole || role == Qt::EditRole )
    {
      qstring name;
      current_tree()->entry_name(&name, entry, dirtree_display_name);
      return QString::fromUtf8(name.c_str());
    }
    if ( role == Qt::DecorationRole )
      return folder_icon_;
    return {};
  }
  if ( role == Qt::DisplayRole || role == Qt::EditRole )
  {
    const item_info_t &row = engine()->row_texts(entry.id);
    const auto column = size_t(index.column());
    return column < row.texts.size() ? QString::fromUtf8(row.texts[column].c_str()) : QString();
  }
  if ( role == Qt::DecorationRole || role == Qt::FontRole || role == Qt::BackgroundRole || role == Qt::ForegroundRole )
    return styled_data(role, entry.id, index);
  return {};
}

QModelIndex dirtree_item_model_base_t::parent(const QModelIndex &index) const
{
  if ( !index.isValid() )
    return {};
  const dirtree_cursor_t cursor = index_to_cursor(index);
  // The root folder's own index (and an empty cursor) has no parent.
  if ( cursor.folder < 0 )
    return {};
  const dirtree_cursor_t above = current_tree()->parent_cursor_of_folder(uint64_t(cursor.folder));
  if ( is_empty_cursor(above) )
    return {};
  if ( above == dirtree_root_cursor )
    return root_folder_index();
  const int row = row_of_cursor(above);
  return row >= 0 ? createIndex(row, 0, dirtree_index_id(above)) : QModelIndex();
}

int dirtree_item_model_base_t::columnCount(const QModelIndex & /*parent*/) const
{
  return int(columns_.titles.size());
}

bool dirtree_item_model_base_t::setData(const QModelIndex &index, const QVariant &value, int role)
{
  if ( role != Qt::EditRole )
    return false;
  const dirtree_cursor_t cursor = index_to_cursor(index);
  const QString new_name = value.toString();
  if ( is_empty_cursor(cursor) || new_name.isEmpty() || new_name == data(index, Qt::DisplayRole).toString() )
    return false;
  qstring old_path;
  if ( !tree_->cursor_text(&old_path, cursor, 0) )
    return false;
  qstring new_path;
  if ( !split_dirtree_path(&new_path, nullptr, old_path.view()) )
    return false;
  const QByteArray name = new_name.toUtf8();
  join_dirtree_path(&new_path, {std::string_view(name.constData(), size_t(name.size()))});
  // The rename runs inside a reversible-operation control of the application, given back afterwards.
  app_t *app = current_app();
  ui_widget_factory_t *factory = app != nullptr ? app->get_widget_factory() : nullptr;
  const bool folder = tree_->entry_at_cursor(cursor).is_folder;
  ui_owned_object_t *control =
    factory != nullptr ? factory->new_reversible_op_ctl(folder ? "Rename folder" : "Rename item", nullptr) : nullptr;
  const int result = !tree_->entry_of_path(new_path.c_str()).is_none()
                       ? int(dirtree_already_exists)
                       : tree_->move_entry(old_path.c_str(), new_path.c_str());
  if ( factory != nullptr )
    factory->delete_owned_object(control);
  if ( result != dirtree_ok )
  {
    log_printf("Cannot rename \"%s\" to \"%s\": %s\n", old_path.c_str(), new_path.c_str(), dirtree_error_name(result));
    return false;
  }
  emit dataChanged(index, index, {});
  return true;
}

QVariant dirtree_item_model_base_t::headerData(int section, Qt::Orientation orientation, int role) const
{
  if ( orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount() )
    return {};
  return QString::fromUtf8(columns_.titles[size_t(section)].c_str());
}

QStringList dirtree_item_model_base_t::mimeTypes() const
{
  return {QString::fromLatin1(dirtree_inodes_mime_type)};
}

bool dirtree_item_model_base_t::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int /*column*/,
                                             const QModelIndex &parent)
{
  if ( action == Qt::IgnoreAction )
    return true;
  return action == Qt::MoveAction && drop_entries(data, row, parent);
}

// The tree changes only through its own operations, whose events bring the views in line; rows Qt asks to
// insert or remove here are refused without being announced, so no view counts rows that do not exist.
bool dirtree_item_model_base_t::insertRows(int /*row*/, int /*count*/, const QModelIndex & /*parent*/)
{
  return false;
}

bool dirtree_item_model_base_t::insertColumns(int /*column*/, int /*count*/, const QModelIndex & /*parent*/)
{
  return false;
}

bool dirtree_item_model_base_t::removeRows(int /*row*/, int /*count*/, const QModelIndex & /*parent*/)
{
  return false;
}

bool dirtree_item_model_base_t::removeColumns(int /*column*/, int /*count*/, const QModelIndex & /*parent*/)
{
  return false;
}

Qt::ItemFlags dirtree_item_model_base_t::flags(const QModelIndex &index) const
{
  Qt::ItemFlags result = QAbstractItemModel::flags(index);
  if ( !index.isValid() )
    return result;
  const dirtree_cursor_t cursor = index_to_cursor(index);
  if ( is_empty_cursor(cursor) )
    return result;
  const dirtree_entry_t entry = current_tree()->entry_at_cursor(cursor);
  if ( entry.is_none() )
    return result;
  const bool drag_drop = supports(dirtree_feature_drag_drop, index);
  if ( drag_drop )
    result |= Qt::ItemIsDragEnabled;
  if ( entry.is_folder )
  {
    result |= dirtree_folder_row_flag;
    if ( drag_drop )
      result |= Qt::ItemIsDropEnabled;
    if ( entry.id != 0 && supports(dirtree_feature_rename_folders, index) )
      result |= Qt::ItemIsEditable;
  }
  else
  {
    // Told to the views, so that expanding everything does not mark item rows expanded: such a mark stays
    // with the row when entries move and would open the folder that takes the row.
    result |= Qt::ItemNeverHasChildren;
    if ( index.column() == name_column() && supports(dirtree_feature_rename_items, index) )
      result |= Qt::ItemIsEditable;
  }
  return result;
}

bool dirtree_item_model_base_t::supports(int kind, const QModelIndex & /*index*/) const
{
  switch ( kind )
  {
  case 0:
    return false;
  case dirtree_feature_drag_drop:
    return (columns_.options & dirtree_model_drag_drop) != 0;
  case dirtree_feature_cut_paste:
    return (columns_.options & dirtree_model_cut_paste) != 0;
  case dirtree_feature_create_folders:
    return (columns_.options & dirtree_model_create_folders) != 0;
  default:
    return true;
  }
}

std::unique_ptr<folder_data_t> dirtree_item_model_base_t::create_bucket(uint64_t folder)
{
  if ( !current_tree()->impl()->is_folder(folder) )
    return nullptr;
  auto bucket = std::make_unique<folder_data_t>();
  bucket->folders_only = (columns_.options & dirtree_model_folders_only) != 0;
  fill_folder_bucket(bucket.get(), folder);
  return bucket;
}

bool dirtree_item_model_base_t::rename_target_index(QModelIndex *out, const QModelIndex &index) const
{
  QModelIndex cell = index.siblingAtColumn(name_column());
  if ( (flags(cell) & dirtree_folder_row_flag) != 0 && cell.column() > 0 )
    cell = index.siblingAtColumn(0);
  if ( (flags(cell) & Qt::ItemIsEditable) == 0 )
    return false;
  *out = cell;
  return true;
}

bool dirtree_item_model_base_t::filtering_active() const
{
  return engine()->is_filtering();
}

// ---- Cursors, paths and the tree ------------------------------------------------------------------------

QModelIndex dirtree_item_model_base_t::root_folder_index() const
{
  return createIndex(0, 0, dirtree_index_id(dirtree_root_cursor));
}

bool dirtree_item_model_base_t::rows_remapped() const
{
  return engine()->sorting() != nullptr || engine()->is_filtering();
}

int dirtree_item_model_base_t::row_of_cursor(const dirtree_cursor_t &cursor) const
{
  if ( !rows_remapped() )
    return int(cursor.position);
  const auto *bucket = static_cast<const folder_data_t *>(engine()->filtered_bucket(uint64_t(cursor.folder)));
  if ( bucket == nullptr )
    return -1;
  const auto found = std::find(bucket->row_map.begin(), bucket->row_map.end(), cursor.position);
  return found != bucket->row_map.end() ? int(found - bucket->row_map.begin()) : -1;
}

QModelIndex dirtree_item_model_base_t::index_of_cursor(const dirtree_cursor_t &cursor) const
{
  if ( cursor == dirtree_root_cursor )
    return root_folder_index();
  if ( current_tree()->entry_at_cursor(cursor).is_none() )
    return {};
  const int row = row_of_cursor(cursor);
  return row >= 0 ? createIndex(row, 0, dirtree_index_id(cursor)) : QModelIndex();
}

QModelIndex dirtree_item_model_base_t::index_of_path(const char *path) const
{
  dirtree_path_cursor_t found;
  if ( !current_tree()->cursor_of_path(path, &found) )
    return {};
  return index_of_cursor(found.cursor);
}

dirtree_cursor_t dirtree_item_model_base_t::index_to_cursor(const QModelIndex &index)
{
  return index.isValid() ? dirtree_cursor_of_id(index.internalId()) : dirtree_no_cursor;
}

int dirtree_item_model_base_t::entry_kind_of_index(const QModelIndex &index) const
{
  const dirtree_cursor_t cursor = index_to_cursor(index.siblingAtColumn(0));
  if ( is_empty_cursor(cursor) )
    return 0;
  const dirtree_entry_t entry = current_tree()->entry_at_cursor(cursor);
  if ( entry.is_none() )
    return 0;
  return entry.is_folder ? 1 : 2;
}

void dirtree_item_model_base_t::fill_folder_bucket(folder_data_t *bucket, uint64_t folder)
{
  directory_tree_t *tree = current_tree();
  bucket->tree = tree;
  bucket->folder = int64_t(folder);
  bucket->valid = true;
  const bool filtering = filtering_active();
  const uint64_t count = tree->folder_size(folder);
  for ( uint64_t i = 0; count != dirtree_none && i < count; ++i )
  {
    const dirtree_entry_t entry = tree->entry_at_cursor({int64_t(folder), int64_t(i)});
    if ( entry.is_folder && filtering )
    {
      // While a filter is on, folders without visible rows disappear (their buckets are filled first).
      const filtered_bucket_t *below = engine()->filtered_bucket(entry.id);
      if ( below == nullptr || below->shown_count() == 0 )
        continue;
    }
    bucket->entries.push_back(entry);
    bucket->row_map.push_back(int64_t(i));
    if ( entry.is_folder )
      ++bucket->folder_count;
  }
  const dirtree_cursor_t above = tree->parent_cursor_of_folder(folder);
  if ( !is_empty_cursor(above) )
  {
    bucket->parent_folder = above.folder;
    bucket->has_parent = true;
  }
}

void dirtree_item_model_base_t::set_folders_only(bool on)
{
  columns_.options = on ? columns_.options | dirtree_model_folders_only : columns_.options & ~dirtree_model_folders_only;
}

int dirtree_item_model_base_t::column_width(int column, const QWidget *view) const
{
  if ( column < 0 || size_t(column) >= columns_.titles.size() || size_t(column) >= columns_.widths.size() )
    return -1;
  const int width = columns_.widths[size_t(column)];
  const bool in_glyphs = size_t(column) < columns_.flags.size() && (columns_.flags[size_t(column)] & 1) != 0;
  return in_glyphs ? scaled_font_height(width, view) : width;
}

void dirtree_item_model_base_t::collect_persistent_indexes(std::vector<persistent_index_path_t> *out) const
{
  for ( const QModelIndex &index : persistentIndexList() )
  {
    const dirtree_cursor_t cursor = index_to_cursor(index);
    qstring path;
    if ( !is_empty_cursor(cursor) && current_tree()->cursor_text(&path, cursor, 0) )
      out->push_back({std::move(path), index});
  }
}

void dirtree_item_model_base_t::restore_persistent_indexes(const std::vector<persistent_index_path_t> &paths)
{
  struct path_map_t final : dirtree_visitor_t
  {
    explicit path_map_t(const dirtree_item_model_base_t &model) : model(model) {}
    int visit(const dirtree_cursor_t &cursor, const dirtree_entry_t & /*entry*/) override
    {
      qstring path;
      if ( model.current_tree()->cursor_text(&path, cursor, 0) )
        indexes.emplace(std::string(path.view()), model.index_of_cursor(cursor));
      return 0;
    }
    const dirtree_item_model_base_t &model;
    std::map<std::string, QModelIndex> indexes; // the first index of a path wins
  } map(*this);
  current_tree()->visit_entries(map);
  QModelIndexList old_indexes;
  QModelIndexList new_indexes;
  for ( const persistent_index_path_t &saved : paths )
  {
    const auto found = map.indexes.find(std::string(saved.path.view()));
    const QModelIndex now = found != map.indexes.end() ? found->second : QModelIndex();
    old_indexes.push_back(saved.index);
    new_indexes.push_back(now.isValid() ? now.siblingAtColumn(saved.index.column()) : QModelIndex());
  }
  changePersistentIndexList(old_indexes, new_indexes);
}

void dirtree_item_model_t::sort(int column, Qt::SortOrder order)
{
  view_snapshot_t snapshot;
  engine()->take_snapshot(&snapshot, 7);
  engine()->set_sorting(new_bucket_column_sorting(column, order == Qt::DescendingOrder ? sort_order_descending : 0,
                                                  engine()->column_flags(column)));
  engine()->resync_view(snapshot, 0);
}
