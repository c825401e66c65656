// Packet bodies for users, groups, permissions and sessions, and the general-purpose bodies other packets reuse.
#pragma once

#include "repo/rpc_packet.h"
#include "repo/wire_records.h"

// A want_reply byte is 1 when the caller asked for the reply's content, 0 when it did not.

// GET_PERMISSIONS, GET_SESSIONS, GET_USERS, GET_GROUPS, GET_ARKIVE_INFO: one option byte (0).
class flag_packet_t : public wire_packet_t<flag_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  uint8_t option = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.option); }
};

// ADD_GROUP, DEL_GROUP, RESOLVE_FILE: one name.
class name_packet_t : public wire_packet_t<name_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring name;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.name); }
};

// DEL_USER (login, 0 or 3 to confirm), DEL_FILE and OPEN_FILE (local path, file system flags).
class name_number_packet_t : public wire_packet_t<name_number_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring name;
  int32_t number = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.name) && v(self.number); }
};

// GET_USER, GET_GROUP, GET_SITES, GET_SITE, GET_SITE_FILTERS, ADD_WORKLIST.
class name_flag_packet_t : public wire_packet_t<name_flag_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring name;
  uint8_t want_reply = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.name) && v(self.want_reply); }
};

// SET_PASSWORD: login and new password.
class two_names_packet_t : public wire_packet_t<two_names_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring name;
  qstring text;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.name) && v(self.text); }
};

// CHECK_PERMISSIONS, USE_SITE.
class two_names_flag_packet_t : public wire_packet_t<two_names_flag_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring name;
  qstring text;
  uint8_t want_reply = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.name) && v(self.text) && v(self.want_reply); }
};

// CHECK_PERMISSIONS_RESULT and the per-file results of the file operations.
class message_list_packet_t : public wire_packet_t<message_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<server_message_t> messages;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.messages); }
};

// EDIT_USER: the whole user record; create 1 adds a user, 0 changes the one named by its login.
class user_edit_packet_t : public wire_packet_t<user_edit_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  user_info_t user;
  bool create = false;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.user) && v(self.create); }
};

// EDIT_GROUP: group name, the second name of the change and its yes/no selector.
class group_edit_packet_t : public wire_packet_t<group_edit_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring name;
  qstring text;
  bool flag = false;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.name) && v(self.text) && v(self.flag); }
};

// SET_PERMISSIONS and GET_PERMISSIONS_RESULT: the complete rule list.
class permission_list_packet_t : public wire_packet_t<permission_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<permission_rule_t> rules;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.rules); }
};

// GET_SESSIONS_RESULT.
class session_list_packet_t : public wire_packet_t<session_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<session_info_t> sessions;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.sessions); }
};

// GET_USERS_RESULT.
class user_list_packet_t : public wire_packet_t<user_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<user_info_t> users;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.users); }
};

// GET_USER_RESULT, AUTHENTICATE_RESULT.
class user_packet_t : public wire_packet_t<user_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  user_info_t user;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.user); }
};

// GET_GROUPS_RESULT.
class group_list_packet_t : public wire_packet_t<group_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<group_info_t> groups;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.groups); }
};

// GET_GROUP_RESULT.
class group_packet_t : public wire_packet_t<group_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  group_info_t group;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.group); }
};
