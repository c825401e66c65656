// The File history view: every revision of one server file in a docked list, and the commands on (path,
// revision) pairs that the history, the commit files and the file trees share.
#pragma once

#include "client/commands/files_action.h"
#include "core/qstring.h"
#include "core/qvector.h"
#include "repo/wire_records.h"
#include "ui/ui_action.h"
#include "ui/docks/desktop_widgets.h"
#include "views/chooser/chooser_base.h"

#include <cstdint>
#include <vector>

// The title of a history window: the prefix and the file's path.
inline constexpr char file_history_title_prefix[] = "History of ";

// One revision of the file, newest first in the view.
struct history_row_t
{
  qstring size_text;      // the revision's size in human form
  qstring committed_text; // the commit time, "%F %T" in local time
  qstring location_text;  // "user@site" of the commit
  qstring commit_text;    // the commit number
  qstring description;    // the commit's description
  int32_t revision = 0;
  uint8_t state = 0;      // the commit's action byte
};

// A server path and a revision of it.
struct file_revision_t
{
  qstring path;
  int32_t revision = 0;
};

// The rows of one file's history. Promises: rows are sorted by revision, newest first, and only revisions whose
// commit the server names appear; a load that cannot complete leaves no rows and is logged; a view whose
// connection is gone or whose rows belong to another local site closes, but only once the call that found out
// has returned (never under the widget's own reload or open_chooser).
class file_history_chooser_t : public chooser_t, public file_selection_source_t
{
public:
  explicit file_history_chooser_t(const char *path);

  // ---- chooser_t ---------------------------------------------------------------------------------------
  [[nodiscard]] const uint8_t *identity_bytes(size_t *count) override;
  // Loads the rows: the site's record of the file, every revision and their commits.
  [[nodiscard]] bool prepare() override;
  [[nodiscard]] uint64_t item_count() override { return rows_.size(); }
  // The six texts; the row of the site's revision is bold.
  void describe_row(std::span<qstring> texts, int32_t *icon, chooser_row_attrs_t *attrs, uint64_t row) override;
  // Remembers the selected revision for the next history view (-3 when it is the site's).
  void on_closed() override;
  // Views the row's revision.
  chooser_single_result_t activate_items(int64_t row) override;
  chooser_single_result_t reload_items(int64_t row) override;
  void on_selection_changed(int64_t row) override;

  // ---- file_selection_source_t ---------------------------------------------------------------------------
  [[nodiscard]] int selection_widget_kind() const override;
  // One record per selected row of the context (path, known, present, opened, revisions, state).
  [[nodiscard]] bool collect_files(selected_files_t *out, uint32_t request_bits,
                                   const action_ctx_base_t &context) override;
  [[nodiscard]] int32_t current_history_revision() const override { return current_revision_; }
  [[nodiscard]] bool sync_selected_revisions(const action_ctx_base_t &context, int32_t flags,
                                             int32_t revision_code) override;

  // The commit that made the row's revision; false (logged) unless the server names exactly one.
  [[nodiscard]] bool commit_of_row(qvector<commit_info_t> *commits, int64_t row) const;

  [[nodiscard]] const qstring &path() const { return path_; }
  [[nodiscard]] const std::vector<history_row_t> &rows() const { return rows_; }
  // The revision the site has (changed by a sync from this view); -4 before the first load.
  [[nodiscard]] int32_t current_revision() const { return current_revision_; }
  void set_current_revision(int32_t revision) { current_revision_ = revision; }

private:
  // Clears the rows and closes the view once the running call has returned; false.
  bool fail_and_close();
  // The rows of every revision the commits name.
  bool load_rows(const qvector<arkive_file_info_t> &revisions);

  qstring title_;
  qstring path_;
  qstring site_name_; // the local site the rows were loaded for; empty before the first load
  arkive_file_info_t site_record_;
  std::vector<history_row_t> rows_;
  int32_t current_revision_ = -4;
  int32_t selected_revision_ = -3;
  bool close_pending_ = false; // a close of the widget is queued
};

// Opens the history of the path (raising and reloading an open one) and selects the remembered revision;
// false when the load failed.
bool open_file_history(const char *path);

// The server's records of the file: the site's (-3) or every revision; failures are logged.
[[nodiscard]] bool query_file_records(qvector<arkive_file_info_t> *records, const char *path, bool all_revisions);

// The (path, revision) pairs of the context's selection: the file trees give the site's revision of each file
// the server lists, the File history and Commit files views each selected row's revision. False for other
// views and for an empty selection.
[[nodiscard]] bool collect_revision_pairs(const action_ctx_base_t &context, std::vector<file_revision_t> *pairs);
// Shows the revision with the file's viewer; failures are warned about.
bool view_file_revision(const file_revision_t &pair);
// Syncs the file to the pair's revision (code -10) or to the code; failures are logged.
bool sync_file_to_revision(const file_revision_t &pair, int32_t flags, int32_t revision_code);
// Syncs every pair of the context; one synced row of a history makes its revision the site's. True when any
// sync succeeded.
bool sync_history_selection(const action_ctx_base_t &context, int32_t flags, int32_t revision_code);
// Compares each pair with its previous revision; false at the first comparison that did not start.
bool diff_with_previous(const action_ctx_base_t &context);

// "File history": opens the history of each selected file.
class file_history_action_t : public files_action_helper_t
{
public:
  bool perform(selected_files_t &files) override;
  // Some record.
  bool applicable(const selected_files_t &files, action_ctx_base_t &context) override;
};

// The action rows of the history: file_history, view_revision and diff_prev.
[[nodiscard]] std::vector<action_desc_t> file_history_action_descs();

// The desktop's "History of <path>" windows: the history of the path named after the prefix, or nothing when
// it cannot be loaded.
class file_history_desktop_widget_factory_t : public title_desktop_widget_factory_t
{
public:
  file_history_desktop_widget_factory_t() : title_desktop_widget_factory_t(file_history_title_prefix, 0) {}
  QWidget *create_widget(const char *name, const json_object_t *config) override;
};
