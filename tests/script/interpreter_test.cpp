// The interpreter loop: every instruction family in its forms, calls, natives, and the bounds of a run.
#include "script/runtime/zxl_context.h"
#include "script/runtime/zxl_exceptions.h"

#include "tests/script/engine_fixture.h"
#include "tests/script/zxl_assembler.h"

#include "script/runtime/zxl_operators.h"

#include "core/error_state.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

// A fresh engine with: global "g" (0), function "add2" (a, b) -> a + b (0), classes "P" with constructor
// P(this) that sets this.made = 1, "C" derived from P without one, "H" with __getattr__ (answers the name,
// or FUNC add2 for "f") and __setattr__ (stores the value in g), "M" with method m(this, x) -> x + 1.
class interpreter_test : public zxl_engine_test
{
protected:
  void SetUp() override
  {
    zxl_engine_test::SetUp();
    ASSERT_EQ(zxl_add_global("g"), 0);
    ASSERT_EQ(zxl_install("add2", 2, "PUSH_ARG_S 0; PUSH_ARG_S 1; ADD; RET"), 0);
    zxl_class_t *p = zxl_define_class("P", nullptr);
    zxl_define_method(p, "P");
    zxl_install("P.P", 1, R"(PUSH_SMALL 1; PUSH_ARG_S 0; PUSH_STR "made"; SET_ATTR_POP; PUSH_ARG_S 0; RET)");
    c_class = zxl_define_class("C", p)->index;
    zxl_class_t *h = zxl_define_class("H", nullptr);
    h->getattr_method = zxl_define_method(h, "__getattr__");
    zxl_install("H.__getattr__", 2, R"(PUSH_ARG_S 1; PUSH_STR "f"; EQ; JMP_TRUE func
                                       PUSH_ARG_S 1; RET
                                       func: PUSH_STR "add2"; FUNC_REF; RET)");
    h->setattr_method = zxl_define_method(h, "__setattr__");
    zxl_install("H.__setattr__", 3, "PUSH_ARG_S 2; POP_GLOBAL_B 0; PUSH_SMALL 0; RET");
    h_class = h->index;
    zxl_class_t *m = zxl_define_class("M", nullptr);
    zxl_define_method(m, "m");
    zxl_install("M.m", 2, "PUSH_ARG_S 1; PUSH_SMALL 1; ADD; RET");
    m_class = m->index;
  }
  int32_t c_class = 0, h_class = 0, m_class = 0;
};

std::string with_classes(std::string text, int32_t c, int32_t h, int32_t m)
{
  for ( const auto &[key, value] : {std::pair<std::string, int32_t> {"$C", c}, {"$H", h}, {"$M", m}} )
    for ( size_t at; (at = text.find(key)) != std::string::npos; )
      text.replace(at, key.size(), std::to_string(value));
  return text;
}

struct body_case_t
{
  const char *what;
  const char *body;
  const char *value;    // describe() of the result on success; null: the run fails
  int64_t qerrno = 0;   // the failure's code
  int32_t params = 0;   // the body takes the arguments 3 and 4 when 2
};

