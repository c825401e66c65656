// ZXL next to Lua 5.4 on the same programs written the same way: recursive fib(30), an integer loop, string
// building, method calls that update an attribute, and compiling a generated 3 MB script. ZXL runs on the
// main thread twice: without the poll (the engine's no-UI flag) and through the entry points as the client
// runs it, with a UI callback that answers the start, context and poll requests with 0.
#include "bench/bench_runner.h"

#include "script/compiler/zxl_compiler.h"
#include "script/runtime/zxl_context.h"
#include "script/runtime/zxl_entry_points.h"
#include "script/runtime/zxl_engine.h"

#include "core/threads.h"
#include "core/ui_callback.h"

#include <benchmark/benchmark.h>

#include <lua.hpp>

#include <cstdio>
#include <string>

namespace
{

// The client's dispatcher answers these requests of a run with 0.
int64_t dispatcher(int32_t, ...)
{
  return 0;
}

const char *const zxl_programs = R"(
static fib(n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }
static loop(n) { auto i = 0, s = 0; while (i < n) { s = s + i; i++; } return s; }
static append(n) { auto s = "", i; for (i = 0; i < n; i++) s = s + "abcde"; return s; }
static concat(n) { auto a = "ab", b = "cd", t, i; for (i = 0; i < n; i++) t = a + b; return t; }
class Counter { Counter() { this.n = 0; } bump() { this.n = this.n + 1; } }
static methods(n) { auto c = Counter(), i; for (i = 0; i < n; i++) c.bump(); return c.n; }
)";

const char *const lua_programs = R"(
function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
function loop(n) local i, s = 0, 0 while i < n do s = s + i; i = i + 1 end return s end
function append(n) local s = "" for i = 0, n - 1 do s = s .. "abcde" end return s end
function concat(n) local a, b, t = "ab", "cd", nil for i = 0, n - 1 do t = a .. b end return t end
Counter = {}
Counter.__index = Counter
function Counter.new() return setmetatable({n = 0}, Counter) end
function Counter:bump() self.n = self.n + 1 end
function methods(n) local c = Counter.new() for i = 0, n - 1 do c:bump() end return c.n end
)";

// The engine with the programs compiled, for the length of one benchmark.
struct zxl_scope_t
{
  zxl_scope_t()
  {
    zxl_init();
    ui_callback = dispatcher;
    qstring error;
    if ( !zxl_compile_text(zxl_programs, &error, nullptr, false) )
      std::fprintf(stderr, "%s\n", error.c_str());
  }
  ~zxl_scope_t()
  {
    ui_callback = nullptr;
    zxl_shutdown();
  }
};

// Runs name(n): without the poll in a no-UI context, else through the entry point as the client does.
void zxl_call(const char *name, int64_t n, bool poll, benchmark::State &state)
{
  zxl_value_t arg = zxl_long(n);
  zxl_value_t result = zxl_long(0);
  qstring error;
  bool ok;
  if ( poll )
  {
    ok = zxl_call_function(&result, name, &arg, 1, &error);
  }
  else
  {
    zxl_context_t context;
    zxl_context_init(&context, zxl_resolver_pair_t(), true);
    ok = zxl_run_function(&context, name, 0, 1, &arg, &result, &error);
    zxl_context_free(&context);
  }
  if ( !ok )
    state.SkipWithError(error.c_str());
  zxl_value_clear(&result);
}

void bench_zxl(benchmark::State &state, const char *name, int64_t n, bool poll)
{
  zxl_scope_t scope;
  for ( auto _ : state )
    zxl_call(name, n, poll, state);
}

void bench_lua(benchmark::State &state, const char *name, int64_t n)
{
  lua_State *L = luaL_newstate();
  luaL_openlibs(L);
  if ( luaL_dostring(L, lua_programs) != LUA_OK )
    state.SkipWithError(lua_tostring(L, -1));
  for ( auto _ : state )
  {
    lua_getglobal(L, name);
    lua_pushinteger(L, n);
    if ( lua_pcall(L, 1, 1, 0) != LUA_OK )
      state.SkipWithError(lua_tostring(L, -1));
    lua_pop(L, 1);
  }
  lua_close(L);
}

