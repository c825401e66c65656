// The widget factory's form slots, answered by the makers that the forms library installs.
#include "ui/widget_factory.h"

namespace {

form_makers_t installed_makers;

} // namespace

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
