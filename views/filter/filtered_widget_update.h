// One pending model update of a filtered view and the event that carries it to the widget.
#pragma once

#include "ui/view_interfaces.h"
#include "views/filter/filtered_bucket.h"
#include "views/filter/filtered_widget_mixin.h"

#include <QEvent>

#include <cstdint>
#include <memory>

// Flags of an update strategy.
inline constexpr uint32_t strategy_remove_empty_folders = 0x1;
inline constexpr uint32_t strategy_restore_own_selection = 0x2;
inline constexpr uint32_t strategy_flag_0x40 = 0x40; // given by engine flag 0x400

// A model update: the snapshot of the views taken before the change, why, and what to restore.
class filtered_widget_mixin_update_strategy_t
{
public:
  filtered_widget_mixin_update_strategy_t(view_snapshot_t *snapshot, uint32_t reason) : reason(reason)
  {
    this->snapshot.swap(*snapshot);
  }
  virtual ~filtered_widget_mixin_update_strategy_t() = default;

  view_snapshot_t snapshot;
  uint32_t reason;                  // update_* bits
  dirtree_selection_t selection;    // the selection to restore, as the tree widget collects it
  int64_t words[2] = {-1, -1};
  uint32_t flags = 0;               // strategy_* bits
};

// The posted update (type 2001): owns its strategy; `nested` when posted while another update was applied.
class filtered_widget_update_model_event_t : public QEvent
{
public:
  filtered_widget_update_model_event_t(std::unique_ptr<filtered_widget_mixin_update_strategy_t> strategy, bool nested)
    : QEvent(update_model_event_type), strategy(std::move(strategy)), nested(nested)
  {
  }
  std::unique_ptr<filtered_widget_mixin_update_strategy_t> strategy;
  const bool nested;
};
