// A modal chooser with folders on a real display: the table, the full tree from the context menu's "Show
// folders", then the folders beside the table, with a screenshot of the dialog at each step.
#include "tests/ui/app/screenshots.h"
#include "tests/views/chooser_tree_support.h"
#include "views/chooser/chooser_dialog.h"

#include <QDialogButtonBox>

namespace {

class ChooserTreeOnDisplay : public docked_chooser_fixture_t
{
};

TEST_F(ChooserTreeOnDisplay, ModalChooserThroughTheThreeForms)
{
  std::vector<texts_t> rows;
  std::multimap<std::string, size_t> links;
  const char *const folders[] = {"docs", "docs/drafts", "images", ""};
  for ( size_t i = 0; i < 24; ++i )
  {
    rows.push_back({"file_" + std::to_string(i) + ".txt", std::to_string(i * 1337 % 9000), i % 3 == 0 ? "text" : "data"});
    links.emplace(folders[i % 4], i);
  }
  auto *list = new test_folder_list_t(rows, "Files with folders", chooser_modal | chooser_multi_select, links);
  list->set_header({"Name", "Size", "Kind"});
  list->set_widths({20, column_flags_decimal | 8, 8});

  std::vector<int32_t> modes;
  QTimer::singleShot(0, [&] {
    auto *dialog = qobject_cast<TChooserDialog *>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    dialog->resize(640, 420);
    chooser_widget_t *widget = dialog->chooser_widget();
    settle();
    modes.push_back(widget->tree_mode());
    save_screenshot(*dialog, "1-table");

    context_menu(widget->table()->viewport(), QPoint(10, 10), "Show folders");
    settle();
    ASSERT_NE(widget->folder_view(), nullptr);
    widget->folder_view()->expandAll();
    settle();
    modes.push_back(widget->tree_mode());
    save_screenshot(*dialog, "2-full-tree");

    send_config(widget, "tree_mode", "folders_only");
    settle();
    const QModelIndex docs = tree_index_named(widget->folder_view(), "docs");
    QTest::mouseClick(widget->folder_view()->viewport(), Qt::LeftButton, {},
                      widget->folder_view()->visualRect(docs).center());
    settle();
    modes.push_back(widget->tree_mode());
    save_screenshot(*dialog, "3-folders-only");
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  EXPECT_EQ(list->open_chooser(static_cast<const qvector<uint64_t> *>(nullptr)), chooser_nothing_chosen);
  EXPECT_EQ(modes, (std::vector<int32_t> {chooser_widget_t::no_tree, chooser_widget_t::full_tree,
                                          chooser_widget_t::folders_only}));
}

} // namespace
