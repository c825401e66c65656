// The directory walk, the glob and listing visitors, and glob and list_dir of both file systems.
#include "repo/dir_walk.h"

#include "core/file_ops.h"
#include "core/internal_error.h"
#include "repo/fs_file.h"
#include "repo/ignore_rules.h"
#include "repo/locked_fs.h"
#include "repo/ordered_rwlock.h"
#include "repo/plain_fs.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr const char *cache_file_name = ".arkive_cache";
constexpr const char *directory_text = "<DIR>";
// Bytes of a locked file's content taken as its listing text.
constexpr size_t locked_listing_bytes = 32;

bool is_cache_file(const char *path)
{
  return std::strcmp(path_file_name(path), cache_file_name) == 0;
}

bool is_symbolic_link(const std::string &path)
{
  std::error_code ec;
  return std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec));
}

// Passes the entries of a table walk to a directory visitor: slot -1 is a directory.
class entry_to_dir_visitor_t final : public entry_visitor_t
{
public:
  explicit entry_to_dir_visitor_t(dir_visitor_t *target) : target_(target) {}
  int visit(const char *path, int64_t slot) override { return target_->visit(path, slot == -1); }

private:
  dir_visitor_t *target_;
};

// Listing lines of the locked file system, from the entries' content.
class locked_listing_visitor_t final : public entry_visitor_t
{
public:
  using slot_reader_t = std::function<const byte_buffer_t &(int64_t)>;
  locked_listing_visitor_t(qvector<qstring> *out, slot_reader_t content) : out_(out), content_(std::move(content)) {}

  int visit(const char *path, int64_t slot) override
  {
    if ( slot == -1 )
    {
      out_->push_back(listing_line(directory_text, path));
      return 0;
    }
    if ( is_cache_file(path) )
      return 0;
    const byte_buffer_t &content = content_(slot);
    const size_t n = std::min(content.size(), locked_listing_bytes);
    const qstring text(reinterpret_cast<const char *>(content.data()), n);
    out_->push_back(listing_line(text.c_str(), path));
    return 0;
  }

private:
  qvector<qstring> *out_;
  slot_reader_t content_;
};

} // namespace

qstring listing_line(const char *text, const char *path)
{
  qstring line;
  format_to_string(&line, "%c %-10.10s %s", '-', text, path);
  return line;
}

int dir_visitor_t::walk(const char *text)
{
  std::string pattern = text != nullptr && *text != '\0' ? text : "/";
  bool recursive = false;
  if ( pattern.back() == '/' || pattern.back() == '\\' )
  {
    pattern += '*';
    recursive = true;
  }
  else if ( is_directory(pattern.c_str()) )
  {
    pattern += "/*";
    recursive = true;
  }
  std::replace(pattern.begin(), pattern.end(), '\\', '/');

  std::vector<char> prefix_buf(pattern.size() + 2);
  path_directory(prefix_buf.data(), ptrdiff_t(prefix_buf.size()), pattern.c_str());
  const std::string prefix(prefix_buf.data());
  const bool add_separator = !prefix.empty() && prefix.back() != '/';

  dir_scan_t scan;
  if ( dir_scan_first(pattern.c_str(), &scan, DIR_ATTR_SUBDIR) != 0 )
    return 0;
  do
  {
    const char *name = scan.name;
    if ( std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || std::strcmp(name, cache_file_name) == 0 )
      continue;
    std::string path = prefix;
    if ( add_separator )
      path += '/';
    path += name;
    const bool is_dir = (scan.attributes & DIR_ATTR_SUBDIR) != 0;
    if ( const int answer = visit(path.c_str(), is_dir); answer != 0 )
      return answer;
    if ( skip )
    {
      skip = false;
      continue;
    }
    if ( is_dir && recursive && !is_symbolic_link(path) )
    {
      path += '/';
      if ( const int answer = walk(path.c_str()); answer != 0 )
        return answer;
    }
  } while ( dir_scan_next(&scan) == 0 );
  return 0;
}

