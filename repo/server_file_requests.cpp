// The server's own requests on the local work directory: open, read, write, close and delete files, change
// status, checksum flushes, progress and notices, each answered with exactly one reply.
#include "repo/arkive_connection.h"

#include "core/error_state.h"
#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "repo/abstract_fs.h"
#include "repo/arkive_errors.h"
#include "repo/arkive_progressor.h"
#include "repo/fs_file.h"
#include "repo/md5_cache.h"
#include "repo/packets_login.h"
#include "repo/packets_users.h"
#include "repo/packets_worklists.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace {

// Open flags a server may choose. FS_OPEN_LOCK_HELD claims a lock that only a local caller can hold.
constexpr uint32_t server_open_flags = FS_OPEN_READ | FS_OPEN_WRITE | FS_OPEN_DIGEST | FS_OPEN_NO_PROGRESS;
// A READ_FILE is read in steps of this size, so that the block grows with the bytes the file really gives and
// never with the count a server asks for.
constexpr size_t read_step = 64 * 1024;

// The sinks of a site's file system pass everything on to the sinks of the file system the login was made
// with: those belong to the application, which must see progress and problems whichever site is in use.
class forwarding_progressor_t final : public arkive_progressor_t
{
public:
  explicit forwarding_progressor_t(abstract_fs_t *target) : target_(target) {}
  int32_t set_title(const char *text) override
  {
    arkive_progressor_t *sink = target_->progressor();
    return sink != nullptr ? sink->set_title(text) : 0;
  }
  int32_t progress(uint8_t kind, uint64_t amount) override
  {
    arkive_progressor_t *sink = target_->progressor();
    return sink != nullptr ? sink->progress(kind, amount) : 0;
  }

private:
  abstract_fs_t *target_; // not owned; file systems live until the process ends
};

class forwarding_messenger_t final : public arkive_messenger_t
{
public:
  explicit forwarding_messenger_t(abstract_fs_t *target) : target_(target) {}
  void print(const char *format, va_list va) override
  {
    if ( arkive_messenger_t *sink = target_->messenger() )
      sink->print(format, va);
  }

private:
  abstract_fs_t *target_; // not owned
};

}  // namespace

void rpc_arkive_connection_t::set_file_system(abstract_fs_t *fs)
{
  login_file_system_ = fs;
  file_system_ = fs;
}

void rpc_arkive_connection_t::use_site_file_system(const char *root)
{
  if ( root == nullptr || root[0] == '\0' )
    return;
  abstract_fs_t *fs = get_file_system(root, nullptr, FS_CREATE_WITH_CACHE);
  // Another user of the table may have made this root's file system first, without a cache or sinks; the
  // server's digest opens need the cache.
  if ( fs->checksum_cache() == nullptr )
    attach_md5_cache(fs);
  if ( login_file_system_ != nullptr && login_file_system_ != fs && fs->progressor() == nullptr )
    fs->set_reporters(std::make_unique<forwarding_messenger_t>(login_file_system_),
                      std::make_unique<forwarding_progressor_t>(login_file_system_));
  file_system_ = fs;
}

int rpc_arkive_connection_t::file_request_allowed(const char *)
{
  switch ( outstanding_type_ )
  {
    case COMMIT_WORKLIST:
    case DEL_FILES:
    case COPY_FILES:
    case MOVE_FILES:
    case REVERT_FILES:
    case SYNC_FILES:
    case SYNC_ONE_FILE:
      return 0;
    default:
      fatal_printf("Wrong file request %d from the arkive server", int(outstanding_type_));
  }
}

int rpc_arkive_connection_t::require_site_root(const char *path)
{
  if ( file_system_ != nullptr && !file_system_->site_root().empty() )
    return ARKIVE_OK;
  // No site is in use: no local path lies inside a work directory.
  error_arg_text(0, path);
  return ARKIVE_OUTSIDE_ROOT;
}

fs_file_t *rpc_arkive_connection_t::file_of_handle(int32_t handle, int *code)
{
  const uint32_t index = uint32_t(handle);
  if ( index < file_handle_count && file_handles_[index] != nullptr )
    return file_handles_[index].get();
  error_arg_text(0, "bad abstract file handle");
  *code = ARKIVE_MESSAGE;
  return nullptr;
}

