// The File history view against the test server over TLS, driven by real mouse and key events: its rows, the
// one window per file, its closing when the site or the connection goes, its records for the file commands,
// viewing, comparing and syncing revisions, and the commit of a row.
#include "client/commands/revert_sync_commands.h"
#include "client/views/file_history_view.h"
#include "forms/form_widget.h"
#include "repo/packets_sites.h"
#include "tests/client/file_history_fixture.h"
#include "tests/client/worklist_fixture.h"
#include "tests/support/file_contents.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/ui_action_registry.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <filesystem>
#include <fstream>

namespace {

using namespace std::chrono_literals;

// The number of live history windows of //depot/a.txt.
size_t history_windows()
{
  size_t count = 0;
  for ( QWidget *widget : QApplication::allWidgets() )
    if ( auto *chooser = qobject_cast<chooser_widget_t *>(widget);
         chooser != nullptr && chooser->windowTitle() == QStringLiteral("History of //depot/a.txt") )
      ++count;
  return count;
}

TEST_F(file_history_test_t, rows_are_newest_first_with_the_sites_revision_bold_and_one_window_per_file)
{
  ASSERT_EQ(open_from_tree("//depot/a.txt"), 1);
  chooser_widget_t *window = history_window("//depot/a.txt");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(wait_rows(window, [&] { return window->table_model()->rowCount() == 5; }));
  const QAbstractItemModel *model = window->table_model();
  const char *const headers[] = {"Rev", "Size", "Committed", "Location", "CID", "Description"};
  for ( int column = 0; column < 6; ++column )
    EXPECT_EQ(model->headerData(column, Qt::Horizontal).toString().toStdString(), headers[column]);
  const std::vector<std::string> rows = shown_rows(window);
  const QRegularExpression time(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
  for ( int revision = 5; revision >= 1; --revision )
  {
    SCOPED_TRACE(revision);
    const QStringList texts = QString::fromStdString(rows[size_t(5 - revision)]).split(QLatin1Char('|'));
    ASSERT_EQ(texts.size(), 6);
    EXPECT_EQ(texts[0].toInt(), revision);
    EXPECT_EQ(texts[1], revision == 1 ? QStringLiteral("5") : QStringLiteral("7")) << "the revision's size";
    EXPECT_TRUE(time.match(texts[2]).hasMatch()) << texts[2].toStdString();
    EXPECT_EQ(texts[3], revision == 1 ? QStringLiteral("alice@ws") : QStringLiteral("bob@elsewhere"));
    EXPECT_EQ(texts[4].toInt(), revision) << "commit n made revision n";
    EXPECT_EQ(texts[5], revision == 1 ? QStringLiteral("import") : QStringLiteral("change %1").arg(revision));
  }
  EXPECT_EQ(bold_revisions(window), std::vector<int> {1}) << "the site holds revision 1";
  EXPECT_EQ(selected_revisions(window), std::vector<int> {1}) << "the site's revision is selected at first";
  save_screenshot(*window, QStringLiteral("opened"));

  // Opening it again reloads the open window: a sixth revision shows, no second window.
  click_revision(window, 3);
  server.repository().commit_files("bob", "elsewhere", "change 6", {{"//depot/a.txt", "alpha six"}});
  server.clear_received();
  ASSERT_EQ(open_from_tree("//depot/a.txt"), 1);
  EXPECT_EQ(history_windows(), 1u);
  EXPECT_EQ(history_window("//depot/a.txt"), window);
  ASSERT_TRUE(wait_rows(window, [&] { return window->table_model()->rowCount() == 6; }));
  EXPECT_EQ(model->index(0, 0).data().toInt(), 6);
  EXPECT_EQ(requests_of<path_query_packet_t>(GET_ARKIVE_FILES).size(), 2u) << "the site's record and every revision";
  save_screenshot(*window, QStringLiteral("reopened"));

  // The revision selected when a history closes is the one the next history selects.
  click_revision(window, 3);
  close_chooser_widget(window);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_TRUE(pump_until([] { return history_window("//depot/a.txt") == nullptr; }, 5s));
  EXPECT_EQ(akui_app()->history_revision, 3);
  ASSERT_EQ(open_from_tree("//depot/a.txt"), 1);
  window = history_window("//depot/a.txt");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(wait_rows(window, [&] { return window->table_model()->rowCount() == 6; }));
  EXPECT_EQ(selected_revisions(window), std::vector<int> {3});

  // The site's revision selected when it closes: the next one selects the site's revision again.
  click_revision(window, 1);
  close_chooser_widget(window);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_TRUE(pump_until([] { return history_window("//depot/a.txt") == nullptr; }, 5s));
  EXPECT_EQ(akui_app()->history_revision, REVISION_CURRENT);

  // A stored desktop's "History of <path>" window comes back through the desktop factory.
  desktop_widget_factory_t *factory = nullptr;
  for ( desktop_widget_factory_t *candidate : desktop_widget_factories() )
    if ( candidate->matches("History of //depot/a.txt", nullptr) )
      factory = candidate;
  ASSERT_NE(factory, nullptr);
  std::unique_ptr<QWidget> restored(factory->create_widget("History of //depot/a.txt", nullptr));
  auto *restored_window = qobject_cast<chooser_widget_t *>(restored.get());
  ASSERT_NE(restored_window, nullptr);
  EXPECT_EQ(restored_window->windowTitle(), QStringLiteral("History of //depot/a.txt"));
  ASSERT_TRUE(wait_rows(restored_window, [&] { return restored_window->table_model()->rowCount() == 6; }));
  EXPECT_EQ(restored_window->extra_popup_count, 9u);
  EXPECT_EQ(factory->create_widget("History of //depot/none.txt", nullptr), nullptr);
}

TEST_F(file_history_test_t, a_file_the_server_does_not_know_is_a_failed_load_logged_with_no_window)
{
  EXPECT_EQ(open_from_tree("//depot/none.txt"), 0);
  EXPECT_EQ(history_window("//depot/none.txt"), nullptr);
  const std::vector<std::string> lines = log_lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "File history: the server has no record of //depot/none.txt\n");

  // An empty reply to the reload of an open window: logged, the window stays and shows nothing.
  ASSERT_EQ(open_from_tree("//depot/a.txt"), 1);
  chooser_widget_t *window = history_window("//depot/a.txt");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(wait_rows(window, [&] { return window->table_model()->rowCount() == 5; }));
  server_fault_t empty;
  empty.action = server_fault_t::raw_reply;
  empty.on_type = GET_ARKIVE_FILES;
  empty.frames = {packet_frame(file_query_result_packet_t(GET_ARKIVE_FILES_RESULT))};
  server.add_fault(empty);
  ui.clear();
  akui_app()->refresh_widgets(uint64_t(1) << akui_kind_file_history, true);
  ASSERT_TRUE(wait_rows(window, [&] { return window->table_model()->rowCount() == 0; }));
  QTest::qWait(50);
  EXPECT_EQ(history_window("//depot/a.txt"), window);
  ASSERT_FALSE(log_lines().empty());
  EXPECT_EQ(log_lines().back(), "File history: the server has no record of //depot/a.txt\n");
  save_screenshot(*window, QStringLiteral("empty_reply"));
}

TEST_F(file_history_test_t, a_window_loaded_for_one_site_closes_after_a_switch_and_without_a_connection)
{
  server.repository().add_site("other", "alice", site_root + "-other", "alice-pc");
  ASSERT_EQ(open_from_tree("//depot/a.txt"), 1);
  chooser_widget_t *window = history_window("//depot/a.txt");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(wait_rows(window, [&] { return window->table_model()->rowCount() == 5; }));

  // The switch refreshes the views: the window reloads inside its own model update and closes after it.
  ASSERT_TRUE(app().use_local_site("other", true));
  QPointer<chooser_widget_t> watched = window;
  app().refresh_widgets(uint64_t(1) << akui_kind_file_history, true);
  ASSERT_TRUE(pump_until([&] { return watched == nullptr; }, 5s));
  EXPECT_EQ(history_window("//depot/a.txt"), nullptr);

  // Opened for the other site, then opened again after switching back: the open window is reloaded inside
  // open_chooser, refuses, and closes once open_chooser has returned.
  ASSERT_EQ(open_from_tree("//depot/a.txt"), 1);
  watched = history_window("//depot/a.txt");
  ASSERT_NE(watched, nullptr);
  ASSERT_TRUE(app().use_local_site("ws", true));
  EXPECT_EQ(open_from_tree("//depot/a.txt"), 0);
  ASSERT_TRUE(pump_until([&] { return watched == nullptr; }, 5s));

  // Without a connection the reload closes the window as well.
  ASSERT_EQ(open_from_tree("//depot/a.txt"), 1);
  watched = history_window("//depot/a.txt");
  ASSERT_NE(watched, nullptr);
  app().set_connection(nullptr);
  app().refresh_widgets(uint64_t(1) << akui_kind_file_history, true);
  ASSERT_TRUE(pump_until([&] { return watched == nullptr; }, 5s));
  app().set_connection(connect_alice(transport_t::tls));
  ASSERT_EQ(app().facade.get_arkive_info(&app().server_info), 0);
}

TEST_F(file_history_test_t, rows_give_the_file_commands_their_records)
{
  ASSERT_EQ(open_from_tree("//depot/a.txt"), 1);
  chooser_widget_t *window = history_window("//depot/a.txt");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(wait_rows(window, [&] { return window->table_model()->rowCount() == 5; }));
  file_history_chooser_t *history = history_of(window);
  ASSERT_NE(history, nullptr);
  const auto collect = [&](uint32_t bits, std::vector<int> rows) {
    ui_action_activation_ctx_t context;
    context.widget = window;
    context.widget_kind = window->widget_kind();
    context.chooser = history;
    context.chooser_selection = std::move(rows);
    selected_files_t files;
    EXPECT_TRUE(collect_selected_files(&files, context, bits));
    return files;
  };
  EXPECT_EQ(window->widget_kind(), akui_kind_file_history);

  // Rows 0 (revision 5) and 4 (revision 1); the file is not opened yet.
  const struct
  {
    const char *name;
    uint32_t bits;
    const char *path;
    uint32_t flags;
    int32_t revision[2];
    int32_t last_revision;
    uint8_t state[2];
  } cases[] = {
    {"path alone", WANT_PATH, "//depot/a.txt", 0, {-4, -4}, -4, {0, 0}},
    {"known and present", WANT_KNOWN | WANT_PRESENT, "", SEL_KNOWN | SEL_PRESENT, {-4, -4}, -4, {0, 0}},
    {"revisions", WANT_REVISIONS, "", 0, {5, 1}, 5, {0, 0}},
    {"state: edit, then add", WANT_STATE, "", 0, {-4, -4}, -4, {3, 1}},
    {"not opened", WANT_WORKLIST, "", 0, {-4, -4}, -4, {0, 0}},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    const selected_files_t files = collect(c.bits, {0, 4});
    ASSERT_EQ(files.size(), 2u);
    for ( size_t i = 0; i < 2; ++i )
    {
      EXPECT_EQ(str(files[i].path), c.path);
      EXPECT_EQ(files[i].flags, c.flags);
      EXPECT_EQ(files[i].worklist, -1);
      EXPECT_EQ(files[i].revision, c.revision[i]);
      EXPECT_EQ(files[i].last_revision, c.last_revision);
      EXPECT_EQ(files[i].state, c.state[i]);
    }
  }
  EXPECT_TRUE(collect(WANT_PATH, {}).empty());
  EXPECT_TRUE(collect(WANT_PATH, {7, -1}).empty()) << "rows outside the list give no record";

  // Opened for edit: flag 0x10, the worklist stays -1.
  qvector<qstring> paths;
  paths.push_back("//depot/a.txt");
  ASSERT_EQ(app().facade.edit_files(paths, 1), 0);
  selected_files_t opened = collect(WANT_WORKLIST, {2});
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].flags, SEL_OPENED);
  EXPECT_EQ(opened[0].worklist, -1);
  ASSERT_EQ(app().facade.revert_files(paths, 0), 0);

  // The commit of a row: exactly one commit, the one that made the revision.
  qvector<commit_info_t> commits;
  ASSERT_TRUE(history->commit_of_row(&commits, 1));
  ASSERT_EQ(commits.size(), 1u);
  EXPECT_EQ(commits[0].number, 4);
  EXPECT_STREQ(commits[0].description.c_str(), "change 4");
  EXPECT_FALSE(history->commit_of_row(&commits, 9));
  // A reply naming two commits is no answer.
  commit_list_packet_t two(GET_COMMITS_RESULT);
  two.commits.push_back(commits[0]);
  two.commits.push_back(commits[0]);
  server_fault_t fault;
  fault.action = server_fault_t::raw_reply;
  fault.on_type = GET_COMMITS;
  fault.frames = {packet_frame(two)};
  server.add_fault(fault);
  ui.clear();
  EXPECT_FALSE(history->commit_of_row(&commits, 1));
  ASSERT_FALSE(log_lines().empty());
  EXPECT_EQ(log_lines().back(), "No single commit for \"//depot/a.txt#4\" (got 2)\n");
}

