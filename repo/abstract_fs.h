// abstract_fs_t: the work-directory file system every local file access of the repository core goes
// through, and the process-wide table of file systems by root name.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstdint>
#include <functional>
#include <memory>

class arkive_messenger_t;
class arkive_progressor_t;
class fs_file_t;
class ignore_rules_t;
class md5_cache_t;
struct change_status_item_t;
struct file_info_t;

// Open flags, kept in the open file.
constexpr uint32_t FS_OPEN_READ = 0x01;        // read (reading is the mode whenever FS_OPEN_WRITE is clear)
constexpr uint32_t FS_OPEN_WRITE = 0x02;       // write: the file's old content is replaced
constexpr uint32_t FS_OPEN_DIGEST = 0x04;      // keep an MD5 of every byte; a committed close records it
constexpr uint32_t FS_OPEN_NO_PROGRESS = 0x08; // the file reports no progress
constexpr uint32_t FS_OPEN_LOCK_HELD = 0x10;   // the caller holds the file system's lock (locked variant)
constexpr uint32_t FS_OPEN_NO_SYNC = 0x20;     // a committed close need not wait for the disk (content that can
                                               // be rebuilt, such as checksum-cache files)
constexpr uint32_t FS_OPEN_SYNC_LATER = 0x40;  // a committed close does not wait for the disk: the file joins
                                               // those that sync_written_files makes durable, all at once

// Remove flags.
constexpr uint32_t FS_REMOVE_FORGET = 0x04; // also forget the file's checksum-cache entry

// Flags of glob.
constexpr uint32_t FS_GLOB_FILES = 0x20;       // report files
constexpr uint32_t FS_GLOB_DIRECTORIES = 0x40; // report directories
constexpr uint32_t FS_GLOB_NO_RULES = 0x80;    // with a root but no rules given: apply none (process variant)

// The stop check of glob: answers true to stop. glob takes it over and destroys it before returning.
using glob_stop_check_t = std::function<bool()>;

// Flags of get_file_system.
constexpr uint32_t FS_CREATE_LOCKED = 0x08;     // the in-memory locked variant instead of the process one
constexpr uint32_t FS_CREATE_WITH_CACHE = 0x10; // attach a checksum cache

// The work-directory file system. Codes are repository error codes: 0 success, 1 cancelled, 3 file not
// found (detail: the path), 33 a composed message ("path: system error text"), 42 outside the site root.
// Details go to string argument 0 of the calling thread's error state.
//
// Confinement: a file system with a site root (the non-empty root name it was made for) resolves every
// path it is given inside that root before it touches anything; a path that leads outside ("..", an
// absolute path elsewhere, '\' used as a separator, a symbolic link leaving the root) is refused with 42
// and nothing is read, written or deleted. Without a site root, paths are used as given.
//
// Promises: the checksum cache, the message sink and the progress sink are owned and deleted with the file
// system (the cache without flushing). Not thread-safe except where the locked variant says so.
class abstract_fs_t
{
public:
  virtual ~abstract_fs_t();
  abstract_fs_t(const abstract_fs_t &) = delete;
  abstract_fs_t &operator=(const abstract_fs_t &) = delete;

