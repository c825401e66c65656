// Desktop layouts: the JSON form of the whole arrangement of docks and windows, its checks, and the walks that
// write a dock tree out and build one back.
#pragma once

#include "core/json_value.h"
#include "core/qstring.h"

#include <QByteArray>
#include <QHash>
#include <QPointer>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

class QObject;
class QWidget;
class BaseDockWidget;

// Request codes of the UI callback sent while a desktop is applied.
inline constexpr int32_t ui_code_form_widget_docked = 62;        // (widget with form_activate(), dock content, null)
inline constexpr int32_t ui_code_widget_for_desktop_name = 171; // (name, const json_object_t *config) -> QWidget*

// What apply_desktop accepts: a stored desktop beyond these is refused before anything changes. No real
// desktop comes near them; they keep a small text from building an unbounded number of windows and widgets.
inline constexpr int desktop_max_depth = 32;        // nesting of layout nodes, an area's root counting 1
inline constexpr int desktop_max_leaves = 1024;     // leaf names over all areas
inline constexpr int desktop_max_composites = 1024; // splitters and tab groups over all areas
inline constexpr int desktop_max_floating = 64;     // floating areas
// A "window_state" that inflates beyond this is not used (the main window's state is a few hundred bytes).
inline constexpr size_t desktop_max_window_state = 256 * 1024;
// A "closed_docks" object with more members is not read (the list stays empty).
inline constexpr size_t desktop_max_closed_docks = 4096;

// One parsed desktop. Promises: `value` is empty or a JSON object; has_layout tells whether that object has a
// "layout" member.
struct desktop_config_t
{
  json_value_t value;
  bool has_layout = false;

  // Parses JSON text; true when it is an object, which is then adopted. False leaves the record as it was.
  [[nodiscard]] bool parse_json(const char *text);
  // Stores an object: internal error 40613 when the record holds a value already; false, storing nothing,
  // when the value is not an object.
  bool adopt(json_value_t object);
  // The object, null for an empty record.
  [[nodiscard]] const json_object_t *object() const;
};

// The desktop's "layout" object; null for an empty record, without "layout", or when it is not an object.
[[nodiscard]] const json_object_t *desktop_layout_object(const desktop_config_t &desktop);

// Checks what applying the desktop would meet: it must be an object with a "layout" object whose "main" (when
// present) is an object and "floating" (when present) an array of objects; every composite node that is read
// (type "vsplit", "hsplit", "tabs", or none) needs a "children" array; nesting, leaves, composites and floating
// areas stay within the bounds above. False with *problem telling the first fault found. What the reader
// tolerates (unknown composite types, children of other JSON types, bad partitions, geometry, window state,
// widget configuration or closed docks) passes.
[[nodiscard]] bool check_desktop(const desktop_config_t &desktop, qstring *problem);

// Restores the window's geometry from the area object's "area_geom" (the window-geometry object); false
// without one, when it does not convert, or when the window refuses the bytes.
bool restore_area_geometry(const json_value_t &area, QWidget *window);

// The "window_state" text of the main window's state: compressed, two upper-case hexadecimal digits per byte.
// False when compression fails.
[[nodiscard]] bool encode_window_state(const QByteArray &state, qstring *text);
// The state of a "window_state" value: a string of hexadecimal pairs (either case, the whole text used) that
// inflates to at most desktop_max_window_state bytes. False for anything else.
[[nodiscard]] bool decode_window_state(const json_value_t *text, QByteArray *state);

// The configuration object of each node of the trees being built: a composite's layout object, a leaf's
// "widgets_config" member. A node without an entry is configured with an empty object.
using widget_tree_config_t = QHash<const QObject *, const json_object_t *>;

// The layout value of a dock subtree: a leaf's title, a composite's object ("index" for tab groups, "type",
// "children", "partitions" and "hide_handles" for splitters), or tag JSON_NONE when the subtree gives nothing.
// Every leaf appends one member to *widgets_config, keyed by its title: "hidden": true first when the dock is
// hidden, then what the widget adds through IGetWidgetConfigEvent; the member may be empty
// (prune_widgets_config drops the members that tell nothing).
[[nodiscard]] json_value_t save_layout_tree(json_object_t *widgets_config, BaseDockWidget *node);
// Drops the empty members that save_layout_tree wrote, keeping an empty one only where a later member of the
// same name has content: the n-th leaf of a name is paired with the n-th member of that name when read.
void prune_widgets_config(json_object_t *widgets_config);

// Builds dock trees from layout nodes while a desktop is applied.
// Promises: each widget stands in at most one leaf; a widget comes first from the widgets kept from before
// (by generic title), then from the UI callback (code 171), then from the registered desktop widget factories
// in registration order; the n-th leaf of a name gets the n-th "widgets_config" member of that name.
class layout_reader_t
{
public:
  // widgets_config may be null; kept are the widgets taken out of the docks before the desktop is applied.
  layout_reader_t(const json_object_t *widgets_config, std::vector<QPointer<QWidget>> kept);

  // The subtree of a node: a composite of a known type with the children that gave a node (null when none
  // did), a leaf dock around a place holder of the leaf's widget, or null for any other value, an unknown type
  // (with a warning) or a name that no widget answers.
  BaseDockWidget *load_layout_tree(const json_value_t &node);

  // Whether the widget was placed by a leaf.
  [[nodiscard]] bool placed(const QWidget *widget) const;
  [[nodiscard]] const std::vector<QPointer<QWidget>> &kept() const { return kept_; }

  widget_tree_config_t tree_config;
  int place_holders = 0;

private:
  BaseDockWidget *load_composite(const json_object_t &object);
  BaseDockWidget *load_leaf(const char *name);
  QWidget *widget_for(const char *name, const json_object_t *config);

  std::vector<QPointer<QWidget>> kept_;
  std::vector<const QWidget *> placed_;
  std::map<std::string, std::vector<const json_object_t *>> configs_; // "widgets_config" members by name
  std::map<std::string, size_t> leaves_seen_;                          // leaves read so far, by name
  json_object_t empty_;
};

// Configures a built tree: splitter partitions and handles, the current tab of each tab group, hidden leaves.
void apply_tree_layout(BaseDockWidget *root, const widget_tree_config_t &config);
// Puts every leaf's widget in place of its place holder, hands it its configuration and announces the form
// widgets of the dock (code 62).
void swap_place_holders(BaseDockWidget *root, const widget_tree_config_t &config);
