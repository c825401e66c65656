// The dock policies on top of the tree engine: presenting a widget as a dock, floating windows, full screen,
// closing docks and floating windows, and remembering a closed dock's place.
#include "ui/docks/dock_area.h"

#include "core/internal_error.h"
#include "ui/app_base.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/docks/dock_area_p.h"
#include "ui/docks/dock_containers.h"
#include "ui/docks/dock_drag_title.h"
#include "ui/docks/dock_widget.h"
#include "ui/object_lifecycle_monitor.h"
#include "ui/widget_factory.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QSplitter>

namespace {

QRect screen_rect_of(const QWidget *widget)
{
  const QScreen *screen = widget->screen();
  if ( screen == nullptr )
    screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry() : QRect(0, 0, 1024, 768);
}

// Every leaf of the subtree, in pre-order.
QList<DockWidget *> leaves_of(BaseDockWidget *node)
{
  QList<DockWidget *> leaves;
  struct collector : DockWidgetVisitor
  {
    QList<DockWidget *> *out;
    int visit(BaseDockWidget *n) override
    {
      if ( n->is_leaf() )
        out->append(static_cast<DockWidget *>(n));
      return 0;
    }
  } visitor;
  visitor.out = &leaves;
  walk(node, visitor);
  return leaves;
}

// The first leaf of a subtree, or null.
DockWidget *first_leaf(BaseDockWidget *node)
{
  const QList<DockWidget *> leaves = leaves_of(node);
  return leaves.isEmpty() ? nullptr : leaves.first();
}

// Moves the focus out of a node that is about to close, to the nearest visible sibling before it, else after.
void focus_neighbour(BaseDockWidget *node)
{
  ComplexDockWidget *container = dock_container_of(node);
  if ( container == nullptr )
    return;
  const int i = container->index_of(node);
  int found = -1;
  bool before = true;
  for ( int k = i - 1; k >= 0 && found < 0; --k )
    if ( !container->child_at(k)->hidden )
      found = k;
  if ( found < 0 )
  {
    before = false;
    for ( int k = i + 1; k < container->child_count() && found < 0; ++k )
      if ( !container->child_at(k)->hidden )
        found = k;
  }
  if ( found < 0 )
    return;
  container->set_current(found);
  BaseDockWidget *sibling = container->child_at(found);
  DockWidget *leaf = sibling->is_leaf() ? static_cast<DockWidget *>(sibling) : first_leaf(sibling);
  focus_dock_content(leaf, before ? Qt::BacktabFocusReason : Qt::TabFocusReason);
}

} // namespace

// ---- Floating windows -----------------------------------------------------------------------------------------

DockArea *DockArea::new_floating_area(const dock_options_t *geometry)
{
  DockArea *top = this;
  while ( auto *parent = qobject_cast<DockArea *>(top->parentWidget()) )
    top = parent;
  auto *area = new DockArea(top);
  area->setWindowFlags(area->windowFlags() | Qt::Tool);
  area->d->drag_title->show();
  area->d->drag_title->collapse();
  area->layout_root();
  if ( geometry != nullptr )
  {
    if ( !geometry->float_geometry.isEmpty() )
    {
      area->restoreGeometry(geometry->float_geometry);
    }
    else if ( geometry->float_size.isValid() )
    {
      const QRect screen = screen_rect_of(top);
      QSize size = geometry->float_size;
      if ( size.width() == 0 )
        size.setWidth(screen.width() / 2);
      if ( size.height() == 0 )
        size.setHeight(screen.height() / 2);
      area->move(geometry->float_pos);
      area->resize(size);
    }
  }
  return area;
}

DockArea *DockArea::float_dock(BaseDockWidget *node, const dock_options_t *record, bool expand_title)
{
  layout_batch_t batch;
  dock_options_t fallback;
  if ( record == nullptr || !record->has_float_geometry() )
  {
    const QRect screen = screen_rect_of(this);
    fallback.float_pos = QPoint(screen.width() / 4, screen.height() / 4);
    fallback.float_size = node->size();
    record = &fallback;
  }
  DockArea *area = new_floating_area(record);
  area->dock_at_edge(node, dock_edge_right);
  if ( BaseDockWidget *root = area->root() )
  {
    area->setWindowTitle(root->title());
    area->setWindowIcon(root->icon());
  }
  area->show();
  if ( expand_title )
    area->d->drag_title->expand_for_a_while();
  return area;
}

DockArea *DockArea::full_screen_dock(BaseDockWidget *node)
{
  dock_options_t record;
  record.float_pos = node->mapToGlobal(QPoint(0, 0));
  record.float_size = node->size();
  DockArea *area = float_dock(node, &record, false);
  area->showFullScreen();
  area->d->drag_title->expand_for_a_while();
  return area;
}

