// The dock area's tree engine: placement, raising, hiding, detaching, searches and the clean-up pass.
#include "ui/docks/dock_area.h"

#include "core/ui_callback.h"
#include "ui/app_base.h"
#include "ui/docks/dock_area_p.h"
#include "ui/docks/dock_containers.h"
#include "ui/docks/dock_drag.h"
#include "ui/docks/dock_drag_title.h"
#include "ui/docks/dock_widget.h"
#include "ui/main_window.h"
#include "ui/object_lifecycle_monitor.h"

#include <QApplication>
#include <QChildEvent>
#include <QRubberBand>
#include <QSplitter>

#include <exception>
#include <functional>

int layout_batch_depth = 0;
int notify_depth = 0;
int drag_state = drag_idle;

namespace {

// A visitor made of a function, for the walks of the operations below.
class visitor : public DockWidgetVisitor
{
public:
  explicit visitor(std::function<int(BaseDockWidget *)> fn) : fn_(std::move(fn)) {}
  int visit(BaseDockWidget *node) override { return fn_(node); }

private:
  std::function<int(BaseDockWidget *)> fn_;
};

Qt::Orientation orientation_of(int edge_flags)
{
  return (edge_flags & (dock_edge_top | dock_edge_bottom)) != 0 ? Qt::Vertical : Qt::Horizontal;
}

bool goes_after(int edge_flags)
{
  return (edge_flags & (dock_edge_right | dock_edge_bottom)) != 0;
}

// Shares the splitter's length among its children after `node` was inserted: with 0x100 the node gets its
// size hint plus 30 pixels, every other child an equal share of the rest.
void distribute_sizes(DockSplitter *splitter, BaseDockWidget *node, int edge_flags)
{
  const Qt::Orientation orientation = splitter->orientation();
  int total = DockSplitter::length_along(splitter, orientation);
  const int count = splitter->child_count();
  int fixed_index = -1;
  int fixed_size = 0;
  if ( (edge_flags & dock_edge_size_from_hint) != 0 && node != nullptr )
  {
    const QSize hint = node->sizeHint();
    fixed_size = (orientation == Qt::Vertical ? hint.height() : hint.width()) + 30;
    fixed_index = splitter->index_of(node);
    if ( fixed_index >= 0 )
      total -= fixed_size;
  }
  const int shared = count - (fixed_index >= 0 ? 1 : 0);
  const int share = shared > 0 ? total / shared : 0;
  QList<int> sizes;
  for ( int i = 0; i < count; ++i )
    sizes.append(i == fixed_index ? fixed_size : share);
  splitter->splitter()->setSizes(sizes);
}

} // namespace

// ---- Counters -------------------------------------------------------------------------------------------------

layout_batch_t::layout_batch_t() : exceptions_(std::uncaught_exceptions())
{
  ++layout_batch_depth;
}

layout_batch_t::~layout_batch_t() noexcept(false)
{
  struct depth_down_t
  {
    ~depth_down_t() { --layout_batch_depth; }
  } down;
  if ( layout_batch_depth > 1 || std::uncaught_exceptions() > exceptions_ )
    return;
  // The clean-up pass runs at depth 1, so that the changes it makes itself open no pass of their own.
  app_t *app = current_app();
  if ( TopLevelDockArea *top = app != nullptr ? app->top_level_dock_area() : nullptr )
    top->tidy();
}

notify_bracket_t::notify_bracket_t() : exceptions_(std::uncaught_exceptions())
{
  ++notify_depth;
}

notify_bracket_t::~notify_bracket_t() noexcept(false)
{
  if ( --notify_depth > 0 || std::uncaught_exceptions() > exceptions_ )
    return;
  app_t *app = current_app();
  if ( ui_main_window_t *window = app != nullptr ? app->main_window() : nullptr )
    notify_layout_performed(window);
}

// ---- DockArea: construction and geometry -----------------------------------------------------------------------

DockArea::DockArea(QWidget *parent) : QWidget(parent), d(std::make_unique<dock_area_private_t>())
{
  setAcceptDrops(true);
  d->arrow_area = new DockArrowArea(this);
  for ( int code = 1; code <= 4; ++code )
    d->arrows[size_t(code - 1)] = new DockArrow(this, code);
  d->hide_timer.setSingleShot(true);
  d->hide_timer.setInterval(500);
  connect(&d->hide_timer, &QTimer::timeout, this, &DockArea::hideDragArrowsTimeout);
  d->drop_marker = new QRubberBand(QRubberBand::Rectangle, this);
  d->drop_marker->hide();
  d->drag_title = new DockAreaDragTitle(this);
  d->drag_title->hide();
}

