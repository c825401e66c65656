// Diff, open and the external tools.
#include "client/commands/external_tools.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_with_events.h"
#include "client/commands/command_site.h"
#include "core/directories.h"
#include "core/file_ops.h"
#include "core/form_actions.h"
#include "core/process_launch.h"
#include "core/text_utils.h"
#include "core/threads.h"
#include "core/ui_callback.h"
#include "repo/abstract_fs.h"
#include "repo/database_files.h"
#include "ui/request_queue.h"

#include <QDesktopServices>
#include <QUrl>

#include <climits>
#include <filesystem>

namespace {

// What the watcher thread owns: the process and the launch's copies and completion.
struct external_process_watch_t
{
  os_handle_t *process = nullptr;
  external_launch_t launch;
};

int watch_external_process(void *arg)
{
  std::unique_ptr<external_process_watch_t> watch(static_cast<external_process_watch_t *>(arg));
  int32_t exit_code = 0;
  if ( wait_process(watch->process, &exit_code, -1) != 0 )
    exit_code = -1;
  remove_temporary_copies(watch->launch);
  if ( external_tool_completion_t *completion = watch->launch.completion.get(); completion != nullptr )
  {
    completion->exit_code = exit_code;
    (void)execute_request(completion, 0);
  }
  return 0;
}

// A local copy of a revision: the working file for -4, else a temporary copy.
int fetch_copy(qstring *local, bool *temporary, local_site_t &site, const char *path, int32_t revision)
{
  arkive_connection_t *connection = akui_app()->facade.connection();
  return connection->fetch_revision(local, temporary, nullptr, site, path, revision);
}

// Choices of a side of the "Diff against..." form.
constexpr uint16_t side_current = 0;
constexpr uint16_t side_specific = 1;
constexpr uint16_t side_local = 2;

// The revision value of one side: -4 for the local file, the entered revision, or the site's revision.
int32_t side_value(uint16_t choice, int64_t entered, int32_t site_revision)
{
  if ( choice == side_local )
    return REVISION_LOCAL_FILE;
  return choice == side_specific ? int32_t(entered) : site_revision;
}

void enable_revision_field(form_actions_t &actions, int group, int field)
{
  uint16_t choice = 0;
  if ( actions.read_field_value(group, &choice) )
    actions.enable_field(field, choice == side_specific);
}

bool perform_diff_any(const selected_files_t &files)
{
  if ( files.empty() || !has_site_and_connection() )
    return false;
  const char *path = files[0].path.c_str();
  qvector<arkive_file_info_t> site_records;
  qvector<arkive_file_info_t> revisions;
  if ( !fetch_file_infos(&site_records, path, REVISION_CURRENT) || !fetch_file_infos(&revisions, path, REVISION_ALL) )
    return false;
  if ( site_records.empty() )
  {
    warning_printf("The server has no record of %s.", path);
    return false;
  }
  int32_t site_revision = site_records[0].site_revision;
  akui_app_t &app = *akui_app();
  qstring left_path = path;
  qstring right_path = path;
  int64_t left_revision = files[0].revision;
  int64_t right_revision = files[0].revision;
  uint16_t left_choice = files[0].revision != site_revision ? side_specific : side_current;
  uint16_t right_choice = app.diff_any_choice;
  if ( app.diff_any_choice == side_specific )
    for ( const arkive_file_info_t &record : revisions )
      if ( record.number == app.diff_any_revision )
        right_revision = app.diff_any_revision;
  if ( form_dialog_printf("BUTTON YES Ok\nBUTTON CANCEL Cancel\nDifferences between...\n\n%/%*<:q1::::>\n"
                          "<Current revision :R>\n<Specific revision:R> <:D2::5::>\n<Local file       :R>3>\n"
                          "<:q4::::>\n<Current revision :R>\n<Specific revision:R> <:D5::5::>\n"
                          "<Local file       :R>6>",
                          diff_any_form_callback, &site_revision, &left_path, &left_revision, &left_choice,
                          &right_path, &right_revision, &right_choice)
       != 1 )
    return false;
  app.diff_any_choice = right_choice;
  app.diff_any_revision = int32_t(right_revision);
  const int32_t left_value = side_value(left_choice, left_revision, site_revision);
  const int32_t right_value = side_value(right_choice, right_revision, site_revision);
  const auto side_text = [](const qstring &side_path, int32_t value) {
    qstring text;
    if ( value != REVISION_LOCAL_FILE )
      format_to_string(&text, "%s#%d", side_path.c_str(), value);
    else if ( !akui_app()->to_local_path(&text, side_path.c_str()) )
      text = side_path;
    return text;
  };
  log_printf("Comparing %s vs. %s\n", side_text(left_path, left_value).c_str(),
             side_text(right_path, right_value).c_str());
  return diff_by_association(left_path.c_str(), left_value, right_path.c_str(), right_value);
}

} // namespace

