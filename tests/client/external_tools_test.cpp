// Diff, open and the external tools against the test server over TLS: the programs associated with the
// files' extensions get the right copies as one argument each, the copies go when the tool ends or anything
// fails, databases go through the disassembler's stand-in, and every refusal is reported.
#include "client/commands/external_tools.h"
#include "core/form_actions.h"
#include "repo/disassembler_commands.h"
#include "tests/client/file_command_fixture.h"
#include "tests/support/file_contents.h"
#include "tests/ui/app/event_pump.h"

#include <QDesktopServices>
#include <QUrl>

#include <filesystem>

namespace {

using namespace std::chrono_literals;

class external_tools_test_t : public file_command_test_t
{
protected:
  void SetUp() override
  {
    file_command_test_t::SetUp();
    record = scratch + "/record";
    tool = write_tool_script(scratch, "tool", record, 0);
    assocs.by_extension["txt"] = {tool, "-view", "%l %r", {}};
  }

  // The tool's record once it has ended and the copies are gone (a test failure when that takes too long).
  std::vector<std::string> tool_record()
  {
    EXPECT_TRUE(pump_until([this] { return std::filesystem::exists(record) && leftover_copies().empty(); }));
    std::vector<std::string> lines;
    std::istringstream in(read_file(record));
    for ( std::string line; std::getline(in, line); )
      lines.push_back(line);
    std::filesystem::remove(record);
    return lines;
  }

  // Brings the files of the site into the work directory.
  void sync_all()
  {
    ASSERT_EQ(app().facade.sync_files({}, -1, 5), 0);
    ui.clear();
  }

  test_assoc_finder_t assocs;
  std::string record;
  std::string tool;
};

TEST_F(external_tools_test_t, diff_against_the_local_file_compares_a_copy_of_the_sites_revision_with_the_working_file)
{
  sync_all();
  test_selection_view_t view(akui_kind_arkive_files);
  view.selection = {file_record("//depot/a.txt", SEL_KNOWN | SEL_PRESENT, 1)};
  EXPECT_EQ(update("diff_arkive_local", view), 3);
  write_local(local("//depot/a.txt"), "alpha edited");
  EXPECT_EQ(activate("diff_arkive_local", view), 1);
  const std::vector<std::string> lines = tool_record();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind("arg:" + copies + "/", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], "content:alpha");
  EXPECT_EQ(lines[2], "arg:" + local("//depot/a.txt"));
  EXPECT_EQ(lines[3], "content:alpha edited");
  EXPECT_EQ(read_file(local("//depot/a.txt")), "alpha edited") << "the working file is never removed";

  const struct
  {
    const char *name;
    selected_file_t record;
  } disabled[] = {
    {"not opened", file_record("//depot/a.txt", SEL_KNOWN | SEL_PRESENT)},
    {"not present", file_record("//depot/a.txt", SEL_KNOWN, 1)},
    {"no diff association", file_record("//depot/a.dat", SEL_KNOWN | SEL_PRESENT, 1)},
  };
  for ( const auto &row : disabled )
  {
    SCOPED_TRACE(row.name);
    view.selection = {row.record};
    EXPECT_EQ(update("diff_arkive_local", view), 7);
  }
  view.selection = {file_record("//depot/a.txt", SEL_KNOWN | SEL_PRESENT, 1), file_record("//depot/b.txt", 0, 1)};
  EXPECT_EQ(update("diff_arkive_local", view), 7) << "exactly one file";
}

TEST_F(external_tools_test_t, a_template_without_percent_gets_the_quoted_left_copy_only)
{
  sync_all();
  assocs.by_extension["txt"].diff_args = "--side-by-side";
  test_selection_view_t view(akui_kind_arkive_files);
  view.selection = {file_record("//depot/a.txt", SEL_KNOWN | SEL_PRESENT, 1)};
  EXPECT_EQ(activate("diff_arkive_local", view), 1);
  const std::vector<std::string> lines = tool_record();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "arg:--side-by-side");
  EXPECT_EQ(lines[2], "content:alpha");
  EXPECT_EQ(leftover_copies(), std::vector<std::string>{}) << "the right copy (the working file) stays, the left goes";
}

