// The Output window driven by real keys and mouse: moves, selection, copy, find, clear, save, timestamps,
// following the newest line, the horizontal range, action states and the context menu.
#include "core/clock_time.h"
#include "tests/support/file_contents.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/popup_dispatch.h"
#include "tests/ui/app/screenshots.h"
#include "tests/ui/output_window_fixture.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const char *const prefix = output_test_prefix;

class OutputWindow : public output_window_fixture_t
{
protected:
  void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
  {
    QTest::keyClick(window_, k, modifiers);
  }
  std::string visible(size_t entry) const { return std::string(window_->visible_text(entry)); }
  std::string selection() const { return std::string(window_->selected_text().view()); }
  // The viewport point of an offset of an entry (the entry must be painted).
  QPoint point_of(size_t entry, int offset)
  {
    window_->repaint();
    for ( const painted_entry_t &record : window_->painted() )
      if ( record.index == int64_t(entry) )
      {
        const QTextLine line = window_->entry_layout(entry)->lineForTextPosition(offset);
        return QPoint(qRound(line.cursorToX(offset)) - window_->horizontalScrollBar()->value(),
                      record.top + int(line.y() + line.height() / 2));
      }
    ADD_FAILURE() << "entry " << entry << " is not painted";
    return {};
  }
  static int state_of(const char *name)
  {
    const ui_action_t *action = find_ui_action(name);
    return action != nullptr ? action->state() : -1;
  }

};

TEST_F(OutputWindow, EntriesKeepTheirPrefixAndShowTheVisibleText)
{
  log("first line\nsecond");
  ASSERT_EQ(window_->entry_count(), 2u);
  EXPECT_EQ(std::string(window_->entries().entries[1].text.view()), std::string(prefix) + "second")
    << "every entry of a message starts with its prefix";
  EXPECT_EQ(visible(0), "first line");
  // A lone carriage return after an unfinished line rewrites that entry after its prefix.
  log("\rreplaced");
  ASSERT_EQ(window_->entry_count(), 2u);
  EXPECT_EQ(visible(1), "replaced");

  // Entries shorter than the prefix show whole; one of exactly 24 characters shows empty.
  msg_data_t bare;
  bare.text = "\n";
  window_->append_message(bare, 0);
  bare.text = "short text";
  window_->append_message(bare, 0);
  EXPECT_EQ(visible(window_->entry_count() - 1), "short text");
  bare.text = "\n123456789012345678901234";
  window_->append_message(bare, 0);
  EXPECT_EQ(visible(window_->entry_count() - 1), "");
}

