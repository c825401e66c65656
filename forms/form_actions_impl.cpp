// The form callback's side of a form: fields by id.
#include "forms/form_widget.h"

#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "forms/form_chooser.h"
#include "forms/inputs/field_widgets.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <cstring>

namespace {

bool is_text_kind(char type)
{
  return type != '\0' && std::strchr(" hAFTXf", type) != nullptr;
}

void refill_combo(QComboBox *combo, const qvector<qstring> *list)
{
  combo->clear();
  if ( list != nullptr )
    for ( const qstring &entry : *list )
      combo->addItem(QString::fromUtf8(entry.c_str()));
}

} // namespace

int form_actions_impl_t::find_control(int field_id) const
{
  const auto &controls = form_->controls_;
  for ( size_t i = 0; i < controls.size(); ++i )
  {
    if ( controls[i].id == field_id )
      return controls[i].widget != nullptr ? int(i) : -1;
    if ( field_id != 0 && controls[i].id == -field_id )
      return -1;
  }
  return -1;
}

bool form_actions_impl_t::read_value(int field_id, void *out, size_t size, bool typed)
{
  const int index = find_control(field_id);
  if ( index < 0 )
    return false;
  const form_control_t &control = form_->controls_[size_t(index)];
  if ( is_text_kind(control.type) != typed )
  {
    const char *name = control.type == 't' ? "text" : form_value_kind_name(control.type);
    if ( name == nullptr )
      interr(2509);
    warning_printf("Bad 'get' method for the field with id %d. You should use the get_%s_value() method", field_id,
                   name);
    return false;
  }
  if ( typed && size == 0 )
    return false;
  if ( !typed )
    size = form_value_size(control.type, control.max_length);
  if ( control.flags == 1 && control.value != nullptr && std::strchr("DHMNOYmn", control.type) != nullptr )
    std::memcpy(out, control.value, 8);
  return form_->read_control_value(control, out, size, closing == 0);
}

bool form_actions_impl_t::read_field_value(int field_id, void *out)
{
  return read_value(field_id, out, 0, false);
}

bool form_actions_impl_t::read_field_value_typed(int field_id, void *out, size_t size)
{
  return read_value(field_id, out, size, true);
}

bool form_actions_impl_t::write_field_value(int field_id, const void *value)
{
  const int index = find_control(field_id);
  return index >= 0 && form_->write_control_value(form_->controls_[size_t(index)], value);
}

template <typename Apply>
bool form_actions_impl_t::apply_to_field(int field_id, Apply apply)
{
  const int index = find_control(field_id);
  if ( index < 0 )
    return false;
  const form_control_t &control = form_->controls_[size_t(index)];
  if ( auto *group = qobject_cast<QButtonGroup *>(control.widget) )
  {
    for ( QAbstractButton *button : group->buttons() )
      apply(button);
  }
  else if ( auto *widget = qobject_cast<QWidget *>(control.widget) )
  {
    apply(widget);
  }
  for ( QWidget *extra : control.extra )
    apply(extra);
  return true;
}

bool form_actions_impl_t::enable_field(int field_id, bool enable)
{
  return apply_to_field(field_id, [enable](QWidget *w) { w->setEnabled(enable); });
}

bool form_actions_impl_t::show_field(int field_id, bool show)
{
  const bool found = apply_to_field(field_id, [show](QWidget *w) { w->setVisible(show); });
  if ( found && form_->host_ != nullptr )
  {
    QPointer<QDialog> host = form_->host_;
    QTimer::singleShot(0, host, [host] {
      // The form dialog resizes itself there; a plain dialog has no such slot.
      if ( host != nullptr && host->metaObject()->indexOfMethod("on_child_visibility_changed()") >= 0 )
        QMetaObject::invokeMethod(host, "on_child_visibility_changed");
    });
  }
  return found;
}

int form_actions_impl_t::focused_field_id()
{
  for ( const form_control_t &control : form_->controls_ )
  {
    auto *widget = qobject_cast<QWidget *>(control.widget);
    if ( widget == nullptr )
      continue;
    if ( form_->isVisible() ? widget->hasFocus() : widget == form_->start_widget_ )
      return control.id;
  }
  return -1;
}

