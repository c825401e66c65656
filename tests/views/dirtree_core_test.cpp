// The directory-tree core: path resolution, the changes with their codes and events, the folder limit,
// cursors and names, sorted folders, searches, walks and detached copies.
#include "tests/support/interr_capture.h"
#include "tests/views/dirtree_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{

constexpr uint64_t inode_x = 10;
constexpr uint64_t inode_y = 11;
constexpr uint64_t inode_z = 12;

// /a/ (with /a/b/ and the item x), /c/ and the item y at the root; z is known but linked nowhere.
struct sample_tree_t : test_tree_t
{
  explicit sample_tree_t(bool orderable = false)
  {
    if ( orderable )
    {
      spec->flags = dirspec_orderable;
      tree->clear_tree();
    }
    spec->add_item("x", inode_x);
    spec->add_item("y", inode_y);
    spec->add_item("z", inode_z);
    EXPECT_EQ(tree->create_folder("a/b"), 0);
    EXPECT_EQ(tree->create_folder("c"), 0);
    EXPECT_EQ(tree->link_or_unlink_path("a/x", true), 0);
    EXPECT_EQ(tree->link_or_unlink_path("y", true), 0);
    tree->add_event_handler(&events);
  }
  recording_tree_handler_t events;
};

const std::vector<std::string> sample_walk = {"/a/", "/a/b/", "/a/x", "/c/", "/y"};

} // namespace

TEST(DirtreeCore, ResolvesPaths)
{
  struct case_t
  {
    const char *path;
    const char *current;
    const char *expected;
  };
  const case_t cases[] = {
    {"", "/", "none item"},
    {"/", "/", "root"},
    {"//", "/", "root"},
    {"a", "/", "folder a"},
    {"/a/b", "/", "folder b"},
    {"a//b", "/", "folder b"},
    {"a/b/", "/", "folder b"},
    {"a/./b", "/", "folder b"},
    {"a/b/..", "/", "folder a"},
    {"/..", "/", "root"},
    {"a/x", "/", "item x"},
    {"a/x/", "/", "item x"},
    {"a/x/more", "/", "item x"},
    {"a/missing/more", "/", "none folder"},
    {"a/y", "/", "none folder"},
    {"a/z", "/", "none folder"},
    {".", "/a", "folder a"},
    {"b", "/a", "folder b"},
    {"../c", "/a", "folder c"},
    {"x", "/a", "item x"},
    {"/y", "/a", "item y"},
    {"y", "/a", "none folder"},
  };
  for ( const case_t &c : cases )
  {
    sample_tree_t t;
    ASSERT_EQ(t->change_folder(c.current), 0);
    EXPECT_EQ(describe_entry(*t, t->entry_of_path(c.path)), c.expected) << c.path << " from " << c.current;
  }
}

