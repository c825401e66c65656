// Conflict resolution against the test server over TLS: when each method applies, its question, the merges
// by a script and by the disassembler's stand-in, and that no outcome leaves a file "resolving".
#include "client/app/akui_main_window.h"
#include "client/views/conflict_resolution.h"
#include "repo/disassembler_commands.h"
#include "repo/packets_users.h"
#include "tests/client/file_command_fixture.h"
#include "tests/support/file_contents.h"
#include "tests/ui/app/event_pump.h"

#include <QAction>
#include <QMenu>

#include <filesystem>
#include <sstream>

namespace {

const char *const method_actions[] = {"resolve_auto",        "resolve_prefer_local", "resolve_prefer_remote",
                                      "resolve_interactive", "resolve_use_local",    "resolve_use_remote"};

class conflict_resolution_test_t : public file_command_test_t
{
protected:
  void SetUp() override
  {
    file_command_test_t::SetUp();
    record = scratch + "/record";
    merge_tool = write_tool_script(scratch, "merge", record, 0);
    failing_tool = write_tool_script(scratch, "failing-merge", record, 3);
    assocs.by_extension["txt"] = {merge_tool, "", "", {"%l %r %b", "%l %r %b", "%l %r %b", "%l %r %b"}};
  }
  void TearDown() override
  {
    EXPECT_TRUE(merges_in_progress().empty()) << "no outcome leaves a file resolving";
    merges_in_progress().clear();
    file_command_test_t::TearDown();
  }

  // Brings the site's files into the work directory, opens the file for edit with a local change and commits
  // a newer revision from elsewhere: the file needs a resolve.
  void make_conflict(const char *path, const char *remote_content)
  {
    ASSERT_EQ(app().facade.sync_files({}, -1, 5), 0);
    qvector<qstring> paths;
    paths.push_back(path);
    ASSERT_EQ(app().facade.edit_files(paths, 1), 0);
    write_local(local(path), "local change");
    server.repository().commit_files("bob", "elsewhere", "remote change", {{path, remote_content}});
    server.clear_received();
    ui.clear();
  }

  std::vector<std::string> resolved_paths() const
  {
    std::vector<std::string> paths;
    for ( const name_packet_t &packet : requests_of<name_packet_t>(RESOLVE_FILE) )
      paths.push_back(str(packet.name));
    return paths;
  }

  static std::vector<std::string> lines_of(const std::string &text)
  {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for ( std::string line; std::getline(in, line); )
      lines.push_back(line);
    return lines;
  }

  static selected_file_t conflicted(const char *path) { return file_record(path, SEL_KNOWN | SEL_NEEDS_RESOLVE, 1); }

  test_assoc_finder_t assocs;
  std::string record;
  std::string merge_tool;
  std::string failing_tool;
};

TEST_F(conflict_resolution_test_t, each_method_applies_to_files_that_need_a_resolve)
{
  test_selection_view_t view(akui_kind_arkive_files);
  const auto states = [&] {
    std::string out;
    for ( const char *action : method_actions )
      out += update(action, view) == 3 ? '+' : '-';
    return out;
  };
  view.selection = {file_record("//depot/a.txt", SEL_KNOWN), conflicted("//depot/b.txt")};
  EXPECT_EQ(states(), "++++++");
  EXPECT_EQ(view.asked_bits.back(), WANT_PATH | WANT_NEEDS_RESOLVE);
  view.selection = {file_record("//depot/a.txt", SEL_KNOWN | SEL_PRESENT, 1)};
  EXPECT_EQ(states(), "------") << "no file needs a resolve";
  view.selection = {conflicted("//depot/a.dat")};
  EXPECT_EQ(states(), "----++") << "no merge program for its extension";
  assocs.by_extension["*"] = {merge_tool, "", "", {"%l", "", "", ""}};
  EXPECT_EQ(states(), "++++++") << "the \"*\" association's program serves every method";

  view.selection = {conflicted("//depot/b.txt")};
  app().server_info.session.site = "";
  EXPECT_EQ(states(), "------") << "no local site";
  app().server_info.session.site = "ws";
  app().set_connection(nullptr);
  EXPECT_EQ(states(), "------") << "no connection";
}

TEST_F(conflict_resolution_test_t, every_method_but_the_interactive_merge_asks_first)
{
  test_selection_view_t view(akui_kind_local_files);
  view.selection = {conflicted("//depot/a.txt"), file_record("//depot/b.txt", SEL_KNOWN)};
  const char *const confirmations[] = {"SAFE AUTO MERGE", "AUTO MERGE, UPON CONFLICTS USE LOCAL FILE",
                                       "AUTO MERGE, UPON CONFLICTS USE REMOTE FILE", nullptr,
                                       "USE LOCAL FILE, DISCARD REMOTE FILE", "DISCARD LOCAL FILE, USE REMOTE FILE"};
  for ( int method = 1; method <= 6; ++method )
  {
    SCOPED_TRACE(method_actions[method - 1]);
    ui.clear();
    if ( method == 4 )
      assocs.by_extension["txt"].program = scratch + "/absent";
    ui.script(ui_code_question, 0);
    EXPECT_EQ(activate(method_actions[method - 1], view), 0);
    const std::vector<ui_request_record_t> asked = ui.requests_of(ui_code_question);
    if ( confirmations[method - 1] == nullptr )
    {
      ui.clear();
      EXPECT_TRUE(asked.empty());
      continue;
    }
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, std::string("HIDECANCEL\nDo you really want to resolve these files?\n"
                                         "The resolve method is:\n\n")
                               + confirmations[method - 1] + "\n\n//depot/a.txt\n");
    EXPECT_EQ(asked[0].default_answer, method == 1 ? 1 : 0);
  }
  ui.clear();
  EXPECT_TRUE(resolved_paths().empty());
}

