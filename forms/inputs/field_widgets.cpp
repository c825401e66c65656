// Small field widgets of the forms.
#include "forms/inputs/field_widgets.h"

#include "forms/form_parser.h"
#include "forms/inputs/buddy_label.h"
#include "ui/layout_helpers.h"

#include <QCompleter>
#include <QKeyEvent>
#include <QAbstractItemView>
#include <QVBoxLayout>

check_box_t::check_box_t(const QString &text) : QCheckBox(text)
{
}

void check_box_t::focusInEvent(QFocusEvent *event)
{
  QWidget::focusInEvent(event);
}

input_field_t::input_field_t(int max_length)
{
  setMaxLength(max_length < 0 ? 0x8000 : max_length == 0 ? 1023 : max_length);
}

bool input_field_t::event(QEvent *event)
{
  if ( event->type() == QEvent::KeyPress )
  {
    auto *key = static_cast<QKeyEvent *>(event);
    if ( key->modifiers() == Qt::ControlModifier && (key->key() == Qt::Key_Home || key->key() == Qt::Key_End) )
      key->setModifiers(Qt::NoModifier);
    else if ( key->key() == Qt::Key_Alt && completer() != nullptr && completer()->popup() != nullptr
              && completer()->popup()->isVisible() )
      completer()->popup()->hide();
  }
  return QLineEdit::event(event);
}

labeled_group_box_t::labeled_group_box_t() = default;

void labeled_group_box_t::set_up(const QString &label, QWidget *content)
{
  content_ = content;
  layout_ = new QVBoxLayout;
  layout_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout_->setContentsMargins(0, 0, 0, 0);
  setLayout(layout_);
  if ( !label.isEmpty() )
    set_label(label.toUtf8().constData(), true);
  layout_->addWidget(content);
  setFocusProxy(content);
}

void labeled_group_box_t::set_label(const char *text, bool with_hint)
{
  if ( text == nullptr || *text == '\0' )
  {
    delete label_;
    label_ = nullptr;
    return;
  }
  if ( label_ == nullptr )
  {
    label_ = new buddy_label_t;
    QSizePolicy policy = label_->sizePolicy();
    policy.setVerticalPolicy(QSizePolicy::Fixed);
    label_->setSizePolicy(policy);
    layout_->insertWidget(0, label_);
  }
  std::string shown = text;
  if ( with_hint )
  {
    const std::string hint = label_hint(shown);
    if ( !hint.empty() && content_ != nullptr )
      content_->setToolTip(QString::fromUtf8(hint.c_str()));
    shown = label_text_after_hint(shown, false);
  }
  label_->set_text_with_buddy(hotkey_markup_to_qt(shown.c_str()), content_);
}
