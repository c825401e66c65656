// The main window's share of GUI-thread requests and its theme icons from style-sheet properties.
#include "tests/ui/app/test_app.h"

#include <QFile>
#include <QMetaObject>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// An exec_requests() call posted from another thread runs the queue on the GUI thread.
TEST(MainWindowRequests, APostFromAnyThreadRunsTheQueueOnTheGuiThread)
{
  struct where_request_t : exec_request_t
  {
    int32_t run() override
    {
      on_gui = QThread::currentThread() == QCoreApplication::instance()->thread();
      return 0;
    }
    std::atomic<bool> on_gui {false};
  } request;
  (void)execute_request(&request, exec_flag_no_wait);
  std::thread([] { EXPECT_TRUE(test_app().main_window()->post_exec_requests()); }).join();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_TRUE(request.on_gui);
  EXPECT_EQ(test_app().queued_entries(), 0u);
}

TEST(MainWindowThemeIcons, ThemeiconPropertiesRegisterLoadableIconsByName)
{
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString icon_file = dir.filePath(QStringLiteral("refresh.svg"));
  QFile file(icon_file);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\">"
             "<rect width=\"16\" height=\"16\" fill=\"#3a7\"/></svg>");
  file.close();
  const QString missing = dir.filePath(QStringLiteral("missing.svg"));

  ui_main_window_t &window = *test_app().main_window();
  struct
  {
    const char *key;
    QString value;
    bool taken;
    const char *name; // registered under this name, or null when nothing is
  } const cases[] = {
    {"themeicon-refresh", icon_file, true, "refresh"},
    {"themeicon_open", icon_file, true, "open"},
    {"themeicon-", icon_file, true, ""},
    {"themeicon-gone", missing, true, nullptr},
    {"themeicon", icon_file, false, nullptr},
    {"themeiconX-refresh2", icon_file, false, nullptr},
    {"icon-refresh3", icon_file, false, nullptr},
  };
  for ( const auto &c : cases )
  {
    bool taken = false;
    // Called the way the style sheet's loader reaches it: by signature, through the meta-object.
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "handleUnknownStyleProperty", Qt::DirectConnection,
                                          Q_RETURN_ARG(bool, taken), Q_ARG(QString, QString::fromLatin1(c.key)),
                                          Q_ARG(QString, c.value)));
    EXPECT_EQ(taken, c.taken) << c.key;
    if ( c.name == nullptr )
      continue;
    const int32_t id = window.theme_icon_id(c.name);
    ASSERT_GE(id, 0) << c.key;
    EXPECT_FALSE(test_app().icon_by_id(id).isNull()) << c.key;
  }
  EXPECT_EQ(window.theme_icon_id("gone"), -1);
  EXPECT_EQ(window.theme_icon_id("refresh2"), -1);
  EXPECT_EQ(window.theme_icon_id("unknown"), -1);

  window.clear_theme_icons();
  EXPECT_EQ(window.theme_icon_id("refresh"), -1);
  EXPECT_EQ(window.theme_icon_id(""), -1);
}

} // namespace
