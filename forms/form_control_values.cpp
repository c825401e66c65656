// Reading a control's widget into the caller's variable and writing a value into the widget.
#include "forms/form_widget.h"

#include "core/ui_callback.h"
#include "forms/form_builder.h"
#include "forms/form_chooser.h"
#include "forms/inputs/buddy_label.h"
#include "forms/inputs/color_button.h"
#include "forms/inputs/field_widgets.h"
#include "forms/form_text_record.h"
#include "forms/text/text_area.h"
#include "ui/layout_helpers.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <cstring>

namespace {

void store_u16(void *buffer, uint16_t value)
{
  std::memcpy(buffer, &value, sizeof(value));
}

uint16_t load_u16(const void *value)
{
  uint16_t v;
  std::memcpy(&v, value, sizeof(v));
  return v;
}

void assign_qstring(qstring *out, const QString &text)
{
  const QByteArray bytes = text.toUtf8();
  if ( bytes.isEmpty() )
    out->clear();
  else
    out->assign(bytes.constData(), size_t(bytes.size()));
}

} // namespace

bool form_widget_t::read_control_value(const form_control_t &control, void *buffer, size_t size, bool silent,
                                       QString *text_out)
{
  if ( control.type == 'B' || control.type == 'k' )
    return false;
  before_callback();
  QObject *widget = control.widget;
  if ( widget == nullptr )
    return false;
  switch ( control.type )
  {
    case ' ': case 'h':
    {
      auto *label = qobject_cast<QLabel *>(widget);
      if ( label == nullptr || size == 0 )
        return false;
      const QByteArray text = label->text().toUtf8();
      const size_t n = std::min(size - 1, size_t(text.size()));
      std::memcpy(buffer, text.constData(), n);
      static_cast<char *>(buffer)[n] = '\0';
      return true;
    }
    case '=':
    {
      const int index = static_cast<QTabWidget *>(widget)->currentIndex();
      std::memcpy(buffer, &index, sizeof(index));
      return true;
    }
    case 'C': case 'c': case 'R': case 'r':
      store_u16(buffer, static_cast<QAbstractButton *>(widget)->isChecked() ? 1 : 0);
      return true;
    case 'E':
    {
      auto *container = qobject_cast<labeled_group_box_t *>(widget);
      if ( container == nullptr || control.chooser == nullptr )
        return false;
      *static_cast<qvector<uint64_t> *>(buffer) = control.chooser->selection(container->content());
      return true;
    }
    case 'G': case 'g':
    {
      const QList<QAbstractButton *> buttons = static_cast<QButtonGroup *>(widget)->buttons();
      uint16_t value = control.type == 'g' ? 0xFFFF : 0;
      for ( int i = 0; i < buttons.size(); ++i )
      {
        if ( !buttons[i]->isChecked() )
          continue;
        if ( control.type == 'G' )
        {
          value = uint16_t(value | (1u << (i % 16)));
        }
        else
        {
          value = uint16_t(i);
          break;
        }
      }
      store_u16(buffer, value);
      return true;
    }
    case 'K':
    {
      const QColor color = static_cast<color_selector_t *>(widget)->button()->color();
      const int32_t value = color.isValid() ? int32_t(color.red() | (color.green() << 8) | (color.blue() << 16)) : -1;
      std::memcpy(buffer, &value, sizeof(value));
      return true;
    }
    case 'b':
    {
      auto *combo = static_cast<QComboBox *>(widget);
      if ( combo->isEditable() )
      {
        assign_qstring(static_cast<qstring *>(buffer), combo->currentText());
      }
      else
      {
        const int index = combo->currentIndex();
        std::memcpy(buffer, &index, sizeof(index));
      }
      return true;
    }
    case 'p':
      return text_to_value(buffer, size, static_cast<QLineEdit *>(widget)->text(), 'p', silent, &control);
    case 't':
    {
      auto *container = qobject_cast<labeled_group_box_t *>(widget);
      auto *area = container != nullptr ? qobject_cast<text_area_t *>(container->content()) : nullptr;
      if ( area == nullptr )
        return false;
      auto *record = static_cast<text_control_value_t *>(buffer);
      assign_qstring(&record->text, area->toPlainText());
      const bool modified = area->document()->isModified();
      area->document()->setModified(false);
      record->flags = uint16_t((record->flags & ~text_field_modified) | (modified ? text_field_modified : 0));
      return true;
    }
    case 'e':
      return false;
    default:
      break;
  }
  auto *combo = qobject_cast<QComboBox *>(widget);
  if ( combo == nullptr )
  {
    log_printf("warning: unidentified control: %c\n", control.type);
    return false;
  }
  const QString text = combo->lineEdit() != nullptr ? combo->lineEdit()->text() : combo->currentText();
  if ( text_out != nullptr )
    *text_out = text;
  return text_to_value(buffer, size, text, control.type, silent, &control);
}