// A tool recording what it was given, which serves as the viewer and the diff tool once installed.
class history_tools_test_t : public file_history_test_t
{
protected:
  void SetUp() override
  {
    file_history_test_t::SetUp();
    record = scratch + "/tool.rec";
    tool = write_tool_script(scratch, "tool.sh", record, 0);
  }
  void install_tool()
  {
    test_assoc_t &assoc = tools.by_extension["txt"];
    assoc.program = tool;
    assoc.view_args = "%l";
    assoc.diff_args = "%l %r";
  }
  // The record's "content:" lines once the tool has written it; the record is removed for the next run.
  std::vector<std::string> recorded_contents() const
  {
    std::vector<std::string> contents;
    if ( !pump_until([&] { return std::filesystem::exists(record); }, 5s) )
      return contents;
    {
      std::ifstream in(record);
      for ( std::string line; std::getline(in, line); )
        if ( line.rfind("content:", 0) == 0 )
          contents.push_back(line.substr(8));
    }
    std::filesystem::remove(record);
    return contents;
  }

  test_assoc_finder_t tools;
  std::string record;
  std::string tool;
};

TEST_F(history_tools_test_t, enter_views_a_revision_and_the_menu_compares_with_the_previous_one)
{
  ASSERT_EQ(open_from_tree("//depot/a.txt"), 1);
  chooser_widget_t *window = history_window("//depot/a.txt");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(wait_rows(window, [&] { return window->table_model()->rowCount() == 5; }));

  // Without a tool for the file the comparison is not offered.
  std::vector<std::string> entries = popup_on_revision(window, 4, "", "menu_without_diff_tool");
  EXPECT_EQ(std::find(entries.begin(), entries.end(), "Diff against previous revision"), entries.end()) << testing::PrintToString(entries);

  // Enter on revision 3 shows that revision with the viewer; its copy goes when the viewer ends.
  install_tool();
  ASSERT_TRUE(click_revision(window, 3));
  QTest::keyClick(window->table(), Qt::Key_Return);
  EXPECT_EQ(recorded_contents(), std::vector<std::string> {"alpha 3"});
  EXPECT_TRUE(pump_until([&] { return leftover_copies().empty(); }, 5s));

  // Revision 4 compared with revision 3.
  entries = popup_on_revision(window, 4, "Diff against previous revision", "menu_on_revision_4");
  EXPECT_NE(std::find(entries.begin(), entries.end(), "Diff against previous revision"), entries.end()) << testing::PrintToString(entries);
  EXPECT_NE(std::find(entries.begin(), entries.end(), "Open this revision"), entries.end()) << testing::PrintToString(entries);
  EXPECT_EQ(recorded_contents(), (std::vector<std::string> {"alpha 3", "alpha 4"}));
  EXPECT_TRUE(pump_until([&] { return leftover_copies().empty(); }, 5s));

  // Revision 1 has no previous revision.
  entries = popup_on_revision(window, 1, "", "menu_on_revision_1");
  EXPECT_EQ(std::find(entries.begin(), entries.end(), "Diff against previous revision"), entries.end()) << testing::PrintToString(entries);

  // "Open this revision" from the menu.
  (void)popup_on_revision(window, 2, "Open this revision", "menu_open_revision_2");
  EXPECT_EQ(recorded_contents(), std::vector<std::string> {"alpha 2"});
}

