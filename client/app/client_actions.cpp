// The client's action table, its registration, the enabling rule and the window's own handlers.
#include "client/app/client_actions.h"

#include "client/app/akui_app.h"
#include "client/app/akui_main_window.h"
#include "client/app/login.h"
#include "client/app/options_dialog.h"
#include "client/commands/file_command_rows.h"
#include "client/commands/scan_and_commit.h"
#include "client/commands/worklist_commands.h"
#include "client/views/about_dialog.h"
#include "client/views/file_tree_rows.h"
#include "client/views/arkive_listing_cache.h"
#include "client/views/commits_view.h"
#include "client/views/file_history_view.h"
#include "client/views/site_user_rows.h"
#include "core/internal_error.h"
#include "ui/action_context.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_node.h"
#include "ui/docks/dock_widget.h"
#include "ui/log_widget.h"
#include "ui/log_widget_actions.h"
#include "ui/ui_action_registry.h"
#include "views/chooser/chooser_actions.h"
#include "views/filter/filtered_view_actions.h"

#include <QAction>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int INTERR_STATE_OF_NON_CORE_ACTION = 40725;
// The framework flag every connection and window row carries.
constexpr uint32_t window_row_flags = 0x40000;
// What the Refresh action reloads: the file trees (Arkive files, Local files, Worklists) and the File history
// views.
constexpr uint64_t file_tree_refresh = (uint64_t(1) << akui_kind_arkive_files) | (uint64_t(1) << akui_kind_local_files)
                                     | (uint64_t(1) << akui_kind_worklists) | (uint64_t(1) << akui_kind_file_history);

int always_enabled(ui_action_t *, ui_action_update_ctx_t *)
{
  return 0;
}

// The chooser widget's rows as the client lists them: any chooser widget (class 0x4), a server connection
// needed, with the client's context requirements and flags. The library's handlers, update functions and
// checkability stay.
struct chooser_row_words_t
{
  const char *name;
  uint32_t context_requirements;
  uint32_t flags;
};
constexpr uint32_t chooser_copy_flags = 0x1040000;
constexpr chooser_row_words_t chooser_rows[] = {
  {chooser_insert_action, 0, 0},
  {chooser_delete_action, 0, 0},
  {chooser_edit_action, 0, 0},
  {chooser_refresh_action, 0, 0},
  {chooser_copy_action, 0x2, chooser_copy_flags},
  {chooser_copy_all_action, 0x2, chooser_copy_flags},
  {chooser_unsort_action, 0, window_row_flags},
  {chooser_quick_filter_action, 0, chooser_copy_flags},
  {chooser_modify_filters_action, 0, chooser_copy_flags},
  {chooser_reset_filters_action, 0, chooser_copy_flags},
  {chooser_search_action, 0, chooser_copy_flags},
  {chooser_search_again_action, 0, chooser_copy_flags},
  {chooser_manage_columns_action, 0, window_row_flags},
  {chooser_hide_column_action, 0, window_row_flags},
  {chooser_toggle_tree_action, 0, window_row_flags},
};

action_desc_t library_chooser_row(const char *name)
{
  for ( std::span<const action_desc_t> descs : {chooser_action_descs(), filtered_view_action_descs()} )
    for ( const action_desc_t &desc : descs )
      if ( std::strcmp(desc.name, name) == 0 )
        return desc;
  return {};
}

void append_chooser_rows(std::vector<action_desc_t> *rows)
{
  for ( const chooser_row_words_t &words : chooser_rows )
  {
    action_desc_t desc = library_chooser_row(words.name);
    desc.widget_kinds = 0;
    desc.widget_classes = WIDGET_CLASS_CHOOSER;
    desc.context_word = uint64_t(words.context_requirements) << 32;
    desc.flags = words.flags | (desc.flags & ACTION_FLAG_CHECKABLE);
    rows->push_back(desc);
  }
}

