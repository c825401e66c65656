// The Arkive files tree against the test server, driven by real mouse and key events: lazy folders, sizes and
// commit times, the records its selection gives the file commands, Enter, select_path, refreshes, the saved view
// state, the delete, find in arkive and a file command run from its menu.
#include "client/views/arkive_files_view.h"

#include "client/app/akui_app.h"
#include "client/views/arkive_listing_cache.h"
#include "repo/packets_sites.h"
#include "repo/packets_worklists.h"
#include "tests/client/file_tree_fixture.h"
#include "ui/action_context.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QApplication>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace {

// Sets TZ for the scope.
class scoped_tz_t
{
public:
  explicit scoped_tz_t(const char *zone)
  {
    if ( const char *old = std::getenv("TZ"); old != nullptr )
      saved_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~scoped_tz_t()
  {
    if ( saved_.empty() )
      unsetenv("TZ");
    else
      setenv("TZ", saved_.c_str(), 1);
    tzset();
  }

private:
  std::string saved_;
};

// The "%F %T" text of a packed time's seconds shifted by hours, read as UTC.
std::string utc_text(uint64_t packed, int hours)
{
  const time_t seconds = time_t(packed >> 32) + time_t(hours) * 3600;
  tm parts {};
  gmtime_r(&seconds, &parts);
  char text[64];
  std::strftime(text, sizeof(text), "%F %T", &parts);
  return text;
}

struct record_t
{
  std::string path;
  uint32_t flags;
  int32_t worklist;
  int32_t revision;
  int32_t last_revision;
  int state;
  friend bool operator==(const record_t &, const record_t &) = default;
  friend void PrintTo(const record_t &r, std::ostream *out)
  {
    *out << r.path << " flags " << std::hex << r.flags << std::dec << " wl " << r.worklist << " rev " << r.revision
         << "/" << r.last_revision << " state " << r.state;
  }
};

std::vector<record_t> records_of(const selected_files_t &files)
{
  std::vector<record_t> out;
  for ( const selected_file_t &f : files )
    out.push_back({str(f.path), f.flags, f.worklist, f.revision, f.last_revision, int(f.state)});
  return out;
}

class arkive_files_test_t : public file_tree_test_t
{
protected:
  arkive_files_dirtree_widget_t &open_view()
  {
    hosts.emplace_back(new_arkive_files_host());
    show(hosts.back().get());
    return *static_cast<arkive_files_dirtree_widget_t *>(file_tree_of(hosts.back().get()));
  }
};

} // namespace

TEST_F(arkive_files_test_t, folders_load_when_expanded_with_sizes_and_commit_times_in_local_time)
{
  const scoped_tz_t utc("UTC0");
  arkive_files_dirtree_widget_t &tree = open_view();
  EXPECT_EQ(rows(tree), (std::vector<std::string> {"depot"}));
  EXPECT_EQ(listed_patterns(), (std::vector<std::string> {"//*"}));
  screenshot(*hosts.back(), "1_root");

  expand(tree, "depot");
  EXPECT_EQ(rows(tree), (std::vector<std::string> {"depot", "  sub", "  a.txt#1", "  b.txt#1", "  zz.bin#0/1"}));
  EXPECT_EQ(listed_patterns(), (std::vector<std::string> {"//*", "//depot/*"}));
  const arkive_file_info_t *a = find_arkive_file_info("//depot/a.txt");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(text(tree, "a.txt", 1), "5");
  EXPECT_EQ(text(tree, "zz.bin", 1), "2");
  EXPECT_EQ(text(tree, "a.txt", 2), utc_text(a->commit_time, 0));
  // Folder rows have neither size nor time.
  EXPECT_EQ(text(tree, "sub", 1), "");
  EXPECT_EQ(text(tree, "sub", 2), "");
  // The status bar shows the server path of the current entry.
  click(tree, "b.txt");
  EXPECT_EQ(tree.status_bar()->currentMessage().toStdString(), "//depot/b.txt");
  screenshot(*hosts.back(), "2_depot");

  {
    const scoped_tz_t tokyo("JST-9");
    refresh_dirty_widgets_event_t refresh(uint64_t(1) << akui_kind_arkive_files);
    EXPECT_TRUE(QApplication::sendEvent(&tree, &refresh));
    settle(tree);
    EXPECT_EQ(text(tree, "a.txt", 2), utc_text(a->commit_time, 9));
  }
  // Deleted files only with "Show deleted files", in italics.
  EXPECT_FALSE(row(tree, "gone.txt").isValid());
  app().set_show_deleted_files(true);
  app().on_dirty_widgets_refresh_timer();
  settle(tree);
  const QModelIndex gone = row(tree, "gone.txt");
  ASSERT_TRUE(gone.isValid());
  EXPECT_TRUE(gone.data(Qt::FontRole).value<QFont>().italic());
  EXPECT_TRUE(row(tree, "sub").isValid() && tree.isExpanded(row(tree, "depot")));
  EXPECT_FALSE(row(tree, "c.txt").isValid()) << "sub is still not expanded";
  screenshot(*hosts.back(), "3_deleted_shown");
}

