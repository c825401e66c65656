// Every request operation of the connection against the test server: request bytes, result and reply moves.
#include "tests/repo/test_server_client.h"

#include "core/error_state.h"

#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> texts(const qvector<qstring> &list)
{
  std::vector<std::string> out;
  for ( const qstring &t : list )
    out.emplace_back(t.view());
  return out;
}

std::vector<std::pair<int, std::string>> messages_of(const qvector<server_message_t> &list)
{
  std::vector<std::pair<int, std::string>> out;
  for ( const server_message_t &m : list )
    out.emplace_back(m.code, std::string(m.text.view()));
  return out;
}

qvector<qstring> paths(std::initializer_list<const char *> items)
{
  qvector<qstring> out;
  for ( const char *item : items )
    out.push_back(item);
  return out;
}

using messages_t = std::vector<std::pair<int, std::string>>;

// One operation: what it sends, what it returns; run also checks what it handed back.
struct operation_case_t
{
  const char *name;
  std::function<int(rpc_arkive_connection_t &)> run;
  uint8_t type;
  frame_bytes_t body;
  int code;
  const char *detail = nullptr; // string argument 0 after a failure
};

// The zero commit filter on the wire, with max_count 10 or 0.
bytes_t commit_filter_bytes(int max_count)
{
  return wire({0, 0, 0, 0, 0, 0, "", 0, "", 0, max_count, 0});
}

class connection_operations_test_t : public test_server_fixture_t, public testing::WithParamInterface<transport_t>
{
};

