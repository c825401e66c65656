// ignore_rules_t: which paths of a work tree the ignore files "akignore" and ".akignore" leave out.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

class abstract_fs_t;

// The rules of one rule file and the nodes of the directories below it. Promises: rules keep the file's
// order and its lines as written ("!" included); children are keyed by one path component in byte order
// (the empty component is the work root) and owned by the node.
class ignore_dir_node_t
{
public:
  // Appends this node's rules, then its children's in name order, as rules relative to the work root:
  // each rule becomes "!" for a negated one, then join_rule_path(prefix, pattern) when the pattern holds a
  // '/' other than its last byte, else join_rule_path(join_rule_path(prefix, "**"), pattern). A child's
  // prefix is join_rule_path(prefix, its name).
  void export_rules(qvector<qstring> *out, const char *prefix) const;

  qvector<qstring> rules;
  std::map<std::string, std::unique_ptr<ignore_dir_node_t>> children;
  // Length of the path of the directory that holds the rule file; rules are matched against the rest of a
  // path behind it, which begins with '/'.
  size_t prefix_length = 0;
};

// a, then '/' when a is not empty and does not end in '/', then b.
qstring join_rule_path(const char *a, const char *b);

// The ignore rules of one work root: the global file "akignore" beside the running executable, then the
// ".akignore" of the work root and of every directory down to the one that holds a path. Each rule line is
// a path pattern (path_pattern_match) matched against the part of the path behind the directory of its
// rule file; a line beginning with '!' un-ignores. The last matching rule wins; none means not ignored.
// Rule files are read through the file system, each at most once per object (a missing or unreadable one
// counts as empty and leaves the thread's error text as it was). Lines end in LF or CRLF; empty lines and
// lines beginning with '#' are skipped.
//
// Only paths inside the root are judged: the root must be followed by '/' in the path (so the root "/w" does
// not cover "/w2/x"); any other path is not ignored. Comparison is byte by byte, case-sensitive.
// Not thread-safe: nodes are created as paths need them.
class ignore_rules_t
{
public:
  // root: the work root (a trailing '/' is dropped, so "/" covers every absolute path). Reads the global
  // rule file at once.
  ignore_rules_t(abstract_fs_t *fs, const char *root);
  ignore_rules_t(const ignore_rules_t &) = delete;
  ignore_rules_t &operator=(const ignore_rules_t &) = delete;

  // True when the path is ignored. A directory is tested with a trailing '/', which makes its own
  // ".akignore" apply too.
  bool is_ignored(const char *path);
  // The nodes whose rules apply to path, outermost first (the global file, the root's, then each directory
  // down to the one holding the path); only nodes with rules are listed. True when the list is not empty.
  bool collect_nodes(const char *path, std::vector<const ignore_dir_node_t *> *out);
  // The global rules as written, then every rule file read so far as rules relative to the work root.
  void export_rules(qvector<qstring> *out) const;

  const ignore_dir_node_t &global_node() const { return global_; }
  // While set, rule files are read as by a caller that holds the file system's lock (locked variant).
  void set_lock_held(bool held) { lock_held_ = held; }
  bool lock_held() const { return lock_held_; }

private:
  void load_rule_file(ignore_dir_node_t *node, const char *path);

  abstract_fs_t *fs_; // not owned
  qstring root_;
  ignore_dir_node_t global_;
  bool lock_held_ = false;
};
