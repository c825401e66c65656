// Folder blobs of a directory tree: their bytes, loading with free records and verification, item pruning,
// saving, and blobs from a damaged or hostile store.
#include "core/compact_codec.h"
#include "tests/support/env_guard.h"
#include "tests/support/heap_in_use.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"
#include "tests/views/dirtree_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using bytes_t = std::vector<uint8_t>;
using blob_map_t = std::map<uint64_t, bytes_t>;

constexpr const char *corrupt_line = "**DATABASE IS CORRUPTED: wrong directory structure\n";

uint64_t key_of(uint64_t folder)
{
  return folder << 16;
}

void put_u32(bytes_t *out, uint32_t value)
{
  uint8_t bytes[compact_u32_max_size];
  const uint8_t *end = pack_u32_compact(bytes, bytes + sizeof(bytes), value);
  out->insert(out->end(), static_cast<const uint8_t *>(bytes), end);
}

void put_u64(bytes_t *out, uint64_t value)
{
  put_u32(out, uint32_t(value));
  put_u32(out, uint32_t(value >> 32));
}

// A version 1 folder blob, for stores that a test makes up.
bytes_t folder_blob(const std::string &name, uint64_t parent, uint32_t flags, const std::vector<dirtree_entry_t> &entries)
{
  bytes_t out {1};
  for ( const char c : name )
    out.push_back(uint8_t(c));
  out.push_back(0);
  put_u64(&out, parent);
  put_u32(&out, flags);
  put_u32(&out, uint32_t(entries.size()));
  uint64_t previous = 0;
  for ( const dirtree_entry_t &entry : entries )
  {
    put_u64(&out, entry.id - previous);
    previous = entry.id;
  }
  bool folders = true;
  uint32_t run = 0;
  for ( const dirtree_entry_t &entry : entries )
  {
    if ( entry.is_folder == folders )
    {
      ++run;
      continue;
    }
    put_u32(&out, run);
    folders = !folders;
    run = 1;
  }
  put_u32(&out, run);
  return out;
}

dirtree_entry_t folder(uint64_t number)
{
  return {number, true};
}
dirtree_entry_t item(uint64_t inode)
{
  return {inode, false};
}

// A tree over a store holding these blobs; items 100 to 109 are known as "i100" ...
struct stored_tree_t : test_tree_t
{
  explicit stored_tree_t(blob_map_t blobs = {}) : test_tree_t(true)
  {
    for ( uint64_t inode = 100; inode < 110; ++inode )
      spec->add_item("i" + std::to_string(inode), inode);
    store()->blobs = std::move(blobs);
  }
  // The tree is one empty root that is neither dirty nor sorted.
  void expect_empty_root() const
  {
    const std::vector<dirtree_folder_t> &folders = tree->impl()->folders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_TRUE(folders[0].entries.empty());
    EXPECT_EQ(folders[0].flags, 0u);
    EXPECT_TRUE(tree->impl()->free_folders().empty());
  }
};

// /a/ (with /a/s/ and the items 100 and 101) and /b/ (with item 102), saved.
blob_map_t sample_blobs()
{
  return {
    {key_of(0), folder_blob("", 0, 0, {folder(1), folder(3)})},
    {key_of(1), folder_blob("a", 0, 0, {folder(2), item(100), item(101)})},
    {key_of(2), folder_blob("s", 1, 0, {})},
    {key_of(3), folder_blob("b", 0, 0, {item(102)})},
  };
}

} // namespace

