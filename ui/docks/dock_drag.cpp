// Dragging docks: the payload, the start of a drag, the drop targets shown over an area while it runs, and the
// dispatch of a drop to the tree operations.
#include "ui/docks/dock_drag.h"

#include "ui/app_base.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_area_p.h"
#include "ui/docks/dock_containers.h"
#include "ui/docks/dock_drag_title.h"
#include "ui/docks/dock_widget.h"
#include "ui/object_lifecycle_monitor.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QRubberBand>

#include <cstring>

// The resource bundle is linked from a static library, so its registration is pulled in by name.
static void init_dock_resources()
{
  Q_INIT_RESOURCE(ui_resources);
}

namespace {

const char image_folder[] = ":/docks/resources/docks/";

// Whether the event's payload has this process's format (drags never cross processes).
bool has_dock_payload(const QDropEvent *event)
{
  return event->mimeData() != nullptr && event->mimeData()->hasFormat(dock_mime_format());
}

// Drag entries and moves over the targets: accepted with the proposed action when the payload is ours.
bool accept_dock_payload(QDropEvent *event)
{
  if ( !has_dock_payload(event) )
    return false;
  event->acceptProposedAction();
  return true;
}

} // namespace

// ---- Payload --------------------------------------------------------------------------------------------------

QString dock_mime_format()
{
  return QStringLiteral("dockdata") + QString::number(QCoreApplication::applicationPid());
}

QByteArray dock_payload_bytes(const BaseDockWidget *node)
{
  static_assert(sizeof(node) == 8, "the payload carries an 8-byte address");
  QByteArray bytes(sizeof(node), '\0');
  std::memcpy(bytes.data(), &node, sizeof(node));
  return bytes;
}

BaseDockWidget *dock_from_payload(const QByteArray &bytes)
{
  const void *address = nullptr;
  if ( bytes.size() < int(sizeof(address)) )
    return nullptr;
  std::memcpy(&address, bytes.constData(), sizeof(address));
  // Only an address that names a live node is used: a forged payload or a node deleted meanwhile is no node.
  for ( BaseDockWidget *node : all_dock_nodes() )
    if ( node == address )
      return node;
  return nullptr;
}

BaseDockWidget *dragged_dock_from(const QMimeData *data)
{
  if ( data == nullptr || !data->hasFormat(dock_mime_format()) )
    return nullptr;
  BaseDockWidget *node = dock_from_payload(data->data(dock_mime_format()));
  // A node still inside a tree is not the one being dragged; moving it could put it inside itself.
  return node != nullptr && node->parentWidget() == nullptr ? node : nullptr;
}

// ---- Starting a drag ------------------------------------------------------------------------------------------

void start_dock_drag(BaseDockWidget *node, DockArea *area, int offset_x)
{
  if ( node == nullptr || area == nullptr )
    return;
  DockArea *top = top_dock_area_of(area);
  object_lifecycle_monitor_t focus;
  focus.watch_object(QApplication::focusWidget());
  QPointer<DockArea> source(area);
  QPointer<BaseDockWidget> dragged(node);

  node->drag_offset_x = offset_x;
  auto *drag = new QDrag(top);
  auto *payload = new QMimeData;
  payload->setData(dock_mime_format(), dock_payload_bytes(node));
  drag->setMimeData(payload);
  drag->setPixmap(node->grab());
  drag->setHotSpot(QPoint(offset_x, 0));
  node->setBaseSize(node->size());

  drag_state = drag_preparing;
  area->detach_dock(node);
  if ( source != nullptr )
    source->layout_root();
  drag_state = drag_running;

  deferred_close().clear();
  try
  {
    drag->exec(Qt::CopyAction | Qt::MoveAction);
  }
  catch ( ... )
  {
    drag_state = drag_idle;
    throw;
  }
  if ( source != nullptr )
    source->hide_drop_indicators();
  const QList<QPointer<DockArea>> emptied = deferred_close();
  deferred_close().clear();
  drag_state = drag_idle;
  for ( const QPointer<DockArea> &emptied_area : emptied )
    if ( emptied_area != nullptr && emptied_area != source )
      emptied_area->check_floating_empty();

  // A drag that ended nowhere, or on a target that placed nothing, floats the dock: no dock is lost.
  if ( dragged != nullptr && dragged->parentWidget() == nullptr && top != nullptr )
    top->drop_dock(dock_drop_float, dragged, QCursor::pos() - QPoint(dragged->drag_offset_x, 0));
  if ( source != nullptr )
    source->check_floating_empty();
  drag->setParent(nullptr);
  drag->deleteLater();
  if ( auto *widget = focus.watched_as<QWidget>() )
  {
    widget->setFocus(Qt::OtherFocusReason);
    widget->activateWindow();
  }
}

