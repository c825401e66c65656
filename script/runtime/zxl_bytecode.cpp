// ZXL bytecode: building finished bodies and reading their handler tables.
#include "script/runtime/zxl_bytecode.h"

#include "script/runtime/zxl_engine.h"
#include "script/runtime/zxl_operators.h"

#include "core/byte_cursor.h"
#include "core/compact_codec.h"
#include "core/internal_error.h"

#include <algorithm>
#include <cstring>

namespace
{

void patch(byte_buffer_t *body, uint32_t position, uint32_t value, size_t width)
{
  if ( uint64_t(position) + width > body->size() )
    interr(277);
  for ( size_t i = 0; i < width; ++i )
    (*body)[position + i] = uint8_t(value >> (8 * i));
}

// The operators the interpreter computes itself on two LONGs.
bool long_operator(uint8_t op)
{
  switch ( op )
  {
  case ZOP_ADD:
  case ZOP_SUB:
  case ZOP_MUL:
  case ZOP_BOR:
  case ZOP_BAND:
  case ZOP_BXOR:
  case ZOP_EQ:
  case ZOP_NE:
  case ZOP_LE:
  case ZOP_GE:
  case ZOP_LT:
  case ZOP_GT:
    return true;
  default:
    return false;
  }
}

bool variable_push(uint8_t op)
{
  return op >= ZOP_PUSH_LOCAL_S && op < ZOP_PUSH_ARG_S + 16;
}

// PUSH_SMALL, PUSH_LOCAL_S or PUSH_ARG_S.
bool short_push(uint8_t op)
{
  return variable_push(op) || (op >= ZOP_PUSH_SMALL && op < ZOP_PUSH_SMALL + 16);
}

// A jump target: inside the code, or ZXL_STEP_NO_TARGET.
uint32_t inside(int64_t target, uint64_t end)
{
  return target >= 0 && uint64_t(target) < end ? uint32_t(target) : ZXL_STEP_NO_TARGET;
}

// The step of the instructions from the opcode at code[pc - 1] on.
zxl_step_t decode_step(const uint8_t *code, uint32_t length, uint32_t pc)
{
  zxl_step_t step;
  const uint8_t first = code[pc - 1];
  const uint64_t end = length;
  if ( first == ZOP_MARK )
  {
    if ( pc + uint64_t(4) <= end && code[pc + 3] >= ZOP_CALL_FUNC_S && code[pc + 3] < ZOP_CALL_FUNC_S + 16 &&
         short_push(code[pc]) && short_push(code[pc + 1]) && long_operator(code[pc + 2]) )
    {
      step.form = ZXL_STEP_CALL_ONE;
      step.second = code[pc];
      step.third = code[pc + 1];
      step.op = code[pc + 2];
      step.x = code[pc + 3] & 15u;
    }
    return step;
  }
  if ( first == ZOP_RESERVE )
  {
    if ( pc + uint64_t(2) <= end )
    {
      step.form = ZXL_STEP_RESERVE;
      step.x = uint32_t(code[pc]) | uint32_t(code[pc + 1]) << 8;
    }
    return step;
  }
  if ( first == ZOP_JMP || first == ZOP_JMP_TRUE || first == ZOP_JMP_FALSE )
  {
    if ( pc + uint64_t(4) <= end )
    {
      int32_t offset;
      std::memcpy(&offset, code + pc, 4);
      step.form = ZXL_STEP_JUMP;
      step.x = inside(int64_t(pc) + 4 + offset, end);
      step.y = inside(int64_t(pc) + 4, end);
    }
    return step;
  }
  if ( !variable_push(first) || pc + uint64_t(2) > end )
    return step;
  const uint8_t second = code[pc];
  if ( short_push(second) && long_operator(code[pc + 1]) )
  {
    step.form = ZXL_STEP_OPERATION;
    step.second = second;
    step.op = code[pc + 1];
    const uint32_t after = pc + 2;
    const uint8_t taker = after < end ? code[after] : uint8_t(ZOP_NOP);
    if ( (taker == ZOP_JMP_FALSE || taker == ZOP_JMP_TRUE) && after + uint64_t(5) <= end )
    {
      int32_t offset;
      std::memcpy(&offset, code + after + 1, 4);
      const int64_t fall = int64_t(after) + 5;
      const int64_t jump = fall + offset;
      step.form = ZXL_STEP_BRANCH;
      step.x = inside(taker == ZOP_JMP_TRUE ? jump : fall, end);
      step.y = inside(taker == ZOP_JMP_TRUE ? fall : jump, end);
    }
    else if ( taker >= ZOP_POP_LOCAL_S && taker < ZOP_POP_LOCAL_S + 16 )
    {
      step.form = ZXL_STEP_ASSIGN;
      step.x = taker & 15u;
    }
    return step;
  }
  if ( (second == ZOP_INC_LOCAL_B || second == ZOP_DEC_LOCAL_B) && pc + uint64_t(3) <= end &&
       code[pc + 2] == ZOP_POP )
  {
    step.form = ZXL_STEP_STEP;
    step.op = second;
    step.x = code[pc + 1];
    // A loop's step is commonly followed by the jump back to its condition.
    if ( pc + uint64_t(8) <= end && code[pc + 3] == ZOP_JMP )
    {
      int32_t offset;
      std::memcpy(&offset, code + pc + 4, 4);
      step.y = inside(int64_t(pc) + 8 + offset, end);
      step.third = step.y != ZXL_STEP_NO_TARGET;
    }
    return step;
  }
  if ( second == ZOP_PUSH_STR && pc + uint64_t(6) <= end )
  {
    uint32_t name_length;
    std::memcpy(&name_length, code + pc + 1, 4);
    const uint64_t member_pc = pc + uint64_t(5) + name_length;
    if ( member_pc < end && (code[member_pc] == ZOP_GET_ATTR || code[member_pc] == ZOP_SET_ATTR_POP ||
                             code[member_pc] == ZOP_CALL_METHOD) )
    {
      step.form = ZXL_STEP_MEMBER;
      step.op = code[member_pc];
      step.x = name_length;
      step.y = uint32_t(member_pc);
    }
  }
  return step;
}

} // namespace

