// The Local files tree over a real work directory and the test server, driven by real mouse and key events: lazy
// folders with sizes, the status bar path, ignored files, entries that cannot be read, the delete with its
// confirmation, and mapping a file between the two file views.
#include "client/views/local_files_view.h"

#include "client/app/akui_app.h"
#include "client/views/arkive_files_view.h"
#include "repo/packets_worklists.h"
#include "tests/client/file_tree_fixture.h"
#include "ui/action_context.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <QApplication>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class local_files_test_t : public file_tree_test_t
{
protected:
  local_files_dirtree_widget_t &open_view()
  {
    hosts.emplace_back(new_local_files_host());
    show(hosts.back().get());
    return *static_cast<local_files_dirtree_widget_t *>(file_tree_of(hosts.back().get()));
  }
  // Runs the tree's delete as the Delete file... action does.
  void run_delete(files_dirtree_widget_t &tree)
  {
    refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
    ui_action_t *remove = find_ui_action("DirTreeDelete");
    ASSERT_NE(remove, nullptr);
    (void)remove->run_from_ui();
    settle(tree);
  }
  std::vector<std::string> questions() const
  {
    std::vector<std::string> texts;
    for ( const ui_request_record_t &request : ui.requests_of(ui_code_question) )
      texts.push_back(request.text);
    return texts;
  }
};

} // namespace

TEST_F(local_files_test_t, folders_list_the_disk_lazily_with_sizes_states_and_the_status_bar_path)
{
  write_local(local("//depot/local.txt"), "only here");
  write_local(local("//depot/sub/deeper/d.txt"), "d");
  local_files_dirtree_widget_t &tree = open_view();
  EXPECT_EQ(rows(tree), (std::vector<std::string> {"depot"}));
  EXPECT_EQ(listed_patterns(), (std::vector<std::string> {"//*"}));

  expand(tree, "depot");
  EXPECT_EQ(rows(tree), (std::vector<std::string> {"depot", "  sub", "  a.txt#1", "  b.txt#1", "  local.txt"}))
    << "zz.bin is on the server only";
  EXPECT_EQ(text(tree, "a.txt", 1), "5");
  EXPECT_EQ(text(tree, "local.txt", 1), "9");
  EXPECT_EQ(text(tree, "sub", 1), "");
  // Not on the server: grey.
  EXPECT_TRUE(row(tree, "local.txt").data(Qt::ForegroundRole).isValid());
  EXPECT_FALSE(row(tree, "a.txt").data(Qt::ForegroundRole).isValid());
  click(tree, "local.txt");
  EXPECT_EQ(tree.status_bar()->currentMessage().toStdString(), "/depot/local.txt");
  EXPECT_FALSE(row(tree, "deeper").isValid()) << "sub is read when it is expanded";
  expand(tree, "sub");
  EXPECT_TRUE(row(tree, "deeper").isValid());
  screenshot(*hosts.back(), "depot");
}

TEST_F(local_files_test_t, ignored_files_show_only_with_the_setting_and_unreadable_entries_are_skipped)
{
  write_local(site_root + "/.akignore", "*.log\n");
  write_local(local("//depot/trace.log"), "log");
  // Listed by the folder, but nothing can be read of it: skipped.
  std::filesystem::create_symlink(site_root + "/nowhere", local("//depot/dangling"));
  local_files_dirtree_widget_t &tree = open_view();
  expand(tree, "depot");
  EXPECT_FALSE(row(tree, "trace.log").isValid());
  EXPECT_FALSE(row(tree, "dangling").isValid());
  EXPECT_TRUE(row(tree, "a.txt").isValid());

  ASSERT_TRUE(choose_from_menu(tree, "a.txt", "Show ignored files"));
  EXPECT_TRUE(app().show_ignored_files());
  app().on_dirty_widgets_refresh_timer();
  settle(tree);
  EXPECT_TRUE(row(tree, "trace.log").isValid());
  EXPECT_FALSE(row(tree, "dangling").isValid());
  EXPECT_TRUE(tree.isExpanded(row(tree, "depot")));
  screenshot(*hosts.back(), "ignored_shown");
}

