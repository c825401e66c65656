// Revert and sync commands.
#include "client/commands/revert_sync_commands.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_with_events.h"
#include "client/commands/worklist_commands.h"
#include "core/form_actions.h"
#include "core/ui_callback.h"

namespace {

// The Worklists view reverts whole worklists with its own command; these handlers leave it alone.
bool is_worklists_view(const action_ctx_base_t &context)
{
  return selection_kind_of(context) == akui_kind_worklists;
}

bool is_file_tree(int kind)
{
  return kind == akui_kind_arkive_files || kind == akui_kind_local_files;
}

// Get revision options: on a change of the mode group the number's label follows it.
int get_revision_form_callback(int field_id, form_actions_t &actions)
{
  if ( field_id == 1 )
  {
    uint16_t mode = 0;
    if ( actions.read_field_value(1, &mode) )
    {
      const qstring label = mode != 0 ? "Commit" : "Revision";
      actions.write_field_value(2, &label);
    }
  }
  return 1;
}

} // namespace

bool revert_selected_files(const selected_files_t &files, bool unchanged_only)
{
  if ( const int code = akui_app()->facade.revert_files(paths_of(files), unchanged_only ? 1 : 0); code != 0 )
  {
    show_server_error(code, "Failed to revert files");
    return false;
  }
  return true;
}

bool revert_action_t::perform(selected_files_t &files)
{
  const qstring list = confirmation_list(paths_of(files));
  if ( question_printf(1, "HIDECANCEL\nDo you really want to revert these files?\n%s", list.c_str()) != 1 )
    return false;
  return revert_selected_files(files, false);
}

bool revert_action_t::applicable(const selected_files_t &files, action_ctx_base_t &)
{
  for ( const selected_file_t &file : files )
    if ( file.is_opened() || file.is_folder() )
      return true;
  return false;
}

bool revert_if_unchanged_action_t::perform(selected_files_t &files)
{
  return revert_selected_files(files, true);
}

bool revert_if_unchanged_action_t::applicable(const selected_files_t &files, action_ctx_base_t &)
{
  for ( const selected_file_t &file : files )
    if ( (file.flags & (SEL_FOLDER | SEL_OPENED_FOR_EDIT)) != 0 )
      return true;
  return false;
}

bool sync_to_commit(action_ctx_base_t &context, int32_t flags, int32_t revision_code)
{
  arkive_with_events_t &facade = akui_app()->facade;
  file_selection_source_t *source = selection_source_of(context);
  const int kind = selection_kind_of(context);
  int32_t commit = 0;
  if ( kind == akui_kind_commits && source != nullptr && source->selected_commit(&commit) )
  {
    if ( question_printf(1, "AUTOHIDE REGISTRY\nSync files to commit %d?", commit) != 1 )
      return true;
    if ( const int code = facade.sync_files({}, commit, flags & ~SYNC_BY_REVISION); code != 0 )
    {
      show_server_error(code, "Failed to get revision");
      return false;
    }
    log_printf("ok sync to commit %d\n", commit);
    return true;
  }
  if ( (kind == akui_kind_file_history || kind == akui_kind_commit_files) && source != nullptr
       && !context.chooser_selection.empty() )
    return source->sync_selected_revisions(context, flags, revision_code);

  selected_files_t files;
  if ( is_file_tree(kind) && !collect_selected_files(&files, context, WANT_PATH) )
    return false;
  const qvector<qstring> paths = paths_of(files);
  if ( paths.empty()
       && question_printf(0, "AUTOHIDE REGISTRY\nHIDECANCEL\nDo you really want to sync all files?") != 1 )
    return false;
  if ( const int code = facade.sync_files(paths, REVISION_LAST, SYNC_BY_REVISION); code != 0 )
    show_server_error(code, "Failed to get latest revision");
  else
    log_printf("ok sync completed\n");
  return true;
}

