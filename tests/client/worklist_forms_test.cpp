// The worklist form and "Commit files to new worklist", driven with real keys and clicks against the test server.
#include "client/views/opened_files_chooser.h"
#include "client/views/worklist_forms.h"
#include "forms/text/text_area.h"
#include "tests/client/worklist_fixture.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "ui/shortcut_table.h"
#include "views/chooser/chooser_actions.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <QCheckBox>
#include <QTableView>
#include <QTest>

namespace {

using WorklistForm = worklist_test_t;

// Binds a key to an action for the scope, as a configuration's SHORTCUTS does (the test session reads none).
class scoped_shortcut_t
{
public:
  scoped_shortcut_t(const char *action, const char *key) : action_(action)
  {
    set_action_shortcuts(action_, qvector<qstring> {qstring(key)}, false);
  }
  ~scoped_shortcut_t() { set_action_shortcuts(action_, {}, false); }
  scoped_shortcut_t(const scoped_shortcut_t &) = delete;
  scoped_shortcut_t &operator=(const scoped_shortcut_t &) = delete;

private:
  const char *action_;
};

std::vector<std::string> visible_buttons(QDialog &dialog)
{
  std::vector<std::string> out;
  for ( const char *text : {"Commit", "Save", "Close", "Ok"} )
    if ( dialog_button(dialog, text) != nullptr )
      out.emplace_back(text);
  return out;
}

TEST_F(WorklistForm, CommitSendsTheTrimmedDescriptionAndTheForceFlag)
{
  const int32_t number = open_in_new_worklist("fix", {"//depot/a.txt"});
  const worklist_info_t record = worklist_record(number);
  bool result = false;
  {
    dialog_player_t player({[&](QDialog &dialog) {
      EXPECT_EQ(dialog.windowTitle().toStdString(), "Worklist #" + std::to_string(number));
      EXPECT_EQ(visible_buttons(dialog), (std::vector<std::string>{"Commit", "Save", "Close"}));
      ASSERT_EQ(text_areas(dialog).size(), 1u);
      text_area_t *area = text_areas(dialog)[0];
      EXPECT_EQ(area->toPlainText().toStdString(), "fix");
      EXPECT_FALSE(area->isReadOnly());
      save_screenshot(dialog, "commit-mode");
      type_text(area, "   ");
      EXPECT_FALSE(dialog_button(dialog, "Commit")->isEnabled());
      EXPECT_FALSE(dialog_button(dialog, "Save")->isEnabled());
      save_screenshot(dialog, "blank-description");
      type_text(area, "fixed the alpha  \n ");
      EXPECT_TRUE(dialog_button(dialog, "Commit")->isEnabled());
      QCheckBox *force = check_box_of(dialog, "Force committing");
      ASSERT_NE(force, nullptr);
      QTest::mouseClick(force, Qt::LeftButton, {}, QPoint(4, force->height() / 2));
      EXPECT_TRUE(force->isChecked());
      click_button(dialog, "Commit");
    }});
    result = show_worklist_form(record, worklist_form_commit);
  }
  EXPECT_TRUE(result);
  const auto commits = commit_requests();
  ASSERT_EQ(commits.size(), 1u);
  EXPECT_EQ(commits[0].description, "fixed the alpha");
  EXPECT_EQ(commits[0].worklist, number);
  EXPECT_EQ(commits[0].force, 1);
  EXPECT_TRUE(edit_worklist_requests().empty()) << "Commit does not save the description separately";
}

TEST_F(WorklistForm, CloseAsksOnlyAfterAChange)
{
  const int32_t number = open_in_new_worklist("fix", {"//depot/a.txt"});
  const worklist_info_t record = worklist_record(number);
  ui.script(ui_code_question, 0); // the first question: No, keep the form
  bool result = true;
  {
    dialog_player_t player({[&](QDialog &dialog) {
      text_area_t *area = text_areas(dialog)[0];
      type_text(area, "something else");
      click_button(dialog, "Close");
      EXPECT_EQ(ui.requests_of(ui_code_question).size(), 1u);
      EXPECT_TRUE(dialog.isVisible()) << "No keeps the form";
      type_text(area, "fix");
      click_button(dialog, "Close");
      EXPECT_EQ(ui.requests_of(ui_code_question).size(), 1u) << "the saved text again: nothing to ask";
    }});
    result = show_worklist_form(record, worklist_form_edit);
  }
  EXPECT_FALSE(result);
  const auto questions = ui.requests_of(ui_code_question);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_NE(questions[0].text.find("All changes will be lost."), std::string::npos);
  EXPECT_TRUE(edit_worklist_requests().empty());
  EXPECT_TRUE(commit_requests().empty());
}

TEST_F(WorklistForm, SaveWritesTheDescriptionAndEndsTheForm)
{
  const int32_t number = open_in_new_worklist("fix", {"//depot/a.txt"});
  bool result = false;
  {
    dialog_player_t player({[&](QDialog &dialog) {
      EXPECT_EQ(visible_buttons(dialog), (std::vector<std::string>{"Save", "Close"}));
      EXPECT_EQ(check_box_of(dialog, "Force committing"), nullptr);
      type_text(text_areas(dialog)[0], "better words \n");
      save_screenshot(dialog, "edit-mode");
      click_button(dialog, "Save");
    }});
    result = show_worklist_form(worklist_record(number), worklist_form_edit);
  }
  EXPECT_TRUE(result);
  EXPECT_EQ(edit_worklist_requests(), (std::vector<std::pair<int32_t, std::string>>{{number, "better words"}}));
  EXPECT_EQ(std::string(worklist_record(number).description.c_str()), "better words");
}

TEST_F(WorklistForm, ViewModeIsReadOnlyAndSendsNothing)
{
  const int32_t number = open_in_new_worklist("look only", {"//depot/a.txt"});
  const worklist_info_t record = worklist_record(number);
  server.clear_received();
  bool result = true;
  {
    dialog_player_t player({[&](QDialog &dialog) {
      EXPECT_EQ(visible_buttons(dialog), (std::vector<std::string>{"Ok"}));
      EXPECT_TRUE(text_areas(dialog)[0]->isReadOnly());
      QTest::keyClicks(text_areas(dialog)[0], "typed");
      EXPECT_EQ(text_areas(dialog)[0]->toPlainText().toStdString(), "look only");
      save_screenshot(dialog, "view-mode");
      click_button(dialog, "Ok");
    }});
    result = show_worklist_form(record, worklist_form_view);
  }
  EXPECT_FALSE(result);
  EXPECT_TRUE(request_types().empty());
}

TEST_F(WorklistForm, AnEmptyWorklistClosesTheFormButIsNoCommit)
{
  int32_t number = -1;
  ASSERT_EQ(app().facade.add_worklist(&number, "empty"), 0);
  server.clear_received();
  bool result = true;
  {
    dialog_player_t player({[&](QDialog &dialog) { click_button(dialog, "Commit"); }});
    result = show_worklist_form(worklist_record(number), worklist_form_commit);
  }
  EXPECT_FALSE(result);
  EXPECT_EQ(commit_requests().size(), 1u);
  ASSERT_EQ(warnings().size(), 1u);
  EXPECT_NE(warnings()[0].find("Failed to commit worklist"), std::string::npos);
}

TEST_F(WorklistForm, AFailedCommitKeepsTheFormOpen)
{
  const int32_t number = open_in_new_worklist("fix", {"//depot/a.txt"});
  const worklist_info_t record = worklist_record(number);
  server.add_fault({server_fault_t::raw_reply, COMMIT_WORKLIST, 0, RPC_OK, {fail_frame(48, "//depot/a.txt")}});
  bool result = true;
  {
    dialog_player_t player({[&](QDialog &dialog) {
      click_button(dialog, "Commit");
      EXPECT_TRUE(dialog.isVisible());
      EXPECT_EQ(warnings().size(), 1u);
      click_button(dialog, "Close");
    }});
    result = show_worklist_form(record, worklist_form_commit);
  }
  EXPECT_FALSE(result);
  EXPECT_EQ(commit_requests().size(), 1u);
}

TEST_F(WorklistForm, CommitWithFilesListsThemAndCommits)
{
  const scoped_shortcut_t delete_key(chooser_delete_action, "Del");
  const int32_t number = open_in_new_worklist("both", {"//depot/a.txt", "//depot/b.txt"});
  bool result = false;
  {
    dialog_player_t player({[&](QDialog &dialog) {
      auto *list = dialog.findChild<chooser_widget_t *>();
      ASSERT_NE(list, nullptr);
      EXPECT_EQ(list->widget_kind(), akui_kind_worklist_files);
      EXPECT_EQ(list->source()->item_count(), 2u);
      // This list only shows the worklist: the Delete key removes nothing from it.
      QTableView *table = list->table();
      QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(0, 0)).center());
      QTest::keyClick(table, Qt::Key_Delete);
      QTest::qWait(20);
      EXPECT_EQ(list->source()->item_count(), 2u);
      EXPECT_EQ(table->model()->rowCount(), 2);
      EXPECT_NE(check_box_of(dialog, "Force committing"), nullptr);
      save_screenshot(dialog, "commit-with-files");
      click_button(dialog, "Commit");
    }});
    result = show_worklist_form(worklist_record(number), worklist_form_commit_with_files);
  }
  EXPECT_TRUE(result);
  ASSERT_EQ(commit_requests().size(), 1u);
  EXPECT_EQ(commit_requests()[0].force, 0);
}

