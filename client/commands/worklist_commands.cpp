// The commands of the Worklists view.
#include "client/commands/worklist_commands.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_with_events.h"
#include "client/app/client_actions.h"
#include "client/commands/external_tools.h"
#include "client/commands/revert_sync_commands.h"
#include "client/commands/scan_and_commit.h"
#include "client/views/worklist_forms.h"
#include "client/views/worklists_view.h"
#include "core/ui_callback.h"
#include "ui/ui_action_registry.h"
#include "views/dirtree/dirtree_drag_payload.h"
#include "views/dirtree/dirtree_paths.h"
#include "views/filter/filtered_widget_update.h"
#include "views/filter/standalone_dirtree_widget_host.h"

#include <set>

namespace {

constexpr uint64_t kind_bit(int kind)
{
  return uint64_t(1) << kind;
}

bool is_current_site(const qstring &site)
{
  return site == akui_app()->current_site_name();
}

bool user_may_edit(const worklist_info_t &worklist)
{
  const session_info_t &session = akui_app()->server_info.session;
  return session.admin || session.user == worklist.user;
}

selected_files_t as_selected_files(const std::vector<worklist_file_t> &files)
{
  selected_files_t records;
  for ( const worklist_file_t &file : files )
  {
    selected_file_t record;
    record.path = file.path;
    records.push_back(std::move(record));
  }
  return records;
}

} // namespace

// ---- The selection split ------------------------------------------------------------------------------------

bool worklists_action_helper_t::run(const dirtree_selection_t &selection)
{
  worklists_item_model_t *model = view_->worklists_model();
  if ( model == nullptr )
    return false;
  // Worklists are told apart by site and number: file 7@B is not part of a selected folder 7@A.
  std::set<worklist_key_t> selected;
  for ( const dirtree_cursor_t &cursor : selection )
    if ( const worklist_info_t *worklist = view_->worklist_at_cursor(cursor); worklist != nullptr )
      selected.insert(worklist_key_t {worklist->site, worklist->number});

  bool result = false;
  std::vector<worklist_file_t> files;
  std::vector<worklist_key_t> keys; // the worklist of each file, from its folder
  for ( const dirtree_cursor_t &cursor : selection )
  {
    if ( const worklist_info_t *worklist = view_->worklist_at_cursor(cursor); worklist != nullptr )
    {
      // A copy: the act may reload the view.
      const worklist_info_t record = *worklist;
      result |= act_on_worklist(record);
      continue;
    }
    const worklist_file_t *file = view_->worklist_file_at_cursor(cursor);
    worklist_key_t key;
    if ( file == nullptr || !view_->worklist_key_of_entry(cursor, &key) || selected.count(key) != 0 )
      continue;
    files.push_back(*file);
    keys.push_back(std::move(key));
  }
  if ( !files.empty() )
  {
    const bool one_worklist = std::all_of(keys.begin(), keys.end(), [&](const worklist_key_t &k) { return k == keys[0]; });
    const worklist_files_t *cached = one_worklist ? model->cached_files(keys[0]) : nullptr;
    const worklist_info_t *whole = cached != nullptr && cached->files.size() == files.size()
                                     ? model->worklist_of_key(keys[0])
                                     : nullptr;
    if ( whole != nullptr )
    {
      const worklist_info_t record = *whole;
      return act_on_worklist(record) || result;
    }
  }
  return act_on_files(files) || result;
}

// ---- Commit, edit and view -------------------------------------------------------------------------------------

bool worklists_commit_action_t::act_on_worklist(const worklist_info_t &worklist)
{
  // Another site's worklist is never committed from here.
  return is_current_site(worklist.site) && show_worklist_form(worklist, worklist_form_commit);
}

