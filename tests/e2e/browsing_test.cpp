// A user browses: the server's files and the work directory in their trees, folders opened one by one, the
// revisions beside the names, and a path found in the arkive.
#include "tests/e2e/akui_run.h"

namespace {

using Browsing = akui_run_t;

TEST_F(Browsing, ArkiveFilesAndLocalFilesShowFoldersRevisionsAndFindAPath)
{
  start_logged_in();
  ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Arkive files"));
  ASSERT_TRUE(select_row(arkive_files_class, "depot"));
  press({"Right"});
  EXPECT_FALSE(wait_row(arkive_files_class, "readme.txt#1").rect.isEmpty());
  ASSERT_TRUE(select_row(arkive_files_class, "src"));
  press({"Right"});
  EXPECT_FALSE(wait_row(arkive_files_class, "main.c#1").rect.isEmpty());
  step("arkive-files");

  ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Local files"));
  ASSERT_TRUE(select_row(local_files_class, "depot"));
  press({"Right"});
  EXPECT_FALSE(wait_row(local_files_class, "db").rect.isEmpty());
  step("local-files");

  // Find in arkive: the path's piece typed into the question, the tree selects what the server found.
  ASSERT_NO_FATAL_FAILURE(choose_menu("View", "Arkive files"));
  ASSERT_FALSE(wait_row(arkive_files_class, "depot").rect.isEmpty());
  ASSERT_NO_FATAL_FAILURE(choose_menu("Search", "Find in arkive..."));
  const shown_widget_t *field = nullptr;
  shown_screen_t asked;
  ASSERT_TRUE(wait_for("the search question", [&](const shown_screen_t &shown) {
    asked = shown;
    for ( const shown_window_t &window : asked.windows )
      if ( window.active && window.cls != main_window_class )
        for ( const shown_widget_t *edit : window.all("QLineEdit") )
        {
          field = edit;
          return true;
        }
    return false;
  }));
  type_into(*field, "model");
  step("find-question");
  press({"Return"});
  ASSERT_TRUE(wait_for("the found file selected", [](const shown_screen_t &shown) {
    if ( const shown_widget_t *view = view_of_class(shown, arkive_files_class) )
      for ( const shown_row_t &row : view->rows )
        if ( row.selected && !row.texts.isEmpty() && row.texts[0].startsWith("model.zdb") )
          return true;
    return false;
  }));
  step("found");
  ASSERT_NO_FATAL_FAILURE(choose_menu("File", "Exit"));
  EXPECT_EQ(wait_akui_exit(), 0) << akui->output();
}

} // namespace
