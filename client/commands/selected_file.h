// The selection the file commands act on: one record per selected file or folder, and the interface a view
// implements to hand its selection over.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstdint>

struct action_ctx_base_t;
class QWidget;

// Flags of a selected_file_t.
constexpr uint32_t SEL_KNOWN = 0x002;           // the server knows the file (opened or in its file list)
constexpr uint32_t SEL_LATEST = 0x004;          // the site has the last revision
constexpr uint32_t SEL_PRESENT = 0x008;         // the site has a revision of it
constexpr uint32_t SEL_OPENED = 0x010;          // opened (File history rows only)
constexpr uint32_t SEL_FOLDER = 0x020;
constexpr uint32_t SEL_NEEDS_RESOLVE = 0x040;
constexpr uint32_t SEL_OPENED_FOR_EDIT = 0x100;

// Request bits of a collection: what the collector fills.
constexpr uint32_t WANT_PATH = 0x001;
constexpr uint32_t WANT_KNOWN = 0x002;
constexpr uint32_t WANT_LATEST = 0x004;
constexpr uint32_t WANT_PRESENT = 0x008;
constexpr uint32_t WANT_WORKLIST = 0x010; // File history: flag SEL_OPENED instead
constexpr uint32_t WANT_NEEDS_RESOLVE = 0x040;
constexpr uint32_t WANT_NO_FOLDERS = 0x080;
constexpr uint32_t WANT_OPENED_FOR_EDIT = 0x100;
constexpr uint32_t WANT_REVISIONS = 0x200;
constexpr uint32_t WANT_STATE = 0x400;

// Revision values of a record.
constexpr int32_t REVISION_LOCAL_FILE = -4; // the local working file: no revision
constexpr int32_t REVISION_CURRENT = -3;    // the revision the site has
constexpr int32_t REVISION_ALL = -2;        // in a file-record query: every revision
constexpr int32_t REVISION_LAST = -1;

// One selected file or folder. Items that were not requested keep their defaults.
struct selected_file_t
{
  qstring path;            // the server path ("//..."); a folder's ends with "/" (always filled)
  uint32_t flags = 0;      // SEL_* bits
  int32_t worklist = -1;   // the worklist the file is opened in; -1 when not opened or not requested
  int32_t revision = REVISION_LOCAL_FILE;
  int32_t last_revision = REVISION_LOCAL_FILE;
  uint8_t state = 0;

  [[nodiscard]] bool is_folder() const { return (flags & SEL_FOLDER) != 0; }
  [[nodiscard]] bool is_known() const { return (flags & SEL_KNOWN) != 0; }
  [[nodiscard]] bool is_present() const { return (flags & SEL_PRESENT) != 0; }
  [[nodiscard]] bool is_opened() const { return worklist != -1; }
};
using selected_files_t = qvector<selected_file_t>;

// What a view offers the file commands: its widget kind and its selection as records. A view widget
// implements it beside QWidget, a list's data source beside chooser_base_t; the commands find it as the action
// context's widget (or an ancestor of it), else as the context's chooser.
class file_selection_source_t
{
public:
  virtual ~file_selection_source_t() = default;

  // The view's widget kind (akui_widget_kind_t).
  [[nodiscard]] virtual int selection_widget_kind() const = 0;
  // Appends one record per selected entry, filled under the request bits; an empty selection appends none.
  // False when the view cannot collect (the command then does nothing).
  [[nodiscard]] virtual bool collect_files(selected_files_t *out, uint32_t request_bits,
                                           const action_ctx_base_t &context) = 0;
  // File history: the revision of the file that the site has (-4 when none). Other views: -4.
  [[nodiscard]] virtual int32_t current_history_revision() const { return REVISION_LOCAL_FILE; }
  // Commits view: the commit number of the one selected row; false unless exactly one is selected.
  [[nodiscard]] virtual bool selected_commit(int32_t *) const { return false; }
  // File history and Commit files: syncs the selected rows' revisions one file at a time with the flags and
  // revision code of "Get the latest revision"; true when at least one succeeded.
  [[nodiscard]] virtual bool sync_selected_revisions(const action_ctx_base_t &, int32_t, int32_t) { return false; }
  // File trees: reveals the entry of the tree path ("/" and the server path's rest) and makes it the only
  // selected one; false when the view cannot.
  virtual bool select_path(const char *) { return false; }
};

// The selection source of the context's widget or of its nearest ancestor that is one, else the context's
// chooser when that is one; null when none.
[[nodiscard]] file_selection_source_t *selection_source_of(const action_ctx_base_t &context);
// The widget kind the commands dispatch on: the selection source's, else the context's.
[[nodiscard]] int selection_kind_of(const action_ctx_base_t &context);
// Collects the context's selection under the bits: with bits 0 nothing and true; false for a view without a
// collector.
[[nodiscard]] bool collect_selected_files(selected_files_t *out, const action_ctx_base_t &context, uint32_t bits);

// The records' paths in record order.
[[nodiscard]] qvector<qstring> paths_of(const selected_files_t &files);
// The records' paths in record order, moved out of the records, which are left without paths: for a command
// that reads nothing of them afterwards.
[[nodiscard]] qvector<qstring> take_paths(selected_files_t &files);
// The confirmation list of destructive questions: one "%s\n" line per path for the first 30, then
// "... + %zu more\n" with the number of the others.
[[nodiscard]] qstring confirmation_list(const qvector<qstring> &paths);
