// The repository connection: one operation per request, and its implementation over the frame engine.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "core/threads.h"
#include "repo/arkive_messenger.h"
#include "repo/fs_file.h"
#include "repo/rpc_engine.h"
#include "repo/wire_records.h"

#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

class abstract_fs_t;
struct arkive_credentials_t;
class local_site_t;
class post_merge_handler_t;
class remote_file_t;

// Told by a connection when its stream is lost. Promise of the base: at most one reconnection runs at a
// time (`reconnecting` is set between begin_reconnect and end_reconnect).
class network_failure_handler_t
{
public:
  virtual ~network_failure_handler_t() = default;
  // Starts a reconnection: false when one is already under way, else sets `reconnecting` and answers true.
  // An implementation fills the credentials and the client text to log in with; reason is the connection's
  // last error text.
  virtual bool begin_reconnect(arkive_credentials_t *credentials, qstring *client, const char *reason);
  // Ends a reconnection: clears `reconnecting`.
  virtual void end_reconnect(bool success, const char *error);
  // An operation ended without a reply while no reconnection was under way.
  virtual void give_up() = 0;

  bool reconnecting = false;
};

// Whether a connection may still be used, shared with work that outlives a call. The connection's destructor
// clears `alive` under `lock`; a user holds `lock` across its check and its use of the connection, so the
// connection cannot go away in between.
struct connection_liveness_t
{
  std::mutex lock;
  bool alive = true;
};

// The abstract repository connection. Every request operation returns a repository error code: 0 success, a
// server code (RPC_FAIL), 47 an unexpected reply, 53 no reply; its detail is in string argument 0 of the
// calling thread's error state. Out-parameters (before the inputs) may be null: the request then says it
// does not want that part of the reply; a failed operation leaves them as they were. Absent texts are empty.
class arkive_connection_t
{
public:
  arkive_connection_t() = default;
  // Retires the connection and deletes the message sink.
  virtual ~arkive_connection_t();
  arkive_connection_t(const arkive_connection_t &) = delete;
  arkive_connection_t &operator=(const arkive_connection_t &) = delete;

