// Splitting and joining the '/'-separated paths of tree entries.
#include "views/dirtree/dirtree_paths.h"

bool split_dirtree_path(qstring *folder, qstring *name, std::string_view path)
{
  const size_t separator = path.rfind('/');
  if ( separator == std::string_view::npos )
    return false;
  if ( folder != nullptr )
  {
    const std::string_view part = separator == 0 ? path.substr(0, 1) : path.substr(0, separator);
    folder->assign(part.data(), part.size());
  }
  if ( name != nullptr )
  {
    const std::string_view rest = path.substr(separator + 1);
    name->assign(rest.data(), rest.size());
  }
  return true;
}

void join_dirtree_path(qstring *path, std::initializer_list<std::string_view> components)
{
  for ( const std::string_view component : components )
  {
    const bool ends_with_slash = !path->empty() && path->view().back() == '/';
    const bool starts_with_slash = !component.empty() && component.front() == '/';
    if ( !ends_with_slash && !starts_with_slash )
      path->push_back('/');
    path->append(component);
  }
}

bool is_canonical_dirtree_path(std::string_view path)
{
  if ( path == "/" )
    return true;
  if ( path.empty() || path.front() != '/' || path.back() == '/' )
    return false;
  size_t start = 1;
  while ( start <= path.size() )
  {
    size_t end = path.find('/', start);
    if ( end == std::string_view::npos )
      end = path.size();
    const std::string_view name = path.substr(start, end - start);
    if ( name.empty() || name == "." || name == ".." )
      return false;
    start = end + 1;
  }
  return true;
}
