// The filtered-view engine: registry, row cache, filtered buckets, filtering pass, highlight and quick filter.
#include "views/filter/filtered_widget_mixin.h"

#include "core/internal_error.h"
#include "ui/action_context.h"
#include "ui/view_interfaces.h"
#include "views/chooser/column_filters_dialog.h"
#include "views/filter/quick_filter_widget.h"
#include "views/filter/row_filter.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>

#include <algorithm>
#include <numeric>
#include <utility>

namespace
{

// The process-wide registry of (widget, engine) pairs; a cleared entry (both null) is reused.
struct engine_entry_t
{
  QWidget *widget;
  filtered_widget_mixin_t *engine;
};
std::vector<engine_entry_t> &engine_registry()
{
  static std::vector<engine_entry_t> registry;
  return registry;
}

} // namespace

filtered_widget_mixin_t *find_filtered_widget_mixin(QWidget *widget)
{
  if ( widget == nullptr )
    return nullptr;
  for ( const engine_entry_t &entry : engine_registry() )
    if ( entry.widget == widget )
      return entry.engine;
  return nullptr;
}

filtered_widget_mixin_t::filtered_widget_mixin_t(QWidget *widget) : widget_(widget)
{
  std::vector<engine_entry_t> &registry = engine_registry();
  set_filter_engine_lookup(&find_filtered_widget_mixin);
  set_view_widget_makers({[](QWidget *parent) -> QWidget * { return new quick_filter_widget_t(parent); },
                          [](filtered_widget_mixin_t *engine, QWidget *parent) -> ui_dialog_t * {
                            return new edit_filters_dialog_t(engine, parent);
                          }});
  for ( engine_entry_t &entry : registry )
    if ( entry.widget == nullptr )
    {
      entry = {widget, this};
      return;
    }
  registry.push_back({widget, this});
}

filtered_widget_mixin_t::~filtered_widget_mixin_t()
{
  for ( engine_entry_t &entry : engine_registry() )
    if ( entry.engine == this )
    {
      if ( entry.widget == nullptr )
        interr(interr_engine_entry_cleared);
      entry = {nullptr, nullptr};
      return;
    }
  interr(interr_engine_unregistered);
}

// ---- Rows and buckets ---------------------------------------------------------------------------------

void filtered_widget_mixin_t::load_row_cache()
{
  flags_ |= engine_loading_rows;
  flags_ &= ~engine_rows_loaded;
  current_key_ = no_key;
  row_cache_.clear();
  load_cached_rows(&row_cache_);
  row_cache_.shrink_to_fit();
  // Freshly loaded rows are filtered at once, so that a bucket built before the next filtering pass
  // (after the cache was dropped) shows what the conditions let through, not an empty list.
  for ( auto &[key, row] : row_cache_ )
  {
    row.forget_sort_keys();
    filter_cached_row(conditions_, &row);
  }
  flags_ |= engine_rows_loaded;
  flags_ &= ~engine_loading_rows;
}

row_cache_t &filtered_widget_mixin_t::row_cache()
{
  if ( (flags_ & (engine_rows_loaded | engine_loading_rows)) == 0 && filter_or_sort_active() )
    load_row_cache();
  return row_cache_;
}

const item_info_t &filtered_widget_mixin_t::row_texts(uint64_t key)
{
  if ( key == current_key_ )
    return current_row_;
  if ( const auto found = row_cache_.find(key); found != row_cache_.end() )
    current_row_ = found->second;
  else
  {
    current_row_ = item_info_t(size_t(std::max(column_count(), 0)));
    if ( (flags_ & engine_rows_loaded) == 0 && fetch_row_texts(&current_row_, key) )
    {
      current_row_.forget_sort_keys();
      row_cache_.insert_or_assign(key, current_row_);
    }
  }
  current_key_ = key;
  return current_row_;
}

void filtered_widget_mixin_t::reset_row_cache(size_t columns)
{
  current_row_ = item_info_t(columns);
  current_key_ = no_key;
}

