// The text area, its margins and the line-number margin.
#include "forms/text/text_area.h"

#include "ui/font_domains.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QSignalBlocker>
#include <QSyntaxHighlighter>
#include <QTextBlock>

#include <algorithm>
#include <cmath>
#include <string_view>

namespace {

constexpr style_property_desc_t text_area_styles[text_area_category_count] = {
  {"keyword1-fg", "Keyword 1", 0xFFFF0000},
  {"keyword2-fg", "Keyword 2", 0xFF800080},
  {"keyword3-fg", "Keyword 3", 0xFF0000FF},
  {"string-fg", "String", 0xFF00008B},
  {"comment-fg", "Comment", 0xFF006400},
  {"preprocessor-fg", "Preprocessor", 0xFFFF0000},
  {"number-fg", "Number", 0xFF8B8B00},
};

// The categories as style entries name them ("qproperty-<category>-<attribute>: ...").
constexpr const char *category_names[text_area_category_count] = {
  "keyword1", "keyword2", "keyword3", "string", "comment", "preprocessor", "number",
};

constexpr style_property_desc_t margin_styles[] = {
  {"header-color", "Header color", 0xFF696969},
};

// The category of a style entry: the first whose name begins with the entry's text up to its first '-'
// (after an optional "qproperty-"); past the last category when none.
size_t entry_category(const qstring &entry)
{
  std::string_view text = entry.view();
  constexpr std::string_view prefix = "qproperty-";
  if ( text.substr(0, prefix.size()) == prefix )
    text.remove_prefix(prefix.size());
  const std::string_view head = text.substr(0, text.find('-'));
  for ( size_t i = 0; i < text_area_category_count; ++i )
    if ( std::string_view(category_names[i]).substr(0, head.size()) == head )
      return i;
  return text_area_category_count;
}

bool is_dialog_accept_key(const QKeyEvent *e)
{
  const Qt::KeyboardModifiers m = e->modifiers() & ~Qt::KeypadModifier;
  return (m == Qt::ControlModifier && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter))
         || (m == Qt::AltModifier && e->key() == Qt::Key_K);
}

bool is_tab_or_backtab(int key)
{
  return key == Qt::Key_Tab || key == Qt::Key_Backtab;
}

} // namespace

// ---- Margins ----------------------------------------------------------------------------------------------

text_area_margin_widget_t::text_area_margin_widget_t(text_area_t *editor, const QString &name)
  : QWidget(editor), stylable_widget_mixin_t(margin_styles, std::size(margin_styles), staticMetaObject.className()),
    editor_(editor), name_(name)
{
  connect(editor, &QPlainTextEdit::blockCountChanged, editor, &text_area_t::sync_viewport_margins);
  connect(editor, &QPlainTextEdit::updateRequest, this, &text_area_margin_widget_t::on_updateRequest);
}

void text_area_margin_widget_t::set_show_header(bool show)
{
  flags_ = uint8_t((flags_ & ~1) | (show ? 1 : 0));
}

qreal text_area_margin_widget_t::widest_block_text(const QFontMetricsF &metrics, int count) const
{
  qreal widest = 0;
  for ( int block = 0; block < count; ++block )
    widest = std::max(widest, metrics.horizontalAdvance(block_text(block)));
  return widest;
}

QSize text_area_margin_widget_t::sizeHint() const
{
  const QFontMetricsF metrics(editor_->font());
  qreal widest = widest_block_text(metrics, std::max(editor_->blockCount(), 1));
  if ( show_header() && !name_.isEmpty() )
    widest = std::max(widest, metrics.horizontalAdvance(name_));
  return {int(std::ceil(widest)) + 4, 0};
}

void text_area_margin_widget_t::on_updateRequest(const QRect &rect, int dy)
{
  if ( dy != 0 )
    scroll(0, dy);
  else
    update(0, rect.y(), width(), rect.height());
}

bool text_area_margin_widget_t::event(QEvent *e)
{
  if ( e->type() == QEvent::Show )
    emit visibility_changed(true);
  else if ( e->type() == QEvent::Hide )
    emit visibility_changed(false);
  return QWidget::event(e);
}

