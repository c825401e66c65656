// The public holder of a directory tree, the trees without storage, and the application's choice of tree.
#pragma once

#include "views/dirtree/dirtree_impl.h"

#include <memory>

// The holder: owns one tree (models keep holders, not trees). Operations forward to the tree; the
// spellings the views use (move_entry, shift_entry, ...) are aliases of the tree's own names.
class directory_tree_t
{
public:
  // A tree over the dirspec, made through the application's tree factory; the tree owns the dirspec.
  // Internal error 2649 for a null dirspec.
  explicit directory_tree_t(std::unique_ptr<dirspec_t> dirspec);
  ~directory_tree_t();
  directory_tree_t(const directory_tree_t &) = delete;
  directory_tree_t &operator=(const directory_tree_t &) = delete;

  // The tree, null once destroyed.
  [[nodiscard]] dirtree_impl_t *impl() const { return impl_.get(); }
  // Destroys the tree (nothing when there is none).
  void destroy() { impl_.reset(); }

  // ---- The tree's own operations ------------------------------------------------------------------------
  void reset_contents() { impl_->clear_tree(); }
  void clear_tree() { impl_->clear_tree(); }
  bool add_event_handler(event_handler_t *handler) { return impl_->add_event_handler(handler); }
  [[nodiscard]] int create_folder(const char *path) { return impl_->create_folder(path); }
  [[nodiscard]] int delete_folder(const char *path) { return impl_->delete_folder(path); }
  [[nodiscard]] int link_or_unlink_path(const char *path, bool link) { return impl_->link_or_unlink_path(path, link); }
  [[nodiscard]] int rename_entry(const char *old_path, const char *new_path)
  {
    return impl_->rename_entry(old_path, new_path);
  }
  [[nodiscard]] int change_position(const char *path, int64_t delta) { return impl_->change_position(path, delta); }
  [[nodiscard]] int change_folder(const char *path) { return impl_->change_folder(path); }
  bool set_folder_sorted(uint64_t folder, bool on) { return impl_->set_folder_sorted(folder, on); }
  [[nodiscard]] dirtree_entry_t entry_of_path(const char *path) const { return impl_->entry_of_path(path); }
  [[nodiscard]] dirtree_entry_t entry_at_cursor(const dirtree_cursor_t &cursor) const
  {
    return impl_->entry_at_cursor(cursor);
  }
  bool cursor_text(qstring *out, const dirtree_cursor_t &cursor, uint32_t name_flags) const
  {
    return impl_->cursor_text(out, cursor, name_flags);
  }
  bool entry_name(qstring *out, const dirtree_entry_t &entry, uint32_t name_flags) const
  {
    return impl_->entry_name(out, entry, name_flags);
  }
  void current_folder_path(qstring *out) const { impl_->current_folder_path(out); }
  [[nodiscard]] uint64_t folder_size(uint64_t folder) { return impl_->folder_size(folder); }
  [[nodiscard]] int64_t position_of_entry(uint64_t folder, const dirtree_entry_t &entry) const
  {
    return impl_->position_of_entry(folder, entry);
  }
  [[nodiscard]] dirtree_cursor_t parent_cursor_of_folder(uint64_t folder) const
  {
    return impl_->parent_cursor_of_folder(folder);
  }
  int cursor_of_entry(dirtree_cursor_t *out, const dirtree_entry_t &entry) { return impl_->cursor_of_entry(out, entry); }
  bool cursor_of_path(const char *path, dirtree_path_cursor_t *out) const { return impl_->cursor_of_path(path, out); }
  [[nodiscard]] bool is_folder_sorted(uint64_t folder) const { return impl_->is_folder_sorted(folder); }
  [[nodiscard]] bool is_orderable() const { return impl_->is_orderable(); }
  [[nodiscard]] const qstring &storage_id() const { return impl_->storage_id(); }
  bool find_first(dirtree_search_t *state, const char *pattern_path) { return impl_->find_first(state, pattern_path); }
  bool find_next(dirtree_search_t *state, bool advance) { return impl_->find_next(state, advance); }
  int traverse(dirtree_visitor_t &visitor) { return impl_->traverse(visitor); }
  [[nodiscard]] std::unique_ptr<directory_tree_t> clone() const { return impl_->clone(); }
  bool load_once() { return impl_->load_once(); }
  bool save_dirty_folders() { return impl_->save_dirty_folders(); }
  bool reload_and_save_all() { return impl_->reload_and_save_all(); }
  void set_storage_id(const char *text) { impl_->set_storage_id(text); }

  // ---- The views' spellings ---------------------------------------------------------------------------
  [[nodiscard]] int move_entry(const char *source, const char *target) { return rename_entry(source, target); }
  [[nodiscard]] int shift_entry(const char *path, int64_t offset) { return change_position(path, offset); }
  [[nodiscard]] int remove_empty_folder(const char *path) { return delete_folder(path); }
  int visit_entries(dirtree_visitor_t &visitor) { return traverse(visitor); }
  [[nodiscard]] int64_t position_in_folder(uint64_t folder, const dirtree_entry_t &entry) const
  {
    return position_of_entry(folder, entry);
  }
  // The entry count, -1 for none or an unknown folder.
  [[nodiscard]] int64_t folder_entry_count(uint64_t folder) { return int64_t(folder_size(folder)); }
  [[nodiscard]] qstring current_folder_path() const
  {
    qstring path;
    current_folder_path(&path);
    return path;
  }
  [[nodiscard]] bool in_natural_order(uint64_t folder) const { return is_folder_sorted(folder); }
  [[nodiscard]] bool natural_order_supported() const { return is_orderable(); }
  bool set_natural_order(uint64_t folder, bool on) { return set_folder_sorted(folder, on); }

private:
  friend class dirtree_impl_t;
  // A holder over a tree made elsewhere (a detached copy).
  explicit directory_tree_t(std::unique_ptr<dirtree_impl_t> impl) : impl_(std::move(impl)) {}

  std::unique_ptr<dirtree_impl_t> impl_;
};

// A tree without a store: blobs are neither kept nor found, so its folders live in memory only (loading
// finds nothing and leaves one empty root). The default tree of the application.
class storageless_dirtree_impl_t : public dirtree_impl_t
{
public:
  // Owns the dirspec.
  storageless_dirtree_impl_t(directory_tree_t *owner, std::unique_ptr<dirspec_t> dirspec);

  void delete_blob(uint64_t /*key*/) override {}
  void store_blob(uint64_t /*key*/, const byte_buffer_t & /*bytes*/) override {}
  bool load_blob(byte_buffer_t * /*out*/, uint64_t /*key*/) override { return false; }
  uint64_t first_blob_key() override { return dirtree_none; }
  uint64_t next_blob_key(uint64_t /*key*/) override { return dirtree_none; }

protected:
  // Over a dirspec it does not own.
  explicit storageless_dirtree_impl_t(dirspec_t *dirspec) : dirtree_impl_t(nullptr, dirspec) {}
};

// How the application makes the tree of a new holder (the client may give its trees a store). The tree
// takes the dirspec.
using dirtree_impl_factory_t = std::unique_ptr<dirtree_impl_t> (*)(directory_tree_t *owner,
                                                                   std::unique_ptr<dirspec_t> dirspec);
// Installs the factory (null: back to storageless_dirtree_impl_t). GUI thread, before trees are made.
void set_dirtree_impl_factory(dirtree_impl_factory_t factory);
