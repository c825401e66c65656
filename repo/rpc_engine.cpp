// Framing of typed packets over a socket stream: reply time-outs, the frame engine and the stream session.
#include "repo/rpc_engine.h"

#include "core/internal_error.h"
#include "core/ui_callback.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string_view>

reply_timeout_t reply_timeout_table[1] = {{LOGIN, login_reply_timeout_ms}};

void apply_recv_timeout_setting(std::span<reply_timeout_t> table)
{
  int32_t timeout_ms = 0;
  if ( !read_recv_timeout_setting(&timeout_ms) )
    return;
  for ( reply_timeout_t &entry : table )
    entry.timeout_ms.store(timeout_ms, std::memory_order_relaxed);
}

byte_buffer_t make_frame_buffer(uint8_t type)
{
  byte_buffer_t frame;
  frame.reserve(64);
  frame.resize(frame_header_size, 0);
  frame[4] = type;
  return frame;
}

//--------------------------------------------------------------------------
rpc_engine_t::rpc_engine_t(std::span<reply_timeout_t> timeouts) : timeouts_(timeouts) {}

void rpc_engine_t::peer_message(int, const char *, va_list)
{
  interr(1621);
}

void rpc_engine_t::register_packet_types(std::span<const packet_type_row_t> rows)
{
  for ( size_t i = 0; i < rows.size(); ++i )
  {
    if ( rows[i].name == nullptr )
      interr(1619);
    for ( size_t j = 0; j < i; ++j )
      if ( uint8_t(rows[j].type) == uint8_t(rows[i].type) )
        interr(1620);
  }
  for ( const packet_type_row_t &row : rows )
    packet_types_.push_back(row);
}

int32_t rpc_engine_t::reply_timeout(uint8_t type) const
{
  for ( const reply_timeout_t &entry : timeouts_ )
    if ( entry.type == type )
      return entry.timeout_ms.load(std::memory_order_relaxed);
  return default_reply_timeout_ms;
}

void rpc_engine_t::record_stream_failure(socket_stream_t *s)
{
  on_stream_failure();
  broken_ = true;
  if ( s->error_code() != stream_cancelled_code )
  {
    const char *text = s->error_text();
    last_error_ = text != nullptr ? text : "";
  }
}

int rpc_engine_t::send_frame(byte_buffer_t &frame)
{
  socket_stream_t *s = stream();
  if ( s == nullptr || broken_ )
    return -1;
  const uint64_t body = frame.size() - frame_header_size;
  frame[0] = uint8_t(body >> 24);
  frame[1] = uint8_t(body >> 16);
  frame[2] = uint8_t(body >> 8);
  frame[3] = uint8_t(body);

  progress_scope_t progress(s, 0, frame.size());
  size_t done = 0;
  while ( done < frame.size() )
  {
    const int64_t written = s->write(frame.data() + done, frame.size() - done);
    if ( written <= 0 )
    {
      record_stream_failure(s);
      return -1;
    }
    progress.add(uint64_t(written));
    done += size_t(written);
  }
  return 0;
}

int rpc_engine_t::read_exact(void *destination, size_t n, int timeout_ms)
{
  progress_scope_t progress(stream(), 1, n);
  return read_into(static_cast<uint8_t *>(destination), n, timeout_ms, progress);
}

int rpc_engine_t::read_into(uint8_t *out, size_t n, int timeout_ms, progress_scope_t &progress)
{
  socket_stream_t *s = stream();
  size_t done = 0;
  while ( done < n )
  {
    if ( s->wait_readable(timeout_ms) > 0 )
    {
      const int64_t got = s->read(out + done, n - done);
      if ( got > 0 )
      {
        progress.add(uint64_t(got));
        done += size_t(got);
        continue;
      }
    }
    // A progress callback that asked to skip only wants the wait repeated.
    if ( s->error_code() == stream_skip_code )
      continue;
    // Whatever the stream answered, part of a frame may be gone: the stream is out of step for good.
    record_stream_failure(s);
    return -1;
  }
  return 0;
}

raw_frame_ptr rpc_engine_t::receive_frame(uint8_t expected_type)
{
  if ( stream() == nullptr || broken_ )
    return nullptr;
  const int32_t timeout = reply_timeout(expected_type);
  uint8_t header[frame_header_size];
  if ( read_exact(header, sizeof(header), timeout) != 0 )
    return nullptr;

  const uint32_t length = uint32_t(header[0]) << 24 | uint32_t(header[1]) << 16 | uint32_t(header[2]) << 8
                        | uint32_t(header[3]);
  // The body of a refused frame is still on the stream, so nothing read later would be a frame boundary.
  if ( (length & 0x80000000u) != 0 || (!large_packets_ && length > small_frame_limit) )
  {
    refuse_stream("%s rpc: bad packet length", "bad packet length");
    return nullptr;
  }
  return receive_body(header[4], length, timeout);
}

