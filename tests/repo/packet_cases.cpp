// Hand-written bodies of every packet type and the helpers the packet tests share.
#include "packet_cases.h"

#include "repo/packets_login.h"
#include "repo/packets_sites.h"
#include "repo/packets_users.h"
#include "repo/packets_worklists.h"

#include <cstdio>
#include <type_traits>
#include <typeinfo>

std::string hex(const bytes_t &bytes)
{
  std::string out;
  for ( uint8_t b : bytes )
  {
    char digits[4];
    std::snprintf(digits, sizeof(digits), "%02X ", b);
    out += digits;
  }
  if ( !out.empty() )
    out.pop_back();
  return out;
}

bytes_t to_bytes(const byte_buffer_t &buffer)
{
  return bytes_t(buffer.begin(), buffer.end());
}

bytes_t serialize_packet(const rpc_packet_t &packet)
{
  byte_buffer_t out;
  packet.serialize(out, ARKIVE_PROTOCOL_VERSION);
  return to_bytes(out);
}

// Records below are filled with designated initializers that name only the fields a case cares about.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

template<class P, class F>
packet_case_t make_case(uint8_t type, F fill, bytes_t body)
{
  return {type,
          [type, fill] {
            auto packet = std::make_unique<P>(type);
            fill(*packet);
            return std::unique_ptr<rpc_packet_t>(std::move(packet));
          },
          std::move(body)};
}

template<class P>
packet_case_t make_empty_case(uint8_t type)
{
  return make_case<P>(type, [](P &) {}, {});
}

// A packed time: seconds since 1970 in the high half, microseconds in the low half.
constexpr uint64_t packed_time = (uint64_t(0x65000000) << 32) | 123456;
// ... and its wire form: the low half C0 01 E2 40, the high half FF 65 00 00 00.
#define PACKED_TIME_BYTES 0xC0, 0x01, 0xE2, 0x40, 0xFF, 0x65, 0x00, 0x00, 0x00
#define MINUS_ONE 0xFF, 0xFF, 0xFF, 0xFF, 0xFF
#define DIGEST_0_TO_15 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
#define DIGEST_ZERO 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0

const arkive_file_info_t sample_file = {
  .path = "//src/a.c",
  .md5 = {DIGEST_0_TO_15},
  .size = 1000,
  .commit_time = packed_time,
  .number = 0,
  .site_revision = 2,
  .last_revision = 3,
  .commit = 12,
  .action = 3,
};

