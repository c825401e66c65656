// The Commits view.
#include "client/views/commits_view.h"

#include "client/app/akui_app.h"
#include "client/app/client_actions.h"
#include "client/app/desktop_factories.h"
#include "client/app/options_dialog.h"
#include "client/commands/files_action.h"
#include "client/views/commit_details_form.h"
#include "client/views/file_history_view.h"
#include "core/clock_time.h"
#include "ui/icon_registry.h"
#include "ui/ui_action_registry.h"
#include "views/chooser/chooser_selection.h"
#include "views/chooser/chooser_widget.h"

#include <algorithm>
#include <string>

namespace {

constexpr const char *commits_header[] = {"ID", "Committed", "User", "Site", "Description"};
constexpr uint32_t commits_widths[] = {0x3000A, 20, 20, 20, 60};

} // namespace

commits_chooser_t::commits_chooser_t()
{
  flags = commits_chooser_flags;
  title = commits_title;
  columns = int32_t(std::size(commits_header));
  header = commits_header;
  widths = commits_widths;
  icon = icon_id_of_file("commits_widget", "icons/widgets");
  if ( akui_app_t *app = akui_app() )
    (void)app->facade.add_handler(this);
}

bool commits_chooser_t::prepare()
{
  commits_.clear();
  akui_app_t *app = akui_app();
  if ( app == nullptr || !app->has_usable_connection() )
    return true;
  commit_filter_t filter;
  filter.last_commit = 0x7FFFFFFF;
  filter.max_count = stored_ncommits();
  qvector<commit_info_t> commits;
  if ( const int code = app->facade.get_commits(&commits, {}, filter, -1); code != 0 )
  {
    show_server_error(code, "Failed to retrieve commits");
    return false;
  }
  commits_.assign(commits.begin(), commits.end());
  return true;
}

void commits_chooser_t::describe_row(std::span<qstring> texts, int32_t *, chooser_row_attrs_t *, uint64_t row)
{
  const commit_info_t &commit = commits_[row];
  texts[0] = qstring(std::to_string(commit.number));
  char time[64] = {};
  (void)format_packed_time(time, sizeof(time), "%F %T", commit.time);
  texts[1] = time;
  texts[2] = commit.user;
  texts[3] = commit.site;
  texts[4] = commit.description;
}

int commits_chooser_t::activate_items(qvector<uint64_t> *)
{
  (void)trigger_ui_action(find_ui_action("open_commit_files"));
  return chooser_unchanged;
}

int commits_chooser_t::reload_items(qvector<uint64_t> *selection)
{
  std::vector<int32_t> numbers;
  for ( uint64_t row : *selection )
    if ( row < commits_.size() )
      numbers.push_back(commits_[row].number);
  const int64_t first = selection->empty() ? -1 : int64_t((*selection)[0]);

  (void)prepare(); // a failed load goes on with the empty list
  selection->clear();
  for ( int32_t number : numbers )
  {
    const auto found = std::find_if(commits_.begin(), commits_.end(),
                                    [number](const commit_info_t &commit) { return commit.number == number; });
    if ( found == commits_.end() )
      continue;
    const uint64_t row = uint64_t(found - commits_.begin());
    if ( std::find(selection->begin(), selection->end(), row) == selection->end() )
      selection->push_back(row);
  }
  if ( selection->empty() && first != -1 && !commits_.empty() )
    make_single_selection(selection, uint64_t(first));
  return chooser_rebuild;
}

void *commits_chooser_t::handle(uint64_t code, va_list)
{
  if ( code == arkive_event_site_switched || code == arkive_event_worklist_committed )
    refresh_commits_widget();
  return nullptr;
}

int commits_chooser_t::selection_widget_kind() const
{
  return akui_kind_commits;
}

bool commits_chooser_t::collect_files(selected_files_t *, uint32_t, const action_ctx_base_t &)
{
  return false;
}

