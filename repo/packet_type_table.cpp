// The packet type table of the repository protocol.
#include "repo/packet_type_table.h"

#include "repo/packets_login.h"
#include "repo/packets_sites.h"
#include "repo/packets_users.h"
#include "repo/packets_worklists.h"

namespace {

template<class P, uint8_t Type>
std::unique_ptr<rpc_packet_t> make_packet(const uint8_t *body, size_t size, uint32_t version)
{
  auto packet = std::make_unique<P>(Type);
  if ( body == nullptr )
    return packet;
  const uint8_t *cursor = body;
  size_t remaining = size;
  if ( !packet->deserialize(cursor, remaining, version) )
    return nullptr;
  return packet;
}

#define ROW(name, body_class) { name, #name, &make_packet<body_class, name> }

constexpr packet_type_row_t rows[] = {
  ROW(RPC_OK, empty_packet_t),
  ROW(RPC_FAIL, code_text_packet_t),
  ROW(RPC_NOTIFY, code_text_packet_t),
  ROW(EDIT_USER, user_edit_packet_t),
  ROW(DEL_USER, name_number_packet_t),
  ROW(ADD_GROUP, name_packet_t),
  ROW(EDIT_GROUP, group_edit_packet_t),
  ROW(DEL_GROUP, name_packet_t),
  ROW(SET_PERMISSIONS, permission_list_packet_t),
  ROW(GET_PERMISSIONS, flag_packet_t),
  ROW(GET_PERMISSIONS_RESULT, permission_list_packet_t),
  ROW(CHECK_PERMISSIONS, two_names_flag_packet_t),
  ROW(CHECK_PERMISSIONS_RESULT, message_list_packet_t),
  ROW(GET_SESSIONS, flag_packet_t),
  ROW(GET_SESSIONS_RESULT, session_list_packet_t),
  ROW(SET_PASSWORD, two_names_packet_t),
  ROW(GET_USERS, flag_packet_t),
  ROW(GET_USERS_RESULT, user_list_packet_t),
  ROW(GET_USER, name_flag_packet_t),
  ROW(GET_USER_RESULT, user_packet_t),
  ROW(GET_GROUPS, flag_packet_t),
  ROW(GET_GROUPS_RESULT, group_list_packet_t),
  ROW(GET_GROUP, name_flag_packet_t),
  ROW(GET_GROUP_RESULT, group_packet_t),
  ROW(EDIT_SITE, site_edit_packet_t),
  ROW(DEL_SITE, name_bool_packet_t),
  ROW(GET_SITES, name_flag_packet_t),
  ROW(GET_SITES_RESULT, site_list_packet_t),
  ROW(GET_SITE, name_flag_packet_t),
  ROW(GET_SITE_RESULT, site_packet_t),
  ROW(USE_SITE, two_names_flag_packet_t),
  ROW(USE_SITE_RESULT, site_packet_t),
  ROW(SET_SITE_FILTERS, site_filters_packet_t),
  ROW(GET_SITE_FILTERS, name_flag_packet_t),
  ROW(GET_SITE_FILTERS_RESULT, string_list_packet_t),
  ROW(GET_COMMITS, commit_query_packet_t),
  ROW(GET_COMMITS_RESULT, commit_list_packet_t),
  ROW(EDIT_COMMIT, code_text_packet_t),
  ROW(GET_COMMIT_FILES, number_flag_packet_t),
  ROW(GET_COMMIT_FILES_RESULT, file_list_packet_t),
  ROW(GET_ARKIVE_FILES, path_query_packet_t),
  ROW(GET_ARKIVE_FILES_RESULT, file_query_result_packet_t),
  ROW(OPEN_SUBMITTED_FILE, name_number_flag_packet_t),
  ROW(OPEN_SUBMITTED_FILE_RESULT, number_packet_t),
  ROW(ADD_WORKLIST, name_flag_packet_t),
  ROW(ADD_WORKLIST_RESULT, number_packet_t),
  ROW(DEL_WORKLIST, number_packet_t),
  ROW(EDIT_WORKLIST, code_text_packet_t),
  ROW(COMMIT_WORKLIST, commit_worklist_packet_t),
  ROW(COMMIT_WORKLIST_RESULT, commit_result_packet_t),
  ROW(MIGRATE_FILES, path_list_packet_t),
  ROW(MIGRATE_FILES_RESULT, message_list_packet_t),
  ROW(GET_WORKLISTS, two_names_number_packet_t),
  ROW(GET_WORKLISTS_RESULT, worklist_list_packet_t),
  ROW(GET_WORKLIST_FILES, two_names_number_packet_t),
  ROW(GET_WORKLIST_FILES_RESULT, worklist_file_list_packet_t),
  ROW(ADD_FILES, path_list_packet_t),
  ROW(ADD_FILES_RESULT, code_list_packet_t),
  ROW(EDIT_FILES, path_list_packet_t),
  ROW(EDIT_FILES_RESULT, message_list_packet_t),
  ROW(DEL_FILES, path_list_packet_t),
  ROW(DEL_FILES_RESULT, message_list_packet_t),
  ROW(COPY_FILES, copy_files_packet_t),
  ROW(COPY_FILES_RESULT, message_list_packet_t),
  ROW(MOVE_FILES, two_names_number_packet_t),
  ROW(MOVE_FILES_RESULT, message_list_packet_t),
  ROW(REVERT_FILES, path_list_packet_t),
  ROW(REVERT_FILES_RESULT, message_list_packet_t),
  ROW(RESOLVE_FILE, name_packet_t),
  ROW(SYNC_FILES, path_query_packet_t),
  ROW(SYNC_FILES_RESULT, message_list_packet_t),
  ROW(SYNC_ONE_FILE, sync_one_file_packet_t),
  ROW(GET_ARKIVE_INFO, flag_packet_t),
  ROW(GET_ARKIVE_INFO_RESULT, server_info_packet_t),
  ROW(SCAN_FILES, scan_files_packet_t),
  ROW(SCAN_FILES_RESULT, message_list_packet_t),
  ROW(PURGE_FILES, purge_files_packet_t),
  ROW(PURGE_FILES_RESULT, message_list_packet_t),
  ROW(SET_VERIFYING_SITE, bool_packet_t),
  ROW(LOGIN, login_packet_t),
  ROW(LOGOFF, empty_packet_t),
  ROW(DEL_FILE, name_number_packet_t),
  ROW(OPEN_FILE, name_number_packet_t),
  ROW(OPEN_FILE_RESULT, number_packet_t),
  ROW(CLOSE_FILE, close_file_packet_t),
  ROW(READ_FILE, read_file_packet_t),
  ROW(READ_FILE_RESULT, blob_packet_t),
  ROW(WRITE_FILE, write_file_packet_t),
  ROW(CALC_CHANGE_STATUS, change_status_query_packet_t),
  ROW(CALC_CHANGE_STATUS_RESULT, blob_packet_t),
  ROW(FLUSH_PENDING_MD5S, empty_packet_t),
  ROW(UPDATE_PROGRESS, progress_packet_t),
  ROW(AUTHENTICATE, two_names_number_packet_t),
  ROW(AUTHENTICATE_RESULT, user_packet_t),
};

#undef ROW

}  // namespace

constinit const std::span<const packet_type_row_t> packet_type_table(rows);
