// Message boxes: real key presses, captions, the check box and remembered answers, help, the text cut,
// worker threads, the core's messages and hostile texts.
#include "ui/message_box.h"

#include "core/registry.h"
#include "core/ui_callback.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/test_scale.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/framework_messages.h"
#include "tests/ui/app/screenshots.h"
#include "tests/ui/app/test_app.h"
#include "tests/ui/message_box_mutations.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// What a request is made with besides its text.
struct spec_t
{
  const char *title = "Test";
  int32_t icon = MBOX_ICON_QUESTION;
  int32_t autohide = MBOX_AUTOHIDE_NONE;
  const char *yes = "";
  const char *no = "";
  const char *cancel = "";
  int32_t default_answer = MBOX_ANSWER_YES;
};

int32_t vask(const spec_t &spec, const char *format, va_list va)
{
  message_box_request_t request(spec.title, spec.icon, spec.autohide, spec.yes, spec.no, spec.cancel,
                                spec.default_answer, format, va);
  return int32_t(execute_request(&request, exec_flag_marked));
}

// Runs a request the way the core's callers do (flag 2) and answers its answer.
int32_t ask(const spec_t &spec, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const int32_t answer = vask(spec, format, va);
  va_end(va);
  return answer;
}

// The shown box's buttons by caption, in the order added.
std::vector<std::string> button_texts(const message_box_t &box)
{
  std::vector<std::string> texts;
  for ( const QAbstractButton *button : box.buttons() )
    texts.push_back(button->text().toStdString());
  return texts;
}

QAbstractButton *button_with_text(const message_box_t &box, const char *text)
{
  for ( QAbstractButton *button : box.buttons() )
    if ( button->text() == QString::fromUtf8(text) )
      return button;
  return nullptr;
}

// A key pressed as the user would: at the widget that has the focus in the box.
void press(message_box_t &box, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
  QWidget *target = box.focusWidget() != nullptr ? box.focusWidget() : &box;
  QTest::keyClick(target, key, modifiers);
}

// The log lines (request 23) seen by ui, in order.
std::vector<std::string> log_lines(const recording_ui_callback_t &ui)
{
  std::vector<std::string> lines;
  for ( const ui_request_record_t &r : ui.requests_of(ui_code_log) )
    lines.push_back(r.text);
  return lines;
}

class MessageBox : public ::testing::Test
{
protected:
  void SetUp() override
  {
    test_app().reset_test_state();
    test_app().helps_shown.clear();
    test_app().boxes_enabled = true;
    test_app().reset_hidden_answers();
  }
  void TearDown() override
  {
    player_.reset();
    watchdog_.reset();
    test_app().boxes_enabled = true;
    test_app().reset_hidden_answers();
  }

  // Runs act on the next box once it is shown and active; the box the act leaves open is closed after 10 s
  // with a failure, so that a broken test ends.
  void on_next_box(std::function<void(message_box_t &)> act)
  {
    player_ = std::make_unique<QTimer>();
    player_->setInterval(5);
    QObject::connect(player_.get(), &QTimer::timeout, [this, act = std::move(act)] {
      auto *box = qobject_cast<message_box_t *>(QApplication::activeModalWidget());
      if ( box == nullptr || !box->isVisible() || !box->isActiveWindow() )
        return;
      player_->stop();
      shown_on_gui_thread_ = QThread::currentThread() == QCoreApplication::instance()->thread();
      act(*box);
    });
    player_->start();
    watchdog_ = std::make_unique<QTimer>();
    watchdog_->setSingleShot(true);
    QObject::connect(watchdog_.get(), &QTimer::timeout, [] {
      if ( auto *box = qobject_cast<message_box_t *>(QApplication::activeModalWidget()) )
      {
        ADD_FAILURE() << "a message box stayed open";
        box->close();
      }
    });
    watchdog_->start(10000);
  }

  // Fails the test when a box shows.
  void expect_no_box()
  {
    on_next_box([](message_box_t &box) {
      ADD_FAILURE() << "unexpected box: " << box.text().toStdString();
      box.close();
    });
  }

  bool shown_on_gui_thread_ = false;

private:
  std::unique_ptr<QTimer> player_;
  std::unique_ptr<QTimer> watchdog_;
};