int revert_activate(ui_action_activation_ctx_t *context)
{
  if ( is_worklists_view(*context) )
    return revert_in_worklists(context, false);
  revert_action_t helper;
  return activate_files_action(helper, *context, WANT_PATH);
}

int revert_if_unchanged_activate(ui_action_activation_ctx_t *context)
{
  if ( is_worklists_view(*context) )
    return revert_in_worklists(context, true);
  revert_if_unchanged_action_t helper;
  return activate_files_action(helper, *context, WANT_PATH);
}

int get_revision_activate(ui_action_activation_ctx_t *context)
{
  return sync_to_commit(*context, SYNC_BY_REVISION, SYNC_LATEST_CODE) ? 1 : 0;
}

int get_revision_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  relabel_action(*context, "Get the latest revision");
  const int kind = selection_kind_of(*context);
  if ( kind == akui_kind_commits )
  {
    relabel_action(*context, "Sync to this commit...");
    return context->chooser_selection.size() == 1 ? FILES_ACTION_ENABLED : FILES_ACTION_DISABLED;
  }
  if ( kind == akui_kind_file_history || kind == akui_kind_commit_files )
  {
    relabel_action(*context, "Sync to this revision");
    return !context->chooser_selection.empty() ? FILES_ACTION_ENABLED : FILES_ACTION_DISABLED;
  }
  if ( !is_file_tree(kind) )
    return FILES_ACTION_ENABLED;
  selected_files_t files;
  if ( !collect_selected_files(&files, *context, WANT_KNOWN | WANT_LATEST) )
    return FILES_ACTION_DISABLED;
  if ( files.empty() )
    return FILES_ACTION_ENABLED;
  for ( const selected_file_t &file : files )
    if ( file.is_folder() || (file.is_known() && (file.flags & SEL_LATEST) == 0) )
      return FILES_ACTION_ENABLED;
  return FILES_ACTION_DISABLED;
}

int get_revision_with_options_activate(ui_action_activation_ctx_t *context)
{
  arkive_with_events_t &facade = akui_app()->facade;
  selected_files_t files;
  if ( selection_source_of(*context) != nullptr )
    (void)collect_selected_files(&files, *context, WANT_PATH | WANT_KNOWN | WANT_REVISIONS);
  qvector<qstring> paths;
  int64_t number = 1;
  uint16_t mode = 0; // 0 revision, 1 commit
  int32_t commit = 0;
  const file_selection_source_t *source = selection_source_of(*context);
  if ( !files.empty() )
  {
    paths.push_back(files[0].path);
    qvector<arkive_file_info_t> records;
    if ( facade.get_arkive_files(&records, paths, files[0].revision, 0) == 0 && !records.empty() )
      number = records[0].last_revision;
  }
  else if ( selection_kind_of(*context) == akui_kind_commits && source != nullptr && source->selected_commit(&commit) )
  {
    number = commit;
    mode = 1;
  }
  else
  {
    commit_filter_t filter;
    filter.last_commit = 0x7FFFFFFF;
    filter.max_count = 1;
    qvector<commit_info_t> commits;
    if ( facade.get_commits(&commits, {}, filter, REVISION_LAST) == 0 && !commits.empty() )
    {
      number = commits[0].number;
      mode = 1;
    }
  }
  qstring label = mode != 0 ? "Commit" : "Revision";
  uint16_t force = 0;
  if ( form_dialog_printf("Get revision options\n%/<Revision:R> <Commit:R>1>\n%2q <:D3::6::>\n"
                          "<~F~orce sync of already synced files:c>>\n\n",
                          get_revision_form_callback, &mode, &label, &number, &force)
       <= 0 )
    return 0;
  const int32_t flags = (force != 0 ? SYNC_FORCE : 0) | (mode == 0 ? SYNC_BY_REVISION : 0);
  if ( const int code = facade.sync_files(paths, int32_t(number), flags); code != 0 )
  {
    show_server_error(code, "Failed to get revision");
    return 0;
  }
  log_printf("ok sync to commit %d\n", int32_t(number));
  return 1;
}