TEST_F(file_history_test_t, a_synced_row_becomes_the_bold_one_and_checkout_for_edit_follows_it)
{
  ASSERT_EQ(open_from_tree("//depot/a.txt"), 1);
  chooser_widget_t *window = history_window("//depot/a.txt");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(wait_rows(window, [&] { return window->table_model()->rowCount() == 5; }));
  std::vector<std::string> entries = popup_on_revision(window, 3, "", "menu_before_sync");
  EXPECT_EQ(std::find(entries.begin(), entries.end(), "Checkout for edit"), entries.end()) << testing::PrintToString(entries)
    << "only the site's revision may be checked out";

  entries = popup_on_revision(window, 3, "Sync to this revision", "menu_sync");
  auto syncs = requests_of<path_query_packet_t>(SYNC_FILES);
  ASSERT_EQ(syncs.size(), 1u);
  EXPECT_EQ(strings_of(syncs[0].patterns), std::vector<std::string> {"//depot/a.txt"});
  EXPECT_EQ(syncs[0].revision, 3);
  EXPECT_EQ(syncs[0].options, SYNC_BY_REVISION);
  EXPECT_EQ(read_file(local("//depot/a.txt")), "alpha 3");
  EXPECT_EQ(history_of(window)->current_revision(), 3);
  ASSERT_TRUE(wait_rows(window, [&] { return bold_revisions(window) == std::vector<int> {3}; }));
  save_screenshot(*window, QStringLiteral("synced_to_3"));

  entries = popup_on_revision(window, 3, "", "menu_after_sync");
  EXPECT_NE(std::find(entries.begin(), entries.end(), "Checkout for edit"), entries.end()) << testing::PrintToString(entries);
  entries = popup_on_revision(window, 5, "", "menu_on_the_last_revision");
  EXPECT_EQ(std::find(entries.begin(), entries.end(), "Checkout for edit"), entries.end()) << testing::PrintToString(entries);
}

