// The process file system and its open files: temporary-and-rename writes, exclusive creation.
#include "repo/plain_fs.h"

#include "core/error_state.h"
#include "core/file_ops.h"
#include "core/internal_error.h"
#include "repo/arkive_errors.h"
#include "repo/error_detail.h"
#include "repo/fs_file_base_p.h"
#include "repo/generated_content.h"
#include "repo/local_directories.h"
#include "repo/md5_cache.h"
#include "repo/site_confinement.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Fresh temporary names tried before giving up: each collision takes a new number.
constexpr int temp_name_attempts = 100;

// The temporary beside os_path: its file-name part replaced by "arkive<N>.tmp". Null when it does not
// fit (ENAMETOOLONG).
const char *temp_path_beside(char (&buf)[PATH_MAX], const char *os_path)
{
  const uint32_t number = uint32_t(std::rand() % 1000) + uint32_t(std::time(nullptr)) * 1000u;
  const char *name = path_file_name(os_path);
  const int written =
    std::snprintf(buf, sizeof(buf), "%.*s" "arkive%u.tmp", int(name - os_path), os_path, unsigned(number));
  if ( written < 0 || size_t(written) >= sizeof(buf) )
  {
    errno = ENAMETOOLONG;
    return nullptr;
  }
  return buf;
}

// Creates a temporary beside os_path exclusively: the stream, and its name in buf; null on failure.
FILE *create_temp_beside(char (&buf)[PATH_MAX], const char *os_path)
{
  for ( int attempt = 0; attempt < temp_name_attempts; ++attempt )
  {
    if ( temp_path_beside(buf, os_path) == nullptr )
      return nullptr;
    FILE *fp = file_create_exclusive(buf);
    if ( fp != nullptr || errno != EEXIST )
      return fp;
  }
  return nullptr;
}

// The text of the thread's current error, for "%s: %s" details.
const char *current_error_text()
{
  return error_code_text(-1);
}

// A file of the process file system. Writing an existing file goes to a temporary (stream_), while the
// target stays open and untouched (target_) until a committed close renames the temporary over it.
class process_file_t final : public fs_file_base_t
{
public:
  process_file_t(process_fs_t *owner, const char *path, uint32_t flags, const qstring &os_path, FILE *stream,
                 FILE *target, const char *temp_path)
    : fs_file_base_t(owner, path, flags), fs_(owner), os_path_(os_path), stream_(stream), target_(target),
      temp_path_(temp_path)
  {
  }

  int read(uint64_t *n, void *buf) override;
  int write(uint64_t *n, const void *bytes) override;
  int64_t seek(uint64_t offset) override { return file_seek(stream_, int64_t(offset), SEEK_SET); }
  uint64_t tell() override { return uint64_t(file_tell(stream_)); }
  int close(bool commit) override;

private:
  ~process_file_t() override
  {
    if ( stream_ != nullptr || target_ != nullptr )
      interr(2606);
  }
  int finish_temporary(bool commit);
  // Whether a committed close waits until the bytes are on the disk.
  bool durable() const { return (flags_ & (FS_OPEN_NO_SYNC | FS_OPEN_SYNC_LATER)) == 0; }
  int finish_direct(bool commit);

  process_fs_t *fs_;  // the owner
  qstring os_path_;   // the path the system was given
  FILE *stream_;      // read from or written to
  FILE *target_;      // the existing target while a temporary is written; null otherwise
  qstring temp_path_; // empty without a temporary
};

int process_file_t::read(uint64_t *n, void *buf)
{
  const ptrdiff_t wanted = *n > uint64_t(PTRDIFF_MAX) ? PTRDIFF_MAX : ptrdiff_t(*n);
  const ptrdiff_t got = file_read(stream_, buf, wanted);
  *n = uint64_t(got < 0 ? 0 : got);
  if ( got < wanted && qerrno_get() != 3 )
    return arkive_format_error(ARKIVE_MESSAGE, "%s: %s", path_.c_str(), current_error_text());
  if ( *n == 0 )
    return 0;
  return account(buf, *n);
}

int process_file_t::write(uint64_t *n, const void *bytes)
{
  const int answer = account(bytes, *n);
  if ( answer != 0 )
    return answer;
  const ptrdiff_t wanted = *n > uint64_t(PTRDIFF_MAX) ? PTRDIFF_MAX : ptrdiff_t(*n);
  const ptrdiff_t written = file_write(stream_, bytes, wanted);
  if ( written == wanted && uint64_t(wanted) == *n )
    return 0;
  *n = uint64_t(written < 0 ? 0 : written);
  return arkive_format_error(ARKIVE_MESSAGE, "%s: %s", path_.c_str(), current_error_text());
}

