// File row states: revision texts, styles and icon states from the server record and the opened file, and
// the composed state icons with their overlays, one per key.
#include "client/views/file_row_state.h"

#include "client/app/akui_app.h"
#include "tests/client/client_session.h"
#include "views/filter/item_info.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>

namespace {

akui_app_t &app()
{
  return *client_session().app;
}

arkive_file_info_t server_file(const char *path, int32_t revision, int32_t last, uint8_t state = 3)
{
  arkive_file_info_t record;
  record.path = path;
  record.site_revision = revision;
  record.last_revision = last;
  record.action = state;
  return record;
}

worklist_file_t opened_file(const char *path, int32_t base, int32_t second, uint8_t action)
{
  worklist_file_t file;
  file.path = path;
  file.site_revision = base;
  file.last_revision = second;
  file.worklist = 1;
  file.action = action;
  return file;
}

TEST(file_row_look, revision_text_style_and_icon_state_follow_server_and_opened_records)
{
  struct row_t
  {
    const char *name;
    std::optional<arkive_file_info_t> server;
    std::optional<worklist_file_t> opened;
    std::string text;
    uint32_t style;
    int icon_state;
    bool latest;
    const char *icon_path; // null: none
  };
  const row_t rows[] = {
    {"behind the server", server_file("//d/f", 2, 3), {}, "#2/3", row_italic, 0, false, "//d/f"},
    {"at the last revision", server_file("//d/f", 3, 3), {}, "#3", 0, 0, true, "//d/f"},
    {"opened for edit, base older than its second revision", server_file("//d/f", 2, 3), opened_file("//d/f", 2, 3, 3),
     "#2/3", row_bold | row_italic, 3, false, "//d/f"},
    {"opened for edit at the last revision", server_file("//d/f", 3, 3), opened_file("//d/f", 3, 3, 3), "#3", row_bold,
     3, true, "//d/f"},
    {"deleted on the server, even when opened", server_file("//d/f", 2, 2, 2), opened_file("//d/f", 2, 2, 3), "#2",
     row_italic, 2, true, "//d/f"},
    {"a folder record", server_file("//d/sub", 0, 0, 0), {}, "", 0, 0, true, "//d/sub"},
    {"local only, nobody opened it", {}, {}, "", row_grey, 0, true, nullptr},
    {"local only, opened for add", {}, opened_file("//d/f", 0, 0, 1), "#0", row_grey | row_bold, 1, true, "//d/f"},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.name);
    std::set<std::string> asked;
    const auto lookup = [&](const char *path) -> const worklist_file_t * {
      asked.insert(path);
      return row.opened.has_value() ? &*row.opened : nullptr;
    };
    const file_row_look_t look = file_row_look("//d/f", row.server ? &*row.server : nullptr, lookup);
    EXPECT_EQ(std::string(look.revision_text.view()), row.text);
    EXPECT_EQ(look.style, row.style);
    EXPECT_EQ(look.icon_state, row.icon_state);
    EXPECT_EQ(look.latest, row.latest);
    EXPECT_EQ(look.has_icon_path, row.icon_path != nullptr);
    if ( row.icon_path != nullptr )
    {
      EXPECT_EQ(std::string(look.icon_path.view()), row.icon_path);
    }
    if ( row.server.has_value() && row.server->action == server_state_deleted )
    {
      EXPECT_TRUE(asked.empty()) << "no opened-file lookup for a file deleted on the server";
    }
  }
}

// What a composed icon shows, read back from its pixels.
struct icon_parts_t
{
  bool database_base = false;
  std::set<std::string> overlays;
};

bool near(QColor c, const char *expected)
{
  const QColor e(expected);
  return std::abs(c.red() - e.red()) < 24 && std::abs(c.green() - e.green()) < 24 && std::abs(c.blue() - e.blue()) < 24
      && c.alpha() > 200;
}