TEST_F(arkive_files_test_t, collect_files_fills_what_each_request_asks_for)
{
  qvector<qstring> edit;
  edit.push_back("//depot/sub/c.txt");
  ASSERT_EQ(app().facade.edit_files(edit, 1), 0);
  app().mark_opened_files_stale();
  app().set_show_deleted_files(true);
  arkive_files_dirtree_widget_t &tree = open_view();
  ui_action_activation_ctx_t context;
  selected_files_t none;
  EXPECT_TRUE(tree.collect_files(&none, 0x7FF, context));
  EXPECT_TRUE(none.empty());

  expand(tree, "depot");
  expand(tree, "sub");
  click(tree, "sub");
  for ( const char *name : {"c.txt", "a.txt", "zz.bin", "gone.txt"} )
    click(tree, name, Qt::ControlModifier);

  constexpr uint32_t all = WANT_PATH | WANT_KNOWN | WANT_LATEST | WANT_PRESENT | WANT_WORKLIST | WANT_NEEDS_RESOLVE
                         | WANT_OPENED_FOR_EDIT | WANT_REVISIONS | WANT_STATE;
  const struct
  {
    uint32_t request;
    std::vector<record_t> records;
  } table[] = {
    {WANT_PATH,
     {{"//depot/sub/", SEL_FOLDER, -1, -4, -4, 0},
      {"//depot/sub/c.txt", 0, -1, -4, -4, 0},
      {"//depot/a.txt", 0, -1, -4, -4, 0},
      {"//depot/zz.bin", 0, -1, -4, -4, 0},
      {"//gone.txt", 0, -1, -4, -4, 0}}},
    {WANT_PATH | WANT_KNOWN | WANT_PRESENT | WANT_NO_FOLDERS,
     {{"//depot/sub/c.txt", SEL_KNOWN | SEL_PRESENT, -1, -4, -4, 0},
      {"//depot/a.txt", SEL_KNOWN | SEL_PRESENT, -1, -4, -4, 0},
      {"//depot/zz.bin", SEL_KNOWN, -1, -4, -4, 0},
      {"//gone.txt", 0, -1, -4, -4, 0}}},
    {all,
     {{"//depot/sub/", SEL_FOLDER, -1, -3, -3, 0},
      {"//depot/sub/c.txt", SEL_KNOWN | SEL_LATEST | SEL_PRESENT | SEL_OPENED_FOR_EDIT, 1, 1, 1, 3},
      {"//depot/a.txt", SEL_KNOWN | SEL_LATEST | SEL_PRESENT, -1, 1, 1, 1},
      {"//depot/zz.bin", SEL_KNOWN, -1, 0, 1, 1},
      {"//gone.txt", 0, -1, -4, -4, 0}}},
    // Without the path bit the records keep the server path the tree names.
    {WANT_WORKLIST | WANT_NO_FOLDERS,
     {{"//depot/sub/c.txt", 0, 1, -4, -4, 0},
      {"//depot/a.txt", 0, -1, -4, -4, 0},
      {"//depot/zz.bin", 0, -1, -4, -4, 0},
      {"//gone.txt", 0, -1, -4, -4, 0}}},
  };
  for ( const auto &row : table )
  {
    SCOPED_TRACE(row.request);
    selected_files_t files;
    EXPECT_TRUE(tree.collect_files(&files, row.request, context));
    EXPECT_EQ(records_of(files), row.records);
  }
}

