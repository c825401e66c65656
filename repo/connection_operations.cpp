// The request operations of the repository connection: one request packet and one expected reply each.
#include "repo/arkive_connection.h"

#include "core/error_state.h"
#include "repo/arkive_errors.h"
#include "repo/packets_login.h"
#include "repo/packets_sites.h"
#include "repo/packets_users.h"
#include "repo/packets_worklists.h"
#include "repo/remote_file.h"

#include <utility>

namespace {

const char *text_or_empty(const char *text)
{
  return text != nullptr ? text : "";
}

// The want bits of a request with two out-parameters.
uint8_t want_bits(const void *first, const void *second)
{
  return uint8_t((first != nullptr ? 1 : 0) | (second != nullptr ? 2 : 0));
}

// Hands a list or record of the reply to the caller; the caller's earlier contents go with the reply.
template<class T>
void hand_over(T *out, T &from_reply)
{
  if ( out != nullptr )
    std::swap(*out, from_reply);
}

}  // namespace

int rpc_arkive_connection_t::unexpected_reply(uint8_t type)
{
  qstring type_text;
  format_to_string(&type_text, "%d", int(type));
  error_arg_text(0, type_text.c_str());
  return ARKIVE_BAD_PACKET;
}

int rpc_arkive_connection_t::classify_reply_type(const rpc_packet_t *reply, uint8_t expected_type, bool content_needed)
{
  if ( reply == nullptr )
  {
    error_arg_text(0, last_error().c_str());
    if ( failure_handler_ != nullptr && !failure_handler_->reconnecting )
      failure_handler_->give_up();
    return ARKIVE_DISCONNECTED;
  }
  if ( reply->type == expected_type )
    return ARKIVE_OK;
  if ( reply->type == RPC_FAIL )
  {
    if ( const auto *fail = dynamic_cast<const code_text_packet_t *>(reply) )
    {
      error_arg_text(0, fail->text.c_str());
      if ( fail->code != ARKIVE_OK || !content_needed )
        return fail->code;
    }
  }
  return unexpected_reply(reply->type);
}

template<class Reply, class Accept>
int rpc_arkive_connection_t::run_request(const rpc_packet_t &request, uint8_t expected_type, Accept accept)
{
  std::lock_guard guard(lock_);
  const std::unique_ptr<rpc_packet_t> reply = exchange(request);
  Reply *accepted = nullptr;
  const int code = classify_reply(reply.get(), expected_type, false, &accepted);
  if ( accepted != nullptr )
    accept(*accepted);
  return code;
}

int rpc_arkive_connection_t::run_request(const rpc_packet_t &request)
{
  return run_request<empty_packet_t>(request, RPC_OK, [](empty_packet_t &) {});
}

//--------------------------------------------------------------------------
bool rpc_arkive_connection_t::login(qstring *error, const char *user, const char *password, const char *client)
{
  std::lock_guard guard(lock_);
  login_packet_t request(LOGIN);
  request.user = text_or_empty(user);
  request.password = text_or_empty(password);
  request.version = ARKIVE_PROTOCOL_VERSION;
  request.client = text_or_empty(client);
  request.extra = false;
  if ( run_request(request) == ARKIVE_OK )
  {
    large_packets_ = true;
    return true;
  }
  if ( error != nullptr )
    *error = text_or_empty(get_error_arg_text(0));
  return false;
}

int rpc_arkive_connection_t::authenticate(qstring *error, user_info_t *user, const char *user_name,
                                          const char *password)
{
  two_names_number_packet_t request(AUTHENTICATE);
  request.name = text_or_empty(user_name);
  request.text = text_or_empty(password);
  request.number = int32_t(ARKIVE_PROTOCOL_VERSION);
  request.want_reply = 0;
  const int code = run_request<user_packet_t>(request, AUTHENTICATE_RESULT,
                                              [user](user_packet_t &reply) { hand_over(user, reply.user); });
  if ( code != ARKIVE_OK && error != nullptr )
    *error = text_or_empty(get_error_arg_text(0));
  return code;
}

