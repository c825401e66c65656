// ZXL bytecode: the opcodes, the body layout (code, handler table, table size) and the code buffer services.
#pragma once

#include "script/runtime/zxl_tables.h"

#include "core/qvector.h"

#include <cstdint>
#include <memory>
#include <vector>

// Opcodes that are not operators (zxl_operators.h names those). Families with a short form keep the index in the
// opcode (S, 16 opcodes from the first); B forms carry an 8-bit index, W forms a 16-bit one.
enum zxl_opcode : uint8_t
{
  ZOP_CALL_NATIVE_S = 0,
  ZOP_CALL_FUNC_S = 16,
  ZOP_POP_LOCAL_S = 32,
  ZOP_POP_ARG_S = 48,
  ZOP_STORE_LOCAL_S = 64,
  ZOP_STORE_ARG_S = 80,
  ZOP_PUSH_LOCAL_S = 96,
  ZOP_PUSH_ARG_S = 112,
  ZOP_CALL_NATIVE_B = 128,
  ZOP_CALL_NATIVE_W,
  ZOP_CALL_FUNC_B,
  ZOP_CALL_FUNC_W,
  ZOP_POP_LOCAL_B,
  ZOP_POP_LOCAL_W,
  ZOP_POP_ARG_B,
  ZOP_POP_ARG_W,
  ZOP_STORE_LOCAL_B,
  ZOP_STORE_LOCAL_W,
  ZOP_STORE_ARG_B,
  ZOP_STORE_ARG_W,
  ZOP_PUSH_LOCAL_B,
  ZOP_PUSH_LOCAL_W,
  ZOP_PUSH_ARG_B,
  ZOP_PUSH_ARG_W = 143,
  ZOP_PUSH_INT8 = 160,
  ZOP_PUSH_INT16,
  ZOP_DROP_B,
  ZOP_DROP_W,
  ZOP_CALL_VALUE,
  ZOP_RESERVE,
  ZOP_NOP,
  ZOP_PUSH_INT32,
  ZOP_PUSH_STR,
  ZOP_POP,
  ZOP_MARK,
  ZOP_JMP,
  ZOP_JMP_TRUE,
  ZOP_JMP_FALSE,
  ZOP_FUNC_REF,
  ZOP_RET = 175,
  ZOP_INC_LOCAL_B = 192,
  ZOP_INC_LOCAL_W,
  ZOP_INC_ARG_B,
  ZOP_INC_ARG_W,
  ZOP_DEC_LOCAL_B,
  ZOP_DEC_LOCAL_W,
  ZOP_DEC_ARG_B,
  ZOP_DEC_ARG_W = 199,
  ZOP_PUSH_FLOAT = 210,
  ZOP_PUSH_INT64,
  ZOP_MARK_BELOW,
  ZOP_PUSH_GLOBAL_B,
  ZOP_PUSH_GLOBAL_W,
  ZOP_POP_GLOBAL_B,
  ZOP_POP_GLOBAL_W,
  ZOP_STORE_GLOBAL_B,
  ZOP_STORE_GLOBAL_W,
  ZOP_INC_GLOBAL_B,
  ZOP_INC_GLOBAL_W,
  ZOP_DEC_GLOBAL_B,
  ZOP_DEC_GLOBAL_W,
  ZOP_THROW,
  ZOP_PUSH_SMALL = 224,
  ZOP_NEW = 240,
  ZOP_CLONE,
  ZOP_GET_ATTR,
  ZOP_SET_ATTR,
  ZOP_SET_ATTR_POP,
  ZOP_INC_ATTR,
  ZOP_DEC_ATTR,
  ZOP_CALL_METHOD,
  ZOP_REF_ARG,
  ZOP_REF_LOCAL,
  ZOP_REF_GLOBAL,
  ZOP_SET_SLICE,
  ZOP_GET_SLICE,
  ZOP_DUP,
  ZOP_GET_ITEM,
  ZOP_SET_ITEM = 255,
};

// Slot kinds of a handler.
enum zxl_slot_kind : uint32_t
{
  ZXL_SLOT_LOCAL = 1,
  ZXL_SLOT_ARG = 2,
  ZXL_SLOT_GLOBAL = 3,
};

// One row of a handler table: the code range [start, end) it protects (the catch block starts at end) and the
// slot that receives the caught value.
struct zxl_handler_t
{
  uint32_t start = 0;
  uint32_t end = 0;
  uint32_t slot_kind = 0;
  uint32_t slot_index = 0;
};

