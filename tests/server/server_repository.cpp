// The test server's repository and its answers to the client's requests.
#include "tests/server/server_repository.h"

#include "core/clock_time.h"
#include "core/md5.h"
#include "repo/arkive_errors.h"
#include "repo/packet_type_table.h"
#include "repo/packets_login.h"
#include "repo/packets_sites.h"
#include "repo/packets_users.h"
#include "repo/packets_worklists.h"
#include "tests/server/client_work_directory.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <typeinfo>

namespace {

using reply_t = std::unique_ptr<rpc_packet_t>;

std::string str(const qstring &text)
{
  return std::string(text.view());
}

qstring qtext(const std::string &text)
{
  return qstring(std::string_view(text));
}

template<class P>
const P &body_of(const rpc_packet_t &request)
{
  return dynamic_cast<const P &>(request);
}

reply_t ok()
{
  return std::make_unique<empty_packet_t>(RPC_OK);
}

reply_t fail(int32_t code, const std::string &text)
{
  auto reply = std::make_unique<code_text_packet_t>(RPC_FAIL);
  reply->code = code;
  reply->text = qtext(text);
  return reply;
}

server_message_t message(int32_t code, const std::string &text)
{
  server_message_t m;
  m.code = code;
  m.text = qtext(text);
  return m;
}

std::string packet_name(uint8_t type)
{
  for ( const packet_type_row_t &row : packet_type_table )
    if ( row.type == type )
      return row.name;
  return std::to_string(type);
}

// Wraps a list of messages into a reply of the given type.
reply_t message_reply(uint8_t type, qvector<server_message_t> messages)
{
  auto reply = std::make_unique<message_list_packet_t>(type);
  reply->messages = std::move(messages);
  return reply;
}

}  // namespace

bool server_path_matches(const std::string &pattern, const std::string &path)
{
  const std::string_view p(pattern);
  if ( p.ends_with("...") )
    return std::string_view(path).starts_with(p.substr(0, p.size() - 3));
  // A folder, as the client names a selected one: everything below it.
  if ( p.ends_with('/') && p.size() > 2 )
    return std::string_view(path).starts_with(p);
  return pattern == path;
}

//--------------------------------------------------------------------------
// Seeding and inspection.

void server_repository_t::add_user(const std::string &login, const std::string &password, bool admin,
                                   const std::string &real_name, const std::string &email)
{
  std::lock_guard lock(mutex_);
  user_t &user = users_[login];
  user.info.login = qtext(login);
  user.info.real_name = qtext(real_name);
  user.info.email = qtext(email);
  user.info.admin = admin;
  user.password = password;
}

void server_repository_t::add_group(const std::string &name, const std::vector<std::string> &members)
{
  std::lock_guard lock(mutex_);
  group_info_t &group = groups_[name];
  group.name = qtext(name);
  for ( const std::string &member : members )
    group.members.push_back(qtext(member));
}

void server_repository_t::add_site(const std::string &name, const std::string &user, const std::string &root,
                                   const std::string &host)
{
  std::lock_guard lock(mutex_);
  site_t &site = sites_[name];
  site.info.name = qtext(name);
  site.info.user = qtext(user);
  site.info.root_dir = qtext(root);
  site.info.client_host = qtext(host);
  site.worklists[1] = worklist_t{user, "default", current_packed_time()};
}

int32_t server_repository_t::commit_files(const std::string &user, const std::string &site,
                                          const std::string &description,
                                          const std::vector<std::pair<std::string, std::string>> &files)
{
  std::lock_guard lock(mutex_);
  std::vector<std::pair<std::string, revision_t>> changes;
  for ( const auto &[path, content] : files )
  {
    const auto found = files_.find(path);
    revision_t revision;
    revision.action = found == files_.end() || found->second.deleted() ? action_add : action_edit;
    revision.content = content;
    changes.emplace_back(path, std::move(revision));
  }
  return commit_locked(user, site, description, std::move(changes));
}

int32_t server_repository_t::add_worklist(const std::string &user, const std::string &site,
                                          const std::string &description)
{
  std::lock_guard lock(mutex_);
  site_t &s = sites_[site];
  const int32_t number = s.worklists.empty() ? 1 : s.worklists.rbegin()->first + 1;
  s.worklists[number] = worklist_t{user, description, current_packed_time()};
  return number;
}

void server_repository_t::add_permission(const std::string &who, const std::string &pattern, int32_t number)
{
  std::lock_guard lock(mutex_);
  permissions_.push_back({who, pattern, number});
}

void server_repository_t::set_site_filters(const std::string &site, const std::vector<std::string> &lines)
{
  std::lock_guard lock(mutex_);
  sites_[site].filters = lines;
}

bool server_repository_t::content_locked(const std::string &path, int32_t revision, std::string *content) const
{
  const std::string *text = revision_text_locked(path, revision);
  if ( text == nullptr )
    return false;
  *content = *text;
  return true;
}

const std::string *server_repository_t::revision_text_locked(const std::string &path, int32_t revision) const
{
  const auto found = files_.find(path);
  if ( found == files_.end() )
    return nullptr;
  const int32_t n = revision == -1 ? found->second.last() : revision;
  if ( n < 1 || n > found->second.last() )
    return nullptr;
  return &found->second.revisions[size_t(n - 1)].content;
}

bool server_repository_t::has_user(const std::string &login) const
{
  std::lock_guard lock(mutex_);
  return users_.contains(login);
}

bool server_repository_t::has_group(const std::string &name) const
{
  std::lock_guard lock(mutex_);
  return groups_.contains(name);
}

bool server_repository_t::has_site(const std::string &name) const
{
  std::lock_guard lock(mutex_);
  return sites_.contains(name);
}

bool server_repository_t::user_record(const std::string &login, user_info_t *info, std::string *password) const
{
  std::lock_guard lock(mutex_);
  const auto found = users_.find(login);
  if ( found == users_.end() )
    return false;
  *info = found->second.info;
  *password = found->second.password;
  return true;
}

bool server_repository_t::site_record(const std::string &name, site_info_t *info,
                                      std::vector<std::string> *filters) const
{
  std::lock_guard lock(mutex_);
  const auto found = sites_.find(name);
  if ( found == sites_.end() )
    return false;
  *info = found->second.info;
  *filters = found->second.filters;
  return true;
}

int32_t server_repository_t::site_revision(const std::string &site, const std::string &path) const
{
  std::lock_guard lock(mutex_);
  const auto s = sites_.find(site);
  if ( s == sites_.end() )
    return 0;
  const auto held = s->second.held.find(path);
  return held == s->second.held.end() ? 0 : held->second;
}

