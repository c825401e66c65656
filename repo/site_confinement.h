// Confinement of work-directory paths to a site root: every path is resolved, then refused when it
// leads outside the root.
#pragma once

#include "core/qstring.h"

#include <mutex>
#include <string>
#include <unordered_set>

// Both functions answer 0 and store in *resolved the path to use, or a repository error code with its
// detail in string argument 0: 42 ("'%s' is outside of site rootdir") when the path leads outside the
// root, 33 when it cannot be resolved (ENAMETOOLONG for a result of PATH_MAX bytes or more, ELOOP for
// more than 40 links). '\' counts as '/'. An empty path names nothing inside and is refused with 42.
// The root itself is inside; a sibling whose name begins with the root's name is not.

// Resolution as the operating system sees the path: a relative path starts at the process's working
// directory, "." and ".." segments are applied, and every symbolic link met on the way is replaced by its
// target, the last component's too when follow_last is true (a trailing '/' always follows it). The root
// is resolved the same way. Components that do not exist are taken as written. *resolved is absolute and
// holds no link (as far as existed when it was resolved), no "." and no ".." segment.
int confine_real_path(qstring *resolved, const char *root, const char *path, bool follow_last);

// Folders met while resolving paths that were folders and no links when they were looked at: a later walk
// takes them as they are without asking the system again. Meant for one batch of work, cleared after it, so
// that a folder replaced meanwhile is seen again by the next batch. Safe from any thread.
class checked_folders_t
{
public:
  [[nodiscard]] bool contains(const std::string &folder) const;
  void add(const std::string &folder);
  void clear();

private:
  mutable std::mutex mutex_;
  std::unordered_set<std::string> folders_; // resolved paths, under mutex_
};

// A site root resolved once, for confining many paths: a path written beneath the root's text is resolved
// from the root's resolution instead of walking the root's components again. Promises: confine answers what
// confine_real_path answers for the same root and path, as long as the root's own components lead where
// they led when resolve ran.
class real_site_root_t
{
public:
  // Resolves the root as confine_real_path does: 0, or an errno value (nothing can be confined then).
  [[nodiscard]] int resolve(const char *root);
  // confine_real_path against the resolved root. With `checked`, folders it holds are passed without a look,
  // and folders found on the way join it.
  [[nodiscard]] int confine(qstring *resolved, const char *path, bool follow_last,
                            checked_folders_t *checked = nullptr) const;

private:
  std::string text_; // the root as written, '\' as '/', without trailing '/'
  std::string real_; // its resolution
};

// Resolution as text, for file systems that are not the operating system's: a path that is not absolute
// (after an optional drive "C:") is joined to cwd; empty, "." and ".." segments are applied. A ".." above
// the start of a relative text leaves it. *resolved is the normalised path.
int confine_text_path(qstring *resolved, const char *root, const char *cwd, const char *path);
