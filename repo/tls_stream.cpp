// TLS stream: handshake, certificate check, records and close notify over the inner TCP stream.
#include "repo/tls_stream.h"

#include "core/base64.h"
#include "core/environment.h"
#include "core/error_state.h"
#include "core/internal_error.h"
#include "core/debug_flags.h"
#include "core/ui_callback.h"
#include "platform/tls_session.h"
#include "repo/root_ca_certificate.h"

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace
{
// Ciphertext asked of the inner stream per read unless the record in progress needs more: two full records,
// so a bulk transfer takes few system calls.
constexpr size_t receive_chunk = 32 * 1024;

// The text of a code of the TLS layer; codes it does not know are the system's.
std::string code_text(int32_t code)
{
  if ( code != 0 )
    return tls_client_session_t::error_text(code);
  return win_error_text(uint32_t(code));
}
} // namespace

int tls_handshake_timeout_ms()
{
  int32_t timeout_ms = login_reply_timeout_ms;
  if ( !read_recv_timeout_setting(&timeout_ms) )
    return login_reply_timeout_ms;
  return timeout_ms;
}

schannel_stream_t::schannel_stream_t() : plaintext_(tls_client_session_t::max_record_plaintext) {}

schannel_stream_t::~schannel_stream_t()
{
  close(-1);
}

bool schannel_stream_t::open(const connect_params_t &params)
{
  byte_buffer_t root;
  if ( !decode_base64(&root, root_ca_certificate_base64, int64_t(std::strlen(root_ca_certificate_base64)))
    || root.empty() )
  {
    error_key_ = "load_root_ca_certificate";
    return false;
  }
  session_ = std::make_unique<tls_client_session_t>();
  switch ( session_->start(root.begin(), root.size()) )
  {
    case tls_start_t::ok:
      break;
    case tls_start_t::bad_anchor:
      error_key_ = "load_root_ca_certificate";
      return false;
    case tls_start_t::no_tls12:
      error_key_ = "unsupported_tls12";
      return false;
    case tls_start_t::failed:
      set_error("AcquireCredentialsHandle", session_->error_code());
      return false;
  }

  inner_ = make_socket_stream(false);
  if ( !inner_->open(params) )
  {
    error_key_ = "irs";
    return false;
  }
  if ( !tls_handshake(tls_handshake_timeout_ms()) )
    return false;
  if ( !tls_verify_server_certificate() )
  {
    close(-1);
    return false;
  }
  if ( (debug_flags & debug_trace_connect) != 0 )
    log_printf("TLS: certificate verified\n");
  return true;
}

bool schannel_stream_t::listen(const connect_params_t &)
{
  error_key_ = "server_unimplemented";
  return false;
}

bool schannel_stream_t::accept(socket_stream_t *)
{
  error_key_ = "server_unimplemented";
  return false;
}

bool schannel_stream_t::server_hook()
{
  error_key_ = "server_unimplemented";
  return false;
}

bool schannel_stream_t::send_output(const char *short_key)
{
  const std::span<const uint8_t> out = session_->output();
  if ( out.empty() )
    return true;
  const int64_t r = inner_->write(out.data(), out.size());
  if ( r <= 0 )
  {
    error_key_ = "irs";
    return false;
  }
  if ( uint64_t(r) < out.size() )
  {
    // Half a record on the wire leaves the peer waiting for the rest.
    error_key_ = short_key;
    return false;
  }
  return true;
}

bool schannel_stream_t::tls_handshake(int timeout_ms)
{
  const packed_time_t deadline = timeout_ms >= 0 ? packed_time_add_ms(current_packed_time(), uint32_t(timeout_ms)) : 0;
  if ( session_->begin_handshake() != tls_status_t::continue_needed )
  {
    set_error("InitializeSecurityContext[1]", session_->error_code());
    return false;
  }
  if ( !send_output("short_send") )
    return false;
  // Records already received are worked off before the inner stream is asked for more.
  for ( ;; )
  {
    size_t used = 0;
    const tls_status_t status = session_->continue_handshake(receive_.data(), received_, used);
    if ( status == tls_status_t::incomplete )
    {
      if ( !tls_fill_receive_buffer(deadline != 0 ? remaining_ms(deadline) : -1) )
        return false;
      continue;
    }
    tls_keep_extra_bytes(used);
    switch ( status )
    {
      case tls_status_t::ok:
        if ( !send_output("short_send") )
          return false;
        established_ = true;
        return true;
      case tls_status_t::continue_needed:
        if ( !send_output("short_send") )
          return false;
        break;
      default:
        set_error("InitializeSecurityContext[2]", session_->error_code());
        return false;
    }
  }
}

