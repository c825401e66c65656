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

#include "core/error_state.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <thread>
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

// The status pass reads statuses ahead in chunks on worker threads when the file system allows it: the
// kernel's path lookups dominate a scan of an unchanged tree and run well in parallel. The next chunk is
// read while the current one is judged, in item order, on the scanning thread.
constexpr size_t status_chunk = 4096;
constexpr size_t min_items_per_thread = 512;
constexpr unsigned max_status_threads = 8;

// What stat answered for one item, read ahead.
struct item_status_t
{
  bool done = false; // false: not read ahead (the scan asks stat itself)
  int code = 0;
  file_info_t status;
  bool has_detail = false;
  qstring detail; // string argument 0 of the reading thread after a failure
};

// Reads the statuses of one chunk of items on worker threads. Entries that no worker filled (a chunk too
// small to share, a thread that could not start or ran out of memory) keep done == false.
class status_reader_t
{
public:
  void start(abstract_fs_t *fs, const qvector<change_status_item_t> &items, size_t first, size_t n)
  {
    finish();
    results.assign(n, item_status_t {});
    const size_t count =
      std::min<size_t>(std::clamp(std::thread::hardware_concurrency(), 1u, max_status_threads), n / min_items_per_thread);
    if ( count < 2 )
      return;
    for ( size_t t = 0; t < count; ++t )
    {
      try
      {
        threads_.emplace_back(&status_reader_t::read, this, fs, &items, first, n * t / count, n * (t + 1) / count);
      }
      catch ( ... )
      {
        break; // the entries of the threads not started are read by the scan itself
      }
    }
  }
  // Waits until the chunk's statuses are in.
  void finish() { threads_.clear(); }

  std::vector<item_status_t> results; // one per item of the chunk; stable while threads run

private:
  void read(abstract_fs_t *fs, const qvector<change_status_item_t> *items, size_t first, size_t begin, size_t end)
  {
    try
    {
      for ( size_t i = begin; i < end; ++i )
      {
        item_status_t &r = results[i];
        r.code = fs->stat(&r.status, (*items)[first + i].path.c_str());
        if ( r.code != 0 )
        {
          const char *detail = get_error_arg_text(0);
          r.has_detail = detail != nullptr;
          r.detail = detail != nullptr ? detail : "";
        }
        r.done = true;
      }
    }
    catch ( ... )
    {
      // Whatever is left is read by the scan itself.
    }
  }

  std::vector<std::jthread> threads_; // joined when cleared or destroyed, before results go
};

// Marks item j as changed in the scan's bit map.
void mark_changed(byte_buffer_t *out, size_t j)
{
  (*out)[j / 8] |= uint8_t(1u << (j % 8));
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
  out->clear();
  out->resize((items.size() + 7) / 8, 0);
  std::vector<size_t> to_hash;
  uint64_t bytes_to_hash = 0;
  if ( const int result = scan_statuses(out, items, mode, &to_hash, &bytes_to_hash, byte_total, problems) )
    return result;
  const int result = to_hash.empty() ? 0 : hash_listed(out, items, to_hash, bytes_to_hash);
  fs_->report_progress(progress_end, 0);
  return result;
}

int md5_cache_t::scan_statuses(byte_buffer_t *out, const qvector<change_status_item_t> &items, uint32_t mode,
                               std::vector<size_t> *to_hash, uint64_t *bytes_to_hash, uint64_t *byte_total,
                               uint32_t *problems)
{
  const size_t count = items.size();
  const bool report_problems = mode == SCAN_MODE_REPORT_PROBLEMS;
  int result = 0;
  uint64_t total = 0;
  uint32_t problem_count = 0;
  const bool read_ahead = fs_->stat_is_thread_safe();
  status_reader_t readers[2]; // chunk k is read by readers[k % 2]
  const auto reader_of = [&readers](size_t j) -> status_reader_t & { return readers[(j / status_chunk) % 2]; };
  if ( read_ahead && count != 0 )
    readers[0].start(fs_, items, 0, std::min(status_chunk, count));

  fs_->report_progress(progress_items, count);
  for ( size_t j = 0; j < count; ++j )
  {
    if ( read_ahead && j % status_chunk == 0 )
    {
      reader_of(j).finish();
      if ( const size_t next = j + status_chunk; next < count )
        reader_of(next).start(fs_, items, next, std::min(status_chunk, count - next));
    }
    if ( const int answer = fs_->report_progress(progress_add, 1); answer != 0 )
    {
      result = answer;
      break;
    }
    const change_status_item_t &item = items[j];
    const char *path = item.path.c_str();
    file_info_t status;
    int code = 0;
    if ( const item_status_t *known = read_ahead ? &reader_of(j).results[j % status_chunk] : nullptr;
         known != nullptr && known->done )
    {
      status = known->status;
      code = known->code;
      if ( code != 0 )
        error_arg_text(0, known->has_detail ? known->detail.c_str() : nullptr);
    }
    else
    {
      code = fs_->stat(&status, path);
    }
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
      mark_changed(out, j);
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
          mark_changed(out, j);
      }
      else
      {
        to_hash->push_back(j);
        *bytes_to_hash += uint64_t(status.size);
      }
    }
    else if ( (expected != 0 || present) && (mode != SCAN_MODE_ABSENT_UNCHANGED || (present && status.size != 0)) )
    {
      mark_changed(out, j);
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
  return 0;
}

int md5_cache_t::hash_listed(byte_buffer_t *out, const qvector<change_status_item_t> &items,
                             const std::vector<size_t> &to_hash, uint64_t bytes_to_hash)
{
  fs_->report_progress(progress_hash_bytes, bytes_to_hash);
  for ( const size_t j : to_hash )
  {
    const change_status_item_t &item = items[j];
    const char *path = item.path.c_str();
    file_info_t status;
    if ( fs_->stat(&status, path) != 0 || !is_regular(status) )
    {
      mark_changed(out, j);
      continue;
    }
    uint8_t digest[16];
    const int code = hash_local_file(fs_, path, digest);
    if ( code == ARKIVE_CANCELED )
      return code;
    if ( code != 0 )
    {
      mark_changed(out, j);
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
      mark_changed(out, j);
  }
  return 0;
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
