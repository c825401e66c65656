// The type editor: validity after every edit, hidden margins, focus moves, its keywords, and the line table
// that a type service fills.
#include "forms/text/type_editor.h"

#include "forms/text/type_editor_highlighter.h"
#include "tests/forms/editor_host.h"
#include "tests/ui/app/screenshots.h"
#include "tests/ui/app/test_app.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A type editor between two line edits.
class type_host_t : public editor_host_t<type_editor_t>
{
public:
  explicit type_host_t(const QString &text = {})
    : editor_host_t(new type_editor_t(nullptr, 0, nullptr, nullptr, text, 0))
  {
  }
};

// The style of every character of a block, read from the formats it holds (-1 plain).
std::vector<int> styles_of(const type_editor_t &editor, const QTextBlock &block)
{
  std::vector<int> out(size_t(block.length() - 1), -1);
  for ( const QTextLayout::FormatRange &r : block.layout()->formats() )
  {
    int style = -1;
    // Keyword 1 and preprocessor share a colour; declarations have no directives.
    for ( uint32_t i = 0; i < text_area_category_count && style < 0; ++i )
      if ( r.format.foreground().color() == editor.color_property(i, true) )
        style = int(i) + 1;
    for ( int i = r.start; i < r.start + r.length; ++i )
      out[size_t(i)] = style;
  }
  return out;
}

// The style of the word of a line starting at `start`, when all its characters share it; -2 otherwise.
int word_style(const std::vector<int> &styles, size_t start, size_t length)
{
  for ( size_t i = start; i < start + length; ++i )
    if ( styles[i] != styles[start] )
      return -2;
  return styles[start];
}

TEST(TypeEditor, EveryEditIsInvalidAndTheMarginsStayHidden)
{
  type_host_t host("struct a { int b; };");
  type_editor_t &editor = *host.editor;
  QSignalSpy validity(&editor, &type_editor_t::validity_updated);
  editor.setFocus();
  QTest::keyClicks(&editor, " x;");
  QTest::keyClick(&editor, Qt::Key_Backspace);
  ASSERT_EQ(validity.count(), 4);
  for ( const QList<QVariant> &call : validity )
    EXPECT_FALSE(call.at(0).toBool());
  EXPECT_FALSE(editor.offsets_margin()->isVisible());
  EXPECT_FALSE(editor.sizes_margin()->isVisible());
  EXPECT_EQ(editor.viewport()->geometry().left(), editor.contentsRect().left());
  EXPECT_TRUE(editor.line_table().empty());
  EXPECT_TRUE(editor.is_modified());

  qvector<qstring> messages;
  type_reference_t out;
  EXPECT_FALSE(editor.parse_declaration(&out, 0, &messages));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Parse error");
  EXPECT_EQ(editor.indent_width(), 0);
  EXPECT_EQ(editor.findChild<line_number_margin_t *>(), nullptr);
}

TEST(TypeEditor, TabMovesTheFocus)
{
  type_host_t host;
  host.editor->setFocus();
  QTest::keyClick(host.editor, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), host.after);
  host.editor->setFocus();
  QTest::keyClick(host.editor, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), host.before);
  EXPECT_EQ(host.editor->toPlainText(), "");
}

