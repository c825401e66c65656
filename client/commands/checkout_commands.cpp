// The check-out commands and the deletion of local files.
#include "client/commands/checkout_commands.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_paths.h"
#include "client/app/arkive_with_events.h"
#include "client/commands/command_site.h"
#include "core/error_state.h"
#include "core/ui_callback.h"
#include "repo/abstract_fs.h"

namespace {

// The check-out requests of the client always carry the number 1.
constexpr int32_t checkout_request_number = 1;

// Edit and delete: a folder applies; the first present record that is not opened decides, in the File
// history by the rule `history_row_decides`.
template<class Rule>
bool first_free_record_applies(const selected_files_t &files, const action_ctx_base_t &context, Rule history_row)
{
  const bool history = selection_kind_of(context) == akui_kind_file_history;
  for ( const selected_file_t &file : files )
  {
    if ( file.is_folder() )
      return true;
    if ( file.is_present() && !file.is_opened() )
      return !history || history_row(file);
  }
  return false;
}

// The stop check of the local-file expansion: the wait box's Cancel.
bool collection_cancelled()
{
  return _base_app_mixin_t::is_long_op_cancelled();
}

void show_wait_box(const char *format, ...)
{
  va_list va;
  va_start(va, format);
  (void)akui_app()->push_wait_dialog_request(format, va, true);
  va_end(va);
}

} // namespace

bool checkout_for_edit_action_t::perform(selected_files_t &files)
{
  if ( const int code = akui_app()->facade.edit_files(paths_of(files), checkout_request_number); code != 0 )
    show_server_error(code, "Failed checkout for edit");
  return true;
}

bool checkout_for_edit_action_t::applicable(const selected_files_t &files, action_ctx_base_t &context)
{
  const file_selection_source_t *source = selection_source_of(context);
  const int32_t current = source != nullptr ? source->current_history_revision() : REVISION_LOCAL_FILE;
  return first_free_record_applies(files, context,
                                   [current](const selected_file_t &file) { return file.revision == current; });
}

bool checkout_files_for_delete(const selected_files_t &files)
{
  if ( const int code = akui_app()->facade.delete_files(paths_of(files), checkout_request_number); code != 0 )
    show_server_error(code, "Failed to delete file");
  return true;
}

bool checkout_for_delete_action_t::perform(selected_files_t &files)
{
  return checkout_files_for_delete(files);
}

bool checkout_for_delete_action_t::applicable(const selected_files_t &files, action_ctx_base_t &context)
{
  return first_free_record_applies(files, context,
                                   [](const selected_file_t &file) { return file.revision == file.last_revision; });
}

bool collect_local_files(const selected_files_t &files, qvector<qstring> *paths, bool existing_only,
                         qvector<qstring> *ignore_rules)
{
  qvector<qstring> patterns;
  for ( const selected_file_t &file : files )
  {
    qstring local;
    if ( local_path_or_report(&local, file.path.c_str()) )
      patterns.push_back(std::move(local));
  }
  if ( patterns.empty() )
    return true;
  show_wait_box("Collecting local files");
  const local_site_t site = current_local_site();
  qvector<qstring> messages;
  const bool finished = site.expand_local_patterns(paths, &messages, patterns, existing_only, collection_cancelled,
                                                   ignore_rules);
  for ( const qstring &message : messages )
    log_printf("%s\n", message.c_str());
  akui_app()->hide_wait_dialog();
  return finished;
}

bool checkout_for_add_action_t::perform(selected_files_t &files)
{
  qvector<qstring> paths;
  if ( !collect_local_files(files, &paths, false, nullptr) )
  {
    log_printf("The current operation was canceled\n");
    return false;
  }
  if ( paths.empty() )
    return false;
  qvector<int32_t> codes;
  const int code = akui_app()->facade.add_files(&codes, paths, checkout_request_number);
  bool added = false;
  for ( size_t i = 0; i < codes.size() && i < paths.size(); ++i )
  {
    if ( codes[i] == 0 )
    {
      log_printf("ok added '%s'\n", paths[i].c_str());
      added = true;
    }
    else
    {
      (void)error_arg_text(0, paths[i].c_str());
      show_server_error(codes[i], "Failed to add to arkive");
    }
  }
  if ( code != 0 )
    show_server_error(code, "Failed to add to arkive");
  return added;
}