  [[nodiscard]] virtual int edit_user(const user_info_t &user, int32_t create) = 0;
  [[nodiscard]] virtual int delete_user(const char *login, int32_t force) = 0;
  [[nodiscard]] virtual int add_group(const char *name) = 0;
  [[nodiscard]] virtual int edit_group(const char *name, const char *text, int32_t flag) = 0;
  [[nodiscard]] virtual int delete_group(const char *name) = 0;
  [[nodiscard]] virtual int set_permissions(const qvector<permission_rule_t> &rules) = 0;
  [[nodiscard]] virtual int get_permissions(qvector<permission_rule_t> *rules) = 0;
  [[nodiscard]] virtual int check_permissions(qvector<server_message_t> *messages, const char *name,
                                              const char *text) = 0;
  [[nodiscard]] virtual int get_sessions(qvector<session_info_t> *sessions) = 0;
  [[nodiscard]] virtual int set_password(const char *login, const char *password) = 0;
  [[nodiscard]] virtual int get_users(qvector<user_info_t> *users) = 0;
  [[nodiscard]] virtual int get_user(user_info_t *user, const char *login) = 0;
  [[nodiscard]] virtual int get_groups(qvector<group_info_t> *groups) = 0;
  [[nodiscard]] virtual int get_group(group_info_t *group, const char *name) = 0;
  [[nodiscard]] virtual int edit_site(const site_info_t &site, int32_t create) = 0;
  [[nodiscard]] virtual int delete_site(const char *name, int32_t force) = 0;
  [[nodiscard]] virtual int get_sites(qvector<site_info_t> *sites, const char *user) = 0;
  [[nodiscard]] virtual int get_site(site_info_t *site, const char *name) = 0;
  [[nodiscard]] virtual int use_site(site_info_t *site, const char *name, const char *host) = 0;
  [[nodiscard]] virtual int set_site_filters(const qvector<qstring> &lines, const char *site) = 0;
  [[nodiscard]] virtual int get_site_filters(qvector<qstring> *lines, const char *site) = 0;
  [[nodiscard]] virtual int get_commits(qvector<server_message_t> *messages, qvector<commit_info_t> *commits,
                                        const qvector<qstring> &paths, const commit_filter_t &filter,
                                        int32_t revision) = 0;
  [[nodiscard]] virtual int edit_commit(int32_t commit, const char *description) = 0;
  [[nodiscard]] virtual int get_commit_files(qvector<arkive_file_info_t> *files, int32_t commit) = 0;
  [[nodiscard]] virtual int get_arkive_files(qvector<server_message_t> *messages, qvector<arkive_file_info_t> *files,
                                             const qvector<qstring> &patterns, int32_t revision, int32_t options) = 0;
  [[nodiscard]] virtual int open_submitted_file(remote_file_t **file, const char *path, int32_t number) = 0;
  [[nodiscard]] virtual int add_worklist(int32_t *number, const char *description) = 0;
  [[nodiscard]] virtual int delete_worklist(int32_t worklist) = 0;
  [[nodiscard]] virtual int edit_worklist(int32_t worklist, const char *description) = 0;
  [[nodiscard]] virtual int commit_worklist(qvector<server_message_t> *messages, int32_t *commit,
                                            const char *description, int32_t worklist, int32_t force) = 0;
  [[nodiscard]] virtual int migrate_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                          int32_t worklist) = 0;
  [[nodiscard]] virtual int get_worklists(qvector<worklist_info_t> *worklists, const char *user, const char *site,
                                          int32_t worklist) = 0;
  [[nodiscard]] virtual int get_worklist_files(qvector<worklist_file_t> *files, const char *user, const char *site,
                                               int32_t worklist) = 0;
  [[nodiscard]] virtual int add_files(qvector<int32_t> *codes, const qvector<qstring> &paths, int32_t worklist) = 0;
  [[nodiscard]] virtual int edit_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                       int32_t worklist) = 0;
  // edit_files with the list lent to the request instead of copied into it: whole again when the call returns.
  [[nodiscard]] virtual int edit_files_lent(qvector<server_message_t> *messages, qvector<qstring> &paths,
                                            int32_t worklist)
  {
    return edit_files(messages, paths, worklist);
  }
  [[nodiscard]] virtual int delete_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                         int32_t worklist) = 0;
  [[nodiscard]] virtual int copy_files(qvector<server_message_t> *messages, const char *source, const char *destination,
                                       int32_t revision, int32_t worklist) = 0;
  [[nodiscard]] virtual int move_files(qvector<server_message_t> *messages, const char *source, const char *destination,
                                       int32_t worklist) = 0;
  [[nodiscard]] virtual int revert_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                         int32_t unchanged_only) = 0;
  [[nodiscard]] virtual int resolve_file(const char *path) = 0;
  [[nodiscard]] virtual int sync_files(qvector<server_message_t> *messages, const qvector<qstring> &patterns,
                                       int32_t revision,
                                       int32_t options) = 0;
  [[nodiscard]] virtual int sync_one_file(const char *path, int32_t revision, const char *target) = 0;
  virtual void noop_hook() = 0;
  [[nodiscard]] virtual int get_arkive_info(arkive_server_info_t *info) = 0;
  [[nodiscard]] virtual int scan_files(qvector<server_message_t> *messages, int32_t worklist,
                                       const qvector<qstring> &patterns,
                                       const qvector<qstring> &local_files, const qvector<qstring> &ignore_rules,
                                       int32_t options) = 0;
  [[nodiscard]] virtual int purge_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                        int32_t flag) = 0;
  [[nodiscard]] virtual int zero_query() = 0;
  [[nodiscard]] virtual int set_verifying_site(int32_t flag) = 0;

  // Diffs and merges of the disassembler's databases, supplied by the merge driver (merge_driver.cpp).
  // Resolves one file of the site by merge method (1 to 6, merge_method_t): 5 tells the server the file is
  // resolved, 6 first fetches its last revision into the working file; 1 to 4 fetch the revision the site
  // has and the last one into private copies and let the disassembler merge them into the working file
  // (templ: its argument template, null for the method's default), then tell the server. A handler is
  // called once with the final code (for 1 to 4 from the merge's completion on the GUI thread) unless
  // the path is not a valid server path or a copy cannot be fetched. Answers the code; for 1 to 4 with a
  // handler, 0 once the disassembler runs.
  [[nodiscard]] virtual int merge_file(local_site_t &site, const char *path, int method, post_merge_handler_t *handler,
                                       const char *templ);
  // Compares two revisions of databases (path2 null: path1) with the disassembler and does not wait for
  // it; -1 and -3 are resolved to numbers first. A file against itself is refused on the console and
  // equal digests are logged as identical, both answering 0 without a launch. templ null: the default diff
  // template.
  [[nodiscard]] int diff_revisions(local_site_t &site, const char *path1, int32_t revision1, const char *path2,
                                   int32_t revision2, const char *templ);
  // A local file holding a revision of path: the working file for -4 (not temporary), else a new private
  // copy that the server writes (temporary: the caller deletes it). title: the server path and the
  // revision's text. The outputs (each may be null) are set on success only; a failed fetch leaves no copy.
  [[nodiscard]] int fetch_revision(qstring *local_path, bool *temporary, qstring *title, local_site_t &site,
                                   const char *path,
                                   int32_t revision);
  // The revision number that -1 (the last) or -3 (the site's) stands for; any other value, or one the
  // server does not tell, comes back unchanged.
  [[nodiscard]] int32_t resolve_revision(const char *path, int32_t revision);
  // Shared with work that outlives a call (a merge job waiting for the disassembler), so that it knows
  // whether it may still use the connection.
  std::shared_ptr<connection_liveness_t> liveness() const { return liveness_; }

  // The base keeps no handler: only a connection with a stream can lose it.
  virtual void set_network_failure_handler(network_failure_handler_t *) {}
  virtual bool is_broken() { return false; }

  // Installs a message sink (owned), deleting the one installed before.
  void set_messenger(arkive_messenger_t *messenger);
  arkive_messenger_t *messenger() const { return messenger_.get(); }