TEST_F(external_tools_test_t, names_with_blanks_quotes_dollars_backslashes_and_letters_reach_the_tool_whole)
{
  const std::string folder = scratch + "/odd names";
  std::filesystem::create_directories(folder);
  for ( const std::string name : {"two  blanks.txt", "it's \"quoted\".txt", "$HOME and $(x).txt",
                                  "back\\slash\\\\.txt", "gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC.txt", "trailing\\"} )
  {
    SCOPED_TRACE(name);
    const std::string path = folder + "/" + name;
    write_file(path, "x");
    external_launch_t launch;
    launch.kind = file_assoc_view;
    launch.left = path.c_str();
    assocs.by_extension = {{"*", {tool, "%l", "", {}}}};
    ASSERT_TRUE(launch_external_process(std::move(launch)));
    EXPECT_EQ(tool_record(), (std::vector<std::string>{"arg:" + path, "content:x"}));
    EXPECT_TRUE(std::filesystem::exists(path)) << "a file the launch was not told to delete stays";
  }
}

TEST_F(external_tools_test_t, diff_against_follows_its_form_and_remembers_the_right_side)
{
  server.repository().commit_files("bob", "elsewhere", "second", {{"//depot/a.txt", "alpha 2"}});
  test_selection_view_t view(akui_kind_file_history);
  view.selection = {file_record("//depot/a.txt", SEL_KNOWN | SEL_PRESENT, -1, 2, 2)};
  EXPECT_EQ(update("diff_any", view), 3);
  std::vector<std::string> shown;
  ui.script_form([&shown](const char *, va_list args) -> int64_t {
    va_arg(args, void *);
    const int32_t site_revision = *va_arg(args, int32_t *);
    qstring *left_path = va_arg(args, qstring *);
    int64_t *left_revision = va_arg(args, int64_t *);
    uint16_t *left_choice = va_arg(args, uint16_t *);
    va_arg(args, qstring *);
    int64_t *right_revision = va_arg(args, int64_t *);
    uint16_t *right_choice = va_arg(args, uint16_t *);
    shown.push_back(std::to_string(site_revision) + " " + str(*left_path) + "#" + std::to_string(*left_revision) + " "
                    + std::to_string(*left_choice) + " " + std::to_string(*right_choice));
    *right_choice = 1;
    *right_revision = 1;
    return 1;
  });
  EXPECT_EQ(activate("diff_any", view), 1);
  EXPECT_EQ(shown, std::vector<std::string>{"1 //depot/a.txt#2 1 2"}) << "left: the row's revision, not the site's";
  EXPECT_EQ(log_lines().back(), "Comparing //depot/a.txt#2 vs. //depot/a.txt#1\n");
  const std::vector<std::string> lines = tool_record();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "content:alpha 2");
  EXPECT_EQ(lines[3], "content:alpha");

  // The next form proposes the remembered right side.
  ui.script_form([&shown](const char *, va_list args) -> int64_t {
    for ( int i = 0; i < 6; ++i )
      va_arg(args, void *);
    const int64_t right_revision = *va_arg(args, int64_t *);
    const uint16_t right_choice = *va_arg(args, uint16_t *);
    shown.push_back("right #" + std::to_string(right_revision) + " " + std::to_string(right_choice));
    return -1;
  });
  EXPECT_EQ(activate("diff_any", view), 0);
  EXPECT_EQ(shown.back(), "right #1 1");
  EXPECT_FALSE(std::filesystem::exists(record)) << "cancelled: no tool";

  // A file the server has no record of: reported, no form.
  ui.clear();
  view.selection = {file_record("//depot/none.txt", SEL_KNOWN, -1, 1, 1)};
  EXPECT_EQ(activate("diff_any", view), 0);
  EXPECT_EQ(warnings(), std::vector<std::string>{"The server has no record of //depot/none.txt."});
  EXPECT_TRUE(ui.requests_of(ui_code_form_dialog).empty());

  view.selection = {file_record("//depot/", SEL_FOLDER, -1, -3, -3)};
  EXPECT_EQ(update("diff_any", view), 7);
  view.selection = {file_record("//depot/new.txt", 0)};
  EXPECT_EQ(update("diff_any", view), 7) << "no revision on the server";
}

// The engine's side of an open "Diff against..." form, with the fields' values.
class diff_form_t : public form_actions_t
{
public:
  bool read_field_value(int id, void *out) override
  {
    switch ( id )
    {
      case 1: *static_cast<qstring *>(out) = left_path; return true;
      case 2: *static_cast<int64_t *>(out) = left_revision; return true;
      case 3: *static_cast<uint16_t *>(out) = left_choice; return true;
      case 4: *static_cast<qstring *>(out) = right_path; return true;
      case 5: *static_cast<int64_t *>(out) = right_revision; return true;
      case 6: *static_cast<uint16_t *>(out) = right_choice; return true;
      default: return false;
    }
  }
  bool write_field_value(int, const void *) override { return false; }
  bool enable_field(int id, bool enable) override
  {
    enabled[id] = enable;
    return true;
  }
  bool show_field(int, bool) override { return true; }
  int null_query() override { return 0; }
  int focused_field_id() override { return -1; }
  bool focus_field(int) override { return false; }
  void reload_field(int) override {}
  void close_form(bool) override {}
  void *caller_data() override { return &site_revision; }
  bool read_field_value_typed(int, void *, size_t) override { return false; }
  bool switch_dialog_button(int, bool) override { return false; }
  bool dialog_button_enabled(int) override { return true; }
  QWidget *field_widget(int, qvector<qstring> *) override { return nullptr; }
  bool set_field_label(int, const qstring &) override { return false; }
  bool set_tab_state(int, int, int, const bool *) override { return false; }
  bool tab_state(bool *, int, int, int) override { return false; }

