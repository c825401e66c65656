// The ready-made directory-tree widget: a tree view carrying the filter engine, its quick filter bar, an
// optional status bar, colours a theme can set, insert / delete / open on the selection, and its columns.
#pragma once

#include "ui/object_lifecycle_monitor.h"
#include "ui/stylable_widget.h"
#include "views/dirtree/base_dirtree_widget.h"
#include "views/filter/filtered_widget_mixin.h"

#include <QColor>

#include <cstdint>
#include <memory>
#include <vector>

class QStatusBar;
class filtered_widget_mixin_update_strategy_t;
class selection_operation_t;

// Bits of standalone_dirtree_widget_options_t::allowed; the first three are also the operation kinds.
inline constexpr uint32_t standalone_dirtree_insert = 0x1;
inline constexpr uint32_t standalone_dirtree_delete = 0x2;
inline constexpr uint32_t standalone_dirtree_open = 0x4;
inline constexpr uint32_t standalone_dirtree_status_bar = 0x8;

// How the widget presents its item operations. Texts are not copied: they must outlive the widget (the
// application passes literals).
struct standalone_dirtree_widget_options_t
{
  // How one of the shared actions looks while this widget is the active one; null and -1 keep what it has.
  struct action_look_t
  {
    const char *label = nullptr; // "~x~" hotkey markup
    const char *tooltip = nullptr;
    int32_t icon = -1;
  };
  uint32_t allowed = 0; // standalone_dirtree_* bits
  action_look_t insert_look;
  action_look_t delete_look;
};

// The widget's style properties, in table order.
enum standalone_dirtree_style_t : uint32_t
{
  dirtree_style_highlight_bg = 0,
  dirtree_style_highlight_bg_selected = 1,
  dirtree_style_cut_text = 2,
  dirtree_style_cut_text_selected = 3,
};

