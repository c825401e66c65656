// A user compares a checked-out database with the server's revision through the disassembler, opens a text
// file with the viewer of its extension, and meets a conflict: another user commits the database first, the
// commit is refused, the user resolves it through the disassembler and commits again.
#include "repo/rpc_packet.h"
#include "tests/e2e/akui_run.h"
#include "tests/e2e/recording_tools.h"
#include "tests/repo/disassembler_standin.h"

#include <QJsonArray>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

const char *const database = "//depot/db/model.zdb";
const QString worklists_class = QStringLiteral("worklists_dirtree_widget_t");

class DiffAndConflict : public akui_run_t
{
protected:
  void SetUp() override
  {
    akui_run_t::SetUp();
    if ( HasFatalFailure() )
      return;
    viewer = std::make_unique<recording_viewer_t>(home);
    stored_association_t text {"txt", viewer->program(), "-view %l", "", "", "", {}};
    stored_association_t others {"*", database_association("z64").view, "", "", "", "", {}};
    std::string error;
    ASSERT_TRUE(store_associations(home / "config",
                                   {database_association("zdb"), database_association("z64"), text, others}, &error))
      << error;
  }

  // Opens Local files and selects the file, opening the folders on its way with the arrow keys.
  void select_local(const std::vector<QString> &folders, const QString &name)
  {
    ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Local files"));
    for ( const QString &folder : folders )
    {
      ASSERT_TRUE(select_row(local_files_class, folder));
      press({"Right"});
    }
    ASSERT_TRUE(select_row(local_files_class, name));
  }

  // The active window other than the main one that shows a label holding the text, or null.
  static const shown_window_t *message_with(const shown_screen_t &shown, const QString &text)
  {
    for ( const shown_window_t &window : shown.windows )
      if ( window.active && window.cls != main_window_class )
        for ( const shown_widget_t *label : window.all("QLabel") )
          if ( label->text.contains(text) )
            return &window;
    return nullptr;
  }

  // Waits for the message and answers it with the button, by its text.
  void answer_message(const QString &text, const QString &button, const std::string &step_name)
  {
    std::unique_ptr<shown_window_t> found;
    ASSERT_TRUE(wait_for("the message \"" + text.toStdString() + "\"", [&](const shown_screen_t &shown) {
      const shown_window_t *window = message_with(shown, text);
      if ( window != nullptr )
        found = std::make_unique<shown_window_t>(*window);
      return window != nullptr && window->find("QPushButton", button) != nullptr;
    }));
    step(step_name);
    click(*found->find("QPushButton", button));
    ASSERT_TRUE(wait_for("the message to close", [&](const shown_screen_t &shown) {
      return message_with(shown, text) == nullptr;
    }));
  }

  // The entries of the open context menu; empty when none is open.
  static QStringList context_entries(const shown_screen_t &shown)
  {
    QStringList texts;
    for ( const shown_window_t &window : shown.windows )
      if ( window.cls != main_window_class )
        for ( const shown_widget_t *popup : window.all("QMenu") )
          for ( const QJsonValue &item : popup->raw["items"].toArray() )
            texts << item.toObject()["text"].toString();
    return texts;
  }

  // Opens the worklist's commit form from the Worklists view, once the view shows the worklist's file as
  // `file_row`. The view offers the commit only with the worklist's files at hand: a menu opened while it
  // reloads lacks the entry, and the user closes it and asks again.
  std::unique_ptr<shown_window_t> open_commit_form(const QString &file_row)
  {
    // The desktop shows the Worklists view beside the file trees: the user goes there with the mouse.
    for ( int attempt = 0; attempt < 5; ++attempt )
    {
      if ( wait_row(worklists_class, file_row).rect.isEmpty()
           || !select_row(worklists_class, QString::fromStdString("1, alice@" + site_name)) )
        return nullptr;
      press({"Menu"});
      QStringList entries;
      (void)wait_for("the context menu", [&](const shown_screen_t &shown) {
        entries = context_entries(shown);
        return !entries.isEmpty();
      });
      if ( entries.contains("Commit...") )
        break;
      press({"Escape"});
      (void)wait_for("the context menu to close", [](const shown_screen_t &shown) {
        return context_entries(shown).isEmpty();
      });
    }
    (void)choose_context_entry("Commit...");
    return wait_window("Worklist #1");
  }

