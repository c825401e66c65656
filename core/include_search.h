// The process-wide include search path of the preprocessor, reached through a getter the script engine installs.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "core/threads.h"

#include <cstddef>

// The directories that #include searches after the including files' own directories. Promises: every
// operation runs under script_lock() when one is installed; the default directories are collected once,
// at the first search that needs them.
class include_search_path_t
{
public:
  // Without extend the list is emptied first; a null text then leaves it empty. Otherwise the text is
  // split at ';' and ':' and every non-empty piece is appended as written. Always true.
  bool set_paths(const char *text, bool extend);
  // The first existing file `name` in: the list (when start_after is given, only the entries after the
  // one equal to it, ignoring case), then the "zxl" search directories, then the program's search
  // directories. The joined path in buf (size bytes) and returned; null when none holds it.
  char *find(char *buf, size_t size, const char *name, const char *start_after);

private:
  qvector<qstring> paths_;
  qvector<qstring> default_dirs_;
  bool defaults_filled_ = false;
};

// Returns the process-wide search path object; the script engine owns it and never frees it.
using include_search_path_getter_t = include_search_path_t *(*)();

// Installs the getter (null removes it) and returns the previous one. Until one is installed the
// include search has no extra directories.
include_search_path_getter_t set_include_search_path_getter(include_search_path_getter_t getter);
// The object of the installed getter, called anew on every use; null without a getter.
include_search_path_t *include_search_path();

// The script engine's process-wide lock, installed by the engine's start-up; null (no locking) before.
// Returns the previous one.
critical_section_t *set_script_lock(critical_section_t *lock);
critical_section_t *script_lock();

// include_search_path_t::set_paths on the process-wide object; true without one.
bool set_include_paths(const char *text, bool extend);
