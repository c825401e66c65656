// Accessibility of the Output window: its entries read as one multi-line text, and traces of every query.
#include "ui/log_accessible.h"

#include "core/debug_flags.h"
#include "core/qstring.h"
#include "ui/app_base.h"
#include "ui/log_widget.h"
#include "ui/utf8_units.h"

#include <QFontMetricsF>
#include <QScrollBar>
#include <QTextLine>
#include <QTime>

#include <cmath>
#include <cstdio>

namespace {

const char *category_name(unsigned category)
{
  switch ( category )
  {
    case ACC_TRACE_MISC:
      return "misc";
    case ACC_TRACE_TO_PIXELS:
      return "to-pixels";
    case ACC_TRACE_FROM_PIXELS:
      return "from-pixels";
    case ACC_TRACE_LIFECYCLE:
      return "lifecycle";
    case ACC_TRACE_TEXT:
      return "text";
    case ACC_TRACE_NAV:
      return "nav";
    case ACC_TRACE_TREE:
      return "tree";
    case ACC_TRACE_SELECTION:
      return "selection";
    default:
      return "unknown?";
  }
}

const char *boundary_name(QAccessible::TextBoundaryType boundary)
{
  switch ( boundary )
  {
    case QAccessible::CharBoundary:
      return "CharBoundary";
    case QAccessible::WordBoundary:
      return "WordBoundary";
    case QAccessible::SentenceBoundary:
      return "SentenceBoundary";
    case QAccessible::ParagraphBoundary:
      return "ParagraphBoundary";
    case QAccessible::LineBoundary:
      return "LineBoundary";
    case QAccessible::NoBoundary:
      return "NoBoundary";
    default:
      return "?";
  }
}

QAccessibleInterface *app_accessible_factory(const QString &, QObject *object)
{
  app_t *app = current_app();
  return app != nullptr ? app->accessible_for(object) : nullptr;
}

} // namespace

void acc_trace(unsigned category, const char *format, ...)
{
  if ( (debug_flags & DEBUG_ACCESSIBILITY_TRACES) == 0 )
    return;
  const QByteArray time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1();
  qstring line;
  (void)format_to_string(&line, "%s: ACC (%s): ", time.constData(), category_name(category));
  va_list va;
  va_start(va, format);
  (void)vappend_format_to_string(&line, format, va);
  va_end(va);
  std::fputs(line.c_str(), stderr);
}

void install_log_accessible_factory()
{
  // Qt keeps a factory once, however often it is installed.
  QAccessible::installFactory(&app_accessible_factory);
}

int log_widget_cursor_offset(log_widget_t *widget)
{
  const log_pos_t caret = widget->cursor();
  if ( !is_log_pos(caret) || log_pos_entry(caret) >= widget->entry_count() )
    return 0;
  int offset = 0;
  for ( size_t i = 0; i < log_pos_entry(caret); ++i )
    offset += int(widget->visible_length(i)) + 1;
  if ( log_pos_offset(caret) <= widget->visible_length(log_pos_entry(caret)) )
    offset += int(log_pos_offset(caret));
  return offset;
}

void log_widget_t::notify_cursor_update()
{
  if ( !QAccessible::isActive() )
    return;
  const int offset = log_widget_cursor_offset(this);
  QAccessibleTextCursorEvent event(this, offset);
  QAccessible::updateAccessibility(&event);
  acc_trace(ACC_TRACE_NAV, "%s::notify_cursor_update() => %d\n", "", offset);
}

logAccessible::logAccessible(log_widget_t *widget) : QAccessibleWidget(widget, QAccessible::Client, QString()) {}

log_widget_t *logAccessible::log_widget() const
{
  return static_cast<log_widget_t *>(widget());
}

QString logAccessible::text(QAccessible::Text t) const
{
  acc_trace(ACC_TRACE_TEXT, "%s logAccessible::text(t=%d)\n", "", int(t));
  const QString answer = QAccessibleWidget::text(t);
  acc_trace(ACC_TRACE_TEXT, "%s logAccessible::text() => %s\n", "", answer.toUtf8().constData());
  return answer;
}