void DockArea::check_floating_empty()
{
  if ( !is_floating() || d->destroying )
    return;
  if ( countDockWidgets(true) == 0 )
    hide();
  if ( countDockWidgets(false) != 0 )
    return;
  if ( drag_state != drag_idle )
  {
    if ( !deferred_close().contains(this) )
      deferred_close().append(this);
    return;
  }
  setAttribute(Qt::WA_DeleteOnClose);
  close();
}

QList<QPointer<DockArea>> &deferred_close()
{
  static QList<QPointer<DockArea>> areas;
  return areas;
}

// ---- Presenting a widget --------------------------------------------------------------------------------------

DockWidget *DockArea::show_as_dock(QWidget *widget, const dock_options_t *record)
{
  app_t *app = current_app();
  const uint32_t options = record != nullptr ? record->options : 0;
  uint32_t placement = (options >> dock_placement_shift) & dock_placement_mask;
  QString anchor = record != nullptr ? QString::fromUtf8(record->anchor.c_str()) : QString();

  closed_dock_t remembered;
  bool has_remembered = false;
  if ( (options & dock_use_remembered_placement) != 0 && app != nullptr &&
       app->closed_dock_entry_of_widget(&remembered, widget) )
  {
    const QString remembered_anchor = QString::fromUtf8(remembered.placement.anchor.c_str());
    if ( remembered_anchor.isEmpty() )
    {
      placement = remembered.placement.options;
      has_remembered = true;
    }
    else if ( findDockView(remembered_anchor) != nullptr )
    {
      placement = remembered.placement.options;
      anchor = remembered_anchor;
      has_remembered = true;
    }
  }
  const bool sides = (placement & 0xF) != 0;
  const bool docked = sides ? (placement & dock_place_floating) == 0
                            : (placement & (dock_place_new_tab_group | dock_place_as_tab)) != 0;

  DockWidget *dock = nullptr;
  if ( BaseDockWidget *existing = findDockView(widget->windowTitle()); existing != nullptr && existing->is_leaf() )
    dock = static_cast<DockWidget *>(existing);
  object_lifecycle_monitor_t watch;
  if ( dock == nullptr )
  {
    dock = app->get_widget_factory()->new_dock_widget(widget, options & ~dock_use_remembered_placement);
    watch.watch_object(dock);
    if ( has_remembered )
      set_widget_config(dock_content(dock), &remembered.placement.widget_config);
    notify_bracket_t notify;
    if ( !docked )
    {
      float_dock(dock, has_remembered ? &remembered.placement : nullptr, true);
    }
    else
    {
      BaseDockWidget *anchor_dock = nullptr;
      if ( (options & dock_anchor_is_root) != 0 )
        anchor_dock = root();
      if ( anchor_dock == nullptr )
        anchor_dock = find_dock_widget(anchor);
      if ( anchor_dock == nullptr )
        anchor_dock = app->focused_dock();
      if ( anchor_dock == nullptr )
        anchor_dock = enclosing_dock_widget(app->recent_focused_widget(1));
      if ( anchor_dock == dock )
        anchor_dock = nullptr;
      DockArea *anchor_area = anchor_dock != nullptr ? enclosing_dock_area(anchor_dock) : nullptr;
      if ( anchor_dock == nullptr || ((placement & dock_place_as_tab) != 0 && anchor_area == nullptr) )
      {
        dock_at_edge(dock, dock_edge_right);
      }
      else if ( (placement & (dock_place_as_tab | dock_place_new_tab_group)) == 0 )
      {
        if ( anchor_area != nullptr )
          anchor_area->split_dock(dock, anchor_dock, int(placement & (0xF | dock_place_size_from_hint)));
        else
          dock_at_edge(dock, dock_edge_right);
      }
      else if ( anchor_area == nullptr )
      {
        dock_at_edge(dock, dock_edge_right);
      }
      else
      {
        int index = -1;
        if ( auto *tab = qobject_cast<DockTab *>(dock_container_of(anchor_dock)) )
        {
          const int at = tab->index_of(anchor_dock);
          if ( at >= 0 )
            index = (placement & dock_place_tab_before) != 0 ? at : at + 1;
        }
        anchor_area->tabify_dock(dock, anchor_dock, (placement & dock_place_new_tab_group) != 0, index);
      }
    }
  }
  if ( watch.was_destroyed() )
    interr(40345);

  if ( drag_state != drag_running )
  {
    DockArea *area = enclosing_dock_area(dock);
    if ( area == nullptr )
      dock_at_edge(dock, dock_edge_right);
    else if ( area->root() != nullptr )
      area->show_in_area(dock, true);
  }
  if ( watch.was_destroyed() )
    interr(40345);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::Resize);
  return dock;
}