DockArea::~DockArea()
{
  d->destroying = true;
  removeAllDocks(true);
}

BaseDockWidget *DockArea::root() const
{
  return d->root;
}

int DockArea::top_offset() const
{
  return d->top_offset;
}

DockAreaDragTitle *DockArea::drag_title() const
{
  return d->drag_title;
}

void DockArea::set_root(BaseDockWidget *node)
{
  if ( node != nullptr && node == d->root )
  {
    layout_root();
    return;
  }
  if ( BaseDockWidget *old = d->root )
  {
    d->root = nullptr;
    old->setParent(nullptr);
    old->deleteLater();
  }
  if ( node != nullptr )
  {
    node->setParent(this);
    d->root = node;
  }
  layout_root();
}

void DockArea::layout_root()
{
  if ( d->root == nullptr )
    return;
  int y = d->top_offset;
  if ( is_floating() )
  {
    d->drag_title->setGeometry(0, 0, width(), d->drag_title->height());
    y += d->drag_title->height();
  }
  d->root->setGeometry(0, y, width(), height() - y);
}

void DockArea::resizeEvent(QResizeEvent *event)
{
  QWidget::resizeEvent(event);
  layout_root();
}

void DockArea::childEvent(QChildEvent *event)
{
  if ( event->type() == QEvent::ChildRemoved && event->child() == d->root )
    d->root = nullptr;
  QWidget::childEvent(event);
}

void DockArea::changeEvent(QEvent *event)
{
  if ( event->type() == QEvent::WindowStateChange )
    log_printf("WindowStateChange %s\n", windowTitle().toUtf8().constData());
  QWidget::changeEvent(event);
}

bool DockArea::is_floating() const
{
  return qobject_cast<DockArea *>(parentWidget()) != nullptr;
}

DockArea *DockArea::top_dock_area()
{
  return top_dock_area_of(this);
}

DockArea *top_dock_area_of(DockArea *area)
{
  if ( area == nullptr )
    return nullptr;
  auto *parent = qobject_cast<DockArea *>(area->parentWidget());
  return parent != nullptr ? parent : area;
}

QList<DockArea *> DockArea::floating_areas() const
{
  QList<DockArea *> areas;
  if ( is_floating() )
    return areas;
  for ( QObject *child : children() )
    if ( child->metaObject() == &DockArea::staticMetaObject )
      areas.append(static_cast<DockArea *>(child));
  return areas;
}

// ---- Deferred update ------------------------------------------------------------------------------------------

void DockArea::request_update()
{
  if ( !d->update_idle )
    return;
  d->update_idle = false;
  QCoreApplication::postEvent(this, new QEvent(QEvent::Type(dock_area_update_event)));
}

bool DockArea::event(QEvent *event)
{
  if ( event->type() == QEvent::Type(dock_area_update_event) )
  {
    if ( !d->update_idle )
      run_deferred_update();
    d->update_idle = true;
    return true;
  }
  return QWidget::event(event);
}

void DockArea::run_deferred_update()
{
  if ( d->root == nullptr )
    return;
  visitor update([](BaseDockWidget *node) {
    if ( node->node_type == dock_tab_node )
      static_cast<DockTab *>(node)->sync_tabs();
    if ( node->is_leaf() )
      static_cast<DockWidget *>(node)->refresh_title_bar();
    else
      static_cast<ComplexDockWidget *>(node)->update_title_bars();
    return 0;
  });
  walk(d->root, update);
  if ( is_floating() )
  {
    setWindowTitle(d->root->title());
    setWindowIcon(d->root->icon());
  }
}

// ---- Placement --------------------------------------------------------------------------------------------------

BaseDockWidget *DockArea::make_dock_visible(BaseDockWidget *node, int edge_flags)
{
  return dock_at_edge(node, edge_flags);
}

BaseDockWidget *DockArea::dock_at_edge(BaseDockWidget *node, int edge_flags)
{
  if ( node == nullptr )
    return nullptr;
  auto *splitter = new DockSplitter(orientation_of(edge_flags));
  if ( BaseDockWidget *old = d->root )
  {
    auto *old_splitter = qobject_cast<DockSplitter *>(old);
    if ( old_splitter != nullptr && old_splitter->child_count() == 1 )
    {
      BaseDockWidget *only = old_splitter->child_at(0);
      splitter->insert_child(splitter->child_count(), only);
    }
    else
    {
      splitter->insert_child(splitter->child_count(), old);
    }
  }
  splitter->setParent(this);
  d->root = splitter;
  layout_root();
  splitter->show();
  splitter->hidden = node->hidden;
  layout_batch_t batch;
  splitter->insert_child(goes_after(edge_flags) ? splitter->child_count() : 0, node);
  distribute_sizes(splitter, node, edge_flags);
  enforceVisibility(splitter);
  return splitter;
}