//--------------------------------------------------------------------------
// Users, groups, permissions, sessions.

int rpc_arkive_connection_t::edit_user(const user_info_t &user, int32_t create)
{
  user_edit_packet_t request(EDIT_USER);
  request.user = user;
  request.create = create != 0;
  return run_request(request);
}

int rpc_arkive_connection_t::delete_user(const char *login, int32_t force)
{
  name_number_packet_t request(DEL_USER);
  request.name = text_or_empty(login);
  request.number = force;
  return run_request(request);
}

int rpc_arkive_connection_t::add_group(const char *name)
{
  name_packet_t request(ADD_GROUP);
  request.name = text_or_empty(name);
  return run_request(request);
}

int rpc_arkive_connection_t::edit_group(const char *name, const char *text, int32_t flag)
{
  group_edit_packet_t request(EDIT_GROUP);
  request.name = text_or_empty(name);
  request.text = text_or_empty(text);
  request.flag = flag != 0;
  return run_request(request);
}

int rpc_arkive_connection_t::delete_group(const char *name)
{
  name_packet_t request(DEL_GROUP);
  request.name = text_or_empty(name);
  return run_request(request);
}

int rpc_arkive_connection_t::set_permissions(const qvector<permission_rule_t> &rules)
{
  permission_list_packet_t request(SET_PERMISSIONS);
  request.rules = rules;
  return run_request(request);
}

int rpc_arkive_connection_t::get_permissions(qvector<permission_rule_t> *rules)
{
  flag_packet_t request(GET_PERMISSIONS);
  return run_request<permission_list_packet_t>(request, GET_PERMISSIONS_RESULT,
                                               [&](permission_list_packet_t &reply) { hand_over(rules, reply.rules); });
}

int rpc_arkive_connection_t::check_permissions(qvector<server_message_t> *messages, const char *name,
                                               const char *text)
{
  two_names_flag_packet_t request(CHECK_PERMISSIONS);
  request.name = text_or_empty(name);
  request.text = text_or_empty(text);
  request.want_reply = messages != nullptr;
  return run_request<message_list_packet_t>(request, CHECK_PERMISSIONS_RESULT,
                                            [&](message_list_packet_t &reply) { hand_over(messages, reply.messages); });
}

int rpc_arkive_connection_t::get_sessions(qvector<session_info_t> *sessions)
{
  flag_packet_t request(GET_SESSIONS);
  return run_request<session_list_packet_t>(request, GET_SESSIONS_RESULT,
                                            [&](session_list_packet_t &reply) { hand_over(sessions, reply.sessions); });
}

int rpc_arkive_connection_t::set_password(const char *login, const char *password)
{
  two_names_packet_t request(SET_PASSWORD);
  request.name = text_or_empty(login);
  request.text = text_or_empty(password);
  return run_request(request);
}

int rpc_arkive_connection_t::get_users(qvector<user_info_t> *users)
{
  flag_packet_t request(GET_USERS);
  return run_request<user_list_packet_t>(request, GET_USERS_RESULT,
                                         [&](user_list_packet_t &reply) { hand_over(users, reply.users); });
}

int rpc_arkive_connection_t::get_user(user_info_t *user, const char *login)
{
  name_flag_packet_t request(GET_USER);
  request.name = text_or_empty(login);
  request.want_reply = user != nullptr;
  return run_request<user_packet_t>(request, GET_USER_RESULT,
                                    [&](user_packet_t &reply) { hand_over(user, reply.user); });
}

int rpc_arkive_connection_t::get_groups(qvector<group_info_t> *groups)
{
  flag_packet_t request(GET_GROUPS);
  return run_request<group_list_packet_t>(request, GET_GROUPS_RESULT,
                                          [&](group_list_packet_t &reply) { hand_over(groups, reply.groups); });
}

