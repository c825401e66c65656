// The application logger of UI tests and benchmarks: its log file and switches are set by the test.
#pragma once

#include "ui/logger.h"

#include <atomic>
#include <string>

// An app_logger_t whose destination is the path and silent flag given at construction, and whose timestamps
// switch starts off. The switch may be read from any thread.
class test_logger_t final : public app_logger_t
{
public:
  explicit test_logger_t(std::string path = {}, bool silent = false) : path_(std::move(path)), silent_(silent) {}

  bool get_show_timestamps() override { return show_.load(); }
  void set_show_timestamps(bool show) override { show_.store(show); }
  void log_destination(qstring &path, bool &silent) override
  {
    path = path_.c_str();
    silent = silent_;
  }

private:
  std::string path_;
  bool silent_;
  std::atomic<bool> show_ {false};
};
