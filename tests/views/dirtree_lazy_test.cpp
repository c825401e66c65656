// The lazily loading tree model: pending folders show an expander, each folder is read once when the user
// expands it, a failed read stays pending, and a rebuilt tree reads its expanded folders again by path.
#include "tests/views/dirtree_test_view.h"

#include <QTest>

#include <gtest/gtest.h>

namespace
{

// An empty tree whose folders a source fills: "/" gives d1, d2 and y; "/d1" gives e and x; "/d2" gives z
// unless it is set to fail; "/d1/e" is empty.
struct lazy_tree_t
{
  explicit lazy_tree_t(uint32_t model_options = dirtree_model_lazy) : refresher(t.tree.get()), view("Lazy", 0)
  {
    for ( const auto &[name, inode] : std::vector<std::pair<std::string, uint64_t>> {{"x", 10}, {"y", 11}, {"z", 12}} )
      t.spec->add_item(name, inode);
    t->add_event_handler(&refresher);
    model = view.show_tree(t.tree.get(), model_options);
    model->loader_function = [this](const std::string &path) { return read(path); };
  }
  bool read(const std::string &path)
  {
    if ( path == "/" )
    {
      for ( const char *folder : root_folders )
        EXPECT_EQ(t->create_folder(folder), 0);
      return t->link_or_unlink_path("/y", true) == 0;
    }
    if ( path == "/d1" )
      return t->create_folder("/d1/e") == 0 && t->link_or_unlink_path("/d1/x", true) == 0;
    if ( path == "/d1/e" )
      return true;
    if ( path == "/d2" && !fail_d2 )
      return t->link_or_unlink_path("/d2/z", true) == 0;
    return false;
  }
  // Makes the row current and presses a key on it, as a user expanding or collapsing it.
  void press_on(const std::string &name, Qt::Key key)
  {
    const QModelIndex row = view.row_named(name);
    ASSERT_TRUE(row.isValid()) << name;
    view.setCurrentIndex(row);
    QTest::keyClick(&view, key);
    view.settle();
  }

  test_tree_t t;
  tree_refresh_handler_t refresher;
  test_dirtree_view_t view;
  test_tree_model_t *model;
  std::vector<const char *> root_folders {"d1", "d2"};
  bool fail_d2 = false;
};

} // namespace

TEST(DirtreeLazy, ReadsEachFolderOnceWhenExpanded)
{
  lazy_tree_t l;
  dirtree_lazy_loader_t *loader = l.model->lazy_loader();
  ASSERT_NE(loader, nullptr);
  // The root is pending: it offers children before anything was read.
  EXPECT_TRUE(l.model->hasChildren(l.view.rootIndex()));
  EXPECT_EQ(l.model->rowCount(l.view.rootIndex()), 0);
  EXPECT_EQ(loader->load_path("/", 0), 0u);
  l.view.settle();
  EXPECT_FALSE(loader->is_pending(0));
  EXPECT_EQ(l.view.shown_rows(), (std::vector<std::string> {"d1", "d2", "y"}));
  // Folders made while reading are known but not read: they offer children too.
  EXPECT_TRUE(l.model->hasChildren(l.view.row_named("d1")));
  EXPECT_EQ(l.model->rowCount(l.view.row_named("d1")), 0);
  EXPECT_FALSE(l.model->hasChildren(l.view.row_named("y")));

  l.press_on("d1", Qt::Key_Right);
  EXPECT_EQ(l.view.shown_rows(), (std::vector<std::string> {"d1", "  e", "  x", "d2", "y"}));
  l.press_on("d1", Qt::Key_Left);
  l.press_on("d1", Qt::Key_Right);
  EXPECT_EQ(l.model->loads, (std::vector<std::string> {"/", "/d1"}));
  EXPECT_EQ(l.model->load_flags, (std::vector<int> {0, 0}));
  // e was made by a read: pending, though it will turn out empty.
  EXPECT_TRUE(l.model->hasChildren(l.view.row_named("e")));
  l.press_on("e", Qt::Key_Right);
  EXPECT_EQ(l.model->loads.back(), "/d1/e");
  EXPECT_FALSE(l.model->hasChildren(l.view.row_named("e")));
}