void filtered_widget_mixin_t::refresh_row_texts()
{
  for ( auto &[key, row] : row_cache_ )
    if ( fetch_row_texts(&row, key) )
      row.forget_sort_keys();
  current_key_ = no_key;
}

void filtered_widget_mixin_t::reset_buckets()
{
  flags_ &= ~engine_rows_loaded;
  row_cache_.clear();
  current_key_ = no_key;
  drop_all_buckets();
}

void filtered_widget_mixin_t::drop_buckets(uint64_t bucket_key)
{
  if ( bucket_key == no_key )
    buckets_.clear();
  else
    buckets_.erase(bucket_key);
}

filtered_bucket_t *filtered_widget_mixin_t::cached_bucket(uint64_t bucket_key) const
{
  const auto found = buckets_.find(bucket_key);
  return found != buckets_.end() ? found->second.get() : nullptr;
}

filtered_bucket_t *filtered_widget_mixin_t::filtered_bucket(uint64_t bucket_key)
{
  if ( filtered_bucket_t *cached = cached_bucket(bucket_key) )
    return cached;
  std::unique_ptr<filtered_bucket_t> bucket = bucket_for_key(bucket_key);
  if ( bucket == nullptr )
    return nullptr;
  if ( filter_or_sort_active() )
  {
    const size_t leading = std::min(bucket->leading_rows(), bucket->shown_count());
    if ( is_filtering() )
    {
      const std::vector<item_info_t *> rows = bucket->cached_rows(row_cache());
      std::vector<uint32_t> kept(leading);
      std::iota(kept.begin(), kept.end(), 0u);
      for ( size_t i = leading, n = rows.size(); i < n; ++i )
        if ( rows[i] != nullptr && (rows[i]->match.flags & match_recorded) != 0 )
          kept.push_back(uint32_t(i));
      bucket->set_shown_rows(kept);
    }
    if ( sorting_ != nullptr )
    {
      std::vector<uint64_t> positions(bucket->shown_count());
      std::iota(positions.begin(), positions.end(), uint64_t(0));
      bucket->sort_rows(row_cache(), *sorting_, positions, leading);
      const std::vector<uint32_t> order(positions.begin(), positions.end());
      bucket->set_shown_rows(order);
    }
  }
  return buckets_.emplace(bucket_key, std::move(bucket)).first->second.get();
}

size_t filtered_widget_mixin_t::total_shown_rows(std::span<const uint64_t> bucket_keys)
{
  size_t total = 0;
  for ( const uint64_t key : bucket_keys )
    if ( const filtered_bucket_t *bucket = filtered_bucket(key) )
      total += bucket->shown_count();
  return total;
}

bool filtered_widget_mixin_t::is_filtering() const
{
  for ( const filter_condition_t &condition : conditions_ )
    if ( condition.is_enabled() )
      return true;
  return false;
}

void filtered_widget_mixin_t::set_rows_italic(bool italic)
{
  const uint32_t was = flags_;
  flags_ = italic ? flags_ | engine_rows_italic : flags_ & ~engine_rows_italic;
  if ( was == flags_ )
    return;
  std::vector<QAbstractItemView *> views;
  collect_item_views(&views);
  for ( QAbstractItemView *view : views )
    if ( view->model() != nullptr )
      emit view->model()->layoutChanged();
}

// ---- Filtering, sorting and highlight -------------------------------------------------------------

namespace
{

bool is_quick_condition(const std::vector<filter_condition_t> &conditions)
{
  return !conditions.empty() && (conditions.front().flags & filter_quick_filter) != 0;
}

// How many conditions take no part in deciding visibility (an expression over its budget joins them).
size_t skipped_conditions(const std::vector<filter_condition_t> &conditions)
{
  return size_t(std::count_if(conditions.begin(), conditions.end(), condition_skipped_for_visibility));
}

} // namespace

