// Generic credentials of the user: secrets addressed by a target name, kept in one private file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One stored credential. The target name addresses it; every other field is its content.
struct generic_credential_t
{
  std::string target; // UTF-8; unique in the file
  std::string user;   // UTF-8
  std::vector<std::uint8_t> secret;
};

// The credential file "credentials" in a folder, with its cross-process lock "credentials.lock" beside it.
//
// Promises: the file and its lock are created with mode 0600 (the folder with 0700); every change is written
// to a new file, flushed and renamed over the old one, so the file on disk is always a whole old or a whole
// new state; each operation sees every change that another thread or process finished before it. A file that
// cannot be parsed is never written over: every operation then fails with EBADMSG and leaves it as it is.
// Target names are compared byte for byte. Errors are errno values; a missing credential is ENOKEY. Secrets
// are never written anywhere but the file. Any thread may use any object: each operation takes the lock on
// its own descriptor, which excludes other threads as well as other processes.
class generic_credential_file_t
{
public:
  // The folder of the user's credentials: the folder of the registry store, "<config>/Quorvin".
  static std::string default_dir(std::string_view xdg_config_home, std::string_view home);

  // A view of the file in `dir`; nothing is touched before the first operation.
  explicit generic_credential_file_t(std::string dir);

  // Fills *out with the credential of the target: 0, ENOKEY when there is none, or the error.
  int read(std::string_view target, generic_credential_t *out) const;
  // Creates the credential or replaces the one of the same target: 0 or the error.
  int write(const generic_credential_t &credential) const;
  // Deletes the credential of the target: 0, ENOKEY when there is none, or the error.
  int remove(std::string_view target) const;

  const std::string &file_path() const { return file_path_; }

private:
  std::string dir_;
  std::string file_path_;
  std::string lock_path_;
  std::string temp_path_;
};
