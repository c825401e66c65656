// The operator engine: conversions, kind unification, arithmetic and logic, comparisons, truth, items and
// slices.
#include "script/runtime/zxl_operators.h"

#include "script/runtime/zxl_object.h"
#include "script/runtime/zxl_tables.h"

#include "core/error_state.h"
#include "core/internal_error.h"
#include "core/printf_format.h"
#include "core/xfloat_text.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace
{

int fail(int code)
{
  return qerrno_set(code);
}

// A value owned by a scope: released when the scope ends, also by an exception.
struct scratch_value_t
{
  zxl_value_t v;
  scratch_value_t() = default;
  explicit scratch_value_t(const zxl_value_t &value) : v(value) {}
  scratch_value_t(const scratch_value_t &) = delete;
  scratch_value_t &operator=(const scratch_value_t &) = delete;
  ~scratch_value_t() { zxl_value_clear(&v); }
};

bool is_integer_kind(uint8_t kind)
{
  return kind == ZK_LONG || kind == ZK_INT64;
}

// Follows a slot's REFs and leaves the final value in it; null (error set) for a bad REF.
zxl_value_t *settle(zxl_value_t *slot)
{
  return zxl_value_deref(slot, ZXL_DEREF_REPLACE);
}

// The signed 64-bit integer a text starts with: decimal, 0x hexadecimal or 0 octal with an optional sign; 0
// when it starts with none.
int64_t parse_integer(const zxl_value_t &v)
{
  long long number = 0;
  if ( buf_scanf(zxl_string_view(v).data(), "%I64i", &number) != 1 )
    return 0;
  return number;
}

// ---- conversions ----

// Converts the settled slot to an integer kind (LONG or INT64), keeping the bits of the other integer kind.
int to_integer(zxl_value_t *slot, uint8_t kind)
{
  zxl_value_t *v = settle(slot);
  if ( v == nullptr )
    return qerrno_get();
  switch ( v->kind )
  {
  case ZK_LONG:
  case ZK_INT64:
    v->kind = kind;
    return 0;
  case ZK_FLOAT:
  {
    int64_t number = 0;
    const int status = xfloat_to_int64(&number, v->f, false);
    if ( status != XFLOAT_OK )
      return fail(zxl_status_error(status));
    *v = zxl_integer(kind, number);
    return 0;
  }
  case ZK_STRING:
  {
    const int64_t number = parse_integer(*v);
    zxl_value_replace(v, zxl_integer(kind, number));
    return 0;
  }
  default:
    return fail(1531);
  }
}

// Converts both slots to INT64.
int both_to_int64(zxl_value_t *left, zxl_value_t *right)
{
  const int code = zxl_to_int64(left);
  return code != 0 ? code : zxl_to_int64(right);
}

// ---- arithmetic ----

// The result of an integer operator on a and b (64-bit, wrapping), or an error code in *code.
int64_t integer_arithmetic(int64_t a, int64_t b, int opcode, int *code)
{
  const uint64_t ua = uint64_t(a);
  const uint64_t ub = uint64_t(b);
  *code = 0;
  switch ( opcode )
  {
  case ZOP_ADD:
    return int64_t(ua + ub);
  case ZOP_SUB:
    return int64_t(ua - ub);
  case ZOP_MUL:
    return int64_t(ua * ub);
  case ZOP_DIV:
    if ( b == 0 )
      *code = fail(86);
    else if ( b == -1 )
      return int64_t(0 - ua); // INT64_MIN / -1 wraps to INT64_MIN instead of trapping
    else
      return a / b;
    return 0;
  case ZOP_MOD:
    if ( b == 0 )
      *code = fail(86);
    else if ( b != -1 )
      return a % b;
    return 0;
  case ZOP_LOR:
    return (a != 0 || b != 0) ? 1 : 0;
  case ZOP_LAND:
    return (a != 0 && b != 0) ? 1 : 0;
  case ZOP_BOR:
    return int64_t(ua | ub);
  case ZOP_BAND:
    return int64_t(ua & ub);
  case ZOP_BXOR:
    return int64_t(ua ^ ub);
  case ZOP_SHR:
    return a >> (b & 63);
  case ZOP_SHL:
    return int64_t(ua << (b & 63));
  default:
    interr(1448);
  }
}

int float_arithmetic(zxl_value_t *left, const zxl_value_t *right, int opcode)
{
  int status = XFLOAT_OK;
  switch ( opcode )
  {
  case ZOP_ADD:
  case ZOP_SUB:
    status = xfloat_add(left->f, right->f, &left->f, opcode == ZOP_SUB);
    break;
  case ZOP_MUL:
    status = xfloat_multiply(left->f, right->f, &left->f);
    break;
  case ZOP_DIV:
    status = xfloat_divide(left->f, right->f, &left->f);
    break;
  default:
    return fail(61);
  }
  return status == XFLOAT_OK ? 0 : fail(zxl_status_error(status));
}

// ADD of two objects: a clone of the left one that also gets the right one's attributes it lacks. SUB: a clone
// of the left one without the attributes the right one has.
int object_arithmetic(zxl_value_t *left, const zxl_value_t *right, int opcode)
{
  if ( opcode == ZOP_MOD )
    return fail(61);
  if ( opcode != ZOP_ADD && opcode != ZOP_SUB )
    return fail(1531);
  const scratch_value_t other(zxl_value_share(*right, 283));
  zxl_object_clone(left);
  zxl_attribute_map_t &mine = left->object->attributes;
  for ( const auto &[name, value] : other.v.object->attributes )
  {
    const auto it = mine.find(name);
    if ( opcode == ZOP_ADD && it == mine.end() )
      mine.emplace(name, zxl_value_share(value, 283));
    else if ( opcode == ZOP_SUB && it != mine.end() )
    {
      const zxl_value_t removed = it->second;
      mine.erase(it);
      zxl_value_release(removed);
    }
  }
  return 0;
}

int arithmetic(zxl_value_t *left, zxl_value_t *right, int opcode)
{
  if ( opcode == ZOP_ADD )
  {
    zxl_value_t *l = settle(left);
    if ( l == nullptr )
      return qerrno_get();
    if ( l->kind == ZK_STRING )
    {
      const int code = zxl_to_string(right);
      if ( code != 0 )
        return code;
      zxl_string_append(left, zxl_string_view(*right));
      return 0;
    }
  }
  const int kind = zxl_unify_kinds(left, right);
  switch ( kind )
  {
  case -1:
    return 0; // operands of kinds that do not meet leave the left one as it is
  case ZK_STRING:
    if ( opcode == ZOP_MOD )
      return fail(61);
    if ( const int code = both_to_int64(left, right); code != 0 )
      return code;
    [[fallthrough]];
  case ZK_LONG:
  case ZK_INT64:
  {
    int code = 0;
    const int64_t result = integer_arithmetic(left->i, right->i, opcode, &code);
    if ( code == 0 )
      left->i = result;
    return code;
  }
  case ZK_FLOAT:
    return float_arithmetic(left, right, opcode);
  case ZK_OBJECT:
    return object_arithmetic(left, right, opcode);
  default:
    return fail(opcode == ZOP_MOD ? 61 : 1531);
  }
}

int bitwise(zxl_value_t *left, zxl_value_t *right, int opcode)
{
  const int kind = zxl_unify_kinds(left, right);
  if ( kind != ZK_LONG && kind != ZK_INT64 )
    return fail(61);
  int code = 0;
  left->i = integer_arithmetic(left->i, right->i, opcode, &code);
  return code;
}

template <typename T>
int three_way(T a, T b)
{
  return a < b ? -1 : (b < a ? 1 : 0);
}

int comparison(zxl_value_t *left, zxl_value_t *right, int opcode)
{
  const int order = left->kind == right->kind && is_integer_kind(left->kind) ? three_way(left->i, right->i)
                                                                             : zxl_compare(left, right);
  bool holds = false;
  switch ( opcode )
  {
  case ZOP_EQ:
    holds = order == 0;
    break;
  case ZOP_NE:
    holds = order != 0;
    break;
  case ZOP_LE:
    holds = order <= 0;
    break;
  case ZOP_GE:
    holds = order >= 0;
    break;
  case ZOP_LT:
    holds = order < 0;
    break;
  default:
    holds = order > 0;
    break;
  }
  if ( is_integer_kind(left->kind) )
    *left = zxl_long(holds ? 1 : 0); // nothing to release
  else
    zxl_value_replace(left, zxl_long(holds ? 1 : 0));
  return 0;
}

// ---- items and slices ----

// The byte range [start, end) of a string of length d that an item or slice names.
std::pair<size_t, size_t> string_range(size_t d, int64_t i, int64_t j, bool item)
{
  const int64_t length = int64_t(d);
  const auto clamp = [length](int64_t x) { return std::clamp<int64_t>(x < 0 ? x + length : x, 0, length); };
  const int64_t start = clamp(i);
  const int64_t end = item ? std::min(start + 1, length) : std::max(clamp(j), start);
  return {size_t(start), size_t(end)};
}

// The name of object index k.
std::string index_name(uint64_t k)
{
  char text[24];
  const auto [end, ec] = std::to_chars(text, text + sizeof(text), k);
  return std::string(text, end);
}

// True for "0" and for digits that do not start with "0" and fit 64 bits; the number in *k.
bool parse_index_name(std::string_view name, uint64_t *k)
{
  if ( name.empty() || (name.size() > 1 && name[0] == '0') )
    return false;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), *k);
  return ec == std::errc() && end == name.data() + name.size() && name[0] != '+' && name[0] != '-';
}

