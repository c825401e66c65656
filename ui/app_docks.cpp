// The application object's share of the docks: the top-level dock area, presenting, closing, hiding and raising
// hosted widgets, the closed-docks memory of closing docks, docks closed on request and by Escape, saving the
// widgets' states and full screen.
#include "ui/app_base.h"

#include "core/internal_error.h"
#include "ui/action_context.h"
#include "ui/desktop_layout.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_widget.h"
#include "ui/layout_helpers.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include <algorithm>

void app_t::set_top_level_dock_area(TopLevelDockArea *area)
{
  if ( area == nullptr || top_level_dock_area_.watched() != nullptr )
    interr(2566);
  top_level_dock_area_.watch_object(area);
  connect(area, &TopLevelDockArea::closeEventReceived, this, &app_t::on_dock_close_event);
  connect(area, &TopLevelDockArea::user_request_docks_deletion, this, &app_t::on_user_docks_deletion_request);
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

// ---- Closing on request and by Escape --------------------------------------------------------------------------

void app_t::on_user_docks_deletion_request(QList<DockWidget *> docks, uint32_t options)
{
  if ( is_full_screen() )
  {
    // The saved desktop comes back with the widgets in new docks: raise those.
    QList<QPointer<QWidget>> contents;
    for ( DockWidget *dock : docks )
      contents.append(dock_content(dock, true));
    leave_full_screen();
    for ( const QPointer<QWidget> &content : contents )
      if ( content != nullptr )
        raise_widget_dock(content, false);
    return;
  }
  // Closing a floating window asks twice within one event, the second time for every dock it held: the docks
  // the first request closed are left alone until the event loop comes round again.
  QList<QPointer<DockWidget>> pending;
  for ( DockWidget *dock : docks )
    if ( dock != nullptr && !closed_by_request_.contains(dock) )
      pending.append(dock);
  if ( pending.isEmpty() )
    return;
  if ( closed_by_request_.isEmpty() )
    QTimer::singleShot(0, this, [this] { closed_by_request_.clear(); });

  TopLevelDockArea *area = top_level_dock_area();
  const bool updates = area != nullptr && area->updatesEnabled();
  if ( area != nullptr )
    area->set_updates_enabled_all(false);
  for ( const QPointer<DockWidget> &dock : pending )
  {
    ISaveStateEvent save;
    if ( dock != nullptr )
      send_event_to_widget_tree(dock, &save);
  }
  for ( const QPointer<DockWidget> &dock : pending )
  {
    if ( dock == nullptr )
      continue;
    closed_by_request_.append(dock);
    if ( is_close_persistent(dock_content(dock)) )
      hide_hosted_widget(dock);
    else
      close_plain_widget(dock, options | 8);
  }
  if ( area != nullptr && updates )
    area->set_updates_enabled_all(true);
}

bool app_t::close_dock_on_escape(QObject *receiver, QEvent *event)
{
  auto *key = static_cast<QKeyEvent *>(event);
  if ( key->key() != Qt::Key_Escape || key->isAccepted() || !receiver->isWidgetType() )
    return false;
  if ( qobject_cast<BaseDockWidget *>(receiver) != nullptr )
  {
    key->accept();
    return true;
  }
  auto *widget = static_cast<QWidget *>(receiver);
  const uint32_t flags = widget_close_flags(widget);
  const bool closes =
    (flags & close_flag_by_esc) != 0 || ((flags & close_flag_never_by_esc) == 0 && close_by_esc_default);
  // Only docks close by Escape: a widget outside every dock is not the application's to delete.
  DockWidget *dock = enclosing_dock_widget(widget);
  if ( !closes || dock == nullptr )
    return false;
  close_hosted_widget(dock, 0);
  key->accept();
  return true;
}

// ---- Saving the widgets' states ----------------------------------------------------------------------------------

void app_t::save_widget_states(bool force)
{
  leave_full_screen();
  TopLevelDockArea *area = top_level_dock_area();
  const bool updates = area != nullptr && area->updatesEnabled();
  if ( area != nullptr )
    area->set_updates_enabled_all(false);
  {
    layout_batch_t batch;
    QList<QPointer<DockWidget>> leaves;
    for ( DockWidget *dock : leaf_dock_widgets() )
      leaves.append(dock);
    for ( const QPointer<DockWidget> &dock : leaves )
    {
      ISaveStateEvent save;
      if ( dock != nullptr )
        send_event_to_widget_tree(dock, &save);
    }
    for ( int i = int(leaves.size()) - 1; i >= 0; --i )
    {
      DockWidget *dock = leaves[i];
      if ( dock == nullptr )
        continue;
      QWidget *content = dock_content(dock);
      if ( is_close_persistent(content) || (!force && is_close_kept(content)) )
        continue;
      close_plain_widget(dock, 0);
    }
  }
  if ( area != nullptr && updates )
    area->set_updates_enabled_all(true);
  QCoreApplication::sendPostedEvents();
}

// ---- Full screen ---------------------------------------------------------------------------------------------------

bool app_t::enter_full_screen(DockWidget *dock)
{
  if ( dock == nullptr )
    dock = focused_dock();
  if ( dock == nullptr )
    return false;
  if ( is_full_screen() )
  {
    // The saved desktop comes back with the widget in a new dock: that one goes full screen.
    QPointer<QWidget> content = dock_content(dock, true);
    leave_full_screen();
    dock = enclosing_dock_widget(content);
    if ( dock == nullptr )
      return false;
  }
  TopLevelDockArea *area = top_level_dock_area();
  if ( area == nullptr )
    return false;
  auto saved = std::make_unique<desktop_config_t>();
  (void)save_desktop(*saved);
  full_screen_desktop_ = std::move(saved);
  full_screen_area_ = area->full_screen_dock(dock);
  return true;
}

bool app_t::leave_full_screen()
{
  TopLevelDockArea *area = top_level_dock_area();
  if ( !is_full_screen() || area == nullptr )
    return false;
  DockWidget *focused = DockArea::focused_dock_widget();
  QPointer<QWidget> content = dock_content(focused, true);
  // Taken first: applying the saved desktop leaves full screen behind.
  const std::unique_ptr<desktop_config_t> saved = std::move(full_screen_desktop_);
  (void)apply_desktop(*saved, 3);
  // The full-screen window may be where this call came from (its exit button, its close): deleted later.
  if ( QWidget *window = full_screen_area_.data() )
  {
    window->hide();
    window->deleteLater();
  }
  full_screen_area_.clear();
  if ( content != nullptr )
  {
    content->activateWindow();
    raise_widget_dock(content, true);
  }
  return true;
}
