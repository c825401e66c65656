// A user's worklists: a file checked out for edit lands in the default worklist; a new worklist, the file dragged
// into it with the mouse, its description edited in the worklist form, and the worklist reverted, which brings the
// file's content back.
#include "repo/rpc_packet.h"
#include "tests/e2e/akui_run.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

const QString worklists_class = QStringLiteral("worklists_dirtree_widget_t");

class Worklists : public akui_run_t
{
protected:
  // Right-clicks the row of the view and chooses the entry of its context menu.
  void context_menu(const QString &view_class, const QString &row, const QString &entry)
  {
    ASSERT_TRUE(select_row(view_class, row));
    x.right_click_at(wait_row(view_class, row).rect.center());
    click_menu_entry("context", entry);
  }

  // The active window other than the main window, once it shows a widget of the kind; its title, empty when none
  // came.
  QString wait_dialog_with(const QString &kind)
  {
    QString title;
    (void)wait_for("a dialog with a " + kind.toStdString(), [&](const shown_screen_t &shown) {
      for ( const shown_window_t &window : shown.windows )
        if ( window.active && window.cls != main_window_class && !window.all(kind).empty() )
        {
          title = window.title;
          return true;
        }
      return false;
    });
    return title;
  }

  // The rows of the Worklists view as "text|description" for folders and "  text" for files.
  static std::vector<std::string> worklist_rows(const shown_screen_t &shown)
  {
    std::vector<std::string> rows;
    if ( const shown_widget_t *view = view_of_class(shown, worklists_class) )
      for ( const shown_row_t &row : view->rows )
        if ( !row.texts.isEmpty() )
          rows.push_back(row.depth > 0 ? "  " + row.texts[0].toStdString()
                                       : row.texts[0].toStdString() + "|" + row.texts.value(3).toStdString());
    return rows;
  }

  // Waits until the Worklists view shows exactly these rows.
  bool worklists_show(const std::vector<std::string> &expected)
  {
    std::string wanted;
    for ( const std::string &row : expected )
      wanted += "\n" + row;
    return wait_for("the worklists" + wanted,
                    [&](const shown_screen_t &shown) { return worklist_rows(shown) == expected; });
  }

  // The server's worklists of alice's site as "number|description|opened paths".
  std::vector<std::string> server_worklists()
  {
    std::vector<std::string> lists;
    for ( const auto &record : server.repository().worklists_of(site_name) )
    {
      std::string text = std::to_string(record.number) + "|" + record.description + "|";
      for ( const std::string &path : record.opened )
        text += path + " ";
      lists.push_back(text);
    }
    return lists;
  }

