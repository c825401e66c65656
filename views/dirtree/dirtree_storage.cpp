// Folder blobs of a directory tree: their format, loading with the structure check, item pruning and saving.
#include "views/dirtree/dirtree_impl.h"

#include "core/byte_cursor.h"
#include "core/compact_codec.h"
#include "core/corruption_report.h"
#include "core/internal_error.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace
{

// Blob format version written; versions 0 and 1 are read.
constexpr uint8_t folder_blob_version = 1;
// Keys of folder blobs: the folder number in the bits above the low 16, which stay zero.
constexpr int folder_key_shift = 16;
constexpr uint64_t folder_key_low_bits = 0xFFFF;
constexpr uint64_t folder_key_limit = uint64_t(1) << 32;
// The environment variable that makes loading also prune unknown and repeated item links.
constexpr const char *verify_items_variable = "ZUK_VERIFY_DIRTREES";
// The stored flags keep only the sorted bit.
constexpr uint32_t unstored_flags = dirtree_folder_dirty | dirtree_folder_free;

void append_u32(byte_buffer_t *out, uint32_t value)
{
  uint8_t bytes[compact_u32_max_size];
  const uint8_t *end = pack_u32_compact(bytes, bytes + sizeof(bytes), value);
  bytevec_append(out, bytes, size_t(end - bytes));
}

void append_u64(byte_buffer_t *out, uint64_t value)
{
  uint8_t bytes[compact_u64_max_size];
  const uint8_t *end = pack_u64_compact(bytes, bytes + sizeof(bytes), value);
  bytevec_append(out, bytes, size_t(end - bytes));
}

} // namespace

void dirtree_impl_t::write_folder_blob(byte_buffer_t *out, uint64_t folder) const
{
  const dirtree_folder_t &record = folders_[folder];
  out->clear();
  out->push_back(folder_blob_version);
  bytevec_append(out, record.name.c_str(), record.name.size() + 1);
  append_u64(out, record.parent);
  append_u32(out, record.flags & ~unstored_flags);
  append_u32(out, uint32_t(record.entries.size()));
  uint64_t previous = 0;
  for ( const dirtree_entry_t &entry : record.entries )
  {
    append_u64(out, entry.id - previous);
    previous = entry.id;
  }
  // Alternating runs of folders and items, folders first; the last run is always written.
  bool folders = true;
  uint32_t run = 0;
  for ( const dirtree_entry_t &entry : record.entries )
  {
    if ( entry.is_folder == folders )
    {
      ++run;
      continue;
    }
    append_u32(out, run);
    folders = !folders;
    run = 1;
  }
  append_u32(out, run);
  if ( out->size() > dirtree_max_blob )
    interr(interr_dirtree_blob_too_long);
}

bool dirtree_impl_t::parse_folder_blob(uint64_t key, const byte_buffer_t &blob)
{
  if ( key >= folder_key_limit || blob.size() > dirtree_max_blob )
    return false;
  const uint64_t number = key >> folder_key_shift;
  const size_t old_size = folders_.size();
  folders_.resize(number + 1);
  for ( size_t i = old_size; i < number; ++i )
  {
    folders_[i].flags = dirtree_folder_free;
    free_folders_.push_back(i);
  }
  // Keys come in ascending order, so the vector only grows; a store that breaks that cuts it, and the
  // free list keeps no number beyond it.
  std::erase_if(free_folders_, [this](uint64_t free) { return free >= folders_.size(); });
  dirtree_folder_t &record = folders_[number];
  record = dirtree_folder_t {};

  const uint8_t *cursor = blob.data();
  const uint8_t *end = cursor + blob.size();
  const uint8_t version = blob.empty() ? 0 : *cursor++;
  if ( version > folder_blob_version )
    return false;
  if ( const void *nul = cursor != end ? std::memchr(cursor, 0, size_t(end - cursor)) : nullptr; nul != nullptr )
  {
    const auto *name_end = static_cast<const uint8_t *>(nul);
    record.name.assign(reinterpret_cast<const char *>(cursor), size_t(name_end - cursor));
    cursor = name_end + 1;
  }
  record.parent = unpack_u64_compact(&cursor, end);
  record.flags = unpack_u32_compact(&cursor, end) & ~unstored_flags;
  const uint32_t count = unpack_u32_compact(&cursor, end);
  if ( size_t(end - cursor) < count )
    return false;
  record.entries.reserve(count);
  uint64_t id = 0;
  for ( uint32_t i = 0; i < count; ++i )
  {
    id += unpack_u64_compact(&cursor, end);
    record.entries.push_back({id, true});
    if ( cursor == end )
      return false;
  }
  const bool indexed = !record.is_sorted();
  if ( version == 1 )
  {
    uint32_t covered = 0;
    bool folders = true;
    while ( covered < count )
    {
      if ( cursor >= end )
        return false;
      const uint32_t run = unpack_u32_compact(&cursor, end);
      if ( run > count - covered )
        return false;
      for ( uint32_t i = covered; i < covered + run; ++i )
      {
        record.entries[i].is_folder = folders;
        if ( !folders && indexed )
          record.item_index.insert(record.entries[i].id);
      }
      covered += run;
      folders = !folders;
    }
    return true;
  }
  const uint32_t items = unpack_u32_compact(&cursor, end);
  if ( items > UINT32_MAX - count || size_t(end - cursor) < items )
    return false;
  record.entries.reserve(size_t(count) + items);
  id = 0;
  for ( uint32_t i = 0; i < items; ++i )
  {
    if ( cursor >= end )
      return false;
    id += unpack_u64_compact(&cursor, end);
    record.entries.push_back({id, false});
    if ( indexed )
      record.item_index.insert(id);
  }
  return true;
}

