// fs_file_t: a file opened through abstract_fs_t::open.
#pragma once

#include <cstdint>
#include <memory>

// An open file of a work-directory file system. Codes are those of abstract_fs_t. A file reports each
// read or write to its file system's progress sink (unless opened with FS_OPEN_NO_PROGRESS); an answer of
// 1 there cancels: the read or write answers 1. With FS_OPEN_DIGEST it keeps an MD5 of every byte read or
// written, and a committed close records it in the checksum cache.
// Promises: close is the only way to end a file, and it destroys the object.
class fs_file_t
{
public:
  fs_file_t(const fs_file_t &) = delete;
  fs_file_t &operator=(const fs_file_t &) = delete;

  // Reads up to *n bytes into buf; *n becomes the count read (0 at the end of the file).
  virtual int read(uint64_t *n, void *buf) = 0;
  // Writes *n bytes; after a short write *n is the count written.
  virtual int write(uint64_t *n, const void *bytes) = 0;
  // Moves to an offset from the start: 0 (or, in memory, the new position) on success.
  virtual int64_t seek(uint64_t offset) = 0;
  // The current position.
  virtual uint64_t tell() = 0;
  // Ends the file and destroys the object. With commit, written bytes take the file's place and the
  // digest is recorded; without commit, written bytes are thrown away. Answers the failure's code, else
  // 1 when a progress report cancelled, else 0.
  [[nodiscard]] virtual int close(bool commit) = 0;

protected:
  fs_file_t() = default;
  virtual ~fs_file_t() = default;
};

// Owns an open file: ends it without commit (written bytes are thrown away) unless its owner closed it first.
struct fs_file_discard_t
{
  void operator()(fs_file_t *file) const { (void)file->close(false); }
};
using fs_file_ptr = std::unique_ptr<fs_file_t, fs_file_discard_t>;