TEST(TypeEditor, KeywordsColourAsDeclarations)
{
  const auto *highlighter = static_cast<const type_editor_highlighter_t *>(
    static_cast<const syntax_highlighter_t *>(type_declaration_language().highlighter));
  ASSERT_NE(highlighter, nullptr);
  const qvector<keyword_group_t> &groups = highlighter->keyword_groups();
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].key, HL_KEYWORD1);
  EXPECT_EQ(groups[0].words.size(), 125u);
  EXPECT_EQ(groups[1].key, HL_KEYWORD2);
  ASSERT_EQ(groups[1].words.size(), 2u);
  EXPECT_STREQ(groups[1].words[0], "unsigned");
  EXPECT_STREQ(groups[1].words[1], "const");

  type_host_t host("struct s /* a\nb */ { __int64 x; _DWORD y; // z\n"
                   "unsigned const char *p; Struct q; \"str\" '#' 12; };");
  type_editor_t &editor = *host.editor;
  const QTextBlock first = editor.document()->begin();
  const QTextBlock second = first.next();
  const QTextBlock third = second.next();
  const std::vector<int> a = styles_of(editor, first);
  const std::vector<int> b = styles_of(editor, second);
  const std::vector<int> c = styles_of(editor, third);
  EXPECT_EQ(word_style(a, 0, 6), HL_KEYWORD1);
  EXPECT_EQ(word_style(a, 7, 1), -1);
  EXPECT_EQ(word_style(a, 9, 4), HL_COMMENT);
  EXPECT_EQ(word_style(b, 0, 4), HL_COMMENT) << "the block comment goes on";
  EXPECT_EQ(word_style(b, 7, 7), HL_KEYWORD1);
  EXPECT_EQ(word_style(b, 18, 6), HL_KEYWORD1);
  EXPECT_EQ(word_style(b, 28, 4), HL_COMMENT);
  EXPECT_EQ(word_style(c, 0, 8), HL_KEYWORD2);
  EXPECT_EQ(word_style(c, 9, 5), HL_KEYWORD2);
  EXPECT_EQ(word_style(c, 15, 4), HL_KEYWORD1);
  EXPECT_EQ(word_style(c, 24, 6), -1) << "case matters";
  EXPECT_EQ(word_style(c, 34, 5), -1) << "no strings in declarations";
  EXPECT_EQ(word_style(c, 40, 3), -1) << "no directives either";
  EXPECT_EQ(word_style(c, 44, 2), HL_NUMBER);
  EXPECT_FALSE(save_screenshot(host, "declaration").isEmpty());

  // Every keyword, one a line, in its group's style.
  QString words;
  for ( const keyword_group_t &group : groups )
    for ( const char *word : group.words )
      words += QString::fromUtf8(word) + "\n";
  editor.setPlainText(words);
  size_t seen = 0;
  for ( QTextBlock block = editor.document()->begin(); block.isValid() && block.length() > 1; block = block.next() )
  {
    const int expected = seen < groups[0].words.size() ? HL_KEYWORD1 : HL_KEYWORD2;
    EXPECT_EQ(word_style(styles_of(editor, block), 0, size_t(block.length() - 1)), expected)
      << block.text().toStdString();
    ++seen;
  }
  EXPECT_EQ(seen, 127u);
}

TEST(TypeEditor, RecordUseFollowsTheEditors)
{
  language_record_t &language = type_declaration_language();
  const uint32_t before = language.busy.load();
  {
    type_editor_t one(nullptr, 0, nullptr, nullptr, "int a;", 0);
    type_editor_t two(nullptr, 0, nullptr, nullptr, "int b;", 0);
    EXPECT_EQ(language.busy.load(), before + 2);
  }
  EXPECT_EQ(language.busy.load(), before);
}

TEST(TypeEditor, TypeReference)
{
  type_editor_t given(nullptr, 0x1234, "name", "second", "", 7);
  EXPECT_EQ(given.type_reference().type_id, 0x1234u);
  EXPECT_EQ(given.type_reference().name, "name");
  EXPECT_EQ(given.type_reference().second, "second");
  EXPECT_EQ(given.options(), 7u);
  given.set_type_reference(0x99, "other", nullptr);
  EXPECT_EQ(given.type_reference().name, "other");
  EXPECT_EQ(given.type_reference().second, "");
  given.set_type_reference(0, "ignored", "ignored");
  EXPECT_EQ(given.type_reference().name, "");
  EXPECT_EQ(given.type_reference().second, "");
}

