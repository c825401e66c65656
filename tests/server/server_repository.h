// The test server's repository: users, groups, sites, files with revisions, worklists and commits in memory,
// and the server's answer to every client request.
#pragma once

#include "repo/rpc_packet.h"
#include "repo/wire_records.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

class client_work_directory_t;
class scan_files_packet_t;

// What the server knows of one client connection.
struct server_session_t
{
  int id = 0;
  std::string user;        // empty until LOGIN succeeded
  std::string site;        // the site chosen with USE_SITE, empty before
  std::string client_host; // the client text of LOGIN
  uint64_t login_time = 0; // packed time
  bool verifying = false;  // SET_VERIFYING_SITE
  // The client's work directory, reached through requests of the server; null: the repository keeps its
  // records only and touches no local file.
  client_work_directory_t *work_directory = nullptr;
  // Server files the client opened with OPEN_SUBMITTED_FILE, by handle: the bytes and the read position.
  struct open_file_t
  {
    std::string content;
    size_t position = 0;
  };
  std::map<int32_t, open_file_t> open_files;
  int32_t next_handle = 1;
};

// File action codes of the wire records.
enum server_file_action_t : uint8_t
{
  action_add = 1,
  action_del = 2,
  action_edit = 3,
  action_move = 4,
  action_copy = 6,
};

// An in-memory repository. Every public operation is safe to call from any thread; requests of all
// connections are answered one at a time. Revisions of a file count from 1; worklist 1 of every site is its
// default worklist and always exists.
class server_repository_t
{
public:
  // Seeding, from a seed file or a test.
  void add_user(const std::string &login, const std::string &password, bool admin,
                const std::string &real_name = "", const std::string &email = "");
  void add_group(const std::string &name, const std::vector<std::string> &members);
  void add_site(const std::string &name, const std::string &user, const std::string &root,
                const std::string &host);
  // Commits one new revision of each (path, content) by user from site; returns the commit's number.
  int32_t commit_files(const std::string &user, const std::string &site, const std::string &description,
                       const std::vector<std::pair<std::string, std::string>> &files);
  // A new worklist of the site; returns its number.
  int32_t add_worklist(const std::string &user, const std::string &site, const std::string &description);
  void add_permission(const std::string &who, const std::string &pattern, int32_t number);
  void set_site_filters(const std::string &site, const std::vector<std::string> &lines);

  // Whether a user, group or site of the name exists.
  bool has_user(const std::string &login) const;
  bool has_group(const std::string &name) const;
  bool has_site(const std::string &name) const;

  // The user's record and password; false when there is no such user.
  bool user_record(const std::string &login, user_info_t *info, std::string *password) const;
  // The site's record and filter lines; false when there is no such site.
  bool site_record(const std::string &name, site_info_t *info, std::vector<std::string> *filters) const;

  // The revision of the path that the site holds, 0 when none.
  int32_t site_revision(const std::string &site, const std::string &path) const;
  // A worklist of a site as a test reads it: its number, its description and the paths opened in it.
  struct worklist_record_t
  {
    int32_t number = 0;
    std::string description;
    std::vector<std::string> opened;
  };
  // The site's worklists in number order (none for an unknown site).
  std::vector<worklist_record_t> worklists_of(const std::string &site) const;

  // The last committed revision of a file: its number, content and the commit that made it.
  struct last_change_t
  {
    int32_t revision = 0;
    std::string content;
    std::string user;
    std::string description;
  };
  // False when the path has no revision.
  bool last_change(const std::string &path, last_change_t *out) const;

  // The last revision of the path, 0 when there is none.
  int32_t last_revision(const std::string &path) const;
  // The content of a revision (-1: the last); false when there is none.
  bool revision_content(const std::string &path, int32_t revision, std::string *content) const;
  // The last commit's user, description and (path, revision made) list; false before the first commit.
  bool last_commit(std::string *user, std::string *description,
                   std::vector<std::pair<std::string, int32_t>> *files) const;
  // Whether the path is opened on the site.
  bool opened_on_site(const std::string &site, const std::string &path) const;

