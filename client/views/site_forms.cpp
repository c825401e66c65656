// The site forms' shared pieces and the new-site form.
#include "client/views/site_forms.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_with_events.h"
#include "core/form_actions.h"
#include "core/ui_callback.h"
#include "forms/text_control_value.h"
#include "repo/arkive_errors.h"
#include "repo/revision_texts.h"

#include <string_view>

namespace {

constexpr char new_site_form_format[] = "%s\n\n%%/%%*%s\n%s\n%s\n%s\n%s\n\n";
constexpr char name_line[] = "<#Must be unique#~N~ame       :q1:1000:50::>";

bool field_empty(form_actions_t &actions, int field)
{
  qstring text;
  return !actions.read_field_value(field, &text) || text.empty();
}

} // namespace

// The root directory is a text field without a length limit: a path field would cut it at 259 bytes.
const char site_rootdir_line[] = "<~R~ootdir    :q3:0:50::>";
const char site_host_line[] = "<Client ~h~ost:q4:1000:50::>";
const char site_filter_line[] = "<#One path per line.\nTo hide a path, prepend it with an exclamation mark.#Path "
                                "~f~ilters will be applied to all operations:t5::60:::>";

const char *site_user_line(bool editable)
{
  return editable ? "<~U~ser       :q2:1000:50::>" : "User:%q";
}

int site_form_callback(int field_id, form_actions_t &actions)
{
  const auto *state = static_cast<const site_form_state_t *>(actions.caller_data());
  if ( state == nullptr )
    return 1;
  if ( field_id == form_code_ready && (state->fields_fixed != 0 || state->filters_only != 0) )
  {
    for ( int field : {site_field_name, site_field_user, site_field_host} )
      (void)actions.show_field(field, false);
    if ( state->filters_only != 0 )
      (void)actions.enable_field(site_field_rootdir, false);
  }
  // The OK button follows the fields from the start: an empty form cannot be sent.
  if ( field_id != form_code_ready && (field_id < site_field_name || field_id > site_field_host) )
    return 1;
  bool valid = !field_empty(actions, site_field_rootdir);
  if ( state->mode == site_form_new )
    valid = valid && !field_empty(actions, site_field_name);
  if ( state->user_editable != 0 )
    valid = valid && !field_empty(actions, site_field_user);
  (void)actions.switch_dialog_button(0, valid);
  return 1;
}

qvector<qstring> parse_site_filter_lines(const char *text)
{
  qvector<qstring> lines;
  std::string_view rest = text != nullptr ? text : "";
  while ( !rest.empty() )
  {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    while ( !line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r' || line.back() == '\v'
                              || line.back() == '\f') )
      line.remove_suffix(1);
    if ( line.empty() || line.front() == '#' )
      continue;
    lines.push_back(qstring(line.data(), line.size()));
  }
  return lines;
}

qstring site_form_title_text(const qstring &name)
{
  qstring text = name;
  for ( size_t i = 0; i < text.size(); ++i )
  {
    const char c = text[i];
    if ( c == '%' || c == '~' || c == '<' || c == '>' || c == '\\' || static_cast<unsigned char>(c) < 0x20 )
      text[i] = '_';
  }
  return text;
}

bool run_new_site_form(const char *header, site_info_t *site)
{
  akui_app_t *app = akui_app();
  if ( app == nullptr || site == nullptr )
    return false;
  const bool admin = app->server_info.session.admin;
  site_form_state_t state;
  state.user_editable = admin ? 1 : 0;
  state.fields_fixed = site->name.empty() ? 0 : 1;
  state.mode = site_form_new;
  qstring form;
  format_to_string(&form, new_site_form_format, header != nullptr ? header : "", site_user_line(admin), name_line,
                   site_rootdir_line, site_host_line, site_filter_line);
  text_control_value_t filters;
  filters.text = default_site_filters_text();
  bool added = false;
  for ( ;; )
  {
    // The typed root directory stays from one pass to the next.
    if ( form_dialog_printf(form.c_str(), site_form_callback, &state, &site->user, &site->name, &site->root_dir,
                            &site->client_host, &filters)
         <= 0 )
      return added;
    if ( !added )
    {
      const int code = app->facade.edit_site(*site, 1);
      if ( code != ARKIVE_OK )
      {
        show_server_warning(code, "Failed to add site");
        if ( state.fields_fixed != 0 )
          return false;
        continue;
      }
      added = true;
    }
    if ( filters.text == default_site_filters_text() )
      return true;
    const int code = app->facade.set_site_filters(parse_site_filter_lines(filters.text.c_str()), site->name.c_str());
    if ( code == ARKIVE_OK )
      return true;
    show_server_warning(code, "Failed to set filters");
    state.filters_only = 1;
  }
}
