// The repository facade: forwarding with the usability test, server-message logging, change events, and the
// client's error reports.
#include "client/app/arkive_with_events.h"

#include "core/ui_callback.h"
#include "repo/arkive_errors.h"

#include <utility>

namespace {

// One line per message, logged as one message: the Output window shows the same lines in the same order, but
// a reply of thousands of messages costs one delivery and one window update instead of one per line.
void log_server_messages(const qvector<server_message_t> &messages)
{
  qstring lines;
  for ( const server_message_t &message : messages )
  {
    append_arkive_error_text(&lines, message.code, message.text.c_str());
    lines.push_back('\n');
  }
  if ( !lines.empty() )
    log_printf("%s", lines.c_str());
}

} // namespace

// Counts the operations under way, so that a connection dropped by a listener or a queued call that runs
// inside one of them (the progress poll processes events) outlives them.
class arkive_redirector_t::call_scope_t
{
public:
  explicit call_scope_t(arkive_redirector_t &owner) : owner_(owner) { ++owner_.running_calls_; }
  ~call_scope_t()
  {
    if ( --owner_.running_calls_ == 0 )
      owner_.retired_.clear();
  }
  call_scope_t(const call_scope_t &) = delete;
  call_scope_t &operator=(const call_scope_t &) = delete;

private:
  arkive_redirector_t &owner_;
};

arkive_redirector_t::~arkive_redirector_t() = default;

bool arkive_redirector_t::is_usable() const
{
  return usable_connection() != nullptr;
}

arkive_connection_t *arkive_redirector_t::usable_connection() const
{
  arkive_connection_t *connection = connection_.get();
  return connection != nullptr && !connection->is_broken() ? connection : nullptr;
}

void arkive_redirector_t::set_connection(std::unique_ptr<arkive_connection_t> connection)
{
  std::unique_ptr<arkive_connection_t> previous = std::exchange(connection_, std::move(connection));
  if ( previous != nullptr && running_calls_ > 0 )
    retired_.push_back(std::move(previous));
}

template<class Fn>
int arkive_redirector_t::forward(Fn &&fn)
{
  arkive_connection_t *connection = usable_connection();
  if ( connection == nullptr )
    return ARKIVE_DISCONNECTED;
  call_scope_t scope(*this);
  return fn(*connection);
}

template<class Fn>
int arkive_redirector_t::forward_logged(Fn &&fn)
{
  qvector<server_message_t> messages;
  const int code = forward([&](arkive_connection_t &connection) { return fn(connection, &messages); });
  if ( code == ARKIVE_OK )
    log_server_messages(messages);
  return code;
}

void arkive_redirector_t::noop_hook()
{
  if ( connection_ == nullptr )
    return;
  call_scope_t scope(*this);
  connection_->noop_hook();
}

int arkive_redirector_t::zero_query()
{
  return 0;
}

int arkive_redirector_t::merge_file(local_site_t &site, const char *path, int method, post_merge_handler_t *handler,
                                    const char *templ)
{
  if ( connection_ == nullptr )
    return ARKIVE_DISCONNECTED;
  call_scope_t scope(*this);
  return connection_->merge_file(site, path, method, handler, templ);
}

int arkive_redirector_t::edit_user(const user_info_t &user, int32_t create)
{
  return forward([&](arkive_connection_t &c) { return c.edit_user(user, create); });
}

int arkive_redirector_t::delete_user(const char *login, int32_t force)
{
  return forward([&](arkive_connection_t &c) { return c.delete_user(login, force); });
}

int arkive_redirector_t::add_group(const char *name)
{
  return forward([&](arkive_connection_t &c) { return c.add_group(name); });
}

int arkive_redirector_t::edit_group(const char *name, const char *text, int32_t flag)
{
  return forward([&](arkive_connection_t &c) { return c.edit_group(name, text, flag); });
}

int arkive_redirector_t::delete_group(const char *name)
{
  return forward([&](arkive_connection_t &c) { return c.delete_group(name); });
}