// The attributes from the first name that starts with a digit to the last one that starts with one.
template <typename Map, typename Visit>
void visit_digit_names(Map &attributes, Visit visit)
{
  for ( auto it = attributes.lower_bound(std::string_view("0")); it != attributes.end(); ++it )
  {
    if ( static_cast<unsigned char>(it->first[0]) > '9' || !visit(it) )
      break;
  }
}

int read_object_slice(zxl_value_t *destination, zxl_object_t *source, int64_t i, int64_t j)
{
  const uint64_t from = uint64_t(i);
  const uint64_t to = uint64_t(j);
  zxl_value_t result;
  result.kind = ZK_OBJECT;
  result.object = zxl_object_new(0);
  const scratch_value_t holder(result);
  visit_digit_names(source->attributes, [&](auto it) {
    uint64_t k = 0;
    if ( parse_index_name(it->first, &k) && from <= k && (j == ZXL_SLICE_END || k < to) )
      result.object->attributes.emplace(index_name(k - from), zxl_value_share(it->second, 283));
    return true;
  });
  zxl_value_replace(destination, zxl_value_share(result, 283));
  return 0;
}

// The elements a slice write puts in: shared copies of an object's index attributes in index order, or one
// one-byte STRING per byte of a string.
int collect_slice_source(const zxl_value_t *source, std::vector<zxl_value_t> *elements)
{
  if ( source->kind == ZK_STRING )
  {
    for ( char c : zxl_string_view(*source) )
      elements->push_back(zxl_string(std::string_view(&c, 1)));
    return 0;
  }
  if ( source->kind != ZK_OBJECT )
    return fail(1568);
  std::vector<std::pair<uint64_t, zxl_value_t>> indexed;
  visit_digit_names(source->object->attributes, [&](auto it) {
    if ( it->first.size() > 1 && it->first[0] == '0' )
      return false;
    uint64_t k = 0;
    if ( parse_index_name(it->first, &k) )
      indexed.emplace_back(k, zxl_value_share(it->second, 283));
    return true;
  });
  std::stable_sort(indexed.begin(), indexed.end(),
                   [](const auto &a, const auto &b) { return a.first < b.first; });
  for ( auto &[k, value] : indexed )
    elements->push_back(value);
  return 0;
}

