// The state of a tree view: its stored blob, the walk over the view's indexes and its uses (collecting,
// restoring, snapshots, synchronisation, copying), and saving and restoring through the persistence helper.
#include "views/dirtree/dirtree_view_state.h"

#include "core/compact_codec.h"
#include "core/byte_cursor.h"
#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "views/dirtree/base_dirtree_widget.h"
#include "views/filter/view_rows_copy.h"

#include <QHeaderView>

#include <algorithm>
#include <cstring>
#include <string>

namespace
{

constexpr uint8_t state_version = 2;
constexpr uint8_t state_version_mask = 0x0F;
constexpr uint8_t state_flags_mask = 0xF0;
// A view's storage id: this prefix and the view's title, at most this many bytes.
constexpr const char *storage_id_prefix = "$ dirtree/";
constexpr size_t storage_id_limit = 1023;
// Room reserved for a blob before it is written.
constexpr size_t blob_reserve = 4096;

void append_text(byte_buffer_t *out, const qstring &text)
{
  bytevec_append(out, text.c_str(), text.size() + 1);
}

// A NUL-terminated text that must end before the end of the bytes.
bool read_text(qstring *out, const uint8_t **cursor, const uint8_t *end)
{
  out->clear();
  return unpack_zstring(out, cursor, end);
}

} // namespace

void append_compact_u32(byte_buffer_t *bytes, uint32_t value)
{
  uint8_t packed[compact_u32_max_size];
  const uint8_t *end = pack_u32_compact(packed, packed + sizeof(packed), value);
  bytevec_append(bytes, packed, size_t(end - packed));
}

void write_tree_state_blob(const dirtree_widget_state_t &state, byte_buffer_t *out)
{
  byte_buffer_t bytes;
  bytes.reserve(blob_reserve);
  bytes.push_back(uint8_t((state.flags & 0xFF) | state_version));
  if ( (state.flags & tree_state_folders) != 0 )
  {
    const bool paths = (state.flags & tree_state_folder_paths) != 0;
    append_compact_u32(&bytes, uint32_t(state.folders.size()));
    for ( const dirtree_folder_state_t &folder : state.folders )
    {
      append_compact_u32(&bytes, uint32_t(folder.key << 1) | (folder.expanded ? 1 : 0));
      if ( paths )
        append_text(&bytes, folder.path);
    }
  }
  if ( (state.flags & tree_state_selection) != 0 )
  {
    append_compact_u32(&bytes, uint32_t(state.selection.selected_paths.size()));
    for ( const qstring &path : state.selection.selected_paths )
      append_text(&bytes, path);
    append_text(&bytes, state.selection.current_path);
  }
  *out = std::move(bytes);
}

bool read_tree_state_blob(dirtree_widget_state_t *state, const byte_buffer_t &bytes)
{
  if ( !state->folders.empty() )
    interr(interr_tree_state_not_empty);
  const uint8_t *cursor = bytes.data();
  const uint8_t *end = cursor + bytes.size();
  const uint8_t head = bytes.empty() ? 0 : *cursor++;
  uint32_t flags = head & state_flags_mask;
  switch ( head & state_version_mask )
  {
  case 2:
    break;
  case 1:
    flags |= tree_state_folders; // the older form always holds the folder part
    break;
  default:
    return false;
  }
  state->flags = flags;
  if ( (flags & tree_state_folders) != 0 )
  {
    uint32_t count = 0;
    if ( !unpack_u32_compact_checked(&cursor, end, &count) )
      return false;
    const bool paths = (flags & tree_state_folder_paths) != 0;
    // Every record takes a byte at least: the count bounds nothing beyond the bytes left.
    state->folders.reserve(std::min<size_t>(count, size_t(end - cursor)));
    for ( uint32_t i = 0; i < count; ++i )
    {
      uint32_t value = 0;
      if ( !unpack_u32_compact_checked(&cursor, end, &value) )
        return false;
      dirtree_folder_state_t folder;
      folder.expanded = (value & 1) != 0;
      folder.key = value >> 1;
      if ( paths && !read_text(&folder.path, &cursor, end) )
        return false;
      state->folders.push_back(std::move(folder));
    }
  }
  if ( (flags & tree_state_selection) != 0 )
  {
    uint32_t count = 0;
    if ( !unpack_u32_compact_checked(&cursor, end, &count) )
      return false;
    std::vector<qstring> &selected = state->selection.selected_paths;
    selected.reserve(std::min<size_t>(count, size_t(end - cursor)));
    for ( uint32_t i = 0; i < count; ++i )
    {
      qstring path;
      if ( !read_text(&path, &cursor, end) )
        return false;
      selected.push_back(std::move(path));
    }
    return read_text(&state->selection.current_path, &cursor, end);
  }
  return true;
}