int rpc_arkive_connection_t::get_group(group_info_t *group, const char *name)
{
  name_flag_packet_t request(GET_GROUP);
  request.name = text_or_empty(name);
  request.want_reply = group != nullptr;
  return run_request<group_packet_t>(request, GET_GROUP_RESULT,
                                     [&](group_packet_t &reply) { hand_over(group, reply.group); });
}

//--------------------------------------------------------------------------
// Sites and their filters.

int rpc_arkive_connection_t::edit_site(const site_info_t &site, int32_t create)
{
  site_edit_packet_t request(EDIT_SITE);
  request.site = site;
  request.create = create != 0;
  return run_request(request);
}

int rpc_arkive_connection_t::delete_site(const char *name, int32_t force)
{
  name_bool_packet_t request(DEL_SITE);
  request.name = text_or_empty(name);
  request.force = force != 0;
  return run_request(request);
}

int rpc_arkive_connection_t::get_sites(qvector<site_info_t> *sites, const char *user)
{
  name_flag_packet_t request(GET_SITES);
  request.name = text_or_empty(user);
  request.want_reply = sites != nullptr;
  return run_request<site_list_packet_t>(request, GET_SITES_RESULT,
                                         [&](site_list_packet_t &reply) { hand_over(sites, reply.sites); });
}

int rpc_arkive_connection_t::get_site(site_info_t *site, const char *name)
{
  name_flag_packet_t request(GET_SITE);
  request.name = text_or_empty(name);
  request.want_reply = site != nullptr;
  return run_request<site_packet_t>(request, GET_SITE_RESULT,
                                    [&](site_packet_t &reply) { hand_over(site, reply.site); });
}

int rpc_arkive_connection_t::use_site(site_info_t *site, const char *name, const char *host)
{
  two_names_flag_packet_t request(USE_SITE);
  request.name = text_or_empty(name);
  request.text = text_or_empty(host);
  request.want_reply = site != nullptr;
  return run_request<site_packet_t>(request, USE_SITE_RESULT, [&](site_packet_t &reply) {
    // From now on the server's requests act inside this site's work directory.
    use_site_file_system(reply.site.root_dir.c_str());
    hand_over(site, reply.site);
  });
}

int rpc_arkive_connection_t::set_site_filters(const qvector<qstring> &lines, const char *site)
{
  site_filters_packet_t request(SET_SITE_FILTERS);
  request.lines = lines;
  request.name = text_or_empty(site);
  return run_request(request);
}

int rpc_arkive_connection_t::get_site_filters(qvector<qstring> *lines, const char *site)
{
  name_flag_packet_t request(GET_SITE_FILTERS);
  request.name = text_or_empty(site);
  request.want_reply = lines != nullptr;
  return run_request<string_list_packet_t>(request, GET_SITE_FILTERS_RESULT,
                                           [&](string_list_packet_t &reply) { hand_over(lines, reply.lines); });
}

//--------------------------------------------------------------------------
// Commits and server files.

int rpc_arkive_connection_t::get_commits(qvector<server_message_t> *messages, qvector<commit_info_t> *commits,
                                         const qvector<qstring> &paths, const commit_filter_t &filter,
                                         int32_t revision)
{
  commit_query_packet_t request(GET_COMMITS);
  request.paths = paths;
  request.filter = filter;
  request.revision = revision;
  request.want = want_bits(messages, commits);
  return run_request<commit_list_packet_t>(request, GET_COMMITS_RESULT, [&](commit_list_packet_t &reply) {
    hand_over(messages, reply.messages);
    hand_over(commits, reply.commits);
  });
}

int rpc_arkive_connection_t::edit_commit(int32_t commit, const char *description)
{
  code_text_packet_t request(EDIT_COMMIT);
  request.code = commit;
  request.text = text_or_empty(description);
  return run_request(request);
}

