// The About box: its widgets, the version text's rule and cache, and a real click on Ok.
#include "client/views/about_dialog.h"
#include "tests/client/client_session.h"
#include "tests/ui/app/screenshots.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AboutBox, VersionRule)
{
  const struct
  {
    const char *raw;
    const char *shown;
  } rows[] = {
    {"1.2.3.456", "1.2.30456"}, // three characters after the last ".": it becomes "0"
    {"1.2.3.0456", "1.2.30456"}, // four: it is removed
    {"1.2.3.4", "1.2.304"},
    {"10.0.0.12345", "10.0.012345"},
    {"1.", "10"},
    {"7", "?"}, // no "."
    {"", "?"},
    {nullptr, "?"}, // no version at all
  };
  for ( const auto &row : rows )
  {
    SCOPED_TRACE(row.raw != nullptr ? row.raw : "(none)");
    EXPECT_STREQ(file_version_text(row.raw).c_str(), row.shown);
  }
}

TEST(AboutBox, TheVersionIsReadOnce)
{
  file_version_cache_t cache;
  int reads = 0;
  const auto reader = [&reads] {
    ++reads;
    return "3.1.4.159";
  };
  EXPECT_STREQ(cache.get(reader).c_str(), "3.1.40159");
  EXPECT_STREQ(cache.get(reader).c_str(), "3.1.40159");
  EXPECT_EQ(reads, 1);

  const qstring &program = read_file_version_string();
  EXPECT_FALSE(program.empty());
  EXPECT_STRNE(program.c_str(), "?");
  EXPECT_EQ(&read_file_version_string(), &program);
}

TEST(AboutBox, TheActionRow)
{
  ui_action_t *action = find_ui_action("about");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->qaction()->text(), QStringLiteral("About program..."));
  EXPECT_FALSE(action->qaction()->icon().isNull());
  EXPECT_EQ(action->widget_kinds, ~uint64_t(0));
  EXPECT_EQ(action->refresh_mask, 0u);
}

TEST(AboutBox, ShowsTheProductAndVersionAndOkClosesIt)
{
  QString title;
  QStringList texts;
  bool copyright = false;
  bool no_close = false;
  bool no_help = false;
  int buttons = 0;
  bool acted = false;
  QTimer timer;
  timer.setInterval(5);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto *dialog = qobject_cast<about_dialog_t *>(QApplication::activeModalWidget());
    if ( dialog == nullptr || !dialog->isActiveWindow() || acted )
      return;
    acted = true;
    timer.stop();
    title = dialog->windowTitle();
    for ( QLabel *label : dialog->findChildren<QLabel *>() )
      if ( !label->text().isEmpty() )
        texts << label->text();
    copyright = dialog->findChild<QLabel *>(QStringLiteral("copyright")) != nullptr;
    no_close = !dialog->windowFlags().testFlag(Qt::WindowCloseButtonHint);
    no_help = !dialog->windowFlags().testFlag(Qt::WindowContextHelpButtonHint);
    auto *box = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    ASSERT_NE(box, nullptr);
    buttons = int(box->buttons().size());
    save_screenshot(*dialog, QStringLiteral("shown"));
    QPushButton *ok = box->button(QDialogButtonBox::Ok);
    ASSERT_NE(ok, nullptr);
    QTest::mouseClick(ok, Qt::LeftButton, {}, ok->rect().center());
  });
  timer.start();
  EXPECT_EQ(run_about_action(nullptr), 1);
  ASSERT_TRUE(acted);
  EXPECT_EQ(title, QStringLiteral("About"));
  ASSERT_GE(texts.size(), 4);
  EXPECT_TRUE(texts.contains(QStringLiteral("<b>ZUK Kollab - Collaborative reverse-engineering work</b>")));
  const QString version = QStringLiteral("Version ") + QString::fromUtf8(read_file_version_string().c_str())
                          + QStringLiteral(" Linux x86-64 (64-bit address size)");
  EXPECT_TRUE(texts.contains(version)) << texts.join(QLatin1Char('|')).toStdString();
  EXPECT_TRUE(copyright);
  EXPECT_TRUE(no_close);
  EXPECT_TRUE(no_help);
  EXPECT_EQ(buttons, 1);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