// ---- The walk -------------------------------------------------------------------------------------------------

dirtree_widget_qmodel_visitor_t::dirtree_widget_qmodel_visitor_t(base_dirtree_widget_t *view)
  : view_(view), model_(view->tree_model()), tree_(model_ != nullptr ? model_->current_tree() : nullptr)
{
}

int dirtree_widget_qmodel_visitor_t::walk(const QModelIndex &start)
{
  if ( model_ == nullptr )
    return 0;
  struct frame_t
  {
    QModelIndex index;
    dirtree_cursor_t cursor;
    dirtree_entry_t entry;
    int row;
    int last; // the answer of the last child's walk
  };
  // Iterative, so that a deep tree cannot exhaust the stack.
  std::vector<frame_t> stack;
  // Visits one index: a folder that is entered is pushed (true); anything else answers at once.
  const auto begin = [&](const QModelIndex &index, int *answer) {
    const dirtree_cursor_t cursor = dirtree_item_model_base_t::index_to_cursor(index);
    *answer = 0;
    if ( is_empty_cursor(cursor) )
      return false;
    const dirtree_entry_t entry = tree_->entry_at_cursor(cursor);
    if ( entry.is_none() || !entry.is_folder )
    {
      *answer = visit_item(index, cursor, entry);
      return false;
    }
    *answer = enter_folder(index, cursor, entry.id);
    if ( *answer != 0 )
      return false;
    stack.push_back({index, cursor, entry, 0, 0});
    return true;
  };
  int answer = 0;
  if ( !begin(start.isValid() ? start : view_->rootIndex(), &answer) )
    return answer;
  while ( !stack.empty() )
  {
    const size_t top = stack.size() - 1;
    if ( stack[top].row < model_->rowCount(stack[top].index) )
    {
      const QModelIndex child = model_->index(stack[top].row++, 0, stack[top].index);
      if ( begin(child, &answer) )
        continue;
      if ( answer == 2 )
        return 2;
      stack[top].last = answer;
      continue;
    }
    const frame_t done = stack.back();
    stack.pop_back();
    answer = done.last != 0 ? done.last : leave_folder(done.index, done.cursor, done.entry);
    if ( answer == 2 )
      return 2;
    if ( !stack.empty() )
      stack.back().last = answer;
  }
  return answer;
}

