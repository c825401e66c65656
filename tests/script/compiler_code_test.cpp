// The compiler's code: constants, slots, the drop peephole, statements, items and calls, compared with assembly.
#include "script/compiler/zxl_compiler.h"
#include "script/compiler/zxl_grammar.h"

#include "tests/script/compiler_fixture.h"

#include "core/token_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

class compiler_code_test : public zxl_compiler_test
{
};

// The code of `f` compiled from the text equals the assembly.
void expect_code(const std::string &source, const std::string &assembly)
{
  std::string error;
  ASSERT_TRUE(compile_text(source, &error)) << source << "\n" << error;
  EXPECT_EQ(hex(code_of("f")), hex(assembled(assembly))) << source;
}

TEST_F(compiler_code_test, integer_constants_take_the_smallest_push)
{
  const std::pair<const char *, const char *> cases[] = {
    {"15", "PUSH_SMALL 15"},          {"16", "PUSH_INT8 16"},
    {"-1", "PUSH_SMALL 1; NEG"},      {"127", "PUSH_INT8 127"},
    {"128", "PUSH_INT16 128"},        {"32767", "PUSH_INT16 32767"},
    {"32768", "PUSH_INT32 32768"},    {"2147483648", "PUSH_INT64 2147483648"},
    {"2147483647", "PUSH_INT32 2147483647"},
  };
  for ( const auto &[value, push] : cases )
    expect_code(std::string("static f(){ return ") + value + "; }", std::string("RESERVE 0; ") + push + "; RET");
}

// Answers names "m<digits>" with minus the number: a host's constants.
class number_resolver_t : public zxl_name_resolver_t
{
public:
  int64_t resolve(const char *name) override { return name[0] == 'm' ? -std::stoll(name + 1) : -1; }
};

TEST_F(compiler_code_test, constants_of_the_name_resolver_take_the_signed_forms)
{
  number_resolver_t resolver;
  qstring error;
  ASSERT_TRUE(zxl_compile_text("static f(){ return m2 + m129 + m32769 + m2147483649; }", &error, &resolver,
                               false))
      << error.c_str();
  EXPECT_EQ(hex(code_of("f")), hex(assembled("RESERVE 0; PUSH_INT8 -2; PUSH_INT16 -129; ADD; PUSH_INT32 -32769;"
                                             "ADD; PUSH_INT64 -2147483649; ADD; RET")));
  // Without a resolver the name is unknown.
  std::string text;
  EXPECT_FALSE(compile_text("static f(){ return m5; }", &text));
  EXPECT_EQ(text, "0: Unknown name, or not a variable: m5");
}

TEST_F(compiler_code_test, locals_past_15_and_255_take_the_byte_and_word_forms)
{
  std::string source = "static f(){ auto v0";
  for ( int i = 1; i <= 256; ++i )
    source += ", v" + std::to_string(i);
  source += "; v15 = v16 = v256 = 1; return v15 = 2; }";
  expect_code(source, "RESERVE 257; PUSH_SMALL 1; STORE_LOCAL_W 256; STORE_LOCAL_B 16; POP_LOCAL_S 15;"
                      "PUSH_SMALL 2; STORE_LOCAL_S 15; RET");
}

TEST_F(compiler_code_test, dropped_values_fold_into_the_instruction_that_made_them)
{
  ASSERT_TRUE(compile_text("static g(){ return 0; }"));
  expect_code("static f(){ auto a; a = 1; }", "RESERVE 1; PUSH_SMALL 1; POP_LOCAL_S 0; PUSH_SMALL 0; RET");
  expect_code("static f(){ auto a; a; }", "RESERVE 1; PUSH_SMALL 0; RET");
  expect_code("static f(a){ a; a = 3; }", "RESERVE 0; PUSH_SMALL 3; POP_ARG_S 0; PUSH_SMALL 0; RET");
  expect_code("static f(){ g(); }", "RESERVE 0; MARK; CALL_FUNC_S 0; POP; PUSH_SMALL 0; RET");
  expect_code("static f(){ auto a, b; a = b = 1; }",
              "RESERVE 2; PUSH_SMALL 1; STORE_LOCAL_S 1; POP_LOCAL_S 0; PUSH_SMALL 0; RET");
  expect_code("extern x; static f(){ x = 1; }", "RESERVE 0; PUSH_SMALL 1; POP_GLOBAL_B 0; PUSH_SMALL 0; RET");
  expect_code("static f(o){ o.m = 1; }",
              "RESERVE 0; PUSH_SMALL 1; PUSH_ARG_S 0; PUSH_STR \"m\"; SET_ATTR_POP; PUSH_SMALL 0; RET");
}

