// File and directory operations over POSIX calls and standard I/O streams.
#include "core/file_ops.h"

#include "core/error_state.h"
#include "core/file_ops_p.h"
#include "core/internal_error.h"
#include "core/path_pattern.h"
#include "core/unicode.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

bool is_separator(char c)
{
  return c == '/' || c == '\\';
}

bool is_drive_letter(char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The error convention of this file: -1/null/false with errno and qerrno 1.
int fail_errno(int err)
{
  errno = err;
  qerrno_set(1);
  return -1;
}

void check_size(ptrdiff_t size)
{
  if ( size < 0 )
    interr(1225);
}

// Names must be well-formed UTF-8, and, as file names never hold them, without encoded surrogates.
bool is_strict_utf8(const char *text)
{
  const char *p = text;
  while ( *p != '\0' )
  {
    const uint32_t cp = utf8_next_char(&p);
    if ( cp == bad_code_point || (cp >= 0xD800 && cp <= 0xDFFF) )
      return false;
  }
  return true;
}

// Drops trailing separators from buf[0..*len), keeping a lone root separator; true when any was dropped.
bool strip_trailing_separators(char *buf, size_t *len)
{
  bool stripped = false;
  while ( *len > 1 && is_separator(buf[*len - 1]) )
  {
    --*len;
    stripped = true;
  }
  buf[*len] = '\0';
  return stripped;
}

uint64_t packed_from_timespec(const struct statx_timestamp &t)
{
  return pack_time(t.tv_sec, t.tv_nsec / 1000);
}

void dos_date_time(time_t t, uint16_t *date, uint16_t *tm)
{
  struct tm parts {};
  if ( localtime_r(&t, &parts) == nullptr )
  {
    *date = 0;
    *tm = 0;
    return;
  }
  int year = parts.tm_year + 1900;
  // The 7-bit year field holds 1980 to 2107.
  if ( year < 1980 )
  {
    *date = 1 * 32 + 1;
    *tm = 0;
    return;
  }
  if ( year > 2107 )
    year = 2107;
  *date = uint16_t((year - 1980) * 512 + (parts.tm_mon + 1) * 32 + parts.tm_mday);
  *tm = uint16_t(parts.tm_hour * 2048 + parts.tm_min * 32 + parts.tm_sec / 2);
}

// fopen with close-on-exec: launched programs never inherit the descriptor.
FILE *open_stream(const char *path, const char *mode)
{
  const native_path_t native(path);
  if ( !native.ok() )
  {
    qerrno_set(1);
    return nullptr;
  }
  char full_mode[24];
  size_t n = 0;
  for ( const char *m = mode; *m != '\0' && n < sizeof(full_mode) - 2; ++m )
  {
    if ( *m != 't' ) // text and binary streams are the same here
      full_mode[n++] = *m;
  }
  full_mode[n++] = 'e';
  full_mode[n] = '\0';
  FILE *fp = std::fopen(native.c_str(), full_mode);
  if ( fp == nullptr )
    qerrno_set(1);
  return fp;
}

// The absolute form of path as text: the working directory in front of a relative path, "." and empty
// segments dropped, ".." taking away the segment before it (never the root). False for an empty path or
// when the working directory is unknown.
bool resolve_full_path(const char *path, std::string *out)
{
  if ( *path == '\0' )
    return false;
  std::string prefix;
  std::string text;
  if ( is_absolute_path(path) )
  {
    if ( path[1] == ':' )
    {
      prefix.assign(path, 2);
      path += 2;
    }
    text = path;
  }
  else
  {
    char cwd[PATH_MAX];
    if ( getcwd(cwd, sizeof(cwd)) == nullptr )
      return false;
    text = std::string(cwd) + "/" + path;
  }
  prefix += '/';
  std::vector<std::string_view> parts;
  for ( size_t i = 0; i < text.size(); )
  {
    while ( i < text.size() && is_separator(text[i]) )
      ++i;
    size_t j = i;
    while ( j < text.size() && !is_separator(text[j]) )
      ++j;
    const std::string_view seg(text.data() + i, j - i);
    if ( seg == ".." )
    {
      if ( !parts.empty() )
        parts.pop_back();
    }
    else if ( !seg.empty() && seg != "." )
    {
      parts.push_back(seg);
    }
    i = j;
  }
  *out = prefix;
  for ( size_t k = 0; k < parts.size(); ++k )
  {
    if ( k > 0 )
      *out += '/';
    *out += parts[k];
  }
  if ( !parts.empty() && is_separator(text.back()) )
    *out += '/';
  return true;
}

// Frees what the C library allocated with malloc.
struct malloc_deleter_t
{
  void operator()(char *p) const { std::free(p); }
};

bool null_stream(FILE *fp)
{
  if ( fp != nullptr )
    return false;
  fail_errno(EBADF);
  return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// System form of paths

native_path_t::native_path_t(const char *path)
{
  if ( path == nullptr )
  {
    err_ = EFAULT;
    return;
  }
  if ( !is_strict_utf8(path) )
  {
    err_ = EILSEQ;
    return;
  }
  const size_t len = std::strlen(path);
  if ( len >= sizeof(text_) )
  {
    err_ = ENAMETOOLONG;
    return;
  }
  for ( size_t i = 0; i <= len; ++i )
    text_[i] = path[i] == '\\' ? '/' : path[i];
}

bool native_path_t::ok() const
{
  if ( err_ != 0 )
    errno = err_;
  return err_ == 0;
}

// ---------------------------------------------------------------------------------------------------------
// Path text

const char *path_file_name(const char *path)
{
  if ( path == nullptr )
    return nullptr;
  const char *name = nullptr;
  for ( const char *p = path; *p != '\0'; ++p )
  {
    if ( is_separator(*p) )
      name = p + 1;
  }
  if ( name != nullptr )
    return name;
  if ( path[0] != '\0' && path[1] == ':' )
    return path + 2;
  return path;
}

char *path_file_name(char *path)
{
  return const_cast<char *>(path_file_name(static_cast<const char *>(path)));
}

bool path_directory(char *buf, ptrdiff_t size, const char *path)
{
  if ( path == nullptr || (buf != nullptr && size < 2) )
    return false;
  const char *last = nullptr;
  for ( const char *p = path; *p != '\0'; ++p )
  {
    if ( is_separator(*p) )
      last = p;
  }
  size_t len = 0;
  if ( last == nullptr )
  {
    if ( !(is_drive_letter(path[0]) && path[1] == ':') )
    {
      if ( buf != nullptr )
        std::memcpy(buf, ".", 2);
      return false;
    }
    len = 2;
  }
  else
  {
    len = size_t(last - path);
    if ( len == 2 && is_drive_letter(path[0]) && path[1] == ':' )
      len = 3; // "C:/x": the drive root keeps its separator
    else if ( len == 0 )
      len = 1; // "/x": the lone root
  }
  if ( buf == nullptr )
    return true;
  if ( len > size_t(size) - 1 )
  {
    buf[0] = '\0';
    fail_errno(ENAMETOOLONG);
    return false;
  }
  std::memmove(buf, path, len);
  buf[len] = '\0';
  return true;
}

bool is_absolute_path(const char *path)
{
  if ( path == nullptr )
    return false;
  if ( is_drive_letter(path[0]) && path[1] == ':' )
    path += 2;
  return is_separator(path[0]);
}

namespace
{

// Joins first and the components that next() hands out until it answers null (see join_path).
template <typename Next>
char *join_components(char *buf, ptrdiff_t size, const char *first, Next next)
{
  check_size(size);
  if ( buf == nullptr )
    return nullptr;
  const size_t cap = size_t(size);
  const auto too_long = [&]() -> char * {
    if ( cap > 0 )
      buf[0] = '\0';
    fail_errno(ENAMETOOLONG);
    return nullptr;
  };
  if ( first == nullptr )
  {
    if ( cap == 0 )
      return too_long();
    buf[0] = '\0';
    return buf;
  }
  size_t len = std::strlen(first);
  if ( len >= cap )
    return too_long();
  if ( first != buf )
    std::memmove(buf, first, len + 1);
  bool stripped = strip_trailing_separators(buf, &len);
  for ( const char *c = next(); c != nullptr; c = next() )
  {
    while ( is_separator(*c) )
      ++c;
    size_t clen = std::strlen(c);
    while ( clen > 0 && is_separator(c[clen - 1]) )
    {
      --clen;
      stripped = true;
    }
    if ( clen == 0 )
    {
      stripped = true; // its separator would be written and stripped again
      continue;
    }
    // No separator after an empty text (nothing to join to) or after the root.
    const bool need_separator = len > 0 && !is_separator(buf[len - 1]);
    if ( len + (need_separator ? 1 : 0) + clen >= cap )
      return too_long();
    if ( need_separator )
      buf[len++] = '/';
    std::memmove(buf + len, c, clen);
    len += clen;
    buf[len] = '\0';
  }
  // A drive root stays a root.
  if ( stripped && len == 2 && is_drive_letter(buf[0]) && buf[1] == ':' )
  {
    if ( len + 1 >= cap )
      return too_long();
    buf[len++] = '/';
    buf[len] = '\0';
  }
  return buf;
}

} // namespace

char *join_path_list(char *buf, ptrdiff_t size, const char *first, const char *const *rest)
{
  return join_components(buf, size, first, [&rest]() -> const char * {
    return rest != nullptr && *rest != nullptr ? *rest++ : nullptr;
  });
}

char *join_path(char *buf, ptrdiff_t size, const char *first, ...)
{
  va_list va;
  va_start(va, first);
  char *result = join_components(buf, size, first, [&va]() { return va_arg(va, const char *); });
  va_end(va);
  return result;
}

char *set_path_extension(char *buf, ptrdiff_t size, const char *path, const char *ext)
{
  check_size(size);
  if ( buf == nullptr || path == nullptr )
    return nullptr;
  const size_t cap = size_t(size);
  const size_t len = std::strlen(path);
  const char *name = path_file_name(path);
  const char *dot = nullptr;
  for ( const char *p = name + (name[0] != '\0' ? 1 : 0); *p != '\0'; ++p )
  {
    if ( *p == '.' )
      dot = p;
  }
  if ( ext == nullptr )
    ext = "";
  if ( *ext == '.' )
    ++ext;
  const size_t keep = dot != nullptr ? size_t(dot - path) + 1 : len;
  const size_t elen = std::strlen(ext);
  const size_t total = keep + (dot != nullptr ? 0 : 1) + elen;
  if ( total >= cap )
  {
    if ( cap > 0 && buf != path )
      buf[0] = '\0';
    fail_errno(ENAMETOOLONG);
    return nullptr;
  }
  // ext may not lie inside buf; copy it first when it does.
  const std::string ext_copy(ext, elen);
  if ( buf != path )
    std::memmove(buf, path, keep);
  size_t pos = keep;
  if ( dot == nullptr )
    buf[pos++] = '.';
  std::memcpy(buf + pos, ext_copy.data(), elen);
  buf[pos + elen] = '\0';
  return buf;
}

char *full_path(char *buf, ptrdiff_t size, const char *path)
{
  check_size(size);
  if ( buf == nullptr || path == nullptr )
    return nullptr;
  const size_t cap = size_t(size);
  std::string absolute;
  if ( resolve_full_path(path, &absolute) && absolute.size() < cap )
  {
    std::memcpy(buf, absolute.c_str(), absolute.size() + 1);
    return buf;
  }
  const size_t len = std::strlen(path);
  if ( len >= cap )
  {
    fail_errno(ENAMETOOLONG);
    return nullptr;
  }
  if ( buf != path )
    std::memmove(buf, path, len + 1);
  return buf;
}

char *current_directory(char *buf, ptrdiff_t size)
{
  char cwd[PATH_MAX];
  if ( getcwd(cwd, sizeof(cwd)) == nullptr )
    fatal_printf("getcwd: %s", system_error_text(-1));
  if ( !is_strict_utf8(cwd) )
  {
    errno = EILSEQ;
    fatal_printf("getcwd: %s", system_error_text(-1));
  }
  const size_t len = std::strlen(cwd);
  if ( buf == nullptr || size < 1 || len >= size_t(size) - 1 )
  {
    errno = ERANGE;
    fatal_printf("getcwd: %s", system_error_text(-1));
  }
  std::memcpy(buf, cwd, len + 1);
  return buf;
}

// ---------------------------------------------------------------------------------------------------------
// File system

bool file_exists(const char *path)
{
  const native_path_t native(path);
  struct stat st {};
  return native.ok() && stat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool is_directory(const char *path)
{
  const native_path_t native(path);
  struct stat st {};
  return native.ok() && stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int make_directory(const char *path, int /*mode*/)
{
  const native_path_t native(path);
  if ( !native.ok() || mkdir(native.c_str(), 0777) != 0 )
    return fail_errno(errno);
  return 0;
}

int delete_file(const char *path)
{
  const native_path_t native(path);
  if ( !native.ok() || unlink(native.c_str()) != 0 )
    return fail_errno(errno);
  return 0;
}

int rename_file(const char *old_path, const char *new_path)
{
  const native_path_t from(old_path);
  const native_path_t to(new_path);
  if ( !from.ok() || !to.ok() )
    return fail_errno(errno);
  // Atomic: the target is replaced in one step, never deleted first.
  if ( rename(from.c_str(), to.c_str()) != 0 )
    return fail_errno(errno);
  return 0;
}

namespace {

// One statx call, relative to dir (the whole call when path is ""), into info (may be null).
int statx_into(int dir, const char *path, int flags, file_info_t *info)
{
  struct statx st {};
  if ( statx(dir, path, flags, STATX_BASIC_STATS | STATX_BTIME, &st) != 0 )
    return -1;
  if ( info != nullptr )
  {
    *info = file_info_t {};
    info->device = (uint64_t(st.stx_dev_major) << 32) | st.stx_dev_minor;
    info->inode = uint32_t(st.stx_ino);
    info->mode = st.stx_mode;
    info->link_count = int32_t(st.stx_nlink);
    info->user_id = int32_t(st.stx_uid);
    info->group_id = int32_t(st.stx_gid);
    info->special_device = (uint64_t(st.stx_rdev_major) << 32) | st.stx_rdev_minor;
    info->size = int64_t(st.stx_size);
    info->access_time = packed_from_timespec(st.stx_atime);
    info->modification_time = packed_from_timespec(st.stx_mtime);
    info->creation_time = packed_from_timespec((st.stx_mask & STATX_BTIME) != 0 ? st.stx_btime : st.stx_ctime);
  }
  return 0;
}

} // namespace

int file_stat(const char *path, file_info_t *info)
{
  const native_path_t native(path);
  if ( !native.ok() )
    return -1;
  return statx_into(AT_FDCWD, native.c_str(), 0, info);
}

int file_stat(FILE *fp, file_info_t *info)
{
  if ( fp == nullptr )
  {
    errno = EBADF;
    return -1;
  }
  return statx_into(fileno(fp), "", AT_EMPTY_PATH, info);
}

dir_scan_t::~dir_scan_t()
{
  dir_scan_close(this);
}

int dir_scan_first(const char *pattern, dir_scan_t *scan, uint32_t filter)
{
  dir_scan_close(scan);
  scan->filter = filter;
  const native_path_t native(pattern);
  if ( !native.ok() )
    return fail_errno(errno);
  const char *name = path_file_name(native.c_str());
  const std::string dir = name == native.c_str() ? std::string(".") : std::string(native.c_str(), name);
  DIR *handle = opendir(dir.c_str());
  if ( handle == nullptr )
    return fail_errno(errno);
  scan->handle = handle;
  scan->pattern = name;
  if ( dir_scan_next(scan) == 0 )
    return 0;
  const int err = errno;
  dir_scan_close(scan);
  return fail_errno(err);
}

int dir_scan_next(dir_scan_t *scan)
{
  DIR *handle = static_cast<DIR *>(scan->handle);
  if ( handle == nullptr )
  {
    errno = EBADF;
    return -1;
  }
  for ( ;; )
  {
    errno = 0;
    const struct dirent *entry = readdir(handle);
    if ( entry == nullptr )
    {
      if ( errno == 0 )
        errno = ENOENT;
      return -1;
    }
    // A name that is not UTF-8 could not be named by any path of the program: leave it out.
    if ( !is_strict_utf8(entry->d_name) || !star_pattern_match(entry->d_name, scan->pattern.c_str()) )
      continue;
    struct stat st {};
    if ( fstatat(dirfd(handle), entry->d_name, &st, 0) != 0 &&
         fstatat(dirfd(handle), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 )
    {
      continue; // gone meanwhile
    }
    const bool is_dir = S_ISDIR(st.st_mode);
    if ( is_dir && (scan->filter & DIR_ATTR_SUBDIR) == 0 )
      continue;
    scan->attributes = (is_dir ? DIR_ATTR_SUBDIR : 0) | ((st.st_mode & S_IWUSR) == 0 ? DIR_ATTR_READONLY : 0);
    std::memcpy(scan->name, entry->d_name, std::strlen(entry->d_name) + 1);
    scan->size = int64_t(st.st_size);
    dos_date_time(st.st_mtim.tv_sec, &scan->dos_date, &scan->dos_time);
    return 0;
  }
}

void dir_scan_close(dir_scan_t *scan)
{
  if ( scan->handle != nullptr )
  {
    closedir(static_cast<DIR *>(scan->handle));
    scan->handle = nullptr;
  }
}

// ---------------------------------------------------------------------------------------------------------
// Streams

FILE *file_open_read(const char *path)
{
  return open_stream(path, "rb");
}

FILE *file_open_text(const char *path)
{
  return open_stream(path, "r");
}

FILE *file_open_update(const char *path)
{
  return open_stream(path, "rb+");
}

FILE *file_open_write(const char *path)
{
  return open_stream(path, "wb");
}

FILE *file_open_append(const char *path)
{
  return open_stream(path, "a");
}

FILE *file_open_mode(const char *path, const char *mode)
{
  if ( mode == nullptr || std::strlen(mode) > 18 )
  {
    fail_errno(EINVAL);
    return nullptr;
  }
  return open_stream(path, mode);
}

FILE *file_create_exclusive(const char *path)
{
  const native_path_t native(path);
  if ( !native.ok() )
  {
    qerrno_set(1);
    return nullptr;
  }
  const int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if ( fd < 0 )
  {
    qerrno_set(1);
    return nullptr;
  }
  FILE *fp = fdopen(fd, "wb");
  if ( fp == nullptr )
  {
    const int err = errno;
    close(fd);
    unlink(native.c_str());
    fail_errno(err);
  }
  return fp;
}

int file_close(FILE *fp)
{
  if ( null_stream(fp) )
    return -1;
  const int rc = std::fclose(fp);
  if ( rc != 0 )
    qerrno_set(1);
  return rc;
}

ptrdiff_t file_read(FILE *fp, void *buf, ptrdiff_t n)
{
  check_size(n);
  if ( null_stream(fp) )
    return -1;
  if ( n == 0 )
    return 0;
  const size_t got = std::fread(buf, 1, size_t(n), fp);
  if ( got < size_t(n) )
    qerrno_set(std::feof(fp) ? 3 : 1);
  return ptrdiff_t(got);
}

ptrdiff_t file_write(FILE *fp, const void *buf, ptrdiff_t n)
{
  check_size(n);
  if ( null_stream(fp) )
    return -1;
  if ( n == 0 )
    return 0;
  const size_t put = std::fwrite(buf, 1, size_t(n), fp);
  if ( put < size_t(n) )
    qerrno_set(put > 0 ? 2 : 1);
  return ptrdiff_t(put);
}

int file_seek(FILE *fp, int64_t offset, int origin)
{
  if ( null_stream(fp) )
    return -1;
  const int rc = fseeko(fp, off_t(offset), origin);
  if ( rc != 0 )
    qerrno_set(1);
  return rc;
}

int64_t file_tell(FILE *fp)
{
  if ( null_stream(fp) )
    return -1;
  const off_t pos = ftello(fp);
  if ( pos < 0 )
    qerrno_set(1);
  return int64_t(pos);
}

int64_t file_size(FILE *fp)
{
  if ( fp == nullptr )
    interr(552);
  const off_t pos = ftello(fp);
  if ( pos < 0 || fseeko(fp, 0, SEEK_END) != 0 )
    return fail_errno(errno);
  const off_t size = ftello(fp);
  if ( fseeko(fp, pos, SEEK_SET) != 0 || size < 0 )
    return fail_errno(errno);
  return int64_t(size);
}

int file_commit(FILE *fp)
{
  if ( null_stream(fp) )
    return -1;
  if ( std::fflush(fp) != 0 || fsync(fileno(fp)) != 0 )
  {
    qerrno_set(1);
    return -1;
  }
  return 0;
}

int file_putc(int c, FILE *fp)
{
  if ( null_stream(fp) )
    return -1;
  return std::fputc(c, fp);
}

int file_puts(const char *text, FILE *fp)
{
  if ( null_stream(fp) )
    return -1;
  return std::fputs(text, fp);
}

ptrdiff_t file_read_line(qstring *out, FILE *fp)
{
  out->clear();
  if ( null_stream(fp) )
    return -1;
  // getdelim copies whole runs out of the stream's buffer, NUL bytes included: far cheaper than a byte at a
  // time. A read error after some bytes ends the line there, as the end of the file does.
  char *line = nullptr;
  size_t capacity = 0;
  const ssize_t got = getdelim(&line, &capacity, '\n', fp);
  const std::unique_ptr<char, malloc_deleter_t> owned(line);
  if ( got <= 0 )
  {
    if ( std::ferror(fp) != 0 )
    {
      qerrno_set(1);
      return -1;
    }
    if ( std::feof(fp) != 0 )
      return -1;
    throw std::bad_alloc(); // the only other failure: no memory for the line
  }
  const size_t length = size_t(got) - (line[got - 1] == '\n' ? 1 : 0);
  out->assign(line, length);
  return ptrdiff_t(length);
}

bool byte_buffer_next_line(const byte_buffer_t &buf, qstring *out, size_t *pos)
{
  const size_t size = buf.size();
  if ( *pos >= size )
    return false;
  const char *data = reinterpret_cast<const char *>(buf.data());
  const size_t start = *pos;
  size_t end = start;
  while ( end < size && data[end] != '\n' )
    ++end;
  size_t line_end = end;
  if ( end < size && line_end > start && data[line_end - 1] == '\r' )
    --line_end;
  out->assign(data + start, line_end - start);
  *pos = end < size ? end + 1 : size;
  return true;
}
