// The ZXL interpreter: contexts, calls and returns, native calls, and the loop that runs the instructions.
#include "script/runtime/zxl_context.h"

#include "script/runtime/zxl_bytecode.h"
#include "script/runtime/zxl_exceptions.h"
#include "script/runtime/zxl_object.h"
#include "script/runtime/zxl_operators.h"

#include "core/error_state.h"
#include "core/internal_error.h"
#include "core/threads.h"
#include "core/ui_callback.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>

#include <time.h>

namespace
{

int fail(int code)
{
  qerrno_set(code);
  return code;
}

int fail_text(int code, const char *text)
{
  error_arg_text(0, text);
  return fail(code);
}

void ui_message(int32_t kind, const char *format, ...)
{
  if ( ui_callback == nullptr )
    return;
  va_list va;
  va_start(va, format);
  ui_callback(ui_code_message, kind, format, &va);
  va_end(va);
}

// Whole seconds of the wall clock. The coarse clock is enough at this resolution and far cheaper: a polling
// run reads it every 100 instructions.
int64_t now_seconds()
{
  timespec now {};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return int64_t(now.tv_sec);
}

// Every 100 instructions: shows the wait box once a run with a start time has been going over 2 seconds.
void count_wait(zxl_context_t *c)
{
  zxl_engine_t *engine = c->engine;
  c->wait_counter = 0;
  if ( engine->wait_box_shown == 0 && engine->run_start != -1 && c->main_thread &&
       now_seconds() - engine->run_start > 2 )
  {
    ui_message(msg_kind_wait_show, "Running ZXL script");
    engine->wait_box_shown = 1;
  }
}

// The cancellation poll before an instruction: true (the run to end with 1487) when the run's cancellation is
// set or the user interface answers the poll (code 27) with non-zero.
// The poll is one call through the callback as it is installed at that moment; nothing else is set up or
// checked around it.
[[gnu::always_inline]] inline bool poll_cancels(const bool *cancelled)
{
  if ( *cancelled )
    return true;
  const ui_callback_t callback = ui_callback;
  return callback != nullptr && callback(uicb_script_cancelled) != 0;
}

// The polls of the instructions after the first of a fused run of `count` (the first was polled before its
// dispatch), asked before any of them runs: the pieces only touch the function's own LONG slots, which no
// poll can see. 0 when none cancels, else the place (1 up) of the instruction whose poll cancelled.
// The count is a constant, so the polls are laid out one after the other, without a loop around them.
template <uint32_t count>
[[gnu::always_inline]] inline uint32_t extra_polls(const bool *cancelled)
{
  if constexpr ( count > 1 )
  {
    if ( const uint32_t k = extra_polls<count - 1>(cancelled) )
      return k;
    return poll_cancels(cancelled) ? count - 1 : 0;
  }
  return 0;
}
// The same for a run of 3 or 4 instructions.
[[gnu::always_inline]] inline uint32_t extra_polls(const bool *cancelled, uint32_t count)
{
  return count == 4 ? extra_polls<4>(cancelled) : extra_polls<3>(cancelled);
}

// The LONG result of a binary operator the fast handlers take on two LONGs (wrapping arithmetic, signed
// comparisons); false for any other opcode.
[[gnu::always_inline]] inline bool long_binary(uint8_t op, int64_t left, int64_t right, int64_t *out)
{
  const uint64_t l = uint64_t(left), r = uint64_t(right);
  switch ( op )
  {
  case ZOP_ADD: *out = int64_t(l + r); return true;
  case ZOP_SUB: *out = int64_t(l - r); return true;
  case ZOP_MUL: *out = int64_t(l * r); return true;
  case ZOP_BOR: *out = int64_t(l | r); return true;
  case ZOP_BAND: *out = int64_t(l & r); return true;
  case ZOP_BXOR: *out = int64_t(l ^ r); return true;
  case ZOP_EQ: *out = left == right; return true;
  case ZOP_NE: *out = left != right; return true;
  case ZOP_LE: *out = left <= right; return true;
  case ZOP_GE: *out = left >= right; return true;
  case ZOP_LT: *out = left < right; return true;
  case ZOP_GT: *out = left > right; return true;
  default: return false;
  }
}

// The position a new mark or a popped mark must keep: within the current function's values.
uint32_t pop_mark(zxl_context_t *c)
{
  if ( c->marks.empty() )
    interr(285);
  const uint32_t w = c->marks.back();
  if ( w < c->arg_base || w > c->stack.size() )
    interr(285);
  c->marks.pop_back();
  return w;
}

// Releases the values from position `from` up and shrinks the stack to it.
void drop_to(zxl_context_t *c, size_t from)
{
  while ( c->stack.size() > from )
  {
    zxl_value_release(c->stack.back());
    c->stack.pop_back();
  }
}

// Puts an owned value at stack position `index`, moving the values from there up by one place. Values are
// trivially copyable, so this is a push and a memmove, with no temporary buffer.
[[gnu::always_inline]] inline void insert_value(zxl_context_t *c, size_t index, const zxl_value_t value)
{
  c->stack.push_back(value);
  if ( index == c->stack.size() - 1 )
    return; // nothing above the place: a call without arguments
  zxl_value_t *d = c->stack.data();
  std::memmove(static_cast<void *>(d + index + 1), d + index, (c->stack.size() - 1 - index) * sizeof(zxl_value_t));
  d[index] = value;
}

// Pushes LONG v, or a short STRING of these bytes, built in the new slot itself: a value built aside with narrow
// stores and then copied in whole stalls store forwarding.
[[gnu::always_inline]] inline void push_long(zxl_context_t *c, int64_t v)
{
  if ( c->stack.size() == c->stack.capacity() )
    c->stack.reserve(c->stack.size() + 1);
  c->stack.emplace_back().i = v;
}
// Makes a slot LONG v in place, releasing what it held after the slot is settled.
[[gnu::always_inline]] inline void set_long(zxl_value_t *slot, int64_t v)
{
  if ( zxl_value_owns(*slot) )
  {
    zxl_value_replace(slot, zxl_long(v));
    return;
  }
  slot->kind = ZK_LONG;
  slot->str_len = 0;
  slot->spare = 0;
  slot->index = 0;
  slot->i = v;
}
void push_short_string(zxl_context_t *c, std::string_view bytes)
{
  zxl_short_string_into(&c->stack.emplace_back(), bytes);
}

// The LONG that a decoded short push (PUSH_SMALL, or PUSH_LOCAL_S or PUSH_ARG_S of a LONG variable below
// `depth`) pushes; false when the variable is no LONG or out of reach.
[[gnu::always_inline]] inline bool long_operand(uint8_t op, const zxl_value_t *data, size_t depth, uint32_t locals_base,
                                                uint32_t arg_base, int64_t *value)
{
  if ( op >= ZOP_PUSH_SMALL )
  {
    *value = op - ZOP_PUSH_SMALL;
    return true;
  }
  const size_t position = size_t(op < ZOP_PUSH_ARG_S ? locals_base : arg_base) + (op & 15u);
  if ( position >= depth || data[position].kind != ZK_LONG )
    return false;
  *value = data[position].i;
  return true;
}

// Pushes what the first `ran` instructions of "PUSH a; PUSH b; operator" leave: a run of them cancelled
// between two of its instructions leaves the stack as the single steps would.
void push_partial_operation(zxl_context_t *c, uint32_t ran, int64_t left, int64_t right, int64_t value)
{
  if ( ran == 3 )
  {
    push_long(c, value);
    return;
  }
  if ( ran >= 1 )
    push_long(c, left);
  if ( ran == 2 )
    push_long(c, right);
}

// For the member handlers: the top of the stack when it is a STRING name over an OBJECT and the function has
// at least `need` values; else null, and the general decoder takes the instruction.
zxl_value_t *name_over_object(zxl_context_t *c, size_t need)
{
  const size_t depth = c->stack.size();
  if ( depth < size_t(c->arg_base) + need )
    return nullptr;
  zxl_value_t *top = &c->stack[depth - 1];
  return top->kind == ZK_STRING && top[-1].kind == ZK_OBJECT ? top : nullptr;
}

// What a name taken off the stack holds until its instruction is done: a heap string's share (a short name
// owns nothing).
inline zxl_value_t held_name(const zxl_value_t &name)
{
  return name.str_len == ZXL_HEAP_STRING ? name : zxl_long(0);
}

// Pushes copies of defaults so that `count` arguments become `params`, when the defaults cover the gap.
void fill_defaults(zxl_context_t *c, size_t *count, size_t params, const qvector<zxl_value_t> &defaults)
{
  const size_t have = defaults.size();
  if ( *count >= params || have == 0 )
    return;
  const int64_t d = int64_t(have) + int64_t(*count) - int64_t(params);
  if ( d < 0 || d >= int64_t(have) )
    return;
  for ( size_t i = size_t(d); *count < params; ++i, ++*count )
    c->stack.push_back(zxl_value_share(defaults[i], 283));
}

// zxl_tables_generation, read through the context's engine.
inline uint64_t tables_generation(const zxl_context_t *c)
{
  return c->engine->tables_generation.load(std::memory_order_acquire);
}

// The function at index a, or null, looked up under the lock and remembered in the entry.
zxl_function_t *function_lookup(zxl_context_t *c, int32_t a, uint64_t generation,
                                zxl_lookup_cache_t::function_entry_t &entry)
{
  critical_section_guard_t guard(zxl_script_lock);
  const auto &functions = c->engine->functions;
  zxl_function_t *f = a >= 0 && size_t(a) < functions.size() ? functions[size_t(a)].get() : nullptr;
  if ( f != nullptr )
    entry = {generation, f, a};
  return f;
}

// The function at index a, or null; remembered in the context while the tables stay as they are.
[[gnu::always_inline]] inline zxl_function_t *function_record(zxl_context_t *c, int32_t a)
{
  const uint64_t generation = tables_generation(c);
  zxl_lookup_cache_t::function_entry_t &entry = c->lookups.functions[uint32_t(a) % std::size(c->lookups.functions)];
  if ( entry.generation == generation && entry.index == a )
    return entry.function;
  return function_lookup(c, a, generation, entry);
}

// Raises the activation count of a function that is not under compilation; false (count unchanged) when it is.
// A main-thread context raises its own count first and then reads the shared one, with nothing between them
// but a compiler barrier: a claim from another thread supplies the hardware barrier (zxl_function_t).
[[gnu::always_inline]] inline bool activate(const zxl_context_t *c, zxl_function_t *f)
{
  if ( c->counts_apart )
  {
    const int32_t mine = f->main_activation.load(std::memory_order_relaxed);
    f->main_activation.store(mine + 1, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if ( f->activation.load(std::memory_order_acquire) >= 0 )
      return true;
    f->main_activation.store(mine, std::memory_order_release);
    return false;
  }
  int32_t count = f->activation.load(std::memory_order_relaxed);
  do
  {
    if ( count == -1 )
      return false;
  } while ( !f->activation.compare_exchange_weak(count, count + 1, std::memory_order_acquire) );
  return true;
}

// The count a context's calls of f raise.
inline std::atomic<int32_t> &activation_of(const zxl_context_t *c, zxl_function_t *f)
{
  return c->counts_apart ? f->main_activation : f->activation;
}

// Lowers the activation count of a running function (false, unchanged, when it is not above 0).
[[gnu::always_inline]] inline bool deactivate(const zxl_context_t *c, zxl_function_t *f)
{
  std::atomic<int32_t> &count = activation_of(c, f);
  if ( c->counts_apart )
  {
    const int32_t mine = count.load(std::memory_order_relaxed);
    if ( mine <= 0 )
      return false;
    count.store(mine - 1, std::memory_order_release);
    return true;
  }
  int32_t shared = count.load(std::memory_order_relaxed);
  do
  {
    if ( shared <= 0 )
      return false;
  } while ( !count.compare_exchange_weak(shared, shared - 1, std::memory_order_release) );
  return true;
}

// Checks the call of f with the values from the newest mark up; 0 or an error code in the order a call fails.
// The body, parameters and defaults are settled: the caller holds an activation of f, or the script lock.
int check_call(zxl_context_t *c, zxl_function_t *f, int32_t a, uint32_t *mark)
{
  if ( f == nullptr || f->body.empty() )
  {
    const std::string name = f != nullptr && !f->name.view().empty() ? std::string(f->name.view())
                                                                      : "#" + std::to_string(a);
    return fail_text(88, name.c_str());
  }
  const uint32_t w = pop_mark(c);
  size_t count = c->stack.size() - w;
  const size_t params = size_t(std::max(f->param_count, 0));
  fill_defaults(c, &count, params, f->defaults);
  if ( count != params )
    return fail_text(56, f->name.c_str());
  if ( c->frames.size() >= ZXL_MAX_FRAMES )
    return fail(ZXL_TOO_DEEP);
  *mark = w;
  return 0;
}

// zxl_load_code, inline for the calls and returns of the interpreter.
[[gnu::always_inline]] inline void load_code(zxl_context_t *c)
{
  zxl_function_t *f = c->function;
  c->code = f != nullptr ? f->body.data() : nullptr;
  c->code_length = f != nullptr ? std::min<uint32_t>(f->code_length, uint32_t(f->body.size())) : 0;
  c->steps = f != nullptr ? zxl_function_steps(f) : nullptr;
}

// Enters compiled function a with the values from the newest mark up. 0 or an error code.
int enter_function(zxl_context_t *c, int32_t a)
{
  zxl_function_t *f = function_record(c, a);
  uint32_t w = 0;
  if ( f != nullptr && activate(c, f) )
  {
    // The common call: a body, a sound mark, exactly the parameters given and room for a frame. Anything
    // else goes through the full checks below, which fail it as they should.
    const size_t depth = c->stack.size();
    if ( !f->body.empty() && !c->marks.empty() && c->frames.size() < ZXL_MAX_FRAMES )
    {
      w = c->marks.back();
      if ( w >= c->arg_base && w <= depth && depth - w == size_t(std::max(f->param_count, 0)) )
      {
        c->marks.pop_back();
        goto enter;
      }
    }
    // Held, the function cannot be redefined under the call: no lock is needed to check it. A failed check
    // (an error code, or a thrown internal error or allocation failure) gives the activation back.
    struct held_t
    {
      const zxl_context_t *c;
      zxl_function_t *f;
      ~held_t()
      {
        if ( f != nullptr )
          (void)deactivate(c, f);
      }
    } held {c, f};
    if ( const int code = check_call(c, f, a, &w); code != 0 )
      return code;
    held.f = nullptr;
  }
  else
  {
    // Missing or under compilation: the checks under the lock give the error a call of it meets.
    critical_section_guard_t guard(zxl_script_lock);
    if ( const int code = check_call(c, f, a, &w); code != 0 )
      return code;
    if ( !activate(c, f) )
      return fail_text(40, f->name.c_str());
  }
enter:
  c->frames.push_back({c->function, c->pc, c->arg_base, c->locals_base});
  c->arg_base = w;
  c->locals_base = uint32_t(c->stack.size());
  c->function = f;
  c->pc = 0;
  load_code(c);
  return 0;
}

// Ends every frame of the context for a native that never returns: the active functions become idle again.
void abandon_frames(zxl_context_t *c)
{
  while ( !c->frames.empty() )
  {
    if ( c->function != nullptr )
      (void)deactivate(c, c->function);
    c->function = c->frames.back().function;
    c->frames.pop_back();
  }
  c->function = nullptr;
  zxl_load_code(c);
}

// Calls native n with the values from the newest mark up; the result is left in *scratch. 0 or an error code.
int call_native(zxl_context_t *c, int32_t n, zxl_value_t *scratch)
{
  c->wait_counter += 200;
  const zxl_native_t *native = nullptr;
  {
    critical_section_guard_t guard(zxl_script_lock);
    const auto &natives = c->engine->natives;
    if ( n > 0 && size_t(n) < natives.size() )
      native = natives[size_t(n)].get();
  }
  if ( native == nullptr || native->callback == nullptr )
    return fail(87);
  const std::string_view kinds = native->arg_kinds.view();
  size_t params = kinds.size();
  while ( params > 0 && uint8_t(kinds[params - 1]) == ZK_ANY )
    --params;
  const bool variadic = params != kinds.size();
  const uint32_t w = pop_mark(c);
  size_t count = c->stack.size() - w;
  fill_defaults(c, &count, params, native->defaults);
  zxl_value_clear(scratch);
  if ( variadic )
    *scratch = zxl_long(int64_t(count));
  else if ( count != params )
    return fail_text(56, native->name.c_str());
  if ( (native->flags & ZXL_NATIVE_ANY_THREAD) == 0 && !on_main_thread() )
    return fail_text(143, native->name.c_str());
  if ( const int code = zxl_check_native_args(c->stack.data() + w, count, native->arg_kinds); code != 0 )
    return code;
  if ( (native->flags & ZXL_NATIVE_NO_RETURN) != 0 )
  {
    qvector<zxl_value_t> args;
    for ( size_t i = w; i < c->stack.size(); ++i )
      args.push_back(std::exchange(c->stack[i], zxl_long(0)));
    abandon_frames(c);
    zxl_values_release(&c->stack);
    c->marks.release();
    c->magic = 0;
    zxl_value_t result = zxl_long(0);
    native->callback(args.data(), &result);
    zxl_value_clear(&result);
    zxl_values_release(&args);
    interr(291);
  }
  if ( const int code = native->callback(c->stack.data() + w, scratch); code != 0 )
    return fail(code);
  drop_to(c, w);
  qerrno_set(0);
  return 0;
}

// Calls index a (compiled from 0 up, native -a when negative). A native's result is left in *scratch and
// *native_done is set.
[[gnu::always_inline]] inline int call_index(zxl_context_t *c, int32_t a, zxl_value_t *scratch, bool *native_done)
{
  c->operand = uint32_t(a);
  if ( a >= 0 )
    return enter_function(c, a);
  *native_done = true;
  return call_native(c, a == INT32_MIN ? 0 : -a, scratch);
}

// A getattr or setattr method of the class or its parents, class 0 excepted; -1 when none.
int32_t class_hook(zxl_context_t *c, int32_t class_index, bool setter)
{
  const uint64_t generation = tables_generation(c);
  zxl_lookup_cache_t::hook_entry_t &entry = c->lookups.hooks[uint32_t(class_index) % std::size(c->lookups.hooks)];
  if ( entry.generation != generation || entry.class_index != class_index )
  {
    zxl_lookup_cache_t::hook_entry_t found {generation, class_index, -1, -1};
    critical_section_guard_t guard(zxl_script_lock);
    for ( int32_t k = class_index; k > 0 && k < zxl_class_count(); )
    {
      const zxl_class_t *cls = zxl_class_at(k);
      if ( found.getter < 0 )
        found.getter = cls->getattr_method;
      if ( found.setter < 0 )
        found.setter = cls->setattr_method;
      if ( cls->parent >= k )
        break;
      k = cls->parent;
    }
    entry = found;
  }
  return setter ? entry.setter : entry.getter;
}

// The method of that name found from the class up (zxl_find_method), remembered for short names.
int32_t class_method(zxl_context_t *c, int32_t class_index, std::string_view name)
{
  if ( name.size() > ZXL_SHORT_STRING_MAX )
  {
    critical_section_guard_t guard(zxl_script_lock);
    return zxl_find_method(zxl_class_at(class_index), std::string(name).c_str());
  }
  uint32_t hash = uint32_t(class_index) * 0x9E3779B1u;
  for ( const char ch : name )
    hash = (hash ^ uint8_t(ch)) * 0x01000193u;
  const uint64_t generation = tables_generation(c);
  zxl_lookup_cache_t::method_entry_t &entry = c->lookups.methods[(hash >> 16) % std::size(c->lookups.methods)];
  if ( entry.generation == generation && entry.class_index == class_index && entry.length == name.size() &&
       std::memcmp(entry.name, name.data(), name.size()) == 0 )
    return entry.method;
  int32_t method;
  {
    critical_section_guard_t guard(zxl_script_lock);
    method = zxl_find_method(zxl_class_at(class_index), std::string(name).c_str());
  }
  entry.generation = generation;
  entry.class_index = class_index;
  entry.method = method;
  entry.length = uint8_t(name.size());
  std::memcpy(entry.name, name.data(), name.size());
  return method;
}

// What `find` answers for a member step on an object of the class (a method, a hook), remembered per step.
template <typename find_t>
[[gnu::always_inline]] inline int32_t site_lookup(zxl_context_t *c, const zxl_step_t *site, int32_t class_index,
                                                  find_t find)
{
  const uint64_t generation = tables_generation(c);
  const size_t slot = (reinterpret_cast<uintptr_t>(site) / sizeof(zxl_step_t)) % std::size(c->lookups.sites);
  zxl_lookup_cache_t::site_entry_t &entry = c->lookups.sites[slot];
  if ( entry.site == site && entry.generation == generation && entry.class_index == class_index )
    return entry.found;
  const int32_t found = find();
  entry = {generation, site, class_index, found};
  return found;
}

std::string class_name(int32_t class_index)
{
  critical_section_guard_t guard(zxl_script_lock);
  return std::string(zxl_class_at(class_index)->name.view());
}

// Runs a getattr (value null) or setattr method in the context with (object, name[, value]). On failure the
// top of the stack is an exception.
bool nested_method_run(zxl_context_t *c, int32_t index, zxl_object_t *object, std::string_view name,
                       const zxl_value_t *value, zxl_value_t *result)
{
  if ( zxl_function_at(index) == nullptr )
  {
    fail_text(88, "?");
    zxl_raise_current(c);
    return false;
  }
  if ( c->stack.size() + 3 > ZXL_MAX_VALUES || c->marks.size() >= ZXL_MAX_MARKS )
  {
    fail(ZXL_TOO_DEEP);
    zxl_raise_current(c);
    return false;
  }
  c->marks.push_back(uint32_t(c->stack.size()));
  c->stack.push_back(zxl_object_value(object));
  c->stack.push_back(zxl_string(name));
  if ( value != nullptr )
    c->stack.push_back(zxl_value_share(*value, 283));
  return zxl_run_protected(c, result, nullptr, index);
}

// The slot of LOCAL n, ARG n (inside the stack, else internal error 286 / 287).
zxl_value_t *local_slot(zxl_context_t *c, uint32_t n)
{
  const uint64_t pos = uint64_t(c->locals_base) + n;
  if ( pos >= c->stack.size() )
    interr(286);
  return &c->stack[size_t(pos)];
}

zxl_value_t *arg_slot(zxl_context_t *c, uint32_t n)
{
  const uint64_t pos = uint64_t(c->arg_base) + n;
  if ( pos >= c->stack.size() )
    interr(287);
  return &c->stack[size_t(pos)];
}

// Adds or subtracts 1 in place after following REFs. 0 or an error code.
int step_value(zxl_value_t *slot, bool decrement)
{
  if ( slot->kind == ZK_LONG || slot->kind == ZK_INT64 )
  {
    slot->i = int64_t(uint64_t(slot->i) + (decrement ? ~uint64_t(0) : 1));
    return 0;
  }
  zxl_value_t *v = zxl_value_deref(slot, 0);
  if ( v == nullptr )
    return qerrno_get();
  switch ( v->kind )
  {
  case ZK_LONG:
  case ZK_INT64:
    v->i = int64_t(uint64_t(v->i) + (decrement ? ~uint64_t(0) : 1));
    return 0;
  case ZK_FLOAT:
  {
    xfloat_t one;
    int64_to_xfloat(1, &one);
    const int status = xfloat_add(v->f, one, &v->f, decrement);
    return status == XFLOAT_OK ? 0 : fail(zxl_status_error(status));
  }
  default:
    return fail(61);
  }
}

// Moves the top into the slot (through a REF in it, one level) and drops the top.
int pop_into(zxl_context_t *c, zxl_value_t *slot)
{
  zxl_value_t *top = &c->stack.back();
  // The common case, a plain variable: the value moves without the REF rules.
  if ( slot->kind != ZK_REF && slot != top && zxl_kind_valid(top->kind) )
  {
    const zxl_value_t taken = *top;
    c->stack.pop_back();
    zxl_value_replace(slot, taken);
    return 0;
  }
  int code = 0;
  if ( slot != top )
    code = zxl_value_move(slot, top);
  zxl_value_release(c->stack.back());
  c->stack.pop_back();
  return code;
}

// zxl_return, inlined into the interpreter's RET: a return is as common as a call.
[[gnu::always_inline]] inline int return_from(zxl_context_t *c)
{
  zxl_function_t *f = c->function;
  if ( f == nullptr )
    interr(487);
  const size_t base = c->arg_base;
  const size_t depth = c->stack.size();
  if ( depth < base + 1 || c->frames.empty() )
    interr(285);
  // The result is settled before anything changes, so a failed return leaves the frame as it was. Its kind
  // is read in place: a whole-value copy read back by field stalls store forwarding on this hot path.
  const zxl_value_t &top = c->stack.back();
  bool followed = false;
  zxl_value_t result;
  if ( depth != base + 1 && top.kind == ZK_REF && top.ref.owner == c && top.index >= 0 &&
       size_t(top.index) >= base )
  {
    result = top;
    const zxl_value_t *target = zxl_value_deref(&result, 0);
    if ( target == nullptr )
      return qerrno_get();
    result = zxl_value_share(*target, 283);
    followed = true;
  }
  if ( !deactivate(c, f) )
  {
    if ( followed )
      zxl_value_release(result);
    interr(487);
  }
  if ( depth != base + 1 )
  {
    if ( followed )
      zxl_value_release(c->stack.back());
    else
      result = c->stack.back();
    c->stack.pop_back();
    drop_to(c, base);
    c->stack.push_back(result);
  }
  while ( !c->marks.empty() && c->marks.back() >= base + 1 )
    c->marks.pop_back();
  const zxl_frame_t &frame = c->frames.back();
  c->locals_base = frame.locals_base;
  c->arg_base = frame.arg_base;
  c->pc = frame.pc;
  c->function = frame.function;
  c->frames.pop_back();
  load_code(c);
  return 0;
}

} // namespace

void zxl_load_code(zxl_context_t *c)
{
  load_code(c);
}

bool *&zxl_active_cancel()
{
  thread_local bool *active = nullptr;
  return active;
}

void zxl_context_init(zxl_context_t *context, const zxl_resolver_pair_t &resolver, bool no_ui)
{
  zxl_context_t *c = context;
  c->main_thread = on_main_thread();
  c->counts_apart = c->main_thread && zxl_main_thread_counts();
  if ( !c->main_thread )
    no_ui = true;
  c->magic = ZXL_CONTEXT_MAGIC;
  c->engine = zxl_get_engine();
  zxl_values_release(&c->stack);
  c->frames.clear();
  c->marks.clear();
  c->arg_base = c->locals_base = 0;
  c->function = nullptr;
  c->pc = 0;
  c->operand = 0;
  zxl_load_code(c);
  c->resolver = resolver;
  c->no_ui = no_ui ? 1 : 0;
  c->polls = !no_ui;
  c->own_cancel = false;
  c->cancelled = &c->own_cancel;
  c->wait_counter = 0;
  if ( no_ui )
  {
    c->engine->run_start = -1;
    return;
  }
  c->engine->run_start = now_seconds();
  if ( ui_callback != nullptr )
    ui_callback(uicb_script_started);
}

void zxl_context_free(zxl_context_t *context)
{
  context->magic = 0;
  context->code = nullptr;
  context->code_length = 0;
  context->steps = nullptr;
  context->resolver = zxl_resolver_pair_t();
  context->marks.release();
  context->frames.release();
  zxl_values_release(&context->stack);
}

int zxl_check_native_args(zxl_value_t *args, size_t count, const qstring &kinds)
{
  const std::string_view k = kinds.view();
  size_t next = 0;
  for ( size_t i = 0; i < count; ++i )
  {
    uint8_t code;
    if ( next < k.size() )
      code = uint8_t(k[next++]);
    else if ( !k.empty() && uint8_t(k.back()) == ZK_ANY )
      code = ZK_ANY;
    else
      return fail(56);
    if ( code < 2 || code > 10 )
      interr(289);
    zxl_value_t *arg = &args[i];
    if ( arg->kind == code || code == ZK_ANY )
      continue;
    int result = 0;
    switch ( code )
    {
    case ZK_LONG:
      result = zxl_to_long(arg);
      break;
    case ZK_FLOAT:
      result = zxl_to_float(arg);
      break;
    case ZK_STRING:
      result = zxl_to_string(arg);
      break;
    case ZK_INT64:
      result = zxl_to_int64(arg);
      break;
    case ZK_FUNC:
      result = fail(1554);
      break;
    case ZK_REF:
      if ( !(arg->kind == ZK_LONG && arg->i == 0) )
        result = fail(1566);
      break;
    default:
      result = fail(1532);
      break;
    }
    if ( result != 0 )
      return result;
  }
  for ( ; next < k.size(); ++next )
    if ( uint8_t(k[next]) != ZK_ANY )
      return fail(56);
  return 0;
}

int zxl_return(zxl_context_t *c)
{
  return return_from(c);
}

bool zxl_run_function(zxl_context_t *context, const char *name, int32_t index, int32_t argc,
                      const zxl_value_t *args, zxl_value_t *result, qstring *error)
{
  zxl_context_t *c = context;
  c->marks.push_back(uint32_t(c->stack.size()));
  for ( int32_t i = 0; i < argc; ++i )
    c->stack.push_back(zxl_value_share(args[i], 283));
  const bool ok = zxl_run_protected(c, result, name, index);
  if ( !ok && !c->stack.empty() )
  {
    const int32_t code = qerrno_get();
    if ( error != nullptr )
      zxl_runtime_error_text(c->stack.back(), error);
    if ( result != nullptr )
      (void)pop_into(c, result);
    else
      drop_to(c, c->stack.size() - 1);
    qerrno_set(code);
  }
  if ( c->engine->wait_box_shown != 0 )
  {
    ui_message(msg_kind_wait_hide, "");
    c->engine->wait_box_shown = 0;
  }
  return ok;
}

bool zxl_call_by_name(zxl_value_t *result, const char *name, const zxl_value_t *args, int32_t argc,
                      qstring *error, const zxl_resolver_pair_t &resolver)
{
  zxl_context_t context;
  zxl_context_init(&context, resolver, false);
  const bool ok = zxl_run_function(&context, name, 0, argc, args, result, error);
  zxl_context_free(&context);
  return ok;
}

namespace
{

// What the loop does after the general decoder: go on with the next instruction, fail the current one
// (an exception is made from the error state) or search for a handler of the exception on the top.
enum class general_next_t
{
  next,
  failure,
  search,
};

// Reads an operand of `size` bytes at pc, checked against the code length, and advances pc.
#define ZXL_OPERAND(type)                                                                                      \
  ([&]() -> type {                                                                                             \
    if ( uint64_t(c->pc) + sizeof(type) > c->code_length )                                                     \
      interr(276);                                                                                             \
    type value_;                                                                                               \
    std::memcpy(&value_, c->code + c->pc, sizeof(type));                                                       \
    c->pc += uint32_t(sizeof(type));                                                                           \
    return value_;                                                                                             \
  }())
// Fails the instruction unless the current function has at least n values.
#define ZXL_NEED(n, number)                                                                                    \
  do                                                                                                           \
  {                                                                                                            \
    if ( c->stack.size() < size_t(c->arg_base) + (n) )                                                         \
      interr(number);                                                                                          \
  } while ( 0 )
// Pushes an owned value, or releases it and fails when the value stack is full.
#define ZXL_PUSH(value)                                                                                        \
  do                                                                                                           \
  {                                                                                                            \
    const zxl_value_t pushed_ = (value);                                                                       \
    if ( c->stack.size() >= ZXL_MAX_VALUES )                                                                   \
    {                                                                                                          \
      zxl_value_release(pushed_);                                                                              \
      fail(ZXL_TOO_DEEP);                                                                                      \
      goto failure;                                                                                            \
    }                                                                                                          \
    c->stack.push_back(pushed_);                                                                               \
  } while ( 0 )
// Pushes a LONG, or fails when the value stack is full.
#define ZXL_PUSH_LONG(value)                                                                                   \
  do                                                                                                           \
  {                                                                                                            \
    const int64_t pushed_ = (value);                                                                           \
    if ( c->stack.size() >= ZXL_MAX_VALUES )                                                                   \
    {                                                                                                          \
      fail(ZXL_TOO_DEEP);                                                                                      \
      goto failure;                                                                                            \
    }                                                                                                          \
    push_long(c, pushed_);                                                                                     \
  } while ( 0 )
#define ZXL_CHECK(expression)                                                                                  \
  do                                                                                                           \
  {                                                                                                            \
    if ( (expression) != 0 )                                                                                   \
      goto failure;                                                                                            \
  } while ( 0 )

// The general decoder: runs the instruction `op` (pc is past its opcode) by the full rules. Every instruction
// the fast handlers of the loop do not complete comes here; kept out of the loop, so that the loop's own
// registers are not spent on it.
[[gnu::noinline]] general_next_t general_instruction(zxl_context_t *c, uint8_t op, zxl_value_t *scratch)
{
  do
  {
    uint32_t n = 0;
    enum family_t
    {
      F_NONE,
      F_CALL_NATIVE,
      F_CALL_FUNC,
      F_POP_LOCAL,
      F_POP_ARG,
      F_STORE_LOCAL,
      F_STORE_ARG,
      F_PUSH_LOCAL,
      F_PUSH_ARG,
      F_PUSH_GLOBAL,
      F_POP_GLOBAL,
      F_STORE_GLOBAL,
      F_INC_LOCAL,
      F_INC_ARG,
      F_DEC_LOCAL,
      F_DEC_ARG,
      F_INC_GLOBAL,
      F_DEC_GLOBAL,
    } family = F_NONE;
    static constexpr family_t b_families[8] = {F_CALL_NATIVE, F_CALL_FUNC,   F_POP_LOCAL,  F_POP_ARG,
                                               F_STORE_LOCAL, F_STORE_ARG, F_PUSH_LOCAL, F_PUSH_ARG};
    if ( op < 128 )
    {
      family = b_families[op >> 4];
      n = op & 15;
    }
    else if ( op < 144 )
    {
      family = b_families[(op - 128) >> 1];
      n = (op & 1) != 0 ? ZXL_OPERAND(uint16_t) : ZXL_OPERAND(uint8_t);
    }
    else if ( op >= ZOP_INC_LOCAL_B && op <= ZOP_DEC_ARG_W )
    {
      static constexpr family_t families[4] = {F_INC_LOCAL, F_INC_ARG, F_DEC_LOCAL, F_DEC_ARG};
      family = families[(op - ZOP_INC_LOCAL_B) >> 1];
      n = (op & 1) == 0 ? ZXL_OPERAND(uint8_t) : ZXL_OPERAND(uint16_t);
    }
    else if ( op >= ZOP_PUSH_GLOBAL_B && op <= ZOP_DEC_GLOBAL_W )
    {
      static constexpr family_t families[5] = {F_PUSH_GLOBAL, F_POP_GLOBAL, F_STORE_GLOBAL, F_INC_GLOBAL,
                                               F_DEC_GLOBAL};
      family = families[(op - ZOP_PUSH_GLOBAL_B) >> 1];
      n = (op & 1) != 0 ? ZXL_OPERAND(uint8_t) : ZXL_OPERAND(uint16_t);
    }

    if ( family != F_NONE )
    {
      c->operand = n;
      switch ( family )
      {
      case F_CALL_NATIVE:
      case F_CALL_FUNC:
      {
        bool native_done = false;
        if ( family == F_CALL_NATIVE )
        {
          native_done = true;
          c->operand = n;
          ZXL_CHECK(call_native(c, int32_t(n), &*scratch));
        }
        else
        {
          ZXL_CHECK(call_index(c, int32_t(n), &*scratch, &native_done));
        }
        if ( native_done )
          ZXL_PUSH(std::exchange(*scratch, zxl_long(0)));
        continue;
      }
      case F_POP_LOCAL:
        ZXL_NEED(1, 285);
        ZXL_CHECK(pop_into(c, local_slot(c, n)));
        continue;
      case F_POP_ARG:
        ZXL_NEED(1, 285);
        ZXL_CHECK(pop_into(c, arg_slot(c, n)));
        continue;
      case F_STORE_LOCAL:
        ZXL_NEED(1, 285);
        ZXL_CHECK(zxl_value_copy(local_slot(c, n), &c->stack.back()));
        continue;
      case F_STORE_ARG:
        ZXL_NEED(1, 285);
        ZXL_CHECK(zxl_value_copy(arg_slot(c, n), &c->stack.back()));
        continue;
      case F_PUSH_LOCAL:
      case F_PUSH_ARG:
      {
        zxl_value_t *slot = family == F_PUSH_LOCAL ? local_slot(c, n) : arg_slot(c, n);
        const zxl_value_t *v = zxl_value_deref(slot, 0);
        if ( v == nullptr )
          goto failure;
        ZXL_PUSH(zxl_value_share(*v, 283));
        continue;
      }
      case F_INC_LOCAL:
      case F_DEC_LOCAL:
        ZXL_CHECK(step_value(local_slot(c, n), family == F_DEC_LOCAL));
        continue;
      case F_INC_ARG:
      case F_DEC_ARG:
        ZXL_CHECK(step_value(arg_slot(c, n), family == F_DEC_ARG));
        continue;
      default:
      {
        zxl_value_t value;
        int code = 0;
        {
          critical_section_guard_t guard(zxl_script_lock);
          zxl_value_t *slot = &zxl_global_at(int32_t(n))->value;
          switch ( family )
          {
          case F_PUSH_GLOBAL:
          {
            const zxl_value_t *v = zxl_value_deref(slot, 0);
            if ( v == nullptr )
              code = qerrno_get();
            else
              value = zxl_value_share(*v, 283);
            break;
          }
          case F_POP_GLOBAL:
            ZXL_NEED(1, 285);
            code = pop_into(c, slot);
            break;
          case F_STORE_GLOBAL:
            ZXL_NEED(1, 285);
            code = zxl_value_copy(slot, &c->stack.back());
            break;
          default:
            code = step_value(slot, family == F_DEC_GLOBAL);
            break;
          }
        }
        ZXL_CHECK(code);
        if ( family == F_PUSH_GLOBAL )
          ZXL_PUSH(value);
        continue;
      }
      }
    }

    if ( op >= ZOP_PUSH_SMALL && op < ZOP_PUSH_SMALL + 16 )
    {
      ZXL_PUSH_LONG(op - ZOP_PUSH_SMALL);
      continue;
    }

    switch ( op )
    {
    case ZOP_PUSH_INT8:
      ZXL_PUSH_LONG(ZXL_OPERAND(int8_t));
      continue;
    case ZOP_PUSH_INT16:
      ZXL_PUSH_LONG(ZXL_OPERAND(int16_t));
      continue;
    case ZOP_PUSH_INT32:
      ZXL_PUSH_LONG(ZXL_OPERAND(int32_t));
      continue;
    case ZOP_PUSH_INT64:
      // The host word is 8 bytes, so the constant is a LONG.
      ZXL_PUSH_LONG(ZXL_OPERAND(int64_t));
      continue;
    case ZOP_PUSH_FLOAT:
      ZXL_PUSH(zxl_float(ZXL_OPERAND(xfloat_t)));
      continue;
    case ZOP_PUSH_STR:
    {
      const uint32_t length = ZXL_OPERAND(uint32_t);
      if ( uint64_t(c->pc) + length > c->code_length )
        interr(276);
      const std::string_view bytes(reinterpret_cast<const char *>(c->code + c->pc), length);
      c->pc += length;
      if ( length > ZXL_SHORT_STRING_MAX )
      {
        ZXL_PUSH(zxl_string(bytes));
        continue;
      }
      if ( c->stack.size() >= ZXL_MAX_VALUES )
      {
        fail(ZXL_TOO_DEEP);
        goto failure;
      }
      push_short_string(c, bytes);
      continue;
    }
    case ZOP_DROP_B:
    case ZOP_DROP_W:
    {
      const uint32_t count = op == ZOP_DROP_B ? ZXL_OPERAND(uint8_t) : ZXL_OPERAND(uint16_t);
      ZXL_NEED(count, 285);
      drop_to(c, c->stack.size() - count);
      continue;
    }
    case ZOP_RESERVE:
    {
      const uint16_t count = ZXL_OPERAND(uint16_t);
      if ( c->stack.size() + count > ZXL_MAX_VALUES )
      {
        fail(ZXL_TOO_DEEP);
        goto failure;
      }
      c->stack.resize(c->stack.size() + count, zxl_long(0));
      continue;
    }
    case ZOP_NOP:
      continue;
    case ZOP_DUP:
    {
      ZXL_NEED(1, 285);
      const zxl_value_t *v = zxl_value_deref(&c->stack.back(), 0);
      if ( v == nullptr )
        goto failure;
      ZXL_PUSH(zxl_value_share(*v, 283));
      continue;
    }
    case ZOP_REF_ARG:
    case ZOP_REF_LOCAL:
    case ZOP_REF_GLOBAL:
    {
      ZXL_NEED(1, 285);
      zxl_value_t *top = &c->stack.back();
      ZXL_CHECK(zxl_to_long(top));
      const int64_t k = top->i;
      zxl_value_t ref;
      if ( op == ZOP_REF_GLOBAL )
      {
        critical_section_guard_t guard(zxl_script_lock);
        if ( k < 0 || k >= zxl_global_count() )
          interr(294);
        const zxl_value_t &target = zxl_global_at(int32_t(k))->value;
        ref = target.kind == ZK_REF ? target : zxl_global_ref(int32_t(k));
      }
      else
      {
        const int64_t pos = int64_t(op == ZOP_REF_ARG ? c->arg_base : c->locals_base) + k;
        if ( k < 0 || pos >= int64_t(c->stack.size()) )
          interr(292);
        const zxl_value_t &target = c->stack[size_t(pos)];
        ref = target.kind == ZK_REF ? target : zxl_slot_ref(c, int32_t(pos));
      }
      c->stack.back() = ref;
      continue;
    }
    case ZOP_JMP:
    case ZOP_JMP_TRUE:
    case ZOP_JMP_FALSE:
    {
      const int32_t offset = ZXL_OPERAND(int32_t);
      bool jump = true;
      if ( op != ZOP_JMP )
      {
        ZXL_NEED(1, 285);
        zxl_value_t *top = &c->stack.back();
        if ( top->kind != ZK_LONG && !zxl_truth(top) )
          goto failure;
        jump = (top->i != 0) == (op == ZOP_JMP_TRUE);
        drop_to(c, c->stack.size() - 1);
      }
      if ( jump )
      {
        const int64_t target = int64_t(c->pc) + offset;
        if ( target < 0 || target >= int64_t(c->code_length) )
          interr(276);
        c->pc = uint32_t(target);
      }
      continue;
    }
    case ZOP_THROW:
      ZXL_NEED(1, 285);
      qerrno_set(ZXL_THROWN);
      zxl_add_position(c, &c->stack.back());
      goto search;
    case ZOP_CALL_VALUE:
    {
      ZXL_NEED(1, 285);
      zxl_value_t *top = &c->stack.back();
      if ( zxl_value_deref(top, ZXL_DEREF_REPLACE) == nullptr )
        goto failure;
      if ( top->kind != ZK_FUNC )
      {
        fail(1541);
        goto failure;
      }
      const int32_t target = top->func;
      drop_to(c, c->stack.size() - 1);
      bool native_done = false;
      ZXL_CHECK(call_index(c, target, &*scratch, &native_done));
      if ( native_done )
        ZXL_PUSH(std::exchange(*scratch, zxl_long(0)));
      continue;
    }
    case ZOP_FUNC_REF:
    {
      ZXL_NEED(1, 285);
      zxl_value_t *top = &c->stack.back();
      ZXL_CHECK(zxl_to_string(top));
      const std::string text(zxl_string_view(*top));
      int32_t found;
      {
        critical_section_guard_t guard(zxl_script_lock);
        found = zxl_function_index(text.c_str());
      }
      if ( found != ZXL_NO_FUNCTION )
      {
        zxl_value_replace(&c->stack.back(), zxl_func(found));
        continue;
      }
      const int64_t answer = c->resolver.resolver != nullptr ? c->resolver.resolver->resolve(text.c_str()) : -1;
      if ( answer == -1 )
      {
        fail_text(88, text.c_str());
        goto failure;
      }
      zxl_value_replace(&c->stack.back(), zxl_long(answer));
      continue;
    }
    case ZOP_NEW:
    {
      const uint16_t class_index = ZXL_OPERAND(uint16_t);
      c->operand = class_index;
      zxl_object_t *object = zxl_object_new(class_index);
      if ( object->class_index != class_index )
      {
        zxl_object_release(object);
        set_error_arg_number(0, class_index);
        fail(1535);
        goto failure;
      }
      int32_t constructor = -1;
      {
        critical_section_guard_t guard(zxl_script_lock);
        constructor = zxl_find_constructor(zxl_class_at(class_index));
      }
      zxl_value_t held;
      held.kind = ZK_OBJECT;
      held.object = object;
      if ( c->marks.empty() || c->marks.back() < c->arg_base || c->marks.back() > c->stack.size() )
      {
        zxl_value_release(held);
        interr(285);
      }
      insert_value(c, c->marks.back(), held);
      if ( constructor >= 0 )
      {
        bool native_done = false;
        ZXL_CHECK(call_index(c, constructor, &*scratch, &native_done));
        if ( native_done )
          ZXL_PUSH(std::exchange(*scratch, zxl_long(0)));
        continue;
      }
      if ( c->stack.size() - pop_mark(c) != 1 )
      {
        fail(56);
        goto failure;
      }
      continue;
    }
    case ZOP_CLONE:
      ZXL_NEED(1, 285);
      zxl_object_clone(&c->stack.back());
      continue;
    case ZOP_GET_ATTR:
    case ZOP_SET_ATTR:
    case ZOP_SET_ATTR_POP:
    case ZOP_INC_ATTR:
    case ZOP_DEC_ATTR:
    case ZOP_CALL_METHOD:
    {
      const bool setting = op == ZOP_SET_ATTR || op == ZOP_SET_ATTR_POP;
      ZXL_NEED(setting ? 3 : 2, 285);
      // A failure in these (but CALL_METHOD) turns the top into the exception and searches at once.
      const bool raise_on_top = op != ZOP_CALL_METHOD;
      if ( zxl_to_string(&c->stack.back()) != 0 )
      {
        if ( !raise_on_top )
          goto failure;
        zxl_raise_current(c);
        goto search;
      }
      // The name leaves the stack but lives, unchanged, until the instruction is done.
      struct held_name_t
      {
        zxl_value_t v;
        ~held_name_t() { zxl_value_release(v); }
      } name {c->stack.back()};
      c->stack.pop_back();
      const std::string_view member = zxl_string_view(name.v);
      if ( c->stack.back().kind != ZK_OBJECT )
      {
        fail(1532);
        if ( !raise_on_top )
          goto failure;
        zxl_raise_current(c);
        goto search;
      }
      zxl_object_t *object = c->stack.back().object;
      const int32_t class_index = object->class_index;
      if ( op == ZOP_GET_ATTR )
      {
        if ( const zxl_value_t *attr = zxl_find_attr(object, member) )
        {
          zxl_value_replace(&c->stack.back(), zxl_value_share(*attr, 283));
          continue;
        }
        const int32_t hook = class_hook(c, class_index, false);
        if ( hook < 0 )
        {
          fail_text(1538, (class_name(class_index) + "." + std::string(member)).c_str());
          zxl_raise_current(c);
          goto search;
        }
        zxl_value_t value = zxl_long(0);
        if ( !nested_method_run(c, hook, object, member, nullptr, &value) )
        {
          zxl_value_clear(&value);
          goto search;
        }
        // The nested run leaves the object where it was: the value replaces it.
        zxl_value_replace(&c->stack.back(), value);
        continue;
      }
      if ( setting )
      {
        // The object leaves the stack but stays alive until the write is done.
        zxl_value_t held = c->stack.back();
        c->stack.pop_back();
        struct release_t
        {
          zxl_value_t v;
          ~release_t() { zxl_value_release(v); }
        } hold {held};
        const int32_t hook = class_hook(c, class_index, true);
        if ( hook >= 0 )
        {
          const zxl_value_t value = zxl_value_share(c->stack.back(), 283);
          const bool ok = nested_method_run(c, hook, object, member, &value, nullptr);
          zxl_value_release(value);
          if ( !ok )
            goto search;
        }
        else if ( zxl_value_copy(zxl_attr_slot(object, member), &c->stack.back()) != 0 )
        {
          zxl_raise_current(c);
          goto search;
        }
        if ( op == ZOP_SET_ATTR_POP )
          drop_to(c, c->stack.size() - 1);
        continue;
      }
      if ( op == ZOP_INC_ATTR || op == ZOP_DEC_ATTR )
      {
        zxl_value_t *attr = zxl_find_attr(object, member);
        if ( attr == nullptr )
        {
          if ( class_hook(c, class_index, false) >= 0 )
            fail(1534);
          else
            fail_text(1538, (class_name(class_index) + "." + std::string(member)).c_str());
          zxl_raise_current(c);
          goto search;
        }
        const zxl_value_t *current = zxl_value_deref(attr, 0);
        if ( current == nullptr )
        {
          zxl_raise_current(c);
          goto search;
        }
        const zxl_value_t old = zxl_value_share(*current, 283);
        if ( step_value(attr, op == ZOP_DEC_ATTR) != 0 )
        {
          zxl_value_release(old);
          zxl_raise_current(c);
          goto search;
        }
        zxl_value_replace(&c->stack.back(), old);
        continue;
      }
      // CALL_METHOD
      const int32_t method = class_method(c, class_index, member);
      if ( method >= 0 )
      {
        if ( c->marks.empty() || c->marks.back() < c->arg_base || c->marks.back() >= c->stack.size() )
          interr(285);
        const zxl_value_t held = c->stack.back();
        c->stack.pop_back();
        insert_value(c, c->marks.back(), held);
        bool native_done = false;
        ZXL_CHECK(call_index(c, method, &*scratch, &native_done));
        if ( native_done )
          ZXL_PUSH(std::exchange(*scratch, zxl_long(0)));
        continue;
      }
      zxl_value_t callee = zxl_long(0);
      if ( const zxl_value_t *attr = zxl_find_attr(object, member) )
      {
        callee = zxl_value_share(*attr, 283);
      }
      else
      {
        const int32_t hook = class_hook(c, class_index, false);
        if ( hook < 0 )
        {
          fail_text(88, (class_name(class_index) + "." + std::string(member)).c_str());
          goto failure;
        }
        if ( !nested_method_run(c, hook, object, member, nullptr, &callee) )
        {
          zxl_value_clear(&callee);
          goto search;
        }
      }
      const zxl_value_t *target = zxl_value_deref(&callee, 0);
      const int32_t kind = target != nullptr ? target->kind : -1;
      const int32_t function = kind == ZK_FUNC ? target->func : 0;
      zxl_value_clear(&callee);
      if ( kind != ZK_FUNC )
      {
        if ( kind != -1 )
          fail(1541);
        goto failure;
      }
      drop_to(c, c->stack.size() - 1);
      bool native_done = false;
      ZXL_CHECK(call_index(c, function, &*scratch, &native_done));
      if ( native_done )
        ZXL_PUSH(std::exchange(*scratch, zxl_long(0)));
      continue;
    }
    case ZOP_GET_ITEM:
    case ZOP_GET_SLICE:
    {
      const bool item = op == ZOP_GET_ITEM;
      const size_t taken = item ? 2 : 3;
      ZXL_NEED(taken, item ? 297 : 295);
      const size_t x = c->stack.size() - taken;
      ZXL_CHECK(zxl_to_long(&c->stack[x + 1]));
      if ( !item )
        ZXL_CHECK(zxl_to_long(&c->stack[x + 2]));
      const int64_t i = c->stack[x + 1].i;
      const int64_t j = item ? i : c->stack[x + 2].i;
      zxl_value_t value = zxl_long(0);
      if ( zxl_get_range(&value, &c->stack[x], i, j, item) != 0 )
      {
        zxl_value_clear(&value);
        goto failure;
      }
      drop_to(c, x + 1);
      zxl_value_replace(&c->stack[x], value);
      continue;
    }
    case ZOP_SET_ITEM:
    case ZOP_SET_SLICE:
    {
      const bool item = op == ZOP_SET_ITEM;
      const size_t taken = item ? 3 : 4;
      ZXL_NEED(taken, item ? 298 : 296);
      const size_t v = c->stack.size() - taken;
      ZXL_CHECK(zxl_to_long(&c->stack[v + 2]));
      if ( !item )
        ZXL_CHECK(zxl_to_long(&c->stack[v + 3]));
      const int64_t i = c->stack[v + 2].i;
      const int64_t j = item ? i : c->stack[v + 3].i;
      ZXL_CHECK(zxl_set_range(&c->stack[v + 1], i, j, &c->stack[v], item));
      const zxl_value_t *written = zxl_value_deref(&c->stack[v + 1], 0);
      if ( written == nullptr )
        goto failure;
      const zxl_value_t value = zxl_value_share(*written, 283);
      drop_to(c, v + 1);
      zxl_value_replace(&c->stack[v], value);
      continue;
    }
    default:
      break;
    }

    const int arity = zxl_operator_arity(op);
    if ( arity == 0 )
      interr(299);
    ZXL_NEED(size_t(arity), 285);
    ZXL_CHECK(zxl_eval_operator(&c->stack, op));
    continue;
  } while ( false );
  return general_next_t::next;
failure:
  return general_next_t::failure;
search:
  return general_next_t::search;
}

// The interpreter loop of zxl_run, made twice: the run that polls and the one that never does need no test
// of the flag, nor a register for it, on every instruction.
template <bool polls>
bool run_loop(zxl_context_t *c, zxl_value_t *result, const char *name, int32_t index)
{
  // The run's scratch value: a native's result, or the exception being raised.
  struct scratch_t
  {
    zxl_value_t v = zxl_long(0);
    ~scratch_t() { zxl_value_clear(&v); }
  } scratch;
  struct cancel_scope_t
  {
    bool *saved = zxl_active_cancel();
    ~cancel_scope_t() { zxl_active_cancel() = saved; }
  } cancel_scope;
  if ( polls )
    zxl_active_cancel() = c->cancelled;
  // The run's cancellation flag (a destructor run started under it may set it; the context keeps pointing to
  // the same flag).
  const bool *const cancel = c->cancelled;

  const size_t entry = c->frames.size();
  // The interpreter's registers (see ZXL_RELOAD).
  const zxl_step_t *cur = nullptr; // the step of the instruction being run
  uint32_t pc = 0;
  const zxl_step_t *steps = nullptr;
  uint32_t wait = 0;
  int32_t a = index;
  if ( name != nullptr )
  {
    critical_section_guard_t guard(zxl_script_lock);
    a = zxl_function_index(name);
    if ( a == ZXL_NO_FUNCTION )
    {
      fail_text(88, name);
      goto failure;
    }
  }
  {
    bool native_done = false;
    if ( call_index(c, a, &scratch.v, &native_done) != 0 )
      goto failure;
    if ( native_done )
    {
      if ( result != nullptr )
        (void)zxl_value_move(result, &scratch.v);
      return true;
    }
  }

  // Handlers by opcode (labels as values); everything else goes to the general decoder.
  // Handlers by step entry (zxl_step_t): single instructions by opcode, fused steps by form (labels as
  // values); everything else goes to the general decoder.
  void *dispatch[ZXL_STEP_ENTRY_COUNT];
  for ( void *&target : dispatch )
    target = &&generic;
  dispatch[ZXL_STEP_ENTRY_BASE + ZXL_STEP_OPERATION] = &&fuse_operation;
  dispatch[ZXL_STEP_ENTRY_BASE + ZXL_STEP_BRANCH] = &&fuse_branch;
  dispatch[ZXL_STEP_ENTRY_BASE + ZXL_STEP_ASSIGN] = &&fuse_assign;
  dispatch[ZXL_STEP_ENTRY_BASE + ZXL_STEP_STEP] = &&fuse_step;
  dispatch[ZXL_STEP_ENTRY_BASE + ZXL_STEP_MEMBER] = &&fuse_member;
  dispatch[ZXL_STEP_ENTRY_BASE + ZXL_STEP_CALL_ONE] = &&op_mark;
  dispatch[ZXL_STEP_ENTRY_BASE + ZXL_STEP_JUMP] = &&op_jump;
  dispatch[ZXL_STEP_ENTRY_BASE + ZXL_STEP_RESERVE] = &&op_reserve;
  dispatch[ZXL_STEP_ENTRY_END] = &&op_end;
  for ( int k = 0; k < 16; ++k )
  {
    dispatch[ZOP_PUSH_LOCAL_S + k] = &&op_push_variable;
    dispatch[ZOP_PUSH_ARG_S + k] = &&op_push_variable;
    dispatch[ZOP_POP_LOCAL_S + k] = &&op_pop_local;
    dispatch[ZOP_PUSH_SMALL + k] = &&op_push_small;
  }
  dispatch[ZOP_INC_LOCAL_B] = dispatch[ZOP_DEC_LOCAL_B] = &&op_step_local;
  for ( int k = 0; k < 16; ++k )
    dispatch[ZOP_CALL_FUNC_S + k] = &&op_call_func;
  dispatch[ZOP_CALL_FUNC_B] = dispatch[ZOP_CALL_FUNC_W] = &&op_call_func;
  dispatch[ZOP_POP] = &&op_pop;
  dispatch[ZOP_GET_ATTR] = &&op_get_attr;
  dispatch[ZOP_SET_ATTR_POP] = &&op_set_attr_pop;
  dispatch[ZOP_CALL_METHOD] = &&op_call_method;
  dispatch[ZOP_PUSH_STR] = &&op_push_str;
  dispatch[ZOP_MARK] = dispatch[ZOP_MARK_BELOW] = &&op_mark;
  dispatch[ZOP_RET] = &&op_ret;
  for ( int binary : {ZOP_ADD, ZOP_SUB, ZOP_MUL, ZOP_BOR, ZOP_BAND, ZOP_BXOR, ZOP_EQ, ZOP_NE, ZOP_LE, ZOP_GE,
                      ZOP_LT, ZOP_GT} )
    dispatch[binary] = &&op_long_binary;

// The fast handlers keep the program counter, the decoded code and the wait count in locals. Every change of pc is
// also stored in the context at once (a store costs nothing on the chain from one instruction to the next, a
// load of what was just stored does), so the context is always current for failures, calls and nested runs.
// The wait count goes back to the context (ZXL_SYNC) wherever the fast handlers hand over: to the general
// decoder, a call or return, the loop head, a failure or a cancel; after a call or return the locals are
// read back from it.
#define ZXL_RELOAD()                                                                                           \
  do                                                                                                           \
  {                                                                                                            \
    pc = c->pc;                                                                                                \
    steps = c->steps;                                                                                          \
    wait = c->wait_counter;                                                                                    \
  } while ( 0 )
#define ZXL_SYNC() (c->wait_counter = wait)
// Fetches the step at pc, counts it for the wait box and jumps to its handler (which reads its opcode from
// the step).
#define ZXL_DISPATCH()                                                                                         \
  do                                                                                                           \
  {                                                                                                            \
    cur = &steps[pc];                                                                                          \
    ++pc;                                                                                                      \
    c->pc = pc;                                                                                                \
    if ( ++wait > 100 )                                                                                        \
    {                                                                                                          \
      count_wait(c);                                                                                           \
      wait = 0;                                                                                                \
    }                                                                                                          \
    goto *dispatch[cur->entry];                                                                                \
  } while ( 0 )
// Counts the instructions after the first of a fused run for the wait box.
#define ZXL_COUNT(extra)                                                                                       \
  do                                                                                                           \
  {                                                                                                            \
    if ( (wait += (extra)) > 100 )                                                                             \
    {                                                                                                          \
      count_wait(c);                                                                                           \
      wait = 0;                                                                                                \
    }                                                                                                          \
  } while ( 0 )
// Polls (in a polling run), then dispatches the next instruction. The fast handlers end with this rather than
// `continue`, so each has a dispatch jump of its own (far better predicted than one shared jump). A pc at the
// end of the code dispatches to the end's step, which fails it.
#define ZXL_NEXT()                                                                                             \
  do                                                                                                           \
  {                                                                                                            \
    if ( polls && poll_cancels(cancel) )                                                                       \
    {                                                                                                          \
      ZXL_SYNC();                                                                                              \
      goto cancelled;                                                                                          \
    }                                                                                                          \
    ZXL_DISPATCH();                                                                                            \
  } while ( 0 )

// Calls index `target` from a fast handler (a native's result is pushed), then goes on in what runs next.
#define ZXL_FAST_CALL(target)                                                                                  \
  do                                                                                                           \
  {                                                                                                            \
    bool native_done_ = false;                                                                                 \
    ZXL_SYNC();                                                                                                \
    ZXL_CHECK(call_index(c, (target), &scratch.v, &native_done_));                                             \
    if ( native_done_ )                                                                                        \
      ZXL_PUSH(std::exchange(scratch.v, zxl_long(0)));                                                         \
    ZXL_RELOAD();                                                                                              \
    ZXL_NEXT();                                                                                                \
  } while ( 0 )

  for ( ;; )
  {
    if ( polls && poll_cancels(cancel) )
      goto cancelled;
    if ( c->pc >= c->code_length )
      interr(276);
    {
      ZXL_RELOAD();
      // The commonest instructions go straight to a handler of their own. A handler for plain values either
      // completes its instruction or leaves everything as it found it for the general decoder below, so
      // every instruction is polled and counted once and fails where and as the general path fails.
      ZXL_DISPATCH();

    // Common sequences run as one step, as decoded from the code (zxl_step_t), each from a handler of its own:
    // "PUSH a; PUSH b; operator" on LONGs with the result pushed, branched on or popped into a local,
    // "PUSH a; INC/DEC_LOCAL x; POP" on LONGs, "PUSH x; PUSH_STR name; member instruction" on an object and
    // "MARK; PUSH a; PUSH b; operator; CALL_FUNC_S f". Each instruction in them is still polled and counted; a
    // cancel between them leaves the stack and pc as the single steps would. Anything out of the ordinary runs
    // step by step, from the handler of the first instruction.
    fuse_operation:
    fuse_branch:
    fuse_assign:
    {
      const zxl_step_t &step = *cur;
      zxl_value_t *const data = c->stack.data();
      const size_t depth = c->stack.size();
      const uint32_t locals_base = c->locals_base, arg_base = c->arg_base;
      const uint8_t op = cur->opcode;
      const size_t first = size_t(op < ZOP_PUSH_ARG_S ? locals_base : arg_base) + (op & 15u);
      int64_t right = 0;
      if ( first >= depth || data[first].kind != ZK_LONG || depth + 2 >= ZXL_MAX_VALUES ||
           !long_operand(step.second, data, depth, locals_base, arg_base, &right) )
        goto op_push_variable;
      const int64_t left = data[first].i;
      int64_t value = 0;
      (void)long_binary(step.op, left, right, &value);
      uint32_t operand = step.second < ZOP_PUSH_SMALL ? step.second & 15u : op & 15u;
      uint32_t count = 3;
      uint32_t target = pc + 2;
      zxl_value_t *into = nullptr;
      if ( step.form == ZXL_STEP_BRANCH )
      {
        const uint32_t to = value != 0 ? step.x : step.y;
        if ( to != ZXL_STEP_NO_TARGET )
        {
          target = to;
          count = 4;
        }
      }
      else if ( step.form == ZXL_STEP_ASSIGN )
      {
        const size_t position = size_t(locals_base) + step.x;
        if ( position < depth && data[position].kind != ZK_REF )
        {
          into = &data[position];
          operand = step.x;
          target = pc + 3;
          count = 4;
        }
      }
      if ( polls )
      {
        if ( const uint32_t done = extra_polls(cancel, count) )
        {
          push_partial_operation(c, done, left, right, value);
          c->pc = pc - 1 + done;
          ZXL_SYNC();
          goto cancelled;
        }
      }
      c->operand = operand;
      if ( into != nullptr )
        set_long(into, value);
      else if ( count == 3 )
        push_long(c, value);
      pc = target;
      c->pc = pc;
      ZXL_COUNT(count - 1);
      ZXL_NEXT();
    }
    fuse_step:
    {
      const zxl_step_t &step = *cur;
      zxl_value_t *const data = c->stack.data();
      const size_t depth = c->stack.size();
      const uint8_t op = cur->opcode;
      const size_t first = size_t(op < ZOP_PUSH_ARG_S ? c->locals_base : c->arg_base) + (op & 15u);
      const size_t position = size_t(c->locals_base) + step.x;
      if ( first >= depth || data[first].kind != ZK_LONG || position >= depth || data[position].kind != ZK_LONG ||
           depth + 2 >= ZXL_MAX_VALUES )
        goto op_push_variable;
      const int64_t left = data[first].i;
      zxl_value_t *stepped = &data[position];
      const uint32_t count = step.third != 0 ? 4 : 3;
      const uint32_t done = polls ? extra_polls(cancel, count) : 0;
      if ( done != 1 )
        stepped->i = int64_t(uint64_t(stepped->i) + (step.op == ZOP_DEC_LOCAL_B ? ~uint64_t(0) : 1));
      if ( done != 0 )
      {
        // Cancelled before the POP the value is still pushed; before the jump it is gone.
        if ( done != 3 )
          push_long(c, left);
        c->pc = done == 1 ? pc : done == 2 ? pc + 2 : pc + 3;
        ZXL_SYNC();
        goto cancelled;
      }
      c->operand = step.x;
      pc = step.third != 0 ? step.y : pc + 3;
      c->pc = pc;
      ZXL_COUNT(count - 1);
      ZXL_NEXT();
    }
    fuse_member:
    {
      // "PUSH x; PUSH_STR name; GET_ATTR | SET_ATTR_POP | CALL_METHOD" on an object variable reaches the
      // member without pushing the object and its name. Hooks and missing members run step by step.
      const zxl_step_t &step = *cur;
      const uint8_t op = cur->opcode;
      const uint32_t k = op & 15u;
      const size_t depth = c->stack.size();
      const size_t first = size_t(op < ZOP_PUSH_ARG_S ? c->locals_base : c->arg_base) + k;
      if ( first >= depth || depth + 2 >= ZXL_MAX_VALUES )
        goto op_push_variable;
      zxl_value_t *slot = &c->stack[first];
      if ( slot->kind != ZK_OBJECT )
        goto op_push_variable;
      const std::string_view name(reinterpret_cast<const char *>(c->code + pc + 5), step.x);
      const uint32_t member_pc = step.y;
      const uint8_t member_op = step.op;
      zxl_object_t *object = slot->object;
      const zxl_value_t *attr = nullptr;
      zxl_value_t *target = nullptr;
      int32_t method = -1;
      bool fuse = false;
      if ( member_op == ZOP_GET_ATTR )
      {
        attr = zxl_find_attr(object, name);
        fuse = attr != nullptr && zxl_kind_valid(attr->kind);
      }
      else if ( member_op == ZOP_SET_ATTR_POP )
      {
        const int32_t class_index = object->class_index;
        if ( depth >= size_t(c->arg_base) + 1 && zxl_kind_valid(c->stack.back().kind) &&
             site_lookup(c, cur, class_index, [&] { return class_hook(c, class_index, true); }) < 0 )
        {
          target = zxl_find_attr(object, name);
          fuse = target == nullptr || target->kind != ZK_REF;
        }
      }
      else if ( !c->marks.empty() && c->marks.back() >= c->arg_base && c->marks.back() <= depth )
      {
        const int32_t class_index = object->class_index;
        method = site_lookup(c, cur, class_index, [&] { return class_method(c, class_index, name); });
        fuse = method >= 0;
      }
      if ( !fuse )
        goto op_push_variable;
      if ( polls )
      {
        if ( const uint32_t done = extra_polls<3>(cancel) )
        {
          c->stack.push_back(zxl_value_share_owned(*slot));
          if ( done == 2 )
            c->stack.push_back(zxl_string(name));
          c->pc = done == 1 ? pc : member_pc;
          ZXL_SYNC();
          goto cancelled;
        }
      }
      c->operand = k;
      pc = member_pc + 1;
      c->pc = pc;
      ZXL_COUNT(2);
      if ( member_op == ZOP_GET_ATTR )
      {
        c->stack.push_back(zxl_value_owns(*attr) ? zxl_value_share_owned(*attr) : *attr);
        ZXL_NEXT();
      }
      if ( member_op == ZOP_SET_ATTR_POP )
      {
        if ( target == nullptr )
          target = zxl_attr_slot(object, name);
        // A plain destination and a valid value: the copy is a share, without the REF rules.
        zxl_value_replace(target, zxl_value_share(c->stack.back(), 283));
        drop_to(c, depth - 1);
        ZXL_NEXT();
      }
      insert_value(c, c->marks.back(), zxl_value_share_owned(*slot));
      ZXL_FAST_CALL(method);
    }
    op_push_variable:
    {
      const uint8_t op = cur->opcode;
      const uint32_t k = op & 15u;
      zxl_value_t *slot = op < ZOP_PUSH_ARG_S ? local_slot(c, k) : arg_slot(c, k);
      if ( slot->kind == ZK_REF || !zxl_kind_valid(slot->kind) || c->stack.size() >= ZXL_MAX_VALUES )
        goto generic;
      c->operand = k;
      c->stack.push_back(zxl_value_owns(*slot) ? zxl_value_share_owned(*slot) : *slot);
      ZXL_NEXT();
    }
    op_pop_local:
    {
      // A plain value into a plain variable moves without the REF rules (see pop_into).
      const size_t depth = c->stack.size();
      const uint64_t position = uint64_t(c->locals_base) + (cur->opcode & 15u);
      if ( depth < size_t(c->arg_base) + 1 || position + 1 >= depth )
        goto generic;
      zxl_value_t *slot = &c->stack[size_t(position)];
      const zxl_value_t taken = c->stack[depth - 1];
      if ( slot->kind == ZK_REF || !zxl_kind_valid(taken.kind) )
        goto generic;
      c->operand = cur->opcode & 15u;
      c->stack.pop_back();
      zxl_value_replace(slot, taken);
      ZXL_NEXT();
    }
    op_push_str:
    {
      // A short constant is built in its new slot.
      if ( uint64_t(pc) + 4 > c->code_length )
        goto generic;
      uint32_t length;
      std::memcpy(&length, c->code + pc, 4);
      if ( length > ZXL_SHORT_STRING_MAX || uint64_t(pc) + 4 + length > c->code_length ||
           c->stack.size() >= ZXL_MAX_VALUES )
        goto generic;
      push_short_string(c, std::string_view(reinterpret_cast<const char *>(c->code + pc + 4), length));
      pc += 4 + length;
      c->pc = pc;
      ZXL_NEXT();
    }
    op_push_small:
      if ( c->stack.size() >= ZXL_MAX_VALUES )
        goto generic;
      push_long(c, cur->opcode - ZOP_PUSH_SMALL);
      ZXL_NEXT();
    op_step_local:
    {
      if ( pc >= c->code_length )
        goto generic;
      const uint32_t k = c->code[pc];
      zxl_value_t *slot = local_slot(c, k);
      if ( slot->kind != ZK_LONG )
        goto generic;
      c->pc = ++pc;
      c->operand = k;
      slot->i = int64_t(uint64_t(slot->i) + (cur->opcode == ZOP_DEC_LOCAL_B ? ~uint64_t(0) : 1));
      ZXL_NEXT();
    }
    op_jump:
    {
      // Only a decoded jump comes here (its targets are settled); one cut short goes to the general decoder.
      const zxl_step_t &step = *cur;
      bool jump = true;
      if ( cur->opcode != ZOP_JMP )
      {
        if ( c->stack.size() < size_t(c->arg_base) + 1 || c->stack.back().kind != ZK_LONG )
          goto generic;
        jump = (c->stack.back().i != 0) == (cur->opcode == ZOP_JMP_TRUE);
      }
      const uint32_t target = jump ? step.x : step.y;
      if ( target == ZXL_STEP_NO_TARGET )
        goto generic;
      if ( cur->opcode != ZOP_JMP )
        c->stack.pop_back();
      pc = uint32_t(target);
      c->pc = pc;
      ZXL_NEXT();
    }
    op_long_binary:
    {
      // Two LONGs need no unification.
      if ( c->stack.size() < size_t(c->arg_base) + 2 )
        goto generic;
      zxl_value_t &left = c->stack[c->stack.size() - 2];
      const zxl_value_t &right = c->stack.back();
      if ( cur->opcode == ZOP_ADD && left.kind == ZK_STRING && right.kind == ZK_STRING &&
           size_t(left.str_len) + right.str_len <= ZXL_SHORT_STRING_MAX )
      {
        // Two short strings whose concatenation is short too: the right one's bytes join the left in place
        // (a heap string's length mark alone passes the bound).
        char *bytes = reinterpret_cast<char *>(&left) + 2;
        std::memcpy(bytes + left.str_len, reinterpret_cast<const char *>(&right) + 2, right.str_len);
        left.str_len = uint8_t(left.str_len + right.str_len);
        bytes[left.str_len] = '\0';
        c->stack.pop_back();
        ZXL_NEXT();
      }
      if ( left.kind != ZK_LONG || right.kind != ZK_LONG )
        goto generic;
      (void)long_binary(cur->opcode, left.i, right.i, &left.i);
      c->stack.pop_back();
      ZXL_NEXT();
    }
    op_call_func:
    {
      const uint8_t op = cur->opcode;
      const uint32_t n = op < 128 ? op & 15u : op == ZOP_CALL_FUNC_B ? ZXL_OPERAND(uint8_t) : ZXL_OPERAND(uint16_t);
      ZXL_FAST_CALL(int32_t(n));
    }
    op_pop:
      ZXL_NEED(1, 285);
      drop_to(c, c->stack.size() - 1);
      ZXL_NEXT();
    op_mark:
      if ( cur->opcode == ZOP_MARK_BELOW )
        ZXL_NEED(1, 285);
      if ( c->marks.size() >= ZXL_MAX_MARKS )
      {
        fail(ZXL_TOO_DEEP);
        ZXL_SYNC();
        goto failure;
      }
      c->marks.push_back(uint32_t(c->stack.size() - (cur->opcode == ZOP_MARK_BELOW ? 1 : 0)));
      // "MARK; PUSH a; PUSH b; operator; CALL_FUNC_S f", a call with one computed argument, runs as one step
      // up to the call, with the polls, counts and cancel states of the single steps.
      if ( cur->form == ZXL_STEP_CALL_ONE && c->stack.size() + 2 < ZXL_MAX_VALUES )
      {
        const zxl_step_t &step = *cur;
        const zxl_value_t *const data = c->stack.data();
        const size_t depth = c->stack.size();
        int64_t left = 0, right = 0, value = 0;
        if ( long_operand(step.second, data, depth, c->locals_base, c->arg_base, &left) &&
             long_operand(step.third, data, depth, c->locals_base, c->arg_base, &right) )
        {
          (void)long_binary(step.op, left, right, &value);
          const uint32_t operand = step.third < ZOP_PUSH_SMALL    ? step.third & 15u
                                   : step.second < ZOP_PUSH_SMALL ? step.second & 15u
                                                                  : c->operand;
          if ( polls )
          {
            if ( const uint32_t done = extra_polls<5>(cancel) )
            {
              push_partial_operation(c, done - 1, left, right, value);
              c->pc = pc - 1 + done;
              ZXL_SYNC();
              goto cancelled;
            }
          }
          c->operand = operand;
          push_long(c, value);
          pc += 4;
          c->pc = pc;
          ZXL_COUNT(4);
          ZXL_FAST_CALL(int32_t(step.x));
        }
      }
      ZXL_NEXT();
    op_ret:
      ZXL_SYNC();
      ZXL_CHECK(return_from(c));
      if ( c->frames.size() > entry )
      {
        ZXL_RELOAD();
        ZXL_NEXT();
      }
      if ( result != nullptr )
        (void)pop_into(c, result);
      else
        drop_to(c, c->stack.size() - 1);
      return true;

    op_reserve:
    {
      // Only a decoded RESERVE comes here (its count inside the code); one cut short goes to the general decoder.
      const uint32_t count = cur->x;
      if ( c->stack.size() + count > ZXL_MAX_VALUES )
        goto generic;
      c->stack.resize(c->stack.size() + count);
      pc += 2;
      c->pc = pc;
      ZXL_NEXT();
    }
    // The member instructions on an object with a STRING name and no hook in the way; the rest (conversions,
    // hooks, failures) is the general decoder's.
    op_get_attr:
    {
      zxl_value_t *top = name_over_object(c, 2);
      if ( top == nullptr )
        goto generic;
      zxl_value_t *object = top - 1;
      const zxl_value_t *attr = zxl_find_attr(object->object, zxl_string_view(*top));
      if ( attr == nullptr || !zxl_kind_valid(attr->kind) )
        goto generic;
      const zxl_value_t name = held_name(*top);
      c->stack.pop_back();
      zxl_value_replace(object, zxl_value_owns(*attr) ? zxl_value_share_owned(*attr) : *attr);
      zxl_value_release(name);
      ZXL_NEXT();
    }
    op_set_attr_pop:
    {
      zxl_value_t *top = name_over_object(c, 3);
      if ( top == nullptr || !zxl_kind_valid(top[-2].kind) || class_hook(c, top[-1].object->class_index, true) >= 0 )
        goto generic;
      zxl_value_t *object = top - 1;
      const size_t depth = c->stack.size();
      const std::string_view member = zxl_string_view(*top);
      zxl_value_t *attr = zxl_find_attr(object->object, member);
      if ( attr == nullptr )
        attr = zxl_attr_slot(object->object, member);
      else if ( attr->kind == ZK_REF )
        goto generic;
      // As the general path: name and object leave the stack (held until the write is done), the value is
      // copied in and dropped.
      const zxl_value_t name = held_name(*top);
      const zxl_value_t held = *object;
      c->stack.truncate(depth - 2);
      const int status = zxl_value_copy(attr, &c->stack.back());
      if ( status == 0 )
        drop_to(c, depth - 3);
      else
        zxl_raise_current(c);
      zxl_value_release(held);
      zxl_value_release(name);
      if ( status != 0 )
      {
        ZXL_SYNC();
        goto search;
      }
      ZXL_NEXT();
    }
    op_call_method:
    {
      zxl_value_t *top = name_over_object(c, 2);
      const size_t depth = c->stack.size();
      if ( top == nullptr || c->marks.empty() || c->marks.back() < c->arg_base || c->marks.back() >= depth - 1 )
        goto generic;
      zxl_value_t *object = top - 1;
      const int32_t method = class_method(c, object->object->class_index, zxl_string_view(*top));
      if ( method < 0 )
        goto generic;
      // The object moves down to the mark: it is the method's first argument.
      const zxl_value_t name = held_name(*top);
      const zxl_value_t held = *object;
      c->stack.truncate(depth - 2);
      zxl_value_release(name);
      insert_value(c, c->marks.back(), held);
      ZXL_FAST_CALL(method);
    }

    op_end:
      // Past the last instruction without a return, after its poll, as the loop head fails it.
      c->pc = --pc;
      ZXL_SYNC();
      interr(276);

    generic:
      ZXL_SYNC();
      switch ( general_instruction(c, cur->opcode, &scratch.v) )
      {
      case general_next_t::failure:
        goto failure;
      case general_next_t::search:
        goto search;
      case general_next_t::next:
        break;
      }
      continue;
    }

  cancelled:
    *c->cancelled = true;
    fail(1487);
  failure:
    if ( qerrno_get() != ZXL_THROWN )
      zxl_make_exception(&scratch.v);
    c->stack.push_back(std::exchange(scratch.v, zxl_long(0)));
    zxl_add_position(c, &c->stack.back());
  search:
    for ( ;; )
    {
      zxl_handler_t handler;
      // A cancelled run is caught by no handler: it ends.
      if ( !*c->cancelled && c->frames.size() > entry && c->function != nullptr && c->pc > 0 &&
           zxl_find_handler(*c->function, c->pc - 1, &handler) )
      {
        if ( handler.end >= c->code_length )
          interr(276);
        c->pc = handler.end;
        zxl_value_t *slot = nullptr;
        switch ( handler.slot_kind )
        {
        case ZXL_SLOT_LOCAL:
          slot = local_slot(c, handler.slot_index);
          break;
        case ZXL_SLOT_ARG:
          slot = arg_slot(c, handler.slot_index);
          break;
        case ZXL_SLOT_GLOBAL:
          break;
        default:
          interr(300);
        }
        int code;
        if ( slot != nullptr )
        {
          code = pop_into(c, slot);
        }
        else
        {
          critical_section_guard_t guard(zxl_script_lock);
          code = pop_into(c, &zxl_global_at(int32_t(handler.slot_index))->value);
        }
        if ( code != 0 )
          goto failure;
        break;
      }
      if ( c->frames.size() <= entry )
        return false;
      if ( zxl_return(c) != 0 )
        interr(301);
      if ( c->frames.size() <= entry )
        return false;
    }
  }
#undef ZXL_OPERAND
#undef ZXL_NEED
#undef ZXL_PUSH
#undef ZXL_CHECK
#undef ZXL_PUSH_LONG
#undef ZXL_NEXT
#undef ZXL_DISPATCH
#undef ZXL_COUNT
#undef ZXL_SYNC
#undef ZXL_FAST_CALL
#undef ZXL_RELOAD
}

} // namespace

bool zxl_run(zxl_context_t *c, zxl_value_t *result, const char *name, int32_t index)
{
  return c->polls ? run_loop<true>(c, result, name, index) : run_loop<false>(c, result, name, index);
}
