// TCP stream and HTTP proxy tunnel over the socket layer.
#include "repo/tcp_socket_stream.h"

#include "core/base64.h"
#include "core/environment.h"
#include "core/error_state.h"
#include "core/printf_format.h"
#include "core/debug_flags.h"
#include "core/ui_callback.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <cerrno>
#include <cstring>

namespace
{
// Each byte of the proxy's reply must come within this time.
constexpr int proxy_byte_timeout_ms = 10000;
constexpr size_t proxy_reply_size = 1024;

bool tracing()
{
  return (debug_flags & debug_trace_connect) != 0;
}
} // namespace

tcp_socket_stream_t::~tcp_socket_stream_t()
{
  // Streams are closed before they are destroyed; this only keeps a forgotten socket from leaking.
  close(-1);
}

bool tcp_socket_stream_t::create_socket(int family, int type, int protocol)
{
  socket_ = os_socket_create(family, type, protocol);
  if ( socket_ == invalid_os_socket )
  {
    set_error("socket", os_socket_error());
    return false;
  }
  // A failing option is noted but does not stop the connection.
  static const struct
  {
    int level;
    int name;
    const char *key;
  } options[] = {
    {SOL_SOCKET, SO_REUSEADDR, "setsockopt(SO_REUSEADDR)"},
    {SOL_SOCKET, SO_KEEPALIVE, "setsockopt(SO_KEEPALIVE)"},
    {IPPROTO_TCP, TCP_NODELAY, "setsockopt(TCP_NODELAY)"},
  };
  for ( const auto &option : options )
  {
    if ( os_socket_set_int_option(socket_, option.level, option.name, 1) )
      continue;
    set_error(option.key, os_socket_error());
    if ( tracing() )
      log_printf("%s", error_text());
  }
  return true;
}

bool tcp_socket_stream_t::open(const connect_params_t &params)
{
  const host_port_t &target = params.proxy.host.empty() ? static_cast<const host_port_t &>(params.server)
                                                        : params.proxy;
  char service[16];
  buf_printf(service, sizeof(service), "%d", int(target.port));
  addrinfo hints{};
  hints.ai_flags = AI_CANONNAME;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *addresses = nullptr;
  const int rc = getaddrinfo(target.host.c_str(), service, &hints, &addresses);
  error_code_ = rc;
  if ( rc != 0 )
  {
    error_key_ = "gai_strerror";
    return false;
  }
  bool connected = false;
  for ( const addrinfo *a = addresses; a != nullptr && !connected; a = a->ai_next )
  {
    if ( !create_socket(a->ai_family, a->ai_socktype, a->ai_protocol) )
      continue;
    connected = os_socket_connect(socket_, a->ai_addr, a->ai_addrlen);
    if ( !connected )
    {
      set_error("connect", os_socket_error());
      close(-1);
    }
  }
  freeaddrinfo(addresses);
  if ( !connected )
    return false;
  return params.proxy.host.empty() || open_tunnel(params);
}