bool server_repository_t::last_change(const std::string &path, last_change_t *out) const
{
  std::lock_guard lock(mutex_);
  const auto found = files_.find(path);
  if ( found == files_.end() || found->second.revisions.empty() )
    return false;
  const revision_t &last = found->second.revisions.back();
  out->revision = found->second.last();
  out->content = last.content;
  const commit_t &commit = commits_.at(size_t(last.commit - 1));
  out->user = commit.user;
  out->description = commit.description;
  return true;
}

int32_t server_repository_t::last_revision(const std::string &path) const
{
  std::lock_guard lock(mutex_);
  const auto found = files_.find(path);
  return found == files_.end() ? 0 : found->second.last();
}

bool server_repository_t::revision_content(const std::string &path, int32_t revision, std::string *content) const
{
  std::lock_guard lock(mutex_);
  return content_locked(path, revision, content);
}

bool server_repository_t::last_commit(std::string *user, std::string *description,
                                      std::vector<std::pair<std::string, int32_t>> *files) const
{
  std::lock_guard lock(mutex_);
  if ( commits_.empty() )
    return false;
  *user = commits_.back().user;
  *description = commits_.back().description;
  *files = commits_.back().files;
  return true;
}

bool server_repository_t::opened_on_site(const std::string &site, const std::string &path) const
{
  std::lock_guard lock(mutex_);
  const auto found = sites_.find(site);
  return found != sites_.end() && found->second.opened.count(path) != 0;
}

std::vector<server_repository_t::worklist_record_t> server_repository_t::worklists_of(const std::string &site) const
{
  std::lock_guard lock(mutex_);
  std::vector<worklist_record_t> records;
  const auto s = sites_.find(site);
  if ( s == sites_.end() )
    return records;
  for ( const auto &[number, worklist] : s->second.worklists )
  {
    worklist_record_t record {number, worklist.description, {}};
    for ( const auto &[path, opened] : s->second.opened )
      if ( opened.worklist == number )
        record.opened.push_back(path);
    records.push_back(std::move(record));
  }
  return records;
}

void server_repository_t::session_started(server_session_t *session)
{
  std::lock_guard lock(mutex_);
  sessions_.push_back(session);
}

void server_repository_t::session_ended(server_session_t *session)
{
  std::lock_guard lock(mutex_);
  std::erase(sessions_, session);
}

//--------------------------------------------------------------------------
// Shared helpers (the lock is held).

bool server_repository_t::is_admin(const server_session_t &session) const
{
  const auto found = users_.find(session.user);
  return found != users_.end() && found->second.info.admin;
}

server_repository_t::site_t *server_repository_t::session_site(const server_session_t &session)
{
  const auto found = sites_.find(session.site);
  return found == sites_.end() ? nullptr : &found->second;
}

server_repository_t::worklist_t *server_repository_t::find_worklist(site_t &site, int32_t number)
{
  const auto found = site.worklists.find(number);
  return found == site.worklists.end() ? nullptr : &found->second;
}

int32_t server_repository_t::commit_locked(const std::string &user, const std::string &site,
                                           const std::string &description,
                                           std::vector<std::pair<std::string, revision_t>> changes)
{
  commit_t commit{user, site, description, current_packed_time(), {}};
  const int32_t number = int32_t(commits_.size()) + 1;
  const auto holder = sites_.find(site);
  for ( auto &[path, revision] : changes )
  {
    revision.commit = number;
    revision.time = commit.time;
    file_t &file = files_[path];
    file.revisions.push_back(std::move(revision));
    commit.files.emplace_back(path, file.last());
    if ( holder != sites_.end() )
    {
      if ( file.deleted() )
        holder->second.held.erase(path);
      else
        holder->second.held[path] = file.last();
    }
  }
  commits_.push_back(std::move(commit));
  return number;
}

arkive_file_info_t server_repository_t::file_record(const std::string &path, int32_t revision, int32_t held) const
{
  const file_t &file = files_.at(path);
  const revision_t &r = file.revisions[size_t(revision - 1)];
  arkive_file_info_t info;
  info.path = qtext(path);
  md5_context_t md5;
  md5_init(&md5);
  md5_update(&md5, r.content.data(), r.content.size());
  md5_final(info.md5, &md5);
  info.size = r.content.size();
  info.commit_time = r.time;
  info.number = revision;
  info.site_revision = held;
  info.last_revision = file.last();
  info.commit = r.commit;
  info.action = r.action;
  return info;
}

//--------------------------------------------------------------------------
// Dispatch.

reply_t server_repository_t::handle(server_session_t &session, const rpc_packet_t &request)
{
  std::lock_guard lock(mutex_);
  try
  {
    return dispatch(session, request);
  }
  catch ( const std::bad_cast & )
  {
    return fail(ARKIVE_MESSAGE, "unexpected body for " + packet_name(request.type));
  }
}

