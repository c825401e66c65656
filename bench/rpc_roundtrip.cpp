// Small request/reply round trips against the test server over TCP and TLS, beside a bare socket ping-pong of
// the same frame sizes on loopback.
#include "repo/arkive_connection.h"
#include "repo/packets_users.h"
#include "tests/server/arkive_test_server.h"

#include "bench/bench_runner.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace {

// The exchange measured: GET_USER of "bob", answered by GET_USER_RESULT.
struct frame_sizes_t
{
  size_t request;
  size_t reply;
};

frame_sizes_t exchange_sizes()
{
  name_flag_packet_t request(GET_USER);
  request.name = "bob";
  request.want_reply = 1;
  user_packet_t reply(GET_USER_RESULT);
  reply.user.login = "bob";
  reply.user.real_name = "Bob Builder";
  return {packet_frame(request).size(), packet_frame(reply).size()};
}

arkive_test_server_t &test_server()
{
  static arkive_test_server_t *server = [] {
    auto *s = new arkive_test_server_t;
    s->repository().add_user("bob", "builder", false, "Bob Builder");
    std::string error;
    if ( !s->start(&error) || s->tls_port() == 0 )
    {
      std::fprintf(stderr, "cannot start the test server: %s\n", error.c_str());
      std::exit(1);
    }
    return s;
  }();
  return *server;
}

void repository_round_trip(benchmark::State &state, bool tls)
{
  arkive_test_server_t &server = test_server();
  socket_stream_t *stream = make_socket_stream(tls);
  connect_params_t params;
  params.server.host = "127.0.0.1";
  params.server.port = tls ? server.tls_port() : server.tcp_port();
  if ( !stream->open(params) )
  {
    state.SkipWithError(stream->error_text());
    destroy_socket_stream(stream, -1);
    return;
  }
  rpc_arkive_connection_t connection(stream);
  if ( !connection.login(nullptr, "bob", "builder", "bench") )
  {
    state.SkipWithError("login refused");
    return;
  }
  user_info_t user;
  for ( auto _ : state )
  {
    if ( connection.get_user(&user, "bob") != 0 )
    {
      state.SkipWithError("request failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

//--------------------------------------------------------------------------
// The bare ping-pong: one loopback connection, a peer thread that reads the request size and writes the reply
// size, plain or through a TLS session on each side.

struct bare_pair_t
{
  int client = -1;
  int server = -1;
};

bare_pair_t connected_pair()
{
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address));
  ::listen(listener, 1);
  ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
  bare_pair_t pair;
  pair.client = ::socket(AF_INET, SOCK_STREAM, 0);
  ::connect(pair.client, reinterpret_cast<sockaddr *>(&address), sizeof(address));
  pair.server = ::accept(listener, nullptr, nullptr);
  ::close(listener);
  const int on = 1;
  ::setsockopt(pair.client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  ::setsockopt(pair.server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  return pair;
}

// Whole reads and writes on a socket or a TLS session.
struct bare_end_t
{
  int fd;
  SSL *ssl; // null for plain

  bool read(void *buffer, size_t n)
  {
    auto *p = static_cast<uint8_t *>(buffer);
    while ( n > 0 )
    {
      const long got = ssl != nullptr ? SSL_read(ssl, p, int(n)) : long(::recv(fd, p, n, 0));
      if ( got <= 0 )
        return false;
      p += got;
      n -= size_t(got);
    }
    return true;
  }
  bool write(const void *data, size_t n)
  {
    const long sent = ssl != nullptr ? SSL_write(ssl, data, int(n)) : long(::send(fd, data, n, MSG_NOSIGNAL));
    return sent == long(n);
  }
};

void bare_ping_pong(benchmark::State &state, bool tls)
{
  const frame_sizes_t sizes = exchange_sizes();
  const bare_pair_t pair = connected_pair();
  std::unique_ptr<server_tls_identity_t> identity;
  SSL_CTX *client_context = nullptr;
  SSL *client_ssl = nullptr;
  SSL *server_ssl = nullptr;
  if ( tls )
  {
    std::string error;
    identity = server_tls_identity_t::create_from_build_root(&error);
    if ( identity == nullptr )
    {
      state.SkipWithError(error.c_str());
      return;
    }
    client_context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_min_proto_version(client_context, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(client_context, TLS1_2_VERSION);
    client_ssl = SSL_new(client_context);
    SSL_set_fd(client_ssl, pair.client);
    server_ssl = SSL_new(identity->context());
    SSL_set_fd(server_ssl, pair.server);
  }

  std::thread peer([&] {
    bare_end_t end{pair.server, server_ssl};
    if ( server_ssl != nullptr && SSL_accept(server_ssl) != 1 )
      return;
    std::vector<uint8_t> request(sizes.request);
    const std::vector<uint8_t> reply(sizes.reply, 0x42);
    while ( end.read(request.data(), request.size()) && end.write(reply.data(), reply.size()) )
    {
    }
  });

  bare_end_t end{pair.client, client_ssl};
  if ( client_ssl == nullptr || SSL_connect(client_ssl) == 1 )
  {
    const std::vector<uint8_t> request(sizes.request, 0x41);
    std::vector<uint8_t> reply(sizes.reply);
    for ( auto _ : state )
    {
      if ( !end.write(request.data(), request.size()) || !end.read(reply.data(), reply.size()) )
      {
        state.SkipWithError("ping-pong failed");
        break;
      }
    }
  }
  else
    state.SkipWithError("TLS handshake failed");
  state.SetItemsProcessed(state.iterations());

  ::shutdown(pair.client, SHUT_RDWR);
  peer.join();
  SSL_free(client_ssl);
  SSL_free(server_ssl);
  SSL_CTX_free(client_context);
  ::close(pair.client);
  ::close(pair.server);
}

void BM_bare_tcp_ping_pong(benchmark::State &state)
{
  bare_ping_pong(state, false);
}
void BM_repository_round_trip_tcp(benchmark::State &state)
{
  repository_round_trip(state, false);
}
void BM_bare_tls_ping_pong(benchmark::State &state)
{
  bare_ping_pong(state, true);
}
void BM_repository_round_trip_tls(benchmark::State &state)
{
  repository_round_trip(state, true);
}

}  // namespace

BENCHMARK(BM_bare_tcp_ping_pong)->UseRealTime();
BENCHMARK(BM_repository_round_trip_tcp)->UseRealTime();
BENCHMARK(BM_bare_tls_ping_pong)->UseRealTime();
BENCHMARK(BM_repository_round_trip_tls)->UseRealTime();
int main(int argc, char **argv)
{
  return bench_runner_t(argc, argv).run({{"BM_repository_round_trip_tcp", "BM_bare_tcp_ping_pong"},
                                        {"BM_repository_round_trip_tls", "BM_bare_tls_ping_pong"}});
}
