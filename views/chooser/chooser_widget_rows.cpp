// The chooser widget's rows: selections between the views and the source, refreshes, source actions, inodes
// and the saved selection.
#include "views/chooser/chooser_widget.h"

#include "core/ui_callback.h"
#include "ui/action_context.h"
#include "ui/app_base.h"
#include "views/chooser/chooser_flat_bucket.h"
#include "views/chooser/chooser_table.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>

#include <algorithm>
#include <unordered_map>

namespace {

// Sorts the rows ascending and drops repeated ones.
void sort_unique(qvector<uint64_t> *rows)
{
  std::sort(rows->begin(), rows->end());
  const uint64_t *end = std::unique(rows->begin(), rows->end());
  while ( rows->end() != end )
    rows->pop_back();
}

bool contains(const qvector<uint64_t> &rows, uint64_t row)
{
  return std::find(rows.begin(), rows.end(), row) != rows.end();
}

} // namespace

// ---- Snapshots and selections ------------------------------------------------------------------------------

void chooser_widget_t::take_snapshot(view_snapshot_t *snapshot, uint32_t flags)
{
  view_bucket_record_t record;
  record.key = flat_root_key;
  record.shown = size_t(model_->rowCount());
  const filtered_bucket_t *bucket = filtered_bucket(flat_root_key);
  const size_t shown = bucket != nullptr ? bucket->shown_count() : 0;
  QItemSelectionModel *selection = table_->selectionModel();
  if ( (flags & 1) != 0 && selection != nullptr && bucket != nullptr )
  {
    std::vector<size_t> positions;
    for ( const QItemSelectionRange &range : selection->selection() )
      for ( int row = range.top(); row <= range.bottom(); ++row )
        if ( size_t(row) < shown )
          positions.push_back(size_t(row));
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    if ( !positions.empty() )
    {
      std::vector<uint64_t> rows;
      rows.reserve(positions.size());
      for ( const size_t position : positions )
        rows.push_back(bucket->row_key(position));
      record.selected = std::make_unique<chooser_flat_bucket_t>(std::move(rows), source_->default_column);
    }
  }
  const QModelIndex current = table_->currentIndex();
  if ( (flags & 2) != 0 && current.isValid() && size_t(current.row()) < shown )
    snapshot->current = std::make_unique<chooser_flat_bucket_t>(
      std::vector<uint64_t> {bucket->row_key(size_t(current.row()))}, source_->default_column);
  snapshot->buckets.push_back(std::move(record));
}

chooser_selection_t chooser_widget_t::snapshot_to_selection(const view_snapshot_t &snapshot, uint32_t flags)
{
  chooser_selection_t selection;
  if ( const view_bucket_record_t *root = snapshot.record_of(flat_root_key) )
    for ( const uint64_t row : rows_of_bucket(root->selected.get()) )
      if ( !contains(selection.rows, row) )
        selection.rows.push_back(row);
  if ( snapshot.current != nullptr && snapshot.current->shown_count() > 0 )
    selection.current = int64_t(snapshot.current->row_key(0));

  if ( (flags & refind_outdated) != 0 && outdated() )
  {
    // The rows no longer match the source: each is found again by the inode it had when it was described.
    std::unordered_map<uint64_t, uint64_t> rows_by_inode;
    for ( uint64_t row = 0, count = source_->item_count(); row < count; ++row )
      if ( const uint64_t inode = source_->item_inode(row); inode != no_inode )
        rows_by_inode.emplace(inode, row);
    const auto refind = [&](uint64_t old_row) -> int64_t {
      const auto inode = row_inodes_.find(old_row);
      if ( inode == row_inodes_.end() )
        return -1;
      const auto found = rows_by_inode.find(inode->second);
      return found != rows_by_inode.end() ? int64_t(found->second) : -1;
    };
    qvector<uint64_t> found;
    for ( const uint64_t row : selection.rows )
      if ( const int64_t now = refind(row); now >= 0 )
        found.push_back(uint64_t(now));
    sort_unique(&found);
    selection.rows = std::move(found);
    selection.current = selection.current >= 0 ? refind(uint64_t(selection.current)) : -1;
  }
  if ( (flags & keep_view_order) == 0 )
    sort_unique(&selection.rows);
  return selection;
}

