// The client's one road to the server: a facade over the live connection that answers 53 without a usable
// one, logs the server's per-file messages and announces every change it makes.
#pragma once

#include "core/event_source.h"
#include "core/qstring.h"
#include "core/qvector.h"
#include "repo/arkive_connection.h"
#include "repo/wire_records.h"

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <vector>

class local_site_t;
class post_merge_handler_t;
class remote_file_t;

// Change events of the facade. Each notification carries the code, then for the events raised by operations
// the operation's result (int) and its inputs in their order: texts as const char *, numbers as int32_t, lists
// as const qvector<qstring> *. Event 0 carries (0, const site_info_t *); 10 (int code, const char *path);
// 12 (const char *server text, host and port); 13 nothing.
enum arkive_event_code : uint64_t
{
  arkive_event_site_switched = 0,      // use_site, on success only
  arkive_event_worklist_committed = 1, // commit_worklist
  arkive_event_files_synced = 2,       // sync_files
  arkive_event_files_migrated = 3,     // migrate_files
  arkive_event_files_added = 4,        // add_files
  arkive_event_files_edited = 5,       // edit_files
  arkive_event_files_deleted = 6,      // delete_files
  arkive_event_files_copied = 7,       // copy_files
  arkive_event_files_moved = 8,        // move_files
  arkive_event_files_reverted = 9,     // revert_files
  arkive_event_merge_finished = 10,    // the application, after each external merge
  arkive_event_filters_set = 11,       // set_site_filters
  arkive_event_connected = 12,         // the login, once a connection is installed
  arkive_event_disconnected = 13,      // logoff, before the connection goes
  arkive_event_count = 14,
};

// Forwards each operation to the connection of the same name and answers its result. Promises: without a
// connection, or with one that reports itself broken, every forwarding operation answers 53 at once and sends
// nothing (the thread's error state is left alone); noop_hook and merge_file skip the broken test, and
// zero_query answers 0 without forwarding. The operations marked "logged" take no message list: after a
// successful forward they log each of the server's messages as one line "%s\n" of its error-table text.
// A connection is never deleted while one of its operations runs: one replaced or dropped meanwhile goes
// when the outermost operation returns. GUI thread only.
class arkive_redirector_t
{
public:
  arkive_redirector_t() = default;
  // Deletes the connection.
  virtual ~arkive_redirector_t();
  arkive_redirector_t(const arkive_redirector_t &) = delete;
  arkive_redirector_t &operator=(const arkive_redirector_t &) = delete;

  // Does nothing without a connection.
  virtual void noop_hook();
  [[nodiscard]] virtual int zero_query();
  // 53 without a connection object (a broken one is still asked: the merge driver reports for itself).
  [[nodiscard]] virtual int merge_file(local_site_t &site, const char *path, int method, post_merge_handler_t *handler,
                                       const char *templ);
  [[nodiscard]] virtual int edit_user(const user_info_t &user, int32_t create);
  [[nodiscard]] virtual int delete_user(const char *login, int32_t force);
  [[nodiscard]] virtual int add_group(const char *name);
  [[nodiscard]] virtual int edit_group(const char *name, const char *text, int32_t flag);
  [[nodiscard]] virtual int delete_group(const char *name);
  [[nodiscard]] virtual int set_permissions(const qvector<permission_rule_t> &rules);
  [[nodiscard]] virtual int get_permissions(qvector<permission_rule_t> *rules);
  // Logged.
  [[nodiscard]] virtual int check_permissions(const char *name, const char *text);
  [[nodiscard]] virtual int get_sessions(qvector<session_info_t> *sessions);
  [[nodiscard]] virtual int set_password(const char *login, const char *password);
  [[nodiscard]] virtual int get_users(qvector<user_info_t> *users);
  [[nodiscard]] virtual int get_user(user_info_t *user, const char *login);
  [[nodiscard]] virtual int get_groups(qvector<group_info_t> *groups);
  [[nodiscard]] virtual int get_group(group_info_t *group, const char *name);
  [[nodiscard]] virtual int edit_site(const site_info_t &site, int32_t create);
  [[nodiscard]] virtual int delete_site(const char *name, int32_t force);
  [[nodiscard]] virtual int get_sites(qvector<site_info_t> *sites, const char *user);
  [[nodiscard]] virtual int get_site(site_info_t *site, const char *name);
  // host: empty or null for an ordinary switch, "*" after the site's root directory was edited.
  [[nodiscard]] virtual int use_site(site_info_t *site, const char *name, const char *host);
  [[nodiscard]] virtual int set_site_filters(const qvector<qstring> &lines, const char *site);
  [[nodiscard]] virtual int get_site_filters(qvector<qstring> *lines, const char *site);
  // Logged.
  [[nodiscard]] virtual int get_commits(qvector<commit_info_t> *commits, const qvector<qstring> &paths,
                                        const commit_filter_t &filter, int32_t revision);
  [[nodiscard]] virtual int edit_commit(int32_t commit, const char *description);
  [[nodiscard]] virtual int get_commit_files(qvector<arkive_file_info_t> *files, int32_t commit);
  // Logged.
  [[nodiscard]] virtual int get_arkive_files(qvector<arkive_file_info_t> *files, const qvector<qstring> &patterns,
                                             int32_t revision, int32_t options);
  [[nodiscard]] virtual int open_submitted_file(remote_file_t **file, const char *path, int32_t number);
  [[nodiscard]] virtual int add_worklist(int32_t *number, const char *description);
  [[nodiscard]] virtual int delete_worklist(int32_t worklist);
  [[nodiscard]] virtual int edit_worklist(int32_t worklist, const char *description);
  // Logged.
  [[nodiscard]] virtual int commit_worklist(int32_t *commit, const char *description, int32_t worklist,
                                            int32_t force);
  // Logged.
  [[nodiscard]] virtual int migrate_files(const qvector<qstring> &paths, int32_t worklist);
  [[nodiscard]] virtual int get_worklists(qvector<worklist_info_t> *worklists, const char *user, const char *site,
                                          int32_t worklist);
  [[nodiscard]] virtual int get_worklist_files(qvector<worklist_file_t> *files, const char *user, const char *site,
                                               int32_t worklist);
  [[nodiscard]] virtual int add_files(qvector<int32_t> *codes, const qvector<qstring> &paths, int32_t worklist);
  // Logged, like the five after it.
  [[nodiscard]] virtual int edit_files(const qvector<qstring> &paths, int32_t worklist);
  // edit_files with the list lent to the request instead of copied: whole again when the call returns.
  [[nodiscard]] int edit_files_lent(qvector<qstring> &paths, int32_t worklist);
  [[nodiscard]] virtual int delete_files(const qvector<qstring> &paths, int32_t worklist);
  [[nodiscard]] virtual int copy_files(const char *source, const char *destination, int32_t revision,
                                       int32_t worklist);
  [[nodiscard]] virtual int move_files(const char *source, const char *destination, int32_t worklist);
  [[nodiscard]] virtual int revert_files(const qvector<qstring> &paths, int32_t unchanged_only);
  [[nodiscard]] virtual int resolve_file(const char *path);
  [[nodiscard]] virtual int sync_files(const qvector<qstring> &patterns, int32_t revision, int32_t options);
  [[nodiscard]] virtual int sync_one_file(const char *path, int32_t revision, const char *target);
  [[nodiscard]] virtual int get_arkive_info(arkive_server_info_t *info);
  // Logged, like purge_files.
  [[nodiscard]] virtual int scan_files(int32_t worklist, const qvector<qstring> &patterns,
                                       const qvector<qstring> &local_files, const qvector<qstring> &ignore_rules,
                                       int32_t options);
  [[nodiscard]] virtual int purge_files(const qvector<qstring> &paths, int32_t flag);
  [[nodiscard]] virtual int set_verifying_site(int32_t flag);

