// A tree view for the directory-tree tests: the base view carrying the filter engine the way the ready-made
// tree widget does, a tree over named items, a handler that brings views in line after tree changes, and an
// in-memory persistence helper.
#pragma once

#include "tests/views/dirtree_test_support.h"
#include "views/dirtree/base_dirtree_widget.h"
#include "views/dirtree/standalone_dirtree_item_model.h"
#include "views/filter/filtered_widget_update.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAbstractItemModelTester;

// Keeps one view's stored state in memory.
class memory_persistence_helper_t final : public dirtree_widget_persistence_helper_t
{
public:
  explicit memory_persistence_helper_t(std::shared_ptr<byte_buffer_t> store) : store_(std::move(store)) {}
  bool load_state(byte_buffer_t *out) override
  {
    if ( store_ == nullptr || store_->empty() )
      return false;
    *out = *store_;
    return true;
  }
  bool store_state(const byte_buffer_t &bytes) override
  {
    *store_ = bytes;
    return true;
  }

private:
  std::shared_ptr<byte_buffer_t> store_;
};

// Makes every tree view made while it lives keep its state in the store.
class scoped_state_store_t
{
public:
  scoped_state_store_t();
  ~scoped_state_store_t();
  std::shared_ptr<byte_buffer_t> bytes = std::make_shared<byte_buffer_t>();
};

// Brings the views of a tree in line after each of its events, as the application's handlers do.
class tree_refresh_handler_t final : public event_handler_t
{
public:
  explicit tree_refresh_handler_t(directory_tree_t *tree) : tree_(tree) {}
  void *handle(uint64_t code, va_list va) override
  {
    if ( enabled )
      refresh_views_of_dirtree(tree_, code, va);
    return nullptr;
  }
  // While false the views do not hear of the tree's changes.
  bool enabled = true;

private:
  directory_tree_t *tree_;
};

// The texts of column 0 of the rows a tree view shows under its root index; a folder's rows follow it,
// indented by two blanks per level, when it is expanded.
[[nodiscard]] std::vector<std::string> shown_tree_rows(const QTreeView &view);
// The index of the shown row whose column-0 text is the name (searched depth first), invalid when none.
[[nodiscard]] QModelIndex tree_row_named(const QTreeView &view, const std::string &name);
// The columns of the tests' models: "Name" and "Size" (20 and 8 glyphs wide, the size sorted as a number).
[[nodiscard]] dirtree_columns_t test_tree_columns(uint32_t model_options);

// The model of the tests: a lazily loading model whose folders are filled by a function of the test.
class test_tree_model_t final : public standalone_dirtree_item_model_t
{
  Q_OBJECT

public:
  using standalone_dirtree_item_model_t::standalone_dirtree_item_model_t;
  bool load_folder(const char *path, int flag) override
  {
    loads.emplace_back(path);
    load_flags.push_back(flag);
    return loader_function != nullptr && loader_function(path);
  }
  bool supports(int kind, const QModelIndex &index) const override
  {
    if ( kind == dirtree_feature_rename_folders && !rename_folders )
      return false;
    if ( kind == dirtree_feature_rename_items && !rename_items )
      return false;
    return standalone_dirtree_item_model_t::supports(kind, index);
  }

  std::function<bool(const std::string &)> loader_function;
  std::vector<std::string> loads;
  std::vector<int> load_flags;
  bool rename_folders = true;
  bool rename_items = true;
};

// The view: column 0 the entry's display name, column 1 the text `sizes` holds for an inode.
class test_dirtree_view_t final : public base_dirtree_widget_t, public filtered_widget_mixin_t
{
  Q_OBJECT

public:
  test_dirtree_view_t(const char *title, uint32_t options, QWidget *parent = nullptr);
  ~test_dirtree_view_t() override;

