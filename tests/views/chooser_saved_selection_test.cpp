// The saved selection of a chooser: round trips through the widget's state event, hostile buffers, and a
// seeded mutation loop that must never crash or take memory beyond what the bytes can hold.
#include "core/compact_codec.h"
#include "tests/support/heap_in_use.h"
#include "tests/support/seeded_random.h"
#include "tests/views/chooser_test_support.h"

namespace {

using rows_t = std::vector<uint64_t>;

// The compact encoding of each number, one after the other.
byte_buffer_t numbers(std::initializer_list<uint64_t> values)
{
  byte_buffer_t out;
  for ( const uint64_t value : values )
  {
    uint8_t bytes[compact_u64_max_size];
    const uint8_t *end = pack_u64_compact(bytes, bytes + sizeof(bytes), value);
    for ( const uint8_t *p = bytes; p != end; ++p )
      out.push_back(*p);
  }
  return out;
}

byte_buffer_t concat(byte_buffer_t a, std::initializer_list<uint8_t> tail)
{
  for ( const uint8_t byte : tail )
    a.push_back(byte);
  return a;
}

class ChooserSavedSelection : public chooser_fixture_t
{
protected:
  // Sends the state event to the widget: saving into the buffer, or restoring from it.
  static void send_state(chooser_widget_t *widget, byte_buffer_t *bytes, int direction)
  {
    chooser_state_event_t event(bytes, direction);
    QApplication::sendEvent(widget, &event);
    settle();
  }
};

TEST_F(ChooserSavedSelection, SelectionRoundTripsThroughTheStateEvent)
{
  struct case_t
  {
    const char *name;
    rows_t rows;
    int64_t current;
  };
  const case_t cases[] = {
    {"rows and a current row", {2, 5, 7}, 5},
    {"one row", {9}, 9},
    {"nothing", {}, -1},
    {"large indexes", {300, 70000}, 70000},
  };
  for ( const case_t &c : cases )
  {
    auto *list = new test_multi_list_t(numbered_rows(70001), "Saved", chooser_multi_select);
    chooser_widget_t *widget = make_widget(list);
    settle();
    qvector<uint64_t> rows;
    for ( const uint64_t row : c.rows )
      rows.push_back(row);
    widget->set_selection(rows, c.current);
    byte_buffer_t saved;
    send_state(widget, &saved, 1);
    delete widget;

    chooser_widget_t *restored = make_widget(new test_multi_list_t(numbered_rows(70001), "Saved", chooser_multi_select));
    settle();
    send_state(restored, &saved, 0);
    EXPECT_EQ(selected_rows(restored), c.rows) << c.name;
    EXPECT_EQ(current_row(restored), c.current) << c.name;
    delete restored;
  }
  EXPECT_TRUE(ui.requests_of(ui_code_log).empty());

  // Saving writes the count, the rows and the current row as compact numbers.
  chooser_widget_t *widget = make_widget(new test_multi_list_t(numbered_rows(10), "Bytes", chooser_multi_select));
  widget->set_selection({1, 3}, 3);
  byte_buffer_t saved;
  send_state(widget, &saved, 1);
  EXPECT_EQ(saved, numbers({2, 1, 3, 3}));
}

TEST_F(ChooserSavedSelection, HostileBuffersAreReadWithBoundsChecks)
{
  struct case_t
  {
    const char *name;
    byte_buffer_t bytes;
    bool accepted;
    rows_t rows;
    int64_t current;
  };
  const case_t cases[] = {
    {"count 0, no current row", numbers({0}), true, {}, -1},
    {"rows and current", numbers({2, 4, 6, 6}), true, {4, 6}, 6},
    {"rows at or beyond the count dropped", numbers({3, 1, 10, 99}), true, {1}, -1},
    {"current beyond the count dropped", numbers({1, 2, 10}), true, {2}, -1},
    {"empty buffer", {}, false, {}, -1},
    {"count of 2^60 in a few bytes", numbers({uint64_t(1) << 60, 1}), false, {}, -1},
    {"count of all ones", numbers({~uint64_t(0)}), false, {}, -1},
    {"count beyond the rows present", numbers({3, 1, 2}), false, {}, -1},
    {"row cut short", concat(numbers({1}), {0xC0, 0x01}), false, {}, -1},
    {"high half of a row missing", concat(numbers({1}), {0x05}), false, {}, -1},
    {"bytes after the current row", concat(numbers({1, 2, 3}), {0x00}), false, {}, -1},
    {"current row cut short", concat(numbers({1, 2}), {0xFF, 0x00}), false, {}, -1},
  };
  for ( const case_t &c : cases )
  {
    chooser_selection_t read;
    read.current = 77;
    EXPECT_EQ(decode_saved_selection(c.bytes.data(), c.bytes.size(), 10, &read), c.accepted) << c.name;
    EXPECT_EQ(rows_t(read.rows.begin(), read.rows.end()), c.rows) << c.name;
    EXPECT_EQ(read.current, c.current) << c.name;
  }

  // Through the widget: a refused buffer restores an empty selection and is logged; the source never sees a
  // row beyond its count.
  auto *list = new test_multi_list_t(numbered_rows(10), "Hostile", chooser_multi_select);
  chooser_widget_t *widget = make_widget(list);
  widget->set_selection({1, 2}, 2);
  settle();
  byte_buffer_t hostile = numbers({uint64_t(1) << 40, 1});
  list->calls.clear();
  send_state(widget, &hostile, 0);
  EXPECT_TRUE(selected_rows(widget).empty());
  EXPECT_EQ(list->calls, (std::vector<std::string> {"reload"}));
  const auto logs = ui.requests_of(ui_code_log);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].text, "The saved selection of \"Hostile\" is damaged; nothing is selected\n");
  byte_buffer_t beyond = numbers({2, 3, 12, 12});
  list->calls.clear();
  send_state(widget, &beyond, 0);
  EXPECT_EQ(list->calls, (std::vector<std::string> {"reload 3"}));
  EXPECT_EQ(selected_rows(widget), (rows_t {3}));
}

