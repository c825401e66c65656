// The core's questions and text requests answered by real dialogs, through the core's own front functions and
// a dispatcher that calls the request functions as the client's does; the user is played with real events.
#include "forms/form_widget.h"
#include "forms/inputs/form_dialog.h"
#include "forms/inputs/input_requests.h"

#include "core/ui_callback.h"
#include "tests/forms/form_test_support.h"
#include "tests/forms/modal_player.h"
#include "tests/forms/support/dialog_dispatcher.h"
#include "tests/ui/app/test_app.h"
#include "ui/message_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

class InputRequests : public ::testing::Test
{
protected:
  void SetUp() override
  {
    test_app().reset_test_state();
    test_app().boxes_enabled = true;
    test_app().reset_hidden_answers();
    test_app().helps_shown.clear();
  }
  void TearDown() override { test_app().reset_hidden_answers(); }

  recording_ui_callback_t ui;
  dialog_dispatcher_t dispatcher {ui};
};

QAbstractButton *button_with_text(const QMessageBox &box, const QString &text)
{
  for ( QAbstractButton *button : box.buttons() )
    if ( button->text() == text )
      return button;
  return nullptr;
}

QStringList button_texts(const QMessageBox &box)
{
  QStringList texts;
  for ( const QAbstractButton *button : box.buttons() )
    texts.append(button->text());
  texts.sort();
  return texts;
}

// ---- Questions -----------------------------------------------------------------------------------------------

TEST_F(InputRequests, QuestionsAreAnsweredInABoxTitledPleaseConfirm)
{
  struct row_t
  {
    const char *what;
    const char *yes;
    const char *no;
    const char *cancel;
    int default_answer;
    QStringList buttons;
    std::function<void(message_box_t &)> act;
    int answer;
  };
  const QStringList standard = {"&Cancel", "&No", "&Yes"};
  const row_t rows[] = {
    {"Yes by its mnemonic", nullptr, nullptr, nullptr, 0, standard, [](message_box_t &b) { press_key(b, Qt::Key_Y); },
     1},
    {"No by a click", nullptr, nullptr, nullptr, 1, standard,
     [](message_box_t &b) { QTest::mouseClick(button_with_text(b, "&No"), Qt::LeftButton); }, 0},
    {"Escape cancels", nullptr, nullptr, nullptr, 1, standard, [](message_box_t &b) { press_key(b, Qt::Key_Escape); },
     -1},
    {"Return takes the default No", nullptr, nullptr, nullptr, 0, standard,
     [](message_box_t &b) { press_key(b, Qt::Key_Return); }, 0},
    {"labels of the caller, a null one standard", "~O~verwrite", "~K~eep", nullptr, 1,
     {"&Cancel", "&Keep", "&Overwrite"}, [](message_box_t &b) { press_key(b, Qt::Key_K); }, 0},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    modal_player_t player;
    player.on_next<message_box_t>("the question", [&](message_box_t &box) {
      EXPECT_EQ(box.windowTitle(), "Please confirm");
      EXPECT_EQ(box.icon(), QMessageBox::Question);
      EXPECT_EQ(box.text(), "Replace a.txt?");
      EXPECT_EQ(button_texts(box), row.buttons);
      row.act(box);
    });
    EXPECT_EQ(question_buttons_printf(row.yes, row.no, row.cancel, row.default_answer, "Replace %s?", "a.txt"),
              row.answer);
  }
}

TEST_F(InputRequests, AWorkerThreadsQuestionIsShownOnTheGuiThreadAndWaitsForTheAnswer)
{
  modal_player_t player;
  bool shown_on_gui_thread = false;
  player.on_next<message_box_t>("the worker's question", [&](message_box_t &box) {
    shown_on_gui_thread = QThread::currentThread() == QCoreApplication::instance()->thread();
    EXPECT_EQ(box.windowTitle(), "Please confirm");
    EXPECT_EQ(box.text(), "Go on with 3 files?");
    press_key(box, Qt::Key_Y);
  });
  std::atomic<int> answer {99};
  std::atomic<bool> finished {false};
  std::thread worker([&] {
    answer = question_printf(0, "Go on with %d files?", 3);
    finished = true;
  });
  EXPECT_TRUE(pump_until([&] { return finished.load(); }));
  worker.join();
  EXPECT_EQ(answer, 1);
  EXPECT_TRUE(shown_on_gui_thread);
}

TEST_F(InputRequests, ATickedAnswerIsRememberedForTheSessionOnEveryThread)
{
  {
    modal_player_t player;
    player.on_next<message_box_t>("the question", [](message_box_t &box) {
      ASSERT_NE(box.hide_check_box(), nullptr);
      QTest::mouseClick(box.hide_check_box(), Qt::LeftButton);
      QTest::mouseClick(button_with_text(box, "&No"), Qt::LeftButton);
    });
    EXPECT_EQ(question_printf(1, "AUTOHIDE SESSION\nDelete the draft?"), 0);
  }
  modal_player_t no_box;
  EXPECT_EQ(question_printf(1, "AUTOHIDE SESSION\nDelete the draft?"), 0);
  std::atomic<int> answer {99};
  std::thread worker([&] { answer = question_printf(1, "AUTOHIDE SESSION\nDelete the draft?"); });
  EXPECT_TRUE(pump_until([&] { return answer.load() != 99; }));
  worker.join();
  EXPECT_EQ(answer, 0);
}

