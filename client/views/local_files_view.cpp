// "Local files".
#include "client/views/local_files_view.h"

#include "client/app/akui_app.h"
#include "client/commands/checkout_commands.h"
#include "client/views/arkive_listing_cache.h"
#include "client/views/file_row_state.h"
#include "core/file_ops.h"
#include "core/number_format.h"
#include "core/ui_callback.h"
#include "repo/abstract_fs.h"
#include "views/dirtree/directory_tree.h"
#include "views/filter/item_info.h"

#include <algorithm>

namespace {

constexpr char local_files_title[] = "Local files";
constexpr char local_files_icon[] = "icons/widgets/local_files_widget.svg";
// Path, known, present.
constexpr uint32_t local_delete_request = WANT_PATH | WANT_KNOWN | WANT_PRESENT;
// What a delete here refreshes besides itself: Arkive files and Worklists.
constexpr uint64_t local_delete_refresh = (uint64_t(1) << akui_kind_arkive_files) | (uint64_t(1) << akui_kind_worklists);
constexpr uint32_t mode_type_mask = 0xF000;
constexpr uint32_t mode_directory = 0x4000;
constexpr int answer_yes = 1;

// The work directory's file system of the current site, confined to its root.
abstract_fs_t *site_fs()
{
  return get_file_system(akui_app()->server_info.root_dir.c_str(), nullptr, 0);
}

} // namespace

local_files_dirtree_widget_t::local_files_dirtree_widget_t()
  : filesystem_dirtree_widget_t(local_files_title, akui_kind_local_files, local_files_icon, file_tree_view_options,
                                local_delete_request, file_tree_widget_options())
{
  auto tree = std::make_unique<directory_tree_t>(std::make_unique<local_files_dirspec_t>());
  auto *dirspec = static_cast<files_dirspec_t *>(tree->impl()->dirspec());
  auto *model = new files_dirtree_item_model_t(std::move(tree), dirspec, file_tree_columns({}), this);
  attach_model(dirspec, model);
}

bool local_files_dirtree_widget_t::load_folder(const char *folder_path)
{
  akui_app_t *app = akui_app();
  qstring server_folder("/");
  server_folder += folder_path;
  // The rows find their server records in the cache; a failure leaves them without.
  (void)fetch_folder_listing(nullptr, server_folder.c_str(), true);
  const qstring &root = app->server_info.root_dir;
  abstract_fs_t *fs = site_fs();
  qstring local;
  if ( root.empty() || fs == nullptr || !app->to_local_path(&local, server_folder.c_str()) || !fs->is_dirpath(local.c_str()) )
    return false;
  qstring pattern = local;
  pattern += "/*";
  qvector<qstring> listed;
  const uint32_t flags = FS_GLOB_FILES | FS_GLOB_DIRECTORIES | (app->show_ignored_files() ? FS_GLOB_NO_RULES : 0);
  (void)fs->glob(&listed, pattern.c_str(), nullptr, root.c_str(), nullptr, flags);
  // The disk lists in no particular order; rows come by name.
  std::sort(listed.begin(), listed.end(), [](const qstring &a, const qstring &b) { return a.view() < b.view(); });
  files_dirtree_item_model_t *model = files_model();
  for ( const qstring &path : listed )
  {
    file_info_t info;
    // Gone since the listing: nothing is known of it.
    if ( fs->stat(&info, path.c_str()) != 0 )
      continue;
    const std::string name = entry_name_of(path.view());
    if ( name.empty() )
      continue;
    (void)model->add_entry(folder_path, name.c_str(), (info.mode & mode_type_mask) == mode_directory,
                           files_item_record_t {uint64_t(info.size), info.modification_time});
  }
  return true;
}

bool local_files_dirtree_widget_t::describe_file_row(item_info_t *row, uint64_t key, const qstring &tree_path,
                                                     const qstring &server_path, const arkive_file_info_t *server_record)
{
  if ( server_record != nullptr && server_record->action == server_state_deleted )
    server_record = nullptr;
  const bool described = filesystem_dirtree_widget_t::describe_file_row(row, key, tree_path, server_path, server_record);
  if ( !described || tree_path.empty() )
    return described;
  // The size the listing read moments ago: a second status call per row would only repeat it.
  const files_dirtree_item_model_t *model = files_model();
  const files_item_registry_t::entry_t *entry = model != nullptr ? model->item_registry.find(std::string(tree_path.view())) : nullptr;
  if ( entry != nullptr )
  {
    if ( row->texts.size() < 2 )
      row->texts.resize(2);
    char size[file_size_text_bytes];
    (void)format_byte_size(size, sizeof(size), entry->size);
    row->set_text(1, size);
  }
  return described;
}

bool local_files_dirtree_widget_t::delete_items(filtered_widget_mixin_update_strategy_t *strategy,
                                                const dirtree_selection_t *entries, const std::vector<qstring> &)
{
  selected_files_t files;
  if ( entries != nullptr && !entries->empty() && collect_deletable_files(&files, *entries) )
  {
    const qstring list = confirmation_list(paths_of(files));
    if ( question_printf(answer_yes, "HIDECANCEL\nDo you really want to delete these files?\n%s", list.c_str())
         != answer_yes )
      return false;
    (void)delete_local_files(files);
  }
  finish_tree_delete(strategy, local_delete_refresh);
  return true;
}

void local_files_dirtree_widget_t::show_current_path(const dirtree_cursor_t &cursor)
{
  show_path_in_status_bar(cursor, "");
}

bool local_files_dirtree_widget_t::keep_for_delete(const selected_file_t &file) const
{
  return !file.is_folder() && !(file.is_known() && !file.is_present());
}

QWidget *find_local_files_host()
{
  return find_file_tree_host(local_files_title);
}

QWidget *new_local_files_host()
{
  return new files_dirtree_widget_host_t(new local_files_dirtree_widget_t());
}

local_files_dirtree_widget_t *find_local_files_widget()
{
  return dynamic_cast<local_files_dirtree_widget_t *>(file_tree_of(find_local_files_host()));
}

int open_local_files_widget_activate(ui_action_activation_ctx_t *)
{
  open_file_tree_view(find_local_files_host, new_local_files_host);
  return 1;
}

int show_ignored_files_activate(ui_action_activation_ctx_t *)
{
  (void)akui_app()->toggle_show_ignored_files();
  return 1;
}
