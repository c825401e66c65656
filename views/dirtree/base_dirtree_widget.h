// The tree view of a directory-tree model: selection, editing and drag behaviour, the live views that tree
// changes reach, the selection as cursors, the view state, and the scoped change of a tree's current folder.
#pragma once

#include "ui/object_lifecycle_monitor.h"
#include "ui/view_interfaces.h"
#include "views/dirtree/dirtree_item_model.h"
#include "views/dirtree/dirtree_persistence.h"
#include "views/dirtree/dirtree_view_state.h"

#include <QItemSelection>
#include <QMetaType>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <vector>

Q_DECLARE_METATYPE(dirtree_cursor_t)
Q_DECLARE_METATYPE(dirtree_selection_t)

// View options.
inline constexpr uint32_t dirtree_view_save_state = 0x1;       // save the state on the save-state event
inline constexpr uint32_t dirtree_view_persisted = 0x2;        // keeps state under its title
inline constexpr uint32_t dirtree_view_restore_state = 0x4;    // restore the state when a model is installed
inline constexpr uint32_t dirtree_view_ordered_selection = 0x20; // selections in the order rows are shown
inline constexpr uint32_t dirtree_view_no_header = 0x100;

// State flags of a view.
inline constexpr uint32_t dirtree_view_tree_loaded = 0x1;   // restore_tree_state found the tree's folders
inline constexpr uint32_t dirtree_view_state_applied = 0x2; // a saved view state was applied

// Flags of current_folder_info.
inline constexpr uint32_t folder_info_path = 0x1;
inline constexpr uint32_t folder_info_folder_of_item = 0x2;
inline constexpr uint32_t folder_info_current = 0x4;
// Flags of collect_view_position.
inline constexpr uint32_t view_position_current = 0x40;
inline constexpr uint32_t view_position_selected = 0x80;
// Flags of take_tree_snapshot (the engine passes all three).
inline constexpr uint32_t tree_snapshot_selected = 0x1;
inline constexpr uint32_t tree_snapshot_current = 0x2;
inline constexpr uint32_t tree_snapshot_folders = 0x4;
// Flag of sync_view_helper: folders the view shows collapsed are left as they are.
inline constexpr uint32_t tree_sync_expanded_only = 0x2;

// The event the application sends to make widgets save their state.
inline constexpr QEvent::Type save_state_event_type = QEvent::Type(2006);

// Internal errors: a persisted view without a title; a stored state needed for a view without a title.
inline constexpr int32_t interr_dirtree_view_without_title = 40802;
inline constexpr int32_t interr_dirtree_state_without_title = 40803;

// Rows as tall as the view's line height plus 2 pixels.
class base_dirtree_widget_item_delegate_t final : public QStyledItemDelegate
{
public:
  explicit base_dirtree_widget_item_delegate_t(QTreeView *view) : QStyledItemDelegate(view), view_(view) {}
  QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
  QTreeView *view_; // not owned: the view it paints for
};

// The base tree view (abstract: a subclass carries the filter engine). Promises: every constructed view is
// in the live-view list until its destructor starts; signals carry cursors of entries that exist.
class base_dirtree_widget_t : public QTreeView, public dirtree_view_t
{
  Q_OBJECT

public:
  // Options with any of 0x1, 0x2, 0x4 need a title (internal error 40802): the stored state is named by it.
  base_dirtree_widget_t(const char *title, uint32_t options, QWidget *parent = nullptr);
  ~base_dirtree_widget_t() override;

  // ---- Own operations -------------------------------------------------------------------------------
  // The view's filter engine.
  [[nodiscard]] virtual filtered_widget_mixin_t *filtered_engine() const = 0;
  // Stores the tree's dirty folders and the expanded folders through the persistence helper; false (and a
  // log line) when the tree cannot be saved.
  virtual bool save_tree_state();
  // Loads the tree's stored folders once and applies the stored view state when there is one.
  virtual void restore_tree_state();

  // Installs a model: the root folder becomes the root index; the state is restored under option 0x4;
  // without an applied state the whole tree is expanded.
  void setModel(QAbstractItemModel *model) override;
  [[nodiscard]] dirtree_item_model_base_t *tree_model() const;

  // ---- The framework's view of a tree -------------------------------------------------------------------
  // The selection after a pending model update was applied.
  void collect_current_selection(dirtree_selection_t &out) override;
  [[nodiscard]] bool is_standalone_dirtree() const override { return false; }
  [[nodiscard]] bool model_supports(int feature) const override;
  [[nodiscard]] filtered_widget_mixin_t *tree_filter_engine() const override { return filtered_engine(); }

  // ---- Selection and positions ----------------------------------------------------------------------------
  // Saves the state when option 0x1 is set (derived views call it from their destructors).
  void save_state_if_enabled();
  // False for an invalid index or one whose cursor has no entry in the current tree.
  bool cursor_of_index(dirtree_cursor_t *out, const QModelIndex &index) const;
  // The selected rows (column 0; in view order under 0x20 of flags) as indexes and cursors, and the current
  // row's cursor; any output may be null. Mapping drops rows without an entry; without it every row's
  // decoded cursor is given.
  void collect_selection(QModelIndexList *indexes, dirtree_selection_t *cursors, dirtree_cursor_t *current,
                         uint32_t flags, bool map) const;

