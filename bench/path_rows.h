// Seeded path-like rows for the filter benchmarks (about 46 bytes each), the same on every run.
#pragma once

#include "bench/pseudo_random.h"

#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

// Rows like "/home/quinn/src/vendor/LibCore/parse_tree.cpp".
inline std::vector<std::string> path_rows(size_t count)
{
  static const char *const folders[] = {"home", "src", "usr", "lib", "include", "vendor", "docs", "build",
                                        "tests", "tools", "share", "Core", "net", "ui", "data", "opt"};
  static const char *const extensions[] = {".cpp", ".h", ".txt", ".json", ".py", ".md"};
  pseudo_random_t rng;
  std::vector<std::string> rows;
  rows.reserve(count);
  for ( size_t i = 0; i < count; ++i )
  {
    std::string row;
    for ( uint64_t n = 4 + rng.next() % 3; n > 0; --n )
      (row += '/') += folders[rng.next() % std::size(folders)];
    row += '/';
    for ( uint64_t n = 8 + rng.next() % 15; n > 0; --n )
    {
      const uint64_t r = rng.next() % 30;
      row += r < 26 ? char('a' + r) : r < 28 ? '_' : char('A' + rng.next() % 26);
    }
    row += extensions[rng.next() % std::size(extensions)];
    rows.push_back(std::move(row));
  }
  return rows;
}
