// The folder forms of a chooser driven by real events: switching between the table, the folders beside it and
// the full tree; the folder navigation; item rows that show their table rows; editing, deleting empty folders,
// dropping table rows onto folders; trees loaded on demand; and the configuration that saves the form.
#include "tests/ui/app/screenshots.h"
#include "tests/views/chooser_tree_support.h"
#include "tests/views/form_request_player.h"
#include "views/chooser/chooser_dialog.h"
#include "views/dirtree/dirtree_actions.h"
#include "views/filter/quick_filter_widget.h"

#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QStatusBar>

namespace {

using rows_t = std::vector<uint64_t>;
using names_t = std::vector<std::string>;

// Seven rows: x holds a0, a2, a4; x/y holds a5; z holds a1; the root holds a3; a6 is in no folder.
std::vector<texts_t> seven_rows()
{
  std::vector<texts_t> rows;
  for ( size_t i = 0; i < 7; ++i )
    rows.push_back({"a" + std::to_string(i), std::to_string((i * 37) % 10), i % 2 == 0 ? "even" : "odd"});
  return rows;
}
const std::multimap<std::string, size_t> seven_links = {{"x", 0}, {"x", 2}, {"x", 4}, {"x/y", 5}, {"z", 1}, {"", 3}};

class ChooserTree : public docked_chooser_fixture_t
{
protected:
  test_folder_list_t *folder_list(const char *title, uint32_t flags = chooser_multi_select, bool lazy = false)
  {
    auto *list = new test_folder_list_t(seven_rows(), title, flags, seven_links, lazy);
    list->set_header({"Name", "Size", "Kind"});
    list->set_widths({12, column_flags_decimal | 6, 8});
    return list;
  }
  // Toggles the tree through the widget's context menu ("Show folders").
  void toggle_tree(chooser_widget_t *widget)
  {
    QAbstractItemView *view = widget->item_view();
    const std::vector<std::string> items = context_menu(view->viewport(), QPoint(5, 5), "Show folders");
    ASSERT_NE(std::find(items.begin(), items.end(), "Show folders"), items.end());
    // The closed menu leaves no window active on a display without a window manager.
    QApplication::setActiveWindow(test_app().main_window());
    widget->item_view()->setFocus();
    settle();
  }
  // Opens the list docked and switches it to the full tree, every folder expanded; null on failure.
  chooser_widget_t *open_full_tree(chooser_base_t *list)
  {
    chooser_widget_t *widget = open_docked(list);
    if ( widget == nullptr )
      return nullptr;
    toggle_tree(widget);
    if ( widget->folder_view() == nullptr )
      return nullptr;
    widget->folder_view()->expandAll();
    settle();
    return widget;
  }
  static chooser_selection_t selection_of(chooser_widget_t *widget)
  {
    chooser_selection_t selection;
    (void)widget->get_selection(&selection, 3);
    return selection;
  }
  static rows_t rows_of(const chooser_selection_t &selection)
  {
    return rows_t(selection.rows.begin(), selection.rows.end());
  }
  // The widths of the visible sections but the stretched last one, and which sections are hidden.
  static std::vector<int> visible_widths(QHeaderView *header)
  {
    std::vector<int> widths;
    for ( int i = 0; i + 1 < header->count(); ++i )
      widths.push_back(header->isSectionHidden(i) ? -1 : header->sectionSize(i));
    return widths;
  }
  static void click_index(QAbstractItemView *view, const QModelIndex &index, Qt::KeyboardModifiers modifiers = {})
  {
    settle();
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, view->visualRect(index).center());
    settle();
  }
};

