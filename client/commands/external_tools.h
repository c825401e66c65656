// Diff, open and the external tools: launching the program associated with a file's extension and watching
// it end, comparing two revisions, opening files, their folders and the manual.
#pragma once

#include "client/commands/file_assoc_lookup.h"
#include "client/commands/files_action.h"
#include "core/process_exit.h"
#include "core/qvector.h"
#include "repo/wire_records.h"

#include <memory>

class form_actions_t;

// Run on the GUI thread once a launched tool has ended, with its exit code filled in.
struct external_tool_completion_t : exec_request_t
{
  int32_t exit_code = 0;
};

// One launch: the kind (file_assoc_kind_t), the paths and which of them are temporary copies to remove, the
// merge method (1-4, merges only) and the completion (owned; may be null).
struct external_launch_t
{
  int kind = file_assoc_view;
  qstring left;
  qstring right; // empty: none
  qstring third; // empty: none
  bool delete_left = false;
  bool delete_right = false;
  bool delete_third = false;
  int merge_method = 0;
  std::unique_ptr<external_tool_completion_t> completion;
};

// Starts the associated program without waiting: a watcher thread waits for it, removes the temporary copies
// and then runs the completion on the GUI thread. False when there is no association (the missing-association
// warning) or the program cannot be started (the launch warning); the temporary copies are then removed
// here, and the completion is destroyed without running.
bool launch_external_process(external_launch_t launch);

// Removes the launch's temporary copies (the paths with their delete flag); any thread.
void remove_temporary_copies(const external_launch_t &launch);

// Whether the path's extension (or "*") has a diff tool.
[[nodiscard]] bool has_diff_association(const char *path);

// Compares two revisions of server files: databases through the disassembler, other files with the diff
// program on local copies (-4: the working file, never removed). False when nothing was started.
bool diff_by_association(const char *left, int32_t left_revision, const char *right, int32_t right_revision);

// Opens each record's local file with its view program; a missing file is logged. Always false.
bool open_files(const selected_files_t &files);

// The server's records of a file at a revision (-3: the site's, -2: every revision); failures are logged.
[[nodiscard]] bool fetch_file_infos(qvector<arkive_file_info_t> *records, const char *path, int32_t revision);

// "Diff against...": the form's callback (exposed for its tests).
int diff_any_form_callback(int field_id, form_actions_t &actions);

// Diff against the local file: the site's revision of each record against its working file.
class diff_arkive_local_action_t : public files_action_helper_t
{
public:
  // False without a connection or a local site, or at the first comparison that could not start.
  bool perform(selected_files_t &files) override;
  // Exactly one record, opened, present, with a diff association.
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;
};

// "Diff against...": two sides chosen in a form, of the first record.
class diff_any_action_t : public files_action_helper_t
{
public:
  bool perform(selected_files_t &files) override;
  // Exactly one file the server has a revision of, with a diff association.
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;
};

// Open: the records' local files with their view programs.
class open_file_action_t : public files_action_helper_t
{
public:
  bool perform(selected_files_t &files) override;
  // Some record.
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;
};

// Open the containing folder of each record through the desktop.
class open_containing_folder_action_t : public files_action_helper_t
{
public:
  // Folders that are not there are logged. Always false.
  bool perform(selected_files_t &files) override;
  // Some record is unknown to the server or present on the site.
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;
};

// The handlers of the rows that are no plain command object.
int open_file_update(ui_action_t *action, ui_action_update_ctx_t *context);
int open_manual_activate(ui_action_activation_ctx_t *context);
