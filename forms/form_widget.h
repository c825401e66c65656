// The widget a form description becomes: its controls, the caller's variables, the callback and the keys.
#pragma once

#include "core/form_actions.h"
#include "forms/form_args.h"
#include "forms/form_parser.h"
#include "forms/form_values.h"

#include <QDialog>
#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <array>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QAbstractButton;
class QComboBox;

class QDialogButtonBox;
class QPushButton;
class QSignalMapper;
class QTabWidget;
class QVBoxLayout;
class form_chooser_t;
class form_widget_t;

// One built control. A new record has id -1 until the builder sets it.
struct form_control_t
{
  QObject *widget = nullptr;       // combo box, line edit, button, button group, container, tab widget, label
  std::vector<QWidget *> extra;    // its buddy label, browse button or group box
  void *value = nullptr;           // the caller's variable, or a button's handler
  void *second = nullptr;          // a 'b' field's string list
  int flags = 0;
  char type = 0;                   // field letter; 'G' / 'g' groups, '=' tab widget, ' ' / 'h' dynamic labels
  int id = -1;
  uint64_t max_length = 0;
  char value_type = 0;             // a dynamic label's value letter
  form_chooser_t *chooser = nullptr; // an 'E' field's list (not owned)
  int group_control = -1;          // a check box or radio button: the index of its group's control
};

// The form callback's side of a form: reads and writes fields by id. Lives inside its form widget.
class form_actions_impl_t : public form_actions_t
{
public:
  explicit form_actions_impl_t(form_widget_t *form) : form_(form) {}

  bool read_field_value(int field_id, void *out) override;
  bool write_field_value(int field_id, const void *value) override;
  bool enable_field(int field_id, bool enable) override;
  bool show_field(int field_id, bool show) override;
  int null_query() override { return 0; }
  int focused_field_id() override;
  bool focus_field(int field_id) override;
  void reload_field(int field_id) override;
  void close_form(bool ok) override;
  void *caller_data() override { return caller_data_; }
  bool read_field_value_typed(int field_id, void *out, size_t size) override;
  bool switch_dialog_button(int which, bool enable) override;
  bool dialog_button_enabled(int which) override;
  QWidget *field_widget(int field_id, qvector<qstring> *items) override;
  bool set_field_label(int field_id, const qstring &text) override;
  bool set_tab_state(int tab_id, int page, int what, const bool *value) override;
  bool tab_state(bool *out, int tab_id, int page, int what) override;

  // The first control of that id (its index), or -1; a control recorded under the negated id ends the search.
  [[nodiscard]] int find_control(int field_id) const;

  void *caller_data_ = nullptr;
  int closing = 0; // 1 while the form asks its callback whether it may close

private:
  bool read_value(int field_id, void *out, size_t size, bool typed);
  template <typename Apply>
  bool apply_to_field(int field_id, Apply apply);
  QPushButton *dialog_button(int which) const;
  // The tab widget of a tab control id when the page is one of its pages; null otherwise.
  QTabWidget *tab_page(int tab_id, int page) const;

  form_widget_t *form_; // the owner
};

// Bit of form_widget_t::flags: the form writes its values back itself when it is confirmed.
constexpr int form_flag_autosync = 1;

// A form built from a description. Promises: the callback is never re-entered for a change it made itself; the
// controls live as long as the form; the live list holds every form widget from construction to destruction.
class form_widget_t : public QWidget
{
  Q_OBJECT
  friend class form_actions_impl_t;
  friend bool compile_form(form_widget_t *form, const char *text, form_args_t &args);
  friend class form_builder_t;

public:
  form_widget_t();
  ~form_widget_t() override;

  // ---- Overridable conversions (a derived form may change them) -----------------------------------
  virtual void spare_hook() {}
  virtual void before_callback() {}
  [[nodiscard]] virtual int value_radix() { return 10; }
  [[nodiscard]] virtual bool parse_address(uint64_t *out, const char *text);
  [[nodiscard]] virtual QString format_address(uint64_t value);
  [[nodiscard]] virtual bool value_to_text(const void *value, char type, QString *out);
  [[nodiscard]] virtual bool text_to_value(void *value, size_t size, const QString &text, char type, bool silent,
                                           const form_control_t *control);
  [[nodiscard]] virtual bool parse_number(int64_t *out, QString *error, const char *text);
  // A parentless combo box; editable ones edit in an input_field_t of that length and show the history of the
  // item's type.
  [[nodiscard]] virtual QComboBox *new_combo_box(bool editable, int max_length, const form_item_t *item);

