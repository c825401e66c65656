// ZXL statements: if, loops, break and continue, return, try-catch, throw, auto and extern declarations and
// expression statements.
#include "script/compiler/zxl_compiler_p.h"

#include "script/runtime/zxl_bytecode.h"

#include "core/internal_error.h"

namespace
{

template <typename T>
T pop(std::vector<T> *stack, int32_t interr_number)
{
  if ( stack->empty() )
    interr(interr_number);
  T value = stack->back();
  stack->pop_back();
  return value;
}

// Emits the jump back to `target`, sends the level's continue jumps there and its break jumps to the end.
int close_loop(zxl_compiler_t *c, uint8_t op, uint32_t target)
{
  if ( const int code = c->emit_jump_to(op, target); code != 0 )
    return code;
  for ( int64_t p; (p = pop(&c->continue_list, 265)) != -1; )
    if ( const int code = c->patch_jump(uint32_t(p), target); code != 0 )
      return code;
  for ( int64_t p; (p = pop(&c->break_list, 264)) != -1; )
    if ( const int code = c->patch_jump(uint32_t(p), c->pc()); code != 0 )
      return code;
  return 0;
}

int end_if(zxl_compiler_t *c)
{
  const zxl_compiler_t::if_entry_t entry = pop(&c->if_stack, 263);
  const uint32_t p = entry.position;
  if ( c->pc() - p != 4 )
    return c->patch_jump(p, c->pc());
  // An empty branch: its jump goes.
  const uint8_t op = c->code()[p - 1];
  c->remove_code(5);
  c->last_op = ZOP_POP;
  if ( op == ZOP_JMP )
  {
    // The if jump was patched to land behind this jump: a jump of offset 0 keeps that target in place.
    uint32_t position;
    return c->emit_forward_jump(ZOP_JMP, &position);
  }
  // Only the condition is left: the instruction that made it may take the drop.
  c->last_op = entry.op_before;
  c->emit_drop();
  return 0;
}

int catch_variable(zxl_compiler_t *c)
{
  const std::string name = zxl_token_text(c);
  uint32_t slot = 0;
  const zxl_name_kind kind = c->resolve_name(name, &slot);
  if ( kind != ZXL_NAME_LOCAL && kind != ZXL_NAME_ARG && kind != ZXL_NAME_GLOBAL )
    return zxl_compile_fail(55, name.c_str());
  if ( c->try_stack.empty() )
    interr(269);
  zxl_try_record_t &record = c->try_stack.back();
  record.handler = c->pc();
  record.kind = uint32_t(kind);
  record.slot = slot;
  return 0;
}

int declare_extern(zxl_compiler_t *c)
{
  const std::string name = zxl_token_text(c);
  if ( zxl_global_index(name.c_str()) >= 0 )
    return 0;
  if ( zxl_global_count() > 0xFFFF )
    return zxl_limit_passed("more than 65,536 globals");
  zxl_add_global(name.c_str());
  return 0;
}

} // namespace

int zxl_statement_action(grammar_driver_t *driver, int action)
{
  zxl_compiler_t *c = static_cast<zxl_compiler_t *>(driver);
  uint32_t position = 0;
  int code = 0;
  switch ( action )
  {
  case 1: // if condition, "?"
  {
    const uint8_t before = c->last_op;
    code = c->emit_forward_jump(ZOP_JMP_FALSE, &position);
    if ( code == 0 )
      c->if_stack.push_back({position, before});
    return code;
  }
  case 2: // loop start
    c->break_list.push_back(-1);
    c->continue_list.push_back(-1);
    c->loop_stack.push_back(c->pc());
    return 0;
  case 3: // break
  case 4: // continue
    if ( c->loop_stack.empty() )
      return zxl_compile_fail(action == 3 ? 50 : 51);
    code = c->emit_forward_jump(ZOP_JMP, &position);
    if ( code == 0 )
      (action == 3 ? c->break_list : c->continue_list).push_back(position);
    return code;
  case 5: // try
    c->try_stack.push_back({c->pc(), 0, 0, 0});
    return 0;
  case 6: // throw
    c->emit_op(ZOP_THROW);
    return 0;
  case 7: // end of an expression statement, comma
    c->emit_drop();
    return 0;
  case 8: // else, ":" of "?:"
  {
    code = c->emit_forward_jump(ZOP_JMP, &position);
    if ( code != 0 )
      return code;
    const zxl_compiler_t::if_entry_t entry = pop(&c->if_stack, 263);
    code = c->patch_jump(entry.position, c->pc());
    c->if_stack.push_back({position, ZXL_JUMP_TARGET});
    return code;
  }
  case 9: // end of if / else / "?:"
    return end_if(c);
  case 10: // loop condition
    code = c->emit_forward_jump(ZOP_JMP_FALSE, &position);
    if ( code == 0 )
      c->loop_stack.push_back(position);
    return code;
  case 11: // end of while / for
  {
    const uint32_t exit = pop(&c->loop_stack, 266);
    const uint32_t target = pop(&c->loop_stack, 266);
    code = close_loop(c, ZOP_JMP, target);
    if ( code == 0 && exit != 0 )
      code = c->patch_jump(exit, c->pc());
    return code;
  }
  case 12: // end of do-while
    return close_loop(c, ZOP_JMP_TRUE, pop(&c->loop_stack, 266));
  case 13: // return without a value
    if ( c->function_kind == ZXL_CONSTRUCTOR )
      c->emit_op(ZOP_PUSH_ARG_S);
    else
      c->emit_op(ZOP_PUSH_SMALL);
    c->emit_op(ZOP_RET);
    return 0;
  case 14: // return with a value
    if ( c->function_kind != ZXL_PLAIN_FUNCTION )
      return zxl_compile_fail(1540);
    c->emit_op(ZOP_RET);
    return 0;
  case 15: // for without a condition
    code = c->emit_forward_jump(ZOP_JMP, &position);
    if ( code == 0 )
    {
      c->loop_stack.push_back(0);
      c->loop_stack.push_back(position);
    }
    return code;
  case 16: // for condition done
    code = c->emit_forward_jump(ZOP_JMP, &position);
    if ( code == 0 )
      c->loop_stack.push_back(position);
    return code;
  case 17: // for step done
  {
    const uint32_t body = pop(&c->loop_stack, 266);
    const uint32_t exit = pop(&c->loop_stack, 266);
    const uint32_t start = pop(&c->loop_stack, 266);
    c->loop_stack.push_back(body + 4);
    c->loop_stack.push_back(exit);
    if ( exit != 0 )
      code = c->emit_jump_to(ZOP_JMP, start);
    return code != 0 ? code : c->patch_jump(body, c->pc());
  }
  case 18: // end of the try block
    return c->emit_forward_jump(ZOP_JMP, &position);
  case 19: // catch variable
    return catch_variable(c);
  case 20: // end of the catch block
  {
    const zxl_try_record_t record = pop(&c->try_stack, 269);
    c->finished_tries.push_back(record);
    return c->patch_jump(record.handler - 4, c->pc());
  }
  case 21: // auto NAME
    return c->declare_variable(true);
  case 22: // auto initializer
    c->emit_slot_op(ZOP_POP_LOCAL_S, uint32_t(c->local_index.size() - 1));
    return 0;
  case 28: // extern NAME
    return declare_extern(c);
  default: // 59, 60: block start and end
    return 0;
  }
}
