// What the file commands take from the application: the current local site, the work directory's file
// system and the local path of a server path.
#pragma once

#include "core/qstring.h"
#include "repo/local_site.h"

class abstract_fs_t;

// The file system of the work directory (the empty root's).
[[nodiscard]] abstract_fs_t *work_directory_fs();
// The application's current local site: its name, root directory and the work directory's file system.
[[nodiscard]] local_site_t current_local_site();
// Whether a connection is usable and a local site is current.
[[nodiscard]] bool has_site_and_connection();
// The local path of a server path (akui_app_t::to_local_path); a path that would leave the site's root is
// logged as "%s: refused, outside the site's root directory\n" and answers false.
[[nodiscard]] bool local_path_or_report(qstring *out, const char *server_path);
