// The user's credential file: a private text file of targets, users and hex-coded secrets.
#include "platform/generic_credentials.h"

#include "platform/private_files.h"
#include "platform/registry_store.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// First line of the file; a later format gets a new number.
constexpr std::string_view file_header = "Quorvin credentials 1";

constexpr char hex_digits[] = "0123456789abcdef";

int hex_value(char c)
{
  if ( c >= '0' && c <= '9' )
    return c - '0';
  if ( c >= 'a' && c <= 'f' )
    return c - 'a' + 10;
  return -1;
}

// Texts are kept readable: only the bytes that would break the line format (controls, DEL and '%') become
// "%xx".
void append_escaped(std::string &out, std::string_view text)
{
  for ( const char c : text )
  {
    const auto b = static_cast<unsigned char>(c);
    if ( b < 0x20 || b == 0x7F || c == '%' )
    {
      out += '%';
      out += hex_digits[b >> 4];
      out += hex_digits[b & 15];
    }
    else
    {
      out += c;
    }
  }
}

bool unescape(std::string_view field, std::string &out)
{
  out.clear();
  for ( std::size_t i = 0; i < field.size(); ++i )
  {
    const auto b = static_cast<unsigned char>(field[i]);
    if ( b < 0x20 || b == 0x7F )
      return false;
    if ( field[i] != '%' )
    {
      out += field[i];
      continue;
    }
    if ( i + 2 >= field.size() )
      return false;
    const int hi = hex_value(field[i + 1]);
    const int lo = hex_value(field[i + 2]);
    if ( hi < 0 || lo < 0 )
      return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

bool decode_hex(std::string_view field, std::vector<std::uint8_t> &out)
{
  out.clear();
  if ( field.size() % 2 != 0 )
    return false;
  out.reserve(field.size() / 2);
  for ( std::size_t i = 0; i < field.size(); i += 2 )
  {
    const int hi = hex_value(field[i]);
    const int lo = hex_value(field[i + 1]);
    if ( hi < 0 || lo < 0 )
      return false;
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return true;
}

using credential_list_t = std::vector<generic_credential_t>;

std::string to_text(const credential_list_t &list)
{
  std::string text(file_header);
  text += '\n';
  for ( const generic_credential_t &c : list )
  {
    append_escaped(text, c.target);
    text += '\t';
    append_escaped(text, c.user);
    text += '\t';
    for ( const std::uint8_t b : c.secret )
    {
      text += hex_digits[b >> 4];
      text += hex_digits[b & 15];
    }
    text += '\n';
  }
  return text;
}

// The whole file or nothing: one bad line makes the file unreadable, so that a write never drops what it
// could not understand.
bool from_text(std::string_view text, credential_list_t &list)
{
  list.clear();
  if ( text.empty() )
    return true;
  if ( text.back() != '\n' )
    return false;
  text.remove_suffix(1);
  std::size_t end = text.find('\n');
  if ( text.substr(0, end) != file_header )
    return false;
  while ( end != std::string_view::npos )
  {
    const std::size_t start = end + 1;
    end = text.find('\n', start);
    const std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
    const std::size_t tab1 = line.find('\t');
    const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
    if ( tab2 == std::string_view::npos || line.find('\t', tab2 + 1) != std::string_view::npos )
      return false;
    generic_credential_t c;
    if ( !unescape(line.substr(0, tab1), c.target) || c.target.empty()
      || !unescape(line.substr(tab1 + 1, tab2 - tab1 - 1), c.user) || !decode_hex(line.substr(tab2 + 1), c.secret) )
      return false;
    for ( const generic_credential_t &earlier : list )
      if ( earlier.target == c.target )
        return false;
    list.push_back(std::move(c));
  }
  return true;
}

// Holds the cross-process lock for one operation.
class file_lock_t
{
public:
  file_lock_t() = default;
  ~file_lock_t()
  {
    if ( fd_ >= 0 )
      close(fd_); // closing the last descriptor of the open file releases the lock
  }
  file_lock_t(const file_lock_t &) = delete;
  file_lock_t &operator=(const file_lock_t &) = delete;

  int acquire(const std::string &dir, const std::string &path, bool exclusive)
  {
    if ( int rc = make_private_dirs(dir); rc != 0 )
      return rc;
    // Someone may remove the folder meanwhile; a lock on a file that is no longer there excludes nobody.
    for ( int attempt = 0; attempt < 100; ++attempt )
    {
      fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
      if ( fd_ < 0 )
        return errno;
      while ( flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0 )
        if ( errno != EINTR )
          return errno;
      struct stat held;
      struct stat named;
      if ( fstat(fd_, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev
        && held.st_ino == named.st_ino )
        return 0;
      close(fd_);
      fd_ = -1;
      if ( int rc = make_private_dirs(dir); rc != 0 )
        return rc;
    }
    return EAGAIN;
  }

private:
  int fd_ = -1;
};

int load(const std::string &path, credential_list_t &list)
{
  list.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if ( fd < 0 )
    return errno == ENOENT ? 0 : errno;
  std::string text;
  const int rc = read_all(fd, text);
  close(fd);
  if ( rc != 0 )
    return rc;
  return from_text(text, list) ? 0 : EBADMSG;
}

int save(const std::string &dir, const std::string &path, const std::string &temp_path, const credential_list_t &list)
{
  // Only the holder of the exclusive lock writes the temporary file, so a fixed name cannot collide; one left
  // behind by a killed writer is removed first.
  if ( unlink(temp_path.c_str()) != 0 && errno != ENOENT )
    return errno;
  const int fd = open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if ( fd < 0 )
    return errno;
  int rc = write_all(fd, to_text(list));
  if ( rc == 0 && fsync(fd) != 0 )
    rc = errno;
  if ( close(fd) != 0 && rc == 0 )
    rc = errno;
  if ( rc == 0 && rename(temp_path.c_str(), path.c_str()) != 0 )
    rc = errno;
  if ( rc != 0 )
  {
    unlink(temp_path.c_str());
    return rc;
  }
  // The rename itself must reach the disk before the change counts as made.
  const int dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if ( dir_fd >= 0 )
  {
    fsync(dir_fd);
    close(dir_fd);
  }
  return 0;
}

std::optional<std::size_t> find_target(const credential_list_t &list, std::string_view target)
{
  for ( std::size_t i = 0; i < list.size(); ++i )
    if ( list[i].target == target )
      return i;
  return std::nullopt;
}

// Takes the lock (exclusive for a change) and reads the list under it.
int lock_and_load(file_lock_t &lock, const std::string &dir, const std::string &lock_path, const std::string &file_path,
                  bool exclusive, credential_list_t &list)
{
  if ( int rc = lock.acquire(dir, lock_path, exclusive); rc != 0 )
    return rc;
  return load(file_path, list);
}

} // namespace

std::string generic_credential_file_t::default_dir(std::string_view xdg_config_home, std::string_view home)
{
  return registry_store_t::default_dir(xdg_config_home, home);
}

generic_credential_file_t::generic_credential_file_t(std::string dir)
  : dir_(std::move(dir)),
    file_path_(dir_ + "/credentials"),
    lock_path_(dir_ + "/credentials.lock"),
    temp_path_(dir_ + "/credentials.tmp")
{
}

int generic_credential_file_t::read(std::string_view target, generic_credential_t *out) const
{
  file_lock_t lock;
  credential_list_t list;
  if ( int rc = lock_and_load(lock, dir_, lock_path_, file_path_, false, list); rc != 0 )
    return rc;
  const std::optional<std::size_t> at = find_target(list, target);
  if ( !at )
    return ENOKEY;
  *out = std::move(list[*at]);
  return 0;
}

int generic_credential_file_t::write(const generic_credential_t &credential) const
{
  if ( credential.target.empty() )
    return EINVAL;
  file_lock_t lock;
  credential_list_t list;
  if ( int rc = lock_and_load(lock, dir_, lock_path_, file_path_, true, list); rc != 0 )
    return rc;
  if ( const std::optional<std::size_t> at = find_target(list, credential.target) )
    list[*at] = credential;
  else
    list.push_back(credential);
  return save(dir_, file_path_, temp_path_, list);
}

int generic_credential_file_t::remove(std::string_view target) const
{
  file_lock_t lock;
  credential_list_t list;
  if ( int rc = lock_and_load(lock, dir_, lock_path_, file_path_, true, list); rc != 0 )
    return rc;
  const std::optional<std::size_t> at = find_target(list, target);
  if ( !at )
    return ENOKEY;
  list.erase(list.begin() + static_cast<std::ptrdiff_t>(*at));
  return save(dir_, file_path_, temp_path_, list);
}
