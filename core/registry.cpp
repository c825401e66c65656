// Registry settings: typed values under the application's key of the user's settings store.
#include "core/registry.h"

#include "core/environment.h"
#include "core/error_state.h"
#include "core/internal_error.h"
#include "core/process_exit.h"
#include "core/threads.h"
#include "core/ui_callback.h"
#include "platform/registry_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t max_app_name = 1023;
constexpr std::size_t max_key_path = 259;
constexpr std::size_t max_name = 255;
constexpr std::string_view default_app_name = "ZUK";

// What a scope does. Odd modes change the store and hold its lock for the whole operation; a subkey is
// created exactly when the two low bits equal 1; bit 2 requires a subkey.
enum registry_mode_t : int
{
  mode_read = 0,       // read a value, list names
  mode_write = 1,      // write a value
  mode_delete = 3,     // delete a value, a key or a tree
  mode_read_list = 4,  // read a numbered list
  mode_history = 5,    // update a history list
};

// One application name's access to the store, kept for the life of the process.
struct registry_accessor_t
{
  ~registry_accessor_t() { lock_destroy(lock); }

  critical_section_t *lock = lock_create();  // recursive; owned; serialises the threads of the process
  std::string app_name;
  std::string key_path;                      // fixed at creation
  std::string value_name;                    // of the current scope, cleaned
  std::string subkey;                        // of the current scope, cleaned
  std::unique_ptr<registry_store_t> store;   // the cross-process side, opened by the first scope
  std::string scope_key;                     // full path of the key the current scope opened; empty when none
  int open_scopes = 0;
};

// The accessors and the current one; changed only under registry_global_lock.
std::mutex registry_global_lock;
std::vector<std::unique_ptr<registry_accessor_t>> registry_accessors;
registry_accessor_t *registry_current = nullptr;

// One operation under the accessor's locks. The destructor ends a scope that an exception left open,
// dropping its unfinished changes.
struct registry_scope_t
{
  registry_scope_t() = default;
  registry_scope_t(const registry_scope_t &) = delete;
  registry_scope_t &operator=(const registry_scope_t &) = delete;
  ~registry_scope_t();

  registry_accessor_t *accessor = nullptr;
  int mode = mode_read;
  bool key_missing = false;  // the (sub)key was just created, or could not be opened
  bool open = false;
};

bool names_a_key(std::string_view path)
{
  return path.find_first_not_of('\\') != std::string_view::npos;
}

// Copies a name cut to 255 bytes, with control bytes and the separators of the store turned into '_'.
std::string registry_sanitize_name(const char *name, bool value_name)
{
  std::string s = name == nullptr ? std::string() : std::string(name, strnlen(name, max_name));
  for ( char &c : s )
  {
    const auto u = static_cast<unsigned char>(c);
    if ( u < 0x20 || c == '/' || c == ':' || (value_name && c == '\\') )
      c = '_';
  }
  return s;
}

std::string store_dir()
{
  qstring xdg;
  qstring home;
  read_env_var("XDG_CONFIG_HOME", &xdg);
  read_env_var("HOME", &home);
  return registry_store_t::default_dir(xdg.view(), home.view());
}

// Under registry_global_lock.
registry_accessor_t *create_accessor(std::string_view name)
{
  auto acc = std::make_unique<registry_accessor_t>();
  acc->app_name = std::string(name.substr(0, max_app_name));
  qstring spec;
  // A setting that names no key at all cannot stand for the application key: it is ignored like an
  // empty one.
  if ( read_env_var("ZUKREG_SPEC", &spec) && names_a_key(spec.view().substr(0, max_key_path)) )
    acc->key_path = std::string(spec.view().substr(0, max_key_path));
  else
    acc->key_path = ("Software\\Quorvin\\" + acc->app_name).substr(0, max_key_path);
  const bool first = registry_accessors.empty();
  registry_accessors.push_back(std::move(acc));
  if ( first )
    add_exit_handler(registry_shutdown);
  return registry_accessors.back().get();
}

// Ends the scope: the store's operation ends with the last scope (its changes written when `keep`), and the
// accessor's lock is left. Returns the store's error; a recovery report goes to `report`.
int registry_end(registry_scope_t *scope, bool keep, std::string *report)
{
  registry_accessor_t *acc = scope->accessor;
  int rc = 0;
  acc->scope_key.clear();
  if ( --acc->open_scopes == 0 )
  {
    if ( keep )
      rc = acc->store->end();
    else
      acc->store->abandon();
    *report = acc->store->take_recovery_report();
  }
  scope->open = false;
  lock_leave(acc->lock);
  return rc;
}