TEST(TypeEditor, LineMarkers)
{
  struct row_t
  {
    std::string comment;
    int line;
    const char *rest;
  };
  const row_t rows[] = {
    {"\x05" "3", 3, ""},
    {"\x05" "12 field", 12, " field"},
    {"\x05" "4.a note", 4, " note"},
    {"\x05" "4.", 4, ""},
    {"\x05" "x", 0, "\x05" "x"},
    {"plain", 0, "plain"},
    {"\x05", 0, "\x05"},
    {"\x05" "99999999999999999999 big", 0, " big"},
  };
  for ( const row_t &row : rows )
  {
    qstring comment(row.comment);
    EXPECT_EQ(parse_line_marker(&comment), row.line) << row.comment;
    EXPECT_EQ(comment, row.rest) << row.comment;
  }
}

// A service that parses every text as a structure of three members on lines 2 and 3.
class fake_type_service_t : public type_service_t
{
public:
  bool parse_declaration(type_reference_t *out, const char *text, int flags) override
  {
    texts.emplace_back(text);
    last_flags = flags;
    out->name = "parsed";
    out->second = "more";
    return true;
  }
  bool layout_type(type_layout_t *out, const type_reference_t &) override
  {
    out->is_struct = true;
    out->size_bits = 128;
    out->members = {{0, 32, qstring("\x05" "2 first")}, {32, 16, qstring("\x05" "3")}, {48, 16, qstring("\x05" "3")},
                    {64, 8, qstring("\x05" "9")}};
    return true;
  }
  std::vector<std::string> texts;
  int last_flags = 0;
};

TEST(TypeEditor, AServiceFillsTheLineTableAndShowsTheMargins)
{
  fake_type_service_t service;
  set_type_service(&service);
  type_host_t host;
  type_editor_t &editor = *host.editor;
  QSignalSpy validity(&editor, &type_editor_t::validity_updated);
  editor.setFocus();
  QTest::keyClicks(&editor, "struct s {");
  QTest::keyClick(&editor, Qt::Key_Return);
  QTest::keyClicks(&editor, "int a;");
  QTest::keyClick(&editor, Qt::Key_Return);
  QTest::keyClicks(&editor, "short b, c;");
  QTest::keyClick(&editor, Qt::Key_Return);
  QTest::keyClicks(&editor, "}   ");
  set_type_service(nullptr);

  ASSERT_FALSE(validity.isEmpty());
  EXPECT_TRUE(validity.last().at(0).toBool());
  EXPECT_EQ(service.texts.back(), "struct s {\nint a;\nshort b, c;\n};");
  EXPECT_EQ(service.last_flags, 0x805);
  EXPECT_EQ(editor.type_reference().name, "parsed");
  ASSERT_EQ(editor.line_table().size(), 4u);
  EXPECT_EQ(editor.offsets_margin()->block_text(0), "");
  EXPECT_EQ(editor.offsets_margin()->block_text(1), "0000");
  EXPECT_EQ(editor.sizes_margin()->block_text(1), "0004");
  EXPECT_EQ(editor.offsets_margin()->block_text(2), "0004");
  EXPECT_EQ(editor.sizes_margin()->block_text(2), "0010") << "the last line with ';' holds the whole size";
  EXPECT_EQ(editor.sizes_margin()->block_text(3), "");
  EXPECT_EQ(editor.sizes_margin()->block_text(7), "");
  EXPECT_TRUE(editor.offsets_margin()->isVisible());
  EXPECT_TRUE(editor.sizes_margin()->show_header());
  const int margins = editor.offsets_margin()->sizeHint().width() + editor.sizes_margin()->sizeHint().width();
  EXPECT_EQ(editor.viewport()->geometry().left() - editor.contentsRect().left(), margins);
  save_screenshot(host, "laid-out");

  // Without the service the next edit hides them again.
  QTest::keyClick(&editor, Qt::Key_Backspace);
  editor.refresh_layout(nullptr);
  EXPECT_FALSE(validity.last().at(0).toBool());
  EXPECT_FALSE(editor.offsets_margin()->isVisible());
  EXPECT_EQ(editor.viewport()->geometry().left(), editor.contentsRect().left());
}

} // namespace
