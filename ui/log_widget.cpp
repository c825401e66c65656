// The Output window: its line store, layout, painting, caret, selection, find, copy, clear and save.
#include "ui/log_widget.h"

#include "core/environment.h"
#include "core/file_ops.h"
#include "core/ui_callback.h"
#include "ui/action_context.h"
#include "ui/app_base.h"
#include "ui/font_domains.h"
#include "ui/log_accessible.h"
#include "ui/logger.h"
#include "ui/popup_menu.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"
#include "ui/utf8_units.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTextLine>

#include <algorithm>
#include <cmath>

namespace {

// Entries outside the viewport that a hit test walks past, at most this far away.
constexpr int HIT_WALK_LIMIT = 5000;
// The value kind of the search-text request: a plain string.
constexpr int FIND_INPUT_KIND = 3;

// The context menu: action names in order, null for a separator.
constexpr const char *CONTEXT_MENU_NAMES[] = {
  "OutputCopy",          nullptr, "OutputSelectAll",  nullptr, "OutputFind", "OutputFindNext", nullptr,
  "OutputClearContents", "OutputSaveToFile", nullptr, "OutputToggleTimestamps",
};

int ceil_int(qreal value)
{
  return int(std::ceil(value));
}

} // namespace

// ---- The line store ---------------------------------------------------------------------------------------

void msg_entries_t::reset()
{
  msg_outstream_t::reset();
  entries.clear();
  owner_->painted_.clear();
  update_layout(false);
  owner_->content_width_ = -1;
}

void msg_entries_t::carriage_return()
{
  if ( entries.empty() )
    return;
  entries.back().layout.reset();
  entries.back().size = QSize();
}

void msg_entries_t::start_line(const qstring &prefix, unsigned)
{
  // One allocation per line: the prefix and the line's text share a buffer made large enough for both.
  qstring text;
  text.reserve(prefix.size() + line_length_hint() + 1);
  text.append(prefix);
  entries.push_back(msg_entry_t {std::move(text), nullptr, QSize()});
}

void msg_entries_t::write_at(size_t column, const qstring &text)
{
  if ( entries.empty() )
    return;
  msg_entry_t &entry = entries.back();
  if ( entry.text.size() > column )
    entry.text.set_length(column);
  while ( entry.text.size() < column )
    entry.text.push_back(' ');
  entry.text.append(text);
  entry.layout.reset();
  entry.size = QSize();
}

void msg_entries_t::flush()
{
  update_layout(false);
}

size_t msg_entries_t::column()
{
  return entries.empty() ? 0 : entries.back().text.size();
}

void msg_entries_t::update_layout(bool discard)
{
  if ( discard )
  {
    for ( msg_entry_t &entry : entries )
    {
      entry.layout.reset();
      entry.size = QSize();
    }
    owner_->content_width_ = -1;
  }
  owner_->update_vertical_range();
  owner_->update_horizontal_range();
  owner_->viewport()->update();
  // One pending follow event serves every message appended before it arrives.
  if ( !owner_->follow_posted_ )
  {
    owner_->follow_posted_ = true;
    QCoreApplication::postEvent(owner_, new LogWidgetUpdateLayout(true));
  }
}

// ---- Construction and plumbing ----------------------------------------------------------------------------

log_widget_t::log_widget_t(QWidget *parent) : QAbstractScrollArea(parent), entries_(this)
{
  setViewportMargins(6, 0, 6, 0);
  QPalette colours = palette();
  for ( const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled} )
  {
    colours.setColor(group, QPalette::WindowText, Qt::black);
    colours.setColor(group, QPalette::Window, Qt::white);
  }
  setPalette(colours);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);
  (void)apply_domain_font(this);
  install_log_accessible_factory();
  update_vertical_range();
  update_horizontal_range();
}

log_widget_t::~log_widget_t() = default;

void log_widget_t::append_message(const msg_data_t &msg, uint32_t flags)
{
  if ( entries_.write_message(msg, flags) == 0 )
    return;
  app_t *app = current_app();
  if ( app == nullptr || app->defer_log_repaints() || app->in_paint_event() )
    viewport()->update();
  else
    viewport()->repaint();
}

