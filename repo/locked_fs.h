// locked_fs_t: a work-directory file system kept in memory under one ordered reader/writer lock.
#pragma once

#include "core/qvector.h"
#include "repo/abstract_fs.h"
#include "repo/entry_table_walk.h"
#include "repo/ordered_rwlock.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One file of the in-memory tree: its content and its serial number, which stands in for a modification
// time (every new entry and every write or edit takes the next one, the first being 1).
struct mem_file_slot_t
{
  byte_buffer_t content;
  int64_t serial = 0;
};

// A whole file tree in memory: a table of file paths (keys compared byte by byte, exactly as given);
// directories are not entries, they exist through the paths below them. A file and a directory of the
// same name cannot coexist. Stat answers size, serial as the modification time and the regular-file mode.
//
// Concurrency: the lock "fslock" (level 7) is taken exclusively by add, edit, remove, opening for writing,
// stat and writing an open file; shared by opening for reading, reading an open file, is_dirpath. Many
// threads may read at once. A thread that already holds the lock opens with FS_OPEN_LOCK_HELD (and must
// hold it exclusively to open for writing); taking it again is an internal error. Slots are never
// removed or moved, so an open file stays valid while the table changes. With a site root, paths are
// resolved as text against it and the current directory before use (no links exist here).
class locked_fs_t : public abstract_fs_t
{
public:
  explicit locked_fs_t(const char *site_root = "") : abstract_fs_t(site_root) {}

  void getcwd(qstring *out) override;
  int chdir(const char *path) override;
  int open(fs_file_t **out, const char *path, uint32_t flags) override;
  int remove(const char *path, uint32_t flags) override;
  int add(const char *path) override;
  int edit(const char *path) override;
  bool is_dirpath(const char *path) override;
  int stat(file_info_t *out, const char *path) override;
  // Both walk the entry table (walk_entry_table) under the shared lock ("file:dir", "file:glob"). A file's
  // listing text is the start of its content.
  bool list_dir(qvector<qstring> *out, const char *path) override;
  // Reports files only, whatever the flags; a root without rules always builds its ignore rules for the
  // call, and every file is tested by itself (an ignored directory is not left out as a whole).
  bool glob(qvector<qstring> *out, const char *pattern, ignore_rules_t *rules, const char *root,
            glob_stop_check_t stop, uint32_t flags) override;
  bool has_entry_table() const override { return true; }

  ordered_rwlock_t &lock() { return lock_; }

private:
  // The slot of the entry named exactly path, or null. Call with the lock held.
  mem_file_slot_t *find_entry(const std::string &path);
  // Enters a new, empty file: 0, or 33 when a directory of that name exists (EISDIR) or a file stands
  // where one of its directories would be (EEXIST). Call with the lock held exclusively.
  int insert_entry(const std::string &path);
  // 0 when the path may be used (confinement), else the refusal's code.
  int check_path(const char *path);
  int64_t next_serial() { return ++next_serial_; }

  ordered_rwlock_t lock_ {"fslock", 7};
  entry_table_t entries_;                                // path -> slot index
  std::vector<std::unique_ptr<mem_file_slot_t>> slots_; // never shrinks; addresses stay
  std::atomic<int64_t> next_serial_ {0};
  std::mutex cwd_lock_; // the current directory is not under "fslock": chdir never fails or waits on it
  std::string cwd_;
};