reply_t server_repository_t::dispatch(server_session_t &session, const rpc_packet_t &request)
{
  if ( request.type == LOGIN )
    return login(session, request);
  if ( request.type == AUTHENTICATE )
    return authenticate(request);
  if ( session.user.empty() )
    return fail(22, packet_name(request.type));
  switch ( request.type )
  {
    case EDIT_USER:
      return edit_user(session, request);
    case DEL_USER:
      return delete_user(session, request);
    case ADD_GROUP:
    case EDIT_GROUP:
    case DEL_GROUP:
      return group_request(session, request);
    case SET_PERMISSIONS:
    {
      if ( !is_admin(session) )
        return fail(22, session.user);
      permissions_.clear();
      for ( const permission_rule_t &rule : body_of<permission_list_packet_t>(request).rules )
        permissions_.push_back({str(rule.text1), str(rule.text2), rule.number});
      return ok();
    }
    case GET_PERMISSIONS:
    {
      auto reply = std::make_unique<permission_list_packet_t>(GET_PERMISSIONS_RESULT);
      for ( const permission_t &p : permissions_ )
        reply->rules.push_back(permission_rule_t{qtext(p.who), qtext(p.pattern), p.number});
      return reply;
    }
    case CHECK_PERMISSIONS:
      return check_permissions(request);
    case GET_SESSIONS:
      return get_sessions();
    case SET_PASSWORD:
      return set_password(session, request);
    case GET_USERS:
    {
      auto reply = std::make_unique<user_list_packet_t>(GET_USERS_RESULT);
      for ( const auto &entry : users_ )
        reply->users.push_back(entry.second.info);
      return reply;
    }
    case GET_USER:
      return get_user(request);
    case GET_GROUPS:
    {
      auto reply = std::make_unique<group_list_packet_t>(GET_GROUPS_RESULT);
      for ( const auto &entry : groups_ )
        reply->groups.push_back(entry.second);
      return reply;
    }
    case GET_GROUP:
    {
      const std::string name = str(body_of<name_flag_packet_t>(request).name);
      const auto found = groups_.find(name);
      if ( found == groups_.end() )
        return fail(9, name);
      auto reply = std::make_unique<group_packet_t>(GET_GROUP_RESULT);
      reply->group = found->second;
      return reply;
    }
    case OPEN_SUBMITTED_FILE:
      return open_submitted_file(session, request);
    case READ_FILE:
    case WRITE_FILE:
    case CLOSE_FILE:
      return submitted_file_request(session, request);
    case EDIT_SITE:
      return edit_site(session, request);
    case DEL_SITE:
      return delete_site(session, request);
    case GET_SITES:
      return get_sites(request);
    case GET_SITE:
    case USE_SITE:
      return get_site(session, request);
    case SET_SITE_FILTERS:
      return set_site_filters(session, request);
    case GET_SITE_FILTERS:
      return get_site_filters(request);
    case GET_COMMITS:
      return get_commits(request);
    case EDIT_COMMIT:
      return edit_commit(session, request);
    case GET_COMMIT_FILES:
      return get_commit_files(session, request);
    case GET_ARKIVE_FILES:
      return get_arkive_files(session, request);
    case GET_ARKIVE_INFO:
      return get_arkive_info(session);
    case SET_VERIFYING_SITE:
      session.verifying = body_of<bool_packet_t>(request).flag;
      return ok();
    default:
      break;
  }
  // The rest works on the session's site.
  if ( session_site(session) == nullptr )
    return fail(5, session.site);
  switch ( request.type )
  {
    case ADD_WORKLIST:
    case DEL_WORKLIST:
    case EDIT_WORKLIST:
      return worklist_request(session, request);
    case COMMIT_WORKLIST:
      return commit_worklist(session, request);
    case GET_WORKLISTS:
      return get_worklists(session, request);
    case GET_WORKLIST_FILES:
      return get_worklist_files(session, request);
    case ADD_FILES:
      return add_files(session, request);
    case EDIT_FILES:
    case DEL_FILES:
    case MIGRATE_FILES:
      return open_files(session, request);
    case COPY_FILES:
    case MOVE_FILES:
      return copy_or_move(session, request);
    case REVERT_FILES:
      return revert_files(session, request);
    case RESOLVE_FILE:
      return resolve_file(session, request);
    case SYNC_FILES:
      return sync_files(session, request);
    case SYNC_ONE_FILE:
      return sync_one_file(session, request);
    case SCAN_FILES:
      return scan_files(session, request);
    case PURGE_FILES:
      return purge_files(session, request);
    default:
      return fail(ARKIVE_MESSAGE, "unsupported request " + packet_name(request.type));
  }
}

//--------------------------------------------------------------------------
// Users, groups, permissions, sessions.

reply_t server_repository_t::login(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<login_packet_t>(request);
  if ( body.version != 5 )
    return fail(ARKIVE_MESSAGE, "unsupported protocol version " + std::to_string(body.version));
  const auto found = users_.find(str(body.user));
  if ( found == users_.end() || found->second.password != str(body.password) )
    return fail(62, "");
  session.user = str(body.user);
  session.client_host = str(body.client);
  session.login_time = current_packed_time();
  found->second.info.last_active = session.login_time;
  return ok();
}

reply_t server_repository_t::authenticate(const rpc_packet_t &request)
{
  const auto &body = body_of<two_names_number_packet_t>(request);
  const auto found = users_.find(str(body.name));
  if ( found == users_.end() || found->second.password != str(body.text) )
    return fail(62, "");
  auto reply = std::make_unique<user_packet_t>(AUTHENTICATE_RESULT);
  reply->user = found->second.info;
  return reply;
}

reply_t server_repository_t::edit_user(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<user_edit_packet_t>(request);
  const std::string login = str(body.user.login);
  if ( !is_admin(session) && login != session.user )
    return fail(22, session.user);
  if ( login.empty() )
    return fail(8, login);
  const auto found = users_.find(login);
  if ( body.create && found != users_.end() )
    return fail(2, login);
  if ( !body.create && found == users_.end() )
    return fail(4, login);
  user_t &user = users_[login];
  const bool admin = body.create || is_admin(session) ? body.user.admin : user.info.admin;
  user.info = body.user;
  user.info.admin = admin;
  return ok();
}

reply_t server_repository_t::delete_user(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<name_number_packet_t>(request);
  const std::string login = str(body.name);
  if ( !is_admin(session) )
    return fail(22, session.user);
  if ( users_.find(login) == users_.end() )
    return fail(4, login);
  bool busy = false;
  for ( const auto &entry : sites_ )
    for ( const auto &opened : entry.second.opened )
      busy = busy || opened.second.user == login;
  if ( busy && body.number != 3 )
    return fail(16, login);
  users_.erase(login);
  for ( auto &entry : sites_ )
    std::erase_if(entry.second.opened, [&](const auto &opened) { return opened.second.user == login; });
  return ok();
}

reply_t server_repository_t::group_request(server_session_t &session, const rpc_packet_t &request)
{
  if ( !is_admin(session) )
    return fail(22, session.user);
  if ( request.type == EDIT_GROUP )
  {
    const auto &body = body_of<group_edit_packet_t>(request);
    const auto found = groups_.find(str(body.name));
    if ( found == groups_.end() )
      return fail(9, str(body.name));
    if ( users_.find(str(body.text)) == users_.end() )
      return fail(4, str(body.text));
    qvector<qstring> &members = found->second.members;
    const auto member = std::find(members.begin(), members.end(), body.text);
    if ( body.flag && member == members.end() )
      members.push_back(body.text);
    else if ( !body.flag && member != members.end() )
      members.erase(size_t(member - members.begin()));
    return ok();
  }
  const std::string name = str(body_of<name_packet_t>(request).name);
  const bool exists = groups_.find(name) != groups_.end();
  if ( request.type == ADD_GROUP )
  {
    if ( name.empty() )
      return fail(9, name);
    if ( exists )
      return fail(2, name);
    groups_[name].name = qtext(name);
    return ok();
  }
  if ( !exists )
    return fail(9, name);
  groups_.erase(name);
  return ok();
}