int rpc_arkive_connection_t::get_commit_files(qvector<arkive_file_info_t> *files, int32_t commit)
{
  number_flag_packet_t request(GET_COMMIT_FILES);
  request.number = commit;
  request.want_reply = files != nullptr;
  return run_request<file_list_packet_t>(request, GET_COMMIT_FILES_RESULT,
                                         [&](file_list_packet_t &reply) { hand_over(files, reply.files); });
}

int rpc_arkive_connection_t::get_arkive_files(qvector<server_message_t> *messages, qvector<arkive_file_info_t> *files,
                                              const qvector<qstring> &patterns, int32_t revision, int32_t options)
{
  path_query_packet_t request(GET_ARKIVE_FILES);
  request.patterns = patterns;
  request.revision = revision;
  request.options = options;
  request.want = want_bits(messages, files);
  return run_request<file_query_result_packet_t>(request, GET_ARKIVE_FILES_RESULT,
                                                 [&](file_query_result_packet_t &reply) {
                                                   hand_over(messages, reply.messages);
                                                   hand_over(files, reply.files);
                                                 });
}

int rpc_arkive_connection_t::open_submitted_file(remote_file_t **file, const char *path, int32_t number)
{
  name_number_flag_packet_t request(OPEN_SUBMITTED_FILE);
  request.name = text_or_empty(path);
  request.number = number;
  request.want_reply = file != nullptr;
  return run_request<number_packet_t>(request, OPEN_SUBMITTED_FILE_RESULT, [&](number_packet_t &reply) {
    if ( file != nullptr )
      *file = new remote_file_t(this, reply.number);
  });
}

//--------------------------------------------------------------------------
// Worklists and the file operations.

int rpc_arkive_connection_t::add_worklist(int32_t *number, const char *description)
{
  name_flag_packet_t request(ADD_WORKLIST);
  request.name = text_or_empty(description);
  request.want_reply = number != nullptr;
  return run_request<number_packet_t>(request, ADD_WORKLIST_RESULT, [&](number_packet_t &reply) {
    if ( number != nullptr )
      *number = reply.number;
  });
}

int rpc_arkive_connection_t::delete_worklist(int32_t worklist)
{
  number_packet_t request(DEL_WORKLIST);
  request.number = worklist;
  return run_request(request);
}

int rpc_arkive_connection_t::edit_worklist(int32_t worklist, const char *description)
{
  code_text_packet_t request(EDIT_WORKLIST);
  request.code = worklist;
  request.text = text_or_empty(description);
  return run_request(request);
}

int rpc_arkive_connection_t::commit_worklist(qvector<server_message_t> *messages, int32_t *commit,
                                             const char *description, int32_t worklist, int32_t force)
{
  commit_worklist_packet_t request(COMMIT_WORKLIST);
  request.description = text_or_empty(description);
  request.worklist = worklist;
  request.force = force;
  request.want = want_bits(messages, commit);
  return run_request<commit_result_packet_t>(request, COMMIT_WORKLIST_RESULT, [&](commit_result_packet_t &reply) {
    hand_over(messages, reply.messages);
    if ( commit != nullptr )
      *commit = reply.commit;
  });
}

namespace {

// The requests of the file operations that list paths and answer one message per path.
void fill_path_list(path_list_packet_t &request, const qvector<qstring> &paths, int32_t number, const void *want)
{
  request.paths = paths;
  request.number = number;
  request.want_reply = want != nullptr;
}

// Lends a path list to a request for the request's life: the list goes back to its owner however it ends.
class lent_paths_t
{
public:
  lent_paths_t(qvector<qstring> &owner, qvector<qstring> &borrower) : owner_(owner), borrower_(borrower)
  {
    borrower_.swap(owner_);
  }
  ~lent_paths_t() { borrower_.swap(owner_); }
  lent_paths_t(const lent_paths_t &) = delete;
  lent_paths_t &operator=(const lent_paths_t &) = delete;

private:
  qvector<qstring> &owner_;
  qvector<qstring> &borrower_;
};

}  // namespace

