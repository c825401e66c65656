// The Options dialog: a form of the views' settings, stored under "Config" when confirmed.
#include "client/app/options_dialog.h"

#include "client/app/akui_app.h"
#include "core/registry.h"
#include "core/ui_callback.h"

#include <cstdint>
#include <limits>

namespace {

constexpr char config_key[] = "Config";
constexpr char options_form[] =
  "Options\n"
  "<##Arkive files##Show ~d~eleted arkive files:C>>\n"
  "<##Local files##Show ~i~gnored local files:C>>\n"
  "Commits\n"
  "<#Maximum number of commits to show, '-1' means all.#~N~umber of commits to show:D::10::>\n"
  "<=:~V~iews>\n"
  "\n";

} // namespace

int32_t stored_ncommits()
{
  return registry_int(ncommits_value_name, false, ncommits_all, config_key);
}

int show_options_dialog()
{
  akui_app_t *app = akui_app();
  uint16_t show_deleted = app->show_deleted_files() ? 1 : 0;
  uint16_t show_ignored = app->show_ignored_files() ? 1 : 0;
  int64_t ncommits = stored_ncommits();
  for ( ;; )
  {
    if ( form_dialog_printf(options_form, &show_deleted, &show_ignored, &ncommits) <= 0 )
      return 1;
    if ( ncommits >= ncommits_all && ncommits <= std::numeric_limits<int32_t>::max() )
      break;
    warning_printf("The number of commits to show must be -1 (all) or between 0 and %d.",
                   std::numeric_limits<int32_t>::max());
  }
  app->set_show_deleted_files((show_deleted & 1) != 0);
  app->set_show_ignored_files((show_ignored & 1) != 0);
  (void)registry_int(ncommits_value_name, true, int32_t(ncommits), config_key);
  return 1;
}

int show_options_dialog_action(ui_action_activation_ctx_t *)
{
  return show_options_dialog();
}
