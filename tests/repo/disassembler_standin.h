// The disassembler's stand-in as the tests drive it: its switches and the runs it recorded.
#pragma once

#include <string>
#include <vector>

// One run of the stand-in: the file name of the program that ran ("zuk" or "zuk64") and its arguments.
struct standin_run_t
{
  std::string program;
  std::vector<std::string> args;
};

// For its lifetime, every stand-in started from this process records its runs into a fresh file of its
// own, and the environment variables that replace the command templates are unset. The switches below
// last until it ends.
class disassembler_standin_t
{
public:
  disassembler_standin_t();
  ~disassembler_standin_t();
  disassembler_standin_t(const disassembler_standin_t &) = delete;
  disassembler_standin_t &operator=(const disassembler_standin_t &) = delete;

  // The stand-in exits with code right after recording.
  void exit_with(int code);
  // The stand-in waits until release() before its work.
  void hold();
  void release();
  // The stand-in leaves the component files of the databases it opened.
  void unpack();

  // The runs recorded so far.
  std::vector<standin_run_t> runs() const;
  // The runs once there are at least count of them (a test failure after 30 seconds without them).
  std::vector<standin_run_t> wait_for_runs(size_t count) const;

private:
  std::string record_;
  std::string hold_;
};
