// The engine tables: compiled functions, classes, global variables and native functions, and member access.
#pragma once

#include "script/runtime/zxl_object.h"
#include "script/runtime/zxl_value.h"

#include "core/qstring.h"
#include "core/qvector.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

// zxl_function_index's answer for a name that names nothing.
inline constexpr int32_t ZXL_NO_FUNCTION = 0x7fffffff;

struct zxl_file_entry_t
{
  uint32_t pc;
  qstring file;
};
struct zxl_line_entry_t
{
  uint32_t pc;
  uint32_t line;
};
template <>
inline constexpr bool qvector_relocatable<zxl_file_entry_t> = true;

struct zxl_step_t; // zxl_bytecode.h

// A compiled function. Promises: `activation` is -1 while it is being compiled or has no body, 0 when idle
// and N while N calls of it run (activation_count); the tables are in rising pc order; the defaults are owned
// values. The count changes without the script lock: a call only enters a function whose count it raised from
// 0 or more, and the body changes only while the count is -1, which a redefinition gets from 0 in one step
// (claim_idle). Calls on the main thread are counted apart, in `main_activation`, which only the main thread
// writes, with plain stores: the call raises it before it reads `activation`, and a claim from another thread
// puts a barrier on every thread (zxl_heavy_barrier) between setting -1 and reading it, so either the call sees
// -1 or the claim sees the call.
struct zxl_function_t
{
  zxl_function_t() = default;
  zxl_function_t(const zxl_function_t &) = delete;
  zxl_function_t &operator=(const zxl_function_t &) = delete;
  ~zxl_function_t();
  // Drops the body, the defaults and both tables; parameter count 0, activation -1.
  void clear_body();
  // Takes an idle function (activation 0) for a redefinition: activation -1, true. False when it is running
  // or already being compiled.
  bool claim_idle();
  // The number of calls running (-1 while compiled or without a body).
  int32_t activation_count() const
  {
    const int32_t shared = activation.load(std::memory_order_acquire);
    return shared < 0 ? shared : shared + main_activation.load(std::memory_order_relaxed);
  }

  qstring name; // a method: class name, ".", method name
  int32_t param_count = 0;
  byte_buffer_t body;       // code, handler table, 16-bit table size
  uint32_t code_length = 0; // bytes before the handler table, once the body is finished
  qvector<zxl_value_t> defaults;
  qvector<zxl_file_entry_t> file_table;
  qvector<zxl_line_entry_t> line_table;
  std::atomic<int32_t> activation = -1;
  std::atomic<int32_t> main_activation = 0; // written by the main thread only
  // The code decoded once for the interpreter (zxl_function_steps); freed with the body.
  std::atomic<zxl_step_t *> steps = nullptr;
};

// Whether main-thread calls count apart (zxl_function_t): true when the system gives the barrier that a claim
// from another thread needs (registered on the first call).
bool zxl_main_thread_counts();
// A full memory barrier on every running thread of the process (nothing when zxl_main_thread_counts is false);
// false when the system refuses it.
[[nodiscard]] bool zxl_heavy_barrier();

// Records the line of the code from pc on: the last entry's line is replaced when it has the same pc.
void zxl_line_table_append(zxl_function_t *function, uint32_t pc, uint32_t line);
void zxl_line_table_append(qvector<zxl_line_entry_t> *table, uint32_t pc, uint32_t line);
// Records the file of the code from pc on: nothing when the last entry names the same file; its name is
// replaced when it has the same pc.
void zxl_file_table_append(zxl_function_t *function, uint32_t pc, const char *file);
// The file (null when no entry lies at or before pc) and line (0 when none) of the code at pc.
void zxl_position_of(const zxl_function_t &function, uint32_t pc, const char **file, int32_t *line);

// A class. Promises: `index` is its position in the class table and `parent` a lower index (0 when none);
// methods map a method name to the function named by the class name, a dot and the method name; the three
// special methods are -1 until the compiler records them. Lives until engine teardown.
struct zxl_class_t
{
  std::map<std::string, int32_t, zxl_name_less> methods;
  int32_t parent = 0;
  int32_t index = 0;
  qstring name;
  int32_t getattr_method = -1;
  int32_t setattr_method = -1;
  int32_t destructor_method = -1;
};

// A global variable; the position in the global table is its index.
struct zxl_global_t
{
  qstring name;
  zxl_value_t value;
};
template <>
inline constexpr bool qvector_relocatable<zxl_global_t> = true;

