// The chooser widget: shows a chooser data source as a filterable, sortable table, keeps its selection in rows
// across reloads, runs the source's actions and keeps its header state.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "ui/stylable_widget.h"
#include "ui/view_interfaces.h"
#include "views/chooser/chooser_base.h"
#include "views/chooser/chooser_factory.h"
#include "views/chooser/chooser_selection.h"
#include "views/filter/filtered_widget_mixin.h"
#include "views/filter/filtered_widget_update.h"

#include <QEvent>
#include <QItemSelection>
#include <QSize>
#include <QWidget>

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

class IGetWidgetConfigEvent;
class ISetWidgetConfigEvent;
class QDialogButtonBox;
class QHeaderView;
class QMenu;
class QPushButton;
class QSplitter;
class QStatusBar;
class chooser_dirtree_item_model_t;
class chooser_dirtree_widget_t;
class chooser_table_widget_model_t;
class chooser_table_widget_t;

// The header state of the shown view: per section its visibility (1 visible) and width (0 when hidden), and
// the sort indicator (-1: none; descending 1).
struct chooser_header_status_t
{
  std::vector<uint8_t> visible;
  std::vector<int32_t> widths;
  int32_t sort_section = -1;
  int32_t descending = 0;
};

// Flags of header_status_changed.
inline constexpr int header_sorting_changed = 1;
inline constexpr int header_widths_changed = 2;
inline constexpr int header_visibility_changed = 4;

// Reason flags of a selection applied to a snapshot (and of the model updates that carry one).
inline constexpr uint32_t apply_rows = 0x1;            // the rows become the selection
inline constexpr uint32_t apply_current = 0x2;         // the current row becomes current
inline constexpr uint32_t keep_folder_entries = 0x4;   // folders selected in a tree stay selected
inline constexpr uint32_t map_inserted_inodes = 0x10;  // the rows' inodes join the inode map
inline constexpr uint32_t skip_selection = 0x40;       // a reload keeps the snapshot's own selection
inline constexpr uint32_t keep_current = 0x400;        // the current row stays even when not among the rows
inline constexpr uint32_t quiet_selection = 0x800;     // no selection notifications while it is applied
// The reason of a plain refresh, and of an insert (which also forgets the row count).
inline constexpr uint32_t refresh_reason = 0x7;
inline constexpr uint32_t insert_reason = 0x1013;
inline constexpr uint32_t forget_row_count = 0x10;

// Flags of snapshot_to_selection.
inline constexpr uint32_t whole_folders = 0x1;   // a selected folder gives every item under it
inline constexpr uint32_t refind_outdated = 0x2; // rows of an outdated list are found again by inode
inline constexpr uint32_t keep_view_order = 0x4; // rows in view order instead of ascending

// One extra entry of the widget's context menu, which the application may set: an action name, the submenu
// path (null: none) and the popup insertion flags.
struct chooser_popup_entry_t
{
  const char *action_name;
  const char *path;
  int flags;
};

// The saved-selection event (type 2003): a byte buffer and a direction (non-zero: save into the buffer).
class chooser_state_event_t : public QEvent
{
public:
  static constexpr QEvent::Type event_type = QEvent::Type(2003);
  chooser_state_event_t(byte_buffer_t *bytes, int direction) : QEvent(event_type), bytes(bytes), direction(direction)
  {
  }
  byte_buffer_t *bytes; // not owned
  const int direction;
};

