// Server path checks and joins.
#include "repo/server_paths.h"

#include "core/file_ops.h"
#include "core/internal_error.h"

#include <cctype>
#include <cstring>
#include <string_view>

namespace {

bool is_separator(char c)
{
  return c == '/' || c == '\\';
}

} // namespace

bool is_valid_server_path(const char *text)
{
  if ( text == nullptr || *text == '\0' )
    return false;
  const std::string_view path(text);
  if ( path.find_first_of("\n#") != std::string_view::npos )
    return false;
  if ( std::strcmp(path_file_name(text), ".arkive_cache") == 0 )
    return false;
  if ( !path.starts_with("//") )
    return false;
  // From the second '/' on, every separator must start a segment that is neither empty, "." nor "..".
  for ( size_t i = 1; i < path.size(); ++i )
  {
    if ( !is_separator(path[i]) )
      continue;
    const size_t seg = i + 1;
    size_t end = seg;
    while ( end < path.size() && !is_separator(path[end]) )
      ++end;
    const std::string_view segment = path.substr(seg, end - seg);
    if ( end < path.size() && segment.empty() )
      return false; // "//" inside the path (or "///" at its start)
    if ( segment == "." || segment == ".." )
      return false;
  }
  return true;
}

qstring join_site_path(const char *root, const char *server_path)
{
  if ( server_path == nullptr || server_path[0] != '/' || server_path[1] != '/' )
    interr(2249);
  qstring result(root != nullptr ? root : "");
  if ( !result.empty() && qstring_last_char(result) == '/' )
    result.append(std::string_view(server_path + 2));
  else
    result.append(std::string_view(server_path + 1));
  return result;
}

bool is_root_path(const char *text)
{
  if ( text == nullptr )
    return false;
  if ( std::strcmp(text, "/") == 0 )
    return true;
  return std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':' && text[2] == '/' && text[3] == '\0';
}

void strip_trailing_slash(qstring *path)
{
  if ( qstring_last_char(*path) == '/' && !is_root_path(path->c_str()) )
    qstring_remove_last_chars(path, 1);
}