void repaint_log_widget()
{
  app_t *app = current_app();
  if ( log_widget_t *window = app != nullptr ? app->log_widget() : nullptr; window != nullptr )
    window->viewport()->repaint();
}

bool log_widget_t::show_timestamps() const
{
  app_logger_t *logger = app_logger();
  return logger != nullptr && logger->get_show_timestamps();
}

std::string_view log_widget_t::visible_text(size_t entry) const
{
  const std::string_view text = entries_.entries[entry].text.view();
  if ( !show_timestamps() && text.size() >= LOG_PREFIX_WIDTH )
    return text.substr(LOG_PREFIX_WIDTH);
  return text;
}

size_t log_widget_t::visible_length(size_t entry) const
{
  const msg_entry_t &e = entries_.entries[entry];
  return e.layout != nullptr ? size_t(e.layout->text().size()) : utf16_unit_count(visible_text(entry));
}

log_pos_t log_widget_t::end_position() const
{
  if ( entry_count() == 0 )
    return LOG_POS_NONE;
  const size_t last = entry_count() - 1;
  return make_log_pos(last, visible_length(last));
}

int log_widget_t::lines_per_page() const
{
  const int line = std::max(1, ceil_int(QFontMetricsF(font()).height()));
  return viewport()->height() / line;
}

void log_widget_t::update_vertical_range()
{
  const int page = lines_per_page();
  const int64_t count = int64_t(entry_count());
  verticalScrollBar()->setPageStep(page);
  verticalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setRange(0, count > page ? int(count - page) : 0);
}

void log_widget_t::update_horizontal_range()
{
  const int width = viewport()->width();
  horizontalScrollBar()->setPageStep(width);
  horizontalScrollBar()->setSingleStep(std::max(1, ceil_int(QFontMetricsF(font()).averageCharWidth())));
  const int content = content_width_ == -1 ? width : content_width_;
  horizontalScrollBar()->setRange(0, std::max(0, content - width));
}

QSize log_widget_t::minimumSizeHint() const
{
  return QSize(QAbstractScrollArea::minimumSizeHint().width(), ceil_int(QFontMetricsF(font()).height()) + 4);
}

void log_widget_t::repolish()
{
  style()->unpolish(this);
  style()->polish(this);
  update();
}

bool log_widget_t::event(QEvent *event)
{
  if ( event->type() == QEvent::Type(LOG_WIDGET_UPDATE_LAYOUT_EVENT) )
  {
    follow_posted_ = false;
    if ( static_cast<LogWidgetUpdateLayout *>(event)->follow && entry_count() != 0 )
    {
      set_cursor(end_position(), LOG_CURSOR_MOVE, false);
      verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    }
    return true;
  }
  if ( event->type() == QEvent::FontChange )
    entries_.update_layout(true);
  return QAbstractScrollArea::event(event);
}

void log_widget_t::resizeEvent(QResizeEvent *event)
{
  QAbstractScrollArea::resizeEvent(event);
  const int width = viewport()->width();
  const bool discard = width != laid_out_width_;
  laid_out_width_ = width;
  entries_.update_layout(discard);
}

void log_widget_t::scrollContentsBy(int, int)
{
  viewport()->update();
}

// ---- Layout and placement ---------------------------------------------------------------------------------

void log_widget_t::lay_out(msg_entry_t &entry, size_t index)
{
  const int width = viewport()->width();
  auto layout = std::make_unique<QTextLayout>(utf8_to_qstring(visible_text(index)), font());
  layout->setCacheEnabled(true);
  const auto run = [&layout](qreal line_width) {
    layout->beginLayout();
    qreal y = 0;
    for ( QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine() )
    {
      line.setLineWidth(line_width);
      line.setPosition(QPointF(0, y));
      y += std::ceil(line.height());
    }
    layout->endLayout();
  };
  run(width);
  int used = width;
  // Text that cannot wrap narrower than itself is laid out at its own width.
  if ( const int own = ceil_int(layout->boundingRect().width()); own > width )
  {
    used = own;
    run(own);
  }
  const QRectF bounds = layout->boundingRect();
  entry.size = QSize(ceil_int(bounds.right()), ceil_int(bounds.bottom()));
  entry.layout = std::move(layout);
  if ( content_width_ == -1 || content_width_ < used )
  {
    content_width_ = used;
    update_horizontal_range();
  }
}

