// Unique private files for revision copies, and removal of databases with their component files.
#include "repo/revision_copies.h"

#include "core/directories.h"
#include "core/file_ops.h"
#include "core/text_utils.h"
#include "repo/abstract_fs.h"
#include "repo/database_files.h"
#include "repo/error_detail.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const component_extensions[] = {"zd0", "$$$", "zd1", "nam", "seg", "til", "zd2"};

} // namespace

bool private_temp_directory(qstring *out)
{
  char temp[PATH_MAX];
  const char *base = temp_directory(temp, sizeof(temp));
  if ( base == nullptr || !is_directory(base) )
    base = ".";
  char dir[PATH_MAX];
  const std::string name = "akui-" + std::to_string(geteuid());
  if ( join_path(dir, sizeof(dir), base, name.c_str(), nullptr) == nullptr )
  {
    arkive_errno_error(ENAMETOOLONG, name.c_str());
    return false;
  }
  if ( mkdir(dir, 0700) != 0 && errno != EEXIST )
  {
    arkive_errno_error(-1, dir);
    return false;
  }
  // Someone else may have taken the name first in a shared folder: only our own real folder will do.
  struct stat st;
  if ( lstat(dir, &st) != 0 )
  {
    arkive_errno_error(-1, dir);
    return false;
  }
  if ( !S_ISDIR(st.st_mode) || st.st_uid != geteuid() )
  {
    arkive_errno_error(EPERM, dir);
    return false;
  }
  if ( (st.st_mode & 077) != 0 && chmod(dir, 0700) != 0 )
  {
    arkive_errno_error(-1, dir);
    return false;
  }
  *out = dir;
  return true;
}

qstring unique_temp_name(const char *local_path, const char *tag)
{
  qstring dir;
  if ( !private_temp_directory(&dir) )
    return qstring();
  char stem[PATH_MAX];
  if ( join_path(stem, sizeof(stem), dir.c_str(), path_file_name(local_path), nullptr) == nullptr
    || set_path_extension(stem, sizeof(stem), stem, tag) == nullptr )
  {
    arkive_errno_error(ENAMETOOLONG, local_path);
    return qstring();
  }
  const char *ext = path_extension(local_path);
  for ( unsigned number = 0;; ++number )
  {
    std::string candidate(stem);
    if ( number != 0 )
      candidate += "." + std::to_string(number);
    if ( ext != nullptr )
      candidate += std::string(".") + ext;
    if ( candidate.size() >= PATH_MAX )
    {
      arkive_errno_error(ENAMETOOLONG, candidate.c_str());
      return qstring();
    }
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if ( fd >= 0 )
    {
      close(fd);
      return qstring(candidate);
    }
    if ( errno != EEXIST )
    {
      arkive_errno_error(-1, candidate.c_str());
      return qstring();
    }
  }
}

void delete_database_files(abstract_fs_t *fs, const char *path)
{
  // Best effort: what cannot be removed stays behind as a leftover copy.
  (void)fs->remove(path, 0);
  if ( !is_database_path(path) )
    return;
  char component[PATH_MAX];
  for ( const char *ext : component_extensions )
    if ( set_path_extension(component, sizeof(component), path, ext) != nullptr )
      (void)fs->remove(component, 0);
}