int write_object_slice(zxl_object_t *target, int64_t i, int64_t j, const zxl_value_t *source)
{
  std::vector<zxl_value_t> elements;
  struct release_all_t
  {
    std::vector<zxl_value_t> &values;
    ~release_all_t()
    {
      for ( zxl_value_t &v : values )
        zxl_value_clear(&v);
    }
  } release_elements {elements};
  if ( const int code = collect_slice_source(source, &elements); code != 0 )
    return code;

  const uint64_t from = uint64_t(i);
  const uint64_t to = uint64_t(j);
  const uint64_t replaced = j > i ? uint64_t(j) - uint64_t(i) : 0;
  const uint64_t count = elements.size();
  std::vector<zxl_value_t> dropped;
  release_all_t release_dropped {dropped};
  zxl_attribute_map_t &attributes = target->attributes;
  if ( count != replaced )
  {
    // Everything from index i on moves out; what stood at j and later comes back shifted by count - replaced.
    std::vector<std::pair<uint64_t, zxl_value_t>> moved;
    for ( auto it = attributes.lower_bound(std::string_view("0"));
          it != attributes.end() && static_cast<unsigned char>(it->first[0]) <= '9'; )
    {
      uint64_t k = 0;
      if ( parse_index_name(it->first, &k) && k >= from )
      {
        moved.emplace_back(k, it->second);
        it = attributes.erase(it);
      }
      else
      {
        ++it;
      }
    }
    for ( auto &[k, value] : moved )
    {
      if ( k >= to )
        attributes.emplace(index_name(k + count - replaced), value);
      else
        dropped.push_back(value);
    }
  }
  for ( uint64_t n = 0; n < count; ++n )
  {
    zxl_value_t *slot = zxl_attr_slot(target, index_name(from + n));
    dropped.push_back(*slot);
    *slot = std::exchange(elements[size_t(n)], zxl_long(0));
  }
  return 0;
}

} // namespace

