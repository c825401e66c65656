// A form label whose mnemonic moves the focus to its field.
#include "forms/inputs/buddy_label.h"

#include <QPushButton>
#include <QShortcut>
#include <QTextDocument>

int mnemonic_marker_index(const QString &text)
{
  for ( int i = 0; i + 1 < text.size(); ++i )
  {
    if ( text[i] != QLatin1Char('&') )
      continue;
    if ( text[i + 1] != QLatin1Char('&') )
      return i;
    ++i;
  }
  return -1;
}

buddy_label_t::buddy_label_t(const QString &text, QWidget *buddy)
{
  setFocusPolicy(Qt::ClickFocus);
  setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
  if ( buddy != nullptr )
    set_text_with_buddy(text, buddy);
  else
    setText(text);
}

void buddy_label_t::set_text_with_buddy(const QString &text, QWidget *buddy)
{
  keys_ = QKeySequence::mnemonic(text);
  delete shortcut_;
  shortcut_ = nullptr;
  QString shown = text;
  if ( textFormat() != Qt::PlainText || !Qt::mightBeRichText(text) )
  {
    const int amp = mnemonic_marker_index(text);
    if ( amp >= 0 )
    {
      QString before = text.left(amp);
      QString after = text.mid(amp + 2);
      before.replace(QLatin1String("&&"), QLatin1String("&"));
      after.replace(QLatin1String("&&"), QLatin1String("&"));
      shown = before.toHtmlEscaped() + QLatin1String("<u>") + QString(text[amp + 1]).toHtmlEscaped()
            + QLatin1String("</u>") + after.toHtmlEscaped();
      shortcut_ = new QShortcut(keys_, this, nullptr, nullptr, Qt::WindowShortcut);
      connect(shortcut_, &QShortcut::activated, this, &buddy_label_t::transfer_focus);
      setTextFormat(Qt::AutoText);
    }
    else
    {
      shown.replace(QLatin1String("&&"), QLatin1String("&"));
      if ( textFormat() != Qt::PlainText )
        setTextFormat(Qt::AutoText);
    }
  }
  setText(shown);
  buddy_ = buddy;
}

void buddy_label_t::set_rich_text(const QString &text, QWidget *buddy)
{
  keys_ = QKeySequence();
  setTextFormat(Qt::AutoText);
  setText(text);
  setOpenExternalLinks(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  buddy_ = buddy;
}

void buddy_label_t::transfer_focus()
{
  if ( buddy_ == nullptr )
    return;
  if ( auto *button = qobject_cast<QPushButton *>(buddy_.data()) )
    button->click();
  else
    buddy_->setFocus(Qt::ShortcutFocusReason);
}

void buddy_label_t::mouseReleaseEvent(QMouseEvent *event)
{
  emit clicked();
  ui_label_t::mouseReleaseEvent(event);
}
