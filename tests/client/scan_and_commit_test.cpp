// Scan and commit on a real work directory against the test server: the options form, the scan, the worklist
// form it ends in and the failures on the way.
#include "client/commands/scan_and_commit.h"
#include "core/registry.h"
#include "repo/packets_worklists.h"
#include "tests/client/worklist_fixture.h"
#include "tests/ui/app/screenshots.h"

#include "views/chooser/chooser_widget.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>

#include <filesystem>

namespace {

class ScanAndCommit : public worklist_test_t
{
protected:
  void SetUp() override
  {
    worklist_test_t::SetUp();
    (void)registry_remove_value(scan_options_value);
    // The site holds both files; then a.txt is modified, b.txt deleted and c.txt added locally.
    ASSERT_EQ(app().facade.sync_files({}, REVISION_LAST, 5), 0) << error_detail();
    write_local(local("//depot/a.txt"), "alpha, modified");
    std::filesystem::remove(local("//depot/b.txt"));
    write_local(local("//depot/c.txt"), "new");
    server.clear_received();
    ui.clear();
  }
  void TearDown() override
  {
    (void)registry_remove_value(scan_options_value);
    worklist_test_t::TearDown();
  }

  std::vector<scan_files_packet_t> scans() const { return requests_of<scan_files_packet_t>(SCAN_FILES); }
  std::string stored_options() const
  {
    qstring text;
    return registry_read_text(&text, scan_options_value) ? text.c_str() : "";
  }
  bool logged(const std::string &text) const
  {
    for ( const std::string &line : log_lines() )
      if ( line.find(text) != std::string::npos )
        return true;
    return false;
  }
};

TEST_F(ScanAndCommit, FirstUseAsksWithEveryBoxTickedAndEndsInACommit)
{
  scan_and_commit_action_t command;
  selected_files_t none;
  bool result = false;
  std::vector<std::string> listed;
  {
    dialog_player_t player({
      [&](QDialog &dialog) {
        EXPECT_NE(dialog.findChild<QLabel *>() , nullptr);
        for ( const char *box : {"add new files", "delete deleted files", "edit modified files"} )
          EXPECT_TRUE(check_box_of(dialog, box)->isChecked()) << box;
        EXPECT_FALSE(check_box_of(dialog, "show this dialog")->isChecked());
        EXPECT_NE(dialog_button(dialog, "No"), nullptr);
        save_screenshot(dialog, "options-all-files");
        click_button(dialog, "Yes");
      },
      [&](QDialog &dialog) {
        EXPECT_EQ(dialog_button(dialog, "Commit") != nullptr, true);
        auto *list = dialog.findChild<chooser_widget_t *>();
        ASSERT_NE(list, nullptr) << "mode 3 lists the files";
        for ( uint64_t row = 0; row < list->source()->item_count(); ++row )
        {
          qstring texts[2];
          list->source()->describe_row(texts, nullptr, nullptr, row);
          listed.push_back(std::string(texts[0].c_str()) + " " + texts[1].c_str());
        }
        type_text(text_areas(dialog)[0], "scanned");
        save_screenshot(dialog, "worklist-form");
        click_button(dialog, "Commit");
      },
    });
    result = command.perform(none);
  }
  EXPECT_TRUE(result);
  EXPECT_EQ(stored_options(), "ade");
  const auto sent = scans();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].patterns.empty());
  EXPECT_EQ(sent[0].options, 0x07);
  const std::vector<std::string> files = strings_of(sent[0].local_files);
  EXPECT_NE(std::find(files.begin(), files.end(), "//depot/c.txt"), files.end());
  EXPECT_EQ(std::find(files.begin(), files.end(), "//depot/b.txt"), files.end());
  EXPECT_NE(std::find(listed.begin(), listed.end(), "//depot/c.txt#0 add"), listed.end());
  const auto commits = commit_requests();
  ASSERT_EQ(commits.size(), 1u);
  EXPECT_EQ(commits[0].worklist, sent[0].worklist);
  EXPECT_EQ(commits[0].description, "scanned");
}

