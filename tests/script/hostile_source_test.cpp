// Hostile source: huge, deep, broken and mutated programs compile or fail cleanly, and those that compile
// run to an end, cancelled after a bounded number of polls; the script lock is free afterwards.
#include "script/compiler/zxl_compiler.h"
#include "script/runtime/zxl_context.h"

#include "tests/script/compiler_fixture.h"

#include "core/error_state.h"
#include "core/grammar_driver.h"
#include "core/ui_callback.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace
{

#ifdef AKUI_SANITIZE
constexpr int MUTANTS = 2000;
constexpr size_t BIG_STRING = size_t(2) << 20;
#else
constexpr int MUTANTS = 20000;
constexpr size_t BIG_STRING = size_t(16) << 20;
#endif
int64_t poll_limit = 20000;
int64_t polls = 0;

// Answers the start of a run and the poll like the client's dispatcher (0), until the poll limit passes:
// then the poll cancels.
int64_t cancelling_ui(int32_t code, ...)
{
  if ( code == uicb_script_cancelled )
    return ++polls > poll_limit ? 1 : 0;
  return 0;
}

class hostile_source_test : public zxl_compiler_test
{
protected:
  void SetUp() override
  {
    zxl_compiler_test::SetUp();
    ui = std::make_unique<ui_callback_scope_t>(cancelling_ui);
    poll_limit = 20000;
    polls = 0;
  }
  void TearDown() override
  {
    ui.reset();
    zxl_compiler_test::TearDown();
  }
  std::unique_ptr<ui_callback_scope_t> ui;
};

// Runs a function with the poll paid; the outcome.
zxl_outcome_t run_polled(const char *name)
{
  polls = 0;
  return zxl_run_by_name(name, {}, false);
}

std::string repeat(const std::string &piece, size_t count)
{
  std::string out;
  out.reserve(piece.size() * count);
  for ( size_t i = 0; i < count; ++i )
    out += piece;
  return out;
}

TEST_F(hostile_source_test, the_table_of_hostile_texts_ends_cleanly)
{
  struct case_t
  {
    const char *name;
    std::string source;
    int code; // 0: compiles; -1: compiles or fails, either way cleanly
  };
  std::string locals = "static f(){ auto v0";
  for ( int i = 1; i < 70000; ++i )
    locals += ",v" + std::to_string(i);
  locals += "; }";
  const case_t cases[] = {
    {"parentheses 10,000 deep", "static f(){ return " + repeat("(", 10000) + "1" + repeat(")", 10000) + "; }",
     GRAMMAR_TOO_DEEP},
    {"blocks 10,000 deep", "static f(){ " + repeat("{", 10000) + repeat("}", 10000) + " }", GRAMMAR_TOO_DEEP},
    {"negations 10,000 deep", "static f(){ return " + repeat("- ", 10000) + "1; }", GRAMMAR_TOO_DEEP},
    {"defaults 10,000 deep", "static f(a = " + repeat("(", 10000) + "1" + repeat(")", 10000) + "){}",
     GRAMMAR_TOO_DEEP},
    {"a 100,000-digit number", "static f(){ return " + std::string(100000, '7') + "; }", -1},
    {"100,000 calls in a chain", "static f(){ return g" + repeat("()", 100000) + "; }", 0},
    {"100,000 indexes in a chain", "static f(){ auto s; return s" + repeat("[0]", 100000) + "; }", 0},
    {"70,000 locals", locals, ZXL_LIMIT_PASSED},
    {"70,000 parameters", "static f(p0" + [] {
       std::string p;
       for ( int i = 1; i < 70000; ++i )
         p += ",p" + std::to_string(i);
       return p;
     }() + "){}", ZXL_LIMIT_PASSED},
    {"an unterminated comment", "static f(){ return 1; } /* never closed", -1},
    {"an unterminated string", "static f(){ return \"never closed; }", -1},
    {"bad UTF-8 in a string and a name", "static f(){ return \"\xC3\x28\xFF\"; } static g\xFF(){}", -1},
    {"a bad wide literal", "static f(){ return L\"\xFF\xFE\"; }", ZXL_BAD_WIDE_LITERAL},
    {"only punctuation", repeat("}{)(][;,.", 1000), -1},
  };
  for ( const case_t &c : cases )
  {
    std::string error;
    const bool ok = compile_text(c.source, &error);
    if ( c.code >= 0 )
    {
      EXPECT_EQ(ok, c.code == 0) << c.name << ": " << error;
    }
    if ( c.code > 0 )
    {
      EXPECT_EQ(qerrno_get(), c.code) << c.name << ": " << error;
    }
    EXPECT_TRUE(script_lock_is_free()) << c.name;
  }
  EXPECT_TRUE(compile_text("static after(){ return 1; }"));
}

// Functions, classes and globals past the 16-bit operands: calls go by name, the others are refused.
TEST_F(hostile_source_test, indexes_past_sixteen_bits_are_called_by_name_or_refused)
{
  constexpr int many = 0x10000 + 100;
  std::string functions;
  for ( int i = 0; i < many; ++i )
    functions += "static f" + std::to_string(i) + "(){ return " + std::to_string(i) + "; }\n";
  functions += "static call_last(){ return f" + std::to_string(many - 1) + "() + f7(); }";
  std::string error;
  ASSERT_TRUE(compile_text(functions, &error)) << error;
  const zxl_outcome_t last = zxl_run_by_name("call_last");
  EXPECT_TRUE(last.ok);
  EXPECT_EQ(last.value, "LONG " + std::to_string(many - 1 + 7));

  struct case_t
  {
    const char *name;
    std::string source;
  };
  std::string classes;
  std::string globals = "extern g0";
  for ( int i = 0; i < many; ++i )
  {
    classes += "class C" + std::to_string(i) + " { }\n";
    globals += ",g" + std::to_string(i + 1);
  }
  globals += ";";
  const case_t cases[] = {
    {"more than 65,536 classes", classes},
    {"more than 65,536 globals", globals},
  };
  for ( const case_t &c : cases )
  {
    EXPECT_FALSE(compile_text(c.source, &error)) << c.name;
    EXPECT_EQ(qerrno_get(), ZXL_LIMIT_PASSED) << c.name << ": " << error;
    EXPECT_TRUE(script_lock_is_free()) << c.name;
  }
  EXPECT_TRUE(compile_text("static after(){ return 1; }"));
  EXPECT_EQ(zxl_run_by_name("after").value, "LONG 1");
}

TEST_F(hostile_source_test, long_member_chains_compile_and_run)
{
  // The object refers to itself; the cycle is broken before the function returns.
  ASSERT_TRUE(compile_text("static f(){ auto o = object(), r; o.a = o; o.v = 3; r = o" + repeat(".a", 100000) +
                           ".v; o.a = 0; return r; }"));
  poll_limit = 1000000;
  const zxl_outcome_t out = run_polled("f");
  EXPECT_EQ(out.value, "LONG 3") << out.error;
}

TEST_F(hostile_source_test, a_huge_string_literal)
{
  ASSERT_TRUE(compile_text("static f(){ return \"" + std::string(BIG_STRING, 'a') + "\"; }"));
  owned_value_t result;
  qstring error;
  ASSERT_TRUE(zxl_call_by_name(&result.v, "f", nullptr, 0, &error, zxl_resolver_pair_t())) << error.c_str();
  EXPECT_EQ(zxl_string_view(result.v).size(), BIG_STRING);
}

TEST_F(hostile_source_test, nul_bytes_in_a_file)
{
  const std::string path = std::string(std::getenv("TMPDIR")) + "/nul.zxl";
  const std::string text = std::string("static f(){ return 1; }\0static g(){ \0 }", 40);
  std::ofstream(path, std::ios::binary) << text;
  qstring error;
  (void)zxl_compile_source_file(path.c_str(), &error, ZXL_COMPILE_RESET_MACROS);
  EXPECT_TRUE(script_lock_is_free());
  std::remove(path.c_str());
}

TEST_F(hostile_source_test, endless_loops_are_cancelled_and_endless_recursion_ends)
{
  ASSERT_TRUE(compile_text("static spin(){ for (;;) ; } static spin_catching(){ auto e; while (1) try { for (;;) ; }"
                           " catch (e) {} } static deep(n){ return deep(n + 1) + 1; }"));
  for ( const char *name : {"spin", "spin_catching"} )
  {
    const zxl_outcome_t out = run_polled(name);
    EXPECT_FALSE(out.ok) << name;
    EXPECT_EQ(out.code, 1487) << name;
  }
  const zxl_outcome_t deep = zxl_run_by_name("deep", {zxl_long(0)});
  EXPECT_FALSE(deep.ok);
  EXPECT_EQ(deep.code, ZXL_TOO_DEEP);
}

// A mutation of a program: a range removed or doubled, a token inserted, or a byte replaced.
std::string mutate(const std::string &text, std::mt19937 *random)
{
  static const char *const tokens[] = {
    "(",     ")",      "{",     "}",   ";",     ",",  "=",    "++",   "--",    "[",       "]",  ".",  "::",
    "?",     ":",      "static ", "class ", "~", "try ", "catch ", "throw ", "return ", "break ", "continue ",
    "\"",    "/*",     "*/",    "0",   "this",  "auto ", "&", "new ", "while (1) ", "for (;;) ", "do ", "x",
    "f(",    "[\"a\", 1]", "sizeof", "extern ", "long", "'", "\\", "L\"\xE9\"", "1e99999", "0x",
  };
  std::string out = text;
  const int edits = 1 + int((*random)() % 2);
  for ( int e = 0; e < edits && !out.empty(); ++e )
  {
    const size_t at = (*random)() % out.size();
    const size_t length = 1 + (*random)() % std::min<size_t>(40, out.size() - at);
    switch ( (*random)() % 4 )
    {
    case 0:
      out.erase(at, length);
      break;
    case 1:
      out.insert(at, out.substr(at, length));
      break;
    case 2:
      out.insert(at, tokens[(*random)() % std::size(tokens)]);
      break;
    default:
      out[at] = char(1 + (*random)() % 255);
      break;
    }
  }
  return out;
}

TEST_F(hostile_source_test, seeded_mutants_of_the_test_programs_compile_or_fail_and_runs_end)
{
  std::vector<std::string> programs;
  for ( const auto &entry : std::filesystem::directory_iterator(programs_directory()) )
  {
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    programs.push_back(text.str());
  }
  ASSERT_FALSE(programs.empty());
  std::mt19937 random(20261210);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int compiled = 0;
  for ( int i = 0; i < MUTANTS && std::chrono::steady_clock::now() < deadline; ++i )
  {
    const std::string mutant = mutate(programs[size_t(i) % programs.size()], &random);
    std::string error;
    if ( !compile_text(mutant, &error) )
      continue;
    ++compiled;
    // Every function the mutant defines at the top level: the name after "static ".
    for ( size_t at = mutant.find("static "); at != std::string::npos; at = mutant.find("static ", at + 1) )
    {
      size_t end = at + 7;
      while ( end < mutant.size() && (std::isalnum(uint8_t(mutant[end])) || mutant[end] == '_') )
        ++end;
      const std::string name = mutant.substr(at + 7, end - at - 7);
      if ( !name.empty() && zxl_compiled_function_index(name.c_str()) >= 0 )
        (void)run_polled(name.c_str());
    }
  }
  EXPECT_GT(compiled, 0);
  EXPECT_TRUE(script_lock_is_free());
  EXPECT_TRUE(compile_text("static after(){ return 1; }"));
  EXPECT_EQ(zxl_run_by_name("after").value, "LONG 1");
}

} // namespace