bool worklists_commit_action_t::act_on_files(std::vector<worklist_file_t> &files)
{
  if ( files.empty() )
    return false;
  qvector<worklist_file_t> rows;
  for ( const worklist_file_t &file : files )
    rows.push_back(file);
  qstring description;
  uint16_t force = 0;
  const int answer = ask_commit_files(&description, &rows, &force);
  if ( answer == commit_files_cancelled )
    return false;
  const int32_t number = add_worklist_or_report(description.c_str());
  if ( number == -1 )
    return false;
  arkive_with_events_t &facade = akui_app()->facade;
  qvector<qstring> paths;
  for ( const worklist_file_t &row : rows )
    paths.push_back(row.path);
  if ( const int code = facade.migrate_files(paths, number); code != 0 )
  {
    show_server_error(code, "Failed to migrate files");
    return true;
  }
  if ( answer == commit_files_commit )
  {
    int32_t commit = 0;
    if ( const int code = facade.commit_worklist(&commit, description.c_str(), number, force); code != 0 )
      show_server_warning(code, "Failed to commit worklist");
  }
  return true;
}

bool worklists_commit_action_t::applicable(const dirtree_selection_t &selection)
{
  for ( const dirtree_cursor_t &cursor : selection )
    if ( worklist_is_committable(view_, cursor, true) )
      return true;
  return false;
}

bool worklists_edit_view_action_t::act_on_worklist(const worklist_info_t &worklist)
{
  return show_worklist_form(worklist, user_may_edit(worklist) ? worklist_form_edit : worklist_form_view);
}

bool worklists_edit_view_action_t::applicable(const dirtree_selection_t &selection)
{
  bool any = false;
  for ( const dirtree_cursor_t &cursor : selection )
    if ( const worklist_info_t *worklist = view_->worklist_at_cursor(cursor); worklist != nullptr )
    {
      if ( user_may_edit(*worklist) )
        return edit_;
      any = true;
    }
  return !edit_ && any;
}

// ---- Revert --------------------------------------------------------------------------------------------------

bool revert_worklist_files(const std::vector<worklist_file_t> &files, bool unchanged_only)
{
  return revert_selected_files(as_selected_files(files), unchanged_only);
}

bool confirm_and_revert_files(const std::vector<worklist_file_t> &files)
{
  qvector<qstring> paths;
  for ( const worklist_file_t &file : files )
    paths.push_back(file.path);
  const qstring list = confirmation_list(paths);
  if ( question_printf(1, "HIDECANCEL\nDo you really want to revert these files?\n%s", list.c_str()) != 1 )
    return false;
  return revert_worklist_files(files, false);
}

const worklist_files_t *worklists_revert_action_t::current_files(const worklist_key_t &key)
{
  worklists_item_model_t *model = view_->worklists_model();
  if ( view_->is_picker() )
    return model->cached_files(key);
  const worklist_files_t *files = nullptr;
  return model->fetch_worklist_files(key, &files) == 0 ? files : nullptr;
}

bool worklists_revert_action_t::act_on_worklist(const worklist_info_t &worklist)
{
  qstring all_files;
  format_to_string(&all_files, "@%d", worklist.number);
  if ( const int code = akui_app()->facade.revert_files({all_files}, 1); code != 0 )
  {
    show_server_error(code, "Failed to revert files for worklist %d", worklist.number);
    return false;
  }
  if ( unchanged_only_ )
    return true;
  // The worklist's own key: the files of the same number on another site are not this worklist's.
  const worklist_files_t *remaining = current_files(worklist_key_t {worklist.site, worklist.number});
  if ( remaining == nullptr )
    return false;
  if ( remaining->files.size() == 0 )
    return true;
  const std::vector<worklist_file_t> files(remaining->files.begin(), remaining->files.end());
  return confirm_ ? confirm_and_revert_files(files) : revert_worklist_files(files, false);
}

