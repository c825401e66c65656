// The base of the application's main window: the receiver of queued GUI-thread requests.
#include "ui/main_window.h"

#include "core/internal_error.h"
#include "ui/app_base.h"

ui_main_window_t::ui_main_window_t(QWidget *parent, Qt::WindowFlags flags) : QMainWindow(parent, flags)
{
  const QMetaObject *meta = metaObject();
  const int index = meta->indexOfSlot("exec_requests()");
  if ( index < 0 )
    interr(40438);
  exec_requests_method_ = meta->method(index);
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
