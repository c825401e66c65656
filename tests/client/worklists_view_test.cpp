// The Worklists view against the test server: folders and items, two sites with one number, failed fetches,
// other sites' files, show-all, the picker and hostile replies.
#include "client/commands/worklist_choice.h"
#include "client/views/worklist_paths.h"
#include "repo/packets_worklists.h"
#include "tests/client/worklists_fixture.h"
#include "tests/ui/app/screenshots.h"
#include "ui/ui_action_registry.h"
#include "views/dirtree/dirtree_item_model.h"

#include <QApplication>
#include <QDialog>
#include <QAction>
#include <QMimeData>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using testing::ElementsAre;
using testing::HasSubstr;

namespace {

const std::string sep(1, worklist_path_separator);

TEST(WorklistPaths, FolderAndItemPaths)
{
  EXPECT_EQ(str(worklist_folder_path({"main", 7})), "/7@main");
  EXPECT_EQ(str(worklist_entry_path({"main", 7}, "dir/sub/a.txt")), "/7@main/dir" + sep + "sub" + sep + "a.txt");
  EXPECT_EQ(str(worklist_entry_path({"main", 7}, "")), "/7@main/");
  // A site with '/' stays one folder name and reads back as itself.
  EXPECT_EQ(str(worklist_folder_path({"a/b", 3})), "/3@a" + sep + "b");
  const std::optional<worklist_key_t> back = parse_worklist_path(str(worklist_folder_path({"a/b", 3})));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(str(back->site), "a/b");
  EXPECT_EQ(back->number, 3);
}

TEST(WorklistPaths, ParseTable)
{
  struct case_t
  {
    const char *text;
    bool parses;
    int32_t number;
    const char *site;
  };
  const case_t cases[] = {
    {"/7@main", true, 7, "main"},
    {"/7@main/item", true, 7, "main"},
    {"/-2@x", true, -2, "x"},
    {"/+5@x", true, 5, "x"},
    {"/7@a@b", true, 7, "a@b"},
    {"/2147483647@s", true, 2147483647, "s"},
    {"/-2147483648@s", true, -2147483648, "s"},
    {"/2147483648@s", false, 0, nullptr},     // beyond 32 bits
    {"/99999999999999999999@s", false, 0, nullptr},
    {"/4294967303@s", false, 0, nullptr},     // would wrap to 7
    {"/7@", false, 0, nullptr},
    {"/7@/x", false, 0, nullptr},
    {"/@s", false, 0, nullptr},
    {"/x7@s", false, 0, nullptr},
    {"/7x@s", false, 0, nullptr},
    {"/++7@s", false, 0, nullptr},
    {"7@s", false, 0, nullptr},
    {"/7 s", false, 0, nullptr},
    {"", false, 0, nullptr},
    {"/", false, 0, nullptr},
  };
  for ( const case_t &c : cases )
  {
    const std::optional<worklist_key_t> key = parse_worklist_path(c.text);
    ASSERT_EQ(key.has_value(), c.parses) << c.text;
    if ( key.has_value() )
    {
      EXPECT_EQ(key->number, c.number) << c.text;
      EXPECT_EQ(str(key->site), c.site) << c.text;
    }
  }
}

TEST(WorklistPaths, LookupDoesNotDependOnReplyOrder)
{
  qvector<worklist_file_t> files;
  for ( const char *path : {"//z.txt", "//a.txt", "//m/n.txt", "//a.txt", "//b"} )
  {
    worklist_file_t file;
    file.path = path;
    file.site_revision = int32_t(files.size());
    files.push_back(file);
  }
  worklist_files_t entry;
  entry.set_files(files);
  // Display order stays the reply's.
  EXPECT_EQ(str(entry.files[0].path), "//z.txt");
  for ( const char *path : {"//z.txt", "//a.txt", "//m/n.txt", "//b"} )
  {
    const worklist_file_t *found = entry.find(path);
    ASSERT_NE(found, nullptr) << path;
    EXPECT_EQ(str(found->path), path);
  }
  // Equal paths: the first of the reply.
  EXPECT_EQ(entry.find("//a.txt")->site_revision, 1);
  EXPECT_EQ(entry.find("//a"), nullptr);
  EXPECT_EQ(entry.find("//m"), nullptr);
  EXPECT_EQ(entry.find(""), nullptr);
}

class WorklistsView : public worklists_test_t
{
protected:
  // Opens the view with the reply to the first request of the type replaced by a frame the client cannot read:
  // the connection is dropped and the log-on form comes up, which the user cancels. Checks that it was reported.
  void open_view_with_unreadable_reply(uint8_t on_type, frame_bytes_t frame, const char *step)
  {
    server.add_fault({server_fault_t::raw_reply, on_type, 0, RPC_OK, {std::move(frame)}});
    dialog_player_t player({[](QDialog &dialog) {
      EXPECT_EQ(dialog.windowTitle().toStdString(), "Connect to server");
      QTest::keyClick(&dialog, Qt::Key_Escape);
    }});
    ASSERT_NE(open_view(), nullptr);
    settle();
    shoot(step);
    EXPECT_EQ(player.played(), 1u);
    EXPECT_EQ(player.unexpected(), 0);
    EXPECT_THAT(log_lines(), testing::Contains(HasSubstr("Couldn't deserialize packet")));
    EXPECT_THAT(log_lines(), testing::Contains(HasSubstr("Disconnected from the server")));
  }
};

TEST_F(WorklistsView, FoldersAndItemsWithRevisions)
{
  const int32_t second = add_ws_worklist("second");
  ASSERT_EQ(second, 2);
  add_files(second, {"//depot/dir/sub/c.txt"});
  edit_files(second, {"//depot/a.txt"});
  ASSERT_NE(open_view(), nullptr);
  shoot("loaded");
  EXPECT_THAT(shown_rows(), ElementsAre("1, alice@ws", "2, alice@ws", "  //depot/a.txt#1", "  //depot/dir/sub/c.txt#0"));
  // The item is a direct child of its worklist folder, named by the path with 0x02 for '/'.
  const QModelIndex item = row("//depot/dir/sub/c.txt#0");
  const dirtree_cursor_t cursor = dirtree_item_model_base_t::index_to_cursor(item);
  qstring path;
  ASSERT_TRUE(view->worklists_model()->tree()->cursor_text(&path, cursor, 0));
  EXPECT_EQ(str(path), "/2@ws/" + sep + sep + "depot" + sep + "dir" + sep + "sub" + sep + "c.txt");
  // Columns: the worklist's row and a file's action.
  EXPECT_EQ(row("2, alice@ws", 2).data().toString(), "2");
  EXPECT_EQ(row("2, alice@ws", 3).data().toString(), "second");
  EXPECT_EQ(row("//depot/a.txt#1", 3).data().toString(), "edit");
  // One list request and one file request per worklist.
  EXPECT_EQ(requests_of<two_names_number_packet_t>(GET_WORKLISTS).size(), 1u);
  const auto file_requests = requests_of<two_names_number_packet_t>(GET_WORKLIST_FILES);
  ASSERT_EQ(file_requests.size(), 2u);
  EXPECT_EQ(str(file_requests[1].name), "*");
  EXPECT_EQ(str(file_requests[1].text), "ws");
  EXPECT_EQ(file_requests[1].number, 2);

  // A newer revision committed elsewhere: the site's revision is behind.
  (void)server.repository().commit_files("bob", "ws", "newer", {{"//depot/a.txt", "alpha 2"}});
  app().refresh_widgets(uint64_t(1) << akui_kind_worklists, true);
  QTest::qWait(400);
  settle();
  EXPECT_THAT(shown_rows(), ElementsAre("1, alice@ws", "2, alice@ws", "  //depot/a.txt#1/2", "  //depot/dir/sub/c.txt#0"));
  shoot("behind");
}

TEST_F(WorklistsView, TwoSitesWithOneNumberAndOtherSitesFiles)
{
  const int32_t second = add_ws_worklist("mine");
  edit_files(second, {"//depot/a.txt"});
  write_local(local("//depot/a.txt"), "alpha changed");
  seed_other_site({"//depot/bob.txt"});
  ASSERT_NE(open_view(), nullptr);
  EXPECT_THAT(shown_rows(), ElementsAre("1, alice@ws", "2, alice@ws", "  //depot/a.txt#1"));
  click("2, alice@ws");
  ASSERT_EQ(run_action("show_all_worklists"), 1);
  EXPECT_TRUE(view->show_all);
  ui_action_t *show_all = find_ui_action("show_all_worklists");
  ASSERT_NE(show_all, nullptr);
  EXPECT_TRUE(show_all->qaction()->isChecked());
  QTest::qWait(400);
  settle();
  // Both sites' worklists 1 and 2: four folders, collapsed after show-all, with the filters "*".
  EXPECT_THAT(shown_rows(), ElementsAre("1, bob@other", "2, bob@other", "1, alice@ws", "2, alice@ws"));
  const auto lists = requests_of<two_names_number_packet_t>(GET_WORKLISTS);
  ASSERT_FALSE(lists.empty());
  EXPECT_EQ(str(lists.back().name), "*");
  EXPECT_EQ(str(lists.back().text), "*");
  // Two cache entries for the two worklists 2.
  ASSERT_NE(view->worklists_model()->cached_files({"other", 2}), nullptr);
  ASSERT_NE(view->worklists_model()->cached_files({"ws", 2}), nullptr);
  ASSERT_EQ(view->worklists_model()->cached_files({"other", 2})->files.size(), 1u);
  EXPECT_EQ(str(view->worklists_model()->cached_files({"other", 2})->files[0].path), "//depot/bob.txt");
  click("2, bob@other");
  press(Qt::Key_Right);
  click("2, alice@ws");
  press(Qt::Key_Right);
  settle();
  shoot("show_all_expanded");
  EXPECT_THAT(shown_rows(), ElementsAre("1, bob@other", "2, bob@other", "  //depot/bob.txt#0", "1, alice@ws",
                                        "2, alice@ws", "  //depot/a.txt#1"));
  // The other site's file has no local columns; ours has them.
  EXPECT_EQ(row("//depot/bob.txt#0", 1).data().toString(), "");
  EXPECT_EQ(row("//depot/bob.txt#0", 2).data().toString(), "");
  EXPECT_EQ(row("//depot/bob.txt#0", 3).data().toString(), "add");
  EXPECT_NE(row("//depot/a.txt#1", 1).data().toString(), "");
  EXPECT_EQ(row("//depot/a.txt#1", 2).data().toString(), "13");

  // The selection as the file commands collect it.
  click("//depot/bob.txt#0");
  click("//depot/a.txt#1", Qt::ControlModifier);
  ui_action_activation_ctx_t context;
  context.widget = view;
  selected_files_t files;
  ASSERT_TRUE(view->collect_files(&files, 0x1ff, context));
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(str(files[0].path), "//depot/bob.txt");
  EXPECT_EQ(files[0].flags, 0x06u);
  EXPECT_EQ(files[0].worklist, -1);
  EXPECT_EQ(str(files[1].path), "//depot/a.txt");
  EXPECT_EQ(files[1].flags, 0x06u | SEL_PRESENT | SEL_OPENED_FOR_EDIT);
  EXPECT_EQ(files[1].worklist, 2);

  // A reload keeps the folders collapsed while show-all is on.
  click("2, bob@other");
  press(Qt::Key_Left);
  app().refresh_widgets(uint64_t(1) << akui_kind_worklists, true);
  QTest::qWait(400);
  settle();
  EXPECT_FALSE(view->isExpanded(row("2, bob@other")));
  ASSERT_EQ(run_action("show_all_worklists"), 1);
  EXPECT_FALSE(view->show_all);
}

TEST_F(WorklistsView, FailedFileFetchLeavesAnEmptyFolder)
{
  const int32_t second = add_ws_worklist("second");
  edit_files(second, {"//depot/a.txt"});
  edit_files(1, {"//depot/b.txt"});
  server_fault_t fault;
  fault.action = server_fault_t::raw_reply;
  fault.on_type = GET_WORKLIST_FILES;
  fault.frames = {fail_frame(37, "1")};
  server.add_fault(fault);
  ASSERT_NE(open_view(), nullptr);
  EXPECT_THAT(shown_rows(), ElementsAre("1, alice@ws", "2, alice@ws", "  //depot/a.txt#1"));
  const std::vector<std::string> lines = log_lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_THAT(lines[0], HasSubstr("Failed to retrieve worklist files for /1@ws"));
  // A failed list fetch is logged and, after a reset, leaves the view empty.
  ui.clear();
  fault.on_type = GET_WORKLISTS;
  fault.frames = {fail_frame(5, "")};
  server.add_fault(fault);
  app().refresh_widgets(uint64_t(1) << akui_kind_worklists, true);
  QTest::qWait(400);
  settle();
  EXPECT_TRUE(shown_rows().empty());
  ASSERT_FALSE(log_lines().empty());
  EXPECT_THAT(log_lines()[0], HasSubstr("Failed to retrieve worklists"));
}

TEST_F(WorklistsView, NoConnectionGivesAnEmptyViewWithoutMessage)
{
  app().set_connection(nullptr);
  ASSERT_NE(open_view(), nullptr);
  EXPECT_TRUE(shown_rows().empty());
  EXPECT_TRUE(log_lines().empty());
}

// Plays the user of the "Choose worklist" dialog once it runs: checks its rows and double clicks one.
struct picker_player_t
{
  std::vector<std::string> rows;
  std::string choose;
  bool played = false;

