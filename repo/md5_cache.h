// md5_cache_t: the checksum cache of a work directory, one ".arkive_cache" file per directory.
#pragma once

#include "core/qvector.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

class abstract_fs_t;
struct change_status_item_t;
struct file_info_t;

// What the cache remembers of one file: the status its digest was taken at, and the digest.
struct md5_cache_entry_t
{
  uint64_t modification_time = 0; // as the owning file system's stat gives it
  int64_t size = 0;
  uint8_t digest[16] {};
};

// Remembers per directory the MD5 digest of each file with the modification time and size it was taken
// at; a lookup with the same time and size answers the digest without reading the file. The cache file
// ".arkive_cache" of a directory holds one line per file, in file-name order:
//   "<modification time> <size> <32 upper-case hex digits> <name>\n"
// The name is the rest of the line, blanks included; a name holding a line feed is never cached.
//
// Promises: a directory's map is read once and kept; directories are keyed one way everywhere (the
// path's directory part with '\' turned into '/'); recorded and forgotten entries wait in memory until a
// flush; every cache file is read and written through the owning file system (so a confined file system
// confines them too); a cache file that cannot be read or parsed never fails an operation, and one that
// cannot be written is written again at the next flush that touches its directory. Destroying the cache
// writes nothing. Not thread-safe: used from the thread that serves repository exchanges.
class md5_cache_t
{
public:
  using directory_map_t = std::map<std::string, md5_cache_entry_t>; // file name -> entry, byte order

  explicit md5_cache_t(abstract_fs_t *fs) : fs_(fs) {}

  // True and *digest when the directory's cache file (read strictly: a damaged file counts as none)
  // has an entry for the file with exactly this modification time and size.
  bool lookup(const char *path, const file_info_t &status, uint8_t digest[16]);
  // Remembers the digest for a later flush. A path in another directory than the last one recorded
  // flushes first.
  void record(const char *path, const file_info_t &status, const uint8_t digest[16]);
  // Drops the path's entry at the next flush.
  void forget(const char *path);
  // Applies forgotten paths, then recorded digests, to their directories' maps and writes each touched
  // directory's cache file (removing it when its map became empty).
  void flush();

  // The map of a directory, read from its cache file at the first request. A file that is missing,
  // empty or unreadable: strict answers null and keeps nothing, else an empty map is kept. A bad line
  // ends the reading: strict answers null and keeps nothing, else the lines before it are kept.
  const directory_map_t *load_directory(const std::string &directory, bool strict);
  // Writes the map as the directory's cache file, or removes the file for an empty map. True when that
  // worked.
  bool write_directory(const std::string &directory, const directory_map_t &map);

  // The change scan behind abstract_fs_t::scan_changes (see change_scan.h): fills *out, hashes the files
  // whose cached digest is stale and records their new digests. In SCAN_MODE_REPORT_PROBLEMS, and only
  // when the scan was not cancelled, *byte_total and *problems receive the bytes of the regular files and
  // the number of files that could not be checked.
  int scan(byte_buffer_t *out, const qvector<change_status_item_t> &items, uint32_t mode, uint64_t *byte_total,
           uint32_t *problems);

private:
  directory_map_t *load_for_change(const std::string &directory);
  // The first pass of scan: every item's status against the size the server expects and the digest the cache
  // knows, marking the changed items in *out; the items whose digest must be computed go to *to_hash (their
  // bytes added to *bytes_to_hash). Reports problems and totals as scan does. 0, or the cancelling answer.
  int scan_statuses(byte_buffer_t *out, const qvector<change_status_item_t> &items, uint32_t mode,
                    std::vector<size_t> *to_hash, uint64_t *bytes_to_hash, uint64_t *byte_total, uint32_t *problems);
  // The second pass of scan: hashes the listed items, marks the ones whose digest differs and keeps the
  // digests of files that did not change while they were read. 0, or ARKIVE_CANCELED.
  int hash_listed(byte_buffer_t *out, const qvector<change_status_item_t> &items, const std::vector<size_t> &to_hash,
                  uint64_t bytes_to_hash);

  abstract_fs_t *fs_; // the owning file system; not owned
  std::map<std::string, directory_map_t> loaded_;
  std::map<std::string, md5_cache_entry_t> pending_; // full path -> entry
  std::set<std::string> forgotten_;                  // full paths
  std::string current_directory_;                    // directory of the last recorded path
};

// Gives the file system a new, empty checksum cache.
void attach_md5_cache(abstract_fs_t *fs);