TEST(DirtreeCore, ChangesAnswerTheirCodesAndSendOneEventOnlyOnSuccess)
{
  using action_t = std::function<int(sample_tree_t &)>;
  struct case_t
  {
    const char *name;
    action_t action;
    int code;
    std::vector<tree_event_t> events;
    std::vector<std::string> walk; // empty: unchanged
  };
  const case_t cases[] = {
    {"create a/b/c/d", [](auto &t) { return t->create_folder("a/b/c/d"); }, 0, {{65, "a/b/c/d"}},
     {"/a/", "/a/b/", "/a/b/c/", "/a/b/c/d/", "/a/x", "/c/", "/y"}},
    {"create with a trailing slash", [](auto &t) { return t->create_folder("a/q/"); }, 0, {{65, "a/q/"}},
     {"/a/", "/a/b/", "/a/q/", "/a/x", "/c/", "/y"}},
    {"create through .", [](auto &t) { return t->create_folder("a/./q"); }, 0, {{65, "a/./q"}},
     {"/a/", "/a/b/", "/a/q/", "/a/x", "/c/", "/y"}},
    {"create above the root", [](auto &t) { return t->create_folder("../q"); }, 0, {{65, "../q"}},
     {"/a/", "/a/b/", "/a/x", "/c/", "/q/", "/y"}},
    {"create existing", [](auto &t) { return t->create_folder("a/b"); }, 1, {}, {}},
    {"create the root", [](auto &t) { return t->create_folder("/"); }, 1, {}, {}},
    {"create over an item", [](auto &t) { return t->create_folder("a/x"); }, 1, {}, {}},
    {"create below an item", [](auto &t) { return t->create_folder("a/x/q"); }, 5, {}, {}},
    {"create empty", [](auto &t) { return t->create_folder(""); }, 5, {}, {}},
    {"delete empty folder", [](auto &t) { return t->delete_folder("c"); }, 0, {{66, "c"}},
     {"/a/", "/a/b/", "/a/x", "/y"}},
    {"delete the root", [](auto &t) { return t->delete_folder("/"); }, 4, {}, {}},
    {"delete a full folder", [](auto &t) { return t->delete_folder("/a"); }, 4, {}, {}},
    {"delete an item", [](auto &t) { return t->delete_folder("a/x"); }, 3, {}, {}},
    {"delete missing", [](auto &t) { return t->delete_folder("zz"); }, 2, {}, {}},
    {"delete below missing", [](auto &t) { return t->delete_folder("zz/q"); }, 5, {}, {}},
    {"link", [](auto &t) { return t->link_or_unlink_path("a/z", true); }, 0, {{67, "a/z 1"}},
     {"/a/", "/a/b/", "/a/x", "/a/z", "/c/", "/y"}},
    {"link into a second folder", [](auto &t) { return t->link_or_unlink_path("c/y", true); }, 0, {{67, "c/y 1"}},
     {"/a/", "/a/b/", "/a/x", "/c/", "/c/y", "/y"}},
    {"link twice", [](auto &t) { return t->link_or_unlink_path("a/x", true); }, 1, {}, {}},
    {"link unknown", [](auto &t) { return t->link_or_unlink_path("a/nothing", true); }, 2, {}, {}},
    {"link a name with a slash", [](auto &t) { return t->link_or_unlink_path("a/", true); }, 5, {}, {}},
    {"link into missing", [](auto &t) { return t->link_or_unlink_path("q/z", true); }, 5, {}, {}},
    {"unlink", [](auto &t) { return t->link_or_unlink_path("a/x", false); }, 0, {{67, "a/x 0"}},
     {"/a/", "/a/b/", "/c/", "/y"}},
    {"unlink what is not linked", [](auto &t) { return t->link_or_unlink_path("a/z", false); }, 2, {}, {}},
    {"rename an item", [](auto &t) { return t->rename_entry("a/x", "a/x2"); }, 0, {{68, "a/x a/x2"}},
     {"/a/", "/a/b/", "/a/x2", "/c/", "/y"}},
    {"rename an item to its name", [](auto &t) { return t->rename_entry("a/x", "a/x"); }, 0, {{68, "a/x a/x"}}, {}},
    {"rename a folder to its name", [](auto &t) { return t->rename_entry("a", "a"); }, 7, {}, {}},
    {"rename a folder", [](auto &t) { return t->rename_entry("c", "d"); }, 0, {{68, "c d"}},
     {"/a/", "/a/b/", "/a/x", "/d/", "/y"}},
    {"move into a folder", [](auto &t) { return t->rename_entry("y", "c"); }, 0, {{68, "y c"}},
     {"/a/", "/a/b/", "/a/x", "/c/", "/c/y"}},
    {"move and rename", [](auto &t) { return t->rename_entry("c", "a/c2"); }, 0, {{68, "c a/c2"}},
     {"/a/", "/a/b/", "/a/c2/", "/a/x", "/y"}},
    {"move into own subfolder", [](auto &t) { return t->rename_entry("a", "a/b/q"); }, 7, {}, {}},
    {"move onto an item", [](auto &t) { return t->rename_entry("y", "a/x"); }, 1, {}, {}},
    {"move a folder onto an item", [](auto &t) { return t->rename_entry("c", "a/x"); }, 1, {}, {}},
    {"rename missing", [](auto &t) { return t->rename_entry("missing", "q"); }, 2, {}, {}},
    {"rename below an item", [](auto &t) { return t->rename_entry("a/x/more", "q"); }, 5, {}, {}},
    {"rename refused", [](auto &t) {
       t.spec->refuse_renames = true;
       return t->rename_entry("a/x", "c/x9");
     }, 6, {}, {}},
    {"shift by 0", [](auto &t) { return t->change_position("a/x", 0); }, 0, {}, {}},
    {"shift past the end", [](auto &t) { return t->change_position("a/b", 5); }, 0, {{69, "a/b 1"}},
     {"/a/", "/a/x", "/a/b/", "/c/", "/y"}},
    {"shift before the start", [](auto &t) { return t->change_position("y", -9); }, 0, {{69, "y 0"}},
     {"/y", "/a/", "/a/b/", "/a/x", "/c/"}},
    {"shift to where it is", [](auto &t) { return t->change_position("a/b", -1); }, 0, {{69, "a/b 0"}}, {}},
    {"shift the root", [](auto &t) { return t->change_position("/", 1); }, 5, {}, {}},
    {"shift missing", [](auto &t) { return t->change_position("zz", 1); }, 2, {}, {}},
    {"shift an item named as a folder", [](auto &t) { return t->change_position("a/x/", 1); }, 3, {}, {}},
    {"change folder", [](auto &t) { return t->change_folder("a/b"); }, 0, {}, {}},
    {"change folder to an item", [](auto &t) { return t->change_folder("a/x"); }, 3, {}, {}},
    {"change folder to missing", [](auto &t) { return t->change_folder("zz"); }, 2, {}, {}},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    sample_tree_t t;
    EXPECT_EQ(c.action(t), c.code);
    EXPECT_EQ(t.events.events, c.events);
    EXPECT_EQ(walk_paths(*t), c.walk.empty() ? sample_walk : c.walk);
    expect_tree_consistent(*t);
  }
}