raw_frame_ptr rpc_engine_t::receive_body(uint8_t type, uint32_t length, int timeout_ms)
{
  // The block grows with the bytes that arrive: a length the peer announces costs nothing until its bytes come.
  size_t room = std::min<size_t>(length, first_body_block);
  raw_frame_ptr frame(static_cast<raw_frame_t *>(std::malloc(sizeof(raw_frame_t) + room)));
  if ( frame == nullptr )
  {
    refuse_stream("%s rpc: no local memory", "no local memory");
    return nullptr;
  }
  frame->length = length;
  frame->type = type;
  if ( length == 0 )
    return frame;
  progress_scope_t progress(stream(), 1, length);
  size_t done = 0;
  while ( done < length )
  {
    if ( done == room )
    {
      room = std::min<size_t>(length, room * 2);
      void *grown = std::realloc(frame.get(), sizeof(raw_frame_t) + room);
      if ( grown == nullptr )
      {
        refuse_stream("%s rpc: no local memory", "no local memory");
        return nullptr;
      }
      (void)frame.release();
      frame.reset(static_cast<raw_frame_t *>(grown));
    }
    if ( read_into(frame->body() + done, room - done, timeout_ms, progress) != 0 )
      return nullptr;
    done = room;
  }
  return frame;
}

void rpc_engine_t::refuse_stream(const char *format, const char *reason)
{
  char stamp[25];
  if ( !format_timestamp(stamp, sizeof(stamp), current_packed_time(), 0) )
    stamp[0] = '\0';
  warning_printf(format, stamp);
  broken_ = true;
  last_error_ = reason;
}

std::unique_ptr<rpc_packet_t> rpc_engine_t::decode_packet(const raw_frame_t *frame)
{
  if ( frame == nullptr )
  {
    log_printf("Expected packet\n");
    return nullptr;
  }
  for ( const packet_type_row_t &row : packet_types_ )
  {
    if ( uint8_t(row.type) != frame->type )
      continue;
    // body() is never null, so an empty body is read as a body (a factory given null builds an empty packet).
    std::unique_ptr<rpc_packet_t> packet;
    try
    {
      packet = row.factory(frame->body(), frame->length, protocol_version_);
    }
    catch ( const std::bad_alloc & )
    {
      refuse_stream("%s rpc: no local memory", "no local memory");
      return nullptr;
    }
    if ( packet == nullptr )
    {
      log_printf("Couldn't deserialize packet\n");
      return nullptr;
    }
    // Several types share one packet class.
    packet->type = frame->type;
    return packet;
  }
  log_printf("Unknown packet type: %d\n", int(frame->type));
  return nullptr;
}

//--------------------------------------------------------------------------
rpc_session_t::rpc_session_t(socket_stream_ptr opened_stream, std::span<reply_timeout_t> timeouts)
  : rpc_engine_t(timeouts), owned_stream_(std::move(opened_stream)), stream_(owned_stream_.get())
{
}

rpc_session_t::rpc_session_t(socket_stream_t *borrowed_stream, std::span<reply_timeout_t> timeouts)
  : rpc_engine_t(timeouts), stream_(borrowed_stream)
{
}

raw_frame_ptr rpc_session_t::send_and_receive(uint8_t expected_type, byte_buffer_t &frame)
{
  if ( !frame.empty() && send_frame(frame) != 0 )
    return nullptr;
  return receive_frame(expected_type);
}

std::unique_ptr<rpc_packet_t> rpc_session_t::call(const rpc_packet_t &request)
{
  byte_buffer_t frame = make_frame_buffer(request.type);
  request.serialize(frame, protocol_version_);
  raw_frame_ptr raw = send_and_receive(request.type, frame);
  return decode_packet(raw.get());
}

bool rpc_session_t::reopen_stream(qstring *error, bool use_tls, const char *host, uint16_t port)
{
  connect_params_t params;
  params.server.host = host != nullptr ? host : "";
  params.server.port = port;
  return reopen_stream(error, use_tls, params);
}

bool rpc_session_t::reopen_stream(qstring *error, bool use_tls, const connect_params_t &params)
{
  socket_stream_ptr fresh(make_socket_stream(use_tls));
  if ( !fresh->open(params) )
  {
    const char *text = fresh->error_text();
    *error = text != nullptr ? text : "";
    return false;
  }
  large_packets_ = false;
  broken_ = false;
  // The old stream is shut down for sending before it goes.
  if ( socket_stream_t *old = owned_stream_.release() )
    destroy_socket_stream(old, 1);
  owned_stream_ = std::move(fresh);
  stream_ = owned_stream_.get();
  return true;
}
