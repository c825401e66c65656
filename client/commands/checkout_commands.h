// The check-out commands: edit, delete, add, move/rename and copy; deleting local files.
#pragma once

#include "client/commands/files_action.h"

// Checkout for edit: one EDIT_FILES request of the records' paths.
class checkout_for_edit_action_t : public files_action_helper_t
{
public:
  // Always true; a failed request is logged with "Failed checkout for edit".
  bool perform(selected_files_t &files) override;
  // A folder applies; else the first present, not opened record decides (in the File history only the row
  // of the revision the site has).
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;
};

// Checkout for delete: one DELETE_FILES request.
class checkout_for_delete_action_t : public files_action_helper_t
{
public:
  bool perform(selected_files_t &files) override;
  // As for edit, but in the File history only the row of the last revision decides.
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;
};

// Checkout for add: the local files under the selection, then one ADD_FILES request.
class checkout_for_add_action_t : public files_action_helper_t
{
public:
  // Logs "ok added '%s'\n" or the failure per path; true when at least one path was added.
  bool perform(selected_files_t &files) override;
  // Some record is a folder or unknown to the server.
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;
};

// Checkout for move/rename (move true) or for copy (move false): a prompt per record.
class checkout_for_move_or_copy_action_t : public files_action_helper_t
{
public:
  explicit checkout_for_move_or_copy_action_t(bool move_files) : move(move_files) {}
  // Cancel ends the loop; true when at least one request before it succeeded.
  bool perform(selected_files_t &files) override;
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;

  bool move;
};

// Map to the other file view: reveals the first record's entry in the Local files view from the Arkive files
// view, and the other way round.
class map_to_other_filesystem_t : public files_action_helper_t
{
public:
  explicit map_to_other_filesystem_t(action_ctx_base_t &action_context) : context(action_context) {}
  // False for another view or when the other view cannot be had; true without records.
  bool perform(selected_files_t &files) override;
  // Always; relabels the action "Show in Arkive files" or "Show in Local files".
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;

  action_ctx_base_t &context;
};

// Migrate to another worklist: the "Choose worklist" dialog without the records' common worklist.
class migrate_file_to_worklist_action_t : public files_action_helper_t
{
public:
  bool perform(selected_files_t &files) override;
  // Some record is opened in a worklist.
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;
};

// Check out for delete: the paths in one DELETE_FILES request; a failure is logged. Always true.
bool checkout_files_for_delete(const selected_files_t &files);
// Expands the records into the server paths of the local files under them (ignore rules honoured), showing
// the wait box "Collecting local files"; the expansion's messages are logged. False when cancelled.
[[nodiscard]] bool collect_local_files(const selected_files_t &files, qvector<qstring> *paths, bool existing_only,
                                       qvector<qstring> *ignore_rules);
// Removes the records' local files from the work directory; true when at least one was removed.
bool delete_local_files(const selected_files_t &files);

// Results of move_or_copy_one_file.
enum move_result_t : int
{
  move_done = 0,
  move_failed_or_nothing = 1,
  move_cancelled = 2,
};
// Asks for the new path of one file or folder and sends the move or copy.
[[nodiscard]] move_result_t move_or_copy_one_file(bool move, const char *path, bool is_folder, int32_t revision);
// The new path that an entered text names for the current path (absolute "//", rooted "/", or a name
// beside the current entry); a folder's gets a trailing "/".
[[nodiscard]] qstring new_arkive_path(const char *current, bool is_folder, const char *entered);

// The handlers of the action rows.
int checkout_for_move_rename_activate(ui_action_activation_ctx_t *context);
int checkout_for_move_rename_update(ui_action_t *action, ui_action_update_ctx_t *context);
int checkout_for_copy_activate(ui_action_activation_ctx_t *context);
int checkout_for_copy_update(ui_action_t *action, ui_action_update_ctx_t *context);
int map_to_other_filesystem_activate(ui_action_activation_ctx_t *context);
int map_to_other_filesystem_update(ui_action_t *action, ui_action_update_ctx_t *context);
