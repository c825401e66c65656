// The application object's icons and themes: the registry behind its icon operations, and applying a theme.
#include "ui/app_base.h"

#include "ui/icon_registry.h"
#include "ui/main_window.h"
#include "ui/theme_stylesheets.h"
#include "ui/ui_action_registry.h"

#include <QStyle>

QIcon app_t::icon_by_id(int32_t id) const
{
  return icons_.icon_by_id(id);
}

QIcon app_t::empty_icon() const
{
  return QIcon();
}

void app_t::register_resource_icons()
{
  icons_.register_resource_icons();
}

int32_t icon_id_of_file(const char *name, const char *directory)
{
  const app_t *app = current_app();
  return app != nullptr ? app->icon_registry().icon_id_of_file(name, directory) : -1;
}

bool load_theme_stylesheets(theme_t *theme, qstring *error)
{
  qvector<qstring> themes_dirs;
  if ( app_t *app = current_app() )
    app->themes_dir_name(&themes_dirs);
  return load_theme_stylesheets_from(theme, themes_dirs, error);
}

void app_t::apply_stylesheet(const theme_t &theme)
{
  ui_main_window_t *window = main_window();
  if ( window != nullptr )
    window->clear_theme_icons();
  const QString sheet = join_theme_stylesheets(theme, theme_join_user | theme_join_extra);
  setStyleSheet(sheet);
  if ( window != nullptr )
  {
    style()->unpolish(window);
    style()->polish(window);
    // The style engine keeps unknown properties to itself; the declarations are handed over here instead.
    feed_theme_icons(sheet, window);
  }
  if ( ui_action_registry_t *actions = get_flagged_action_registry() )
    actions->refresh_theme_icons();
}
