// ZXL expressions: literals, operators, conversions, name resolution, pending items and calls.
#include "script/compiler/zxl_compiler_p.h"

#include "script/runtime/zxl_bytecode.h"
#include "script/runtime/zxl_operators.h"

#include "core/internal_error.h"

namespace
{

// True when the last opcode already gives a LONG, so long() and a LONG parameter need no conversion.
bool gives_long(uint8_t op)
{
  return op == ZOP_PUSH_INT8 || op == ZOP_PUSH_INT16 || op == ZOP_PUSH_INT32 || (op >= 180 && op <= 190) ||
         (op >= 200 && op <= 206) || op == ZOP_PUSH_INT64 || (op >= ZOP_PUSH_SMALL && op < ZOP_PUSH_SMALL + 16);
}

// Emits the conversion to `kind` unless the last opcode already gives it.
void emit_conversion(zxl_compiler_t *c, int kind)
{
  switch ( kind )
  {
  case ZK_LONG:
    if ( !gives_long(c->last_op) )
      c->emit_op(ZOP_TO_LONG);
    break;
  case ZK_INT64:
    if ( c->last_op != ZOP_PUSH_INT64 )
      c->emit_op(ZOP_TO_INT64);
    break;
  case ZK_STRING:
    if ( c->last_op != ZOP_PUSH_STR && c->last_op != ZOP_TO_STR )
      c->emit_op(ZOP_TO_STR);
    break;
  case ZK_FLOAT:
    if ( c->last_op != ZOP_TO_FLOAT && c->last_op != ZOP_PUSH_FLOAT )
      c->emit_op(ZOP_TO_FLOAT);
    break;
  default:
    break;
  }
}

int emit_literal(zxl_compiler_t *c)
{
  const lexer_token_t &token = c->token;
  switch ( token.kind )
  {
  case TOKEN_INTEGER:
  case TOKEN_CHAR:
    c->emit_int_const(int64_t(token.number));
    return 0;
  case TOKEN_STRING:
  {
    std::string bytes;
    if ( !zxl_string_literal_bytes(token, &bytes) )
      return ZXL_BAD_WIDE_LITERAL;
    c->emit_string_const(bytes);
    return 0;
  }
  case TOKEN_FLOAT:
    c->emit_op(ZOP_PUSH_FLOAT);
    c->emit_bytes(std::string_view(reinterpret_cast<const char *>(&token.value.real), sizeof(xfloat_t)));
    return 0;
  case TOKEN_INT64:
    c->emit_op(ZOP_PUSH_INT64);
    c->emit_qword(uint64_t(token.value.integer));
    return 0;
  default:
    interr(275);
  }
}

// The index of the first native entry of that name with a callback, or 0.
int32_t native_index(const zxl_engine_t *engine, const zxl_native_t *native)
{
  for ( size_t i = 1; i < engine->natives.size(); ++i )
    if ( engine->natives[i].get() == native )
      return int32_t(i);
  return 0;
}

void push_name_item(zxl_compiler_t *c)
{
  std::unique_ptr<zxl_compile_item_t> item = c->new_item(ZXL_ITEM_NAME);
  item->name = c->token.text.view();
  c->items.push_back(std::move(item));
}

std::unique_ptr<zxl_compile_item_t> pop_item(zxl_compiler_t *c)
{
  if ( c->items.empty() )
    interr(273);
  std::unique_ptr<zxl_compile_item_t> item = std::move(c->items.back());
  c->items.pop_back();
  return item;
}

void open_call(zxl_compiler_t *c, const zxl_compile_item_t *callee)
{
  c->open_calls.push_back({callee});
  c->saved_positions.push_back(c->pc());
  c->arg_counts.push_back(0);
}

int emit_by_name(zxl_compiler_t *c, const std::string &name)
{
  c->emit_string_const(name);
  c->emit_op(ZOP_FUNC_REF);
  c->emit_op(ZOP_CALL_VALUE);
  return 0;
}

} // namespace

