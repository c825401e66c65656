// A leaf of a dock tree: a title bar above the one widget the application shows, and the place holder of a
// widget that a saved layout will put there.
#include "ui/docks/dock_widget.h"

#include "ui/app_base.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_containers.h"
#include "ui/docks/dock_drag.h"
#include "ui/widget_factory.h"

#include <QApplication>
#include <QChildEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A title-bar button showing a standard pixmap of the title's style.
QPushButton *title_button(DockWidgetTitle *title, QStyle::StandardPixmap pixmap, const QString &tooltip)
{
  auto *button = new QPushButton(QString(), title);
  button->setIcon(title->style()->standardIcon(pixmap, nullptr, title));
  button->setToolTip(tooltip);
  button->setFocusPolicy(Qt::NoFocus);
  button->setFixedSize(16, 16);
  const int small = title->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, title);
  const int side = std::min(small, title->logicalDpiX() * 10 / 96);
  button->setIconSize(QSize(side, side));
  return button;
}

QLabel *factory_label(const QString &text)
{
  app_t *app = current_app();
  return app != nullptr ? app->get_widget_factory()->new_label(text) : new QLabel(text);
}

} // namespace

// ---- DockWidgetTitle ------------------------------------------------------------------------------------------

DockWidgetTitle::DockWidgetTitle(DockWidget *owner) : dock(owner)
{
  setFrameStyle(QFrame::StyledPanel);
  setLineWidth(1);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  auto *box = new QHBoxLayout(this);
  box->setContentsMargins(3, 3, 3, 5);
  icon_label = factory_label(QString());
  icon_label->setParent(this);
  icon_label->setFixedSize(16, 16);
  text_label = factory_label(QString());
  text_label->setParent(this);
  box->addWidget(icon_label);
  box->addWidget(text_label);
  box->addStretch();
  struct
  {
    QStyle::StandardPixmap pixmap;
    const char *tooltip;
    void (DockWidget::*slot)();
  } const buttons[] = {
    {QStyle::SP_TitleBarMaxButton, "Fullscreen", &DockWidget::makeFullScreen},
    {QStyle::SP_TitleBarNormalButton, "Float", &DockWidget::makeFloating},
    {QStyle::SP_TitleBarCloseButton, "Close", &DockWidget::requestClose},
  };
  for ( const auto &b : buttons )
  {
    QPushButton *button = title_button(this, b.pixmap, QString::fromLatin1(b.tooltip));
    box->addWidget(button);
    connect(button, &QPushButton::clicked, owner, b.slot);
  }
  setAutoFillBackground(true);
  setAttribute(Qt::WA_StyledBackground);
  setProperty("active", false);
}

void DockWidgetTitle::mousePressEvent(QMouseEvent *event)
{
  if ( event->button() == Qt::LeftButton )
  {
    press_x = event->pos().x();
    press_point_ = event->pos();
  }
  QFrame::mousePressEvent(event);
}

void DockWidgetTitle::mouseMoveEvent(QMouseEvent *event)
{
  QFrame::mouseMoveEvent(event);
  if ( (event->buttons() & Qt::LeftButton) == 0 || dock->window()->isFullScreen() )
    return;
  if ( (event->pos() - press_point_).manhattanLength() < QApplication::startDragDistance() )
    return;
  if ( DockArea *area = enclosing_dock_area(dock) )
    start_dock_drag(dock, area, press_x);
}

// ---- PlaceHolderWidget ----------------------------------------------------------------------------------------

PlaceHolderWidget::PlaceHolderWidget(QWidget *target) : target_(target)
{
  if ( target != nullptr )
    setWindowTitle(target->windowTitle());
}

bool is_place_holder(const QWidget *widget)
{
  return widget != nullptr && widget->metaObject() == &PlaceHolderWidget::staticMetaObject;
}

// ---- DockWidget -----------------------------------------------------------------------------------------------

DockWidget::DockWidget(QWidget *content, uint32_t flags) : BaseDockWidget(dock_leaf_node)
{
  setAcceptDrops(true);
  title_ = new DockWidgetTitle(this);
  layout()->addWidget(title_);
  if ( content == nullptr )
    return;
  if ( (flags & dock_size_from_hint) != 0 )
    resize(content->sizeHint());
  if ( !content->isVisible() )
    hide();
  host_content(content);
}

DockWidget::~DockWidget()
{
  destroying_ = true;
  QWidget *content = dock_content(this);
  // A persistent widget outlives its dock: it is taken out instead of destroyed with it.
  if ( content != nullptr && (widget_close_flags(content) & close_flag_persistent) != 0 )
  {
    content->removeEventFilter(this);
    content->setParent(nullptr);
  }
}

void DockWidget::host_content(QWidget *content)
{
  updating = true;
  layout()->addWidget(content);
  updating = false;
  sync_from_content(content, 3);
  if ( !is_place_holder(content) )
    content->installEventFilter(this);
}

QString DockWidget::title() const
{
  const QWidget *content = dock_content(this);
  return content != nullptr ? content->windowTitle() : QString();
}

QIcon DockWidget::icon() const
{
  return windowIcon();
}

void DockWidget::sync_from_content(QWidget *widget, int flags)
{
  if ( (flags & 2) != 0 )
    setWindowIcon(widget->windowIcon());
  if ( (flags & 1) != 0 )
    setWindowTitle(widget->windowTitle());
  refresh_title_bar();
}

void DockWidget::refresh_title_bar()
{
  if ( title_ == nullptr )
    return;
  const QIcon shown = windowIcon();
  title_->icon_label->setPixmap(shown.pixmap(title_->icon_label->size()));
  title_->icon_label->setVisible(!shown.isNull());
  title_->text_label->setText(windowTitle());
}

