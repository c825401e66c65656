// The directory tree: path resolution, changes, queries, walks and detached copies.
#include "views/dirtree/dirtree_impl.h"

#include "core/internal_error.h"
#include "core/path_pattern.h"
#include "views/dirtree/directory_tree.h"

#include <algorithm>
#include <string>

const char *dirtree_error_name(int code)
{
  static const char *const names[] = {"ok",
                                      "already exists",
                                      "not found",
                                      "is not a directory",
                                      "directory is not empty",
                                      "invalid path",
                                      "failed to rename",
                                      "is our subdirectory",
                                      "maximum directory count achieved"};
  return code >= 0 && code < int(std::size(names)) ? names[code] : "?";
}

namespace
{

// A name without its trailing '/' characters.
std::string_view without_trailing_slashes(std::string_view name)
{
  while ( !name.empty() && name.back() == '/' )
    name.remove_suffix(1);
  return name;
}

// The copy a view reads while it works on a frozen tree: no store, and it neither loads nor saves.
class detached_dirtree_impl_t final : public storageless_dirtree_impl_t
{
public:
  explicit detached_dirtree_impl_t(dirspec_t *dirspec) : storageless_dirtree_impl_t(dirspec) {}
  bool load_once() override { return false; }
  bool save_dirty_folders() override { return false; }
  bool reload_and_save_all() override { return false; }
};

} // namespace

dirtree_impl_t::dirtree_impl_t(directory_tree_t *owner, dirspec_t *dirspec) : owner_(owner), dirspec_(dirspec)
{
  if ( dirspec == nullptr )
    interr(interr_dirtree_no_dirspec);
  clear_tree();
}

dirtree_impl_t::~dirtree_impl_t() = default;

void dirtree_impl_t::clear_tree()
{
  folders_.clear();
  free_folders_.clear();
  dirtree_folder_t root;
  root.flags = dirtree_folder_dirty | (is_orderable() ? dirtree_folder_sorted : 0);
  folders_.push_back(std::move(root));
  current_folder_ = 0;
  epoch_ = 0;
  loaded_ = false;
}

void dirtree_impl_t::on_entry_linked(uint64_t folder, int64_t /*position*/, uint64_t inode, bool linked)
{
  dirtree_folder_t &record = folders_[folder];
  if ( !linked )
    record.item_index.erase(inode);
  else if ( !record.is_sorted() )
    record.item_index.insert(inode);
}

// ---- Paths ----------------------------------------------------------------------------------------------

void dirtree_impl_t::folder_path(qstring *out, uint64_t folder, bool trailing) const
{
  out->clear();
  if ( folder >= folders_.size() )
    return;
  if ( folder == 0 )
  {
    *out = "/";
    return;
  }
  std::vector<uint64_t> chain;
  // Bounded by the record count: a parent chain never holds more folders than the tree.
  for ( uint64_t f = folder; f != 0 && f < folders_.size() && chain.size() < folders_.size(); f = folders_[f].parent )
    chain.push_back(f);
  for ( auto it = chain.rbegin(); it != chain.rend(); ++it )
  {
    out->push_back('/');
    out->append(folders_[*it].name.view());
  }
  if ( trailing )
    out->push_back('/');
}

size_t dirtree_impl_t::leading_folder_count(uint64_t folder) const
{
  const std::vector<dirtree_entry_t> &entries = folders_[folder].entries;
  size_t n = 0;
  while ( n < entries.size() && entries[n].is_folder )
    ++n;
  return n;
}

namespace
{

// The first item of a sorted folder's item part whose inode is not below the inode.
std::vector<dirtree_entry_t>::const_iterator lower_bound_item(const std::vector<dirtree_entry_t> &entries,
                                                              size_t first_item, uint64_t inode)
{
  return std::lower_bound(entries.begin() + ptrdiff_t(first_item), entries.end(), inode,
                          [](const dirtree_entry_t &entry, uint64_t id) { return entry.id < id; });
}

} // namespace

bool dirtree_impl_t::holds_item(uint64_t folder, uint64_t inode) const
{
  const dirtree_folder_t &record = folders_[folder];
  if ( !record.is_sorted() )
    return record.item_index.count(inode) != 0;
  const auto found = lower_bound_item(record.entries, leading_folder_count(folder), inode);
  return found != record.entries.end() && found->id == inode && !found->is_folder;
}

