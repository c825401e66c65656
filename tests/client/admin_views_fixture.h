// The Sites and Users views' fixture: the started client connected to the test server as alice (an
// administrator, on site ws) or as bob (a plain user), with helpers that play the user of the lists, the forms
// and the boxes with real key and mouse events.
#pragma once

#include "client/app/akui_app.h"
#include "tests/repo/test_server_client.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

class QPushButton;
class QWidget;
class chooser_widget_t;
class message_box_t;

class admin_views_fixture_t : public test_server_fixture_t
{
protected:
  void SetUp() override;
  void TearDown() override;

  static akui_app_t &app();
  // Lets queued events, refreshes and deferred deletions run.
  static void settle();
  // Connects as the user (alice: site ws in use; anybody else: no site) and reads the server information.
  void log_in(const char *user, const char *password, const char *site = nullptr);
  // Runs the open action and waits for the list's rows (that many at least); null when no list came.
  chooser_widget_t *open_list(const char *action, const char *title, int rows = 1);
  // The texts of every row, and whether a row shows bold.
  static std::vector<std::vector<std::string>> row_texts(chooser_widget_t &list);
  static std::vector<std::string> column(chooser_widget_t &list, int column);
  static bool row_bold(chooser_widget_t &list, int row);
  // Clicks the row (with the modifiers) in the list's table.
  static void click_row(chooser_widget_t &list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // A key pressed at the list's table.
  static void press(chooser_widget_t &list, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // Opens the context menu on the row with a real menu request and clicks the entry (mnemonics removed).
  // False when the menu did not show or had no such enabled entry; *entries receives the menu's enabled
  // entries when given.
  static bool choose_from_menu(chooser_widget_t &list, int row, const char *entry,
                               std::vector<std::string> *entries = nullptr);
  // Waits until the list shows that many rows.
  static bool wait_rows(chooser_widget_t &list, int count);
  // Lines the Output window received since the last mark.
  void mark_log();
  std::vector<std::string> log_since_mark() const;

  size_t log_mark_ = 0;
};

// The field of a form next to the label that begins with the text (mnemonics removed).
QWidget *form_field(QWidget &dialog, const char *label);
// Replaces the text of a form's line field (an input combo or a password line) by typing it.
void type_into(QWidget &dialog, const char *label, const QString &text);
// The text of a form's line field.
QString field_text(QWidget &dialog, const char *label);
// The dialog's button whose text (mnemonics removed) is the text.
QPushButton *dialog_button(QWidget &dialog, const char *text);
// Clicks the button.
void click(QWidget *widget);
// Plays a message box: records its text and clicks the button.
std::function<void(message_box_t &)> answer(std::vector<std::string> *texts, const char *button);
// Whether one of the lines begins with the text.
bool starts_with(const std::vector<std::string> &lines, const std::string &head);
