// The check-out commands against the test server over TLS: when each applies, and the requests the server
// recorded for edit, delete, add, move/rename and copy.
#include "client/commands/checkout_commands.h"
#include "client/commands/worklist_choice.h"
#include "client/views/arkive_files_view.h"
#include "client/views/local_files_view.h"
#include "repo/packets_worklists.h"
#include "ui/ui_action_registry.h"
#include "tests/client/file_command_fixture.h"
#include "tests/ui/app/event_pump.h"
#include "ui/wait_box.h"

#include <QAction>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPushButton>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

using checkout_test_t = file_command_test_t;

constexpr uint32_t known_present = SEL_KNOWN | SEL_PRESENT;

TEST_F(checkout_test_t, each_command_applies_on_the_edge_cases_of_its_records)
{
  const selected_file_t folder = file_record("//depot/", SEL_FOLDER, -1, -3, -3);
  const selected_file_t free_file = file_record("//depot/a.txt", known_present | SEL_LATEST, -1, 1, 1);
  const selected_file_t opened = file_record("//depot/b.txt", known_present, 1, 1, 1);
  const selected_file_t unknown = file_record("//depot/new.txt", SEL_PRESENT);
  const selected_file_t old_revision = file_record("//depot/a.txt", known_present, -1, 1, 2);
  const selected_file_t deleted = file_record("//depot/gone.txt", SEL_KNOWN, -1, 2, 2, 2);
  const struct
  {
    const char *name;
    int kind;
    std::vector<selected_file_t> records;
    int32_t history_current;
    const char *action;
    int state;
  } rows[] = {
    {"a folder makes edit apply whatever else", akui_kind_arkive_files, {opened, folder}, -4, "checkout_for_edit", 3},
    {"only opened files: no edit", akui_kind_arkive_files, {opened, opened}, -4, "checkout_for_edit", 7},
    {"the first free file decides edit", akui_kind_local_files, {opened, free_file}, -4, "checkout_for_edit", 3},
    {"nothing selected: no edit", akui_kind_arkive_files, {}, -4, "checkout_for_edit", 7},
    {"history: the site's revision row", akui_kind_file_history, {file_record("//depot/a.txt", known_present, -1, 2, 3)},
     2, "checkout_for_edit", 3},
    {"history: another row", akui_kind_file_history, {file_record("//depot/a.txt", known_present, -1, 3, 3)}, 2,
     "checkout_for_edit", 7},
    {"history delete: the last row", akui_kind_file_history, {file_record("//depot/a.txt", known_present, -1, 3, 3)},
     2, "checkout_for_delete", 3},
    {"history delete: not the last row", akui_kind_file_history,
     {file_record("//depot/a.txt", known_present, -1, 2, 3)}, 2, "checkout_for_delete", 7},
    {"delete in a tree", akui_kind_arkive_files, {free_file}, -4, "checkout_for_delete", 3},
    {"add: only known files", akui_kind_local_files, {free_file, opened}, -4, "checkout_for_add", 7},
    {"add: an unknown file", akui_kind_local_files, {free_file, unknown}, -4, "checkout_for_add", 3},
    {"add: a folder", akui_kind_local_files, {folder}, -4, "checkout_for_add", 3},
    {"move: a free file at its last revision", akui_kind_arkive_files, {free_file}, -4, "checkout_for_move_rename", 3},
    {"move: not at the last revision", akui_kind_arkive_files, {old_revision}, -4, "checkout_for_move_rename", 7},
    {"move: opened", akui_kind_arkive_files, {opened}, -4, "checkout_for_move_rename", 7},
    {"move: deleted on the server", akui_kind_arkive_files, {deleted}, -4, "checkout_for_move_rename", 7},
    {"copy: opened and old revisions", akui_kind_arkive_files, {opened}, -4, "checkout_for_copy", 3},
    {"copy: deleted on the server", akui_kind_arkive_files, {deleted}, -4, "checkout_for_copy", 7},
    {"copy: unknown", akui_kind_local_files, {unknown}, -4, "checkout_for_copy", 7},
  };
  for ( const auto &row : rows )
  {
    SCOPED_TRACE(row.name);
    test_selection_view_t view(row.kind);
    view.selection = row.records;
    view.history_current = row.history_current;
    EXPECT_EQ(update(row.action, view), row.state);
  }
  EXPECT_TRUE(server.received().empty()) << "updates send nothing";

  // A widget that is no view of files disables them all.
  QWidget other;
  ui_action_update_ctx_t context;
  context.widget = &other;
  test_selection_view_t probe(akui_kind_arkive_files);
  EXPECT_EQ(update("checkout_for_edit", probe), 7);
}

