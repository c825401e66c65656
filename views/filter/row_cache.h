// The engine's row cache: every cached row of a filtered view by its row key, in one flat array.
#pragma once

#include "views/filter/item_info.h"

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

// Rows by key, with the map operations the engine and its widgets use. The rows lie side by side in the
// order they were added. While the keys are 0, 1, 2, ... in that order (a flat list's rows) a row sits at its
// own key and needs no index; the first other key builds an open-addressing index of 32-bit slots beside them
// (a row then costs its record and about 8 bytes of index, instead of a tree node and its allocation). Promises: find, count and adding
// take constant time on average; iteration visits every row once, in the order the rows were added; a
// key is held at most once; references to rows stay valid until the next row is added or the cache is
// cleared or shrunk. Rows are never removed one by one.
class row_cache_t
{
public:
  using value_type = std::pair<uint64_t, item_info_t>;
  using iterator = std::vector<value_type>::iterator;
  using const_iterator = std::vector<value_type>::const_iterator;

  iterator begin() { return rows_.begin(); }
  iterator end() { return rows_.end(); }
  const_iterator begin() const { return rows_.begin(); }
  const_iterator end() const { return rows_.end(); }
  [[nodiscard]] size_t size() const { return rows_.size(); }
  [[nodiscard]] bool empty() const { return rows_.empty(); }

  // The row of a key, end() when none.
  iterator find(uint64_t key);
  const_iterator find(uint64_t key) const;
  [[nodiscard]] size_t count(uint64_t key) const { return find(key) != end() ? 1 : 0; }
  // Adds the row unless the key is held; the key's row and whether it was added.
  std::pair<iterator, bool> emplace(uint64_t key, item_info_t row);
  // Adds an empty row for the key unless it is held (the hint is not needed); the key's row.
  template <typename Key>
  iterator emplace_hint(const_iterator /*hint*/, std::piecewise_construct_t, std::tuple<Key> key, std::tuple<>)
  {
    return emplace(uint64_t(std::get<0>(key)), item_info_t()).first;
  }
  // Adds the row, or replaces the held row of the key.
  std::pair<iterator, bool> insert_or_assign(uint64_t key, const item_info_t &row);
  // The key's row, an empty one added when none is held.
  item_info_t &operator[](uint64_t key) { return emplace(key, item_info_t()).first->second; }
  // Drops every row and the index.
  void clear();
  // Gives back the room that growing left unused (after a bulk load).
  void shrink_to_fit();
  // Makes room for that many rows in all: a bulk load of a known count then neither moves the rows nor
  // rebuilds the index as it grows.
  void reserve(size_t rows);

private:
  // The slot that holds the key, or the empty slot where it would go.
  [[nodiscard]] size_t slot_of(uint64_t key) const;
  // Rebuilds the index with room for `rows` rows at most half full.
  void rebuild_index(size_t rows);

  std::vector<value_type> rows_;
  std::vector<uint32_t> slots_; // 1 + the row's index in rows_; 0 empty; a power of two of them; none while dense
};
