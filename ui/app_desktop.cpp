// The application object's share of desktops: saving the whole arrangement, applying a stored one, and the
// main window's part of a stored desktop before the window is first shown.
#include "ui/app_base.h"

#include "core/byte_cursor.h"
#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "ui/desktop_layout.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_widget.h"
#include "ui/json_build.h"
#include "ui/main_window.h"
#include "ui/widget_factory.h"
#include "ui/window_geometry.h"

#include <vector>

namespace {

// The area object of a dock area's tree with its window's geometry, or tag JSON_NONE when the tree gives
// nothing.
json_value_t area_object(json_object_t *widgets_config, DockArea *area)
{
  json_value_t object = save_layout_tree(widgets_config, area->root());
  if ( object.tag != JSON_OBJECT )
    return {};
  const QByteArray bytes = area->window()->saveGeometry();
  byte_buffer_t blob;
  bytevec_append(&blob, bytes.constData(), size_t(bytes.size()));
  json_value_t geometry = geometry_blob_to_json(blob);
  if ( geometry.tag != JSON_NONE )
    add_json_member(object.u.obj, "area_geom", std::move(geometry));
  return object;
}

} // namespace

bool app_t::save_desktop(desktop_config_t &out)
{
  leave_full_screen();
  json_value_t desktop = json_object_value();
  json_value_t widgets_config = json_object_value();
  json_value_t layout = json_object_value();
  if ( TopLevelDockArea *top = top_level_dock_area() )
  {
    json_value_t main = area_object(widgets_config.u.obj, top);
    if ( main.tag != JSON_NONE )
      add_json_member(layout.u.obj, "main", std::move(main));
    json_value_t floating = json_array_value();
    for ( DockArea *area : top->floating_areas() )
    {
      json_value_t object = area_object(widgets_config.u.obj, area);
      if ( object.tag != JSON_NONE )
        *jarr_append_slot(floating.u.arr) = std::move(object);
    }
    if ( !floating.u.arr->empty() )
      add_json_member(layout.u.obj, "floating", std::move(floating));
  }
  add_json_member(desktop.u.obj, "layout", std::move(layout));
  prune_widgets_config(widgets_config.u.obj);
  if ( !widgets_config.u.obj->empty() )
    add_json_member(desktop.u.obj, "widgets_config", std::move(widgets_config));

  DockWidget *focus_dock = enclosing_dock_widget(focused_core_widget());
  if ( focus_dock == nullptr )
    focus_dock = enclosing_dock_widget(recent_focused_widget(3));
  QString focus;
  if ( focus_dock != nullptr && query_generic_title(focus, dock_content(focus_dock, true)) )
    add_json_member(desktop.u.obj, "focus", json_string_value(focus.toUtf8().constData()));

  if ( ui_main_window_t *window = main_window() )
  {
    qstring state;
    if ( encode_window_state(window->saveState(1), &state) )
      add_json_member(desktop.u.obj, "window_state", json_string_value(state.c_str()));
  }
  if ( !closed_docks().empty() )
    add_json_member(desktop.u.obj, "closed_docks", write_closed_docks());
  return out.adopt(std::move(desktop));
}

void app_t::restore_main_window(const desktop_config_t &desktop)
{
  const json_object_t *layout = desktop_layout_object(desktop);
  const json_value_t *main = layout != nullptr ? json_object_find(layout, "main", JSON_OBJECT) : nullptr;
  ui_main_window_t *window = main_window();
  if ( main == nullptr || window == nullptr )
    return;
  restore_area_geometry(*main, window);
  window->restore_menubar_from_desktop(*desktop.object());
  // A saved desktop keeps its toolbars in "window_state", applied with the rest of the desktop; without a list
  // here the toolbars stay as the window was built instead of all being hidden until then.
  if ( json_object_find(desktop.object(), "default_toolbars", 0) != nullptr )
    window->restore_toolbars_from_desktop(*desktop.object());
}

void app_t::on_desktop_layout_built(const desktop_config_t & /*desktop*/)
{
}

void app_t::on_dock_inserted(DockWidget * /*dock*/, ComplexDockWidget * /*container*/)
{
}

namespace {

// Reads the closed docks of a desktop (a list that does not read, or that is too long, leaves none); unless
// `with_defaults` is false, the entries of the default desktop whose names are not listed yet are added.
void read_desktop_closed_docks(const json_object_t &desktop, const desktop_config_t *defaults)
{
  closed_docks().clear();
  const json_value_t *closed = json_object_find(&desktop, "closed_docks", JSON_OBJECT);
  if ( closed != nullptr && closed->u.obj->size() <= desktop_max_closed_docks )
    (void)read_closed_docks(*closed->u.obj);
  if ( defaults == nullptr )
    return;
  const json_value_t *default_closed = json_object_find(defaults->object(), "closed_docks", JSON_OBJECT);
  if ( default_closed == nullptr || default_closed->u.obj->size() > desktop_max_closed_docks )
    return;
  std::vector<closed_dock_t> own = std::move(closed_docks());
  closed_docks().clear();
  const bool read = read_closed_docks(*default_closed->u.obj);
  std::vector<closed_dock_t> added = std::move(closed_docks());
  closed_docks() = std::move(own);
  if ( !read )
    return;
  for ( closed_dock_t &entry : added )
    if ( closed_dock_entry(entry.name.c_str(), false) == nullptr )
      closed_docks().push_back(std::move(entry));
}

} // namespace

