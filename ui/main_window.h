// The base of the application's main window: the receiver of queued GUI-thread requests.
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

public slots:
  // Runs the application's queued GUI-thread requests.
  void exec_requests();

private:
  QMetaMethod exec_requests_method_; // this window's exec_requests(), looked up once
};