TEST_F(interpreter_test, every_instruction_family_runs_in_its_forms)
{
  const body_case_t cases[] = {
      {"small and signed pushes", "PUSH_SMALL 15; RET", "LONG 15"},
      {"int8", "PUSH_INT8 -1; RET", "LONG -1"},
      {"int16 sign", "PUSH_INT16 0x8000; RET", "LONG -32768"},
      {"int32", "PUSH_INT32 -100000; RET", "LONG -100000"},
      {"int64 is a LONG", "PUSH_INT64 0x123456789; RET", "LONG 4886718345"},
      {"float", "PUSH_FLOAT 2.5; RET", "FLOAT 2.5"},
      {"string with a NUL", R"(PUSH_STR "a\0b"; RET)", "STRING a\\0b"},
      {"locals S", "RESERVE 2; PUSH_SMALL 7; POP_LOCAL_S 1; PUSH_LOCAL_S 1; RET", "LONG 7"},
      {"locals B", "RESERVE 2; PUSH_SMALL 7; POP_LOCAL_B 1; PUSH_LOCAL_B 1; RET", "LONG 7"},
      {"locals W", "RESERVE 300; PUSH_SMALL 7; POP_LOCAL_W 299; PUSH_LOCAL_W 299; RET", "LONG 7"},
      {"store local S keeps the top", "RESERVE 1; PUSH_SMALL 4; STORE_LOCAL_S 0; PUSH_LOCAL_S 0; ADD; RET",
       "LONG 8"},
      {"store local B", "RESERVE 1; PUSH_SMALL 4; STORE_LOCAL_B 0; PUSH_LOCAL_B 0; ADD; RET", "LONG 8"},
      {"store local W", "RESERVE 1; PUSH_SMALL 4; STORE_LOCAL_W 0; PUSH_LOCAL_W 0; ADD; RET", "LONG 8"},
      {"args S", "PUSH_ARG_S 0; PUSH_ARG_S 1; SUB; RET", "LONG -1", 0, 2},
      {"args B", "PUSH_ARG_B 1; RET", "LONG 4", 0, 2},
      {"args W", "PUSH_ARG_W 0; RET", "LONG 3", 0, 2},
      {"pop arg S", "PUSH_SMALL 9; POP_ARG_S 0; PUSH_ARG_S 0; RET", "LONG 9", 0, 2},
      {"pop arg B", "PUSH_SMALL 9; POP_ARG_B 1; PUSH_ARG_B 1; RET", "LONG 9", 0, 2},
      {"pop arg W", "PUSH_SMALL 9; POP_ARG_W 1; PUSH_ARG_S 1; RET", "LONG 9", 0, 2},
      {"store arg S", "PUSH_SMALL 9; STORE_ARG_S 0; PUSH_ARG_S 0; ADD; RET", "LONG 18", 0, 2},
      {"store arg B", "PUSH_SMALL 9; STORE_ARG_B 0; PUSH_ARG_S 0; ADD; RET", "LONG 18", 0, 2},
      {"store arg W", "PUSH_SMALL 9; STORE_ARG_W 0; PUSH_ARG_S 0; ADD; RET", "LONG 18", 0, 2},
      {"globals B", "PUSH_SMALL 5; POP_GLOBAL_B 0; PUSH_GLOBAL_B 0; RET", "LONG 5"},
      {"globals W", "PUSH_SMALL 5; POP_GLOBAL_W 0; PUSH_GLOBAL_W 0; RET", "LONG 5"},
      {"store global", "PUSH_SMALL 5; STORE_GLOBAL_B 0; STORE_GLOBAL_W 0; PUSH_GLOBAL_B 0; ADD; RET", "LONG 10"},
      {"inc and dec global", "INC_GLOBAL_B 0; INC_GLOBAL_W 0; DEC_GLOBAL_B 0; INC_GLOBAL_B 0; PUSH_GLOBAL_W 0; RET",
       "LONG 2"},
      {"dec global W", "DEC_GLOBAL_W 0; PUSH_GLOBAL_B 0; RET", "LONG -1"},
      {"inc LONG wraps", "RESERVE 1; PUSH_INT64 0x7fffffffffffffff; POP_LOCAL_S 0; INC_LOCAL_B 0; PUSH_LOCAL_S 0; RET",
       "LONG -9223372036854775808"},
      {"dec INT64 wraps",
       "RESERVE 1; PUSH_INT64 0x8000000000000000; TO_INT64; POP_LOCAL_S 0; DEC_LOCAL_W 0; PUSH_LOCAL_S 0; RET",
       "INT64 9223372036854775807"},
      {"inc FLOAT", "RESERVE 1; PUSH_FLOAT 1.5; POP_LOCAL_S 0; INC_LOCAL_W 0; PUSH_LOCAL_S 0; RET", "FLOAT 2.5"},
      {"dec FLOAT", "RESERVE 1; PUSH_FLOAT 1.5; POP_LOCAL_S 0; DEC_LOCAL_B 0; PUSH_LOCAL_S 0; RET", "FLOAT 5.0e-1"},
      {"inc STRING", R"(RESERVE 1; PUSH_STR "x"; POP_LOCAL_S 0; INC_LOCAL_B 0; RET)", nullptr, 61},
      {"inc and dec args", "INC_ARG_B 0; INC_ARG_W 0; DEC_ARG_B 1; DEC_ARG_W 1; PUSH_ARG_S 0; PUSH_ARG_S 1; MUL; RET",
       "LONG 10", 0, 2},
      {"inc through a REF", "RESERVE 2; PUSH_SMALL 0; REF_LOCAL; POP_LOCAL_S 1; INC_LOCAL_B 1; PUSH_LOCAL_S 0; RET",
       "LONG 1"},
      {"write through a REF local",
       "RESERVE 2; PUSH_SMALL 0; REF_LOCAL; POP_LOCAL_S 1; PUSH_SMALL 6; POP_LOCAL_S 1; PUSH_LOCAL_S 0; RET",
       "LONG 6"},
      {"REF of a REF slot is that REF",
       "RESERVE 2; PUSH_SMALL 0; REF_GLOBAL; POP_LOCAL_S 0; PUSH_SMALL 0; REF_LOCAL; POP_LOCAL_S 1; "
       "PUSH_SMALL 8; POP_LOCAL_S 1; PUSH_GLOBAL_B 0; RET",
       "LONG 8"},
      {"REF to an argument", "PUSH_SMALL 1; REF_ARG; DUP; ADD; RET", "LONG 8", 0, 2},
      {"REF index converts like TO_LONG", R"(RESERVE 1; PUSH_SMALL 3; POP_LOCAL_S 0; PUSH_STR "0"; REF_LOCAL; RET)",
       "LONG 3"},
      {"a returned REF to a local is its value", "RESERVE 1; PUSH_SMALL 5; POP_LOCAL_S 0; PUSH_SMALL 0; REF_LOCAL; RET",
       "LONG 5"},
      {"JMP 0 goes on", "JMP 0; PUSH_SMALL 1; RET", "LONG 1"},
      {"JMP_TRUE not taken", "PUSH_SMALL 0; JMP_TRUE skip; PUSH_SMALL 2; RET; skip: PUSH_SMALL 3; RET", "LONG 2"},
      {"JMP_TRUE on a string", R"(PUSH_STR "x"; JMP_TRUE skip; PUSH_SMALL 2; RET; skip: PUSH_SMALL 3; RET)",
       "LONG 3"},
      {"JMP_FALSE on an empty string", R"(PUSH_STR ""; JMP_FALSE skip; PUSH_SMALL 2; RET; skip: PUSH_SMALL 3; RET)",
       "LONG 3"},
      {"JMP_TRUE on INT64 and OBJECT",
       "PUSH_SMALL 1; TO_INT64; JMP_FALSE no; MARK; NEW 0; JMP_FALSE no; PUSH_SMALL 1; RET; no: PUSH_SMALL 0; RET",
       "LONG 1"},
      {"JMP_TRUE on a FLOAT", "PUSH_FLOAT 1; JMP_TRUE x; x: PUSH_SMALL 1; RET", nullptr, 61},
      {"a backward loop",
       "RESERVE 1; top: INC_LOCAL_B 0; PUSH_LOCAL_S 0; PUSH_SMALL 10; LT; JMP_TRUE top; PUSH_LOCAL_S 0; RET",
       "LONG 10"},
      {"drops and dup", "PUSH_SMALL 1; PUSH_SMALL 2; PUSH_SMALL 3; DROP_B 2; DUP; ADD; NOP; RET", "LONG 2"},
      {"drop W", "PUSH_SMALL 1; PUSH_SMALL 2; PUSH_SMALL 3; DROP_W 2; RET", "LONG 1"},
      {"operators", "PUSH_SMALL 7; PUSH_SMALL 2; MOD; PUSH_SMALL 5; SHL; NEG; RET", "LONG -32"},
      {"comparison and conversion", "PUSH_SMALL 7; PUSH_SMALL 7; EQ; TO_FLOAT; RET", "FLOAT 1.0"},
      {"division by zero", "PUSH_SMALL 1; PUSH_SMALL 0; DIV; RET", nullptr, 86},
      {"call S", "MARK; PUSH_SMALL 2; PUSH_SMALL 3; CALL_FUNC_S 0; RET", "LONG 5"},
      {"call B", "MARK; PUSH_SMALL 2; PUSH_SMALL 3; CALL_FUNC_B 0; RET", "LONG 5"},
      {"call W", "MARK; PUSH_SMALL 2; PUSH_SMALL 3; CALL_FUNC_W 0; RET", "LONG 5"},
      {"call with the top as the first argument", "PUSH_SMALL 2; MARK_BELOW; PUSH_SMALL 3; CALL_FUNC_S 0; RET",
       "LONG 5"},
      {"call a missing index", "MARK; CALL_FUNC_W 999; RET", nullptr, 88},
      {"call a function value", R"(MARK; PUSH_SMALL 2; PUSH_SMALL 3; PUSH_STR "add2"; FUNC_REF; CALL_VALUE; RET)",
       "LONG 5"},
      {"call a non-function", "MARK; PUSH_SMALL 2; CALL_VALUE; RET", nullptr, 1541},
      {"FUNC_REF of an unknown name", R"(PUSH_STR "nope"; FUNC_REF; RET)", nullptr, 88},
      {"NEW runs the parent's constructor", R"(MARK; NEW $C; PUSH_STR "made"; GET_ATTR; RET)", "LONG 1"},
      {"NEW without constructor", "MARK; NEW 0; CLONE; RET", "OBJECT {}"},
      {"NEW without constructor and an argument", "MARK; PUSH_SMALL 1; NEW 0; RET", nullptr, 56},
      {"NEW of a missing class", "MARK; NEW 999; RET", nullptr, 1535},
      {"attributes: set, inc returns the old value, get",
       R"(RESERVE 1; MARK; NEW 0; POP_LOCAL_S 0; PUSH_SMALL 5; PUSH_LOCAL_S 0; PUSH_STR "a"; SET_ATTR; POP;
          PUSH_LOCAL_S 0; PUSH_STR "a"; INC_ATTR; PUSH_LOCAL_S 0; PUSH_STR "a"; GET_ATTR; MUL;
          PUSH_LOCAL_S 0; PUSH_STR "a"; DEC_ATTR; ADD; RET)",
       "LONG 36"},
      {"missing attribute", R"(MARK; NEW 0; PUSH_STR "a"; GET_ATTR; RET)", nullptr, 1538},
      {"attribute of a non-object", R"(PUSH_SMALL 1; PUSH_STR "a"; GET_ATTR; RET)", nullptr, 1532},
      {"inc of a missing attribute", R"(MARK; NEW 0; PUSH_STR "a"; INC_ATTR; RET)", nullptr, 1538},
      {"getattr hook", R"(MARK; NEW $H; PUSH_STR "zz"; GET_ATTR; RET)", "STRING zz"},
      {"inc of a getattr value has no slot", R"(MARK; NEW $H; PUSH_STR "zz"; INC_ATTR; RET)", nullptr, 1534},
      {"setattr hook", R"(PUSH_SMALL 9; MARK; NEW $H; PUSH_STR "q"; SET_ATTR_POP; PUSH_GLOBAL_B 0; RET)", "LONG 9"},
      {"setattr hook leaves the object alone",
       R"(RESERVE 1; MARK; NEW $H; POP_LOCAL_S 0; PUSH_SMALL 9; PUSH_LOCAL_S 0; PUSH_STR "q"; SET_ATTR_POP;
          PUSH_LOCAL_S 0; CLONE; RET)",
       "OBJECT {}"},
      {"method path 1: found in the class", R"(MARK; PUSH_SMALL 4; MARK; NEW $M; PUSH_STR "m"; CALL_METHOD; RET)",
       "LONG 5"},
      {"method path 2: a FUNC attribute",
       R"(RESERVE 1; MARK; NEW 0; POP_LOCAL_S 0; PUSH_STR "add2"; FUNC_REF; PUSH_LOCAL_S 0; PUSH_STR "f";
          SET_ATTR_POP; MARK; PUSH_SMALL 2; PUSH_SMALL 3; PUSH_LOCAL_S 0; PUSH_STR "f"; CALL_METHOD; RET)",
       "LONG 5"},
      {"method path 3: getattr gives a FUNC",
       R"(MARK; PUSH_SMALL 2; PUSH_SMALL 3; MARK; NEW $H; PUSH_STR "f"; CALL_METHOD; RET)", "LONG 5"},
      {"no method, attribute or hook", R"(MARK; MARK; NEW 0; PUSH_STR "m"; CALL_METHOD; RET)", nullptr, 88},
      {"an attribute that is not a function",
       R"(RESERVE 1; MARK; NEW $H; POP_LOCAL_S 0; MARK; PUSH_LOCAL_S 0; PUSH_STR "zz"; CALL_METHOD; RET)", nullptr,
       1541},
      {"item", R"(PUSH_STR "hello"; PUSH_SMALL 1; GET_ITEM; RET)", "STRING e"},
      {"slice", R"(PUSH_STR "hello"; PUSH_SMALL 1; PUSH_SMALL 3; GET_SLICE; RET)", "STRING el"},
      {"set item on a stack copy", R"(PUSH_STR "X"; PUSH_STR "abc"; PUSH_SMALL 1; SET_ITEM; RET)", "STRING aXc"},
      {"set item through a REF changes the variable",
       R"(RESERVE 1; PUSH_STR "abc"; POP_LOCAL_S 0; PUSH_STR "X"; PUSH_SMALL 0; REF_LOCAL; PUSH_SMALL 0; SET_ITEM;
          POP; PUSH_LOCAL_S 0; RET)",
       "STRING Xbc"},
      {"set slice", R"(PUSH_STR "XY"; PUSH_STR "abcd"; PUSH_SMALL 1; PUSH_SMALL 3; SET_SLICE; RET)", "STRING aXYd"},
      {"item of a number", "PUSH_SMALL 1; PUSH_SMALL 1; GET_ITEM; RET", nullptr, 1568},
  };
  for ( const body_case_t &c : cases )
  {
    SCOPED_TRACE(c.what);
    zxl_install("t", c.params, with_classes(c.body, c_class, h_class, m_class));
    {
      critical_section_guard_t guard(zxl_script_lock);
      zxl_value_replace(&zxl_global_at(0)->value, zxl_long(0));
    }
    const zxl_outcome_t out = c.params == 2 ? zxl_run_by_name("t", {zxl_long(3), zxl_long(4)}) : zxl_run_by_name("t");
    EXPECT_EQ(out.ok, c.value != nullptr) << out.error;
    if ( c.value != nullptr )
    {
      EXPECT_EQ(out.value, c.value);
    }
    else
    {
      EXPECT_EQ(out.qerrno, c.qerrno) << out.error;
    }
    EXPECT_EQ(out.depth_left, 0u);
    EXPECT_EQ(zxl_function_at(zxl_compiled_function_index("t"))->activation, 0);
  }
}

