// File-extension associations: their storage, defaults, lookup and the add and edit forms.
#include "client/app/akui_app.h"
#include "client/views/file_assocs.h"
#include "core/directories.h"
#include "core/registry.h"
#include "tests/client/client_session.h"
#include "tests/repo/test_server_client.h"
#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

akui_app_t &app()
{
  return *client_session().app;
}

std::string str(const qstring &s)
{
  return std::string(s.c_str(), s.size());
}

file_assoc_t assoc(const char *ext, const char *view, const char *view_args = "", const char *diff = "",
                   const char *merge = "")
{
  file_assoc_t record;
  record.ext = ext;
  record.view = view;
  record.view_args = view_args;
  record.diff = diff;
  record.diff_args = "-d %l %r";
  record.merge = merge;
  record.merge_args_auto = "auto %b";
  record.merge_args_plocal = "local";
  record.merge_args_premote = "remote";
  record.merge_args_manual = "manual %l";
  return record;
}

std::vector<std::string> exts(const file_assoc_list_t &list)
{
  std::vector<std::string> out;
  for ( const file_assoc_t &record : list )
    out.push_back(str(record.ext));
  return out;
}

void write_stored(const char *name, const char *ext, const char *view)
{
  const std::string subkey = std::string(file_assocs_key) + "\\" + name;
  registry_write_text("ext", subkey.c_str(), ext);
  if ( view != nullptr )
    registry_write_text("view", subkey.c_str(), view);
}

class FileAssocs : public test_server_fixture_t
{
protected:
  void SetUp() override
  {
    test_server_fixture_t::SetUp();
    app().set_connection(nullptr);
    (void)registry_remove_tree(file_assocs_key);
    app().file_assocs.clear();
  }
  void TearDown() override
  {
    app().set_connection(nullptr);
    (void)registry_remove_tree(file_assocs_key);
    app().file_assocs.clear();
  }
};

TEST_F(FileAssocs, SubkeysLoadInNumericOrderWhateverTheirNames)
{
  // Stored out of order, with names that are no numbers, negative or beyond 32 bits.
  const char *names[][2] = {{"11", "eleven"}, {"2", "two"},          {"0", "zero"},         {"10", "ten"},
                            {"1", "one"},     {"-3", "minus three"}, {"99999999999", "huge"}, {"x", "word"},
                            {"4", "four"},    {"3", "three"},        {"5", "five"},         {"6", "six"},
                            {"7", "seven"},   {"8", "eight"},        {"9", "nine"}};
  for ( const auto &[name, ext] : names )
    write_stored(name, ext, name[0] == '7' ? nullptr : "/usr/bin/viewer");
  app().file_assocs = {assoc("old", "/bin/old")};
  ASSERT_TRUE(load_file_assocs());
  const std::vector<std::string> got = exts(app().file_assocs);
  ASSERT_EQ(got.size(), 15u);
  EXPECT_EQ(got.front(), "minus three");
  // "x" counts as 0: beside "0", in no defined order between them.
  EXPECT_TRUE((got[1] == "zero" && got[2] == "word") || (got[1] == "word" && got[2] == "zero"));
  EXPECT_EQ(std::vector<std::string>(got.begin() + 3, got.end()),
            (std::vector<std::string> {"one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten",
                                       "eleven", "huge"}));
  // A missing value is an empty field.
  const file_assoc_t *seven = find_file_assoc(app().file_assocs, "seven");
  ASSERT_NE(seven, nullptr);
  EXPECT_EQ(str(seven->view), "");
  EXPECT_EQ(str(seven->merge_args_manual), "");
  EXPECT_EQ(str(find_file_assoc(app().file_assocs, "two")->view), "/usr/bin/viewer");
}

TEST_F(FileAssocs, NothingStoredLeavesTheListAlone)
{
  app().file_assocs = {assoc("kept", "/bin/kept")};
  EXPECT_FALSE(load_file_assocs());
  (void)registry_int("stray", true, 1, file_assocs_key); // a key with values but no subkeys
  EXPECT_FALSE(load_file_assocs());
  EXPECT_EQ(exts(app().file_assocs), (std::vector<std::string> {"kept"}));
}

