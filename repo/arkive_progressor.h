// arkive_progressor_t: the progress sink a work-directory file system reports to.
#pragma once

#include <cstdint>

// Kinds of arkive_progressor_t::progress.
enum arkive_progress_kind : uint8_t
{
  progress_end = 0,        // ends the progress display (and, on a file system, flushes the checksum cache)
  progress_add = 1,        // adds the amount to the current figure; an answer of 1 asks to cancel
  progress_bytes_first = 2, // 2 to 4 start a transfer of amount bytes
  progress_bytes_last = 4,
  progress_items = 5,      // starts a count of amount items
};

// Receives the title and the progress events of file work. The client implements it; the base answers 0
// to everything (never cancels).
class arkive_progressor_t
{
public:
  virtual ~arkive_progressor_t() = default;
  // The text shown before the figures (the path of each opened file).
  virtual int32_t set_title(const char * /*text*/) { return 0; }
  // One progress event; 1 asks the caller to cancel.
  virtual int32_t progress(uint8_t /*kind*/, uint64_t /*amount*/) { return 0; }
};
