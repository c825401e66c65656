// The inner nodes of a dock tree: a splitter of side-by-side children and a tab group showing one child at a time.
#include "ui/docks/dock_containers.h"

#include "ui/app_base.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_drag.h"
#include "ui/docks/dock_widget.h"

#include <QApplication>
#include <QChildEvent>
#include <QDragEnterEvent>
#include <QLayout>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QRubberBand>
#include <QSplitter>
#include <QStackedWidget>

#include <algorithm>

namespace {

// Clears a flag when the scope ends, also when an exception passes.
class flag_scope_t
{
public:
  explicit flag_scope_t(bool &flag) : flag_(flag), was_(flag) { flag_ = true; }
  ~flag_scope_t() { flag_ = was_; }
  flag_scope_t(const flag_scope_t &) = delete;
  flag_scope_t &operator=(const flag_scope_t &) = delete;

private:
  bool &flag_;
  bool was_;
};

} // namespace

// ---- DockSplitter ---------------------------------------------------------------------------------------------

DockSplitter::DockSplitter(Qt::Orientation orientation) : ComplexDockWidget(dock_splitter_node)
{
  splitter_ = new QSplitter(orientation, this);
  splitter_->resize(size());
  splitter_->setOpaqueResize(false);
  splitter_->setChildrenCollapsible(false);
  layout()->addWidget(splitter_);
  splitter_->installEventFilter(this);
}

int DockSplitter::length_along(const QWidget *widget, Qt::Orientation orientation)
{
  return orientation == Qt::Vertical ? widget->height() : widget->width();
}

QIcon DockSplitter::icon() const
{
  if ( child_count() == 1 && child_at(0)->is_leaf() )
    return child_at(0)->icon();
  return BaseDockWidget::icon();
}

void DockSplitter::refresh_layout()
{
  splitter_->refresh();
  ComplexDockWidget::refresh_layout();
}

int DockSplitter::index_of(const BaseDockWidget *child) const
{
  return splitter_->indexOf(const_cast<BaseDockWidget *>(child));
}

BaseDockWidget *DockSplitter::child_at(int i) const
{
  return i >= 0 && i < splitter_->count() ? static_cast<BaseDockWidget *>(splitter_->widget(i)) : nullptr;
}

int DockSplitter::child_count() const
{
  return splitter_->count();
}

int DockSplitter::count_without(QObject *removed) const
{
  int count = splitter_->count();
  for ( int i = 0; i < splitter_->count(); ++i )
    if ( splitter_->widget(i) == removed )
      --count;
  return count;
}

int DockSplitter::insert_child(int index, BaseDockWidget *node)
{
  QList<int> sizes = splitter_->sizes();
  const int old_index = splitter_->indexOf(node);
  if ( old_index >= 0 )
    sizes.removeAt(old_index);
  int size = 0;
  if ( node->hidden )
  {
    node->hide();
  }
  else
  {
    size = orientation() == Qt::Vertical ? node->baseSize().height() : node->baseSize().width();
    if ( size == 0 )
    {
      if ( node->layout() != nullptr )
        node->layout()->invalidate();
      size = length_along(node, orientation());
    }
  }
  index = std::clamp(index, 0, old_index >= 0 ? splitter_->count() - 1 : splitter_->count());
  splitter_->insertWidget(index, node);
  sizes.insert(std::min(index, int(sizes.size())), size);
  splitter_->setSizes(sizes);
  if ( !node->hidden )
    node->show();
  return index;
}

void DockSplitter::save_state()
{
  saved_sizes = splitter_->sizes();
}

void DockSplitter::apply_state()
{
  for ( int i = 0; i < child_count() && i < saved_sizes.size(); ++i )
    if ( child_at(i)->hidden && saved_sizes[i] != 0 )
      saved_sizes[i] = 0;
  splitter_->setSizes(saved_sizes);
}

void DockSplitter::update_title_bars()
{
  DockArea *area = enclosing_dock_area(this);
  if ( area == nullptr )
    return;
  const bool hide_bars = area->is_floating() && visible_child_count() <= 1;
  for ( int i = 0; i < child_count(); ++i )
  {
    BaseDockWidget *child = child_at(i);
    if ( !child->is_leaf() )
      continue;
    if ( DockWidgetTitle *bar = dock_title_bar(static_cast<DockWidget *>(child)) )
      bar->setVisible(!hide_bars);
  }
}

