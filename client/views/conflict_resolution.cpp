// Conflict resolution and merge.
#include "client/views/conflict_resolution.h"

#include "client/app/akui_app.h"
#include "client/app/arkive_with_events.h"
#include "client/commands/command_site.h"
#include "client/commands/external_tools.h"
#include "client/commands/files_action.h"
#include "core/error_state.h"
#include "core/ui_callback.h"
#include "repo/database_files.h"
#include "repo/merge_driver.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// A merge tool that failed.
constexpr int MERGE_TOOL_FAILED = 48;
// The views a finished resolve refreshes: both file trees, the worklists and the file history.
constexpr uint64_t resolve_refresh_kinds = 0x47;

struct resolve_method_row_t
{
  const char *action;
  const char *confirmation; // null: no question
};
// Methods 1 to 6 in order.
constexpr resolve_method_row_t resolve_methods[] = {
  {"resolve_auto", "SAFE AUTO MERGE"},
  {"resolve_prefer_local", "AUTO MERGE, UPON CONFLICTS USE LOCAL FILE"},
  {"resolve_prefer_remote", "AUTO MERGE, UPON CONFLICTS USE REMOTE FILE"},
  {"resolve_interactive", nullptr},
  {"resolve_use_local", "USE LOCAL FILE, DISCARD REMOTE FILE"},
  {"resolve_use_remote", "DISCARD LOCAL FILE, USE REMOTE FILE"},
};

int method_of_action(const char *name)
{
  for ( size_t i = 0; i < std::size(resolve_methods); ++i )
    if ( std::strcmp(resolve_methods[i].action, name) == 0 )
      return int(i + 1);
  return 0;
}

const char *confirmation_of(int method)
{
  return method >= 1 && method <= int(std::size(resolve_methods)) ? resolve_methods[method - 1].confirmation : "?";
}

bool merges_in_method_tool(int method)
{
  return method >= merge_auto_safe && method <= merge_interactive;
}

// Told by the repository core how a resolve ended. Lives until then: the core never deletes it, so it goes
// after its one call. `called` tells the starter whether the call came while merge_file still ran.
class akui_merge_handler_t : public post_merge_handler_t
{
public:
  akui_merge_handler_t(const char *file_path, std::shared_ptr<bool> called_flag)
    : path(file_path), called(std::move(called_flag))
  {
  }

  void on_merge_finished(int result) override
  {
    *called = true;
    merge_finished(result, path.c_str());
    if ( result != 0 )
      show_server_error(result, "Failed to merge");
    else
      log_printf("Successfully resolved %s\n", path.c_str());
    delete this;
  }

  qstring path;
  std::shared_ptr<bool> called;
};

// Run on the GUI thread once the merge program of one file has ended.
struct post_merge_request_t : external_tool_completion_t
{
  explicit post_merge_request_t(const char *file_path) : path(file_path) {}

  int32_t run() override
  {
    int code = MERGE_TOOL_FAILED;
    if ( exit_code != 0 )
    {
      (void)error_arg_text(0, path.c_str());
      show_server_error(code, "Failed to merge");
    }
    else if ( code = akui_app()->facade.resolve_file(path.c_str()); code != 0 )
    {
      show_server_error(code, "Failed to resolve");
    }
    else
    {
      log_printf("Successfully resolved %s\n", path.c_str());
    }
    merge_finished(code, path.c_str());
    return 0;
  }

  qstring path;
};

// Methods 1-4 of a database, and 5 and 6 of any file: the repository core resolves.
void resolve_through_core(const char *path, int method)
{
  qstring arguments;
  if ( merges_in_method_tool(method) )
  {
    file_assoc_command_t command;
    if ( !find_file_assoc_command(&command, file_assoc_merge, path, nullptr, nullptr, method, false) )
    {
      log_printf("Cannot find a MERGE association for %s", path);
      merge_finished(1, path);
      return;
    }
    if ( command.arguments.empty() )
    {
      warning_printf("Cannot merge because there are no arguments.\n\nYou can reset the arguments \n"
                     "in View>Options>File extension associations");
      merge_finished(1, path);
      return;
    }
    arguments = command.arguments;
  }
  auto called = std::make_shared<bool>(false);
  auto handler = std::make_unique<akui_merge_handler_t>(path, called);
  // The core reads the site only while merge_file runs (a merge job keeps copies of what it needs).
  local_site_t site = current_local_site();
  const int code = akui_app()->facade.merge_file(site, path, method, handler.get(), arguments.c_str());
  if ( *called )
  {
    (void)handler.release(); // it has gone already
    return;
  }
  if ( code == 0 )
  {
    (void)handler.release(); // the core calls it when the merge ends
    return;
  }
  // Refused before the handler was called: it never will be.
  show_server_error(code, "Failed to merge");
  merge_finished(code, path);
}

} // namespace