BaseDockWidget *DockArea::split_dock(BaseDockWidget *node, BaseDockWidget *target, int edge_flags)
{
  if ( node == nullptr || target == nullptr || node == target )
    return nullptr;
  layout_batch_t batch;
  const Qt::Orientation orientation = orientation_of(edge_flags);
  const bool after = goes_after(edge_flags);
  ComplexDockWidget *r = dock_container_of(target);
  if ( r == nullptr )
  {
    // The target is the root: a new splitter root holds it.
    auto *splitter = new DockSplitter(orientation);
    splitter->resize(target->size());
    splitter->insert_child(0, target);
    splitter->setParent(this);
    d->root = splitter;
    layout_root();
    splitter->show();
    r = splitter;
  }
  auto *rs = qobject_cast<DockSplitter *>(r);
  if ( rs != nullptr && rs->orientation() == orientation )
  {
    const int target_index = rs->index_of(target);
    const int node_index = rs->index_of(node);
    int index = target_index + (after ? 1 : 0);
    if ( node_index >= 0 && node_index < target_index )
      --index;
    rs->insert_child(index, node);
    distribute_sizes(rs, node, edge_flags);
    return rs;
  }
  auto *splitter = new DockSplitter(orientation);
  splitter->resize(target->size());
  const int target_index = r->index_of(target);
  r->save_state();
  r->insert_child(target_index, splitter);
  r->set_current(target_index);
  splitter->insert_child(0, target);
  splitter->insert_child(after ? 1 : 0, node);
  distribute_sizes(splitter, node, edge_flags);
  target->show();
  if ( rs != nullptr && isVisible() )
    r->apply_state();
  layout_root();
  return splitter;
}

BaseDockWidget *DockArea::tabify_dock(BaseDockWidget *node, BaseDockWidget *target, bool new_group, int index)
{
  if ( target == nullptr )
    return nullptr;
  ComplexDockWidget *r = dock_container_of(target);
  if ( r == nullptr )
    return nullptr;
  layout_batch_t batch;
  ComplexDockWidget *group = r;
  if ( r->node_type == dock_splitter_node || new_group )
  {
    const int target_index = r->index_of(target);
    if ( target_index < 0 )
      return nullptr;
    auto *tab = new DockTab(-1);
    tab->setBaseSize(r->size());
    r->save_state();
    r->setUpdatesEnabled(false);
    {
      notify_bracket_t notify;
      r->insert_child(target_index, tab);
      r->set_current(target_index);
      tab->insert_child(tab->child_count(), target);
    }
    r->apply_state();
    r->setUpdatesEnabled(true);
    layout_root();
    group = tab;
  }
  if ( node == nullptr )
    return nullptr;
  group->insert_current(index, node);
  return group;
}

// ---- Raising, hiding and detaching ------------------------------------------------------------------------------

void DockArea::raise_dock(BaseDockWidget *node, int mode)
{
  if ( node == nullptr || drag_state == drag_running )
    return;
  if ( !node->is_leaf() && static_cast<ComplexDockWidget *>(node)->child_count() == 0 )
    return;
  DockArea *area = enclosing_dock_area(node);
  if ( area == nullptr )
    dock_at_edge(node, dock_edge_right);
  else
    area->activate_dock(node, mode);
}

void DockArea::activate_dock(BaseDockWidget *node, int mode)
{
  if ( node == nullptr || d->root == nullptr || (drag_state == drag_running && mode != 0) )
    return;
  layout_batch_t batch;
  if ( mode != 0 && node->is_leaf() )
  {
    // In full screen, the dock to show joins the full-screen window as a tab instead of showing elsewhere.
    DockWidget *focused = focused_dock_widget();
    DockArea *focused_area = focused != nullptr ? enclosing_dock_area(focused) : nullptr;
    if ( focused_area != nullptr && focused_area != enclosing_dock_area(node) && focused_area->isFullScreen() &&
         focused != node )
    {
      if ( BaseDockWidget *group = focused_area->tabify_dock(node, focused, false, -1) )
      {
        focused_area->activate_dock(group, 0);
        return;
      }
    }
  }
  show_dock_path(node, mode != 0);
  if ( isHidden() )
    show();
  if ( node->is_leaf() )
  {
    if ( mode == 1 )
      node->activateWindow();
    focus_dock_content(static_cast<DockWidget *>(node), Qt::OtherFocusReason);
  }
}