bool schannel_stream_t::tls_verify_server_certificate()
{
  switch ( session_->check_server_chain() )
  {
    case tls_chain_check_t::no_certificate:
      error_key_ = "QueryContextAttributes(SECPKG_ATTR_REMOTE_CERT_CONTEXT)";
      return false;
    case tls_chain_check_t::failed:
      set_error("CertGetCertificateChain[1]", session_->error_code());
      return false;
    case tls_chain_check_t::not_time_valid:
      error_key_ = "expired_remote_certificate";
      return false;
    case tls_chain_check_t::untrusted:
      error_key_ = "invalid_remote_certificate";
      return false;
    case tls_chain_check_t::trusted:
      break;
  }
  const std::string name = session_->server_common_name();
  if ( name.empty() || strcasecmp(name.c_str(), tls_internal_host_name) == 0 )
  {
    error_key_ = "invalid_remote_certificate";
    return false;
  }
  return true;
}

void schannel_stream_t::tls_keep_extra_bytes(size_t used)
{
  if ( used < received_ )
    std::memmove(receive_.data(), receive_.data() + used, received_ - used);
  received_ -= used;
}

bool schannel_stream_t::tls_fill_receive_buffer(int timeout_ms)
{
  const size_t chunk = missing_ > receive_chunk ? size_t(missing_) : receive_chunk;
  // The buffer only grows, so its bytes are cleared once rather than on every read.
  if ( receive_.size() < received_ + chunk )
    receive_.resize(received_ + chunk);
  // While data streams in, bytes that have already arrived are taken without a wait; the tick still runs, so
  // a transfer that never waits can be cancelled. Once a receive has emptied the socket (a request and its
  // answer), the next one is about to wait anyway and waits first instead of asking in vain.
  int64_t r = 0;
  if ( !drained_ )
    r = inner_->progress_tick() ? -1 : inner_->read_waiting(receive_.data() + received_, chunk);
  if ( r == 0 )
  {
    if ( inner_->wait_readable(timeout_ms) <= 0 )
    {
      error_key_ = "irs";
      return false;
    }
    r = inner_->read(receive_.data() + received_, chunk);
  }
  if ( r <= 0 )
  {
    error_key_ = "irs";
    return false;
  }
  missing_ = 0;
  drained_ = size_t(r) < chunk;
  received_ += size_t(r);
  return true;
}

schannel_stream_t::decrypted_t schannel_stream_t::tls_decrypt_record()
{
  if ( plain_begin_ != plain_end_ )
    interr(1631);
  size_t used = 0;
  size_t produced = 0;
  const tls_status_t status = session_->decrypt_record(receive_.data(), received_, used, plaintext_.data(),
                                                       produced);
  if ( status == tls_status_t::incomplete )
  {
    missing_ = session_->missing();
    return decrypted_t::incomplete;
  }
  switch ( status )
  {
    case tls_status_t::ok:
      tls_keep_extra_bytes(used);
      plain_begin_ = 0;
      plain_end_ = produced;
      return produced != 0 ? decrypted_t::plaintext : decrypted_t::empty;
    case tls_status_t::closed:
      error_key_ = "connection_closed_by_peer";
      break;
    case tls_status_t::renegotiate:
      error_key_ = "renegotiation";
      break;
    default:
      set_error("DecryptMessage", session_->error_code());
      break;
  }
  received_ = 0;
  return decrypted_t::failed;
}

bool schannel_stream_t::connected()
{
  if ( established_ )
    return true;
  // Not opened, failed, closed, or ended by the peer: there is no session to carry data.
  error_key_ = "connection_closed_by_peer";
  return false;
}

int schannel_stream_t::wait_readable(int timeout_ms)
{
  if ( plain_begin_ != plain_end_ )
    return 1;
  if ( !connected() )
    return -1;
  const packed_time_t deadline = timeout_ms >= 0 ? packed_time_add_ms(current_packed_time(), uint32_t(timeout_ms)) : 0;
  for ( ;; )
  {
    while ( received_ != 0 )
    {
      const decrypted_t d = tls_decrypt_record();
      if ( d == decrypted_t::failed )
        return -1;
      if ( d == decrypted_t::plaintext )
        return 1;
      if ( d == decrypted_t::incomplete )
        break;
    }
    if ( !tls_fill_receive_buffer(deadline != 0 ? remaining_ms(deadline) : -1) )
      return -1;
  }
}

