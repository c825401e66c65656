// A cached row's column texts and their letter sets, held together in one heap block.
#pragma once

#include "core/qstring.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// One column's text as a row holds it: NUL-terminated, valid until the row's texts change or go away.
class row_text_t
{
public:
  row_text_t(const char *text, size_t size) : text_(text), size_(size) {}
  [[nodiscard]] const char *c_str() const { return text_; }
  [[nodiscard]] std::string_view view() const { return {text_, size_}; }
  [[nodiscard]] size_t size() const { return size_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }

private:
  const char *text_;
  size_t size_;
};

// The texts of a row's columns with the letter set of each. A row cache holds many rows: all of a row's texts
// and sets share one block (none for a row without columns) instead of a block per text. Promises:
// letter_set(i) is always the letter set of text i; texts keep embedded NUL bytes; every change rebuilds
// the block, so a row_text_t taken before a change must not be used after it; a moved-from value is empty.
class row_texts_t
{
public:
  row_texts_t() = default;
  // That many empty texts.
  explicit row_texts_t(size_t columns) { resize(columns); }
  row_texts_t(const row_texts_t &other);
  row_texts_t(row_texts_t &&other) noexcept;
  row_texts_t &operator=(const row_texts_t &other);
  row_texts_t &operator=(row_texts_t &&other) noexcept;
  ~row_texts_t();

  // Inline: a filtering pass asks for these on every row. The block begins with the count, then the sets.
  [[nodiscard]] size_t size() const { return block_ != nullptr ? *reinterpret_cast<const size_t *>(block_) : 0; }
  [[nodiscard]] bool empty() const { return size() == 0; }
  // The text of a column below size().
  [[nodiscard]] row_text_t operator[](size_t column) const;
  // The letter set of a column below size().
  [[nodiscard]] uint64_t letter_set(size_t column) const
  {
    return reinterpret_cast<const uint64_t *>(block_ + sizeof(size_t))[column];
  }

  // Replaces every text by these, one per column.
  void assign(std::span<const qstring> texts);
  // Replaces one column's text; a column at or beyond size() first grows the row with empty texts.
  void set(size_t column, std::string_view text);
  // Keeps the first `columns` texts, adding empty ones beyond the current count.
  void resize(size_t columns);

private:
  // Builds a new block of `columns` texts, text_of(i) giving each, and drops the old one afterwards (the texts
  // may lie in it).
  template <typename TextOf>
  void rebuild(size_t columns, TextOf text_of);

  char *block_ = nullptr; // owned (malloc): the count, the letter sets, the text ends, the texts
};
