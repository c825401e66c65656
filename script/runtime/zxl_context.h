// ZXL execution contexts: the stacks of a run, starting and ending runs, calls, and the interpreter loop.
#pragma once

#include "script/runtime/zxl_engine.h"
#include "script/runtime/zxl_tables.h"
#include "script/runtime/zxl_value.h"

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstdint>

// The magic of a live context (the bytes "ZXL" and 0x11).
inline constexpr uint32_t ZXL_CONTEXT_MAGIC = 0x114C585A;

// Bounds of a run. Passing one is error ZXL_TOO_DEEP, which a script can catch: endless recursion ends with it,
// never with an overflow of the machine stack or exhausted memory.
inline constexpr size_t ZXL_MAX_FRAMES = 100000;
inline constexpr size_t ZXL_MAX_VALUES = 1000000;
inline constexpr size_t ZXL_MAX_MARKS = 1000000;
inline constexpr int ZXL_MAX_NESTED_RUNS = 100; // runs nested on the machine stack of one thread
inline constexpr int32_t ZXL_TOO_DEEP = 1690;

// UI callback requests of a run: the start of a context, and the per-instruction cancellation poll.
inline constexpr int32_t uicb_script_started = 25;
inline constexpr int32_t uicb_script_cancelled = 27;

// The engine lookups a run repeats on every call, remembered per context with the tables generation they were
// made in (zxl_tables_generation), so that calls and member accesses need no script lock while the tables stay
// as they are. An entry whose generation is not the current one is a miss; a context starts with none valid.
struct zxl_lookup_cache_t
{
  struct function_entry_t
  {
    uint64_t generation = 0;
    zxl_function_t *function = nullptr;
    int32_t index = 0;
  };
  // A method found from a class up; the name is a short string's bytes (longer names are not remembered).
  struct method_entry_t
  {
    uint64_t generation = 0;
    int32_t class_index = 0;
    int32_t method = -1;
    uint8_t length = 0;
    char name[ZXL_SHORT_STRING_MAX] = {};
  };
  // The getattr and setattr hooks found from a class up.
  struct hook_entry_t
  {
    uint64_t generation = 0;
    int32_t class_index = 0;
    int32_t getter = -1;
    int32_t setter = -1;
  };
  // What a member step (ZXL_STEP_MEMBER) found for the object's class: the method a call runs, or the
  // setattr hook a write meets (-1 when none). The step's address stands for its name; a function's steps
  // are only freed with a change of the tables generation.
  struct site_entry_t
  {
    uint64_t generation = 0;
    const void *site = nullptr;
    int32_t class_index = 0;
    int32_t found = -1;
  };
  function_entry_t functions[32];
  method_entry_t methods[32];
  hook_entry_t hooks[8];
  site_entry_t sites[64];
};

// A caller's state, saved by a call and restored by its return.
struct zxl_frame_t
{
  zxl_function_t *function; // null at the outermost level
  uint32_t pc;
  uint32_t arg_base;
  uint32_t locals_base;
};

// The state of one run (and of the runs nested in it). Promises: belongs to the thread that made it; `stack`
// (the value stack, from the slot owner) holds owned values; `magic` is ZXL_CONTEXT_MAGIC from init to free.
// A context made off the main thread never calls the user interface.
struct zxl_context_t : zxl_slot_owner_t
{
  uint32_t magic = 0;
  zxl_engine_t *engine = nullptr;
  qvector<zxl_frame_t> frames;
  qvector<uint32_t> marks;
  uint32_t arg_base = 0;
  uint32_t locals_base = 0;
  zxl_function_t *function = nullptr;
  uint32_t pc = 0;
  uint32_t operand = 0; // the index operand of the latest call, variable or class instruction
  const uint8_t *code = nullptr;
  uint32_t code_length = 0;
  const zxl_step_t *steps = nullptr; // the code decoded (zxl_function_steps), one step per offset
  zxl_resolver_pair_t resolver;
  uint8_t no_ui = 0;
  bool polls = false;             // asks the user interface (code 27) before every instruction
  bool own_cancel = false;        // set for good by a non-zero answer to the poll
  bool *cancelled = &own_cancel;  // the cancellation this run obeys; a destructor run shares its caller's
  uint32_t wait_counter = 0;
  bool main_thread = false; // made on the main thread (a context never changes threads)
  bool counts_apart = false; // its calls are counted in main_activation (zxl_function_t)
  zxl_lookup_cache_t lookups;
};

// Prepares a context: magic, engine, empty stacks, the resolver and the no-UI flag (forced off the main thread).
// Without the flag the engine's run start becomes now and the user interface hears code 25; with it the run
// start becomes -1.
void zxl_context_init(zxl_context_t *context, const zxl_resolver_pair_t &resolver, bool no_ui);
// Clears the magic and releases every stacked value.
void zxl_context_free(zxl_context_t *context);

// Runs a function (by name, or by index when the name is null) with copies of the arguments. Success: true, the
// result popped into *result (when given). Failure: false, the exception popped into *result and its runtime
// error text in *error (when given). A shown wait box is hidden at the end.
bool zxl_run_function(zxl_context_t *context, const char *name, int32_t index, int32_t argc,
                      const zxl_value_t *args, zxl_value_t *result, qstring *error);
// zxl_run_function in a fresh context without the no-UI flag.
bool zxl_call_by_name(zxl_value_t *result, const char *name, const zxl_value_t *args, int32_t argc,
                      qstring *error, const zxl_resolver_pair_t &resolver);

// The interpreter loop: calls the function (by name, or index; compiled from 0 up, native when negative) with
// the values from the newest mark up, and runs until it returns. True when it returned (its result popped into
// *result, or dropped); false with an exception value on the top of the stack.
bool zxl_run(zxl_context_t *context, zxl_value_t *result, const char *name, int32_t index);
// Returns from the current function: the result (the top, a REF into the frame followed) replaces the frame's
// values and the caller's state comes back. 0, or 1563 when the result's REF cannot be followed.
[[nodiscard]] int zxl_return(zxl_context_t *context);

// The code and code length become those of the current function (none at the outermost level).
void zxl_load_code(zxl_context_t *context);

// The cancellation flag of the innermost polling run on this thread (null when none): a destructor run started
// under it obeys it.
bool *&zxl_active_cancel();

// Checks and converts count native arguments in place against a kind string (a final ZK_ANY covers the rest).
// 0 or an error code (56, 1532, 1554, 1566 or a conversion's); a bad kind code is internal error 289.
[[nodiscard]] int zxl_check_native_args(zxl_value_t *args, size_t count, const qstring &kinds);

