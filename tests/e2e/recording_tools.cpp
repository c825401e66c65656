// The end-to-end run's external programs: stored associations and the recording viewer.
#include "tests/e2e/recording_tools.h"

#include "client/views/file_assocs.h"
#include "platform/registry_store.h"
#include "repo/database_files.h"
#include "repo/disassembler_commands.h"

#include <cstring>
#include <fstream>

namespace fs = std::filesystem;

bool store_associations(const fs::path &config, const std::vector<stored_association_t> &list, std::string *error)
{
  registry_store_t store((config / "Quorvin").string());
  const std::string root = std::string("Software\\Quorvin\\akui\\") + file_assocs_key;
  int code = store.begin(true);
  if ( code == 0 && store.key_exists(root) )
    code = store.remove_key(root, true);
  for ( size_t i = 0; code == 0 && i < list.size(); ++i )
  {
    const stored_association_t &a = list[i];
    const std::string key = root + "\\" + std::to_string(i);
    bool created = false;
    code = store.create_key(key, created);
    const std::string fields[file_assoc_t::field_count] = {
      a.ext,  a.view, a.view_args, a.diff, a.diff_args, a.merge,
      a.merge_args.size() > 0 ? a.merge_args[0] : "", a.merge_args.size() > 1 ? a.merge_args[1] : "",
      a.merge_args.size() > 2 ? a.merge_args[2] : "", a.merge_args.size() > 3 ? a.merge_args[3] : ""};
    for ( size_t f = 0; code == 0 && f < file_assoc_t::field_count; ++f )
      code = store.set_value(key, file_assoc_t::field_names[f], registry_value_t::text(fields[f]));
  }
  if ( code != 0 )
  {
    store.abandon();
    *error = std::strerror(code);
    return false;
  }
  code = store.end();
  if ( code != 0 )
    *error = std::strerror(code);
  return code == 0;
}

stored_association_t database_association(const std::string &ext)
{
  const std::string program = zuk_executable_path(ext == "z64").c_str();
  stored_association_t a {ext, program, "", program, default_diff_arguments().c_str(), program, {}};
  for ( int method = 1; method <= 4; ++method )
    a.merge_args.emplace_back(default_merge_arguments(method).c_str());
  return a;
}

recording_viewer_t::recording_viewer_t(const fs::path &folder)
  : program_((folder / "viewer").string()), record_((folder / "viewer.record").string())
{
  // One write per run, so that a reader never sees half a line.
  std::ofstream(program_) << "#!/bin/sh\n"
                             "line=''\n"
                             "for a in \"$@\"; do line=\"$line$a=$(cat \"$a\" 2>/dev/null) \"; done\n"
                             "printf '%s\\n' \"$line\" >> '"
                          << record_ << "'\n";
  fs::permissions(program_, fs::perms::owner_all);
}

std::vector<std::string> recording_viewer_t::runs() const
{
  std::vector<std::string> lines;
  std::ifstream in(record_);
  for ( std::string line; std::getline(in, line); )
    lines.push_back(line);
  return lines;
}
