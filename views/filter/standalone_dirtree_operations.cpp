// Selection operations of the standalone tree widget and its own actions.
#include "views/filter/standalone_dirtree_operations.h"

#include "ui/action_context.h"
#include "views/dirtree/dirtree_actions.h"
#include "views/filter/columns_chooser.h"
#include "views/filter/filtered_widget_update.h"
#include "views/filter/standalone_dirtree_widget.h"

#include <QCursor>
#include <QHeaderView>

#include <array>

standalone_dirtree_widget_t *context_standalone_dirtree(const action_ctx_base_t *context)
{
  return context != nullptr ? as_standalone_dirtree(context->tree_view) : nullptr;
}

int standalone_dirtree_widget_action_helper_t::activate(ui_action_activation_ctx_t *context)
{
  standalone_dirtree_widget_t *widget = context_standalone_dirtree(context);
  if ( widget == nullptr )
    return 0;
  (void)widget->run_selection_operation(this, context->tree_selection);
  return 1;
}

int standalone_dirtree_widget_action_helper_t::update(ui_action_update_ctx_t *context)
{
  standalone_dirtree_widget_t *widget = context_standalone_dirtree(context);
  if ( widget == nullptr )
    return ACTION_STATE_MISSING_CONTEXT;
  return is_applicable(widget, context->tree_selection) ? ACTION_STATE_INITIAL : ACTION_STATE_MISSING_CONTEXT;
}

bool standalone_dirtree_widget_crud_action_helper_t::run(standalone_dirtree_widget_t *widget,
                                                         filtered_widget_mixin_update_strategy_t *strategy,
                                                         const dirtree_selection_t *entries,
                                                         const std::vector<qstring> &paths)
{
  switch ( kind_ )
  {
  case standalone_dirtree_insert:
    return widget->create_item(strategy, entries, paths);
  case standalone_dirtree_delete:
    strategy->flags |= strategy_remove_empty_folders;
    return widget->delete_items(strategy, entries, paths);
  case standalone_dirtree_open:
    return widget->activate_items(strategy, entries, paths);
  default:
    return false;
  }
}

bool standalone_dirtree_widget_crud_action_helper_t::is_applicable(standalone_dirtree_widget_t *widget,
                                                                   const dirtree_selection_t *entries)
{
  return widget->crud_action_state(entries, kind_);
}

namespace
{

// ---- Handlers -------------------------------------------------------------------------------------------

template <uint32_t kind>
int crud_activate(ui_action_activation_ctx_t *context)
{
  standalone_dirtree_widget_crud_action_helper_t helper(kind);
  return helper.activate(context);
}

template <uint32_t kind>
int crud_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  standalone_dirtree_widget_crud_action_helper_t helper(kind);
  return helper.update(context);
}

int hide_column(ui_action_activation_ctx_t *context)
{
  standalone_dirtree_widget_t *widget = context_standalone_dirtree(context);
  if ( widget == nullptr )
    return 0;
  QHeaderView *header = widget->header();
  const int section = widget->remembered_section;
  if ( section < 0 || section >= header->count() )
    return 0;
  header->setSectionHidden(section, true);
  return 1;
}

// Remembers the section under the mouse pointer, which the activation then hides.
int hide_column_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  standalone_dirtree_widget_t *widget = context_standalone_dirtree(context);
  if ( widget == nullptr )
    return ACTION_STATE_NOT_FOR_WIDGET;
  const QHeaderView *header = widget->header();
  const QPoint at = header->mapFromGlobal(QCursor::pos());
  widget->remembered_section = header->rect().contains(at) ? header->logicalIndexAt(at) : -1;
  return ACTION_STATE_INITIAL;
}

int manage_columns(ui_action_activation_ctx_t *context)
{
  standalone_dirtree_widget_t *widget = context_standalone_dirtree(context);
  if ( widget == nullptr )
    return 0;
  std::vector<qstring> titles;
  widget->column_titles(&titles);
  (void)columns_chooser_dialog(widget->header(), titles, 0);
  return 1;
}

int manage_columns_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  return context_standalone_dirtree(context) != nullptr ? ACTION_STATE_INITIAL : ACTION_STATE_NOT_FOR_WIDGET;
}

// ---- Descriptions ---------------------------------------------------------------------------------------

// Every widget kind; menu flags 0x18 (the low half of the context word, stored and not read).
constexpr uint64_t widget_menu_flags = 0x18;

constexpr std::array<action_desc_t, 4> descs = {{
  dirtree_action_desc("DirTreeInsert", crud_activate<standalone_dirtree_insert>, crud_state<standalone_dirtree_insert>,
                      "Insert...", widget_menu_flags, 0),
  dirtree_action_desc("DirTreeDelete", crud_activate<standalone_dirtree_delete>, crud_state<standalone_dirtree_delete>,
                      "Delete", widget_menu_flags, 0),
  dirtree_action_desc("DirTreeHideColumn", hide_column, hide_column_state, "Hide column", widget_menu_flags,
                      ACTION_FLAG_UPDATE_DECIDES),
  dirtree_action_desc("DirTreeManageColumns", manage_columns, manage_columns_state, "Columns...", widget_menu_flags,
                      ACTION_FLAG_UPDATE_DECIDES),
}};

} // namespace

std::span<const action_desc_t> standalone_dirtree_action_descs()
{
  return descs;
}
