// The Output window as assistive technology sees it: counts, offsets, line texts, character rectangles, role and
// state, the caret notification and the traces.
#include "core/clock_time.h"
#include "core/debug_flags.h"
#include "tests/ui/output_window_fixture.h"
#include "ui/log_accessible.h"
#include "ui/log_widget.h"
#include "ui/log_widget_actions.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QScrollBar>
#include <QTextLine>
#include <QtTest/QTest>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

const char *const prefix = output_test_prefix;

std::vector<int> caret_events;

void record_update(QAccessibleEvent *event)
{
  if ( event->type() == QAccessible::TextCaretMoved )
    caret_events.push_back(static_cast<QAccessibleTextCursorEvent *>(event)->cursorPosition());
}

class OutputWindowAccessibility : public output_window_fixture_t
{
protected:
  void SetUp() override
  {
    output_window_fixture_t::SetUp();
    accessible_ = QAccessible::queryAccessibleInterface(window_);
    ASSERT_NE(accessible_, nullptr);
    text_ = accessible_->textInterface();
    ASSERT_NE(text_, nullptr);
  }
  // textAtOffset or textAfterOffset with the line boundary: {text, start, end}.
  struct line_t
  {
    QString text;
    int start;
    int end;
    bool operator==(const line_t &) const = default;
    friend void PrintTo(const line_t &line, std::ostream *out)
    {
      *out << '"' << line.text.toStdString() << "\" " << line.start << ".." << line.end;
    }
  };
  line_t line_at(int offset, bool after = false) const
  {
    line_t line {QString(), -2, -2};
    line.text = after ? text_->textAfterOffset(offset, QAccessible::LineBoundary, &line.start, &line.end)
                      : text_->textAtOffset(offset, QAccessible::LineBoundary, &line.start, &line.end);
    return line;
  }

  QAccessibleInterface *accessible_ = nullptr; // owned by Qt's cache
  QAccessibleTextInterface *text_ = nullptr;
};

TEST_F(OutputWindowAccessibility, RoleStateAndTheEmptyWindow)
{
  EXPECT_EQ(accessible_->role(), QAccessible::EditableText);
  EXPECT_TRUE(accessible_->state().multiLine);
  EXPECT_EQ(accessible_->object(), window_);
  EXPECT_EQ(text_->characterCount(), 0);
  EXPECT_EQ(text_->cursorPosition(), 0);
  int start = 5;
  int end = 5;
  EXPECT_EQ(text_->textAtOffset(0, QAccessible::LineBoundary, &start, &end), QString());
  EXPECT_EQ(start, -1);
  EXPECT_EQ(end, -1);
  EXPECT_EQ(text_->selectionCount(), -1);
  EXPECT_EQ(text_->offsetAtPoint(QPoint(1, 1)), -1);
  EXPECT_EQ(text_->text(0, 10), QString());
}

TEST_F(OutputWindowAccessibility, OffsetsAndLinesWithTimestampsHiddenAndShown)
{
  log("abc\n");
  log("dé\n");
  log("x😀");
  // Hidden: "abc" 0..3 (+1), "dé" 4..6 (+1), "x😀" 7..10 (+1), in UTF-16 units.
  EXPECT_EQ(text_->characterCount(), 4 + 3 + 4);
  EXPECT_EQ(line_at(0), (line_t {"abc", 0, 4}));
  EXPECT_EQ(line_at(3), (line_t {"abc", 0, 4})) << "the separator position belongs to its entry";
  EXPECT_EQ(line_at(4), (line_t {QString::fromUtf8("dé"), 4, 7}));
  EXPECT_EQ(line_at(8), (line_t {QString::fromUtf8("x😀"), 7, 11}));
  EXPECT_EQ(line_at(11), (line_t {QString(), -1, -1})) << "past the last entry";
  EXPECT_EQ(line_at(5, true), (line_t {QString::fromUtf8("dé"), 4, 7})) << "after-offset gives the line holding it";
  int start = 42;
  int end = 43;
  EXPECT_EQ(text_->textAtOffset(1, QAccessible::WordBoundary, &start, &end), QString());
  EXPECT_EQ(start, 42) << "other boundaries leave start and end alone";
  EXPECT_EQ(end, 43);
  EXPECT_EQ(text_->cursorPosition(), 10) << "the caret follows the newest line";

  // Shown: every entry grows by the 24-character prefix, so every offset after the first entry moves.
  logger_.set_show_timestamps(true);
  window_->entries().update_layout(true);
  QCoreApplication::processEvents();
  EXPECT_EQ(text_->characterCount(), 28 + 27 + 28);
  EXPECT_EQ(line_at(28), (line_t {QString(prefix) + "dé", 28, 55}));
  EXPECT_EQ(text_->cursorPosition(), 55 + 27);
  logger_.set_show_timestamps(false);
}