// The widget. Promises: it keeps no copy of the source's data beyond the engine's row cache, which it drops
// whenever the source reports a change; the source lives as long as the widget and is deleted with it unless
// kept; a selection it reads or applies is in chooser indexes; a model update is posted at most once at a time;
// everything runs on the GUI thread.
class chooser_widget_t : public QWidget, public stylable_widget_mixin_t, public filtered_widget_mixin_t, public chooser_view_t
{
  Q_OBJECT
  Q_INTERFACES(stylable_widget_mixin_t)
  Q_PROPERTY(QColor highlight_bg_default READ highlight_bg_default WRITE set_highlight_bg_default)
  Q_PROPERTY(QColor highlight_bg_selected READ highlight_bg_selected WRITE set_highlight_bg_selected)
  Q_PROPERTY(QColor cut_text_color_default READ cut_text_color_default WRITE set_cut_text_color_default)
  Q_PROPERTY(QColor cut_text_color_selected READ cut_text_color_selected WRITE set_cut_text_color_selected)

public:
  // Bits of widget_flags.
  static constexpr uint32_t in_dialog = 0x1;
  static constexpr uint32_t embedded = 0x2;
  static constexpr uint32_t enter_stops_after_activation = 0x4; // the application sets it (embedded lists)
  static constexpr uint32_t copying_header = 0x10;
  static constexpr uint32_t switching_mode = 0x20;
  static constexpr uint32_t emitting_selection = 0x40;
  static constexpr uint32_t user_resized = 0x80;

  // Tree modes.
  static constexpr int32_t no_tree = 0;
  static constexpr int32_t folders_only = 1;
  static constexpr int32_t full_tree = 2;

  // Builds the widget for the setup (usually through the factory); internal error 40217 for a source of
  // version 0 and 40583 for one without columns.
  explicit chooser_widget_t(const chooser_widget_setup_t &setup);
  // Calls the source's on_closed and deletes it unless it is kept.
  ~chooser_widget_t() override;

  // ---- What the widget shows ------------------------------------------------------------------------------
  [[nodiscard]] chooser_base_t *source() const { return source_; }
  [[nodiscard]] chooser_table_widget_t *table() const { return table_; }
  [[nodiscard]] chooser_table_widget_model_t *table_model() const { return model_; }
  [[nodiscard]] QStatusBar *status_bar() const { return status_bar_; }
  [[nodiscard]] QPushButton *refresh_button() const { return refresh_button_; }
  // The OK/Cancel/Help/Search box of a dialog, null when the widget has none.
  [[nodiscard]] QDialogButtonBox *search_box() const { return search_box_; }
  // The widget's copy of the application's "Chooser:Edit" menu.
  [[nodiscard]] QMenu *popup_menu() const { return popup_menu_; }
  [[nodiscard]] int32_t help_id() const { return help_id_; }
  [[nodiscard]] int32_t tree_mode() const { return tree_mode_; }
  [[nodiscard]] int widget_kind() const { return widget_kind_; }
  [[nodiscard]] const std::vector<qstring> &column_title_texts() const { return column_titles_; }
  [[nodiscard]] const std::vector<qstring> &column_tooltips() const { return column_tooltips_; }
  // The source's descriptor of a standard action (0 insert, 1 delete, 2 edit, 3 refresh), null when none.
  [[nodiscard]] chooser_stdact_desc_t *standard_action_desc(int action) const { return stdact_descs_[action]; }
  // 1 once the dialog's OK was pressed.
  [[nodiscard]] int32_t accepted() const { return accepted_; }
  // Whether the rows no longer match the source (they show in italics).
  [[nodiscard]] bool outdated() const { return (engine_flags() & engine_rows_italic) != 0; }
  // Whether the widget can show the folder forms: its source has a folder tree.
  [[nodiscard]] bool offers_tree_forms() const { return folders_ != nullptr; }
  // The folder tree view, null until a folder form was first shown.
  [[nodiscard]] chooser_dirtree_widget_t *folder_view() const { return tree_view_; }
  // Whether entries of the folder tree are edited from the tree (the source's edit and tree-editing flags).
  [[nodiscard]] bool tree_editable() const;
  // The source's edit on the selection, when it offers one and something is selected.
  void edit_selection();

  uint32_t widget_flags = 0;
  // Extra entries of the context menu, set by the application after the widget exists (not owned).
  const chooser_popup_entry_t *extra_popup_entries = nullptr;
  size_t extra_popup_count = 0;

