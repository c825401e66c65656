// TLS 1.2 client session over caller-moved bytes: handshake, server chain check against one trust anchor,
// record encryption and decryption, close notify. The session never touches a socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

struct ssl_ctx_st;
struct ssl_st;
struct x509_st;
struct x509_store_st;

// Outcome of starting a session.
enum class tls_start_t
{
  ok,
  bad_anchor, // the trust anchor is not a DER certificate
  no_tls12,   // the library cannot be limited to TLS 1.2
  failed,     // the library could not make the session; error_code() tells why
};

// Outcome of one handshake or decryption step.
enum class tls_status_t
{
  ok,              // handshake complete, or one record decrypted (possibly to no plaintext)
  continue_needed, // the handshake goes on: send output(), then feed the next record
  incomplete,      // the input holds no whole record yet; missing() bytes more are needed at least
  closed,          // the peer ended the session with close notify
  renegotiate,     // the peer asked for a new handshake, which is not supported
  failed,          // protocol or library failure; error_code() tells which
};

// Outcome of the server chain check.
enum class tls_chain_check_t
{
  trusted,        // the chain leads to the anchor, every signature verifies, every certificate is time-valid
  not_time_valid, // a certificate of the chain is expired or not yet valid
  untrusted,      // the chain does not lead to the anchor, a signature or CA constraint fails, or the
                  // certificate is not one for servers
  no_certificate, // the server sent no certificate
  failed,         // the check could not run; error_code() tells why
};

// One client session. Records go in whole: each handshake or decryption step takes at most one record from
// the front of its input and says how many bytes it used, so bytes behind that record stay with the caller.
// Bytes for the peer are left in output() by begin_handshake, continue_handshake, encrypt_record and close_notify.
class tls_client_session_t
{
public:
  // Largest plaintext of one record, in both directions.
  static constexpr size_t max_record_plaintext = 16384;

  tls_client_session_t();
  ~tls_client_session_t();
  tls_client_session_t(const tls_client_session_t &) = delete;
  tls_client_session_t &operator=(const tls_client_session_t &) = delete;

  // Makes the session: TLS 1.2 only, strong ciphers, no server-name check, and `anchor_der` as the only trust
  // anchor of the later chain check (no system store is consulted). Call once.
  tls_start_t start(const uint8_t *anchor_der, size_t length);

  // First handshake step: leaves the client hello in output(); continue_needed on success.
  tls_status_t begin_handshake();

  // Feeds the record at the front of `in` to the handshake; `used` is that record's size (0 when incomplete).
  // ok: the handshake is complete (send output() if it holds bytes).
  tls_status_t continue_handshake(const uint8_t *in, size_t length, size_t &used);

  // Decrypts the record at the front of `in` into `plaintext`, which has room for max_record_plaintext bytes;
  // `produced` is the plaintext count (0 for a record without application data). Only after the handshake.
  tls_status_t decrypt_record(const uint8_t *in, size_t length, size_t &used, uint8_t *plaintext,
                              size_t &produced);

  // Encrypts up to max_record_plaintext bytes as one record into output(); false with error_code() on failure.
  bool encrypt_record(const uint8_t *data, size_t length);

  // Puts the close-notify alert into output(); false when the session cannot send one.
  bool close_notify();

  // Bytes to send to the peer, produced by the last step; valid until the next call on the session.
  std::span<const uint8_t> output() const;

  // Checks the chain the server presented against the anchor at the current time, for the purpose of a TLS
  // server (a leaf whose extended key usage leaves servers out is untrusted). Host names are not checked.
  tls_chain_check_t check_server_chain();

  // The first common name of the server certificate's subject, up to any NUL; "" when it has none.
  std::string server_common_name() const;

  // How many more bytes the last incomplete step needs at least.
  size_t missing() const { return missing_; }

  // The library's error code of the last failure (a positive 32-bit value), 0 when none was given.
  int error_code() const { return error_code_; }

  // The library's text for an error code of this layer.
  static std::string error_text(int code);

  struct io_t; // the bytes between the library and the caller, defined with the session's BIO

private:
  // Whether in starts with a whole record (ok, with its length), not yet (incomplete) or never (failed).
  tls_status_t frame_record(const uint8_t *in, size_t length, size_t &record_length);
  tls_status_t run_handshake();
  void reset_output();
  tls_status_t fail();
  void fail_with(int reason);

  ssl_ctx_st *context_ = nullptr;
  ssl_st *ssl_ = nullptr;
  std::unique_ptr<io_t> io_; // the record being fed (empty between steps) and the bytes to send
  x509_store_st *anchors_ = nullptr; // holds only the trust anchor
  bool handshake_done_ = false;
  size_t missing_ = 0;
  int error_code_ = 0;
};