TEST_F(MessageBox, KeysAnswerThroughTheButtonsTheyReach)
{
  struct row_t
  {
    const char *what;
    spec_t spec;
    const char *text;
    Qt::Key key;
    int32_t answer;
  };
  const row_t rows[] = {
    {"Enter takes the default Yes", {}, "Go on?", Qt::Key_Return, 1},
    {"Enter takes the default No", {.default_answer = 0}, "Go on?", Qt::Key_Return, 0},
    {"Enter takes the default Cancel", {.default_answer = -1}, "Go on?", Qt::Key_Enter, -1},
    {"Escape reaches Cancel", {}, "Go on?", Qt::Key_Escape, -1},
    {"Escape without Cancel reaches No", {.cancel = nullptr}, "Go on?", Qt::Key_Escape, 0},
    {"Escape with OK alone reaches OK", {.no = nullptr, .cancel = nullptr}, "Noted.", Qt::Key_Escape, 1},
    {"mnemonic Y", {.default_answer = 0}, "Go on?", Qt::Key_Y, 1},
    {"mnemonic N", {}, "Go on?", Qt::Key_N, 0},
    {"mnemonic C", {}, "Go on?", Qt::Key_C, -1},
    {"own mnemonic", {.yes = "~S~ave", .no = "~D~iscard"}, "Save?", Qt::Key_D, 0},
    {"HIDECANCEL turns a default Cancel into No", {.default_answer = -1}, "HIDECANCEL\nGo on?", Qt::Key_Return, 0},
    {"HIDECANCEL: Escape reaches No", {}, "HIDECANCEL\nGo on?", Qt::Key_Escape, 0},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    on_next_box([&](message_box_t &box) { press(box, row.key); });
    EXPECT_EQ(ask(row.spec, row.text), row.answer);
    EXPECT_TRUE(shown_on_gui_thread_);
  }
}

