// What a directory-tree view keeps between runs, through a helper the application's widget factory makes.
#pragma once

#include "core/qvector.h"

#include <cstdint>
#include <vector>

// One view's stored state: the encoded view state, its column widths and its column visibility. Every
// operation of the base answers false or does nothing; the application keeps the values (in its settings).
class dirtree_widget_persistence_helper_t
{
public:
  virtual ~dirtree_widget_persistence_helper_t() = default;

  // True when a stored value was read into *out.
  virtual bool load_state(byte_buffer_t * /*out*/) { return false; }
  virtual bool load_column_widths(std::vector<int32_t> * /*out*/) { return false; }
  virtual bool load_columns_visible(byte_buffer_t * /*out*/) { return false; }
  // True when the value was stored.
  virtual bool store_state(const byte_buffer_t & /*bytes*/) { return false; }
  virtual bool store_column_widths(const std::vector<int32_t> & /*widths*/) { return false; }
  virtual bool store_columns_visible(const byte_buffer_t & /*bytes*/) { return false; }
};
