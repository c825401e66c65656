// The ZXL engine's process-wide state: start-up, teardown, language registration and snippet slots.
#include "script/runtime/zxl_engine.h"

#include "script/compiler/zxl_compiler.h"
#include "script/runtime/zxl_entry_points.h"
#include "script/runtime/zxl_exceptions.h"

#include "core/internal_error.h"
#include "core/process_exit.h"

#include <bit>
#include <iterator>
#include <mutex>
#include <new>

critical_section_t *zxl_script_lock = nullptr;
critical_section_t *zxl_language_list_lock = nullptr;

language_record_t zxl_language_record {
  .name = "ZXL",
  .extension = "zxl",
  .compile_expression = zxl_compile_expression,
  .compile_file = zxl_compile_file,
  .call_function = zxl_call_function,
  .eval = zxl_eval,
  .eval_snippet = zxl_eval_snippet,
  .create_object = zxl_create_object,
  .get_attribute = zxl_get_attribute,
  .set_attribute = zxl_set_attribute,
  .call_method = zxl_call_method,
};

zxl_default_resolver_t zxl_default_resolver;

namespace
{

// The registered records by slot (null: a free slot), and the current language's slot; guarded by
// zxl_language_list_lock.
qvector<language_record_t *> zxl_language_list;
int32_t current_language = 0;

include_search_path_t *engine_include_paths()
{
  return &zxl_get_engine()->include_paths;
}

int32_t slot_of(const language_record_t *record)
{
  for ( size_t i = 0; i < zxl_language_list.size(); ++i )
    if ( zxl_language_list[i] == record )
      return int32_t(i);
  return -1;
}

// Destroys what a table held after it was taken out of the engine, so that destructors run by the release
// see consistent tables.
template <typename Table>
void destroy_taken(Table &table)
{
  const Table taken(std::move(table));
}

} // namespace

zxl_engine_t *zxl_get_engine()
{
  static std::once_flag once;
  static zxl_engine_t *engine = nullptr;
  std::call_once(once, [] { engine = new zxl_engine_t; });
  return engine;
}

void zxl_init()
{
  add_exit_handler(zxl_shutdown);
  try
  {
    zxl_script_lock = lock_create();
    zxl_language_list_lock = lock_create();
  }
  catch ( const std::bad_alloc & )
  {
    interr(486);
  }
  zxl_engine_t *engine = zxl_get_engine();
  {
    critical_section_guard_t guard(zxl_script_lock);
    engine->reader.reset(create_token_reader(nullptr, 0, nullptr, 0));
    if ( engine->reader == nullptr )
      throw std::bad_alloc();
    engine->reader->set_line_hook(compiler_line_callback);
    engine->saved_native_count = engine->natives.size();
    engine->destructor_runner = zxl_run_destructor;
    for ( const char *name : {"object", "typeinfo", "exception"} )
      zxl_define_class(name, nullptr);
  }
  set_script_lock(zxl_script_lock);
  set_include_search_path_getter(engine_include_paths);
  if ( zxl_register_language(&zxl_language_record) != 0 )
    interr(1447);
}

void zxl_shutdown()
{
  zxl_unregister_language(&zxl_language_record);
  zxl_engine_clear();
  set_include_search_path_getter(nullptr);
  set_script_lock(nullptr);
  lock_destroy(zxl_script_lock);
  zxl_script_lock = nullptr;
  lock_destroy(zxl_language_list_lock);
  zxl_language_list_lock = nullptr;
}

void zxl_engine_clear()
{
  critical_section_guard_t guard(zxl_script_lock);
  zxl_engine_t *engine = zxl_get_engine();
  // Globals go first, while the functions and classes their objects' destructors need still exist.
  {
    qvector<zxl_global_t> globals(std::move(engine->globals));
    engine->global_names.clear();
    for ( zxl_global_t &global : globals )
      zxl_value_clear(&global.value);
  }
  destroy_taken(engine->functions);
  engine->function_names.clear();
  {
    auto &natives = engine->natives;
    const std::vector<std::unique_ptr<zxl_native_t>> added(
        std::make_move_iterator(natives.begin() + ptrdiff_t(engine->saved_native_count)),
        std::make_move_iterator(natives.end()));
    natives.resize(engine->saved_native_count);
  }
  while ( !engine->classes.empty() )
  {
    std::unique_ptr<zxl_class_t> last = std::move(engine->classes.back());
    engine->classes.pop_back();
  }
  engine->class_names.clear();
  engine->reader.reset();
  engine->include_paths.set_paths(nullptr, false);
  engine->run_start = -1;
  engine->wait_box_shown = 0;
  zxl_tables_changed();
}

int32_t zxl_register_language(language_record_t *record)
{
  critical_section_guard_t guard(zxl_language_list_lock);
  if ( record == nullptr || record->busy.load() != 0 || slot_of(record) >= 0 )
    return -1;
  const int32_t free_slot = slot_of(nullptr);
  if ( free_slot >= 0 )
  {
    zxl_language_list[size_t(free_slot)] = record;
    return free_slot;
  }
  zxl_language_list.push_back(record);
  return int32_t(zxl_language_list.size() - 1);
}

bool zxl_unregister_language(language_record_t *record)
{
  critical_section_guard_t guard(zxl_language_list_lock);
  const int32_t slot = record != nullptr ? slot_of(record) : -1;
  if ( slot < 0 )
    return false;
  if ( slot == current_language )
  {
    const int32_t zxl_slot = slot_of(&zxl_language_record);
    if ( zxl_slot >= 0 && zxl_slot != slot )
      current_language = zxl_slot;
  }
  if ( record->busy.load() != 0 && !process_exiting.load() )
    interr(1442);
  zxl_language_list[size_t(slot)] = nullptr;
  return true;
}

language_record_t *zxl_language_at(int32_t slot)
{
  critical_section_guard_t guard(zxl_language_list_lock);
  return slot >= 0 && size_t(slot) < zxl_language_list.size() ? zxl_language_list[size_t(slot)] : nullptr;
}

int32_t zxl_current_language()
{
  critical_section_guard_t guard(zxl_language_list_lock);
  return current_language;
}

void zxl_set_current_language(int32_t slot)
{
  critical_section_guard_t guard(zxl_language_list_lock);
  current_language = slot;
}

int32_t zxl_take_snippet_slot()
{
  critical_section_guard_t guard(zxl_script_lock);
  zxl_engine_t *engine = zxl_get_engine();
  if ( engine->snippet_slots == ~uint64_t(0) )
    interr(1443);
  const int32_t slot = std::countr_one(engine->snippet_slots);
  engine->snippet_slots |= uint64_t(1) << slot;
  return slot;
}

void zxl_release_snippet_slot(int32_t slot)
{
  critical_section_guard_t guard(zxl_script_lock);
  zxl_engine_t *engine = zxl_get_engine();
  const uint64_t bit = slot >= 0 && slot < 64 ? uint64_t(1) << slot : 0;
  if ( (engine->snippet_slots & bit) == 0 )
    interr(1444);
  engine->snippet_slots &= ~bit;
}
