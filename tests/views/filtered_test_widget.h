// A small filtered widget for the engine's tests: a two-level tree (folders of rows under a root, whose
// folder rows lead) or a flat list, over buckets of its own, watched by Qt's model tester.
#pragma once

#include "views/filter/filtered_item_view_model.h"
#include "views/filter/filtered_widget_mixin.h"
#include "views/filter/filtered_widget_update.h"

#include <QTreeView>
#include <QWidget>

#include <QColor>

#include <memory>
#include <set>
#include <string>
#include <vector>

class QAbstractItemModelTester;
class quick_filter_widget_t;

// One row: its texts (name, size) and how it looks.
struct test_row_t
{
  uint64_t key;
  std::string name;
  std::string size;
  uint32_t attributes = 0;
  int32_t background = -1; // 0x00BBGGRR
  int32_t icon = -1;
};

// One folder of the tree: a leading row of the root, with rows of its own.
struct test_folder_t
{
  uint64_t key;
  std::string name;
  std::vector<test_row_t> rows;
};

class test_filtered_widget_t;

// Bucket keys: 0 the root, folder i + 1 a folder. Index internal ids hold the key of the bucket the
// index lies in.
class test_filtered_model_t final : public filtered_item_view_model_t
{
public:
  explicit test_filtered_model_t(test_filtered_widget_t *widget);
  uint64_t bucket_key_of_index(const QModelIndex &parent) const override;
  QModelIndex index_in_bucket(filtered_bucket_t &bucket, uint64_t bucket_key, int row, int column) const override;
  QVariant bucket_item_data(filtered_bucket_t &bucket, const QModelIndex &index, int role) const override;
  QModelIndex parent(const QModelIndex &index) const override;
  int columnCount(const QModelIndex &parent = QModelIndex()) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
  test_filtered_widget_t *widget_; // not owned: the widget that owns the model
};

// Promises: its view paints through the filtered views' style; the model answers every role but the texts
// through styled_data.
class test_filtered_widget_t : public QWidget, public filtered_widget_mixin_t
{
public:
  test_filtered_widget_t(std::vector<test_folder_t> folders, std::vector<test_row_t> rows);
  ~test_filtered_widget_t() override;

  // The data behind the view; change it, then post a model update.
  std::vector<test_folder_t> folders;
  std::vector<test_row_t> rows;

  QTreeView *view() const { return view_; }
  test_filtered_model_t *model() const { return model_; }
  // The texts of column 0 of the shown rows of a bucket, through the model.
  std::vector<std::string> shown_names(const QModelIndex &parent = QModelIndex()) const;
  // The names of the selected rows and of the current row, through the view.
  std::vector<std::string> selected_names() const;
  std::string current_name() const;
  // The model index of a row by its name (searched in the root and every folder), invalid when not shown.
  QModelIndex index_of(const std::string &name) const;

  // Makes a quick filter bar through the application's factory (it takes the widget's window title as its
  // settings name), attaches it and puts it below the view, hidden.
  quick_filter_widget_t *add_quick_filter_bar();

  // What the engine is told: the rows marked cut (drawn in cut_colour), whether sorting and the quick filter
  // are allowed, and the header titles (an unassigned qstring is a missing title).
  std::set<uint64_t> cut_keys;
  QColor cut_colour = Qt::red;
  bool allow_sorting = true;
  bool allow_quick_filter = true;
  std::vector<qstring> titles = {qstring("Name"), qstring("Size")};

  // What the engine asked of the widget.
  int loads = 0;
  int fetches = 0;
  std::vector<uint32_t> reload_reasons;
  std::vector<bool> auto_scroll_in_reload;

  // ---- The engine's operations ----
  bool find_next_match(QAbstractItemView *view, const char *text) override;
  bool find_match(QAbstractItemView *view, const char *text, int32_t flags) override;
  void show_status_text(const char *) override {}
  void jump_to_row(int row) override;
  qstring window_title_text() override { return qstring("test rows"); }
  bool filter_or_sort_active() override { return is_filtering() || sorting() != nullptr; }
  void load_cached_rows(row_cache_t *cache) override;
  bool fetch_row_texts(item_info_t *row, uint64_t key) override;
  void collect_item_views(std::vector<QAbstractItemView *> *views) override { views->push_back(view_); }
  void sync_view(const view_snapshot_t &snapshot, uint32_t reason, view_selection_records_t *records) override;
  const filter_match_t *row_for_index(const QModelIndex &index) override;
  QColor highlight_color(bool selected) override;
  bool cut_text_color(QColor *out, const QModelIndex &index) override;
  bool sorting_allowed() override { return allow_sorting; }
  bool quick_filter_allowed() override { return allow_quick_filter; }
  std::unique_ptr<filtered_bucket_t> bucket_for_key(uint64_t bucket_key) override;
  void take_snapshot(view_snapshot_t *snapshot, uint32_t flags) override;
  // Unsorted from now on.
  void reset_view_sort() override { set_sorting(nullptr); }
  void column_titles(std::vector<qstring> *titles) override;
  void view_key_press(const QKeyEvent &event) override;
  std::unique_ptr<filtered_widget_mixin_update_strategy_t> make_update_strategy(view_snapshot_t *snapshot,
                                                                              uint32_t reason) override;
  QAbstractItemView *item_view() override { return view_; }
  int column_count() override { return 2; }
  uint32_t column_flags(int column) override { return column == 1 ? column_flags_decimal : 0; }
  bool reload_model(filtered_widget_mixin_update_strategy_t &strategy) override;

protected:
  bool event(QEvent *event) override;

private:
  const test_row_t *row_of_key(uint64_t key) const;
  static void describe_row(item_info_t *info, const test_row_t &row);

  QTreeView *view_;                // owned through Qt's parent
  test_filtered_model_t *model_;   // owned through Qt's parent
  std::unique_ptr<QAbstractItemModelTester> tester_;
};

// Rows named by the texts, keyed from `first_key` on, with sizes "1", "2", ...
std::vector<test_row_t> make_rows(const std::vector<std::string> &names, uint64_t first_key = 1);