// The table's order, one name a row: the Output window's rows, the client's own (connection and window rows
// among the file and view commands), the chooser widget's, the directory-tree widget's and the quick filter's.
// Menus, toolbars and the shortcut configuration see the actions in this order.
constexpr const char *table_order[] = {
  "OutputNavLeft", "OutputNavRight", "OutputNavWordLeft", "OutputNavWordRight", "OutputNavLineUp",
  "OutputNavLineDown", "OutputNavPageUp", "OutputNavPageDown", "OutputNavLineBeginning", "OutputNavLineEnd",
  "OutputNavBeginning", "OutputNavEnd", "OutputCopy", "OutputSelectAll", "OutputFind", "OutputFindNext",
  "OutputClearContents", "OutputSaveToFile", "OutputToggleTimestamps",
  "about", "quit_akui", "logoff", "logon", "open_arkive_files_widget", "open_local_files_widget",
  "open_worklists_widget", "open_commits_widget", "open_sites_widget", "open_users_widget", "open_log_widget",
  "get_revision", "diff_arkive_local", "commit", "open_manual", "resolve_auto", "resolve_prefer_local",
  "resolve_prefer_remote", "resolve_interactive", "resolve_use_local", "resolve_use_remote",
  "rebuild_tree_structure", "sites_chooser_use_site", "users_chooser_set_passwd", "checkout_for_edit",
  "checkout_for_add", "checkout_for_delete", "map_to_other_filesystem", "revert", "revert_if_unchanged",
  "open_commit_files", "edit_worklist", "view_worklist", "open_file", "migrate_file_to_worklist",
  "checkout_for_move_rename", "checkout_for_copy", "file_history", "view_revision", "diff_prev", "diff_any",
  "find_in_arkive", "find_in_arkive_next", "find_in_arkive_prev", "show_deleted_files", "show_ignored_files",
  "show_all_worklists", "open_containing_folder", "options", "get_revision_with_options",
  "ChooserInsert", "ChooserDelete", "ChooserEdit", "ChooserRefresh", "ChooserCopy", "ChooserCopyAll",
  "ChooserUnsort", "ChooserQuickFilter", "ChooserModifyFilters", "ChooserResetFilters", "ChooserSearch",
  "ChooserSearchAgain", "ChooserManageColumns", "ChooserHideColumn", "ChooserToggleTree",
  "DirTreeCreateFolder", "DirTreeQuickFilter", "DirTreeModifyFilters", "DirTreeResetFilters", "DirTreeUnsort",
  "DirTreeInsert", "DirTreeDelete", "DirTreeHideColumn", "DirTreeManageColumns", "DirTreeRename",
  "DirTreeSearch", "DirTreeSearchAgain", "DirTreeCopy", "DirTreeCopyAll", "DirTreeExpandSelection",
  "DirTreeCollapseSelection", "DirTreeCutSelection", "DirTreePasteCut", "DirTreeResetNaturalOrder",
  "QuickFilterMatchCase", "QuickFilterModeRegex", "QuickFilterModeFuzzy", "QuickFilterModeWholeWords",
};

