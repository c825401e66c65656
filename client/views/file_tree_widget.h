// The file trees' common widget family: the item registry and model, the dirspec reading it, the tree widget that
// turns its selection into file records, and the host the desktop docks.
#pragma once

#include "client/commands/selected_file.h"
#include "core/event_source.h"
#include "repo/wire_records.h"
#include "views/dirtree/dirspec.h"
#include "views/dirtree/standalone_dirtree_item_model.h"
#include "views/filter/standalone_dirtree_widget.h"
#include "views/filter/standalone_dirtree_widget_host.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class directory_tree_t;
class files_dirtree_item_model_t;
class files_dirtree_widget_t;
class filtered_widget_mixin_update_strategy_t;

// The size and time of an item, handed from a folder's loader to the registry.
struct files_item_record_t
{
  uint64_t size = 0;
  uint64_t time = 0;
};

// The items of a file tree by inode and by path. Promises: inodes count 0, 1, 2, ... in order of first
// registration and keep naming the same path until clear().
class files_item_registry_t
{
public:
  struct entry_t
  {
    uint64_t size = 0;
    uint64_t time = 0;
    uint64_t inode = 0;
  };
  // The inode of the path: a known path keeps its inode (its size and time replaced unless keep), a new one gets
  // the next.
  uint64_t register_item(const std::string &path, bool keep, const files_item_record_t &record);
  // The path of an inode, null when the inode was never given or its slot is empty.
  [[nodiscard]] const std::string *path_of(uint64_t inode) const;
  [[nodiscard]] const entry_t *find(const std::string &path) const;
  [[nodiscard]] size_t size() const { return paths_.size(); }
  void clear();

private:
  std::vector<const std::string *> paths_; // points at the keys of by_path_
  std::map<std::string, entry_t> by_path_;
};

// The item names of a file tree, read from its model's registry.
class files_dirspec_t : public dirspec_t
{
public:
  bool item_name(qstring *out, uint64_t inode, uint32_t name_flags) override;
  // The inode of folder path + name (no separator added), all ones when unknown.
  uint64_t item_of_path(const char *folder_path, const char *name) override;
  qstring item_attributes_text(uint64_t) override { return {}; }

  files_dirtree_item_model_t *model = nullptr; // set by the model's constructor
};
class local_files_dirspec_t final : public files_dirspec_t
{
};
class arkive_files_dirspec_t final : public files_dirspec_t
{
};

// The lazily loading model of a file tree: folders are read through the owner widget's load_folder; files are
// registered in item_registry as they are added. It owns the tree.
class files_dirtree_item_model_t : public standalone_dirtree_item_model_t
{
  Q_OBJECT

public:
  files_dirtree_item_model_t(std::unique_ptr<directory_tree_t> tree, files_dirspec_t *dirspec,
                             dirtree_columns_t columns, files_dirtree_widget_t *owner);

  // Adds a file or folder named `name` under the folder's tree path; the tree's error code.
  int add_entry(const char *folder_path, const char *name, bool is_folder, const files_item_record_t &record);
  // Empties the tree and the registry, then reads the root and the expanded folders again.
  void preload_expanded_folders(view_snapshot_t *snapshot, const dirtree_widget_state_t &state) override;
  bool load_folder(const char *path, int flag) override;
  void prepare_new_item(const char *path, int flag, void *arg) override;
  [[nodiscard]] bool supports(int kind, const QModelIndex &index) const override;

  files_item_registry_t item_registry;

private:
  files_dirtree_widget_t *owner_; // not owned: the widget that shows the model
};