  struct folder_info_t
  {
    qstring path;
    dirtree_cursor_t folder = dirtree_no_cursor;
    dirtree_cursor_t entry = dirtree_no_cursor;
  };
  // The folder of the first selected (flag 4: the current) row, or of its item under flag 2; its path
  // under flag 1. False without such a row.
  bool current_folder_info(folder_info_t *out, uint32_t flags) const;
  bool folder_info_of_cursor(folder_info_t *out, const dirtree_cursor_t &cursor, uint32_t flags) const;

  struct view_position_t
  {
    std::vector<int32_t> selected_rows;
    int32_t current_row = -1;
    int32_t row_count = 0;
    qstring current_path;
  };
  // Visual row numbers of the current (0x40) and selected (0x80) rows, and the number of visual rows.
  void collect_view_position(view_position_t *out, uint32_t flags) const;
  // Makes the n-th visible row current and alone selected; false when there is none.
  bool select_visual_row(int n);
  [[nodiscard]] QModelIndex index_at_visual_row(int n, int column) const;
  // Removes each listed folder (other than "/") that has no entries.
  void remove_empty_folders(const std::vector<qstring> &paths);
  // The inodes of the items (each once) and the paths of the folders below a cursor, down to a depth;
  // only folders whose rows are all shown are entered.
  void collect_entries_below(std::vector<uint64_t> *inodes, std::vector<qstring> *folder_paths,
                             const dirtree_cursor_t &cursor, int depth) const;

  // ---- The view state ---------------------------------------------------------------------------------
  // Fills an engine snapshot from the view (tree_snapshot_* flags).
  void take_tree_snapshot(view_snapshot_t *snapshot, uint32_t flags) const;
  // Brings the view's rows in line with a snapshot, adding what to select to the records; with items, the
  // inodes of the items of every folder walked.
  void sync_view_helper(std::vector<uint64_t> *items, view_selection_records_t *records,
                        const view_snapshot_t &snapshot, uint32_t flags, bool discard_current);
  // Copies every shown row, with a header line, to the clipboard (collapsed folders without their rows).
  void copy_all() const;
  // Selects the rows of the paths (the fallback row for a path that is gone) and makes the current path's
  // row current.
  void restore_selection_paths(const dirtree_selection_paths_t &selection);

  [[nodiscard]] uint32_t options() const { return options_; }
  [[nodiscard]] uint32_t state_flags() const { return state_flags_; }
  [[nodiscard]] dirtree_widget_persistence_helper_t *persistence_helper() const { return helper_.get(); }

signals:
  void current_changed(dirtree_cursor_t cursor);
  void selection_changed(dirtree_selection_t new_selection);

public slots:
  QString get_font_domain_name() { return QStringLiteral("Tabular views"); }

protected slots:
  // Expands the parent of inserted rows while an update that brings new entries is applied.
  virtual void on_model_rows_about_to_be_inserted(const QModelIndex &parent, int first, int last);

private slots:
  void on_selection_model_current_changed(const QModelIndex &current, const QModelIndex &previous);
  void on_selection_model_selection_changed(const QItemSelection &selected, const QItemSelection &deselected);
  void on_model_layout_changed();

protected:
  bool event(QEvent *event) override;
  // Drags run inside a drag scope of the engine over a snapshot of the view.
  void startDrag(Qt::DropActions supported) override;
  // Collects the parts of the state the flags name (selection from the snapshot's records); true.
  bool collect_tree_state(dirtree_widget_state_t *state, uint32_t flags, const view_snapshot_t *snapshot) const;
  // Applies folders, persistent indexes and selection of a state.
  bool restore_buckets(dirtree_widget_state_t &state);
  // Expands a folder not expanded yet that takes in new entries while the engine's sync counter is positive,
  // or during the update that a tree change bringing entries posted.
  void expand_if_syncing(const QModelIndex &index);
  void set_state_flags(uint32_t flags) { state_flags_ |= flags; }

private:
  friend bool resync_dirtree_view(base_dirtree_widget_t *view, uint64_t code);

  std::unique_ptr<dirtree_widget_persistence_helper_t> helper_;
  uint32_t options_;
  uint32_t state_flags_ = 0;
  // Set when a tree change that brings entries posted an update; the rows it inserts get their parents
  // expanded, until the update's layout change ends it.
  bool expand_inserted_ = false;
};

// Brings every live view of the tree in line after a tree event (65 to 69 and the application's own): a
// folder created during a lazy load is pending in the loader; views post an update from a snapshot, and an
// update for a created folder or a linked item expands the parents of the rows it inserts. The arguments
// are the event's.
void refresh_views_of_dirtree(directory_tree_t *tree, uint64_t code, va_list args);

// Changes a view's tree's current folder for the scope (to the path, or to the folder of the view's first
// selection) and changes it back at the end, unless the view was destroyed meanwhile.
class scoped_dirtree_chdir_t
{
public:
  scoped_dirtree_chdir_t(base_dirtree_widget_t *view, const char *path);
  ~scoped_dirtree_chdir_t();
  scoped_dirtree_chdir_t(const scoped_dirtree_chdir_t &) = delete;
  scoped_dirtree_chdir_t &operator=(const scoped_dirtree_chdir_t &) = delete;

private:
  qstring saved_path_;
  object_lifecycle_monitor_t view_;
};