bool tcp_socket_stream_t::open_tunnel(const connect_params_t &params)
{
  const endpoint_credentials_t &proxy = params.proxy;
  qstring request;
  format_to_string(&request, "CONNECT %s:%d HTTP/1.1\r\n", params.server.host.c_str(), int(params.server.port));
  // The trace shows the request with the credentials masked: they never reach a log.
  qstring shown(request);
  if ( !proxy.user.empty() )
  {
    qstring credentials(proxy.user);
    credentials += ':';
    credentials += proxy.password;
    qstring encoded;
    encode_base64(&encoded, credentials.c_str(), int64_t(credentials.size()));
    append_format_to_string(&request, "Proxy-Authorization: Basic %s\r\n", encoded.c_str());
    shown += "Proxy-Authorization: Basic ***\r\n";
  }
  request += "\r\n";
  shown += "\r\n";
  if ( tracing() )
    log_printf("Attempting HTTP CONNECT through proxy (%s:%d), by sending:\n---\n%s\n---\n", proxy.host.c_str(),
               int(proxy.port), shown.c_str());

  int status = 0;
  char reply[proxy_reply_size] = {};
  bool failed = stream_write_all(this, request.c_str(), request.size()) != request.size();
  size_t n = 0;
  while ( !failed && n < proxy_reply_size - 1 )
  {
    if ( stream_read_exact(this, reply + n, 1, proxy_byte_timeout_ms) != 1 )
    {
      failed = true;
      break;
    }
    ++n;
    if ( n >= 4 && std::memcmp(reply + n - 4, "\r\n\r\n", 4) == 0 )
      break;
  }
  if ( !failed )
  {
    if ( tracing() )
      log_printf("Received:\n---\n%s\n---\n", reply);
    int minor = 0;
    failed = buf_scanf(reply, "HTTP/1.%d %d", &minor, &status) != 2 || status != 200;
    // A refusal is an answer, not a socket failure.
    if ( failed )
      error_code_ = 0;
  }
  if ( !failed )
    return true;
  // The socket stays open; the caller destroys the stream.
  error_key_ = status == 401   ? "connecting to proxy (unauthorized)"
             : status == 407 ? "connecting to proxy (authentication required)"
                             : "connecting to proxy";
  return false;
}

bool tcp_socket_stream_t::listen(const connect_params_t &params)
{
  if ( !create_socket(AF_INET, SOCK_STREAM, 0) )
    return false;
  sockaddr_storage address{};
  const bool resolved = !params.server.host.empty()
                     && resolve_host_address(&address, params.server.host.c_str(), AF_INET, params.server.port);
  if ( !resolved )
  {
    if ( !params.server.host.empty() )
      console_printf("Cannot parse IPv4 address \"%s\", falling back to INADDR_ANY\n", params.server.host.c_str());
    address = {};
    auto *ipv4 = reinterpret_cast<sockaddr_in *>(&address);
    ipv4->sin_family = AF_INET;
    ipv4->sin_port = htons(params.server.port);
    ipv4->sin_addr.s_addr = htonl(INADDR_ANY);
  }
  const auto *addr = reinterpret_cast<const sockaddr *>(&address);
  if ( !os_socket_bind(socket_, addr, sizeof(sockaddr_in)) )
    set_error("bind", os_socket_error());
  else if ( !os_socket_listen(socket_) )
    set_error("listen", os_socket_error());
  else
    return true;
  close(-1);
  return false;
}

bool tcp_socket_stream_t::accept(socket_stream_t *listener)
{
  auto *tcp = dynamic_cast<tcp_socket_stream_t *>(listener);
  if ( tcp == nullptr )
    return false;
  if ( socket_ == invalid_os_socket )
  {
    socket_ = os_socket_accept(tcp->socket_);
    if ( socket_ == invalid_os_socket )
    {
      set_error("accept", os_socket_error());
      return false;
    }
  }
  return true;
}

int tcp_socket_stream_t::wait_readable(int timeout_ms)
{
  if ( progress_tick() )
  {
    error_key_ = "select"; // the code stays the cancellation code
    return -1;
  }
  if ( socket_ == invalid_os_socket )
  {
    // Polling nothing would wait for ever.
    set_error("select", EBADF);
    return -1;
  }
  // The time-out bounds the whole wait, however often the progress callback is ticked meanwhile.
  const packed_time_t end = timeout_ms >= 0 ? packed_time_add_ms(current_packed_time(), uint32_t(timeout_ms)) : 0;
  for ( ;; )
  {
    packed_time_t until = next_tick();
    if ( end != 0 && (until == 0 || packed_time_flat_us(end) < packed_time_flat_us(until)) )
      until = end;
    const int r = os_socket_poll_readable(socket_, until != 0 ? remaining_ms(until) : -1);
    if ( r > 0 )
      return r;
    if ( r < 0 )
    {
      set_error("select", os_socket_error());
      return -1;
    }
    if ( end != 0 && packed_time_flat_us(current_packed_time()) >= packed_time_flat_us(end) )
    {
      set_error("select", stream_timeout_code);
      return -1;
    }
    if ( progress_tick() )
    {
      error_key_ = "select";
      return -1;
    }
  }
}

