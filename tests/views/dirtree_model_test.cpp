// The directory-tree item model under a real tree view: index encoding and parents, flags by feature,
// renaming, filtering, folders-only counts, sorting of folder names, and tree changes under Qt's model tester.
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "tests/views/dirtree_test_view.h"
#include "tests/views/make_condition.h"
#include "views/dirtree/dirtree_paths.h"

#include <QApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

constexpr uint64_t inode_x = sample_x;

// /a/ (with /a/b/ and x), /c/ and y, shown in a view that follows the tree's events.
struct shown_tree_t : view_sample_t
{
  explicit shown_tree_t(uint32_t model_options = 0, uint32_t view_options = 0)
    : view_sample_t({"a/b", "c"}, {"a/x", "y"}), view("Files", view_options)
  {
    model = view.show_tree(t.tree.get(), model_options);
  }
  // Changes the tree through the action, then lets the view take the change in.
  void change(const std::function<int()> &action)
  {
    EXPECT_EQ(action(), 0);
    view.settle();
  }

  test_dirtree_view_t view;
  test_tree_model_t *model;
};

const std::vector<std::string> all_rows = {"a", "  b", "  x", "c", "y"};

} // namespace

TEST(DirtreeModel, PacksCursorsIntoIndexesAndChainsParents)
{
  shown_tree_t s;
  const dirtree_cursor_t cursors[] = {{-1, 0}, {-1, 5}, {0, 0}, {7, 3}, {65535, 0xFFFFFFFE}};
  for ( const dirtree_cursor_t &cursor : cursors )
    EXPECT_EQ(dirtree_cursor_of_id(dirtree_index_id(cursor)), cursor) << cursor.folder << " " << cursor.position;
  EXPECT_EQ(dirtree_index_id(dirtree_root_cursor), quintptr(0xFFFFFFFF00000000));
  EXPECT_TRUE(is_empty_cursor(dirtree_cursor_of_id(dirtree_index_id(dirtree_no_cursor))));

  // The root folder is the view's root: never a row of its own, never editable, without a parent.
  const QModelIndex root = s.view.rootIndex();
  EXPECT_EQ(root.internalId(), quintptr(0xFFFFFFFF00000000));
  EXPECT_FALSE(s.model->parent(root).isValid());
  EXPECT_EQ(s.model->rowCount(QModelIndex()), 0);
  EXPECT_FALSE(s.model->flags(root) & Qt::ItemIsEditable);
  EXPECT_EQ(s.view.shown_rows(), all_rows);

  const uint64_t a = s.t->entry_of_path("a").id;
  const QModelIndex x = s.view.row_named("x");
  EXPECT_EQ(dirtree_item_model_base_t::index_to_cursor(x), (dirtree_cursor_t {int64_t(a), 1}));
  EXPECT_EQ(x.parent(), s.view.row_named("a"));
  EXPECT_EQ(s.view.row_named("a").parent(), root);
  EXPECT_EQ(s.model->index_of_path("/a/x"), x);
  EXPECT_EQ(s.model->index_of_path("/"), root);
  EXPECT_FALSE(s.model->index_of_path("/a/missing").isValid());
  EXPECT_EQ(s.model->entry_kind_of_index(x.siblingAtColumn(1)), 2);
  EXPECT_EQ(s.model->entry_kind_of_index(s.view.row_named("c")), 1);
  EXPECT_EQ(s.model->entry_kind_of_index(QModelIndex()), 0);
  expect_parents_consistent(*s.model, root);
}

