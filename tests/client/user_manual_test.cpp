// The user manual: the build renders it beside the program, and Help > AKUI manual opens that file.
#include "client/app/akui_main_window.h"
#include "core/directories.h"
#include "tests/client/client_session.h"
#include "tests/support/file_contents.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

// Receives the files the desktop would open.
class file_url_catcher_t : public QObject
{
  Q_OBJECT

public:
  file_url_catcher_t() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
  ~file_url_catcher_t() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
  std::vector<std::string> opened;

public slots:
  void open(const QUrl &url) { opened.push_back(url.toLocalFile().toStdString()); }
};

std::string manual_path()
{
  qstring folder;
  install_dir_string(&folder);
  return (std::filesystem::path(folder.c_str()) / "akui_user_manual.pdf").string();
}

// Occurrences of a text in the bytes.
size_t count_of(const std::string &bytes, const std::string &text)
{
  size_t count = 0;
  for ( size_t at = bytes.find(text); at != std::string::npos; at = bytes.find(text, at + text.size()) )
    ++count;
  return count;
}

TEST(UserManual, TheBuildRendersThePdfBesideTheProgram)
{
  const std::string pdf = read_file(manual_path());
  ASSERT_FALSE(pdf.empty()) << manual_path();
  EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
  EXPECT_NE(pdf.find("%%EOF"), std::string::npos) << "a complete file";
  // The whole guide, not a first page alone.
  EXPECT_GE(count_of(pdf, "/Type /Page\n"), 2u);
  // The title, as the writer stores it (UTF-16 with a byte-order mark).
  const std::string title = std::string("\xFE\xFF") + std::string("\0A\0K\0U\0I", 8);
  EXPECT_NE(pdf.find(title), std::string::npos);
}

TEST(UserManual, HelpOpensTheManualBesideTheProgram)
{
  file_url_catcher_t catcher;
  QMenuBar *bar = client_session().window->menuBar();
  ASSERT_NE(bar, nullptr);
  QAction *entry = nullptr;
  for ( QAction *menu : bar->actions() )
    if ( menu->menu() != nullptr && menu->text().remove(QLatin1Char('&')) == QStringLiteral("Help") )
      for ( QAction *action : menu->menu()->actions() )
        if ( action->text() == QStringLiteral("AKUI manual") )
          entry = action;
  ASSERT_NE(entry, nullptr) << "Help > AKUI manual";
  entry->trigger();
  ASSERT_EQ(catcher.opened.size(), 1u);
  EXPECT_EQ(std::filesystem::path(catcher.opened[0]), std::filesystem::path(manual_path()));
  EXPECT_TRUE(std::filesystem::is_regular_file(catcher.opened[0]));
}

} // namespace

#include "user_manual_test.moc"
