// The host of a standalone tree widget.
#include "views/filter/standalone_dirtree_widget_host.h"

#include "views/filter/quick_filter_widget.h"
#include "views/filter/standalone_dirtree_widget.h"

#include <QStatusBar>
#include <QVBoxLayout>

standalone_dirtree_widget_host_t::standalone_dirtree_widget_host_t(standalone_dirtree_widget_t *widget, QWidget *parent)
  : QWidget(parent)
{
  hosted_.watch_object(widget);
  setWindowTitle(widget->windowTitle());
  setWindowIcon(widget->windowIcon());
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(widget);
  if ( quick_filter_widget_t *bar = widget->quick_filter() )
    layout->addWidget(bar);
  if ( QStatusBar *status = widget->status_bar() )
    layout->addWidget(status);
}

standalone_dirtree_widget_t *standalone_dirtree_widget_host_t::hosted_widget() const
{
  return hosted_.watched_as<standalone_dirtree_widget_t>();
}

dirtree_view_t *standalone_dirtree_widget_host_t::hosted_tree() const
{
  return hosted_widget();
}

void standalone_dirtree_widget_host_t::focusInEvent(QFocusEvent *event)
{
  QWidget::focusInEvent(event);
  if ( standalone_dirtree_widget_t *widget = hosted_widget() )
    widget->setFocus(Qt::OtherFocusReason);
}