int rpc_arkive_connection_t::serve_delete(const rpc_packet_t &request)
{
  const auto &body = static_cast<const name_number_packet_t &>(request);
  if ( int code = file_request_allowed(body.name.c_str()) )
    return code;
  if ( int code = require_site_root(body.name.c_str()) )
    return code;
  return file_system_->remove(body.name.c_str(), uint32_t(body.number));
}

int rpc_arkive_connection_t::serve_open(const rpc_packet_t &request, std::unique_ptr<rpc_packet_t> *reply)
{
  const auto &body = static_cast<const name_number_packet_t &>(request);
  if ( int code = file_request_allowed(body.name.c_str()) )
    return code;
  uint32_t flags = uint32_t(body.number) & server_open_flags;
  // What the server writes becomes durable at the end of its batch, all at once.
  if ( (flags & FS_OPEN_WRITE) != 0 )
    flags |= FS_OPEN_SYNC_LATER;
  fs_file_t *file = nullptr;
  abstract_fs_t *opened_by = file_system_;
  int code = require_site_root(body.name.c_str());
  if ( code == ARKIVE_OK )
    code = file_system_->open(&file, body.name.c_str(), flags);
  // The target that the client itself named for the SYNC_ONE_FILE under way may lie outside the work directory
  // (a revision copy): that one path is opened where it is, and as no file of the work directory, no digest
  // of it is kept.
  if ( code == ARKIVE_OUTSIDE_ROOT && outstanding_type_ == SYNC_ONE_FILE && !sync_target_.empty()
       && sync_target_ == body.name.c_str() )
  {
    error_arg_text(0, nullptr);
    opened_by = get_file_system("", nullptr, 0);
    code = opened_by->open(&file, body.name.c_str(), flags & ~FS_OPEN_DIGEST);
  }
  if ( code != ARKIVE_OK )
    return code;
  fs_file_ptr opened(file);
  if ( (flags & FS_OPEN_WRITE) != 0
       && std::find(written_file_systems_.begin(), written_file_systems_.end(), opened_by)
            == written_file_systems_.end() )
    written_file_systems_.push_back(opened_by);
  const auto slot = std::find(file_handles_.begin(), file_handles_.end(), nullptr);
  if ( slot == file_handles_.end() )
  {
    // Nothing of this open may stay behind: a new file goes away again (opened discards it), an existing one
    // keeps its content.
    error_arg_text(0, system_error_text(EMFILE));
    return ARKIVE_MESSAGE;
  }
  *slot = std::move(opened);
  auto result = std::make_unique<number_packet_t>(OPEN_FILE_RESULT);
  result->number = int32_t(slot - file_handles_.begin());
  *reply = std::move(result);
  return ARKIVE_OK;
}

int rpc_arkive_connection_t::serve_close(const rpc_packet_t &request)
{
  const auto &body = static_cast<const close_file_packet_t &>(request);
  int code = ARKIVE_OK;
  if ( file_of_handle(body.handle, &code) == nullptr )
    return code;
  return file_handles_[size_t(body.handle)].release()->close(body.keep);
}

int rpc_arkive_connection_t::serve_read(const rpc_packet_t &request, std::unique_ptr<rpc_packet_t> *reply)
{
  const auto &body = static_cast<const read_file_packet_t &>(request);
  int code = ARKIVE_OK;
  fs_file_t *file = file_of_handle(body.handle, &code);
  if ( file == nullptr )
    return code;
  auto result = std::make_unique<blob_packet_t>(READ_FILE_RESULT);
  byte_buffer_t &block = result->data;
  const size_t wanted = body.size;
  while ( block.size() < wanted )
  {
    const size_t at = block.size();
    const size_t step = std::min(read_step, wanted - at);
    block.resize(at + step);
    uint64_t got = step;
    code = file->read(&got, block.data() + at);
    block.truncate(code == ARKIVE_OK ? at + size_t(got) : at);
    if ( code != ARKIVE_OK )
      return code;
    if ( got < step ) // the end of the file
      break;
  }
  *reply = std::move(result);
  return ARKIVE_OK;
}

