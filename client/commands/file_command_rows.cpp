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

// Views that show files of the site, and the refresh after a check-out.
constexpr uint64_t trees_and_history = kinds_of({akui_kind_arkive_files, akui_kind_local_files, akui_kind_file_history});
constexpr uint64_t checkout_refresh = kinds_of({akui_kind_arkive_files, akui_kind_local_files, akui_kind_worklists,
                                                akui_kind_file_history});
constexpr uint64_t sync_refresh = checkout_refresh | kinds_of({akui_kind_commit_files});

action_desc_t row(const char *name, action_desc_t::activate_fn activate, action_desc_t::update_fn update,
                  uint64_t kinds, uint64_t refresh, const char *label, const char *tooltip)
{
  action_desc_t desc;
  desc.name = name;
  desc.activate = activate;
  desc.update = update;
  desc.widget_kinds = kinds;
  desc.context_word = client_needs_local_site;
  desc.refresh_mask = refresh;
  desc.label = label;
  desc.tooltip = tooltip;
  return desc;
}

// A row of the file trees of every kind (their widget class) and of the kinds given.
action_desc_t tree_row(const char *name, action_desc_t::activate_fn activate, action_desc_t::update_fn update,
                       uint64_t kinds, uint64_t refresh, const char *label, const char *tooltip)
{
  action_desc_t desc = row(name, activate, update, kinds, refresh, label, tooltip);
  desc.widget_classes = widget_class_file_tree;
  return desc;
}

// A row with the framework's flag 0x40000 (as the client's window rows carry it) and its client requirements.
action_desc_t flagged_row(action_desc_t desc, uint32_t client_requirements)
{
  desc.flags |= ACTION_FLAG_FROM_DESC_2;
  desc.context_word = client_requirements;
  return desc;
}

// A resolve method's row: the file trees and the worklists.
action_desc_t resolve_row(const char *name, const char *label, const char *tooltip)
{
  return flagged_row(row(name, resolve_activate, resolve_update,
                        kinds_of({akui_kind_arkive_files, akui_kind_local_files, akui_kind_worklists}), checkout_refresh,
                        label, tooltip),
                    client_needs_local_site);
}

} // namespace

std::vector<action_desc_t> file_command_action_descs()
{
  constexpr uint32_t edit_update_bits = WANT_PRESENT | WANT_WORKLIST | WANT_REVISIONS;
  constexpr uint32_t migrate_activate_bits = WANT_PATH | WANT_WORKLIST | WANT_NO_FOLDERS;
  return {
    row("checkout_for_edit", files_activate<checkout_for_edit_action_t, WANT_PATH>,
        files_update<checkout_for_edit_action_t, edit_update_bits>, trees_and_history, checkout_refresh,
        "Checkout for edit", "Checkout for edit"),
    row("checkout_for_add", files_activate<checkout_for_add_action_t, WANT_PATH>,
        files_update<checkout_for_add_action_t, WANT_KNOWN>, kinds_of({akui_kind_local_files}),
        kinds_of({akui_kind_local_files, akui_kind_worklists}), "Add to arkive", "Add to arkive"),
    row("checkout_for_delete", files_activate<checkout_for_delete_action_t, WANT_PATH>,
        files_update<checkout_for_delete_action_t, edit_update_bits>, trees_and_history, checkout_refresh,
        "Checkout for delete", "Checkout for delete"),
    row("checkout_for_move_rename", checkout_for_move_rename_activate, checkout_for_move_rename_update,
        trees_and_history, checkout_refresh, "Checkout for move/rename...", nullptr),
    row("checkout_for_copy", checkout_for_copy_activate, checkout_for_copy_update,
        trees_and_history | kinds_of({akui_kind_commit_files}), kinds_of({akui_kind_local_files, akui_kind_worklists}),
        "Checkout for copy...", nullptr),
    row("migrate_file_to_worklist", files_activate<migrate_file_to_worklist_action_t, migrate_activate_bits>,
        files_update<migrate_file_to_worklist_action_t, WANT_WORKLIST | WANT_NO_FOLDERS>,
        kinds_of({akui_kind_worklists}), kinds_of({akui_kind_worklists}), "Migrate to another worklist...", nullptr),
    row("map_to_other_filesystem", map_to_other_filesystem_activate, map_to_other_filesystem_update,
        kinds_of({akui_kind_arkive_files, akui_kind_local_files}), checkout_refresh, "Map to other widget...",
        nullptr),
    tree_row("revert", revert_activate, revert_update, 0, checkout_refresh, "Revert...", "Revert..."),
    tree_row("revert_if_unchanged", revert_if_unchanged_activate, revert_if_unchanged_update, 0, checkout_refresh,
             "Revert if unchanged", nullptr),
    row("get_revision", get_revision_activate, get_revision_update, all_widget_kinds, sync_refresh,
        "Get the latest revision", "Get revision"),
    row("get_revision_with_options", get_revision_with_options_activate, nullptr, all_widget_kinds, sync_refresh,
        "Get revision...", "Get revision with options"),
    flagged_row(tree_row("diff_arkive_local", diff_arkive_local_activate, diff_arkive_local_update,
                        kinds_of({akui_kind_worklist_files}), 0, "Diff against the local file",
                        "Diff against the local file"),
               client_needs_local_site),
    row("diff_any", diff_any_activate, diff_any_update, trees_and_history | kinds_of({akui_kind_commit_files}), 0,
        "Diff against...", nullptr),
    tree_row("open_file", open_file_activate, open_file_update, kinds_of({akui_kind_worklist_files}), 0, "Open",
             "Open file"),
    row("open_containing_folder", open_containing_folder_activate, open_containing_folder_update,
        kinds_of({akui_kind_local_files}), 0, "Open the containing folder", nullptr),
    flagged_row(row("open_manual", open_manual_activate, nullptr, all_widget_kinds, 0, "AKUI manual", nullptr),
               client_without_connection),
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