zxl_name_kind zxl_compiler_t::resolve_name(const std::string &name, uint32_t *slot)
{
  *slot = 0;
  if ( const auto it = local_index.find(name); it != local_index.end() )
  {
    *slot = it->second;
    return ZXL_NAME_LOCAL;
  }
  if ( const auto it = arg_index.find(name); it != arg_index.end() )
  {
    *slot = it->second;
    return ZXL_NAME_ARG;
  }
  if ( const int32_t g = zxl_global_index(name.c_str()); g >= 0 )
  {
    *slot = uint32_t(g);
    return ZXL_NAME_GLOBAL;
  }
  if ( zxl_find_class(name.c_str()) != nullptr )
    return ZXL_NAME_CLASS;
  if ( zxl_function_index(name.c_str()) != ZXL_NO_FUNCTION )
    return ZXL_NAME_FUNCTION;
  return ZXL_NAME_UNKNOWN;
}

int zxl_compiler_t::emit_name_access(const std::string &name, bool store, int step)
{
  uint32_t slot = 0;
  switch ( resolve_name(name, &slot) )
  {
  case ZXL_NAME_LOCAL:
    emit_slot_op(store ? ZOP_STORE_LOCAL_S : ZOP_PUSH_LOCAL_S, slot);
    break;
  case ZXL_NAME_ARG:
    if ( store && slot == 0 && current_class != nullptr )
      return zxl_compile_fail(1539);
    emit_slot_op(store ? ZOP_STORE_ARG_S : ZOP_PUSH_ARG_S, slot);
    break;
  case ZXL_NAME_GLOBAL:
    if ( slot > 0xFFFF )
      return zxl_limit_passed("more than 65,536 globals");
    emit_op_index(store ? ZOP_STORE_GLOBAL_B : ZOP_PUSH_GLOBAL_B, slot);
    break;
  case ZXL_NAME_FUNCTION:
    if ( store )
      return zxl_compile_fail(53, name.c_str());
    emit_string_const(name);
    emit_op(ZOP_FUNC_REF);
    break;
  default:
  {
    // A constant of the host's resolver is a value, never a variable.
    const int64_t value = resolver != nullptr && !store ? resolver->resolve(name.c_str()) : -1;
    if ( value == -1 )
      return zxl_compile_fail(53, name.c_str());
    emit_int_const(value);
    break;
  }
  }
  return step != 0 ? emit_inc_dec_name(step) : 0;
}

int zxl_compiler_t::emit_inc_dec_name(int step)
{
  const std::string name = zxl_token_text(this);
  uint32_t slot = 0;
  switch ( resolve_name(name, &slot) )
  {
  case ZXL_NAME_LOCAL:
    emit_op_index(step > 0 ? ZOP_INC_LOCAL_B : ZOP_DEC_LOCAL_B, slot);
    return 0;
  case ZXL_NAME_ARG:
    emit_op_index(step > 0 ? ZOP_INC_ARG_B : ZOP_DEC_ARG_B, slot);
    return 0;
  case ZXL_NAME_GLOBAL:
    if ( slot > 0xFFFF )
      return zxl_limit_passed("more than 65,536 globals");
    emit_op_index(step > 0 ? ZOP_INC_GLOBAL_B : ZOP_DEC_GLOBAL_B, slot);
    return 0;
  default:
    return zxl_compile_fail(58);
  }
}

int zxl_compiler_t::emit_name_reference(const std::string &name)
{
  uint32_t slot = 0;
  switch ( resolve_name(name, &slot) )
  {
  case ZXL_NAME_LOCAL:
    emit_int_const(slot);
    emit_byte(ZOP_REF_LOCAL);
    return 0;
  case ZXL_NAME_ARG:
    emit_int_const(slot);
    emit_byte(ZOP_REF_ARG);
    return 0;
  case ZXL_NAME_GLOBAL:
    emit_int_const(slot);
    emit_byte(ZOP_REF_GLOBAL);
    return 0;
  default:
    return zxl_compile_fail(53, name.c_str());
  }
}