// ---- conversions ----

int zxl_status_error(int status)
{
  switch ( status )
  {
  case XFLOAT_OK:
    return 0;
  case XFLOAT_DIV_BY_ZERO:
    return 86;
  case XFLOAT_INT_RANGE:
    return 98;
  default:
    return 97;
  }
}

int zxl_to_string(zxl_value_t *slot)
{
  zxl_value_t *v = slot != nullptr ? settle(slot) : nullptr;
  if ( slot == nullptr )
    return fail(1531);
  if ( v == nullptr )
    return qerrno_get();
  switch ( v->kind )
  {
  case ZK_STRING:
    return 0;
  case ZK_LONG:
  case ZK_INT64:
  {
    // The low byte as one character; LONG 0 gives the empty string, INT64 0 a string of one NUL.
    const char c = char(v->i);
    const bool empty = v->kind == ZK_LONG && c == '\0';
    zxl_value_replace(v, zxl_string(std::string_view(&c, empty ? 0 : 1)));
    return 0;
  }
  case ZK_FLOAT:
  {
    char text[1024];
    float_to_text(text, sizeof(text), v->f, 50);
    zxl_value_replace(v, zxl_string(text));
    return 0;
  }
  default:
    return fail(1531);
  }
}

int zxl_to_long(zxl_value_t *slot)
{
  return slot != nullptr ? to_integer(slot, ZK_LONG) : fail(1531);
}

int zxl_to_int64(zxl_value_t *slot)
{
  return slot != nullptr ? to_integer(slot, ZK_INT64) : fail(1531);
}

int zxl_to_float(zxl_value_t *slot)
{
  if ( slot == nullptr )
    return fail(1531);
  zxl_value_t *v = settle(slot);
  if ( v == nullptr )
    return qerrno_get();
  switch ( v->kind )
  {
  case ZK_FLOAT:
    return 0;
  case ZK_LONG:
  case ZK_INT64:
  {
    xfloat_t f;
    int64_to_xfloat(v->i, &f);
    *v = zxl_float(f);
    return 0;
  }
  case ZK_STRING:
  {
    const char *text = zxl_string_view(*v).data();
    xfloat_t f = xfloat_zero;
    text_to_float(&text, &f);
    zxl_value_replace(v, zxl_float(f));
    return 0;
  }
  default:
    return fail(1531);
  }
}

// ---- unification, comparison, truth ----

