// Screenshots of widget tests, written under the build tree.
#include "tests/ui/app/screenshots.h"

#include <QDir>
#include <QPixmap>
#include <QWidget>
#include <gtest/gtest.h>

QString save_screenshot(QWidget &widget, const QString &step)
{
  QString name = step;
  if (const auto *info = ::testing::UnitTest::GetInstance()->current_test_info())
    name = QString("%1.%2-%3").arg(info->test_suite_name(), info->name(), step);
  // Parameterised tests carry '/' in their names.
  name.replace('/', '_');
  const QDir dir(QStringLiteral(AKUI_SCREENSHOT_DIR));
  if (!dir.mkpath("."))
    return {};
  const QString path = dir.filePath(name + ".png");
  return widget.grab().save(path, "PNG") ? path : QString();
}