void dirtree_impl_t::reset_to_empty_root()
{
  folders_.assign(1, dirtree_folder_t {});
  free_folders_.clear();
  current_folder_ = 0;
}

bool dirtree_impl_t::well_formed() const
{
  if ( folders_.empty() || folders_[0].is_free() || folders_[0].parent != 0 )
    return false;
  std::vector<bool> reached(folders_.size());
  reached[0] = true;
  size_t reached_count = 1;
  std::vector<uint64_t> pending {0};
  while ( !pending.empty() )
  {
    const uint64_t folder = pending.back();
    pending.pop_back();
    for ( const dirtree_entry_t &entry : folders_[folder].entries )
    {
      if ( !entry.is_folder )
        continue;
      // Each folder is listed once, by the folder its parent field names: the folders form one tree.
      if ( entry.id >= folders_.size() || reached[entry.id] || folders_[entry.id].is_free() ||
           folders_[entry.id].parent != folder )
        return false;
      reached[entry.id] = true;
      ++reached_count;
      pending.push_back(entry.id);
    }
  }
  const auto live = size_t(std::count_if(folders_.begin(), folders_.end(),
                                         [](const dirtree_folder_t &record) { return !record.is_free(); }));
  return reached_count == live;
}

bool dirtree_impl_t::load_folders(bool verify)
{
  folders_.clear();
  free_folders_.clear();
  current_folder_ = 0;
  byte_buffer_t blob;
  bool parsed = true;
  uint64_t key = first_blob_key();
  while ( key != dirtree_none )
  {
    if ( (key & folder_key_low_bits) != 0 )
    {
      key = next_blob_key(key | folder_key_low_bits);
      continue;
    }
    blob.clear();
    if ( load_blob(&blob, key) && !parse_folder_blob(key, blob) )
    {
      report_corruption("wrong directory structure\n");
      parsed = false;
      break;
    }
    key = next_blob_key(key);
  }
  if ( !parsed )
  {
    // The folders read so far stay only while they form a tree of their own.
    if ( !well_formed() )
      reset_to_empty_root();
    return false;
  }
  if ( verify )
    return verify_loaded(std::getenv(verify_items_variable) != nullptr);
  if ( !well_formed() )
  {
    report_corruption("wrong directory structure\n");
    reset_to_empty_root();
    return false;
  }
  return true;
}

