// The commit details form and the list of a commit's files.
#include "client/views/commit_details_form.h"

#include "client/app/akui_app.h"
#include "client/views/commits_view.h"
#include "core/clock_time.h"
#include "core/form_actions.h"
#include "core/ui_callback.h"
#include "forms/form_widget.h"
#include "forms/text_control_value.h"
#include "repo/revision_texts.h"
#include "ui/action_context.h"
#include "ui/ui_action_registry.h"
#include "views/chooser/chooser_widget.h"

#include <QPointer>
#include <QTimer>

namespace {

constexpr const char *files_header[] = {"Path", "Action"};
constexpr uint32_t files_widths[] = {64, 6};

// Field ids and dialog buttons of the details form.
constexpr int description_field = 1;
constexpr int button_yes = 0;
// The revision code of "Get the latest revision": each file goes to its own listed revision.
constexpr int32_t listed_revision_code = -10;

// What the details form's callback works on and the variables of its fields: made with the form, freed by its
// last call (the form outlives show_commit_form).
struct commit_form_state_t
{
  int64_t number = 0;
  text_control_value_t description;
  qstring saved_description;
  bool editable = false;
  qstring user;
  qstring site;
  qvector<uint64_t> selection;
};

// Closes the form once its callback has returned: closing it inside the callback would delete it there.
void close_form_later(int64_t number)
{
  qstring title;
  append_format_to_string(&title, "Commit #%d", int32_t(number));
  QPointer<form_widget_t> form = find_form_widget_by_title(title.c_str(), false);
  if ( form == nullptr )
    return;
  QTimer::singleShot(0, form, [form]() {
    if ( akui_app_t *app = akui_app(); app != nullptr && form != nullptr )
      app->close_hosted_widget(form, 0);
  });
}

int commit_form_callback(int code, form_actions_t &actions)
{
  auto *state = static_cast<commit_form_state_t *>(actions.caller_data());
  if ( state == nullptr )
    return 1;
  if ( code == form_code_destroyed )
  {
    delete state;
    return 1;
  }
  if ( !state->editable )
  {
    if ( code == form_code_cancel )
      close_form_later(state->number);
    return 1;
  }
  if ( code == form_code_ready )
    state->saved_description = state->description.text;
  const bool read = actions.read_field_value(description_field, &state->description);
  const qstring &text = state->description.text;
  const bool changed = read && text != state->saved_description;
  if ( code == form_code_cancel )
  {
    if ( changed && !confirm_discard_changes() )
      return 0;
    close_form_later(state->number);
    return 1;
  }
  if ( code == form_code_yes )
  {
    if ( const int result = akui_app()->facade.edit_commit(int32_t(state->number), text.c_str()); result != 0 )
    {
      show_server_warning(result, "Failed to edit worklist");
      return 0;
    }
    state->saved_description = text;
    refresh_commits_widget();
  }
  (void)actions.switch_dialog_button(button_yes, !text.empty() && text != state->saved_description);
  // Save keeps the form open.
  return code == form_code_yes ? 0 : 1;
}

} // namespace

commit_files_chooser_t::commit_files_chooser_t(int32_t commit) : commit_(commit)
{
  flags = commit_files_chooser_flags;
  columns = int32_t(std::size(files_header));
  header = files_header;
  widths = files_widths;
}

bool commit_files_chooser_t::prepare()
{
  files_.clear();
  qvector<arkive_file_info_t> files;
  if ( const int code = akui_app()->facade.get_commit_files(&files, commit_); code != 0 )
  {
    show_server_error(code, "Failed to retrieve commit files");
    return false;
  }
  files_.assign(files.begin(), files.end());
  return true;
}

void commit_files_chooser_t::describe_row(std::span<qstring> texts, int32_t *, chooser_row_attrs_t *, uint64_t row)
{
  const arkive_file_info_t &file = files_[row];
  texts[0] = file.path;
  texts[0] += format_revision_pair(file.site_revision, file.last_revision);
  texts[1] = file_action_name(file.action);
}

int commit_files_chooser_t::activate_items(qvector<uint64_t> *)
{
  (void)trigger_ui_action(find_ui_action("view_revision"));
  return chooser_unchanged;
}

int commit_files_chooser_t::selection_widget_kind() const
{
  return akui_kind_commit_files;
}

