// The engine's entry points through the language record: compiling expressions and files, evaluating texts
// and snippets, calling functions and methods, creating objects and reading and writing attributes.
#include "script/runtime/zxl_entry_points.h"

#include "script/compiler/zxl_compiler.h"
#include "script/runtime/zxl_context.h"

#include "tests/script/compiler_fixture.h"

#include "core/error_state.h"
#include "core/ui_callback.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

std::vector<int32_t> ui_codes;

// The "zxl" search directory of this process. The engine collects its default directories once per
// process, so the variable is set before any test runs.
const std::filesystem::path zxl_directory = [] {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("akui-zxl-includes-" + std::to_string(getpid()));
  setenv("ZUKZXL", dir.c_str(), 1);
  return dir;
}();

// Answers the run's UI requests as the client's dispatcher does: the context slot is filled with 77.
int64_t recording_ui(int32_t code, ...)
{
  ui_codes.push_back(code);
  if ( code == uicb_script_context )
  {
    va_list va;
    va_start(va, code);
    *va_arg(va, uint64_t *) = 77;
    va_end(va);
  }
  return 0;
}

// The snippet slots in use while it runs.
int snippet_slots(zxl_value_t *, zxl_value_t *result)
{
  *result = zxl_long(int64_t(zxl_get_engine()->snippet_slots));
  return 0;
}

// Evaluates "slots()" inside a running snippet.
int nested_eval(zxl_value_t *, zxl_value_t *result)
{
  zxl_value_t inner = zxl_long(0);
  qstring error;
  const bool ok = zxl_eval(&inner, 0, "slots()", &error);
  *result = ok ? inner : zxl_long(-1);
  return 0;
}

// Recompiles "busy" while it runs: 40 when refused, 0 when it compiled.
int recompile_busy(zxl_value_t *, zxl_value_t *result)
{
  qstring error;
  const bool ok = zxl_compile_text("static busy(){ return 2; }", &error, nullptr, false);
  *result = zxl_long(ok ? 0 : qerrno_get());
  return 0;
}

// Gives class K a method "extra" while a script runs: 0 when it compiled.
int add_extra_method(zxl_value_t *, zxl_value_t *result)
{
  qstring error;
  const bool ok = zxl_compile_text("class K { extra(){ return 7; } }", &error, nullptr, false);
  *result = zxl_long(ok ? 0 : qerrno_get());
  return 0;
}

class entry_points_test : public zxl_compiler_test
{
protected:
  void SetUp() override
  {
    zxl_compiler_test::SetUp();
    ui = std::make_unique<ui_callback_scope_t>(recording_ui);
    ui_codes.clear();
    const std::pair<const char *, zxl_native_callback_t> natives[] = {{"slots", snippet_slots},
                                                                        {"nested", nested_eval},
                                                                        {"recompile", recompile_busy},
                                                                        {"add_extra", add_extra_method}};
    for ( const auto &[name, callback] : natives )
    {
      auto *native = new zxl_native_t;
      native->name = name;
      native->callback = callback;
      native->flags = ZXL_NATIVE_ANY_THREAD;
      zxl_add_native(native);
    }
  }
  void TearDown() override
  {
    ui.reset();
    zxl_compiler_test::TearDown();
  }
  std::unique_ptr<ui_callback_scope_t> ui;
};

TEST_F(entry_points_test, the_record_carries_the_nine_entry_points)
{
  const language_record_t *record = zxl_language_at(0);
  ASSERT_EQ(record, &zxl_language_record);
  EXPECT_STREQ(record->name, "ZXL");
  EXPECT_EQ(record->compile_expression, zxl_compile_expression);
  EXPECT_EQ(record->compile_file, zxl_compile_file);
  EXPECT_EQ(record->call_function, zxl_call_function);
  EXPECT_EQ(record->eval, zxl_eval);
  EXPECT_EQ(record->eval_snippet, zxl_eval_snippet);
  EXPECT_EQ(record->create_object, zxl_create_object);
  EXPECT_EQ(record->get_attribute, zxl_get_attribute);
  EXPECT_EQ(record->set_attribute, zxl_set_attribute);
  EXPECT_EQ(record->call_method, zxl_call_method);
}