int arkive_redirector_t::set_permissions(const qvector<permission_rule_t> &rules)
{
  return forward([&](arkive_connection_t &c) { return c.set_permissions(rules); });
}

int arkive_redirector_t::get_permissions(qvector<permission_rule_t> *rules)
{
  return forward([&](arkive_connection_t &c) { return c.get_permissions(rules); });
}

int arkive_redirector_t::check_permissions(const char *name, const char *text)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.check_permissions(messages, name, text);
  });
}

int arkive_redirector_t::get_sessions(qvector<session_info_t> *sessions)
{
  return forward([&](arkive_connection_t &c) { return c.get_sessions(sessions); });
}

int arkive_redirector_t::set_password(const char *login, const char *password)
{
  return forward([&](arkive_connection_t &c) { return c.set_password(login, password); });
}

int arkive_redirector_t::get_users(qvector<user_info_t> *users)
{
  return forward([&](arkive_connection_t &c) { return c.get_users(users); });
}

int arkive_redirector_t::get_user(user_info_t *user, const char *login)
{
  return forward([&](arkive_connection_t &c) { return c.get_user(user, login); });
}

int arkive_redirector_t::get_groups(qvector<group_info_t> *groups)
{
  return forward([&](arkive_connection_t &c) { return c.get_groups(groups); });
}

int arkive_redirector_t::get_group(group_info_t *group, const char *name)
{
  return forward([&](arkive_connection_t &c) { return c.get_group(group, name); });
}

int arkive_redirector_t::edit_site(const site_info_t &site, int32_t create)
{
  return forward([&](arkive_connection_t &c) { return c.edit_site(site, create); });
}

int arkive_redirector_t::delete_site(const char *name, int32_t force)
{
  return forward([&](arkive_connection_t &c) { return c.delete_site(name, force); });
}

int arkive_redirector_t::get_sites(qvector<site_info_t> *sites, const char *user)
{
  return forward([&](arkive_connection_t &c) { return c.get_sites(sites, user); });
}

int arkive_redirector_t::get_site(site_info_t *site, const char *name)
{
  return forward([&](arkive_connection_t &c) { return c.get_site(site, name); });
}

int arkive_redirector_t::use_site(site_info_t *site, const char *name, const char *host)
{
  return forward([&](arkive_connection_t &c) { return c.use_site(site, name, host); });
}

int arkive_redirector_t::set_site_filters(const qvector<qstring> &lines, const char *site)
{
  return forward([&](arkive_connection_t &c) { return c.set_site_filters(lines, site); });
}

int arkive_redirector_t::get_site_filters(qvector<qstring> *lines, const char *site)
{
  return forward([&](arkive_connection_t &c) { return c.get_site_filters(lines, site); });
}

int arkive_redirector_t::get_commits(qvector<commit_info_t> *commits, const qvector<qstring> &paths,
                                     const commit_filter_t &filter, int32_t revision)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.get_commits(messages, commits, paths, filter, revision);
  });
}

int arkive_redirector_t::edit_commit(int32_t commit, const char *description)
{
  return forward([&](arkive_connection_t &c) { return c.edit_commit(commit, description); });
}

int arkive_redirector_t::get_commit_files(qvector<arkive_file_info_t> *files, int32_t commit)
{
  return forward([&](arkive_connection_t &c) { return c.get_commit_files(files, commit); });
}

int arkive_redirector_t::get_arkive_files(qvector<arkive_file_info_t> *files, const qvector<qstring> &patterns,
                                          int32_t revision, int32_t options)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.get_arkive_files(messages, files, patterns, revision, options);
  });
}

int arkive_redirector_t::open_submitted_file(remote_file_t **file, const char *path, int32_t number)
{
  return forward([&](arkive_connection_t &c) { return c.open_submitted_file(file, path, number); });
}

int arkive_redirector_t::add_worklist(int32_t *number, const char *description)
{
  return forward([&](arkive_connection_t &c) { return c.add_worklist(number, description); });
}

int arkive_redirector_t::delete_worklist(int32_t worklist)
{
  return forward([&](arkive_connection_t &c) { return c.delete_worklist(worklist); });
}

