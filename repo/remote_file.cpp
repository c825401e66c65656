// Reading and writing a server file by handle, one request and one reply at a time.
#include "repo/remote_file.h"

#include "core/byte_cursor.h"
#include "core/error_state.h"
#include "core/internal_error.h"
#include "core/qstring.h"
#include "core/ui_callback.h"
#include "repo/arkive_connection.h"
#include "repo/arkive_errors.h"
#include "repo/packets_login.h"
#include "repo/rpc_engine.h"

#include <algorithm>
#include <cstring>
#include <limits>

remote_file_t::remote_file_t(rpc_arkive_connection_t *connection, int32_t handle)
  : connection_(connection), handle_(handle)
{
}

remote_file_t::~remote_file_t()
{
  if ( !closed_ )
    interr(2600);
}

template<class Reply>
int remote_file_t::exchange(const rpc_packet_t &request, uint8_t expected_type, bool content_needed,
                            std::unique_ptr<rpc_packet_t> *reply, Reply **accepted)
{
  byte_buffer_t frame = make_frame_buffer(request.type);
  request.serialize(frame, connection_->protocol_version());
  raw_frame_ptr raw;
  if ( connection_->send_frame(frame) == 0 )
    raw = connection_->receive_frame(request.type);
  if ( raw != nullptr )
    *reply = connection_->decode_packet(raw.get());
  return connection_->classify_reply(reply->get(), expected_type, content_needed, accepted);
}

int remote_file_t::request_ok(const rpc_packet_t &request)
{
  std::unique_ptr<rpc_packet_t> reply;
  empty_packet_t *accepted = nullptr;
  return exchange(request, RPC_OK, false, &reply, &accepted);
}

int remote_file_t::read(uint64_t *n, void *buf)
{
  const uint32_t wanted = uint32_t(std::min<uint64_t>(*n, std::numeric_limits<uint32_t>::max()));
  read_file_packet_t query(READ_FILE);
  query.handle = handle_;
  query.size = wanted;
  std::unique_ptr<rpc_packet_t> reply;
  blob_packet_t *block = nullptr;
  const int code = exchange(query, READ_FILE_RESULT, true, &reply, &block);
  if ( code != ARKIVE_OK )
  {
    *n = 0;
    return code;
  }
  const byte_buffer_t &data = block->data;
  if ( data.size() > wanted )
    log_printf("warning: READ_FILE: client sent more bytes (%zu) than was requested (%zu)\n", data.size(),
               size_t(wanted));
  // The caller's buffer holds what it asked for and no more.
  const size_t stored = std::min<size_t>(data.size(), wanted);
  if ( stored > 0 )
    std::memcpy(buf, data.begin(), stored);
  *n = stored;
  return ARKIVE_OK;
}

int remote_file_t::write(uint64_t *n, const void *bytes)
{
  write_file_packet_t query(WRITE_FILE);
  query.handle = handle_;
  bytevec_append(&query.data, bytes, size_t(*n));
  const int code = request_ok(query);
  if ( code != ARKIVE_OK )
    *n = 0;
  return code;
}

int64_t remote_file_t::seek(uint64_t)
{
  interr(2362);
}

uint64_t remote_file_t::tell()
{
  interr(2363);
}

int remote_file_t::close(bool commit)
{
  close_file_packet_t query(CLOSE_FILE);
  query.handle = handle_;
  query.keep = commit;
  const int code = request_ok(query);
  closed_ = true;
  delete this;
  return code;
}
