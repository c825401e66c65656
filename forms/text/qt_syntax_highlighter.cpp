// The Qt side of the line highlighter.
#include "forms/text/qt_syntax_highlighter.h"

#include <QBrush>
#include <QFont>

namespace {

QTextCharFormat format_for(const highlight_category_t &looks)
{
  QTextCharFormat format;
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
  int last = int(offsets.size()) - 1;
  if ( start < 0 || length <= 0 || start >= last )
    return;
  int end = std::min(start + length, last);
  owner_->setFormat(offsets[size_t(start)], offsets[size_t(end)] - offsets[size_t(start)],
                    owner_->format_for_style(style));
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
    formats_[style] = format_for(categories[style]);
  rehighlight();
}

const QTextCharFormat &QtSyntaxHighlighter::format_for_style(int style) const
{
  return style >= 0 && size_t(style) < formats_.size() - 1 ? formats_[size_t(style)] : formats_.back();
}

void QtSyntaxHighlighter::highlightBlock(const QString &text)
{
  auto *engine = static_cast<syntax_highlighter_t *>(const_cast<void *>(record_->highlighter));
  if ( engine == nullptr )
    return;
  // A surrogate pair is one code point of two units; a lone surrogate reaches the engine as one code point.
  utf16_offsets_.clear();
  utf16_offsets_.reserve(size_t(text.size()) + 1);
  for ( int i = 0; i < text.size(); ++i )
  {
    utf16_offsets_.push_back(i);
    if ( text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() )
      ++i;
  }
  utf16_offsets_.push_back(text.size());
  QByteArray utf8 = text.toUtf8();
  // Assigned even when empty, so that the engine always gets a buffer and carries the state over the line.
  line_.assign(utf8.constData(), size_t(utf8.size()));
  engine->highlight(cbs_.get(), &line_);
}