TEST_P(connection_operations_test_t, every_operation_sends_its_request_and_hands_back_its_reply)
{
  auto c = connect_alice(GetParam());
  ASSERT_NE(c, nullptr);
  const std::string base_copy = site_root + "/a.base";

  qvector<user_info_t> users;
  user_info_t user;
  user_info_t carol;
  carol.login = "carol";
  carol.real_name = "Carol";
  qvector<group_info_t> groups;
  group_info_t group;
  qvector<permission_rule_t> rules;
  qvector<server_message_t> messages;
  qvector<session_info_t> sessions;
  site_info_t ws2;
  ws2.name = "ws2";
  ws2.user = "bob";
  ws2.root_dir = "/work/bob";
  ws2.client_host = "bob-pc";
  qvector<site_info_t> sites;
  site_info_t site;
  qvector<qstring> lines;
  arkive_server_info_t info;
  qvector<arkive_file_info_t> files;
  qvector<commit_info_t> commits;
  commit_filter_t filter;
  filter.max_count = 10;
  int32_t number = -7;
  qvector<int32_t> codes;
  qvector<worklist_info_t> worklists;
  qvector<worklist_file_t> entries;

  const operation_case_t cases[] = {
    {"get_users", [&](auto &k) {
       const int rc = k.get_users(&users);
       EXPECT_EQ(users.size(), 2u);
       EXPECT_EQ(users[0].login, "alice");
       EXPECT_TRUE(users[0].admin);
       EXPECT_EQ(users[0].email, "alice@example.org");
       EXPECT_EQ(users[1].login, "bob");
       return rc;
     }, GET_USERS, wire({0}), 0},
    {"get_user", [&](auto &k) {
       const int rc = k.get_user(&user, "bob");
       EXPECT_EQ(user.login, "bob");
       return rc;
     }, GET_USER, wire({"bob", 0, 1}), 0},
    {"get_user without out-parameter", [&](auto &k) { return k.get_user(nullptr, "bob"); },
     GET_USER, wire({"bob", 0, 0}), 0},
    {"get_user of an unknown login keeps the record", [&](auto &k) {
       const int rc = k.get_user(&user, "nobody");
       EXPECT_EQ(user.login, "bob");
       return rc;
     }, GET_USER, wire({"nobody", 0, 1}), 4, "nobody"},
    {"edit_user creating", [&](auto &k) { return k.edit_user(carol, 1); },
     EDIT_USER, wire({"carol", 0, "Carol", 0, "", 0, "", 0, "", 0, 0, 0, 0, 1}), 0},
    {"edit_user creating twice", [&](auto &k) { return k.edit_user(carol, 1); },
     EDIT_USER, wire({"carol", 0, "Carol", 0, "", 0, "", 0, "", 0, 0, 0, 0, 1}), 2, "carol"},
    {"set_password", [&](auto &k) { return k.set_password("carol", "pw"); },
     SET_PASSWORD, wire({"carol", 0, "pw", 0}), 0},
    {"delete_user", [&](auto &k) { return k.delete_user("carol", 0); },
     DEL_USER, wire({"carol", 0, 0}), 0},
    {"add_group", [&](auto &k) { return k.add_group("qa"); }, ADD_GROUP, wire({"qa", 0}), 0},
    {"edit_group", [&](auto &k) { return k.edit_group("qa", "bob", 1); },
     EDIT_GROUP, wire({"qa", 0, "bob", 0, 1}), 0},
    {"get_group", [&](auto &k) {
       const int rc = k.get_group(&group, "qa");
       EXPECT_EQ(group.name, "qa");
       EXPECT_EQ(texts(group.members), std::vector<std::string>{"bob"});
       return rc;
     }, GET_GROUP, wire({"qa", 0, 1}), 0},
    {"get_group of an unknown group keeps the record", [&](auto &k) {
       const int rc = k.get_group(&group, "none");
       EXPECT_EQ(group.name, "qa");
       return rc;
     }, GET_GROUP, wire({"none", 0, 1}), 9, "none"},
    {"get_groups", [&](auto &k) {
       const int rc = k.get_groups(&groups);
       EXPECT_EQ(groups.size(), 2u);
       EXPECT_EQ(groups[0].name, "devs");
       EXPECT_EQ(groups[1].name, "qa");
       return rc;
     }, GET_GROUPS, wire({0}), 0},
    {"delete_group", [&](auto &k) { return k.delete_group("qa"); }, DEL_GROUP, wire({"qa", 0}), 0},
    {"set_permissions", [&](auto &k) {
       qvector<permission_rule_t> rule;
       rule.push_back({"*", "//depot/...", 3});
       return k.set_permissions(rule);
     }, SET_PERMISSIONS, wire({1, "*", 0, "//depot/...", 0, 3}), 0},
    {"get_permissions", [&](auto &k) {
       const int rc = k.get_permissions(&rules);
       EXPECT_EQ(rules.size(), 1u);
       EXPECT_EQ(rules[0].text2, "//depot/...");
       EXPECT_EQ(rules[0].number, 3);
       return rc;
     }, GET_PERMISSIONS, wire({0}), 0},
    {"check_permissions", [&](auto &k) {
       const int rc = k.check_permissions(&messages, "bob", "//depot/a.txt");
       EXPECT_EQ(messages_of(messages), (messages_t{{0, "//depot/..."}}));
       return rc;
     }, CHECK_PERMISSIONS, wire({"bob", 0, "//depot/a.txt", 0, 1}), 0},
    {"get_sessions", [&](auto &k) {
       const int rc = k.get_sessions(&sessions);
       EXPECT_EQ(sessions.size(), 1u);
       EXPECT_EQ(sessions[0].user, "alice");
       EXPECT_EQ(sessions[0].site, "ws");
       EXPECT_EQ(sessions[0].client_host, "alice-pc");
       EXPECT_TRUE(sessions[0].admin);
       return rc;
     }, GET_SESSIONS, wire({0}), 0},
    {"edit_site creating", [&](auto &k) { return k.edit_site(ws2, 1); },
     EDIT_SITE, wire({"ws2", 0, "bob", 0, "/work/bob", 0, "bob-pc", 0, 0, 0, 1}), 0},
    {"get_sites", [&](auto &k) {
       const int rc = k.get_sites(&sites, "bob");
       EXPECT_EQ(sites.size(), 1u);
       EXPECT_EQ(sites[0].name, "ws2");
       return rc;
     }, GET_SITES, wire({"bob", 0, 1}), 0},
    {"get_site", [&](auto &k) {
       const int rc = k.get_site(&site, "ws2");
       EXPECT_EQ(site.root_dir, "/work/bob");
       EXPECT_EQ(site.client_host, "bob-pc");
       return rc;
     }, GET_SITE, wire({"ws2", 0, 1}), 0},
    {"set_site_filters", [&](auto &k) { return k.set_site_filters(paths({"!//depot/build/..."}), "ws2"); },
     SET_SITE_FILTERS, wire({1, "!//depot/build/...", 0, "ws2", 0}), 0},
    {"get_site_filters", [&](auto &k) {
       const int rc = k.get_site_filters(&lines, "ws2");
       EXPECT_EQ(texts(lines), std::vector<std::string>{"!//depot/build/..."});
       return rc;
     }, GET_SITE_FILTERS, wire({"ws2", 0, 1}), 0},
    {"delete_site", [&](auto &k) { return k.delete_site("ws2", 0); }, DEL_SITE, wire({"ws2", 0, 0}), 0},
    {"delete_site of a site that holds files", [&](auto &k) { return k.delete_site("ws", 0); },
     DEL_SITE, wire({"ws", 0, 0}), 6, "ws"},
    {"use_site", [&](auto &k) {
       const int rc = k.use_site(&site, "ws", "*");
       EXPECT_EQ(site.name, "ws");
       EXPECT_EQ(site.root_dir, site_root.c_str());
       return rc;
     }, USE_SITE, wire({"ws", 0, "*", 0, 1}), 0},
    {"get_arkive_info", [&](auto &k) {
       const int rc = k.get_arkive_info(&info);
       EXPECT_EQ(info.session.user, "alice");
       EXPECT_EQ(info.session.site, "ws");
       EXPECT_EQ(info.root_dir, site_root.c_str());
       EXPECT_EQ(info.identity.title, "Arkive test server");
       return rc;
     }, GET_ARKIVE_INFO, wire({0}), 0},
    {"get_arkive_files", [&](auto &k) {
       const int rc = k.get_arkive_files(&messages, &files, paths({"//depot/..."}), -1, 6);
       EXPECT_TRUE(messages.empty());
       EXPECT_EQ(files.size(), 2u);
       EXPECT_EQ(files[0].path, "//depot/a.txt");
       EXPECT_EQ(files[0].size, 5u);
       EXPECT_EQ(files[0].last_revision, 1);
       EXPECT_EQ(files[0].site_revision, 1);
       EXPECT_EQ(files[0].commit, 1);
       EXPECT_EQ(files[0].action, 1);
       EXPECT_EQ(files[1].path, "//depot/b.txt");
       return rc;
     }, GET_ARKIVE_FILES, wire({1, "//depot/...", 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 6, 3}), 0},
    {"get_arkive_files wanting only the files", [&](auto &k) {
       messages.clear();
       messages.push_back({7, "kept"});
       const int rc = k.get_arkive_files(nullptr, &files, paths({"//none"}), -3, 7);
       EXPECT_TRUE(files.empty());
       EXPECT_EQ(messages_of(messages), (messages_t{{7, "kept"}}));
       return rc;
     }, GET_ARKIVE_FILES, wire({1, "//none", 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD, 7, 2}), 0},
    {"get_commits", [&](auto &k) {
       const int rc = k.get_commits(&messages, &commits, {}, filter, -1);
       EXPECT_TRUE(messages.empty());
       EXPECT_EQ(commits.size(), 1u);
       EXPECT_EQ(commits[0].number, 1);
       EXPECT_EQ(commits[0].user, "alice");
       EXPECT_EQ(commits[0].description, "import");
       return rc;
     }, GET_COMMITS, wire({0, commit_filter_bytes(10), 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 3}), 0},
    {"get_commits wanting only the commits", [&](auto &k) {
       commits.clear();
       const int rc = k.get_commits(nullptr, &commits, paths({"//depot/a.txt"}), commit_filter_t{}, 1);
       EXPECT_EQ(commits.size(), 1u);
       EXPECT_EQ(commits[0].action, 1);
       return rc;
     }, GET_COMMITS, wire({1, "//depot/a.txt", 0, commit_filter_bytes(0), 1, 2}), 0},
    {"edit_commit", [&](auto &k) { return k.edit_commit(1, "initial import"); },
     EDIT_COMMIT, wire({1, "initial import", 0}), 0},
    {"get_commit_files", [&](auto &k) {
       const int rc = k.get_commit_files(&files, 1);
       EXPECT_EQ(files.size(), 2u);
       return rc;
     }, GET_COMMIT_FILES, wire({1, 1}), 0},
    {"add_worklist", [&](auto &k) {
       const int rc = k.add_worklist(&number, "feature");
       EXPECT_EQ(number, 2);
       return rc;
     }, ADD_WORKLIST, wire({"feature", 0, 1}), 0},
    {"edit_worklist", [&](auto &k) { return k.edit_worklist(2, "feature x"); },
     EDIT_WORKLIST, wire({2, "feature x", 0}), 0},
    {"edit_files", [&](auto &k) {
       const int rc = k.edit_files(&messages, paths({"//depot/a.txt"}), 2);
       EXPECT_EQ(messages_of(messages), (messages_t{{0, "//depot/a.txt"}}));
       return rc;
     }, EDIT_FILES, wire({1, "//depot/a.txt", 0, 2, 1}), 0},
    {"add_files answers one code per path", [&](auto &k) {
       const int rc = k.add_files(&codes, paths({"//depot/c.txt", "//depot/a.txt", "//depot/d.txt"}), 2);
       EXPECT_EQ(std::vector<int32_t>(codes.begin(), codes.end()), (std::vector<int32_t>{0, 40, 0}));
       return rc;
     }, ADD_FILES, wire({3, "//depot/c.txt", 0, "//depot/a.txt", 0, "//depot/d.txt", 0, 2, 1}), 0},
    {"delete_files", [&](auto &k) {
       const int rc = k.delete_files(&messages, paths({"//depot/b.txt"}), 1);
       EXPECT_EQ(messages_of(messages), (messages_t{{0, "//depot/b.txt"}}));
       return rc;
     }, DEL_FILES, wire({1, "//depot/b.txt", 0, 1, 1}), 0},
    {"get_worklists", [&](auto &k) {
       const int rc = k.get_worklists(&worklists, "", "", -1);
       EXPECT_EQ(worklists.size(), 2u);
       EXPECT_EQ(worklists[1].number, 2);
       EXPECT_EQ(worklists[1].description, "feature x");
       EXPECT_EQ(worklists[1].size, 3);
       return rc;
     }, GET_WORKLISTS, wire({"", 0, "", 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1}), 0},
    {"get_worklist_files", [&](auto &k) {
       const int rc = k.get_worklist_files(&entries, "", "", 2);
       EXPECT_EQ(entries.size(), 3u);
       EXPECT_EQ(entries[0].path, "//depot/a.txt");
       EXPECT_EQ(entries[0].action, 3);
       EXPECT_EQ(entries[1].action, 1);
       return rc;
     }, GET_WORKLIST_FILES, wire({"", 0, "", 0, 2, 1}), 0},
    {"migrate_files", [&](auto &k) {
       const int rc = k.migrate_files(&messages, paths({"//depot/d.txt"}), 1);
       EXPECT_EQ(messages_of(messages), (messages_t{{0, "//depot/d.txt"}}));
       return rc;
     }, MIGRATE_FILES, wire({1, "//depot/d.txt", 0, 1, 1}), 0},
    {"revert_files", [&](auto &k) {
       // Whether or not it changed: a file opened for anything but edit is a change by itself.
       const int rc = k.revert_files(&messages, paths({"//depot/d.txt"}), 0);
       EXPECT_EQ(messages_of(messages), (messages_t{{0, "//depot/d.txt"}}));
       return rc;
     }, REVERT_FILES, wire({1, "//depot/d.txt", 0, 0, 1}), 0},
    {"commit_worklist", [&](auto &k) {
       // The server reads what it commits from the work directory.
       write_local(site_root + "/depot/a.txt", "alpha 2");
       write_local(site_root + "/depot/c.txt", "gamma");
       int32_t commit = 0;
       const int rc = k.commit_worklist(&messages, &commit, "add c, edit a", 2, 0);
       EXPECT_EQ(commit, 2);
       EXPECT_EQ(messages_of(messages), (messages_t{{0, "//depot/a.txt"}, {0, "//depot/c.txt"}}));
       return rc;
     }, COMMIT_WORKLIST, wire({"add c, edit a", 0, 2, 0, 3}), 0},
    {"copy_files", [&](auto &k) {
       const int rc = k.copy_files(&messages, "//depot/a.txt", "//depot/a2.txt", 2, 1);
       EXPECT_EQ(messages_of(messages), (messages_t{{0, "//depot/a2.txt"}}));
       return rc;
     }, COPY_FILES, wire({"//depot/a.txt", 0, "//depot/a2.txt", 0, 2, 1, 1}), 0},
    {"move_files", [&](auto &k) {
       const int rc = k.move_files(&messages, "//depot/c.txt", "//depot/e.txt", 1);
       EXPECT_EQ(messages_of(messages), (messages_t{{0, "//depot/e.txt"}}));
       return rc;
     }, MOVE_FILES, wire({"//depot/c.txt", 0, "//depot/e.txt", 0, 1, 1}), 0},
    {"revert_files of a whole worklist", [&](auto &k) {
       const int rc = k.revert_files(&messages, paths({"@1"}), 0);
       EXPECT_EQ(messages.size(), 4u);
       return rc;
     }, REVERT_FILES, wire({1, "@1", 0, 0, 1}), 0},
    {"resolve_file of a file not opened", [&](auto &k) { return k.resolve_file("//depot/a.txt"); },
     RESOLVE_FILE, wire({"//depot/a.txt", 0}), 34, "//depot/a.txt"},
    {"sync_files to a commit", [&](auto &k) {
       const int rc = k.sync_files(&messages, paths({"//depot/..."}), 1, 0);
       EXPECT_EQ(messages_of(messages), (messages_t{{0, "//depot/a.txt"}, {0, "//depot/c.txt"}}));
       EXPECT_EQ(server.repository().site_revision("ws", "//depot/a.txt"), 1);
       return rc;
     }, SYNC_FILES, wire({1, "//depot/...", 0, 1, 0, 1}), 0},
    {"sync_files to the latest without messages", [&](auto &k) {
       const int rc = k.sync_files(nullptr, paths({"//depot/..."}), -1, 0);
       EXPECT_EQ(server.repository().site_revision("ws", "//depot/a.txt"), 2);
       return rc;
     }, SYNC_FILES, wire({1, "//depot/...", 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}), 0},
    {"sync_one_file", [&](auto &k) { return k.sync_one_file("//depot/a.txt", 1, base_copy.c_str()); },
     SYNC_ONE_FILE, wire({"//depot/a.txt", 0, 1, base_copy, 0}), 0},
    {"sync_one_file of a revision that does not exist", [&](auto &k) {
       return k.sync_one_file("//depot/a.txt", 9, base_copy.c_str());
     }, SYNC_ONE_FILE, wire({"//depot/a.txt", 0, 9, base_copy, 0}), 32, "9"},
    {"scan_files", [&](auto &k) {
       const int rc = k.scan_files(&messages, 1, paths({"//depot/..."}), paths({"//depot/a.txt", "//depot/new.txt"}),
                                   paths({"*.o"}), 3);
       EXPECT_EQ(messages_of(messages),
                 (messages_t{{0, "//depot/new.txt"}, {0, "//depot/b.txt"}, {0, "//depot/c.txt"}}));
       return rc;
     }, SCAN_FILES,
     wire({1, 1, "//depot/...", 0, 2, "//depot/a.txt", 0, "//depot/new.txt", 0, 1, "*.o", 0, 3, 1}), 0},
    {"purge_files", [&](auto &k) {
       const int rc = k.purge_files(&messages, paths({"//depot/b.txt"}), 1);
       EXPECT_EQ(messages_of(messages), (messages_t{{0, "//depot/b.txt"}}));
       return rc;
     }, PURGE_FILES, wire({1, "//depot/b.txt", 0, 1, 1}), 0},
    {"set_verifying_site", [&](auto &k) { return k.set_verifying_site(1); }, SET_VERIFYING_SITE, wire({1}), 0},
    {"delete_worklist", [&](auto &k) { return k.delete_worklist(1); }, DEL_WORKLIST, wire({1}), 0},
    {"delete_user", [&](auto &k) { return k.delete_user("bob", 0); }, DEL_USER, wire({"bob", 0, 0}), 0},
  };

  for ( const operation_case_t &row : cases )
  {
    SCOPED_TRACE(row.name);
    server.clear_received();
    error_arg_text(0, nullptr);
    EXPECT_EQ(row.run(*c), row.code) << error_detail();
    if ( row.detail != nullptr )
    {
      EXPECT_EQ(error_detail(), row.detail);
    }
    const std::vector<recorded_frame_t> frames = server.received();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].type, row.type);
    EXPECT_EQ(frames[0].body, row.body);
    EXPECT_EQ(c->outstanding_type(), RPC_OK);
  }
  EXPECT_FALSE(c->is_broken());
}

INSTANTIATE_TEST_SUITE_P(transports, connection_operations_test_t, testing::Values(transport_t::tcp, transport_t::tls),
                         [](const testing::TestParamInfo<transport_t> &info) {
                           return info.param == transport_t::tls ? "tls" : "tcp";
                         });

class local_operations_test_t : public test_server_fixture_t
{
};

TEST_F(local_operations_test_t, operations_without_a_request_send_nothing)
{
  auto c = connect_alice();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->zero_query(), 0);
  c->noop_hook();
  EXPECT_TRUE(server.received().empty());
  EXPECT_EQ(c->get_users(nullptr), 0);
  EXPECT_EQ(server.received().size(), 1u);
}

}  // namespace
