// The change scan over the checksum cache, and the file system's entry to it.
#include "repo/change_scan.h"

#include "core/file_ops.h"
#include "core/internal_error.h"
#include "repo/abstract_fs.h"
#include "repo/arkive_errors.h"
#include "repo/arkive_messenger.h"
#include "repo/arkive_progressor.h"
#include "repo/error_detail.h"
#include "repo/local_file_digest.h"
#include "repo/md5_cache.h"
#include "repo/wire_records.h"

#include <cstdarg>
#include <cstring>
#include <vector>

namespace {

// Progress kinds that start a byte count: the bytes of a finished check, the bytes about to be hashed.
constexpr uint8_t progress_checked_bytes = 3;
constexpr uint8_t progress_hash_bytes = 4;

constexpr uint32_t file_type_mask = 0xF000;
constexpr uint32_t regular_file = 0x8000;

bool is_regular(const file_info_t &status)
{
  return (status.mode & file_type_mask) == regular_file;
}

void print_line(arkive_messenger_t *messenger, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  messenger->print(format, va);
  va_end(va);
}

} // namespace

int md5_cache_t::scan(byte_buffer_t *out, const qvector<change_status_item_t> &items, uint32_t mode,
                      uint64_t *byte_total, uint32_t *problems)
{
  const size_t count = items.size();
  out->clear();
  out->resize((count + 7) / 8, 0);
  const auto mark = [out](size_t j) { (*out)[j / 8] |= uint8_t(1u << (j % 8)); };
  const bool report_problems = mode == SCAN_MODE_REPORT_PROBLEMS;

  int result = 0;
  uint64_t total = 0;
  uint32_t problem_count = 0;
  std::vector<size_t> to_hash;
  uint64_t bytes_to_hash = 0;

  fs_->report_progress(progress_items, count);
  for ( size_t j = 0; j < count; ++j )
  {
    if ( const int answer = fs_->report_progress(progress_add, 1); answer != 0 )
    {
      result = answer;
      break;
    }
    const change_status_item_t &item = items[j];
    const char *path = item.path.c_str();
    file_info_t status;
    int code = fs_->stat(&status, path);
    const bool irregular = code == 0 && !is_regular(status);
    if ( irregular )
      code = arkive_format_error(ARKIVE_MESSAGE, "%s : not a regular file", path);
    if ( report_problems )
    {
      if ( code != 0 )
      {
        if ( arkive_messenger_t *messenger = fs_->messenger(); messenger != nullptr )
          print_line(messenger, "%s\n", arkive_error_text(code).c_str());
        ++problem_count;
      }
      else
      {
        total += uint64_t(status.size);
      }
    }
    // Only regular files are compared: reading anything else could block (a pipe) or never end (a device).
    if ( irregular )
    {
      mark(j);
      continue;
    }
    const bool present = code == 0;
    const int64_t expected = int64_t(item.size);
    if ( present && status.size == expected )
    {
      uint8_t digest[16];
      if ( lookup(path, status, digest) )
      {
        if ( std::memcmp(digest, item.md5, 16) != 0 )
          mark(j);
      }
      else
      {
        to_hash.push_back(j);
        bytes_to_hash += uint64_t(status.size);
      }
    }
    else if ( (expected != 0 || present) && (mode != SCAN_MODE_ABSENT_UNCHANGED || (present && status.size != 0)) )
    {
      mark(j);
    }
  }
  fs_->report_progress(progress_end, 0);
  if ( result != 0 )
    return result;
  if ( report_problems )
  {
    *byte_total = total;
    *problems = problem_count;
  }

  if ( !to_hash.empty() )
  {
    fs_->report_progress(progress_hash_bytes, bytes_to_hash);
    for ( const size_t j : to_hash )
    {
      const change_status_item_t &item = items[j];
      const char *path = item.path.c_str();
      file_info_t status;
      if ( fs_->stat(&status, path) != 0 || !is_regular(status) )
      {
        mark(j);
        continue;
      }
      uint8_t digest[16];
      const int code = hash_local_file(fs_, path, digest);
      if ( code == ARKIVE_CANCELED )
      {
        result = code;
        break;
      }
      if ( code != 0 )
      {
        mark(j);
        continue;
      }
      // A file that changed while it was read must not pair its old status with this digest.
      file_info_t after;
      if ( fs_->stat(&after, path) == 0 && after.modification_time == status.modification_time
           && after.size == status.size )
      {
        md5_cache_entry_t entry;
        entry.modification_time = status.modification_time;
        entry.size = status.size;
        std::memcpy(entry.digest, digest, 16);
        pending_.emplace(path, entry);
      }
      if ( std::memcmp(digest, item.md5, 16) != 0 )
        mark(j);
    }
  }
  fs_->report_progress(progress_end, 0);
  return result;
}

int abstract_fs_t::scan_changes(byte_buffer_t *out, const qvector<change_status_item_t> &items, uint32_t mode)
{
  md5_cache_t *cache = checksum_cache();
  if ( cache == nullptr )
    interr(2597);
  uint64_t byte_total = 0;
  uint32_t problems = 0;
  if ( const int code = cache->scan(out, items, mode, &byte_total, &problems); code != 0 )
    return code;
  if ( mode != SCAN_MODE_REPORT_PROBLEMS )
    return 0;
  if ( problems == 0 )
  {
    if ( progressor() != nullptr )
      progressor()->progress(progress_checked_bytes, byte_total);
    return 0;
  }
  return arkive_format_error(ARKIVE_MESSAGE, "there %s %d problematic file%s", problems == 1 ? "is" : "are",
                             int(problems), problems == 1 ? "" : "s");
}