reply_t server_repository_t::check_permissions(const rpc_packet_t &request)
{
  const auto &body = body_of<two_names_flag_packet_t>(request);
  const std::string who = str(body.name);
  const std::string path = str(body.text);
  qvector<server_message_t> messages;
  if ( users_.find(who) == users_.end() )
    messages.push_back(message(4, who));
  else
    for ( const permission_t &p : permissions_ )
      if ( (p.who == who || p.who == "*") && server_path_matches(p.pattern, path) )
        messages.push_back(message(0, p.pattern));
  if ( messages.empty() )
    messages.push_back(message(22, path));
  return message_reply(CHECK_PERMISSIONS_RESULT, std::move(messages));
}

reply_t server_repository_t::set_password(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<two_names_packet_t>(request);
  const std::string login = str(body.name);
  if ( login != session.user && !is_admin(session) )
    return fail(22, session.user);
  const auto found = users_.find(login);
  if ( found == users_.end() )
    return fail(4, login);
  found->second.password = str(body.text);
  return ok();
}

reply_t server_repository_t::get_user(const rpc_packet_t &request)
{
  const std::string login = str(body_of<name_flag_packet_t>(request).name);
  const auto found = users_.find(login);
  if ( found == users_.end() )
    return fail(4, login);
  auto reply = std::make_unique<user_packet_t>(GET_USER_RESULT);
  reply->user = found->second.info;
  return reply;
}

reply_t server_repository_t::get_sessions()
{
  auto reply = std::make_unique<session_list_packet_t>(GET_SESSIONS_RESULT);
  for ( const server_session_t *s : sessions_ )
  {
    if ( s->user.empty() )
      continue;
    session_info_t info;
    info.user = qtext(s->user);
    info.site = qtext(s->site);
    info.client_host = qtext(s->client_host);
    info.value1 = s->login_time;
    info.value2 = uint64_t(s->id);
    info.admin = is_admin(*s);
    info.flag2 = s->verifying;
    reply->sessions.push_back(std::move(info));
  }
  return reply;
}

//--------------------------------------------------------------------------
// Sites.

reply_t server_repository_t::edit_site(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<site_edit_packet_t>(request);
  site_info_t info = body.site;
  const std::string name = str(info.name);
  if ( name.empty() )
    return fail(12, name);
  if ( info.root_dir.empty() )
    return fail(20, "");
  if ( info.user.empty() )
    info.user = qtext(session.user);
  if ( str(info.user) != session.user && !is_admin(session) )
    return fail(22, session.user);
  const auto found = sites_.find(name);
  if ( body.create && found != sites_.end() )
    return fail(2, name);
  if ( !body.create && found == sites_.end() )
    return fail(5, name);
  site_t &site = sites_[name];
  site.info = std::move(info);
  if ( site.worklists.empty() )
    site.worklists[1] = worklist_t{str(site.info.user), "default", current_packed_time()};
  return ok();
}

reply_t server_repository_t::delete_site(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<name_bool_packet_t>(request);
  const std::string name = str(body.name);
  const auto found = sites_.find(name);
  if ( found == sites_.end() )
    return fail(5, name);
  if ( str(found->second.info.user) != session.user && !is_admin(session) )
    return fail(22, session.user);
  const bool empty = found->second.opened.empty() && found->second.held.empty();
  if ( !empty && !body.force )
    return fail(6, name);
  sites_.erase(found);
  return ok();
}

reply_t server_repository_t::get_sites(const rpc_packet_t &request)
{
  const std::string user = str(body_of<name_flag_packet_t>(request).name);
  auto reply = std::make_unique<site_list_packet_t>(GET_SITES_RESULT);
  for ( const auto &entry : sites_ )
    if ( user.empty() || str(entry.second.info.user) == user )
      reply->sites.push_back(entry.second.info);
  return reply;
}

reply_t server_repository_t::get_site(server_session_t &session, const rpc_packet_t &request)
{
  const std::string name = str(request.type == USE_SITE ? body_of<two_names_flag_packet_t>(request).name
                                                         : body_of<name_flag_packet_t>(request).name);
  const auto found = sites_.find(name);
  if ( found == sites_.end() )
    return fail(5, name);
  if ( request.type == USE_SITE )
  {
    if ( str(found->second.info.user) != session.user && !is_admin(session) )
      return fail(22, session.user);
    session.site = name;
    found->second.info.last_used = current_packed_time();
  }
  auto reply = std::make_unique<site_packet_t>(request.type == USE_SITE ? USE_SITE_RESULT : GET_SITE_RESULT);
  reply->site = found->second.info;
  return reply;
}

reply_t server_repository_t::set_site_filters(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<site_filters_packet_t>(request);
  const std::string name = body.name.empty() ? session.site : str(body.name);
  const auto found = sites_.find(name);
  if ( found == sites_.end() )
    return fail(5, name);
  found->second.filters.clear();
  for ( const qstring &line : body.lines )
    found->second.filters.push_back(str(line));
  return ok();
}

reply_t server_repository_t::get_site_filters(const rpc_packet_t &request)
{
  const std::string name = str(body_of<name_flag_packet_t>(request).name);
  const auto found = sites_.find(name);
  if ( found == sites_.end() )
    return fail(5, name);
  auto reply = std::make_unique<string_list_packet_t>(GET_SITE_FILTERS_RESULT);
  for ( const std::string &line : found->second.filters )
    reply->lines.push_back(qtext(line));
  return reply;
}

//--------------------------------------------------------------------------
// Commits and server files.

reply_t server_repository_t::get_commits(const rpc_packet_t &request)
{
  const auto &body = body_of<commit_query_packet_t>(request);
  auto reply = std::make_unique<commit_list_packet_t>(GET_COMMITS_RESULT);
  std::vector<std::string> paths;
  for ( const qstring &path : body.paths )
  {
    if ( files_.find(str(path)) == files_.end() )
      reply->messages.push_back(message(3, str(path)));
    else
      paths.push_back(str(path));
  }
  if ( !body.paths.empty() && paths.empty() )
    return reply;
  const int32_t limit = body.filter.max_count;
  for ( size_t i = commits_.size(); i-- > 0; )
  {
    if ( limit > 0 && reply->commits.size() >= size_t(limit) )
      break;
    const commit_t &c = commits_[i];
    const int32_t number = int32_t(i + 1);
    if ( (body.filter.first_commit > 0 && number < body.filter.first_commit)
         || (body.filter.last_commit > 0 && number > body.filter.last_commit) )
      continue;
    uint8_t action = 0;
    bool wanted = paths.empty();
    for ( const auto &[path, revision] : c.files )
    {
      const bool path_wanted = paths.empty() || std::find(paths.begin(), paths.end(), path) != paths.end();
      if ( !path_wanted || (body.revision >= 0 && revision != body.revision) )
        continue;
      wanted = true;
      action = files_.at(path).revisions[size_t(revision - 1)].action;
      break;
    }
    if ( !wanted || (body.revision >= 0 && action == 0) )
      continue;
    commit_info_t info;
    info.number = number;
    info.action = action;
    info.time = c.time;
    info.user = qtext(c.user);
    info.site = qtext(c.site);
    info.description = qtext(c.description);
    reply->commits.push_back(std::move(info));
  }
  return reply;
}