std::vector<packet_case_t> build_cases()
{
  std::vector<packet_case_t> c;
  c.push_back(make_empty_case<empty_packet_t>(RPC_OK));
  c.push_back(make_case<code_text_packet_t>(RPC_FAIL, [](auto &p) { p.code = 22; p.text = "/a"; },
                                            wire({22, "/a", 0})));
  c.push_back(make_case<code_text_packet_t>(RPC_NOTIFY, [](auto &p) { p.code = 3; p.text = "syncing"; },
                                            wire({3, "syncing", 0})));
  c.push_back(make_case<user_edit_packet_t>(
    EDIT_USER,
    [](auto &p) {
      p.user = {.login = "ann", .real_name = "Ann Lee", .email = "ann@x.org", .notes = "", .info = "i",
                .last_active = packed_time, .admin = true};
      p.create = true;
    },
    wire({"ann", 0, "Ann Lee", 0, "ann@x.org", 0, 0, "i", 0, PACKED_TIME_BYTES, 1, 1})));
  c.push_back(make_case<name_number_packet_t>(DEL_USER, [](auto &p) { p.name = "bob"; p.number = 3; },
                                              wire({"bob", 0, 3})));
  c.push_back(make_case<name_packet_t>(ADD_GROUP, [](auto &p) { p.name = "devs"; }, wire({"devs", 0})));
  c.push_back(make_case<group_edit_packet_t>(
    EDIT_GROUP, [](auto &p) { p.name = "devs"; p.text = "ann"; p.flag = true; }, wire({"devs", 0, "ann", 0, 1})));
  c.push_back(make_case<name_packet_t>(DEL_GROUP, [](auto &p) { p.name = "devs"; }, wire({"devs", 0})));
  c.push_back(make_case<permission_list_packet_t>(
    SET_PERMISSIONS,
    [](auto &p) {
      p.rules = {{.text1 = "devs", .text2 = "//src/*", .number = 0x80}, {.text1 = "", .text2 = "", .number = -1}};
    },
    wire({2, "devs", 0, "//src/*", 0, 0x80, 0x80, 0, 0, MINUS_ONE})));
  c.push_back(make_case<flag_packet_t>(GET_PERMISSIONS, [](auto &) {}, wire({0})));
  c.push_back(make_case<permission_list_packet_t>(
    GET_PERMISSIONS_RESULT, [](auto &p) { p.rules = {{.text1 = "*", .text2 = "//", .number = 1}}; },
    wire({1, "*", 0, "//", 0, 1})));
  c.push_back(make_case<two_names_flag_packet_t>(
    CHECK_PERMISSIONS, [](auto &p) { p.name = "ann"; p.text = "//src/a.c"; p.want_reply = 1; },
    wire({"ann", 0, "//src/a.c", 0, 1})));
  c.push_back(make_case<message_list_packet_t>(
    CHECK_PERMISSIONS_RESULT, [](auto &p) { p.messages = {{22, "//src/a.c"}, {0, ""}}; },
    wire({2, 22, "//src/a.c", 0, 0, 0})));
  c.push_back(make_case<flag_packet_t>(GET_SESSIONS, [](auto &) {}, wire({0})));
  c.push_back(make_case<session_list_packet_t>(
    GET_SESSIONS_RESULT,
    [](auto &p) {
      p.sessions = {{.user = "ann", .site = "ws", .client_host = "pc1", .value1 = uint64_t(1) << 32, .value2 = 300,
                     .admin = true, .flag2 = false}};
    },
    // value1: low half 00, high half 01; value2: low half 81 2C, high half 00
    wire({1, "ann", 0, "ws", 0, "pc1", 0, 0x00, 0x01, 0x81, 0x2C, 0x00, 1, 0})));
  c.push_back(make_case<two_names_packet_t>(SET_PASSWORD, [](auto &p) { p.name = "ann"; p.text = "s3cret"; },
                                            wire({"ann", 0, "s3cret", 0})));
  c.push_back(make_case<flag_packet_t>(GET_USERS, [](auto &) {}, wire({0})));
  c.push_back(make_case<user_list_packet_t>(
    GET_USERS_RESULT,
    [](auto &p) {
      p.users = {{.login = "ann", .admin = true},
                 {.login = "bob", .real_name = "Bob", .notes = "n", .last_active = 0x4000}};
    },
    wire({2, "ann", 0, 0, 0, 0, 0, 0, 0, 1, "bob", 0, "Bob", 0, 0, "n", 0, 0, 0xC0, 0x00, 0x40, 0x00, 0x00, 0})));
  c.push_back(make_case<name_flag_packet_t>(GET_USER, [](auto &p) { p.name = "ann"; p.want_reply = 1; },
                                            wire({"ann", 0, 1})));
  c.push_back(make_case<user_packet_t>(
    GET_USER_RESULT, [](auto &p) { p.user = {.login = "ann", .real_name = "Ann", .email = "a@b", .info = "x"}; },
    wire({"ann", 0, "Ann", 0, "a@b", 0, 0, "x", 0, 0, 0, 0})));
  c.push_back(make_case<flag_packet_t>(GET_GROUPS, [](auto &) {}, wire({0})));
  c.push_back(make_case<group_list_packet_t>(
    GET_GROUPS_RESULT,
    [](auto &p) { p.groups = {{.name = "devs", .members = {"ann", "bob"}}, {.name = "empty", .members = {}}}; },
    wire({2, "devs", 0, 2, "ann", 0, "bob", 0, "empty", 0, 0})));
  c.push_back(make_case<name_flag_packet_t>(GET_GROUP, [](auto &p) { p.name = "devs"; }, wire({"devs", 0, 0})));
  c.push_back(make_case<group_packet_t>(GET_GROUP_RESULT,
                                        [](auto &p) { p.group = {.name = "devs", .members = {"ann"}}; },
                                        wire({"devs", 0, 1, "ann", 0})));
  c.push_back(make_case<site_edit_packet_t>(
    EDIT_SITE,
    [](auto &p) { p.site = {.name = "ws", .user = "ann", .root_dir = "/home/ann/ws", .client_host = "pc1"}; },
    wire({"ws", 0, "ann", 0, "/home/ann/ws", 0, "pc1", 0, 0, 0, 0})));
  c.push_back(make_case<name_bool_packet_t>(DEL_SITE, [](auto &p) { p.name = "ws"; p.force = true; },
                                            wire({"ws", 0, 1})));
  c.push_back(make_case<name_flag_packet_t>(GET_SITES, [](auto &p) { p.want_reply = 1; }, wire({0, 1})));
  c.push_back(make_case<site_list_packet_t>(
    GET_SITES_RESULT,
    [](auto &p) {
      p.sites = {{.name = "ws", .user = "ann", .root_dir = "C:/w", .client_host = "pc1",
                  .last_used = (uint64_t(5) << 32) | 7}};
    },
    wire({1, "ws", 0, "ann", 0, "C:/w", 0, "pc1", 0, 7, 5})));
  c.push_back(make_case<name_flag_packet_t>(GET_SITE, [](auto &p) { p.name = "ws"; p.want_reply = 1; },
                                            wire({"ws", 0, 1})));
  c.push_back(make_case<site_packet_t>(
    GET_SITE_RESULT, [](auto &p) { p.site = {.name = "ws", .user = "ann", .root_dir = "/w", .client_host = "pc"}; },
    wire({"ws", 0, "ann", 0, "/w", 0, "pc", 0, 0, 0})));
  c.push_back(make_case<two_names_flag_packet_t>(
    USE_SITE, [](auto &p) { p.name = "ws"; p.text = "pc1"; p.want_reply = 1; }, wire({"ws", 0, "pc1", 0, 1})));
  c.push_back(make_case<site_packet_t>(USE_SITE_RESULT,
                                       [](auto &p) { p.site = {.name = "ws", .last_used = ~uint64_t(0)}; },
                                       wire({"ws", 0, 0, 0, 0, MINUS_ONE, MINUS_ONE})));
  c.push_back(make_case<site_filters_packet_t>(
    SET_SITE_FILTERS, [](auto &p) { p.lines = {"!*.mov", "//src/*"}; p.name = "ws"; },
    wire({2, "!*.mov", 0, "//src/*", 0, "ws", 0})));
  c.push_back(make_case<name_flag_packet_t>(GET_SITE_FILTERS, [](auto &p) { p.name = "ws"; p.want_reply = 1; },
                                            wire({"ws", 0, 1})));
  c.push_back(make_case<string_list_packet_t>(GET_SITE_FILTERS_RESULT, [](auto &) {}, wire({0})));
  c.push_back(make_case<commit_query_packet_t>(
    GET_COMMITS,
    [](auto &p) {
      p.paths = {"//a.c"};
      p.filter = {.first_commit = 0, .last_commit = 2147483647, .max_count = -1};
      p.revision = -1;
      p.want = 3;
    },
    wire({1, "//a.c", 0,
          0, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, MINUS_ONE, 0,  // the filter
          MINUS_ONE, 3})));
  c.push_back(make_case<commit_list_packet_t>(
    GET_COMMITS_RESULT,
    [](auto &p) {
      p.messages = {{43, "//x"}};
      p.commits = {{.number = 12, .action = 3, .time = 0, .user = "ann", .site = "ws", .description = "fix"}};
    },
    wire({1, 43, "//x", 0, 1, 12, 3, 0, 0, "ann", 0, "ws", 0, "fix", 0})));
  c.push_back(make_case<code_text_packet_t>(EDIT_COMMIT, [](auto &p) { p.code = 12; p.text = "better words"; },
                                            wire({12, "better words", 0})));
  c.push_back(make_case<number_flag_packet_t>(GET_COMMIT_FILES, [](auto &p) { p.number = 300; p.want_reply = 1; },
                                              wire({0x81, 0x2C, 1})));
  c.push_back(make_case<file_list_packet_t>(
    GET_COMMIT_FILES_RESULT, [](auto &p) { p.files = {sample_file}; },
    // size 1000 travels as 1001: 83 E9, then the high half 00
    wire({1, "//src/a.c", 0, DIGEST_0_TO_15, 0x83, 0xE9, 0, PACKED_TIME_BYTES, 0, 2, 3, 12, 3})));
  c.push_back(make_case<path_query_packet_t>(
    GET_ARKIVE_FILES,
    [](auto &p) { p.patterns = {"//src/"}; p.revision = -3; p.options = 7; p.want = 2; },
    wire({1, "//src/", 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD, 7, 2})));
  c.push_back(make_case<file_query_result_packet_t>(
    GET_ARKIVE_FILES_RESULT,
    [](auto &p) { p.files = {{.path = "//b", .size = ~uint64_t(0), .action = 2}}; },
    wire({0, 1, "//b", 0, DIGEST_ZERO, 0, 0, 0, 0, 0, 0, 0, 0, 2})));
  c.push_back(make_case<name_number_flag_packet_t>(
    OPEN_SUBMITTED_FILE, [](auto &p) { p.name = "//a.c"; p.number = 0x4000; p.want_reply = 1; },
    wire({"//a.c", 0, 0xC0, 0x00, 0x40, 0x00, 1})));
  c.push_back(make_case<number_packet_t>(OPEN_SUBMITTED_FILE_RESULT, [](auto &p) { p.number = 7; }, wire({7})));
  c.push_back(make_case<name_flag_packet_t>(ADD_WORKLIST,
                                            [](auto &p) { p.name = "scan of //src"; p.want_reply = 1; },
                                            wire({"scan of //src", 0, 1})));
  c.push_back(make_case<number_packet_t>(ADD_WORKLIST_RESULT, [](auto &p) { p.number = 0x12345678; },
                                         wire({0xD2, 0x34, 0x56, 0x78})));
  c.push_back(make_case<number_packet_t>(DEL_WORKLIST, [](auto &p) { p.number = 4; }, wire({4})));
  c.push_back(make_case<code_text_packet_t>(EDIT_WORKLIST, [](auto &p) { p.code = 4; p.text = "new"; },
                                            wire({4, "new", 0})));
  c.push_back(make_case<commit_worklist_packet_t>(
    COMMIT_WORKLIST, [](auto &p) { p.description = "fix"; p.worklist = 4; p.force = 0; p.want = 3; },
    wire({"fix", 0, 4, 0, 3})));
  c.push_back(make_case<commit_result_packet_t>(COMMIT_WORKLIST_RESULT, [](auto &p) { p.commit = 130; },
                                                wire({0, 0x80, 0x82})));
  c.push_back(make_case<path_list_packet_t>(MIGRATE_FILES,
                                            [](auto &p) { p.paths = {"//a", "//b"}; p.number = 5; },
                                            wire({2, "//a", 0, "//b", 0, 5, 0})));
  c.push_back(make_case<message_list_packet_t>(MIGRATE_FILES_RESULT, [](auto &p) { p.messages = {{0, "//a"}}; },
                                               wire({1, 0, "//a", 0})));
  c.push_back(make_case<two_names_number_packet_t>(
    GET_WORKLISTS, [](auto &p) { p.name = "*"; p.text = "*"; p.number = -1; p.want_reply = 1; },
    wire({"*", 0, "*", 0, MINUS_ONE, 1})));
  c.push_back(make_case<worklist_list_packet_t>(
    GET_WORKLISTS_RESULT,
    [](auto &p) {
      p.worklists = {{.user = "ann", .site = "ws", .description = "fix", .changed = uint64_t(1) << 32, .size = -2,
                      .number = 4}};
    },
    wire({1, "ann", 0, "ws", 0, "fix", 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 4})));
  c.push_back(make_case<two_names_number_packet_t>(
    GET_WORKLIST_FILES, [](auto &p) { p.number = -1; p.want_reply = 1; }, wire({0, 0, MINUS_ONE, 1})));
  c.push_back(make_case<worklist_file_list_packet_t>(
    GET_WORKLIST_FILES_RESULT,
    [](auto &p) {
      p.files = {{.user = "ann", .site = "ws", .path = "//a.c", .site_revision = 2, .last_revision = 3,
                  .worklist = 4, .action = 3}};
    },
    wire({1, "ann", 0, "ws", 0, "//a.c", 0, 2, 3, 4, 3})));
  c.push_back(make_case<path_list_packet_t>(
    ADD_FILES, [](auto &p) { p.paths = {"a", "b", "c"}; p.number = 1; p.want_reply = 1; },
    wire({3, "a", 0, "b", 0, "c", 0, 1, 1})));
  c.push_back(make_case<code_list_packet_t>(ADD_FILES_RESULT, [](auto &p) { p.codes = {0, 2, 0}; },
                                            wire({3, 0, 2, 0})));
  c.push_back(make_case<path_list_packet_t>(
    EDIT_FILES, [](auto &p) { p.paths = {"//a.c"}; p.number = 1; p.want_reply = 1; }, wire({1, "//a.c", 0, 1, 1})));
  c.push_back(make_case<message_list_packet_t>(EDIT_FILES_RESULT, [](auto &p) { p.messages = {{30, "//a.c"}}; },
                                               wire({1, 30, "//a.c", 0})));
  c.push_back(make_case<path_list_packet_t>(DEL_FILES, [](auto &p) { p.paths = {"//a.c"}; p.number = 1; },
                                            wire({1, "//a.c", 0, 1, 0})));
  c.push_back(make_case<message_list_packet_t>(DEL_FILES_RESULT, [](auto &) {}, wire({0})));
  c.push_back(make_case<copy_files_packet_t>(
    COPY_FILES,
    [](auto &p) { p.source = "//a.c"; p.destination = "//b.c"; p.revision = 3; p.worklist = 1; p.want_reply = 1; },
    wire({"//a.c", 0, "//b.c", 0, 3, 1, 1})));
  c.push_back(make_case<message_list_packet_t>(COPY_FILES_RESULT, [](auto &p) { p.messages = {{2, "//b.c"}}; },
                                               wire({1, 2, "//b.c", 0})));
  c.push_back(make_case<two_names_number_packet_t>(
    MOVE_FILES, [](auto &p) { p.name = "//a.c"; p.text = "//c.c"; p.number = 1; p.want_reply = 1; },
    wire({"//a.c", 0, "//c.c", 0, 1, 1})));
  c.push_back(make_case<message_list_packet_t>(MOVE_FILES_RESULT, [](auto &p) { p.messages = {{0, "//c.c"}}; },
                                               wire({1, 0, "//c.c", 0})));
  c.push_back(make_case<path_list_packet_t>(REVERT_FILES,
                                            [](auto &p) { p.paths = {"@4"}; p.number = 0; p.want_reply = 1; },
                                            wire({1, "@4", 0, 0, 1})));
  c.push_back(make_case<message_list_packet_t>(REVERT_FILES_RESULT,
                                               [](auto &p) { p.messages = {{35, "//a.c"}}; },
                                               wire({1, 35, "//a.c", 0})));
  c.push_back(make_case<name_packet_t>(RESOLVE_FILE, [](auto &p) { p.name = "//a.c"; }, wire({"//a.c", 0})));
  c.push_back(make_case<path_query_packet_t>(
    SYNC_FILES, [](auto &p) { p.patterns = {"//..."}; p.revision = -1; p.options = 4; p.want = 1; },
    wire({1, "//...", 0, MINUS_ONE, 4, 1})));
  c.push_back(make_case<message_list_packet_t>(
    SYNC_FILES_RESULT, [](auto &p) { p.messages = {{31, "//a.c"}, {0, "//b.c"}}; },
    wire({2, 31, "//a.c", 0, 0, "//b.c", 0})));
  c.push_back(make_case<sync_one_file_packet_t>(
    SYNC_ONE_FILE, [](auto &p) { p.path = "//a.c"; p.revision = 2; p.target = "/tmp/a.c.2"; },
    wire({"//a.c", 0, 2, "/tmp/a.c.2", 0})));
  c.push_back(make_case<flag_packet_t>(GET_ARKIVE_INFO, [](auto &) {}, wire({0})));
  c.push_back(make_case<server_info_packet_t>(
    GET_ARKIVE_INFO_RESULT,
    [](auto &p) {
      p.info = {.session = {.user = "ann", .site = "ws", .client_host = "pc1", .admin = true},
                .root_dir = "/w",
                .identity = {.text1 = "t1", .title = "Arkive", .text3 = "t3", .value = 2, .number1 = 1,
                             .number2 = 0x80},
                .text3 = "x",
                .value2 = (uint64_t(1) << 32) | 1};
    },
    wire({"ann", 0, "ws", 0, "pc1", 0, 0, 0, 0, 0, 1, 0,              // the session
          "/w", 0,                                                     // root_dir
          "t1", 0, "Arkive", 0, "t3", 0, 2, 0, 1, 0x80, 0x80,          // the identity
          0, 0, "x", 0, 0, 0, 1, 1})));
  c.push_back(make_case<scan_files_packet_t>(
    SCAN_FILES,
    [](auto &p) {
      p.worklist = 9;
      p.patterns = {"//src/"};
      p.local_files = {"/w/src/a.c"};
      p.options = 0x27;
      p.want_reply = 1;
    },
    wire({9, 1, "//src/", 0, 1, "/w/src/a.c", 0, 0, 0x27, 1})));
  c.push_back(make_case<message_list_packet_t>(SCAN_FILES_RESULT, [](auto &p) { p.messages = {{0, "//src/a.c"}}; },
                                               wire({1, 0, "//src/a.c", 0})));
  c.push_back(make_case<purge_files_packet_t>(PURGE_FILES, [](auto &p) { p.paths = {"//old"}; p.flag = true; },
                                              wire({1, "//old", 0, 1, 0})));
  c.push_back(make_case<message_list_packet_t>(PURGE_FILES_RESULT, [](auto &) {}, wire({0})));
  c.push_back(make_case<bool_packet_t>(SET_VERIFYING_SITE, [](auto &p) { p.flag = true; }, wire({1})));
  c.push_back(make_case<login_packet_t>(
    LOGIN,
    [](auto &p) { p.user = "ann"; p.password = "pw"; p.version = ARKIVE_PROTOCOL_VERSION; p.client = "pc1"; },
    wire({"ann", 0, "pw", 0, 0x05, "pc1", 0, 0x00})));
  c.push_back(make_empty_case<empty_packet_t>(LOGOFF));
  c.push_back(make_case<name_number_packet_t>(DEL_FILE, [](auto &p) { p.name = "//a.c"; p.number = 1; },
                                              wire({"//a.c", 0, 1})));
  c.push_back(make_case<name_number_packet_t>(OPEN_FILE, [](auto &p) { p.name = "//a.c"; p.number = 0x41; },
                                              wire({"//a.c", 0, 0x41})));
  c.push_back(make_case<number_packet_t>(OPEN_FILE_RESULT, [](auto &p) { p.number = 15; }, wire({15})));
  c.push_back(make_case<close_file_packet_t>(CLOSE_FILE, [](auto &p) { p.handle = 3; p.keep = true; },
                                             wire({3, 1})));
  c.push_back(make_case<read_file_packet_t>(READ_FILE, [](auto &p) { p.handle = 3; p.size = 0x10000; },
                                            wire({3, 0xC0, 0x01, 0x00, 0x00})));
  c.push_back(make_case<blob_packet_t>(READ_FILE_RESULT, [](auto &p) { p.data = {'a', 'b', 'c'}; },
                                       wire({3, "abc"})));
  c.push_back(make_case<write_file_packet_t>(WRITE_FILE, [](auto &p) { p.handle = 3; p.data = {0x00, 0xFF}; },
                                             wire({3, 2, 0x00, 0xFF})));
  c.push_back(make_case<change_status_query_packet_t>(
    CALC_CHANGE_STATUS,
    [](auto &p) {
      p.entries = {{.path = "a.c", .size = 5, .md5 = {DIGEST_0_TO_15}}};
      p.mode = 2;
    },
    wire({1, "a.c", 0, 6, 0, DIGEST_0_TO_15, 2})));
  c.push_back(make_case<blob_packet_t>(CALC_CHANGE_STATUS_RESULT, [](auto &p) { p.data = {0x05}; },
                                       wire({1, 0x05})));
  c.push_back(make_empty_case<empty_packet_t>(FLUSH_PENDING_MD5S));
  c.push_back(make_case<progress_packet_t>(UPDATE_PROGRESS, [](auto &p) { p.kind = 1; p.amount = ~uint64_t(0); },
                                           wire({1, 0, 0})));
  c.push_back(make_case<two_names_number_packet_t>(
    AUTHENTICATE, [](auto &p) { p.name = "ann"; p.text = "pw"; p.number = ARKIVE_PROTOCOL_VERSION; },
    wire({"ann", 0, "pw", 0, 0x05, 0x00})));
  c.push_back(make_case<user_packet_t>(
    AUTHENTICATE_RESULT, [](auto &p) { p.user = {.login = "ann", .real_name = "Ann", .email = "a@b", .admin = true}; },
    wire({"ann", 0, "Ann", 0, "a@b", 0, 0, 0, 0, 0, 1})));
  return c;
}