TEST_F(MessageBox, CaptionsButtonsTitleAndIcon)
{
  struct row_t
  {
    const char *what;
    spec_t spec;
    const char *text;
    std::vector<std::string> buttons; // in any order
    std::string default_button;
    std::string title;
    const char *object_name;
    QMessageBox::Icon icon;
    const char *click;
    int32_t answer;
  };
  const row_t rows[] = {
    {"standard question", {}, "Go on?", {"&Yes", "&No", "&Cancel"}, "&Yes", "Test", "MsgBoxQuestion",
     QMessageBox::Question, "&Cancel", -1},
    {"OK alone", {.icon = MBOX_ICON_INFO, .no = nullptr, .cancel = nullptr}, "Done.", {"OK"}, "OK", "Test",
     "MsgBoxInformation", QMessageBox::Information, "OK", 1},
    {"own captions, & kept visible", {.yes = "~S~ave & quit", .no = "Quit", .cancel = nullptr, .default_answer = 0},
     "Quit?", {"&Save && quit", "Quit"}, "Quit", "Test", "MsgBoxQuestion", QMessageBox::Question, "&Save && quit",
     1},
    {"header lines override", {}, "TITLE Careful\nICON ERROR\nHIDECANCEL\nReally?", {"&Yes", "&No"}, "&Yes",
     "Careful", "MsgBoxCritical", QMessageBox::Critical, "&No", 0},
    {"warning icon", {.icon = MBOX_ICON_WARNING}, "Hm.", {"&Yes", "&No", "&Cancel"}, "&Yes", "Test",
     "MsgBoxWarning", QMessageBox::Warning, "&Yes", 1},
    {"no icon", {.icon = MBOX_ICON_NONE}, "Plain.", {"&Yes", "&No", "&Cancel"}, "&Yes", "Test", "",
     QMessageBox::NoIcon, "&No", 0},
    {"an icon number out of range shows none", {.icon = 9}, "Odd.", {"&Yes", "&No", "&Cancel"}, "&Yes", "Test",
     "", QMessageBox::NoIcon, "&Cancel", -1},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    on_next_box([&](message_box_t &box) {
      std::vector<std::string> shown = button_texts(box);
      std::vector<std::string> expected = row.buttons;
      std::sort(shown.begin(), shown.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(shown, expected);
      ASSERT_NE(box.defaultButton(), nullptr);
      EXPECT_EQ(box.defaultButton()->text().toStdString(), row.default_button);
      EXPECT_TRUE(box.defaultButton()->hasFocus());
      EXPECT_EQ(box.windowTitle().toStdString(), row.title);
      EXPECT_EQ(box.objectName().toStdString(), row.object_name);
      EXPECT_EQ(box.icon(), row.icon);
      EXPECT_FALSE(box.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
      EXPECT_EQ(box.textFormat(), Qt::PlainText);
      EXPECT_EQ(box.hide_check_box(), nullptr);
      QAbstractButton *button = button_with_text(box, row.click);
      ASSERT_NE(button, nullptr);
      QTest::mouseClick(button, Qt::LeftButton);
    });
    EXPECT_EQ(ask(row.spec, "%s", row.text), row.answer);
  }
}

TEST_F(MessageBox, RichTextAndTheParentIsTheActiveWindow)
{
  QWidget window;
  window.resize(400, 300);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  on_next_box([&](message_box_t &box) {
    EXPECT_EQ(box.textFormat(), Qt::RichText);
    EXPECT_EQ(box.parentWidget(), &window);
    EXPECT_TRUE(box.isModal());
    press(box, Qt::Key_Return);
  });
  EXPECT_EQ(ask({}, "RICHTEXT\n<b>%s</b>?", "Bold"), 1);
}

TEST_F(MessageBox, TheCheckBoxRemembersYesAndNoButNeverCancel)
{
  recording_ui_callback_t ui;
  // Ticked from the start; Yes is remembered for the session.
  on_next_box([&](message_box_t &box) {
    QCheckBox *check = box.hide_check_box();
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->text().toStdString(), "&Don't display this message again (for this session only)");
    EXPECT_TRUE(check->isChecked());
    save_screenshot(box, "question-with-check-box");
    press(box, Qt::Key_Y);
  });
  EXPECT_EQ(ask({}, "AUTOHIDE SESSION*\nOverwrite %s?", "a.txt"), 1);
  // The same format with another argument, and one that differs in punctuation only, answer silently.
  expect_no_box();
  ui.clear();
  EXPECT_EQ(ask({.default_answer = 0}, "AUTOHIDE SESSION\nOverwrite %s?", "b.txt"), 1);
  EXPECT_EQ(ask({.default_answer = 0}, "AUTOHIDE SESSION\nOverwrite:%s!", "c.txt"), 1);
  EXPECT_EQ(log_lines(ui), (std::vector<std::string> {"[autohidden] ", "Overwrite b.txt? -> Yes\n", "[autohidden] ",
                                                      "Overwrite:c.txt! -> Yes\n"}));
  // Another format is asked.
  on_next_box([](message_box_t &box) { press(box, Qt::Key_N); });
  EXPECT_EQ(ask({}, "AUTOHIDE SESSION*\nDelete %s?", "a.txt"), 0);
  expect_no_box();
  EXPECT_EQ(ask({}, "AUTOHIDE SESSION*\nDelete %s?", "b.txt"), 0);

  // Cancel is never remembered, ticked or not.
  for ( int round = 0; round < 2; ++round )
  {
    on_next_box([](message_box_t &box) {
      EXPECT_TRUE(box.hide_check_box()->isChecked());
      press(box, Qt::Key_Escape);
    });
    EXPECT_EQ(ask({}, "AUTOHIDE REGISTRY*\nReplace %s?", "x"), -1) << round;
  }

  // Not ticked: nothing is remembered.
  on_next_box([](message_box_t &box) {
    EXPECT_FALSE(box.hide_check_box()->isChecked());
    press(box, Qt::Key_Y);
  });
  EXPECT_EQ(ask({}, "AUTOHIDE REGISTRY\nRename %s?", "x"), 1);
  on_next_box([](message_box_t &box) { press(box, Qt::Key_N); });
  EXPECT_EQ(ask({}, "AUTOHIDE REGISTRY\nRename %s?", "x"), 0);

  // The reset forgets the session's answers.
  test_app().reset_hidden_answers();
  on_next_box([](message_box_t &box) { press(box, Qt::Key_N); });
  EXPECT_EQ(ask({}, "AUTOHIDE SESSION\nOverwrite %s?", "a.txt"), 0);
}

TEST_F(MessageBox, TheCheckBoxMnemonicTogglesItAndRegistryAnswersLast)
{
  // The mnemonic key without modifiers toggles the box (an animated click), twice back and forth.
  on_next_box([](message_box_t &box) {
    QCheckBox *check = box.hide_check_box();
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->text().toStdString(), "&Don't display this message again");
    EXPECT_FALSE(check->isChecked());
    press(box, Qt::Key_D);
    EXPECT_TRUE(pump_until([&] { return check->isChecked(); }, 2s));
    press(box, Qt::Key_D);
    EXPECT_TRUE(pump_until([&] { return !check->isChecked(); }, 2s));
    press(box, Qt::Key_D);
    EXPECT_TRUE(pump_until([&] { return check->isChecked(); }, 2s));
    EXPECT_TRUE(box.isVisible()) << "the toggle does not answer";
    press(box, Qt::Key_N);
  });
  EXPECT_EQ(ask({}, "AUTOHIDE REGISTRY\nKeep %s open?", "the log"), 0);

  // Kept in the registry under the format's key.
  message_box_header_t header;
  set_message_box_key(&header, "Keep %s open?");
  EXPECT_EQ(registry_int(header.key.c_str(), false, -1, "Hidden Messages"), 0);
  recording_ui_callback_t ui;
  expect_no_box();
  EXPECT_EQ(ask({.no = "~L~eave"}, "AUTOHIDE REGISTRY\nKeep %s open?", "a file"), 0);
  EXPECT_EQ(log_lines(ui), (std::vector<std::string> {"[autohidden] ", "Keep a file open? -> Leave\n"}));

  // A value in the registry that no box writes is not an answer: the box is asked.
  (void)registry_int(header.key.c_str(), true, 7, "Hidden Messages");
  on_next_box([](message_box_t &box) { press(box, Qt::Key_Y); });
  EXPECT_EQ(ask({}, "AUTOHIDE REGISTRY\nKeep %s open?", "x"), 1);

  // The database scope shows its caption, but the framework keeps nothing for it.
  for ( int round = 0; round < 2; ++round )
  {
    on_next_box([](message_box_t &box) {
      EXPECT_EQ(box.hide_check_box()->text().toStdString(),
                "&Don't display this message again (for this database only)");
      press(box, Qt::Key_Y);
    });
    EXPECT_EQ(ask({}, "AUTOHIDE DATABASE*\nSync %s?", "db"), 1) << round;
  }
}