void filtered_widget_mixin_t::filter_rows()
{
  const size_t skipped = skipped_conditions(conditions_);
  const bool loaded_before = (flags_ & engine_rows_loaded) != 0;
  row_cache_t &cache = row_cache();
  // Rows loaded just now were filtered as they came in.
  if ( loaded_before || (flags_ & engine_rows_loaded) == 0 )
    for ( auto &[key, row] : cache )
      filter_cached_row(conditions_, &row);
  // An expression that went over its budget during the pass is dropped: the pass runs again without it,
  // so that no row keeps a decision it took.
  if ( skipped_conditions(conditions_) != skipped )
    for ( auto &[key, row] : row_cache_ )
      filter_cached_row(conditions_, &row);
}

void filtered_widget_mixin_t::resync_view(const view_snapshot_t &snapshot, uint32_t reason)
{
  drop_all_buckets();
  current_key_ = no_key;
  // The conditions may have changed: a remembered highlight colour would be stale.
  highlight_key_ = no_key;
  filter_rows();
  // A quick-filter expression that went over its budget on these rows is dropped like one that does not
  // compile: the previous quick-filter condition and its sorting come back before the views are synchronised.
  if ( quick_fallback_ != nullptr && is_quick_condition(conditions_) && conditions_.front().lacks_pattern() )
  {
    conditions_.erase(conditions_.begin());
    if ( quick_fallback_->had_condition )
      conditions_.insert(conditions_.begin(), quick_fallback_->condition);
    if ( quick_fallback_->sorting != nullptr )
      sorting_ = std::move(quick_fallback_->sorting);
    filter_rows();
  }
  quick_fallback_.reset();
  sync_views(snapshot, reason);
  if ( quick_filter_widget_t *bar = quick_filter() )
  {
    flags_ |= engine_writing_bar;
    bar->show_condition_text(is_quick_condition(conditions_) ? &conditions_.front() : nullptr);
    flags_ &= ~engine_writing_bar;
  }
}

void filtered_widget_mixin_t::set_sorting(std::unique_ptr<bucket_sorting_strategy_t> strategy)
{
  sorting_ = std::move(strategy);
  drop_all_buckets();
  on_sort_changed();
}

uint32_t filtered_widget_mixin_t::row_filter_result(uint64_t key, uint32_t default_color)
{
  if ( !is_filtering() )
    return default_color;
  const row_cache_t &cache = row_cache();
  const auto found = cache.find(key);
  return found != cache.end() ? row_highlight_color(conditions_, found->second, default_color) : default_color;
}

uint32_t filtered_widget_mixin_t::row_filter_result_cached(uint64_t key, uint32_t default_color)
{
  if ( key != highlight_key_ || default_color != highlight_default_ )
  {
    highlight_result_ = row_filter_result(key, default_color);
    highlight_key_ = key;
    highlight_default_ = default_color;
  }
  return highlight_result_;
}

// ---- Conditions and the quick filter ------------------------------------------------------------------

void filtered_widget_mixin_t::set_conditions(std::vector<filter_condition_t> conditions)
{
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, 7);
  if ( is_quick_condition(conditions_) )
    conditions.insert(conditions.begin(), conditions_.front());
  for ( size_t i = 1; i < conditions.size(); ++i )
    conditions[i].flags &= ~filter_quick_filter;
  conditions_ = std::move(conditions);
  highlight_key_ = no_key;
  resync_view(snapshot, 0);
}

