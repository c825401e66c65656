// The client's desktop widget factories and their registration.
#include "client/app/desktop_factories.h"

#include "client/app/akui_app.h"
#include "client/views/arkive_files_view.h"
#include "client/views/commits_view.h"
#include "client/views/file_history_view.h"
#include "client/views/local_files_view.h"
#include "client/views/sites_view.h"
#include "client/views/test_chooser.h"
#include "client/views/users_view.h"
#include "client/views/worklists_view.h"
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
  static akui_singleton_desktop_widget_factory_t arkive_files_factory("Arkive files", find_arkive_files_host,
                                                                      new_arkive_files_host);
  register_desktop_widget_factory(&arkive_files_factory);
  static akui_singleton_desktop_widget_factory_t local_files_factory("Local files", find_local_files_host,
                                                                     new_local_files_host);
  register_desktop_widget_factory(&local_files_factory);
  static file_history_desktop_widget_factory_t file_history_factory;
  register_desktop_widget_factory(&file_history_factory);
  static akui_singleton_desktop_widget_factory_t worklists_factory("Worklists", find_worklists_widget, create_worklists_widget);
  register_desktop_widget_factory(&worklists_factory);
  static akui_singleton_desktop_widget_factory_t sites_factory("Sites", find_sites_widget, create_sites_widget);
  register_desktop_widget_factory(&sites_factory);
  static akui_singleton_desktop_widget_factory_t users_factory("Users", find_users_widget, create_users_widget);
  register_desktop_widget_factory(&users_factory);
  register_commits_desktop_factory();
}