[[noreturn]] void registry_fatal(registry_scope_t *scope, int code)
{
  std::string ignored;
  if ( scope->open )
    registry_end(scope, false, &ignored);
  fatal_printf("Fatal registry error: %s", win_error_text(static_cast<uint32_t>(code)));
}

void registry_close(registry_scope_t *scope)
{
  std::string report;
  if ( const int rc = registry_end(scope, true, &report); rc != 0 )
    fatal_printf("Fatal registry error: %s", win_error_text(static_cast<uint32_t>(rc)));
  // Reported once the locks are free: the answering side may read settings itself.
  if ( !report.empty() )
    warning_printf("%s", report.c_str());
}

registry_scope_t::~registry_scope_t()
{
  std::string ignored;
  if ( open )
    registry_end(this, false, &ignored);
}

void registry_open(registry_scope_t *scope, const char *name, const char *subkey, int mode)
{
  registry_accessor_t *acc;
  {
    std::lock_guard<std::mutex> guard(registry_global_lock);
    if ( registry_current == nullptr )
      registry_current = create_accessor(default_app_name);
    acc = registry_current;
  }
  lock_enter(acc->lock);
  scope->accessor = acc;
  scope->mode = mode;
  scope->key_missing = false;
  scope->open = true;
  if ( acc->store == nullptr )
    acc->store = std::make_unique<registry_store_t>(store_dir());
  if ( acc->open_scopes++ == 0 )
    if ( const int rc = acc->store->begin((mode & 1) != 0); rc != 0 )
    {
      // The store's operation never began: there is nothing to end but the count and the lock.
      --acc->open_scopes;
      scope->open = false;
      lock_leave(acc->lock);
      fatal_printf("Fatal registry error: %s", win_error_text(static_cast<uint32_t>(rc)));
    }

  acc->value_name = registry_sanitize_name(name, true);
  if ( (mode & 4) != 0 && (subkey == nullptr || *subkey == '\0') )
  {
    registry_close(scope);
    interr(2716);
  }
  acc->subkey = registry_sanitize_name(subkey, false);

  bool created = false;
  if ( const int rc = acc->store->create_key(acc->key_path, created); rc != 0 )
    registry_fatal(scope, rc);
  scope->key_missing = created;
  acc->scope_key = acc->key_path;
  if ( acc->subkey.empty() )
    return;
  // Built in place: the key's buffer is reused from one operation to the next.
  std::string &path = acc->scope_key;
  path.append("\\").append(acc->subkey);
  if ( (mode & 3) == 1 )
  {
    if ( const int rc = acc->store->create_key(path, created); rc != 0 )
      registry_fatal(scope, rc);
    scope->key_missing = created;
  }
  else if ( acc->store->key_exists(path) )
    scope->key_missing = false;
  else
  {
    scope->key_missing = true;
    path.clear();
  }
}

// The current value of the scope, or null when it is missing (no name, no key, or no bytes).
const registry_value_t *registry_query_value(registry_scope_t *scope)
{
  const registry_accessor_t *acc = scope->accessor;
  if ( acc->value_name.empty() || acc->scope_key.empty() )
    return nullptr;
  const registry_value_t *v = acc->store->find_value(acc->scope_key, acc->value_name);
  return v == nullptr || v->data.empty() ? nullptr : v;
}

void registry_set_value(registry_scope_t *scope, registry_value_t value)
{
  registry_accessor_t *acc = scope->accessor;
  if ( acc->value_name.empty() )
    return;
  if ( const int rc = acc->store->set_value(acc->scope_key, acc->value_name, std::move(value)); rc != 0 )
    registry_fatal(scope, rc);
}

// Deletes the current value: true when it was there.
bool registry_delete_value(registry_scope_t *scope)
{
  registry_accessor_t *acc = scope->accessor;
  const int rc = acc->store->remove_value(acc->scope_key, acc->value_name);
  if ( rc != 0 && rc != ENOENT )
    registry_fatal(scope, rc);
  return rc == 0;
}