int zxl_compiler_t::emit_load(const zxl_compile_item_t &item)
{
  // The chain is walked from the outermost item inwards and finished outwards, without recursion: each item
  // emits what comes before its base, then its base, then what comes after.
  std::vector<const zxl_compile_item_t *> after;
  const zxl_compile_item_t *current = &item;
  int code = 0;
  for ( ;; )
  {
    if ( current == nullptr )
      interr(273);
    if ( current->kind == ZXL_ITEM_NAME )
    {
      code = emit_name_access(current->name, false, 0);
      break;
    }
    if ( current->kind == ZXL_ITEM_CALL )
    {
      emit_op(ZOP_MARK);
      emit_bytes(current->code);
      const zxl_compile_item_t *callee = current->base.get();
      if ( callee == nullptr )
        interr(273);
      if ( callee->kind == ZXL_ITEM_NAME )
      {
        code = emit_call_by_name(callee->name, current->argc);
        break;
      }
      after.push_back(current);
      current = callee->kind == ZXL_ITEM_MEMBER ? callee->base.get() : callee;
      continue;
    }
    if ( current->kind < ZXL_ITEM_SLICE || current->kind > ZXL_ITEM_MEMBER )
      interr(273);
    after.push_back(current);
    current = current->base.get();
  }
  if ( code != 0 )
    return code;
  for ( auto it = after.rbegin(); it != after.rend(); ++it )
  {
    const zxl_compile_item_t *i = *it;
    switch ( i->kind )
    {
    case ZXL_ITEM_CALL:
      if ( i->base->kind == ZXL_ITEM_MEMBER )
      {
        emit_string_const(i->base->name);
        emit_op(ZOP_CALL_METHOD);
      }
      else
      {
        emit_op(ZOP_CALL_VALUE);
      }
      break;
    case ZXL_ITEM_INDEX:
    case ZXL_ITEM_SLICE:
      emit_bytes(i->code);
      emit_op(i->kind == ZXL_ITEM_INDEX ? ZOP_GET_ITEM : ZOP_GET_SLICE);
      break;
    default:
      emit_string_const(i->name);
      emit_op(ZOP_GET_ATTR);
      break;
    }
  }
  return 0;
}

int zxl_compiler_t::emit_item(const zxl_compile_item_t &item, bool store, int step)
{
  switch ( item.kind )
  {
  case ZXL_ITEM_NAME:
    return emit_name_access(item.name, store, step);
  case ZXL_ITEM_CALL:
    // A call's result is no variable: storing into it would leave the stored value behind on the stack.
    if ( store )
      return zxl_compile_fail(53, item.base->kind == ZXL_ITEM_NAME ? item.base->name.c_str() : "()");
    return emit_load(item);
  case ZXL_ITEM_INDEX:
  case ZXL_ITEM_SLICE:
  {
    if ( !store )
      return emit_load(item);
    const int code = item.base->kind == ZXL_ITEM_NAME ? emit_name_reference(item.base->name) : emit_load(*item.base);
    if ( code != 0 )
      return code;
    emit_bytes(item.code);
    emit_op(item.kind == ZXL_ITEM_INDEX ? ZOP_SET_ITEM : ZOP_SET_SLICE);
    return 0;
  }
  case ZXL_ITEM_MEMBER:
  {
    if ( !store && step == 0 )
      return emit_load(item);
    if ( const int code = emit_load(*item.base); code != 0 )
      return code;
    emit_string_const(item.name);
    emit_op(store ? ZOP_SET_ATTR : step > 0 ? ZOP_INC_ATTR : ZOP_DEC_ATTR);
    return 0;
  }
  default:
    interr(273);
  }
}

