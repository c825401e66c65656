// The Qt side of the line highlighter.
#include "forms/text/qt_syntax_highlighter.h"

#include <QBrush>
#include <QFont>

namespace {

QTextCharFormat format_for(const highlight_category_t &looks)
{
  QTextCharFormat format;
  if ( looks.plain() )
    return format;
  format.setForeground(QBrush(looks.colour, Qt::SolidPattern));
  if ( looks.bold )
    format.setFontWeight(QFont::Bold);
  format.setFontItalic(looks.italic);
  return format;
}

} // namespace

void qt_highlighter_cbs_t::apply_style(int start, int length, int style)
{
  const std::vector<int> &offsets = owner_->utf16_offsets_;
  const int last = offsets.empty() ? owner_->block_units_ : int(offsets.size()) - 1;
  if ( start < 0 || length <= 0 || start >= last )
    return;
  // A format that sets nothing is what Qt gives every character of a block before highlighting.
  const size_t index = owner_->style_index(style);
  if ( owner_->plain_[index] )
    return;
  const int end = std::min(start + length, last);
  if ( offsets.empty() )
    owner_->setFormat(start, end - start, owner_->formats_[index]);
  else
    owner_->setFormat(offsets[size_t(start)], offsets[size_t(end)] - offsets[size_t(start)], owner_->formats_[index]);
}

int qt_highlighter_cbs_t::previous_line_state()
{
  return owner_->previousBlockState();
}

int qt_highlighter_cbs_t::current_line_state()
{
  return owner_->currentBlockState();
}

void qt_highlighter_cbs_t::store_line_state(int state)
{
  owner_->setCurrentBlockState(state);
}

QtSyntaxHighlighter::QtSyntaxHighlighter(QTextDocument *document, language_record_t *record)
  : QSyntaxHighlighter(static_cast<QObject *>(nullptr)), record_(record),
    cbs_(std::make_unique<qt_highlighter_cbs_t>(this))
{
  formats_.fill(format_for(highlight_category_t {}));
  plain_.fill(formats_.back().properties().isEmpty());
  record_->busy.fetch_add(1);
  // Attached only once the record is held, so that the first pass already runs it.
  setDocument(document);
}

QtSyntaxHighlighter::~QtSyntaxHighlighter()
{
  cbs_.reset();
  record_->busy.fetch_sub(1);
}

void QtSyntaxHighlighter::set_categories(const highlight_categories_t &categories)
{
  for ( size_t style = 0; style < categories.size(); ++style )
  {
    formats_[style] = format_for(categories[style]);
    plain_[style] = formats_[style].properties().isEmpty();
  }
  rehighlight();
}

size_t QtSyntaxHighlighter::style_index(int style) const
{
  return style >= 0 && size_t(style) < formats_.size() - 1 ? size_t(style) : formats_.size() - 1;
}

const QTextCharFormat &QtSyntaxHighlighter::format_for_style(int style) const
{
  return formats_[style_index(style)];
}

void QtSyntaxHighlighter::highlightBlock(const QString &text)
{
  auto *engine = static_cast<syntax_highlighter_t *>(const_cast<void *>(record_->highlighter));
  if ( engine == nullptr )
    return;
  // The block in UTF-8, written straight into the reused buffer. An ASCII block (nearly every line of source)
  // is copied unit for unit; otherwise the UTF-16 offset of every code point is kept: a surrogate pair is one
  // code point of two units, a lone surrogate becomes U+FFFD.
  const int units = int(text.size());
  const QChar *chars = text.constData();
  block_units_ = units;
  utf16_offsets_.clear();
  line_.reserve(size_t(units) * 3 + 1);
  auto *out = reinterpret_cast<unsigned char *>(line_.data());
  int ascii = 0;
  while ( ascii < units && chars[ascii].unicode() < 0x80 )
  {
    out[ascii] = uint8_t(chars[ascii].unicode());
    ++ascii;
  }
  size_t n = size_t(ascii);
  if ( ascii < units )
  {
    utf16_offsets_.reserve(size_t(units) + 1);
    for ( int i = 0; i < ascii; ++i )
      utf16_offsets_.push_back(i);
    for ( int i = ascii; i < units; ++i )
    {
      utf16_offsets_.push_back(i);
      uint32_t cp = chars[i].unicode();
      if ( QChar::isHighSurrogate(cp) && i + 1 < units && chars[i + 1].isLowSurrogate() )
        cp = QChar::surrogateToUcs4(char16_t(cp), chars[++i].unicode());
      else if ( QChar::isSurrogate(cp) )
        cp = 0xFFFD;
      if ( cp < 0x80 )
      {
        out[n++] = uint8_t(cp);
      }
      else if ( cp < 0x800 )
      {
        out[n++] = uint8_t(0xC0 | (cp >> 6));
        out[n++] = uint8_t(0x80 | (cp & 0x3F));
      }
      else if ( cp < 0x10000 )
      {
        out[n++] = uint8_t(0xE0 | (cp >> 12));
        out[n++] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
        out[n++] = uint8_t(0x80 | (cp & 0x3F));
      }
      else
      {
        out[n++] = uint8_t(0xF0 | (cp >> 18));
        out[n++] = uint8_t(0x80 | ((cp >> 12) & 0x3F));
        out[n++] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
        out[n++] = uint8_t(0x80 | (cp & 0x3F));
      }
    }
    utf16_offsets_.push_back(units);
  }
  // Set even when empty, so that the engine always gets a buffer and carries the state over the line.
  line_.set_length(n);
  engine->highlight(cbs_.get(), &line_);
}