QWidget *DockSplitter::container() const
{
  return splitter_;
}

Qt::Orientation DockSplitter::orientation() const
{
  return splitter_->orientation();
}

void DockSplitter::set_orientation(Qt::Orientation orientation)
{
  splitter_->setOrientation(orientation);
}

void DockSplitter::absorb_child(BaseDockWidget *child)
{
  auto *p = qobject_cast<DockSplitter *>(child);
  const int at = index_of(child);
  if ( p == nullptr || at < 0 || p->orientation() != orientation() )
  {
    if ( auto *complex = qobject_cast<ComplexDockWidget *>(child) )
      move_children_of(complex);
    return;
  }
  QList<int> sizes = splitter_->sizes();
  const int s = at < sizes.size() ? sizes[at] : 0;
  if ( s > 0 )
  {
    // The child's space is shared out among its children by their sizes inside it.
    const int length = length_along(p->splitter_, orientation());
    const QList<int> inner = p->splitter_->sizes();
    sizes.removeAt(at);
    for ( int k = 0; k < inner.size(); ++k )
      sizes.insert(at + k, length < 1 ? 0 : int(double(s) * inner[k] / length));
  }
  move_children_of(p);
  if ( s > 0 && sizes.size() == child_count() )
    splitter_->setSizes(sizes);
}

// ---- DockTab --------------------------------------------------------------------------------------------------

DockTab::DockTab(int saved) : ComplexDockWidget(dock_tab_node), saved_current(saved)
{
  tab_bar_ = new DockTabBar(this);
  stack_ = new QStackedWidget(this);
  stack_->setObjectName(QStringLiteral("qt_tabwidget_stackedwidget"));
  layout()->addWidget(tab_bar_);
  layout()->addWidget(stack_);
  stack_->installEventFilter(this);
  connect(tab_bar_, &QTabBar::currentChanged, this, &DockTab::dockTabChanged);
  connect(tab_bar_, &QTabBar::tabMoved, this, &DockTab::dockTabMoved, Qt::DirectConnection);
  connect(stack_, &QStackedWidget::widgetRemoved, this, &DockTab::dockStackedRemoved, Qt::DirectConnection);
  connect(tab_bar_, &QTabBar::tabCloseRequested, this, &DockTab::requestCloseAt);
}

int DockTab::index_of(const BaseDockWidget *child) const
{
  return stack_->indexOf(const_cast<BaseDockWidget *>(child));
}

BaseDockWidget *DockTab::child_at(int i) const
{
  return i >= 0 && i < stack_->count() ? static_cast<BaseDockWidget *>(stack_->widget(i)) : nullptr;
}

int DockTab::child_count() const
{
  return stack_->count();
}

int DockTab::count_without(QObject * /*removed*/) const
{
  return stack_->count(); // the stack's layout dropped the child before the event reaches the filter
}

int DockTab::tab_to_child(int tab) const
{
  if ( tab < 0 || tab >= child_count() )
    return -1;
  int seen = 0;
  for ( int c = 0; c < child_count(); ++c )
  {
    if ( child_at(c)->hidden )
      continue;
    if ( seen++ == tab )
      return c;
  }
  return -1;
}

int DockTab::child_to_tab(int child) const
{
  if ( child < 0 || child >= child_count() || child_at(child)->hidden )
    return -1;
  int tab = 0;
  for ( int c = 0; c < child; ++c )
    if ( !child_at(c)->hidden )
      ++tab;
  return tab;
}

int DockTab::insert_child(int index, BaseDockWidget *node)
{
  const int r = stack_->insertWidget(index, node);
  const QString text = node->title();
  const int tab = tab_bar_->insertTab(r, node->icon(), text);
  if ( tab_bar_->tabToolTip(tab) != text )
    tab_bar_->setTabToolTip(tab, text);
  request_area_update(this);
  return r;
}

void DockTab::set_current(int c)
{
  if ( c < 0 || c >= child_count() )
    return;
  tab_bar_->setCurrentIndex(child_to_tab(c));
  stack_->setCurrentIndex(c);
}

void DockTab::save_state()
{
  saved_current = tab_to_child(tab_bar_->currentIndex());
}

void DockTab::restore_state()
{
  if ( saved_current != -1 )
    set_current(saved_current);
}

