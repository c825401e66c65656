// Disassembler database recognition.
#include "repo/database_files.h"

#include "core/file_ops.h"

#include <climits>
#include <cstring>

namespace {

// The extension of the path's file name (after its last '.'), or null when it has none.
const char *extension_of(const char *path)
{
  const char *name = path_file_name(path);
  if ( name == nullptr )
    return nullptr;
  const char *dot = std::strrchr(name, '.');
  return dot != nullptr ? dot + 1 : nullptr;
}

bool has_extension(const char *path, const char *ext)
{
  const char *actual = extension_of(path);
  return actual != nullptr && std::strcmp(actual, ext) == 0;
}

} // namespace

qstring zuk_executable_path(bool is_64bit)
{
  char joined[PATH_MAX];
  join_path(joined, sizeof(joined), "%I", is_64bit ? "zuk64" : "zuk", nullptr);
  return qstring(joined);
}

bool is_database_path(const char *path)
{
  return has_extension(path, "zdb") || has_extension(path, "z64");
}

bool database_executable(const char *path, qstring *executable)
{
  if ( has_extension(path, "z64") )
    *executable = zuk_executable_path(true);
  else if ( has_extension(path, "zdb") )
    *executable = zuk_executable_path(false);
  else
    return false;
  return true;
}