protected:
  // Marks the connection gone, first waiting for a user that holds the liveness lock. The destructor of a
  // connection class calls it before any of its own state goes; calling it again does nothing.
  void retire();

private:
  std::unique_ptr<arkive_messenger_t> messenger_;
  std::shared_ptr<connection_liveness_t> liveness_ = std::make_shared<connection_liveness_t>();
};

// The connection over the frame engine. Promises: every operation (request, login, a file sync with its target)
// runs whole under the connection's recursive lock, so one connection may be used from several threads;
// `outstanding_type` names the request under way and is RPC_OK (10) between exchanges; once the stream has
// failed the connection stays broken; the reply rules (classify_reply) are the same for every request.
class rpc_arkive_connection_t : public arkive_connection_t, public rpc_session_t
{
public:
  // Builds the connection around an opened stream, which it owns, and registers every packet type.
  explicit rpc_arkive_connection_t(socket_stream_ptr opened_stream);
  explicit rpc_arkive_connection_t(socket_stream_t *opened_stream)
    : rpc_arkive_connection_t(socket_stream_ptr(opened_stream)) {}
  ~rpc_arkive_connection_t() override;

  // One exchange: sends the request and receives frames until its reply comes. The reply, or null.
  std::unique_ptr<rpc_packet_t> exchange(const rpc_packet_t &request);
  std::unique_ptr<rpc_packet_t> call(const rpc_packet_t &request) override { return exchange(request); }
  // The receive loop: once LOGIN has succeeded, frames of the server's own requests are answered here and the
  // loop waits again, never sending the request a second time. When the stream fails before the server took
  // the request and a failure handler is installed, the connection reconnects once and sends it again.
  raw_frame_ptr send_and_receive(uint8_t expected_type, byte_buffer_t &frame) override;