TEST_F(ChooserTree, SwitchingFormsKeepsSelectionCurrentRowHeaderAndSort)
{
  test_folder_list_t *list = folder_list("Forms");
  chooser_widget_t *widget = open_docked(list);
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(widget->tree_mode(), chooser_widget_t::no_tree);
  EXPECT_EQ(widget->folder_view(), nullptr) << "the tree is made on the first tree form";

  // The user sorts by Size descending, hides Kind, widens Name and selects a2 and a4 (a4 current).
  QHeaderView *header = widget->shown_header();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, section_point(widget, 1));
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, section_point(widget, 1));
  settle();
  context_menu(header->viewport(), section_point(widget, 2), "Hide column");
  header->resizeSection(0, 140);
  const std::vector<std::string> table_order = shown(widget);
  const auto position_of = [&](const std::string &name) {
    return int(std::find(table_order.begin(), table_order.end(), name) - table_order.begin());
  };
  click_row(widget, position_of("a2"));
  click_row(widget, position_of("a4"), Qt::ControlModifier);
  const chooser_header_status_t before = widget->capture_header_status();
  ASSERT_EQ(rows_of(selection_of(widget)), (rows_t {2, 4}));
  ASSERT_EQ(selection_of(widget).current, 4);
  ASSERT_EQ(before.sort_section, 1);
  ASSERT_EQ(before.descending, 1);
  const std::vector<int> widths = visible_widths(header);

  // Full tree: the same rows selected, the same current row, header and sorting.
  toggle_tree(widget);
  ASSERT_EQ(widget->tree_mode(), chooser_widget_t::full_tree);
  chooser_dirtree_widget_t *tree = widget->folder_view();
  ASSERT_NE(tree, nullptr);
  EXPECT_TRUE(tree->isVisible());
  EXPECT_FALSE(widget->table()->isVisible());
  EXPECT_EQ(widget->shown_header(), tree->header());
  EXPECT_EQ(rows_of(selection_of(widget)), (rows_t {2, 4}));
  EXPECT_EQ(selection_of(widget).current, 4);
  const chooser_header_status_t in_tree = widget->capture_header_status();
  EXPECT_EQ(in_tree.visible, before.visible);
  EXPECT_EQ(in_tree.sort_section, 1);
  EXPECT_EQ(in_tree.descending, 1);
  EXPECT_EQ(visible_widths(tree->header()), widths);
  EXPECT_EQ(tree->chooser_model()->options() & 0x70, 0x70u) << "a tree made after construction";
  save_screenshot(*widget, "full-tree");

  // And back to the table.
  toggle_tree(widget);
  ASSERT_EQ(widget->tree_mode(), chooser_widget_t::no_tree);
  EXPECT_FALSE(tree->isVisible());
  EXPECT_TRUE(widget->table()->isVisible());
  EXPECT_EQ(rows_of(selection_of(widget)), (rows_t {2, 4}));
  EXPECT_EQ(selection_of(widget).current, 4);
  const chooser_header_status_t back = widget->capture_header_status();
  EXPECT_EQ(back.visible, before.visible);
  EXPECT_EQ(back.sort_section, 1);
  EXPECT_EQ(back.descending, 1);
  EXPECT_EQ(visible_widths(widget->shown_header()), widths);
  EXPECT_EQ(shown(widget), table_order);

  // Through folders_only and back: the table keeps its header; the tree shows one "Folders" column.
  send_config(widget, "tree_mode", "folders_only");
  settle();
  ASSERT_EQ(widget->tree_mode(), chooser_widget_t::folders_only);
  EXPECT_TRUE(tree->isVisible());
  EXPECT_TRUE(widget->table()->isVisible());
  EXPECT_EQ(tree->model()->headerData(0, Qt::Horizontal).toString(), QString("Folders"));
  for ( int i = 1; i < tree->header()->count(); ++i )
    EXPECT_TRUE(tree->header()->isSectionHidden(i)) << i;
  EXPECT_EQ(visible_widths(widget->shown_header()), widths);
  send_config(widget, "tree_mode", "no_tree");
  settle();
  ASSERT_EQ(widget->tree_mode(), chooser_widget_t::no_tree);
  EXPECT_EQ(widget->capture_header_status().sort_section, 1);
  EXPECT_EQ(visible_widths(widget->shown_header()), widths);
}