// Appends bytes to a body under construction.
void zxl_code_append(byte_buffer_t *body, const void *bytes, size_t count);
// Patch an 8, 16 or 32-bit little-endian value at a position; bytes past the current end are internal error 277.
void zxl_code_patch8(byte_buffer_t *body, uint32_t position, uint8_t value);
void zxl_code_patch16(byte_buffer_t *body, uint32_t position, uint16_t value);
void zxl_code_patch32(byte_buffer_t *body, uint32_t position, uint32_t value);
// Finishes a function's body: records the code length, appends the handler table (in the given order) when there
// are handlers, then the 16-bit table size. False, with the body unchanged, when the table passes 65,535 bytes.
[[nodiscard]] bool zxl_code_finish(zxl_function_t *function, const std::vector<zxl_handler_t> &handlers);
// The code length of a finished body: under 3 bytes is internal error 278; a table size that leaves no code is
// internal error 279.
uint32_t zxl_code_length(const byte_buffer_t &body);
// The first handler in table order whose range holds the offset; false when none does (or the table is cut).
bool zxl_find_handler(const zxl_function_t &function, uint32_t offset, zxl_handler_t *handler);

// The decoded code of a function: for each code offset, the run of instructions starting there that the
// interpreter takes as one step, recognised once from the bytes so the loop does not re-read and re-check them.
// Only what the bytes fix is decoded (every offset and target is inside the code); what the values at run time
// decide (kinds, stack depths) the interpreter still checks.
enum zxl_step_form : uint8_t
{
  ZXL_STEP_NONE,
  ZXL_STEP_OPERATION, // PUSH_LOCAL_S or PUSH_ARG_S a; a LONG push b (second); a LONG operator (op)
  ZXL_STEP_BRANCH,    // the same, then JMP_FALSE or JMP_TRUE: x is the next pc for a non-zero result, y for zero
  ZXL_STEP_ASSIGN,    // the same, then POP_LOCAL_S x
  ZXL_STEP_STEP,      // PUSH_LOCAL_S or PUSH_ARG_S a; INC_LOCAL_B or DEC_LOCAL_B (op) x; POP; when third is
                      // set, JMP to y
  ZXL_STEP_MEMBER,    // PUSH_LOCAL_S or PUSH_ARG_S a; PUSH_STR of x bytes; GET_ATTR, SET_ATTR_POP or CALL_METHOD at y
  ZXL_STEP_CALL_ONE,  // MARK; LONG pushes a (second) and b (third); a LONG operator (op); CALL_FUNC_S x
  ZXL_STEP_JUMP,      // JMP, JMP_TRUE or JMP_FALSE: x is the pc when it jumps, y when it does not
  ZXL_STEP_RESERVE,   // RESERVE of x values
};
// A jump target outside the code: that way the instructions run one by one, and the jump fails as it should.
inline constexpr uint32_t ZXL_STEP_NO_TARGET = 0xFFFFFFFF;
// The handler the loop dispatches a step to: its opcode's own for a single instruction (ZXL_STEP_NONE), else
// ZXL_STEP_ENTRY_BASE + form. The step past the last byte of code has ZXL_STEP_ENTRY_END: a run that reaches
// the end of the code without a return stops there.
inline constexpr uint16_t ZXL_STEP_ENTRY_BASE = 256;
inline constexpr uint16_t ZXL_STEP_ENTRY_END = ZXL_STEP_ENTRY_BASE + ZXL_STEP_RESERVE + 1;
inline constexpr uint16_t ZXL_STEP_ENTRY_COUNT = ZXL_STEP_ENTRY_END + 1;
struct zxl_step_t
{
  uint8_t form = ZXL_STEP_NONE;
  uint8_t op = 0;
  uint8_t second = 0;
  uint8_t third = 0;
  uint16_t entry = ZXL_STEP_ENTRY_END;
  uint8_t opcode = 0; // the byte at the step's offset
  uint32_t x = 0;
  uint32_t y = 0;
};

// Decodes `length` bytes of code: one step per offset.
std::unique_ptr<zxl_step_t[]> zxl_decode_steps(const uint8_t *code, uint32_t length);
// The decoded code of a function, made on first use under the script lock. The caller holds an activation of
// the function (or the lock), so the body does not change under it.
const zxl_step_t *zxl_make_steps(zxl_function_t *function);
inline const zxl_step_t *zxl_function_steps(zxl_function_t *function)
{
  const zxl_step_t *steps = function->steps.load(std::memory_order_acquire);
  return steps != nullptr ? steps : zxl_make_steps(function);
}
