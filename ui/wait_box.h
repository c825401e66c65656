// The wait box shown during long operations, its stack of nested texts, and the core's road to it.
#pragma once

#include "ui/dialog_base.h"

#include <cstdarg>
#include <cstdint>
#include <string>

class QKeyEvent;
class QCloseEvent;
class QPushButton;
class app_t;

// One shown request: its text with the control lines removed and what those lines asked for.
struct wait_box_entry_t
{
  std::string text;                    // UTF-8
  std::string cancel_label = "Cancel"; // shown unchanged, no mnemonic
  bool show_cancel = true;             // false after "HIDECANCEL"
  bool delay = true;                   // false after "NODELAY"
  bool replace = false;                // a text replacement, not a new box
};

// Builds an entry from a formatted text: a help-marker line and every byte 0x03 are removed, leading
// "HIDECANCEL\n" and "NODELAY\n" lines are taken in any order, then a "CANCEL " line gives the caption
// (the text goes on at its newline).
[[nodiscard]] wait_box_entry_t make_wait_box_entry(std::string text, bool replace);

// The application-modal box with a text and a Cancel button. Promises: Esc and the Cancel button mark the
// operation cancelled instead of closing the box, and closing it from the title bar does nothing; only
// the framework hides it.
class WaitDialog : public ui_dialog_t
{
  Q_OBJECT

public:
  explicit WaitDialog(app_t *app);
  ~WaitDialog() override;

  [[nodiscard]] bool cancelled() const { return cancelled_; }
  // Sets or clears the cancelled mark; the button is disabled while it is set.
  void set_cancelled(bool cancelled);
  // Shows the entry: caption, button, text and size, then the box itself when it is hidden.
  void show_entry(const wait_box_entry_t &entry);

  [[nodiscard]] ui_label_t *label() const { return label_; }
  [[nodiscard]] QPushButton *cancel_button() const { return button_; }

public slots:
  void do_cancel();
  void do_accept();

protected:
  void keyPressEvent(QKeyEvent *event) override;
  void closeEvent(QCloseEvent *event) override;

private:
  app_t *app_;          // not owned
  ui_label_t *label_;   // child
  QPushButton *button_; // child
  bool cancelled_ = false;
};

// The wait-box kinds of the core's message request (code 24): 9 shows a box, 10 hides it, 11 replaces
// its text. False for any other kind (nothing done), else true.
bool dispatch_wait_box_message(int32_t kind, const char *format, va_list va);
