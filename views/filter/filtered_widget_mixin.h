// The engine behind every filterable list and tree widget: the row cache, the filter conditions, the
// filtered and sorted row maps of its buckets, and the posted model updates that keep its views in line.
#pragma once

#include "ui/object_lifecycle_monitor.h"
#include "ui/searchable_widget.h"
#include "views/filter/bucket_sorting.h"
#include "views/filter/filter_condition.h"
#include "views/filter/filtered_bucket.h"
#include "views/filter/item_info.h"

#include <QEvent>
#include <QPersistentModelIndex>

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

class QAbstractItemView;
class QColor;
class QKeyEvent;
class QWidget;
class filtered_widget_mixin_update_strategy_t;
class quick_filter_widget_t;

// Engine flags.
inline constexpr uint32_t engine_idle = 0x1;
inline constexpr uint32_t engine_rows_loaded = 0x2;
inline constexpr uint32_t engine_writing_bar = 0x4;
inline constexpr uint32_t engine_loading_rows = 0x8;
inline constexpr uint32_t engine_applying_update = 0x10;
inline constexpr uint32_t engine_syncing = 0x40;
inline constexpr uint32_t engine_syncing_rows = 0x80;
inline constexpr uint32_t engine_blocked = 0x100;
inline constexpr uint32_t engine_selecting = 0x200;
inline constexpr uint32_t engine_strategy_flag_0x40 = 0x400;
inline constexpr uint32_t engine_no_auto_scroll = 0x800;
inline constexpr uint32_t engine_rows_italic = 0x1000;

// Reason bits of a model update.
inline constexpr uint32_t update_early_rows = 0x1;      // the row handlers may run before the selection is back
inline constexpr uint32_t update_no_auto_scroll = 0x80; // reload with auto-scroll off
inline constexpr uint32_t update_tree_state = 0x400;    // collect and restore the tree state
inline constexpr uint32_t update_flush_reason = 7;      // the reason of an update made by flush_model_update

// Event types of the engine.
inline constexpr QEvent::Type update_model_event_type = QEvent::Type(2001);
inline constexpr QEvent::Type block_updates_event_type = QEvent::Type(2002);

// Internal errors of the engine.
inline constexpr int32_t interr_engine_entry_cleared = 40840;
inline constexpr int32_t interr_engine_unregistered = 40959;
inline constexpr int32_t interr_second_quick_filter = 40846;

// The actions that show whether a view has conditions ("ChooserResetFilters" and its tree twin): an update
// pass over them (reason 1), after every change of the conditions.
void refresh_reset_filters_actions();

// The engine. The widget that carries it implements the pure operations and routes its QObject::event
// through handle_engine_event first. Promises (the row-map invariants): a cached bucket reflects the
// current conditions and strategy; a bucket's leading rows are always shown, first and in source order;
// while a condition is enabled a later row is shown exactly when it is cached and its match carries
// match_recorded; the strategy only permutes the rows filtering kept; the quick filter's condition, when
// present, is the first and the only one with filter_quick_filter. Only the GUI thread touches it.
class filtered_widget_mixin_t : public searchable_widget_mixin_t
{
public:
  // Registers the engine for the widget (not owned; it carries the engine).
  explicit filtered_widget_mixin_t(QWidget *widget);
  // Unregisters: internal error 40840 when the entry was already cleared, 40959 when it is missing.
  ~filtered_widget_mixin_t() override;