QTextLayout *log_widget_t::entry_layout(size_t entry)
{
  msg_entry_t &e = entries_.entries[entry];
  if ( e.layout == nullptr )
    lay_out(e, entry);
  return e.layout.get();
}

int log_widget_t::entry_height(size_t entry)
{
  (void)entry_layout(entry);
  return std::max(1, entries_.entries[entry].size.height());
}

void log_widget_t::place_entries()
{
  painted_.clear();
  const size_t count = entry_count();
  if ( count == 0 )
    return;
  const int height = viewport()->height();
  const int value = verticalScrollBar()->value();
  const auto top_down = [&](size_t from) {
    int y = 0;
    for ( size_t i = from; i < count && y < height; ++i )
    {
      const int h = entry_height(i);
      painted_.push_back(painted_entry_t {int64_t(i), y, y + h - 1});
      y += h;
    }
  };
  if ( value < verticalScrollBar()->maximum() )
  {
    top_down(size_t(value));
    return;
  }
  // At the end the newest entry sits at the bottom, however tall the entries above it are.
  int sum = 0;
  bool all_fit = true;
  for ( size_t i = count; i-- > 0; )
  {
    sum += entry_height(i);
    if ( sum >= height )
    {
      all_fit = false;
      break;
    }
  }
  if ( all_fit )
  {
    top_down(0);
    return;
  }
  int bottom = height;
  for ( size_t i = count; i-- > 0 && bottom > 0; )
  {
    const int h = entry_height(i);
    painted_.push_back(painted_entry_t {int64_t(i), bottom - h, bottom - 1});
    bottom -= h;
  }
  std::reverse(painted_.begin(), painted_.end());
}

const painted_entry_t *log_widget_t::painted_record(size_t entry) const
{
  const auto found = std::lower_bound(painted_.begin(), painted_.end(), int64_t(entry),
                                      [](const painted_entry_t &p, int64_t index) { return p.index < index; });
  return found != painted_.end() && found->index == int64_t(entry) ? &*found : nullptr;
}

void log_widget_t::paintEvent(QPaintEvent *)
{
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), palette().window());
  place_entries();
  const int x_scroll = horizontalScrollBar()->value();
  log_pos_t first = anchor_;
  log_pos_t last = cursor_;
  if ( has_selection() && last < first )
    std::swap(first, last);
  for ( const painted_entry_t &record : painted_ )
  {
    const size_t index = size_t(record.index);
    QTextLayout *layout = entry_layout(index);
    QVector<QTextLayout::FormatRange> selections;
    if ( has_selection() && index >= log_pos_entry(first) && index <= log_pos_entry(last) )
    {
      const int length = layout->text().size();
      const int from = index == log_pos_entry(first) ? int(std::min<uint32_t>(log_pos_offset(first), length)) : 0;
      const int to = index == log_pos_entry(last) ? int(std::min<uint32_t>(log_pos_offset(last), length)) : length;
      if ( to > from )
      {
        QTextLayout::FormatRange range;
        range.start = from;
        range.length = to - from;
        range.format.setForeground(palette().brush(QPalette::HighlightedText));
        range.format.setBackground(palette().brush(QPalette::Highlight));
        selections.append(range);
      }
    }
    layout->draw(&painter, QPointF(-x_scroll, record.top), selections);
  }
  if ( hasFocus() && is_log_pos(cursor_) )
  {
    QPoint top;
    QPoint bottom;
    const int code = caret_geometry(&top, &bottom);
    if ( code >= LOG_CARET_CUT_TOP && code <= LOG_CARET_CUT_BOTTOM )
    {
      painter.setPen(palette().color(QPalette::WindowText));
      painter.drawLine(top, bottom);
    }
  }
}