bool diff_arkive_local_action_t::perform(selected_files_t &files)
{
  if ( !has_site_and_connection() )
    return false;
  for ( const selected_file_t &file : files )
    if ( !diff_by_association(file.path.c_str(), REVISION_CURRENT, file.path.c_str(), REVISION_LOCAL_FILE) )
      return false;
  return true;
}

bool diff_arkive_local_action_t::applicable(const selected_files_t &files, action_ctx_base_t &)
{
  return files.size() == 1 && files[0].is_opened() && files[0].is_present()
      && has_diff_association(files[0].path.c_str());
}

bool diff_any_action_t::perform(selected_files_t &files)
{
  return perform_diff_any(files);
}

bool diff_any_action_t::applicable(const selected_files_t &files, action_ctx_base_t &)
{
  return files.size() == 1 && !files[0].is_folder() && files[0].revision != REVISION_LOCAL_FILE
      && has_diff_association(files[0].path.c_str());
}

bool open_file_action_t::perform(selected_files_t &files)
{
  return open_files(files);
}

bool open_file_action_t::applicable(const selected_files_t &files, action_ctx_base_t &)
{
  return !files.empty();
}

bool open_containing_folder_action_t::perform(selected_files_t &files)
{
  abstract_fs_t *fs = work_directory_fs();
  for ( const selected_file_t &file : files )
  {
    qstring local;
    if ( !local_path_or_report(&local, file.path.c_str()) )
      continue;
    char folder[PATH_MAX];
    if ( path_directory(folder, sizeof(folder), local.c_str()) && fs->is_dirpath(folder) )
      QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromUtf8(folder)));
    else
      log_printf("Ignoring %s (not a directory)\n", folder);
  }
  return false;
}

bool open_containing_folder_action_t::applicable(const selected_files_t &files, action_ctx_base_t &)
{
  for ( const selected_file_t &file : files )
    if ( !file.is_known() || file.is_present() )
      return true;
  return false;
}

void remove_temporary_copies(const external_launch_t &launch)
{
  // A working file carries no delete flag: it is never removed.
  const auto remove = [](bool flagged, const qstring &path) {
    std::error_code ignored;
    if ( flagged && !path.empty() )
      std::filesystem::remove(path.c_str(), ignored);
  };
  remove(launch.delete_left, launch.left);
  remove(launch.delete_right, launch.right);
  remove(launch.delete_third, launch.third);
}

bool launch_external_process(external_launch_t launch)
{
  file_assoc_command_t command;
  if ( !find_file_assoc_command(&command, launch.kind, launch.left.c_str(),
                                launch.right.empty() ? nullptr : launch.right.c_str(),
                                launch.third.empty() ? nullptr : launch.third.c_str(), launch.merge_method, true) )
  {
    warn_missing_file_assoc(launch.left.c_str());
    remove_temporary_copies(launch);
    return false;
  }
  process_launch_params_t params;
  params.program = command.program.c_str();
  params.arguments = command.arguments.c_str();
  qstring error;
  os_handle_t *process = spawn_process(&params, &error);
  if ( process == nullptr )
  {
    warning_printf("Unable to launch process: %s, with arguments: %s\nError: %s", command.program.c_str(),
                   command.arguments.c_str(), error.c_str());
    remove_temporary_copies(launch);
    return false;
  }
  auto watch = std::make_unique<external_process_watch_t>();
  watch->process = process;
  watch->launch = std::move(launch);
  thread_record_t *thread = thread_start(watch_external_process, watch.get());
  if ( thread == nullptr )
  {
    // No watcher: wait here so that the copies and the completion are still handled.
    (void)watch_external_process(watch.release());
    return true;
  }
  (void)watch.release();
  thread_record_free(thread);
  return true;
}

bool has_diff_association(const char *path)
{
  return find_file_assoc_command(nullptr, file_assoc_diff, path, nullptr, nullptr, 0, false);
}

