// The per-user registry store: one text file of typed settings shared by every process of the user.
#pragma once

#include "platform/registry_tree.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// One view of the store file "registry" in a folder, with its cross-process lock "registry.lock" beside it.
//
// Promises: every change is written to a new file, flushed and renamed over the store, so the file on disk is
// always a whole old or a whole new state; changes made by other processes (and other views in this process)
// are seen at the next operation; a store that cannot be parsed is moved aside to "registry.bad" and a fresh
// one begins. A view is not thread-safe: its owner serialises the calls. Errors are errno values.
//
// Reads of an unchanged store cost no system call: the lock file also holds a change counter, mapped into
// memory, that every writer advances while it holds the lock.
class registry_store_t
{
public:
  // The folder of the user's store from the values of XDG_CONFIG_HOME and HOME (empty when unset):
  // "<config>/Quorvin", where the configuration folder is XDG_CONFIG_HOME, else HOME + "/.config", with the
  // home folder of the password database when HOME is empty too. A relative setting counts as unset, as the
  // base-directory convention asks. Empty when no home folder is known.
  static std::string default_dir(std::string_view xdg_config_home, std::string_view home);

  // A view of the store in `dir`; nothing is touched before the first operation.
  explicit registry_store_t(std::string dir);
  ~registry_store_t();
  registry_store_t(const registry_store_t &) = delete;
  registry_store_t &operator=(const registry_store_t &) = delete;

  // Starts an operation. A writer holds the cross-process lock until `end`; a reader takes it only when it
  // must reload a changed store or when it makes a change. The folder is created when missing.
  int begin(bool write);
  // Ends the operation: changes made since `begin` are written out and the lock is released. When the write
  // fails the changes are dropped, the store reloads at the next operation, and the error is returned.
  int end();
  // Ends the operation without writing its changes; the store is read again at the next operation.
  void abandon();

  // Operations between `begin` and `end`; key paths are '\'-separated as in `registry_tree_t`.
  bool key_exists(std::string_view path) const;
  // Creates the key with its missing parents; `created` tells whether it was new. EINVAL for the root.
  int create_key(std::string_view path, bool &created);
  // The value, or null when the key or the value is missing. Valid until the next call on this view.
  const registry_value_t *find_value(std::string_view path, std::string_view name) const;
  // Stores a value in an existing key: ENOENT when the key is missing, EINVAL for an empty name.
  int set_value(std::string_view path, std::string_view name, registry_value_t value);
  // Deletes a value: ENOENT when the key or the value is missing.
  int remove_value(std::string_view path, std::string_view name);
  // Deletes a key (and with `tree` everything below it): ENOENT, ENOTEMPTY, EINVAL as `registry_tree_t`.
  int remove_key(std::string_view path, bool tree);
  // Appends the names of the key's subkeys or values in store order: ENOENT when the key is missing.
  int list_names(std::string_view path, bool subkeys, std::vector<std::string> &out) const;

  // The report of a store that could not be read and was moved aside by this view, handed out once; empty
  // when there is nothing to report.
  std::string take_recovery_report();

  const std::string &dir() const { return dir_; }
  const std::string &file_path() const { return file_path_; }

private:
  struct file_id_t
  {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    std::int64_t mtime_ns = 0;
    std::int64_t ctime_ns = 0;
    bool operator==(const file_id_t &) const = default;
  };

  int open_lock();
  void close_lock();
  int acquire();
  void release();
  int refresh();
  int load(file_id_t &id);
  int write_out();
  int prepare_change();
  std::uint64_t shared_counter() const;
  std::uint64_t advance_counter();

  std::string dir_;
  std::string file_path_;
  std::string lock_path_;
  std::string temp_path_;
  std::string bad_path_;

  int lock_fd_ = -1;
  pid_t lock_pid_ = 0;           // process that opened the lock file: a forked child must open its own
  std::uint64_t *counter_ = nullptr;  // the change counter mapped from the lock file (not owned memory)
  bool locked_ = false;
  bool in_operation_ = false;
  bool dirty_ = false;

  registry_tree_t tree_;
  bool loaded_ = false;
  std::uint64_t loaded_counter_ = 0;  // change counter when `tree_` was read or written
  file_id_t loaded_file_;             // the store file that `tree_` came from
  std::string recovery_report_;
};
