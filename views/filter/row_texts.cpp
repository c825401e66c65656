// A cached row's column texts and their letter sets.
#include "views/filter/row_texts.h"

#include "views/filter/letter_set.h"

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <new>
#include <utility>

// The block: the column count, a letter set per column, the end of each text (past its NUL) counted from the
// first text byte, then the texts one after another, each followed by a NUL.
namespace
{

struct block_layout_t
{
  explicit block_layout_t(const char *block)
    : count(*reinterpret_cast<const size_t *>(block)),
      sets(reinterpret_cast<const uint64_t *>(block + sizeof(size_t))),
      ends(reinterpret_cast<const size_t *>(block + sizeof(size_t) + count * sizeof(uint64_t))),
      bytes(block + head_bytes(count))
  {
  }
  static size_t head_bytes(size_t count) { return sizeof(size_t) + count * (sizeof(uint64_t) + sizeof(size_t)); }

  size_t count;
  const uint64_t *sets;
  const size_t *ends;
  const char *bytes;
};

size_t block_bytes(const char *block)
{
  const block_layout_t layout(block);
  return block_layout_t::head_bytes(layout.count) + (layout.count != 0 ? layout.ends[layout.count - 1] : 0);
}

} // namespace

template <typename TextOf>
void row_texts_t::rebuild(size_t columns, TextOf text_of)
{
  char *block = nullptr;
  if ( columns != 0 )
  {
    size_t text_bytes = 0;
    for ( size_t i = 0; i < columns; ++i )
      text_bytes += text_of(i).size() + 1;
    const size_t head = block_layout_t::head_bytes(columns);
    block = static_cast<char *>(std::malloc(head + text_bytes));
    if ( block == nullptr )
      throw std::bad_alloc();
    *reinterpret_cast<size_t *>(block) = columns;
    auto *sets = reinterpret_cast<uint64_t *>(block + sizeof(size_t));
    auto *ends = reinterpret_cast<size_t *>(block + sizeof(size_t) + columns * sizeof(uint64_t));
    char *bytes = block + head;
    size_t at = 0;
    for ( size_t i = 0; i < columns; ++i )
    {
      const std::string_view text = text_of(i);
      if ( !text.empty() ) // an empty view may have no data at all
        memcpy(bytes + at, text.data(), text.size());
      at += text.size();
      bytes[at++] = '\0';
      ends[i] = at;
      sets[i] = ::letter_set(text);
    }
  }
  std::free(std::exchange(block_, block));
}

row_texts_t::row_texts_t(const row_texts_t &other)
{
  *this = other;
}

row_texts_t::row_texts_t(row_texts_t &&other) noexcept : block_(std::exchange(other.block_, nullptr)) {}

row_texts_t &row_texts_t::operator=(const row_texts_t &other)
{
  if ( this == &other )
    return *this;
  char *block = nullptr;
  if ( other.block_ != nullptr )
  {
    const size_t bytes = block_bytes(other.block_);
    block = static_cast<char *>(std::malloc(bytes));
    if ( block == nullptr )
      throw std::bad_alloc();
    memcpy(block, other.block_, bytes);
  }
  std::free(std::exchange(block_, block));
  return *this;
}

row_texts_t &row_texts_t::operator=(row_texts_t &&other) noexcept
{
  if ( this != &other )
    std::free(std::exchange(block_, std::exchange(other.block_, nullptr)));
  return *this;
}

row_texts_t::~row_texts_t()
{
  std::free(block_);
}

row_text_t row_texts_t::operator[](size_t column) const
{
  const block_layout_t layout(block_);
  const size_t start = column != 0 ? layout.ends[column - 1] : 0;
  return {layout.bytes + start, layout.ends[column] - start - 1};
}

void row_texts_t::assign(std::span<const qstring> texts)
{
  rebuild(texts.size(), [&](size_t i) { return texts[i].view(); });
}

void row_texts_t::set(size_t column, std::string_view text)
{
  const size_t columns = std::max(size(), column + 1);
  const size_t held = size();
  rebuild(columns, [&](size_t i) {
    return i == column ? text : i < held ? (*this)[i].view() : std::string_view();
  });
}

void row_texts_t::resize(size_t columns)
{
  if ( columns == size() )
    return;
  const size_t held = size();
  rebuild(columns, [&](size_t i) { return i < held ? (*this)[i].view() : std::string_view(); });
}
