// The application object of the framework: the Qt application together with the framework's own state and hooks.
#include "ui/app_base.h"

#include "core/environment.h"
#include "core/internal_error.h"
#include "ui/desktop_layout.h"
#include "ui/docks/dock_node.h"
#include "ui/view_interfaces.h"
#include "ui/wait_box.h"

#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QProxyStyle>

#include <new>

namespace {

// The application's style: message boxes let the user select their text with the mouse.
class msgbox_win_style_t : public QProxyStyle
{
public:
  int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                QStyleHintReturn *data) const override
  {
    int answer = QProxyStyle::styleHint(hint, option, widget, data);
    if ( hint == SH_MessageBox_TextInteractionFlags )
      answer |= Qt::TextSelectableByMouse;
    return answer;
  }
};

// True when the widget lies inside a dock (the dock widgets' base class is looked up by name, so that
// this layer needs none of their code).
bool inside_dock(const QWidget *widget)
{
  for ( const QWidget *w = widget; w != nullptr; w = w->parentWidget() )
    if ( w->inherits("BaseDockWidget") )
      return true;
  return false;
}

bool has_method(const QObject *object, const char *signature)
{
  return object->metaObject()->indexOfMethod(signature) >= 0;
}

// Mouse input for a menu that is closed. The pointer grab of a popup goes a moment after the menu closed, so a
// click made right after choosing an entry can still be handed to the menu's window; the closed menu would run
// whatever entry lay under the pointer, unseen by the user.
bool for_closed_menu(const QObject *receiver, const QEvent *event)
{
  switch ( event->type() )
  {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    {
      const auto *menu = qobject_cast<const QMenu *>(receiver);
      return menu != nullptr && !menu->isVisible();
    }
    default:
      return false;
  }
}

} // namespace

// ---- _base_app_mixin_t ------------------------------------------------------------------------------

_base_app_mixin_t::_base_app_mixin_t(app_t *owner) : app_(owner)
{
  try
  {
    request_queue_lock = lock_create();
  }
  catch ( const std::bad_alloc & )
  {
  }
  if ( request_queue_lock == nullptr )
    interr(40195);
}

_base_app_mixin_t::~_base_app_mixin_t()
{
  // The requests still listed are not ours to touch.
  lock_destroy(request_queue_lock);
}

void _base_app_mixin_t::quit_event_loop(int code)
{
  QCoreApplication::exit(code);
}

QWidget *_base_app_mixin_t::focused_core_widget()
{
  return core_widget_of(QApplication::focusWidget());
}

bool _base_app_mixin_t::title_of_widget(qstring &out, QWidget *widget)
{
  if ( widget == nullptr )
    return false;
  const chooser_view_t *chooser = as_chooser_view(widget);
  const QString title = chooser != nullptr ? chooser->chooser_title() : widget->windowTitle();
  const QByteArray utf8 = title.toUtf8();
  out.assign(utf8.constData(), size_t(utf8.size()));
  return true;
}

bool _base_app_mixin_t::query_generic_title(QString &out, QWidget *widget)
{
  if ( widget == nullptr )
    return false;
  QString generic;
  if ( has_method(widget, "get_generic_title()") )
    QMetaObject::invokeMethod(widget, "get_generic_title", Qt::DirectConnection, Q_RETURN_ARG(QString, generic));
  out = generic.isEmpty() ? widget->windowTitle() : generic;
  return !out.isEmpty();
}

// ---- app_t -------------------------------------------------------------------------------------------

app_t::app_t(int &argc, char **argv) : QApplication(argc, argv), _base_app_mixin_t(this)
{
  exec_request_destroyed_hook.store(&_base_app_mixin_t::forget_destroyed_request);
  wait_box_timer_.setSingleShot(true);
  connect(&wait_box_timer_, &QTimer::timeout, this, &app_t::on_timeout_show_wait_dialog);
  connect(this, &QApplication::focusChanged, this, &app_t::on_focus_changed, Qt::DirectConnection);
  setStyle(new msgbox_win_style_t); // owned by the application
  qstring ignored;
  if ( !read_env_var("ZUK_NO_HIDPI_PIXMAPS", &ignored) )
    setAttribute(Qt::AA_UseHighDpiPixmaps);
}

app_t::~app_t()
{
  delete_wait_dialog();
  exec_request_destroyed_hook.store(nullptr);
}

QWidget *app_t::active_window()
{
  return QApplication::activeWindow();
}

void app_t::process_events(int milliseconds, bool exclude_user_input)
{
  if ( in_paint_event_ )
    return;
  const bool previous = swap_event_processing_state(false);
  QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents;
  if ( exclude_user_input )
    flags |= QEventLoop::ExcludeUserInputEvents;
  QCoreApplication::processEvents(flags, milliseconds);
  swap_event_processing_state(previous);
}

bool app_t::base_notify(QObject *receiver, QEvent *event)
{
  return QApplication::notify(receiver, event);
}

bool app_t::os_dark_theme() const
{
  return QApplication::palette().color(QPalette::Window).lightness() < 128;
}

