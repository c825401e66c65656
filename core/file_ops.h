// File and directory operations: path text, file-system calls, streams, line readers and directory scans.
#pragma once

#include "core/clock_time.h"
#include "core/qstring.h"
#include "core/qvector.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Paths are UTF-8. Both '/' and '\' separate on input; paths built here use '/'. Just before every
// system call a path is checked (strict UTF-8, shorter than PATH_MAX) and its '\' become '/'.
// Drive letters ("C:") are recognised as text only. Failures return -1, null or false and set the
// thread's error code (qerrno): 1 = errno holds the cause, 2 = a partial write, 3 = end of file.
// A path that does not fit a buffer is an error (errno ENAMETOOLONG), never cut short.

// ---------------------------------------------------------------------------------------------------------
// Path text (no file-system access)

// Pointer into the path behind its last '/' or '\'; without one, behind a leading drive ("C:x" gives
// "x"); else the path itself. Null for null.
const char *path_file_name(const char *path);
char *path_file_name(char *path);

// The directory part of path into buf (which may be the path itself; a null buf only tests):
// "a/b/c" gives "a/b", "C:/x" keeps the drive root "C:/", "C:x" gives "C:", "/x" gives "/".
// Without a directory part writes "." and answers false. False as well for a null path, a size below 2,
// and a part that does not fit (errno ENAMETOOLONG, qerrno 1; buf then holds "").
bool path_directory(char *buf, ptrdiff_t size, const char *path);

// True when, after an optional drive letter and ':', the path starts with '/' or '\'.
bool is_absolute_path(const char *path);

// Joins the components (a null-terminated argument list) with one '/' each: separators at the joints
// are dropped, empty components add nothing, and a drive root stays a root ("C:/" and "x" give "C:/x").
// The first component may be buf itself, to extend a path in place. Returns buf; null for a null buf or
// when the result does not fit (errno ENAMETOOLONG, qerrno 1). A negative size is internal error 1225.
char *join_path(char *buf, ptrdiff_t size, const char *first, ...);
// As join_path, with the further components in a null-terminated array (rest may be null).
char *join_path_list(char *buf, ptrdiff_t size, const char *first, const char *const *rest);

// The path with the extension of its file name replaced, or added after a '.' when it has none; a
// leading '.' of the name is not an extension, and a leading '.' of ext is skipped (with "exe":
// "a.b" -> "a.exe", ".cfg" -> ".cfg.exe", "dir/" -> "dir/.exe"). path may be buf. Returns buf, or null
// when the result does not fit (ENAMETOOLONG). A negative size is internal error 1225.
char *set_path_extension(char *buf, ptrdiff_t size, const char *path, const char *ext);

// The absolute form of path: relative to the working directory, with "." and ".." segments and repeated
// separators resolved as text (links are not followed), separators '/'. When that does not fit, the path
// copied unchanged; when neither fits, null (ENAMETOOLONG). A negative size is internal error 1225.
char *full_path(char *buf, ptrdiff_t size, const char *path);

// The working directory. It must fit in size - 1 bytes; any failure ends the process through
// fatal_printf("getcwd: %s") with the text of errno (ERANGE when it does not fit).
char *current_directory(char *buf, ptrdiff_t size);

// ---------------------------------------------------------------------------------------------------------
// File system

// True when path names an existing entry that is not a directory (links are followed).
bool file_exists(const char *path);
// True when path names an existing directory.
bool is_directory(const char *path);
// Creates one directory level (mode is not used: the process umask decides). 0, or -1 with qerrno 1.
[[nodiscard]] int make_directory(const char *path, int mode);
// Removes a file (not a directory). 0, or -1 with qerrno 1; an invalid name sets errno EILSEQ.
[[nodiscard]] int delete_file(const char *path);
// Renames old_path to new_path, replacing an existing file atomically; when it fails both files stay as
// they were. 0, or -1 with qerrno 1; invalid names set errno EILSEQ.
[[nodiscard]] int rename_file(const char *old_path, const char *new_path);

// Status of a file-system entry, filled by file_stat. Times are packed (pack_time).
struct file_info_t
{
  uint64_t device = 0;
  uint32_t inode = 0;
  uint32_t mode = 0;         // file type and permission bits (0x8000 regular file, 0x4000 directory)
  int32_t link_count = 0;
  int32_t user_id = 0;
  int32_t group_id = 0;
  uint64_t special_device = 0;
  int64_t size = 0;
  uint64_t reserved = 0;     // always 0
  uint64_t access_time = 0;
  uint64_t modification_time = 0;
  uint64_t creation_time = 0; // birth time where the file system records it, else the status-change time
};

// Status of path (links followed) into info (may be null). 0, or -1 with errno telling why (EILSEQ for an
// invalid name); qerrno is not changed.
[[nodiscard]] int file_stat(const char *path, file_info_t *info);
// The same for the file an open stream reads or writes (its buffered bytes are not flushed first).
[[nodiscard]] int file_stat(FILE *fp, file_info_t *info);