TEST_F(file_history_test_t, open_commit_shows_the_read_only_details_of_the_rows_commit)
{
  ASSERT_EQ(open_from_tree("//depot/a.txt"), 1);
  chooser_widget_t *window = history_window("//depot/a.txt");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(wait_rows(window, [&] { return window->table_model()->rowCount() == 5; }));
  answer_forms_with_the_engine(ui);
  const auto close_forms = [] {
    while ( form_widget_t *form = find_form_widget_by_title("Commit #", true) )
      delete form;
  };

  // The commit that made revision 4, read-only, with the file it changed.
  std::vector<std::string> entries = popup_on_revision(window, 4, "Open commit...", "menu_open_commit");
  EXPECT_NE(std::find(entries.begin(), entries.end(), "Open commit..."), entries.end()) << testing::PrintToString(entries);
  ASSERT_TRUE(pump_until([] { return find_form_widget_by_title("Commit #4", false) != nullptr; }, 5s));
  form_widget_t *form = find_form_widget_by_title("Commit #4", false);
  EXPECT_EQ(find_form_widget_by_title("Commit #", true), form) << "only the commit of the clicked row";
  bool save = false;
  for ( QPushButton *button : form->findChildren<QPushButton *>() )
    save = save || (button->isVisibleTo(form) && button->text().remove(QLatin1Char('&')) == QStringLiteral("Save"));
  EXPECT_FALSE(save) << "details opened from a history are not editable";
  auto *files = form->findChild<chooser_widget_t *>();
  ASSERT_NE(files, nullptr);
  ASSERT_TRUE(pump_until([&] { return files->table_model()->rowCount() == 1; }, 5s));
  EXPECT_TRUE(files->table_model()->index(0, 0).data().toString().startsWith(QStringLiteral("//depot/a.txt")));
  save_screenshot(*form, QStringLiteral("commit_4_from_history"));
  close_forms();

  // A reply without exactly one commit, or an error, opens nothing.
  commit_list_packet_t none(GET_COMMITS_RESULT);
  server.add_fault({server_fault_t::raw_reply, GET_COMMITS, 0, RPC_OK, {packet_frame(none)}});
  ui.clear();
  (void)popup_on_revision(window, 2, "Open commit...", "menu_open_commit_without_answer");
  QTest::qWait(20);
  EXPECT_EQ(find_form_widget_by_title("Commit #", true), nullptr);
  ASSERT_FALSE(log_lines().empty());
  EXPECT_EQ(log_lines().back(), "No single commit for \"//depot/a.txt#2\" (got 0)\n");

  server.add_fault({server_fault_t::raw_reply, GET_COMMITS, 0, RPC_OK, {fail_frame(22, "refused")}});
  ui.clear();
  (void)popup_on_revision(window, 3, "Open commit...", "menu_open_commit_refused");
  QTest::qWait(20);
  EXPECT_EQ(find_form_widget_by_title("Commit #", true), nullptr);
  bool reported = false;
  for ( const std::string &line : log_lines() )
    reported = reported || line.find("Failed to retrieve commit for \"//depot/a.txt#3\"") != std::string::npos;
  for ( const std::string &line : warnings() )
    reported = reported || line.find("Failed to retrieve commit for \"//depot/a.txt#3\"") != std::string::npos;
  EXPECT_TRUE(reported) << testing::PrintToString(log_lines());
  close_forms();
}

TEST(FileHistoryRows, TheHistoryRowsApplyToTheirViewsAndViewRevisionCarriesTheStateThreeBit)
{
  const struct
  {
    const char *name;
    const char *label;
    uint64_t kinds;
    uint64_t context_word;
    bool update;
  } rows[] = {
    {"file_history", "File history", 0xc7, 0x1, true},
    {"view_revision", "Open this revision", 0xc0, 0x100000001, false},
    {"diff_prev", "Diff against previous revision", 0xc3, 0x1, true},
  };
  for ( const auto &row : rows )
  {
    SCOPED_TRACE(row.name);
    ui_action_t *action = find_ui_action(row.name);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->qaction()->text().toStdString(), row.label);
    EXPECT_EQ(action->widget_kinds, row.kinds);
    EXPECT_EQ(action->context_word, row.context_word);
    EXPECT_EQ(action->refresh_mask, 0u);
  }
}

} // namespace
