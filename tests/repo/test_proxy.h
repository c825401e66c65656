// A real HTTP CONNECT proxy on 127.0.0.1 for tests: it reads one request, answers as the test says, and relays a
// granted tunnel to its target, which must be on 127.0.0.1 too.
#pragma once

#include "tests/repo/loopback_peer.h"

#include <mutex>
#include <string>

// How the proxy answers a request.
struct proxy_behaviour_t
{
  // Sent once the request is complete; a 200 reply opens the tunnel. Empty: close without answering.
  std::string reply = "HTTP/1.1 200 Connection established\r\n\r\n";
  // When not empty, a request whose Proxy-Authorization line is not exactly "Basic " + this gets a 407 reply.
  std::string required_credentials;
  // Never answer: wait until the client gives up.
  bool silent = false;
};

class test_proxy_t
{
public:
  explicit test_proxy_t(proxy_behaviour_t behaviour);

  uint16_t port() const { return server_.port(); }
  // The request head as the proxy received it (empty until it came).
  std::string request() const;
  // How many clients connected.
  int connections() const { return server_.accepted(); }

private:
  void serve(int fd);

  proxy_behaviour_t behaviour_;
  mutable std::mutex lock_;
  std::string request_; // guarded by lock_
  loopback_server_t server_;
};