void chooser_widget_t::selection_to_snapshot(view_snapshot_t *snapshot, const chooser_selection_t &selection,
                                             uint32_t flags)
{
  int64_t current = selection.current;
  if ( (flags & keep_current) == 0 && (current < 0 || !contains(selection.rows, uint64_t(current))) )
    current = selection.rows.empty() ? -1 : int64_t(selection.rows.back());

  view_bucket_record_t *root = nullptr;
  for ( view_bucket_record_t &record : snapshot->buckets )
    if ( record.key == flat_root_key )
      root = &record;
  if ( root == nullptr )
  {
    snapshot->buckets.push_back(view_bucket_record_t {flat_root_key, size_t(model_->rowCount()), false, nullptr});
    root = &snapshot->buckets.back();
  }
  if ( (flags & apply_rows) != 0 )
  {
    root->selected.reset();
    if ( !selection.rows.empty() )
      root->selected = std::make_unique<chooser_flat_bucket_t>(
        std::vector<uint64_t>(selection.rows.begin(), selection.rows.end()), source_->default_column);
  }
  if ( (flags & apply_current) != 0 && current >= 0 )
    snapshot->current =
      std::make_unique<chooser_flat_bucket_t>(std::vector<uint64_t> {uint64_t(current)}, source_->default_column);
  else if ( current < 0 && (flags & keep_folder_entries) == 0 )
    snapshot->current.reset();
}

size_t chooser_widget_t::get_selection(chooser_selection_t *out, int mode)
{
  (void)flush_model_update();
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, uint32_t(mode) & 3);
  chooser_selection_t selection =
    snapshot_to_selection(snapshot, (mode & 4) != 0 ? whole_folders | keep_view_order : whole_folders);
  const size_t count = selection.rows.size();
  if ( out != nullptr )
    *out = std::move(selection);
  return count;
}

size_t chooser_widget_t::get_selected_indexes(qvector<uint64_t> *out)
{
  chooser_selection_t selection;
  const size_t count = get_selection(&selection, 1);
  *out = std::move(selection.rows);
  return count;
}

void chooser_widget_t::select_default(const chooser_default_t *default_selection, bool as_dialog)
{
  chooser_selection_t selection;
  if ( default_selection != nullptr && (default_selection->rows != nullptr || default_selection->index != nullptr) )
  {
    source_->resolve_default(*default_selection, &selection.rows);
    if ( !source_->is_multi() && !selection.rows.empty() )
    {
      const uint64_t count = row_count();
      if ( count == 0 )
        selection.rows.clear();
      else
        selection.rows[0] = std::min(selection.rows[0], count - 1);
    }
  }
  else
    (void)get_selection(&selection, 1);
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, 7);
  selection_to_snapshot(&snapshot, selection, apply_rows | apply_current);
  resync_view(snapshot, as_dialog ? 0 : 2);
  if ( selection.rows.empty() )
    table_->selectionModel()->clearCurrentIndex();
}

void chooser_widget_t::refresh_items(const chooser_selection_t *selection, uint32_t flags, bool force)
{
  if ( !update_pending(force) )
    return;
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, 7);
  if ( selection != nullptr )
    selection_to_snapshot(&snapshot, *selection, flags);
  post_update_strategy(make_update_strategy(&snapshot, flags), force);
}

bool chooser_widget_t::reload_model(filtered_widget_mixin_update_strategy_t &strategy)
{
  set_idle();
  loading_strategy_ = &strategy;
  chooser_selection_t selection = snapshot_to_selection(strategy.snapshot, 0);
  if ( source_->run_row_operation(chooser_row_op_t::reload, &selection.rows) == chooser_unchanged )
    return false;
  reset_buckets();
  if ( (strategy.reason & skip_selection) == 0 )
    selection_to_snapshot(&strategy.snapshot, selection, strategy.reason);
  resync_view(strategy.snapshot, 0);
  update_status_line();
  app_t *app = current_app();
  if ( app != nullptr && widget_kind_ >= 0 )
    app->refresh_widgets(uint64_t(1) << widget_kind_, false);
  return true;
}

void chooser_widget_t::set_selection(const qvector<uint64_t> &rows, int64_t current)
{
  chooser_selection_t selection;
  selection.rows = rows;
  selection.current = current;
  apply_selection(selection, apply_rows | apply_current | map_inserted_inodes);
}

void chooser_widget_t::apply_selection(const chooser_selection_t &selection, uint32_t flags)
{
  const bool was_suppressed = notifications_suppressed_;
  notifications_suppressed_ = (flags & quiet_selection) != 0;
  (void)flush_model_update();
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, 4);
  selection_to_snapshot(&snapshot, selection, flags);
  resync_view(snapshot, update_early_rows);
  notifications_suppressed_ = was_suppressed;
}

// ---- Source actions ----------------------------------------------------------------------------------------

