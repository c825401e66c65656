// What a form's callback and its button handlers receive while the form engine shows a form.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstddef>

class QWidget; // the forms library's widgets; the core only passes the pointer on

// The engine's side of an open form, handed to the form's callback and button handlers. Field ids are the
// numbers the form description gives its fields. Ids that name no field answer false, -1 or null and report
// nothing. Promise: valid only during the call that received it.
class form_actions_t
{
public:
  // Reads the current value of a field into out, in the field kind's own type (a check box with its own id:
  // its state as a 16-bit 0 or 1). Every kind but the text kinds (labels, A F T X f), which need
  // read_field_value_typed; the wrong getter warns and answers false.
  [[nodiscard]] virtual bool read_field_value(int field_id, void *out) = 0;
  // Writes the value into the field's widget (the caller's variable is not touched). The form's callback is
  // not called for this change.
  virtual bool write_field_value(int field_id, const void *value) = 0;
  // Enables or shows a field together with its label, browse button or group box.
  virtual bool enable_field(int field_id, bool enable) = 0;
  virtual bool show_field(int field_id, bool show) = 0;
  // Answers 0.
  [[nodiscard]] virtual int null_query() = 0;
  // The id of the field with the focus (of the start field before the form is shown); -1 when none.
  [[nodiscard]] virtual int focused_field_id() = 0;
  // Gives the field the focus, or makes it the start field of a form not shown yet. False for a label.
  virtual bool focus_field(int field_id) = 0;
  // Refills a combo box ('b') from its list, reloads an embedded list ('E'); nothing for other kinds.
  virtual void reload_field(int field_id) = 0;
  // Ends the form: a dialog with 1 (ok) or -1, a docked form by closing it.
  virtual void close_form(bool ok) = 0;
  // The "%*" argument of the description, null without one.
  [[nodiscard]] virtual void *caller_data() = 0;
  // Reads a text kind (labels, A F T X f) into a buffer of `size` bytes; false for size 0 or another kind.
  [[nodiscard]] virtual bool read_field_value_typed(int field_id, void *out, size_t size) = 0;
  // Enables a dialog button: 0 Yes, 1 Cancel, 2 No. False when the form has no such button.
  virtual bool switch_dialog_button(int which, bool enable) = 0;
  [[nodiscard]] virtual bool dialog_button_enabled(int which) = 0;
  // The field's widget, null when none. For a combo box ('b') with a list, the list is exchanged with the
  // field's and the box refilled: the caller gets the old list back.
  [[nodiscard]] virtual QWidget *field_widget(int field_id, qvector<qstring> *items) = 0;
  // Sets the label above an embedded list, text area or type editor ('E', 'e', 't'); empty removes it.
  virtual bool set_field_label(int field_id, const qstring &text) = 0;
  // Tab pages of a tab control ('=' id): what 1 visibility, 2 enabled state. False for a bad id or page.
  virtual bool set_tab_state(int tab_id, int page, int what, const bool *value) = 0;
  [[nodiscard]] virtual bool tab_state(bool *out, int tab_id, int page, int what) = 0;

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
// field whose value changed. For the closing codes an answer above 0 lets the form close.
using form_callback_t = int (*)(int field_id, form_actions_t &actions);
// The same callback under the name some callers use.
using form_change_callback = form_callback_t;
// The handler of a button field ('B', 'k'): called with the button's code (its width subfield); the answer is
// not used.
using form_button_handler_t = int (*)(int button_code, form_actions_t &actions);
