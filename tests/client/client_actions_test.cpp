// The client's actions: the table as registered, the rule that enables an action, and the window's own handlers.
#include "client/app/akui_app.h"
#include "client/app/akui_main_window.h"
#include "client/app/client_actions.h"
#include "tests/client/client_session.h"
#include "tests/support/interr_capture.h"
#include "tests/ui/app/event_pump.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_node.h"
#include "ui/docks/dock_widget.h"
#include "ui/log_widget.h"

#include <QAction>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The 107 rows as the product lists them, by row number.
const std::vector<std::string> table_names = {
  // 0-18: the Output window
  "OutputNavLeft", "OutputNavRight", "OutputNavWordLeft", "OutputNavWordRight",
  "OutputNavLineUp", "OutputNavLineDown", "OutputNavPageUp", "OutputNavPageDown",
  "OutputNavLineBeginning", "OutputNavLineEnd", "OutputNavBeginning", "OutputNavEnd",
  "OutputCopy", "OutputSelectAll", "OutputFind", "OutputFindNext",
  "OutputClearContents", "OutputSaveToFile", "OutputToggleTimestamps",
  // 19-29: connection and window
  "about", "quit_akui", "logoff", "logon",
  "open_arkive_files_widget", "open_local_files_widget", "open_worklists_widget", "open_commits_widget",
  "open_sites_widget", "open_users_widget", "open_log_widget",
  // 30-32, 33, 34-39
  "get_revision", "diff_arkive_local", "commit",
  "open_manual",
  "resolve_auto", "resolve_prefer_local", "resolve_prefer_remote",
  "resolve_interactive", "resolve_use_local", "resolve_use_remote",
  // 40-59
  "rebuild_tree_structure", "sites_chooser_use_site", "users_chooser_set_passwd",
  "checkout_for_edit", "checkout_for_add", "checkout_for_delete", "map_to_other_filesystem",
  "revert", "revert_if_unchanged", "open_commit_files",
  "edit_worklist", "view_worklist", "open_file", "migrate_file_to_worklist",
  "checkout_for_move_rename", "checkout_for_copy",
  "file_history", "view_revision", "diff_prev", "diff_any",
  // 60-66, 67, 68
  "find_in_arkive", "find_in_arkive_next", "find_in_arkive_prev",
  "show_deleted_files", "show_ignored_files", "show_all_worklists", "open_containing_folder",
  "options",
  "get_revision_with_options",
  // 69-83: the chooser widget
  "ChooserInsert", "ChooserDelete", "ChooserEdit", "ChooserRefresh",
  "ChooserCopy", "ChooserCopyAll", "ChooserUnsort",
  "ChooserQuickFilter", "ChooserModifyFilters", "ChooserResetFilters",
  "ChooserSearch", "ChooserSearchAgain",
  "ChooserManageColumns", "ChooserHideColumn", "ChooserToggleTree",
  // 84-102: the directory-tree widget
  "DirTreeCreateFolder", "DirTreeQuickFilter", "DirTreeModifyFilters",
  "DirTreeResetFilters", "DirTreeUnsort", "DirTreeInsert", "DirTreeDelete",
  "DirTreeHideColumn", "DirTreeManageColumns", "DirTreeRename",
  "DirTreeSearch", "DirTreeSearchAgain", "DirTreeCopy", "DirTreeCopyAll",
  "DirTreeExpandSelection", "DirTreeCollapseSelection",
  "DirTreeCutSelection", "DirTreePasteCut", "DirTreeResetNaturalOrder",
  // 103-106: the quick filter
  "QuickFilterMatchCase", "QuickFilterModeRegex",
  "QuickFilterModeFuzzy", "QuickFilterModeWholeWords",
};

