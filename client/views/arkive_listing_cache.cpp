// The application's cache of server folder listings.
#include "client/views/arkive_listing_cache.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_paths.h"
#include "repo/arkive_errors.h"

#include <algorithm>

namespace {

// The answer of a folder pattern that matched nothing: the folder is empty.
constexpr int no_matching_files = 43;
// GET_ARKIVE_FILES options: files, folders, and with bit 0 the files deleted on the server too.
constexpr int32_t listing_options = 6;
constexpr int32_t listing_with_deleted = 1;
// GET_ARKIVE_FILES revision: the one the site holds.
constexpr int32_t site_revision_query = -3;

bool is_folder_record(const arkive_file_info_t &record)
{
  return record.last_revision == 0;
}

// The lookup of the file records by path, whatever order the server used.
void index_files(arkive_folder_listing_t *listing)
{
  listing->folder_count = 0;
  listing->files_by_path.clear();
  for ( size_t i = 0; i < listing->records.size(); ++i )
  {
    if ( is_folder_record(listing->records[i]) )
      ++listing->folder_count;
    else
      listing->files_by_path.push_back(i);
  }
  const auto &records = listing->records;
  std::stable_sort(listing->files_by_path.begin(), listing->files_by_path.end(),
                   [&](size_t a, size_t b) { return records[a].path.view() < records[b].path.view(); });
}

} // namespace

bool arkive_listing_cache_t::get_listing(qvector<arkive_file_info_t> *out, const char *folder, bool quiet,
                                         bool with_deleted)
{
  if ( facade_ == nullptr || !facade_->is_usable() )
    return false;
  const std::string_view path(folder);
  if ( path.ends_with('/') && path != "//" )
    return false;
  auto found = folders_.find(std::string(path));
  if ( found == folders_.end() )
  {
    qvector<arkive_file_info_t> records;
    qvector<qstring> patterns;
    patterns.push_back(join_arkive_path({folder, "*"}));
    const int code = facade_->get_arkive_files(&records, patterns, site_revision_query,
                                               listing_options | (with_deleted ? listing_with_deleted : 0));
    if ( code != ARKIVE_OK && code != no_matching_files )
    {
      if ( !quiet )
        show_server_error(code, "Failed to retrieve arkive files");
      return false;
    }
    arkive_folder_listing_t listing;
    if ( code == ARKIVE_OK )
      listing.records = std::move(records);
    index_files(&listing);
    found = folders_.emplace(std::string(path), std::move(listing)).first;
  }
  if ( out != nullptr )
    *out = found->second.records;
  return true;
}

const arkive_file_info_t *arkive_listing_cache_t::find_file(const char *path) const
{
  if ( std::string_view(path).ends_with('/') )
    return nullptr;
  qstring folder;
  split_arkive_path(&folder, nullptr, path);
  const auto found = folders_.find(std::string(folder.view()));
  if ( found == folders_.end() )
    return nullptr;
  const arkive_folder_listing_t &listing = found->second;
  const std::string_view wanted(path);
  const auto at = std::lower_bound(listing.files_by_path.begin(), listing.files_by_path.end(), wanted,
                                   [&](size_t i, std::string_view key) { return listing.records[i].path.view() < key; });
  if ( at == listing.files_by_path.end() || listing.records[*at].path.view() != wanted )
    return nullptr;
  return &listing.records[*at];
}

bool fetch_folder_listing(qvector<arkive_file_info_t> *out, const char *folder, bool quiet)
{
  akui_app_t *app = akui_app();
  return app->listing_cache().get_listing(out, folder, quiet, app->show_deleted_files());
}

const arkive_file_info_t *find_arkive_file_info(const char *path)
{
  return akui_app()->listing_cache().find_file(path);
}

int rebuild_tree_structure_activate(ui_action_activation_ctx_t *)
{
  akui_app_t *app = akui_app();
  app->forget_listings(true);
  app->mark_opened_files_stale();
  return 1;
}