int log_widget_t::caret_geometry(QPoint *top_point, QPoint *bottom_point)
{
  if ( !is_log_pos(cursor_) || painted_.empty() )
    return LOG_CARET_NONE;
  const size_t entry = log_pos_entry(cursor_);
  if ( int64_t(entry) < painted_.front().index )
    return LOG_CARET_BEFORE;
  if ( int64_t(entry) > painted_.back().index )
    return LOG_CARET_AFTER;
  const painted_entry_t *record = painted_record(entry);
  if ( record == nullptr || entry >= entry_count() )
    return LOG_CARET_NONE;
  QTextLayout *layout = entry_layout(entry);
  const int offset = std::min(int(log_pos_offset(cursor_)), layout->text().size());
  const QTextLine line = layout->lineForTextPosition(offset);
  if ( !line.isValid() )
    return LOG_CARET_NONE;
  const int height = viewport()->height();
  const int top = record->top + ceil_int(line.y());
  if ( top >= height )
    return LOG_CARET_AFTER;
  const int x = qRound(line.cursorToX(offset) + line.x() - horizontalScrollBar()->value());
  const int bottom = top + ceil_int(line.height()) - 1;
  *top_point = QPoint(x, top);
  *bottom_point = QPoint(x, bottom);
  if ( top < 0 )
    return LOG_CARET_CUT_TOP;
  return bottom > height ? LOG_CARET_CUT_BOTTOM : LOG_CARET_VISIBLE;
}

// ---- Caret and selection ----------------------------------------------------------------------------------

void log_widget_t::set_cursor(log_pos_t pos, int mode, bool ensure_visible)
{
  const bool extend = mode == LOG_CURSOR_EXTEND
                      || (mode == LOG_CURSOR_SHIFT_EXTEND
                          && (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier) != 0);
  const log_pos_t new_anchor = extend ? (is_log_pos(anchor_) ? anchor_ : cursor_) : LOG_POS_NONE;
  if ( new_anchor == anchor_ && pos == cursor_ )
  {
    notify_cursor_update();
    return;
  }
  const bool had_selection = has_selection();
  anchor_ = new_anchor;
  cursor_ = pos;
  if ( ensure_visible && is_log_pos(cursor_) && log_pos_entry(cursor_) < entry_count() )
  {
    place_entries();
    QPoint top;
    QPoint bottom;
    const int code = caret_geometry(&top, &bottom);
    QScrollBar *vertical = verticalScrollBar();
    if ( code == LOG_CARET_BEFORE || code == LOG_CARET_CUT_TOP || code == LOG_CARET_AFTER )
      vertical->setValue(int(log_pos_entry(cursor_)));
    else if ( code == LOG_CARET_CUT_BOTTOM )
      vertical->setValue(vertical->value() + 1);
    // Horizontally the caret keeps two pixels of room inside the page.
    QTextLayout *layout = entry_layout(log_pos_entry(cursor_));
    const int offset = std::min(int(log_pos_offset(cursor_)), layout->text().size());
    const QTextLine line = layout->lineForTextPosition(offset);
    if ( line.isValid() )
    {
      QScrollBar *horizontal = horizontalScrollBar();
      const int x = qRound(line.cursorToX(offset) + line.x());
      if ( x < horizontal->value() )
        horizontal->setValue(x);
      else if ( x + 2 >= horizontal->value() + horizontal->pageStep() )
        horizontal->setValue(x - horizontal->pageStep() + 2);
    }
  }
  if ( had_selection != has_selection() )
  {
    update_action_filter_t filter;
    filter.add_name("OutputCopy");
    refresh_actions_for(UPDACT_LISTED, this, &filter);
  }
  viewport()->update();
  notify_cursor_update();
}