TEST_F(FileAssocs, SaveWritesEveryFieldAndLoadReadsThemBack)
{
  const file_assoc_list_t list = {assoc("txt", "/usr/bin/less", "-R", "/usr/bin/diff", "/usr/bin/merge"),
                                  assoc("", "/usr/bin/empty-ext")};
  save_file_assocs(list);
  EXPECT_EQ(exts(app().file_assocs), (std::vector<std::string> {"txt", ""}));
  qvector<qstring> subkeys;
  ASSERT_TRUE(registry_list_names(&subkeys, file_assocs_key, true));
  EXPECT_EQ(subkeys.size(), 2u);
  qvector<qstring> values;
  ASSERT_TRUE(registry_list_names(&values, (std::string(file_assocs_key) + "\\1").c_str(), false));
  EXPECT_EQ(values.size(), file_assoc_t::field_count);

  app().file_assocs.clear();
  ASSERT_TRUE(load_file_assocs());
  ASSERT_EQ(app().file_assocs.size(), 2u);
  for ( size_t f = 0; f < file_assoc_t::field_count; ++f )
  {
    SCOPED_TRACE(file_assoc_t::field_names[f]);
    EXPECT_EQ(str(*app().file_assocs[0].field(f)), str(*list[0].field(f)));
    EXPECT_EQ(str(*app().file_assocs[1].field(f)), str(*list[1].field(f)));
  }
  // A shorter list leaves no record of the longer one behind.
  save_file_assocs({assoc("one", "/bin/one")});
  app().file_assocs.clear();
  ASSERT_TRUE(load_file_assocs());
  EXPECT_EQ(exts(app().file_assocs), (std::vector<std::string> {"one"}));
}

TEST_F(FileAssocs, DefaultsNeedAConnection)
{
  file_assoc_list_t list = {assoc("old", "/bin/old")};
  set_default_file_assocs(&list);
  EXPECT_TRUE(list.empty());

  app().set_connection(connect_alice());
  ASSERT_TRUE(app().has_usable_connection());
  set_default_file_assocs(&list);
  ASSERT_EQ(exts(list), (std::vector<std::string> {"zdb", "z64", "*"}));
  EXPECT_EQ(str(list[0].view), "%I/zuk");
  EXPECT_EQ(str(list[0].merge), "%I/zuk");
  EXPECT_EQ(str(list[1].diff), "%I/zuk64");
  EXPECT_EQ(str(list[1].diff_args), "-Omerge:policy=diff:delete_local=%<:delete_remote=%>:batch=off -MTL%[ -MTR%] -MR%r %l");
  EXPECT_EQ(str(list[1].merge_args_auto), "-A -Omerge:save:policy=postpone:batch=on -MB%b -MR%r %l");
  EXPECT_EQ(str(list[1].merge_args_plocal), "-A -Omerge:save:policy=local:batch=on -MB%b -MR%r %l");
  EXPECT_EQ(str(list[1].merge_args_premote), "-A -Omerge:save:policy=remote:batch=on -MB%b -MR%r %l");
  EXPECT_EQ(str(list[1].merge_args_manual), "-Omerge:save:policy=postpone:batch=off -MB%b -MR%r %l");
  EXPECT_EQ(str(list[2].view), "%I/zuk64");
  EXPECT_EQ(str(list[2].diff), "");
  EXPECT_EQ(str(list[2].merge), "");
  EXPECT_EQ(str(list[2].view_args), "");
}

TEST_F(FileAssocs, AnEmptyListIsReplacedByTheDefaultsAtTheNextStart)
{
  app().set_connection(connect_alice());
  save_file_assocs({});
  qvector<qstring> subkeys;
  EXPECT_FALSE(registry_list_names(&subkeys, file_assocs_key, true));
  EXPECT_TRUE(app().file_assocs.empty());
  load_or_store_default_file_assocs();
  EXPECT_EQ(exts(app().file_assocs), (std::vector<std::string> {"zdb", "z64", "*"}));
  app().file_assocs.clear();
  ASSERT_TRUE(load_file_assocs());
  EXPECT_EQ(exts(app().file_assocs), (std::vector<std::string> {"zdb", "z64", "*"}));
}

