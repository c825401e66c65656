// The form widget: compiling a description, the callback protocol, dialog buttons, keys and value syncing.
#include "forms/form_widget.h"

#include "core/ui_callback.h"
#include "forms/form_builder.h"
#include "forms/form_chooser.h"
#include "forms/inputs/buddy_label.h"
#include "forms/inputs/color_button.h"
#include "forms/inputs/field_widgets.h"
#include "forms/inputs/input_requests.h"
#include "forms/text/text_area.h"
#include "ui/app_base.h"
#include "ui/docks/dock_options.h"
#include "ui/input_history.h"
#include "ui/layout_helpers.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalMapper>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace {

// The live form widgets, oldest first. GUI thread only.
std::vector<form_widget_t *> &live_forms()
{
  static std::vector<form_widget_t *> forms;
  return forms;
}

constexpr int escape_key = Qt::Key_Escape;

} // namespace

// ---- Construction -----------------------------------------------------------------------------------------

form_widget_t::form_widget_t()
  : actions_(this), main_layout_(new QVBoxLayout(this)), button_mapper_(new QSignalMapper(this)),
    browse_mapper_(new QSignalMapper(this)), color_mapper_(new QSignalMapper(this))
{
  connect(button_mapper_, &QSignalMapper::mappedInt, this, &form_widget_t::qtButtonClicked);
  connect(browse_mapper_, &QSignalMapper::mappedInt, this, &form_widget_t::qtFileBtnClicked);
  connect(color_mapper_, &QSignalMapper::mappedInt, this, &form_widget_t::qtColorButtonClicked);
  QStyleOptionComboBox option;
  option.initFrom(this);
  option.rect = QRect(0, 0, 200, 20);
  combo_arrow_width_ =
    style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, nullptr).width() + 10;
  setAutoFillBackground(true);
  live_forms().push_back(this);
}

form_widget_t::~form_widget_t()
{
  auto &forms = live_forms();
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  if ( callback_ != nullptr && state_ == 1 )
    call_form_callback(form_code_destroyed);
  callback_ = nullptr;
  for ( const auto &connection : connections_ )
    disconnect(connection);
}

// ---- Conversions --------------------------------------------------------------------------------------------

bool form_widget_t::parse_address(uint64_t *out, const char *text)
{
  return ::parse_address(out, text);
}

QString form_widget_t::format_address(uint64_t value)
{
  return ::format_address(value);
}

bool form_widget_t::value_to_text(const void *value, char type, QString *out)
{
  return ::value_to_text(value, type, value_radix(), out);
}

bool form_widget_t::text_to_value(void *value, size_t size, const QString &text, char type, bool silent,
                                  const form_control_t *control)
{
  form_field_info_t field;
  if ( control != nullptr )
  {
    field.flags = control->flags;
    field.max_length = control->max_length;
    field.id = control->id;
  }
  field.radix = value_radix();
  return ::text_to_value(value, size, text, type, silent, field);
}

bool form_widget_t::parse_number(int64_t *out, QString *error, const char *text)
{
  return ::parse_number(out, error, text);
}

QComboBox *form_widget_t::new_combo_box(bool editable, int max_length, const form_item_t *item)
{
  auto *combo = new QComboBox;
  if ( editable )
  {
    combo->setEditable(true);
    auto *edit = new input_field_t(max_length);
    combo->setLineEdit(edit);
  }
  if ( item != nullptr )
    combo->addItems(input_history_entries_for_type(item->type));
  app_t *app = current_app();
  if ( app != nullptr && !app->combo_completion_enabled() )
    combo->setCompleter(nullptr);
  return combo;
}

bool form_widget_t::format_value(const void *value, char type, QString *out, bool silent)
{
  if ( value == nullptr )
  {
    warning_printf("form: nullptr is an invalid input field argument");
    return false;
  }
  out->clear();
  if ( !value_to_text(value, type, out) )
  {
    if ( !silent )
      warning_printf("form: bad input field type %c", type);
    return false;
  }
  return true;
}

// ---- Compiling ----------------------------------------------------------------------------------------------

