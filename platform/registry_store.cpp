// The per-user registry store: one text file of typed settings shared by every process of the user.
#include "platform/registry_store.h"

#include "platform/private_files.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::size_t counter_bytes = sizeof(std::uint64_t);

std::string without_trailing_slashes(std::string_view path)
{
  while ( path.size() > 1 && path.back() == '/' )
    path.remove_suffix(1);
  return std::string(path);
}

std::int64_t nanoseconds(const timespec &t)
{
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

std::string registry_store_t::default_dir(std::string_view xdg_config_home, std::string_view home)
{
  std::string config;
  if ( !xdg_config_home.empty() && xdg_config_home.front() == '/' )
    config = without_trailing_slashes(xdg_config_home);
  else
  {
    std::string home_dir;
    if ( !home.empty() && home.front() == '/' )
      home_dir = without_trailing_slashes(home);
    else
    {
      passwd pw{};
      passwd *found = nullptr;
      std::string buf(16384, '\0');
      if ( getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr
        && found->pw_dir != nullptr && found->pw_dir[0] == '/' )
        home_dir = without_trailing_slashes(found->pw_dir);
    }
    if ( home_dir.empty() )
      return {};
    config = home_dir == "/" ? "/.config" : home_dir + "/.config";
  }
  return config == "/" ? "/Quorvin" : config + "/Quorvin";
}

registry_store_t::registry_store_t(std::string dir)
  : dir_(without_trailing_slashes(dir)),
    file_path_(dir_ + "/registry"),
    lock_path_(dir_ + "/registry.lock"),
    temp_path_(dir_ + "/registry.new"),
    bad_path_(dir_ + "/registry.bad")
{
}

registry_store_t::~registry_store_t()
{
  if ( in_operation_ )
    end();
  close_lock();
}

int registry_store_t::open_lock()
{
  if ( dir_.empty() )
    return ENOENT;
  // The longest of the four names must fit an OS path buffer; a path is never cut short.
  if ( bad_path_.size() >= PATH_MAX || temp_path_.size() >= PATH_MAX || lock_path_.size() >= PATH_MAX )
    return ENAMETOOLONG;
  if ( int rc = make_private_dirs(dir_); rc != 0 )
    return rc;
  const int fd = open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if ( fd < 0 )
    return errno;
  struct stat st;
  // The file only ever grows to hold the counter, so a mapping in another process never loses its page.
  if ( fstat(fd, &st) != 0 || (st.st_size < static_cast<off_t>(counter_bytes) && ftruncate(fd, counter_bytes) != 0) )
  {
    const int rc = errno;
    close(fd);
    return rc;
  }
  void *map = mmap(nullptr, counter_bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if ( map == MAP_FAILED )
  {
    const int rc = errno;
    close(fd);
    return rc;
  }
  lock_fd_ = fd;
  lock_pid_ = getpid();
  counter_ = static_cast<std::uint64_t *>(map);
  return 0;
}

void registry_store_t::close_lock()
{
  release();
  if ( counter_ != nullptr )
    munmap(counter_, counter_bytes);
  counter_ = nullptr;
  if ( lock_fd_ >= 0 )
    close(lock_fd_);
  lock_fd_ = -1;
}

int registry_store_t::acquire()
{
  // A forked child shares the parent's open lock file, and with it the parent's lock: it needs its own.
  if ( lock_fd_ >= 0 && lock_pid_ != getpid() )
  {
    locked_ = false;
    close_lock();
  }
  // Someone may remove the folder while we run; a lock on a file that is no longer there excludes nobody.
  for ( int attempt = 0; attempt < 100; ++attempt )
  {
    if ( lock_fd_ < 0 )
    {
      if ( int rc = open_lock(); rc != 0 )
        return rc;
      loaded_ = false;
    }
    while ( flock(lock_fd_, LOCK_EX) != 0 )
      if ( errno != EINTR )
        return errno;
    locked_ = true;
    struct stat held;
    struct stat named;
    if ( fstat(lock_fd_, &held) == 0 && stat(lock_path_.c_str(), &named) == 0 && held.st_dev == named.st_dev
      && held.st_ino == named.st_ino )
      return 0;
    close_lock();
  }
  return EAGAIN;
}

void registry_store_t::release()
{
  if ( locked_ )
    flock(lock_fd_, LOCK_UN);
  locked_ = false;
}

std::uint64_t registry_store_t::shared_counter() const
{
  return std::atomic_ref<std::uint64_t>(*counter_).load(std::memory_order_acquire);
}

std::uint64_t registry_store_t::advance_counter()
{
  return std::atomic_ref<std::uint64_t>(*counter_).fetch_add(1, std::memory_order_acq_rel) + 1;
}

int registry_store_t::refresh()
{
  file_id_t id;
  struct stat st;
  if ( stat(file_path_.c_str(), &st) == 0 )
    id = {true, st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
  else if ( errno != ENOENT )
    return errno;
  // The counter says whether a process of ours wrote; the file's identity catches anyone else.
  if ( loaded_ && loaded_counter_ == shared_counter() && id == loaded_file_ )
    return 0;
  return load(id);
}

int registry_store_t::load(file_id_t &id)
{
  registry_tree_t fresh;
  if ( id.exists )
  {
    const int fd = open(file_path_.c_str(), O_RDONLY | O_CLOEXEC);
    if ( fd < 0 && errno != ENOENT )
      return errno;
    if ( fd < 0 )
      id = {};
    else
    {
      std::string text;
      struct stat st;
      int rc = read_all(fd, text);
      if ( rc == 0 && fstat(fd, &st) != 0 )
        rc = errno;
      close(fd);
      if ( rc != 0 )
        return rc;
      id = {true, st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
      std::string why;
      if ( !registry_tree_t::from_text(text, fresh, why) )
      {
        // Keep the unreadable file for the user rather than write over it, and start afresh.
        if ( rename(file_path_.c_str(), bad_path_.c_str()) != 0 )
          return errno;
        recovery_report_ = "The settings store \"" + file_path_ + "\" could not be read (" + why
                         + "); it was moved to \"" + bad_path_ + "\" and a new store was started.";
        id = {};
        advance_counter();
      }
    }
  }
  tree_ = std::move(fresh);
  loaded_file_ = id;
  loaded_counter_ = shared_counter();
  loaded_ = true;
  return 0;
}

int registry_store_t::write_out()
{
  const std::string text = tree_.to_text();
  if ( unlink(temp_path_.c_str()) != 0 && errno != ENOENT )
    return errno;
  // Only the lock holder writes the temporary file, so a fixed name cannot collide; one left behind by a
  // killed writer was just removed.
  const int fd = open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if ( fd < 0 )
    return errno;
  int rc = write_all(fd, text);
  if ( rc == 0 && fsync(fd) != 0 )
    rc = errno;
  if ( rc == 0 )
  {
    // Advanced before the rename: a reader that sees the new count waits for our lock and then reads the
    // finished file, even when this process dies before it could rename.
    loaded_counter_ = advance_counter();
    if ( rename(temp_path_.c_str(), file_path_.c_str()) != 0 )
      rc = errno;
  }
  // Identity taken after the rename, which changes the file's status time.
  struct stat st;
  if ( rc == 0 && fstat(fd, &st) != 0 )
    rc = errno;
  close(fd);
  if ( rc != 0 )
  {
    unlink(temp_path_.c_str());
    return rc;
  }
  loaded_file_ = {true, st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
  return 0;
}

int registry_store_t::begin(bool write)
{
  if ( in_operation_ )
    return EINVAL;
  int rc = 0;
  if ( write )
  {
    rc = acquire();
    if ( rc == 0 )
      rc = refresh();
  }
  else if ( !loaded_ || counter_ == nullptr || shared_counter() != loaded_counter_ )
  {
    // Loading takes the lock so that a writer in the middle of a change finishes first.
    rc = acquire();
    if ( rc == 0 )
      rc = refresh();
    release();
  }
  if ( rc != 0 )
  {
    release();
    return rc;
  }
  in_operation_ = true;
  dirty_ = false;
  return 0;
}

int registry_store_t::end()
{
  if ( !in_operation_ )
    return 0;
  int rc = 0;
  if ( dirty_ )
  {
    rc = write_out();
    if ( rc != 0 )
      loaded_ = false;
  }
  release();
  in_operation_ = false;
  dirty_ = false;
  return rc;
}

void registry_store_t::abandon()
{
  if ( dirty_ )
    loaded_ = false;
  release();
  in_operation_ = false;
  dirty_ = false;
}

int registry_store_t::prepare_change()
{
  if ( !in_operation_ )
    return EINVAL;
  if ( locked_ )
    return 0;
  int rc = acquire();
  if ( rc == 0 )
    rc = refresh();
  if ( rc != 0 )
    release();
  return rc;
}

bool registry_store_t::key_exists(std::string_view path) const
{
  return tree_.find_key(path) != nullptr;
}

int registry_store_t::create_key(std::string_view path, bool &created)
{
  created = false;
  if ( path.find_first_not_of('\\') == std::string_view::npos )
    return EINVAL;
  if ( tree_.find_key(path) != nullptr )
    return 0;
  if ( int rc = prepare_change(); rc != 0 )
    return rc;
  if ( tree_.create_key(path, created) == nullptr )
    return EINVAL;
  dirty_ = dirty_ || created;
  return 0;
}

const registry_value_t *registry_store_t::find_value(std::string_view path, std::string_view name) const
{
  const registry_key_t *key = tree_.find_key(path);
  return key == nullptr ? nullptr : key->value(name);
}

int registry_store_t::set_value(std::string_view path, std::string_view name, registry_value_t value)
{
  if ( int rc = prepare_change(); rc != 0 )
    return rc;
  registry_key_t *key = tree_.find_key(path);
  if ( key == nullptr )
    return ENOENT;
  if ( const registry_value_t *old = key->value(name); old != nullptr && *old == value )
    return 0;
  if ( int rc = key->set_value(name, std::move(value)); rc != 0 )
    return rc;
  dirty_ = true;
  return 0;
}

int registry_store_t::remove_value(std::string_view path, std::string_view name)
{
  if ( int rc = prepare_change(); rc != 0 )
    return rc;
  registry_key_t *key = tree_.find_key(path);
  if ( key == nullptr || !key->remove_value(name) )
    return ENOENT;
  dirty_ = true;
  return 0;
}

int registry_store_t::remove_key(std::string_view path, bool tree)
{
  if ( int rc = prepare_change(); rc != 0 )
    return rc;
  const int rc = tree_.remove_key(path, tree);
  dirty_ = dirty_ || rc == 0;
  return rc;
}

int registry_store_t::list_names(std::string_view path, bool subkeys, std::vector<std::string> &out) const
{
  const registry_key_t *key = tree_.find_key(path);
  if ( key == nullptr )
    return ENOENT;
  if ( subkeys )
    for ( const auto &entry : key->subkeys() )
      out.push_back(entry.first);
  else
    for ( const auto &entry : key->values() )
      out.push_back(entry.first);
  return 0;
}

std::string registry_store_t::take_recovery_report()
{
  return std::exchange(recovery_report_, std::string());
}
