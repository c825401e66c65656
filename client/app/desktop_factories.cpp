// The client's desktop widget factories and their registration.
#include "client/app/desktop_factories.h"

#include "client/app/akui_app.h"
#include "client/views/commits_view.h"
#include "client/views/test_chooser.h"
#include "ui/log_widget.h"

namespace {

QWidget *application_log_widget()
{
  akui_app_t *app = akui_app();
  return app != nullptr ? app->log_widget() : nullptr;
}

} // namespace

QWidget *akui_singleton_desktop_widget_factory_t::create_widget(const char *, const json_object_t *)
{
  QWidget *found = find_();
  return found != nullptr ? found : create_();
}

void register_client_desktop_factories()
{
  static akui_singleton_desktop_widget_factory_t log_factory("Log", application_log_widget, application_log_widget);
  register_desktop_widget_factory(&log_factory);
  static test_chooser_desktop_widget_factory_t test_chooser_factory;
  register_desktop_widget_factory(&test_chooser_factory);
  register_commits_desktop_factory();
}