void text_area_margin_widget_t::paintEvent(QPaintEvent *e)
{
  QPainter painter(this);
  painter.setFont(editor_->font());
  const QRect area = e->rect();
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawLine(width() - 1, area.top(), width() - 1, area.bottom());
  const int line_height = QFontMetrics(editor_->font()).height();
  for ( QTextBlock block = editor_->first_visible_block(); block.isValid(); block = block.next() )
  {
    const QRectF r = editor_->block_rect(block);
    if ( r.top() > area.bottom() )
      break;
    if ( !block.isVisible() || r.bottom() < area.top() )
      continue;
    const int top = int(std::round(r.top()));
    if ( block.blockNumber() == 0 && show_header() )
    {
      painter.setPen(header_color());
      painter.drawText(QRect(0, top, width() - 2, line_height), Qt::AlignCenter, name_);
    }
    else
    {
      painter.setPen(palette().color(QPalette::WindowText));
      painter.drawText(QRect(0, top, width() - 2, line_height), Qt::AlignRight, block_text(block.blockNumber()));
    }
  }
}

// The widest number up to `count` is among few candidates: for each shorter length, the widest leading digit
// followed by the widest digits; for count's own length, count itself, and count's digits up to some
// position, then a smaller digit there and the widest digits after it. Widths of digit strings add up, so
// the widest candidate is the widest number; only the candidates are measured.
qreal line_number_margin_t::widest_block_text(const QFontMetricsF &metrics, int count) const
{
  qreal digit_width[10];
  for ( int d = 0; d < 10; ++d )
    digit_width[d] = metrics.horizontalAdvance(QChar('0' + d));
  const auto widest_digit = [&](int from, int below) {
    int best = from;
    for ( int d = from; d < below; ++d )
      if ( digit_width[d] > digit_width[best] )
        best = d;
    return QChar('0' + best);
  };
  const QString top = QString::number(count);
  const int length = int(top.size());
  qreal widest = metrics.horizontalAdvance(top);
  for ( int n = 1; n < length; ++n )
    widest = std::max(widest, metrics.horizontalAdvance(widest_digit(1, 10) + QString(n - 1, widest_digit(0, 10))));
  for ( int p = 0; p < length; ++p )
  {
    const int first = p == 0 ? 1 : 0;
    const int digit = top[p].digitValue();
    if ( digit <= first )
      continue;
    const QString candidate = top.left(p) + widest_digit(first, digit) + QString(length - p - 1, widest_digit(0, 10));
    widest = std::max(widest, metrics.horizontalAdvance(candidate));
  }
  return widest;
}

// ---- The editor --------------------------------------------------------------------------------------------

text_area_t::text_area_t(QWidget *parent, bool line_numbers)
  : QPlainTextEdit(parent),
    stylable_widget_mixin_t(text_area_styles, text_area_category_count, staticMetaObject.className())
{
  set_indent_width(4);
  connect(this, &QPlainTextEdit::textChanged, this, &text_area_t::changedText);
  connect(document(), &QTextDocument::contentsChange, this, &text_area_t::contentsChanged);
  apply_domain_font(this);
  if ( line_numbers )
    add_margin(new line_number_margin_t(this));
}

text_area_t::~text_area_t()
{
  // The margins and the highlighter go while the document still exists; nothing of it is reported any more.
  disconnect(this, &QPlainTextEdit::updateRequest, nullptr, nullptr);
  disconnect(document(), nullptr, this, nullptr);
  const QSignalBlocker quiet(this);
  highlighter_.reset();
}

void text_area_t::set_indent_width(int n)
{
  indent_width_ = std::max(n, 0);
  indent_text_ = QString(indent_width_, QChar(' '));
  update_tab_stop();
}

void text_area_t::update_tab_stop()
{
  setTabStopDistance(QFontMetricsF(font()).horizontalAdvance(QString(indent_width_, QChar(' '))));
}

void text_area_t::set_highlighter(std::unique_ptr<QSyntaxHighlighter> highlighter)
{
  const QSignalBlocker quiet(this);
  highlighter_ = std::move(highlighter);
  if ( highlighter_ == nullptr )
    return;
  if ( auto *ours = qobject_cast<QtSyntaxHighlighter *>(highlighter_.get()) )
  {
    if ( ours->document() != document() )
      ours->setDocument(document());
    ours->set_categories(highlight_categories());
  }
  else
  {
    highlighter_->setDocument(document());
  }
}

highlight_categories_t text_area_t::highlight_categories() const
{
  highlight_categories_t out;
  // Plain text keeps the editor's own text colour.
  out[HL_PLAIN] = {QColor(), false, false};
  for ( size_t i = 0; i < text_area_category_count; ++i )
    out[i + 1] = {color_property(uint32_t(i), true), weight_[i] != 0, italic_[i] != 0};
  return out;
}