  // Logs in on this stream: LOGIN with protocol version 5 and the client text. On success (RPC_OK, or RPC_FAIL
  // with code 0) frames above small_frame_limit and the server's requests are accepted from then on. On
  // failure *error (when given) receives the detail text.
  [[nodiscard]] bool login(qstring *error, const char *user, const char *password, const char *client);
  // Tests a user and password: AUTHENTICATE with protocol version 5. 0 with the user's record moved into *user
  // (when given), else the standard reply handling's code with its detail in *error (when given).
  [[nodiscard]] int authenticate(qstring *error, user_info_t *user, const char *user_name, const char *password);
  // Replaces the lost stream by a new one and logs in again as the failure handler says, selecting its site
  // again; the handler hears the outcome. Runs inside an exchange, under the connection's lock.
  bool reconnect();

  // The reply rules of every request, the connection's operations and remote files alike, applied to what one
  // exchange gave (null: nothing came). 0 when the reply has the expected type and is of class Reply: *accepted
  // points into it. 0 for RPC_FAIL with code 0 (its text in string argument 0), which carries nothing: *accepted
  // stays null, and where the caller cannot do without the reply's content (content_needed) the answer is 47
  // instead. Another RPC_FAIL: its code and text. Any other reply: 47 with its type number as the text. No
  // reply: 53 with the last error text, and give_up when a failure handler is installed and no reconnection runs.
  template<class Reply>
  [[nodiscard]] int classify_reply(rpc_packet_t *reply, uint8_t expected_type, bool content_needed,
                                   Reply **accepted);

  // Passes the text to the message sink's print ("%s") when one is installed.
  virtual void notify_message(const char *text);

  void set_network_failure_handler(network_failure_handler_t *handler) override { failure_handler_ = handler; }
  network_failure_handler_t *failure_handler() const { return failure_handler_; }
  bool is_broken() override { return broken(); }
  uint8_t outstanding_type() const { return outstanding_type_; }

  // The work-directory file system that the server's requests act on; null until set. The one set here (the
  // login's, usually of the empty root) serves until a USE_SITE succeeds; from then on the requests act on
  // the file system of that site's root directory, which confines every path the server names to the root
  // and keeps a checksum cache. Without a site root the server may neither open, delete nor examine local
  // files. File systems are not owned (they live until the process ends).
  void set_file_system(abstract_fs_t *fs);
  abstract_fs_t *file_system() const { return file_system_; }
  // Switches to the file system of a site root directory (made with a checksum cache on first use; its
  // progress and message sinks pass everything on to those of the login's file system). An empty root keeps
  // the current file system.
  void use_site_file_system(const char *root);

  // 0 while the request under way lets the server open and delete local files (COMMIT_WORKLIST, DEL_FILES,
  // COPY_FILES, MOVE_FILES, REVERT_FILES, SYNC_FILES, SYNC_ONE_FILE). At any other time the request is a
  // protocol breach that ends the program: the fatal "Wrong file request %d from the arkive server" with the
  // type of the request under way. The path is not looked at. An override may refuse with a code of its own
  // (details in string argument 0): the server's request then fails with it and touches nothing.
  [[nodiscard]] virtual int file_request_allowed(const char *path);

  // Server handles of open local files: 0 to 15.
  static constexpr size_t file_handle_count = 16;