// Every row the client carries, in the order each part of the client provides them.
std::vector<action_desc_t> all_rows()
{
  std::vector<action_desc_t> rows;
  // The Output window's rows stand in the client's table so that its menus and keys can use them; they work
  // without a connection.
  for ( action_desc_t desc : log_widget_action_descs() )
  {
    desc.context_word |= client_without_connection;
    desc.flags |= window_row_flags;
    rows.push_back(desc);
  }
  rows.push_back(client_row("about", run_about_action, nullptr, all_widget_kinds, 0, window_row_flags, 0,
                            "About program...", nullptr, "/medium.png"));
  rows.push_back(client_row("quit_akui", quit_akui_activate, always_enabled, all_widget_kinds,
                            client_without_connection, window_row_flags, 0, "E&xit", "Exit",
                            "icons/actions/quit_akui.svg"));
  rows.push_back(client_row("logoff", logoff_activate, logoff_update, all_widget_kinds, 0, window_row_flags,
                            all_widget_kinds, "&Disconnect", nullptr, "icons/actions/logoff.svg"));
  rows.push_back(client_row("logon", logon_activate, logon_update, all_widget_kinds, client_without_connection,
                            window_row_flags, all_widget_kinds, "&Connect", nullptr, "icons/actions/logon.svg"));
  rows.push_back(open_worklists_widget_row());
  for ( const action_desc_t &desc : commits_view_action_descs() )
    rows.push_back(desc);
  for ( const action_desc_t &desc : site_user_open_action_descs() )
    rows.push_back(desc);
  rows.push_back(client_row("open_log_widget", open_log_widget_activate, nullptr, all_widget_kinds,
                            client_without_connection, window_row_flags, 0, "Log &window", nullptr,
                            "icons/actions/open_log_widget.svg"));
  rows.push_back(client_row("options", show_options_dialog_action, nullptr, all_widget_kinds,
                            client_without_connection, 0,
                            (uint64_t(1) << akui_kind_arkive_files) | (uint64_t(1) << akui_kind_commits), "&Options",
                            "Open options dialog", nullptr));
  action_desc_t refresh = client_row("rebuild_tree_structure", rebuild_tree_structure_activate, nullptr, 0, 0, 0,
                                     file_tree_refresh, "Refresh", "Refresh", "icons/actions/rebuild_tree_structure.svg");
  refresh.widget_classes = widget_class_file_tree;
  rows.push_back(refresh);
  for ( const action_desc_t &desc : site_user_chooser_action_descs() )
    rows.push_back(desc);
  for ( const action_desc_t &desc : file_command_action_descs() )
    rows.push_back(desc);
  for ( const action_desc_t &desc : scan_and_commit_action_descs() )
    rows.push_back(with_worklists_commit(desc));
  rows.insert(rows.end(), worklist_command_action_descs().begin(), worklist_command_action_descs().end());
  for ( const action_desc_t &desc : file_history_action_descs() )
    rows.push_back(desc);
  append_chooser_rows(&rows);
  for ( const action_desc_t &desc : file_tree_action_descs() )
    rows.push_back(desc);
  return rows;
}

// The rows in table order. A name without a row gives an empty record, which the registry refuses.
std::vector<action_desc_t> build_table()
{
  const std::vector<action_desc_t> rows = all_rows();
  std::vector<action_desc_t> table;
  table.reserve(std::size(table_order));
  for ( const char *name : table_order )
  {
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [name](const action_desc_t &desc) { return desc.name != nullptr && std::strcmp(desc.name, name) == 0; });
    table.push_back(row != rows.end() ? *row : action_desc_t {});
  }
  return table;
}

} // namespace

action_desc_t client_row(const char *name, action_desc_t::activate_fn activate, action_desc_t::update_fn update,
                         uint64_t kinds, uint32_t client_requirements, uint32_t flags, uint64_t refresh,
                         const char *label, const char *tooltip, const char *icon)
{
  action_desc_t desc;
  desc.name = name;
  desc.activate = activate;
  desc.update = update;
  desc.widget_kinds = kinds;
  desc.context_word = client_requirements;
  desc.flags = flags;
  desc.refresh_mask = refresh;
  desc.label = label;
  desc.tooltip = tooltip;
  desc.icon = icon;
  return desc;
}

std::span<const action_desc_t> client_action_table()
{
  static const std::vector<action_desc_t> table = build_table();
  return table;
}

void register_client_actions()
{
  akui_app_t *app = akui_app();
  ui_action_registry_t *registry = app->get_action_registry();
  for ( const action_desc_t &desc : client_action_table() )
    (void)registry->register_core_action(desc);
  for ( const auto &[name, checked] : {std::pair {"show_deleted_files", app->show_deleted_files()},
                                       std::pair {"show_ignored_files", app->show_ignored_files()}} )
    if ( ui_action_t *action = registry->find_action(name); action != nullptr )
      (void)action->apply_property(ACTION_PROP_CHECKED, &checked);
}