int zxl_unify_kinds(zxl_value_t *left, zxl_value_t *right)
{
  zxl_value_t *l = settle(left);
  zxl_value_t *r = l != nullptr ? settle(right) : nullptr;
  if ( r == nullptr )
    return -1;
  const uint8_t lk = l->kind;
  const uint8_t rk = r->kind;
  if ( lk == rk )
    return lk;
  const auto plain = [](uint8_t k) { return k == ZK_LONG || k == ZK_FLOAT || k == ZK_STRING || k == ZK_INT64; };
  if ( !plain(lk) || !plain(rk) )
    return -1;
  int code = 0;
  if ( lk == ZK_FLOAT )
    code = zxl_to_float(r);
  else if ( rk == ZK_FLOAT )
    code = zxl_to_float(l);
  else if ( lk == ZK_STRING )
    // A zero number meets a string as a string; any other number turns the string into a number.
    code = r->i != 0 ? to_integer(l, rk) : zxl_to_string(r);
  else if ( rk == ZK_STRING )
    code = l->i != 0 ? to_integer(r, lk) : zxl_to_string(l);
  else if ( lk == ZK_LONG )
    code = zxl_to_int64(l);
  else
    code = zxl_to_int64(r);
  return code != 0 ? -1 : l->kind;
}

int zxl_compare(zxl_value_t *left, zxl_value_t *right)
{
  zxl_value_t *l = settle(left);
  zxl_value_t *r = l != nullptr ? settle(right) : nullptr;
  if ( r == nullptr )
  {
    qerrno_set(1563);
    return 1;
  }
  switch ( zxl_unify_kinds(l, r) )
  {
  case ZK_LONG:
  case ZK_INT64:
    return three_way(l->i, r->i);
  case ZK_FLOAT:
    return xfloat_compare(l->f, r->f);
  case ZK_STRING:
  {
    const std::string_view a = zxl_string_view(*l);
    const std::string_view b = zxl_string_view(*r);
    const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    return c != 0 ? (c < 0 ? -1 : 1) : three_way(a.size(), b.size());
  }
  case ZK_OBJECT:
    return l->object == r->object ? 0 : 1;
  case ZK_FUNC:
    return three_way(l->func, r->func);
  case ZK_POINTER:
    return three_way(l->u, r->u);
  default:
    return 1; // incomparable values count as unequal and greater
  }
}

bool zxl_truth(zxl_value_t *slot)
{
  switch ( slot->kind )
  {
  case ZK_LONG:
    return true;
  case ZK_INT64:
    *slot = zxl_long(slot->i != 0 ? 1 : 0);
    return true;
  case ZK_OBJECT:
    zxl_value_replace(slot, zxl_long(1));
    return true;
  case ZK_STRING:
    zxl_value_replace(slot, zxl_long(zxl_string_view(*slot).empty() ? 0 : 1));
    return true;
  default:
    fail(61);
    return false;
  }
}

// ---- operators ----

int zxl_operator_arity(int opcode)
{
  switch ( opcode )
  {
  case ZOP_LNOT:
  case ZOP_BNOT:
  case ZOP_NEG:
  case ZOP_TO_STR:
  case ZOP_TO_LONG:
  case ZOP_TO_FLOAT:
  case ZOP_TO_INT64:
    return 1;
  default:
    return (opcode >= ZOP_ADD && opcode <= ZOP_NEG) || (opcode >= ZOP_EQ && opcode <= ZOP_GT) ? 2 : 0;
  }
}

int zxl_binary_operator(zxl_value_t *left, zxl_value_t *right, int opcode)
{
  if ( zxl_operator_arity(opcode) != 2 )
    interr(1448);
  // Two integers of one kind, the interpreter's common case, need neither REFs followed nor unification.
  if ( left->kind == right->kind && is_integer_kind(left->kind) )
  {
    if ( opcode >= ZOP_EQ )
      return comparison(left, right, opcode);
    int code = 0;
    const int64_t result = integer_arithmetic(left->i, right->i, opcode, &code);
    if ( code == 0 )
      left->i = result;
    return code;
  }
  if ( opcode >= ZOP_EQ )
    return comparison(left, right, opcode);
  if ( opcode <= ZOP_MOD )
    return arithmetic(left, right, opcode);
  return bitwise(left, right, opcode);
}