TEST_F(ChooserTree, FoldersOnlyListsTheChosenFoldersItemsInRowOrder)
{
  test_folder_list_t *list = folder_list("Folders beside", chooser_multi_select | chooser_quick_filter_shown);
  chooser_widget_t *widget = open_docked(list);
  ASSERT_NE(widget, nullptr);
  send_config(widget, "tree_mode", "folders_only");
  settle();
  chooser_dirtree_widget_t *tree = widget->folder_view();
  ASSERT_NE(tree, nullptr);
  tree->expandAll();
  settle();
  EXPECT_EQ(tree_rows(tree), (names_t {"x/", "  y/", "z/"})) << "folders only";
  EXPECT_EQ(shown(widget), (names_t {"a3"})) << "nothing chosen: the root's items";

  click_index(tree, tree_index_named(tree, "x"));
  EXPECT_EQ(shown(widget), (names_t {"a0", "a2", "a4"}));
  click_index(tree, tree_index_named(tree, "y"));
  EXPECT_EQ(shown(widget), (names_t {"a5"}));
  click_index(tree, tree_index_named(tree, "z"));
  EXPECT_EQ(shown(widget), (names_t {"a1"}));
  save_screenshot(*widget, "folders-only");

  // The quick filter hides table rows, never folders.
  click_index(tree, tree_index_named(tree, "x"));
  auto *line = widget->quick_filter()->findChild<QLineEdit *>();
  ASSERT_NE(line, nullptr);
  QTest::keyClicks(line, "a2");
  // The filter applies after its typing pause, however late a loaded machine runs it.
  EXPECT_TRUE(QTest::qWaitFor([&] {
    settle();
    return shown(widget) == names_t {"a2"};
  }, 5000)) << testing::PrintToString(shown(widget));
  EXPECT_EQ(tree_rows(tree), (names_t {"x/", "  y/", "z/"}));
}

TEST_F(ChooserTree, FullTreeItemsShowTheirTableRowsAndFoldersOnlyTheirNames)
{
  test_folder_list_t *list = folder_list("Full tree");
  list->bold_row = 2;
  chooser_widget_t *widget = open_full_tree(list);
  ASSERT_NE(widget, nullptr);
  chooser_dirtree_widget_t *tree = widget->folder_view();
  EXPECT_EQ(tree_rows(tree), (names_t {"x/", "  y/", "    a5", "  a0", "  a2", "  a4", "z/", "  a1", "a3"}));
  const QModelIndex folder = tree_index_named(tree, "x");
  EXPECT_EQ(folder.siblingAtColumn(1).data().toString(), QString());
  EXPECT_FALSE(folder.siblingAtColumn(2).data(Qt::BackgroundRole).isValid());
  for ( const std::string name : {"a2", "a5"} )
  {
    const QModelIndex item = tree_index_named(tree, name);
    ASSERT_TRUE(item.isValid()) << name;
    const QModelIndex row = tree->chooser_model()->table_index_of(item);
    ASSERT_TRUE(row.isValid()) << name;
    for ( int column = 0; column < 3; ++column )
      for ( const int role : {int(Qt::DisplayRole), int(Qt::DecorationRole), int(Qt::FontRole),
                              int(Qt::BackgroundRole), int(Qt::ForegroundRole)} )
        EXPECT_EQ(item.siblingAtColumn(column).data(role), row.siblingAtColumn(column).data(role))
          << name << " column " << column << " role " << role;
  }
  EXPECT_TRUE(tree_index_named(tree, "a2").data(Qt::FontRole).value<QFont>().bold());

  // Sorting by Size descending from the tree's header orders each folder's items, its folders staying first.
  QTest::mouseClick(tree->header()->viewport(), Qt::LeftButton, {}, section_point(widget, 1));
  QTest::mouseClick(tree->header()->viewport(), Qt::LeftButton, {}, section_point(widget, 1));
  settle();
  EXPECT_EQ(tree_rows(tree), (names_t {"x/", "  y/", "    a5", "  a4", "  a2", "  a0", "z/", "  a1", "a3"}));
  EXPECT_EQ(widget->capture_header_status().sort_section, 1);
  EXPECT_EQ(widget->capture_header_status().descending, 1);

  // A double click on an item of a source that does not edit from the tree activates it, as Enter does.
  const QModelIndex a4 = tree_index_named(tree, "a4");
  click_index(tree, a4);
  list->calls.clear();
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(a4).center());
  settle();
  EXPECT_EQ(list->calls, (std::vector<std::string> {"activate 4"}));
  EXPECT_EQ(widget->status_bar()->currentMessage(), QString(", /x/a4")) << "the tree's line is the entry's path";

  // A frozen tree shows a copy: changes of the live tree wait until it thaws.
  tree->set_frozen(true);
  ASSERT_EQ(list->tree->create_folder("late"), 0);
  EXPECT_TRUE(tree->chooser_model()->current_tree()->entry_of_path("/late").is_none());
  tree->set_frozen(false);
  EXPECT_FALSE(tree->chooser_model()->current_tree()->entry_of_path("/late").is_none());
}