void DockTab::update_title_bars()
{
  for ( int i = 0; i < child_count(); ++i )
    if ( child_at(i)->is_leaf() )
      if ( DockWidgetTitle *bar = dock_title_bar(static_cast<DockWidget *>(child_at(i))) )
        bar->hide();
}

QWidget *DockTab::container() const
{
  return stack_;
}

void DockTab::absorb_child(BaseDockWidget *child)
{
  auto *p = qobject_cast<ComplexDockWidget *>(child);
  if ( p == nullptr )
    return;
  const int c = tab_to_child(tab_bar_->currentIndex());
  move_children_of(p);
  if ( c >= 0 && c < child_count() && !child_at(c)->hidden )
    set_current(c);
}

void DockTab::sync_tabs()
{
  int j = 0;
  for ( int c = 0; c < child_count(); ++c )
  {
    BaseDockWidget *child = child_at(c);
    if ( child->hidden )
      continue;
    if ( tab_bar_->count() < j + 1 )
      tab_bar_->addTab(QString());
    const QString text = child->title();
    if ( tab_bar_->tabText(j) != text )
      tab_bar_->setTabText(j, text);
    if ( tab_bar_->tabToolTip(j) != text )
      tab_bar_->setTabToolTip(j, text);
    tab_bar_->setTabIcon(j, child->is_leaf() ? child->windowIcon() : QIcon());
    ++j;
  }
  while ( tab_bar_->count() > j )
    tab_bar_->removeTab(tab_bar_->count() - 1);
}

void DockTab::dockTabChanged(int tab)
{
  const int c = tab_to_child(tab);
  if ( c < 0 )
    return;
  struct clear_target_t
  {
    DockTab *tab;
    ~clear_target_t() { tab->focus_target = nullptr; }
  } clear {this};
  focus_target = child_at(c);
  focus_target->setFocus(Qt::OtherFocusReason);
  stack_->setCurrentIndex(c);
}

void DockTab::dockTabMoved(int from, int to)
{
  const int from_child = tab_to_child(from);
  const int to_child = tab_to_child(to);
  if ( from_child < 0 || to_child < 0 )
    return;
  QWidget *page = stack_->widget(from_child);
  flag_scope_t scope(updating);
  stack_->removeWidget(page);
  stack_->insertWidget(to_child, page);
}

void DockTab::dockStackedRemoved(int child)
{
  if ( updating )
    return;
  // The child is gone from the stack already: its tab is the one after the visible children before it, and
  // it had one only when the bar has more tabs than visible children are left.
  int tab = 0;
  for ( int c = 0; c < child && c < child_count(); ++c )
    if ( !child_at(c)->hidden )
      ++tab;
  if ( tab_bar_->count() > visible_child_count() && tab < tab_bar_->count() )
    tab_bar_->removeTab(tab);
}

void DockTab::requestCloseAt(int tab)
{
  BaseDockWidget *child = child_at(tab_to_child(tab));
  if ( child == nullptr )
    return;
  if ( app_t *app = current_app() )
    app->close_hosted_widget(child, 0);
}

bool DockTab::eventFilter(QObject *watched, QEvent *event)
{
  if ( watched == stack_ && event->type() == QEvent::Resize && !updating )
    for ( int i = 0; i < child_count(); ++i )
      child_at(i)->resize(stack_->size());
  return ComplexDockWidget::eventFilter(watched, event);
}

// ---- DockTabBar -----------------------------------------------------------------------------------------------

DockTabBar::DockTabBar(DockTab *tab_group) : QTabBar(tab_group), owner(tab_group)
{
  setTabsClosable(true);
  setMovable(false);
  setAcceptDrops(true);
  setSelectionBehaviorOnRemove(QTabBar::SelectLeftTab);
  setUsesScrollButtons(true);
  setElideMode(Qt::ElideRight);
  setIconSize(QSize(16, 16));
  drop_marker = new QRubberBand(QRubberBand::Rectangle, this);
  drop_marker->hide();
}

