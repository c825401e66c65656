// The diff and merge driver: fetching revisions, comparing them, and merge jobs from launch to resolve.
#include "repo/merge_driver.h"

#include "core/error_state.h"
#include "core/file_ops.h"
#include "core/internal_error.h"
#include "core/printf_format.h"
#include "core/process_launch.h"
#include "core/threads.h"
#include "core/ui_callback.h"
#include "repo/arkive_connection.h"
#include "repo/arkive_errors.h"
#include "repo/disassembler_commands.h"
#include "repo/local_file_digest.h"
#include "repo/local_site.h"
#include "repo/revision_copies.h"
#include "repo/revision_texts.h"
#include "repo/server_paths.h"
#include "repo/socket_stream.h"

#include <climits>
#include <cstring>

namespace {

// Keeps string argument 0 of the thread's error state across clean-up work whose own failures do not
// matter (removing files sets details of its own).
class detail_kept_t
{
public:
  detail_kept_t()
  {
    const char *text = get_error_arg_text(0);
    held_ = text != nullptr;
    if ( held_ )
      text_ = text;
  }
  ~detail_kept_t() { error_arg_text(0, held_ ? text_.c_str() : nullptr); }
  detail_kept_t(const detail_kept_t &) = delete;
  detail_kept_t &operator=(const detail_kept_t &) = delete;

private:
  qstring text_;
  bool held_ = false;
};

// A copy that could not be filled is removed again, keeping the failure's detail.
void drop_copy(abstract_fs_t *fs, const qstring &copy)
{
  if ( copy.empty() )
    return;
  detail_kept_t kept;
  delete_database_files(fs, copy.c_str());
}

int invalid_path(const char *path)
{
  error_arg_text(0, path != nullptr ? path : "");
  return ARKIVE_OUTSIDE_ROOT;
}

// The watcher thread owns the job from its start.
int watch_merge(void *job)
{
  const std::unique_ptr<merge_job_t> owned(static_cast<merge_job_t *>(job));
  owned->finish();
  return 0;
}

} // namespace

//--------------------------------------------------------------------------
// Merge jobs.

std::unique_ptr<merge_job_t> local_site_t::new_merge_job()
{
  return std::make_unique<merge_job_t>();
}

merge_job_t::~merge_job_t()
{
  if ( process != nullptr )
    close_os_handle(process);
}

qstring merge_completion_marker(const char *local_path)
{
  char marker[PATH_MAX];
  if ( set_path_extension(marker, sizeof(marker), local_path, "zdb_ok") == nullptr )
    return qstring();
  return qstring(marker);
}

int merge_job_t::start()
{
  std::unique_ptr<merge_job_t> self(this); // the job is given away to start
  const char *variable = nullptr;
  switch ( method )
  {
    case merge_auto_safe:
      variable = "ARKIVE_AUTO_MERGE";
      break;
    case merge_auto_local:
      variable = "ARKIVE_LMERGE";
      break;
    case merge_auto_remote:
      variable = "ARKIVE_RMERGE";
      break;
    case merge_interactive:
      variable = "ARKIVE_MANUAL_MERGE";
      break;
    default:
      interr(2608);
  }
  const merge_side_t local{local_path.c_str(), nullptr, false};
  const merge_side_t remote{remote_copy.c_str(), nullptr, false};
  process = launch_merge_tool(variable, arguments.c_str(), local, &remote, base_copy.c_str());
  if ( process == nullptr )
  {
    const char *detail = get_error_arg_text(0);
    message = detail != nullptr ? detail : "";
    resolve_and_finish();
    return ARKIVE_MESSAGE;
  }
  if ( handler == nullptr )
    return finish();
  if ( thread_record_t *watcher = thread_start(&watch_merge, this) )
  {
    (void)self.release(); // the thread runs on and owns the job
    thread_record_free(watcher);
    return ARKIVE_OK;
  }
  // No watcher can be had: rather than leave the disassembler and the copies behind, wait for it here.
  return finish();
}