TEST_F(FileAssocs, LookupByTheLastExtensionWithTheFallback)
{
  app().file_assocs = {assoc("gz", "/usr/bin/zless", "", "/usr/bin/zdiff"), assoc("*", "/usr/bin/xdg-open"),
                       assoc("", "/usr/bin/plain")};
  file_assoc_command_t command;
  ASSERT_TRUE(app().find_file_assoc_command(&command, file_assoc_view, "/w/pack.tar.gz", nullptr, nullptr, 0, false));
  EXPECT_EQ(str(command.program), "/usr/bin/zless");
  ASSERT_TRUE(app().find_file_assoc_command(&command, file_assoc_view, "/w/notes.txt", nullptr, nullptr, 0, false));
  EXPECT_EQ(str(command.program), "/usr/bin/xdg-open");
  // A name without a dot looks up the empty extension; a dot in a folder name does not count.
  ASSERT_TRUE(app().find_file_assoc_command(&command, file_assoc_view, "/w/v1.2/Makefile", nullptr, nullptr, 0, false));
  EXPECT_EQ(str(command.program), "/usr/bin/plain");
  // Extensions are compared case-sensitively.
  ASSERT_TRUE(app().find_file_assoc_command(&command, file_assoc_view, "/w/PACK.GZ", nullptr, nullptr, 0, false));
  EXPECT_EQ(str(command.program), "/usr/bin/xdg-open");
  // "*" has no diff tool: the lookup fails rather than falling further.
  EXPECT_FALSE(app().find_file_assoc_command(nullptr, file_assoc_diff, "/w/notes.txt", nullptr, nullptr, 0, false));
  EXPECT_TRUE(app().find_file_assoc_command(nullptr, file_assoc_diff, "/w/a.gz", nullptr, nullptr, 0, false));
  for ( const int kind : {3, -1} )
    EXPECT_EQ(interr_number([kind] {
                (void)app().find_file_assoc_command(nullptr, kind, "/w/a.gz", nullptr, nullptr, 0, false);
              }),
              INTERR_FILE_ASSOC_KIND);
  app().file_assocs = {assoc("gz", "/usr/bin/zless")};
  EXPECT_FALSE(app().find_file_assoc_command(&command, file_assoc_view, "/w/notes.txt", nullptr, nullptr, 0, true));
}

TEST_F(FileAssocs, ArgumentsAreExpandedOrGetTheQuotedPath)
{
  qstring install;
  install_dir_string(&install);
  file_assoc_t tools = assoc("c", "/usr/bin/view", "--plain", "%I/tools/differ", "/usr/bin/merger");
  tools.merge_args_auto = "-auto -b %b %l %r%%";
  file_assoc_t bare = assoc("h", "/usr/bin/less", "");
  app().file_assocs = {tools, bare};
  const struct
  {
    const char *what;
    int kind;
    const char *file;
    const char *second;
    const char *third;
    int method;
    bool expand;
    std::string program;
    std::string arguments;
  } rows[] = {
    {"template without %", file_assoc_view, "/w/a b.c", nullptr, nullptr, 0, true, "/usr/bin/view",
     "--plain \"/w/a b.c\""},
    {"empty template", file_assoc_view, "/w/x.h", nullptr, nullptr, 0, true, "/usr/bin/less", "/w/x.h"},
    {"expanded program and template", file_assoc_diff, "/w/a.c", "/tmp/r.c", nullptr, 0, true,
     str(install) + "/tools/differ", "-d /w/a.c /tmp/r.c"},
    {"no second file", file_assoc_diff, "/w/a.c", nullptr, nullptr, 0, true, str(install) + "/tools/differ",
     "-d /w/a.c \"\""},
    {"merge method 1 with a base", file_assoc_merge, "/w/a.c", "/tmp/r.c", "/tmp/base.c", 1, true,
     "/usr/bin/merger", "-auto -b /tmp/base.c /w/a.c /tmp/r.c%"},
    {"merge method 4", file_assoc_merge, "/w/a.c", "/tmp/r.c", nullptr, 4, true, "/usr/bin/merger",
     "manual /w/a.c"},
    {"another method: empty template", file_assoc_merge, "/w/a.c", nullptr, nullptr, 7, true, "/usr/bin/merger",
     "/w/a.c"},
    {"not expanded", file_assoc_diff, "/w/a.c", "/tmp/r.c", nullptr, 0, false, "%I/tools/differ", "-d %l %r"},
  };
  for ( const auto &row : rows )
  {
    SCOPED_TRACE(row.what);
    file_assoc_command_t command;
    ASSERT_TRUE(app().find_file_assoc_command(&command, row.kind, row.file, row.second, row.third, row.method,
                                              row.expand));
    EXPECT_EQ(str(command.program), row.program);
    EXPECT_EQ(str(command.arguments), row.arguments);
  }
}

