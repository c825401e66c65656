// The directory tree itself: named folders over items the application names, paths, changes, walks, and the
// storage of its folders as blobs.
#pragma once

#include "core/event_source.h"
#include "core/qstring.h"
#include "core/qvector.h"
#include "views/dirtree/dirspec.h"
#include "views/dirtree/dirtree_entry.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

class directory_tree_t;

// One folder record. Promises (of a tree that is not corrupt): a non-free folder other than the root is
// listed exactly once, by its parent; item_index holds exactly the inodes of the item entries of an unsorted
// folder and nothing for a sorted one; a sorted folder lists its folders first, then its items by
// ascending inode.
struct dirtree_folder_t
{
  qstring name;                             // without '/'; empty for the root and free records
  std::vector<dirtree_entry_t> entries;     // in display order
  std::unordered_set<uint64_t> item_index;
  uint64_t parent = 0;                      // 0 for the root and free records
  uint32_t flags = 0;                       // dirtree_folder_* bits
  uint32_t checked_epoch = 0;               // the epoch in which the folder's items were last pruned

  [[nodiscard]] bool is_free() const { return (flags & dirtree_folder_free) != 0; }
  [[nodiscard]] bool is_sorted() const { return (flags & dirtree_folder_sorted) != 0; }
};

// A walk over a tree's entries: visit answers non-zero to stop the walk with that answer.
class dirtree_visitor_t
{
public:
  virtual ~dirtree_visitor_t() = default;
  virtual int visit(const dirtree_cursor_t &cursor, const dirtree_entry_t &entry) = 0;
};

// The state of a name search inside one folder (find_first, find_next).
struct dirtree_search_t
{
  qstring pattern;               // '*' and '?' wildcards, matched against whole names
  uint64_t folder = dirtree_none; // none: the search found the root itself
  int64_t position = 0;
};

// A folder path and a name split from a full path: the folder part resolved to a folder number.
struct dirtree_split_t
{
  uint64_t folder = 0;
  qstring name;
};

// The name and cursor of a path's last component (cursor_of_path).
struct dirtree_path_cursor_t
{
  qstring name;
  dirtree_cursor_t cursor = dirtree_no_cursor;
};

// The tree. Every operation runs on the GUI thread without a lock; handlers run synchronously inside the
// operation that sent their event. Mutating operations check before they change anything and answer a
// dirtree_error_t (create_folder keeps the folders it made before a failing step; rename_entry undoes its
// move when its last step fails). A subclass supplies the blob store; the hooks let it follow changes.
class dirtree_impl_t : public event_source_t
{
public:
  // A tree over the dirspec (not owned) with only its root folder; internal error 2649 for a null dirspec.
  dirtree_impl_t(directory_tree_t *owner, dirspec_t *dirspec);
  ~dirtree_impl_t() override;

  // ---- The blob store -----------------------------------------------------------------------------------
  // One blob per folder, under the folder's number shifted left by 16.
  virtual void delete_blob(uint64_t key) = 0;
  virtual void store_blob(uint64_t key, const byte_buffer_t &bytes) = 0;
  // False when no blob is stored under the key.
  virtual bool load_blob(byte_buffer_t *out, uint64_t key) = 0;
  // The smallest stored key (above the given one); all ones when there is none.
  virtual uint64_t first_blob_key() = 0;
  virtual uint64_t next_blob_key(uint64_t key) = 0;

  // Loads the stored folders with verification the first time; once that succeeded, true at once.
  virtual bool load_once();
  // Stores every dirty folder, removes the blobs of freed and dropped folders; true.
  virtual bool save_dirty_folders();
  // Loads without verification and, when that succeeded, stores every folder; false when loading failed.
  virtual bool reload_and_save_all();
  // Tells on_id_changed, then makes the text (null: empty) the dirspec's storage id.
  virtual void set_storage_id(const char *text);