// A native function: called with the first argument and the result slot; 0 or an error code.
using zxl_native_callback_t = int (*)(zxl_value_t *args, zxl_value_t *result);
// Native flags.
inline constexpr uint32_t ZXL_NATIVE_NO_RETURN = 2; // the callback ends the run and never returns
inline constexpr uint32_t ZXL_NATIVE_ANY_THREAD = 4;

// One entry of the native table. FUNC -n names entry n; entry 0 is a placeholder without a callback, so no
// native ever has index 0, which is a compiled function's.
struct zxl_native_t
{
  zxl_native_t() = default;
  zxl_native_t(const zxl_native_t &) = delete;
  zxl_native_t &operator=(const zxl_native_t &) = delete;
  ~zxl_native_t();

  qstring name;
  zxl_native_callback_t callback = nullptr;
  qstring arg_kinds; // one kind code per parameter; trailing ZK_ANY codes mark a variable tail
  qvector<zxl_value_t> defaults;
  uint32_t flags = 0;
};

// Every operation below takes zxl_script_lock itself; callers that walk a returned record across other
// engine calls hold the lock around them.

// The generation of the function, class and method tables: it changes, under the lock, whenever a function or
// class is added, a method is mapped, a hook is recorded or the engine is cleared, so a lookup remembered
// with the generation it was made in stays true while the generation is the same.
uint64_t zxl_tables_generation();
// Marks a change of the tables (done by the operations below; code that sets a class's hooks itself calls it).
void zxl_tables_changed();

// The first class with that exact name, or null.
zxl_class_t *zxl_find_class(const char *name);
// The existing class of that name unchanged, or a new class appended with the given parent (0 when null).
zxl_class_t *zxl_define_class(const char *name, const zxl_class_t *parent);
// The class at index; an index outside the table is internal error 284.
zxl_class_t *zxl_class_at(int32_t index);
// The number of classes.
int32_t zxl_class_count();
// The method in the class, then its parents up to and including class 0; the function index or -1.
int32_t zxl_find_method(const zxl_class_t *cls, const char *name);
// The constructor NEW runs for the class: the method named like the class, searched from the class up; when
// there is none, the same with the parent and the parent's own name, while the parent is not class 0. The
// function index or -1.
int32_t zxl_find_constructor(const zxl_class_t *cls);
// The function behind a method of the class: a mapped name reuses its function when it is idle (cleared,
// activation -1; -1 when it is running); otherwise "Class.name" is defined and mapped. The index or -1.
int32_t zxl_define_method(zxl_class_t *cls, const char *name);

// The last compiled function of that name whatever its state; else -n for the first native entry n of that
// name that has a callback; else ZXL_NO_FUNCTION.
int32_t zxl_function_index(const char *name);
// The last compiled function of that name, or -1 (natives are not searched).
int32_t zxl_compiled_function_index(const char *name);
// An existing function of that name must be idle (else -1) and is cleared; a new name is appended. The
// function is left with activation -1 and the result is its index.
int32_t zxl_define_function(const char *name);
// The function at index, or null.
zxl_function_t *zxl_function_at(int32_t index);
// The index of the record in the function table, or -1.
int32_t zxl_function_position(const zxl_function_t *function);

// The first global of that name, or null; zxl_global_index gives its index or -1.
zxl_global_t *zxl_find_global(const char *name);
int32_t zxl_global_index(const char *name);
// Appends a global holding LONG 0 and gives its index.
int32_t zxl_add_global(const char *name);
// The global at index; an index outside the table is internal error 288.
zxl_global_t *zxl_global_at(int32_t index);
int32_t zxl_global_count();

// The first native entry of that name that has a callback, or null.
zxl_native_t *zxl_find_native(const char *name);
// Appends an entry (the table gets its placeholder entry 0 first) and gives its FUNC index (negative).
int32_t zxl_add_native(zxl_native_t *entry);
// The number of entries, the placeholder included (0 for an empty table).
int32_t zxl_native_count();

// Reads a member, under zxl_script_lock. With an object value (which must be OBJECT, else 1532): a copy of the
// attribute of that name, else FUNC of the method of that name found from the object's class up to class 0,
// else 1538 with the text "class.name". Without one: a copy of the global of that name, else FUNC of
// zxl_function_index, else 1538 with the name. The result slot (when given) receives the value as
// zxl_value_copy does. 0 or the error code.
[[nodiscard]] int zxl_get_member(zxl_value_t *result, const zxl_value_t *object, const char *name);
// Writes a copy of value into the attribute of that name (inserted when missing) of an OBJECT (else 1532), or
// without an object into the global of that name (1538 with the name when there is none). 0 or the code.
[[nodiscard]] int zxl_set_member(const zxl_value_t *object, const char *name, const zxl_value_t *value);
