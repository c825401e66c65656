// Operations over the selection of a standalone tree widget, the action handlers built on them, and the
// widget's own actions: insert, delete, hide a column, choose the columns.
#pragma once

#include "core/qstring.h"
#include "ui/ui_action.h"
#include "ui/view_interfaces.h"

#include <cstdint>
#include <span>
#include <vector>

class filtered_widget_mixin_update_strategy_t;
class standalone_dirtree_widget_t;
struct action_ctx_base_t;

// One operation over a selection (standalone_dirtree_widget_t::run_selection_operation runs it).
class selection_operation_t
{
public:
  virtual ~selection_operation_t() = default;
  // Runs over the selected entries (null: none) and their paths ("" for an entry the tree cannot name);
  // true when the tree changed. The strategy is posted afterwards.
  virtual bool run(standalone_dirtree_widget_t *widget, filtered_widget_mixin_update_strategy_t *strategy,
                   const dirtree_selection_t *entries, const std::vector<qstring> &paths) = 0;
};

// The handler of an application action over the selection of the context's standalone tree widget:
// activating runs the operation (0 without such a widget, else 1); the state is 3 when is_applicable
// agrees, else 7 (7 without a widget).
class standalone_dirtree_widget_action_helper_t : public action_handler_t, public selection_operation_t
{
public:
  int activate(ui_action_activation_ctx_t *context) override;
  int update(ui_action_update_ctx_t *context) override;
  // Whether the operation applies to the widget's selection.
  [[nodiscard]] virtual bool is_applicable(standalone_dirtree_widget_t *widget, const dirtree_selection_t *entries) = 0;
};

// Insert (kind 1), delete (kind 2) or open (kind 4) through the widget's create_item, delete_items and
// activate_items; any other kind does nothing. Deleting also asks for the folders left empty to be
// removed (strategy flag 0x1). Applicable as crud_action_state says.
class standalone_dirtree_widget_crud_action_helper_t final : public standalone_dirtree_widget_action_helper_t
{
public:
  explicit standalone_dirtree_widget_crud_action_helper_t(uint32_t kind) : kind_(kind) {}
  bool run(standalone_dirtree_widget_t *widget, filtered_widget_mixin_update_strategy_t *strategy,
           const dirtree_selection_t *entries, const std::vector<qstring> &paths) override;
  bool is_applicable(standalone_dirtree_widget_t *widget, const dirtree_selection_t *entries) override;

private:
  uint32_t kind_;
};

// The standalone tree widget of an action context (the tree view that is the widget or holds the focus),
// null when there is none.
[[nodiscard]] standalone_dirtree_widget_t *context_standalone_dirtree(const action_ctx_base_t *context);

// "DirTreeInsert", "DirTreeDelete", "DirTreeHideColumn" and "DirTreeManageColumns", in that order, for the
// application's action table (static).
[[nodiscard]] std::span<const action_desc_t> standalone_dirtree_action_descs();