TEST_F(interpreter_test, a_ref_kept_after_its_run_ended_is_dangling)
{
  // The next run's context may well sit at the same address: the REF must still not reach into it.
  zxl_install("keep", 0, "RESERVE 1; PUSH_SMALL 0; REF_LOCAL; POP_GLOBAL_B 0; PUSH_SMALL 0; RET");
  zxl_install("read", 0, "RESERVE 1; PUSH_GLOBAL_B 0; RET");
  ASSERT_TRUE(zxl_run_by_name("keep").ok);
  const zxl_outcome_t out = zxl_run_by_name("read");
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.qerrno, 1563);
  zxl_install("write", 0, "PUSH_SMALL 1; POP_GLOBAL_B 0; PUSH_SMALL 0; RET");
  EXPECT_EQ(zxl_run_by_name("write").qerrno, 1563);
}

TEST_F(interpreter_test, operators_in_the_loop_agree_with_the_operator_engine)
{
  const int64_t values[] = {0, 1, -1, 7, -9, INT64_MAX, INT64_MIN};
  const char *names[] = {"ADD", "SUB", "MUL", "DIV", "MOD", "BOR", "BAND", "BXOR", "SHL", "SHR",
                         "EQ",  "NE",  "LE",  "GE",  "LT",  "GT",  "LOR", "LAND"};
  for ( const char *name : names )
    for ( int64_t a : values )
      for ( int64_t b : values )
      {
        zxl_install("t", 0, "PUSH_INT64 " + std::to_string(a) + "; PUSH_INT64 " + std::to_string(b) + "; " + name +
                                "; RET");
        const zxl_outcome_t out = zxl_run_by_name("t");
        qvector<zxl_value_t> stack;
        stack.push_back(zxl_long(a));
        stack.push_back(zxl_long(b));
        const int code = zxl_eval_operator(&stack, zxl_opcode_of(name));
        if ( code != 0 )
        {
          EXPECT_EQ(out.qerrno, code) << name << " " << a << " " << b;
        }
        else
        {
          EXPECT_EQ(out.value, describe(stack[0])) << name << " " << a << " " << b;
        }
        zxl_values_release(&stack);
      }
}