  [[nodiscard]] int edit_user(const user_info_t &user, int32_t create) override;
  [[nodiscard]] int delete_user(const char *login, int32_t force) override;
  [[nodiscard]] int add_group(const char *name) override;
  [[nodiscard]] int edit_group(const char *name, const char *text, int32_t flag) override;
  [[nodiscard]] int delete_group(const char *name) override;
  [[nodiscard]] int set_permissions(const qvector<permission_rule_t> &rules) override;
  [[nodiscard]] int get_permissions(qvector<permission_rule_t> *rules) override;
  [[nodiscard]] int check_permissions(qvector<server_message_t> *messages, const char *name, const char *text) override;
  [[nodiscard]] int get_sessions(qvector<session_info_t> *sessions) override;
  [[nodiscard]] int set_password(const char *login, const char *password) override;
  [[nodiscard]] int get_users(qvector<user_info_t> *users) override;
  [[nodiscard]] int get_user(user_info_t *user, const char *login) override;
  [[nodiscard]] int get_groups(qvector<group_info_t> *groups) override;
  [[nodiscard]] int get_group(group_info_t *group, const char *name) override;
  [[nodiscard]] int edit_site(const site_info_t &site, int32_t create) override;
  [[nodiscard]] int delete_site(const char *name, int32_t force) override;
  [[nodiscard]] int get_sites(qvector<site_info_t> *sites, const char *user) override;
  [[nodiscard]] int get_site(site_info_t *site, const char *name) override;
  [[nodiscard]] int use_site(site_info_t *site, const char *name, const char *host) override;
  [[nodiscard]] int set_site_filters(const qvector<qstring> &lines, const char *site) override;
  [[nodiscard]] int get_site_filters(qvector<qstring> *lines, const char *site) override;
  [[nodiscard]] int get_commits(qvector<server_message_t> *messages, qvector<commit_info_t> *commits,
                                const qvector<qstring> &paths, const commit_filter_t &filter,
                                int32_t revision) override;
  [[nodiscard]] int edit_commit(int32_t commit, const char *description) override;
  [[nodiscard]] int get_commit_files(qvector<arkive_file_info_t> *files, int32_t commit) override;
  [[nodiscard]] int get_arkive_files(qvector<server_message_t> *messages, qvector<arkive_file_info_t> *files,
                                     const qvector<qstring> &patterns, int32_t revision, int32_t options) override;
  // OPEN_SUBMITTED_FILE: on success *file (when given) is a new remote_file_t of the handle, owned by the caller.
  [[nodiscard]] int open_submitted_file(remote_file_t **file, const char *path, int32_t number) override;
  [[nodiscard]] int add_worklist(int32_t *number, const char *description) override;
  [[nodiscard]] int delete_worklist(int32_t worklist) override;
  [[nodiscard]] int edit_worklist(int32_t worklist, const char *description) override;
  [[nodiscard]] int commit_worklist(qvector<server_message_t> *messages, int32_t *commit, const char *description,
                                    int32_t worklist, int32_t force) override;
  [[nodiscard]] int migrate_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                  int32_t worklist) override;
  [[nodiscard]] int get_worklists(qvector<worklist_info_t> *worklists, const char *user, const char *site,
                                  int32_t worklist) override;
  [[nodiscard]] int get_worklist_files(qvector<worklist_file_t> *files, const char *user, const char *site,
                                       int32_t worklist) override;
  [[nodiscard]] int add_files(qvector<int32_t> *codes, const qvector<qstring> &paths, int32_t worklist) override;
  [[nodiscard]] int edit_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                               int32_t worklist) override;
  [[nodiscard]] int edit_files_lent(qvector<server_message_t> *messages, qvector<qstring> &paths,
                                    int32_t worklist) override;
  [[nodiscard]] int delete_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                 int32_t worklist) override;
  [[nodiscard]] int copy_files(qvector<server_message_t> *messages, const char *source, const char *destination,
                               int32_t revision, int32_t worklist) override;
  [[nodiscard]] int move_files(qvector<server_message_t> *messages, const char *source, const char *destination,
                               int32_t worklist) override;
  [[nodiscard]] int revert_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                 int32_t unchanged_only) override;
  [[nodiscard]] int resolve_file(const char *path) override;
  [[nodiscard]] int sync_files(qvector<server_message_t> *messages, const qvector<qstring> &patterns, int32_t revision,
                               int32_t options) override;
  [[nodiscard]] int sync_one_file(const char *path, int32_t revision, const char *target) override;
  void noop_hook() override {}
  [[nodiscard]] int get_arkive_info(arkive_server_info_t *info) override;
  [[nodiscard]] int scan_files(qvector<server_message_t> *messages, int32_t worklist, const qvector<qstring> &patterns,
                               const qvector<qstring> &local_files, const qvector<qstring> &ignore_rules,
                               int32_t options) override;
  [[nodiscard]] int purge_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                int32_t flag) override;
  [[nodiscard]] int zero_query() override { return 0; }
  [[nodiscard]] int set_verifying_site(int32_t flag) override;

