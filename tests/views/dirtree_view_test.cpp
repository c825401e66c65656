// The base tree view: titles and options, tree changes reaching every live view, the selection signals under
// real clicks, editing triggers, folder information, positions, and the scoped change of the current folder.
#include "tests/support/interr_capture.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "tests/views/dirtree_test_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace
{

constexpr uint64_t inode_x = sample_x;
constexpr uint64_t inode_y = sample_y;
constexpr uint64_t inode_z = sample_z;

// The sample tree in a view that is shown on the screen.
struct shown_sample_t : view_sample_t
{
  shown_sample_t() : view("Files", 0)
  {
    model = view.show_tree(t.tree.get());
    view.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
  }
  test_dirtree_view_t view;
  test_tree_model_t *model;
};

void click_row(test_dirtree_view_t &view, const std::string &name, Qt::KeyboardModifiers modifiers = {})
{
  const QModelIndex row = view.row_named(name);
  ASSERT_TRUE(row.isValid()) << name;
  QTest::mouseClick(view.viewport(), Qt::LeftButton, modifiers, view.visualRect(row).center());
}

} // namespace

TEST(DirtreeView, PersistedViewsNeedATitle)
{
  for ( const uint32_t options : {dirtree_view_save_state, dirtree_view_persisted, dirtree_view_restore_state} )
    EXPECT_EQ(interr_number([options] { test_dirtree_view_t view(nullptr, options); }),
              interr_dirtree_view_without_title)
      << options;
  // The refused views are not left among the live views: a tree event reaches only real ones.
  view_sample_t s;
  test_dirtree_view_t view(nullptr, dirtree_view_no_header);
  view.show_tree(s.t.tree.get());
  EXPECT_TRUE(view.header()->isHidden());
  EXPECT_EQ(view.windowTitle(), "");
  ASSERT_EQ(s.t->create_folder("d"), 0);
  view.settle();
  EXPECT_TRUE(view.row_named("d").isValid());
}

TEST(DirtreeView, NewFoldersExpandTheirParentInEveryView)
{
  view_sample_t s;
  test_dirtree_view_t first("First", 0);
  test_dirtree_view_t second("Second", 0);
  first.show_tree(s.t.tree.get());
  second.show_tree(s.t.tree.get());
  for ( test_dirtree_view_t *view : {&first, &second} )
  {
    view->collapse(view->row_named("c"));
    ASSERT_FALSE(view->isExpanded(view->row_named("c")));
  }
  ASSERT_EQ(s.t->create_folder("c/new"), 0);
  for ( test_dirtree_view_t *view : {&first, &second} )
  {
    view->settle();
    EXPECT_TRUE(view->isExpanded(view->row_named("c")));
    EXPECT_EQ(view->shown_rows(), (std::vector<std::string> {"a", "  b", "  x", "c", "  new", "  z", "y"}));
  }
  // A rename brings no new entry: a collapsed folder stays collapsed.
  first.collapse(first.row_named("a"));
  ASSERT_EQ(s.t->rename_entry("y", "a/y"), 0);
  first.settle();
  EXPECT_FALSE(first.isExpanded(first.row_named("a")));
  first.show();
  save_screenshot(first, "after");
}

TEST(DirtreeView, AnnouncesSelectionsAsCursors)
{
  shown_sample_t s;
  test_dirtree_view_t &view = s.view;
  QSignalSpy selections(&view, &base_dirtree_widget_t::selection_changed);
  QSignalSpy currents(&view, &base_dirtree_widget_t::current_changed);
  const uint64_t a = s.t->entry_of_path("a").id;

  click_row(view, "x");
  ASSERT_FALSE(selections.isEmpty());
  EXPECT_EQ(selections.last().at(0).value<dirtree_selection_t>(), (dirtree_selection_t {{int64_t(a), 1}}));
  ASSERT_FALSE(currents.isEmpty());
  EXPECT_EQ(currents.last().at(0).value<dirtree_cursor_t>(), (dirtree_cursor_t {int64_t(a), 1}));

  click_row(view, "y", Qt::ControlModifier);
  const dirtree_selection_t both = selections.last().at(0).value<dirtree_selection_t>();
  EXPECT_EQ(both.size(), 2u);
  dirtree_selection_t collected;
  view.collect_current_selection(collected);
  EXPECT_EQ(collected.size(), 2u);
  // In view order on request: x (inside a) comes before y (at the root's end).
  dirtree_selection_t ordered;
  view.collect_selection(nullptr, &ordered, nullptr, dirtree_view_ordered_selection, true);
  EXPECT_EQ(ordered, (dirtree_selection_t {{int64_t(a), 1}, {0, 2}}));
  save_screenshot(view, "two-rows");

  // Rows whose entries went away (the view has not heard yet) are dropped from what is announced.
  s.refresher.enabled = false;
  ASSERT_EQ(s.t->link_or_unlink_path("a/x", false), 0);
  click_row(view, "x");
  EXPECT_EQ(selections.last().at(0).value<dirtree_selection_t>(), dirtree_selection_t {});
  EXPECT_TRUE(is_empty_cursor(currents.last().at(0).value<dirtree_cursor_t>()));
  view.post_model_update(7, false);
  view.settle();
  EXPECT_FALSE(view.row_named("x").isValid());
}