// The temporary takes the target's place only when all its bytes reached the disk; otherwise it goes.
int process_file_t::finish_temporary(bool commit)
{
  int code = 0;
  const bool flushed = !commit || !durable() || file_commit(stream_) == 0;
  const bool closed = file_close(stream_) == 0;
  stream_ = nullptr;
  file_close(target_);
  target_ = nullptr;
  if ( commit && flushed && closed )
  {
    if ( rename_file(temp_path_.c_str(), os_path_.c_str()) != 0 )
      code = arkive_errno_error(-1, path_.c_str()); // the temporary stays, under its own name
  }
  else
  {
    if ( commit )
      code = arkive_errno_error(-1, temp_path_.c_str());
    (void)delete_file(temp_path_.c_str()); // best effort: a leftover temporary is harmless
  }
  return code;
}

// A new file written directly is removed when it is not committed or did not reach the disk whole.
int process_file_t::finish_direct(bool commit)
{
  int code = 0;
  const bool flushed = !(commit && writing()) || !durable() || file_commit(stream_) == 0;
  const bool closed = file_close(stream_) == 0;
  stream_ = nullptr;
  if ( writing() )
  {
    if ( commit && !(flushed && closed) )
      code = arkive_errno_error(-1, path_.c_str());
    if ( !commit || code != 0 )
      (void)delete_file(os_path_.c_str()); // best effort
  }
  return code;
}

int process_file_t::close(bool commit)
{
  // The status comes from the open file, so the path is not resolved a second time; all bytes are written
  // by then, and a rename keeps the inode and its times.
  file_info_t status;
  const bool have_status = commit && (flags_ & FS_OPEN_DIGEST) != 0 && std::fflush(stream_) == 0
                           && file_stat(stream_, &status) == 0;
  const int code = target_ != nullptr ? finish_temporary(commit) : finish_direct(commit);
  if ( code == 0 && commit && writing() && (flags_ & FS_OPEN_SYNC_LATER) != 0 )
    fs_->remember_written(os_path_);
  if ( code == 0 )
    record_file_digest(commit, have_status ? &status : nullptr);
  const int result = code != 0 ? code : cancelled_ ? ARKIVE_CANCELED : ARKIVE_OK;
  delete this;
  return result;
}

// Flushes the file systems that hold these folders to the disk, each once: one wait for every file written
// there, however many. A folder that is gone is skipped. 0, or the errno value of the first failure.
int sync_file_systems_of(const std::vector<std::string> &folders)
{
  std::vector<dev_t> done;
  for ( const std::string &folder : folders )
  {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if ( fd < 0 )
    {
      if ( errno == ENOENT )
        continue;
      return errno;
    }
    struct stat st {};
    int err = ::fstat(fd, &st) != 0 ? errno : 0;
    if ( err == 0 && std::find(done.begin(), done.end(), st.st_dev) == done.end() )
    {
      err = ::syncfs(fd) != 0 ? errno : 0;
      done.push_back(st.st_dev);
    }
    ::close(fd);
    if ( err != 0 )
      return err;
  }
  return 0;
}

// Writes generated content as add and edit do: digest kept, no progress, committed when written whole.
int write_generated(abstract_fs_t *fs, const char *path, const char *text, size_t size)
{
  fs_file_t *opened = nullptr;
  int code = fs->open(&opened, path, FS_OPEN_WRITE | FS_OPEN_DIGEST | FS_OPEN_NO_PROGRESS);
  if ( code != 0 )
    return code;
  fs_file_ptr file(opened); // discarded unless it is committed below
  uint64_t n = size;
  code = file->write(&n, text);
  if ( code != 0 )
    return code;
  return file.release()->close(true);
}

} // namespace

int process_fs_t::system_path(qstring *os_path, const char *path, bool follow_last, checked_folders_t *checked) const
{
  if ( site_root().empty() )
  {
    *os_path = path;
    return 0;
  }
  bool resolved = false;
  {
    const std::lock_guard lock(root_mutex_);
    if ( !root_resolved_ )
    {
      // Resolved once the root exists: until then a later link in its place must still be followed.
      real_site_root_t root;
      if ( root.resolve(site_root().c_str()) == 0 && is_directory(site_root().c_str()) )
      {
        real_root_ = std::move(root);
        root_resolved_ = true;
      }
    }
    resolved = root_resolved_;
  }
  // Once resolved, the root is never changed again: it is read without the lock.
  if ( resolved )
    return real_root_.confine(os_path, path, follow_last, checked);
  return confine_real_path(os_path, site_root().c_str(), path, follow_last);
}

void process_fs_t::getcwd(qstring *out)
{
  std::error_code ec;
  const std::string cwd = std::filesystem::current_path(ec).string();
  *out = ec || cwd.size() >= PATH_MAX ? "" : cwd.c_str();
}

int process_fs_t::chdir(const char *path)
{
  qstring os_path;
  if ( const int code = system_path(&os_path, path, true); code != 0 )
    return code;
  std::error_code ec;
  std::filesystem::current_path(os_path.c_str(), ec);
  return ec ? arkive_errno_error(ec.value(), path) : 0;
}

