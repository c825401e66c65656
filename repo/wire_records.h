// Records carried inside packet bodies: files, commits, worklists, users, sites, groups, rules, sessions.
#pragma once

#include "repo/wire_fields.h"

#include <cstdint>

// Every record is a plain value type that owns its strings; copies are deep. Its fields are declared in
// wire order and wire_fields lists them once for the writer and the reader (write_wire / read_wire of
// wire_fields.h). Packed times are seconds since 1970 in the high 32 bits, microseconds in the low 32.

// The server's result for one item of a multi-item request.
struct server_message_t
{
  int32_t code = 0;  // repository error code; 0 for success
  qstring text;      // the argument of the code's message, usually the path or name concerned

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.code) && v(self.text);
  }
};

// One file of the server, as GET_ARKIVE_FILES and GET_COMMIT_FILES list it.
struct arkive_file_info_t
{
  qstring path;              // path in the server's tree
  uint8_t md5[16] = {};      // digest of the content at the listed revision
  uint64_t size = 0;         // bytes; all ones travels as 0
  uint64_t commit_time = 0;  // packed time of the commit that made the listed revision
  int32_t number = 0;        // carried, not interpreted
  int32_t site_revision = 0; // revision that the current site holds; 0 when it holds none
  int32_t last_revision = 0; // latest revision on the server; 0 when none is committed
  int32_t commit = 0;        // commit that made the revision
  uint8_t action = 0;        // file action code of the latest revision

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.path) && v(self.md5) && v(wire_plus_one(self.size)) && v(self.commit_time) && v(self.number)
        && v(self.site_revision) && v(self.last_revision) && v(self.commit) && v(self.action);
  }
};

// One commit, as GET_COMMITS lists it.
struct commit_info_t
{
  int32_t number = 0;
  uint8_t action = 0;  // file action code of the revision the commit made
  uint64_t time = 0;   // packed time
  qstring user;
  qstring site;
  qstring description;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.number) && v(self.action) && v(self.time) && v(self.user) && v(self.site) && v(self.description);
  }
};

// The selection part of a GET_COMMITS request.
struct commit_filter_t
{
  int32_t first_commit = 0;
  int32_t last_commit = 0;
  uint64_t low_value = 0;
  uint64_t high_value = 0;
  qstring text1;
  qstring text2;
  int32_t max_count = 0;  // -1 for no limit
  int32_t extra = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.first_commit) && v(self.last_commit) && v(self.low_value) && v(self.high_value) && v(self.text1)
        && v(self.text2) && v(self.max_count) && v(self.extra);
  }
};

// One worklist, as GET_WORKLISTS lists it.
struct worklist_info_t
{
  qstring user;
  qstring site;
  qstring description;
  uint64_t changed = 0;  // packed time of the last change
  int32_t size = 0;
  int32_t number = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.user) && v(self.site) && v(self.description) && v(self.changed) && v(self.size) && v(self.number);
  }
};

// One opened file of a worklist, as GET_WORKLIST_FILES lists it.
struct worklist_file_t
{
  qstring user;
  qstring site;
  qstring path;
  int32_t site_revision = 0;
  int32_t last_revision = 0;
  int32_t worklist = 0;
  uint8_t action = 0;  // file action code of the pending change

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.user) && v(self.site) && v(self.path) && v(self.site_revision) && v(self.last_revision)
        && v(self.worklist) && v(self.action);
  }
};

// One user account.
struct user_info_t
{
  qstring login;
  qstring real_name;
  qstring email;
  qstring notes;
  qstring info;              // neither shown nor edited: sent back as received
  uint64_t last_active = 0;  // packed time
  bool admin = false;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.login) && v(self.real_name) && v(self.email) && v(self.notes) && v(self.info)
        && v(self.last_active) && v(self.admin);
  }
};

// One site: a work directory of a user on one host.
struct site_info_t
{
  qstring name;
  qstring user;
  qstring root_dir;
  qstring client_host;
  uint64_t last_used = 0;  // packed time

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.name) && v(self.user) && v(self.root_dir) && v(self.client_host) && v(self.last_used);
  }
};

// One group and its members.
struct group_info_t
{
  qstring name;
  qvector<qstring> members;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.name) && v(self.members);
  }
};

// One permission rule; its meaning is the server's.
struct permission_rule_t
{
  qstring text1;
  qstring text2;
  int32_t number = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.text1) && v(self.text2) && v(self.number);
  }
};

// One login session on the server.
struct session_info_t
{
  qstring user;
  qstring site;
  qstring client_host;
  uint64_t value1 = 0;
  uint64_t value2 = 0;
  bool admin = false;
  bool flag2 = false;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.user) && v(self.site) && v(self.client_host) && v(self.value1) && v(self.value2) && v(self.admin)
        && v(self.flag2);
  }
};

// The server's identity, inside arkive_server_info_t.
struct server_identity_t
{
  qstring text1;
  qstring title;  // shown in bold in the About box
  qstring text3;
  uint64_t value = 0;
  int32_t number1 = 0;
  int32_t number2 = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.text1) && v(self.title) && v(self.text3) && v(self.value) && v(self.number1) && v(self.number2);
  }
};

// The server's description of the caller's own connection.
struct arkive_server_info_t
{
  session_info_t session;  // the connection's user, local site and client host; admin lifts ownership checks
  qstring root_dir;        // root directory of the current site
  server_identity_t identity;
  qstring text1;
  qstring text2;
  qstring text3;
  uint64_t value1 = 0;
  uint64_t value2 = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.session) && v(self.root_dir) && v(self.identity) && v(self.text1) && v(self.text2) && v(self.text3)
        && v(self.value1) && v(self.value2);
  }
};

// One file of a CALC_CHANGE_STATUS request: what the server expects to find locally.
struct change_status_item_t
{
  qstring path;          // the local file, as the server names it
  uint64_t size = 0;     // all ones travels as 0
  uint8_t md5[16] = {};

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.path) && v(wire_plus_one(self.size)) && v(self.md5);
  }
};

// Records hold only qstrings, qvectors and numbers: a qvector may move them bytewise.
template<> inline constexpr bool qvector_relocatable<server_message_t> = true;
template<> inline constexpr bool qvector_relocatable<arkive_file_info_t> = true;
template<> inline constexpr bool qvector_relocatable<commit_info_t> = true;
template<> inline constexpr bool qvector_relocatable<commit_filter_t> = true;
template<> inline constexpr bool qvector_relocatable<worklist_info_t> = true;
template<> inline constexpr bool qvector_relocatable<worklist_file_t> = true;
template<> inline constexpr bool qvector_relocatable<user_info_t> = true;
template<> inline constexpr bool qvector_relocatable<site_info_t> = true;
template<> inline constexpr bool qvector_relocatable<group_info_t> = true;
template<> inline constexpr bool qvector_relocatable<permission_rule_t> = true;
template<> inline constexpr bool qvector_relocatable<session_info_t> = true;
template<> inline constexpr bool qvector_relocatable<server_identity_t> = true;
template<> inline constexpr bool qvector_relocatable<arkive_server_info_t> = true;
template<> inline constexpr bool qvector_relocatable<change_status_item_t> = true;
