// The icon registry: ids, names and cache keys of the application's icons.
#include "ui/icon_registry.h"

#include <QDir>
#include <QFileInfo>

#include <string>

// The resource bundle is linked from a static library, so its registration is pulled in by name.
static void init_ui_resources()
{
  Q_INIT_RESOURCE(ui_resources);
}

int32_t icon_registry_t::register_icon(const QIcon &icon, const char *name)
{
  const int32_t id = next_id_++;
  const std::string key = name != nullptr ? std::string(name) : std::to_string(id) + ".png";
  ids_by_name_[key] = id;
  icons_by_id_.insert(id, icon);
  ids_by_cache_key_.insert(icon.cacheKey(), id);
  return id;
}

QIcon icon_registry_t::icon_by_name(const char *name) const
{
  const auto it = name != nullptr ? ids_by_name_.find(name) : ids_by_name_.end();
  return it != ids_by_name_.end() ? icon_by_id(it->second) : QIcon();
}

QIcon icon_registry_t::icon_by_id(int32_t id) const
{
  return icons_by_id_.value(id);
}

int32_t icon_registry_t::icon_id_of(const QIcon &icon) const
{
  return ids_by_cache_key_.value(icon.cacheKey(), -1);
}

int32_t icon_registry_t::icon_id_of_file(const char *name, const char *directory) const
{
  if ( name == nullptr )
    return -1;
  const std::string path = directory != nullptr ? std::string(directory) + "/" + name + ".svg" : std::string(name);
  const auto it = ids_by_name_.find(path);
  return it != ids_by_name_.end() ? icon_id_of(icon_by_id(it->second)) : -1;
}

void icon_registry_t::register_resource_icons()
{
  init_ui_resources();
  const QFileInfoList entries = QDir(QString::fromLatin1(resource_icons_folder)).entryInfoList();
  for ( const QFileInfo &entry : entries )
  {
    const QIcon icon(entry.absoluteFilePath());
    if ( !icon.isNull() )
      register_icon(icon, entry.fileName().toUtf8().constData());
  }
}