void text_area_t::refresh_highlighting()
{
  // Colouring changes no text: the document's change signals must not read as an edit.
  const QSignalBlocker quiet(this);
  if ( auto *ours = qobject_cast<QtSyntaxHighlighter *>(highlighter_.get()) )
    ours->set_categories(highlight_categories());
  else if ( highlighter_ != nullptr )
    highlighter_->rehighlight();
}

int text_area_t::category_weight(size_t category) const
{
  return category < text_area_category_count ? weight_[category] : 0;
}

int text_area_t::category_italic(size_t category) const
{
  return category < text_area_category_count ? italic_[category] : 0;
}

void text_area_t::set_category_weight(size_t category, int weight)
{
  if ( category < text_area_category_count )
    weight_[category] = weight != 0 ? 1 : 0;
}

void text_area_t::set_category_italic(size_t category, int italic)
{
  if ( category < text_area_category_count )
    italic_[category] = italic != 0 ? 1 : 0;
}

void text_area_t::collect_style_entries(qvector<qstring> *entries, const stylable_widget_mixin_t &reference) const
{
  collect_color_entries(entries, reference);
  const auto *other = dynamic_cast<const text_area_t *>(&reference);
  for ( size_t i = 0; i < text_area_category_count; ++i )
  {
    const int weight = other != nullptr ? other->weight_[i] : 0;
    const int italic = other != nullptr ? other->italic_[i] : 0;
    if ( weight_[i] != weight )
      append_qproperty_entry(&qstrvec_push_empty(entries), (std::string(category_names[i]) + "_weight").c_str(),
                             weight_[i], qproperty_prefix | qproperty_hyphenate);
    if ( italic_[i] != italic )
      append_qproperty_entry(&qstrvec_push_empty(entries), (std::string(category_names[i]) + "_italic").c_str(),
                             italic_[i], qproperty_prefix | qproperty_hyphenate);
  }
  std::stable_sort(entries->begin(), entries->end(), [](const qstring &a, const qstring &b) {
    return entry_category(a) < entry_category(b);
  });
}

void text_area_t::add_margin(text_area_margin_widget_t *margin)
{
  if ( margin_container_ == nullptr )
  {
    margin_container_ = new QWidget(this);
    margin_container_->setAutoFillBackground(false);
    margin_layout_ = new QHBoxLayout(margin_container_);
    margin_layout_->setSpacing(0);
    margin_layout_->setContentsMargins(0, 0, 0, 0);
    margin_layout_->addStretch();
    margin_container_->show();
  }
  margin_layout_->insertWidget(margin_layout_->count() - 1, margin);
  // Shown now rather than by the layout's queued call, so that the sum below counts it; a margin hidden on
  // purpose stays hidden.
  if ( !(margin->isHidden() && margin->testAttribute(Qt::WA_WState_ExplicitShowHide)) )
    margin->show();
  connect(margin, &text_area_margin_widget_t::visibility_changed, this, &text_area_t::sync_viewport_margins);
  sync_viewport_margins();
}

int text_area_t::sync_viewport_margins()
{
  int sum = 0;
  for ( text_area_margin_widget_t *margin : findChildren<text_area_margin_widget_t *>() )
  {
    if ( !margin->isVisibleTo(this) )
      continue;
    const int width = margin->sizeHint().width();
    margin->setMinimumWidth(width);
    sum += width;
  }
  const QMargins margins = viewportMargins();
  if ( margins.left() != sum )
    setViewportMargins(sum, margins.top(), margins.right(), margins.bottom());
  if ( margin_container_ != nullptr )
  {
    const QRect contents = contentsRect();
    margin_container_->setGeometry(contents.left(), contents.top(), sum, contents.height());
  }
  return sum;
}

void text_area_t::changedText()
{
  modified_ = true;
}

void text_area_t::contentsChanged(int /*pos*/, int removed, int added)
{
  if ( removed != 0 || added != 0 )
    emit textModified();
}

QTextBlock text_area_t::first_visible_block() const
{
  return firstVisibleBlock();
}

QRectF text_area_t::block_rect(const QTextBlock &block) const
{
  return blockBoundingGeometry(block).translated(contentOffset());
}

