// The file-system base: sinks, checksum cache, whole-file helpers and the process-wide table.
#include "repo/abstract_fs.h"

#include "core/file_ops.h"
#include "repo/arkive_messenger.h"
#include "repo/arkive_progressor.h"
#include "repo/fs_file.h"
#include "repo/locked_fs.h"
#include "repo/md5_cache.h"
#include "repo/plain_fs.h"

#include <map>
#include <mutex>
#include <string>

abstract_fs_t::abstract_fs_t(const char *site_root) : site_root_(site_root != nullptr ? site_root : "") {}

abstract_fs_t::~abstract_fs_t() = default;

void abstract_fs_t::flush_cache()
{
  if ( cache_ != nullptr )
    cache_->flush();
}

int abstract_fs_t::report_progress(uint8_t event, uint64_t amount)
{
  if ( event == progress_end )
    flush_cache();
  return progressor_ != nullptr ? progressor_->progress(event, amount) : 0;
}

void abstract_fs_t::set_reporters(arkive_messenger_t *messenger, arkive_progressor_t *progressor)
{
  if ( messenger != nullptr && messenger != messenger_.get() )
    messenger_.reset(messenger);
  if ( progressor != nullptr && progressor != progressor_.get() )
    progressor_.reset(progressor);
}

void abstract_fs_t::set_checksum_cache(std::unique_ptr<md5_cache_t> cache)
{
  cache_ = std::move(cache);
}

int abstract_fs_t::read_whole_file(byte_buffer_t *buf, const char *path, bool lock_held)
{
  fs_file_t *opened = nullptr;
  int code = open(&opened, path, FS_OPEN_READ | FS_OPEN_NO_PROGRESS | (lock_held ? FS_OPEN_LOCK_HELD : 0));
  if ( code != 0 )
    return code;
  fs_file_ptr file(opened); // discarded unless it is closed with commit below
  file_info_t status;
  code = stat(&status, path);
  if ( code == 0 )
  {
    buf->resize(size_t(status.size));
    uint64_t n = buf->size();
    code = file->read(&n, buf->data());
    if ( code == 0 )
      buf->truncate(size_t(n));
  }
  if ( code != 0 )
    return code;
  return file.release()->close(true);
}

int abstract_fs_t::write_whole_file(const char *path, const byte_buffer_t &bytes, bool digest, bool durable)
{
  fs_file_t *file = nullptr;
  int code = open(&file, path,
                  FS_OPEN_WRITE | FS_OPEN_NO_PROGRESS | (digest ? FS_OPEN_DIGEST : 0) | (durable ? 0 : FS_OPEN_NO_SYNC));
  if ( code != 0 )
    return code;
  uint64_t n = bytes.size();
  code = file->write(&n, bytes.data());
  const int close_code = file->close(code == 0);
  return code != 0 ? code : close_code;
}

abstract_fs_t *get_file_system(const char *root, const fs_init_callback_t &init, uint32_t flags)
{
  // The table and its file systems live until the process ends; the callback may ask for other roots.
  static std::recursive_mutex &table_lock = *new std::recursive_mutex;
  static std::map<std::string, abstract_fs_t *> &table = *new std::map<std::string, abstract_fs_t *>;

  const std::string name(root != nullptr ? root : "");
  std::lock_guard<std::recursive_mutex> guard(table_lock);
  const auto known = table.find(name);
  if ( known != table.end() )
    return known->second;
  abstract_fs_t *fs = nullptr;
  if ( (flags & FS_CREATE_LOCKED) != 0 )
    fs = new locked_fs_t(name.c_str());
  else
    fs = new process_fs_t(name.c_str());
  table.emplace(name, fs);
  if ( (flags & FS_CREATE_WITH_CACHE) != 0 )
    attach_md5_cache(fs);
  if ( init )
    init(fs);
  return fs;
}
