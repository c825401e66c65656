// Value descriptions and builders shared by the script engine's tests.
#include "tests/script/engine_fixture.h"

#include "core/xfloat_text.h"

std::string describe(const zxl_value_t &v)
{
  switch ( v.kind )
  {
  case ZK_LONG:
    return "LONG " + std::to_string(v.i);
  case ZK_INT64:
    return "INT64 " + std::to_string(v.i);
  case ZK_FLOAT:
  {
    char text[1024];
    float_to_text(text, sizeof(text), v.f, 50);
    return std::string("FLOAT ") + text;
  }
  case ZK_STRING:
  {
    std::string text = "STRING ";
    for ( char c : zxl_string_view(v) )
      text += c == '\0' ? std::string("\\0") : std::string(1, c);
    return text;
  }
  case ZK_OBJECT:
  {
    std::string text = "OBJECT {";
    bool first = true;
    for ( const auto &[name, value] : v.object->attributes )
    {
      text += (first ? "" : ",") + name + "=" + describe(value);
      first = false;
    }
    return text + "}";
  }
  case ZK_FUNC:
    return "FUNC " + std::to_string(v.func);
  case ZK_POINTER:
    return "POINTER " + std::to_string(v.u);
  case ZK_REF:
    return "REF " + std::to_string(v.index);
  default:
    return "?" + std::to_string(v.kind);
  }
}

zxl_value_t make_object(std::initializer_list<std::pair<const char *, zxl_value_t>> attributes, int32_t class_index)
{
  zxl_value_t v;
  v.kind = ZK_OBJECT;
  v.object = zxl_object_new(class_index);
  for ( const auto &[name, value] : attributes )
    *zxl_attr_slot(v.object, name) = value;
  return v;
}

zxl_value_t float_of(const char *text)
{
  xfloat_t f = xfloat_zero;
  text_to_float(&text, &f);
  return zxl_float(f);
}
