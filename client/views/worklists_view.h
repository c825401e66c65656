// The Worklists view: one folder per worklist under the root, its files as the folder's items; the same
// widget in picker mode is the "Choose worklist" dialog.
#pragma once

#include "client/views/file_tree_widget.h"
#include "client/views/worklist_paths.h"
#include "ui/dialog_base.h"

#include <QModelIndex>

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

class worklists_dialog_t;
class worklists_dirtree_widget_t;
class worklists_item_model_t;

// Column flags of the view (the name column is always there) and the column kinds they give.
inline constexpr uint32_t worklist_column_name = 0x1;
inline constexpr uint32_t worklist_column_changed = 0x2;
inline constexpr uint32_t worklist_column_size = 0x4;
inline constexpr uint32_t worklist_column_description = 0x8;
inline constexpr uint32_t worklists_view_columns = 15;
inline constexpr uint32_t worklist_picker_columns = 9;
// The number of the picker's "New worklist" row.
inline constexpr int32_t new_worklist_row_number = -2;
// Reason of the update that reloads the view from the server (the refresh event's and the open action's).
inline constexpr uint32_t worklists_reload_reason = 0x487;
// Internal errors: a column beyond the column kinds, in the view and in the picker.
inline constexpr int32_t interr_worklists_column = 80110;
inline constexpr int32_t interr_worklist_picker_column = 80120;

// Items of the view, named from the model's item registry: the base name (after the last '/'); the display
// form of a worklist file is its path and its revisions.
class worklists_dirspec_t final : public files_dirspec_t
{
public:
  bool item_name(qstring *out, uint64_t inode, uint32_t name_flags) override;
};

// The model of the view: the worklists as the server listed them, each worklist's files, and their folders
// and items in the tree. Promises: every folder under the root is the folder of a listed worklist (or the
// picker's "New worklist"), every item one file of its worklist's cache entry; nothing outside the root's
// worklist folders is ever taken for a worklist or a file. An item keeps its inode across reloads (the registry
// is not emptied), so a reload keeps selected files selected.
class worklists_item_model_t : public files_dirtree_item_model_t
{
  Q_OBJECT

public:
  // Owns the tree. column_flags chooses the columns (worklist_column_*); files_shown 0 makes worklist
  // folders report no children.
  worklists_item_model_t(std::unique_ptr<directory_tree_t> tree, worklists_dirspec_t *dirspec, uint32_t column_flags,
                         bool files_shown, worklists_dirtree_widget_t *owner);
  ~worklists_item_model_t() override;

  bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
  QVariant bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index, int role) const override;
  // A drop onto a worklist folder moves the dragged files into that worklist (true whatever the move
  // gave); any other drop does nothing and answers false.
  bool drop_entries(const QMimeData *data, int row, const QModelIndex &parent) override;
  // Paste after cut: the same move, when the target is a worklist folder.
  void move_entries_on_drop(const std::vector<dirtree_path_entry_t> &entries, const char *target_path,
                            const dirtree_entry_t &target, int row, std::vector<qstring> *expanded) override;
  // A reload from the server (reason update_tree_state): empties the model, loads it again, and gives the
  // snapshot's folder records the new numbers of their paths.
  void preload_expanded_folders(view_snapshot_t *snapshot, const dirtree_widget_state_t &state) override;

  // The worklist of a cursor that names a folder directly under the root; false for anything else.
  [[nodiscard]] virtual bool worklist_key_of_cursor(const dirtree_cursor_t &cursor, worklist_key_t *out) const;
  // Fetches the worklists (none without a usable connection) and fills the tree.
  virtual void load_worklists();

  // GET_WORKLIST_FILES for the key; on success the cache entry is replaced (each file's site set to the
  // key's) and *out (when given) points at it. The server's code.
  [[nodiscard]] int fetch_worklist_files(const worklist_key_t &key, const worklist_files_t **out);
  // The cache entry of the key, null when none.
  [[nodiscard]] const worklist_files_t *cached_files(const worklist_key_t &key) const;
  // The file an item path names (its folder must be a worklist folder whose files are cached, the name an
  // exact path of them), with its key; null when none.
  [[nodiscard]] const worklist_file_t *worklist_file_of_path(std::string_view item_path,
                                                             worklist_key_t *key = nullptr) const;
  // The first listed worklist of the key, null when none.
  [[nodiscard]] const worklist_info_t *worklist_of_key(const worklist_key_t &key) const;
  [[nodiscard]] const qvector<worklist_info_t> &worklists() const { return worklists_; }
  [[nodiscard]] bool files_shown() const { return files_shown_; }
  [[nodiscard]] const std::vector<uint32_t> &column_kinds() const { return column_kinds_; }
  // The local size and time of a worklist file (from the item registry, else from the work directory, then
  // registered); false when the file is not there or is a folder.
  bool stat_worklist_file(const worklist_file_t &file, std::string_view item_path, uint64_t *size, uint64_t *time);
  [[nodiscard]] worklists_dirtree_widget_t *owner() const { return owner_; }

