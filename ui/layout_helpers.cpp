// Small Qt-facing helpers: splitters, centring, event walks, keys, label markup and fonts.
#include "ui/layout_helpers.h"

#include "core/unicode.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMetaObject>
#include <QScreen>
#include <QSplitter>
#include <QWidget>

#include <cmath>
#include <cstring>
#include <string>

bool set_splitter_partitions(QSplitter *splitter, const std::vector<double> &fractions)
{
  if ( splitter == nullptr || fractions.size() != size_t(splitter->count()) )
    return false;
  const int length = splitter->orientation() == Qt::Vertical ? splitter->height() : splitter->width();
  int positive = 0;
  for ( double f : fractions )
    positive += f > 0 ? 1 : 0;
  const int handles = positive > 1 ? splitter->handleWidth() * (positive - 1) : 0;
  QList<int> sizes;
  for ( double f : fractions )
    sizes.append(int(std::lround((length - handles) * f)));
  splitter->setSizes(sizes);
  return true;
}

bool partitions_from_json(std::vector<double> *out, const json_value_t &array)
{
  if ( array.tag != JSON_ARRAY )
    return false;
  std::vector<double> fractions;
  for ( const json_value_t &e : *array.u.arr )
  {
    if ( e.tag != JSON_INT || e.u.i < 0 || e.u.i > 100 )
      return false;
    fractions.push_back(double(e.u.i) / 100);
  }
  *out = std::move(fractions);
  return true;
}

namespace
{

QRect screen_geometry_of(const QWidget *widget)
{
  const QScreen *screen = widget->screen();
  if ( screen == nullptr )
    screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry() : QRect();
}

void move_frame_center_to(QWidget *widget, const QPoint &center)
{
  QRect frame = widget->frameGeometry();
  frame.moveCenter(center);
  widget->move(frame.topLeft());
}

} // namespace

void center_on_screen(QWidget *widget)
{
  if ( widget != nullptr )
    move_frame_center_to(widget, screen_geometry_of(widget).center());
}

void center_over_widget(QWidget *widget, QWidget *reference)
{
  if ( widget == nullptr || reference == nullptr )
    return;
  const QRect screen = screen_geometry_of(reference);
  QRect frame = widget->frameGeometry();
  frame.moveCenter(reference->mapToGlobal(reference->rect().center()));
  move_frame_center_to(widget, screen.contains(frame.topLeft()) ? frame.center() : screen.center());
}

void send_event_to_widget_tree(QObject *object, QEvent *event)
{
  if ( object == nullptr )
    return;
  QCoreApplication::sendEvent(object, event);
  // A copy: a receiver may add or remove children while the walk runs; removed ones are skipped.
  const QObjectList children = object->children();
  for ( QObject *child : children )
    if ( object->children().contains(child) )
      send_event_to_widget_tree(child, event);
}

bool is_live_widget(const QObject *object)
{
  if ( object == nullptr )
    return false;
  const QWidgetList widgets = QApplication::allWidgets();
  for ( const QWidget *w : widgets )
    if ( w == object )
      return true;
  return false;
}

bool has_method(const QObject *object, const char *signature)
{
  return object != nullptr
      && object->metaObject()->indexOfMethod(QMetaObject::normalizedSignature(signature).constData()) >= 0;
}

signal_blocker_t::signal_blocker_t(QObject *object)
{
  object_.watch_object(object);
  if ( object != nullptr )
    was_blocked_ = object->blockSignals(true);
}

signal_blocker_t::~signal_blocker_t()
{
  if ( QObject *object = object_.watched() )
    object->blockSignals(was_blocked_);
}

int first_key_of_sequence(const QKeySequence &sequence)
{
  return sequence.isEmpty() ? 0 : sequence[0];
}

bool is_dialog_accept_key(const QKeyEvent *event)
{
  if ( event == nullptr )
    return false;
  // The keypad's Enter carries the keypad flag; it is the same key for this purpose.
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  const int key = event->key();
  return (mods == Qt::ControlModifier && (key == Qt::Key_Return || key == Qt::Key_Enter))
      || (mods == Qt::AltModifier && key == Qt::Key_K);
}

QString hotkey_markup_to_qt(const char *text, bool *has_hotkey)
{
  constexpr size_t limit = 1023;
  bool seen = false;
  std::string out;
  if ( text != nullptr )
  {
    const char *p = text;
    while ( *p != '\0' )
    {
      // One unit: a tilde, an ampersand (doubled), or one code point (a malformed byte alone).
      const char *start = p;
      std::string unit;
      if ( *p == '~' )
      {
        ++p;
        if ( !seen )
          unit = "&";
        seen = true;
      }
      else if ( *p == '&' )
      {
        ++p;
        unit = "&&";
      }
      else
      {
        if ( utf8_next_char(&p) == 0xFFFFFFFFu || p == start )
          p = start + 1;
        unit.assign(start, size_t(p - start));
      }
      if ( out.size() + unit.size() > limit )
        break;
      out += unit;
    }
  }
  if ( has_hotkey != nullptr )
    *has_hotkey = seen;
  return QString::fromUtf8(out.data(), int(out.size())).trimmed();
}

const char *preferred_fixed_font_name()
{
  return "Consolas";
}

const char *fallback_fixed_font_name()
{
  return "Courier New";
}

QFont fixed_pitch_font(int point_size)
{
  QFont font(QString::fromUtf8(preferred_fixed_font_name()), point_size, QFont::Normal, false);
  font.setFamilies({QString::fromUtf8(preferred_fixed_font_name()), QString::fromUtf8(fallback_fixed_font_name())});
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

bool set_widget_font(QWidget *widget, const QFont &font)
{
  if ( widget == nullptr )
    return false;
  if ( has_method(widget, "set_font(QFont)") )
    return QMetaObject::invokeMethod(widget, "set_font", Qt::DirectConnection, Q_ARG(QFont, font));
  widget->setFont(font);
  widget->setProperty("_q_styleSheetWidgetFont", font);
  return true;
}

int scaled_font_height(int n, const QWidget *widget)
{
  const QFontMetrics metrics(widget != nullptr ? widget->font() : QApplication::font());
  return 2 * n * metrics.height() / 3;
}

QColor contrasting_text_color(const QColor &background)
{
  return background.red() >= 128 ? QColor(Qt::black) : QColor(Qt::white);
}
