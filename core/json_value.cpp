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

// Frees v's tree and leaves every value of it empty. Children go first, one by one, so no destructor below v
// ever meets an unknown tag: whoever frees explicitly gets the error. Answers whether an unknown tag was met;
// such a slot is emptied and its payload, of unknown kind, left alone.
bool release_tree(json_value_t *v) noexcept
{
  bool unknown = false;
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
      for ( json_member_t &m : *v->u.obj )
        unknown |= release_tree(&m.value);
      delete v->u.obj;
      break;
    case JSON_ARRAY:
      for ( json_value_t &e : *v->u.arr )
        unknown |= release_tree(&e);
      delete v->u.arr;
      break;
    default:
      unknown = true;
      break;
  }
  v->tag = JSON_NONE;
  v->u.i = 0;
  return unknown;
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

json_value_t &json_value_t::operator=(json_value_t &&other)
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
  // A destructor cannot hand the error to a caller: an unknown tag met here takes the fatal path even on a
  // thread that asked for thrown internal errors. Code that may hold one frees with json_free first.
  if ( release_tree(this) )
  {
    set_interr_throws(0);
    interr(1315);
  }
}

void json_free(json_value_t *v)
{
  if ( release_tree(v) )
    interr(1315);
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
  bool unknown = false;
  for ( json_member_t &m : *members )
    unknown |= release_tree(&m.value);
  members->release();
  if ( unknown )
    interr(1315);
}

void release_json_value_vector(jarr_t *values)
{
  bool unknown = false;
  for ( json_value_t &e : *values )
    unknown |= release_tree(&e);
  values->release();
  if ( unknown )
    interr(1315);
}
