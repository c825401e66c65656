// Runs an anchor's command-line tool once per benchmark iteration through the core's process launcher.
#pragma once

#include "core/process_launch.h"
#include "core/qstring.h"

#include <benchmark/benchmark.h>

#include <string>

// Launches `program` with the arguments text (redirections included) and waits for it. False, with the
// benchmark skipped and the reason given, when it cannot start or does not end with exit code 0.
inline bool run_tool(benchmark::State &state, const char *program, const std::string &arguments)
{
  process_launch_params_t params;
  params.program = program;
  params.arguments = arguments.c_str();
  qstring error;
  os_handle_t *process = spawn_process(&params, &error);
  int32_t exit_code = -1;
  if ( process == nullptr || wait_process(process, &exit_code, -1) != 0 || exit_code != 0 )
  {
    const std::string failed = std::string(program) + " failed (is it installed?)";
    state.SkipWithError(process == nullptr ? error.c_str() : failed.c_str());
    return false;
  }
  return true;
}
