// What the framework below reaches of the forms library: installed once at start-up.
#pragma once

// Installs the widget factory's form makers (a plain form widget, a forms_ui::controller_t over a model) and
// the popup forwarding to an enclosing forms_ui::dialog_t. GUI thread; installing again changes nothing.
void install_form_services();