bool commits_chooser_t::selected_commit(int32_t *number) const
{
  chooser_widget_t *widget = find_chooser_widget_by_object(this);
  if ( widget == nullptr )
    return false;
  qvector<uint64_t> rows;
  if ( widget->get_selected_indexes(&rows) != 1 || rows[0] >= commits_.size() )
    return false;
  *number = commits_[rows[0]].number;
  return true;
}

chooser_widget_t *create_commits_widget()
{
  auto *source = new commits_chooser_t();
  const qvector<uint64_t> none;
  // A list that was not shown is deleted already.
  if ( source->open_chooser(&none) != 0 )
    return nullptr;
  chooser_widget_t *widget = find_chooser_widget_by_object(source);
  if ( widget != nullptr )
  {
    static const chooser_popup_entry_t extra[] = {{"open_commit_files", "Refresh", 0}, {"get_revision", "Refresh", 1}};
    widget->extra_popup_entries = extra;
    widget->extra_popup_count = std::size(extra);
  }
  return widget;
}

chooser_widget_t *find_commits_widget()
{
  return find_chooser_widget_by_title(commits_title);
}

void refresh_commits_widget()
{
  if ( chooser_widget_t *widget = find_commits_widget() )
    widget->refresh_items(nullptr, refresh_reason, false);
}

int open_commits_widget_activate(ui_action_activation_ctx_t *)
{
  if ( chooser_widget_t *widget = find_commits_widget() )
    (void)akui_app()->present_widget(widget, nullptr);
  else
    (void)create_commits_widget();
  return 1;
}

int open_commit_files_activate(ui_action_activation_ctx_t *context)
{
  if ( context->widget_kind == akui_kind_file_history )
  {
    // The history asks the server for the commit of its first selected row and reports a failure itself.
    auto *history = dynamic_cast<file_history_chooser_t *>(context->chooser);
    qvector<commit_info_t> commits;
    if ( history != nullptr && !context->chooser_selection.empty()
         && history->commit_of_row(&commits, context->chooser_selection.front()) )
      (void)show_commit_form(commit_form_from_history, commits[0], false);
    return 1;
  }
  auto *commits = dynamic_cast<commits_chooser_t *>(context->chooser);
  if ( context->widget_kind != akui_kind_commits || commits == nullptr )
    return 1;
  const session_info_t &session = akui_app()->server_info.session;
  // Copies: a form's Save reloads the list under our feet.
  std::vector<commit_info_t> chosen;
  for ( int row : context->chooser_selection )
    if ( row >= 0 && size_t(row) < commits->commits().size() )
      chosen.push_back(commits->commits()[size_t(row)]);
  for ( const commit_info_t &commit : chosen )
  {
    const bool editable = session.admin || commit.user == session.user;
    (void)show_commit_form(commit_form_from_commits, commit, editable);
  }
  return 1;
}

int open_commit_files_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  if ( context->widget_kind == akui_kind_commits )
    relabel_action(*context, "~D~etails...");
  else if ( context->widget_kind == akui_kind_file_history )
    relabel_action(*context, "Open commit...");
  return FILES_ACTION_ENABLED;
}

std::vector<action_desc_t> commits_view_action_descs()
{
  action_desc_t details = client_row("open_commit_files", open_commit_files_activate, open_commit_files_update,
                                     (uint64_t(1) << akui_kind_commits) | (uint64_t(1) << akui_kind_file_history),
                                     client_needs_local_site, 0, 0, "&Details...", "View commit", nullptr);
  // Enabled, it reports state 3.
  details.context_word |= uint64_t(1) << 32;
  return {
    client_row("open_commits_widget", open_commits_widget_activate, nullptr, all_widget_kinds,
               client_without_connection, ACTION_FLAG_FROM_DESC_2, 0, "&Commits", "Commits", nullptr),
    details,
  };
}

void register_commits_desktop_factory()
{
  static akui_singleton_desktop_widget_factory_t factory(
    commits_title, []() -> QWidget * { return find_commits_widget(); },
    []() -> QWidget * { return create_commits_widget(); });
  register_desktop_widget_factory(&factory);
}