// Reads the numbered list of the scope's key into `out`, skipping entries it already holds. Returns how
// many stored values the list spans.
std::size_t registry_read_numbered(registry_scope_t *scope, std::vector<std::string> &out)
{
  std::size_t index = 0;
  for ( ;; ++index )
  {
    scope->accessor->value_name = std::to_string(index);
    const registry_value_t *v = registry_query_value(scope);
    if ( v == nullptr || v->type != registry_type_t::text )
      return index;
    if ( std::find(out.begin(), out.end(), v->data) == out.end() )
      out.push_back(v->data);
  }
}

bool same_entry(std::string_view a, std::string_view b, bool nocase)
{
  if ( !nocase )
    return a == b;
  return a.size() == b.size() && !registry_name_less()(a, b) && !registry_name_less()(b, a);
}

bool remove_key(const char *subkey, bool tree)
{
  if ( subkey == nullptr || *subkey == '\0' )
    return false;
  registry_scope_t scope;
  registry_open(&scope, nullptr, nullptr, mode_delete);
  bool result = true;
  if ( !scope.key_missing )
  {
    registry_accessor_t *acc = scope.accessor;
    const std::string path = registry_sanitize_name(subkey, false);
    // A path of separators only would name the application key itself.
    if ( !names_a_key(path) )
      result = false;
    else
    {
      const int rc = acc->store->remove_key(acc->key_path + "\\" + path, tree);
      if ( rc != 0 && rc != ENOENT && rc != ENOTEMPTY )
        registry_fatal(&scope, rc);
      result = rc == 0;
    }
  }
  registry_close(&scope);
  return result;
}

}  // namespace

int32_t registry_int(const char *name, bool write, int32_t value, const char *subkey)
{
  registry_scope_t scope;
  registry_open(&scope, name, subkey, write ? mode_write : mode_read);
  if ( write )
    registry_set_value(&scope, registry_value_t::integer(value));
  else if ( const registry_value_t *v = registry_query_value(&scope); v != nullptr && v->type == registry_type_t::integer )
    value = v->as_integer();
  registry_close(&scope);
  return value;
}

bool registry_read_text(qstring *out, const char *name, const char *subkey)
{
  registry_scope_t scope;
  registry_open(&scope, name, subkey, mode_read);
  const registry_value_t *v = registry_query_value(&scope);
  const bool found = v != nullptr && v->type == registry_type_t::text;
  if ( found )
    out->assign(v->data.data(), v->data.size());
  registry_close(&scope);
  return found;
}

void registry_write_text(const char *name, const char *subkey, const char *text)
{
  registry_scope_t scope;
  registry_open(&scope, name, subkey, mode_write);
  if ( text != nullptr )
    registry_set_value(&scope, registry_value_t::text(text));
  registry_close(&scope);
}

bool registry_binary(const char *name, bool write, void *buffer, size_t size, const char *subkey, int kind)
{
  auto *bytes = static_cast<byte_buffer_t *>(buffer);
  registry_scope_t scope;
  registry_open(&scope, name, subkey, write ? mode_write : mode_read);
  bool ok = true;
  if ( write )
  {
    const std::string_view data = kind == registry_binary_buffer
                                  ? std::string_view(reinterpret_cast<const char *>(bytes->data()), bytes->size())
                                  : std::string_view(static_cast<const char *>(buffer), size);
    registry_set_value(&scope, registry_value_t::binary(data));
  }
  else
  {
    const registry_value_t *v = registry_query_value(&scope);
    ok = v != nullptr && v->type == registry_type_t::binary;
    if ( ok && kind == registry_binary_buffer )
    {
      bytes->resize(v->data.size());
      std::memcpy(bytes->data(), v->data.data(), v->data.size());
    }
    else if ( ok )
    {
      ok = kind != registry_binary_exact || v->data.size() <= size;
      if ( ok )
        std::memcpy(buffer, v->data.data(), std::min(size, v->data.size()));
    }
  }
  registry_close(&scope);
  return ok;
}

bool registry_remove_value(const char *name, const char *subkey)
{
  registry_scope_t scope;
  registry_open(&scope, name, subkey, mode_delete);
  const bool result = scope.key_missing || registry_delete_value(&scope);
  registry_close(&scope);
  return result;
}

bool registry_remove_key(const char *subkey)
{
  return remove_key(subkey, false);
}

bool registry_remove_tree(const char *subkey)
{
  return remove_key(subkey, true);
}