size_t dirtree_impl_t::item_insert_position(uint64_t folder, uint64_t inode) const
{
  const dirtree_folder_t &record = folders_[folder];
  if ( !record.is_sorted() )
    return record.entries.size();
  return size_t(lower_bound_item(record.entries, leading_folder_count(folder), inode) - record.entries.begin());
}

dirtree_entry_t dirtree_impl_t::lookup_name(uint64_t folder, std::string_view name) const
{
  if ( folder == 0 && name.empty() )
    return dirtree_root_entry;
  if ( name == "." )
    return {folder, true};
  const std::string_view bare = without_trailing_slashes(name);
  const bool trailing = bare.size() != name.size();
  if ( trailing && bare.empty() )
    return dirtree_none_folder;
  const dirtree_folder_t &record = folders_[folder];
  for ( const dirtree_entry_t &entry : record.entries )
  {
    if ( !entry.is_folder )
    {
      if ( record.is_sorted() )
        break;
      continue;
    }
    if ( entry.id < folders_.size() && folders_[entry.id].name == bare )
      return entry;
  }
  if ( trailing )
    return dirtree_none_item;
  qstring path;
  folder_path(&path, folder, true);
  const std::string item(bare);
  const uint64_t inode = dirspec_->item_of_path(path.c_str(), item.c_str());
  if ( inode != dirtree_none && holds_item(folder, inode) )
    return {inode, false};
  return dirtree_none_folder;
}

bool dirtree_impl_t::split_path(const char *path, dirtree_split_t *out) const
{
  if ( path == nullptr || *path == '\0' )
    return false;
  const std::string_view text(path);
  size_t end = text.size();
  while ( end > 1 && text[end - 1] == '/' )
    --end;
  const size_t separator = text.rfind('/', end - 1);
  uint64_t folder = 0;
  std::string_view name;
  if ( separator == std::string_view::npos )
  {
    folder = current_folder_;
    name = text;
  }
  else if ( separator == 0 )
    name = text.substr(1);
  else
  {
    const std::string folder_part(text.substr(0, separator));
    const dirtree_entry_t entry = entry_of_path(folder_part.c_str());
    if ( entry.is_none() || !entry.is_folder )
      return false;
    folder = entry.id;
    name = text.substr(separator + 1);
  }
  // "." and ".." (with or without trailing '/') name a folder by its place in its parent; taken literally
  // they would make folders that no path can reach.
  const std::string_view bare = without_trailing_slashes(name);
  if ( bare == "." || bare == ".." )
  {
    if ( bare == ".." )
      folder = folders_[folder].parent;
    out->name = folders_[folder].name;
    out->folder = folders_[folder].parent;
    return true;
  }
  out->folder = folder;
  out->name.assign(name.data(), name.size());
  return true;
}

dirtree_entry_t dirtree_impl_t::entry_of_path(const char *path) const
{
  if ( path == nullptr || *path == '\0' )
    return dirtree_none_item;
  const std::string_view text(path);
  uint64_t folder = text.front() == '/' ? 0 : current_folder_;
  size_t i = 0;
  while ( i < text.size() )
  {
    while ( i < text.size() && text[i] == '/' )
      ++i;
    if ( i >= text.size() )
      break;
    size_t j = text.find('/', i);
    if ( j == std::string_view::npos )
      j = text.size();
    const std::string_view component = text.substr(i, j - i);
    i = j;
    if ( component == "." )
      continue;
    if ( component == ".." )
    {
      folder = folders_[folder].parent;
      continue;
    }
    const dirtree_entry_t entry = lookup_name(folder, component);
    if ( entry.is_none() || !entry.is_folder )
      return entry;
    folder = entry.id;
  }
  return {folder, true};
}

bool dirtree_impl_t::lies_below(uint64_t folder, uint64_t ancestor) const
{
  size_t steps = 0;
  for ( uint64_t f = folder; f != 0 && f < folders_.size() && steps <= folders_.size(); f = folders_[f].parent, ++steps )
    if ( folders_[f].parent == ancestor )
      return true;
  return false;
}

// ---- Changes --------------------------------------------------------------------------------------------

