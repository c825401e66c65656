// The base of the application's main window: the receiver of queued GUI-thread requests and the keeper of theme icons.
#include "ui/main_window.h"

#include "core/internal_error.h"
#include "ui/app_base.h"
#include "ui/theme_stylesheets.h"

#include <QIcon>

ui_main_window_t::ui_main_window_t(QWidget *parent, Qt::WindowFlags flags) : QMainWindow(parent, flags)
{
  const QMetaObject *meta = metaObject();
  const int index = meta->indexOfSlot("exec_requests()");
  if ( index < 0 )
    interr(40438);
  exec_requests_method_ = meta->method(index);
  // A theme applied before the window existed (at start-up) names its icons too.
  feed_theme_icons(qApp->styleSheet(), this);
}

ui_main_window_t::~ui_main_window_t() = default;

bool ui_main_window_t::post_exec_requests()
{
  return exec_requests_method_.invoke(this, Qt::QueuedConnection);
}

void ui_main_window_t::exec_requests()
{
  if ( app_t *app = current_app() )
    app->run_queued_requests(false);
}

int32_t ui_main_window_t::theme_icon_id(const char *name) const
{
  const auto found = theme_icons_.find(name != nullptr ? name : "");
  return found != theme_icons_.end() ? found->second : -1;
}

void ui_main_window_t::clear_theme_icons()
{
  theme_icons_.clear();
}

bool ui_main_window_t::handleUnknownStyleProperty(QString key, QString value)
{
  static const QString prefix = QStringLiteral("themeicon");
  if ( key.size() <= prefix.size() || !key.startsWith(prefix)
       || (key[prefix.size()] != QLatin1Char('-') && key[prefix.size()] != QLatin1Char('_')) )
    return false;
  const QIcon icon(value);
  app_t *app = current_app();
  if ( icon.isNull() || app == nullptr )
    return true;
  const QByteArray name = key.mid(prefix.size() + 1).toUtf8();
  const int32_t id = app->register_icon(icon, name.constData());
  if ( id >= 0 )
    theme_icons_[name.toStdString()] = id;
  return true;
}