bool worklists_revert_action_t::revert_unchanged_and_prune(std::vector<worklist_file_t> &files)
{
  if ( !files.empty() && !revert_worklist_files(files, true) )
    return false;
  // One look per worklist: the files it still lists were not reverted.
  std::map<worklist_key_t, std::set<std::string>> still_listed;
  for ( const worklist_file_t &file : files )
  {
    const worklist_key_t key {file.site, file.worklist};
    if ( still_listed.count(key) != 0 )
      continue;
    const worklist_files_t *current = current_files(key);
    if ( current == nullptr )
      return false;
    std::set<std::string> &paths = still_listed[key];
    for ( const worklist_file_t &listed : current->files )
      paths.emplace(listed.path.view());
  }
  std::erase_if(files, [&](const worklist_file_t &file) {
    return still_listed[worklist_key_t {file.site, file.worklist}].count(std::string(file.path.view())) == 0;
  });
  return true;
}

bool worklists_revert_action_t::act_on_files(std::vector<worklist_file_t> &files)
{
  if ( unchanged_only_ )
    return !files.empty() && revert_worklist_files(files, true);
  const size_t before = files.size();
  if ( !revert_unchanged_and_prune(files) )
    return false;
  if ( files.empty() )
    return true;
  const bool some_reverted = files.size() < before;
  return confirm_and_revert_files(files) || some_reverted;
}

// ---- Commit test ---------------------------------------------------------------------------------------------

bool worklist_is_committable(worklists_dirtree_widget_t *view, const dirtree_cursor_t &cursor, bool cached_only)
{
  worklists_item_model_t *model = view->worklists_model();
  worklist_key_t key;
  if ( model == nullptr || !view->worklist_key_of_entry(cursor, &key) || !is_current_site(key.site) )
    return false;
  const worklist_files_t *files = model->cached_files(key);
  if ( cached_only )
  {
    if ( files == nullptr || files->files.size() == 0 )
      return false;
  }
  else if ( const int code = model->fetch_worklist_files(key, &files); code != 0 )
  {
    if ( code != 37 )
      show_server_error(code, "Failed to retrieve worklist files for %s", worklist_folder_path(key).c_str());
    return false;
  }
  for ( const worklist_file_t &file : files->files )
    if ( file.site_revision != 0 && file.site_revision != file.last_revision )
      return false;
  return true;
}

// ---- Moving files between worklists ----------------------------------------------------------------------------

bool migrate_entries_to_worklist(worklists_item_model_t &model, const std::vector<dirtree_path_entry_t> &entries,
                                 const worklist_key_t &key)
{
  qvector<qstring> paths;
  for ( const dirtree_path_entry_t &moved : entries )
  {
    const dirtree_entry_t entry = model.current_tree()->entry_of_path(moved.path.c_str());
    if ( entry.is_none() )
      continue;
    if ( entry.is_folder )
    {
      qstring folder;
      // Only a folder directly under the root is a worklist.
      if ( !split_dirtree_path(&folder, nullptr, moved.path.view()) || folder != "/" )
        continue;
      const std::optional<worklist_key_t> from = parse_worklist_path(moved.path.view());
      const worklist_files_t *files = from.has_value() ? model.cached_files(*from) : nullptr;
      if ( files != nullptr && !(*from == key) )
        for ( const worklist_file_t &file : files->files )
          paths.push_back(file.path);
    }
    else if ( const worklist_file_t *file = model.worklist_file_of_path(moved.path.view()); file != nullptr )
    {
      paths.push_back(file->path);
    }
  }
  if ( paths.empty() )
    return false;
  if ( const int code = akui_app()->facade.migrate_files(paths, key.number); code != 0 )
  {
    show_server_error(code, "Failed to migrate files");
    return false;
  }
  akui_app()->refresh_widgets(kind_bit(akui_kind_arkive_files) | kind_bit(akui_kind_local_files)
                                | kind_bit(akui_kind_worklists),
                              true);
  return true;
}

// ---- The tree widget's operations ------------------------------------------------------------------------------

