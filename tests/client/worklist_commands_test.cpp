// The Worklists view's commands against the test server, each checked in the server's record: whole
// worklists against some of their files, revert, delete, add, and moving files by drag and drop and by cut
// and paste.
#include "repo/packets_users.h"
#include "repo/packets_worklists.h"
#include "tests/client/worklist_fixture.h"
#include "tests/client/worklists_fixture.h"
#include "views/dirtree/dirtree_item_model.h"

#include <QAction>
#include <QMimeData>
#include "tests/ui/app/screenshots.h"
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;
using testing::HasSubstr;

namespace {

class WorklistCommands : public worklists_test_t
{
protected:
  // Worklist 2 with a.txt and b.txt opened for edit, worklist 3 empty; the view open.
  void two_worklists()
  {
    ASSERT_EQ(add_ws_worklist("second"), 2);
    ASSERT_EQ(add_ws_worklist("third"), 3);
    edit_files(2, {"//depot/a.txt", "//depot/b.txt"});
    ASSERT_NE(open_view(), nullptr);
    server.clear_received();
    ui.clear();
  }
  std::vector<std::string> question_texts() const
  {
    std::vector<std::string> texts;
    for ( const ui_request_record_t &request : ui.requests_of(ui_code_question) )
      texts.push_back(request.text);
    return texts;
  }
  void reload()
  {
    app().refresh_widgets(uint64_t(1) << akui_kind_worklists, true);
    QTest::qWait(400);
    settle();
  }
};

TEST_F(WorklistCommands, AllFilesOfAWorklistActAsTheWorklist)
{
  two_worklists();
  click("//depot/a.txt#1");
  click("//depot/b.txt#1", Qt::ControlModifier);
  ASSERT_EQ(run_action("revert_if_unchanged"), 1);
  auto reverts = path_requests(REVERT_FILES);
  ASSERT_EQ(reverts.size(), 1u);
  EXPECT_THAT(reverts[0].paths, ElementsAre("@2"));
  EXPECT_EQ(reverts[0].number, 1);
  EXPECT_THAT(request_types(), ElementsAre(REVERT_FILES));
}

TEST_F(WorklistCommands, SomeFilesOfAWorklistActAsFiles)
{
  ASSERT_EQ(add_ws_worklist("second"), 2);
  // Added files are never reverted as unchanged.
  add_files(2, {"//depot/c.txt", "//depot/d.txt"});
  ASSERT_NE(open_view(), nullptr);
  server.clear_received();
  click("//depot/c.txt#0");
  ui.script(ui_code_question, 1);
  ASSERT_EQ(run_action("revert"), 1);
  // The unchanged ones first, then the worklist's own files are looked up (its own site), then the question.
  auto reverts = path_requests(REVERT_FILES);
  ASSERT_EQ(reverts.size(), 2u);
  EXPECT_THAT(reverts[0].paths, ElementsAre("//depot/c.txt"));
  EXPECT_EQ(reverts[0].number, 1);
  EXPECT_THAT(reverts[1].paths, ElementsAre("//depot/c.txt"));
  EXPECT_EQ(reverts[1].number, 0);
  const auto lookups = requests_of<two_names_number_packet_t>(GET_WORKLIST_FILES);
  ASSERT_FALSE(lookups.empty());
  EXPECT_EQ(str(lookups[0].text), "ws");
  EXPECT_EQ(lookups[0].number, 2);
  EXPECT_THAT(question_texts(), ElementsAre("HIDECANCEL\nDo you really want to revert these files?\n//depot/c.txt\n"));
  QTest::qWait(400);
  settle();
  EXPECT_THAT(shown_rows(), ElementsAre("1, alice@ws", "2, alice@ws", "  //depot/d.txt#0"));
}

TEST_F(WorklistCommands, FolderWithSomeOfItsFilesRevertsByNumberOnce)
{
  two_worklists();
  click("2, alice@ws");
  click("//depot/a.txt#1", Qt::ControlModifier);
  ASSERT_EQ(run_action("revert_if_unchanged"), 1);
  auto reverts = path_requests(REVERT_FILES);
  ASSERT_EQ(reverts.size(), 1u);
  EXPECT_THAT(reverts[0].paths, ElementsAre("@2"));
  EXPECT_EQ(reverts[0].number, 1);
  EXPECT_THAT(request_types(), ElementsAre(REVERT_FILES));
}

TEST_F(WorklistCommands, FileOfAnotherSitesWorklistWithTheSameNumberIsNotDropped)
{
  ASSERT_EQ(add_ws_worklist("second"), 2);
  edit_files(2, {"//depot/a.txt"});
  seed_other_site({"//depot/bob.txt", "//depot/bob2.txt"});
  ASSERT_NE(open_view(), nullptr);
  ASSERT_EQ(run_action("show_all_worklists"), 1);
  QTest::qWait(400);
  settle();
  click("2, bob@other");
  press(Qt::Key_Right);
  settle();
  server.clear_received();
  // Folder 2@ws and a file of 2@other.
  click("2, alice@ws");
  click("//depot/bob.txt#0", Qt::ControlModifier);
  ASSERT_EQ(run_action("revert_if_unchanged"), 1);
  auto reverts = path_requests(REVERT_FILES);
  ASSERT_EQ(reverts.size(), 2u);
  EXPECT_THAT(reverts[0].paths, ElementsAre("@2"));
  EXPECT_THAT(reverts[1].paths, ElementsAre("//depot/bob.txt"));
}

TEST_F(WorklistCommands, DeleteAsksOnlyForAWorklistWithFiles)
{
  two_worklists();
  // No: nothing happens to worklist 2.
  click("2, alice@ws");
  ui.script(ui_code_question, 0);
  ASSERT_EQ(run_action("DirTreeDelete"), 1);
  EXPECT_THAT(question_texts(),
              ElementsAre("HIDECANCEL\nDo you really want to delete worklist '2, alice@ws'?\nAll files in the worklist "
                          "will be reverted"));
  EXPECT_TRUE(path_requests(REVERT_FILES).empty());
  EXPECT_TRUE(requests_of<number_packet_t>(DEL_WORKLIST).empty());
  settle();
  // Yes: reverted by number, then deleted; the empty worklist 3 goes without a question.
  server.clear_received();
  ui.clear();
  click("2, alice@ws");
  click("3, alice@ws", Qt::ControlModifier);
  ui.script(ui_code_question, 1);
  ASSERT_EQ(run_action("DirTreeDelete"), 1);
  EXPECT_EQ(question_texts().size(), 1u);
  auto reverts = path_requests(REVERT_FILES);
  ASSERT_EQ(reverts.size(), 1u);
  EXPECT_THAT(reverts[0].paths, ElementsAre("@2"));
  const auto deletes = requests_of<number_packet_t>(DEL_WORKLIST);
  ASSERT_EQ(deletes.size(), 2u);
  EXPECT_EQ(deletes[0].number, 2);
  EXPECT_EQ(deletes[1].number, 3);
  QTest::qWait(400);
  settle();
  shoot("after_delete");
  EXPECT_THAT(shown_rows(), ElementsAre("1, alice@ws"));
}

TEST_F(WorklistCommands, DeletingFilesListsThirtyOfThirtyFive)
{
  ASSERT_EQ(add_ws_worklist("many"), 2);
  std::vector<std::string> paths;
  for ( int i = 0; i < 35; ++i )
    paths.push_back("//depot/new/f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".txt");
  add_files(2, paths);
  ASSERT_NE(open_view(), nullptr);
  server.clear_received();
  click(paths.front() + "#0");
  click(paths.back() + "#0", Qt::ShiftModifier);
  // The unchanged-only revert reverts none of them (added files): all 35 are asked about.
  ui.script(ui_code_question, 1);
  ASSERT_EQ(run_action("DirTreeDelete"), 1);
  const std::vector<std::string> questions = question_texts();
  ASSERT_EQ(questions.size(), 1u);
  std::string expected = "HIDECANCEL\nDo you really want to revert these files?\n";
  for ( size_t i = 0; i < 30; ++i )
    expected += paths[i] + "\n";
  expected += "... + 5 more\n";
  EXPECT_EQ(questions[0], expected);
  auto reverts = path_requests(REVERT_FILES);
  ASSERT_EQ(reverts.size(), 2u);
  EXPECT_EQ(reverts[0].number, 1);
  EXPECT_EQ(reverts[1].number, 0);
  EXPECT_EQ(reverts[1].paths, paths);
  EXPECT_TRUE(requests_of<number_packet_t>(DEL_WORKLIST).empty());
}

TEST_F(WorklistCommands, DeleteLabelFollowsTheSelection)
{
  two_worklists();
  ui_action_t *remove = find_ui_action("DirTreeDelete");
  ASSERT_NE(remove, nullptr);
  click("2, alice@ws");
  view->form_activate();
  app().refresh_actions(UPDACT_ACTION_RAN, nullptr, nullptr);
  EXPECT_EQ(remove->qaction()->text(), "Delete worklist...");
  EXPECT_TRUE(remove->qaction()->isEnabled());
  click("//depot/a.txt#1", Qt::ControlModifier);
  app().refresh_actions(UPDACT_ACTION_RAN, nullptr, nullptr);
  EXPECT_EQ(remove->qaction()->text(), "Delete worklist(s) / file(s)");
  // Only file items: no new worklist from them.
  click("//depot/a.txt#1");
  app().refresh_actions(UPDACT_ACTION_RAN, nullptr, nullptr);
  ui_action_t *insert = find_ui_action("DirTreeInsert");
  ASSERT_NE(insert, nullptr);
  EXPECT_FALSE(insert->qaction()->isEnabled());
}

TEST_F(WorklistCommands, AddWorklistSelectsItAndAnEmptyReplyStops)
{
  two_worklists();
  ui.script_value("fresh");
  ASSERT_EQ(run_action("DirTreeInsert"), 1);
  QTest::qWait(100);
  settle();
  const auto lists = requests_of<two_names_number_packet_t>(GET_WORKLISTS);
  ASSERT_FALSE(lists.empty());
  EXPECT_EQ(lists[0].number, 4);
  EXPECT_THAT(shown_rows(), ElementsAre("1, alice@ws", "2, alice@ws", "  //depot/a.txt#1", "  //depot/b.txt#1",
                                        "3, alice@ws", "4, alice@ws"));
  const QModelIndexList selected = view->selectionModel()->selectedRows();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(selected[0].data().toString(), "4, alice@ws");
  shoot("added");

  // The server lists nothing for the new worklist: reported, nothing shown for it.
  ui.clear();
  server_fault_t fault;
  fault.action = server_fault_t::raw_reply;
  fault.on_type = GET_WORKLISTS;
  fault.frames = {packet_frame(worklist_list_packet_t(GET_WORKLISTS_RESULT))};
  server.add_fault(fault);
  ui.script_value("lost");
  (void)run_action("DirTreeInsert");
  EXPECT_FALSE(row("5, alice@ws").isValid());
  const auto boxes = ui.requests_of(ui_code_message);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_THAT(boxes[0].text, HasSubstr("Failed to retrieve worklists"));
  // A cancelled description sends nothing.
  server.clear_received();
  (void)run_action("DirTreeInsert");
  EXPECT_TRUE(request_types().empty());
}

TEST_F(WorklistCommands, DragAndDropMovesFiles)
{
  two_worklists();
  dirtree_item_model_base_t *model = view->worklists_model();
  // A worklist folder dragged onto another worklist: all its files.
  std::unique_ptr<QMimeData> folder(model->mimeData({row("2, alice@ws")}));
  ASSERT_NE(folder, nullptr);
  EXPECT_TRUE(drop_on(*folder, row("3, alice@ws")));
  auto moves = path_requests(MIGRATE_FILES);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_THAT(moves[0].paths, ElementsAre("//depot/a.txt", "//depot/b.txt"));
  EXPECT_EQ(moves[0].number, 3);
  QTest::qWait(400);
  settle();
  shoot("after_drop");
  EXPECT_THAT(shown_rows(), ElementsAre("1, alice@ws", "2, alice@ws", "3, alice@ws", "  //depot/a.txt#1",
                                        "  //depot/b.txt#1"));
  // One file onto worklist 1.
  server.clear_received();
  std::unique_ptr<QMimeData> file(model->mimeData({row("//depot/a.txt#1")}));
  EXPECT_TRUE(drop_on(*file, row("1, alice@ws")));
  moves = path_requests(MIGRATE_FILES);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_THAT(moves[0].paths, ElementsAre("//depot/a.txt"));
  EXPECT_EQ(moves[0].number, 1);
  QTest::qWait(400);
  settle();
  // Onto a file item or the empty area: nothing.
  server.clear_received();
  std::unique_ptr<QMimeData> again(model->mimeData({row("3, alice@ws")}));
  (void)drop_on(*again, row("//depot/b.txt#1"));
  (void)drop_on(*again, QModelIndex());
  EXPECT_TRUE(path_requests(MIGRATE_FILES).empty());
}

TEST_F(WorklistCommands, ForeignDropPayloadsDoNothing)
{
  two_worklists();
  const QStringList formats = view->worklists_model()->mimeTypes();
  ASSERT_FALSE(formats.isEmpty());
  std::unique_ptr<QMimeData> real(view->worklists_model()->mimeData({row("2, alice@ws")}));
  const QByteArray genuine = real->data(formats[0]);
  std::vector<QByteArray> payloads = {QByteArray(), QByteArray("garbage"), QByteArray(64, '\xff'),
                                      genuine.left(genuine.size() / 2), genuine + QByteArray(9, '\x01')};
  // The genuine bytes with every byte flipped in turn: pointers and counts from another program.
  for ( int i = 0; i < genuine.size(); ++i )
  {
    QByteArray flipped = genuine;
    flipped[i] = char(flipped[i] ^ 0x5a);
    payloads.push_back(flipped);
  }
  for ( const QByteArray &bytes : payloads )
  {
    QMimeData data;
    data.setData(formats[0], bytes);
    (void)drop_on(data, row("3, alice@ws"));
  }
  // Nothing but the genuine payload may move files; the view still answers.
  for ( const path_request_t &move : path_requests(MIGRATE_FILES) )
    EXPECT_THAT(move.paths, ElementsAre("//depot/a.txt", "//depot/b.txt"));
  EXPECT_TRUE(row("3, alice@ws").isValid());
}

TEST_F(WorklistCommands, CutAndPasteMovesFiles)
{
  two_worklists();
  click("//depot/b.txt#1");
  ASSERT_EQ(run_action("DirTreeCutSelection"), 1);
  click("3, alice@ws");
  ASSERT_EQ(run_action("DirTreePasteCut"), 1);
  const auto moves = path_requests(MIGRATE_FILES);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_THAT(moves[0].paths, ElementsAre("//depot/b.txt"));
  EXPECT_EQ(moves[0].number, 3);
}

// The worklist 2 with a.txt and b.txt edited and written locally, so that a commit can read them.
class WorklistCommits : public WorklistCommands
{
protected:
  void SetUp() override
  {
    WorklistCommands::SetUp();
    write_local(local("//depot/a.txt"), "alpha 2");
    write_local(local("//depot/b.txt"), "beta 2");
    two_worklists();
  }
  std::vector<std::pair<int32_t, int32_t>> commits() const
  {
    std::vector<std::pair<int32_t, int32_t>> out;
    for ( const commit_worklist_packet_t &packet : requests_of<commit_worklist_packet_t>(COMMIT_WORKLIST) )
      out.emplace_back(packet.worklist, packet.force);
    return out;
  }
};

TEST_F(WorklistCommits, AllFilesOfAWorklistOpenItsFormSomeOpenTheNewWorklistForm)
{
  click("//depot/a.txt#1");
  click("//depot/b.txt#1", Qt::ControlModifier);
  std::string title;
  {
    dialog_player_t player({[&](QDialog &dialog) {
      title = dialog.windowTitle().toStdString();
      (void)save_screenshot(dialog, "worklist_form");
      click_button(dialog, "Commit");
    }});
    ASSERT_EQ(run_action("commit"), 1);
    EXPECT_EQ(player.played(), 1u);
  }
  EXPECT_EQ(title, "Worklist #2");
  EXPECT_THAT(commits(), ElementsAre(std::pair {2, 0}));
}

TEST_F(WorklistCommits, SomeFilesCommitThroughANewWorklist)
{
  click("//depot/a.txt#1");
  std::string title;
  {
    dialog_player_t player({[&](QDialog &dialog) {
      title = dialog.windowTitle().toStdString();
      const std::vector<text_area_t *> areas = text_areas(dialog);
      ASSERT_FALSE(areas.empty());
      type_text(areas[0], "part of it");
      (void)save_screenshot(dialog, "commit_files_form");
      click_button(dialog, "Commmit");
    }});
    ASSERT_EQ(run_action("commit"), 1);
    EXPECT_EQ(player.played(), 1u);
  }
  EXPECT_EQ(title, "Commit files to new worklist");
  const auto moves = path_requests(MIGRATE_FILES);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_THAT(moves[0].paths, ElementsAre("//depot/a.txt"));
  EXPECT_EQ(moves[0].number, 4);
  EXPECT_THAT(commits(), ElementsAre(std::pair {4, 0}));
}

TEST_F(WorklistCommits, ActivationChoosesCommitOrEdit)
{
  // Committable: double click runs "commit" (the form with its Commit button).
  bool has_commit = false;
  {
    dialog_player_t player({[&](QDialog &dialog) {
      has_commit = dialog_button(dialog, "Commit") != nullptr;
      QTest::keyClick(&dialog, Qt::Key_Escape);
    }});
    double_click("2, alice@ws");
    QTest::qWait(50);
    EXPECT_EQ(player.played(), 1u);
  }
  EXPECT_TRUE(has_commit);
  EXPECT_TRUE(commits().empty());
  // A file whose site revision is behind: "edit_worklist" for its owner (Save and Close, no Commit).
  (void)server.repository().commit_files("bob", "ws", "newer", {{"//depot/a.txt", "alpha 3"}});
  reload();
  has_commit = true;
  bool has_save = false;
  {
    dialog_player_t player({[&](QDialog &dialog) {
      has_commit = dialog_button(dialog, "Commit") != nullptr;
      has_save = dialog_button(dialog, "Save") != nullptr;
      QTest::keyClick(&dialog, Qt::Key_Escape);
    }});
    click("2, alice@ws");
    press(Qt::Key_Return);
    QTest::qWait(50);
    EXPECT_EQ(player.played(), 1u);
  }
  EXPECT_FALSE(has_commit);
  EXPECT_TRUE(has_save);
}

} // namespace