int dirtree_impl_t::create_one_folder(uint64_t parent, std::string_view name)
{
  if ( free_folders_.empty() && folders_.size() >= dirtree_max_folders )
    return dirtree_too_many_folders;
  // The name is looked up without its trailing '/': "x/" must not make a folder beside an item x.
  const std::string_view bare = without_trailing_slashes(name);
  if ( !lookup_name(parent, bare).is_none() )
    return dirtree_already_exists;
  uint64_t number = 0;
  const bool appended = free_folders_.empty();
  if ( appended )
  {
    number = folders_.size();
    folders_.emplace_back();
  }
  else
  {
    number = free_folders_.back();
    free_folders_.pop_back();
  }
  const size_t position = leading_folder_count(parent);
  std::vector<dirtree_entry_t> &siblings = folders_[parent].entries;
  siblings.insert(siblings.begin() + ptrdiff_t(position), dirtree_entry_t {number, true});
  mark_dirty(parent);

  dirtree_folder_t &record = folders_[number];
  record.name.assign(bare.data(), bare.size());
  record.parent = parent;
  const uint32_t old_flags = record.flags;
  const bool sorted = is_orderable() && folders_[parent].is_sorted();
  record.flags = dirtree_folder_dirty | (sorted ? dirtree_folder_sorted : 0);
  if ( ((old_flags ^ record.flags) & dirtree_folder_sorted) != 0 )
    rebuild_index(number);
  on_folder_created_or_deleted(parent, int64_t(position), number, appended, record, record.flags, true);
  return dirtree_ok;
}

int dirtree_impl_t::create_folder(const char *path)
{
  if ( path == nullptr || *path == '\0' )
    return dirtree_invalid_path;
  std::string text(path);
  for ( size_t at = text.find("//"); at != std::string::npos; at = text.find("//") )
    text.erase(at, 1);
  size_t start = 0;
  if ( text.compare(0, 1, "/") == 0 )
    start = 1;
  else if ( text.compare(0, 2, "./") == 0 )
    start = 2;
  else if ( text.compare(0, 3, "../") == 0 )
    start = 3;
  if ( start >= text.size() )
    return dirtree_already_exists;
  // Every folder above the last one, left to right. A trailing '/' ends the whole path rather than a
  // folder above it: the whole path's own step creates that folder.
  for ( size_t at = text.find('/', start); at != std::string::npos && at + 1 < text.size(); at = text.find('/', at + 1) )
  {
    dirtree_split_t split;
    if ( !split_path(text.substr(0, at + 1).c_str(), &split) )
      return dirtree_invalid_path;
    const int result = create_one_folder(split.folder, split.name.view());
    if ( result != dirtree_ok && result != dirtree_already_exists )
      return result;
  }
  dirtree_split_t split;
  if ( !split_path(text.c_str(), &split) )
    return dirtree_invalid_path;
  const int result = create_one_folder(split.folder, split.name.view());
  if ( result == dirtree_ok )
    notify(dirtree_folder_created, path);
  return result;
}

int dirtree_impl_t::delete_folder(const char *path)
{
  dirtree_split_t split;
  if ( !split_path(path, &split) )
    return dirtree_invalid_path;
  const dirtree_entry_t entry = lookup_name(split.folder, split.name.view());
  if ( !entry.is_folder )
    return dirtree_not_a_directory;
  if ( entry.is_none() )
    return dirtree_not_found;
  const uint64_t folder = entry.id;
  if ( folder == 0 || !folders_[folder].entries.empty() )
    return dirtree_not_empty;
  const uint64_t parent = folders_[folder].parent;
  if ( current_folder_ == folder )
  {
    on_cwd_changed(folder, parent);
    current_folder_ = parent;
  }
  std::vector<dirtree_entry_t> &siblings = folders_[parent].entries;
  const auto listed = std::find(siblings.begin(), siblings.end(), dirtree_entry_t {folder, true});
  if ( listed == siblings.end() )
    interr(interr_dirtree_folder_unlisted);
  const int64_t position = listed - siblings.begin();
  siblings.erase(listed);
  mark_dirty(parent);

  dirtree_folder_t old_record;
  old_record.name = std::move(folders_[folder].name);
  const uint32_t old_flags = folders_[folder].flags;
  const bool last = folder + 1 == folders_.size();
  if ( last )
    folders_.pop_back();
  else
  {
    folders_[folder] = dirtree_folder_t {};
    folders_[folder].flags = dirtree_folder_dirty | dirtree_folder_free;
    free_folders_.push_back(folder);
  }
  on_folder_created_or_deleted(parent, position, folder, last, old_record, old_flags, false);
  notify(dirtree_folder_removed, path);
  return dirtree_ok;
}

