// "Arkive files" and find in arkive.
#include "client/views/arkive_files_view.h"

#include "client/app/akui_app.h"
#include "client/commands/checkout_commands.h"
#include "client/views/arkive_listing_cache.h"
#include "core/clock_time.h"
#include "core/number_format.h"
#include "core/ui_callback.h"
#include "ui/popup_menu.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"
#include "views/dirtree/directory_tree.h"
#include "views/filter/item_info.h"

#include <algorithm>

namespace {

constexpr char arkive_files_title[] = "Arkive files";
constexpr char arkive_files_icon[] = "icons/widgets/arkive_files_widget.svg";
// Path, present, worklist.
constexpr uint32_t arkive_delete_request = WANT_PATH | WANT_PRESENT | WANT_WORKLIST;
// What a delete here refreshes besides itself: Local files and Worklists.
constexpr uint64_t arkive_delete_refresh = (uint64_t(1) << akui_kind_local_files) | (uint64_t(1) << akui_kind_worklists);
// Search options: the site's revisions of the files whose path holds the text (deleted ones too).
constexpr int32_t search_options = 10;
constexpr int32_t search_options_with_deleted = 11;

} // namespace

arkive_files_dirtree_widget_t::arkive_files_dirtree_widget_t()
  : filesystem_dirtree_widget_t(arkive_files_title, akui_kind_arkive_files, arkive_files_icon, file_tree_view_options,
                                arkive_delete_request, file_tree_widget_options())
{
  auto tree = std::make_unique<directory_tree_t>(std::make_unique<arkive_files_dirspec_t>());
  auto *dirspec = static_cast<files_dirspec_t *>(tree->impl()->dirspec());
  auto *model = new files_dirtree_item_model_t(std::move(tree), dirspec, file_tree_columns({"Commited"}), this);
  attach_model(dirspec, model);
}

bool arkive_files_dirtree_widget_t::load_folder(const char *folder_path)
{
  qstring folder("/");
  folder += folder_path;
  qvector<arkive_file_info_t> records;
  if ( !fetch_folder_listing(&records, folder.c_str(), false) )
    return false;
  files_dirtree_item_model_t *model = files_model();
  for ( const arkive_file_info_t &record : records )
  {
    const std::string name = entry_name_of(record.path.view());
    if ( name.empty() )
      continue;
    (void)model->add_entry(folder_path, name.c_str(), record.last_revision == 0,
                           files_item_record_t {record.size, record.commit_time});
  }
  return true;
}

bool arkive_files_dirtree_widget_t::describe_file_row(item_info_t *row, uint64_t key, const qstring &tree_path,
                                                      const qstring &server_path, const arkive_file_info_t *server_record)
{
  if ( !filesystem_dirtree_widget_t::describe_file_row(row, key, tree_path, server_path, server_record) )
    return false;
  if ( server_record == nullptr )
    return false;
  if ( row->texts.size() < 3 )
    row->texts.resize(3);
  char size[file_size_text_bytes];
  (void)format_byte_size(size, sizeof(size), server_record->size);
  row->set_text(1, size);
  char time[64] = "";
  if ( server_record->last_revision != 0 )
    (void)format_packed_time(time, sizeof(time), "%F %T", server_record->commit_time);
  row->set_text(2, time);
  return true;
}

bool arkive_files_dirtree_widget_t::delete_items(filtered_widget_mixin_update_strategy_t *strategy,
                                                 const dirtree_selection_t *entries, const std::vector<qstring> &)
{
  selected_files_t files;
  if ( entries != nullptr && !entries->empty() && collect_deletable_files(&files, *entries) )
    (void)checkout_files_for_delete(files);
  finish_tree_delete(strategy, arkive_delete_refresh);
  return true;
}

void arkive_files_dirtree_widget_t::show_current_path(const dirtree_cursor_t &cursor)
{
  show_path_in_status_bar(cursor, "/");
}

bool arkive_files_dirtree_widget_t::keep_for_delete(const selected_file_t &file) const
{
  return file.is_folder() || (file.is_present() && !file.is_opened());
}

void arkive_files_dirtree_widget_t::populate_popup(void *popup)
{
  files_dirtree_widget_t::populate_popup(popup);
  if ( const ui_action_t *remove = find_ui_action("DirTreeDelete"); remove != nullptr && remove->qaction() != nullptr )
    static_cast<popup_menu_ctx_t *>(popup)->remove_qaction(remove->qaction());
}

