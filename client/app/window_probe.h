// What a test harness may ask the running program about its windows. Compiled in only by test builds
// (AKUI_TEST_HOOKS): an installed program has no such channel.
#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QLocalServer>
#include <QObject>

class QLocalSocket;

// Listens on the local socket that the environment variable AKUI_PROBE names, when it names one. A client
// writes "snapshot\n" and reads one line back: a compact JSON object describing every visible top-level window
// (see describe_visible_windows). Other lines answer {"error": ...}.
// With the channel open, every focus change and every click and key the windows get is written to standard
// error as one "probe:" line, so that a failing run shows who moved the focus and which window took the input.
class window_probe_t : public QObject
{
  Q_OBJECT

public:
  window_probe_t();
  ~window_probe_t() override;

private:
  void accept_clients();
  void answer(QLocalSocket *client);
  bool eventFilter(QObject *watched, QEvent *event) override;
  void report_focus(QWidget *old, QWidget *now) const;

  QLocalServer server_;
  QElapsedTimer clock_;
};

// Every visible top-level window, topmost last: {"windows": [{"title", "class", "active", "modal", "rect",
// "widgets": [...]}], "focus": <class and text of the focus widget>}. Each widget entry carries its "class",
// "kind" (the standard class it is one of: "QLabel", "QCheckBox", "QLineEdit", "QTreeView", ...), "name", "rect" in
// screen coordinates, "enabled", "focus" and what it shows: "text" (labels, buttons, line edits,
// combo boxes, dock and group titles), "checked" for checkable buttons, "items" for menus, menu bars and tab bars
// (the highlighted one "active"), "headers" and "rows" (texts per column, "bold", "depth", "selected", "expanded",
// "rect": the part in sight, left out when none is) for item views.
[[nodiscard]] QJsonObject describe_visible_windows();