TEST_F(OutputWindowAccessibility, CharacterRectangles)
{
  log("first\n");
  log("second");
  window_->repaint();
  const QFontMetricsF metrics(window_->font());
  const QTextLine line = window_->entry_layout(1)->lineForTextPosition(3);
  const QRect rect = text_->characterRect(6 + 3);
  const QPoint expected = window_->viewport()->mapToGlobal(
    QPoint(qRound(line.cursorToX(3)), qRound(metrics.height() * (1 - window_->verticalScrollBar()->value()))));
  EXPECT_EQ(rect.topLeft(), expected);
  EXPECT_EQ(rect.width(), int(std::ceil(metrics.averageCharWidth())));
  EXPECT_EQ(rect.height(), qRound(line.height()));
  EXPECT_EQ(text_->characterRect(100).height(), 0) << "an offset in no entry";
}

TEST_F(OutputWindowAccessibility, CaretNotificationCarriesTheRealPosition)
{
  log("abc\n");
  log("defgh");
  caret_events.clear();
  QAccessible::installUpdateHandler(record_update);
  QPlatformAccessibility *platform = QGuiApplicationPrivate::platformIntegration()->accessibility();
  ASSERT_NE(platform, nullptr);
  platform->setActive(true);
  ASSERT_TRUE(QAccessible::isActive());
  QTest::keyClick(window_, Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(window_, Qt::Key_Right);
  QTest::keyClick(window_, Qt::Key_Down);
  QTest::keyClick(window_, Qt::Key_End);
  platform->setActive(false);
  QAccessible::installUpdateHandler(nullptr);
  EXPECT_EQ(caret_events, (std::vector<int> {0, 1, 5, 9}));
}

TEST_F(OutputWindowAccessibility, TracesGoToStandardErrorWhenAskedFor)
{
  log("abc");
  const uint32_t saved = debug_flags;
  debug_flags |= DEBUG_ACCESSIBILITY_TRACES;
  testing::internal::CaptureStderr();
  (void)text_->characterCount();
  (void)line_at(1, true);
  (void)text_->characterRect(1);
  acc_trace(0x3, "%s combined\n", "");
  debug_flags = saved;
  (void)text_->characterCount();
  const std::string traces = testing::internal::GetCapturedStderr();
  EXPECT_NE(traces.find(": ACC (nav):  logAccessible::characterCount() => 4\n"), std::string::npos) << traces;
  EXPECT_NE(traces.find(": ACC (text):  logAccessible::textAfterOffset(offset=1, boundaryType=LineBoundary)\n"),
            std::string::npos)
    << traces;
  EXPECT_NE(traces.find("logAccessible::textAfterOffset() => text=abc, startOffset=0, endOffset=4\n"),
            std::string::npos)
    << traces;
  EXPECT_NE(traces.find(": ACC (to-pixels):  logAccessible::characterRect(offset=1)\n"), std::string::npos);
  EXPECT_NE(traces.find(": ACC (unknown?):  combined\n"), std::string::npos);
  size_t lines = 0;
  for ( char c : traces )
    lines += c == '\n';
  EXPECT_EQ(lines, 6u) << "nothing once the flag is off";
  EXPECT_EQ(traces[2], ':') << "lines begin with the time HH:mm:ss.zzz";
}

} // namespace
