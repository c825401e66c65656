// Ignore rules: reading rule files, choosing the rules that apply to a path, exporting them.
#include "repo/ignore_rules.h"

#include "core/directories.h"
#include "core/error_state.h"
#include "core/file_ops.h"
#include "core/path_pattern.h"
#include "repo/abstract_fs.h"

#include <climits>
#include <cstring>
#include <string_view>

namespace {

constexpr const char *global_rule_file = "akignore";
constexpr const char *dir_rule_file = "/.akignore";

bool is_negated(const qstring &rule)
{
  return !rule.empty() && rule[0] == '!';
}

} // namespace

qstring join_rule_path(const char *a, const char *b)
{
  qstring out(a);
  if ( !out.empty() && out.view().back() != '/' )
    out += '/';
  out += b;
  return out;
}

void ignore_dir_node_t::export_rules(qvector<qstring> *out, const char *prefix) const
{
  for ( const qstring &rule : rules )
  {
    const char *pattern = rule.c_str() + (is_negated(rule) ? 1 : 0);
    const char *slash = std::strchr(pattern, '/');
    // A '/' before the last byte ties the rule to its directory; any other rule applies at every depth.
    const bool anchored = slash != nullptr && slash[1] != '\0';
    qstring text(is_negated(rule) ? "!" : "");
    text += anchored ? join_rule_path(prefix, pattern) : join_rule_path(join_rule_path(prefix, "**").c_str(), pattern);
    out->push_back(std::move(text));
  }
  for ( const auto &[name, child] : children )
    child->export_rules(out, join_rule_path(prefix, name.c_str()).c_str());
}

ignore_rules_t::ignore_rules_t(abstract_fs_t *fs, const char *root) : fs_(fs), root_(root != nullptr ? root : "")
{
  while ( !root_.empty() && root_.view().back() == '/' )
    qstring_remove_last_chars(&root_, 1);
  global_.prefix_length = root_.size();
  char exe[PATH_MAX];
  char dir[PATH_MAX];
  char file[PATH_MAX];
  if ( executable_path(exe, sizeof(exe)) != nullptr && path_directory(dir, sizeof(dir), exe)
       && join_path(file, sizeof(file), dir, global_rule_file, nullptr) != nullptr )
    load_rule_file(&global_, file);
}

void ignore_rules_t::load_rule_file(ignore_dir_node_t *node, const char *path)
{
  // A missing rule file is the normal case: it must leave no trace in the error state.
  const char *before = get_error_arg_text(0);
  const bool had_text = before != nullptr;
  const qstring saved(had_text ? before : "");
  byte_buffer_t bytes;
  const int code = fs_->read_whole_file(&bytes, path, lock_held_);
  error_arg_text(0, had_text ? saved.c_str() : nullptr);
  if ( code != 0 )
    return;
  size_t pos = 0;
  qstring line;
  while ( byte_buffer_next_line(bytes, &line, &pos) )
    if ( !line.empty() && line[0] != '#' )
      node->rules.push_back(line);
}

bool ignore_rules_t::collect_nodes(const char *path, std::vector<const ignore_dir_node_t *> *out)
{
  out->clear();
  const std::string_view p(path != nullptr ? path : "");
  const size_t root_length = root_.size();
  // Only a path inside the root: the root, then a separator ("/w" is no prefix of "/w2/x").
  if ( root_length >= p.size() || p.compare(0, root_length, root_.view()) != 0 || p[root_length] != '/' )
    return false;
  const size_t last_slash = p.rfind('/');
  if ( global_.rules.size() != 0 )
    out->push_back(&global_);

  ignore_dir_node_t *node = &global_;
  size_t start = root_length; // the component runs from behind start's separator (the root: empty)
  size_t end = root_length;
  while ( true )
  {
    const std::string component(p.substr(start, end - start));
    auto &child = node->children[component];
    if ( child == nullptr )
    {
      child = std::make_unique<ignore_dir_node_t>();
      child->prefix_length = end;
      std::string file(p.substr(0, end));
      file += dir_rule_file;
      load_rule_file(child.get(), file.c_str());
    }
    node = child.get();
    if ( node->rules.size() != 0 )
      out->push_back(node);
    if ( end >= last_slash )
      break;
    start = end + 1;
    end = p.find('/', start);
  }
  return !out->empty();
}

bool ignore_rules_t::is_ignored(const char *path)
{
  std::vector<const ignore_dir_node_t *> nodes;
  if ( !collect_nodes(path, &nodes) )
    return false;
  bool ignored = false;
  for ( const ignore_dir_node_t *node : nodes )
  {
    const char *text = path + node->prefix_length;
    for ( const qstring &rule : node->rules )
    {
      const bool negated = is_negated(rule);
      if ( path_pattern_match(text, rule.c_str() + (negated ? 1 : 0), 0) )
        ignored = !negated;
    }
  }
  return ignored;
}

void ignore_rules_t::export_rules(qvector<qstring> *out) const
{
  for ( const qstring &rule : global_.rules )
    out->push_back(rule);
  for ( const auto &[name, child] : global_.children )
    child->export_rules(out, name.c_str());
}
