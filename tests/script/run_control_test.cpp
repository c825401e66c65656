// What a run tells the user interface and how it ends: the cancellation poll, the wait box, the start notice,
// destructor runs, and the bounds that stop hostile bodies.
#include "script/runtime/zxl_context.h"
#include "script/runtime/zxl_exceptions.h"

#include "tests/script/engine_fixture.h"
#include "tests/script/zxl_assembler.h"
#include "tests/support/recording_ui_callback.h"

#include "core/directories.h"
#include "core/error_state.h"
#include "core/message_catalog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace
{

class run_control_test : public zxl_engine_test
{
protected:
  void SetUp() override
  {
    zxl_engine_test::SetUp();
    ASSERT_EQ(load_help_file(install_directory("zuk.hlp")), 0);
    ASSERT_EQ(zxl_add_global("g"), 0);
    ASSERT_EQ(zxl_add_global("kept"), 1);
  }
  int64_t global(int32_t index)
  {
    critical_section_guard_t guard(zxl_script_lock);
    return zxl_global_at(index)->value.i;
  }
};

TEST_F(run_control_test, one_poll_per_instruction_on_the_main_thread_only)
{
  recording_ui_callback_t ui;
  // Five instructions in t, four in the callee.
  zxl_install("one", 0, "PUSH_SMALL 1; NOP; NOP; RET");
  zxl_install("t", 0, "MARK; CALL_FUNC_S 0; PUSH_SMALL 1; ADD; RET");
  struct case_t
  {
    bool no_ui;
    bool other_thread;
    size_t polls;
    size_t starts;
  };
  for ( const case_t &c : {case_t {false, false, 9, 1}, case_t {true, false, 0, 0}, case_t {false, true, 0, 0}} )
  {
    ui.clear();
    zxl_outcome_t out;
    if ( c.other_thread )
      std::thread([&] { out = zxl_run_by_name("t", {}, c.no_ui); }).join();
    else
      out = zxl_run_by_name("t", {}, c.no_ui);
    EXPECT_EQ(out.value, "LONG 2");
    EXPECT_EQ(ui.requests_of(uicb_script_cancelled).size(), c.polls);
    EXPECT_EQ(ui.requests_of(uicb_script_started).size(), c.starts);
  }

  // A call by name runs in a fresh context that polls; an unknown name is error 88 with its text.
  ui.clear();
  owned_value_t result;
  qstring error;
  EXPECT_TRUE(zxl_call_by_name(&result.v, "t", nullptr, 0, &error, zxl_resolver_pair_t()));
  EXPECT_EQ(describe(result.v), "LONG 2");
  EXPECT_EQ(ui.requests_of(uicb_script_cancelled).size(), 9u);
  EXPECT_EQ(ui.requests_of(uicb_script_started).size(), 1u);
  EXPECT_FALSE(zxl_call_by_name(&result.v, "nothing", nullptr, 0, &error, zxl_resolver_pair_t()));
  EXPECT_STREQ(error.c_str(), "Runtime error: Unknown function or method: nothing");
  EXPECT_EQ(qerrno_get(), 88);
}

// Runs "t" whole (one poll for each place of the trace, and the value), then cancelled at each poll in turn:
// the run ends with 1487 at the place of the instruction the poll came before, asking no more.
void expect_a_cancel_at_every_poll(const std::vector<std::string> &trace, const char *value)
{
  recording_ui_callback_t ui;
  const zxl_outcome_t whole = zxl_run_by_name("t", {}, false);
  EXPECT_EQ(whole.value, value);
  EXPECT_EQ(ui.requests_of(uicb_script_cancelled).size(), trace.size());
  for ( size_t n = 1; n <= trace.size(); ++n )
  {
    ui.clear();
    for ( size_t i = 1; i < n; ++i )
      ui.script(uicb_script_cancelled, 0);
    ui.script(uicb_script_cancelled, 1);
    const zxl_outcome_t out = zxl_run_by_name("t", {}, false);
    EXPECT_EQ(out.qerrno, 1487) << n;
    EXPECT_EQ(ui.requests_of(uicb_script_cancelled).size(), n);
    EXPECT_NE(out.error.find(" at " + trace[n - 1] + ":"), std::string::npos) << n << " " << out.error;
  }
}

TEST_F(run_control_test, a_cancel_between_instructions_run_as_one_step_stops_where_single_steps_would)
{
  // 3 + 2 + 1 in a count-down loop of sequences the interpreter runs as one step.
  zxl_install("t", 0, R"(RESERVE 2; PUSH_SMALL 3; POP_LOCAL_S 0
                         loop: PUSH_LOCAL_S 0; PUSH_SMALL 0; GT; JMP_FALSE end
                         PUSH_LOCAL_S 1; PUSH_LOCAL_S 0; ADD; POP_LOCAL_S 1
                         PUSH_LOCAL_S 0; DEC_LOCAL_B 0; POP; JMP loop
                         end: PUSH_LOCAL_S 1; RET)");
  // The place of every instruction run, in order.
  std::vector<uint32_t> positions = {0, 3, 4};
  for ( int i = 0; i < 3; ++i )
    positions.insert(positions.end(), {5, 6, 7, 8, 13, 14, 15, 16, 17, 18, 20, 21});
  positions.insert(positions.end(), {5, 6, 7, 8, 26, 27});
  std::vector<std::string> trace;
  for ( const uint32_t position : positions )
  {
    char place[32];
    std::snprintf(place, sizeof(place), "t+0x%X", position);
    trace.emplace_back(place);
  }
  expect_a_cancel_at_every_poll(trace, "LONG 6");
}

TEST_F(run_control_test, a_cancel_inside_a_call_with_a_computed_argument_stops_where_single_steps_would)
{
  const int32_t inc = zxl_install("inc", 1, "PUSH_ARG_S 0; PUSH_SMALL 1; ADD; RET");
  ASSERT_LT(inc, 16);
  zxl_install("t", 0, "MARK; PUSH_SMALL 3; PUSH_SMALL 4; ADD; CALL_FUNC_S " + std::to_string(inc) + "; RET");
  expect_a_cancel_at_every_poll({"t+0x0", "t+0x1", "t+0x2", "t+0x3", "t+0x4", "inc+0x0", "inc+0x1", "inc+0x2",
                                 "inc+0x3", "t+0x5"},
                                "LONG 8");
}

TEST_F(run_control_test, a_cancel_inside_a_member_access_run_as_one_step_stops_where_single_steps_would)
{
  zxl_class_t *k = zxl_define_class("K", nullptr);
  zxl_define_method(k, "m");
  zxl_install("K.m", 1, "PUSH_SMALL 5; RET");
  // o.a = 2; return o.a + o.m(); with o in local 0.
  zxl_install("t", 0, "RESERVE 1; MARK; NEW " + std::to_string(k->index) + R"(; POP_LOCAL_S 0
                         PUSH_SMALL 2; PUSH_LOCAL_S 0; PUSH_STR "a"; SET_ATTR_POP
                         PUSH_LOCAL_S 0; PUSH_STR "a"; GET_ATTR
                         MARK; PUSH_LOCAL_S 0; PUSH_STR "m"; CALL_METHOD; ADD; RET)");
  expect_a_cancel_at_every_poll({"t+0x0", "t+0x3", "t+0x4", "t+0x7", "t+0x8", "t+0x9", "t+0xA", "t+0x10",
                                 "t+0x11", "t+0x12", "t+0x18", "t+0x19", "t+0x1A", "t+0x1B", "t+0x21", "K.m+0x0",
                                 "K.m+0x1", "t+0x22", "t+0x23"},
                                "LONG 7");
}

TEST_F(run_control_test, a_cancel_sticks_even_when_the_script_catches_everything)
{
  recording_ui_callback_t ui;
  // An endless loop around a try whose handler catches everything into a local and goes on.
  zxl_install("t", 0, R"(RESERVE 1
                         loop: try: NOP; JMP try
                         catch: JMP loop
                         .handler try catch local 0)");
  for ( int i = 0; i < 50; ++i )
    ui.script(uicb_script_cancelled, 0);
  ui.script(uicb_script_cancelled, 1);
  const zxl_outcome_t out = zxl_run_by_name("t", {}, false);
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.qerrno, 1487);
  EXPECT_EQ(out.code, 1487);
  EXPECT_NE(out.error.find(": Script cancelled by the user"), std::string::npos) << out.error;
  // The run asked no more after the cancel.
  EXPECT_EQ(ui.requests_of(uicb_script_cancelled).size(), 51u);
}

