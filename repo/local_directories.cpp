// Directory creation with parents.
#include "repo/local_directories.h"

#include "core/error_state.h"
#include "core/file_ops.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

int mkdir_parents(char *path)
{
  if ( is_directory(path) )
    return 0;
  char *slash = std::strrchr(path, '/');
  if ( slash != nullptr && slash != path )
  {
    *slash = '\0';
    mkdir_parents(path); // its failure shows in the final creation below
    *slash = '/';
  }
  return make_directory(path, 0777);
}

bool make_directories(const char *path)
{
  char copy[PATH_MAX];
  const size_t length = std::strlen(path);
  if ( length >= sizeof(copy) )
  {
    errno = ENAMETOOLONG;
    qerrno_set(1);
    return false;
  }
  std::memcpy(copy, path, length + 1);
  std::replace(copy, copy + length, '\\', '/');
  return mkdir_parents(copy) == 0 || is_directory(copy);
}
