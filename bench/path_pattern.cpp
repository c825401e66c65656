// Ignore-rule matching rates: every path of a work tree is tested against every rule line, so the matcher
// runs (paths x rules) times per scan; reports paths per second.
#include "core/path_pattern.h"

#include "bench/bench_runner.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// Rule lines of the kinds found in ignore files.
const std::vector<std::string> rules = {
    "*.o", "*.tmp", "/build", "build/", "**/cache/*.bin", "docs/**/draft-*", "[Tt]humbs.db", "*~", "out/",
    "*.id[0-2]", "*.nam", "src/**/gen/", "/.vscode/", "*.log", "a*b*c*d*e",
};

std::vector<std::string> work_tree_paths()
{
  std::vector<std::string> paths;
  const char *dirs[] = {"src", "src/core", "src/core/gen", "docs/manual/chapters", "build/x64/release", "assets/cache"};
  const char *names[] = {"main.cpp", "main.o", "notes.txt~", "draft-2.md", "blob.bin", "Thumbs.db", "db.id1",
                         "a_long_file_name_without_any_of_the_letters_in_order.txt"};
  for ( const char *d : dirs )
  {
    for ( const char *n : names )
      paths.push_back(std::string(d) + "/" + n);
  }
  return paths;
}

void BM_IgnoreRulesOverWorkTree(benchmark::State &state)
{
  const std::vector<std::string> paths = work_tree_paths();
  size_t matched = 0;
  for ( auto _ : state )
  {
    for ( const std::string &path : paths )
    {
      for ( const std::string &rule : rules )
        matched += path_pattern_match(path.c_str(), rule.c_str(), 0) ? 1 : 0;
    }
  }
  benchmark::DoNotOptimize(matched);
  state.SetItemsProcessed(int64_t(state.iterations() * paths.size()));
}
BENCHMARK(BM_IgnoreRulesOverWorkTree);

// Many stars against a long name that almost matches: the worst case of a backtracking matcher.
void BM_ManyStarsNoMatch(benchmark::State &state)
{
  const std::string name(200, 'a');
  const std::string pattern = "*a*a*a*a*a*a*a*a*a*a*b";
  for ( auto _ : state )
  {
    benchmark::DoNotOptimize(path_pattern_match(name.c_str(), pattern.c_str(), 0));
    benchmark::DoNotOptimize(star_pattern_match(name.c_str(), pattern.c_str()));
  }
}
BENCHMARK(BM_ManyStarsNoMatch);

// Several "**/" against a deep path that almost matches: each one must not retry every depth.
void BM_ManyAnyDepthsNoMatch(benchmark::State &state)
{
  std::string path;
  for ( int i = 0; i < 100; ++i )
    path += "a/";
  path += "c";
  std::string rule;
  for ( int i = 0; i < 6; ++i )
    rule += "**/a/";
  rule += "b";
  for ( auto _ : state )
    benchmark::DoNotOptimize(path_pattern_match(path.c_str(), rule.c_str(), 0));
}
BENCHMARK(BM_ManyAnyDepthsNoMatch);

} // namespace

int main(int argc, char **argv)
{
  return bench_runner_t(argc, argv).run();
}
