// Small builders of JSON values for the framework's stored forms (desktops, geometry, closed docks).
#pragma once

#include "core/json_value.h"

#include <cstdint>
#include <utility>

inline json_value_t json_int_value(int64_t number)
{
  json_value_t value;
  json_value_set_int(&value, number);
  return value;
}

inline json_value_t json_bool_value(bool flag)
{
  json_value_t value;
  value.tag = JSON_BOOL;
  value.u.b = flag ? 1 : 0;
  return value;
}

inline json_value_t json_string_value(const char *text)
{
  json_value_t value;
  json_set_string(&value, new qstring(text));
  return value;
}

// An empty object or array.
inline json_value_t json_object_value()
{
  json_value_t value;
  value.tag = JSON_OBJECT;
  value.u.obj = new json_object_t;
  return value;
}

inline json_value_t json_array_value()
{
  json_value_t value;
  value.tag = JSON_ARRAY;
  value.u.arr = new jarr_t;
  return value;
}

// Appends a member (keys may repeat).
inline void add_json_member(json_object_t *object, const char *key, json_value_t value)
{
  json_member_t *member = json_object_append_member(object);
  member->key = key;
  member->value = std::move(value);
}