// The widget. Its model is a dirtree_item_model_base_t made with this widget as its engine (usually a
// standalone_dirtree_item_model_t). Promises: it is its own engine and the engine's only item view; it
// starts unsorted with its quick filter bar hidden, and sorting comes on at the first click on a header
// section; selection operations post one update, built from the state before they ran.
class standalone_dirtree_widget_t : public base_dirtree_widget_t,
                                    public stylable_widget_mixin_t,
                                    public filtered_widget_mixin_t
{
  Q_OBJECT
  Q_INTERFACES(stylable_widget_mixin_t)
  Q_PROPERTY(QColor highlight_bg_default READ highlight_bg_default WRITE set_highlight_bg_default)
  Q_PROPERTY(QColor highlight_bg_selected READ highlight_bg_selected WRITE set_highlight_bg_selected)
  Q_PROPERTY(QColor cut_text_color_default READ cut_text_color_default WRITE set_cut_text_color_default)
  Q_PROPERTY(QColor cut_text_color_selected READ cut_text_color_selected WRITE set_cut_text_color_selected)

public:
  // The tree id titles the view (base_dirtree_widget_t's rules for the view options apply). Makes the quick
  // filter bar through the application's widget factory, and the status bar under option 0x8.
  standalone_dirtree_widget_t(const char *tree_id, uint32_t tree_options,
                              const standalone_dirtree_widget_options_t &options, QWidget *parent = nullptr);
  ~standalone_dirtree_widget_t() override;

  // ---- The item operations (the application's widgets override them) -----------------------------------
  // Whether the operation of a kind (standalone_dirtree_insert, _delete, _open) applies: the options allow
  // it and, except for inserting, something is selected.
  [[nodiscard]] virtual bool crud_action_state(const dirtree_selection_t *entries, uint32_t kind);
  // Insert, delete, open over the selected entries and their paths; true when the tree changed (the
  // strategy is then posted; set strategy_restore_own_selection with its selection to select rows after
  // it). False here.
  virtual bool create_item(filtered_widget_mixin_update_strategy_t *strategy, const dirtree_selection_t *entries,
                           const std::vector<qstring> &paths);
  virtual bool delete_items(filtered_widget_mixin_update_strategy_t *strategy, const dirtree_selection_t *entries,
                            const std::vector<qstring> &paths);
  virtual bool activate_items(filtered_widget_mixin_update_strategy_t *strategy, const dirtree_selection_t *entries,
                              const std::vector<qstring> &paths);

  // Runs an operation over the entries (null: none) with automatic updates held off: the entries are
  // resolved to their paths, and an update strategy (reason 7) is built from a snapshot taken first. When
  // the operation reports a change, the folders among the paths left empty are removed under strategy
  // flag 0x1 and the strategy is posted (when an update is pending already, that one shows the change and
  // this strategy is released). Answers the operation's answer.
  bool run_selection_operation(selection_operation_t *operation, const dirtree_selection_t *entries);

  [[nodiscard]] const standalone_dirtree_widget_options_t &widget_options() const { return options_; }
  // The status bar made under option 0x8, null when there is none (or it was destroyed).
  [[nodiscard]] QStatusBar *status_bar() const;
  // The header section the "DirTreeHideColumn" update found under the mouse pointer (-1: none).
  int remembered_section = -1;

  // ---- The base view --------------------------------------------------------------------------------
  [[nodiscard]] filtered_widget_mixin_t *filtered_engine() const override
  {
    return const_cast<standalone_dirtree_widget_t *>(this);
  }
  [[nodiscard]] bool is_standalone_dirtree() const override { return true; }
  // Installs the model, then its column widths (the stored ones when their count matches the header's,
  // else the model's defaults) and the stored column visibility; a lazily loading model gets its
  // expansions and, unless view option 0x2 is set, reads its root folder at once.
  void setModel(QAbstractItemModel *model) override;

  // ---- The engine -----------------------------------------------------------------------------------
  bool find_next_match(QAbstractItemView *view, const char *text) override;
  bool find_match(QAbstractItemView *view, const char *text, int32_t flags) override;
  void show_status_text(const char * /*text*/) override {}
  void jump_to_row(int row) override;
  qstring window_title_text() override;
  bool filter_or_sort_active() override { return is_filtering() || sorting() != nullptr; }
  // Every item of the tree, fetched as fetch_row_texts fetches one.
  void load_cached_rows(row_cache_t *cache) override;
  // Column 0 is the item's display name; the other columns stay empty. Always true.
  bool fetch_row_texts(item_info_t *row, uint64_t key) override;
  void collect_item_views(std::vector<QAbstractItemView *> *views) override { views->push_back(this); }
  void sync_view(const view_snapshot_t &snapshot, uint32_t reason, view_selection_records_t *records) override;
  // While filtering, the match of an item row in the column it was found in.
  const filter_match_t *row_for_index(const QModelIndex &index) override;
  QColor highlight_color(bool selected) override;
  bool cut_text_color(QColor *out, const QModelIndex &index) override;
  std::unique_ptr<filtered_bucket_t> bucket_for_key(uint64_t bucket_key) override;
  void take_snapshot(view_snapshot_t *snapshot, uint32_t flags) override { take_tree_snapshot(snapshot, flags); }
  void expand_all_if_filtered() override;
  void reset_view_sort() override;
  void column_titles(std::vector<qstring> *titles) override;
  void view_key_press(const QKeyEvent &event) override;
  // Reason bit 0x80 is added while engine flag 0x800 is set.
  std::unique_ptr<filtered_widget_mixin_update_strategy_t> make_update_strategy(view_snapshot_t *snapshot,
                                                                              uint32_t reason) override;
  QAbstractItemView *item_view() override { return this; }
  int column_count() override;
  uint32_t column_flags(int column) override;
  // Reads the rows again from the tree, keeping what the view showed: with reason bit 0x400 the expanded
  // folders, selection and scroll position (a lazily loading model first reads the expanded folders
  // again); with strategy flag 0x2 the strategy's own selection afterwards. True.
  bool reload_model(filtered_widget_mixin_update_strategy_t &strategy) override;

  // ---- Style properties -----------------------------------------------------------------------------
  QColor highlight_bg_default() const { return color_property(dirtree_style_highlight_bg, true); }
  void set_highlight_bg_default(const QColor &c) { set_color_property(dirtree_style_highlight_bg, c, true); }
  QColor highlight_bg_selected() const { return color_property(dirtree_style_highlight_bg_selected, true); }
  void set_highlight_bg_selected(const QColor &c) { set_color_property(dirtree_style_highlight_bg_selected, c, true); }
  QColor cut_text_color_default() const { return color_property(dirtree_style_cut_text, true); }
  void set_cut_text_color_default(const QColor &c) { set_color_property(dirtree_style_cut_text, c, true); }
  QColor cut_text_color_selected() const { return color_property(dirtree_style_cut_text_selected, true); }
  void set_cut_text_color_selected(const QColor &c) { set_color_property(dirtree_style_cut_text_selected, c, true); }

public slots:
  // The widget became the active one: the shared insert and delete actions take this widget's looks, and
  // the quick filter bar's mode actions its state.
  void form_activate();
  // The context menu: the tree actions, then the filter, item and column actions.
  void populate_popup(void *popup);

protected slots:
  // A lazily loading model reads a folder the user expanded (not while an update is applied), with
  // auto-scroll held off in the update that follows.
  void on_folder_expanded(const QModelIndex &index);
  // The first click on a header section switches sorting on (when the engine allows sorting).
  void on_header_section_clicked(int section);

protected:
  bool event(QEvent *event) override;
  // Context menus of the header open the widget's own.
  bool eventFilter(QObject *watched, QEvent *event) override;
  // Type-ahead first; Return and Enter then open the selection; every key then reaches the tree view.
  void keyPressEvent(QKeyEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;

private:
  // Stores the header's section sizes and visibility through the persistence helper.
  void save_header_state();
  void open_context_menu(QContextMenuEvent *event);

  standalone_dirtree_widget_options_t options_;
  object_lifecycle_monitor_t status_watch_;
};

// The widget of a tree view, null when it is not a standalone tree widget.
[[nodiscard]] standalone_dirtree_widget_t *as_standalone_dirtree(dirtree_view_t *view);
