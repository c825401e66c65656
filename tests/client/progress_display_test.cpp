// The progress display in the application's wait box: thresholds, renewals, the file title, the bar under
// hostile report sequences, and Cancel answered through the next report.
#include "client/app/progress_display.h"

#include "tests/ui/app/screenshots.h"
#include "ui/app_base.h"
#include "ui/wait_box.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr int64_t int64_max = std::numeric_limits<int64_t>::max();

WaitDialog &box()
{
  return *current_app()->wait_dialog();
}

std::string shown_text()
{
  return box().label()->text().toStdString();
}

// Counts the occurrences of a UTF-8 text.
int count_of(const std::string &text, const std::string &what)
{
  int n = 0;
  for ( size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()) )
    ++n;
  return n;
}

// The bar's full cells, checked to be the last line with 40 cells in all.
int shown_fill()
{
  const std::string text = shown_text();
  const std::string bar = text.substr(text.rfind('\n') + 1);
  const int full = count_of(bar, "\u2588");
  EXPECT_EQ(full + count_of(bar, "\u2591"), progress_bar_cells) << text;
  return full;
}

std::string repeated(const std::string &unit, int n)
{
  std::string out;
  for ( int i = 0; i < n; ++i )
    out += unit;
  return out;
}

class progress_display_t : public ::testing::Test
{
protected:
  void SetUp() override { ASSERT_NE(current_app()->wait_dialog(), nullptr); }
  void TearDown() override
  {
    progressor.close_display();
    EXPECT_FALSE(box().isVisible());
  }

  akui_progressor_t progressor;
};

TEST_F(progress_display_t, a_download_renews_at_every_step_up_to_a_full_bar)
{
  progressor.set_title("//depot/data.bin");
  EXPECT_EQ(progressor.progress(progress_bytes_first, 40000), 0);
  ASSERT_TRUE(progressor.shown());
  EXPECT_TRUE(box().isVisible()) << "opens at once, without the usual delay";
  EXPECT_EQ(shown_text(), "Downloading 0/39.1k bytes (0.00%)\nFile: //depot/data.bin\n" + repeated("\u2591", 40));
  save_screenshot(box(), "start");

  std::vector<std::string> texts;
  for ( int step = 1; step <= 10; ++step )
  {
    EXPECT_EQ(progressor.progress(progress_add, 4000), 0);
    texts.push_back(shown_text());
    EXPECT_EQ(shown_fill(), 4 * step);
    if ( step == 5 )
      save_screenshot(box(), "half");
  }
  for ( size_t i = 1; i < texts.size(); ++i )
    EXPECT_NE(texts[i], texts[i - 1]) << "ten renewals";
  EXPECT_EQ(texts.back(), "Downloading 39.1k/39.1k bytes (100.00%)\nFile: //depot/data.bin\n" + repeated("\u2588", 40));
  save_screenshot(box(), "done");

  // The end of the operation hides the box and forgets the figures and the title.
  EXPECT_EQ(progressor.progress(progress_end, 0), 0);
  EXPECT_FALSE(progressor.shown());
  EXPECT_FALSE(box().isVisible());
  EXPECT_EQ(progressor.total(), 0);
  EXPECT_EQ(progressor.progress(3, 50000), 0);
  EXPECT_EQ(shown_text(), "Uploading 0/48.8k bytes (0.00%)\n" + repeated("\u2591", 40)) << "no title any more";
}

TEST_F(progress_display_t, labels_by_start_event)
{
  const std::vector<std::pair<uint8_t, std::string>> starts = {
    {2, "Downloading 0/64.0k bytes"}, {3, "Uploading 0/64.0k bytes"}, {4, "Calculating MD5 0/64.0k bytes"},
    {5, "Checking files 0/64.0k files"}};
  for ( const auto &[event, label] : starts )
  {
    SCOPED_TRACE(int(event));
    EXPECT_EQ(progressor.progress(event, 65536), 0);
    EXPECT_EQ(shown_text().substr(0, label.size()), label);
    EXPECT_EQ(progressor.progress(progress_end, 0), 0);
  }
}

