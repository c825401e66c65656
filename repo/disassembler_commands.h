// Command lines of the disassembler for database diffs and merges: argument templates, their expansion and
// the launch.
#pragma once

#include "core/qstring.h"

struct os_handle_t;

// How a conflicting file is resolved.
enum merge_method_t : int
{
  merge_auto_safe = 1,     // disassembler in batch mode, conflicts postponed
  merge_auto_local = 2,    // disassembler in batch mode, conflicts take the local side
  merge_auto_remote = 3,   // disassembler in batch mode, conflicts take the remote side
  merge_interactive = 4,   // disassembler, interactive
  merge_keep_local = 5,    // keep the local file: the server is only told the file is resolved
  merge_take_remote = 6,   // fetch the last revision, then tell the server the file is resolved
};

// One side of a command: a local file, its display title (null for none) and whether it is a temporary
// revision copy (which the disassembler may delete after a diff). The texts are not owned.
struct merge_side_t
{
  const char *path = nullptr;
  const char *title = nullptr;
  bool temporary = false;
};

// The default argument template of a database diff.
qstring default_diff_arguments();
// The default argument template of a database merge by method (1 to 4; any other value gives the merge
// suffix alone).
qstring default_merge_arguments(int method);

// Appends value (null counts as empty) to *command, quoted with quote_shell_argument when it needs quotes,
// so that the command-line splitter gives it back as one argument, unchanged.
void append_quoted_argument(qstring *command, const char *value);

// Expands an argument template. "%l" and "%r" are the local and remote paths, "%b" the base text, "%i" the
// item text, "%[" and "%]" the local and remote titles, all quoted (a missing one gives the quoted empty
// text); "%<" and "%>" are "on" when the local or remote side is a temporary copy, else "off" (no remote
// side: "off"); "%I" is the installation directory, not quoted; "%" before any other character gives that
// character, and a "%" at the end ends the expansion. remote and base may be null.
qstring expand_merge_template(const char *templ, const char *item, const merge_side_t &local,
                              const merge_side_t *remote, const char *base);

// Starts the disassembler on the local side's database: the executable of its extension ("zdb" 32-bit,
// "z64" 64-bit) in the installation directory, with the argument text expanded from the environment
// variable `variable` when it is set (a set but empty variable gives no arguments), else from templ.
// Returns the process handle (owned by the caller), or null with the detail text in string argument 0 of
// the thread's error state: "Currently only ZUK databases can be merged" for any other file, or the
// program, ": " and the launch's error text.
os_handle_t *launch_merge_tool(const char *variable, const char *templ, const merge_side_t &local,
                               const merge_side_t *remote, const char *base);
