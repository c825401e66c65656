// The operator engine: arithmetic, logic, comparisons and conversions of ZXL values, the kind unification of
// binary operators, truth, and reading and writing items and slices of strings and objects.
#pragma once

#include "script/runtime/zxl_value.h"

#include "core/qvector.h"

#include <cstdint>

// Opcodes of the operator instructions.
enum zxl_operator_opcode : uint8_t
{
  ZOP_ADD = 176,
  ZOP_SUB,
  ZOP_MUL,
  ZOP_DIV,
  ZOP_MOD,
  ZOP_LOR,
  ZOP_LAND,
  ZOP_LNOT,
  ZOP_BOR,
  ZOP_BAND,
  ZOP_BXOR,
  ZOP_BNOT,
  ZOP_SHR,
  ZOP_SHL,
  ZOP_NEG,
  ZOP_TO_STR = 191,
  ZOP_EQ = 200,
  ZOP_NE,
  ZOP_LE,
  ZOP_GE,
  ZOP_LT,
  ZOP_GT,
  ZOP_TO_LONG = 206,
  ZOP_TO_FLOAT = 208,
  ZOP_TO_INT64 = 209,
};

// Operands an operator takes from the stack: 1 or 2; 0 for an opcode outside the operator set.
int zxl_operator_arity(int opcode);

// Evaluates an operator on the top of a value stack: a binary operator takes the right operand off the top and
// the left one (the new top) receives the result; a unary one replaces the top. 0 or an error code (the left
// operand keeps any partial conversion). An opcode outside the set is internal error 1448; a stack holding
// fewer operands than the operator takes is internal error 1449.
[[nodiscard]] int zxl_eval_operator(qvector<zxl_value_t> *stack, int opcode);
// The same on two slots: left receives the result; right is a scratch operand the caller releases.
[[nodiscard]] int zxl_binary_operator(zxl_value_t *left, zxl_value_t *right, int opcode);
// The same on one slot.
[[nodiscard]] int zxl_unary_operator(zxl_value_t *top, int opcode);

// In-place conversions; each follows a REF slot first (replacing it by the final value). 0 or an error code
// (1531 for a kind that does not convert, 97 or 98 for a float out of range, 1563 for a bad REF).
[[nodiscard]] int zxl_to_string(zxl_value_t *slot);
[[nodiscard]] int zxl_to_long(zxl_value_t *slot);
[[nodiscard]] int zxl_to_int64(zxl_value_t *slot);
[[nodiscard]] int zxl_to_float(zxl_value_t *slot);
// The error code of a software-float status: 0 for success, 97 out of range, 86 division by zero, 98 too large
// for a 64-bit integer.
int zxl_status_error(int status);

// Follows both slots through REFs and converts one side so that both have one kind: that kind, or -1 (with the
// error set when a conversion or a REF failed, without one when the kinds do not unify).
int zxl_unify_kinds(zxl_value_t *left, zxl_value_t *right);
// Three-way comparison after unification: -1, 0 or 1; incomparable values give 1.
int zxl_compare(zxl_value_t *left, zxl_value_t *right);
// Replaces the slot by its truth as LONG 0 or 1 (LONG stays as it is): true, or false with error 61 for a
// kind without truth.
bool zxl_truth(zxl_value_t *slot);

// Index of a slice that runs to the end.
inline constexpr int64_t ZXL_SLICE_END = 0x7fffffff;

// destination = source[i] (item) or source[i:j]; the source is followed through REFs. 0 or an error code
// (1568 for a null slot or a source that is neither STRING nor OBJECT, 1538 for a missing object index).
[[nodiscard]] int zxl_get_range(zxl_value_t *destination, const zxl_value_t *source, int64_t i, int64_t j,
                                bool item);
// target[i] = source (item) or target[i:j] = source, in the variable a REF target refers to. 0 or an error code.
[[nodiscard]] int zxl_set_range(zxl_value_t *target, int64_t i, int64_t j, const zxl_value_t *source, bool item);