TEST(DirtreeModel, FlagsFollowTheFeatures)
{
  struct case_t
  {
    uint32_t options;
    bool rename_folders;
    bool rename_items;
    Qt::ItemFlags folder_extra;
    Qt::ItemFlags item_extra;
  };
  const Qt::ItemFlags none;
  const case_t cases[] = {
    {0, false, false, dirtree_folder_row_flag, none},
    {0, true, true, dirtree_folder_row_flag | Qt::ItemIsEditable, Qt::ItemIsEditable},
    {dirtree_model_drag_drop, false, false,
     dirtree_folder_row_flag | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled, Qt::ItemIsDragEnabled},
    {dirtree_model_drag_drop, false, true,
     dirtree_folder_row_flag | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled,
     Qt::ItemIsDragEnabled | Qt::ItemIsEditable},
  };
  for ( const case_t &c : cases )
  {
    shown_tree_t s(c.options);
    s.model->rename_folders = c.rename_folders;
    s.model->rename_items = c.rename_items;
    const Qt::ItemFlags base = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    EXPECT_EQ(s.model->flags(s.view.row_named("a")), base | c.folder_extra) << c.options;
    // Item rows never have children, and say so.
    EXPECT_EQ(s.model->flags(s.view.row_named("x")), base | Qt::ItemNeverHasChildren | c.item_extra) << c.options;
    // Only the name column renames an item; a folder's other cells carry no edit flag either.
    EXPECT_FALSE(s.model->flags(s.view.row_named("x").siblingAtColumn(1)) & Qt::ItemIsEditable);
    QModelIndex target;
    EXPECT_EQ(s.model->rename_target_index(&target, s.view.row_named("x").siblingAtColumn(1)), c.rename_items);
    if ( c.rename_items )
    {
      EXPECT_EQ(target, s.view.row_named("x"));
    }
  }
  shown_tree_t s;
  EXPECT_EQ(s.model->flags(QModelIndex()), s.model->QAbstractItemModel::flags(QModelIndex()));
  EXPECT_TRUE(s.model->supports(dirtree_feature_rename_items, {}));
  EXPECT_FALSE(s.model->supports(0, {}));
  EXPECT_FALSE(s.model->supports(dirtree_feature_cut_paste, {}));
}

TEST(DirtreeModel, RenamesWhatIsTypedIntoTheEditor)
{
  shown_tree_t s;
  recording_ui_callback_t log;
  s.view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.view));
  QTest::mouseClick(s.view.viewport(), Qt::LeftButton, {}, s.view.visualRect(s.view.row_named("x")).center());
  QTest::keyClick(&s.view, Qt::Key_F2);
  auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "renamed");
  save_screenshot(s.view, "typing");
  QTest::keyClick(editor, Qt::Key_Return);
  s.view.settle();
  EXPECT_EQ(s.t.spec->names[inode_x], "renamed");
  EXPECT_EQ(s.view.shown_rows(), (std::vector<std::string> {"a", "  b", "  renamed", "c", "y"}));
  save_screenshot(s.view, "renamed");

  // A name that is taken is refused with a log line; the row keeps its text. Clicking the selected row
  // opens the editor (once no double click can follow).
  ASSERT_EQ(s.t->link_or_unlink_path("a/z", true), 0);
  s.view.settle();
  ASSERT_TRUE(s.view.selectionModel()->isSelected(s.view.row_named("renamed")));
  QTest::mouseClick(s.view.viewport(), Qt::LeftButton, {}, s.view.visualRect(s.view.row_named("renamed")).center());
  ASSERT_TRUE(pump_until([] { return qobject_cast<QLineEdit *>(QApplication::focusWidget()) != nullptr; }));
  editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
  editor->selectAll();
  QTest::keyClicks(editor, "z");
  QTest::keyClick(editor, Qt::Key_Return);
  s.view.settle();
  EXPECT_EQ(s.t.spec->names[inode_x], "renamed");
  const std::vector<ui_request_record_t> lines = log.requests_of(ui_code_log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "Cannot rename \"/a/renamed\" to \"/a/z\": already exists\n");
  EXPECT_EQ(s.view.shown_rows(), (std::vector<std::string> {"a", "  b", "  renamed", "  z", "c", "y"}));
}