int arkive_redirector_t::edit_worklist(int32_t worklist, const char *description)
{
  return forward([&](arkive_connection_t &c) { return c.edit_worklist(worklist, description); });
}

int arkive_redirector_t::commit_worklist(int32_t *commit, const char *description, int32_t worklist, int32_t force)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.commit_worklist(messages, commit, description, worklist, force);
  });
}

int arkive_redirector_t::migrate_files(const qvector<qstring> &paths, int32_t worklist)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.migrate_files(messages, paths, worklist);
  });
}

int arkive_redirector_t::get_worklists(qvector<worklist_info_t> *worklists, const char *user, const char *site,
                                       int32_t worklist)
{
  return forward([&](arkive_connection_t &c) { return c.get_worklists(worklists, user, site, worklist); });
}

int arkive_redirector_t::get_worklist_files(qvector<worklist_file_t> *files, const char *user, const char *site,
                                            int32_t worklist)
{
  return forward([&](arkive_connection_t &c) { return c.get_worklist_files(files, user, site, worklist); });
}

int arkive_redirector_t::add_files(qvector<int32_t> *codes, const qvector<qstring> &paths, int32_t worklist)
{
  return forward([&](arkive_connection_t &c) { return c.add_files(codes, paths, worklist); });
}

int arkive_redirector_t::edit_files(const qvector<qstring> &paths, int32_t worklist)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.edit_files(messages, paths, worklist);
  });
}

int arkive_redirector_t::edit_files_lent(qvector<qstring> &paths, int32_t worklist)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.edit_files_lent(messages, paths, worklist);
  });
}

int arkive_redirector_t::delete_files(const qvector<qstring> &paths, int32_t worklist)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.delete_files(messages, paths, worklist);
  });
}

int arkive_redirector_t::copy_files(const char *source, const char *destination, int32_t revision, int32_t worklist)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.copy_files(messages, source, destination, revision, worklist);
  });
}

int arkive_redirector_t::move_files(const char *source, const char *destination, int32_t worklist)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.move_files(messages, source, destination, worklist);
  });
}

int arkive_redirector_t::revert_files(const qvector<qstring> &paths, int32_t unchanged_only)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.revert_files(messages, paths, unchanged_only);
  });
}

int arkive_redirector_t::resolve_file(const char *path)
{
  return forward([&](arkive_connection_t &c) { return c.resolve_file(path); });
}

int arkive_redirector_t::sync_files(const qvector<qstring> &patterns, int32_t revision, int32_t options)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.sync_files(messages, patterns, revision, options);
  });
}

int arkive_redirector_t::sync_one_file(const char *path, int32_t revision, const char *target)
{
  return forward([&](arkive_connection_t &c) { return c.sync_one_file(path, revision, target); });
}

int arkive_redirector_t::get_arkive_info(arkive_server_info_t *info)
{
  return forward([&](arkive_connection_t &c) { return c.get_arkive_info(info); });
}

int arkive_redirector_t::scan_files(int32_t worklist, const qvector<qstring> &patterns,
                                    const qvector<qstring> &local_files, const qvector<qstring> &ignore_rules,
                                    int32_t options)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.scan_files(messages, worklist, patterns, local_files, ignore_rules, options);
  });
}

int arkive_redirector_t::purge_files(const qvector<qstring> &paths, int32_t flag)
{
  return forward_logged([&](arkive_connection_t &c, qvector<server_message_t> *messages) {
    return c.purge_files(messages, paths, flag);
  });
}

int arkive_redirector_t::set_verifying_site(int32_t flag)
{
  return forward([&](arkive_connection_t &c) { return c.set_verifying_site(flag); });
}

//--------------------------------------------------------------------------
// The evented operations.

arkive_with_events_t::~arkive_with_events_t() = default;

int arkive_with_events_t::use_site(site_info_t *site, const char *name, const char *host)
{
  site_info_t used;
  const int code = arkive_redirector_t::use_site(&used, name, host);
  if ( code != ARKIVE_OK )
    return code;
  notify(arkive_event_site_switched, int(ARKIVE_OK), static_cast<const site_info_t *>(&used));
  if ( site != nullptr )
    *site = std::move(used);
  return code;
}

