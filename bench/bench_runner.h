// The shared main of the benchmark programs: flags, colour only on a terminal, and ratios to anchors.
#pragma once

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A benchmark and the one it is measured against, by reported name ("function" or "function/args"). A
// name without arguments also pairs each of its argument runs with the anchor's run of the same arguments.
struct bench_anchor_t
{
  const char *name;
  const char *anchor;
};

// Reads the command line, then runs the benchmarks it selects. In console output (the default format) the
// table is coloured only when standard output is a terminal, and after it each benchmark that ran beside
// its anchor gets one line "name / anchor = ratio" of their real times per iteration.
class bench_runner_t
{
public:
  // default_flags ("--benchmark_min_time=2") apply unless the command line sets the same flag.
  bench_runner_t(int argc, char **argv, std::initializer_list<const char *> default_flags = {})
  {
    std::vector<std::string> &args = args_;
    args.assign(argv, argv + argc);
    for ( const char *flag : default_flags )
    {
      const std::string_view name = std::string_view(flag).substr(0, std::string_view(flag).find('='));
      if ( !flag_value(args, name) )
        args.emplace_back(flag);
    }
    const auto format = flag_value(args, "--benchmark_format");
    console_ = !format || *format == "console";
    const auto color = flag_value(args, "--benchmark_color");
    const char *term = std::getenv("TERM");
    const bool colour = !color || *color == "auto"
                          ? ::isatty(STDOUT_FILENO) == 1 && term != nullptr && std::string_view(term) != "dumb"
                          : truthy(*color);
    const auto tabular = flag_value(args, "--benchmark_counters_tabular");
    options_ = benchmark::ConsoleReporter::OutputOptions(
      (colour ? benchmark::ConsoleReporter::OO_Color : 0)
      | (tabular && truthy(*tabular) ? benchmark::ConsoleReporter::OO_Tabular : 0));

    std::vector<char *> pointers;
    for ( std::string &arg : args )
      pointers.push_back(arg.data());
    int count = int(pointers.size());
    pointers.push_back(nullptr);
    benchmark::Initialize(&count, pointers.data());
    understood_ = !benchmark::ReportUnrecognizedArguments(count, pointers.data());
  }

  // False when an argument was not understood (already reported).
  bool ok() const { return understood_; }

  // Runs the selected benchmarks and prints the ratios; 0, or 1 when the command line was not understood.
  int run(std::initializer_list<bench_anchor_t> anchors = {})
  {
    if ( !understood_ )
      return 1;
    if ( !console_ )
    {
      benchmark::RunSpecifiedBenchmarks();
      benchmark::Shutdown();
      return 0;
    }
    timing_reporter_t reporter(options_);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::vector<std::pair<std::string, std::string>> pairs;
    for ( const std::string &name : reporter.order )
      for ( const bench_anchor_t &a : anchors )
      {
        std::string anchor;
        if ( name == a.name )
          anchor = a.anchor;
        else if ( name.starts_with(std::string(a.name) + "/") )
          anchor = a.anchor + name.substr(std::string_view(a.name).size());
        if ( !anchor.empty() && reporter.seconds.contains(anchor) )
          pairs.emplace_back(name, anchor);
      }
    size_t name_width = 0;
    size_t anchor_width = 0;
    for ( const auto &[name, anchor] : pairs )
    {
      name_width = std::max(name_width, name.size());
      anchor_width = std::max(anchor_width, anchor.size());
    }
    for ( const auto &[name, anchor] : pairs )
    {
      // Two decimals, or two significant digits for a ratio far below one.
      const double ratio = reporter.seconds[name] / reporter.seconds[anchor];
      std::printf(ratio >= 0.1 ? "%-*s / %-*s = %.2f\n" : "%-*s / %-*s = %.2g\n", int(name_width), name.c_str(),
                  int(anchor_width), anchor.c_str(), ratio);
    }
    std::fflush(stdout);
    benchmark::Shutdown();
    return 0;
  }

private:
  // Console output as the options say, and each benchmark's real time per iteration kept (the mean when
  // repeated), in the order they ran.
  class timing_reporter_t : public benchmark::ConsoleReporter
  {
  public:
    explicit timing_reporter_t(OutputOptions options) : ConsoleReporter(options) {}
    void ReportRuns(const std::vector<Run> &runs) override
    {
      for ( const Run &run : runs )
      {
        const bool mean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
        if ( run.error_occurred || run.iterations == 0 || (run.run_type != Run::RT_Iteration && !mean) )
          continue;
        const std::string name =
          run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
        if ( !seconds.contains(name) )
          order.push_back(name);
        seconds[name] = run.real_accumulated_time / double(run.iterations);
      }
      ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> seconds;
    std::vector<std::string> order;
  };

  // The value of "--name=value" in args (the last one), if any; a bare "--name" is "true".
  static std::optional<std::string> flag_value(const std::vector<std::string> &args, std::string_view name)
  {
    std::optional<std::string> value;
    for ( const std::string &arg : args )
    {
      if ( arg == name )
        value = "true";
      else if ( arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=' )
        value = arg.substr(name.size() + 1);
    }
    return value;
  }

  static bool truthy(std::string value)
  {
    std::transform(value.begin(), value.end(), value.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return value != "false" && value != "no" && value != "off" && value != "0" && value != "f" && value != "n";
  }

  std::vector<std::string> args_; // the command line the library read, kept while it runs
  bool console_ = true;
  bool understood_ = true;
  benchmark::ConsoleReporter::OutputOptions options_ = benchmark::ConsoleReporter::OO_None;
};
