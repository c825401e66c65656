// The built-in actions of directory-tree views and their context-menu entries.
#include "views/dirtree/dirtree_actions.h"

#include "core/ui_callback.h"
#include "ui/action_context.h"
#include "ui/popup_menu.h"
#include "ui/ui_action_registry.h"
#include "views/dirtree/base_dirtree_widget.h"
#include "views/dirtree/dirtree_entry_moves.h"
#include "views/dirtree/dirtree_paths.h"
#include "views/filter/view_rows_copy.h"

#include <QHeaderView>

#include <algorithm>
#include <array>
#include <iterator>
#include <vector>

namespace
{

base_dirtree_widget_t *view_of(const action_ctx_base_t *context)
{
  return dynamic_cast<base_dirtree_widget_t *>(context->tree_view);
}

const dirtree_selection_t &selection_of(const action_ctx_base_t *context)
{
  static const dirtree_selection_t none;
  return context->tree_selection != nullptr ? *context->tree_selection : none;
}

// ---- Create folder --------------------------------------------------------------------------------------

// More than one entry, or a single item: the new folder takes the selection in.
bool creates_with_items(const base_dirtree_widget_t *view, const dirtree_selection_t &selection)
{
  if ( selection.size() != 1 )
    return selection.size() > 1;
  const dirtree_entry_t entry = view->tree_model()->current_tree()->entry_at_cursor(selection.front());
  return !entry.is_folder;
}

int create_folder_state(ui_action_t *action, ui_action_update_ctx_t *context)
{
  const base_dirtree_widget_t *view = view_of(context);
  if ( view == nullptr || view->tree_model() == nullptr )
    return ACTION_STATE_NOT_FOR_WIDGET;
  (void)action->apply_property(ACTION_PROP_LABEL, creates_with_items(view, selection_of(context))
                                                     ? "Create folder with items..."
                                                     : "Create folder...");
  return ACTION_STATE_INITIAL;
}

int create_folder(ui_action_activation_ctx_t *context)
{
  base_dirtree_widget_t *view = view_of(context);
  dirtree_item_model_base_t *model = view != nullptr ? view->tree_model() : nullptr;
  if ( model == nullptr )
    return 0;
  const dirtree_selection_t &selection = selection_of(context);
  const bool with_items = creates_with_items(view, selection);
  std::vector<dirtree_path_entry_t> items;
  if ( with_items )
    add_selected_paths(&items, view, selection, nullptr);
  qstring name;
  if ( !input_value_printf(&name, dirtree_folder_name_input_kind, "Please enter folder name") )
    return 1;

  qstring base;
  base_dirtree_widget_t::folder_info_t info;
  if ( view->current_folder_info(&info, folder_info_path | folder_info_folder_of_item) )
  {
    base = info.path;
    // A selected folder with items beside it: the new folder becomes its sibling.
    if ( with_items && info.folder == info.entry && info.path != "/" )
      (void)split_dirtree_path(&base, nullptr, info.path.view());
  }
  qstring path = base;
  join_dirtree_path(&path, {name.view()});
  directory_tree_t *tree = model->tree();
  if ( const int code = tree->create_folder(path.c_str()); code != dirtree_ok )
  {
    log_printf("Cannot create folder \"%s\": %s\n", path.c_str(), dirtree_error_name(code));
    return 0;
  }
  filtered_widget_mixin_t *engine = view->filtered_engine();
  if ( model->index_of_path(path.c_str()).isValid() )
  {
    // The row exists in the views only once the pending update is applied.
    if ( engine != nullptr )
      (void)engine->flush_model_update();
    const QModelIndex row = model->index_of_path(path.c_str());
    view->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  if ( !with_items )
    return 1;
  const dirtree_entry_t folder = tree->entry_of_path(path.c_str());
  if ( folder.is_none() || !folder.is_folder )
    return 1;
  model->move_entries_on_drop(items, path.c_str(), folder, -1, nullptr);
  if ( engine != nullptr )
    (void)engine->flush_model_update();
  if ( const QModelIndex row = model->index_of_path(path.c_str()); row.isValid() )
    view->expand(row);
  return 1;
}

// ---- Rename ---------------------------------------------------------------------------------------------

int rename_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  const base_dirtree_widget_t *view = view_of(context);
  QModelIndex cell;
  if ( view == nullptr || view->tree_model() == nullptr ||
       !view->tree_model()->rename_target_index(&cell, view->currentIndex()) )
    return ACTION_STATE_MISSING_CONTEXT;
  return ACTION_STATE_INITIAL;
}

int start_rename(ui_action_activation_ctx_t *context)
{
  base_dirtree_widget_t *view = view_of(context);
  QModelIndex cell;
  if ( view == nullptr || view->tree_model() == nullptr ||
       !view->tree_model()->rename_target_index(&cell, view->currentIndex()) )
    return 0;
  view->setCurrentIndex(cell);
  view->edit(cell);
  return 1;
}

// ---- Copy -----------------------------------------------------------------------------------------------

int copy_selection(ui_action_activation_ctx_t *context)
{
  base_dirtree_widget_t *view = view_of(context);
  if ( view == nullptr )
    return 0;
  QModelIndexList rows;
  view->collect_selection(&rows, nullptr, nullptr, dirtree_view_ordered_selection, true);
  copy_view_rows(view, view->header(), rows, false);
  return 1;
}

int copy_all(ui_action_activation_ctx_t *context)
{
  const base_dirtree_widget_t *view = view_of(context);
  if ( view == nullptr )
    return 0;
  view->copy_all();
  return 1;
}

// ---- Expand and collapse --------------------------------------------------------------------------------

template <bool expand>
int expand_or_collapse(ui_action_activation_ctx_t *context)
{
  base_dirtree_widget_t *view = view_of(context);
  const dirtree_item_model_base_t *model = view != nullptr ? view->tree_model() : nullptr;
  if ( model == nullptr )
    return 0;
  const dirtree_selection_t &selection = selection_of(context);
  if ( selection.empty() )
  {
    if ( expand )
      view->expandAll();
    else
    {
      // The top level stays in view.
      view->collapseAll();
      view->expand(view->rootIndex());
    }
    return 1;
  }
  for ( const dirtree_cursor_t &cursor : selection )
    if ( model->current_tree()->entry_at_cursor(cursor).is_folder )
      view->setExpanded(model->index_of_cursor(cursor), expand);
  return 1;
}

template <bool expand>
int expand_or_collapse_state(ui_action_t *action, ui_action_update_ctx_t *context)
{
  const base_dirtree_widget_t *view = view_of(context);
  const dirtree_item_model_base_t *model = view != nullptr ? view->tree_model() : nullptr;
  if ( model == nullptr )
    return ACTION_STATE_MISSING_CONTEXT;
  const dirtree_selection_t &selection = selection_of(context);
  if ( selection.empty() )
  {
    (void)action->apply_property(ACTION_PROP_LABEL, expand ? "Expand entire tree" : "Collapse entire tree");
    return ACTION_STATE_INITIAL;
  }
  for ( const dirtree_cursor_t &cursor : selection )
  {
    const dirtree_entry_t entry = model->current_tree()->entry_at_cursor(cursor);
    if ( entry.is_none() || !entry.is_folder || view->isExpanded(model->index_of_cursor(cursor)) == expand )
      continue;
    (void)action->apply_property(ACTION_PROP_LABEL, expand ? "Expand selected folders" : "Collapse selected folders");
    return ACTION_STATE_INITIAL;
  }
  return ACTION_STATE_MISSING_CONTEXT;
}

// ---- Cut and paste --------------------------------------------------------------------------------------

int cut(ui_action_activation_ctx_t *context)
{
  return cut_dirtree_selection(view_of(context), context->tree_selection);
}

int cut_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  return view_of(context) != nullptr && !selection_of(context).empty() ? ACTION_STATE_INITIAL
                                                                       : ACTION_STATE_MISSING_CONTEXT;
}