void filtered_widget_mixin_t::apply_quick_filter(const filter_condition_t &bar_condition)
{
  if ( (flags_ & engine_writing_bar) != 0 )
    return;
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, 7);

  uint32_t old_flags = 0;
  int32_t old_column = -1;
  qstring old_text;
  const bool had_quick = is_quick_condition(conditions_);
  if ( had_quick )
  {
    const filter_condition_t &old = conditions_.front();
    old_flags = old.flags & ~filter_disabled;
    old_column = old.column;
    if ( old.is_enabled() )
      old_text = old.query;
  }

  const filter_condition_t previous = had_quick ? conditions_.front() : filter_condition_t();
  filter_condition_t condition = bar_condition;
  condition.flags |= filter_quick_filter;
  if ( condition.needs_pattern() && condition.regex == nullptr && !condition.query.empty() )
    (void)condition.compile_regex();
  const bool empty_text = condition.query.empty();
  // An expression that does not compile leaves the previous condition in place, so the rows shown and
  // the conditions still agree.
  if ( !empty_text && condition.lacks_pattern() )
    return;
  if ( had_quick )
    conditions_.erase(conditions_.begin());
  if ( !empty_text )
    conditions_.insert(conditions_.begin(), condition);

  const qstring new_text = empty_text || !condition.is_enabled() ? qstring() : condition.query;
  const uint32_t new_flags = empty_text ? 0 : condition.flags & ~filter_disabled;
  const int32_t new_column = empty_text ? -1 : condition.column;
  if ( new_flags == old_flags && new_column == old_column && new_text == old_text )
    return;
  quick_fallback_ = std::make_unique<quick_fallback_t>();
  quick_fallback_->had_condition = had_quick;
  quick_fallback_->condition = previous;
  if ( !empty_text && condition.is_enabled() && condition.mode() == filter_mode_fuzzy )
    quick_fallback_->sorting = std::exchange(sorting_, std::make_unique<bucket_fuzzy_sorting_t>());
  else if ( sorting_ != nullptr && sorting_->kind == bucket_sorting_strategy_t::fuzzy_sorting )
    quick_fallback_->sorting = std::move(sorting_);
  highlight_key_ = no_key;
  resync_view(snapshot, 0);
  quick_fallback_.reset();
  refresh_reset_filters_actions();
  expand_all_if_filtered();
}

void filtered_widget_mixin_t::reset_filters()
{
  view_snapshot_t snapshot;
  take_snapshot(&snapshot, 7);
  current_key_ = no_key;
  conditions_.clear();
  highlight_key_ = no_key;
  if ( sorting_ == nullptr )
    flags_ &= ~engine_rows_loaded;
  resync_view(snapshot, 0);
  set_quick_filter_visible(false);
  refresh_reset_filters_actions();
  expand_all_if_filtered();
}

// ---- The quick filter bar -----------------------------------------------------------------------------

void refresh_reset_filters_actions()
{
  static const char *const names[] = {"ChooserResetFilters", "DirTreeResetFilters"};
  update_action_filter_t filter;
  filter.add_action_names(names, std::size(names));
  if ( !filter.entries.empty() )
    refresh_actions_for(UPDACT_LISTED, nullptr, &filter);
}

quick_filter_widget_t *filtered_widget_mixin_t::quick_filter() const
{
  return quick_filter_watch_.watched_as<quick_filter_widget_t>();
}

void filtered_widget_mixin_t::attach_quick_filter(quick_filter_widget_t *bar)
{
  if ( quick_filter() != nullptr )
    interr(interr_second_quick_filter);
  quick_filter_watch_.watch_object(bar);
  quick_filter_link_ = std::make_unique<QObject>();
  QObject::connect(bar, &quick_filter_widget_t::filter_changed, quick_filter_link_.get(),
                   [this] { reapply_quick_filter(); });
  QObject::connect(bar, &quick_filter_widget_t::reserved_key_press, quick_filter_link_.get(),
                   [this](const QKeyEvent &event) {
                     if ( find_filtered_widget_mixin(widget_) == this )
                       view_key_press(event);
                   });
  bar->set_target_widget(widget_);
}

void filtered_widget_mixin_t::set_quick_filter_visible(bool visible)
{
  if ( quick_filter_widget_t *bar = quick_filter() )
    bar->setVisible(visible);
}

void filtered_widget_mixin_t::reapply_quick_filter()
{
  if ( quick_filter_widget_t *bar = quick_filter() )
    apply_quick_filter(bar->condition());
}
