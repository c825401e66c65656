// The worklist form and the form "Commit files to new worklist".
#include "client/views/worklist_forms.h"

#include "client/app/akui_app.h"
#include "client/views/opened_files_chooser.h"
#include "core/clock_time.h"
#include "core/form_actions.h"
#include "core/ui_callback.h"
#include "forms/text_control_value.h"
#include "views/chooser/chooser_widget.h"

#include <cctype>
#include <memory>

namespace {

// Field ids and dialog buttons of the forms.
constexpr int worklist_description_field = 2;
constexpr int files_field = 3;
constexpr int force_field = 4;
constexpr int commit_files_description_field = 1;
constexpr int button_yes = 0;
constexpr int button_no = 2;
// The server's answer to a commit of an empty worklist.
constexpr int code_worklist_empty = 38;

constexpr char commit_files_title[] = "Commit files to new worklist";

// What the worklist form's callback works on; lives on the stack of show_worklist_form while the form runs.
struct worklist_form_state_t
{
  int64_t number = 0;
  qstring last_changed;
  text_control_value_t description;
  qstring saved_description;
  bool editable = true;
  bool initialised = false;
  bool done = false; // set once a commit or a save went through

  void load(const worklist_info_t &worklist)
  {
    char time[64] = {};
    (void)format_packed_time(time, sizeof(time), "%F %T", worklist.changed);
    last_changed = time;
    description.text = worklist.description;
    saved_description = worklist.description;
  }
};

// Cuts trailing ASCII white space.
void trim_trailing_blanks(qstring *text)
{
  size_t length = text->size();
  while ( length > 0 )
  {
    const auto byte = static_cast<unsigned char>((*text)[length - 1]);
    if ( byte >= 0x80 || std::isspace(byte) == 0 )
      break;
    --length;
  }
  if ( length != text->size() )
    *text = qstring(text->c_str(), length);
}

// Reads the description field into the record, trims it and lets Yes and No work exactly when it is not empty.
void sync_description_field(form_actions_t &actions, int field, text_control_value_t *record)
{
  if ( actions.read_field_value(field, record) )
    trim_trailing_blanks(&record->text);
  const bool filled = !record->text.empty();
  (void)actions.switch_dialog_button(button_yes, filled);
  (void)actions.switch_dialog_button(button_no, filled);
}

int worklist_form_callback(int code, form_actions_t &actions)
{
  auto *state = static_cast<worklist_form_state_t *>(actions.caller_data());
  if ( state == nullptr )
    return 1;
  if ( code == form_code_ready || code == worklist_description_field )
  {
    sync_description_field(actions, worklist_description_field, &state->description);
    if ( code == form_code_ready )
      state->initialised = true;
    return 1;
  }
  if ( code != form_code_yes && code != form_code_no && code != form_code_cancel )
    return 1;
  if ( !state->editable )
    return 1;
  const qstring &text = state->description.text;
  const bool changed = text != state->saved_description;
  arkive_with_events_t &facade = akui_app()->facade;
  switch ( code )
  {
    case form_code_cancel:
      return !changed || confirm_discard_changes() ? 1 : 0;
    case form_code_no:
      if ( changed )
      {
        if ( const int result = facade.edit_worklist(int32_t(state->number), text.c_str()); result != 0 )
        {
          show_server_warning(result, "Failed to change worklist");
          return 0;
        }
        state->saved_description = text;
      }
      state->done = true;
      return 1;
    default:
    {
      uint16_t force = 0;
      (void)actions.read_field_value(force_field, &force);
      int32_t commit = 0;
      const int result = facade.commit_worklist(&commit, text.c_str(), int32_t(state->number), force);
      if ( result == 0 )
      {
        state->done = true;
        return 1;
      }
      show_server_warning(result, "Failed to commit worklist");
      // An empty worklist cannot be committed at all: the form closes, but nothing was committed.
      return result == code_worklist_empty ? 1 : 0;
    }
  }
}

int commit_files_form_callback(int code, form_actions_t &actions)
{
  auto *description = static_cast<text_control_value_t *>(actions.caller_data());
  if ( description == nullptr )
    return 1;
  if ( code == form_code_ready )
  {
    static const chooser_popup_entry_t extra[] = {{"diff_arkive_local", nullptr, 2}, {"open_file", nullptr, 2}};
    if ( chooser_widget_t *widget = find_chooser_widget_by_title(commit_files_title) )
    {
      widget->extra_popup_entries = extra;
      widget->extra_popup_count = std::size(extra);
    }
  }
  if ( code == form_code_ready || code == commit_files_description_field )
    sync_description_field(actions, commit_files_description_field, description);
  return 1;
}

} // namespace

