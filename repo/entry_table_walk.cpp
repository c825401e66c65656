// The entry-table pattern walk of the in-memory file system.
#include "repo/entry_table_walk.h"

#include "core/file_ops.h"
#include "core/path_pattern.h"

#include <cstring>
#include <string_view>
#include <vector>

namespace {

bool begins_with(const std::string &text, const std::string &prefix)
{
  return text.compare(0, prefix.size(), prefix) == 0;
}

// True when some key continues text with '/': text names a directory of the table. Keys that continue it
// with a byte below '/' ("a.txt" beside "a/b") sort between text and its subtree and are stepped over.
bool names_directory(const entry_table_t &table, const std::string &text)
{
  for ( auto it = table.lower_bound(text); it != table.end() && begins_with(it->first, text); ++it )
  {
    if ( it->first.size() == text.size() )
      return false; // a file of that name
    const auto c = static_cast<unsigned char>(it->first[text.size()]);
    if ( c == '/' )
      return true;
    if ( c > '/' )
      return false;
  }
  return false;
}

} // namespace

int walk_entry_table(entry_visitor_t *visitor, const entry_table_t &table, const char *pattern)
{
  std::string t = pattern != nullptr && *pattern != '\0' ? pattern : "/";

  // Whole-directory mode: every file below the directory is reported, the pattern is not tested.
  bool whole_directory = false;
  if ( t.back() == '/' )
  {
    whole_directory = true;
    t += '*';
  }
  else if ( names_directory(table, t) )
  {
    whole_directory = true;
    t += "/*";
  }

  // D: the directory part, without a final '/'; l its length; R what is matched behind it.
  std::vector<char> dir_buf(t.size() + 2);
  std::string d;
  std::string r = t;
  if ( path_directory(dir_buf.data(), ptrdiff_t(dir_buf.size()), t.c_str()) )
  {
    d = dir_buf.data();
    size_t rest = d.size();
    if ( rest < t.size() && (t[rest] == '/' || t[rest] == '\\') )
      ++rest;
    r = t.substr(rest);
    if ( !d.empty() && d.back() == '/' )
      d.pop_back();
  }
  const size_t l = d.size();

  const char *name = path_file_name(t.c_str());
  const bool wildcard = std::strpbrk(name, "*?") != nullptr;
  auto it = wildcard ? (l != 0 ? table.lower_bound(d) : table.begin()) : table.lower_bound(t);

  std::string last_subdirectory;
  bool have_subdirectory = false;
  for ( ; it != table.end(); ++it )
  {
    const std::string &key = it->first;
    if ( l != 0 )
    {
      if ( key.compare(0, l, d) != 0 )
        break;
      if ( key.size() == l )
        continue;
      const auto c = static_cast<unsigned char>(key[l]);
      if ( c > '/' )
        break;
      if ( c != '/' )
        continue;
    }
    if ( whole_directory )
    {
      if ( const int answer = visitor->visit(key.c_str(), it->second); answer != 0 )
        return answer;
      continue;
    }

    size_t from = l;
    while ( from < key.size() && key[from] == '/' )
      ++from;
    const bool matched = star_pattern_match(key.c_str() + from, r.c_str());

    if ( wildcard )
    {
      const size_t search = key.compare(0, 2, "//") == 0 ? l + 2 : l + 1;
      const size_t slash = search < key.size() ? key.find('/', search) : std::string::npos;
      if ( slash != std::string::npos )
      {
        const std::string_view subdirectory(key.data(), slash);
        if ( !have_subdirectory || subdirectory != last_subdirectory )
        {
          last_subdirectory.assign(subdirectory);
          have_subdirectory = true;
          if ( matched )
            if ( const int answer = visitor->visit(last_subdirectory.c_str(), -1); answer != 0 )
              return answer;
        }
        continue;
      }
    }
    if ( matched )
      if ( const int answer = visitor->visit(key.c_str(), it->second); answer != 0 )
        return answer;
  }
  return 0;
}
