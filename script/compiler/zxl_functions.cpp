// ZXL functions, methods and classes: function start and end, parameters and their constant default values,
// parent constructor calls, destructors and the attribute hooks.
#include "script/compiler/zxl_compiler_p.h"

#include "script/runtime/zxl_bytecode.h"
#include "script/runtime/zxl_operators.h"

#include "core/internal_error.h"

#include <cstring>

namespace
{

int function_name(zxl_compiler_t *c)
{
  const std::string name = zxl_token_text(c);
  if ( zxl_find_native(name.c_str()) != nullptr )
    return zxl_compile_fail(52, name.c_str());
  if ( name.size() >= 128 )
    return zxl_compile_fail(28, name.c_str());
  return c->begin_function(name);
}

int parameters_done(zxl_compiler_t *c)
{
  int32_t line = -1;
  const char *file = c->engine->reader->get_position(&line, nullptr, 0);
  c->record_source_position(file, line);
  zxl_function_t *f = c->function;
  f->param_count = int32_t(c->arg_index.size());
  if ( c->function_kind == ZXL_DESTRUCTOR && c->arg_index.size() != 1 )
    return zxl_compile_fail(1585);
  if ( !f->defaults.empty() && int64_t(f->defaults.size()) + c->first_default != f->param_count )
    return zxl_compile_fail(1268);
  c->emit_op(ZOP_RESERVE);
  c->emit_word(0);
  return 0;
}

int store_default(zxl_compiler_t *c)
{
  if ( c->constants.size() != 1 )
    interr(1437);
  zxl_function_t *f = c->function;
  const int64_t params = int64_t(c->arg_index.size());
  if ( c->first_default == -1 )
    c->first_default = int32_t(params - 1);
  else if ( int64_t(f->defaults.size()) + c->first_default + 1 != params )
    return zxl_compile_fail(1268);
  f->defaults.push_back(c->constants.back());
  c->constants.pop_back();
  return 0;
}

int push_constant_literal(zxl_compiler_t *c)
{
  const lexer_token_t &token = c->token;
  switch ( token.kind )
  {
  case TOKEN_INTEGER:
  case TOKEN_CHAR:
    c->constants.push_back(zxl_long(int64_t(token.number)));
    return 0;
  case TOKEN_STRING:
  {
    std::string bytes;
    if ( !zxl_string_literal_bytes(token, &bytes) )
      return ZXL_BAD_WIDE_LITERAL;
    c->constants.push_back(zxl_string(bytes));
    return 0;
  }
  case TOKEN_FLOAT:
    c->constants.push_back(zxl_float(token.value.real));
    return 0;
  case TOKEN_INT64:
    c->constants.push_back(zxl_int64(token.value.integer));
    return 0;
  default:
    interr(1438);
  }
}

int append_constant_string(zxl_compiler_t *c)
{
  std::string bytes;
  if ( !zxl_string_literal_bytes(c->token, &bytes) )
    return ZXL_BAD_WIDE_LITERAL;
  if ( c->constants.empty() || c->constants.back().kind != ZK_STRING )
    interr(1438);
  zxl_string_append(&c->constants.back(), bytes);
  return 0;
}

int constant_choice(zxl_compiler_t *c)
{
  if ( c->constants.size() < 3 )
    interr(1439);
  const size_t base = c->constants.size() - 3;
  zxl_value_t *condition = &c->constants[base];
  if ( !zxl_truth(condition) )
    return qerrno_get();
  const bool first = condition->i != 0;
  zxl_value_t chosen = c->constants[base + (first ? 1 : 2)];
  zxl_value_release(c->constants[base + (first ? 2 : 1)]);
  zxl_value_release(c->constants[base]);
  c->constants.resize(base);
  c->constants.push_back(chosen);
  return 0;
}

int constant_operator(zxl_compiler_t *c, uint8_t op)
{
  if ( size_t(zxl_operator_arity(op)) > c->constants.size() )
    interr(1437);
  return zxl_eval_operator(&c->constants, op);
}

int define_class(zxl_compiler_t *c)
{
  const std::string name = zxl_token_text(c);
  zxl_class_t *cls = zxl_define_class(name.c_str(), nullptr);
  if ( cls->index > 0xFFFF )
    return zxl_limit_passed("more than 65,536 classes");
  c->current_class = cls;
  return 0;
}

int set_parent_class(zxl_compiler_t *c)
{
  const std::string name = zxl_token_text(c);
  const zxl_class_t *parent = zxl_find_class(name.c_str());
  if ( parent == nullptr )
    return zxl_compile_fail(1536, name.c_str());
  zxl_class_t *cls = c->current_class;
  // Walk the parent's ancestors up to the root (bounded: a corrupt table never loops).
  const zxl_class_t *walk = parent;
  for ( int32_t steps = zxl_class_count(); steps >= 0; --steps )
  {
    if ( walk == cls )
      return zxl_compile_fail(1537, name.c_str());
    if ( walk->index == 0 )
      break;
    walk = zxl_class_at(walk->parent);
  }
  cls->parent = parent->index;
  return 0;
}

// At the end of a method of a class, the names "__getattr__" and "__setattr__" make it an attribute hook.
void record_hooks(zxl_compiler_t *c)
{
  const char *dot = std::strchr(c->function->name.c_str(), '.');
  if ( dot == nullptr )
    return;
  const int32_t index = zxl_function_position(c->function);
  if ( std::strcmp(dot + 1, "__getattr__") == 0 )
    c->current_class->getattr_method = index;
  else if ( std::strcmp(dot + 1, "__setattr__") == 0 )
    c->current_class->setattr_method = index;
  else
    return;
  zxl_tables_changed();
}

} // namespace

