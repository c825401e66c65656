// process_fs_t: the work-directory file system over the operating system's files.
#pragma once

#include "repo/abstract_fs.h"
#include "repo/site_confinement.h"

#include <mutex>
#include <string>
#include <vector>

// Maps every operation onto the operating system's files and the process's working directory.
// Promises: a write to an existing file goes to a temporary "arkive<N>.tmp" created exclusively beside
// it, and only a committed close renames it over the file (the old content stays whole until then, and a
// killed writer leaves at most that temporary); a new file is created exclusively and written directly,
// and removed again by a close without commit; a read-open never creates anything. With a site root every
// path is first resolved inside it, links included (see abstract_fs_t), and the resolved path is the one
// the system is given.
class process_fs_t : public abstract_fs_t
{
public:
  explicit process_fs_t(const char *site_root = "") : abstract_fs_t(site_root) {}

  void getcwd(qstring *out) override;
  int chdir(const char *path) override;
  int open(fs_file_t **out, const char *path, uint32_t flags) override;
  int remove(const char *path, uint32_t flags) override;
  int add(const char *path) override;
  int edit(const char *path) override;
  bool is_dirpath(const char *path) override;
  int stat(file_info_t *out, const char *path) override;
  // stat keeps no state of its own: its details go to the calling thread's error state.
  bool stat_is_thread_safe() const override { return true; }
  // Walk the operating system's directories (case-sensitive names); see dir_walk.h.
  bool list_dir(qvector<qstring> *out, const char *path) override;
  // A root without rules builds its ignore rules for the call unless FS_GLOB_NO_RULES is given; an ignored
  // directory is left out as a whole.
  bool glob(qvector<qstring> *out, const char *pattern, ignore_rules_t *rules, const char *root,
            glob_stop_check_t stop, uint32_t flags) override;
  // The file systems that hold the remembered files are flushed to the disk, each once, with whatever else
  // they hold that is not on the disk yet: one wait for a whole batch, however many files it wrote.
  int sync_written_files() override;
  // Takes a file that a committed close wrote under FS_OPEN_SYNC_LATER into the next sync_written_files.
  // Safe from any thread.
  void remember_written(const qstring &os_path);

private:
  // The path to give the system: 0 and *os_path, or the confinement's code; `checked` as real_site_root_t's
  // confine takes it.
  int system_path(qstring *os_path, const char *path, bool follow_last, checked_folders_t *checked = nullptr) const;

  mutable std::mutex root_mutex_;
  mutable bool root_resolved_ = false; // under root_mutex_; once true, real_root_ never changes again
  mutable real_site_root_t real_root_; // the site root, resolved at the first path met once it exists
  std::mutex written_mutex_;
  std::vector<std::string> written_; // system paths of files committed since the last sync_written_files
  // Folders that writes under FS_OPEN_SYNC_LATER found real since the last sync_written_files: a batch walks
  // each folder of its files once.
  checked_folders_t batch_folders_;
};
