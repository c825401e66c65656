// "Arkive files": the server's files folder by folder with their state against the site, and find in arkive.
#pragma once

#include "client/views/file_tree_widget.h"
#include "core/qvector.h"
#include "repo/wire_records.h"

struct ui_action_activation_ctx_t;
struct ui_action_update_ctx_t;
class ui_action_t;

// The tree of the server's files (widget kind 0). Its delete checks the files out for delete, without asking.
class arkive_files_dirtree_widget_t final : public filesystem_dirtree_widget_t
{
  Q_OBJECT

public:
  arkive_files_dirtree_widget_t();

  // The folder's listing from the listing cache: records with last revision 0 are folders.
  bool load_folder(const char *folder_path) override;
  // The state, then "Size" and "Commited" (local time); false without a server record.
  bool describe_file_row(item_info_t *row, uint64_t key, const qstring &tree_path, const qstring &server_path,
                         const arkive_file_info_t *server_record) override;
  bool delete_items(filtered_widget_mixin_update_strategy_t *strategy, const dirtree_selection_t *entries,
                    const std::vector<qstring> &paths) override;
  // The status bar shows the server path of the current entry.
  void show_current_path(const dirtree_cursor_t &cursor) override;
  // Folders, and files the site has that are not opened in a worklist.
  [[nodiscard]] bool keep_for_delete(const selected_file_t &file) const override;

public slots:
  // The file-tree menu without the delete entry (the action itself stays).
  void populate_popup(void *popup);
};

// The host docked as "Arkive files", null when none.
[[nodiscard]] QWidget *find_arkive_files_host();
// A new host around a new Arkive files tree.
[[nodiscard]] QWidget *new_arkive_files_host();
// The Arkive files tree of the docked host, null when none.
[[nodiscard]] arkive_files_dirtree_widget_t *find_arkive_files_widget();

// Selects the next (or previous) result after the tree's selected entry, wrapping around; the first (last) one
// without a selection. Nothing without a tree or results.
void navigate_search_result(const qvector<arkive_file_info_t> &results, bool next);

// Actions.
int open_arkive_files_widget_activate(ui_action_activation_ctx_t *context);
int show_deleted_files_activate(ui_action_activation_ctx_t *context);
int find_in_arkive_activate(ui_action_activation_ctx_t *context);
int find_in_arkive_next_activate(ui_action_activation_ctx_t *context);
int find_in_arkive_prev_activate(ui_action_activation_ctx_t *context);
// Enabled exactly when there are search results.
int find_in_arkive_step_update(ui_action_t *action, ui_action_update_ctx_t *context);