TEST(DirtreeLazy, AFailedReadStaysPending)
{
  lazy_tree_t l;
  l.fail_d2 = true;
  ASSERT_EQ(l.model->lazy_loader()->load_path("/", 0), 0u);
  l.view.settle();
  const uint64_t d2 = l.t->entry_of_path("/d2").id;
  l.press_on("d2", Qt::Key_Right);
  EXPECT_TRUE(l.model->lazy_loader()->is_pending(d2));
  EXPECT_TRUE(l.model->hasChildren(l.view.row_named("d2")));
  l.fail_d2 = false;
  l.press_on("d2", Qt::Key_Left);
  l.press_on("d2", Qt::Key_Right);
  EXPECT_FALSE(l.model->lazy_loader()->is_pending(d2));
  EXPECT_EQ(l.model->loads, (std::vector<std::string> {"/", "/d2", "/d2"}));
  EXPECT_EQ(l.view.shown_rows(), (std::vector<std::string> {"d1", "d2", "  z", "y"}));
  // A read that succeeds without making the folder answers none.
  EXPECT_EQ(l.model->lazy_loader()->load_path("/d2/z", 0), dirtree_none);
}

TEST(DirtreeLazy, WithoutTheOptionNothingIsRead)
{
  lazy_tree_t l(0);
  EXPECT_FALSE(l.model->hasChildren(l.view.rootIndex()));
  ASSERT_EQ(l.t->create_folder("d1"), 0);
  l.view.settle();
  l.press_on("d1", Qt::Key_Right);
  EXPECT_TRUE(l.model->loads.empty());
}

TEST(DirtreeLazy, ARebuiltTreeReadsItsExpandedFoldersByPath)
{
  lazy_tree_t l;
  ASSERT_EQ(l.model->lazy_loader()->load_path("/", 0), 0u);
  l.view.settle();
  l.press_on("d1", Qt::Key_Right);
  ASSERT_EQ(l.t->create_folder("/d3"), 0);
  l.view.settle();
  l.view.expand(l.view.row_named("d3"));
  const uint64_t old_d1 = l.t->entry_of_path("/d1").id;
  view_snapshot_t snapshot;
  l.view.take_tree_snapshot(&snapshot, tree_snapshot_folders);
  dirtree_widget_state_t state;
  l.view.collect_tree_state(&state, tree_state_folders | tree_state_folder_paths, nullptr);

  // The source now lists its folders the other way round; d3 is gone from it.
  l.t->clear_tree();
  l.root_folders = {"d2", "d1"};
  l.model->loads.clear();
  l.model->load_flags.clear();
  l.model->preload_expanded_folders(&snapshot, state);
  EXPECT_EQ(l.model->loads, (std::vector<std::string> {"/", "/d1", "/d3"}));
  EXPECT_EQ(l.model->load_flags, (std::vector<int> {1, 1, 1}));
  const uint64_t new_d1 = l.t->entry_of_path("/d1").id;
  ASSERT_NE(new_d1, old_d1);
  EXPECT_EQ(snapshot.record_of(old_d1), nullptr);
  EXPECT_NE(snapshot.record_of(new_d1), nullptr);
  EXPECT_NE(snapshot.record_of(dirtree_none), nullptr); // d3's record: its folder is gone
  EXPECT_FALSE(l.model->lazy_loader()->is_pending(new_d1));
  EXPECT_TRUE(l.model->lazy_loader()->is_pending(l.t->entry_of_path("/d2").id));
}

TEST(DirtreeLazy, CreatesEntriesInAFolder)
{
  lazy_tree_t l;
  ASSERT_EQ(l.model->lazy_loader()->load_path("/", 0), 0u);
  EXPECT_EQ(l.model->create_entry("/d1", "new", true, nullptr), 0);
  EXPECT_EQ(l.model->create_entry("/d1", "x", false, nullptr), 0);
  EXPECT_EQ(l.model->create_entry("/d1", "x", false, nullptr), dirtree_already_exists);
  EXPECT_EQ(l.model->create_entry("/", "d2", true, nullptr), dirtree_already_exists);
  l.view.settle();
  l.view.expandAll();
  EXPECT_EQ(l.view.shown_rows(), (std::vector<std::string> {"d1", "  new", "  x", "d2", "y"}));
}
