// The engine tables: functions with their line and file tables, classes, globals, natives, and member access.
#include "script/runtime/zxl_tables.h"

#include "script/runtime/zxl_bytecode.h"

#include "script/runtime/zxl_engine.h"

#include "core/error_state.h"
#include "core/internal_error.h"
#include "core/threads.h"

#include <algorithm>
#include <string>
#include <string_view>

#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{

zxl_engine_t &engine()
{
  return *zxl_get_engine();
}

// Sets error 1538 with its text argument.
int member_not_found(const std::string &text)
{
  error_arg_text(0, text.c_str());
  return qerrno_set(1538);
}

// The last entry of a table in rising pc order whose pc is at most pc, or null.
template <typename Entry>
const Entry *last_entry_at(const qvector<Entry> &table, uint32_t pc)
{
  const Entry *it = std::upper_bound(table.begin(), table.end(), pc,
                                     [](uint32_t value, const Entry &e) { return value < e.pc; });
  return it == table.begin() ? nullptr : it - 1;
}

} // namespace

// ---- functions ----

uint64_t zxl_tables_generation()
{
  return engine().tables_generation.load(std::memory_order_acquire);
}

void zxl_tables_changed()
{
  engine().tables_generation.fetch_add(1, std::memory_order_acq_rel);
}

zxl_function_t::~zxl_function_t()
{
  zxl_values_release(&defaults);
  delete[] steps.exchange(nullptr);
}

void zxl_function_t::clear_body()
{
  // Lookups remembered by the address of a step (zxl_lookup_cache_t) go with the steps they were made for.
  if ( steps.load(std::memory_order_acquire) != nullptr )
    zxl_tables_changed();
  delete[] steps.exchange(nullptr);
  body.release();
  code_length = 0;
  zxl_values_release(&defaults);
  file_table.release();
  line_table.release();
  param_count = 0;
  activation = -1;
}

