// The worklist forms: the worklist form that commits, saves or shows one worklist, and the form that commits a
// set of opened files to a new worklist.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "repo/wire_records.h"

#include <cstdint>

// Modes of the worklist form.
enum worklist_form_mode_t : int
{
  worklist_form_commit = 0,            // Commit, Save, Close
  worklist_form_edit = 1,              // Save, Close
  worklist_form_view = 2,              // Ok; the description is read-only
  worklist_form_commit_with_files = 3, // as commit, with the worklist's files listed
};

// Shows the form "Worklist #%d" for the record, modally. True when it ended with a commit that the server
// accepted or with Save; false when it was closed otherwise (a commit refused as empty, code 38, included).
// Mode 3 lists the worklist's files; a failed fetch is logged and the form shows without them.
[[nodiscard]] bool show_worklist_form(const worklist_info_t &worklist, int mode);

// Answers of ask_commit_files.
enum commit_files_answer_t : int
{
  commit_files_cancelled = -1,
  commit_files_save = 0,
  commit_files_commit = 1,
};

// The form "Commit files to new worklist" over the rows, modally: the description (trailing blanks cut), the
// rows the user kept (removed ones leave the vector) and the force flag the user set. The form's answer.
[[nodiscard]] int ask_commit_files(qstring *description, qvector<worklist_file_t> *rows, uint16_t *force);
