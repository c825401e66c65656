// The state of a tree view: its stored blob byte for byte and under damage, expansion and selection carried
// over to a rebuilt model, persistent indexes remapped, the fallback row, saving and restoring through the
// persistence helper, and copying every shown row.
#include "tests/support/heap_in_use.h"
#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"
#include "tests/views/dirtree_test_view.h"

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

using bytes_t = std::vector<uint8_t>;

constexpr uint64_t inode_x = sample_x;
constexpr uint64_t inode_y = sample_y;

bytes_t bytes_of(const byte_buffer_t &buffer)
{
  return bytes_t(buffer.begin(), buffer.end());
}

byte_buffer_t buffer_of(const bytes_t &bytes)
{
  byte_buffer_t buffer;
  for ( const uint8_t byte : bytes )
    buffer.push_back(byte);
  return buffer;
}

// Appends a text and its NUL.
void put(bytes_t *out, const char *text)
{
  out->insert(out->end(), text, text + std::strlen(text) + 1);
}

// A stored state with folder paths: the head byte, the folders (compact value and path each) and, when a
// current path is given, the selection part.
bytes_t blob_with_paths(uint8_t head, const std::vector<std::pair<uint8_t, const char *>> &folders,
                        const std::vector<const char *> &selected = {}, const char *current = nullptr)
{
  bytes_t out {head, uint8_t(folders.size())};
  for ( const auto &[value, path] : folders )
  {
    out.push_back(value);
    put(&out, path);
  }
  if ( current == nullptr )
    return out;
  out.push_back(uint8_t(selected.size()));
  for ( const char *path : selected )
    put(&out, path);
  put(&out, current);
  return out;
}

} // namespace

TEST(DirtreeViewState, WritesBlobsByteForByte)
{
  view_sample_t s;
  test_dirtree_view_t view("Files", 0);
  view.show_tree(s.t.tree.get());
  view.collapse(view.row_named("c"));
  // Folders in walk order: the root (0), a (1), b (2, expanded though empty), c (3); each as number * 2 +
  // expanded.
  dirtree_widget_state_t folders_only;
  view.collect_tree_state(&folders_only, tree_state_folders, nullptr);
  byte_buffer_t blob;
  write_tree_state_blob(folders_only, &blob);
  EXPECT_EQ(bytes_of(blob), (bytes_t {0x12, 4, 1, 3, 5, 6}));

  dirtree_widget_state_t with_paths;
  view.collect_tree_state(&with_paths, tree_state_folders | tree_state_folder_paths, nullptr);
  write_tree_state_blob(with_paths, &blob);
  EXPECT_EQ(bytes_of(blob), blob_with_paths(0x32, {{1, "/"}, {3, "/a"}, {5, "/a/b"}, {6, "/c"}}));

  // The selection part: count, paths, current path; persistent indexes are never written.
  dirtree_widget_state_t selection;
  selection.flags = tree_state_selection | tree_state_persistent;
  selection.selection.selected_paths = {"/a/x", "/y"};
  selection.selection.current_path = "/y";
  write_tree_state_blob(selection, &blob);
  bytes_t expected {0xC2, 2};
  put(&expected, "/a/x");
  put(&expected, "/y");
  put(&expected, "/y");
  EXPECT_EQ(bytes_of(blob), expected);

  // What is written reads back as it was.
  for ( const dirtree_widget_state_t *state : {&folders_only, &with_paths, &selection} )
  {
    write_tree_state_blob(*state, &blob);
    dirtree_widget_state_t read;
    ASSERT_TRUE(read_tree_state_blob(&read, blob));
    EXPECT_EQ(read.flags, state->flags);
    ASSERT_EQ(read.folders.size(), state->folders.size());
    for ( size_t i = 0; i < read.folders.size(); ++i )
    {
      EXPECT_EQ(read.folders[i].key, state->folders[i].key);
      EXPECT_EQ(read.folders[i].expanded, state->folders[i].expanded);
      EXPECT_EQ(read.folders[i].path, state->folders[i].path);
    }
    EXPECT_EQ(read.selection.selected_paths, state->selection.selected_paths);
    EXPECT_EQ(read.selection.current_path, state->selection.current_path);
    EXPECT_TRUE(read.persistent.empty());
  }
}

