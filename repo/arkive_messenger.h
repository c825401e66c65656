// arkive_messenger_t: the message sink of a connection and of a work-directory file system.
#pragma once

#include <cstdarg>

// Writes problem lines to the log. The base writes each formatted line through the UI callback's log
// request; a subclass may send them elsewhere.
class arkive_messenger_t
{
public:
  virtual ~arkive_messenger_t() = default;
  // Writes one formatted line to the log (UI callback request 23).
  virtual void print(const char *format, va_list va);
  // How long a waiting user is told to wait, in seconds.
  virtual int wait_seconds() { return 60; }
};