  // ---- Hooks (nothing in the base, except on_entry_linked) ----------------------------------------------
  virtual void on_folder_renamed(uint64_t /*folder*/, const dirtree_folder_t & /*record*/,
                                 std::string_view /*new_name*/)
  {
  }
  // created: the record was just made (vector_changed: appended, no free number); otherwise it was deleted
  // (vector_changed: it was the last record and the vector shrank), record holding only its old name and
  // flags its old flags.
  virtual void on_folder_created_or_deleted(uint64_t /*parent*/, int64_t /*position*/, uint64_t /*folder*/,
                                            bool /*vector_changed*/, const dirtree_folder_t & /*record*/,
                                            uint32_t /*flags*/, bool /*created*/)
  {
  }
  virtual void on_cwd_changed(uint64_t /*old_folder*/, uint64_t /*new_folder*/) {}
  // After a link was inserted, before one is removed: keeps the folder's item_index.
  virtual void on_entry_linked(uint64_t folder, int64_t position, uint64_t inode, bool linked);
  virtual void on_entry_moved(uint64_t /*folder*/, int64_t /*old_position*/, int64_t /*new_position*/) {}
  virtual void on_id_changed(const char * /*old_id*/, const char * /*new_id*/) {}
  virtual void on_entry_relinked(uint64_t /*old_folder*/, int64_t /*old_position*/, uint64_t /*new_folder*/,
                                 int64_t /*new_position*/, dirtree_entry_t /*entry*/)
  {
  }
  virtual void on_folder_saved(uint64_t /*folder*/) {}
  virtual void on_folder_flags_changed(uint64_t /*folder*/, uint32_t /*old_flags*/, uint32_t /*new_flags*/) {}
  virtual void on_sort_mode_set(uint64_t /*folder*/, bool /*on*/) {}

  // ---- Life ---------------------------------------------------------------------------------------------
  // Only the root folder (sorted exactly when the dirspec is orderable, dirty), current, epoch 0, not loaded.
  void clear_tree();
  // Links the handler both ways; false when it is already linked.
  bool add_event_handler(event_handler_t *handler) { return add_handler(handler); }

  // ---- Changes --------------------------------------------------------------------------------------------
  // The folder and every missing folder above it; event 65.
  [[nodiscard]] int create_folder(const char *path);
  // An empty folder other than the root; event 66.
  [[nodiscard]] int delete_folder(const char *path);
  // Links (link true) or unlinks the item the path names; event 67.
  [[nodiscard]] int link_or_unlink_path(const char *path, bool link);
  // Renames and/or moves a folder or item (into new_path when it names a folder); event 68.
  [[nodiscard]] int rename_entry(const char *old_path, const char *new_path);
  // Moves an entry inside its folder by delta, clamped to the folder; event 69 unless delta is 0.
  [[nodiscard]] int change_position(const char *path, int64_t delta);
  // Makes a folder the one relative paths start from; no event.
  [[nodiscard]] int change_folder(const char *path);
  // Sorts a folder (false when the dirspec is not orderable) or makes its order the user's again.
  bool set_folder_sorted(uint64_t folder, bool on);

  // ---- Queries ------------------------------------------------------------------------------------------
  [[nodiscard]] dirtree_entry_t entry_of_path(const char *path) const;
  [[nodiscard]] dirtree_entry_t entry_at_cursor(const dirtree_cursor_t &cursor) const;
  // The absolute path of the entry at a cursor (name flags as item_name's, bit 0 also trims leading blanks
  // of the name); false, *out untouched, when the dirspec cannot name the item; "" and true for no entry.
  bool cursor_text(qstring *out, const dirtree_cursor_t &cursor, uint32_t name_flags) const;
  // A folder's own name, or the dirspec's name of an item (out may be null); false for none entries.
  bool entry_name(qstring *out, const dirtree_entry_t &entry, uint32_t name_flags) const;
  void current_folder_path(qstring *out) const { folder_path(out, current_folder_, false); }
  // A folder's entry count (its items pruned first); all ones for none or out of range.
  [[nodiscard]] uint64_t folder_size(uint64_t folder);
  // -1 when the folder is out of range or does not list the entry.
  [[nodiscard]] int64_t position_of_entry(uint64_t folder, const dirtree_entry_t &entry) const;
  // The cursor of a folder inside the folder that lists it (the root cursor for the root).
  [[nodiscard]] dirtree_cursor_t parent_cursor_of_folder(uint64_t folder) const;
  // 0 and the entry's first cursor in walk order, or 2 and no cursor; *out (when given) written either way.
  int cursor_of_entry(dirtree_cursor_t *out, const dirtree_entry_t &entry);
  // The cursor of the entry a path names, and its name; false when the folder part does not resolve or the
  // name is not in the folder ("/" gives the root cursor).
  bool cursor_of_path(const char *path, dirtree_path_cursor_t *out) const;
  [[nodiscard]] bool is_folder_sorted(uint64_t folder) const;
  [[nodiscard]] bool is_orderable() const { return (dirspec_->flags & dirspec_orderable) != 0; }
  [[nodiscard]] const qstring &storage_id() const { return dirspec_->id; }
  // Searches the folder of a pattern path for names matching its last component.
  bool find_first(dirtree_search_t *state, const char *pattern_path);
  bool find_next(dirtree_search_t *state, bool advance);
  // The root, then depth first every entry in order (a folder's contents right after it); the first
  // non-zero answer ends the walk and is returned.
  int traverse(dirtree_visitor_t &visitor);
  // A detached copy (folders, entries, flags) that shares the dirspec, has no store and no handlers, and
  // must not outlive the dirspec. The source stays exactly as it was.
  [[nodiscard]] std::unique_ptr<directory_tree_t> clone() const;

