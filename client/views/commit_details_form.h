// The commit details: the docked form "Commit #%d" with the commit's data, its description (editable by its
// author or an administrator) and the list of the files the commit changed.
#pragma once

#include "client/commands/selected_file.h"
#include "repo/wire_records.h"
#include "views/chooser/chooser_base.h"

#include <vector>

// Multiple selection, docked at its remembered place, widget kind 7. It is not kept: the list embedded in the
// details form deletes it with the form.
inline constexpr uint32_t commit_files_chooser_flags = 0x420004;

// The files of one commit as the server lists them. It is the selection source of widget kind 7 for the file
// commands.
class commit_files_chooser_t : public chooser_multi_t, public file_selection_source_t
{
public:
  explicit commit_files_chooser_t(int32_t commit);

  // Fetches the commit's files; a failure is reported and leaves the list empty (false).
  bool prepare() override;
  uint64_t item_count() override { return files_.size(); }
  // The path with its revision pair, the action text.
  void describe_row(std::span<qstring> texts, int32_t *icon, chooser_row_attrs_t *attrs, uint64_t row) override;
  // Triggers "view_revision"; nothing changes.
  int activate_items(qvector<uint64_t> *selection) override;

  int selection_widget_kind() const override;
  bool collect_files(selected_files_t *out, uint32_t request_bits, const action_ctx_base_t &context) override;
  // Syncs each selected file on its own: to its listed revision for code -10, else to the code.
  bool sync_selected_revisions(const action_ctx_base_t &context, int32_t flags, int32_t revision_code) override;

  [[nodiscard]] int32_t commit() const { return commit_; }
  [[nodiscard]] const std::vector<arkive_file_info_t> &files() const { return files_; }

private:
  int32_t commit_;
  std::vector<arkive_file_info_t> files_;
};

// One record per selected row in selection order (rows beyond the list skipped), filled under the request
// bits: the path, the site and last revisions, the action byte and SEL_KNOWN. Always true.
bool collect_commit_files_selection(selected_files_t *out, const std::vector<arkive_file_info_t> &files,
                                    const std::vector<int> &selection, uint32_t request_bits);

// Where the details were opened from.
enum commit_form_origin_t : int
{
  commit_form_from_commits = 3,
  commit_form_from_history = 6,
};

// Shows the details of the commit as a docked form, with Save when editable; when the details of that commit
// are open already, that form comes to the front instead. Save stores the description on the server and
// reloads the Commits view. Always false (the form stays open after the call).
bool show_commit_form(int origin, const commit_info_t &commit, bool editable);