protected:
  // GET_WORKLISTS with the owner's show-all filters; a failure is logged and keeps the list.
  void fetch_worklists();
  // The folder of a worklist and, when it is new, its files.
  void add_worklist_folder(const worklist_info_t &record);
  // Empties the list, the cache and the tree.
  void reset_items();
  // The display text of a worklist row's column, for the roles that show text.
  [[nodiscard]] QVariant worklist_row_data(const worklist_info_t &record, uint32_t kind) const;

  qvector<worklist_info_t> worklists_;
  std::map<worklist_key_t, worklist_files_t> files_;

private:
  worklists_dirspec_t *dirspec_; // owned by the tree
  std::vector<uint32_t> column_kinds_;
  bool files_shown_;
  worklists_dirtree_widget_t *owner_; // not owned
};

// The picker's model: "New worklist" first, the excluded worklist left out, files never shown.
class worklist_picker_item_model_t final : public worklists_item_model_t
{
  Q_OBJECT

public:
  worklist_picker_item_model_t(std::unique_ptr<directory_tree_t> tree, worklists_dirspec_t *dirspec,
                               uint32_t column_flags, worklists_dirtree_widget_t *owner, worklist_key_t excluded);

  QVariant bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index, int role) const override;
  [[nodiscard]] bool worklist_key_of_cursor(const dirtree_cursor_t &cursor, worklist_key_t *out) const override;
  void load_worklists() override;

private:
  worklist_key_t excluded_; // number -1: none
};

// View options of the widget: picker mode (the "Choose worklist" dialog).
inline constexpr uint32_t worklists_view_picker = 0x20;

// The Worklists view widget (widget kind 2), and the picker: a file tree whose folders are worklists.
class worklists_dirtree_widget_t final : public files_dirtree_widget_t
{
  Q_OBJECT

public:
  // view_options: worklists_view_picker, else none; excluded: the worklist a picker leaves out (number -1:
  // none).
  worklists_dirtree_widget_t(const char *title, bool files_shown, uint32_t view_options,
                             const standalone_dirtree_widget_options_t &options, uint32_t column_flags,
                             const worklist_key_t &excluded);
  ~worklists_dirtree_widget_t() override;

  [[nodiscard]] worklists_item_model_t *worklists_model() const;
  [[nodiscard]] bool is_picker() const { return picker_; }

  // Fetched with the filters "*" when set.
  bool show_all = false;
  worklists_dialog_t *dialog = nullptr; // the picker's dialog, none otherwise