reply_t server_repository_t::edit_commit(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<code_text_packet_t>(request);
  if ( body.code < 1 || size_t(body.code) > commits_.size() )
    return fail(19, std::to_string(body.code));
  commit_t &commit = commits_[size_t(body.code - 1)];
  if ( commit.user != session.user && !is_admin(session) )
    return fail(22, session.user);
  commit.description = str(body.text);
  return ok();
}

reply_t server_repository_t::get_commit_files(server_session_t &, const rpc_packet_t &request)
{
  const int32_t number = body_of<number_flag_packet_t>(request).number;
  if ( number < 1 || size_t(number) > commits_.size() )
    return fail(19, std::to_string(number));
  auto reply = std::make_unique<file_list_packet_t>(GET_COMMIT_FILES_RESULT);
  for ( const auto &[path, revision] : commits_[size_t(number - 1)].files )
    reply->files.push_back(file_record(path, revision, revision));
  return reply;
}

reply_t server_repository_t::get_arkive_files(server_session_t &session, const rpc_packet_t &request)
{
  // Option 8: a pattern is a substring of the paths searched for.
  constexpr int32_t substring_search = 8;
  const auto &body = body_of<path_query_packet_t>(request);
  const site_t *site = session_site(session);
  auto reply = std::make_unique<file_query_result_packet_t>(GET_ARKIVE_FILES_RESULT);
  for ( const qstring &pattern : body.patterns )
  {
    // "folder/*" lists the folder's own entries: its subfolders first (records with last revision 0), then
    // its files; any other pattern names files alone.
    const std::string_view text = pattern.view();
    const bool folder_pattern = text.ends_with("/*");
    const std::string prefix(folder_pattern ? text.substr(0, text.size() - 1) : std::string_view());
    std::set<std::string> subfolders;
    std::vector<arkive_file_info_t> found;
    for ( const auto &[path, file] : files_ )
    {
      if ( (body.options & 1) == 0 && file.deleted() )
        continue;
      if ( folder_pattern )
      {
        if ( !path.starts_with(prefix) || path.size() == prefix.size() )
          continue;
        if ( const size_t slash = path.find('/', prefix.size()); slash != std::string::npos )
        {
          subfolders.insert(path.substr(0, slash));
          continue;
        }
      }
      else if ( (body.options & substring_search) != 0 ? path.find(text) == std::string::npos
                                                       : !server_path_matches(str(pattern), path) )
        continue;
      int32_t held = 0;
      if ( site != nullptr )
        if ( const auto h = site->held.find(path); h != site->held.end() )
          held = h->second;
      // -2: every revision, each record carrying its own revision where the site's would stand; -3: the one
      // the site holds, the last one when it holds none.
      if ( body.revision == -2 )
      {
        for ( int32_t revision = 1; revision <= file.last(); ++revision )
          found.push_back(file_record(path, revision, revision));
        continue;
      }
      const int32_t listed = body.revision == -3 ? (held != 0 ? held : file.last())
                           : body.revision == -1 ? file.last()
                                                 : body.revision;
      if ( listed < 1 || listed > file.last() )
        continue;
      found.push_back(file_record(path, listed, held));
    }
    for ( const std::string &folder : subfolders )
    {
      arkive_file_info_t info;
      info.path = qtext(folder);
      reply->files.push_back(std::move(info));
    }
    for ( arkive_file_info_t &info : found )
      reply->files.push_back(std::move(info));
    if ( found.empty() && subfolders.empty() )
      reply->messages.push_back(message(43, str(pattern)));
  }
  return reply;
}

reply_t server_repository_t::get_arkive_info(server_session_t &session)
{
  auto reply = std::make_unique<server_info_packet_t>(GET_ARKIVE_INFO_RESULT);
  arkive_server_info_t &info = reply->info;
  info.session.user = qtext(session.user);
  info.session.site = qtext(session.site);
  info.session.client_host = qtext(session.client_host);
  info.session.value1 = session.login_time;
  info.session.admin = is_admin(session);
  info.session.flag2 = session.verifying;
  if ( const site_t *site = session_site(session) )
    info.root_dir = site->info.root_dir;
  info.identity.text1 = "arkive-test-server";
  info.identity.title = "Arkive test server";
  info.identity.text3 = "loopback";
  info.identity.number1 = 5;
  info.value1 = commits_.size();
  info.value2 = files_.size();
  return reply;
}

//--------------------------------------------------------------------------
// Worklists and file operations on the session's site.

reply_t server_repository_t::worklist_request(server_session_t &session, const rpc_packet_t &request)
{
  site_t &site = *session_site(session);
  if ( request.type == ADD_WORKLIST )
  {
    // Scan and commit creates its worklist without a description.
    const std::string description = str(body_of<name_flag_packet_t>(request).name);
    const int32_t number = site.worklists.rbegin()->first + 1;
    site.worklists[number] = worklist_t{session.user, description, current_packed_time()};
    auto reply = std::make_unique<number_packet_t>(ADD_WORKLIST_RESULT);
    reply->number = number;
    return reply;
  }
  const int32_t number = request.type == DEL_WORKLIST ? body_of<number_packet_t>(request).number
                                                      : body_of<code_text_packet_t>(request).code;
  worklist_t *worklist = find_worklist(site, number);
  if ( worklist == nullptr )
    return fail(37, std::to_string(number));
  if ( request.type == EDIT_WORKLIST )
  {
    const std::string description = str(body_of<code_text_packet_t>(request).text);
    if ( description.empty() )
      return fail(36, std::to_string(number));
    worklist->description = description;
    worklist->changed = current_packed_time();
    return ok();
  }
  // Deleting a worklist reverts its files; the default worklist stays.
  std::erase_if(site.opened, [&](const auto &opened) { return opened.second.worklist == number; });
  if ( number != 1 )
    site.worklists.erase(number);
  return ok();
}

