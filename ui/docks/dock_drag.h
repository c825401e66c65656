// Dragging docks: the payload, the start of a drag, and the drop targets shown over an area while it runs.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>

class BaseDockWidget;
class DockArea;
class DockTab;
class QMimeData;

// The payload format: "dockdata" and this process's id, so that drags never cross processes.
[[nodiscard]] QString dock_mime_format();
// The 8 payload bytes naming a node (its address in machine byte order).
[[nodiscard]] QByteArray dock_payload_bytes(const BaseDockWidget *node);
// The live node the payload bytes name, or null: 7 bytes or fewer, or an address that is no live node of the
// registry (forged, or deleted during the drag), give null.
[[nodiscard]] BaseDockWidget *dock_from_payload(const QByteArray &bytes);
// The node that a drop's payload carries: a live node of this process that is out of every tree, as the node
// of a running drag is; null for anything else (another format or process, short data, a node in a tree).
[[nodiscard]] BaseDockWidget *dragged_dock_from(const QMimeData *data);

// Drags the node out of its area: detaches it, runs the drag, closes floating windows emptied meanwhile, and
// floats the node at the mouse when the drag ended nowhere. The drag's parent is the area's top-level area.
void start_dock_drag(BaseDockWidget *node, DockArea *area, int offset_x);
// Inserts the node as a page of the tab group (index -1: after the last visible child) and makes it current.
void insert_tab_page(DockArea *area, BaseDockWidget *node, DockTab *tab_group, int index);

// Drop codes of drop_dock.
enum dock_drop_code_t : int
{
  dock_drop_float = 0,
  dock_drop_tab = 1,
  dock_drop_split_left = 2,
  dock_drop_split_right = 3,
  dock_drop_split_above = 4,
  dock_drop_split_below = 5,
  dock_drop_edge_left = 6,
  dock_drop_edge_right = 7,
  dock_drop_edge_top = 8,
  dock_drop_edge_bottom = 9,
};

// An arrow at the middle of an area's edge: dropping on it docks along that edge of the whole area.
class DockArrow : public QWidget
{
  Q_OBJECT

public:
  // code: 1 up, 2 down, 3 left, 4 right.
  DockArrow(DockArea *area, int code);

  DockArea *const area;
  const int code;
  const int drop_code;
  QImage image;

protected:
  void paintEvent(QPaintEvent *event) override;
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dragLeaveEvent(QDragLeaveEvent *event) override;
  void dropEvent(QDropEvent *event) override;
};

// The cross of five zones over the dock under a drag: tab with it, or split it left, right, above, below.
class DockArrowArea : public QWidget
{
  Q_OBJECT

public:
  explicit DockArrowArea(DockArea *area);

  // The zone (1 centre, 2 left, 3 right, 4 top, 5 bottom; 0 none) at a point of the image, centre first.
  [[nodiscard]] int zone_at(const QPoint &point) const;

  DockArea *const area;
  QImage image;
  int zone = 0;
  // The zones' rectangles in the image's coordinates, indexed by drop code - 1 (empty without an image).
  std::array<QRect, 5> zones {};

protected:
  void paintEvent(QPaintEvent *event) override;
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dragLeaveEvent(QDragLeaveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

private:
  void track_zone(const QPoint &point);
};
