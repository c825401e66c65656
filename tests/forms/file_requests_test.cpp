// File requests (UI callback code 29) answered by Qt's file dialog, driven by typing a name and pressing Return:
// filters, start paths, extensions from the selected filter, remembered folders, cancelling and long paths.
#include "forms/inputs/input_requests.h"

#include "core/ui_callback.h"
#include "tests/forms/modal_player.h"
#include "tests/forms/support/dialog_dispatcher.h"
#include "tests/ui/app/test_app.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;

class FileRequests : public ::testing::Test
{
protected:
  void SetUp() override
  {
    test_app().default_dirs.clear();
    test_app().native_dialogs = true;
    const char *tmp = std::getenv("TMPDIR");
    root = fs::path(tmp != nullptr ? tmp : "/tmp") / "file-requests";
    fs::remove_all(root);
    fs::create_directories(root / "ann");
    std::ofstream(root / "ann" / "notes.txt") << "x";
  }
  void TearDown() override
  {
    test_app().default_dirs.clear();
    test_app().native_dialogs = true;
  }

  fs::path root;
  recording_ui_callback_t ui;
  dialog_dispatcher_t dispatcher {ui};
};

// The answer of a file request through the core's front function; none when it was cancelled.
std::optional<std::string> ask_file(bool for_saving, const char *default_path, const char *prompt)
{
  const char *chosen = prompt_file_name(for_saving, default_path, "%s", prompt);
  if ( chosen == nullptr )
    return std::nullopt;
  return std::string(chosen);
}

// Types the name into the dialog's name field and presses Return, as a user does; a completion list that took
// the key closes with it, and the next Return reaches the dialog.
void choose_name(QFileDialog &dialog, const QString &name)
{
  auto *edit = dialog.findChild<QLineEdit *>("fileNameEdit");
  ASSERT_NE(edit, nullptr);
  edit->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(edit, name);
  QTest::keyClick(edit, Qt::Key_Return);
  if ( dialog.isVisible() )
    QTest::keyClick(edit, Qt::Key_Return);
}

// Picks the name filter at that index from the dialog's filter box with the keyboard.
void pick_filter(QFileDialog &dialog, int index)
{
  auto *box = dialog.findChild<QComboBox *>("fileTypeCombo");
  ASSERT_NE(box, nullptr);
  box->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(box, Qt::Key_Home);
  for ( int i = 0; i < index; ++i )
    QTest::keyClick(box, Qt::Key_Down);
  ASSERT_EQ(box->currentIndex(), index);
}