TEST_F(ChooserTree, EditableTreeEditsItemsThroughTheSourceAndRenamesFoldersInPlace)
{
  test_folder_list_t *list =
    folder_list("Editable tree", chooser_multi_select | chooser_can_edit | chooser_tree_editable | chooser_can_delete);
  chooser_widget_t *widget = open_full_tree(list);
  ASSERT_NE(widget, nullptr);
  chooser_dirtree_widget_t *tree = widget->folder_view();

  const QModelIndex item = tree_index_named(tree, "a2");
  click_index(tree, item);
  list->calls.clear();
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(item).center());
  settle();
  EXPECT_EQ(list->calls, (std::vector<std::string> {"edit 2"}));
  EXPECT_EQ(tree->findChild<QLineEdit *>(), nullptr) << "no editor opens on an item";

  const QModelIndex folder = tree_index_named(tree, "z");
  click_index(tree, folder);
  list->calls.clear();
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(folder).center());
  settle();
  EXPECT_TRUE(list->calls.empty());
  auto *editor = tree->findChild<QLineEdit *>();
  ASSERT_NE(editor, nullptr) << "the folder's name is edited in place";
  editor->selectAll();
  QTest::keyClicks(editor, "w");
  QTest::keyClick(editor, Qt::Key_Return);
  settle();
  EXPECT_FALSE(list->tree->entry_of_path("/w").is_none());
}

TEST_F(ChooserTree, InsertRunsInTheSelectedFolder)
{
  test_folder_list_t *list = folder_list("Insert into folders", chooser_multi_select | chooser_can_insert);
  std::vector<std::string> folders_seen;
  list->on_insert = [&](qvector<uint64_t> *) {
    folders_seen.emplace_back(list->tree->current_folder_path().c_str());
    return chooser_unchanged;
  };
  chooser_widget_t *widget = open_full_tree(list);
  ASSERT_NE(widget, nullptr);
  chooser_dirtree_widget_t *tree = widget->folder_view();
  click_index(tree, tree_index_named(tree, "a5"));
  QTest::keyClick(tree, Qt::Key_Insert);
  settle();
  click_index(tree, tree_index_named(tree, "z"));
  QTest::keyClick(tree, Qt::Key_Insert);
  settle();
  EXPECT_EQ(folders_seen, (std::vector<std::string> {"/x/y", "/z"}));
  EXPECT_EQ(std::string(list->tree->current_folder_path().c_str()), "/") << "the current folder comes back";
}