  qstring left_path = "//depot/a.txt";
  qstring right_path = "//depot/a.txt";
  int64_t left_revision = 2;
  int64_t right_revision = 2;
  uint16_t left_choice = 0;
  uint16_t right_choice = 0;
  int32_t site_revision = 1;
  std::map<int, bool> enabled;
};

TEST_F(external_tools_test_t, the_diff_against_form_enables_the_revision_fields_and_refuses_what_compares_nothing)
{
  diff_form_t form;
  form.left_choice = 1;
  form.right_choice = 2;
  EXPECT_EQ(diff_any_form_callback(form_code_ready, form), 1);
  EXPECT_EQ(form.enabled, (std::map<int, bool>{{2, true}, {5, false}}));
  form.right_choice = 1;
  EXPECT_EQ(diff_any_form_callback(6, form), 1);
  EXPECT_TRUE(form.enabled[5]);

  const struct
  {
    const char *name;
    uint16_t left, right;
    int64_t left_revision, right_revision;
    int32_t site_revision;
    const char *warning; // null: the form closes
  } rows[] = {
    {"both current", 0, 0, 2, 2, 1, "Please choose two different options to compare."},
    {"current against the same specific", 0, 1, 2, 1, 1, "Please choose two different options to compare."},
    {"current against local", 0, 2, 2, 2, 1, nullptr},
    {"local against local", 2, 2, 2, 2, 1, "Please choose two different options to compare."},
    {"two specific revisions", 1, 1, 2, 1, 1, nullptr},
    {"no current revision", 0, 2, 2, 2, 0, "There is no current revision of this file."},
    {"specific revision 0", 1, 2, 0, 2, 1, "There is no current revision of this file."},
  };
  for ( const auto &row : rows )
  {
    SCOPED_TRACE(row.name);
    ui.clear();
    form.left_choice = row.left;
    form.right_choice = row.right;
    form.left_revision = row.left_revision;
    form.right_revision = row.right_revision;
    form.site_revision = row.site_revision;
    EXPECT_EQ(diff_any_form_callback(form_code_yes, form), row.warning == nullptr ? 1 : 0);
    EXPECT_EQ(warnings(), row.warning == nullptr ? std::vector<std::string>{}
                                                 : std::vector<std::string>{row.warning});
  }
  form.right_path = "//depot/b.txt";
  form.left_choice = form.right_choice = 0;
  EXPECT_EQ(diff_any_form_callback(form_code_yes, form), 1) << "the same option of two paths";
  EXPECT_EQ(diff_any_form_callback(form_code_cancel, form), 1);
}

TEST_F(external_tools_test_t, refusals_are_reported_and_leave_no_copy)
{
  sync_all();
  // The second fetch fails: the first copy goes too.
  EXPECT_FALSE(diff_by_association("//depot/a.txt", 1, "//depot/missing.txt", 1));
  ASSERT_EQ(warnings().size(), 1u);
  EXPECT_EQ(warnings()[0].rfind("Path #2:\n", 0), 0u) << warnings()[0];
  EXPECT_EQ(leftover_copies(), std::vector<std::string>{});

  // The program cannot be started: the warning, and both copies go.
  ui.clear();
  assocs.by_extension["txt"].program = scratch + "/no such tool";
  EXPECT_FALSE(diff_by_association("//depot/a.txt", 1, "//depot/b.txt", 1));
  ASSERT_EQ(warnings().size(), 1u);
  EXPECT_EQ(warnings()[0].rfind("Unable to launch process: " + scratch + "/no such tool, with arguments: ", 0), 0u)
    << warnings()[0];
  EXPECT_EQ(leftover_copies(), std::vector<std::string>{});

  // No association: named by the extension, or by the whole path without one.
  ui.clear();
  assocs.by_extension.clear();
  EXPECT_FALSE(diff_by_association("//depot/a.txt", 1, "//depot/b.txt", 1));
  write_local(local("//depot/README"), "r");
  test_selection_view_t view(akui_kind_local_files);
  view.selection = {file_record("//depot/README", 0)};
  EXPECT_EQ(activate("open_file", view), 0);
  EXPECT_EQ(warnings(),
            (std::vector<std::string>{
              "No application is defined for 'txt' files.\nPlease add it in View, Options, File associatations",
              "No application is defined for '" + local("//depot/README")
                + "' files.\nPlease add it in View, Options, File associatations"}));
  EXPECT_EQ(leftover_copies(), std::vector<std::string>{});

  // Databases: one against a text file, and two without a diff association.
  ui.clear();
  EXPECT_FALSE(diff_by_association("//depot/m.zdb", 1, "//depot/a.txt", 1));
  EXPECT_FALSE(diff_by_association("//depot/m.zdb", 1, "//depot/m.zdb", -4));
  EXPECT_EQ(warnings(), (std::vector<std::string>{"Cannot compare database to non-database",
                                                  "Cannot find a DIFF association for this file extension"}));
}