qstring log_widget_t::selected_text()
{
  qstring out;
  if ( !has_selection() )
    return out;
  log_pos_t first = std::min(anchor_, cursor_);
  log_pos_t last = std::max(anchor_, cursor_);
  for ( size_t entry = log_pos_entry(first); entry <= log_pos_entry(last) && entry < entry_count(); ++entry )
  {
    const std::string_view text = visible_text(entry);
    const size_t from = entry == log_pos_entry(first) ? utf8_offset_of_units(text, log_pos_offset(first)) : 0;
    const size_t to = entry == log_pos_entry(last) ? utf8_offset_of_units(text, log_pos_offset(last)) : text.size();
    if ( !out.empty() )
      out.push_back('\n');
    if ( to > from )
      out.append(text.substr(from, to - from));
  }
  return out;
}

log_pos_t log_widget_t::hit_position(QPoint point)
{
  const size_t count = entry_count();
  if ( count == 0 )
    return make_log_pos(0, 0);
  // Before the first paint the entries are placed as the paint will place them.
  if ( painted_.empty() )
    place_entries();
  const int x = point.x() + horizontalScrollBar()->value();
  const auto hit_in = [&](size_t entry, int y) {
    QTextLayout *layout = entry_layout(entry);
    QTextLine hit = layout->lineAt(0);
    for ( int i = 0; i < layout->lineCount(); ++i )
    {
      const QTextLine line = layout->lineAt(i);
      if ( y >= line.y() )
        hit = line;
    }
    return make_log_pos(entry, hit.isValid() ? hit.xToCursor(x) : 0);
  };
  for ( const painted_entry_t &record : painted_ )
    if ( point.y() >= record.top && point.y() <= record.bottom )
      return hit_in(size_t(record.index), point.y() - record.top);
  if ( point.y() < painted_.front().top )
  {
    int top = painted_.front().top;
    for ( int64_t i = painted_.front().index - 1; i >= 0 && top > -HIT_WALK_LIMIT; --i )
    {
      const int h = entry_height(size_t(i));
      top -= h;
      if ( point.y() >= top )
        return hit_in(size_t(i), point.y() - top);
    }
    return make_log_pos(0, 0);
  }
  int top = painted_.back().bottom + 1;
  for ( size_t i = size_t(painted_.back().index) + 1; i < count && top < viewport()->height() + HIT_WALK_LIMIT; ++i )
  {
    const int h = entry_height(i);
    if ( point.y() < top + h )
      return hit_in(i, point.y() - top);
    top += h;
  }
  return end_position();
}

void log_widget_t::mousePressEvent(QMouseEvent *event)
{
  if ( event->buttons() == Qt::LeftButton )
    set_cursor(hit_position(event->pos()), LOG_CURSOR_MOVE, false);
  else
    QAbstractScrollArea::mousePressEvent(event);
}

void log_widget_t::mouseMoveEvent(QMouseEvent *event)
{
  if ( event->buttons() == Qt::LeftButton )
    set_cursor(hit_position(event->pos()), LOG_CURSOR_EXTEND, true);
  else
    QAbstractScrollArea::mouseMoveEvent(event);
}

// ---- Moves ------------------------------------------------------------------------------------------------

log_pos_t log_widget_t::step_position(log_pos_t pos, bool forward, bool words)
{
  const size_t entry = log_pos_entry(pos);
  QTextLayout *layout = entry_layout(entry);
  const int length = layout->text().size();
  const int offset = std::min(int(log_pos_offset(pos)), length);
  const QTextLayout::CursorMode mode = words ? QTextLayout::SkipWords : QTextLayout::SkipCharacters;
  if ( forward )
  {
    if ( offset < length )
      return make_log_pos(entry, layout->nextCursorPosition(offset, mode));
    return entry + 1 < entry_count() ? make_log_pos(entry + 1, 0) : pos;
  }
  if ( offset > 0 )
    return make_log_pos(entry, layout->previousCursorPosition(offset, mode));
  return entry > 0 ? make_log_pos(entry - 1, visible_length(entry - 1)) : pos;
}

