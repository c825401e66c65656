// Exceptions: objects with positions, handlers and their slots, unwinding, internal errors and error texts.
#include "script/runtime/zxl_exceptions.h"

#include "tests/script/engine_fixture.h"
#include "tests/script/zxl_assembler.h"

#include "core/directories.h"
#include "core/error_state.h"
#include "core/message_catalog.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

class exceptions_test : public zxl_engine_test
{
protected:
  void SetUp() override
  {
    zxl_engine_test::SetUp();
    ASSERT_EQ(load_help_file(install_directory("zuk.hlp")), 0);
    ASSERT_EQ(zxl_add_global("g"), 0);
  }
};

TEST_F(exceptions_test, a_caught_failure_is_an_exception_object_with_its_position)
{
  zxl_install("t", 0, R"(.file "a.zxl"
                         RESERVE 1
                         .line 6
                         try: PUSH_SMALL 1
                         .line 7
                         PUSH_SMALL 0; DIV
                         .line 8
                         POP
                         catch: PUSH_LOCAL_S 0; RET
                         .handler try catch local 0)");
  const zxl_outcome_t out = zxl_run_by_name("t");
  ASSERT_TRUE(out.ok) << out.error;
  EXPECT_EQ(out.value, "OBJECT {description=STRING Division by zero,file=STRING a.zxl,func=STRING t,line=LONG 7,"
                       "pc=LONG 6,qerrno=LONG 86}");

  // Without a handler the caller gets the text with the file and line of the failing code.
  zxl_install("t", 0, R"(.file "a.zxl"
                         .line 6
                         PUSH_SMALL 1
                         .line 7
                         PUSH_SMALL 0; DIV; RET)");
  const zxl_outcome_t escaped = zxl_run_by_name("t");
  EXPECT_FALSE(escaped.ok);
  EXPECT_EQ(escaped.code, 86);
  EXPECT_EQ(escaped.error, "Runtime error on a.zxl:7: Division by zero");
}

TEST_F(exceptions_test, handlers_catch_into_their_slots_innermost_first_and_across_frames)
{
  struct case_t
  {
    const char *what;
    const char *body;
    int32_t params;
    const char *value;
  };
  const case_t cases[] = {
      {"a thrown LONG stays a LONG", R"(RESERVE 1; try: PUSH_SMALL 5; THROW; catch: PUSH_LOCAL_S 0; RET
                                       .handler try catch local 0)",
       0, "LONG 5"},
      {"into an argument", R"(try: PUSH_STR "x"; THROW; catch: PUSH_ARG_S 0; RET
                              .handler try catch arg 0)",
       1, "STRING x"},
      {"into a global", R"(try: PUSH_SMALL 3; THROW; catch: PUSH_GLOBAL_B 0; RET
                           .handler try catch global 0)",
       0, "LONG 3"},
      {"the inner handler first", R"(RESERVE 2
                                     outer: inner: PUSH_SMALL 1; THROW
                                     inner_catch: PUSH_SMALL 2; THROW
                                     outer_catch: PUSH_LOCAL_S 0; PUSH_SMALL 10; MUL; PUSH_LOCAL_S 1; ADD; RET
                                     .handler inner inner_catch local 0
                                     .handler outer outer_catch local 1)",
       0, "LONG 12"},
      {"three calls deep, caught at the top with the bases restored",
       R"(RESERVE 2; PUSH_SMALL 7; POP_LOCAL_S 1
          try: MARK; PUSH_SMALL 2; CALL_FUNC_S 0; POP
          catch: PUSH_LOCAL_S 0; PUSH_LOCAL_S 1; PUSH_ARG_S 0; ADD; ADD; RET
          .handler try catch local 0)",
       1, "LONG 1107"},
  };
  // down(k): k == 0 ? throw 1000 : down(k - 1), with locals of its own on every level.
  zxl_install("down", 1, R"(RESERVE 2; PUSH_ARG_S 0; JMP_TRUE deeper; PUSH_INT16 1000; THROW
                            deeper: MARK; PUSH_ARG_S 0; PUSH_SMALL 1; SUB; CALL_FUNC_S 0; RET)");
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.what);
    zxl_install("t", c.params, c.body);
    const zxl_outcome_t out = c.params == 1 ? zxl_run_by_name("t", {zxl_long(100)}) : zxl_run_by_name("t");
    EXPECT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.value, c.value);
    EXPECT_EQ(zxl_function_at(0)->activation_count(), 0);
  }
}