// 20,000 functions with branches, loops and calls, about 3 MB, from a format of one function whose two
// numbers are its own and the one it calls.
std::string generated(const char *format)
{
  std::string text;
  char buf[512];
  for ( int i = 0; i < 20000; ++i )
  {
    std::snprintf(buf, sizeof(buf), format, i, i == 0 ? 0 : i - 1);
    text += buf;
  }
  return text;
}

const char *const zxl_function_format =
  "static function_number_%05d(first, second)\n{\n  auto index, sum = 0;\n"
  "  for (index = 0; index < first; index++) {\n    if (index %% 3 == 0) sum = sum + "
  "function_number_%05d(index, second);\n    else sum = sum - second * 2;\n  }\n"
  "  while (sum > 1000) sum = sum / 2;\n  return sum + first;\n}\n";
const char *const lua_function_format =
  "function function_number_%05d(first, second)\n  local sum = 0\n"
  "  for index = 0, first - 1 do\n    if index %% 3 == 0 then sum = sum + "
  "function_number_%05d(index, second)\n    else sum = sum - second * 2 end\n  end\n"
  "  while sum > 1000 do sum = sum // 2 end\n  return sum + first\nend\n";

void bench_zxl_compile(benchmark::State &state)
{
  zxl_scope_t scope;
  const std::string text = generated(zxl_function_format);
  for ( auto _ : state )
  {
    qstring error;
    if ( !zxl_compile_text(text.c_str(), &error, nullptr, false) )
      state.SkipWithError(error.c_str());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void bench_lua_compile(benchmark::State &state)
{
  lua_State *L = luaL_newstate();
  const std::string text = generated(lua_function_format);
  for ( auto _ : state )
  {
    if ( luaL_loadbuffer(L, text.data(), text.size(), "generated") != LUA_OK )
      state.SkipWithError(lua_tostring(L, -1));
    lua_pop(L, 1);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  lua_close(L);
}

// One cancellation poll as a polling run asks it before each instruction: a call through the installed UI
// callback. Beside the programs' poll and no-poll times it shows what the poll itself costs.
void bench_poll_call(benchmark::State &state)
{
  ui_callback = dispatcher;
  for ( auto _ : state )
    benchmark::DoNotOptimize(ui_callback(uicb_script_cancelled));
  ui_callback = nullptr;
}

struct program_t
{
  const char *name;
  int64_t n;
};
constexpr program_t programs[] = {
  {"fib", 30}, {"loop", 10000000}, {"append", 10000}, {"concat", 1000000}, {"methods", 1000000},
};

} // namespace

int main(int argc, char **argv)
{
  (void)on_main_thread(); // this thread is the main thread
  for ( const program_t &p : programs )
  {
    const std::string name = p.name;
    benchmark::RegisterBenchmark(("lua_" + name).c_str(), bench_lua, p.name, p.n)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("zxl_" + name + "_no_poll").c_str(), bench_zxl, p.name, p.n, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("zxl_" + name + "_poll").c_str(), bench_zxl, p.name, p.n, true)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("zxl_poll_call", bench_poll_call);
  benchmark::RegisterBenchmark("lua_compile_3mb", bench_lua_compile)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("zxl_compile_3mb", bench_zxl_compile)->Unit(benchmark::kMillisecond);
  bench_runner_t runner(argc, argv);
  return runner.run({
    {"zxl_fib_no_poll", "lua_fib"},         {"zxl_fib_poll", "lua_fib"},
    {"zxl_loop_no_poll", "lua_loop"},       {"zxl_loop_poll", "lua_loop"},
    {"zxl_append_no_poll", "lua_append"},   {"zxl_append_poll", "lua_append"},
    {"zxl_concat_no_poll", "lua_concat"},   {"zxl_concat_poll", "lua_concat"},
    {"zxl_methods_no_poll", "lua_methods"}, {"zxl_methods_poll", "lua_methods"},
    {"zxl_compile_3mb", "lua_compile_3mb"},
  });
}