TEST_F(checkout_test_t, edit_and_delete_send_the_selected_paths_with_number_1)
{
  test_selection_view_t view(akui_kind_arkive_files);
  view.selection = {file_record("//depot/a.txt", known_present), file_record("//depot/b.txt", known_present)};
  EXPECT_EQ(activate("checkout_for_edit", view), 1);
  EXPECT_EQ(view.asked_bits, std::vector<uint32_t>{WANT_PATH});
  auto edits = requests_of<path_list_packet_t>(EDIT_FILES);
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(strings_of(edits[0].paths), (std::vector<std::string>{"//depot/a.txt", "//depot/b.txt"}));
  EXPECT_EQ(edits[0].number, 1);
  EXPECT_EQ(log_lines(), (std::vector<std::string>{"ok\nok\n"})) << "the reply's messages are logged";

  server.clear_received();
  ui.clear();
  view.selection = {file_record("//depot/b.txt", known_present)};
  EXPECT_EQ(activate("checkout_for_delete", view), 1);
  auto deletes = requests_of<path_list_packet_t>(DEL_FILES);
  ASSERT_EQ(deletes.size(), 1u);
  EXPECT_EQ(strings_of(deletes[0].paths), std::vector<std::string>{"//depot/b.txt"});
  EXPECT_EQ(deletes[0].number, 1);
  EXPECT_EQ(log_lines().size(), 1u);
  EXPECT_NE(log_lines()[0].find("already checked out"), std::string::npos) << log_lines()[0];

  // Without a connection the failure is the disconnected line, and the command still counts as done.
  app().set_connection(nullptr);
  ui.clear();
  EXPECT_EQ(activate("checkout_for_edit", view), 1);
  ASSERT_EQ(log_lines().size(), 1u);
  EXPECT_EQ(log_lines()[0].rfind("Disconnected from the server: ", 0), 0u) << log_lines()[0];
}