TEST_F(WorklistForm, AFailedFileFetchShowsTheFormWithoutAList)
{
  const int32_t number = open_in_new_worklist("both", {"//depot/a.txt"});
  const worklist_info_t record = worklist_record(number);
  server.add_fault({server_fault_t::raw_reply, GET_WORKLIST_FILES, 0, RPC_OK, {fail_frame(37, "gone")}});
  {
    dialog_player_t player({[&](QDialog &dialog) {
      EXPECT_EQ(dialog.findChild<chooser_widget_t *>(), nullptr);
      EXPECT_NE(check_box_of(dialog, "Force committing"), nullptr);
      click_button(dialog, "Close");
    }});
    EXPECT_FALSE(show_worklist_form(record, worklist_form_commit_with_files));
  }
  bool logged = false;
  for ( const std::string &line : log_lines() )
    logged = logged || line.find("Failed to retrieve worklist files") != std::string::npos;
  EXPECT_TRUE(logged);
}

// Six opened files, with hostile paths among them.
qvector<worklist_file_t> six_rows()
{
  qvector<worklist_file_t> rows;
  const char *paths[] = {"//depot/a.txt", "", "//depot/x\x02y.txt", "//depot/d.txt", "//depot/e.txt", "//depot/f.txt"};
  int32_t revision = 1;
  for ( const char *path : paths )
  {
    worklist_file_t file;
    file.path = path;
    file.site_revision = revision;
    file.last_revision = revision + 1;
    file.worklist = 7;
    file.action = uint8_t(revision % 8);
    rows.push_back(file);
    ++revision;
  }
  return rows;
}

