// TCP stream: one TCP connection, optionally tunnelled through an HTTP proxy with CONNECT.
#pragma once

#include "platform/socket.h"
#include "repo/socket_stream.h"

#include <sys/socket.h>

// A socket_stream_t over one TCP socket. open resolves the endpoint and tries each address in turn; with a proxy
// it connects to the proxy and asks it for a tunnel to the server (Basic authentication when a proxy user is
// set). Waits, reads and writes go straight to the socket. Error keys name the failed system step, with the
// system's error code; "connection_closed_by_peer" (code 0) when the peer ended the connection; "select" with
// stream_timeout_code when a wait timed out; "connecting to proxy" and its "(unauthorized)" and
// "(authentication required)" forms when the proxy refused the tunnel.
class tcp_socket_stream_t : public socket_stream_t
{
public:
  tcp_socket_stream_t() = default;
  // Closes a socket that is still open.
  ~tcp_socket_stream_t() override;

  bool open(const connect_params_t &params) override;
  // IPv4 only; an empty or unresolvable host listens on every address.
  bool listen(const connect_params_t &params) override;
  bool accept(socket_stream_t *listener) override;
  bool server_hook() override { return true; }
  int wait_readable(int timeout_ms) override;
  int64_t read(void *buffer, uint64_t size) override;
  int64_t read_waiting(void *buffer, uint64_t size) override;
  int64_t write(const void *data, uint64_t size) override;
  void close(int how) override;
  int error_code() override { return error_code_; }
  const char *error_text() override;
  bool peer_address(qstring *out, bool with_name) override;
  bool local_address(qstring *out, bool with_name) override;
  bool local_port(int *out) override;

private:
  bool create_socket(int family, int type, int protocol);
  bool open_tunnel(const connect_params_t &params);

  os_socket_t socket_ = invalid_os_socket;
};

// Appends the text of a socket address to *out: with_name puts the host name first and the numeric address in
// parentheses after it (when the name resolves), else the numeric address alone. True when out grew.
bool format_socket_address(qstring *out, const sockaddr *address, socklen_t length, bool with_name);
