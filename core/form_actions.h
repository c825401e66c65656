// What a form's callback receives while the form engine shows a form (UI callback request 30).
#pragma once

// The engine's side of an open form, handed to the form's callback. Field ids are the numbers the form
// description gives its fields. Promise: valid only during the callback call that received it.
class form_actions_t
{
public:
  // Reads the current value of a field into out, in the field kind's own type (a check box with its own id:
  // its state as a 16-bit 0 or 1). False when the id names no field.
  [[nodiscard]] virtual bool read_field_value(int field_id, void *out) = 0;
  // Shows or hides a field together with its label. False when the id names no field.
  [[nodiscard]] virtual bool show_field(int field_id, bool show) = 0;

protected:
  // Owned by the engine; never deleted through this interface.
  ~form_actions_t() = default;
};

// Codes a form's callback receives in place of a field id.
enum form_callback_code : int
{
  form_code_ready = -1,     // the form starts (also before a modal dialog is shown)
  form_code_yes = -2,       // Yes or OK pressed
  form_code_closing = -3,   // the window is being closed
  form_code_destroyed = -5, // the form is being destroyed (the last call)
  form_code_no = -6,        // No pressed
  form_code_cancel = -7,    // Cancel pressed
};

// A form's callback ("%/" in a form description): called with form_callback_code values and with the id of a
// field whose value changed. For the ready code and field changes its answer 1 lets the form go on.
using form_callback_t = int (*)(int field_id, form_actions_t &actions);
