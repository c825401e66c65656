// How the client's lists and trees keep their column widths, visible columns and tree state in the registry.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "views/chooser/chooser_factory.h"
#include "views/dirtree/dirtree_persistence.h"

#include <cstdint>
#include <vector>

class QWidget;
class chooser_widget_t;

// A chooser helper made for no widget.
inline constexpr int32_t INTERR_PERSISTENCE_WITHOUT_WIDGET = 80145;

// Registry value names of a view's state, built from its name.
inline constexpr char column_widths_suffix[] = "_column_widths";
inline constexpr char columns_visible_suffix[] = "_columns_visible";
inline constexpr char widget_state_subkey[] = "widget_state";

// Column widths as stored: little-endian 32-bit integers, one per column. False (out untouched) when the length
// is not a multiple of 4.
[[nodiscard]] bool decode_column_widths(const byte_buffer_t &bytes, std::vector<int32_t> *out);
[[nodiscard]] byte_buffer_t encode_column_widths(const std::vector<int32_t> &widths);

// A chooser's state, kept under its generic title, so every "History of " window shares one set of values and
// so does every "Commit #" window. Promise: stored values that cannot be read are reported once per read and
// leave the widget's defaults. It keeps no tree mode (read and write answer false).
class akui_chooser_persistence_helper_t : public chooser_persistence_helper_t
{
public:
  // Internal error 80145 without a widget.
  explicit akui_chooser_persistence_helper_t(chooser_widget_t *widget);

  // True with the widths (none when nothing is stored) unless the stored value is damaged: then false,
  // reported once.
  bool read_column_widths(std::vector<int32_t> *widths) override;
  // True when a binary value exists.
  bool read_columns_visible(byte_buffer_t *bytes) override;
  bool write_column_widths(const std::vector<int32_t> &widths) override;
  bool write_columns_visible(const byte_buffer_t &bytes) override;

  [[nodiscard]] const qstring &name() const { return name_; }

private:
  qstring name_;
};

// A directory-tree view's state, kept under its window title; the encoded tree state goes to the subkey
// "widget_state". Every read is true only when a usable stored value existed.
class akui_dirtree_widget_persistence_helper_t : public dirtree_widget_persistence_helper_t
{
public:
  explicit akui_dirtree_widget_persistence_helper_t(QWidget *view);

  bool load_state(byte_buffer_t *out) override;
  bool load_column_widths(std::vector<int32_t> *out) override;
  bool load_columns_visible(byte_buffer_t *out) override;
  bool store_state(const byte_buffer_t &bytes) override;
  bool store_column_widths(const std::vector<int32_t> &widths) override;
  bool store_columns_visible(const byte_buffer_t &bytes) override;

  [[nodiscard]] const qstring &name() const { return name_; }

private:
  qstring name_;
};
