// Helpers of the directory-tree tests: a dirspec over named items, a handler that records the tree's events,
// a tree over an in-memory blob store, and a text form of entries.
#pragma once

#include "core/event_source.h"
#include "views/dirtree/directory_tree.h"

#include <cstdarg>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// Items named by the test: one name per inode, found by name in any folder (so one inode may be linked
// into several folders). Records what the tree tells it.
class test_dirspec_t final : public dirspec_t
{
public:
  // Registers an item and answers its inode.
  uint64_t add_item(const std::string &name, uint64_t inode)
  {
    names[inode] = name;
    return inode;
  }
  bool item_name(qstring *out, uint64_t inode, uint32_t name_flags) override
  {
    const auto found = names.find(inode);
    if ( found == names.end() )
      return false;
    if ( out != nullptr )
      *out = ((name_flags & dirtree_display_name) != 0 ? display_prefix + found->second : found->second).c_str();
    return true;
  }
  uint64_t item_of_path(const char *folder_path, const char *name) override
  {
    asked_folders.emplace_back(folder_path);
    for ( const auto &[inode, item] : names )
      if ( item == name )
        return inode;
    return dirtree_none;
  }
  qstring item_attributes_text(uint64_t /*inode*/) override { return {}; }
  bool rename_item(uint64_t inode, const char *new_name) override
  {
    if ( refuse_renames )
      return false;
    names[inode] = new_name;
    return true;
  }
  void on_item_unlinked(uint64_t inode) override { unlinked.push_back(inode); }

  std::map<uint64_t, std::string> names;
  std::string display_prefix;          // put before names asked for in display form
  bool refuse_renames = false;
  std::vector<uint64_t> unlinked;
  std::vector<std::string> asked_folders; // the folder paths item_of_path was asked with
};

// One event as a handler saw it: its code and arguments as text ("a/b", "a/b 1", "x y", "x 3").
struct tree_event_t
{
  uint64_t code;
  std::string args;
  friend bool operator==(const tree_event_t &a, const tree_event_t &b) { return a.code == b.code && a.args == b.args; }
};

class recording_tree_handler_t final : public event_handler_t
{
public:
  void *handle(uint64_t code, va_list va) override
  {
    std::string args = va_arg(va, const char *);
    if ( code == dirtree_item_linked )
      args += " " + std::to_string(va_arg(va, int));
    else if ( code == dirtree_entry_renamed )
      args += std::string(" ") + va_arg(va, const char *);
    else if ( code == dirtree_entry_shifted )
      args += " " + std::to_string(va_arg(va, int64_t));
    events.push_back({code, args});
    return nullptr;
  }
  std::vector<tree_event_t> events;
};

// A tree whose blobs live in a map; counts the store's calls.
class memory_store_tree_t final : public dirtree_impl_t
{
public:
  memory_store_tree_t(directory_tree_t *owner, std::unique_ptr<dirspec_t> dirspec)
    : dirtree_impl_t(owner, dirspec.get())
  {
    adopt_dirspec(std::move(dirspec));
  }

  void delete_blob(uint64_t key) override
  {
    blobs.erase(key);
    deleted.push_back(key);
  }
  void store_blob(uint64_t key, const byte_buffer_t &bytes) override
  {
    blobs[key] = std::vector<uint8_t>(bytes.begin(), bytes.end());
    stored.push_back(key);
  }
  bool load_blob(byte_buffer_t *out, uint64_t key) override
  {
    const auto found = blobs.find(key);
    if ( found == blobs.end() )
      return false;
    out->clear();
    for ( const uint8_t byte : found->second )
      out->push_back(byte);
    return true;
  }
  uint64_t first_blob_key() override
  {
    ++scans;
    return blobs.empty() ? dirtree_none : blobs.begin()->first;
  }
  uint64_t next_blob_key(uint64_t key) override
  {
    const auto found = blobs.upper_bound(key);
    return found != blobs.end() ? found->first : dirtree_none;
  }
  void on_folder_saved(uint64_t folder) override { saved.push_back(folder); }

  std::map<uint64_t, std::vector<uint8_t>> blobs;
  std::vector<uint64_t> stored;
  std::vector<uint64_t> deleted;
  std::vector<uint64_t> saved;
  int scans = 0;
};

// A tree over a test dirspec, with a memory store when asked.
struct test_tree_t
{
  explicit test_tree_t(bool with_store = false);
  test_dirspec_t *spec;                  // owned by the tree
  std::unique_ptr<directory_tree_t> tree;
  // The store (null without one).
  [[nodiscard]] memory_store_tree_t *store() const { return dynamic_cast<memory_store_tree_t *>(tree->impl()); }
  directory_tree_t *operator->() const { return tree.get(); }
  directory_tree_t &operator*() const { return *tree; }
};

// The text form of an entry: "root", "folder NAME", "item NAME", "none folder", "none item".
std::string describe_entry(directory_tree_t &tree, const dirtree_entry_t &entry);
// The absolute path of every entry in walk order, folders with a trailing '/': "/a/", "/a/x", ...; an item
// the dirspec cannot name is "<unnamed>".
std::vector<std::string> walk_paths(directory_tree_t &tree);
// The names of a folder's entries in order (folders with a trailing '/').
std::vector<std::string> folder_names(directory_tree_t &tree, uint64_t folder);
// Asserts the tree's promises: every non-free folder but the root is listed once by its parent, the parent
// cursors agree with the listings, and each unsorted folder's item index holds exactly its items.
void expect_tree_consistent(directory_tree_t &tree);
