// Packet bodies for sites and their filters, commits, server file listings and server information.
#pragma once

#include "repo/rpc_packet.h"
#include "repo/wire_records.h"

// A want byte is a bit set of the reply parts asked for, in reply order: 1 the messages, 2 the second list.

// EDIT_SITE: the whole site record; create 1 adds a site, 0 changes the one named by its name.
class site_edit_packet_t : public wire_packet_t<site_edit_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  site_info_t site;
  bool create = false;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.site) && v(self.create); }
};

// DEL_SITE: site name; force 0 first, 1 after the user confirmed deleting a non-empty site.
class name_bool_packet_t : public wire_packet_t<name_bool_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qstring name;
  bool force = false;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.name) && v(self.force); }
};

// GET_SITES_RESULT.
class site_list_packet_t : public wire_packet_t<site_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<site_info_t> sites;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.sites); }
};

// GET_SITE_RESULT, USE_SITE_RESULT.
class site_packet_t : public wire_packet_t<site_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  site_info_t site;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.site); }
};

// SET_SITE_FILTERS: the path-filter table, one line per element, and the site whose table it replaces.
class site_filters_packet_t : public wire_packet_t<site_filters_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<qstring> lines;
  qstring name;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.lines) && v(self.name); }
};

// GET_SITE_FILTERS_RESULT.
class string_list_packet_t : public wire_packet_t<string_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<qstring> lines;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.lines); }
};

// GET_COMMITS: paths (none for all commits), the selection, -1 or a revision of the single path, want bits.
class commit_query_packet_t : public wire_packet_t<commit_query_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<qstring> paths;
  commit_filter_t filter;
  int32_t revision = 0;
  uint8_t want = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.paths) && v(self.filter) && v(self.revision) && v(self.want);
  }
};

// GET_COMMITS_RESULT: the per-path messages, complete, then the commits found.
class commit_list_packet_t : public wire_packet_t<commit_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<server_message_t> messages;
  qvector<commit_info_t> commits;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.messages) && v(self.commits); }
};

// GET_COMMIT_FILES: commit number and want_reply.
class number_flag_packet_t : public wire_packet_t<number_flag_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  int32_t number = 0;
  uint8_t want_reply = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.number) && v(self.want_reply); }
};

// GET_COMMIT_FILES_RESULT.
class file_list_packet_t : public wire_packet_t<file_list_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<arkive_file_info_t> files;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.files); }
};

// GET_ARKIVE_FILES and SYNC_FILES: path patterns, a revision selector, option bits, want bits.
class path_query_packet_t : public wire_packet_t<path_query_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<qstring> patterns;
  int32_t revision = 0;
  int32_t options = 0;
  uint8_t want = 0;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    return v(self.patterns) && v(self.revision) && v(self.options) && v(self.want);
  }
};

// GET_ARKIVE_FILES_RESULT: the per-pattern messages, complete, then every matching file.
class file_query_result_packet_t : public wire_packet_t<file_query_result_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  qvector<server_message_t> messages;
  qvector<arkive_file_info_t> files;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.messages) && v(self.files); }
};

// GET_ARKIVE_INFO_RESULT.
class server_info_packet_t : public wire_packet_t<server_info_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  arkive_server_info_t info;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.info); }
};

// SET_VERIFYING_SITE.
class bool_packet_t : public wire_packet_t<bool_packet_t>
{
public:
  using wire_packet_t::wire_packet_t;
  bool flag = false;

  template<class Self, class V>
  static bool wire_fields(Self &self, V &v) { return v(self.flag); }
};