int64_t tcp_socket_stream_t::read(void *buffer, uint64_t size)
{
  if ( size == 0 )
    return 0;
  const int64_t r = os_socket_recv(socket_, buffer, size);
  if ( r == 0 )
  {
    set_error("connection_closed_by_peer", 0);
    return -1;
  }
  if ( r < 0 )
    set_error("recv", os_socket_error());
  return r;
}

int64_t tcp_socket_stream_t::read_waiting(void *buffer, uint64_t size)
{
  if ( size == 0 || socket_ == invalid_os_socket )
    return 0;
  const int64_t r = os_socket_recv_waiting(socket_, buffer, size);
  if ( r == 0 )
  {
    set_error("connection_closed_by_peer", 0);
    return -1;
  }
  if ( r == -2 )
    return 0;
  if ( r < 0 )
    set_error("recv", os_socket_error());
  return r;
}

int64_t tcp_socket_stream_t::write(const void *data, uint64_t size)
{
  const int64_t r = os_socket_send(socket_, data, size);
  if ( r < 0 )
    set_error("send", os_socket_error());
  return r;
}

void tcp_socket_stream_t::close(int how)
{
  if ( socket_ == invalid_os_socket )
    return;
  if ( how >= 0 )
    os_socket_shutdown(socket_, how);
  os_socket_close(socket_);
  socket_ = invalid_os_socket;
}

const char *tcp_socket_stream_t::error_text()
{
  const std::string_view key = error_key_;
  if ( key.empty() )
    error_text_.clear();
  else if ( key == "gai_strerror" )
    format_to_string(&error_text_, "getaddrinfo: %s", os_resolver_error_text(error_code_));
  else if ( key == "connection_closed_by_peer" )
    error_text_ = "recv: Connection closed by peer";
  else
    format_to_string(&error_text_, "%s: %s", error_key_, win_error_text(uint32_t(error_code_)));
  return error_text_.c_str();
}

bool format_socket_address(qstring *out, const sockaddr *address, socklen_t length, bool with_name)
{
  const size_t before = out->size();
  char host[NI_MAXHOST];
  bool named = false;
  if ( with_name && getnameinfo(address, length, host, sizeof(host), nullptr, 0, NI_NAMEREQD) == 0 )
  {
    *out += host;
    named = true;
  }
  if ( getnameinfo(address, length, host, sizeof(host), nullptr, 0, NI_NUMERICHOST) == 0 )
  {
    if ( named )
      *out += "(";
    *out += host;
    if ( named )
      *out += ")";
  }
  return out->size() > before;
}

bool tcp_socket_stream_t::peer_address(qstring *out, bool with_name)
{
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  if ( getpeername(socket_, reinterpret_cast<sockaddr *>(&address), &length) != 0 )
    return false;
  return format_socket_address(out, reinterpret_cast<const sockaddr *>(&address), length, with_name);
}

bool tcp_socket_stream_t::local_address(qstring *out, bool with_name)
{
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  if ( getsockname(socket_, reinterpret_cast<sockaddr *>(&address), &length) != 0 )
    return false;
  return format_socket_address(out, reinterpret_cast<const sockaddr *>(&address), length, with_name);
}

bool tcp_socket_stream_t::local_port(int *out)
{
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  if ( getsockname(socket_, reinterpret_cast<sockaddr *>(&address), &length) != 0 )
    return false;
  if ( address.ss_family == AF_INET6 )
    *out = ntohs(reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_port);
  else
    *out = ntohs(reinterpret_cast<const sockaddr_in *>(&address)->sin_port);
  return true;
}