TEST(DirtreeCore, RenamesAndUnlinksReachTheDirspec)
{
  sample_tree_t t;
  ASSERT_EQ(t->rename_entry("a/x", "c/renamed"), 0);
  EXPECT_EQ(t.spec->names[inode_x], "renamed");
  ASSERT_EQ(t->link_or_unlink_path("c/renamed", false), 0);
  EXPECT_EQ(t.spec->unlinked, std::vector<uint64_t> {inode_x});
  // Items are asked for by their folder's path with a trailing '/'.
  t.spec->asked_folders.clear();
  (void)t->entry_of_path("/a/b/q");
  EXPECT_EQ(t.spec->asked_folders, std::vector<std::string> {"/a/b/"});
}

TEST(DirtreeCore, DeletingTheCurrentFolderMakesItsParentCurrent)
{
  sample_tree_t t;
  ASSERT_EQ(t->change_folder("a/b"), 0);
  ASSERT_EQ(t->delete_folder("/a/b"), 0);
  EXPECT_EQ(t->current_folder_path(), "/a");
}

TEST(DirtreeCore, FolderNumbersAreLimitedAndReused)
{
  test_tree_t t;
  // 255 folders of 256 sub-folders each fill the 65,536 records without long folders to search.
  std::string path;
  for ( int outer = 0; outer < 255; ++outer )
    for ( int inner = 0; inner < 256; ++inner )
    {
      path = "f" + std::to_string(outer) + "/g" + std::to_string(inner);
      ASSERT_EQ(t->create_folder(path.c_str()), 0) << path;
    }
  ASSERT_EQ(t->impl()->folders().size(), dirtree_max_folders);
  EXPECT_EQ(t->create_folder("more"), dirtree_too_many_folders);
  EXPECT_EQ(t->create_folder("f3/more"), dirtree_too_many_folders);

  // The last record is dropped; any other one is freed and its number taken first.
  const uint64_t middle = t->entry_of_path("f3/g7").id;
  ASSERT_EQ(t->delete_folder("f3/g7"), 0);
  EXPECT_EQ(t->impl()->free_folders(), std::vector<uint64_t> {middle});
  ASSERT_EQ(t->create_folder("more"), 0);
  EXPECT_EQ(t->entry_of_path("more").id, middle);
  EXPECT_EQ(t->create_folder("more2"), dirtree_too_many_folders);
  ASSERT_EQ(t->delete_folder("f254/g255"), 0);
  EXPECT_EQ(t->impl()->folders().size(), dirtree_max_folders - 1);
  EXPECT_TRUE(t->impl()->free_folders().empty());
  EXPECT_EQ(t->create_folder("more2"), 0);
}