int dirtree_impl_t::link_or_unlink_path(const char *path, bool link)
{
  dirtree_split_t split;
  if ( !split_path(path, &split) || split.name.empty() || split.name.view().find('/') != std::string_view::npos )
    return dirtree_invalid_path;
  const uint64_t folder = split.folder;
  qstring folder_text;
  folder_path(&folder_text, folder, true);
  const uint64_t inode = dirspec_->item_of_path(folder_text.c_str(), split.name.c_str());
  if ( inode == dirtree_none )
    return dirtree_not_found;
  std::vector<dirtree_entry_t> &entries = folders_[folder].entries;
  if ( link )
  {
    if ( holds_item(folder, inode) )
      return dirtree_already_exists;
    const size_t position = item_insert_position(folder, inode);
    entries.insert(entries.begin() + ptrdiff_t(position), dirtree_entry_t {inode, false});
    on_entry_linked(folder, int64_t(position), inode, true);
  }
  else
  {
    const int64_t position = position_of_entry(folder, {inode, false});
    if ( position < 0 )
      return dirtree_not_found;
    on_entry_linked(folder, position, inode, false);
    entries.erase(entries.begin() + position);
    dirspec_->on_item_unlinked(inode);
  }
  mark_dirty(folder);
  notify(dirtree_item_linked, path, int(link));
  return dirtree_ok;
}

int dirtree_impl_t::move_entry_between(dirtree_entry_t entry, uint64_t from, uint64_t to, std::string_view name)
{
  if ( from == to )
    return dirtree_ok;
  const int64_t old_position = position_of_entry(from, entry);
  if ( old_position < 0 )
    interr(interr_dirtree_entry_not_in_folder);
  if ( position_of_entry(to, entry) >= 0 || !lookup_name(to, name).is_none() )
    return dirtree_already_exists;
  std::vector<dirtree_entry_t> &source = folders_[from].entries;
  source.erase(source.begin() + old_position);
  size_t new_position = 0;
  if ( entry.is_folder )
  {
    new_position = leading_folder_count(to);
    folders_[entry.id].parent = to;
    mark_dirty(entry.id);
  }
  else
  {
    new_position = item_insert_position(to, entry.id);
    folders_[from].item_index.erase(entry.id);
    if ( !folders_[to].is_sorted() )
      folders_[to].item_index.insert(entry.id);
  }
  std::vector<dirtree_entry_t> &target = folders_[to].entries;
  target.insert(target.begin() + ptrdiff_t(new_position), entry);
  mark_dirty(from);
  mark_dirty(to);
  on_entry_relinked(from, old_position, to, int64_t(new_position), entry);
  return dirtree_ok;
}

int dirtree_impl_t::find_entry(const char *path, dirtree_split_t *split, dirtree_entry_t *entry) const
{
  if ( !split_path(path, split) )
    return dirtree_invalid_path;
  *entry = lookup_name(split->folder, split->name.view());
  if ( entry->is_none() )
    return entry->is_folder ? dirtree_not_found : dirtree_not_a_directory;
  return dirtree_ok;
}