TEST(DirtreeViewState, ReadsOrRefusesEachForm)
{
  const bytes_t full = blob_with_paths(0x72, {{1, "/"}, {6, "/c"}}, {"/y"}, "/y");
  struct case_t
  {
    const char *name;
    bytes_t bytes;
    bool read;
    uint32_t flags;
    size_t folders;
  };
  const case_t cases[] = {
    {"empty", {}, false, 0, 0},
    {"version 0", {0x10}, false, 0, 0},
    {"version 3", {0x13, 0}, false, 0, 0},
    {"version 1 always holds folders", {0x01, 1, 3}, true, tree_state_folders, 1},
    {"version 1 with a selection", {0x41, 0, 0, 0}, true, tree_state_folders | tree_state_selection, 0},
    {"a count cut short", {0x12, 0x81}, false, 0, 0},
    {"a count of 2^32 - 1", {0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 3}, false, 0, 0},
    {"fewer records than counted", {0x12, 3, 1, 3}, false, 0, 0},
    {"a path without its NUL", {0x32, 1, 3, '/', 'a'}, false, 0, 0},
    {"no current path", {0x42, 1, '/', 'x', 0}, false, 0, 0},
    {"a current path without its NUL", {0x42, 0, '/', 'x'}, false, 0, 0},
    {"persistent indexes only", {0x82}, true, tree_state_persistent, 0},
    {"the full form", full, true, 0x70, 2},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    dirtree_widget_state_t state;
    ASSERT_EQ(read_tree_state_blob(&state, buffer_of(c.bytes)), c.read);
    if ( !c.read )
      continue;
    EXPECT_EQ(state.flags, c.flags);
    EXPECT_EQ(state.folders.size(), c.folders);
  }
  // Every cut of the full form is refused.
  for ( size_t cut = 0; cut < full.size(); ++cut )
  {
    dirtree_widget_state_t state;
    EXPECT_FALSE(read_tree_state_blob(&state, buffer_of(bytes_t(full.begin(), full.begin() + ptrdiff_t(cut)))))
      << cut;
  }
  dirtree_widget_state_t used;
  used.folders.emplace_back();
  EXPECT_EQ(interr_number([&] { (void)read_tree_state_blob(&used, buffer_of(full)); }), interr_tree_state_not_empty);
}

// Damaged blobs of every kind: no crash, and no more memory than a small multiple of their bytes.
TEST(DirtreeViewState, SurvivesDamagedBlobs)
{
  const bytes_t good = blob_with_paths(0x72, {{1, "/"}, {3, "/a"}, {6, "/c"}}, {"/a/x", "/y"}, "/y");
  uint32_t seed = 0x9E3779B9;
  for ( int run = 0; run < seeded_runs(4000); ++run )
  {
    bytes_t bytes = good;
    for ( uint32_t edits = 1 + next_random(&seed) % 4; edits > 0; --edits )
    {
      const size_t at = bytes.empty() ? 0 : next_random(&seed) % bytes.size();
      const uint32_t kind = next_random(&seed) % 4;
      if ( kind == 0 && !bytes.empty() )
        bytes[at] = uint8_t(next_random(&seed));
      else if ( kind == 1 && !bytes.empty() )
        bytes.erase(bytes.begin() + ptrdiff_t(at));
      else if ( kind == 2 )
        bytes.insert(bytes.begin() + ptrdiff_t(at), uint8_t(next_random(&seed)));
      else
        bytes.resize(at);
    }
    const byte_buffer_t blob = buffer_of(bytes);
    const size_t before = heap_in_use();
    {
      dirtree_widget_state_t state;
      (void)read_tree_state_blob(&state, blob);
      ASSERT_LE(heap_in_use(), before + 64 * blob.size() + 4096) << "run " << run;
    }
  }
}