// Variables read, combined and taken as one step (pushed, popped into a local, branched on) give what the
// single instructions give; so do two short strings joined in place, at and past the short bound.
TEST_F(interpreter_test, fused_sequences_and_short_joins_agree_with_the_operator_engine)
{
  const int64_t values[] = {0, 1, -1, 7, INT64_MAX, INT64_MIN};
  const char *names[] = {"ADD", "SUB", "MUL", "BOR", "BAND", "BXOR", "EQ", "NE", "LE", "GE", "LT", "GT"};
  for ( const char *name : names )
    for ( int64_t a : values )
      for ( int64_t b : values )
      {
        qvector<zxl_value_t> stack;
        stack.push_back(zxl_long(a));
        stack.push_back(zxl_long(b));
        ASSERT_EQ(zxl_eval_operator(&stack, zxl_opcode_of(name)), 0);
        const int64_t expected = stack[0].i;
        const std::string op = std::string(name) + "; ";
        const std::pair<std::string, int64_t> bodies[] = {
          {"PUSH_ARG_S 0; PUSH_ARG_S 1; " + op + "RET", expected},
          {"RESERVE 1; PUSH_ARG_S 0; PUSH_ARG_S 1; " + op + "POP_LOCAL_S 0; PUSH_LOCAL_S 0; RET", expected},
          {"PUSH_ARG_S 0; PUSH_ARG_S 1; " + op + "JMP_FALSE no; PUSH_SMALL 1; RET; no: PUSH_SMALL 0; RET",
           expected != 0},
          {"PUSH_ARG_S 0; PUSH_ARG_S 1; " + op + "JMP_TRUE yes; PUSH_SMALL 0; RET; yes: PUSH_SMALL 1; RET",
           expected != 0},
        };
        for ( const auto &[body, result] : bodies )
        {
          zxl_install("t", 2, body);
          const zxl_outcome_t out = zxl_run_by_name("t", {zxl_long(a), zxl_long(b)});
          EXPECT_EQ(out.value, "LONG " + std::to_string(result)) << body << " " << a << " " << b;
        }
      }

  const std::pair<std::string, std::string> joins[] = {
    {"", ""}, {"abcdefghij", "klmnopqrstu"}, {"abcdefghij", "klmnopqrstuv"}, {"a", std::string(21, 'z')},
    {std::string(21, 'y'), ""},
  };
  for ( const auto &[left, right] : joins )
  {
    zxl_install("t", 0, "PUSH_STR \"" + left + "\"; PUSH_STR \"" + right + "\"; ADD; RET");
    EXPECT_EQ(zxl_run_by_name("t").value, "STRING " + left + right) << left << "+" << right;
  }
  zxl_install("t", 0, R"(PUSH_STR "a\0b"; PUSH_STR "\0c"; ADD; RET)");
  EXPECT_EQ(zxl_run_by_name("t").value, "STRING a\\0b\\0c");
}