int merge_job_t::finish()
{
  const qstring marker = merge_completion_marker(local_path.c_str());
  int32_t exit_code = 0;
  if ( wait_process(process, &exit_code, -1) != 0 )
  {
    message = system_error_text(exit_code); // a failed wait stores errno
  }
  else
  {
    process = nullptr; // the wait closed it
    if ( exit_code != 0 )
    {
      (void)delete_file(marker.c_str());
      format_to_string(&message, "%s: merge was not finished, exit code %d", local_path.c_str(), exit_code);
      error_arg_text(0, message.c_str());
    }
    else if ( file_exists(marker.c_str()) )
    {
      (void)delete_file(marker.c_str());
      result = ARKIVE_OK;
    }
    else
    {
      format_to_string(&message, "%s: %s", local_path.c_str(),
                       method == merge_interactive ? "merge has not been completed yet"
                                                   : "some conflicts remain, please resolve manually");
      error_arg_text(0, message.c_str());
    }
  }

  merge_completion_request_t request(this);
  if ( ui_callback != nullptr )
    ui_callback(ui_code_exec_request, static_cast<exec_request_t *>(&request), int32_t(0));
  // Without a user interface to run it (none installed, or no application object yet), it runs here.
  if ( !request.ran )
    request.run();
  return result;
}

void merge_job_t::resolve_and_finish()
{
  if ( result == ARKIVE_OK )
  {
    // Held until the request is over: the connection's owner may be destroying it on another thread.
    std::lock_guard held(connection_liveness->lock);
    if ( !connection_liveness->alive )
    {
      // The connection went away while the disassembler ran: the file stays unresolved.
      result = ARKIVE_DISCONNECTED;
      message.clear();
    }
    else
    {
      result = connection->resolve_file(path.c_str());
      const char *detail = get_error_arg_text(0);
      message = result != ARKIVE_OK && detail != nullptr ? detail : "";
    }
  }
  delete_database_files(fs, base_copy.c_str());
  delete_database_files(fs, remote_copy.c_str());
  if ( result != ARKIVE_OK )
    error_arg_text(0, message.c_str());
  if ( handler != nullptr )
    handler->on_merge_finished(result);
}

int32_t merge_completion_request_t::run()
{
  ran = true;
  job->resolve_and_finish();
  return 0;
}

//--------------------------------------------------------------------------
// Revisions.

int32_t arkive_connection_t::resolve_revision(const char *path, int32_t revision)
{
  if ( revision != revision_last && revision != revision_current )
    return revision;
  qvector<qstring> paths;
  paths.push_back(qstring(path != nullptr ? path : ""));
  qvector<arkive_file_info_t> files;
  if ( get_arkive_files(nullptr, &files, paths, revision, revision == revision_last ? 3 : 1) != ARKIVE_OK
    || files.size() != 1 )
    return revision;
  return revision == revision_last ? files[0].last_revision : files[0].site_revision;
}

int revision_digest(uint8_t digest[16], arkive_connection_t *connection, local_site_t &site, const char *path,
                    const char *local_path, int32_t revision)
{
  if ( revision == revision_working )
    return hash_local_file(site.fs, local_path, digest);
  qvector<qstring> paths;
  paths.push_back(qstring(path));
  qvector<arkive_file_info_t> files;
  if ( connection->get_arkive_files(nullptr, &files, paths, revision, 3) != ARKIVE_OK || files.size() != 1 )
    return ARKIVE_MESSAGE;
  std::memcpy(digest, files[0].md5, sizeof(files[0].md5));
  return ARKIVE_OK;
}

int arkive_connection_t::fetch_revision(qstring *local_path, bool *temporary, qstring *title, local_site_t &site,
                                        const char *path, int32_t revision)
{
  if ( !is_valid_server_path(path) )
    return invalid_path(path);
  const qstring working = site.local_path_of(path);
  if ( revision == revision_working )
  {
    if ( local_path != nullptr )
      *local_path = working;
    if ( temporary != nullptr )
      *temporary = false;
    if ( title != nullptr )
      *title = working;
    return ARKIVE_OK;
  }
  const qstring tag = format_revision(revision);
  const qstring copy = unique_temp_name(working.c_str(), tag.c_str());
  if ( copy.empty() )
    return ARKIVE_MESSAGE;
  if ( const int code = sync_one_file(path, revision, copy.c_str()); code != ARKIVE_OK )
  {
    drop_copy(site.fs, copy);
    return code;
  }
  if ( local_path != nullptr )
    *local_path = copy;
  if ( temporary != nullptr )
    *temporary = true;
  if ( title != nullptr )
  {
    *title = path;
    *title += tag;
  }
  return ARKIVE_OK;
}