TEST_F(arkive_files_test_t, enter_opens_files_with_their_view_program_or_warns)
{
  test_assoc_finder_t finder;
  const std::string record = scratch + "/viewed";
  finder.by_extension["txt"] = {write_tool_script(scratch, "viewer.sh", record, 0), "", "", {}};
  arkive_files_dirtree_widget_t &tree = open_view();
  expand(tree, "depot");

  click(tree, "a.txt");
  QTest::keyClick(&tree, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(record); }, 5000));
  std::ifstream in(record);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "arg:" + local("//depot/a.txt"));

  // On the server but not at the site.
  click(tree, "zz.bin");
  QTest::keyClick(&tree, Qt::Key_Return);
  EXPECT_EQ(warnings(), (std::vector<std::string> {"No openable files have been found"}));

  ui.clear();
  finder.by_extension.clear();
  click(tree, "b.txt");
  QTest::keyClick(&tree, Qt::Key_Enter);
  ASSERT_EQ(warnings().size(), 1u);
  EXPECT_EQ(warnings()[0].rfind("No application is defined for 'txt' files.", 0), 0u) << warnings()[0];
}

TEST_F(arkive_files_test_t, select_path_expands_the_way_and_refuses_a_missing_component)
{
  arkive_files_dirtree_widget_t &tree = open_view();
  click(tree, "depot");
  EXPECT_FALSE(tree.select_path("/nothere/c.txt"));
  EXPECT_FALSE(tree.select_path("/depot/nothere"));
  EXPECT_EQ(tree.currentIndex(), row(tree, "depot"));

  ASSERT_TRUE(tree.select_path("/depot/sub/c.txt"));
  settle(tree);
  EXPECT_EQ(tree.currentIndex(), row(tree, "c.txt"));
  const QModelIndexList selected = tree.selectionModel()->selectedRows();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(selected[0], row(tree, "c.txt"));
  EXPECT_EQ(tree.status_bar()->currentMessage().toStdString(), "//depot/sub/c.txt");
}

TEST_F(arkive_files_test_t, a_refresh_reloads_only_for_its_kind_and_keeps_the_expanded_folders)
{
  arkive_files_dirtree_widget_t &tree = open_view();
  expand(tree, "depot");
  server.repository().commit_files("alice", "ws", "new", {{"//depot/new.txt", "n"}});
  app().listing_cache().clear();

  refresh_dirty_widgets_event_t other(uint64_t(1) << akui_kind_local_files | uint64_t(1) << akui_kind_commits);
  QApplication::sendEvent(&tree, &other);
  settle(tree);
  EXPECT_FALSE(row(tree, "new.txt").isValid());

  refresh_dirty_widgets_event_t mine(uint64_t(1) << akui_kind_arkive_files);
  EXPECT_TRUE(QApplication::sendEvent(&tree, &mine));
  settle(tree);
  EXPECT_TRUE(row(tree, "new.txt").isValid());
  EXPECT_TRUE(tree.isExpanded(row(tree, "depot")));
}

TEST_F(arkive_files_test_t, the_expanded_folders_are_saved_and_restored_through_the_registry)
{
  {
    arkive_files_dirtree_widget_t &tree = open_view();
    expand(tree, "depot");
    expand(tree, "sub");
    hosts.clear();
  }
  app().forget_listings(false);
  server.clear_received();
  arkive_files_dirtree_widget_t &tree = open_view();
  EXPECT_EQ(rows(tree), (std::vector<std::string> {"depot", "  sub", "    c.txt#1", "  a.txt#1", "  b.txt#1",
                                                   "  zz.bin#0/1"}));
  EXPECT_EQ(listed_patterns(), (std::vector<std::string> {"//*", "//depot/*", "//depot/sub/*"}));
  // Collapsed again, it stays collapsed the next time.
  click(tree, "depot");
  QTest::keyClick(&tree, Qt::Key_Left);
  hosts.clear();
  arkive_files_dirtree_widget_t &again = open_view();
  EXPECT_EQ(rows(again), (std::vector<std::string> {"depot"}));
}

