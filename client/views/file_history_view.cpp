// The File history view and the commands on (path, revision) pairs.
#include "client/views/file_history_view.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_with_events.h"
#include "client/app/client_actions.h"
#include "client/commands/command_site.h"
#include "client/commands/external_tools.h"
#include "client/commands/revert_sync_commands.h"
#include "client/views/arkive_listing_cache.h"
#include "core/clock_time.h"
#include "core/number_format.h"
#include "core/ui_callback.h"
#include "ui/icon_registry.h"
#include "views/chooser/chooser_factory.h"
#include "views/chooser/chooser_selection.h"
#include "views/chooser/chooser_widget.h"
#include "views/filter/item_info.h"

#include <QTimer>

#include <algorithm>
#include <cstring>
#include <map>

namespace {

// Widths of the columns: glyphs, with the decimal-number kind where the column holds a number.
constexpr uint32_t number_column = 0x30000;
constexpr uint32_t history_widths[] = {number_column | 5, number_column | 5, 10, 15, number_column | 5, 40};
constexpr const char *history_header[] = {"Rev", "Size", "Committed", "Location", "CID", "Description"};
// Reopen, docked at its remembered place, widget kind 6.
constexpr uint32_t history_flags = chooser_reopen | chooser_dock_remembered
                                 | (uint32_t(akui_kind_file_history + 1) << chooser_kind_shift);
// The server's state byte of a deleted file.
constexpr uint8_t state_deleted = 2;
// The selection flags that make a row the selected and current one.
constexpr uint32_t select_row_flags = 7;

// The context menu of a history window, at the top of the menu.
constexpr int popup_at_top = 2;
constexpr chooser_popup_entry_t history_popup[] = {
  {"diff_any", nullptr, popup_at_top},          {"diff_prev", nullptr, popup_at_top},
  {"open_commit_files", nullptr, popup_at_top}, {"checkout_for_copy", nullptr, popup_at_top},
  {"checkout_for_edit", nullptr, popup_at_top}, {"checkout_for_move_rename", nullptr, popup_at_top},
  {"checkout_for_delete", nullptr, popup_at_top}, {"get_revision", nullptr, popup_at_top},
  {"view_revision", nullptr, popup_at_top},
};

// Every commit of the file, or the one that made the revision (-1: every one).
int query_commits(qvector<commit_info_t> *commits, const char *path, int32_t revision)
{
  commit_filter_t filter;
  filter.first_commit = 0;
  filter.last_commit = 0x7FFFFFFF;
  filter.max_count = -1;
  qvector<qstring> paths;
  paths.push_back(path);
  return akui_app()->facade.get_commits(commits, paths, filter, revision);
}

void attach_history_popup(chooser_widget_t *widget)
{
  widget->extra_popup_entries = history_popup;
  widget->extra_popup_count = std::size(history_popup);
}

// The history that is the context's list, null for another view.
file_history_chooser_t *history_of(const action_ctx_base_t &context)
{
  return dynamic_cast<file_history_chooser_t *>(selection_source_of(context));
}

} // namespace

// ---- file_history_chooser_t --------------------------------------------------------------------------------

file_history_chooser_t::file_history_chooser_t(const char *path) : path_(path)
{
  format_to_string(&title_, "%s%s", file_history_title_prefix, path);
  version = 3;
  flags = history_flags;
  title = title_.c_str();
  columns = int32_t(std::size(history_header));
  widths = history_widths;
  header = history_header;
  icon = icon_id_of_file("file_history_widget", "icons/widgets");
}

const uint8_t *file_history_chooser_t::identity_bytes(size_t *count)
{
  *count = path_.size();
  return reinterpret_cast<const uint8_t *>(path_.c_str());
}

bool file_history_chooser_t::fail_and_close()
{
  rows_.clear();
  // The widget may be inside this very load (its reload, or open_chooser raising it): it closes once the
  // running call has returned, and the call is dropped when the widget is gone by then.
  if ( chooser_widget_t *widget = find_chooser_widget_by_object(this); widget != nullptr && !close_pending_ )
  {
    close_pending_ = true;
    QTimer::singleShot(0, widget, [widget] { close_chooser_widget(widget); });
  }
  return false;
}