bool dirtree_impl_t::verify_loaded(bool check_items)
{
  // The dirty bit is the visited mark: a freshly loaded tree has none.
  bool ok = !folders_.empty();
  struct pending_t
  {
    uint64_t folder;
    uint64_t expected_parent;
  };
  std::vector<pending_t> pending {{0, 0}};
  std::vector<std::string_view> names;
  while ( ok && !pending.empty() )
  {
    const pending_t next = pending.back();
    pending.pop_back();
    if ( next.folder >= folders_.size() )
    {
      ok = false;
      break;
    }
    dirtree_folder_t &record = folders_[next.folder];
    if ( (record.flags & (dirtree_folder_dirty | dirtree_folder_free)) != 0 || record.parent != next.expected_parent )
    {
      ok = false;
      break;
    }
    record.flags |= dirtree_folder_dirty;
    names.clear();
    for ( const dirtree_entry_t &entry : record.entries )
    {
      if ( !entry.is_folder )
        continue;
      if ( entry.id >= folders_.size() || folders_[entry.id].name.empty() )
      {
        ok = false;
        break;
      }
      names.push_back(folders_[entry.id].name.view());
      pending.push_back({entry.id, next.folder});
    }
    std::sort(names.begin(), names.end());
    if ( std::adjacent_find(names.begin(), names.end()) != names.end() )
      ok = false;
  }
  std::unordered_set<uint64_t> seen;
  for ( size_t n = folders_.size(); ok && n-- > 0; )
  {
    dirtree_folder_t &record = folders_[n];
    if ( record.is_free() )
      continue;
    if ( (record.flags & dirtree_folder_dirty) == 0 )
    {
      ok = false;
      break;
    }
    record.flags &= ~dirtree_folder_dirty;
    if ( check_items )
    {
      epoch_ = std::max(epoch_, int32_t(record.checked_epoch + 1));
      prune_items(n, &seen);
    }
  }
  if ( !ok )
    reset_to_empty_root();
  return ok;
}

size_t dirtree_impl_t::prune_items(uint64_t folder, std::unordered_set<uint64_t> *seen)
{
  dirtree_folder_t &record = folders_[folder];
  if ( record.checked_epoch == uint32_t(epoch_) )
    return 0;
  record.checked_epoch = uint32_t(epoch_);
  size_t removed = 0;
  for ( size_t i = record.entries.size(); i-- > 0; )
  {
    const dirtree_entry_t entry = record.entries[i];
    if ( entry.is_folder )
      continue;
    bool keep = dirspec_->item_name(nullptr, entry.id, 0);
    if ( keep && seen != nullptr )
      keep = seen->insert(entry.id).second;
    if ( keep )
      continue;
    on_entry_linked(folder, int64_t(i), entry.id, false);
    record.entries.erase(record.entries.begin() + ptrdiff_t(i));
    mark_dirty(folder);
    dirspec_->on_item_unlinked(entry.id);
    ++removed;
  }
  // A repeated link taken out leaves the inode linked in this folder once more.
  if ( removed != 0 )
    rebuild_index(folder);
  return removed;
}

void dirtree_impl_t::save_folders(bool dirty_only)
{
  byte_buffer_t blob;
  for ( uint64_t n = 0; n < folders_.size(); ++n )
  {
    const uint64_t key = n << folder_key_shift;
    if ( dirty_only )
    {
      prune_items(n, nullptr);
      if ( (folders_[n].flags & dirtree_folder_dirty) == 0 )
        continue;
      folders_[n].flags &= ~dirtree_folder_dirty;
      on_folder_saved(n);
    }
    if ( folders_[n].is_free() )
      delete_blob(key);
    else
    {
      write_folder_blob(&blob, n);
      store_blob(key, blob);
    }
  }
  // Blobs of folders beyond the records (the highest ones were deleted) go too.
  const uint64_t first_stale = uint64_t(folders_.size()) << folder_key_shift;
  for ( uint64_t key = next_blob_key(first_stale - 1); key != dirtree_none; key = next_blob_key(key) )
    delete_blob(key);
}

bool dirtree_impl_t::load_once()
{
  if ( loaded_ )
    return true;
  loaded_ = load_folders(true);
  return loaded_;
}

bool dirtree_impl_t::save_dirty_folders()
{
  save_folders(true);
  return true;
}

bool dirtree_impl_t::reload_and_save_all()
{
  if ( !load_folders(false) )
    return false;
  loaded_ = true;
  save_folders(false);
  return true;
}

void dirtree_impl_t::set_storage_id(const char *text)
{
  const qstring old_id = dirspec_->id;
  on_id_changed(old_id.c_str(), text != nullptr ? text : "");
  dirspec_->id = text != nullptr ? text : "";
}
