// The client's desktop as the UI suite stands it in: its default desktop and the views its factories make.
#pragma once

#include "core/json_value.h"

#include <QFrame>
#include <QStringList>

#include <vector>

// The client's default desktop: "Arkive files" and "Local files" tabs left of "Worklists" and "Commits" tabs
// (30 and 70 per cent), "Log" below (80 and 20 per cent), maximized, focus on "Arkive files", seven toolbars.
extern const char default_desktop_text[];
// The five names the default desktop places, in registration order of their factories.
[[nodiscard]] const QStringList &default_desktop_names();

// A view of the desktop: a focusable core widget titled by its desktop name that draws a few rows. It keeps one
// configuration member, "sort" (written when not 0), and counts the framework events it hears.
class desktop_test_view_t : public QFrame
{
  Q_OBJECT

public:
  explicit desktop_test_view_t(const QString &name);

  int sort = 0;        // the configuration member
  int saves = 0;       // ISaveStateEvent heard
  int closings = 0;    // event 2002 heard
  int configured = 0;  // ISetWidgetConfigEvent heard
  // While set, every view appends "save <title>" and "close <title>" as it hears those events (not owned).
  static std::vector<QString> *journal;

public slots:
  void form_activate() {}
  void form_deactivate() {}

protected:
  bool event(QEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
};

// How many views the factory of a name made so far.
[[nodiscard]] int desktop_views_made(const QString &name);
// Registers the factories of the five names (once; the suite's application object does it).
void register_desktop_test_factories();
