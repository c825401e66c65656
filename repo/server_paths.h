// Server paths ("//a/b") as text: the validity check, joining onto a site root, root and slash rules.
#pragma once

#include "core/qstring.h"

// A server path names a repository file as every site sees it: "//" followed by the path relative to the
// site's root, segments separated by '/'; "//" alone is the root. Server paths are text: they are never
// converted for the operating system.

// True for a usable server path: it begins with "//", holds no line feed and no '#', does not name the
// checksum cache file ".arkive_cache", and has no empty, "." or ".." segment (so "///a" and "//a//b" fail).
// '\' counts as a separator like '/' when segments are checked, so "//a\..\b" fails too. A trailing '/'
// and "//" alone are valid. Null and "" are not.
bool is_valid_server_path(const char *text);

// The local path of server_path under root: root without a final '/' (an empty root adds nothing), then
// server_path without its first '/'. server_path must begin with "//" (internal error 2249 otherwise;
// callers check first). The result is text: ".." segments are not resolved here.
qstring join_site_path(const char *root, const char *server_path);

// True for exactly "/" or an ASCII letter followed by ":/". Null is false.
bool is_root_path(const char *text);

// Removes one final '/' unless the text is a root path ("/" or "C:/").
void strip_trailing_slash(qstring *path);