int move_run_start_back(zxl_value_t *, zxl_value_t *)
{
  if ( zxl_get_engine()->run_start != -1 )
    zxl_get_engine()->run_start -= 3;
  return 0;
}

TEST_F(run_control_test, a_long_run_shows_the_wait_box_once_and_hides_it_at_the_end)
{
  recording_ui_callback_t ui;
  auto *native = new zxl_native_t;
  native->name = "age";
  native->callback = move_run_start_back;
  const int32_t n = -zxl_add_native(native);
  // Ages the run by 3 seconds, then counts to 1000.
  zxl_install("t", 0, "RESERVE 1; MARK; CALL_NATIVE_B " + std::to_string(n) +
                          "; POP; top: INC_LOCAL_B 0; PUSH_LOCAL_S 0; PUSH_INT16 1000; LT; JMP_TRUE top; "
                          "PUSH_LOCAL_S 0; RET");
  const zxl_outcome_t out = zxl_run_by_name("t", {}, false);
  EXPECT_EQ(out.value, "LONG 1000");
  const auto messages = ui.requests_of(ui_code_message);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].kind, msg_kind_wait_show);
  EXPECT_EQ(messages[0].text, "Running ZXL script");
  EXPECT_EQ(messages[1].kind, msg_kind_wait_hide);
  EXPECT_EQ(zxl_get_engine()->wait_box_shown, 0);

  // With the no-UI flag the run is not timed and shows nothing.
  ui.clear();
  EXPECT_EQ(zxl_run_by_name("t", {}, true).value, "LONG 1000");
  EXPECT_TRUE(ui.requests_of(ui_code_message).empty());
}