namespace
{

// The folder records of a state, and each walked folder's path as they keep it: "/" when it has none.
class folder_records_visitor_t : public dirtree_widget_qmodel_visitor_t
{
public:
  folder_records_visitor_t(base_dirtree_widget_t *view, std::vector<dirtree_folder_state_t> *folders, bool paths)
    : dirtree_widget_qmodel_visitor_t(view), folders_(folders), paths_(paths)
  {
  }

protected:
  [[nodiscard]] qstring path_of(const dirtree_cursor_t &cursor) const
  {
    base_dirtree_widget_t::folder_info_t info;
    if ( view_->folder_info_of_cursor(&info, cursor, folder_info_path) && !info.path.empty() )
      return std::move(info.path);
    return "/";
  }
  std::vector<dirtree_folder_state_t> *folders_;
  bool paths_;
};

// Records each folder's number, whether it is expanded and, when asked, its path.
class qtree_state_fetch_t final : public folder_records_visitor_t
{
public:
  using folder_records_visitor_t::folder_records_visitor_t;
  int enter_folder(const QModelIndex &index, const dirtree_cursor_t &cursor, uint64_t folder) override
  {
    dirtree_folder_state_t record;
    record.key = folder;
    record.expanded = view_->isExpanded(index);
    if ( paths_ )
      record.path = path_of(cursor);
    folders_->push_back(std::move(record));
    return 0;
  }
};

// Expands or collapses each folder as its record says, taking each record once.
class qtree_bucket_restore_t final : public folder_records_visitor_t
{
public:
  using folder_records_visitor_t::folder_records_visitor_t;
  int enter_folder(const QModelIndex &index, const dirtree_cursor_t &cursor, uint64_t folder) override
  {
    const qstring path = paths_ ? path_of(cursor) : qstring();
    const auto match = std::find_if(folders_->begin(), folders_->end(), [&](const dirtree_folder_state_t &record) {
      return paths_ ? !record.path.empty() && record.path == path : record.key != 0 && record.key == folder;
    });
    if ( match != folders_->end() )
    {
      view_->setExpanded(index, match->expanded);
      folders_->erase(match);
    }
    return 0;
  }
};

// Records each folder's shown row count and whether it is expanded.
class buckets_collector_t final : public dirtree_widget_qmodel_visitor_t
{
public:
  buckets_collector_t(base_dirtree_widget_t *view, view_snapshot_t *snapshot)
    : dirtree_widget_qmodel_visitor_t(view), snapshot_(snapshot)
  {
  }
  int enter_folder(const QModelIndex &index, const dirtree_cursor_t & /*cursor*/, uint64_t folder) override
  {
    view_bucket_record_t record;
    record.key = folder;
    record.shown = size_t(model_->rowCount(index));
    record.expanded = view_->isExpanded(index);
    snapshot_->buckets.push_back(std::move(record));
    return 0;
  }

private:
  view_snapshot_t *snapshot_;
};

// Tells the model how each folder's rows changed since the snapshot and collects what to select.
class sync_helper_t final : public dirtree_widget_qmodel_visitor_t
{
public:
  sync_helper_t(base_dirtree_widget_t *view, std::vector<uint64_t> *items, view_selection_records_t *records,
                const view_snapshot_t &snapshot, uint32_t flags, bool discard_current)
    : dirtree_widget_qmodel_visitor_t(view), items_(items), records_(records), snapshot_(snapshot), flags_(flags),
      discard_current_(discard_current)
  {
  }
  int enter_folder(const QModelIndex &index, const dirtree_cursor_t & /*cursor*/, uint64_t folder) override
  {
    if ( skipped(index) )
      return 0;
    const view_bucket_record_t *record = snapshot_.record_of(folder);
    if ( record == nullptr )
      return 0;
    // The view's own expanded marks follow rows, not entries: after entries moved, a mark may have passed to
    // the folder that took a row. The snapshot says how each folder was shown; rows inserted next may still
    // expand it.
    if ( !record->expanded )
      view_->collapse(index);
    model_->sync_bucket_rows(records_, index, *record, discard_current_ ? nullptr : snapshot_.current.get(), view_);
    if ( record->expanded )
      view_->expand(index);
    return 0;
  }
  int leave_folder(const QModelIndex &index, const dirtree_cursor_t & /*cursor*/, const dirtree_entry_t &entry) override
  {
    if ( items_ == nullptr || skipped(index) )
      return 0;
    if ( const auto *bucket = static_cast<const folder_data_t *>(model_->engine()->filtered_bucket(entry.id)) )
      for ( const dirtree_entry_t &row : bucket->entries )
        if ( !row.is_folder )
          items_->push_back(row.id);
    return 0;
  }

private:
  [[nodiscard]] bool skipped(const QModelIndex &index) const
  {
    return (flags_ & tree_sync_expanded_only) != 0 && !view_->isExpanded(index);
  }
  std::vector<uint64_t> *items_;
  view_selection_records_t *records_;
  const view_snapshot_t &snapshot_;
  uint32_t flags_;
  bool discard_current_;
};

// Lists the shown rows in order; a collapsed folder's row is listed, its rows are not.
class copier_t final : public dirtree_widget_qmodel_visitor_t
{
public:
  copier_t(base_dirtree_widget_t *view, QModelIndexList *rows) : dirtree_widget_qmodel_visitor_t(view), rows_(rows) {}
  int enter_folder(const QModelIndex &index, const dirtree_cursor_t & /*cursor*/, uint64_t /*folder*/) override
  {
    // The root folder is the view's root, not a row.
    if ( index == view_->rootIndex() )
      return 0;
    rows_->push_back(index);
    return view_->isExpanded(index) ? 0 : 1;
  }
  int visit_item(const QModelIndex &index, const dirtree_cursor_t & /*cursor*/, const dirtree_entry_t & /*entry*/) override
  {
    rows_->push_back(index);
    return 0;
  }

private:
  QModelIndexList *rows_;
};

// The cursors of a bucket record's rows: the folder's, at each row's position.
std::vector<dirtree_cursor_t> record_cursors(const filtered_bucket_t *record)
{
  std::vector<dirtree_cursor_t> cursors;
  const auto *rows = dynamic_cast<const folder_data_t *>(record);
  if ( rows == nullptr )
    return cursors;
  for ( const int64_t position : rows->row_map )
    if ( const dirtree_cursor_t cursor {rows->folder, position}; !is_empty_cursor(cursor) )
      cursors.push_back(cursor);
  return cursors;
}

} // namespace