TEST(ClientActions, TheTableIsRegisteredInOrderWithTheBuiltInFlag)
{
  std::vector<std::string> names;
  for ( const action_desc_t &desc : client_action_table() )
    names.emplace_back(desc.name);
  EXPECT_EQ(names, table_names);
  for ( const action_desc_t &desc : client_action_table() )
  {
    SCOPED_TRACE(desc.name);
    ui_action_t *action = find_ui_action(desc.name);
    ASSERT_NE(action, nullptr);
    EXPECT_NE(action->flags & ACTION_FLAG_CORE, 0u);
    ASSERT_NE(action->qaction(), nullptr);
    EXPECT_EQ(action->qaction()->menuRole(), QAction::NoRole);
    EXPECT_TRUE(client_session().window->actions().contains(action->qaction()));
  }
  const struct
  {
    const char *name;
    const char *text;
    const char *tooltip;
    uint64_t refresh;
  } rows[] = {
    {"quit_akui", "E&xit", "Exit", 0},
    {"open_log_widget", "Log &window", "", 0},
    {"options", "&Options", "Open options dialog", 0x9},
    {"open_commits_widget", "&Commits", "Commits", 0},
    {"open_commit_files", "&Details...", "View commit", 0},
    // Without a tooltip of their own: Qt shows the label without its mnemonic.
    {"logoff", "&Disconnect", "Disconnect", ~uint64_t(0)},
    {"logon", "&Connect", "Connect", ~uint64_t(0)},
  };
  for ( const auto &row : rows )
  {
    SCOPED_TRACE(row.name);
    ui_action_t *action = find_ui_action(row.name);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->qaction()->text().toStdString(), row.text);
    EXPECT_EQ(action->qaction()->toolTip().toStdString(), row.tooltip[0] != '\0' ? row.tooltip : "Log window");
    EXPECT_EQ(action->refresh_mask, row.refresh);
  }
  // The chooser widget's rows: any chooser widget, a connection needed, the client's flags.
  const struct
  {
    const char *name;
    uint32_t ctx;
    uint32_t flags;
  } chooser_rows[] = {
    {"ChooserInsert", 0, 0},           {"ChooserCopy", 0x2, 0x1040000},       {"ChooserUnsort", 0, 0x40000},
    {"ChooserQuickFilter", 0, 0x1040000}, {"ChooserSearchAgain", 0, 0x1040000}, {"ChooserHideColumn", 0, 0x40000},
  };
  for ( const auto &row : chooser_rows )
  {
    SCOPED_TRACE(row.name);
    ui_action_t *action = find_ui_action(row.name);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->widget_kinds, 0u);
    EXPECT_EQ(action->widget_classes, 0x4u);
    EXPECT_EQ(action->context_word, uint64_t(row.ctx) << 32);
    EXPECT_EQ(action->flags & ~uint32_t(ACTION_FLAG_CORE), row.flags);
  }
  EXPECT_FALSE(find_ui_action("quit_akui")->qaction()->icon().isNull());
  EXPECT_FALSE(find_ui_action("open_log_widget")->qaction()->icon().isNull());
  EXPECT_FALSE(find_ui_action("logon")->qaction()->icon().isNull());
  EXPECT_FALSE(find_ui_action("logoff")->qaction()->icon().isNull());
}

// A row of the client's kind, as the table would give it.
struct row_t
{
  const char *name;
  uint64_t kinds;
  uint64_t classes;
  uint32_t cli;
  uint32_t ctx;
};

struct context_t
{
  const char *name;
  int kind;
  uint64_t classes;
  uint64_t flags; // low half: client flags (bit 0 local site usable); high half: framework context flags
};

int state_of(const row_t &row, const context_t &where, bool usable)
{
  ui_action_t action;
  action.flags = ACTION_FLAG_CORE;
  action.widget_kinds = row.kinds;
  action.widget_classes = row.classes;
  action.context_word = (uint64_t(row.ctx) << 32) | row.cli;
  ui_action_update_ctx_t context;
  context.widget_kind = where.kind;
  context.widget_class_flags = where.classes;
  context.context_flags = where.flags;
  akui_app_t &app = *client_session().app;
  return client_action_state(app._base_app_mixin_t::compute_action_state(&action, &context), action, context,
                             usable);
}