bool compile_form(form_widget_t *form, const char *text, form_args_t &args)
{
  form->help_text_.clear();
  form_header_t header;
  if ( text == nullptr || !parse_form_header(text, args, &header) )
    return false;
  for ( size_t i = 0; i < 4; ++i )
    form->buttons_[i] = header.buttons[i];
  form->help_id_ = header.help_id;
  if ( header.autosync )
    form->flags_ |= form_flag_autosync;
  const QString title = QString::fromUtf8(header.title.c_str());
  form->setWindowTitle(title);
  if ( form->host_ != nullptr )
    form->host_->setWindowTitle(title);
  if ( header.help_text )
    form->help_text_ = QString::fromUtf8(header.help_text->c_str());

  form_layout_t layout;
  const form_text_measure_t measure = [metrics = QFontMetricsF(form->font())](const QString &t) {
    return metrics.horizontalAdvance(t);
  };
  const form_chooser_width_t chooser_width = [](void *chooser) {
    return static_cast<form_chooser_t *>(chooser)->natural_width();
  };
  if ( !layout_form_lines(&layout, header.body, args, header.start_number, measure, chooser_width) )
    return false;
  form->callback_ = layout.callback;
  form->actions_.caller_data_ = layout.caller_data;
  form_builder_t builder(form, layout, header);
  if ( !builder.build() )
  {
    form->discard_built();
    return false;
  }
  std::set<int> ids;
  for ( const form_control_t &control : form->controls_ )
    if ( control.id != 0 && !ids.insert(control.id).second )
    {
      warning_printf("Duplicate field id %d", control.id);
      form->discard_built();
      return false;
    }
  form->notifying_.clear();
  if ( form->callback_ != nullptr )
    form->connect_change_signals();
  form->add_dialog_buttons(header.default_button);
  form->choose_start_widget(header.start_number);
  form->state_ = 1;
  if ( form->host_ != nullptr )
    form->host_->setMinimumSize(form->sizeHint());
  return true;
}

void form_widget_t::discard_built()
{
  for ( const auto &connection : connections_ )
    disconnect(connection);
  connections_.clear();
  while ( QLayoutItem *item = main_layout_->takeAt(0) )
  {
    delete item->widget();
    // A layout is its own item; its widgets are the form's children, deleted below.
    if ( QLayout *layout = item->layout() )
      delete layout;
    else
      delete item;
  }
  for ( QWidget *child : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly) )
    delete child;
  for ( QObject *group : owned_groups_ )
    delete group;
  owned_groups_.clear();
  controls_.clear();
  placed_.clear();
  hotkeys_.clear();
  start_items_.clear();
  button_box_ = nullptr;
  default_button_ = nullptr;
  callback_ = nullptr;
  actions_.caller_data_ = nullptr;
}

void form_widget_t::register_hotkey(int key, QObject *target)
{
  if ( key != 0 && !hotkeys_.contains(key) )
    hotkeys_.insert(key, target);
}

void form_widget_t::add_dialog_buttons(int default_button)
{
  if ( button_box_ == nullptr )
  {
    button_box_ = new QDialogButtonBox;
    button_box_->clear();
    button_box_->setCenterButtons(true);
  }
  const QDialogButtonBox::StandardButton standard[] = {QDialogButtonBox::Yes, QDialogButtonBox::No,
                                                       QDialogButtonBox::Cancel, QDialogButtonBox::Help};
  for ( size_t i = 0; i < 4; ++i )
  {
    if ( !buttons_[i] )
      continue;
    QPushButton *button = button_box_->addButton(standard[i]);
    button->setText(hotkey_markup_to_qt(buttons_[i]->c_str()));
    if ( int(i) == default_button )
      default_button_ = button;
    if ( i == form_button_cancel )
      hotkeys_.insert(escape_key, button);
  }
  for ( QAbstractButton *button : button_box_->buttons() )
    register_hotkey(button_hotkey(button), button);
  connections_.push_back(
    connect(button_box_, &QDialogButtonBox::clicked, this, &form_widget_t::on_button_box_clicked));
  auto *row = new QHBoxLayout;
  row->addWidget(button_box_);
  main_layout_->addLayout(row);
}