  // A connection came or went; the sessions list shows the logged-in ones.
  void session_started(server_session_t *session);
  void session_ended(server_session_t *session);

  // The reply to one decoded request of a session. Never null.
  std::unique_ptr<rpc_packet_t> handle(server_session_t &session, const rpc_packet_t &request);

private:
  struct user_t
  {
    user_info_t info;
    std::string password;
  };
  struct revision_t
  {
    int32_t commit = 0;
    uint8_t action = 0;
    std::string content;
    uint64_t time = 0;
  };
  struct file_t
  {
    std::vector<revision_t> revisions; // revision n is revisions[n - 1]
    bool deleted() const { return revisions.empty() || revisions.back().action == action_del; }
    int32_t last() const { return int32_t(revisions.size()); }
  };
  struct opened_t
  {
    std::string user;
    int32_t worklist = 1;
    uint8_t action = 0;
    int32_t base = 0;        // revision the site held when the file was opened
    std::string source;      // copies and moves: the file the content comes from
    int32_t source_revision = 0;
  };
  struct worklist_t
  {
    std::string user;
    std::string description;
    uint64_t changed = 0;
  };
  struct commit_t
  {
    std::string user;
    std::string site;
    std::string description;
    uint64_t time = 0;
    std::vector<std::pair<std::string, int32_t>> files; // path, revision made
  };
  struct permission_t
  {
    std::string who;
    std::string pattern;
    int32_t number = 0;
  };
  struct site_t
  {
    site_info_t info;
    std::map<std::string, int32_t> held;       // path -> revision on disk
    std::map<std::string, opened_t> opened;    // path -> pending change
    std::map<int32_t, worklist_t> worklists;   // number -> worklist
    std::vector<std::string> filters;
  };

  using reply_t = std::unique_ptr<rpc_packet_t>;
  reply_t dispatch(server_session_t &session, const rpc_packet_t &request);
  // Users, groups, permissions, sessions.
  reply_t login(server_session_t &session, const rpc_packet_t &request);
  reply_t authenticate(const rpc_packet_t &request);
  reply_t edit_user(server_session_t &session, const rpc_packet_t &request);
  reply_t delete_user(server_session_t &session, const rpc_packet_t &request);
  reply_t group_request(server_session_t &session, const rpc_packet_t &request);
  reply_t check_permissions(const rpc_packet_t &request);
  reply_t set_password(server_session_t &session, const rpc_packet_t &request);
  reply_t get_user(const rpc_packet_t &request);
  reply_t get_sessions();
  // Sites.
  reply_t edit_site(server_session_t &session, const rpc_packet_t &request);
  reply_t delete_site(server_session_t &session, const rpc_packet_t &request);
  reply_t get_sites(const rpc_packet_t &request);
  reply_t get_site(server_session_t &session, const rpc_packet_t &request);
  reply_t set_site_filters(server_session_t &session, const rpc_packet_t &request);
  reply_t get_site_filters(const rpc_packet_t &request);
  // Commits and server files.
  reply_t get_commits(const rpc_packet_t &request);
  reply_t edit_commit(server_session_t &session, const rpc_packet_t &request);
  reply_t get_commit_files(server_session_t &session, const rpc_packet_t &request);
  reply_t get_arkive_files(server_session_t &session, const rpc_packet_t &request);
  reply_t get_arkive_info(server_session_t &session);
  // Worklists and the file operations, all on the session's site.
  reply_t worklist_request(server_session_t &session, const rpc_packet_t &request);
  reply_t commit_worklist(server_session_t &session, const rpc_packet_t &request);
  reply_t get_worklists(server_session_t &session, const rpc_packet_t &request);
  reply_t get_worklist_files(server_session_t &session, const rpc_packet_t &request);
  reply_t add_files(server_session_t &session, const rpc_packet_t &request);
  reply_t open_files(server_session_t &session, const rpc_packet_t &request);
  reply_t copy_or_move(server_session_t &session, const rpc_packet_t &request);
  reply_t revert_files(server_session_t &session, const rpc_packet_t &request);
  reply_t resolve_file(server_session_t &session, const rpc_packet_t &request);
  reply_t sync_files(server_session_t &session, const rpc_packet_t &request);
  reply_t sync_one_file(server_session_t &session, const rpc_packet_t &request);
  reply_t scan_files(server_session_t &session, const rpc_packet_t &request);
  reply_t purge_files(server_session_t &session, const rpc_packet_t &request);
  // The scan's option "edit modified files": the selected held files the client still has whose local copy
  // differs from the held revision are opened for edit in the scan's worklist (one opened for edit elsewhere
  // moves there), with a message each. 0, or the client's code with *error its text, or link_lost.
  int scan_for_edit(server_session_t &session, site_t &site, const scan_files_packet_t &body,
                    const std::set<std::string> &local, qvector<server_message_t> *messages, std::string *error);

