// What the framework below reaches of the forms library.
#include "forms/inputs/form_services.h"

#include "forms/form_widget.h"
#include "forms/inputs/forms_controller.h"
#include "ui/popup_menu.h"
#include "ui/widget_factory.h"

void install_form_services()
{
  form_makers_t makers;
  makers.new_form_widget = []() -> form_widget_t * { return new form_widget_t; };
  makers.new_form_controller = [](forms_ui::form_model_t *model) -> forms_ui::controller_t * {
    return new forms_ui::controller_t(model);
  };
  (void)set_form_makers(makers);
  (void)set_forward_to_form_dialog(&forms_ui::forward_to_form_dialog);
}