  // The worklist record of a cursor, null when none.
  [[nodiscard]] const worklist_info_t *worklist_at_cursor(const dirtree_cursor_t &cursor) const;
  // The file of an item cursor while files are shown, null otherwise.
  [[nodiscard]] const worklist_file_t *worklist_file_at_cursor(const dirtree_cursor_t &cursor) const;
  // The key of a worklist folder, or of a file item's folder while files are shown.
  [[nodiscard]] bool worklist_key_of_entry(const dirtree_cursor_t &cursor, worklist_key_t *out) const;
  // The selected entries, in selection order.
  [[nodiscard]] dirtree_selection_t selected_entries();
  // Expands every worklist folder.
  void expand_worklists();

  // ---- The file tree ----------------------------------------------------------------------------------
  // The model reads the worklists whole: a folder has nothing more to read.
  bool load_folder(const char *) override { return true; }

  // ---- The filter engine ------------------------------------------------------------------------------
  bool fetch_row_texts(item_info_t *row, uint64_t key) override;
  // The standalone reload; after it, and unless show_all is on, every folder is expanded.
  bool reload_model(filtered_widget_mixin_update_strategy_t &strategy) override;

  // ---- The tree widget's operations (the worklist commands) ---------------------------------------------
  bool crud_action_state(const dirtree_selection_t *entries, uint32_t kind) override;
  bool create_item(filtered_widget_mixin_update_strategy_t *strategy, const dirtree_selection_t *entries,
                   const std::vector<qstring> &paths) override;
  bool delete_items(filtered_widget_mixin_update_strategy_t *strategy, const dirtree_selection_t *entries,
                    const std::vector<qstring> &paths) override;
  bool activate_items(filtered_widget_mixin_update_strategy_t *strategy, const dirtree_selection_t *entries,
                      const std::vector<qstring> &paths) override;

  // ---- The file commands' selection -------------------------------------------------------------------------
  // One record per file of each selected worklist (fetched when not cached, outside the picker) and per
  // selected file item; worklist number and the flags 0x08, 0x40 and 0x100 only for the current site.
  [[nodiscard]] bool collect_files(selected_files_t *out, uint32_t request_bits,
                                   const action_ctx_base_t &context) override;

  // The view's context menu: the worklist actions, then the tree widget's own.
  void populate_popup(void *popup) override;

private:
  bool picker_;
};

// The "Choose worklist" dialog around a picker widget.
class worklists_dialog_t final : public ui_dialog_t
{
  Q_OBJECT

public:
  explicit worklists_dialog_t(QWidget *parent);
  worklists_dirtree_widget_t *picker = nullptr; // a child of the dialog
  int32_t result = -1;

  // Accepts the dialog with the number of the worklist at the cursor; false when there is none.
  bool choose(const dirtree_cursor_t &cursor);

public slots:
  bool on_tree_item_double_clicked(const QModelIndex &index);
};

// ---- Entry points -------------------------------------------------------------------------------------------

// A new Worklists view in its host widget (not docked yet).
[[nodiscard]] QWidget *create_worklists_widget();
// The host of the docked "Worklists" view, null when there is none.
[[nodiscard]] QWidget *find_worklists_widget();
// The view inside a host, null when none.
[[nodiscard]] worklists_dirtree_widget_t *worklists_widget_of_host(QWidget *host);
// Docks the host when it is not docked yet, shows and raises its dock.
void present_worklists_host(QWidget *host);
// Turns "Show other users' worklists" on or off: collapses every folder when on, and checks the action.
void set_show_all_worklists(worklists_dirtree_widget_t *widget, bool on);
// The "Choose worklist" dialog without the current site's worklist `excluded` (-1: none): a number, -2 for
// "New worklist", -1 when cancelled.
[[nodiscard]] int32_t choose_worklist(int32_t excluded);
// ADD_WORKLIST of the description: the new number, or -1 (a refusal is shown as a warning).
[[nodiscard]] int32_t add_worklist_or_report(const char *description);
// Asks for a description and adds a worklist: its number, or -1 (cancelled, refused or an empty reply).
[[nodiscard]] int32_t ask_new_worklist();
// Installs the view's worklist dialogs for the file commands (once, at start-up).
void install_worklists_view_chooser();