int client_action_state(int base_state_of_masks, const ui_action_t &action, const ui_action_update_ctx_t &context,
                        bool usable_connection)
{
  if ( (action.flags & ACTION_FLAG_CORE) == 0 )
    interr(INTERR_STATE_OF_NON_CORE_ACTION);
  const uint32_t requirements = uint32_t(action.context_word);
  if ( (requirements & client_without_connection) == 0 && !usable_connection )
    return ACTION_STATE_NO_CONNECTION;
  if ( base_state_of_masks > ACTION_STATE_INITIAL )
    return base_state_of_masks;
  const uint32_t needed = requirements & ~client_without_connection;
  if ( (uint32_t(context.context_flags) & needed) != needed )
    return ACTION_STATE_MISSING_CONTEXT;
  const bool first_context_bit = ((action.context_word >> 32) & 1) != 0;
  return first_context_bit ? ACTION_STATE_INITIAL : ACTION_STATE_ENABLED;
}

int akui_app_t::compute_action_state(ui_action_t *action, ui_action_update_ctx_t *context)
{
  // The framework's mask rule has no side effects beyond the same internal error, so it may run first.
  return client_action_state(app_t::compute_action_state(action, context), *action, *context,
                             has_usable_connection());
}

void akui_app_t::fill_update_context(ui_action_update_ctx_t *context)
{
  ui_action_context_provider_t::fill_update_context(context);
  if ( has_usable_connection() && !current_site_name().empty() )
    context->context_flags |= context_local_site_usable;
  if ( context->widget_kind >= akui_kind_arkive_files && context->widget_kind <= akui_kind_worklists )
    context->widget_class_flags |= widget_class_file_tree;
}

std::unique_ptr<ui_action_t> akui_app_t::create_client_action(const ui_action_desc_t &desc)
{
  auto action = std::make_unique<akui_action_t>();
  auto *qaction = new QAction(this);
  qaction->setMenuRole(QAction::NoRole);
  if ( desc.icon >= 0 )
    qaction->setIcon(icon_by_id(desc.icon));
  if ( ui_main_window_t *window = main_window(); window != nullptr )
    window->addAction(qaction);
  connect(qaction, &QAction::triggered, this, &akui_app_t::action_triggered);
  action->set_qaction(qaction);
  return action;
}

void akui_app_t::action_triggered()
{
  ui_action_t *action = actions_.find_action_of_qaction(sender());
  if ( action == nullptr )
    return;
  (void)action->run_from_ui();
  refresh_actions(UPDACT_ACTION_RAN, nullptr, nullptr);
}

int akui_action_t::run_from_ui()
{
  const int result = ui_action_t::run_from_ui();
  if ( akui_app_t *app = akui_app() )
    close_progress_display(app->progressor);
  return result;
}

int quit_akui_activate(ui_action_activation_ctx_t *)
{
  if ( akui_main_window_t *window = akui_app()->client_main_window(); window != nullptr )
    window->close();
  return 1;
}

int open_log_widget_activate(ui_action_activation_ctx_t *)
{
  akui_app_t *app = akui_app();
  log_widget_t *log = app->log_widget();
  TopLevelDockArea *area = app->top_level_dock_area();
  if ( log == nullptr || area == nullptr )
    return 1;
  DockWidget *dock = enclosing_dock_widget(log);
  if ( dock == nullptr )
    dock = app->new_dock_widget(log, 0);
  if ( enclosing_dock_area(dock) != area || !dock->isVisible() )
    area->make_dock_visible(dock, dock_edge_bottom);
  (void)app->raise_widget_dock(log, true);
  return 1;
}