TEST(DirtreeModel, RefusesRenamesThatChangeNothingWithoutAMessage)
{
  shown_tree_t s;
  recording_ui_callback_t log;
  const QModelIndex x = s.view.row_named("x");
  EXPECT_FALSE(s.model->setData(x, "x"));
  EXPECT_FALSE(s.model->setData(x, ""));
  EXPECT_FALSE(s.model->setData(x, "other", Qt::DisplayRole));
  // The row's entry went away before the view heard of it.
  ASSERT_EQ(s.t->link_or_unlink_path("y", false), 0);
  const QModelIndex stale = s.model->index(2, 0, s.view.rootIndex());
  ASSERT_TRUE(stale.isValid());
  EXPECT_FALSE(s.model->setData(stale, "other"));
  EXPECT_TRUE(log.requests_of(ui_code_log).empty());
  // A folder is renamed through the tree as well.
  EXPECT_TRUE(s.model->setData(s.view.row_named("c"), "c2"));
  EXPECT_EQ(describe_entry(*s.t, s.t->entry_of_path("/c2")), "folder c2");
}

TEST(DirtreeModel, HidesFoldersWithoutShownRowsWhileFiltering)
{
  shown_tree_t s;
  ASSERT_EQ(s.t->link_or_unlink_path("c/z", true), 0);
  s.view.settle();
  s.view.set_conditions({make_condition(filter_test_contains, "x")});
  s.view.expandAll();
  EXPECT_EQ(s.view.shown_rows(), (std::vector<std::string> {"a", "  x"}));
  save_screenshot(s.view, "filtered");
  s.view.set_conditions({});
  s.view.expandAll();
  EXPECT_EQ(s.view.shown_rows(), (std::vector<std::string> {"a", "  b", "  x", "c", "  z", "y"}));
  expect_parents_consistent(*s.model, s.view.rootIndex());
}

TEST(DirtreeModel, FoldersOnlyModelsCountFolderRows)
{
  shown_tree_t s(dirtree_model_folders_only);
  EXPECT_EQ(s.view.shown_rows(), (std::vector<std::string> {"a", "  b", "c"}));
  EXPECT_EQ(s.model->rowCount(s.view.rootIndex()), 2);
  ASSERT_EQ(s.t->link_or_unlink_path("c/z", true), 0);
  ASSERT_EQ(s.t->create_folder("c/d"), 0);
  s.view.settle();
  EXPECT_EQ(s.view.shown_rows(), (std::vector<std::string> {"a", "  b", "c", "  d"}));
}

TEST(DirtreeModel, SortsFolderNamesByteWise)
{
  shown_tree_t s;
  for ( const char *path : {"b2", "B1", "a3"} )
    ASSERT_EQ(s.t->create_folder(path), 0);
  s.view.settle();
  s.view.collapseAll();
  s.view.sortByColumn(0, Qt::AscendingOrder);
  EXPECT_EQ(s.view.shown_rows(), (std::vector<std::string> {"B1", "a", "a3", "b2", "c", "y"}));
  s.view.sortByColumn(0, Qt::DescendingOrder);
  EXPECT_EQ(s.view.shown_rows(), (std::vector<std::string> {"c", "b2", "a3", "a", "B1", "y"}));
  expect_parents_consistent(*s.model, s.view.rootIndex());
  // The rows of a sorted view still lead to their entries.
  EXPECT_EQ(s.model->index_of_path("/b2"), s.view.row_named("b2"));
}