TEST_F(ChooserTree, InsertExpandsTheFoldersThatGainEntries)
{
  test_folder_list_t *list = folder_list("Insert expands", chooser_multi_select | chooser_can_insert);
  list->on_insert = [list](qvector<uint64_t> *) {
    // The views hear nothing of the tree's change: only the rebuild that follows the insert brings the row.
    list->refresh.enabled = false;
    list->rows.push_back({"a7", "7", "odd"});
    list->inodes.push_back(107);
    list->tree.spec->add_item("a7", 107);
    (void)list->tree->link_or_unlink_path("/z/a7", true);
    list->refresh.enabled = true;
    return chooser_rebuild;
  };
  chooser_widget_t *widget = open_full_tree(list);
  ASSERT_NE(widget, nullptr);
  chooser_dirtree_widget_t *tree = widget->folder_view();
  tree->collapseAll();
  click_index(tree, tree_index_named(tree, "a3"));
  EXPECT_EQ(tree_rows(tree), (names_t {"x/", "z/", "a3"}));
  QTest::keyClick(tree, Qt::Key_Insert);
  settle();
  EXPECT_EQ(tree_rows(tree), (names_t {"x/", "z/", "  a1", "  a7", "a3"})) << "the folder that gained a row opened";
  EXPECT_EQ(widget->sync_counter, 0) << "the counter falls back once the insert is over";
  // A later change outside an insert leaves folders as they are.
  tree->collapseAll();
  list->rows.push_back({"a8", "8", "even"});
  list->inodes.push_back(108);
  list->tree.spec->add_item("a8", 108);
  list->refresh.enabled = false;
  (void)list->tree->link_or_unlink_path("/x/a8", true);
  list->refresh.enabled = true;
  widget->refresh_items(nullptr, 7, false);
  settle();
  EXPECT_EQ(tree_rows(tree), (names_t {"x/", "z/", "a3"}));
}

TEST_F(ChooserTree, ContextMenuOfTheFolderTreeStartsWithTheTreesOwnEntries)
{
  ui_action_registry_t &registry = *test_app().get_action_registry();
  for ( const action_desc_t &desc : dirtree_action_descs() )
    if ( registry.find_action(desc.name) == nullptr )
      (void)registry.register_core_action(desc);
  chooser_widget_t *widget = open_full_tree(folder_list("Tree menu"));
  ASSERT_NE(widget, nullptr);
  chooser_dirtree_widget_t *tree = widget->folder_view();
  click_index(tree, tree_index_named(tree, "a3"));
  ASSERT_EQ(QApplication::focusWidget(), tree);
  const names_t in_tree = context_menu(tree->viewport(), tree->visualRect(tree_index_named(tree, "a3")).center());
  save_screenshot(*widget, "tree-focused-for-menu");
  // The tree's entries first (its own copies among them), then the chooser's without the table's copies.
  EXPECT_EQ(in_tree, (names_t {"Create folder with items...", "-", "Copy", "Copy all", "-", "Cut", "-", "Quick filter",
                               "Modify filters...", "-", "Search...", "Search again", "-", "Columns...", "-",
                               "Show folders"}));

  // The table of "folders_only" has the focus: the chooser's entries alone, its copies among them.
  send_config(widget, "tree_mode", "folders_only");
  settle();
  widget->table()->setFocus();
  click_row(widget, 0);
  const names_t in_table = context_menu(widget->table()->viewport(), row_point(widget, 0));
  EXPECT_EQ(in_table, (names_t {"Copy", "Copy all", "-", "Quick filter", "Modify filters...", "-", "Search...",
                                "Search again", "-", "Columns...", "-", "Show folders"}));
}

TEST_F(ChooserTree, DeletingOnlyAnEmptyFolderRemovesItWithoutTheSource)
{
  test_folder_list_t *list = folder_list("Empty folders", chooser_multi_select | chooser_can_delete);
  ASSERT_EQ(list->tree->create_folder("empty"), 0);
  (void)list->tree->save_dirty_folders();
  chooser_widget_t *widget = open_full_tree(list);
  ASSERT_NE(widget, nullptr);
  chooser_dirtree_widget_t *tree = widget->folder_view();
  const QModelIndex empty = tree_index_named(tree, "empty");
  ASSERT_TRUE(empty.isValid());
  click_index(tree, empty);
  list->calls.clear();
  QTest::keyClick(tree, Qt::Key_Delete);
  settle();
  EXPECT_TRUE(list->tree->entry_of_path("/empty").is_none());
  EXPECT_EQ(std::count_if(list->calls.begin(), list->calls.end(),
                          [](const std::string &call) { return call.rfind("delete", 0) == 0; }),
            0) << ::testing::PrintToString(list->calls);
  EXPECT_FALSE(list->tree->entry_of_path("/x").is_none()) << "other folders stay";
}