std::unique_ptr<zxl_step_t[]> zxl_decode_steps(const uint8_t *code, uint32_t length)
{
  // One more than the code, so that even empty code has steps: the last is the end's.
  auto steps = std::make_unique<zxl_step_t[]>(size_t(length) + 1);
  for ( uint32_t at = 0; at < length; ++at )
  {
    zxl_step_t &step = steps[at];
    step = decode_step(code, length, at + 1);
    step.entry = step.form == ZXL_STEP_NONE ? code[at] : uint16_t(ZXL_STEP_ENTRY_BASE + step.form);
    step.opcode = code[at];
  }
  return steps;
}

const zxl_step_t *zxl_make_steps(zxl_function_t *function)
{
  critical_section_guard_t guard(zxl_script_lock);
  if ( const zxl_step_t *steps = function->steps.load(std::memory_order_acquire) )
    return steps;
  const uint32_t length = std::min<uint32_t>(function->code_length, uint32_t(function->body.size()));
  zxl_step_t *steps = zxl_decode_steps(function->body.data(), length).release();
  function->steps.store(steps, std::memory_order_release);
  return steps;
}

void zxl_code_append(byte_buffer_t *body, const void *bytes, size_t count)
{
  bytevec_append(body, bytes, count);
}

void zxl_code_patch8(byte_buffer_t *body, uint32_t position, uint8_t value)
{
  patch(body, position, value, 1);
}

void zxl_code_patch16(byte_buffer_t *body, uint32_t position, uint16_t value)
{
  patch(body, position, value, 2);
}

void zxl_code_patch32(byte_buffer_t *body, uint32_t position, uint32_t value)
{
  patch(body, position, value, 4);
}

bool zxl_code_finish(zxl_function_t *function, const std::vector<zxl_handler_t> &handlers)
{
  byte_buffer_t table;
  if ( !handlers.empty() )
  {
    uint8_t buf[compact_u32_max_size * 4];
    const uint8_t *end = buf + sizeof(buf);
    uint8_t *pos = pack_u32_compact(buf, end, uint32_t(handlers.size()));
    bytevec_append(&table, buf, size_t(pos - buf));
    uint32_t previous_start = 0;
    uint32_t previous_end = 0;
    for ( const zxl_handler_t &h : handlers )
    {
      // Inner handlers come before outer ones, so the deltas may be negative: they wrap as 32-bit values.
      pos = pack_u32_compact(buf, end, h.start - previous_start);
      pos = pack_u32_compact(pos, end, h.end - previous_end);
      pos = pack_u32_compact(pos, end, h.slot_kind);
      pos = pack_u32_compact(pos, end, h.slot_index);
      bytevec_append(&table, buf, size_t(pos - buf));
      previous_start = h.start;
      previous_end = h.end;
    }
    if ( table.size() > 0xFFFF )
      return false;
  }
  function->code_length = uint32_t(function->body.size());
  bytevec_append(&function->body, table.data(), table.size());
  const uint8_t size[2] = {uint8_t(table.size()), uint8_t(table.size() >> 8)};
  bytevec_append(&function->body, size, 2);
  return true;
}

uint32_t zxl_code_length(const byte_buffer_t &body)
{
  const size_t total = body.size();
  if ( total < 3 )
    interr(278);
  const size_t table_size = size_t(body[total - 2]) | size_t(body[total - 1]) << 8;
  if ( table_size >= total - 2 )
    interr(279);
  return uint32_t(total - 2 - table_size);
}

bool zxl_find_handler(const zxl_function_t &function, uint32_t offset, zxl_handler_t *handler)
{
  const byte_buffer_t &body = function.body;
  const size_t total = body.size();
  if ( total < 3 || function.code_length >= total - 2 )
    return false;
  const uint8_t *cursor = body.data() + function.code_length;
  const uint8_t *end = body.data() + total - 2;
  uint32_t count = 0;
  if ( !unpack_u32_compact_checked(&cursor, end, &count) )
    return false;
  uint32_t start = 0;
  uint32_t stop = 0;
  for ( uint32_t i = 0; i < count; ++i )
  {
    uint32_t start_delta = 0, end_delta = 0, kind = 0, index = 0;
    if ( !unpack_u32_compact_checked(&cursor, end, &start_delta) ||
         !unpack_u32_compact_checked(&cursor, end, &end_delta) ||
         !unpack_u32_compact_checked(&cursor, end, &kind) || !unpack_u32_compact_checked(&cursor, end, &index) )
      return false;
    start += start_delta;
    stop += end_delta;
    if ( offset >= start && offset < stop )
    {
      *handler = {start, stop, kind, index};
      return true;
    }
  }
  return false;
}