TEST_F(exceptions_test, internal_errors_inside_runs_are_caught_with_their_text)
{
  struct case_t
  {
    const char *body;
    int32_t number;
  };
  const case_t cases[] = {
      {"PUSH_SMALL 1", 276},                   // runs off its code
      {"PUSH_INT32", 276},                     // an operand past the code
      {"JMP 100", 276},                        // a jump past the code (the handler table does not count)
      {"JMP -10", 276},
      {"POP; RET", 285},                       // stack underflow
      {"PUSH_SMALL 1; DROP_B 2; RET", 285},
      {"CALL_FUNC_S 0; RET", 285},             // a call without a mark
      {"PUSH_LOCAL_S 5; RET", 286},
      {"PUSH_ARG_B 3; RET", 287},
      {"PUSH_GLOBAL_W 500; RET", 288},
      {"PUSH_SMALL 9; REF_LOCAL; RET", 292},
      {"PUSH_INT16 999; REF_GLOBAL; RET", 294},
      {"PUSH_SMALL 1; PUSH_SMALL 1; GET_SLICE; RET", 295},
      {"PUSH_SMALL 1; PUSH_SMALL 1; PUSH_SMALL 1; SET_SLICE; RET", 296},
      {"PUSH_SMALL 1; GET_ITEM; RET", 297},
      {"PUSH_SMALL 1; PUSH_SMALL 1; SET_ITEM; RET", 298},
      {".byte 150", 299},
      {".byte 207", 299},
      {"try: PUSH_SMALL 1; THROW; catch: RET\n.handler try catch 7 0", 300},
  };
  for ( const case_t &c : cases )
  {
    // One frame deep, so that the failure also unwinds a frame.
    zxl_install("inner", 0, c.body);
    zxl_install("t", 0, "MARK; CALL_FUNC_S 0; RET");
    const zxl_outcome_t out = zxl_run_by_name("t");
    EXPECT_FALSE(out.ok) << c.body;
    EXPECT_EQ(out.error.rfind("Runtime error: Internal error " + std::to_string(c.number) +
                                  " occurred when running a script. Either\n",
                              0),
              0u)
        << c.body << "\n"
        << out.error;
    EXPECT_EQ(out.depth_left, 0u);
    EXPECT_EQ(zxl_function_at(0)->activation_count(), 0) << c.body;
  }
}

TEST_F(exceptions_test, runtime_error_texts_take_one_of_three_forms)
{
  struct case_t
  {
    zxl_value_t exception;
    const char *text;
  };
  const case_t cases[] = {
      {make_object({{"file", zxl_string("s.zxl")}, {"line", zxl_long(12)}, {"description", zxl_string("bad")}}),
       "Runtime error on s.zxl:12: bad"},
      {make_object({{"file", zxl_string("")}, {"line", zxl_long(3)}, {"description", zxl_string("bad")}}),
       "Runtime error on <unknown>:3: bad"},
      {make_object({{"func", zxl_string("g")}, {"pc", zxl_long(26)}, {"description", zxl_string("bad")}}),
       "Runtime error at g+0x1A: bad"},
      {make_object({{"func", zxl_string("g")}, {"line", zxl_long(0)}, {"file", zxl_string("s")}, {"pc", zxl_long(1)}}),
       "Runtime error at g+0x1: Unhandled exception"},
      {make_object({{"description", zxl_long(5)}}), "Runtime error: Unhandled exception"},
      {zxl_long(5), "Runtime error: Unhandled exception"},
  };
  for ( const case_t &c : cases )
  {
    owned_value_t e(c.exception);
    qstring text;
    zxl_runtime_error_text(e.v, &text);
    EXPECT_STREQ(text.c_str(), c.text);
  }
}

} // namespace
