// Compile errors: every code of the compiler with the construct that raises it, the error text and its
// position, and what a failed compilation leaves behind.
#include "script/compiler/zxl_compiler.h"

#include "tests/script/compiler_fixture.h"

#include "core/error_state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace
{

class compiler_errors_test : public zxl_compiler_test
{
};

int native_stub(zxl_value_t *, zxl_value_t *)
{
  return 0;
}

TEST_F(compiler_errors_test, each_error_code_and_its_construct)
{
  auto *native = new zxl_native_t;
  native->name = "ui_only";
  native->callback = native_stub;
  zxl_add_native(native);
  struct case_t
  {
    const char *source;
    int code;
  };
  const std::string long_name(128, 'n');
  const std::string name_127(127, 'n');
  const case_t cases[] = {
    {"static f(){ do ; }", 43},
    {"static f(){ return 1 }", 44},
    {"static f(){ auto a; a = 1 a = 2; }", 44},
    {"static f(){ for (1 2; ; ) ; }", 44},
    {"static f(){ return [1, 2; }", 45},
    {"static f(){ return 1 ? 2; }", 46},
    {"static f(a = 1 ? 2) { }", 46},
    {"static f(){ try {} }", 47},
    {"static f(){ try {} catch e {} }", 47},
    {"static f(){ auto a b; }", 47},
    {"extern a b;", 47},
    {"static f(a {}", 47},
    {"static f() return 1;", 47},
    {"static f(){ return g(1 2); }", 47},
    {"static f(){ auto s; return s[1 2]; }", 47},
    {"static f(){ return }", 47},
    {"static f(void {}", 48},
    {"static f(){ return (1; }", 48},
    {"static f(){ for (;; 1 {} }", 48},
    {"static f(){ break; }", 50},
    {"static f(){ try { break; } catch (e) {} }", 50},
    {"static f(){ continue; }", 51},
    {"static f(a, a){}", 52},
    {"static f(){ auto a; auto a; }", 52},
    {"static f(){ { auto a; } { auto a; } }", 52},
    {"static f(a){ auto a; }", 52},
    {"static ui_only(){}", 52},
    {"static f(){ return nope; }", 53},
    {"static g(){} static f(){ g = 1; }", 53},
    {"static g(){} static f(){ return &g; }", 53},
    {"static g(){} static f(){ g() = 1; }", 53},
    {"static g(){} static f(){ auto e; try {} catch (g) {} }", 55},
    {"static f(){ try {} catch (nope) {} }", 55},
    {"static g(a){} static f(){ g(1, 2); }", 56},
    {"static g(a, b){} static f(){ g(1); }", 56},
    {"class A {} static f(){ return A(1); }", 56},
    {"class A { A(x) {} } static f(){ return A(); }", 56},
    {"static g(){} static f(){ g()++; }", 58},
    {"static f(){ auto x; x[1]++; }", 58},
    {"static g(){} static f(){ return ++g; }", 58},
    {"static f(){ auto a; (a)++; }", 44},
    {"x = 1;", 59},
    {"static f(){} }", 59},
    {"static f(){ auto ; }", 60},
    {"static f(){ return ++; }", 60},
    {"static f(){ return &1; }", 60},
    {"static f(){ auto o; return o.; }", 60},
    {"static f(a = 1.5 ? 1 : 2) {}", 61},
    {"static f(a, b = 1, c){}", 1268},
    {"static f(a, b = 1, c, d = 2){}", 1268},
    {"class A : Nope {}", 1536},
    {"class A {} class A : A {}", 1537},
    {"class A {} class B : A {} class A : B {}", 1537},
    {"class A { m() { this = 1; } }", 1539},
    {"class A { A() { return 1; } }", 1540},
    {"class A { ~A() { return 1; } }", 1540},
    {"class A { ~B() {} }", 1584},
    {"class A { ~A(x) {} }", 1585},
    {"class A {} class B : A { B() : C() {} }", 1586},
    {"class C { C() : D() {} }", 1586},
    {"class A {} class B : A { m() : A() {} }", 47},
    {"static f(){ return sizeof(1); }", 1612},
    {"static f(){ return L\"\\xff\"; }", ZXL_BAD_WIDE_LITERAL},
    {"static f(a = 1 / 0) {}", 86},
  };
  for ( const case_t &c : cases )
  {
    std::string error;
    EXPECT_FALSE(compile_text(c.source, &error)) << c.source;
    EXPECT_EQ(qerrno_get(), c.code) << c.source << "\n" << error;
  }
  std::string error;
  EXPECT_FALSE(compile_text("static " + long_name + "(){}", &error));
  EXPECT_EQ(qerrno_get(), 28);
  EXPECT_EQ(error, "0: Function name too long (128 characters or more): " + long_name);
  EXPECT_TRUE(compile_text("static " + name_127 + "(){}", &error)) << error;

  // A native without flag 4 is refused only where natives are restricted.
  qstring text;
  EXPECT_FALSE(zxl_compile_text("static f(){ ui_only(); }", &text, nullptr, true));
  EXPECT_EQ(qerrno_get(), 143);
  EXPECT_TRUE(zxl_compile_text("static f(){ ui_only(); }", &text, nullptr, false)) << text.c_str();
}

TEST_F(compiler_errors_test, texts_carry_the_position)
{
  std::string error;
  EXPECT_FALSE(compile_text("static f()\n{ return 1 }", &error));
  // A text source reports the line minus one.
  EXPECT_EQ(error, "1: Syntax error: ';' expected");
  const std::string path = std::string(std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp") + "/bad.zxl";
  std::ofstream(path) << "static f(){\n  return nope;\n}\n";
  qstring text;
  EXPECT_FALSE(zxl_compile_source_file(path.c_str(), &text, ZXL_COMPILE_RESET_MACROS));
  EXPECT_EQ(std::string(text.c_str()), path + ",2: Unknown name, or not a variable: nope");
  std::remove(path.c_str());
  EXPECT_FALSE(zxl_compile_source_file((path + ".missing").c_str(), &text, 0));
  EXPECT_FALSE(std::string(text.c_str()).empty());
}

TEST_F(compiler_errors_test, a_failed_compilation_keeps_what_was_finished_and_empties_the_rest)
{
  std::string error;
  ASSERT_FALSE(compile_text("static g(){ return 1; } static f(){ return nope; }", &error));
  const zxl_outcome_t g = zxl_run_by_name("g");
  EXPECT_EQ(g.value, "LONG 1");
  const zxl_function_t *f = zxl_function_at(zxl_compiled_function_index("f"));
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(f->body.empty());
  EXPECT_EQ(f->activation, 0);
  EXPECT_FALSE(zxl_run_by_name("f").ok);
  // The lock is free and the next compilation works, also redefining f.
  EXPECT_TRUE(script_lock_is_free());
  ASSERT_TRUE(compile_text("static f(){ return 2; }", &error)) << error;
  EXPECT_EQ(zxl_run_by_name("f").value, "LONG 2");
}

} // namespace