TEST(DirtreeModel, FollowsTreeChangesUnderTheModelTester)
{
  shown_tree_t s;
  struct step_t
  {
    const char *name;
    std::function<int(directory_tree_t &)> change;
    std::vector<std::string> rows;
  };
  const step_t steps[] = {
    {"create", [](auto &t) { return t.create_folder("c/d/e"); }, {"a", "  b", "  x", "c", "  d", "    e", "y"}},
    {"link", [](auto &t) { return t.link_or_unlink_path("c/d/z", true); },
     {"a", "  b", "  x", "c", "  d", "    e", "    z", "y"}},
    {"rename", [](auto &t) { return t.rename_entry("a/x", "a/x1"); },
     {"a", "  b", "  x1", "c", "  d", "    e", "    z", "y"}},
    {"move", [](auto &t) { return t.rename_entry("y", "a/b"); },
     {"a", "  b", "    y", "  x1", "c", "  d", "    e", "    z"}},
    {"shift", [](auto &t) { return t.change_position("a/x1", -1); },
     {"a", "  x1", "  b", "    y", "c", "  d", "    e", "    z"}},
    {"unlink", [](auto &t) { return t.link_or_unlink_path("c/d/z", false); },
     {"a", "  x1", "  b", "    y", "c", "  d", "    e"}},
    {"delete", [](auto &t) { return t.delete_folder("c/d/e"); }, {"a", "  x1", "  b", "    y", "c", "  d"}},
  };
  for ( const step_t &step : steps )
  {
    SCOPED_TRACE(step.name);
    s.change([&] { return step.change(*s.t); });
    s.view.expandAll(); // new folders come in collapsed
    EXPECT_EQ(s.view.shown_rows(), step.rows);
    expect_parents_consistent(*s.model, s.view.rootIndex());
  }
}

TEST(DirtreeModel, RowChangesAndDropsOfOtherKindsChangeNothing)
{
  shown_tree_t s;
  const QModelIndex root = s.view.rootIndex();
  EXPECT_FALSE(s.model->insertRows(0, 2, root));
  EXPECT_FALSE(s.model->removeRows(0, 1, root));
  EXPECT_FALSE(s.model->insertColumns(0, 1, root));
  EXPECT_FALSE(s.model->removeColumns(0, 1, root));
  EXPECT_EQ(s.view.shown_rows(), all_rows);
  QMimeData data;
  EXPECT_TRUE(s.model->dropMimeData(&data, Qt::IgnoreAction, 0, 0, root));
  EXPECT_FALSE(s.model->dropMimeData(&data, Qt::CopyAction, 0, 0, root));
  EXPECT_EQ(s.model->mimeTypes(), QStringList {"treewidget/x-inodes"});
  EXPECT_EQ(s.model->supportedDropActions(), Qt::MoveAction);
  EXPECT_EQ(s.model->headerData(1, Qt::Horizontal).toString(), "Size");
  EXPECT_FALSE(s.model->headerData(2, Qt::Horizontal).isValid());
  EXPECT_FALSE(s.model->headerData(0, Qt::Vertical).isValid());
  EXPECT_EQ(s.model->column_width(1, &s.view), 2 * 8 * s.view.fontMetrics().height() / 3);
  EXPECT_EQ(s.model->column_width(2, &s.view), -1);
}

TEST(DirtreePaths, SplitAndJoin)
{
  struct split_t
  {
    const char *path;
    bool ok;
    const char *folder;
    const char *name;
  };
  const split_t splits[] = {
    {"/a", true, "/", "a"}, {"/a/b", true, "/a", "b"}, {"a", false, "?", "?"}, {"/a/", true, "/a", ""}, {"/", true, "/", ""},
  };
  for ( const split_t &c : splits )
  {
    qstring folder("?");
    qstring name("?");
    EXPECT_EQ(split_dirtree_path(&folder, &name, c.path), c.ok) << c.path;
    EXPECT_EQ(folder, c.folder) << c.path;
    EXPECT_EQ(name, c.name) << c.path;
  }
  struct join_t
  {
    const char *path;
    const char *component;
    const char *joined;
  };
  const join_t joins[] = {{"/a/", "b", "/a/b"}, {"/a", "/b", "/a/b"}, {"", "b", "/b"}, {"/a", "b", "/a/b"}};
  for ( const join_t &c : joins )
  {
    qstring path(c.path);
    join_dirtree_path(&path, {c.component});
    EXPECT_EQ(path, c.joined) << c.path << " + " << c.component;
  }
}
