// The base of the application's main window: the receiver of queued GUI-thread requests and the keeper of theme icons.
#pragma once

#include <QMainWindow>
#include <QMetaMethod>

#include <cstdint>
#include <map>
#include <string>

// The QMainWindow that the application's window derives from.
// Promises: post_exec_requests may be called from any thread; everything else belongs to the GUI thread.
class ui_main_window_t : public QMainWindow
{
  Q_OBJECT

public:
  // Looks up its own "exec_requests()" slot (internal error 40438 when the class lacks it).
  explicit ui_main_window_t(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
  ~ui_main_window_t() override;

  // ---- GUI-thread requests ------------------------------------------------------------------------
  // Invokes exec_requests() on this window through a queued connection; true when the call was posted.
  // Any thread.
  bool post_exec_requests();

  // ---- Theme icons ------------------------------------------------------------------------------------
  // The application icon id that the style sheet's "themeicon" property of that name registered, -1 when unknown.
  [[nodiscard]] int32_t theme_icon_id(const char *name) const;
  // Forgets every theme icon (before a style sheet is applied, whose "themeicon" properties fill the map again).
  void clear_theme_icons();

public slots:
  // Runs the application's queued GUI-thread requests.
  void exec_requests();
  // Takes a style-sheet property the style engine does not know. A key "themeicon" followed by '-' or
  // '_' and a name (possibly empty) is a theme icon: the value is its file; a loadable icon is registered
  // with the application under the name and remembered. True for every such key, false for any other.
  bool handleUnknownStyleProperty(QString key, QString value);

private:
  QMetaMethod exec_requests_method_; // this window's exec_requests(), looked up once
  std::map<std::string, int32_t> theme_icons_; // UTF-8 name (byte-wise order) -> application icon id
};