// ---- Text requests --------------------------------------------------------------------------------------------

// The control of the form's one field, of that type letter; null when the form has none.
const form_control_t *field_control(const form_widget_t &form, char type)
{
  for ( const form_control_t &control : form.controls() )
    if ( control.type == type )
      return &control;
  return nullptr;
}

// The text of a field's label (its buddy label).
QString label_text(const form_control_t &control)
{
  auto *label = control.extra.empty() ? nullptr : qobject_cast<QLabel *>(control.extra.front());
  return label != nullptr ? label->text() : QString();
}

// Replaces the field's text as a user does: everything selected, the new text typed.
void retype(QComboBox &combo, const QString &text)
{
  combo.lineEdit()->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(combo.lineEdit(), Qt::Key_A, Qt::ControlModifier);
  type_text(combo.lineEdit(), text);
}

TEST_F(InputRequests, TextRequestsOfEveryKindAskInAOneFieldForm)
{
  struct row_t
  {
    const char *what;
    int kind;
    char letter;
    const char *width; // the field's width subfield in the form text
    const char *initial;
    const char *typed;
    const char *answer;
  };
  const row_t rows[] = {
    {"plain string", 0, 'q', "-1", "old", "abc  ", "abc"},
    {"the Output window's kind", 3, 'q', "-1", "", "x y \t", "x y"},
    {"identifier", text_kind_identifier, 'i', "-1", "id1", "name_2", "name_2"},
    {"file path, browsing to open", text_kind_file_path, 'f', "0", "/tmp/a.txt", "/tmp/b.txt  ", "/tmp/b.txt"},
    {"string trimmed at both ends", text_kind_trimmed, 'y', "-1", "", "  both  ", "both"},
    {"long text", text_kind_long_text, 'X', "1023", "", "long  ", "long"},
    {"folder path", text_kind_folder_path, 'F', "259", "/tmp", "/var ", "/var"},
    {"second identifier kind", text_kind_identifier_two, 'I', "-1", "", "Id", "Id"},
    {"the tree views' kind", 0x80, 'q', "-1", "n", "renamed", "renamed"},
    {"non-ASCII text keeps its bytes", 0, 'q', "-1", "", "Grüße ", "Grüße"},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    ui.clear();
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the text form", [&](ui_form_dialog_t &dialog) {
      EXPECT_EQ(dialog.windowTitle(), "Please enter a string");
      const form_control_t *control = field_control(*dialog.form(), row.letter);
      ASSERT_NE(control, nullptr);
      auto *combo = qobject_cast<QComboBox *>(control->widget);
      ASSERT_NE(combo, nullptr);
      EXPECT_EQ(label_text(*control), "Port  8080") << "':' shows as a blank";
      EXPECT_EQ(combo->currentText(), QString::fromUtf8(row.initial));
      retype(*combo, QString::fromUtf8(row.typed));
      press_key(dialog, Qt::Key_Return);
    });
    qstring value = row.initial;
    EXPECT_TRUE(input_value_printf(&value, row.kind, "Port: %d", 8080));
    EXPECT_EQ(value, row.answer);
    const auto forms = ui.requests_of(ui_code_form_dialog);
    ASSERT_EQ(forms.size(), 1u);
    EXPECT_EQ(forms[0].text, std::string("@0:0[]\nPlease enter a string\n\n <Port  8080:") + row.letter + ":" +
                               row.width + ":80::>\n\n");
  }
}

TEST_F(InputRequests, ACancelledTextRequestKeepsTheValue)
{
  for ( const int kind : {0, int(text_kind_long_text)} )
  {
    SCOPED_TRACE(kind);
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the text form", [](ui_form_dialog_t &dialog) {
      QTest::keyClicks(dialog.focusWidget(), "typed");
      press_key(dialog, Qt::Key_Escape);
    });
    qstring value = "kept";
    EXPECT_FALSE(input_value_printf(&value, kind, "Name"));
    EXPECT_EQ(value, "kept");
  }
}

TEST_F(InputRequests, PromptsThatWouldBreakTheFormShowAsTheirText)
{
  struct row_t
  {
    const char *prompt;
    const char *label;
  };
  const row_t rows[] = {
    {"Use 50%/day", "Use 50% /day"},     // "%/" would take the value as the form's callback
    {"C:\\dir\\", "C \\dir\\"},          // a backslash at the end would escape the field's colon
    {"a > b: c", "a   b  c"},
    {"@0:12[]\nHelp me", "Help me"},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.prompt);
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the text form", [&](ui_form_dialog_t &dialog) {
      const form_control_t *control = field_control(*dialog.form(), 'q');
      ASSERT_NE(control, nullptr);
      EXPECT_EQ(label_text(*control).trimmed(), QString::fromUtf8(row.label).trimmed());
      press_key(dialog, Qt::Key_Return);
    });
    qstring value = "v";
    EXPECT_TRUE(input_value_printf(&value, 0, "%s", row.prompt));
    EXPECT_EQ(value, "v");
  }
}