// ---- The view's operations ---------------------------------------------------------------------------------

bool base_dirtree_widget_t::collect_tree_state(dirtree_widget_state_t *state, uint32_t flags,
                                               const view_snapshot_t *snapshot) const
{
  state->flags = flags;
  auto *self = const_cast<base_dirtree_widget_t *>(this);
  const dirtree_item_model_base_t *model = tree_model();
  if ( model == nullptr )
    return true;
  directory_tree_t *tree = model->current_tree();
  if ( (flags & tree_state_folders) != 0 )
    qtree_state_fetch_t(self, &state->folders, (flags & tree_state_folder_paths) != 0).walk();
  if ( (flags & tree_state_selection) != 0 && snapshot != nullptr )
  {
    qstring path;
    for ( const view_bucket_record_t &record : snapshot->buckets )
      for ( const dirtree_cursor_t &cursor : record_cursors(record.selected.get()) )
        if ( tree->cursor_text(&path, cursor, 0) )
          state->selection.selected_paths.push_back(path);
    for ( const dirtree_cursor_t &cursor : record_cursors(snapshot->current.get()) )
      if ( tree->cursor_text(&path, cursor, 0) )
      {
        state->selection.current_path = path;
        break;
      }
  }
  if ( (flags & tree_state_persistent) != 0 )
    model->collect_persistent_indexes(&state->persistent);
  return true;
}

bool base_dirtree_widget_t::restore_buckets(dirtree_widget_state_t &state)
{
  dirtree_item_model_base_t *model = tree_model();
  if ( model == nullptr )
    return true;
  if ( (state.flags & tree_state_folders) != 0 )
    qtree_bucket_restore_t(this, &state.folders, (state.flags & tree_state_folder_paths) != 0).walk();
  if ( (state.flags & tree_state_persistent) != 0 )
    model->restore_persistent_indexes(state.persistent);
  if ( (state.flags & tree_state_selection) != 0 )
    restore_selection_paths(state.selection);
  return true;
}

void base_dirtree_widget_t::take_tree_snapshot(view_snapshot_t *snapshot, uint32_t flags) const
{
  auto *self = const_cast<base_dirtree_widget_t *>(this);
  filtered_widget_mixin_t *engine = filtered_engine();
  if ( tree_model() == nullptr || engine == nullptr )
    return;
  buckets_collector_t collector(self, snapshot);
  if ( (flags & tree_snapshot_folders) != 0 )
    collector.walk();
  // The rows of a selected or current index: its folder's bucket, when the index lies inside it.
  const auto bucket_of = [&](const QModelIndex &row, uint64_t *key) -> folder_data_t * {
    const dirtree_cursor_t cursor = dirtree_item_model_base_t::index_to_cursor(row);
    if ( is_empty_cursor(cursor) )
      return nullptr;
    *key = cursor.folder < 0 ? no_key : uint64_t(cursor.folder);
    auto *bucket = static_cast<folder_data_t *>(engine->filtered_bucket(*key));
    return bucket != nullptr && size_t(row.row()) < bucket->shown_count() ? bucket : nullptr;
  };
  if ( (flags & tree_snapshot_selected) != 0 && selectionModel() != nullptr )
    for ( const QModelIndex &row : selectionModel()->selectedRows(0) )
    {
      uint64_t key = no_key;
      folder_data_t *bucket = bucket_of(row, &key);
      if ( bucket == nullptr )
        continue;
      const auto find_record = [&] {
        return std::find_if(snapshot->buckets.begin(), snapshot->buckets.end(),
                            [key](const view_bucket_record_t &record) { return record.key == key; });
      };
      auto record = find_record();
      if ( record == snapshot->buckets.end() )
      {
        if ( (flags & tree_snapshot_folders) != 0 )
          continue;
        const QModelIndex parent = row.parent();
        const dirtree_cursor_t cursor = dirtree_item_model_base_t::index_to_cursor(parent);
        const dirtree_entry_t entry = tree_model()->current_tree()->entry_at_cursor(cursor);
        if ( !entry.is_folder || entry.is_none() )
          continue;
        collector.enter_folder(parent, cursor, entry.id);
        record = find_record();
        if ( record == snapshot->buckets.end() )
          continue;
      }
      if ( record->selected == nullptr )
        record->selected = bucket->empty_clone();
      record->selected->add_row_of(*bucket, size_t(row.row()));
    }
  if ( (flags & tree_snapshot_current) != 0 )
  {
    uint64_t key = no_key;
    const QModelIndex current = currentIndex().siblingAtColumn(0);
    if ( folder_data_t *bucket = current.isValid() ? bucket_of(current, &key) : nullptr )
    {
      std::unique_ptr<filtered_bucket_t> record = bucket->empty_clone();
      record->add_row_of(*bucket, size_t(current.row()));
      snapshot->current = std::move(record);
    }
  }
}

