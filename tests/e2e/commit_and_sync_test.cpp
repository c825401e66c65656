// A user changes a file: checks it out for edit, edits it on disk, scans and commits it with a description,
// finds the commit in the Commits view and the file's history, syncs the file back to an older revision and
// forward again; and the sync that the server breaks off in the middle.
#include "repo/rpc_packet.h"
#include "tests/e2e/akui_run.h"

#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

const QString readme_row = QStringLiteral("readme.txt");
const std::string readme_path = "//depot/readme.txt";
const std::string edited_text = "Hello, edited";
const std::string description = "Greet more warmly";
constexpr qsizetype commits_columns = 5;
constexpr qsizetype history_columns = 6;

std::string file_text(const fs::path &path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_text(const fs::path &path, const std::string &text)
{
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The visible chooser list whose rows have `columns` columns (the chooser views share one class and show no
// header texts), or null: the Commits view has 5, a File history 6.
const shown_widget_t *chooser_of_columns(const shown_screen_t &shown, qsizetype columns)
{
  for ( const shown_window_t &window : shown.windows )
    for ( const shown_widget_t &widget : window.widgets )
      if ( widget.cls == "chooser_table_widget_t" && !widget.rows.empty() && widget.rows[0].texts.size() == columns )
        return &widget;
  return nullptr;
}

// The row of the view whose first column is `first`, or null.
const shown_row_t *row_of(const shown_widget_t *view, const QString &first)
{
  if ( view != nullptr )
    for ( const shown_row_t &row : view->rows )
      if ( !row.texts.isEmpty() && row.texts[0] == first )
        return &row;
  return nullptr;
}

// The widget of the class in the window, or null.
const shown_widget_t *widget_of_class(const shown_window_t &window, const QString &cls)
{
  for ( const shown_widget_t &widget : window.widgets )
    if ( widget.cls == cls )
      return &widget;
  return nullptr;
}

class CommitAndSync : public akui_run_t
{
protected:
  // The Arkive files view with the readme selected (its row shows the revision the site has).
  void select_readme(int revision)
  {
    ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Arkive files"));
    ASSERT_TRUE(select_row(arkive_files_class, "depot"));
    press({"Right"});
    ASSERT_TRUE(select_row(arkive_files_class, readme_row + "#" + QString::number(revision)));
  }

  // Selects the row of the history view, the view holding the focus.
  bool select_history_row(const QString &revision)
  {
    return select_row("the file's history",
                      [](const shown_screen_t &shown) { return chooser_of_columns(shown, history_columns); },
                      revision);
  }

  // Waits until the history view shows the rows of the revisions, newest first, with the one the site has in
  // bold.
  bool history_shows(const QStringList &revisions, const QString &bold)
  {
    return wait_for("the history rows with " + bold.toStdString() + " in bold", [&](const shown_screen_t &shown) {
      const shown_widget_t *view = chooser_of_columns(shown, history_columns);
      if ( view == nullptr || view->rows.size() != size_t(revisions.size()) )
        return false;
      for ( size_t i = 0; i < view->rows.size(); ++i )
        if ( view->rows[i].texts.value(0) != revisions[int(i)] || view->rows[i].bold != (revisions[int(i)] == bold) )
          return false;
      return true;
    });
  }

  // Syncs the file to the revision of the history row through its context menu.
  void sync_to_history_row(const QString &revision)
  {
    ASSERT_TRUE(select_history_row(revision));
    server.clear_received();
    ASSERT_NO_FATAL_FAILURE(choose_context_entry("Sync to this revision"));
    ASSERT_TRUE(wait_received(SYNC_FILES, "the sync to revision " + revision.toStdString()));
  }
};

TEST_F(CommitAndSync, ACheckedOutFileIsEditedCommittedAndSyncedBackAndForthInItsHistory)
{
  const fs::path readme = work / "depot/readme.txt";
  start_logged_in();

  // Checkout for edit from the tree's context menu: the server opens the file, the Worklists view lists it.
  ASSERT_NO_FATAL_FAILURE(select_readme(1));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Checkout for edit"));
  ASSERT_TRUE(wait_received(EDIT_FILES, "the checkout for edit"));
  // The Worklists view shares its dock with the Commits view: the user brings it to the front.
  ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Worklists"));
  ASSERT_TRUE(wait_for("the opened file in the Worklists view", [](const shown_screen_t &shown) {
    const shown_widget_t *view = view_of_class(shown, "worklists_dirtree_widget_t");
    return view != nullptr && row_of(view, QString::fromStdString(readme_path) + "#1") != nullptr;
  }));
  EXPECT_TRUE(server.repository().opened_on_site(site_name, readme_path));
  EXPECT_EQ(file_text(readme), "Hello");
  step("checked-out");

  // The user edits the file, then scans and commits it: the scan's options, then the new worklist's form.
  write_text(readme, edited_text);
  ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Arkive files"));
  ASSERT_TRUE(select_row(arkive_files_class, readme_row + "#1"));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Scan and commit..."));
  ASSERT_TRUE(wait_for("the scan's options", [](const shown_screen_t &shown) {
    for ( const shown_window_t &window : shown.windows )
      if ( window.active && window.find("QPushButton", "Scan") != nullptr )
        return window.find("", "Checkout for edit modified files") != nullptr;
    return false;
  }));
  step("scan-options");
  press({"Return"});
  ASSERT_TRUE(wait_received(SCAN_FILES, "the scan"));
  std::unique_ptr<shown_window_t> form = wait_window("Worklist #2");
  ASSERT_NE(form, nullptr);
  const shown_widget_t *listed = widget_of_class(*form, "chooser_table_widget_t");
  ASSERT_NE(listed, nullptr);
  EXPECT_NE(row_of(listed, QString::fromStdString(readme_path) + "#1"), nullptr);
  const shown_widget_t *commit_button = form->find("QPushButton", "Commit");
  ASSERT_NE(commit_button, nullptr);
  EXPECT_FALSE(commit_button->enabled) << "no description yet";
  const shown_widget_t *description_field = widget_of_class(*form, "text_area_t");
  ASSERT_NE(description_field, nullptr);
  click(*description_field);
  x.type(description);
  ASSERT_TRUE(wait_for("the Commit button enabled by the description", [](const shown_screen_t &shown) {
    const shown_window_t *window = shown.window("Worklist #2");
    const shown_widget_t *button = window != nullptr ? window->find("QPushButton", "Commit") : nullptr;
    return button != nullptr && button->enabled;
  }));
  step("commit-form");
  click(*commit_button);
  ASSERT_TRUE(wait_received(COMMIT_WORKLIST, "the commit"));
  ASSERT_TRUE(wait_for("the form closed", [](const shown_screen_t &shown) {
    return shown.window("Worklist #2") == nullptr;
  }));

  // The server's record: revision 2 with the edited content, made by alice's commit with the description.
  std::string user;
  std::string committed_description;
  std::vector<std::pair<std::string, int32_t>> committed_files;
  ASSERT_TRUE(server.repository().last_commit(&user, &committed_description, &committed_files));
  EXPECT_EQ(user, "alice");
  EXPECT_EQ(committed_description, description);
  EXPECT_EQ(committed_files, (std::vector<std::pair<std::string, int32_t>> {{readme_path, 2}}));
  std::string content;
  ASSERT_TRUE(server.repository().revision_content(readme_path, 2, &content));
  EXPECT_EQ(content, edited_text);
  EXPECT_EQ(server.repository().site_revision(site_name, readme_path), 2);
  EXPECT_FALSE(server.repository().opened_on_site(site_name, readme_path));
  EXPECT_EQ(file_text(readme), edited_text);

  // The Commits view lists the commit with its description.
  ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Commits"));
  ASSERT_TRUE(wait_for("the commit in the Commits view", [](const shown_screen_t &shown) {
    const shown_row_t *row = row_of(chooser_of_columns(shown, commits_columns), "2");
    return row != nullptr && row->texts.contains(QString::fromStdString(description))
           && row->texts.contains("alice");
  }));
  step("commits-view");

  // The file's history: both revisions, the new one (the site's) in bold, with the commit's description.
  ASSERT_NO_FATAL_FAILURE(select_readme(2));
  ASSERT_NO_FATAL_FAILURE(choose_menu("Actions", "File history"));
  ASSERT_TRUE(history_shows({"2", "1"}, "2"));
  const shown_screen_t history = screen();
  const shown_row_t *newest = row_of(chooser_of_columns(history, history_columns), "2");
  ASSERT_NE(newest, nullptr);
  EXPECT_TRUE(newest->texts.contains(QString::fromStdString(description)));
  step("file-history");

  // Back to revision 1 from its history row, then forward to the latest.
  ASSERT_NO_FATAL_FAILURE(sync_to_history_row("1"));
  ASSERT_TRUE(history_shows({"2", "1"}, "1"));
  EXPECT_EQ(file_text(readme), "Hello");
  EXPECT_EQ(server.repository().site_revision(site_name, readme_path), 1);
  step("synced-to-1");
  ASSERT_NO_FATAL_FAILURE(sync_to_history_row("2"));
  ASSERT_TRUE(history_shows({"2", "1"}, "2"));
  EXPECT_EQ(file_text(readme), edited_text);
  EXPECT_EQ(server.repository().site_revision(site_name, readme_path), 2);
  step("synced-to-2");

  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Exit"));
  EXPECT_EQ(wait_akui_exit(), 0) << akui->output();
}

TEST_F(CommitAndSync, ASyncTheServerDropsMidwayLeavesEveryFileOldOrNewAndTheEditedFileUntouched)
{
  // Bob committed new revisions of all three files; alice's site holds the first ones.
  const std::map<std::string, std::string> old_texts {{"depot/db/model.zdb", "ZDB1 model"},
                                                      {"depot/readme.txt", "Hello"},
                                                      {"depot/src/main.c", "int main(void) { return 0; }"}};
  const std::map<std::string, std::string> new_texts {{"depot/db/model.zdb", "ZDB1 model, bob's"},
                                                      {"depot/readme.txt", "Hello from bob"},
                                                      {"depot/src/main.c", "int main(void) { return 1; }"}};
  std::vector<std::pair<std::string, std::string>> bobs;
  for ( const auto &[path, text] : new_texts )
    bobs.emplace_back("//" + path, text);
  server.repository().commit_files("bob", "bob-ws", "bob's update", bobs);
  start_logged_in();

  // Alice checks out main.c for edit and changes it.
  ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Arkive files"));
  ASSERT_TRUE(select_row(arkive_files_class, "depot"));
  press({"Right"});
  ASSERT_TRUE(select_row(arkive_files_class, "src"));
  press({"Right"});
  ASSERT_TRUE(select_row(arkive_files_class, "main.c#1/2"));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Checkout for edit"));
  ASSERT_TRUE(wait_received(EDIT_FILES, "the checkout for edit"));
  const std::string local_edit = "int main(void) { return 2; } // alice";
  write_text(work / "depot/src/main.c", local_edit);

  // What the work directory holds: every file by its path under the root, but for the client's checksum
  // caches (one per folder, rebuilt at will).
  const auto work_files = [this] {
    std::map<std::string, std::string> files;
    for ( const auto &entry : fs::recursive_directory_iterator(work) )
      if ( !entry.is_directory() && entry.path().filename() != ".arkive_cache" )
        files[fs::relative(entry.path(), work).generic_string()] = file_text(entry.path());
    return files;
  };
  // Syncs the depot folder from its context menu with the server dropping the connection when it would send
  // its request number `requests` + 1 of the sync; the user meets the Connect dialog and logs in again.
  const auto sync_dropped_after = [&](int requests, const std::string &name) {
    server_fault_t drop;
    drop.action = server_fault_t::drop_during_work;
    drop.on_type = SYNC_FILES;
    drop.work_requests = requests;
    server.add_fault(drop);
    server.clear_received();
    const int connections = server.connections();
    ASSERT_TRUE(select_row(arkive_files_class, "depot"));
    ASSERT_NO_FATAL_FAILURE(choose_context_entry("Get the latest revision"));
    ASSERT_TRUE(wait_received(SYNC_FILES, "the sync"));
    // The client does not reconnect by itself: it asks the user with the Connect dialog, filled.
    const std::unique_ptr<shown_window_t> dialog = wait_window("Connect to server");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->all("QComboBox")[1]->text, "alice");
    EXPECT_EQ(server.connections(), connections);
    step("dropped-" + name);
    server.clear_received();
    press({"Return"});
    ASSERT_TRUE(wait_received(USE_SITE, "the login again"));
    ASSERT_TRUE(status_shows("Local site: " + site_name));
    EXPECT_EQ(server.connections(), connections + 1);
  };
  std::map<std::string, std::string> expected = old_texts;
  expected["depot/src/main.c"] = local_edit;

  // The first drop: model.zdb (first in the server's order) is written whole; readme.txt is opened and written
  // but never closed (the server's requests: progress, open, write, close and progress of the first file, then
  // open and write of the second). The first file holds its new content, the second its old, nothing else.
  ASSERT_NO_FATAL_FAILURE(sync_dropped_after(7, "mid-file"));
  expected["depot/db/model.zdb"] = new_texts.at("depot/db/model.zdb");
  EXPECT_EQ(work_files(), expected);
  EXPECT_EQ(server.repository().site_revision(site_name, "//depot/db/model.zdb"), 2);
  EXPECT_EQ(server.repository().site_revision(site_name, "//depot/readme.txt"), 1);

  // The second drop: readme.txt is opened for writing and the connection goes before a byte arrives.
  ASSERT_NO_FATAL_FAILURE(sync_dropped_after(2, "opened"));
  EXPECT_EQ(work_files(), expected);
  EXPECT_EQ(server.repository().site_revision(site_name, "//depot/readme.txt"), 1);

  // A sync the server completes brings readme.txt; main.c, opened and edited, stays as alice left it.
  server.clear_received();
  ASSERT_TRUE(select_row(arkive_files_class, "depot"));
  ASSERT_NO_FATAL_FAILURE(choose_context_entry("Get the latest revision"));
  ASSERT_TRUE(wait_received(SYNC_FILES, "the whole sync"));
  expected["depot/readme.txt"] = new_texts.at("depot/readme.txt");
  ASSERT_TRUE(wait_for("the server's record of the synced readme", [&](const shown_screen_t &) {
    return server.repository().site_revision(site_name, "//depot/readme.txt") == 2;
  }));
  ASSERT_TRUE(select_row(arkive_files_class, "depot"));
  press({"Right"});
  EXPECT_FALSE(wait_row(arkive_files_class, "readme.txt#2").rect.isEmpty());
  EXPECT_EQ(work_files(), expected);
  EXPECT_EQ(server.repository().site_revision(site_name, "//depot/src/main.c"), 1);
  EXPECT_TRUE(server.repository().opened_on_site(site_name, "//depot/src/main.c"));
  step("synced");
  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Exit"));
  EXPECT_EQ(wait_akui_exit(), 0) << akui->output();
}

} // namespace
