// The application object's icons and themes: resource icons by file name, loading through its themes
// directories, and applying a theme whose icon declarations fill the main window's theme icons.
#include "ui/app_base.h"

#include "tests/support/file_contents.h"
#include "tests/ui/app/test_app.h"
#include "ui/icon_registry.h"
#include "ui/main_window.h"
#include "ui/theme_stylesheets.h"

#include <QPainter>
#include <QPixmap>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;

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

// Themes in a fresh folder of the private temporary directory, found through the application.
class AppThemes : public testing::Test
{
protected:
  void SetUp() override
  {
    root_ = fs::temp_directory_path() / ("app-themes-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(root_ / "program");
    fs::create_directories(root_ / "user");
    test_app().themes_dirs.clear();
    test_app().themes_dirs.push_back(qstring((root_ / "program").string().c_str()));
    test_app().themes_dirs.push_back(qstring((root_ / "user").string().c_str()));
  }
  void TearDown() override
  {
    test_app().themes_dirs.clear();
    test_app().setStyleSheet(QString());
    if ( ui_main_window_t *window = test_app().main_window() )
      window->clear_theme_icons();
    fs::remove_all(root_);
  }
  void put(const char *dir, const char *theme, const char *file, const std::string &text)
  {
    fs::create_directories(root_ / dir / theme);
    write_file(root_ / dir / theme / file, text);
  }
  // Draws a small PNG icon into the theme folder.
  void put_icon(const char *dir, const char *theme, const char *file)
  {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.fillRect(2, 2, 12, 12, Qt::darkCyan);
    painter.end();
    fs::create_directories(root_ / dir / theme / "icons");
    ASSERT_TRUE(pixmap.save(QString::fromStdString((root_ / dir / theme / "icons" / file).string())));
  }

  fs::path root_;
};

TEST_F(AppThemes, LoadingSearchesTheApplicationsThemesDirectories)
{
  put("program", "plain", "theme.css", "QLabel { color: red; }");
  put("user", "plain", "user.css", "QLabel { color: blue; }");
  theme_t theme;
  theme.name = "plain";
  qstring error;
  ASSERT_TRUE(load_theme_stylesheets(&theme, &error)) << error.c_str();
  EXPECT_EQ(theme.theme_css, "QLabel { color: red; }");
  EXPECT_EQ(theme.user_css, "QLabel { color: blue; }");
  theme.name = "none";
  EXPECT_FALSE(load_theme_stylesheets(&theme, &error));
  EXPECT_EQ(error, "Theme \"none\" not found");
}

TEST_F(AppThemes, ApplyingAThemeSetsTheSheetAndRefillsTheThemeIcons)
{
  ui_main_window_t *window = test_app().main_window();
  ASSERT_NE(window, nullptr);
  put_icon("program", "iconic", "refresh.png");
  put("program", "iconic", "theme.css",
      "@def icons $RELPATH/icons;\n"
      "ui_main_window_t {\n"
      "  themeicon-refresh: url(${icons}/refresh.png);\n"
      "  themeicon_missing: \"${icons}/missing.png\";\n"
      "}\n"
      "QLabel { color: @darken(#808080, 200); }\n");
  theme_t theme;
  theme.name = "iconic";
  theme.extra_css = "QToolTip { color: black; }";
  qstring error;
  ASSERT_TRUE(load_theme_stylesheets(&theme, &error)) << error.c_str();

  // An icon left from an earlier theme is forgotten.
  window->handleUnknownStyleProperty("themeicon-stale", QString::fromStdString((root_ / "program" / "iconic" / "icons" / "refresh.png").string()));
  ASSERT_GE(window->theme_icon_id("stale"), 0);

  test_app().apply_stylesheet(theme);
  EXPECT_EQ(test_app().styleSheet(), join_theme_stylesheets(theme, theme_join_user | theme_join_extra));
  EXPECT_TRUE(test_app().styleSheet().contains("QLabel { color: #404040; }"));
  EXPECT_EQ(window->theme_icon_id("stale"), -1);
  const int32_t id = window->theme_icon_id("refresh");
  ASSERT_GE(id, 0);
  EXPECT_FALSE(test_app().icon_by_id(id).pixmap(16, 16).isNull());
}

TEST_F(AppThemes, AMainWindowMadeAfterTheThemeWasSetTakesItsIcons)
{
  put_icon("program", "early", "open.png");
  put("program", "early", "theme.css", "ui_main_window_t { themeicon-open: url($RELPATH/icons/open.png); }");
  theme_t theme;
  theme.name = "early";
  qstring error;
  ASSERT_TRUE(load_theme_stylesheets(&theme, &error)) << error.c_str();
  // As at start-up: the sheet is set on the application before the main window is built.
  test_app().setStyleSheet(join_theme_stylesheets(theme, theme_join_user | theme_join_extra));
  test_main_window_t window;
  const int32_t id = window.theme_icon_id("open");
  ASSERT_GE(id, 0);
  EXPECT_FALSE(test_app().icon_by_id(id).isNull());
}

} // namespace
