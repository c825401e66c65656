// A tree view for the directory-tree tests.
#include "tests/views/dirtree_test_view.h"

#include "tests/ui/app/test_app.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include <array>

scoped_state_store_t::scoped_state_store_t()
{
  test_app().widget_factory().dirtree_persistence = [store = bytes](QWidget *) {
    return new memory_persistence_helper_t(store);
  };
}

scoped_state_store_t::~scoped_state_store_t()
{
  test_app().widget_factory().dirtree_persistence = nullptr;
}

test_dirtree_view_t::test_dirtree_view_t(const char *title, uint32_t options, QWidget *parent)
  : base_dirtree_widget_t(title, options, parent), filtered_widget_mixin_t(this)
{
  resize(360, 280);
}

test_dirtree_view_t::~test_dirtree_view_t()
{
  // The tester watches the model, which the view owns: it goes first.
  tester_.reset();
}

test_tree_model_t *test_dirtree_view_t::show_tree(directory_tree_t *tree, uint32_t model_options)
{
  auto *model = new test_tree_model_t(tree, test_tree_columns(model_options), this);
  tester_ = std::make_unique<QAbstractItemModelTester>(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  setModel(model);
  // As the ready-made tree widget: a lazily loading model reads a folder when the user expands it, unless
  // the expansion comes from an update being applied.
  if ( (model_options & dirtree_model_lazy) != 0 )
    connect(this, &QTreeView::expanded, model, [this, model](const QModelIndex &index) {
      if ( (engine_flags() & engine_applying_update) == 0 )
        model->lazy_loader()->on_folder_expanded(index);
    });
  return model;
}

dirtree_columns_t test_tree_columns(uint32_t model_options)
{
  dirtree_columns_t columns;
  columns.titles = {"Name", "Size"};
  columns.widths = {20, 8};
  columns.flags = {1, 1 | column_flags_decimal};
  columns.options = model_options;
  return columns;
}

std::vector<std::string> shown_tree_rows(const QTreeView &view)
{
  std::vector<std::string> rows;
  const QAbstractItemModel *shown = view.model();
  if ( shown == nullptr )
    return rows;
  struct level_t
  {
    QModelIndex parent;
    int row;
  };
  std::vector<level_t> stack {{view.rootIndex(), 0}};
  while ( !stack.empty() )
  {
    level_t &level = stack.back();
    if ( level.row >= shown->rowCount(level.parent) )
    {
      stack.pop_back();
      continue;
    }
    const QModelIndex row = shown->index(level.row++, 0, level.parent);
    rows.push_back(std::string(2 * (stack.size() - 1), ' ') + row.data().toString().toStdString());
    if ( view.isExpanded(row) )
      stack.push_back({row, 0});
  }
  return rows;
}

QModelIndex tree_row_named(const QTreeView &view, const std::string &name)
{
  const QAbstractItemModel *shown = view.model();
  std::vector<QModelIndex> pending {view.rootIndex()};
  while ( shown != nullptr && !pending.empty() )
  {
    const QModelIndex parent = pending.back();
    pending.pop_back();
    for ( int row = shown->rowCount(parent); row-- > 0; )
    {
      const QModelIndex index = shown->index(row, 0, parent);
      if ( index.data().toString().toStdString() == name )
        return index;
      pending.push_back(index);
    }
  }
  return {};
}

void test_dirtree_view_t::settle()
{
  // Queued work first (an editor commits its text through a queued call), then the update it posted.
  QCoreApplication::sendPostedEvents();
  (void)flush_model_update();
}

void test_dirtree_view_t::load_cached_rows(row_cache_t *cache)
{
  struct items_t final : dirtree_visitor_t
  {
    items_t(test_dirtree_view_t *view, row_cache_t *cache) : view(view), cache(cache) {}
    int visit(const dirtree_cursor_t & /*cursor*/, const dirtree_entry_t &entry) override
    {
      if ( entry.is_folder || cache->count(entry.id) != 0 )
        return 0;
      item_info_t row(2);
      if ( view->fetch_row_texts(&row, entry.id) )
        cache->emplace(entry.id, std::move(row));
      return 0;
    }
    test_dirtree_view_t *view;
    row_cache_t *cache;
  } items(this, cache);
  model_of_tree()->current_tree()->visit_entries(items);
}

bool test_dirtree_view_t::fetch_row_texts(item_info_t *row, uint64_t key)
{
  qstring name;
  model_of_tree()->current_tree()->entry_name(&name, {key, false}, dirtree_display_name);
  const auto size = sizes.find(key);
  row->texts.assign(std::array<qstring, 2> {name, size != sizes.end() ? size->second.c_str() : ""});
  return true;
}

void test_dirtree_view_t::sync_view(const view_snapshot_t &snapshot, uint32_t /*reason*/,
                                    view_selection_records_t *records)
{
  sync_view_helper(nullptr, records, snapshot, 0, false);
}

QColor test_dirtree_view_t::highlight_color(bool selected)
{
  return selected ? QColor(Qt::cyan) : QColor(Qt::yellow);
}

std::unique_ptr<filtered_bucket_t> test_dirtree_view_t::bucket_for_key(uint64_t bucket_key)
{
  return model_of_tree() != nullptr ? model_of_tree()->create_bucket(bucket_key) : nullptr;
}

void test_dirtree_view_t::expand_all_if_filtered()
{
  if ( is_filtering() )
    expandAll();
}

void test_dirtree_view_t::column_titles(std::vector<qstring> *titles)
{
  for ( int column = 0; model() != nullptr && column < model()->columnCount(); ++column )
    titles->emplace_back(model()->headerData(column, Qt::Horizontal).toString().toUtf8().constData());
}

void test_dirtree_view_t::view_key_press(const QKeyEvent &event)
{
  QKeyEvent copy(event.type(), event.key(), event.modifiers(), event.text());
  QTreeView::keyPressEvent(&copy);
}

std::unique_ptr<filtered_widget_mixin_update_strategy_t>
test_dirtree_view_t::make_update_strategy(view_snapshot_t *snapshot, uint32_t reason)
{
  return std::make_unique<filtered_widget_mixin_update_strategy_t>(snapshot, reason);
}

bool test_dirtree_view_t::reload_model(filtered_widget_mixin_update_strategy_t &strategy)
{
  // As the ready-made tree widget: rows are read again from the tree.
  set_idle();
  reset_buckets();
  resync_view(strategy.snapshot, 0);
  return true;
}

bool test_dirtree_view_t::event(QEvent *event)
{
  if ( handle_engine_event(this, event) )
    return true;
  return base_dirtree_widget_t::event(event);
}

void expect_parents_consistent(const QAbstractItemModel &model, const QModelIndex &root)
{
  std::vector<QModelIndex> pending {root};
  while ( !pending.empty() )
  {
    const QModelIndex parent = pending.back();
    pending.pop_back();
    for ( int row = 0; row < model.rowCount(parent); ++row )
      for ( int column = 0; column < model.columnCount(parent); ++column )
      {
        const QModelIndex index = model.index(row, column, parent);
        ASSERT_TRUE(index.isValid());
        EXPECT_EQ(index.parent(), parent) << index.data().toString().toStdString();
        if ( column == 0 )
          pending.push_back(index);
      }
  }
}

void add_sample_items(test_tree_t &t)
{
  t.spec->add_item("x", sample_x);
  t.spec->add_item("y", sample_y);
  t.spec->add_item("z", sample_z);
}

void fill_sample_tree(test_tree_t &t, const std::vector<const char *> &folders, const std::vector<const char *> &links)
{
  add_sample_items(t);
  for ( const char *folder : folders )
    EXPECT_EQ(t->create_folder(folder), 0) << folder;
  for ( const char *link : links )
    EXPECT_EQ(t->link_or_unlink_path(link, true), 0) << link;
}

view_sample_t::view_sample_t(const std::vector<const char *> &folders, const std::vector<const char *> &links)
  : refresher(t.tree.get())
{
  fill_sample_tree(t, folders, links);
  t->add_event_handler(&refresher);
}

std::vector<std::string> selected_names(const QAbstractItemView &view)
{
  std::vector<std::string> names;
  for ( const QModelIndex &row : view.selectionModel()->selectedRows(0) )
    names.push_back(row.data().toString().toStdString());
  std::sort(names.begin(), names.end());
  return names;
}