bool worklists_crud_action_state(worklists_dirtree_widget_t *view, const dirtree_selection_t *entries, uint32_t kind)
{
  const dirtree_selection_t none;
  const dirtree_selection_t &selection = entries != nullptr ? *entries : none;
  if ( kind == standalone_dirtree_insert )
  {
    if ( selection.empty() )
      return true;
    return !std::all_of(selection.begin(), selection.end(), [&](const dirtree_cursor_t &cursor) {
      return view->worklist_file_at_cursor(cursor) != nullptr;
    });
  }
  if ( kind != standalone_dirtree_delete )
    return true;
  ui_action_t *action = find_ui_action("DirTreeDelete");
  bool worklist_selected = false;
  for ( const dirtree_cursor_t &cursor : selection )
  {
    worklist_key_t key;
    if ( view->worklist_file_at_cursor(cursor) != nullptr && view->worklist_key_of_entry(cursor, &key)
         && is_current_site(key.site) )
    {
      if ( action != nullptr )
        (void)action->apply_property(ACTION_PROP_LABEL, "Delete worklist(s) / file(s)");
      return true;
    }
    if ( const worklist_info_t *worklist = view->worklist_at_cursor(cursor);
         worklist != nullptr && is_current_site(worklist->site) )
      worklist_selected = true;
  }
  if ( worklist_selected && action != nullptr )
    (void)action->apply_property(ACTION_PROP_LABEL, view->widget_options().delete_look.label);
  return worklist_selected;
}

bool create_worklist_in_view(worklists_dirtree_widget_t *view, filtered_widget_mixin_update_strategy_t *strategy)
{
  const int32_t number = ask_new_worklist();
  if ( number == -1 )
    return false;
  arkive_with_events_t &facade = akui_app()->facade;
  qvector<worklist_info_t> records;
  if ( const int code = facade.get_worklists(&records, nullptr, nullptr, number); code != 0 )
  {
    show_server_warning(code, "Failed to retrieve worklists");
    return false;
  }
  // The reply must hold the new worklist; a reply without it names no site to show it under.
  const worklist_info_t *made = nullptr;
  for ( const worklist_info_t &record : records )
    if ( record.number == number )
    {
      made = &record;
      break;
    }
  if ( made == nullptr )
  {
    warning_printf("Failed to retrieve worklists\nThe server did not list the new worklist %d", number);
    return false;
  }
  const worklist_key_t key {made->site, number};
  if ( !is_showable_worklist_key(key) )
    return false;
  const qstring folder = worklist_folder_path(key);
  directory_tree_t *tree = view->worklists_model()->tree();
  (void)tree->create_folder(folder.c_str());
  strategy->reason |= update_tree_state;
  dirtree_cursor_t cursor = dirtree_no_cursor;
  if ( tree->cursor_of_entry(&cursor, tree->entry_of_path(folder.c_str())) == 0 && folder.size() > 1 )
  {
    strategy->selection = {cursor};
    strategy->flags |= strategy_restore_own_selection;
  }
  return true;
}

bool delete_worklists_in_view(worklists_dirtree_widget_t *view, filtered_widget_mixin_update_strategy_t *strategy,
                              const dirtree_selection_t *entries, const std::vector<qstring> &)
{
  if ( entries == nullptr )
    return false;
  arkive_with_events_t &facade = akui_app()->facade;
  bool worklist_selected = false;
  std::vector<worklist_file_t> files;
  for ( const dirtree_cursor_t &cursor : *entries )
  {
    if ( const worklist_info_t *found = view->worklist_at_cursor(cursor); found != nullptr )
    {
      worklist_selected = true;
      const worklist_info_t worklist = *found;
      if ( !is_current_site(worklist.site) )
        continue;
      if ( worklist.size != 0 )
      {
        if ( question_printf(1,
                             "HIDECANCEL\nDo you really want to delete worklist '%d, %s@%s'?\nAll files in the "
                             "worklist will be reverted",
                             worklist.number, worklist.user.c_str(), worklist.site.c_str())
             != 1 )
          continue;
        worklists_revert_action_t revert(view, false, false);
        if ( !revert.act_on_worklist(worklist) )
          continue;
      }
      if ( const int code = facade.delete_worklist(worklist.number); code != 0 )
        show_server_warning(code, "Failed to delete worklist");
      continue;
    }
    worklist_key_t key;
    if ( const worklist_file_t *file = view->worklist_file_at_cursor(cursor);
         file != nullptr && view->worklist_key_of_entry(cursor, &key) && is_current_site(key.site) )
      files.push_back(*file);
  }
  if ( !worklist_selected && !files.empty() )
  {
    worklists_revert_action_t revert(view, false, false);
    if ( revert.revert_unchanged_and_prune(files) && !files.empty() )
      (void)confirm_and_revert_files(files);
  }
  // The view reloads from the server (no rows are removed in place) and the file trees follow.
  strategy->reason |= update_tree_state;
  strategy->flags &= ~strategy_remove_empty_folders;
  if ( !entries->empty() )
  {
    strategy->selection = {entries->back()};
    strategy->flags |= strategy_restore_own_selection;
  }
  akui_app()->refresh_widgets(kind_bit(akui_kind_arkive_files) | kind_bit(akui_kind_local_files), true);
  return true;
}