TEST(DirtreeStorage, WritesFolderBlobsByteForByte)
{
  stored_tree_t t;
  ASSERT_EQ(t->create_folder("f/s1"), 0);
  ASSERT_EQ(t->create_folder("f/s2"), 0);
  for ( const char *path : {"f/i100", "f/i101", "f/i102"} )
    ASSERT_EQ(t->link_or_unlink_path(path, true), 0);
  ASSERT_EQ(t->create_folder("f/s3"), 0);
  ASSERT_EQ(t->change_position("f/s3", 10), 0); // folder, folder, item, item, item, folder
  ASSERT_EQ(t->create_folder("g"), 0);
  ASSERT_EQ(t->link_or_unlink_path("g/i100", true), 0);
  ASSERT_TRUE(t->save_dirty_folders());

  const blob_map_t &blobs = t.store()->blobs;
  // The root: version, empty name, parent 0 (two halves), flags, two folder entries as deltas, one run.
  EXPECT_EQ(blobs.at(key_of(0)), (bytes_t {1, 0, 0, 0, 0, 2, 1, 0, 4, 0, 2}));
  // f: ids 2, 3, 100, 101, 102, 4 as deltas (the last wraps below zero), runs 2, 3, 1.
  EXPECT_EQ(blobs.at(key_of(1)), (bytes_t {1,    'f',  0,    0,    0,    0,    6,    2,    0,    1,    0,    97,
                                           0,    1,    0,    1,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0x9E, 0xFF, 0xFF,
                                           0xFF, 0xFF, 0xFF, 2,    3,    1}));
  // An empty folder writes one run of 0; a folder of items a run of 0 folders first.
  EXPECT_EQ(blobs.at(key_of(2)), (bytes_t {1, 's', '1', 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(blobs.at(key_of(5)), (bytes_t {1, 'g', 0, 0, 0, 0, 1, 100, 0, 0, 1}));

  // What was written reads back as the same tree.
  stored_tree_t again(blobs);
  ASSERT_TRUE(again->load_once());
  EXPECT_EQ(walk_paths(*again), walk_paths(*t));
  expect_tree_consistent(*again);
}

TEST(DirtreeStorage, ReadsVersionZeroBlobs)
{
  // Version 0: the folder entries, then an item count and the items, delta-coded from 0 again.
  stored_tree_t t({{key_of(0), {0, 0, 0, 0, 0, 1, 1, 0, 2, 100, 0, 5, 0}}, {key_of(1), {0, 'd', 0, 0, 0, 0, 0, 0}}});
  ASSERT_TRUE(t->load_once());
  EXPECT_EQ(walk_paths(*t), (std::vector<std::string> {"/d/", "/i100", "/i105"}));
  expect_tree_consistent(*t);
}

TEST(DirtreeStorage, GapsBecomeFreeRecordsTakenLastFirst)
{
  stored_tree_t t({{key_of(0), folder_blob("", 0, 0, {folder(3)})}, {key_of(3), folder_blob("c", 0, 0, {})}});
  ASSERT_TRUE(t->load_once());
  EXPECT_EQ(t->impl()->free_folders(), (std::vector<uint64_t> {1, 2}));
  EXPECT_TRUE(t->impl()->folders()[1].is_free());
  ASSERT_EQ(t->create_folder("n"), 0);
  EXPECT_EQ(t->entry_of_path("n").id, 2u);
  // Only what changed since loading is stored.
  ASSERT_TRUE(t->save_dirty_folders());
  EXPECT_EQ(t.store()->stored, (std::vector<uint64_t> {key_of(0), key_of(2)}));
  EXPECT_EQ(t.store()->saved, (std::vector<uint64_t> {0, 2}));
}

TEST(DirtreeStorage, EmptyStoreLeavesOneCleanRootAndIsTriedAgain)
{
  stored_tree_t t;
  t.spec->flags = dirspec_orderable;
  EXPECT_FALSE(t->load_once());
  t.expect_empty_root();
  EXPECT_FALSE(t->load_once());
  EXPECT_EQ(t.store()->scans, 2);
  t.store()->blobs = sample_blobs();
  EXPECT_TRUE(t->load_once());
  EXPECT_TRUE(t->load_once());
  EXPECT_EQ(t.store()->scans, 3);
  EXPECT_TRUE(t->impl()->loaded());
}

TEST(DirtreeStorage, FailedVerificationResetsTheTree)
{
  struct case_t
  {
    const char *name;
    blob_map_t blobs;
  };
  const case_t cases[] = {
    {"siblings of one name",
     {{key_of(0), folder_blob("", 0, 0, {folder(1), folder(2)})},
      {key_of(1), folder_blob("a", 0, 0, {})},
      {key_of(2), folder_blob("a", 0, 0, {})}}},
    {"a parent field naming another folder",
     {{key_of(0), folder_blob("", 0, 0, {folder(1), folder(2)})},
      {key_of(1), folder_blob("a", 0, 0, {})},
      {key_of(2), folder_blob("b", 1, 0, {})}}},
    {"a folder without a name",
     {{key_of(0), folder_blob("", 0, 0, {folder(1)})}, {key_of(1), folder_blob("", 0, 0, {})}}},
    {"a folder nobody lists", {{key_of(0), folder_blob("", 0, 0, {})}, {key_of(1), folder_blob("a", 0, 0, {})}}},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    stored_tree_t t(c.blobs);
    EXPECT_FALSE(t->load_once());
    t.expect_empty_root();
    EXPECT_FALSE(t->impl()->loaded());
  }
}

TEST(DirtreeStorage, VerifiedItemsKeepTheLastLinkOfAnInode)
{
  const blob_map_t blobs = {
    {key_of(0), folder_blob("", 0, 0, {folder(1), folder(2)})},
    {key_of(1), folder_blob("a", 0, 0, {item(100), item(101)})},
    {key_of(2), folder_blob("b", 0, 0, {item(100), item(102), item(100), item(999)})},
  };
  {
    env_guard_t verify("ZUK_VERIFY_DIRTREES", nullptr);
    stored_tree_t t(blobs);
    ASSERT_TRUE(t->load_once());
    EXPECT_EQ(walk_paths(*t).size(), 8u); // nothing pruned without the variable
  }
  env_guard_t verify("ZUK_VERIFY_DIRTREES", "");
  stored_tree_t t(blobs);
  ASSERT_TRUE(t->load_once());
  EXPECT_EQ(walk_paths(*t), (std::vector<std::string> {"/a/", "/a/i101", "/b/", "/b/i102", "/b/i100"}));
  EXPECT_EQ(t.spec->unlinked, (std::vector<uint64_t> {999, 100, 100}));
  expect_tree_consistent(*t);
  // The pruned folders are stored again; the untouched root is not.
  ASSERT_TRUE(t->save_dirty_folders());
  EXPECT_EQ(t.store()->stored, (std::vector<uint64_t> {key_of(1), key_of(2)}));
}

TEST(DirtreeStorage, SavingRemovesBlobsOfDeletedFolders)
{
  stored_tree_t t(sample_blobs());
  ASSERT_TRUE(t->load_once());
  ASSERT_EQ(t->create_folder("c"), 0); // record 4
  ASSERT_TRUE(t->save_dirty_folders());
  ASSERT_EQ(t.store()->blobs.size(), 5u);
  ASSERT_EQ(t->delete_folder("c"), 0);   // the last record: the vector shrinks
  ASSERT_EQ(t->delete_folder("a/s"), 0); // a freed record
  t.store()->deleted.clear();
  ASSERT_TRUE(t->save_dirty_folders());
  EXPECT_EQ(t.store()->deleted, (std::vector<uint64_t> {key_of(2), key_of(4)}));
  EXPECT_EQ(t.store()->blobs.size(), 3u);
}

TEST(DirtreeStorage, ReloadStoresEveryFolder)
{
  stored_tree_t t(sample_blobs());
  ASSERT_TRUE(t->reload_and_save_all());
  EXPECT_TRUE(t->impl()->loaded());
  EXPECT_EQ(t.store()->stored, (std::vector<uint64_t> {key_of(0), key_of(1), key_of(2), key_of(3)}));
  EXPECT_EQ(t.store()->blobs, sample_blobs());
  EXPECT_TRUE(t.store()->saved.empty());
}

TEST(DirtreeStorage, StorageIdReachesTheDirspec)
{
  stored_tree_t t;
  EXPECT_EQ(t->storage_id(), "");
  t->set_storage_id("$ dirtree/Files");
  EXPECT_EQ(t.spec->id, "$ dirtree/Files");
  t->set_storage_id(nullptr);
  EXPECT_EQ(t->storage_id(), "");
}

// Stores a damaged or hostile program could leave. Every refused load reports once, answers false and
// leaves one empty root, with or without verification, so that no later path or walk can loop.
TEST(DirtreeStorage, RefusesHostileBlobs)
{
  bytes_t huge_count {1, 0, 0, 0, 0};
  put_u32(&huge_count, 0xFFFFFFFF);
  bytes_t huge_items {0, 0, 0, 0, 0, 1, 1, 0};
  put_u32(&huge_items, 0xFFFFFFFF);
  struct case_t
  {
    const char *name;
    blob_map_t blobs;
    bool loads;
  };
  const case_t cases[] = {
    {"an empty blob is an empty root", {{key_of(0), {}}}, true},
    {"version 2", {{key_of(0), {2, 0, 0, 0, 0, 0, 0}}}, false},
    {"version 255", {{key_of(0), {255}}}, false},
    {"a count of 2^32 - 1", {{key_of(0), huge_count}}, false},
    {"an item count of 2^32 - 1", {{key_of(0), huge_items}}, false},
    {"runs beyond the count", {{key_of(0), {1, 0, 0, 0, 0, 1, 5, 0, 3}}}, false},
    {"runs short of the count", {{key_of(0), {1, 0, 0, 0, 0, 2, 5, 0, 1, 0, 1}}}, false},
    {"a name without its NUL", {{key_of(0), {1, 'a', 'b'}}}, false},
    {"keys with low bits are skipped",
     {{key_of(0), folder_blob("", 0, 0, {})}, {key_of(0) + 1, {9, 9, 9}}, {key_of(1) + 0x8000, {}}},
     true},
    {"a key of 2^32", {{key_of(0), folder_blob("", 0, 0, {})}, {uint64_t(1) << 32, folder_blob("a", 0, 0, {})}}, false},
    {"a missing folder", {{key_of(0), folder_blob("", 0, 0, {folder(5)})}}, false},
    {"a free folder",
     {{key_of(0), folder_blob("", 0, 0, {folder(1), folder(2)})}, {key_of(2), folder_blob("b", 0, 0, {})}},
     false},
    {"the root listed below itself",
     {{key_of(0), folder_blob("", 0, 0, {folder(1)})}, {key_of(1), folder_blob("a", 0, 0, {folder(0)})}},
     false},
    {"root, a, b, a",
     {{key_of(0), folder_blob("", 0, 0, {folder(1)})},
      {key_of(1), folder_blob("a", 0, 0, {folder(2)})},
      {key_of(2), folder_blob("b", 1, 0, {folder(1)})}},
     false},
    {"a parent cycle off the tree",
     {{key_of(0), folder_blob("", 0, 0, {})},
      {key_of(1), folder_blob("a", 2, 0, {folder(2)})},
      {key_of(2), folder_blob("b", 1, 0, {folder(1)})}},
     false},
    {"a parent out of range",
     {{key_of(0), folder_blob("", 0, 0, {folder(1)})}, {key_of(1), folder_blob("a", 77, 0, {})}},
     false},
    {"the root with a parent", {{key_of(0), folder_blob("", 3, 0, {})}}, false},
    {"a folder listed twice",
     {{key_of(0), folder_blob("", 0, 0, {folder(1), folder(1)})}, {key_of(1), folder_blob("a", 0, 0, {})}},
     false},
  };
  recording_ui_callback_t log;
  for ( const case_t &c : cases )
    for ( const bool verified : {true, false} )
    {
      SCOPED_TRACE(std::string(c.name) + (verified ? ", verified" : ", unverified"));
      log.clear();
      stored_tree_t t(c.blobs);
      EXPECT_EQ(verified ? t->load_once() : t->reload_and_save_all(), c.loads);
      expect_tree_consistent(*t);
      (void)walk_paths(*t);
      if ( c.loads )
        continue;
      t.expect_empty_root();
      // Verification refuses structures silently; everything refused before it is reported once.
      const std::vector<ui_request_record_t> lines = log.requests_of(ui_code_log);
      EXPECT_LE(lines.size(), 1u);
      if ( !verified )
      {
        ASSERT_EQ(lines.size(), 1u);
      }
      for ( const ui_request_record_t &line : lines )
        EXPECT_EQ(line.text, corrupt_line);
    }
}

// A blob damaged anywhere: every cut and a seeded run of changed, dropped and added bytes. The tree that
// loading leaves is a tree, its walks end, and it holds no more memory than a small multiple of the bytes.
TEST(DirtreeStorage, SurvivesDamagedBlobs)
{
  const blob_map_t good = sample_blobs();
  recording_ui_callback_t log;
  auto load_both_ways = [&log](const blob_map_t &blobs) {
    size_t input = 0;
    for ( const auto &[key, bytes] : blobs )
      input += bytes.size();
    for ( const bool verified : {true, false} )
    {
      log.clear();
      const size_t heap_before = heap_in_use();
      stored_tree_t t(blobs);
      verified ? (void)t->load_once() : (void)t->reload_and_save_all();
      ASSERT_LE(heap_in_use(), heap_before + 64 * input + 64 * 1024);
      expect_tree_consistent(*t);
      for ( const std::string &path : walk_paths(*t) )
        (void)t->entry_of_path(path.c_str());
    }
  };
  for ( const auto &[key, bytes] : good )
    for ( size_t cut = 0; cut < bytes.size(); ++cut )
    {
      SCOPED_TRACE("blob " + std::to_string(key >> 16) + " cut to " + std::to_string(cut));
      blob_map_t blobs = good;
      blobs[key].resize(cut);
      load_both_ways(blobs);
    }
  uint32_t seed = 0x2545F491;
  for ( int run = 0; run < seeded_runs(1500); ++run )
  {
    blob_map_t blobs = good;
    auto place = blobs.begin();
    std::advance(place, next_random(&seed) % blobs.size());
    bytes_t &bytes = place->second;
    for ( uint32_t edits = 1 + next_random(&seed) % 4; edits > 0; --edits )
    {
      const size_t at = bytes.empty() ? 0 : next_random(&seed) % bytes.size();
      switch ( next_random(&seed) % 3 )
      {
      case 0:
        if ( !bytes.empty() )
          bytes[at] = uint8_t(next_random(&seed));
        break;
      case 1:
        if ( !bytes.empty() )
          bytes.erase(bytes.begin() + ptrdiff_t(at));
        break;
      default:
        bytes.insert(bytes.begin() + ptrdiff_t(at), uint8_t(next_random(&seed)));
        break;
      }
    }
    SCOPED_TRACE("run " + std::to_string(run));
    load_both_ways(blobs);
  }
}
