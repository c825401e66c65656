// The test server's work on a client's work directory (bringing files in and out, reading what a commit sends)
// and the server files a client reads by handle.
#include "tests/server/server_repository.h"

#include "tests/server/client_work_directory.h"

#include "repo/packets_login.h"
#include "repo/packets_worklists.h"

#include <algorithm>
#include <string_view>

std::string server_repository_t::local_path(const site_t &site, const std::string &path)
{
  const std::string_view relative = std::string_view(path).starts_with("//") ? std::string_view(path).substr(2)
                                                                              : std::string_view(path);
  return std::string(site.info.root_dir.view()) + "/" + std::string(relative);
}

int server_repository_t::bring_to_client(server_session_t &session, const site_t &site, const std::string &path,
                                         const std::string *content, std::string *error)
{
  client_work_directory_t *client = session.work_directory;
  if ( client == nullptr )
    return 0;
  const std::string local = local_path(site, path);
  int code = content != nullptr ? client->write_file(local, *content) : client->delete_file(local);
  if ( content == nullptr && code == 3 )
    code = 0;
  *error = client->last_text();
  return code;
}

bool server_repository_t::edited_locally(server_session_t &session, const site_t &site, const std::string &path,
                                         const std::string &content)
{
  client_work_directory_t *client = session.work_directory;
  std::string local;
  return client != nullptr && client->read_file(local_path(site, path), &local) == 0 && local != content;
}

void server_repository_t::end_of_file_work(server_session_t &session)
{
  if ( session.work_directory != nullptr )
    session.work_directory->progress(0, 0);
}

int server_repository_t::contents_for_commit(server_session_t &session, const site_t &site,
                                             std::vector<std::pair<std::string, revision_t>> *changes,
                                             std::string *error)
{
  client_work_directory_t *client = session.work_directory;
  if ( client == nullptr )
    return 0;
  // The edited files whose local copy still matches the revision they were opened at keep that content.
  std::vector<change_status_item_t> items;
  std::vector<size_t> edited;
  for ( size_t i = 0; i < changes->size(); ++i )
    if ( (*changes)[i].second.action == action_edit )
    {
      items.push_back(expected_status(local_path(site, (*changes)[i].first), (*changes)[i].second.content));
      edited.push_back(i);
    }
  std::vector<bool> read(changes->size(), false);
  for ( size_t i = 0; i < changes->size(); ++i )
    read[i] = (*changes)[i].second.action == action_add;
  if ( !items.empty() )
  {
    std::vector<bool> changed;
    if ( int code = client->change_status(items, 0, &changed) )
    {
      *error = client->last_text();
      return code;
    }
    for ( size_t j = 0; j < edited.size(); ++j )
      read[edited[j]] = changed[j];
  }
  const uint64_t count = uint64_t(std::count(read.begin(), read.end(), true));
  client->progress(5, count);
  for ( size_t i = 0; i < changes->size(); ++i )
  {
    if ( !read[i] )
      continue;
    const std::string local = local_path(site, (*changes)[i].first);
    if ( int code = client->read_file(local, &(*changes)[i].second.content) )
    {
      *error = client->last_text();
      client->progress(0, 0);
      return code;
    }
    client->progress(1, 1);
  }
  client->progress(0, 0);
  if ( int code = client->flush_checksums() )
  {
    *error = client->last_text();
    return code;
  }
  return client->link_failed() ? client_work_directory_t::link_lost : 0;
}

std::unique_ptr<rpc_packet_t> server_repository_t::open_submitted_file(server_session_t &session,
                                                                     const rpc_packet_t &request)
{
  const auto &body = dynamic_cast<const name_number_flag_packet_t &>(request);
  const std::string path(body.name.view());
  server_session_t::open_file_t file;
  if ( !content_locked(path, body.number, &file.content) )
  {
    auto fail = std::make_unique<code_text_packet_t>(RPC_FAIL);
    fail->code = 3;
    fail->text = body.name;
    return fail;
  }
  auto reply = std::make_unique<number_packet_t>(OPEN_SUBMITTED_FILE_RESULT);
  reply->number = session.next_handle++;
  session.open_files[reply->number] = std::move(file);
  return reply;
}

std::unique_ptr<rpc_packet_t> server_repository_t::submitted_file_request(server_session_t &session,
                                                                        const rpc_packet_t &request)
{
  const auto refuse = [](int32_t code, const char *text) {
    auto fail = std::make_unique<code_text_packet_t>(RPC_FAIL);
    fail->code = code;
    fail->text = text;
    return fail;
  };
  const int32_t handle = request.type == READ_FILE    ? dynamic_cast<const read_file_packet_t &>(request).handle
                         : request.type == WRITE_FILE ? dynamic_cast<const write_file_packet_t &>(request).handle
                                                      : dynamic_cast<const close_file_packet_t &>(request).handle;
  const auto found = session.open_files.find(handle);
  if ( found == session.open_files.end() )
    return refuse(33, "bad server file handle");
  server_session_t::open_file_t &file = found->second;
  switch ( request.type )
  {
    case READ_FILE:
    {
      const size_t n = std::min<size_t>(dynamic_cast<const read_file_packet_t &>(request).size,
                                        file.content.size() - file.position);
      auto reply = std::make_unique<blob_packet_t>(READ_FILE_RESULT);
      reply->data.resize(n);
      std::copy_n(file.content.data() + file.position, n, reply->data.data());
      file.position += n;
      return reply;
    }
    case WRITE_FILE:
      return refuse(33, "a committed revision cannot be written");
    default:
      session.open_files.erase(found);
      return std::make_unique<empty_packet_t>(RPC_OK);
  }
}
