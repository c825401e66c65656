// Where a dock goes: the placement record of presenting, floating and reopening a dock.
#pragma once

#include "core/json_value.h"
#include "core/qstring.h"

#include <QByteArray>
#include <QPoint>
#include <QSize>

class BaseDockWidget;

// Placement bits; in a remembered record they stand at bit 0, in the options word of show_as_dock at bit 16.
enum dock_placement_bits_t : uint32_t
{
  dock_place_left = 0x01,
  dock_place_above = 0x02,
  dock_place_right = 0x04,
  dock_place_below = 0x08,
  dock_place_new_tab_group = 0x10,
  dock_place_tab_before = 0x20,
  dock_place_as_tab = 0x40,
  dock_place_floating = 0x80,
  dock_place_size_from_hint = 0x100,
};
// Bits of the show_as_dock options word outside the placement field.
inline constexpr uint32_t dock_use_remembered_placement = 0x4;
inline constexpr uint32_t dock_anchor_is_root = 0x20000000;
inline constexpr int dock_placement_shift = 16;
inline constexpr uint32_t dock_placement_mask = 0xFFF;

// The placement record of a dock. Promises: a default record places nothing (no anchor, options 0, no floating
// geometry).
struct dock_options_t
{
  qstring anchor;               // UTF-8 title of the dock beside which to place
  json_object_t widget_config;  // configuration entries for the content
  QPoint float_pos;             // the floating window's position
  QSize float_size;             // its size; invalid when unset
  QByteArray float_geometry;    // its saved geometry (saveGeometry); may be empty
  uint32_t options = 0;         // placement bits (or the show_as_dock options word)

  // Fills the record with the node's present place so that it can be reopened there: the floating window of
  // an only leaf (0x80), else the neighbour leaf as anchor with the side or tab bits. A leaf's widget
  // configuration is collected first. False without a node, outside an area, or when no neighbour leaf
  // describes the place.
  [[nodiscard]] bool remember_placement(BaseDockWidget *node);
  // Whether a floating geometry is known: saved bytes or a valid size.
  [[nodiscard]] bool has_float_geometry() const { return !float_geometry.isEmpty() || float_size.isValid(); }
};