TEST_F(ChooserTree, RowsDraggedOntoAFolderAreLinkedThere)
{
  test_folder_list_t *list = folder_list("Drops");
  chooser_widget_t *widget = open_docked(list);
  ASSERT_NE(widget, nullptr);
  EXPECT_FALSE(widget->table()->dragEnabled()) << "only beside the folders";
  toggle_tree(widget);
  EXPECT_FALSE(widget->table()->dragEnabled());
  send_config(widget, "tree_mode", "folders_only");
  settle();
  EXPECT_TRUE(widget->table()->dragEnabled());
  chooser_dirtree_widget_t *tree = widget->folder_view();
  ASSERT_NE(tree, nullptr);
  tree->expandAll();
  click_index(tree, tree_index_named(tree, "x"));
  ASSERT_EQ(shown(widget), (names_t {"a0", "a2", "a4"}));
  click_row(widget, 0);
  click_row(widget, 2, Qt::ControlModifier);

  // What a drag of the selected rows carries, dropped on z by the events a drag brings.
  const QModelIndexList dragged = widget->table()->selectionModel()->selectedRows();
  std::unique_ptr<QMimeData> data(widget->table()->model()->mimeData(dragged));
  ASSERT_NE(data, nullptr);
  const QPoint at = tree->visualRect(tree_index_named(tree, "z")).center();
  const auto drop_on_z = [&] {
    QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(tree->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(tree->viewport(), &move);
    EXPECT_TRUE(move.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(tree->viewport(), &drop);
    settle();
  };
  drop_on_z();
  EXPECT_FALSE(list->tree->entry_of_path("/z/a0").is_none());
  EXPECT_FALSE(list->tree->entry_of_path("/z/a4").is_none());
  EXPECT_FALSE(list->tree->entry_of_path("/x/a0").is_none()) << "a link: the item stays where it was";

  // Dropping a0 on z again: already there, logged and skipped.
  ui.clear();
  drop_on_z();
  std::vector<std::string> logged;
  for ( const auto &request : ui.requests_of(ui_code_log) )
    logged.push_back(request.text);
  EXPECT_NE(std::find(logged.begin(), logged.end(), "Couldn't link \"/x/a0\" into \"/z\": already exists\n"),
            logged.end())
    << ::testing::PrintToString(logged);
  click_index(tree, tree_index_named(tree, "z"));
  EXPECT_EQ(shown(widget), (names_t {"a0", "a1", "a4"}));
}

TEST_F(ChooserTree, LazyTreeLoadsEachExpandedFolderOnceAndRetriesAFailedLoad)
{
  test_folder_list_t *list = folder_list("Lazy", chooser_multi_select, true);
  list->failing_loads = 1;
  chooser_widget_t *widget = open_docked(list);
  ASSERT_NE(widget, nullptr);
  EXPECT_TRUE(list->loads.empty()) << "nothing loads before a tree form shows";
  toggle_tree(widget);
  chooser_dirtree_widget_t *tree = widget->folder_view();
  ASSERT_NE(tree, nullptr);
  EXPECT_TRUE(tree->model()->hasChildren(tree->rootIndex())) << "the root's expander before anything loads";
  settle();
  // The failed load of the root is tried again when it is asked again.
  tree->chooser_model()->lazy_loader()->on_folder_expanded(tree->rootIndex());
  settle();
  ASSERT_FALSE(list->loads.empty());
  EXPECT_EQ(list->loads.back(), "/");
  const size_t root_loads = list->loads.size();
  EXPECT_EQ(tree_rows(tree), (names_t {"x/", "z/", "a3"}));

  // x loads when the user expands it (Right), a failed load is tried at the next expansion, and a loaded
  // folder never loads again.
  const QModelIndex x = tree_index_named(tree, "x");
  EXPECT_TRUE(tree->model()->hasChildren(x)) << "an expander before it loads";
  click_index(tree, x);
  list->failing_loads = 1;
  const auto press = [&](Qt::Key key) {
    QTest::keyClick(tree, key);
    settle();
  };
  press(Qt::Key_Right);
  EXPECT_EQ(std::count(list->loads.begin(), list->loads.end(), "/x"), 1);
  press(Qt::Key_Left);
  press(Qt::Key_Right);
  EXPECT_EQ(std::count(list->loads.begin(), list->loads.end(), "/x"), 2) << "tried again";
  press(Qt::Key_Left);
  press(Qt::Key_Right);
  EXPECT_EQ(std::count(list->loads.begin(), list->loads.end(), "/x"), 2) << "loaded once";
  EXPECT_EQ(list->loads.size(), root_loads + 2);
  EXPECT_EQ(tree_rows(tree), (names_t {"x/", "  y/", "  a0", "  a2", "  a4", "z/", "a3"}));
}

TEST_F(ChooserTree, ConfigurationCarriesTheIdAndTheMode)
{
  test_folder_list_t *list = folder_list("Config");
  list->identity = std::string("\x0A\xFF", 2);
  chooser_widget_t *widget = open_docked(list);
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(widget_config(widget), (std::map<std::string, std::string> {{"id", "0AFF"}, {"tree_mode", "no_tree"}}));
  struct case_t
  {
    const char *why;
    const char *text;
    bool as_int;
    int32_t mode;
  };
  const case_t cases[] = {
    {"full tree", "full_tree", false, chooser_widget_t::full_tree},
    {"unknown text", "sideways", false, chooser_widget_t::full_tree},
    {"an integer", nullptr, true, chooser_widget_t::full_tree},
    {"folders only", "folders_only", false, chooser_widget_t::folders_only},
    {"back", "no_tree", false, chooser_widget_t::no_tree},
  };
  for ( const case_t &c : cases )
  {
    send_config(widget, "tree_mode", c.text, c.as_int);
    settle();
    EXPECT_EQ(widget->tree_mode(), c.mode) << c.why;
    EXPECT_EQ(widget_config(widget)["tree_mode"], std::string(chooser_tree_mode_name(c.mode))) << c.why;
  }
  send_config(widget, "other", "full_tree");
  EXPECT_EQ(widget->tree_mode(), chooser_widget_t::no_tree) << "an absent member";

  // A source without folders stays a table; an identity of one zero byte gives no "id".
  auto *flat = new test_multi_list_t(numbered_rows(3), "Flat config");
  flat->identity = std::string(1, '\0');
  chooser_widget_t *flat_widget = open_docked(flat);
  ASSERT_NE(flat_widget, nullptr);
  send_config(flat_widget, "tree_mode", "full_tree");
  EXPECT_EQ(flat_widget->tree_mode(), chooser_widget_t::no_tree);
  EXPECT_EQ(widget_config(flat_widget), (std::map<std::string, std::string> {{"tree_mode", "no_tree"}}));
}

TEST_F(ChooserTree, ModalDialogInATreeFormAnswersTheCurrentItem)
{
  struct case_t
  {
    const char *why;
    const char *current;
    int64_t answer;
  };
  const case_t cases[] = {{"an item", "a4", 4}, {"a folder", "z", chooser_nothing_chosen}};
  for ( const case_t &c : cases )
  {
    test_folder_list_t *list = folder_list(c.why, chooser_modal | chooser_multi_select);
    list->flags |= uint32_t(chooser_widget_t::full_tree) << chooser_tree_mode_shift;
    QTimer::singleShot(0, [&] {
      auto *dialog = qobject_cast<TChooserDialog *>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      chooser_dirtree_widget_t *tree = dialog->chooser_widget()->folder_view();
      ASSERT_NE(tree, nullptr);
      tree->expandAll();
      click_index(tree, tree_index_named(tree, c.current));
      QTest::mouseClick(dialog->chooser_widget()->search_box()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    EXPECT_EQ(list->open_chooser(static_cast<const qvector<uint64_t> *>(nullptr)), c.answer) << c.why;
  }
}

} // namespace