void DockWidget::replace_place_holder(const json_object_t &config)
{
  auto *holder = qobject_cast<PlaceHolderWidget *>(dock_content(this));
  if ( holder == nullptr || !is_place_holder(holder) )
    return;
  QWidget *widget = holder->target();
  if ( widget == nullptr )
    return;
  set_widget_config(widget, &config);
  app_t *app = current_app();
  QWidget *hosted = app != nullptr ? app->dock_widget_for(widget) : widget;
  updating = true;
  layout()->removeWidget(holder);
  delete holder;
  hosted->resize(size());
  layout()->addWidget(hosted);
  updating = false;
  sync_from_content(hosted, 3);
  hosted->installEventFilter(this);
}

void DockWidget::setVisible(bool visible)
{
  BaseDockWidget::setVisible(visible);
  if ( ComplexDockWidget *container = dock_container_of(this) )
    container->update_title_bars();
}

void DockWidget::makeFloating()
{
  DockArea *area = enclosing_dock_area(this);
  if ( area == nullptr )
    return;
  area->top_dock_area()->float_dock(this, nullptr, true);
}

void DockWidget::makeFullScreen()
{
  // Full screen is the application's: its slot is found by name, so the dock works without it.
  if ( QObject *app = current_app() )
    if ( app->metaObject()->indexOfSlot("enter_full_screen(DockWidget*)") >= 0 )
      QMetaObject::invokeMethod(app, "enter_full_screen", Qt::DirectConnection, Q_ARG(DockWidget *, this));
}

void DockWidget::requestClose()
{
  if ( app_t *app = current_app() )
    app->close_hosted_widget(this, 0);
}

void DockWidget::showDock()
{
  DockArea *area = enclosing_dock_area(this);
  if ( area == nullptr )
    return;
  area->top_dock_area()->raise_dock(this, 1);
}

bool DockWidget::eventFilter(QObject *watched, QEvent *event)
{
  if ( watched == dock_content(this) )
  {
    auto *content = static_cast<QWidget *>(watched);
    if ( event->type() == QEvent::WindowIconChange )
    {
      // The copy may change the content's icon again; do not hear that.
      content->removeEventFilter(this);
      sync_from_content(content, 2);
      content->installEventFilter(this);
    }
    else if ( event->type() == QEvent::WindowTitleChange )
    {
      sync_from_content(content, 1);
    }
  }
  return false;
}

void DockWidget::changeEvent(QEvent *event)
{
  switch ( event->type() )
  {
    case QEvent::WindowTitleChange:
      if ( title_ != nullptr )
        title_->setToolTip(windowTitle());
      request_area_update(this);
      break;
    case QEvent::WindowIconChange:
      if ( title_ != nullptr )
        request_area_update(this);
      break;
    case QEvent::ParentChange:
      if ( ComplexDockWidget *container = dock_container_of(this) )
        container->update_title_bars();
      else if ( title_ != nullptr )
        title_->show();
      break;
    default:
      break;
  }
  BaseDockWidget::changeEvent(event);
}

void DockWidget::childEvent(QChildEvent *event)
{
  BaseDockWidget::childEvent(event);
  if ( event->type() != QEvent::ChildRemoved || updating || destroying_ )
    return;
  QObject *child = event->child();
  if ( child == title_ || !child->isWidgetType() )
    return;
  // The content left (or was destroyed): the dock has nothing to show.
  DockArea::detach_docked(this);
  deleteLater();
  forget_dock_node(this);
}

void DockWidget::showEvent(QShowEvent *event)
{
  BaseDockWidget::showEvent(event);
  if ( QWidget *content = dock_content(this) )
    content->show();
}

void DockWidget::focusInEvent(QFocusEvent *event)
{
  if ( QWidget *content = dock_content(this) )
    content->setFocus(event->reason());
}

void DockWidget::closeEvent(QCloseEvent *event)
{
  QWidget *content = dock_content(this);
  if ( content == nullptr || content->close() )
    event->accept();
  else
    event->ignore();
}

bool DockWidget::focusNextPrevChild(bool next)
{
  for ( QWidget *w = parentWidget(); w != nullptr; w = w->parentWidget() )
  {
    if ( w->metaObject() != &DockTab::staticMetaObject )
      continue;
    BaseDockWidget *target = static_cast<DockTab *>(w)->focus_target;
    if ( target == nullptr || !target->is_leaf() )
      break;
    if ( QWidget *content = dock_content(static_cast<DockWidget *>(target)) )
      content->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
  }
  return BaseDockWidget::focusNextPrevChild(next);
}

// ---- Free functions -------------------------------------------------------------------------------------------

QWidget *dock_content(const DockWidget *dock, bool unwrap)
{
  if ( dock == nullptr || dock->layout() == nullptr || dock->layout()->count() < 2 )
    return nullptr;
  QWidget *content = dock->layout()->itemAt(1)->widget();
  if ( unwrap && is_place_holder(content) )
    return static_cast<PlaceHolderWidget *>(content)->target();
  return content;
}

DockWidgetTitle *dock_title_bar(const DockWidget *dock)
{
  if ( dock == nullptr || dock->layout() == nullptr || dock->layout()->count() < 1 )
    return nullptr;
  return qobject_cast<DockWidgetTitle *>(dock->layout()->itemAt(0)->widget());
}

void focus_dock_content(DockWidget *dock, Qt::FocusReason reason)
{
  if ( QWidget *content = dock_content(dock) )
    content->setFocus(reason);
}