TEST_F(ChooserSavedSelection, MutatedBuffersNeverCrashOrTakeMoreThanTheirBytes)
{
  uint32_t state = 0x5EED1;
  chooser_widget_t *widget = make_widget(new test_multi_list_t(numbered_rows(50), "Mutated", chooser_multi_select));
  const int runs = seeded_runs(4000);
  for ( int run = 0; run < runs; ++run )
  {
    // A valid buffer of a few rows, then flipped, cut, repeated or extended bytes.
    chooser_selection_t selection;
    for ( uint32_t i = 0, n = next_random(&state) % 6; i < n; ++i )
      selection.rows.push_back(next_random(&state) % 80);
    selection.current = next_random(&state) % 3 == 0 ? -1 : int64_t(next_random(&state) % 80);
    byte_buffer_t bytes;
    encode_saved_selection(selection, &bytes);
    for ( uint32_t i = 0, n = 1 + next_random(&state) % 4; i < n; ++i )
    {
      const uint32_t kind = next_random(&state) % 4;
      if ( kind == 0 && !bytes.empty() )
        bytes[next_random(&state) % bytes.size()] = uint8_t(next_random(&state));
      else if ( kind == 1 && !bytes.empty() )
        bytes.resize(next_random(&state) % bytes.size());
      else if ( kind == 2 )
        bytes.push_back(uint8_t(next_random(&state)));
      else if ( !bytes.empty() )
        bytes[0] = 0xFF;
    }
    const uint64_t row_count = next_random(&state) % 100;
    const size_t heap_before = heap_in_use();
    chooser_selection_t read;
    const bool accepted = decode_saved_selection(bytes.data(), bytes.size(), row_count, &read);
    EXPECT_LE(heap_in_use(), heap_before + 64 + bytes.size() * sizeof(uint64_t)) << "run " << run;
    EXPECT_LE(read.rows.size(), bytes.size() / 2) << "run " << run;
    for ( const uint64_t row : read.rows )
      EXPECT_LT(row, row_count) << "run " << run;
    EXPECT_LT(read.current, int64_t(row_count)) << "run " << run;
    EXPECT_TRUE(accepted || (read.rows.empty() && read.current == -1)) << "run " << run;
    // Now and then the widget restores the same bytes.
    if ( run % 50 == 0 )
      send_state(widget, &bytes, 0);
  }
}

} // namespace
