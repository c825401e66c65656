// A benchmark reporter that keeps each run's time, so that a program can print its timings as ratios.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

// ratio_reporter_t: console output as usual, and each benchmark's real time per iteration kept by its name
// ("name" or "name/arg:value").
class ratio_reporter_t : public benchmark::ConsoleReporter
{
public:
  void ReportRuns(const std::vector<Run> &runs) override
  {
    for ( const Run &run : runs )
      if ( run.run_type == Run::RT_Iteration )
        seconds[run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args)] =
          run.real_accumulated_time / double(run.iterations);
    ConsoleReporter::ReportRuns(runs);
  }

  // Prints "ours / theirs = ratio" when both ran.
  void print_ratio(const std::string &ours, const std::string &theirs) const
  {
    const auto s = seconds.find(ours);
    const auto t = seconds.find(theirs);
    if ( s != seconds.end() && t != seconds.end() )
      std::printf("%-34s / %-30s = %.2f\n", ours.c_str(), theirs.c_str(), s->second / t->second);
  }

  std::map<std::string, double> seconds;
};