bool app_t::drop_user_input(QEvent *event)
{
  const auto waiting = [this] { return wait_box_timer_.isActive() && QApplication::activeModalWidget() == nullptr; };
  switch ( event->type() )
  {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if ( !waiting() )
        return false;
      dropped_buttons_ |= static_cast<QMouseEvent *>(event)->button();
      return true;
    case QEvent::MouseButtonRelease:
    {
      // Only the release of a dropped press goes: its widget never saw the press.
      const Qt::MouseButton button = static_cast<QMouseEvent *>(event)->button();
      if ( !dropped_buttons_.testFlag(button) )
        return false;
      dropped_buttons_ &= ~Qt::MouseButtons(button);
      return true;
    }
    case QEvent::KeyPress:
      if ( !waiting() )
        return false;
      dropped_keys_.insert(static_cast<QKeyEvent *>(event)->key());
      return true;
    case QEvent::KeyRelease:
      return dropped_keys_.remove(static_cast<QKeyEvent *>(event)->key());
    case QEvent::Wheel:
    case QEvent::Shortcut:
      return waiting();
    default:
      return false;
  }
}

void app_t::repolish_for_theme(QObject *receiver)
{
  if ( !has_method(receiver, "repolish()") )
    return;
  const QVariant dark(os_dark_theme());
  if ( receiver->property("os-dark-theme") == dark )
    return;
  receiver->setProperty("os-dark-theme", dark);
  QMetaObject::invokeMethod(receiver, "repolish", Qt::DirectConnection);
}

bool app_t::notify(QObject *receiver, QEvent *event)
{
  if ( drop_user_input(event) || for_closed_menu(receiver, event) )
  {
    event->accept();
    return true;
  }
  const QEvent::Type type = event->type();
  if ( (type == QEvent::PolishRequest || type == QEvent::ApplicationPaletteChange) && receiver->isWidgetType() )
    repolish_for_theme(receiver);
  if ( type == QEvent::KeyPress )
  {
    // The receiver may go away while the key is delivered.
    const QPointer<QObject> alive(receiver);
    const bool delivered = base_notify(receiver, event);
    if ( alive != nullptr && close_dock_on_escape(receiver, event) )
      return true;
    return delivered;
  }
  if ( type != QEvent::Paint )
    return base_notify(receiver, event);

  struct paint_mark_t
  {
    bool &mark;
    const bool before;
    ~paint_mark_t() { mark = before; }
  } restore {in_paint_event_, in_paint_event_};
  in_paint_event_ = true;
  return base_notify(receiver, event);
}

void app_t::on_focus_changed(QWidget *old, QWidget *now)
{
  track_focus(old, now);
}

void app_t::track_focus(QWidget * /*old*/, QWidget *now)
{
  if ( now == nullptr || QApplication::activePopupWidget() != nullptr )
    return;
  recent_focus_pos_ = recent_focus_pos_ + 1 >= RECENT_FOCUS_SIZE ? 0 : recent_focus_pos_ + 1;
  recent_focus_[size_t(recent_focus_pos_)].watch_object(now);
  switch_active_core_widget(now);
  update_active_titles(now);
}

QWidget *app_t::recent_focused_widget(int flags) const
{
  if ( recent_focus_pos_ >= RECENT_FOCUS_SIZE )
    return nullptr;
  // From the entry before the newest backwards, wrapping from 0 to 9: the newest is examined last.
  for ( int step = 1; step <= RECENT_FOCUS_SIZE; ++step )
  {
    const int index = (recent_focus_pos_ - step + RECENT_FOCUS_SIZE) % RECENT_FOCUS_SIZE;
    QWidget *widget = recent_focus_[size_t(index)].watched_as<QWidget>();
    if ( widget == nullptr )
      continue;
    if ( (flags & 1) == 0 )
      return widget;
    const bool docked = inside_dock(widget);
    if ( (flags & 2) != 0 ? docked : (docked || widget->isVisible()) )
      return widget;
  }
  return nullptr;
}

// ---- Free functions ----------------------------------------------------------------------------------

app_t *current_app()
{
  return qobject_cast<app_t *>(QCoreApplication::instance());
}

QWidget *core_widget_of(QWidget *widget)
{
  for ( QWidget *w = widget; w != nullptr; w = w->parentWidget() )
  {
    if ( qobject_cast<QMenu *>(w) != nullptr || qobject_cast<QMenuBar *>(w) != nullptr )
      return nullptr;
    if ( w->isWindow() && (qobject_cast<WaitDialog *>(w) != nullptr || qobject_cast<QMessageBox *>(w) != nullptr) )
      return nullptr;
    if ( has_method(w, "form_activate()") )
      return w;
  }
  return nullptr;
}

qreal widget_device_pixel_ratio(const QWidget *widget)
{
  if ( widget != nullptr )
    return widget->window()->devicePixelRatioF();
  if ( const QWidget *active = QApplication::activeWindow() )
    return active->devicePixelRatioF();
  return 1;
}

void copy_text_to_clipboard(const char *text)
{
  QGuiApplication::clipboard()->setText(QString::fromUtf8(text != nullptr ? text : ""));
}