  void arm()
  {
    QTimer::singleShot(50, [this] { play(); });
  }
  void play()
  {
    auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    if ( dialog == nullptr )
    {
      arm();
      return;
    }
    played = true;
    auto *picker = dialog->findChild<worklists_dirtree_widget_t *>();
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Choose worklist");
    (void)save_screenshot(*dialog, "picker");
    QModelIndex chosen;
    for ( int r = 0; r < picker->model()->rowCount(picker->rootIndex()); ++r )
    {
      const QModelIndex index = picker->model()->index(r, 0, picker->rootIndex());
      rows.push_back(index.data().toString().toStdString());
      // The picker never shows files.
      EXPECT_FALSE(picker->model()->hasChildren(index)) << rows.back();
      if ( rows.back() == choose )
        chosen = index;
    }
    if ( !chosen.isValid() )
    {
      dialog->reject();
      return;
    }
    const QPoint at = picker->visualRect(chosen).center();
    QTest::mouseClick(picker->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(picker->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  }
};

TEST_F(WorklistsView, PickerOfMigrate)
{
  const int32_t second = add_ws_worklist("second");
  const int32_t third = add_ws_worklist("third");
  edit_files(second, {"//depot/a.txt", "//depot/b.txt"});
  ASSERT_NE(open_view(), nullptr);
  // Both files of worklist 2 selected: the picker leaves worklist 2 out; "New worklist" comes first.
  click("//depot/a.txt#1");
  click("//depot/b.txt#1", Qt::ShiftModifier);
  picker_player_t player;
  player.choose = "3, alice@ws";
  player.arm();
  ASSERT_EQ(run_action("migrate_file_to_worklist"), 1);
  ASSERT_TRUE(player.played);
  EXPECT_THAT(player.rows, ElementsAre("New worklist", "1, alice@ws", "3, alice@ws"));
  auto moves = path_requests(MIGRATE_FILES);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_THAT(moves[0].paths, ElementsAre("//depot/a.txt", "//depot/b.txt"));
  EXPECT_EQ(moves[0].number, third);

  // "New worklist": -2, then a description makes the worklist the files move to.
  server.clear_received();
  QTest::qWait(400);
  settle();
  click("//depot/a.txt#1");
  player = picker_player_t {};
  player.choose = "New worklist";
  player.arm();
  ui.script_value("fresh");
  ASSERT_EQ(run_action("migrate_file_to_worklist"), 1);
  EXPECT_THAT(player.rows, ElementsAre("New worklist", "1, alice@ws", "2, alice@ws"));
  moves = path_requests(MIGRATE_FILES);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_THAT(moves[0].paths, ElementsAre("//depot/a.txt"));
  EXPECT_EQ(moves[0].number, third + 1);
}

TEST_F(WorklistsView, PickerAnswers)
{
  (void)add_ws_worklist("second");
  picker_player_t player;
  player.choose = "New worklist";
  player.arm();
  EXPECT_EQ(choose_worklist(-1), WORKLIST_CHOICE_NEW);
  EXPECT_THAT(player.rows, ElementsAre("New worklist", "1, alice@ws", "2, alice@ws"));
  player = picker_player_t {};
  player.choose = "2, alice@ws";
  player.arm();
  EXPECT_EQ(choose_worklist(1), 2);
  EXPECT_THAT(player.rows, ElementsAre("New worklist", "2, alice@ws"));
  player = picker_player_t {};
  player.arm();
  EXPECT_EQ(choose_worklist(-1), WORKLIST_CHOICE_CANCELLED);
  // A refused new worklist is reported.
  server_fault_t fault;
  fault.action = server_fault_t::raw_reply;
  fault.on_type = ADD_WORKLIST;
  fault.frames = {fail_frame(36, "")};
  server.add_fault(fault);
  ui.script_value("refused");
  EXPECT_EQ(ask_new_worklist(), -1);
  EXPECT_FALSE(ui.requests_of(ui_code_message).empty());
}

// Hostile replies: a list of worklists and their files that try to pass for other worklists or files.
TEST_F(WorklistsView, HostileRepliesAreNeverMistaken)
{
  worklist_list_packet_t list(GET_WORKLISTS_RESULT);
  const auto worklist = [&](const char *site, int32_t number) {
    worklist_info_t info;
    info.user = "mallory";
    info.site = site;
    info.number = number;
    info.size = 1;
    list.worklists.push_back(info);
  };
  worklist("ws", 7);
  worklist("ws", 7);            // a duplicate
  worklist("a/b", 7);           // a site with '/'
  worklist("x@y", 8);           // a site with '@'
  worklist("", 9);              // no site
  worklist("s\x02t", 10);       // the separator byte
  worklist("ws", 2147483647);
  server_fault_t fault;
  fault.action = server_fault_t::raw_reply;
  fault.on_type = GET_WORKLISTS;
  fault.frames = {packet_frame(list)};
  server.add_fault(fault);
  // Files of the first worklist: unsorted, duplicates, empty and 0x02 paths, a path that reads like a folder.
  worklist_file_list_packet_t files(GET_WORKLIST_FILES_RESULT);
  for ( const char *path : {"//z/last.txt", "//a.txt", "", "//a\x02" "b", "//a.txt", "/7@ws", "//m.txt"} )
  {
    worklist_file_t file;
    file.path = path;
    file.worklist = 99; // a number that is not the folder's
    file.site_revision = 1;
    file.last_revision = 1;
    files.files.push_back(file);
  }
  fault.on_type = GET_WORKLIST_FILES;
  fault.frames = {packet_frame(files)};
  server.add_fault(fault);
  ASSERT_NE(open_view(), nullptr);
  shoot("hostile");
  EXPECT_THAT(shown_rows(), ElementsAre("7, mallory@ws", "  //z/last.txt#1", "  //a.txt#1", "  /7@ws#1", "  //m.txt#1",
                                        "7, mallory@a/b", "8, mallory@x@y", "2147483647, mallory@ws"));
  // Every file item leads back to its own record, by path, whatever the reply order.
  for ( const char *path : {"//z/last.txt", "//a.txt", "/7@ws", "//m.txt"} )
  {
    const QModelIndex index = row(std::string(path) + "#1");
    ASSERT_TRUE(index.isValid()) << path;
    const worklist_file_t *file = view->worklist_file_at_cursor(dirtree_item_model_base_t::index_to_cursor(index));
    ASSERT_NE(file, nullptr) << path;
    EXPECT_EQ(str(file->path), path);
    EXPECT_EQ(str(file->site), "ws");
  }
  // The folder of the site "a/b" reads back as that site and number, not as worklist 7 of "a".
  const worklist_info_t *ab = view->worklist_at_cursor(dirtree_item_model_base_t::index_to_cursor(row("7, mallory@a/b")));
  ASSERT_NE(ab, nullptr);
  EXPECT_EQ(str(ab->site), "a/b");
  // Selecting everything collects only real files of ws, never the folder-like name as another worklist.
  click("//z/last.txt#1");
  click("//m.txt#1", Qt::ShiftModifier);
  ui_action_activation_ctx_t context;
  context.widget = view;
  selected_files_t collected;
  ASSERT_TRUE(view->collect_files(&collected, WANT_PATH | WANT_NO_FOLDERS, context));
  std::vector<std::string> paths;
  for ( const selected_file_t &file : collected )
    paths.push_back(str(file.path));
  EXPECT_THAT(paths, ElementsAre("//z/last.txt", "//a.txt", "/7@ws", "//m.txt"));
}

TEST_F(WorklistsView, RepliesClaimingHugeCountsAreReportedWithoutACrash)
{
  edit_files(1, {"//depot/a.txt"});
  // A list of worklists that claims four billion records and holds one.
  worklist_list_packet_t list(GET_WORKLISTS_RESULT);
  worklist_info_t info;
  info.user = "mallory";
  info.site = "ws";
  info.number = 1;
  info.size = 2147483647; // a file count no reply could hold
  list.worklists.push_back(info);
  open_view_with_unreadable_reply(GET_WORKLISTS, frame_claiming_count(list, 0xFFFFFFFFu), "huge-worklists-count");
  // Nothing was read from it (its one record is not shown either).
  EXPECT_TRUE(shown_rows().empty()) << testing::PrintToString(shown_rows());
}

TEST_F(WorklistsView, FilesReplyClaimingAHugeCountIsReportedWithoutACrash)
{
  const int32_t second = add_ws_worklist("second");
  edit_files(second, {"//depot/a.txt"});
  edit_files(1, {"//depot/b.txt"});
  // The files of the first worklist: a list that claims four billion records and holds one.
  worklist_file_list_packet_t list(GET_WORKLIST_FILES_RESULT);
  worklist_file_t file;
  file.site = "ws";
  file.path = "//depot/mallory.txt";
  file.worklist = 1;
  file.action = 3;
  list.files.push_back(file);
  open_view_with_unreadable_reply(GET_WORKLIST_FILES, frame_claiming_count(list, 0xFFFFFFFFu), "huge-files-count");
  // Nothing of the reply was taken for a file.
  for ( const std::string &shown : shown_rows() )
    EXPECT_THAT(shown, testing::Not(HasSubstr("mallory"))) << testing::PrintToString(shown_rows());
  // The next load, with a connection again, shows the worklists and their files as they are.
  app().set_connection(connect_alice(transport_t::tls));
  ASSERT_TRUE(app().has_usable_connection());
  app().refresh_widgets(uint64_t(1) << akui_kind_worklists, true);
  QTest::qWait(400);
  settle();
  EXPECT_THAT(shown_rows(), ElementsAre("1, alice@ws", "  " + item_text("//depot/b.txt", "#1"), "2, alice@ws",
                                        "  " + item_text("//depot/a.txt", "#1")));
}

} // namespace