TEST(DirtreeView, CollectsTheRowsTheSelectionModelSelects)
{
  struct click_t
  {
    const char *row;
    Qt::KeyboardModifiers modifiers;
  };
  // With the folders collapsed, a range from one top row to another is a single range of one parent; sorted
  // descending, the view's rows lie in another order than the tree's.
  enum arrangement_t
  {
    expanded,
    collapsed,
    collapsed_descending,
  };
  struct case_t
  {
    const char *why;
    std::vector<click_t> clicks;
    arrangement_t arrangement = expanded;
  };
  const case_t cases[] = {
    {"one parent's rows in one range", {{"a", {}}, {"y", Qt::ShiftModifier}}, collapsed},
    {"one range of rows sorted the other way", {{"c", {}}, {"y", Qt::ShiftModifier}}, collapsed_descending},
    {"a part of one range of sorted rows", {{"a", {}}, {"y", Qt::ShiftModifier}}, collapsed_descending},
    {"one row", {{"x", {}}}},
    {"a range across folders and depths", {{"b", {}}, {"y", Qt::ShiftModifier}}},
    {"a range with a row taken out", {{"a", {}}, {"y", Qt::ShiftModifier}, {"c", Qt::ControlModifier}}},
    {"a row taken out and put back", {{"a", {}}, {"y", Qt::ShiftModifier}, {"x", Qt::ControlModifier}, {"x", Qt::ControlModifier}}},
    {"rows picked bottom up", {{"y", {}}, {"z", Qt::ControlModifier}, {"x", Qt::ControlModifier}, {"a", Qt::ControlModifier}}},
    {"a range picked bottom up, then one more", {{"y", {}}, {"b", Qt::ShiftModifier}, {"a", Qt::ControlModifier}}},
  };
  for ( const case_t &c : cases )
  {
    shown_sample_t s;
    test_dirtree_view_t &view = s.view;
    if ( c.arrangement != expanded )
      view.collapseAll();
    if ( c.arrangement == collapsed_descending )
    {
      view.sortByColumn(0, Qt::DescendingOrder);
      ASSERT_EQ(view.shown_rows(), (std::vector<std::string> {"c", "a", "y"}));
    }
    for ( const click_t &click : c.clicks )
      click_row(view, click.row, click.modifiers);
    if ( c.arrangement != expanded )
    {
      ASSERT_EQ(view.selectionModel()->selection().size(), 1) << c.why;
    }
    // The rows of the selection model, in its order; then the same sorted by where the view shows them.
    const QModelIndexList expected = view.selectionModel()->selectedRows(0);
    ASSERT_FALSE(expected.isEmpty()) << c.why;
    QModelIndexList in_view_order = expected;
    std::stable_sort(in_view_order.begin(), in_view_order.end(), [&view](const QModelIndex &a, const QModelIndex &b) {
      return view.visualRect(a).top() < view.visualRect(b).top();
    });

    QModelIndexList collected;
    view.collect_selection(&collected, nullptr, nullptr, 0, false);
    EXPECT_EQ(collected, expected) << c.why;
    QModelIndexList ordered;
    dirtree_selection_t cursors;
    view.collect_selection(&ordered, &cursors, nullptr, dirtree_view_ordered_selection, true);
    EXPECT_EQ(ordered, in_view_order) << c.why;
    ASSERT_EQ(cursors.size(), size_t(in_view_order.size())) << c.why;
    for ( int i = 0; i < in_view_order.size(); ++i )
      EXPECT_EQ(cursors[size_t(i)], dirtree_item_model_base_t::index_to_cursor(in_view_order[i])) << c.why << " " << i;
    // The top rows' cursors lead to the entries the rows show.
    for ( size_t i = 0; c.arrangement != expanded && i < cursors.size(); ++i )
      EXPECT_EQ(s.model->current_tree()->entry_at_cursor(cursors[i]).id,
                s.t->entry_of_path(in_view_order[int(i)].data().toString().toStdString().c_str()).id)
        << c.why << " " << i;
  }
}