TEST_F(MessageBox, HelpShowsTheTopicAndLeavesTheBoxOpen)
{
  struct row_t
  {
    const char *what;
    const char *format;
    const char *argument;
    int32_t topic;
    const char *shown;
  };
  const row_t rows[] = {
    {"marker after a blank mid-text", "Save it? @0:12[]\n%s", "really", 12, "Save it? really"},
    {"marker in the argument", "%s", "Look here @0:31[]\nfor more", 31, "Look here for more"},
    {"marker as a header line", "@0:5[]\nTITLE Helpful\n%s", "body", 5, "body"},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    test_app().helps_shown.clear();
    on_next_box([&](message_box_t &box) {
      EXPECT_EQ(box.text().toStdString(), row.shown);
      EXPECT_EQ(box.help_id(), row.topic);
      QAbstractButton *help = button_with_text(box, "Help");
      ASSERT_NE(help, nullptr);
      EXPECT_EQ(help->shortcut(), QKeySequence(Qt::Key_F1));
      if ( row.topic == 12 )
        save_screenshot(box, "help-button");
      QTest::mouseClick(help, Qt::LeftButton);
      EXPECT_TRUE(box.isVisible());
      press(box, Qt::Key_F1);
      EXPECT_TRUE(pump_until([] { return test_app().helps_shown.size() == 2; }, 2s));
      EXPECT_TRUE(box.isVisible());
      press(box, Qt::Key_N);
    });
    EXPECT_EQ(ask({}, row.format, row.argument), 0);
    EXPECT_EQ(test_app().helps_shown, (std::vector<int32_t> {row.topic, row.topic}));
  }
  // Without a marker there is no Help button.
  on_next_box([](message_box_t &box) {
    EXPECT_EQ(button_with_text(box, "Help"), nullptr);
    press(box, Qt::Key_Return);
  });
  EXPECT_EQ(ask({}, "No help @0:x[]\n"), 1);
}

