// The action rows of the Sites and Users views.
#include "client/views/site_user_rows.h"

#include "client/app/akui_app.h"
#include "client/app/client_actions.h"
#include "client/views/sites_view.h"
#include "client/views/users_view.h"

namespace {

// The flag every window row carries.
constexpr uint32_t window_row_flags = 0x40000;
// What a switch of the site refreshes: Arkive files, Local files, Worklists, Sites and File history.
constexpr uint64_t site_switch_refresh = (uint64_t(1) << akui_kind_arkive_files)
                                       | (uint64_t(1) << akui_kind_local_files) | (uint64_t(1) << akui_kind_worklists)
                                       | (uint64_t(1) << akui_kind_sites) | (uint64_t(1) << akui_kind_file_history);

} // namespace

std::vector<action_desc_t> site_user_open_action_descs()
{
  return {
    client_row("open_sites_widget", open_sites_widget_activate, nullptr, all_widget_kinds, client_without_connection,
               window_row_flags, 0, "&Sites", "Sites", "icons/actions/open_sites_widget.svg"),
    client_row("open_users_widget", open_users_widget_activate, nullptr, all_widget_kinds, client_without_connection,
               window_row_flags, 0, "&Users", "Users", "icons/actions/open_users_widget.svg"),
  };
}

std::vector<action_desc_t> site_user_chooser_action_descs()
{
  return {
    client_row("sites_chooser_use_site", sites_chooser_use_site_activate, sites_chooser_use_site_update,
               uint64_t(1) << akui_kind_sites, 0, 0, site_switch_refresh, "Use this site...", nullptr,
               "icons/actions/sites_chooser_use_site.svg"),
    client_row("users_chooser_set_passwd", users_chooser_set_passwd_activate, users_chooser_set_passwd_update,
               uint64_t(1) << akui_kind_users, 0, 0, 0, "Set password...", nullptr,
               "icons/actions/users_chooser_set_passwd.svg"),
  };
}
