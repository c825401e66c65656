// Loopback TCP and TLS test servers.
#include "tests/repo/loopback_peer.h"

#include "core/error_state.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace
{
// No peer waits longer than this for its client.
constexpr int peer_timeout_s = 20;

void set_receive_timeout(int fd)
{
  timeval tv{peer_timeout_s, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}
} // namespace

bool send_all(int fd, const void *data, size_t n)
{
  const auto *p = static_cast<const char *>(data);
  while ( n > 0 )
  {
    const ssize_t r = send(fd, p, n, MSG_NOSIGNAL);
    if ( r <= 0 )
      return false;
    p += r;
    n -= size_t(r);
  }
  return true;
}

bool send_all(int fd, const std::string &text)
{
  return send_all(fd, text.data(), text.size());
}

std::string receive_exactly(int fd, size_t n)
{
  std::string text;
  char chunk[4096];
  while ( text.size() < n )
  {
    const ssize_t r = recv(fd, chunk, std::min(sizeof(chunk), n - text.size()), 0);
    if ( r <= 0 )
      break;
    text.append(chunk, size_t(r));
  }
  return text;
}

std::string receive_until_closed(int fd)
{
  std::string text;
  char chunk[4096];
  ssize_t r;
  while ( (r = recv(fd, chunk, sizeof(chunk), 0)) > 0 )
    text.append(chunk, size_t(r));
  return text;
}

void pause_ms(int ms)
{
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

loopback_server_t::loopback_server_t(std::function<void(int fd)> handler, int connections)
{
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if ( listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr *>(&address), length) != 0
    || ::listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0 )
    throw std::runtime_error("loopback server: cannot listen");
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this, handler, connections] {
    for ( int i = 0; i < connections; ++i )
    {
      // A client that connected before the server was told to stop is still served.
      int waited_ms = 0;
      pollfd waiting{listener_, POLLIN, 0};
      while ( poll(&waiting, 1, 50) == 0 )
      {
        waited_ms += 50;
        if ( stopping_ || waited_ms >= peer_timeout_s * 1000 )
          return;
      }
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if ( fd < 0 )
        return;
      ++accepted_;
      set_receive_timeout(fd);
      handler(fd);
      close(fd);
    }
  });
}

loopback_server_t::~loopback_server_t()
{
  stopping_ = true;
  thread_.join();
  close(listener_);
}

tls_peer_t::tls_peer_t(SSL_CTX *context, int fd) : ssl_(SSL_new(context)), fd_(fd)
{
  SSL_set_fd(ssl_, fd);
}

tls_peer_t::~tls_peer_t()
{
  SSL_free(ssl_);
}

bool tls_peer_t::handshake()
{
  if ( SSL_accept(ssl_) != 1 )
    return false;
  // From here on the test moves the ciphertext itself.
  received_ = BIO_new(BIO_s_mem());
  sealed_ = BIO_new(BIO_s_mem());
  BIO_set_mem_eof_return(received_, -1);
  SSL_set_bio(ssl_, received_, sealed_);
  return true;
}

peer_bytes_t tls_peer_t::seal(const std::string &text)
{
  for ( size_t done = 0; done < text.size(); )
  {
    const int r = SSL_write(ssl_, text.data() + done, int(text.size() - done));
    if ( r <= 0 )
      break;
    done += size_t(r);
  }
  peer_bytes_t bytes(size_t(BIO_ctrl_pending(sealed_)));
  if ( !bytes.empty() )
    BIO_read(sealed_, bytes.data(), int(bytes.size()));
  return bytes;
}

bool tls_peer_t::send_raw(const peer_bytes_t &bytes)
{
  return send_all(fd_, bytes.data(), bytes.size());
}

bool tls_peer_t::write(const std::string &text)
{
  return send_raw(seal(text));
}

std::string tls_peer_t::read(size_t n)
{
  std::string text;
  char chunk[16384];
  while ( text.size() < n )
  {
    const int r = SSL_read(ssl_, chunk, int(std::min(sizeof(chunk), n - text.size())));
    if ( r > 0 )
    {
      text.append(chunk, size_t(r));
      continue;
    }
    if ( SSL_get_error(ssl_, r) != SSL_ERROR_WANT_READ )
      break;
    const ssize_t got = recv(fd_, chunk, sizeof(chunk), 0);
    if ( got <= 0 )
      break;
    BIO_write(received_, chunk, int(got));
  }
  return text;
}

peer_bytes_t tls_peer_t::close_notify()
{
  SSL_shutdown(ssl_);
  return seal("");
}

bool tls_peer_t::read_close_notify()
{
  char chunk[16384];
  for ( ;; )
  {
    const int r = SSL_read(ssl_, chunk, sizeof(chunk));
    if ( r > 0 )
      continue;
    const int error = SSL_get_error(ssl_, r);
    if ( error != SSL_ERROR_WANT_READ )
      return error == SSL_ERROR_ZERO_RETURN;
    const ssize_t got = recv(fd_, chunk, sizeof(chunk), 0);
    if ( got <= 0 )
      return false;
    BIO_write(received_, chunk, int(got));
  }
}

peer_bytes_t tls_peer_t::renegotiation_request()
{
  SSL_renegotiate(ssl_);
  SSL_do_handshake(ssl_);
  return seal("");
}

SSL_CTX *tls_test_server_t::make_context(const test_identity_t &identity, const std::vector<X509 *> &chain)
{
  SSL_CTX *context = SSL_CTX_new(TLS_server_method());
  if ( context == nullptr || SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1
    || SSL_CTX_set_max_proto_version(context, TLS1_2_VERSION) != 1
    || SSL_CTX_set_cipher_list(context, cipher()) != 1
    || SSL_CTX_use_certificate(context, identity.cert.get()) != 1
    || SSL_CTX_use_PrivateKey(context, identity.key.get()) != 1 )
    throw std::runtime_error("TLS test server: cannot set up");
  for ( X509 *cert : chain )
    SSL_CTX_add1_chain_cert(context, cert);
  return context;
}

tls_test_server_t::tls_test_server_t(const test_identity_t &identity, std::vector<X509 *> chain,
                                     std::function<void(tls_peer_t &)> handler, int connections)
  : context_(make_context(identity, chain)), server_(
                                                [this, handler](int fd) {
                                                  tls_peer_t peer(context_.get(), fd);
                                                  if ( peer.handshake() )
                                                    handler(peer);
                                                },
                                                connections)
{
}

tls_test_server_t::~tls_test_server_t() = default;

connect_params_t loopback_params(uint16_t port)
{
  connect_params_t params;
  params.server.host = "127.0.0.1";
  params.server.port = port;
  return params;
}

std::string stream_error_text(const char *key, int code)
{
  return std::string(key) + ": " + win_error_text(uint32_t(code));
}
