// What both variants of open files share: owner, path, flags, the digest and progress reporting.
#pragma once

#include "core/md5.h"
#include "core/qstring.h"
#include "repo/fs_file.h"

#include <cstdint>

class abstract_fs_t;
struct file_info_t;
class arkive_progressor_t;

// Promises: the digest runs from the open when FS_OPEN_DIGEST is set; the progress sink is the owner's
// one at open time (none with FS_OPEN_NO_PROGRESS) and gets the path as its title at construction.
class fs_file_base_t : public fs_file_t
{
protected:
  fs_file_base_t(abstract_fs_t *owner, const char *path, uint32_t flags);

  bool writing() const;
  // Takes count bytes into the digest and reports them to the progress sink: the sink's answer (a
  // cancel sets `cancelled_`), 0 without a sink.
  int account(const void *bytes, uint64_t count);
  // With commit and FS_OPEN_DIGEST: records the finished digest with the file's status in the owner's
  // checksum cache (internal error 2598 when it has none). Without a status given, the owner is asked for the
  // status of the path.
  void record_file_digest(bool commit, const file_info_t *status = nullptr);

  abstract_fs_t *owner_;           // not owned
  arkive_progressor_t *progressor_; // not owned; null without progress
  qstring path_;                   // as given to open
  md5_context_t digest_ {};
  uint32_t flags_;
  bool cancelled_ = false;
};