int paste(ui_action_activation_ctx_t *context)
{
  return paste_dirtree_cut(view_of(context));
}

int paste_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  const base_dirtree_widget_t *view = view_of(context);
  const dirtree_item_model_base_t *model = view != nullptr ? view->tree_model() : nullptr;
  base_dirtree_widget_t::folder_info_t info;
  if ( model == nullptr || model->cut_list().empty() || !view->current_folder_info(&info, folder_info_folder_of_item) )
    return ACTION_STATE_MISSING_CONTEXT;
  return ACTION_STATE_INITIAL;
}

// ---- Natural order --------------------------------------------------------------------------------------

// The folders a selection concerns: each selected folder, and the folder of each selected item, once each
// in order of first appearance.
std::vector<uint64_t> concerned_folders(directory_tree_t *tree, const dirtree_selection_t &selection)
{
  std::vector<uint64_t> folders;
  for ( const dirtree_cursor_t &cursor : selection )
  {
    const dirtree_entry_t entry = tree->entry_at_cursor(cursor);
    if ( entry.is_none() )
      continue;
    const uint64_t folder = entry.is_folder ? entry.id : uint64_t(cursor.folder);
    if ( std::find(folders.begin(), folders.end(), folder) == folders.end() )
      folders.push_back(folder);
  }
  return folders;
}