// Attribute bits of a scanned entry.
constexpr uint32_t DIR_ATTR_READONLY = 0x01; // the owner may not write it
constexpr uint32_t DIR_ATTR_SUBDIR = 0x10;   // a directory

// One directory scan: the entries of a directory whose names match the wildcard pattern of the last path
// component ('*' any run, '?' any one byte; case-sensitive). "." and ".." are entries like the others.
// Promises: between a successful dir_scan_first and dir_scan_close (or the destructor) the handle is open;
// the current entry's fields describe the last entry returned.
struct dir_scan_t
{
  dir_scan_t() = default;
  dir_scan_t(const dir_scan_t &) = delete;
  dir_scan_t &operator=(const dir_scan_t &) = delete;
  ~dir_scan_t();

  uint32_t attributes = 0;  // DIR_ATTR_* bits of the current entry
  char name[NAME_MAX + 1] {}; // its name
  int64_t size = 0;         // its size in bytes
  uint16_t dos_date = 0;    // its local modification date: (year - 1980) * 512 + month * 32 + day
  uint16_t dos_time = 0;    // its local modification time: hour * 2048 + minute * 32 + second / 2
  void *handle = nullptr;   // the open directory (owned); null when closed
  uint32_t filter = 0;      // directories are returned only when this holds DIR_ATTR_SUBDIR
  qstring pattern;          // the name pattern
};

// Starts a scan of pattern ("dir/*.txt", "dir/name", "*") and returns its first entry: 0, or -1 when
// nothing matches (qerrno 1; errno ENOENT, or the cause when the directory cannot be read). A scan that
// found nothing is closed.
[[nodiscard]] int dir_scan_first(const char *pattern, dir_scan_t *scan, uint32_t filter);
// The next entry: 0, or -1 at the end (the handle stays open until dir_scan_close).
[[nodiscard]] int dir_scan_next(dir_scan_t *scan);
// Closes the scan's handle when one is open.
void dir_scan_close(dir_scan_t *scan);

// ---------------------------------------------------------------------------------------------------------
// Streams: standard I/O streams, never inherited by launched programs. Null and qerrno 1 on failure.

FILE *file_open_read(const char *path);   // "rb"
FILE *file_open_text(const char *path);   // "r": text and binary reads are the same here
FILE *file_open_update(const char *path); // "rb+": an existing file for reading and writing
FILE *file_open_write(const char *path);  // "wb": created or truncated
FILE *file_open_append(const char *path); // "a"
// The caller's fopen mode (at most 18 characters; a longer one fails with EINVAL). "x" creates
// exclusively, as fopen does.
FILE *file_open_mode(const char *path, const char *mode);
// Creates path for writing, failing with errno EEXIST when anything of that name exists (O_CREAT|O_EXCL,
// links are not followed): the way to make a file under a name chosen to be unused.
FILE *file_create_exclusive(const char *path);

// The stream operations below accept a null stream: they then fail with errno EBADF and qerrno 1
// (-1, or non-zero for file_commit).

// Closes the stream. 0, or non-zero with qerrno 1.
int file_close(FILE *fp);
// Reads up to n bytes; fewer than n sets qerrno 3 at the end of the file, else 1. n = 0 gives 0. A
// negative n is internal error 1225.
[[nodiscard]] ptrdiff_t file_read(FILE *fp, void *buf, ptrdiff_t n);
// Writes n bytes; fewer than n sets qerrno 2 when some were written, else 1. n = 0 gives 0. A negative n
// is internal error 1225.
[[nodiscard]] ptrdiff_t file_write(FILE *fp, const void *buf, ptrdiff_t n);
// Moves the position (SEEK_SET, SEEK_CUR, SEEK_END). 0, or non-zero with qerrno 1.
[[nodiscard]] int file_seek(FILE *fp, int64_t offset, int origin);
// The position, or -1 with qerrno 1.
int64_t file_tell(FILE *fp);
// The stream's size, its position unchanged; -1 with qerrno 1 when it cannot be told. A null stream is
// internal error 552.
int64_t file_size(FILE *fp);
// Flushes the stream and makes the system write the file to the disk (fsync). 0, or non-zero with qerrno 1.
[[nodiscard]] int file_commit(FILE *fp);
// fputc and fputs.
int file_putc(int c, FILE *fp);
int file_puts(const char *text, FILE *fp);

// The next line of the stream into out, without its '\n' (a '\r' before it stays): its length, or -1 at
// the end of the file (and -1 with qerrno 1 on a read error). The last line may lack its '\n'.
ptrdiff_t file_read_line(qstring *out, FILE *fp);

// The next line of buf from *pos into out; it ends at "\n" or "\r\n" (neither is part of it; a lone '\r'
// is). *pos moves past the terminator, or to the end. False only when *pos is at or past the end.
bool byte_buffer_next_line(const byte_buffer_t &buf, qstring *out, size_t *pos);
