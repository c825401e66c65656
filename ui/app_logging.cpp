// The application's operations around the log: the accessible object of its Output window.
#include "ui/app_base.h"

#include "ui/log_accessible.h"
#include "ui/log_widget.h"

QAccessibleInterface *app_t::accessible_for(QObject *object)
{
  log_widget_t *widget = qobject_cast<log_widget_t *>(object);
  return widget != nullptr ? new logAccessible(widget) : nullptr;
}
