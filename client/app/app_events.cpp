// The application's answer to the facade's change events, and the cache of the user's opened files.
#include "client/app/akui_app.h"

#include "repo/arkive_errors.h"

namespace {

constexpr uint64_t arkive_files_kind = uint64_t(1) << akui_kind_arkive_files;

} // namespace

void *akui_app_t::handle(uint64_t code, va_list va)
{
  const auto forget_opened_files = [this] {
    opened_files_.clear();
    opened_files_stale_ = true;
  };
  switch ( code )
  {
    case arkive_event_site_switched:
      connection_info();
      [[fallthrough]];
    case arkive_event_disconnected:
      forget_opened_files();
      find_results.clear();
      break;
    case arkive_event_worklist_committed:
    case arkive_event_merge_finished:
      refresh_widgets(arkive_files_kind, true);
      forget_opened_files();
      break;
    case arkive_event_files_synced:
    case arkive_event_filters_set:
      refresh_widgets(arkive_files_kind, true);
      break;
    case arkive_event_files_migrated:
    case arkive_event_files_added:
    case arkive_event_files_edited:
    case arkive_event_files_deleted:
    case arkive_event_files_copied:
    case arkive_event_files_moved:
    case arkive_event_files_reverted:
      forget_opened_files();
      break;
    case arkive_event_connected:
    {
      const char *text = va_arg(va, const char *);
      server_text = text != nullptr ? text : "";
      break;
    }
    default:
      break;
  }
  return nullptr;
}

const worklist_file_t *akui_app_t::opened_file(const char *path)
{
  if ( opened_files_stale_ )
  {
    qvector<worklist_file_t> files;
    const int code = facade.get_worklist_files(&files, nullptr, nullptr, -1);
    if ( code != ARKIVE_OK )
      show_server_error(code, "Failed to retrieve opened files");
    for ( worklist_file_t &file : files )
    {
      std::string key(file.path.view());
      opened_files_.insert_or_assign(std::move(key), std::move(file));
    }
    opened_files_stale_ = false;
  }
  const auto found = opened_files_.find(path != nullptr ? path : "");
  return found != opened_files_.end() ? &found->second : nullptr;
}