bool diff_by_association(const char *left, int32_t left_revision, const char *right, int32_t right_revision)
{
  akui_app_t *app = akui_app();
  if ( !app->has_usable_connection() )
    return false;
  local_site_t site = current_local_site();
  const bool left_database = is_database_path(left);
  const bool right_database = is_database_path(right);
  if ( left_database && right_database )
  {
    file_assoc_command_t command;
    if ( !find_file_assoc_command(&command, file_assoc_diff, left, nullptr, nullptr, 0, false) )
    {
      warning_printf("Cannot find a DIFF association for this file extension");
      return false;
    }
    const int code = app->facade.connection()->diff_revisions(site, left, left_revision, right, right_revision,
                                                              command.arguments.c_str());
    if ( code != 0 )
      show_server_error(code, "Failed to diff");
    return true;
  }
  if ( left_database || right_database )
  {
    warning_printf("Cannot compare database to non-database");
    return false;
  }
  external_launch_t launch;
  launch.kind = file_assoc_diff;
  if ( const int code = fetch_copy(&launch.left, &launch.delete_left, site, left, left_revision); code != 0 )
  {
    show_server_warning(code, "Path #1:");
    return false;
  }
  if ( const int code = fetch_copy(&launch.right, &launch.delete_right, site, right, right_revision); code != 0 )
  {
    show_server_warning(code, "Path #2:");
    remove_temporary_copies(launch);
    return false;
  }
  return launch_external_process(std::move(launch));
}

bool open_files(const selected_files_t &files)
{
  abstract_fs_t *fs = work_directory_fs();
  for ( const selected_file_t &file : files )
  {
    qstring local;
    if ( !local_path_or_report(&local, file.path.c_str()) )
      continue;
    file_info_t info;
    if ( fs->stat(&info, local.c_str()) != 0 )
    {
      log_printf("can't open file: %s doesn't exist\n", local.c_str());
      continue;
    }
    external_launch_t launch;
    launch.kind = file_assoc_view;
    launch.left = local;
    (void)launch_external_process(std::move(launch));
  }
  return false;
}

bool fetch_file_infos(qvector<arkive_file_info_t> *records, const char *path, int32_t revision)
{
  akui_app_t *app = akui_app();
  if ( !app->has_usable_connection() )
    return false;
  qvector<qstring> paths;
  paths.push_back(path);
  if ( const int code = app->facade.get_arkive_files(records, paths, revision, 3); code != 0 )
  {
    show_server_error(code, "Diff revision...");
    return false;
  }
  return true;
}

int diff_any_form_callback(int field_id, form_actions_t &actions)
{
  switch ( field_id )
  {
    case form_code_ready:
      enable_revision_field(actions, 3, 2);
      enable_revision_field(actions, 6, 5);
      return 1;
    case 3:
      enable_revision_field(actions, 3, 2);
      return 1;
    case 6:
      enable_revision_field(actions, 6, 5);
      return 1;
    case form_code_yes:
      break;
    default:
      return 1;
  }
  const int32_t site_revision = *static_cast<const int32_t *>(actions.caller_data());
  qstring left_path;
  qstring right_path;
  int64_t left_revision = 0;
  int64_t right_revision = 0;
  uint16_t left_choice = 0;
  uint16_t right_choice = 0;
  if ( !actions.read_field_value(1, &left_path) || !actions.read_field_value(2, &left_revision)
       || !actions.read_field_value(3, &left_choice) || !actions.read_field_value(4, &right_path)
       || !actions.read_field_value(5, &right_revision) || !actions.read_field_value(6, &right_choice) )
    return 0;
  const int32_t left_value = side_value(left_choice, left_revision, site_revision);
  const int32_t right_value = side_value(right_choice, right_revision, site_revision);
  if ( left_value == 0 || right_value == 0 )
  {
    warning_printf("There is no current revision of this file.");
    return 0;
  }
  if ( left_path == right_path && left_value == right_value )
  {
    warning_printf("Please choose two different options to compare.");
    return 0;
  }
  return 1;
}

int open_file_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  open_file_action_t helper;
  uint32_t bits = WANT_PATH | WANT_KNOWN | WANT_PRESENT;
  if ( selection_kind_of(*context) == akui_kind_worklists )
    bits |= WANT_NO_FOLDERS;
  return update_files_action(helper, *context, bits);
}

int open_manual_activate(ui_action_activation_ctx_t *)
{
  qstring folder;
  install_dir_string(&folder);
  char manual[PATH_MAX];
  if ( join_path(manual, sizeof(manual), folder.c_str(), "akui_user_manual.pdf", nullptr) != nullptr )
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromUtf8(manual)));
  return 1;
}