TEST_F(compiler_code_test, if_statements_with_empty_branches)
{
  // The condition alone is left, and a local's name as the condition leaves nothing at all.
  expect_code("static f(){ auto a; if (a) ; }", "RESERVE 1; PUSH_SMALL 0; RET");
  expect_code("static f(){ if (1) ; }", "RESERVE 0; PUSH_SMALL 1; POP; PUSH_SMALL 0; RET");
  // An empty else part ends in a jump of offset 0.
  expect_code("static f(){ auto a; if (a) a = 1; else ; }",
              "RESERVE 1; PUSH_LOCAL_S 0; JMP_FALSE end; PUSH_SMALL 1; POP_LOCAL_S 0; JMP end; end: PUSH_SMALL 0;"
              "RET");
  expect_code("static f(){ auto a; if (a) a = 1; else a = 2; }",
              "RESERVE 1; PUSH_LOCAL_S 0; JMP_FALSE other; PUSH_SMALL 1; POP_LOCAL_S 0; JMP end;"
              "other: PUSH_SMALL 2; POP_LOCAL_S 0; end: PUSH_SMALL 0; RET");
}

TEST_F(compiler_code_test, loops)
{
  expect_code("static f(){ auto i; while (i) i = 0; }",
              "RESERVE 1; top: PUSH_LOCAL_S 0; JMP_FALSE end; PUSH_SMALL 0; POP_LOCAL_S 0; JMP top;"
              "end: PUSH_SMALL 0; RET");
  // continue in do-while goes to the body's first statement, not to the condition.
  expect_code("static f(){ auto i; do { i = 1; continue; } while (i); }",
              "RESERVE 1; top: PUSH_SMALL 1; POP_LOCAL_S 0; JMP top; PUSH_LOCAL_S 0; JMP_TRUE top;"
              "PUSH_SMALL 0; RET");
  expect_code("static f(){ auto i; for (i = 0; i < 3; i++) break; }",
              "RESERVE 1; PUSH_SMALL 0; POP_LOCAL_S 0; cond: PUSH_LOCAL_S 0; PUSH_SMALL 3; LT; JMP_FALSE end;"
              "JMP body; step: PUSH_LOCAL_S 0; INC_LOCAL_B 0; POP; JMP cond; body: JMP end; JMP step;"
              "end: PUSH_SMALL 0; RET");
  // All three parts empty: an endless loop.
  expect_code("static f(){ auto a; for (;;) a = 1; }",
              "RESERVE 1; JMP body; body: PUSH_SMALL 1; POP_LOCAL_S 0; JMP body; PUSH_SMALL 0; RET");
}

TEST_F(compiler_code_test, try_catch_and_the_implicit_return_after_a_patched_jump)
{
  ASSERT_TRUE(compile_text("static g(){ return 0; }"));
  expect_code("static f(){ auto e; try { g(); } catch (e) { return 1; } }",
              "RESERVE 1; start: MARK; CALL_FUNC_S 0; POP; JMP end; handler: PUSH_SMALL 1; RET; end: PUSH_SMALL 0;"
              "RET");
  const zxl_function_t *f = zxl_function_at(zxl_compiled_function_index("f"));
  zxl_handler_t handler;
  ASSERT_TRUE(zxl_find_handler(*f, 3, &handler));
  EXPECT_EQ(handler.start, 3u);
  EXPECT_EQ(handler.end, 11u);
  EXPECT_EQ(handler.slot_kind, uint32_t(ZXL_SLOT_LOCAL));
  EXPECT_EQ(handler.slot_index, 0u);
}

