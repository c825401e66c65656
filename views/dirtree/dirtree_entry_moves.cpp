// Moving tree entries by drag and drop and by cut and paste.
#include "views/dirtree/dirtree_entry_moves.h"

#include "core/ui_callback.h"
#include "views/dirtree/base_dirtree_widget.h"
#include "views/dirtree/dirtree_paths.h"

#include <QMimeData>
#include <QTreeView>

#include <set>
#include <utility>

// ---- The model's side ---------------------------------------------------------------------------------------

QMimeData *dirtree_item_model_base_t::mimeData(const QModelIndexList &indexes) const
{
  auto *data = new QMimeData;
  inode_drag_writer_t payload;
  std::set<std::pair<int64_t, int64_t>> written;
  const QAbstractItemView *view = engine()->drag_view;
  for ( const QModelIndex &index : indexes )
  {
    if ( !index.isValid() || index.model() != this )
      continue;
    const dirtree_cursor_t cursor = index_to_cursor(index);
    if ( is_empty_cursor(cursor) || !written.insert({cursor.folder, cursor.position}).second )
      continue;
    const QString item = encode_inode_drag_item(tree_, cursor, index, view);
    if ( !item.isEmpty() )
      payload.add(item);
  }
  data->setData(QString::fromLatin1(dirtree_inodes_mime_type), payload.bytes());
  return data;
}

bool dirtree_item_model_base_t::decode_inodes_drop(std::vector<dirtree_path_entry_t> *entries, qstring *target_path,
                                                   dirtree_cursor_t *target, const QMimeData *data,
                                                   const QModelIndex &parent) const
{
  const QString format = QString::fromLatin1(dirtree_inodes_mime_type);
  if ( data == nullptr || !data->hasFormat(format) || !parent.isValid() || parent.model() != this )
    return false;
  const dirtree_cursor_t cursor = index_to_cursor(parent);
  qstring path;
  if ( is_empty_cursor(cursor) || !tree_->cursor_text(&path, cursor, 0) || path.empty() )
    return false;
  const dirtree_entry_t entry = tree_->entry_of_path(path.c_str());
  if ( entry.is_none() || !entry.is_folder )
    return false;
  *target = cursor;
  *target_path = std::move(path);
  *entries = read_inode_drag_payload(data->data(format));
  return true;
}

bool dirtree_item_model_base_t::drop_entries(const QMimeData *data, int row, const QModelIndex &parent)
{
  std::vector<dirtree_path_entry_t> entries;
  qstring target_path;
  dirtree_cursor_t target;
  if ( !decode_inodes_drop(&entries, &target_path, &target, data, parent) )
    return false;
  const dirtree_entry_t folder = tree_->entry_of_path(target_path.c_str());
  filtered_widget_mixin_t *engine = this->engine();
  // Only a drag of this engine holds a hand-over of these views; a drop from elsewhere reaches the views
  // through the tree's events like any other change.
  const bool own_drag = engine->drag_counter > 0;
  auto *view = own_drag ? qobject_cast<QTreeView *>(engine->drag_view) : nullptr;
  if ( own_drag )
  {
    engine->drop_key = folder.id;
    // The folders that lose or gain rows are read from the tree again.
    for ( const view_bucket_record_t &record : engine->drag_handover.buckets )
      if ( record.selected != nullptr )
        engine->drop_buckets(record.key);
    engine->drop_buckets(folder.id);
  }
  std::vector<qstring> expanded;
  move_entries_on_drop(entries, target_path.c_str(), folder, row, view != nullptr ? &expanded : nullptr);
  if ( own_drag )
  {
    engine->sync_views(engine->drag_handover, 0);
    // Taken after the synchronisation: the rows the views knew before may have gone, the target's with them.
    engine->drop_index = QPersistentModelIndex(index_of_path(target_path.c_str()));
    for ( const qstring &path : expanded )
      if ( const QModelIndex index = index_of_path(path.c_str()); index.isValid() )
        view->expand(index);
  }
  return true;
}

