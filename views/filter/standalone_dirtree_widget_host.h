// A plain widget that holds one standalone tree widget, its quick filter bar and its status bar, for docking.
#pragma once

#include "ui/object_lifecycle_monitor.h"
#include "ui/view_interfaces.h"

#include <QWidget>

class standalone_dirtree_widget_t;

// Lays out the tree widget, then its quick filter bar and status bar (those still alive), in a column
// without margins or spacing; takes the widget's title and icon. Promises: the focus it receives goes on to
// the tree widget while that lives; it never deletes the tree widget itself (Qt's parenting does).
class standalone_dirtree_widget_host_t : public QWidget, public dirtree_host_view_t
{
  Q_OBJECT

public:
  explicit standalone_dirtree_widget_host_t(standalone_dirtree_widget_t *widget, QWidget *parent = nullptr);

  // The hosted tree widget, null once it is gone.
  [[nodiscard]] standalone_dirtree_widget_t *hosted_widget() const;
  [[nodiscard]] dirtree_view_t *hosted_tree() const override;

protected:
  void focusInEvent(QFocusEvent *event) override;

private:
  object_lifecycle_monitor_t hosted_;
};
