// Posted model updates of a filtered view and the synchronisation of its item views after a change.
#include "views/filter/filtered_widget_update.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QWidget>

#include <utility>

bool filtered_widget_mixin_t::update_pending(bool force) const
{
  return (flags_ & engine_blocked) == 0 && (force || (flags_ & engine_idle) != 0);
}

void filtered_widget_mixin_t::post_model_update(uint32_t reason, bool force)
{
  if ( !update_pending(force) )
    return;
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, 7);
  post_update_strategy(make_update_strategy(&snapshot, reason), force);
}

void filtered_widget_mixin_t::post_update_strategy(std::unique_ptr<filtered_widget_mixin_update_strategy_t> strategy,
                                                   bool force)
{
  if ( force )
  {
    QCoreApplication::removePostedEvents(widget_, update_model_event_type);
    flags_ |= engine_idle;
  }
  if ( (flags_ & (engine_idle | engine_blocked)) != engine_idle || strategy == nullptr )
    return;
  flags_ &= ~engine_idle;
  if ( (flags_ & engine_strategy_flag_0x40) != 0 )
    strategy->flags |= strategy_flag_0x40;
  if ( (flags_ & engine_no_auto_scroll) != 0 )
    strategy->reason |= update_no_auto_scroll;
  QCoreApplication::postEvent(widget_,
                              new filtered_widget_update_model_event_t(std::move(strategy), update_nesting_ > 0));
}

bool filtered_widget_mixin_t::handle_engine_event(QWidget * /*widget*/, QEvent *event)
{
  if ( event->type() == update_model_event_type )
  {
    if ( (flags_ & (engine_idle | engine_blocked)) != 0 )
      return true;
    auto *update = static_cast<filtered_widget_update_model_event_t *>(event);
    const int nesting = update->nested ? 1 : 0;
    update_nesting_ += nesting;
    struct nesting_undo_t
    {
      int &counter;
      int by;
      ~nesting_undo_t() { counter -= by; }
    } undo {update_nesting_, nesting};
    return apply_model_update(*update->strategy);
  }
  if ( event->type() == block_updates_event_type )
  {
    QCoreApplication::removePostedEvents(widget_, update_model_event_type);
    flags_ |= engine_blocked;
    return true;
  }
  return false;
}

bool filtered_widget_mixin_t::apply_model_update(filtered_widget_mixin_update_strategy_t &strategy)
{
  flags_ |= engine_applying_update;
  bool applied = false;
  if ( (strategy.reason & update_no_auto_scroll) != 0 )
  {
    std::vector<QAbstractItemView *> views;
    collect_item_views(&views);
    std::vector<bool> scrolled;
    for ( QAbstractItemView *view : views )
    {
      scrolled.push_back(view->hasAutoScroll());
      view->setAutoScroll(false);
    }
    applied = reload_model(strategy);
    for ( size_t i = 0; i < views.size(); ++i )
      views[i]->setAutoScroll(scrolled[i]);
  }
  else
    applied = reload_model(strategy);
  flags_ &= ~engine_applying_update;
  on_model_loaded();
  return applied;
}

bool filtered_widget_mixin_t::flush_model_update()
{
  if ( (flags_ & engine_blocked) != 0 )
    return false;
  if ( (flags_ & engine_idle) == 0 )
    QCoreApplication::sendPostedEvents(widget_, update_model_event_type);
  if ( (flags_ & engine_idle) != 0 )
    return true;
  // The posted update did not run (another one is being applied further up): apply a fresh one now.
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, 7);
  filtered_widget_mixin_update_strategy_t strategy(&snapshot, update_flush_reason);
  return apply_model_update(strategy);
}

void filtered_widget_mixin_t::sync_views(const view_snapshot_t &snapshot, uint32_t reason)
{
  flags_ |= engine_syncing | engine_syncing_rows;
  const bool visible = widget_->isVisible();
  const bool updates_were_enabled = widget_->updatesEnabled();
  if ( visible )
    widget_->setUpdatesEnabled(false);
  std::vector<QAbstractItemView *> views;
  collect_item_views(&views);
  for ( QAbstractItemView *view : views )
    if ( view->selectionModel() != nullptr )
      view->selectionModel()->clearSelection();
  if ( (reason & update_early_rows) != 0 )
    flags_ &= ~engine_syncing_rows;

  view_selection_records_t fresh;
  view_selection_records_t &records = drag_counter > 0 ? drag_records : fresh;
  sync_view(snapshot, reason, &records);
  for ( QAbstractItemView *view : views )
    if ( view->model() != nullptr )
      emit view->model()->layoutChanged();
  if ( visible )
    widget_->setUpdatesEnabled(updates_were_enabled);
  if ( drag_counter <= 0 )
    restore_view_selections(records);
  flags_ &= ~(engine_syncing | engine_syncing_rows);
  on_view_synced();
}

void filtered_widget_mixin_t::restore_view_selections(view_selection_records_t &records)
{
  for ( view_selection_record_t &record : records )
  {
    QItemSelectionModel *selection = record.view->selectionModel();
    if ( selection == nullptr )
      continue;
    selection->select(record.selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if ( record.current.isValid() )
    {
      // Setting the current index with a selection mode would change the selection.
      const QAbstractItemView::SelectionMode mode = record.view->selectionMode();
      record.view->setSelectionMode(QAbstractItemView::NoSelection);
      record.view->setCurrentIndex(record.current);
      record.view->setSelectionMode(mode);
    }
  }
}
