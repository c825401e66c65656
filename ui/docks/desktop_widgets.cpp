// What ties desktop names to widgets and keeps per-widget state across desktops: the desktop widget factories,
// the widget-configuration events, the close flags and the process-wide list of closed docks.
#include "ui/docks/desktop_widgets.h"

#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "ui/app_base.h"
#include "ui/json_build.h"
#include "ui/layout_helpers.h"
#include "ui/window_geometry.h"

#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cstring>
#include <limits>

// ---- Desktop widget factories ----------------------------------------------------------------------------------

namespace {

std::vector<desktop_widget_factory_t *> &factories()
{
  static std::vector<desktop_widget_factory_t *> list;
  return list;
}

const char *checked_title(const char *title)
{
  if ( title == nullptr || *title == '\0' )
    interr(40611);
  return title;
}

} // namespace

title_desktop_widget_factory_t::title_desktop_widget_factory_t(const char *factory_title, int exact_match)
  : title(checked_title(factory_title)), exact(exact_match)
{
}

bool title_desktop_widget_factory_t::matches(const char *name, const json_object_t * /*config*/) const
{
  if ( name == nullptr )
    return false;
  const std::string_view text(name);
  return exact != 0 ? text == title.view() : text.substr(0, title.size()) == title.view();
}

void register_desktop_widget_factory(desktop_widget_factory_t *factory)
{
  auto &list = factories();
  if ( std::find(list.begin(), list.end(), factory) != list.end() )
    interr(40612);
  list.push_back(factory);
}

const std::vector<desktop_widget_factory_t *> &desktop_widget_factories()
{
  return factories();
}

// ---- Widget configuration ---------------------------------------------------------------------------------------

void collect_widget_config(QWidget *widget, json_object_t *out)
{
  IGetWidgetConfigEvent event;
  if ( ui_callback != nullptr )
    ui_callback(ui_code_get_widget_config, widget, &event.members);
  send_event_to_widget_tree(widget, &event);
  for ( const json_member_t &member : event.members )
    out->push_back(member);
}

void set_widget_config(QWidget *widget, const json_object_t *object)
{
  ISetWidgetConfigEvent event(object);
  if ( ui_callback != nullptr )
    ui_callback(ui_code_set_widget_config, widget, object);
  send_event_to_widget_tree(widget, &event);
}

// ---- Close flags ----------------------------------------------------------------------------------------------

QObject *close_flags_holder(QWidget *widget)
{
  if ( widget == nullptr )
    return nullptr;
  QWidget *w = widget;
  for ( int depth = 0; depth < 4 && w != nullptr; ++depth, w = w->parentWidget() )
    if ( w->property("close_flags").isValid() )
      return w;
  app_t *app = current_app();
  return app != nullptr ? app->close_flags_holder_default(widget) : widget;
}

uint32_t widget_close_flags(QWidget *widget)
{
  const QObject *holder = close_flags_holder(widget);
  if ( holder == nullptr )
    return 0;
  const QVariant value = holder->property("close_flags");
  return value.type() == QVariant::Int || value.type() == QVariant::UInt ? value.toUInt() : 0;
}

uint32_t set_widget_close_flags(QWidget *widget, uint32_t flags)
{
  if ( QObject *holder = close_flags_holder(widget) )
    holder->setProperty("close_flags", int(flags & close_flags_mask));
  return flags & ~close_flags_mask;
}

bool is_close_kept(QWidget *widget)
{
  return (widget_close_flags(widget) & close_flag_kept) != 0;
}

bool is_close_persistent(QWidget *widget)
{
  return (widget_close_flags(widget) & close_flag_persistent) != 0;
}

// ---- Closed docks ----------------------------------------------------------------------------------------------

std::vector<closed_dock_t> &closed_docks()
{
  static std::vector<closed_dock_t> list;
  return list;
}

closed_dock_t *closed_dock_entry(const char *name, bool create, size_t *index)
{
  auto &list = closed_docks();
  for ( size_t i = 0; i < list.size(); ++i )
  {
    if ( list[i].name == name )
    {
      if ( index != nullptr )
        *index = i;
      return &list[i];
    }
  }
  if ( !create )
    return nullptr;
  list.push_back(closed_dock_t {qstring(name), dock_options_t {}});
  if ( index != nullptr )
    *index = list.size() - 1;
  return &list.back();
}

