// The application object's share of the docks: the top-level dock area, presenting, closing, hiding and raising
// hosted widgets, and the closed-docks memory of closing docks.
#include "ui/app_base.h"

#include "core/internal_error.h"
#include "ui/action_context.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_widget.h"
#include "ui/layout_helpers.h"

#include <QCloseEvent>

void app_t::set_top_level_dock_area(TopLevelDockArea *area)
{
  if ( area == nullptr || top_level_dock_area_.watched() != nullptr )
    interr(2566);
  top_level_dock_area_.watch_object(area);
  connect(area, &TopLevelDockArea::closeEventReceived, this, &app_t::on_dock_close_event);
}

TopLevelDockArea *app_t::top_level_dock_area() const
{
  return top_level_dock_area_.watched_as<TopLevelDockArea>();
}

QObject *app_t::close_flags_holder_default(QWidget *widget)
{
  return widget;
}

void app_t::close_hosted_widget(QWidget *widget, uint32_t flags)
{
  if ( widget == nullptr )
    return;
  BaseDockWidget *dock = qobject_cast<BaseDockWidget *>(widget);
  if ( dock == nullptr )
    dock = enclosing_dock_widget(widget);
  if ( dock == nullptr )
  {
    close_plain_widget(widget, flags);
    return;
  }
  if ( DockArea *area = enclosing_dock_area(dock) )
  {
    QCloseEvent event;
    area->closeTree(dock, &event, flags);
    return;
  }
  if ( dock_container_of(dock) == nullptr )
    close_plain_widget(dock, flags);
}

void app_t::close_plain_widget(QWidget *widget, uint32_t flags)
{
  if ( widget == nullptr )
    return;
  if ( (flags & 2) == 0 && focused_dock() != nullptr && focused_dock() == enclosing_dock_widget(widget) )
    refresh_actions_for(UPDACT_DEACTIVATING, nullptr, nullptr);
  QEvent closing(QEvent::Type(2002));
  auto *dock = qobject_cast<DockWidget *>(widget);
  send_event_to_widget_tree(dock != nullptr && dock_content(dock) != nullptr ? dock_content(dock) : widget,
                            &closing);
  if ( auto *node = qobject_cast<BaseDockWidget *>(widget) )
    DockArea::detach_docked(node);
  if ( (flags & 8) != 0 )
    widget->deleteLater();
  else
    delete widget;
}

void app_t::hide_hosted_widget(QWidget *widget)
{
  DockArea::hide_docked_widget(widget);
}

DockWidget *_base_app_mixin_t::present_widget(QWidget *widget, const dock_options_t *placement)
{
  TopLevelDockArea *area = app()->top_level_dock_area();
  return area != nullptr ? area->show_as_dock(widget, placement) : nullptr;
}

bool app_t::raise_widget_dock(QWidget *widget, bool activate)
{
  TopLevelDockArea *area = top_level_dock_area();
  DockWidget *dock = enclosing_dock_widget(widget);
  if ( area == nullptr || dock == nullptr )
    return false;
  area->raise_dock(dock, activate ? 1 : 0);
  return true;
}

DockWidget *app_t::focused_dock()
{
  return enclosing_dock_widget(focused_core_widget());
}

bool app_t::closed_dock_entry_of_widget(closed_dock_t *out, QWidget *widget)
{
  QString title;
  if ( widget == nullptr || !query_generic_title(title, widget) )
    return false;
  const closed_dock_t *entry = closed_dock_entry(title.toUtf8().constData(), false);
  if ( entry == nullptr )
    return false;
  *out = *entry;
  return true;
}

void app_t::on_dock_close_event(BaseDockWidget *dock, QCloseEvent * /*event*/)
{
  // The widget collector: each leaf with a generic title gets its place remembered.
  struct widget_collector_t : DockWidgetVisitor
  {
    app_t *app;
    bool keep_geometry = true;
    std::vector<qstring> titles;
    int visit(BaseDockWidget *node) override
    {
      if ( !node->is_leaf() )
        return 0;
      QWidget *content = dock_content(static_cast<DockWidget *>(node), true);
      QString title;
      if ( content == nullptr || !app->query_generic_title(title, content) )
        return 0;
      dock_options_t placement;
      if ( !placement.remember_placement(node) )
        return 0;
      if ( !placement.has_float_geometry() )
        keep_geometry = false;
      const qstring name(title.toUtf8().constData());
      closed_dock_entry(name.c_str(), true)->placement = std::move(placement);
      titles.push_back(name);
      return 0;
    }
  } collector;
  collector.app = this;
  walk(dock, collector);
  // Docks closed together forget their floating place; a dock closed alone keeps its window's.
  if ( collector.titles.size() > 1 || !collector.keep_geometry )
  {
    for ( const qstring &name : collector.titles )
    {
      closed_dock_t *entry = closed_dock_entry(name.c_str(), false);
      entry->placement.float_pos = QPoint(0, 0);
      entry->placement.float_size = QSize();
      entry->placement.float_geometry.clear();
    }
  }
}