int zxl_unary_operator(zxl_value_t *top, int opcode)
{
  switch ( opcode )
  {
  case ZOP_LNOT:
  {
    zxl_value_t *v = settle(top);
    if ( v == nullptr )
      return qerrno_get();
    if ( v->kind == ZK_OBJECT )
      zxl_value_replace(v, zxl_long(1));
    if ( !is_integer_kind(v->kind) )
      return fail(61);
    v->i = v->i == 0 ? 1 : 0;
    return 0;
  }
  case ZOP_BNOT:
    if ( !is_integer_kind(top->kind) )
      return fail(61);
    top->i = int64_t(~uint64_t(top->i));
    return 0;
  case ZOP_NEG:
    if ( is_integer_kind(top->kind) )
      top->i = int64_t(0 - uint64_t(top->i));
    else if ( top->kind != ZK_FLOAT )
      return fail(61);
    else if ( top->f.words[7] != 0 ) // zero keeps a clear sign
      top->f.words[7] ^= XFLOAT_SIGN_BIT;
    return 0;
  case ZOP_TO_STR:
    return zxl_to_string(top);
  case ZOP_TO_LONG:
    return zxl_to_long(top);
  case ZOP_TO_FLOAT:
    return zxl_to_float(top);
  case ZOP_TO_INT64:
    return zxl_to_int64(top);
  default:
    interr(1448);
  }
}

int zxl_eval_operator(qvector<zxl_value_t> *stack, int opcode)
{
  const int arity = zxl_operator_arity(opcode);
  if ( arity == 0 )
    interr(1448);
  if ( stack->size() < size_t(arity) )
    interr(1449);
  if ( arity == 1 )
    return zxl_unary_operator(&stack->back(), opcode);
  scratch_value_t right(stack->back());
  stack->pop_back();
  return zxl_binary_operator(&stack->back(), &right.v, opcode);
}

// ---- items and slices ----

int zxl_get_range(zxl_value_t *destination, const zxl_value_t *source, int64_t i, int64_t j, bool item)
{
  if ( destination == nullptr || source == nullptr )
    return fail(1568);
  // Following a REF never changes the slot it starts from.
  const zxl_value_t *s = zxl_value_deref(const_cast<zxl_value_t *>(source), 0);
  if ( s == nullptr )
    return qerrno_get();
  if ( s->kind == ZK_STRING )
  {
    const std::string_view bytes = zxl_string_view(*s);
    const auto [start, end] = string_range(bytes.size(), i, j, item);
    zxl_value_replace(destination, zxl_string(bytes.substr(start, end - start)));
    return 0;
  }
  if ( s->kind != ZK_OBJECT )
    return fail(1568);
  if ( !item )
    return read_object_slice(destination, s->object, i, j);
  scratch_value_t value;
  if ( const int code = zxl_get_member(&value.v, s, index_name(uint64_t(i)).c_str()); code != 0 )
    return code;
  zxl_value_replace(destination, std::exchange(value.v, zxl_long(0)));
  return 0;
}

int zxl_set_range(zxl_value_t *target, int64_t i, int64_t j, const zxl_value_t *source, bool item)
{
  if ( target == nullptr || source == nullptr )
    return fail(1568);
  zxl_value_t *t = zxl_value_deref(target, 0);
  if ( t == nullptr )
    return qerrno_get();
  if ( t->kind == ZK_STRING )
  {
    scratch_value_t piece(zxl_value_share(*source, 283));
    if ( const int code = zxl_to_string(&piece.v); code != 0 )
      return code;
    const auto [start, end] = string_range(zxl_string_view(*t).size(), i, j, item);
    zxl_string_splice(t, start, end, zxl_string_view(piece.v));
    return 0;
  }
  if ( t->kind != ZK_OBJECT )
    return fail(1568);
  // Held while it changes: a value released on the way may be the last other holder of the target.
  const scratch_value_t hold(zxl_value_share(*t, 283));
  if ( item )
    return zxl_value_copy(zxl_attr_slot(hold.v.object, index_name(uint64_t(i))), source);
  scratch_value_t settled(zxl_value_share(*source, 283));
  const zxl_value_t *s = zxl_value_deref(&settled.v, ZXL_DEREF_REPLACE);
  if ( s == nullptr )
    return qerrno_get();
  return write_object_slice(hold.v.object, i, j, s);
}