TEST_F(conflict_resolution_test_t, a_plain_file_is_merged_by_its_program_and_resolved_when_it_exits_with_0)
{
  make_conflict("//depot/a.txt", "alpha remote");
  test_selection_view_t view(akui_kind_arkive_files);
  view.selection = {conflicted("//depot/a.txt")};
  EXPECT_EQ(activate("resolve_interactive", view), 0);
  EXPECT_TRUE(akui_app()->is_resolving("//depot/a.txt"));
  ASSERT_TRUE(pump_until([] { return merges_in_progress().empty(); }));
  const std::vector<std::string> lines = lines_of(read_file(record));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "arg:" + local("//depot/a.txt"));
  EXPECT_EQ(lines[1], "content:local change");
  EXPECT_EQ(lines[2].rfind("arg:" + copies + "/", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3], "content:alpha remote");
  EXPECT_EQ(lines[4].rfind("arg:" + copies + "/", 0), 0u) << lines[4];
  EXPECT_EQ(lines[5], "content:alpha");
  EXPECT_EQ(resolved_paths(), std::vector<std::string>{"//depot/a.txt"});
  EXPECT_EQ(log_lines().back(), "Successfully resolved //depot/a.txt\n");
  EXPECT_EQ(leftover_copies(), std::vector<std::string>{});
  EXPECT_EQ(read_file(local("//depot/a.txt")), "local change") << "the working file stays";
}

TEST_F(conflict_resolution_test_t, a_failing_merge_program_leaves_the_file_unresolved_with_code_48)
{
  make_conflict("//depot/a.txt", "alpha remote");
  assocs.by_extension["txt"].program = failing_tool;
  test_selection_view_t view(akui_kind_arkive_files);
  view.selection = {conflicted("//depot/a.txt")};
  ui.script(ui_code_question, 1);
  EXPECT_EQ(activate("resolve_prefer_local", view), 0);
  ASSERT_TRUE(pump_until([] { return merges_in_progress().empty(); }));
  EXPECT_TRUE(resolved_paths().empty());
  ASSERT_FALSE(log_lines().empty());
  EXPECT_EQ(log_lines().back(), "Failed to merge: warning: must resolve before committing //depot/a.txt\n");
  EXPECT_EQ(leftover_copies(), std::vector<std::string>{});
}

TEST_F(conflict_resolution_test_t, a_second_resolve_of_a_running_one_is_refused_and_the_others_go_on)
{
  make_conflict("//depot/a.txt", "alpha remote");
  merges_in_progress().push_back("//depot/b.txt");
  selected_files_t files;
  files.push_back(conflicted("//depot/b.txt"));
  files.push_back(conflicted("//depot/a.txt"));
  resolve_selected_files(files, 5);
  EXPECT_EQ(log_lines().front(), "//depot/b.txt: already resolving\n");
  EXPECT_EQ(log_lines().back(), "Successfully resolved //depot/a.txt\n");
  EXPECT_EQ(resolved_paths(), std::vector<std::string>{"//depot/a.txt"});
  EXPECT_EQ(strings_of(merges_in_progress()), std::vector<std::string>{"//depot/b.txt"});
  merge_finished(0, "//depot/b.txt");
}