reply_t server_repository_t::commit_worklist(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<commit_worklist_packet_t>(request);
  site_t &site = *session_site(session);
  if ( find_worklist(site, body.worklist) == nullptr )
    return fail(37, std::to_string(body.worklist));
  std::vector<std::pair<std::string, revision_t>> changes;
  qvector<server_message_t> messages;
  for ( const auto &[path, opened] : site.opened )
  {
    if ( opened.worklist != body.worklist )
      continue;
    const auto file = files_.find(path);
    if ( opened.action != action_add && file != files_.end() && opened.base != file->second.last() )
      return fail(48, path);
    revision_t revision;
    revision.action = opened.action;
    if ( !opened.source.empty() )
      content_locked(opened.source, opened.source_revision, &revision.content);
    else if ( opened.action != action_add && opened.action != action_del && file != files_.end() )
      revision.content = file->second.revisions.back().content;
    changes.emplace_back(path, std::move(revision));
    messages.push_back(message(0, path));
  }
  if ( changes.empty() )
    return fail(38, std::to_string(body.worklist));
  std::string error;
  if ( int code = contents_for_commit(session, site, &changes, &error) )
    return fail(code, error);
  auto reply = std::make_unique<commit_result_packet_t>(COMMIT_WORKLIST_RESULT);
  const size_t count = changes.size();
  reply->commit = commit_locked(session.user, session.site, str(body.description), std::move(changes));
  reply->messages = std::move(messages);
  if ( session.work_directory != nullptr )
    session.work_directory->notify(1, "commit " + std::to_string(reply->commit) + ": " + std::to_string(count) + " file(s)");
  std::erase_if(site.opened, [&](const auto &opened) { return opened.second.worklist == body.worklist; });
  if ( body.worklist != 1 )
    site.worklists.erase(body.worklist);
  return reply;
}

namespace {

// "" selects the session's own value, "*" every value.
bool selector_matches(const std::string &selector, const std::string &own, const std::string &value)
{
  return selector == "*" || (selector.empty() ? own == value : selector == value);
}

}  // namespace

reply_t server_repository_t::get_worklists(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<two_names_number_packet_t>(request);
  auto reply = std::make_unique<worklist_list_packet_t>(GET_WORKLISTS_RESULT);
  for ( const auto &[site_name, site] : sites_ )
  {
    if ( !selector_matches(str(body.text), session.site, site_name) )
      continue;
    for ( const auto &[number, worklist] : site.worklists )
    {
      if ( !selector_matches(str(body.name), session.user, worklist.user) || (body.number >= 0 && number != body.number) )
        continue;
      worklist_info_t info;
      info.user = qtext(worklist.user);
      info.site = qtext(site_name);
      info.description = qtext(worklist.description);
      info.changed = worklist.changed;
      info.size = int32_t(std::count_if(site.opened.begin(), site.opened.end(),
                                        [&](const auto &opened) { return opened.second.worklist == number; }));
      info.number = number;
      reply->worklists.push_back(std::move(info));
    }
  }
  return reply;
}

reply_t server_repository_t::get_worklist_files(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<two_names_number_packet_t>(request);
  const std::string site_selector = str(body.text);
  auto reply = std::make_unique<worklist_file_list_packet_t>(GET_WORKLIST_FILES_RESULT);
  for ( const auto &[site_name, site] : sites_ )
  {
    if ( !site_selector.empty() && site_selector != site_name )
      continue;
    for ( const auto &[path, opened] : site.opened )
    {
      if ( !selector_matches(str(body.name), session.user, opened.user) || (body.number >= 0 && opened.worklist != body.number) )
        continue;
      const auto file = files_.find(path);
      worklist_file_t entry;
      entry.user = qtext(opened.user);
      entry.site = qtext(site_name);
      entry.path = qtext(path);
      entry.site_revision = opened.base;
      entry.last_revision = file == files_.end() ? 0 : file->second.last();
      entry.worklist = opened.worklist;
      entry.action = opened.action;
      reply->files.push_back(std::move(entry));
    }
  }
  return reply;
}

reply_t server_repository_t::add_files(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<path_list_packet_t>(request);
  site_t &site = *session_site(session);
  if ( find_worklist(site, body.number) == nullptr )
    return fail(37, std::to_string(body.number));
  auto reply = std::make_unique<code_list_packet_t>(ADD_FILES_RESULT);
  for ( const qstring &qpath : body.paths )
  {
    const std::string path = str(qpath);
    const auto file = files_.find(path);
    int32_t code = 0;
    if ( site.opened.count(path) != 0 )
      code = 40;
    else if ( file != files_.end() && !file->second.deleted() )
      code = 2;
    else
      site.opened[path] = opened_t{session.user, body.number, action_add, 0, "", 0};
    reply->codes.push_back(code);
  }
  return reply;
}

reply_t server_repository_t::open_files(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<path_list_packet_t>(request);
  site_t &site = *session_site(session);
  if ( find_worklist(site, body.number) == nullptr )
    return fail(37, std::to_string(body.number));
  const uint8_t reply_type = request.type == EDIT_FILES ? EDIT_FILES_RESULT
                           : request.type == DEL_FILES  ? DEL_FILES_RESULT
                                                        : MIGRATE_FILES_RESULT;
  qvector<server_message_t> messages;
  for ( const qstring &qpath : body.paths )
  {
    const std::string path = str(qpath);
    const auto opened = site.opened.find(path);
    if ( request.type == MIGRATE_FILES )
    {
      if ( opened == site.opened.end() )
        messages.push_back(message(34, path));
      else
      {
        opened->second.worklist = body.number;
        messages.push_back(message(0, path));
      }
      continue;
    }
    const auto file = files_.find(path);
    const auto held = site.held.find(path);
    if ( file == files_.end() || file->second.deleted() )
      messages.push_back(message(3, path));
    else if ( opened != site.opened.end() )
      messages.push_back(message(30, path));
    else if ( held == site.held.end() )
      messages.push_back(message(29, path));
    else
    {
      const uint8_t action = request.type == EDIT_FILES ? action_edit : action_del;
      std::string error;
      const int code = action == action_del ? bring_to_client(session, site, path, nullptr, &error) : 0;
      if ( code == client_work_directory_t::link_lost )
        return fail(53, error);
      if ( code == 0 )
        site.opened[path] = opened_t{session.user, body.number, action, held->second, "", 0};
      messages.push_back(message(code, path));
    }
  }
  if ( request.type == DEL_FILES )
    end_of_file_work(session);
  return message_reply(reply_type, std::move(messages));
}