int reset_natural_order(ui_action_activation_ctx_t *context)
{
  const base_dirtree_widget_t *view = view_of(context);
  const dirtree_item_model_base_t *model = view != nullptr ? view->tree_model() : nullptr;
  if ( model == nullptr )
    return 0;
  for ( const uint64_t folder : concerned_folders(model->current_tree(), selection_of(context)) )
    if ( !model->tree()->set_natural_order(folder, true) )
      return 0;
  return 1;
}

int reset_natural_order_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  const base_dirtree_widget_t *view = view_of(context);
  const dirtree_item_model_base_t *model = view != nullptr ? view->tree_model() : nullptr;
  if ( model == nullptr || !model->tree()->natural_order_supported() )
    return ACTION_STATE_NOT_FOR_WIDGET;
  for ( const uint64_t folder : concerned_folders(model->current_tree(), selection_of(context)) )
    if ( model->tree()->impl()->is_folder(folder) && !model->tree()->in_natural_order(folder) )
      return ACTION_STATE_INITIAL;
  return ACTION_STATE_MISSING_CONTEXT;
}

// ---- Descriptions ---------------------------------------------------------------------------------------

// Required context flags (the upper half of the context word): a tree view, and the model's feature 4 (cut
// and paste) or 5 (folder creation).
constexpr uint64_t needs_tree_view = uint64_t(0x8) << 32;
constexpr uint64_t needs_cut_paste = uint64_t(0x100) << 32;
constexpr uint64_t needs_folder_creation = uint64_t(0x200) << 32;
// Description flags.
constexpr uint32_t create_folder_flags = 0x10000;
constexpr uint32_t view_command_flags = 0x1040000;

constexpr std::array<action_desc_t, 9> descs = {{
  dirtree_action_desc("DirTreeCreateFolder", create_folder, create_folder_state, "Create folder...",
      needs_tree_view | needs_folder_creation, create_folder_flags),
  dirtree_action_desc("DirTreeRename", start_rename, rename_state, "Re&name", needs_tree_view, 0),
  dirtree_action_desc("DirTreeCopy", copy_selection, nullptr, "Copy", needs_tree_view, view_command_flags),
  dirtree_action_desc("DirTreeCopyAll", copy_all, nullptr, "Copy all", needs_tree_view, view_command_flags),
  dirtree_action_desc("DirTreeExpandSelection", expand_or_collapse<true>, expand_or_collapse_state<true>, "Expand selected folders",
      needs_tree_view, view_command_flags),
  dirtree_action_desc("DirTreeCollapseSelection", expand_or_collapse<false>, expand_or_collapse_state<false>,
      "Collapse selected folders", needs_tree_view, view_command_flags),
  dirtree_action_desc("DirTreeCutSelection", cut, cut_state, "Cut", needs_tree_view | needs_cut_paste, 0),
  dirtree_action_desc("DirTreePasteCut", paste, paste_state, "Paste", needs_tree_view | needs_cut_paste, 0),
  dirtree_action_desc("DirTreeResetNaturalOrder", reset_natural_order, reset_natural_order_state, "Reset natural order",
      needs_tree_view, 0),
}};

} // namespace

std::span<const action_desc_t> dirtree_action_descs()
{
  return descs;
}

void populate_dirtree_popup(popup_menu_ctx_t *popup)
{
  static constexpr popup_entry_desc_t entries[] = {
    {"DirTreeCreateFolder", 0, nullptr},
    {"DirTreeResetNaturalOrder", 0, nullptr},
    {nullptr, 0, nullptr},
    {"DirTreeRename", 0, nullptr},
    {nullptr, 0, nullptr},
    {"DirTreeCollapseSelection", 0, nullptr},
    {"DirTreeExpandSelection", 0, nullptr},
    {nullptr, 0, nullptr},
    {"DirTreeCopy", 0, nullptr},
    {"DirTreeCopyAll", 0, nullptr},
    {nullptr, 0, nullptr},
    {"DirTreeCutSelection", 0, nullptr},
    {"DirTreePasteCut", 0, nullptr},
  };
  // Built at each opening, so that it holds every action registered by then.
  QList<popup_entry_t> list;
  fill_popup_entry_list(&list, entries, std::size(entries));
  popup->attach_action_list(list);
}