void DockTabBar::update_drop_marker(const QPoint &point)
{
  const int t = tabAt(point);
  QRect marker;
  if ( t < 0 )
  {
    drop_index = count();
    const QRect last = count() > 0 ? tabRect(count() - 1) : QRect(0, 0, 0, height());
    marker = QRect(last.right() + 1, last.top(), marker_width, last.height());
    if ( marker.right() > width() - 1 )
      marker.moveLeft(std::max(0, width() - marker_width));
  }
  else
  {
    drop_index = t;
    if ( t == press_index )
    {
      drop_marker->hide();
      return;
    }
    marker = tabRect(t);
    marker.setWidth(marker_width);
  }
  drop_marker->setGeometry(marker);
  drop_marker->show();
}

void DockTabBar::request_tab_drag(int tab)
{
  const int child = owner->tab_to_child(tab);
  BaseDockWidget *page = owner->child_at(child);
  DockArea *area = enclosing_dock_area(owner);
  if ( page == nullptr || area == nullptr )
    return;
  QMetaObject::invokeMethod(area, "tabDragRequest", Qt::DirectConnection, Q_ARG(BaseDockWidget *, page));
}

void DockTabBar::mousePressEvent(QMouseEvent *event)
{
  press_index = event->button() == Qt::LeftButton ? tabAt(event->pos()) : -1;
  QTabBar::mousePressEvent(event);
}

void DockTabBar::mouseMoveEvent(QMouseEvent *event)
{
  QTabBar::mouseMoveEvent(event);
  if ( (event->buttons() & Qt::LeftButton) == 0 || press_index < 0 )
    return;
  if ( !rect().contains(event->pos()) )
  {
    const int pressed = press_index;
    drop_marker->hide();
    press_index = -1;
    drop_index = -1;
    request_tab_drag(pressed);
    return;
  }
  update_drop_marker(event->pos());
}

void DockTabBar::leaveEvent(QEvent *event)
{
  QTabBar::leaveEvent(event);
  if ( release_depth == 0 && press_index >= 0 && (QApplication::mouseButtons() & Qt::LeftButton) != 0 )
  {
    drop_marker->hide();
    press_index = -1;
    drop_index = -1;
    request_tab_drag(currentIndex());
  }
}

void DockTabBar::mouseReleaseEvent(QMouseEvent *event)
{
  struct depth_t
  {
    int &depth;
    explicit depth_t(int &d) : depth(d) { ++depth; }
    ~depth_t() { --depth; }
  } depth(release_depth);
  QTabBar::mouseReleaseEvent(event);
  if ( event->button() == Qt::MiddleButton )
  {
    const int tab = tabAt(event->pos());
    if ( tab >= 0 )
      QMetaObject::invokeMethod(owner, "requestCloseAt", Qt::QueuedConnection, Q_ARG(int, tab));
  }
  else if ( press_index >= 0 )
  {
    drop_marker->hide();
    if ( drop_index >= 0 && drop_index != press_index )
    {
      const int target = press_index < drop_index ? drop_index - 1 : drop_index;
      moveTab(press_index, target);
      // Select the old place first, so that the change of selection is always signalled.
      setCurrentIndex(press_index);
      setCurrentIndex(target);
      drop_index = -1;
      update();
    }
  }
  press_index = -1;
}

void DockTabBar::dragEnterEvent(QDragEnterEvent *event)
{
  if ( !event->mimeData()->hasFormat(dock_mime_format()) || enclosing_dock_area(owner) == nullptr )
    return;
  event->acceptProposedAction();
  update_drop_marker(event->pos());
}

void DockTabBar::dragMoveEvent(QDragMoveEvent *event)
{
  if ( !event->mimeData()->hasFormat(dock_mime_format()) )
    return;
  event->acceptProposedAction();
  update_drop_marker(event->pos());
}

void DockTabBar::dragLeaveEvent(QDragLeaveEvent * /*event*/)
{
  drop_marker->hide();
  drop_index = -1;
}

void DockTabBar::dropEvent(QDropEvent *event)
{
  drop_marker->hide();
  BaseDockWidget *node = dragged_dock_from(event->mimeData());
  DockArea *area = enclosing_dock_area(owner);
  if ( node == nullptr || area == nullptr )
  {
    drop_index = -1;
    return;
  }
  event->acceptProposedAction();
  node->hidden = false;
  const int index = drop_index;
  QPointer<DockTabBar> self(this);
  insert_tab_page(area, node, owner, index);
  if ( self == nullptr )
    return;
  setCurrentIndex(index);
  drop_index = -1;
}
