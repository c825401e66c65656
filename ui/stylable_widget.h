// The stylable widget mixin: named colour properties that style sheets set and that a widget writes back out.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <QColor>
#include <QtPlugin>

#include <cstdint>

// One property of a widget's static table: its style-sheet name, a label for people, its default (ABGR).
struct style_property_desc_t
{
  const char *name;
  const char *description;
  uint32_t default_value;
};

// Property ids: 0x8113E200 plus the position in the table. The widgets' Qt property accessors use ids.
constexpr uint32_t style_property_id_base = 0x8113E200;
// A table reaching this many properties is internal error 40665.
constexpr size_t style_property_limit = 256;

// Flags of append_qproperty_entry.
constexpr uint32_t qproperty_prefix = 1;       // write "qproperty-" in front
constexpr uint32_t qproperty_hyphenate = 2;    // every '_' of the entry becomes '-'

// Colours are stored as ABGR (red in the low byte); Qt's QRgb is ARGB. The conversion is its own inverse.
[[nodiscard]] constexpr uint32_t swap_red_blue(uint32_t colour)
{
  return (colour & 0xFF00FF00u) | ((colour & 0xFFu) << 16) | ((colour >> 16) & 0xFFu);
}

// The store behind a widget's theme-settable properties: one 32-bit value per entry of the widget's table,
// in table order, starting at the defaults. A plain base next to the widget's Qt base; the widget answers
// qobject_cast<stylable_widget_mixin_t *> with it (Q_INTERFACES). Promises: at most 255 properties; a
// position or id outside the table reads 0 and writes nothing.
class stylable_widget_mixin_t
{
public:
  // Copies the table (count entries; 256 or more is internal error 40665). style_class, normally the
  // widget's Qt class name, must outlive the mixin; null means none.
  stylable_widget_mixin_t(const style_property_desc_t *table, size_t count, const char *style_class);
  virtual ~stylable_widget_mixin_t();
  stylable_widget_mixin_t(const stylable_widget_mixin_t &) = delete;
  stylable_widget_mixin_t &operator=(const stylable_widget_mixin_t &) = delete;

  // The class name used in style-sheet text (empty when none).
  virtual void style_class_name(qstring *out) const;
  // Appends "class", "{", each entry that differs from the reference with four blanks in front, "}"; nothing
  // when no entry differs.
  virtual void style_sheet_lines(qvector<qstring> *lines, const stylable_widget_mixin_t &reference) const;
  // The entries that differ from the reference; the base gives the colour entries.
  virtual void collect_style_entries(qvector<qstring> *entries, const stylable_widget_mixin_t &reference) const;
  // "qproperty-<name>: <colour text>;" for each property whose value differs from the reference's, in table
  // order. A reference with another property count is internal error 40670.
  virtual void collect_color_entries(qvector<qstring> *entries, const stylable_widget_mixin_t &reference) const;

  // The stored value of a position (by_position) or id; 0 outside the table.
  [[nodiscard]] uint32_t int_property(uint32_t index, bool by_position) const;
  [[nodiscard]] QColor color_property(uint32_t index, bool by_position) const;
  // Stores the colour as ABGR; nothing outside the table.
  void set_color_property(uint32_t index, const QColor &colour, bool by_position);

  [[nodiscard]] size_t style_property_count() const { return values_.size(); }
  [[nodiscard]] const style_property_desc_t &style_property(size_t position) const { return descriptors_[position]; }

  // Appends ["qproperty-"]<name>": "<value>";" to text; with qproperty_hyphenate every '_' of what it
  // appends becomes '-'.
  static void append_qproperty_entry(qstring *text, const char *name, int value, uint32_t flags);
  // A colour as style-sheet text: the first of Qt's colour names with exactly this value (alpha included),
  // else "#RRGGBB" when opaque, else "rgba(r, g, b, a)" with a = alpha / 255 in six decimals and a point
  // whatever the locale.
  [[nodiscard]] static qstring color_text(uint32_t value);

private:
  // The position a position or id names, or -1 outside the table.
  [[nodiscard]] ptrdiff_t position_of(uint32_t index, bool by_position) const;

  qvector<uint32_t> values_;
  qvector<style_property_desc_t> descriptors_;
  const char *style_class_; // not owned
};

Q_DECLARE_INTERFACE(stylable_widget_mixin_t, "stylable_widget_mixin_t")