TEST_F(ScanAndCommit, StoredLettersSkipTheFormAndAreSentAsTheyAre)
{
  registry_write_text(scan_options_value, nullptr, "xs-e?");
  EXPECT_EQ(read_scan_options(), scan_without_dialog | scan_edit_modified);
  scan_and_commit_action_t command;
  selected_files_t selection {file_record("//depot/a.txt", SEL_KNOWN)};
  {
    dialog_player_t player({[&](QDialog &dialog) { click_button(dialog, "Close"); }});
    EXPECT_TRUE(command.perform(selection));
  }
  const auto sent = scans();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].options, 0x24);
  EXPECT_EQ(strings_of(sent[0].patterns), (std::vector<std::string>{"//depot/a.txt"}));
  EXPECT_EQ(stored_options(), "xs-e?") << "nothing asked, nothing stored";
}

TEST_F(ScanAndCommit, TheOptionsAreStoredInLetterOrder)
{
  write_scan_options(scan_without_dialog | scan_add_new | scan_edit_modified);
  EXPECT_EQ(stored_options(), "aes");
  write_scan_options(0);
  EXPECT_EQ(stored_options(), "");
  EXPECT_EQ(read_scan_options(), scan_default_options) << "the store reads an empty text as a missing one";
}

TEST_F(ScanAndCommit, CancellingTheOptionsSendsNothing)
{
  scan_and_commit_action_t command;
  selected_files_t selection {file_record("//depot/a.txt", SEL_KNOWN)};
  {
    dialog_player_t player({[&](QDialog &dialog) {
      EXPECT_NE(dialog_button(dialog, "Scan"), nullptr);
      save_screenshot(dialog, "options-selection");
      click_button(dialog, "Cancel");
    }});
    EXPECT_FALSE(command.perform(selection));
  }
  EXPECT_TRUE(request_types().empty());
  EXPECT_EQ(stored_options(), "");
}

TEST_F(ScanAndCommit, UpToDateDeletesTheNewWorklist)
{
  struct case_t
  {
    const char *name;
    selected_files_t selection;
    const char *warning;
  };
  const case_t cases[] = {
    {"everything", {}, "All files are up-to-date."},
    {"a selection", {file_record("//depot/a.txt", SEL_KNOWN)}, "The selected file(s) are up-to-date."},
  };
  write_scan_options(scan_without_dialog | scan_default_options);
  for ( const case_t &c : cases )
  {
    server.clear_received();
    ui.clear();
    server.add_fault({server_fault_t::raw_reply, SCAN_FILES, 0, RPC_OK, {fail_frame(49, "nothing")}});
    scan_and_commit_action_t command;
    selected_files_t selection = c.selection;
    EXPECT_FALSE(command.perform(selection)) << c.name;
    const auto added = requests_of<number_packet_t>(DEL_WORKLIST);
    ASSERT_EQ(added.size(), 1u) << c.name;
    EXPECT_EQ(added[0].number, scans().at(0).worklist) << c.name;
    EXPECT_EQ(warnings(), (std::vector<std::string>{c.warning})) << c.name;
    if ( !c.selection.empty() )
    {
      EXPECT_TRUE(logged("  //depot/a.txt")) << c.name;
    }
  }
  qvector<worklist_info_t> left;
  ASSERT_EQ(app().facade.get_worklists(&left, nullptr, nullptr, -1), 0);
  EXPECT_EQ(left.size(), 1u) << "only the default worklist is left";
}

TEST_F(ScanAndCommit, AMismatchingWorklistReplyIsReportedAndStops)
{
  write_scan_options(scan_without_dialog | scan_default_options);
  worklist_list_packet_t wrong(GET_WORKLISTS_RESULT);
  worklist_info_t other;
  other.number = 999;
  other.site = "ws";
  wrong.worklists.push_back(other);
  wrong.worklists.push_back(other);
  worklist_list_packet_t empty(GET_WORKLISTS_RESULT);
  for ( worklist_list_packet_t *reply : {&wrong, &empty} )
  {
    ui.clear();
    server.add_fault({server_fault_t::raw_reply, GET_WORKLISTS, 0, RPC_OK, {packet_frame(*reply)}});
    scan_and_commit_action_t command;
    selected_files_t none;
    EXPECT_FALSE(command.perform(none));
    ASSERT_EQ(warnings().size(), 1u);
    EXPECT_NE(warnings()[0].find("did not return worklist"), std::string::npos);
  }
}

} // namespace