QAccessible::State logAccessible::state() const
{
  QAccessible::State answer = QAccessibleWidget::state();
  answer.multiLine = 1;
  return answer;
}

void *logAccessible::interface_cast(QAccessible::InterfaceType type)
{
  if ( type == QAccessible::TextInterface )
    return static_cast<QAccessibleTextInterface *>(this);
  return QAccessibleWidget::interface_cast(type);
}

int logAccessible::cursorPosition() const
{
  const int offset = log_widget_cursor_offset(log_widget());
  acc_trace(ACC_TRACE_NAV, "%s logAccessible::cursorPosition() => %d\n", "", offset);
  return offset;
}

int logAccessible::characterCount() const
{
  const log_widget_t *widget = log_widget();
  int count = 0;
  for ( size_t i = 0; i < widget->entry_count(); ++i )
    count += int(widget->visible_length(i)) + 1;
  acc_trace(ACC_TRACE_NAV, "%s logAccessible::characterCount() => %d\n", "", count);
  return count;
}

bool logAccessible::find_entry(int offset, size_t *entry, int *local, int *start) const
{
  const log_widget_t *widget = log_widget();
  if ( offset < 0 )
    return false;
  int first = 0;
  for ( size_t i = 0; i < widget->entry_count(); ++i )
  {
    const int length = int(widget->visible_length(i));
    if ( offset <= first + length )
    {
      *entry = i;
      *local = offset - first;
      *start = first;
      return true;
    }
    first += length + 1;
  }
  return false;
}

QString logAccessible::line_at(int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const
{
  if ( boundary != QAccessible::LineBoundary )
    return QString();
  size_t entry = 0;
  int local = 0;
  int first = 0;
  if ( !find_entry(offset, &entry, &local, &first) )
  {
    *start = -1;
    *end = -1;
    return QString();
  }
  const QString text = utf8_to_qstring(log_widget()->visible_text(entry));
  *start = first;
  *end = first + text.size() + 1;
  return text;
}

QString logAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const
{
  const QString text = line_at(offset, boundary, start, end);
  acc_trace(ACC_TRACE_TEXT, "%s logAccessible::textAtOffset() => text=%s, startOffset=%d, endOffset=%d\n", "",
            text.toUtf8().constData(), *start, *end);
  return text;
}

QString logAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const
{
  acc_trace(ACC_TRACE_TEXT, "%s logAccessible::textAfterOffset(offset=%d, boundaryType=%s)\n", "", offset,
            boundary_name(boundary));
  const QString text = line_at(offset, boundary, start, end);
  acc_trace(ACC_TRACE_TEXT, "%s logAccessible::textAfterOffset() => text=%s, startOffset=%d, endOffset=%d\n", "",
            text.toUtf8().constData(), *start, *end);
  return text;
}

QRect logAccessible::characterRect(int offset) const
{
  acc_trace(ACC_TRACE_TO_PIXELS, "%s logAccessible::characterRect(offset=%d)\n", "", offset);
  log_widget_t *widget = log_widget();
  const QFontMetricsF metrics(widget->font());
  const int width = int(std::ceil(metrics.averageCharWidth()));
  QRect rect(0, 0, width, 0);
  size_t entry = 0;
  int local = 0;
  int first = 0;
  if ( find_entry(offset, &entry, &local, &first) )
  {
    QTextLayout *layout = widget->entry_layout(entry);
    const QTextLine line = layout->lineForTextPosition(std::min(local, layout->text().size()));
    if ( line.isValid() )
    {
      const int x = qRound(line.cursorToX(local) + line.x());
      const int y = qRound(metrics.height() * qreal(int64_t(entry) - widget->verticalScrollBar()->value()));
      rect = QRect(widget->viewport()->mapToGlobal(QPoint(x, y)), QSize(width, qRound(line.height())));
    }
  }
  acc_trace(ACC_TRACE_TO_PIXELS, "%s logAccessible::characterRect() => %d,%d -> %d,%d\n", "", rect.left(), rect.top(),
            rect.right(), rect.bottom());
  return rect;
}
