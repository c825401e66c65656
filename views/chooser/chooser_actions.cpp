// The chooser widget's actions and its context menu.
#include "views/chooser/chooser_actions.h"

#include "ui/action_context.h"
#include "ui/app_base.h"
#include "ui/popup_menu.h"
#include "ui/ui_action_registry.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_dirtree.h"
#include "views/chooser/chooser_widget.h"
#include "views/dirtree/dirtree_actions.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <array>
#include <cstring>

namespace {

// The header column under the mouse as the column actions' update handlers last saw it; the Hide column
// action hides it.
int remembered_column = -1;

// The standard actions, numbered as a source's descriptors and popup names.
enum standard_action_t : int
{
  std_insert = 0,
  std_delete = 1,
  std_edit = 2,
  std_refresh = 3,
};

int mask_state(ui_action_t *action, ui_action_update_ctx_t *context)
{
  app_t *app = current_app();
  return app != nullptr ? app->compute_action_state(action, context) : ACTION_STATE_INITIAL;
}

void set_visible(ui_action_t *action, bool visible)
{
  (void)action->apply_property(ACTION_PROP_VISIBLE, &visible);
}

// The update of Insert, Delete, Edit and Refresh: visible only when the source offers the action, enabled by
// the context, the selection and the source's descriptor, which also gives the label, tooltip and icon.
template <standard_action_t which>
int standard_state(ui_action_t *action, ui_action_update_ctx_t *context)
{
  chooser_widget_t *widget = context_chooser(context);
  if ( widget == nullptr || (widget->source()->flags & chooser_standard_flags[which]) == 0 )
  {
    set_visible(action, false);
    return ACTION_STATE_NOT_FOR_WIDGET;
  }
  const bool on_selection = which == std_delete || which == std_edit;
  chooser_stdact_desc_t *desc = widget->standard_action_desc(which);
  int state = mask_state(action, context);
  if ( state < ACTION_STATE_DISABLED_BIT )
  {
    const bool nothing_selected = context->chooser_selection.empty()
                                  && (which == std_edit || context->tree_selection == nullptr);
    if ( on_selection && nothing_selected )
      state = ACTION_STATE_MISSING_CONTEXT;
    else if ( desc != nullptr )
    {
      state = desc->action_state(context);
      if ( on_selection )
        state = state < ACTION_STATE_DISABLED_BIT ? ACTION_STATE_INITIAL : ACTION_STATE_MISSING_CONTEXT;
    }
    else
      state = on_selection ? ACTION_STATE_INITIAL : ACTION_STATE_ENABLED;
  }
  const bool shown = state < ACTION_STATE_DISABLED_BIT || state == ACTION_STATE_MISSING_CONTEXT;
  if ( shown && desc != nullptr )
  {
    if ( desc->label != nullptr )
      (void)action->apply_property(ACTION_PROP_LABEL, desc->label);
    if ( desc->tooltip != nullptr )
      (void)action->apply_property(ACTION_PROP_TOOLTIP, desc->tooltip);
    if ( desc->icon != -1 )
      (void)action->apply_property(ACTION_PROP_ICON, &desc->icon);
  }
  set_visible(action, shown);
  return state;
}

int insert_action(ui_action_activation_ctx_t *context)
{
  chooser_widget_t *widget = context_chooser(context);
  if ( widget == nullptr || (widget->source()->flags & chooser_can_insert) == 0 )
    return 1;
  // The source inserts into the folder of the tree's selection; the tree's current folder comes back after.
  const scoped_dirtree_chdir_t folder(widget->tree_mode() != chooser_widget_t::no_tree ? widget->folder_view() : nullptr,
                                      nullptr);
  // The folders that gain entries are expanded: the update is applied while the sync counter is raised.
  const sync_scope_t syncing(widget);
  widget->run_source_action(chooser_row_op_t::insert, 0, insert_reason);
  (void)widget->flush_model_update();
  return 1;
}

int delete_action(ui_action_activation_ctx_t *context)
{
  if ( chooser_widget_t *widget = context_chooser(context) )
    (void)widget->remove();
  return 1;
}

int edit_action(ui_action_activation_ctx_t *context)
{
  chooser_widget_t *widget = context_chooser(context);
  qvector<uint64_t> rows;
  if ( widget != nullptr && (widget->source()->flags & chooser_can_edit) != 0 && widget->get_selected_indexes(&rows) > 0 )
    widget->run_source_action(chooser_row_op_t::edit, whole_folders, refresh_reason);
  return 1;
}

int refresh_action(ui_action_activation_ctx_t *context)
{
  if ( chooser_widget_t *widget = context_chooser(context) )
    widget->refresh_items(nullptr, refresh_reason, false);
  return 1;
}

// Copy and Copy all: enabled by the context.
int chooser_widget_state(ui_action_t *action, ui_action_update_ctx_t *context)
{
  if ( context_chooser(context) == nullptr )
    return ACTION_STATE_NOT_FOR_WIDGET;
  return mask_state(action, context) < ACTION_STATE_DISABLED_BIT ? ACTION_STATE_INITIAL : ACTION_STATE_MISSING_CONTEXT;
}

int copy_action(ui_action_activation_ctx_t *context)
{
  if ( chooser_widget_t *widget = context_chooser(context) )
    widget->table()->copy_selected_rows();
  return 1;
}

int copy_all_action(ui_action_activation_ctx_t *context)
{
  if ( chooser_widget_t *widget = context_chooser(context) )
    widget->table()->copy_all_rows();
  return 1;
}

// The column actions: enabled by the context, remembering the header column under the mouse.
int column_action_state(ui_action_t *action, ui_action_update_ctx_t *context)
{
  if ( context_chooser(context) == nullptr )
    return ACTION_STATE_NOT_FOR_WIDGET;
  if ( mask_state(action, context) >= ACTION_STATE_DISABLED_BIT )
    return ACTION_STATE_MISSING_CONTEXT;
  remembered_column = context->header_column;
  return ACTION_STATE_INITIAL;
}

int hide_column_state(ui_action_t *action, ui_action_update_ctx_t *context)
{
  const int state = column_action_state(action, context);
  if ( state != ACTION_STATE_INITIAL )
    return state;
  const chooser_widget_t *widget = context_chooser(context);
  if ( remembered_column < 0 || (remembered_column == 0 && (widget->source()->flags & chooser_has_folders) != 0) )
    return ACTION_STATE_MISSING_CONTEXT;
  return ACTION_STATE_INITIAL;
}

int hide_column_action(ui_action_activation_ctx_t *context)
{
  chooser_widget_t *widget = context_chooser(context);
  if ( widget == nullptr || remembered_column < 0 )
    return 0;
  return widget->hide_column(remembered_column) ? 1 : 0;
}

int manage_columns_action(ui_action_activation_ctx_t *context)
{
  chooser_widget_t *widget = context_chooser(context);
  if ( widget == nullptr )
    return 0;
  (void)widget->manage_columns();
  return 1;
}

int toggle_tree_state(ui_action_t *action, ui_action_update_ctx_t *context)
{
  chooser_widget_t *widget = context_chooser(context);
  if ( widget == nullptr )
    return ACTION_STATE_NOT_FOR_WIDGET;
  const bool offered = mask_state(action, context) < ACTION_STATE_DISABLED_BIT && widget->offers_tree_forms();
  if ( offered )
  {
    const bool checked = widget->tree_mode() != chooser_widget_t::no_tree;
    (void)action->apply_property(ACTION_PROP_CHECKED, &checked);
  }
  set_visible(action, offered);
  return offered ? ACTION_STATE_INITIAL : ACTION_STATE_MISSING_CONTEXT;
}

int toggle_tree_action(ui_action_activation_ctx_t *context)
{
  chooser_widget_t *widget = context_chooser(context);
  if ( widget == nullptr )
    return 0;
  const bool flat = widget->tree_mode() == chooser_widget_t::no_tree;
  widget->set_tree_mode(flat ? chooser_widget_t::full_tree : chooser_widget_t::no_tree, nullptr);
  widget->refresh_items(nullptr, refresh_reason, false);
  return 1;
}

action_desc_t chooser_action(const char *name, action_desc_t::activate_fn activate, action_desc_t::update_fn update,
                             const char *label, uint32_t flags = 0)
{
  action_desc_t desc;
  desc.name = name;
  desc.activate = activate;
  desc.update = update;
  desc.widget_classes = WIDGET_CLASS_CHOOSER;
  desc.flags = ACTION_FLAG_UPDATE_DECIDES | flags;
  desc.label = label;
  desc.tooltip = label;
  return desc;
}

const std::array<action_desc_t, 9> descs = {
  chooser_action(chooser_insert_action, insert_action, standard_state<std_insert>, "Insert..."),
  chooser_action(chooser_delete_action, delete_action, standard_state<std_delete>, "Delete"),
  chooser_action(chooser_edit_action, edit_action, standard_state<std_edit>, "Edit..."),
  chooser_action(chooser_refresh_action, refresh_action, standard_state<std_refresh>, "Refresh"),
  chooser_action(chooser_copy_action, copy_action, chooser_widget_state, "Copy"),
  chooser_action(chooser_copy_all_action, copy_all_action, chooser_widget_state, "Copy all"),
  chooser_action(chooser_manage_columns_action, manage_columns_action, column_action_state, "Columns..."),
  chooser_action(chooser_hide_column_action, hide_column_action, hide_column_state, "Hide column"),
  chooser_action(chooser_toggle_tree_action, toggle_tree_action, toggle_tree_state, "Show folders",
                 ACTION_FLAG_CHECKABLE),
};

constexpr const char *model_action_names[] = {
  chooser_insert_action,         chooser_delete_action,       chooser_edit_action,         chooser_refresh_action,
  chooser_copy_action,           chooser_copy_all_action,     chooser_unsort_action,       chooser_quick_filter_action,
  chooser_modify_filters_action, chooser_reset_filters_action, chooser_search_action,      chooser_search_again_action,
  chooser_hide_column_action,    chooser_manage_columns_action,
};

bool named(QAction *qaction, const char *name)
{
  const ui_action_t *action = find_ui_action_of_qaction(qaction);
  return action != nullptr && std::strcmp(action->name().c_str(), name) == 0;
}

} // namespace