bool file_history_chooser_t::prepare()
{
  rows_.clear();
  akui_app_t *app = akui_app();
  if ( !app->has_usable_connection() )
    return fail_and_close();
  if ( !site_name_.empty() && site_name_ != app->current_site_name() )
    return fail_and_close();
  qvector<arkive_file_info_t> site_records;
  if ( !query_file_records(&site_records, path_.c_str(), false) )
    return false;
  if ( site_records.empty() )
  {
    // Without the site's record there is no revision to mark: a failed load.
    log_printf("File history: the server has no record of %s\n", path_.c_str());
    return false;
  }
  site_record_ = site_records[0];
  current_revision_ = site_record_.site_revision;
  qvector<arkive_file_info_t> revisions;
  if ( !query_file_records(&revisions, path_.c_str(), true) )
    return false;
  std::stable_sort(revisions.begin(), revisions.end(),
                   [](const arkive_file_info_t &a, const arkive_file_info_t &b) { return a.site_revision > b.site_revision; });
  return load_rows(revisions);
}

bool file_history_chooser_t::load_rows(const qvector<arkive_file_info_t> &revisions)
{
  qvector<commit_info_t> commits;
  if ( const int code = query_commits(&commits, path_.c_str(), -1); code != 0 )
  {
    show_server_error(code, "File history, commits for \"%s\"", path_.c_str());
    return false;
  }
  // A number listed twice keeps its first record.
  std::map<int32_t, const commit_info_t *> by_number;
  for ( const commit_info_t &commit : commits )
    by_number.emplace(commit.number, &commit);
  site_name_ = akui_app()->current_site_name();
  for ( const arkive_file_info_t &record : revisions )
  {
    const auto found = by_number.find(record.commit);
    if ( found == by_number.end() )
      continue;
    const commit_info_t &commit = *found->second;
    history_row_t row;
    char text[32];
    (void)format_byte_size(text, sizeof(text), record.size);
    row.size_text = text;
    if ( format_packed_time(text, sizeof(text), "%F %T", commit.time) == 0 )
      text[0] = '\0';
    row.committed_text = text;
    format_to_string(&row.location_text, "%s@%s", commit.user.c_str(), commit.site.c_str());
    format_to_string(&row.commit_text, "%d", record.commit);
    row.description = commit.description;
    row.revision = record.site_revision;
    row.state = commit.action;
    rows_.push_back(std::move(row));
  }
  return true;
}

void file_history_chooser_t::describe_row(std::span<qstring> texts, int32_t *, chooser_row_attrs_t *attrs,
                                          uint64_t row)
{
  if ( row >= rows_.size() )
    return;
  const history_row_t &r = rows_[row];
  format_to_string(&texts[0], "%d", r.revision);
  texts[1] = r.size_text;
  texts[2] = r.committed_text;
  texts[3] = r.location_text;
  texts[4] = r.commit_text;
  texts[5] = r.description;
  if ( r.revision == current_revision_ )
    attrs->style |= row_bold;
}

void file_history_chooser_t::on_closed()
{
  akui_app_t *app = akui_app();
  if ( app == nullptr || !app->has_usable_connection() || app->current_site_name().empty() )
    return;
  app->history_revision = selected_revision_ == current_revision_ ? REVISION_CURRENT : selected_revision_;
}

chooser_single_result_t file_history_chooser_t::activate_items(int64_t row)
{
  if ( row >= 0 && uint64_t(row) < rows_.size() )
    (void)view_file_revision({path_, rows_[size_t(row)].revision});
  return {-1, chooser_unchanged};
}

chooser_single_result_t file_history_chooser_t::reload_items(int64_t row)
{
  (void)prepare();
  return {row, chooser_rebuild};
}

void file_history_chooser_t::on_selection_changed(int64_t row)
{
  if ( row >= 0 && uint64_t(row) < rows_.size() )
    selected_revision_ = rows_[size_t(row)].revision;
}

int file_history_chooser_t::selection_widget_kind() const
{
  return akui_kind_file_history;
}

bool file_history_chooser_t::collect_files(selected_files_t *out, uint32_t request_bits,
                                           const action_ctx_base_t &context)
{
  const bool opened = (request_bits & WANT_WORKLIST) != 0 && akui_app()->opened_file(path_.c_str()) != nullptr;
  for ( const int index : context.chooser_selection )
  {
    if ( index < 0 || size_t(index) >= rows_.size() )
      continue;
    const history_row_t &row = rows_[size_t(index)];
    selected_file_t file;
    if ( (request_bits & WANT_PATH) != 0 )
      file.path = path_;
    if ( (request_bits & WANT_REVISIONS) != 0 )
    {
      file.revision = row.revision;
      file.last_revision = int32_t(rows_.size());
    }
    if ( (request_bits & WANT_STATE) != 0 )
      file.state = row.state;
    if ( (request_bits & WANT_KNOWN) != 0 )
      file.flags |= SEL_KNOWN;
    if ( opened )
      file.flags |= SEL_OPENED;
    if ( (request_bits & WANT_PRESENT) != 0 && site_record_.site_revision != 0 && site_record_.action != state_deleted )
      file.flags |= SEL_PRESENT;
    out->push_back(std::move(file));
  }
  return true;
}