bool checkout_for_add_action_t::applicable(const selected_files_t &files, action_ctx_base_t &)
{
  for ( const selected_file_t &file : files )
    if ( file.is_folder() || !file.is_known() )
      return true;
  return false;
}

qstring new_arkive_path(const char *current, bool is_folder, const char *entered)
{
  qstring path;
  if ( std::string_view(entered).substr(0, 2) == "//" )
  {
    path = entered;
  }
  else
  {
    qstring entry = current;
    while ( is_folder && entry.size() > 2 && entry.view().back() == '/' )
      qstring_remove_last_chars(&entry, 1);
    qstring folder;
    split_arkive_path(&folder, nullptr, entry.c_str());
    path = join_arkive_path({folder.c_str(), entered});
  }
  if ( is_folder && (path.empty() || path.view().back() != '/') )
    path += '/';
  return path;
}

move_result_t move_or_copy_one_file(bool move, const char *path, bool is_folder, int32_t revision)
{
  qstring current = path;
  qstring entered = path;
  if ( form_dialog_printf("BUTTON YES Ok\nBUTTON NO NONE\nBUTTON CANCEL Cancel\nEnter new path or name\n"
                          "Current name/path: %q\n <New name/path   :q1:1000 : 50:: >",
                          &current, &entered)
       <= 0 )
    return move_cancelled;
  const qstring target = new_arkive_path(path, is_folder, entered.c_str());
  if ( target == current )
    return move_failed_or_nothing;
  arkive_with_events_t &facade = akui_app()->facade;
  const int code = move ? facade.move_files(path, target.c_str(), checkout_request_number)
                        : facade.copy_files(path, target.c_str(), revision, checkout_request_number);
  if ( code != 0 )
  {
    show_server_warning(code, "Failed to %s file %s to %s:", move ? "move/rename" : "copy", path, target.c_str());
    return move_failed_or_nothing;
  }
  return move_done;
}

bool checkout_for_move_or_copy_action_t::perform(selected_files_t &files)
{
  bool done = false;
  for ( const selected_file_t &file : files )
  {
    const move_result_t result = move_or_copy_one_file(move, file.path.c_str(), file.is_folder(), file.revision);
    if ( result == move_cancelled )
      break;
    done |= result == move_done;
  }
  return done;
}

bool checkout_for_move_or_copy_action_t::applicable(const selected_files_t &files, action_ctx_base_t &)
{
  constexpr uint8_t deleted_state = 2;
  for ( const selected_file_t &file : files )
  {
    if ( file.is_folder() )
      return true;
    if ( !file.is_known() || file.state == deleted_state )
      continue;
    if ( !move || (!file.is_opened() && file.revision == file.last_revision) )
      return true;
  }
  return false;
}

bool delete_local_files(const selected_files_t &files)
{
  abstract_fs_t *fs = work_directory_fs();
  bool removed = false;
  for ( const selected_file_t &file : files )
  {
    qstring local;
    if ( !local_path_or_report(&local, file.path.c_str()) )
      continue;
    if ( const int code = fs->remove(local.c_str(), 0); code != 0 )
      show_server_error(code, "Failed to delete file");
    else
      removed = true;
  }
  return removed;
}

int checkout_for_move_rename_activate(ui_action_activation_ctx_t *context)
{
  checkout_for_move_or_copy_action_t helper(true);
  return activate_files_action(helper, *context, WANT_PATH);
}

int checkout_for_move_rename_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  checkout_for_move_or_copy_action_t helper(true);
  return update_files_action(helper, *context, WANT_KNOWN | WANT_WORKLIST | WANT_REVISIONS | WANT_STATE);
}

int checkout_for_copy_activate(ui_action_activation_ctx_t *context)
{
  checkout_for_move_or_copy_action_t helper(false);
  return activate_files_action(helper, *context, WANT_PATH | WANT_REVISIONS);
}

int checkout_for_copy_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  checkout_for_move_or_copy_action_t helper(false);
  return update_files_action(helper, *context, WANT_KNOWN | WANT_REVISIONS | WANT_STATE);
}
