// The application object's icons and themes: the registry behind its icon operations, and applying a theme.
#include "ui/app_base.h"

#include "ui/icon_registry.h"

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

