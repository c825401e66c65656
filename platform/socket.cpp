// Socket layer over POSIX sockets and poll.
#include "platform/socket.h"

#include <cerrno>
#include <chrono>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
thread_local int last_socket_error = 0;

// Records errno as this layer's error code and passes the result through.
template<typename T>
T failed(T result)
{
  last_socket_error = errno;
  return result;
}

// Polls one descriptor for the events, going on after a signal for the time that remains.
int poll_one(os_socket_t s, short events, int timeout_ms)
{
  using clock = std::chrono::steady_clock;
  const clock::time_point end = clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  pollfd fd{s, events, 0};
  for ( ;; )
  {
    int wait = timeout_ms;
    if ( timeout_ms > 0 )
    {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - clock::now()).count();
      wait = left > 0 ? int(left) : 0;
    }
    const int r = poll(&fd, 1, wait);
    if ( r >= 0 )
      return r;
    if ( errno != EINTR )
      return failed(-1);
  }
}
} // namespace

int os_socket_error()
{
  return last_socket_error;
}

const char *os_resolver_error_text(int code)
{
  return gai_strerror(code);
}

os_socket_t os_socket_create(int family, int type, int protocol)
{
  const int s = socket(family, type | SOCK_CLOEXEC, protocol);
  return s < 0 ? failed(invalid_os_socket) : s;
}

bool os_socket_set_int_option(os_socket_t s, int level, int name, int value)
{
  return setsockopt(s, level, name, &value, sizeof(value)) == 0 || failed(false);
}

bool os_socket_connect(os_socket_t s, const sockaddr *address, socklen_t length)
{
  if ( connect(s, address, length) == 0 )
    return true;
  if ( errno != EINTR )
    return failed(false);
  // The connection goes on in the background: wait for it and fetch its outcome.
  if ( poll_one(s, POLLOUT, -1) < 0 )
    return false;
  int error = 0;
  socklen_t size = sizeof(error);
  if ( getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) != 0 )
    return failed(false);
  if ( error != 0 )
  {
    last_socket_error = error;
    return false;
  }
  return true;
}

bool os_socket_bind(os_socket_t s, const sockaddr *address, socklen_t length)
{
  return bind(s, address, length) == 0 || failed(false);
}

bool os_socket_listen(os_socket_t s)
{
  // The system caps the backlog at its own maximum.
  return listen(s, 0x7FFFFFFF) == 0 || failed(false);
}

os_socket_t os_socket_accept(os_socket_t listener)
{
  for ( ;; )
  {
    const int s = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if ( s >= 0 )
      return s;
    if ( errno != EINTR )
      return failed(invalid_os_socket);
  }
}

int os_socket_poll_readable(os_socket_t s, int timeout_ms)
{
  // Urgent data is left out: it would wake the wait for a receive that then blocks.
  return poll_one(s, POLLIN, timeout_ms);
}

int64_t os_socket_recv(os_socket_t s, void *buffer, size_t n)
{
  for ( ;; )
  {
    const ssize_t r = recv(s, buffer, n, 0);
    if ( r >= 0 )
      return r;
    if ( errno != EINTR )
      return failed(int64_t(-1));
  }
}

int64_t os_socket_recv_waiting(os_socket_t s, void *buffer, size_t n)
{
  for ( ;; )
  {
    const ssize_t r = recv(s, buffer, n, MSG_DONTWAIT);
    if ( r >= 0 )
      return r;
    if ( errno == EAGAIN || errno == EWOULDBLOCK )
      return -2;
    if ( errno != EINTR )
      return failed(int64_t(-1));
  }
}

int64_t os_socket_send(os_socket_t s, const void *data, size_t n)
{
  for ( ;; )
  {
    const ssize_t r = send(s, data, n, MSG_NOSIGNAL);
    if ( r >= 0 )
      return r;
    if ( errno != EINTR )
      return failed(int64_t(-1));
  }
}

bool os_socket_shutdown(os_socket_t s, int how)
{
  static_assert(SHUT_RD == 0 && SHUT_WR == 1 && SHUT_RDWR == 2);
  return shutdown(s, how) == 0 || failed(false);
}

void os_socket_close(os_socket_t s)
{
  // Linux releases the descriptor even when close reports EINTR, so it is never retried.
  close(s);
}
