// Revert and sync against the test server over TLS: the confirmations, the requests the server recorded, the
// labels of "Get the latest revision" and the files the sync brings into the work directory.
#include "client/commands/revert_sync_commands.h"
#include "repo/packets_sites.h"
#include "repo/packets_worklists.h"
#include "tests/client/file_command_fixture.h"
#include "tests/support/file_contents.h"
#include "ui/ui_action_registry.h"

#include <QAction>

#include <filesystem>

namespace {

using revert_sync_test_t = file_command_test_t;

std::vector<std::string> question_texts(const recording_ui_callback_t &ui)
{
  std::vector<std::string> texts;
  for ( const ui_request_record_t &request : ui.requests_of(ui_code_question) )
    texts.push_back(request.text);
  return texts;
}

TEST_F(revert_sync_test_t, revert_lists_thirty_names_then_the_number_of_the_others)
{
  for ( size_t count : {size_t(30), size_t(31)} )
  {
    SCOPED_TRACE(count);
    test_selection_view_t view(akui_kind_arkive_files);
    std::string list;
    for ( size_t i = 0; i < count; ++i )
    {
      const std::string path = "//depot/f" + std::to_string(i) + ".txt";
      view.selection.push_back(file_record(path.c_str(), SEL_KNOWN, 1));
      if ( i < 30 )
        list += path + "\n";
    }
    if ( count > 30 )
      list += "... + 1 more\n";
    ui.clear();
    server.clear_received();
    ui.script(ui_code_question, 0);
    EXPECT_EQ(activate("revert", view), 0);
    EXPECT_TRUE(server.received().empty()) << "declined: nothing sent";
    ASSERT_EQ(ui.requests_of(ui_code_question).size(), 1u);
    const ui_request_record_t asked = ui.requests_of(ui_code_question)[0];
    EXPECT_EQ(asked.text, "HIDECANCEL\nDo you really want to revert these files?\n" + list);
    EXPECT_EQ(asked.default_answer, 1);

    ui.script(ui_code_question, 1);
    EXPECT_EQ(activate("revert", view), 1);
    auto reverts = requests_of<path_list_packet_t>(REVERT_FILES);
    ASSERT_EQ(reverts.size(), 1u);
    EXPECT_EQ(reverts[0].paths.size(), count);
    EXPECT_EQ(reverts[0].number, 0);
  }
}

TEST_F(revert_sync_test_t, revert_restores_an_edited_file_and_revert_if_unchanged_asks_nothing)
{
  server.repository().commit_files("bob", "elsewhere", "second", {{"//depot/a.txt", "alpha 2"}});
  test_selection_view_t view(akui_kind_local_files);
  view.selection = {file_record("//depot/a.txt", SEL_KNOWN | SEL_PRESENT)};
  EXPECT_EQ(activate("get_revision", view), 1);
  EXPECT_EQ(read_file(local("//depot/a.txt")), "alpha 2");
  EXPECT_EQ(activate("checkout_for_edit", view), 1);
  write_local(local("//depot/a.txt"), "changed");

  view.selection = {file_record("//depot/a.txt", SEL_KNOWN | SEL_OPENED_FOR_EDIT, 1)};
  EXPECT_EQ(update("revert", view), 3);
  EXPECT_EQ(update("revert_if_unchanged", view), 3);
  server.clear_received();
  ui.clear();
  EXPECT_EQ(activate("revert_if_unchanged", view), 1);
  EXPECT_TRUE(ui.requests_of(ui_code_question).empty());
  auto reverts = requests_of<path_list_packet_t>(REVERT_FILES);
  ASSERT_EQ(reverts.size(), 1u);
  EXPECT_EQ(reverts[0].number, 1);

  ui.script(ui_code_question, 1);
  EXPECT_EQ(activate("revert", view), 1);
  EXPECT_EQ(read_file(local("//depot/a.txt")), "alpha 2") << "the server brought the site's revision back";

  // Applicability: a file that is not opened, and one opened for delete.
  view.selection = {file_record("//depot/b.txt", SEL_KNOWN)};
  EXPECT_EQ(update("revert", view), 7);
  EXPECT_EQ(update("revert_if_unchanged", view), 7);
  view.selection = {file_record("//depot/b.txt", SEL_KNOWN, 1)};
  EXPECT_EQ(update("revert", view), 3);
  EXPECT_EQ(update("revert_if_unchanged", view), 7);
  view.selection = {file_record("//depot/", SEL_FOLDER)};
  EXPECT_EQ(update("revert_if_unchanged", view), 3);
}

TEST_F(revert_sync_test_t, get_the_latest_revision_labels_and_applies_by_view)
{
  ui_action_t *action = find_ui_action("get_revision");
  ASSERT_NE(action, nullptr);
  const auto label = [action] { return action->qaction()->text().toStdString(); };

  test_selection_view_t commits(akui_kind_commits);
  EXPECT_EQ(update("get_revision", commits, {0, 1}), 7);
  EXPECT_EQ(label(), "Sync to this commit...");
  EXPECT_EQ(update("get_revision", commits, {1}), 3);

  test_selection_view_t history(akui_kind_file_history);
  EXPECT_EQ(update("get_revision", history, {}), 7);
  EXPECT_EQ(label(), "Sync to this revision");
  EXPECT_EQ(update("get_revision", history, {2}), 3);

  test_selection_view_t tree(akui_kind_arkive_files);
  EXPECT_EQ(update("get_revision", tree), 3) << "nothing selected syncs everything";
  EXPECT_EQ(label(), "Get the latest revision");
  tree.selection = {file_record("//depot/a.txt", SEL_KNOWN | SEL_LATEST), file_record("//depot/n.txt", 0)};
  EXPECT_EQ(update("get_revision", tree), 7) << "at its last revision, or unknown";
  tree.selection.push_back(file_record("//depot/b.txt", SEL_KNOWN));
  EXPECT_EQ(update("get_revision", tree), 3);
  tree.selection = {file_record("//depot/", SEL_FOLDER)};
  EXPECT_EQ(update("get_revision", tree), 3);
  EXPECT_EQ(tree.asked_bits.back(), WANT_KNOWN | WANT_LATEST);

  QWidget users;
  ui_action_update_ctx_t elsewhere;
  elsewhere.widget = &users;
  elsewhere.widget_kind = akui_kind_users;
  elsewhere.action_name = "get_revision";
  EXPECT_EQ(get_revision_update(action, &elsewhere), 3);
}

TEST_F(revert_sync_test_t, get_the_latest_revision_syncs_by_view_and_reaches_the_work_directory)
{
  // Nothing selected in Local files: the question, then every file at its last revision.
  server.repository().commit_files("bob", "elsewhere", "second", {{"//depot/a.txt", "alpha 2"}, {"//depot/b.txt", "beta 2"}});
  test_selection_view_t tree(akui_kind_local_files);
  ui.script(ui_code_question, 0);
  EXPECT_EQ(activate("get_revision", tree), 0);
  EXPECT_TRUE(server.received().empty());
  EXPECT_EQ(question_texts(ui),
            std::vector<std::string>{"AUTOHIDE REGISTRY\nHIDECANCEL\nDo you really want to sync all files?"});
  ui.script(ui_code_question, 1);
  EXPECT_EQ(activate("get_revision", tree), 1);
  auto syncs = requests_of<path_query_packet_t>(SYNC_FILES);
  ASSERT_EQ(syncs.size(), 1u);
  EXPECT_TRUE(syncs[0].patterns.empty());
  EXPECT_EQ(syncs[0].revision, -1);
  EXPECT_EQ(syncs[0].options, 1);
  EXPECT_EQ(log_lines().back(), "ok sync completed\n");
  EXPECT_EQ(read_file(local("//depot/a.txt")), "alpha 2");
  EXPECT_EQ(read_file(local("//depot/b.txt")), "beta 2");

  // A commit of the Commits view: its own question and a sync by commit number.
  server.clear_received();
  ui.clear();
  test_selection_view_t commits(akui_kind_commits);
  commits.commit = 1;
  ui.script(ui_code_question, 1);
  EXPECT_EQ(activate("get_revision", commits, {0}), 1);
  EXPECT_EQ(question_texts(ui), std::vector<std::string>{"AUTOHIDE REGISTRY\nSync files to commit 1?"});
  syncs = requests_of<path_query_packet_t>(SYNC_FILES);
  ASSERT_EQ(syncs.size(), 1u);
  EXPECT_EQ(syncs[0].revision, 1);
  EXPECT_EQ(syncs[0].options, 0);
  EXPECT_EQ(log_lines().back(), "ok sync to commit 1\n");
  EXPECT_EQ(read_file(local("//depot/a.txt")), "alpha");

  // History rows are synced by the view, with the flags and the code of the latest revision.
  test_selection_view_t history(akui_kind_file_history);
  EXPECT_EQ(activate("get_revision", history, {0, 1}), 1);
  EXPECT_EQ(history.synced_with, (std::vector<std::pair<int32_t, int32_t>>{{1, -10}}));

  // A failure is logged, without the ok line.
  app().set_connection(nullptr);
  ui.clear();
  tree.selection = {file_record("//depot/a.txt", SEL_KNOWN)};
  EXPECT_EQ(activate("get_revision", tree), 1);
  ASSERT_EQ(log_lines().size(), 1u);
  EXPECT_EQ(log_lines()[0].rfind("Disconnected from the server: ", 0), 0u) << log_lines()[0];
}

TEST_F(revert_sync_test_t, get_revision_with_options_syncs_the_first_file_with_the_form_values)
{
  server.repository().commit_files("bob", "elsewhere", "second", {{"//depot/a.txt", "alpha 2"}});
  test_selection_view_t tree(akui_kind_arkive_files);
  tree.selection = {file_record("//depot/a.txt", SEL_KNOWN, -1, 1, 2), file_record("//depot/b.txt", SEL_KNOWN),
                    file_record("//depot/c.txt", SEL_KNOWN)};
  std::string shown;
  ui.script_form([&shown](const char *form, va_list args) -> int64_t {
    shown = form;
    va_arg(args, void *); // the change callback
    auto *mode = va_arg(args, uint16_t *);
    auto *label = va_arg(args, qstring *);
    auto *number = va_arg(args, int64_t *);
    auto *force = va_arg(args, uint16_t *);
    EXPECT_EQ(*mode, 0);
    EXPECT_EQ(str(*label), "Revision");
    EXPECT_EQ(*number, 2) << "the file's last revision is proposed";
    *number = 1;
    *force = 1;
    return 1;
  });
  EXPECT_EQ(activate("get_revision_with_options", tree), 1);
  EXPECT_EQ(shown, "Get revision options\n%/<Revision:R> <Commit:R>1>\n%2q <:D3::6::>\n"
                   "<~F~orce sync of already synced files:c>>\n\n");
  auto syncs = requests_of<path_query_packet_t>(SYNC_FILES);
  ASSERT_EQ(syncs.size(), 1u);
  EXPECT_EQ(strings_of(syncs[0].patterns), std::vector<std::string>{"//depot/a.txt"});
  EXPECT_EQ(syncs[0].revision, 1);
  EXPECT_EQ(syncs[0].options, SYNC_FORCE | SYNC_BY_REVISION);
  EXPECT_EQ(log_lines().back(), "ok sync to commit 1\n");
  EXPECT_EQ(read_file(local("//depot/a.txt")), "alpha");

  // Nothing selected anywhere: the newest commit in commit mode; Cancel sends nothing.
  server.clear_received();
  test_selection_view_t users(akui_kind_users);
  ui.script_form([](const char *, va_list args) -> int64_t {
    va_arg(args, void *);
    EXPECT_EQ(*va_arg(args, uint16_t *), 1);
    EXPECT_EQ(str(*va_arg(args, qstring *)), "Commit");
    EXPECT_EQ(*va_arg(args, int64_t *), 2);
    return -1;
  });
  EXPECT_EQ(activate("get_revision_with_options", users), 0);
  EXPECT_TRUE(requests_of<path_query_packet_t>(SYNC_FILES).empty());
}

} // namespace
