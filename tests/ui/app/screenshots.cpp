// Screenshots of widget tests, written under the build tree.
#include "tests/ui/app/screenshots.h"

#include "test_paths.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QPixmap>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// "<build tree>/screenshots/<suite>.<test>-<step>.png", its folder made; empty when it cannot be made.
QString screenshot_path(const QString &step)
{
  QString name = step;
  if (const auto *info = ::testing::UnitTest::GetInstance()->current_test_info())
    name = QString("%1.%2-%3").arg(info->test_suite_name(), info->name(), step);
  // Parameterised tests carry '/' in their names.
  name.replace('/', '_');
  const QDir dir(QStringLiteral(AKUI_SCREENSHOT_DIR));
  if (!dir.mkpath("."))
    return {};
  return dir.filePath(name + ".png");
}

} // namespace

QString save_screenshot(QWidget &widget, const QString &step)
{
  const QString path = screenshot_path(step);
  return !path.isEmpty() && widget.grab().save(path, "PNG") ? path : QString();
}

QString save_screen_screenshot(const QString &step)
{
  QScreen *screen = QGuiApplication::primaryScreen();
  const QPixmap shot = screen != nullptr ? screen->grabWindow(0) : QPixmap();
  const QString path = shot.isNull() ? QString() : screenshot_path(step);
  return !path.isEmpty() && shot.save(path, "PNG") ? path : QString();
}
