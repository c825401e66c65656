// The commands of the Worklists view: commit, edit or view, revert, delete and add worklists, moving files
// between worklists, activation, show-all, and their action rows.
#pragma once

#include "client/views/worklist_paths.h"
#include "ui/action_context.h"
#include "ui/ui_action.h"

#include <cstdint>
#include <span>
#include <vector>

class filtered_widget_mixin_update_strategy_t;
class worklists_dirtree_widget_t;
class worklists_item_model_t;
struct dirtree_path_entry_t;

// One command over a selection of the view that may mix worklist folders and file items: whole worklists
// go to act_on_worklist, the other files to act_on_files. Made on the stack for one call.
class worklists_action_helper_t
{
public:
  explicit worklists_action_helper_t(worklists_dirtree_widget_t *view) : view_(view) {}
  virtual ~worklists_action_helper_t() = default;
  [[nodiscard]] virtual bool act_on_worklist(const worklist_info_t &worklist) = 0;
  [[nodiscard]] virtual bool act_on_files(std::vector<worklist_file_t> &files) = 0;
  // Splits the selection: each selected worklist once, then its files only when their worklist (site and
  // number) was not selected too; files that make up one whole worklist act as that worklist. True when
  // any act gave true.
  [[nodiscard]] bool run(const dirtree_selection_t &selection);
  [[nodiscard]] virtual bool applicable(const dirtree_selection_t &selection) = 0;

protected:
  worklists_dirtree_widget_t *view_; // not owned
};

// Commit: a worklist of the current site through its form; other files through "Commit files to new worklist"
// (a new worklist that the files move to, committed unless the form was saved).
class worklists_commit_action_t final : public worklists_action_helper_t
{
public:
  using worklists_action_helper_t::worklists_action_helper_t;
  bool act_on_worklist(const worklist_info_t &worklist) override;
  bool act_on_files(std::vector<worklist_file_t> &files) override;
  // Some selected entry's worklist is of the current site, cached, not empty and needs no resolve.
  bool applicable(const dirtree_selection_t &selection) override;
};

// Edit or view a worklist's description: the edit form for an administrator or the worklist's owner, the
// view form for others. edit chooses the test: the edit test or the view test.
class worklists_edit_view_action_t final : public worklists_action_helper_t
{
public:
  worklists_edit_view_action_t(worklists_dirtree_widget_t *view, bool edit) : worklists_action_helper_t(view), edit_(edit)
  {
  }
  bool act_on_worklist(const worklist_info_t &worklist) override;
  bool act_on_files(std::vector<worklist_file_t> &) override { return true; }
  // The first selected worklist the user may edit decides: the edit test passes, the view test fails; with
  // none, only the view test passes (when a worklist is selected).
  bool applicable(const dirtree_selection_t &selection) override;

private:
  bool edit_;
};

// Revert: whole worklists by "@%d" (unchanged files first), the rest after a question; unchanged_only
// reverts only files without local changes and asks nothing.
class worklists_revert_action_t final : public worklists_action_helper_t
{
public:
  worklists_revert_action_t(worklists_dirtree_widget_t *view, bool unchanged_only, bool confirm)
    : worklists_action_helper_t(view), unchanged_only_(unchanged_only), confirm_(confirm)
  {
  }
  bool act_on_worklist(const worklist_info_t &worklist) override;
  bool act_on_files(std::vector<worklist_file_t> &files) override;
  bool applicable(const dirtree_selection_t &) override { return true; }

  // Reverts the unchanged files, then drops from the set the files their worklist no longer lists. False
  // when a worklist's files cannot be fetched or the revert failed.
  [[nodiscard]] bool revert_unchanged_and_prune(std::vector<worklist_file_t> &files);

private:
  // The worklist's files as the server lists them now (fetched unless the view is a picker that has them
  // cached); null on failure.
  [[nodiscard]] const worklist_files_t *current_files(const worklist_key_t &key);
  bool unchanged_only_;
  bool confirm_;
};

