// Costs of the ZXL value layer: integer and comparison operators, string building, copies and attribute writes.
#include "bench/bench_runner.h"
#include "script/runtime/zxl_engine.h"
#include "script/runtime/zxl_object.h"
#include "script/runtime/zxl_operators.h"
#include "script/runtime/zxl_value.h"

#include <benchmark/benchmark.h>

#include <string>

namespace
{

// The engine for the length of one benchmark.
struct engine_scope_t
{
  engine_scope_t() { zxl_init(); }
  ~engine_scope_t() { zxl_shutdown(); }
};

// One operator on a two-value stack, as the interpreter evaluates ADD or LT on LONGs.
void bench_long_operator(benchmark::State &state, int opcode)
{
  engine_scope_t engine;
  qvector<zxl_value_t> stack;
  stack.reserve(4);
  int64_t n = 0;
  for ( auto _ : state )
  {
    stack.push_back(zxl_long(n));
    stack.push_back(zxl_long(7));
    benchmark::DoNotOptimize(zxl_eval_operator(&stack, opcode));
    benchmark::DoNotOptimize(stack[0].i);
    stack.pop_back();
    ++n;
  }
}
BENCHMARK_CAPTURE(bench_long_operator, add, int(ZOP_ADD));
BENCHMARK_CAPTURE(bench_long_operator, less, int(ZOP_LT));

// A string built by appending short pieces up to 50,000 bytes, the way `s = s + "ab"` runs.
void bench_string_building(benchmark::State &state)
{
  engine_scope_t engine;
  for ( auto _ : state )
  {
    qvector<zxl_value_t> stack;
    stack.push_back(zxl_string(""));
    while ( zxl_string_view(stack[0]).size() < 50000 )
    {
      stack.push_back(zxl_string("ab"));
      benchmark::DoNotOptimize(zxl_eval_operator(&stack, ZOP_ADD));
    }
    zxl_values_release(&stack);
  }
}
BENCHMARK(bench_string_building);

// Concatenation of two short strings into a fresh value.
void bench_short_concatenation(benchmark::State &state)
{
  engine_scope_t engine;
  qvector<zxl_value_t> stack;
  for ( auto _ : state )
  {
    stack.push_back(zxl_string("abc"));
    stack.push_back(zxl_string("defg"));
    benchmark::DoNotOptimize(zxl_eval_operator(&stack, ZOP_ADD));
    zxl_values_release(&stack);
  }
}
BENCHMARK(bench_short_concatenation);

// Copying a long string value: a share of its buffer, not a copy of its bytes.
void bench_long_string_copy(benchmark::State &state)
{
  engine_scope_t engine;
  zxl_value_t source = zxl_string(std::string(4096, 'x'));
  zxl_value_t copy;
  for ( auto _ : state )
  {
    benchmark::DoNotOptimize(zxl_value_copy(&copy, &source));
    zxl_value_clear(&copy);
  }
  zxl_value_clear(&source);
}
BENCHMARK(bench_long_string_copy);

// An attribute of an object read, incremented and written back, as a method updating `this.count` does.
void bench_attribute_update(benchmark::State &state)
{
  engine_scope_t engine;
  zxl_value_t object;
  object.kind = ZK_OBJECT;
  object.object = zxl_object_new(0);
  *zxl_attr_slot(object.object, "name") = zxl_string("counter");
  *zxl_attr_slot(object.object, "count") = zxl_long(0);
  for ( auto _ : state )
  {
    zxl_value_t *slot = zxl_find_attr(object.object, "count");
    slot->i = int64_t(uint64_t(slot->i) + 1);
    benchmark::DoNotOptimize(slot);
  }
  zxl_value_clear(&object);
}
BENCHMARK(bench_attribute_update);

} // namespace

int main(int argc, char **argv)
{
  return bench_runner_t(argc, argv).run();
}