bool file_history_chooser_t::sync_selected_revisions(const action_ctx_base_t &context, int32_t flags,
                                                     int32_t revision_code)
{
  return sync_history_selection(context, flags, revision_code);
}

bool file_history_chooser_t::commit_of_row(qvector<commit_info_t> *commits, int64_t row) const
{
  if ( row < 0 || uint64_t(row) >= rows_.size() )
    return false;
  const int32_t revision = rows_[size_t(row)].revision;
  commits->clear();
  if ( const int code = query_commits(commits, path_.c_str(), revision); code != 0 )
  {
    show_server_error(code, "Failed to retrieve commit for \"%s#%d\"", path_.c_str(), revision);
    return false;
  }
  if ( commits->size() != 1 )
  {
    log_printf("No single commit for \"%s#%d\" (got %ld)\n", path_.c_str(), revision, long(commits->size()));
    return false;
  }
  return true;
}

// ---- Opening a history -------------------------------------------------------------------------------------

bool open_file_history(const char *path)
{
  auto *source = new file_history_chooser_t(path);
  const int64_t opened = source->open_chooser();
  if ( opened == chooser_prepare_failed )
    return false;
  if ( opened == chooser_brought_forward )
    return true;
  chooser_widget_t *widget = find_chooser_widget_by_object(source);
  if ( widget == nullptr )
    return true;
  attach_history_popup(widget);
  const int32_t remembered = akui_app()->history_revision;
  const int32_t wanted = remembered == REVISION_CURRENT ? source->current_revision() : remembered;
  const std::vector<history_row_t> &rows = source->rows();
  for ( size_t i = 0; i < rows.size(); ++i )
  {
    if ( rows[i].revision != wanted )
      continue;
    chooser_selection_t selection;
    selection.rows.push_back(i);
    selection.current = int64_t(i);
    widget->apply_selection(selection, select_row_flags);
    break;
  }
  return true;
}

bool query_file_records(qvector<arkive_file_info_t> *records, const char *path, bool all_revisions)
{
  qvector<qstring> paths;
  paths.push_back(path);
  const int32_t revision = all_revisions ? REVISION_ALL : REVISION_CURRENT;
  if ( const int code = akui_app()->facade.get_arkive_files(records, paths, revision, 3); code != 0 )
  {
    show_server_error(code, "File history");
    return false;
  }
  return true;
}

// ---- Pairs -------------------------------------------------------------------------------------------------

bool collect_revision_pairs(const action_ctx_base_t &context, std::vector<file_revision_t> *pairs)
{
  const int kind = selection_kind_of(context);
  selected_files_t files;
  if ( kind == akui_kind_arkive_files || kind == akui_kind_local_files )
  {
    if ( !collect_selected_files(&files, context, WANT_PATH | WANT_NO_FOLDERS) || files.empty() )
      return false;
    for ( const selected_file_t &file : files )
      if ( const arkive_file_info_t *record = find_arkive_file_info(file.path.c_str()); record != nullptr )
        pairs->push_back({record->path, record->site_revision});
    return true;
  }
  if ( kind != akui_kind_file_history && kind != akui_kind_commit_files )
    return false;
  if ( !collect_selected_files(&files, context, WANT_PATH | WANT_REVISIONS) || files.empty() )
    return false;
  for ( const selected_file_t &file : files )
    pairs->push_back({file.path, file.revision});
  return true;
}

bool view_file_revision(const file_revision_t &pair)
{
  if ( !has_site_and_connection() )
    return false;
  local_site_t site = current_local_site();
  external_launch_t launch;
  launch.kind = file_assoc_view;
  const int code = akui_app()->facade.connection()->fetch_revision(&launch.left, &launch.delete_left, nullptr, site,
                                                                   pair.path.c_str(), pair.revision);
  if ( code != 0 )
  {
    show_server_warning(code, "Path: %s", pair.path.c_str());
    return false;
  }
  return launch_external_process(std::move(launch));
}