TEST(DirtreeView, DoubleClickDoesNotEdit)
{
  shown_sample_t s;
  test_dirtree_view_t &view = s.view;
  const QPoint at = view.visualRect(view.row_named("y")).center();
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, at);
  QTest::qWait(QApplication::doubleClickInterval() + 100);
  EXPECT_EQ(qobject_cast<QLineEdit *>(QApplication::focusWidget()), nullptr);
  EXPECT_EQ(s.t.spec->names[inode_y], "y");
}

TEST(DirtreeView, AnswersFoldersPositionsAndEntriesBelow)
{
  shown_sample_t s;
  test_dirtree_view_t &view = s.view;
  const uint64_t a = s.t->entry_of_path("a").id;
  click_row(view, "x");

  base_dirtree_widget_t::folder_info_t info;
  ASSERT_TRUE(view.current_folder_info(&info, folder_info_path | folder_info_folder_of_item));
  EXPECT_EQ(info.path, "/a");
  EXPECT_EQ(info.folder, (dirtree_cursor_t {0, 0}));
  EXPECT_EQ(info.entry, (dirtree_cursor_t {int64_t(a), 1}));
  ASSERT_TRUE(view.current_folder_info(&info, folder_info_path | folder_info_current));
  EXPECT_EQ(info.path, "/a/x");

  base_dirtree_widget_t::view_position_t position;
  view.collect_view_position(&position, view_position_current | view_position_selected);
  EXPECT_EQ(position.current_row, 2);
  EXPECT_EQ(position.selected_rows, std::vector<int32_t> {2});
  EXPECT_EQ(position.current_path, "/a/x");
  EXPECT_EQ(position.row_count, 6);

  EXPECT_TRUE(view.select_visual_row(4));
  EXPECT_EQ(selected_names(view), std::vector<std::string> {"z"});
  EXPECT_EQ(view.index_at_visual_row(5, 1), view.row_named("y").siblingAtColumn(1));
  EXPECT_FALSE(view.select_visual_row(6));

  std::vector<uint64_t> inodes;
  std::vector<qstring> folders;
  view.collect_entries_below(&inodes, &folders, dirtree_root_cursor, 5);
  EXPECT_EQ(inodes, (std::vector<uint64_t> {inode_x, inode_z, inode_y}));
  ASSERT_EQ(folders.size(), 4u);
  EXPECT_EQ(folders.back(), "/");
  inodes.clear();
  folders.clear();
  view.collect_entries_below(&inodes, &folders, {0, 0}, 1); // a, without going into it
  EXPECT_TRUE(inodes.empty());
  EXPECT_EQ(folders, std::vector<qstring> {"/a"});

  // Only listed empty folders other than the root are removed.
  view.remove_empty_folders({"/a/b", "/a", "/", "/missing"});
  EXPECT_TRUE(s.t->entry_of_path("/a/b").is_none());
  EXPECT_EQ(describe_entry(*s.t, s.t->entry_of_path("/a")), "folder a");
  EXPECT_TRUE(view.model_supports(dirtree_feature_rename_items));
  EXPECT_FALSE(view.model_supports(dirtree_feature_drag_drop));
  EXPECT_EQ(view.tree_filter_engine(), &view);
}

TEST(DirtreeView, ChangesTheCurrentFolderForAScope)
{
  view_sample_t s;
  auto view = std::make_unique<test_dirtree_view_t>("Files", 0);
  view->show_tree(s.t.tree.get());
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  click_row(*view, "x");
  {
    scoped_dirtree_chdir_t scope(view.get(), nullptr);
    EXPECT_EQ(s.t->current_folder_path(), "/a");
    EXPECT_EQ(describe_entry(*s.t, s.t->entry_of_path("x")), "item x");
  }
  EXPECT_EQ(s.t->current_folder_path(), "/");
  {
    scoped_dirtree_chdir_t scope(view.get(), "/c");
    EXPECT_EQ(s.t->current_folder_path(), "/c");
    view.reset(); // the view dies first: the tree keeps the folder
  }
  EXPECT_EQ(s.t->current_folder_path(), "/c");
}