void form_widget_t::choose_start_widget(int start_number)
{
  QWidget *choice = nullptr;
  if ( !start_items_.empty() )
  {
    choice = start_items_.back().second;
    if ( auto *radio = qobject_cast<QRadioButton *>(choice) )
      if ( radio->group() != nullptr && radio->group()->checkedButton() != nullptr )
        choice = radio->group()->checkedButton();
  }
  else if ( start_number >= 0 && size_t(start_number) < placed_.size() )
  {
    choice = placed_[size_t(start_number)];
  }
  else if ( start_number >= 0 && button_box_ != nullptr && size_t(start_number) < placed_.size() + 4 )
  {
    const QDialogButtonBox::StandardButton standard[] = {QDialogButtonBox::Yes, QDialogButtonBox::No,
                                                         QDialogButtonBox::Cancel, QDialogButtonBox::Help};
    choice = button_box_->button(standard[size_t(start_number) - placed_.size()]);
  }
  start_widget_ = choice;
  state_ = 1;
}

void form_widget_t::connect_change_signals()
{
  for ( const form_control_t &control : controls_ )
  {
    if ( control.widget == nullptr )
      continue;
    switch ( control.type )
    {
      case ' ': case 'B': case 'K': case 'h': case 'k':
        break;
      case '=':
        connections_.push_back(connect(static_cast<QTabWidget *>(control.widget), &QTabWidget::currentChanged, this,
                                       &form_widget_t::qtTabWidgetChanged));
        break;
      case 'C': case 'c': case 'R': case 'r':
        if ( control.value == nullptr )
          connections_.push_back(connect(static_cast<QAbstractButton *>(control.widget), &QAbstractButton::toggled,
                                         this, &form_widget_t::qtInputFieldChanged));
        break;
      case 'E':
        if ( auto *container = qobject_cast<labeled_group_box_t *>(control.widget) )
          connections_.push_back(connect(container->content(), SIGNAL(selection_state_changed(bool)), this,
                                         SLOT(qtChooserSelectionChanged(bool)), Qt::DirectConnection));
        break;
      case 'p':
        connections_.push_back(connect(static_cast<QLineEdit *>(control.widget), &QLineEdit::textChanged, this,
                                       &form_widget_t::qtInputFieldChanged));
        break;
      case 't':
        if ( auto *container = qobject_cast<labeled_group_box_t *>(control.widget) )
          if ( auto *area = qobject_cast<text_area_t *>(container->content()) )
            connections_.push_back(
              connect(area, &text_area_t::textModified, this, &form_widget_t::qtEditFieldChanged));
        break;
      default:
        if ( auto *combo = qobject_cast<QComboBox *>(control.widget) )
        {
          if ( combo->isEditable() )
            connections_.push_back(
              connect(combo, &QComboBox::editTextChanged, this, &form_widget_t::qtInputFieldChanged));
          else
            connections_.push_back(connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this,
                                           &form_widget_t::qtInputFieldChanged));
        }
        break;
    }
  }
}

// ---- The callback -------------------------------------------------------------------------------------------

int form_widget_t::call_form_callback(int id)
{
  if ( callback_ == nullptr || state_ != 1 )
    return 1;
  state_ = 2;
  before_callback();
  const int result = callback_(id, actions_);
  state_ = 1;
  return result;
}

bool form_widget_t::confirm_close(int code)
{
  if ( code == form_code_yes && (flags_ & form_flag_autosync) != 0 && !sync_all_values() )
    return false;
  actions_.closing = 1;
  const int result = call_form_callback(code);
  actions_.closing = 0;
  return result > 0;
}

bool form_widget_t::sync_all_values()
{
  before_callback();
  for ( form_control_t &control : controls_ )
  {
    if ( control.value == nullptr || control.widget == nullptr )
      continue;
    if ( control.type == 'B' || control.type == 'k' || control.type == ' ' || control.type == 'h' )
      continue;
    QString old_text;
    (void)value_to_text(control.value, control.type, &old_text);
    QString typed;
    const size_t size = form_value_size(control.type, control.max_length);
    if ( !read_control_value(control, control.value, size, false, &typed) )
    {
      if ( auto *widget = qobject_cast<QWidget *>(control.widget) )
        start_widget_ = widget;
      else if ( !control.extra.empty() )
        start_widget_ = control.extra.front();
      if ( start_widget_ != nullptr && isVisible() )
        start_widget_->setFocus(Qt::OtherFocusReason);
      return false;
    }
    if ( !typed.isEmpty() && typed != old_text )
      input_history_add_for_type(control.type, typed);
  }
  return true;
}