TEST_F(OutputWindow, KeysMoveTheCaretAndShiftSelects)
{
  log("alpha beta gamma\n");
  log("delta epsilon");
  EXPECT_EQ(window_->cursor(), make_log_pos(1, 13)) << "the caret follows the newest line";

  key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(window_->cursor(), make_log_pos(0, 0));
  key(Qt::Key_Right);
  key(Qt::Key_Right);
  EXPECT_EQ(window_->cursor(), make_log_pos(0, 2));
  EXPECT_FALSE(window_->has_selection());
  key(Qt::Key_Right, Qt::ShiftModifier);
  key(Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(selection(), "ph");
  key(Qt::Key_Right);
  EXPECT_FALSE(window_->has_selection()) << "a move without Shift ends the selection";
  EXPECT_EQ(window_->cursor(), make_log_pos(0, 5));

  key(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(window_->cursor(), make_log_pos(0, 6)) << "word move";
  key(Qt::Key_Left, Qt::ControlModifier);
  key(Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(window_->cursor(), make_log_pos(0, 0));
  key(Qt::Key_Left);
  EXPECT_EQ(window_->cursor(), make_log_pos(0, 0)) << "no move before the first entry";
  key(Qt::Key_End);
  EXPECT_EQ(window_->cursor(), make_log_pos(0, 16));
  key(Qt::Key_Right);
  EXPECT_EQ(window_->cursor(), make_log_pos(1, 0)) << "past the end of an entry: the next entry's start";
  key(Qt::Key_Left);
  EXPECT_EQ(window_->cursor(), make_log_pos(0, 16));
  key(Qt::Key_Down);
  EXPECT_EQ(log_pos_entry(window_->cursor()), 1u);
  key(Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(log_pos_entry(window_->cursor()), 0u);
  EXPECT_TRUE(window_->has_selection());
  key(Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(window_->cursor(), make_log_pos(1, 13));
  key(Qt::Key_Home);
  EXPECT_EQ(window_->cursor(), make_log_pos(1, 0));
  key(Qt::Key_End);
  key(Qt::Key_Right);
  EXPECT_EQ(window_->cursor(), make_log_pos(1, 13)) << "no move after the last entry";
}

TEST_F(OutputWindow, WrappedLinesAndPages)
{
  main()->resize(240, 200);
  QCoreApplication::processEvents();
  log("one two three four five six seven eight nine ten eleven twelve thirteen\n");
  for ( int i = 0; i < 40; ++i )
    log("line " + std::to_string(i) + "\n");
  key(Qt::Key_Home, Qt::ControlModifier);
  QTextLayout *layout = window_->entry_layout(0);
  ASSERT_GT(layout->lineCount(), 1) << "the long entry wraps";
  key(Qt::Key_End);
  const QTextLine first = layout->lineAt(0);
  EXPECT_EQ(log_pos_offset(window_->cursor()), uint32_t(first.textStart() + first.textLength() - 1))
    << "the end of a wrapped line stays before the wrap";
  key(Qt::Key_Down);
  EXPECT_EQ(log_pos_entry(window_->cursor()), 0u) << "down goes to the next visual line of the same entry";
  key(Qt::Key_Home);
  EXPECT_EQ(log_pos_offset(window_->cursor()), uint32_t(layout->lineAt(1).textStart()));

  const int page = window_->lines_per_page();
  ASSERT_GT(page, 1);
  key(Qt::Key_Home, Qt::ControlModifier);
  key(Qt::Key_PageDown);
  EXPECT_EQ(log_pos_entry(window_->cursor()), uint32_t(page - layout->lineCount() + 1));
  EXPECT_GT(window_->verticalScrollBar()->value(), 0) << "the caret is kept in view";
  key(Qt::Key_PageUp);
  EXPECT_EQ(window_->cursor(), make_log_pos(0, 0));
  EXPECT_EQ(window_->verticalScrollBar()->value(), 0);
}

TEST_F(OutputWindow, SelectAllCopyAndTheCopyState)
{
  log("first\n");
  log("second");
  key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(state_of("OutputCopy"), 7) << "nothing selected";
  key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(window_->anchor(), make_log_pos(0, 0));
  EXPECT_EQ(window_->cursor(), make_log_pos(1, 6));
  EXPECT_EQ(state_of("OutputCopy"), 3) << "a selection enables copy";
  QGuiApplication::clipboard()->clear();
  key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("first\nsecond"));
  save_screenshot(*main(), "select-all");

  // A new message ends the selection and moves the caret to the end.
  log("\nthird");
  EXPECT_FALSE(window_->has_selection());
  EXPECT_EQ(window_->cursor(), make_log_pos(2, 5));
  EXPECT_EQ(state_of("OutputCopy"), 7);

  // The states follow the widget: for another widget the window's actions are disabled.
  EXPECT_EQ(state_of("OutputFind"), 2);
  QLineEdit other;
  other.setProperty("widget_kind", 3);
  test_app().action_provider().pinned_widget = &other;
  refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
  test_app().action_provider().pinned_widget = nullptr;
  for ( const char *name : {"OutputFind", "OutputCopy", "OutputToggleTimestamps", "OutputNavLeft"} )
    EXPECT_EQ(state_of(name), 6) << name;
  EXPECT_FALSE(find_ui_action("OutputFind")->qaction()->isEnabled());
  refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
  EXPECT_EQ(state_of("OutputFind"), 2);
  EXPECT_EQ(state_of("OutputToggleTimestamps"), 3);
}

TEST_F(OutputWindow, EmptyWindowEdgeCases)
{
  key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_FALSE(window_->has_selection()) << "select all on an empty window does nothing";
  const log_pos_t before = window_->cursor();
  key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(window_->cursor(), before) << "beginning of text sets no position without entries";
  EXPECT_EQ(window_->hit_position(QPoint(10, 10)), make_log_pos(0, 0));
}

TEST_F(OutputWindow, MouseClickAndDragSelect)
{
  log("click here to select\n");
  log("and drag on");
  const QPoint start = point_of(0, 6);
  QTest::mouseClick(window_->viewport(), Qt::LeftButton, Qt::NoModifier, start);
  EXPECT_EQ(window_->cursor(), make_log_pos(0, 6));
  EXPECT_FALSE(window_->has_selection());
  QTest::mousePress(window_->viewport(), Qt::LeftButton, Qt::NoModifier, start);
  // A move with the left button held (QTest's move carries no buttons).
  QMouseEvent drag(QEvent::MouseMove, point_of(1, 3), window_->viewport()->mapToGlobal(point_of(1, 3)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_->viewport(), &drag);
  QTest::mouseRelease(window_->viewport(), Qt::LeftButton, Qt::NoModifier, point_of(1, 3));
  EXPECT_EQ(window_->anchor(), make_log_pos(0, 6));
  EXPECT_EQ(window_->cursor(), make_log_pos(1, 3));
  EXPECT_EQ(selection(), "here to select\nand");
  save_screenshot(*main(), "drag-selection");

  // Below the last entry: the end of the text.
  QTest::mouseClick(window_->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(5, window_->viewport()->height() - 2));
  EXPECT_EQ(window_->cursor(), make_log_pos(1, 11));
}

TEST_F(OutputWindow, HitBeforeTheFirstPaintIsWhereThePaintPutsTheText)
{
  // A fresh window, shown, with entries, but not yet painted.
  log_widget_t window;
  window.resize(300, 100);
  msg_data_t msg;
  msg.prefix = prefix;
  for ( int i = 0; i < 30; ++i )
  {
    msg.text = qstring(("entry " + std::to_string(i) + "\n").c_str());
    window.append_message(msg, 0);
  }
  window.show();
  ASSERT_TRUE(window.painted().empty());
  const QPoint near_bottom(20, window.viewport()->height() - 5);
  QTest::mouseClick(window.viewport(), Qt::LeftButton, Qt::NoModifier, near_bottom);
  const log_pos_t before_paint = window.cursor();
  EXPECT_TRUE(is_log_pos(before_paint));
  window.repaint();
  EXPECT_EQ(window.hit_position(near_bottom), before_paint) << "the same place as after a paint";
  EXPECT_EQ(log_pos_entry(before_paint), log_pos_entry(window.hit_position(near_bottom)));
}

TEST_F(OutputWindow, FindAndFindNextInAnyText)
{
  recording_ui_callback_t ui;
  log("nothing here\n");
  log("Beta one, beta two\n");
  log("x ü größe 😀 ße\n");
  log("last");

  ui.script_value("BETA");
  key(Qt::Key_F, Qt::ControlModifier);
  ASSERT_EQ(ui.requests_of(ui_code_input_value).size(), 1u);
  EXPECT_EQ(ui.requests_of(ui_code_input_value)[0].kind, 3);
  EXPECT_EQ(ui.requests_of(ui_code_input_value)[0].text, "Please enter search string");
  EXPECT_EQ(window_->anchor(), make_log_pos(1, 0));
  EXPECT_EQ(window_->cursor(), make_log_pos(1, 4));
  EXPECT_EQ(selection(), "Beta") << "case is ignored";
  key(Qt::Key_F3);
  EXPECT_EQ(window_->anchor(), make_log_pos(1, 10));
  EXPECT_EQ(selection(), "beta");
  key(Qt::Key_F3);
  EXPECT_EQ(selection(), "beta") << "no further match: the selection stays";
  key(Qt::Key_Home, Qt::ControlModifier);
  key(Qt::Key_F3);
  EXPECT_EQ(window_->cursor(), make_log_pos(0, 0)) << "find next after a failed search does nothing";

  // Non-ASCII text: the selection covers exactly the found characters (UTF-16 units of the layout).
  ui.script_value("ße");
  key(Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(window_->anchor(), make_log_pos(2, 7));
  EXPECT_EQ(selection(), "ße");
  key(Qt::Key_F3);
  EXPECT_EQ(window_->anchor(), make_log_pos(2, 13)) << "after the emoji's two units";
  EXPECT_EQ(selection(), "ße");
  EXPECT_EQ(ui.requests_of(ui_code_input_value)[1].value, "BETA") << "the previous text is the default";

  // An empty or cancelled text does nothing.
  ui.script_value("");
  key(Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(selection(), "ße");
  key(Qt::Key_F, Qt::ControlModifier); // not scripted: cancelled
  EXPECT_EQ(selection(), "ße");
}

TEST_F(OutputWindow, ClearEmptiesTheWindow)
{
  log("one\ntwo\n");
  key(Qt::Key_L, Qt::ControlModifier);
  EXPECT_EQ(window_->entry_count(), 0u);
  EXPECT_EQ(window_->cursor(), make_log_pos(0, 0));
  EXPECT_EQ(window_->content_width(), -1);
  EXPECT_EQ(window_->verticalScrollBar()->maximum(), 0);
  log("again");
  EXPECT_EQ(window_->entry_count(), 1u);
  EXPECT_EQ(visible(0), "again");
}

TEST_F(OutputWindow, SaveToFile)
{
  recording_ui_callback_t ui;
  log("first\n");
  log("zweite Zeile ä\n");
  log("third");
  const std::filesystem::path path = std::filesystem::path(std::getenv("TMPDIR")) / "output.log";
  std::filesystem::remove(path);

  ui.script_file(path.string());
  key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(read_file(path), "first\nzweite Zeile ä\nthird") << "UTF-8, no final line break";
  ASSERT_EQ(ui.requests_of(ui_code_ask_file).size(), 1u);
  EXPECT_TRUE(ui.requests_of(ui_code_ask_file)[0].for_saving);
  EXPECT_EQ(ui.requests_of(ui_code_ask_file)[0].default_name, "*.log");
  EXPECT_EQ(ui.requests_of(ui_code_ask_file)[0].text, "Please select an output file");
  EXPECT_TRUE(ui.requests_of(ui_code_question).empty());

  // An existing file: the overwrite question; refusing keeps the file.
  log("\nfourth");
  ui.script_file(path.string());
  ui.script(ui_code_question, 0);
  key(Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(ui.requests_of(ui_code_question).size(), 1u);
  const ui_request_record_t question = ui.requests_of(ui_code_question)[0];
  EXPECT_EQ(question.text, "HIDECANCEL\nFile " + path.string() + " already exists.\nDo you want to overwrite it?");
  EXPECT_EQ(question.labels[0], "~O~verride");
  EXPECT_EQ(question.labels[1], "Cancel");
  EXPECT_EQ(read_file(path), "first\nzweite Zeile ä\nthird");
  ui.script_file(path.string());
  ui.script(ui_code_question, 1);
  key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(read_file(path), "first\nzweite Zeile ä\nthird\nfourth");

  // Cancelling the file dialog does nothing.
  key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(ui.requests_of(ui_code_message).empty());

  // A file that cannot be opened: the warning, nothing written.
  const std::string bad = (std::filesystem::path(std::getenv("TMPDIR")) / "missing-dir" / "x.log").string();
  ui.script_file(bad);
  key(Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(ui.requests_of(ui_code_message).size(), 1u);
  EXPECT_EQ(ui.requests_of(ui_code_message)[0].kind, 2);
  EXPECT_EQ(ui.requests_of(ui_code_message)[0].text, "Failed to save to log file: " + bad);

  // A caller's path: no questions, the path kept.
  qstring given(path.string().c_str());
  EXPECT_TRUE(window_->save_to_file(&given));
  EXPECT_EQ(given, path.string());
}

TEST_F(OutputWindow, TimestampsSwitchChangesEveryTextAtOnce)
{
  recording_ui_callback_t ui;
  log("one\n");
  log("two");
  save_screenshot(*main(), "timestamps-hidden");
  QAction *toggle = find_ui_action("OutputToggleTimestamps")->qaction();
  ASSERT_TRUE(toggle->isCheckable());
  EXPECT_FALSE(toggle->isChecked());

  key(Qt::Key_T, Qt::ControlModifier);
  EXPECT_TRUE(logger_.get_show_timestamps());
  EXPECT_TRUE(toggle->isChecked()) << "the check mark shows the switch";
  EXPECT_EQ(visible(0), std::string(prefix) + "one");
  EXPECT_EQ(visible(1), std::string(prefix) + "two");
  QCoreApplication::processEvents();
  save_screenshot(*main(), "timestamps-shown");
  key(Qt::Key_A, Qt::ControlModifier);
  key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8(prefix) + "one\n" + prefix + "two");
  const std::filesystem::path path = std::filesystem::path(std::getenv("TMPDIR")) / "stamped.log";
  std::filesystem::remove(path);
  ui.script_file(path.string());
  key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(read_file(path), std::string(prefix) + "one\n" + prefix + "two");

  key(Qt::Key_T, Qt::ControlModifier);
  EXPECT_FALSE(logger_.get_show_timestamps());
  EXPECT_FALSE(toggle->isChecked());
  EXPECT_EQ(visible(1), "two");
}

TEST_F(OutputWindow, FollowsTheNewestLine)
{
  for ( int i = 0; i < 60; ++i )
    log("line " + std::to_string(i) + "\n");
  log("newest");
  QScrollBar *vertical = window_->verticalScrollBar();
  EXPECT_GT(vertical->maximum(), 0);
  EXPECT_EQ(vertical->value(), vertical->maximum());
  window_->repaint();
  ASSERT_FALSE(window_->painted().empty());
  EXPECT_EQ(window_->painted().back().index, 60);
  EXPECT_EQ(window_->painted().back().bottom, window_->viewport()->height() - 1)
    << "the newest entry sits at the bottom";
  key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(vertical->value(), 0);
  log("\nnewer");
  EXPECT_EQ(vertical->value(), vertical->maximum());
  EXPECT_EQ(window_->cursor(), make_log_pos(61, 5));
}

TEST_F(OutputWindow, UnbreakableLineWidensTheHorizontalRange)
{
  log("short\n");
  window_->repaint();
  QScrollBar *horizontal = window_->horizontalScrollBar();
  EXPECT_EQ(horizontal->maximum(), 0);
  const int viewport = window_->viewport()->width();
  log(std::string(300, 'x') + "\n");
  window_->repaint();
  const int wide = window_->content_width();
  EXPECT_GT(wide, viewport);
  EXPECT_EQ(horizontal->maximum(), wide - viewport);
  EXPECT_EQ(window_->entry_layout(1)->lineCount(), 1) << "laid out at its own width";

  log("short again\n");
  window_->repaint();
  EXPECT_EQ(window_->content_width(), wide) << "the range never shrinks while layouts are kept";
  key(Qt::Key_End, Qt::ControlModifier);
  key(Qt::Key_Up);
  key(Qt::Key_End);
  EXPECT_EQ(horizontal->value(), horizontal->maximum()) << "the caret at the long line's end scrolls it into view";
  key(Qt::Key_Home);
  EXPECT_EQ(horizontal->value(), 0);

  // A resize that changes the width discards the layouts: the range is known again only once painted.
  main()->resize(main()->width() + 40, main()->height());
  QCoreApplication::processEvents();
  EXPECT_LE(window_->content_width(), std::max(wide, window_->viewport()->width()));
}

TEST_F(OutputWindow, ContextMenuListsTheActionsInOrder)
{
  // The application's dispatcher lets the window fill its popup.
  recording_ui_callback_t ui;
  answer_popup_requests(ui);
  log("some text\n");
  key(Qt::Key_A, Qt::ControlModifier);
  QStringList shown;
  QTimer::singleShot(0, [&] {
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if ( menu == nullptr )
      return;
    for ( QAction *action : menu->actions() )
      shown.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    save_screenshot(*menu, "context-menu");
    menu->close();
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 10), window_->viewport()->mapToGlobal(QPoint(20, 10)));
  QApplication::sendEvent(window_->viewport(), &event);
  EXPECT_EQ(shown, QStringList({"&Copy", "-", "Select All", "-", "&Find", "Find &next", "-", "C&lear",
                                "Save to file...", "-", "Show timestamps"}));
}

} // namespace
