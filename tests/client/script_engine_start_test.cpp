// The start's script engine: the ZXL language record carries the forms' ZXL highlighter, so a ZXL text that a
// text area shows through the record is coloured as ZXL.
#include "core/language_record.h"
#include "forms/text/qt_syntax_highlighter.h"
#include "script/runtime/zxl_engine.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <string>

namespace {

// The format the highlighter gave the character at `at` of the document's only line.
const QTextCharFormat *format_at(const QTextDocument &document, int at)
{
  for ( const QTextLayout::FormatRange &range : document.firstBlock().layout()->formats() )
    if ( at >= range.start && at < range.start + range.length )
      return &range.format;
  return nullptr;
}

TEST(ScriptEngineStart, TheZxlRecordColoursZxlThroughTheFormsHighlighter)
{
  ASSERT_NE(zxl_language_record.highlighter, nullptr);
  EXPECT_STREQ(zxl_language_record.extension, "zxl");
  QTextDocument document;
  const QString line = QStringLiteral("while ( x ) return \"s\"; // done");
  document.setPlainText(line);
  QtSyntaxHighlighter highlighter(&document, &zxl_language_record);
  // A colour of its own for each style, so that the colour names the style.
  highlight_categories_t looks;
  for ( int style = 0; style < int(looks.size()); ++style )
    looks[size_t(style)].colour = QColor(30 * style, 0, 0);
  highlighter.set_categories(looks);
  const struct
  {
    const char *word;
    int style;
  } cases[] = {{"while", HL_KEYWORD1}, {"x", HL_PLAIN}, {"return", HL_KEYWORD1}, {"\"s\"", HL_STRING},
               {"// done", HL_COMMENT}};
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.word);
    const QTextCharFormat *format = format_at(document, int(line.indexOf(QString::fromLatin1(c.word))));
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->foreground(), highlighter.format_for_style(c.style).foreground());
  }
}

} // namespace