TEST_F(entry_points_test, eval_returns_the_last_statement_and_reports_failures)
{
  owned_value_t result;
  qstring error;
  EXPECT_TRUE(zxl_eval(&result.v, 0, "1+2", &error)) << error.c_str();
  EXPECT_EQ(describe(result.v), "LONG 3");
  EXPECT_TRUE(zxl_eval(&result.v, 0, "auto x = 4; x * 2;", &error)) << error.c_str();
  EXPECT_EQ(describe(result.v), "LONG 8");
  // A statement that is no value: the result is 0.
  EXPECT_TRUE(zxl_eval(&result.v, 0, "if (1) 5;", &error));
  EXPECT_EQ(describe(result.v), "LONG 0");
  EXPECT_FALSE(zxl_eval(&result.v, 0, "1 +", &error));
  EXPECT_EQ(std::string(error.c_str()), "1: Syntax error"); // at the wrapper's second line
  EXPECT_FALSE(zxl_eval(&result.v, 0, "auto z = 0; 1 / z", &error));
  EXPECT_EQ(result.v.kind, ZK_OBJECT);
  EXPECT_EQ(std::string(error.c_str()).rfind("Runtime error", 0), 0u) << error.c_str();
  EXPECT_FALSE(zxl_eval(&result.v, 0, nullptr, &error));
  // Snippets run one inside the other take slots 0 and 1, and every slot is free afterwards.
  EXPECT_TRUE(zxl_eval(&result.v, 0, "slots()", &error));
  EXPECT_EQ(describe(result.v), "LONG 1");
  EXPECT_TRUE(zxl_eval(&result.v, 0, "nested()", &error));
  EXPECT_EQ(describe(result.v), "LONG 3");
  EXPECT_EQ(zxl_get_engine()->snippet_slots, 0u);
  EXPECT_TRUE(script_lock_is_free());
}

TEST_F(entry_points_test, eval_snippet_runs_programs_through_main)
{
  qstring error;
  ASSERT_TRUE(zxl_eval_snippet("extern r; static main(){ r = 5; }", &error)) << error.c_str();
  EXPECT_EQ(describe(zxl_find_global("r")->value), "LONG 5");
  // A program without main runs the default one, which returns 0.
  ASSERT_TRUE(zxl_eval_snippet("static other(){ r = 6; }", &error)) << error.c_str();
  EXPECT_EQ(describe(zxl_find_global("r")->value), "LONG 5");
  EXPECT_EQ(zxl_run_by_name("main").value, "LONG 0");
  // Any other text is a snippet.
  ASSERT_TRUE(zxl_eval_snippet("r = 7;", &error)) << error.c_str();
  EXPECT_EQ(describe(zxl_find_global("r")->value), "LONG 7");
  EXPECT_EQ(ui_codes.front(), uicb_script_context);
  EXPECT_FALSE(zxl_eval_snippet("static main(){ return nope; }", &error));
  EXPECT_FALSE(zxl_eval_snippet("static main(){ throw 1; }", &error));
}

TEST_F(entry_points_test, compile_expression_and_call_function)
{
  qstring error;
  ASSERT_TRUE(zxl_compile_expression("answer", 0, "6 * 7", &error)) << error.c_str();
  EXPECT_FALSE(zxl_compile_expression("answer", 0, nullptr, &error));
  owned_value_t result;
  ui_codes.clear();
  ASSERT_TRUE(zxl_call_function(&result.v, "answer", nullptr, 0, &error)) << error.c_str();
  EXPECT_EQ(describe(result.v), "LONG 42");
  ASSERT_FALSE(ui_codes.empty());
  EXPECT_EQ(ui_codes.front(), uicb_script_context);
  ASSERT_TRUE(compile_text("static add(a, b){ return a + b; }"));
  const zxl_value_t args[2] = {zxl_long(2), zxl_long(3)};
  ASSERT_TRUE(zxl_call_function(&result.v, "add", args, 2, &error));
  EXPECT_EQ(describe(result.v), "LONG 5");
  EXPECT_FALSE(zxl_call_function(&result.v, "add", args, 1, &error));
  EXPECT_EQ(result.v.kind, ZK_OBJECT);
  EXPECT_FALSE(std::string(error.c_str()).empty());
  EXPECT_FALSE(zxl_call_function(&result.v, "nothing_named_so", nullptr, 0, &error));
}

TEST_F(entry_points_test, a_running_function_cannot_be_recompiled)
{
  ASSERT_TRUE(compile_text("static busy(){ return recompile(); }"));
  EXPECT_EQ(zxl_run_by_name("busy").value, "LONG 40");
  // Once it is idle it can.
  qstring error;
  ASSERT_TRUE(zxl_compile_text("static busy(){ return 2; }", &error, nullptr, false)) << error.c_str();
  EXPECT_EQ(zxl_run_by_name("busy").value, "LONG 2");
  EXPECT_TRUE(script_lock_is_free());
}