  // ---- Plain access ---------------------------------------------------------------------------------------
  [[nodiscard]] directory_tree_t *owner() const { return owner_; }
  [[nodiscard]] dirspec_t *dirspec() const { return dirspec_; }
  [[nodiscard]] const std::vector<dirtree_folder_t> &folders() const { return folders_; }
  [[nodiscard]] const std::vector<uint64_t> &free_folders() const { return free_folders_; }
  [[nodiscard]] uint64_t current_folder() const { return current_folder_; }
  [[nodiscard]] int32_t epoch() const { return epoch_; }
  [[nodiscard]] bool loaded() const { return loaded_; }
  // The absolute path of a folder ("/" for the root; with trailing, '/' appended to others); "" out of range.
  void folder_path(qstring *out, uint64_t folder, bool trailing) const;
  // A usable (in range, not free) folder number.
  [[nodiscard]] bool is_folder(uint64_t folder) const
  {
    return folder < folders_.size() && !folders_[folder].is_free();
  }

protected:
  // Takes ownership of the dirspec (the holder's tree owns the dirspec it was made with).
  void adopt_dirspec(std::unique_ptr<dirspec_t> dirspec) { owned_dirspec_ = std::move(dirspec); }

private:
  // Path resolution.
  [[nodiscard]] bool split_path(const char *path, dirtree_split_t *out) const;
  [[nodiscard]] dirtree_entry_t lookup_name(uint64_t folder, std::string_view name) const;
  // Splits a path and looks its name up: 0, or 5 (no split), 2 (no folder of that name), 3 (no item).
  [[nodiscard]] int find_entry(const char *path, dirtree_split_t *split, dirtree_entry_t *entry) const;
  [[nodiscard]] bool holds_item(uint64_t folder, uint64_t inode) const;
  [[nodiscard]] size_t item_insert_position(uint64_t folder, uint64_t inode) const;
  [[nodiscard]] size_t leading_folder_count(uint64_t folder) const;
  [[nodiscard]] bool lies_below(uint64_t folder, uint64_t ancestor) const;
  // Changes.
  [[nodiscard]] int create_one_folder(uint64_t parent, std::string_view name);
  // Moves an entry from one folder to another, where `name` must name nothing yet.
  [[nodiscard]] int move_entry_between(dirtree_entry_t entry, uint64_t from, uint64_t to, std::string_view name);
  // Calls visit(cursor, entry) for every entry below the root, depth first, pruning each folder before its
  // entries; the first non-zero answer ends the walk and is returned.
  template <typename Visit>
  int walk_entries(Visit &&visit);
  void mark_dirty(uint64_t folder) { folders_[folder].flags |= dirtree_folder_dirty; }
  void rebuild_index(uint64_t folder);
  // Storage.
  size_t prune_items(uint64_t folder, std::unordered_set<uint64_t> *seen);
  bool load_folders(bool verify);
  bool verify_loaded(bool check_items);
  [[nodiscard]] bool well_formed() const;
  void reset_to_empty_root();
  void save_folders(bool dirty_only);
  // The blob of one folder; internal error 1800 when it would be longer than dirtree_max_blob.
  void write_folder_blob(byte_buffer_t *out, uint64_t folder) const;
  [[nodiscard]] bool parse_folder_blob(uint64_t key, const byte_buffer_t &blob);

  directory_tree_t *owner_;                  // not owned: the holder (null for a detached copy)
  dirspec_t *dirspec_;                       // owned through owned_dirspec_ when the holder's
  std::unique_ptr<dirspec_t> owned_dirspec_;
  std::vector<dirtree_folder_t> folders_;    // by folder number
  std::vector<uint64_t> free_folders_;       // numbers of free records, reused last first
  uint64_t current_folder_ = 0;
  int32_t epoch_ = 0;
  bool loaded_ = false;
};

// Blobs longer than this are not folder blobs: refused when loading, internal error 1800 when writing.
inline constexpr size_t dirtree_max_blob = 0x3FFFC00;