int dirtree_impl_t::rename_entry(const char *old_path, const char *new_path)
{
  dirtree_split_t from;
  dirtree_entry_t entry;
  if ( const int found = find_entry(old_path, &from, &entry); found != dirtree_ok )
    return found;
  dirtree_split_t to;
  if ( !split_path(new_path, &to) )
    return dirtree_invalid_path;
  const std::string old_name(without_trailing_slashes(from.name.view()));
  std::string new_name(without_trailing_slashes(to.name.view()));
  uint64_t target = to.folder;
  const dirtree_entry_t there = lookup_name(target, to.name.view());
  if ( !there.is_none() && there.is_folder )
  {
    target = there.id;
    new_name = old_name;
  }
  else if ( !there.is_none() && target != from.folder )
    return dirtree_already_exists;
  if ( entry.is_folder && (target == entry.id || lies_below(target, entry.id)) )
    return dirtree_our_subdirectory;
  if ( const int moved = move_entry_between(entry, from.folder, target, new_name); moved != dirtree_ok )
    return moved;

  int result = dirtree_ok;
  if ( old_name != new_name )
  {
    if ( entry.is_folder )
    {
      const dirtree_entry_t clash = lookup_name(target, new_name);
      if ( !clash.is_none() && clash.is_folder )
        result = dirtree_already_exists;
      else
      {
        on_folder_renamed(entry.id, folders_[entry.id], new_name);
        folders_[entry.id].name.assign(new_name.data(), new_name.size());
        mark_dirty(entry.id);
      }
    }
    else if ( !dirspec_->rename_item(entry.id, new_name.c_str()) )
      result = dirtree_rename_failed;
  }
  if ( result != dirtree_ok )
  {
    if ( move_entry_between(entry, target, from.folder, old_name) != dirtree_ok )
      interr(interr_dirtree_undo_failed);
    return result;
  }
  notify(dirtree_entry_renamed, old_path, new_path);
  return dirtree_ok;
}

int dirtree_impl_t::change_position(const char *path, int64_t delta)
{
  dirtree_split_t split;
  dirtree_entry_t entry;
  if ( const int found = find_entry(path, &split, &entry); found != dirtree_ok )
    return found;
  // The root is listed by no folder, so it has no position to change.
  if ( entry == dirtree_root_entry )
    return dirtree_invalid_path;
  const uint64_t folder = split.folder;
  const int64_t position = position_of_entry(folder, entry);
  if ( position < 0 )
    interr(interr_dirtree_entry_lost);
  if ( delta == 0 )
    return dirtree_ok;
  std::vector<dirtree_entry_t> &entries = folders_[folder].entries;
  const int64_t last = int64_t(entries.size()) - 1;
  // Clamped without overflow: a delta beyond either end lands at that end.
  int64_t target = 0;
  if ( delta > 0 )
    target = delta >= last - position ? last : position + delta;
  else
    target = -delta >= position ? 0 : position + delta;
  if ( target != position )
  {
    on_entry_moved(folder, position, target);
    if ( target > position )
      std::rotate(entries.begin() + position, entries.begin() + position + 1, entries.begin() + target + 1);
    else
      std::rotate(entries.begin() + target, entries.begin() + position, entries.begin() + position + 1);
    dirtree_folder_t &record = folders_[folder];
    const uint32_t old_flags = record.flags;
    if ( record.is_sorted() )
    {
      record.flags &= ~dirtree_folder_sorted;
      rebuild_index(folder);
    }
    on_folder_flags_changed(folder, old_flags, record.flags);
    mark_dirty(folder);
  }
  notify(dirtree_entry_shifted, path, target);
  return dirtree_ok;
}

int dirtree_impl_t::change_folder(const char *path)
{
  const dirtree_entry_t entry = entry_of_path(path);
  if ( !entry.is_folder )
    return dirtree_not_a_directory;
  if ( entry.is_none() )
    return dirtree_not_found;
  on_cwd_changed(current_folder_, entry.id);
  current_folder_ = entry.id;
  return dirtree_ok;
}

void dirtree_impl_t::rebuild_index(uint64_t folder)
{
  dirtree_folder_t &record = folders_[folder];
  record.item_index.clear();
  if ( record.is_sorted() )
    return;
  for ( const dirtree_entry_t &entry : record.entries )
    if ( !entry.is_folder )
      record.item_index.insert(entry.id);
}

bool dirtree_impl_t::set_folder_sorted(uint64_t folder, bool on)
{
  if ( !is_folder(folder) )
    return false;
  dirtree_folder_t &record = folders_[folder];
  if ( on )
  {
    if ( record.is_sorted() )
      return true;
    if ( !is_orderable() )
      return false;
    on_sort_mode_set(folder, true);
    std::stable_partition(record.entries.begin(), record.entries.end(),
                          [](const dirtree_entry_t &entry) { return entry.is_folder; });
    const auto first_item = record.entries.begin() + ptrdiff_t(leading_folder_count(folder));
    std::stable_sort(first_item, record.entries.end(),
                     [](const dirtree_entry_t &a, const dirtree_entry_t &b) { return a.id < b.id; });
    record.flags |= dirtree_folder_sorted;
    record.item_index.clear();
    mark_dirty(folder);
    return true;
  }
  const uint32_t old_flags = record.flags;
  if ( record.is_sorted() )
  {
    record.flags &= ~dirtree_folder_sorted;
    rebuild_index(folder);
    mark_dirty(folder);
  }
  on_folder_flags_changed(folder, old_flags, record.flags);
  return true;
}

