// The check-out commands and the deletion of local files.
#include "client/commands/checkout_commands.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_paths.h"
#include "client/app/arkive_with_events.h"
#include "client/commands/command_site.h"
#include "client/commands/worklist_choice.h"
#include "core/error_state.h"
#include "core/ui_callback.h"
#include "repo/abstract_fs.h"
#include "ui/ui_action_registry.h"

#include <QApplication>
#include <QWidget>

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

// The open view of the kind (a visible one first); null when none is open.
file_selection_source_t *find_file_view(int kind)
{
  file_selection_source_t *hidden = nullptr;
  for ( QWidget *widget : QApplication::allWidgets() )
  {
    auto *source = dynamic_cast<file_selection_source_t *>(widget);
    if ( source == nullptr || source->selection_widget_kind() != kind )
      continue;
    if ( widget->isVisible() )
      return source;
    hidden = hidden != nullptr ? hidden : source;
  }
  return hidden;
}

} // namespace

bool checkout_for_edit_action_t::perform(selected_files_t &files)
{
  // The records are not read after the request: their paths move into it instead of being copied.
  if ( const int code = akui_app()->facade.edit_files(take_paths(files), checkout_request_number); code != 0 )
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

bool map_to_other_filesystem_t::perform(selected_files_t &files)
{
  const int kind = selection_kind_of(context);
  if ( kind != akui_kind_arkive_files && kind != akui_kind_local_files )
    return false;
  const bool to_arkive = kind == akui_kind_local_files;
  if ( ui_action_t *open = find_ui_action(to_arkive ? "open_arkive_files_widget" : "open_local_files_widget");
       open != nullptr )
    (void)open->run_from_ui();
  file_selection_source_t *other = find_file_view(to_arkive ? akui_kind_arkive_files : akui_kind_local_files);
  if ( other == nullptr )
    return false;
  if ( files.empty() )
    return true;
  (void)other->select_path(files[0].path.c_str() + 1);
  return true;
}

bool map_to_other_filesystem_t::applicable(const selected_files_t &, action_ctx_base_t &action_context)
{
  relabel_action(action_context, selection_kind_of(action_context) == akui_kind_local_files ? "Show in Arkive files"
                                                                                             : "Show in Local files");
  return true;
}

bool migrate_file_to_worklist_action_t::perform(selected_files_t &files)
{
  worklist_chooser_t *chooser = installed_worklist_chooser();
  if ( chooser == nullptr || files.empty() )
    return false;
  int32_t common = files[0].worklist;
  for ( const selected_file_t &file : files )
    if ( file.worklist != common )
      common = -1;
  int32_t number = chooser->choose_worklist(common);
  if ( number == WORKLIST_CHOICE_NEW )
    number = chooser->ask_new_worklist();
  if ( number < 0 )
    return false;
  if ( const int code = akui_app()->facade.migrate_files(paths_of(files), number); code != 0 )
  {
    show_server_error(code, "Failed to migrate files");
    return false;
  }
  return true;
}

bool migrate_file_to_worklist_action_t::applicable(const selected_files_t &files, action_ctx_base_t &)
{
  for ( const selected_file_t &file : files )
    if ( file.is_opened() )
      return true;
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

int map_to_other_filesystem_activate(ui_action_activation_ctx_t *context)
{
  map_to_other_filesystem_t helper(*context);
  return activate_files_action(helper, *context, WANT_PATH);
}

int map_to_other_filesystem_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  // The worklist and bit 0x020, which no collector reads.
  constexpr uint32_t map_update_bits = 0x030;
  map_to_other_filesystem_t helper(*context);
  return update_files_action(helper, *context, map_update_bits);
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