TEST_F(arkive_files_test_t, delete_checks_out_folders_and_present_files_not_opened_ones)
{
  qvector<qstring> edit;
  edit.push_back("//depot/sub/c.txt");
  ASSERT_EQ(app().facade.edit_files(edit, 1), 0);
  app().mark_opened_files_stale();
  arkive_files_dirtree_widget_t &tree = open_view();
  expand(tree, "depot");
  expand(tree, "sub");
  click(tree, "sub");
  for ( const char *name : {"c.txt", "a.txt", "zz.bin"} )
    click(tree, name, Qt::ControlModifier);
  server.clear_received();
  app().refresh_widgets(all_widget_kinds, false);

  ui_action_t *remove = find_ui_action("DirTreeDelete");
  ASSERT_NE(remove, nullptr);
  EXPECT_EQ(remove->qaction()->text().toStdString(), "Delete file...");
  refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
  ASSERT_NE(remove->run_from_ui(), 0);
  settle(tree);
  const auto deletes = requests_of<path_list_packet_t>(DEL_FILES);
  ASSERT_EQ(deletes.size(), 1u);
  EXPECT_EQ(strings_of(deletes[0].paths), (std::vector<std::string> {"//depot/sub/", "//depot/a.txt"}));
  EXPECT_EQ(app().pending_refresh_mask() & 6, 6u) << "Local files and Worklists refresh";
  EXPECT_TRUE(row(tree, "a.txt").isValid());
  screenshot(*hosts.back(), "after_delete");
}

TEST_F(arkive_files_test_t, find_in_arkive_steps_through_the_results_with_wrap_around)
{
  arkive_files_dirtree_widget_t &tree = open_view();
  ui.script_value("");
  ui.script_value(".txt");
  ASSERT_TRUE(choose_from_menu(tree, "depot", "Find in arkive..."));
  EXPECT_EQ(warnings(), (std::vector<std::string> {"Please specify a search string"}));
  ASSERT_EQ(app().find_results.size(), 3u);
  EXPECT_EQ(tree.status_bar()->currentMessage().toStdString(), "//depot/a.txt");
  screenshot(*hosts.back(), "first_result");

  const std::vector<std::string> forward {"//depot/b.txt", "//depot/sub/c.txt", "//depot/a.txt"};
  for ( const std::string &expected : forward )
  {
    const std::string current = tree.status_bar()->currentMessage().toStdString();
    ASSERT_TRUE(choose_from_menu(tree, current.substr(current.rfind('/') + 1), "Next search result"));
    EXPECT_EQ(tree.status_bar()->currentMessage().toStdString(), expected);
  }
  ASSERT_TRUE(choose_from_menu(tree, "a.txt", "Previous search result"));
  EXPECT_EQ(tree.status_bar()->currentMessage().toStdString(), "//depot/sub/c.txt");

  // Cancelled: the results stay.
  ASSERT_TRUE(choose_from_menu(tree, "c.txt", "Find in arkive..."));
  EXPECT_EQ(app().find_results.size(), 3u);
  // Nothing found: the results are emptied and the selection stays.
  ui.clear();
  ui.script_value("no-such-text");
  ASSERT_TRUE(choose_from_menu(tree, "c.txt", "Find in arkive..."));
  EXPECT_TRUE(app().find_results.empty());
  EXPECT_TRUE(warnings().empty());
  EXPECT_EQ(tree.status_bar()->currentMessage().toStdString(), "//depot/sub/c.txt");
  // A failed search is shown and empties the results.
  ui.script_value(".txt");
  ASSERT_TRUE(choose_from_menu(tree, "c.txt", "Find in arkive..."));
  ASSERT_EQ(app().find_results.size(), 3u);
  server.add_fault({server_fault_t::raw_reply, GET_ARKIVE_FILES, 0, RPC_OK, {fail_frame(22, "alice")}});
  ui.script_value("a");
  ASSERT_TRUE(choose_from_menu(tree, "c.txt", "Find in arkive..."));
  EXPECT_TRUE(app().find_results.empty());
  ASSERT_EQ(warnings().size(), 1u);
  EXPECT_EQ(warnings()[0].rfind("Failed to search in arkive", 0), 0u) << warnings()[0];
}

