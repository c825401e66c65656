// JSON text output: one recursive walk over the value tree.
#include "core/json_writer.h"

#include "core/text_utils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_set>
#include <vector>

namespace {

class json_writer_t
{
public:
  json_writer_t(qstring *out, int flags) : out_(out), flags_(flags) {}

  bool write(const json_value_t &v, int depth)
  {
    switch ( v.tag )
    {
      case JSON_INT:
      {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof(buf), v.u.i);
        out_->append(buf, size_t(r.ptr - buf));
        return true;
      }
      case JSON_DOUBLE:
      {
        // "nan" or "inf" would not read back as a number.
        if ( !std::isfinite(v.u.d) )
          return false;
        // The largest finite double takes 309 digits before the point.
        char buf[400];
        const int n = std::snprintf(buf, sizeof(buf), "%lf", v.u.d);
        out_->append(buf, size_t(n));
        return true;
      }
      case JSON_BOOL:
        *out_ += v.u.b != 0 ? "true" : "false";
        return true;
      case JSON_NULL:
        *out_ += "null";
        return true;
      case JSON_STRING:
        put_string(*v.u.str);
        return true;
      case JSON_OBJECT:
        return first_visit(v.u.obj) && write_object(*v.u.obj, depth);
      case JSON_ARRAY:
        return first_visit(v.u.arr) && write_array(*v.u.arr, depth);
      default:
        return false;
    }
  }

private:
  bool pretty() const { return (flags_ & JSON_TEXT_PRETTY) != 0; }

  // A container shared by two places of the tree (or containing itself) would be written twice or forever.
  bool first_visit(const void *container) { return visited_.insert(container).second; }

  void line_break(int level)
  {
    if ( !pretty() )
      return;
    out_->push_back('\n');
    for ( int i = 0; i < level; ++i )
      *out_ += "    ";
  }

  void put_string(const qstring &text)
  {
    out_->push_back('"');
    append_escaped(out_, text.c_str(), ptrdiff_t(text.size()), 0);
    out_->push_back('"');
  }

  bool write_object(const json_object_t &obj, int depth)
  {
    out_->push_back('{');
    line_break(depth + 1);
    if ( (flags_ & JSON_TEXT_SORTED_KEYS) != 0 && obj.size() > 1 )
    {
      std::vector<const json_member_t *> order;
      order.reserve(obj.size());
      for ( const json_member_t &m : obj )
        order.push_back(&m);
      std::stable_sort(order.begin(), order.end(), [](const json_member_t *a, const json_member_t *b) {
        return qstring_less(a->key, b->key);
      });
      for ( size_t i = 0; i < order.size(); ++i )
        if ( !write_member(*order[i], i, depth) )
          return false;
    }
    else
    {
      for ( size_t i = 0; i < obj.size(); ++i )
        if ( !write_member(obj[i], i, depth) )
          return false;
    }
    line_break(depth);
    out_->push_back('}');
    return true;
  }

  bool write_member(const json_member_t &m, size_t index, int depth)
  {
    separate(index, depth);
    put_string(m.key);
    out_->push_back(':');
    return write(m.value, depth + 1);
  }

  bool write_array(const jarr_t &arr, int depth)
  {
    out_->push_back('[');
    line_break(depth + 1);
    for ( size_t i = 0; i < arr.size(); ++i )
    {
      separate(i, depth);
      if ( !write(arr[i], depth + 1) )
        return false;
    }
    line_break(depth);
    out_->push_back(']');
    return true;
  }

  void separate(size_t index, int depth)
  {
    if ( index == 0 )
      return;
    out_->push_back(',');
    line_break(depth + 1);
  }

  qstring *out_;
  int flags_;
  std::unordered_set<const void *> visited_;
};

} // namespace

bool json_to_text(qstring *out, const json_value_t *value, int flags)
{
  json_writer_t writer(out, flags);
  return writer.write(*value, 0);
}
