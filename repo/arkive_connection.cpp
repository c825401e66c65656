// The repository connection: exchanges, the receive loop and the answers to the server's own requests.
#include "repo/arkive_connection.h"

#include "core/error_state.h"
#include "core/ui_callback.h"
#include "repo/arkive_errors.h"
#include "repo/connection_factory.h"
#include "repo/packet_type_table.h"

#include <cstring>
#include <new>

bool network_failure_handler_t::begin_reconnect(arkive_credentials_t *, qstring *, const char *)
{
  if ( reconnecting )
    return false;
  reconnecting = true;
  return true;
}

void network_failure_handler_t::end_reconnect(bool, const char *)
{
  reconnecting = false;
}

arkive_connection_t::~arkive_connection_t()
{
  retire();
}

void arkive_connection_t::retire()
{
  std::lock_guard held(liveness_->lock);
  liveness_->alive = false;
}

void arkive_connection_t::set_messenger(arkive_messenger_t *messenger)
{
  messenger_.reset(messenger);
}

bool is_server_file_request(uint8_t type)
{
  switch ( type )
  {
    case RPC_NOTIFY:
    case DEL_FILE:
    case OPEN_FILE:
    case CLOSE_FILE:
    case READ_FILE:
    case WRITE_FILE:
    case CALC_CHANGE_STATUS:
    case FLUSH_PENDING_MD5S:
    case UPDATE_PROGRESS:
      return true;
    default:
      return false;
  }
}

//--------------------------------------------------------------------------
rpc_arkive_connection_t::rpc_arkive_connection_t(socket_stream_ptr opened_stream)
  : rpc_session_t(std::move(opened_stream))
{
  register_packet_types(packet_type_table);
}

rpc_arkive_connection_t::~rpc_arkive_connection_t()
{
  retire();
  close_open_files();
}

std::unique_ptr<rpc_packet_t> rpc_arkive_connection_t::exchange(const rpc_packet_t &request)
{
  std::lock_guard guard(lock_);
  outstanding_type_ = request.type;
  std::unique_ptr<rpc_packet_t> reply;
  try
  {
    byte_buffer_t frame = make_frame_buffer(request.type);
    request.serialize(frame, protocol_version());
    if ( raw_frame_ptr raw = send_and_receive(request.type, frame) )
      reply = decode_packet(raw.get());
    // Files of a batch whose end the server never announced are made durable before the caller hears of
    // them; a failure there fails the request, whatever the server answered.
    if ( const int code = sync_written_files(); code != ARKIVE_OK )
    {
      auto fail = std::make_unique<code_text_packet_t>(RPC_FAIL);
      fail->code = code;
      if ( const char *text = get_error_arg_text(0) )
        fail->text = text;
      reply = std::move(fail);
    }
  }
  catch ( const std::bad_alloc & )
  {
    // Wherever memory ran out (a frame, a packet, a block served to the server), the stream is out of step.
    refuse_stream("%s rpc: no local memory", "no local memory");
    reply.reset();
  }
  outstanding_type_ = RPC_OK;
  return reply;
}

raw_frame_ptr rpc_arkive_connection_t::send_and_receive(uint8_t expected_type, byte_buffer_t &frame)
{
  bool reconnected = false;
  for ( ;; )
  {
    raw_frame_ptr raw = rpc_session_t::send_and_receive(expected_type, frame);
    if ( raw == nullptr )
    {
      // Only a request the server never took may go again, and only once: a server that keeps dropping the
      // stream must not hold the caller in a loop.
      if ( frame.empty() || failure_handler_ == nullptr || reconnected || !reconnect() )
        return nullptr;
      reconnected = true;
      continue;
    }
    // Before LOGIN has succeeded on this stream the server sends no requests of its own.
    if ( !large_packets() || !is_server_file_request(raw->type) )
      return raw;
    std::unique_ptr<rpc_packet_t> request = decode_packet(raw.get());
    // The exchange decodes the frame again and ends without a reply.
    if ( request == nullptr )
      return raw;
    raw.reset();
    serve_file_request(std::move(request));
    // The server has taken the request: it must never be sent a second time.
    frame.clear();
  }
}

bool rpc_arkive_connection_t::reconnect()
{
  arkive_credentials_t credentials;
  qstring client;
  if ( !failure_handler_->begin_reconnect(&credentials, &client, last_error().c_str()) )
    return false;
  // The new stream goes where the first one went: the same environment, port and proxy.
  apply_connection_environment(&credentials);
  qstring error;
  bool ok = reopen_stream(&error, (credentials.flags & credentials_no_tls) == 0, connect_params_of(credentials));
  if ( ok )
  {
    const uint8_t interrupted = outstanding_type_;
    qstring password = credentials.password;
    if ( password.empty() && !credentials.read_password(&password, nullptr) )
    {
      error = "No connection password found";
      ok = false;
    }
    if ( ok )
      ok = login(&error, credentials.user.c_str(), password.c_str(), client.c_str());
    if ( ok && !credentials.site.empty() )
    {
      const int code = use_site(nullptr, credentials.site.c_str(), client.c_str());
      if ( code != ARKIVE_OK )
      {
        error = arkive_error_text(code);
        ok = false;
      }
    }
    // The nested exchanges left RPC_OK behind; the interrupted request is still under way.
    outstanding_type_ = interrupted;
  }
  failure_handler_->end_reconnect(ok, error.c_str());
  return ok;
}

void rpc_arkive_connection_t::notify_message(const char *text)
{
  if ( arkive_messenger_t *sink = messenger() )
  {
    const auto print = [sink](const char *format, ...) {
      va_list va;
      va_start(va, format);
      sink->print(format, va);
      va_end(va);
    };
    // A notice is one line of the log: a text without its own line break gets one, or the next message would
    // run on after it.
    const size_t length = std::strlen(text);
    print(length > 0 && text[length - 1] == '\n' ? "%s" : "%s\n", text);
  }
}