void registry_read_list(qvector<qstring> *out, const char *subkey)
{
  registry_scope_t scope;
  registry_open(&scope, nullptr, subkey, mode_read_list);
  if ( !scope.key_missing )
  {
    std::vector<std::string> held;
    held.reserve(out->size());
    for ( const qstring &s : *out )
      held.emplace_back(s.view());
    const std::size_t known = held.size();
    registry_read_numbered(&scope, held);
    for ( std::size_t i = known; i < held.size(); ++i )
      out->push_back(qstring(held[i].data(), held[i].size()));
  }
  registry_close(&scope);
}

bool registry_list_names(qvector<qstring> *out, const char *subkey, bool subkeys)
{
  registry_scope_t scope;
  registry_open(&scope, nullptr, subkey, mode_read);
  std::vector<std::string> names;
  const bool found = !scope.key_missing
                  && scope.accessor->store->list_names(scope.accessor->scope_key, subkeys, names) == 0;
  registry_close(&scope);
  for ( const std::string &name : names )
    out->push_back(qstring(name.data(), name.size()));
  return found;
}

void registry_push_history(const char *subkey, const char *entry, uint32_t maximum, const char *drop, bool nocase)
{
  qstring no_history;
  if ( read_env_var("ZUK_NO_HISTORY", &no_history) || maximum < 1 || maximum > 1000 )
    return;
  registry_scope_t scope;
  registry_open(&scope, nullptr, subkey, mode_history);
  // An empty text would read back as a missing value and end the list there: it is no entry.
  const bool has_entry = entry != nullptr && *entry != '\0';
  std::vector<std::string> list;
  if ( has_entry )
    list.emplace_back(entry);
  std::size_t stored_count = 0;
  if ( !scope.key_missing )
  {
    std::vector<std::string> stored;
    stored_count = registry_read_numbered(&scope, stored);
    for ( std::size_t i = 0; i < stored.size(); ++i )
    {
      if ( drop != nullptr && same_entry(stored[i], drop, nocase) )
      {
        if ( i == 0 && has_entry && same_entry(entry, drop, nocase) )
        {
          registry_close(&scope);
          return;
        }
        continue;
      }
      if ( std::find(list.begin(), list.end(), stored[i]) != list.end() )
        continue;
      if ( list.size() >= maximum )
        break;
      list.push_back(stored[i]);
    }
  }
  const std::size_t count = std::max(stored_count, list.size());
  for ( std::size_t i = 0; i < count; ++i )
  {
    scope.accessor->value_name = std::to_string(i);
    if ( i < list.size() )
      registry_set_value(&scope, registry_value_t::text(list[i]));
    else
      registry_delete_value(&scope);
  }
  registry_close(&scope);
}

void registry_group(const std::function<void()> &body)
{
  // The operations inside nest in this scope: the store's operation begins and ends with it.
  registry_scope_t scope;
  registry_open(&scope, nullptr, nullptr, mode_write);
  body();
  registry_close(&scope);
}

bool registry_select_app(const char *name)
{
  if ( name == nullptr || *name == '\0' || std::strpbrk(name, "/\\") != nullptr )
    return false;
  // Compared as stored, so that a name longer than the limit finds its accessor again.
  const std::string_view wanted = std::string_view(name).substr(0, max_app_name);
  std::lock_guard<std::mutex> guard(registry_global_lock);
  const auto it = std::find_if(registry_accessors.begin(), registry_accessors.end(),
                               [&](const auto &acc) { return acc->app_name == wanted; });
  registry_current = it != registry_accessors.end() ? it->get() : create_accessor(wanted);
  return true;
}

void registry_current_app(qstring *out)
{
  std::lock_guard<std::mutex> guard(registry_global_lock);
  const std::string_view name = registry_current != nullptr ? std::string_view(registry_current->app_name)
                                                            : default_app_name;
  out->assign(name.data(), name.size());
}

void registry_shutdown()
{
  std::lock_guard<std::mutex> guard(registry_global_lock);
  while ( !registry_accessors.empty() )
  {
    registry_accessor_t *acc = registry_accessors.back().get();
    // Waits for an operation of another thread to finish; an open scope found afterwards is this thread's.
    lock_enter(acc->lock);
    if ( acc->open_scopes > 0 )
    {
      acc->store->end();
      acc->open_scopes = 0;
      lock_leave(acc->lock);
    }
    acc->store.reset();
    if ( registry_current == acc )
      registry_current = nullptr;
    lock_leave(acc->lock);
    registry_accessors.pop_back();
  }
}
