// A standalone tree widget for the tests: it records the item operations that reach it and may change the
// tree in them; its model is the tests' model, watched by Qt's model tester. Also the registration of the
// tree actions as the application registers them, and drops driven through a view's viewport.
#pragma once

#include "tests/views/dirtree_test_view.h"
#include "views/filter/standalone_dirtree_widget.h"

#include <QPoint>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class QMimeData;

class recording_dirtree_widget_t final : public standalone_dirtree_widget_t
{
  Q_OBJECT

public:
  // A widget without stored state, allowing the operations given (standalone_dirtree_* bits).
  explicit recording_dirtree_widget_t(const char *title, uint32_t allowed = 0,
                                      const standalone_dirtree_widget_options_t *looks = nullptr);
  ~recording_dirtree_widget_t() override;

  // Installs a tests' model over the tree, reading folders with the loader when one is given.
  test_tree_model_t *show_tree(directory_tree_t *tree, uint32_t model_options = 0,
                               std::function<bool(const std::string &)> loader = nullptr);
  [[nodiscard]] test_tree_model_t *model_of_tree() const { return static_cast<test_tree_model_t *>(tree_model()); }
  [[nodiscard]] std::vector<std::string> shown_rows() const { return shown_tree_rows(*this); }
  [[nodiscard]] QModelIndex row_named(const std::string &name) const { return tree_row_named(*this, name); }
  // row_named, failing the test when no row has the name.
  [[nodiscard]] QModelIndex row(const std::string &name) const;
  // Clicks the row's name cell.
  void click(const std::string &name, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // Queued work first, then the pending update.
  void settle();

  // One operation as it reached the widget: its kind and the paths of the entries.
  struct operation_t
  {
    uint32_t kind;
    std::vector<std::string> paths;
    friend bool operator==(const operation_t &a, const operation_t &b) { return a.kind == b.kind && a.paths == b.paths; }
    friend void PrintTo(const operation_t &o, std::ostream *out)
    {
      *out << "kind " << o.kind;
      for ( const std::string &path : o.paths )
        *out << " " << path;
    }
  };
  std::vector<operation_t> operations;
  // Run after an operation is recorded; its answer is the operation's (false while unset).
  std::function<bool(uint32_t kind, filtered_widget_mixin_update_strategy_t *strategy)> effect;

  bool create_item(filtered_widget_mixin_update_strategy_t *strategy, const dirtree_selection_t *entries,
                   const std::vector<qstring> &paths) override;
  bool delete_items(filtered_widget_mixin_update_strategy_t *strategy, const dirtree_selection_t *entries,
                    const std::vector<qstring> &paths) override;
  bool activate_items(filtered_widget_mixin_update_strategy_t *strategy, const dirtree_selection_t *entries,
                      const std::vector<qstring> &paths) override;
  // The reason of every update applied, in order.
  std::vector<uint32_t> reload_reasons;
  bool reload_model(filtered_widget_mixin_update_strategy_t &strategy) override;

private:
  bool record(uint32_t kind, filtered_widget_mixin_update_strategy_t *strategy, const std::vector<qstring> &paths);
  std::unique_ptr<QAbstractItemModelTester> tester_;
};

// The options of a widget that allows the operations given.
[[nodiscard]] standalone_dirtree_widget_options_t allowing(uint32_t allowed);

// Registers the tree actions (those of the standalone widget, the tree views and the filtered views) that
// are not registered yet; they stay for the rest of the process.
void register_tree_actions();

// Drops the data onto a point of the view's viewport as the user's move would: drag-enter, drag-move and
// drop events; Qt computes the row and the parent. True when the view accepted the drop.
bool drop_onto(QAbstractItemView &view, const QMimeData &data, const QPoint &at);
// The point inside a row's cell at which a drop lands on the row itself, above it, or below it.
enum class drop_place_t
{
  on,
  above,
  below,
};
[[nodiscard]] QPoint drop_point(const QAbstractItemView &view, const QModelIndex &row, drop_place_t place);