bool show_worklist_form(const worklist_info_t &worklist, int mode)
{
  const char *yes = " NONE";
  const char *no = " Save";
  const char *cancel = " Close";
  if ( mode == worklist_form_commit || mode == worklist_form_commit_with_files )
    yes = "* Commit";
  else if ( mode == worklist_form_view )
    no = " NONE", cancel = " Ok";

  qvector<worklist_file_t> files;
  bool with_files = false;
  if ( mode == worklist_form_commit_with_files )
  {
    const int code = akui_app()->facade.get_worklist_files(&files, worklist.user.c_str(), worklist.site.c_str(),
                                                          worklist.number);
    if ( code != 0 )
      show_server_error(code, "Failed to retrieve worklist files");
    with_files = code == 0;
  }
  const bool with_force = mode == worklist_form_commit || mode == worklist_form_commit_with_files;

  qstring title;
  append_format_to_string(&title, "Worklist #%d", worklist.number);
  qstring form;
  append_format_to_string(&form,
                          "BUTTON YES%s\nBUTTON NO%s\nBUTTON CANCEL%s\n%s\n\n%%/%%*Worklist     %%D\n"
                          "Last changed %%1q\nUser         %%q\nSite         %%q\n<~D~escription:t2::200:::>",
                          yes, no, cancel, title.c_str());
  // A list's width is its minimum width: 200 columns made the form wider than any screen. The list gets the
  // width of the list in "Commit files to new worklist" and grows with the form.
  if ( with_files )
    form += "\n<->\n<~F~iles:E3::60:::>";
  if ( with_force )
    form += "\n<Force committing for unchanged files:C4>>\n";

  // The form is modal: its state lives on this stack for as long as the form does.
  worklist_form_state_t state;
  state.number = worklist.number;
  state.description.flags = mode == worklist_form_view ? text_flag_read_only : 0;
  state.editable = mode != worklist_form_view;
  state.load(worklist);

  opened_files_chooser_t chooser(&files, opened_files_listed_flags, false);
  qvector<uint64_t> selection;
  qstring user = worklist.user;
  qstring site = worklist.site;
  uint16_t force = 0;
  if ( with_files && with_force )
    (void)form_dialog_printf(form.c_str(), worklist_form_callback, &state, &state.number, &state.last_changed, &user,
                             &site, &state.description, chooser.embedded_list(), &selection, &force);
  else if ( with_force )
    (void)form_dialog_printf(form.c_str(), worklist_form_callback, &state, &state.number, &state.last_changed, &user,
                             &site, &state.description, &force);
  else
    (void)form_dialog_printf(form.c_str(), worklist_form_callback, &state, &state.number, &state.last_changed, &user,
                             &site, &state.description);
  // The form's own answer cannot tell a commit refused as empty from one that went through.
  return state.done;
}

int ask_commit_files(qstring *description, qvector<worklist_file_t> *rows, uint16_t *force)
{
  qstring form;
  append_format_to_string(&form,
                          "BUTTON YES* Commmit\nBUTTON NO Save\nBUTTON CANCEL Cancel\n%s\n\n%%/%%*<~D~escription:t1::60:::>\n"
                          "<->\n<~F~iles:E3::60:::>\n<Force committing for unchanged files:C>>\n",
                          commit_files_title);
  text_control_value_t result;
  text_control_value_t control;
  opened_files_chooser_t chooser(rows, opened_files_removable_flags, true);
  qvector<uint64_t> selection;
  const int answer = form_dialog_printf(form.c_str(), commit_files_form_callback, &result, &control,
                                        chooser.embedded_list(), &selection, force);
  *description = result.text;
  return answer;
}