void DockArea::show_dock_path(BaseDockWidget *node, bool select)
{
  if ( node == nullptr )
    return;
  QList<BaseDockWidget *> path;
  for ( BaseDockWidget *n = node; n != nullptr; n = dock_container_of(n) )
    path.prepend(n);
  for ( int i = 0; i < path.size(); ++i )
  {
    BaseDockWidget *n = path[i];
    n->hidden = false;
    n->setVisible(true);
    if ( select && i + 1 < path.size() && n->node_type == dock_tab_node )
    {
      auto *tab = static_cast<DockTab *>(n);
      tab->sync_tabs();
      tab->set_current(tab->index_of(path[i + 1]));
    }
  }
}

void DockArea::hide_dock(BaseDockWidget *node)
{
  if ( node == nullptr || node->hidden )
    return;
  node->hidden = true;
  node->setVisible(false);
  layout_batch_t batch;
  ComplexDockWidget *container = dock_container_of(node);
  if ( container != nullptr )
  {
    if ( container->visible_child_count() == 0 )
      hide_dock(container);
  }
  else if ( is_floating() )
  {
    hide();
  }
}

void DockArea::hide_docked_widget(QWidget *widget)
{
  if ( drag_state == drag_running )
    return;
  DockWidget *dock = enclosing_dock_widget(widget);
  if ( DockArea *area = enclosing_dock_area(dock) )
    area->hide_dock(dock);
}

void DockArea::detach_dock(BaseDockWidget *node)
{
  if ( node == nullptr )
    return;
  layout_batch_t batch;
  notify_bracket_t notify;
  if ( ComplexDockWidget *container = dock_container_of(node) )
  {
    // An emptied container takes itself out of the area at once (and the root pointer with it).
    const bool was_root = container == d->root;
    node->setParent(nullptr);
    if ( was_root && container->child_count() == 0 )
    {
      if ( container->parentWidget() == this )
        container->setParent(nullptr);
      check_floating_empty();
    }
  }
  else if ( node == d->root )
  {
    node->setParent(nullptr);
    check_floating_empty();
  }
}

void DockArea::detach_docked(BaseDockWidget *node)
{
  if ( DockArea *area = enclosing_dock_area(node) )
    area->detach_dock(node);
}

// ---- Searches and walks -----------------------------------------------------------------------------------------

BaseDockWidget *DockArea::findDockView(const QString &title) const
{
  if ( title.isEmpty() )
    return nullptr;
  BaseDockWidget *found = nullptr;
  visitor leaves([&](BaseDockWidget *node) {
    if ( node->is_leaf() && node->title() == title )
      found = node;
    return found != nullptr ? 1 : 0;
  });
  walk(d->root, leaves);
  if ( found == nullptr && title.contains(QLatin1Char(',')) )
  {
    visitor any([&](BaseDockWidget *node) {
      if ( node->title() == title )
        found = node;
      return found != nullptr ? 1 : 0;
    });
    walk(d->root, any);
  }
  if ( found != nullptr )
    return found;
  for ( DockArea *floating : floating_areas() )
    if ( BaseDockWidget *node = floating->findDockView(title) )
      return node;
  return nullptr;
}

DockWidget *DockArea::find_dock_widget(const QString &title) const
{
  BaseDockWidget *node = findDockView(title);
  return node != nullptr && node->is_leaf() ? static_cast<DockWidget *>(node) : nullptr;
}

int DockArea::countDockWidgets(bool visible_only, BaseDockWidget *node) const
{
  int count = 0;
  visitor counter([&](BaseDockWidget *n) {
    if ( n->is_leaf() && (!visible_only || !n->hidden) )
      ++count;
    return 0;
  });
  walk(node != nullptr ? node : d->root, counter);
  return count;
}

void DockArea::enforceVisibility(BaseDockWidget *node)
{
  visitor show([](BaseDockWidget *n) {
    if ( n->hidden )
      return 0;
    auto *tab = qobject_cast<DockTab *>(dock_container_of(n));
    if ( tab == nullptr || tab->index_of(n) == tab->saved_current )
      n->setVisible(true);
    return 0;
  });
  walk(node, show);
}