void dirtree_item_model_base_t::move_entries_on_drop(const std::vector<dirtree_path_entry_t> &entries,
                                                     const char *target_path, const dirtree_entry_t &target, int row,
                                                     std::vector<qstring> *expanded)
{
  int64_t position = row;
  for ( const dirtree_path_entry_t &entry : entries )
  {
    // Only the form the tree writes: "/a/../b" or "//b" would name another entry than the one they show.
    const int code = is_canonical_dirtree_path(entry.path.view()) ? tree_->move_entry(entry.path.c_str(), target_path)
                                                                  : int(dirtree_invalid_path);
    if ( code != dirtree_ok )
    {
      log_printf("Couldn't move \"%s\" to \"%s\": %s\n", entry.path.c_str(), target_path, dirtree_error_name(code));
      continue;
    }
    const bool listed = entry.expanded && expanded != nullptr;
    if ( position < 0 && !listed )
      continue;
    qstring name;
    (void)split_dirtree_path(nullptr, &name, entry.path.view());
    qstring new_path(target_path);
    join_dirtree_path(&new_path, {name.view()});
    if ( position >= 0 )
    {
      const dirtree_entry_t moved = tree_->entry_of_path(new_path.c_str());
      const int64_t now = tree_->position_in_folder(target.id, moved);
      if ( now >= 0 )
        (void)tree_->shift_entry(new_path.c_str(), position - now);
      ++position;
    }
    if ( listed )
      expanded->push_back(std::move(new_path));
  }
}

bool dirtree_item_model_base_t::is_cut(const dirtree_cursor_t &cursor) const
{
  if ( cut_list_.empty() )
    return false;
  qstring path;
  if ( !current_tree()->cursor_text(&path, cursor, 0) || path.empty() )
    return false;
  for ( const dirtree_path_entry_t &entry : cut_list_ )
    if ( entry.path == path )
      return true;
  return false;
}

void dirtree_item_model_base_t::cut_marks_changed()
{
  emit layoutAboutToBeChanged();
  emit layoutChanged();
}

// ---- Cut and paste ------------------------------------------------------------------------------------------

void add_selected_paths(std::vector<dirtree_path_entry_t> *list, base_dirtree_widget_t *view,
                        const dirtree_selection_t &selection, std::vector<dirtree_path_entry_t> *added)
{
  const dirtree_item_model_base_t *model = view->tree_model();
  if ( model == nullptr )
    return;
  for ( const dirtree_cursor_t &cursor : selection )
  {
    if ( cursor == dirtree_root_cursor )
    {
      log_printf("Cannot select root folder; ignored.\n");
      continue;
    }
    qstring path;
    if ( !model->current_tree()->cursor_text(&path, cursor, 0) || path.empty() )
      continue;
    bool known = false;
    for ( const dirtree_path_entry_t &entry : *list )
      known = known || entry.path == path;
    if ( known )
      continue;
    // Items are never expanded, whatever the view keeps for their rows.
    const bool expanded = model->current_tree()->entry_at_cursor(cursor).is_folder &&
                          view->isExpanded(model->index_of_path(path.c_str()));
    list->push_back({path, expanded});
    if ( added != nullptr )
      added->push_back({std::move(path), expanded});
  }
}

int cut_dirtree_selection(base_dirtree_widget_t *view, const dirtree_selection_t *selection)
{
  dirtree_item_model_base_t *model = view != nullptr ? view->tree_model() : nullptr;
  if ( model == nullptr || selection == nullptr || selection->empty() )
    return 0;
  add_selected_paths(&model->cut_list(), view, *selection, nullptr);
  model->cut_marks_changed();
  return 1;
}

int paste_dirtree_cut(base_dirtree_widget_t *view)
{
  dirtree_item_model_base_t *model = view != nullptr ? view->tree_model() : nullptr;
  if ( model == nullptr || model->cut_list().empty() )
    return 0;
  base_dirtree_widget_t::folder_info_t info;
  if ( !view->current_folder_info(&info, folder_info_path | folder_info_folder_of_item) )
    return 0;
  const dirtree_entry_t folder = model->tree()->entry_of_path(info.path.c_str());
  if ( folder.is_none() || !folder.is_folder )
    return 0;
  // Taken out first: the list is empty afterwards whatever the moves did.
  const std::vector<dirtree_path_entry_t> entries = std::exchange(model->cut_list(), {});
  model->move_entries_on_drop(entries, info.path.c_str(), folder, -1, nullptr);
  model->cut_marks_changed();
  return 1;
}
