// The engine's row cache.
#include "views/filter/row_cache.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cstdint>

namespace
{

// Fibonacci hashing: consecutive keys (the usual row numbers and ids) spread over the whole index.
size_t key_hash(uint64_t key, unsigned shift)
{
  return size_t((key * 0x9E3779B97F4A7C15ull) >> shift);
}

// Asks for huge pages under a large block that has not been touched yet: a bulk load of a million rows then
// takes a few hundred page faults instead of tens of thousands (each clears its page on first touch anyway).
void advise_huge_pages(const void *block, size_t bytes)
{
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t huge_page = uintptr_t(2) << 20;
  const uintptr_t start = (uintptr_t(block) + huge_page - 1) & ~(huge_page - 1);
  const uintptr_t end = (uintptr_t(block) + bytes) & ~(huge_page - 1);
  if ( end > start )
    (void)madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

} // namespace

size_t row_cache_t::slot_of(uint64_t key) const
{
  const size_t mask = slots_.size() - 1;
  size_t at = key_hash(key, unsigned(64 - std::countr_zero(slots_.size())));
  while ( slots_[at] != 0 && rows_[slots_[at] - 1].first != key )
    at = (at + 1) & mask;
  return at;
}

row_cache_t::iterator row_cache_t::find(uint64_t key)
{
  // Rows added as 0, 1, 2, ... (a flat list's row numbers) sit at their own key: no index to consult.
  if ( key < rows_.size() && rows_[key].first == key )
    return rows_.begin() + std::ptrdiff_t(key);
  if ( slots_.empty() ) // dense rows: a key beyond them is not held
    return rows_.end();
  const uint32_t slot = slots_[slot_of(key)];
  return slot != 0 ? rows_.begin() + std::ptrdiff_t(slot - 1) : rows_.end();
}

row_cache_t::const_iterator row_cache_t::find(uint64_t key) const
{
  return const_cast<row_cache_t *>(this)->find(key);
}

std::pair<row_cache_t::iterator, bool> row_cache_t::emplace(uint64_t key, item_info_t row)
{
  if ( slots_.empty() )
  {
    if ( key < rows_.size() )
      return {rows_.begin() + std::ptrdiff_t(key), false};
    if ( key == rows_.size() )
    {
      rows_.emplace_back(key, std::move(row));
      return {rows_.end() - 1, true};
    }
  }
  if ( 2 * (rows_.size() + 1) > slots_.size() )
    rebuild_index(rows_.size() + 1);
  const size_t at = slot_of(key);
  if ( slots_[at] != 0 )
    return {rows_.begin() + std::ptrdiff_t(slots_[at] - 1), false};
  rows_.emplace_back(key, std::move(row));
  slots_[at] = uint32_t(rows_.size());
  return {rows_.end() - 1, true};
}

std::pair<row_cache_t::iterator, bool> row_cache_t::insert_or_assign(uint64_t key, const item_info_t &row)
{
  const auto [found, added] = emplace(key, row);
  if ( !added )
    found->second = row;
  return {found, added};
}

void row_cache_t::clear()
{
  rows_ = {};
  slots_ = {};
}

void row_cache_t::shrink_to_fit()
{
  rows_.shrink_to_fit();
}

void row_cache_t::reserve(size_t rows)
{
  constexpr size_t large_bytes = size_t(8) << 20;
  const bool fresh = rows_.capacity() < rows && rows_.empty();
  rows_.reserve(rows);
  if ( fresh && rows_.capacity() * sizeof(value_type) >= large_bytes )
    advise_huge_pages(rows_.data(), rows_.capacity() * sizeof(value_type));
  if ( !slots_.empty() && 2 * rows > slots_.size() )
    rebuild_index(rows);
}

void row_cache_t::rebuild_index(size_t rows)
{
  // Grows in powers of two, so that adding n rows one by one rebuilds O(log n) times.
  const size_t size = std::bit_ceil(std::max<size_t>(2 * rows, 16));
  slots_.assign(size, 0);
  for ( size_t i = 0; i < rows_.size(); ++i )
    slots_[slot_of(rows_[i].first)] = uint32_t(i + 1);
}