int arkive_with_events_t::set_site_filters(const qvector<qstring> &lines, const char *site)
{
  const int code = arkive_redirector_t::set_site_filters(lines, site);
  notify(arkive_event_filters_set, code, &lines, site);
  return code;
}

int arkive_with_events_t::commit_worklist(int32_t *commit, const char *description, int32_t worklist, int32_t force)
{
  const int code = arkive_redirector_t::commit_worklist(commit, description, worklist, force);
  notify(arkive_event_worklist_committed, code, description, worklist, force);
  return code;
}

int arkive_with_events_t::migrate_files(const qvector<qstring> &paths, int32_t worklist)
{
  const int code = arkive_redirector_t::migrate_files(paths, worklist);
  notify(arkive_event_files_migrated, code, &paths, worklist);
  return code;
}

int arkive_with_events_t::add_files(qvector<int32_t> *codes, const qvector<qstring> &paths, int32_t worklist)
{
  const int code = arkive_redirector_t::add_files(codes, paths, worklist);
  notify(arkive_event_files_added, code, &paths, worklist);
  return code;
}

int arkive_with_events_t::edit_files(const qvector<qstring> &paths, int32_t worklist)
{
  const int code = arkive_redirector_t::edit_files(paths, worklist);
  notify(arkive_event_files_edited, code, &paths, worklist);
  return code;
}

int arkive_with_events_t::edit_files(qvector<qstring> &&paths, int32_t worklist)
{
  const int code = edit_files_lent(paths, worklist);
  notify(arkive_event_files_edited, code, &paths, worklist);
  return code;
}

int arkive_with_events_t::delete_files(const qvector<qstring> &paths, int32_t worklist)
{
  const int code = arkive_redirector_t::delete_files(paths, worklist);
  notify(arkive_event_files_deleted, code, &paths, worklist);
  return code;
}

int arkive_with_events_t::copy_files(const char *source, const char *destination, int32_t revision, int32_t worklist)
{
  const int code = arkive_redirector_t::copy_files(source, destination, revision, worklist);
  notify(arkive_event_files_copied, code, source, destination, revision, worklist);
  return code;
}

int arkive_with_events_t::move_files(const char *source, const char *destination, int32_t worklist)
{
  const int code = arkive_redirector_t::move_files(source, destination, worklist);
  notify(arkive_event_files_moved, code, source, destination, worklist);
  return code;
}

int arkive_with_events_t::revert_files(const qvector<qstring> &paths, int32_t unchanged_only)
{
  const int code = arkive_redirector_t::revert_files(paths, unchanged_only);
  notify(arkive_event_files_reverted, code, &paths, unchanged_only);
  return code;
}

int arkive_with_events_t::sync_files(const qvector<qstring> &patterns, int32_t revision, int32_t options)
{
  const int code = arkive_redirector_t::sync_files(patterns, revision, options);
  notify(arkive_event_files_synced, code, &patterns, revision, options);
  return code;
}

//--------------------------------------------------------------------------
// Reports.

void report_arkive_error(bool box, int code, const char *format, va_list va)
{
  // The detail first: it reads the thread's error state, which nothing below may change before.
  const qstring detail = arkive_error_text(code, nullptr);
  qstring head;
  if ( code == ARKIVE_DISCONNECTED )
  {
    head = "Disconnected from the server";
    box = false;
  }
  else
  {
    vformat_to_string(&head, format, va);
  }
  if ( box )
    warning_printf("%s\n%s", head.c_str(), detail.c_str());
  else
    log_printf("%s: %s\n", head.c_str(), detail.c_str());
}

void show_server_error(int code, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  report_arkive_error(false, code, format, va);
  va_end(va);
}

void show_server_warning(int code, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  report_arkive_error(true, code, format, va);
  va_end(va);
}

bool confirm_discard_changes()
{
  return question_printf(1, "HIDECANCEL\nAll changes will be lost.\nAre you sure?") == 1;
}
