// Helpers of the work-directory tests: a scratch directory on disk and a recording progress sink.
#pragma once

#include "repo/arkive_progressor.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// The content of a file; "<missing>" when it cannot be read.
std::string read_file_text(const std::string &path);

// A fresh directory under TMPDIR, removed with everything in it at the end of the test; the process's
// working directory is restored too.
class scratch_dir_t
{
public:
  scratch_dir_t();
  ~scratch_dir_t();
  scratch_dir_t(const scratch_dir_t &) = delete;
  scratch_dir_t &operator=(const scratch_dir_t &) = delete;

  // The directory itself (resolved: it holds no link).
  const std::string &path() const { return path_; }
  // path() + "/" + relative.
  std::string at(const std::string &relative) const;
  // Writes a file (its directories are created).
  void write(const std::string &relative, const std::string &content) const;
  // The content of a file; "<missing>" when it cannot be read.
  std::string read(const std::string &relative) const;
  bool exists(const std::string &relative) const;
  // The sorted names in a directory ("" for the scratch directory itself).
  std::vector<std::string> names(const std::string &relative = "") const;

private:
  std::string path_;
  std::filesystem::path saved_cwd_;
};

// A progress sink that records what it gets and answers scripted answers (0 when none is left).
class recording_progressor_t : public arkive_progressor_t
{
public:
  int32_t set_title(const char *text) override
  {
    titles.emplace_back(text);
    return 0;
  }
  int32_t progress(uint8_t kind, uint64_t amount) override
  {
    events.emplace_back(kind, amount);
    if ( answers.empty() )
      return 0;
    const int32_t answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::vector<std::string> titles;
  std::vector<std::pair<uint8_t, uint64_t>> events;
  std::deque<int32_t> answers;
};
