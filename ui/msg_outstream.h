// Log messages and the stream interface that writes them line by line: to the log file or to the Output window.
#pragma once

#include "core/clock_time.h"
#include "core/qstring.h"

#include <cstdint>
#include <cstdio>
#include <memory>

// Width of the timestamp prefix "YYYY-MM-DD HH:MM:SS.mmm " that every message carries once it is logged.
constexpr size_t LOG_PREFIX_WIDTH = 24;

// Flag of the logger's flags word: timestamps are shown (the file gets the prefix on each message's first line).
constexpr uint32_t LOG_FLAG_TIMESTAMPS = 1;

// One message, moved from stage to stage. `text` may hold several lines ("\n", "\r\n" and a lone "\r").
struct msg_data_t
{
  qstring text;           // UTF-8
  qstring prefix;         // the timestamp prefix, empty until logger_t::log builds it
  packed_time_t time = 0; // 0 until stamped
};

// Writes messages line by line. Promises: write_message drives the virtual operations so that a line break
// is emitted only when the next line begins (nothing ends with a line break of its own), continuation lines
// never get the prefix, and a lone carriage return discards the text before it on its line and continues
// after the prefix width, over the current line.
class msg_outstream_t
{
public:
  virtual ~msg_outstream_t() = default;

  // Kind bits of start_line.
  static constexpr unsigned KIND_NO_BREAK = 1;    // emit no line break first
  static constexpr unsigned KIND_WITH_PREFIX = 2; // write the prefix

  // Forgets that a line was begun.
  virtual void reset() { mid_line_ = false; }
  // A lone carriage return was met; the base does nothing.
  virtual void carriage_return() {}
  // Begins a line (see the kind bits).
  virtual void start_line(const qstring &prefix, unsigned kind) = 0;
  // Writes text starting at the column (padding up to it where the stream pads).
  virtual void write_at(size_t column, const qstring &text) = 0;
  // Called once per message, after its last line; the base does nothing.
  virtual void flush() {}
  // The current column of the line being written.
  [[nodiscard]] virtual size_t column() = 0;

  // Writes one message (flags: LOG_FLAG_TIMESTAMPS). Answers the text's length in bytes; an empty text
  // writes nothing and answers 0.
  size_t write_message(const msg_data_t &msg, uint32_t flags);

  [[nodiscard]] bool mid_line() const { return mid_line_; }
  [[nodiscard]] bool first() const { return first_; }

protected:
  // Inside start_line: the bytes of the message's text up to the line's break, which the line gets unless a
  // lone carriage return rewrites it; a stream that keeps lines makes room for them once.
  [[nodiscard]] size_t line_length_hint() const { return line_length_hint_; }

  bool mid_line_ = false; // a line was begun and not ended
  bool first_ = true;     // nothing written yet

private:
  qstring line_; // the line being collected, kept between messages so that its room is reused
  size_t line_length_hint_ = 0;
};

// The log file form. Promises: the prefix is counted in the column; flush hands every message to the
// system (fflush), so a crash of the program loses nothing, but does not sync the disk per message, which
// would stall the thread that logs. Not thread-safe: the logger serialises its writes.
class file_outstream_t final : public msg_outstream_t
{
public:
  file_outstream_t() = default;

  // Opens the file for appending (not inherited by launched programs); false, and nothing open, on failure.
  [[nodiscard]] bool open_append(const char *path);
  [[nodiscard]] bool is_open() const { return stream_ != nullptr; }

  void start_line(const qstring &prefix, unsigned kind) override;
  void write_at(size_t column, const qstring &text) override;
  void flush() override;
  size_t column() override { return column_; }

private:
  struct closer_t
  {
    void operator()(FILE *fp) const;
  };
  std::unique_ptr<FILE, closer_t> stream_; // null when no log file is open
  size_t column_ = 0;                      // bytes written on the current line
};
