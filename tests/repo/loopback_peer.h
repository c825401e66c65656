// Loopback peers for stream tests: a one-connection TCP server and a TLS server on 127.0.0.1, each serving on its
// own thread with a handler the test supplies. Every socket has a receive time-out, so no peer waits for ever.
#pragma once

#include "repo/socket_stream.h"
#include "tests/support/test_certificates.h"

#include <openssl/ssl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using peer_bytes_t = std::vector<uint8_t>;

// Sends all bytes on a socket; false when the peer is gone.
bool send_all(int fd, const void *data, size_t n);
bool send_all(int fd, const std::string &text);
// Receives until n bytes came or the connection ended; returns what came.
std::string receive_exactly(int fd, size_t n);
// Receives until the peer closes the connection (or the receive time-out passes).
std::string receive_until_closed(int fd);
// Sleeps the calling thread.
void pause_ms(int ms);
// Settings of a stream to 127.0.0.1 at port, without a proxy.
connect_params_t loopback_params(uint16_t port);
// The text a stream reports for a system error code recorded under key: "key: text".
std::string stream_error_text(const char *key, int code);

// Listens on 127.0.0.1 (an ephemeral port) and serves each accepted connection with the handler, one after the
// other, until `connections` were served. The destructor waits for the serving thread; a client that connected
// before it is still served, a client that never comes is not waited for.
class loopback_server_t
{
public:
  explicit loopback_server_t(std::function<void(int fd)> handler, int connections = 1);
  ~loopback_server_t();
  loopback_server_t(const loopback_server_t &) = delete;
  loopback_server_t &operator=(const loopback_server_t &) = delete;

  uint16_t port() const { return port_; }
  // How many connections were accepted so far.
  int accepted() const { return accepted_; }

private:
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<int> accepted_{0};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

// One server-side TLS connection. After the handshake, records are sealed into bytes first and then sent, so a
// test can send them whole, split, joined or altered.
class tls_peer_t
{
public:
  tls_peer_t(SSL_CTX *context, int fd);
  ~tls_peer_t();
  tls_peer_t(const tls_peer_t &) = delete;
  tls_peer_t &operator=(const tls_peer_t &) = delete;

  // Runs the server handshake; false when the client gave up.
  bool handshake();
  // Encrypts the text as records without sending them.
  peer_bytes_t seal(const std::string &text);
  // Sends raw bytes on the socket.
  bool send_raw(const peer_bytes_t &bytes);
  // seal + send_raw.
  bool write(const std::string &text);
  // Reads and decrypts until n bytes came or the connection ended.
  std::string read(size_t n);
  // The close-notify alert, sealed.
  peer_bytes_t close_notify();
  // Reads until the client ends the session; true when it ended with close notify.
  bool read_close_notify();
  // A request for a new handshake, sealed.
  peer_bytes_t renegotiation_request();
  int fd() const { return fd_; }

private:
  SSL *ssl_ = nullptr;
  BIO *received_ = nullptr; // owned by ssl_: ciphertext read from the socket after the handshake
  BIO *sealed_ = nullptr;   // owned by ssl_: ciphertext waiting to be sent
  int fd_;
};

// A TLS 1.2 server on 127.0.0.1 presenting `identity` (and the extra chain certificates) to its clients.
class tls_test_server_t
{
public:
  tls_test_server_t(const test_identity_t &identity, std::vector<X509 *> chain,
                    std::function<void(tls_peer_t &)> handler, int connections = 1);
  ~tls_test_server_t();
  tls_test_server_t(const tls_test_server_t &) = delete;
  tls_test_server_t &operator=(const tls_test_server_t &) = delete;

  uint16_t port() const { return server_.port(); }
  // The cipher suite the server allows.
  static const char *cipher() { return "ECDHE-ECDSA-AES128-GCM-SHA256"; }

private:
  struct context_free_t
  {
    void operator()(SSL_CTX *context) const { SSL_CTX_free(context); }
  };
  static SSL_CTX *make_context(const test_identity_t &identity, const std::vector<X509 *> &chain);

  std::unique_ptr<SSL_CTX, context_free_t> context_; // outlives the serving thread
  loopback_server_t server_;
};