int zxl_compiler_t::emit_call_by_name(const std::string &name, uint32_t count)
{
  uint32_t slot = 0;
  switch ( resolve_name(name, &slot) )
  {
  case ZXL_NAME_LOCAL:
  case ZXL_NAME_ARG:
  case ZXL_NAME_GLOBAL:
    if ( const int code = emit_name_access(name, false, 0); code != 0 )
      return code;
    emit_op(ZOP_CALL_VALUE);
    return 0;
  case ZXL_NAME_CLASS:
  {
    const zxl_class_t *cls = zxl_find_class(name.c_str());
    if ( cls == nullptr )
      interr(272);
    if ( cls->index > 0xFFFF )
      return zxl_limit_passed("more than 65,536 classes");
    const int32_t constructor = zxl_find_constructor(cls);
    if ( constructor >= 0 ? !zxl_check_call_arity(engine, constructor, size_t(count) + 1) : count != 0 )
      return zxl_compile_fail(56, name.c_str());
    emit_op(ZOP_NEW);
    emit_word(uint16_t(cls->index));
    return 0;
  }
  default:
    break;
  }
  if ( const zxl_native_t *native = zxl_find_native(name.c_str()) )
  {
    if ( !native_permission && (native->flags & ZXL_NATIVE_ANY_THREAD) == 0 )
      return zxl_compile_fail(143, name.c_str());
    const int32_t index = native_index(engine, native);
    if ( index > 0xFFFF )
      return emit_by_name(this, name);
    emit_slot_op(ZOP_CALL_NATIVE_S, uint32_t(index));
    return 0;
  }
  const int32_t index = zxl_compiled_function_index(name.c_str());
  if ( index == -1 )
    return emit_by_name(this, name);
  if ( !zxl_check_call_arity(engine, index, count) )
    return zxl_compile_fail(56, name.c_str());
  // CALL_FUNC holds 16 bits: later functions are found by name when the call runs.
  if ( index > 0xFFFF )
    return emit_by_name(this, name);
  emit_slot_op(ZOP_CALL_FUNC_S, uint32_t(index));
  return 0;
}

int zxl_compiler_t::check_call_argument()
{
  if ( arg_counts.empty() || open_calls.empty() )
    interr(267);
  const uint32_t a = arg_counts.back();
  open_call_t &call = open_calls.back();
  if ( call.callee != nullptr && !call.callee->name.empty() )
  {
    // The tables do not change while a call's arguments are compiled: the callee is looked up once.
    const std::string &callee = call.callee->name;
    if ( !call.looked_up )
    {
      call.native = zxl_find_native(callee.c_str());
      if ( call.native == nullptr )
        call.function = zxl_compiled_function_index(callee.c_str());
      call.looked_up = true;
    }
    if ( const zxl_native_t *native = call.native )
    {
      const std::string_view kinds = native->arg_kinds.view();
      int kind = 0;
      if ( a < kinds.size() )
        kind = uint8_t(kinds[a]);
      else if ( !kinds.empty() && uint8_t(kinds.back()) == ZK_ANY )
        kind = ZK_ANY;
      if ( kind < ZK_LONG || kind > ZK_REF )
        return zxl_compile_fail(56, callee.c_str());
      emit_conversion(this, kind);
    }
    else if ( const int32_t f = call.function; f != -1 )
    {
      if ( int64_t(a) >= int64_t(zxl_function_at(f)->param_count) )
        return zxl_compile_fail(56, callee.c_str());
    }
  }
  arg_counts.back() = a + 1;
  return 0;
}