bool sync_file_to_revision(const file_revision_t &pair, int32_t flags, int32_t revision_code)
{
  akui_app_t *app = akui_app();
  if ( !app->has_usable_connection() )
    return false;
  qvector<qstring> paths;
  paths.push_back(pair.path);
  const int32_t revision = revision_code == SYNC_LATEST_CODE ? pair.revision : revision_code;
  if ( const int code = app->facade.sync_files(paths, revision, flags); code != 0 )
  {
    show_server_error(code, "Sync \"%s\" to revision %d", pair.path.c_str(), revision);
    return false;
  }
  return true;
}

bool sync_history_selection(const action_ctx_base_t &context, int32_t flags, int32_t revision_code)
{
  std::vector<file_revision_t> pairs;
  if ( !collect_revision_pairs(context, &pairs) || pairs.empty() )
    return false;
  bool synced = false;
  for ( const file_revision_t &pair : pairs )
    synced = sync_file_to_revision(pair, flags, revision_code) || synced;
  if ( !synced )
    return false;
  if ( file_history_chooser_t *history = history_of(context); history != nullptr && pairs.size() == 1 )
    history->set_current_revision(pairs[0].revision);
  return true;
}

bool diff_with_previous(const action_ctx_base_t &context)
{
  std::vector<file_revision_t> pairs;
  if ( !collect_revision_pairs(context, &pairs) || pairs.empty() || !has_site_and_connection() )
    return false;
  for ( const file_revision_t &pair : pairs )
    if ( !diff_by_association(pair.path.c_str(), pair.revision - 1, pair.path.c_str(), pair.revision) )
      return false;
  return true;
}

// ---- Actions -----------------------------------------------------------------------------------------------

bool file_history_action_t::perform(selected_files_t &files)
{
  bool opened = false;
  for ( const selected_file_t &file : files )
    opened = open_file_history(file.path.c_str()) || opened;
  return opened;
}

bool file_history_action_t::applicable(const selected_files_t &files, action_ctx_base_t &)
{
  return !files.empty();
}

namespace {

int view_revision_activate(ui_action_activation_ctx_t *context)
{
  std::vector<file_revision_t> pairs;
  if ( !collect_revision_pairs(*context, &pairs) )
    return 0;
  bool viewed = false;
  for ( const file_revision_t &pair : pairs )
    viewed = view_file_revision(pair) || viewed;
  return viewed ? 1 : 0;
}

int diff_prev_activate(ui_action_activation_ctx_t *context)
{
  return diff_with_previous(*context) ? 1 : 0;
}

int diff_prev_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  std::vector<file_revision_t> pairs;
  const bool enabled = collect_revision_pairs(*context, &pairs) && pairs.size() == 1 && pairs[0].revision > 1
                    && has_diff_association(pairs[0].path.c_str());
  return enabled ? FILES_ACTION_ENABLED : FILES_ACTION_DISABLED;
}

constexpr uint64_t kind_bit(int kind)
{
  return uint64_t(1) << kind;
}

} // namespace

std::vector<action_desc_t> file_history_action_descs()
{
  constexpr uint64_t history_kinds = kind_bit(akui_kind_file_history) | kind_bit(akui_kind_commit_files);
  constexpr uint64_t tree_kinds = kind_bit(akui_kind_arkive_files) | kind_bit(akui_kind_local_files);
  action_desc_t view_revision = client_row("view_revision", view_revision_activate, nullptr, history_kinds,
                                           client_needs_local_site, 0, 0, "Open this revision", nullptr, nullptr);
  // Reported as state 3 when enabled, like the commit details.
  view_revision.context_word |= uint64_t(1) << 32;
  return {
    client_row("file_history", files_activate<file_history_action_t, WANT_PATH | WANT_NO_FOLDERS>,
               files_update<file_history_action_t, WANT_NO_FOLDERS>,
               tree_kinds | kind_bit(akui_kind_worklists) | history_kinds, client_needs_local_site, 0, 0,
               "File history", nullptr, nullptr),
    view_revision,
    client_row("diff_prev", diff_prev_activate, diff_prev_update, tree_kinds | history_kinds, client_needs_local_site,
               0, 0, "Diff against previous revision", nullptr, nullptr),
  };
}

QWidget *file_history_desktop_widget_factory_t::create_widget(const char *name, const json_object_t *)
{
  const size_t prefix = std::size(file_history_title_prefix) - 1;
  if ( name == nullptr || std::strlen(name) <= prefix )
    return nullptr;
  auto *source = new file_history_chooser_t(name + prefix);
  if ( !source->prepare() )
  {
    delete source;
    return nullptr;
  }
  chooser_widget_t *widget = chooser_widget_factory().new_chooser_widget(init_chooser_widget_setup(source, nullptr, false));
  attach_history_popup(widget);
  return widget;
}