int rpc_arkive_connection_t::migrate_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                           int32_t worklist)
{
  path_list_packet_t request(MIGRATE_FILES);
  fill_path_list(request, paths, worklist, messages);
  return run_request<message_list_packet_t>(request, MIGRATE_FILES_RESULT,
                                            [&](message_list_packet_t &reply) { hand_over(messages, reply.messages); });
}

int rpc_arkive_connection_t::get_worklists(qvector<worklist_info_t> *worklists, const char *user, const char *site,
                                           int32_t worklist)
{
  two_names_number_packet_t request(GET_WORKLISTS);
  request.name = text_or_empty(user);
  request.text = text_or_empty(site);
  request.number = worklist;
  request.want_reply = worklists != nullptr;
  return run_request<worklist_list_packet_t>(request, GET_WORKLISTS_RESULT, [&](worklist_list_packet_t &reply) {
    hand_over(worklists, reply.worklists);
  });
}

int rpc_arkive_connection_t::get_worklist_files(qvector<worklist_file_t> *files, const char *user, const char *site,
                                                int32_t worklist)
{
  two_names_number_packet_t request(GET_WORKLIST_FILES);
  request.name = text_or_empty(user);
  request.text = text_or_empty(site);
  request.number = worklist;
  request.want_reply = files != nullptr;
  return run_request<worklist_file_list_packet_t>(request, GET_WORKLIST_FILES_RESULT,
                                                  [&](worklist_file_list_packet_t &reply) {
                                                    hand_over(files, reply.files);
                                                  });
}

int rpc_arkive_connection_t::add_files(qvector<int32_t> *codes, const qvector<qstring> &paths, int32_t worklist)
{
  path_list_packet_t request(ADD_FILES);
  fill_path_list(request, paths, worklist, codes);
  return run_request<code_list_packet_t>(request, ADD_FILES_RESULT,
                                         [&](code_list_packet_t &reply) { hand_over(codes, reply.codes); });
}

int rpc_arkive_connection_t::edit_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                        int32_t worklist)
{
  path_list_packet_t request(EDIT_FILES);
  fill_path_list(request, paths, worklist, messages);
  return run_request<message_list_packet_t>(request, EDIT_FILES_RESULT,
                                            [&](message_list_packet_t &reply) { hand_over(messages, reply.messages); });
}

int rpc_arkive_connection_t::edit_files_lent(qvector<server_message_t> *messages, qvector<qstring> &paths,
                                             int32_t worklist)
{
  path_list_packet_t request(EDIT_FILES);
  request.number = worklist;
  request.want_reply = messages != nullptr;
  const lent_paths_t lent(paths, request.paths);
  return run_request<message_list_packet_t>(request, EDIT_FILES_RESULT,
                                            [&](message_list_packet_t &reply) { hand_over(messages, reply.messages); });
}

int rpc_arkive_connection_t::delete_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                          int32_t worklist)
{
  path_list_packet_t request(DEL_FILES);
  fill_path_list(request, paths, worklist, messages);
  return run_request<message_list_packet_t>(request, DEL_FILES_RESULT,
                                            [&](message_list_packet_t &reply) { hand_over(messages, reply.messages); });
}

int rpc_arkive_connection_t::copy_files(qvector<server_message_t> *messages, const char *source,
                                        const char *destination, int32_t revision, int32_t worklist)
{
  copy_files_packet_t request(COPY_FILES);
  request.source = text_or_empty(source);
  request.destination = text_or_empty(destination);
  request.revision = revision;
  request.worklist = worklist;
  request.want_reply = messages != nullptr;
  return run_request<message_list_packet_t>(request, COPY_FILES_RESULT,
                                            [&](message_list_packet_t &reply) { hand_over(messages, reply.messages); });
}

