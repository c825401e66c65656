// The client's logger: where the log file goes.
#include "client/app/akui_logger.h"

#include "core/environment.h"

void akui_logger_t::log_destination(qstring &path, bool &silent)
{
  path = log_path_;
  if ( path.empty() && !read_env_var("AKUILOG", &path) )
    path.clear();
  silent = read_env_var("AKUILOG_SILENT", nullptr);
}
