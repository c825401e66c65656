// The drag title of a floating window: a thin strip above its docks that grows while hovered and drags them.
#include "ui/docks/dock_drag_title.h"

#include "ui/app_base.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_containers.h"
#include "ui/docks/dock_drag.h"
#include "ui/widget_factory.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>

namespace {

const char drag_hint[] = QT_TRANSLATE_NOOP("DockAreaDragTitle", "Drag this title to dock somewhere else");

} // namespace

DockAreaDragTitle::DockAreaDragTitle(DockArea *owner) : QWidget(owner), area(owner)
{
  app_t *app = current_app();
  const QString text = QCoreApplication::translate("DockAreaDragTitle", drag_hint);
  label = app != nullptr ? app->get_widget_factory()->new_label(text) : new QLabel(text);
  label->setParent(this);
  exit_button = new QPushButton(QString(), this);
  exit_button->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, this));
  exit_button->hide();
  // Leaving full screen is the application's: its slot is found by name.
  connect(exit_button, &QPushButton::clicked, this, [] {
    if ( QObject *application = current_app() )
      if ( application->metaObject()->indexOfSlot("leave_full_screen()") >= 0 )
        QMetaObject::invokeMethod(application, "leave_full_screen", Qt::DirectConnection);
  });
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  auto *box = new QHBoxLayout(this);
  box->setContentsMargins(6, 0, 6, 0);
  box->addWidget(label);
  box->addStretch();
  box->addWidget(exit_button);
  setAutoFillBackground(true);
  setAttribute(Qt::WA_StyledBackground);
  hover_timer.setSingleShot(true);
  hover_timer.setInterval(hover_delay_ms);
  collapse_timer.setSingleShot(true);
  collapse_timer.setInterval(collapse_delay_ms);
  connect(&hover_timer, &QTimer::timeout, this, &DockAreaDragTitle::expand);
  connect(&collapse_timer, &QTimer::timeout, this, &DockAreaDragTitle::collapse);
  resize(width(), collapsed_height);
}

void DockAreaDragTitle::expand()
{
  if ( expanded_ )
    return;
  expanded_ = true;
  const QMargins margins = layout()->contentsMargins();
  int height = label->sizeHint().height() + margins.top() + margins.bottom();
  const bool full_screen = area != nullptr && area->isFullScreen();
  if ( full_screen )
    height = std::max(height, exit_button->sizeHint().height());
  resize(width(), height);
}

void DockAreaDragTitle::expand_for_a_while()
{
  expand();
  collapse_timer.start();
}

void DockAreaDragTitle::collapse()
{
  hover_timer.stop();
  collapse_timer.stop();
  if ( !expanded_ )
    return;
  expanded_ = false;
  resize(width(), collapsed_height);
}

void DockAreaDragTitle::enterEvent(QEvent *event)
{
  QWidget::enterEvent(event);
  collapse_timer.stop();
  hover_timer.start();
}

void DockAreaDragTitle::leaveEvent(QEvent *event)
{
  QWidget::leaveEvent(event);
  collapse();
}

void DockAreaDragTitle::resizeEvent(QResizeEvent *event)
{
  QWidget::resizeEvent(event);
  const bool full_screen = area != nullptr && area->isFullScreen();
  if ( expanded_ )
  {
    label->setText(full_screen && area != nullptr
                     ? area->windowTitle()
                     : QCoreApplication::translate("DockAreaDragTitle", drag_hint));
    label->show();
    exit_button->setVisible(full_screen);
  }
  else
  {
    label->hide();
    exit_button->hide();
  }
  if ( area != nullptr )
    area->layout_root();
}

void DockAreaDragTitle::mousePressEvent(QMouseEvent *event)
{
  if ( event->button() == Qt::LeftButton )
    press_point_ = event->pos();
  QWidget::mousePressEvent(event);
}

void DockAreaDragTitle::mouseMoveEvent(QMouseEvent *event)
{
  QWidget::mouseMoveEvent(event);
  if ( (event->buttons() & Qt::LeftButton) == 0 || area == nullptr || area->isFullScreen() )
    return;
  if ( (event->pos() - press_point_).manhattanLength() < QApplication::startDragDistance() )
    return;
  hover_timer.stop();
  collapse_timer.stop();
  DockArea *source = area;
  area = nullptr;
  BaseDockWidget *node = source->root();
  if ( node == nullptr )
    return;
  if ( auto *complex = qobject_cast<ComplexDockWidget *>(node); complex != nullptr && complex->child_count() == 1 )
    node = complex->child_at(0);
  start_dock_drag(node, source, press_point_.x());
}