  // The client's work directory (server_work_directory.cpp). The local path of a server path: the site's
  // root directory, '/', then the path without its leading "//".
  static std::string local_path(const site_t &site, const std::string &path);
  // Brings one file into the session's work directory: writes content, or deletes the file when content is
  // null (a file that is not there is no failure). 0, the client's code with *error its text, or
  // client_work_directory_t::link_lost. Nothing happens without a work directory.
  static int bring_to_client(server_session_t &session, const site_t &site, const std::string &path,
                             const std::string *content, std::string *error);
  // Whether the session's work directory holds the file with other content than `content` (false when it cannot
  // be read, or without a work directory).
  static bool edited_locally(server_session_t &session, const site_t &site, const std::string &path,
                             const std::string &content);
  // Ends a batch of work on the session's work directory: progress kind 0, which also writes the client's
  // checksum cache. Nothing without a work directory.
  static void end_of_file_work(server_session_t &session);
  // Fills the content of every added or edited file of a commit from the work directory: the change status
  // of the edited files, then a read of every added or changed one, then a checksum flush, with progress.
  // 0, or the client's code with *error "path: text" (nothing may then be committed), or link_lost.
  int contents_for_commit(server_session_t &session, const site_t &site,
                          std::vector<std::pair<std::string, revision_t>> *changes, std::string *error);
  // Server files by handle (server_work_directory.cpp): OPEN_SUBMITTED_FILE opens a revision (its number, -1 the
  // last), READ_FILE reads on, WRITE_FILE is refused (committed revisions do not change), CLOSE_FILE ends it.
  reply_t open_submitted_file(server_session_t &session, const rpc_packet_t &request);
  reply_t submitted_file_request(server_session_t &session, const rpc_packet_t &request);
  bool is_admin(const server_session_t &session) const;
  site_t *session_site(const server_session_t &session);
  worklist_t *find_worklist(site_t &site, int32_t number);
  int32_t commit_locked(const std::string &user, const std::string &site,
                        const std::string &description, std::vector<std::pair<std::string, revision_t>> changes);
  // Content of a revision (-1: the last); false when there is none.
  bool content_locked(const std::string &path, int32_t revision, std::string *content) const;
  // The content of a revision (-1: the last) where the repository keeps it, or null; valid until the
  // repository changes.
  const std::string *revision_text_locked(const std::string &path, int32_t revision) const;
  arkive_file_info_t file_record(const std::string &path, int32_t revision, int32_t held) const;

  mutable std::mutex mutex_;
  std::map<std::string, user_t> users_;
  std::map<std::string, group_info_t> groups_;
  std::map<std::string, site_t> sites_;
  std::map<std::string, file_t> files_;
  std::vector<commit_t> commits_; // commit n is commits_[n - 1]
  std::vector<permission_t> permissions_;
  std::vector<server_session_t *> sessions_;
};

// Whether a server path matches a pattern: the same path, a pattern ending in "..." that the path starts with,
// or a folder (a pattern ending in "/") the path lies in.
bool server_path_matches(const std::string &pattern, const std::string &path);
