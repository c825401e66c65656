// The test server's requests on a client's work directory and the checks of the client's answers.
#include "tests/server/client_work_directory.h"

#include "core/md5.h"
#include "repo/abstract_fs.h"
#include "repo/packets_login.h"
#include "repo/packets_users.h"
#include "repo/packets_worklists.h"

#include <algorithm>
#include <string_view>

int client_work_directory_t::ask(const rpc_packet_t &request, uint8_t expected, std::unique_ptr<rpc_packet_t> *answer)
{
  text_.clear();
  if ( failed_ )
    return link_lost;
  std::unique_ptr<rpc_packet_t> reply = ask_(request);
  if ( reply == nullptr )
  {
    failed_ = true;
    return link_lost;
  }
  if ( reply->type == RPC_FAIL )
  {
    const auto &fail = static_cast<const code_text_packet_t &>(*reply);
    text_ = std::string(fail.text.view());
    // A failure with code 0 would read as success: the client answered that it failed.
    return fail.code != 0 ? fail.code : 33;
  }
  if ( reply->type != expected )
  {
    text_ = "unexpected answer of type " + std::to_string(reply->type);
    return 33;
  }
  if ( answer != nullptr )
    *answer = std::move(reply);
  return 0;
}

int client_work_directory_t::open(const std::string &path, uint32_t flags, int32_t *handle)
{
  name_number_packet_t request(OPEN_FILE);
  request.name = qstring(std::string_view(path));
  request.number = int32_t(flags);
  std::unique_ptr<rpc_packet_t> answer;
  const int code = ask(request, OPEN_FILE_RESULT, &answer);
  if ( code == 0 )
    *handle = static_cast<const number_packet_t &>(*answer).number;
  return code;
}

int client_work_directory_t::close(int32_t handle, bool keep)
{
  close_file_packet_t request(CLOSE_FILE);
  request.handle = handle;
  request.keep = keep;
  return ask(request, RPC_OK);
}

int client_work_directory_t::write_file(const std::string &path, std::string_view content)
{
  int32_t handle = 0;
  if ( int code = open(path, FS_OPEN_WRITE | FS_OPEN_DIGEST, &handle) )
    return code;
  // One request serves every chunk: its buffer is allocated once.
  write_file_packet_t request(WRITE_FILE);
  request.handle = handle;
  for ( size_t at = 0; at < content.size(); at += chunk_size )
  {
    const size_t n = std::min(chunk_size, content.size() - at);
    request.data.clear();
    request.data.append_plain(reinterpret_cast<const uint8_t *>(content.data()) + at, n);
    if ( int code = ask(request, RPC_OK) )
    {
      const std::string text = text_;
      close(handle, false);
      text_ = text;
      return code;
    }
  }
  return close(handle, true);
}

int client_work_directory_t::read_file(const std::string &path, std::string *content)
{
  int32_t handle = 0;
  if ( int code = open(path, FS_OPEN_READ | FS_OPEN_DIGEST, &handle) )
    return code;
  content->clear();
  for ( ;; )
  {
    read_file_packet_t request(READ_FILE);
    request.handle = handle;
    request.size = uint32_t(chunk_size);
    std::unique_ptr<rpc_packet_t> answer;
    if ( int code = ask(request, READ_FILE_RESULT, &answer) )
    {
      const std::string text = text_;
      close(handle, false);
      text_ = text;
      return code;
    }
    const byte_buffer_t &data = static_cast<const blob_packet_t &>(*answer).data;
    content->append(reinterpret_cast<const char *>(data.data()), data.size());
    if ( data.size() < chunk_size )
      break;
  }
  return close(handle, true);
}

int client_work_directory_t::delete_file(const std::string &path)
{
  name_number_packet_t request(DEL_FILE);
  request.name = qstring(std::string_view(path));
  request.number = int32_t(FS_REMOVE_FORGET);
  return ask(request, RPC_OK);
}

int client_work_directory_t::change_status(const std::vector<change_status_item_t> &items, int32_t mode,
                                           std::vector<bool> *changed)
{
  change_status_query_packet_t request(CALC_CHANGE_STATUS);
  for ( const change_status_item_t &item : items )
    request.entries.push_back(item);
  request.mode = mode;
  std::unique_ptr<rpc_packet_t> answer;
  if ( int code = ask(request, CALC_CHANGE_STATUS_RESULT, &answer) )
    return code;
  const byte_buffer_t &bits = static_cast<const blob_packet_t &>(*answer).data;
  changed->assign(items.size(), false);
  for ( size_t j = 0; j < items.size(); ++j )
    (*changed)[j] = j / 8 < bits.size() && (bits[j / 8] >> (j % 8) & 1) != 0;
  return 0;
}

int client_work_directory_t::flush_checksums()
{
  return ask(empty_packet_t(FLUSH_PENDING_MD5S), RPC_OK);
}

int client_work_directory_t::progress(uint8_t kind, uint64_t amount)
{
  progress_packet_t request(UPDATE_PROGRESS);
  request.kind = kind;
  request.amount = amount;
  return ask(request, RPC_OK);
}

int client_work_directory_t::notify(int32_t kind, const std::string &text)
{
  code_text_packet_t request(RPC_NOTIFY);
  request.code = kind;
  request.text = qstring(std::string_view(text));
  return ask(request, RPC_OK);
}

change_status_item_t expected_status(const std::string &path, const std::string &content)
{
  change_status_item_t item;
  item.path = qstring(std::string_view(path));
  item.size = content.size();
  md5_context_t md5;
  md5_init(&md5);
  md5_update(&md5, content.data(), content.size());
  md5_final(item.md5, &md5);
  return item;
}
