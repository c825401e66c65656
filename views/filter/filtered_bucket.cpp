// The rows of one bucket of a filtered view and the snapshot of a view.
#include "views/filter/filtered_bucket.h"

#include <QAbstractItemView>

#include <algorithm>
#include <unordered_map>
#include <utility>

item_info_t *filtered_bucket_t::cached_row(row_cache_t &cache, size_t shown) const
{
  const auto found = cache.find(row_key(shown));
  return found != cache.end() ? &found->second : nullptr;
}

std::vector<item_info_t *> filtered_bucket_t::cached_rows(row_cache_t &cache) const
{
  const size_t n = shown_count();
  std::vector<item_info_t *> rows(n, nullptr);
  // A few rows are searched one by one; many are met in one walk of the cache in key order, which follows its
  // nodes instead of descending the tree from the top for every row.
  if ( n * 32 < cache.size() )
  {
    for ( size_t i = 0; i < n; ++i )
      rows[i] = cached_row(cache, i);
    return rows;
  }
  std::vector<std::pair<uint64_t, size_t>> keys(n);
  for ( size_t i = 0; i < n; ++i )
    keys[i] = {row_key(i), i};
  if ( !std::is_sorted(keys.begin(), keys.end()) )
    std::sort(keys.begin(), keys.end());
  auto node = cache.begin();
  for ( const auto &[key, shown] : keys )
  {
    while ( node != cache.end() && node->first < key )
      ++node;
    if ( node != cache.end() && node->first == key )
      rows[shown] = &node->second;
  }
  return rows;
}

size_t filtered_bucket_t::rows_in_view(QAbstractItemView * /*view*/) const
{
  return shown_count();
}

ptrdiff_t filtered_bucket_t::shown_position_of(uint64_t key) const
{
  for ( size_t i = 0, n = shown_count(); i < n; ++i )
    if ( row_key(i) == key )
      return ptrdiff_t(i);
  return -1;
}

void filtered_bucket_t::select_in_view(QAbstractItemView *view, const QModelIndex &parent,
                                       const filtered_bucket_t *selected, const filtered_bucket_t *current,
                                       QItemSelection *selection, QModelIndex *current_index) const
{
  const QAbstractItemModel *model = view->model();
  if ( selected != nullptr && selected->shown_count() > 0 )
  {
    std::unordered_map<uint64_t, int> rows;
    rows.reserve(shown_count());
    for ( size_t i = 0, n = shown_count(); i < n; ++i )
      rows.emplace(row_key(i), int(i));
    for ( size_t i = 0, n = selected->shown_count(); i < n; ++i )
      if ( const auto found = rows.find(selected->row_key(i)); found != rows.end() )
      {
        const QModelIndex index = model->index(found->second, 0, parent);
        selection->select(index, index);
      }
  }
  if ( current != nullptr && current->shown_count() > 0 )
    if ( const ptrdiff_t at = shown_position_of(current->row_key(0)); at >= 0 )
      *current_index = model->index(int(at), 0, parent);
}

namespace
{

// The strategy's view of a bucket: the cached rows of the shown positions, looked up once before the sort
// (a comparison must not search the row cache).
class shown_rows_t final : public bucket_rows_t
{
public:
  shown_rows_t(const filtered_bucket_t &bucket, row_cache_t &cache) : rows_(bucket.cached_rows(cache)) {}
  item_info_t *cached_row(uint64_t position) override { return position < rows_.size() ? rows_[position] : nullptr; }

private:
  std::vector<item_info_t *> rows_;
};

} // namespace

void filtered_bucket_t::sort_rows(row_cache_t &cache, const bucket_sorting_strategy_t &strategy,
                                  std::span<uint64_t> positions, size_t first) const
{
  shown_rows_t rows(*this, cache);
  strategy.sort(rows, positions, first);
}

void keyed_bucket_t::set_shown_rows(std::span<const uint32_t> positions)
{
  std::vector<uint32_t> map;
  map.reserve(positions.size());
  for ( const uint32_t shown : positions )
    map.push_back(uint32_t(source_row(shown)));
  map_ = std::move(map);
  mapped_ = true;
}

std::unique_ptr<filtered_bucket_t> keyed_bucket_t::empty_clone() const
{
  return std::make_unique<keyed_bucket_t>(std::vector<uint64_t>(), 0);
}

void keyed_bucket_t::add_row_of(const filtered_bucket_t &from, size_t shown)
{
  keys_.push_back(from.row_key(shown));
}

const view_bucket_record_t *view_snapshot_t::record_of(uint64_t key) const
{
  for ( const view_bucket_record_t &record : buckets )
    if ( record.key == key )
      return &record;
  return nullptr;
}

void view_snapshot_t::swap(view_snapshot_t &other) noexcept
{
  buckets.swap(other.buckets);
  current.swap(other.current);
  std::swap(words, other.words);
}

void add_view_selection(view_selection_records_t *records, QAbstractItemView *view, const QItemSelection &selection,
                        const QModelIndex &current)
{
  if ( selection.isEmpty() && !current.isValid() )
    return;
  view_selection_record_t *mine = nullptr;
  for ( view_selection_record_t &record : *records )
    if ( record.view == view )
      mine = &record;
  if ( mine == nullptr )
    mine = &records->emplace_back(view_selection_record_t {view, {}, {}});
  mine->selection.merge(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  if ( current.isValid() && !mine->current.isValid() )
    mine->current = current;
}