//--------------------------------------------------------------------------
// Sums the capacities a packet's fields hold.
class footprint_t
{
public:
  bool operator()(const qstring &text) { bytes += text.capacity(); return true; }
  template<class T> requires std::is_arithmetic_v<T>
  bool operator()(T) { return true; }
  bool operator()(const uint8_t (&)[16]) { return true; }
  template<class T>
  bool operator()(wire_plus_one_ref_t<T>) { return true; }
  template<class T>
  bool operator()(wire_blob_ref_t<T> blob) { bytes += blob.value.capacity(); return true; }
  template<class T>
  bool operator()(const qvector<T> &list)
  {
    bytes += list.capacity() * sizeof(T);
    for ( const T &element : list )
      (*this)(element);
    return true;
  }
  template<class R>
  bool operator()(const R &record) requires requires(footprint_t &f) { R::wire_fields(record, f); }
  {
    return R::wire_fields(record, *this);
  }

  size_t bytes = 0;
};

template<class... P>
struct class_list_t
{
};

using body_classes_t = class_list_t<
  code_text_packet_t, flag_packet_t, name_packet_t, name_number_packet_t, name_flag_packet_t, two_names_packet_t,
  two_names_flag_packet_t, message_list_packet_t, user_edit_packet_t, group_edit_packet_t, permission_list_packet_t,
  session_list_packet_t, user_list_packet_t, user_packet_t, group_list_packet_t, group_packet_t, site_edit_packet_t,
  name_bool_packet_t, site_list_packet_t, site_packet_t, site_filters_packet_t, string_list_packet_t,
  commit_query_packet_t, commit_list_packet_t, number_flag_packet_t, file_list_packet_t, path_query_packet_t,
  file_query_result_packet_t, server_info_packet_t, bool_packet_t, number_packet_t, path_list_packet_t,
  two_names_number_packet_t, commit_worklist_packet_t, commit_result_packet_t, worklist_list_packet_t,
  worklist_file_list_packet_t, code_list_packet_t, copy_files_packet_t, sync_one_file_packet_t,
  scan_files_packet_t, purge_files_packet_t, login_packet_t, name_number_flag_packet_t, close_file_packet_t,
  read_file_packet_t, blob_packet_t, write_file_packet_t, change_status_query_packet_t, progress_packet_t>;

}  // namespace

void PrintTo(const packet_case_t &c, std::ostream *os)
{
  *os << "type " << int(c.type) << " body [" << hex(c.body) << "]";
}

const std::vector<packet_case_t> &packet_cases()
{
  static const std::vector<packet_case_t> cases = build_cases();
  return cases;
}

std::optional<size_t> packet_footprint(const rpc_packet_t &packet)
{
  if ( typeid(packet) == typeid(empty_packet_t) )
    return 0;
  return [&]<class... P>(class_list_t<P...>) {
    std::optional<size_t> result;
    auto try_class = [&]<class C>(C *) {
      if ( result || typeid(packet) != typeid(C) )
        return;
      footprint_t f;
      C::wire_fields(static_cast<const C &>(packet), f);
      result = f.bytes;
    };
    (try_class(static_cast<P *>(nullptr)), ...);
    return result;
  }(body_classes_t{});
}
