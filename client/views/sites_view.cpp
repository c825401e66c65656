// The Sites view: the list of sites, its edit form and the switch to a site.
#include "client/views/sites_view.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_with_events.h"
#include "client/views/server_list_rows.h"
#include "client/views/site_forms.h"
#include "core/form_actions.h"
#include "core/ui_callback.h"
#include "forms/text_control_value.h"
#include "repo/arkive_errors.h"
#include "repo/revision_texts.h"
#include "ui/action_context.h"
#include "ui/icon_registry.h"
#include "views/chooser/chooser_widget.h"
#include "views/filter/item_info.h"

#include <utility>

namespace {

constexpr char sites_title[] = "Sites";
// Multiple selection; insert, delete, edit and refresh; widget kind 4.
constexpr uint32_t sites_flags = 0x280F04;
constexpr const char *sites_header[] = {"Name", "User", "Rootdir", "Client host", "Last used"};
constexpr uint32_t sites_widths[] = {16, 20, 40, 20, 20};
constexpr char edit_site_form_format[] = "Edit site %s\n\n%%/%%*Last used: %%q\n%s\n%s\n%s\n%s\n\n";
// Sync options after the current site's root directory moved.
constexpr int32_t sync_after_move = 5;
constexpr uint64_t local_files_mask = uint64_t(1) << akui_kind_local_files;
constexpr uint64_t filtered_views_mask = (uint64_t(1) << akui_kind_arkive_files) | (uint64_t(1) << akui_kind_commits);

const chooser_popup_entry_t sites_popup = {"sites_chooser_use_site", nullptr, 0};

sites_chooser_t *sites_source(const action_ctx_base_t &context)
{
  return dynamic_cast<sites_chooser_t *>(context.chooser);
}

} // namespace

sites_chooser_t::sites_chooser_t()
  : insert_desc_("Add new site...", nullptr, icon_id_of_file("add_site", "icons/actions")),
    delete_desc_("Delete site...", nullptr, icon_id_of_file("delete_site", "icons/actions")),
    edit_desc_("Edit site...", nullptr, icon_id_of_file("edit_site", "icons/actions"))
{
  version = 3;
  flags = sites_flags;
  title = sites_title;
  columns = 5;
  header = sites_header;
  widths = sites_widths;
  icon = icon_id_of_file("sites_widget", "icons/widgets");
  if ( akui_app_t *app = akui_app() )
    (void)app->facade.add_handler(this);
}

bool sites_chooser_t::prepare()
{
  sites.clear();
  akui_app_t *app = akui_app();
  if ( app == nullptr || !app->facade.is_usable() )
    return true;
  const session_info_t &me = login_session();
  const int code = app->facade.get_sites(&sites, me.admin ? nullptr : me.user.c_str());
  if ( code != ARKIVE_OK )
  {
    sites.clear();
    show_server_error(code, "Failed to retrieve sites");
    return false;
  }
  return true;
}

bool sites_chooser_t::is_current_row(uint64_t row) const
{
  akui_app_t *app = akui_app();
  return app != nullptr && row < sites.size() && !app->current_site_name().empty()
      && sites[row].name == app->current_site_name();
}

void sites_chooser_t::describe_row(std::span<qstring> texts, int32_t *, chooser_row_attrs_t *attrs, uint64_t row)
{
  const site_info_t &site = sites[row];
  texts[0] = site.name;
  texts[1] = site.user;
  texts[2] = site.root_dir;
  texts[3] = site.client_host;
  texts[4] = list_time_text(site.last_used);
  if ( is_current_row(row) )
    attrs->style |= row_bold;
}

int sites_chooser_t::insert_item(qvector<uint64_t> *selection)
{
  akui_app_t *app = akui_app();
  if ( app == nullptr )
    return chooser_unchanged;
  site_info_t site;
  site.user = login_session().user;
  site.client_host = app->computer_name_text();
  if ( !run_new_site_form("Enter the new site data", &site) )
    return chooser_unchanged;
  site_info_t fetched;
  int code = app->facade.get_site(&fetched, site.name.c_str());
  if ( code != ARKIVE_OK )
  {
    show_server_warning(code, "Failed to retrieve the new site");
    return chooser_unchanged;
  }
  const bool first = sites.empty();
  sites.push_back(fetched);
  if ( first )
  {
    // The very first site becomes the connection's site.
    code = app->facade.use_site(&fetched, site.name.c_str(), nullptr);
    if ( code != ARKIVE_OK )
      show_server_error(code, "Failed to switch to the new site");
  }
  selection->clear();
  selection->push_back(sites.size() - 1);
  return chooser_rebuild;
}

int sites_chooser_t::delete_items(qvector<uint64_t> *selection)
{
  akui_app_t *app = akui_app();
  if ( app == nullptr || selection->empty() )
    return chooser_unchanged;
  named_row_delete_t how;
  how.question = "HIDECANCEL\nDo you really want to delete these sites?\n%s";
  how.retry_code = 6;
  how.retry_question = "HIDECANCEL\nSite '%s' is not empty.\nDo you still want to delete it?";
  how.failure = "Failed to delete site";
  how.remove = [app](const char *name, bool forced) { return app->facade.delete_site(name, forced ? 1 : 0); };
  how.erase = [this](uint64_t row) { sites.erase(size_t(row)); };
  return delete_named_rows(*this, selection, [this](uint64_t row) { return row < sites.size() ? &sites[row].name : nullptr; },
                           how);
}

int sites_chooser_t::edit_items(qvector<uint64_t> *selection)
{
  const bool administrator = login_session().admin;
  bool changed = false;
  for ( const uint64_t row : qvector<uint64_t>(*selection) )
    if ( row < sites.size() && run_edit_site_form(row, administrator) )
      changed = true;
  return changed ? chooser_rebuild : chooser_unchanged;
}