bool text_area_t::event(QEvent *e)
{
  switch ( e->type() )
  {
    case QEvent::Show:
    case QEvent::StyleChange:
      refresh_highlighting();
      break;
    case QEvent::FontChange:
      update_tab_stop();
      sync_viewport_margins();
      break;
    default:
      break;
  }
  return QPlainTextEdit::event(e);
}

void text_area_t::resizeEvent(QResizeEvent *e)
{
  QPlainTextEdit::resizeEvent(e);
  sync_viewport_margins();
}

void text_area_t::contextMenuEvent(QContextMenuEvent *e)
{
  const std::unique_ptr<QMenu> menu(createStandardContextMenu(e->pos()));
  menu->exec(e->globalPos());
}

void text_area_t::insert_indent()
{
  QTextCursor cursor = textCursor();
  if ( cursor.hasSelection() )
    return;
  const int column = cursor.position() - cursor.block().position();
  const int rest = column % indent_width_;
  cursor.insertText(indent_text_.right(indent_width_ - rest));
  setTextCursor(cursor);
  ensureCursorVisible();
}

bool text_area_t::auto_indent_key(QKeyEvent *e)
{
  const int key = e->key();
  QTextCursor cursor = textCursor();
  if ( !auto_indent_ || cursor.hasSelection()
       || !(key == Qt::Key_Return || (key == Qt::Key_Backspace && indent_width_ != 0)) )
    return false;
  cursor.beginEditBlock();
  const QString line = cursor.block().text();
  const int column = cursor.position() - cursor.block().position();
  if ( key == Qt::Key_Return )
  {
    int indentation = 0;
    while ( indentation < line.size() && line[indentation].isSpace() )
      ++indentation;
    if ( indentation == line.size() )
      indentation = int(line.count(QChar(' ')));
    cursor.insertText(QStringLiteral("\n") + line.left(indentation));
  }
  else
  {
    int spaces = 0;
    while ( spaces < column && line[column - spaces - 1] == QChar(' ') )
      ++spaces;
    int remove = 1;
    if ( spaces != 0 )
    {
      const int rest = column % indent_width_;
      remove = rest != 0 ? (spaces < rest ? 1 : rest) : std::min(spaces, indent_width_);
    }
    for ( int i = 0; i < remove; ++i )
      cursor.deletePreviousChar();
  }
  cursor.endEditBlock();
  setTextCursor(cursor);
  ensureCursorVisible();
  e->accept();
  return true;
}

void text_area_t::keyPressEvent(QKeyEvent *e)
{
  if ( is_dialog_accept_key(e) )
  {
    e->accept();
    emit dialog_accepted();
    return;
  }
  const int key = e->key();
  const Qt::KeyboardModifiers m = e->modifiers();
  const auto focus_or_base = [&](bool next) {
    if ( indent_width_ == 0 )
    {
      e->accept();
      emit request_focus_next_prev_child(next);
    }
    else
    {
      QPlainTextEdit::keyPressEvent(e);
    }
  };
  if ( m == (Qt::ShiftModifier | Qt::ControlModifier) )
  {
    if ( is_tab_or_backtab(key) )
      focus_or_base(false);
    else
      QPlainTextEdit::keyPressEvent(e);
    return;
  }
  if ( m == Qt::ShiftModifier )
  {
    if ( is_tab_or_backtab(key) )
      focus_or_base(false);
    else if ( key != Qt::Key_Return || !auto_indent_key(e) )
      QPlainTextEdit::keyPressEvent(e);
    return;
  }
  if ( m == Qt::ControlModifier && key == Qt::Key_Tab )
  {
    e->accept();
    emit request_focus_next_prev_child(true);
    return;
  }
  if ( m != Qt::NoModifier )
  {
    QPlainTextEdit::keyPressEvent(e);
    return;
  }
  if ( key == Qt::Key_Tab )
  {
    e->accept();
    if ( indent_width_ == 0 )
      emit request_focus_next_prev_child(true);
    else
      insert_indent();
    return;
  }
  if ( !auto_indent_key(e) )
    QPlainTextEdit::keyPressEvent(e);
}

// ---- Highlighter attachment -----------------------------------------------------------------------------------

void attach_highlighter(text_area_t *area, language_record_t *record)
{
  auto *current = qobject_cast<QtSyntaxHighlighter *>(area->highlighter());
  if ( current != nullptr && current->record() == record )
    return;
  area->set_highlighter(std::make_unique<QtSyntaxHighlighter>(area->document(), record));
}