// A file tree widget: widget kind 0 (Arkive files), 1 (Local files) or 2 (Worklists); a negative kind never
// matches a refresh. Promises: collect_files appends one record per selected entry in selection order; the tree
// events reach the views while the widget lives; the view state is saved when the widget goes.
class files_dirtree_widget_t : public standalone_dirtree_widget_t,
                               public event_handler_t,
                               public file_selection_source_t
{
  Q_OBJECT

public:
  files_dirtree_widget_t(const char *title, int widget_kind, const char *icon_path, uint32_t view_options,
                         const standalone_dirtree_widget_options_t &options, QWidget *parent = nullptr);
  ~files_dirtree_widget_t() override;

  // ---- The family's operations ----------------------------------------------------------------------------
  // Reads one folder of the tree (its tree path, "/" for the root); false when it cannot be read.
  virtual bool load_folder(const char *folder_path) = 0;
  // Fills a file row from its server record (null: none): revision text, style and state icon; true.
  virtual bool describe_file_row(item_info_t *row, uint64_t key, const qstring &tree_path, const qstring &server_path,
                                 const arkive_file_info_t *server_record);
  // One record per selected entry under the request bits (WANT_*), appended; true.
  bool collect_tree_files(selected_files_t *out, const dirtree_selection_t &selection, uint32_t request);
  // The current entry changed; nothing here.
  virtual void show_current_path(const dirtree_cursor_t &cursor);
  // Shows the cursor's tree path (with the prefix before it) in the status bar; an empty message when the cursor
  // names nothing.
  void show_path_in_status_bar(const dirtree_cursor_t &cursor, const char *prefix);
  // Reveals the tree path (expanding the folders on the way) and makes it the only selected, current entry;
  // false, the selection untouched, when a component does not resolve.
  bool select_path(const char *tree_path) override;

  [[nodiscard]] int widget_kind() const { return widget_kind_; }
  [[nodiscard]] files_dirtree_item_model_t *files_model() const;
  [[nodiscard]] directory_tree_t *tree() const;

  // ---- file_selection_source_t ----------------------------------------------------------------------------
  [[nodiscard]] int selection_widget_kind() const override { return widget_kind_; }
  // The context's tree selection when it has one, else the widget's own.
  [[nodiscard]] bool collect_files(selected_files_t *out, uint32_t request_bits,
                                   const action_ctx_base_t &context) override;

  // ---- The base widget and the engine ---------------------------------------------------------------------
  bool activate_items(filtered_widget_mixin_update_strategy_t *strategy, const dirtree_selection_t *entries,
                      const std::vector<qstring> &paths) override;
  bool save_tree_state() override;
  void restore_tree_state() override;
  bool fetch_row_texts(item_info_t *row, uint64_t key) override;
  // The tree's change events reach its views.
  void *handle(uint64_t code, va_list va) override;

public slots:
  // The file actions, then the tree's own entries.
  virtual void populate_popup(void *popup);

protected slots:
  void on_model_rows_about_to_be_inserted(const QModelIndex &parent, int first, int last) override;
  void on_current_changed(dirtree_cursor_t cursor);

protected:
  // Stores the dirspec, links the widget to the tree's events and installs the model.
  void attach_model(files_dirspec_t *dirspec, files_dirtree_item_model_t *model);
  // Reloads on the refresh event that names the widget's kind.
  bool event(QEvent *event) override;
  // The selection of the view as cursors, in view order.
  [[nodiscard]] dirtree_selection_t own_selection() const;

private:
  int widget_kind_;
  files_dirspec_t *dirspec_ = nullptr; // not owned: the tree owns it
};

// A file tree whose delete acts on the files a request mask collects and keep_for_delete keeps.
class filesystem_dirtree_widget_t : public files_dirtree_widget_t
{
  Q_OBJECT

public:
  filesystem_dirtree_widget_t(const char *title, int widget_kind, const char *icon_path, uint32_t view_options,
                              uint32_t delete_request, const standalone_dirtree_widget_options_t &options);

  // Whether a collected record is one the delete acts on; every record here.
  [[nodiscard]] virtual bool keep_for_delete(const selected_file_t &) const { return true; }
  // The kept records of the selection (appended when out is given); whether there is any.
  bool collect_deletable_files(selected_files_t *out, const dirtree_selection_t &selection);
  // Delete applies only when some selected record may be deleted; the delete action takes the widget's label.
  bool crud_action_state(const dirtree_selection_t *entries, uint32_t kind) override;

private:
  uint32_t delete_request_;
};

// The dockable holder of one file tree widget.
class files_dirtree_widget_host_t final : public standalone_dirtree_widget_host_t
{
  Q_OBJECT

public:
  using standalone_dirtree_widget_host_t::standalone_dirtree_widget_host_t;
};

// The view options of the file trees: save, keep under the title and restore the view state.
inline constexpr uint32_t file_tree_view_options = 7;
// Size texts hold at most 7 characters.
inline constexpr size_t file_size_text_bytes = 8;

// Presents a view the way the open actions do (flags 0x400004).
void present_view_widget(QWidget *widget);
// The open actions: the docked host the finder gives, else a new one, presented.
void open_file_tree_view(QWidget *(*find)(), QWidget *(*create)());
// The last component of a listed path (after its last "/"), empty for one a folder cannot hold ("." and "..").
[[nodiscard]] std::string entry_name_of(std::string_view path);
// The end of a tree's delete: the view reloads keeping what it shows instead of dropping the selected rows,
// and the views of the kind mask refresh.
void finish_tree_delete(filtered_widget_mixin_update_strategy_t *strategy, uint64_t refresh_kinds);
// The file tree widget of a widget or of the host holding it, null when none.
[[nodiscard]] files_dirtree_widget_t *file_tree_of(QWidget *widget);
// The host of the docked view titled so, null when none exists.
[[nodiscard]] files_dirtree_widget_host_t *find_file_tree_host(const char *title);
// The options record of the file system trees: delete and open allowed with a status bar, "Delete file...".
[[nodiscard]] standalone_dirtree_widget_options_t file_tree_widget_options();
// The column description of a file tree: "Name", "Size", and the extra titles given (sorted as text).
[[nodiscard]] dirtree_columns_t file_tree_columns(std::initializer_list<const char *> extra);