  // The current directory with '/' separators ("" when it cannot be told).
  virtual void getcwd(qstring *out) = 0;
  // Changes the current directory.
  [[nodiscard]] virtual int chdir(const char *path) = 0;
  // Opens a file; on success *out is the open file, owned by the caller until its close.
  [[nodiscard]] virtual int open(fs_file_t **out, const char *path, uint32_t flags) = 0;
  // Deletes a file (FS_REMOVE_FORGET: and its checksum-cache entry).
  [[nodiscard]] virtual int remove(const char *path, uint32_t flags) = 0;
  // Creates a file whose text is one generated number (missing directories are created).
  [[nodiscard]] virtual int add(const char *path) = 0;
  // Replaces the first number in a file's text by a generated one (a missing file is added).
  [[nodiscard]] virtual int edit(const char *path) = 0;
  // True when the path names a directory.
  virtual bool is_dirpath(const char *path) = 0;
  // The status of a file into *out (may be null).
  [[nodiscard]] virtual int stat(file_info_t *out, const char *path) = 0;
  // Waits until the files that committed closes under FS_OPEN_SYNC_LATER wrote since the last call are on
  // the disk, with the folders that name them: one wait for a whole batch of files instead of one per file.
  // 0, or an error code with its detail (the first file that failed). Files that are gone again are skipped.
  // Nothing to do for a file system that keeps no files on a disk.
  [[nodiscard]] virtual int sync_written_files() { return 0; }
  // Appends one line "- <first 10 bytes of the text> <path>" per entry that path selects (a directory's
  // entries, recursively; or the entries a pattern in the last component matches). The text of a directory
  // is "<DIR>"; a file's text is its first bytes, followed by '?' when they could not be read. Only the
  // bytes shown are read. Always true.
  virtual bool list_dir(qvector<qstring> *out, const char *path) = 0;
  // Appends the paths that pattern selects: a directory (or a text ending in '/') stands for everything
  // below it, a wildcard in the last component for the matching entries of that directory. FS_GLOB_FILES
  // and FS_GLOB_DIRECTORIES choose what is reported. Without rules, a root builds the root's ignore rules
  // for the call (see each variant); with neither, nothing is reported and the answer is false. Each
  // reported entry first asks the stop check; true stops the glob. False when stopped.
  virtual bool glob(qvector<qstring> *out, const char *pattern, ignore_rules_t *rules, const char *root,
                    glob_stop_check_t stop, uint32_t flags) = 0;
  // True for a file system that keeps its files in a table of its own.
  virtual bool has_entry_table() const { return false; }
  // True when stat may run on several threads at once (the change scan then reads statuses in parallel).
  virtual bool stat_is_thread_safe() const { return false; }

  // Which local files differ from what the server expects (see change_scan.h): bit j of *out is set for
  // item j when its file differs or cannot be checked. Answers 0, 1 when cancelled through the progress
  // sink, or 33 in SCAN_MODE_REPORT_PROBLEMS when some files could not be checked. Internal error 2597
  // without a checksum cache.
  [[nodiscard]] int scan_changes(byte_buffer_t *out, const qvector<change_status_item_t> &items, uint32_t mode);
  // Writes the checksum cache's pending changes; nothing without a cache.
  void flush_cache();
  // Passes one progress event to the progress sink and answers its answer (0 without a sink); event 0
  // (the end of a batch of file work) flushes the checksum cache first.
  int report_progress(uint8_t event, uint64_t amount);
  // Each non-null sink replaces the current one of its kind, which is deleted (unless it is the same).
  void set_reporters(arkive_messenger_t *messenger, arkive_progressor_t *progressor);
  // The same with sinks handed over by their owners.
  void set_reporters(std::unique_ptr<arkive_messenger_t> messenger, std::unique_ptr<arkive_progressor_t> progressor)
  {
    set_reporters(messenger.release(), progressor.release());
  }

  // Reads a whole file into *buf (resized to the file's size). A failed open leaves *buf unchanged.
  // lock_held: the caller already holds the file system's lock (locked variant).
  [[nodiscard]] int read_whole_file(byte_buffer_t *buf, const char *path, bool lock_held = false);
  // Replaces a file's content with bytes; with digest the digest is recorded in the checksum cache. Without
  // durable the close does not wait for the disk (FS_OPEN_NO_SYNC).
  [[nodiscard]] int write_whole_file(const char *path, const byte_buffer_t &bytes, bool digest = false,
                                     bool durable = true);

  md5_cache_t *checksum_cache() const { return cache_.get(); }
  arkive_messenger_t *messenger() const { return messenger_.get(); }
  arkive_progressor_t *progressor() const { return progressor_.get(); }
  // Makes cache the checksum cache (see attach_md5_cache).
  void set_checksum_cache(std::unique_ptr<md5_cache_t> cache);
  // The root every path is confined to; empty when paths are used as given.
  const qstring &site_root() const { return site_root_; }

protected:
  explicit abstract_fs_t(const char *site_root);

private:
  qstring site_root_;
  std::unique_ptr<md5_cache_t> cache_;
  std::unique_ptr<arkive_messenger_t> messenger_;
  std::unique_ptr<arkive_progressor_t> progressor_;
};

// Called once with a file system that get_file_system has just made.
using fs_init_callback_t = std::function<void(abstract_fs_t *)>;

// The process-wide file system of a root name (compared byte by byte, exactly as given), made on first
// request: FS_CREATE_LOCKED selects the locked variant, FS_CREATE_WITH_CACHE attaches a checksum cache,
// then init (when given) runs with it. A non-empty root name is the file system's site root. Later
// requests for the name answer the same object and ignore flags and init. File systems live until the
// process ends. Safe from any thread.
abstract_fs_t *get_file_system(const char *root, const fs_init_callback_t &init, uint32_t flags);