  // Every file of the work directory but the client's checksum caches, relative, sorted.
  std::vector<std::string> work_files() const
  {
    std::vector<std::string> files;
    for ( const fs::directory_entry &entry : fs::recursive_directory_iterator(work) )
      if ( !entry.is_directory() && entry.path().filename() != ".arkive_cache" )
        files.push_back(fs::relative(entry.path(), work).string());
    std::sort(files.begin(), files.end());
    return files;
  }

  std::string local_content(const char *path) const
  {
    std::ifstream in(work / path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::unique_ptr<recording_viewer_t> viewer;
  disassembler_standin_t standin;
};

TEST_F(DiffAndConflict, DiffsTheDatabaseOpensATextFileAndResolvesAConflictBeforeTheCommit)
{
  start_logged_in();

  // Check the database out for edit and change it on disk.
  ASSERT_NO_FATAL_FAILURE(select_local({"depot", "db"}, "model.zdb#1"));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Checkout for edit"));
  ASSERT_TRUE(wait_received(EDIT_FILES, "the checkout for edit"));
  {
    std::ofstream out(work / "depot/db/model.zdb", std::ios::binary | std::ios::trunc);
    out << "ZDB1 model, renamed by alice";
  }
  step("checked-out");

  // Diff against the local file: the disassembler opens a copy of the site's revision, which is its to delete,
  // against the working file, which it must keep.
  ASSERT_TRUE(select_row(local_files_class, "model.zdb#1"));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Diff against the local file"));
  const std::vector<standin_run_t> diffs = standin.wait_for_runs(1);
  ASSERT_EQ(diffs.size(), 1u);
  EXPECT_EQ(diffs[0].program, "zuk");
  const std::string working = (work / "depot/db/model.zdb").string();
  const std::vector<std::string> &args = diffs[0].args;
  ASSERT_EQ(args.size(), 5u) << testing::PrintToString(args);
  EXPECT_EQ(args[0], "-Omerge:policy=diff:delete_local=on:delete_remote=off:batch=off");
  EXPECT_EQ(args[1], "-MTL" + std::string(database) + "#current");
  EXPECT_EQ(args[2], "-MTR" + working);
  EXPECT_EQ(args[3], "-MR" + working);
  EXPECT_NE(args[4], working);
  EXPECT_TRUE(wait_for("the copy of the site's revision to go", [&](const shown_screen_t &) {
    return !fs::exists(args[4]);
  }));
  step("diffed");
  EXPECT_EQ(local_content("depot/db/model.zdb"), "ZDB1 model, renamed by alice") << "the working file stays";

  // Open a text file: the viewer of its extension gets the working file.
  ASSERT_TRUE(select_row(local_files_class, "readme.txt#1"));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Open"));
  ASSERT_TRUE(wait_for("the viewer's run", [&](const shown_screen_t &) { return !viewer->runs().empty(); }));
  EXPECT_EQ(viewer->runs(), std::vector<std::string>{"-view= " + (work / "depot/readme.txt").string() + "=Hello "});
  step("opened");

  // Alice commits the worklist; while she writes the description, Bob commits a newer revision of the database.
  // Her commit is refused: her revision is not the last one. She saves the description for later.
  std::unique_ptr<shown_window_t> form = open_commit_form("//depot/db/model.zdb#1");
  ASSERT_NE(form, nullptr);
  const std::vector<const shown_widget_t *> texts = form->all("QPlainTextEdit");
  ASSERT_FALSE(texts.empty()) << screen().visible_texts();
  // The description holds the worklist's ("default"): the user types over it.
  click(*texts[0]);
  press({"Control_L", "a"});
  x.type("Renamed by alice");
  ASSERT_TRUE(wait_for("the description", [](const shown_screen_t &shown) {
    const shown_window_t *window = shown.window("Worklist #1");
    return window != nullptr && !window->all("QPlainTextEdit").empty()
           && window->all("QPlainTextEdit")[0]->text == "Renamed by alice";
  }));
  step("commit-form");
  server.repository().commit_files("bob", "bob-ws", "Renamed by bob", {{database, "ZDB1 model, renamed by bob"}});
  server.clear_received();
  click(*form->find("QPushButton", "Commit"));
  ASSERT_NO_FATAL_FAILURE(answer_message("must resolve before committing " + QString(database), "OK", "refused"));
  EXPECT_TRUE(received(COMMIT_WORKLIST));
  server_repository_t::last_change_t last;
  ASSERT_TRUE(server.repository().last_change(database, &last));
  EXPECT_EQ(last.revision, 2);
  EXPECT_EQ(last.user, "bob");
  // The form stays as it was under the message (without a window manager it need not take the focus back).
  ASSERT_TRUE(wait_for("the commit form again", [](const shown_screen_t &shown) {
    return shown.window("Worklist #1") != nullptr;
  }));
  click(*form->find("QPushButton", "Save"));
  ASSERT_TRUE(wait_for("the form to close", [](const shown_screen_t &shown) {
    return shown.window("Worklist #1") == nullptr;
  }));

  // Resolve automatically, keeping her side where both changed: the disassembler merges in place. The file
  // shows both revisions, the one she has and the last one.
  ASSERT_TRUE(select_row(local_files_class, "model.zdb#1/2"));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Resolve/Auto resolve, prefer local..."));
  ASSERT_NO_FATAL_FAILURE(answer_message("AUTO MERGE, UPON CONFLICTS USE LOCAL FILE", "Yes", "resolve-question"));
  ASSERT_TRUE(wait_received(RESOLVE_FILE, "the file resolved"));
  const std::vector<standin_run_t> merges = standin.wait_for_runs(2);
  ASSERT_EQ(merges.size(), 2u);
  EXPECT_EQ(merges[1].args.front(), "-A");
  EXPECT_EQ(merges[1].args.back(), working);
  step("resolved");

  // The commit now goes through with the saved description and her content.
  form = open_commit_form("//depot/db/model.zdb#2");
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->all("QPlainTextEdit")[0]->text, "Renamed by alice");
  click(*form->find("QPushButton", "Commit"));
  ASSERT_TRUE(wait_for("the form to close after the commit", [](const shown_screen_t &shown) {
    return shown.window("Worklist #1") == nullptr;
  }));
  ASSERT_TRUE(server.repository().last_change(database, &last));
  EXPECT_EQ(last.revision, 3);
  EXPECT_EQ(last.user, "alice");
  EXPECT_EQ(last.description, "Renamed by alice");
  EXPECT_EQ(last.content, "ZDB1 model, renamed by alice");
  EXPECT_EQ(server.repository().site_revision(site_name, database), 3);
  EXPECT_EQ(local_content("depot/db/model.zdb"), "ZDB1 model, renamed by alice");
  // The views follow: the worklist is empty, the file holds the new revision and is no longer opened.
  EXPECT_TRUE(wait_for("the committed file in Local files", [](const shown_screen_t &shown) {
    const shown_widget_t *view = view_of_class(shown, local_files_class);
    if ( view != nullptr )
      for ( const shown_row_t &row : view->rows )
        if ( !row.texts.isEmpty() && row.texts[0] == "model.zdb#3" )
          return !row.bold;
    return false;
  }));
  EXPECT_TRUE(wait_for("the empty worklist", [](const shown_screen_t &shown) {
    const shown_widget_t *view = view_of_class(shown, worklists_class);
    return view != nullptr && view->rows.size() == 1;
  }));
  EXPECT_EQ(work_files(), (std::vector<std::string>{"depot/db/model.zdb", "depot/readme.txt", "depot/src/main.c"}))
    << "the merge leaves nothing behind";
  step("committed");
}

} // namespace