// ---- Queries ------------------------------------------------------------------------------------------

dirtree_entry_t dirtree_impl_t::entry_at_cursor(const dirtree_cursor_t &cursor) const
{
  if ( cursor == dirtree_root_cursor )
    return dirtree_root_entry;
  if ( cursor.folder < 0 || uint64_t(cursor.folder) >= folders_.size() )
    return dirtree_none_folder;
  const std::vector<dirtree_entry_t> &entries = folders_[size_t(cursor.folder)].entries;
  if ( cursor.position < 0 || uint64_t(cursor.position) >= entries.size() )
    return dirtree_none_folder;
  return entries[size_t(cursor.position)];
}

bool dirtree_impl_t::cursor_text(qstring *out, const dirtree_cursor_t &cursor, uint32_t name_flags) const
{
  const dirtree_entry_t entry = entry_at_cursor(cursor);
  if ( entry.is_none() )
  {
    out->clear();
    return true;
  }
  if ( entry.is_folder )
  {
    folder_path(out, entry.id, false);
    return true;
  }
  qstring name;
  if ( !dirspec_->item_name(&name, entry.id, name_flags) )
    return false;
  std::string_view shown = name.view();
  if ( (name_flags & dirtree_display_name) != 0 )
    while ( !shown.empty() && shown.front() == ' ' )
      shown.remove_prefix(1);
  folder_path(out, uint64_t(cursor.folder), true);
  out->append(shown);
  return true;
}

bool dirtree_impl_t::entry_name(qstring *out, const dirtree_entry_t &entry, uint32_t name_flags) const
{
  if ( entry.is_none() )
    return false;
  if ( !entry.is_folder )
    return dirspec_->item_name(out, entry.id, name_flags);
  if ( entry.id >= folders_.size() )
    return false;
  if ( out != nullptr )
    *out = folders_[entry.id].name;
  return true;
}

uint64_t dirtree_impl_t::folder_size(uint64_t folder)
{
  if ( folder >= folders_.size() )
    return dirtree_none;
  prune_items(folder, nullptr);
  return folders_[folder].entries.size();
}

int64_t dirtree_impl_t::position_of_entry(uint64_t folder, const dirtree_entry_t &entry) const
{
  if ( folder >= folders_.size() )
    return -1;
  const dirtree_folder_t &record = folders_[folder];
  if ( !entry.is_folder )
  {
    if ( record.is_sorted() )
    {
      const auto found = lower_bound_item(record.entries, leading_folder_count(folder), entry.id);
      return found != record.entries.end() && found->id == entry.id && !found->is_folder
               ? int64_t(found - record.entries.begin())
               : -1;
    }
    if ( record.item_index.count(entry.id) == 0 )
      return -1;
  }
  const auto found = std::find(record.entries.begin(), record.entries.end(), entry);
  return found != record.entries.end() ? int64_t(found - record.entries.begin()) : -1;
}

dirtree_cursor_t dirtree_impl_t::parent_cursor_of_folder(uint64_t folder) const
{
  if ( folder == 0 )
    return dirtree_root_cursor;
  if ( !is_folder(folder) )
    return dirtree_no_cursor;
  const uint64_t parent = folders_[folder].parent;
  const int64_t position = position_of_entry(parent, {folder, true});
  if ( position < 0 )
    interr(interr_dirtree_parent_unlisted);
  return {int64_t(parent), position};
}

bool dirtree_impl_t::cursor_of_path(const char *path, dirtree_path_cursor_t *out) const
{
  dirtree_split_t split;
  if ( !split_path(path, &split) )
    return false;
  const dirtree_entry_t entry = lookup_name(split.folder, split.name.view());
  if ( entry.is_none() )
    return false;
  dirtree_cursor_t cursor = dirtree_root_cursor;
  if ( entry != dirtree_root_entry )
  {
    const int64_t position = position_of_entry(split.folder, entry);
    if ( position < 0 )
      return false;
    cursor = {int64_t(split.folder), position};
  }
  out->name = std::move(split.name);
  out->cursor = cursor;
  return true;
}

