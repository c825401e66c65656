// A program the test starts as a child process, as a user starts it from a shell.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

// Started with the given arguments, environment additions and working directory, its standard output and error
// going to "output.txt" there. Killed at destruction unless it ended.
class child_program_t
{
public:
  child_program_t(const std::filesystem::path &program, const std::vector<std::string> &args,
                  const std::map<std::string, std::string> &env, const std::filesystem::path &cwd);
  ~child_program_t();
  child_program_t(const child_program_t &) = delete;
  child_program_t &operator=(const child_program_t &) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }
  // Whether the program has not ended yet.
  [[nodiscard]] bool running();
  // The exit code once the program ended within the limit; -1 when it did not (it is killed at destruction) or
  // ended by a signal.
  int wait_exit(std::chrono::milliseconds limit);
  // What it wrote to its standard output and error so far.
  [[nodiscard]] std::string output() const;

private:
  std::filesystem::path output_path_;
  pid_t pid_ = -1;
  bool ended_ = false;
  int status_ = 0;
};