int zxl_expression_action(grammar_driver_t *driver, int action)
{
  zxl_compiler_t *c = static_cast<zxl_compiler_t *>(driver);
  if ( action >= 64 && action <= 84 )
  {
    c->emit_op(zxl_operator_opcodes[action - 64]);
    return 0;
  }
  switch ( action )
  {
  case 61: // end of a pair literal
    c->emit_slot_op(ZOP_CALL_NATIVE_S, 2);
    return 0;
  case 62: // start of a pair literal
    c->emit_op(ZOP_MARK);
    return 0;
  case 63: // a string literal as the first element of a pair literal
    c->emit_op(ZOP_MARK);
    c->emit_string_const(c->token.text.view());
    c->emit_slot_op(ZOP_CALL_NATIVE_S, 1);
    return 0;
  case 85: // literal
    return emit_literal(c);
  case 86: // long(), __int64(), char(), float()
  case 87:
  case 88:
  case 89:
  {
    static constexpr int kinds[4] = {ZK_LONG, ZK_INT64, ZK_STRING, ZK_FLOAT};
    emit_conversion(c, kinds[action - 86]);
    return 0;
  }
  case 90: // new (expr)
    c->emit_op(ZOP_CLONE);
    return 0;
  case 91: // sizeof (expr)
    return zxl_compile_fail(1612);
  case 92: // adjacent string literal
  {
    std::string bytes;
    if ( !zxl_string_literal_bytes(c->token, &bytes) )
      return ZXL_BAD_WIDE_LITERAL;
    c->emit_string_const(bytes);
    c->emit_op(ZOP_ADD);
    return 0;
  }
  case 93: // ++NAME, --NAME
  case 94:
  {
    if ( const int code = c->emit_inc_dec_name(action == 93 ? 1 : -1); code != 0 )
      return code;
    return c->emit_name_access(zxl_token_text(c), false, 0);
  }
  case 95: // &NAME
    return c->emit_name_reference(zxl_token_text(c));
  case 96: // NAME, this
    push_name_item(c);
    return 0;
  case 97: // "(" of a call
  {
    const zxl_compile_item_t *callee = c->items.empty() ? nullptr : c->items.back().get();
    open_call(c, callee != nullptr && callee->kind == ZXL_ITEM_NAME ? callee : nullptr);
    return 0;
  }
  case 98: // postfix ++, --
  case 99:
  {
    std::unique_ptr<zxl_compile_item_t> item = pop_item(c);
    const int code = item->kind != ZXL_ITEM_NAME && item->kind != ZXL_ITEM_MEMBER
                       ? zxl_compile_fail(58)
                       : c->emit_item(*item, false, action == 98 ? 1 : -1);
    c->recycle_item(std::move(item));
    return code;
  }
  case 100: // "["
    c->saved_positions.push_back(c->pc());
    return 0;
  case 101: // end of a name chain
  case 103: // "="
  {
    std::unique_ptr<zxl_compile_item_t> item = pop_item(c);
    const int code = c->emit_item(*item, action == 103, 0);
    c->recycle_item(std::move(item));
    return code;
  }
  case 102: // ")" of a call
  {
    if ( c->arg_counts.empty() || c->open_calls.empty() )
      interr(267);
    const uint32_t count = c->arg_counts.back();
    c->arg_counts.pop_back();
    c->open_calls.pop_back();
    c->cut_code_to_item(ZXL_ITEM_CALL);
    c->items.back()->argc = count;
    return 0;
  }
  case 104: // "." NAME
  {
    std::unique_ptr<zxl_compile_item_t> item = c->new_item(ZXL_ITEM_MEMBER);
    item->name = c->token.text.view();
    item->base = pop_item(c);
    c->items.push_back(std::move(item));
    return 0;
  }
  case 105: // "[" followed by ":"
    c->emit_int_const(0);
    return 0;
  case 106: // "]" of a slice
    c->cut_code_to_item(ZXL_ITEM_SLICE);
    return 0;
  case 107: // "]" of an index
    c->cut_code_to_item(ZXL_ITEM_INDEX);
    return 0;
  case 108: // "]" of a slice without an end
    c->emit_int_const(ZXL_SLICE_END);
    c->cut_code_to_item(ZXL_ITEM_SLICE);
    return 0;
  case 109: // "::" NAME
  {
    if ( c->items.empty() )
      interr(273);
    zxl_compile_item_t &item = *c->items.back();
    item.name += ".";
    item.name += c->token.text.view();
    return 0;
  }
  case 110: // call argument
    return c->check_call_argument();
  default:
    interr(273);
  }
}
