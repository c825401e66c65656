// Confinement of work-directory paths to a site root: every path is resolved, then refused when it
// leads outside the root.
#pragma once

#include "core/qstring.h"

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

// Resolution as text, for file systems that are not the operating system's: a path that is not absolute
// (after an optional drive "C:") is joined to cwd; empty, "." and ".." segments are applied. A ".." above
// the start of a relative text leaves it. *resolved is the normalised path.
int confine_text_path(qstring *resolved, const char *root, const char *cwd, const char *path);
