// The application object: dirty views, widget kinds and titles, the show settings and path texts.
#include "client/app/akui_app.h"
#include "client/app/arkive_paths.h"
#include "core/registry.h"
#include "tests/client/client_session.h"
#include "ui/log_widget.h"

#include <QElapsedTimer>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Records the masks of the refresh events a widget receives.
class refresh_recorder_t : public QWidget
{
public:
  bool event(QEvent *event) override
  {
    if ( event->type() == refresh_dirty_widgets_event_t::event_type )
      masks.push_back(static_cast<refresh_dirty_widgets_event_t *>(event)->mask);
    return QWidget::event(event);
  }
  std::vector<uint64_t> masks;
};

void wait_ms(int ms)
{
  QElapsedTimer clock;
  clock.start();
  while ( clock.elapsed() < ms )
    QTest::qWait(5);
}

TEST(AppObject, DirtyKindsJoinIntoOneRefreshEventAfterTheDelay)
{
  akui_app_t &app = *client_session().app;
  refresh_recorder_t top;
  auto *child = new refresh_recorder_t;
  child->setParent(&top);
  app.refresh_widgets(0x1, true);
  app.refresh_widgets(0x1, true);
  app.refresh_widgets(0x8, true);
  EXPECT_EQ(app.pending_refresh_mask(), 0x9u);
  wait_ms(dirty_refresh_delay_ms / 2);
  EXPECT_TRUE(top.masks.empty()) << "the event came before the delay was over";
  wait_ms(dirty_refresh_delay_ms + 100);
  EXPECT_EQ(top.masks, std::vector<uint64_t>({0x9}));
  EXPECT_EQ(child->masks, std::vector<uint64_t>({0x9}));
  EXPECT_EQ(app.pending_refresh_mask(), 0u);
  // Nothing more comes by itself.
  wait_ms(dirty_refresh_delay_ms + 50);
  EXPECT_EQ(top.masks.size(), 1u);
}

TEST(AppObject, ClearedKindsLeaveThePendingMask)
{
  akui_app_t &app = *client_session().app;
  refresh_recorder_t top;
  app.refresh_widgets(0x7, true);
  app.refresh_widgets(0x2, false);
  EXPECT_EQ(app.pending_refresh_mask(), 0x5u);
  wait_ms(dirty_refresh_delay_ms + 100);
  EXPECT_EQ(top.masks, std::vector<uint64_t>({0x5}));
}

TEST(AppObject, WidgetKinds)
{
  akui_app_t &app = *client_session().app;
  QWidget plain;
  EXPECT_EQ(app.widget_kind_of(nullptr), -1);
  EXPECT_EQ(app.widget_kind_of(client_session().log), akui_kind_log);
  EXPECT_EQ(app.widget_kind_of(&plain), -1);
  for ( int kind = -2; kind <= 17; ++kind )
    EXPECT_EQ(app.is_chooser_kind(kind), kind >= 3 && kind <= 9) << kind;
}

TEST(AppObject, HistoryAndCommitWindowsShareTheirGenericTitle)
{
  akui_app_t &app = *client_session().app;
  const struct
  {
    const char *title;
    const char *generic;
  } cases[] = {
    {"History of //a/b.zdb", "History of "},
    {"Commit #12", "Commit #"},
    {"history of //a", "history of //a"},
    {"Worklists", "Worklists"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.title);
    QWidget widget;
    widget.setWindowTitle(QString::fromUtf8(c.title));
    QString generic;
    EXPECT_TRUE(app.query_generic_title(generic, &widget));
    EXPECT_EQ(generic.toStdString(), c.generic);
  }
}

TEST(AppObject, ShowSettingsAreStoredAndRefreshTheirViews)
{
  akui_app_t &app = *client_session().app;
  const bool deleted = app.show_deleted_files();
  const bool ignored = app.show_ignored_files();
  EXPECT_EQ(app.toggle_show_deleted_files(), !deleted);
  EXPECT_EQ(registry_int("ShowDeletedFiles", false, -1, "Config"), deleted ? 0 : 1);
  EXPECT_NE(app.pending_refresh_mask() & 0x1, 0u);
  EXPECT_EQ(app.toggle_show_ignored_files(), !ignored);
  EXPECT_EQ(registry_int("ShowIgnoredFiles", false, -1, "Config"), ignored ? 0 : 1);
  EXPECT_NE(app.pending_refresh_mask() & 0x2, 0u);
  // Setting the same value again changes and refreshes nothing.
  app.refresh_widgets(all_widget_kinds, false);
  app.set_show_deleted_files(!deleted);
  app.set_show_ignored_files(!ignored);
  EXPECT_EQ(app.pending_refresh_mask(), 0u);
  app.set_show_deleted_files(deleted);
  app.set_show_ignored_files(ignored);
  EXPECT_EQ(registry_int("ShowDeletedFiles", false, -1, "Config"), deleted ? 1 : 0);
  app.refresh_widgets(all_widget_kinds, false);
}

