// The second form front end: a controller that turns the Qt signals of a form model's widgets into the model's
// callbacks, the dialog that owns one, and the number and address texts of its fields.
#pragma once

#include "core/qstring.h"
#include "ui/dialog_base.h"
#include "ui/object_lifecycle_monitor.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QColor;
class QEvent;
class QLineEdit;
class form_chooser_t;
struct popup_menu_ctx_t;
struct ui_action_activation_ctx_t;

namespace forms_ui
{

// The field types a controller acts on; it ignores every other type.
enum field_type_t : int
{
  field_string = 3,
  field_number = 4,
  field_address = 5,
  field_check_box = 6,
  field_button = 9,
  field_color = 11,
  field_file_picker = 12,
  field_dialog_button = 13,
};

// What a dialog button does when the model leaves it to the dialog.
enum dialog_button_role_t : int
{
  role_yes = 1, // accepts
  role_ok = 2,  // accepts
  role_no = 3,  // rejects
  role_cancel = 4, // rejects
  role_help = 5,   // shows the model's help topic
};

// Radix codes and flags of a number field.
enum number_radix_t : int
{
  radix_octal = 0,
  radix_decimal = 1,
  radix_hexadecimal = 2,
};
enum number_flags_t : int
{
  number_unsigned = 1,
  number_no_prefix = 2, // shown and read in the radix of the code, without "0" or "0x"
  number_relative = 4,  // "+n" and "-n" are taken from the base value
};

// A field's own number conversion, tried first: each answers -1 (failed), 1 (done) or 0 (the standard
// conversion goes on; a text format wrote stays in front of what it adds).
class number_converter_t
{
public:
  virtual ~number_converter_t() = default;
  virtual int format(qstring *out, uint64_t value) = 0;
  virtual int parse(uint64_t *out, const char *text) = 0;
};

// How a number field shows and reads its value.
struct number_format_t
{
  number_converter_t *converter = nullptr; // not owned
  int radix = radix_decimal;
  int flags = 0;
  uint64_t base = 0; // where relative entry starts from
};

// One field of a form model, as the controller reads and writes it.
struct field_desc_t
{
  int type = 0;
  qstring text;        // a string's value; a file picker's current path
  uint64_t number = 0; // a number's or an address's value
  qstring history;     // the input history of a string, number, address or file picker; empty: none
  number_format_t number_format;
  uint8_t checked = 0; // a check box's state
  uint32_t color = 0;  // 0x00BBGGRR (red in the low byte); all ones for no colour
  int role = 0;        // a dialog button's dialog_button_role_t
  bool for_saving = false; // a file picker asks for a name to save
  qstring prompt;          // a file picker's dialog title
  form_chooser_t *chooser = nullptr; // an embedded list (not owned); state word bit 0x80 keeps its changes quiet
};

// The event code of on_event: a watched object is being shown.
constexpr int model_event_show = 3;

// The model behind a controller: what it is told about its fields.
class form_model_t
{
public:
  virtual ~form_model_t() = default;
  virtual void on_event(int code, QEvent *event) = 0;
  virtual void on_field_changed(field_desc_t *field) = 0;
  virtual void on_button_pressed(field_desc_t *field) = 0;
  virtual void on_dialog_finished(bool accepted) = 0;
  // Asked before a dialog button acts; non-zero: the model handled it.
  virtual int on_dialog_button(field_desc_t *field) = 0;
  // A popup menu is about to show for the widget (field: the one bound to it, or null).
  virtual void on_popup(field_desc_t *field, QWidget *widget, popup_menu_ctx_t *popup,
                        ui_action_activation_ctx_t *context) = 0;
  [[nodiscard]] virtual int help_id() const = 0;
};

// Turns the signals of watched widgets into the model's callbacks, each slot acting on the entry of the sending
// widget (or of its parent where the slot says so). Promises: an entry whose widget died is skipped; the model
// and the fields are the caller's and outlive the controller.
class controller_t : public QObject
{
  Q_OBJECT

public:
  explicit controller_t(form_model_t *model);
  ~controller_t() override;