bool commit_files_chooser_t::collect_files(selected_files_t *out, uint32_t request_bits,
                                           const action_ctx_base_t &context)
{
  return collect_commit_files_selection(out, files_, context.chooser_selection, request_bits);
}

bool commit_files_chooser_t::sync_selected_revisions(const action_ctx_base_t &context, int32_t flags,
                                                     int32_t revision_code)
{
  akui_app_t *app = akui_app();
  if ( app == nullptr || !app->has_usable_connection() )
    return false;
  // Copies: a sync refreshes the views, this list among them.
  std::vector<std::pair<qstring, int32_t>> pairs;
  for ( int row : context.chooser_selection )
    if ( row >= 0 && size_t(row) < files_.size() )
      pairs.emplace_back(files_[size_t(row)].path, files_[size_t(row)].site_revision);
  bool synced = false;
  for ( const auto &[path, revision] : pairs )
  {
    qvector<qstring> paths;
    paths.push_back(path);
    const int32_t number = revision_code == listed_revision_code ? revision : revision_code;
    if ( const int code = app->facade.sync_files(paths, number, flags); code != 0 )
      show_server_error(code, "Sync \"%s\" to revision %d", path.c_str(), revision);
    else
      synced = true;
  }
  return synced;
}

bool collect_commit_files_selection(selected_files_t *out, const std::vector<arkive_file_info_t> &files,
                                    const std::vector<int> &selection, uint32_t request_bits)
{
  for ( int index : selection )
  {
    if ( index < 0 || size_t(index) >= files.size() )
      continue;
    const arkive_file_info_t &file = files[size_t(index)];
    selected_file_t record;
    if ( (request_bits & WANT_PATH) != 0 )
      record.path = file.path;
    if ( (request_bits & WANT_REVISIONS) != 0 )
    {
      record.revision = file.site_revision;
      record.last_revision = file.last_revision;
    }
    if ( (request_bits & WANT_STATE) != 0 )
      record.state = file.action;
    if ( (request_bits & WANT_KNOWN) != 0 )
      record.flags |= SEL_KNOWN;
    out->push_back(std::move(record));
  }
  return true;
}

bool show_commit_form(int origin, const commit_info_t &commit, bool editable)
{
  (void)origin;
  qstring title;
  append_format_to_string(&title, "Commit #%d", commit.number);
  // The details of a commit show once: an open form comes to the front instead.
  if ( form_widget_t *open = find_form_widget_by_title(title.c_str(), false) )
  {
    (void)akui_app()->raise_widget_dock(open, true);
    return false;
  }
  char time[64] = {};
  (void)format_packed_time(time, sizeof(time), "%F %T", commit.time);
  // The user and the site are the server's texts: they go in as values, never as form markup.
  qstring form;
  append_format_to_string(&form,
                          "BUTTON YES %s\nBUTTON NO NONE\nBUTTON CANCEL Close\n%s\n\n%%/%%*Commit\t%d\nCommit time\t%s\n"
                          "User\t%%q\nSite\t%%q\n<~D~escription:t1::60:::>\n<->\n<~F~iles:E3::60:::>",
                          editable ? "Save" : "NONE", title.c_str(), commit.number, time);

  auto *state = new commit_form_state_t;
  state->number = commit.number;
  state->description.text = commit.description;
  state->description.flags = editable ? 0 : text_flag_read_only;
  state->editable = editable;
  // Not kept: the list embedded in the form deletes it when the form goes, after the form's last callback.
  auto *files = new commit_files_chooser_t(commit.number);
  state->user = commit.user;
  state->site = commit.site;
  void *shown = form_widget_printf(form.c_str(), 0x400004, commit_form_callback, state, &state->user, &state->site,
                                   &state->description, files->embedded_list(), &state->selection);
  if ( shown == nullptr )
  {
    // The form's text is fixed: a form that was not made built nothing that owns these.
    delete files;
    delete state;
    return false;
  }
  if ( chooser_widget_t *widget = find_chooser_widget_by_object(files) )
  {
    static const chooser_popup_entry_t extra[] = {
      {"file_history", nullptr, 2}, {"checkout_for_copy", nullptr, 2}, {"diff_prev", nullptr, 2},
      {"diff_any", nullptr, 2},     {"get_revision", nullptr, 2},      {"view_revision", nullptr, 2},
    };
    widget->extra_popup_entries = extra;
    widget->extra_popup_count = std::size(extra);
  }
  return false;
}