bool form_widget_t::write_control_value(form_control_t &control, const void *value)
{
  before_callback();
  QObject *widget = control.widget;
  if ( widget == nullptr )
    return false;
  switch ( control.type )
  {
    case ' ': case 'h':
    {
      QString text;
      if ( value != nullptr )
        (void)format_value(value, control.value_type != 0 ? control.value_type : control.type, &text, true);
      auto *label = static_cast<QLabel *>(widget);
      label->setText(text);
      label->setVisible(!text.isEmpty());
      return true;
    }
    case '=':
    {
      int index;
      std::memcpy(&index, value, sizeof(index));
      static_cast<QTabWidget *>(widget)->setCurrentIndex(index);
      return true;
    }
    case 'B': case 'k':
    {
      auto *button = static_cast<QPushButton *>(widget);
      const std::string label = static_cast<const qstring *>(value)->c_str();
      const std::string visible = label_text_after_hint(label, true);
      button->setText(hotkey_markup_to_qt(visible.c_str()));
      set_tooltip_from_hint(button, label);
      register_hotkey(button_hotkey(button), button);
      return true;
    }
    case 'C': case 'c': case 'R': case 'r':
      static_cast<QAbstractButton *>(widget)->setChecked(load_u16(value) != 0);
      return true;
    case 'E':
    {
      auto *container = qobject_cast<labeled_group_box_t *>(widget);
      if ( container == nullptr || control.chooser == nullptr || value == nullptr )
        return false;
      control.chooser->set_selection(container->content(), *static_cast<const qvector<uint64_t> *>(value));
      return true;
    }
    case 'G': case 'g':
    {
      const uint16_t v = load_u16(value);
      const QList<QAbstractButton *> buttons = static_cast<QButtonGroup *>(widget)->buttons();
      if ( control.type == 'g' && v >= buttons.size() )
      {
        // No button of an exclusive group can be unchecked on its own.
        auto *group = static_cast<QButtonGroup *>(widget);
        group->setExclusive(false);
        for ( QAbstractButton *button : buttons )
          button->setChecked(false);
        group->setExclusive(true);
        return true;
      }
      for ( int i = 0; i < buttons.size(); ++i )
        buttons[i]->setChecked(control.type == 'G' ? (v & (1u << (i % 16))) != 0 : i == v);
      return true;
    }
    case 'K':
    {
      int32_t v;
      std::memcpy(&v, value, sizeof(v));
      static_cast<color_selector_t *>(widget)->button()->set_color(
        v == -1 ? QColor() : QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF));
      return true;
    }
    case 'b':
    {
      auto *combo = static_cast<QComboBox *>(widget);
      if ( combo->isEditable() )
      {
        combo->setEditText(QString::fromUtf8(static_cast<const qstring *>(value)->c_str()));
      }
      else
      {
        int index;
        std::memcpy(&index, value, sizeof(index));
        combo->setCurrentIndex(index);
      }
      return true;
    }
    case 'p':
    {
      QString text;
      (void)value_to_text(value, 'p', &text);
      static_cast<QLineEdit *>(widget)->setText(text);
      return true;
    }
    case 't':
    {
      auto *container = qobject_cast<labeled_group_box_t *>(widget);
      auto *area = container != nullptr ? qobject_cast<text_area_t *>(container->content()) : nullptr;
      if ( area == nullptr || value == nullptr )
        return false;
      const auto *record = static_cast<const text_control_value_t *>(value);
      if ( !record->text.empty() )
        area->setPlainText(QString::fromUtf8(record->text.c_str(), int(record->text.size())));
      area->setReadOnly((record->flags & text_field_read_only) != 0);
      area->document()->setModified(false);
      return true;
    }
    case 'e':
      return false;
    default:
      break;
  }
  if ( value == nullptr )
  {
    warning_printf("form: nullptr is an invalid input field argument");
    return false;
  }
  QString text;
  if ( !value_to_text(value, control.type, &text) )
  {
    warning_printf("form: bad input field type %c", control.type);
    return false;
  }
  auto *combo = qobject_cast<QComboBox *>(widget);
  if ( combo == nullptr )
  {
    log_printf("warning: unidentified control: %c\n", control.type);
    return false;
  }
  combo->setEditText(text);
  return true;
}