// ---- Finding the view --------------------------------------------------------------------------------------------

QWidget *find_arkive_files_host()
{
  return find_file_tree_host(arkive_files_title);
}

QWidget *new_arkive_files_host()
{
  return new files_dirtree_widget_host_t(new arkive_files_dirtree_widget_t());
}

arkive_files_dirtree_widget_t *find_arkive_files_widget()
{
  return dynamic_cast<arkive_files_dirtree_widget_t *>(file_tree_of(find_arkive_files_host()));
}

int open_arkive_files_widget_activate(ui_action_activation_ctx_t *)
{
  open_file_tree_view(find_arkive_files_host, new_arkive_files_host);
  return 1;
}

int show_deleted_files_activate(ui_action_activation_ctx_t *)
{
  (void)akui_app()->toggle_show_deleted_files();
  return 1;
}

// ---- Find in arkive ----------------------------------------------------------------------------------------------

void navigate_search_result(const qvector<arkive_file_info_t> &results, bool next)
{
  arkive_files_dirtree_widget_t *widget = find_arkive_files_widget();
  if ( widget == nullptr || results.empty() )
    return;
  const arkive_file_info_t *chosen = next ? &results.front() : &results.back();
  dirtree_selection_t selection;
  widget->collect_selection(nullptr, &selection, nullptr, dirtree_view_ordered_selection, true);
  if ( !selection.empty() )
  {
    qstring current("/");
    qstring tree_path;
    (void)widget->tree()->cursor_text(&tree_path, selection.front(), 0);
    current += tree_path;
    const auto by_path = [](const arkive_file_info_t &record, std::string_view path) {
      return record.path.view() < path;
    };
    if ( next )
    {
      const auto after = std::upper_bound(results.begin(), results.end(), current.view(),
                                          [](std::string_view path, const arkive_file_info_t &record) {
                                            return path < record.path.view();
                                          });
      if ( after != results.end() )
        chosen = &*after;
    }
    else
    {
      const auto at = std::lower_bound(results.begin(), results.end(), current.view(), by_path);
      if ( at != results.begin() )
        chosen = &*(at - 1);
    }
  }
  (void)widget->select_path(chosen->path.c_str() + 1);
}

int find_in_arkive_activate(ui_action_activation_ctx_t *)
{
  open_file_tree_view(find_arkive_files_host, new_arkive_files_host);
  qstring answer;
  if ( !input_value_printf(&answer, 0, "Substring of a path to search for in arkive") )
    return 0;
  while ( answer.empty() )
  {
    warning_printf("Please specify a search string");
    if ( !input_value_printf(&answer, 0, "Substring of a path to search for in arkive") )
      return 0;
  }
  akui_app_t *app = akui_app();
  qvector<arkive_file_info_t> results;
  qvector<qstring> patterns;
  patterns.push_back(answer);
  const int code = app->facade.get_arkive_files(&results, patterns, REVISION_CURRENT,
                                                app->show_deleted_files() ? search_options_with_deleted : search_options);
  if ( code != 0 )
  {
    app->find_results = std::move(results);
    show_server_warning(code, "Failed to search in arkive");
    return 0;
  }
  navigate_search_result(results, true);
  app->find_results = std::move(results);
  return 1;
}

namespace {

int step_search_result(bool next)
{
  akui_app_t *app = akui_app();
  arkive_files_dirtree_widget_t *widget = find_arkive_files_widget();
  if ( widget == nullptr || app->find_results.empty() )
    return 1;
  dirtree_selection_t selection;
  widget->collect_selection(nullptr, &selection, nullptr, 0, true);
  if ( !selection.empty() )
    navigate_search_result(qvector<arkive_file_info_t>(app->find_results), next);
  return 1;
}

} // namespace

int find_in_arkive_next_activate(ui_action_activation_ctx_t *)
{
  return step_search_result(true);
}

int find_in_arkive_prev_activate(ui_action_activation_ctx_t *)
{
  return step_search_result(false);
}

int find_in_arkive_step_update(ui_action_t *, ui_action_update_ctx_t *)
{
  return akui_app()->find_results.empty() ? ACTION_STATE_MISSING_CONTEXT : ACTION_STATE_INITIAL;
}