TEST_F(compiler_code_test, items_calls_and_references)
{
  expect_code("static f(){ auto x, i, v; x[i] = v; }",
              "RESERVE 3; PUSH_LOCAL_S 2; PUSH_SMALL 0; REF_LOCAL; PUSH_LOCAL_S 1; SET_ITEM; POP; PUSH_SMALL 0; RET");
  expect_code("static f(){ auto x, i, v; x.m[i] = v; }",
              "RESERVE 3; PUSH_LOCAL_S 2; PUSH_LOCAL_S 0; PUSH_STR \"m\"; GET_ATTR; PUSH_LOCAL_S 1; SET_ITEM; POP;"
              "PUSH_SMALL 0; RET");
  expect_code("static f(){ auto a; return a++; }", "RESERVE 1; PUSH_LOCAL_S 0; INC_LOCAL_B 0; RET");
  expect_code("static f(){ auto a; return ++a; }", "RESERVE 1; INC_LOCAL_B 0; PUSH_LOCAL_S 0; RET");
  expect_code("static f(){ auto obj, a, b; obj.m(a, b); }",
              "RESERVE 3; MARK; PUSH_LOCAL_S 1; PUSH_LOCAL_S 2; PUSH_LOCAL_S 0; PUSH_STR \"m\"; CALL_METHOD; POP;"
              "PUSH_SMALL 0; RET");
  expect_code("static f(){ auto a, b; return long(a + b); }",
              "RESERVE 2; PUSH_LOCAL_S 0; PUSH_LOCAL_S 1; ADD; TO_LONG; RET");
  expect_code("static f(){ auto a; return long(-a); }", "RESERVE 1; PUSH_LOCAL_S 0; NEG; RET");
  expect_code("static f(){ return \"ab\" \"cd\"; }", "RESERVE 0; PUSH_STR \"ab\"; PUSH_STR \"cd\"; ADD; RET");
  expect_code("static f(){ auto a; return &a; }", "RESERVE 1; PUSH_SMALL 0; REF_LOCAL; RET");
  expect_code("static f(s){ return s[1:][:2]; }",
              "RESERVE 0; PUSH_ARG_S 0; PUSH_SMALL 1; PUSH_INT32 2147483647; GET_SLICE; PUSH_SMALL 0; PUSH_SMALL 2;"
              "GET_SLICE; RET");
  expect_code("static f(){ return [\"k\", 1]; }",
              "RESERVE 0; MARK; MARK; PUSH_STR \"k\"; CALL_NATIVE_S 1; PUSH_SMALL 1; CALL_NATIVE_S 2; RET");
}

TEST_F(compiler_code_test, calls_of_functions_defined_before_and_after)
{
  ASSERT_TRUE(compile_text("static g(x){ return x; } static f(){ return g(1) + h(2); } static h(y){ return y; }"));
  EXPECT_EQ(hex(code_of("f")), hex(assembled("RESERVE 0; MARK; PUSH_SMALL 1; CALL_FUNC_S 0; MARK; PUSH_SMALL 2;"
                                             "PUSH_STR \"h\"; FUNC_REF; CALL_VALUE; ADD; RET")));
}

