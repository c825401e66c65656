// The process-wide include search path and the script engine's lock that guards it.
#include "core/include_search.h"

#include "core/directories.h"
#include "core/file_ops.h"

#include <atomic>
#include <cstring>
#include <strings.h>

namespace
{

std::atomic<include_search_path_getter_t> search_path_getter {nullptr};
std::atomic<critical_section_t *> installed_script_lock {nullptr};

// True and the joined path in buf when dir/name is an existing file.
bool try_directory(char *buf, size_t size, const char *dir, const char *name)
{
  return join_path(buf, ptrdiff_t(size), dir, name, nullptr) != nullptr && file_exists(buf);
}

} // namespace

bool include_search_path_t::set_paths(const char *text, bool extend)
{
  critical_section_guard_t guard(script_lock());
  if ( !extend )
    paths_.clear();
  if ( text == nullptr )
    return true;
  const char *p = text;
  while ( *p != '\0' )
  {
    const size_t n = strcspn(p, ";:");
    if ( n != 0 )
      paths_.push_back(qstring(p, n));
    p += n;
    if ( *p != '\0' )
      ++p;
  }
  return true;
}

char *include_search_path_t::find(char *buf, size_t size, const char *name, const char *start_after)
{
  critical_section_guard_t guard(script_lock());
  bool skipping = start_after != nullptr;
  for ( const qstring &entry : paths_ )
  {
    if ( skipping )
    {
      // include_next: only the entries after the including file's own directory are searched
      if ( strcasecmp(entry.c_str(), start_after) == 0 )
        skipping = false;
      continue;
    }
    if ( try_directory(buf, size, entry.c_str(), name) )
      return buf;
  }
  if ( !defaults_filled_ )
  {
    collect_search_dirs(&default_dirs_, "zxl", 0);
    defaults_filled_ = true;
  }
  for ( const qstring &dir : default_dirs_ )
    if ( try_directory(buf, size, dir.c_str(), name) )
      return buf;
  return find_in_search_dirs(buf, ptrdiff_t(size), name, nullptr);
}

include_search_path_getter_t set_include_search_path_getter(include_search_path_getter_t getter)
{
  return search_path_getter.exchange(getter);
}

include_search_path_t *include_search_path()
{
  const include_search_path_getter_t getter = search_path_getter.load();
  return getter != nullptr ? getter() : nullptr;
}

critical_section_t *set_script_lock(critical_section_t *lock)
{
  return installed_script_lock.exchange(lock);
}

critical_section_t *script_lock()
{
  return installed_script_lock.load();
}

bool set_include_paths(const char *text, bool extend)
{
  include_search_path_t *search = include_search_path();
  return search == nullptr || search->set_paths(text, extend);
}