reply_t server_repository_t::copy_or_move(server_session_t &session, const rpc_packet_t &request)
{
  site_t &site = *session_site(session);
  std::string source;
  std::string destination;
  int32_t revision = -1;
  int32_t worklist = 1;
  if ( request.type == COPY_FILES )
  {
    const auto &body = body_of<copy_files_packet_t>(request);
    source = str(body.source);
    destination = str(body.destination);
    revision = body.revision;
    worklist = body.worklist;
  }
  else
  {
    const auto &body = body_of<two_names_number_packet_t>(request);
    source = str(body.name);
    destination = str(body.text);
    worklist = body.number;
  }
  if ( find_worklist(site, worklist) == nullptr )
    return fail(37, std::to_string(worklist));
  qvector<server_message_t> messages;
  const auto file = files_.find(source);
  const auto target = files_.find(destination);
  if ( file == files_.end() || file->second.deleted() )
    messages.push_back(message(3, source));
  else if ( (target != files_.end() && !target->second.deleted()) || site.opened.count(destination) != 0 )
    messages.push_back(message(2, destination));
  else if ( request.type == MOVE_FILES && site.opened.count(source) != 0 )
    messages.push_back(message(30, source));
  else
  {
    const int32_t from = revision > 0 ? revision : file->second.last();
    const uint8_t action = request.type == COPY_FILES ? action_copy : action_move;
    std::string content;
    std::string error;
    content_locked(source, from, &content);
    int code = bring_to_client(session, site, destination, &content, &error);
    if ( code == 0 && request.type == MOVE_FILES )
      code = bring_to_client(session, site, source, nullptr, &error);
    if ( code == client_work_directory_t::link_lost )
      return fail(53, error);
    if ( code == 0 )
    {
      site.opened[destination] = opened_t{session.user, worklist, action, 0, source, from};
      if ( request.type == MOVE_FILES )
        site.opened[source] = opened_t{session.user, worklist, action_del, file->second.last(), "", 0};
    }
    messages.push_back(message(code, destination));
    end_of_file_work(session);
  }
  return message_reply(request.type == COPY_FILES ? COPY_FILES_RESULT : MOVE_FILES_RESULT, std::move(messages));
}

reply_t server_repository_t::revert_files(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<path_list_packet_t>(request);
  site_t &site = *session_site(session);
  qvector<server_message_t> messages;
  // An edited or deleted file gets the revision the site holds back; an added, copied or moved one stays
  // as the user left it.
  const auto restore = [&](const std::string &path, const opened_t &opened) {
    if ( opened.action != action_edit && opened.action != action_del )
      return 0;
    std::string error;
    const auto held = site.held.find(path);
    const std::string *content = held == site.held.end() ? nullptr : revision_text_locked(path, held->second);
    if ( content == nullptr )
      return 0;
    return bring_to_client(session, site, path, content, &error);
  };
  // Only unchanged files (flag 1): a file opened for anything but edit is a change by itself; an edited one is
  // kept when its local copy differs from the revision the site holds.
  const auto kept_as_changed = [&](const std::string &path, const opened_t &opened) {
    if ( body.number != 1 )
      return false;
    if ( opened.action != action_edit )
      return true;
    const auto held = site.held.find(path);
    const std::string *content = held == site.held.end() ? nullptr : revision_text_locked(path, held->second);
    return content != nullptr && edited_locally(session, site, path, *content);
  };
  for ( const qstring &qpath : body.paths )
  {
    const std::string path = str(qpath);
    if ( path.starts_with("@") )
    {
      const int32_t worklist = std::atoi(path.c_str() + 1);
      bool any = false;
      for ( auto it = site.opened.begin(); it != site.opened.end(); )
      {
        if ( it->second.worklist != worklist || kept_as_changed(it->first, it->second) )
        {
          ++it;
          continue;
        }
        const int code = restore(it->first, it->second);
        if ( code == client_work_directory_t::link_lost )
          return fail(53, "");
        messages.push_back(message(code, it->first));
        it = site.opened.erase(it);
        any = true;
      }
      if ( !any )
        messages.push_back(message(34, path));
      continue;
    }
    const auto opened = site.opened.find(path);
    if ( opened == site.opened.end() )
    {
      messages.push_back(message(34, path));
      continue;
    }
    if ( kept_as_changed(path, opened->second) )
      continue;
    const int code = restore(path, opened->second);
    if ( code == client_work_directory_t::link_lost )
      return fail(53, "");
    site.opened.erase(opened);
    messages.push_back(message(code, path));
  }
  end_of_file_work(session);
  return message_reply(REVERT_FILES_RESULT, std::move(messages));
}

reply_t server_repository_t::resolve_file(server_session_t &session, const rpc_packet_t &request)
{
  const std::string path = str(body_of<name_packet_t>(request).name);
  site_t &site = *session_site(session);
  const auto opened = site.opened.find(path);
  const auto file = files_.find(path);
  if ( opened == site.opened.end() || file == files_.end() )
    return fail(34, path);
  if ( opened->second.base == file->second.last() )
    return fail(35, path);
  opened->second.base = file->second.last();
  site.held[path] = file->second.last();
  return ok();
}

reply_t server_repository_t::sync_files(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<path_query_packet_t>(request);
  site_t &site = *session_site(session);
  struct step_t
  {
    std::string path;
    int32_t target = 0;     // the revision to hold, 0 for none
    size_t message = 0;     // its entry in the messages
  };
  std::vector<step_t> steps;
  qvector<server_message_t> messages;
  // No pattern: every file of the site.
  const qvector<qstring> patterns = body.patterns.empty() ? qvector<qstring>{qstring("//...")} : body.patterns;
  for ( const qstring &pattern : patterns )
  {
    bool found = false;
    for ( const auto &[path, file] : files_ )
    {
      if ( !server_path_matches(str(pattern), path) )
        continue;
      found = true;
      // The target: the last revision, a revision number, or the last revision made up to a commit.
      int32_t target = file.last();
      if ( body.revision >= 0 && (body.options & 1) != 0 )
        target = std::min(body.revision, file.last());
      else if ( body.revision >= 0 )
        for ( target = file.last(); target > 0 && file.revisions[size_t(target - 1)].commit > body.revision; )
          --target;
      const bool gone = target == 0 || file.revisions[size_t(target - 1)].action == action_del;
      const auto held = site.held.find(path);
      const int32_t now = held == site.held.end() ? 0 : held->second;
      if ( (gone ? now == 0 : now == target) && (body.options & 4) == 0 )
        continue;
      // A sync never writes over a file opened on the site: the user's change waits for a resolve.
      if ( const auto opened = site.opened.find(path); opened != site.opened.end() && opened->second.action != action_add )
      {
        messages.push_back(message(28, path));
        continue;
      }
      steps.push_back({path, gone ? 0 : target, messages.size()});
      messages.push_back(message(0, path));
    }
    if ( !found )
      messages.push_back(message(43, str(pattern)));
  }

  // The work directory follows: each file written whole or deleted, with progress per file and a notice.
  client_work_directory_t *client = session.work_directory;
  if ( client != nullptr && !steps.empty() )
    client->progress(5, steps.size());
  size_t brought = 0;
  for ( const step_t &step : steps )
  {
    std::string error;
    const bool gone = step.target == 0;
    // The revision goes out from where the repository keeps it, never copied whole.
    const std::string *content = gone ? nullptr : revision_text_locked(step.path, step.target);
    const int code = bring_to_client(session, site, step.path, content, &error);
    if ( code == client_work_directory_t::link_lost )
      return fail(53, error);
    if ( client != nullptr )
      client->progress(1, 1);
    messages[step.message].code = code;
    if ( code != 0 )
    {
      messages[step.message].text = qtext(error.empty() ? step.path : error);
      continue;
    }
    ++brought;
    if ( gone )
      site.held.erase(step.path);
    else
      site.held[step.path] = step.target;
  }
  if ( client != nullptr && !steps.empty() )
  {
    client->progress(0, 0);
    client->notify(1, std::to_string(brought) + " file(s) updated");
    if ( client->link_failed() )
      return fail(53, "");
  }
  return message_reply(SYNC_FILES_RESULT, std::move(messages));
}

