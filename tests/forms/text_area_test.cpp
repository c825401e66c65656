// The text area driven by real keys and mouse clicks: indentation, focus moves, accept keys, margins, styles.
#include "forms/text/text_area.h"

#include "forms/text/zxl_highlighter.h"
#include "tests/forms/editor_host.h"
#include "tests/forms/highlight_range.h"
#include "tests/support/seeded_random.h"
#include "tests/support/string_lists.h"
#include "tests/ui/app/screenshots.h"
#include "tests/forms/zxl_language.h"
#include "tests/ui/app/test_app.h"
#include "ui/layout_helpers.h"

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using key_t = std::pair<Qt::Key, Qt::KeyboardModifiers>;

// A text area with line numbers between two line edits.
class focus_host_t : public editor_host_t<>
{
public:
  focus_host_t() : editor_host_t(new text_area_t(nullptr, true)) {}
};

// A text area holding `text` with the cursor at `position` (the end when -1).
void place(QPlainTextEdit &editor, const QString &text, int position = -1)
{
  editor.setPlainText(text);
  QTextCursor cursor = editor.textCursor();
  cursor.setPosition(position < 0 ? int(text.size()) : position);
  editor.setTextCursor(cursor);
}

void press(QWidget &widget, const std::vector<key_t> &keys)
{
  for ( const auto &[key, modifiers] : keys )
    QTest::keyClick(&widget, key, modifiers);
}

std::string text_of(const QPlainTextEdit &editor)
{
  return editor.toPlainText().toStdString();
}

TEST(TextArea, TabGoesToTheNextIndentStop)
{
  struct row_t
  {
    const char *typed;
    const char *after;
  };
  const row_t rows[] = {
    {"abcdef", "abcdef  |"},
    {"abcdefgh", "abcdefgh    |"},
    {"", "    |"},
    {"a", "a   |"},
  };
  for ( const row_t &row : rows )
  {
    text_area_t area(nullptr, true);
    QTest::keyClicks(&area, row.typed);
    QTest::keyClick(&area, Qt::Key_Tab);
    QTest::keyClicks(&area, "|");
    EXPECT_EQ(text_of(area), row.after) << row.typed;
  }
  text_area_t narrow;
  narrow.set_indent_width(3);
  QTest::keyClicks(&narrow, "ab");
  press(narrow, {{Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Tab, Qt::NoModifier}});
  EXPECT_EQ(text_of(narrow), "ab    ");
  EXPECT_DOUBLE_EQ(narrow.tabStopDistance(), QFontMetricsF(narrow.font()).horizontalAdvance("   "));

  // With a selection Tab does nothing at all.
  text_area_t selected;
  QTest::keyClicks(&selected, "word");
  QTest::keyClick(&selected, Qt::Key_Left, Qt::ShiftModifier);
  QTest::keyClick(&selected, Qt::Key_Tab);
  EXPECT_EQ(text_of(selected), "word");
  EXPECT_EQ(selected.textCursor().selectedText(), "d");
}