TEST_F(InputRequests, TheHelpButtonOfATextRequestShowsItsTopic)
{
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the text form", [](ui_form_dialog_t &dialog) {
    QPushButton *help = dialog.form()->button_box()->button(QDialogButtonBox::Help);
    ASSERT_NE(help, nullptr);
    QTest::mouseClick(help, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible()) << "help leaves the form open";
    press_key(dialog, Qt::Key_Escape);
  });
  qstring value;
  EXPECT_FALSE(input_value_printf(&value, 0, "@0:77[]\nPort"));
  EXPECT_EQ(test_app().helps_shown, std::vector<int32_t> {77});
}

TEST_F(InputRequests, APathLongerThanItsFieldIsRefusedNotCut)
{
  for ( const int kind : {int(text_kind_file_path), int(text_kind_folder_path), int(text_kind_long_text)} )
  {
    SCOPED_TRACE(kind);
    ui.clear();
    const std::string too_long = "/" + std::string(kind == text_kind_long_text ? 1023 : 259, 'p');
    qstring value = too_long.c_str();
    EXPECT_FALSE(input_value_printf(&value, kind, "Path"));
    EXPECT_EQ(value, too_long.c_str());
    EXPECT_TRUE(ui.requests_of(ui_code_form_dialog).empty()) << "no form for a value it would cut";
    const std::vector<std::string> warnings = recorded_warnings(ui);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("too long"), std::string::npos);
  }
  // One byte less fits.
  const std::string fits = "/" + std::string(258, 'p');
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the path form", [](ui_form_dialog_t &dialog) {
    press_key(dialog, Qt::Key_Return);
  });
  qstring value = fits.c_str();
  EXPECT_TRUE(input_value_printf(&value, text_kind_file_path, "Path"));
  EXPECT_EQ(value, fits.c_str());
}

// A folder of the test process with one file in it.
struct browse_folder_t
{
  browse_folder_t()
  {
    const char *tmp = std::getenv("TMPDIR");
    root = std::filesystem::path(tmp != nullptr ? tmp : "/tmp") / "browse";
    std::filesystem::create_directories(root / "sub");
    std::ofstream(root / "chosen.txt") << "x";
  }
  std::filesystem::path root;
};

// Types a name into a widget-based file dialog and presses Return, as a user does.
void choose_in(QFileDialog &dialog, const QString &name)
{
  auto *edit = dialog.findChild<QLineEdit *>("fileNameEdit");
  ASSERT_NE(edit, nullptr);
  edit->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(edit, name);
  press_key(dialog, Qt::Key_Return);
  // A completion list that took the key is closed by it; the next Return reaches the dialog.
  if ( dialog.isVisible() )
    press_key(dialog, Qt::Key_Return);
}

TEST_F(InputRequests, PathRequestsBrowseWithTheRightDialog)
{
  const browse_folder_t folder;
  struct row_t
  {
    const char *what;
    int kind;
    char letter;
    bool folder; // a folder chooser, else a dialog that opens an existing file
    std::string initial;
    std::string typed;
    std::string answer;
  };
  const row_t rows[] = {
    {"a file is opened, never saved", text_kind_file_path, 'f', false,
     (folder.root / "x.txt").string(), "chosen.txt", (folder.root / "chosen.txt").string()},
    {"a folder is chosen", text_kind_folder_path, 'F', true, folder.root.string(), "sub",
     (folder.root / "sub").string()},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the path form", [&](ui_form_dialog_t &dialog) {
      const form_control_t *control = field_control(*dialog.form(), row.letter);
      ASSERT_NE(control, nullptr);
      ASSERT_EQ(control->extra.size(), 2u);
      auto *browse = qobject_cast<QPushButton *>(control->extra[1]);
      ASSERT_NE(browse, nullptr);
      QTest::mouseClick(browse, Qt::LeftButton);
      EXPECT_EQ(qobject_cast<QComboBox *>(control->widget)->currentText().toStdString(), row.answer);
      // The browse button has the focus now, and Return would press it again: OK is clicked.
      QTest::mouseClick(dialog.form()->button_box()->button(QDialogButtonBox::Yes), Qt::LeftButton);
    });
    player.on_next<QFileDialog>("the browse dialog", [&](QFileDialog &dialog) {
      EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
      if ( row.folder )
        EXPECT_TRUE(dialog.testOption(QFileDialog::ShowDirsOnly));
      else
        EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
      choose_in(dialog, QString::fromStdString(row.typed));
    });
    qstring value = row.initial.c_str();
    EXPECT_TRUE(input_value_printf(&value, row.kind, "Where"));
    EXPECT_EQ(value, row.answer.c_str());
  }
}

} // namespace
