// Revert and sync: revert (with a confirmation), revert if unchanged, get the latest revision and get
// revision with options.
#pragma once

#include "client/commands/files_action.h"

// Flags of a sync.
constexpr int32_t SYNC_BY_REVISION = 0x1; // the number is a revision (clear: a commit number)
constexpr int32_t SYNC_FORCE = 0x4;       // also files that are already synced
// The revision code of "Get the latest revision": it stands for the last revision.
constexpr int32_t SYNC_LATEST_CODE = -10;

// Reverts the records' paths (only the unchanged ones when asked); a failure is logged and gives false.
bool revert_selected_files(const selected_files_t &files, bool unchanged_only);

// Revert: asks "Do you really want to revert these files?" over the first 30 paths (Yes is the default).
class revert_action_t : public files_action_helper_t
{
public:
  bool perform(selected_files_t &files) override;
  // Some record is opened in a worklist or is a folder.
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;
};

// Revert if unchanged: no question.
class revert_if_unchanged_action_t : public files_action_helper_t
{
public:
  bool perform(selected_files_t &files) override;
  // Some record is a folder or opened for edit.
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;
};

// The body of "Get the latest revision": a commit of the Commits view, the rows of the File history and Commit
// files views, else the selected paths of the file trees (or every file, after a question).
bool sync_to_commit(action_ctx_base_t &context, int32_t flags, int32_t revision_code);

// The handlers of the action rows.
int revert_activate(ui_action_activation_ctx_t *context);
int revert_if_unchanged_activate(ui_action_activation_ctx_t *context);
int get_revision_activate(ui_action_activation_ctx_t *context);
int get_revision_update(ui_action_t *action, ui_action_update_ctx_t *context);
int get_revision_with_options_activate(ui_action_activation_ctx_t *context);
