// The action rows of the Sites and Users views, in the order the client's table lists them.
#pragma once

#include "ui/ui_action.h"

#include <vector>

// "open_sites_widget" and "open_users_widget": they work without a connection.
[[nodiscard]] std::vector<action_desc_t> site_user_open_action_descs();
// "sites_chooser_use_site" (Sites list) and "users_chooser_set_passwd" (Users list).
[[nodiscard]] std::vector<action_desc_t> site_user_chooser_action_descs();