// Whether the worklist of the entry (folder, or a file item's folder) belongs to the current site and has no
// file whose site revision is behind; with cached_only nothing is fetched (no cache entry: false).
[[nodiscard]] bool worklist_is_committable(worklists_dirtree_widget_t *view, const dirtree_cursor_t &cursor,
                                           bool cached_only);
// REVERT_FILES of the files' paths; a failure is logged ("Failed to revert files") and gives false.
[[nodiscard]] bool revert_worklist_files(const std::vector<worklist_file_t> &files, bool unchanged_only);
// Asks "Do you really want to revert these files?" over the first 30 paths, then reverts them all; false
// unless Yes and the revert succeeded.
[[nodiscard]] bool confirm_and_revert_files(const std::vector<worklist_file_t> &files);

// MIGRATE_FILES of what the moved entries name (a worklist folder: all its files; a file item: its file)
// into the worklist; refreshes the file trees and the view on success. False when nothing was named or
// the move failed (logged).
bool migrate_entries_to_worklist(worklists_item_model_t &model, const std::vector<dirtree_path_entry_t> &entries,
                                 const worklist_key_t &key);

// ---- The tree widget's operations -----------------------------------------------------------------------------
// Insert (kind 1) and delete (kind 2) states after the base rule, relabelling DirTreeDelete; other kinds true.
[[nodiscard]] bool worklists_crud_action_state(worklists_dirtree_widget_t *view, const dirtree_selection_t *entries,
                                               uint32_t kind);
// DirTreeInsert: asks for a description, adds the worklist and selects it after the reload.
bool create_worklist_in_view(worklists_dirtree_widget_t *view, filtered_widget_mixin_update_strategy_t *strategy);
// DirTreeDelete: deletes the current site's selected worklists (reverting their files after one question
// each), or reverts the selected files; the view then reloads.
bool delete_worklists_in_view(worklists_dirtree_widget_t *view, filtered_widget_mixin_update_strategy_t *strategy,
                              const dirtree_selection_t *entries, const std::vector<qstring> &paths);
// Enter and double click: files open with their viewer; each worklist runs "commit", "edit_worklist" or
// "view_worklist".
bool activate_worklists_in_view(worklists_dirtree_widget_t *view, filtered_widget_mixin_update_strategy_t *strategy,
                                const dirtree_selection_t *entries, const std::vector<qstring> &paths);

// ---- Action handlers ----------------------------------------------------------------------------------------------
// The Worklists view of an action context (the widget or an ancestor of it), null when it is another view.
[[nodiscard]] worklists_dirtree_widget_t *context_worklists_view(const action_ctx_base_t &context);
int revert_in_worklists(ui_action_activation_ctx_t *context, bool unchanged_only);
// "commit": the Worklists view's commands; any other view goes to the scan-and-commit handlers given.
int commit_in_worklists(ui_action_activation_ctx_t *context);
int commit_state_in_worklists(ui_action_t *action, ui_action_update_ctx_t *context);
// The "commit" row with the Worklists view's handlers in front of the row's own.
[[nodiscard]] action_desc_t with_worklists_commit(action_desc_t commit_row);
int edit_or_view_worklist_activate(ui_action_activation_ctx_t *context);
int edit_worklist_update(ui_action_t *action, ui_action_update_ctx_t *context);
int view_worklist_update(ui_action_t *action, ui_action_update_ctx_t *context);
int open_worklists_widget_activate(ui_action_activation_ctx_t *context);
int show_all_worklists_activate(ui_action_activation_ctx_t *context);

// The row of "open_worklists_widget" (among the window's rows of the action table).
[[nodiscard]] action_desc_t open_worklists_widget_row();
// The worklist command rows, in table order ("edit_worklist", "view_worklist", "show_all_worklists"). Static.
[[nodiscard]] std::span<const action_desc_t> worklist_command_action_descs();