TEST_F(arkive_files_test_t, checkout_for_edit_from_the_tree_menu_reaches_the_server)
{
  arkive_files_dirtree_widget_t &tree = open_view();
  expand(tree, "depot");
  ASSERT_TRUE(choose_from_menu(tree, "a.txt", "Checkout for edit"));
  const auto edits = requests_of<path_list_packet_t>(EDIT_FILES);
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(strings_of(edits[0].paths), (std::vector<std::string> {"//depot/a.txt"}));
  app().mark_opened_files_stale();
  const worklist_file_t *opened = app().opened_file("//depot/a.txt");
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->action, 3);
  // The refresh the command asked for shows the file as opened (bold).
  app().on_dirty_widgets_refresh_timer();
  settle(tree);
  EXPECT_TRUE(row(tree, "a.txt").data(Qt::FontRole).value<QFont>().bold());
  screenshot(*hosts.back(), "edited");
}

TEST_F(arkive_files_test_t, hostile_names_from_the_server_never_reach_outside_the_site_root)
{
  // A file beside the site root that no action may touch.
  const std::string outside = site_root + "-outside.txt";
  write_local(outside, "keep");
  const std::string long_name = "//" + std::string(5000, 'n');
  const std::vector<std::pair<std::string, int32_t>> listed = {
    {"//", 2},           {"//.", 2},          {"//..", 0},          {"//../x", 2},       {"//h\\..\\..\\up", 2},
    {"//ctl\x01\x1f", 2}, {"//bad\xc3\x28", 2}, {long_name, 2},       {"//dup", 2},        {"//dup", 2},
    {"//same", 0},       {"//same", 2},       {"//other/far.txt", 2}, {"//-outside.txt", 2},
  };
  file_query_result_packet_t reply(GET_ARKIVE_FILES_RESULT);
  for ( const auto &[path, last] : listed )
  {
    arkive_file_info_t record;
    record.path = qstring(path.data(), path.size());
    record.site_revision = last;
    record.last_revision = last;
    reply.files.push_back(record);
  }
  server.add_fault({server_fault_t::raw_reply, GET_ARKIVE_FILES, 0, RPC_OK, {packet_frame(reply)}});
  test_assoc_finder_t finder;
  const std::string record = scratch + "/viewed";
  finder.by_extension["*"] = {write_tool_script(scratch, "viewer.sh", record, 0), "", "", {}};

  arkive_files_dirtree_widget_t &tree = open_view();
  EXPECT_FALSE(row(tree, "..").isValid());
  EXPECT_FALSE(row(tree, ".").isValid());
  EXPECT_TRUE(row(tree, "far.txt").isValid()) << "filed under the folder that listed it";
  screenshot(*hosts.back(), "hostile");

  // Everything selected, opened and deleted.
  tree.setFocus();
  QTest::keyClick(&tree, Qt::Key_A, Qt::ControlModifier);
  settle(tree);
  ASSERT_GT(tree.selectionModel()->selectedRows().size(), 5);
  QTest::keyClick(&tree, Qt::Key_Return);
  if ( QTest::qWaitFor([&] { return std::filesystem::exists(record); }, 2000) )
  {
    std::ifstream in(record);
    for ( std::string line; std::getline(in, line); )
    {
      if ( line.rfind("arg:", 0) == 0 )
      {
        EXPECT_EQ(line.rfind("arg:" + site_root + "/", 0), 0u) << line;
      }
    }
  }
  refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
  (void)find_ui_action("DirTreeDelete")->run_from_ui();
  settle(tree);
  for ( const path_list_packet_t &request : requests_of<path_list_packet_t>(DEL_FILES) )
    for ( const qstring &path : request.paths )
      EXPECT_EQ(path.view().rfind("//", 0), 0u) << str(path);
  EXPECT_TRUE(std::filesystem::exists(outside));
  std::ifstream kept(outside);
  std::string content;
  std::getline(kept, content);
  EXPECT_EQ(content, "keep");
}