void DockArea::show_in_area(DockWidget *dock, bool activate)
{
  layout_batch_t batch;
  DockWidget *focused = focused_dock_widget();
  DockArea *focused_area = focused != nullptr ? enclosing_dock_area(focused) : nullptr;
  if ( focused_area != nullptr && focused_area != this && focused_area->isFullScreen() && focused != dock )
  {
    if ( BaseDockWidget *group = focused_area->tabify_dock(dock, focused, false, -1) )
    {
      focused_area->activate_dock(group, 0);
      return;
    }
  }
  show_dock_path(dock, true);
  if ( isHidden() )
    show();
  if ( activate )
    dock->activateWindow();
  focus_dock_content(dock, Qt::OtherFocusReason);
}

// ---- Closing --------------------------------------------------------------------------------------------------

void DockArea::emit_close_event(BaseDockWidget *node, QCloseEvent *event)
{
  if ( auto *top = qobject_cast<TopLevelDockArea *>(top_dock_area()) )
    emit top->closeEventReceived(node, event);
}

void DockArea::emit_docks_deletion(const QList<DockWidget *> &docks, uint32_t options)
{
  if ( auto *top = qobject_cast<TopLevelDockArea *>(top_dock_area()) )
    emit top->user_request_docks_deletion(docks, options);
}

void DockArea::closeTree(BaseDockWidget *node, QCloseEvent *event, uint32_t options)
{
  if ( node == nullptr )
    return;
  layout_batch_t batch;
  emit_close_event(node, event);
  QWidget *focus = QApplication::focusWidget();
  if ( focus != nullptr && (node == focus || node->isAncestorOf(focus)) )
    focus_neighbour(node);

  QList<DockWidget *> closed;
  bool refused = false;
  struct closer : DockWidgetVisitor
  {
    QList<DockWidget *> *closed;
    bool *refused;
    int visit(BaseDockWidget *leaf) override
    {
      if ( !leaf->close() )
      {
        *refused = true;
        return 1;
      }
      closed->append(static_cast<DockWidget *>(leaf));
      return 0;
    }
  } visitor;
  visitor.closed = &closed;
  visitor.refused = &refused;
  walk_leaves_reverse(node, visitor);

  for ( DockWidget *leaf : closed )
    if ( DockArea *area = enclosing_dock_area(leaf) )
      area->hide_dock(leaf);
  emit_docks_deletion(closed, options);
  event->setAccepted(!refused);
}

void DockArea::closeEvent(QCloseEvent *event)
{
  if ( !is_floating() )
  {
    QWidget::closeEvent(event);
    return;
  }
  if ( d->root != nullptr )
  {
    const bool was_full_screen = isFullScreen();
    closeTree(d->root, event, 0);
    if ( !event->isAccepted() )
      return;
    if ( !was_full_screen && d->root != nullptr )
      emit_docks_deletion(leaves_of(d->root), 0);
  }
  QWidget::closeEvent(event);
  if ( d->root == nullptr )
    setParent(nullptr);
}

// ---- Remembered placement -------------------------------------------------------------------------------------

bool dock_options_t::remember_placement(BaseDockWidget *node)
{
  DockArea *area = node != nullptr ? enclosing_dock_area(node) : nullptr;
  if ( area == nullptr )
    return false;
  if ( node->is_leaf() )
    if ( QWidget *content = dock_content(static_cast<DockWidget *>(node), true) )
      collect_widget_config(content, &widget_config);
  if ( area->is_floating() && area->countDockWidgets(false) == 1 )
  {
    float_pos = area->pos();
    float_size = area->size();
    float_geometry = area->saveGeometry();
    options = dock_place_floating;
    return true;
  }
  ComplexDockWidget *container = dock_container_of(node);
  const int i = container != nullptr ? container->index_of(node) : -1;
  if ( i < 0 )
    return false;
  BaseDockWidget *neighbour = container->child_at(i > 0 ? i - 1 : i + 1);
  if ( neighbour == nullptr || !neighbour->is_leaf() )
    return false;
  anchor = neighbour->title().toUtf8().constData();
  if ( auto *splitter = qobject_cast<DockSplitter *>(container) )
  {
    const bool horizontal = splitter->orientation() == Qt::Horizontal;
    if ( i > 0 )
      options = horizontal ? dock_place_right : dock_place_below;
    else
      options = horizontal ? dock_place_left : dock_place_above;
    return true;
  }
  options = i > 0 ? dock_place_as_tab : dock_place_as_tab | dock_place_tab_before;
  return true;
}