void log_widget_t::move_chars(int n, bool words)
{
  if ( !is_log_pos(cursor_) || log_pos_entry(cursor_) >= entry_count() )
    return;
  log_pos_t pos = cursor_;
  for ( int i = 0; i < std::abs(n); ++i )
    pos = step_position(pos, n > 0, words);
  set_cursor(pos, LOG_CURSOR_SHIFT_EXTEND, true);
}

void log_widget_t::move_lines(int n)
{
  if ( !is_log_pos(cursor_) || log_pos_entry(cursor_) >= entry_count() )
    return;
  size_t entry = log_pos_entry(cursor_);
  QTextLayout *layout = entry_layout(entry);
  const int offset = std::min(int(log_pos_offset(cursor_)), layout->text().size());
  const QTextLine start = layout->lineForTextPosition(offset);
  const qreal x = start.cursorToX(offset);
  int line = start.lineNumber();
  for ( int i = 0; i < std::abs(n); ++i )
  {
    if ( n > 0 )
    {
      if ( line + 1 < layout->lineCount() )
        ++line;
      else if ( entry + 1 < entry_count() )
      {
        layout = entry_layout(++entry);
        line = 0;
      }
      else
        break;
    }
    else
    {
      if ( line > 0 )
        --line;
      else if ( entry > 0 )
      {
        layout = entry_layout(--entry);
        line = layout->lineCount() - 1;
      }
      else
        break;
    }
  }
  set_cursor(make_log_pos(entry, layout->lineAt(line).xToCursor(x)), LOG_CURSOR_SHIFT_EXTEND, true);
}

void log_widget_t::move_line_beginning()
{
  if ( !is_log_pos(cursor_) || log_pos_entry(cursor_) >= entry_count() )
    return;
  QTextLayout *layout = entry_layout(log_pos_entry(cursor_));
  const QTextLine line =
    layout->lineForTextPosition(std::min(int(log_pos_offset(cursor_)), layout->text().size()));
  set_cursor(make_log_pos(log_pos_entry(cursor_), line.textStart()), LOG_CURSOR_SHIFT_EXTEND, true);
}

void log_widget_t::move_line_end()
{
  if ( !is_log_pos(cursor_) || log_pos_entry(cursor_) >= entry_count() )
    return;
  QTextLayout *layout = entry_layout(log_pos_entry(cursor_));
  const QTextLine line =
    layout->lineForTextPosition(std::min(int(log_pos_offset(cursor_)), layout->text().size()));
  // A wrapped line's caret stays before the wrap.
  const int end = line.textStart() + line.textLength() - (line.lineNumber() + 1 < layout->lineCount() ? 1 : 0);
  set_cursor(make_log_pos(log_pos_entry(cursor_), end), LOG_CURSOR_SHIFT_EXTEND, true);
}

void log_widget_t::move_text_beginning()
{
  if ( entry_count() != 0 )
    set_cursor(make_log_pos(0, 0), LOG_CURSOR_SHIFT_EXTEND, true);
}

void log_widget_t::move_text_end()
{
  if ( entry_count() != 0 )
    set_cursor(end_position(), LOG_CURSOR_SHIFT_EXTEND, true);
}

// ---- Commands ---------------------------------------------------------------------------------------------

void log_widget_t::select_all()
{
  if ( entry_count() == 0 )
    return;
  set_cursor(make_log_pos(0, 0), LOG_CURSOR_MOVE, false);
  set_cursor(end_position(), LOG_CURSOR_EXTEND, true);
}

void log_widget_t::copy_selection()
{
  if ( has_selection() )
    copy_text_to_clipboard(selected_text().c_str());
}

void log_widget_t::find()
{
  qstring value = search_text_;
  if ( !input_value_printf(&value, FIND_INPUT_KIND, "Please enter search string") || value.empty() )
    return;
  search_text_ = value;
  search_from_ = make_log_pos(0, 0);
  search();
}

void log_widget_t::find_next()
{
  search();
}

