// The operator engine over every kind pair, conversions, truth, and items and slices of strings and objects.
#include "tests/script/engine_fixture.h"

#include "script/runtime/zxl_operators.h"
#include "script/runtime/zxl_tables.h"

#include "tests/support/interr_capture.h"

#include <climits>
#include <string_view>

namespace
{

using builder_t = zxl_value_t (*)();

#define V(expr) []() -> zxl_value_t { return expr; }

zxl_value_t S(std::string_view text)
{
  return zxl_string(text);
}
zxl_value_t OBJ_AB()
{
  return make_object({{"a", zxl_long(1)}, {"b", zxl_long(2)}});
}
// A REF to global 0, which each case fills first.
zxl_value_t REF()
{
  return zxl_global_ref(0);
}
// A REF to a stack slot of an owner that has ended.
zxl_value_t DANGLING()
{
  zxl_slot_owner_t owner;
  owner.stack.push_back(zxl_long(1));
  return zxl_slot_ref(&owner, 0);
}

class operators : public zxl_engine_test
{
protected:
  void SetUp() override
  {
    zxl_engine_test::SetUp();
    ASSERT_EQ(zxl_add_global("r"), 0);
  }
  void set_global(builder_t value)
  {
    zxl_value_replace(&zxl_global_at(0)->value, value != nullptr ? value() : zxl_long(40));
  }
};

struct operator_case
{
  const char *name;
  builder_t left;
  builder_t right; // null: the same value as the left one (a shared copy)
  int opcode;
  int code;
  const char *expected; // the left operand afterwards
  builder_t global = nullptr;
};

TEST_F(operators, evaluate_every_operator_over_the_kind_pairs)
{
  const operator_case cases[] = {
      // ADD: a STRING on the left appends the right one as a string
      {"string plus long appends a character", V(S("ab")), V(zxl_long(67)), ZOP_ADD, 0, "STRING abC"},
      {"string plus long 0 appends nothing", V(S("ab")), V(zxl_long(0)), ZOP_ADD, 0, "STRING ab"},
      {"string plus int64 appends its low byte", V(S("7")), V(zxl_int64(0x141)), ZOP_ADD, 0, "STRING 7A"},
      {"string plus int64 0 appends a NUL", V(S("7")), V(zxl_int64(0)), ZOP_ADD, 0, "STRING 7\\0"},
      {"string plus float appends its text", V(S("ab")), V(float_of("2.5")), ZOP_ADD, 0, "STRING ab2.5"},
      {"string plus string", V(S("ab")), V(S("cd")), ZOP_ADD, 0, "STRING abcd"},
      {"string plus object fails", V(S("ab")), V(OBJ_AB()), ZOP_ADD, 1531, "STRING ab"},
      {"string plus func fails", V(S("ab")), V(zxl_func(3)), ZOP_ADD, 1531, "STRING ab"},
      {"string plus pointer fails", V(S("ab")), V(zxl_pointer(9)), ZOP_ADD, 1531, "STRING ab"},
      // unification rows, each with a zero and a non-zero number
      {"long 5 plus string 7", V(zxl_long(5)), V(S("7")), ZOP_ADD, 0, "LONG 12"},
      {"long 0 plus string 7", V(zxl_long(0)), V(S("7")), ZOP_ADD, 0, "INT64 7"},
      {"int64 2 plus string 7", V(zxl_int64(2)), V(S("7")), ZOP_ADD, 0, "INT64 9"},
      {"int64 0 plus string 7", V(zxl_int64(0)), V(S("7")), ZOP_ADD, 0, "INT64 7"},
      {"string 10 minus long 3", V(S("10")), V(zxl_long(3)), ZOP_SUB, 0, "LONG 7"},
      {"string 10 minus long 0", V(S("10")), V(zxl_long(0)), ZOP_SUB, 0, "INT64 10"},
      {"string 10 minus int64 4", V(S("10")), V(zxl_int64(4)), ZOP_SUB, 0, "INT64 6"},
      {"string 10 minus int64 0", V(S("10")), V(zxl_int64(0)), ZOP_SUB, 0, "INT64 10"},
      {"string 1.5 times float 2", V(S("1.5")), V(float_of("2")), ZOP_MUL, 0, "FLOAT 3.0"},
      {"long 0 minus string 7", V(zxl_long(0)), V(S("7")), ZOP_SUB, 0, "INT64 -7"},
      {"long plus float", V(zxl_long(1)), V(float_of("2.5")), ZOP_ADD, 0, "FLOAT 3.5"},
      {"long 0 plus float", V(zxl_long(0)), V(float_of("2.5")), ZOP_ADD, 0, "FLOAT 2.5"},
      {"float plus long", V(float_of("2.5")), V(zxl_long(1)), ZOP_ADD, 0, "FLOAT 3.5"},
      {"float plus long 0", V(float_of("2.5")), V(zxl_long(0)), ZOP_ADD, 0, "FLOAT 2.5"},
      {"float plus string", V(float_of("2.5")), V(S("1.5")), ZOP_ADD, 0, "FLOAT 4.0"},
      {"float plus int64", V(float_of("2.5")), V(zxl_int64(2)), ZOP_ADD, 0, "FLOAT 4.5"},
      {"int64 plus float", V(zxl_int64(2)), V(float_of("0.5")), ZOP_ADD, 0, "FLOAT 2.5"},
      {"long plus int64", V(zxl_long(1)), V(zxl_int64(2)), ZOP_ADD, 0, "INT64 3"},
      {"int64 plus long", V(zxl_int64(1)), V(zxl_long(2)), ZOP_ADD, 0, "INT64 3"},
      {"long plus long wraps", V(zxl_long(LLONG_MAX)), V(zxl_long(1)), ZOP_ADD, 0, "LONG -9223372036854775808"},
      {"long minus long wraps", V(zxl_long(LLONG_MIN)), V(zxl_long(1)), ZOP_SUB, 0, "LONG 9223372036854775807"},
      {"float sum out of range", V(float_of("9e4931")), V(float_of("9e4931")), ZOP_ADD, 97, "FLOAT 0.0"},
      // objects
      {"object plus object merges", V(OBJ_AB()), V(make_object({{"b", zxl_long(3)}, {"c", zxl_long(4)}})), ZOP_ADD, 0,
       "OBJECT {a=LONG 1,b=LONG 2,c=LONG 4}"},
      {"object minus object removes", V(OBJ_AB()), V(make_object({{"b", zxl_long(9)}})), ZOP_SUB, 0,
       "OBJECT {a=LONG 1}"},
      {"object plus itself", V(OBJ_AB()), nullptr, ZOP_ADD, 0, "OBJECT {a=LONG 1,b=LONG 2}"},
      {"object minus itself", V(OBJ_AB()), nullptr, ZOP_SUB, 0, "OBJECT {}"},
      {"object times object", V(OBJ_AB()), V(OBJ_AB()), ZOP_MUL, 1531, "OBJECT {a=LONG 1,b=LONG 2}"},
      {"object divided by object", V(OBJ_AB()), V(OBJ_AB()), ZOP_DIV, 1531, "OBJECT {a=LONG 1,b=LONG 2}"},
      {"object modulo object", V(OBJ_AB()), V(OBJ_AB()), ZOP_MOD, 61, "OBJECT {a=LONG 1,b=LONG 2}"},
      // kinds that do not unify leave the left operand and succeed
      {"long plus object", V(zxl_long(1)), V(OBJ_AB()), ZOP_ADD, 0, "LONG 1"},
      {"object plus long", V(OBJ_AB()), V(zxl_long(1)), ZOP_ADD, 0, "OBJECT {a=LONG 1,b=LONG 2}"},
      {"func minus long", V(zxl_func(3)), V(zxl_long(1)), ZOP_SUB, 0, "FUNC 3"},
      {"pointer times float", V(zxl_pointer(4)), V(float_of("2")), ZOP_MUL, 0, "POINTER 4"},
      {"float modulo object", V(float_of("2")), V(OBJ_AB()), ZOP_MOD, 0, "FLOAT 2.0"},
      {"func plus func", V(zxl_func(3)), V(zxl_func(4)), ZOP_ADD, 1531, "FUNC 3"},
      {"pointer plus pointer", V(zxl_pointer(3)), V(zxl_pointer(4)), ZOP_ADD, 1531, "POINTER 3"},
      {"func modulo func", V(zxl_func(3)), V(zxl_func(4)), ZOP_MOD, 61, "FUNC 3"},
      // REF operands are followed to their values
      {"ref plus long", V(REF()), V(zxl_long(2)), ZOP_ADD, 0, "LONG 42"},
      {"long plus ref", V(zxl_long(2)), V(REF()), ZOP_ADD, 0, "LONG 42"},
      {"ref to a string plus long", V(REF()), V(zxl_long(65)), ZOP_ADD, 0, "STRING xA", V(S("x"))},
      {"dangling ref plus long", V(DANGLING()), V(zxl_long(1)), ZOP_ADD, 1563, "REF 0"},
      {"long plus dangling ref", V(zxl_long(1)), V(DANGLING()), ZOP_ADD, 0, "LONG 1"},
      // MUL, DIV, MOD
      {"long times long", V(zxl_long(6)), V(zxl_long(7)), ZOP_MUL, 0, "LONG 42"},
      {"long times long wraps", V(zxl_long(LLONG_MAX)), V(zxl_long(2)), ZOP_MUL, 0, "LONG -2"},
      {"string times string", V(S("6")), V(S("7")), ZOP_MUL, 0, "INT64 42"},
      {"float product out of range", V(float_of("1e3000")), V(float_of("1e3000")), ZOP_MUL, 97, "FLOAT 0.0"},
      {"7 / 2", V(zxl_long(7)), V(zxl_long(2)), ZOP_DIV, 0, "LONG 3"},
      {"-7 / 2", V(zxl_long(-7)), V(zxl_long(2)), ZOP_DIV, 0, "LONG -3"},
      {"1 / 0", V(zxl_long(1)), V(zxl_long(0)), ZOP_DIV, 86, "LONG 1"},
      {"min / -1", V(zxl_long(LLONG_MIN)), V(zxl_long(-1)), ZOP_DIV, 0, "LONG -9223372036854775808"},
      {"int64 min / -1", V(zxl_int64(LLONG_MIN)), V(zxl_long(-1)), ZOP_DIV, 0, "INT64 -9223372036854775808"},
      {"float / float 0", V(float_of("1")), V(float_of("0")), ZOP_DIV, 86, "FLOAT 0.0"},
      {"float / long", V(float_of("1")), V(zxl_long(4)), ZOP_DIV, 0, "FLOAT 2.5e-1"},
      {"string / string", V(S("9")), V(S("2")), ZOP_DIV, 0, "INT64 4"},
      {"string / string 0", V(S("9")), V(S("0")), ZOP_DIV, 86, "INT64 9"},
      {"-7 % 2", V(zxl_long(-7)), V(zxl_long(2)), ZOP_MOD, 0, "LONG -1"},
      {"7 % -2", V(zxl_long(7)), V(zxl_long(-2)), ZOP_MOD, 0, "LONG 1"},
      {"1 % 0", V(zxl_long(1)), V(zxl_long(0)), ZOP_MOD, 86, "LONG 1"},
      {"min % -1", V(zxl_long(LLONG_MIN)), V(zxl_long(-1)), ZOP_MOD, 0, "LONG 0"},
      {"int64 % long", V(zxl_int64(7)), V(zxl_long(4)), ZOP_MOD, 0, "INT64 3"},
      {"float % long", V(float_of("7")), V(zxl_long(4)), ZOP_MOD, 61, "FLOAT 7.0"},
      {"string % string", V(S("7")), V(S("4")), ZOP_MOD, 61, "STRING 7"},
      // logical and bitwise
      {"0 || 5", V(zxl_long(0)), V(zxl_long(5)), ZOP_LOR, 0, "LONG 1"},
      {"0 || 0", V(zxl_long(0)), V(zxl_long(0)), ZOP_LOR, 0, "LONG 0"},
      {"0 && 5", V(zxl_long(0)), V(zxl_long(5)), ZOP_LAND, 0, "LONG 0"},
      {"int64 2 && 3", V(zxl_int64(2)), V(zxl_long(3)), ZOP_LAND, 0, "INT64 1"},
      {"float || long", V(float_of("1")), V(zxl_long(1)), ZOP_LOR, 61, "FLOAT 1.0"},
      {"string 3 | long 4", V(S("3")), V(zxl_long(4)), ZOP_BOR, 0, "LONG 7"},
      {"6 & 3", V(zxl_long(6)), V(zxl_long(3)), ZOP_BAND, 0, "LONG 2"},
      {"6 ^ 3", V(zxl_long(6)), V(zxl_long(3)), ZOP_BXOR, 0, "LONG 5"},
      {"object | object", V(OBJ_AB()), V(OBJ_AB()), ZOP_BOR, 61, "OBJECT {a=LONG 1,b=LONG 2}"},
      {"long | object", V(zxl_long(1)), V(OBJ_AB()), ZOP_BOR, 61, "LONG 1"},
      {"1 << 64", V(zxl_long(1)), V(zxl_long(64)), ZOP_SHL, 0, "LONG 1"},
      {"1 << 63", V(zxl_long(1)), V(zxl_long(63)), ZOP_SHL, 0, "LONG -9223372036854775808"},
      {"-8 >> 1", V(zxl_long(-8)), V(zxl_long(1)), ZOP_SHR, 0, "LONG -4"},
      {"int64 -1 >> 65", V(zxl_int64(-1)), V(zxl_long(65)), ZOP_SHR, 0, "INT64 -1"},
      // comparisons
      {"equal strings", V(S("ab")), V(S("ab")), ZOP_EQ, 0, "LONG 1"},
      {"ab < abc", V(S("ab")), V(S("abc")), ZOP_LT, 0, "LONG 1"},
      {"b > abc", V(S("b")), V(S("abc")), ZOP_GT, 0, "LONG 1"},
      {"bytes compare unsigned", V(S("\xC3")), V(S("a")), ZOP_GT, 0, "LONG 1"},
      {"embedded NUL compares", V(S(std::string_view("a\0b", 3))), V(S(std::string_view("a\0c", 3))), ZOP_LT, 0,
       "LONG 1"},
      {"object equals itself", V(OBJ_AB()), nullptr, ZOP_EQ, 0, "LONG 1"},
      {"object not below itself", V(OBJ_AB()), nullptr, ZOP_LT, 0, "LONG 0"},
      {"object at least itself", V(OBJ_AB()), nullptr, ZOP_GE, 0, "LONG 1"},
      {"two objects unequal", V(OBJ_AB()), V(OBJ_AB()), ZOP_EQ, 0, "LONG 0"},
      {"two objects greater", V(OBJ_AB()), V(OBJ_AB()), ZOP_GT, 0, "LONG 1"},
      {"two objects not at most", V(OBJ_AB()), V(OBJ_AB()), ZOP_LE, 0, "LONG 0"},
      {"object vs number EQ", V(OBJ_AB()), V(zxl_long(1)), ZOP_EQ, 0, "LONG 0"},
      {"object vs number NE", V(OBJ_AB()), V(zxl_long(1)), ZOP_NE, 0, "LONG 1"},
      {"number vs object GE", V(zxl_long(1)), V(OBJ_AB()), ZOP_GE, 0, "LONG 1"},
      {"number vs object LT", V(zxl_long(1)), V(OBJ_AB()), ZOP_LT, 0, "LONG 0"},
      {"long equals float", V(zxl_long(1)), V(float_of("1")), ZOP_EQ, 0, "LONG 1"},
      {"long 2 below string 10", V(zxl_long(2)), V(S("10")), ZOP_LT, 0, "LONG 1"},
      {"long 0 equals empty string", V(zxl_long(0)), V(S("")), ZOP_EQ, 0, "LONG 1"},
      {"int64 0 is a NUL string", V(zxl_int64(0)), V(S("")), ZOP_GT, 0, "LONG 1"},
      {"func indexes signed", V(zxl_func(-1)), V(zxl_func(2)), ZOP_LT, 0, "LONG 1"},
      {"pointers unsigned", V(zxl_pointer(1)), V(zxl_pointer(~0ull)), ZOP_LT, 0, "LONG 1"},
      {"pointer vs func GT", V(zxl_pointer(1)), V(zxl_func(1)), ZOP_GT, 0, "LONG 1"},
      {"ref equals long", V(REF()), V(zxl_long(40)), ZOP_EQ, 0, "LONG 1"},
      {"dangling ref GE", V(DANGLING()), V(zxl_long(1)), ZOP_GE, 0, "LONG 1"},
      {"dangling ref LE", V(zxl_long(1)), V(DANGLING()), ZOP_LE, 0, "LONG 0"},
      // unary operators and conversions (the right operand is unused)
      {"!0", V(zxl_long(0)), V(zxl_long(0)), ZOP_LNOT, 0, "LONG 1"},
      {"!5", V(zxl_long(5)), V(zxl_long(0)), ZOP_LNOT, 0, "LONG 0"},
      {"!int64 0", V(zxl_int64(0)), V(zxl_long(0)), ZOP_LNOT, 0, "INT64 1"},
      {"!object", V(OBJ_AB()), V(zxl_long(0)), ZOP_LNOT, 0, "LONG 0"},
      {"!ref to 40", V(REF()), V(zxl_long(0)), ZOP_LNOT, 0, "LONG 0"},
      {"!ref to string", V(REF()), V(zxl_long(0)), ZOP_LNOT, 61, "STRING x", V(S("x"))},
      {"!string", V(S("a")), V(zxl_long(0)), ZOP_LNOT, 61, "STRING a"},
      {"!float", V(float_of("1")), V(zxl_long(0)), ZOP_LNOT, 61, "FLOAT 1.0"},
      {"~0", V(zxl_long(0)), V(zxl_long(0)), ZOP_BNOT, 0, "LONG -1"},
      {"~int64 5", V(zxl_int64(5)), V(zxl_long(0)), ZOP_BNOT, 0, "INT64 -6"},
      {"~float", V(float_of("1")), V(zxl_long(0)), ZOP_BNOT, 61, "FLOAT 1.0"},
      {"~ref", V(REF()), V(zxl_long(0)), ZOP_BNOT, 61, "REF -1"},
      {"-5", V(zxl_long(5)), V(zxl_long(0)), ZOP_NEG, 0, "LONG -5"},
      {"-min", V(zxl_long(LLONG_MIN)), V(zxl_long(0)), ZOP_NEG, 0, "LONG -9223372036854775808"},
      {"-2.5", V(float_of("2.5")), V(zxl_long(0)), ZOP_NEG, 0, "FLOAT -2.5"},
      {"-0.0 keeps a clear sign", V(float_of("0")), V(zxl_long(0)), ZOP_NEG, 0, "FLOAT 0.0"},
      {"-string", V(S("1")), V(zxl_long(0)), ZOP_NEG, 61, "STRING 1"},
      {"-object", V(OBJ_AB()), V(zxl_long(0)), ZOP_NEG, 61, "OBJECT {a=LONG 1,b=LONG 2}"},
      {"str of long 256", V(zxl_long(256)), V(zxl_long(0)), ZOP_TO_STR, 0, "STRING "},
      {"str of int64 256", V(zxl_int64(256)), V(zxl_long(0)), ZOP_TO_STR, 0, "STRING \\0"},
      {"str of long 65", V(zxl_long(65)), V(zxl_long(0)), ZOP_TO_STR, 0, "STRING A"},
      {"str of float", V(float_of("2.5")), V(zxl_long(0)), ZOP_TO_STR, 0, "STRING 2.5"},
      {"str of object", V(OBJ_AB()), V(zxl_long(0)), ZOP_TO_STR, 1531, "OBJECT {a=LONG 1,b=LONG 2}"},
      {"str of func", V(zxl_func(1)), V(zxl_long(0)), ZOP_TO_STR, 1531, "FUNC 1"},
      {"str of pointer", V(zxl_pointer(1)), V(zxl_long(0)), ZOP_TO_STR, 1531, "POINTER 1"},
      {"str of ref", V(REF()), V(zxl_long(0)), ZOP_TO_STR, 0, "STRING x", V(S("x"))},
      {"str of dangling ref", V(DANGLING()), V(zxl_long(0)), ZOP_TO_STR, 1563, "REF 0"},
      {"long of hex", V(S("0x10")), V(zxl_long(0)), ZOP_TO_LONG, 0, "LONG 16"},
      {"long of octal", V(S("010")), V(zxl_long(0)), ZOP_TO_LONG, 0, "LONG 8"},
      {"long of a signed prefix", V(S(" -12abc")), V(zxl_long(0)), ZOP_TO_LONG, 0, "LONG -12"},
      {"long of no number", V(S("abc")), V(zxl_long(0)), ZOP_TO_LONG, 0, "LONG 0"},
      {"long of int64", V(zxl_int64(5)), V(zxl_long(0)), ZOP_TO_LONG, 0, "LONG 5"},
      {"long of float truncates", V(float_of("-2.9")), V(zxl_long(0)), ZOP_TO_LONG, 0, "LONG -2"},
      {"long of a huge float", V(float_of("1e30")), V(zxl_long(0)), ZOP_TO_LONG, 98, "FLOAT 1.0e30"},
      {"long of object", V(OBJ_AB()), V(zxl_long(0)), ZOP_TO_LONG, 1531, "OBJECT {a=LONG 1,b=LONG 2}"},
      {"int64 of long", V(zxl_long(5)), V(zxl_long(0)), ZOP_TO_INT64, 0, "INT64 5"},
      {"int64 of string", V(S("42")), V(zxl_long(0)), ZOP_TO_INT64, 0, "INT64 42"},
      {"int64 of a huge float", V(float_of("1e19")), V(zxl_long(0)), ZOP_TO_INT64, 98, "FLOAT 1.0e19"},
      {"int64 of func", V(zxl_func(2)), V(zxl_long(0)), ZOP_TO_INT64, 1531, "FUNC 2"},
      {"float of long", V(zxl_long(3)), V(zxl_long(0)), ZOP_TO_FLOAT, 0, "FLOAT 3.0"},
      {"float of int64", V(zxl_int64(-3)), V(zxl_long(0)), ZOP_TO_FLOAT, 0, "FLOAT -3.0"},
      {"float of a string prefix", V(S("2.5x")), V(zxl_long(0)), ZOP_TO_FLOAT, 0, "FLOAT 2.5"},
      {"float of no number", V(S("abc")), V(zxl_long(0)), ZOP_TO_FLOAT, 0, "FLOAT 0.0"},
      {"float of pointer", V(zxl_pointer(1)), V(zxl_long(0)), ZOP_TO_FLOAT, 1531, "POINTER 1"},
  };
  for ( const operator_case &c : cases )
  {
    set_global(c.global);
    qvector<zxl_value_t> stack;
    stack.push_back(c.left());
    if ( zxl_operator_arity(c.opcode) == 2 )
      stack.push_back(c.right != nullptr ? c.right() : zxl_value_share(stack[0], 283));
    qerrno_set(0);
    const int code = zxl_eval_operator(&stack, c.opcode);
    EXPECT_EQ(code, c.code) << c.name;
    if ( code != 0 )
    {
      EXPECT_EQ(qerrno_get(), code) << c.name;
    }
    ASSERT_EQ(stack.size(), 1u) << c.name;
    EXPECT_EQ(describe(stack[0]), c.expected) << c.name;
    zxl_values_release(&stack);
  }
}

TEST_F(operators, refuse_opcodes_outside_the_set_and_a_short_stack)
{
  qvector<zxl_value_t> stack;
  stack.push_back(zxl_long(1));
  for ( int opcode : {0, 175, 192, 199, 207, 210, 255} )
    EXPECT_EQ(interr_number([&] { (void)zxl_eval_operator(&stack, opcode); }), 1448) << opcode;
  EXPECT_EQ(interr_number([&] { (void)zxl_eval_operator(&stack, ZOP_ADD); }), 1449);
  stack.clear();
  EXPECT_EQ(interr_number([&] { (void)zxl_eval_operator(&stack, ZOP_NEG); }), 1449);
}

TEST_F(operators, truth_of_each_kind)
{
  const struct
  {
    builder_t value;
    bool ok;
    const char *expected;
  } cases[] = {
      {V(zxl_long(5)), true, "LONG 5"},       {V(zxl_int64(7)), true, "LONG 1"},
      {V(zxl_int64(0)), true, "LONG 0"},      {V(OBJ_AB()), true, "LONG 1"},
      {V(S("")), true, "LONG 0"},             {V(S("a")), true, "LONG 1"},
      {V(float_of("1")), false, "FLOAT 1.0"}, {V(zxl_func(1)), false, "FUNC 1"},
      {V(zxl_pointer(1)), false, "POINTER 1"}, {V(REF()), false, "REF -1"},
  };
  set_global(nullptr);
  for ( const auto &c : cases )
  {
    owned_value_t v(c.value());
    qerrno_set(0);
    EXPECT_EQ(zxl_truth(&v.v), c.ok) << c.expected;
    EXPECT_EQ(qerrno_get(), c.ok ? 0 : 61) << c.expected;
    EXPECT_EQ(describe(v.v), c.expected);
  }
}

zxl_value_t HELLO()
{
  return S("hello");
}
zxl_value_t ABCD()
{
  return make_object({{"0", S("a")}, {"1", S("b")}, {"2", S("c")}, {"3", S("d")}, {"x", zxl_long(9)}});
}

struct read_case
{
  const char *name;
  builder_t source;
  int64_t i;
  int64_t j;
  bool item;
  int code;
  const char *expected;
};

TEST_F(operators, read_items_and_slices)
{
  const read_case cases[] = {
      {"item -1", HELLO, -1, 0, true, 0, "STRING o"},
      {"item 0", HELLO, 0, 0, true, 0, "STRING h"},
      {"item past the end", HELLO, 10, 0, true, 0, "STRING "},
      {"item far before the start", HELLO, -6, 0, true, 0, "STRING h"},
      {"item 0x7FFFFFFF", HELLO, ZXL_SLICE_END, 0, true, 0, "STRING "},
      {"item at the most negative index", HELLO, LLONG_MIN, 0, true, 0, "STRING h"},
      {"slice 1 to -1", HELLO, 1, -1, false, 0, "STRING ell"},
      {"slice to the end", HELLO, 1, ZXL_SLICE_END, false, 0, "STRING ello"},
      {"slice backwards is empty", HELLO, 3, 1, false, 0, "STRING "},
      {"slice from far before", HELLO, -100, 2, false, 0, "STRING he"},
      {"object item", ABCD, 1, 0, true, 0, "STRING b"},
      {"missing object item", ABCD, 7, 0, true, 1538, "LONG 0"},
      {"negative object item", ABCD, -1, 0, true, 1538, "LONG 0"},
      {"object slice to the end", ABCD, 1, ZXL_SLICE_END, false, 0,
       "OBJECT {0=STRING b,1=STRING c,2=STRING d}"},
      {"object slice 1 to 3", ABCD, 1, 3, false, 0, "OBJECT {0=STRING b,1=STRING c}"},
      {"object slice from a negative index", ABCD, -1, ZXL_SLICE_END, false, 0, "OBJECT {}"},
      {"object slice skips names that are not indexes",
       V(make_object({{"0", S("a")}, {"01", S("z")}, {"1a", S("y")}, {"10", S("k")}, {"2", S("c")}})), 0,
       ZXL_SLICE_END, false, 0, "OBJECT {0=STRING a,10=STRING k,2=STRING c}"},
      {"long source", V(zxl_long(5)), 0, 0, true, 1568, "LONG 0"},
      {"ref to a string", V(REF()), 0, 0, true, 0, "STRING h"},
      {"dangling ref", V(DANGLING()), 0, 0, true, 1563, "LONG 0"},
  };
  for ( const read_case &c : cases )
  {
    set_global(HELLO);
    owned_value_t source(c.source());
    owned_value_t destination;
    qerrno_set(0);
    EXPECT_EQ(zxl_get_range(&destination.v, &source.v, c.i, c.j, c.item), c.code) << c.name;
    EXPECT_EQ(describe(destination.v), c.expected) << c.name;
  }
  owned_value_t v;
  EXPECT_EQ(zxl_get_range(nullptr, &v.v, 0, 0, true), 1568);
  EXPECT_EQ(zxl_get_range(&v.v, nullptr, 0, 0, true), 1568);
}

TEST_F(operators, an_item_read_may_replace_its_own_source)
{
  owned_value_t x(S("a long string that is not short"));
  ASSERT_EQ(zxl_get_range(&x.v, &x.v, 2, 6, false), 0);
  EXPECT_EQ(describe(x.v), "STRING long");
  owned_value_t o(ABCD());
  ASSERT_EQ(zxl_get_range(&o.v, &o.v, 3, 0, true), 0);
  EXPECT_EQ(describe(o.v), "STRING d");
}

struct write_case
{
  const char *name;
  builder_t target;
  int64_t i;
  int64_t j;
  bool item;
  builder_t source;
  int code;
  const char *expected;
};

TEST_F(operators, write_items_and_slices)
{
  const write_case cases[] = {
      {"slice with a longer string", HELLO, 1, 3, false, V(S("XYZ")), 0, "STRING hXYZlo"},
      {"item with a long", HELLO, 0, 0, true, V(zxl_long(66)), 0, "STRING Bello"},
      {"item at the end appends", HELLO, 5, 0, true, V(S("!")), 0, "STRING hello!"},
      {"item -1", HELLO, -1, 0, true, V(S("O")), 0, "STRING hellO"},
      {"empty slice inserts", HELLO, 2, 2, false, V(S("--")), 0, "STRING he--llo"},
      {"whole slice with nothing", HELLO, 0, ZXL_SLICE_END, false, V(S("")), 0, "STRING "},
      {"string target, object source", HELLO, 0, 1, false, V(OBJ_AB()), 1531, "STRING hello"},
      {"long target", V(zxl_long(1)), 0, 1, false, V(S("a")), 1568, "LONG 1"},
      {"object slice shrinks", ABCD, 1, 3, false, V(make_object({{"0", S("x")}})), 0,
       "OBJECT {0=STRING a,1=STRING x,2=STRING d,x=LONG 9}"},
      {"object slice grows", ABCD, 1, 1, false, V(S("pq")), 0,
       "OBJECT {0=STRING a,1=STRING p,2=STRING q,3=STRING b,4=STRING c,5=STRING d,x=LONG 9}"},
      {"object slice of the same size", ABCD, 0, 2, false, V(S("uv")), 0,
       "OBJECT {0=STRING u,1=STRING v,2=STRING c,3=STRING d,x=LONG 9}"},
      {"object slice emptied", ABCD, 0, ZXL_SLICE_END, false, V(make_object({})), 0, "OBJECT {x=LONG 9}"},
      {"object item inserted", ABCD, 7, 0, true, V(zxl_long(1)), 0,
       "OBJECT {0=STRING a,1=STRING b,2=STRING c,3=STRING d,7=LONG 1,x=LONG 9}"},
      {"object slice from a long", ABCD, 0, 1, false, V(zxl_long(1)), 1568,
       "OBJECT {0=STRING a,1=STRING b,2=STRING c,3=STRING d,x=LONG 9}"},
      {"source indexes in index order", V(make_object({})), 0, 0, false,
       V(make_object({{"0", S("a")}, {"1", S("b")}, {"10", S("k")}, {"2", S("c")}})), 0,
       "OBJECT {0=STRING a,1=STRING b,2=STRING c,3=STRING k}"},
      {"source collection ends at a leading zero", V(make_object({})), 0, 0, false,
       V(make_object({{"0", S("a")}, {"01", S("z")}, {"1", S("b")}})), 0, "OBJECT {0=STRING a}"},
  };
  for ( const write_case &c : cases )
  {
    owned_value_t target(c.target());
    owned_value_t source(c.source());
    qerrno_set(0);
    EXPECT_EQ(zxl_set_range(&target.v, c.i, c.j, &source.v, c.item), c.code) << c.name;
    EXPECT_EQ(describe(target.v), c.expected) << c.name;
  }
}

TEST_F(operators, writes_through_a_ref_change_the_variable_and_a_copy_stays)
{
  set_global(HELLO);
  owned_value_t copy(zxl_value_share(zxl_global_at(0)->value, 283));
  owned_value_t ref(REF());
  owned_value_t j(S("J"));
  ASSERT_EQ(zxl_set_range(&ref.v, 0, 1, &j.v, false), 0);
  EXPECT_EQ(describe(zxl_global_at(0)->value), "STRING Jello");
  EXPECT_EQ(describe(ref.v), "REF -1");
  EXPECT_EQ(describe(copy.v), "STRING hello");

  // A slice of an object written with the object itself.
  owned_value_t o(ABCD());
  owned_value_t same(zxl_value_share(o.v, 283));
  ASSERT_EQ(zxl_set_range(&o.v, 4, 4, &same.v, false), 0);
  EXPECT_EQ(describe(o.v), "OBJECT {0=STRING a,1=STRING b,2=STRING c,3=STRING d,4=STRING a,5=STRING b,6=STRING c,"
                           "7=STRING d,x=LONG 9}");
}

} // namespace
