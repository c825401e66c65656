// Resolving files whose base revision is not their last one: the six resolve methods, the files whose
// resolve runs, and the external merge of files that are not databases.
#pragma once

#include "client/commands/selected_file.h"
#include "core/qstring.h"
#include "core/qvector.h"
#include "repo/disassembler_commands.h"

struct ui_action_activation_ctx_t;
struct ui_action_update_ctx_t;
class ui_action_t;

// The application's server paths whose resolve runs; a path is in it from the start of its resolve to its
// merge_finished (akui_app_t::is_resolving asks). GUI thread only.
[[nodiscard]] qvector<qstring> &merges_in_progress();
// Ends a resolve: the facade's event 10 with (code, path), a refresh of the file views and the worklists,
// and the path leaves merges_in_progress.
void merge_finished(int code, const char *path);

// Whether the method applies to the record: it needs a resolve, and for methods 1-4 a merge program is
// associated with its extension.
[[nodiscard]] bool resolve_method_applicable(const selected_file_t &file, int method);
// Whether some record of the context's selection can be resolved by the method (a usable connection and a
// local site are needed).
[[nodiscard]] bool can_resolve_files(int method, const action_ctx_base_t &context);
// Asks (except for the interactive merge) and resolves the applicable records. Always false.
bool resolve_files(int method, const selected_files_t &files);
// Resolves each record: a database or methods 5 and 6 through the repository core, other files with the
// associated merge program. A record already resolving is logged and skipped. Every outcome that ends the
// resolve at once goes through merge_finished.
void resolve_selected_files(const selected_files_t &files, int method);
// Fetches the site's and the last revision of a file that is no database and starts the merge program on
// them and the working file; the server is told the file is resolved once the program exits with 0. Answers 0
// when the program runs, else the failure's code (reported here; the copies fetched are removed).
[[nodiscard]] int perform_external_merge(const char *path, int method);

// The handlers of the six resolve rows (their method from the action's name).
int resolve_activate(ui_action_activation_ctx_t *context);
int resolve_update(ui_action_t *action, ui_action_update_ctx_t *context);