TEST_F(FileAssocs, TheMissingWarningNamesTheExtensionOrThePath)
{
  recording_ui_callback_t ui;
  warn_missing_file_assoc("/w/pack.tar.gz");
  warn_missing_file_assoc("/w/Makefile");
  const auto boxes = ui.requests_of(ui_code_message);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text,
            "No application is defined for 'gz' files.\nPlease add it in View, Options, File associatations");
  EXPECT_EQ(boxes[1].text,
            "No application is defined for '/w/Makefile' files.\nPlease add it in View, Options, File associatations");
}

// ---- The add and edit forms --------------------------------------------------------------------------------------

struct typed_assoc_t
{
  const char *ext;
  const char *view;
  const char *view_args;
  int64_t result;
};

// Plays one add form: types the extension, viewer and its arguments, and the diff path.
recording_ui_callback_t::form_player_t play_add(typed_assoc_t typed, std::vector<std::string> *shown_ext)
{
  return [typed, shown_ext](const char *, va_list args) -> int64_t {
    qstring *ext = va_arg(args, qstring *);
    char *view = va_arg(args, char *);
    qstring *view_args = va_arg(args, qstring *);
    char *diff = va_arg(args, char *);
    shown_ext->push_back(str(*ext));
    *ext = typed.ext;
    std::snprintf(view, 260, "%s", typed.view);
    *view_args = typed.view_args;
    std::snprintf(diff, 260, "%s", "/usr/bin/diff");
    return typed.result;
  };
}

TEST_F(FileAssocs, TheAddFormWarnsAboutATakenExtensionAndAMissingViewer)
{
  file_assoc_chooser_t chooser;
  chooser.list = {assoc("c", "/bin/c"), assoc("h", "/bin/h")};
  recording_ui_callback_t ui;
  std::vector<std::string> shown;
  ui.script_form(play_add({"c", "/bin/other", "", 1}, &shown));
  ui.script_form(play_add({"py", "", "", 1}, &shown));
  ui.script_form(play_add({"py", "/usr/bin/view", "-x", 1}, &shown));
  const chooser_single_result_t added = chooser.insert_item(1);
  EXPECT_EQ(added.row, 1);
  EXPECT_EQ(added.code, chooser_rebuild);
  EXPECT_EQ(exts(chooser.list), (std::vector<std::string> {"c", "py", "h"}));
  EXPECT_EQ(str(chooser.list[1].view), "/usr/bin/view");
  EXPECT_EQ(str(chooser.list[1].view_args), "-x");
  EXPECT_EQ(str(chooser.list[1].diff), "/usr/bin/diff");
  // The form came back with what was entered.
  EXPECT_EQ(shown, (std::vector<std::string> {"", "c", "py"}));
  const auto warnings = ui.requests_of(ui_code_message);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0].text, "Extension \"c\" already has an association!");
  EXPECT_EQ(warnings[1].text, "Please specify a viewer application");
  const auto forms = ui.requests_of(ui_code_form_dialog);
  ASSERT_EQ(forms.size(), 3u);
  EXPECT_EQ(forms[0].text.rfind("BUTTON YES ~A~dd\nAdd file extension association\n\n", 0), 0u);

  // Outside the list it goes first; cancelling changes nothing.
  ui.script_form(play_add({"rs", "/bin/rs", "", 1}, &shown));
  EXPECT_EQ(chooser.insert_item(-1).row, 0);
  EXPECT_EQ(exts(chooser.list).front(), "rs");
  ui.script_form(play_add({"go", "/bin/go", "", 0}, &shown));
  const chooser_single_result_t cancelled = chooser.insert_item(0);
  EXPECT_EQ(cancelled.row, -1);
  EXPECT_EQ(cancelled.code, chooser_unchanged);
  EXPECT_EQ(chooser.list.size(), 4u);
}

