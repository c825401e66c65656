// The diff and merge driver: merge jobs that run the disassembler, wait for it and resolve the merged file,
// and the digests of revisions. The connection's merge_file, diff_revisions, fetch_revision and
// resolve_revision (repo/arkive_connection.h) are built on them.
#pragma once

#include "core/process_exit.h"
#include "core/qstring.h"
#include "repo/arkive_errors.h"

#include <cstdint>
#include <memory>

class abstract_fs_t;
class arkive_connection_t;
struct connection_liveness_t;
class local_site_t;
struct os_handle_t;

// Told once how a merge ended, with its repository error code (the detail text is then in string
// argument 0 of the calling thread's error state). Implemented by the application; the driver never
// deletes it.
class post_merge_handler_t
{
public:
  virtual void on_merge_finished(int result) = 0;
  virtual ~post_merge_handler_t() = default;
};

// One external merge: the disassembler merges the base and remote copies into the working file; the job
// then tells the server the file is resolved, removes the copies and calls the handler. Promises: the
// copies (with their component files) are removed whatever the outcome; the handler is called exactly
// once; the connection is used only on the thread that completes the job, and not at all once it has been
// destroyed (its liveness record is held across the use, so it cannot be destroyed meanwhile). A job lives
// on the heap, made by local_site_t::new_merge_job; start() takes it over.
class merge_job_t
{
public:
  merge_job_t() = default;
  // Closes the process handle when the job still holds one (the process is not killed).
  virtual ~merge_job_t();
  merge_job_t(const merge_job_t &) = delete;
  merge_job_t &operator=(const merge_job_t &) = delete;

  // Launches the disassembler for method 1 to 4 (any other method is internal error 2608) and gives the
  // job away: when start returns, the job has been destroyed, or belongs to the watcher thread that
  // waits for the disassembler and destroys it. With a handler: 0 while the merge runs on, and when no
  // watcher thread can be had the merge is waited for here and its result answered. Without a handler
  // the merge is waited for here and its result answered. When the disassembler cannot be started: the
  // job is completed at once with 33 (handler called) and 33 is answered.
  virtual int start();
  // Waits for the disassembler, judges its exit code and the completion marker, has
  // resolve_and_finish run on the GUI thread (UI callback request 86) and answers the result. Its owner
  // (start, or the watcher thread) destroys the job afterwards.
  int finish();
  // On the GUI thread: tells the server the merged file is resolved (when the merge succeeded), removes
  // the copies, and calls the handler.
  void resolve_and_finish();

  arkive_connection_t *connection = nullptr;     // the connection that started the job (not owned)
  std::shared_ptr<connection_liveness_t> connection_liveness; // whether that connection still exists
  abstract_fs_t *fs = nullptr;                   // the site's file system (not owned; lives with the process)
  qstring path;                                  // the server path of the file
  qstring local_path;                            // the working file, merged in place
  qstring remote_copy;                           // private copy of the last revision
  qstring base_copy;                             // private copy of the revision the site has
  qstring arguments;                             // the disassembler's argument template
  int method = 0;                                // merge_method_t, 1 to 4
  os_handle_t *process = nullptr;                // the launched disassembler (owned until waited for)
  post_merge_handler_t *handler = nullptr;       // not owned; null for none
  int result = ARKIVE_MESSAGE;                   // repository error code of the job
  qstring message;                               // failure text
};

// The GUI-thread request that completes one merge job: run() calls resolve_and_finish and answers 0.
struct merge_completion_request_t : exec_request_t
{
  explicit merge_completion_request_t(merge_job_t *merge_job) : job(merge_job) {}
  int32_t run() override;

  merge_job_t *job; // not owned
  bool ran = false; // run() has been called
};

// The completion marker that the disassembler writes when a merge is complete: the local path with the
// extension "zdb_ok".
qstring merge_completion_marker(const char *local_path);

// The MD5 digest of a revision into digest: of the local file through the site's file system for -4,
// else as the server records it (GET_ARKIVE_FILES). 0, the local read's code, or 33 when the server
// does not list exactly one file (the detail text is then what the request left).
int revision_digest(uint8_t digest[16], arkive_connection_t *connection, local_site_t &site, const char *path,
                    const char *local_path, int32_t revision);
