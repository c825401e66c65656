// The application's answer to the facade's change events, and the cache of the user's opened files.
#include "client/app/akui_app.h"

#include "client/views/arkive_listing_cache.h"

#include "repo/arkive_errors.h"

namespace {

constexpr uint64_t arkive_files_kind = uint64_t(1) << akui_kind_arkive_files;

} // namespace

void *akui_app_t::handle(uint64_t code, va_list va)
{
  const auto forget_opened_files = [this] { mark_opened_files_stale(); };
  switch ( code )
  {
    case arkive_event_site_switched:
      connection_info();
      [[fallthrough]];
    case arkive_event_disconnected:
      forget_listings(false);
      forget_opened_files();
      find_results.clear();
      break;
    case arkive_event_worklist_committed:
    case arkive_event_merge_finished:
      forget_listings(true);
      forget_opened_files();
      break;
    case arkive_event_files_synced:
    case arkive_event_filters_set:
      forget_listings(true);
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
      forget_listings(false);
      const char *text = va_arg(va, const char *);
      server_text = text != nullptr ? text : "";
      break;
    }
    default:
      break;
  }
  return nullptr;
}

bool akui_app_t::is_resolving(const char *path) const
{
  for ( const qstring &resolving : merges_in_progress )
    if ( resolving == path )
      return true;
  return false;
}

void akui_app_t::mark_opened_files_stale()
{
  opened_files_.clear();
  opened_files_stale_ = true;
}

arkive_listing_cache_t &akui_app_t::listing_cache()
{
  if ( server_files_ == nullptr )
    server_files_ = std::make_unique<arkive_listing_cache_t>(&facade);
  return *server_files_;
}

void akui_app_t::forget_listings(bool refresh)
{
  if ( server_files_ != nullptr )
    server_files_->clear();
  if ( refresh )
    refresh_widgets(arkive_files_kind, true);
}

void akui_app_t::destroy_listing_cache()
{
  server_files_.reset();
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
