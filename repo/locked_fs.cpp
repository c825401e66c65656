// The in-memory locked file system and its open files.
#include "repo/locked_fs.h"

#include "core/file_ops.h"
#include "core/internal_error.h"
#include "repo/arkive_errors.h"
#include "repo/error_detail.h"
#include "repo/fs_file_base_p.h"
#include "repo/generated_content.h"
#include "repo/md5_cache.h"
#include "repo/server_paths.h"
#include "repo/site_confinement.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

// A file of the locked file system: a position in its entry's slot.
class mem_file_t final : public fs_file_base_t
{
public:
  mem_file_t(locked_fs_t *owner, const char *path, uint32_t flags, mem_file_slot_t *slot)
    : fs_file_base_t(owner, path, flags), fs_(owner), slot_(slot)
  {
  }

  int read(uint64_t *n, void *buf) override;
  int write(uint64_t *n, const void *bytes) override;
  int64_t seek(uint64_t offset) override
  {
    position_ = offset;
    return int64_t(position_);
  }
  uint64_t tell() override { return position_; }
  int close(bool commit) override
  {
    record_file_digest(commit);
    delete this;
    return 0;
  }

private:
  ~mem_file_t() override = default;

  locked_fs_t *fs_;        // the owner, for its lock
  mem_file_slot_t *slot_;  // owned by the file system; outlives the entry's key
  uint64_t position_ = 0;
};

int mem_file_t::read(uint64_t *n, void *buf)
{
  if ( writing() )
    interr(2241);
  {
    ordered_rwlock_t &lock = fs_->lock();
    const bool take = !lock.held_by_current_thread();
    if ( take )
      lock.lock_shared();
    const uint64_t size = slot_->content.size();
    const uint64_t count = position_ < size ? std::min(*n, size - position_) : 0;
    if ( count != 0 )
      std::memcpy(buf, slot_->content.data() + position_, count);
    position_ += count;
    *n = count;
    if ( take )
      lock.unlock();
  }
  return *n == 0 ? 0 : account(buf, *n);
}

int mem_file_t::write(uint64_t *n, const void *bytes)
{
  if ( !writing() )
    interr(2242);
  const int answer = account(bytes, *n);
  if ( answer != 0 )
    return answer;
  // Writers are exclusive so that readers of the same entry never see a buffer being changed.
  rwlock_guard_t guard(fs_->lock(), "file:write", rwlock_mode::exclusive);
  byte_buffer_t &content = slot_->content;
  if ( position_ > uint64_t(PTRDIFF_MAX) || *n > uint64_t(PTRDIFF_MAX) - position_ )
  {
    *n = 0;
    return arkive_errno_error(EFBIG, path_.c_str());
  }
  if ( *n == 0 )
  {
    content.resize(size_t(position_), 0);
    return 0;
  }
  if ( content.size() < position_ + *n )
    content.resize(size_t(position_ + *n), 0);
  std::memcpy(content.data() + position_, bytes, *n);
  position_ += *n;
  return 0;
}

void locked_fs_t::getcwd(qstring *out)
{
  std::lock_guard<std::mutex> guard(cwd_lock_);
  *out = cwd_.c_str();
}

int locked_fs_t::chdir(const char *path)
{
  if ( const int code = check_path(path); code != 0 )
    return code;
  std::string p(path);
  std::replace(p.begin(), p.end(), '\\', '/');
  std::lock_guard<std::mutex> guard(cwd_lock_);
  qstring next(is_absolute_path(p.c_str()) ? p : cwd_ + "/" + p);
  strip_trailing_slash(&next);
  cwd_ = next.c_str();
  return 0;
}

int locked_fs_t::check_path(const char *path)
{
  if ( site_root().empty() )
    return 0;
  qstring cwd;
  getcwd(&cwd);
  qstring resolved;
  return confine_text_path(&resolved, site_root().c_str(), cwd.c_str(), path);
}

mem_file_slot_t *locked_fs_t::find_entry(const std::string &path)
{
  const auto it = entries_.find(path);
  if ( it == entries_.end() )
    return nullptr;
  if ( it->second < 0 || uint64_t(it->second) >= slots_.size() )
    interr(2243);
  return slots_[size_t(it->second)].get();
}

int locked_fs_t::insert_entry(const std::string &path)
{
  if ( path.empty() )
    interr(2664);
  const auto hint = entries_.lower_bound(path);
  if ( hint != entries_.end() && hint->first == path )
    interr(2663);
  // Any key under "path/" makes path a directory, whatever sorts between them ("path.txt" does).
  const std::string below = path + "/";
  const auto first_below = entries_.lower_bound(below);
  if ( first_below != entries_.end() && first_below->first.compare(0, below.size(), below) == 0 )
    return arkive_errno_error(EISDIR, path.c_str());
  // Every directory of the path must not be a file.
  for ( size_t sep = path.find('/'); sep != std::string::npos; sep = path.find('/', sep + 1) )
    if ( entries_.count(path.substr(0, sep)) != 0 )
      return arkive_errno_error(EEXIST, path.c_str());
  auto slot = std::make_unique<mem_file_slot_t>();
  slot->serial = next_serial();
  entries_.emplace(path, int64_t(slots_.size()));
  slots_.push_back(std::move(slot));
  return 0;
}

