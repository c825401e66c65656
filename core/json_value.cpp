// JSON value ownership: freeing, deep copies, typed access and member lookup.
#include "core/json_value.h"

#include "core/internal_error.h"

#include <string_view>
#include <utility>

namespace {

// A deep copy of src's payload under src's tag.
json_value_t::payload_t copy_payload(const json_value_t &src)
{
  json_value_t::payload_t u = src.u;
  switch ( src.tag )
  {
    case JSON_STRING:
      u.str = new qstring(*src.u.str);
      break;
    case JSON_OBJECT:
      u.obj = new json_object_t(*src.u.obj);
      break;
    case JSON_ARRAY:
      u.arr = new jarr_t(*src.u.arr);
      break;
    default:
      break;
  }
  return u;
}

} // namespace

json_value_t::json_value_t(const json_value_t &other) : tag(other.tag), u(copy_payload(other))
{
}

json_value_t::json_value_t(json_value_t &&other) noexcept : tag(std::exchange(other.tag, JSON_NONE)), u(other.u)
{
  other.u.i = 0;
}

json_value_t &json_value_t::operator=(const json_value_t &other)
{
  json_copy(this, &other);
  return *this;
}

json_value_t &json_value_t::operator=(json_value_t &&other) noexcept
{
  if ( this != &other )
  {
    // other may live inside this value: detach it before freeing.
    json_value_t taken(std::move(other));
    json_free(this);
    tag = std::exchange(taken.tag, JSON_NONE);
    u = taken.u;
  }
  return *this;
}

json_value_t::~json_value_t()
{
  json_free(this);
}

void json_free(json_value_t *v)
{
  switch ( v->tag )
  {
    case JSON_NONE:
    case JSON_INT:
    case JSON_BOOL:
    case JSON_NULL:
    case JSON_DOUBLE:
      break;
    case JSON_STRING:
      delete v->u.str;
      break;
    case JSON_OBJECT:
      delete v->u.obj;
      break;
    case JSON_ARRAY:
      delete v->u.arr;
      break;
    default:
      interr(1315);
  }
  v->tag = JSON_NONE;
  v->u.i = 0;
}

void json_copy(json_value_t *dst, const json_value_t *src)
{
  if ( dst == src )
    return;
  // Copy first: src may be part of what dst is about to free.
  json_value_t copy(*src);
  json_free(dst);
  dst->tag = std::exchange(copy.tag, JSON_NONE);
  dst->u = copy.u;
}

void json_value_set_int(json_value_t *v, int64_t value)
{
  json_free(v);
  v->tag = JSON_INT;
  v->u.i = value;
}

void json_set_string(json_value_t *v, qstring *str)
{
  if ( str == nullptr )
    str = new qstring;
  json_free(v);
  v->tag = JSON_STRING;
  v->u.str = str;
}

int64_t json_value_as_int(const json_value_t *v)
{
  if ( v->tag != JSON_INT )
    interr(1277);
  return v->u.i;
}

const char *json_get_string(const json_value_t *v)
{
  if ( v->tag != JSON_STRING )
    interr(1278);
  return v->u.str->c_str();
}

json_object_t *json_value_as_object(const json_value_t *v)
{
  if ( v->tag != JSON_OBJECT )
    interr(1279);
  return v->u.obj;
}

jarr_t *json_as_array(const json_value_t *v)
{
  if ( v->tag != JSON_ARRAY )
    interr(1280);
  return v->u.arr;
}

uint8_t json_value_as_bool(const json_value_t *v)
{
  if ( v->tag != JSON_BOOL )
    interr(1281);
  return v->u.b;
}

double json_value_as_double(const json_value_t *v)
{
  if ( v->tag != JSON_DOUBLE )
    interr(2928);
  return v->u.d;
}

json_member_t *json_object_append_member(json_object_t *obj)
{
  return &obj->emplace_back();
}

json_value_t *jarr_append_slot(jarr_t *arr)
{
  return &arr->emplace_back();
}

json_value_t *json_object_find(json_object_t *obj, const char *key, uint32_t required_tag)
{
  const std::string_view wanted(key);
  for ( json_member_t &m : *obj )
  {
    if ( m.key.view() == wanted )
      return required_tag == JSON_NONE || m.value.tag == required_tag ? &m.value : nullptr;
  }
  return nullptr;
}

const json_value_t *json_object_find(const json_object_t *obj, const char *key, uint32_t required_tag)
{
  return json_object_find(const_cast<json_object_t *>(obj), key, required_tag);
}

json_member_t *json_insert_members(json_object_t *obj, size_t position, const json_member_t *first,
                                   const json_member_t *last)
{
  if ( first == last )
    return obj->data() + position;
  // qvector::insert copies the range before it moves anything, so a range inside obj is safe.
  return &obj->insert(position, first, last);
}

void json_members_free(json_object_t *members)
{
  members->release();
}

void release_json_value_vector(jarr_t *values)
{
  values->release();
}