TEST(TextArea, TabWithoutIndentWidthMovesTheFocusBothWays)
{
  focus_host_t host;
  host.editor->set_indent_width(0);
  QSignalSpy requests(host.editor, &text_area_t::request_focus_next_prev_child);
  const struct
  {
    key_t key;
    QWidget *lands_on;
  } rows[] = {
    {{Qt::Key_Tab, Qt::NoModifier}, host.after},
    {{Qt::Key_Tab, Qt::ControlModifier}, host.after},
    {{Qt::Key_Backtab, Qt::ShiftModifier}, host.before},
    {{Qt::Key_Tab, Qt::ShiftModifier}, host.before},
    {{Qt::Key_Backtab, Qt::ShiftModifier | Qt::ControlModifier}, host.before},
  };
  for ( const auto &row : rows )
  {
    host.editor->setFocus();
    ASSERT_TRUE(host.editor->hasFocus());
    QTest::keyClick(host.editor, row.key.first, row.key.second);
    EXPECT_EQ(QApplication::focusWidget(), row.lands_on) << row.key.first << " " << int(row.key.second);
  }
  EXPECT_EQ(requests.count(), 5);
  EXPECT_EQ(text_of(*host.editor), "");

  // With an indent width Ctrl+Tab still moves on; Shift+Tab is the plain editor's (nothing inserted).
  host.editor->set_indent_width(4);
  host.editor->setFocus();
  QTest::keyClick(host.editor, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(QApplication::focusWidget(), host.after);
  QTest::keyClick(host.editor, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(text_of(*host.editor), "");
  EXPECT_EQ(requests.count(), 6);
}

TEST(TextArea, ReturnAndBackspaceIndentInOneUndoStep)
{
  const Qt::KeyboardModifiers none = Qt::NoModifier;
  struct row_t
  {
    const char *name;
    QString text;
    int position;
    int width;
    bool auto_indent;
    key_t key;
    const char *after;
  };
  const row_t rows[] = {
    {"Return after indented text", "    text", -1, 4, true, {Qt::Key_Return, none}, "    text\n    "},
    {"Return on a blank line", "   ", -1, 4, true, {Qt::Key_Return, none}, "   \n   "},
    {"Shift+Return too", "  x", -1, 4, true, {Qt::Key_Return, Qt::ShiftModifier}, "  x\n  "},
    {"Return inside the indentation", "    ab", 2, 4, true, {Qt::Key_Return, none}, "  \n      ab"},
    {"Return without indentation", "ab", 1, 4, true, {Qt::Key_Return, none}, "a\nb"},
    {"Return without auto indent", "    text", -1, 4, false, {Qt::Key_Return, none}, "    text\n"},
    {"Backspace, eight spaces at column 8", "        ", -1, 4, true, {Qt::Key_Backspace, none}, "    "},
    {"Backspace, one space at column 5", "abcd ", -1, 4, true, {Qt::Key_Backspace, none}, "abcd"},
    {"Backspace, four spaces at column 6", "ab    ", -1, 4, true, {Qt::Key_Backspace, none}, "ab  "},
    {"Backspace, a space short of the stop", "abcdef ", -1, 4, true, {Qt::Key_Backspace, none}, "abcdef"},
    {"Backspace after no spaces", "abc", -1, 4, true, {Qt::Key_Backspace, none}, "ab"},
    {"Backspace, two spaces at column 8", "abcdef  ", -1, 4, true, {Qt::Key_Backspace, none}, "abcdef"},
    {"Backspace, a wider stop", "abcdefg ", -1, 8, true, {Qt::Key_Backspace, none}, "abcdefg"},
    {"Backspace with width 0 is plain", "        ", -1, 0, true, {Qt::Key_Backspace, none}, "       "},
    {"Backspace without auto indent", "        ", -1, 4, false, {Qt::Key_Backspace, none}, "       "},
    {"Backspace at a line start joins", "a\n", -1, 4, true, {Qt::Key_Backspace, none}, "a"},
  };
  for ( const row_t &row : rows )
  {
    text_area_t area;
    area.set_indent_width(row.width);
    area.set_auto_indent(row.auto_indent);
    place(area, row.text, row.position);
    press(area, {row.key});
    EXPECT_EQ(text_of(area), row.after) << row.name;
    QTest::keyClick(&area, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(area.toPlainText(), row.text) << row.name << ": one undo step";
  }
}

// Keys that the text area leaves to the plain editor give the plain editor's result: selections, Home and
// Shift+Home, Ctrl-keys, Return and Backspace over a selection.
TEST(TextArea, SelectionsAndMovesBehaveAsInAPlainEditor)
{
  const Qt::KeyboardModifiers none = Qt::NoModifier;
  const struct
  {
    const char *name;
    QString text;
    std::vector<key_t> keys;
  } rows[] = {
    {"Return replaces a selection", "    abc def",
     {{Qt::Key_Left, Qt::ShiftModifier}, {Qt::Key_Left, Qt::ShiftModifier}, {Qt::Key_Return, none}}},
    {"Backspace removes a selection", "        x",
     {{Qt::Key_Left, none}, {Qt::Key_Left, Qt::ShiftModifier}, {Qt::Key_Backspace, none}}},
    {"Home then typing", "    indented", {{Qt::Key_Home, none}, {Qt::Key_A, none}}},
    {"Shift+Home selects to the line start", "  two\n    words",
     {{Qt::Key_Home, Qt::ShiftModifier}, {Qt::Key_Delete, none}}},
    {"Ctrl+Backspace deletes a word", "    alpha beta", {{Qt::Key_Backspace, Qt::ControlModifier}}},
    {"Ctrl+A and typing", "x\n  y", {{Qt::Key_A, Qt::ControlModifier}, {Qt::Key_B, none}}},
    {"Delete over a selection of spaces", "ab    ",
     {{Qt::Key_Left, Qt::ShiftModifier}, {Qt::Key_Left, Qt::ShiftModifier}, {Qt::Key_Delete, none}}},
  };
  for ( const auto &row : rows )
  {
    text_area_t area;
    QPlainTextEdit plain;
    place(area, row.text);
    place(plain, row.text);
    press(area, row.keys);
    press(plain, row.keys);
    EXPECT_EQ(text_of(area), text_of(plain)) << row.name;
    EXPECT_EQ(area.textCursor().position(), plain.textCursor().position()) << row.name;
  }
}

// Random keys over every indent width: never a tab character, Tab always ends on an indent stop, and every
// edit can be undone back to the empty text.
TEST(TextArea, RandomKeysKeepTheIndentRules)
{
  const Qt::KeyboardModifiers none = Qt::NoModifier;
  const key_t keys[] = {
    {Qt::Key_Tab, none}, {Qt::Key_Tab, none}, {Qt::Key_Backtab, Qt::ShiftModifier},
    {Qt::Key_Tab, Qt::ControlModifier}, {Qt::Key_Backtab, Qt::ShiftModifier | Qt::ControlModifier},
    {Qt::Key_Return, none}, {Qt::Key_Return, Qt::ShiftModifier}, {Qt::Key_Backspace, none},
    {Qt::Key_Backspace, none}, {Qt::Key_Space, none}, {Qt::Key_Space, none}, {Qt::Key_A, none},
    {Qt::Key_Home, none}, {Qt::Key_End, none}, {Qt::Key_Left, none}, {Qt::Key_Left, Qt::ShiftModifier},
    {Qt::Key_Up, none}, {Qt::Key_Z, Qt::ControlModifier}, {Qt::Key_Return, Qt::ControlModifier},
  };
  uint32_t seed = 4124;
  text_area_t area(nullptr, true);
  for ( int i = 0; i < seeded_runs(2000); ++i )
  {
    // A fresh text now and then: copied indentation would otherwise grow the lines without end.
    if ( i % 200 == 0 )
    {
      area.setPlainText("");
      area.set_indent_width(int(next_random(&seed) % 9));
      area.set_auto_indent(next_random(&seed) % 4 != 0);
    }
    const key_t key = keys[next_random(&seed) % std::size(keys)];
    const bool selection = area.textCursor().hasSelection();
    QTest::keyClick(&area, key.first, key.second);
    ASSERT_FALSE(area.toPlainText().contains('\t')) << i;
    if ( key == key_t {Qt::Key_Tab, none} && !selection && area.indent_width() != 0 )
    {
      ASSERT_EQ(area.textCursor().positionInBlock() % area.indent_width(), 0) << i;
    }
  }
  while ( area.document()->isUndoAvailable() )
    area.document()->undo();
  EXPECT_EQ(area.toPlainText(), "");
}

TEST(TextArea, AcceptKeysEmitAndInsertNothing)
{
  text_area_t area;
  QSignalSpy accepted(&area, &text_area_t::dialog_accepted);
  place(area, "    x");
  press(area, {{Qt::Key_Return, Qt::ControlModifier},
               {Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier},
               {Qt::Key_K, Qt::AltModifier}});
  EXPECT_EQ(accepted.count(), 3);
  EXPECT_EQ(text_of(area), "    x");
}

TEST(TextArea, ModifiedFlagAndTextModifiedFollowEdits)
{
  focus_host_t host;
  text_area_t &area = *host.editor;
  zxl_language_t zxl;
  language_record_t &record = zxl.record;
  attach_highlighter(&area, &record);
  QSignalSpy modified(&area, &text_area_t::textModified);
  area.set_modified(false);
  // Colouring is no edit.
  area.setStyleSheet("text_area_t { qproperty-keyword1_fg: red; }");
  area.hide();
  area.show();
  EXPECT_EQ(modified.count(), 0);
  EXPECT_FALSE(area.is_modified());
  QTest::keyClicks(&area, "if");
  EXPECT_EQ(modified.count(), 2);
  EXPECT_TRUE(area.is_modified());
}

// The margins: the line-number margin as wide as its widest number plus 4, the left viewport margin the sum
// of the visible margins; clicks in the margin leave the text alone, clicks in the text land beside it.
class fixed_margin_t : public text_area_margin_widget_t
{
public:
  explicit fixed_margin_t(text_area_t *editor) : text_area_margin_widget_t(editor, "Fixed") {}
  QString block_text(int) const override { return "WWWW"; }
};

int left_viewport_margin(const text_area_t &area)
{
  return area.viewport()->geometry().left() - area.contentsRect().left();
}

TEST(TextArea, MarginsSetTheLeftViewportMargin)
{
  focus_host_t host;
  text_area_t &area = *host.editor;
  auto *lines = area.findChild<line_number_margin_t *>();
  ASSERT_NE(lines, nullptr);
  const QFontMetricsF metrics(area.font());
  const int one = int(std::ceil(metrics.horizontalAdvance("1"))) + 4;
  EXPECT_EQ(lines->block_text(0), "1");
  EXPECT_EQ(lines->sizeHint().width(), one);
  EXPECT_EQ(left_viewport_margin(area), one);

  QString text;
  for ( int i = 1; i <= 1234; ++i )
    text += QString("line %1\n").arg(i);
  area.setPlainText(text);
  int widest = 0;
  for ( int i = 1; i <= area.blockCount(); ++i )
    widest = std::max(widest, int(std::ceil(metrics.horizontalAdvance(QString::number(i)))));
  EXPECT_EQ(lines->sizeHint().width(), widest + 4);
  EXPECT_EQ(left_viewport_margin(area), widest + 4);

  auto *fixed = new fixed_margin_t(&area);
  area.add_margin(fixed);
  const int fixed_width = fixed->sizeHint().width();
  EXPECT_EQ(fixed_width, int(std::ceil(metrics.horizontalAdvance("WWWW"))) + 4);
  fixed->set_show_header(true);
  EXPECT_EQ(fixed->sizeHint().width(),
            int(std::ceil(std::max(metrics.horizontalAdvance("WWWW"), metrics.horizontalAdvance("Fixed")))) + 4);
  fixed->set_show_header(false);
  EXPECT_EQ(left_viewport_margin(area), widest + 4 + fixed_width);
  EXPECT_GE(fixed->x(), lines->x() + lines->width());
  save_screenshot(host, "two-margins");

  lines->hide();
  EXPECT_EQ(left_viewport_margin(area), fixed_width);
  fixed->hide();
  EXPECT_EQ(left_viewport_margin(area), 0);
  lines->show();
  EXPECT_EQ(left_viewport_margin(area), widest + 4);

  // The text area takes the "Text input" domain's font; a new font moves the tab stops and the margins.
  EXPECT_EQ(area.get_font_domain_name(), "Text input");
  EXPECT_EQ(area.font(), fixed_pitch_font(10));
  QFont larger = area.font();
  larger.setPointSize(20);
  area.setFont(larger);
  const QFontMetricsF large_metrics(larger);
  EXPECT_DOUBLE_EQ(area.tabStopDistance(), large_metrics.horizontalAdvance("    "));
  EXPECT_EQ(left_viewport_margin(area), int(std::ceil(large_metrics.horizontalAdvance("1234"))) + 4);
}

TEST(TextArea, MouseInTheMarginAndBesideIt)
{
  focus_host_t host;
  text_area_t &area = *host.editor;
  area.setPlainText("first line\nsecond line\nthird line");
  QApplication::processEvents();
  auto *lines = area.findChild<line_number_margin_t *>();
  ASSERT_NE(lines, nullptr);
  const int position = area.textCursor().position();
  QTest::mouseClick(lines, Qt::LeftButton, Qt::NoModifier, QPoint(lines->width() / 2, 5));
  QTest::mouseDClick(lines, Qt::LeftButton, Qt::NoModifier, QPoint(2, 5));
  EXPECT_EQ(area.textCursor().position(), position);
  EXPECT_EQ(area.toPlainText(), "first line\nsecond line\nthird line");

  // A click at the left edge of the text puts the cursor at the start of the line under it.
  const QRect second = area.cursorRect(QTextCursor(area.document()->findBlockByNumber(1)));
  QTest::mouseClick(area.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(second.left() + 1, second.center().y()));
  EXPECT_EQ(area.textCursor().blockNumber(), 1);
  EXPECT_EQ(area.textCursor().positionInBlock(), 0);
  EXPECT_GT(area.viewport()->mapTo(&area, QPoint(0, 0)).x(), lines->mapTo(&area, QPoint(lines->width() - 1, 0)).x());
}

TEST(TextArea, ContextMenuOffersTheStandardEntries)
{
  focus_host_t host;
  host.editor->setPlainText("some text");
  QStringList seen;
  QTimer::singleShot(0, [&seen] {
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if ( menu == nullptr )
      return;
    for ( QAction *action : menu->actions() )
      if ( !action->isSeparator() )
        seen << action->text().remove('&').section('\t', 0, 0);
    menu->close();
  });
  const QPoint at(20, 10);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, host.editor->viewport()->mapToGlobal(at));
  QApplication::sendEvent(host.editor->viewport(), &event);
  EXPECT_TRUE(seen.contains("Select All")) << seen.join(", ").toStdString();
  EXPECT_TRUE(seen.contains("Paste")) << seen.join(", ").toStdString();
}

// Each style's colour names it: the text area's held formats say which style coloured what.
const QColor style_colours[] = {QColor(), QColor(1, 0, 0), QColor(2, 0, 0), QColor(3, 0, 0), QColor(4, 0, 0),
                                QColor(5, 0, 0), QColor(6, 0, 0), QColor(7, 0, 0)};

void give_style_colours(text_area_t &area)
{
  for ( uint32_t i = 0; i < text_area_category_count; ++i )
    area.set_color_property(i, style_colours[i + 1], true);
}

// The ranges that the engine reports for each line, in UTF-16 units and without plain ranges.
std::vector<highlight_range_t> expected_units(syntax_highlighter_t &engine, const QString &line, int *state)
{
  recording_cbs_t cbs(*state);
  const QByteArray utf8 = line.toUtf8();
  qstring text(utf8.constData(), size_t(utf8.size()));
  engine.highlight(&cbs, &text);
  *state = cbs.state;
  std::vector<int> offsets;
  for ( int i = 0; i < line.size(); ++i )
  {
    offsets.push_back(i);
    if ( line[i].isHighSurrogate() )
      ++i;
  }
  offsets.push_back(int(line.size()));
  std::vector<highlight_range_t> out;
  for ( const highlight_range_t &r : cbs.ranges )
  {
    if ( r.style == HL_PLAIN )
      continue;
    const int from = offsets[size_t(r.start)];
    out.push_back({from, offsets[size_t(r.start + r.length)] - from, r.style});
  }
  return out;
}

TEST(TextArea, HeldFormatsMatchTheEngineAlsoBeyondTheBmp)
{
  focus_host_t host;
  text_area_t &area = *host.editor;
  give_style_colours(area);
  zxl_language_t zxl;
  language_record_t &record = zxl.record;
  area.setPlainText(QString::fromUtf8("/* a \xF0\x9F\x98\x80\n b */ else \"\xF0\x9F\x98\x80\\\"\" 0x1F\n"
                                      "#define X \\\n  Y\n\xF0\x9F\x98\x80\xF0\x9F\x98\x80 void BADADDR x-1 = -2.5 // c"));
  attach_highlighter(&area, &record);
  int state = -1;
  for ( QTextBlock block = area.document()->begin(); block.isValid(); block = block.next() )
  {
    std::vector<highlight_range_t> held;
    for ( const QTextLayout::FormatRange &r : block.layout()->formats() )
    {
      const QColor c = r.format.foreground().color();
      held.push_back({r.start, r.length, c.red()});
    }
    EXPECT_EQ(held, expected_units(*zxl.engine, block.text(), &state)) << block.blockNumber();
    EXPECT_EQ(block.userState(), state) << block.blockNumber();
  }
  // Keywords moved to another group take that group's colour after the next pass.
  zxl.engine->add_keyword_group("else", HL_KEYWORD3);
  area.hide();
  area.show();
  const QTextBlock second = area.document()->findBlockByNumber(1);
  bool found = false;
  for ( const QTextLayout::FormatRange &r : second.layout()->formats() )
    found = found || (r.start == 6 && r.length == 4 && r.format.foreground().color() == style_colours[HL_KEYWORD3]);
  EXPECT_TRUE(found);
}

TEST(TextArea, AttachingKeepsOneHighlighterPerRecord)
{
  auto zxl = build_zxl_highlighter();
  language_record_t first;
  language_record_t second;
  first.highlighter = second.highlighter = static_cast<syntax_highlighter_t *>(zxl.get());
  {
    text_area_t a;
    text_area_t b;
    attach_highlighter(&a, &first);
    QSyntaxHighlighter *kept = a.highlighter();
    attach_highlighter(&a, &first);
    EXPECT_EQ(a.highlighter(), kept);
    EXPECT_EQ(first.busy.load(), 1u);
    attach_highlighter(&b, &first);
    EXPECT_EQ(first.busy.load(), 2u);
    attach_highlighter(&a, &second);
    EXPECT_EQ(first.busy.load(), 1u);
    EXPECT_EQ(second.busy.load(), 1u);
    a.set_highlighter(nullptr);
    EXPECT_EQ(second.busy.load(), 0u);
  }
  EXPECT_EQ(first.busy.load(), 0u);
}

TEST(TextArea, StyleSheetSetsTheCategories)
{
  focus_host_t host;
  text_area_t &area = *host.editor;
  zxl_language_t zxl;
  language_record_t &record = zxl.record;
  area.setPlainText("if x // note\nlong n = 42;");
  attach_highlighter(&area, &record);
  EXPECT_EQ(area.keyword1_fg(), QColor(0, 0, 255));
  EXPECT_EQ(area.number_fg(), QColor(0, 139, 139));
  area.setStyleSheet("text_area_t { qproperty-keyword1_fg: #112233; qproperty-keyword1_weight: 1;"
                     " qproperty-comment_italic: 1; qproperty-number_fg: rgba(10, 20, 30, 128); }");
  EXPECT_EQ(area.keyword1_fg(), QColor(0x11, 0x22, 0x33));
  EXPECT_EQ(area.property("keyword1_weight").toInt(), 1);
  EXPECT_EQ(area.comment_italic(), 1);
  EXPECT_EQ(area.number_fg().alpha(), 128);
  EXPECT_EQ(area.keyword2_fg(), QColor(128, 0, 128));

  const QVector<QTextLayout::FormatRange> formats = area.document()->begin().layout()->formats();
  ASSERT_EQ(formats.size(), 2);
  EXPECT_EQ(formats[0].format.foreground().color(), QColor(0x11, 0x22, 0x33));
  EXPECT_EQ(formats[0].format.fontWeight(), QFont::Bold);
  EXPECT_TRUE(formats[1].format.fontItalic());
  EXPECT_FALSE(formats[0].format.fontItalic());
  save_screenshot(host, "styled");
}

TEST(TextArea, StyleEntriesAreSortedByCategory)
{
  text_area_t area;
  text_area_t reference;
  qvector<qstring> lines;
  area.style_sheet_lines(&lines, reference);
  EXPECT_TRUE(lines.empty());

  area.set_number_weight(1);
  area.set_string_fg(QColor(1, 2, 3));
  area.set_keyword1_italic(1);
  area.set_keyword2_fg(Qt::red);
  area.set_keyword2_weight(1);
  area.style_sheet_lines(&lines, reference);
  EXPECT_EQ(to_strings(lines), (std::vector<std::string> {"text_area_t", "{",
                                                      "    qproperty-keyword1-italic: 1;",
                                                      "    qproperty-keyword2-fg: red;",
                                                      "    qproperty-keyword2-weight: 1;",
                                                      "    qproperty-string-fg: #010203;",
                                                      "    qproperty-number-weight: 1;", "}"}));

  // Against a reference with other flags, the flags that differ are written, 0 included.
  reference.set_keyword2_weight(1);
  reference.set_comment_italic(1);
  qvector<qstring> entries;
  area.collect_style_entries(&entries, reference);
  EXPECT_EQ(to_strings(entries), (std::vector<std::string> {"qproperty-keyword1-italic: 1;", "qproperty-keyword2-fg: red;",
                                                        "qproperty-string-fg: #010203;",
                                                        "qproperty-comment-italic: 0;",
                                                        "qproperty-number-weight: 1;"}));
}

TEST(TextArea, ScreenshotWithLineNumbersAndHighlighting)
{
  focus_host_t host;
  text_area_t &area = *host.editor;
  zxl_language_t zxl;
  language_record_t &record = zxl.record;
  attach_highlighter(&area, &record);
  area.set_keyword1_weight(1);
  area.set_comment_italic(1);
  area.setFocus();
  QTest::keyClicks(&area, "#include <lib.zxl>");
  QTest::keyClick(&area, Qt::Key_Return);
  QTest::keyClicks(&area, "static main()");
  QTest::keyClick(&area, Qt::Key_Return);
  QTest::keyClicks(&area, "{");
  QTest::keyClick(&area, Qt::Key_Return);
  QTest::keyClick(&area, Qt::Key_Tab);
  QTest::keyClicks(&area, "auto ea = BADADDR; /* start */");
  QTest::keyClick(&area, Qt::Key_Return);
  QTest::keyClicks(&area, "if ( ea != 0x10 ) return \"done\\n\"; // end");
  QTest::keyClick(&area, Qt::Key_Return);
  QTest::keyClick(&area, Qt::Key_Backspace);
  QTest::keyClicks(&area, "}");
  EXPECT_EQ(text_of(area), "#include <lib.zxl>\nstatic main()\n{\n    auto ea = BADADDR; /* start */\n"
                           "    if ( ea != 0x10 ) return \"done\\n\"; // end\n}");
  area.hide();
  area.show();
  EXPECT_FALSE(save_screenshot(host, "script").isEmpty());
}

} // namespace