bool app_t::apply_desktop(const desktop_config_t &desktop, uint32_t flags)
{
  // Everything the steps below rely on is checked before anything changes: a stored desktop comes from outside.
  qstring problem;
  if ( !check_desktop(desktop, &problem) )
  {
    log_printf("The desktop layout cannot be applied: %s\n", problem.c_str());
    return false;
  }
  const json_object_t &object = *desktop.object();
  const json_object_t &layout = *desktop_layout_object(desktop);

  desktop_config_t defaults;
  if ( (flags & 4) == 0 && default_desktop_layout(defaults) && defaults.object() == nullptr )
    interr(1279);
  read_desktop_closed_docks(object, defaults.object() != nullptr ? &defaults : nullptr);

  if ( (flags & 1) == 0 )
    save_widget_states(false);

  // The widgets left in docks are taken out; a leaf of their name takes them back.
  std::vector<QPointer<QWidget>> kept;
  for ( DockWidget *dock : leaf_dock_widgets() )
    if ( QWidget *content = dock_content(dock) )
      kept.emplace_back(content);
  for ( const QPointer<QWidget> &widget : kept )
  {
    if ( widget == nullptr )
      interr(40345);
    widget->setParent(nullptr);
  }

  TopLevelDockArea *top = top_level_dock_area();
  ui_main_window_t *window = main_window();
  const json_value_t *widgets_config = json_object_find(&object, "widgets_config", JSON_OBJECT);
  layout_reader_t reader(widgets_config != nullptr ? widgets_config->u.obj : nullptr, kept);
  {
    notify_bracket_t notify;
    layout_batch_t batch;
    applying_desktop = true;
    struct applying_t
    {
      bool &flag;
      ~applying_t() { flag = false; }
    } applying {applying_desktop};
    reader.tree_config.insert(window, &layout);

    std::vector<DockArea *> areas;
    if ( const json_value_t *main = json_object_find(&layout, "main", 0); main != nullptr && top != nullptr )
    {
      if ( window != nullptr && !restore_area_geometry(*main, window) )
        window->showMaximized();
      top->set_root(reader.load_layout_tree(*main));
      areas.push_back(top);
    }
    const json_value_t *floating = json_object_find(&layout, "floating", 0);
    if ( floating != nullptr && top != nullptr )
    {
      for ( const json_value_t &element : *floating->u.arr )
      {
        DockArea *area = top->new_floating_area(nullptr);
        area->resize(400, 400);
        restore_area_geometry(element, area);
        area->set_root(reader.load_layout_tree(element));
        if ( area->countDockWidgets(false) == 0 )
          delete area;
        else
          areas.push_back(area);
      }
    }

    if ( window != nullptr )
    {
      QByteArray state;
      if ( !decode_window_state(json_object_find(&object, "window_state", 0), &state) ||
           !window->restoreState(state, 1) )
        window->restore_toolbars_from_desktop(object);
      window->restore_menubar_from_desktop(object);
    }

    for ( DockArea *area : areas )
      apply_tree_layout(area->root(), reader.tree_config);
    on_desktop_layout_built(desktop);
    for ( DockArea *area : areas )
      swap_place_holders(area->root(), reader.tree_config);
    for ( DockArea *area : areas )
    {
      area->simplify_root();
      if ( BaseDockWidget *root = area->root() )
        root->show();
      area->show();
    }

    // The widgets the new desktop leaves out go by their close flags.
    for ( const QPointer<QWidget> &widget : reader.kept() )
    {
      if ( widget == nullptr || reader.placed(widget) )
        continue;
      const uint32_t close_flags = widget_close_flags(widget);
      if ( (close_flags & close_flag_persistent) != 0 || widget->parentWidget() != nullptr )
        continue;
      if ( (close_flags & close_flag_kept) == 0 )
      {
        widget->deleteLater();
        continue;
      }
      if ( top == nullptr )
        continue;
      closed_dock_t entry;
      const bool floating_place = closed_dock_entry_of_widget(&entry, widget) &&
                                  (entry.placement.options & dock_place_floating) != 0;
      DockWidget *dock = get_widget_factory()->new_dock_widget(widget, 0);
      top->float_dock(dock, floating_place ? &entry.placement : nullptr, false);
    }

    if ( window != nullptr )
      window->show();

    if ( (flags & 2) == 0 && top != nullptr )
    {
      DockWidget *focus = nullptr;
      if ( const json_value_t *name = json_object_find(&object, "focus", JSON_STRING) )
        focus = top->find_dock_widget(QString::fromUtf8(json_get_string(name)));
      if ( focus == nullptr )
        focus = enclosing_dock_widget(default_focus_widget());
      if ( focus != nullptr )
        top->raise_dock(focus, 1);
    }
  }
  // The new desktop is laid out before anyone measures or saves it.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  return true;
}
