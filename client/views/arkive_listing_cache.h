// The application's cache of server folder listings: each folder fetched once, single files looked up without
// asking the server.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "repo/wire_records.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class arkive_redirector_t;

// One cached folder: its records in the order the server listed them, and a lookup of its file records by path
// that does not depend on that order.
struct arkive_folder_listing_t
{
  qvector<arkive_file_info_t> records;
  // The records that are folders (last revision 0); the server lists them first.
  int64_t folder_count = 0;
  // Indexes of the file records (last revision not 0), ordered by path byte by byte.
  std::vector<size_t> files_by_path;
};

// Folder listings keyed by server folder path ("//" for the root, "//dir" for a subfolder; only the root ends
// with "/"). Promises: a folder is fetched at most once until forget(); a failed fetch caches nothing; find_file
// never sends a request and never answers a folder record. GUI thread only.
class arkive_listing_cache_t
{
public:
  explicit arkive_listing_cache_t(arkive_redirector_t *facade) : facade_(facade) {}

  // The folder's records into *out (when given). Without a usable connection, or for a folder path that ends
  // with "/" other than "//", false without a request. An uncached folder is fetched with the pattern
  // "folder/*" (deleted files too when with_deleted); answer 43 caches it as empty; any other failure logs
  // "Failed to retrieve arkive files" unless quiet, caches nothing and answers false.
  [[nodiscard]] bool get_listing(qvector<arkive_file_info_t> *out, const char *folder, bool quiet, bool with_deleted);
  // The cached record of a server file path, null when its folder is not cached, it is not listed there, or
  // the path ends with "/".
  [[nodiscard]] const arkive_file_info_t *find_file(const char *path) const;
  // Drops every folder.
  void clear() { folders_.clear(); }
  [[nodiscard]] bool has_folder(const char *folder) const { return folders_.count(folder) != 0; }

private:
  arkive_redirector_t *facade_; // not owned: the application's facade
  std::map<std::string, arkive_folder_listing_t> folders_;
};

// The application's cache (akui_app_t::listing_cache) with the application's show-deleted setting.
[[nodiscard]] bool fetch_folder_listing(qvector<arkive_file_info_t> *out, const char *folder, bool quiet);
[[nodiscard]] const arkive_file_info_t *find_arkive_file_info(const char *path);

// The Refresh action: forgets every listing with a refresh of the Arkive files views and marks the opened
// files stale; 1.
int rebuild_tree_structure_activate(struct ui_action_activation_ctx_t *context);