  // ---- Selection, refresh and source actions -----------------------------------------------------------
  // Applies a pending model update, then reads the selection (mode 1 the rows, 2 the current row, 4 in view
  // order); answers the number of rows.
  size_t get_selection(chooser_selection_t *out, int mode);
  // The selected rows, ascending; answers their count.
  size_t get_selected_indexes(qvector<uint64_t> *out);
  // The first selection: the resolved default (a single row clamped to the rows), else the view's own.
  void select_default(const chooser_default_t *default_selection, bool as_dialog);
  // Posts a model update that reloads the source, applying the selection (when given) with the flags; nothing
  // when updates are stopped or one is pending and not forced.
  void refresh_items(const chooser_selection_t *selection, uint32_t flags, bool force);
  // Selects the rows with the current row (-1: the last of them) at once.
  void set_selection(const qvector<uint64_t> &rows, int64_t current);
  // Applies the selection with the flags to the view at once (a pending update first).
  void apply_selection(const chooser_selection_t &selection, uint32_t flags);
  // Runs an insert, edit or activation on the selection and, on chooser_rebuild, posts a forced update that
  // selects what the source left in it.
  void run_source_action(chooser_row_op_t op, uint32_t snapshot_bits, uint32_t reason);
  // The delete action: false without the source's delete flag; else whether something was selected.
  bool remove();
  // Runs the source's activation on the selection, when something is selected.
  void activate_selection();
  // What a modal run answers: in a folder form the row of the tree's current item (-1 for a folder), else the
  // topmost selected row of the table; -1 when none.
  [[nodiscard]] int64_t chosen_row();
  // The inode of a row (no_inode for none; unless silent the first failure of the widget is logged), and the
  // row of an inode (-1 for none).
  uint64_t inode_of_row(uint64_t row, bool silent);
  int64_t row_of_inode(uint64_t inode);
  // Marks the rows as no longer matching the source (the refresh button shows) or matching again.
  void set_outdated(bool outdated);

  // ---- Header and status line ------------------------------------------------------------------------------
  // The header of the view shown.
  [[nodiscard]] QHeaderView *shown_header() const override;
  [[nodiscard]] chooser_header_status_t capture_header_status() const;
  // Hides a column in the shown header and announces the change; false for a column out of range.
  bool hide_column(int column);
  // Offers the column titles in the "Columns" form for the shown header and announces the change; false when
  // the form was not confirmed.
  bool manage_columns();
  // Rewrites the status line for the view shown.
  void update_status_line();
  // The rows of the flat root bucket.
  [[nodiscard]] size_t root_row_count();
  // Switches the form the rows are shown in (a source without folders stays in no_tree), keeping the selection,
  // the current row and the header state; the setup, while the widget is built, gives the column widths.
  void set_tree_mode(int32_t mode, const chooser_widget_setup_t *setup);
  // Stores the header state with the persistence helper (on ISaveStateEvent).
  virtual void save_header_state();
  // The attribute style a row gets before it is described: row_style_in_full_tree exactly in the full tree.
  [[nodiscard]] virtual uint32_t prepare_row_attributes(uint32_t style, uint64_t row);

  // ---- chooser_view_t --------------------------------------------------------------------------------------
  [[nodiscard]] QString chooser_title() const override;
  [[nodiscard]] std::vector<int> selected_indexes() const override;
  [[nodiscard]] chooser_base_t *chooser_data() const override { return source_; }