// Classes D (destructor adds 1 to g), E derived from D (destructor adds 10 to g), K derived from D whose
// destructor keeps `this` in global "kept", and L whose destructor never ends.
class destructor_test : public run_control_test
{
protected:
  void SetUp() override
  {
    run_control_test::SetUp();
    zxl_class_t *d = zxl_define_class("D", nullptr);
    d->destructor_method = zxl_define_method(d, "~D");
    zxl_install("D.~D", 1, "INC_GLOBAL_B 0; PUSH_SMALL 0; RET");
    zxl_class_t *e = zxl_define_class("E", d);
    e->destructor_method = zxl_define_method(e, "~E");
    zxl_install("E.~E", 1, "PUSH_GLOBAL_B 0; PUSH_SMALL 10; ADD; POP_GLOBAL_B 0; PUSH_SMALL 0; RET");
    zxl_class_t *k = zxl_define_class("K", d);
    k->destructor_method = zxl_define_method(k, "~K");
    zxl_install("K.~K", 1, "PUSH_ARG_S 0; POP_GLOBAL_B 1; PUSH_SMALL 0; RET");
    zxl_class_t *l = zxl_define_class("L", nullptr);
    l->destructor_method = zxl_define_method(l, "~L");
    zxl_install("L.~L", 1, "top: JMP top");
    classes = {d->index, e->index, k->index, l->index};
  }
  std::vector<int32_t> classes;
};