int glob_visitor_t::visit(const char *path, bool is_directory)
{
  if ( is_directory )
  {
    if ( rules_ != nullptr )
    {
      qstring as_directory(path);
      if ( as_directory.view().back() != '/' )
        as_directory += '/';
      if ( rules_->is_ignored(as_directory.c_str()) )
      {
        skip = true;
        return 0;
      }
    }
    if ( (flags_ & FS_GLOB_DIRECTORIES) != 0 )
    {
      if ( stop_requested() )
        return 1;
      out_->push_back(path);
    }
    return 0;
  }
  if ( (flags_ & FS_GLOB_FILES) != 0 )
  {
    if ( stop_requested() )
      return 1;
    if ( !is_cache_file(path) && (rules_ == nullptr || !rules_->is_ignored(path)) )
      out_->push_back(path);
  }
  return 0;
}

int listing_visitor_t::visit(const char *path, bool is_directory)
{
  if ( is_directory )
  {
    out_->push_back(listing_line(directory_text, path));
    return 0;
  }
  if ( is_cache_file(path) )
    return 0;
  qstring text;
  file_info_t status;
  fs_file_t *file = nullptr;
  // Only a regular file is opened: opening a pipe for reading would wait for a writer.
  if ( fs_->stat(&status, path) != 0 || (status.mode & 0xF000) != 0x8000
       || fs_->open(&file, path, FS_OPEN_READ | FS_OPEN_NO_PROGRESS) != 0 )
  {
    text = "?";
  }
  else
  {
    char bytes[listing_text_width];
    uint64_t n = std::min<uint64_t>(uint64_t(std::max<int64_t>(status.size, 0)), listing_text_width);
    const bool read = file->read(&n, bytes) == 0;
    text.assign(bytes, read ? size_t(n) : 0);
    if ( file->close(true) != 0 || !read )
      text += '?';
  }
  out_->push_back(listing_line(text.c_str(), path));
  return 0;
}

bool process_fs_t::list_dir(qvector<qstring> *out, const char *path)
{
  listing_visitor_t visitor(out, this);
  visitor.walk(path);
  return true;
}

bool process_fs_t::glob(qvector<qstring> *out, const char *pattern, ignore_rules_t *rules, const char *root,
                        glob_stop_check_t stop, uint32_t flags)
{
  std::unique_ptr<ignore_rules_t> own_rules;
  if ( rules == nullptr )
  {
    if ( root == nullptr )
      return false;
    if ( (flags & FS_GLOB_NO_RULES) == 0 )
    {
      own_rules = std::make_unique<ignore_rules_t>(this, root);
      rules = own_rules.get();
    }
  }
  glob_visitor_t visitor(out, rules, std::move(stop), flags & ~FS_GLOB_NO_RULES);
  return visitor.walk(pattern) == 0;
}

bool locked_fs_t::list_dir(qvector<qstring> *out, const char *path)
{
  locked_listing_visitor_t visitor(out, [this](int64_t slot) -> const byte_buffer_t & {
    if ( slot < 0 || uint64_t(slot) >= slots_.size() )
      interr(2243);
    return slots_[size_t(slot)]->content;
  });
  rwlock_guard_t guard(lock_, "file:dir", rwlock_mode::shared);
  walk_entry_table(&visitor, entries_, path);
  return true;
}

bool locked_fs_t::glob(qvector<qstring> *out, const char *pattern, ignore_rules_t *rules, const char *root,
                       glob_stop_check_t stop, uint32_t /*flags*/)
{
  // Built before the lock is taken: reading the global rule file takes the lock itself.
  std::unique_ptr<ignore_rules_t> own_rules;
  if ( rules == nullptr )
  {
    if ( root == nullptr )
      return false;
    own_rules = std::make_unique<ignore_rules_t>(this, root);
    rules = own_rules.get();
  }
  glob_visitor_t visitor(out, rules, std::move(stop), FS_GLOB_FILES);
  entry_to_dir_visitor_t adapter(&visitor);
  rwlock_guard_t guard(lock_, "file:glob", rwlock_mode::shared);
  const bool was_held = rules->lock_held();
  rules->set_lock_held(true);
  const int result = walk_entry_table(&adapter, entries_, pattern);
  rules->set_lock_held(was_held);
  return result == 0;
}
