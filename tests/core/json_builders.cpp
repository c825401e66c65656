// Test helpers: JSON value builders and the exact dump.
#include "json_builders.h"

#include <cstdio>

json_value_t jint(int64_t value)
{
  json_value_t v;
  json_value_set_int(&v, value);
  return v;
}

json_value_t jdouble(double value)
{
  json_value_t v;
  v.tag = JSON_DOUBLE;
  v.u.d = value;
  return v;
}

json_value_t jbool(bool value)
{
  json_value_t v;
  v.tag = JSON_BOOL;
  v.u.b = value ? 1 : 0;
  return v;
}

json_value_t jnull()
{
  json_value_t v;
  v.tag = JSON_NULL;
  return v;
}

json_value_t jstr(std::string_view text)
{
  json_value_t v;
  json_set_string(&v, new qstring(text.data(), text.size()));
  return v;
}

json_value_t jarr(std::initializer_list<json_value_t> elements)
{
  json_value_t v;
  v.tag = JSON_ARRAY;
  v.u.arr = new jarr_t;
  for ( const json_value_t &e : elements )
    json_copy(jarr_append_slot(v.u.arr), &e);
  return v;
}

json_value_t jobj(std::initializer_list<std::pair<std::string_view, json_value_t>> members)
{
  json_value_t v;
  v.tag = JSON_OBJECT;
  v.u.obj = new json_object_t;
  for ( const auto &[key, value] : members )
  {
    json_member_t *m = json_object_append_member(v.u.obj);
    m->key.assign(key.data(), key.size());
    json_copy(&m->value, &value);
  }
  return v;
}

namespace {

void dump_text(std::string *out, std::string_view text)
{
  out->push_back('"');
  for ( const char c : text )
  {
    const auto b = static_cast<unsigned char>(c);
    if ( b < 0x20 || b >= 0x7F || c == '"' || c == '\\' )
    {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02X", b);
      *out += hex;
    }
    else
    {
      out->push_back(c);
    }
  }
  out->push_back('"');
}

void dump(std::string *out, const json_value_t &v)
{
  char buf[64];
  switch ( v.tag )
  {
    case JSON_NONE:
      *out += "<none>";
      break;
    case JSON_INT:
      *out += std::to_string(v.u.i);
      break;
    case JSON_DOUBLE:
      std::snprintf(buf, sizeof(buf), "d%a", v.u.d);
      *out += buf;
      break;
    case JSON_BOOL:
      *out += v.u.b != 0 ? "true" : "false";
      break;
    case JSON_NULL:
      *out += "null";
      break;
    case JSON_STRING:
      dump_text(out, v.u.str->view());
      break;
    case JSON_OBJECT:
    {
      *out += "{";
      const char *sep = "";
      for ( const json_member_t &m : *v.u.obj )
      {
        *out += sep;
        dump_text(out, m.key.view());
        *out += "=";
        dump(out, m.value);
        sep = ",";
      }
      *out += "}";
      break;
    }
    case JSON_ARRAY:
    {
      *out += "[";
      const char *sep = "";
      for ( const json_value_t &e : *v.u.arr )
      {
        *out += sep;
        dump(out, e);
        sep = ",";
      }
      *out += "]";
      break;
    }
    default:
      *out += "<tag " + std::to_string(v.tag) + ">";
      break;
  }
}

} // namespace

std::string json_dump(const json_value_t &value)
{
  std::string out;
  dump(&out, value);
  return out;
}