TEST_F(FileAssocs, TheEditFormKeepsTheExtensionAndAcceptsAnEmptyViewer)
{
  file_assoc_chooser_t chooser;
  chooser.list = {assoc("c", "/bin/c"), assoc("h", "/bin/h", "-n")};
  recording_ui_callback_t ui;
  std::string shown_view;
  ui.script_form([&shown_view](const char *, va_list args) -> int64_t {
    char *view = va_arg(args, char *);
    qstring *view_args = va_arg(args, qstring *);
    shown_view = str(*view_args) + " " + view;
    view[0] = '\0';
    *view_args = "--new";
    return 1;
  });
  const chooser_single_result_t edited = chooser.edit_items(1);
  EXPECT_EQ(edited.row, 1);
  EXPECT_EQ(edited.code, chooser_rebuild);
  EXPECT_EQ(shown_view, "-n /bin/h");
  EXPECT_EQ(str(chooser.list[1].ext), "h");
  EXPECT_EQ(str(chooser.list[1].view), "");
  EXPECT_EQ(str(chooser.list[1].view_args), "--new");
  const auto forms = ui.requests_of(ui_code_form_dialog);
  ASSERT_EQ(forms.size(), 1u);
  EXPECT_EQ(forms[0].text.rfind("BUTTON YES ~S~ave\nEdit file extension 'h' association\n\n", 0), 0u);
  EXPECT_NE(forms[0].text.find("\"%l\" will be replaced by the filename"), std::string::npos);

  EXPECT_EQ(chooser.edit_items(2).code, chooser_unchanged);
  EXPECT_EQ(chooser.edit_items(-1).row, -1);
  ui.script_form([](const char *, va_list) -> int64_t { return 0; });
  EXPECT_EQ(chooser.edit_items(0).code, chooser_unchanged);
  EXPECT_EQ(str(chooser.list[0].view), "/bin/c");

  // A path the form cannot hold whole is not cut: the form is refused with a warning.
  chooser.list[0].diff = std::string(300, 'd').c_str();
  EXPECT_EQ(chooser.edit_items(0).code, chooser_unchanged);
  EXPECT_EQ(ui.requests_of(ui_code_form_dialog).size(), 2u);
  EXPECT_EQ(chooser.list[0].diff.size(), 300u);
}

TEST_F(FileAssocs, DeleteAnswersTheChangedRowClampedToTheList)
{
  file_assoc_chooser_t chooser;
  chooser.list = {assoc("a", "/a"), assoc("b", "/b"), assoc("c", "/c")};
  EXPECT_EQ(chooser.delete_items(2).row, 1);
  EXPECT_EQ(chooser.delete_items(0).row, 0);
  EXPECT_EQ(exts(chooser.list), (std::vector<std::string> {"b"}));
  EXPECT_EQ(chooser.delete_items(5).code, chooser_unchanged);
  const chooser_single_result_t last = chooser.delete_items(0);
  EXPECT_EQ(last.code, chooser_rebuild);
  EXPECT_EQ(last.row, -1);
  EXPECT_EQ(chooser.item_count(), 0u);
}

TEST_F(FileAssocs, TheChooserCopiesTheApplicationsListOnce)
{
  app().file_assocs = {assoc("app", "/bin/app")};
  file_assoc_chooser_t chooser;
  EXPECT_TRUE(chooser.list.empty()); // no connection: no defaults
  EXPECT_EQ(chooser.widget_kind(), akui_kind_file_assocs);
  EXPECT_EQ(chooser.flags, 0x4A0702u);
  ASSERT_TRUE(chooser.prepare());
  EXPECT_EQ(exts(chooser.list), (std::vector<std::string> {"app"}));
  chooser.list.clear();
  ASSERT_TRUE(chooser.prepare());
  EXPECT_TRUE(chooser.list.empty());
}

// ---- A writer killed in the middle ---------------------------------------------------------------------------

file_assoc_list_t numbered_list(size_t count, const char *prefix)
{
  file_assoc_list_t list;
  for ( size_t i = 0; i < count; ++i )
    list.push_back(assoc((std::string(prefix) + std::to_string(i)).c_str(), "/bin/tool"));
  return list;
}

TEST_F(FileAssocs, AWriterKilledWhileSavingLeavesTheOldOrTheNewListWhole)
{
  const file_assoc_list_t first = numbered_list(3, "a");
  const file_assoc_list_t second = numbered_list(6, "b");
  save_file_assocs(first);
  uint32_t seed = 0x9E3779B9;
  const int runs = seeded_runs(20);
  for ( int run = 0; run < runs; ++run )
  {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if ( child == 0 )
    {
      for ( ;; )
      {
        save_file_assocs(second);
        save_file_assocs(first);
      }
    }
    usleep(useconds_t(2000 + next_random(&seed) % 20000));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    app().file_assocs.clear();
    ASSERT_TRUE(load_file_assocs()) << "run " << run;
    const std::vector<std::string> got = exts(app().file_assocs);
    EXPECT_TRUE(got == exts(first) || got == exts(second)) << "run " << run << ": " << got.size() << " records";
    for ( const file_assoc_t &record : app().file_assocs )
      EXPECT_EQ(str(record.merge_args_manual), "manual %l");
  }
}

} // namespace