bool dirtree_impl_t::is_folder_sorted(uint64_t folder) const
{
  return folder < folders_.size() && folders_[folder].is_sorted();
}

bool dirtree_impl_t::find_first(dirtree_search_t *state, const char *pattern_path)
{
  dirtree_split_t split;
  if ( !split_path(pattern_path, &split) )
    return false;
  if ( split.folder == 0 && split.name.empty() )
  {
    state->folder = dirtree_none;
    return true;
  }
  state->pattern = std::move(split.name);
  state->folder = split.folder;
  state->position = 0;
  return find_next(state, false);
}

bool dirtree_impl_t::find_next(dirtree_search_t *state, bool advance)
{
  if ( !is_folder(state->folder) )
    return false;
  if ( advance )
    ++state->position;
  std::vector<dirtree_entry_t> &entries = folders_[state->folder].entries;
  qstring name;
  while ( state->position >= 0 && uint64_t(state->position) < entries.size() )
  {
    const dirtree_entry_t entry = entries[size_t(state->position)];
    if ( entry.is_folder )
      name = entry.id < folders_.size() ? folders_[entry.id].name : qstring();
    else if ( !dirspec_->item_name(&name, entry.id, 0) )
    {
      // An item nobody can name any more is dropped on the way; the folder stays as stored.
      on_entry_linked(state->folder, state->position, entry.id, false);
      entries.erase(entries.begin() + state->position);
      dirspec_->on_item_unlinked(entry.id);
      continue;
    }
    if ( star_pattern_match(name.c_str(), state->pattern.c_str()) )
      return true;
    ++state->position;
  }
  return false;
}

template <typename Visit>
int dirtree_impl_t::walk_entries(Visit &&visit)
{
  struct level_t
  {
    uint64_t folder;
    size_t next;
  };
  std::vector<level_t> stack {{0, 0}};
  prune_items(0, nullptr);
  while ( !stack.empty() )
  {
    level_t &level = stack.back();
    const std::vector<dirtree_entry_t> &entries = folders_[level.folder].entries;
    if ( level.next >= entries.size() )
    {
      stack.pop_back();
      continue;
    }
    const dirtree_entry_t entry = entries[level.next];
    const dirtree_cursor_t cursor {int64_t(level.folder), int64_t(level.next)};
    ++level.next;
    if ( const int answer = visit(cursor, entry); answer != 0 )
      return answer;
    // A loaded tree is a tree (loading refuses anything else), so the depth never exceeds the folder count.
    if ( entry.is_folder && is_folder(entry.id) && stack.size() <= folders_.size() )
    {
      prune_items(entry.id, nullptr);
      stack.push_back({entry.id, 0});
    }
  }
  return 0;
}

int dirtree_impl_t::traverse(dirtree_visitor_t &visitor)
{
  if ( const int answer = visitor.visit(dirtree_root_cursor, dirtree_root_entry); answer != 0 )
    return answer;
  return walk_entries([&visitor](const dirtree_cursor_t &cursor, const dirtree_entry_t &entry) {
    return visitor.visit(cursor, entry);
  });
}

int dirtree_impl_t::cursor_of_entry(dirtree_cursor_t *out, const dirtree_entry_t &entry)
{
  dirtree_cursor_t found = dirtree_no_cursor;
  int result = dirtree_not_found;
  if ( entry == dirtree_root_entry )
  {
    found = dirtree_root_cursor;
    result = dirtree_ok;
  }
  else if ( walk_entries([&](const dirtree_cursor_t &cursor, const dirtree_entry_t &candidate) {
              if ( candidate != entry )
                return 0;
              found = cursor;
              return 1;
            }) != 0 )
    result = dirtree_ok;
  if ( out != nullptr )
    *out = found;
  return result;
}

std::unique_ptr<directory_tree_t> dirtree_impl_t::clone() const
{
  auto copy = std::make_unique<detached_dirtree_impl_t>(dirspec_);
  copy->folders_ = folders_;
  // The copy prunes exactly when its source would: same folders, same epoch.
  copy->epoch_ = epoch_;
  return std::unique_ptr<directory_tree_t>(new directory_tree_t(std::move(copy)));
}
