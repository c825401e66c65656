// Calls: arity and default values, activation counts, and native functions through test entries.
#include "script/runtime/zxl_context.h"
#include "script/runtime/zxl_exceptions.h"

#include "tests/script/engine_fixture.h"
#include "tests/script/zxl_assembler.h"

#include "core/directories.h"
#include "core/error_state.h"
#include "core/message_catalog.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <thread>

namespace
{

class calls_test : public zxl_engine_test
{
protected:
  void SetUp() override
  {
    zxl_engine_test::SetUp();
    ASSERT_EQ(load_help_file(install_directory("zuk.hlp")), 0);
  }
};

TEST_F(calls_test, defaults_fill_missing_arguments_and_the_count_must_match)
{
  // f(a, b = 7) -> a * 10 + b
  zxl_install("f", 2, "PUSH_ARG_S 0; PUSH_SMALL 10; MUL; PUSH_ARG_S 1; ADD; RET", {zxl_long(7)});
  struct case_t
  {
    const char *body;
    const char *value; // null: fails with 56
  };
  const case_t cases[] = {
      {"MARK; PUSH_SMALL 3; CALL_FUNC_S 0; RET", "LONG 37"},
      {"MARK; PUSH_SMALL 3; PUSH_SMALL 4; CALL_FUNC_S 0; RET", "LONG 34"},
      {"MARK; CALL_FUNC_S 0; RET", nullptr},
      {"MARK; PUSH_SMALL 1; PUSH_SMALL 2; PUSH_SMALL 3; CALL_FUNC_S 0; RET", nullptr},
  };
  for ( const case_t &c : cases )
  {
    zxl_install("t", 0, c.body);
    const zxl_outcome_t out = zxl_run_by_name("t");
    EXPECT_EQ(out.ok, c.value != nullptr) << c.body << out.error;
    if ( c.value != nullptr )
    {
      EXPECT_EQ(out.value, c.value) << c.body;
    }
    else
    {
      EXPECT_EQ(out.qerrno, 56) << c.body;
      EXPECT_NE(out.error.find(": Wrong number of arguments for 'f'"), std::string::npos) << out.error;
    }
  }
}

int32_t add_native(const char *name, zxl_native_callback_t callback, std::string kinds, uint32_t flags,
                   std::initializer_list<zxl_value_t> defaults = {})
{
  auto *native = new zxl_native_t;
  native->name = name;
  native->callback = callback;
  native->arg_kinds.assign(kinds.data(), kinds.size());
  for ( const zxl_value_t &v : defaults )
    native->defaults.push_back(v);
  native->flags = flags;
  return -zxl_add_native(native);
}

int64_t observed_activation = 0;

int observe_activation(zxl_value_t *, zxl_value_t *result)
{
  observed_activation = zxl_function_at(zxl_compiled_function_index("rec"))->activation_count();
  *result = zxl_long(observed_activation);
  return 0;
}

TEST_F(calls_test, activation_counts_follow_recursion_and_a_function_under_compilation_fails)
{
  const int32_t n = add_native("activation", observe_activation, "", ZXL_NATIVE_ANY_THREAD);
  // rec(k): k == 0 ? activation() : rec(k - 1)
  zxl_install("rec", 1, "PUSH_ARG_S 0; JMP_TRUE deeper; MARK; CALL_NATIVE_B " + std::to_string(n) +
                            "; RET; deeper: MARK; PUSH_ARG_S 0; PUSH_SMALL 1; SUB; CALL_FUNC_S 0; RET");
  const zxl_outcome_t out = zxl_run_by_name("rec", {zxl_long(5)});
  EXPECT_TRUE(out.ok) << out.error;
  EXPECT_EQ(out.value, "LONG 6");
  EXPECT_EQ(zxl_function_at(0)->activation, 0);

  // The count is as exact off the main thread, where every level changes the shared count.
  zxl_outcome_t off;
  std::thread([&] { off = zxl_run_by_name("rec", {zxl_long(5)}, false); }).join();
  EXPECT_EQ(off.value, "LONG 6");
  EXPECT_EQ(zxl_function_at(0)->activation_count(), 0);

  // Deep recursion well inside the bounds, and one ended by a failure at the deepest level, which unwinds
  // every level.
  const zxl_outcome_t deep = zxl_run_by_name("rec", {zxl_long(20000)});
  EXPECT_EQ(deep.value, "LONG 20001");
  zxl_install("rec", 1, "PUSH_ARG_S 0; JMP_TRUE deeper; PUSH_SMALL 1; THROW; "
                        "deeper: MARK; PUSH_ARG_S 0; PUSH_SMALL 1; SUB; CALL_FUNC_S 0; RET");
  ASSERT_EQ(zxl_compiled_function_index("rec"), 0);
  EXPECT_FALSE(zxl_run_by_name("rec", {zxl_long(50)}).ok);
  EXPECT_EQ(zxl_function_at(0)->activation_count(), 0);
  EXPECT_EQ(zxl_function_at(0)->activation, 0);

  zxl_function_at(0)->activation = -1;
  zxl_install("t", 0, "MARK; PUSH_SMALL 1; CALL_FUNC_S 0; RET");
  const zxl_outcome_t compiling = zxl_run_by_name("t");
  EXPECT_FALSE(compiling.ok);
  EXPECT_EQ(compiling.qerrno, 40);
  zxl_function_at(0)->activation = 0;
}

// Tries to redefine "busy" from another thread: its index, or -1 when it is running.
int redefine_off_main(zxl_value_t *, zxl_value_t *result)
{
  int32_t got = 0;
  std::thread([&] { got = zxl_define_function("busy"); }).join();
  *result = zxl_long(got);
  return 0;
}

TEST_F(calls_test, a_function_running_on_the_main_thread_cannot_be_redefined_from_another)
{
  const int32_t n = add_native("redefine", redefine_off_main, "", ZXL_NATIVE_ANY_THREAD);
  zxl_install("busy", 0, "MARK; CALL_NATIVE_B " + std::to_string(n) + "; RET");
  const int32_t busy = zxl_compiled_function_index("busy");
  const zxl_outcome_t out = zxl_run_by_name("busy");
  EXPECT_TRUE(out.ok) << out.error;
  EXPECT_EQ(out.value, "LONG -1");
  EXPECT_EQ(zxl_function_at(busy)->activation_count(), 0);
  // Idle, it can be.
  int32_t got = 0;
  std::thread([&] { got = zxl_define_function("busy"); }).join();
  EXPECT_EQ(got, busy);
  EXPECT_EQ(zxl_function_at(busy)->activation, -1);
  zxl_function_at(busy)->activation = 0;
}

int sum_args(zxl_value_t *args, zxl_value_t *result)
{
  // The result comes preset to the argument count for a variadic native.
  const int64_t count = result->i;
  int64_t sum = 0;
  for ( int64_t i = 0; i < count; ++i )
    sum += args[i].kind == ZK_LONG ? args[i].i : 1000;
  *result = zxl_long(sum * 100 + count);
  return 0;
}

int first_kind(zxl_value_t *args, zxl_value_t *result)
{
  *result = zxl_long(args[0].kind * 1000 + (args[0].kind == ZK_LONG ? args[0].i : 0));
  return 0;
}

int fails_86(zxl_value_t *, zxl_value_t *)
{
  return 86;
}

int throws_result(zxl_value_t *, zxl_value_t *result)
{
  *result = zxl_long(42);
  return ZXL_THROWN;
}

int returns_anyway(zxl_value_t *, zxl_value_t *)
{
  return 0;
}

int throws_bad_alloc(zxl_value_t *, zxl_value_t *)
{
  throw std::bad_alloc();
}

int throws_runtime_error(zxl_value_t *, zxl_value_t *)
{
  throw std::runtime_error("the library gave up");
}

int throws_empty_text(zxl_value_t *, zxl_value_t *)
{
  throw std::runtime_error("");
}

int throws_int(zxl_value_t *, zxl_value_t *)
{
  throw 5;
}

TEST_F(calls_test, natives_check_their_arguments_and_flags)
{
  const int32_t sum = add_native("sum", sum_args, "\x02\x04", ZXL_NATIVE_ANY_THREAD);
  const int32_t kind_long = add_native("as_long", first_kind, "\x02", ZXL_NATIVE_ANY_THREAD);
  const int32_t kind_func = add_native("as_func", first_kind, "\x06", ZXL_NATIVE_ANY_THREAD);
  const int32_t kind_ref = add_native("as_ref", first_kind, "\x0a", ZXL_NATIVE_ANY_THREAD);
  const int32_t kind_object = add_native("as_object", first_kind, "\x05", ZXL_NATIVE_ANY_THREAD);
  const int32_t bad_kind = add_native("bad_kind", first_kind, "\x01", ZXL_NATIVE_ANY_THREAD);
  const int32_t with_default = add_native("with_default", first_kind, "\x02", ZXL_NATIVE_ANY_THREAD,
                                          {zxl_long(9)});
  const int32_t failing = add_native("failing", fails_86, "", ZXL_NATIVE_ANY_THREAD);
  const int32_t thrower = add_native("thrower", throws_result, "", ZXL_NATIVE_ANY_THREAD);
  const int32_t no_return = add_native("no_return", returns_anyway, "", ZXL_NATIVE_NO_RETURN | 4);
  const int32_t main_only = add_native("main_only", first_kind, "\x02", 0);
  const auto call = [](int32_t n, const std::string &args) {
    return "MARK; " + args + " CALL_NATIVE_W " + std::to_string(n) + "; RET";
  };
  struct case_t
  {
    std::string body;
    const char *value; // null: fails
    int64_t qerrno;
  };
  const case_t cases[] = {
      {call(sum, "PUSH_SMALL 1;"), "LONG 101", 0},
      {call(sum, "PUSH_SMALL 1; PUSH_SMALL 2; PUSH_STR \"x\";"), "LONG 100303", 0},
      {call(sum, ""), nullptr, 56},
      {call(kind_long, "PUSH_STR \"12\";"), "LONG 2012", 0},
      {call(kind_long, "PUSH_SMALL 1; PUSH_SMALL 2;"), nullptr, 56},
      {call(kind_func, "PUSH_SMALL 1;"), nullptr, 1554},
      {call(kind_ref, "PUSH_SMALL 0;"), "LONG 2000", 0},
      {call(kind_ref, "PUSH_SMALL 5;"), nullptr, 1566},
      {call(kind_object, "PUSH_SMALL 5;"), nullptr, 1532},
      {call(with_default, ""), "LONG 2009", 0},
      {call(failing, ""), nullptr, 86},
      {call(thrower, ""), "LONG 42", 0},
      {call(12345, ""), nullptr, 87},
      {"MARK; CALL_NATIVE_S 0; RET", nullptr, 87},
      {"MARK; PUSH_SMALL 3; PUSH_STR \"as_long\"; FUNC_REF; CALL_VALUE; RET", "LONG 2003", 0},
      {call(main_only, "PUSH_SMALL 1;"), "LONG 2001", 0},
  };
  for ( const case_t &c : cases )
  {
    zxl_install("t", 0, c.body);
    const zxl_outcome_t out = zxl_run_by_name("t");
    if ( c.qerrno == 0 && std::string(c.value) == "LONG 42" )
    {
      // A native failing with the thrown-value code throws its result.
      EXPECT_FALSE(out.ok);
      EXPECT_EQ(out.value, c.value);
      EXPECT_EQ(out.error, "Runtime error: Unhandled exception");
      continue;
    }
    EXPECT_EQ(out.ok, c.value != nullptr) << c.body << out.error;
    if ( c.value != nullptr )
    {
      EXPECT_EQ(out.value, c.value) << c.body;
    }
    else
    {
      EXPECT_EQ(out.qerrno, c.qerrno) << c.body << out.error;
    }
  }

  // A bad kind code and a native that should not return are internal errors, caught by the run.
  for ( const auto &[n, number] : {std::pair {bad_kind, 289}, std::pair {no_return, 291}} )
  {
    zxl_install("t", 0, call(n, n == bad_kind ? "PUSH_SMALL 1;" : ""));
    const zxl_outcome_t out = zxl_run_by_name("t");
    EXPECT_FALSE(out.ok);
    EXPECT_NE(out.error.find("Internal error " + std::to_string(number) + " occurred when running a script"),
              std::string::npos)
        << out.error;
  }

  // Off the main thread only natives flagged 4 run.
  zxl_install("t", 0, call(main_only, "PUSH_SMALL 1;"));
  zxl_outcome_t off;
  std::thread([&] { off = zxl_run_by_name("t", {}, false); }).join();
  EXPECT_FALSE(off.ok);
  EXPECT_EQ(off.qerrno, 143);
  EXPECT_EQ(off.error, "Runtime error at t+0x5: Native function 'main_only' may only run on the main thread");
}

TEST_F(calls_test, failures_thrown_below_the_language_become_exceptions_with_their_texts)
{
  struct case_t
  {
    zxl_native_callback_t callback;
    const char *error;
  };
  const case_t cases[] = {
      {throws_bad_alloc, "Runtime error: Out of memory"},
      {throws_runtime_error, "Runtime error: the library gave up"},
      {throws_empty_text, "Runtime error: Unhandled C++ exception!"},
      {throws_int, "Runtime error: Unhandled C++ exception!"},
  };
  for ( const case_t &c : cases )
  {
    const int32_t n = add_native("failing", c.callback, "", ZXL_NATIVE_ANY_THREAD);
    // The failure escapes from two frames deep: both are unwound and their activations drop back.
    zxl_install("inner", 0, "MARK; CALL_NATIVE_W " + std::to_string(n) + "; RET");
    zxl_install("t", 0, "RESERVE 3; MARK; CALL_FUNC_S 0; RET");
    const zxl_outcome_t out = zxl_run_by_name("t");
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.error, c.error);
    EXPECT_EQ(out.depth_left, 0u);
    EXPECT_EQ(zxl_function_at(0)->activation, 0);
    EXPECT_EQ(zxl_function_at(1)->activation, 0);
  }
}

} // namespace