namespace {

// The int member of that key as a 32-bit number: absent (false, ok untouched), present and fitting (true), or
// present but not an int or out of range (ok cleared).
bool int_member(const json_object_t &object, const char *key, int64_t low, int64_t high, int64_t *out, bool *ok)
{
  const json_value_t *value = json_object_find(&object, key, 0);
  if ( value == nullptr )
    return false;
  if ( value->tag != JSON_INT )
    return false;
  const int64_t number = json_value_as_int(value);
  if ( number < low || number > high )
  {
    *ok = false;
    return false;
  }
  *out = number;
  return true;
}

constexpr int64_t int32_low = std::numeric_limits<int32_t>::min();
constexpr int64_t int32_high = std::numeric_limits<int32_t>::max();

bool read_placement(const json_object_t &object, dock_options_t *placement)
{
  bool ok = true;
  int64_t options = 0;
  if ( !int_member(object, "options", 0, std::numeric_limits<uint32_t>::max(), &options, &ok) )
    return false;
  placement->options = uint32_t(options);
  if ( const json_value_t *anchor = json_object_find(&object, "anchor", JSON_STRING) )
    placement->anchor = json_get_string(anchor);
  if ( (placement->options & dock_place_floating) == 0 )
    return true;
  const json_value_t *floating = json_object_find(&object, "floating", 0);
  if ( floating == nullptr || floating->tag != JSON_OBJECT )
    return false;
  const json_object_t &place = *json_value_as_object(floating);
  bool described = false;
  if ( const json_value_t *geometry = json_object_find(&place, "window_geom", 0);
       geometry != nullptr && geometry->tag == JSON_OBJECT )
  {
    if ( !plausible_geometry_json(*geometry) )
      return false;
    const byte_buffer_t blob = geometry_json_to_blob(*geometry);
    placement->float_geometry = QByteArray(reinterpret_cast<const char *>(blob.data()), int(blob.size()));
    placement->float_pos = QPoint(0, 0);
    placement->float_size = QSize();
    described = true;
  }
  int64_t x = 0;
  if ( int_member(place, "x", int32_low, int32_high, &x, &ok) )
  {
    described = true;
    int64_t y = 0;
    int64_t width = 0;
    int64_t height = 0;
    const bool has_y = int_member(place, "y", int32_low, int32_high, &y, &ok);
    const bool has_width = int_member(place, "width", int32_low, int32_high, &width, &ok);
    const bool has_height = int_member(place, "height", int32_low, int32_high, &height, &ok);
    if ( has_y && has_width && has_height )
    {
      if ( !plausible_window_rect(x, y, width, height) )
        return false;
      placement->float_pos = QPoint(int(x), int(y));
      placement->float_size = QSize(int(width), int(height));
    }
  }
  return ok && described;
}

} // namespace

bool read_closed_docks(const json_object_t &object)
{
  std::vector<closed_dock_t> list;
  for ( const json_member_t &member : object )
  {
    if ( member.value.tag != JSON_OBJECT )
      return false;
    closed_dock_t entry {member.key, dock_options_t {}};
    if ( !read_placement(*json_value_as_object(&member.value), &entry.placement) )
      return false;
    list.push_back(std::move(entry));
  }
  closed_docks() = std::move(list);
  return true;
}

namespace {

json_value_t placement_object(const dock_options_t &placement)
{
  json_value_t result = json_object_value();
  json_object_t *object = result.u.obj;
  add_json_member(object, "options", json_int_value(placement.options));
  if ( !placement.anchor.empty() )
    add_json_member(object, "anchor", json_string_value(placement.anchor.c_str()));
  if ( (placement.options & dock_place_floating) != 0 )
  {
    json_value_t floating = json_object_value();
    byte_buffer_t blob;
    for ( char byte : placement.float_geometry )
      blob.push_back(uint8_t(byte));
    json_value_t geometry = geometry_blob_to_json(blob);
    if ( geometry.tag != JSON_NONE )
      add_json_member(floating.u.obj, "window_geom", std::move(geometry));
    if ( placement.float_size.isValid() )
    {
      add_json_member(floating.u.obj, "x", json_int_value(placement.float_pos.x()));
      add_json_member(floating.u.obj, "y", json_int_value(placement.float_pos.y()));
      add_json_member(floating.u.obj, "width", json_int_value(placement.float_size.width()));
      add_json_member(floating.u.obj, "height", json_int_value(placement.float_size.height()));
    }
    add_json_member(object, "floating", std::move(floating));
  }
  return result;
}

} // namespace

json_value_t write_closed_docks()
{
  json_value_t result = json_object_value();
  json_object_t *object = result.u.obj;
  for ( const closed_dock_t &entry : closed_docks() )
  {
    json_value_t value = placement_object(entry.placement);
    // A later entry of the same name replaces the member written before.
    bool replaced = false;
    for ( json_member_t &member : *object )
    {
      if ( member.key == entry.name )
      {
        member.value = std::move(value);
        replaced = true;
        break;
      }
    }
    if ( !replaced )
      add_json_member(object, entry.name.c_str(), std::move(value));
  }
  return result;
}