bool form_actions_impl_t::focus_field(int field_id)
{
  const int index = find_control(field_id);
  if ( index < 0 )
    return false;
  const form_control_t &control = form_->controls_[size_t(index)];
  if ( control.type == ' ' || control.type == 'h' )
    return false;
  QWidget *widget = qobject_cast<QWidget *>(control.widget);
  if ( widget == nullptr )
  {
    if ( auto *group = qobject_cast<QButtonGroup *>(control.widget) )
      widget = group->checkedButton() != nullptr ? group->checkedButton() : group->buttons().value(0);
    if ( widget == nullptr )
      return false;
  }
  if ( form_->isVisible() )
    widget->setFocus(Qt::OtherFocusReason);
  else
    form_->start_widget_ = widget;
  return true;
}

void form_actions_impl_t::reload_field(int field_id)
{
  const int index = find_control(field_id);
  if ( index < 0 )
    return;
  form_control_t &control = form_->controls_[size_t(index)];
  if ( control.type == 'b' )
  {
    refill_combo(static_cast<QComboBox *>(control.widget), static_cast<qvector<qstring> *>(control.second));
  }
  else if ( control.type == 'E' && control.chooser != nullptr )
  {
    if ( auto *container = qobject_cast<labeled_group_box_t *>(control.widget) )
      control.chooser->reload(container->content());
  }
}

void form_actions_impl_t::close_form(bool ok)
{
  if ( form_->host_ != nullptr )
    form_->host_->done(ok ? 1 : -1);
  else
    form_->close();
}

QPushButton *form_actions_impl_t::dialog_button(int which) const
{
  if ( form_->button_box_ == nullptr )
    return nullptr;
  switch ( which )
  {
    case 0: return form_->button_box_->button(QDialogButtonBox::Yes);
    case 1: return form_->button_box_->button(QDialogButtonBox::Cancel);
    case 2: return form_->button_box_->button(QDialogButtonBox::No);
    default: return nullptr;
  }
}

bool form_actions_impl_t::switch_dialog_button(int which, bool enable)
{
  QPushButton *button = dialog_button(which);
  if ( button == nullptr )
    return false;
  button->setEnabled(enable);
  return true;
}

bool form_actions_impl_t::dialog_button_enabled(int which)
{
  QPushButton *button = dialog_button(which);
  return button != nullptr && button->isEnabled();
}

QWidget *form_actions_impl_t::field_widget(int field_id, qvector<qstring> *items)
{
  const int index = find_control(field_id);
  if ( index < 0 )
    return nullptr;
  form_control_t &control = form_->controls_[size_t(index)];
  if ( control.type == 'b' && items != nullptr && control.second != nullptr )
  {
    static_cast<qvector<qstring> *>(control.second)->swap(*items);
    refill_combo(static_cast<QComboBox *>(control.widget), static_cast<qvector<qstring> *>(control.second));
  }
  return qobject_cast<QWidget *>(control.widget);
}

bool form_actions_impl_t::set_field_label(int field_id, const qstring &text)
{
  const int index = find_control(field_id);
  if ( index < 0 )
    return false;
  const form_control_t &control = form_->controls_[size_t(index)];
  auto *container = qobject_cast<labeled_group_box_t *>(control.widget);
  if ( container == nullptr || std::strchr("Eet", control.type) == nullptr )
    return false;
  container->set_label(text.c_str(), true);
  return true;
}

QTabWidget *form_actions_impl_t::tab_page(int tab_id, int page) const
{
  const int index = find_control(tab_id);
  if ( index < 0 || form_->controls_[size_t(index)].type != '=' )
    return nullptr;
  auto *tabs = static_cast<QTabWidget *>(form_->controls_[size_t(index)].widget);
  return page >= 0 && page < tabs->count() ? tabs : nullptr;
}

bool form_actions_impl_t::set_tab_state(int tab_id, int page, int what, const bool *value)
{
  QTabWidget *tabs = tab_page(tab_id, page);
  if ( tabs == nullptr )
    return false;
  if ( what == 1 )
    tabs->setTabVisible(page, *value);
  else if ( what == 2 )
    tabs->setTabEnabled(page, *value);
  return true;
}

bool form_actions_impl_t::tab_state(bool *out, int tab_id, int page, int what)
{
  QTabWidget *tabs = tab_page(tab_id, page);
  if ( tabs == nullptr )
    return false;
  if ( what == 1 )
    *out = tabs->isTabVisible(page);
  else if ( what == 2 )
    *out = tabs->isTabEnabled(page);
  return true;
}