TEST_F(external_tools_test_t, databases_are_compared_by_the_disassembler)
{
  const std::unique_ptr<disassembler_standin_t> standin = start_standin();
  server.repository().commit_files("bob", "elsewhere", "db", {{"//depot/m.zdb", "v1"}});
  server.repository().commit_files("bob", "elsewhere", "db", {{"//depot/m.zdb", "v2"}});
  // The association's template: the default options, so that the disassembler removes the copies.
  assocs.by_extension["zdb"] = {"zuk", "", default_diff_arguments().c_str(), {}};
  EXPECT_TRUE(diff_by_association("//depot/m.zdb", 1, "//depot/m.zdb", 2));
  const std::vector<standin_run_t> runs = standin->wait_for_runs(1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].program, "zuk");
  const std::vector<std::string> &args = runs[0].args;
  EXPECT_NE(std::find(args.begin(), args.end(), "-MTL//depot/m.zdb#1"), args.end());
  EXPECT_NE(std::find(args.begin(), args.end(), "-MTR//depot/m.zdb#2"), args.end());
  EXPECT_TRUE(pump_until([this] { return leftover_copies().empty(); })) << testing::PrintToString(leftover_copies());
  EXPECT_TRUE(warnings().empty());
}

TEST_F(external_tools_test_t, open_launches_the_viewer_and_logs_a_missing_file)
{
  sync_all();
  test_selection_view_t view(akui_kind_local_files);
  view.selection = {file_record("//depot/a.txt", SEL_KNOWN | SEL_PRESENT), file_record("//depot/gone.txt", 0)};
  EXPECT_EQ(update("open_file", view), 3);
  EXPECT_EQ(activate("open_file", view), 0);
  EXPECT_EQ(tool_record(), (std::vector<std::string>{"arg:-view", "arg:" + local("//depot/a.txt"), "content:alpha"}));
  EXPECT_EQ(log_lines(),
            std::vector<std::string>{"can't open file: " + local("//depot/gone.txt") + " doesn't exist\n"});
  view.selection.clear();
  EXPECT_EQ(update("open_file", view), 7);
}

// Receives the URLs the desktop would open.
class url_catcher_t : public QObject
{
  Q_OBJECT

public:
  url_catcher_t() { QDesktopServices::setUrlHandler("file", this, "open"); }
  ~url_catcher_t() override { QDesktopServices::unsetUrlHandler("file"); }
  std::vector<std::string> opened;

public slots:
  void open(const QUrl &url) { opened.push_back(url.toLocalFile().toStdString()); }
};

TEST_F(external_tools_test_t, the_containing_folder_and_the_manual_open_through_the_desktop)
{
  url_catcher_t catcher;
  sync_all();
  test_selection_view_t view(akui_kind_local_files);
  view.selection = {file_record("//depot/a.txt", SEL_KNOWN | SEL_PRESENT), file_record("//nowhere/x.txt", 0)};
  EXPECT_EQ(update("open_containing_folder", view), 3);
  EXPECT_EQ(activate("open_containing_folder", view), 0);
  EXPECT_EQ(catcher.opened, std::vector<std::string>{site_root + "/depot"});
  EXPECT_EQ(log_lines(), std::vector<std::string>{"Ignoring " + site_root + "/nowhere (not a directory)\n"});
  view.selection = {file_record("//depot/b.txt", SEL_KNOWN)};
  EXPECT_EQ(update("open_containing_folder", view), 7) << "known but not on the site";

  catcher.opened.clear();
  EXPECT_EQ(activate("open_manual", view), 1);
  ASSERT_EQ(catcher.opened.size(), 1u);
  EXPECT_EQ(std::filesystem::path(catcher.opened[0]).filename(), "akui_user_manual.pdf");
}

} // namespace

#include "external_tools_test.moc"