TEST_F(progress_display_t, small_operations_are_never_shown)
{
  const std::vector<std::pair<uint8_t, uint64_t>> starts = {{2, 1000}, {4, 32767}, {5, 999}, {2, 0}};
  for ( const auto &[event, amount] : starts )
  {
    SCOPED_TRACE(std::to_string(event) + " of " + std::to_string(amount));
    EXPECT_EQ(progressor.progress(event, amount), 0);
    for ( int i = 0; i < 10; ++i )
      EXPECT_EQ(progressor.progress(progress_add, amount / 10), 0);
    EXPECT_FALSE(progressor.shown());
    EXPECT_FALSE(box().isVisible());
    EXPECT_EQ(progressor.done(), 0) << "the reports of an operation not shown are dropped";
  }
  // The thresholds themselves start a display.
  EXPECT_EQ(progressor.progress(2, 32768), 0);
  EXPECT_TRUE(progressor.shown());
  EXPECT_EQ(progressor.progress(progress_end, 0), 0);
  EXPECT_EQ(progressor.progress(5, 1000), 0);
  EXPECT_TRUE(progressor.shown());
}

TEST_F(progress_display_t, a_file_check_renews_every_hundred_files)
{
  ASSERT_EQ(progressor.progress(progress_items, 1000), 0);
  std::vector<std::string> renewals;
  std::string last = shown_text();
  for ( int file = 1; file <= 1000; ++file )
  {
    EXPECT_EQ(progressor.progress(progress_add, 1), 0);
    if ( shown_text() != last )
    {
      last = shown_text();
      renewals.push_back(last.substr(0, last.find('\n')));
    }
  }
  ASSERT_EQ(renewals.size(), 10u);
  EXPECT_EQ(renewals.front(), "Checking files 100/1000 files (10.00%)");
  EXPECT_EQ(renewals.back(), "Checking files 1000/1000 files (100.00%)");
}

TEST_F(progress_display_t, cancel_is_answered_by_the_next_report)
{
  ASSERT_EQ(progressor.progress(progress_bytes_first, 1 << 20), 0);
  EXPECT_EQ(progressor.progress(progress_add, 4096), 0);
  QTest::mouseClick(box().cancel_button(), Qt::LeftButton);
  save_screenshot(box(), "cancelled");
  EXPECT_EQ(progressor.progress(progress_add, 4096), 1);
  EXPECT_EQ(progressor.progress(progress_end, 0), 0);

  // The next operation starts uncancelled.
  ASSERT_EQ(progressor.progress(progress_bytes_first, 1 << 20), 0);
  EXPECT_EQ(progressor.progress(progress_add, 4096), 0);
}

TEST_F(progress_display_t, events_above_five_are_ignored)
{
  ASSERT_EQ(progressor.progress(progress_bytes_first, 40000), 0);
  ASSERT_EQ(progressor.progress(progress_add, 4000), 0);
  const std::string before = shown_text();
  for ( const int event : {6, 7, 100, 255} )
  {
    EXPECT_EQ(progressor.progress(uint8_t(event), 40000), 0);
    EXPECT_EQ(shown_text(), before);
  }
  EXPECT_EQ(progressor.done(), 4000);
  EXPECT_EQ(progressor.total(), 40000);
}

TEST_F(progress_display_t, closing_the_display_hides_only_a_box_it_shows)
{
  close_progress_display(progressor);
  EXPECT_FALSE(box().isVisible());
  ASSERT_EQ(progressor.progress(progress_bytes_first, 40000), 0);
  ASSERT_TRUE(box().isVisible());
  close_progress_display(progressor);
  EXPECT_FALSE(progressor.shown());
  EXPECT_FALSE(box().isVisible());
  // Reports of the rest of the operation are dropped.
  EXPECT_EQ(progressor.progress(progress_add, 4000), 0);
  EXPECT_FALSE(box().isVisible());
}

