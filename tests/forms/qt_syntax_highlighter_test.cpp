// The Qt side of the line highlighter: formats held by the document, UTF-16 positions, the record's use count.
#include "forms/text/qt_syntax_highlighter.h"
#include "forms/text/zxl_highlighter.h"
#include "tests/forms/highlight_range.h"
#include "tests/forms/zxl_language.h"
#include "tests/support/seeded_random.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <memory>
#include <vector>

namespace {

// Each style gets its own red component, so a held format names its style.
highlight_categories_t distinct_categories()
{
  highlight_categories_t categories;
  for ( size_t style = 0; style < categories.size(); ++style )
    categories[style] = {QColor(int(style) * 20 + 1, 0, 0), style == HL_KEYWORD1, style == HL_COMMENT};
  return categories;
}

std::vector<highlight_range_t> held_ranges(const QTextBlock &block)
{
  std::vector<highlight_range_t> out;
  for ( const QTextLayout::FormatRange &r : block.layout()->formats() )
    out.push_back({r.start, r.length, (r.format.foreground().color().red() - 1) / 20});
  return out;
}

TEST(QtSyntaxHighlighter, DocumentHoldsTheEngineColoursInUtf16Units)
{
  zxl_language_t zxl;
  language_record_t &record = zxl.record;
  QTextDocument document;
  document.setPlainText(QString::fromUtf8("/* a\n\nb */ c\n\"\xF0\x9F\x98\x80\" x1 1\nelse \xF0\x9F\x98\x80 void\n"
                                          "#define X \\\n  Y"));
  QtSyntaxHighlighter highlighter(&document, &record);
  highlighter.set_categories(distinct_categories());

  const std::vector<std::vector<highlight_range_t>> expected = {
    {{0, 4, 5}},
    {},
    {{0, 4, 5}, {4, 2, 0}},
    {{0, 4, 4}, {4, 4, 0}, {8, 1, 7}},
    {{0, 4, 1}, {4, 4, 0}, {8, 4, 2}},
    {{0, 11, 6}},
    {{0, 3, 6}},
  };
  const std::vector<int> states = {1, 1, 0, 0, 0, 16, 0};
  QTextBlock block = document.begin();
  for ( size_t i = 0; i < expected.size(); ++i, block = block.next() )
  {
    ASSERT_TRUE(block.isValid()) << i;
    EXPECT_EQ(held_ranges(block), expected[i]) << "line " << i;
    EXPECT_EQ(block.userState(), states[i]) << "line " << i;
  }

  QTextCharFormat keyword = highlighter.format_for_style(HL_KEYWORD1);
  EXPECT_EQ(keyword.fontWeight(), QFont::Bold);
  EXPECT_FALSE(keyword.fontItalic());
  EXPECT_TRUE(highlighter.format_for_style(HL_COMMENT).fontItalic());
  QTextCharFormat other = highlighter.format_for_style(42);
  EXPECT_EQ(other.foreground().color(), QColor(Qt::black));
  EXPECT_EQ(other.foreground().style(), Qt::SolidPattern);
  EXPECT_NE(other.fontWeight(), QFont::Bold);
}

TEST(QtSyntaxHighlighter, PlainStyleKeepsTheDocumentsOwnFormat)
{
  zxl_language_t zxl;
  language_record_t &record = zxl.record;
  QTextDocument document;
  QString lone_surrogate = QString(QChar(0xD800)) + " else x";
  document.setPlainText(lone_surrogate + "\n\xF0\x9F\x98\x80\xF0\x9F\x98\x80 1");
  QtSyntaxHighlighter highlighter(&document, &record);
  highlight_categories_t categories = distinct_categories();
  categories[HL_PLAIN].colour = QColor();
  highlighter.set_categories(categories);
  EXPECT_EQ(held_ranges(document.begin()), (std::vector<highlight_range_t> {{2, 4, 1}}));
  EXPECT_EQ(held_ranges(document.begin().next()), (std::vector<highlight_range_t> {{5, 1, 7}}));
}

TEST(QtSyntaxHighlighter, RandomUtf16BlocksStayInside)
{
  zxl_language_t zxl;
  language_record_t &record = zxl.record;
  static const char16_t units[] = {u'/', u'*', u'#', u'"', u'\'', u'\\', u'1', u'.', u'e', u'x', u' ', u'\n',
                                   0xD83D, 0xDE00, 0xDC00, 0x00E9, 0x4E2D, 0};
  uint32_t seed = 4126;
  QString text;
  for ( int i = 0; i < seeded_runs(20000); ++i )
    text.append(QChar(units[next_random(&seed) % std::size(units)]));
  QTextDocument document;
  document.setPlainText(text);
  QtSyntaxHighlighter highlighter(&document, &record);
  highlighter.set_categories(distinct_categories());
  for ( QTextBlock block = document.begin(); block.isValid(); block = block.next() )
  {
    const QString line = block.text();
    // A range never begins or ends between the two halves of a surrogate pair.
    auto splits_pair = [&line](int i) { return i > 0 && i < line.size() && line[i].isLowSurrogate()
                                               && line[i - 1].isHighSurrogate(); };
    int next = 0;
    for ( const highlight_range_t &r : held_ranges(block) )
    {
      ASSERT_GE(r.start, next) << block.blockNumber();
      ASSERT_FALSE(splits_pair(r.start) || splits_pair(r.start + r.length)) << block.blockNumber();
      ASSERT_GT(r.length, 0) << block.blockNumber();
      next = r.start + r.length;
    }
    ASSERT_LE(next, block.length() - 1) << block.blockNumber();
  }
}

TEST(QtSyntaxHighlighter, RecordWithoutHighlighterColoursNothing)
{
  language_record_t record;
  QTextDocument document;
  document.setPlainText("else // x");
  QtSyntaxHighlighter highlighter(&document, &record);
  highlighter.rehighlight();
  EXPECT_TRUE(held_ranges(document.begin()).empty());
}

TEST(QtSyntaxHighlighter, UseCountFollowsEachHighlighter)
{
  zxl_language_t zxl;
  language_record_t &record = zxl.record;
  QTextDocument first;
  QTextDocument second;
  auto a = std::make_unique<QtSyntaxHighlighter>(&first, &record);
  EXPECT_EQ(record.busy.load(), 1u);
  auto b = std::make_unique<QtSyntaxHighlighter>(&second, &record);
  EXPECT_EQ(record.busy.load(), 2u);
  EXPECT_EQ(b->record(), &record);
  a.reset();
  EXPECT_EQ(record.busy.load(), 1u);
  b.reset();
  EXPECT_EQ(record.busy.load(), 0u);
}

} // namespace