bool activate_worklists_in_view(worklists_dirtree_widget_t *view, filtered_widget_mixin_update_strategy_t *,
                                const dirtree_selection_t *entries, const std::vector<qstring> &)
{
  if ( entries == nullptr )
    return false;
  std::vector<dirtree_cursor_t> worklists;
  selected_files_t files;
  for ( const dirtree_cursor_t &cursor : *entries )
  {
    worklist_key_t key;
    if ( view->worklists_model()->worklist_key_of_cursor(cursor, &key) )
      worklists.push_back(cursor);
    else if ( const worklist_file_t *file = view->worklist_file_at_cursor(cursor); file != nullptr )
    {
      selected_file_t record;
      record.path = file->path;
      files.push_back(std::move(record));
    }
  }
  bool activated = !files.empty() && open_files(files);
  for ( const dirtree_cursor_t &cursor : worklists )
  {
    const char *action = "view_worklist";
    if ( worklist_is_committable(view, cursor, false) )
      action = "commit";
    else if ( const worklist_info_t *worklist = view->worklist_at_cursor(cursor);
              worklist != nullptr && user_may_edit(*worklist) )
      action = "edit_worklist";
    if ( ui_action_t *found = find_ui_action(action); found != nullptr )
      (void)trigger_ui_action(found);
    activated = true;
  }
  return activated;
}

// ---- Action handlers -------------------------------------------------------------------------------------------

worklists_dirtree_widget_t *context_worklists_view(const action_ctx_base_t &context)
{
  for ( QWidget *widget = context.widget; widget != nullptr; widget = widget->parentWidget() )
  {
    if ( auto *view = dynamic_cast<worklists_dirtree_widget_t *>(widget); view != nullptr )
      return view;
    if ( worklists_dirtree_widget_t *hosted = worklists_widget_of_host(widget); hosted != nullptr )
      return hosted;
  }
  return nullptr;
}

namespace {

dirtree_selection_t selection_of(worklists_dirtree_widget_t *view, const action_ctx_base_t &context)
{
  if ( context.tree_selection != nullptr )
    return *context.tree_selection;
  return view->selected_entries();
}

} // namespace

int revert_in_worklists(ui_action_activation_ctx_t *context, bool unchanged_only)
{
  worklists_dirtree_widget_t *view = context_worklists_view(*context);
  if ( view == nullptr )
    return 0;
  worklists_revert_action_t helper(view, unchanged_only, true);
  return helper.run(selection_of(view, *context)) ? 1 : 0;
}

int commit_in_worklists(ui_action_activation_ctx_t *context)
{
  worklists_dirtree_widget_t *view = context_worklists_view(*context);
  if ( view == nullptr )
    return commit_activate(context);
  worklists_commit_action_t helper(view);
  return helper.run(selection_of(view, *context)) ? 1 : 0;
}

