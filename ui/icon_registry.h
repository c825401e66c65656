// The icon registry: small integer ids and names for icons, as the application object keeps them.
#pragma once

#include <QHash>
#include <QIcon>

#include <cstdint>
#include <map>
#include <string>

// The compiled-in folder whose icons register_resource_icons registers under their file names.
constexpr const char *resource_icons_folder = ":/tivex/resources/chooser_widget/";

// Ids start at 1 and are never reused; entries are never removed. Promises: every id handed out finds its
// icon; a name or cache key registered again points to the newest id. GUI thread only.
class icon_registry_t
{
public:
  // Registers the icon under the name, or under "<id>.png" when the name is null; returns the new id.
  int32_t register_icon(const QIcon &icon, const char *name);
  // The icon registered under the name; an empty icon when none is.
  [[nodiscard]] QIcon icon_by_name(const char *name) const;
  // The icon of the id; an empty icon when the id is not registered.
  [[nodiscard]] QIcon icon_by_id(int32_t id) const;
  // The id registered for the icon's cache key, -1 when none is.
  [[nodiscard]] int32_t icon_id_of(const QIcon &icon) const;
  // The id of the icon registered as "<directory>/<name>.svg" (or as the name alone when the directory is
  // null), looked up through that icon's cache key; -1 when the path is not registered.
  [[nodiscard]] int32_t icon_id_of_file(const char *name, const char *directory) const;
  // Registers every loadable icon of resource_icons_folder under its file name (UTF-8).
  void register_resource_icons();

private:
  std::map<std::string, int32_t> ids_by_name_; // bytewise order
  QHash<int32_t, QIcon> icons_by_id_;
  QHash<qint64, int32_t> ids_by_cache_key_;
  int32_t next_id_ = 1;
};

// The application's icon_registry_t::icon_id_of_file; -1 without an application object.
[[nodiscard]] int32_t icon_id_of_file(const char *name, const char *directory);
