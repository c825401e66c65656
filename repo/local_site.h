// local_site_t: one local site (a work directory bound to a server site) and its path conversions.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <functional>

#include <memory>

class abstract_fs_t;
class merge_job_t;
struct merge_side_t;

// The record of one local site. Promises: `root` is a local path with '/' separators; `fs` is not owned
// and must outlive the record whenever a path operation runs.
class local_site_t
{
public:
  local_site_t() = default;
  local_site_t(const char *site_name, const char *site_root, abstract_fs_t *file_system)
    : name(site_name), root(site_root), fs(file_system)
  {
  }
  virtual ~local_site_t() = default;

  // The absolute form of path: '\' becomes '/'; an absolute path (after an optional drive "C:") is
  // returned as it is, its "." and ".." segments kept; a relative one is joined to fs->getcwd() and its
  // empty, "." and ".." segments are resolved as text. Null or "" give "".
  qstring absolute_local_path(const char *path) const;
  // The local path of a server path: join_site_path(root, server_path).
  qstring local_path_of(const char *server_path) const;
  // The server path of a local path: "//" plus its part below root (compared without regard to ASCII
  // case; the root itself gives "//"). A path outside the root comes back as absolute_local_path(path);
  // so does one whose part below the root holds a ".." segment, since it may lead outside. Null gives "";
  // "", "@..." and "//..." come back unchanged.
  qstring server_path_of(const char *path) const;

  // Starts the disassembler comparing two databases with the argument template templ (the environment
  // variable "ARKIVE_DIFF" replaces it when set) and does not wait for it: 0 when it was started, else 33
  // with the detail text in string argument 0 of the thread's error state.
  virtual int diff(const merge_side_t &local, const merge_side_t &remote, const char *templ);
  // A new, empty merge job for a merge of one of the site's files.
  virtual std::unique_ptr<merge_job_t> new_merge_job();

  // Turns the patterns a user gives to the file commands into the server paths of the files they name,
  // leaving out what the site's ignore rules exclude. A pattern is made absolute (absolute_local_path); a
  // server path ("//...") stands for its local path under the root. A wildcard pattern ('*', '?') or a
  // directory is globbed for files; one that selects nothing adds the message "no matching files for local
  // pattern '<pattern>'". A plain file that the rules ignore adds "<local path>: has been ignored"; with
  // existing_only a missing one is left out silently. messages and rules may be null. stop is asked after
  // each plain pattern and by each glob; true stops: the answer is false and out keeps, in local form, what
  // was added so far. Otherwise every path of out is turned into its server form (server_path_of), rules
  // (when given) receive the global rules as written and then the rules of every rule file read, relative
  // to the root (ignore_rules_t::export_rules), and the answer is true.
  bool expand_local_patterns(qvector<qstring> *out, qvector<qstring> *messages, const qvector<qstring> &patterns,
                             bool existing_only, const std::function<bool()> &stop, qvector<qstring> *rules) const;

  qstring name;             // the site's name
  qstring root;             // the site's root directory
  abstract_fs_t *fs = nullptr; // the file system of the site's files; not owned
};
