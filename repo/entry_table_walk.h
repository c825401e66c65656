// walk_entry_table: selecting entries of an in-memory file table by a path or a wildcard pattern.
#pragma once

#include <cstdint>
#include <map>
#include <string>

// The table the walk reads: file path -> slot index, keys in byte order (unsigned). Directories are not
// keys; they exist through the paths below them.
using entry_table_t = std::map<std::string, int64_t>;

// Receives what a walk selects. Promises nothing beyond its one operation.
class entry_visitor_t
{
public:
  virtual ~entry_visitor_t() = default;
  // One selected path: slot -1 for a subdirectory, else the file's slot. A non-zero answer stops the walk.
  virtual int visit(const char *path, int64_t slot) = 0;
};

// Reports the entries that pattern selects, in key order:
//  - a pattern ending in '/', or naming a directory (some key continues it with '/'), selects every file
//    below that directory, at any depth;
//  - a pattern whose last component holds '*' or '?' selects the files of its directory whose rest
//    matches (star_pattern_match: '*' also crosses '/'), and each subdirectory once, at its first key,
//    when the subdirectory's first key matches;
//  - any other pattern selects the files whose part behind the pattern's directory matches it exactly.
// A null or empty pattern counts as "/". The walk neither locks nor changes the table: the caller holds
// the table's lock. Answers 0 after the last key, or the first non-zero answer of the visitor.
int walk_entry_table(entry_visitor_t *visitor, const entry_table_t &table, const char *pattern);
