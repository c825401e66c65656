// Expanding the patterns of the file commands into the files to send, under the site's ignore rules.
#include "repo/local_site.h"

#include "repo/abstract_fs.h"
#include "repo/ignore_rules.h"

#include <cstring>

bool local_site_t::expand_local_patterns(qvector<qstring> *out, qvector<qstring> *messages,
                                         const qvector<qstring> &patterns, bool existing_only,
                                         const std::function<bool()> &stop, qvector<qstring> *rules) const
{
  ignore_rules_t ignore(fs, root.c_str());
  for ( const qstring &pattern : patterns )
  {
    const qstring absolute = absolute_local_path(pattern.c_str());
    // A server path names a place below the site root; the file system only knows its local form, so the
    // wildcard and directory tests and the glob work on that too.
    const bool is_server_path = absolute.size() >= 2 && absolute[0] == '/' && absolute[1] == '/';
    const qstring local = is_server_path ? local_path_of(absolute.c_str()) : absolute;

    if ( std::strpbrk(local.c_str(), "*?") != nullptr || fs->is_dirpath(local.c_str()) )
    {
      const size_t before = out->size();
      if ( !fs->glob(out, local.c_str(), &ignore, nullptr, stop, FS_GLOB_FILES) )
        return false;
      if ( out->size() == before && messages != nullptr )
        format_to_string(&qstrvec_push_empty(messages), "no matching files for local pattern '%s'", absolute.c_str());
      continue;
    }
    if ( ignore.is_ignored(local.c_str()) )
    {
      if ( messages != nullptr )
        format_to_string(&qstrvec_push_empty(messages), "%s: has been ignored", local.c_str());
      continue;
    }
    if ( !existing_only || fs->stat(nullptr, local.c_str()) == 0 )
      out->push_back(absolute);
    if ( stop && stop() )
      return false;
  }
  for ( qstring &path : *out )
    path = server_path_of(path.c_str());
  if ( rules != nullptr )
    ignore.export_rules(rules);
  return true;
}