std::span<const char *const> chooser_model_action_names()
{
  return model_action_names;
}

std::span<const action_desc_t> chooser_action_descs()
{
  return descs;
}

chooser_widget_t *context_chooser(action_ctx_base_t *context)
{
  app_t *app = current_app();
  ui_action_context_provider_t *provider = app != nullptr ? app->get_action_context_provider() : nullptr;
  chooser_view_t *view = provider != nullptr ? provider->context_chooser_widget(context) : nullptr;
  return view != nullptr ? as_chooser_widget(dynamic_cast<QWidget *>(view)) : nullptr;
}

// ---- The context menu ------------------------------------------------------------------------------------

void chooser_widget_t::populate_popup(void *popup_context)
{
  auto *popup = static_cast<popup_menu_ctx_t *>(popup_context);
  if ( popup == nullptr || source_ == nullptr )
    return;
  // The folder tree's own entries come first while it has the focus; the table's copies are not its own.
  const bool in_tree = tree_view_ != nullptr && tree_view_->isVisible()
                    && dynamic_cast<base_dirtree_widget_t *>(QApplication::focusWidget()) == tree_view_;
  if ( in_tree )
    populate_dirtree_popup(popup);
  for ( QAction *qaction : popup_menu_->actions() )
  {
    if ( qaction->isSeparator() )
    {
      // A separator between entries, never one that would open the popup.
      if ( popup->menu != nullptr && !popup->menu->isEmpty() )
        (void)popup->attach_qaction(nullptr, nullptr, 0);
      continue;
    }
    if ( !qaction->isEnabled() || named(qaction, "UndoAction") || named(qaction, "RedoAction") )
      continue;
    if ( in_tree && (named(qaction, chooser_copy_action) || named(qaction, chooser_copy_all_action)) )
      continue;
    if ( (named(qaction, chooser_unsort_action) && !sorting_allowed())
         || ((named(qaction, chooser_quick_filter_action) || named(qaction, chooser_modify_filters_action)
              || named(qaction, chooser_reset_filters_action))
             && !quick_filter_allowed()) )
      continue;
    (void)popup->attach_qaction(qaction, nullptr, 0);
  }
  const auto attach = [popup](const char *name) {
    if ( ui_action_t *action = find_ui_action(name) )
      (void)popup->attach_action(action, nullptr, 0);
  };
  (void)popup->attach_separator(nullptr, 0);
  (void)popup->attach_separator(nullptr, 0);
  attach(chooser_hide_column_action);
  attach(chooser_manage_columns_action);
  (void)popup->attach_separator(nullptr, 0);
  attach(chooser_toggle_tree_action);
  for ( size_t i = 0; extra_popup_entries != nullptr && i < extra_popup_count; ++i )
    if ( ui_action_t *action = find_ui_action(extra_popup_entries[i].action_name) )
      (void)popup->attach_action(action, extra_popup_entries[i].path, extra_popup_entries[i].flags);
}