void zxl_compiler_t::clear_function_stacks()
{
  body.clear();
  lines.clear();
  local_index.clear();
  arg_index.clear();
  open_calls.clear();
  zxl_values_release(&constants);
  if_stack.clear();
  break_list.clear();
  continue_list.clear();
  loop_stack.clear();
  saved_positions.clear();
  arg_counts.clear();
  items.clear();
  try_stack.clear();
  finished_tries.clear();
}

int zxl_compiler_t::begin_function(const std::string &name)
{
  clear_function_stacks();
  function_kind = ZXL_PLAIN_FUNCTION;
  first_default = -1;
  int32_t index = -1;
  if ( current_class != nullptr )
  {
    const std::string class_name(current_class->name.view());
    std::string method = name;
    if ( name == class_name )
      function_kind = ZXL_CONSTRUCTOR;
    if ( destructor_flag )
    {
      if ( name != class_name )
        return zxl_compile_fail(1584, name.c_str());
      method = "~" + name;
      function_kind = ZXL_DESTRUCTOR;
    }
    index = zxl_define_method(current_class, method.c_str());
    if ( index >= 0 && function_kind == ZXL_DESTRUCTOR )
      current_class->destructor_method = index;
    arg_index.emplace("this", 0);
  }
  else
  {
    index = zxl_define_function(name.c_str());
  }
  if ( index < 0 )
    return zxl_compile_fail(40, name.c_str());
  function = zxl_function_at(index);
  last_op = ZOP_NOP;
  if ( function->activation != -1 )
    interr(484);
  return 0;
}

int zxl_compiler_t::end_function()
{
  destructor_flag = false;
  if ( code().size() < 3 )
    interr(708);
  zxl_code_patch16(&code(), 1, uint16_t(local_index.size()));
  if ( last_op != ZOP_RET )
  {
    emit_op(function_kind == ZXL_CONSTRUCTOR ? uint8_t(ZOP_PUSH_ARG_S) : uint8_t(ZOP_PUSH_SMALL));
    emit_op(ZOP_RET);
  }
  if ( code().size() > size_t(INT32_MAX) )
    return zxl_limit_passed("a function body past the 32-bit jump range");
  std::vector<zxl_handler_t> handlers;
  handlers.reserve(finished_tries.size());
  for ( const zxl_try_record_t &t : finished_tries )
    handlers.push_back({t.start, t.handler, t.kind, t.slot});
  // Room for the handler table's 16-bit size as well; a table itself grows the body once more.
  function->body.reserve(body.size() + 2);
  function->body.append_plain(body.data(), body.size());
  function->line_table.reserve(lines.size());
  function->line_table.append_plain(lines.data(), lines.size());
  body.clear();
  lines.clear();
  if ( !zxl_code_finish(function, handlers) )
    return zxl_limit_passed("a handler table over 65,535 bytes");
  if ( current_class != nullptr )
    record_hooks(this);
  reset_function_state();
  return 0;
}