void base_dirtree_widget_t::sync_view_helper(std::vector<uint64_t> *items, view_selection_records_t *records,
                                             const view_snapshot_t &snapshot, uint32_t flags, bool discard_current)
{
  sync_helper_t(this, items, records, snapshot, flags, discard_current).walk();
}

void base_dirtree_widget_t::copy_all() const
{
  QModelIndexList rows;
  auto *self = const_cast<base_dirtree_widget_t *>(this);
  copier_t(self, &rows).walk();
  copy_view_rows(self, header(), rows, true);
}

void base_dirtree_widget_t::restore_selection_paths(const dirtree_selection_paths_t &selection)
{
  dirtree_item_model_base_t *model = tree_model();
  if ( model == nullptr || selectionModel() == nullptr )
    return;
  view_selection_record_t record {this, {}, {}};
  QModelIndex fallback;
  if ( dirtree_cursor_t cursor = selection.fallback; !is_empty_cursor(cursor) )
  {
    const int64_t count = cursor.folder >= 0 ? model->current_tree()->folder_entry_count(uint64_t(cursor.folder)) : 0;
    if ( count >= 1 )
    {
      cursor.position = std::clamp<int64_t>(cursor.position, 0, count - 1);
      fallback = model->index_of_cursor(cursor);
    }
  }
  bool notice = false;
  if ( !selection.current_path.empty() )
  {
    record.current = model->index_of_path(selection.current_path.c_str());
    if ( !record.current.isValid() )
    {
      if ( fallback.isValid() )
        record.current = fallback;
      else
        notice = true;
    }
  }
  for ( const qstring &path : selection.selected_paths )
  {
    QModelIndex row = model->index_of_path(path.c_str());
    if ( !row.isValid() )
      row = fallback;
    if ( row.isValid() )
      record.selection.select(row, row);
  }
  selectionModel()->clear();
  view_selection_records_t records {record};
  filtered_widget_mixin_t::restore_view_selections(records);
  if ( notice )
    emit selectionModel()->currentChanged(record.current, record.current);
}

bool base_dirtree_widget_t::save_tree_state()
{
  dirtree_item_model_base_t *model = tree_model();
  if ( model == nullptr )
    return false;
  model->drop_snapshot_tree();
  const QByteArray title = windowTitle().toUtf8();
  if ( !model->tree()->save_dirty_folders() )
  {
    log_printf("Failed to save \"%s\"'s status\n", title.constData());
    return false;
  }
  dirtree_widget_state_t state;
  collect_tree_state(&state, tree_state_folders, nullptr);
  byte_buffer_t bytes;
  write_tree_state_blob(state, &bytes);
  if ( helper_ != nullptr )
    helper_->store_state(bytes);
  return true;
}

void base_dirtree_widget_t::restore_tree_state()
{
  dirtree_item_model_base_t *model = tree_model();
  if ( model == nullptr )
    return;
  directory_tree_t *tree = model->current_tree();
  const QByteArray title = windowTitle().toUtf8();
  if ( tree->storage_id().empty() )
  {
    if ( title.isEmpty() )
      interr(interr_dirtree_state_without_title);
    std::string id = std::string(storage_id_prefix) + title.constData();
    id.resize(std::min(id.size(), storage_id_limit));
    tree->set_storage_id(id.c_str());
  }
  const bool loaded = tree->load_once();
  // Loading may have replaced the folders the engine's buckets were made from.
  if ( filtered_widget_mixin_t *engine = filtered_engine() )
    engine->reset_buckets();
  if ( !loaded )
  {
    log_printf("Failed to load \"%s\"'s status\n", title.constData());
    return;
  }
  state_flags_ |= dirtree_view_tree_loaded;
  byte_buffer_t bytes;
  if ( helper_ == nullptr || !helper_->load_state(&bytes) )
    return;
  dirtree_widget_state_t state;
  if ( !read_tree_state_blob(&state, bytes) )
  {
    log_printf("The saved state of \"%s\" cannot be read; its folders keep their default expansion\n",
               title.constData());
    return;
  }
  state_flags_ |= dirtree_view_state_applied;
  restore_buckets(state);
}