TEST_F(conflict_resolution_test_t, a_database_is_merged_by_the_disassembler_and_resolved_on_the_server)
{
  const std::unique_ptr<disassembler_standin_t> standin = start_standin();
  server.repository().commit_files("alice", "ws", "db", {{"//depot/m.zdb", "base"}});
  make_conflict("//depot/m.zdb", "remote");
  write_local(local("//depot/m.zdb"), "base");
  assocs.by_extension["zdb"] = {"zuk", "", "", {default_merge_arguments(1).c_str(), "", "", ""}};
  test_selection_view_t view(akui_kind_local_files);
  view.selection = {conflicted("//depot/m.zdb")};
  ui.script(ui_code_question, 1);
  EXPECT_EQ(activate("resolve_auto", view), 0);
  ASSERT_TRUE(pump_until([] { return merges_in_progress().empty(); }));
  EXPECT_EQ(standin->runs().size(), 1u);
  EXPECT_EQ(resolved_paths(), std::vector<std::string>{"//depot/m.zdb"});
  EXPECT_EQ(log_lines().back(), "Successfully resolved //depot/m.zdb\n");
  EXPECT_EQ(read_file(local("//depot/m.zdb")), "remote") << "the unchanged local side takes the remote one";
}

TEST_F(conflict_resolution_test_t, every_resolve_that_cannot_run_is_finished_at_once)
{
  make_conflict("//depot/a.txt", "alpha remote");
  selected_files_t database;
  database.push_back(conflicted("//depot/m.zdb"));

  // A database without a merge association, or with no arguments for the method.
  resolve_selected_files(database, 1);
  EXPECT_EQ(log_lines(), std::vector<std::string>{"Cannot find a MERGE association for //depot/m.zdb"});
  assocs.by_extension["zdb"] = {"zuk", "", "", {"", "", "", ""}};
  resolve_selected_files(database, 2);
  EXPECT_EQ(warnings(), std::vector<std::string>{"Cannot merge because there are no arguments.\n\nYou can reset the "
                                                 "arguments \nin View>Options>File extension associations"});
  EXPECT_TRUE(merges_in_progress().empty());

  // A merge program that cannot start, and a file the server cannot fetch: reported, finished, no copy left.
  ui.clear();
  assocs.by_extension["txt"].program = scratch + "/absent";
  selected_files_t plain;
  plain.push_back(conflicted("//depot/a.txt"));
  resolve_selected_files(plain, 4);
  EXPECT_TRUE(merges_in_progress().empty());
  plain[0].path = "//depot/nothing.txt";
  resolve_selected_files(plain, 4);
  EXPECT_TRUE(merges_in_progress().empty());
  ASSERT_EQ(warnings().size(), 2u);
  EXPECT_EQ(warnings()[0].rfind("Unable to launch process: ", 0), 0u) << warnings()[0];
  EXPECT_EQ(warnings()[1].rfind("Base path (current revision):\n", 0), 0u) << warnings()[1];
  EXPECT_EQ(leftover_copies(), std::vector<std::string>{});

  // The core refuses a path before it calls the handler.
  ui.clear();
  plain[0].path = "//depot//bad.txt";
  resolve_selected_files(plain, 5);
  EXPECT_TRUE(merges_in_progress().empty());
  ASSERT_EQ(log_lines().size(), 1u);
  EXPECT_EQ(log_lines()[0].rfind("Failed to merge: ", 0), 0u) << log_lines()[0];
  EXPECT_TRUE(resolved_paths().empty());
}

TEST(ConflictResolutionMenu, TheResolveMenuHoldsTheSixMethods)
{
  QMenu *menu = client_session().window->find_named_menu("Resolve");
  ASSERT_NE(menu, nullptr);
  std::vector<std::string> texts;
  for ( QAction *action : menu->actions() )
    texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
  EXPECT_EQ(texts, (std::vector<std::string>{"Auto resolve (if no conflicts)...", "Auto resolve, prefer local...",
                                             "Auto resolve, prefer remote...", "Interactive merge", "-",
                                             "Use local, discard remote...", "Use remote, discard local..."}));
}

} // namespace
