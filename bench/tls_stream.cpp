// TLS stream throughput and handshakes over loopback, beside a plain OpenSSL client with the same cipher suite
// talking to the same server.
#include "repo/tls_stream.h"

#include "tests/support/test_certificates.h"

#include <arpa/inet.h>
#include "bench/bench_runner.h"

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr uint64_t transfer_bytes = uint64_t(256) << 20;
constexpr size_t chunk_bytes = 1 << 20;
constexpr char cipher_suite[] = "ECDHE-ECDSA-AES128-GCM-SHA256";

void check(bool ok, const char *what)
{
  if ( !ok )
    throw std::runtime_error(what);
}

// The server certificate, signed by the build's root so that the TLS stream accepts it.
const test_identity_t &server_identity()
{
  static const test_identity_t root = load_build_root();
  static const test_identity_t leaf = [] {
    check(root.key != nullptr, "the build's root CA key is missing");
    return make_test_certificate(&root, {});
  }();
  return leaf;
}

// A TLS 1.2 server on 127.0.0.1 that runs `session` for each of `connections` clients, on its own thread.
class bench_server_t
{
public:
  bench_server_t(int connections, std::function<void(SSL *)> session)
  {
    context_ = SSL_CTX_new(TLS_server_method());
    check(context_ != nullptr && SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION) == 1
            && SSL_CTX_set_max_proto_version(context_, TLS1_2_VERSION) == 1
            && SSL_CTX_set_cipher_list(context_, cipher_suite) == 1
            && SSL_CTX_use_certificate(context_, server_identity().cert.get()) == 1
            && SSL_CTX_use_PrivateKey(context_, server_identity().key.get()) == 1,
          "server context");
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    check(bind(listener_, reinterpret_cast<sockaddr *>(&address), length) == 0 && listen(listener_, 64) == 0
            && getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) == 0,
          "listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, connections, session] {
      for ( int i = 0; i < connections; ++i )
      {
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if ( fd < 0 )
          return;
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        SSL *ssl = SSL_new(context_);
        SSL_set_fd(ssl, fd);
        if ( SSL_accept(ssl) == 1 )
          session(ssl);
        SSL_free(ssl);
        close(fd);
      }
    });
  }
  ~bench_server_t()
  {
    thread_.join();
    close(listener_);
    SSL_CTX_free(context_);
  }
  uint16_t port() const { return port_; }

private:
  SSL_CTX *context_ = nullptr;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

// Server sessions: send `bytes` to the client, or take them from it and answer one byte.
std::function<void(SSL *)> sender(uint64_t bytes)
{
  return [bytes](SSL *ssl) {
    std::vector<char> data(chunk_bytes, 's');
    for ( uint64_t sent = 0; sent < bytes; )
    {
      const int n = SSL_write(ssl, data.data(), int(std::min<uint64_t>(data.size(), bytes - sent)));
      if ( n <= 0 )
        return;
      sent += uint64_t(n);
    }
    SSL_shutdown(ssl);
  };
}

std::function<void(SSL *)> receiver(uint64_t bytes)
{
  return [bytes](SSL *ssl) {
    std::vector<char> data(chunk_bytes);
    for ( uint64_t got = 0; got < bytes; )
    {
      const int n = SSL_read(ssl, data.data(), int(data.size()));
      if ( n <= 0 )
        return;
      got += uint64_t(n);
    }
    SSL_write(ssl, "k", 1);
  };
}

// Waits until the client ends the session.
void until_closed(SSL *ssl)
{
  char c;
  while ( SSL_read(ssl, &c, 1) > 0 )
  {
  }
}

connect_params_t loopback(uint16_t port)
{
  connect_params_t params;
  params.server.host = "127.0.0.1";
  params.server.port = port;
  return params;
}

// A plain OpenSSL client over a socket: TLS 1.2, no certificate check (the suite is the only thing compared).
class plain_client_t
{
public:
  explicit plain_client_t(uint16_t port)
  {
    context_ = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(context_, TLS1_2_VERSION);
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    check(connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0, "connect");
    ssl_ = SSL_new(context_);
    SSL_set_fd(ssl_, fd_);
    check(SSL_connect(ssl_) == 1, "handshake");
  }
  ~plain_client_t()
  {
    SSL_shutdown(ssl_);
    SSL_free(ssl_);
    close(fd_);
    SSL_CTX_free(context_);
  }
  SSL *ssl() const { return ssl_; }

private:
  SSL_CTX *context_ = nullptr;
  SSL *ssl_ = nullptr;
  int fd_ = -1;
};

