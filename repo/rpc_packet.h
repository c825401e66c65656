// Packet objects of the repository protocol: the base class, the type numbers and the two protocol-level bodies.
#pragma once

#include "repo/wire_fields.h"

#include <cstddef>
#include <cstdint>

// Type numbers of every packet of the protocol.
enum rpc_packet_type_t : uint8_t
{
  RPC_OK = 10,
  RPC_FAIL = 11,
  RPC_NOTIFY = 12,
  EDIT_USER = 13,
  DEL_USER = 14,
  ADD_GROUP = 15,
  EDIT_GROUP = 16,
  DEL_GROUP = 17,
  SET_PERMISSIONS = 18,
  GET_PERMISSIONS = 19,
  GET_PERMISSIONS_RESULT = 20,
  CHECK_PERMISSIONS = 21,
  CHECK_PERMISSIONS_RESULT = 22,
  GET_SESSIONS = 23,
  GET_SESSIONS_RESULT = 24,
  SET_PASSWORD = 27,
  GET_USERS = 28,
  GET_USERS_RESULT = 29,
  GET_USER = 30,
  GET_USER_RESULT = 31,
  GET_GROUPS = 32,
  GET_GROUPS_RESULT = 33,
  GET_GROUP = 34,
  GET_GROUP_RESULT = 35,
  EDIT_SITE = 36,
  DEL_SITE = 37,
  GET_SITES = 38,
  GET_SITES_RESULT = 39,
  GET_SITE = 40,
  GET_SITE_RESULT = 41,
  USE_SITE = 42,
  USE_SITE_RESULT = 43,
  SET_SITE_FILTERS = 44,
  GET_SITE_FILTERS = 45,
  GET_SITE_FILTERS_RESULT = 46,
  GET_COMMITS = 47,
  GET_COMMITS_RESULT = 48,
  EDIT_COMMIT = 49,
  GET_COMMIT_FILES = 50,
  GET_COMMIT_FILES_RESULT = 51,
  GET_ARKIVE_FILES = 52,
  GET_ARKIVE_FILES_RESULT = 53,
  OPEN_SUBMITTED_FILE = 54,
  OPEN_SUBMITTED_FILE_RESULT = 55,
  ADD_WORKLIST = 56,
  ADD_WORKLIST_RESULT = 57,
  DEL_WORKLIST = 58,
  EDIT_WORKLIST = 59,
  COMMIT_WORKLIST = 60,
  COMMIT_WORKLIST_RESULT = 61,
  MIGRATE_FILES = 62,
  MIGRATE_FILES_RESULT = 63,
  GET_WORKLISTS = 64,
  GET_WORKLISTS_RESULT = 65,
  GET_WORKLIST_FILES = 66,
  GET_WORKLIST_FILES_RESULT = 67,
  ADD_FILES = 68,
  ADD_FILES_RESULT = 69,
  EDIT_FILES = 70,
  EDIT_FILES_RESULT = 71,
  DEL_FILES = 72,
  DEL_FILES_RESULT = 73,
  COPY_FILES = 74,
  COPY_FILES_RESULT = 75,
  MOVE_FILES = 76,
  MOVE_FILES_RESULT = 77,
  REVERT_FILES = 78,
  REVERT_FILES_RESULT = 79,
  RESOLVE_FILE = 80,
  SYNC_FILES = 81,
  SYNC_FILES_RESULT = 82,
  SYNC_ONE_FILE = 83,
  GET_ARKIVE_INFO = 84,
  GET_ARKIVE_INFO_RESULT = 85,
  SCAN_FILES = 86,
  SCAN_FILES_RESULT = 87,
  PURGE_FILES = 88,
  PURGE_FILES_RESULT = 89,
  SET_VERIFYING_SITE = 97,
  LOGIN = 98,
  LOGOFF = 99,
  DEL_FILE = 100,
  OPEN_FILE = 101,
  OPEN_FILE_RESULT = 102,
  CLOSE_FILE = 103,
  READ_FILE = 104,
  READ_FILE_RESULT = 105,
  WRITE_FILE = 106,
  CALC_CHANGE_STATUS = 107,
  CALC_CHANGE_STATUS_RESULT = 108,
  FLUSH_PENDING_MD5S = 109,
  UPDATE_PROGRESS = 110,
  AUTHENTICATE = 112,
  AUTHENTICATE_RESULT = 113,
};

// The protocol version that LOGIN and AUTHENTICATE carry and that every codec receives.
constexpr uint32_t ARKIVE_PROTOCOL_VERSION = 5;

// One packet: its type number and a body. A class describes a body shape; several types share a class
// and `type` tells them apart. Owned by whoever created it.
class rpc_packet_t
{
public:
  explicit rpc_packet_t(uint8_t packet_type) : type(packet_type) {}
  virtual ~rpc_packet_t() = default;

  // Appends the body in wire order to the end of the buffer (never the type byte: the engine frames it).
  virtual void serialize(byte_buffer_t &out, uint32_t version) const = 0;
  // Reads a body from the cursor, filling the fields and advancing cursor and remaining count past what
  // it read; false when the bytes do not hold a complete body (the fields read so far keep their values).
  // Bytes after a complete body are left unread.
  virtual bool deserialize(const uint8_t *&cursor, size_t &remaining, uint32_t version) = 0;

  uint8_t type;
};

// A packet class whose body is the field list of Derived::wire_fields.
template<class Derived>
class wire_packet_t : public rpc_packet_t
{
public:
  using rpc_packet_t::rpc_packet_t;

  void serialize(byte_buffer_t &out, uint32_t version) const override
  {
    wire_writer_t w(out, version);
    Derived::wire_fields(static_cast<const Derived &>(*this), w);
  }
  bool deserialize(const uint8_t *&cursor, size_t &remaining, uint32_t version) override
  {
    wire_reader_t r(cursor, remaining, version);
    return Derived::wire_fields(static_cast<Derived &>(*this), r);
  }
};

// RPC_OK, LOGOFF, FLUSH_PENDING_MD5S: no body. Reading accepts any bytes and consumes none.
class empty_packet_t : public rpc_packet_t
{
public:
  using rpc_packet_t::rpc_packet_t;
  void serialize(byte_buffer_t &, uint32_t) const override {}
  bool deserialize(const uint8_t *&, size_t &, uint32_t) override { return true; }
};

// The kinds of an RPC_NOTIFY, its code: a message for the user and a failure that ends the program; any other
// kind is a warning.
enum notice_kind_t : int32_t
{
  notice_message = 1,
  notice_fatal = 3,
};

// RPC_FAIL and RPC_NOTIFY (a code and its text), EDIT_COMMIT and EDIT_WORKLIST (a number and a description).
class code_text_packet_t : public wire_packet_t<code_text_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  int32_t code = 0;
  qstring text;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.code) && v(self.text);
  }
};
