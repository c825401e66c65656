// Hashing a work-directory file.
#include "repo/local_file_digest.h"

#include "core/md5.h"
#include "repo/abstract_fs.h"
#include "repo/fs_file.h"

#include <memory>

int hash_local_file(abstract_fs_t *fs, const char *path, uint8_t digest[16])
{
  fs_file_t *opened = nullptr;
  int code = fs->open(&opened, path, FS_OPEN_READ);
  if ( code != 0 )
    return code;
  fs_file_ptr file(opened); // discarded unless it is closed with commit below
  constexpr uint64_t buffer_size = 4 * 1024 * 1024;
  md5_context_t ctx;
  md5_init(&ctx);
  const std::unique_ptr<uint8_t[]> buffer(new uint8_t[buffer_size]);
  while ( true )
  {
    uint64_t n = buffer_size;
    code = file->read(&n, buffer.get());
    if ( code != 0 || n == 0 )
      break;
    md5_update(&ctx, buffer.get(), n);
  }
  md5_final(digest, &ctx);
  if ( code != 0 )
    return code;
  return file.release()->close(true);
}
