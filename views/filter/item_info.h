// One cached row of a filtered view: its column texts with their letter sets and sort keys, and its last match.
#pragma once

#include "views/filter/filter_match.h"
#include "views/filter/row_texts.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Kinds of a parsed sort key.
inline constexpr int32_t sort_key_unparsed = 0;
inline constexpr int32_t sort_key_decimal = 1; // a decimal number or a size
inline constexpr int32_t sort_key_hex = 2;

// A column's sort key, parsed once per kind: a text that is no number keeps value 0.
struct sort_key_t
{
  int64_t value = 0;
  int32_t kind = sort_key_unparsed;
};

// Row attribute bits.
inline constexpr uint32_t row_bold = 0x1;
inline constexpr uint32_t row_italic = 0x2;
inline constexpr uint32_t row_underline = 0x4;
inline constexpr uint32_t row_strike_out = 0x8;
inline constexpr uint32_t row_grey = 0x10;

// Promises: texts has one entry per column, with its letter set. sort_keys is empty until a column is sorted
// by value (most rows are never sorted so, and a row cache holds many), then it has one entry per column.
struct item_info_t
{
  item_info_t() = default;
  explicit item_info_t(size_t columns) : texts(columns) {}

  // Sets one column's text (growing the row when the column lies beyond it) and forgets its parsed sort key.
  void set_text(size_t column, std::string_view text);
  // Forgets the parsed sort keys (after the texts were replaced directly).
  void forget_sort_keys() { sort_keys.clear(); }

  row_texts_t texts;
  std::vector<sort_key_t> sort_keys;
  filter_match_t match;   // of the last filtering pass (column -1 when none)
  int32_t spare = 12;     // carried, never interpreted
  uint32_t attributes = 0;
  int32_t background = -1; // 0x00BBGGRR, -1 none
  int32_t icon = -1;       // application icon id for column 0, -1 none
  int32_t spare2 = -1;     // carried, never interpreted
};