TEST_F(entry_points_test, a_method_added_while_a_script_runs_is_found_by_the_next_call)
{
  // The run remembers that K has no "extra" and where "probe" is; the new method changes the tables, so the
  // next call looks again instead of trusting what it remembered.
  ASSERT_TRUE(compile_text(R"(class K { K(){ } probe(){ return 1; } }
                              static t(){
                                auto k = K(), r = 0, e, i;
                                for (i = 0; i < 3; i++) {
                                  try { k.extra(); } catch (e) { r = r + 100; }
                                  r = r + k.probe();
                                }
                                if (add_extra() != 0) return -1;
                                return r + k.extra() * 1000 + k.probe();
                              })"));
  EXPECT_EQ(zxl_run_by_name("t").value, "LONG 7304");
  EXPECT_TRUE(script_lock_is_free());
}

TEST_F(entry_points_test, objects_attributes_and_methods)
{
  ASSERT_TRUE(compile_text("class P { P(x){ this.x = x; } get(){ return this.x; } } extern g;"));
  owned_value_t object;
  owned_value_t untouched(zxl_long(9));
  qstring error;
  EXPECT_FALSE(zxl_create_object(&untouched.v, "Nope", nullptr, 0, &error));
  EXPECT_EQ(qerrno_get(), 1536);
  EXPECT_EQ(std::string(error.c_str()), "Unknown class: Nope");
  EXPECT_EQ(describe(untouched.v), "LONG 9");
  const zxl_value_t five = zxl_long(5);
  ASSERT_TRUE(zxl_create_object(&object.v, "P", &five, 1, &error)) << error.c_str();
  EXPECT_EQ(describe(object.v), "OBJECT {x=LONG 5}");
  owned_value_t plain;
  ASSERT_TRUE(zxl_create_object(&plain.v, nullptr, &five, 1, &error));
  EXPECT_EQ(plain.v.object->class_index, 0);

  owned_value_t value;
  ASSERT_TRUE(zxl_get_attribute(&value.v, &object.v, "x"));
  EXPECT_EQ(describe(value.v), "LONG 5");
  ASSERT_TRUE(zxl_get_attribute(&value.v, &object.v, ""));
  EXPECT_EQ(describe(value.v), "STRING P");
  const zxl_value_t seven = zxl_long(7);
  ASSERT_TRUE(zxl_set_attribute(&object.v, "y", &seven));
  EXPECT_EQ(describe(object.v), "OBJECT {x=LONG 5,y=LONG 7}");
  // A null object names a global; a STRING object names the global holding the object.
  ASSERT_TRUE(zxl_set_attribute(nullptr, "g", &object.v));
  owned_value_t global_name(zxl_string("g"));
  ASSERT_TRUE(zxl_get_attribute(&value.v, &global_name.v, "y"));
  EXPECT_EQ(describe(value.v), "LONG 7");
  EXPECT_FALSE(zxl_set_attribute(nullptr, "no_such_global", &seven));
  EXPECT_EQ(qerrno_get(), 1538);
  owned_value_t unknown_global(zxl_string("no_such_global"));
  EXPECT_FALSE(zxl_get_attribute(&value.v, &unknown_global.v, "y"));
  EXPECT_EQ(qerrno_get(), 1532);
  EXPECT_FALSE(zxl_get_attribute(&value.v, &object.v, "missing"));
  EXPECT_EQ(qerrno_get(), 1538);

  ASSERT_TRUE(zxl_call_method(&value.v, &object.v, "get", nullptr, 0, &error)) << error.c_str();
  EXPECT_EQ(describe(value.v), "LONG 5");
  EXPECT_FALSE(zxl_call_method(&value.v, &object.v, "x", nullptr, 0, &error));
  EXPECT_EQ(qerrno_get(), 1541);
  EXPECT_EQ(value.v.kind, ZK_OBJECT);
  EXPECT_EQ(std::string(error.c_str()), "The value is not a function");
}

TEST_F(entry_points_test, compile_file_finds_includes_in_the_zxl_directories)
{
  const std::filesystem::path base = std::filesystem::path(std::getenv("TMPDIR")) / "zxl_entry";
  std::filesystem::create_directories(base);
  std::filesystem::create_directories(zxl_directory);
  std::ofstream(zxl_directory / "helper.zxl") << "static helper(){ return 11; }\n";
  std::ofstream(base / "main.zxl") << "#include \"helper.zxl\"\nstatic uses(){ return helper() + 1; }\n";
  qstring error;
  ASSERT_TRUE(zxl_compile_file((base / "main.zxl").c_str(), nullptr, &error)) << error.c_str();
  EXPECT_EQ(zxl_run_by_name("uses").value, "LONG 12");
  std::ofstream(base / "self.zxl") << "#include \"self.zxl\"\nstatic s(){}\n";
  EXPECT_FALSE(zxl_compile_file((base / "self.zxl").c_str(), nullptr, &error));
  EXPECT_FALSE(std::string(error.c_str()).empty());
  EXPECT_FALSE(zxl_compile_file((base / "missing.zxl").c_str(), nullptr, &error));
  EXPECT_TRUE(script_lock_is_free());
  std::filesystem::remove_all(zxl_directory);
}

} // namespace