void log_widget_t::search()
{
  if ( !is_log_pos(search_from_) || search_text_.empty() )
    return;
  for ( size_t entry = log_pos_entry(search_from_); entry < entry_count(); ++entry )
  {
    // The view ends at the entry's NUL terminator, so the search stops at the entry's end.
    const std::string_view text = visible_text(entry);
    const size_t skip = entry == log_pos_entry(search_from_) ? utf8_offset_of_units(text, log_pos_offset(search_from_))
                                                              : 0;
    const char *hit = find_text_nocase(text.data() + skip, search_text_.c_str());
    if ( hit == nullptr )
      continue;
    const size_t at = size_t(hit - text.data());
    const log_pos_t start = make_log_pos(entry, units_before_utf8_offset(text, at));
    const log_pos_t end = make_log_pos(entry, units_before_utf8_offset(text, at + search_text_.size()));
    set_cursor(start, LOG_CURSOR_MOVE, false);
    set_cursor(end, LOG_CURSOR_EXTEND, true);
    search_from_ = end;
    return;
  }
  search_from_ = LOG_POS_NONE;
}

void log_widget_t::clear_contents()
{
  entries_.reset();
  content_width_ = -1;
  update_vertical_range();
  update_horizontal_range();
  set_cursor(make_log_pos(0, 0), LOG_CURSOR_MOVE, false);
}

void log_widget_t::toggle_timestamps()
{
  if ( app_logger_t *logger = app_logger(); logger != nullptr )
    logger->set_show_timestamps(!logger->get_show_timestamps());
  entries_.update_layout(true);
}

bool log_widget_t::save_to_file(qstring *path)
{
  qstring chosen;
  if ( path != nullptr && !path->empty() )
  {
    chosen = *path;
  }
  else
  {
    const char *answer = prompt_file_name(true, "*.log", "Please select an output file");
    if ( answer == nullptr )
      return false;
    chosen = answer;
    if ( file_exists(chosen.c_str())
         && question_buttons_printf("~O~verride", "Cancel", nullptr, 0,
                                    "HIDECANCEL\nFile %s already exists.\nDo you want to overwrite it?",
                                    chosen.c_str())
              != 1 )
      return false;
  }
  FILE *file = file_open_write(chosen.c_str());
  if ( file == nullptr )
  {
    warning_printf("Failed to save to log file: %s", chosen.c_str());
    return false;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  qstring all;
  all.reserve(80 * entry_count() + 1);
  for ( size_t i = 0; i < entry_count(); ++i )
  {
    if ( i != 0 )
      all.push_back('\n');
    all.append(visible_text(i));
  }
  const bool written = file_write(file, all.c_str(), ptrdiff_t(all.size())) == ptrdiff_t(all.size());
  const bool closed = file_close(file) == 0;
  QApplication::restoreOverrideCursor();
  // A short write is no success: the file is incomplete.
  if ( !written || !closed )
  {
    warning_printf("Failed to save to log file: %s", chosen.c_str());
    return false;
  }
  if ( path != nullptr )
    *path = chosen;
  return true;
}

// ---- Context menu -----------------------------------------------------------------------------------------

QList<QAction *> log_widget_t::context_menu_actions() const
{
  QList<QAction *> actions;
  for ( const char *name : CONTEXT_MENU_NAMES )
  {
    if ( name == nullptr )
    {
      actions.append(nullptr);
      continue;
    }
    if ( const ui_action_t *action = find_ui_action(name); action != nullptr && action->qaction() != nullptr )
      actions.append(action->qaction());
  }
  return actions;
}

void log_widget_t::populate_popup(void *popup)
{
  auto *context = static_cast<popup_menu_ctx_t *>(popup);
  for ( QAction *action : context_menu_actions() )
  {
    if ( action != nullptr )
      (void)context->attach_qaction(action, nullptr, 0);
    else
      (void)context->attach_separator(nullptr, 0);
  }
}

void log_widget_t::contextMenuEvent(QContextMenuEvent *event)
{
  // The application fills the popup (the window's own list through populate_popup) and shows it.
  popup_menu_ctx_t popup(this);
  if ( app_t *app = current_app() )
    app->exec_popup(&popup, event, POPUP_AT_EVENT);
}