TEST(AppObject, OneDefaultDirectoryServesBothKinds)
{
  akui_app_t &app = *client_session().app;
  qstring dir;
  app.set_default_dir(0, "/home/ann/work");
  for ( const int kind : {0, 1} )
  {
    EXPECT_TRUE(app.get_default_dir(&dir, kind));
    EXPECT_STREQ(dir.c_str(), "/home/ann/work");
  }
  for ( const char *empty : {static_cast<const char *>(nullptr), ""} )
  {
    app.set_default_dir(1, "/x");
    app.set_default_dir(0, empty);
    EXPECT_FALSE(app.get_default_dir(&dir, 1));
    EXPECT_STREQ(dir.c_str(), "");
  }
}

TEST(AppObject, ServerPathsBecomeLocalPathsInsideTheSiteOnly)
{
  akui_app_t &app = *client_session().app;
  const qstring saved_root = app.server_info.root_dir;
  const struct
  {
    const char *root;
    const char *path;
    const char *local; // null: refused
  } cases[] = {
    {"/work/site", "//a/b.zdb", "/work/site/a/b.zdb"},
    {"/work/site/", "//a/b", "/work/site/a/b"},
    {"/work/site", "//a//b/", "/work/site/a/b"},
    {"/work/site", "//", "/work/site"},
    {"/work/site", "", "/work/site"},
    {"/work/site", "//a/.../b..", "/work/site/a/.../b.."},
    {"/work/site", "//a/../../etc/passwd", nullptr},
    {"/work/site", "//..", nullptr},
    {"/work/site", "//./x", nullptr},
    {"/work/site", "//a/..", nullptr},
    {"/work/site", "//a\\..\\..\\b", nullptr},
    {"/work/site", "//a\\b", "/work/site/a/b"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.path);
    app.server_info.root_dir = c.root;
    qstring local("untouched");
    EXPECT_EQ(app.to_local_path(&local, c.path), c.local != nullptr);
    EXPECT_STREQ(local.c_str(), c.local != nullptr ? c.local : "untouched");
  }
  app.server_info.root_dir = saved_root;
}

TEST(ArkivePaths, JoinAndSplit)
{
  const struct
  {
    std::initializer_list<const char *> parts;
    const char *joined;
  } joins[] = {
    {{"/a", "b"}, "//a/b"},
    {{"//x", "y"}, "//x/y"},
    {{"a", "/b"}, "//b"},
    {{"//x/", "y"}, "//x/y"},
    {{"//x", "//y", "z"}, "//y/z"},
    {{}, ""},
  };
  for ( const auto &c : joins )
    EXPECT_STREQ(join_arkive_path(c.parts).c_str(), c.joined);

  const struct
  {
    const char *path;
    const char *folder;
    const char *name;
  } splits[] = {
    {"//dir/file", "//dir", "file"},
    {"//file", "//", "file"},
    {"//a/b/c.zdb", "//a/b", "c.zdb"},
    {"//a/b/", "//a/b", ""},
    {"name", "", "name"},
  };
  for ( const auto &c : splits )
  {
    SCOPED_TRACE(c.path);
    qstring folder;
    qstring name;
    split_arkive_path(&folder, &name, c.path);
    EXPECT_STREQ(folder.c_str(), c.folder);
    EXPECT_STREQ(name.c_str(), c.name);
  }
  qvector<qstring> texts;
  EXPECT_STREQ(join_texts(texts, ", ").c_str(), "");
  texts.push_back(qstring("a"));
  texts.push_back(qstring("b"));
  EXPECT_STREQ(join_texts(texts, ", ").c_str(), "a, b");
}

} // namespace
