// Install, per-user, search, configuration and temporary directories, and temporary file names.
#include "core/directories.h"
#include "core/directories_p.h"

#include "core/environment.h"
#include "core/error_state.h"
#include "core/file_ops.h"
#include "core/internal_error.h"
#include "core/printf_format.h"
#include "core/threads.h"
#include "core/random_bytes.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string_view>
#include <unistd.h>

namespace
{

// Process-wide caches, filled and read under core_process_lock.
char install_dir_cache[PATH_MAX];
qstring *per_user_dir_cache = nullptr;
qvector<qstring> *user_dirs_cache = nullptr;

// With a null buffer make_temp_file_name answers in this one.
char shared_temp_name[PATH_MAX];

const char *const temp_template = "zuk12345.tmp";
constexpr size_t temp_digits_from_end = 9; // the five digits start nine characters before the end
constexpr int max_temp_name_attempts = 1 << 20;

struct kind_variable_t
{
  const char *kind;
  const char *variable;
};

constexpr kind_variable_t kind_variables[] = {
    {"sig", "ZUKSGN"},
    {"ids", "ZUKIDS"},
    {"zxl", "ZUKZXL"},
    {"til", "ZUKTIL"},
};

const char *kind_variable(const char *kind)
{
  if ( kind == nullptr )
    return nullptr;
  for ( const kind_variable_t &kv : kind_variables )
  {
    if ( std::strcmp(kv.kind, kind) == 0 )
      return kv.variable;
  }
  return nullptr;
}

bool fits_error(char *buf, ptrdiff_t size, std::string_view text)
{
  if ( buf == nullptr || size <= 0 || text.size() >= size_t(size) )
  {
    errno = ENAMETOOLONG;
    qerrno_set(1);
    return false;
  }
  std::memcpy(buf, text.data(), text.size());
  buf[text.size()] = '\0';
  return true;
}

// Appends dir (joined with kind when given) when it fits and, with SEARCH_EXISTING_ONLY, is a directory.
size_t append_search_dir(qvector<qstring> *out, const char *dir, const char *kind, int flags)
{
  if ( dir == nullptr || *dir == '\0' )
    return 0;
  char path[PATH_MAX];
  if ( join_path(path, sizeof(path), dir, kind, nullptr) == nullptr )
    return 0;
  if ( (flags & SEARCH_EXISTING_ONLY) != 0 && !is_directory(path) )
    return 0;
  out->emplace_back(path);
  return 1;
}

// Splits a list of directories at ';' and ':' into out, skipping empty entries.
void split_dir_list(qvector<qstring> *out, std::string_view list)
{
  size_t start = 0;
  while ( start <= list.size() )
  {
    size_t end = list.find_first_of(";:", start);
    if ( end == std::string_view::npos )
      end = list.size();
    if ( end > start )
      out->emplace_back(list.substr(start, end - start));
    start = end + 1;
  }
}

// The per-process counter that stands in when the random source fails.
uint32_t fallback_temp_number()
{
  static std::atomic<uint32_t> counter;
  static std::once_flag started;
  std::call_once(started, [] {
    const uint32_t seconds = uint32_t(std::time(nullptr));
    counter = (uint32_t(std::rand() % 1000) + seconds * 1000u) % 100000u;
  });
  return counter++;
}

uint32_t draw_temp_number()
{
  uint32_t number = 0;
  if ( !random_bytes(&number, sizeof(number)) )
    number = fallback_temp_number();
  return number;
}

} // namespace

void temp_name_digits(uint32_t drawn, char digits[5])
{
  if ( drawn > 0x1FFFF )
    drawn = (drawn & 0x1FFFF) ^ (drawn >> 17);
  // "%05u" into six bytes keeps the first five characters of a larger number.
  char printed[6];
  buf_printf(printed, sizeof(printed), "%05u", drawn);
  std::memcpy(digits, printed, 5);
}

const char *install_directory(const char *name)
{
  {
    critical_section_guard_t guard(core_process_lock());
    if ( install_dir_cache[0] == '\0' )
    {
      char exe[PATH_MAX];
      if ( executable_path(exe, sizeof(exe)) == nullptr )
        return nullptr;
      if ( !is_directory(exe) )
        path_directory(exe, sizeof(exe), exe);
      std::memcpy(install_dir_cache, exe, std::strlen(exe) + 1);
    }
  }
  if ( name == nullptr )
    return install_dir_cache;
  qstring &result = current_error_state().path_buf;
  char path[PATH_MAX];
  if ( join_path(path, sizeof(path), install_dir_cache, name, nullptr) == nullptr )
    return nullptr;
  result = path;
  return result.c_str();
}

void install_dir_string(qstring *out)
{
  const char *dir = install_directory(nullptr);
  *out = dir != nullptr ? dir : "";
}

char *executable_path(char *buf, ptrdiff_t size)
{
  if ( buf == nullptr || size <= 0 )
  {
    errno = ENAMETOOLONG;
    qerrno_set(1);
    return nullptr;
  }
  const ssize_t n = readlink("/proc/self/exe", buf, size_t(size));
  if ( n < 0 )
  {
    qerrno_set(1);
    return nullptr;
  }
  if ( n >= size )
  {
    errno = ENAMETOOLONG;
    qerrno_set(1);
    return nullptr;
  }
  buf[n] = '\0';
  return buf;
}

