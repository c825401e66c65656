// "Local files": the work directory of the current local site with the server state of each file.
#pragma once

#include "client/views/file_tree_widget.h"

struct ui_action_activation_ctx_t;

// The tree of the work directory (widget kind 1), listed folder by folder from the disk; ignore rules apply
// unless ignored files are shown. Its delete removes local files after a confirmation.
class local_files_dirtree_widget_t final : public filesystem_dirtree_widget_t
{
  Q_OBJECT

public:
  local_files_dirtree_widget_t();

  // Lists the folder's files and folders; an entry gone before it could be read is skipped. False when the folder
  // is not a directory (any more).
  bool load_folder(const char *folder_path) override;
  // The state (a file deleted on the server counts as unknown there), then the size on disk.
  bool describe_file_row(item_info_t *row, uint64_t key, const qstring &tree_path, const qstring &server_path,
                         const arkive_file_info_t *server_record) override;
  bool delete_items(filtered_widget_mixin_update_strategy_t *strategy, const dirtree_selection_t *entries,
                    const std::vector<qstring> &paths) override;
  // The status bar shows the tree path of the current entry.
  void show_current_path(const dirtree_cursor_t &cursor) override;
  // Files the server does not know, and known files present at the site.
  [[nodiscard]] bool keep_for_delete(const selected_file_t &file) const override;
};

// The host docked as "Local files", null when none.
[[nodiscard]] QWidget *find_local_files_host();
// A new host around a new Local files tree.
[[nodiscard]] QWidget *new_local_files_host();
// The Local files tree of the docked host, null when none.
[[nodiscard]] local_files_dirtree_widget_t *find_local_files_widget();

// Actions.
int open_local_files_widget_activate(ui_action_activation_ctx_t *context);
int show_ignored_files_activate(ui_action_activation_ctx_t *context);
