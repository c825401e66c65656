// The ZXL engine: its process-wide state and locks, start-up and teardown, the language record and the
// process-wide list of registered languages, snippet slots and the name resolver.
#pragma once

#include "script/runtime/zxl_tables.h"
#include "script/runtime/zxl_value.h"

#include "core/include_search.h"
#include "core/language_record.h"
#include "core/qvector.h"
#include "core/threads.h"
#include "core/token_reader.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Runs the destructor `function_index` for an object whose count the release protocol has raised: a fresh
// context without UI, a copy of the object as the one argument, failures ignored. Installed by the
// interpreter; without one, destructors do not run.
using zxl_destructor_runner_t = void (*)(int32_t function_index, zxl_object_t *object);

// Hashes names by their characters, so the name indexes are searched with a plain C string or a view and
// no lookup copies the name.
struct zxl_name_hash
{
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>()(name); }
};
using zxl_name_index_t = std::unordered_map<std::string, int32_t, zxl_name_hash, std::equal_to<>>;

struct token_reader_deleter
{
  void operator()(token_reader_t *reader) const { destroy_token_reader(reader); }
};

// The engine, one per process: made on first use, never destroyed, only cleared. Promises: every table is
// read and changed under zxl_script_lock; a name index maps a name to the position the lookup rules give
// (the last function, the first class, the first global of that name).
struct zxl_engine_t
{
  std::vector<std::unique_ptr<zxl_function_t>> functions;
  std::unique_ptr<token_reader_t, token_reader_deleter> reader;
  size_t saved_native_count = 0;
  uint64_t snippet_slots = 0; // bit N set while snippet N runs
  std::vector<std::unique_ptr<zxl_class_t>> classes;
  qvector<zxl_global_t> globals;
  int64_t run_start = -1; // seconds; -1 when the current run is not timed
  uint8_t wait_box_shown = 0;
  std::vector<std::unique_ptr<zxl_native_t>> natives;
  include_search_path_t include_paths; // the core's #include search reaches it through a getter
  zxl_destructor_runner_t destructor_runner = nullptr;

  zxl_name_index_t function_names;
  zxl_name_index_t class_names;
  zxl_name_index_t global_names;
  std::atomic<uint64_t> tables_generation = 1; // see zxl_tables_generation
};

// The engine (made zero-filled on the first call, thread-safe).
zxl_engine_t *zxl_get_engine();

// The recursive lock over every engine table, and the lock of the language list; null before zxl_init and
// after zxl_shutdown.
extern critical_section_t *zxl_script_lock;
extern critical_section_t *zxl_language_list_lock;

// The ZXL language record: name "ZXL", extension "zxl"; the program fills the highlighter word.
extern language_record_t zxl_language_record;

// Starts the engine, once, from the main routine on the main thread: registers zxl_shutdown as an exit
// handler, makes both locks (internal error 486 when it cannot), the token reader, saves the native count,
// defines the classes "object", "typeinfo" and "exception" (0, 1, 2 in a fresh engine), installs the script
// lock and the engine's include search path in the core, and registers the record (internal error 1447
// unless it gets slot 0).
void zxl_init();
// Teardown on the core's exit path: unregisters the record, clears the engine, removes the lock and the search
// path from the core and deletes both locks.
void zxl_shutdown();
// Frees every compiled function, releases and removes every global (their destructors run first), drops the
// native entries added after start-up, frees the classes from the last to the first and the token reader.
void zxl_engine_clear();

// Registers a record: its slot index (the first free slot, else a new one); -1 for a null record, a busy one
// or one already listed.
[[nodiscard]] int32_t zxl_register_language(language_record_t *record);
// Frees the record's slot: false when it is not listed. When it was the current language, the ZXL record's
// slot becomes current (when listed elsewhere). A busy record outside process exit is internal error 1442.
bool zxl_unregister_language(language_record_t *record);
// The record in a slot (null for a free or missing slot), the current language's slot and its change.
language_record_t *zxl_language_at(int32_t slot);
int32_t zxl_current_language();
void zxl_set_current_language(int32_t slot);

// Takes the lowest free snippet slot (internal error 1443 when all 64 are taken) and gives its number.
int32_t zxl_take_snippet_slot();
// Gives a slot back (internal error 1444 when it is not taken).
void zxl_release_snippet_slot(int32_t slot);

// Answers the index of a name the engine does not know, or -1.
class zxl_name_resolver_t
{
public:
  virtual ~zxl_name_resolver_t() = default;
  virtual int64_t resolve(const char *name) = 0;
};
// Knows no name.
class zxl_default_resolver_t : public zxl_name_resolver_t
{
public:
  int64_t resolve(const char *) override { return -1; }
};
extern zxl_default_resolver_t zxl_default_resolver;
// What every run or compilation hands on: the resolver and the caller's context value, never read here.
struct zxl_resolver_pair_t
{
  zxl_name_resolver_t *resolver = &zxl_default_resolver;
  uint64_t context = 0;
};