void insert_tab_page(DockArea * /*area*/, BaseDockWidget *node, DockTab *tab_group, int index)
{
  layout_batch_t batch;
  tab_group->insert_current(index, node);
}

// ---- DockArrow ------------------------------------------------------------------------------------------------

DockArrow::DockArrow(DockArea *owner, int arrow_code)
  : QWidget(owner), area(owner), code(arrow_code), drop_code(arrow_code == 1   ? dock_drop_edge_top
                                                             : arrow_code == 2 ? dock_drop_edge_bottom
                                                             : arrow_code == 3 ? dock_drop_edge_left
                                                                               : dock_drop_edge_right)
{
  init_dock_resources();
  static const char *const names[] = {"arrow_up.bmp", "arrow_down.bmp", "arrow_left.bmp", "arrow_right.bmp"};
  const QString path = QLatin1String(image_folder) + QLatin1String(names[code - 1]);
  if ( !image.load(path) )
    qDebug("Can't load %s", qPrintable(path));
  hide();
  setAcceptDrops(true);
  setFixedSize(image.size());
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void DockArrow::paintEvent(QPaintEvent * /*event*/)
{
  QPainter painter(this);
  painter.drawImage(0, 0, image);
}

void DockArrow::dragEnterEvent(QDragEnterEvent *event)
{
  if ( !accept_dock_payload(event) )
    return;
  dock_area_private_t &d = area->drag_parts();
  d.arrow_area->hide();
  d.drop_target = nullptr;
  area->show_drop_arrows(nullptr);
  area->show_drop_preview(drop_code);
  raise();
}

void DockArrow::dragMoveEvent(QDragMoveEvent *event)
{
  accept_dock_payload(event);
}

void DockArrow::dragLeaveEvent(QDragLeaveEvent * /*event*/)
{
  dock_area_private_t &d = area->drag_parts();
  d.hide_timer.start();
  d.drop_marker->hide();
}

void DockArrow::dropEvent(QDropEvent *event)
{
  if ( has_dock_payload(event) )
    area->drop_payload(drop_code, event);
}

// ---- DockArrowArea --------------------------------------------------------------------------------------------

DockArrowArea::DockArrowArea(DockArea *owner) : QWidget(owner), area(owner)
{
  init_dock_resources();
  if ( image.load(QLatin1String(image_folder) + QLatin1String("arrow_area.png")) )
    zones = {QRect(30, 30, 29, 30), QRect(0, 30, 30, 29), QRect(59, 30, 30, 29), QRect(30, 0, 29, 30),
             QRect(30, 59, 29, 30)};
  else
    qDebug("Can't load arrow_area.png");
  hide();
  setAcceptDrops(true);
  setFixedSize(image.size());
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

int DockArrowArea::zone_at(const QPoint &point) const
{
  for ( size_t i = 0; i < zones.size(); ++i )
    if ( zones[i].contains(point) )
      return int(i) + 1;
  return 0;
}

void DockArrowArea::track_zone(const QPoint &point)
{
  const int found = zone_at(point);
  if ( found != 0 )
  {
    zone = found;
    area->show_drop_preview(zone);
  }
  else
  {
    if ( zone != 0 )
      area->drag_parts().drop_marker->hide();
    zone = 0;
  }
  raise();
}

void DockArrowArea::paintEvent(QPaintEvent * /*event*/)
{
  QPainter painter(this);
  painter.drawImage(0, 0, image);
}

void DockArrowArea::dragEnterEvent(QDragEnterEvent *event)
{
  if ( !accept_dock_payload(event) )
    return;
  area->show_drop_arrows(nullptr);
  track_zone(event->pos());
}

void DockArrowArea::dragMoveEvent(QDragMoveEvent *event)
{
  if ( accept_dock_payload(event) )
    track_zone(event->pos());
}

void DockArrowArea::dragLeaveEvent(QDragLeaveEvent * /*event*/)
{
  dock_area_private_t &d = area->drag_parts();
  d.hide_timer.start();
  zone = 0;
  d.drop_marker->hide();
}

void DockArrowArea::dropEvent(QDropEvent *event)
{
  if ( has_dock_payload(event) && zone != 0 )
    area->drop_payload(zone, event);
}

// ---- DockArea: drop targets -----------------------------------------------------------------------------------

void DockArea::show_drop_arrows(BaseDockWidget *target)
{
  if ( d->hide_timer.isActive() )
    d->hide_timer.stop();
  if ( target != nullptr && (target != d->drop_target || d->arrow_area->isHidden()) )
  {
    d->drop_target = target;
    QWidget *reference = target;
    if ( target->is_leaf() )
      if ( QWidget *content = dock_content(static_cast<DockWidget *>(target)) )
        reference = content;
    const QPoint centre = reference->mapTo(this, reference->rect().center());
    d->arrow_area->move(centre - QPoint(d->arrow_area->width() / 2, d->arrow_area->height() / 2));
    d->arrow_area->show();
    d->arrow_area->raise();
  }
  if ( is_floating() )
    return;
  for ( size_t i = 0; i < d->arrows.size(); ++i )
  {
    DockArrow *arrow = d->arrows[i];
    if ( !arrow->isHidden() )
      continue;
    const int w = arrow->width();
    const int h = arrow->height();
    switch ( arrow->code )
    {
      case 1: arrow->move(width() / 2 - w / 2, 0); break;
      case 2: arrow->move(width() / 2 - w / 2, height() - h); break;
      case 3: arrow->move(0, height() / 2 - h / 2); break;
      default: arrow->move(width() - w, height() / 2 - h / 2); break;
    }
    arrow->show();
    arrow->raise();
  }
}

void DockArea::show_drop_preview(int code)
{
  QRect marker;
  const int w = width();
  const int h = height();
  if ( d->root == nullptr )
  {
    marker = rect();
  }
  else
  {
    QRect r;
    if ( BaseDockWidget *target = d->drop_target )
      r = QRect(target->mapTo(this, QPoint(0, 0)), target->size());
    switch ( code )
    {
      case dock_drop_tab: marker = r; break;
      case dock_drop_split_left: marker = QRect(r.x(), r.y(), r.width() / 2, r.height()); break;
      case dock_drop_split_right:
        marker = QRect(r.x() + r.width() - r.width() / 2, r.y(), r.width() / 2, r.height());
        break;
      case dock_drop_split_above: marker = QRect(r.x(), r.y(), r.width(), r.height() / 2); break;
      case dock_drop_split_below:
        marker = QRect(r.x(), r.y() + r.height() - r.height() / 2, r.width(), r.height() / 2);
        break;
      case dock_drop_edge_left: marker = QRect(0, 0, w / 4, h); break;
      case dock_drop_edge_right: marker = QRect(w - w / 4, 0, w / 4, h); break;
      case dock_drop_edge_top: marker = QRect(0, 0, w, h / 4); break;
      case dock_drop_edge_bottom: marker = QRect(0, h - h / 4, w, h / 4); break;
      default: return;
    }
  }
  d->drop_marker->setGeometry(marker);
  d->drop_marker->raise();
  d->arrow_area->raise();
  for ( DockArrow *arrow : d->arrows )
    arrow->raise();
  d->drop_marker->show();
}

void DockArea::hideDragArrowsTimeout()
{
  d->drop_target = nullptr;
  d->arrow_area->hide();
  for ( DockArrow *arrow : d->arrows )
    arrow->hide();
}

void DockArea::hide_drop_indicators()
{
  hideDragArrowsTimeout();
  d->drop_marker->hide();
}

void DockArea::tabDragRequest(BaseDockWidget *widget)
{
  if ( widget != nullptr )
    start_dock_drag(widget, this, 0);
}

void DockArea::dragEnterEvent(QDragEnterEvent *event)
{
  if ( !accept_dock_payload(event) )
    return;
  d->arrow_area->hide();
  d->drop_target = nullptr;
  show_drop_arrows(nullptr);
}

void DockArea::dragMoveEvent(QDragMoveEvent *event)
{
  accept_dock_payload(event);
}

void DockArea::dropEvent(QDropEvent *event)
{
  if ( has_dock_payload(event) )
    drop_payload(dock_drop_float, event);
}

void DockArea::drop_payload(int code, QDropEvent *event)
{
  BaseDockWidget *node = dragged_dock_from(event->mimeData());
  if ( node == nullptr )
    return;
  event->acceptProposedAction();
  // The event's position is the receiver's (an arrow, the cross, a dock, the area): take the mouse itself.
  const QPoint global = QCursor::pos();
  drop_dock(code, node, QPoint(global.x() - node->drag_offset_x, global.y()));
}

void DockArea::drop_dock(int code, BaseDockWidget *node, const QPoint &global_point)
{
  BaseDockWidget *target = d->drop_target;
  d->drop_target = nullptr;
  d->arrow_area->hide();
  for ( DockArrow *arrow : d->arrows )
    arrow->hide();
  d->drop_marker->hide();
  node->hidden = false;

  const auto float_at_point = [&] {
    dock_options_t record;
    record.float_pos = global_point;
    record.float_size = node->baseSize();
    layout_batch_t batch;
    DockArea *area = new_floating_area(&record);
    BaseDockWidget *root = area->dock_at_edge(node, dock_edge_right);
    area->setWindowTitle(root->title());
    area->setWindowIcon(root->icon());
    area->show();
    area->d->drag_title->expand_for_a_while();
    return root;
  };

  BaseDockWidget *placed = nullptr;
  switch ( code )
  {
    case dock_drop_float:
      placed = float_at_point();
      break;
    case dock_drop_tab:
      placed = tabify_dock(node, target, true, -1);
      break;
    case dock_drop_split_left:
    case dock_drop_split_right:
    case dock_drop_split_above:
    case dock_drop_split_below:
    {
      static const int edges[] = {dock_edge_left, dock_edge_right, dock_edge_top, dock_edge_bottom};
      notify_bracket_t notify;
      if ( target != nullptr && enclosing_dock_area(target) != nullptr )
        placed = enclosing_dock_area(target)->split_dock(node, target, edges[code - dock_drop_split_left]);
      break;
    }
    case dock_drop_edge_left: placed = dock_at_edge(node, dock_edge_left); break;
    case dock_drop_edge_right: placed = dock_at_edge(node, dock_edge_right); break;
    case dock_drop_edge_top: placed = dock_at_edge(node, dock_edge_top); break;
    case dock_drop_edge_bottom: placed = dock_at_edge(node, dock_edge_bottom); break;
    default: break;
  }
  // A drop on a target that went away meanwhile places nothing: the dock floats rather than being lost.
  if ( placed == nullptr && node->parentWidget() == nullptr )
    placed = float_at_point();
  enforceVisibility(placed);
}

// ---- DockWidget as a drop target ------------------------------------------------------------------------------

void DockWidget::dragEnterEvent(QDragEnterEvent *event)
{
  if ( !accept_dock_payload(event) )
    return;
  if ( DockArea *area = enclosing_dock_area(this) )
    area->show_drop_arrows(this);
}

void DockWidget::dragMoveEvent(QDragMoveEvent *event)
{
  accept_dock_payload(event);
}

void DockWidget::dragLeaveEvent(QDragLeaveEvent * /*event*/)
{
  if ( DockArea *area = enclosing_dock_area(this) )
    area->drag_parts().hide_timer.start();
}

void DockWidget::dropEvent(QDropEvent *event)
{
  if ( !has_dock_payload(event) )
    return;
  if ( DockArea *area = enclosing_dock_area(this) )
    area->drop_payload(dock_drop_float, event);
}