void form_widget_t::present(int flags)
{
  (void)call_form_callback(form_code_ready);
  app_t *app = current_app();
  if ( app == nullptr )
    return;
  dock_options_t placement;
  placement.options = uint32_t(flags) | (uint32_t(dock_place_size_from_hint) << dock_placement_shift);
  (void)app->present_widget(this, &placement);
  if ( start_widget_ != nullptr )
    start_widget_->setFocus(Qt::OtherFocusReason);
}

int form_widget_t::control_index_of(const QObject *widget) const
{
  for ( size_t i = 0; i < controls_.size(); ++i )
    if ( controls_[i].widget == widget )
      return int(i);
  return -1;
}

void form_widget_t::notify_field_changed(QObject *sender)
{
  const int index = control_index_of(sender);
  if ( index < 0 )
    return;
  const auto notify = [&](int id) {
    if ( notifying_.count(id) != 0 )
      return false;
    notifying_.insert(id);
    if ( id != 0 )
      call_form_callback(id);
    return true;
  };
  const form_control_t control = controls_[size_t(index)];
  if ( !notify(control.id) )
    return;
  const bool member = std::strchr("CcRr", control.type) != nullptr && control.value == nullptr;
  if ( member && control.group_control >= 0 )
  {
    const int group_id = controls_[size_t(control.group_control)].id;
    if ( group_id != control.id && notify(group_id) )
      notifying_.erase(group_id);
  }
  notifying_.erase(control.id);
}

void form_widget_t::qtInputFieldChanged()
{
  notify_field_changed(sender());
}

void form_widget_t::qtTabWidgetChanged()
{
  notify_field_changed(sender());
}

void form_widget_t::qtEditFieldChanged()
{
  // A text area's control is the box around it.
  int index = control_index_of(sender());
  if ( index < 0 && sender() != nullptr )
    index = control_index_of(sender()->parent());
  if ( index >= 0 )
    call_form_callback(controls_[size_t(index)].id);
}

void form_widget_t::qtChooserSelectionChanged(bool selection)
{
  if ( !selection )
    return;
  for ( const form_control_t &control : controls_ )
  {
    auto *container = qobject_cast<labeled_group_box_t *>(control.widget);
    if ( control.type != 'E' || container == nullptr || container->content() != sender() )
      continue;
    if ( control.chooser != nullptr && (control.chooser->state_word() & 0x80) != 0 )
      return;
    call_form_callback(control.id);
    return;
  }
}

void form_widget_t::qtColorButtonClicked(int index)
{
  if ( index >= 0 && size_t(index) < controls_.size() )
    call_form_callback(controls_[size_t(index)].id);
}

void form_widget_t::qtButtonClicked(int index)
{
  if ( index < 0 || size_t(index) >= controls_.size() )
  {
    warning_printf("ICON ERROR\nAUTOHIDE NONE\nbutton %d not found", index);
    return;
  }
  const form_control_t control = controls_[size_t(index)];
  if ( control.value != nullptr )
    reinterpret_cast<form_button_handler_t>(control.value)(control.flags, actions_);
  call_form_callback(control.id);
}

void form_widget_t::qtFileBtnClicked(int index)
{
  if ( index < 0 || size_t(index) >= controls_.size() )
    interr(40145);
  const form_control_t control = controls_[size_t(index)];
  if ( control.type != 'F' && control.type != 'f' )
    interr(40146);
  char current[form_path_size] = "";
  if ( read_control_value(control, current, sizeof(current), true) )
  {
    QString title;
    if ( !control.extra.empty() && control.extra.front() != control.widget )
      if ( auto *label = qobject_cast<QLabel *>(control.extra.front()) )
        title = label->text().remove(QRegularExpression(QStringLiteral("(</?.[^>]*>)|(\\&)")));
    const QByteArray prompt = title.toUtf8();
    QByteArray chosen;
    if ( control.type == 'F' )
    {
      qstring folder;
      if ( ask_directory(&folder, current, "%s", prompt.constData()) )
        chosen = QByteArray(folder.c_str());
    }
    else if ( const char *file = prompt_file_name(control.flags != 0, current, "%s", prompt.constData()) )
    {
      chosen = QByteArray(file);
    }
    if ( size_t(chosen.size()) >= form_path_size )
      warning_printf("The path is too long (at most %d bytes): %s", int(form_path_size - 1), chosen.constData());
    else if ( !chosen.isEmpty() )
      if ( auto *combo = qobject_cast<QComboBox *>(control.widget) )
        combo->setEditText(QString::fromUtf8(chosen));
  }
  call_form_callback(control.id);
}