TEST_F(FileRequests, FiltersTitlesAndStartPaths)
{
  const std::string ann = (root / "ann").string();
  test_app().default_dirs[0] = root.string(); // remembered for saving
  struct row_t
  {
    const char *what;
    bool for_saving;
    std::string default_path;
    const char *prompt;
    QStringList filters;
    QString folder;
    QString name; // in the name field at the start
  };
  const row_t rows[] = {
    {"a filter line and no default path: the remembered folder", true, "", "FILTER Text files|*.txt\nSave the text",
     {"Text files (*.txt)", "All files (*.*)"}, QString::fromStdString(root.string()), ""},
    {"a default path: its folder, name and extension", true, ann + "/report.txt", "Save the report",
     {"TXT files (*.txt)", "All files (*.*)"}, QString::fromStdString(ann), "report.txt"},
    {"a name without extension: All files once", false, "notes", "Open", {"All files (*.*)"}, QDir::currentPath(),
     "notes"},
    {"one filter for the same pattern, with the filter text's description", false, ann + "/a.txt",
     "FILTER Plain|*.TXT\nOpen", {"Plain (*.TXT)", "All files (*.*)"}, QString::fromStdString(ann), "a.txt"},
    {"a default path naming a folder is ignored: nothing remembered for opening", false, ann, "Open",
     {"All files (*.*)"}, QDir::currentPath(), ""},
    {"neither: the application's filter, which holds every file", false, "", "Open", {"All files (*) (*)"},
     QDir::currentPath(), ""},
    {"the help marker leaves the title", false, "", "@0:5[]\nOpen with help", {"All files (*) (*)"},
     QDir::currentPath(), ""},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    modal_player_t player;
    player.on_next<QFileDialog>("the file dialog", [&](QFileDialog &dialog) {
      EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(row.prompt).section('\n', -1));
      EXPECT_EQ(dialog.acceptMode(), row.for_saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
      EXPECT_EQ(dialog.nameFilters(), row.filters);
      EXPECT_EQ(dialog.selectedNameFilter(), row.filters.front());
      EXPECT_EQ(dialog.directory().absolutePath(), row.folder);
      EXPECT_EQ(dialog.findChild<QLineEdit *>("fileNameEdit")->text(), row.name);
      EXPECT_EQ(dialog.parentWidget(), test_app().main_window());
      press_key(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(ask_file(row.for_saving, row.default_path.c_str(), row.prompt), std::nullopt);
  }
}

TEST_F(FileRequests, DialogOptionsFollowTheDirectionAndTheApplication)
{
  struct row_t
  {
    bool native;
    bool for_saving;
    bool own_widgets;
    bool confirms_overwrite;
  };
  const row_t rows[] = {{true, true, false, false}, {true, false, false, true}, {false, true, true, false},
                        {false, false, true, true}};
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(std::to_string(row.native) + std::to_string(row.for_saving));
    test_app().native_dialogs = row.native;
    modal_player_t player;
    player.on_next<QFileDialog>("the file dialog", [&](QFileDialog &dialog) {
      EXPECT_EQ(dialog.testOption(QFileDialog::DontUseNativeDialog), row.own_widgets);
      EXPECT_EQ(!dialog.testOption(QFileDialog::DontConfirmOverwrite), row.confirms_overwrite);
      press_key(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(ask_file(row.for_saving, "", "Where"), std::nullopt);
  }
}

TEST_F(FileRequests, SavingANameWithoutExtensionTakesTheSelectedFiltersOne)
{
  const std::string ann = (root / "ann").string();
  struct row_t
  {
    const char *what;
    bool for_saving;
    const char *typed;
    int filter; // index of the filter picked
    std::string answer;
  };
  const row_t rows[] = {
    {"the first pattern of the selected filter", true, "report", 0, ann + "/report.txt"},
    {"another filter", true, "report", 1, ann + "/report.log"},
    {"a name with an extension keeps it", true, "report.log", 0, ann + "/report.log"},
    {"a wildcard filter adds nothing", true, "report", 2, ann + "/report"},
    {"opening never adds one", false, "notes.txt", 0, ann + "/notes.txt"},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    modal_player_t player;
    player.on_next<QFileDialog>("the file dialog", [&](QFileDialog &dialog) {
      pick_filter(dialog, row.filter);
      choose_name(dialog, row.typed);
    });
    EXPECT_EQ(ask_file(row.for_saving, (ann + "/x").c_str(), "FILTER Text|*.txt;*.text|Logs|*.log|Any|*.*\nWhere"),
              row.answer);
  }
}

// A file request through the request function itself, answering into *answer.
bool ask_file_into(qstring *answer, bool for_saving, const char *default_path, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const bool chosen = ask_file_request(answer, for_saving, default_path, format, va);
  va_end(va);
  return chosen;
}

TEST_F(FileRequests, CancellingKeepsThePreviousAnswerAndChoosingRemembersTheFolder)
{
  const std::string ann = (root / "ann").string();
  qstring answer;
  {
    modal_player_t player;
    player.on_next<QFileDialog>("the open dialog", [](QFileDialog &dialog) { choose_name(dialog, "notes.txt"); });
    EXPECT_TRUE(ask_file_into(&answer, false, (ann + "/x").c_str(), "Open %s", "notes"));
  }
  EXPECT_EQ(answer, (ann + "/notes.txt").c_str());
  EXPECT_EQ(test_app().default_dirs[1], ann) << "remembered for opening";
  EXPECT_EQ(test_app().default_dirs.count(0), 0u) << "saving remembers its own";
  {
    modal_player_t player;
    player.on_next<QFileDialog>("the next open dialog", [&](QFileDialog &dialog) {
      EXPECT_EQ(dialog.directory().absolutePath(), QString::fromStdString(ann)) << "starts where the last ended";
      press_key(dialog, Qt::Key_Escape);
    });
    EXPECT_FALSE(ask_file_into(&answer, false, "", "Open"));
  }
  EXPECT_EQ(answer, (ann + "/notes.txt").c_str()) << "a cancelled request keeps the previous answer";
}

TEST_F(FileRequests, APathLongerThan260BytesIsAnsweredWhole)
{
  fs::path deep = root;
  while ( deep.string().size() < 400 )
    deep /= std::string(40, 'd');
  fs::create_directories(deep);
  const std::string typed = (deep / "kept-whole.bin").string();
  modal_player_t player;
  player.on_next<QFileDialog>("the save dialog", [&](QFileDialog &dialog) {
    choose_name(dialog, QString::fromStdString(typed));
  });
  EXPECT_EQ(ask_file(true, "", "Save"), typed);
}

} // namespace