qvector<qstring> &merges_in_progress()
{
  return akui_app()->merges_in_progress;
}

void merge_finished(int code, const char *path)
{
  const qstring finished = path; // path may be an entry of the list
  akui_app_t *app = akui_app();
  app->facade.notify(arkive_event_merge_finished, code, finished.c_str());
  app->refresh_widgets(resolve_refresh_kinds, true);
  qvector<qstring> &paths = merges_in_progress();
  for ( size_t i = 0; i < paths.size(); )
  {
    if ( paths[i] == finished )
      paths.erase(i);
    else
      ++i;
  }
}

bool resolve_method_applicable(const selected_file_t &file, int method)
{
  if ( (file.flags & SEL_NEEDS_RESOLVE) == 0 )
    return false;
  if ( !merges_in_method_tool(method) )
    return method == merge_keep_local || method == merge_take_remote;
  return find_file_assoc_command(nullptr, file_assoc_merge, file.path.c_str(), nullptr, nullptr, method, false);
}

bool can_resolve_files(int method, const action_ctx_base_t &context)
{
  if ( !has_site_and_connection() )
    return false;
  selected_files_t files;
  if ( selection_source_of(context) == nullptr
       || !collect_selected_files(&files, context, WANT_PATH | WANT_NEEDS_RESOLVE) )
    return false;
  return std::any_of(files.begin(), files.end(),
                     [method](const selected_file_t &file) { return resolve_method_applicable(file, method); });
}

bool resolve_files(int method, const selected_files_t &files)
{
  selected_files_t applicable;
  for ( const selected_file_t &file : files )
    if ( resolve_method_applicable(file, method) )
      applicable.push_back(file);
  if ( method != merge_interactive )
  {
    const qstring list = confirmation_list(paths_of(applicable));
    if ( question_printf(method == merge_auto_safe ? 1 : 0,
                         "HIDECANCEL\nDo you really want to resolve these files?\nThe resolve method is:\n\n%s\n\n%s",
                         confirmation_of(method), list.c_str())
         != 1 )
      return false;
  }
  resolve_selected_files(applicable, method);
  return false;
}

void resolve_selected_files(const selected_files_t &files, int method)
{
  for ( const selected_file_t &file : files )
  {
    const char *path = file.path.c_str();
    if ( akui_app()->is_resolving(path) )
    {
      log_printf("%s: already resolving\n", path);
      continue;
    }
    merges_in_progress().push_back(file.path);
    if ( !is_database_path(path) && merges_in_method_tool(method) )
    {
      if ( const int code = perform_external_merge(path, method); code != 0 )
        merge_finished(code, path);
      continue;
    }
    resolve_through_core(path, method);
  }
}

int perform_external_merge(const char *path, int method)
{
  qstring local;
  if ( !local_path_or_report(&local, path) )
    return 1;
  local_site_t site = current_local_site();
  arkive_connection_t *connection = akui_app()->facade.connection();
  if ( connection == nullptr || !akui_app()->has_usable_connection() )
  {
    show_server_warning(ARKIVE_DISCONNECTED, "Base path (current revision):");
    return ARKIVE_DISCONNECTED;
  }
  external_launch_t launch;
  launch.kind = file_assoc_merge;
  launch.left = local;
  launch.merge_method = method;
  if ( const int code = connection->fetch_revision(&launch.third, &launch.delete_third, nullptr, site, path,
                                                   REVISION_CURRENT);
       code != 0 )
  {
    show_server_warning(code, "Base path (current revision):");
    return code;
  }
  if ( const int code = connection->fetch_revision(&launch.right, &launch.delete_right, nullptr, site, path,
                                                   REVISION_LAST);
       code != 0 )
  {
    show_server_warning(code, "Remote path (last revision):");
    remove_temporary_copies(launch);
    return code;
  }
  launch.completion = std::make_unique<post_merge_request_t>(path);
  return launch_external_process(std::move(launch)) ? 0 : 1;
}

int resolve_activate(ui_action_activation_ctx_t *context)
{
  const int method = method_of_action(context->action_name.c_str());
  selected_files_t files;
  if ( method == 0 || selection_source_of(*context) == nullptr
       || !collect_selected_files(&files, *context, WANT_PATH | WANT_NEEDS_RESOLVE) )
    return 0;
  return resolve_files(method, files) ? 1 : 0;
}

int resolve_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  const int method = method_of_action(context->action_name.c_str());
  return method != 0 && can_resolve_files(method, *context) ? FILES_ACTION_ENABLED : FILES_ACTION_DISABLED;
}