TEST(OpenedFilesChooser, RemovingRowsOneAndFourOfSixSelectsTheRowThatFollowed)
{
  struct case_t
  {
    const char *name;
    qvector<uint64_t> selection;
    std::vector<std::string> left;
    qvector<uint64_t> selected;
  };
  const case_t cases[] = {
    {"rows 1 and 4", {1, 4}, {"//depot/a.txt", "//depot/x\x02y.txt", "//depot/d.txt", "//depot/f.txt"}, {1}},
    {"unsorted with a repeat", {4, 1, 4}, {"//depot/a.txt", "//depot/x\x02y.txt", "//depot/d.txt", "//depot/f.txt"}, {1}},
    {"beyond the rows", {9, 5}, {"//depot/a.txt", "", "//depot/x\x02y.txt", "//depot/d.txt", "//depot/e.txt"}, {4}},
    {"every row", {0, 1, 2, 3, 4, 5}, {}, {}},
  };
  for ( const case_t &c : cases )
  {
    qvector<worklist_file_t> rows = six_rows();
    opened_files_chooser_t chooser(&rows, opened_files_removable_flags, true);
    qvector<uint64_t> selection = c.selection;
    EXPECT_EQ(chooser.delete_items(&selection), chooser_rebuild) << c.name;
    std::vector<std::string> left;
    for ( const worklist_file_t &file : rows )
      left.emplace_back(file.path.c_str());
    EXPECT_EQ(left, c.left) << c.name;
    EXPECT_EQ(std::vector<uint64_t>(selection.begin(), selection.end()),
              std::vector<uint64_t>(c.selected.begin(), c.selected.end()))
      << c.name;
  }
}

