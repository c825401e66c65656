// The application's site as the file commands use it.
#include "client/commands/command_site.h"

#include "client/app/akui_app.h"
#include "core/ui_callback.h"
#include "repo/abstract_fs.h"

abstract_fs_t *work_directory_fs()
{
  return get_file_system("", nullptr, 0);
}

local_site_t current_local_site()
{
  const akui_app_t *app = akui_app();
  return local_site_t(app->current_site_name().c_str(), app->server_info.root_dir.c_str(), work_directory_fs());
}

bool has_site_and_connection()
{
  const akui_app_t *app = akui_app();
  return app != nullptr && app->has_usable_connection() && !app->current_site_name().empty();
}

bool local_path_or_report(qstring *out, const char *server_path)
{
  if ( akui_app()->to_local_path(out, server_path) )
    return true;
  log_printf("%s: refused, outside the site's root directory\n", server_path);
  return false;
}
