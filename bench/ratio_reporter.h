// A console reporter that also keeps each benchmark's real time per iteration, for programs that print ratios.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

// Console output as usual; `seconds` maps "name" or "name/args" to the real seconds per iteration.
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

  // Prints "<first> / <second> = <ratio of their times>" when both ran; answers the ratio, or 0.
  double print_ratio(const char *first, const char *second) const
  {
    const auto a = seconds.find(first);
    const auto b = seconds.find(second);
    if ( a == seconds.end() || b == seconds.end() || b->second <= 0 )
      return 0;
    const double ratio = a->second / b->second;
    std::printf("%-34s / %-30s = %.2f\n", first, second, ratio);
    return ratio;
  }

  std::map<std::string, double> seconds;
};