icon_parts_t parts_of(const QIcon &icon)
{
  const QImage image = icon.pixmap(28, 16).toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(image.size(), QSize(28, 16));
  icon_parts_t parts;
  parts.database_base = near(image.pixelColor(5, 4), "#a9c4ea");
  EXPECT_TRUE(parts.database_base || near(image.pixelColor(5, 4), "#f4f1e8")) << "a base image";
  const std::pair<const char *, std::pair<QPoint, const char *>> probes[] = {
    {"added", {QPoint(17, 6), "#3a8a3e"}},         {"deleted", {QPoint(19, 2), "#b23a32"}},
    {"user_checked_out", {QPoint(19, 3), "#c77d1a"}}, {"process", {QPoint(10, 10), "#7a3fa0"}},
    {"latest_rev", {QPoint(23, 11), "#3a8a3e"}},   {"not_latest_rev", {QPoint(23, 11), "#b23a32"}},
  };
  for ( const auto &[name, probe] : probes )
    if ( near(image.pixelColor(probe.first), probe.second) )
      parts.overlays.insert(name);
  return parts;
}

TEST(file_state_icon, overlays_follow_the_state_in_order_over_the_plain_or_database_base)
{
  app().merges_in_progress.clear();
  app().merges_in_progress.push_back("//d/merge.zdb");
  app().merges_in_progress.push_back("//d/merge.txt");
  struct row_t
  {
    int state;
    bool latest;
    const char *path;
    bool database;
    std::set<std::string> overlays;
  };
  const row_t rows[] = {
    {0, true, nullptr, false, {"latest_rev"}},
    {0, false, "//d/a.txt", false, {"not_latest_rev"}},
    {1, true, "//d/a.txt", false, {"added"}},
    {2, false, "//d/a.txt", false, {"deleted", "not_latest_rev"}},
    {3, true, "//d/a.txt", false, {"user_checked_out", "latest_rev"}},
    {3, true, "//d/merge.zdb", true, {"user_checked_out", "process", "latest_rev"}},
    {3, false, "//d/merge.txt", false, {"user_checked_out", "process", "not_latest_rev"}},
    {2, true, "//d/merge.z64", true, {"deleted", "latest_rev"}},
    {5, true, "//d/b.zdb", true, {"latest_rev"}},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(std::to_string(row.state) + (row.path != nullptr ? row.path : " no path"));
    const QIcon icon = file_state_icon(row.state, row.latest, row.path);
    const icon_parts_t parts = parts_of(icon);
    EXPECT_EQ(parts.database_base, row.database);
    EXPECT_EQ(parts.overlays, row.overlays);
  }
  app().merges_in_progress.clear();
}

TEST(file_state_icon, one_composed_icon_per_key)
{
  EXPECT_EQ(std::string(file_state_icon_key(3, true, true, true).view()), "__cfi__73");
  EXPECT_EQ(std::string(file_state_icon_key(7, false, false, false).view()), "__cfi__0");
  const int32_t first = file_state_icon_id(2, false, "//d/x.txt");
  ASSERT_GT(first, 0);
  EXPECT_EQ(file_state_icon_id(2, false, "//d/other.txt"), first) << "same key, same registered icon";
  EXPECT_EQ(app().icon_by_name("__cfi__2").cacheKey(), app().icon_by_id(first).cacheKey());
  EXPECT_NE(file_state_icon_id(2, true, "//d/x.txt"), first);
  EXPECT_NE(file_state_icon_id(2, false, "//d/x.zdb"), first);
}

TEST(file_row_state, a_row_gets_its_revision_text_style_and_icon)
{
  item_info_t row(2);
  row.set_text(0, "f");
  const arkive_file_info_t record = server_file("//nowhere/f", 2, 3);
  ASSERT_TRUE(describe_file_row_state(&row, "//nowhere/f", &record));
  EXPECT_EQ(std::string(row.texts[0].view()), "f#2/3");
  EXPECT_EQ(row.attributes, row_italic);
  EXPECT_EQ(row.icon, file_state_icon_id(0, false, "//nowhere/f"));
}

} // namespace
