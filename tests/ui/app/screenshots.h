// Screenshots of widget tests: one PNG per step, for a person to look at what a user would see.
#pragma once

#include <QString>

class QWidget;

// Renders the widget (and its children) and writes it as
// "<build tree>/screenshots/<suite>.<test>-<step>.png"; the suite and test are the running test's.
// Answers the path written, or an empty string when the image could not be written.
QString save_screenshot(QWidget &widget, const QString &step);
