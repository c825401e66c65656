// Site confinement: resolving paths against the operating system or as text, then the containment test.
#include "repo/site_confinement.h"

#include "core/file_ops.h"
#include "repo/arkive_errors.h"
#include "repo/error_detail.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int max_links = 40; // as the kernel's own limit for one lookup

std::string with_slashes(const char *path)
{
  std::string p(path);
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

// Pushes the components of a path onto a stack so that the first component is popped first.
void push_components(std::vector<std::string> &stack, std::string_view path)
{
  std::vector<std::string> parts;
  size_t pos = 0;
  while ( true )
  {
    const size_t end = path.find('/', pos);
    parts.emplace_back(path.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
    if ( end == std::string_view::npos )
      break;
    pos = end + 1;
  }
  stack.insert(stack.end(), parts.rbegin(), parts.rend());
}

void drop_last_component(std::string &resolved)
{
  const size_t sep = resolved.rfind('/');
  resolved.erase(sep == 0 ? 1 : sep);
}

// Resolves the components of `rest` as the operating system would, starting from the resolved folder
// `resolved`: 0 and the result, or an errno value. Folders in `checked` (when given) are taken without a look;
// folders looked at join it.
int resolve_real_from(std::string *out, std::string resolved, std::string_view rest, bool follow_last,
                      checked_folders_t *checked = nullptr)
{
  std::vector<std::string> pending;
  push_components(pending, rest);
  int links = 0;
  while ( !pending.empty() )
  {
    const std::string component = std::move(pending.back());
    pending.pop_back();
    if ( component.empty() || component == "." )
      continue;
    if ( component == ".." )
    {
      drop_last_component(resolved);
      continue;
    }
    std::string candidate = resolved == "/" ? "/" + component : resolved + "/" + component;
    if ( candidate.size() >= PATH_MAX )
      return ENAMETOOLONG;
    // A trailing "/" or "/." leaves components behind, and those make the system follow the last link.
    if ( pending.empty() && !follow_last )
    {
      resolved = std::move(candidate);
      continue;
    }
    if ( checked != nullptr && checked->contains(candidate) )
    {
      resolved = std::move(candidate);
      continue;
    }
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(candidate, ec);
    if ( ec || !fs::is_symlink(status) )
    {
      if ( checked != nullptr && !ec && fs::is_directory(status) )
        checked->add(candidate);
      // Missing components (and those below a file) are taken as written: nothing can lead elsewhere.
      resolved = std::move(candidate);
      continue;
    }
    if ( ++links > max_links )
      return ELOOP;
    const fs::path target = fs::read_symlink(candidate, ec);
    if ( ec )
      return ec.value();
    const std::string target_text = target.string();
    if ( !target_text.empty() && target_text[0] == '/' )
      resolved.assign(1, '/');
    push_components(pending, target_text);
  }
  if ( resolved.size() >= PATH_MAX )
    return ENAMETOOLONG;
  *out = std::move(resolved);
  return 0;
}

// Resolves path as the operating system would: 0 and the result, or an errno value.
int resolve_real(std::string *out, const std::string &path, bool follow_last)
{
  if ( !path.empty() && path[0] == '/' )
    return resolve_real_from(out, "/", path, follow_last);
  std::error_code ec;
  std::string cwd = fs::current_path(ec).string();
  if ( ec )
    return ec.value();
  return resolve_real_from(out, std::move(cwd), path, follow_last);
}

// Applies empty, "." and ".." segments of path as text after its absolute prefix ("/", "C:/", "C:" or
// nothing). False when a ".." climbs above the start of a relative text.
bool normalize_text(std::string *out, const std::string &path)
{
  size_t prefix = 0;
  if ( path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' )
    prefix = 2;
  const bool absolute = prefix < path.size() && path[prefix] == '/';
  if ( absolute )
    ++prefix;
  std::vector<std::string> kept;
  std::vector<std::string> pending;
  push_components(pending, std::string_view(path).substr(prefix));
  while ( !pending.empty() )
  {
    std::string component = std::move(pending.back());
    pending.pop_back();
    if ( component.empty() || component == "." )
      continue;
    if ( component == ".." )
    {
      if ( !kept.empty() )
        kept.pop_back();
      else if ( !absolute )
        return false;
      continue;
    }
    kept.push_back(std::move(component));
  }
  std::string result = path.substr(0, prefix);
  for ( size_t i = 0; i < kept.size(); ++i )
  {
    if ( i != 0 )
      result += '/';
    result += kept[i];
  }
  *out = std::move(result);
  return true;
}

bool is_inside(const std::string &path, const std::string &root)
{
  if ( root.empty() )
    return !path.empty() && path[0] != '/' && !is_absolute_path(path.c_str());
  if ( path.size() < root.size() || path.compare(0, root.size(), root) != 0 )
    return false;
  if ( path.size() == root.size() || root.back() == '/' )
    return true;
  return path[root.size()] == '/';
}

int outside(const char *path)
{
  return arkive_format_error(ARKIVE_OUTSIDE_ROOT, "%s", path);
}

// 0 and *resolved for a resolved path inside the resolved root, else the refusal.
int take_inside(qstring *resolved, std::string real_path, const std::string &real_root, const char *path)
{
  if ( !is_inside(real_path, real_root) )
    return outside(path);
  *resolved = qstring(real_path);
  return 0;
}

} // namespace

int confine_real_path(qstring *resolved, const char *root, const char *path, bool follow_last)
{
  if ( path == nullptr || *path == '\0' )
    return outside("");
  std::string real_root;
  int err = resolve_real(&real_root, with_slashes(root), true);
  if ( err == 0 )
  {
    std::string real_path;
    err = resolve_real(&real_path, with_slashes(path), follow_last);
    if ( err == 0 )
      return take_inside(resolved, std::move(real_path), real_root, path);
  }
  return arkive_errno_error(err, path);
}

int real_site_root_t::resolve(const char *root)
{
  text_ = with_slashes(root);
  while ( text_.size() > 1 && text_.back() == '/' )
    text_.pop_back();
  real_.clear();
  return resolve_real(&real_, text_, true);
}

bool checked_folders_t::contains(const std::string &folder) const
{
  const std::lock_guard lock(mutex_);
  return folders_.contains(folder);
}

void checked_folders_t::add(const std::string &folder)
{
  const std::lock_guard lock(mutex_);
  folders_.insert(folder);
}

void checked_folders_t::clear()
{
  const std::lock_guard lock(mutex_);
  folders_.clear();
}

int real_site_root_t::confine(qstring *resolved, const char *path, bool follow_last, checked_folders_t *checked) const
{
  if ( path == nullptr || *path == '\0' )
    return outside("");
  const std::string text = with_slashes(path);
  std::string real_path;
  int err = 0;
  // A path written beneath the root's own text continues from the root's resolution: the root's components
  // are not walked again. The root's text itself is resolved in full, since its last link may not be
  // followed. A relative root is not taken: it depends on the working directory of the moment.
  const size_t n = text_.size();
  if ( n > 1 && text_[0] == '/' && text.size() > n && text.compare(0, n, text_) == 0 && text[n] == '/' )
    err = resolve_real_from(&real_path, real_, std::string_view(text).substr(n + 1), follow_last, checked);
  else
    err = resolve_real(&real_path, text, follow_last);
  if ( err != 0 )
    return arkive_errno_error(err, path);
  return take_inside(resolved, std::move(real_path), real_, path);
}

int confine_text_path(qstring *resolved, const char *root, const char *cwd, const char *path)
{
  if ( path == nullptr || *path == '\0' )
    return outside("");
  const auto absolute = [cwd](const char *p) {
    std::string text = with_slashes(p);
    if ( is_absolute_path(text.c_str()) || cwd == nullptr || *cwd == '\0' )
      return text;
    std::string joined = with_slashes(cwd);
    if ( joined.back() != '/' )
      joined += '/';
    return joined + text;
  };
  std::string norm_root;
  std::string norm_path;
  if ( !normalize_text(&norm_root, absolute(root)) || !normalize_text(&norm_path, absolute(path))
       || !is_inside(norm_path, norm_root) )
    return outside(path);
  if ( norm_path.size() >= PATH_MAX )
    return arkive_errno_error(ENAMETOOLONG, path);
  *resolved = qstring(norm_path);
  return 0;
}
