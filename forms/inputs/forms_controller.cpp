// The second form front end: the controller, its dialog, and the number and address texts of its fields.
#include "forms/inputs/forms_controller.h"

#include "core/internal_error.h"
#include "core/number_format.h"
#include "core/printf_format.h"
#include "core/text_utils.h"
#include "core/ui_callback.h"
#include "forms/form_chooser.h"
#include "forms/form_values.h"
#include "forms/inputs/color_button.h"
#include "ui/app_base.h"
#include "ui/input_history.h"
#include "ui/widget_factory.h"

#include <QAbstractButton>
#include <QColor>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>

namespace forms_ui
{

namespace {

constexpr int interr_history_widget_died = 40345;
constexpr int interr_bad_radix = 70131;
constexpr uint32_t chooser_quiet_bit = 0x80;

// The open dialogs; GUI thread.
std::vector<dialog_t *> dialogs;

} // namespace

// ---- The controller --------------------------------------------------------------------------------------

controller_t::controller_t(form_model_t *model) : model_(model) {}

controller_t::~controller_t() = default;

void controller_t::watch(QWidget *widget, field_desc_t *field)
{
  auto monitor = std::make_unique<object_lifecycle_monitor_t>();
  monitor->watch_object(widget);
  watched_.push_back({std::move(monitor), field});
  switch ( field->type )
  {
    case field_string:
    case field_number:
    case field_address:
      if ( QLineEdit *edit = line_edit_of(widget, *field) )
        connect(edit, &QLineEdit::textChanged, this, &controller_t::on_QLineEdit_textChanged);
      break;
    case field_check_box:
      if ( auto *box = qobject_cast<QAbstractButton *>(widget) )
        connect(box, &QAbstractButton::toggled, this, &controller_t::on_QAbstractButton_toggled);
      break;
    case field_button:
      if ( auto *button = qobject_cast<QPushButton *>(widget) )
        connect(button, &QPushButton::clicked, this, &controller_t::on_QPushButton_clicked);
      break;
    case field_dialog_button:
      if ( auto *button = qobject_cast<QPushButton *>(widget) )
        connect(button, &QPushButton::clicked, this, &controller_t::on_dialog_QPushButton_clicked);
      break;
    case field_color:
      if ( auto *button = widget->findChild<ColorButton *>() )
        connect(button, &ColorButton::colorChanged, this, &controller_t::on_ColorButton_colorChanged);
      break;
    case field_file_picker:
      if ( auto *button = widget->findChild<QPushButton *>(QString(), Qt::FindDirectChildrenOnly) )
        connect(button, &QPushButton::clicked, this, &controller_t::on_file_picker_QPushButton_clicked);
      if ( QLineEdit *edit = line_edit_of(widget, *field) )
        connect(edit, &QLineEdit::textChanged, this, &controller_t::on_file_picker_QLineEdit_textChanged);
      break;
    default:
      break;
  }
  if ( field->chooser != nullptr && widget->metaObject()->indexOfSignal("selection_state_changed(bool)") >= 0 )
    connect(widget, SIGNAL(selection_state_changed(bool)), this,
            SLOT(on_chooser_widget_t_selection_state_changed(bool)));
}

field_desc_t *controller_t::field_of(const QObject *widget) const
{
  if ( widget == nullptr )
    return nullptr;
  for ( const watched_t &entry : watched_ )
    if ( entry.monitor->watched() == widget )
      return entry.field;
  return nullptr;
}

field_desc_t *controller_t::field_of_type(const QObject *object, int type) const
{
  field_desc_t *field = field_of(object);
  return field != nullptr && field->type == type ? field : nullptr;
}

QLineEdit *controller_t::line_edit_of(QWidget *widget, const field_desc_t &field)
{
  if ( widget == nullptr )
    return nullptr;
  if ( field.type == field_file_picker )
    return widget->findChild<QLineEdit *>();
  if ( !field.history.empty() )
    if ( auto *combo = qobject_cast<QComboBox *>(widget) )
      return combo->lineEdit();
  return qobject_cast<QLineEdit *>(widget);
}

bool controller_t::eventFilter(QObject *watched, QEvent *event)
{
  if ( event->type() == QEvent::Show )
    model_->on_event(model_event_show, event);
  return QObject::eventFilter(watched, event);
}

// ---- Slots -----------------------------------------------------------------------------------------------

void controller_t::on_dialog_finished(int result)
{
  if ( result == 1 )
    for ( const watched_t &entry : watched_ )
    {
      const int type = entry.field->type;
      if ( entry.field->history.empty()
           || (type != field_string && type != field_number && type != field_address && type != field_file_picker) )
        continue;
      if ( entry.monitor->was_destroyed() )
        interr(interr_history_widget_died);
      if ( QLineEdit *edit = line_edit_of(entry.monitor->watched_as<QWidget>(), *entry.field) )
        (void)input_history_add_named(entry.field->history.c_str(), edit->text());
    }
  model_->on_dialog_finished(result == 1);
}

void controller_t::on_QLineEdit_textChanged(const QString &text)
{
  field_desc_t *field = field_of(sender());
  if ( field == nullptr && sender() != nullptr )
    if ( auto *combo = qobject_cast<QComboBox *>(sender()->parent()) )
      field = field_of(combo);
  if ( field == nullptr )
    return;
  const QByteArray utf8 = text.toUtf8();
  uint64_t value = 0;
  if ( field->type == field_string )
    field->text = utf8.constData();
  else if ( field->type == field_number && parse_number(&value, field->number_format, utf8.constData()) )
    field->number = value;
  else if ( field->type == field_address && parse_address(&value, utf8.constData()) )
    field->number = value;
  model_->on_field_changed(field);
}

void controller_t::on_QAbstractButton_toggled(bool checked)
{
  if ( field_desc_t *field = field_of(sender()) )
  {
    field->checked = checked ? 1 : 0;
    model_->on_field_changed(field);
  }
}

void controller_t::on_chooser_widget_t_selection_state_changed(bool selected)
{
  field_desc_t *field = field_of(sender());
  if ( !selected || field == nullptr )
    return;
  if ( field->chooser != nullptr && (field->chooser->state_word() & chooser_quiet_bit) != 0 )
    return;
  model_->on_field_changed(field);
}

void controller_t::on_QPushButton_clicked(bool)
{
  if ( field_desc_t *field = field_of_type(sender(), field_button) )
    model_->on_button_pressed(field);
}

void controller_t::on_dialog_QPushButton_clicked(bool)
{
  field_desc_t *field = field_of_type(sender(), field_dialog_button);
  if ( field == nullptr )
    return;
  const auto open = std::find_if(dialogs.begin(), dialogs.end(), [this](dialog_t *dialog) {
    return dialog->controller() != nullptr && dialog->controller()->model() == model_;
  });
  if ( open == dialogs.end() || model_->on_dialog_button(field) != 0 )
    return;
  switch ( field->role )
  {
    case role_yes:
    case role_ok:
      (*open)->accept();
      break;
    case role_no:
    case role_cancel:
      (*open)->reject();
      break;
    case role_help:
      if ( app_t *app = current_app() )
        app->show_help(model_->help_id());
      break;
    default:
      break;
  }
}

void controller_t::on_ColorButton_colorChanged(const QColor &color)
{
  field_desc_t *field = sender() != nullptr ? field_of_type(sender()->parent(), field_color) : nullptr;
  if ( field == nullptr )
    return;
  field->color = color.isValid() ? uint32_t(color.red()) | uint32_t(color.green()) << 8 | uint32_t(color.blue()) << 16
                                 : UINT32_MAX;
  model_->on_field_changed(field);
}

void controller_t::on_file_picker_QPushButton_clicked(bool)
{
  QObject *picker = sender() != nullptr ? sender()->parent() : nullptr;
  field_desc_t *field = field_of_type(picker, field_file_picker);
  if ( field == nullptr )
    return;
  if ( const char *chosen = prompt_file_name(field->for_saving, field->text.c_str(), "%s", field->prompt.c_str()) )
  {
    field->text = chosen;
    if ( QLineEdit *edit = line_edit_of(qobject_cast<QWidget *>(picker), *field) )
    {
      const QSignalBlocker quiet(edit);
      edit->setText(QString::fromUtf8(field->text.c_str()));
    }
  }
  model_->on_field_changed(field);
}

void controller_t::on_file_picker_QLineEdit_textChanged(const QString &text)
{
  QObject *parent = sender() != nullptr ? sender()->parent() : nullptr;
  if ( qobject_cast<QComboBox *>(parent) != nullptr )
    parent = parent->parent();
  if ( field_desc_t *field = field_of_type(parent, field_file_picker) )
  {
    field->text = text.toUtf8().constData();
    model_->on_field_changed(field);
  }
}

// ---- Number and address texts ----------------------------------------------------------------------------

QString controller_t::format_address(uint64_t value)
{
  if ( value == UINT64_MAX )
    return {};
  char text[32];
  buf_printf(text, sizeof(text), "%a", value);
  return QString::fromLatin1(text);
}

bool controller_t::parse_address(uint64_t *out, const char *text)
{
  uint64_t value = 0;
  if ( buf_scanf(text, "%a", &value) != 1 )
    return false;
  *out = value;
  return true;
}

QString controller_t::format_number(uint64_t value, const number_format_t &format)
{
  qstring text;
  if ( format.converter != nullptr )
  {
    const int done = format.converter->format(&text, value);
    if ( done == -1 || done == 1 )
      return QString::fromUtf8(text.c_str());
  }
  const bool negative = (format.flags & number_unsigned) == 0 && int64_t(value) < 0;
  if ( negative )
    text += "-";
  int radix = 10;
  const char *prefix = "";
  switch ( format.radix )
  {
    case radix_octal:
      radix = 8;
      prefix = "0";
      break;
    case radix_decimal:
      break;
    case radix_hexadecimal:
      radix = 16;
      prefix = "0x";
      break;
    default:
      interr(interr_bad_radix);
  }
  if ( (format.flags & number_no_prefix) == 0 )
    text += prefix;
  char digits[72];
  digits_u64(digits, negative ? 0 - value : value, radix, false);
  text += digits;
  return QString::fromUtf8(text.c_str());
}

bool controller_t::parse_number(uint64_t *out, const number_format_t &format, const char *text)
{
  if ( format.converter != nullptr )
  {
    uint64_t converted = 0;
    const int done = format.converter->parse(&converted, text);
    if ( done == -1 )
      return false;
    if ( done == 1 )
    {
      *out = converted;
      return true;
    }
  }
  const bool relative = (format.flags & number_relative) != 0;
  const bool is_unsigned = (format.flags & number_unsigned) != 0;
  const char *p = text;
  int sign = 0;
  // An unsigned '-' without relative entry, and a '+' without it, stay in the text: no digits follow them.
  if ( *p == '-' && (relative || !is_unsigned) )
  {
    sign = -1;
    ++p;
  }
  else if ( *p == '+' && relative )
  {
    sign = 1;
    ++p;
  }
  int radix = 10;
  if ( p[0] == '0' && (p[1] == 'x' || p[1] == 'X') )
  {
    radix = 16;
    p += 2;
  }
  else if ( p[0] == '0' )
  {
    radix = 8;
    ++p;
  }
  else if ( (format.flags & number_no_prefix) != 0 )
  {
    radix = format.radix == radix_octal ? 8 : format.radix == radix_hexadecimal ? 16 : 10;
  }
  const char *end = p;
  const uint64_t number = parse_radix_number(p, radix, &end);
  if ( *end != '\0' && (format.flags & number_no_prefix) != 0 )
  {
    int64_t decimal = 0;
    QString error;
    if ( !::parse_number(&decimal, &error, text) )
      return false;
    *out = uint64_t(decimal);
    return true;
  }
  if ( relative && sign < 0 )
    *out = is_unsigned && number > format.base ? 0 : format.base - number;
  else if ( relative && sign > 0 )
    *out = format.base + number;
  else if ( sign < 0 )
    *out = 0 - number;
  else
    *out = number;
  return true;
}

// ---- The dialog ------------------------------------------------------------------------------------------

dialog_t::dialog_t(form_model_t *model, QWidget *parent) : ui_dialog_t(parent)
{
  if ( app_t *app = current_app() )
    if ( ui_widget_factory_t *factory = app->get_widget_factory() )
      controller_.reset(factory->new_form_controller(model));
  if ( controller_ != nullptr )
  {
    installEventFilter(controller_.get());
    connect(this, &QDialog::finished, controller_.get(), &controller_t::on_dialog_finished);
  }
  dialogs.push_back(this);
}

dialog_t::~dialog_t()
{
  dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), this), dialogs.end());
}

const std::vector<dialog_t *> &open_dialogs()
{
  return dialogs;
}

void forward_to_form_dialog(popup_menu_ctx_t *popup, QWidget *widget, ui_action_activation_ctx_t *context)
{
  for ( QWidget *w = widget; w != nullptr; w = w->parentWidget() )
    if ( auto *dialog = qobject_cast<dialog_t *>(w) )
    {
      if ( controller_t *controller = dialog->controller() )
        controller->model()->on_popup(controller->field_of(widget), widget, popup, context);
      return;
    }
}

} // namespace forms_ui
