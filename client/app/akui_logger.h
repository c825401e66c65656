// The client's logger: the log file named by -L or AKUILOG, and the Output window's timestamps switch.
#pragma once

#include "core/qstring.h"
#include "ui/logger.h"

// Registered as the process's logger while it exists (internal error 2551 for a second one).
class akui_logger_t : public app_logger_t
{
public:
  // The path given with -L; empty: AKUILOG decides.
  explicit akui_logger_t(qstring log_path) : log_path_(std::move(log_path)) {}

  // The -L path when not empty, else AKUILOG when set, else none; silent (file only) when AKUILOG_SILENT is set.
  void log_destination(qstring &path, bool &silent) override;
  bool get_show_timestamps() override { return show_timestamps_; }
  void set_show_timestamps(bool show) override { show_timestamps_ = show; }

private:
  qstring log_path_;
  bool show_timestamps_ = false;
};