void chooser_widget_t::run_source_action(chooser_row_op_t op, uint32_t snapshot_bits, uint32_t reason)
{
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, 7);
  chooser_selection_t selection = snapshot_to_selection(snapshot, snapshot_bits | refind_outdated);
  const int code = source_->run_row_operation(op, &selection.rows);
  if ( (reason & forget_row_count) != 0 )
    row_count_valid_ = false;
  if ( code != chooser_rebuild )
    return;
  selection_to_snapshot(&snapshot, selection, reason);
  post_update_strategy(make_update_strategy(&snapshot, reason), true);
}

bool chooser_widget_t::remove()
{
  if ( (source_->flags & chooser_can_delete) == 0 )
    return false;
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, 7);
  chooser_selection_t selection = snapshot_to_selection(snapshot, whole_folders | refind_outdated);
  if ( selection.rows.empty() )
    return false;
  if ( source_->run_row_operation(chooser_row_op_t::remove, &selection.rows) == chooser_rebuild )
  {
    selection_to_snapshot(&snapshot, selection, refresh_reason);
    post_update_strategy(make_update_strategy(&snapshot, refresh_reason), true);
  }
  return true;
}

void chooser_widget_t::activate_selection()
{
  qvector<uint64_t> rows;
  if ( get_selected_indexes(&rows) > 0 )
    run_source_action(chooser_row_op_t::activate, whole_folders, refresh_reason);
}

// ---- Selection and current-row changes -------------------------------------------------------------------

void chooser_widget_t::on_table_selection_changed(const QItemSelection & /*selected*/)
{
  if ( notifications_suppressed_ || (engine_flags() & engine_syncing_rows) != 0
       || (widget_flags & (switching_mode | emitting_selection)) != 0 )
    return;
  chooser_selection_t selection;
  if ( get_selection(&selection, 1) > 0 )
    source_->selection_changed(selection.rows);
  notify_selection_state(true);
}

void chooser_widget_t::on_table_current_changed()
{
  update_status_line();
  if ( notifications_suppressed_ || (engine_flags() & engine_syncing_rows) != 0
       || (widget_flags & (switching_mode | emitting_selection)) != 0 )
    return;
  notify_selection_state(false);
}

void chooser_widget_t::notify_selection_state(bool selection)
{
  widget_flags |= emitting_selection;
  emit selection_state_changed(selection);
  widget_flags &= ~emitting_selection;
  if ( (engine_flags() & engine_idle) != 0 )
    refresh_action_states(UPDACT_VIEW_CHANGED);
}

void chooser_widget_t::itemDoubleClicked(const QModelIndex & /*index*/)
{
  if ( (widget_flags & embedded) != 0 )
  {
    activate_selection();
    return;
  }
  // A double click is an Enter, so that a dialog accepts as it would.
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Enter, QGuiApplication::keyboardModifiers());
  QCoreApplication::sendEvent(this, &enter);
}

// ---- Inodes ------------------------------------------------------------------------------------------------

uint64_t chooser_widget_t::inode_of_row(uint64_t row, bool silent)
{
  const uint64_t inode = source_->item_inode(row);
  if ( inode == no_inode && !silent && (map_flags_ & inode_warned) == 0 )
  {
    map_flags_ |= inode_warned;
    log_printf("Impossible to map index %zu to an inode_t. Some features (e.g., drag & drop) will not work.\n",
               size_t(row));
  }
  return inode;
}

int64_t chooser_widget_t::row_of_inode(uint64_t inode)
{
  if ( source_->version >= 3 && (source_->flags2 & chooser_own_inode_index) != 0 )
    return source_->inode_index(inode);
  if ( (map_flags_ & inode_map_valid) == 0 )
  {
    inode_rows_.clear();
    for ( uint64_t row = 0, count = row_count(); row < count; ++row )
      if ( const uint64_t of_row = source_->item_inode(row); of_row != no_inode )
        inode_rows_.emplace(of_row, int64_t(row));
    map_flags_ |= inode_map_valid;
  }
  const auto found = inode_rows_.find(inode);
  return found != inode_rows_.end() ? found->second : -1;
}

// ---- The saved selection -----------------------------------------------------------------------------------

void chooser_widget_t::handle_state_event(chooser_state_event_t *event)
{
  if ( (engine_flags() & engine_blocked) != 0 || event->bytes == nullptr )
    return;
  if ( event->direction != 0 )
  {
    chooser_selection_t selection;
    (void)get_selection(&selection, 3);
    encode_saved_selection(selection, event->bytes);
    return;
  }
  chooser_selection_t selection;
  if ( !decode_saved_selection(event->bytes->data(), event->bytes->size(), row_count(), &selection) )
    log_printf("The saved selection of \"%s\" is damaged; nothing is selected\n", windowTitle().toUtf8().constData());
  // A forced update replaces any pending one, so the restored selection is the one applied.
  refresh_items(&selection, refresh_reason, true);
}
