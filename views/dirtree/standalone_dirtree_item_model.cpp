// The lazily loading tree model and its loader.
#include "views/dirtree/standalone_dirtree_item_model.h"

#include "views/dirtree/dirtree_paths.h"
#include "views/dirtree/dirtree_view_state.h"

#include <map>

uint64_t dirtree_lazy_loader_t::load_path(const char *path, int flag)
{
  loading_ = true;
  const bool loaded = load(path, flag);
  loading_ = false;
  if ( !loaded )
    return dirtree_none;
  const dirtree_entry_t entry = owner_->current_tree()->entry_of_path(path);
  if ( entry.is_none() || !entry.is_folder )
    return dirtree_none;
  pending_.erase(entry.id);
  return entry.id;
}

void dirtree_lazy_loader_t::on_folder_expanded(const QModelIndex &index)
{
  const dirtree_cursor_t cursor = dirtree_item_model_base_t::index_to_cursor(index);
  if ( is_empty_cursor(cursor) )
    return;
  directory_tree_t *tree = owner_->current_tree();
  const dirtree_entry_t entry = tree->entry_at_cursor(cursor);
  if ( entry.is_none() || !entry.is_folder || !is_pending(entry.id) )
    return;
  qstring path;
  if ( tree->cursor_text(&path, cursor, 0) && !path.empty() )
    load_path(path.c_str(), 0);
}

void dirtree_lazy_loader_t::reset_pending()
{
  pending_.clear();
  pending_.insert(0);
}

standalone_dirtree_item_model_t::standalone_dirtree_item_model_t(directory_tree_t *tree, dirtree_columns_t columns,
                                                                 filtered_widget_mixin_t *engine, QObject *parent)
  : dirtree_item_model_t(tree, std::move(columns), engine, parent), loader_(this)
{
}

bool standalone_dirtree_item_model_t::hasChildren(const QModelIndex &parent) const
{
  if ( (options() & dirtree_model_lazy) != 0 && loader_.is_pending(bucket_key_of_index(parent)) )
    return true;
  return dirtree_item_model_t::hasChildren(parent);
}

void standalone_dirtree_item_model_t::preload_expanded_folders(view_snapshot_t *snapshot,
                                                               const dirtree_widget_state_t &state)
{
  loader_.reset_pending();
  if ( (options() & dirtree_model_lazy) == 0 )
    return;
  // Folder numbers change when a tree is rebuilt: each old number maps to the number its path loads to.
  std::map<uint64_t, uint64_t> renumbered;
  for ( const dirtree_folder_state_t &folder : state.folders )
    if ( folder.expanded )
      renumbered[folder.key] = loader_.load_path(folder.path.c_str(), 1);
  for ( view_bucket_record_t &record : snapshot->buckets )
    if ( const auto found = renumbered.find(record.key); found != renumbered.end() )
      record.key = found->second;
}

int standalone_dirtree_item_model_t::create_entry(const char *folder_path, const char *name, bool is_folder, void *arg)
{
  qstring path(folder_path);
  join_dirtree_path(&path, {name});
  if ( is_folder )
    return tree()->create_folder(path.c_str());
  prepare_new_item(path.c_str(), 0, arg);
  return tree()->link_or_unlink_path(path.c_str(), true);
}