TEST(DirtreeCore, AnswersCursorsNamesAndPositions)
{
  sample_tree_t t;
  const uint64_t a = t->entry_of_path("a").id;
  const uint64_t b = t->entry_of_path("a/b").id;
  qstring text("untouched");
  EXPECT_TRUE(t->cursor_text(&text, {int64_t(a), 1}, 0));
  EXPECT_EQ(text, "/a/x");
  EXPECT_TRUE(t->cursor_text(&text, dirtree_root_cursor, 0));
  EXPECT_EQ(text, "/");
  EXPECT_TRUE(t->cursor_text(&text, {int64_t(a), 0}, 0));
  EXPECT_EQ(text, "/a/b");
  EXPECT_TRUE(t->cursor_text(&text, dirtree_no_cursor, 0));
  EXPECT_EQ(text, "");
  t.spec->display_prefix = "  ";
  EXPECT_TRUE(t->cursor_text(&text, {int64_t(a), 1}, dirtree_display_name));
  EXPECT_EQ(text, "/a/x");
  t.spec->names.erase(inode_x);
  text = "untouched";
  EXPECT_FALSE(t->cursor_text(&text, {int64_t(a), 1}, 0));
  EXPECT_EQ(text, "untouched");

  EXPECT_FALSE(t->entry_name(nullptr, dirtree_none_folder, 0));
  EXPECT_FALSE(t->entry_name(nullptr, {999, true}, 0));
  EXPECT_TRUE(t->entry_name(&text, {b, true}, 0));
  EXPECT_EQ(text, "b");

  EXPECT_EQ(t->parent_cursor_of_folder(0), dirtree_root_cursor);
  EXPECT_EQ(t->parent_cursor_of_folder(b), (dirtree_cursor_t {int64_t(a), 0}));
  EXPECT_EQ(t->parent_cursor_of_folder(dirtree_none), dirtree_no_cursor);
  EXPECT_EQ(t->parent_cursor_of_folder(999), dirtree_no_cursor);
  ASSERT_EQ(t->delete_folder("a/b"), 0);
  EXPECT_EQ(t->parent_cursor_of_folder(b), dirtree_no_cursor); // a free record

  EXPECT_EQ(t->folder_size(999), dirtree_none);
  EXPECT_EQ(t->folder_entry_count(999), -1);
  EXPECT_EQ(t->folder_entry_count(0), 3);
  EXPECT_EQ(t->position_of_entry(999, {inode_x, false}), -1);
  EXPECT_EQ(t->position_of_entry(a, {inode_y, false}), -1);
  EXPECT_EQ(t->position_in_folder(0, {inode_y, false}), 2);

  dirtree_cursor_t cursor;
  EXPECT_EQ(t->cursor_of_entry(&cursor, {inode_y, false}), 0);
  EXPECT_EQ(cursor, (dirtree_cursor_t {0, 2}));
  EXPECT_EQ(t->cursor_of_entry(&cursor, dirtree_root_entry), 0);
  EXPECT_EQ(cursor, dirtree_root_cursor);
  EXPECT_EQ(t->cursor_of_entry(&cursor, {inode_z, false}), 2);
  EXPECT_EQ(cursor, dirtree_no_cursor);

  dirtree_path_cursor_t found;
  EXPECT_TRUE(t->cursor_of_path("/", &found));
  EXPECT_EQ(found.cursor, dirtree_root_cursor);
  EXPECT_TRUE(t->cursor_of_path("/y", &found));
  EXPECT_EQ(found.cursor, (dirtree_cursor_t {0, 2}));
  EXPECT_EQ(found.name, "y");
  EXPECT_TRUE(t->cursor_of_path("a/.", &found));
  EXPECT_EQ(found.cursor, (dirtree_cursor_t {0, 0}));
  EXPECT_FALSE(t->cursor_of_path("a/missing", &found));
  EXPECT_FALSE(t->cursor_of_path("zz/y", &found));
  EXPECT_FALSE(t->cursor_of_path("y/more", &found));
}

