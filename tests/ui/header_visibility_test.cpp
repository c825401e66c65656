// Header-section visibility buffers: round trip, count mismatch, and short or corrupt buffers that change nothing.
#include "ui/header_visibility.h"

#include "core/byte_cursor.h"
#include "tests/support/seeded_random.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

namespace
{

// A table whose horizontal header has `columns` sections.
struct table_t
{
  explicit table_t(int columns) : model(1, columns) { view.setModel(&model); }
  QHeaderView *header() { return view.horizontalHeader(); }
  std::vector<bool> hidden()
  {
    std::vector<bool> out;
    for ( int i = 0; i < header()->count(); ++i )
      out.push_back(header()->isSectionHidden(i));
    return out;
  }
  QStandardItemModel model;
  QTableView view;
};

byte_buffer_t bytes(std::initializer_list<uint8_t> list)
{
  byte_buffer_t b;
  for ( uint8_t c : list )
    bytevec_append(&b, &c, 1);
  return b;
}

TEST(HeaderVisibility, SavedSectionsComeBackOnAHeaderOfTheSameCount)
{
  table_t saved(10);
  for ( int i : {0, 3, 8, 9} )
    saved.header()->setSectionHidden(i, true);
  byte_buffer_t buffer;
  save_header_sections_visibility(saved.header(), &buffer);
  // Version, count, then two bytes of bits, least significant first: visible are 1, 2, 4, 5, 6, 7.
  ASSERT_EQ(buffer.size(), 4u);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[1], 10);
  EXPECT_EQ(buffer[2], 0xF6);
  EXPECT_EQ(buffer[3], 0x00);

  table_t restored(10);
  restored.header()->setSectionHidden(5, true);
  EXPECT_EQ(restore_header_sections_visibility(restored.header(), buffer), 10u);
  EXPECT_EQ(restored.hidden(), saved.hidden());

  // Another count: the count is answered and nothing changes.
  table_t other(9);
  other.header()->setSectionHidden(2, true);
  const std::vector<bool> before = other.hidden();
  EXPECT_EQ(restore_header_sections_visibility(other.header(), buffer), 10u);
  EXPECT_EQ(other.hidden(), before);
}

TEST(HeaderVisibility, ManySectionsUseALongerCount)
{
  table_t saved(200);
  saved.header()->setSectionHidden(150, true);
  byte_buffer_t buffer;
  save_header_sections_visibility(saved.header(), &buffer);
  EXPECT_EQ(buffer.size(), 1u + 2u + 25u);
  table_t restored(200);
  EXPECT_EQ(restore_header_sections_visibility(restored.header(), buffer), 200u);
  EXPECT_TRUE(restored.header()->isSectionHidden(150));
  EXPECT_FALSE(restored.header()->isSectionHidden(149));
}

TEST(HeaderVisibility, ShortOrCorruptBuffersAnswer0AndChangeNothing)
{
  struct case_t
  {
    const char *name;
    byte_buffer_t buffer;
  };
  const case_t cases[] = {
    {"empty", bytes({})},
    {"version only", bytes({1})},
    {"another version", bytes({2, 3, 0x07})},
    {"count cut short", bytes({1, 0x80})},
    {"five-byte count cut short", bytes({1, 0xFF, 0, 0})},
    {"bits missing", bytes({1, 3})},
    {"bits short", bytes({1, 9, 0xFF})},
    {"bits beyond the count", bytes({1, 3, 0x07, 0x00})},
    {"huge count, few bytes", bytes({1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01})},
  };
  for ( const case_t &c : cases )
  {
    table_t table(3);
    table.header()->setSectionHidden(1, true);
    EXPECT_EQ(restore_header_sections_visibility(table.header(), c.buffer), 0u) << c.name;
    EXPECT_EQ(table.hidden(), (std::vector<bool> {false, true, false})) << c.name;
  }
  EXPECT_EQ(restore_header_sections_visibility(nullptr, bytes({1, 1, 1})), 0u);
}

TEST(HeaderVisibility, MutatedBuffersApplyOnlyWhenWhole)
{
  constexpr int runs = seeded_runs(10000);
  table_t saved(12);
  saved.header()->setSectionHidden(4, true);
  byte_buffer_t good;
  save_header_sections_visibility(saved.header(), &good);
  table_t table(12);
  uint32_t state = 0x6C8E9CF5u;
  for ( int run = 0; run < runs; ++run )
  {
    byte_buffer_t buffer = good;
    const uint32_t r = next_random(&state);
    if ( r % 3 == 0 )
      bytevec_resize(&buffer, (r >> 8) % (buffer.size() + 3));
    else
      buffer[(r >> 8) % buffer.size()] = uint8_t(r >> 16);
    const uint32_t count = restore_header_sections_visibility(table.header(), buffer);
    // A buffer is taken only when its bitmap has exactly the bytes its count needs.
    if ( count != 0 )
    {
      ASSERT_GE(buffer.size(), 2u);
      EXPECT_EQ(buffer[0], header_visibility_version);
    }
  }
}

} // namespace
