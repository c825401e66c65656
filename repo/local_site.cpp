// Path conversions of a local site.
#include "repo/local_site.h"

#include "core/file_ops.h"
#include "repo/abstract_fs.h"
#include "repo/server_paths.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace {

// Resolves empty, "." and ".." segments of an absolute path as text, after its prefix (a drive "C:" and
// one '/', or "//"). A ".." at the start of the resolved part is dropped on its own.
void normalize_segments(std::string &s)
{
  size_t start = 0;
  if ( s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':' )
    start = 2;
  if ( s.compare(start, 2, "//") == 0 )
    start += 2;
  else if ( start < s.size() && s[start] == '/' )
    start += 1;

  size_t pos = start;
  while ( pos < s.size() )
  {
    if ( s[pos] == '/' )
    {
      s.erase(pos, 1);
      continue;
    }
    size_t end = s.find('/', pos);
    const bool has_slash = end != std::string::npos;
    if ( !has_slash )
      end = s.size();
    const std::string_view segment(s.data() + pos, end - pos);
    if ( segment == "." )
    {
      s.erase(pos, has_slash ? 2 : 1);
    }
    else if ( segment == ".." )
    {
      const size_t len = has_slash ? 3 : 2;
      if ( pos == start )
      {
        s.erase(pos, len);
        continue;
      }
      // pos - 1 is the '/' that ends the previous segment.
      const size_t prev_sep = s.rfind('/', pos - 2);
      const size_t prev = prev_sep == std::string::npos || prev_sep < start ? start : prev_sep + 1;
      s.erase(prev, pos - prev + len);
      pos = prev;
    }
    else
    {
      pos = has_slash ? end + 1 : end;
    }
  }
}

bool has_dotdot_segment(std::string_view path)
{
  size_t pos = 0;
  while ( pos <= path.size() )
  {
    size_t end = path.find('/', pos);
    if ( end == std::string_view::npos )
      end = path.size();
    if ( path.substr(pos, end - pos) == ".." )
      return true;
    pos = end + 1;
  }
  return false;
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b)
{
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

} // namespace

qstring local_site_t::absolute_local_path(const char *path) const
{
  if ( path == nullptr || *path == '\0' )
    return qstring();
  std::string copy(path);
  std::replace(copy.begin(), copy.end(), '\\', '/');
  if ( is_absolute_path(copy.c_str()) )
    return qstring(copy);

  qstring cwd;
  fs->getcwd(&cwd);
  std::string joined(cwd.view());
  if ( joined.empty() || joined.back() != '/' )
    joined += '/';
  joined += copy;
  normalize_segments(joined);
  return qstring(joined);
}

qstring local_site_t::local_path_of(const char *server_path) const
{
  return join_site_path(root.c_str(), server_path);
}

qstring local_site_t::server_path_of(const char *path) const
{
  if ( path == nullptr )
    return qstring();
  if ( *path == '\0' || *path == '@' || (path[0] == '/' && path[1] == '/') )
    return qstring(path);

  qstring absolute = absolute_local_path(path);
  const std::string_view a = absolute.view();
  size_t n = root.size();
  if ( is_root_path(root.c_str()) )
    --n;
  if ( n != 0 && (a.size() < n || !equal_ignoring_ascii_case(a.substr(0, n), root.view().substr(0, n))) )
    return absolute;
  if ( n < a.size() && a[n] != '/' )
    return absolute; // a sibling whose name begins with the root's name
  const std::string_view rest = a.substr(n);
  if ( has_dotdot_segment(rest) )
    return absolute;
  qstring result("/");
  result.append(rest.empty() ? std::string_view("/") : rest);
  return result;
}
