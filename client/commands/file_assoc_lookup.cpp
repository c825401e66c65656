// The installed association finder.
#include "client/commands/file_assoc_lookup.h"

#include "client/app/akui_app.h"

namespace {

// A finder standing in for the application's associations (tests install their own).
file_assoc_finder_t *installed_finder = nullptr;

} // namespace

void install_file_assoc_finder(file_assoc_finder_t *finder)
{
  installed_finder = finder;
}

bool find_file_assoc_command(file_assoc_command_t *out, int kind, const char *left, const char *right,
                             const char *third, int merge_method, bool expand)
{
  if ( installed_finder != nullptr )
    return installed_finder->find_file_assoc_command(out, kind, left, right, third, merge_method, expand);
  const akui_app_t *app = akui_app();
  return app != nullptr && app->find_file_assoc_command(out, kind, left, right, third, merge_method, expand);
}