int rpc_arkive_connection_t::move_files(qvector<server_message_t> *messages, const char *source,
                                        const char *destination, int32_t worklist)
{
  two_names_number_packet_t request(MOVE_FILES);
  request.name = text_or_empty(source);
  request.text = text_or_empty(destination);
  request.number = worklist;
  request.want_reply = messages != nullptr;
  return run_request<message_list_packet_t>(request, MOVE_FILES_RESULT,
                                            [&](message_list_packet_t &reply) { hand_over(messages, reply.messages); });
}

int rpc_arkive_connection_t::revert_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                          int32_t unchanged_only)
{
  path_list_packet_t request(REVERT_FILES);
  fill_path_list(request, paths, unchanged_only, messages);
  return run_request<message_list_packet_t>(request, REVERT_FILES_RESULT,
                                            [&](message_list_packet_t &reply) { hand_over(messages, reply.messages); });
}

int rpc_arkive_connection_t::resolve_file(const char *path)
{
  name_packet_t request(RESOLVE_FILE);
  request.name = text_or_empty(path);
  return run_request(request);
}

int rpc_arkive_connection_t::sync_files(qvector<server_message_t> *messages, const qvector<qstring> &patterns,
                                        int32_t revision, int32_t options)
{
  path_query_packet_t request(SYNC_FILES);
  request.patterns = patterns;
  request.revision = revision;
  request.options = options;
  request.want = messages != nullptr;
  return run_request<message_list_packet_t>(request, SYNC_FILES_RESULT,
                                            [&](message_list_packet_t &reply) { hand_over(messages, reply.messages); });
}

int rpc_arkive_connection_t::sync_one_file(const char *path, int32_t revision, const char *target)
{
  std::lock_guard guard(lock_);
  sync_one_file_packet_t request(SYNC_ONE_FILE);
  request.path = text_or_empty(path);
  request.revision = revision;
  request.target = text_or_empty(target);
  // The server writes the revision to the path named here, which may lie outside the work directory (a
  // revision copy): that one path, and no other, is opened for it wherever it is.
  sync_target_ = request.target;
  const int code = run_request(request);
  sync_target_.clear();
  return code;
}

//--------------------------------------------------------------------------
// Server information, scans, purges.

int rpc_arkive_connection_t::get_arkive_info(arkive_server_info_t *info)
{
  flag_packet_t request(GET_ARKIVE_INFO);
  return run_request<server_info_packet_t>(request, GET_ARKIVE_INFO_RESULT,
                                           [&](server_info_packet_t &reply) { hand_over(info, reply.info); });
}

int rpc_arkive_connection_t::scan_files(qvector<server_message_t> *messages, int32_t worklist,
                                        const qvector<qstring> &patterns, const qvector<qstring> &local_files,
                                        const qvector<qstring> &ignore_rules, int32_t options)
{
  scan_files_packet_t request(SCAN_FILES);
  request.worklist = worklist;
  request.patterns = patterns;
  request.local_files = local_files;
  request.ignore_rules = ignore_rules;
  request.options = options;
  request.want_reply = messages != nullptr;
  return run_request<message_list_packet_t>(request, SCAN_FILES_RESULT,
                                            [&](message_list_packet_t &reply) { hand_over(messages, reply.messages); });
}

int rpc_arkive_connection_t::purge_files(qvector<server_message_t> *messages, const qvector<qstring> &paths,
                                         int32_t flag)
{
  purge_files_packet_t request(PURGE_FILES);
  request.paths = paths;
  request.flag = flag != 0;
  request.want_reply = messages != nullptr;
  return run_request<message_list_packet_t>(request, PURGE_FILES_RESULT,
                                            [&](message_list_packet_t &reply) { hand_over(messages, reply.messages); });
}

int rpc_arkive_connection_t::set_verifying_site(int32_t flag)
{
  bool_packet_t request(SET_VERIFYING_SITE);
  request.flag = flag != 0;
  return run_request(request);
}
