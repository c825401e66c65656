// The opened-files list of the worklist forms.
#include "client/views/opened_files_chooser.h"

#include "client/app/akui_app.h"
#include "repo/revision_texts.h"
#include "ui/action_context.h"
#include "ui/ui_action_registry.h"

#include <algorithm>

namespace {

constexpr const char *header_with_worklist[] = {"Path", "ID", "Action"};
constexpr uint32_t widths_with_worklist[] = {64, 0x3000A, 6};
constexpr const char *header_plain[] = {"Path", "Action"};
constexpr uint32_t widths_plain[] = {64, 6};
constexpr uint8_t action_del = 2;

} // namespace

opened_files_chooser_t::opened_files_chooser_t(qvector<worklist_file_t> *rows, uint32_t flags, bool worklist_column)
  : rows_(rows)
{
  this->flags = flags;
  columns = worklist_column ? 3 : 2;
  header = worklist_column ? header_with_worklist : header_plain;
  widths = worklist_column ? widths_with_worklist : widths_plain;
  if ( (flags & chooser_can_delete) != 0 )
    popup_names[1] = "Remove from commit...";
}

void opened_files_chooser_t::describe_row(std::span<qstring> texts, int32_t *, chooser_row_attrs_t *, uint64_t row)
{
  const worklist_file_t &file = (*rows_)[row];
  texts[0] = file.path;
  texts[0] += format_revision_pair(file.site_revision, file.last_revision);
  if ( columns == 3 )
    texts[1] = qstring(std::to_string(file.worklist));
  texts[size_t(columns) - 1] = file_action_name(file.action);
}

int opened_files_chooser_t::delete_items(qvector<uint64_t> *selection)
{
  // The selection may come in any order and repeat a row: remove each row once, from the highest down, so
  // that every removal leaves the rows still to remove where they were.
  std::vector<uint64_t> doomed;
  for ( uint64_t row : *selection )
    if ( row < rows_->size() )
      doomed.push_back(row);
  if ( doomed.empty() )
    return chooser_unchanged;
  std::sort(doomed.begin(), doomed.end());
  doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
  for ( auto it = doomed.rbegin(); it != doomed.rend(); ++it )
    rows_->erase(size_t(*it));
  make_single_selection(selection, doomed.front());
  return chooser_rebuild;
}

int opened_files_chooser_t::activate_items(qvector<uint64_t> *)
{
  (void)trigger_ui_action(find_ui_action("open_file"));
  return chooser_unchanged;
}

int opened_files_chooser_t::selection_widget_kind() const
{
  return akui_kind_worklist_files;
}

bool opened_files_chooser_t::collect_files(selected_files_t *out, uint32_t request_bits,
                                           const action_ctx_base_t &context)
{
  return collect_opened_files_selection(out, *rows_, context.chooser_selection, request_bits);
}

bool collect_opened_files_selection(selected_files_t *out, const qvector<worklist_file_t> &rows,
                                    const std::vector<int> &selection, uint32_t request_bits)
{
  for ( int index : selection )
  {
    if ( index < 0 || size_t(index) >= rows.size() )
      continue;
    const worklist_file_t &file = rows[size_t(index)];
    selected_file_t record;
    if ( (request_bits & WANT_PATH) != 0 )
      record.path = file.path;
    if ( (request_bits & WANT_WORKLIST) != 0 )
      record.worklist = file.worklist;
    if ( (request_bits & WANT_PRESENT) != 0 && file.action != action_del )
      record.flags |= SEL_PRESENT;
    out->push_back(std::move(record));
  }
  return true;
}