  [[nodiscard]] form_model_t *model() const { return model_; }
  // Watches the widget as the field's and connects what its type sends: a string, number or address its line
  // edit's textChanged; a check box toggled; a button or dialog button clicked; a colour its ColorButton
  // child's colorChanged; a file picker its QPushButton child's clicked and its line edit's textChanged; a
  // field with an embedded list the widget's selection_state_changed(bool).
  void watch(QWidget *widget, field_desc_t *field);
  // The field bound to a live watched widget, null when none.
  [[nodiscard]] field_desc_t *field_of(const QObject *widget) const;
  // The line edit of a field's widget: a file picker's QLineEdit child, the line edit of the editable combo box
  // of a field with a history, else the widget itself when it is a line edit; null when none.
  [[nodiscard]] static QLineEdit *line_edit_of(QWidget *widget, const field_desc_t &field);

  // A Show event of an object it filters goes to the model's on_event first.
  bool eventFilter(QObject *watched, QEvent *event) override;

  // Address texts: upper-case hexadecimal without prefix; the empty text for all ones. Parsing succeeds when
  // the text reads as one hexadecimal number.
  [[nodiscard]] virtual QString format_address(uint64_t value);
  // "-" for a negative signed value, "0" or "0x" unless number_no_prefix, then the digits of the magnitude in
  // the format's radix. A radix code other than 0, 1 and 2 is internal error 70131.
  [[nodiscard]] virtual QString format_number(uint64_t value, const number_format_t &format);
  [[nodiscard]] virtual bool parse_address(uint64_t *out, const char *text);
  // Reads "0x" (hexadecimal) and a leading "0" (octal) prefixes, else the format's radix with
  // number_no_prefix, else decimal; digits up to the first that is none. A sign: '-' negates in a signed field
  // and, with relative entry, subtracts from the base ('+' adds), an unsigned result never going below zero.
  // With number_no_prefix, text left after the digits must read as a decimal number, which is the result.
  [[nodiscard]] virtual bool parse_number(uint64_t *out, const number_format_t &format, const char *text);

public slots:
  // Accepted (1): the line edit text of every field with a history goes into that history (a dead widget
  // there is internal error 40345). Then the model hears of the end.
  void on_dialog_finished(int result);
  // The sender, or the combo box whose line edit sent it: a string takes the text, a number and an address
  // their parsed value when it parses. The model hears of the change.
  void on_QLineEdit_textChanged(const QString &text);
  void on_QAbstractButton_toggled(bool checked);
  // A selection (true) of a list whose state word lacks 0x80 is a change of its field.
  void on_chooser_widget_t_selection_state_changed(bool selected);
  void on_QPushButton_clicked(bool checked);
  // Unless the model handles it, role 1 or 2 accepts the open dialog of this model, 3 or 4 rejects it, 5 shows
  // the model's help topic; nothing when no such dialog is open.
  void on_dialog_QPushButton_clicked(bool checked);
  // The sender's parent's field takes the colour (all ones for an invalid one).
  void on_ColorButton_colorChanged(const QColor &color);
  // Asks for a file (UI callback code 29) with the picker's direction, path and prompt; a chosen path becomes
  // the value and the line edit's text (without a change signal).
  void on_file_picker_QPushButton_clicked(bool checked);
  void on_file_picker_QLineEdit_textChanged(const QString &text);

private:
  struct watched_t
  {
    std::unique_ptr<object_lifecycle_monitor_t> monitor;
    field_desc_t *field; // not owned
  };
  // The field of a live watched object of that type; null otherwise.
  [[nodiscard]] field_desc_t *field_of_type(const QObject *object, int type) const;

  form_model_t *model_; // not owned
  std::vector<watched_t> watched_;
};

// The dialog of this front end: owns the controller over its model that the widget factory makes, filters its
// own events through it and reports its end to it. Listed among the open form dialogs for its whole life.
class dialog_t : public ui_dialog_t
{
  Q_OBJECT

public:
  dialog_t(form_model_t *model, QWidget *parent);
  ~dialog_t() override;

  // Null when the factory made none.
  [[nodiscard]] controller_t *controller() const { return controller_.get(); }

private:
  std::unique_ptr<controller_t> controller_;
};

// The form dialogs open now, in opening order. GUI thread.
[[nodiscard]] const std::vector<dialog_t *> &open_dialogs();

// Lets the nearest form dialog among the widget and its parents add to the widget's popup: its model's
// on_popup with the field bound to the widget. Nothing for a null widget or without such a dialog.
void forward_to_form_dialog(popup_menu_ctx_t *popup, QWidget *widget, ui_action_activation_ctx_t *context);

} // namespace forms_ui
