// ZXL objects: the reference-counted attribute map, cloning, and the release protocol with destructor runs.
#pragma once

#include "script/runtime/zxl_value.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

// Orders names by unsigned bytes, then by length (a prefix first); looks up by string_view without a copy.
struct zxl_name_less
{
  using is_transparent = void;
  // Inline, byte by byte: names are short, and a library call per comparison dominated lookups.
  bool operator()(std::string_view a, std::string_view b) const
  {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for ( size_t i = 0; i < n; ++i )
      if ( a[i] != b[i] )
        return uint8_t(a[i]) < uint8_t(b[i]);
    return a.size() < b.size();
  }
};

using zxl_attribute_map_t = std::map<std::string, zxl_value_t, zxl_name_less>;

// An object. Promises: `refs` counts the values that hold it (1 at creation); when it reaches 0 the
// destructors of its classes run and it is freed unless one of them kept it; the class index is always below
// the class count at creation (else 0). Attribute slots stay where they are while the map changes elsewhere.
// Objects are not locked: one object must not be used by two threads at once.
struct zxl_object_t
{
  zxl_attribute_map_t attributes; // owns every value in it
  int32_t refs = 1;
  int32_t class_index = 0;
};

// A new object of the class with no attributes and count 1 (a class index not in the class table gives 0).
zxl_object_t *zxl_object_new(int32_t class_index);
// Drops one reference. At 0: for each class from the object's own upwards (class 0 excepted) that has a
// destructor, the count is raised by 32, the engine's destructor runner runs it (when one is installed), and
// the count is lowered by 32; a destructor that kept a reference ends the walk and the object lives on.
// Otherwise the object and its attributes are freed; a long chain of objects each held only by the one
// before is freed in a loop, never by recursion on the machine stack.
void zxl_object_release(zxl_object_t *object);
// An OBJECT slot becomes a new object of the same class, count 1, with copies of every attribute (shared
// sub-objects stay shared); any other value is copied onto itself.
void zxl_object_clone(zxl_value_t *slot);
// The attribute's value slot, inserted as LONG 0 when missing.
zxl_value_t *zxl_attr_slot(zxl_object_t *object, std::string_view name);
// The attribute's value slot, or null.
zxl_value_t *zxl_find_attr(zxl_object_t *object, std::string_view name);