TEST(DirtreeCore, SortedFoldersKeepFoldersFirstAndItemsByInode)
{
  sample_tree_t t(true);
  EXPECT_TRUE(t->is_folder_sorted(0));
  EXPECT_TRUE(t->natural_order_supported());
  const uint64_t a = t->entry_of_path("a").id;
  EXPECT_TRUE(t->in_natural_order(a)); // made inside a sorted folder
  t.spec->add_item("w", 5);
  ASSERT_EQ(t->link_or_unlink_path("w", true), 0);
  ASSERT_EQ(t->link_or_unlink_path("z", true), 0);
  ASSERT_EQ(t->create_folder("e"), 0);
  EXPECT_EQ(folder_names(*t, 0), (std::vector<std::string> {"a/", "c/", "e/", "w", "y", "z"}));
  EXPECT_EQ(t->link_or_unlink_path("w", true), dirtree_already_exists);
  EXPECT_EQ(describe_entry(*t, t->entry_of_path("/z")), "item z");
  expect_tree_consistent(*t);

  // A user's move takes the folder out of sorted order for good.
  ASSERT_EQ(t->change_position("z", -5), 0);
  EXPECT_FALSE(t->is_folder_sorted(0));
  EXPECT_EQ(folder_names(*t, 0), (std::vector<std::string> {"z", "a/", "c/", "e/", "w", "y"}));
  expect_tree_consistent(*t);
  ASSERT_EQ(t->link_or_unlink_path("w", false), 0);
  ASSERT_EQ(t->link_or_unlink_path("w", true), 0);
  EXPECT_EQ(folder_names(*t, 0), (std::vector<std::string> {"z", "a/", "c/", "e/", "y", "w"}));

  // Sorting again keeps the folders' order and sorts the items.
  EXPECT_TRUE(t->set_natural_order(0, true));
  EXPECT_EQ(folder_names(*t, 0), (std::vector<std::string> {"a/", "c/", "e/", "w", "y", "z"}));
  expect_tree_consistent(*t);
  EXPECT_TRUE(t->set_folder_sorted(0, false));
  EXPECT_FALSE(t->is_folder_sorted(0));
  expect_tree_consistent(*t);

  sample_tree_t plain;
  EXPECT_FALSE(plain->set_folder_sorted(0, true));
  EXPECT_FALSE(plain->set_folder_sorted(999, true));
  EXPECT_FALSE(plain->in_natural_order(999));
}

TEST(DirtreeCore, FindsNamesByPatternAndDropsUnnamedItems)
{
  sample_tree_t t;
  ASSERT_EQ(t->link_or_unlink_path("a/z", true), 0);
  dirtree_search_t search;
  std::vector<std::string> found;
  for ( bool more = t->find_first(&search, "a/*"); more; more = t->find_next(&search, true) )
    found.push_back(describe_entry(*t, t->entry_at_cursor({int64_t(search.folder), search.position})));
  EXPECT_EQ(found, (std::vector<std::string> {"folder b", "item x", "item z"}));
  ASSERT_TRUE(t->find_first(&search, "/"));
  EXPECT_EQ(search.folder, dirtree_none);
  EXPECT_FALSE(t->find_first(&search, "a/??"));
  EXPECT_FALSE(t->find_first(&search, "zz/*"));

  // An item the dirspec forgot is unlinked on the way, without marking the folder dirty.
  const uint64_t a = t->entry_of_path("a").id;
  t.spec->names.erase(inode_x);
  ASSERT_TRUE(t->save_dirty_folders());
  ASSERT_TRUE(t->find_first(&search, "a/z"));
  EXPECT_EQ(folder_names(*t, a), (std::vector<std::string> {"b/", "z"}));
  EXPECT_EQ(t.spec->unlinked, std::vector<uint64_t> {inode_x});
  EXPECT_EQ(t->impl()->folders()[a].flags & dirtree_folder_dirty, 0u);
  expect_tree_consistent(*t);
}

