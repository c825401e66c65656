// Directory walks behind glob and list_dir: the walk over the operating system's directories and the
// visitors that collect paths and listing lines.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "repo/abstract_fs.h"

#include <cstddef>
#include <cstdint>
#include <utility>

class ignore_rules_t;

// Visits the entries that a path or a pattern selects. Promises: walk calls visit once per entry, in the
// order the system lists them, and stays out of a directory whose visit set `skip`.
class dir_visitor_t
{
public:
  virtual ~dir_visitor_t() = default;

  // One entry; a non-zero answer ends the walk with it.
  virtual int visit(const char *path, bool is_directory) = 0;

  // Walks text over the operating system's directories ('\' counts as '/'; an empty text is "/"):
  //  - a text ending in '/' or naming an existing directory: that directory's entries, recursively;
  //  - otherwise the entries of the text's directory whose names match its last component ('*' any run,
  //    '?' one byte), without recursion; a plain file name selects that file.
  // Names are matched case-sensitively, as the Linux file system names them. Entries ".", ".." and
  // ".arkive_cache" are never visited. A reported path is the pattern's directory part (path_directory:
  // "." for a bare pattern), a '/' and the entry's name, never cut. A directory reached through a symbolic
  // link is visited but not entered, so that a link loop cannot make the walk endless. A directory that
  // cannot be read counts as empty. Answers 0, or the first non-zero answer of visit.
  int walk(const char *text);

  bool skip = false; // set by visit on a directory to keep the walk out of it; the walk clears it
};

// Collects the paths that glob reports. Promises: a directory that the rules ignore (tested with a
// trailing '/') is skipped as a whole; a file is kept unless it is named ".arkive_cache" or ignored; each
// entry of a reported kind first asks the stop check, whose true answers 1.
class glob_visitor_t : public dir_visitor_t
{
public:
  // rules may be null (nothing is ignored); out and rules are not owned.
  glob_visitor_t(qvector<qstring> *out, ignore_rules_t *rules, glob_stop_check_t stop, uint32_t flags)
    : out_(out), rules_(rules), stop_(std::move(stop)), flags_(flags)
  {
  }

  int visit(const char *path, bool is_directory) override;

private:
  bool stop_requested() const { return stop_ && stop_(); }

  qvector<qstring> *out_;
  ignore_rules_t *rules_;
  glob_stop_check_t stop_;
  uint32_t flags_; // FS_GLOB_FILES, FS_GLOB_DIRECTORIES
};

// Collects listing lines on the process file system: a directory's text is "<DIR>", a file's text its
// first bytes read through the file system (only as many as a line shows), with '?' appended when the
// status, the open, the read or the close fails ("?" alone when the file cannot be opened or is not a
// regular file, which is never opened). Files named ".arkive_cache" give no line.
class listing_visitor_t : public dir_visitor_t
{
public:
  // Neither out nor fs is owned.
  listing_visitor_t(qvector<qstring> *out, abstract_fs_t *fs) : out_(out), fs_(fs) {}

  int visit(const char *path, bool is_directory) override;

private:
  qvector<qstring> *out_;
  abstract_fs_t *fs_;
};

// Bytes of a file's text that a listing line shows.
constexpr size_t listing_text_width = 10;

// One listing line: "- ", the text up to its first zero byte cut or blank-padded to 10 bytes, ' ' and the
// path.
qstring listing_line(const char *text, const char *path);