TEST_F(MessageBox, AWorkerThreadsBoxIsShownAndAnsweredOnTheGuiThread)
{
  recording_ui_callback_t ui;
  std::atomic<bool> finished {false};
  int32_t answer = 42;
  std::thread::id worker_thread;
  std::thread worker([&] {
    worker_thread = std::this_thread::get_id();
    answer = ask({.default_answer = 0}, "AUTOHIDE SESSION*\nFrom a worker: %d files?", 3);
    finished = true;
  });
  on_next_box([&](message_box_t &box) {
    EXPECT_EQ(box.text().toStdString(), "From a worker: 3 files?");
    EXPECT_FALSE(finished.load()) << "the worker waits for the answer";
    press(box, Qt::Key_Y);
  });
  ASSERT_TRUE(pump_until([&] { return finished.load(); }));
  worker.join();
  EXPECT_TRUE(shown_on_gui_thread_);
  EXPECT_NE(worker_thread, std::this_thread::get_id());
  EXPECT_EQ(answer, 1);

  // The answer it ticked is remembered for the next worker, which gets it without a box.
  expect_no_box();
  finished = false;
  std::thread second([&] {
    answer = ask({.default_answer = 0}, "AUTOHIDE SESSION\nFrom a worker: %d files?", 9);
    finished = true;
  });
  ASSERT_TRUE(pump_until([&] { return finished.load(); }));
  second.join();
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(log_lines(ui), (std::vector<std::string> {"[autohidden] ", "From a worker: 9 files? -> Yes\n"}));
}

TEST_F(MessageBox, LongTextsAreCutOnACharacterBoundary)
{
  test_app().boxes_enabled = false;
  recording_ui_callback_t ui;
  const std::string e_acute = "\xC3\xA9";
  const std::string clef = "\xF0\x9D\x84\x9E"; // four bytes
  const size_t keep = message_box_text_max - 1;
  struct row_t
  {
    const char *what;
    std::string text;
    std::string shown;
  };
  const row_t rows[] = {
    {"fits exactly", std::string(keep - 2, 'a') + e_acute, std::string(keep - 2, 'a') + e_acute},
    {"two-byte character across the limit", std::string(keep - 1, 'a') + e_acute + "tail",
     std::string(keep - 1, 'a')},
    {"four-byte character across the limit", std::string(keep - 2, 'a') + clef, std::string(keep - 2, 'a')},
    {"four-byte character ending at the limit", std::string(keep - 4, 'a') + clef + "b",
     std::string(keep - 4, 'a') + clef},
    {"far too long", std::string(3 * message_box_text_max, 'z'), std::string(keep, 'z')},
    // No UTF-8 at the limit: cut where it falls rather than lose the text before it.
    {"continuation bytes only", std::string(message_box_text_max + 5, '\x80'), std::string(keep, '\x80')},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    ui.clear();
    EXPECT_EQ(ask({}, "%s", row.text.c_str()), 1);
    const std::vector<std::string> lines = log_lines(ui);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], row.shown + " -> ~Y~es\n");
  }

  // Shown, the cut text is what the box holds.
  test_app().boxes_enabled = true;
  std::string words;
  while ( words.size() < 2 * message_box_text_max )
    words += "Tr\xC3\xA8s long texte \xE2\x82\xAC ";
  on_next_box([&](message_box_t &box) {
    const QByteArray shown = box.text().toUtf8();
    EXPECT_LE(size_t(shown.size()), keep);
    EXPECT_TRUE(words.compare(0, size_t(shown.size()), shown.constData(), size_t(shown.size())) == 0);
    EXPECT_FALSE(box.text().contains(QChar::ReplacementCharacter));
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->wordWrap()) << "a text wider than the screen wraps";
    save_screenshot(box, "long-text-cut");
    press(box, Qt::Key_Return);
  });
  EXPECT_EQ(ask({.no = nullptr, .cancel = nullptr}, "%s", words.c_str()), 1);
}