  // Installs a model of the two columns "Name" and "Size" over the tree, watched by Qt's model tester.
  test_tree_model_t *show_tree(directory_tree_t *tree, uint32_t model_options = 0);
  [[nodiscard]] std::vector<std::string> shown_rows() const { return shown_tree_rows(*this); }
  [[nodiscard]] QModelIndex row_named(const std::string &name) const { return tree_row_named(*this, name); }
  // Applies what is pending now.
  void settle();
  test_tree_model_t *model_of_tree() const { return static_cast<test_tree_model_t *>(tree_model()); }

  std::map<uint64_t, std::string> sizes;

  // ---- The view's state, opened to the tests ---------------------------------------------------------
  using base_dirtree_widget_t::collect_tree_state;
  using base_dirtree_widget_t::restore_buckets;

  // ---- The engine --------------------------------------------------------------------------------------
  filtered_widget_mixin_t *filtered_engine() const override { return const_cast<test_dirtree_view_t *>(this); }
  bool find_next_match(QAbstractItemView *, const char *) override { return false; }
  bool find_match(QAbstractItemView *, const char *, int32_t) override { return false; }
  void show_status_text(const char *) override {}
  void jump_to_row(int) override {}
  qstring window_title_text() override { return qstring(windowTitle().toUtf8().constData()); }
  bool filter_or_sort_active() override { return is_filtering() || sorting() != nullptr; }
  void load_cached_rows(row_cache_t *cache) override;
  bool fetch_row_texts(item_info_t *row, uint64_t key) override;
  void collect_item_views(std::vector<QAbstractItemView *> *views) override { views->push_back(this); }
  void sync_view(const view_snapshot_t &snapshot, uint32_t reason, view_selection_records_t *records) override;
  const filter_match_t *row_for_index(const QModelIndex &) override { return nullptr; }
  QColor highlight_color(bool selected) override;
  bool cut_text_color(QColor *, const QModelIndex &) override { return false; }
  std::unique_ptr<filtered_bucket_t> bucket_for_key(uint64_t bucket_key) override;
  void take_snapshot(view_snapshot_t *snapshot, uint32_t flags) override { take_tree_snapshot(snapshot, flags); }
  void expand_all_if_filtered() override;
  void reset_view_sort() override {}
  void column_titles(std::vector<qstring> *titles) override;
  void view_key_press(const QKeyEvent &event) override;
  std::unique_ptr<filtered_widget_mixin_update_strategy_t> make_update_strategy(view_snapshot_t *snapshot,
                                                                              uint32_t reason) override;
  QAbstractItemView *item_view() override { return this; }
  int column_count() override { return 2; }
  uint32_t column_flags(int column) override { return column == 1 ? column_flags_decimal : 0; }
  bool reload_model(filtered_widget_mixin_update_strategy_t &strategy) override;

protected:
  bool event(QEvent *event) override;

private:
  std::unique_ptr<QAbstractItemModelTester> tester_;
};

// The items of the view tests' trees.
inline constexpr uint64_t sample_x = 10;
inline constexpr uint64_t sample_y = 11;
inline constexpr uint64_t sample_z = 12;
// Makes x, y and z known to the tree's dirspec.
void add_sample_items(test_tree_t &t);
// The items known, the folders made in the order given, then the item paths linked.
void fill_sample_tree(test_tree_t &t, const std::vector<const char *> &folders, const std::vector<const char *> &links);

// A tree of the view tests whose views follow its events; by default /a/ (with /a/b/ and x), /c/ (with z)
// and y.
struct view_sample_t
{
  explicit view_sample_t(const std::vector<const char *> &folders = {"a/b", "c"},
                         const std::vector<const char *> &links = {"a/x", "c/z", "y"});
  test_tree_t t;
  tree_refresh_handler_t refresher;
};

// The column-0 texts of the view's selected rows, sorted.
std::vector<std::string> selected_names(const QAbstractItemView &view);

// Asserts that every shown index's parent is the index it was made under, down from the root folder.
void expect_parents_consistent(const QAbstractItemModel &model, const QModelIndex &root);