void zxl_compiler_t::reset_function_state()
{
  local_index.clear();
  arg_index.clear();
  if ( function != nullptr && !function->body.empty() )
  {
    const bool leftovers[] = {
      !open_calls.empty(), !if_stack.empty(),   !break_list.empty() || !saved_positions.empty(),
      !continue_list.empty(), !loop_stack.empty(), !arg_counts.empty(),
      !items.empty(),      !try_stack.empty() || !constants.empty(),
    };
    for ( int i = 0; i < 8; ++i )
      if ( leftovers[i] )
        interr(262 + i);
  }
  if ( function != nullptr )
  {
    if ( function->activation != -1 )
      interr(485);
    function->activation = 0;
  }
  function = nullptr;
  resolver = nullptr;
}

int zxl_compiler_t::begin_parent_ctor_call(const zxl_class_t *parent)
{
  // The parent's constructor, or the nearest ancestor's when the parent has none.
  const int32_t constructor = zxl_find_constructor(parent);
  parent_ctor_missing = constructor < 0;
  std::unique_ptr<zxl_compile_item_t> item = new_item(ZXL_ITEM_NAME);
  if ( constructor >= 0 )
    item->name = zxl_function_at(constructor)->name.view();
  open_calls.push_back({item.get()});
  items.push_back(std::move(item));
  saved_positions.push_back(pc());
  arg_counts.push_back(0);
  emit_op(ZOP_PUSH_ARG_S); // this
  return check_call_argument();
}

int zxl_compiler_t::end_parent_ctor_call()
{
  if ( arg_counts.empty() || open_calls.empty() )
    interr(267);
  const uint32_t count = arg_counts.back();
  arg_counts.pop_back();
  open_calls.pop_back();
  cut_code_to_item(ZXL_ITEM_CALL);
  std::unique_ptr<zxl_compile_item_t> call = std::move(items.back());
  items.pop_back();
  call->argc = count;
  if ( !items.empty() )
    interr(270);
  int code = 0;
  if ( parent_ctor_missing )
    code = count == 1 ? 0 : zxl_compile_fail(56, call->base->name.c_str());
  else
    code = emit_item(*call, false, 0);
  recycle_item(std::move(call));
  return code;
}

int zxl_function_action(grammar_driver_t *driver, int action)
{
  zxl_compiler_t *c = static_cast<zxl_compiler_t *>(driver);
  if ( action >= 32 && action <= 52 )
    return constant_operator(c, zxl_operator_opcodes[action - 32]);
  if ( action >= 54 && action <= 57 )
    return constant_operator(c, zxl_conversion_opcodes[action - 54]);
  switch ( action )
  {
  case 0: // end of a function or method
    return c->end_function();
  case 23: // function or method name
    return function_name(c);
  case 24: // parameters done
    return parameters_done(c);
  case 25: // constructor body without initializer
  {
    const zxl_class_t *cls = c->current_class;
    if ( c->function_kind != ZXL_CONSTRUCTOR || cls == nullptr || cls->parent == 0 )
      return 0;
    if ( const int code = c->begin_parent_ctor_call(zxl_class_at(cls->parent)); code != 0 )
      return code;
    return c->end_parent_ctor_call();
  }
  case 26: // initializer NAME
  {
    const zxl_class_t *cls = c->current_class;
    if ( c->function_kind != ZXL_CONSTRUCTOR || cls == nullptr )
      return zxl_compile_fail(47);
    const std::string name = zxl_token_text(c);
    if ( cls->parent == 0 || zxl_class_at(cls->parent)->name.view() != name )
      return zxl_compile_fail(1586, name.c_str());
    return c->begin_parent_ctor_call(zxl_class_at(cls->parent));
  }
  case 27: // initializer arguments done
    return c->end_parent_ctor_call();
  case 29: // parameter NAME
    return c->declare_variable(false);
  case 30: // parameter default value
    return store_default(c);
  case 31: // constant "?:"
    return constant_choice(c);
  case 53: // constant literal
    return push_constant_literal(c);
  case 58: // adjacent constant string
    return append_constant_string(c);
  case 111: // class NAME
    return define_class(c);
  case 112: // end of a class
    c->current_class = nullptr;
    return 0;
  case 113: // "~"
    c->destructor_flag = true;
    return 0;
  case 114: // parent class
    return set_parent_class(c);
  default:
    interr(273);
  }
}
