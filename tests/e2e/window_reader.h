// What the program's windows show, read through the probe channel of a test build.
#pragma once

#include <QJsonObject>
#include <QRect>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

// One row of a list or tree as a user sees it.
struct shown_row_t
{
  QStringList texts;
  bool bold = false;
  bool selected = false;
  int depth = 0;
  QRect rect; // empty when the row is scrolled out of sight
};

// One widget a user can read or act on.
struct shown_widget_t
{
  QString kind; // the standard class it is one of ("QLabel", "QCheckBox", ...)
  QString cls;  // its own class
  QString name;
  QString text;
  QRect rect;
  bool enabled = false;
  bool focus = false;
  bool checked = false;
  QJsonObject raw; // every field the program sent ("items", "headers", ...)
  std::vector<shown_row_t> rows;
};

// One visible top-level window.
struct shown_window_t
{
  QString title;
  QString cls;
  bool active = false;
  bool modal = false;
  QRect rect;
  std::vector<shown_widget_t> widgets;

  // The first widget of the standard class (any when empty) whose text is `text` ("&" ignored), or null.
  [[nodiscard]] const shown_widget_t *find(const QString &kind, const QString &text) const;
  // Every widget of the standard class, in the order the program listed them.
  [[nodiscard]] std::vector<const shown_widget_t *> all(const QString &kind) const;
};

// Every visible window, topmost last.
struct shown_screen_t
{
  std::vector<shown_window_t> windows;
  QString focus; // the class of the widget with the keyboard focus, empty when no window is active

  // The window with the title, or null.
  [[nodiscard]] const shown_window_t *window(const QString &title) const;
  // The first window of the class, or null.
  [[nodiscard]] const shown_window_t *window_of_class(const QString &cls) const;
  // Every visible text of every window, one per line: what a failing step prints.
  [[nodiscard]] std::string visible_texts() const;
};

// A connection to the program's probe socket.
class window_reader_t
{
public:
  window_reader_t() = default;
  ~window_reader_t();
  window_reader_t(const window_reader_t &) = delete;
  window_reader_t &operator=(const window_reader_t &) = delete;

  // Connects to the socket at path; false while the program has not opened it yet.
  bool connect_to(const std::string &path);
  void disconnect();
  // What the windows show now; empty when the program does not answer (it ended, or is busy past the limit).
  [[nodiscard]] shown_screen_t snapshot();

private:
  int fd_ = -1;
};
