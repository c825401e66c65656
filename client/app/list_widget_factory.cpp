// The widget factory's lists: chooser widgets with their tables and persistence, quick filters, filter dialogs.
#include "client/app/akui_app.h"
#include "client/views/akui_chooser_widget.h"
#include "client/views/view_state_persistence.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/column_filters_dialog.h"
#include "views/filter/quick_filter_widget.h"

QWidget *akui_app_t::new_quick_filter_widget(QWidget *parent)
{
  return new quick_filter_widget_t(parent);
}

ui_dialog_t *akui_app_t::new_edit_filters_dialog(filtered_widget_mixin_t *engine, QWidget *parent)
{
  return new edit_filters_dialog_t(engine, parent);
}

dirtree_widget_persistence_helper_t *akui_app_t::new_dirtree_persistence_helper(QWidget *view)
{
  return new akui_dirtree_widget_persistence_helper_t(view);
}

chooser_widget_t *akui_app_t::new_chooser_widget(const chooser_widget_setup_t &setup)
{
  return new akui_chooser_widget_t(setup);
}

chooser_table_widget_t *akui_app_t::new_table_view(chooser_widget_t *owner)
{
  return new chooser_table_widget_t(owner, nullptr);
}

std::unique_ptr<chooser_persistence_helper_t> akui_app_t::new_chooser_persistence_helper(chooser_widget_t *widget)
{
  return std::make_unique<akui_chooser_persistence_helper_t>(widget);
}
