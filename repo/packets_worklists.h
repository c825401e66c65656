// Packet bodies for worklists and file operations: check-outs, moves, reverts, commits, syncs, scans, purges.
#pragma once

#include "repo/rpc_packet.h"
#include "repo/wire_records.h"

// ADD_WORKLIST_RESULT, OPEN_SUBMITTED_FILE_RESULT, DEL_WORKLIST, OPEN_FILE_RESULT: one number.
class number_packet_t : public wire_packet_t<number_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  int32_t number = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.number); }
};

// MIGRATE_FILES, ADD_FILES, EDIT_FILES, DEL_FILES, REVERT_FILES: paths, a worklist or mode number, want_reply.
class path_list_packet_t : public wire_packet_t<path_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<qstring> paths;
  int32_t number = 0;
  uint8_t want_reply = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.paths) && v(self.number) && v(self.want_reply); }
};

// GET_WORKLISTS, GET_WORKLIST_FILES, MOVE_FILES, AUTHENTICATE.
class two_names_number_packet_t : public wire_packet_t<two_names_number_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring name;
  qstring text;
  int32_t number = 0;
  uint8_t want_reply = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.name) && v(self.text) && v(self.number) && v(self.want_reply);
  }
};

// COMMIT_WORKLIST: description, worklist, force 1 to commit unchanged files too, want bits.
class commit_worklist_packet_t : public wire_packet_t<commit_worklist_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring description;
  int32_t worklist = 0;
  int32_t force = 0;
  uint8_t want = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.description) && v(self.worklist) && v(self.force) && v(self.want);
  }
};

// COMMIT_WORKLIST_RESULT: the per-file messages, complete, then the new commit's number.
class commit_result_packet_t : public wire_packet_t<commit_result_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<server_message_t> messages;
  int32_t commit = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.messages) && v(self.commit); }
};

// GET_WORKLISTS_RESULT.
class worklist_list_packet_t : public wire_packet_t<worklist_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<worklist_info_t> worklists;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.worklists); }
};

// GET_WORKLIST_FILES_RESULT.
class worklist_file_list_packet_t : public wire_packet_t<worklist_file_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<worklist_file_t> files;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.files); }
};

// ADD_FILES_RESULT: one repository error code per path of the request, paired by position.
class code_list_packet_t : public wire_packet_t<code_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<int32_t> codes;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.codes); }
};

// COPY_FILES: source and destination paths, the source revision the site holds, worklist, want_reply.
class copy_files_packet_t : public wire_packet_t<copy_files_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring source;
  qstring destination;
  int32_t revision = 0;
  int32_t worklist = 0;
  uint8_t want_reply = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.source) && v(self.destination) && v(self.revision) && v(self.worklist) && v(self.want_reply);
  }
};

// SYNC_ONE_FILE: the server path, the revision to fetch and the local path to write it to.
class sync_one_file_packet_t : public wire_packet_t<sync_one_file_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring path;
  int32_t revision = 0;
  qstring target;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.path) && v(self.revision) && v(self.target); }
};

// SCAN_FILES: worklist for the check-outs, selected patterns, matching local files, ignore rules,
// option bits (1 add new, 2 delete missing, 4 edit modified, 0x20 do not ask again), want_reply.
class scan_files_packet_t : public wire_packet_t<scan_files_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  int32_t worklist = 0;
  qvector<qstring> patterns;
  qvector<qstring> local_files;
  qvector<qstring> ignore_rules;
  int32_t options = 0;
  uint8_t want_reply = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.worklist) && v(self.patterns) && v(self.local_files) && v(self.ignore_rules) && v(self.options)
        && v(self.want_reply);
  }
};

// PURGE_FILES: paths, the purge's yes/no selector, want_reply.
class purge_files_packet_t : public wire_packet_t<purge_files_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<qstring> paths;
  bool flag = false;
  uint8_t want_reply = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.paths) && v(self.flag) && v(self.want_reply); }
};
