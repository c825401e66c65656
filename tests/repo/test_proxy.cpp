// Test HTTP CONNECT proxy: request parsing, refusals, and the relay of a granted tunnel.
#include "tests/repo/test_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

namespace
{
// Opens a connection to 127.0.0.1:port; -1 on failure.
int connect_loopback(int port)
{
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if ( fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0 )
    return fd;
  if ( fd >= 0 )
    close(fd);
  return -1;
}

// Copies bytes both ways until one side ends its stream.
void relay(int a, int b)
{
  pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
  char chunk[16384];
  for ( ;; )
  {
    if ( poll(fds, 2, 20000) <= 0 )
      return;
    for ( int i = 0; i < 2; ++i )
    {
      if ( fds[i].revents == 0 )
        continue;
      const ssize_t r = recv(fds[i].fd, chunk, sizeof(chunk), 0);
      if ( r <= 0 || !send_all(fds[1 - i].fd, chunk, size_t(r)) )
      {
        shutdown(fds[1 - i].fd, SHUT_WR);
        return;
      }
    }
  }
}

// The value of a header line of the request head, "" when absent.
std::string header_value(const std::string &head, const std::string &name)
{
  const std::string prefix = "\r\n" + name + ": ";
  const size_t at = head.find(prefix);
  if ( at == std::string::npos )
    return {};
  const size_t begin = at + prefix.size();
  return head.substr(begin, head.find("\r\n", begin) - begin);
}
} // namespace

test_proxy_t::test_proxy_t(proxy_behaviour_t behaviour)
  : behaviour_(std::move(behaviour)), server_([this](int fd) { serve(fd); })
{
}

std::string test_proxy_t::request() const
{
  std::lock_guard<std::mutex> hold(lock_);
  return request_;
}

void test_proxy_t::serve(int fd)
{
  std::string head;
  char c;
  while ( head.size() < 8192 && head.find("\r\n\r\n") == std::string::npos && recv(fd, &c, 1, 0) == 1 )
    head += c;
  {
    std::lock_guard<std::mutex> hold(lock_);
    request_ = head;
  }
  if ( behaviour_.silent )
  {
    receive_until_closed(fd);
    return;
  }
  if ( !behaviour_.required_credentials.empty()
    && header_value(head, "Proxy-Authorization") != "Basic " + behaviour_.required_credentials )
  {
    send_all(fd, "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n");
    return;
  }
  if ( behaviour_.reply.empty() )
    return;
  int port = 0;
  char host[64] = {};
  // Only loopback targets are reached: the tests never send traffic anywhere else.
  const bool loopback = std::sscanf(head.c_str(), "CONNECT %63[^:]:%d HTTP/1.", host, &port) == 2
                     && std::string(host) == "127.0.0.1";
  if ( !loopback )
  {
    send_all(fd, "HTTP/1.1 403 Forbidden\r\n\r\n");
    return;
  }
  if ( !send_all(fd, behaviour_.reply) || behaviour_.reply.find(" 200") == std::string::npos )
    return;
  const int target = connect_loopback(port);
  if ( target < 0 )
    return;
  relay(fd, target);
  close(target);
}