  // ---- The callback ----------------------------------------------------------------------------------
  // Calls the callback with the id; 1 without one or when it is running already.
  int call_form_callback(int id);
  // Asks the callback whether the form may close with that code (AUTOSYNC writes the values first for -2).
  [[nodiscard]] bool confirm_close(int code);
  // Writes every input control's value into its variable; false (the field gets the focus) when one does not
  // read.
  [[nodiscard]] bool sync_all_values();
  // Opens the form without a dialog: the callback hears -1, then the application presents the form as a dock
  // (flags: the dock options word, sized from the form's hint) and the start widget gets the focus.
  void present(int flags);

  // ---- Values of controls ------------------------------------------------------------------------------
  // The text of a value, with the form's radix; false (and, unless silent, a warning) without a text form.
  [[nodiscard]] bool format_value(const void *value, char type, QString *out, bool silent);
  [[nodiscard]] bool read_control_value(const form_control_t &control, void *buffer, size_t size, bool silent,
                                        QString *text_out = nullptr);
  [[nodiscard]] bool write_control_value(form_control_t &control, const void *value);

  // ---- State ----------------------------------------------------------------------------------------
  [[nodiscard]] const std::vector<form_control_t> &controls() const { return controls_; }
  [[nodiscard]] const std::vector<QWidget *> &placed_widgets() const { return placed_; }
  [[nodiscard]] form_actions_impl_t &actions() { return actions_; }
  [[nodiscard]] form_callback_t callback() const { return callback_; }
  [[nodiscard]] int callback_state() const { return state_; }
  [[nodiscard]] QDialogButtonBox *button_box() const { return button_box_; }
  [[nodiscard]] QWidget *start_widget() const { return start_widget_; }
  void set_start_widget(QWidget *widget) { start_widget_ = widget; }
  // The dialog the form is shown in (not owned), null for a form of its own.
  void set_host_dialog(QDialog *dialog) { host_ = dialog; }
  [[nodiscard]] QDialog *host_dialog() const { return host_; }
  [[nodiscard]] bool has_button(int which) const { return buttons_[size_t(which)].has_value(); }
  [[nodiscard]] int flags() const { return flags_; }
  [[nodiscard]] const QString &help_text() const { return help_text_; }
  [[nodiscard]] int help_id() const { return help_id_; }

public slots:
  void on_button_yes();
  void on_button_box_clicked(QAbstractButton *button);
  void on_focus_next_prev_child_requested(bool next);
  void form_activate() {}
  void form_deactivate() {}
  void populate_popup(void *) {}
  void qtInputFieldChanged();
  void qtButtonClicked(int index);
  void qtFileBtnClicked(int index);
  void qtColorButtonClicked(int index);
  void qtChooserSelectionChanged(bool selection);
  void qtEditFieldChanged();
  void qtTabWidgetChanged();

protected:
  bool event(QEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void showEvent(QShowEvent *event) override;

private:
  void notify_field_changed(QObject *sender);
  void handle_dialog_code(int code);
  void add_dialog_buttons(int default_button);
  void choose_start_widget(int start_number);
  void connect_change_signals();
  void register_hotkey(int key, QObject *target);
  void discard_built();
  [[nodiscard]] int control_index_of(const QObject *widget) const;

  std::vector<form_control_t> controls_;
  std::vector<QWidget *> placed_;
  form_actions_impl_t actions_;
  form_callback_t callback_ = nullptr;
  int state_ = 0; // 0 building, 1 idle, 2 inside a callback
  std::array<std::optional<std::string>, 4> buttons_;
  int flags_ = 0; // form_flag_autosync
  std::set<int> notifying_;
  int help_id_ = 0;
  QString help_text_;
  int combo_arrow_width_ = 0;
  QPointer<QWidget> start_widget_;
  std::vector<QMetaObject::Connection> connections_;
  QPointer<QDialog> host_;
  QVBoxLayout *main_layout_;
  QSignalMapper *button_mapper_;
  QSignalMapper *browse_mapper_;
  QSignalMapper *color_mapper_;
  QDialogButtonBox *button_box_ = nullptr;
  QPushButton *default_button_ = nullptr;
  QHash<int, QObject *> hotkeys_;
  std::vector<std::pair<int, QWidget *>> start_items_; // widgets of items with the start flag
  std::vector<QObject *> owned_groups_; // button groups, children of the form
  int start_number_ = 0;
};

// Compiles a form text into an empty form widget. False, with the form left empty and a warning ("form: error
// at %s", "Duplicate field id %d", a refused layout), when the text does not build.
[[nodiscard]] bool compile_form(form_widget_t *form, const char *text, form_args_t &args);
// The first live form whose window title is the text (or, with prefix, begins with it); null when none.
[[nodiscard]] form_widget_t *find_form_widget_by_title(const char *title, bool prefix);
// When the label begins with "#" and has a second "#", the widget's tooltip becomes the text between them.
void set_tooltip_from_hint(QWidget *widget, const std::string &label);
