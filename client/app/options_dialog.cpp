// The Options dialog: a form of the views' settings and the file-extension associations, stored when confirmed.
#include "client/app/options_dialog.h"

#include "client/app/akui_app.h"
#include "client/views/file_assocs.h"
#include "core/form_actions.h"
#include "core/registry.h"
#include "core/ui_callback.h"
#include "views/chooser/chooser_widget.h"

#include <cstdint>
#include <limits>

namespace {

constexpr char config_key[] = "Config";
constexpr char options_form[] =
  "Options\n"
  "%/<##Arkive files##Show ~d~eleted arkive files:C>>\n"
  "<##Local files##Show ~i~gnored local files:C>>\n"
  "Commits\n"
  "<#Maximum number of commits to show, '-1' means all.#~N~umber of commits to show:D::10::>\n"
  "<=:~V~iews>\n"
  "%*<:E::::>\n"
  "<#Set the predefined associations#~R~eset :B::::>\n"
  "<=:File extension ~a~ssociations>\n"
  "\n";
// The associations the client cannot work without, checked in this order.
constexpr const char *required_extensions[] = {"zdb", "z64"};

// At the start of the form: the association list keeps the keys it does not handle, so Enter and Escape in it
// do not end the dialog.
int options_form_callback(int field_id, form_actions_t &actions)
{
  if ( field_id != form_code_ready )
    return 1;
  const auto *chooser = static_cast<const file_assoc_chooser_t *>(actions.caller_data());
  for ( chooser_widget_t *widget : live_chooser_widgets() )
    if ( widget->source() == chooser )
      widget->widget_flags |= chooser_widget_t::enter_stops_after_activation;
  return 1;
}

int reset_button(int, form_actions_t &actions)
{
  reset_chooser_file_assocs(static_cast<file_assoc_chooser_t *>(actions.caller_data()));
  return 0;
}

// The first required extension the list lacks, null when it has them all.
const char *missing_required_extension(const file_assoc_list_t &list)
{
  for ( const char *ext : required_extensions )
    if ( find_file_assoc(list, ext) == nullptr )
      return ext;
  return nullptr;
}

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
  file_assoc_chooser_t associations;
  qvector<uint64_t> selection;
  // Everything is checked before anything is stored: Cancel after a warning leaves every setting as it was.
  for ( ;; )
  {
    if ( form_dialog_printf(options_form, options_form_callback, &show_deleted, &show_ignored, &ncommits,
                            &associations, associations.embedded_list(), &selection, reset_button)
         <= 0 )
      return 1;
    if ( ncommits < ncommits_all || ncommits > std::numeric_limits<int32_t>::max() )
    {
      warning_printf("The number of commits to show must be -1 (all) or between 0 and %d.",
                     std::numeric_limits<int32_t>::max());
      continue;
    }
    if ( const char *missing = missing_required_extension(associations.list); missing != nullptr )
    {
      warning_printf(missing_file_assoc_warning, missing);
      continue;
    }
    break;
  }
  app->set_show_deleted_files((show_deleted & 1) != 0);
  app->set_show_ignored_files((show_ignored & 1) != 0);
  (void)registry_int(ncommits_value_name, true, int32_t(ncommits), config_key);
  save_chooser_file_assocs(associations);
  return 1;
}

int show_options_dialog_action(ui_action_activation_ctx_t *)
{
  return show_options_dialog();
}