  // ---- The widget's operations (after the search operations) -----------------------------------------
  // The widget's title (UTF-8).
  [[nodiscard]] virtual qstring window_title_text() = 0;
  // Whether the user may sort, and use the quick filter.
  [[nodiscard]] virtual bool sorting_allowed() { return true; }
  [[nodiscard]] virtual bool quick_filter_allowed() { return true; }
  // Drops the row cache and every cached bucket.
  virtual void reset_buckets();
  // Whether rows go through filtered buckets (a filter or a sort is active).
  [[nodiscard]] virtual bool filter_or_sort_active() = 0;
  // Fills the map with every row (texts and attributes; letter sets are the engine's).
  virtual void load_cached_rows(row_cache_t *cache) = 0;
  // Fills one row's texts and attributes; false when the key names no row.
  virtual bool fetch_row_texts(item_info_t *row, uint64_t key) = 0;
  // Appends the widget's item views.
  virtual void collect_item_views(std::vector<QAbstractItemView *> *views) = 0;
  // Sets or clears italics for every row; on a change every view's model re-reads its fonts.
  virtual void set_rows_italic(bool italic);
  // Brings one view's rows in line with the snapshot, adding what to select to the records.
  virtual void sync_view(const view_snapshot_t &snapshot, uint32_t reason, view_selection_records_t *records) = 0;
  // The match to paint for an index, or null.
  [[nodiscard]] virtual const filter_match_t *row_for_index(const QModelIndex &index) = 0;
  // The colour behind matched text.
  [[nodiscard]] virtual QColor highlight_color(bool selected) = 0;
  // The text colour of an index marked cut; false when it is not cut.
  virtual bool cut_text_color(QColor *out, const QModelIndex &index) = 0;
  // Deletes the cached bucket of a key, every cached bucket for no_key.
  virtual void drop_buckets(uint64_t bucket_key);
  // A new bucket object for the key (owned by the engine from then on), null when there is none.
  [[nodiscard]] virtual std::unique_ptr<filtered_bucket_t> bucket_for_key(uint64_t bucket_key) = 0;
  // Fills a snapshot of the views (the engine passes flags 7).
  virtual void take_snapshot(view_snapshot_t *snapshot, uint32_t flags) = 0;
  // Expands everything while filtering; nothing by default.
  virtual void expand_all_if_filtered() {}
  // Installs a strategy (null: unsorted); the buckets are rebuilt.
  virtual void set_sorting(std::unique_ptr<bucket_sorting_strategy_t> strategy);
  // Removes the view's sort indicator.
  virtual void reset_view_sort() = 0;
  // Filters every cached row again and brings the views in line with the snapshot.
  virtual void resync_view(const view_snapshot_t &snapshot, uint32_t reason);
  // The header text of every column.
  virtual void column_titles(std::vector<qstring> *titles) = 0;
  // Gives a key to the item view's own key handling.
  virtual void view_key_press(const QKeyEvent &event) = 0;
  // The column whose text names a row in drag labels.
  [[nodiscard]] virtual int flagged_column() { return 0; }
  // A new update strategy from a snapshot (taken over) and reason flags.
  [[nodiscard]] virtual std::unique_ptr<filtered_widget_mixin_update_strategy_t>
  make_update_strategy(view_snapshot_t *snapshot, uint32_t reason) = 0;
  // The item view the engine drives.
  [[nodiscard]] virtual QAbstractItemView *item_view() = 0;
  [[nodiscard]] virtual int column_count() = 0;
  // A column's flag word, 0 out of range.
  [[nodiscard]] virtual uint32_t column_flags(int column) = 0;
  // row_filter_result through a one-entry cache.
  [[nodiscard]] virtual uint32_t row_filter_result_cached(uint64_t key, uint32_t default_color);
  // The highlight colour of a row: the first matching enabled highlight condition's, else the default.
  [[nodiscard]] virtual uint32_t row_filter_result(uint64_t key, uint32_t default_color);
  // True keeps the model from posting automatic updates.
  [[nodiscard]] virtual bool updates_suppressed() { return false; }
  // Applies one update strategy and marks the engine idle again; true on success.
  virtual bool reload_model(filtered_widget_mixin_update_strategy_t &strategy) = 0;
  // Notifications: a strategy was applied, the views were synchronised, the sorting changed.
  virtual void on_model_loaded() {}
  virtual void on_view_synced() {}
  virtual void on_sort_changed() {}