reply_t server_repository_t::sync_one_file(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<sync_one_file_packet_t>(request);
  const std::string path = str(body.path);
  const auto file = files_.find(path);
  if ( file == files_.end() )
    return fail(3, path);
  site_t &site = *session_site(session);
  int32_t revision = body.revision;
  if ( revision == -1 )
    revision = file->second.last();
  else if ( revision == -3 )
  {
    const auto held = site.held.find(path);
    if ( held == site.held.end() )
      return fail(29, path);
    revision = held->second;
  }
  if ( revision < 1 || revision > file->second.last() )
    return fail(32, std::to_string(body.revision));
  // The revision goes to the local path the client named; without one, to the file's place in the work
  // directory, which then holds that revision.
  const std::string target = body.target.empty() ? local_path(site, path) : str(body.target);
  client_work_directory_t *client = session.work_directory;
  if ( client != nullptr )
  {
    const int code = client->write_file(target, file->second.revisions[size_t(revision - 1)].content);
    if ( code != 0 )
      return fail(code == client_work_directory_t::link_lost ? 53 : code, client->last_text());
  }
  if ( body.target.empty() )
    site.held[path] = revision;
  return ok();
}

reply_t server_repository_t::scan_files(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<scan_files_packet_t>(request);
  site_t &site = *session_site(session);
  if ( find_worklist(site, body.worklist) == nullptr )
    return fail(37, std::to_string(body.worklist));
  std::set<std::string> local;
  for ( const qstring &path : body.local_files )
    local.insert(str(path));
  qvector<server_message_t> messages;
  if ( (body.options & 1) != 0 )
    for ( const std::string &path : local )
    {
      const auto file = files_.find(path);
      if ( (file == files_.end() || file->second.deleted()) && site.opened.count(path) == 0 )
      {
        site.opened[path] = opened_t{session.user, body.worklist, action_add, 0, "", 0};
        messages.push_back(message(0, path));
      }
    }
  if ( (body.options & 2) != 0 )
    for ( const auto &[path, revision] : site.held )
    {
      bool selected = false;
      for ( const qstring &pattern : body.patterns )
        selected = selected || server_path_matches(str(pattern), path);
      if ( selected && local.count(path) == 0 && site.opened.count(path) == 0 )
      {
        site.opened[path] = opened_t{session.user, body.worklist, action_del, revision, "", 0};
        messages.push_back(message(0, path));
      }
    }
  if ( (body.options & 4) != 0 )
  {
    std::string error;
    const int code = scan_for_edit(session, site, body, local, &messages, &error);
    if ( code != 0 )
      return fail(code == client_work_directory_t::link_lost ? 53 : code, error);
  }
  if ( messages.empty() )
    messages.push_back(message(49, body.patterns.empty() ? "" : str(body.patterns[0])));
  return message_reply(SCAN_FILES_RESULT, std::move(messages));
}

int server_repository_t::scan_for_edit(server_session_t &session, site_t &site, const scan_files_packet_t &body,
                                       const std::set<std::string> &local, qvector<server_message_t> *messages,
                                       std::string *error)
{
  // The candidates: selected files the site holds and the client still has, not opened or opened for edit in
  // another worklist; those whose local copy differs from the held revision join the scan's worklist.
  std::vector<std::string> paths;
  std::vector<change_status_item_t> items;
  for ( const auto &[path, revision] : site.held )
  {
    bool selected = body.patterns.empty();
    for ( const qstring &pattern : body.patterns )
      selected = selected || server_path_matches(str(pattern), path);
    const auto opened = site.opened.find(path);
    const bool candidate = opened == site.opened.end()
                           || (opened->second.action == action_edit && opened->second.worklist != body.worklist);
    const std::string *content = revision_text_locked(path, revision);
    if ( !selected || local.count(path) == 0 || !candidate || content == nullptr )
      continue;
    paths.push_back(path);
    items.push_back(expected_status(local_path(site, path), *content));
  }
  client_work_directory_t *client = session.work_directory;
  if ( items.empty() || client == nullptr )
    return 0;
  std::vector<bool> changed;
  if ( int code = client->change_status(items, 0, &changed) )
  {
    *error = client->last_text();
    return code;
  }
  for ( size_t j = 0; j < paths.size(); ++j )
  {
    if ( !changed[j] )
      continue;
    const auto opened = site.opened.find(paths[j]);
    if ( opened != site.opened.end() )
      opened->second.worklist = body.worklist;
    else
      site.opened[paths[j]] = opened_t{session.user, body.worklist, action_edit, site.held[paths[j]], "", 0};
    messages->push_back(message(0, paths[j]));
  }
  return 0;
}

reply_t server_repository_t::purge_files(server_session_t &session, const rpc_packet_t &request)
{
  const auto &body = body_of<purge_files_packet_t>(request);
  if ( !is_admin(session) )
    return fail(22, session.user);
  qvector<server_message_t> messages;
  for ( const qstring &qpath : body.paths )
  {
    const std::string path = str(qpath);
    if ( files_.erase(path) == 0 )
    {
      messages.push_back(message(3, path));
      continue;
    }
    for ( auto &entry : sites_ )
    {
      entry.second.held.erase(path);
      entry.second.opened.erase(path);
    }
    messages.push_back(message(0, path));
  }
  return message_reply(PURGE_FILES_RESULT, std::move(messages));
}
