// The base of every dialog, the control object around a modal run, and the framework's plain-text label.
#pragma once

#include "core/qstring.h"
#include "ui/object_lifecycle_monitor.h"
#include "ui/widget_factory.h"

#include <QDialog>
#include <QLabel>

#include <cstdint>

class ui_action_t;

// A dialog that remembers its geometry per window title for the life of the process, records when its
// modal run started, and can take in the application's actions so that their shortcuts work inside it.
// Promises: the given parent is kept only when it is visible; exec_start_time is 0 before the first run.
class ui_dialog_t : public QDialog
{
  Q_OBJECT

public:
  explicit ui_dialog_t(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
  ~ui_dialog_t() override;

  // Monotonic nanoseconds at which the latest modal run started; 0 before the first.
  [[nodiscard]] int64_t exec_start_time() const { return exec_start_time_; }
  // Adds to the dialog's window the QAction of every registered action that accepts_imported_action
  // accepts.
  void import_actions() const;
  // Whether import_actions takes the action in; the base takes none.
  [[nodiscard]] virtual bool accepts_imported_action(ui_action_t *action) const;
  // Appends the key the geometry is remembered under: the window title in UTF-8. Empty: nothing is kept.
  virtual void geometry_key(qstring *out) const;

public slots:
  // Runs the dialog modally, restoring and afterwards remembering its geometry when the application
  // keeps dialog geometry and the key is not empty. QDialog's result.
  int exec() override;

private:
  int64_t exec_start_time_ = 0;
};

// Lives around one modal run: with flag 1 it remembers the focus widget (or the focused core widget when
// nothing has the focus) and gives the focus back to it when released, unless that widget died meanwhile.
class ui_dialog_exec_ctl_t : public ui_owned_object_t
{
public:
  explicit ui_dialog_exec_ctl_t(int32_t flags);
  ~ui_dialog_exec_ctl_t() override;
  ui_dialog_exec_ctl_t(const ui_dialog_exec_ctl_t &) = delete;
  ui_dialog_exec_ctl_t &operator=(const ui_dialog_exec_ctl_t &) = delete;

private:
  object_lifecycle_monitor_t focus_;
  int32_t flags_;
};

// The framework's label: plain text only.
class ui_label_t : public QLabel
{
  Q_OBJECT

public:
  explicit ui_label_t(QWidget *parent = nullptr);
  explicit ui_label_t(const QString &text, QWidget *parent = nullptr);
};

// Monotonic nanoseconds, the clock of exec_start_time.
[[nodiscard]] int64_t monotonic_ns();