TEST_F(local_files_test_t, delete_asks_with_thirty_paths_and_leaves_files_opened_for_delete_alone)
{
  for ( int i = 0; i < 31; ++i )
    write_local(local(("//many/f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".txt").c_str()), "x");
  local_files_dirtree_widget_t &tree = open_view();
  expand(tree, "many");
  click(tree, "f00.txt");
  click(tree, "f30.txt", Qt::ShiftModifier);
  ASSERT_EQ(tree.selectionModel()->selectedRows().size(), 31);

  // No: nothing changes.
  ui.script(ui_code_question, 0);
  run_delete(tree);
  ASSERT_EQ(questions().size(), 1u);
  std::string expected = "HIDECANCEL\nDo you really want to delete these files?\n";
  for ( int i = 0; i < 30; ++i )
    expected += "//many/f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".txt\n";
  expected += "... + 1 more\n";
  EXPECT_EQ(questions()[0], expected);
  EXPECT_TRUE(std::filesystem::exists(local("//many/f30.txt")));
  EXPECT_EQ(app().pending_refresh_mask(), 0u);

  // Yes: the files go, the view reloads and the other views refresh.
  ui.clear();
  ui.script(ui_code_question, 1);
  run_delete(tree);
  EXPECT_FALSE(std::filesystem::exists(local("//many/f00.txt")));
  EXPECT_FALSE(std::filesystem::exists(local("//many/f30.txt")));
  EXPECT_EQ(app().pending_refresh_mask() & 5, 5u) << "Arkive files and Worklists";
  settle(tree);
  EXPECT_FALSE(row(tree, "f00.txt").isValid());

  // A file opened for delete is not deletable even when it is back on the disk; the present one is.
  qvector<qstring> remove;
  remove.push_back("//depot/a.txt");
  ASSERT_EQ(app().facade.delete_files(remove, 1), 0);
  app().mark_opened_files_stale();
  write_local(local("//depot/a.txt"), "alpha");
  app().forget_listings(false);
  refresh_dirty_widgets_event_t refresh(uint64_t(1) << akui_kind_local_files);
  QApplication::sendEvent(&tree, &refresh);
  settle(tree);
  expand(tree, "depot");
  click(tree, "a.txt");
  click(tree, "b.txt", Qt::ControlModifier);
  ui.clear();
  ui.script(ui_code_question, 1);
  run_delete(tree);
  ASSERT_EQ(questions().size(), 1u);
  EXPECT_EQ(questions()[0], "HIDECANCEL\nDo you really want to delete these files?\n//depot/b.txt\n");
  EXPECT_TRUE(std::filesystem::exists(local("//depot/a.txt")));
  EXPECT_FALSE(std::filesystem::exists(local("//depot/b.txt")));
  screenshot(*hosts.back(), "after_delete");
}

TEST_F(local_files_test_t, map_shows_the_file_in_the_other_view_and_back)
{
  local_files_dirtree_widget_t &local_tree = open_view();
  expand(local_tree, "depot");
  expand(local_tree, "sub");
  ASSERT_TRUE(choose_from_menu(local_tree, "c.txt", "Show in Arkive files"));
  arkive_files_dirtree_widget_t *arkive = find_arkive_files_widget();
  ASSERT_NE(arkive, nullptr);
  hosts.emplace_back(find_arkive_files_host());
  settle(*arkive);
  EXPECT_EQ(arkive->status_bar()->currentMessage().toStdString(), "//depot/sub/c.txt");
  screenshot(*hosts.back(), "arkive_shows_c");

  // From Arkive files back to Local files: a folder too.
  arkive->setFocus();
  ASSERT_TRUE(choose_from_menu(*arkive, "b.txt", "Show in Local files"));
  settle(local_tree);
  EXPECT_EQ(local_tree.status_bar()->currentMessage().toStdString(), "/depot/b.txt");
  EXPECT_TRUE(requests_of<path_list_packet_t>(EDIT_FILES).empty());
}