TEST_F(interpreter_test, a_member_step_finds_what_its_current_code_names)
{
  // M gets a second method, n(this, x) -> x + 2; t calls one of them on a new M with 5.
  zxl_define_method(zxl_class_at(m_class), "n");
  zxl_install("M.n", 2, "PUSH_ARG_S 1; PUSH_SMALL 2; ADD; RET");
  const std::string call = with_classes(
    R"(RESERVE 1; MARK; NEW $M; POP_LOCAL_S 0; MARK; PUSH_SMALL 5; PUSH_LOCAL_S 0; PUSH_STR "m"; CALL_METHOD; RET)",
    c_class, h_class, m_class);
  // One context across the runs, as a client's long run keeps its lookups: the method a call site found
  // must not outlive a redefinition of the calling function, whose new steps may sit where the old ones did.
  zxl_context_t context;
  zxl_context_init(&context, zxl_resolver_pair_t(), true);
  const auto run = [&]() {
    owned_value_t result;
    qstring error;
    const bool ok = zxl_run_function(&context, "t", 0, 0, nullptr, &result.v, &error);
    return ok ? describe(result.v) : std::string("failed: ") + error.c_str();
  };
  const struct
  {
    const char *from;
    const char *to;
    const char *value;
  } cases[] = {
    {"\"m\"", "\"m\"", "LONG 6"},
    {"\"m\"", "\"n\"", "LONG 7"},
    {"\"m\"", "\"m\"", "LONG 6"},
  };
  for ( const auto &c : cases )
  {
    std::string body = call;
    body.replace(body.find(c.from), std::string(c.from).size(), c.to);
    zxl_install("t", 0, body);
    EXPECT_EQ(run(), c.value) << body;
    EXPECT_EQ(run(), c.value) << body << " (again)";
  }
  zxl_context_free(&context);
}

} // namespace
