// Display texts of revision selectors and file actions, and the default site filter table.
#pragma once

#include "core/qstring.h"

#include <cstdint>

// The revision selector of file operations: a revision number (0 or more) or one of these.
using revision_spec = int32_t;
constexpr revision_spec revision_last = -1;    // the file's last revision on the server
constexpr revision_spec revision_current = -3; // the revision the site has
constexpr revision_spec revision_working = -4; // the site's working file (no server revision)

// "#last", "#current", "" for the working file, "#N" for any other value (negative ones included).
qstring format_revision(revision_spec revision);
// "#a" when a equals b, else "#a/b": the revision a site has against a file's last revision.
qstring format_revision_pair(int32_t a, int32_t b);

// The display name of a file action byte: "", "add", "del", "edit", "move", "medt", "copy", "cedt" for
// 0 to 7, "?" for any other value.
const char *file_action_name(uint8_t action);

// The text a site's path filter field starts with: 14 comment lines and an empty line.
const char *default_site_filters_text();