int rpc_arkive_connection_t::serve_write(const rpc_packet_t &request)
{
  const auto &body = static_cast<const write_file_packet_t &>(request);
  int code = ARKIVE_OK;
  fs_file_t *file = file_of_handle(body.handle, &code);
  if ( file == nullptr )
    return code;
  uint64_t n = body.data.size();
  return file->write(&n, body.data.data());
}

int rpc_arkive_connection_t::serve_change_status(const rpc_packet_t &request, std::unique_ptr<rpc_packet_t> *reply)
{
  const auto &body = static_cast<const change_status_query_packet_t &>(request);
  // The scan reads the files it is given: only inside a work directory.
  if ( int code = require_site_root(body.entries.empty() ? "" : body.entries[0].path.c_str()) )
    return code;
  auto result = std::make_unique<blob_packet_t>(CALC_CHANGE_STATUS_RESULT);
  if ( int code = file_system_->scan_changes(&result->data, body.entries, uint32_t(body.mode)) )
    return code;
  *reply = std::move(result);
  return ARKIVE_OK;
}

void rpc_arkive_connection_t::serve_notice(const rpc_packet_t &request)
{
  const auto &notice = static_cast<const code_text_packet_t &>(request);
  if ( notice.text.empty() )
    return;
  if ( notice.code == notice_message )
    notify_message(notice.text.c_str());
  else if ( notice.code == notice_fatal )
    fatal_printf("%s", notice.text.c_str());
  else
    warning_printf("%s", notice.text.c_str());
}

void rpc_arkive_connection_t::serve_file_request(std::unique_ptr<rpc_packet_t> request)
{
  // A detail left by earlier work must not reach the server as the text of this request's failure.
  error_arg_text(0, nullptr);
  std::unique_ptr<rpc_packet_t> reply; // null: RPC_OK
  int code = ARKIVE_OK;
  switch ( request->type )
  {
    case RPC_NOTIFY:
      serve_notice(*request);
      break;
    case DEL_FILE:
      code = serve_delete(*request);
      break;
    case OPEN_FILE:
      code = serve_open(*request, &reply);
      break;
    case CLOSE_FILE:
      code = serve_close(*request);
      break;
    case READ_FILE:
      code = serve_read(*request, &reply);
      break;
    case WRITE_FILE:
      code = serve_write(*request);
      break;
    case CALC_CHANGE_STATUS:
      code = serve_change_status(*request, &reply);
      break;
    case FLUSH_PENDING_MD5S:
      if ( file_system_ != nullptr )
        file_system_->flush_cache();
      break;
    case UPDATE_PROGRESS:
    {
      const auto &body = static_cast<const progress_packet_t &>(*request);
      // The end of a batch: what it wrote is on the disk before the server hears the batch is done.
      if ( body.kind == 0 )
        code = sync_written_files();
      if ( file_system_ != nullptr )
        file_system_->report_progress(body.kind, body.amount);
      break;
    }
    default:
      interr(2371);
  }
  request.reset();

  byte_buffer_t answer;
  if ( code != ARKIVE_OK )
  {
    code_text_packet_t fail(RPC_FAIL);
    fail.code = code;
    if ( const char *text = get_error_arg_text(0) )
      fail.text = text;
    answer = make_frame_buffer(RPC_FAIL);
    fail.serialize(answer, protocol_version());
  }
  else if ( reply != nullptr )
  {
    answer = make_frame_buffer(reply->type);
    reply->serialize(answer, protocol_version());
  }
  else
  {
    answer = make_frame_buffer(RPC_OK);
  }
  // A failed send shows in the loop's next receive.
  send_frame(answer);
}

int rpc_arkive_connection_t::sync_written_files()
{
  int first = ARKIVE_OK;
  for ( abstract_fs_t *fs : written_file_systems_ )
    if ( const int code = fs->sync_written_files(); code != ARKIVE_OK && first == ARKIVE_OK )
      first = code;
  written_file_systems_.clear();
  return first;
}

void rpc_arkive_connection_t::close_open_files()
{
  // A server that is gone can no longer commit what it wrote: its new files and temporaries go away.
  for ( fs_file_ptr &file : file_handles_ )
    file.reset();
}