TEST(DirtreeViewState, ExpansionAndSelectionOutliveARebuiltModel)
{
  view_sample_t first;
  test_dirtree_view_t view("Files", 0);
  view.show_tree(first.t.tree.get());
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.collapse(view.row_named("c"));
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(view.row_named("b")).center());
  QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier,
                    view.visualRect(view.row_named("y")).center());
  view_snapshot_t snapshot;
  view.take_tree_snapshot(&snapshot, 7);
  dirtree_widget_state_t state;
  view.collect_tree_state(&state, tree_state_folders | tree_state_folder_paths | tree_state_selection, &snapshot);
  ASSERT_FALSE(state.folders.empty());
  EXPECT_EQ(state.folders.front().path, "/");
  EXPECT_EQ(state.selection.current_path, "/y");

  // The same paths under other folder numbers.
  view_sample_t second({"c", "d", "a/b"});
  ASSERT_EQ(second.t->delete_folder("d"), 0);
  ASSERT_NE(second.t->entry_of_path("a").id, first.t->entry_of_path("a").id);
  view.show_tree(second.t.tree.get());
  ASSERT_TRUE(view.isExpanded(view.row_named("c")));
  view.restore_buckets(state);
  EXPECT_FALSE(view.isExpanded(view.row_named("c")));
  EXPECT_TRUE(view.isExpanded(view.row_named("a")));
  EXPECT_EQ(selected_names(view), (std::vector<std::string> {"b", "y"}));
  EXPECT_EQ(view.currentIndex(), view.row_named("y"));
}

TEST(DirtreeViewState, PersistentIndexesFollowTheirPaths)
{
  view_sample_t s;
  s.refresher.enabled = false;
  test_dirtree_view_t view("Files", 0);
  test_tree_model_t *model = view.show_tree(s.t.tree.get());
  const QPersistentModelIndex x(view.row_named("x").siblingAtColumn(1));
  const QPersistentModelIndex y(view.row_named("y"));
  dirtree_widget_state_t state;
  view.collect_tree_state(&state, tree_state_persistent, nullptr);
  ASSERT_GE(state.persistent.size(), 2u);

  // A folder made before x and the loss of y move the rows under the persistent indexes.
  ASSERT_EQ(s.t->create_folder("a/b2"), 0);
  ASSERT_EQ(s.t->link_or_unlink_path("y", false), 0);
  view.post_model_update(7, false);
  view.settle();
  EXPECT_EQ(x.sibling(x.row(), 0).data().toString(), "b2");
  view.restore_buckets(state);
  EXPECT_EQ(x.column(), 1);
  EXPECT_EQ(x.sibling(x.row(), 0).data().toString(), "x");
  EXPECT_EQ(x.parent(), view.row_named("a"));
  EXPECT_FALSE(y.isValid());
  expect_parents_consistent(*model, view.rootIndex());
}

TEST(DirtreeViewState, FallsBackToANearbyRow)
{
  view_sample_t s;
  test_dirtree_view_t view("Files", 0);
  view.show_tree(s.t.tree.get());
  const int64_t a = int64_t(s.t->entry_of_path("a").id);

  dirtree_selection_paths_t gone;
  gone.selected_paths = {"/a/gone", "/c/z"};
  gone.current_path = "/a/gone";
  gone.fallback = {a, 7}; // past a's last row: its last row
  view.restore_selection_paths(gone);
  EXPECT_EQ(selected_names(view), (std::vector<std::string> {"x", "z"}));
  EXPECT_EQ(view.currentIndex(), view.row_named("x"));

  // Without a fallback the view is told that the current row changed, after the selection was applied.
  QSignalSpy current(view.selectionModel(), &QItemSelectionModel::currentChanged);
  std::vector<std::string> selected_when_told;
  QObject::connect(view.selectionModel(), &QItemSelectionModel::currentChanged, &view,
                   [&] { selected_when_told = selected_names(view); });
  gone.fallback = dirtree_no_cursor;
  view.restore_selection_paths(gone);
  ASSERT_FALSE(current.isEmpty());
  EXPECT_FALSE(current.last().at(0).toModelIndex().isValid());
  EXPECT_EQ(selected_when_told, std::vector<std::string> {"z"});
  EXPECT_EQ(selected_names(view), std::vector<std::string> {"z"});
}