  // ---- Rows and buckets -------------------------------------------------------------------------------
  // The shown rows of a bucket (filtered and sorted while a filter or sort is active); null when the
  // widget has no bucket for the key. Owned by the engine until the buckets are dropped.
  filtered_bucket_t *filtered_bucket(uint64_t bucket_key);
  // The cached bucket of a key without creating one.
  [[nodiscard]] filtered_bucket_t *cached_bucket(uint64_t bucket_key) const;
  // The number of rows the buckets of these keys show (buckets made as needed; a key without one adds 0).
  [[nodiscard]] size_t total_shown_rows(std::span<const uint64_t> bucket_keys);
  // Makes the key's row current and returns it (an empty row when it cannot be fetched).
  const item_info_t &row_texts(uint64_t key);
  // The row cache, loaded first while a filter or sort is active.
  row_cache_t &row_cache();
  // Replaces the current row by an empty row of n columns and forgets its key.
  void reset_row_cache(size_t columns);
  // Fetches every cached row's texts again and forgets the current row.
  void refresh_row_texts();
  // Some condition is enabled.
  [[nodiscard]] bool is_filtering() const;

  // ---- Conditions and the quick filter ----------------------------------------------------------------
  [[nodiscard]] const std::vector<filter_condition_t> &conditions() const { return conditions_; }
  // The conditions themselves, for the column filters dialog, which edits them and then runs resync_view. The
  // quick filter's condition, when present, must stay the first.
  [[nodiscard]] std::vector<filter_condition_t> &condition_list() { return conditions_; }
  // Replaces the conditions (a quick-filter condition stays first) and filters again.
  void set_conditions(std::vector<filter_condition_t> conditions);
  // Takes the quick filter bar's condition (its query is the bar's text; flag filter_quick_filter is
  // set here): an empty text removes the quick-filter condition, an expression that does not compile
  // changes nothing, and one that goes over its match budget on the rows is dropped the same way. When
  // flags, column or text changed, fuzzy mode installs the fuzzy sorting (other modes drop only a fuzzy
  // sorting) and the rows are filtered again.
  void apply_quick_filter(const filter_condition_t &bar_condition);
  [[nodiscard]] const bucket_sorting_strategy_t *sorting() const { return sorting_.get(); }
  // Removes every condition (patterns released) and brings the views in line, keeping the selection; the
  // row cache is loaded afresh on the next filtered access unless a sorting is installed. The live bar is
  // hidden, the reset actions are refreshed and expand_all_if_filtered runs.
  void reset_filters();

  // ---- The quick filter bar -------------------------------------------------------------------------
  // Attaches the bar: the engine watches it, applies its condition whenever it changes, hands its reserved
  // keys to the view, and is the bar's target. Attaching while a live bar is attached is internal error 40846.
  void attach_quick_filter(quick_filter_widget_t *bar);
  // Shows or hides the live bar; nothing without one.
  void set_quick_filter_visible(bool visible);
  // The attached bar, null when none was attached or it is gone.
  [[nodiscard]] quick_filter_widget_t *quick_filter() const;
  // Applies the live bar's condition (after its target column changed); nothing without a bar.
  void reapply_quick_filter();

  // ---- Model updates -----------------------------------------------------------------------------------
  // Schedules an update from a fresh snapshot: nothing when blocked, or when one is pending and not forced.
  void post_model_update(uint32_t reason, bool force);
  // Schedules an update with a ready strategy (taken over); a forced post replaces a pending one.
  void post_update_strategy(std::unique_ptr<filtered_widget_mixin_update_strategy_t> strategy, bool force);
  // The widget's QObject::event calls it first; true when the event was the engine's.
  bool handle_engine_event(QWidget *widget, QEvent *event);
  // Applies what is pending now (or a fresh update when the posted one did not make the engine idle);
  // false when blocked.
  bool flush_model_update();
  // Applies one strategy (auto-scroll off around it under update_no_auto_scroll).
  bool apply_model_update(filtered_widget_mixin_update_strategy_t &strategy);
  // Brings every view in line after a filtering pass and restores the selections.
  void sync_views(const view_snapshot_t &snapshot, uint32_t reason);
  // Selects each record's selection and sets its current index without altering the selection.
  static void restore_view_selections(view_selection_records_t &records);
  // True unless updates are blocked or (without force) one is already pending.
  [[nodiscard]] bool update_pending(bool force) const;

