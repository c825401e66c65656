// A form label whose mnemonic moves the focus to its field (or clicks it, for a button).
#pragma once

#include "ui/dialog_base.h"

#include <QKeySequence>
#include <QPointer>

class QShortcut;

// The index of the first '&' of a text that marks a mnemonic (not doubled, not last); -1 when none.
[[nodiscard]] int mnemonic_marker_index(const QString &text);

// A plain-text label with an optional buddy. Promise: the mnemonic shortcut exists only while the text
// carries one; the buddy is not owned.
class buddy_label_t : public ui_label_t
{
  Q_OBJECT

public:
  explicit buddy_label_t(const QString &text = QString(), QWidget *buddy = nullptr);

  // Sets a text in Qt's '&' markup: its first single '&' becomes an underlined letter with a window shortcut
  // that transfers the focus; "&&" stays a literal '&'.
  void set_text_with_buddy(const QString &text, QWidget *buddy);
  // Rich text with clickable external links and selectable text; no mnemonic.
  void set_rich_text(const QString &text, QWidget *buddy);
  void set_buddy(QWidget *buddy) { buddy_ = buddy; }
  [[nodiscard]] QWidget *buddy_widget() const { return buddy_; }
  [[nodiscard]] const QKeySequence &key_sequence() const { return keys_; }

signals:
  void clicked();

public slots:
  // Clicks a button buddy, gives any other buddy the focus; nothing without one.
  void transfer_focus();

protected:
  void mouseReleaseEvent(QMouseEvent *event) override;

private:
  QKeySequence keys_;
  QPointer<QWidget> buddy_;
  QShortcut *shortcut_ = nullptr; // child of the label
};