TEST(DirtreeViewState, SavesAndRestoresThroughThePersistenceHelper)
{
  scoped_state_store_t store;
  recording_ui_callback_t log;
  test_tree_t stored(true);
  std::map<uint64_t, std::vector<uint8_t>> blobs;
  {
    tree_refresh_handler_t refresher(stored.tree.get());
    stored->add_event_handler(&refresher);
    test_dirtree_view_t view("Files", dirtree_view_save_state | dirtree_view_restore_state);
    view.show_tree(stored.tree.get());
    // The empty store loads nothing; the tree is filled afterwards, as an application's source would.
    EXPECT_EQ(stored->storage_id(), "$ dirtree/Files");
    EXPECT_EQ(view.state_flags(), 0u);
    fill_sample_tree(stored, {"a/b", "c"}, {"a/x", "c/z", "y"});
    view.settle();
    view.expandAll();
    view.collapse(view.row_named("c"));
    QEvent save(save_state_event_type);
    QCoreApplication::sendEvent(&view, &save);
    blobs = stored.store()->blobs;
  }
  EXPECT_EQ(bytes_of(*store.bytes), (bytes_t {0x12, 4, 1, 3, 5, 6}));
  ASSERT_EQ(blobs.size(), 4u);

  // Another run: the tree's folders and the view's expansion come back.
  {
    test_tree_t again(true);
    add_sample_items(again);
    again.store()->blobs = blobs;
    test_dirtree_view_t view("Files", dirtree_view_restore_state);
    view.show_tree(again.tree.get());
    EXPECT_EQ(view.state_flags(), dirtree_view_tree_loaded | dirtree_view_state_applied);
    EXPECT_EQ(view.shown_rows(), (std::vector<std::string> {"a", "  b", "  x", "c", "y"}));
  }
  // A damaged state is refused with a line in the log; the view expands everything instead.
  *store.bytes = buffer_of({0x13});
  {
    test_tree_t again(true);
    add_sample_items(again);
    again.store()->blobs = blobs;
    log.clear();
    test_dirtree_view_t view("Files", dirtree_view_restore_state);
    view.show_tree(again.tree.get());
    EXPECT_EQ(view.state_flags(), dirtree_view_tree_loaded);
    EXPECT_EQ(view.shown_rows(), (std::vector<std::string> {"a", "  b", "  x", "c", "  z", "y"}));
    ASSERT_EQ(log.requests_of(ui_code_log).size(), 1u);
    EXPECT_EQ(log.requests_of(ui_code_log)[0].text,
              "The saved state of \"Files\" cannot be read; its folders keep their default expansion\n");
  }
  // A tree without a store has nothing to load; a detached copy cannot be saved.
  {
    view_sample_t s;
    log.clear();
    test_dirtree_view_t view("Plain", dirtree_view_restore_state);
    view.show_tree(s.t.tree.get());
    EXPECT_EQ(view.state_flags(), 0u);
    ASSERT_EQ(log.requests_of(ui_code_log).size(), 1u);
    EXPECT_EQ(log.requests_of(ui_code_log)[0].text, "Failed to load \"Plain\"'s status\n");
  }
  {
    view_sample_t s;
    std::unique_ptr<directory_tree_t> copy = s.t->clone();
    log.clear();
    test_dirtree_view_t view("Frozen", 0);
    view.show_tree(copy.get());
    EXPECT_FALSE(view.save_tree_state());
    ASSERT_EQ(log.requests_of(ui_code_log).size(), 1u);
    EXPECT_EQ(log.requests_of(ui_code_log)[0].text, "Failed to save \"Frozen\"'s status\n");
  }
  // A state needs a title to be stored under.
  view_sample_t s;
  test_dirtree_view_t untitled("", dirtree_view_restore_state);
  EXPECT_EQ(interr_number([&] { untitled.show_tree(s.t.tree.get()); }), interr_dirtree_state_without_title);
}

TEST(DirtreeViewState, CopiesEveryShownRow)
{
  view_sample_t s;
  test_dirtree_view_t view("Files", 0);
  view.sizes[inode_x] = "12";
  view.sizes[inode_y] = "3";
  view.show_tree(s.t.tree.get());
  view.collapse(view.row_named("c"));
  view.copy_all();
  EXPECT_EQ(QApplication::clipboard()->text(), "Name\tSize\na\t\nb\t\nx\t12\nc\t\ny\t3");
  view.setColumnHidden(1, true);
  view.copy_all();
  EXPECT_EQ(QApplication::clipboard()->text(), "Name\na\nb\nx\nc\ny");
}
