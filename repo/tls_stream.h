// TLS stream: TLS 1.2 over an inner TCP stream, accepting only servers whose chain leads to the built-in root.
#pragma once

#include "repo/socket_stream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class tls_client_session_t;

// The internal host name: a server certificate whose common name is this one is refused.
inline constexpr char tls_internal_host_name[] = "arkive.internal";

// A socket_stream_t carrying TLS 1.2 records over an owned inner TCP stream opened with the same parameters, so a
// proxy tunnel lies under TLS. open refuses a server unless its chain leads to the built-in root (and nowhere
// else), every certificate is time-valid, and the leaf's common name is non-empty and not the internal host
// name; host names are not checked. The handshake waits no longer than a reply may (60 s, or
// ARKIVE_RECV_TIMEOUT_SECS seconds; -1 there removes the limit). Progress frames live in the inner stream.
// Error key "irs" means the inner stream failed: error_code and error_text are then the inner stream's.
class schannel_stream_t : public socket_stream_t
{
public:
  schannel_stream_t();
  // Closes the stream at once (close notify first when established).
  ~schannel_stream_t() override;

  bool open(const connect_params_t &params) override;
  // The server side is refused ("server_unimplemented").
  bool listen(const connect_params_t &params) override;
  bool accept(socket_stream_t *listener) override;
  bool server_hook() override;
  int wait_readable(int timeout_ms) override;
  int64_t read(void *buffer, uint64_t size) override;
  int64_t write(const void *data, uint64_t size) override;
  // Sends close notify when established, then destroys the inner stream with how.
  void close(int how) override;
  int error_code() override;
  const char *error_text() override;
  bool peer_address(qstring *out, bool with_name) override;
  bool local_address(qstring *out, bool with_name) override;
  bool local_port(int *out) override;
  bool set_progress_callback(int interval_ms, progress_callback_t callback, void *user_data) override;
  void push_progress(uint8_t kind, uint64_t total) override;
  void pop_progress() override;
  void add_progress(uint64_t count) override;
  bool progress_tick() override;

private:
  enum class decrypted_t
  {
    failed,     // error record set
    incomplete, // more ciphertext is needed
    empty,      // a record without application data
    plaintext,
  };

  bool tls_handshake(int timeout_ms);
  bool tls_verify_server_certificate();
  decrypted_t tls_decrypt_record();
  void tls_keep_extra_bytes(size_t used);
  bool tls_fill_receive_buffer(int timeout_ms);
  void tls_send_close_notify();
  bool send_output(const char *short_key);
  bool connected();

  socket_stream_t *inner_ = nullptr;             // owned; null before open and after close
  std::unique_ptr<tls_client_session_t> session_; // null before open and after close
  uint64_t missing_ = 0;                          // ciphertext bytes the last record still lacks
  std::vector<uint8_t> receive_;                  // its first received_ bytes: ciphertext not yet decrypted
  size_t received_ = 0;
  bool drained_ = false; // the last receive emptied the socket: the next one waits before it reads
  std::vector<uint8_t> plaintext_;                // one record's plaintext; bytes before plain_begin_ are handed out
  size_t plain_begin_ = 0;
  size_t plain_end_ = 0;
  bool established_ = false; // the handshake completed and the session is live
};

// How long the TLS handshake may wait, in milliseconds; negative for no limit.
int tls_handshake_timeout_ms();
