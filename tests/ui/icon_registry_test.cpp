// Icon registry: ids from 1, names and cache keys pointing to the newest id, and the compiled-in icons.
#include "ui/icon_registry.h"

#include <QPixmap>

#include <gtest/gtest.h>

namespace
{

QIcon solid_icon(Qt::GlobalColor colour)
{
  QPixmap pixmap(8, 8);
  pixmap.fill(colour);
  return QIcon(pixmap);
}

TEST(IconRegistry, IdsStartAt1AndUnnamedIconsAreNamedByTheirId)
{
  icon_registry_t registry;
  const QIcon red = solid_icon(Qt::red);
  EXPECT_EQ(registry.register_icon(red, nullptr), 1);
  EXPECT_EQ(registry.icon_by_name("1.png").cacheKey(), red.cacheKey());
  EXPECT_EQ(registry.register_icon(solid_icon(Qt::blue), "blue"), 2);
  EXPECT_EQ(registry.icon_id_of(red), 1);
  EXPECT_EQ(registry.icon_by_id(2).cacheKey(), registry.icon_by_name("blue").cacheKey());
}

TEST(IconRegistry, UnknownNamesIdsAndIconsFindNothing)
{
  icon_registry_t registry;
  registry.register_icon(solid_icon(Qt::red), "red");
  EXPECT_TRUE(registry.icon_by_name("green").isNull());
  EXPECT_TRUE(registry.icon_by_name(nullptr).isNull());
  EXPECT_TRUE(registry.icon_by_id(0).isNull());
  EXPECT_TRUE(registry.icon_by_id(99).isNull());
  EXPECT_EQ(registry.icon_id_of(solid_icon(Qt::red)), -1);
  EXPECT_EQ(registry.icon_id_of_file("green", nullptr), -1);
  EXPECT_EQ(registry.icon_id_of_file(nullptr, "dir"), -1);
}

TEST(IconRegistry, TheSameIconTwiceMapsItsCacheKeyToTheLaterId)
{
  icon_registry_t registry;
  const QIcon icon = solid_icon(Qt::green);
  const int first = registry.register_icon(icon, "icons/first.svg");
  const int second = registry.register_icon(icon, "icons/second.svg");
  EXPECT_NE(first, second);
  EXPECT_EQ(registry.icon_id_of(icon), second);
  EXPECT_EQ(registry.icon_id_of_file("first", "icons"), second);
  EXPECT_EQ(registry.icon_id_of_file("second", "icons"), second);
  EXPECT_EQ(registry.icon_id_of_file("icons/first.svg", nullptr), second);
  // A name registered again points to the new icon.
  const QIcon other = solid_icon(Qt::yellow);
  const int third = registry.register_icon(other, "icons/first.svg");
  EXPECT_EQ(registry.icon_id_of_file("first", "icons"), third);
  EXPECT_EQ(registry.icon_by_name("icons/first.svg").cacheKey(), other.cacheKey());
}

TEST(IconRegistry, ResourceIconsAreRegisteredUnderTheirFileNames)
{
  icon_registry_t registry;
  registry.register_resource_icons();
  for ( const char *name : {"close_quick_filter.svg", "refresh.svg"} )
  {
    const QIcon icon = registry.icon_by_name(name);
    ASSERT_FALSE(icon.isNull()) << name;
    EXPECT_FALSE(icon.pixmap(16, 16).isNull()) << name;
    EXPECT_EQ(registry.icon_id_of_file(name, nullptr), registry.icon_id_of(icon)) << name;
  }
}

} // namespace
