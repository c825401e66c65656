// The list of opened files inside the worklist forms: a chooser over the caller's vector of worklist files.
#pragma once

#include "client/commands/selected_file.h"
#include "repo/wire_records.h"
#include "views/chooser/chooser_base.h"

#include <vector>

// Flags of the list inside "Commit files to new worklist" (rows may be removed) and inside the worklist form.
inline constexpr uint32_t opened_files_removable_flags = 0x520206;
inline constexpr uint32_t opened_files_listed_flags = 0x520006;

// Shows and edits the caller's rows in place (the rows belong to the caller and must outlive the list). With
// the worklist column it has the columns "Path", "ID" and "Action", else "Path" and "Action". It is the
// selection source of widget kind 9 for the file commands.
class opened_files_chooser_t : public chooser_multi_t, public file_selection_source_t
{
public:
  opened_files_chooser_t(qvector<worklist_file_t> *rows, uint32_t flags, bool worklist_column);

  uint64_t item_count() override { return rows_->size(); }
  // The path with its revision pair, [the worklist number,] the action text.
  void describe_row(std::span<qstring> texts, int32_t *icon, chooser_row_attrs_t *attrs, uint64_t row) override;
  // Removes the selected rows (indexes beyond the rows are ignored, each row once) and selects the row that
  // took the place of the first removed one, clamped to the last row.
  int delete_items(qvector<uint64_t> *selection) override;
  // Triggers "open_file"; nothing changes.
  int activate_items(qvector<uint64_t> *selection) override;

  int selection_widget_kind() const override;
  bool collect_files(selected_files_t *out, uint32_t request_bits, const action_ctx_base_t &context) override;

private:
  qvector<worklist_file_t> *rows_; // the caller's
};

// One record per selected row in selection order (rows beyond the list skipped): the path, the worklist and
// SEL_PRESENT unless the file is opened for delete, under the request bits. Always true.
bool collect_opened_files_selection(selected_files_t *out, const qvector<worklist_file_t> &rows,
                                    const std::vector<int> &selection, uint32_t request_bits);
