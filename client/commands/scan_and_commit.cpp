// Scan and commit.
#include "client/commands/scan_and_commit.h"

#include "client/app/akui_app.h"
#include "client/app/client_actions.h"
#include "client/commands/checkout_commands.h"
#include "client/views/worklist_forms.h"
#include "core/error_state.h"
#include "core/registry.h"
#include "core/ui_callback.h"

#include <string>

namespace {

constexpr int code_up_to_date = 49;

struct scan_letter_t
{
  uint32_t bit;
  char letter;
};
constexpr scan_letter_t scan_letters[] = {
  {scan_add_new, 'a'}, {scan_delete_deleted, 'd'}, {scan_edit_modified, 'e'}, {scan_without_dialog, 's'}};

bool is_tree_kind(int kind)
{
  return kind == akui_kind_arkive_files || kind == akui_kind_local_files;
}

// Asks for the options; false when the user did not confirm.
bool ask_scan_options(uint32_t *options, bool with_records)
{
  uint16_t checkouts = uint16_t(*options & (scan_add_new | scan_delete_deleted | scan_edit_modified));
  uint16_t quiet = 0;
  const int answer = form_dialog_printf(
    with_records ? "BUTTON YES* Scan\nBUTTON NO NONE\nBUTTON CANCEL Cancel\nWhat files to scan?\n\n"
                   "<Checkout for ~a~dd new files       :C>\n<Checkout for ~d~elete deleted files:C>\n"
                   "<Checkout for ~e~dit modified files :C>>\n\n<Do not ~s~how this dialog anymore:C>>"
                 : "BUTTON YES Yes\nBUTTON NO NONE\nBUTTON CANCEL* No\nWhat files to scan?\n\n"
                   "<Checkout for ~a~dd new files       :C>\n<Checkout for ~d~elete deleted files:C>\n"
                   "<Checkout for ~e~dit modified files :C>>\n\nDo you really want to scan all files?\n\n"
                   "<Do not ~s~how this dialog anymore:C>>",
    &checkouts, &quiet);
  if ( answer != 1 )
    return false;
  *options = checkouts | (quiet != 0 ? scan_without_dialog : 0);
  return true;
}

} // namespace

uint32_t read_scan_options()
{
  qstring text;
  if ( !registry_read_text(&text, scan_options_value) )
    return scan_default_options;
  uint32_t options = 0;
  for ( const scan_letter_t &entry : scan_letters )
    if ( text.view().find(entry.letter) != std::string_view::npos )
      options |= entry.bit;
  return options;
}

void write_scan_options(uint32_t options)
{
  std::string letters;
  for ( const scan_letter_t &entry : scan_letters )
    if ( (options & entry.bit) != 0 )
      letters += entry.letter;
  registry_write_text(scan_options_value, nullptr, letters.c_str());
}

bool scan_and_commit_action_t::perform(selected_files_t &files)
{
  uint32_t options = read_scan_options();
  if ( (options & scan_without_dialog) == 0 )
  {
    if ( !ask_scan_options(&options, !files.empty()) )
      return false;
    write_scan_options(options);
  }
  const qvector<qstring> selected = paths_of(files);

  selected_files_t roots = files;
  if ( roots.empty() )
  {
    selected_file_t root;
    root.path = "//";
    root.flags = SEL_FOLDER;
    roots.push_back(root);
  }
  qvector<qstring> local_files;
  qvector<qstring> ignore_rules;
  if ( !collect_local_files(roots, &local_files, true, &ignore_rules) )
  {
    log_printf("The current operation was canceled\n");
    return false;
  }

  arkive_with_events_t &facade = akui_app()->facade;
  int32_t number = -1;
  if ( const int code = facade.add_worklist(&number, nullptr); code != 0 )
  {
    show_server_warning(code, "Failed to add worklist");
    return false;
  }
  if ( const int code = facade.scan_files(number, selected, local_files, ignore_rules, int32_t(options)); code != 0 )
  {
    // The report below shows the scan's argument, not the removal's.
    const char *argument = get_error_arg_text(0);
    const std::string saved = argument != nullptr ? argument : "";
    const bool had_argument = argument != nullptr;
    (void)facade.delete_worklist(number);
    (void)error_arg_text(0, had_argument ? saved.c_str() : nullptr);
    if ( code == code_up_to_date )
    {
      if ( selected.empty() )
      {
        log_printf("All files are up-to-date.\n");
        warning_printf("All files are up-to-date.");
      }
      else
      {
        log_printf("The selected file(s) are up-to-date:\n");
        for ( const qstring &path : selected )
          log_printf("  %s\n", path.c_str());
        warning_printf("The selected file(s) are up-to-date.");
      }
    }
    else
    {
      show_server_warning(code, "Scan failed");
    }
    return false;
  }
  qvector<worklist_info_t> worklists;
  if ( const int code = facade.get_worklists(&worklists, nullptr, nullptr, number); code != 0 )
  {
    show_server_error(code, "Failed to retrieve worklist #%d", number);
    return false;
  }
  // Anything but the one worklist just made is the server's mistake: report it and stop, never guess.
  if ( worklists.size() != 1 || worklists[0].number != number )
  {
    warning_printf("The server did not return worklist #%d as it was created (%zu record(s) returned).", number,
                   worklists.size());
    return false;
  }
  (void)show_worklist_form(worklists[0], worklist_form_commit_with_files);
  return true;
}

int commit_activate(ui_action_activation_ctx_t *context)
{
  if ( !is_tree_kind(selection_kind_of(*context)) )
    return 0;
  scan_and_commit_action_t helper;
  return activate_files_action(helper, *context, WANT_PATH);
}

int commit_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  if ( is_tree_kind(selection_kind_of(*context)) )
  {
    relabel_action(*context, "Scan and commit...");
    return FILES_ACTION_ENABLED;
  }
  relabel_action(*context, "Commit...");
  return FILES_ACTION_DISABLED;
}

std::vector<action_desc_t> scan_and_commit_action_descs()
{
  constexpr uint64_t kinds = (uint64_t(1) << akui_kind_arkive_files) | (uint64_t(1) << akui_kind_local_files)
                           | (uint64_t(1) << akui_kind_worklists);
  constexpr uint64_t refresh = kinds | (uint64_t(1) << akui_kind_commits) | (uint64_t(1) << akui_kind_file_history)
                             | (uint64_t(1) << akui_kind_commit_files);
  return {client_row("commit", commit_activate, commit_update, kinds, client_needs_local_site, ACTION_FLAG_FROM_DESC_2,
                     refresh, "Commit...", nullptr, "icons/actions/scan_and_commit.svg")};
}