int process_fs_t::open(fs_file_t **out, const char *path, uint32_t flags)
{
  if ( (flags & FS_OPEN_WRITE) == 0 )
  {
    qstring os_path;
    if ( const int code = system_path(&os_path, path, true); code != 0 )
      return code;
    FILE *fp = file_open_read(os_path.c_str());
    if ( fp == nullptr )
      return arkive_errno_error(-1, path);
    *out = new process_file_t(this, path, flags, os_path, fp, nullptr, "");
    return 0;
  }
  checked_folders_t *checked = (flags & FS_OPEN_SYNC_LATER) != 0 ? &batch_folders_ : nullptr;
  // Most files a sync brings are new, and a new file is created directly, never over something that exists.
  // That first try takes the last component as written: an exclusive create does not follow a link there, so
  // the name needs no look of its own. Whatever stands in its way is resolved in full below.
  qstring as_written;
  int create_errno = 0;
  if ( system_path(&as_written, path, false, checked) == 0 )
  {
    if ( FILE *fp = file_create_exclusive(as_written.c_str()); fp != nullptr )
    {
      *out = new process_file_t(this, path, flags, as_written, fp, nullptr, "");
      return 0;
    }
    create_errno = errno;
  }
  qstring os_path;
  if ( const int code = system_path(&os_path, path, true, checked); code != 0 )
    return code;
  // The same path need not be tried again: its answer stands.
  const bool tried = create_errno != 0 && os_path == as_written;
  for ( int attempt = 0;; ++attempt )
  {
    if ( !(tried && attempt == 0) )
    {
      if ( FILE *fp = file_create_exclusive(os_path.c_str()); fp != nullptr )
      {
        *out = new process_file_t(this, path, flags, os_path, fp, nullptr, "");
        return 0;
      }
      create_errno = errno;
    }
    if ( create_errno == EEXIST )
    {
      FILE *target = file_open_update(os_path.c_str());
      if ( target == nullptr )
        return arkive_errno_error(-1, path);
      char temp[PATH_MAX];
      FILE *fp = create_temp_beside(temp, os_path.c_str());
      if ( fp == nullptr )
      {
        const int code = arkive_errno_error(-1, temp);
        file_close(target);
        return code;
      }
      *out = new process_file_t(this, path, flags, os_path, fp, target, temp);
      return 0;
    }
    char dir[PATH_MAX];
    if ( attempt != 0 || create_errno != ENOENT || !path_directory(dir, sizeof(dir), os_path.c_str())
         || !make_directories(dir) )
      return arkive_errno_error(create_errno, path);
  }
}

int process_fs_t::remove(const char *path, uint32_t flags)
{
  // The name itself is removed (a link, not its target), but a link that leads out is refused too.
  qstring os_path;
  qstring target;
  if ( const int code = system_path(&target, path, true); code != 0 )
    return code;
  if ( const int code = system_path(&os_path, path, false); code != 0 )
    return code;
  if ( delete_file(os_path.c_str()) != 0 )
  {
    if ( errno == ENOENT )
      return arkive_format_error(ARKIVE_FILE_NOT_FOUND, "%s", path);
    return arkive_errno_error(-1, path);
  }
  if ( (flags & FS_REMOVE_FORGET) != 0 )
  {
    if ( checksum_cache() == nullptr )
      interr(2599);
    checksum_cache()->forget(path);
  }
  return 0;
}

int process_fs_t::add(const char *path)
{
  char text[16];
  std::snprintf(text, sizeof(text), "%u", unsigned(generate_number()));
  return write_generated(this, path, text, std::strlen(text));
}

int process_fs_t::edit(const char *path)
{
  byte_buffer_t bytes;
  if ( read_whole_file(&bytes, path) != 0 )
    bytes.clear(); // a file that cannot be read counts as empty
  qstring text(reinterpret_cast<const char *>(bytes.data()), bytes.size());
  replace_first_number(&text);
  return write_generated(this, path, text.c_str(), text.size());
}

void process_fs_t::remember_written(const qstring &os_path)
{
  const std::lock_guard lock(written_mutex_);
  written_.emplace_back(os_path.c_str());
}

int process_fs_t::sync_written_files()
{
  // The batch is over: its next one looks at its folders afresh.
  batch_folders_.clear();
  std::vector<std::string> paths;
  {
    const std::lock_guard lock(written_mutex_);
    paths.swap(written_);
  }
  if ( paths.empty() )
    return 0;
  // A file system's flush takes the files' contents and the folders' new names at once; the folders name
  // the file systems to flush.
  std::vector<std::string> folders;
  for ( const std::string &path : paths )
  {
    const size_t slash = path.rfind('/');
    folders.push_back(slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash));
  }
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  const int error = sync_file_systems_of(folders);
  if ( error == 0 )
    return 0;
  return arkive_errno_error(error, "sync of written files");
}

bool process_fs_t::is_dirpath(const char *path)
{
  qstring os_path;
  return system_path(&os_path, path, true) == 0 && is_directory(os_path.c_str());
}

int process_fs_t::stat(file_info_t *out, const char *path)
{
  qstring os_path;
  if ( const int code = system_path(&os_path, path, true); code != 0 )
    return code;
  if ( file_stat(os_path.c_str(), out) != 0 )
    return arkive_errno_error(-1, path);
  return 0;
}