  // ---- The engine's operations ------------------------------------------------------------------------
  bool find_next_match(QAbstractItemView *view, const char *text) override;
  bool find_match(QAbstractItemView *view, const char *text, int32_t flags) override;
  bool handle_search_key(QAbstractItemView *view, QKeyEvent *event) override;
  void show_status_text(const char *text) override;
  void jump_to_row(int row) override;
  qstring window_title_text() override;
  bool sorting_allowed() override { return (source_->flags & chooser_no_sorting) == 0; }
  bool quick_filter_allowed() override { return (source_->flags & chooser_no_quick_filter) == 0; }
  void reset_buckets() override;
  // In folders_only the table always goes through the root bucket, which lists the chosen folder's items.
  bool filter_or_sort_active() override
  {
    return is_filtering() || sorting() != nullptr || (tree_mode_ == folders_only && tree_view_ != nullptr);
  }
  void load_cached_rows(row_cache_t *cache) override;
  bool fetch_row_texts(item_info_t *row, uint64_t key) override;
  void collect_item_views(std::vector<QAbstractItemView *> *views) override;
  void sync_view(const view_snapshot_t &snapshot, uint32_t reason, view_selection_records_t *records) override;
  const filter_match_t *row_for_index(const QModelIndex &index) override;
  QColor highlight_color(bool selected) override;
  bool cut_text_color(QColor *out, const QModelIndex &index) override;
  std::unique_ptr<filtered_bucket_t> bucket_for_key(uint64_t bucket_key) override;
  void take_snapshot(view_snapshot_t *snapshot, uint32_t flags) override;
  void set_sorting(std::unique_ptr<bucket_sorting_strategy_t> strategy) override;
  void reset_view_sort() override;
  void column_titles(std::vector<qstring> *titles) override { *titles = column_titles_; }
  void view_key_press(const QKeyEvent &event) override;
  int flagged_column() override;
  std::unique_ptr<filtered_widget_mixin_update_strategy_t> make_update_strategy(view_snapshot_t *snapshot,
                                                                              uint32_t reason) override;
  QAbstractItemView *item_view() override;
  int column_count() override { return source_->columns; }
  uint32_t column_flags(int column) override;
  bool reload_model(filtered_widget_mixin_update_strategy_t &strategy) override;
  void on_model_loaded() override;
  void on_view_synced() override { emit view_synced(); }
  void on_sort_changed() override { emit sort_changed(const_cast<bucket_sorting_strategy_t *>(sorting())); }

  // ---- Snapshots and selections ------------------------------------------------------------------------
  // The rows of a snapshot's selection (flags whole_folders, refind_outdated, keep_view_order).
  [[nodiscard]] chooser_selection_t snapshot_to_selection(const view_snapshot_t &snapshot, uint32_t flags);
  // Puts a selection into a snapshot with the reason flags (apply_rows, apply_current, keep_current, ...).
  void selection_to_snapshot(view_snapshot_t *snapshot, const chooser_selection_t &selection, uint32_t flags);

  // ---- Style properties ------------------------------------------------------------------------------------
  QColor highlight_bg_default() const { return color_property(0, true); }
  void set_highlight_bg_default(const QColor &c) { set_color_property(0, c, true); }
  QColor highlight_bg_selected() const { return color_property(1, true); }
  void set_highlight_bg_selected(const QColor &c) { set_color_property(1, c, true); }
  QColor cut_text_color_default() const { return color_property(2, true); }
  void set_cut_text_color_default(const QColor &c) { set_color_property(2, c, true); }
  QColor cut_text_color_selected() const { return color_property(3, true); }
  void set_cut_text_color_selected(const QColor &c) { set_color_property(3, c, true); }