  // The connection object, or null; it may be broken.
  [[nodiscard]] arkive_connection_t *connection() const { return connection_.get(); }
  // True with a connection that does not report itself broken.
  [[nodiscard]] bool is_usable() const;
  // Installs a connection (null: none), deleting the current one (later, when one of its operations runs).
  void set_connection(std::unique_ptr<arkive_connection_t> connection);

private:
  class call_scope_t;

  // The usable connection, or null.
  [[nodiscard]] arkive_connection_t *usable_connection() const;
  // Runs fn(connection) on the usable connection while the connection is held alive; 53 without one.
  template<class Fn>
  [[nodiscard]] int forward(Fn &&fn);
  // forward for an operation with a message list: fn(connection, messages); logs the messages on success.
  template<class Fn>
  [[nodiscard]] int forward_logged(Fn &&fn);

  std::unique_ptr<arkive_connection_t> connection_;
  // Connections replaced while an operation ran; they go when the outermost operation returns.
  std::vector<std::unique_ptr<arkive_connection_t>> retired_;
  int running_calls_ = 0;
};

// The facade with its change events (see arkive_event_code). Promises: every evented operation notifies after
// its forward whatever its result, 53 included, except use_site, which notifies only on success; listeners
// are called in link order and may run further operations.
class arkive_with_events_t : public arkive_redirector_t, public event_source_t
{
public:
  arkive_with_events_t() = default;
  ~arkive_with_events_t() override;

  // On success notifies event 0 with the site record and copies the record into *site (when given); on
  // failure notifies nothing and leaves *site alone.
  [[nodiscard]] int use_site(site_info_t *site, const char *name, const char *host) override;
  [[nodiscard]] int set_site_filters(const qvector<qstring> &lines, const char *site) override;
  [[nodiscard]] int commit_worklist(int32_t *commit, const char *description, int32_t worklist,
                                    int32_t force) override;
  [[nodiscard]] int migrate_files(const qvector<qstring> &paths, int32_t worklist) override;
  [[nodiscard]] int add_files(qvector<int32_t> *codes, const qvector<qstring> &paths, int32_t worklist) override;
  [[nodiscard]] int edit_files(const qvector<qstring> &paths, int32_t worklist) override;
  // edit_files of a list the caller gives up: the request borrows it instead of copying it.
  [[nodiscard]] int edit_files(qvector<qstring> &&paths, int32_t worklist);
  [[nodiscard]] int delete_files(const qvector<qstring> &paths, int32_t worklist) override;
  [[nodiscard]] int copy_files(const char *source, const char *destination, int32_t revision,
                               int32_t worklist) override;
  [[nodiscard]] int move_files(const char *source, const char *destination, int32_t worklist) override;
  [[nodiscard]] int revert_files(const qvector<qstring> &paths, int32_t unchanged_only) override;
  [[nodiscard]] int sync_files(const qvector<qstring> &patterns, int32_t revision, int32_t options) override;
};

// The one way a failed repository operation is reported. head: the caller's text, replaced by "Disconnected
// from the server" for code 53; detail: the error-table text of the code with the thread's last error text.
// With box, a warning box "head\ndetail"; without, or for 53, the log line "head: detail".
void report_arkive_error(bool box, int code, const char *format, va_list va);
// report_arkive_error without the box: a log line.
void show_server_error(int code, const char *format, ...);
// report_arkive_error with the box (a log line for 53).
void show_server_warning(int code, const char *format, ...);

// Asks whether edits may be thrown away, Yes being the default; true only for Yes.
[[nodiscard]] bool confirm_discard_changes();
