// The private record of a dock area, shared by the area's tree, presentation and drag-and-drop sources.
#pragma once

#include "ui/docks/dock_area.h"

#include <QPointer>
#include <QTimer>

#include <array>

class QRubberBand;
class DockArrow;
class DockArrowArea;

struct dock_area_private_t
{
  BaseDockWidget *root = nullptr; // a direct child of the area; null as soon as it leaves
  DockArrowArea *arrow_area = nullptr;      // child
  std::array<DockArrow *, 4> arrows {};     // children: up, down, left, right
  QTimer hide_timer;                         // single shot, 500 ms after a drag left a target
  QRubberBand *drop_marker = nullptr;       // child
  QPointer<BaseDockWidget> drop_target;      // the dock under a drag
  bool update_idle = true;                   // no deferred update is pending
  int top_offset = 0;
  DockAreaDragTitle *drag_title = nullptr;  // child; shown in floating areas
  bool destroying = false;                   // set by the destructor: an area going away closes nothing
};

// Floating areas that lost their last dock while a drag ran; closed after the drag (GUI thread only).
[[nodiscard]] QList<QPointer<DockArea>> &deferred_close();