TEST(ClientActions, StateRule)
{
  const row_t about {"about", all_widget_kinds, 0, 0, 0};
  const row_t logon {"logon", all_widget_kinds, 0, 2, 0};
  const row_t get_revision {"get_revision", all_widget_kinds, 0, 1, 0};
  const row_t rebuild {"rebuild_tree_structure", 0, widget_class_file_tree, 0, 0};
  const row_t revert {"revert", 0, widget_class_file_tree, 1, 0};
  const row_t diff_local {"diff_arkive_local", 0x200, widget_class_file_tree, 1, 0};
  const row_t commit_files {"open_commit_files", 0x48, 0, 1, 0x1};
  const row_t edit_worklist {"edit_worklist", 0x4, 0, 1, 0x40};
  const row_t chooser_row {"ChooserInsert", 0, 0x4, 0, 0};
  const row_t output_row {"OutputCopy", uint64_t(1) << 16, 0, 2, 0};

  const context_t no_widget {"no widget", -1, 0, 0};
  const context_t no_widget_site {"no widget, site", -1, 0, 1};
  const context_t arkive_tree {"arkive tree, site", 0, widget_class_file_tree, 1};
  const context_t arkive_tree_no_site {"arkive tree", 0, widget_class_file_tree, 0};
  const context_t worklist_files {"worklist files, site", 9, WIDGET_CLASS_CHOOSER, 1};
  const context_t commits {"commits, site", 3, WIDGET_CLASS_CHOOSER, 1};
  const context_t commits_selected {"commits with selection, site", 3, WIDGET_CLASS_CHOOSER,
                                    1 | ctx_bit(CTX_BIT_CHOOSER_SELECTION)};
  const context_t worklists_bit6 {"worklists with context bit 6, site", 2, 0, 1 | ctx_bit(32 + 6)};
  const context_t worklists {"worklists, site", 2, 0, 1};
  const context_t log {"log window", 16, 0, 0};

  const struct
  {
    const row_t &row;
    const context_t &where;
    bool usable;
    int state;
  } cases[] = {
    // Without a connection only the rows usable without one stay enabled.
    {about, no_widget, false, 5},
    {chooser_row, commits, false, 5},
    {get_revision, arkive_tree, false, 5},
    {logon, no_widget, false, 2},
    {output_row, log, false, 2},
    {output_row, commits, false, 6},
    // With a connection: site-bound rows need the usable local site.
    {about, no_widget, true, 2},
    {get_revision, no_widget, true, 7},
    {get_revision, no_widget_site, true, 2},
    {rebuild, arkive_tree_no_site, true, 2},
    {chooser_row, commits, true, 2},
    {chooser_row, arkive_tree, true, 6},
    // The file-tree class reaches rows whose kind mask is 0.
    {revert, arkive_tree, true, 2},
    {revert, arkive_tree_no_site, true, 7},
    {revert, commits, true, 6},
    {diff_local, worklist_files, true, 2},
    {diff_local, arkive_tree, true, 2},
    {diff_local, commits, true, 6},
    // Context bit 0 makes an enabled row 3.
    {commit_files, commits, true, 7},
    {commit_files, commits_selected, true, 3},
    {edit_worklist, worklists, true, 7},
    {edit_worklist, worklists_bit6, true, 2},
    {commit_files, arkive_tree, true, 6},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(std::string(c.row.name) + " in " + c.where.name + (c.usable ? ", connected" : ", disconnected"));
    EXPECT_EQ(state_of(c.row, c.where, c.usable), c.state);
  }
}

TEST(ClientActions, ARowWithoutTheBuiltInFlagIsAnInternalError)
{
  ui_action_t action;
  action.widget_kinds = all_widget_kinds;
  ui_action_update_ctx_t context;
  akui_app_t &app = *client_session().app;
  EXPECT_EQ(interr_number([&] { (void)app.compute_action_state(&action, &context); }), 40725);
}

TEST(ClientActions, WithoutConnectionTheWindowsRowsStayEnabled)
{
  akui_app_t &app = *client_session().app;
  ASSERT_FALSE(app.has_usable_connection());
  for ( const char *name : {"quit_akui", "logon", "open_log_widget", "options"} )
  {
    SCOPED_TRACE(name);
    ui_action_t *action = find_ui_action(name);
    const action_ctx_ptr<ui_action_update_ctx_t> context(app.new_update_context());
    app.fill_update_context(context.get());
    EXPECT_LE(app.recompute_action_state(action, context.get()), ACTION_STATE_INITIAL);
    EXPECT_TRUE(action->qaction()->isEnabled());
  }
}

TEST(ClientActions, LogWindowOpensDockedAndComesBackAfterItWasClosed)
{
  akui_app_t &app = *client_session().app;
  akui_main_window_t *window = client_session().window;
  log_widget_t *log = client_session().log;
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  for ( int round = 0; round < 2; ++round )
  {
    SCOPED_TRACE(round);
    ASSERT_TRUE(trigger_ui_action(find_ui_action("open_log_widget")));
    DockWidget *dock = enclosing_dock_widget(log);
    ASSERT_NE(dock, nullptr);
    EXPECT_EQ(enclosing_dock_area(dock), app.top_level_dock_area());
    ASSERT_TRUE(pump_until([&] { return log->isVisible(); }, 5s));
    // Closing the dock keeps the Output window (it is persistent).
    app.close_hosted_widget(log, 0);
    QTest::qWait(20);
    ASSERT_EQ(app.log_widget(), log);
    EXPECT_FALSE(log->isVisible());
  }
  ASSERT_TRUE(trigger_ui_action(find_ui_action("open_log_widget")));
  EXPECT_TRUE(pump_until([&] { return log->isVisible(); }, 5s));
}

} // namespace
