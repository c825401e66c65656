// Screenshots of widget tests: one PNG per step, for a person to look at what a user would see.
#pragma once

#include <QString>

class QWidget;

// Renders the widget (and its children) and writes it as
// "<build tree>/screenshots/<suite>.<test>-<step>.png"; the suite and test are the running test's.
// Answers the path written, or an empty string when the image could not be written.
QString save_screenshot(QWidget &widget, const QString &step);
// The same for the whole primary screen as a display shows it (every window at its place); on a platform
// that cannot grab the screen, an empty string.
QString save_screen_screenshot(const QString &step);