TEST_F(MessageBox, ATextThatFitsTheScreenIsNotWrapped)
{
  // Wider than Qt's own wrapping limit (half the screen), narrower than the screen less 200 pixels.
  const QScreen *screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const int target = screen->availableGeometry().width() / 2 + 40;
  QString line;
  const QFontMetrics metrics(QApplication::font());
  while ( metrics.horizontalAdvance(line) < target )
    line += QStringLiteral("word ");
  on_next_box([&](message_box_t &box) {
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    EXPECT_FALSE(label->wordWrap());
    EXPECT_GE(box.width(), target);
    EXPECT_LT(box.width(), screen->availableGeometry().width() - 200);
    EXPECT_EQ(box.minimumSize(), box.maximumSize()) << "a fixed size";
    // Centred over its parent, or on the screen without one.
    const QRect around = box.parentWidget() != nullptr ? box.parentWidget()->frameGeometry() : screen->geometry();
    EXPECT_LE(std::abs(box.frameGeometry().center().x() - around.center().x()), 2);
    press(box, Qt::Key_Return);
  });
  EXPECT_EQ(ask({.icon = MBOX_ICON_NONE, .no = nullptr, .cancel = nullptr}, "%s", line.toUtf8().constData()), 1);
}

TEST_F(MessageBox, AnswersWithoutBoxesOrWithoutAnApplication)
{
  recording_ui_callback_t ui;
  // Boxes switched off: the default answer, logged with its caption.
  test_app().boxes_enabled = false;
  struct row_t
  {
    spec_t spec;
    int32_t answer;
    const char *line;
  };
  const row_t rows[] = {
    {{.default_answer = 1}, 1, "Quiet? -> ~Y~es\n"},
    {{.default_answer = 0}, 0, "Quiet? -> ~N~o\n"},
    {{.default_answer = -1}, -1, "Quiet? -> ~C~ancel\n"},
    {{.no = nullptr, .cancel = nullptr}, 1, "Quiet? -> OK\n"},
    {{.yes = nullptr, .no = nullptr, .cancel = nullptr, .default_answer = 0}, 0, "Quiet? -> No\n"},
    {{.cancel = nullptr, .default_answer = -1}, -1, "Quiet? -> Cancel\n"},
    {{.yes = "~G~o", .default_answer = 1}, 1, "Quiet? -> ~G~o\n"},
    {{.default_answer = 5}, 5, "Quiet? -> ?\n"},
  };
  expect_no_box();
  for ( const row_t &row : rows )
  {
    ui.clear();
    EXPECT_EQ(ask(row.spec, "Quiet?"), row.answer) << row.line;
    EXPECT_EQ(log_lines(ui), std::vector<std::string> {row.line});
  }
  // Even a ticked check box remembers nothing when no box was shown.
  EXPECT_EQ(ask({.default_answer = 0}, "AUTOHIDE SESSION*\nSilent %d", 1), 0);
  test_app().boxes_enabled = true;
  on_next_box([](message_box_t &box) { press(box, Qt::Key_Y); });
  EXPECT_EQ(ask({.default_answer = 0}, "AUTOHIDE SESSION*\nSilent %d", 1), 1);

  // Without an application object: Cancel, logged with the icon's name and the body.
  struct none_row_t
  {
    int32_t icon;
    const char *format;
    const char *line;
  };
  const none_row_t none_rows[] = {
    {MBOX_ICON_QUESTION, "Anyone %s?", "[Question] Anyone there? -> Cancel\n"},
    {MBOX_ICON_INFO, "ICON ERROR\nAnyone %s?", "[Error] Anyone there? -> Cancel\n"},
    {MBOX_ICON_NONE, "Anyone %s?", "[None] Anyone there? -> Cancel\n"},
    {MBOX_ICON_WARNING, "Anyone %s?", "[Warning] Anyone there? -> Cancel\n"},
    {MBOX_ICON_INFO, "Anyone %s?", "[Info] Anyone there? -> Cancel\n"},
  };
  for ( const none_row_t &row : none_rows )
  {
    ui.clear();
    const auto make = [&](const char *format, ...) {
      va_list va;
      va_start(va, format);
      message_box_request_t request("T", row.icon, MBOX_AUTOHIDE_NONE, "", "", "", 1, format, va);
      va_end(va);
      return request.run_for(nullptr);
    };
    EXPECT_EQ(make(row.format, "there"), -1);
    EXPECT_EQ(log_lines(ui), std::vector<std::string> {row.line});
  }
}