TEST(DirtreeCore, WalksDepthFirstAndStopsOnAnAnswer)
{
  sample_tree_t t;
  EXPECT_EQ(walk_paths(*t), sample_walk);
  struct stop_at_t final : dirtree_visitor_t
  {
    int visit(const dirtree_cursor_t & /*cursor*/, const dirtree_entry_t &entry) override
    {
      ++visits;
      return entry.id == inode_x && !entry.is_folder ? 42 : 0;
    }
    int visits = 0;
  } stop;
  EXPECT_EQ(t->visit_entries(stop), 42);
  EXPECT_EQ(stop.visits, 4); // the root, a, b, x
}

TEST(DirtreeCore, NamesItsErrors)
{
  const char *names[] = {"ok", "already exists", "not found", "is not a directory", "directory is not empty",
                         "invalid path", "failed to rename", "is our subdirectory",
                         "maximum directory count achieved"};
  for ( int code = 0; code < 9; ++code )
    EXPECT_STREQ(dirtree_error_name(code), names[code]);
  EXPECT_STREQ(dirtree_error_name(-1), "?");
  EXPECT_STREQ(dirtree_error_name(9), "?");
}

TEST(DirtreeCore, RefusesATreeWithoutDirspec)
{
  EXPECT_EQ(interr_number([] { directory_tree_t tree(std::unique_ptr<dirspec_t> {}); }), interr_dirtree_no_dirspec);
}

TEST(DirtreeCore, CloneCopiesAndLeavesTheSourceAsItWas)
{
  sample_tree_t t;
  ASSERT_EQ(t->link_or_unlink_path("c/x", true), 0); // x in two folders
  ASSERT_EQ(t->create_folder("c/dd"), 0);
  ASSERT_EQ(t->create_folder("c/ee"), 0);
  ASSERT_EQ(t->delete_folder("c/dd"), 0); // a free record
  ASSERT_TRUE(t->save_dirty_folders());
  ASSERT_EQ(t->link_or_unlink_path("y", false), 0); // the root is dirty again
  const std::vector<dirtree_folder_t> before = t->impl()->folders();

  std::unique_ptr<directory_tree_t> copy = t->clone();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->impl()->owner(), nullptr);
  EXPECT_EQ(copy->impl()->dirspec(), t.spec);
  EXPECT_EQ(walk_paths(*copy), walk_paths(*t));
  EXPECT_EQ(describe_entry(*copy, copy->entry_of_path("/c/x")), "item x");
  EXPECT_EQ(copy->link_or_unlink_path("c/x", true), dirtree_already_exists);
  expect_tree_consistent(*copy);
  EXPECT_FALSE(copy->load_once());
  EXPECT_FALSE(copy->save_dirty_folders());
  EXPECT_FALSE(copy->reload_and_save_all());

  const std::vector<dirtree_folder_t> &after = t->impl()->folders();
  ASSERT_EQ(after.size(), before.size());
  for ( size_t n = 0; n < after.size(); ++n )
  {
    EXPECT_EQ(after[n].entries, before[n].entries) << n;
    EXPECT_EQ(after[n].flags, before[n].flags) << n;
    EXPECT_EQ(after[n].checked_epoch, before[n].checked_epoch) << n;
  }
  EXPECT_EQ(t->impl()->epoch(), 0);
  // The copy never deletes the shared dirspec: destroying it leaves the source working.
  copy.reset();
  EXPECT_EQ(describe_entry(*t, t->entry_of_path("a/x")), "item x");
}