  std::string work_file(const std::string &path) const
  {
    std::ifstream in(work / path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  void write_work_file(const std::string &path, const std::string &text) const
  {
    std::ofstream(work / path, std::ios::trunc) << text;
  }
};

TEST_F(Worklists, AddOneDragAFileIntoItEditItsDescriptionAndRevertIt)
{
  const std::string readme = "depot/readme.txt";
  const QString readme_row = QStringLiteral("//depot/readme.txt#1");
  start_logged_in();

  // Check out for edit from the Arkive files tree: the file goes into the default worklist; the user edits it.
  ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Arkive files"));
  ASSERT_TRUE(select_row(arkive_files_class, "depot"));
  press({"Right"});
  ASSERT_NO_FATAL_FAILURE(context_menu(arkive_files_class, "readme.txt#1", "Checkout for edit"));
  ASSERT_TRUE(wait_received(EDIT_FILES, "the check-out for edit"));
  EXPECT_EQ(server_worklists(), std::vector<std::string>({"1|default|//depot/readme.txt "}));
  EXPECT_EQ(work_file(readme), "Hello");
  write_work_file(readme, "Hello, edited");

  const std::string default_row = "1, alice@" + site_name;
  const std::string new_row = "2, alice@" + site_name;
  ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Worklists"));
  ASSERT_TRUE(worklists_show({default_row + "|default", "  //depot/readme.txt#1"}));
  step("checked-out");

  // A new worklist, with the description the user types into the question.
  server.clear_received();
  ASSERT_NO_FATAL_FAILURE(context_menu(worklists_class, QString::fromStdString(default_row), "Add new worklist..."));
  ASSERT_FALSE(wait_dialog_with("QLineEdit").isEmpty());
  const shown_widget_t *field = nullptr;
  const shown_screen_t asked = screen();
  for ( const shown_window_t &window : asked.windows )
    if ( window.active && window.cls != main_window_class && !window.all("QLineEdit").empty() )
      field = window.all("QLineEdit").front();
  ASSERT_NE(field, nullptr);
  type_into(*field, "Greeting fix");
  step("new-worklist-question");
  press({"Return"});
  ASSERT_TRUE(wait_received(ADD_WORKLIST, "the new worklist"));
  ASSERT_TRUE(worklists_show({default_row + "|default", "  //depot/readme.txt#1", new_row + "|Greeting fix"}));
  EXPECT_EQ(server_worklists(), std::vector<std::string>({"1|default|//depot/readme.txt ", "2|Greeting fix|"}));
  step("worklist-added");

  // The file dragged with the mouse from the default worklist onto the new one.
  server.clear_received();
  const shown_row_t file = wait_row(worklists_class, readme_row);
  const shown_row_t target = wait_row(worklists_class, QString::fromStdString(new_row));
  ASSERT_FALSE(file.rect.isEmpty());
  ASSERT_FALSE(target.rect.isEmpty());
  x.drag(file.rect.center(), target.rect.center());
  ASSERT_TRUE(wait_received(MIGRATE_FILES, "the move into the new worklist"));
  ASSERT_TRUE(worklists_show({default_row + "|default", new_row + "|Greeting fix", "  //depot/readme.txt#1"}));
  EXPECT_EQ(server_worklists(), std::vector<std::string>({"1|default|", "2|Greeting fix|//depot/readme.txt "}));
  EXPECT_EQ(work_file(readme), "Hello, edited");
  step("file-moved");

  // The description edited in the worklist form and saved.
  server.clear_received();
  ASSERT_NO_FATAL_FAILURE(context_menu(worklists_class, QString::fromStdString(new_row), "Edit worklist..."));
  const std::unique_ptr<shown_window_t> form = wait_window("Worklist #2");
  ASSERT_NE(form, nullptr);
  std::vector<const shown_widget_t *> texts = form->all("QPlainTextEdit");
  if ( texts.empty() )
    texts = form->all("QTextEdit");
  ASSERT_FALSE(texts.empty()) << screen().visible_texts();
  EXPECT_EQ(texts[0]->text.toStdString(), "Greeting fix");
  click(*texts[0]);
  press({"Control_L", "a"});
  x.type("Greeting fix, reviewed");
  ASSERT_TRUE(wait_for("the new description in the form", [](const shown_screen_t &shown) {
    const shown_window_t *window = shown.window("Worklist #2");
    if ( window != nullptr )
      for ( const QString kind : {QStringLiteral("QPlainTextEdit"), QStringLiteral("QTextEdit")} )
        for ( const shown_widget_t *text : window->all(kind) )
          if ( text->text == "Greeting fix, reviewed" )
            return true;
    return false;
  }));
  step("edit-form");
  const shown_widget_t *save = form->find("QPushButton", "Save");
  ASSERT_NE(save, nullptr);
  click(*save);
  ASSERT_TRUE(wait_received(EDIT_WORKLIST, "the edited description"));
  ASSERT_TRUE(wait_for("the form to close", [](const shown_screen_t &shown) {
    return shown.window("Worklist #2") == nullptr;
  }));
  ASSERT_TRUE(worklists_show({default_row + "|default", new_row + "|Greeting fix, reviewed", "  //depot/readme.txt#1"}));
  EXPECT_EQ(server_worklists(), std::vector<std::string>({"1|default|", "2|Greeting fix, reviewed|//depot/readme.txt "}));
  step("description-edited");

  // The worklist reverted: the edited file is not unchanged, so the user is asked; after Yes it is no longer
  // opened and holds the site's revision again.
  server.clear_received();
  ASSERT_NO_FATAL_FAILURE(context_menu(worklists_class, QString::fromStdString(new_row), "Revert..."));
  const QString question = wait_dialog_with("QPushButton");
  ASSERT_FALSE(question.isEmpty());
  const std::unique_ptr<shown_window_t> box = wait_window(question);
  ASSERT_NE(box, nullptr);
  const shown_widget_t *yes = box->find("QPushButton", "Yes");
  ASSERT_NE(yes, nullptr) << screen().visible_texts();
  step("revert-question");
  click(*yes);
  ASSERT_TRUE(wait_received(REVERT_FILES, "the revert"));
  ASSERT_TRUE(worklists_show({default_row + "|default", new_row + "|Greeting fix, reviewed"}));
  EXPECT_EQ(server_worklists(), std::vector<std::string>({"1|default|", "2|Greeting fix, reviewed|"}));
  EXPECT_EQ(work_file(readme), "Hello");
  // Nothing else was left beside it but the client's checksum cache.
  std::vector<std::string> beside;
  for ( const fs::directory_entry &entry : fs::directory_iterator(work / "depot") )
    beside.push_back(entry.path().filename().string());
  std::sort(beside.begin(), beside.end());
  EXPECT_EQ(beside, std::vector<std::string>({".arkive_cache", "db", "readme.txt", "src"}));
  step("reverted");

  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Exit"));
  EXPECT_EQ(wait_akui_exit(), 0) << akui->output();
}

} // namespace