  QSize sizeHint() const override;

signals:
  void header_status_changed(chooser_header_status_t header_status, int flags);
  // True after the selection changed, false after the current row changed.
  void selection_state_changed(bool selection);
  void model_loaded(filtered_widget_mixin_update_strategy_t *strategy);
  void view_synced();
  void sort_changed(bucket_sorting_strategy_t *strategy);

public slots:
  // Polishes the widget again and reloads its rows.
  void repolish();
  // Fills a context menu (a popup_menu_ctx_t) the application builds for the widget.
  void populate_popup(void *popup);
  [[nodiscard]] int form_help() const { return help_id_; }
  [[nodiscard]] QString get_generic_title() const;
  void on_header_section_clicked(int section);
  void on_header_section_resized(int section, int old_size, int new_size);
  // The Help button: the application shows the widget's help topic.
  void on_help_requested();
  void on_dialog_accepted();
  void on_search_clicked();
  void on_refresh_outdated_clicked();
  // The widget became the active form: the standard actions take the source's labels.
  void form_activate();
  void form_deactivate() {}
  void on_table_selection_changed(const QItemSelection &selected);
  // The folder tree's selection: in folders_only the chosen folder's items fill the table; in full_tree as the
  // table's selection change.
  void on_tree_selection_changed(const dirtree_selection_t &selection);
  void on_tree_current_changed(const dirtree_cursor_t &cursor);
  void on_tree_item_double_clicked(const QModelIndex &index);
  void itemDoubleClicked(const QModelIndex &index);
  // The table's current row changed.
  void on_table_current_changed();

protected:
  bool event(QEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void focusInEvent(QFocusEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;

private:
  // Construction steps.
  void attach_source(const chooser_widget_setup_t &setup);
  void build_search_box();
  // Makes the folder tree view and its model for the current mode.
  void build_tree_view(const chooser_widget_setup_t *setup);
  // Gives the captured header state to the headers of the current form.
  void transfer_header_status(const chooser_header_status_t &status);
  // The rows of the items (and, with whole_folders, of everything below the folders) of a tree snapshot.
  void add_tree_selection(const view_snapshot_t &snapshot, uint32_t flags, chooser_selection_t *selection);
  // Puts rows into a snapshot as entries of their folders' records.
  void tree_selection_to_snapshot(view_snapshot_t *snapshot, const chooser_selection_t &selection, int64_t current,
                                  uint32_t flags);
  // The widget's configuration events: "id" and "tree_mode".
  void write_config(IGetWidgetConfigEvent *event);
  void read_config(const ISetWidgetConfigEvent *event);
  void build_layout();
  [[nodiscard]] std::vector<int32_t> initial_column_widths();
  void compute_size_hint(const std::vector<int32_t> &widths);
  void apply_initial_visibility();

  [[nodiscard]] uint64_t row_count();
  // Selection-state notifications after the user changed the selection (true) or the current row (false).
  void notify_selection_state(bool selection);
  // Saves the selection into, or restores it from, the event's buffer.
  void handle_state_event(chooser_state_event_t *event);
  void refresh_action_states(int reason);

  chooser_base_t *source_;                // owned unless the source is kept
  int32_t help_id_;
  uint32_t map_flags_ = 0;                 // inode_warned, inode_map_valid
  uint64_t row_count_ = 0;
  bool row_count_valid_ = false;
  std::vector<qstring> column_titles_;
  std::vector<qstring> column_tooltips_;
  int widget_kind_ = -1;
  QStatusBar *status_bar_ = nullptr;
  QPushButton *refresh_button_ = nullptr;
  QDialogButtonBox *search_box_ = nullptr;
  int32_t accepted_ = 0;
  std::unique_ptr<chooser_persistence_helper_t> persistence_;
  std::map<uint64_t, int64_t> inode_rows_;          // valid while map_flags_ has inode_map_valid
  std::unordered_map<uint64_t, uint64_t> row_inodes_; // the inode each cached row had when it was described
  std::vector<qstring> described_texts_; // the source describes each row into these, then the row keeps a copy
  int32_t tree_mode_ = no_tree;
  chooser_stdact_desc_t *stdact_descs_[4] = {nullptr, nullptr, nullptr, nullptr}; // owned by the source
  directory_tree_t *folders_ = nullptr;   // not owned: the source's
  qstring generic_title_;
  chooser_table_widget_t *table_ = nullptr;       // owned through Qt's parent
  chooser_table_widget_model_t *model_ = nullptr; // owned by the table
  QSplitter *splitter_ = nullptr;
  chooser_dirtree_widget_t *tree_view_ = nullptr;       // owned through Qt's parent; made on the first tree form
  chooser_dirtree_item_model_t *tree_model_ = nullptr;  // owned by the tree view
  QMenu *popup_menu_ = nullptr;                   // owned through Qt's parent
  QWidget *quick_filter_bar_ = nullptr;           // owned through Qt's parent; null when the application makes none
  QSize size_hint_;
  bool notifications_suppressed_ = false; // while a selection with quiet_selection is applied
  filtered_widget_mixin_update_strategy_t *loading_strategy_ = nullptr; // the update being applied, for model_loaded

  static constexpr uint32_t inode_warned = 0x1;
  static constexpr uint32_t inode_map_valid = 0x8;
};

// The name of a tree mode as the widget's configuration writes it: "no_tree", "folders_only" or "full_tree".
[[nodiscard]] const char *chooser_tree_mode_name(int32_t mode);

// The live widget of a QWidget, null when it is no live chooser widget.
[[nodiscard]] chooser_widget_t *as_chooser_widget(QWidget *widget);
// The live chooser widgets in creation order.
[[nodiscard]] const std::vector<chooser_widget_t *> &live_chooser_widgets();
