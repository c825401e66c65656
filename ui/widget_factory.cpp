// The widget factory's own slots for filtered views, forms and reversible operations; the view and form makers
// are installed by the libraries above.
#include "ui/widget_factory.h"

#include "ui/view_interfaces.h"

namespace {

form_makers_t installed_makers;

} // namespace

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

form_widget_t *ui_widget_factory_t::new_form_widget()
{
  return installed_makers.new_form_widget != nullptr ? installed_makers.new_form_widget() : nullptr;
}

forms_ui::controller_t *ui_widget_factory_t::new_form_controller(forms_ui::form_model_t *model)
{
  return installed_makers.new_form_controller != nullptr ? installed_makers.new_form_controller(model) : nullptr;
}

form_makers_t set_form_makers(const form_makers_t &makers)
{
  const form_makers_t previous = installed_makers;
  installed_makers = makers;
  return previous;
}
