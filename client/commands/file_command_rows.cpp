// The action rows of the file commands.
#include "client/commands/file_command_rows.h"

#include "client/app/akui_app.h"
#include "client/app/client_actions.h"
#include "client/commands/checkout_commands.h"
#include "client/commands/external_tools.h"
#include "client/commands/revert_sync_commands.h"
#include "client/views/conflict_resolution.h"

namespace {

constexpr uint64_t kinds_of(std::initializer_list<int> kinds)
{
  uint64_t mask = 0;
  for ( int kind : kinds )
    mask |= uint64_t(1) << kind;
  return mask;
}

// Views that show files of the site, and what a check-out, a sync and a resolve refresh.
constexpr uint64_t trees_and_history = kinds_of({akui_kind_arkive_files, akui_kind_local_files, akui_kind_file_history});
constexpr uint64_t checkout_refresh = kinds_of({akui_kind_arkive_files, akui_kind_local_files, akui_kind_worklists,
                                                akui_kind_file_history});
constexpr uint64_t sync_refresh = checkout_refresh | kinds_of({akui_kind_commit_files});
constexpr uint64_t add_refresh = kinds_of({akui_kind_local_files, akui_kind_worklists});
// The framework flag that the client's window rows carry as well.
constexpr uint32_t flag_0x40000 = ACTION_FLAG_FROM_DESC_2;

// A row that also applies to every file tree (their widget class).
action_desc_t tree_row(action_desc_t desc)
{
  desc.widget_classes = widget_class_file_tree;
  return desc;
}

// A resolve method's row: the file trees and the worklists.
action_desc_t resolve_row(const char *name, const char *label, const char *tooltip)
{
  return client_row(name, resolve_activate, resolve_update,
                    kinds_of({akui_kind_arkive_files, akui_kind_local_files, akui_kind_worklists}),
                    client_needs_local_site, flag_0x40000, checkout_refresh, label, tooltip, nullptr);
}

} // namespace

std::vector<action_desc_t> file_command_action_descs()
{
  constexpr uint32_t site = client_needs_local_site;
  constexpr uint32_t edit_update_bits = WANT_PRESENT | WANT_WORKLIST | WANT_REVISIONS;
  constexpr uint32_t migrate_activate_bits = WANT_PATH | WANT_WORKLIST | WANT_NO_FOLDERS;
  return {
    client_row("checkout_for_edit", files_activate<checkout_for_edit_action_t, WANT_PATH>,
               files_update<checkout_for_edit_action_t, edit_update_bits>, trees_and_history, site, 0,
               checkout_refresh, "Checkout for edit", "Checkout for edit", nullptr),
    client_row("checkout_for_add", files_activate<checkout_for_add_action_t, WANT_PATH>,
               files_update<checkout_for_add_action_t, WANT_KNOWN>, kinds_of({akui_kind_local_files}), site, 0,
               add_refresh, "Add to arkive", "Add to arkive", nullptr),
    client_row("checkout_for_delete", files_activate<checkout_for_delete_action_t, WANT_PATH>,
               files_update<checkout_for_delete_action_t, edit_update_bits>, trees_and_history, site, 0,
               checkout_refresh, "Checkout for delete", "Checkout for delete", nullptr),
    client_row("map_to_other_filesystem", map_to_other_filesystem_activate, map_to_other_filesystem_update,
               kinds_of({akui_kind_arkive_files, akui_kind_local_files}), site, 0, checkout_refresh,
               "Map to other widget...", nullptr, nullptr),
    tree_row(client_row("revert", revert_activate, files_update<revert_action_t, WANT_WORKLIST>, 0, site, 0,
                        checkout_refresh, "Revert...", "Revert...", nullptr)),
    tree_row(client_row("revert_if_unchanged", revert_if_unchanged_activate,
                        files_update<revert_if_unchanged_action_t, WANT_OPENED_FOR_EDIT>, 0, site, 0,
                        checkout_refresh, "Revert if unchanged", nullptr, nullptr)),
    client_row("get_revision", get_revision_activate, get_revision_update, all_widget_kinds, site, 0, sync_refresh,
               "Get the latest revision", "Get revision", nullptr),
    client_row("get_revision_with_options", get_revision_with_options_activate, nullptr, all_widget_kinds, site, 0,
               sync_refresh, "Get revision...", "Get revision with options", nullptr),
    tree_row(client_row("diff_arkive_local", files_activate<diff_arkive_local_action_t, WANT_PATH>,
                        files_update<diff_arkive_local_action_t, WANT_PATH | WANT_PRESENT | WANT_WORKLIST>,
                        kinds_of({akui_kind_worklist_files}), site, flag_0x40000, 0, "Diff against the local file",
                        "Diff against the local file", nullptr)),
    tree_row(client_row("open_file", files_activate<open_file_action_t, WANT_PATH>, open_file_update,
                        kinds_of({akui_kind_worklist_files}), site, 0, 0, "Open", "Open file", nullptr)),
    client_row("migrate_file_to_worklist", files_activate<migrate_file_to_worklist_action_t, migrate_activate_bits>,
               files_update<migrate_file_to_worklist_action_t, WANT_WORKLIST | WANT_NO_FOLDERS>,
               kinds_of({akui_kind_worklists}), site, 0, kinds_of({akui_kind_worklists}),
               "Migrate to another worklist...", nullptr, nullptr),
    client_row("checkout_for_move_rename", checkout_for_move_rename_activate, checkout_for_move_rename_update,
               trees_and_history, site, 0, checkout_refresh, "Checkout for move/rename...", nullptr, nullptr),
    client_row("checkout_for_copy", checkout_for_copy_activate, checkout_for_copy_update,
               trees_and_history | kinds_of({akui_kind_commit_files}), site, 0, add_refresh, "Checkout for copy...",
               nullptr, nullptr),
    client_row("diff_any", files_activate<diff_any_action_t, WANT_PATH | WANT_REVISIONS>,
               files_update<diff_any_action_t, WANT_PATH | WANT_REVISIONS>,
               trees_and_history | kinds_of({akui_kind_commit_files}), site, 0, 0, "Diff against...", nullptr,
               nullptr),
    client_row("open_containing_folder", files_activate<open_containing_folder_action_t, WANT_PATH>,
               files_update<open_containing_folder_action_t, WANT_PATH | WANT_KNOWN | WANT_PRESENT>,
               kinds_of({akui_kind_local_files}), site, 0, 0, "Open the containing folder", nullptr, nullptr),
    client_row("open_manual", open_manual_activate, nullptr, all_widget_kinds, client_without_connection,
               flag_0x40000, 0, "AKUI manual", nullptr, nullptr),
    resolve_row("resolve_auto", "Auto resolve (if no conflicts)...", "Batch merge; bail out if conflicts are found"),
    resolve_row("resolve_prefer_local", "Auto resolve, prefer local...",
                "Batch merge using the local zdb to resolve conflicts"),
    resolve_row("resolve_prefer_remote", "Auto resolve, prefer remote...",
                "Batch merge using the remote zdb to resolve conflicts"),
    resolve_row("resolve_interactive", "Interactive merge", "Interactive merge using ZUK"),
    resolve_row("resolve_use_local", "Use local, discard remote...", "Do not merge, just take the local zdb"),
    resolve_row("resolve_use_remote", "Use remote, discard local...", "Do not merge, abandon the local zdb"),
  };
}
