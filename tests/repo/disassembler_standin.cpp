// Driving the disassembler's stand-in from the tests.
#include "tests/repo/disassembler_standin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

const char *const standin_switches[] = {"ZUK_STANDIN_EXIT", "ZUK_STANDIN_HOLD", "ZUK_STANDIN_UNPACK"};

// The environment variables that replace the command templates.
const char *const template_variables[] = {"ARKIVE_DIFF", "ARKIVE_AUTO_MERGE", "ARKIVE_LMERGE", "ARKIVE_RMERGE",
                                          "ARKIVE_MANUAL_MERGE"};

} // namespace

disassembler_standin_t::disassembler_standin_t()
{
  std::string dir = (fs::temp_directory_path() / "standin-XXXXXX").string();
  if ( mkdtemp(dir.data()) == nullptr )
    throw std::runtime_error("mkdtemp failed");
  record_ = dir + "/runs";
  hold_ = dir + "/go";
  setenv("ZUK_STANDIN_RECORD", record_.c_str(), 1);
  for ( const char *name : standin_switches )
    unsetenv(name);
  for ( const char *name : template_variables )
    unsetenv(name);
}

disassembler_standin_t::~disassembler_standin_t()
{
  release();
  unsetenv("ZUK_STANDIN_RECORD");
  for ( const char *name : standin_switches )
    unsetenv(name);
  for ( const char *name : template_variables )
    unsetenv(name);
  std::error_code ignored;
  fs::remove_all(fs::path(record_).parent_path(), ignored);
}

void disassembler_standin_t::exit_with(int code)
{
  setenv("ZUK_STANDIN_EXIT", std::to_string(code).c_str(), 1);
}

void disassembler_standin_t::hold()
{
  setenv("ZUK_STANDIN_HOLD", hold_.c_str(), 1);
}

void disassembler_standin_t::release()
{
  std::ofstream(hold_).flush();
}

void disassembler_standin_t::unpack()
{
  setenv("ZUK_STANDIN_UNPACK", "1", 1);
}

std::vector<standin_run_t> disassembler_standin_t::runs() const
{
  std::vector<standin_run_t> result;
  std::ifstream in(record_);
  for ( std::string header; std::getline(in, header); )
  {
    std::istringstream fields(header);
    standin_run_t run;
    size_t count = 0;
    fields >> run.program >> count;
    for ( std::string arg; run.args.size() < count && std::getline(in, arg); )
      run.args.push_back(arg);
    if ( run.args.size() == count ) // an entry still being written is not a run yet
      result.push_back(std::move(run));
  }
  return result;
}

std::vector<standin_run_t> disassembler_standin_t::wait_for_runs(size_t count) const
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::vector<standin_run_t> result = runs();
  while ( result.size() < count && std::chrono::steady_clock::now() < deadline )
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    result = runs();
  }
  EXPECT_GE(result.size(), count) << "the disassembler's stand-in did not run";
  return result;
}
