// The application object's icons and themes: resource icons by file name, loading through its themes
// directories, and applying a theme whose icon declarations fill the main window's theme icons.
#include "ui/app_base.h"

#include "tests/ui/app/test_app.h"
#include "ui/icon_registry.h"

#include <QPixmap>

#include <gtest/gtest.h>

namespace
{

TEST(AppIcons, ResourceIconsAndRegisteredIconsAreFoundByNameIdAndFile)
{
  app_t &app = test_app();
  app.register_resource_icons();
  const QIcon refresh = app.icon_by_name("refresh.svg");
  ASSERT_FALSE(refresh.isNull());
  const int32_t id = app.icon_id_of(refresh);
  EXPECT_GT(id, 0);
  EXPECT_EQ(app.icon_by_id(id).cacheKey(), refresh.cacheKey());
  EXPECT_EQ(icon_id_of_file("refresh.svg", nullptr), id);
  EXPECT_TRUE(app.empty_icon().isNull());
  EXPECT_TRUE(app.icon_by_id(-1).isNull());

  QPixmap pixmap(4, 4);
  pixmap.fill(Qt::magenta);
  const int32_t mine = app.register_icon(QIcon(pixmap), "icons/mine.svg");
  EXPECT_EQ(icon_id_of_file("mine", "icons"), mine);
  EXPECT_EQ(icon_id_of_file("mine", nullptr), -1);
}

} // namespace