TEST_F(MessageBox, TheCoresMessagesBecomeBoxesOnAnyThread)
{
  const framework_message_dispatcher_t dispatcher;
  struct row_t
  {
    int32_t kind;
    const char *title;
    QMessageBox::Icon icon;
  };
  const row_t rows[] = {
    {msg_kind_info, "Information", QMessageBox::Information},
    {msg_kind_warning, "Warning", QMessageBox::Warning},
    {msg_kind_error, "Error", QMessageBox::Critical},
    {msg_kind_fatal, "Error", QMessageBox::Critical},
  };
  for ( const bool from_worker : {false, true} )
    for ( const row_t &row : rows )
    {
      SCOPED_TRACE(testing::Message() << row.title << (from_worker ? " from a worker" : ""));
      std::atomic<bool> returned {false};
      on_next_box([&](message_box_t &box) {
        EXPECT_EQ(box.windowTitle().toStdString(), row.title);
        EXPECT_EQ(box.icon(), row.icon);
        EXPECT_EQ(box.text().toStdString(), "Disk 3 is full");
        EXPECT_EQ(button_texts(box), std::vector<std::string> {"OK"});
        EXPECT_FALSE(returned.load()) << "the sender waits until the box is closed";
        press(box, Qt::Key_Return);
      });
      const auto send = [&] {
        send_ui_message(row.kind, "Disk %d is full", 3);
        returned = true;
      };
      if ( from_worker )
      {
        std::thread worker(send);
        EXPECT_TRUE(pump_until([&] { return returned.load(); }));
        worker.join();
      }
      else
      {
        send();
      }
      EXPECT_TRUE(shown_on_gui_thread_);
    }
  // The core's warning with a header that makes it impossible to hide, and the wait-box kinds are not boxes.
  on_next_box([](message_box_t &box) {
    EXPECT_EQ(box.hide_check_box(), nullptr);
    press(box, Qt::Key_Escape);
  });
  warning_printf("AUTOHIDE NONE\nCannot %s", "hide");
  va_list none {};
  EXPECT_FALSE(dispatch_message_box_message(msg_kind_wait_show, "x", none));
  EXPECT_FALSE(dispatch_message_box_message(msg_kind_text_first, "x", none));
}

TEST_F(MessageBox, HostileTextsGiveWarningsAndPlainBodies)
{
  test_app().boxes_enabled = false;
  recording_ui_callback_t ui;
  struct row_t
  {
    const char *what;
    std::string argument;
    std::string body;
    size_t warnings;
  };
  const row_t rows[] = {
    {"TITLE without a newline", "TITLE evil", "evil", 1},
    {"unknown icon", "ICON SKULL\nboo", "SKULL\nboo", 1},
    {"unknown scope", "AUTOHIDE FOREVER\nx", "FOREVER\nx", 1},
    {"long marker digits", "@0:123456789012345678901234567890[]\nx", "0:123456789012345678901234567890[]\nx", 1},
    {"overlong title", "TITLE " + std::string(5000, 't') + "\nshort", "short", 0},
    {"0x03 bytes", "a\x03" "b\x03", "a b ", 0},
    {"invalid UTF-8", "\xFF\xFE\xC3", "\xFF\xFE\xC3", 0},
    {"printf directives are text", "%s%n%d", "%s%n%d", 0},
    {"unknown words", "TITLES x\nICONS\n", "TITLES x\nICONS\n", 0},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    ui.clear();
    // As the only argument of "%s" the lines are the header; inside a longer format they are body.
    EXPECT_EQ(ask({}, "%s", row.argument.c_str()), 1);
    size_t warnings = 0;
    for ( const ui_request_record_t &r : ui.requests_of(ui_code_message) )
      warnings += r.kind == msg_kind_warning ? 1 : 0;
    EXPECT_EQ(warnings, row.warnings);
    const std::vector<std::string> lines = log_lines(ui);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), row.body + " -> ~Y~es\n");
    ui.clear();
    EXPECT_EQ(ask({}, "Server says: %s", row.argument.c_str()), 1);
    EXPECT_TRUE(ui.requests_of(ui_code_message).empty());
  }

  // Mutated headers as the argument of "%s".
  const int rounds = int(scaled_for_sanitizers(4000));
  uint32_t state = 20261211;
  for ( int round = 0; round < rounds; ++round )
  {
    const std::string text = mutated_message_box_text(&state);
    const spec_t spec {.autohide = int32_t(next_random(&state) % 4),
                       .default_answer = int32_t(next_random(&state) % 3) - 1};
    ASSERT_EQ(ask(spec, "%s", text.c_str()), spec.default_answer) << text;
    ui.clear();
  }
  test_app().reset_hidden_answers();
}

} // namespace