// Sequences of reports a misbehaving server or file system can produce; none may crash or draw a wrong bar.
TEST_F(progress_display_t, hostile_report_sequences_keep_the_bar_within_its_cells)
{
  struct report_t
  {
    uint8_t event;
    uint64_t amount;
  };
  struct sequence_t
  {
    const char *name;
    std::vector<report_t> reports;
    bool shown;
    int fill;       // the bar's full cells at the end (when shown)
    int64_t done;   // the figure at the end
  };
  const auto negative = [](int64_t n) { return uint64_t(-n); };
  const std::vector<sequence_t> sequences = {
    {"negative start", {{2, negative(40000)}, {1, 4000}}, false, 0, 0},
    {"start at 2^63", {{2, uint64_t(1) << 63}, {1, 4000}}, false, 0, 0},
    {"all ones", {{4, ~uint64_t(0)}, {1, ~uint64_t(0)}}, false, 0, 0},
    {"more than announced", {{2, 40000}, {1, 30000}, {1, 30000}}, true, 40, 60000},
    {"negative step", {{2, 40000}, {1, 20000}, {1, negative(5000)}}, true, 15, 15000},
    {"steps below zero", {{2, 40000}, {1, 4000}, {1, negative(30000)}}, true, 0, 0},
    {"near 2^63", {{2, uint64_t(int64_max)}, {1, uint64_t(int64_max - 1)}}, true, 39, int64_max - 1},
    {"past 2^63", {{2, uint64_t(int64_max)}, {1, uint64_t(int64_max - 1)}, {1, 5}}, true, 40, int64_max},
    {"huge steps of a small total", {{2, 32768}, {1, uint64_t(int64_max)}, {1, uint64_t(int64_max)}}, true, 40,
     int64_max},
    {"steps without a start", {{1, 4000}, {1, 4000}}, false, 0, 0},
    {"zero total", {{2, 0}, {1, 4000}}, false, 0, 0},
    {"steps after the end", {{2, 40000}, {0, 0}, {1, 4000}}, false, 0, 0},
    {"a new start resets", {{2, 40000}, {1, 40000}, {3, 80000}, {1, 20000}}, true, 10, 20000},
    {"files far beyond their count", {{5, 1000}, {1, 100000}}, true, 40, 100000},
  };
  for ( const sequence_t &sequence : sequences )
  {
    SCOPED_TRACE(sequence.name);
    akui_progressor_t hostile;
    for ( const report_t &report : sequence.reports )
      EXPECT_EQ(hostile.progress(report.event, report.amount), 0);
    EXPECT_EQ(hostile.shown(), sequence.shown);
    EXPECT_EQ(box().isVisible(), sequence.shown);
    EXPECT_EQ(hostile.done(), sequence.done);
    if ( sequence.shown )
    {
      EXPECT_EQ(shown_fill(), sequence.fill) << shown_text();
    }
    hostile.close_display();
  }
}

TEST(progress_bar, fill_is_exact_and_clamped_for_every_pair)
{
  struct fill_case_t
  {
    int64_t done;
    int64_t total;
    int fill;
  };
  const std::vector<fill_case_t> cases = {
    {0, 40000, 0},          {4000, 40000, 4},           {39999, 40000, 39},        {40000, 40000, 40},
    {1, 40, 1},             {39, 40, 39},               {1, 41, 0},                {80000, 40000, 40},
    {-1, 40000, 0},         {5, 0, 0},                  {5, -3, 0},                {int64_max, 1, 40},
    {int64_max - 1, int64_max, 39}, {int64_max / 2, int64_max, 19}, {int64_max / 40, int64_max, 0},
    {int64_max / 40 + 1, int64_max, 1},
  };
  for ( const fill_case_t &c : cases )
    EXPECT_EQ(progress_bar_fill(c.done, c.total), c.fill) << c.done << " of " << c.total;
}

TEST(progress_title, longer_titles_keep_forty_characters_around_the_cut)
{
  const std::string tail38 = "abcdefghijklmnopqrstuvwxyz0123456789AB";
  const std::string tail40 = "ab" + tail38;
  const std::string cyrillic40 = repeated("\u0436", 40);
  struct title_case_t
  {
    const char *name;
    std::string title;
    std::string shown;
  };
  const std::vector<title_case_t> cases = {
    {"60 with a drive", "C:" + std::string(20, 'x') + tail38, "C:\u2026" + tail38},
    {"60 without a drive", std::string(20, 'x') + tail40, "\u2026" + tail40},
    {"exactly 40", tail40, tail40},
    {"41", "z" + tail40, "\u2026" + tail40},
    {"41 with a drive", "D:" + std::string(1, 'y') + tail38, "D:\u2026" + tail38},
    {"a colon first is no drive", ":" + std::string(50, 'x') + tail40, "\u2026" + tail40},
    {"short with a drive", "C:/a.txt", "C:/a.txt"},
    {"counted in characters", "//" + cyrillic40, "\u2026" + cyrillic40},
    {"40 characters of 80 bytes", cyrillic40, cyrillic40},
    {"empty", "", ""},
  };
  for ( const title_case_t &c : cases )
    EXPECT_EQ(shortened_progress_title(c.title.c_str()), c.shown) << c.name;
}

} // namespace