// ---- Buttons and keys ---------------------------------------------------------------------------------------

void form_widget_t::handle_dialog_code(int code)
{
  if ( !confirm_close(code) || host_ == nullptr )
    return;
  if ( code == form_code_yes )
    host_->accept();
  else if ( code == form_code_no )
    host_->done(-1);
  else if ( code == form_code_cancel )
    host_->reject();
}

void form_widget_t::on_button_yes()
{
  handle_dialog_code(form_code_yes);
}

void form_widget_t::on_button_box_clicked(QAbstractButton *button)
{
  switch ( button_box_ != nullptr ? button_box_->standardButton(button) : QDialogButtonBox::NoButton )
  {
    case QDialogButtonBox::Yes:
      handle_dialog_code(form_code_yes);
      break;
    case QDialogButtonBox::No:
      handle_dialog_code(form_code_no);
      break;
    case QDialogButtonBox::Cancel:
      handle_dialog_code(form_code_cancel);
      break;
    case QDialogButtonBox::Help:
      if ( !help_text_.isEmpty() )
        info_printf("%s", help_text_.toUtf8().constData());
      else if ( app_t *app = current_app(); app != nullptr && help_id_ != 0 )
        app->show_help(help_id_);
      break;
    default:
      break;
  }
}

void form_widget_t::on_focus_next_prev_child_requested(bool next)
{
  focusNextPrevChild(next);
}

bool form_widget_t::event(QEvent *event)
{
  if ( event->type() == QEvent::KeyPress )
  {
    auto *key = static_cast<QKeyEvent *>(event);
    const int code = key->key() & 0x1FFFFFF;
    if ( (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && hotkeys_.contains(code) )
    {
      QObject *target = hotkeys_.value(code);
      if ( auto *button = qobject_cast<QAbstractButton *>(target) )
      {
        if ( button->isEnabled() && button->isVisible() )
        {
          button->setFocus(Qt::ShortcutFocusReason);
          button->animateClick(100);
        }
      }
      else if ( auto *label = qobject_cast<buddy_label_t *>(target) )
      {
        label->transfer_focus();
      }
      return true;
    }
  }
  return QWidget::event(event);
}

bool form_widget_t::eventFilter(QObject *watched, QEvent *event)
{
  if ( event->type() == QEvent::KeyPress && qobject_cast<QLineEdit *>(watched) != nullptr )
  {
    const int key = static_cast<QKeyEvent *>(event)->key();
    if ( key == Qt::Key_Return || key == Qt::Key_Enter )
    {
      on_button_yes();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void form_widget_t::closeEvent(QCloseEvent *event)
{
  actions_.closing = 1;
  const int result = call_form_callback(form_code_closing);
  actions_.closing = 0;
  if ( result > 0 )
    QWidget::closeEvent(event);
  else
    event->ignore();
}

void form_widget_t::showEvent(QShowEvent *event)
{
  QWidget::showEvent(event);
  if ( start_widget_ != nullptr )
    start_widget_->setFocus(Qt::OtherFocusReason);
  if ( default_button_ != nullptr )
    default_button_->setDefault(true);
}

// ---- Helpers ------------------------------------------------------------------------------------------------

form_widget_t *find_form_widget_by_title(const char *title, bool prefix)
{
  const QString wanted = QString::fromUtf8(title);
  for ( form_widget_t *form : live_forms() )
  {
    const QString own = form->windowTitle();
    if ( prefix ? own.startsWith(wanted) : own == wanted )
      return form;
  }
  return nullptr;
}

void set_tooltip_from_hint(QWidget *widget, const std::string &label)
{
  const std::string hint = label_hint(label);
  if ( !hint.empty() )
    widget->setToolTip(QString::fromUtf8(hint.c_str()));
}