void bm_tls_stream_receive(benchmark::State &state)
{
  bench_server_t server(1, sender(transfer_bytes * state.max_iterations));
  schannel_stream_t stream;
  check(stream.open(loopback(server.port())), stream.error_text());
  std::vector<char> buffer(chunk_bytes);
  for ( auto _ : state )
  {
    for ( uint64_t got = 0; got < transfer_bytes; got += chunk_bytes )
      check(stream_read_exact(&stream, buffer.data(), chunk_bytes, -1) == chunk_bytes, stream.error_text());
  }
  state.SetBytesProcessed(int64_t(transfer_bytes * state.iterations()));
  stream.close(-1);
}

void bm_openssl_receive(benchmark::State &state)
{
  bench_server_t server(1, sender(transfer_bytes * state.max_iterations));
  plain_client_t client(server.port());
  std::vector<char> buffer(chunk_bytes);
  for ( auto _ : state )
  {
    for ( uint64_t got = 0; got < transfer_bytes; )
    {
      const int n = SSL_read(client.ssl(), buffer.data(), int(buffer.size()));
      check(n > 0, "read");
      got += uint64_t(n);
    }
  }
  state.SetBytesProcessed(int64_t(transfer_bytes * state.iterations()));
  state.SetLabel(SSL_get_cipher(client.ssl()));
}

void bm_tls_stream_send(benchmark::State &state)
{
  bench_server_t server(1, receiver(transfer_bytes * state.max_iterations));
  schannel_stream_t stream;
  check(stream.open(loopback(server.port())), stream.error_text());
  const std::vector<char> data(chunk_bytes, 'c');
  for ( auto _ : state )
  {
    for ( uint64_t sent = 0; sent < transfer_bytes; sent += chunk_bytes )
      check(stream_write_all(&stream, data.data(), chunk_bytes) == chunk_bytes, stream.error_text());
  }
  char ack;
  check(stream_read_exact(&stream, &ack, 1, -1) == 1, "acknowledgement");
  state.SetBytesProcessed(int64_t(transfer_bytes * state.iterations()));
  stream.close(-1);
}

void bm_openssl_send(benchmark::State &state)
{
  bench_server_t server(1, receiver(transfer_bytes * state.max_iterations));
  plain_client_t client(server.port());
  const std::vector<char> data(chunk_bytes, 'c');
  for ( auto _ : state )
  {
    for ( uint64_t sent = 0; sent < transfer_bytes; sent += chunk_bytes )
      check(SSL_write(client.ssl(), data.data(), int(data.size())) == int(data.size()), "write");
  }
  char ack;
  check(SSL_read(client.ssl(), &ack, 1) == 1, "acknowledgement");
  state.SetBytesProcessed(int64_t(transfer_bytes * state.iterations()));
  state.SetLabel(SSL_get_cipher(client.ssl()));
}

void bm_tls_stream_handshake(benchmark::State &state)
{
  bench_server_t server(int(state.max_iterations), until_closed);
  for ( auto _ : state )
  {
    schannel_stream_t stream;
    check(stream.open(loopback(server.port())), stream.error_text());
    stream.close(-1);
  }
  state.counters["handshakes"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void bm_openssl_handshake(benchmark::State &state)
{
  bench_server_t server(int(state.max_iterations), until_closed);
  for ( auto _ : state )
  {
    plain_client_t client(server.port());
  }
  state.counters["handshakes"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
} // namespace

BENCHMARK(bm_tls_stream_receive)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_openssl_receive)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_tls_stream_send)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_openssl_send)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_tls_stream_handshake)->Iterations(500)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(bm_openssl_handshake)->Iterations(500)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char **argv)
{
  return bench_runner_t(argc, argv).run({{"bm_tls_stream_receive", "bm_openssl_receive"},
                                        {"bm_tls_stream_send", "bm_openssl_send"},
                                        {"bm_tls_stream_handshake", "bm_openssl_handshake"}});
}
