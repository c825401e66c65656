// What the Sites and Users lists share: deleting the selected records by name, one by one from the last, and
// reloading while keeping the selection by name.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "repo/wire_records.h"

#include <cstdint>
#include <functional>

class QWidget;
class chooser_multi_t;
struct action_ctx_base_t;
struct chooser_popup_entry_t;

// The name of a row, null for a row outside the list.
using row_name_fn_t = std::function<const qstring *(uint64_t row)>;

// How one list deletes its records on the server.
struct named_row_delete_t
{
  const char *question = nullptr;   // with the list of names ("%s")
  int retry_code = 0;               // the refusal after which the user is asked once more
  const char *retry_question = nullptr; // with the name
  const char *failure = nullptr;    // the warning of any other refusal
  // Deletes the record: plain, or forced after the user said Yes to the retry question. Answers the code.
  std::function<int(const char *name, bool forced)> remove;
  // Removes the row from the list (later rows move up).
  std::function<void(uint64_t row)> erase;
};

// Asks the question with the names of the selected rows (30 at most, then a count); on Yes deletes them from
// the last selected one: a refusal with retry_code asks once more (No skips that record), any other refusal is
// warned and ends the run. The selection becomes the first selected row, clamped to the list. Answers
// chooser_unchanged when the user did not say Yes, else chooser_rebuild.
int delete_named_rows(chooser_multi_t &chooser, qvector<uint64_t> *selection, const row_name_fn_t &name_of,
                      const named_row_delete_t &how);

// Reloads the chooser (prepare; its result does not matter) and selects the rows that bear the names of the
// rows selected before (the first row of each name); when none is found, the row at the first old index,
// clamped to the list. Answers chooser_rebuild.
int reload_keeping_names(chooser_multi_t &chooser, qvector<uint64_t> *selection, const row_name_fn_t &name_of);

// The login user's session as the server last described it (user, site, administrator flag); empty without an
// application.
[[nodiscard]] const session_info_t &login_session();
// A packed time as the lists show it ("%F %T", local time); empty when it cannot be shown.
[[nodiscard]] qstring list_time_text(uint64_t packed);
// The one selected row of an action context, -1 unless exactly one row is selected.
[[nodiscard]] int64_t single_selected_row(const action_ctx_base_t &context);

// Opens the source docked with an empty selection and gives its widget the one extra context-menu entry; the
// widget, null when none was made.
QWidget *open_server_list(chooser_multi_t *source, const chooser_popup_entry_t *extra_entry);
// Presents the widget find() gives, else makes one with create(). Answers 1.
int present_server_list(QWidget *(*find)(), QWidget *(*create)());
