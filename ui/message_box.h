// Message boxes: the request that any thread runs on the GUI thread, the box it shows, and the core's road to it.
#pragma once

#include "core/process_exit.h"
#include "ui/message_box_header.h"

#include <QMessageBox>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class QCheckBox;
class app_t;

// The answers of a message box.
constexpr int32_t MBOX_ANSWER_YES = 1;     // Yes or OK
constexpr int32_t MBOX_ANSWER_NO = 0;
constexpr int32_t MBOX_ANSWER_CANCEL = -1; // Cancel, Escape through a Cancel button, closing

// The buffer the text is formatted into: the text keeps at most one byte less, cut on a character boundary.
constexpr size_t message_box_text_max = 10240;

// One message box asked by any thread: run it with execute_request (flag 2); its result is the answer.
// Promises: the caller's arguments are formatted on the caller's thread when the request is made, so a
// queued request never reads the caller's argument list; the box itself is made and shown on the GUI thread.
class message_box_request_t : public exec_request_t
{
public:
  // A null label leaves its button out; an empty one asks for the standard caption ("~Y~es" when there
  // is a No button, else "OK"; "~N~o"; "~C~ancel"). "~x~" in a label marks its mnemonic. The text is
  // format with its arguments; its control lines (ui/message_box_header.h) refine title, icon and scope.
  message_box_request_t(const char *title, int32_t icon, int32_t autohide, const char *yes_label,
                        const char *no_label, const char *cancel_label, int32_t default_answer,
                        const char *format, va_list va);
  ~message_box_request_t() override;
  message_box_request_t(const message_box_request_t &) = delete;
  message_box_request_t &operator=(const message_box_request_t &) = delete;

  // run_for the application object.
  int32_t run() override;
  // Answers the request for that application (null: none; the answer is then Cancel, and logged): a
  // remembered answer, the default answer when the application shows no boxes, else the user's answer
  // to the box, which is remembered when its check box is ticked and the answer is not Cancel.
  int32_t run_for(app_t *app);

  std::string title;
  int32_t icon;
  int32_t autohide;
  std::optional<std::string> yes_label;
  std::optional<std::string> no_label;
  std::optional<std::string> cancel_label;
  int32_t default_answer;

private:
  std::string header_source_; // the format, or its one argument when the format is exactly "%s"
  std::string text_;          // the formatted text, cut to fit message_box_text_max
};

// The box: a QMessageBox for a parsed header and its body, with the check box of its scope and a Help
// button for its topic. Promises: a key without modifiers that is the check box's mnemonic toggles it; the
// Help button shows the topic and leaves the box open; on its first layout a text that fits the screen
// without word wrap is not wrapped.
class message_box_t : public QMessageBox
{
  Q_OBJECT

public:
  // Parented to the application's active window; titled, iconed and filled from the header, with the
  // body as its text. Null app: no parent, no window icon, and Help shows nothing.
  message_box_t(app_t *app, const message_box_header_t &header, const QString &body);
  ~message_box_t() override;

  [[nodiscard]] int32_t help_id() const { return help_id_; }
  // The "Don't display this message again" box, null for a header without scope.
  [[nodiscard]] QCheckBox *hide_check_box() const;

  // QMessageBox's done and setVisible, except that a click on the Help button closes nothing.
  void done(int result) override;
  void setVisible(bool visible) override;

public slots:
  // Shows the box's help topic.
  void on_help_requested();

protected:
  bool event(QEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

private:
  void fit_without_word_wrap();

  app_t *app_; // not owned
  int32_t help_id_;
  bool laid_out_ = false;
  bool help_clicked_ = false; // while a click on the Help button is handled: every close is refused
  QSize unwrapped_size_; // valid once the text was laid out without word wrap
};

// The Qt form of a caption: "~x~" becomes the mnemonic "&x", and a plain "&" stays visible.
[[nodiscard]] QString message_box_caption(const std::string &label);

// The box kinds of the core's message request (code 24): 0 and 3 a box titled "Error" with the error icon,
// 1 "Information" with the information icon, 2 "Warning" with the warning icon; each with an OK button,
// run with flag 2 so that the calling thread waits until the box is closed. Ending the process after an
// error is the caller's. False for any other kind (nothing done), else true.
bool dispatch_message_box_message(int32_t kind, const char *format, va_list va);