int commit_state_in_worklists(ui_action_t *action, ui_action_update_ctx_t *context)
{
  worklists_dirtree_widget_t *view = context_worklists_view(*context);
  if ( view == nullptr )
    return commit_update(action, context);
  relabel_action(*context, "Commit...");
  const dirtree_selection_t selection = selection_of(view, *context);
  worklists_commit_action_t helper(view);
  return !selection.empty() && helper.applicable(selection) ? FILES_ACTION_ENABLED : FILES_ACTION_DISABLED;
}

action_desc_t with_worklists_commit(action_desc_t commit_row)
{
  commit_row.activate = commit_in_worklists;
  commit_row.update = commit_state_in_worklists;
  return commit_row;
}

int edit_or_view_worklist_activate(ui_action_activation_ctx_t *context)
{
  worklists_dirtree_widget_t *view = context_worklists_view(*context);
  if ( view == nullptr )
    return 0;
  worklists_edit_view_action_t helper(view, true);
  return helper.run(selection_of(view, *context)) ? 1 : 0;
}

namespace {

int edit_view_state(ui_action_update_ctx_t *context, bool edit)
{
  worklists_dirtree_widget_t *view = context_worklists_view(*context);
  if ( view == nullptr )
    return FILES_ACTION_DISABLED;
  const dirtree_selection_t selection = selection_of(view, *context);
  worklists_edit_view_action_t helper(view, edit);
  return !selection.empty() && helper.applicable(selection) ? FILES_ACTION_ENABLED : FILES_ACTION_DISABLED;
}

} // namespace

int edit_worklist_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  return edit_view_state(context, true);
}

int view_worklist_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  return edit_view_state(context, false);
}

int open_worklists_widget_activate(ui_action_activation_ctx_t *)
{
  QWidget *host = find_worklists_widget();
  if ( worklists_dirtree_widget_t *view = worklists_widget_of_host(host); view != nullptr )
    view->post_model_update(update_tree_state | 7, false);
  else
    host = create_worklists_widget();
  present_worklists_host(host);
  return 1;
}

int show_all_worklists_activate(ui_action_activation_ctx_t *context)
{
  worklists_dirtree_widget_t *view = context_worklists_view(*context);
  if ( view == nullptr )
    view = worklists_widget_of_host(find_worklists_widget());
  if ( view == nullptr )
    return 0;
  set_show_all_worklists(view, !view->show_all);
  return 1;
}

action_desc_t open_worklists_widget_row()
{
  return client_row("open_worklists_widget", open_worklists_widget_activate, nullptr, all_widget_kinds,
                    client_without_connection, ACTION_FLAG_FROM_DESC_2, 0, "&Worklists", "Worklists",
                    "icons/actions/open_worklists_widget.svg");
}

std::span<const action_desc_t> worklist_command_action_descs()
{
  static const std::vector<action_desc_t> rows = [] {
    std::vector<action_desc_t> out;
    // Both need the tree's selection (context bit 38).
    constexpr uint64_t tree_selection = uint64_t(1) << 6;
    action_desc_t edit = client_row("edit_worklist", edit_or_view_worklist_activate, edit_worklist_update,
                                    kind_bit(akui_kind_worklists), client_needs_local_site, 0,
                                    kind_bit(akui_kind_worklists), "Edit worklist...", nullptr, nullptr);
    edit.context_word |= tree_selection << 32;
    out.push_back(edit);
    action_desc_t view = client_row("view_worklist", edit_or_view_worklist_activate, view_worklist_update,
                                    kind_bit(akui_kind_worklists), client_needs_local_site, 0, 0, "View worklist...",
                                    nullptr, nullptr);
    view.context_word |= tree_selection << 32;
    out.push_back(view);
    out.push_back(client_row("show_all_worklists", show_all_worklists_activate, nullptr,
                             kind_bit(akui_kind_worklists), client_needs_local_site, ACTION_FLAG_CHECKABLE,
                             kind_bit(akui_kind_worklists), "Show other users' worklists", nullptr, nullptr));
    return out;
  }();
  return rows;
}