int locked_fs_t::open(fs_file_t **out, const char *path, uint32_t flags)
{
  if ( const int code = check_path(path); code != 0 )
    return code;
  const bool write = (flags & FS_OPEN_WRITE) != 0;
  std::unique_ptr<rwlock_guard_t> guard;
  if ( (flags & FS_OPEN_LOCK_HELD) != 0 )
  {
    if ( write ? !lock_.held_exclusively_by_current_thread() : !lock_.held_by_current_thread() )
      interr(2708);
  }
  else
  {
    guard = std::make_unique<rwlock_guard_t>(lock_, "file:open", write ? rwlock_mode::exclusive : rwlock_mode::shared);
  }
  mem_file_slot_t *slot = find_entry(path);
  if ( write )
  {
    if ( slot != nullptr )
    {
      slot->serial = next_serial();
    }
    else
    {
      if ( const int code = insert_entry(path); code != 0 )
        return code;
      slot = find_entry(path);
    }
    slot->content.clear();
  }
  else if ( slot == nullptr )
  {
    return arkive_errno_error(ENOENT, path);
  }
  if ( guard != nullptr )
    guard->release(); // the new file's title goes to the progress sink without the lock
  *out = new mem_file_t(this, path, flags, slot);
  return 0;
}

int locked_fs_t::remove(const char *path, uint32_t flags)
{
  if ( const int code = check_path(path); code != 0 )
    return code;
  rwlock_guard_t guard(lock_, "file:del", rwlock_mode::exclusive);
  mem_file_slot_t *slot = find_entry(path);
  if ( slot == nullptr )
    return arkive_format_error(ARKIVE_FILE_NOT_FOUND, "%s", path);
  slot->content.release();
  entries_.erase(path);
  if ( (flags & FS_REMOVE_FORGET) != 0 )
  {
    if ( checksum_cache() == nullptr )
      interr(2599);
    checksum_cache()->forget(path);
  }
  return 0;
}

int locked_fs_t::add(const char *path)
{
  if ( const int code = check_path(path); code != 0 )
    return code;
  rwlock_guard_t guard(lock_, "file:add", rwlock_mode::exclusive);
  if ( find_entry(path) != nullptr )
    return arkive_errno_error(EEXIST, path);
  if ( const int code = insert_entry(path); code != 0 )
    return code;
  char text[16];
  const int length = std::snprintf(text, sizeof(text), "%d", int(generate_number()));
  byte_buffer_t &content = find_entry(path)->content;
  content.insert(0, reinterpret_cast<const uint8_t *>(text), reinterpret_cast<const uint8_t *>(text) + length);
  return 0;
}

int locked_fs_t::edit(const char *path)
{
  if ( const int code = check_path(path); code != 0 )
    return code;
  {
    rwlock_guard_t guard(lock_, "file:edit", rwlock_mode::exclusive);
    if ( mem_file_slot_t *slot = find_entry(path); slot != nullptr )
    {
      slot->serial = next_serial();
      qstring text(reinterpret_cast<const char *>(slot->content.data()), slot->content.size());
      replace_first_number(&text);
      slot->content.clear();
      slot->content.insert(0, reinterpret_cast<const uint8_t *>(text.c_str()),
                           reinterpret_cast<const uint8_t *>(text.c_str()) + text.size());
      return 0;
    }
  }
  return add(path);
}

bool locked_fs_t::is_dirpath(const char *path)
{
  if ( path == nullptr || *path == '\0' || check_path(path) != 0 )
    return false;
  const std::string p(path);
  if ( p.back() == '/' )
    return true;
  rwlock_guard_t guard(lock_, "file:is_dirpath", rwlock_mode::shared);
  const std::string below = p + "/";
  const auto first_below = entries_.lower_bound(below);
  return first_below != entries_.end() && first_below->first.compare(0, below.size(), below) == 0;
}

int locked_fs_t::stat(file_info_t *out, const char *path)
{
  if ( const int code = check_path(path); code != 0 )
    return code;
  std::unique_ptr<rwlock_guard_t> guard;
  if ( !lock_.held_by_current_thread() )
    guard = std::make_unique<rwlock_guard_t>(lock_, "file:stat", rwlock_mode::exclusive);
  const mem_file_slot_t *slot = find_entry(path);
  if ( slot == nullptr )
    return arkive_format_error(ARKIVE_FILE_NOT_FOUND, "%s", path);
  if ( out != nullptr )
  {
    *out = file_info_t{};
    out->size = int64_t(slot->content.size());
    out->modification_time = uint64_t(slot->serial);
    out->mode = 0x8000;
  }
  return 0;
}