  [[nodiscard]] uint32_t engine_flags() const { return flags_; }
  // The widget sets the idle flag again once its reload_model applied a strategy.
  void set_idle() { flags_ |= engine_idle; }
  // The flags the widget raises around its own work (engine_selecting, engine_strategy_flag_0x40,
  // engine_no_auto_scroll): sets them (on) or clears them; other bits are left alone.
  void set_widget_flags(uint32_t flags, bool on)
  {
    flags &= engine_selecting | engine_strategy_flag_0x40 | engine_no_auto_scroll;
    flags_ = on ? flags_ | flags : flags_ & ~flags;
  }
  [[nodiscard]] QWidget *widget() const { return widget_; }
  // Positive while a drag operation runs; the drag's selection records are filled instead of fresh ones.
  int drag_counter = 0;
  // Positive while new folders are to be expanded (a source inserting rows, a tree change bringing entries):
  // the tree views expand every folder that takes in entries meanwhile. Raised through sync_scope_t.
  int sync_counter = 0;
  view_selection_records_t drag_records;
  // The drag hand-over (drag_scope_t swaps it in): the snapshot of the views taken when the drag began.
  view_snapshot_t drag_handover;
  // The item view of the running drag (not owned), and what a drop into it recorded: the bucket that
  // received the rows (no_key: no drop) and its parent index in that view (invalid for the top level).
  QAbstractItemView *drag_view = nullptr;
  uint64_t drop_key = no_key;
  QPersistentModelIndex drop_index;

private:
  void load_row_cache();
  // Filters every cached row with the conditions (twice when an expression went over its budget).
  void filter_rows();
  void drop_all_buckets() { drop_buckets(no_key); }

  QWidget *widget_; // not owned: the widget that carries the engine
  row_cache_t row_cache_;
  item_info_t current_row_;
  uint64_t current_key_ = no_key;
  std::map<uint64_t, std::unique_ptr<filtered_bucket_t>> buckets_;
  uint32_t flags_ = engine_idle;
  uint64_t highlight_key_ = no_key;
  uint32_t highlight_default_ = 0;
  uint32_t highlight_result_ = 0;
  int update_nesting_ = 0;
  std::vector<filter_condition_t> conditions_;
  std::unique_ptr<bucket_sorting_strategy_t> sorting_;
  // While apply_quick_filter runs its filtering pass: what comes back when the new expression goes over
  // its budget.
  struct quick_fallback_t
  {
    bool had_condition = false;
    filter_condition_t condition;
    std::unique_ptr<bucket_sorting_strategy_t> sorting;
  };
  std::unique_ptr<quick_fallback_t> quick_fallback_;
  object_lifecycle_monitor_t quick_filter_watch_;
  // The context of the connections to the bar: deleted with the engine, so no signal reaches it after.
  std::unique_ptr<QObject> quick_filter_link_;
};

// The engine of a widget; null for null or a widget without one.
[[nodiscard]] filtered_widget_mixin_t *find_filtered_widget_mixin(QWidget *widget);

// Raises an engine's sync counter for its own lifetime; nothing for a null engine.
class sync_scope_t
{
public:
  explicit sync_scope_t(filtered_widget_mixin_t *engine) : engine_(engine)
  {
    if ( engine_ != nullptr )
      ++engine_->sync_counter;
  }
  ~sync_scope_t()
  {
    if ( engine_ != nullptr )
      --engine_->sync_counter;
  }
  sync_scope_t(const sync_scope_t &) = delete;
  sync_scope_t &operator=(const sync_scope_t &) = delete;

private:
  filtered_widget_mixin_t *engine_; // not owned; outlives the scope
};