TEST(OpenedFilesChooser, RowsAndTheCollectedSelection)
{
  qvector<worklist_file_t> rows = six_rows();
  opened_files_chooser_t three(&rows, opened_files_removable_flags, true);
  EXPECT_EQ(three.widget_kind(), akui_kind_worklist_files);
  EXPECT_STREQ(three.popup_names[1].c_str(), "Remove from commit...");
  qstring texts[3];
  three.describe_row(texts, nullptr, nullptr, 1);
  EXPECT_STREQ(texts[0].c_str(), "#2/3");
  EXPECT_STREQ(texts[1].c_str(), "7");
  EXPECT_STREQ(texts[2].c_str(), "del");
  opened_files_chooser_t two(&rows, opened_files_listed_flags, false);
  EXPECT_TRUE(two.popup_names[1].empty());
  qstring pair[2];
  two.describe_row(pair, nullptr, nullptr, 2);
  EXPECT_STREQ(pair[0].c_str(), "//depot/x\x02y.txt#3/4");
  EXPECT_STREQ(pair[1].c_str(), "edit");

  selected_files_t out;
  EXPECT_TRUE(collect_opened_files_selection(&out, rows, {2, 1, 99, -1}, WANT_PATH | WANT_WORKLIST | WANT_PRESENT));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_STREQ(out[0].path.c_str(), "//depot/x\x02y.txt");
  EXPECT_EQ(out[0].worklist, 7);
  EXPECT_EQ(out[0].flags, SEL_PRESENT);
  EXPECT_EQ(out[1].flags, 0u) << "a file opened for delete has no local copy";
  selected_files_t bare;
  EXPECT_TRUE(collect_opened_files_selection(&bare, rows, {0}, WANT_PATH));
  EXPECT_EQ(bare[0].worklist, -1);
  EXPECT_EQ(bare[0].flags, 0u);
}

TEST_F(WorklistForm, CommitFilesToNewWorklistRemovesRowsAndAnswersCommit)
{
  // The shipped configuration's key of the lists' Delete, which the form's modal run must pass to its list.
  const scoped_shortcut_t delete_key(chooser_delete_action, "Del");
  qvector<worklist_file_t> rows = six_rows();
  qstring description;
  uint16_t force = 0;
  int answer = -5;
  {
    dialog_player_t player({[&](QDialog &dialog) {
      EXPECT_EQ(dialog.windowTitle().toStdString(), "Commit files to new worklist");
      EXPECT_NE(dialog_button(dialog, "Commmit"), nullptr);
      EXPECT_FALSE(dialog_button(dialog, "Commmit")->isEnabled());
      auto *list = dialog.findChild<chooser_widget_t *>();
      ASSERT_NE(list, nullptr);
      QTableView *table = list->table();
      ASSERT_TRUE(pump_until([&] { return table->model()->rowCount() == 6; }, std::chrono::seconds(2)));
      const auto click_row = [&](int row, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers,
                          table->visualRect(table->model()->index(row, 0)).center());
      };
      click_row(1, {});
      click_row(4, Qt::ControlModifier);
      // The Delete key is "Remove from commit..." on the rows the clicks selected.
      QTest::keyClick(table, Qt::Key_Delete);
      EXPECT_TRUE(pump_until([&] { return rows.size() == 4; }, std::chrono::seconds(2)));
      EXPECT_TRUE(pump_until([&] { return list->source()->item_count() == 4; }, std::chrono::seconds(2)));
      save_screenshot(dialog, "after-remove");
      type_text(text_areas(dialog)[0], "part of it ");
      QTest::mouseClick(check_box_of(dialog, "Force committing"), Qt::LeftButton, {}, QPoint(4, 8));
      click_button(dialog, "Commmit");
    }});
    answer = ask_commit_files(&description, &rows, &force);
  }
  EXPECT_EQ(answer, commit_files_commit);
  EXPECT_STREQ(description.c_str(), "part of it");
  EXPECT_EQ(force, 1);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_STREQ(rows[1].path.c_str(), "//depot/x\x02y.txt");
}

} // namespace