TEST_F(compiler_code_test, constructors_call_the_nearest_constructor_up_the_parents)
{
  // A derived constructor begins with the parent's constructor called with "this"; its result stays on
  // the stack until the constructor returns "this".
  ASSERT_TRUE(compile_text("class B { B(){} } class M : B {} class D : M { D(){} } class E : D { E() : D() {} }"));
  const std::string call_b = "RESERVE 0; MARK; PUSH_ARG_S 0; CALL_FUNC_S " +
                             std::to_string(zxl_compiled_function_index("B.B")) + "; PUSH_ARG_S 0; RET";
  EXPECT_EQ(hex(code_of("B.B")), hex(assembled("RESERVE 0; PUSH_ARG_S 0; RET")));
  // M has no constructor: D's call goes to the nearest one above it.
  EXPECT_EQ(hex(code_of("D.D")), hex(assembled(call_b)));
  EXPECT_EQ(hex(code_of("E.E")),
            hex(assembled("RESERVE 0; MARK; PUSH_ARG_S 0; CALL_FUNC_S " +
                          std::to_string(zxl_compiled_function_index("D.D")) + "; PUSH_ARG_S 0; RET")));
  // Without any constructor above, nothing is called, and initializer arguments have nothing to go to.
  ASSERT_TRUE(compile_text("class P {} class Q : P { Q(){} }"));
  EXPECT_EQ(hex(code_of("Q.Q")), hex(assembled("RESERVE 0; PUSH_ARG_S 0; RET")));
  std::string error;
  EXPECT_FALSE(compile_text("class R : P { R() : P(1) {} }", &error));
  EXPECT_EQ(qerrno_get(), 56);
  ASSERT_TRUE(compile_text("static make(){ auto e = E(), q = Q(); return 1; }"));
  const zxl_outcome_t made = zxl_run_by_name("make");
  EXPECT_EQ(made.value, "LONG 1") << made.error;
}

TEST_F(compiler_code_test, keywords_are_those_of_the_reader)
{
  const std::pair<int, const char *> keywords[] = {
    {zxl_kw::INT64, "__int64"}, {zxl_kw::DO, "do"},         {zxl_kw::IF, "if"},         {zxl_kw::FOR, "for"},
    {zxl_kw::NEW, "new"},       {zxl_kw::TRY, "try"},       {zxl_kw::AUTO, "auto"},     {zxl_kw::CHAR, "char"},
    {zxl_kw::ELSE, "else"},     {zxl_kw::LONG, "long"},     {zxl_kw::THIS, "this"},     {zxl_kw::VOID, "void"},
    {zxl_kw::BREAK, "break"},   {zxl_kw::CATCH, "catch"},   {zxl_kw::CLASS, "class"},   {zxl_kw::FLOAT, "float"},
    {zxl_kw::THROW, "throw"},   {zxl_kw::WHILE, "while"},   {zxl_kw::EXTERN, "extern"}, {zxl_kw::RETURN, "return"},
    {zxl_kw::SIZEOF, "sizeof"}, {zxl_kw::STATIC, "static"}, {zxl_kw::CONTINUE, "continue"},
  };
  for ( const auto &[kind, text] : keywords )
    EXPECT_STREQ(default_type_keywords[kind - TOKEN_FIRST_KEYWORD], text);
}

TEST_F(compiler_code_test, rule_tables_are_well_formed)
{
  // Every continuation stays inside its rule, every sub-rule exists, every action is one of the 115, and
  // every action is used somewhere.
  bool used[ZXL_ACTION_COUNT] = {};
  for ( int r = 0; r < ZXL_RULE_COUNT; ++r )
  {
    const grammar_rule_entry_t *rule = zxl_rules[r];
    const int size = zxl_rule_sizes[r];
    ASSERT_GT(size, 0);
    for ( int i = 0; i < size; ++i )
    {
      const grammar_rule_entry_t &e = rule[i];
      if ( e.token == GRAMMAR_END_MARKER )
        continue;
      EXPECT_TRUE(e.next == GRAMMAR_MATCHED || e.next < size) << "rule " << r << " entry " << i;
      EXPECT_TRUE(e.sub_rule == GRAMMAR_NO_RULE || (e.sub_rule >= 0 && e.sub_rule < ZXL_RULE_COUNT));
      if ( e.action != GRAMMAR_NO_ACTION )
      {
        ASSERT_LT(e.action, ZXL_ACTION_COUNT) << "rule " << r << " entry " << i;
        used[e.action] = true;
      }
    }
    // A choice always ends: the last entry is an end marker, an "otherwise" or a step that finishes.
    const grammar_rule_entry_t &last = rule[size - 1];
    EXPECT_TRUE(last.token == GRAMMAR_END_MARKER || last.token == GRAMMAR_NO_TOKEN) << "rule " << r;
  }
  for ( int a = 0; a < ZXL_ACTION_COUNT; ++a )
    EXPECT_TRUE(used[a]) << "action " << a;
}

} // namespace
