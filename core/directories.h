// The program's well-known directories (install, per-user, search and configuration directories) and
// temporary file names.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstddef>
#include <cstdio>

// Paths are UTF-8 and joined with '/'. The install, per-user and user-directory caches fill at first use
// (under core_process_lock) and then stay; a failed per-user lookup is tried again at the next call.

// Flags of collect_search_dirs.
constexpr int SEARCH_INSTALL_FIRST = 2;  // the install directory comes first (else last)
constexpr int SEARCH_EXISTING_ONLY = 4;  // keep only paths that are existing directories

// The folder id of the per-user application-data folder for known_folder_path.
constexpr int KNOWN_FOLDER_APPDATA = 0x1A;

// Without a name: the install directory, the folder of the running executable (cached; no trailing
// separator unless it is the root), or null when it cannot be found. With a name: the install directory
// joined with the name in the calling thread's own buffer, valid until the thread's next call; null when
// the result does not fit PATH_MAX.
const char *install_directory(const char *name);

// The install directory into out (emptied when the install directory cannot be found).
void install_dir_string(qstring *out);

// The full path of the running executable (not cached) in buf; null (qerrno 1) when it cannot be read or
// does not fit (ENAMETOOLONG).
char *executable_path(char *buf, ptrdiff_t size);

// The per-user directory: the application-data folder with "Quorvin/Zukwerk" appended, each level created
// when missing (failures to create are ignored). False when the application-data folder is unknown.
[[nodiscard]] bool user_directory(qstring *out);

// The user directories: the entries of ZUKUSR (split at ';' and ':', empty entries skipped, used as
// written), else the per-user directory. Cached at first use; no entry at all is internal error 1450.
const qvector<qstring> &user_directories();

// Appends the search directories of a kind (a subdirectory name such as "cfg" or "zxl"; null for the
// directories themselves): the install directory's (first with SEARCH_INSTALL_FIRST, else last), each
// user directory's, and for the kinds "sig", "ids", "zxl" and "til" the value of ZUKSGN, ZUKIDS, ZUKZXL or
// ZUKTIL when set (read at every call). No deduplication. Returns the number appended.
size_t collect_search_dirs(qvector<qstring> *out, const char *kind, int flags);

// The first existing file named file_name in the search directories of kind (install directory last),
// joined into buf; null when none holds it.
char *find_in_search_dirs(char *buf, ptrdiff_t size, const char *file_name, const char *kind);

// Appends the configuration directories: the existing "cfg" search directories, install directory first,
// then the per-user directory itself when it exists. True when out is not empty afterwards.
bool config_directories(qvector<qstring> *out);

// Appends every existing file named file_name in the configuration directories, in their order (a later
// one overrides an earlier one). True when out is not empty afterwards.
[[nodiscard]] bool find_config_files(qvector<qstring> *out, const char *file_name);

// The temporary directory: TMPDIR when set and not empty, else "/tmp". Null when it does not fit
// (ENAMETOOLONG).
char *temp_directory(char *buf, ptrdiff_t size);

// A path "zuk12345.tmp" (five varying digits) in the temporary directory ("." when that is not a
// directory) that names no existing file. The file is not created: create it with
// file_create_exclusive and take a fresh name when that fails with EEXIST, or use create_temp_file.
// With a null buf a process-wide buffer of PATH_MAX bytes is used and returned. Null when the name does
// not fit (ENAMETOOLONG) or no free name was found (EEXIST). A negative size is internal error 1225.
char *make_temp_file_name(char *buf, ptrdiff_t size);

// Creates a new temporary file exclusively under a name of make_temp_file_name (stored in buf), taking
// fresh names on collisions. The stream is open for writing; null (qerrno 1) on failure.
FILE *create_temp_file(char *buf, ptrdiff_t size);

// True and the path of a special folder of the user; only KNOWN_FOLDER_APPDATA is known:
// $XDG_CONFIG_HOME, else $HOME/.config. False for other ids, an unknown home, or a path that does not fit.
[[nodiscard]] bool known_folder_path(char *buf, ptrdiff_t size, int folder);