int arkive_connection_t::diff_revisions(local_site_t &site, const char *path1, int32_t revision1, const char *path2,
                                        int32_t revision2, const char *templ)
{
  const qstring default_template = default_diff_arguments();
  if ( templ == nullptr )
    templ = default_template.c_str();
  const int32_t resolved1 = resolve_revision(path1, revision1);
  if ( path2 == nullptr )
    path2 = path1;
  const int32_t resolved2 = resolve_revision(path2, revision2);
  if ( resolved1 == resolved2 && path1 != nullptr && std::strcmp(path1, path2) == 0 )
  {
    console_printf("cowardly refusing to compare a file against itself\n");
    return ARKIVE_OK;
  }

  // The site's own revision against the working file keeps its name, "#current", in the title.
  struct side_t
  {
    qstring file;
    bool temporary = false;
    qstring title;
  } sides[2];
  const int32_t fetch1 = revision1 == revision_current && revision2 == revision_working ? revision_current : resolved1;
  const int32_t fetch2 = revision1 == revision_working && revision2 == revision_current ? revision_current : resolved2;
  if ( const int code = fetch_revision(&sides[0].file, &sides[0].temporary, &sides[0].title, site, path1, fetch1);
       code != ARKIVE_OK )
    return code;
  if ( const int code = fetch_revision(&sides[1].file, &sides[1].temporary, &sides[1].title, site, path2, fetch2);
       code != ARKIVE_OK )
  {
    if ( sides[0].temporary )
      drop_copy(site.fs, sides[0].file);
    return code;
  }

  int result = ARKIVE_OK;
  uint8_t digest1[16];
  uint8_t digest2[16];
  bool launch = true;
  if ( revision_digest(digest1, this, site, path1, sides[0].file.c_str(), revision1) != ARKIVE_OK )
    log_printf("cannot get md5 for file %s\n", sides[0].title.c_str());
  else if ( revision_digest(digest2, this, site, path2, sides[1].file.c_str(), revision2) != ARKIVE_OK )
    log_printf("cannot get md5 for file %s\n", sides[1].title.c_str());
  else if ( std::memcmp(digest1, digest2, sizeof(digest1)) == 0 )
  {
    log_printf("files %s and %s are identical\n", sides[0].title.c_str(), sides[1].title.c_str());
    launch = false;
  }
  if ( launch )
  {
    const merge_side_t side1{sides[0].file.c_str(), sides[0].title.c_str(), sides[0].temporary};
    const merge_side_t side2{sides[1].file.c_str(), sides[1].title.c_str(), sides[1].temporary};
    result = site.diff(side1, side2, templ);
    if ( result == ARKIVE_OK )
      return result; // the disassembler removes the copies it was told are temporary
  }
  // Nothing was launched that would remove the copies.
  for ( const side_t &side : sides )
    if ( side.temporary )
      drop_copy(site.fs, side.file);
  return result;
}

//--------------------------------------------------------------------------
// Resolving a file by merge method.

int arkive_connection_t::merge_file(local_site_t &site, const char *path, int method, post_merge_handler_t *handler,
                                    const char *templ)
{
  if ( !is_valid_server_path(path) )
    return invalid_path(path);
  if ( method == merge_keep_local || method == merge_take_remote )
  {
    int result = ARKIVE_OK;
    if ( method == merge_take_remote )
      result = sync_one_file(path, revision_last, nullptr);
    if ( result == ARKIVE_OK )
      result = resolve_file(path);
    if ( handler != nullptr )
      handler->on_merge_finished(result);
    return result;
  }

  std::unique_ptr<merge_job_t> job = site.new_merge_job();
  job->connection = this;
  job->connection_liveness = liveness();
  job->fs = site.fs;
  job->path = path;
  job->local_path = site.local_path_of(path);
  job->base_copy = unique_temp_name(job->local_path.c_str(), "base");
  if ( job->base_copy.empty() )
    return ARKIVE_MESSAGE;
  job->remote_copy = unique_temp_name(job->local_path.c_str(), "remote");
  if ( job->remote_copy.empty() )
  {
    drop_copy(site.fs, job->base_copy);
    return ARKIVE_MESSAGE;
  }
  job->arguments = templ != nullptr ? qstring(templ) : default_merge_arguments(method);
  job->method = method;
  job->handler = handler;

  int code = sync_one_file(path, revision_current, job->base_copy.c_str());
  if ( code == ARKIVE_OK )
    code = sync_one_file(path, revision_last, job->remote_copy.c_str());
  if ( code != ARKIVE_OK )
  {
    drop_copy(site.fs, job->base_copy);
    drop_copy(site.fs, job->remote_copy);
    return code;
  }
  return job.release()->start();
}
