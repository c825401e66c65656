// JSON values: a tagged value owning its payload, objects as ordered member lists, arrays as value vectors.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstddef>
#include <cstdint>

struct json_value_t;
struct json_member_t;

// Members in insertion order; keys may repeat and there is no index.
using json_object_t = qvector<json_member_t>;
// Elements in order.
using jarr_t = qvector<json_value_t>;

// Kinds of value. A tag above JSON_DOUBLE is internal error 1315 wherever a value is freed.
enum json_tag_t : uint32_t
{
  JSON_NONE = 0,    // empty slot, not a JSON value
  JSON_INT = 1,     // signed 64-bit integer
  JSON_STRING = 2,  // owned heap qstring
  JSON_OBJECT = 3,  // owned heap json_object_t
  JSON_ARRAY = 4,   // owned heap jarr_t
  JSON_BOOL = 5,    // byte 0 or 1
  JSON_NULL = 6,
  JSON_DOUBLE = 7,  // IEEE double
};

// A tag and a 64-bit payload slot. Promises: the value owns everything below it; copying is deep; freeing
// (explicitly or by destruction) releases the whole tree and leaves tag JSON_NONE; safe to relocate bytewise.
// Builders may fill tag and payload directly, with payloads allocated by new.
struct json_value_t
{
  union payload_t
  {
    int64_t i;
    qstring *str;
    json_object_t *obj;
    jarr_t *arr;
    uint8_t b;
    double d;
  };

  uint32_t tag = JSON_NONE;
  payload_t u { 0 };

  json_value_t() = default;
  json_value_t(const json_value_t &other);
  json_value_t(json_value_t &&other) noexcept;
  json_value_t &operator=(const json_value_t &other);
  // Frees what this value held, which may raise internal error 1315.
  json_value_t &operator=(json_value_t &&other);
  ~json_value_t();
};

// One member of an object: its key, then its value.
struct json_member_t
{
  qstring key;
  json_value_t value;
};

template <>
inline constexpr bool qvector_relocatable<json_value_t> = true;
template <>
inline constexpr bool qvector_relocatable<json_member_t> = true;

// Frees the payload recursively and resets the value to tag JSON_NONE; a value already empty stays so. An
// unknown tag anywhere in the tree is internal error 1315, raised once the rest of the tree is freed and the
// value is empty. The destructor frees the same way but cannot pass the error on: it takes the fatal path.
void json_free(json_value_t *v);

// Makes dst a deep copy of src (a src of tag JSON_NONE leaves dst empty) and frees what dst held. src may be
// dst itself or lie inside it.
void json_copy(json_value_t *dst, const json_value_t *src);

// Replace any old payload.
void json_value_set_int(json_value_t *v, int64_t value);
// Takes ownership of the heap string (allocated by new); null stores an empty string.
void json_set_string(json_value_t *v, qstring *str);

// Accessors: each wants one tag and raises its internal error for any other.
int64_t json_value_as_int(const json_value_t *v);             // tag 1, else 1277
const char *json_get_string(const json_value_t *v);           // tag 2 ("" when empty), else 1278
json_object_t *json_value_as_object(const json_value_t *v);   // tag 3, else 1279
jarr_t *json_as_array(const json_value_t *v);                 // tag 4, else 1280
uint8_t json_value_as_bool(const json_value_t *v);            // tag 5, else 1281
double json_value_as_double(const json_value_t *v);           // tag 7, else 2928

// Appends a member with an empty key and an empty value and returns it.
json_member_t *json_object_append_member(json_object_t *obj);
// Appends an empty value and returns it.
json_value_t *jarr_append_slot(jarr_t *arr);

// The value of the first member whose key equals `key` byte for byte. Null when there is none, or when
// required_tag is not 0 and that first match has another tag (later members with the same key are not
// looked at).
json_value_t *json_object_find(json_object_t *obj, const char *key, uint32_t required_tag);
const json_value_t *json_object_find(const json_object_t *obj, const char *key, uint32_t required_tag);

// Inserts deep copies of the members in [first, last) before index `position` and returns the member now at
// that index. The range may lie inside obj.
json_member_t *json_insert_members(json_object_t *obj, size_t position, const json_member_t *first,
                                   const json_member_t *last);

// Destroy a member vector (every key and value, then the array) or a value vector; both are left empty.
// An unknown tag in any value is internal error 1315, raised after everything is freed.
void json_members_free(json_object_t *members);
void release_json_value_vector(jarr_t *values);