bool known_folder_path(char *buf, ptrdiff_t size, int folder)
{
  if ( folder != KNOWN_FOLDER_APPDATA )
    return false;
  qstring value;
  if ( read_env_var("XDG_CONFIG_HOME", &value) && !value.empty() )
    return fits_error(buf, size, value.view());
  if ( !read_env_var("HOME", &value) || value.empty() )
    return false;
  char path[PATH_MAX];
  if ( join_path(path, sizeof(path), value.c_str(), ".config", nullptr) == nullptr )
    return false;
  return fits_error(buf, size, path);
}

bool user_directory(qstring *out)
{
  critical_section_guard_t guard(core_process_lock());
  if ( per_user_dir_cache == nullptr )
  {
    char path[PATH_MAX];
    if ( !known_folder_path(path, sizeof(path), KNOWN_FOLDER_APPDATA) )
      return false;
    // Unlike the Windows folder, ~/.config may not exist yet on a fresh account.
    // A failure shows when the levels below cannot be made either.
    if ( !is_directory(path) )
      (void)make_directory(path, 0777);
    for ( const char *level : {"Quorvin", "Zukwerk"} )
    {
      if ( join_path(path, sizeof(path), path, level, nullptr) == nullptr )
        return false;
      if ( !file_exists(path) )
        (void)make_directory(path, 0777); // an existing directory makes this fail; that is fine
    }
    per_user_dir_cache = new qstring(path);
  }
  *out = *per_user_dir_cache;
  return true;
}

const qvector<qstring> &user_directories()
{
  critical_section_guard_t guard(core_process_lock());
  if ( user_dirs_cache == nullptr )
  {
    qvector<qstring> dirs;
    qstring list;
    if ( read_env_var("ZUKUSR", &list) )
      split_dir_list(&dirs, list.view());
    if ( dirs.empty() )
    {
      qstring own;
      if ( user_directory(&own) )
        dirs.push_back(own);
    }
    if ( dirs.empty() )
      interr(1450);
    user_dirs_cache = new qvector<qstring>(std::move(dirs));
  }
  return *user_dirs_cache;
}

size_t collect_search_dirs(qvector<qstring> *out, const char *kind, int flags)
{
  size_t added = 0;
  const char *install = install_directory(nullptr);
  if ( (flags & SEARCH_INSTALL_FIRST) != 0 )
    added += append_search_dir(out, install, kind, flags);
  for ( const qstring &dir : user_directories() )
    added += append_search_dir(out, dir.c_str(), kind, flags);
  if ( const char *variable = kind_variable(kind) )
  {
    qstring value;
    if ( read_env_var(variable, &value) )
      added += append_search_dir(out, value.c_str(), nullptr, flags);
  }
  if ( (flags & SEARCH_INSTALL_FIRST) == 0 )
    added += append_search_dir(out, install, kind, flags);
  return added;
}

char *find_in_search_dirs(char *buf, ptrdiff_t size, const char *file_name, const char *kind)
{
  qvector<qstring> dirs;
  collect_search_dirs(&dirs, kind, 0);
  for ( const qstring &dir : dirs )
  {
    if ( join_path(buf, size, dir.c_str(), file_name, nullptr) != nullptr && file_exists(buf) )
      return buf;
  }
  return nullptr;
}

bool config_directories(qvector<qstring> *out)
{
  collect_search_dirs(out, "cfg", SEARCH_INSTALL_FIRST | SEARCH_EXISTING_ONLY);
  qstring own;
  if ( user_directory(&own) && is_directory(own.c_str()) )
    out->push_back(own);
  return !out->empty();
}

bool find_config_files(qvector<qstring> *out, const char *file_name)
{
  qvector<qstring> dirs;
  config_directories(&dirs);
  for ( const qstring &dir : dirs )
  {
    char path[PATH_MAX];
    if ( join_path(path, sizeof(path), dir.c_str(), file_name, nullptr) != nullptr && file_exists(path) )
      out->emplace_back(path);
  }
  return !out->empty();
}

char *temp_directory(char *buf, ptrdiff_t size)
{
  qstring value;
  if ( !read_env_var("TMPDIR", &value) || value.empty() )
    value = "/tmp";
  return fits_error(buf, size, value.view()) ? buf : nullptr;
}

char *make_temp_file_name(char *buf, ptrdiff_t size)
{
  if ( size < 0 )
    interr(1225);
  if ( buf == nullptr )
  {
    buf = shared_temp_name;
    size = sizeof(shared_temp_name);
  }
  char dir[PATH_MAX];
  if ( temp_directory(dir, sizeof(dir)) == nullptr || !is_directory(dir) )
    std::memcpy(dir, ".", 2);
  if ( join_path(buf, size, dir, temp_template, nullptr) == nullptr )
    return nullptr;
  char *digits = buf + std::strlen(buf) - temp_digits_from_end;
  for ( int attempt = 0; attempt < max_temp_name_attempts; ++attempt )
  {
    temp_name_digits(draw_temp_number(), digits);
    if ( !file_exists(buf) )
      return buf;
  }
  errno = EEXIST;
  qerrno_set(1);
  return nullptr;
}

FILE *create_temp_file(char *buf, ptrdiff_t size)
{
  for ( int attempt = 0; attempt < max_temp_name_attempts; ++attempt )
  {
    if ( make_temp_file_name(buf, size) == nullptr )
      return nullptr;
    FILE *fp = file_create_exclusive(buf);
    if ( fp != nullptr || errno != EEXIST )
      return fp;
  }
  errno = EEXIST;
  qerrno_set(1);
  return nullptr;
}
