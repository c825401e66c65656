// A standalone tree widget for the tests, the tree actions' registration, and drops through a viewport.
#include "tests/views/standalone_test_widget.h"

#include "tests/views/view_actions.h"
#include "views/dirtree/dirtree_actions.h"
#include "views/filter/filtered_widget_update.h"
#include "views/filter/standalone_dirtree_operations.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QTest>

#include <gtest/gtest.h>

standalone_dirtree_widget_options_t allowing(uint32_t allowed)
{
  standalone_dirtree_widget_options_t options;
  options.allowed = allowed;
  return options;
}

recording_dirtree_widget_t::recording_dirtree_widget_t(const char *title, uint32_t allowed,
                                                       const standalone_dirtree_widget_options_t *looks)
  : standalone_dirtree_widget_t(title, 0, looks != nullptr ? *looks : allowing(allowed))
{
  resize(360, 280);
}

recording_dirtree_widget_t::~recording_dirtree_widget_t()
{
  // The tester watches the model, which the widget owns: it goes first.
  tester_.reset();
}

test_tree_model_t *recording_dirtree_widget_t::show_tree(directory_tree_t *tree, uint32_t model_options,
                                                         std::function<bool(const std::string &)> loader)
{
  auto *model = new test_tree_model_t(tree, test_tree_columns(model_options), this);
  model->loader_function = std::move(loader);
  tester_ = std::make_unique<QAbstractItemModelTester>(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  setModel(model);
  return model;
}

QModelIndex recording_dirtree_widget_t::row(const std::string &name) const
{
  const QModelIndex index = row_named(name);
  EXPECT_TRUE(index.isValid()) << name;
  return index;
}

void recording_dirtree_widget_t::click(const std::string &name, Qt::KeyboardModifiers modifiers)
{
  QTest::mouseClick(viewport(), Qt::LeftButton, modifiers, visualRect(row(name)).center());
}

void recording_dirtree_widget_t::settle()
{
  QCoreApplication::sendPostedEvents();
  (void)flush_model_update();
}

bool recording_dirtree_widget_t::record(uint32_t kind, filtered_widget_mixin_update_strategy_t *strategy,
                                        const std::vector<qstring> &paths)
{
  operation_t operation {kind, {}};
  for ( const qstring &path : paths )
    operation.paths.emplace_back(path.view());
  operations.push_back(std::move(operation));
  return effect != nullptr && effect(kind, strategy);
}

bool recording_dirtree_widget_t::create_item(filtered_widget_mixin_update_strategy_t *strategy,
                                             const dirtree_selection_t *, const std::vector<qstring> &paths)
{
  return record(standalone_dirtree_insert, strategy, paths);
}

bool recording_dirtree_widget_t::delete_items(filtered_widget_mixin_update_strategy_t *strategy,
                                              const dirtree_selection_t *, const std::vector<qstring> &paths)
{
  return record(standalone_dirtree_delete, strategy, paths);
}

bool recording_dirtree_widget_t::activate_items(filtered_widget_mixin_update_strategy_t *strategy,
                                                const dirtree_selection_t *, const std::vector<qstring> &paths)
{
  return record(standalone_dirtree_open, strategy, paths);
}

bool recording_dirtree_widget_t::reload_model(filtered_widget_mixin_update_strategy_t &strategy)
{
  reload_reasons.push_back(strategy.reason);
  return standalone_dirtree_widget_t::reload_model(strategy);
}

void register_tree_actions()
{
  register_filtered_view_actions();
  ui_action_registry_t &registry = *test_app().get_action_registry();
  for ( const std::span<const action_desc_t> table : {dirtree_action_descs(), standalone_dirtree_action_descs()} )
    for ( const action_desc_t &desc : table )
      if ( registry.find_action(desc.name) == nullptr )
        (void)registry.register_core_action(desc);
}

bool drop_onto(QAbstractItemView &view, const QMimeData &data, const QPoint &at)
{
  QWidget *viewport = view.viewport();
  QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &enter);
  QDragMoveEvent move(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &move);
  QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &drop);
  return drop.isAccepted();
}

QPoint drop_point(const QAbstractItemView &view, const QModelIndex &row, drop_place_t place)
{
  const QRect rect = view.visualRect(row);
  switch ( place )
  {
  case drop_place_t::above:
    return {rect.center().x(), rect.top() + 1};
  case drop_place_t::below:
    return {rect.center().x(), rect.bottom() - 1};
  default:
    return rect.center();
  }
}
