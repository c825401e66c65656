// Entries of a directory tree, the constant entries and cursors, the tree's error codes and change events.
#pragma once

#include "ui/view_interfaces.h"

#include <cstdint>

// The identifier that names nothing: no folder, no inode.
inline constexpr uint64_t dirtree_none = ~uint64_t(0);

// One element of a folder's entry list: a folder's number when is_folder, else an item's inode. Kept packed
// (9 bytes): folders of many items hold their entries contiguously. The default is the none entry of item kind.
struct [[gnu::packed]] dirtree_entry_t
{
  uint64_t id = dirtree_none;
  bool is_folder = false;

  [[nodiscard]] bool is_none() const { return id == dirtree_none; }
  friend bool operator==(const dirtree_entry_t &a, const dirtree_entry_t &b)
  {
    return a.id == b.id && a.is_folder == b.is_folder;
  }
};
static_assert(sizeof(dirtree_entry_t) == 9);

inline constexpr dirtree_entry_t dirtree_root_entry {0, true};
inline constexpr dirtree_entry_t dirtree_none_folder {dirtree_none, true};
inline constexpr dirtree_entry_t dirtree_none_item {dirtree_none, false};

// The root folder's own cursor, and the cursor of nothing.
inline constexpr dirtree_cursor_t dirtree_root_cursor {-1, 0};
inline constexpr dirtree_cursor_t dirtree_no_cursor {-1, -1};
// True for every cursor that names neither an entry nor the root folder.
[[nodiscard]] inline bool is_empty_cursor(const dirtree_cursor_t &cursor)
{
  return cursor.folder == -1 && cursor.position != 0;
}

// Error codes of the tree's operations; dirtree_error_name gives their texts.
enum dirtree_error_t : int
{
  dirtree_ok = 0,
  dirtree_already_exists = 1,
  dirtree_not_found = 2,
  dirtree_not_a_directory = 3,
  dirtree_not_empty = 4,
  dirtree_invalid_path = 5,
  dirtree_rename_failed = 6,
  dirtree_our_subdirectory = 7,
  dirtree_too_many_folders = 8,
};
// "ok", "already exists", ... for 0 to 8; "?" for any other code.
[[nodiscard]] const char *dirtree_error_name(int code);

// Change events a tree sends to its handlers, after the operation succeeded, with the paths as given.
enum dirtree_event_t : uint64_t
{
  dirtree_folder_created = 65, // const char *path
  dirtree_folder_removed = 66, // const char *path
  dirtree_item_linked = 67,    // const char *path, int link flag (0 or 1)
  dirtree_entry_renamed = 68,  // const char *old_path, const char *new_path
  dirtree_entry_shifted = 69,  // const char *path, int64_t new position
};

// Folder flags.
inline constexpr uint32_t dirtree_folder_dirty = 0x1;  // changed since it was last stored
inline constexpr uint32_t dirtree_folder_free = 0x2;   // not in use; its number is on the free list
inline constexpr uint32_t dirtree_folder_sorted = 0x4; // folders first, then items by ascending inode

// At most this many folder records, so that a folder's storage key (number << 16) fits in 32 bits.
inline constexpr uint64_t dirtree_max_folders = 65536;

// Internal errors of the tree: an entry its own bookkeeping says is there is missing (a corrupted tree),
// a tree requested without a dirspec, a folder blob too long to store.
inline constexpr int32_t interr_dirtree_folder_unlisted = 1786;
inline constexpr int32_t interr_dirtree_entry_not_in_folder = 1787;
inline constexpr int32_t interr_dirtree_undo_failed = 1788;
inline constexpr int32_t interr_dirtree_entry_lost = 1789;
inline constexpr int32_t interr_dirtree_parent_unlisted = 1790;
inline constexpr int32_t interr_dirtree_blob_too_long = 1800;
inline constexpr int32_t interr_dirtree_no_dirspec = 2649;
