// The widget factory's own slots for filtered views and reversible operations.
#include "ui/widget_factory.h"

#include "ui/view_interfaces.h"

QWidget *ui_widget_factory_t::new_quick_filter_widget(QWidget *parent)
{
  const view_widget_makers_t &makers = view_widget_makers();
  return makers.quick_filter_widget != nullptr ? makers.quick_filter_widget(parent) : nullptr;
}

ui_dialog_t *ui_widget_factory_t::new_edit_filters_dialog(filtered_widget_mixin_t *engine, QWidget *parent)
{
  const view_widget_makers_t &makers = view_widget_makers();
  return makers.edit_filters_dialog != nullptr ? makers.edit_filters_dialog(engine, parent) : nullptr;
}

ui_owned_object_t *ui_widget_factory_t::new_reversible_op_ctl(const char * /*title*/, const char * /*text*/)
{
  return new ui_reversible_op_ctl_t;
}
