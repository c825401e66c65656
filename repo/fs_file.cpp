// The common part of open files: digest, progress and recording the digest.
#include "repo/fs_file_base_p.h"

#include "core/file_ops.h"
#include "core/internal_error.h"
#include "repo/abstract_fs.h"
#include "repo/arkive_progressor.h"
#include "repo/md5_cache.h"

fs_file_base_t::fs_file_base_t(abstract_fs_t *owner, const char *path, uint32_t flags)
  : owner_(owner),
    progressor_((flags & FS_OPEN_NO_PROGRESS) != 0 ? nullptr : owner->progressor()),
    path_(path),
    flags_(flags)
{
  if ( (flags_ & FS_OPEN_DIGEST) != 0 )
    md5_init(&digest_);
  if ( progressor_ != nullptr )
    progressor_->set_title(path_.c_str());
}

bool fs_file_base_t::writing() const
{
  return (flags_ & FS_OPEN_WRITE) != 0;
}

int fs_file_base_t::account(const void *bytes, uint64_t count)
{
  if ( (flags_ & FS_OPEN_DIGEST) != 0 )
    md5_update(&digest_, bytes, count);
  if ( progressor_ == nullptr )
    return 0;
  const int answer = progressor_->progress(progress_add, count);
  if ( answer == 1 )
    cancelled_ = true;
  return answer;
}

void fs_file_base_t::record_file_digest(bool commit, const file_info_t *status)
{
  if ( !commit || (flags_ & FS_OPEN_DIGEST) == 0 )
    return;
  md5_cache_t *cache = owner_->checksum_cache();
  if ( cache == nullptr )
    interr(2598);
  uint8_t digest[16];
  md5_final(digest, &digest_);
  if ( status != nullptr )
  {
    cache->record(path_.c_str(), *status, digest);
    return;
  }
  file_info_t asked;
  if ( owner_->stat(&asked, path_.c_str()) == 0 )
    cache->record(path_.c_str(), asked, digest);
}
