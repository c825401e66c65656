// The progress display of long repository operations: figures and a bar in the wait box, and the poll through
// which a waiting operation learns that the user cancelled it.
#pragma once

#include "core/qstring.h"
#include "repo/arkive_progressor.h"

#include <cstdint>
#include <string>

// Cells of the progress bar.
inline constexpr int progress_bar_cells = 40;
// Characters of a file title that the display keeps (a drive "X:" counted among them).
inline constexpr size_t progress_title_chars = 40;

// Turns the reports of the work-directory file system into the wait box's text. Promises: a start below the
// threshold (32768 bytes; 1000 files for a check) is never shown and its reports are dropped without a poll;
// a shown display is renewed at each report (a file check every 100 files) and polls for cancellation; any
// report sequence, hostile amounts included, gives a bar of 0 to 40 full cells and never overflows. Without an
// application, and for events above 5, nothing happens. GUI thread only.
class akui_progressor_t : public arkive_progressor_t
{
public:
  // The title becomes the text; null or empty clears it. Answers 0.
  int32_t set_title(const char *text) override;
  // One progress event (arkive_progress_kind); the amount is read as a signed count. 1 asks the reporting
  // operation to cancel, 0 to go on.
  int32_t progress(uint8_t event, uint64_t amount) override;

  // Hides the wait box when this display shows it.
  void close_display();

  [[nodiscard]] bool shown() const { return shown_; }
  [[nodiscard]] int64_t done() const { return done_; }
  [[nodiscard]] int64_t total() const { return total_; }

private:
  // Puts the current figures into the wait box: a new box at once when none is shown, else its text replaced.
  void renew_display();

  int64_t done_ = 0;   // 0 to INT64_MAX
  int64_t total_ = 0;  // 0: nothing running
  char total_text_[8] = {};
  qstring title_;
  uint8_t kind_ = 0;   // the start event, 2 to 5
  bool shown_ = false;
};

// Every action runs it after its handler, so that a progress box never outlives the command that opened it.
void close_progress_display(akui_progressor_t &progressor);

// The number of full cells of the bar: done * 40 / total clamped to 0..40, exact for every 64-bit pair;
// 0 for a total of 0 or below.
[[nodiscard]] int progress_bar_fill(int64_t done, int64_t total);
// A title of more than 40 characters (code points) shortened to 40 of them with "…" at the cut: a leading drive
// "X:" stays, then "…" and the title's last characters. A shorter title is kept whole.
[[nodiscard]] std::string shortened_progress_title(const char *title);