bool sites_chooser_t::run_edit_site_form(uint64_t row, bool administrator)
{
  akui_app_t *app = akui_app();
  if ( app == nullptr || row >= sites.size() )
    return false;
  // The row stays as it was until the server took the change; the form edits a copy.
  site_info_t copy = sites[row];
  const qstring name = copy.name;
  const bool is_current = is_current_row(row);
  const bool user_editable = administrator && !is_current;
  bool filters_shown = administrator || copy.user == login_session().user;
  text_control_value_t filters;
  if ( filters_shown )
  {
    qvector<qstring> lines;
    if ( app->facade.get_site_filters(&lines, name.c_str()) != ARKIVE_OK )
    {
      filters_shown = false;
    }
    else if ( lines.empty() )
    {
      filters.text = default_site_filters_text();
    }
    else
    {
      for ( size_t i = 0; i < lines.size(); ++i )
      {
        if ( i != 0 )
          filters.text += "\n";
        filters.text += lines[i];
      }
    }
  }
  const qstring initial_filters = filters.text;
  qstring form;
  format_to_string(&form, edit_site_form_format, site_form_title_text(name).c_str(), site_user_line(user_editable),
                   site_rootdir_line, site_host_line, filters_shown ? site_filter_line : "");
  site_form_state_t state;
  state.user_editable = user_editable ? 1 : 0;
  state.mode = site_form_edit;
  const qstring last_used = list_time_text(copy.last_used);
  bool filters_changed = false;
  for ( ;; )
  {
    if ( form_dialog_printf(form.c_str(), site_form_callback, &state, &last_used, &copy.user, &copy.root_dir,
                            &copy.client_host, &filters)
         <= 0 )
      return false;
    const site_info_t &before = sites[row];
    const bool changed = (user_editable && copy.user != before.user) || copy.root_dir != before.root_dir
                      || copy.client_host != before.client_host;
    filters_changed = filters_shown && filters.text != initial_filters;
    if ( !changed && !filters_changed )
      return false;
    if ( changed )
    {
      if ( const int code = app->facade.edit_site(copy, 0); code != ARKIVE_OK )
      {
        show_server_warning(code, "Failed to change site");
        continue;
      }
    }
    if ( filters_changed )
    {
      if ( const int code = app->facade.set_site_filters(parse_site_filter_lines(filters.text.c_str()), name.c_str());
           code != ARKIVE_OK )
      {
        show_server_warning(code, "Failed to set filters");
        continue;
      }
    }
    break;
  }

  if ( is_current && copy.root_dir != sites[row].root_dir )
  {
    // The work directory moved: the server takes the site again, the files may follow, and the Local files
    // view shows the new place whatever the answer.
    int code = app->facade.use_site(nullptr, name.c_str(), "*");
    if ( code == ARKIVE_OK )
    {
      if ( question_printf(1, "HIDECANCEL\nDo you want to sync all files to '%s'?", copy.root_dir.c_str()) == 1 )
        code = app->facade.sync_files(qvector<qstring>(), revision_last, sync_after_move);
      app->refresh_widgets(local_files_mask, true);
    }
    if ( code != ARKIVE_OK )
      show_server_error(code, "Failed to use the current local site after editing it");
  }
  if ( filters_changed )
    app->refresh_widgets(filtered_views_mask, true);

  site_info_t fetched;
  if ( const int code = app->facade.get_site(&fetched, name.c_str()); code != ARKIVE_OK )
  {
    show_server_warning(code, "Failed to retrieve local site after editing it");
    return false;
  }
  if ( row < sites.size() )
    std::swap(sites[row], fetched);
  return true;
}

int sites_chooser_t::reload_items(qvector<uint64_t> *selection)
{
  return reload_keeping_names(*this, selection, [this](uint64_t row) { return row < sites.size() ? &sites[row].name : nullptr; });
}

bool sites_chooser_t::standard_action_descs(chooser_stdact_desc_t *descs[4])
{
  descs[0] = &insert_desc_;
  descs[1] = &delete_desc_;
  descs[2] = &edit_desc_;
  return true;
}

QWidget *find_sites_widget()
{
  return find_chooser_widget_by_title(sites_title);
}

QWidget *create_sites_widget()
{
  return open_server_list(new sites_chooser_t, &sites_popup);
}

int open_sites_widget_activate(ui_action_activation_ctx_t *)
{
  return present_server_list(find_sites_widget, create_sites_widget);
}

int sites_chooser_use_site_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  sites_chooser_t *sites = sites_source(*context);
  const int64_t selected = single_selected_row(*context);
  if ( sites == nullptr || selected < 0 )
    return ACTION_STATE_MISSING_CONTEXT;
  const auto row = uint64_t(selected);
  if ( row >= sites->sites.size() || sites->is_current_row(row) )
    return ACTION_STATE_MISSING_CONTEXT;
  return sites->sites[row].user == login_session().user ? ACTION_STATE_INITIAL : ACTION_STATE_MISSING_CONTEXT;
}

int sites_chooser_use_site_activate(ui_action_activation_ctx_t *context)
{
  akui_app_t *app = akui_app();
  sites_chooser_t *sites = sites_source(*context);
  const int64_t selected = single_selected_row(*context);
  if ( app == nullptr || sites == nullptr || context->title != sites_title || selected < 0 )
    return 0;
  const auto row = uint64_t(selected);
  if ( row >= sites->sites.size() || sites->is_current_row(row) )
    return 0;
  const qstring name = sites->sites[row].name;
  if ( question_printf(1, "HIDECANCEL\nDo you really want to switch to '%s'?", name.c_str()) != 1 )
    return 0;
  return app->use_local_site(name.c_str(), false) ? 1 : 0;
}