private:
  // classify_reply without the class check of an expected reply.
  [[nodiscard]] int classify_reply_type(const rpc_packet_t *reply, uint8_t expected_type, bool content_needed);
  // 47 with the reply's type number in string argument 0.
  [[nodiscard]] static int unexpected_reply(uint8_t type);
  // The standard reply handling of every request: one exchange under the connection's lock whose reply
  // classify_reply judges; an accepted reply of class Reply is handed to accept.
  template<class Reply, class Accept>
  [[nodiscard]] int run_request(const rpc_packet_t &request, uint8_t expected_type, Accept accept);
  [[nodiscard]] int run_request(const rpc_packet_t &request);
  // Answers one request of the server (decoded) with exactly one reply, then the loop waits again. A failed
  // request gets RPC_FAIL with its code and string argument 0 of the error state as its text.
  void serve_file_request(std::unique_ptr<rpc_packet_t> request);
  // The parts of serve_file_request: each answers a code (details in string argument 0) and may set *reply.
  [[nodiscard]] int serve_delete(const rpc_packet_t &request);
  [[nodiscard]] int serve_open(const rpc_packet_t &request, std::unique_ptr<rpc_packet_t> *reply);
  [[nodiscard]] int serve_close(const rpc_packet_t &request);
  [[nodiscard]] int serve_read(const rpc_packet_t &request, std::unique_ptr<rpc_packet_t> *reply);
  [[nodiscard]] int serve_write(const rpc_packet_t &request);
  [[nodiscard]] int serve_change_status(const rpc_packet_t &request, std::unique_ptr<rpc_packet_t> *reply);
  void serve_notice(const rpc_packet_t &request);
  // The open file of a handle, or null with 33 "bad abstract file handle" (out of range or empty slot).
  fs_file_t *file_of_handle(int32_t handle, int *code);
  // 0 when the current file system has a site root; else 42 with the path.
  [[nodiscard]] int require_site_root(const char *path);
  // Closes every file the server left open, without commit.
  void close_open_files();
  // Makes the files written since the last call durable (the end of a batch of file work): 0, or the first
  // failure's code with its detail.
  [[nodiscard]] int sync_written_files();

  network_failure_handler_t *failure_handler_ = nullptr; // not owned
  abstract_fs_t *login_file_system_ = nullptr;           // not owned: what set_file_system was given
  abstract_fs_t *file_system_ = nullptr;                 // not owned: the one the server's requests act on
  qstring sync_target_; // the local path of the SYNC_ONE_FILE under way, empty otherwise
  std::array<fs_file_ptr, file_handle_count> file_handles_; // the open files; null for a free handle
  std::vector<abstract_fs_t *> written_file_systems_; // not owned: those written to since the last sync
  // Held for a whole operation: its exchange and everything the operation reads or sets around it.
  std::recursive_mutex lock_;
  uint8_t outstanding_type_ = RPC_OK;
};

template<class Reply>
int rpc_arkive_connection_t::classify_reply(rpc_packet_t *reply, uint8_t expected_type, bool content_needed,
                                            Reply **accepted)
{
  *accepted = nullptr;
  const int code = classify_reply_type(reply, expected_type, content_needed);
  if ( code != 0 || reply->type != expected_type )
    return code;
  *accepted = dynamic_cast<Reply *>(reply);
  return *accepted != nullptr ? 0 : unexpected_reply(reply->type);
}

// True for the packet types that the server sends as requests of its own while a client request waits.
bool is_server_file_request(uint8_t type);