TEST_F(destructor_test, destructors_run_up_the_chain_unless_one_keeps_the_object)
{
  struct case_t
  {
    size_t cls;
    int64_t g;
    bool kept;
  };
  for ( const case_t &c : {case_t {0, 1, false}, case_t {1, 11, false}, case_t {2, 0, true}} )
  {
    {
      critical_section_guard_t guard(zxl_script_lock);
      zxl_value_replace(&zxl_global_at(0)->value, zxl_long(0));
    }
    // The object made inside the run is dropped there: its destructors run in a run of their own.
    zxl_install("t", 0, "MARK; NEW " + std::to_string(classes[c.cls]) + "; POP; PUSH_SMALL 0; RET");
    const zxl_outcome_t out = zxl_run_by_name("t");
    EXPECT_TRUE(out.ok) << out.error;
    EXPECT_EQ(global(0), c.g) << c.cls;
    critical_section_guard_t guard(zxl_script_lock);
    zxl_value_t *kept = &zxl_global_at(1)->value;
    EXPECT_EQ(kept->kind == ZK_OBJECT, c.kept);
    if ( kept->kind == ZK_OBJECT )
    {
      // The count is back to the one reference the global holds; dropping it runs the destructors again.
      EXPECT_EQ(kept->object->refs, 1);
      zxl_value_t last = *kept;
      *kept = zxl_long(0);
      zxl_value_clear(&last);
      EXPECT_EQ(zxl_global_at(1)->value.kind, ZK_OBJECT); // kept once more by K's destructor
      zxl_value_t again = zxl_global_at(1)->value;
      zxl_global_at(1)->value = zxl_long(0);
      // Freed for good without the engine's runner.
      zxl_get_engine()->destructor_runner = nullptr;
      zxl_value_clear(&again);
      zxl_get_engine()->destructor_runner = zxl_run_destructor;
    }
  }
}

TEST_F(destructor_test, an_endless_destructor_inside_a_cancellable_run_is_cancelled)
{
  recording_ui_callback_t ui;
  for ( int i = 0; i < 20; ++i )
    ui.script(uicb_script_cancelled, 0);
  ui.script(uicb_script_cancelled, 1);
  zxl_install("t", 0, "MARK; NEW " + std::to_string(classes[3]) + "; POP; PUSH_SMALL 0; RET");
  const zxl_outcome_t out = zxl_run_by_name("t", {}, false);
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.qerrno, 1487);
  EXPECT_EQ(ui.requests_of(uicb_script_cancelled).size(), 21u);
  // The destructor run gave no start notice of its own.
  EXPECT_EQ(ui.requests_of(uicb_script_started).size(), 1u);
}

TEST_F(run_control_test, hostile_bodies_end_with_a_runtime_error)
{
  zxl_class_t *h = zxl_define_class("H", nullptr);
  h->getattr_method = zxl_define_method(h, "__getattr__");
  // __getattr__(this, name) reads a missing attribute of this.
  zxl_install("H.__getattr__", 2, R"(PUSH_ARG_S 0; PUSH_STR "other"; GET_ATTR; RET)");
  zxl_install("forever", 0, "MARK; CALL_FUNC_W " + std::to_string(zxl_compiled_function_index("H.__getattr__") + 1) +
                                "; RET");
  zxl_install("pile", 0, "top: PUSH_SMALL 1; JMP top");
  zxl_install("marks", 0, "top: MARK; JMP top");
  zxl_install("reserve", 0, "top: RESERVE 60000; JMP top");
  struct case_t
  {
    const char *what;
    std::string body;
  };
  const case_t cases[] = {
      {"getattr recursion", "MARK; NEW " + std::to_string(h->index) + R"(; PUSH_STR "x"; GET_ATTR; RET)"},
      {"endless recursion", "MARK; CALL_FUNC_W 1; RET"},
      {"a growing value stack", "MARK; CALL_FUNC_W 2; RET"},
      {"a growing mark stack", "MARK; CALL_FUNC_W 3; RET"},
      {"reserving without end", "MARK; CALL_FUNC_W 4; RET"},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.what);
    zxl_install("t", 0, c.body);
    const zxl_outcome_t out = zxl_run_by_name("t");
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.qerrno, ZXL_TOO_DEEP) << out.error;
    EXPECT_NE(out.error.find("Script nesting too deep"), std::string::npos) << out.error;
    EXPECT_EQ(out.depth_left, 0u);
  }
  for ( int32_t i = 0; i <= 5; ++i )
    EXPECT_EQ(zxl_function_at(i)->activation, 0) << i;
}

} // namespace