bool zxl_main_thread_counts()
{
  static const bool ready = syscall(__NR_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
  return ready;
}

bool zxl_heavy_barrier()
{
  return !zxl_main_thread_counts() || syscall(__NR_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) == 0;
}

bool zxl_function_t::claim_idle()
{
  int32_t idle = 0;
  if ( !activation.compare_exchange_strong(idle, -1) )
    return false;
  // The main thread's own count needs no barrier on the main thread itself. Without the barrier the claim
  // cannot know that no main-thread call is under way: it fails as if one were.
  if ( (on_main_thread() || zxl_heavy_barrier()) && main_activation.load(std::memory_order_acquire) == 0 )
    return true;
  activation.store(0, std::memory_order_release);
  return false;
}

void zxl_line_table_append(zxl_function_t *function, uint32_t pc, uint32_t line)
{
  zxl_line_table_append(&function->line_table, pc, line);
}

void zxl_line_table_append(qvector<zxl_line_entry_t> *table, uint32_t pc, uint32_t line)
{
  if ( !table->empty() && table->back().pc == pc )
    table->back().line = line;
  else
    table->push_back({pc, line});
}

void zxl_file_table_append(zxl_function_t *function, uint32_t pc, const char *file)
{
  if ( !function->file_table.empty() )
  {
    zxl_file_entry_t &last = function->file_table.back();
    if ( last.file == file )
      return;
    if ( last.pc == pc )
    {
      last.file = file;
      return;
    }
  }
  function->file_table.push_back({pc, qstring(file)});
}

void zxl_position_of(const zxl_function_t &function, uint32_t pc, const char **file, int32_t *line)
{
  const zxl_file_entry_t *f = last_entry_at(function.file_table, pc);
  *file = f != nullptr ? f->file.c_str() : nullptr;
  const zxl_line_entry_t *l = last_entry_at(function.line_table, pc);
  *line = l != nullptr ? int32_t(l->line) : 0;
}

int32_t zxl_function_index(const char *name)
{
  critical_section_guard_t guard(zxl_script_lock);
  const int32_t compiled = zxl_compiled_function_index(name);
  if ( compiled >= 0 )
    return compiled;
  const zxl_native_t *native = zxl_find_native(name);
  if ( native == nullptr )
    return ZXL_NO_FUNCTION;
  const auto &natives = engine().natives;
  for ( size_t n = 1; n < natives.size(); ++n )
    if ( natives[n].get() == native )
      return -int32_t(n);
  return ZXL_NO_FUNCTION;
}

int32_t zxl_compiled_function_index(const char *name)
{
  critical_section_guard_t guard(zxl_script_lock);
  const auto it = engine().function_names.find(std::string_view(name));
  return it != engine().function_names.end() ? it->second : -1;
}

int32_t zxl_define_function(const char *name)
{
  critical_section_guard_t guard(zxl_script_lock);
  zxl_engine_t &e = engine();
  const auto it = e.function_names.find(std::string_view(name));
  if ( it != e.function_names.end() )
  {
    zxl_function_t &existing = *e.functions[size_t(it->second)];
    if ( !existing.claim_idle() )
      return -1;
    existing.clear_body();
    return it->second;
  }
  auto function = std::make_unique<zxl_function_t>();
  function->name = name;
  const int32_t index = int32_t(e.functions.size());
  e.functions.push_back(std::move(function));
  e.function_names[name] = index;
  zxl_tables_changed();
  return index;
}

zxl_function_t *zxl_function_at(int32_t index)
{
  critical_section_guard_t guard(zxl_script_lock);
  const auto &functions = engine().functions;
  return index >= 0 && size_t(index) < functions.size() ? functions[size_t(index)].get() : nullptr;
}

int32_t zxl_function_position(const zxl_function_t *function)
{
  critical_section_guard_t guard(zxl_script_lock);
  const auto &functions = engine().functions;
  for ( size_t i = 0; i < functions.size(); ++i )
    if ( functions[i].get() == function )
      return int32_t(i);
  return -1;
}

// ---- classes ----

zxl_class_t *zxl_find_class(const char *name)
{
  critical_section_guard_t guard(zxl_script_lock);
  const auto it = engine().class_names.find(std::string_view(name));
  return it != engine().class_names.end() ? engine().classes[size_t(it->second)].get() : nullptr;
}

zxl_class_t *zxl_define_class(const char *name, const zxl_class_t *parent)
{
  critical_section_guard_t guard(zxl_script_lock);
  if ( zxl_class_t *existing = zxl_find_class(name) )
    return existing;
  zxl_engine_t &e = engine();
  auto cls = std::make_unique<zxl_class_t>();
  cls->index = int32_t(e.classes.size());
  cls->parent = parent != nullptr ? parent->index : 0;
  cls->name = name;
  e.classes.push_back(std::move(cls));
  e.class_names.emplace(name, e.classes.back()->index);
  zxl_tables_changed();
  return e.classes.back().get();
}

zxl_class_t *zxl_class_at(int32_t index)
{
  critical_section_guard_t guard(zxl_script_lock);
  const auto &classes = engine().classes;
  if ( index < 0 || size_t(index) >= classes.size() )
    interr(284);
  return classes[size_t(index)].get();
}

int32_t zxl_class_count()
{
  critical_section_guard_t guard(zxl_script_lock);
  return int32_t(engine().classes.size());
}

int32_t zxl_find_method(const zxl_class_t *cls, const char *name)
{
  critical_section_guard_t guard(zxl_script_lock);
  for ( ;; )
  {
    const auto it = cls->methods.find(std::string_view(name));
    if ( it != cls->methods.end() )
      return it->second;
    // Parents have lower indexes, so the walk ends, after class 0 at the latest.
    if ( cls->index == 0 || cls->parent >= cls->index )
      return -1;
    cls = zxl_class_at(cls->parent);
  }
}

int32_t zxl_find_constructor(const zxl_class_t *cls)
{
  critical_section_guard_t guard(zxl_script_lock);
  int32_t constructor = zxl_find_method(cls, cls->name.c_str());
  while ( constructor < 0 && cls->parent != 0 )
  {
    cls = zxl_class_at(cls->parent);
    constructor = zxl_find_method(cls, cls->name.c_str());
  }
  return constructor;
}

int32_t zxl_define_method(zxl_class_t *cls, const char *name)
{
  critical_section_guard_t guard(zxl_script_lock);
  const auto it = cls->methods.find(std::string_view(name));
  if ( it != cls->methods.end() )
  {
    zxl_function_t *function = zxl_function_at(it->second);
    if ( function == nullptr || !function->claim_idle() )
      return -1;
    function->clear_body();
    return it->second;
  }
  const std::string full = std::string(cls->name.view()) + "." + name;
  const int32_t index = zxl_define_function(full.c_str());
  if ( index >= 0 )
  {
    cls->methods.emplace(name, index);
    zxl_tables_changed();
  }
  return index;
}

// ---- globals ----

int32_t zxl_global_index(const char *name)
{
  critical_section_guard_t guard(zxl_script_lock);
  const auto it = engine().global_names.find(std::string_view(name));
  return it != engine().global_names.end() ? it->second : -1;
}

zxl_global_t *zxl_find_global(const char *name)
{
  critical_section_guard_t guard(zxl_script_lock);
  const int32_t index = zxl_global_index(name);
  return index >= 0 ? &engine().globals[size_t(index)] : nullptr;
}

int32_t zxl_add_global(const char *name)
{
  critical_section_guard_t guard(zxl_script_lock);
  zxl_engine_t &e = engine();
  const int32_t index = int32_t(e.globals.size());
  e.globals.push_back({qstring(name), zxl_long(0)});
  e.global_names.emplace(name, index);
  return index;
}

zxl_global_t *zxl_global_at(int32_t index)
{
  critical_section_guard_t guard(zxl_script_lock);
  if ( index < 0 || size_t(index) >= engine().globals.size() )
    interr(288);
  return &engine().globals[size_t(index)];
}

int32_t zxl_global_count()
{
  critical_section_guard_t guard(zxl_script_lock);
  return int32_t(engine().globals.size());
}

// ---- natives ----

zxl_native_t::~zxl_native_t()
{
  zxl_values_release(&defaults);
}

zxl_native_t *zxl_find_native(const char *name)
{
  critical_section_guard_t guard(zxl_script_lock);
  for ( const auto &native : engine().natives )
    if ( native->callback != nullptr && native->name == name )
      return native.get();
  return nullptr;
}

int32_t zxl_add_native(zxl_native_t *entry)
{
  critical_section_guard_t guard(zxl_script_lock);
  auto &natives = engine().natives;
  if ( natives.empty() )
    natives.push_back(std::make_unique<zxl_native_t>());
  natives.emplace_back(entry);
  return -int32_t(natives.size() - 1);
}

int32_t zxl_native_count()
{
  critical_section_guard_t guard(zxl_script_lock);
  return int32_t(engine().natives.size());
}

// ---- members ----

namespace
{

// The value a member read gives, as a shared copy, or an error code; under the script lock.
int find_member(zxl_value_t *found, const zxl_value_t *object, const char *name)
{
  critical_section_guard_t guard(zxl_script_lock);
  if ( object != nullptr )
  {
    if ( object->kind != ZK_OBJECT )
      return qerrno_set(1532);
    zxl_object_t *o = object->object;
    if ( const zxl_value_t *attribute = zxl_find_attr(o, name) )
    {
      *found = zxl_value_share(*attribute, 283);
      return 0;
    }
    const zxl_class_t *cls = zxl_class_at(o->class_index);
    const int32_t method = zxl_find_method(cls, name);
    if ( method < 0 )
      return member_not_found(std::string(cls->name.view()) + "." + name);
    *found = zxl_func(method);
    return 0;
  }
  if ( const zxl_global_t *global = zxl_find_global(name) )
  {
    *found = zxl_value_share(global->value, 283);
    return 0;
  }
  const int32_t function = zxl_function_index(name);
  if ( function == ZXL_NO_FUNCTION )
    return member_not_found(name);
  *found = zxl_func(function);
  return 0;
}

} // namespace

int zxl_get_member(zxl_value_t *result, const zxl_value_t *object, const char *name)
{
  zxl_value_t found;
  const int code = find_member(&found, object, name);
  if ( code != 0 || result == nullptr )
  {
    zxl_value_release(found);
    return code;
  }
  // Stored outside the lock: the result's old value may run a destructor when it goes.
  const int stored = zxl_value_move(result, &found);
  zxl_value_release(found);
  return stored;
}

int zxl_set_member(const zxl_value_t *object, const char *name, const zxl_value_t *value)
{
  critical_section_guard_t guard(zxl_script_lock);
  if ( object != nullptr )
  {
    if ( object->kind != ZK_OBJECT )
      return qerrno_set(1532);
    // Held for the write: the old attribute value may be the last holder of the object itself.
    zxl_value_t hold = zxl_object_value(object->object);
    const int code = zxl_value_copy(zxl_attr_slot(hold.object, name), value);
    zxl_value_release(hold);
    return code;
  }
  zxl_global_t *global = zxl_find_global(name);
  if ( global == nullptr )
    return member_not_found(name);
  return zxl_value_copy(&global->value, value);
}