TEST_F(checkout_test_t, add_expands_the_selection_and_reports_each_path)
{
  write_local(local("//depot/new one.txt"), "1");
  write_local(local("//depot/sub/two.txt"), "2");
  write_local(local("//depot/a.txt"), "alpha");
  test_selection_view_t view(akui_kind_local_files);
  view.selection = {file_record("//depot/", SEL_FOLDER)};
  EXPECT_EQ(activate("checkout_for_add", view), 1);
  auto adds = requests_of<path_list_packet_t>(ADD_FILES);
  ASSERT_EQ(adds.size(), 1u);
  std::vector<std::string> sent = strings_of(adds[0].paths);
  std::sort(sent.begin(), sent.end());
  EXPECT_EQ(sent, (std::vector<std::string>{"//depot/a.txt", "//depot/new one.txt", "//depot/sub/two.txt"}));
  EXPECT_EQ(adds[0].number, 1);
  std::vector<std::string> lines = log_lines();
  std::sort(lines.begin(), lines.end());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("Failed to add to arkive: ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("//depot/a.txt"), std::string::npos) << "the failing path is named: " << lines[0];
  EXPECT_EQ(lines[1], "ok added '//depot/new one.txt'\n");
  EXPECT_EQ(lines[2], "ok added '//depot/sub/two.txt'\n");

  // The known file alone: its failure, and nothing counts as added.
  ui.clear();
  view.selection = {file_record("//depot/b.txt", 0)};
  write_local(local("//depot/b.txt"), "beta");
  EXPECT_EQ(activate("checkout_for_add", view), 0);
}

void show_wait_box(const char *format, ...)
{
  va_list va;
  va_start(va, format);
  ASSERT_TRUE(client_session().app->push_wait_dialog_request(format, va, true));
  va_end(va);
}

TEST_F(checkout_test_t, add_sends_nothing_when_the_collection_is_cancelled)
{
  write_local(local("//depot/new.txt"), "1");
  test_selection_view_t view(akui_kind_local_files);
  view.selection = {file_record("//depot/", SEL_FOLDER)};
  // A wait box already up (an outer operation), and the user's click on its Cancel waiting in the queue: the
  // collection's poll takes the click in.
  show_wait_box("NODELAY\nOuter work");
  WaitDialog *box = app().wait_dialog();
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(pump_until([box] { return box->isVisible(); }));
  (void)_base_app_mixin_t::is_long_op_cancelled(); // the poll's clock runs from here
  QPushButton *cancel = box->cancel_button();
  const QPoint centre = cancel->rect().center();
  QCoreApplication::postEvent(cancel, new QMouseEvent(QEvent::MouseButtonPress, centre, cancel->mapToGlobal(centre),
                                                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(cancel, new QMouseEvent(QEvent::MouseButtonRelease, centre,
                                                      cancel->mapToGlobal(centre), Qt::LeftButton, Qt::NoButton,
                                                      Qt::NoModifier));
  std::this_thread::sleep_for(std::chrono::milliseconds(250)); // past the poll's throttle
  EXPECT_EQ(activate("checkout_for_add", view), 0);
  app().hide_wait_dialog();
  EXPECT_TRUE(requests_of<path_list_packet_t>(ADD_FILES).empty());
  ASSERT_FALSE(log_lines().empty());
  EXPECT_EQ(log_lines().back(), "The current operation was canceled\n");
}

// Plays the move/copy prompts: each answer is the text typed, or null for Cancel.
void play_prompts(recording_ui_callback_t &ui, std::vector<const char *> answers, std::vector<std::string> *shown)
{
  for ( const char *answer : answers )
    ui.script_form([answer, shown](const char *, va_list args) -> int64_t {
      const qstring *current = va_arg(args, qstring *);
      qstring *entered = va_arg(args, qstring *);
      shown->push_back(std::string(current->c_str()) + "|" + entered->c_str());
      if ( answer == nullptr )
        return -1;
      *entered = answer;
      return 1;
    });
}

TEST_F(checkout_test_t, move_rename_resolves_the_entered_name_against_the_current_path)
{
  const struct
  {
    const char *current;
    bool folder;
    const char *entered;
    const char *requested;
  } rows[] = {
    {"//d/a", false, "b", "//d/b"},
    {"//d/a", false, "/b", "//b"},
    {"//d/a", false, "//x/b", "//x/b"},
    {"//d/f/", true, "g", "//d/g/"},
    {"//a", false, "c", "//c"},
  };
  for ( const auto &row : rows )
  {
    SCOPED_TRACE(std::string(row.current) + " <- " + row.entered);
    EXPECT_EQ(str(new_arkive_path(row.current, row.folder, row.entered)), row.requested);
  }

  // Through the prompts: a rename, the same path (nothing sent, nothing said), then a move elsewhere.
  test_selection_view_t view(akui_kind_arkive_files);
  view.selection = {file_record("//depot/a.txt", known_present, -1, 1, 1),
                    file_record("//depot/b.txt", known_present, -1, 1, 1),
                    file_record("//depot/", SEL_FOLDER, -1, -3, -3)};
  std::vector<std::string> shown;
  play_prompts(ui, {"a2.txt", "//depot/b.txt", "/top"}, &shown);
  EXPECT_EQ(activate("checkout_for_move_rename", view), 1);
  EXPECT_EQ(shown, (std::vector<std::string>{"//depot/a.txt|//depot/a.txt", "//depot/b.txt|//depot/b.txt",
                                             "//depot/|//depot/"}));
  auto moves = requests_of<two_names_number_packet_t>(MOVE_FILES);
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(str(moves[0].name), "//depot/a.txt");
  EXPECT_EQ(str(moves[0].text), "//depot/a2.txt");
  EXPECT_EQ(moves[0].number, 1);
  EXPECT_EQ(str(moves[1].name), "//depot/");
  EXPECT_EQ(str(moves[1].text), "//top/");
  EXPECT_TRUE(warnings().empty());

  // Cancel at the second of three prompts ends the loop before the third.
  server.clear_received();
  shown.clear();
  play_prompts(ui, {"c1.txt", nullptr, "never.txt"}, &shown);
  view.selection = {file_record("//depot/b.txt", known_present, -1, 1, 1),
                    file_record("//depot/c.txt", known_present, -1, 1, 1),
                    file_record("//depot/d.txt", known_present, -1, 1, 1)};
  EXPECT_EQ(activate("checkout_for_move_rename", view), 1) << "the first move was done";
  EXPECT_EQ(shown.size(), 2u);
  EXPECT_EQ(requests_of<two_names_number_packet_t>(MOVE_FILES).size(), 1u);
}

TEST_F(checkout_test_t, copy_sends_the_revision_and_a_refusal_is_a_warning)
{
  test_selection_view_t view(akui_kind_arkive_files);
  view.selection = {file_record("//depot/a.txt", known_present, -1, 1, 1)};
  std::vector<std::string> shown;
  play_prompts(ui, {"copy.txt"}, &shown);
  EXPECT_EQ(activate("checkout_for_copy", view), 1);
  EXPECT_EQ(view.asked_bits, std::vector<uint32_t>{WANT_PATH | WANT_REVISIONS});
  auto copies = requests_of<copy_files_packet_t>(COPY_FILES);
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(str(copies[0].source), "//depot/a.txt");
  EXPECT_EQ(str(copies[0].destination), "//depot/copy.txt");
  EXPECT_EQ(copies[0].revision, 1);
  EXPECT_EQ(copies[0].worklist, 1);

  // Without a connection the move's failure is the disconnected line, never a box.
  app().set_connection(nullptr);
  ui.clear();
  play_prompts(ui, {"b2.txt"}, &shown);
  EXPECT_EQ(activate("checkout_for_move_rename", view), 0);
  EXPECT_TRUE(warnings().empty());
  ASSERT_EQ(log_lines().size(), 1u);
  EXPECT_EQ(log_lines()[0].rfind("Disconnected from the server", 0), 0u);
}

TEST_F(checkout_test_t, map_to_the_other_view_selects_the_first_path_there)
{
  test_selection_view_t local_files(akui_kind_local_files);
  local_files.selection = {file_record("//depot/a.txt", SEL_KNOWN), file_record("//depot/b.txt", SEL_KNOWN)};
  EXPECT_EQ(update("map_to_other_filesystem", local_files), 3);
  EXPECT_EQ(find_ui_action("map_to_other_filesystem")->qaction()->text().toStdString(), "Show in Arkive files");
  EXPECT_EQ(activate("map_to_other_filesystem", local_files), 1);
  // The Arkive files view was opened and shows the first path.
  arkive_files_dirtree_widget_t *arkive = find_arkive_files_widget();
  ASSERT_NE(arkive, nullptr);
  const std::unique_ptr<QWidget> arkive_host(find_arkive_files_host());
  dirtree_selection_t selected;
  arkive->collect_selection(nullptr, &selected, nullptr, 0, true);
  selected_files_t records;
  ASSERT_TRUE(arkive->collect_tree_files(&records, selected, WANT_PATH));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(str(records[0].path), "//depot/a.txt");

  test_selection_view_t arkive_files(akui_kind_arkive_files);
  arkive_files.selection = {file_record("//depot/", SEL_FOLDER)};
  EXPECT_EQ(update("map_to_other_filesystem", arkive_files), 3);
  EXPECT_EQ(find_ui_action("map_to_other_filesystem")->qaction()->text().toStdString(), "Show in Local files");
  EXPECT_EQ(activate("map_to_other_filesystem", arkive_files), 1);
  // The Local files view was opened too.
  ASSERT_NE(find_local_files_widget(), nullptr);
  const std::unique_ptr<QWidget> local_host(find_local_files_host());

  server.clear_received();
  test_selection_view_t history(akui_kind_file_history);
  history.selection = {file_record("//depot/a.txt", SEL_KNOWN)};
  EXPECT_EQ(activate("map_to_other_filesystem", history), 0) << "only between the two file views";
  EXPECT_TRUE(server.received().empty());
}

// The Worklists view's dialogs as a test plays them.
class scripted_worklist_chooser_t : public worklist_chooser_t
{
public:
  scripted_worklist_chooser_t() { install_worklist_chooser(this); }
  ~scripted_worklist_chooser_t() override { install_worklist_chooser(nullptr); }
  int32_t choose_worklist(int32_t left_out) override
  {
    left_out_asked.push_back(left_out);
    return choice;
  }
  int32_t ask_new_worklist() override { return new_number; }

  std::vector<int32_t> left_out_asked;
  int32_t choice = -1;
  int32_t new_number = -1;
};

TEST_F(checkout_test_t, migrate_leaves_out_the_common_worklist_and_sends_the_chosen_one)
{
  scripted_worklist_chooser_t chooser;
  const int32_t second = server.repository().add_worklist("alice", "ws", "second");
  const int32_t third = server.repository().add_worklist("alice", "ws", "third");
  qvector<qstring> both;
  both.push_back("//depot/a.txt");
  both.push_back("//depot/b.txt");
  ASSERT_EQ(app().facade.edit_files(both, 1), 0);
  server.clear_received();

  test_selection_view_t worklists(akui_kind_worklists);
  worklists.selection = {file_record("//depot/a.txt", SEL_KNOWN, 1), file_record("//depot/b.txt", SEL_KNOWN, 1)};
  EXPECT_EQ(update("migrate_file_to_worklist", worklists), 3);
  EXPECT_EQ(worklists.asked_bits.back(), WANT_WORKLIST | WANT_NO_FOLDERS);
  EXPECT_EQ(activate("migrate_file_to_worklist", worklists), 0) << "cancelled";
  EXPECT_TRUE(server.received().empty());
  chooser.choice = second;
  EXPECT_EQ(activate("migrate_file_to_worklist", worklists), 1);
  EXPECT_EQ(chooser.left_out_asked, (std::vector<int32_t>{1, 1}));
  auto migrations = requests_of<path_list_packet_t>(MIGRATE_FILES);
  ASSERT_EQ(migrations.size(), 1u);
  EXPECT_EQ(strings_of(migrations[0].paths), (std::vector<std::string>{"//depot/a.txt", "//depot/b.txt"}));
  EXPECT_EQ(migrations[0].number, second);

  // Files of two worklists: every worklist is offered; the "New worklist" row makes one.
  server.clear_received();
  worklists.selection = {file_record("//depot/a.txt", SEL_KNOWN, 1), file_record("//depot/b.txt", SEL_KNOWN, second)};
  chooser.choice = WORKLIST_CHOICE_NEW;
  chooser.new_number = third;
  EXPECT_EQ(activate("migrate_file_to_worklist", worklists), 1);
  EXPECT_EQ(chooser.left_out_asked.back(), -1);
  migrations = requests_of<path_list_packet_t>(MIGRATE_FILES);
  ASSERT_EQ(migrations.size(), 1u);
  EXPECT_EQ(migrations[0].number, third);

  worklists.selection = {file_record("//depot/c.txt", SEL_KNOWN)};
  EXPECT_EQ(update("migrate_file_to_worklist", worklists), 7) << "nothing opened";
}

TEST_F(checkout_test_t, deleting_local_files_removes_them_and_refuses_paths_leaving_the_root)
{
  write_local(local("//depot/x.txt"), "x");
  test_selection_view_t view(akui_kind_local_files);
  view.selection = {file_record("//depot/x.txt", 0), file_record("//depot/../../escape.txt", 0)};
  selected_files_t records;
  for ( const selected_file_t &file : view.selection )
    records.push_back(file);
  EXPECT_TRUE(delete_local_files(records));
  EXPECT_FALSE(std::filesystem::exists(local("//depot/x.txt")));
  EXPECT_EQ(log_lines(),
            std::vector<std::string>{"//depot/../../escape.txt: refused, outside the site's root directory\n"});
}

} // namespace