int64_t schannel_stream_t::read(void *buffer, uint64_t size)
{
  if ( !connected() )
    return -1;
  if ( inner_->progress_tick() )
  {
    error_key_ = "irs"; // the inner stream holds the cancellation code
    return -1;
  }
  if ( plain_begin_ == plain_end_ && wait_readable(0) <= 0 )
    return -1;
  const size_t n = size_t(std::min<uint64_t>(size, plain_end_ - plain_begin_));
  std::memcpy(buffer, plaintext_.data() + plain_begin_, n);
  plain_begin_ += n;
  return int64_t(n);
}

int64_t schannel_stream_t::write(const void *data, uint64_t size)
{
  if ( size == 0 )
    return 0;
  if ( !connected() )
    return -1;
  const auto *bytes = static_cast<const uint8_t *>(data);
  for ( uint64_t done = 0; done < size; )
  {
    if ( inner_->progress_tick() )
    {
      error_key_ = "irs";
      return -1;
    }
    const size_t chunk = size_t(std::min<uint64_t>(size - done, tls_client_session_t::max_record_plaintext));
    if ( !session_->encrypt_record(bytes + done, chunk) )
    {
      set_error("EncryptMessage", session_->error_code());
      return -1;
    }
    if ( !send_output("short_send") )
      return -1;
    done += chunk;
  }
  return int64_t(size);
}

void schannel_stream_t::tls_send_close_notify()
{
  // The stream closes anyway: failures here are not reported.
  if ( session_->close_notify() )
    send_output("short_send");
}

void schannel_stream_t::close(int how)
{
  if ( established_ )
  {
    tls_send_close_notify();
    established_ = false;
  }
  session_.reset();
  destroy_socket_stream(inner_, how);
}

int schannel_stream_t::error_code()
{
  if ( std::string_view(error_key_) == "irs" )
    return inner_ != nullptr ? inner_->error_code() : error_code_;
  return error_code_;
}

const char *schannel_stream_t::error_text()
{
  static const struct
  {
    const char *key;
    const char *text;
  } fixed_texts[] = {
    {"server_unimplemented", "Server functionality not implemented for Secure Channel"},
    {"unsupported_tls12", "TLS 1.2 is not supported by the client"},
    {"expired_remote_certificate", "Certificate verification failed: certificate has expired"},
    {"load_root_ca_certificate", "Failed to load baked-in Root Certificate"},
    {"connection_closed_by_peer", "TLS: Connection closed by peer"},
    {"renegotiation", "TLS: Renegotiation requested"},
    {"short_send", "TLS: Could not send entire message at once"},
  };
  const std::string_view key = error_key_;
  error_text_.clear();
  if ( key.empty() )
    return error_text_.c_str();
  if ( key == "irs" )
  {
    if ( inner_ != nullptr )
      error_text_ = inner_->error_text();
  }
  else
  {
    const auto *fixed = std::find_if(std::begin(fixed_texts), std::end(fixed_texts),
                                     [&](const auto &entry) { return key == entry.key; });
    if ( fixed != std::end(fixed_texts) )
      error_text_ = fixed->text;
    else
      format_to_string(&error_text_, "%s: %s", error_key_, code_text(error_code_).c_str());
  }
  if ( error_text_.empty() )
    format_to_string(&error_text_, "TLS: Unknown error: %s: %d", error_key_, error_code());
  return error_text_.c_str();
}

bool schannel_stream_t::peer_address(qstring *out, bool with_name)
{
  if ( inner_ != nullptr && inner_->peer_address(out, with_name) )
    return true;
  error_key_ = "irs";
  return false;
}

bool schannel_stream_t::local_address(qstring *out, bool with_name)
{
  if ( inner_ != nullptr && inner_->local_address(out, with_name) )
    return true;
  error_key_ = "irs";
  return false;
}

bool schannel_stream_t::local_port(int *out)
{
  if ( inner_ != nullptr && inner_->local_port(out) )
    return true;
  error_key_ = "irs";
  return false;
}

bool schannel_stream_t::set_progress_callback(int interval_ms, progress_callback_t callback, void *user_data)
{
  return inner_ != nullptr && inner_->set_progress_callback(interval_ms, callback, user_data);
}

void schannel_stream_t::push_progress(uint8_t kind, uint64_t total)
{
  if ( inner_ != nullptr )
    inner_->push_progress(kind, total);
}

void schannel_stream_t::pop_progress()
{
  if ( inner_ != nullptr )
    inner_->pop_progress();
}

void schannel_stream_t::add_progress(uint64_t count)
{
  if ( inner_ != nullptr )
    inner_->add_progress(count);
}

bool schannel_stream_t::progress_tick()
{
  return inner_ != nullptr && inner_->progress_tick();
}