void DockArea::removeAllDocks(bool with_floating)
{
  QList<BaseDockWidget *> leaves;
  visitor collect([&](BaseDockWidget *node) {
    if ( node->is_leaf() )
      leaves.append(node);
    return 0;
  });
  walk(d->root, collect);
  for ( BaseDockWidget *leaf : leaves )
    leaf->setParent(nullptr);
  if ( BaseDockWidget *old = d->root )
    old->setParent(nullptr);
  check_floating_empty();
  if ( is_floating() || !with_floating )
    return;
  const QList<DockArea *> areas = floating_areas();
  for ( int i = areas.size() - 1; i >= 0; --i )
  {
    areas[i]->removeAllDocks(false);
    areas[i]->setParent(nullptr);
  }
}

void DockArea::set_updates_enabled_all(bool enabled)
{
  if ( is_floating() )
  {
    top_dock_area()->set_updates_enabled_all(enabled);
    return;
  }
  setUpdatesEnabled(enabled);
  for ( DockArea *floating : floating_areas() )
    floating->setUpdatesEnabled(enabled);
}

DockWidget *DockArea::focused_dock_widget()
{
  return enclosing_dock_widget(QApplication::focusWidget());
}

// ---- The clean-up pass --------------------------------------------------------------------------------------------

// One node rule, tried on the first child that matches; true when it changed the tree.
static bool apply_node_rule(ComplexDockWidget *node)
{
  auto *as_splitter = qobject_cast<DockSplitter *>(node);
  for ( int i = 0; i < node->child_count(); ++i )
  {
    BaseDockWidget *child = node->child_at(i);
    if ( child->node_type == dock_splitter_node )
    {
      auto *inner = static_cast<DockSplitter *>(child);
      if ( inner->child_count() == 1 ||
           (as_splitter != nullptr && as_splitter->orientation() == inner->orientation()) )
      {
        node->absorb_child(inner);
        return true;
      }
      if ( as_splitter != nullptr && node->child_count() == 1 )
      {
        // A lone splitter child of the other orientation: this node takes its orientation and sizes.
        QList<int> sizes = inner->splitter()->sizes();
        sizes.append(0);
        as_splitter->set_orientation(inner->orientation());
        as_splitter->splitter()->setSizes(sizes);
        node->absorb_child(inner);
        return true;
      }
    }
    else if ( child->node_type == dock_tab_node && static_cast<DockTab *>(child)->child_count() == 1 )
    {
      node->absorb_child(child);
      return true;
    }
  }
  return false;
}

bool DockArea::simplify(BaseDockWidget *node)
{
  if ( node == nullptr || node->is_leaf() )
    return false;
  auto *complex = static_cast<ComplexDockWidget *>(node);
  bool changed = false;
  for ( int i = 0; i < complex->child_count(); )
  {
    if ( simplify(complex->child_at(i)) )
    {
      changed = true;
      i = 0; // the children changed: scan them again
      continue;
    }
    ++i;
  }
  if ( apply_node_rule(complex) )
    changed = true;
  return changed;
}

void DockArea::simplify_root()
{
  // Each round shrinks the tree, so the loop ends.
  while ( simplify(d->root) )
  {
  }
}

void DockArea::tidy()
{
  object_lifecycle_monitor_t focus;
  focus.watch_object(QApplication::focusWidget());
  simplify_root();

  auto *root_tab = qobject_cast<DockTab *>(d->root);
  if ( root_tab != nullptr && countDockWidgets(true, root_tab) == 1 )
  {
    // A root tab group showing one dock becomes a splitter of its children.
    auto *splitter = new DockSplitter(Qt::Horizontal);
    splitter->setParent(this);
    d->root = splitter;
    layout_root();
    root_tab->updating = true;
    while ( root_tab->child_count() > 0 )
      splitter->insert_child(splitter->child_count(), root_tab->child_at(0));
    root_tab->updating = false;
    root_tab->setParent(nullptr);
    root_tab->deleteLater();
    splitter->show();
    for ( int i = 0; i < splitter->child_count(); ++i )
      if ( !splitter->child_at(i)->hidden )
        show_dock_path(splitter->child_at(i), false);
    if ( isHidden() )
      show();
  }

  if ( auto *widget = focus.watched_as<QWidget>() )
  {
    DockWidget *dock = enclosing_dock_widget(widget);
    if ( dock != nullptr && !dock->hidden && enclosing_dock_area(dock) != nullptr )
    {
      enclosing_dock_area(dock)->show_dock_path(dock, true);
      widget->setFocus(Qt::OtherFocusReason);
    }
  }
  request_update();
  check_floating_empty();
  for ( DockArea *floating : floating_areas() )
    floating->tidy();
}
