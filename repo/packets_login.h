// Packet bodies for login, the server's own file requests with their answers, and handle-based server files.
#pragma once

#include "repo/rpc_packet.h"
#include "repo/wire_records.h"

// LOGIN: login name, clear-text password (the stream carries the protection), protocol version 5,
// the local computer name, and extra (false).
class login_packet_t : public wire_packet_t<login_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring user;
  qstring password;
  uint32_t version = 0;
  qstring client;
  bool extra = false;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.user) && v(self.password) && v(self.version) && v(self.client) && v(self.extra);
  }
};

// OPEN_SUBMITTED_FILE: a server path, the caller's selector of what to open, want_reply.
class name_number_flag_packet_t : public wire_packet_t<name_number_flag_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring name;
  int32_t number = 0;
  uint8_t want_reply = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.name) && v(self.number) && v(self.want_reply); }
};

// CLOSE_FILE: a handle and the commit flag (1 keeps what was written, 0 discards it).
class close_file_packet_t : public wire_packet_t<close_file_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  int32_t handle = 0;
  bool keep = false;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.handle) && v(self.keep); }
};

// READ_FILE: a handle and the largest number of bytes wanted from the current position.
class read_file_packet_t : public wire_packet_t<read_file_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  int32_t handle = 0;
  uint32_t size = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.handle) && v(self.size); }
};

// READ_FILE_RESULT (the bytes read) and CALC_CHANGE_STATUS_RESULT (one bit per entry of the request).
// A body without even the count byte reads as an empty blob.
class blob_packet_t : public wire_packet_t<blob_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  byte_buffer_t data;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(wire_blob(self.data)); }
};

// WRITE_FILE: a handle and the bytes to write at the current position.
class write_file_packet_t : public wire_packet_t<write_file_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  int32_t handle = 0;
  byte_buffer_t data;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.handle) && v(wire_blob(self.data)); }
};

// CALC_CHANGE_STATUS: every file whose local state the server wants, and the change-scan mode.
class change_status_query_packet_t : public wire_packet_t<change_status_query_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<change_status_item_t> entries;
  int32_t mode = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.entries) && v(self.mode); }
};

// UPDATE_PROGRESS: the progress kind and amount (all ones travels as 0).
class progress_packet_t : public wire_packet_t<progress_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  uint8_t kind = 0;
  uint64_t amount = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.kind) && v(wire_plus_one(self.amount)); }
};
